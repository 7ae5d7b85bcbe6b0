#include "host/Dialogs.h"

#include "host/Application.h"

#include <QApplication>
#include <QMessageBox>
#include <QPointer>

#include <deque>

namespace zel {
namespace {

struct SeamState {
    std::deque<int> answers;
    bool nonInteractive = false;
    std::vector<MessageSeam::Shown> history;
};

SeamState& seam()
{
    static SeamState s;
    return s;
}

struct ButtonMap {
    TMsgDlgBtn button;
    QMessageBox::StandardButton qt;
    int result;
};

constexpr ButtonMap kButtons[] = {
    {mbYes, QMessageBox::Yes, mrYes},
    {mbOK, QMessageBox::Ok, mrOk},
    {mbNo, QMessageBox::No, mrNo},
    {mbCancel, QMessageBox::Cancel, mrCancel},
    {mbAbort, QMessageBox::Abort, mrAbort},
    {mbRetry, QMessageBox::Retry, mrRetry},
    {mbIgnore, QMessageBox::Ignore, mrIgnore},
};

int firstButtonResult(TMsgDlgButtons buttons)
{
    for (const auto& b : kButtons)
        if (buttons & b.button) return b.result;
    return mrOk;
}

int escapeResult(TMsgDlgButtons buttons)
{
    if (buttons & mbCancel) return mrCancel;
    if (buttons & mbNo) return mrNo;
    return firstButtonResult(buttons);
}

QString titleFor(TMsgDlgType type)
{
    switch (type) {
    case TMsgDlgType::mtWarning:
        return QStringLiteral("Aviso");
    case TMsgDlgType::mtError:
        return QStringLiteral("Erro");
    case TMsgDlgType::mtInformation:
        return QStringLiteral("Informação");
    case TMsgDlgType::mtConfirmation:
        return QStringLiteral("Confirmação");
    case TMsgDlgType::mtCustom:
        break;
    }
    // The product's name, which the main window carries.
    if (const QWidget* main = MainForm(); main && !main->windowTitle().isEmpty()) return main->windowTitle();
    return QApplication::applicationDisplayName();
}

QMessageBox::Icon iconFor(TMsgDlgType type)
{
    switch (type) {
    case TMsgDlgType::mtWarning:
        return QMessageBox::Warning;
    case TMsgDlgType::mtError:
        return QMessageBox::Critical;
    case TMsgDlgType::mtInformation:
        return QMessageBox::Information;
    case TMsgDlgType::mtConfirmation:
        return QMessageBox::Question;
    case TMsgDlgType::mtCustom:
        break;
    }
    return QMessageBox::NoIcon;
}

int showBox(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons)
{
    if (buttons == 0) buttons = mbOK;
    QMessageBox box(iconFor(type), titleFor(type), text, QMessageBox::NoButton, QApplication::activeWindow());
    box.setObjectName(QStringLiteral("MessageDlg"));
    QMessageBox::StandardButtons qtButtons;
    for (const auto& b : kButtons)
        if (buttons & b.button) qtButtons |= b.qt;
    box.setStandardButtons(qtButtons);
    for (const auto& b : kButtons)
        if (buttons & b.button) {
            box.setDefaultButton(b.qt);
            break;
        }
    const int escape = escapeResult(buttons);
    for (const auto& b : kButtons)
        if (b.result == escape && (buttons & b.button)) box.setEscapeButton(b.qt);
    box.exec();
    QAbstractButton* clicked = box.clickedButton();
    if (!clicked) return escape;
    const auto chosen = box.standardButton(clicked);
    for (const auto& b : kButtons)
        if (b.qt == chosen) return b.result;
    return escape;
}

} // namespace

int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int /*helpCtx*/)
{
    SeamState& s = seam();
    int result;
    bool scripted = true;
    if (!s.answers.empty()) {
        result = s.answers.front();
        s.answers.pop_front();
    } else if (s.nonInteractive || !qobject_cast<QApplication*>(QCoreApplication::instance())) {
        result = firstButtonResult(buttons ? buttons : TMsgDlgButtons(mbOK));
    } else {
        scripted = false;
        result = showBox(text, type, buttons);
    }
    s.history.push_back({text, type, buttons, result, scripted});
    return result;
}

void ShowError(const QString& text, int helpCtx)
{
    MessageDlg(text, TMsgDlgType::mtError, mbOK, helpCtx);
}

namespace MessageSeam {

void setNextAnswer(int modalResult)
{
    seam().answers.push_back(modalResult);
}
void setNonInteractive(bool on)
{
    seam().nonInteractive = on;
}
bool nonInteractive()
{
    return seam().nonInteractive;
}
const std::vector<Shown>& history()
{
    return seam().history;
}
void clearHistory()
{
    seam().history.clear();
    seam().answers.clear();
}
std::vector<QString> errors()
{
    std::vector<QString> out;
    for (const auto& h : seam().history)
        if (h.type == TMsgDlgType::mtError) out.push_back(h.text);
    return out;
}
int pendingAnswers()
{
    return int(seam().answers.size());
}

} // namespace MessageSeam
} // namespace zel
