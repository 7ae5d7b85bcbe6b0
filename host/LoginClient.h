#pragma once

#include "host/Login.h"
#include "platform/data/Exceptions.h"

#include <QString>
#include <QStringList>

namespace zel {

// The server refused the credentials; the message is the server's.
class ELoginError : public Exception {
public:
    ELoginError(int code, QString message) : Exception(std::move(message)), code_(code) {}
    int Code() const { return code_; }

private:
    int code_;
};

// Splits "host:port" (also "[::1]:port"); false when it is not of that form.
bool ParseServerAddress(const QString& address, QString& host, int& port);

// Reads the addresses of one logical application server: one "host:port"
// (a name may have several address records), or several server processes
// in front of one database, separated by commas, each an address literal
// ("10.0.0.7:50051", "[fd00::7]:50051"; "localhost" stands for 127.0.0.1)
// of one family. Gives them as "host:port", without repeats; false, with
// the reason for the user, when the text is not of that form.
bool ParseServerAddresses(const QString& text, QStringList& addresses, QString* why = nullptr);

// Logs an operator in at the application server's login service. Returns the
// login (it is not installed: SetLogin does that). Raises ELoginError with the
// server's message for refused credentials and ENetError when the server
// cannot be reached within the timeout.
TLoginInfo Entrar(const QString& host, int port, const QString& operador, const QString& senha,
                  const QString& filial = {}, int timeoutMs = 10000);
// The same at a logical server of one or more addresses (see
// ParseServerAddresses): any of its processes may answer.
TLoginInfo Entrar(const QStringList& servers, const QString& operador, const QString& senha, const QString& filial = {},
                  int timeoutMs = 10000);

// Ends the login's session at the server. Best effort: never raises.
void Sair(const TLoginInfo& login, int timeoutMs = 3000);

} // namespace zel
