#pragma once

// The rows a supervisor's screen shows, held in memory: filled from the
// server's packets (several pages make one list), sorted by any column and
// handed to the screen's dataset as one packet.

#include "platform/data/Field.h"
#include "platform/data/Variant.h"
#include "proto/datapacket.pb.h"

#include <QString>

#include <vector>

namespace zel {
class TDataSet;
}

namespace Pkg_zel08200 {

struct TColumnSpec {
    QString field;
    zel::TFieldType type;
    int size;        // characters of a text field
    QString caption; // the grid's title and the exported header
    int width;       // designed width in the grid, pixels at 96 dpi
};

class TRows {
public:
    explicit TRows(std::vector<TColumnSpec> columns) : columns_(std::move(columns)) {}

    const std::vector<TColumnSpec>& Columns() const { return columns_; }
    // The column of a field; -1 when there is none.
    int ColumnOf(const QString& field) const;

    // Gives the dataset the fields of the columns (it must be closed).
    void DefineFields(zel::TDataSet& ds) const;

    void Clear() { rows_.clear(); }
    // Adds the packet's rows, taking each column's field by name; a column
    // the packet lacks stays null.
    void Append(const zel::data::DataPacket& packet);
    int Count() const { return int(rows_.size()); }
    const zel::Variant& Value(int row, int column) const { return rows_.at(size_t(row)).at(size_t(column)); }
    void SetValue(int row, int column, zel::Variant v) { rows_.at(size_t(row)).at(size_t(column)) = std::move(v); }

    // Sorts the rows by a column (nulls first when ascending), keeping the
    // order of equal rows. Returns the new position of each former row.
    std::vector<int> SortBy(int column, bool ascending);

    // The rows as one packet of the columns' fields.
    zel::data::DataPacket Packet() const;

private:
    std::vector<TColumnSpec> columns_;
    std::vector<std::vector<zel::Variant>> rows_;
};

// Orders two values of one column: dates by time, numbers by value, texts as
// a reader of the user's language would.
int CompareValues(const zel::Variant& a, const zel::Variant& b);

} // namespace Pkg_zel08200
