#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace zel::server {

// Where the installed server looks for its settings when no --config is given.
inline constexpr const char* kDefaultConfigPath = "/etc/zel/zel-server.conf";

// A configuration the server cannot start with. The message names the file,
// the line (when the problem is on one) and the key.
class ConfigError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The settings of zel-server's configuration file, an INI file of keys
// without a section, comments on lines that start with ';':
//   database = sqlite:/var/lib/zel/zel.db | postgresql://USER@HOST:PORT/DB
//   database-password-file = FILE   first line: the password of the URL's user
//   listen = HOST:PORT[, HOST:PORT...]
//   tls-cert = FILE, tls-key = FILE  both or neither
//   db-connections = N
//   cpus = 0,2-3
//   session-idle-minutes = N        a session unused for this long ends
// A key the file does not set stays empty (0 for the numbers).
struct ServerConfig {
    std::string file;     // the file read; empty when there was none
    std::string database; // with the password of database-password-file put in
    std::vector<std::string> listen;
    std::string tlsCert, tlsKey;
    int dbConnections = 0;
    std::string cpus;
    int sessionIdleMinutes = 0;
};

// The longest idle time a session may be given: a year.
inline constexpr int kMaxSessionIdleMinutes = 525'600;

// Reads the configuration at `path`. When `required` is false, a file that
// does not exist gives an empty configuration (the default path on a machine
// where the server runs from a build folder); one that exists but cannot be
// read is still an error. Raises ConfigError.
ServerConfig LoadServerConfig(const std::string& path, bool required);

// The PostgreSQL URL with the password in the first line of `file` put in.
// The file must be readable by its owner only; the URL must name a user and
// no password of its own. Raises std::invalid_argument saying what is wrong.
std::string WithPasswordFromFile(const std::string& url, const std::string& file);

// Checks one HOST:PORT (the host may be a bracketed IPv6 address); raises
// std::invalid_argument naming the address.
void CheckListenAddress(const std::string& address);

// Checks a CPU list such as "0", "0,2" or "1-3" for its form only; raises
// std::invalid_argument.
void CheckCpuListForm(const std::string& list);

} // namespace zel::server
