#include "platform/data/Guard.h"

#include "host/Application.h"
#include "host/Dialogs.h"
#include "host/Messages.h"
#include "host/ResultCheck.h"
#include "platform/data/Exceptions.h"
#include "platform/data/Packet.h"

#include <QDialog>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QVBoxLayout>

#include <gtest/gtest.h>
#include <stdexcept>

using namespace zel;

namespace {

class GuardTest : public ::testing::Test {
protected:
    void SetUp() override { MessageSeam::clearHistory(); }
    void TearDown() override { MessageSeam::clearHistory(); }
};

zel::data::Result errorResult(int code, const char* message)
{
    zel::data::Result r;
    r.mutable_error()->set_code(code);
    r.mutable_error()->set_message(message);
    return r;
}

} // namespace

TEST_F(GuardTest, AbortEndsTheHandlerQuietlyAndOtherFailuresAreShown)
{
    int reached = 0;
    EXPECT_FALSE(Guarded([&] {
        Abort();
        ++reached;
    }));
    EXPECT_TRUE(MessageSeam::history().empty());

    EXPECT_FALSE(Guarded([&] { throw EDatabaseError(QStringLiteral("Campo obrigatório: CDFILIAL")); }));
    EXPECT_FALSE(Guarded([&] { throw std::runtime_error("disco cheio"); }));
    EXPECT_FALSE(Guarded([&] { throw 42; }));
    EXPECT_TRUE(Guarded([&] { ++reached; }));
    EXPECT_EQ(reached, 1);

    const auto errors = MessageSeam::errors();
    ASSERT_EQ(errors.size(), 3u);
    EXPECT_EQ(errors[0], QStringLiteral("Campo obrigatório: CDFILIAL"));
    EXPECT_TRUE(errors[1].contains(QStringLiteral("disco cheio"))) << errors[1].toStdString();
    EXPECT_FALSE(errors[2].isEmpty());
}

TEST_F(GuardTest, AFailureEscapingASlotIsReportedAndTheApplicationGoesOn)
{
    // A slot connected without the guard: the application's last net catches
    // what escapes it, shows it, and the event loop keeps running.
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* failing = new QPushButton(QStringLiteral("falha"), &window);
    auto* working = new QPushButton(QStringLiteral("funciona"), &window);
    layout->addWidget(failing);
    layout->addWidget(working);
    int worked = 0;
    QObject::connect(failing, &QPushButton::clicked,
                     [] { throw EConvertError(QStringLiteral("'x' não é uma data válida")); });
    QObject::connect(working, &QPushButton::clicked, [&] { ++worked; });
    window.show();

    QTest::mouseClick(failing, Qt::LeftButton);
    QTest::mouseClick(working, Qt::LeftButton);
    ASSERT_EQ(MessageSeam::errors().size(), 1u);
    EXPECT_EQ(MessageSeam::errors()[0], QStringLiteral("'x' não é uma data válida"));
    EXPECT_EQ(worked, 1);

    // The silent Abort escaping a slot is dropped without a box.
    QObject::disconnect(failing, nullptr, nullptr, nullptr);
    QObject::connect(failing, &QPushButton::clicked, [] { Abort(); });
    QTest::mouseClick(failing, Qt::LeftButton);
    EXPECT_EQ(MessageSeam::errors().size(), 1u);
}

TEST_F(GuardTest, AFailureInsideANestedModalDialogDoesNotEndIt)
{
    QDialog dialog;
    auto* button = new QPushButton(QStringLiteral("falha"), &dialog);
    QObject::connect(button, &QPushButton::clicked, [] { throw std::logic_error("dentro do diálogo"); });
    bool stillRunning = false;
    QTimer::singleShot(0, &dialog, [&] {
        QTest::mouseClick(button, Qt::LeftButton);
        stillRunning = dialog.isVisible();
        dialog.accept();
    });
    EXPECT_EQ(dialog.exec(), QDialog::Accepted);
    EXPECT_TRUE(stillRunning);
    ASSERT_EQ(MessageSeam::errors().size(), 1u);
    EXPECT_TRUE(MessageSeam::errors()[0].contains(QStringLiteral("dentro do diálogo")));
}

TEST_F(GuardTest, CheckResultServYieldsThePacketOrShowsTheServerMessageOnce)
{
    zel::data::Result ok;
    *ok.mutable_data() =
        PacketWriter().field("CDGROPLIBINC", TFieldType::ftString, 2).text(QStringLiteral("01")).Take();
    const auto& packet = CheckResultServ(ok, true, 0);
    EXPECT_EQ(packet.row_count(), 1u);
    EXPECT_EQ(packet.fields(0).name(), "CDGROPLIBINC");
    // From a temporary the packet is moved out.
    const zel::data::DataPacket moved = CheckResultServ(zel::data::Result(ok), true, 0);
    EXPECT_EQ(moved.row_count(), 1u);
    EXPECT_TRUE(MessageSeam::history().empty());

    // An error result: shown by the checker, raised as a silent failure, so
    // the guard around it does not show it a second time.
    bool undone = false;
    EXPECT_FALSE(Guarded([&] {
        try {
            CheckResultServ(errorResult(409, "A inconsistência foi alterada por outro operador."), true, 0);
        } catch (const EAbort&) {
            undone = true; // whoever posted still sees the failure
            throw;
        }
    }));
    EXPECT_TRUE(undone);
    ASSERT_EQ(MessageSeam::errors().size(), 1u);
    EXPECT_EQ(MessageSeam::errors()[0], QStringLiteral("A inconsistência foi alterada por outro operador."));

    try {
        CheckResultServ(errorResult(7, "recusado"), false, 0);
        FAIL() << "no failure raised";
    } catch (const EResultServ& e) {
        EXPECT_EQ(e.Code(), 7);
        EXPECT_EQ(e.ServerMessage(), QStringLiteral("recusado"));
    }
    EXPECT_EQ(MessageSeam::errors().size(), 1u); // show = false shows nothing

    // A result with neither data nor error is no success.
    EXPECT_THROW(CheckResultServ(zel::data::Result(), true, 0), EResultServ);
    EXPECT_EQ(MessageSeam::errors().size(), 2u);
}
