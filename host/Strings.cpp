#include "host/Strings.h"

namespace zel {

bool EmptyString(const QString& text)
{
    for (QChar c : text)
        if (!c.isSpace()) return false;
    return true;
}

QString Ajusta(const QString& text, int length)
{
    QString code = text.trimmed();
    if (code.isEmpty() || length <= 0) return code;
    int excess = int(code.size()) - length;
    int zeros = 0;
    while (zeros < excess && code.at(zeros) == QLatin1Char('0'))
        ++zeros;
    code.remove(0, zeros);
    if (code.size() >= length) return code;
    return code.rightJustified(length, QLatin1Char('0'));
}

} // namespace zel
