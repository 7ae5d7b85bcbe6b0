#include "filter/Cli_zel08101.h"
#include "host/Dialogs.h"
#include "host/Login.h"
#include "host/NetConnection.h"
#include "host/WaitAnimation.h"
#include "module/Pkg_zel08100.h"
#include "platform/data/Exceptions.h"
#include "review/Cli_zel08100.h"
#include "review/TfrmIncPed.h"
#include "tests/support/GuiTest.h"

#include <QApplication>
#include <QMdiSubWindow>
#include <QTest>

#include <gtest/gtest.h>

using namespace zel;
namespace unit = Cli_zel08100;

namespace {

class IniProcTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        zel::test::ShellMainForm();
        // No server: the screen's link fails to connect, quietly.
        ClearLogin();
        TNetConnection::SetDefaultConnectTimeoutMs(500);
        MessageSeam::clearHistory();
        Pkg_zel08100::Load();
    }
    void TearDown() override
    {
        if (unit::frmIncPed) unit::frmIncPed->Close();
        EXPECT_TRUE(QTest::qWaitFor([] { return unit::frmIncPed == nullptr; }, 5000));
        Pkg_zel08100::Unload();
    }
    static QString failureOf(const std::vector<Variant>& params)
    {
        try {
            unit::IniProc(params);
        } catch (const EConvertError& e) {
            return e.Message();
        }
        return QStringLiteral("no failure");
    }
};

} // namespace

TEST_F(IniProcTest, AnElementThatDoesNotConvertFailsBeforeAnyScreenIsTouched)
{
    const QString text = QStringLiteral("para texto");
    const QString boolean = QStringLiteral("não é um valor lógico válido");
    const Variant none = Variant::Null();
    struct Case {
        std::vector<Variant> params;
        QString expected; // part of the failure's message
    } cases[] = {
        {{Variant("talvez"), Variant("0001"), Variant("0000000001"), Variant("01/02/2026"), Variant("05/02/2026")},
         boolean},
        // The dates and texts are read before the mode: their failure comes first.
        {{Variant("talvez"), Variant("0001"), Variant("0000000001"), none, Variant("05/02/2026")}, text},
        {{Variant("talvez"), Variant("0001"), Variant("0000000001"), Variant("01/02/2026"), none}, text},
        {{Variant("talvez"), none, Variant("0000000001"), Variant("01/02/2026"), Variant("05/02/2026")}, text},
        {{Variant(true), Variant("0001"), none, Variant(""), Variant("")}, text},
        {{Variant(false), Variant("0001"), Variant("0000000001"), Variant("01/02/2026")},
         QStringLiteral("5 parâmetros")},
    };
    for (const Case& c : cases) {
        const QString failure = failureOf(c.params);
        EXPECT_TRUE(failure.contains(c.expected)) << failure.toStdString();
        EXPECT_EQ(unit::frmIncPed, nullptr);
        EXPECT_FALSE(unit::boCriado);
        EXPECT_EQ(unit::stFilial, QStringLiteral(" "));
        EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    }
    EXPECT_TRUE(MessageSeam::history().empty());
}

TEST_F(IniProcTest, FilterModeOpensAnEmptyScreenAndClosingLetsTheNextEntryCreateANewOne)
{
    unit::IniProc({Variant(true), Variant(""), Variant(""), Variant(""), Variant("")});
    ASSERT_NE(unit::frmIncPed, nullptr);
    unit::TfrmIncPed* first = unit::frmIncPed;
    EXPECT_TRUE(unit::boCriado);
    EXPECT_TRUE(unit::criaFiltro);
    EXPECT_EQ(unit::stFilial, QStringLiteral(" ")); // only the given-order mode stores the branch
    EXPECT_TRUE(first->isVisible());
    EXPECT_FALSE(first->cdsPedido.Active());
    EXPECT_FALSE(first->netIncPed.Connected());
    EXPECT_EQ(ShowAviDepth(), 0);
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(MessageSeam::history().empty());

    // Values of other kinds convert: 0 is false, the numbers become texts. The
    // existing screen is reused and keeps its mode; the dates do not convert,
    // and the entry says the order could not be fetched.
    unit::IniProc({Variant(0), Variant(1), Variant(12), Variant(3), Variant(4)});
    EXPECT_EQ(unit::frmIncPed, first);
    EXPECT_TRUE(unit::criaFiltro);
    EXPECT_EQ(unit::stFilial, QStringLiteral(" "));
    EXPECT_EQ(ShowAviDepth(), 0);
    ASSERT_EQ(MessageSeam::errors().size(), 1u);
    EXPECT_TRUE(MessageSeam::errors()[0].contains(QStringLiteral("pedido 12")))
        << MessageSeam::errors()[0].toStdString();

    ASSERT_TRUE(first->Close());
    EXPECT_FALSE(unit::boCriado);
    EXPECT_TRUE(unit::criaFiltro);
    EXPECT_TRUE(QTest::qWaitFor([] { return unit::frmIncPed == nullptr; }, 5000));

    unit::IniProc({Variant(false), Variant(1), Variant(12), Variant(3), Variant(4)});
    ASSERT_NE(unit::frmIncPed, nullptr);
    EXPECT_TRUE(unit::boCriado);
    EXPECT_FALSE(unit::criaFiltro);
    EXPECT_EQ(unit::stFilial, QStringLiteral("1"));
    EXPECT_EQ(MessageSeam::errors().size(), 2u);
}

TEST_F(IniProcTest, AScreenReleasedWithoutItsCloseLeavesNoDanglingScreenBehind)
{
    unit::IniProc({Variant(true), Variant(""), Variant(""), Variant(""), Variant("")});
    ASSERT_NE(unit::frmIncPed, nullptr);
    // The main window's area tears its child windows down without closing them.
    ASSERT_NE(unit::frmIncPed->SubWindow(), nullptr);
    delete unit::frmIncPed->SubWindow();
    EXPECT_EQ(unit::frmIncPed, nullptr);
    EXPECT_TRUE(unit::boCriado) << "no close ran";

    // The next entry creates a new screen instead of reusing the released one.
    unit::IniProc({Variant(false), Variant("0002"), Variant(""), Variant(""), Variant("")});
    ASSERT_NE(unit::frmIncPed, nullptr);
    EXPECT_TRUE(unit::frmIncPed->isVisible());
    EXPECT_FALSE(unit::criaFiltro);
    EXPECT_EQ(unit::stFilial, QStringLiteral("0002"));
}
