// Marking inconsistencies through the check column: a click, the space bar
// and the column title, with and without the release right, against the real
// server.

#include "host/Dialogs.h"
#include "review/Cli_zel08100.h"
#include "review/TfrmIncPed.h"
#include "tests/review/ScreenFixture.h"

#include <QEvent>
#include <QImage>
#include <QTest>

using namespace zel;
using namespace zel::test;
namespace unit = Cli_zel08100;

namespace {

const QString kOperInv = QStringLiteral("Operador não possui permissão para liberar inconsistências. ");

// Counts how often a widget is enabled or disabled while it lives.
struct EnabledChanges : QObject {
    explicit EnabledChanges(QWidget* w) : widget(w) { w->installEventFilter(this); }
    ~EnabledChanges() override { widget->removeEventFilter(this); }
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::EnabledChange) ++count;
        return false;
    }
    QWidget* widget;
    int count = 0;
};

class MarkingTest : public ScreenTest {
protected:
    // Releases both entries together; reads them as the user sees them.
    bool releaseEnabled() const
    {
        EXPECT_EQ(screen->btnLiberar->isEnabled(), screen->mnuLiberar->isEnabled()) << "button and entry differ";
        return screen->mnuLiberar->isEnabled();
    }
    QStringList marks() const
    {
        QStringList m;
        for (int r = 0; r < screen->cdsIncPed.RecordCount(); ++r)
            m << incValue(r, "ATIVA");
        return m;
    }
    QStringList storedMarks(const Order& o, int n) const
    {
        QStringList m;
        for (int i = 1; i <= n; ++i)
            m << Stored(*server_, o, i).ativa;
        return m;
    }
};

} // namespace

TEST_F(MarkingTest, WithoutReleaseRightTickingIsRefusedWhileClearingATickIsNot)
{
    const Order o = AddOrder(*server_, QStringLiteral("0001"), {{}, {QStringLiteral("S")}});
    logInAs(QStringLiteral("0009")); // no release group anywhere
    ASSERT_NE(openOrder(o), nullptr);
    ASSERT_TRUE(screen->cdsGrupOper.IsEmpty());
    ASSERT_EQ(screen->cdsIncPed.RecordCount(), 2);

    // Ticking the unmarked row: the message with its trailing blank, nothing sent.
    clickCell(screen->dbgIncPed, 0, kCheck);
    EXPECT_EQ(MessageSeam::errors(), std::vector<QString>{kOperInv});
    EXPECT_EQ(spy->count(QStringLiteral("SetIncPed")), 0);
    EXPECT_EQ(marks(), QStringList({"N", "S"}));
    EXPECT_EQ(unit::inConPedCheck, 0);
    EXPECT_FALSE(screen->boMarcando);

    // Clearing the ticked one needs no right: stored at once, the count goes down.
    MessageSeam::clearHistory();
    clickCell(screen->dbgIncPed, 1, kCheck);
    EXPECT_TRUE(MessageSeam::errors().empty());
    ASSERT_EQ(spy->count(QStringLiteral("SetIncPed")), 1);
    EXPECT_EQ(spy->of(QStringLiteral("SetIncPed"))[0].args, QStringList{"002:ATIVA=N"});
    EXPECT_EQ(marks(), QStringList({"N", "N"}));
    EXPECT_EQ(storedMarks(o, 2), QStringList({"N", "N"}));
    EXPECT_EQ(unit::inConPedCheck, -1);
    EXPECT_FALSE(releaseEnabled());

    // With a count other than 0 the title clears every row; rows already
    // clear change nothing and send nothing. Then mark-all is refused.
    spy->clear();
    clickTitle(screen->dbgIncPed, kCheck);
    EXPECT_EQ(unit::inConPedCheck, 0);
    EXPECT_EQ(spy->count(QStringLiteral("SetIncPed")), 0);
    EXPECT_TRUE(MessageSeam::errors().empty());
    clickTitle(screen->dbgIncPed, kCheck);
    EXPECT_EQ(MessageSeam::errors(), std::vector<QString>{kOperInv});
    EXPECT_EQ(spy->count(QStringLiteral("SetIncPed")), 0);
    EXPECT_EQ(marks(), QStringList({"N", "N"}));
    EXPECT_EQ(screen->cdsIncPed.CurrentRow(), 1) << "back on the row the walk started from";
    EXPECT_FALSE(screen->cdsIncPed.ControlsDisabled());
}

