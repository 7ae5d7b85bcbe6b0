// zel-server as its own process: init, seed, operator management and serve
// on an ephemeral port, talked to through the generated clients; a graceful
// stop on SIGTERM lets a call in flight finish.
#include "tests/server/TestSupport.h"
#include "tests/support/ChildProcess.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <sched.h>
#include <thread>

namespace zel::server::test {
namespace {

struct Run {
    int code;
    std::string out;
};

Run RunServer(std::vector<std::string> args, const std::string& input = {})
{
    args.insert(args.begin(), ZEL_SERVER_BIN);
    zel::test::ChildProcess c;
    std::string error;
    if (!c.Start(args, error, input)) {
        ADD_FAILURE() << error;
        return {-1, {}};
    }
    std::string out = c.ReadAll();
    return {c.Wait(), out};
}

// The next line of the child's output that holds the text; empty when none
// came in time.
std::string LineWith(zel::test::ChildProcess& child, const std::string& text)
{
    for (std::string line; !(line = child.ReadLine(std::chrono::seconds(30))).empty();)
        if (line.find(text) != std::string::npos) return line;
    return {};
}

class ProcessTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        db_ = std::make_unique<TestDatabase>(GetParam());
        if (!db_->available()) GTEST_SKIP() << "ZEL_TEST_PG_URL is not set: no PostgreSQL to test on";
    }
    std::unique_ptr<TestDatabase> db_;
};

