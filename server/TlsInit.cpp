#include "server/TlsInit.h"

#include <QDir>
#include <QFileInfo>

#include <arpa/inet.h>
#include <cstdio>
#include <functional>
#include <memory>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rand.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <sys/stat.h>

namespace zel::server {
namespace {

[[noreturn]] void fail(const std::string& what)
{
    char buf[256] = "";
    ERR_error_string_n(ERR_get_error(), buf, sizeof buf);
    throw std::runtime_error(what + (buf[0] ? std::string(": ") + buf : std::string()));
}

using Key = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using Cert = std::unique_ptr<X509, decltype(&X509_free)>;

Key newKey()
{
    Key k(EVP_EC_gen("P-256"), &EVP_PKEY_free);
    if (!k) fail("cannot make a key");
    return k;
}

void addExt(X509* cert, X509* issuer, int nid, const std::string& value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
    if (!ext || !X509_add_ext(cert, ext, -1)) fail("cannot add the extension " + value);
    X509_EXTENSION_free(ext);
}

// A certificate for `key`, named `cn`, valid from now for `days`; signed by
// `issuerKey` as `issuer` (itself when null).
Cert newCert(EVP_PKEY* key, const std::string& cn, int days, X509* issuer, EVP_PKEY* issuerKey,
             const std::vector<std::pair<int, std::string>>& extensions)
{
    Cert c(X509_new(), &X509_free);
    if (!c || !X509_set_version(c.get(), 2)) fail("cannot make a certificate");
    unsigned char serial[16];
    if (RAND_bytes(serial, sizeof serial) != 1) fail("no random serial number");
    serial[0] &= 0x7f; // a positive number
    std::unique_ptr<BIGNUM, decltype(&BN_free)> bn(BN_bin2bn(serial, sizeof serial, nullptr), &BN_free);
    if (!bn || !BN_to_ASN1_INTEGER(bn.get(), X509_get_serialNumber(c.get()))) fail("cannot set the serial number");
    X509_gmtime_adj(X509_getm_notBefore(c.get()), -300); // a clock a little behind still accepts it
    X509_gmtime_adj(X509_getm_notAfter(c.get()), long(days) * 24 * 3600);
    X509_NAME* name = X509_get_subject_name(c.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>("zel-server"), -1, -1,
                               0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_UTF8, reinterpret_cast<const unsigned char*>(cn.c_str()), -1, -1,
                               0);
    X509_set_issuer_name(c.get(), issuer ? X509_get_subject_name(issuer) : name);
    if (!X509_set_pubkey(c.get(), key)) fail("cannot set the public key");
    for (const auto& [nid, value] : extensions)
        addExt(c.get(), issuer ? issuer : c.get(), nid, value);
    if (!X509_sign(c.get(), issuerKey ? issuerKey : key, EVP_sha256())) fail("cannot sign the certificate");
    return c;
}

void writeFile(const std::string& path, mode_t mode, const std::function<bool(FILE*)>& write)
{
    FILE* f = std::fopen(path.c_str(), "wx"); // never over an existing file
    if (!f) throw std::runtime_error("cannot create " + path);
    ::fchmod(fileno(f), mode);
    const bool ok = write(f);
    if (std::fclose(f) != 0 || !ok) fail("cannot write " + path);
}

} // namespace

void TlsInit(const std::string& dir, const std::vector<std::string>& names, int days, std::ostream& notes)
{
    if (names.empty()) throw std::invalid_argument("give the server's names: --name HOST (as the shells reach it)");
    if (days < 1) throw std::invalid_argument("--days must be 1 or more");
    std::string san;
    for (const std::string& n : names) {
        if (n.empty() || n.find_first_of(", ") != std::string::npos)
            throw std::invalid_argument("\"" + n + "\" is not a host name or IP address");
        unsigned char address[16];
        const bool ip = ::inet_pton(AF_INET, n.c_str(), address) == 1 || ::inet_pton(AF_INET6, n.c_str(), address) == 1;
        if (!san.empty()) san.push_back(',');
        san.append(ip ? "IP:" : "DNS:").append(n);
    }
    const QDir d(QString::fromStdString(dir));
    if (!QDir().mkpath(d.path())) throw std::runtime_error("cannot create the folder " + dir);
    const auto path = [&](const char* f) { return d.filePath(QString::fromLatin1(f)).toStdString(); };
    for (const char* f : {"ca.crt", "ca.key", "server.crt", "server.key"})
        if (QFileInfo::exists(QString::fromStdString(path(f))))
            throw std::invalid_argument(path(f) + " exists already: tls init never replaces a key or certificate");

    const Key caKey = newKey();
    const Cert ca = newCert(caKey.get(), "zel-server private CA", days * 2, nullptr, nullptr,
                            {{NID_basic_constraints, "critical,CA:TRUE,pathlen:0"},
                             {NID_key_usage, "critical,keyCertSign,cRLSign"},
                             {NID_subject_key_identifier, "hash"}});
    const Key serverKey = newKey();
    const Cert server = newCert(serverKey.get(), names.front(), days, ca.get(), caKey.get(),
                                {{NID_basic_constraints, "critical,CA:FALSE"},
                                 {NID_key_usage, "critical,digitalSignature,keyEncipherment"},
                                 {NID_ext_key_usage, "serverAuth"},
                                 {NID_subject_alt_name, san},
                                 {NID_subject_key_identifier, "hash"},
                                 {NID_authority_key_identifier, "keyid:always"}});

    const auto key = [](EVP_PKEY* k) {
        return [k](FILE* f) { return PEM_write_PrivateKey(f, k, nullptr, nullptr, 0, nullptr, nullptr) == 1; };
    };
    writeFile(path("ca.key"), 0600, key(caKey.get()));
    writeFile(path("ca.crt"), 0644, [&](FILE* f) { return PEM_write_X509(f, ca.get()) == 1; });
    writeFile(path("server.key"), 0600, key(serverKey.get()));
    writeFile(path("server.crt"), 0644,
              [&](FILE* f) { return PEM_write_X509(f, server.get()) == 1 && PEM_write_X509(f, ca.get()) == 1; });

    notes << "made in " << dir << ": a private certificate authority (ca.crt, ca.key) and a certificate for " << san
          << " (server.crt, server.key), valid " << days << " days.\n"
          << "\nThe server: in its configuration\n"
          << "  tls-cert = " << path("server.crt") << "\n"
          << "  tls-key = " << path("server.key") << "\n"
          << "and the key readable by the service's user: chown zel: " << path("server.key") << "\n"
          << "\nThe shells: copy " << path("ca.crt")
          << " to every operator's machine (e.g. /etc/zel/ca.crt) and start the shell with --tls-ca on it.\n"
          << "Keep ca.key away from the server once the certificate is made: whoever has it can make "
             "certificates the shells trust.\n";
}

} // namespace zel::server
