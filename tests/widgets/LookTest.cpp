// What the controls show and tell: the user-interface face and the scale of
// the screens, the navigator's buttons, and what assistive technology reads.

#include "platform/widgets/Accessibility.h"
#include "platform/widgets/ButtonFlat.h"
#include "platform/widgets/Controls.h"
#include "platform/widgets/DBCtrls.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/Scaling.h"
#include "platform/widgets/StdCtrls.h"
#include "tests/widgets/AccessibilityCheck.h"
#include "tests/widgets/Fixtures.h"

#include <QAccessible>
#include <QFontMetrics>
#include <QHeaderView>
#include <QToolButton>
#include <QVBoxLayout>

using namespace zel;
using namespace zel::test;

namespace {

// Restores the designed size of the face, whatever a test set.
struct UiFontScope {
    ~UiFontScope() { SetUiFont(); }
};

} // namespace

TEST(Look, TheUiFaceRunsAtTheDesignedSizeAndTheScaleFollowsALargerOne)
{
    UiFontScope restore;
    SetUiFont();
    EXPECT_EQ(UiPointSize(), 8.0);
    EXPECT_EQ(QApplication::font().family(), UiFaceFamily());
    EXPECT_DOUBLE_EQ(DesignScale(), 1.0) << "at 96 dpi and 8 points the screens are as designed";
    // The screens' classic faces, and the symbol face, map to the UI face.
    for (const char* face : {"MS Sans Serif", "Monotype Sorts", "Tahoma"})
        EXPECT_EQ(TFont(QString::fromLatin1(face), -11).toQFont().family(), UiFaceFamily()) << face;

    SetUiFont(12);
    const double s = DesignScale();
    EXPECT_GT(s, 1.3);
    EXPECT_EQ(TFont(QStringLiteral("MS Sans Serif"), -11).toQFont().pointSizeF(), 12.0);
    // The ratio is that of the text heights, so text grows no faster than the bounds.
    QFont designed(UiFaceFamily());
    designed.setPointSizeF(8);
    EXPECT_LE(QFontMetrics(QApplication::font()).height(), std::lround(QFontMetrics(designed).height() * s));
    SetUiFont(6);
    EXPECT_DOUBLE_EQ(DesignScale(), 1.0) << "a smaller font never shrinks a screen below its design";
}

TEST(Look, ScalingGrowsPlacedControlsAndColumnsAndLeavesLaidOutOnesToTheirLayout)
{
    QWidget screen;
    screen.resize(725, 370);
    auto* toolbar = new TPanel(&screen, QStringLiteral("panMenu"));
    SetBounds(toolbar, 0, 0, 725, 28);
    SetAlign(toolbar, TAlign::alTop);
    auto* edit = new TEdit(toolbar, QStringLiteral("medCdFilial"));
    SetBounds(edit, 44, 6, 50, 21);
    auto* grid = new TDBGrid(&screen, QStringLiteral("dbgPadrao"));
    SetAlign(grid, TAlign::alClient);
    auto ds = makeOrders();
    TDataSource dts(QStringLiteral("dtsPedido"), ds.get());
    grid->setDataSource(&dts);
    grid->AddColumn(QStringLiteral("NRPEDIDO"))->setWidth(66);
    TColumn* byField = grid->AddColumn(QStringLiteral("NMFANTCLIE"));
    const int fieldWidth = byField->Width();
    auto* laidOut = new QWidget(&screen);
    auto* layout = new QVBoxLayout(laidOut);
    auto* inLayout = new TEdit(laidOut, QStringLiteral("inLayout"));
    layout->addWidget(inLayout);
    laidOut->setGeometry(0, 300, 100, 40);
    layout->activate();
    const QRect inLayoutBefore = inLayout->geometry();

    screen.resize(906, 462);
    ScaleControls(&screen, 1.25);
    EXPECT_EQ(toolbar->geometry(), QRect(0, 0, 906, 35));
    EXPECT_EQ(edit->geometry(), QRect(55, 8, 63, 26));
    EXPECT_EQ(grid->y(), 35) << "an aligned control is arranged with the scaled sizes";
    EXPECT_EQ(grid->columnWidth(0), 83);
    EXPECT_EQ(byField->Width(), fieldWidth) << "a width taken from the field follows the font, not the scale";
    EXPECT_EQ(inLayout->geometry(), inLayoutBefore) << "a layout places its own widgets";
}

