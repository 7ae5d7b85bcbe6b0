// The supervisors' service against a zel-server process, each figure beside
// its floor measured in the same run:
//   - the first page of a month's release history of a branch (GetHistorico,
//     1 000 rows and the 5 000 of the cap) over a database holding a million
//     history rows, beside the page's bare SQL run directly (every row read);
//     target: under 300 ms;
//   - a batch release of N rows (LiberaLote) beside as many rows of the same
//     shape released one by one through the review screen's send (SetIncPed,
//     one row per call, one call after the other); target: at least 5x the
//     rows per second.
//
//   zel-bench-supervisor              1 000 000 orders and 1 000 000 history rows,
//                                     a batch of 10 000, on SQLite and on
//                                     PostgreSQL when --pg or ZEL_TEST_PG_URL names one
//   zel-bench-supervisor --smoke      a small database, a batch of 500 (CI)
//   options: --orders N  --history N  --rows N  --runs R  --sqlite FILE (reused when
//            already built)  --pg URL (a schema zel_bench_sup_N is made and reused)
//            --no-pg  --no-sqlite

#include "bench/ChildServer.h"
#include "proto/login.grpc.pb.h"
#include "proto/rdmIncPed.grpc.pb.h"
#include "proto/zel08200.grpc.pb.h"
#include "server/Db.h"
#include "server/IncPed.h"
#include "server/Packets.h"
#include "server/Schema.h"
#include "server/Seed.h"
#include "server/Supervisao.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <grpcpp/grpcpp.h>
#include <unistd.h>
#include <vector>

using namespace zel::server;
using Clock = std::chrono::steady_clock;

namespace {

struct Config {
    bool smoke = false;
    long orders = 1'000'000;
    long history = 1'000'000;
    int rows = 10'000;
    int runs = 7;
    std::string sqlitePath, pgUrl;
    bool sqlite = true, pg = true;
};

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "zel-bench-supervisor: %s\n", what.c_str());
    std::exit(1);
}

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

const QDate kToday(2026, 3, 31);
constexpr int kBranches = 3;
// Orders of the batches: numbers above the seeded ones, in branch 0001.
constexpr long kBatchOrders = 9'000'000'000;

std::string orderNo(long n)
{
    char b[16];
    std::snprintf(b, sizeof b, "%010ld", n);
    return b;
}

// The seeded orders, then history rows up to `history` in all, spread over
// the year up to kToday across the seeded inconsistencies (one inconsistency
// may have been released, reopened and released again), by three operators.
void ensureBuilt(const std::string& url, const Config& cfg)
{
    auto c = OpenConnection(url);
    Migrate(*c);
    if (c->query("SELECT COUNT(*) FROM PEDIDO").i64(0, 0) == 0) {
        SeedOptions o;
        o.branches = kBranches;
        o.orders = int(cfg.orders);
        o.seed = 42;
        o.today = kToday;
        const auto t0 = Clock::now();
        auto st = Seed(*c, o);
        std::printf("  seeded %ld orders, %ld inconsistencies in %.1f s\n", st.orders, st.inconsistencies,
                    ms(Clock::now() - t0) / 1000);
    }
    const long have = c->query("SELECT COUNT(*) FROM HISTLIBINC").i64(0, 0);
    if (have < cfg.history) {
        const auto t0 = Clock::now();
        DbRows keys = c->query("SELECT CDFILIAL, NRPEDIDO, NRINCONSPED FROM INCONSPED ORDER BY CDFILIAL, NRPEDIDO");
        if (keys.empty()) fail("no inconsistencies to give a history");
        const std::int64_t end = zel::TDateTime::fromDate(kToday).msecs();
        const std::int64_t span = 365 * zel::TDateTime::kMsPerDay;
        const long add = cfg.history - have;
        const char* ops[] = {"0001", "0002", "0010"};
        long i = 0;
        Transaction tx(*c, true);
        c->bulkInsert(
            "HISTLIBINC",
            {"CDFILIAL", "NRPEDIDO", "NRINCONSPED", "CDOPERLIBE", "DTLIBEINCONS", "DTREGISTRO", "TXOBSLIBINCO"},
            [&](std::vector<DbValue>& row) {
                if (i == add) return false;
                const std::size_t k = std::size_t(i * 7919) % keys.size(); // every day, every branch
                const std::int64_t at = end - span + (span / add) * i;
                row = {keys.at(k, 0),
                       keys.at(k, 1),
                       keys.at(k, 2),
                       Text(ops[i % 3]),
                       Int(at),
                       Int(at),
                       Text("Liberado em lote.")};
                ++i;
                return true;
            });
        tx.commit();
        c->script(c->dialect() == Dialect::Sqlite ? "ANALYZE" : "ANALYZE HISTLIBINC");
        std::printf("  added %ld history rows in %.1f s\n", add, ms(Clock::now() - t0) / 1000);
    }
}

