// PostgreSQL connection over libpq. Every statement runs asynchronously so
// that the call's deadline is honoured: when it passes, the statement is
// cancelled on the server and the call fails with a timeout.
//
// A transaction costs as few round trips to the database as its reads
// allow: BEGIN is not sent on its own but with the transaction's first
// statement, and statements whose result is not needed before the commit
// (queue()) go with the next read or with COMMIT, in one pipeline. A write
// that reads its row and then updates it thus takes two round trips instead
// of four.
#include "server/Db.h"

#include <charconv>
#include <cstring>
#include <libpq-fe.h>
#include <map>
#include <poll.h>
#include <utility>

namespace zel::server {
namespace {

constexpr int kCancelWaitMs = 10'000;
// Queued statements sent in one pipeline at most: their answers (some 20
// bytes each) must fit the socket's buffers while the statements are still
// being sent, since the connection sends and reads in turn.
constexpr std::size_t kMaxQueued = 256;

struct ResultPtr {
    PGresult* r = nullptr;
    ~ResultPtr() { PQclear(r); }
};

class PgConn final : public DbConn {
public:
    explicit PgConn(const std::string& url)
    {
        // Defaults first: settings in the URL override them.
        const char* keys[] = {"connect_timeout", "application_name", "dbname", "client_encoding", nullptr};
        const char* vals[] = {"5", "zel-server", url.c_str(), "UTF8", nullptr};
        conn_ = PQconnectdbParams(keys, vals, 1);
        if (!conn_ || PQstatus(conn_) != CONNECTION_OK) {
            std::string msg = conn_ ? PQerrorMessage(conn_) : "out of memory";
            PQfinish(conn_);
            conn_ = nullptr;
            throw DbError(DbError::Kind::Unavailable, "postgresql: " + msg);
        }
        PQsetnonblocking(conn_, 0);
        PQsetNoticeProcessor(
            conn_, [](void*, const char*) {}, nullptr);
    }

    ~PgConn() override { PQfinish(conn_); }

    Dialect dialect() const override { return Dialect::Postgres; }

    int each(std::string_view sql, std::span<const DbValue> params, const RowFn& row) override
    {
        ResultPtr res{run(sql, params)};
        const int cols = PQnfields(res.r);
        const int n = PQntuples(res.r);
        // One row's cells, reused from row to row (texts keep their buffers).
        std::vector<DbValue> cells(static_cast<std::size_t>(cols), DbValue{});
        for (int r = 0; r < n; ++r) {
            for (int c = 0; c < cols; ++c) {
                DbValue& cell = cells[std::size_t(c)];
                if (PQgetisnull(res.r, r, c)) {
                    cell = std::monostate{};
                    continue;
                }
                const char* p = PQgetvalue(res.r, r, c);
                const auto len = std::size_t(PQgetlength(res.r, r, c));
                if (auto* text = std::get_if<std::string>(&cell))
                    text->assign(p, len);
                else
                    cell.emplace<std::string>(p, len);
            }
            row(cells);
        }
        return cols;
    }

    std::int64_t exec(std::string_view sql, std::span<const DbValue> params) override
    {
        ResultPtr res{run(sql, params)};
        const char* t = PQcmdTuples(res.r);
        std::int64_t n = 0;
        if (t && *t) std::from_chars(t, t + std::strlen(t), n);
        return n;
    }

    void queue(std::string_view sql, std::span<const DbValue> params) override
    {
        // Outside a transaction there is no commit to go with.
        if (!pendingBegin_ && PQtransactionStatus(conn_) == PQTRANS_IDLE) {
            exec(sql, params);
            return;
        }
        checkDeadline();
        queued_.push_back({std::string(sql), std::vector<DbValue>(params.begin(), params.end())});
        if (queued_.size() >= kMaxQueued) ResultPtr{pipeline(nullptr, false)};
    }

    void script(std::string_view sql) override
    {
        sendPending();
        checkDeadline();
        if (!PQsendQuery(conn_, std::string(sql).c_str())) lost();
        ResultPtr res{collect()};
    }

