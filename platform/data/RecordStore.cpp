#include "platform/data/RecordStore.h"

#include "platform/data/Exceptions.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace zel {

RecordStore::RecordStore(std::vector<TFieldType> types)
{
    cols_.reserve(types.size());
    for (TFieldType t : types)
        cols_.push_back(Column{t, {}, {}, {}, {}, {}});
}

void RecordStore::clear()
{
    for (Column& c : cols_) {
        c.nulls.clear();
        c.ints.clear();
        c.floats.clear();
        c.textRefs.clear();
        c.text.clear();
    }
    ids_.clear();
}

std::size_t RecordStore::insertRow(std::size_t at, std::uint32_t id)
{
    for (Column& c : cols_) {
        c.nulls.insert(c.nulls.begin() + std::ptrdiff_t(at), std::uint8_t(1));
        if (isText(c.type))
            c.textRefs.insert(c.textRefs.begin() + std::ptrdiff_t(at), 0);
        else if (c.type == TFieldType::ftFloat)
            c.floats.insert(c.floats.begin() + std::ptrdiff_t(at), 0.0);
        else
            c.ints.insert(c.ints.begin() + std::ptrdiff_t(at), 0);
    }
    if (id == 0)
        id = nextId_++;
    else if (id >= nextId_)
        nextId_ = id + 1;
    ids_.insert(ids_.begin() + std::ptrdiff_t(at), id);
    return at;
}

void RecordStore::eraseRow(std::size_t at)
{
    for (Column& c : cols_) {
        c.nulls.erase(c.nulls.begin() + std::ptrdiff_t(at));
        if (isText(c.type))
            c.textRefs.erase(c.textRefs.begin() + std::ptrdiff_t(at));
        else if (c.type == TFieldType::ftFloat)
            c.floats.erase(c.floats.begin() + std::ptrdiff_t(at));
        else
            c.ints.erase(c.ints.begin() + std::ptrdiff_t(at));
    }
    ids_.erase(ids_.begin() + std::ptrdiff_t(at));
}

void RecordStore::resizeRows(std::size_t rows)
{
    for (Column& c : cols_) {
        c.nulls.assign(rows, 0);
        if (isText(c.type))
            c.textRefs.resize(rows);
        else if (c.type == TFieldType::ftFloat)
            c.floats.resize(rows);
        else
            c.ints.resize(rows);
    }
    ids_.resize(rows);
    for (std::size_t r = 0; r < rows; ++r)
        ids_[r] = nextId_++;
}

void RecordStore::assignNulls(std::size_t col, std::string_view bitmap)
{
    Column& c = cols_[col];
    // resizeRows left every flag clear.
    const std::size_t n = std::min(c.nulls.size(), bitmap.size() * 8);
    for (std::size_t r = 0; r < n; ++r)
        c.nulls[r] = (std::uint8_t(bitmap[r >> 3]) >> (r & 7)) & 1;
}

std::uint32_t RecordStore::assignText(std::size_t col, std::string_view bytes, const std::uint32_t* lengths)
{
    Column& c = cols_[col];
    if (bytes.size() > std::numeric_limits<std::uint32_t>::max())
        DatabaseError(QStringLiteral("Texto do pacote de dados grande demais."));
    c.text.assign(bytes.data(), bytes.size());
    std::uint64_t off = 0;
    std::uint32_t longest = 0;
    for (std::size_t r = 0; r < c.textRefs.size(); ++r) {
        c.textRefs[r] = (off << 32) | lengths[r];
        off += lengths[r];
        longest = std::max(longest, lengths[r]);
    }
    return longest;
}

void RecordStore::assignInts(std::size_t col, const std::int64_t* values)
{
    Column& c = cols_[col];
    if (!c.ints.empty()) std::memcpy(c.ints.data(), values, c.ints.size() * sizeof(std::int64_t));
}

void RecordStore::assignFloats(std::size_t col, const double* values)
{
    Column& c = cols_[col];
    if (!c.floats.empty()) std::memcpy(c.floats.data(), values, c.floats.size() * sizeof(double));
}

std::string_view RecordStore::textAt(std::size_t row, std::size_t col) const
{
    const Column& c = cols_[col];
    if (c.nulls[row]) return {};
    const std::uint64_t ref = c.textRefs[row];
    return std::string_view(c.text.data() + (ref >> 32), std::size_t(ref & 0xffffffffu));
}

void RecordStore::setText(std::size_t row, std::size_t col, std::string_view utf8)
{
    Column& c = cols_[col];
    if (c.text.size() + utf8.size() > std::numeric_limits<std::uint32_t>::max())
        DatabaseError(QStringLiteral("Memória de textos do conjunto de dados esgotada."));
    c.textRefs[row] = (std::uint64_t(c.text.size()) << 32) | std::uint32_t(utf8.size());
    c.nulls[row] = 0;
    c.text.append(utf8);
}

void RecordStore::setInt(std::size_t row, std::size_t col, std::int64_t v)
{
    cols_[col].ints[row] = v;
    cols_[col].nulls[row] = 0;
}

void RecordStore::setFloat(std::size_t row, std::size_t col, double v)
{
    cols_[col].floats[row] = v;
    cols_[col].nulls[row] = 0;
}

Variant RecordStore::get(std::size_t row, std::size_t col) const
{
    const Column& c = cols_[col];
    if (c.nulls[row]) return {};
    switch (c.type) {
    case TFieldType::ftString:
    case TFieldType::ftFixedChar: {
        const std::string_view s = textAt(row, col);
        return QString::fromUtf8(s.data(), qsizetype(s.size()));
    }
    case TFieldType::ftDateTime:
        return TDateTime::fromMSecs(c.ints[row]);
    case TFieldType::ftFloat:
        return c.floats[row];
    case TFieldType::ftInteger:
        return c.ints[row];
    }
    return {};
}

void RecordStore::set(std::size_t row, std::size_t col, const Variant& v)
{
    if (v.isNull()) {
        setNull(row, col);
        return;
    }
    switch (cols_[col].type) {
    case TFieldType::ftString:
    case TFieldType::ftFixedChar: {
        const QByteArray b = v.toString().toUtf8();
        setText(row, col, std::string_view(b.constData(), std::size_t(b.size())));
        break;
    }
    case TFieldType::ftDateTime:
        setInt(row, col, v.toDateTime().msecs());
        break;
    case TFieldType::ftFloat:
        setFloat(row, col, v.toFloat());
        break;
    case TFieldType::ftInteger:
        setInt(row, col, v.toInteger());
        break;
    }
}

} // namespace zel