// `rows` fresh pending inconsistencies (two per order) in branch 0001, on
// orders numbered from the returned one on.
long addPending(DbConn& c, int rows)
{
    Transaction tx(c, true);
    const DbValue from[] = {Text(orderNo(kBatchOrders))};
    DbRows last = c.query("SELECT MAX(NRPEDIDO) FROM PEDIDO WHERE CDFILIAL = '0001' AND NRPEDIDO >= ?", from);
    const long base = last.isNull(0, 0) ? kBatchOrders : std::stol(last.text(0, 0)) + 1;
    for (const char* table : {"PEDIDO", "INCONSPED"}) {
        long at = 0;
        const long n = std::string(table) == "PEDIDO" ? (rows + 1) / 2 : rows;
        if (std::string(table) == "PEDIDO")
            c.bulkInsert(
                table, {"CDFILIAL", "NRPEDIDO", "IDSITPEDIDO", "CDCLIENTE", "CDVENDEDOR", "DTPEDIDO", "DTENTPED"},
                [&](std::vector<DbValue>& row) {
                    if (at == n) return false;
                    const std::int64_t day = zel::TDateTime::fromDate(kToday).msecs();
                    row = {Text("0001"), Text(orderNo(base + at)), Text("1"), Text("000001"), DbValue(), Int(day),
                           Int(day)};
                    ++at;
                    return true;
                });
        else
            c.bulkInsert(table, {"CDFILIAL", "NRPEDIDO", "NRINCONSPED", "CDCONSPEDIDO", "ATIVA"},
                         [&](std::vector<DbValue>& row) {
                             if (at == n) return false;
                             row = {Text("0001"), Text(orderNo(base + at / 2)), Text(at % 2 ? "002" : "001"),
                                    Text("001"), Text("N")};
                             ++at;
                             return true;
                         });
    }
    tx.commit();
    return base;
}

std::string login(const std::shared_ptr<grpc::Channel>& ch)
{
    auto stub = zel::login::Login::NewStub(ch);
    grpc::ClientContext ctx;
    zel::login::LoginRequest rq;
    rq.set_operador("0010");
    rq.set_senha("demo");
    zel::login::LoginReply out;
    if (!stub->Entrar(&ctx, rq, &out).ok() || !out.has_session()) fail("login failed: " + out.error().message());
    return out.session().token();
}

