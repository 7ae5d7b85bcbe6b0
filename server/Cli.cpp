#include "server/Cli.h"

#include "server/AppServer.h"
#include "server/Backup.h"
#include "server/Config.h"
#include "server/Log.h"
#include "server/Operators.h"
#include "server/Schema.h"
#include "server/Seed.h"
#include "server/TlsInit.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <pthread.h>
#include <pwd.h>
#include <sched.h>
#include <termios.h>
#include <unistd.h>

namespace zel::server {
namespace {

const char* kUsage =
    "Usage: zel-server COMMAND [options]\n"
    "\n"
    "Commands:\n"
    "  init      create or upgrade the database schema\n"
    "  seed      fill an empty database with demo data\n"
    "  operator  add|passwd|grant|revoke|grant-history|revoke-history|disable|enable: manage operators and\n"
    "            rights\n"
    "  serve     run the application server\n"
    "  backup    copy the database into a file while servers run\n"
    "  restore   put a backup into an empty database\n"
    "  tls       init DIR: a private certificate authority and the server's certificate\n"
    "\n"
    "Run 'zel-server COMMAND --help' for the options of a command.\n"
    "Database URLs: sqlite:PATH or postgresql://USER@HOST:PORT/DB\n";

struct Parsed {
    QCommandLineParser p;
    bool ok = true;
    int code = 0;
};

QCommandLineOption opt(const char* name, const char* help, const char* value = nullptr)
{
    return value ? QCommandLineOption(QString::fromLatin1(name), QString::fromUtf8(help), QString::fromLatin1(value))
                 : QCommandLineOption(QString::fromLatin1(name), QString::fromUtf8(help));
}

// Parses the options of one command; prints help or errors. Returns false
// when the command should stop with `code`.
bool parse(QCommandLineParser& p, const QStringList& args, const char* description, int& code)
{
    p.setApplicationDescription(QString::fromUtf8(description));
    p.addHelpOption();
    if (!p.parse(args)) {
        std::cerr << p.errorText().toStdString() << "\n" << p.helpText().toStdString();
        code = 2;
        return false;
    }
    if (p.isSet(QStringLiteral("help"))) {
        std::cout << p.helpText().toStdString();
        code = 0;
        return false;
    }
    return true;
}

std::string value(const QCommandLineParser& p, const char* name)
{
    return p.value(QString::fromLatin1(name)).toStdString();
}

bool require(const QCommandLineParser& p, std::initializer_list<const char*> names, int& code)
{
    for (const char* n : names)
        if (!p.isSet(QString::fromLatin1(n))) {
            std::cerr << "missing --" << n << "\n" << p.helpText().toStdString();
            code = 2;
            return false;
        }
    return true;
}

int toInt(const QCommandLineParser& p, const char* name, int fallback)
{
    if (!p.isSet(QString::fromLatin1(name))) return fallback;
    bool ok = false;
    const int v = p.value(QString::fromLatin1(name)).toInt(&ok);
    if (!ok) throw std::invalid_argument(std::string("--") + name + " must be a number");
    return v;
}

void addConfigOption(QCommandLineParser& p)
{
    p.addOption(opt("config",
                    "Configuration file (default /etc/zel/zel-server.conf, read when it exists). An option given "
                    "here overrides the file's key.",
                    "FILE"));
}

// The configuration named by --config, else the default file when it exists.
ServerConfig configOf(const QCommandLineParser& p)
{
    if (p.isSet(QStringLiteral("config"))) return LoadServerConfig(value(p, "config"), true);
    return LoadServerConfig(kDefaultConfigPath, false);
}

// The database of --db, else of the configuration's database key.
std::string dbOf(const QCommandLineParser& p, const ServerConfig& cfg)
{
    if (p.isSet(QStringLiteral("db"))) return value(p, "db");
    if (!cfg.database.empty()) return cfg.database;
    throw std::invalid_argument("no database: give --db URL or set database in " +
                                (cfg.file.empty() ? std::string(kDefaultConfigPath) : cfg.file));
}

// The CPUs this process may run on, as a list such as "0,1".
std::string cpuText(const cpu_set_t& set)
{
    std::string t;
    for (int c = 0; c < CPU_SETSIZE; ++c)
        if (CPU_ISSET(c, &set)) {
            if (!t.empty()) t += ',';
            t += std::to_string(c);
        }
    return t;
}

// The CPUs of a list such as "0", "0,2" or "1-3", each one this process may
// run on; raises std::invalid_argument saying what is wrong.
cpu_set_t cpuList(const std::string& text)
{
    cpu_set_t allowed;
    CPU_ZERO(&allowed);
    if (sched_getaffinity(0, sizeof allowed, &allowed) != 0) throw std::runtime_error("cannot read the process's CPUs");
    const std::invalid_argument bad("--cpus must be a list of CPUs such as 0, 0,2 or 1-3, not \"" + text + "\"");
    auto number = [&](const std::string& n) {
        if (n.empty() || n.size() > 5 || n.find_first_not_of("0123456789") != std::string::npos) throw bad;
        return std::stoi(n);
    };
    cpu_set_t set;
    CPU_ZERO(&set);
    for (std::size_t pos = 0; pos <= text.size();) {
        const std::size_t end = std::min(text.find(',', pos), text.size());
        const std::string item = text.substr(pos, end - pos);
        const std::size_t dash = item.find('-');
        const int from = number(item.substr(0, dash));
        const int to = dash == std::string::npos ? from : number(item.substr(dash + 1));
        if (from > to) throw bad;
        for (int c = from; c <= to; ++c) {
            if (c >= CPU_SETSIZE || !CPU_ISSET(c, &allowed))
                throw std::invalid_argument("--cpus: CPU " + std::to_string(c) +
                                            " is not one this process may run on (" + cpuText(allowed) + ")");
            CPU_SET(c, &set);
        }
        pos = end + 1;
    }
    return set;
}

int cmdInit(const QStringList& args)
{
    QCommandLineParser p;
    p.addOption(opt("db", "Database URL (default: the configuration's).", "URL"));
    addConfigOption(p);
    int code = 0;
    if (!parse(p, args, "Creates or upgrades the database schema.", code)) return code;
    auto c = OpenConnection(dbOf(p, configOf(p)));
    const int applied = Migrate(*c);
    std::cout << "schema at version " << SchemaVersion(*c) << " (" << applied << " step(s) applied)\n";
    return 0;
}

int cmdSeed(const QStringList& args)
{
    QCommandLineParser p;
    p.addOption(opt("db", "Database URL.", "URL"));
    p.addOption(opt("branches", "Number of branches (default 3).", "N"));
    p.addOption(opt("orders", "Number of orders in all (default 300).", "N"));
    p.addOption(opt("seed", "Seed of the generator (default 1).", "S"));
    p.addOption(opt("date", "Last order date, YYYY-MM-DD (default today).", "DATE"));
    int code = 0;
    if (!parse(p, args, "Creates the schema if needed and fills an empty database with demo data.", code) ||
        !require(p, {"db"}, code))
        return code;
    SeedOptions o;
    o.branches = toInt(p, "branches", o.branches);
    o.orders = toInt(p, "orders", o.orders);
    if (p.isSet(QStringLiteral("seed"))) o.seed = p.value(QStringLiteral("seed")).toULongLong();
    if (p.isSet(QStringLiteral("date"))) {
        o.today = QDate::fromString(p.value(QStringLiteral("date")), Qt::ISODate);
        if (!o.today.isValid()) throw std::invalid_argument("--date must be YYYY-MM-DD");
    }
    auto c = OpenConnection(value(p, "db"));
    Migrate(*c);
    auto st = Seed(*c, o, [](const std::string& s) { std::cerr << "seeding " << s << "...\n"; });
    std::cout << "seeded " << o.branches << " branch(es), " << st.orders << " orders, " << st.items << " items, "
              << st.inconsistencies << " inconsistencies (" << st.released << " released)\n";
    return 0;
}

// Who makes an administrative change: the system user (the one behind sudo
// when run through it) on this machine.
std::string administrator()
{
    std::string user;
    if (const char* sudo = std::getenv("SUDO_USER"); sudo && *sudo)
        user = sudo;
    else if (const passwd* pw = getpwuid(getuid()))
        user = pw->pw_name;
    else
        user = "uid " + std::to_string(getuid());
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) host[0] = 0;
    return user + "@" + (host[0] ? host : "localhost");
}

// Administrative changes go to the server's log, with who made them.
void audit(const std::string& change)
{
    Log("admin: %s (by %s)", change.c_str(), administrator().c_str());
}

// A password never comes from the command line, where other users see it in
// the process list and the shell keeps it in its history: from --password-file
// (its first line), else typed at the terminal without echo (twice), else the
// first line of the standard input.
std::string passwordFrom(const QCommandLineParser& p)
{
    std::string line;
    if (p.isSet(QStringLiteral("password-file"))) {
        const std::string file = value(p, "password-file");
        std::ifstream in(file);
        if (!in) throw std::invalid_argument("cannot read the password file " + file);
        std::getline(in, line);
    } else if (::isatty(STDIN_FILENO)) {
        const auto ask = [](const char* prompt) {
            std::cerr << prompt << std::flush;
            termios old{};
            const bool tty = ::tcgetattr(STDIN_FILENO, &old) == 0;
            if (tty) {
                termios quiet = old;
                quiet.c_lflag &= ~tcflag_t(ECHO);
                ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
            }
            std::string typed;
            std::getline(std::cin, typed);
            if (tty) ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &old);
            std::cerr << "\n";
            return typed;
        };
        line = ask("Password: ");
        if (ask("Again: ") != line) throw std::invalid_argument("the two passwords differ");
    } else {
        std::getline(std::cin, line);
    }
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

int cmdOperator(QStringList args)
{
    if (args.size() < 2 || args[1].startsWith(QLatin1Char('-'))) {
        std::cout << "Usage: zel-server operator add|passwd|grant|revoke|grant-history|revoke-history|disable|enable "
                     "[options]\n"
                     "Run 'zel-server operator ACTION --help' for the options.\n";
        return args.size() >= 2 && (args[1] == QLatin1String("--help") || args[1] == QLatin1String("-h")) ? 0 : 2;
    }
    const QString action = args.takeAt(1);
    QCommandLineParser p;
    p.addOption(opt("db", "Database URL (default: the configuration's).", "URL"));
    addConfigOption(p);
    p.addOption(opt("code", "Operator code (up to 12 characters).", "CODE"));
    int code = 0;
    if (action == QLatin1String("add")) {
        p.addOption(opt("name", "Operator name (up to 40 characters).", "NAME"));
        p.addOption(opt("branch", "The operator's own branch.", "BRANCH"));
        p.addOption(opt("fixed", "The login works with the own branch only."));
        p.addOption(opt("all-rights",
                        "Puts the operator into every release group of every branch and lets it read every "
                        "branch's release history: the site's first operator."));
        p.addOption(opt("password-file",
                        "File whose first line is the password; without it the password is asked at the terminal "
                        "or read from the standard input.",
                        "FILE"));
        if (!parse(p, args, "Adds an operator.", code) || !require(p, {"code", "name", "branch"}, code)) return code;
        auto c = OpenConnection(dbOf(p, configOf(p)));
        AddOperator(*c, value(p, "code"), value(p, "name"), value(p, "branch"), p.isSet(QStringLiteral("fixed")),
                    passwordFrom(p));
        audit("operator " + value(p, "code") + " added, branch " + value(p, "branch"));
        std::cout << "operator " << value(p, "code") << " added\n";
        if (p.isSet(QStringLiteral("all-rights"))) {
            const auto groups = c->query("SELECT CDFILIAL, CDGROPLIBINC FROM GRUPOLIBINC ORDER BY 1, 2");
            for (std::size_t i = 0; i < groups.size(); ++i)
                Grant(*c, value(p, "code"), groups.text(i, 0), groups.text(i, 1));
            const auto branches = c->query("SELECT CDFILIAL FROM FILIAL ORDER BY 1");
            for (std::size_t i = 0; i < branches.size(); ++i)
                GrantHistory(*c, value(p, "code"), branches.text(i, 0));
            audit("operator " + value(p, "code") + " granted every release group and every branch's history");
            std::cout << "in all " << groups.size() << " release group(s); reads the history of all " << branches.size()
                      << " branch(es)\n";
        }
    } else if (action == QLatin1String("passwd")) {
        p.addOption(opt("password-file",
                        "File whose first line is the new password; without it the password is asked at the "
                        "terminal or read from the standard input.",
                        "FILE"));
        if (!parse(p, args, "Sets an operator's password.", code) || !require(p, {"code"}, code)) return code;
        auto c = OpenConnection(dbOf(p, configOf(p)));
        SetPassword(*c, value(p, "code"), passwordFrom(p));
        audit("password of operator " + value(p, "code") + " changed");
        std::cout << "password of " << value(p, "code") << " changed\n";
    } else if (action == QLatin1String("grant") || action == QLatin1String("revoke")) {
        const bool grant = action == QLatin1String("grant");
        p.addOption(opt("branch", "Branch of the release group.", "BRANCH"));
        p.addOption(opt("group",
                        grant ? "Release group (2 characters)." : "Release group; all of the branch when omitted.",
                        "GROUP"));
        if (!parse(p, args,
                   grant ? "Puts an operator into a release group of a branch."
                         : "Takes an operator out of release groups of a branch.",
                   code) ||
            !require(p,
                     grant ? std::initializer_list<const char*>{"code", "branch", "group"}
                           : std::initializer_list<const char*>{"code", "branch"},
                     code))
            return code;
        auto c = OpenConnection(dbOf(p, configOf(p)));
        if (grant) {
            Grant(*c, value(p, "code"), value(p, "branch"), value(p, "group"));
            audit("operator " + value(p, "code") + " granted release group " + value(p, "group") + " of branch " +
                  value(p, "branch"));
            std::cout << "operator " << value(p, "code") << " in group " << value(p, "group") << " of branch "
                      << value(p, "branch") << "\n";
        } else {
            const int n = Revoke(*c, value(p, "code"), value(p, "branch"), value(p, "group"));
            audit("operator " + value(p, "code") + " revoked from " +
                  (p.isSet(QStringLiteral("group")) ? "release group " + value(p, "group") : "every release group") +
                  " of branch " + value(p, "branch") + ": " + std::to_string(n) + " membership(s)");
            std::cout << n << " membership(s) removed\n";
        }
    } else if (action == QLatin1String("grant-history") || action == QLatin1String("revoke-history")) {
        const bool grant = action == QLatin1String("grant-history");
        p.addOption(opt("branch", "Branch whose release history is concerned.", "BRANCH"));
        if (!parse(p, args,
                   grant ? "Lets an operator read the release history of a branch."
                         : "Takes away an operator's right to read the release history of a branch.",
                   code) ||
            !require(p, {"code", "branch"}, code))
            return code;
        auto c = OpenConnection(dbOf(p, configOf(p)));
        if (grant) {
            GrantHistory(*c, value(p, "code"), value(p, "branch"));
            audit("operator " + value(p, "code") + " granted the release history of branch " + value(p, "branch"));
            std::cout << "operator " << value(p, "code") << " may read the history of branch " << value(p, "branch")
                      << "\n";
        } else {
            const int n = RevokeHistory(*c, value(p, "code"), value(p, "branch"));
            audit("operator " + value(p, "code") + " revoked from the release history of branch " + value(p, "branch") +
                  ": " + std::to_string(n) + " right(s)");
            std::cout << n << " right(s) removed\n";
        }
    } else if (action == QLatin1String("disable") || action == QLatin1String("enable")) {
        const bool enable = action == QLatin1String("enable");
        if (!parse(p, args,
                   enable ? "Enables a disabled operator again."
                          : "Disables an operator: its sessions end at once and its logins are refused; its rows "
                            "and rights are kept.",
                   code) ||
            !require(p, {"db", "code"}, code))
            return code;
        auto c = OpenConnection(value(p, "db"));
        const bool changed = SetOperatorEnabled(*c, value(p, "code"), enable);
        if (changed) audit("operator " + value(p, "code") + (enable ? " enabled" : " disabled"));
        std::cout << "operator " << value(p, "code") << (changed ? "" : " already")
                  << (enable ? " enabled" : " disabled") << "\n";
    } else {
        std::cerr << "unknown operator action: " << action.toStdString() << "\n";
        return 2;
    }
    return 0;
}

int cmdServe(const QStringList& args)
{
    QCommandLineParser p;
    p.addOption(opt("db", "Database URL.", "URL"));
    p.addOption(opt("db-password-file",
                    "File whose first line is the password of the --db URL's PostgreSQL user; readable by its "
                    "owner only.",
                    "FILE"));
    p.addOption(opt("listen",
                    "Address to listen on, HOST:PORT; port 0 picks a free port. Several: repeat the option or "
                    "separate them with commas.",
                    "HOST:PORT"));
    p.addOption(opt("tls-cert", "PEM certificate chain (with --tls-key: serve over TLS).", "FILE"));
    p.addOption(opt("tls-key", "PEM private key.", "FILE"));
    p.addOption(opt("db-connections",
                    "Most database connections open at once (default 16). Several processes over one "
                    "PostgreSQL database: their sum stays below its max_connections.",
                    "N"));
    p.addOption(opt("cpus",
                    "Run on these CPUs only, e.g. 0 or 0,2-3: the process and every thread it starts. Where the "
                    "server shares a machine with its database or with other server processes, a core of its own "
                    "spares its calls the wake-ups of threads spread over every core.",
                    "LIST"));
    p.addOption(opt("session-idle-minutes",
                    "A session unused for this long ends; the operator logs in again (default 480).", "MINUTES"));
    addConfigOption(p);
    int code = 0;
    if (!parse(p, args, "Runs the application server until SIGTERM or SIGINT.", code)) return code;
    const ServerConfig cfg = configOf(p);
    const std::string configFile = cfg.file.empty() ? std::string(kDefaultConfigPath) : cfg.file;

    // The command line first, then the configuration file.
    std::string db = dbOf(p, cfg);
    if (p.isSet(QStringLiteral("db-password-file"))) {
        if (!p.isSet(QStringLiteral("db")))
            throw std::invalid_argument("--db-password-file goes with --db (the file's database-password-file "
                                        "goes with its database)");
        db = WithPasswordFromFile(db, value(p, "db-password-file"));
    }
    std::vector<std::string> listen;
    for (const QString& v : p.values(QStringLiteral("listen")))
        for (const QString& a : v.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
            try {
                CheckListenAddress(a.trimmed().toStdString());
            } catch (const std::invalid_argument& e) {
                throw std::invalid_argument(std::string("--listen: ") + e.what());
            }
            listen.push_back(a.trimmed().toStdString());
        }
    if (listen.empty()) listen = cfg.listen;
    if (listen.empty())
        throw std::invalid_argument("no address to listen on: give --listen HOST:PORT or set listen in " + configFile);
    ServeOptions o;
    o.listen = listen.front();
    o.alsoListen.assign(listen.begin() + 1, listen.end());
    const bool cliTls = p.isSet(QStringLiteral("tls-cert")) || p.isSet(QStringLiteral("tls-key"));
    o.tlsCert = cliTls ? value(p, "tls-cert") : cfg.tlsCert;
    o.tlsKey = cliTls ? value(p, "tls-key") : cfg.tlsKey;
    const int connections =
        toInt(p, "db-connections", cfg.dbConnections > 0 ? cfg.dbConnections : int(AppServer::kDefaultDbConnections));
    if (connections < 1) throw std::invalid_argument("--db-connections must be 1 or more");
    const std::string cpus = p.isSet(QStringLiteral("cpus")) ? value(p, "cpus") : cfg.cpus;
    // Before any thread starts: they all inherit the CPUs of this one. An
    // empty --cpus is a mistake, not "every CPU".
    if (p.isSet(QStringLiteral("cpus")) || !cpus.empty()) {
        const cpu_set_t set = cpuList(cpus);
        if (sched_setaffinity(0, sizeof set, &set) != 0) throw std::runtime_error("cannot run on the CPUs asked for");
        Log("running on CPU(s) %s", cpuText(set).c_str());
    }
    if (!cfg.file.empty()) Log("configuration read from %s", cfg.file.c_str());

    // The signals are taken by this thread only; gRPC's threads inherit the mask.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);

    AccessPolicy access;
    const int idle = p.isSet(QStringLiteral("session-idle-minutes"))
                         ? toInt(p, "session-idle-minutes", 0)
                         : (cfg.sessionIdleMinutes > 0 ? cfg.sessionIdleMinutes : int(access.sessionIdle.count()));
    if (idle < 1 || idle > kMaxSessionIdleMinutes)
        throw std::invalid_argument("--session-idle-minutes must be 1 to " + std::to_string(kMaxSessionIdleMinutes));
    access.sessionIdle = std::chrono::minutes(idle);
    Log("sessions end after %d idle minute(s)", idle);

    AppServer server(db, std::size_t(connections), access);
    const int port = server.Start(o);
    const auto host = [](const std::string& address) { return address.substr(0, address.rfind(':')); };
    std::printf("listening on %s:%d\n", host(o.listen).c_str(), port);
    for (std::size_t i = 0; i < o.alsoListen.size(); ++i)
        std::printf("listening on %s:%d\n", host(o.alsoListen[i]).c_str(), server.AlsoListeningPorts().at(i));
    std::fflush(stdout);
    Log("serving %s on port %d", DialectOf(db) == Dialect::Sqlite ? "SQLite" : "PostgreSQL", port);
    int sig = 0;
    sigwait(&set, &sig);
    Log("signal %d: stopping, calls in flight may finish", sig);
    server.Shutdown(std::chrono::seconds(10));
    server.Wait();
    Log("stopped");
    return 0;
}

int cmdBackupRestore(const QStringList& args, bool backup)
{
    QCommandLineParser p;
    p.addOption(opt("db", "Database URL (default: the configuration's).", "URL"));
    addConfigOption(p);
    p.addPositionalArgument(QStringLiteral("FILE"), backup ? QStringLiteral("The backup to write (must not exist).")
                                                           : QStringLiteral("The backup to restore."));
    int code = 0;
    if (!parse(p, args,
               backup ? "Copies the database into FILE while servers keep running: SQLite's online backup, or "
                        "pg_dump for PostgreSQL."
                      : "Restores FILE into an empty database of the same kind; refuses a database that holds "
                        "tables.",
               code))
        return code;
    if (p.positionalArguments().size() != 1) {
        std::cerr << "give one FILE\n" << p.helpText().toStdString();
        return 2;
    }
    const std::string file = p.positionalArguments().front().toStdString();
    const std::string db = dbOf(p, configOf(p));
    if (backup)
        Backup(db, file, std::cout);
    else
        Restore(db, file, std::cout);
    return 0;
}

int cmdTls(QStringList args)
{
    if (args.size() < 2 || args[1] != QLatin1String("init")) {
        std::cout << "Usage: zel-server tls init DIR --name HOST [--name HOST...] [--days N]\n";
        return args.size() >= 2 && (args[1] == QLatin1String("--help") || args[1] == QLatin1String("-h")) ? 0 : 2;
    }
    args.removeAt(1);
    QCommandLineParser p;
    p.addOption(opt("name", "A host name or IP address the shells reach the server by; repeat for more.", "HOST"));
    p.addOption(opt("days", "Days the server's certificate is valid (default 825; the authority's, twice that).", "N"));
    p.addPositionalArgument(QStringLiteral("DIR"), QStringLiteral("Folder for the keys and certificates."));
    int code = 0;
    if (!parse(p, args,
               "Makes a private certificate authority and a certificate of the server signed by it, with "
               "OpenSSL.",
               code))
        return code;
    if (p.positionalArguments().size() != 1) {
        std::cerr << "give one DIR\n" << p.helpText().toStdString();
        return 2;
    }
    std::vector<std::string> names;
    for (const QString& n : p.values(QStringLiteral("name")))
        names.push_back(n.toStdString());
    TlsInit(p.positionalArguments().front().toStdString(), names, toInt(p, "days", 825), std::cout);
    return 0;
}

} // namespace

