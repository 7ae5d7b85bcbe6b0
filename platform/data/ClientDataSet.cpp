#include "platform/data/DataSet.h"
#include "platform/data/Exceptions.h"
#include "platform/data/Packet.h"

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

TLongWorkRunner& longWorkRunner()
{
    static TLongWorkRunner runner;
    return runner;
}

} // namespace

void SetLongWorkRunner(TLongWorkRunner runner)
{
    longWorkRunner() = std::move(runner);
}

void TClientDataSet::SetData(const zel::data::DataPacket& packet)
{
    // Everything is checked, and the new rows built, before the current
    // content is touched: a refused packet leaves the dataset as it was.
    RecordStore store;
    const auto build = [&] { store = BuildRows(packet); };
    if (packet.row_count() >= kLongLoadRows && longWorkRunner())
        longWorkRunner()(build);
    else
        build();
    LoadRows(std::move(store));
}

RecordStore TClientDataSet::BuildRows(const zel::data::DataPacket& packet) const
{
    const QString inconsistent = PacketReader::Validate(packet);
    if (!inconsistent.isEmpty()) Fail(QStringLiteral("Pacote de dados inconsistente: %1").arg(inconsistent));

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

    const std::size_t rows = packet.row_count();
    RecordStore store(std::move(types));
    store.resizeRows(rows);
    for (int i = 0; i < FieldCount(); ++i) {
        const TField* f = Field(i);
        const zel::data::Column& c = packet.columns(column[std::size_t(i)]);
        const std::size_t col = std::size_t(i);
        store.assignNulls(col, c.nulls());
        switch (f->DataType()) {
        case TFieldType::ftString:
        case TFieldType::ftFixedChar: {
            const std::string& text = c.text();
            const std::uint32_t longest = store.assignText(col, text, c.text_lengths().data());
            // Sizes count characters; only a text with more bytes than the
            // size can be too long, so the exact count is rarely needed.
            if (f->Size() > 0 && longest > std::uint32_t(f->Size())) {
                std::size_t off = 0;
                for (std::size_t r = 0; r < rows; ++r) {
                    const std::uint32_t len = c.text_lengths(int(r));
                    if (len > std::uint32_t(f->Size()) &&
                        utf8Length(std::string_view(text.data() + off, len)) > std::size_t(f->Size()))
                        Fail(QStringLiteral("O valor da linha %1 excede o tamanho do campo '%2' (%3 caracteres).")
                                 .arg(r + 1)
                                 .arg(f->FieldName())
                                 .arg(f->Size()));
                    off += len;
                }
            }
            break;
        }
        case TFieldType::ftDateTime:
        case TFieldType::ftInteger:
            static_assert(sizeof(std::int64_t) == sizeof(google::protobuf::int64));
            store.assignInts(col, reinterpret_cast<const std::int64_t*>(c.integers().data()));
            break;
        case TFieldType::ftFloat:
            store.assignFloats(col, c.floats().data());
            break;
        }
    }
    return store;
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
        const std::vector<Variant> now = RowValues(RowOf(e.id));
        for (int i = 0; i < FieldCount(); ++i) {
            const Variant& v = now[std::size_t(i)];
            const bool changed = e.kind == LogEntry::Insert ? !v.isNull() : !(v == e.original[std::size_t(i)]);
            if (!changed) continue;
            auto* fc = rc->add_changes();
            fc->set_field(i);
            *fc->mutable_value() = ToWire(v, Field(i)->DataType());
        }
    }
    return out;
}

} // namespace zel
