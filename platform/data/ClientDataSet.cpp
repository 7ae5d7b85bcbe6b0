#include "DataSet.h"
#include "Exceptions.h"
#include "Packet.h"

#include <string_view>

namespace zel {
namespace {

// Characters of a UTF-8 text: every byte that does not continue a sequence.
std::size_t utf8Length(std::string_view s)
{
    std::size_t n = 0;
    for (unsigned char c : s)
        n += (c & 0xC0) != 0x80;
    return n;
}

bool valueMatchesKind(zel::data::Value::VCase c, TFieldType t)
{
    switch (c) {
    case zel::data::Value::V_NOT_SET: return true;
    case zel::data::Value::kText: return t == TFieldType::ftString || t == TFieldType::ftFixedChar;
    case zel::data::Value::kDatetimeMs: return t == TFieldType::ftDateTime;
    case zel::data::Value::kFloatValue: return t == TFieldType::ftFloat;
    case zel::data::Value::kIntegerValue: return t == TFieldType::ftInteger;
    }
    return false;
}

} // namespace

void TClientDataSet::SetData(const zel::data::DataPacket& packet)
{
    // Map every persistent field to its packet column, and refuse the packet
    // before anything of the current content is touched.
    std::vector<int> column(std::size_t(FieldCount()), -1);
    std::vector<TFieldType> types;
    for (int i = 0; i < FieldCount(); ++i) {
        TField* f = Field(i);
        types.push_back(f->DataType());
        for (int c = 0; c < packet.fields_size(); ++c) {
            if (QString::fromStdString(packet.fields(c).name()).compare(f->FieldName(), Qt::CaseInsensitive) == 0) {
                column[std::size_t(i)] = c;
                break;
            }
        }
        if (column[std::size_t(i)] < 0)
            Fail(QStringLiteral("O pacote de dados não traz o campo '%1'.").arg(f->FieldName()));
        const TFieldType got = FromWireKind(packet.fields(column[std::size_t(i)]).kind());
        if (got != f->DataType())
            Fail(QStringLiteral("O campo '%1' veio no pacote de dados como %2; esperado %3.")
                     .arg(f->FieldName(), FieldKindName(got), FieldKindName(f->DataType())));
    }

    RecordStore rows(std::move(types));
    rows.reserve(std::size_t(packet.rows_size()), 0);
    const int nfields = FieldCount();
    for (int r = 0; r < packet.rows_size(); ++r) {
        const auto& row = packet.rows(r);
        const std::size_t at = rows.appendRow();
        for (int i = 0; i < nfields; ++i) {
            const int c = column[std::size_t(i)];
            if (c >= row.values_size()) {
                rows.setNull(at, std::size_t(i));
                continue;
            }
            const zel::data::Value& v = row.values(c);
            const TField* f = Field(i);
            if (!valueMatchesKind(v.v_case(), f->DataType()))
                Fail(QStringLiteral("Valor de tipo inválido no campo '%1' da linha %2 do pacote de dados.")
                         .arg(f->FieldName())
                         .arg(r + 1));
            switch (v.v_case()) {
            case zel::data::Value::V_NOT_SET: rows.setNull(at, std::size_t(i)); break;
            case zel::data::Value::kText: {
                const std::string& s = v.text();
                if (f->Size() > 0 && s.size() > std::size_t(f->Size()) && utf8Length(s) > std::size_t(f->Size()))
                    Fail(QStringLiteral("O valor da linha %1 excede o tamanho do campo '%2' (%3 caracteres).")
                             .arg(r + 1)
                             .arg(f->FieldName())
                             .arg(f->Size()));
                rows.setText(at, std::size_t(i), s);
                break;
            }
            case zel::data::Value::kDatetimeMs: rows.setInt(at, std::size_t(i), v.datetime_ms()); break;
            case zel::data::Value::kFloatValue: rows.setFloat(at, std::size_t(i), v.float_value()); break;
            case zel::data::Value::kIntegerValue: rows.setInt(at, std::size_t(i), v.integer_value()); break;
            }
        }
    }
    LoadRows(std::move(rows));
}

zel::data::ChangePacket TClientDataSet::Delta() const
{
    zel::data::ChangePacket out;
    for (int i = 0; i < FieldCount(); ++i) {
        auto* d = out.add_fields();
        d->set_name(Field(i)->FieldName().toStdString());
        d->set_kind(ToWireKind(Field(i)->DataType()));
        d->set_size(Field(i)->Size());
    }
    for (const LogEntry& e : Log()) {
        auto* rc = out.add_rows();
        if (e.kind != LogEntry::Insert)
            for (int i = 0; i < FieldCount(); ++i)
                *rc->mutable_original()->add_values() = ToWire(e.original[std::size_t(i)], Field(i)->DataType());
        if (e.kind == LogEntry::Delete) {
            rc->set_kind(zel::data::CHANGE_DELETE);
            continue;
        }
        rc->set_kind(e.kind == LogEntry::Insert ? zel::data::CHANGE_INSERT : zel::data::CHANGE_MODIFY);
        const std::size_t row = RowOf(e.id);
        const std::vector<Variant> now = RowValues(row);
        for (int i = 0; i < FieldCount(); ++i) {
            const Variant& v = now[std::size_t(i)];
            const bool changed = e.kind == LogEntry::Insert ? !v.isNull() : !(v == e.original[std::size_t(i)]);
            if (!changed)
                continue;
            auto* fc = rc->add_changes();
            fc->set_field(i);
            *fc->mutable_value() = ToWire(v, Field(i)->DataType());
        }
    }
    return out;
}

} // namespace zel
