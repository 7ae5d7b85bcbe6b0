#include "server/IncPed.h"

#include "platform/data/KeyList.h"
#include "server/ChangeSet.h"
#include "server/Log.h"

#include <QString>

#include <algorithm>
#include <map>
#include <set>

namespace zel::server {
namespace {

using Error = ServiceError;

} // namespace

namespace Sql {
const char* const Pedido =
    "SELECT P.IDSITPEDIDO, P.NRPEDIDO, P.CDCLIENTE, C.NMFANTCLIE, P.DTPEDIDO, P.DTENTPED, P.CDVENDEDOR, "
    "V.NMFANVEN, "
    "(SELECT CAST(ROUND(CAST(SUM(I.QTITEMPED * I.VRUNITITEM) AS NUMERIC), 2) AS DOUBLE PRECISION) "
    "FROM ITEMPEDIDO I WHERE I.CDFILIAL = P.CDFILIAL AND I.NRPEDIDO = P.NRPEDIDO), "
    "P.CDFILIAL "
    "FROM PEDIDO P "
    "LEFT JOIN CLIENTE C ON C.CDCLIENTE = P.CDCLIENTE "
    "LEFT JOIN VENDEDOR V ON V.CDVENDEDOR = P.CDVENDEDOR "
    "WHERE P.CDFILIAL = ? "
    "AND EXISTS (SELECT 1 FROM INCONSPED N WHERE N.CDFILIAL = P.CDFILIAL AND N.NRPEDIDO = P.NRPEDIDO "
    "AND N.DTLIBEINCONS IS NULL)";

const char* const IncPed =
    "SELECT N.CDFILIAL, N.NRPEDIDO, I.CDPRODUTO, R.NMPRODUTO, N.NRINCONSPED, N.CDCONSPEDIDO, K.NMCONSPEDIDO, "
    "N.NRITEMPED, N.CDOPERLIBE, O.NMOPERADOR, N.DTLIBEINCONS, N.TXOBSLIBINCO, N.ATIVA "
    "FROM INCONSPED N "
    "LEFT JOIN ITEMPEDIDO I ON I.CDFILIAL = N.CDFILIAL AND I.NRPEDIDO = N.NRPEDIDO AND I.NRITEMPED = N.NRITEMPED "
    "LEFT JOIN PRODUTO R ON R.CDPRODUTO = I.CDPRODUTO "
    "LEFT JOIN CONSPEDIDO K ON K.CDCONSPEDIDO = N.CDCONSPEDIDO "
    "LEFT JOIN OPERADOR O ON O.CDOPERADOR = N.CDOPERLIBE "
    "WHERE N.CDFILIAL = ? AND N.NRPEDIDO = ? AND N.DTLIBEINCONS IS NULL "
    "ORDER BY N.NRINCONSPED";
const char* const Item =
    "SELECT CDFILIAL, NRPEDIDO, NRITEMPED, IDSITITEMPED FROM ITEMPEDIDO WHERE CDFILIAL = ? AND NRPEDIDO = ? AND "
    "NRITEMPED = ?";
const char* const GrupOper =
    "SELECT CDGROPLIBINC FROM OPERGRUPLIB WHERE CDFILIAL = ? AND CDOPERADOR = ? ORDER BY CDGROPLIBINC";
const char* const NrPedido =
    "SELECT DISTINCT 'N', NRPEDIDO FROM INCONSPED WHERE CDFILIAL = ? AND DTLIBEINCONS IS NULL ORDER BY NRPEDIDO";
// A row to be changed, as stored, and whether the operator (the first
// parameter) holds a release right in its branch: one statement, so that
// the right costs the database no round of its own.
const char* const IncPedAsStored =
    "SELECT N.ATIVA, N.TXOBSLIBINCO, N.DTLIBEINCONS, N.CDOPERLIBE, CASE WHEN EXISTS (SELECT 1 FROM OPERGRUPLIB G "
    "WHERE G.CDFILIAL = N.CDFILIAL AND G.CDOPERADOR = ?) THEN 1 ELSE 0 END FROM INCONSPED N "
    "WHERE N.CDFILIAL = ? AND N.NRPEDIDO = ? AND N.NRINCONSPED = ?";
const char* const ItemForUpdate =
    "SELECT I.IDSITITEMPED, CASE WHEN EXISTS (SELECT 1 FROM OPERGRUPLIB G WHERE G.CDFILIAL = I.CDFILIAL AND "
    "G.CDOPERADOR = ?) THEN 1 ELSE 0 END FROM ITEMPEDIDO I WHERE I.CDFILIAL = ? AND I.NRPEDIDO = ? AND I.NRITEMPED = ?";
const char* const ItemUpdate =
    "UPDATE ITEMPEDIDO SET IDSITITEMPED = ? WHERE CDFILIAL = ? AND NRPEDIDO = ? AND NRITEMPED = ?";
// A null and an empty text are the same original (see sameText). A row
// the operator saw released is never written.
const char* const IncPedWrite =
    "UPDATE INCONSPED SET ATIVA = CASE WHEN :set_mark = 1 THEN :mark ELSE ATIVA END, "
    "TXOBSLIBINCO = CASE WHEN :set_note = 1 THEN :note ELSE TXOBSLIBINCO END, "
    "DTLIBEINCONS = CASE WHEN :set_released_at = 1 THEN :released_at ELSE DTLIBEINCONS END, "
    "CDOPERLIBE = CASE WHEN :set_released_by = 1 THEN :released_by ELSE CDOPERLIBE END "
    "WHERE CDFILIAL = :branch AND NRPEDIDO = :order_no AND NRINCONSPED = :incons_no AND DTLIBEINCONS IS NULL "
    "AND CAST(:seen_released_at AS BIGINT) IS NULL "
    "AND COALESCE(ATIVA, '') = COALESCE(:seen_mark, '') AND COALESCE(TXOBSLIBINCO, '') = COALESCE(:seen_note, '') "
    "AND COALESCE(CDOPERLIBE, '') = COALESCE(:seen_released_by, '') "
    "AND (:needs_right = 0 OR EXISTS (SELECT 1 FROM OPERGRUPLIB G WHERE G.CDFILIAL = INCONSPED.CDFILIAL "
    "AND G.CDOPERADOR = :operator))";
const char* const ItemChangeIf =
    "UPDATE ITEMPEDIDO SET IDSITITEMPED = ? WHERE CDFILIAL = ? AND NRPEDIDO = ? AND NRITEMPED = ? "
    "AND COALESCE(IDSITITEMPED, '') = COALESCE(?, '') "
    "AND EXISTS (SELECT 1 FROM OPERGRUPLIB G WHERE G.CDFILIAL = ITEMPEDIDO.CDFILIAL AND G.CDOPERADOR = ?)";
} // namespace Sql

namespace {
// The history of a row just released, from the row as it now stands
// (SQLite, in the transaction of the change).
const NamedSql& HistOfRow()
{
    static const NamedSql sql(
        "INSERT INTO HISTLIBINC (CDFILIAL, NRPEDIDO, NRINCONSPED, CDOPERLIBE, DTLIBEINCONS, DTREGISTRO, TXOBSLIBINCO) "
        "SELECT CDFILIAL, NRPEDIDO, NRINCONSPED, CDOPERLIBE, DTLIBEINCONS, :stamp, TXOBSLIBINCO FROM INCONSPED "
        "WHERE CDFILIAL = :branch AND NRPEDIDO = :order_no AND NRINCONSPED = :incons_no");
    return sql;
}
const NamedSql& Write()
{
    static const NamedSql sql(Sql::IncPedWrite);
    return sql;
}
// The write and its history in one statement (PostgreSQL).
const NamedSql& WriteWithHistory()
{
    static const NamedSql sql(std::string("WITH U AS (") + Sql::IncPedWrite +
                              " RETURNING CDFILIAL, NRPEDIDO, NRINCONSPED, CDOPERLIBE, DTLIBEINCONS, TXOBSLIBINCO), "
                              "H AS (INSERT INTO HISTLIBINC (CDFILIAL, NRPEDIDO, NRINCONSPED, CDOPERLIBE, "
                              "DTLIBEINCONS, DTREGISTRO, TXOBSLIBINCO) SELECT CDFILIAL, NRPEDIDO, NRINCONSPED, "
                              "CDOPERLIBE, DTLIBEINCONS, CAST(:stamp AS BIGINT), TXOBSLIBINCO FROM U "
                              "WHERE CAST(:history AS INTEGER) = 1) "
                              "SELECT COUNT(*) FROM U");
    return sql;
}
} // namespace

bool Releases(const RowUpdate& u)
{
    return u.changes[kReleasedAt].has_value() || u.changes[kReleasedBy].has_value();
}

bool MarksOrReleases(const RowUpdate& u)
{
    const auto& mark = u.changes[kMark];
    const auto* s = mark ? std::get_if<std::string>(&*mark) : nullptr;
    return (s && *s == "S") || Releases(u);
}

std::int64_t WriteIncPedRow(DbConn& c, const RowUpdate& u, const std::string& operador, std::int64_t stamp)
{
    auto set = [&](IncPedField f) { return Int(u.changes[f] ? 1 : 0); };
    auto to = [&](IncPedField f) { return u.changes[f] ? *u.changes[f] : DbValue(); };
    const bool history = u.changes[kReleasedAt] && !std::holds_alternative<std::monostate>(*u.changes[kReleasedAt]);
    const NamedSql::Arg args[] = {{"set_mark", set(kMark)},
                                  {"mark", to(kMark)},
                                  {"set_note", set(kNote)},
                                  {"note", to(kNote)},
                                  {"set_released_at", set(kReleasedAt)},
                                  {"released_at", to(kReleasedAt)},
                                  {"set_released_by", set(kReleasedBy)},
                                  {"released_by", to(kReleasedBy)},
                                  {"branch", Text(u.key[0])},
                                  {"order_no", Text(u.key[1])},
                                  {"incons_no", Text(u.key[2])},
                                  {"seen_released_at", u.original[kReleasedAt]},
                                  {"seen_mark", u.original[kMark]},
                                  {"seen_note", u.original[kNote]},
                                  {"seen_released_by", u.original[kReleasedBy]},
                                  {"needs_right", Int(MarksOrReleases(u) ? 1 : 0)},
                                  {"operator", Text(operador)},
                                  {"stamp", Int(stamp)},
                                  {"history", Int(history ? 1 : 0)}};
    if (c.dialect() == Dialect::Postgres)
        return c.query(WriteWithHistory().sql(), WriteWithHistory().bind(args)).i64(0, 0);
    // SQLite: the statements without the history's parameters.
    const std::span<const NamedSql::Arg> write(args, std::size(args) - 2);
    const std::int64_t n = c.exec(Write().sql(), Write().bind(write));
    if (n == 1 && history) {
        const NamedSql::Arg h[] = {{"stamp", Int(stamp)}, args[8], args[9], args[10]};
        c.exec(HistOfRow().sql(), HistOfRow().bind(h));
    }
    return n;
}

RowUpdate ReleaseOf(const std::string& branch, const std::string& orderNo, const std::string& inconsNo,
                    const DbValue& seenMark, const DbValue& seenNote, const DbValue& note, std::int64_t now,
                    const std::string& operador)
{
    RowUpdate u;
    u.key = {branch, orderNo, inconsNo};
    u.original = {seenMark, seenNote, DbValue(), DbValue()};
    u.changes.resize(4);
    if (!std::holds_alternative<std::monostate>(note)) u.changes[kNote] = note;
    u.changes[kReleasedAt] = Int(now);
    u.changes[kReleasedBy] = Text(operador);
    return u;
}

bool ReleaseOneRow(DbConn& c, const RowUpdate& u, const std::string& operador, std::int64_t now)
{
    if (c.dialect() == Dialect::Postgres) return WriteIncPedRow(c, u, operador, now) == 1;
    Transaction tx(c, true);
    if (WriteIncPedRow(c, u, operador, now) != 1) return false;
    tx.commit();
    return true;
}

namespace {

bool plainText(const std::string& s)
{
    if (Utf8Length(s) < 0) return false;
    for (char ch : s)
        if (static_cast<unsigned char>(ch) < 0x20) return false;
    return true;
}

// Branch codes of the methods' arguments: at most the 4 characters of the
// packets' branch field.
std::optional<Error> checkBranch(const std::string& b)
{
    if (b.empty()) return Error{kErrInvalid, "Filial deve ser informada."};
    if (Utf8Length(b) > 4 || !plainText(b)) return Error{kErrInvalid, "Filial inválida."};
    return std::nullopt;
}

std::optional<Error> checkKey(const std::string& v, int max, const char* what, bool required = true)
{
    if (v.empty() && required) return Error{kErrInvalid, std::string(what) + " deve ser informado."};
    if (Utf8Length(v) > max || !plainText(v)) return Error{kErrInvalid, std::string(what) + " inválido."};
    return std::nullopt;
}

// An order number of an interval, brought to the 10-character form in which
// the stored numbers are kept (a shorter number is padded with zeros).
std::optional<std::string> orderNumber(const std::string& s)
{
    if (s.empty() || s.size() > 10) return std::nullopt;
    if (std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return std::string(10 - s.size(), '0') + s;
    if (!plainText(s)) return std::nullopt;
    return s;
}

std::string dateTimeText(std::int64_t ms)
{
    const zel::TDateTime d = zel::TDateTime::fromMSecs(ms);
    return (d.date().toString(QStringLiteral("dd/MM/yyyy")) + QLatin1Char(' ') +
            d.time().toString(QStringLiteral("HH:mm")))
        .toStdString();
}

bool sameText(const DbValue& a, const DbValue& b)
{
    auto text = [](const DbValue& v) -> std::string {
        if (auto s = std::get_if<std::string>(&v)) return *s;
        return {};
    };
    // A note or operator never set and one set to empty text are the same to
    // the operator; every other difference counts.
    return text(a) == text(b);
}

bool sameValue(const DbValue& original, const DbValue& stored, bool isText)
{
    if (isText) return sameText(original, stored);
    const bool n1 = std::holds_alternative<std::monostate>(original);
    const bool n2 = std::holds_alternative<std::monostate>(stored);
    if (n1 || n2) return n1 == n2;
    return std::get<std::int64_t>(original) == std::get<std::int64_t>(stored);
}

DbValue cell(const DbRows& r, int col, bool isText)
{
    if (r.isNull(0, col)) return {};
    return isText ? DbValue(r.text(0, col)) : DbValue(r.i64(0, col));
}

} // namespace

ServiceError DbFailure(const DbError& e)
{
    switch (e.kind()) {
    case DbError::Kind::Busy:
        return {kErrUnavailable, "Banco de dados ocupado. Tente novamente."};
    case DbError::Kind::Unavailable:
        return {kErrUnavailable, "Banco de dados indisponível. Tente novamente em instantes."};
    case DbError::Kind::Timeout:
        return {kErrTimeout, "Tempo esgotado aguardando o banco de dados."};
    case DbError::Kind::Constraint:
        return {kErrInvalid, "Alteração recusada pelo banco de dados."};
    case DbError::Kind::Other:
        break;
    }
    return {kErrInternal, "Erro interno do servidor de aplicação."};
}

IncPed::IncPed(Database& db) : db_(db) {}

template <class F> IncPed::Result IncPed::run(const char* method, std::optional<Deadline> dl, F&& body)
{
    return RunOnConnection(db_, method, dl, std::forward<F>(body));
}

IncPed::Result IncPed::GetPedido(const Caller&, const Zel08100::GetPedidoRequest& rq, std::optional<Deadline> dl)
{
    if (auto e = checkBranch(rq.cd_filial())) return ErrorResult(*e);
    for (const std::string* t : {&rq.todos_pedidos(), &rq.todas_dt_pedido(), &rq.todas_dt_entrega()})
        if (!t->empty() && *t != "T")
            return ErrorResult({kErrInvalid, "Critério inválido: use \"T\" ou deixe em branco."});

    const bool todos = rq.todos_pedidos() == "T";
    const bool lista = !rq.lista_pedido().empty();
    const bool intervalo = !rq.nr_pedido_de().empty() || !rq.nr_pedido_ate().empty();
    const int modes = int(todos) + int(lista) + int(intervalo);
    if (modes == 0) return ErrorResult({kErrInvalid, "Informe os pedidos: todos, um intervalo ou uma lista."});
    if (modes > 1)
        return ErrorResult({kErrInvalid, "Informe apenas um critério de pedidos: todos, intervalo ou lista."});

    std::string sql = Sql::Pedido;
    std::vector<DbValue> params{Text(rq.cd_filial())};
    if (intervalo) {
        if (rq.nr_pedido_de().empty()) return ErrorResult({kErrInvalid, "Intervalo inicial deve ser informado."});
        if (rq.nr_pedido_ate().empty()) return ErrorResult({kErrInvalid, "Intervalo final deve ser informado."});
        auto de = orderNumber(rq.nr_pedido_de());
        auto ate = orderNumber(rq.nr_pedido_ate());
        if (!de || !ate) return ErrorResult({kErrInvalid, "Número de pedido inválido no intervalo."});
        if (*de > *ate) return ErrorResult({kErrInvalid, "Intervalo inicial deve ser menor que o final."});
        sql += " AND P.NRPEDIDO >= ? AND P.NRPEDIDO <= ?";
        params.push_back(Text(*de));
        params.push_back(Text(*ate));
    }

    auto dateRange = [&](bool all, bool hasDe, std::int64_t de, bool hasAte, std::int64_t ate, const char* column,
                         const char* what) -> std::optional<Error> {
        if (all) return std::nullopt;
        if (!hasDe || !hasAte) return Error{kErrInvalid, std::string("Informe as duas datas de ") + what + "."};
        const auto from = zel::TDateTime::fromMSecs(de).dateOnly().msecs();
        const auto to = zel::TDateTime::fromMSecs(ate).dateOnly().msecs();
        if (to < from) return Error{kErrInvalid, "Data inicial deve ser menor que a final."};
        sql += std::string(" AND ") + column + " >= ? AND " + column + " < ?";
        params.push_back(Int(from));
        params.push_back(Int(to + zel::TDateTime::kMsPerDay));
        return std::nullopt;
    };
    if (auto e = dateRange(rq.todas_dt_pedido() == "T", rq.has_dt_pedido_de(), rq.dt_pedido_de().ms(),
                           rq.has_dt_pedido_ate(), rq.dt_pedido_ate().ms(), "P.DTPEDIDO", "pedido"))
        return ErrorResult(*e);
    if (auto e = dateRange(rq.todas_dt_entrega() == "T", rq.has_dt_entrega_de(), rq.dt_entrega_de().ms(),
                           rq.has_dt_entrega_ate(), rq.dt_entrega_ate().ms(), "P.DTENTPED", "entrega"))
        return ErrorResult(*e);

    std::vector<std::string> keys;
    if (lista) {
        auto parsed = zel::KeyList::Parse(QString::fromStdString(rq.lista_pedido()), 10);
        if (!parsed) return ErrorResult({kErrInvalid, "Lista de pedidos inválida."});
        if (parsed->size() > kMaxListKeys)
            return ErrorResult({kErrInvalid, "A lista excede " + std::to_string(kMaxListKeys) + " pedidos."});
        std::set<std::string> unique;
        for (const QString& k : *parsed)
            unique.insert(k.toStdString());
        keys.assign(unique.begin(), unique.end());
    }

    return run("GetPedido", dl, [&](DbConn& c) {
        if (!lista) return DataResult(QueryPacket(Packets::Pedido, c, sql + " ORDER BY P.NRPEDIDO", params));
        // The keys are sorted, so chunk after chunk comes in order-number order.
        zel::data::DataPacket all = EmptyPacket(Packets::Pedido);
        for (std::size_t at = 0; at < keys.size(); at += kListChunk) {
            const std::size_t n = std::min<std::size_t>(kListChunk, keys.size() - at);
            std::string q = sql + " AND P.NRPEDIDO IN (?";
            for (std::size_t i = 1; i < n; ++i)
                q += ",?";
            q += ") ORDER BY P.NRPEDIDO";
            std::vector<DbValue> p = params;
            for (std::size_t i = 0; i < n; ++i)
                p.push_back(Text(keys[at + i]));
            AppendPacket(all, QueryPacket(Packets::Pedido, c, q, p));
        }
        return DataResult(std::move(all));
    });
}

IncPed::Result IncPed::GetIncPed(const Caller&, const Zel08100::GetIncPedRequest& rq, std::optional<Deadline> dl)
{
    if (auto e = checkBranch(rq.cd_filial())) return ErrorResult(*e);
    if (auto e = checkKey(rq.nr_pedido(), 10, "Número do pedido")) return ErrorResult(*e);
    return run("GetIncPed", dl, [&](DbConn& c) {
        const DbValue p[] = {Text(rq.cd_filial()), Text(rq.nr_pedido())};
        return DataResult(QueryPacket(Packets::IncPed, c, Sql::IncPed, p));
    });
}

IncPed::Result IncPed::GetItem(const Caller&, const Zel08100::GetItemRequest& rq, std::optional<Deadline> dl)
{
    if (auto e = checkBranch(rq.cd_filial())) return ErrorResult(*e);
    if (auto e = checkKey(rq.nr_pedido(), 10, "Número do pedido")) return ErrorResult(*e);
    if (auto e = checkKey(rq.nr_item_ped(), 10, "Número do item", false)) return ErrorResult(*e);
    // The mark of the inconsistency does not change which item is answered.
    if (rq.nr_item_ped().empty()) return DataResult(EmptyPacket(Packets::ItemPedido));
    return run("GetItem", dl, [&](DbConn& c) {
        const DbValue p[] = {Text(rq.cd_filial()), Text(rq.nr_pedido()), Text(rq.nr_item_ped())};
        return DataResult(QueryPacket(Packets::ItemPedido, c, Sql::Item, p));
    });
}

IncPed::Result IncPed::GetGrupOper(const Caller& who, const Zel08100::GetGrupOperRequest& rq,
                                   std::optional<Deadline> dl)
{
    if (auto e = checkBranch(rq.cd_filial())) return ErrorResult(*e);
    if (rq.cd_operador() != who.operador)
        return ErrorResult({kErrForbidden, "Só é possível consultar os grupos do operador da sessão."});
    return run("GetGrupOper", dl, [&](DbConn& c) {
        const DbValue p[] = {Text(rq.cd_filial()), Text(who.operador)};
        return DataResult(QueryPacket(Packets::GrupOper, c, Sql::GrupOper, p));
    });
}

IncPed::Result IncPed::GetNrPedido(const Caller&, const Zel08100::GetNrPedidoRequest& rq, std::optional<Deadline> dl)
{
    if (auto e = checkBranch(rq.cd_filial())) return ErrorResult(*e);
    return run("GetNrPedido", dl, [&](DbConn& c) {
        const DbValue p[] = {Text(rq.cd_filial())};
        return DataResult(QueryPacket(Packets::NrPedido, c, Sql::NrPedido, p));
    });
}

namespace {

// The rows of a change packet as stored, read and locked in the write
// transaction before anything is checked or written, each with the
// operator's right in its branch (see Sql::ItemForUpdate).
class LockedRows {
public:
    LockedRows(DbConn& c, const char* sql, const std::vector<RowUpdate>& rows, const std::string& operador)
        : c_(c), operador_(operador)
    {
        const std::string select = std::string(sql) + c.forUpdate();
        rows_.reserve(rows.size());
        for (const RowUpdate& u : rows) {
            const DbValue p[] = {Text(operador), Text(u.key[0]), Text(u.key[1]), Text(u.key[2])};
            rows_.push_back(c.query(select, p));
            if (!rows_.back().empty()) rights_.emplace(u.key[0], rows_.back().i64(0, rows_.back().columns() - 1) != 0);
        }
    }
    // The row of the packet's row i; empty when it does not exist.
    const DbRows& operator[](std::size_t i) const { return rows_[i]; }
    // The right in a branch: as read with its rows, or asked of the database
    // when none of the packet's rows of that branch exists.
    bool right(const std::string& branch)
    {
        auto it = rights_.find(branch);
        if (it == rights_.end()) it = rights_.emplace(branch, HasReleaseRight(c_, branch, operador_)).first;
        return it->second;
    }

private:
    DbConn& c_;
    const std::string& operador_;
    std::vector<DbRows> rows_;
    std::map<std::string, bool> rights_;
};

} // namespace

IncPed::Result IncPed::SetIncPed(const Caller& who, const zel::data::ChangePacket& delta, std::optional<Deadline> dl)
{
    auto decoded = DecodeChanges(delta, Changes::IncPed());
    if (auto* e = std::get_if<ServiceError>(&decoded)) return ErrorResult(*e);
    const auto& rows = std::get<std::vector<RowUpdate>>(decoded);
    // What a release must carry, asked of every row before the database is.
    for (const RowUpdate& u : rows) {
        if (!Releases(u)) continue;
        const DbValue& dt = u.changes[kReleasedAt] ? *u.changes[kReleasedAt] : u.original[kReleasedAt];
        const DbValue& op = u.changes[kReleasedBy] ? *u.changes[kReleasedBy] : u.original[kReleasedBy];
        const auto* opText = std::get_if<std::string>(&op);
        if (std::holds_alternative<std::monostate>(dt) || !opText || opText->empty())
            return ErrorResult({kErrInvalid, "A liberação deve informar a data e o operador."});
        if (*opText != who.operador)
            return ErrorResult({kErrForbidden, "A liberação deve ser feita em nome do operador da sessão."});
    }

    return run("SetIncPed", dl, [&](DbConn& c) -> Result {
        // Every row is written under the one rule of Sql::IncPedWrite; the
        // packet commits only if the rule took every row. A single row on
        // PostgreSQL is one statement, one round trip.
        std::optional<std::int64_t> now; // the server's clock, read for the first release
        auto stamp = [&](const RowUpdate& u) {
            if (!now && u.changes[kReleasedAt]) now = clock().msecs();
            return now.value_or(0);
        };
        bool written = true;
        if (rows.size() == 1 && c.dialect() == Dialect::Postgres) {
            written = WriteIncPedRow(c, rows[0], who.operador, stamp(rows[0])) == 1;
        } else {
            Transaction tx(c, true);
            for (const RowUpdate& u : rows)
                if (!(written = WriteIncPedRow(c, u, who.operador, stamp(u)) == 1)) break;
            if (written) tx.commit();
        }
        if (written) return DataResult(zel::data::DataPacket());

        // Refused, nothing changed: why, in the order the operator is told.
        // Rights first, for every row, then each row as it now stands.
        std::map<std::string, bool> rights;
        for (const RowUpdate& u : rows) {
            if (!MarksOrReleases(u)) continue;
            auto it = rights.find(u.key[0]);
            if (it == rights.end()) it = rights.emplace(u.key[0], HasReleaseRight(c, u.key[0], who.operador)).first;
            if (!it->second)
                return ErrorResult({kErrForbidden, "Operador não possui permissão para liberar inconsistências."});
        }
        const bool isText[] = {true, true, false, true};
        for (const RowUpdate& u : rows) {
            const DbValue p[] = {Text(who.operador), Text(u.key[0]), Text(u.key[1]), Text(u.key[2])};
            const DbRows s = c.query(Sql::IncPedAsStored, p);
            if (s.empty())
                return ErrorResult({kErrNotFound, "Inconsistência " + u.key[2] + " do pedido " + u.key[1] +
                                                      " não encontrada na filial " + u.key[0] + "."});
            if (!s.isNull(0, kReleasedAt))
                return ErrorResult({kErrConflict, "Inconsistência já liberada por " + s.text(0, kReleasedBy) + " em " +
                                                      dateTimeText(s.i64(0, kReleasedAt)) + "."});
            for (int f = 0; f < 4; ++f)
                if (!sameValue(u.original[std::size_t(f)], cell(s, f, isText[f]), isText[f]))
                    return ErrorResult({kErrConflict, "Registro alterado por outro usuário."});
        }
        // Every row is as the operator saw it now: it was not when written
        // (changed and changed back meanwhile).
        return ErrorResult({kErrConflict, "Registro alterado por outro usuário."});
    });
}

IncPed::Result IncPed::SetItem(const Caller& who, const zel::data::ChangePacket& delta, std::optional<Deadline> dl)
{
    auto decoded = DecodeChanges(delta, Changes::ItemPedido());
    if (auto* e = std::get_if<ServiceError>(&decoded)) return ErrorResult(*e);
    const auto& rows = std::get<std::vector<RowUpdate>>(decoded);

    return run("SetItem", dl, [&](DbConn& c) -> Result {
        // One row's situation, as the screen sends it: one statement when the
        // item is still as the operator saw it and the operator holds the
        // right; otherwise the transaction below finds out why.
        if (rows.size() == 1 && rows[0].changes[0]) {
            const RowUpdate& u = rows[0];
            const DbValue p[] = {*u.changes[0],  Text(u.key[0]), Text(u.key[1]),
                                 Text(u.key[2]), u.original[0],  Text(who.operador)};
            if (c.exec(Sql::ItemChangeIf, p) == 1) return DataResult(zel::data::DataPacket());
        }
        Transaction tx(c, true);
        LockedRows stored(c, Sql::ItemForUpdate, rows, who.operador);
        for (const RowUpdate& u : rows)
            if (u.changes[0] && !stored.right(u.key[0]))
                return ErrorResult({kErrForbidden, "Operador não possui permissão para alterar a situação do item."});
        for (std::size_t i = 0; i < rows.size(); ++i) {
            const RowUpdate& u = rows[i];
            const DbRows& s = stored[i];
            if (s.empty())
                return ErrorResult({kErrNotFound, "Item " + u.key[2] + " do pedido " + u.key[1] +
                                                      " não encontrado na filial " + u.key[0] + "."});
            if (!sameText(u.original[0], cell(s, 0, true)))
                return ErrorResult({kErrConflict, "Registro alterado por outro usuário."});
            if (!u.changes[0]) continue;
            const DbValue upd[] = {*u.changes[0], Text(u.key[0]), Text(u.key[1]), Text(u.key[2])};
            c.queue(Sql::ItemUpdate, upd);
        }
        tx.commit();
        return DataResult(zel::data::DataPacket());
    });
}

} // namespace zel::server
