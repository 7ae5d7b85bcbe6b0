#include "server/Supervisao.h"

#include "server/IncPed.h"
#include "server/Log.h"

#include <algorithm>
#include <charconv>
#include <set>
#include <tuple>

namespace zel::server {

using zel::data::FieldKind;

namespace Packets {
const std::vector<FieldSpec> Direitos = {
    {"VERHIST", FieldKind::FIELD_FIXED_TEXT, 1},
    {"LIBERA", FieldKind::FIELD_FIXED_TEXT, 1},
};
const std::vector<FieldSpec> Historico = {
    {"CDFILIAL", FieldKind::FIELD_TEXT, 4},         {"NRPEDIDO", FieldKind::FIELD_TEXT, 10},
    {"NRINCONSPED", FieldKind::FIELD_TEXT, 3},      {"CDCONSPEDIDO", FieldKind::FIELD_TEXT, 3},
    {"NMCONSPEDIDO", FieldKind::FIELD_TEXT, 50},    {"NRITEMPED", FieldKind::FIELD_TEXT, 10},
    {"CDPRODUTO", FieldKind::FIELD_TEXT, 10},       {"NMPRODUTO", FieldKind::FIELD_TEXT, 50},
    {"CDOPERLIBE", FieldKind::FIELD_TEXT, 12},      {"NMOPERADOR", FieldKind::FIELD_TEXT, 40},
    {"DTLIBEINCONS", FieldKind::FIELD_DATETIME, 0}, {"TXOBSLIBINCO", FieldKind::FIELD_TEXT, 2000},
};
const std::vector<FieldSpec> Pendentes = {
    {"CDFILIAL", FieldKind::FIELD_TEXT, 4},        {"NRPEDIDO", FieldKind::FIELD_TEXT, 10},
    {"NRINCONSPED", FieldKind::FIELD_TEXT, 3},     {"CDCONSPEDIDO", FieldKind::FIELD_TEXT, 3},
    {"NMCONSPEDIDO", FieldKind::FIELD_TEXT, 50},   {"NRITEMPED", FieldKind::FIELD_TEXT, 10},
    {"CDPRODUTO", FieldKind::FIELD_TEXT, 10},      {"DTPEDIDO", FieldKind::FIELD_DATETIME, 0},
    {"DTENTPED", FieldKind::FIELD_DATETIME, 0},    {"ATIVA", FieldKind::FIELD_FIXED_TEXT, 1},
    {"TXOBSLIBINCO", FieldKind::FIELD_TEXT, 2000},
};
} // namespace Packets

namespace {

using Error = ServiceError;
using Outcome = Zel08200::LoteOutcome;

// Text of one line, valid UTF-8 of at most `max` characters.
bool lineText(const std::string& s, long max)
{
    const long n = Utf8Length(s);
    if (n < 0 || n > max) return false;
    return std::none_of(s.begin(), s.end(), [](char ch) { return static_cast<unsigned char>(ch) < 0x20; });
}

// A note: lines break, other control characters do not belong.
bool noteText(const std::string& s)
{
    const long n = Utf8Length(s);
    if (n < 0 || n > 2000) return false;
    return std::none_of(s.begin(), s.end(), [](char ch) {
        const auto c = static_cast<unsigned char>(ch);
        return c < 0x20 && c != '\n' && c != '\r' && c != '\t';
    });
}

std::optional<Error> checkBranch(const std::string& b)
{
    if (b.empty()) return Error{kErrInvalid, "Filial deve ser informada."};
    if (!lineText(b, 4)) return Error{kErrInvalid, "Filial inválida."};
    return std::nullopt;
}

bool digits(const std::string& s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// An order number as stored: digits are brought to the 10-digit form.
std::optional<std::string> orderNumber(const std::string& s)
{
    if (s.empty() || !lineText(s, 10)) return std::nullopt;
    if (digits(s)) return std::string(10 - s.size(), '0') + s;
    return s;
}

// A range of days: from the first day's 00:00 to the end of the last.
std::optional<Error> dayRange(std::int64_t de, std::int64_t ate, const char* column, std::string& sql,
                              std::vector<DbValue>& params)
{
    const std::int64_t from = de ? zel::TDateTime::fromMSecs(de).dateOnly().msecs() : 0;
    const std::int64_t to = ate ? zel::TDateTime::fromMSecs(ate).dateOnly().msecs() + zel::TDateTime::kMsPerDay : 0;
    if (de && ate && to <= from) return Error{kErrInvalid, "Data inicial deve ser menor que a final."};
    if (de) {
        sql += std::string(" AND ") + column + " >= ?";
        params.push_back(Int(from));
    }
    if (ate) {
        sql += std::string(" AND ") + column + " < ?";
        params.push_back(Int(to));
    }
    return std::nullopt;
}

const char* const HistBase =
    "SELECT H.CDFILIAL, H.NRPEDIDO, H.NRINCONSPED, N.CDCONSPEDIDO, K.NMCONSPEDIDO, N.NRITEMPED, I.CDPRODUTO, "
    "R.NMPRODUTO, H.CDOPERLIBE, O.NMOPERADOR, H.DTLIBEINCONS, H.TXOBSLIBINCO, H.NRHISTLIB "
    "FROM HISTLIBINC H "
    "JOIN INCONSPED N ON N.CDFILIAL = H.CDFILIAL AND N.NRPEDIDO = H.NRPEDIDO AND N.NRINCONSPED = H.NRINCONSPED "
    "LEFT JOIN CONSPEDIDO K ON K.CDCONSPEDIDO = N.CDCONSPEDIDO "
    "LEFT JOIN ITEMPEDIDO I ON I.CDFILIAL = N.CDFILIAL AND I.NRPEDIDO = N.NRPEDIDO AND I.NRITEMPED = N.NRITEMPED "
    "LEFT JOIN PRODUTO R ON R.CDPRODUTO = I.CDPRODUTO "
    "LEFT JOIN OPERADOR O ON O.CDOPERADOR = H.CDOPERLIBE "
    "WHERE H.CDFILIAL = ?";

const char* const Pendentes =
    "SELECT N.CDFILIAL, N.NRPEDIDO, N.NRINCONSPED, N.CDCONSPEDIDO, K.NMCONSPEDIDO, N.NRITEMPED, I.CDPRODUTO, "
    "P.DTPEDIDO, P.DTENTPED, N.ATIVA, N.TXOBSLIBINCO "
    "FROM INCONSPED N "
    "JOIN PEDIDO P ON P.CDFILIAL = N.CDFILIAL AND P.NRPEDIDO = N.NRPEDIDO "
    "LEFT JOIN CONSPEDIDO K ON K.CDCONSPEDIDO = N.CDCONSPEDIDO "
    "LEFT JOIN ITEMPEDIDO I ON I.CDFILIAL = N.CDFILIAL AND I.NRPEDIDO = N.NRPEDIDO AND I.NRITEMPED = N.NRITEMPED "
    "WHERE N.CDFILIAL = ? AND N.DTLIBEINCONS IS NULL";

const char* const MayReadHistory = "SELECT 1 FROM OPERVERHIST WHERE CDFILIAL = ? AND CDOPERADOR = ?";

// The row as stored after a release that did not take, with the operator's
// right in its branch: why it did not.
const char* const RowNow = "SELECT N.DTLIBEINCONS, N.CDOPERLIBE, CASE WHEN EXISTS (SELECT 1 FROM OPERGRUPLIB G "
                           "WHERE G.CDFILIAL = N.CDFILIAL AND G.CDOPERADOR = ?) THEN 1 ELSE 0 END FROM INCONSPED N "
                           "WHERE N.CDFILIAL = ? AND N.NRPEDIDO = ? AND N.NRINCONSPED = ?";

bool mayReadHistory(DbConn& c, const std::string& filial, const std::string& operador)
{
    const DbValue p[] = {Text(filial), Text(operador)};
    return !c.query(MayReadHistory, p).empty();
}

// A page's cursor: the last row's release time and history number.
std::string cursorOf(std::int64_t dt, std::int64_t nr)
{
    return std::to_string(dt) + ":" + std::to_string(nr);
}

std::optional<std::pair<std::int64_t, std::int64_t>> parseCursor(const std::string& s)
{
    const auto colon = s.find(':');
    if (colon == std::string::npos) return std::nullopt;
    std::int64_t dt = 0, nr = 0;
    const char* end = s.data() + s.size();
    auto a = std::from_chars(s.data(), s.data() + colon, dt);
    auto b = std::from_chars(s.data() + colon + 1, end, nr);
    if (a.ec != std::errc() || a.ptr != s.data() + colon || b.ec != std::errc() || b.ptr != end || colon == 0 ||
        colon + 1 == s.size())
        return std::nullopt;
    return std::pair{dt, nr};
}

} // namespace

std::variant<HistoricoQuery, ServiceError> MakeHistoricoQuery(const Zel08200::GetHistoricoRequest& rq)
{
    if (auto e = checkBranch(rq.cd_filial())) return *e;
    HistoricoQuery q;
    q.sql = HistBase;
    q.params.push_back(Text(rq.cd_filial()));
    if (auto e = dayRange(rq.dt_de(), rq.dt_ate(), "H.DTLIBEINCONS", q.sql, q.params)) return *e;
    if (!rq.cd_operador().empty()) {
        if (!lineText(rq.cd_operador(), 12)) return Error{kErrInvalid, "Operador inválido."};
        q.sql += " AND H.CDOPERLIBE = ?";
        q.params.push_back(Text(rq.cd_operador()));
    }
    if (!rq.nr_pedido().empty()) {
        auto nr = orderNumber(rq.nr_pedido());
        if (!nr) return Error{kErrInvalid, "Número do pedido inválido."};
        q.sql += " AND H.NRPEDIDO = ?";
        q.params.push_back(Text(*nr));
    }
    if (!rq.cd_cons_pedido().empty()) {
        if (!lineText(rq.cd_cons_pedido(), 3)) return Error{kErrInvalid, "Código de inconsistência inválido."};
        q.sql += " AND N.CDCONSPEDIDO = ?";
        q.params.push_back(Text(rq.cd_cons_pedido()));
    }
    if (!rq.cursor().empty()) {
        auto at = parseCursor(rq.cursor());
        if (!at) return Error{kErrInvalid, "Posição de continuação da consulta inválida."};
        q.sql += " AND (H.DTLIBEINCONS > ? OR (H.DTLIBEINCONS = ? AND H.NRHISTLIB > ?))";
        q.params.push_back(Int(at->first));
        q.params.push_back(Int(at->first));
        q.params.push_back(Int(at->second));
    }
    q.limit = rq.limite() == 0 || rq.limite() > Supervisao::kMaxPage ? Supervisao::kMaxPage : rq.limite();
    // One row more than the page tells whether another page follows.
    q.sql += " ORDER BY H.DTLIBEINCONS, H.NRHISTLIB LIMIT ?";
    q.params.push_back(Int(q.limit + 1));
    return q;
}

Supervisao::Supervisao(Database& db) : db_(db) {}

template <class F> Supervisao::Result Supervisao::run(const char* method, std::optional<Deadline> dl, F&& body)
{
    return RunOnConnection(db_, method, dl, std::forward<F>(body));
}

Supervisao::Result Supervisao::GetDireitos(const Caller& who, const Zel08200::GetDireitosRequest& rq,
                                           std::optional<Deadline> dl)
{
    if (auto e = checkBranch(rq.cd_filial())) return ErrorResult(*e);
    return run("GetDireitos", dl, [&](DbConn& c) {
        PacketBuilder b(Packets::Direitos);
        const DbValue row[] = {Text(mayReadHistory(c, rq.cd_filial(), who.operador) ? "S" : "N"),
                               Text(HasReleaseRight(c, rq.cd_filial(), who.operador) ? "S" : "N")};
        b.add(row);
        return DataResult(b.finish());
    });
}

Zel08200::GetHistoricoReply Supervisao::GetHistorico(const Caller& who, const Zel08200::GetHistoricoRequest& rq,
                                                     std::optional<Deadline> dl)
{
    Zel08200::GetHistoricoReply out;
    auto made = MakeHistoricoQuery(rq);
    if (auto* e = std::get_if<ServiceError>(&made)) {
        *out.mutable_result() = ErrorResult(*e);
        return out;
    }
    const HistoricoQuery& q = std::get<HistoricoQuery>(made);
    std::string cursor;
    *out.mutable_result() = run("GetHistorico", dl, [&](DbConn& c) -> Result {
        if (!mayReadHistory(c, rq.cd_filial(), who.operador))
            return ErrorResult({kErrForbidden, "Operador não possui permissão para consultar o histórico de "
                                               "liberações da filial " +
                                                   rq.cd_filial() + "."});
        PacketBuilder b(Packets::Historico);
        std::uint32_t rows = 0;
        std::int64_t lastDt = 0, lastNr = 0;
        const std::size_t shown = Packets::Historico.size();
        c.each(q.sql, q.params, [&](std::span<const DbValue> cells) {
            if (++rows > q.limit) return;
            b.add(cells.first(shown));
            lastDt = CellI64(cells[10]);
            lastNr = CellI64(cells[shown]);
        });
        if (rows > q.limit) cursor = cursorOf(lastDt, lastNr);
        return DataResult(b.finish());
    });
    if (out.result().has_data()) out.set_cursor(cursor);
    return out;
}

Supervisao::Result Supervisao::GetPendentes(const Caller&, const Zel08200::GetPendentesRequest& rq,
                                            std::optional<Deadline> dl)
{
    if (auto e = checkBranch(rq.cd_filial())) return ErrorResult(*e);
    std::string sql = Pendentes;
    std::vector<DbValue> params{Text(rq.cd_filial())};
    if (auto e = dayRange(rq.dt_pedido_de(), rq.dt_pedido_ate(), "P.DTPEDIDO", sql, params)) return ErrorResult(*e);
    if (auto e = dayRange(rq.dt_entrega_de(), rq.dt_entrega_ate(), "P.DTENTPED", sql, params)) return ErrorResult(*e);
    if (rq.cd_cons_pedido_size() > kMaxCodes)
        return ErrorResult({kErrInvalid, "Informe no máximo " + std::to_string(kMaxCodes) + " códigos."});
    std::set<std::string> codes;
    for (const std::string& k : rq.cd_cons_pedido()) {
        if (k.empty() || !lineText(k, 3)) return ErrorResult({kErrInvalid, "Código de inconsistência inválido."});
        codes.insert(k);
    }
    if (!codes.empty()) {
        sql += " AND N.CDCONSPEDIDO IN (?";
        for (std::size_t i = 1; i < codes.size(); ++i)
            sql += ",?";
        sql += ")";
        for (const std::string& k : codes)
            params.push_back(Text(k));
    }
    sql += " ORDER BY N.NRPEDIDO, N.NRINCONSPED";
    return run("GetPendentes", dl,
               [&](DbConn& c) { return DataResult(QueryPacket(Packets::Pendentes, c, sql, params)); });
}

namespace {

std::optional<Error> checkBatch(const Zel08200::LiberaLoteRequest& rq)
{
    if (auto e = checkBranch(rq.cd_filial())) return e;
    if (rq.itens_size() == 0) return Error{kErrInvalid, "Nenhuma inconsistência a liberar."};
    if (rq.itens_size() > Supervisao::kMaxBatch)
        return Error{kErrInvalid,
                     "O lote excede " + std::to_string(Supervisao::kMaxBatch) + " inconsistências. Divida-o."};
    if (!noteText(rq.tx_obs())) return Error{kErrInvalid, "Observação inválida ou maior que 2000 caracteres."};
    std::set<std::tuple<std::string, std::string, std::string>> seen;
    for (int i = 0; i < rq.itens_size(); ++i) {
        const Zel08200::LoteItem& it = rq.itens(i);
        const std::string where = " (linha " + std::to_string(i + 1) + ").";
        if (!it.cd_filial().empty() && !lineText(it.cd_filial(), 4))
            return Error{kErrInvalid, "Filial inválida" + where};
        if (it.nr_pedido().empty() || !lineText(it.nr_pedido(), 10))
            return Error{kErrInvalid, "Número do pedido inválido" + where};
        if (it.nr_incons_ped().size() != 3 || !digits(it.nr_incons_ped()))
            return Error{kErrInvalid, "Número da inconsistência inválido" + where};
        if (it.ativa() != "S" && it.ativa() != "N")
            return Error{kErrInvalid, "Marca da inconsistência inválida" + where};
        if (!noteText(it.tx_obs_lib_inco())) return Error{kErrInvalid, "Observação lida inválida" + where};
        const std::string& branch = it.cd_filial().empty() ? rq.cd_filial() : it.cd_filial();
        if (!seen.emplace(branch, it.nr_pedido(), it.nr_incons_ped()).second)
            return Error{kErrInvalid, "Inconsistência " + it.nr_incons_ped() + " do pedido " + it.nr_pedido() +
                                          " aparece mais de uma vez no lote" + where};
    }
    return std::nullopt;
}

} // namespace

void Supervisao::LiberaLote(const Caller& who, const Zel08200::LiberaLoteRequest& rq, const Send& send,
                            std::optional<Deadline> dl)
{
    Zel08200::LiberaLoteReply reply;
    auto fail = [&](const ServiceError& e) {
        reply.mutable_outcomes()->Clear();
        reply.mutable_error()->set_code(e.code);
        reply.mutable_error()->set_message(e.message);
        send(reply);
    };
    if (auto e = checkBatch(rq)) return fail(*e);

    const DbValue note = rq.tx_obs().empty() ? DbValue() : Text(rq.tx_obs());
    std::size_t i = 0;
    try {
        auto conn = db_.acquire(dl);
        conn->setDeadline(dl);
        DbConn& c = *conn;
        for (; i < std::size_t(rq.itens_size()); ++i) {
            if (beforeRow) beforeRow(i);
            const Zel08200::LoteItem& it = rq.itens(int(i));
            const std::string& branch = it.cd_filial().empty() ? rq.cd_filial() : it.cd_filial();
            const std::int64_t now = clock().msecs();
            // The review screen's send of one release, under the same rule:
            // the row changes only if it is unreleased, its mark and note are
            // as the operator saw them and the operator holds a release group
            // of its branch; its history row is written in the same
            // transaction.
            const RowUpdate u = ReleaseOf(branch, it.nr_pedido(), it.nr_incons_ped(), Text(it.ativa()),
                                          Text(it.tx_obs_lib_inco()), note, now, who.operador);
            Outcome& o = *reply.add_outcomes();
            if (ReleaseOneRow(c, u, who.operador, now)) {
                o.set_situacao(Outcome::LIBERADA);
                o.set_cd_oper_libe(who.operador);
                o.set_dt_libe_incons(now);
            } else {
                const DbValue q[] = {Text(who.operador), Text(branch), Text(it.nr_pedido()), Text(it.nr_incons_ped())};
                const DbRows r = c.query(RowNow, q);
                const bool right = r.empty() ? HasReleaseRight(c, branch, who.operador) : r.i64(0, 2) != 0;
                if (!right) {
                    o.set_situacao(Outcome::SEM_DIREITO);
                } else if (r.empty()) {
                    o.set_situacao(Outcome::INEXISTENTE);
                } else if (!r.isNull(0, 0)) {
                    o.set_situacao(Outcome::JA_LIBERADA);
                    o.set_cd_oper_libe(r.text(0, 1));
                    o.set_dt_libe_incons(r.i64(0, 0));
                } else {
                    o.set_situacao(Outcome::ALTERADA);
                }
            }
            if (reply.outcomes_size() == kChunk) {
                if (!send(reply)) return;
                reply.Clear();
                reply.set_inicio(std::uint32_t(i + 1));
            }
        }
        if (reply.outcomes_size() > 0) send(reply);
    } catch (const DbError& e) {
        Log("LiberaLote: row %zu: %s", i, e.what());
        if (e.kind() == DbError::Kind::Unavailable) db_.dropIdle();
        // The rows done so far keep their outcomes; the row at hand and those
        // after it get none: the screen reads them back.
        if (reply.outcomes_size() > int(i - reply.inicio())) reply.mutable_outcomes()->RemoveLast();
        if (reply.outcomes_size() > 0 && !send(reply)) return;
        reply.Clear();
        reply.set_inicio(std::uint32_t(i));
        fail(DbFailure(e));
    } catch (const std::exception& e) {
        Log("LiberaLote: row %zu: %s", i, e.what());
        if (reply.outcomes_size() > int(i - reply.inicio())) reply.mutable_outcomes()->RemoveLast();
        if (reply.outcomes_size() > 0 && !send(reply)) return;
        reply.Clear();
        reply.set_inicio(std::uint32_t(i));
        fail({kErrInternal, "Erro interno do servidor de aplicação."});
    }
}

} // namespace zel::server
