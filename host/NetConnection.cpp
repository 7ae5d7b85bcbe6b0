#include "host/NetConnection.h"

#include "host/GrpcLink.h"

namespace zel {
namespace {

const QString kRdmIncPed = QStringLiteral("Zel08100.rdmIncPed");

struct Defaults {
    int callTimeoutMs = 30000;
    int connectTimeoutMs = 5000;
    AppServerFactory factory;
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
        if (ServerName != kRdmIncPed)
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
        std::unique_ptr<IrdmIncPed> server = grpclink::MakeRdmIncPed(std::move(channel), address, &CallTimeoutMs);
        if (defaults().factory) server = defaults().factory(std::move(server), *this);
        appServer_ = std::move(server);
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
    appServer_.reset();
    if (AfterDisconnect) AfterDisconnect(this);
}

IrdmIncPed& TNetConnection::AppServer()
{
    // A link that could not connect when it was opened tries again at each
    // call, so that a screen opened while the server was down works once it
    // is back.
    if (!appServer_ && wanted_) {
        const bool throwing = ThrowException;
        ThrowException = false;
        Connect();
        ThrowException = throwing;
    }
    if (!appServer_) {
        QString text = QStringLiteral("Não há conexão com o servidor de aplicação.");
        if (!lastError_.isEmpty()) text += QLatin1Char(' ') + lastError_;
        ReportLinkStatus(text);
        throw ENetError(ENetError::NotConnected, text);
    }
    return *appServer_;
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

void TNetConnection::SetAppServerFactory(AppServerFactory factory)
{
    defaults().factory = std::move(factory);
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
