// The review screen opened for one given order, against the real server.

#include "host/Application.h"
#include "host/Dialogs.h"
#include "host/Login.h"
#include "host/NetConnection.h"
#include "host/ResultCheck.h"
#include "host/WaitAnimation.h"
#include "platform/data/Field.h"
#include "platform/widgets/DBGridModel.h"
#include "review/Cli_zel08100.h"
#include "review/TfrmIncPed.h"
#include "tests/support/ReviewFixture.h"

#include <QApplication>
#include <QCursor>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QTest>

using namespace zel;
using namespace zel::test;
namespace unit = Cli_zel08100;

namespace {

QString situacao(const QString& code)
{
    static const QHash<QString, QString> texts{{"1", "PE"}, {"2", "AN"}, {"3", "LQ"}, {"4", "CN"}, {"5", "LQ"}};
    return texts.value(code);
}

std::vector<Variant> givenOrder(const Order& o, const QString& dtPedido = {})
{
    return {Variant(false), Variant(o.filial), Variant(o.nrPedido),
            Variant(dtPedido.isEmpty() ? DateToStr(o.dtPedido) : dtPedido), Variant(DateToStr(o.dtEntPed))};
}

std::vector<Variant> filterMode()
{
    return {Variant(true), Variant(""), Variant(""), Variant(""), Variant("")};
}

// The text of a cell of the order grid, by field name.
QString cell(unit::TfrmIncPed* screen, int row, const QString& fieldName)
{
    TDBGrid* grid = screen->dbgPadrao;
    for (int c = 0; c < grid->ShownColumnCount(); ++c)
        if (grid->ShownColumn(c)->FieldName() == fieldName) return grid->Model()->index(row, c).data().toString();
    return QStringLiteral("<no column %1>").arg(fieldName);
}

QString currentOrder(unit::TfrmIncPed* screen)
{
    return screen->cdsPedido.FieldByName(QStringLiteral("CDFILIAL"))->AsString() + QLatin1Char('/') +
           screen->cdsPedido.FieldByName(QStringLiteral("NRPEDIDO"))->AsString();
}

void expectSettled()
{
    EXPECT_EQ(ShowAviDepth(), 0) << "the wait animation has stopped";
    EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the hourglass is gone";
}

} // namespace

TEST_F(ReviewTest, GivenOrderShowsInTheOrderGridAndALaterCallReloadsItKeepingTheMode)
{
    const Order a = OrderWithDelivery(QStringLiteral("0001"));
    const Order b = OrderWithDelivery(QStringLiteral("0002"));
    ASSERT_FALSE(a.nrPedido.isEmpty());
    ASSERT_FALSE(b.nrPedido.isEmpty());

    unit::IniProc(givenOrder(a));
    unit::TfrmIncPed* screen = unit::frmIncPed;
    ASSERT_NE(screen, nullptr);
    EXPECT_TRUE(unit::boCriado);
    EXPECT_FALSE(unit::criaFiltro);
    EXPECT_EQ(unit::stFilial, a.filial);
    EXPECT_TRUE(screen->isVisible());
    ASSERT_NE(screen->SubWindow(), nullptr) << "a child window of the main form";
    EXPECT_EQ(MdiArea()->activeSubWindow(), screen->SubWindow());
    expectSettled();
    EXPECT_TRUE(MessageSeam::history().empty());

    ASSERT_EQ(screen->cdsPedido.RecordCount(), 1);
    EXPECT_EQ(currentOrder(screen), a.filial + QLatin1Char('/') + a.nrPedido);
    ASSERT_EQ(screen->dbgPadrao->Model()->rowCount(), 1);
    EXPECT_EQ(cell(screen, 0, QStringLiteral("IDSITPEDIDO")), situacao(a.idSitPedido));
    EXPECT_EQ(cell(screen, 0, QStringLiteral("NRPEDIDO")), a.nrPedido);
    EXPECT_EQ(cell(screen, 0, QStringLiteral("DTPEDIDO")), DateTimeToStr(a.dtPedido));
    EXPECT_EQ(cell(screen, 0, QStringLiteral("DTENTPED")), DateTimeToStr(a.dtEntPed));
    EXPECT_EQ(cell(screen, 0, QStringLiteral("VRPEDIDO")), FormatFloat(QStringLiteral("#,##0.00"), a.vrPedido));
    EXPECT_TRUE(QRegularExpression(QStringLiteral(R"(^-?\d{1,3}(\.\d{3})*,\d\d$)"))
                    .match(cell(screen, 0, QStringLiteral("VRPEDIDO")))
                    .hasMatch());
    EXPECT_EQ(screen->dbtNome->text(), a.nrPedido);
    QTest::qWait(50);
    SaveArtifact(MainForm(), QStringLiteral("review-given-order.png"));

    // Another order while the screen is open: the same screen, the new order,
    // the branch and the mode of the first call.
    unit::IniProc(givenOrder(b));
    EXPECT_EQ(unit::frmIncPed, screen);
    ASSERT_EQ(screen->cdsPedido.RecordCount(), 1);
    EXPECT_EQ(currentOrder(screen), b.filial + QLatin1Char('/') + b.nrPedido);
    EXPECT_EQ(unit::stFilial, a.filial);
    EXPECT_FALSE(unit::criaFiltro);
    expectSettled();

    // The menu's entry while it is open: reused, nothing fetched, mode kept.
    unit::IniProc(filterMode());
    EXPECT_EQ(unit::frmIncPed, screen);
    EXPECT_EQ(currentOrder(screen), b.filial + QLatin1Char('/') + b.nrPedido);
    EXPECT_FALSE(unit::criaFiltro);
    EXPECT_TRUE(MessageSeam::history().empty());
}

