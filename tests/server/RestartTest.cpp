// A PostgreSQL cluster of the test's own, stopped and started again under a
// running zel-server process: calls made while it is down are answered with
// the "unavailable" error (the process goes on), and once it is back the same
// login's calls succeed again, writes included. The process is also given a
// URL naming two hosts, the first of them dead, as a primary and its standby
// are named.
#include "server/Packets.h"
#include "tests/server/TestSupport.h"
#include "tests/support/ChildProcess.h"

#include <arpa/inet.h>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zel::server::test {
namespace {

namespace fs = std::filesystem;

// A free TCP port on the loopback (free when asked; the cluster takes it at once).
int FreePort()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    int port = 0;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) == 0)
        port = ntohs(a.sin_port);
    ::close(s);
    return port;
}

std::string PgBin()
{
    std::string best;
    if (!fs::exists("/usr/lib/postgresql")) return best;
    for (const auto& e : fs::directory_iterator("/usr/lib/postgresql"))
        if (fs::exists(e.path() / "bin" / "pg_ctl") && e.path().string() > best) best = e.path().string();
    return best.empty() ? best : best + "/bin";
}

// A cluster on the loopback, made by scripts/pg.sh, removed at the end.
class OwnCluster {
public:
    OwnCluster() : bin_(PgBin()), port_(FreePort())
    {
        if (bin_.empty() || !port_) return;
        dir_ = (fs::temp_directory_path() / ("zel-restart-" + std::to_string(::getpid()))).string();
        const std::string out = dir_ + ".url";
        if (sh("bash " ZEL_PG_SCRIPT " start " + dir_ + " " + std::to_string(port_) + " >" + out) == 0) {
            std::ifstream in(out);
            std::getline(in, url_);
        }
        fs::remove(out);
    }
    ~OwnCluster()
    {
        if (!dir_.empty()) sh("bash " ZEL_PG_SCRIPT " stop " + dir_);
    }
    const std::string& url() const { return url_; }
    int port() const { return port_; }
    bool down() { return pgCtl("-m fast -w stop") == 0; }
    // With the settings scripts/pg.sh starts it with.
    bool up()
    {
        return pgCtl("-o \"-k " + dir_ + " -p " + std::to_string(port_) +
                     " -c listen_addresses=127.0.0.1 -c fsync=off\" -l " + dir_ + "/log -w start") == 0;
    }

private:
    static int sh(const std::string& cmd) { return std::system(cmd.c_str()); }
    int pgCtl(const std::string& args)
    {
        const std::string as = ::getuid() == 0 ? "runuser -u postgres -- " : "";
        return sh(as + bin_ + "/pg_ctl -D " + dir_ + "/data " + args + " >/dev/null");
    }
    std::string bin_, dir_, url_;
    int port_;
};

// The next line of the child's output that holds the text.
std::string LineWith(zel::test::ChildProcess& child, const std::string& text)
{
    for (std::string line; !(line = child.ReadLine(std::chrono::seconds(30))).empty();)
        if (line.find(text) != std::string::npos) return line;
    return {};
}

