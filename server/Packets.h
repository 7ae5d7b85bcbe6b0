#pragma once

#include "proto/datapacket.pb.h"
#include "server/Db.h"

#include <span>
#include <string>
#include <vector>

namespace zel::server {

// One field of a packet as the receiving client dataset declares it.
struct FieldSpec {
    const char* name;
    zel::data::FieldKind kind;
    int size; // characters, for the two text kinds
};

// The packets of the service, field for field as their datasets hold them.
namespace Packets {
extern const std::vector<FieldSpec> Pedido;     // order list
extern const std::vector<FieldSpec> IncPed;     // inconsistencies of an order
extern const std::vector<FieldSpec> ItemPedido; // order item
extern const std::vector<FieldSpec> GrupOper;   // release groups
extern const std::vector<FieldSpec> NrPedido;   // order numbers for the pick list
} // namespace Packets

// Builds a packet row by row from cells in field order. Raises
// std::runtime_error (naming the field) when a stored value does not fit its
// field, rather than sending a packet the client would refuse.
class PacketBuilder {
public:
    explicit PacketBuilder(std::span<const FieldSpec> fields);
    void add(std::span<const DbValue> cells);
    zel::data::DataPacket finish();

private:
    std::span<const FieldSpec> fields_;
    zel::data::DataPacket p_;
    std::uint32_t rows_ = 0;
};

// The packet of the rows of a query run on `c`.
zel::data::DataPacket QueryPacket(std::span<const FieldSpec> fields, DbConn& c, std::string_view sql,
                                  std::span<const DbValue> params);
zel::data::DataPacket EmptyPacket(std::span<const FieldSpec> fields);
// Hands back a packet that has been sent: the thread's next packets reuse
// its storage (a few small ones are kept; others are freed).
void RecyclePacket(zel::data::DataPacket&& p);
// Appends the rows of a packet with the same fields.
void AppendPacket(zel::data::DataPacket& into, const zel::data::DataPacket& more);

// Number of characters of a UTF-8 text; -1 when it is not valid UTF-8.
long Utf8Length(std::string_view s);

// Error codes of a result's error. The message is for the operator.
enum ErrorCode : int {
    kErrInvalid = 1,     // malformed or unacceptable input
    kErrNotFound = 2,    // the row or key does not exist
    kErrForbidden = 3,   // the operator lacks the right
    kErrConflict = 4,    // changed or released by someone else meanwhile
    kErrUnavailable = 5, // database busy or unreachable; try again
    kErrTimeout = 6,     // the call's time ran out
    kErrInternal = 9,    // a fault of the server; details in its log
};

struct ServiceError {
    int code;
    std::string message;
};

zel::data::Result ErrorResult(const ServiceError& e);
zel::data::Result DataResult(zel::data::DataPacket p);

} // namespace zel::server
