#pragma once

#include "host/Dialogs.h"

#include <QString>
#include <QStringList>

namespace zel {

// A screen's table of keyed texts. Each line is a key, a vertical bar and the
// text: "FILI_INF|Filial deve ser informada.". The text is everything after
// the first bar, kept exactly (trailing blanks included); keys are compared
// exactly; the first line of a key wins; a line without a bar is ignored.
class TMessages {
public:
    explicit TMessages(const QString& name = {}, const QStringList& lines = {});

    const QString& Name() const { return name_; }
    void setName(const QString& name) { name_ = name; }

    const QStringList& Messages() const { return lines_; }
    void setMessages(const QStringList& lines) { lines_ = lines; }

    bool HasKey(const QString& key) const;
    // The key's text. An unknown key gives the key itself, so that a missing
    // line shows up on the screen instead of an empty message.
    QString Msg(const QString& key) const;

    // Shows the key's text in a message box and returns the chosen button as
    // a modal result (mrYes, mrNo, mrOk, ...).
    int ShowMsg(const QString& key, TMsgDlgType type, TMsgDlgButtons buttons, int helpCtx = 0) const;

private:
    QString name_;
    QStringList lines_;
};

// Shows the text as an error; with raise (what every caller passes) it then
// ends the running handler with the silent Abort.
void MensErro(const QString& text, bool raise = true);

} // namespace zel
