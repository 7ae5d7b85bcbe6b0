// One logical application server made of several server processes over one
// database: the shell's address list, the spreading of calls, and a process
// that stops while the link goes on with the same login.
#include "host/GrpcLink.h"
#include "host/Login.h"
#include "host/LoginClient.h"
#include "host/NetConnection.h"
#include "host/ResultCheck.h"
#include "review/RdmIncPed.h"
#include "tests/support/ServerProcess.h"

#include <QFile>
#include <QTest>

#include <gtest/gtest.h>

using namespace zel;

namespace {

TEST(LogicalServer, AnAddressListIsReadIntoTheAddressesOfOneServer)
{
    struct Case {
        const char* text;
        QStringList addresses; // empty: refused
    };
    const Case cases[] = {
        {"127.0.0.1:5001", {"127.0.0.1:5001"}},
        {"zel.example:5001", {"zel.example:5001"}}, // a name alone: its address records
        {" 10.0.0.1:5001 , 10.0.0.2:5002", {"10.0.0.1:5001", "10.0.0.2:5002"}},
        {"10.0.0.1:5001,10.0.0.1:5001", {"10.0.0.1:5001"}},
        {"localhost:5001,127.0.0.1:5002", {"127.0.0.1:5001", "127.0.0.1:5002"}},
        {"[::1]:5001,[fd00::7]:5002", {"[::1]:5001", "[fd00::7]:5002"}},
        {"", {}},
        {"10.0.0.1:5001,", {}},
        {"10.0.0.1:5001,10.0.0.2", {}},
        {"srv1:5001,srv2:5001", {}},      // names in a list cannot be spread over
        {"10.0.0.1:5001,[::1]:5002", {}}, // one family
        {"10.0.0.256:5001,10.0.0.2:5002", {}},
    };
    for (const Case& c : cases) {
        QStringList got{QStringLiteral("unchanged")};
        QString why;
        const bool ok = ParseServerAddresses(QString::fromUtf8(c.text), got, &why);
        EXPECT_EQ(ok, !c.addresses.isEmpty()) << c.text;
        if (ok)
            EXPECT_EQ(got, c.addresses) << c.text;
        else
            EXPECT_FALSE(why.isEmpty()) << c.text;
    }
    EXPECT_EQ(grpclink::ChannelTarget({QStringLiteral("zel.example:5001")}), "zel.example:5001");
    EXPECT_EQ(grpclink::ChannelTarget({QStringLiteral("10.0.0.1:5001"), QStringLiteral("10.0.0.2:5002")}),
              "ipv4:10.0.0.1:5001,10.0.0.2:5002");
    EXPECT_EQ(grpclink::ChannelTarget({QStringLiteral("[::1]:5001"), QStringLiteral("[::1]:5002")}),
              "ipv6:[::1]:5001,[::1]:5002");
}

// Established connections of this machine to a loopback port (the client
// side of a channel's connection to one server process), over IPv4 or
// IPv4-mapped IPv6.
int connectionsTo(int port)
{
    int n = 0;
    const QString remote = QStringLiteral(":%1").arg(port, 4, 16, QLatin1Char('0')).toUpper();
    for (const char* table : {"/proc/net/tcp", "/proc/net/tcp6"}) {
        QFile f(QString::fromLatin1(table));
        if (!f.open(QIODevice::ReadOnly)) continue;
        for (const QByteArray& line : f.readAll().split('\n')) {
            // sl local_address rem_address st ...; state 01 = established
            const QStringList cols = QString::fromLatin1(line).split(QLatin1Char(' '), Qt::SkipEmptyParts);
            if (cols.size() > 3 && cols[2].endsWith(remote) && cols[3] == QLatin1String("01")) ++n;
        }
    }
    return n;
}

class TwoProcesses : public ::testing::Test {
protected:
    void SetUp() override
    {
        ZEL_SKIP_WITHOUT_SERVER();
        QString error;
        ASSERT_TRUE(a_.start(error)) << error.toStdString();
        ASSERT_TRUE(b_.startBeside(a_, error)) << error.toStdString();
    }
    void TearDown() override { ClearLogin(); }

