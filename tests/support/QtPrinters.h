#pragma once

// How failure messages show Qt values: a text as text, not as an array of
// characters. Every source of a test program must see the same printers (the
// printer of a type is compiled once per program), so the fixtures' headers
// include this one.

#include <QString>

#include <ostream>

inline void PrintTo(const QString& s, std::ostream* os)
{
    *os << '"' << s.toStdString() << '"';
}
