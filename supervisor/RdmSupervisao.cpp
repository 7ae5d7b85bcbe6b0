#include "supervisor/RdmSupervisao.h"

#include "host/ResultCheck.h"
#include "host/ServiceStub.h"
#include "platform/data/Packet.h"
#include "proto/zel08200.grpc.pb.h"

#include <QCoreApplication>
#include <QObject>

namespace Pkg_zel08200 {

namespace {

using Service = Zel08200::rdmSupervisao;
using Stub = Service::Stub;

// Done when the module's code is loaded, before any of its links connects.
const bool kRegistered = (RegisterRdmSupervisao(), true);

std::string Utf8(const QString& s)
{
    return s.toStdString();
}

} // namespace

void RegisterRdmSupervisao()
{
    zel::TNetConnection::RegisterService(
        QString::fromLatin1(kRdmSupervisaoService),
        {QStringLiteral("GetDireitos"), QStringLiteral("GetHistorico"), QStringLiteral("GetPendentes")});
}

struct TRdmSupervisao::Impl {
    explicit Impl(zel::TNetConnection& c) : connection(c), stub(c) {}
    zel::TNetConnection& connection;
    zel::TServiceStub<Service> stub;
    // The streaming call has no line of the generic path: its own stub,
    // made again when the channel changes.
    std::shared_ptr<grpc::Channel> channel;
    std::unique_ptr<Stub> streamStub;
};

TRdmSupervisao::TRdmSupervisao(zel::TNetConnection& connection) : impl_(std::make_unique<Impl>(connection)) {}
TRdmSupervisao::~TRdmSupervisao() = default;

TDireitos TRdmSupervisao::GetDireitos(const QString& cdFilial)
{
    Zel08200::GetDireitosRequest r;
    r.set_cd_filial(Utf8(cdFilial));
    const zel::data::DataPacket p =
        zel::CheckResultServ(impl_->stub.Call("GetDireitos", &Stub::GetDireitos, r), true, 0);
    TDireitos d;
    zel::PacketReader reader(p);
    if (reader.rowCount() > 0) {
        d.verHist = reader.text(0, "VERHIST") == QLatin1String("S");
        d.libera = reader.text(0, "LIBERA") == QLatin1String("S");
    }
    return d;
}

std::vector<zel::data::DataPacket> TRdmSupervisao::GetHistorico(const THistoricoFiltro& f,
                                                                const std::function<void(int rows)>& onPage)
{
    Zel08200::GetHistoricoRequest r;
    r.set_cd_filial(Utf8(f.cdFilial));
    r.set_dt_de(f.dtDe.msecs());
    r.set_dt_ate(f.dtAte.msecs());
    r.set_cd_operador(Utf8(f.cdOperador));
    r.set_nr_pedido(Utf8(f.nrPedido));
    r.set_cd_cons_pedido(Utf8(f.cdConsPedido));
    std::vector<zel::data::DataPacket> pages;
    int rows = 0;
    for (;;) {
        Zel08200::GetHistoricoReply reply = impl_->stub.Call("GetHistorico", &Stub::GetHistorico, r);
        pages.push_back(zel::CheckResultServ(std::move(*reply.mutable_result()), true, 0));
        rows += int(pages.back().row_count());
        if (onPage) onPage(rows);
        if (reply.cursor().empty()) break;
        r.set_cursor(reply.cursor());
    }
    return pages;
}

zel::data::DataPacket TRdmSupervisao::GetPendentes(const TPendentesFiltro& f)
{
    Zel08200::GetPendentesRequest r;
    r.set_cd_filial(Utf8(f.cdFilial));
    r.set_dt_pedido_de(f.dtPedidoDe.msecs());
    r.set_dt_pedido_ate(f.dtPedidoAte.msecs());
    r.set_dt_entrega_de(f.dtEntregaDe.msecs());
    r.set_dt_entrega_ate(f.dtEntregaAte.msecs());
    for (const QString& c : f.cdConsPedido)
        r.add_cd_cons_pedido(Utf8(c));
    return zel::CheckResultServ(impl_->stub.Call("GetPendentes", &Stub::GetPendentes, r), true, 0);
}

void TRdmSupervisao::LiberaLote(const Zel08200::LiberaLoteRequest& request,
                                const std::function<void(const Zel08200::LiberaLoteReply&)>& onReply)
{
    std::shared_ptr<grpc::Channel> channel = impl_->connection.Channel();
    if (channel != impl_->channel || !impl_->streamStub) {
        impl_->streamStub = Service::NewStub(channel);
        impl_->channel = std::move(channel);
    }
    Stub& stub = *impl_->streamStub;
    // The stream is read off the user-interface thread; each reply is handed
    // to that thread as it arrives, where the wait loop delivers it, so the
    // screen shows the outcomes while the batch runs and holds only the
    // replies not yet shown.
    QObject receiver;
    const auto deliver = [&] { QCoreApplication::sendPostedEvents(&receiver, QEvent::MetaCall); };
    try {
        impl_->connection.Call("LiberaLote", [&](grpc::ClientContext& context) {
            std::unique_ptr<grpc::ClientReader<Zel08200::LiberaLoteReply>> reader = stub.LiberaLote(&context, request);
            Zel08200::LiberaLoteReply reply;
            while (reader->Read(&reply)) {
                QMetaObject::invokeMethod(
                    &receiver, [&onReply, reply = std::move(reply)] { onReply(reply); }, Qt::QueuedConnection);
                reply = Zel08200::LiberaLoteReply();
            }
            return reader->Finish();
        });
    } catch (...) {
        deliver();
        throw;
    }
    deliver();
}

} // namespace Pkg_zel08200