void runOne(const char* name, const std::string& url, const Config& cfg, const std::string& bin)
{
    std::printf("\n%s\n", name);
    ensureBuilt(url, cfg);
    auto db = OpenConnection(url);
    zel::bench::ChildServer server = zel::bench::StartServer(bin, url);
    grpc::ChannelArguments args;
    args.SetMaxReceiveMessageSize(64 << 20);
    auto ch = grpc::CreateCustomChannel(server.address, grpc::InsecureChannelCredentials(), args);
    const std::string token = login(ch);
    auto sup = Zel08200::rdmSupervisao::NewStub(ch);
    auto inc = Zel08100::rdmIncPed::NewStub(ch);

    // The first page of the last month's history of branch 0001.
    const std::int64_t today = zel::TDateTime::fromDate(kToday).msecs();
    for (std::uint32_t limit : {1000u, 5000u}) {
        Zel08200::GetHistoricoRequest rq;
        rq.set_cd_filial("0001");
        rq.set_dt_de(today - 29 * zel::TDateTime::kMsPerDay);
        rq.set_dt_ate(today);
        rq.set_limite(limit);
        const HistoricoQuery q = std::get<HistoricoQuery>(MakeHistoricoQuery(rq));
        std::vector<double> call, floor;
        std::uint32_t rows = 0;
        for (int r = 0; r < cfg.runs; ++r) {
            auto t0 = Clock::now();
            grpc::ClientContext ctx;
            ctx.AddMetadata("zel-session", token);
            Zel08200::GetHistoricoReply out;
            if (!sup->GetHistorico(&ctx, rq, &out).ok() || !out.result().has_data())
                fail("GetHistorico: " + out.result().error().message());
            call.push_back(ms(Clock::now() - t0));
            rows = out.result().data().row_count();
            t0 = Clock::now();
            long n = 0;
            db->each(q.sql, q.params, [&](std::span<const DbValue>) { ++n; });
            floor.push_back(ms(Clock::now() - t0));
        }
        std::printf("  history, first page of a month (%u rows): %.1f ms, floor (its SQL) %.1f ms, ratio %.2f; "
                    "target < 300 ms: %s\n",
                    rows, median(call), median(floor), median(call) / median(floor),
                    median(call) < 300 ? "met" : "NOT met");
    }

    // A batch beside the sends one by one, on fresh rows of the same shape.
    // Three sets of rows of the same shape: the batch's, the sends', and the
    // floor's.
    const long base = addPending(*db, cfg.rows);
    const long ones = addPending(*db, cfg.rows);
    const long bare = addPending(*db, cfg.rows);
    Zel08200::LiberaLoteRequest batch;
    batch.set_cd_filial("0001");
    batch.set_tx_obs("Falso alarme.");
    for (int i = 0; i < cfg.rows; ++i) {
        auto* it = batch.add_itens();
        it->set_nr_pedido(orderNo(base + i / 2));
        it->set_nr_incons_ped(i % 2 ? "002" : "001");
        it->set_ativa("N");
    }
    auto t0 = Clock::now();
    {
        grpc::ClientContext ctx;
        ctx.AddMetadata("zel-session", token);
        auto reader = sup->LiberaLote(&ctx, batch);
        Zel08200::LiberaLoteReply r;
        int released = 0;
        while (reader->Read(&r)) {
            if (r.has_error()) fail("LiberaLote: " + r.error().message());
            for (const auto& o : r.outcomes())
                released += o.situacao() == Zel08200::LoteOutcome::LIBERADA;
        }
        if (!reader->Finish().ok() || released != cfg.rows) fail("LiberaLote did not release every row");
    }
    const double batchMs = ms(Clock::now() - t0);

    // The same number of rows, each the screen's send of one release.
    zel::data::ChangePacket delta;
    for (const char* f : {"CDFILIAL", "NRPEDIDO", "NRINCONSPED", "ATIVA", "TXOBSLIBINCO", "DTLIBEINCONS", "CDOPERLIBE"})
        for (const FieldSpec& s : Packets::IncPed)
            if (std::string(s.name) == f) {
                auto* fd = delta.add_fields();
                fd->set_name(s.name);
                fd->set_kind(s.kind);
                fd->set_size(s.size);
            }
    auto* row = delta.add_rows();
    row->set_kind(zel::data::CHANGE_MODIFY);
    for (int i = 0; i < 7; ++i)
        row->mutable_original()->add_values();
    row->mutable_original()->mutable_values(0)->set_text("0001");
    row->mutable_original()->mutable_values(3)->set_text("N");
    auto* dt = row->add_changes();
    dt->set_field(5);
    auto* op = row->add_changes();
    op->set_field(6);
    op->mutable_value()->set_text("0010");
    t0 = Clock::now();
    for (int i = 0; i < cfg.rows; ++i) {
        row->mutable_original()->mutable_values(1)->set_text(orderNo(ones + i / 2));
        row->mutable_original()->mutable_values(2)->set_text(i % 2 ? "002" : "001");
        dt->mutable_value()->set_datetime_ms(zel::TDateTime::Now().msecs());
        Zel08100::SetRequest rq;
        *rq.mutable_delta() = delta;
        grpc::ClientContext ctx;
        ctx.AddMetadata("zel-session", token);
        zel::data::Result out;
        if (!inc->SetIncPed(&ctx, rq, &out).ok() || out.has_error()) fail("SetIncPed: " + out.error().message());
    }
    const double oneMs = ms(Clock::now() - t0);
    // The batch's floor: the same statement and history, one transaction per
    // row, run directly on the database.
    t0 = Clock::now();
    for (int i = 0; i < cfg.rows; ++i) {
        const std::int64_t now = zel::TDateTime::Now().msecs();
        const DbValue p[] = {Int(0),
                             DbValue(),
                             Int(1),
                             Text("Falso alarme."),
                             Int(1),
                             Int(now),
                             Int(1),
                             Text("0010"),
                             Text("0001"),
                             Text(orderNo(bare + i / 2)),
                             Text(i % 2 ? "002" : "001"),
                             Text("N"),
                             Text(""),
                             DbValue(),
                             Int(1),
                             Text("0010")};
        if (ChangeOneIncPed(*db, p, now) != 1) fail("the floor's release did not take");
    }
    const double floorMs = ms(Clock::now() - t0);
    std::printf("  batch release of %d rows: %.0f ms, %.0f rows/s (floor, its statements one row per transaction "
                "run directly: %.0f ms, ratio %.2f)\n"
                "  one by one through SetIncPed: %.0f ms, %.0f rows/s; the batch %.1fx the rows per second; "
                "target >= 5x: %s\n",
                cfg.rows, batchMs, cfg.rows / batchMs * 1000, floorMs, batchMs / floorMs, oneMs,
                cfg.rows / oneMs * 1000, oneMs / batchMs, oneMs / batchMs >= 5 ? "met" : "NOT met");
    zel::bench::StopServer(server);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser p;
    p.addHelpOption();
    const QCommandLineOption smoke(QStringLiteral("smoke"), QStringLiteral("A short run (CI)."));
    const QCommandLineOption orders(QStringLiteral("orders"), QStringLiteral("Orders seeded."), QStringLiteral("N"));
    const QCommandLineOption history(QStringLiteral("history"), QStringLiteral("History rows."), QStringLiteral("N"));
    const QCommandLineOption rows(QStringLiteral("rows"), QStringLiteral("Rows of the batch."), QStringLiteral("N"));
    const QCommandLineOption runs(QStringLiteral("runs"), QStringLiteral("Runs of each query."), QStringLiteral("R"));
    const QCommandLineOption sqlite(QStringLiteral("sqlite"), QStringLiteral("SQLite file."), QStringLiteral("FILE"));
    const QCommandLineOption pg(QStringLiteral("pg"), QStringLiteral("PostgreSQL URL."), QStringLiteral("URL"));
    const QCommandLineOption noPg(QStringLiteral("no-pg"), QStringLiteral("Skip PostgreSQL."));
    const QCommandLineOption noSqlite(QStringLiteral("no-sqlite"), QStringLiteral("Skip SQLite."));
    p.addOptions({smoke, orders, history, rows, runs, sqlite, pg, noPg, noSqlite});
    p.process(app);
    Config cfg;
    cfg.smoke = p.isSet(smoke);
    if (cfg.smoke) {
        cfg.orders = 2000;
        cfg.history = 20'000;
        cfg.rows = 500;
        cfg.runs = 3;
    }
    if (p.isSet(orders)) cfg.orders = p.value(orders).toLong();
    if (p.isSet(history)) cfg.history = p.value(history).toLong();
    if (p.isSet(rows)) cfg.rows = p.value(rows).toInt();
    if (p.isSet(runs)) cfg.runs = p.value(runs).toInt();
    if (cfg.orders <= 0 || cfg.history < 0 || cfg.rows <= 0 || cfg.rows > Supervisao::kMaxBatch || cfg.runs <= 0)
        fail("--orders, --rows (at most 10000) and --runs must be positive");
    cfg.sqlitePath = p.value(sqlite).toStdString();
    cfg.pgUrl = p.value(pg).toStdString();
    cfg.sqlite = !p.isSet(noSqlite);
    cfg.pg = !p.isSet(noPg);
    if (cfg.pgUrl.empty() && std::getenv("ZEL_TEST_PG_URL")) cfg.pgUrl = std::getenv("ZEL_TEST_PG_URL");
    const std::string bin = zel::bench::DefaultServerBin();

    std::string tmpDir;
    if (cfg.sqlitePath.empty()) {
        if (cfg.smoke) {
            tmpDir =
                (std::filesystem::temp_directory_path() / ("zel-bench-sup-" + std::to_string(::getpid()))).string();
            std::filesystem::create_directories(tmpDir);
            cfg.sqlitePath = tmpDir + "/bench.db";
        } else {
            cfg.sqlitePath = (std::filesystem::temp_directory_path() / ("zel-bench-sup-" + std::to_string(cfg.orders) +
                                                                        "-" + std::to_string(cfg.history) + ".db"))
                                 .string();
        }
    }
    std::printf("zel-bench-supervisor%s: %ld orders, %ld history rows, batches of %d, medians of %d runs\n",
                cfg.smoke ? " (smoke run)" : "", cfg.orders, cfg.history, cfg.rows, cfg.runs);
    if (cfg.sqlite) runOne("SQLite", "sqlite:" + cfg.sqlitePath, cfg, bin);
    if (cfg.pg && !cfg.pgUrl.empty()) {
        const std::string schema = cfg.smoke ? "zel_bench_sup_smoke_" + std::to_string(::getpid())
                                             : "zel_bench_sup_" + std::to_string(cfg.orders);
        OpenPostgres(cfg.pgUrl)->script("CREATE SCHEMA IF NOT EXISTS " + schema);
        const std::string url =
            cfg.pgUrl + (cfg.pgUrl.find('?') == std::string::npos ? "?" : "&") + "options=-csearch_path%3D" + schema;
        runOne("PostgreSQL", url, cfg, bin);
        if (cfg.smoke) OpenPostgres(cfg.pgUrl)->script("DROP SCHEMA " + schema + " CASCADE");
    } else {
        std::printf("\n(PostgreSQL skipped: give --pg URL or set ZEL_TEST_PG_URL)\n");
    }
    if (!tmpDir.empty()) std::filesystem::remove_all(tmpDir);
    return 0;
}
