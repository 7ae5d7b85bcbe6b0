#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <variant>
#include <vector>

namespace zel::server {

// A bound parameter or a result cell: null, text (UTF-8), 64-bit integer
// (also date-times, as milliseconds since 1899-12-30) or double.
using DbValue = std::variant<std::monostate, std::string, std::int64_t, double>;

enum class Dialect { Sqlite, Postgres };

// A failure of the database, classified so that callers can tell the user
// what happened without showing driver text.
class DbError : public std::runtime_error {
public:
    enum class Kind {
        Busy,        // locked by others longer than we wait
        Unavailable, // cannot connect, or the connection was lost
        Timeout,     // the call's deadline passed
        Constraint,  // a key or check constraint refused the change
        Other
    };
    DbError(Kind kind, const std::string& what) : std::runtime_error(what), kind_(kind) {}
    Kind kind() const { return kind_; }

private:
    Kind kind_;
};

// A cell as the driver delivers it (PostgreSQL: text), converted. Raise
// DbError when a text is not a number.
std::string CellText(const DbValue& v);
std::int64_t CellI64(const DbValue& v);
double CellF64(const DbValue& v);

// The rows of one query. Cells are held as the driver delivers them
// (PostgreSQL: text); the accessors convert.
class DbRows {
public:
    DbRows() = default;
    explicit DbRows(int columns) : columns_(columns) {}
    DbRows(int columns, std::vector<DbValue> cells) : columns_(columns), cells_(std::move(cells)) {}

    int columns() const { return columns_; }
    std::size_t size() const { return columns_ ? cells_.size() / std::size_t(columns_) : 0; }
    bool empty() const { return cells_.empty(); }

    const DbValue& at(std::size_t row, int col) const { return cells_[row * std::size_t(columns_) + std::size_t(col)]; }
    bool isNull(std::size_t row, int col) const { return std::holds_alternative<std::monostate>(at(row, col)); }
    std::string text(std::size_t row, int col) const;
    std::int64_t i64(std::size_t row, int col) const;
    std::optional<std::string> optText(std::size_t row, int col) const;
    std::optional<std::int64_t> optI64(std::size_t row, int col) const;

    void push(DbValue v) { cells_.push_back(std::move(v)); }
    void reserve(std::size_t rows) { cells_.reserve(rows * std::size_t(columns_)); }

private:
    int columns_ = 0;
    std::vector<DbValue> cells_;
};

using Deadline = std::chrono::steady_clock::time_point;

// Prepared statements of a connection by their text, looked up without
// copying the text of the statement at every call.
struct StatementHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
template <class Handle> using StatementCache = std::unordered_map<std::string, Handle, StatementHash, std::equal_to<>>;

// One connection. Not thread-safe: a connection is used by one thread at a
// time (the pool hands it out). Statements use "?" placeholders; the
// PostgreSQL driver numbers them. Prepared statements are cached per
// connection, keyed by their text.
class DbConn {
public:
    virtual ~DbConn() = default;
    virtual Dialect dialect() const = 0;

    // The cells of one row, valid during the call.
    using RowFn = std::function<void(std::span<const DbValue> cells)>;
    // Runs a query and hands every row to `row` as it comes, without keeping
    // the rows (a list of a million orders goes straight into its packet).
    // Returns the number of columns.
    virtual int each(std::string_view sql, std::span<const DbValue> params, const RowFn& row) = 0;
    // All the rows of a query.
    DbRows query(std::string_view sql, std::span<const DbValue> params = {});
    // Returns the number of rows changed.
    virtual std::int64_t exec(std::string_view sql, std::span<const DbValue> params = {}) = 0;
    // A statement whose result is not needed before the commit: in a
    // transaction it may be sent later, together with the next statement or
    // the commit, and its failure is raised there (the transaction then
    // commits nothing). Outside a transaction, or where the database is in
    // this process, it runs at once.
    virtual void queue(std::string_view sql, std::span<const DbValue> params = {}) { exec(sql, params); }
    // Several statements without parameters (schema scripts).
    virtual void script(std::string_view sql) = 0;

    // Bulk load: calls `next` to fill a row of `columns.size()` values until
    // it returns false. Fast path for seeding.
    virtual void bulkInsert(std::string_view table, const std::vector<std::string>& columns,
                            const std::function<bool(std::vector<DbValue>&)>& next) = 0;

