#include "host/GrpcLink.h"

#include "host/Login.h"
#include "host/ServerCall.h"
#include "proto/rdmIncPed.grpc.pb.h"

#include <algorithm>
#include <chrono>
#include <grpcpp/client_context.h>
#include <grpcpp/create_channel.h>
#include <grpcpp/security/credentials.h>
#include <grpcpp/support/channel_arguments.h>

namespace zel::grpclink {

namespace {
constexpr int kMaxMessageBytes = 512 * 1024 * 1024;
// The flow-control window of a call: what may be in flight towards the shell
// before it has read any of it.
constexpr int kLookaheadBytes = 64 * 1024 * 1024;
// How long a call waits for a new attempt to connect to start.
constexpr int kReconnectWaitMs = 1000;

std::chrono::system_clock::time_point deadlineIn(int ms)
{
    return std::chrono::system_clock::now() + std::chrono::milliseconds(ms);
}
} // namespace

namespace {
std::string& tlsRoots()
{
    static std::string pem;
    return pem;
}
} // namespace

void SetTlsRoots(const QByteArray& pem)
{
    tlsRoots() = pem.toStdString();
}
bool TlsEnabled()
{
    return !tlsRoots().empty();
}

namespace {

// Calls go round the logical server's processes. Reads, the login and the
// logout are tried again (at most twice more, soon) when the process that
// had the call went away: they change nothing, or nothing that a second try
// could double. Sends are not: whether a send that was cut off was stored
// is for the operator to see, never guessed.
const char* const kServiceConfig = R"({
  "loadBalancingConfig": [{"round_robin": {}}],
  "methodConfig": [{
    "name": [{"service": "Zel08100.rdmIncPed", "method": "GetPedido"},
             {"service": "Zel08100.rdmIncPed", "method": "GetIncPed"},
             {"service": "Zel08100.rdmIncPed", "method": "GetItem"},
             {"service": "Zel08100.rdmIncPed", "method": "GetGrupOper"},
             {"service": "Zel08100.rdmIncPed", "method": "GetNrPedido"},
             {"service": "zel.login.Login"}],
    "retryPolicy": {"maxAttempts": 3, "initialBackoff": "0.05s", "maxBackoff": "0.5s",
                    "backoffMultiplier": 2, "retryableStatusCodes": ["UNAVAILABLE"]}
  }]
})";

} // namespace

std::string ChannelTarget(const QStringList& addresses)
{
    if (addresses.size() == 1) return addresses.front().toStdString();
    // Every entry is an address literal of one family (ParseServerAddresses).
    const bool v6 = !addresses.isEmpty() && addresses.front().startsWith(QLatin1Char('['));
    return ((v6 ? QStringLiteral("ipv6:") : QStringLiteral("ipv4:")) + addresses.join(QLatin1Char(','))).toStdString();
}

QStringList LogicalServer(const QString& host, int port)
{
    const QString address = QStringLiteral("%1:%2").arg(host).arg(port);
    const QStringList& servers = CurrentLogin().servers;
    return servers.contains(address) ? servers : QStringList{address};
}

std::shared_ptr<grpc::Channel> MakeChannel(const QString& host, int port)
{
    return MakeChannel(QStringList{QStringLiteral("%1:%2").arg(host).arg(port)});
}

std::shared_ptr<grpc::Channel> MakeChannel(const QStringList& addresses, bool ownConnections)
{
    grpc::ChannelArguments args;
    if (ownConnections) args.SetInt(GRPC_ARG_USE_LOCAL_SUBCHANNEL_POOL, 1);
    args.SetMaxReceiveMessageSize(kMaxMessageBytes);
    args.SetMaxSendMessageSize(kMaxMessageBytes);
    // Fail fast and retry soon when the server comes back.
    args.SetInt(GRPC_ARG_INITIAL_RECONNECT_BACKOFF_MS, 200);
    args.SetInt(GRPC_ARG_MAX_RECONNECT_BACKOFF_MS, 1000);
    // After a lost connection the channel resolves the name again before it
    // reconnects; by default not sooner than 30 s after the last resolution,
    // which kept a restarted server unreachable that long.
    args.SetInt(GRPC_ARG_DNS_MIN_TIME_BETWEEN_RESOLUTIONS_MS, 200);
    args.SetInt(GRPC_ARG_ENABLE_RETRIES, 1);
    // By default every answer that carries data makes the channel probe the
    // link's bandwidth with a ping the server has to answer: one more round
    // of wake-ups on both sides per call, a third of a short call's time on
    // loopback. The flow-control window the probe would grow is set large at
    // once instead, so a long order list over a slow link is not held back.
    args.SetInt(GRPC_ARG_HTTP2_BDP_PROBE, 0);
    args.SetInt(GRPC_ARG_HTTP2_STREAM_LOOKAHEAD_BYTES, kLookaheadBytes);
    args.SetServiceConfigJSON(kServiceConfig);
    const std::string target = ChannelTarget(addresses);
    if (tlsRoots().empty()) return grpc::CreateCustomChannel(target, grpc::InsecureChannelCredentials(), args);
    grpc::SslCredentialsOptions ssl;
    ssl.pem_root_certs = tlsRoots();
    return grpc::CreateCustomChannel(target, grpc::SslCredentials(ssl), args);
}

