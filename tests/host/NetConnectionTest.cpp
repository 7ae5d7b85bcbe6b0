#include "host/NetConnection.h"

#include "host/Dialogs.h"
#include "host/Login.h"
#include "host/LoginClient.h"
#include "host/ResultCheck.h"
#include "platform/data/DataSet.h"
#include "review/RdmIncPed.h"
#include "tests/support/ServerProcess.h"

#include <QElapsedTimer>
#include <QFile>

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace zel;

namespace {

// A loopback port with nothing listening on it.
int closedPort()
{
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    ::close(fd);
    return ntohs(a.sin_port);
}

void useLoginServer(TNetConnection& net)
{
    net.ServerName = QStringLiteral("Zel08100.rdmIncPed");
    net.BeforeConnect = [](TNetConnection* c) {
        c->Host = WebURL();
        c->Port = WebPort();
    };
}

} // namespace

TEST(NetConnection, AFailedConnectWithoutThrowExceptionLeavesTheFailureToTheCalls)
{
    TLoginInfo login;
    login.webUrl = QStringLiteral("127.0.0.1");
    login.webPort = closedPort();
    SetLogin(login);
    TNetConnection::SetDefaultConnectTimeoutMs(1000);

    TNetConnection netIncPed(QStringLiteral("netIncPed"));
    TRdmIncPedHandle netIncPedServer(netIncPed);
    useLoginServer(netIncPed);
    netIncPed.ThrowException = false;
    int before = 0;
    netIncPed.BeforeConnect = [&](TNetConnection* c) {
        ++before;
        c->Host = WebURL();
        c->Port = WebPort();
    };
    EXPECT_NO_THROW(netIncPed.Connect());
    EXPECT_EQ(before, 1);
    EXPECT_EQ(netIncPed.Port, login.webPort);
    EXPECT_FALSE(netIncPed.Connected());
    EXPECT_FALSE(netIncPed.LastError().isEmpty());
    try {
        netIncPedServer().GetGrupOper(QStringLiteral("0001"), QStringLiteral("0001"));
        FAIL() << "a call without a connection succeeded";
    } catch (const ENetError& e) {
        EXPECT_EQ(e.kind(), ENetError::NotConnected);
        EXPECT_TRUE(e.Message().startsWith(QStringLiteral("Não há conexão com o servidor de aplicação."))) << e.what();
    }
    EXPECT_NO_THROW(netIncPed.Disconnect());

    TNetConnection strict(QStringLiteral("netStrict"));
    useLoginServer(strict);
    EXPECT_THROW(strict.Connect(), ENetError);
    EXPECT_FALSE(strict.Connected());

    TNetConnection unknown(QStringLiteral("netOutro"));
    useLoginServer(unknown);
    unknown.ServerName = QStringLiteral("Zel99999.rdmOutro");
    try {
        unknown.Connect();
        FAIL() << "an unknown server name connected";
    } catch (const ENetError& e) {
        EXPECT_EQ(e.kind(), ENetError::UnknownServer);
    }
    TNetConnection::SetDefaultConnectTimeoutMs(5000);
    ClearLogin();
}

TEST(NetConnection, LoginToAnUnreachableServerSaysSo)
{
    try {
        Entrar(QStringLiteral("127.0.0.1"), closedPort(), QStringLiteral("0001"), QStringLiteral("demo"), {}, 800);
        FAIL() << "login without a server";
    } catch (const ENetError& e) {
        EXPECT_EQ(e.kind(), ENetError::Unavailable);
        EXPECT_TRUE(e.Message().contains(QStringLiteral("Não foi possível conectar"))) << e.what();
    }
    QString host;
    int port = 0;
    EXPECT_TRUE(ParseServerAddress(QStringLiteral("127.0.0.1:50051"), host, port));
    EXPECT_EQ(host, QStringLiteral("127.0.0.1"));
    EXPECT_EQ(port, 50051);
    EXPECT_TRUE(ParseServerAddress(QStringLiteral(" [::1]:7 "), host, port));
    EXPECT_EQ(host, QStringLiteral("[::1]"));
    for (const char* bad : {"", "localhost", "localhost:", ":80", "host:0", "host:70000", "a b:1"})
        EXPECT_FALSE(ParseServerAddress(QString::fromUtf8(bad), host, port)) << bad;
}

class LiveServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZEL_SKIP_WITHOUT_SERVER();
        ASSERT_TRUE(zel::test::Started(server_));
        MessageSeam::clearHistory();
    }
    void TearDown() override
    {
        SetRdmIncPedFactory({});
        ClearLogin();
    }

    TLoginInfo login(const char* op)
    {
        return Entrar(server_.host(), server_.port(), QString::fromUtf8(op), QStringLiteral("demo"));
    }

    zel::test::ServerProcess server_;
};

TEST_F(LiveServer, LoginGivesTheOperatorsBranchAndRefusesAWrongPassword)
{
    const TLoginInfo l = login("0001");
    EXPECT_FALSE(l.token.isEmpty());
    EXPECT_EQ(l.operador, QStringLiteral("0001"));
    EXPECT_EQ(l.filial, QStringLiteral("0001"));
    EXPECT_FALSE(l.nmFilial.isEmpty());
    EXPECT_FALSE(l.moduFili);
    EXPECT_EQ(l.webUrl, server_.host());
    EXPECT_EQ(l.webPort, server_.port());
    EXPECT_TRUE(login("0005").moduFili);

    try {
        Entrar(server_.host(), server_.port(), QStringLiteral("0001"), QStringLiteral("errada"));
        FAIL() << "a wrong password logged in";
    } catch (const ELoginError& e) {
        EXPECT_FALSE(e.Message().isEmpty());
    }
}

TEST_F(LiveServer, ACallCarriesTheSessionAndItsResultLoadsIntoADataset)
{
    SetLogin(login("0001"));
    TNetConnection netIncPed(QStringLiteral("netIncPed"));
    TRdmIncPedHandle netIncPedServer(netIncPed);
    useLoginServer(netIncPed);
    netIncPed.ThrowException = false;
    netIncPed.Connect();
    ASSERT_TRUE(netIncPed.Connected()) << netIncPed.LastError().toStdString();

    TClientDataSet cdsGrupOper(QStringLiteral("cdsGrupOper"));
    cdsGrupOper.AddField(QStringLiteral("CDGROPLIBINC"), TFieldType::ftString, 2);
    cdsGrupOper.SetData(CheckResultServ(netIncPedServer().GetGrupOper(FiliProc(), Operador()), true, 0));
    EXPECT_FALSE(cdsGrupOper.IsEmpty());

    EXPECT_TRUE(MessageSeam::errors().empty());

    // An error result: the checker shows the server's message and raises the
    // silent failure (the server answers only for the session's operator).
    EXPECT_THROW(CheckResultServ(netIncPedServer().GetGrupOper(FiliProc(), QStringLiteral("0009")), true, 0),
                 EResultServ);
    ASSERT_EQ(MessageSeam::errors().size(), 1u);
    EXPECT_FALSE(MessageSeam::errors()[0].isEmpty());

    // An operator without the right gets an empty list, not an error.
    SetLogin(login("0009"));
    cdsGrupOper.SetData(CheckResultServ(netIncPedServer().GetGrupOper(FiliProc(), Operador()), true, 0));
    EXPECT_TRUE(cdsGrupOper.IsEmpty());

    // A session the server does not know is refused.
    TLoginInfo forged = CurrentLogin();
    forged.token = QStringLiteral("nao-e-um-token");
    SetLogin(forged);
    try {
        netIncPedServer().GetGrupOper(QStringLiteral("0001"), QStringLiteral("0001"));
        FAIL() << "a forged session was accepted";
    } catch (const ENetError& e) {
        EXPECT_EQ(e.kind(), ENetError::Unauthenticated) << e.what();
    }
}

TEST_F(LiveServer, ACallToAStoppedServerFailsWithinItsDeadline)
{
    SetLogin(login("0001"));
    TNetConnection netIncPed(QStringLiteral("netIncPed"));
    TRdmIncPedHandle netIncPedServer(netIncPed);
    useLoginServer(netIncPed);
    netIncPed.Connect();
    ASSERT_TRUE(netIncPed.Connected());
    ASSERT_NO_THROW(netIncPedServer().GetGrupOper(FiliProc(), Operador()));
    netIncPed.CallTimeoutMs = 1000; // taken at the next call

    // A server that hangs: the call ends at its deadline.
    ASSERT_TRUE(server_.pause());
    try {
        netIncPedServer().GetGrupOper(FiliProc(), Operador());
        FAIL() << "a call to a frozen server succeeded";
    } catch (const ENetError& e) {
        EXPECT_EQ(e.kind(), ENetError::DeadlineExceeded) << e.what();
        EXPECT_TRUE(e.Message().contains(QStringLiteral("não respondeu"))) << e.what();
    }
    // A server that is gone: the call fails, and says the server is not there.
    server_.stop();
    try {
        netIncPedServer().GetNrPedido(FiliProc());
        FAIL() << "a call to a stopped server succeeded";
    } catch (const ENetError& e) {
        EXPECT_TRUE(e.kind() == ENetError::Unavailable || e.kind() == ENetError::DeadlineExceeded) << e.what();
    }
}

