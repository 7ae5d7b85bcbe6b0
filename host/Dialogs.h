#pragma once

#include <QString>

#include <vector>

namespace zel {

// Every message box of the host and of the modules goes through MessageDlg:
// TMessages::ShowMsg, MensErro, the guard's error dialog and CheckResultServ.
// Tests script the answers and read back what was shown (MessageSeam).

enum class TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };

enum TMsgDlgBtn : unsigned {
    mbYes = 1u << 0,
    mbNo = 1u << 1,
    mbOK = 1u << 2,
    mbCancel = 1u << 3,
    mbAbort = 1u << 4,
    mbRetry = 1u << 5,
    mbIgnore = 1u << 6,
};
using TMsgDlgButtons = unsigned;
constexpr TMsgDlgButtons mbYesNo = mbYes | mbNo;
constexpr TMsgDlgButtons mbYesNoCancel = mbYes | mbNo | mbCancel;
constexpr TMsgDlgButtons mbOKCancel = mbOK | mbCancel;

// The button the user chose, as a modal result.
enum TModalResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7
};

// Shows a modal message box over the active window and returns the chosen
// button's modal result. Closing the box without a button gives mrCancel
// when Cancel is offered, else mrNo when No is, else the only button's result.
int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpCtx = 0);

// An error box with an OK button.
void ShowError(const QString& text, int helpCtx = 0);

namespace MessageSeam {

struct Shown {
    QString text;
    TMsgDlgType type;
    TMsgDlgButtons buttons;
    int result;    // what MessageDlg returned
    bool scripted; // answered by the script, no box shown
};

// Queues the answer of the next box (one per call, first in first out); the
// box is then not shown at all.
void setNextAnswer(int modalResult);
// With no queued answer: false = show the box and wait for the user (the
// default); true = show nothing and answer with the box's first button in the
// order Yes, OK, No, Cancel, Abort, Retry, Ignore. Test programs turn it on so
// that no test can hang on a forgotten box.
void setNonInteractive(bool on);
bool nonInteractive();

// Every box asked for since the last clear, shown or scripted, in order.
const std::vector<Shown>& history();
void clearHistory();
// The texts of the error boxes in the history.
std::vector<QString> errors();
int pendingAnswers();

} // namespace MessageSeam
} // namespace zel
