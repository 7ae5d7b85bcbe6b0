#include "host/LoginClient.h"

#include "host/GrpcLink.h"
#include "host/ServerCall.h"
#include "proto/login.grpc.pb.h"

#include <QRegularExpression>

#include <arpa/inet.h>
#include <chrono>
#include <grpcpp/client_context.h>

namespace zel {

bool ParseServerAddress(const QString& address, QString& host, int& port)
{
    static const QRegularExpression re(QStringLiteral(R"(^\s*(\[[^\]]+\]|[^:\s]+):(\d{1,5})\s*$)"));
    const auto m = re.match(address);
    if (!m.hasMatch()) return false;
    bool ok = false;
    const int p = m.captured(2).toInt(&ok);
    if (!ok || p <= 0 || p > 65535) return false;
    host = m.captured(1);
    port = p;
    return true;
}

bool ParseServerAddresses(const QString& text, QStringList& addresses, QString* why)
{
    auto refuse = [&](const QString& reason) {
        if (why) *why = reason;
        return false;
    };
    const QStringList entries = text.split(QLatin1Char(','));
    QStringList out;
    int family = 0;
    for (const QString& entry : entries) {
        QString host;
        int port = 0;
        if (!ParseServerAddress(entry, host, port))
            return refuse(QStringLiteral("Informe o servidor de aplicação no formato servidor:porta "
                                         "(vários separados por vírgula)."));
        if (entries.size() > 1) {
            // gRPC spreads calls over a list of address literals, or over the
            // address records of one name; a list of names it cannot resolve.
            if (host.compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0) host = QStringLiteral("127.0.0.1");
            const bool v6 = host.startsWith(QLatin1Char('['));
            const QByteArray literal = (v6 ? host.mid(1, host.size() - 2) : host).toLatin1();
            unsigned char buf[16];
            if (::inet_pton(v6 ? AF_INET6 : AF_INET, literal.constData(), buf) != 1)
                return refuse(QStringLiteral("Em uma lista de servidores de aplicação, informe cada um pelo "
                                             "endereço IP (\"%1\" não é um endereço IP).")
                                  .arg(host));
            if (family && family != (v6 ? 6 : 4))
                return refuse(QStringLiteral("Em uma lista de servidores de aplicação, os endereços devem ser "
                                             "todos IPv4 ou todos IPv6."));
            family = v6 ? 6 : 4;
        }
        const QString address = QStringLiteral("%1:%2").arg(host).arg(port);
        if (!out.contains(address)) out << address;
    }
    addresses = out;
    return true;
}

TLoginInfo Entrar(const QString& host, int port, const QString& operador, const QString& senha, const QString& filial,
                  int timeoutMs)
{
    return Entrar(QStringList{QStringLiteral("%1:%2").arg(host).arg(port)}, operador, senha, filial, timeoutMs);
}

TLoginInfo Entrar(const QStringList& servers, const QString& operador, const QString& senha, const QString& filial,
                  int timeoutMs)
{
    QString host;
    int port = 0;
    if (servers.isEmpty() || !ParseServerAddress(servers.front(), host, port))
        throw ENetError(
            ENetError::Unavailable,
            QStringLiteral("Endereço do servidor de aplicação inválido: \"%1\".").arg(servers.join(QLatin1Char(','))));
    const QString address = servers.join(QLatin1Char(','));
    auto channel = grpclink::MakeChannel(servers);
    auto stub = zel::login::Login::NewStub(channel);
    zel::login::LoginRequest request;
    request.set_operador(operador.toStdString());
    request.set_senha(senha.toStdString());
    request.set_cd_filial(filial.toStdString());
    zel::login::LoginReply reply;
    grpc::Status status;
    RunWhileWaiting([&] {
        grpc::ClientContext context;
        context.set_deadline(std::chrono::system_clock::now() + std::chrono::milliseconds(timeoutMs));
        status = stub->Entrar(&context, request, &reply);
    });
    if (!status.ok()) {
        // A server that refuses the connection is not there; one that takes
        // it and does not answer is there, and is said to be so.
        // A server that answers with a certificate the shell does not trust
        // is there, and is refused: the operator is told which of the two.
        const std::string detail = status.error_message();
        if (status.error_code() == grpc::StatusCode::UNAVAILABLE &&
            (detail.find("certificate verify failed") != std::string::npos ||
             detail.find("CERTIFICATE_VERIFY_FAILED") != std::string::npos ||
             detail.find("Peer name") != std::string::npos))
            throw ENetError(ENetError::Unavailable,
                            QStringLiteral("O servidor de aplicação em %1 apresentou um certificado que não é de "
                                           "confiança: ele não foi emitido pela autoridade indicada em --tls-ca ou "
                                           "não vale para este endereço. A conexão foi recusada.")
                                .arg(address));
        if (status.error_code() == grpc::StatusCode::UNAVAILABLE)
            throw ENetError(ENetError::Unavailable,
                            QStringLiteral("Não foi possível conectar ao servidor de aplicação em %1. "
                                           "Verifique o endereço e se o servidor está em execução.")
                                .arg(address));
        throw grpclink::StatusError(status, QStringLiteral("login"), address, timeoutMs);
    }
    if (reply.has_error()) throw ELoginError(reply.error().code(), QString::fromStdString(reply.error().message()));
    if (!reply.has_session())
        throw ELoginError(0, QStringLiteral("O servidor de aplicação devolveu uma resposta de login vazia."));
    const auto& s = reply.session();
    TLoginInfo info;
    info.token = QString::fromStdString(s.token());
    info.operador = QString::fromStdString(s.cd_operador());
    info.nmOperador = QString::fromStdString(s.nm_operador());
    info.filial = QString::fromStdString(s.cd_filial());
    info.nmFilial = QString::fromStdString(s.nm_filial());
    info.moduFili = s.modu_fili();
    info.webUrl = host;
    info.webPort = port;
    info.servers = servers;
    return info;
}

void Sair(const TLoginInfo& login, int timeoutMs)
{
    if (login.token.isEmpty() || login.webUrl.isEmpty()) return;
    try {
        auto channel = login.servers.isEmpty() ? grpclink::MakeChannel(login.webUrl, login.webPort)
                                               : grpclink::MakeChannel(login.servers);
        auto stub = zel::login::Login::NewStub(channel);
        zel::login::LogoutRequest request;
        request.set_token(login.token.toStdString());
        zel::login::LogoutReply reply;
        RunWhileWaiting([&] {
            grpc::ClientContext context;
            context.set_deadline(std::chrono::system_clock::now() + std::chrono::milliseconds(timeoutMs));
            stub->Sair(&context, request, &reply);
        });
    } catch (...) {
    }
}

} // namespace zel
