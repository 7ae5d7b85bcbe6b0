#pragma once

#include <QApplication>
#include <QString>

#include <exception>

class QAction;
class QMdiArea;
class QMenuBar;
class QWidget;

namespace zel {

// The shell's application object. It runs the user interface in the UI
// face at its designed size (SetUiFont). Its notify is the last net under the guard
// that every handler runs in: a failure that still reaches the event loop is
// reported like a guarded one (the silent Abort is dropped) and the
// application goes on.
class TApplication : public QApplication {
public:
    TApplication(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// The user-readable text of a failure ("" for the silent Abort).
QString FailureText(std::exception_ptr failure);
// Shows a failure in an error box through the message seam; the silent Abort
// shows nothing. A failure raised while another one is being shown goes to
// the standard error output instead of stacking boxes.
void ShowFailure(std::exception_ptr failure);
// Makes ShowFailure the reporter of zel::Guarded.
void InstallGuardReporter();

// The application's main form and its multiple-document area, where the
// screens open as child windows. Both are empty until the shell sets them.
void SetMainForm(QWidget* form, QMdiArea* mdiArea);
QWidget* MainForm();
QMdiArea* MdiArea();

// The main form's menu bar, into which the active child screen merges its
// menus: before `before` (the shell's own menus after it stay last), or at
// the end. Without one set, the menu bar of a main form that is a main window.
void SetMainMenu(QMenuBar* bar, QAction* before = nullptr);
QMenuBar* MainMenuBar();
QAction* MainMenuMergePoint();

} // namespace zel