int RunCli(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    if (args.size() < 2 || args[1] == QLatin1String("--help") || args[1] == QLatin1String("-h") ||
        args[1] == QLatin1String("help")) {
        std::cout << kUsage;
        return args.size() < 2 ? 2 : 0;
    }
    const QString cmd = args.takeAt(1);
    QCoreApplication::setApplicationName(QStringLiteral("zel-server ") + cmd);
    try {
        if (cmd == QLatin1String("init")) return cmdInit(args);
        if (cmd == QLatin1String("seed")) return cmdSeed(args);
        if (cmd == QLatin1String("operator")) return cmdOperator(args);
        if (cmd == QLatin1String("serve")) return cmdServe(args);
        if (cmd == QLatin1String("backup")) return cmdBackupRestore(args, true);
        if (cmd == QLatin1String("restore")) return cmdBackupRestore(args, false);
        if (cmd == QLatin1String("tls")) return cmdTls(args);
        std::cerr << "unknown command: " << cmd.toStdString() << "\n" << kUsage;
        return 2;
    } catch (const ConfigError& e) {
        // 78: a configuration error (sysexits' EX_CONFIG), which the service
        // unit does not restart on.
        std::cerr << "zel-server " << cmd.toStdString() << ": " << e.what() << "\n";
        return 78;
    } catch (const std::invalid_argument& e) {
        std::cerr << "zel-server " << cmd.toStdString() << ": " << e.what() << "\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "zel-server " << cmd.toStdString() << ": " << e.what() << "\n";
        return 1;
    }
}

} // namespace zel::server
