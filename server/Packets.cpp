#include "server/Packets.h"

#include <stdexcept>

namespace zel::server {

using zel::data::FieldKind;

namespace Packets {
const std::vector<FieldSpec> Pedido = {
    {"IDSITPEDIDO", FieldKind::FIELD_TEXT, 1},  {"NRPEDIDO", FieldKind::FIELD_TEXT, 10},
    {"CDCLIENTE", FieldKind::FIELD_TEXT, 21},   {"NMFANTCLIE", FieldKind::FIELD_TEXT, 50},
    {"DTPEDIDO", FieldKind::FIELD_DATETIME, 0}, {"DTENTPED", FieldKind::FIELD_DATETIME, 0},
    {"CDVENDEDOR", FieldKind::FIELD_TEXT, 4},   {"NMFANVEN", FieldKind::FIELD_TEXT, 50},
    {"VRPEDIDO", FieldKind::FIELD_FLOAT, 0},    {"CDFILIAL", FieldKind::FIELD_TEXT, 4},
};
const std::vector<FieldSpec> IncPed = {
    {"CDFILIAL", FieldKind::FIELD_TEXT, 4},         {"NRPEDIDO", FieldKind::FIELD_TEXT, 10},
    {"CDPRODUTO", FieldKind::FIELD_TEXT, 10},       {"NMPRODUTO", FieldKind::FIELD_TEXT, 50},
    {"NRINCONSPED", FieldKind::FIELD_TEXT, 3},      {"CDCONSPEDIDO", FieldKind::FIELD_TEXT, 3},
    {"NMCONSPEDIDO", FieldKind::FIELD_TEXT, 50},    {"NRITEMPED", FieldKind::FIELD_TEXT, 10},
    {"CDOPERLIBE", FieldKind::FIELD_TEXT, 12},      {"NMOPERADOR", FieldKind::FIELD_TEXT, 40},
    {"DTLIBEINCONS", FieldKind::FIELD_DATETIME, 0}, {"TXOBSLIBINCO", FieldKind::FIELD_TEXT, 2000},
    {"ATIVA", FieldKind::FIELD_FIXED_TEXT, 1},
};
const std::vector<FieldSpec> ItemPedido = {
    {"CDFILIAL", FieldKind::FIELD_TEXT, 4},
    {"NRPEDIDO", FieldKind::FIELD_TEXT, 10},
    {"NRITEMPED", FieldKind::FIELD_TEXT, 10},
    {"IDSITITEMPED", FieldKind::FIELD_TEXT, 1},
};
const std::vector<FieldSpec> GrupOper = {
    {"CDGROPLIBINC", FieldKind::FIELD_TEXT, 2},
};
const std::vector<FieldSpec> NrPedido = {
    {"IDMARCADO", FieldKind::FIELD_FIXED_TEXT, 1},
    {"NRPEDIDO", FieldKind::FIELD_TEXT, 10},
};
} // namespace Packets

long Utf8Length(std::string_view s)
{
    long n = 0;
    for (std::size_t i = 0; i < s.size();) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t len = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xe ? 3 : (c >> 3) == 0x1e ? 4 : 0;
        if (len == 0 || i + len > s.size()) return -1;
        for (std::size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xc0) != 0x80) return -1;
        i += len;
        ++n;
    }
    return n;
}

namespace {

// Packets of this thread's earlier answers, cleared but with the storage of
// their fields, columns and texts kept: the next answer of a thread fills
// one of them instead of allocating each of its parts again. Only a few
// small ones are kept, so that a thread that once answered a whole branch's
// order list does not hold on to its memory.
constexpr std::size_t kSparePackets = 2;
constexpr std::size_t kSpareBytes = 256 << 10;
thread_local std::vector<zel::data::DataPacket> spare;

std::size_t storageOf(const zel::data::DataPacket& p)
{
    std::size_t n = 0;
    for (const zel::data::Column& c : p.columns())
        n += c.text().capacity() + c.nulls().capacity() + std::size_t(c.text_lengths().Capacity()) * 4 +
             std::size_t(c.integers().Capacity()) * 8 + std::size_t(c.floats().Capacity()) * 8;
    return n;
}

} // namespace