TEST_F(ReviewTest, AnOrderDateThatIsNoDateOpensTheScreenEmptyAndSaysWhy)
{
    const Order a = OrderWithDelivery(QStringLiteral("0001"));
    unit::IniProc(givenOrder(a, QStringLiteral("31/02/2026")));
    unit::TfrmIncPed* screen = unit::frmIncPed;
    ASSERT_NE(screen, nullptr);
    EXPECT_TRUE(screen->isVisible());
    EXPECT_TRUE(screen->cdsPedido.IsEmpty());
    EXPECT_EQ(screen->dbgPadrao->Model()->rowCount(), 0);
    expectSettled();
    ASSERT_EQ(MessageSeam::errors().size(), 1u);
    EXPECT_TRUE(MessageSeam::errors()[0].contains(a.nrPedido)) << MessageSeam::errors()[0].toStdString();
    EXPECT_TRUE(MessageSeam::errors()[0].contains(QStringLiteral("31/02/2026")))
        << MessageSeam::errors()[0].toStdString();

    // With an order shown, a failing fetch does not leave it standing as the
    // answer to the new request.
    unit::IniProc(givenOrder(a));
    ASSERT_EQ(screen->cdsPedido.RecordCount(), 1);
    unit::IniProc(givenOrder(a, QStringLiteral("31/02/2026")));
    EXPECT_TRUE(screen->cdsPedido.IsEmpty());
    EXPECT_EQ(screen->dbgPadrao->Model()->rowCount(), 0);
    EXPECT_EQ(MessageSeam::errors().size(), 2u);
    expectSettled();
}

TEST_F(ReviewTest, ClosingDisconnectsAndTheNextCallCreatesAFreshScreenInItsMode)
{
    const Order a = OrderWithDelivery(QStringLiteral("0001"));
    unit::IniProc(givenOrder(a));
    unit::TfrmIncPed* screen = unit::frmIncPed;
    ASSERT_NE(screen, nullptr);
    EXPECT_TRUE(screen->netIncPed.Connected());
    EXPECT_EQ(screen->netIncPed.Host, WebURL());
    EXPECT_EQ(screen->netIncPed.Port, WebPort());
    bool disconnected = false;
    screen->netIncPed.AfterDisconnect = [&](TNetConnection*) { disconnected = true; };

    ASSERT_TRUE(screen->Close());
    EXPECT_TRUE(disconnected);
    EXPECT_FALSE(unit::boCriado);
    EXPECT_TRUE(unit::criaFiltro);
    EXPECT_TRUE(QTest::qWaitFor([] { return unit::frmIncPed == nullptr; }, 5000)) << "the screen is released";

    unit::IniProc(filterMode());
    ASSERT_NE(unit::frmIncPed, nullptr);
    EXPECT_TRUE(unit::boCriado);
    EXPECT_TRUE(unit::criaFiltro);
    EXPECT_TRUE(unit::frmIncPed->cdsPedido.IsEmpty());
    EXPECT_TRUE(unit::frmIncPed->netIncPed.Connected());
    EXPECT_EQ(unit::stFilial, a.filial) << "kept from the earlier given-order screen";
    expectSettled();
}

