#include "server/ChangeSet.h"

#include <algorithm>
#include <set>
#include <string_view>

namespace zel::server {
namespace {

using zel::data::FieldKind;
using zel::data::Value;

ServiceError invalid(const std::string& msg)
{
    return ServiceError{kErrInvalid, msg};
}

// The dataset position of the field called `name`, or -1. The position
// `hint` is tried first: a shell declares its fields in the dataset's order.
int fieldAt(const std::vector<FieldSpec>& fields, std::string_view name, std::size_t hint = 0)
{
    if (hint < fields.size() && name == fields[hint].name) return int(hint);
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (name == fields[i].name) return int(i);
    return -1;
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
    std::vector<int> declaredAs(dsFields.size(), -1); // by dataset position
    for (const auto& fd : packet.fields()) {
        const int at = fieldAt(dsFields, fd.name(), declared.size());
        if (at < 0) return invalid("Campo desconhecido no pacote de alterações: " + fd.name().substr(0, 40) + ".");
        const FieldSpec* f = &dsFields[std::size_t(at)];
        if (fd.kind() != f->kind || fd.size() != f->size)
            return invalid(std::string("O campo ") + f->name + " tem tipo ou tamanho diferente do esperado.");
        if (declaredAs[std::size_t(at)] >= 0)
            return invalid(std::string("O campo ") + f->name + " aparece mais de uma vez no pacote.");
        declaredAs[std::size_t(at)] = int(declared.size());
        declared.push_back(f);
    }
    auto indexOf = [&](const std::vector<int>& positions, std::size_t i, const std::string& name) -> int {
        const int at = i < positions.size() ? positions[i] : fieldAt(dsFields, name);
        return at < 0 ? -1 : declaredAs[std::size_t(at)];
    };
    std::vector<int> keyIdx, chgIdx;
    for (std::size_t i = 0; i < rules.key.size(); ++i) {
        keyIdx.push_back(indexOf(rules.keyAt, i, rules.key[i]));
        if (keyIdx.back() < 0) return invalid("O pacote de alterações não traz o campo " + rules.key[i] + ".");
    }
    for (std::size_t i = 0; i < rules.changeable.size(); ++i) {
        chgIdx.push_back(indexOf(rules.changeableAt, i, rules.changeable[i].name));
        if (chgIdx.back() < 0)
            return invalid("O pacote de alterações não traz o campo " + rules.changeable[i].name + ".");
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
        if (packet.rows_size() > 1 && !keys.insert(u.key).second)
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

ChangeSpec Indexed(ChangeSpec rules)
{
    rules.keyAt.clear();
    rules.changeableAt.clear();
    for (const std::string& k : rules.key)
        rules.keyAt.push_back(fieldAt(*rules.fields, k));
    for (const auto& c : rules.changeable)
        rules.changeableAt.push_back(fieldAt(*rules.fields, c.name));
    return rules;
}

namespace Changes {

const ChangeSpec& IncPed()
{
    static const ChangeSpec rules = Indexed({&Packets::IncPed,
                                             {"CDFILIAL", "NRPEDIDO", "NRINCONSPED"},
                                             {{"ATIVA", false, {"S", "N"}},
                                              {"TXOBSLIBINCO", true, {}},
                                              {"DTLIBEINCONS", true, {}},
                                              {"CDOPERLIBE", true, {}}},
                                             "Inconsistência",
                                             {},
                                             {}});
    return rules;
}

const ChangeSpec& ItemPedido()
{
    static const ChangeSpec rules = Indexed({&Packets::ItemPedido,
                                             {"CDFILIAL", "NRPEDIDO", "NRITEMPED"},
                                             {{"IDSITITEMPED", false, {}}},
                                             "Item do pedido",
                                             {},
                                             {}});
    return rules;
}

} // namespace Changes
} // namespace zel::server
