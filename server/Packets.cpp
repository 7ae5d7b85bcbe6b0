#include "Packets.h"

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
        if (len == 0 || i + len > s.size())
            return -1;
        for (std::size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xc0) != 0x80)
                return -1;
        i += len;
        ++n;
    }
    return n;
}

zel::data::DataPacket EmptyPacket(std::span<const FieldSpec> fields)
{
    zel::data::DataPacket p;
    for (const FieldSpec& f : fields) {
        auto* d = p.add_fields();
        d->set_name(f.name);
        d->set_kind(f.kind);
        d->set_size(f.size);
    }
    return p;
}

zel::data::DataPacket MakePacket(std::span<const FieldSpec> fields, const DbRows& rows)
{
    if (rows.columns() != int(fields.size()) && !rows.empty())
        throw std::logic_error("packet columns do not match its fields");
    zel::data::DataPacket p = EmptyPacket(fields);
    p.mutable_rows()->Reserve(int(rows.size()));
    for (std::size_t r = 0; r < rows.size(); ++r) {
        auto* row = p.add_rows();
        row->mutable_values()->Reserve(int(fields.size()));
        for (int c = 0; c < int(fields.size()); ++c) {
            auto* v = row->add_values();
            if (rows.isNull(r, c))
                continue;
            const FieldSpec& f = fields[std::size_t(c)];
            switch (f.kind) {
            case FieldKind::FIELD_TEXT:
            case FieldKind::FIELD_FIXED_TEXT: {
                std::string t = rows.text(r, c);
                if (Utf8Length(t) > f.size || Utf8Length(t) < 0)
                    throw std::runtime_error(std::string("stored value does not fit field ") + f.name);
                v->set_text(std::move(t));
                break;
            }
            case FieldKind::FIELD_DATETIME: v->set_datetime_ms(rows.i64(r, c)); break;
            case FieldKind::FIELD_FLOAT: v->set_float_value(rows.f64(r, c)); break;
            default: v->set_integer_value(rows.i64(r, c)); break;
            }
        }
    }
    return p;
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