TEST_F(LiveServer, AFactoryCanWrapTheRealServerToInjectFaults)
{
    // The double delegates to the real server and fails the second send.
    class FailSecondSend : public IrdmIncPed {
    public:
        explicit FailSecondSend(std::unique_ptr<IrdmIncPed> real) : real_(std::move(real)) {}
        zel::data::Result GetPedido(const QString& a, const QString& b, const QString& c, const QString& d,
                                    const QString& e, const TDateTime& f, const TDateTime& g, const QString& h,
                                    const TDateTime& i, const TDateTime& j, const QString& k) override
        {
            return real_->GetPedido(a, b, c, d, e, f, g, h, i, j, k);
        }
        zel::data::Result GetIncPed(const QString& a, const QString& b) override { return real_->GetIncPed(a, b); }
        zel::data::Result GetItem(const QString& a, const QString& b, const QString& c, const QString& d) override
        {
            return real_->GetItem(a, b, c, d);
        }
        zel::data::Result GetGrupOper(const QString& a, const QString& b) override { return real_->GetGrupOper(a, b); }
        zel::data::Result GetNrPedido(const QString& a) override { return real_->GetNrPedido(a); }
        zel::data::Result SetIncPed(const zel::data::ChangePacket& d) override
        {
            if (++sends_ == 2) throw ENetError(ENetError::Unavailable, QStringLiteral("falha injetada"));
            return real_->SetIncPed(d);
        }
        zel::data::Result SetItem(const zel::data::ChangePacket& d) override { return real_->SetItem(d); }

    private:
        std::unique_ptr<IrdmIncPed> real_;
        int sends_ = 0;
    };
    SetRdmIncPedFactory([](std::unique_ptr<IrdmIncPed> real, const TNetConnection& c) {
        EXPECT_EQ(c.Name, QStringLiteral("netIncPed"));
        return std::unique_ptr<IrdmIncPed>(new FailSecondSend(std::move(real)));
    });
    SetLogin(login("0001"));
    TNetConnection netIncPed(QStringLiteral("netIncPed"));
    TRdmIncPedHandle netIncPedServer(netIncPed);
    useLoginServer(netIncPed);
    netIncPed.Connect();
    ASSERT_TRUE(netIncPed.Connected());
    EXPECT_NO_THROW(CheckResultServ(netIncPedServer().GetGrupOper(FiliProc(), Operador()), true, 0));
    const zel::data::ChangePacket empty;
    EXPECT_NO_THROW(netIncPedServer().SetIncPed(empty));
    EXPECT_THROW(netIncPedServer().SetIncPed(empty), ENetError);
}

TEST(LiveServerTls, TheLinkAndTheLoginGoOverTlsWhenRootsAreSet)
{
    const QString dir = QStringLiteral(ZEL_TLS_TEST_DIR);
    ZEL_SKIP_WITHOUT_SERVER();
    zel::test::ServerProcess server;
    ASSERT_TRUE(zel::test::Started(server, {QStringLiteral("--tls-cert"), dir + QStringLiteral("/cert.pem"),
                                            QStringLiteral("--tls-key"), dir + QStringLiteral("/key.pem")}));

    // Plain: refused.
    EXPECT_THROW(
        Entrar(QStringLiteral("127.0.0.1"), server.port(), QStringLiteral("0001"), QStringLiteral("demo"), {}, 3000),
        ENetError);

    QFile cert(dir + QStringLiteral("/cert.pem"));
    ASSERT_TRUE(cert.open(QIODevice::ReadOnly));
    TNetConnection::SetTlsRootCertificates(cert.readAll());
    try {
        SetLogin(Entrar(QStringLiteral("127.0.0.1"), server.port(), QStringLiteral("0001"), QStringLiteral("demo")));
        TNetConnection netIncPed(QStringLiteral("netIncPed"));
        TRdmIncPedHandle netIncPedServer(netIncPed);
        useLoginServer(netIncPed);
        netIncPed.Connect();
        ASSERT_TRUE(netIncPed.Connected());
        TClientDataSet cdsGrupOper(QStringLiteral("cdsGrupOper"));
        cdsGrupOper.AddField(QStringLiteral("CDGROPLIBINC"), TFieldType::ftString, 2);
        cdsGrupOper.SetData(CheckResultServ(netIncPedServer().GetGrupOper(FiliProc(), Operador()), true, 0));
        EXPECT_FALSE(cdsGrupOper.IsEmpty());
    } catch (const std::exception& e) {
        ADD_FAILURE() << e.what();
    }
    TNetConnection::SetTlsRootCertificates({});
    ClearLogin();
}

