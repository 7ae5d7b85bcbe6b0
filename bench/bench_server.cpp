// Application server benchmark: latency of each method of "Zel08100.rdmIncPed"
// (p50, p99) and calls per second with 1, 8 and 64 concurrent clients, on
// SQLite and on PostgreSQL, over a real gRPC channel to the server running in
// this process (or, with --server-process, in a zel-server process). Beside
// every figure it prints the floor measured in the same run: an empty gRPC
// call on the same channel (a logout without a token: no database work) and
// the method's own SQL run directly against the database (every row read; a
// write's statements in one transaction).
//
// A single run is no measurement on a shared machine, so the benchmark repeats
// its rounds; in each round the call, the empty call and the SQL are measured
// in interleaved blocks, so that all three see the same load. It prints the
// median over the rounds of each ratio and its spread (lowest–highest), and
// whether the median meets the target:
//   p50 of the call <= 1.5 x (p50 of the empty call + p50 of the SQL)
//   p99 of the call <= 3 x p99 of the empty call + p99 of the SQL
//   GetIncPed calls per second with 8 and 64 clients >= 0.7 x the combined
//   floor 1 / (1/empty + 1/sql), both measured with as many clients, the SQL
//   over a pool of as many connections as the server's.
// Under each method it also prints the SQL's p50 when every statement comes
// right after an empty call on the same thread, and the call's ratio to the
// empty call + that: how much of the gap is the statements running slower
// when other work runs between them, as it does in any server. It is shown
// beside the floor, not in it, and no target is read from it. First of all
// it prints what waking a thread costs on the machine, busy and idle (see
// wakeUpCost): where an idle CPU is slow to wake, calls pay for it and the
// floor's statements, run back to back, do not.
//
//   zel-bench-server                      1 000 000 orders on SQLite, and on
//                                         PostgreSQL when --pg or ZEL_TEST_PG_URL
//                                         names one
//   zel-bench-server --smoke              a small database, a few seconds (CI)
//   options: --rounds R (default 5; smoke 2)  --orders N  --sqlite FILE (reused
//            when already seeded)  --pg URL (a schema zel_bench_N is created and
//            reused)  --no-pg  --no-sqlite  --only METHOD[,METHOD...] (latency of
//            these only; "throughput" names the client counts part)
//            --server-process (zel-server runs as a process of its own, as it is
//            deployed, instead of in this process) --server-cpus LIST (that
//            process's CPUs: zel-server serve --cpus) --cpus LIST (every round
//            measures the latencies a second time with the clients and the
//            server held on those CPUs, printed beside the free figures: on
//            one CPU a wake-up costs a few µs, so the machine's wake-ups and
//            the server's work can be told apart)
//
// With --server-process it also prints, per method, the CPU time per call of
// the server process and of this process (the clients), from the kernel's
// accounting (clock_getcpuclockid, CLOCK_PROCESS_CPUTIME_ID), beside its
// floor's: the server's CPU per empty call + this thread's CPU per statement
// of the method's SQL run directly. Unlike the latencies, CPU time does not
// pay for waiting on the machine's wake-ups. Target: <= 1.3x. And the CPU of
// the client's parse of each answer (gRPC's deserialisation of the answer as
// received) beside a plain protobuf parse of the same bytes; target <= 1.5x.
// GetNrPedido's p99 is judged against its own p50 (<= 2x): its answer of
// 0.5 MB is built, sent and parsed in milliseconds, beyond any multiple of
// the empty call.

#include "bench/ChildServer.h"
#include "platform/data/Packet.h"
#include "proto/login.grpc.pb.h"
#include "proto/rdmIncPed.grpc.pb.h"
#include "server/AppServer.h"
#include "server/Db.h"
#include "server/IncPed.h"
#include "server/Packets.h"
#include "server/Schema.h"
#include "server/Seed.h"

#include <QCommandLineParser>
#include <QStringList>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <grpcpp/generic/generic_stub.h>
#include <grpcpp/grpcpp.h>
#include <linux/perf_event.h>
#include <map>
#include <optional>
#include <pthread.h>
#include <random>
#include <sched.h>
#include <set>
#include <string>
#include <sys/syscall.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

using namespace zel::server;
using Clock = std::chrono::steady_clock;