zel::data::DataPacket EmptyPacket(std::span<const FieldSpec> fields)
{
    zel::data::DataPacket p;
    if (!spare.empty()) {
        p = std::move(spare.back());
        spare.pop_back();
    }
    p.mutable_fields()->Reserve(int(fields.size()));
    p.mutable_columns()->Reserve(int(fields.size()));
    for (const FieldSpec& f : fields) {
        auto* d = p.add_fields();
        d->set_name(f.name);
        d->set_kind(f.kind);
        d->set_size(f.size);
        p.add_columns();
    }
    p.set_row_count(0);
    return p;
}

void RecyclePacket(zel::data::DataPacket&& p)
{
    if (spare.size() >= kSparePackets || storageOf(p) > kSpareBytes) return;
    p.Clear();
    spare.reserve(kSparePackets);
    spare.push_back(std::move(p));
}

PacketBuilder::PacketBuilder(std::span<const FieldSpec> fields) : fields_(fields), p_(EmptyPacket(fields)) {}

void PacketBuilder::add(std::span<const DbValue> cells)
{
    if (cells.size() != fields_.size()) throw std::logic_error("packet columns do not match its fields");
    const std::uint32_t r = rows_++;
    for (std::size_t c = 0; c < fields_.size(); ++c) {
        const FieldSpec& f = fields_[c];
        const DbValue& v = cells[c];
        zel::data::Column& col = *p_.mutable_columns(int(c));
        const bool null = std::holds_alternative<std::monostate>(v);
        if (null) {
            std::string& bits = *col.mutable_nulls();
            if (bits.size() <= r / 8) bits.resize(r / 8 + 1, '\0');
            bits[r / 8] = char(bits[r / 8] | (1 << (r % 8)));
        }
        switch (f.kind) {
        case FieldKind::FIELD_TEXT:
        case FieldKind::FIELD_FIXED_TEXT: {
            if (null) {
                col.add_text_lengths(0);
                break;
            }
            const std::string* s = std::get_if<std::string>(&v);
            const std::string conv = s ? std::string() : CellText(v);
            const std::string& t = s ? *s : conv;
            const long len = Utf8Length(t);
            if (len < 0 || len > f.size)
                throw std::runtime_error(std::string("stored value does not fit field ") + f.name);
            col.mutable_text()->append(t);
            col.add_text_lengths(std::uint32_t(t.size()));
            break;
        }
        case FieldKind::FIELD_FLOAT:
            col.add_floats(null ? 0 : CellF64(v));
            break;
        default: // date-times and integers
            col.add_integers(null ? 0 : CellI64(v));
            break;
        }
    }
}

zel::data::DataPacket PacketBuilder::finish()
{
    p_.set_row_count(rows_);
    return std::move(p_);
}

zel::data::DataPacket QueryPacket(std::span<const FieldSpec> fields, DbConn& c, std::string_view sql,
                                  std::span<const DbValue> params)
{
    PacketBuilder b(fields);
    c.each(sql, params, [&](std::span<const DbValue> cells) { b.add(cells); });
    return b.finish();
}

// Appends the rows of `more` (same fields) to `into`.
void AppendPacket(zel::data::DataPacket& into, const zel::data::DataPacket& more)
{
    const std::uint32_t base = into.row_count();
    for (int c = 0; c < into.columns_size(); ++c) {
        auto& dst = *into.mutable_columns(c);
        const auto& src = more.columns(c);
        for (std::uint32_t r = 0; r < more.row_count(); ++r) {
            if (std::size_t(r / 8) < src.nulls().size() && (src.nulls()[r / 8] >> (r % 8) & 1)) {
                const std::uint32_t at = base + r;
                std::string* bits = dst.mutable_nulls();
                if (bits->size() <= at / 8) bits->resize(at / 8 + 1, '\0');
                (*bits)[at / 8] = char((*bits)[at / 8] | (1 << (at % 8)));
            }
        }
        dst.mutable_text()->append(src.text());
        dst.mutable_text_lengths()->MergeFrom(src.text_lengths());
        dst.mutable_integers()->MergeFrom(src.integers());
        dst.mutable_floats()->MergeFrom(src.floats());
    }
    into.set_row_count(base + more.row_count());
}

zel::data::Result ErrorResult(const ServiceError& e)
{
    zel::data::Result r;
    r.mutable_error()->set_code(e.code);
    r.mutable_error()->set_message(e.message);
    return r;
}

zel::data::Result DataResult(zel::data::DataPacket p)
{
    zel::data::Result r;
    *r.mutable_data() = std::move(p);
    return r;
}

} // namespace zel::server
