#include "platform/widgets/Controls.h"
#include "platform/widgets/DBGrid.h"
#include "platform/widgets/PageControl.h"
#include "platform/widgets/StdCtrls.h"
#include "tests/widgets/Fixtures.h"

#include <QMouseEvent>

using namespace zel;
using namespace zel::test;

// The review screen's detail area: a top grid, the splitter created first but
// placed under it by its top, and the pages filling the rest.
TEST(Layout, AlignedChildrenAreArrangedByKindPositionAndCreation)
{
    TScrollBox scb(nullptr, QStringLiteral("scbFolhaDados"));
    scb.resize(711, 263);
    QWidget* area = scb.Content();
    auto* splitter = new TSplitter(area, QStringLiteral("Splitter1"));
    auto* grid = new TDBGrid(area, QStringLiteral("dbgPadrao"));
    auto* pgc = new TPageControl(area, QStringLiteral("pgcIncPed"));
    SetBounds(grid, 0, 0, 711, 150);
    SetAlign(grid, TAlign::alTop);
    SetBounds(splitter, 0, 150, 711, 2);
    SetAlign(splitter, TAlign::alTop);
    SetAlign(pgc, TAlign::alClient);
    scb.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&scb));
    EXPECT_EQ(area->size(), QSize(711, 263));
    EXPECT_EQ(grid->geometry(), QRect(0, 0, 711, 150));
    EXPECT_EQ(splitter->geometry(), QRect(0, 150, 711, 2));
    EXPECT_EQ(pgc->geometry(), QRect(0, 152, 711, 111));

    // A control placed beyond the box makes it scroll; aligned ones never do.
    auto* far = new TPanel(area, QStringLiteral("far"));
    SetBounds(far, 10, 400, 50, 20);
    far->show();
    EXPECT_EQ(area->minimumSize(), QSize(60, 420));
    delete far;
    area->setMinimumSize(0, 0);

    // The parent grows: the client takes it all.
    scb.resize(800, 400);
    EXPECT_EQ(grid->geometry(), QRect(0, 0, 800, 150));
    EXPECT_EQ(pgc->geometry(), QRect(0, 152, 800, 248));

    // Bottom, left and right take their edges before the client; hidden ones take nothing.
    TPanel panel(nullptr, QStringLiteral("panIncPed"));
    panel.setBevelOuter(TBevelCut::bvLowered);
    panel.resize(200, 100);
    auto* client = new TPanel(&panel, QStringLiteral("client"));
    auto* bottom = new TPanel(&panel, QStringLiteral("bottom"));
    auto* left = new TPanel(&panel, QStringLiteral("left"));
    auto* right = new TPanel(&panel, QStringLiteral("right"));
    auto* hidden = new TPanel(&panel, QStringLiteral("hidden"));
    SetBounds(bottom, 0, 0, 10, 20);
    SetBounds(left, 0, 0, 30, 10);
    SetBounds(right, 0, 0, 40, 10);
    SetBounds(hidden, 0, 0, 50, 50);
    hidden->hide();
    SetAlign(hidden, TAlign::alTop);
    SetAlign(client, TAlign::alClient);
    SetAlign(bottom, TAlign::alBottom);
    SetAlign(left, TAlign::alLeft);
    SetAlign(right, TAlign::alRight);
    // Inside the lowered bevel: one pixel in from every edge.
    EXPECT_EQ(bottom->geometry(), QRect(1, 79, 198, 20));
    EXPECT_EQ(left->geometry(), QRect(1, 1, 30, 78));
    EXPECT_EQ(right->geometry(), QRect(159, 1, 40, 78));
    EXPECT_EQ(client->geometry(), QRect(31, 1, 128, 78));
    hidden->show();
    EXPECT_EQ(hidden->geometry(), QRect(1, 1, 198, 50));
    EXPECT_EQ(client->geometry(), QRect(31, 51, 128, 28));
}

