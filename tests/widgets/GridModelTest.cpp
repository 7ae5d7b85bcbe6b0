#include "platform/widgets/DBGrid.h"
#include "platform/widgets/DBGridModel.h"
#include "tests/widgets/Fixtures.h"

#include <QAbstractItemModelTester>

using namespace zel;
using namespace zel::test;

// The grid's model keeps Qt's model rules through everything the dataset does
// to it: loads, moves, edits, inserts, cancels, posts, closes.
TEST(GridModel, KeepsTheModelRulesThroughTheDataSetsLife)
{
    reported().clear();
    auto ds = makeOrders();
    TDataSource src(QStringLiteral("dts"), ds.get());
    TDBGrid grid(nullptr, QStringLiteral("dbg"));
    grid.setDataSource(&src);
    QAbstractItemModelTester tester(grid.Model(), QAbstractItemModelTester::FailureReportingMode::Fatal);

    loadOrders(*ds, 1000);
    EXPECT_EQ(grid.Model()->rowCount(), 1000);
    EXPECT_EQ(grid.Model()->columnCount(), 4);
    ds->MoveBy(500);
    ds->Edit();
    ds->FieldByName("NMFANTCLIE")->setAsString(QStringLiteral("X"));
    EXPECT_EQ(grid.Model()->index(500, 2).data().toString(), QStringLiteral("X"));
    ds->Post();
    ds->Insert();
    EXPECT_EQ(grid.Model()->rowCount(), 1001);
    ds->Cancel();
    ds->Append();
    ds->FieldByName("NRPEDIDO")->setAsString(QStringLiteral("9999999999"));
    ds->Post();
    EXPECT_EQ(grid.Model()->rowCount(), 1001);
    EXPECT_EQ(grid.Model()->index(1000, 1).data().toString(), QStringLiteral("9999999999"));
    ds->DisableControls();
    ds->First();
    ds->Delete();
    ds->EnableControls();
    EXPECT_EQ(grid.Model()->rowCount(), 1000);
    ds->Close();
    EXPECT_EQ(grid.Model()->rowCount(), 0);
    loadOrders(*ds, 0);
    EXPECT_EQ(grid.Model()->rowCount(), 0);
    EXPECT_TRUE(reported().isEmpty());
}

// A million rows: counting and reading a cell far down must not touch the rest.
TEST(GridModel, AMillionRowsAreReadOnlyWhereShown)
{
    auto ds = makeOrders();
    TDataSource src(QStringLiteral("dts"), ds.get());
    int texts = 0;
    ds->FieldByName("IDSITPEDIDO")->OnGetText = [&](TField* f, QString& text, bool) {
        ++texts;
        text = f->AsString();
    };
    PacketFor orders(*ds);
    for (int i = 0; i < 1'000'000; ++i)
        orders.row({{"IDSITPEDIDO", "1"}, {"NRPEDIDO", QString::number(i)}, {"VRPEDIDO", double(i)}});
    ds->SetData(orders.Take());

    TDBGrid grid(nullptr, QStringLiteral("dbg"));
    grid.resize(600, 300);
    grid.setDataSource(&src);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));
    EXPECT_EQ(grid.Model()->rowCount(), 1'000'000);
    texts = 0;
    ds->Last();
    grid.grab();
    EXPECT_GT(texts, 0);
    EXPECT_LT(texts, 100); // the rows on the screen, not the whole list
    EXPECT_EQ(grid.currentIndex().row(), 999'999);
    EXPECT_EQ(grid.Model()->index(999'999, 1).data().toString(), QStringLiteral("999999"));
}
