// Scrolling a million-row grid, page by page, painted offscreen. Prints the
// time per page against a floor measured in the same run: reading the same
// cells' display text straight from the dataset, without a view.
#include "platform/data/DataSet.h"
#include "platform/data/DataSource.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/DBGridModel.h"
#include "tests/support/Packets.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLocale>
#include <QScrollBar>

#include <cstdio>
#include <cstdlib>

using namespace zel;

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    const int rows = argc > 1 ? std::atoi(argv[1]) : 1'000'000;
    const int pages = argc > 2 ? std::atoi(argv[2]) : 200;

    TClientDataSet ds(QStringLiteral("cdsPedido"));
    ds.AddField("NRPEDIDO", TFieldType::ftString, 10);
    ds.AddField("NMFANTCLIE", TFieldType::ftString, 50);
    ds.AddField("DTPEDIDO", TFieldType::ftDateTime);
    ds.AddField("VRPEDIDO", TFieldType::ftFloat)->setDisplayFormat(QStringLiteral("#,##0.00"));
    zel::test::PacketFor packet(ds);
    const TDateTime day = TDateTime::fromDate(QDate(2026, 1, 1));
    for (int i = 0; i < rows; ++i)
        packet.row({{"NRPEDIDO", QString::number(i).rightJustified(10, QLatin1Char('0'))},
                    {"NMFANTCLIE", QStringLiteral("Cliente %1").arg(i % 977)},
                    {"DTPEDIDO", day},
                    {"VRPEDIDO", i * 1.25}});
    QElapsedTimer t;
    t.start();
    ds.SetData(packet.Take());
    const double loadMs = t.nsecsElapsed() / 1e6;

    TDataSource src(QStringLiteral("dtsPedido"), &ds);
    TDBGrid grid(nullptr, QStringLiteral("dbgPadrao"));
    grid.resize(711, 400);
    t.restart();
    grid.setDataSource(&src);
    const double bindMs = t.nsecsElapsed() / 1e6;
    grid.show();
    QApplication::processEvents();

    const int perPage = grid.viewport()->height() / grid.rowHeight(0);
    QScrollBar* bar = grid.verticalScrollBar();
    // Spread the pages over the whole list.
    const int step = std::max(1, bar->maximum() / std::max(1, pages));
    t.restart();
    for (int p = 0; p < pages; ++p) {
        bar->setValue(std::min(bar->maximum(), p * step));
        grid.viewport()->repaint();
    }
    const double viewNs = double(t.nsecsElapsed()) / pages;

    // Floor: the same number of cells' display text, read directly.
    t.restart();
    std::size_t chars = 0;
    for (int p = 0; p < pages; ++p) {
        const int first = std::min(rows - perPage, p * step);
        for (int r = first; r < first + perPage; ++r) {
            TDataSet::ActiveRowScope scope(&ds, r);
            for (int c = 0; c < ds.FieldCount(); ++c)
                chars += size_t(ds.Field(c)->DisplayText().size());
        }
    }
    const double floorNs = double(t.nsecsElapsed()) / pages;

    std::printf("rows %d, %d rows a page, %d pages\n", rows, perPage, pages);
    std::printf("load %.1f ms, bind %.1f ms\n", loadMs, bindMs);
    std::printf("page painted: %.3f ms; floor (text of the page's cells): %.3f ms; ratio %.1f (%zu chars)\n",
                viewNs / 1e6, floorNs / 1e6, viewNs / floorNs, chars);
    return 0;
}
