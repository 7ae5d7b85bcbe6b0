#include "platform/data/KeyList.h"

namespace zel::KeyList {

QString Join(const QStringList& keys)
{
    return keys.join(QLatin1Char(','));
}

std::optional<QStringList> Parse(const QString& text, int maxKeyLength)
{
    if (text.isEmpty()) return std::nullopt;
    const QStringList keys = text.split(QLatin1Char(','));
    for (const QString& k : keys) {
        if (k.isEmpty() || k.size() > maxKeyLength) return std::nullopt;
        for (QChar c : k)
            if (c.isSpace() || c == QLatin1Char('\'') || c == QLatin1Char('"') || c.category() == QChar::Other_Control)
                return std::nullopt;
    }
    return keys;
}

} // namespace zel::KeyList