    // A call through the link; false when it failed.
    static bool call(TNetConnection& net)
    {
        try {
            CheckResultServ(NewRdmIncPed(net)->GetGrupOper(FiliProc(), Operador()), true, 0);
            return true;
        } catch (const std::exception&) {
            return false;
        }
    }

    zel::test::ServerProcess a_, b_;
};

TEST_F(TwoProcesses, CallsAreSpreadOverTheProcessesAndGoOnWhenOneStopsWithoutANewLogin)
{
    QStringList servers;
    ASSERT_TRUE(ParseServerAddresses(a_.address() + QLatin1Char(',') + b_.address(), servers));
    SetLogin(Entrar(servers, QStringLiteral("0001"), QStringLiteral("demo")));
    const QString token = SessionToken();
    EXPECT_EQ(CurrentLogin().servers, servers);

    // The screens' link names one address of the login, as the module does.
    TNetConnection net(QStringLiteral("netIncPed"));
    net.ServerName = QStringLiteral("Zel08100.rdmIncPed");
    net.BeforeConnect = [](TNetConnection* c) {
        c->Host = WebURL();
        c->Port = WebPort();
    };
    net.Connect();
    ASSERT_TRUE(net.Connected());
    ASSERT_TRUE(call(net));
    // The link keeps a connection to each process.
    ASSERT_TRUE(QTest::qWaitFor([&] { return connectionsTo(a_.port()) > 0 && connectionsTo(b_.port()) > 0; }, 5000));

    // One process frozen: of two calls in a row, one goes round to it and
    // runs out of time, the other is answered.
    ASSERT_TRUE(b_.pause());
    net.CallTimeoutMs = 2000;
    int answered = 0, lost = 0;
    for (int i = 0; i < 2; ++i)
        call(net) ? ++answered : ++lost;
    EXPECT_EQ(answered, 1);
    EXPECT_EQ(lost, 1);
    net.CallTimeoutMs = TNetConnection::DefaultCallTimeoutMs();

    // The process ends: it is left out, every call goes to the other, with
    // the same session.
    b_.stop();
    ASSERT_TRUE(QTest::qWaitFor([&] { return call(net); }, 5000));
    for (int i = 0; i < 10; ++i)
        EXPECT_TRUE(call(net)) << "call " << i;
    EXPECT_EQ(SessionToken(), token);
}

TEST_F(TwoProcesses, ChannelsShareTheirConnectionsUnlessAskedForConnectionsOfTheirOwn)
{
    const QStringList servers{a_.address(), b_.address()};
    auto connected = [](const std::shared_ptr<grpc::Channel>& c) { return grpclink::WaitConnected(c, 5000); };
    auto both = [&](int n) {
        return QTest::qWaitFor([&] { return connectionsTo(a_.port()) == n && connectionsTo(b_.port()) == n; }, 5000);
    };
    // The shell's channels: one connection to each process for all of them.
    auto shared1 = grpclink::MakeChannel(servers);
    auto shared2 = grpclink::MakeChannel(servers);
    ASSERT_TRUE(connected(shared1));
    ASSERT_TRUE(connected(shared2));
    EXPECT_TRUE(both(1)) << connectionsTo(a_.port()) << " and " << connectionsTo(b_.port());
    // Each simulated operator of the load tool: connections of its own.
    auto own1 = grpclink::MakeChannel(servers, true);
    auto own2 = grpclink::MakeChannel(servers, true);
    ASSERT_TRUE(connected(own1));
    ASSERT_TRUE(connected(own2));
    EXPECT_TRUE(both(3)) << connectionsTo(a_.port()) << " and " << connectionsTo(b_.port());
}

TEST_F(TwoProcesses, TheLoginIsMadeAtWhicheverProcessAnswers)
{
    QStringList servers;
    ASSERT_TRUE(ParseServerAddresses(a_.address() + QLatin1Char(',') + b_.address(), servers));
    a_.stop();
    const TLoginInfo login = Entrar(servers, QStringLiteral("0001"), QStringLiteral("demo"), {}, 5000);
    EXPECT_FALSE(login.token.isEmpty());
    EXPECT_EQ(login.webUrl + QLatin1Char(':') + QString::number(login.webPort), servers.front());
}

} // namespace
