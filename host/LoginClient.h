#pragma once

#include "host/Login.h"
#include "platform/data/Exceptions.h"

#include <QString>

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

// Logs an operator in at the application server's login service. Returns the
// login (it is not installed: SetLogin does that). Raises ELoginError with the
// server's message for refused credentials and ENetError when the server
// cannot be reached within the timeout.
TLoginInfo Entrar(const QString& host, int port, const QString& operador, const QString& senha,
                  const QString& filial = {}, int timeoutMs = 10000);

// Ends the login's session at the server. Best effort: never raises.
void Sair(const TLoginInfo& login, int timeoutMs = 3000);

} // namespace zel
