#pragma once

#include "server/Db.h"
#include "server/Packets.h"

#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>
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

// Sessions live in the database (table SESSAO, keyed by a hash of the
// token, never the token itself), so that several server processes in front
// of one database accept each other's logins. A process keeps what it has
// checked for a few seconds; a logout elsewhere takes effect within that time.
class Sessions {
public:
    explicit Sessions(Database& db, std::chrono::milliseconds cacheFor = std::chrono::seconds(5));

    std::variant<LoginResult, ServiceError> Login(const std::string& operador, const std::string& senha,
                                                  const std::string& filial);
    void Logout(const std::string& token);
    // nullopt when the token is unknown or ended. Raises DbError.
    std::optional<Caller> Validate(const std::string& token);

private:
    struct Cached {
        Caller caller;
        std::chrono::steady_clock::time_point until;
    };
    Database& db_;
    std::chrono::milliseconds cacheFor_;
    std::mutex mutex_;
    std::unordered_map<std::string, Cached> cache_;
};

// The release groups of a branch to which an operator belongs.
bool HasReleaseRight(DbConn& c, const std::string& filial, const std::string& operador);

} // namespace zel::server
