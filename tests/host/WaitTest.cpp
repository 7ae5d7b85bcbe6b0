#include "host/Application.h"
#include "host/Dialogs.h"
#include "host/ServerCall.h"
#include "host/WaitAnimation.h"
#include "platform/data/Exceptions.h"
#include "platform/data/Guard.h"

#include <QElapsedTimer>
#include <QMainWindow>
#include <QMdiArea>
#include <QPointer>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <atomic>
#include <chrono>
#include <functional>
#include <gtest/gtest.h>
#include <thread>

using namespace zel;

namespace {

class WaitTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        main_.setObjectName(QStringLiteral("frmPrincipal"));
        main_.resize(640, 480);
        auto* mdi = new QMdiArea(&main_);
        main_.setCentralWidget(mdi);
        SetMainForm(&main_, mdi);
        main_.show();
        MessageSeam::clearHistory();
    }
    void TearDown() override
    {
        while (ShowAviDepth() > 0)
            DeactiveShowAvi();
        SetMainForm(nullptr, nullptr);
    }
    QMainWindow main_;
};

// Holds a worker until what the user-interface thread is expected to do while
// it waits has been seen (or a generous deadline has passed: the test's
// assertions then tell what did not happen).
void workUntil(const std::function<bool()>& seen)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!seen() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
}

} // namespace

TEST_F(WaitTest, TheAnimationNestsAndShowsTheInnermostKind)
{
    EXPECT_EQ(ShowAviIndicator(), nullptr);
    ActiveShowAvi(&main_, TAviKind::Fetching);
    QWidget* indicator = ShowAviIndicator();
    ASSERT_NE(indicator, nullptr);
    EXPECT_EQ(indicator->parentWidget(), &main_);
    EXPECT_TRUE(indicator->isVisible());
    EXPECT_EQ(indicator->geometry(), main_.rect());
    EXPECT_EQ(QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor,
              Qt::WaitCursor);

    ActiveShowAvi(nullptr, TAviKind::Storing); // the main form by default; the same indicator
    EXPECT_EQ(ShowAviIndicator(), indicator);
    EXPECT_EQ(ShowAviDepth(), 2);

    DeactiveShowAvi();
    EXPECT_EQ(ShowAviIndicator(), indicator) << "the outer animation must stay";
    EXPECT_TRUE(indicator->isVisible());

    DeactiveShowAvi();
    EXPECT_EQ(ShowAviIndicator(), nullptr);
    EXPECT_EQ(ShowAviDepth(), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // One stop too many (a catch-all that stops it again) is harmless.
    DeactiveShowAvi();
    EXPECT_EQ(ShowAviDepth(), 0);
    ActiveShowAvi(&main_, TAviKind::Fetching);
    EXPECT_NE(ShowAviIndicator(), nullptr);
    DeactiveShowAvi();
    EXPECT_EQ(ShowAviIndicator(), nullptr);
    EXPECT_EQ(ShowAviText(TAviKind::Fetching), QStringLiteral("Buscando dados..."));
    EXPECT_EQ(ShowAviText(TAviKind::Storing), QStringLiteral("Gravando dados..."));
}

TEST_F(WaitTest, ShortWaitsInARowShareOneIndicatorThatGoesAMomentAfterTheLast)
{
    ActiveShowAvi(&main_, TAviKind::Storing);
    QWidget* first = ShowAviIndicator();
    ASSERT_NE(first, nullptr);
    DeactiveShowAvi();
    EXPECT_EQ(ShowAviIndicator(), nullptr) << "no wait is open";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);

    // The event loop runs between two waits of a walk (an unanimated call of
    // the next row): the indicator is still there, and the next wait uses it.
    QTest::qWait(40);
    QPointer<QWidget> shown = main_.findChild<QWidget*>(QStringLiteral("aviEspera"));
    ASSERT_EQ(shown, first) << "the indicator went between two waits";
    EXPECT_TRUE(shown->isVisible());
    ActiveShowAvi(&main_, TAviKind::Storing);
    EXPECT_EQ(ShowAviIndicator(), first);
    QTest::qWait(300);
    EXPECT_FALSE(shown.isNull()) << "a removal planned before this wait took its indicator";
    DeactiveShowAvi();
    ASSERT_TRUE(QTest::qWaitFor([&] { return shown.isNull(); }, 3000)) << "the indicator never went";
}

