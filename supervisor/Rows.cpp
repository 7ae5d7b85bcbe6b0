#include "supervisor/Rows.h"

#include "platform/data/DataSet.h"
#include "platform/data/Exceptions.h"
#include "platform/data/Packet.h"

#include <QCollator>
#include <QLocale>

#include <algorithm>
#include <numeric>

namespace Pkg_zel08200 {

int TRows::ColumnOf(const QString& field) const
{
    for (size_t i = 0; i < columns_.size(); ++i)
        if (columns_[i].field == field) return int(i);
    return -1;
}

void TRows::DefineFields(zel::TDataSet& ds) const
{
    for (const TColumnSpec& c : columns_) {
        zel::TField* f = ds.AddField(c.field, c.type, c.size);
        f->setDisplayLabel(c.caption);
        if (c.type == zel::TFieldType::ftDateTime) f->setDisplayFormat(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
    }
}

void TRows::Append(const zel::data::DataPacket& packet)
{
    const QString problem = zel::PacketReader::Validate(packet);
    if (!problem.isEmpty()) throw zel::Exception(QStringLiteral("Resposta do servidor inválida: %1").arg(problem));
    zel::PacketReader reader(packet);
    std::vector<int> at;
    for (const TColumnSpec& c : columns_)
        at.push_back(reader.fieldIndex(c.field.toStdString()));
    rows_.reserve(rows_.size() + size_t(reader.rowCount()));
    for (int r = 0; r < reader.rowCount(); ++r) {
        std::vector<zel::Variant> row(columns_.size());
        for (size_t c = 0; c < columns_.size(); ++c)
            if (at[c] >= 0) row[c] = reader.value(r, at[c]);
        rows_.push_back(std::move(row));
    }
}

int CompareValues(const zel::Variant& a, const zel::Variant& b)
{
    using T = zel::Variant::Type;
    if (a.isNull() || b.isNull()) return int(!a.isNull()) - int(!b.isNull());
    if (a.type() == T::DateTime && b.type() == T::DateTime) {
        const auto x = a.toDateTime().msecs(), y = b.toDateTime().msecs();
        return x < y ? -1 : x > y ? 1 : 0;
    }
    if ((a.type() == T::Integer || a.type() == T::Float) && (b.type() == T::Integer || b.type() == T::Float)) {
        const double x = a.toFloat(), y = b.toFloat();
        return x < y ? -1 : x > y ? 1 : 0;
    }
    static const QCollator collator(QLocale(QLocale::Portuguese, QLocale::Brazil));
    return collator.compare(a.toString(), b.toString());
}

std::vector<int> TRows::SortBy(int column, bool ascending)
{
    std::vector<int> order(rows_.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int x, int y) {
        const int c = CompareValues(rows_[size_t(x)][size_t(column)], rows_[size_t(y)][size_t(column)]);
        return ascending ? c < 0 : c > 0;
    });
    std::vector<std::vector<zel::Variant>> sorted;
    sorted.reserve(rows_.size());
    std::vector<int> moved(rows_.size());
    for (size_t i = 0; i < order.size(); ++i) {
        moved[size_t(order[i])] = int(i);
        sorted.push_back(std::move(rows_[size_t(order[i])]));
    }
    rows_ = std::move(sorted);
    return moved;
}

zel::data::DataPacket TRows::Packet() const
{
    zel::PacketWriter w;
    for (const TColumnSpec& c : columns_)
        w.field(c.field.toStdString(), c.type, c.size);
    for (const auto& row : rows_)
        w.row(row);
    return w.Take();
}

} // namespace Pkg_zel08200
