#include "server/ChangeSet.h"

#include <algorithm>
#include <set>

namespace zel::server {
namespace {

using zel::data::FieldKind;
using zel::data::Value;

ServiceError invalid(const std::string& msg)
{
    return ServiceError{kErrInvalid, msg};
}

const FieldSpec* findField(const std::vector<FieldSpec>& fields, const std::string& name)
{
    for (const FieldSpec& f : fields)
        if (name == f.name) return &f;
    return nullptr;
}

bool acceptableText(std::string_view t)
{
    for (char ch : t) {
        const auto c = static_cast<unsigned char>(ch);
        if (c < 0x20 && c != '\n' && c != '\r' && c != '\t') return false;
    }
    return true;
}

// Converts a wire value to a database value of the field's kind, or says
// why it cannot.
std::optional<std::string> toDb(const Value& v, const FieldSpec& f, DbValue& out)
{
    switch (v.v_case()) {
    case Value::V_NOT_SET:
        out = std::monostate{};
        return std::nullopt;
    case Value::kText: {
        if (f.kind != FieldKind::FIELD_TEXT && f.kind != FieldKind::FIELD_FIXED_TEXT) break;
        const long n = Utf8Length(v.text());
        if (n < 0 || !acceptableText(v.text()))
            return std::string("O campo ") + f.name + " contém caracteres inválidos.";
        if (n > f.size)
            return std::string("O campo ") + f.name + " excede o tamanho de " + std::to_string(f.size) + " caracteres.";
        out = v.text();
        return std::nullopt;
    }
    case Value::kDatetimeMs:
        if (f.kind != FieldKind::FIELD_DATETIME) break;
        out = std::int64_t(v.datetime_ms());
        return std::nullopt;
    case Value::kFloatValue:
        if (f.kind != FieldKind::FIELD_FLOAT) break;
        out = v.float_value();
        return std::nullopt;
    case Value::kIntegerValue:
        if (f.kind != FieldKind::FIELD_INTEGER) break;
        out = std::int64_t(v.integer_value());
        return std::nullopt;
    }
    return std::string("O campo ") + f.name + " recebeu um valor de tipo incorreto.";
}

} // namespace

std::variant<std::vector<RowUpdate>, ServiceError> DecodeChanges(const zel::data::ChangePacket& packet,
                                                                 const ChangeSpec& rules)
{
    const auto& dsFields = *rules.fields;
    // Declared fields: known, right kind and size, no duplicates.
    std::vector<const FieldSpec*> declared;
    std::vector<bool> seen(dsFields.size());
    for (const auto& fd : packet.fields()) {
        const FieldSpec* f = findField(dsFields, fd.name());
        if (!f) return invalid("Campo desconhecido no pacote de alterações: " + fd.name().substr(0, 40) + ".");
        if (fd.kind() != f->kind || fd.size() != f->size)
            return invalid(std::string("O campo ") + f->name + " tem tipo ou tamanho diferente do esperado.");
        if (seen[std::size_t(f - dsFields.data())])
            return invalid(std::string("O campo ") + f->name + " aparece mais de uma vez no pacote.");
        seen[std::size_t(f - dsFields.data())] = true;
        declared.push_back(f);
    }
    auto indexOf = [&](const std::string& name) -> int {
        for (std::size_t i = 0; i < declared.size(); ++i)
            if (name == declared[i]->name) return int(i);
        return -1;
    };
    std::vector<int> keyIdx, chgIdx;
    for (const std::string& k : rules.key) {
        keyIdx.push_back(indexOf(k));
        if (keyIdx.back() < 0) return invalid("O pacote de alterações não traz o campo " + k + ".");
    }
    for (const auto& c : rules.changeable) {
        chgIdx.push_back(indexOf(c.name));
        if (chgIdx.back() < 0) return invalid("O pacote de alterações não traz o campo " + c.name + ".");
    }
    if (packet.rows_size() > kMaxChangeRows)
        return invalid("O pacote de alterações excede " + std::to_string(kMaxChangeRows) + " registros.");

    // Original values that are neither key nor changeable are checked only,
    // into one scratch cell.
    std::vector<bool> kept(declared.size());
    for (int i : keyIdx)
        kept[std::size_t(i)] = true;
    for (int i : chgIdx)
        kept[std::size_t(i)] = true;
    DbValue scratch;

    std::vector<RowUpdate> out;
    out.reserve(std::size_t(packet.rows_size()));
    std::set<std::vector<std::string>> keys;
    for (const auto& rc : packet.rows()) {
        if (rc.kind() == zel::data::CHANGE_INSERT)
            return invalid(std::string("Inclusão não permitida: ") + rules.rowName +
                           " não pode ser incluída por aqui.");
        if (rc.kind() == zel::data::CHANGE_DELETE)
            return invalid(std::string("Exclusão não permitida: ") + rules.rowName + " não pode ser excluída.");
        if (rc.kind() != zel::data::CHANGE_MODIFY) return invalid("Tipo de alteração desconhecido.");
        if (rc.original().values_size() != int(declared.size()))
            return invalid("Os valores originais não correspondem aos campos do pacote.");
        std::vector<DbValue> orig(declared.size());
        for (std::size_t i = 0; i < declared.size(); ++i)
            if (auto err = toDb(rc.original().values(int(i)), *declared[i], kept[i] ? orig[i] : scratch))
                return invalid(*err);
        RowUpdate u;
        for (std::size_t k = 0; k < keyIdx.size(); ++k) {
            const DbValue& v = orig[std::size_t(keyIdx[k])];
            const auto* s = std::get_if<std::string>(&v);
            if (!s || s->empty()) return invalid("O campo " + rules.key[k] + " da chave não foi informado.");
            u.key.push_back(*s);
        }
        if (!keys.insert(u.key).second)
            return invalid(std::string(rules.rowName) + " aparece mais de uma vez no pacote de alterações.");
        for (int i : chgIdx)
            u.original.push_back(orig[std::size_t(i)]);
        u.changes.resize(chgIdx.size());
        std::vector<bool> changedFields(declared.size());
        for (const auto& fc : rc.changes()) {
            if (fc.field() < 0 || fc.field() >= int(declared.size()))
                return invalid("Alteração de um campo inexistente.");
            if (changedFields[std::size_t(fc.field())])
                return invalid(std::string("O campo ") + declared[std::size_t(fc.field())]->name +
                               " foi alterado mais de uma vez no mesmo registro.");
            changedFields[std::size_t(fc.field())] = true;
            auto pos = std::find(chgIdx.begin(), chgIdx.end(), fc.field());
            if (pos == chgIdx.end())
                return invalid(std::string("O campo ") + declared[std::size_t(fc.field())]->name +
                               " não pode ser alterado.");
            const std::size_t c = std::size_t(pos - chgIdx.begin());
            DbValue nv;
            if (auto err = toDb(fc.value(), *declared[std::size_t(fc.field())], nv)) return invalid(*err);
            const auto& rule = rules.changeable[c];
            const auto* newText = std::get_if<std::string>(&nv);
            if (std::holds_alternative<std::monostate>(nv) || (newText && newText->empty() && !rule.nullable)) {
                if (!rule.nullable) return invalid("O campo " + rule.name + " deve ser informado.");
            } else if (!rule.allowed.empty()) {
                const auto* s = std::get_if<std::string>(&nv);
                if (!s || std::find(rule.allowed.begin(), rule.allowed.end(), *s) == rule.allowed.end())
                    return invalid("Valor inválido para o campo " + rule.name + ".");
            }
            u.changes[c] = std::move(nv);
        }
        out.push_back(std::move(u));
    }
    return out;
}

namespace Changes {

const ChangeSpec& IncPed()
{
    static const ChangeSpec rules{&Packets::IncPed,
                                  {"CDFILIAL", "NRPEDIDO", "NRINCONSPED"},
                                  {{"ATIVA", false, {"S", "N"}},
                                   {"TXOBSLIBINCO", true, {}},
                                   {"DTLIBEINCONS", true, {}},
                                   {"CDOPERLIBE", true, {}}},
                                  "Inconsistência"};
    return rules;
}

const ChangeSpec& ItemPedido()
{
    static const ChangeSpec rules{
        &Packets::ItemPedido, {"CDFILIAL", "NRPEDIDO", "NRITEMPED"}, {{"IDSITITEMPED", false, {}}}, "Item do pedido"};
    return rules;
}

} // namespace Changes
} // namespace zel::server