void ReconnectIfFailing(grpc::Channel& channel, int waitMs)
{
    // A channel without a connection waits out its backoff before it tries
    // again, and a call meanwhile fails at once: a call made after the server
    // came back would fail too. So the channel tries now, and once more when
    // that attempt is refused: an attempt that started just before the server
    // was listening again fails although the server is back. A server that
    // is really down refuses both at once, and the call then fails at once.
    const auto deadline = deadlineIn(waitMs);
    int refusals = 0;
    grpc_connectivity_state state = channel.GetState(true);
    while (state != GRPC_CHANNEL_READY && state != GRPC_CHANNEL_SHUTDOWN) {
        if (state == GRPC_CHANNEL_TRANSIENT_FAILURE) {
            if (++refusals > 2) return;
            grpc::experimental::ChannelResetConnectionBackoff(&channel);
        }
        if (!channel.WaitForStateChange(state, deadline)) return;
        state = channel.GetState(true);
    }
}

bool WaitConnected(const std::shared_ptr<grpc::Channel>& channel, int timeoutMs, bool* refused)
{
    grpc_connectivity_state state = GRPC_CHANNEL_IDLE;
    const bool connected = CallWhileWaiting([&] {
        // A refused connection shows up as a transient failure at once; there
        // is no point in waiting for the whole timeout then.
        const auto deadline = deadlineIn(timeoutMs);
        state = channel->GetState(true);
        while (state != GRPC_CHANNEL_READY) {
            if (state == GRPC_CHANNEL_TRANSIENT_FAILURE || state == GRPC_CHANNEL_SHUTDOWN) return false;
            if (!channel->WaitForStateChange(state, deadline)) return false;
            state = channel->GetState(true);
        }
        return true;
    });
    if (refused) *refused = state == GRPC_CHANNEL_TRANSIENT_FAILURE || state == GRPC_CHANNEL_SHUTDOWN;
    return connected;
}

ENetError StatusError(const grpc::Status& status, const QString& what, const QString& address, int timeoutMs)
{
    const QString detail = QString::fromStdString(status.error_message());
    switch (status.error_code()) {
    case grpc::StatusCode::UNAVAILABLE:
        return ENetError(ENetError::Unavailable,
                         QStringLiteral("O servidor de aplicação em %1 não está disponível (%2). "
                                        "Verifique se ele está em execução e tente de novo.")
                             .arg(address, what));
    case grpc::StatusCode::DEADLINE_EXCEEDED:
        return ENetError(ENetError::DeadlineExceeded,
                         QStringLiteral("O servidor de aplicação em %1 não respondeu em %2 s (%3).")
                             .arg(address, QString::number(timeoutMs / 1000.0, 'g', 3), what));
    case grpc::StatusCode::UNAUTHENTICATED:
        return ENetError(ENetError::Unauthenticated,
                         QStringLiteral("A sessão não é válida ou expirou. Entre novamente no sistema."));
    case grpc::StatusCode::RESOURCE_EXHAUSTED:
        return ENetError(
            ENetError::Other,
            QStringLiteral("A resposta do servidor de aplicação excede o limite da conexão (%1).").arg(what));
    case grpc::StatusCode::UNIMPLEMENTED:
        return ENetError(ENetError::UnknownServer,
                         QStringLiteral("O servidor de aplicação em %1 não oferece %2.").arg(address, what));
    default:
        return ENetError(ENetError::Other,
                         QStringLiteral("Falha na comunicação com o servidor de aplicação (%1): %2")
                             .arg(what, detail.isEmpty() ? QStringLiteral("erro desconhecido") : detail));
    }
}