namespace {

struct Config {
    bool smoke = false;
    int rounds = 0;
    long orders = 1'000'000;
    std::string sqlitePath;
    std::string pgUrl;
    bool pg = true;
    bool sqlite = true;
    bool serverProcess = false;
    std::string serverCpus;
    std::string cpus; // a second pass of the latencies with everything on these
    std::set<std::string> only;
    bool wants(const std::string& part) const { return only.empty() || only.count(part); }
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

double micros(Clock::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

// What waking a thread costs on this machine: a thread blocked on a pipe,
// woken from another CPU, right after its CPU was busy (as in the floor's
// loop, where the database's process gets the next statement at once) and
// after its CPU idled for a millisecond (as between a call's statements,
// while gRPC carries the answer and the next request). Where the second is
// much dearer (a virtual machine whose host takes an idle CPU back), a call
// pays it where its floor does not. Returns the p50s in µs, or nothing when
// the process may run on one CPU only.
std::optional<std::pair<double, double>> wakeUpCost(int samples)
{
    cpu_set_t allowed;
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) return std::nullopt;
    std::vector<int> cpus;
    for (int c = 0; c < CPU_SETSIZE && cpus.size() < 2; ++c)
        if (CPU_ISSET(c, &allowed)) cpus.push_back(c);
    if (cpus.size() < 2) return std::nullopt;
    auto pin = [](int cpu) {
        cpu_set_t one;
        CPU_ZERO(&one);
        CPU_SET(cpu, &one);
        pthread_setaffinity_np(pthread_self(), sizeof one, &one);
    };
    int ping[2], pong[2];
    if (::pipe(ping) != 0) return std::nullopt;
    if (::pipe(pong) != 0) {
        ::close(ping[0]);
        ::close(ping[1]);
        return std::nullopt;
    }
    // The woken thread answers with how long after the send it woke.
    std::thread woken([&] {
        pin(cpus[1]);
        Clock::time_point sent;
        while (::read(ping[0], &sent, sizeof sent) == sizeof sent) {
            const double us = micros(Clock::now() - sent);
            if (::write(pong[1], &us, sizeof us) != sizeof us) break;
        }
    });
    pin(cpus[0]);
    auto measure = [&](std::chrono::microseconds idle) {
        std::vector<double> us;
        for (int i = 0; i < samples; ++i) {
            if (idle.count()) std::this_thread::sleep_for(idle);
            const auto sent = Clock::now();
            double took = 0;
            if (::write(ping[1], &sent, sizeof sent) != sizeof sent ||
                ::read(pong[0], &took, sizeof took) != sizeof took)
                break;
            us.push_back(took);
        }
        return stats(std::move(us)).p50;
    };
    const double busy = measure(std::chrono::microseconds(0));
    const double idle = measure(std::chrono::microseconds(1000));
    ::close(ping[1]); // ends the woken thread's loop
    woken.join();
    for (int fd : {ping[0], pong[0], pong[1]})
        ::close(fd);
    // The main thread goes back to every CPU it may use.
    pthread_setaffinity_np(pthread_self(), sizeof allowed, &allowed);
    return std::make_pair(busy, idle);
}

// The median of a few figures and their spread.
struct Spread {
    double median = 0, low = 0, high = 0;
};

Spread spread(std::vector<double> v)
{
    if (v.empty()) return {};
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    const double med = n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    return {med, v.front(), v.back()};
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

[[noreturn]] void fail(const std::string& what)
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

// The floor of a read: the statement run and every row read, nothing kept
// (the server streams the rows into the packet).
void readAll(DbConn& c, std::string_view sql, std::span<const DbValue> params)
{
    c.each(sql, params, [](std::span<const DbValue>) {});
}

// One method's figures of one round. `sqlAfterEmpty` is the same SQL timed
// alone, each statement right after an empty call on the same thread: what
// the statements cost when other work runs between them, as in a server.
// It is shown beside the floor, not in it.
// CPU time, read from the kernel's accounting of each process and thread (ns
// resolution): the server process's (by its clock id), this process's (the
// clients'), and the calling thread's (the floor's statements, which this
// thread runs). The machines this benchmark was written on have no hardware
// counters (perf_event_open's instruction counter is not supported in their
// virtual machines), so time on the CPU stands in for instructions.
struct CpuClocks {
    std::optional<clockid_t> server;
    static double read(clockid_t c)
    {
        timespec t{};
        clock_gettime(c, &t);
        return double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3;
    }
    double serverUs() const { return server ? read(*server) : 0; }
    static double clientUs() { return read(CLOCK_PROCESS_CPUTIME_ID); }
    static double threadUs() { return read(CLOCK_THREAD_CPUTIME_ID); }
};
// Set by runOne while the server is a process of its own: the blocks of
// interleaved() then also add up the CPU time they took.
const CpuClocks* cpuClocks = nullptr;

// Whether this machine's kernel counts instructions for us (where it does
// not, the CPU time above is the measure).
bool instructionCounterExists()
{
    perf_event_attr a{};
    a.type = PERF_TYPE_HARDWARE;
    a.size = sizeof a;
    a.config = PERF_COUNT_HW_INSTRUCTIONS;
    a.disabled = 1;
    a.exclude_kernel = 1;
    a.exclude_hv = 1;
    const long fd = syscall(SYS_perf_event_open, &a, 0, -1, -1, 0);
    if (fd < 0) return false;
    ::close(int(fd));
    return true;
}

// CPU per call, µs: the calls (server process and this process), the empty
// calls (same), the floor's statements (this thread).
struct Cost {
    double server = 0, client = 0, emptyServer = 0, emptyClient = 0, sql = 0;
    double floor() const { return emptyServer + sql; }
    double ratio() const { return server / floor(); }
};

struct Round {
    Stats call, empty, sql, sqlAfterEmpty;
    Cost cost;
    double ratio50() const { return call.p50 / (empty.p50 + sql.p50); }
    double ratio99() const { return call.p99 / (3 * empty.p99 + sql.p99); }
    double ratio50AfterEmpty() const { return call.p50 / (empty.p50 + sqlAfterEmpty.p50); }
    double tail() const { return call.p99 / call.p50; }
    double costRatio() const { return cost.ratio(); }
};

// Measures `call`, the empty call and `sql` in `blocks` interleaved blocks of
// `n` / `blocks` each, and `sql` once more with an empty call before each
// statement (`sql(i, true)`: a write needs other fresh rows for it).
// `prepare(k)` runs unmeasured before block k (writes need fresh rows).
Round interleaved(int n, int blocks, const std::function<void()>& empty, const std::function<void(int)>& call,
                  const std::function<void(int, bool afterEmpty)>& sql, const std::function<void(int)>& prepare = {})
{
    std::vector<double> c, e, s, w;
    const int per = std::max(1, n / blocks);
    Cost cost; // sums, then per call
    const CpuClocks* cpu = cpuClocks;
    int i = 0;
    for (int b = 0; b < blocks; ++b) {
        if (prepare) prepare(b);
        double server0 = cpu ? cpu->serverUs() : 0, client0 = CpuClocks::clientUs();
        for (int k = 0; k < per; ++k) {
            auto t0 = Clock::now();
            empty();
            e.push_back(micros(Clock::now() - t0));
        }
        if (cpu) {
            cost.emptyServer += cpu->serverUs() - server0;
            cost.emptyClient += CpuClocks::clientUs() - client0;
        }
        const double thread0 = CpuClocks::threadUs();
        for (int k = 0; k < per; ++k) {
            auto t0 = Clock::now();
            sql(i + k, false);
            s.push_back(micros(Clock::now() - t0));
        }
        cost.sql += CpuClocks::threadUs() - thread0;
        for (int k = 0; k < per; ++k) {
            empty();
            auto t0 = Clock::now();
            sql(i + k, true);
            w.push_back(micros(Clock::now() - t0));
        }
        server0 = cpu ? cpu->serverUs() : 0;
        client0 = CpuClocks::clientUs();
        for (int k = 0; k < per; ++k) {
            auto t0 = Clock::now();
            call(i + k);
            c.push_back(micros(Clock::now() - t0));
        }
        if (cpu) {
            cost.server += cpu->serverUs() - server0;
            cost.client += CpuClocks::clientUs() - client0;
        }
        i += per;
    }
    const double calls = double(per * blocks);
    for (double* v : {&cost.server, &cost.client, &cost.emptyServer, &cost.emptyClient, &cost.sql})
        *v /= calls;
    return {stats(std::move(c)), stats(std::move(e)), stats(std::move(s)), stats(std::move(w)), cost};
}

struct Throughput {
    double empty = 0, sql = 0, call = 0;
    double floor() const { return 1 / (1 / empty + 1 / sql); }
    double ratio() const { return call / floor(); }
};

// A list of CPUs as zel-server serve --cpus takes it ("0", "0,2", "1-3").
bool parseCpus(const std::string& list, cpu_set_t& set)
{
    CPU_ZERO(&set);
    std::size_t at = 0;
    bool any = false;
    while (at <= list.size()) {
        const std::size_t end = std::min(list.find(',', at), list.size());
        const std::string item = list.substr(at, end - at);
        const std::size_t dash = item.find('-');
        try {
            const int lo = std::stoi(item.substr(0, dash));
            const int hi = dash == std::string::npos ? lo : std::stoi(item.substr(dash + 1));
            if (lo < 0 || hi < lo || hi >= CPU_SETSIZE) return false;
            for (int c = lo; c <= hi; ++c)
                CPU_SET(c, &set);
            any = true;
        } catch (const std::exception&) {
            return false;
        }
        at = end + 1;
    }
    return any;
}

// Puts every thread of a process on the CPUs given (threads it starts later
// inherit them from the thread that starts them).
void setProcessCpus(pid_t pid, const cpu_set_t& set)
{
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/task", ec))
        sched_setaffinity(pid_t(std::stol(e.path().filename().string())), sizeof set, &set);
}

// The answer to a call as the client receives it, before it is parsed.
grpc::ByteBuffer rawAnswer(grpc::GenericStub& stub, const std::string& token, const std::string& method,
                           const google::protobuf::Message& rq)
{
    grpc::ClientContext ctx;
    ctx.AddMetadata("zel-session", token);
    const std::string bytes = rq.SerializeAsString();
    grpc::Slice slice(bytes);
    grpc::ByteBuffer request(&slice, 1);
    grpc::CompletionQueue cq;
    auto call = stub.PrepareUnaryCall(&ctx, "/Zel08100.rdmIncPed/" + method, request, &cq);
    call->StartCall();
    grpc::ByteBuffer out;
    grpc::Status st;
    call->Finish(&out, &st, nullptr);
    void* tag = nullptr;
    bool ok = false;
    if (!cq.Next(&tag, &ok) || !ok || !st.ok()) fail("raw call of " + method + " failed: " + st.error_message());
    cq.Shutdown();
    while (cq.Next(&tag, &ok)) {
    }
    return out;
}

// CPU per parse of an answer, ns: as the client's stub parses it (gRPC's
// deserialisation from the buffer as received, slice by slice) and a plain
// protobuf parse of the same bytes in one piece, each in batches of about
// `batchUs` of CPU, alternated.
std::pair<double, double> parseCost(const grpc::ByteBuffer& raw, double batchUs)
{
    grpc::ByteBuffer probe(raw);
    grpc::Slice flat;
    if (!probe.DumpToSingleSlice(&flat).ok()) fail("answer not readable");
    const std::string bytes(reinterpret_cast<const char*>(flat.begin()), flat.size());
    // The stub parses a buffer it received and frees it: the copies (of
    // the slices' references) are made before the clock runs.
    std::vector<grpc::ByteBuffer> received;
    auto viaGrpc = [&](int n) {
        received.assign(std::size_t(n), raw);
        const double t0 = CpuClocks::threadUs();
        for (auto& b : received) {
            zel::data::Result r;
            if (!grpc::SerializationTraits<zel::data::Result>::Deserialize(&b, &r).ok()) fail("answer not parsed");
        }
        return (CpuClocks::threadUs() - t0) * 1000 / n;
    };
    auto plain = [&](int n) {
        const double t0 = CpuClocks::threadUs();
        for (int i = 0; i < n; ++i) {
            zel::data::Result r;
            if (!r.ParseFromString(bytes)) fail("answer not parsed");
        }
        return (CpuClocks::threadUs() - t0) * 1000 / n;
    };
    const double one = std::max(0.05, plain(3) / 1000);
    const int n = std::clamp(int(batchUs / one), 1, 200'000);
    std::vector<double> g, p;
    for (int k = 0; k < 5; ++k) {
        g.push_back(viaGrpc(n));
        p.push_back(plain(n));
    }
    return {spread(g).median, spread(p).median};
}

void runOne(const char* title, const std::string& url, const Config& cfg)
{
    const int branches = cfg.smoke ? 2 : 10;
    std::printf("\n== %s, %ld orders in %d branches, %d rounds ==\n", title, cfg.orders, branches, cfg.rounds);
    std::fflush(stdout);
    ensureSeeded(url, cfg.orders, branches);

    // The benchmark's clients make many calls, as zel-load's do: the same
    // process-wide settings in either mode (in this process the server's
    // Start applies them as well).
    TuneRuntime();
    // The server in this process, or as its own process as it is deployed.
    std::optional<AppServer> inProcess;
    zel::bench::ChildServer child;
    std::string address;
    if (cfg.serverProcess) {
        child = zel::bench::StartServer(zel::bench::DefaultServerBin(), url, 0, cfg.serverCpus);
        address = child.address;
    } else {
        ServeOptions so;
        so.listen = "127.0.0.1:0";
        address = "127.0.0.1:" + std::to_string(inProcess.emplace(url).Start(so));
    }
    // The CPU per call is measured where the server is a process of its own:
    // its CPU time apart from the clients'.
    CpuClocks clocks;
    if (child.running) {
        clockid_t c;
        if (clock_getcpuclockid(child.pid, &c) == 0) clocks.server = c;
    }
    cpuClocks = clocks.server ? &clocks : nullptr;
    struct Stop {
        zel::bench::ChildServer& c;
        ~Stop()
        {
            cpuClocks = nullptr;
            zel::bench::StopServer(c);
        }
    } stopChild{child};
    grpc::ChannelArguments args;
    args.SetMaxReceiveMessageSize(512 << 20);
    // As the shell's link (host/GrpcLink.cpp): no bandwidth probe per answer.
    args.SetInt(GRPC_ARG_HTTP2_BDP_PROBE, 0);
    args.SetInt(GRPC_ARG_HTTP2_STREAM_LOOKAHEAD_BYTES, 64 << 20);
    auto channel = grpc::CreateCustomChannel(address, grpc::InsecureChannelCredentials(), args);
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
        "SELECT NRPEDIDO, NRITEMPED FROM ITEMPEDIDO WHERE CDFILIAL = '0001' AND NRPEDIDO <= '0000004000'");
    auto pickOrder = [&] { return pending[rng() % pending.size()]; };

    const int n = cfg.smoke ? 60 : 2000;
    const int nHeavy = cfg.smoke ? 4 : 24;
    const int blocks = cfg.smoke ? 2 : 4;
    for (int i = 0; i < 200; ++i)
        empty();

    // Each write changes rows that no earlier write of the run touched, so
    // that its original values are the stored ones: order after order.
    std::size_t nextOrder = 0;
    std::size_t nextItem = 0;

    struct Method {
        std::string name, target;
        std::vector<Round> rounds;
        std::vector<Round> pinned; // with clients and server on cfg.cpus
    };
    std::vector<Method> methods;
    bool pinnedPass = false;
    // The rounds of a method in the pass being measured.
    auto method = [&](const std::string& name, const std::string& target) -> std::vector<Round>& {
        auto it = std::find_if(methods.begin(), methods.end(), [&](const Method& m) { return m.name == name; });
        if (it == methods.end()) it = methods.insert(methods.end(), {name, target, {}, {}});
        return pinnedPass ? it->pinned : it->rounds;
    };
    // Clients and server held on cfg.cpus for a pass, then given back the
    // CPUs they had.
    cpu_set_t onCpus, ownCpus, serverCpus;
    if (!cfg.cpus.empty() && !parseCpus(cfg.cpus, onCpus)) fail("--cpus: not a list of CPUs: " + cfg.cpus);
    sched_getaffinity(0, sizeof ownCpus, &ownCpus);
    if (child.running) sched_getaffinity(child.pid, sizeof serverCpus, &serverCpus);
    auto pinAll = [&](bool on) {
        setProcessCpus(::getpid(), on ? onCpus : ownCpus);
        if (child.running) setProcessCpus(child.pid, on ? onCpus : serverCpus);
    };

    const std::int64_t day = zel::TDateTime::fromDate(kOneDay).msecs();
    Zel08100::GetPedidoRequest dayRq;
    dayRq.set_cd_filial("0001");
    dayRq.set_todos_pedidos("T");
    dayRq.mutable_dt_pedido_de()->set_ms(day);
    dayRq.mutable_dt_pedido_ate()->set_ms(day);
    dayRq.set_todas_dt_entrega("T");
    const int dayRows = int(call(&Zel08100::rdmIncPed::Stub::GetPedido, dayRq).data().row_count());
    const std::string daySql = std::string(Sql::Pedido) + " AND P.DTPEDIDO >= ? AND P.DTPEDIDO < ? ORDER BY P.NRPEDIDO";

    std::vector<Throughput> tputRounds[3];
    const int counts[3] = {1, 8, 64};
    const double secs = cfg.smoke ? 0.2 : 1.5;
    // The SQL's floor over a pool like the server's: as many connections as
    // the clients, up to the pool's size.
    Database sqlPool(url);

    for (int round = 0; round < cfg.rounds; ++round) {
        for (int pass = 0; pass < (cfg.cpus.empty() ? 1 : 2); ++pass) {
            pinnedPass = pass == 1;
            if (pinnedPass) pinAll(true);
            if (cfg.wants("GetPedido")) {
                const DbValue p[] = {Text("0001"), Int(day), Int(day + zel::TDateTime::kMsPerDay)};
                method("GetPedido (1 day, " + std::to_string(dayRows) + " rows)", "")
                    .push_back(interleaved(
                        n / 8, blocks, empty, [&](int) { call(&Zel08100::rdmIncPed::Stub::GetPedido, dayRq); },
                        [&](int, bool) { readAll(*direct, daySql, p); }));
            }
            if (cfg.wants("GetIncPed")) {
                std::vector<std::string> orders(static_cast<std::size_t>(n));
                for (auto& o : orders)
                    o = pickOrder();
                method("GetIncPed", "")
                    .push_back(interleaved(
                        n, blocks, empty,
                        [&](int i) {
                            Zel08100::GetIncPedRequest rq;
                            rq.set_cd_filial("0001");
                            rq.set_nr_pedido(orders[std::size_t(i)]);
                            call(&Zel08100::rdmIncPed::Stub::GetIncPed, rq);
                        },
                        [&](int i, bool) {
                            const DbValue p[] = {Text("0001"), Text(orders[std::size_t(i) ^ 1])};
                            readAll(*direct, Sql::IncPed, p);
                        }));
            }
            if (cfg.wants("GetItem")) {
                std::vector<std::size_t> picks(static_cast<std::size_t>(n));
                for (auto& k : picks)
                    k = std::size_t(rng() % items.size());
                method("GetItem", "")
                    .push_back(interleaved(
                        n, blocks, empty,
                        [&](int i) {
                            const std::size_t k = picks[std::size_t(i)];
                            Zel08100::GetItemRequest rq;
                            rq.set_cd_filial("0001");
                            rq.set_nr_pedido(items.text(k, 0));
                            rq.set_nr_item_ped(items.text(k, 1));
                            rq.set_ativa("N");
                            call(&Zel08100::rdmIncPed::Stub::GetItem, rq);
                        },
                        [&](int i, bool) {
                            const std::size_t k = picks[std::size_t(i) ^ 1];
                            const DbValue p[] = {Text("0001"), Text(items.text(k, 0)), Text(items.text(k, 1))};
                            readAll(*direct, Sql::Item, p);
                        }));
            }
            if (cfg.wants("GetGrupOper")) {
                Zel08100::GetGrupOperRequest rq;
                rq.set_cd_filial("0001");
                rq.set_cd_operador("0001");
                const DbValue p[] = {Text("0001"), Text("0001")};
                method("GetGrupOper", "")
                    .push_back(interleaved(
                        n, blocks, empty, [&](int) { call(&Zel08100::rdmIncPed::Stub::GetGrupOper, rq); },
                        [&](int, bool) { readAll(*direct, Sql::GrupOper, p); }));
            }
            if (cfg.wants("GetNrPedido")) {
                const DbValue p[] = {Text("0001")};
                method("GetNrPedido (" + std::to_string(pending.size()) + " rows)", "")
                    .push_back(interleaved(
                        nHeavy, blocks, empty, [&](int) { call(&Zel08100::rdmIncPed::Stub::GetNrPedido, nrq); },
                        [&](int, bool) { readAll(*direct, Sql::NrPedido, p); }));
            }
            // SetIncPed of one row (a note), and the same transaction run directly.
            if (cfg.wants("SetIncPed")) {
                const int per = std::max(1, n / blocks);
                std::vector<zel::data::ChangePacket> deltas;
                // The floor's rows: key, then the mark, note and operator as read.
                std::vector<std::array<DbValue, 6>> keys;
                method("SetIncPed (1 row)", "")
                    .push_back(interleaved(
                        n, blocks, empty,
                        [&](int i) {
                            Zel08100::SetRequest rq;
                            *rq.mutable_delta() = deltas[std::size_t(i % per)];
                            call(&Zel08100::rdmIncPed::Stub::SetIncPed, rq);
                        },
                        [&](int i, bool afterEmpty) {
                            // The statement the server sends for a note of one row.
                            const auto& k = keys[std::size_t((afterEmpty ? per : 0) + i % per)];
                            RowUpdate u;
                            for (int f = 0; f < 3; ++f)
                                u.key.push_back(std::get<std::string>(k[std::size_t(f)]));
                            u.original = {k[3], k[4], DbValue(), k[5]};
                            u.changes.resize(4);
                            u.changes[kNote] = Text("Nota direta " + std::to_string(i));
                            std::int64_t written = 0;
                            if (direct->dialect() == Dialect::Postgres) {
                                written = WriteIncPedRow(*direct, u, "0001", 0);
                            } else {
                                Transaction tx(*direct, true);
                                written = WriteIncPedRow(*direct, u, "0001", 0);
                                tx.commit();
                            }
                            if (written != 1) fail("the floor's note was refused");
                        },
                        [&](int) {
                            // The next orders' first rows: one block's worth for the
                            // calls and twice as many for the direct statements.
                            deltas.clear();
                            keys.clear();
                            while (int(deltas.size()) < per) {
                                Zel08100::GetIncPedRequest rq;
                                rq.set_cd_filial("0001");
                                rq.set_nr_pedido(pending[nextOrder++ % pending.size()]);
                                auto p = call(&Zel08100::rdmIncPed::Stub::GetIncPed, rq).data();
                                if (p.row_count() == 0) continue;
                                zel::data::Value note;
                                note.set_text("Nota de teste " + std::to_string(nextOrder));
                                deltas.push_back(modify(p, 0, 11, note));
                            }
                            while (int(keys.size()) < 2 * per) {
                                Zel08100::GetIncPedRequest rq;
                                rq.set_cd_filial("0001");
                                rq.set_nr_pedido(pending[nextOrder++ % pending.size()]);
                                auto p = call(&Zel08100::rdmIncPed::Stub::GetIncPed, rq).data();
                                if (p.row_count() == 0) continue;
                                zel::PacketReader r(p);
                                auto text = [&](const char* f) {
                                    return r.isNull(0, r.fieldIndex(f)) ? DbValue() : Text(r.text(0, f).toStdString());
                                };
                                keys.push_back({text("CDFILIAL"), text("NRPEDIDO"), text("NRINCONSPED"), text("ATIVA"),
                                                text("TXOBSLIBINCO"), text("CDOPERLIBE")});
                            }
                        }));
            }
            // SetItem of one row.
            if (cfg.wants("SetItem")) {
                const int per = std::max(1, n / blocks);
                std::vector<zel::data::ChangePacket> deltas;
                std::vector<std::size_t> direct_;
                std::vector<std::string> situation; // of the floor's items, as read
                method("SetItem (1 row)", "")
                    .push_back(interleaved(
                        n, blocks, empty,
                        [&](int i) {
                            Zel08100::SetRequest rq;
                            *rq.mutable_delta() = deltas[std::size_t(i % per)];
                            call(&Zel08100::rdmIncPed::Stub::SetItem, rq);
                        },
                        [&](int i, bool afterEmpty) {
                            const std::size_t j = std::size_t((afterEmpty ? per : 0) + i % per);
                            const std::size_t k = direct_[j];
                            const DbValue p[] = {Text(situation[j] == "2" ? "1" : "2"),
                                                 Text("0001"),
                                                 Text(items.text(k, 0)),
                                                 Text(items.text(k, 1)),
                                                 Text(situation[j]),
                                                 Text("0001")};
                            if (direct->exec(Sql::ItemChangeIf, p) != 1)
                                fail("the floor's change of an item was refused");
                        },
                        [&](int) {
                            deltas.clear();
                            direct_.clear();
                            situation.clear();
                            for (int i = 0; i < 2 * per; ++i) {
                                // The floor's items, twice a block's worth.
                                direct_.push_back(nextItem++ % items.size());
                                const DbValue key[] = {Text("0001"), Text(items.text(direct_.back(), 0)),
                                                       Text(items.text(direct_.back(), 1))};
                                situation.push_back(direct->query(Sql::Item, key).text(0, 3));
                                if (i >= per) continue;
                                const std::size_t k = nextItem++ % items.size();
                                Zel08100::GetItemRequest rq;
                                rq.set_cd_filial("0001");
                                rq.set_nr_pedido(items.text(k, 0));
                                rq.set_nr_item_ped(items.text(k, 1));
                                auto p = call(&Zel08100::rdmIncPed::Stub::GetItem, rq).data();
                                // Alternate the state so that every write changes it.
                                zel::data::Value sit;
                                sit.set_text(zel::PacketReader(p).text(0, "IDSITITEMPED") == QLatin1String("2") ? "1"
                                                                                                                : "2");
                                deltas.push_back(modify(p, 0, 3, sit));
                            }
                        }));
            }

            if (pinnedPass) pinAll(false);
        }
        // Throughput with 1, 8 and 64 clients on the same channel.
        if (cfg.wants("throughput")) {
            for (int k = 0; k < 3; ++k) {
                Throughput t;
                t.empty = throughput(counts[k], secs, [&](int, long) { empty(); });
                t.sql = throughput(counts[k], secs, [&](int th, long i) {
                    const DbValue p[] = {Text("0001"),
                                         Text(pending[std::size_t(th * 104729 + i * 37) % pending.size()])};
                    auto c = sqlPool.acquire();
                    readAll(*c, Sql::IncPed, p);
                });
                t.call = throughput(counts[k], secs, [&](int th, long i) {
                    Zel08100::GetIncPedRequest rq;
                    rq.set_cd_filial("0001");
                    rq.set_nr_pedido(pending[std::size_t(th * 104729 + i * 31) % pending.size()]);
                    call(&Zel08100::rdmIncPed::Stub::GetIncPed, rq);
                });
                tputRounds[k].push_back(t);
            }
        }
        std::printf("  round %d of %d done\n", round + 1, cfg.rounds);
        std::fflush(stdout);
    }

    // Figures: medians over the rounds, spread = lowest-highest of the rounds.
    // What the client's parse of each answer costs beside a plain parse of
    // the same bytes: the reads' answers as received (a generic call), a
    // write's answer (an empty packet) as the server sends it.
    std::map<std::string, std::vector<std::pair<double, double>>> parse;
    if (cpuClocks) {
        grpc::GenericStub generic(channel);
        Zel08100::GetIncPedRequest incRq;
        incRq.set_cd_filial("0001");
        incRq.set_nr_pedido(pending.front());
        Zel08100::GetItemRequest itemRq;
        itemRq.set_cd_filial("0001");
        itemRq.set_nr_pedido(items.text(0, 0));
        itemRq.set_nr_item_ped(items.text(0, 1));
        Zel08100::GetGrupOperRequest grRq;
        grRq.set_cd_filial("0001");
        grRq.set_cd_operador("0001");
        const std::pair<const char*, const google::protobuf::Message*> reads[] = {{"GetPedido", &dayRq},
                                                                                  {"GetIncPed", &incRq},
                                                                                  {"GetItem", &itemRq},
                                                                                  {"GetGrupOper", &grRq},
                                                                                  {"GetNrPedido", &nrq}};
        zel::data::Result written;
        written.mutable_data();
        grpc::ByteBuffer writeAnswer;
        bool own = false;
        if (!grpc::SerializationTraits<zel::data::Result>::Serialize(written, &writeAnswer, &own).ok())
            fail("write answer not serialised");
        const double batch = cfg.smoke ? 2000 : 20000;
        for (int round = 0; round < cfg.rounds; ++round) {
            for (const auto& [name, rq] : reads)
                if (cfg.wants(name)) parse[name].push_back(parseCost(rawAnswer(generic, token, name, *rq), batch));
            for (const char* name : {"SetIncPed", "SetItem"})
                if (cfg.wants(name)) parse[name].push_back(parseCost(writeAnswer, batch));
        }
    }

    std::printf("\n  %-30s %8s %8s %8s   %-22s %-22s\n", "latency, µs (medians)", "call p50", "empty", "SQL",
                "p50 / floor [spread]", "p99 / (3 empty + SQL)");
    auto ratios = [](const std::vector<Round>& rounds, double (Round::*f)() const) {
        std::vector<double> v;
        for (const Round& r : rounds)
            v.push_back((r.*f)());
        return spread(v);
    };
    for (const Method& m : methods) {
        std::vector<double> r50, r99, c50, e50, s50, c99, e99, s99, w50, rw50;
        for (const Round& r : m.rounds) {
            r50.push_back(r.ratio50());
            r99.push_back(r.ratio99());
            c50.push_back(r.call.p50);
            e50.push_back(r.empty.p50);
            s50.push_back(r.sql.p50);
            c99.push_back(r.call.p99);
            e99.push_back(r.empty.p99);
            s99.push_back(r.sql.p99);
            w50.push_back(r.sqlAfterEmpty.p50);
            rw50.push_back(r.ratio50AfterEmpty());
        }
        // The order number list's answer is built, sent and parsed in
        // milliseconds, beyond any multiple of the empty call: its tail is
        // judged against its own median.
        const bool selfTail = m.name.rfind("GetNrPedido", 0) == 0;
        const Spread a = spread(r50), b = selfTail ? ratios(m.rounds, &Round::tail) : spread(r99);
        std::printf("  %-30s %8.0f %8.0f %8.0f   %5.2fx [%4.2f-%4.2f] %-4s %5.2fx [%4.2f-%4.2f] %s%s\n", m.name.c_str(),
                    spread(c50).median, spread(e50).median, spread(s50).median, a.median, a.low, a.high,
                    a.median <= 1.5 ? "met" : "NOT", b.median, b.low, b.high,
                    b.median <= (selfTail ? 2.0 : 1.0) ? "met" : "NOT", selfTail ? " (p99 / its p50, <= 2x)" : "");
        std::printf("  %-30s %8.0f %8.0f %8.0f   (p99, µs)\n", "", spread(c99).median, spread(e99).median,
                    spread(s99).median);
        const Spread w = spread(rw50);
        std::printf("  %-30s %26.0f   %5.2fx [%4.2f-%4.2f] (SQL p50 right after an empty call; not the floor)\n", "",
                    spread(w50).median, w.median, w.low, w.high);
        if (!m.pinned.empty()) {
            std::vector<double> pc, pe, ps;
            for (const Round& r : m.pinned) {
                pc.push_back(r.call.p50);
                pe.push_back(r.empty.p50);
                ps.push_back(r.sql.p50);
            }
            const Spread q = ratios(m.pinned, &Round::ratio50);
            std::printf("  %-30s %8.0f %8.0f %8.0f   %5.2fx [%4.2f-%4.2f] %-4s (p50, all on CPUs %s; free: %.2fx)\n",
                        "", spread(pc).median, spread(pe).median, spread(ps).median, q.median, q.low, q.high,
                        q.median <= 1.5 ? "met" : "NOT", cfg.cpus.c_str(), a.median);
        }
        if (cpuClocks) {
            std::vector<double> sv, cv, esv, ecv, sq;
            for (const Round& r : m.rounds) {
                sv.push_back(r.cost.server);
                cv.push_back(r.cost.client);
                esv.push_back(r.cost.emptyServer);
                ecv.push_back(r.cost.emptyClient);
                sq.push_back(r.cost.sql);
            }
            const Spread cr = ratios(m.rounds, &Round::costRatio);
            std::printf("  %-30s CPU per call, µs: server %.1f, floor %.1f (empty %.1f + SQL %.1f): %.2fx "
                        "[%4.2f-%4.2f] %s; client %.1f, empty call %.1f\n",
                        "", spread(sv).median, spread(esv).median + spread(sq).median, spread(esv).median,
                        spread(sq).median, cr.median, cr.low, cr.high, cr.median <= 1.3 ? "met" : "NOT",
                        spread(cv).median, spread(ecv).median);
            for (const auto& [name, samples] : parse) {
                if (m.name.rfind(name, 0) != 0) continue;
                std::vector<double> g, pl, r;
                for (const auto& [viaGrpc, plain] : samples) {
                    g.push_back(viaGrpc);
                    pl.push_back(plain);
                    r.push_back(viaGrpc / plain);
                }
                const Spread pr = spread(r);
                std::printf("  %-30s client parse, ns: %.0f, plain protobuf %.0f: %.2fx [%4.2f-%4.2f] %s\n", "",
                            spread(g).median, spread(pl).median, pr.median, pr.low, pr.high,
                            pr.median <= 1.5 ? "met" : "NOT");
            }
        }
    }
    if (!tputRounds[0].empty()) {
        std::printf("\n  %-30s %10s %10s %10s %10s   %-24s\n", "calls per second (medians)", "empty", "SQL (pool)",
                    "floor", "GetIncPed", "GetIncPed / floor [spread]");
        for (int k = 0; k < 3; ++k) {
            std::vector<double> e, s, f, c, r;
            for (const Throughput& t : tputRounds[k]) {
                e.push_back(t.empty);
                s.push_back(t.sql);
                f.push_back(t.floor());
                c.push_back(t.call);
                r.push_back(t.ratio());
            }
            const Spread rs = spread(r);
            char label[32];
            std::snprintf(label, sizeof label, "%d client%s", counts[k], counts[k] > 1 ? "s" : "");
            std::printf("  %-30s %10.0f %10.0f %10.0f %10.0f   %5.2fx [%4.2f-%4.2f] %s\n", label, spread(e).median,
                        spread(s).median, spread(f).median, spread(c).median, rs.median, rs.low, rs.high,
                        k == 0 ? "" : (rs.median >= 0.7 ? "met" : "NOT"));
        }
    }
    std::printf("  targets: p50 <= 1.5x its floor; p99 <= 3x the empty call's p99 + the SQL's p99 (GetNrPedido:"
                " p99 <= 2x its own p50); 8 and 64 clients >= 0.7x the combined floor\n");
    if (cpuClocks)
        std::printf("  CPU targets: the server's CPU per call <= 1.3x its floor's (the empty call's + the SQL's run"
                    " here); the client's parse of an answer <= 1.5x a plain protobuf parse of it\n");
    else
        std::printf("  (CPU per call: measured with --server-process, where the server's CPU is its own)\n");
    std::fflush(stdout);
    if (inProcess) {
        inProcess->Shutdown(std::chrono::seconds(1));
        inProcess->Wait();
    }
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
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Each server method beside its floor "
                                               "(see the comment at the top of bench/bench_server.cpp)."));
    p.addHelpOption();
    const QCommandLineOption smoke(QStringLiteral("smoke"), QStringLiteral("A small database, a few seconds."));
    const QCommandLineOption rounds(QStringLiteral("rounds"), QStringLiteral("Rounds (5; smoke 2)."),
                                    QStringLiteral("R"));
    const QCommandLineOption orders(QStringLiteral("orders"), QStringLiteral("Orders seeded."), QStringLiteral("N"));
    const QCommandLineOption sqlite(QStringLiteral("sqlite"), QStringLiteral("The SQLite file (reused)."),
                                    QStringLiteral("FILE"));
    const QCommandLineOption pg(QStringLiteral("pg"), QStringLiteral("PostgreSQL URL."), QStringLiteral("URL"));
    const QCommandLineOption noPg(QStringLiteral("no-pg"), QStringLiteral("Skip PostgreSQL."));
    const QCommandLineOption noSqlite(QStringLiteral("no-sqlite"), QStringLiteral("Skip SQLite."));
    const QCommandLineOption only(QStringLiteral("only"), QStringLiteral("Methods measured, and/or \"throughput\"."),
                                  QStringLiteral("NAME[,NAME...]"));
    const QCommandLineOption serverProcess(QStringLiteral("server-process"),
                                           QStringLiteral("Run zel-server as a process of its own."));
    const QCommandLineOption serverCpus(QStringLiteral("server-cpus"),
                                        QStringLiteral("With --server-process: that process's CPUs (0, 0,2, 1-3)."),
                                        QStringLiteral("LIST"));
    const QCommandLineOption cpus(QStringLiteral("cpus"),
                                  QStringLiteral("Also measure the latencies with the clients and the server held on "
                                                 "these CPUs (0, 0,2, 1-3), beside the free run."),
                                  QStringLiteral("LIST"));
    p.addOptions({smoke, rounds, orders, sqlite, pg, noPg, noSqlite, only, serverProcess, serverCpus, cpus});
    if (!p.parse(args)) fail(p.errorText().toStdString());
    if (p.isSet(QStringLiteral("help"))) {
        std::printf("%s", qPrintable(p.helpText()));
        return 0;
    }
    Config cfg;
    cfg.smoke = p.isSet(smoke);
    cfg.rounds = p.value(rounds).toInt();
    if (p.isSet(orders)) cfg.orders = p.value(orders).toLong();
    cfg.sqlitePath = p.value(sqlite).toStdString();
    cfg.pgUrl = p.value(pg).toStdString();
    cfg.pg = !p.isSet(noPg);
    cfg.sqlite = !p.isSet(noSqlite);
    cfg.serverProcess = p.isSet(serverProcess);
    cfg.serverCpus = p.value(serverCpus).toStdString();
    cfg.cpus = p.value(cpus).toStdString();
    if (!cfg.serverCpus.empty() && !cfg.serverProcess) fail("--server-cpus goes with --server-process");
    for (const QString& part : p.value(only).split(QLatin1Char(','), Qt::SkipEmptyParts))
        cfg.only.insert(part.toStdString());
    if (cfg.smoke && cfg.orders == 1'000'000) cfg.orders = 2000;
    if (cfg.rounds <= 0) cfg.rounds = cfg.smoke ? 2 : 5;
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
    std::printf("zel-bench-server%s: each call beside its floor (the empty call + the method's SQL run directly)\n",
                cfg.smoke ? " (smoke run)" : "");
    if (auto w = wakeUpCost(cfg.smoke ? 50 : 500))
        std::printf("this machine: a thread woken from another CPU %.1f µs after the send when its CPU had just "
                    "been busy, %.1f µs when it had idled 1 ms (p50)\n",
                    w->first, w->second);
    std::printf("CPU per call: %s\n", instructionCounterExists()
                                          ? "the kernel counts instructions here, but this benchmark reads CPU time"
                                          : "no instruction counter on this machine (perf_event_open); CPU time "
                                            "from the kernel's accounting");
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
