#pragma once

#include "platform/data/Field.h"
#include "platform/data/Variant.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

// Row storage of a dataset, by column: numbers in plain arrays, the texts of a
// column in one UTF-8 buffer with an offset and a length per row, one null
// flag per cell. A data packet (stored the same way) loads with a few bulk
// copies per column, and a million-row order list takes under two hundred
// bytes a row. An edited text is appended to its column's buffer.
class RecordStore {
public:
    RecordStore() = default;
    explicit RecordStore(std::vector<TFieldType> types);

    std::size_t columnCount() const { return cols_.size(); }
    std::size_t rowCount() const { return ids_.size(); }

    void clear();

    // Inserts a row of nulls at a position, with the given id (0 = fresh).
    std::size_t insertRow(std::size_t at, std::uint32_t id = 0);
    void eraseRow(std::size_t at);

    std::uint32_t idAt(std::size_t row) const { return ids_[row]; }

    bool isNull(std::size_t row, std::size_t col) const { return cols_[col].nulls[row] != 0; }
    std::string_view textAt(std::size_t row, std::size_t col) const;
    Variant get(std::size_t row, std::size_t col) const;
    void set(std::size_t row, std::size_t col, const Variant& v); // v already of the column's kind

    void setNull(std::size_t row, std::size_t col) { cols_[col].nulls[row] = 1; }
    void setText(std::size_t row, std::size_t col, std::string_view utf8);
    void setInt(std::size_t row, std::size_t col, std::int64_t v);
    void setFloat(std::size_t row, std::size_t col, double v);

    // Bulk loading of a store made with `rows` rows (see resizeRows): whole
    // columns at once. Counts are checked by the caller.
    void resizeRows(std::size_t rows);
    void assignNulls(std::size_t col, std::string_view bitmap); // empty = none
    // Returns the longest text's byte length.
    std::uint32_t assignText(std::size_t col, std::string_view bytes, const std::uint32_t* lengths);
    void assignInts(std::size_t col, const std::int64_t* values);
    void assignFloats(std::size_t col, const double* values);

private:
    struct Column {
        TFieldType type;
        std::vector<std::uint8_t> nulls;
        std::vector<std::int64_t> ints; // integers and date-times
        std::vector<double> floats;
        std::vector<std::uint64_t> textRefs; // offset << 32 | length
        std::string text;
    };
    static bool isText(TFieldType t) { return t == TFieldType::ftString || t == TFieldType::ftFixedChar; }

    std::vector<Column> cols_;
    std::vector<std::uint32_t> ids_;
    std::uint32_t nextId_ = 1;
};

} // namespace zel
