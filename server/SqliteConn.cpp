// SQLite connection: WAL journal, NORMAL synchronous, a busy handler that
// waits for the write lock up to the call's deadline (at most kBusyWait), and
// a progress handler that interrupts a statement once the deadline passed.
#include "server/Db.h"

#include <mutex>
#include <sqlite3.h>
#include <thread>

namespace zel::server {
namespace {

constexpr auto kBusyWait = std::chrono::seconds(5);

// SQLite keeps statistics of its memory by default, and every allocation of
// every connection then takes one lock of the whole process: request threads
// reading at once queue on it (and sleep and wake on it when it is taken).
// Nothing here reads those statistics. The setting only takes before SQLite
// is first used in the process; if something else got there first, the
// statistics stay on, which is only slower.
void TurnOffMemoryStatistics()
{
    static std::once_flag once;
    std::call_once(once, [] { sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0); });
}

class SqliteConn final : public DbConn {
public:
    explicit SqliteConn(const std::string& path)
    {
        TurnOffMemoryStatistics();
        int rc = sqlite3_open_v2(path.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX,
                                 nullptr);
        if (rc != SQLITE_OK) {
            std::string msg = db_ ? sqlite3_errmsg(db_) : "out of memory";
            sqlite3_close(db_);
            db_ = nullptr;
            throw DbError(DbError::Kind::Unavailable, "cannot open " + path + ": " + msg);
        }
        sqlite3_extended_result_codes(db_, 1);
        sqlite3_busy_handler(db_, &SqliteConn::onBusy, this);
        sqlite3_progress_handler(db_, 2000, &SqliteConn::onProgress, this);
        script("PRAGMA journal_mode=WAL; PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=ON; "
               "PRAGMA cache_size=-16000; PRAGMA mmap_size=268435456;");
    }

    ~SqliteConn() override
    {
        for (auto& [sql, st] : cache_)
            sqlite3_finalize(st);
        sqlite3_close_v2(db_);
    }

    Dialect dialect() const override { return Dialect::Sqlite; }

    int each(std::string_view sql, std::span<const DbValue> params, const RowFn& row) override
    {
        sqlite3_stmt* st = prepare(sql);
        Reset reset{st};
        bind(st, params);
        const int cols = sqlite3_column_count(st);
        // One row's cells, reused from row to row (texts keep their buffers).
        std::vector<DbValue> cells(static_cast<std::size_t>(cols), DbValue{});
        for (;;) {
            int rc = sqlite3_step(st);
            if (rc == SQLITE_DONE) break;
            if (rc != SQLITE_ROW) fail(rc, sql);
            for (int c = 0; c < cols; ++c) {
                DbValue& cell = cells[std::size_t(c)];
                switch (sqlite3_column_type(st, c)) {
                case SQLITE_NULL:
                    cell = std::monostate{};
                    break;
                case SQLITE_INTEGER:
                    cell = std::int64_t(sqlite3_column_int64(st, c));
                    break;
                case SQLITE_FLOAT:
                    cell = sqlite3_column_double(st, c);
                    break;
                default: {
                    auto p = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
                    const auto n = std::size_t(sqlite3_column_bytes(st, c));
                    if (auto* text = std::get_if<std::string>(&cell))
                        text->assign(p ? p : "", n);
                    else
                        cell.emplace<std::string>(p ? p : "", n);
                }
                }
            }
            row(cells);
        }
        return cols;
    }

    std::int64_t exec(std::string_view sql, std::span<const DbValue> params) override
    {
        sqlite3_stmt* st = prepare(sql);
        Reset reset{st};
        bind(st, params);
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
        }
        if (rc != SQLITE_DONE) fail(rc, sql);
        return sqlite3_changes64(db_);
    }

    void script(std::string_view sql) override
    {
        checkDeadline();
        char* err = nullptr;
        int rc = sqlite3_exec(db_, std::string(sql).c_str(), nullptr, nullptr, &err);
        if (rc != SQLITE_OK) {
            std::string msg = err ? err : "";
            sqlite3_free(err);
            throw DbError(classify(rc), "sqlite: " + msg);
        }
    }

    void bulkInsert(std::string_view table, const std::vector<std::string>& columns,
                    const std::function<bool(std::vector<DbValue>&)>& next) override
    {
        std::string sql = "INSERT INTO " + std::string(table) + " (";
        std::string marks;
        for (std::size_t i = 0; i < columns.size(); ++i) {
            sql += (i ? "," : "") + columns[i];
            marks += i ? ",?" : "?";
        }
        sql += ") VALUES (" + marks + ")";
        std::vector<DbValue> row(columns.size());
        while (next(row))
            exec(sql, row);
    }