    // A write transaction takes the database's write lock at once (SQLite:
    // BEGIN IMMEDIATE), so that two writers never deadlock upgrading. On
    // PostgreSQL, BEGIN goes to the database with the transaction's first
    // statement.
    virtual void begin(bool write) = 0;
    virtual void commit() = 0;
    virtual void rollback() = 0;

    // Every statement after this fails with DbError::Timeout once the point
    // has passed; nullopt removes the limit.
    virtual void setDeadline(std::optional<Deadline> deadline) = 0;
    // False when the connection cannot be used again (lost server).
    virtual bool healthy() const = 0;

    // " FOR UPDATE" where the dialect locks read rows, else empty.
    const char* forUpdate() const { return dialect() == Dialect::Postgres ? " FOR UPDATE" : ""; }
};

// Opens a connection from a URL: "sqlite:PATH" or "postgresql://...".
// Raises DbError (Unavailable) when it cannot.
std::unique_ptr<DbConn> OpenConnection(const std::string& url);
std::unique_ptr<DbConn> OpenSqlite(const std::string& path);
std::unique_ptr<DbConn> OpenPostgres(const std::string& url);
// Parses the URL's scheme only; raises std::invalid_argument for others.
Dialect DialectOf(const std::string& url);

// A pool of connections to one database, shared by the request threads.
// At most `maxOpen` connections are open at once: more concurrent calls wait
// for one (a database on a few cores serves a few busy connections faster
// than many). A connection that turned unhealthy is dropped when handed
// back, so a database that comes back after an outage is reached again with
// fresh connections.
class Database {
public:
    explicit Database(std::string url, std::size_t maxOpen = 16);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    class Lease {
    public:
        Lease(Database* db, std::unique_ptr<DbConn> c) : db_(db), conn_(std::move(c)) {}
        Lease(Lease&&) = default;
        Lease& operator=(Lease&&) = delete;
        ~Lease();
        DbConn* operator->() const { return conn_.get(); }
        DbConn& operator*() const { return *conn_; }

    private:
        Database* db_;
        std::unique_ptr<DbConn> conn_;
    };

    // Waits for a free connection until the deadline (at most 10 s), then
    // raises DbError (Busy). A new connection that cannot be opened while
    // others are open makes the call wait for one of those instead.
    Lease acquire(std::optional<Deadline> deadline = std::nullopt);
    // Closes the idle connections: after one was found lost, the others
    // most likely are too (the database restarted).
    void dropIdle();
    const std::string& url() const { return url_; }
    Dialect dialect() const { return dialect_; }

private:
    void release(std::unique_ptr<DbConn> c);
    std::string url_;
    Dialect dialect_;
    std::size_t maxOpen_;
    std::size_t open_ = 0;
    std::mutex mutex_;
    std::condition_variable freed_;
    std::vector<std::unique_ptr<DbConn>> idle_;
};

// Rolls back unless committed.
class Transaction {
public:
    Transaction(DbConn& c, bool write) : c_(c) { c_.begin(write); }
    ~Transaction();
    void commit()
    {
        c_.commit();
        done_ = true;
    }
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

private:
    DbConn& c_;
    bool done_ = false;
};

// A statement whose parameters are named (":name", a letter or "_" then
// letters, digits or "_") instead of counted. The text is turned once into
// the drivers' "?" form; a name may occur several times. bind() gives every
// name its value and puts them in the order of the placeholders: a name the
// statement lacks, one given twice or one left out is a programming error
// (std::logic_error), never a statement run with its parameters shifted.
class NamedSql {
public:
    explicit NamedSql(std::string_view text);
    const std::string& sql() const { return sql_; }
    const std::vector<std::string>& names() const { return names_; }

    struct Arg {
        std::string_view name;
        DbValue value;
    };
    std::vector<DbValue> bind(std::initializer_list<Arg> args) const;
    std::vector<DbValue> bind(std::span<const Arg> args) const;

private:
    std::string sql_;
    std::vector<std::string> names_; // distinct, in order of first use
    std::vector<std::size_t> order_; // per placeholder, its name's index
};

// Convenience for building parameter lists.
inline DbValue Text(std::string s)
{
    return DbValue(std::move(s));
}
inline DbValue Int(std::int64_t v)
{
    return DbValue(v);
}
inline DbValue OptText(const std::optional<std::string>& s)
{
    return s ? DbValue(*s) : DbValue();
}
inline DbValue OptInt(const std::optional<std::int64_t>& v)
{
    return v ? DbValue(*v) : DbValue();
}

} // namespace zel::server