TEST_F(LiveServer, AfterARestartOnTheSamePortTheFirstCallGoesThroughAndFailuresMeanwhileAreTold)
{
    QStringList told;
    TNetConnection::SetLinkStatusObserver([&](const QString& failure) { told << failure; });
    SetLogin(login("0001"));
    TNetConnection netIncPed(QStringLiteral("netIncPed"));
    TRdmIncPedHandle netIncPedServer(netIncPed);
    useLoginServer(netIncPed);
    netIncPed.Connect();
    ASSERT_NO_THROW(netIncPedServer().GetGrupOper(FiliProc(), Operador()));
    EXPECT_TRUE(told.isEmpty()) << "nothing to tell while calls get through";

    server_.stop();
    for (int i = 0; i < 2; ++i) {
        try {
            netIncPedServer().GetGrupOper(FiliProc(), Operador());
            FAIL() << "a call to a stopped server succeeded";
        } catch (const ENetError& e) {
            EXPECT_EQ(e.kind(), ENetError::Unavailable) << e.what();
            EXPECT_TRUE(e.Message().contains(QStringLiteral("não está disponível"))) << e.what();
        }
    }
    ASSERT_EQ(told.size(), 1) << "the failure is told once, not at every call";
    EXPECT_TRUE(told[0].contains(QStringLiteral("não está disponível"))) << told[0].toStdString();

    // A link opened while the server is down connects at its first call
    // after the server is back.
    TNetConnection late(QStringLiteral("netLate"));
    TRdmIncPedHandle lateServer(late);
    useLoginServer(late);
    late.ThrowException = false;
    late.Connect();
    EXPECT_FALSE(late.Connected());

    QString error;
    ASSERT_TRUE(server_.restart(error)) << error.toStdString();
    QElapsedTimer first;
    first.start();
    EXPECT_NO_THROW(netIncPedServer().GetGrupOper(FiliProc(), Operador())) << "the first call after the restart failed";
    std::printf("first call after the restart: %lld ms\n", static_cast<long long>(first.elapsed()));
    EXPECT_EQ(told.constLast(), QString()) << "a call that gets through clears the failure";
    EXPECT_NO_THROW(lateServer().GetGrupOper(FiliProc(), Operador()));
    EXPECT_TRUE(late.Connected());
    TNetConnection::SetLinkStatusObserver({});
}

TEST_F(LiveServer, AServerThatTakesTheConnectionButDoesNotAnswerIsNotCalledUnreachable)
{
    SetLogin(login("0001"));
    ASSERT_TRUE(server_.pause());
    try {
        Entrar(server_.host(), server_.port(), QStringLiteral("0001"), QStringLiteral("demo"), {}, 1000);
        FAIL() << "a login to a frozen server succeeded";
    } catch (const ENetError& e) {
        EXPECT_EQ(e.kind(), ENetError::DeadlineExceeded) << e.what();
        EXPECT_TRUE(e.Message().contains(QStringLiteral("não respondeu em 1 s"))) << e.what();
        EXPECT_FALSE(e.Message().contains(QStringLiteral("Não foi possível conectar"))) << e.what();
    }
    TNetConnection netIncPed(QStringLiteral("netIncPed"));
    useLoginServer(netIncPed);
    netIncPed.ThrowException = false;
    netIncPed.ConnectTimeoutMs = 1000;
    netIncPed.Connect();
    EXPECT_FALSE(netIncPed.Connected());
    EXPECT_TRUE(netIncPed.LastError().contains(QStringLiteral("não respondeu"))) << netIncPed.LastError().toStdString();
    server_.resume();
}