    void begin(bool write) override { script(write ? "BEGIN IMMEDIATE" : "BEGIN"); }
    void commit() override { script("COMMIT"); }
    void rollback() override
    {
        if (!sqlite3_get_autocommit(db_)) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
    }

    void setDeadline(std::optional<Deadline> d) override { deadline_ = d; }
    bool healthy() const override { return healthy_ && sqlite3_get_autocommit(db_); }

private:
    struct Reset {
        sqlite3_stmt* st;
        ~Reset()
        {
            sqlite3_reset(st);
            sqlite3_clear_bindings(st);
        }
    };

    sqlite3_stmt* prepare(std::string_view sql)
    {
        checkDeadline();
        auto it = cache_.find(sql);
        if (it != cache_.end()) return it->second;
        sqlite3_stmt* st = nullptr;
        int rc = sqlite3_prepare_v3(db_, sql.data(), int(sql.size()), SQLITE_PREPARE_PERSISTENT, &st, nullptr);
        if (rc != SQLITE_OK) fail(rc, sql);
        cache_.emplace(std::string(sql), st);
        return st;
    }

    void bind(sqlite3_stmt* st, std::span<const DbValue> params)
    {
        for (std::size_t i = 0; i < params.size(); ++i) {
            const int n = int(i + 1);
            const DbValue& v = params[i];
            int rc = SQLITE_OK;
            if (auto s = std::get_if<std::string>(&v))
                rc = sqlite3_bind_text64(st, n, s->data(), s->size(), SQLITE_TRANSIENT, SQLITE_UTF8);
            else if (auto iv = std::get_if<std::int64_t>(&v))
                rc = sqlite3_bind_int64(st, n, *iv);
            else if (auto d = std::get_if<double>(&v))
                rc = sqlite3_bind_double(st, n, *d);
            else
                rc = sqlite3_bind_null(st, n);
            if (rc != SQLITE_OK) fail(rc, "bind");
        }
    }

    bool deadlinePassed() const { return deadline_ && std::chrono::steady_clock::now() >= *deadline_; }

    void checkDeadline() const
    {
        if (deadlinePassed()) throw DbError(DbError::Kind::Timeout, "deadline exceeded");
    }

    DbError::Kind classify(int rc) const
    {
        switch (rc & 0xff) {
        case SQLITE_BUSY:
        case SQLITE_LOCKED:
            return deadlinePassed() ? DbError::Kind::Timeout : DbError::Kind::Busy;
        case SQLITE_INTERRUPT:
            return DbError::Kind::Timeout;
        case SQLITE_CONSTRAINT:
            return DbError::Kind::Constraint;
        case SQLITE_IOERR:
        case SQLITE_CANTOPEN:
        case SQLITE_CORRUPT:
        case SQLITE_NOTADB:
        case SQLITE_FULL:
        case SQLITE_READONLY:
            return DbError::Kind::Unavailable;
        default:
            return DbError::Kind::Other;
        }
    }

    [[noreturn]] void fail(int rc, std::string_view what)
    {
        auto kind = classify(rc);
        if (kind == DbError::Kind::Unavailable) healthy_ = false;
        throw DbError(kind, std::string("sqlite: ") + sqlite3_errmsg(db_) + " in: " + std::string(what.substr(0, 120)));
    }

    static int onBusy(void* self, int count)
    {
        auto* c = static_cast<SqliteConn*>(self);
        if (count == 0) c->busySince_ = std::chrono::steady_clock::now();
        const auto now = std::chrono::steady_clock::now();
        if (now - c->busySince_ >= kBusyWait || c->deadlinePassed()) return 0;
        std::this_thread::sleep_for(std::chrono::microseconds(count < 10 ? 100 : 1000));
        return 1;
    }

    static int onProgress(void* self) { return static_cast<SqliteConn*>(self)->deadlinePassed() ? 1 : 0; }

    sqlite3* db_ = nullptr;
    StatementCache<sqlite3_stmt*> cache_;
    std::optional<Deadline> deadline_;
    std::chrono::steady_clock::time_point busySince_;
    bool healthy_ = true;
};

} // namespace

std::unique_ptr<DbConn> OpenSqlite(const std::string& path)
{
    return std::make_unique<SqliteConn>(path);
}

} // namespace zel::server
