#include "tests/support/ReviewFixture.h"

#include "host/Application.h"
#include "host/DBGeral.h"
#include "host/Dialogs.h"
#include "host/Login.h"
#include "host/LoginClient.h"
#include "host/NetConnection.h"
#include "host/ResultCheck.h"
#include "host/WaitAnimation.h"
#include "module/Pkg_zel08100.h"
#include "platform/data/DataSet.h"
#include "review/Cli_zel08100.h"
#include "review/IncPedData.h"
#include "review/TfrmIncPed.h"
#include "tests/support/GuiTest.h"

#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QTest>
#include <QWidget>

#include <cstdio>

namespace zel::test {

void LogIn(const ServerProcess& server)
{
    SetLogin(Entrar(server.host(), server.port(), QStringLiteral("0001"), QStringLiteral("demo")));
}

std::vector<Order> FetchOrders(const QString& filial, int count)
{
    TNetConnection net(QStringLiteral("netTeste"));
    net.ServerName = QStringLiteral("Zel08100.rdmIncPed");
    net.Host = WebURL();
    net.Port = WebPort();
    net.Connect();
    TRdmIncPedHandle server(net);
    const QString none;
    const QString de = QStringLiteral("%1").arg(1, 10, 10, QLatin1Char('0'));
    const QString ate = QStringLiteral("%1").arg(count, 10, 10, QLatin1Char('0'));
    const QString t = QStringLiteral("T");
    TClientDataSet cds(QStringLiteral("cdsPedido"));
    Cli_zel08100::DefinePedidoFields(cds);
    cds.SetData(CheckResultServ(
        server().GetPedido(filial, de, ate, none, none, TDateTime(), TDateTime(), t, TDateTime(), TDateTime(), t), true,
        0));
    std::vector<Order> orders;
    for (cds.First(); !cds.Eof(); cds.Next()) {
        Order o;
        o.filial = cds.FieldByName(QStringLiteral("CDFILIAL"))->AsString();
        o.nrPedido = cds.FieldByName(QStringLiteral("NRPEDIDO"))->AsString();
        o.idSitPedido = cds.FieldByName(QStringLiteral("IDSITPEDIDO"))->AsString();
        o.dtPedido = cds.FieldByName(QStringLiteral("DTPEDIDO"))->AsDateTime();
        TField* entrega = cds.FieldByName(QStringLiteral("DTENTPED"));
        if (!entrega->IsNull()) o.dtEntPed = entrega->AsDateTime();
        o.vrPedido = cds.FieldByName(QStringLiteral("VRPEDIDO"))->AsFloat();
        orders.push_back(o);
    }
    return orders;
}

Order OrderWithDelivery(const QString& filial)
{
    for (const Order& o : FetchOrders(filial, 20))
        if (!o.dtEntPed.isZero()) return o;
    ADD_FAILURE() << "no order with a delivery date in branch " << filial.toStdString();
    return {};
}

QString SaveArtifact(QWidget* widget, const QString& fileName)
{
    const QString dir = QStringLiteral(ZEL_ARTIFACT_DIR);
    QDir().mkpath(dir);
    const QString path = QDir(dir).filePath(fileName);
    if (!widget->grab().save(path)) return {};
    std::printf("screenshot: %s\n", qPrintable(path));
    return path;
}

QString TServerSpy::RejectionText(const QString& method)
{
    return QStringLiteral("Falha simulada em %1.").arg(method);
}

data::Result TServerSpy::GetPedido(const QString& a1, const QString& a2, const QString& a3, const QString& a4,
                                   const QString& a5, const TDateTime& a6, const TDateTime& a7, const QString& a8,
                                   const TDateTime& a9, const TDateTime& a10, const QString& a11)
{
    const QCursor* cursor = QApplication::overrideCursor();
    pedidoCalls.push_back({{a1, a2, a3, a4, a5, a8, a11},
                           {a6, a7, a9, a10},
                           cursor && cursor->shape() == Qt::WaitCursor,
                           ShowAviDepth()});
    return TForwardingServer::GetPedido(a1, a2, a3, a4, a5, a6, a7, a8, a9, a10, a11);
}

data::Result TServerSpy::call(const QString& method, const QStringList&, const Call& real)
{
    ++calls[method];
    if (!rejecting.contains(method)) return real();
    data::Result r;
    r.mutable_error()->set_code(13);
    r.mutable_error()->set_message(RejectionText(method).toStdString());
    return r;
}

void ReviewTest::SpyOnServer()
{
    TServerSpy::calls.clear();
    TServerSpy::pedidoCalls.clear();
    TServerSpy::rejecting.clear();
    SetRdmIncPedFactory([](std::unique_ptr<IrdmIncPed> real, const TNetConnection&) -> std::unique_ptr<IrdmIncPed> {
        return std::make_unique<TServerSpy>(std::move(real));
    });
}

void ReviewTest::ActivateMainForm()
{
    MainForm()->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(MainForm()));
}

QString ReviewTest::BranchName(const QString& code)
{
    TADOIBQuery q(QStringLiteral("qryNome"));
    q.SQL = {QStringLiteral("SELECT NMFILIAL FROM FILIAL WHERE CDFILIAL = :C")};
    q.ParamByName(QStringLiteral("C")).setAsString(code);
    q.Open();
    return q.IsEmpty() ? QString() : q.FieldByName(QStringLiteral("NMFILIAL"))->AsString();
}

void ReviewTest::SetUp()
{
    ZEL_SKIP_WITHOUT_SERVER();
    ShellMainForm();
    QString error;
    server_ = SharedServer(error);
    ASSERT_NE(server_, nullptr) << error.toStdString();
    LogIn(*server_);
    // The branch table the screen reads directly: the server's database.
    CreateDtmDBGeral(server_->dbUrl());
    TNetConnection::SetDefaultConnectTimeoutMs(3000);
    MessageSeam::clearHistory();
    Pkg_zel08100::Load();
}

void ReviewTest::TearDown()
{
    SetRdmIncPedFactory(nullptr);
    TServerSpy::rejecting.clear();
    CloseScreen();
    Pkg_zel08100::Unload();
    FreeDtmDBGeral();
}

void ReviewTest::CloseScreen()
{
    if (Cli_zel08100::frmIncPed) Cli_zel08100::frmIncPed->Close();
    EXPECT_TRUE(QTest::qWaitFor([] { return Cli_zel08100::frmIncPed == nullptr; }, 5000));
}

} // namespace zel::test
