#include "supervisor/Grafico.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QStackedBarSeries>
#include <QValueAxis>

#include <map>

namespace Pkg_zel08200 {

QChartView* CreateGrafico(QWidget* parent)
{
    auto* chart = new QChart;
    chart->setTitle(QStringLiteral("Liberações por dia e código"));
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->setMargins(QMargins(2, 2, 2, 2));
    auto* view = new QChartView(chart, parent);
    view->setObjectName(QStringLiteral("chtLiberacoes"));
    view->setAccessibleName(QStringLiteral("Gráfico de liberações por dia e código"));
    view->setRenderHint(QPainter::Antialiasing);
    return view;
}

void ShowGrafico(QChartView* view, const TRows& rows, int dateColumn, int codeColumn)
{
    QChart* chart = view->chart();
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes())
        chart->removeAxis(axis);
    std::map<QDate, std::map<QString, int>> perDay;
    std::map<QString, int> codes;
    for (int r = 0; r < rows.Count(); ++r) {
        const zel::Variant& when = rows.Value(r, dateColumn);
        const zel::Variant& code = rows.Value(r, codeColumn);
        if (when.isNull()) continue;
        const QString c = code.isNull() ? QStringLiteral("?") : code.toString();
        ++perDay[when.toDateTime().date()][c];
        ++codes[c];
    }
    if (perDay.empty()) return;
    QStringList days;
    for (const auto& [day, counts] : perDay)
        days << day.toString(QStringLiteral("dd/MM"));
    auto* series = new QStackedBarSeries;
    int top = 0;
    for (const auto& [code, total] : codes) {
        auto* set = new QBarSet(code);
        for (const auto& [day, counts] : perDay) {
            const auto it = counts.find(code);
            *set << (it == counts.end() ? 0 : it->second);
        }
        series->append(set);
    }
    for (const auto& [day, counts] : perDay) {
        int sum = 0;
        for (const auto& [code, n] : counts)
            sum += n;
        top = std::max(top, sum);
    }
    chart->addSeries(series);
    auto* x = new QBarCategoryAxis;
    x->append(days);
    auto* y = new QValueAxis;
    y->setRange(0, top);
    y->setLabelFormat(QStringLiteral("%d"));
    chart->addAxis(x, Qt::AlignBottom);
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(x);
    series->attachAxis(y);
}

} // namespace Pkg_zel08200
