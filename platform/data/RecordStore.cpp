#include "RecordStore.h"

#include "Exceptions.h"

#include <cstring>
#include <limits>

namespace zel {

void RecordStore::reserve(std::size_t rows, std::size_t textBytes)
{
    cells_.reserve(rows * types_.size());
    ids_.reserve(rows);
    arena_.reserve(textBytes);
}

void RecordStore::clear()
{
    cells_.clear();
    ids_.clear();
    arena_.clear();
}

std::size_t RecordStore::appendRow()
{
    cells_.resize(cells_.size() + types_.size());
    ids_.push_back(nextId_++);
    return ids_.size() - 1;
}

std::size_t RecordStore::insertRow(std::size_t at, std::uint32_t id)
{
    const std::size_t n = types_.size();
    cells_.insert(cells_.begin() + std::ptrdiff_t(at * n), n, Cell{});
    if (id == 0)
        id = nextId_++;
    else if (id >= nextId_)
        nextId_ = id + 1;
    ids_.insert(ids_.begin() + std::ptrdiff_t(at), id);
    return at;
}

void RecordStore::eraseRow(std::size_t at)
{
    const std::size_t n = types_.size();
    cells_.erase(cells_.begin() + std::ptrdiff_t(at * n), cells_.begin() + std::ptrdiff_t((at + 1) * n));
    ids_.erase(ids_.begin() + std::ptrdiff_t(at));
}

std::string_view RecordStore::textAt(std::size_t row, std::size_t col) const
{
    const Cell& c = cell(row, col);
    if (c.null)
        return {};
    return std::string_view(arena_.data() + c.t.off, c.t.len);
}

void RecordStore::setText(std::size_t row, std::size_t col, std::string_view utf8)
{
    if (arena_.size() + utf8.size() > std::numeric_limits<std::uint32_t>::max())
        DatabaseError(QStringLiteral("Memória de textos do conjunto de dados esgotada."));
    Cell& c = cell(row, col);
    c.t.off = std::uint32_t(arena_.size());
    c.t.len = std::uint32_t(utf8.size());
    c.null = false;
    arena_.append(utf8);
}

void RecordStore::setInt(std::size_t row, std::size_t col, std::int64_t v)
{
    Cell& c = cell(row, col);
    c.i = v;
    c.null = false;
}

void RecordStore::setFloat(std::size_t row, std::size_t col, double v)
{
    Cell& c = cell(row, col);
    c.f = v;
    c.null = false;
}

Variant RecordStore::get(std::size_t row, std::size_t col) const
{
    const Cell& c = cell(row, col);
    if (c.null)
        return {};
    switch (types_[col]) {
    case TFieldType::ftString:
    case TFieldType::ftFixedChar: {
        std::string_view s(arena_.data() + c.t.off, c.t.len);
        return QString::fromUtf8(s.data(), qsizetype(s.size()));
    }
    case TFieldType::ftDateTime: return TDateTime::fromMSecs(c.i);
    case TFieldType::ftFloat: return c.f;
    case TFieldType::ftInteger: return c.i;
    }
    return {};
}

void RecordStore::set(std::size_t row, std::size_t col, const Variant& v)
{
    if (v.isNull()) {
        setNull(row, col);
        return;
    }
    switch (types_[col]) {
    case TFieldType::ftString:
    case TFieldType::ftFixedChar: {
        const QByteArray b = v.toString().toUtf8();
        setText(row, col, std::string_view(b.constData(), std::size_t(b.size())));
        break;
    }
    case TFieldType::ftDateTime: setInt(row, col, v.toDateTime().msecs()); break;
    case TFieldType::ftFloat: setFloat(row, col, v.toFloat()); break;
    case TFieldType::ftInteger: setInt(row, col, v.toInteger()); break;
    }
}

} // namespace zel