    void bulkInsert(std::string_view table, const std::vector<std::string>& columns,
                    const std::function<bool(std::vector<DbValue>&)>& next) override
    {
        std::string sql = "COPY " + std::string(table) + " (";
        for (std::size_t i = 0; i < columns.size(); ++i)
            sql += (i ? "," : "") + columns[i];
        sql += ") FROM STDIN";
        sendPending();
        {
            if (!PQsendQuery(conn_, sql.c_str())) lost();
            PGresult* r = PQgetResult(conn_);
            const bool ok = r && PQresultStatus(r) == PGRES_COPY_IN;
            std::string err = r ? PQresultErrorMessage(r) : PQerrorMessage(conn_);
            PQclear(r);
            if (!ok) throw DbError(DbError::Kind::Other, "postgresql: " + err);
        }
        std::vector<DbValue> row(columns.size());
        std::string buf;
        buf.reserve(1 << 20);
        auto flush = [&] {
            if (!buf.empty() && PQputCopyData(conn_, buf.data(), int(buf.size())) != 1) lost();
            buf.clear();
        };
        while (next(row)) {
            for (std::size_t i = 0; i < row.size(); ++i) {
                if (i) buf += '\t';
                appendCopy(buf, row[i]);
            }
            buf += '\n';
            if (buf.size() > (1 << 20) - 4096) flush();
        }
        flush();
        if (PQputCopyEnd(conn_, nullptr) != 1) lost();
        ResultPtr res{collect()};
    }

    // BEGIN goes with the transaction's first statement.
    void begin(bool) override { pendingBegin_ = true; }
    void commit() override
    {
        // A transaction that sent nothing has nothing to commit.
        if (pendingBegin_ && queued_.empty()) {
            pendingBegin_ = false;
            return;
        }
        ResultPtr{pipeline(nullptr, true)};
    }
    void rollback() override
    {
        // What was never sent is simply dropped.
        pendingBegin_ = false;
        queued_.clear();
        if (PQstatus(conn_) == CONNECTION_OK && PQtransactionStatus(conn_) != PQTRANS_IDLE) {
            auto saved = deadline_;
            deadline_.reset();
            try {
                script("ROLLBACK");
            } catch (...) {
                deadline_ = saved;
                throw;
            }
            deadline_ = saved;
        }
    }

    void setDeadline(std::optional<Deadline> d) override { deadline_ = d; }
    bool healthy() const override
    {
        return !broken_ && !pendingBegin_ && queued_.empty() && PQstatus(conn_) == CONNECTION_OK &&
               PQtransactionStatus(conn_) == PQTRANS_IDLE && PQpipelineStatus(conn_) == PQ_PIPELINE_OFF;
    }

private:
    // A statement whose result is not needed before the commit.
    struct Queued {
        std::string sql;
        std::vector<DbValue> params;
    };

    // A statement run now: on its own, or in one pipeline with what is
    // pending (BEGIN, queued statements).
    PGresult* run(std::string_view sql, std::span<const DbValue> params)
    {
        if (pendingBegin_ || !queued_.empty()) {
            const Statement last{sql, params};
            return pipeline(&last, false);
        }
        return runPrepared(sql, params);
    }

    // Sends what is pending before a command that cannot be pipelined.
    void sendPending()
    {
        if (pendingBegin_ || !queued_.empty()) ResultPtr{pipeline(nullptr, false)};
    }
    static void appendCopy(std::string& buf, const DbValue& v)
    {
        if (std::holds_alternative<std::monostate>(v)) {
            buf += "\\N";
        } else if (auto i = std::get_if<std::int64_t>(&v)) {
            char t[32];
            auto r = std::to_chars(t, t + sizeof t, *i);
            buf.append(t, r.ptr);
        } else if (auto d = std::get_if<double>(&v)) {
            char t[64];
            auto r = std::to_chars(t, t + sizeof t, *d);
            buf.append(t, r.ptr);
        } else {
            for (char c : std::get<std::string>(v)) {
                switch (c) {
                case '\\':
                    buf += "\\\\";
                    break;
                case '\t':
                    buf += "\\t";
                    break;
                case '\n':
                    buf += "\\n";
                    break;
                case '\r':
                    buf += "\\r";
                    break;
                default:
                    buf += c;
                }
            }
        }
    }

    // "?" placeholders become $1, $2, ... (outside quoted literals).
    static std::string numberPlaceholders(std::string_view sql)
    {
        std::string out;
        out.reserve(sql.size() + 16);
        int n = 0;
        bool quoted = false;
        for (char c : sql) {
            if (c == '\'') quoted = !quoted;
            if (c == '?' && !quoted) {
                out += '$';
                out += std::to_string(++n);
            } else {
                out += c;
            }
        }
        return out;
    }

    std::string nextName()
    {
        std::string name = "z";
        name += std::to_string(++statements_);
        return name;
    }

