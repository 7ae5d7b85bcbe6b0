#pragma once

// Text files that spreadsheets set up for Brazil open as tables: UTF-8 with
// its byte-order mark (without it they read the accents wrongly), fields
// separated by ";", a field quoted when it holds a separator, a quote or a
// line break, dates as dd/mm/yyyy.

#include "supervisor/Rows.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace Pkg_zel08200 {

// One field as it is written.
QString CsvField(const QString& text);
// A value as the file shows it: dates in Brazilian form, numbers with the
// decimal comma, texts as they are.
QString CsvValue(const zel::Variant& v);
// The header (the columns' captions) and every row, in the rows' order.
QByteArray ToCsv(const TRows& rows);

} // namespace Pkg_zel08200
