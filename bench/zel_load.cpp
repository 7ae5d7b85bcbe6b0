// zel-load: N simulated operators doing the day's work against one logical
// application server (one or more zel-server processes over one database),
// with a chosen share of them working on the same orders as others. Each
// operator logs in, and then, order after order of the branch: fetches the
// order's inconsistencies, fetches the item of each, marks each, writes a
// note, releases the marked ones one send at a time (as the review screen
// does) and fetches the order again. A refused send (changed or released by
// someone else meanwhile) is counted as a conflict; the operator moves on to
// the next order.
//
// It prints calls per second, p50/p99 per kind of call and the conflicts
// refused, and at the end checks the database: every release an operator was
// told of is in the history exactly once with its stamp, no inconsistency is
// released twice, the history holds no release that no operator made, and
// every released inconsistency keeps the stamp of its history. It exits with
// 1 when a check fails or a call failed for any other reason than a conflict
// (a send cut off by a server process that was killed is reported apart: its
// outcome is read back from the database, as an operator would look again;
// a read cut off so is counted apart too).
// A run with a share of orders in common must see conflicts refused, unless
// no two operators happened to race for one row, which it says (--smoke
// shares enough orders that it always races).
//
//   zel-load --spawn N --db URL [options]     a fresh schema (PostgreSQL) or
//        file (SQLite) seeded for the run, N zel-server processes over it,
//        all stopped and removed at the end (--keep leaves them)
//   zel-load --servers ADDR[,ADDR...] --db URL [options]   against servers
//        that run already (scripts/cluster.sh), over the database they serve
//
//   --operators N (64)  --seconds S (20)  --conflicts PCT (10): share of the
//   orders an operator takes from a small set that every operator works on
//   --kill-after S: kill one server process (the first spawned, or --kill-pid
//   PID) S seconds into the run  --kill-signal KILL|TERM (KILL)
//   --orders N (orders seeded with --spawn; 60 000)  --branch CODE (0001)
//   --server-bin PATH (zel-server; default beside this build)
//   --server-cpus LIST: the spawned processes' CPUs, one item of the
//   comma-separated list each, in turn (0,1: the first on CPU 0, the second
//   on CPU 1, the third on CPU 0 ...; an item may be a range, 2-3)
//   --server-cpu-quota CORES: at most this much CPU time for each spawned
//   process (0.4: 40 % of one core), in a control group of its own, as a
//   smaller machine of its own would give it (needs root)
//   --outage-after S --outage-cmd CMD: run the shell command CMD S seconds
//   into the run (a restart of PostgreSQL, a switch to its standby); while it
//   runs and for --outage-grace S (5) after it returns, calls refused with the
//   database unavailable (or its time run out) are counted apart, and a send
//   among them is read back from the database, as after a kill; a failure
//   after that is a failure of the run
//   --smoke: 16 operators, 4 s, 2 processes, one killed after 2 s, 3 000 orders

#include "bench/ChildServer.h"
#include "bench/CpuQuota.h"
#include "host/GrpcLink.h"
#include "host/LoginClient.h"
#include "platform/data/DateTime.h"
#include "platform/data/Packet.h"
#include "proto/login.grpc.pb.h"
#include "proto/rdmIncPed.grpc.pb.h"
#include "server/AppServer.h"
#include "server/Auth.h"
#include "server/Db.h"
#include "server/IncPed.h"
#include "server/Operators.h"
#include "server/Packets.h"
#include "server/Schema.h"
#include "server/Seed.h"

#include <QCommandLineParser>
#include <QStringList>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <grpcpp/grpcpp.h>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace zel::server;
using Clock = std::chrono::steady_clock;

namespace {

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "zel-load: %s\n", what.c_str());
    std::exit(2);
}

struct Config {
    int spawn = 0;
    std::string servers;
    std::string db;
    int operators = 64;
    double seconds = 20;
    int conflictPct = 10;
    double killAfter = -1;
    pid_t killPid = 0;
    int killSignal = SIGKILL;
    int orders = 60'000;
    std::string branch = "0001";
    std::string serverBin;
    int dbConnections = 0;               // of each spawned process; 0 = the server's default
    std::vector<std::string> serverCpus; // of the spawned processes, in turn
    double serverCpuQuota = 0;           // cores for each spawned process; 0 = no limit
    bool keep = false;
    double outageAfter = -1;
    std::string outageCmd;
    double outageGrace = 5;
};

const char* const kPassword = "carga";

// ---- figures ----------------------------------------------------------------

enum Kind { kGetNrPedido, kGetIncPed, kGetItem, kMark, kNote, kRelease, kKinds };
const char* const kKindNames[kKinds] = {"GetNrPedido",      "GetIncPed",        "GetItem",
                                        "SetIncPed (mark)", "SetIncPed (note)", "SetIncPed (release)"};

struct Figures {
    std::vector<double> us[kKinds];
    long conflicts = 0;
    long errors = 0;
    long cut = 0, cutStored = 0, cutReads = 0;
    long callsAfterKill = 0, releasesAfterKill = 0;
    long outageFailed = 0, outageSends = 0, outageStored = 0, releasesAfterOutage = 0;
    double lastOutageFailure = -1; // seconds into the run
    std::vector<std::string> errorSamples;
};

