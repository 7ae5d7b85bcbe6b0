// Application server benchmark: latency of each method of "Zel08100.rdmIncPed"
// (p50, p99) and calls per second with 1, 8 and 64 concurrent clients, on
// SQLite and on PostgreSQL, over a real gRPC channel to the server running in
// this process. Beside every figure it prints the floor measured in the same
// run: an empty gRPC call on the same channel (a logout without a token: no
// database work) and the method's own SQL run directly against the database.
//
//   zel-bench-server                      1 000 000 orders on SQLite, and on
//                                         PostgreSQL when --pg or ZEL_TEST_PG_URL
//                                         names one
//   zel-bench-server --smoke              a small database, a second or two (CI)
//   options: --orders N  --sqlite FILE (reused when already seeded)
//            --pg URL (a schema zel_bench_N is created and reused)  --no-pg  --no-sqlite

#include "platform/data/Packet.h"
#include "proto/login.grpc.pb.h"
#include "proto/rdmIncPed.grpc.pb.h"
#include "server/AppServer.h"
#include "server/Db.h"
#include "server/IncPed.h"
#include "server/Packets.h"
#include "server/Schema.h"
#include "server/Seed.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <grpcpp/grpcpp.h>
#include <random>
#include <string>
#include <thread>
#include <vector>

using namespace zel::server;
using Clock = std::chrono::steady_clock;

