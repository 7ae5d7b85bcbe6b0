#pragma once

// The small chart above the history's grid: releases per day, each day's
// bar split by inconsistency code.

#include "supervisor/Rows.h"

class QChartView;
class QWidget;

namespace Pkg_zel08200 {

QChartView* CreateGrafico(QWidget* parent);
// Draws the rows' releases per day (of `dateColumn`) and code (of `codeColumn`).
void ShowGrafico(QChartView* view, const TRows& rows, int dateColumn, int codeColumn);

} // namespace Pkg_zel08200