struct Release {
    std::string key[3];
    std::string operador;
    std::int64_t dt;
};

struct Shared {
    const Config* cfg;
    std::string dbUrl;
    QStringList addresses;
    std::vector<std::string> own;       // pending orders taken by one operator each
    std::vector<std::string> contended; // pending orders every operator may take
    std::atomic<bool> stop{false};
    std::atomic<bool> killed{false};
    Clock::time_point t0;
    // The outage command: started, and when it returned (0 while it runs).
    std::atomic<bool> outageStarted{false};
    std::atomic<Clock::rep> outageEnded{0};
    bool inOutage() const
    {
        if (!outageStarted.load()) return false;
        const Clock::rep end = outageEnded.load();
        return end == 0 || Clock::now() < Clock::time_point(Clock::duration(end)) +
                                              std::chrono::duration_cast<Clock::duration>(
                                                  std::chrono::duration<double>(cfg->outageGrace));
    }
    bool outageOver() const { return outageEnded.load() != 0 && !inOutage(); }
    std::mutex mutex;
    Figures all;
    std::vector<Release> releases; // every release an operator knows stored
    // A few connections of the tool's own, to read back a send cut off by a
    // killed process.
    std::unique_ptr<Database> lookBack;
};

// ---- one operator -------------------------------------------------------------

zel::data::Value text(const std::string& s)
{
    zel::data::Value v;
    v.set_text(s);
    return v;
}

class Operator {
public:
    Operator(Shared& s, int index) : s_(s), index_(index), rng_(std::uint64_t(index) * 7919 + 1)
    {
        char code[16];
        std::snprintf(code, sizeof code, "C%04d", index + 1);
        code_ = code;
    }

    // Logs in; false when the login failed.
    bool start()
    {
        // Connections of its own, as the operator's shell has: on channels
        // shared by the whole tool, every operator's calls would go over one
        // connection per server process.
        channel_ = zel::grpclink::MakeChannel(s_.addresses, true);
        stub_ = Zel08100::rdmIncPed::NewStub(channel_);
        return login();
    }

    void run()
    {
        try {
            day();
        } catch (const std::exception& e) {
            error(std::string("stopped: ") + e.what());
        }
        std::lock_guard lock(s_.mutex);
        for (int k = 0; k < kKinds; ++k)
            s_.all.us[k].insert(s_.all.us[k].end(), f_.us[k].begin(), f_.us[k].end());
        s_.all.conflicts += f_.conflicts;
        s_.all.errors += f_.errors;
        s_.all.cut += f_.cut;
        s_.all.cutStored += f_.cutStored;
        s_.all.cutReads += f_.cutReads;
        s_.all.callsAfterKill += f_.callsAfterKill;
        s_.all.releasesAfterKill += f_.releasesAfterKill;
        s_.all.outageFailed += f_.outageFailed;
        s_.all.outageSends += f_.outageSends;
        s_.all.outageStored += f_.outageStored;
        s_.all.releasesAfterOutage += f_.releasesAfterOutage;
        s_.all.lastOutageFailure = std::max(s_.all.lastOutageFailure, f_.lastOutageFailure);
        for (auto& e : f_.errorSamples)
            if (s_.all.errorSamples.size() < 10) s_.all.errorSamples.push_back(e);
        s_.releases.insert(s_.releases.end(), released_.begin(), released_.end());
    }

private:
    enum class Outcome { Ok, Conflict, Failed };

    // Order after order, until the run ends or this operator's orders are done.
    void day()
    {
        std::size_t next = std::size_t(index_);
        while (!token_.empty() && !s_.stop.load()) {
            std::string order;
            const bool shared = doneShared_.size() < s_.contended.size() && int(rng_() % 100) < s_.cfg->conflictPct;
            if (shared) {
                // One of the orders everyone works on that still had work.
                do
                    order = s_.contended[rng_() % s_.contended.size()];
                while (doneShared_.count(order));
            } else {
                if (next >= s_.own.size()) break; // this operator's orders are done
                order = s_.own[next];
                next += std::size_t(s_.cfg->operators);
            }
            work(order);
        }
    }

