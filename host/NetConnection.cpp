#include "host/NetConnection.h"

#include "host/GrpcLink.h"
#include "host/Login.h"
#include "host/ServerCall.h"

#include <algorithm>
#include <chrono>
#include <grpcpp/client_context.h>

namespace zel {
namespace {

// How long a call waits for a new attempt to connect to start.
constexpr int kReconnectWaitMs = 1000;

struct Defaults {
    int callTimeoutMs = 30000;
    int connectTimeoutMs = 5000;
    TNetConnection::LinkStatusObserver linkObserver;
    QString linkFailure;
};

Defaults& defaults()
{
    static Defaults d;
    return d;
}

} // namespace

TNetConnection::TNetConnection(const QString& name)
    : Name(name), CallTimeoutMs(defaults().callTimeoutMs), ConnectTimeoutMs(defaults().connectTimeoutMs)
{
}

TNetConnection::~TNetConnection() = default;

void TNetConnection::Connect()
{
    if (Connected()) return;
    wanted_ = true;
    lastError_.clear();
    try {
        if (BeforeConnect) BeforeConnect(this);
        QString address = QStringLiteral("%1:%2").arg(Host).arg(Port);
        if (!ServiceRegistered(ServerName))
            throw ENetError(ENetError::UnknownServer,
                            QStringLiteral("Servidor de aplicação desconhecido: \"%1\".").arg(ServerName));
        if (Host.trimmed().isEmpty() || Port <= 0 || Port > 65535)
            throw ENetError(ENetError::Unavailable,
                            QStringLiteral("Endereço do servidor de aplicação inválido: \"%1\".").arg(address));
        // One of the login's addresses stands for its whole logical server.
        const QStringList addresses = grpclink::LogicalServer(Host, Port);
        address = addresses.join(QLatin1Char(','));
        auto channel = grpclink::MakeChannel(addresses);
        bool refused = false;
        if (!grpclink::WaitConnected(channel, ConnectTimeoutMs, &refused)) {
            if (refused)
                throw ENetError(ENetError::Unavailable,
                                QStringLiteral("Não foi possível conectar ao servidor de aplicação em %1. "
                                               "Verifique se ele está em execução e tente de novo.")
                                    .arg(address));
            throw ENetError(ENetError::DeadlineExceeded,
                            QStringLiteral("O servidor de aplicação em %1 aceitou a conexão, mas não respondeu "
                                           "em %2 s.")
                                .arg(address, QString::number(ConnectTimeoutMs / 1000.0, 'g', 3)));
        }
        channel_ = std::move(channel);
        address_ = address;
        ++generation_;
    } catch (const Exception& e) {
        lastError_ = e.Message();
        if (ThrowException) throw;
        return;
    }
    if (AfterConnect) AfterConnect(this);
}

void TNetConnection::Disconnect()
{
    wanted_ = false;
    if (!Connected()) return;
    if (BeforeDisconnect) BeforeDisconnect(this);
    channel_.reset();
    if (AfterDisconnect) AfterDisconnect(this);
}

std::shared_ptr<grpc::Channel> TNetConnection::Channel()
{
    // A link that could not connect when it was opened tries again at each
    // call, so that a screen opened while the server was down works once it
    // is back.
    if (!channel_ && wanted_) {
        const bool throwing = ThrowException;
        ThrowException = false;
        Connect();
        ThrowException = throwing;
    }
    if (!channel_) {
        QString text = QStringLiteral("Não há conexão com o servidor de aplicação.");
        if (!lastError_.isEmpty()) text += QLatin1Char(' ') + lastError_;
        ReportLinkStatus(text);
        throw ENetError(ENetError::NotConnected, text);
    }
    return channel_;
}

void TNetConnection::Call(const char* method, const std::function<grpc::Status(grpc::ClientContext&)>& call)
{
    const std::shared_ptr<grpc::Channel> channel = Channel();
    const std::string token = SessionToken().toStdString();
    const int timeoutMs = CallTimeoutMs;
    grpc::Status status;
    RunWhileWaiting([&] {
        grpclink::ReconnectIfFailing(*channel, std::min(timeoutMs, kReconnectWaitMs));
        grpc::ClientContext context;
        context.AddMetadata("zel-session", token);
        context.set_deadline(std::chrono::system_clock::now() + std::chrono::milliseconds(timeoutMs));
        status = call(context);
    });
    if (!status.ok()) {
        ENetError failure = grpclink::StatusError(status, QString::fromLatin1(method), address_, timeoutMs);
        ReportLinkStatus(failure.Message());
        throw failure;
    }
    ReportLinkStatus({});
}

void TNetConnection::RegisterService(const QString& service, const QStringList& readMethods)
{
    std::vector<std::string> reads;
    for (const QString& m : readMethods)
        reads.push_back(m.toStdString());
    grpclink::RegisterService(service.toStdString(), reads);
}

bool TNetConnection::ServiceRegistered(const QString& service)
{
    return !service.isEmpty() && grpclink::ServiceRegistered(service.toStdString());
}

void TNetConnection::SetTlsRootCertificates(const QByteArray& pem)
{
    grpclink::SetTlsRoots(pem);
}
void TNetConnection::SetLinkStatusObserver(LinkStatusObserver observer)
{
    defaults().linkObserver = std::move(observer);
    defaults().linkFailure.clear();
}

void TNetConnection::ReportLinkStatus(const QString& failure)
{
    Defaults& d = defaults();
    if (failure == d.linkFailure) return;
    d.linkFailure = failure;
    if (d.linkObserver) d.linkObserver(failure);
}

int TNetConnection::DefaultCallTimeoutMs()
{
    return defaults().callTimeoutMs;
}
void TNetConnection::SetDefaultCallTimeoutMs(int ms)
{
    defaults().callTimeoutMs = ms;
}
int TNetConnection::DefaultConnectTimeoutMs()
{
    return defaults().connectTimeoutMs;
}
void TNetConnection::SetDefaultConnectTimeoutMs(int ms)
{
    defaults().connectTimeoutMs = ms;
}

} // namespace zel