class DatabaseRestart : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (PgBin().empty()) GTEST_SKIP() << "no PostgreSQL installed to start a cluster of the test's own";
        cluster_ = std::make_unique<OwnCluster>();
        ASSERT_FALSE(cluster_->url().empty()) << "scripts/pg.sh could not start a cluster";
        LoadFixture(cluster_->url());
    }

    // A zel-server process over `url`, and a login of operator 0001.
    void Serve(const std::string& url)
    {
        server_.mergeErrors();
        std::string error;
        ASSERT_TRUE(server_.Start({ZEL_SERVER_BIN, "serve", "--db", url, "--listen", "127.0.0.1:0"}, error)) << error;
        const std::string line = LineWith(server_, "listening on ");
        ASSERT_FALSE(line.empty()) << "zel-server did not start";
        channel_ = grpc::CreateChannel(line.substr(13), grpc::InsecureChannelCredentials());
        stub_ = Zel08100::rdmIncPed::NewStub(channel_);
        grpc::ClientContext ctx;
        zel::login::LoginRequest rq;
        rq.set_operador("0001");
        rq.set_senha("demo");
        zel::login::LoginReply out;
        ASSERT_TRUE(zel::login::Login::NewStub(channel_)->Entrar(&ctx, rq, &out).ok());
        ASSERT_TRUE(out.has_session()) << out.error().message();
        token_ = out.session().token();
    }

    // The inconsistencies of order 1, checking that the transport carried the call.
    zel::data::Result Order1()
    {
        Zel08100::GetIncPedRequest rq;
        rq.set_cd_filial("0001");
        rq.set_nr_pedido("0000000001");
        return call(&Zel08100::rdmIncPed::Stub::GetIncPed, rq);
    }

    zel::data::Result Note(const zel::data::DataPacket& rows, const std::string& text)
    {
        Zel08100::SetRequest rq;
        *rq.mutable_delta() = Modify(rows, 0, {{"TXOBSLIBINCO", TextValue(text)}});
        return call(&Zel08100::rdmIncPed::Stub::SetIncPed, rq);
    }

    template <class Rq, class M> zel::data::Result call(M method, const Rq& rq)
    {
        grpc::ClientContext ctx;
        ctx.AddMetadata("zel-session", token_);
        ctx.set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(20));
        zel::data::Result out;
        const grpc::Status st = ((*stub_).*method)(&ctx, rq, &out);
        EXPECT_TRUE(st.ok()) << st.error_message();
        return out;
    }

    std::unique_ptr<OwnCluster> cluster_;
    zel::test::ChildProcess server_;
    std::shared_ptr<grpc::Channel> channel_;
    std::unique_ptr<Zel08100::rdmIncPed::Stub> stub_;
    std::string token_;
};

TEST_F(DatabaseRestart, CallsFailCleanlyWhileItIsDownAndSucceedOnceItIsBack)
{
    ASSERT_NO_FATAL_FAILURE(Serve(cluster_->url()));
    auto before = Order1();
    ASSERT_TRUE(before.has_data()) << before.error().message();
    ASSERT_TRUE(Note(before.data(), "antes").has_data());

    ASSERT_TRUE(cluster_->down());
    // Every connection of the process's pool is gone: reads, writes and the
    // session check each answer with the unavailable error, as many times as
    // they are tried.
    for (int i = 0; i < 3; ++i) {
        auto r = Order1();
        ASSERT_TRUE(r.has_error()) << "an answer with the database down";
        EXPECT_EQ(r.error().code(), kErrUnavailable);
        EXPECT_EQ(r.error().message(), "Banco de dados indisponível. Tente novamente em instantes.");
    }
    auto refused = Note(before.data(), "durante");
    ASSERT_TRUE(refused.has_error());
    EXPECT_EQ(refused.error().code(), kErrUnavailable);
    EXPECT_TRUE(server_.Running());

    ASSERT_TRUE(cluster_->up());
    // The same login goes on; the first call after the restart already
    // succeeds, and a write made then is there.
    auto after = Order1();
    ASSERT_TRUE(after.has_data()) << after.error().message();
    EXPECT_EQ(Column(after.data(), "TXOBSLIBINCO")[0], "antes");
    ASSERT_TRUE(Note(after.data(), "depois").has_data());
    EXPECT_EQ(Column(Order1().data(), "TXOBSLIBINCO")[0], "depois");
}

TEST_F(DatabaseRestart, AUrlOfTwoHostsReachesTheOneThatIsUp)
{
    // A primary that is gone named first, as after a switch to the standby.
    std::string url = cluster_->url();
    const std::string at = "@127.0.0.1:" + std::to_string(cluster_->port());
    const auto pos = url.find(at);
    ASSERT_NE(pos, std::string::npos) << url;
    url.replace(pos, at.size(),
                "@127.0.0.1:" + std::to_string(FreePort()) + ",127.0.0.1:" + std::to_string(cluster_->port()));
    url += "?target_session_attrs=read-write";
    ASSERT_NO_FATAL_FAILURE(Serve(url));
    auto r = Order1();
    ASSERT_TRUE(r.has_data()) << r.error().message();
    EXPECT_TRUE(Note(r.data(), "dois hosts").has_data());
}

} // namespace
} // namespace zel::server::test