    // Sends a prepared statement's execution. Texts are passed as they are (a
    // std::string ends with a NUL); numbers are written into texts of their own.
    void sendPrepared(const std::string& name, std::span<const DbValue> params)
    {
        std::vector<std::string> numbers;
        numbers.reserve(params.size());
        std::vector<const char*> values(params.size());
        for (std::size_t i = 0; i < params.size(); ++i) {
            const DbValue& v = params[i];
            if (std::holds_alternative<std::monostate>(v)) {
                values[i] = nullptr;
            } else if (auto s = std::get_if<std::string>(&v)) {
                values[i] = s->c_str();
            } else {
                char t[64];
                auto r = std::holds_alternative<std::int64_t>(v)
                             ? std::to_chars(t, t + sizeof t, std::get<std::int64_t>(v))
                             : std::to_chars(t, t + sizeof t, std::get<double>(v));
                values[i] = numbers.emplace_back(t, r.ptr).c_str();
            }
        }
        if (!PQsendQueryPrepared(conn_, name.c_str(), int(params.size()), values.data(), nullptr, nullptr, 0)) lost();
    }

    PGresult* runPrepared(std::string_view sql, std::span<const DbValue> params)
    {
        checkDeadline();
        auto it = cache_.find(sql);
        if (it == cache_.end()) {
            std::string name = nextName();
            if (!PQsendPrepare(conn_, name.c_str(), numberPlaceholders(sql).c_str(), 0, nullptr)) lost();
            ResultPtr prep{collect()};
            it = cache_.emplace(std::string(sql), std::move(name)).first;
        }
        sendPrepared(it->second, params);
        return collect();
    }

    struct Statement {
        std::string_view sql;
        std::span<const DbValue> params;
    };

    // One round trip: BEGIN when it is pending, the queued statements, `last`
    // when given and COMMIT when asked, in one pipeline. Every answer is read
    // up to the pipeline's end, so that the connection is ready for the next
    // command whatever failed; the first failure is raised then (the ones
    // after it were not run). Returns the result of `last`.
    PGresult* pipeline(const Statement* last, bool commit)
    {
        checkDeadline();
        std::vector<Queued> queued;
        queued.swap(queued_);
        const bool begin = std::exchange(pendingBegin_, false);

        // What each command sent answers, in order.
        enum class Kind { Other, Prepare, Last };
        struct Sent {
            Kind kind;
            std::string key; // a statement prepared: its text
            std::string name;
        };
        std::vector<Sent> sent;
        sent.reserve(queued.size() * 2 + 4);
        std::map<std::string, std::string, std::less<>> preparing; // prepared in this pipeline
        auto nameOf = [&](std::string_view sql) -> const std::string& {
            if (auto it = cache_.find(sql); it != cache_.end()) return it->second;
            if (auto it = preparing.find(sql); it != preparing.end()) return it->second;
            std::string name = nextName();
            if (!PQsendPrepare(conn_, name.c_str(), numberPlaceholders(sql).c_str(), 0, nullptr)) lost();
            sent.push_back({Kind::Prepare, std::string(sql), name});
            return preparing.emplace(std::string(sql), std::move(name)).first->second;
        };
        auto plain = [&](const char* sql) {
            if (!PQsendQueryParams(conn_, sql, 0, nullptr, nullptr, nullptr, nullptr, 0)) lost();
            sent.push_back({Kind::Other, {}, {}});
        };

        if (!PQenterPipelineMode(conn_)) lost();
        if (begin) plain("BEGIN");
        for (const Queued& q : queued) {
            sendPrepared(nameOf(q.sql), q.params);
            sent.push_back({Kind::Other, {}, {}});
        }
        if (last) {
            sendPrepared(nameOf(last->sql), last->params);
            sent.push_back({Kind::Last, {}, {}});
        }
        if (commit) plain("COMMIT");
        if (!PQpipelineSync(conn_)) lost();

        ResultPtr result; // of `last`; freed also when the connection is lost on the way
        std::string error, state;
        bool cancelled = false;
        std::size_t at = 0; // the command whose answers come now
        for (;;) {
            awaitResult(cancelled);
            PGresult* r = PQgetResult(conn_);
            if (!r) {
                // The end of a command's answers.
                if (++at > sent.size()) lost();
                continue;
            }
            const auto st = PQresultStatus(r);
            if (st == PGRES_PIPELINE_SYNC) {
                PQclear(r);
                break;
            }
            if (st == PGRES_FATAL_ERROR || st == PGRES_NONFATAL_ERROR || st == PGRES_BAD_RESPONSE) {
                if (error.empty()) {
                    error = PQresultErrorMessage(r);
                    const char* code = PQresultErrorField(r, PG_DIAG_SQLSTATE);
                    state = code ? code : "";
                }
            } else if (st != PGRES_PIPELINE_ABORTED && at < sent.size()) {
                if (sent[at].kind == Kind::Prepare) {
                    cache_.emplace(std::move(sent[at].key), std::move(sent[at].name));
                } else if (sent[at].kind == Kind::Last) {
                    PQclear(std::exchange(result.r, r));
                    continue;
                }
            }
            PQclear(r);
        }
        if (!PQexitPipelineMode(conn_) || PQstatus(conn_) != CONNECTION_OK) lost();
        if (!error.empty()) throw DbError(classify(state, cancelled), "postgresql: " + error);
        return std::exchange(result.r, nullptr);
    }

