#pragma once

// The order list the filter dialog fills. The dialog asks it for the branch
// whose orders are wanted and for the server link to query, and hands it the
// answer; the review screen implements it, so the dialog needs nothing else
// of the screen.

#include "proto/datapacket.pb.h"
#include "review/RdmIncPed.h"

#include <QString>

namespace Cli_zel08101 {

class IOrderList {
public:
    virtual ~IOrderList() = default;
    // The branch code the orders are asked for.
    virtual QString BranchCode() const = 0;
    // The server link the query goes through.
    virtual zel::IrdmIncPed& OrderServer() = 0;
    // Takes the query's answer as the new list of orders.
    virtual void LoadOrders(const zel::data::DataPacket& packet) = 0;
};

// The list the dialog works for: set by the review screen while it exists,
// null otherwise.
IOrderList* OrderList();
void SetOrderList(IOrderList* list);

} // namespace Cli_zel08101