TEST_P(ProcessTest, InitSeedOperatorsAndServe)
{
    const std::string url = db_->url();
    auto init = RunServer({"init", "--db", url});
    EXPECT_EQ(init.code, 0);
    EXPECT_EQ(init.out, "schema at version 2 (2 step(s) applied)\n");
    EXPECT_EQ(RunServer({"init", "--db", url}).out, "schema at version 2 (0 step(s) applied)\n");
    auto seed =
        RunServer({"seed", "--db", url, "--branches", "2", "--orders", "400", "--seed", "7", "--date", "2026-03-10"});
    ASSERT_EQ(seed.code, 0) << seed.out;
    EXPECT_EQ(seed.out.rfind("seeded 2 branch(es), 400 orders", 0), 0u) << seed.out;
    EXPECT_EQ(RunServer({"seed", "--db", url}).code, 2); // not over existing data

    EXPECT_EQ(RunServer({"operator", "add", "--db", url, "--code", "0100", "--name", "Renata Dias", "--branch", "0002",
                         "--fixed"},
                        "segredo\n")
                  .code,
              0);
    EXPECT_EQ(RunServer({"operator", "grant", "--db", url, "--code", "0100", "--branch", "0002", "--group", "07"}).code,
              0);
    EXPECT_EQ(RunServer({"operator", "add", "--db", url, "--code", "0100", "--name", "X", "--branch", "0001",
                         "--password", "x"})
                  .code,
              2);
    EXPECT_EQ(RunServer({"operator", "grant", "--db", url, "--code", "0999", "--branch", "0002", "--group", "07"}).code,
              2);
    EXPECT_EQ(RunServer({"operator", "passwd", "--db", url, "--code", "0009", "--password", "nova"}).code, 0);
    EXPECT_EQ(RunServer({"operator", "revoke", "--db", url, "--code", "0002", "--branch", "0002"}).out,
              "1 membership(s) removed\n");
    EXPECT_EQ(RunServer({"bogus"}).code, 2);
    EXPECT_EQ(RunServer({"serve", "--help"}).code, 0);

    zel::test::ChildProcess server;
    server.mergeErrors(); // the log tells when the stop has begun
    std::string error;
    ASSERT_TRUE(server.Start({ZEL_SERVER_BIN, "serve", "--db", url, "--listen", "127.0.0.1:0"}, error)) << error;
    const std::string line = LineWith(server, "listening on ");
    ASSERT_EQ(line.rfind("listening on 127.0.0.1:", 0), 0u) << line;
    auto channel = grpc::CreateChannel(line.substr(13), grpc::InsecureChannelCredentials());
    auto login = zel::login::Login::NewStub(channel);
    auto stub = Zel08100::rdmIncPed::NewStub(channel);

    auto enter = [&](const std::string& op, const std::string& pw) {
        grpc::ClientContext ctx;
        zel::login::LoginRequest rq;
        rq.set_operador(op);
        rq.set_senha(pw);
        zel::login::LoginReply out;
        EXPECT_TRUE(login->Entrar(&ctx, rq, &out).ok());
        return out;
    };
    const auto renata = enter("0100", "segredo");
    ASSERT_TRUE(renata.has_session()) << renata.error().message();
    EXPECT_EQ(renata.session().cd_filial(), "0002");
    EXPECT_TRUE(renata.session().modu_fili());
    EXPECT_TRUE(enter("0009", "nova").has_session());
    EXPECT_TRUE(enter("0005", "demo").session().modu_fili());
    const auto ana = enter("0001", "demo");
    ASSERT_TRUE(ana.has_session());
    EXPECT_FALSE(ana.session().modu_fili());

    auto call = [&](const std::string& token, auto fn, const auto& rq) {
        grpc::ClientContext ctx;
        ctx.AddMetadata("zel-session", token);
        zel::data::Result out;
        EXPECT_TRUE(((*stub).*fn)(&ctx, rq, &out).ok());
        return out;
    };
    Zel08100::GetGrupOperRequest g;
    g.set_cd_filial("0002");
    g.set_cd_operador("0100");
    EXPECT_EQ(Column(call(renata.session().token(), &Zel08100::rdmIncPed::Stub::GetGrupOper, g).data(), "CDGROPLIBINC"),
              std::vector<std::string>{"07"});

    // The seeded branch's pending orders, and the inconsistencies of the first.
    Zel08100::GetPedidoRequest all;
    all.set_cd_filial("0001");
    all.set_todos_pedidos("T");
    all.set_todas_dt_pedido("T");
    all.set_todas_dt_entrega("T");
    auto orders = call(ana.session().token(), &Zel08100::rdmIncPed::Stub::GetPedido, all);
    ASSERT_TRUE(orders.has_data());
    ASSERT_GT(orders.data().row_count(), 20u);
    EXPECT_LT(orders.data().row_count(), 200u);
    const std::string first = Column(orders.data(), "NRPEDIDO")[0];
    EXPECT_EQ(first.size(), 10u);
    Zel08100::GetIncPedRequest inc;
    inc.set_cd_filial("0001");
    inc.set_nr_pedido(first);
    auto incs = call(ana.session().token(), &Zel08100::rdmIncPed::Stub::GetIncPed, inc);
    ASSERT_TRUE(incs.has_data());
    ASSERT_GT(incs.data().row_count(), 0u);
    for (const auto& mark : Column(incs.data(), "ATIVA"))
        EXPECT_EQ(mark, "N");
    for (const auto& description : Column(incs.data(), "NMCONSPEDIDO"))
        EXPECT_GT(description.size(), 10u); // a Portuguese description

    // Graceful stop: a release waiting for a database lock is in flight when
    // SIGTERM arrives; it finishes and the process exits cleanly.
    auto locker = OpenConnection(url);
    locker->begin(true);
    if (GetParam() == Backend::Postgres)
        locker->query("SELECT * FROM INCONSPED WHERE CDFILIAL = '0001' FOR UPDATE");
    else
        locker->exec("UPDATE FILIAL SET NMFILIAL = NMFILIAL WHERE CDFILIAL = '0001'");
    zel::data::Result inFlight;
    std::thread release([&] {
        Zel08100::SetRequest rq;
        *rq.mutable_delta() = Modify(
            incs.data(), 0,
            {{"ATIVA", TextValue("S")}, {"DTLIBEINCONS", DateValue(Day(1, 12))}, {"CDOPERLIBE", TextValue("0001")}});
        inFlight = call(ana.session().token(), &Zel08100::rdmIncPed::Stub::SetIncPed, rq);
    });
    EXPECT_TRUE(WaitForLockWaiter(*db_, server.Pid())) << "the release never reached the database";
    server.Signal(SIGTERM);
    EXPECT_NE(LineWith(server, "signal 15: stopping"), "") << "the server never began to stop";
    locker->rollback();
    release.join();
    EXPECT_TRUE(inFlight.has_data()) << inFlight.error().message();
    EXPECT_EQ(server.Wait(), 0);
    auto check = OpenConnection(url);
    const DbValue p[] = {Text(first)};
    EXPECT_EQ(check
                  ->query("SELECT COUNT(*) FROM HISTLIBINC WHERE CDFILIAL = '0001' AND NRPEDIDO = ? AND "
                          "CDOPERLIBE = '0001' AND DTLIBEINCONS = " +
                              std::to_string(Day(1, 12)),
                          p)
                  .i64(0, 0),
              1);
}

