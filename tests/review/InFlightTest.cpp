// While a server call is in flight the user-interface thread keeps painting,
// but no click or key reaches a handler of the screen: a walk is never
// entered twice, and a post never starts inside another one's send.

#include "host/Dialogs.h"
#include "host/WaitAnimation.h"
#include "review/Cli_zel08100.h"
#include "review/TfrmIncPed.h"
#include "tests/review/ScreenFixture.h"

#include <QTest>
#include <QTimer>

using namespace zel;
using namespace zel::test;
namespace unit = Cli_zel08100;

TEST_F(ScreenTest, ClicksAndKeysDuringAFrozenSendNeverRunAHandlerInTheMiddleOfTheWalk)
{
    const Order o = AddOrder(*server_, QStringLiteral("0001"), {{}, {}, {}});
    ASSERT_NE(openOrder(o), nullptr);
    clickCell(screen->dbgIncPed, 0, 2);
    spy->clear();

    // The second send of mark-all meets a frozen server; meanwhile the user
    // clicks and types everything that would start a handler.
    bool frozen = false, inputSent = false, resumed = false;
    int framesWhileFrozen = 0;
    spy->before = [&](const QString& method, int nth) {
        if (method != QLatin1String("SetIncPed") || nth != 2) return;
        ASSERT_TRUE(server_->pause());
        frozen = true;
        QTimer::singleShot(50, [&] {
            const int frames = ShowAviFrames();
            clickCell(screen->dbgIncPed, 2, 0);                     // tick a row
            key(screen->dbgIncPed, Qt::Key_Space);                  // toggle the current row
            clickTitle(screen->dbgIncPed, 0);                       // mark-all again
            key(screen->dbgIncPed, Qt::Key_B, Qt::ControlModifier); // release
            click(screen->btnLiberar);
            click(screen->sbtAlterar);
            click(screen->sbtVerificar);
            inputSent = true;
            QTimer::singleShot(250, [&, frames] {
                framesWhileFrozen = ShowAviFrames() - frames;
                server_->resume();
                resumed = true;
            });
        });
    };
    clickTitle(screen->dbgIncPed, 0);
    spy->before = nullptr;

    ASSERT_TRUE(frozen);
    EXPECT_TRUE(inputSent);
    EXPECT_TRUE(resumed);
    EXPECT_EQ(spy->maxDepth, 1) << "a handler made a call while another call was in flight";
    // Exactly the walk, as without the input.
    EXPECT_EQ(spy->methods(), QStringList({"GetItem", "SetIncPed", "GetItem", "SetIncPed", "GetItem", "SetIncPed",
                                           "GetItem", "GetItem"}));
    EXPECT_EQ(unit::inConPedCheck, 3);
    for (int i = 1; i <= 3; ++i)
        EXPECT_EQ(Stored(*server_, o, i).ativa, QStringLiteral("S"));
    EXPECT_GT(framesWhileFrozen, 2) << "the wait animation kept turning";
    EXPECT_EQ(screen->cdsIncPed.State(), TDataSetState::dsBrowse);
    EXPECT_EQ(screen->pgcIncPed->ActivePage(), screen->tshIncPed);

    // Input that was dropped left nothing queued: nothing more happens.
    spy->clear();
    QTest::qWait(50);
    EXPECT_TRUE(spy->calls.empty());
    EXPECT_TRUE(MessageSeam::history().empty());
}
