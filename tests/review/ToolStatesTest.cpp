// The review screen's tools: what the one decision gives for the screen's
// states, and that the tools the user sees are always that decision.

#include "review/Cli_zel08100.h"
#include "review/TfrmIncPed.h"
#include "tests/review/ScreenFixture.h"

#include <QAction>

using namespace zel;
using namespace zel::test;
namespace unit = Cli_zel08100;

namespace {

using unit::ReviewState;
using unit::ReviewToolStates;

// The tools as the user sees them on the screen, button and entry together.
ReviewToolStates shown(const unit::TfrmIncPed& s)
{
    auto pair = [](TButtonFlat* button, QAction* entry) {
        EXPECT_EQ(button->isEnabled(), entry->isEnabled()) << button->objectName().toStdString();
        return button->isEnabled();
    };
    ReviewToolStates t;
    t.release = pair(s.btnLiberar, s.mnuLiberar);
    t.filter = s.sbtFiltro->isEnabled();
    t.branch = s.medCdFilial->isEnabled();
    EXPECT_EQ(s.lblFilial->isEnabled(), t.branch);
    EXPECT_EQ(s.btpFilial->isEnabled(), t.branch);
    t.areaDecided = s.State().area != ReviewState::Area::None;
    t.verify = pair(s.sbtVerificar, s.mnuVerificar);
    t.find = pair(s.sbtProcurar, s.mnuProcurar);
    t.edit = pair(s.sbtAlterar, s.mnuAlterar);
    t.confirm = pair(s.sbtConfirmar, s.mnuConfirmar);
    t.cancel = pair(s.sbtCancelar, s.mnuCancelar);
    t.inconsistencyPage = s.tshIncPed->Enabled();
    return t;
}

// What the user sees is what the decision gives for the screen's state.
void expectDecided(const unit::TfrmIncPed& s, const char* step)
{
    SCOPED_TRACE(step);
    const ReviewToolStates want = unit::ReviewTools(s.State());
    const ReviewToolStates got = shown(s);
    EXPECT_EQ(got.release, want.release);
    EXPECT_EQ(got.filter, want.filter);
    EXPECT_EQ(got.branch, want.branch);
    if (want.areaDecided) {
        EXPECT_EQ(got.verify, want.verify);
        EXPECT_EQ(got.find, want.find);
        EXPECT_EQ(got.edit, want.edit);
    }
    EXPECT_EQ(got.confirm, want.confirm);
    EXPECT_EQ(got.cancel, want.cancel);
    EXPECT_EQ(got.inconsistencyPage, want.inconsistencyPage);
}

class ToolStatesTest : public ScreenTest {};

} // namespace

