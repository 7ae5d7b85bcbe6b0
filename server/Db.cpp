#include "server/Db.h"

#include <algorithm>
#include <charconv>

namespace zel::server {

DbRows DbConn::query(std::string_view sql, std::span<const DbValue> params)
{
    std::vector<DbValue> cells;
    const int columns =
        each(sql, params, [&](std::span<const DbValue> row) { cells.insert(cells.end(), row.begin(), row.end()); });
    return DbRows(columns, std::move(cells));
}

std::string DbRows::text(std::size_t row, int col) const
{
    return CellText(at(row, col));
}

std::int64_t DbRows::i64(std::size_t row, int col) const
{
    return CellI64(at(row, col));
}

std::string CellText(const DbValue& v)
{
    if (auto s = std::get_if<std::string>(&v)) return *s;
    if (auto i = std::get_if<std::int64_t>(&v)) return std::to_string(*i);
    if (auto d = std::get_if<double>(&v)) {
        char buf[64];
        auto r = std::to_chars(buf, buf + sizeof buf, *d);
        return std::string(buf, r.ptr);
    }
    return {};
}

std::int64_t CellI64(const DbValue& v)
{
    if (auto i = std::get_if<std::int64_t>(&v)) return *i;
    if (auto d = std::get_if<double>(&v)) return std::int64_t(*d);
    if (auto s = std::get_if<std::string>(&v)) {
        std::int64_t out = 0;
        auto r = std::from_chars(s->data(), s->data() + s->size(), out);
        if (r.ec != std::errc() || r.ptr != s->data() + s->size())
            throw DbError(DbError::Kind::Other, "not an integer: " + *s);
        return out;
    }
    return 0;
}

double CellF64(const DbValue& v)
{
    if (auto d = std::get_if<double>(&v)) return *d;
    if (auto i = std::get_if<std::int64_t>(&v)) return double(*i);
    if (auto s = std::get_if<std::string>(&v)) {
        double out = 0;
        auto r = std::from_chars(s->data(), s->data() + s->size(), out);
        if (r.ec != std::errc()) throw DbError(DbError::Kind::Other, "not a number: " + *s);
        return out;
    }
    return 0;
}

std::optional<std::string> DbRows::optText(std::size_t row, int col) const
{
    if (isNull(row, col)) return std::nullopt;
    return text(row, col);
}

std::optional<std::int64_t> DbRows::optI64(std::size_t row, int col) const
{
    if (isNull(row, col)) return std::nullopt;
    return i64(row, col);
}

NamedSql::NamedSql(std::string_view text)
{
    auto nameChar = [](char c, bool first) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || (!first && c >= '0' && c <= '9');
    };
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\'') quoted = !quoted;
        if (quoted || c != ':' || i + 1 >= text.size() || !nameChar(text[i + 1], true) ||
            (i > 0 && text[i - 1] == ':')) {
            if (c == '?' && !quoted) throw std::logic_error("a named statement holds a \"?\"");
            sql_ += c;
            continue;
        }
        std::size_t end = i + 1;
        while (end < text.size() && nameChar(text[end], false))
            ++end;
        const std::string_view name = text.substr(i + 1, end - i - 1);
        auto at = std::find(names_.begin(), names_.end(), name);
        if (at == names_.end()) at = names_.insert(names_.end(), std::string(name));
        order_.push_back(std::size_t(at - names_.begin()));
        sql_ += '?';
        i = end - 1;
    }
}

std::vector<DbValue> NamedSql::bind(std::initializer_list<Arg> args) const
{
    return bind(std::span<const Arg>(args.begin(), args.size()));
}

std::vector<DbValue> NamedSql::bind(std::span<const Arg> args) const
{
    std::vector<const DbValue*> byName(names_.size(), nullptr);
    for (const Arg& a : args) {
        auto at = std::find(names_.begin(), names_.end(), a.name);
        if (at == names_.end()) throw std::logic_error("no parameter :" + std::string(a.name) + " in the statement");
        const DbValue*& slot = byName[std::size_t(at - names_.begin())];
        if (slot) throw std::logic_error("parameter :" + std::string(a.name) + " given twice");
        slot = &a.value;
    }
    for (std::size_t i = 0; i < names_.size(); ++i)
        if (!byName[i]) throw std::logic_error("parameter :" + names_[i] + " not given");
    std::vector<DbValue> out;
    out.reserve(order_.size());
    for (std::size_t k : order_)
        out.push_back(*byName[k]);
    return out;
}

Dialect DialectOf(const std::string& url)
{
    if (url.rfind("sqlite:", 0) == 0) return Dialect::Sqlite;
    if (url.rfind("postgresql://", 0) == 0 || url.rfind("postgres://", 0) == 0) return Dialect::Postgres;
    throw std::invalid_argument("database URL must start with sqlite: or postgresql://");
}

std::unique_ptr<DbConn> OpenConnection(const std::string& url)
{
    if (DialectOf(url) == Dialect::Sqlite) return OpenSqlite(url.substr(7));
    return OpenPostgres(url);
}

Database::Database(std::string url, std::size_t maxOpen)
    : url_(std::move(url)), dialect_(DialectOf(url_)), maxOpen_(std::max<std::size_t>(1, maxOpen))
{
}

Database::~Database() = default;

Database::Lease Database::acquire(std::optional<Deadline> deadline)
{
    const Deadline limit =
        std::min(deadline.value_or(Deadline::max()), std::chrono::steady_clock::now() + std::chrono::seconds(10));
    {
        std::unique_lock lock(mutex_);
        if (!freed_.wait_until(lock, limit, [&] { return !idle_.empty() || open_ < maxOpen_; }))
            throw DbError(DbError::Kind::Busy, "no free database connection");
        if (!idle_.empty()) {
            auto c = std::move(idle_.back());
            idle_.pop_back();
            return Lease(this, std::move(c));
        }
        ++open_;
    }
    try {
        return Lease(this, OpenConnection(url_));
    } catch (const DbError& e) {
        std::unique_lock lock(mutex_);
        --open_;
        // The pool could not grow (a database busy accepting connections,
        // many processes opening theirs at once), but connections of its own
        // are open: one of them serves the call once it is free. The failure
        // counts only when there is none to wait for.
        if (e.kind() == DbError::Kind::Unavailable && open_ > 0) {
            if (!freed_.wait_until(lock, limit, [&] { return !idle_.empty(); }))
                throw DbError(DbError::Kind::Busy,
                              std::string("no free database connection (a new one failed: ") + e.what() + ")");
            auto c = std::move(idle_.back());
            idle_.pop_back();
            return Lease(this, std::move(c));
        }
        freed_.notify_one();
        throw;
    } catch (...) {
        std::lock_guard lock(mutex_);
        --open_;
        freed_.notify_one();
        throw;
    }
}

void Database::dropIdle()
{
    std::vector<std::unique_ptr<DbConn>> gone;
    std::lock_guard lock(mutex_);
    gone.swap(idle_);
    open_ -= gone.size();
    freed_.notify_all();
}

void Database::release(std::unique_ptr<DbConn> c)
{
    const bool keep = c && c->healthy();
    if (keep) c->setDeadline(std::nullopt);
    std::lock_guard lock(mutex_);
    if (keep)
        idle_.push_back(std::move(c));
    else
        --open_;
    freed_.notify_one();
}

Database::Lease::~Lease()
{
    if (db_ && conn_) db_->release(std::move(conn_));
}

Transaction::~Transaction()
{
    if (!done_) {
        try {
            c_.rollback();
        } catch (...) {
            // The connection is reported unhealthy and dropped by the pool.
        }
    }
}

} // namespace zel::server
