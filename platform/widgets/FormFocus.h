#pragma once

// Form-level focus. Each screen (a top-level window, or the content widget of
// a multiple-document child) has an active control: the control that holds
// the focus within that screen. It stays what it is while another window or
// a modal dialog is in front.
//
// OnEnter and OnExit of a control or of any container (panel, group box, page
// control, grid, ...) run when the active control moves into or out of it
// within the same screen: the old control and the containers it leaves get
// OnExit, innermost first, then the containers entered and the new control
// get OnEnter, outermost first. Another window taking the focus (a modal
// dialog opening, the user switching windows) moves nothing. Each handler runs
// under zel::Guarded; a failing handler does not stop the focus, nor the
// handlers after it. A handler that moves the focus itself (for example a
// check that puts it back into the control it left) takes effect after the
// running handler: the move in progress is re-aimed at the new target.

#include "platform/widgets/Controls.h"

class QWidget;

namespace zel {

// Makes a widget a screen of its own (an MDI child's content widget). Top-level
// windows and the content of a QMdiSubWindow are screens without this.
void RegisterScreen(QWidget* screen);
// The screen a widget belongs to.
QWidget* ScreenOf(const QWidget* w);

// The control that holds the focus within the screen, or nullptr.
QWidget* ActiveControl(const QWidget* screen);

// Binds OnEnter/OnExit of any control or container; an empty handler unbinds.
void SetOnEnter(QWidget* control, TNotifyEvent handler);
void SetOnExit(QWidget* control, TNotifyEvent handler);

// A composite control (a grid with its cell editor, a date edit with its
// button) counts as one control: focus on any of its parts makes the
// composite the active control.
void MarkComposite(QWidget* w);
// A part of a control that can take the focus itself (the tab bar of a page
// control) stands for its parent control.
void MarkPart(QWidget* part);
// The control that a focused widget stands for.
QWidget* ControlOf(QWidget* focused);

// Starts following the application's focus (idempotent; called by every
// control's constructor, so screens need not call it).
void InstallFocusTracker();

} // namespace zel