namespace {

void setDate(Zel08100::Date* d, const TDateTime& v)
{
    d->set_ms(v.msecs());
}

class GrpcRdmIncPed final : public IrdmIncPed {
public:
    GrpcRdmIncPed(std::shared_ptr<grpc::Channel> channel, QString address, const int* timeoutMs)
        : channel_(std::move(channel)), stub_(Zel08100::rdmIncPed::NewStub(channel_)), address_(std::move(address)),
          timeoutMs_(timeoutMs)
    {
    }

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
        return call("GetPedido", r, &Zel08100::rdmIncPed::Stub::GetPedido);
    }

    zel::data::Result GetIncPed(const QString& cdFilial, const QString& nrPedido) override
    {
        Zel08100::GetIncPedRequest r;
        r.set_cd_filial(cdFilial.toStdString());
        r.set_nr_pedido(nrPedido.toStdString());
        return call("GetIncPed", r, &Zel08100::rdmIncPed::Stub::GetIncPed);
    }

    zel::data::Result GetItem(const QString& cdFilial, const QString& nrPedido, const QString& nrItemPed,
                              const QString& ativa) override
    {
        Zel08100::GetItemRequest r;
        r.set_cd_filial(cdFilial.toStdString());
        r.set_nr_pedido(nrPedido.toStdString());
        r.set_nr_item_ped(nrItemPed.toStdString());
        r.set_ativa(ativa.toStdString());
        return call("GetItem", r, &Zel08100::rdmIncPed::Stub::GetItem);
    }

    zel::data::Result GetGrupOper(const QString& cdFilial, const QString& cdOperador) override
    {
        Zel08100::GetGrupOperRequest r;
        r.set_cd_filial(cdFilial.toStdString());
        r.set_cd_operador(cdOperador.toStdString());
        return call("GetGrupOper", r, &Zel08100::rdmIncPed::Stub::GetGrupOper);
    }

    zel::data::Result GetNrPedido(const QString& cdFilial) override
    {
        Zel08100::GetNrPedidoRequest r;
        r.set_cd_filial(cdFilial.toStdString());
        return call("GetNrPedido", r, &Zel08100::rdmIncPed::Stub::GetNrPedido);
    }

    zel::data::Result SetIncPed(const zel::data::ChangePacket& delta) override
    {
        Zel08100::SetRequest r;
        *r.mutable_delta() = delta;
        return call("SetIncPed", r, &Zel08100::rdmIncPed::Stub::SetIncPed);
    }

    zel::data::Result SetItem(const zel::data::ChangePacket& delta) override
    {
        Zel08100::SetRequest r;
        *r.mutable_delta() = delta;
        return call("SetItem", r, &Zel08100::rdmIncPed::Stub::SetItem);
    }

private:
    template <class Request>
    using Method = grpc::Status (Zel08100::rdmIncPed::Stub::*)(grpc::ClientContext*, const Request&,
                                                               zel::data::Result*);

    template <class Request> zel::data::Result call(const char* name, const Request& request, Method<Request> method)
    {
        const std::string token = SessionToken().toStdString();
        const int timeoutMs = *timeoutMs_;
        zel::data::Result result;
        grpc::Status status;
        RunWhileWaiting([&] {
            ReconnectIfFailing(*channel_, std::min(timeoutMs, kReconnectWaitMs));
            grpc::ClientContext context;
            context.AddMetadata("zel-session", token);
            context.set_deadline(deadlineIn(timeoutMs));
            status = (stub_.get()->*method)(&context, request, &result);
        });
        if (!status.ok()) {
            ENetError failure = StatusError(status, QString::fromLatin1(name), address_, timeoutMs);
            TNetConnection::ReportLinkStatus(failure.Message());
            throw failure;
        }
        TNetConnection::ReportLinkStatus({});
        return result;
    }

    std::shared_ptr<grpc::Channel> channel_;
    std::unique_ptr<Zel08100::rdmIncPed::Stub> stub_;
    QString address_;
    const int* timeoutMs_;
};

} // namespace

std::unique_ptr<IrdmIncPed> MakeRdmIncPed(std::shared_ptr<grpc::Channel> channel, QString address, const int* timeoutMs)
{
    return std::make_unique<GrpcRdmIncPed>(std::move(channel), std::move(address), timeoutMs);
}

} // namespace zel::grpclink