    bool login()
    {
        auto stub = zel::login::Login::NewStub(channel_);
        // Each login checks a password hash, a fair share of a core, and a
        // process checks two at a time: many operators logging in at once
        // on a busy machine wait their turn.
        for (int attempt = 0; attempt < 3; ++attempt) {
            grpc::ClientContext ctx;
            ctx.set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(120));
            zel::login::LoginRequest rq;
            rq.set_operador(code_);
            rq.set_senha(kPassword);
            zel::login::LoginReply out;
            const grpc::Status st = stub->Entrar(&ctx, rq, &out);
            if (st.ok() && out.has_session()) {
                token_ = out.session().token();
                return true;
            }
            if (st.ok()) {
                error("login: " + out.error().message());
                return false;
            }
        }
        error("login: no answer");
        return false;
    }

    void error(const std::string& what)
    {
        ++f_.errors;
        if (f_.errorSamples.size() < 3) f_.errorSamples.push_back(code_ + ": " + what);
    }

    template <class Rq, class M> Outcome call(Kind kind, M method, const Rq& rq, zel::data::Result& out)
    {
        grpc::ClientContext ctx;
        ctx.AddMetadata("zel-session", token_);
        ctx.set_deadline(std::chrono::system_clock::now() + std::chrono::seconds(10));
        const auto t0 = Clock::now();
        const grpc::Status st = ((*stub_).*method)(&ctx, rq, &out);
        f_.us[kind].push_back(std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
        if (s_.killed.load()) ++f_.callsAfterKill;
        if (!st.ok()) {
            lastStatus_ = st;
            return Outcome::Failed;
        }
        if (out.has_error()) {
            if (out.error().code() == kErrConflict) {
                ++f_.conflicts;
                return Outcome::Conflict;
            }
            if ((out.error().code() == kErrUnavailable || out.error().code() == kErrTimeout) && s_.inOutage()) {
                // Refused cleanly while the database was away.
                ++f_.outageFailed;
                f_.lastOutageFailure = std::chrono::duration<double>(Clock::now() - s_.t0).count();
                outageRefused_ = true;
                return Outcome::Failed;
            }
            error(std::string(kKindNames[kind]) + ": " + out.error().message());
            return Outcome::Failed;
        }
        return Outcome::Ok;
    }

    std::optional<zel::data::DataPacket> fetch(const std::string& order)
    {
        Zel08100::GetIncPedRequest rq;
        rq.set_cd_filial(s_.cfg->branch);
        rq.set_nr_pedido(order);
        zel::data::Result out;
        if (call(kGetIncPed, &Zel08100::rdmIncPed::Stub::GetIncPed, rq, out) != Outcome::Ok) {
            if (!out.has_error()) readFailed("GetIncPed");
            return std::nullopt;
        }
        return out.data();
    }

    // One changed row of `p` sent on its own, as a post of the screen does.
    // On success the row of `p` takes the new values (the merge).
    Outcome send(Kind kind, zel::data::DataPacket& p, int row, const std::map<std::string, zel::data::Value>& changes)
    {
        Zel08100::SetRequest rq;
        zel::data::ChangePacket& d = *rq.mutable_delta();
        *d.mutable_fields() = p.fields();
        auto* rc = d.add_rows();
        rc->set_kind(zel::data::CHANGE_MODIFY);
        zel::PacketReader r(p);
        for (int c = 0; c < p.fields_size(); ++c) {
            *rc->mutable_original()->add_values() = zel::ToWire(r.value(row, c), zel::FromWireKind(p.fields(c).kind()));
            auto it = changes.find(p.fields(c).name());
            if (it == changes.end()) continue;
            auto* fc = rc->add_changes();
            fc->set_field(c);
            *fc->mutable_value() = it->second;
        }
        zel::data::Result out;
        outageRefused_ = false;
        Outcome o = call(kind, &Zel08100::rdmIncPed::Stub::SetIncPed, rq, out);
        if (o == Outcome::Failed && outageRefused_) {
            // The database went away during the send: it may have committed
            // before the answer was lost. Read it back once it is there again.
            ++f_.outageSends;
            if (!storedAsSent(p, row, changes)) return Outcome::Conflict; // not stored: move on
            ++f_.outageStored;
            o = Outcome::Ok;
        } else if (o == Outcome::Failed && !out.has_error()) {
            // The transport failed: the send may or may not have been stored.
            // Read the row back, as an operator would look again.
            if (!cutOff()) {
                error(std::string(kKindNames[kind]) + ": " + lastStatus_.error_message());
                return o;
            }
            ++f_.cut;
            if (!storedAsSent(p, row, changes)) return Outcome::Conflict; // not stored: move on
            ++f_.cutStored;
            o = Outcome::Ok;
        }
        if (o == Outcome::Ok) {
            for (const auto& [name, value] : changes)
                setCell(p, row, name, value);
        }
        return o;
    }

    // A read whose transport failed: one cut off by a killed process is
    // counted apart (the operator looks again, at the next order); any other
    // is a failure.
    void readFailed(const char* what)
    {
        if (cutOff())
            ++f_.cutReads;
        else
            error(std::string(what) + ": " + lastStatus_.error_message());
    }

    // A call cut off by a server process that went away.
    bool cutOff() const
    {
        return s_.cfg->killAfter >= 0 && (lastStatus_.error_code() == grpc::StatusCode::UNAVAILABLE ||
                                          lastStatus_.error_code() == grpc::StatusCode::CANCELLED ||
                                          lastStatus_.error_code() == grpc::StatusCode::INTERNAL);
    }

    // storedAsSent, tried again while the database is unreachable (a restart
    // or a switch to the standby under way), for up to a minute.
    bool storedAsSent(const zel::data::DataPacket& p, int row, const std::map<std::string, zel::data::Value>& changes)
    {
        const auto until = Clock::now() + std::chrono::seconds(60);
        for (;;) {
            try {
                return storedAsSentOnce(p, row, changes);
            } catch (const DbError& e) {
                if (e.kind() != DbError::Kind::Unavailable || Clock::now() > until) throw;
                s_.lookBack->dropIdle();
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
            }
        }
    }

    bool storedAsSentOnce(const zel::data::DataPacket& p, int row,
                          const std::map<std::string, zel::data::Value>& changes)
    {
        zel::PacketReader r(p);
        const DbValue key[] = {Text(r.text(row, "CDFILIAL").toStdString()), Text(r.text(row, "NRPEDIDO").toStdString()),
                               Text(r.text(row, "NRINCONSPED").toStdString())};
        auto db = s_.lookBack->acquire();
        // Locking the row waits for a transaction that the killed process
        // left open (the database ends it, one way or the other).
        Transaction tx(*db, true);
        DbRows now = db->query(std::string("SELECT ATIVA, TXOBSLIBINCO, DTLIBEINCONS, CDOPERLIBE FROM INCONSPED "
                                           "WHERE CDFILIAL = ? AND NRPEDIDO = ? AND NRINCONSPED = ?") +
                                   db->forUpdate(),
                               key);
        tx.commit();
        if (now.empty()) return false;
        for (const auto& [name, value] : changes) {
            const int col = name == "ATIVA" ? 0 : name == "TXOBSLIBINCO" ? 1 : name == "DTLIBEINCONS" ? 2 : 3;
            if (value.has_datetime_ms()) {
                if (now.isNull(0, col) || now.i64(0, col) != value.datetime_ms()) return false;
            } else if (now.text(0, col) != value.text()) {
                return false;
            }
        }
        return true;
    }

    static void setCell(zel::data::DataPacket& p, int row, const std::string& name, const zel::data::Value& v)
    {
        // Rebuilds the one column (packets are small: an order's rows).
        for (int c = 0; c < p.fields_size(); ++c) {
            if (p.fields(c).name() != name) continue;
            zel::data::Column& col = *p.mutable_columns(c);
            if (v.has_datetime_ms()) {
                col.mutable_integers()->Set(row, v.datetime_ms());
            } else {
                std::string all;
                std::size_t off = 0;
                for (int i = 0; i < int(p.row_count()); ++i) {
                    const std::uint32_t len = col.text_lengths(i);
                    if (i == row) {
                        all += v.text();
                        col.set_text_lengths(i, std::uint32_t(v.text().size()));
                    } else {
                        all.append(col.text(), off, len);
                    }
                    off += len;
                }
                col.set_text(all);
            }
            std::string nulls = col.nulls();
            if (std::size_t(row / 8) < nulls.size()) nulls[std::size_t(row / 8)] &= char(~(1 << (row % 8)));
            col.set_nulls(nulls);
        }
    }

    void work(const std::string& order)
    {
        auto p = fetch(order);
        if (!p) return;
        const int rows = int(p->row_count());
        if (rows == 0) {
            doneShared_.insert(order);
            return;
        }
        zel::PacketReader r(*p);
        for (int i = 0; i < rows; ++i) {
            Zel08100::GetItemRequest rq;
            rq.set_cd_filial(s_.cfg->branch);
            rq.set_nr_pedido(order);
            rq.set_nr_item_ped(r.text(i, "NRITEMPED").toStdString());
            rq.set_ativa(r.text(i, "ATIVA").toStdString());
            zel::data::Result out;
            if (call(kGetItem, &Zel08100::rdmIncPed::Stub::GetItem, rq, out) != Outcome::Ok) {
                if (!out.has_error()) readFailed("GetItem");
                return;
            }
        }
        // Marks, one send each, then a note on the first.
        for (int i = 0; i < rows; ++i) {
            if (zel::PacketReader(*p).text(i, "ATIVA") == QLatin1String("S")) continue;
            if (send(kMark, *p, i, {{"ATIVA", text("S")}}) != Outcome::Ok) return;
        }
        if (send(kNote, *p, 0, {{"TXOBSLIBINCO", text("Conferido por " + code_ + " na carga.")}}) != Outcome::Ok)
            return;
        // The release: every marked row stamped with the time and the operator.
        for (int i = 0; i < rows; ++i) {
            zel::data::Value when;
            const std::int64_t dt = zel::TDateTime::Now().msecs();
            when.set_datetime_ms(dt);
            if (send(kRelease, *p, i, {{"DTLIBEINCONS", when}, {"CDOPERLIBE", text(code_)}}) != Outcome::Ok) return;
            zel::PacketReader rr(*p);
            released_.push_back({{rr.text(i, "CDFILIAL").toStdString(), rr.text(i, "NRPEDIDO").toStdString(),
                                  rr.text(i, "NRINCONSPED").toStdString()},
                                 code_,
                                 dt});
            if (s_.killed.load()) ++f_.releasesAfterKill;
            if (s_.outageOver()) ++f_.releasesAfterOutage;
        }
        fetch(order);
    }

    Shared& s_;
    int index_;
    std::string code_, token_;
    std::mt19937_64 rng_;
    std::shared_ptr<grpc::Channel> channel_;
    std::unique_ptr<Zel08100::rdmIncPed::Stub> stub_;
    grpc::Status lastStatus_;
    bool outageRefused_ = false; // the last call was refused while the database was away
    Figures f_;
    std::vector<Release> released_;
    std::set<std::string> doneShared_; // orders with nothing left to do
};