namespace {

struct Config {
    bool smoke = false;
    long orders = 1'000'000;
    std::string sqlitePath;
    std::string pgUrl;
    bool pg = true;
    bool sqlite = true;
};

const QDate kToday(2026, 6, 30);
const QDate kOneDay(2026, 6, 15);

struct Stats {
    double p50 = 0, p99 = 0;
};

Stats stats(std::vector<double> us)
{
    if (us.empty()) return {};
    std::sort(us.begin(), us.end());
    auto at = [&](double q) { return us[std::min(us.size() - 1, std::size_t(q * double(us.size())))]; };
    return {at(0.50), at(0.99)};
}

template <class F> Stats measure(int n, F&& f)
{
    std::vector<double> us;
    us.reserve(std::size_t(n));
    for (int i = 0; i < n; ++i) {
        const auto t0 = Clock::now();
        f(i);
        us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    return stats(std::move(us));
}

// Calls per second of `call` run by `threads` clients for `seconds`.
double throughput(int threads, double seconds, const std::function<void(int thread, long i)>& call)
{
    std::atomic<bool> stop{false};
    std::atomic<long> total{0};
    std::vector<std::thread> ts;
    const auto t0 = Clock::now();
    for (int t = 0; t < threads; ++t)
        ts.emplace_back([&, t] {
            long n = 0;
            while (!stop.load(std::memory_order_relaxed))
                call(t, n++);
            total += n;
        });
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    stop = true;
    for (auto& th : ts)
        th.join();
    return double(total) / std::chrono::duration<double>(Clock::now() - t0).count();
}

zel::data::Value cell(const zel::data::DataPacket& p, int row, int col)
{
    zel::PacketReader r(p);
    return zel::ToWire(r.value(row, col), zel::FromWireKind(p.fields(col).kind()));
}

zel::data::ChangePacket modify(const zel::data::DataPacket& p, int row, int field, const zel::data::Value& v)
{
    zel::data::ChangePacket d;
    *d.mutable_fields() = p.fields();
    auto* rc = d.add_rows();
    rc->set_kind(zel::data::CHANGE_MODIFY);
    for (int c = 0; c < p.fields_size(); ++c)
        *rc->mutable_original()->add_values() = cell(p, row, c);
    auto* fc = rc->add_changes();
    fc->set_field(field);
    *fc->mutable_value() = v;
    return d;
}

void fail(const std::string& what)
{
    std::fprintf(stderr, "zel-bench-server: %s\n", what.c_str());
    std::exit(1);
}

void ensureSeeded(const std::string& url, long orders, int branches)
{
    auto c = OpenConnection(url);
    Migrate(*c);
    DbRows r = c->query("SELECT COUNT(*) FROM PEDIDO");
    if (r.i64(0, 0) == orders) return;
    if (r.i64(0, 0) != 0) fail("database " + url + " holds another data set; remove it or name another one");
    SeedOptions o;
    o.branches = branches;
    o.orders = int(orders);
    o.seed = 42;
    o.today = kToday;
    const auto t0 = Clock::now();
    auto st = Seed(*c, o);
    std::printf("  seeded %ld orders, %ld items, %ld inconsistencies in %.1f s\n", st.orders, st.items,
                st.inconsistencies, std::chrono::duration<double>(Clock::now() - t0).count());
}

void runOne(const char* title, const std::string& url, const Config& cfg)
{
    const int branches = cfg.smoke ? 2 : 10;
    std::printf("\n== %s, %ld orders in %d branches ==\n", title, cfg.orders, branches);
    std::fflush(stdout);
    ensureSeeded(url, cfg.orders, branches);

    AppServer server(url);
    ServeOptions so;
    so.listen = "127.0.0.1:0";
    const int port = server.Start(so);
    grpc::ChannelArguments args;
    args.SetMaxReceiveMessageSize(512 << 20);
    auto channel =
        grpc::CreateCustomChannel("127.0.0.1:" + std::to_string(port), grpc::InsecureChannelCredentials(), args);
    auto stub = Zel08100::rdmIncPed::NewStub(channel);
    auto login = zel::login::Login::NewStub(channel);

    std::string token;
    {
        grpc::ClientContext ctx;
        zel::login::LoginRequest rq;
        rq.set_operador("0001");
        rq.set_senha("demo");
        zel::login::LoginReply out;
        if (!login->Entrar(&ctx, rq, &out).ok() || !out.has_session()) fail("login failed");
        token = out.session().token();
    }
    auto call = [&](auto fn, const auto& rq) {
        grpc::ClientContext ctx;
        ctx.AddMetadata("zel-session", token);
        zel::data::Result out;
        grpc::Status st = ((*stub).*fn)(&ctx, rq, &out);
        if (!st.ok()) fail("call failed: " + st.error_message());
        if (out.has_error()) fail("error result: " + out.error().message());
        return out;
    };
    auto empty = [&] {
        grpc::ClientContext ctx;
        zel::login::LogoutRequest rq;
        zel::login::LogoutReply out;
        if (!login->Sair(&ctx, rq, &out).ok()) fail("empty call failed");
    };

    auto direct = OpenConnection(url);
    const bool pg = direct->dialect() == Dialect::Postgres;
    std::mt19937_64 rng(7);

    // Pending orders of branch 0001, their inconsistencies and items.
    Zel08100::GetNrPedidoRequest nrq;
    nrq.set_cd_filial("0001");
    const auto nrPacket = call(&Zel08100::rdmIncPed::Stub::GetNrPedido, nrq).data();
    std::vector<std::string> pending;
    {
        zel::PacketReader r(nrPacket);
        for (int i = 0; i < r.rowCount(); ++i)
            pending.push_back(r.text(i, "NRPEDIDO").toStdString());
    }
    if (pending.empty()) fail("no pending orders");
    DbRows items = direct->query(
        "SELECT NRPEDIDO, NRITEMPED FROM ITEMPEDIDO WHERE CDFILIAL = '0001' AND NRPEDIDO <= '0000002000'");
    auto pickOrder = [&] { return pending[rng() % pending.size()]; };

    const int n = cfg.smoke ? 60 : 2000;
    const int nHeavy = cfg.smoke ? 3 : 20;
    std::printf("  %-28s %9s %9s   %-32s %9s\n", "method", "p50 µs", "p99 µs", "floor p50 µs (empty + SQL)", "ratio");

    for (int i = 0; i < 200; ++i)
        empty();
    const Stats emptyStats = measure(n, [&](int) { empty(); });
    std::printf("  %-28s %9.0f %9.0f\n", "empty call", emptyStats.p50, emptyStats.p99);

    auto row = [&](const char* name, const Stats& s, const Stats& sql, const char* target) {
        const double floor = emptyStats.p50 + sql.p50;
        std::printf("  %-28s %9.0f %9.0f   %9.0f = %6.0f + %-8.0f     %6.2fx  %s\n", name, s.p50, s.p99, floor,
                    emptyStats.p50, sql.p50, s.p50 / floor, target);
    };

    // GetPedido: one day of one branch.
    {
        const std::int64_t day = zel::TDateTime::fromDate(kOneDay).msecs();
        Zel08100::GetPedidoRequest rq;
        rq.set_cd_filial("0001");
        rq.set_todos_pedidos("T");
        rq.mutable_dt_pedido_de()->set_ms(day);
        rq.mutable_dt_pedido_ate()->set_ms(day);
        rq.set_todas_dt_entrega("T");
        const int rows = int(call(&Zel08100::rdmIncPed::Stub::GetPedido, rq).data().row_count());
        const std::string sql =
            std::string(Sql::Pedido) + " AND P.DTPEDIDO >= ? AND P.DTPEDIDO < ? ORDER BY P.NRPEDIDO";
        const DbValue p[] = {Text("0001"), Int(day), Int(day + zel::TDateTime::kMsPerDay)};
        const Stats s = measure(n / 4, [&](int) { call(&Zel08100::rdmIncPed::Stub::GetPedido, rq); });
        const Stats q = measure(n / 4, [&](int) { direct->query(sql, p); });
        char name[64];
        std::snprintf(name, sizeof name, "GetPedido (1 day, %d rows)", rows);
        row(name, s, q, "target <= 1.5x; p50 < 20 ms");
    }
    // GetIncPed, GetItem, GetGrupOper: point reads.
    {
        std::vector<std::string> orders(static_cast<std::size_t>(n));
        for (auto& o : orders)
            o = pickOrder();
        const Stats s = measure(n, [&](int i) {
            Zel08100::GetIncPedRequest rq;
            rq.set_cd_filial("0001");
            rq.set_nr_pedido(orders[std::size_t(i)]);
            call(&Zel08100::rdmIncPed::Stub::GetIncPed, rq);
        });
        const Stats q = measure(n, [&](int i) {
            const DbValue p[] = {Text("0001"), Text(orders[std::size_t(i)])};
            direct->query(Sql::IncPed, p);
        });
        row("GetIncPed", s, q, "target <= 1.5x");
    }
    {
        const Stats s = measure(n, [&](int i) {
            const std::size_t k = std::size_t(i * 7919) % items.size();
            Zel08100::GetItemRequest rq;
            rq.set_cd_filial("0001");
            rq.set_nr_pedido(items.text(k, 0));
            rq.set_nr_item_ped(items.text(k, 1));
            rq.set_ativa("N");
            call(&Zel08100::rdmIncPed::Stub::GetItem, rq);
        });
        const Stats q = measure(n, [&](int i) {
            const std::size_t k = std::size_t(i * 7919) % items.size();
            const DbValue p[] = {Text("0001"), Text(items.text(k, 0)), Text(items.text(k, 1))};
            direct->query(Sql::Item, p);
        });
        row("GetItem", s, q, "target <= 1.5x");
    }
    {
        Zel08100::GetGrupOperRequest rq;
        rq.set_cd_filial("0001");
        rq.set_cd_operador("0001");
        const DbValue p[] = {Text("0001"), Text("0001")};
        const Stats s = measure(n, [&](int) { call(&Zel08100::rdmIncPed::Stub::GetGrupOper, rq); });
        const Stats q = measure(n, [&](int) { direct->query(Sql::GrupOper, p); });
        row("GetGrupOper", s, q, "target <= 1.5x");
    }
    {
        const DbValue p[] = {Text("0001")};
        const Stats s = measure(nHeavy, [&](int) { call(&Zel08100::rdmIncPed::Stub::GetNrPedido, nrq); });
        const Stats q = measure(nHeavy, [&](int) { direct->query(Sql::NrPedido, p); });
        char name[64];
        std::snprintf(name, sizeof name, "GetNrPedido (%zu rows)", pending.size());
        row(name, s, q, "target <= 1.5x");
    }
    // SetIncPed of one row (a note), and the same transaction run directly.
    {
        std::vector<zel::data::ChangePacket> deltas;
        for (int i = 0; i < n; ++i) {
            Zel08100::GetIncPedRequest rq;
            rq.set_cd_filial("0001");
            rq.set_nr_pedido(pending[std::size_t(i) % pending.size()]);
            auto p = call(&Zel08100::rdmIncPed::Stub::GetIncPed, rq).data();
            if (p.row_count() == 0) continue;
            zel::data::Value note;
            note.set_text("Nota de teste " + std::to_string(i));
            deltas.push_back(modify(p, 0, 11, note));
        }
        // Each order's first row once: later notes on the same row would be stale.
        std::size_t unique = std::min<std::size_t>(deltas.size(), pending.size());
        const Stats s = measure(int(unique), [&](int i) {
            Zel08100::SetRequest rq;
            *rq.mutable_delta() = deltas[std::size_t(i)];
            call(&Zel08100::rdmIncPed::Stub::SetIncPed, rq);
        });
        const std::string select = std::string(Sql::IncPedForUpdate) + direct->forUpdate();
        const Stats q = measure(int(unique), [&](int i) {
            const auto& orig = deltas[std::size_t(i)].rows(0).original();
            const DbValue key[] = {Text(orig.values(0).text()), Text(orig.values(1).text()),
                                   Text(orig.values(4).text())};
            Transaction tx(*direct, true);
            DbRows cur = direct->query(select, key);
            const DbValue upd[] = {Text(cur.text(0, 0)),
                                   Text("Nota direta " + std::to_string(i)),
                                   DbValue(),
                                   DbValue(),
                                   key[0],
                                   key[1],
                                   key[2]};
            direct->exec(Sql::IncPedUpdate, upd);
            tx.commit();
        });
        row("SetIncPed (1 row)", s, q, pg ? "target <= 1.5x" : "target <= 1.5x; p99 < 1 ms");
    }
    // SetItem of one row.
    {
        std::vector<zel::data::ChangePacket> deltas;
        const int m = std::min<int>(n, int(items.size()));
        for (int i = 0; i < m; ++i) {
            Zel08100::GetItemRequest rq;
            rq.set_cd_filial("0001");
            rq.set_nr_pedido(items.text(std::size_t(i), 0));
            rq.set_nr_item_ped(items.text(std::size_t(i), 1));
            auto p = call(&Zel08100::rdmIncPed::Stub::GetItem, rq).data();
            zel::data::Value sit;
            sit.set_text("2");
            deltas.push_back(modify(p, 0, 3, sit));
        }
        const Stats s = measure(m, [&](int i) {
            Zel08100::SetRequest rq;
            *rq.mutable_delta() = deltas[std::size_t(i)];
            call(&Zel08100::rdmIncPed::Stub::SetItem, rq);
        });
        const std::string select = std::string(Sql::ItemForUpdate) + direct->forUpdate();
        const Stats q = measure(m, [&](int i) {
            const DbValue key[] = {Text("0001"), Text(items.text(std::size_t(i), 0)),
                                   Text(items.text(std::size_t(i), 1))};
            Transaction tx(*direct, true);
            direct->query(select, key);
            const DbValue upd[] = {Text("3"), key[0], key[1], key[2]};
            direct->exec(Sql::ItemUpdate, upd);
            tx.commit();
        });
        row("SetItem (1 row)", s, q, "target <= 1.5x");
    }

    // Throughput with 1, 8 and 64 clients on the same channel.
    const double secs = cfg.smoke ? 0.2 : 3.0;
    std::printf("\n  %-28s %10s %10s %10s\n", "calls per second", "1 client", "8 clients", "64 clients");
    double emptyT[3], incT[3];
    const int counts[3] = {1, 8, 64};
    for (int k = 0; k < 3; ++k)
        emptyT[k] = throughput(counts[k], secs, [&](int, long) { empty(); });
    for (int k = 0; k < 3; ++k)
        incT[k] = throughput(counts[k], secs, [&](int t, long i) {
            Zel08100::GetIncPedRequest rq;
            rq.set_cd_filial("0001");
            rq.set_nr_pedido(pending[std::size_t(t * 104729 + i * 31) % pending.size()]);
            call(&Zel08100::rdmIncPed::Stub::GetIncPed, rq);
        });
    std::printf("  %-28s %10.0f %10.0f %10.0f\n", "empty call (floor)", emptyT[0], emptyT[1], emptyT[2]);
    std::printf("  %-28s %10.0f %10.0f %10.0f\n", "GetIncPed", incT[0], incT[1], incT[2]);
    std::printf("  %-28s %9.2fx %9.2fx %9.2fx  target at 64 >= 0.5x\n", "GetIncPed / empty call", incT[0] / emptyT[0],
                incT[1] / emptyT[1], incT[2] / emptyT[2]);
    std::fflush(stdout);
    server.Shutdown(std::chrono::seconds(1));
    server.Wait();
}

} // namespace

int run(int argc, char** argv);

int main(int argc, char** argv)
{
    try {
        return run(argc, argv);
    } catch (const std::exception& e) {
        fail(e.what());
    }
    return 1;
}

int run(int argc, char** argv)
{
    Config cfg;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto next = [&]() -> std::string {
            if (i + 1 >= argc) fail("missing value after " + a);
            return argv[++i];
        };
        if (a == "--smoke")
            cfg.smoke = true;
        else if (a == "--orders")
            cfg.orders = std::stol(next());
        else if (a == "--sqlite")
            cfg.sqlitePath = next();
        else if (a == "--pg")
            cfg.pgUrl = next();
        else if (a == "--no-pg")
            cfg.pg = false;
        else if (a == "--no-sqlite")
            cfg.sqlite = false;
        else
            fail("unknown option " + a + " (see the comment at the top of bench_server.cpp)");
    }
    if (cfg.smoke && cfg.orders == 1'000'000) cfg.orders = 2000;
    if (cfg.pgUrl.empty() && std::getenv("ZEL_TEST_PG_URL")) cfg.pgUrl = std::getenv("ZEL_TEST_PG_URL");