TEST(ReviewToolsTable, EachStateGivesItsTools)
{
    // A screen nobody has worked on: no release, the filter on, the branch
    // open, the base screen's refresh/find/edit left alone.
    ReviewState s;
    ReviewToolStates t = unit::ReviewTools(s);
    EXPECT_FALSE(t.release);
    EXPECT_TRUE(t.filter);
    EXPECT_TRUE(t.branch);
    EXPECT_FALSE(t.areaDecided);
    EXPECT_FALSE(t.confirm || t.cancel);
    EXPECT_TRUE(t.inconsistencyPage);

    // The release needs the right and a mark.
    s.releaseMarked = true;
    EXPECT_FALSE(unit::ReviewTools(s).release);
    s.releaseRight = true;
    EXPECT_TRUE(unit::ReviewTools(s).release);
    s.releaseMarked = false;
    EXPECT_FALSE(unit::ReviewTools(s).release);

    // Filter mode: filter and release take turns; given-order mode: together.
    for (const bool mode : {true, false})
        for (const bool sawRelease : {true, false}) {
            s.filterMode = mode;
            s.filterSawRelease = sawRelease;
            EXPECT_EQ(unit::ReviewTools(s).filter, mode ? !sawRelease : sawRelease) << mode << sawRelease;
        }

    // The order grid: refresh and find with orders in browse, never edit.
    s.area = ReviewState::Area::Orders;
    s.areaReady = true;
    s.inconsistencyPageShown = false;
    t = unit::ReviewTools(s);
    EXPECT_TRUE(t.areaDecided && t.verify && t.find);
    EXPECT_FALSE(t.edit);
    // The inconsistency area: find only on the inconsistency page.
    s.area = ReviewState::Area::Inconsistencies;
    t = unit::ReviewTools(s);
    EXPECT_TRUE(t.verify && t.edit);
    EXPECT_FALSE(t.find);
    s.inconsistencyPageShown = true;
    EXPECT_TRUE(unit::ReviewTools(s).find);
    s.areaReady = false;
    t = unit::ReviewTools(s);
    EXPECT_FALSE(t.verify || t.find || t.edit);

    // A note in edit: confirm and cancel; opened by the edit command, the
    // inconsistency page waits for it.
    s.noteEdit = true;
    s.notePageOnly = true;
    s.branchFixed = true;
    t = unit::ReviewTools(s);
    EXPECT_TRUE(t.confirm && t.cancel);
    EXPECT_FALSE(t.inconsistencyPage);
    EXPECT_FALSE(t.branch);
}

TEST_F(ToolStatesTest, TheToolsShownFollowTheDecisionThroughAGivenOrder)
{
    const Order o = AddOrder(*server_, QStringLiteral("0001"), {{}, {QStringLiteral("S")}});
    ASSERT_NE(openOrder(o), nullptr);
    expectDecided(*screen, "opened for one order");
    EXPECT_FALSE(screen->State().filterMode);
    EXPECT_TRUE(screen->State().branchFixed);
    EXPECT_FALSE(screen->sbtFiltro->isEnabled());
    EXPECT_FALSE(screen->medCdFilial->isEnabled());

    clickCell(screen->dbgPadrao, 0, 1);
    expectDecided(*screen, "order grid");
    EXPECT_EQ(screen->State().area, ReviewState::Area::Orders);
    EXPECT_TRUE(screen->sbtVerificar->isEnabled());
    EXPECT_FALSE(screen->sbtAlterar->isEnabled());

    // The marked row: release on and, in this mode, the filter with it.
    clickCell(screen->dbgIncPed, 1, kDescricao);
    expectDecided(*screen, "marked row");
    EXPECT_TRUE(screen->btnLiberar->isEnabled());
    EXPECT_TRUE(screen->sbtFiltro->isEnabled());
    EXPECT_TRUE(screen->sbtAlterar->isEnabled());

    click(screen->sbtAlterar);
    expectDecided(*screen, "note opened");
    EXPECT_FALSE(screen->tshIncPed->Enabled());
    EXPECT_TRUE(screen->sbtConfirmar->isEnabled());

    click(screen->sbtConfirmar);
    expectDecided(*screen, "note confirmed");
    EXPECT_TRUE(screen->tshIncPed->Enabled());
    EXPECT_FALSE(screen->sbtConfirmar->isEnabled());

    // The unmarked row: release off, the filter off with it.
    clickCell(screen->dbgIncPed, 0, kDescricao);
    expectDecided(*screen, "unmarked row");
    EXPECT_FALSE(screen->btnLiberar->isEnabled());
    EXPECT_FALSE(screen->sbtFiltro->isEnabled());

    // Mark-all (nothing counted since the order was chosen): every row
    // counted, release on; the filter is not touched by it.
    ASSERT_EQ(unit::inConPedCheck, 0);
    clickTitle(screen->dbgIncPed, kCheck);
    expectDecided(*screen, "every row marked");
    EXPECT_EQ(unit::inConPedCheck, 2);
    EXPECT_TRUE(screen->btnLiberar->isEnabled());
    EXPECT_FALSE(screen->sbtFiltro->isEnabled());
}