    // Waits until the next result can be read without blocking, honouring the
    // deadline: once it passes, the statement running is cancelled on the
    // server; a server that does not even answer the cancel loses the
    // connection.
    void awaitResult(bool& cancelled)
    {
        while (PQisBusy(conn_)) {
            // Without a deadline, wait as long as the statement runs (a bulk
            // load may take minutes); the socket's keepalives notice a dead peer.
            int waitMs = -1;
            if (deadline_ && !cancelled) {
                auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline_ -
                                                                                  std::chrono::steady_clock::now());
                waitMs = int(std::max<std::int64_t>(0, left.count()));
            } else if (cancelled) {
                waitMs = kCancelWaitMs;
            }
            pollfd p{PQsocket(conn_), POLLIN, 0};
            int rc = ::poll(&p, 1, waitMs);
            if (rc == 0 && !cancelled) {
                if (PGcancel* c = PQgetCancel(conn_)) {
                    char err[256];
                    PQcancel(c, err, sizeof err);
                    PQfreeCancel(c);
                }
                cancelled = true;
                continue;
            }
            if (rc == 0) {
                // The server does not even answer the cancel: give the connection up.
                broken_ = true;
                throw DbError(DbError::Kind::Unavailable, "postgresql: no answer from the server");
            }
            if (rc < 0 && errno == EINTR) continue;
            if (!PQconsumeInput(conn_)) lost();
        }
    }

    // Waits for the statement's results, honouring the deadline; returns the
    // last result, or raises for an error.
    PGresult* collect()
    {
        bool cancelled = false;
        awaitResult(cancelled);
        PGresult* last = nullptr;
        std::string error;
        std::string state;
        while (PGresult* r = PQgetResult(conn_)) {
            auto st = PQresultStatus(r);
            if (st == PGRES_FATAL_ERROR || st == PGRES_NONFATAL_ERROR || st == PGRES_BAD_RESPONSE) {
                if (error.empty()) {
                    error = PQresultErrorMessage(r);
                    const char* s = PQresultErrorField(r, PG_DIAG_SQLSTATE);
                    state = s ? s : "";
                }
                PQclear(r);
                continue;
            }
            PQclear(last);
            last = r;
        }
        if (PQstatus(conn_) != CONNECTION_OK) {
            PQclear(last);
            lost();
        }
        if (!error.empty()) {
            PQclear(last);
            throw DbError(classify(state, cancelled), "postgresql: " + error);
        }
        return last;
    }

    static DbError::Kind classify(const std::string& state, bool cancelled)
    {
        if (state == "57014" || cancelled) return DbError::Kind::Timeout;
        if (state.rfind("23", 0) == 0) return DbError::Kind::Constraint;
        if (state == "40001" || state == "40P01" || state == "55P03") return DbError::Kind::Busy;
        if (state.rfind("08", 0) == 0 || state.rfind("57P", 0) == 0 || state == "53300")
            return DbError::Kind::Unavailable;
        return DbError::Kind::Other;
    }

    void checkDeadline() const
    {
        if (deadline_ && std::chrono::steady_clock::now() >= *deadline_)
            throw DbError(DbError::Kind::Timeout, "deadline exceeded");
    }

    [[noreturn]] void lost()
    {
        broken_ = true;
        throw DbError(DbError::Kind::Unavailable, std::string("postgresql: ") + PQerrorMessage(conn_));
    }

    PGconn* conn_ = nullptr;
    StatementCache<std::string> cache_;
    int statements_ = 0; // statements prepared, for their names
    bool pendingBegin_ = false;
    std::vector<Queued> queued_;
    std::optional<Deadline> deadline_;
    bool broken_ = false;
};

} // namespace

std::unique_ptr<DbConn> OpenPostgres(const std::string& url)
{
    return std::make_unique<PgConn>(url);
}

} // namespace zel::server
