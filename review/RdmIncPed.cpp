#include "review/RdmIncPed.h"

#include "host/ServiceStub.h"
#include "proto/rdmIncPed.grpc.pb.h"

namespace zel {
namespace {

RdmIncPedFactory& factory()
{
    static RdmIncPedFactory f;
    return f;
}

// Done when the module's code is loaded, before any of its links connects.
const bool kRegistered = (RegisterRdmIncPed(), true);

void setDate(Zel08100::Date* d, const TDateTime& v)
{
    d->set_ms(v.msecs());
}

using Service = Zel08100::rdmIncPed;
using Stub = Service::Stub;

class GrpcRdmIncPed final : public IrdmIncPed {
public:
    explicit GrpcRdmIncPed(TNetConnection& connection) : stub_(connection) {}

    zel::data::Result GetPedido(const QString& cdFilial, const QString& nrPedidoDe, const QString& nrPedidoAte,
                                const QString& listaPedido, const QString& todosPedidos, const TDateTime& dtPedidoDe,
                                const TDateTime& dtPedidoAte, const QString& todasDtPedido,
                                const TDateTime& dtEntregaDe, const TDateTime& dtEntregaAte,
                                const QString& todasDtEntrega) override
    {
        Zel08100::GetPedidoRequest r;
        r.set_cd_filial(cdFilial.toStdString());
        r.set_nr_pedido_de(nrPedidoDe.toStdString());
        r.set_nr_pedido_ate(nrPedidoAte.toStdString());
        r.set_lista_pedido(listaPedido.toStdString());
        r.set_todos_pedidos(todosPedidos.toStdString());
        setDate(r.mutable_dt_pedido_de(), dtPedidoDe);
        setDate(r.mutable_dt_pedido_ate(), dtPedidoAte);
        r.set_todas_dt_pedido(todasDtPedido.toStdString());
        setDate(r.mutable_dt_entrega_de(), dtEntregaDe);
        setDate(r.mutable_dt_entrega_ate(), dtEntregaAte);
        r.set_todas_dt_entrega(todasDtEntrega.toStdString());
        return stub_.Call("GetPedido", &Stub::GetPedido, r);
    }

    zel::data::Result GetIncPed(const QString& cdFilial, const QString& nrPedido) override
    {
        Zel08100::GetIncPedRequest r;
        r.set_cd_filial(cdFilial.toStdString());
        r.set_nr_pedido(nrPedido.toStdString());
        return stub_.Call("GetIncPed", &Stub::GetIncPed, r);
    }

    zel::data::Result GetItem(const QString& cdFilial, const QString& nrPedido, const QString& nrItemPed,
                              const QString& ativa) override
    {
        Zel08100::GetItemRequest r;
        r.set_cd_filial(cdFilial.toStdString());
        r.set_nr_pedido(nrPedido.toStdString());
        r.set_nr_item_ped(nrItemPed.toStdString());
        r.set_ativa(ativa.toStdString());
        return stub_.Call("GetItem", &Stub::GetItem, r);
    }

    zel::data::Result GetGrupOper(const QString& cdFilial, const QString& cdOperador) override
    {
        Zel08100::GetGrupOperRequest r;
        r.set_cd_filial(cdFilial.toStdString());
        r.set_cd_operador(cdOperador.toStdString());
        return stub_.Call("GetGrupOper", &Stub::GetGrupOper, r);
    }

    zel::data::Result GetNrPedido(const QString& cdFilial) override
    {
        Zel08100::GetNrPedidoRequest r;
        r.set_cd_filial(cdFilial.toStdString());
        return stub_.Call("GetNrPedido", &Stub::GetNrPedido, r);
    }

    zel::data::Result SetIncPed(const zel::data::ChangePacket& delta) override
    {
        Zel08100::SetRequest r;
        *r.mutable_delta() = delta;
        return stub_.Call("SetIncPed", &Stub::SetIncPed, r);
    }

    zel::data::Result SetItem(const zel::data::ChangePacket& delta) override
    {
        Zel08100::SetRequest r;
        *r.mutable_delta() = delta;
        return stub_.Call("SetItem", &Stub::SetItem, r);
    }

private:
    TServiceStub<Service> stub_;
};

} // namespace

void RegisterRdmIncPed()
{
    TNetConnection::RegisterService(QString::fromLatin1(kRdmIncPedService),
                                    {QStringLiteral("GetPedido"), QStringLiteral("GetIncPed"),
                                     QStringLiteral("GetItem"), QStringLiteral("GetGrupOper"),
                                     QStringLiteral("GetNrPedido")});
}

void SetRdmIncPedFactory(RdmIncPedFactory f)
{
    factory() = std::move(f);
}

std::unique_ptr<IrdmIncPed> NewRdmIncPed(TNetConnection& connection)
{
    std::unique_ptr<IrdmIncPed> real = std::make_unique<GrpcRdmIncPed>(connection);
    return factory() ? factory()(std::move(real), connection) : std::move(real);
}

IrdmIncPed& TRdmIncPedHandle::operator()()
{
    connection_.Channel();
    if (!object_ || generation_ != connection_.Generation()) {
        object_ = NewRdmIncPed(connection_);
        generation_ = connection_.Generation();
    }
    return *object_;
}

} // namespace zel
