#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace zel {

// The one text format of a list of picked keys, as the pick list returns it
// and the application server reads it: the keys separated by commas, no
// blanks, no empty key ("0000000012,0000000015").
namespace KeyList {

QString Join(const QStringList& keys);
// Strict: nullopt for an empty text, an empty key, a key with blanks, commas
// or quotes, or a key longer than maxKeyLength.
std::optional<QStringList> Parse(const QString& text, int maxKeyLength);

} // namespace KeyList
} // namespace zel