// ---- preparation and checks ---------------------------------------------------

void prepareOperators(DbConn& c, const Config& cfg)
{
    const DbValue like[] = {Text("C%")};
    const std::int64_t have = c.query("SELECT COUNT(*) FROM OPERADOR WHERE CDOPERADOR LIKE ?", like).i64(0, 0);
    if (have >= cfg.operators) return;
    const std::string hash = HashPassword(kPassword);
    for (int i = int(have); i < cfg.operators; ++i) {
        char code[16];
        std::snprintf(code, sizeof code, "C%04d", i + 1);
        AddOperatorHashed(c, code, "Operador de carga " + std::to_string(i + 1), cfg.branch, false, hash);
        Grant(c, code, cfg.branch, "01");
    }
}

struct Checks {
    int failed = 0;
    void expect(bool ok, const std::string& what)
    {
        std::printf("  %s %s\n", ok ? "ok  " : "FAIL", what.c_str());
        if (!ok) ++failed;
    }
};

int checkDatabase(DbConn& c, const Shared& s, std::int64_t histBefore)
{
    Checks k;
    // Every release an operator knows stored: in the history exactly once
    // with its stamp, and the inconsistency keeps that stamp.
    std::map<std::string, int> historyOf;
    DbRows h = c.query("SELECT CDFILIAL, NRPEDIDO, NRINCONSPED, CDOPERLIBE, DTLIBEINCONS, NRHISTLIB FROM HISTLIBINC");
    std::map<std::string, std::pair<std::string, std::int64_t>> stampOf;
    long newRows = 0;
    for (std::size_t i = 0; i < h.size(); ++i) {
        const std::string key = h.text(i, 0) + "/" + h.text(i, 1) + "/" + h.text(i, 2);
        ++historyOf[key];
        stampOf[key] = {h.text(i, 3), h.i64(i, 4)};
        if (h.i64(i, 5) > histBefore) ++newRows;
    }
    long missing = 0, wrongStamp = 0;
    std::set<std::string> ours;
    for (const Release& r : s.releases) {
        const std::string key = r.key[0] + "/" + r.key[1] + "/" + r.key[2];
        ours.insert(key);
        auto it = stampOf.find(key);
        if (it == stampOf.end()) {
            ++missing;
            continue;
        }
        if (it->second.first != r.operador || it->second.second != r.dt) ++wrongStamp;
    }
    k.expect(missing == 0 && wrongStamp == 0,
             std::to_string(s.releases.size()) + " releases told to operators are in the history with their stamps (" +
                 std::to_string(missing) + " missing, " + std::to_string(wrongStamp) + " with another stamp)");
    long twice = 0;
    for (const auto& [key, n] : historyOf)
        if (n > 1) ++twice;
    k.expect(twice == 0, "no inconsistency released twice (" + std::to_string(twice) + " with more history rows)");
    k.expect(newRows == long(ours.size()) && ours.size() == s.releases.size(),
             std::to_string(newRows) + " history rows written during the run, each a release an operator was told of");
    DbRows inc = c.query("SELECT CDFILIAL, NRPEDIDO, NRINCONSPED, CDOPERLIBE, DTLIBEINCONS FROM INCONSPED "
                         "WHERE DTLIBEINCONS IS NOT NULL");
    long lost = 0;
    for (std::size_t i = 0; i < inc.size(); ++i) {
        const std::string key = inc.text(i, 0) + "/" + inc.text(i, 1) + "/" + inc.text(i, 2);
        auto it = stampOf.find(key);
        if (it == stampOf.end() || it->second.first != inc.text(i, 3) || it->second.second != inc.i64(i, 4)) ++lost;
    }
    k.expect(lost == 0, std::to_string(inc.size()) + " released inconsistencies keep the stamp of their history (" +
                            std::to_string(lost) + " do not)");
    return k.failed;
}