TEST_F(ReviewTest, AFetchFromAFrozenOrStoppedServerIsToldInItsOwnWordsAndTheOrderComesOnceItIsBack)
{
    zel::test::ServerProcess own;
    QString error;
    ASSERT_TRUE(own.start(error)) << error.toStdString();
    LogIn(own);
    TNetConnection::SetDefaultConnectTimeoutMs(1000);
    const Order a = OrderWithDelivery(QStringLiteral("0001"));
    const Order b = OrderWithDelivery(QStringLiteral("0002"));
    unit::IniProc(givenOrder(a));
    unit::TfrmIncPed* screen = unit::frmIncPed;
    ASSERT_NE(screen, nullptr);
    ASSERT_EQ(screen->cdsPedido.RecordCount(), 1);
    screen->netIncPed.CallTimeoutMs = 1000;

    // Frozen: the server holds the connection and does not answer.
    ASSERT_TRUE(own.pause());
    unit::IniProc(givenOrder(b));
    EXPECT_TRUE(screen->isVisible());
    EXPECT_TRUE(screen->cdsPedido.IsEmpty()) << "order A does not stand as the answer for order B";
    expectSettled();
    ASSERT_EQ(MessageSeam::errors().size(), 1u);
    EXPECT_TRUE(MessageSeam::errors()[0].contains(QStringLiteral("não respondeu em 1 s")))
        << MessageSeam::errors()[0].toStdString();
    EXPECT_TRUE(MessageSeam::errors()[0].contains(b.nrPedido));

    // Stopped: nobody takes the connection.
    own.stop();
    unit::IniProc(givenOrder(b));
    ASSERT_EQ(MessageSeam::errors().size(), 2u);
    EXPECT_TRUE(MessageSeam::errors()[1].contains(QStringLiteral("não está disponível")))
        << MessageSeam::errors()[1].toStdString();
    EXPECT_TRUE(screen->cdsPedido.IsEmpty());
    expectSettled();

    // Back on the same port: the next request gets its order. The short
    // deadline above only made the frozen case quick; a loaded machine may
    // need more than a second for the restarted server's first answer.
    ASSERT_TRUE(own.restart(error)) << error.toStdString();
    screen->netIncPed.CallTimeoutMs = 30000;
    unit::IniProc(givenOrder(b));
    ASSERT_EQ(screen->cdsPedido.RecordCount(), 1) << MessageSeam::errors().back().toStdString();
    EXPECT_EQ(currentOrder(screen), b.filial + QLatin1Char('/') + b.nrPedido);
    EXPECT_EQ(MessageSeam::errors().size(), 2u);

    // A fresh screen with no server to connect to opens empty and says so.
    own.stop();
    CloseScreen();
    unit::IniProc(givenOrder(a));
    ASSERT_NE(unit::frmIncPed, nullptr);
    EXPECT_TRUE(unit::frmIncPed->isVisible());
    EXPECT_FALSE(unit::frmIncPed->netIncPed.Connected());
    EXPECT_TRUE(unit::frmIncPed->cdsPedido.IsEmpty());
    expectSettled();
    ASSERT_EQ(MessageSeam::errors().size(), 3u);
    EXPECT_TRUE(MessageSeam::errors()[2].contains(QStringLiteral("Não foi possível conectar")))
        << MessageSeam::errors()[2].toStdString();
}

