#include "host/Messages.h"

#include "platform/data/Exceptions.h"

namespace zel {

TMessages::TMessages(const QString& name, const QStringList& lines) : name_(name), lines_(lines) {}

namespace {
// Index of the bar of the line holding the key, -1 when none does.
qsizetype findKey(const QStringList& lines, const QString& key, qsizetype& line)
{
    for (line = 0; line < lines.size(); ++line) {
        const QString& l = lines.at(line);
        const qsizetype bar = l.indexOf(QLatin1Char('|'));
        if (bar == key.size() && l.startsWith(key)) return bar;
    }
    return -1;
}
} // namespace

bool TMessages::HasKey(const QString& key) const
{
    qsizetype line;
    return findKey(lines_, key, line) >= 0;
}

QString TMessages::Msg(const QString& key) const
{
    qsizetype line;
    const qsizetype bar = findKey(lines_, key, line);
    if (bar < 0) return key;
    return lines_.at(line).mid(bar + 1);
}

int TMessages::ShowMsg(const QString& key, TMsgDlgType type, TMsgDlgButtons buttons, int helpCtx) const
{
    return MessageDlg(Msg(key), type, buttons, helpCtx);
}

void MensErro(const QString& text, bool raise)
{
    ShowError(text);
    if (raise) Abort();
}

} // namespace zel
