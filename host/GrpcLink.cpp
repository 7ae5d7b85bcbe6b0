#include "host/GrpcLink.h"

#include "host/Login.h"
#include "host/ServerCall.h"

#include <chrono>
#include <grpcpp/client_context.h>
#include <grpcpp/create_channel.h>
#include <grpcpp/security/credentials.h>
#include <grpcpp/support/channel_arguments.h>
#include <map>
#include <mutex>
#include <vector>

namespace zel::grpclink {

namespace {
constexpr int kMaxMessageBytes = 512 * 1024 * 1024;
// The flow-control window of a call: what may be in flight towards the shell
// before it has read any of it.
constexpr int kLookaheadBytes = 64 * 1024 * 1024;

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

struct Registry {
    std::mutex mutex;
    // service -> its methods that only read
    std::map<std::string, std::vector<std::string>> services;
};

Registry& registry()
{
    static Registry r;
    return r;
}

void appendQuoted(std::string& out, const std::string& text)
{
    // Service and method names are identifiers with dots: nothing to escape.
    out += '"';
    out += text;
    out += '"';
}

// Calls go round the logical server's processes. Reads, the login and the
// logout are tried again (at most twice more, soon) when the process that
// had the call went away: they change nothing, or nothing that a second try
// could double.
std::string serviceConfig()
{
    std::string names = R"({"service": "zel.login.Login"})";
    {
        Registry& r = registry();
        std::lock_guard<std::mutex> lock(r.mutex);
        for (const auto& [service, reads] : r.services)
            for (const std::string& method : reads) {
                names += R"(, {"service": )";
                appendQuoted(names, service);
                names += R"(, "method": )";
                appendQuoted(names, method);
                names += '}';
            }
    }
    return R"({
  "loadBalancingConfig": [{"round_robin": {}}],
  "methodConfig": [{
    "name": [)" +
           names + R"(],
    "retryPolicy": {"maxAttempts": 3, "initialBackoff": "0.05s", "maxBackoff": "0.5s",
                    "backoffMultiplier": 2, "retryableStatusCodes": ["UNAVAILABLE"]}
  }]
})";
}

} // namespace

void RegisterService(const std::string& service, const std::vector<std::string>& readMethods)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    r.services[service] = readMethods;
}

bool ServiceRegistered(const std::string& service)
{
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.services.count(service) > 0;
}

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
    args.SetServiceConfigJSON(serviceConfig());
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

} // namespace zel::grpclink