TEST_F(ReviewTest, TheServersPacketsLoadIntoTheScreensDatasets)
{
    unit::IniProc(filterMode());
    unit::TfrmIncPed* screen = unit::frmIncPed;
    ASSERT_NE(screen, nullptr);
    IrdmIncPed& server = screen->AppServer();

    // The first order of the branch that has inconsistencies.
    bool found = false;
    for (const Order& o : FetchOrders(QStringLiteral("0001"), 20)) {
        screen->cdsIncPed.SetData(CheckResultServ(server.GetIncPed(o.filial, o.nrPedido), true, 0));
        if (!screen->cdsIncPed.IsEmpty()) {
            found = true;
            break;
        }
    }
    ASSERT_TRUE(found) << "no order with inconsistencies among the first ones";
    const TField* ativa = screen->cdsIncPed.FieldByName(QStringLiteral("ATIVA"));
    EXPECT_TRUE(ativa->AsString() == QLatin1String("S") || ativa->AsString() == QLatin1String("N"));
    EXPECT_FALSE(screen->cdsIncPed.FieldByName(QStringLiteral("NMCONSPEDIDO"))->AsString().isEmpty());

    auto field = [&](const char* name) { return screen->cdsIncPed.FieldByName(QString::fromUtf8(name))->AsString(); };
    while (!screen->cdsIncPed.Eof() && field("NRITEMPED").isEmpty())
        screen->cdsIncPed.Next();
    if (!screen->cdsIncPed.Eof()) {
        screen->cdsItemPedido.SetData(CheckResultServ(
            server.GetItem(field("CDFILIAL"), field("NRPEDIDO"), field("NRITEMPED"), field("ATIVA")), true, 0));
        EXPECT_EQ(screen->cdsItemPedido.RecordCount(), 1);
    }

    screen->cdsGrupOper.SetData(CheckResultServ(server.GetGrupOper(QStringLiteral("0001"), Operador()), true, 0));
    EXPECT_GE(screen->cdsGrupOper.RecordCount(), 1) << "operator 0001 releases in branch 0001";
    EXPECT_TRUE(MessageSeam::history().empty());
}

TEST_F(ReviewTest, TheGivenOrderIsAskedWithItsElevenArgumentsUnderTheWaitAndARejectionEmptiesTheList)
{
    const Order a = OrderWithDelivery(QStringLiteral("0001"));
    SpyOnServer();
    unit::IniProc(givenOrder(a));
    ASSERT_NE(unit::frmIncPed, nullptr);
    ASSERT_EQ(TServerSpy::pedidoCalls.size(), 1u);
    const TServerSpy::PedidoCall& call = TServerSpy::pedidoCalls[0];
    EXPECT_EQ(call.texts, QStringList({a.filial, "", "", a.nrPedido, "", "", ""}));
    EXPECT_EQ(call.dates[0], a.dtPedido.dateOnly());
    EXPECT_EQ(call.dates[1], a.dtPedido.dateOnly());
    EXPECT_EQ(call.dates[2], a.dtEntPed.dateOnly());
    EXPECT_EQ(call.dates[3], a.dtEntPed.dateOnly());
    EXPECT_TRUE(call.hourglass);
    EXPECT_EQ(call.aviDepth, 1) << "the wait animation runs during the fetch";
    ASSERT_EQ(unit::frmIncPed->cdsPedido.RecordCount(), 1);

    // The server rejects the next fetch: its message is the checker's, shown
    // once; the list no longer shows the earlier answer; the animation and
    // the hourglass are gone.
    TServerSpy::rejecting = {QStringLiteral("GetPedido")};
    unit::IniProc(givenOrder(a));
    EXPECT_EQ(TServerSpy::pedidoCalls.size(), 2u);
    EXPECT_EQ(MessageSeam::errors(), std::vector<QString>{TServerSpy::RejectionText(QStringLiteral("GetPedido"))});
    EXPECT_TRUE(unit::frmIncPed->cdsPedido.IsEmpty());
    expectSettled();
}

// An order date is a date: the demo orders carry no time of day, and the
// order grid's "Data Pedido", designed for a date, shows the date alone.
TEST_F(ReviewTest, OrderDatesAreDatesAndTheGridShowsThemWhole)
{
    const std::vector<Order> orders = FetchOrders(QStringLiteral("0001"), 20);
    ASSERT_FALSE(orders.empty());
    for (const Order& o : orders)
        EXPECT_EQ(o.dtPedido.time(), QTime(0, 0)) << o.nrPedido.toStdString();

    const Order& o = orders.front();
    unit::IniProc({Variant(false), Variant(o.filial), Variant(o.nrPedido), Variant(DateToStr(o.dtPedido)),
                   Variant(DateToStr(o.dtEntPed))});
    unit::TfrmIncPed* screen = unit::frmIncPed;
    ASSERT_NE(screen, nullptr);
    ASSERT_EQ(screen->cdsPedido.RecordCount(), 1);
    const QModelIndex cell = screen->dbgPadrao->model()->index(0, 3);
    EXPECT_EQ(screen->dbgPadrao->model()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Data Pedido"));
    EXPECT_EQ(cell.data().toString(), DateToStr(o.dtPedido));
}