TEST_F(MarkingTest, TheCheckTitleMarksEveryRowThenClearsEveryRow)
{
    const Order o = AddOrder(*server_, QStringLiteral("0001"), {{}, {}, {}});
    ASSERT_NE(openOrder(o), nullptr);
    clickCell(screen->dbgIncPed, 1, kDescricao);
    ASSERT_EQ(screen->cdsIncPed.CurrentRow(), 1);
    const bool filterBefore = screen->sbtFiltro->isEnabled();
    spy->clear();

    clickTitle(screen->dbgIncPed, kCheck);
    EXPECT_EQ(spy->of(QStringLiteral("SetIncPed")).size(), 3u);
    QStringList sent;
    for (const SpyCall& c : spy->of(QStringLiteral("SetIncPed"))) {
        sent << c.args;
        EXPECT_EQ(c.aviKind, TAviKind::Storing);
        EXPECT_FALSE(c.confirmEnabled) << "a mark-all walk is no note edit";
    }
    EXPECT_EQ(sent, QStringList({"001:ATIVA=S", "002:ATIVA=S", "003:ATIVA=S"}));
    // The first row, one fetch after each row's move (the last one included),
    // and the way back to the row the walk started from.
    EXPECT_EQ(spy->count(QStringLiteral("GetItem")), 5);
    EXPECT_EQ(unit::inConPedCheck, 3);
    EXPECT_TRUE(releaseEnabled());
    EXPECT_EQ(screen->sbtFiltro->isEnabled(), filterBefore) << "the title leaves the filter button";
    EXPECT_EQ(screen->cdsIncPed.CurrentRow(), 1);
    EXPECT_EQ(screen->dbgIncPed->currentIndex().row(), 1) << "the grid follows the list again";
    EXPECT_FALSE(screen->cdsIncPed.ControlsDisabled());
    EXPECT_EQ(marks(), QStringList({"S", "S", "S"}));
    EXPECT_EQ(storedMarks(o, 3), QStringList({"S", "S", "S"}));

    spy->clear();
    clickTitle(screen->dbgIncPed, kCheck);
    sent.clear();
    for (const SpyCall& c : spy->of(QStringLiteral("SetIncPed")))
        sent << c.args;
    EXPECT_EQ(sent, QStringList({"001:ATIVA=N", "002:ATIVA=N", "003:ATIVA=N"}));
    EXPECT_EQ(unit::inConPedCheck, 0);
    EXPECT_FALSE(releaseEnabled());
    EXPECT_EQ(storedMarks(o, 3), QStringList({"N", "N", "N"}));

    // Another column's title does nothing.
    spy->clear();
    clickTitle(screen->dbgIncPed, kDescricao);
    EXPECT_TRUE(spy->calls.empty());
    EXPECT_EQ(unit::inConPedCheck, 0);

    // After a refresh of the list with a count above 0, the title clears
    // every row, also rows the refresh brought back unmarked.
    clickCell(screen->dbgIncPed, 0, kCheck);
    ASSERT_EQ(unit::inConPedCheck, 1);
    click(screen->sbtVerificar);
    EXPECT_EQ(unit::inConPedCheck, 1) << "a refresh keeps the count";
    EXPECT_TRUE(releaseEnabled());
    spy->clear();
    clickTitle(screen->dbgIncPed, kCheck);
    EXPECT_EQ(spy->of(QStringLiteral("SetIncPed")).size(), 1u);
    EXPECT_EQ(unit::inConPedCheck, 0);
    EXPECT_EQ(marks(), QStringList({"N", "N", "N"}));
    EXPECT_TRUE(MessageSeam::history().empty());
}

