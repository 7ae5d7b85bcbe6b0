#include "server/Auth.h"

#include "platform/data/DateTime.h"
#include "server/Log.h"

#include <algorithm>
#include <cstdint>
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

namespace {

// An operator code as typed, for the log: printable ASCII only, at most 12.
std::string printable(const std::string& s)
{
    std::string out;
    for (char ch : s.substr(0, 12))
        out += ch > ' ' && ch < 127 && ch != '"' ? ch : '?';
    return out;
}

std::string seconds(long n)
{
    return std::to_string(n) + (n == 1 ? " segundo" : " segundos");
}

constexpr std::int64_t kMinute = 60'000;

} // namespace

Sessions::Sessions(Database& db, AccessPolicy policy) : db_(db), policy_(policy)
{
    initSodium();
}

// How long, in milliseconds, a login for the operator code from the address
// must still wait because of earlier failures; 0 when it may go ahead.
static std::int64_t waitBefore(DbConn& c, const AccessPolicy& policy, const std::string& operador,
                               const std::string& address, std::int64_t now)
{
    const std::int64_t since = now - std::chrono::milliseconds(policy.failureWindow).count();
    std::int64_t wait = 0;
    auto check = [&](const char* sql, const std::string& key) {
        const DbValue p[] = {Text(key), Int(since)};
        DbRows r = c.query(sql, p);
        const std::int64_t n = r.empty() ? 0 : r.i64(0, 0);
        if (n < policy.failuresAllowed) return;
        const std::int64_t longest = std::chrono::milliseconds(policy.longestWait).count();
        std::int64_t step = std::chrono::milliseconds(policy.firstWait).count();
        for (std::int64_t i = policy.failuresAllowed; i < n && step < longest; ++i)
            step *= 2;
        step = std::min(step, longest);
        // A clock set back leaves failures in the future: never more than one step.
        wait = std::max(wait, std::min(step, r.i64(0, 1) + step - now));
    };
    check("SELECT COUNT(*), MAX(DTFALHA) FROM FALHALOGIN WHERE CDOPERADOR = ? AND DTFALHA > ?", operador);
    check("SELECT COUNT(*), MAX(DTFALHA) FROM FALHALOGIN WHERE DSENDERECO = ? AND DTFALHA > ?", address);
    return std::max<std::int64_t>(wait, 0);
}

std::variant<LoginResult, ServiceError> Sessions::Login(const std::string& operador, const std::string& senha,
                                                        const std::string& filial, const std::string& address)
{
    const std::string from = address.empty() ? "-" : address.substr(0, 64);
    if (operador.empty() || operador.size() > 12 || senha.size() > 256 || filial.size() > 8) {
        Log("login refused: operator \"%s\" from %s: malformed request", printable(operador).c_str(), from.c_str());
        return ServiceError{kErrForbidden, kBadLogin};
    }
    const std::int64_t now = zel::TDateTime::Now().msecs();
    // The password check takes a noticeable share of a core; no database
    // connection is held meanwhile, so that a burst of logins (the start of
    // the day) neither runs out of connections nor holds up everyone's calls.
    DbRows op;
    {
        auto c = db_.acquire();
        if (const std::int64_t wait = waitBefore(*c, policy_, operador, from, now); wait > 0) {
            const long secs = long((wait + 999) / 1000);
            Log("login delayed: operator \"%s\" from %s: too many failures, %ld s to wait", printable(operador).c_str(),
                from.c_str(), secs);
            return ServiceError{kErrForbidden, "Muitas tentativas de entrada sem sucesso. Aguarde " + seconds(secs) +
                                                   " e tente novamente."};
        }
        const DbValue p1[] = {Text(operador)};
        op = c->query("SELECT O.NMOPERADOR, O.CDFILIAL, O.IDMODUFILI, O.DSSENHA, F.NMFILIAL, O.IDATIVO "
                      "FROM OPERADOR O JOIN FILIAL F ON F.CDFILIAL = O.CDFILIAL WHERE O.CDOPERADOR = ?",
                      p1);
    }
    auto failed = [&](const char* why) {
        auto c = db_.acquire();
        const DbValue old[] = {Int(now - std::chrono::milliseconds(policy_.failureWindow).count())};
        c->exec("DELETE FROM FALHALOGIN WHERE DTFALHA <= ?", old);
        const DbValue p[] = {Text(operador), Text(from), Int(now)};
        c->exec("INSERT INTO FALHALOGIN (CDOPERADOR, DSENDERECO, DTFALHA) VALUES (?, ?, ?)", p);
        Log("login failed: operator \"%s\" from %s: %s", printable(operador).c_str(), from.c_str(), why);
        return ServiceError{kErrForbidden, kBadLogin};
    };
    if (op.empty()) {
        // Same work and answer as a wrong password: the code's existence is not revealed.
        static const std::string dummy = HashPassword("-");
        VerifyPassword(dummy, senha);
        return failed("unknown operator");
    }
    if (!VerifyPassword(op.text(0, 3), senha)) return failed("wrong password");
    if (op.text(0, 5) != "S") {
        Log("login refused: operator %s from %s: disabled", operador.c_str(), from.c_str());
        return ServiceError{kErrForbidden, kOperatorDisabled};
    }
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
    const DbValue p3[] = {Text(tokenHash(r.token)), Text(operador), Text(r.filial), Int(now), Int(now)};
    c->exec("INSERT INTO SESSAO (DSTOKEN, CDOPERADOR, CDFILIAL, DTINICIO, DTULTIMO) VALUES (?, ?, ?, ?, ?)", p3);
    // The operator's own failures end with a good login; those of the address stay.
    const DbValue p4[] = {Text(operador)};
    c->exec("DELETE FROM FALHALOGIN WHERE CDOPERADOR = ?", p4);
    Log("login: operator %s branch %s from %s", operador.c_str(), r.filial.c_str(), from.c_str());
    return r;
}

