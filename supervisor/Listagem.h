#pragma once

// The printed list of a screen's rows: a title, the criteria, the columns'
// titles on every page, then the rows as the grid orders them, each cell cut
// to its column; landscape, page numbers at the foot.

#include "supervisor/Rows.h"

#include <QString>

class QPrinter;

namespace Pkg_zel08200 {

// Paints every row on the printer (a paper printer, a PDF file or a
// preview's pages). Raises when the printer cannot be painted on.
void PrintRows(QPrinter& printer, const QString& title, const QString& criteria, const TRows& rows);

} // namespace Pkg_zel08200
