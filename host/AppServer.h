#pragma once

#include "platform/data/DateTime.h"
#include "proto/datapacket.pb.h"

#include <QString>

namespace zel {

// The methods of the remote object "Zel08100.rdmIncPed", arguments by
// position. Every method returns the server's result, which the caller hands
// to CheckResultServ; a failure of the link itself (server down, deadline,
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

} // namespace zel