void Sessions::Logout(const std::string& token)
{
    if (token.empty() || token.size() > 128) return;
    auto c = db_.acquire();
    const DbValue p[] = {Int(zel::TDateTime::Now().msecs()), Text(tokenHash(token))};
    c->exec("UPDATE SESSAO SET DTFIM = ? WHERE DSTOKEN = ? AND DTFIM IS NULL", p);
}

std::optional<Caller> Sessions::Validate(const std::string& token, std::string* refusal)
{
    auto refuse = [&](const char* why) -> std::optional<Caller> {
        if (refusal) *refusal = why;
        return std::nullopt;
    };
    if (token.empty() || token.size() > 128) return refuse(kSessionInvalid);
    const std::string h = tokenHash(token);
    auto c = db_.acquire();
    const DbValue p[] = {Text(h)};
    DbRows r = c->query("SELECT S.CDOPERADOR, S.CDFILIAL, COALESCE(S.DTULTIMO, S.DTINICIO), O.IDATIVO, S.DTFIM "
                        "FROM SESSAO S JOIN OPERADOR O ON O.CDOPERADOR = S.CDOPERADOR WHERE S.DSTOKEN = ?",
                        p);
    if (r.empty()) return refuse(kSessionInvalid);
    // Disabling ends the operator's sessions; its calls say why.
    if (r.text(0, 3) != "S") return refuse(kOperatorDisabled);
    if (!r.isNull(0, 4)) return refuse(kSessionInvalid);
    const std::int64_t now = zel::TDateTime::Now().msecs();
    const std::int64_t last = r.i64(0, 2);
    if (now - last > std::chrono::milliseconds(policy_.sessionIdle).count()) {
        const DbValue pe[] = {Int(now), Text(h)};
        c->exec("UPDATE SESSAO SET DTFIM = ? WHERE DSTOKEN = ? AND DTFIM IS NULL", pe);
        Log("session of operator %s ended: idle for %lld minutes", r.text(0, 0).c_str(),
            static_cast<long long>((now - last) / kMinute));
        return refuse(kSessionExpired);
    }
    // A clock set back (last in the future) also writes the time anew.
    if (now - last >= kMinute || now < last) {
        const DbValue pu[] = {Int(now), Text(h)};
        c->exec("UPDATE SESSAO SET DTULTIMO = ? WHERE DSTOKEN = ? AND DTFIM IS NULL", pu);
    }
    return Caller{r.text(0, 0), r.text(0, 1)};
}

bool HasReleaseRight(DbConn& c, const std::string& filial, const std::string& operador)
{
    const DbValue p[] = {Text(filial), Text(operador)};
    DbRows r = c.query("SELECT 1 FROM OPERGRUPLIB WHERE CDFILIAL = ? AND CDOPERADOR = ? LIMIT 1", p);
    return !r.empty();
}

} // namespace zel::server
