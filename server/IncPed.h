#pragma once

#include "platform/data/DateTime.h"
#include "proto/datapacket.pb.h"
#include "proto/rdmIncPed.pb.h"
#include "server/Auth.h"
#include "server/ChangeSet.h"
#include "server/Db.h"
#include "server/Log.h"
#include "server/Packets.h"

#include <functional>
#include <optional>

namespace zel::server {

// The methods of the remote object "Zel08100.rdmIncPed", independent of the
// transport. Every method answers with a result: a data packet, or an error
// whose message is for the operator. Database failures become error results
// (details go to the server's log); nothing escapes as an exception.
class IncPed {
public:
    using Result = zel::data::Result;

    explicit IncPed(Database& db);

    Result GetPedido(const Caller& who, const Zel08100::GetPedidoRequest& rq, std::optional<Deadline> dl = {});
    Result GetIncPed(const Caller& who, const Zel08100::GetIncPedRequest& rq, std::optional<Deadline> dl = {});
    Result GetItem(const Caller& who, const Zel08100::GetItemRequest& rq, std::optional<Deadline> dl = {});
    Result GetGrupOper(const Caller& who, const Zel08100::GetGrupOperRequest& rq, std::optional<Deadline> dl = {});
    Result GetNrPedido(const Caller& who, const Zel08100::GetNrPedidoRequest& rq, std::optional<Deadline> dl = {});
    Result SetIncPed(const Caller& who, const zel::data::ChangePacket& delta, std::optional<Deadline> dl = {});
    Result SetItem(const Caller& who, const zel::data::ChangePacket& delta, std::optional<Deadline> dl = {});

    // The server's clock, stamped into the release history.
    std::function<zel::TDateTime()> clock = [] { return zel::TDateTime::Now(); };

    // Order numbers of a list criterion are looked up this many at a time.
    static constexpr int kListChunk = 500;
    // The most order numbers a list criterion may hold.
    static constexpr int kMaxListKeys = 100'000;

private:
    template <class F> Result run(const char* method, std::optional<Deadline> dl, F&& body);

    Database& db_;
};

// The statements of the methods (the benchmark runs them directly as the
// floor of each method). All take their criteria as bound parameters.
namespace Sql {
extern const char* const Pedido; // + optional criteria + ORDER BY, see GetPedido
extern const char* const IncPed;
extern const char* const Item;
extern const char* const GrupOper;
extern const char* const NrPedido;
extern const char* const IncPedAsStored; // (operator, key...): the row as stored, and the right
extern const char* const ItemForUpdate;  // (operator, key...) + DbConn::forUpdate()
extern const char* const ItemUpdate;
// The rule of every write of an inconsistency, with named parameters (see
// WriteIncPedRow): the row changes only while it is pending and as the
// operator saw it, and, when the change marks or releases, only if the
// operator holds a release right in the row's branch.
extern const char* const IncPedWrite;
extern const char* const ItemChangeIf; // (situation, key..., original situation, operator)
} // namespace Sql

// The changeable fields of an inconsistency, in the order of
// Changes::IncPed() (RowUpdate::original and ::changes).
enum IncPedField { kMark, kNote, kReleasedAt, kReleasedBy };

// Writes one row of a change packet under Sql::IncPedWrite for the operator
// `operador` and, when the change releases the row, adds the row's release
// history stamped `stamp` (the server's clock): on PostgreSQL in the same
// statement (one round trip), on SQLite in the caller's transaction, which
// must be open. Returns 1 when the row was written, 0 when the rule refused
// it (then nothing was changed).
std::int64_t WriteIncPedRow(DbConn& c, const RowUpdate& u, const std::string& operador, std::int64_t stamp);

// The change that releases one pending inconsistency as an operator saw it
// (its mark and note; unreleased), stamped `now` by `operador`, with a note
// when `note` is not null.
RowUpdate ReleaseOf(const std::string& branch, const std::string& orderNo, const std::string& inconsNo,
                    const DbValue& seenMark, const DbValue& seenNote, const DbValue& note, std::int64_t now,
                    const std::string& operador);
// Writes that release in a transaction of its own (on PostgreSQL one
// statement); true when the rule took it, with its history row.
bool ReleaseOneRow(DbConn& c, const RowUpdate& u, const std::string& operador, std::int64_t now);

// Whether a change of a row marks it or releases it (and so needs the
// operator's release right), and whether it releases it.
bool MarksOrReleases(const RowUpdate& u);
bool Releases(const RowUpdate& u);

// The message of a database failure, in the operator's terms.
ServiceError DbFailure(const DbError& e);

// Runs a method's body on a pooled connection with the call's deadline; a
// database failure becomes the operator's message (and an unreachable
// database drops the idle connections), anything else an internal error.
// The details go to the server's log only.
template <class F>
zel::data::Result RunOnConnection(Database& db, const char* method, std::optional<Deadline> dl, F&& body)
{
    try {
        auto conn = db.acquire(dl);
        conn->setDeadline(dl);
        return body(*conn);
    } catch (const DbError& e) {
        Log("%s: %s", method, e.what());
        if (e.kind() == DbError::Kind::Unavailable) db.dropIdle();
        return ErrorResult(DbFailure(e));
    } catch (const std::exception& e) {
        Log("%s: %s", method, e.what());
        return ErrorResult({kErrInternal, "Erro interno do servidor de aplicação."});
    }
}

} // namespace zel::server