TEST_P(ProcessTest, ServeRefusesADatabaseWithoutSchema)
{
    auto r = RunServer({"serve", "--db", db_->url(), "--listen", "127.0.0.1:0"});
    EXPECT_EQ(r.code, 1);
    EXPECT_EQ(r.out, "");
}

ZEL_INSTANTIATE(ProcessTest);

TEST(ProcessServe, RunsOnlyOnTheCpusItIsGiven)
{
    TestDatabase db(Backend::Sqlite);
    ASSERT_EQ(RunServer({"init", "--db", db.url()}).code, 0);
    auto refusal = [&](const std::string& cpus) {
        zel::test::ChildProcess c;
        c.mergeErrors();
        std::string error;
        EXPECT_TRUE(
            c.Start({ZEL_SERVER_BIN, "serve", "--db", db.url(), "--listen", "127.0.0.1:0", "--cpus", cpus}, error))
            << error;
        const std::string out = c.ReadAll();
        EXPECT_EQ(c.Wait(), 2) << cpus;
        return out;
    };
    for (const char* list : {"x", "1-0", "0,", "-1", ""})
        EXPECT_NE(refusal(list).find("--cpus must be a list of CPUs such as 0, 0,2 or 1-3"), std::string::npos) << list;
    EXPECT_NE(refusal("1023").find("--cpus: CPU 1023 is not one this process may run on"), std::string::npos);

    cpu_set_t mine;
    CPU_ZERO(&mine);
    ASSERT_EQ(sched_getaffinity(0, sizeof mine, &mine), 0);
    if (CPU_COUNT(&mine) < 2) GTEST_SKIP() << "this machine gives the tests one CPU: nothing to choose from";
    int last = 0;
    for (int c = 0; c < CPU_SETSIZE; ++c)
        if (CPU_ISSET(c, &mine)) last = c;

    zel::test::ChildProcess server;
    std::string error;
    ASSERT_TRUE(server.Start(
        {ZEL_SERVER_BIN, "serve", "--db", db.url(), "--listen", "127.0.0.1:0", "--cpus", std::to_string(last)}, error))
        << error;
    ASSERT_FALSE(LineWith(server, "listening on ").empty());
    // Every thread of the process, gRPC's among them, runs on that CPU only.
    int threads = 0;
    for (const auto& task : std::filesystem::directory_iterator("/proc/" + std::to_string(server.Pid()) + "/task")) {
        std::ifstream status(task.path() / "status");
        std::string line;
        while (std::getline(status, line) && line.rfind("Cpus_allowed_list:", 0) != 0) {
        }
        EXPECT_EQ(line, "Cpus_allowed_list:\t" + std::to_string(last)) << task.path();
        ++threads;
    }
    EXPECT_GT(threads, 1);
    server.Stop();
}

TEST(ProcessSeed, SameSeedAndDateGiveTheSameData)
{
    TestDatabase a(Backend::Sqlite), b(Backend::Sqlite);
    for (auto* db : {&a, &b})
        ASSERT_EQ(RunServer({"seed", "--db", db->url(), "--orders", "500", "--seed", "3", "--date", "2026-01-31"}).code,
                  0);
    auto dump = [](const std::string& url) {
        auto c = OpenConnection(url);
        std::string s;
        for (const char* q : {"SELECT * FROM PEDIDO ORDER BY 1, 2", "SELECT * FROM ITEMPEDIDO ORDER BY 1, 2, 3",
                              "SELECT * FROM INCONSPED ORDER BY 1, 2, 3", "SELECT * FROM CLIENTE ORDER BY 1"}) {
            DbRows r = c->query(q);
            for (std::size_t i = 0; i < r.size(); ++i)
                for (int k = 0; k < r.columns(); ++k)
                    s += r.text(i, k) + "|";
        }
        return s;
    };
    const std::string da = dump(a.url());
    EXPECT_GT(da.size(), 10'000u);
    EXPECT_EQ(da, dump(b.url()));
}

} // namespace
} // namespace zel::server::test