TEST_F(MarkingTest, AClickOrTheSpaceBarTogglesOneRowAndTheReleaseEntriesFollowTheCurrentRow)
{
    const Order o = AddOrder(*server_, QStringLiteral("0001"), {{}, {}, {}});
    ASSERT_NE(openOrder(o), nullptr);

    // A click on the description: no toggle, the entries from the current row;
    // the check column opens no cell editor, the others may.
    clickCell(screen->dbgIncPed, 0, kDescricao);
    EXPECT_EQ(spy->count(QStringLiteral("SetIncPed")), 0);
    EXPECT_FALSE(releaseEnabled());
    EXPECT_FALSE(screen->sbtFiltro->isEnabled()) << "given-order mode: the filter button follows the release button";
    EXPECT_TRUE(screen->dbgIncPed->Options() & dgEditing);

    // The toggle passes through the edit state: confirm and cancel never light up.
    EnabledChanges confirmChanges(screen->sbtConfirmar), cancelChanges(screen->sbtCancelar);
    clickCell(screen->dbgIncPed, 0, kCheck);
    EXPECT_EQ(confirmChanges.count, 0);
    EXPECT_EQ(cancelChanges.count, 0);
    EXPECT_FALSE(screen->dbgIncPed->Options() & dgEditing);
    ASSERT_EQ(spy->count(QStringLiteral("SetIncPed")), 1);
    const SpyCall send = spy->of(QStringLiteral("SetIncPed"))[0];
    EXPECT_EQ(send.args, QStringList{"001:ATIVA=S"});
    EXPECT_EQ(send.aviKind, TAviKind::Storing);
    EXPECT_FALSE(send.confirmEnabled) << "a mark being stored is no note to confirm";
    EXPECT_FALSE(send.cancelEnabled);
    EXPECT_FALSE(screen->boMarcando);
    EXPECT_EQ(unit::inConPedCheck, 1);
    EXPECT_TRUE(releaseEnabled());
    EXPECT_TRUE(screen->sbtFiltro->isEnabled()) << "given-order mode: enabled with the release button";
    EXPECT_FALSE(screen->sbtConfirmar->isEnabled());

    // The space bar toggles the current row whatever the current column; it
    // leaves the filter button alone.
    clickCell(screen->dbgIncPed, 1, kDescricao);
    EXPECT_FALSE(releaseEnabled()) << "the current row is not marked";
    EXPECT_FALSE(screen->sbtFiltro->isEnabled());
    key(screen->dbgIncPed, Qt::Key_Space);
    EXPECT_EQ(marks(), QStringList({"S", "S", "N"}));
    EXPECT_EQ(unit::inConPedCheck, 2);
    EXPECT_TRUE(releaseEnabled());
    EXPECT_FALSE(screen->sbtFiltro->isEnabled());

    // Unticking one of two ticked rows disables the release until the other
    // one is the current row.
    key(screen->dbgIncPed, Qt::Key_Space);
    EXPECT_EQ(marks(), QStringList({"S", "N", "N"}));
    EXPECT_EQ(unit::inConPedCheck, 1);
    EXPECT_FALSE(releaseEnabled());
    clickCell(screen->dbgIncPed, 0, kDescricao);
    EXPECT_TRUE(releaseEnabled());

    EXPECT_EQ(storedMarks(o, 3), QStringList({"S", "N", "N"}));
    EXPECT_EQ(spy->count(QStringLiteral("SetIncPed")), 3);
    EXPECT_TRUE(MessageSeam::history().empty());
}

TEST_F(MarkingTest, ARefusedSendKeepsTheMarkAndTheCountAndStopsMarkAllWhereItFailed)
{
    const Order o = AddOrder(*server_, QStringLiteral("0001"), {{}, {}, {}});
    ASSERT_NE(openOrder(o), nullptr);
    clickCell(screen->dbgIncPed, 2, kDescricao);
    const bool filterBefore = screen->sbtFiltro->isEnabled();

    // A single toggle whose send the server refuses.
    spy->failAt[QStringLiteral("SetIncPed")] = 1;
    clickCell(screen->dbgIncPed, 2, kCheck);
    EXPECT_EQ(MessageSeam::errors(), std::vector<QString>{spy->failText});
    EXPECT_EQ(marks(), QStringList({"N", "N", "N"}));
    EXPECT_EQ(screen->cdsIncPed.ChangeCount(), 0);
    EXPECT_EQ(unit::inConPedCheck, 0);
    EXPECT_FALSE(screen->boMarcando);
    EXPECT_FALSE(releaseEnabled());
    EXPECT_EQ(screen->sbtFiltro->isEnabled(), filterBefore);

    // Mark-all whose second send is refused: the first row stays marked and
    // counted, the rest are as they were, back on the starting row.
    spy->clear();
    spy->failAt[QStringLiteral("SetIncPed")] = 2;
    MessageSeam::clearHistory();
    clickTitle(screen->dbgIncPed, kCheck);
    EXPECT_EQ(MessageSeam::errors(), std::vector<QString>{spy->failText});
    EXPECT_EQ(spy->count(QStringLiteral("SetIncPed")), 2);
    EXPECT_EQ(marks(), QStringList({"S", "N", "N"}));
    EXPECT_EQ(storedMarks(o, 3), QStringList({"S", "N", "N"}));
    EXPECT_EQ(unit::inConPedCheck, 1);
    EXPECT_EQ(screen->cdsIncPed.CurrentRow(), 2);
    EXPECT_FALSE(screen->cdsIncPed.ControlsDisabled());
    EXPECT_FALSE(releaseEnabled()) << "the entries are not set after a failed walk";
}