TEST(Layout, DraggingTheSplitterResizesTheControlAboveAndTheRestFollows)
{
    QWidget area;
    area.resize(711, 263);
    auto* splitter = new TSplitter(&area, QStringLiteral("Splitter1"));
    auto* grid = new TDBGrid(&area, QStringLiteral("dbgPadrao"));
    auto* pgc = new TPageControl(&area, QStringLiteral("pgcIncPed"));
    SetBounds(grid, 0, 0, 711, 150);
    SetAlign(grid, TAlign::alTop);
    SetBounds(splitter, 0, 150, 711, 2);
    SetAlign(splitter, TAlign::alTop);
    SetAlign(pgc, TAlign::alClient);
    area.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&area));
    EXPECT_EQ(splitter->Control(), grid);
    EXPECT_EQ(splitter->cursor().shape(), Qt::SizeVerCursor);
    int moved = 0;
    splitter->OnMoved = [&](QObject*) { ++moved; };

    auto drag = [&](int dy) {
        QTest::mousePress(splitter, Qt::LeftButton, {}, QPoint(300, 1));
        QMouseEvent move(QEvent::MouseMove, QPointF(300, 1 + dy), splitter->mapToGlobal(QPointF(300, 1 + dy)),
                         Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(splitter, &move);
        QTest::mouseRelease(splitter, Qt::LeftButton, {}, QPoint(300, 1 + dy));
    };
    drag(40); // down: the grid grows, the pages shrink
    EXPECT_EQ(grid->geometry(), QRect(0, 0, 711, 190));
    EXPECT_EQ(splitter->y(), 190);
    EXPECT_EQ(pgc->geometry(), QRect(0, 192, 711, 71));
    drag(-100); // up: the grid shrinks, keeping its top
    EXPECT_EQ(grid->geometry(), QRect(0, 0, 711, 90));
    EXPECT_EQ(pgc->height(), 171);
    drag(1000); // never past the minimum size of the pages
    EXPECT_EQ(pgc->height(), splitter->MinSize());
    drag(-1000);
    EXPECT_EQ(grid->height(), splitter->MinSize());
    EXPECT_EQ(moved, 4);
}

TEST(Layout, HintsShowByTheControlsOwnSettingOrItsParents)
{
    TPanel panel(nullptr, QStringLiteral("panFilial"));
    auto* own = new TPanel(&panel, QStringLiteral("btpFilial"));
    auto* inherited = new TPanel(&panel, QStringLiteral("inherited"));
    SetHint(own, QStringLiteral("Pesquisar"));
    SetHint(inherited, QStringLiteral("Outro"));
    EXPECT_EQ(own->toolTip(), QString()); // nobody shows hints yet
    SetShowHint(own, true);
    EXPECT_EQ(own->toolTip(), QStringLiteral("Pesquisar"));
    SetShowHint(&panel, true);
    EXPECT_EQ(inherited->toolTip(), QStringLiteral("Outro"));
    SetShowHint(&panel, false);
    EXPECT_EQ(inherited->toolTip(), QString());
    EXPECT_EQ(own->toolTip(), QStringLiteral("Pesquisar")); // its own setting, not the panel's

    // A label sizing itself keeps its caption whole, whatever bounds or font it gets.
    auto* label = new TLabel(&panel, QStringLiteral("lblFilial"), QStringLiteral("Filial"));
    SetBounds(label, 6, 9, 5, 13);
    SetFont(label, TFont(QStringLiteral("MS Sans Serif"), -11, fsBold));
    EXPECT_EQ(label->size(), label->sizeHint());
    EXPECT_GE(label->width(), label->fontMetrics().horizontalAdvance(QStringLiteral("Filial")));
    EXPECT_EQ(label->pos(), QPoint(6, 9));
    label->setAutoSize(false);
    SetBounds(label, 6, 9, 5, 13);
    EXPECT_EQ(label->width(), 5);

    TFont f(QStringLiteral("MS Sans Serif"), -11, fsBold);
    EXPECT_EQ(f.Size(), 8);
    EXPECT_TRUE(f.toQFont().bold());
    EXPECT_EQ(f.toQFont().pointSize(), 8);
    SetColor(own, colors::clInfoBk);
    EXPECT_EQ(Color(own), QColor(0xFF, 0xFF, 0xE1));
}

TEST(Layout, TabOrderFollowsEachContainersTabIndexDepthFirst)
{
    QWidget form;
    auto* panel = new TPanel(&form, QStringLiteral("panFilial"));
    auto* name = new TEdit(panel, QStringLiteral("edtNmfilial"));
    auto* code = new TEdit(panel, QStringLiteral("medCdFilial"));
    auto* grid = new TEdit(&form, QStringLiteral("dbgPadrao"));
    auto* off = new TEdit(panel, QStringLiteral("disabled"));
    SetTabOrder(grid, 0);
    SetTabOrder(panel, 1);
    SetTabOrder(name, 2);
    SetTabOrder(code, 0);
    SetTabOrder(off, 1);
    off->setEnabled(false);
    const std::vector<QWidget*> chain{grid, code, off, name};
    EXPECT_EQ(TabChain(&form), chain);
    zel::test::showActive(form);
    grid->setFocus();
    QStringList walked;
    for (int i = 0; i < 4; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        walked << QApplication::focusWidget()->objectName();
    }
    EXPECT_EQ(walked, (QStringList{"medCdFilial", "edtNmfilial", "dbgPadrao", "medCdFilial"}));
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ShiftModifier);
    EXPECT_EQ(QApplication::focusWidget(), grid);
}
