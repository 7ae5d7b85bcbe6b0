#pragma once

#include "platform/data/Field.h"
#include "platform/data/Variant.h"
#include "proto/datapacket.pb.h"

#include <QString>

#include <string>
#include <string_view>
#include <vector>

namespace zel {

// Conversions between the platform's values and their wire encoding.
zel::data::FieldKind ToWireKind(TFieldType t);
TFieldType FromWireKind(zel::data::FieldKind k);
// The value converted to the field kind's wire form; null stays unset.
zel::data::Value ToWire(const Variant& v, TFieldType t);
Variant FromWire(const zel::data::Value& v);
QString FieldKindName(TFieldType t);

// Builds a data packet row by row: declare the fields, then give each row's
// values in field order.
class PacketWriter {
public:
    PacketWriter& field(std::string_view name, TFieldType type, int size = 0);

    PacketWriter& text(std::string_view utf8);
    PacketWriter& text(const QString& s);
    PacketWriter& null();
    PacketWriter& dateTime(const TDateTime& d);
    PacketWriter& number(double v);
    PacketWriter& integer(std::int64_t v);
    // Converts to the next field's kind (raises EConvertError when it cannot).
    PacketWriter& value(const Variant& v);
    PacketWriter& row(const std::vector<Variant>& values);

    int rowCount() const { return int(p_.row_count()); }
    // The packet; every row must be complete.
    zel::data::DataPacket Take();

private:
    zel::data::Column& next(TFieldType expected);
    void markNull(zel::data::Column& c);
    std::vector<TFieldType> types_;
    zel::data::DataPacket p_;
    std::size_t col_ = 0;
};

// Reads the rows of a data packet (tests, tools; the datasets load columns
// directly). Validate first: the accessors assume a consistent packet.
class PacketReader {
public:
    explicit PacketReader(const zel::data::DataPacket& p);
    // Empty when the packet is consistent, else what is wrong with it.
    static QString Validate(const zel::data::DataPacket& p);

    int rowCount() const { return int(p_.row_count()); }
    int fieldCount() const { return p_.fields_size(); }
    int fieldIndex(std::string_view name) const; // -1 when absent
    bool isNull(int row, int col) const;
    Variant value(int row, int col) const;
    Variant value(int row, std::string_view name) const { return value(row, fieldIndex(name)); }
    QString text(int row, std::string_view name) const;

private:
    const zel::data::DataPacket& p_;
    std::vector<std::vector<std::uint32_t>> offsets_;
};

} // namespace zel