TEST_F(MarkingTest, TheCheckColumnDrawsItsTwoPicturesWithoutTheirOliveBackground)
{
    const Order o = AddOrder(*server_, QStringLiteral("0001"), {{QStringLiteral("S")}, {}});
    ASSERT_NE(openOrder(o), nullptr);
    TDBGrid* grid = screen->dbgIncPed;
    clickCell(grid, 1, kDescricao); // the ticked row is not the selected one
    const QImage shot = grid->viewport()->grab().toImage();
    auto count = [&](int row, auto&& pixel) {
        const QRect cell = grid->visualRect(grid->model()->index(row, kCheck));
        int n = 0;
        for (int y = cell.top(); y <= cell.bottom(); ++y)
            for (int x = cell.left(); x <= cell.right(); ++x)
                if (pixel(shot.pixelColor(x, y))) ++n;
        return n;
    };
    auto olive = [](const QColor& c) { return c.red() == 128 && c.green() == 128 && c.blue() == 0; };
    auto black = [](const QColor& c) { return c.red() < 40 && c.green() < 40 && c.blue() < 40; };
    auto white = [](const QColor& c) { return c.red() == 255 && c.green() == 255 && c.blue() == 255; };
    for (int row : {0, 1}) {
        EXPECT_EQ(count(row, olive), 0) << "row " << row << ": the background colour is left out";
        EXPECT_GT(count(row, white), 40) << "row " << row << ": the box is drawn";
    }
    EXPECT_GT(count(0, black), count(1, black) + 8) << "the ticked box carries the tick";
}

// The space bar in the order grid is the order grid's: it marks nothing in
// the inconsistency grid and sends nothing.
TEST_F(MarkingTest, TheSpaceBarInTheOrderGridMarksNothing)
{
    const Order o = AddOrder(*server_, QStringLiteral("0001"), {{}});
    ASSERT_NE(openOrder(o), nullptr);
    clickCell(screen->dbgIncPed, 0, kDescricao);
    clickCell(screen->dbgPadrao, 0, 1);
    ASSERT_EQ(activeName(), QStringLiteral("dbgPadrao"));
    key(screen->dbgPadrao, Qt::Key_Space);
    EXPECT_EQ(spy->count(QStringLiteral("SetIncPed")), 0);
    EXPECT_EQ(marks(), QStringList{"N"});
    EXPECT_EQ(Stored(*server_, o, 1).ativa, QStringLiteral("N"));
    EXPECT_FALSE(releaseEnabled());

    // In the inconsistency grid it marks.
    clickCell(screen->dbgIncPed, 0, kDescricao);
    key(screen->dbgIncPed, Qt::Key_Space);
    EXPECT_EQ(marks(), QStringList{"S"});
}

// Entering the branch panel, or its look-up, empties both lists; the
// marking follows as for an empty reload, and the release shortcut then
// does nothing and shows nothing.
TEST_F(MarkingTest, EmptyingTheListsForTheBranchPanelResetsTheMarking)
{
    const Order a = AddOrder(*server_, QStringLiteral("0001"), {{}, {}});
    const Order b = AddOrder(*server_, QStringLiteral("0001"), {{}});
    ASSERT_NE(openOrders(a, b), nullptr);
    clickCell(screen->dbgIncPed, 0, kCheck);
    ASSERT_EQ(marks(), (QStringList{"S", "N"}));
    ASSERT_TRUE(releaseEnabled());
    ASSERT_FALSE(screen->sbtFiltro->isEnabled()) << "filter mode: the opposite of the release button";

    screen->medCdFilial->setFocus();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !screen->cdsPedido.Active(); }));
    EXPECT_FALSE(screen->cdsIncPed.Active());
    EXPECT_FALSE(releaseEnabled());
    EXPECT_EQ(unit::inConPedCheck, 0);
    EXPECT_TRUE(screen->sbtFiltro->isEnabled());
    spy->clear();
    key(screen->medCdFilial, Qt::Key_B, Qt::ControlModifier);
    screen->btnLiberarClick(screen->btnLiberar);
    EXPECT_TRUE(spy->calls.empty());
    EXPECT_TRUE(MessageSeam::history().empty());
}
