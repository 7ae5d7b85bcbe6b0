#pragma once

#include "Field.h"
#include "Variant.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zel {

// Row storage of a dataset: fixed-size cells in row-major order, with the
// bytes of every text in one arena (UTF-8). A million-row order list takes a
// few hundred bytes a row and loads without one allocation per cell.
class RecordStore {
public:
    struct Cell {
        union {
            double f;
            std::int64_t i; // integer or date-time milliseconds
            struct {
                std::uint32_t off, len;
            } t;
        };
        bool null = true;
    };

    RecordStore() = default;
    explicit RecordStore(std::vector<TFieldType> types) : types_(std::move(types)) {}

    std::size_t columnCount() const { return types_.size(); }
    std::size_t rowCount() const { return ids_.size(); }
    const std::vector<TFieldType>& types() const { return types_; }

    void reserve(std::size_t rows, std::size_t textBytes);
    void clear();

    // Appends a row of nulls with a fresh id and returns its index.
    std::size_t appendRow();
    // Inserts a row of nulls at a position, with the given id (0 = fresh).
    std::size_t insertRow(std::size_t at, std::uint32_t id = 0);
    void eraseRow(std::size_t at);

    std::uint32_t idAt(std::size_t row) const { return ids_[row]; }

    bool isNull(std::size_t row, std::size_t col) const { return cell(row, col).null; }
    std::string_view textAt(std::size_t row, std::size_t col) const;
    Variant get(std::size_t row, std::size_t col) const;
    void set(std::size_t row, std::size_t col, const Variant& v); // v already of the column's kind

    // Fast paths for bulk loading.
    void setNull(std::size_t row, std::size_t col) { cell(row, col).null = true; }
    void setText(std::size_t row, std::size_t col, std::string_view utf8);
    void setInt(std::size_t row, std::size_t col, std::int64_t v);
    void setFloat(std::size_t row, std::size_t col, double v);

private:
    Cell& cell(std::size_t row, std::size_t col) { return cells_[row * types_.size() + col]; }
    const Cell& cell(std::size_t row, std::size_t col) const { return cells_[row * types_.size() + col]; }

    std::vector<TFieldType> types_;
    std::vector<Cell> cells_;
    std::vector<std::uint32_t> ids_;
    std::string arena_;
    std::uint32_t nextId_ = 1;
};

} // namespace zel
