#include "supervisor/Listagem.h"

#include "platform/data/Exceptions.h"
#include "platform/widgets/Controls.h"
#include "supervisor/Csv.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPrinter>

namespace Pkg_zel08200 {

void PrintRows(QPrinter& printer, const QString& title, const QString& criteria, const TRows& rows)
{
    QPainter p;
    if (!p.begin(&printer))
        throw zel::Exception(
            QStringLiteral("Não foi possível imprimir em \"%1\".")
                .arg(printer.printerName().isEmpty() ? printer.outputFileName() : printer.printerName()));
    const QRect page = printer.pageLayout().paintRectPixels(printer.resolution());
    const QRect area(0, 0, page.width(), page.height());
    QFont body(zel::UiFaceFamily());
    body.setPointSizeF(7);
    QFont bold = body;
    bold.setBold(true);
    QFont big = bold;
    big.setPointSizeF(11);

    // Each column gets the room its longest value needs (an order number,
    // a date-time); the texts share the rest as they share the screen's.
    // Measured as the painter draws, which may differ from the printer's own
    // idea of the fonts' sizes.
    p.setFont(body);
    const QFontMetrics bodyMetrics = p.fontMetrics();
    p.setFont(bold);
    const QFontMetrics boldMetrics = p.fontMetrics();
    const int gap = bodyMetrics.horizontalAdvance(QLatin1Char(' ')) * 2;
    std::vector<int> shown, widths;
    int fixed = 0, designed = 0;
    for (int c = 0; c < int(rows.Columns().size()); ++c) {
        const TColumnSpec& col = rows.Columns()[size_t(c)];
        if (col.width <= 0) continue;
        shown.push_back(c);
        QString sample;
        if (col.type == zel::TFieldType::ftDateTime)
            sample = QStringLiteral("00/00/0000 00:00:00");
        else if (col.size <= 12)
            sample = QString(col.size, QLatin1Char('0'));
        // Hinting makes one string of digits a little wider than another:
        // a space to spare.
        const int need =
            std::max(bodyMetrics.horizontalAdvance(sample), boldMetrics.horizontalAdvance(col.caption)) + 2 * gap;
        widths.push_back(sample.isEmpty() ? -col.width : need);
        if (sample.isEmpty())
            designed += col.width;
        else
            fixed += need;
    }
    const int rest = std::max(0, area.width() - fixed);
    std::vector<int> lefts;
    int x = 0;
    for (int& w : widths) {
        if (w < 0) w = rest * -w / std::max(designed, 1);
        lefts.push_back(x);
        x += w;
    }

    const int line = bodyMetrics.height() * 5 / 4;
    int pageNo = 0;
    int y = 0;
    const auto cells = [&](const QFont& font, const auto& textOf) {
        p.setFont(font);
        const QFontMetrics fm = p.fontMetrics();
        for (size_t i = 0; i < shown.size(); ++i)
            p.drawText(QRect(lefts[i], y, widths[i] - gap, line), Qt::AlignLeft | Qt::AlignVCenter,
                       fm.elidedText(textOf(shown[i]), Qt::ElideRight, widths[i] - gap));
        y += line;
    };
    const auto header = [&] {
        ++pageNo;
        y = 0;
        p.setFont(big);
        p.drawText(QRect(0, y, area.width(), line * 2), Qt::AlignLeft | Qt::AlignVCenter, title);
        y += line * 2;
        p.setFont(body);
        p.drawText(QRect(0, y, area.width(), line), Qt::AlignLeft | Qt::AlignVCenter, criteria);
        y += line + gap;
        cells(bold, [&](int c) { return rows.Columns()[size_t(c)].caption; });
        p.drawLine(0, y, area.width(), y);
        y += gap;
    };
    const auto footer = [&] {
        p.setFont(body);
        p.drawText(QRect(0, area.height() - line, area.width(), line), Qt::AlignRight | Qt::AlignVCenter,
                   QStringLiteral("Página %1").arg(pageNo));
    };
    header();
    for (int r = 0; r < rows.Count(); ++r) {
        if (y + line > area.height() - line * 2) {
            footer();
            printer.newPage();
            header();
        }
        cells(body, [&](int c) { return CsvValue(rows.Value(r, c)); });
    }
    y += gap;
    p.setFont(bold);
    p.drawText(QRect(0, y, area.width(), line), Qt::AlignLeft | Qt::AlignVCenter,
               rows.Count() == 1 ? QStringLiteral("1 linha") : QStringLiteral("%1 linhas").arg(rows.Count()));
    footer();
    p.end();
}

} // namespace Pkg_zel08200
