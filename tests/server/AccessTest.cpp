// Access control against real zel-server processes on both databases: idle
// sessions expire, a disabled operator or a revoked release group takes
// effect at the next call on every process, failed logins are slowed down,
// and logins and administrative changes are in the log. Also the upgrade of
// a database made by the previous schema version.
#include "platform/data/DateTime.h"
#include "proto/zel08200.grpc.pb.h"
#include "server/Auth.h"
#include "server/Schema.h"
#include "tests/server/TestSupport.h"
#include "tests/support/ChildProcess.h"

#include <filesystem>
#include <fstream>
#include <map>
#include <regex>
#include <thread>

namespace zel::server::test {
namespace {

struct Run {
    int code;
    std::string out; // standard output and error
};

Run RunServer(std::vector<std::string> args, const std::string& input = {})
{
    args.insert(args.begin(), ZEL_SERVER_BIN);
    zel::test::ChildProcess c;
    c.mergeErrors();
    std::string error;
    if (!c.Start(args, error, input)) {
        ADD_FAILURE() << error;
        return {-1, {}};
    }
    std::string out = c.ReadAll();
    return {c.Wait(), out};
}

std::int64_t Now()
{
    return zel::TDateTime::Now().msecs();
}

// A zel-server process with clients; its log (standard error) is read with
// its output.
class Server {
public:
    bool Start(const std::string& url, std::vector<std::string> extra = {})
    {
        child_.mergeErrors();
        std::vector<std::string> args{ZEL_SERVER_BIN, "serve", "--db", url, "--listen", "127.0.0.1:0"};
        args.insert(args.end(), extra.begin(), extra.end());
        std::string error;
        if (!child_.Start(args, error)) {
            ADD_FAILURE() << error;
            return false;
        }
        const std::string line = LogLine("listening on 127.0.0.1:");
        if (line.empty()) return false;
        auto channel = grpc::CreateChannel(line.substr(line.find("127.0.0.1:")), grpc::InsecureChannelCredentials());
        login_ = zel::login::Login::NewStub(channel);
        incPed_ = Zel08100::rdmIncPed::NewStub(channel);
        sup_ = Zel08200::rdmSupervisao::NewStub(channel);
        return true;
    }

    zel::login::LoginReply Enter(const std::string& op, const std::string& pw)
    {
        grpc::ClientContext ctx;
        zel::login::LoginRequest rq;
        rq.set_operador(op);
        rq.set_senha(pw);
        zel::login::LoginReply out;
        EXPECT_TRUE(login_->Entrar(&ctx, rq, &out).ok());
        return out;
    }
    std::string Token(const std::string& op)
    {
        auto r = Enter(op, "demo");
        EXPECT_TRUE(r.has_session()) << r.error().message();
        return r.session().token();
    }
    // The answer of a call of the order service; its status's message when
    // it is refused.
    grpc::Status Probe(const std::string& token)
    {
        grpc::ClientContext ctx;
        ctx.AddMetadata("zel-session", token);
        Zel08100::GetNrPedidoRequest rq;
        rq.set_cd_filial("0001");
        zel::data::Result out;
        return incPed_->GetNrPedido(&ctx, rq, &out);
    }
    // "VERHIST" and "LIBERA" of the operator in the branch; the refusal's
    // message when the call is refused.
    std::string Rights(const std::string& token, const std::string& branch)
    {
        grpc::ClientContext ctx;
        ctx.AddMetadata("zel-session", token);
        Zel08200::GetDireitosRequest rq;
        rq.set_cd_filial(branch);
        zel::data::Result out;
        grpc::Status st = sup_->GetDireitos(&ctx, rq, &out);
        if (!st.ok()) return st.error_message();
        if (!out.has_data()) return out.error().message();
        return Column(out.data(), "VERHIST")[0] + Column(out.data(), "LIBERA")[0];
    }
    // The first line of the log that holds the text, waiting up to 10 s for it.
    std::string LogLine(const std::string& text)
    {
        for (std::size_t i = 0;; ++i) {
            if (i == lines_.size()) {
                std::string line = child_.ReadLine(std::chrono::seconds(10));
                if (line.empty()) return {};
                lines_.push_back(line);
            }
            if (lines_[i].find(text) != std::string::npos) return lines_[i];
        }
    }

private:
    zel::test::ChildProcess child_;
    std::vector<std::string> lines_;
    std::unique_ptr<zel::login::Login::Stub> login_;
    std::unique_ptr<Zel08100::rdmIncPed::Stub> incPed_;
    std::unique_ptr<Zel08200::rdmSupervisao::Stub> sup_;
};

// A log line: UTC time stamp, then the text.
const std::regex kStamped(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ .*)");

class AccessTest : public ::testing::TestWithParam<Backend> {
protected:
    void SetUp() override
    {
        db_ = std::make_unique<TestDatabase>(GetParam());
        if (!db_->available()) GTEST_SKIP() << "ZEL_TEST_PG_URL is not set: no PostgreSQL to test on";
        LoadFixture(db_->url());
        c_ = OpenConnection(db_->url());
    }
    void TearDown() override { c_.reset(); }

