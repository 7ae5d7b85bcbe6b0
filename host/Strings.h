#pragma once

#include <QLocale>
#include <QString>

namespace zel {

// True for a text with no characters or blanks only.
bool EmptyString(const QString& text);

// Brings a code to its stored fixed width: surrounding blanks are dropped and
// the code is right-aligned with leading zeros ("1" -> "0001" for 4,
// "123" -> "0000000123" for 10). A blank text gives the empty text (a code
// that was not given stays not given). Leading zeros beyond the width are
// dropped; a code whose significant part is longer than the width is returned
// trimmed but otherwise unchanged, so that it fails its look-up instead of
// silently turning into another code.
QString Ajusta(const QString& text, int length);

// How a date is typed in the locale's short date format, in the locale's own
// words: "dd/mm/aaaa" in Portuguese, "dd/mm/yyyy" in English.
QString DateHint(const QLocale& locale = QLocale());

} // namespace zel
