#pragma once

#include "platform/data/DateTime.h"
#include "proto/datapacket.pb.h"
#include "proto/rdmIncPed.pb.h"
#include "server/Auth.h"
#include "server/Db.h"
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
extern const char* const IncPedForUpdate; // (operator, key...) + DbConn::forUpdate()
extern const char* const IncPedUpdate;
extern const char* const HistInsert;
extern const char* const ItemForUpdate; // (operator, key...) + DbConn::forUpdate()
extern const char* const ItemUpdate;
// A packet of one changed row, the screen's usual send, goes in one statement
// that changes the row only if it is still as the operator saw it and the
// operator holds the right; see ChangeOneIncPed.
extern const char* const IncPedChangeIf;
extern const char* const ItemChangeIf; // (situation, key..., original situation, operator)
} // namespace Sql

// Runs Sql::IncPedChangeIf with its parameters (for the mark, the note, the
// release's time and its operator: 1 or 0 whether it changes, and the new
// value; the key; the original mark, note and operator; 1 or 0 whether the
// right is needed; the operator) and, when `releasedAt` is given and the row
// was changed, the row's release history stamped with it, as one
// transaction. Returns the rows changed (0 or 1). On PostgreSQL one
// statement, one round trip.
std::int64_t ChangeOneIncPed(DbConn& c, std::span<const DbValue> params, std::optional<std::int64_t> releasedAt);

// The message of a database failure, in the operator's terms.
ServiceError DbFailure(const DbError& e);

} // namespace zel::server