TEST_F(WaitTest, DuringALongCallTheAnimationMovesAndNoInputReachesAScreen)
{
    auto* button = new QPushButton(QStringLiteral("Liberar"), &main_);
    button->setGeometry(10, 40, 100, 30);
    button->show();
    int clicks = 0;
    QObject::connect(button, &QPushButton::clicked, [&] { ++clicks; });

    // What the user-interface thread does during the call, seen from the worker.
    std::atomic<int> ticks = 0, frames = 0;
    std::atomic<bool> clickedDuringCall = false;
    ActiveShowAvi(&main_, TAviKind::Fetching);
    const int framesBefore = ShowAviFrames();
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        ++ticks;
        frames = ShowAviFrames() - framesBefore;
    });
    ticker.start(10);
    QTimer::singleShot(0, [&] {
        QTest::mouseClick(button, Qt::LeftButton);
        QTest::keyClick(button, Qt::Key_Space);
        clickedDuringCall = true;
    });

    const int answer = CallWhileWaiting([&] {
        workUntil([&] { return clickedDuringCall && frames > 2 && ticks > 5; });
        return 42;
    });
    DeactiveShowAvi();

    EXPECT_EQ(answer, 42);          // the caller waited for the result
    EXPECT_TRUE(clickedDuringCall); // the input was sent while the call ran...
    EXPECT_EQ(clicks, 0);           // ...and reached no one
    EXPECT_GT(frames, 2) << "the indicator did not move during the call";
    EXPECT_GT(ticks, 5) << "timers did not run during the call";

    // After the call input works again.
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_EQ(clicks, 1);
}

TEST_F(WaitTest, AFailureOfTheWorkReachesTheCallerAndWaitsNest)
{
    EXPECT_THROW(RunWhileWaiting([] { throw EDatabaseError(QStringLiteral("falhou no servidor")); }), EDatabaseError);
    EXPECT_FALSE(WaitingForWork());

    // A call started from a timer while another call waits.
    std::atomic<bool> innerDone = false;
    QTimer::singleShot(0, [&] {
        EXPECT_TRUE(WaitingForWork());
        RunWhileWaiting([] {});
        innerDone = true;
    });
    RunWhileWaiting([&] { workUntil([&] { return bool(innerDone); }); });
    EXPECT_TRUE(innerDone);
    EXPECT_FALSE(WaitingForWork());
}

TEST_F(WaitTest, AFailureReportedDuringACallIsShownAfterIt)
{
    // A timer's handler fails while the call runs: its box would be
    // unanswerable, so it comes once the call is over.
    std::atomic<bool> failed = false, looked = false;
    std::size_t shownDuringCall = 99;
    QTimer::singleShot(0, [&] {
        Guarded([] { throw EDatabaseError(QStringLiteral("falhou durante a chamada")); });
        failed = true;
        // Later than any retry of the report that could come while the call runs.
        QTimer::singleShot(120, [&] {
            shownDuringCall = MessageSeam::history().size();
            looked = true;
        });
    });
    RunWhileWaiting([&] { workUntil([&] { return bool(looked); }); });
    EXPECT_TRUE(failed);
    EXPECT_TRUE(looked);
    EXPECT_EQ(shownDuringCall, 0u);
    ASSERT_TRUE(QTest::qWaitFor([] { return !MessageSeam::errors().empty(); }, 2000));
    EXPECT_EQ(MessageSeam::errors(), std::vector<QString>{QStringLiteral("falhou durante a chamada")});
}

TEST_F(WaitTest, TheMainWindowCannotBeClosedDuringACall)
{
    std::atomic<bool> tried = false, closedDuringCall = true;
    QTimer::singleShot(0, [&] {
        closedDuringCall = main_.close();
        tried = true;
    });
    RunWhileWaiting([&] { workUntil([&] { return bool(tried); }); });
    EXPECT_TRUE(tried);
    EXPECT_FALSE(closedDuringCall);
    EXPECT_TRUE(main_.isVisible());
}