    std::string tmpDir;
    if (cfg.sqlitePath.empty()) {
        if (cfg.smoke) {
            tmpDir = (std::filesystem::temp_directory_path() / ("zel-bench-" + std::to_string(::getpid()))).string();
            std::filesystem::create_directories(tmpDir);
            cfg.sqlitePath = tmpDir + "/bench.db";
        } else {
            cfg.sqlitePath =
                (std::filesystem::temp_directory_path() / ("zel-bench-" + std::to_string(cfg.orders) + ".db")).string();
        }
    }
    std::printf(
        "zel-bench-server%s: latency of one call (µs) beside the empty call and the method's SQL run directly\n",
        cfg.smoke ? " (smoke run)" : "");
    if (cfg.sqlite) runOne("SQLite", "sqlite:" + cfg.sqlitePath, cfg);

    if (cfg.pg && !cfg.pgUrl.empty()) {
        const std::string schema =
            cfg.smoke ? "zel_bench_smoke_" + std::to_string(::getpid()) : "zel_bench_" + std::to_string(cfg.orders);
        {
            auto c = OpenPostgres(cfg.pgUrl);
            c->script("CREATE SCHEMA IF NOT EXISTS " + schema);
        }
        const std::string url =
            cfg.pgUrl + (cfg.pgUrl.find('?') == std::string::npos ? "?" : "&") + "options=-csearch_path%3D" + schema;
        runOne("PostgreSQL", url, cfg);
        if (cfg.smoke) OpenPostgres(cfg.pgUrl)->script("DROP SCHEMA " + schema + " CASCADE");
    } else {
        std::printf("\n(PostgreSQL skipped: give --pg URL or set ZEL_TEST_PG_URL)\n");
    }
    if (!tmpDir.empty()) std::filesystem::remove_all(tmpDir);
    return 0;
}
