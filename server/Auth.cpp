#include "server/Auth.h"

#include "platform/data/DateTime.h"

#include <semaphore>
#include <sodium.h>
#include <stdexcept>

namespace zel::server {
namespace {

// Each check takes tens of megabytes and a noticeable share of a core: at
// most two run at once, which also slows down guessing.
std::counting_semaphore<2> hashSlots(2);

struct SlotGuard {
    SlotGuard() { hashSlots.acquire(); }
    ~SlotGuard() { hashSlots.release(); }
};

void initSodium()
{
    static const bool ok = sodium_init() >= 0;
    if (!ok) throw std::runtime_error("libsodium failed to initialise");
}

std::string tokenHash(const std::string& token)
{
    unsigned char h[32];
    crypto_generichash(h, sizeof h, reinterpret_cast<const unsigned char*>(token.data()), token.size(), nullptr, 0);
    char hex[65];
    sodium_bin2hex(hex, sizeof hex, h, sizeof h);
    return hex;
}

std::string newToken()
{
    unsigned char b[32];
    randombytes_buf(b, sizeof b);
    char hex[65];
    sodium_bin2hex(hex, sizeof hex, b, sizeof b);
    return hex;
}

const char* kBadLogin = "Operador ou senha inválidos.";

} // namespace

std::string HashPassword(const std::string& password)
{
    initSodium();
    SlotGuard slot;
    char out[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str(out, password.data(), password.size(), crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw std::runtime_error("out of memory hashing a password");
    return out;
}

bool VerifyPassword(const std::string& hash, const std::string& password)
{
    initSodium();
    SlotGuard slot;
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

Sessions::Sessions(Database& db, std::chrono::milliseconds cacheFor) : db_(db), cacheFor_(cacheFor)
{
    initSodium();
}

std::variant<LoginResult, ServiceError> Sessions::Login(const std::string& operador, const std::string& senha,
                                                        const std::string& filial)
{
    if (operador.empty() || operador.size() > 12 || senha.size() > 256 || filial.size() > 8)
        return ServiceError{kErrForbidden, kBadLogin};
    // The password check takes a noticeable share of a core; no database
    // connection is held meanwhile, so that a burst of logins (the start of
    // the day) neither runs out of connections nor holds up everyone's calls.
    DbRows op;
    {
        auto c = db_.acquire();
        const DbValue p1[] = {Text(operador)};
        op = c->query("SELECT O.NMOPERADOR, O.CDFILIAL, O.IDMODUFILI, O.DSSENHA, F.NMFILIAL "
                      "FROM OPERADOR O JOIN FILIAL F ON F.CDFILIAL = O.CDFILIAL WHERE O.CDOPERADOR = ?",
                      p1);
    }
    if (op.empty()) {
        // Same work and answer as a wrong password: the code's existence is not revealed.
        static const std::string dummy = HashPassword("-");
        VerifyPassword(dummy, senha);
        return ServiceError{kErrForbidden, kBadLogin};
    }
    if (!VerifyPassword(op.text(0, 3), senha)) return ServiceError{kErrForbidden, kBadLogin};
    auto c = db_.acquire();

    LoginResult r;
    r.operador = operador;
    r.nmOperador = op.text(0, 0);
    r.moduFili = op.text(0, 2) == "S";
    r.filial = op.text(0, 1);
    r.nmFilial = op.text(0, 4);
    if (!filial.empty() && filial != r.filial) {
        if (r.moduFili) return ServiceError{kErrForbidden, "Operador só pode trabalhar na filial " + r.filial + "."};
        const DbValue p2[] = {Text(filial)};
        DbRows f = c->query("SELECT NMFILIAL FROM FILIAL WHERE CDFILIAL = ?", p2);
        if (f.empty()) return ServiceError{kErrNotFound, "Filial não cadastrada."};
        r.filial = filial;
        r.nmFilial = f.text(0, 0);
    }
    r.token = newToken();
    const DbValue p3[] = {Text(tokenHash(r.token)), Text(operador), Text(r.filial), Int(zel::TDateTime::Now().msecs())};
    c->exec("INSERT INTO SESSAO (DSTOKEN, CDOPERADOR, CDFILIAL, DTINICIO) VALUES (?, ?, ?, ?)", p3);
    return r;
}

void Sessions::Logout(const std::string& token)
{
    if (token.empty() || token.size() > 128) return;
    const std::string h = tokenHash(token);
    {
        std::lock_guard lock(mutex_);
        cache_.erase(h);
    }
    auto c = db_.acquire();
    const DbValue p[] = {Int(zel::TDateTime::Now().msecs()), Text(h)};
    c->exec("UPDATE SESSAO SET DTFIM = ? WHERE DSTOKEN = ? AND DTFIM IS NULL", p);
}

std::optional<Caller> Sessions::Validate(const std::string& token)
{
    if (token.empty() || token.size() > 128) return std::nullopt;
    const std::string h = tokenHash(token);
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(mutex_);
        auto it = cache_.find(h);
        if (it != cache_.end()) {
            if (it->second.until > now) return it->second.caller;
            cache_.erase(it);
        }
    }
    auto c = db_.acquire();
    const DbValue p[] = {Text(h)};
    DbRows r = c->query("SELECT CDOPERADOR, CDFILIAL FROM SESSAO WHERE DSTOKEN = ? AND DTFIM IS NULL", p);
    if (r.empty()) return std::nullopt;
    Caller caller{r.text(0, 0), r.text(0, 1)};
    std::lock_guard lock(mutex_);
    if (cache_.size() > 100'000) cache_.clear();
    cache_[h] = Cached{caller, now + cacheFor_};
    return caller;
}

bool HasReleaseRight(DbConn& c, const std::string& filial, const std::string& operador)
{
    const DbValue p[] = {Text(filial), Text(operador)};
    DbRows r = c.query("SELECT 1 FROM OPERGRUPLIB WHERE CDFILIAL = ? AND CDOPERADOR = ? LIMIT 1", p);
    return !r.empty();
}

} // namespace zel::server