TEST(Look, TheNavigatorHasNothingToMoveToPastTheFirstAndLastRow)
{
    auto ds = makeOrders();
    TDataSource dts(QStringLiteral("dtsPedido"), ds.get());
    TDBNavigator nav(nullptr, QStringLiteral("dbnPadrao"));
    nav.setDataSource(&dts);
    auto enabled = [&nav] {
        QString s;
        for (TNavigateBtn b :
             {TNavigateBtn::nbFirst, TNavigateBtn::nbPrior, TNavigateBtn::nbNext, TNavigateBtn::nbLast})
            s += nav.Button(b)->isEnabled() ? QLatin1Char('1') : QLatin1Char('0');
        return s;
    };
    EXPECT_EQ(enabled(), QStringLiteral("0000"));
    loadOrders(*ds, {{"1", "0000000001", "A", 1.0}});
    EXPECT_EQ(enabled(), QStringLiteral("0000")) << "a single order: nowhere to go";
    loadOrders(*ds, {{"1", "0000000001", "A", 1.0}, {"1", "0000000002", "B", 2.0}, {"1", "0000000003", "C", 3.0}});
    EXPECT_EQ(enabled(), QStringLiteral("0011"));
    ds->Next();
    EXPECT_EQ(enabled(), QStringLiteral("1111"));
    ds->Next();
    EXPECT_EQ(enabled(), QStringLiteral("1100")) << "on the last row, before any move past it";
    nav.BtnClick(TNavigateBtn::nbFirst);
    EXPECT_EQ(enabled(), QStringLiteral("0011"));
}

TEST(Look, PictureButtonsAreKnownByTheirHintAndTheNavigatorsByTheirs)
{
    TPanel panel(nullptr, QStringLiteral("panMenu"));
    auto* button = new TButtonFlat(&panel, QStringLiteral("btnLiberar"));
    SetHint(button, QStringLiteral("Liberar inconsistências"));
    EXPECT_EQ(AccessibleName(button), QStringLiteral("Liberar inconsistências"));
    SetShowHint(button, false); // the hint is not shown as a tip: the name stays
    EXPECT_EQ(AccessibleName(button), QStringLiteral("Liberar inconsistências"));
    auto* named = new TButtonFlat(&panel, QStringLiteral("sbtFiltro"));
    named->setAccessibleName(QStringLiteral("Filtrar pedidos"));
    SetHint(named, QStringLiteral("Filtro"));
    EXPECT_EQ(AccessibleName(named), QStringLiteral("Filtrar pedidos")) << "a name of its own wins";

    TDBNavigator nav(nullptr, QStringLiteral("dbnPadrao"));
    nav.setHints({});
    EXPECT_EQ(AccessibleName(nav.Button(TNavigateBtn::nbNext)), QStringLiteral("Próximo registro"));
    nav.setHints({QStringLiteral("Início"), QString(), QStringLiteral("Adiante"), QStringLiteral("Fim")});
    EXPECT_EQ(AccessibleName(nav.Button(TNavigateBtn::nbFirst)), QStringLiteral("Início"));
    EXPECT_EQ(AccessibleName(nav.Button(TNavigateBtn::nbPrior)), QStringLiteral("Registro anterior"));
}

namespace {
QStringList& logged()
{
    static QStringList l;
    return l;
}
void captureLog(QtMsgType, const QMessageLogContext&, const QString& message)
{
    logged() << message;
}
} // namespace

TEST(Look, AskingAnEmptyGridForItsColumnHeadersLeavesTheLogQuiet)
{
    auto ds = makeOrders();
    TDataSource dts(QStringLiteral("dtsPedido"), ds.get());
    TDBGrid grid(nullptr, QStringLiteral("dbgPadrao"));
    grid.setAccessibleName(QStringLiteral("Pedidos"));
    grid.setDataSource(&dts);
    grid.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&grid));

    logged().clear();
    const QtMessageHandler before = qInstallMessageHandler(&captureLog);
    KeepEmptyTablesQuiet();
    QAccessibleInterface* table = QAccessible::queryAccessibleInterface(&grid);
    ASSERT_NE(table, nullptr);
    ASSERT_NE(table->tableInterface(), nullptr);
    const int columns = table->tableInterface()->columnCount();
    EXPECT_EQ(columns, grid.ShownColumnCount());
    // What a screen reader's bridge does for a column header: the cell of
    // the first row, of which an empty grid has none.
    for (int c = 0; c < columns; ++c)
        EXPECT_EQ(table->tableInterface()->cellAt(0, c), nullptr);
    qWarning("another warning");
    qInstallMessageHandler(before);
    EXPECT_EQ(logged(), QStringList{QStringLiteral("another warning")}) << "other messages still get through";
    EXPECT_TRUE(None(AccessibilityProblems(&grid)));
}