    // Sets the last call of the operator's open sessions to `ago` ms before now.
    void LastCallAgo(const std::string& op, std::int64_t ago)
    {
        const DbValue p[] = {Int(Now() - ago), Text(op)};
        c_->exec("UPDATE SESSAO SET DTULTIMO = ? WHERE CDOPERADOR = ? AND DTFIM IS NULL", p);
    }
    std::int64_t LastCall(const std::string& op)
    {
        const DbValue p[] = {Text(op)};
        DbRows r = c_->query("SELECT DTULTIMO FROM SESSAO WHERE CDOPERADOR = ? AND DTFIM IS NULL", p);
        EXPECT_EQ(r.size(), 1u);
        return r.empty() ? 0 : r.i64(0, 0);
    }

    std::unique_ptr<TestDatabase> db_;
    std::unique_ptr<DbConn> c_;
};

TEST_P(AccessTest, IdleSessionsExpireOnEveryProcess)
{
    // One process told on its command line, the other by its configuration file.
    const std::string conf = std::filesystem::temp_directory_path() / (db_->name() + ".conf");
    std::ofstream(conf) << "session-idle-minutes = 5\n";
    struct Remove {
        std::string file;
        ~Remove() { std::filesystem::remove(file); }
    } removeConf{conf};
    Server a, b;
    ASSERT_TRUE(a.Start(db_->url(), {"--session-idle-minutes", "5"}));
    ASSERT_TRUE(b.Start(db_->url(), {"--config", conf}));
    const std::string token = a.Token("0001");
    const std::int64_t atLogin = LastCall("0001");
    EXPECT_LE(std::abs(atLogin - Now()), 5'000);

    // Calls within a minute of the last write leave the stamp alone.
    ASSERT_TRUE(a.Probe(token).ok());
    ASSERT_TRUE(b.Probe(token).ok());
    EXPECT_EQ(LastCall("0001"), atLogin);

    // Older than a minute: the call writes it anew, whichever process takes it.
    LastCallAgo("0001", 4 * 60'000);
    ASSERT_TRUE(b.Probe(token).ok());
    EXPECT_LE(std::abs(LastCall("0001") - Now()), 5'000);

    // Idle for longer than allowed: refused on the other process too, and
    // the session stays ended.
    const std::string other = a.Token("0002");
    LastCallAgo("0001", 6 * 60'000);
    grpc::Status st = b.Probe(token);
    EXPECT_EQ(st.error_code(), grpc::StatusCode::UNAUTHENTICATED);
    EXPECT_EQ(st.error_message(), "Sessão expirada por inatividade. Entre novamente.");
    st = a.Probe(token);
    EXPECT_EQ(st.error_code(), grpc::StatusCode::UNAUTHENTICATED);
    EXPECT_EQ(st.error_message(), "Sessão inválida ou encerrada.");
    EXPECT_TRUE(a.Probe(other).ok());
    // A new login works at once.
    EXPECT_TRUE(b.Probe(b.Token("0001")).ok());
    EXPECT_FALSE(b.LogLine("session of operator 0001 ended: idle for 6 minutes").empty());

    // The default keeps a session through a long pause.
    Server c;
    ASSERT_TRUE(c.Start(db_->url()));
    const std::string longer = c.Token("0009");
    LastCallAgo("0009", 7 * 60 * 60'000);
    EXPECT_TRUE(c.Probe(longer).ok());
    LastCallAgo("0009", 8 * 60 * 60'000 + 60'000);
    EXPECT_EQ(c.Probe(longer).error_message(), "Sessão expirada por inatividade. Entre novamente.");

    auto bad = RunServer({"serve", "--db", db_->url(), "--listen", "127.0.0.1:0", "--session-idle-minutes", "0"});
    EXPECT_EQ(bad.code, 2);
    EXPECT_NE(bad.out.find("--session-idle-minutes must be 1 to 525600"), std::string::npos) << bad.out;
}

TEST_P(AccessTest, DisablingAndRevokingTakeEffectAtTheNextCallOnEveryProcess)
{
    Server a, b;
    ASSERT_TRUE(a.Start(db_->url()));
    ASSERT_TRUE(b.Start(db_->url()));
    const std::string ana = a.Token("0001"), carlos = a.Token("0002");
    EXPECT_EQ(b.Rights(ana, "0001"), "NS");

    const std::string url = db_->url();
    auto revoke = RunServer({"operator", "revoke", "--db", url, "--code", "0001", "--branch", "0001"});
    ASSERT_EQ(revoke.code, 0) << revoke.out;
    EXPECT_EQ(a.Rights(ana, "0001"), "NN");
    EXPECT_EQ(b.Rights(ana, "0001"), "NN");
    ASSERT_EQ(RunServer({"operator", "grant", "--db", url, "--code", "0001", "--branch", "0001", "--group", "01"}).code,
              0);
    EXPECT_EQ(b.Rights(ana, "0001"), "NS");

    auto disable = RunServer({"operator", "disable", "--db", url, "--code", "0001"});
    ASSERT_EQ(disable.code, 0) << disable.out;
    EXPECT_NE(disable.out.find("operator 0001 disabled\n"), std::string::npos) << disable.out;
    for (Server* s : {&a, &b}) {
        grpc::Status st = s->Probe(ana);
        EXPECT_EQ(st.error_code(), grpc::StatusCode::UNAUTHENTICATED);
        EXPECT_EQ(st.error_message(), "Operador desativado.");
        EXPECT_EQ(s->Rights(ana, "0001"), "Operador desativado.");
        EXPECT_EQ(s->Rights(carlos, "0001"), "NS");
    }
    EXPECT_EQ(b.Enter("0001", "demo").error().message(), "Operador desativado.");
    // A wrong password still gets the usual answer: the state is told only
    // to whoever knows the password.
    EXPECT_EQ(b.Enter("0001", "errada").error().message(), "Operador ou senha inválidos.");
    EXPECT_NE(RunServer({"operator", "disable", "--db", url, "--code", "0001"}).out.find("already disabled"),
              std::string::npos);
    EXPECT_EQ(RunServer({"operator", "disable", "--db", url, "--code", "0999"}).code, 2);

    // Enabled again: a new login works; the sessions the disabling ended stay ended.
    ASSERT_EQ(RunServer({"operator", "enable", "--db", url, "--code", "0001"}).code, 0);
    EXPECT_EQ(a.Probe(ana).error_message(), "Sessão inválida ou encerrada.");
    EXPECT_TRUE(b.Probe(b.Token("0001")).ok());
}

TEST_P(AccessTest, LoginsAndAdministrativeChangesAreLogged)
{
    Server s;
    ASSERT_TRUE(s.Start(db_->url()));
    s.Token("0002");
    s.Enter("0001", "errada");
    s.Enter("nobody", "x");
    for (const char* text : {"login: operator 0002 branch 0001 from 127.0.0.1",
                             "login failed: operator \"0001\" from 127.0.0.1: wrong password",
                             "login failed: operator \"nobody\" from 127.0.0.1: unknown operator"}) {
        const std::string line = s.LogLine(text);
        ASSERT_FALSE(line.empty()) << text;
        EXPECT_TRUE(std::regex_match(line, kStamped)) << line;
    }

    const std::string url = db_->url();
    const std::vector<std::pair<std::vector<std::string>, std::string>> changes = {
        {{"add", "--code", "0100", "--name", "Renata Dias", "--branch", "0002"},
         "admin: operator 0100 added, branch 0002 (by "},
        {{"passwd", "--code", "0100"}, "admin: password of operator 0100 changed (by "},
        {{"grant", "--code", "0100", "--branch", "0002", "--group", "07"},
         "admin: operator 0100 granted release group 07 of branch 0002 (by "},
        {{"revoke", "--code", "0100", "--branch", "0002"},
         "admin: operator 0100 revoked from every release group of branch 0002: 1 membership(s) (by "},
        {{"disable", "--code", "0100"}, "admin: operator 0100 disabled (by "},
        {{"enable", "--code", "0100"}, "admin: operator 0100 enabled (by "},
    };
    for (const auto& [args, logged] : changes) {
        std::vector<std::string> cmd{"operator"};
        cmd.insert(cmd.end(), args.begin(), args.end());
        cmd.insert(cmd.begin() + 2, {"--db", url});
        auto r = RunServer(cmd, "segredo\n");
        EXPECT_EQ(r.code, 0) << r.out;
        const auto at = r.out.find(logged);
        ASSERT_NE(at, std::string::npos) << r.out;
        const std::string line =
            r.out.substr(r.out.rfind('\n', at) + 1, r.out.find('\n', at) - r.out.rfind('\n', at) - 1);
        EXPECT_TRUE(std::regex_match(line, kStamped)) << line;
        EXPECT_NE(line.find("@"), std::string::npos) << line; // user@host
        EXPECT_EQ(line.find("segredo"), std::string::npos);
    }
    // A refused change is not logged as made.
    auto refused = RunServer({"operator", "grant", "--db", url, "--code", "0999", "--branch", "0002", "--group", "07"});
    EXPECT_EQ(refused.code, 2);
    EXPECT_EQ(refused.out.find("admin:"), std::string::npos) << refused.out;
}

TEST_P(AccessTest, RepeatedFailedLoginsAreSlowedDown)
{
    Server s;
    ASSERT_TRUE(s.Start(db_->url()));
    // Five failures from one address, for codes that do not even exist.
    for (const char* op : {"x1", "x2", "x3", "x4", "x5"})
        EXPECT_EQ(s.Enter(op, "demo").error().message(), "Operador ou senha inválidos.");
    // Then every attempt from there waits, even with the right password of
    // an operator that never failed.
    EXPECT_EQ(s.Enter("0002", "demo").error().message(),
              "Muitas tentativas de entrada sem sucesso. Aguarde 1 segundo e tente novamente.");
    EXPECT_FALSE(s.LogLine("login delayed: operator \"0002\" from 127.0.0.1").empty());
    std::this_thread::sleep_for(std::chrono::milliseconds(1'100));
    // A further failure doubles the wait.
    EXPECT_EQ(s.Enter("0002", "errada").error().message(), "Operador ou senha inválidos.");
    EXPECT_EQ(s.Enter("0002", "demo").error().message(),
              "Muitas tentativas de entrada sem sucesso. Aguarde 2 segundos e tente novamente.");
    std::this_thread::sleep_for(std::chrono::milliseconds(2'100));
    // After the wait the right password works.
    EXPECT_TRUE(s.Enter("0002", "demo").has_session());
}

// The rules themselves, over the real database, with addresses a test's
// loopback connection cannot have.
TEST_P(AccessTest, FailuresCountPerOperatorAndPerAddressAndAgeOut)
{
    Database db(db_->url(), 2);
    AccessPolicy policy;
    policy.longestWait = std::chrono::seconds(4);
    Sessions sessions(db, policy);
    auto message = [&](const std::string& op, const std::string& pw, const std::string& address) {
        auto r = sessions.Login(op, pw, "", address);
        auto* e = std::get_if<ServiceError>(&r);
        return e ? e->message : std::string("ok");
    };
    const std::string slowed = "Muitas tentativas de entrada sem sucesso. Aguarde ";

    // One operator guessed at from five addresses: a sixth address waits too.
    for (int i = 1; i <= 5; ++i)
        EXPECT_EQ(message("0001", "errada", "10.0.0." + std::to_string(i)), "Operador ou senha inválidos.");
    EXPECT_EQ(message("0001", "demo", "10.0.0.9").rfind(slowed, 0), 0u);
    EXPECT_EQ(message("0002", "demo", "10.0.0.9"), "ok"); // others are not held up

    // The wait grows but stays capped: after fifteen failures a second ago,
    // what is left of the cap (four seconds here), not of 2^10 seconds.
    db.acquire()->exec("DELETE FROM FALHALOGIN");
    for (int i = 0; i < 15; ++i) {
        const DbValue p[] = {Text("0001"), Text("10.0.1.1"), Int(Now() - 1'000)};
        db.acquire()->exec("INSERT INTO FALHALOGIN (CDOPERADOR, DSENDERECO, DTFALHA) VALUES (?, ?, ?)", p);
    }
    EXPECT_EQ(message("0001", "demo", "10.0.0.9"), slowed + "3 segundos e tente novamente.");

    // Failures older than the window no longer count: nobody is locked out for good.
    const DbValue old[] = {Int(Now() - 11 * 60'000)};
    db.acquire()->exec("UPDATE FALHALOGIN SET DTFALHA = ?", old);
    EXPECT_EQ(message("0001", "demo", "10.0.0.9"), "ok");
    // Five failures of one operator from one address hold up that operator
    // from anywhere and anyone from that address.
    for (int i = 0; i < 5; ++i)
        message("0009", "errada", "10.0.2.1");
    EXPECT_EQ(message("0009", "demo", "10.0.2.2").rfind(slowed, 0), 0u);
    EXPECT_EQ(message("0001", "demo", "10.0.2.1").rfind(slowed, 0), 0u);
}

// A database as the previous version of the server left it, with its rows
// and an open session, is upgraded in place once by init; a server refuses a
// schema newer than it knows.
TEST_P(AccessTest, UpgradeKeepsEveryRowAndNewerSchemasAreRefused)
{
    auto fresh = std::make_unique<TestDatabase>(GetParam());
    const std::string url = fresh->url();
    LoadFixture(url, 2);
    auto c = OpenConnection(url);
    ASSERT_EQ(SchemaVersion(*c), 2);
    // A session opened before the upgrade (no last-call stamp yet).
    const DbValue ps[] = {Int(Now() - 60'000)};
    c->exec("INSERT INTO SESSAO (DSTOKEN, CDOPERADOR, CDFILIAL, DTINICIO) VALUES ('old', '0001', '0001', ?)", ps);

    auto tables = [&]() {
        DbRows t = c->dialect() == Dialect::Sqlite
                       ? c->query("SELECT name FROM sqlite_master WHERE type = 'table' AND name NOT LIKE 'sqlite_%' "
                                  "AND name <> 'ZEL_VERSAO' ORDER BY name")
                       : c->query("SELECT upper(table_name) FROM information_schema.tables WHERE table_schema = "
                                  "current_schema() AND table_name <> 'zel_versao' ORDER BY 1");
        std::map<std::string, std::int64_t> counts;
        for (std::size_t i = 0; i < t.size(); ++i)
            counts[t.text(i, 0)] = c->query("SELECT COUNT(*) FROM " + t.text(i, 0)).i64(0, 0);
        return counts;
    };
    const auto before = tables();
    ASSERT_GT(before.at("INCONSPED"), 0);
    const std::string operators = "SELECT CDOPERADOR, NMOPERADOR, CDFILIAL, IDMODUFILI, DSSENHA FROM OPERADOR "
                                  "ORDER BY CDOPERADOR";
    auto rowsOf = [&](const std::string& sql) {
        DbRows r = c->query(sql);
        std::vector<std::string> out;
        for (std::size_t i = 0; i < r.size(); ++i)
            for (int j = 0; j < r.columns(); ++j)
                out.push_back(r.isNull(i, j) ? "<null>" : r.text(i, j));
        return out;
    };
    const auto operatorsBefore = rowsOf(operators);

    auto init = RunServer({"init", "--db", url});
    EXPECT_EQ(init.code, 0);
    EXPECT_EQ(init.out, "schema at version 3 (1 step(s) applied)\n");
    EXPECT_EQ(RunServer({"init", "--db", url}).out, "schema at version 3 (0 step(s) applied)\n");
    auto after = tables();
    EXPECT_EQ(after.at("FALHALOGIN"), 0);
    after.erase("FALHALOGIN");
    EXPECT_EQ(after, before);
    EXPECT_EQ(rowsOf(operators), operatorsBefore);
    EXPECT_EQ(rowsOf("SELECT DISTINCT IDATIVO FROM OPERADOR"), std::vector<std::string>{"S"});

    // The upgraded database serves: the old passwords log in.
    {
        Server s;
        ASSERT_TRUE(s.Start(url));
        EXPECT_TRUE(s.Probe(s.Token("0001")).ok());
    }

    // A later version's schema: neither serve nor init touch it.
    c->exec("INSERT INTO ZEL_VERSAO (NRVERSAO) VALUES (4)");
    const std::string newer = "the database schema is at version 4, newer than the 3 this zel-server knows";
    auto serve = RunServer({"serve", "--db", url, "--listen", "127.0.0.1:0"});
    EXPECT_EQ(serve.code, 1);
    EXPECT_NE(serve.out.find(newer), std::string::npos) << serve.out;
    auto reinit = RunServer({"init", "--db", url});
    EXPECT_EQ(reinit.code, 1);
    EXPECT_NE(reinit.out.find(newer), std::string::npos) << reinit.out;
    EXPECT_EQ(SchemaVersion(*c), 4);
    c.reset();
}

ZEL_INSTANTIATE(AccessTest);

} // namespace
} // namespace zel::server::test
