#pragma once

#include "server/Db.h"
#include "server/Packets.h"

#include <chrono>
#include <optional>
#include <string>
#include <variant>

namespace zel::server {

// Argon2id (libsodium) password hashes, in the library's own string form.
std::string HashPassword(const std::string& password);
bool VerifyPassword(const std::string& hash, const std::string& password);

// The operator behind a call.
struct Caller {
    std::string operador;
    std::string filial; // the branch of the login
};

struct LoginResult {
    std::string token;
    std::string operador, nmOperador;
    std::string filial, nmFilial;
    bool moduFili = false;
};

// How long a session may stay idle and how failed logins are slowed down.
struct AccessPolicy {
    std::chrono::minutes sessionIdle{480};
    // After `failuresAllowed` failed logins within `failureWindow`, for one
    // operator code or from one address, each further attempt must wait
    // `firstWait`, doubled for every further failure, up to `longestWait`.
    // Failures older than the window no longer count: nobody stays locked out.
    int failuresAllowed = 5;
    std::chrono::minutes failureWindow{10};
    std::chrono::seconds firstWait{1};
    std::chrono::seconds longestWait{30};
};

// Sessions live in the database (table SESSAO, keyed by a hash of the
// token, never the token itself), so that several server processes in front
// of one database accept each other's logins. Every call reads its session
// and operator anew: a logout, an expiry or a disabled operator takes effect
// at the next call on every process. The last call's time is written at most
// once a minute per session.
class Sessions {
public:
    explicit Sessions(Database& db, AccessPolicy policy = {});

    // `address` is the caller's network address (for the log and for
    // slowing down guessing), without its port.
    std::variant<LoginResult, ServiceError> Login(const std::string& operador, const std::string& senha,
                                                  const std::string& filial, const std::string& address = {});
    void Logout(const std::string& token);
    // nullopt when the token is unknown, ended, idle for too long or its
    // operator disabled; `refusal` then gets the message for the caller.
    // Raises DbError.
    std::optional<Caller> Validate(const std::string& token, std::string* refusal = nullptr);

    const AccessPolicy& policy() const { return policy_; }

private:
    Database& db_;
    AccessPolicy policy_;
};

// The messages of a refused session.
inline constexpr const char* kSessionInvalid = "Sessão inválida ou encerrada.";
inline constexpr const char* kSessionExpired = "Sessão expirada por inatividade. Entre novamente.";
inline constexpr const char* kOperatorDisabled = "Operador desativado.";

// The release groups of a branch to which an operator belongs.
bool HasReleaseRight(DbConn& c, const std::string& filial, const std::string& operador);

} // namespace zel::server