double percentile(std::vector<double>& v, double q)
{
    if (v.empty()) return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(q * double(v.size())))];
}

std::string withSchema(const std::string& base, const std::string& schema)
{
    return base + (base.find('?') == std::string::npos ? "?" : "&") + "options=-csearch_path%3D" + schema;
}

int run(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Simulated operators against one logical application server "
                                               "(see the comment at the top of bench/zel_load.cpp)."));
    p.addHelpOption();
    auto option = [&](const char* name, const char* help, const char* value = nullptr) {
        const QCommandLineOption o =
            value ? QCommandLineOption(QString::fromLatin1(name), QString::fromUtf8(help), QString::fromLatin1(value))
                  : QCommandLineOption(QString::fromLatin1(name), QString::fromUtf8(help));
        p.addOption(o);
        return o;
    };
    const auto spawn = option("spawn", "Start N server processes over a fresh database.", "N");
    const auto servers = option("servers", "Addresses of running server processes.", "ADDR[,ADDR...]");
    const auto db = option("db", "Database URL (default: $ZEL_TEST_PG_URL).", "URL");
    const auto operators = option("operators", "Simulated operators (64).", "N");
    const auto seconds = option("seconds", "Length of the run (20).", "S");
    const auto conflicts = option("conflicts", "Share of orders every operator works on (10).", "PCT");
    const auto killAfter = option("kill-after", "Kill one server process this far into the run.", "S");
    const auto killPid = option("kill-pid", "The process to kill (default: the first spawned).", "PID");
    const auto killSignal = option("kill-signal", "KILL (default) or TERM.", "SIGNAL");
    const auto orders = option("orders", "Orders seeded with --spawn (60000).", "N");
    const auto branch = option("branch", "Branch worked on (0001).", "CODE");
    const auto serverBin = option("server-bin", "The zel-server executable.", "PATH");
    const auto connections = option("db-connections", "Database connections of each spawned process.", "N");
    const auto serverCpus =
        option("server-cpus", "CPUs of the spawned processes: one item of the list each, in turn.", "LIST");
    const auto cpuQuota = option("server-cpu-quota",
                                 "At most this many cores for each spawned process (0.4: 40 % of one), "
                                 "as a smaller machine of its own would give it (needs root).",
                                 "CORES");
    const auto outageAfter = option("outage-after", "Run --outage-cmd this far into the run.", "S");
    const auto outageCmd =
        option("outage-cmd", "A shell command that takes the database away and back (a restart).", "CMD");
    const auto outageGrace =
        option("outage-grace", "Seconds after the command returns that calls may still be refused (5).", "S");
    const auto keep = option("keep", "Leave the spawned database in place.");
    const auto smokeRun = option("smoke", "A few seconds: 16 operators, 2 processes, one killed after 2 s.");
    if (!p.parse(args)) fail(p.errorText().toStdString());
    if (p.isSet(QStringLiteral("help"))) {
        std::printf("%s", qPrintable(p.helpText()));
        return 0;
    }
    auto number = [&](const QCommandLineOption& o, double fallback) {
        if (!p.isSet(o)) return fallback;
        bool ok = false;
        const double v = p.value(o).toDouble(&ok);
        if (!ok) fail("--" + o.names().front().toStdString() + " takes a number");
        return v;
    };
    Config cfg;
    cfg.spawn = int(number(spawn, 0));
    cfg.servers = p.value(servers).toStdString();
    cfg.db = p.value(db).toStdString();
    cfg.operators = int(number(operators, cfg.operators));
    cfg.seconds = number(seconds, cfg.seconds);
    cfg.conflictPct = int(number(conflicts, cfg.conflictPct));
    cfg.killAfter = number(killAfter, cfg.killAfter);
    cfg.killPid = pid_t(number(killPid, 0));
    if (p.isSet(killSignal)) {
        if (p.value(killSignal) == QLatin1String("TERM"))
            cfg.killSignal = SIGTERM;
        else if (p.value(killSignal) != QLatin1String("KILL"))
            fail("--kill-signal takes KILL or TERM");
    }
    cfg.orders = int(number(orders, cfg.orders));
    if (p.isSet(branch)) cfg.branch = p.value(branch).toStdString();
    cfg.serverBin = p.value(serverBin).toStdString();
    cfg.dbConnections = int(number(connections, 0));
    for (const QString& item : p.value(serverCpus).split(QLatin1Char(','), Qt::SkipEmptyParts))
        cfg.serverCpus.push_back(item.toStdString());
    cfg.serverCpuQuota = number(cpuQuota, 0);
    cfg.keep = p.isSet(keep);
    cfg.outageAfter = number(outageAfter, -1);
    cfg.outageCmd = p.value(outageCmd).toStdString();
    cfg.outageGrace = number(outageGrace, cfg.outageGrace);
    if ((cfg.outageAfter >= 0) != !cfg.outageCmd.empty()) fail("--outage-after and --outage-cmd go together");
    const bool smoke = p.isSet(smokeRun);
    if (smoke) {
        if (!cfg.spawn && cfg.servers.empty()) cfg.spawn = 2;
        cfg.operators = 16;
        cfg.seconds = 4;
        if (cfg.killAfter < 0) cfg.killAfter = 2;
        cfg.orders = 3000;
        cfg.conflictPct = 30;
    }
    if (cfg.db.empty() && std::getenv("ZEL_TEST_PG_URL")) cfg.db = std::getenv("ZEL_TEST_PG_URL");
    if (cfg.db.empty()) fail("name the database with --db URL (or set ZEL_TEST_PG_URL)");
    if (!cfg.spawn == cfg.servers.empty()) fail("give either --spawn N or --servers ADDR[,ADDR...]");
    if (cfg.operators < 1 || cfg.operators > 9999) fail("--operators takes 1 to 9999");
    if (p.isSet(cpuQuota) && !(cfg.serverCpuQuota > 0)) fail("--server-cpu-quota takes a number of cores above 0");
    if (cfg.serverCpuQuota > 0 && !cfg.spawn) fail("--server-cpu-quota applies to the processes of --spawn");
    if (cfg.serverBin.empty()) cfg.serverBin = zel::bench::DefaultServerBin();

    // The database: a fresh one for a spawned run.
    std::string dbUrl = cfg.db;
    std::string schema, sqliteFile;
    if (cfg.spawn) {
        if (DialectOf(cfg.db) == Dialect::Postgres) {
            schema = "zel_load_" + std::to_string(::getpid());
            OpenPostgres(cfg.db)->script("CREATE SCHEMA " + schema);
            dbUrl = withSchema(cfg.db, schema);
        } else {
            sqliteFile = cfg.db.substr(7);
            if (std::filesystem::exists(sqliteFile)) fail(sqliteFile + " exists: --spawn seeds a new database");
        }
    }
    std::vector<zel::bench::ChildServer> procs;
    std::vector<std::unique_ptr<zel::bench::CpuQuota>> quotas; // one per spawned process
    auto cleanup = [&] {
        for (auto& p : procs)
            zel::bench::StopServer(p);
        quotas.clear();
        if (cfg.keep) return;
        if (!schema.empty()) OpenPostgres(cfg.db)->script("DROP SCHEMA " + schema + " CASCADE");
        if (!sqliteFile.empty())
            for (const char* ext : {"", "-wal", "-shm"})
                std::filesystem::remove(sqliteFile + ext);
    };
    int code = 0;
    try {
        auto c = OpenConnection(dbUrl);
        if (cfg.spawn) {
            Migrate(*c);
            SeedOptions o;
            o.branches = 1;
            o.orders = cfg.orders;
            o.seed = 12;
            const auto t0 = Clock::now();
            const auto st = Seed(*c, o);
            std::printf("seeded %ld orders (%ld inconsistencies) in %.1f s\n", st.orders, st.inconsistencies,
                        std::chrono::duration<double>(Clock::now() - t0).count());
        }
        prepareOperators(*c, cfg);
        const std::int64_t histBefore = c->query("SELECT COALESCE(MAX(NRHISTLIB), 0) FROM HISTLIBINC").i64(0, 0);

        Shared s;
        s.cfg = &cfg;
        s.dbUrl = dbUrl;
        s.lookBack = std::make_unique<Database>(dbUrl, 4);
        if (cfg.spawn) {
            QStringList list;
            for (int i = 0; i < cfg.spawn; ++i) {
                const std::string cpus =
                    cfg.serverCpus.empty() ? std::string() : cfg.serverCpus[std::size_t(i) % cfg.serverCpus.size()];
                procs.push_back(zel::bench::StartServer(cfg.serverBin, dbUrl, cfg.dbConnections, cpus));
                if (cfg.serverCpuQuota > 0) {
                    quotas.push_back(std::make_unique<zel::bench::CpuQuota>(
                        "zel-load-" + std::to_string(::getpid()) + "-" + std::to_string(i), cfg.serverCpuQuota));
                    quotas.back()->add(procs.back().pid);
                }
                list << QString::fromStdString(procs.back().address);
            }
            cfg.servers = list.join(QLatin1Char(',')).toStdString();
            if (cfg.killAfter >= 0 && !cfg.killPid) cfg.killPid = procs.front().pid;
        }
        QString why;
        if (!zel::ParseServerAddresses(QString::fromStdString(cfg.servers), s.addresses, &why)) fail(why.toStdString());
        zel::server::TuneRuntime();

        // The branch's pending orders: a few for everyone, the rest shared out.
        const DbValue pb[] = {Text(cfg.branch)};
        DbRows pending = c->query(Sql::NrPedido, pb);
        const std::size_t nContended =
            std::min<std::size_t>(pending.size(), std::size_t(std::max(8, cfg.operators / 4)));
        for (std::size_t i = 0; i < pending.size(); ++i)
            (i < nContended ? s.contended : s.own).push_back(pending.text(i, 1));
        std::string setup = DialectOf(dbUrl) == Dialect::Postgres ? "PostgreSQL" : "SQLite";
        if (cfg.dbConnections) setup += ", " + std::to_string(cfg.dbConnections) + " connections a process";
        if (cfg.serverCpuQuota > 0) {
            char q[64];
            std::snprintf(q, sizeof q, ", at most %.2g of a core a process", cfg.serverCpuQuota);
            setup += q;
        }
        std::printf("zel-load: %d operators, %d%% of their orders shared, %.0f s against %s (%s)\n", cfg.operators,
                    cfg.conflictPct, cfg.seconds, cfg.servers.c_str(), setup.c_str());
        std::fflush(stdout);

        std::vector<std::unique_ptr<Operator>> ops;
        for (int i = 0; i < cfg.operators; ++i)
            ops.push_back(std::make_unique<Operator>(s, i));
        {
            // Everyone logs in first; the day's work is timed on its own.
            const auto l0 = Clock::now();
            std::vector<std::thread> logins;
            std::atomic<int> in{0};
            for (auto& op : ops)
                logins.emplace_back([&op, &in] { in += op->start() ? 1 : 0; });
            for (auto& t : logins)
                t.join();
            std::printf("  %d of %d operators logged in in %.1f s\n", in.load(), cfg.operators,
                        std::chrono::duration<double>(Clock::now() - l0).count());
            std::fflush(stdout);
        }
        const auto t0 = Clock::now();
        s.t0 = t0;
        std::vector<std::thread> threads;
        for (auto& op : ops)
            threads.emplace_back([&op] { op->run(); });
        std::thread killer;
        if (cfg.killAfter >= 0 && cfg.killPid) {
            killer = std::thread([&] {
                const auto until = t0 + std::chrono::duration<double>(cfg.killAfter);
                while (!s.stop.load() && Clock::now() < until)
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                if (s.stop.load()) return;
                kill(cfg.killPid, cfg.killSignal);
                s.killed = true;
                for (auto& p : procs)
                    if (p.pid == cfg.killPid) {
                        waitpid(p.pid, nullptr, 0);
                        p.running = false;
                    }
                std::printf("  %.1f s: server process %d killed (%s)\n",
                            std::chrono::duration<double>(Clock::now() - t0).count(), int(cfg.killPid),
                            cfg.killSignal == SIGKILL ? "SIGKILL" : "SIGTERM");
                std::fflush(stdout);
            });
        }
        std::thread outage;
        int outageStatus = -1;
        double outageFrom = 0, outageTo = 0;
        if (cfg.outageAfter >= 0) {
            outage = std::thread([&] {
                const auto until = t0 + std::chrono::duration<double>(cfg.outageAfter);
                while (!s.stop.load() && Clock::now() < until)
                    std::this_thread::sleep_for(std::chrono::milliseconds(20));
                if (s.stop.load()) return;
                outageFrom = std::chrono::duration<double>(Clock::now() - t0).count();
                std::printf("  %.1f s: %s\n", outageFrom, cfg.outageCmd.c_str());
                std::fflush(stdout);
                s.outageStarted = true;
                outageStatus = std::system(cfg.outageCmd.c_str());
                const auto end = Clock::now();
                s.outageEnded = end.time_since_epoch().count();
                outageTo = std::chrono::duration<double>(end - t0).count();
                std::printf("  %.1f s: the command returned (status %d)\n", outageTo, outageStatus);
                std::fflush(stdout);
            });
        }
        while (Clock::now() - t0 < std::chrono::duration<double>(cfg.seconds))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        s.stop = true;
        for (auto& t : threads)
            t.join();
        if (killer.joinable()) killer.join();
        if (outage.joinable()) outage.join();
        const double secs = std::chrono::duration<double>(Clock::now() - t0).count();

        long calls = 0;
        for (int k = 0; k < kKinds; ++k)
            calls += long(s.all.us[k].size());
        std::printf("\n  %.0f calls in %.1f s: %.0f calls per second; %zu inconsistencies released\n", double(calls),
                    secs, double(calls) / secs, s.releases.size());
        std::printf("  %-22s %9s %9s %9s\n", "call", "count", "p50 µs", "p99 µs");
        for (int k = 0; k < kKinds; ++k) {
            if (s.all.us[k].empty()) continue;
            std::printf("  %-22s %9zu %9.0f %9.0f\n", kKindNames[k], s.all.us[k].size(), percentile(s.all.us[k], 0.5),
                        percentile(s.all.us[k], 0.99));
        }
        std::printf("  conflicts refused: %ld\n", s.all.conflicts);
        if (cfg.killAfter >= 0)
            std::printf("  after the kill: %ld calls, %ld releases; sends cut off by the killed process: %ld "
                        "(%ld of them found stored), reads: %ld\n",
                        s.all.callsAfterKill, s.all.releasesAfterKill, s.all.cut, s.all.cutStored, s.all.cutReads);
        if (cfg.outageAfter >= 0)
            std::printf("  database away from %.1f s to %.1f s: %ld calls refused as unavailable (the last at %.1f s), "
                        "%ld of them sends, read back: %ld found stored; %ld releases after it\n",
                        outageFrom, outageTo, s.all.outageFailed, s.all.lastOutageFailure, s.all.outageSends,
                        s.all.outageStored, s.all.releasesAfterOutage);
        std::printf("  other failures: %ld\n", s.all.errors);
        for (const auto& e : s.all.errorSamples)
            std::printf("    %s\n", e.c_str());

        std::printf("\nchecks of the database:\n");
        Checks k;
        // A connection of before an outage may be gone with it.
        if (cfg.outageAfter >= 0) c = OpenConnection(dbUrl);
        code = checkDatabase(*c, s, histBefore) ? 1 : 0;
        k.expect(s.all.errors == 0, "no call failed for another reason than a conflict");
        k.expect(!s.releases.empty(), "the operators released inconsistencies");
        // Whether two operators happened to race for one row is chance: a
        // short run with few operators may see none, which is no failure of
        // the server, only a run that did not try its refusals. The smoke run
        // (CI) shares enough orders that it always does, and must.
        if (cfg.conflictPct > 0 && cfg.operators > 1) {
            if (smoke || s.all.conflicts > 0)
                k.expect(s.all.conflicts > 0, "conflicting sends were refused");
            else
                std::printf("  note: no two operators raced for one row, so no refusal was tried (more operators, "
                            "a longer run or a larger --conflicts)\n");
        }
        if (s.killed) k.expect(s.all.releasesAfterKill > 0, "the work went on after the kill");
        if (cfg.outageAfter >= 0) {
            k.expect(s.outageEnded.load() != 0 && outageStatus == 0, "the outage command ran and succeeded");
            k.expect(s.all.releasesAfterOutage > 0, "the work went on after the database came back");
        }
        if (k.failed) code = 1;
        std::printf("%s\n", code ? "zel-load: CHECKS FAILED" : "zel-load: all checks passed");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "zel-load: %s\n", e.what());
        code = 2;
    }
    cleanup();
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    std::signal(SIGPIPE, SIG_IGN);
    return run(argc, argv);
}
