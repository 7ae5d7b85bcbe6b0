#pragma once

// The module's remote object "Zel08100.rdmIncPed": its methods, arguments
// by position, over a host connection.

#include "host/NetConnection.h"
#include "platform/data/DateTime.h"
#include "proto/datapacket.pb.h"

#include <QString>

#include <functional>
#include <memory>

namespace zel {

// The service's full name, the ServerName of the module's links.
inline const char* const kRdmIncPedService = "Zel08100.rdmIncPed";

// Every method returns the server's result, which the caller hands to
// CheckResultServ; a failure of the link itself (server down, deadline,
// session refused) raises an ENetError.
class IrdmIncPed {
public:
    virtual ~IrdmIncPed() = default;

    // Orders matching the criteria: 1 branch, 2-3 order-number range,
    // 4 picked order numbers (KeyList format), 5 "T" = every order number,
    // 6-7 order-date range, 8 "T" = any order date, 9-10 delivery-date range,
    // 11 "T" = any delivery date.
    virtual zel::data::Result GetPedido(const QString& cdFilial, const QString& nrPedidoDe, const QString& nrPedidoAte,
                                        const QString& listaPedido, const QString& todosPedidos,
                                        const TDateTime& dtPedidoDe, const TDateTime& dtPedidoAte,
                                        const QString& todasDtPedido, const TDateTime& dtEntregaDe,
                                        const TDateTime& dtEntregaAte, const QString& todasDtEntrega) = 0;
    virtual zel::data::Result GetIncPed(const QString& cdFilial, const QString& nrPedido) = 0;
    virtual zel::data::Result GetItem(const QString& cdFilial, const QString& nrPedido, const QString& nrItemPed,
                                      const QString& ativa) = 0;
    virtual zel::data::Result GetGrupOper(const QString& cdFilial, const QString& cdOperador) = 0;
    virtual zel::data::Result GetNrPedido(const QString& cdFilial) = 0;
    virtual zel::data::Result SetIncPed(const zel::data::ChangePacket& delta) = 0;
    virtual zel::data::Result SetItem(const zel::data::ChangePacket& delta) = 0;
};

// Declares the service to the host (its read methods are tried again on
// another server process); done when the module's code is loaded, and safe
// to call again.
void RegisterRdmIncPed();

// Builds the object that a link's calls go through from the real gRPC one;
// tests install one to wrap the real object with a recorder or a fault
// injector, without touching the screens that use the link.
using RdmIncPedFactory =
    std::function<std::unique_ptr<IrdmIncPed>(std::unique_ptr<IrdmIncPed> real, const TNetConnection& connection)>;
void SetRdmIncPedFactory(RdmIncPedFactory factory);

// The remote object over a link, through the installed factory.
std::unique_ptr<IrdmIncPed> NewRdmIncPed(TNetConnection& connection);

// A link's remote object, built again through the factory each time the
// link connects anew (as a screen holds it).
class TRdmIncPedHandle {
public:
    explicit TRdmIncPedHandle(TNetConnection& connection) : connection_(connection) {}
    // Connects a link that could not connect before; raises ENetError when
    // it still cannot.
    IrdmIncPed& operator()();

private:
    TNetConnection& connection_;
    std::unique_ptr<IrdmIncPed> object_;
    int generation_ = -1;
};

} // namespace zel
