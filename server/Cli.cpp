#include "server/Cli.h"

#include "server/AppServer.h"
#include "server/Log.h"
#include "server/Operators.h"
#include "server/Schema.h"
#include "server/Seed.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QStringList>

#include <csignal>
#include <cstdio>
#include <iostream>
#include <pthread.h>
#include <sched.h>

namespace zel::server {
namespace {

const char* kUsage = "Usage: zel-server COMMAND [options]\n"
                     "\n"
                     "Commands:\n"
                     "  init      create or upgrade the database schema\n"
                     "  seed      fill an empty database with demo data\n"
                     "  operator  add|passwd|grant|revoke|grant-history|revoke-history: manage operators and rights\n"
                     "  serve     run the application server\n"
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
    p.addOption(opt("db", "Database URL.", "URL"));
    int code = 0;
    if (!parse(p, args, "Creates or upgrades the database schema.", code) || !require(p, {"db"}, code)) return code;
    auto c = OpenConnection(value(p, "db"));
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

std::string passwordFrom(const QCommandLineParser& p)
{
    if (p.isSet(QStringLiteral("password"))) return value(p, "password");
    std::string line;
    std::getline(std::cin, line);
    return line;
}

int cmdOperator(QStringList args)
{
    if (args.size() < 2 || args[1].startsWith(QLatin1Char('-'))) {
        std::cout << "Usage: zel-server operator add|passwd|grant|revoke|grant-history|revoke-history [options]\n"
                     "Run 'zel-server operator ACTION --help' for the options.\n";
        return args.size() >= 2 && (args[1] == QLatin1String("--help") || args[1] == QLatin1String("-h")) ? 0 : 2;
    }
    const QString action = args.takeAt(1);
    QCommandLineParser p;
    p.addOption(opt("db", "Database URL.", "URL"));
    p.addOption(opt("code", "Operator code (up to 12 characters).", "CODE"));
    int code = 0;
    if (action == QLatin1String("add")) {
        p.addOption(opt("name", "Operator name (up to 40 characters).", "NAME"));
        p.addOption(opt("branch", "The operator's own branch.", "BRANCH"));
        p.addOption(opt("fixed", "The login works with the own branch only."));
        p.addOption(opt("password", "Password (read from standard input when not given).", "PASSWORD"));
        if (!parse(p, args, "Adds an operator.", code) || !require(p, {"db", "code", "name", "branch"}, code))
            return code;
        auto c = OpenConnection(value(p, "db"));
        AddOperator(*c, value(p, "code"), value(p, "name"), value(p, "branch"), p.isSet(QStringLiteral("fixed")),
                    passwordFrom(p));
        std::cout << "operator " << value(p, "code") << " added\n";
    } else if (action == QLatin1String("passwd")) {
        p.addOption(opt("password", "New password (read from standard input when not given).", "PASSWORD"));
        if (!parse(p, args, "Sets an operator's password.", code) || !require(p, {"db", "code"}, code)) return code;
        auto c = OpenConnection(value(p, "db"));
        SetPassword(*c, value(p, "code"), passwordFrom(p));
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
                     grant ? std::initializer_list<const char*>{"db", "code", "branch", "group"}
                           : std::initializer_list<const char*>{"db", "code", "branch"},
                     code))
            return code;
        auto c = OpenConnection(value(p, "db"));
        if (grant) {
            Grant(*c, value(p, "code"), value(p, "branch"), value(p, "group"));
            std::cout << "operator " << value(p, "code") << " in group " << value(p, "group") << " of branch "
                      << value(p, "branch") << "\n";
        } else {
            const int n = Revoke(*c, value(p, "code"), value(p, "branch"), value(p, "group"));
            std::cout << n << " membership(s) removed\n";
        }
    } else if (action == QLatin1String("grant-history") || action == QLatin1String("revoke-history")) {
        const bool grant = action == QLatin1String("grant-history");
        p.addOption(opt("branch", "Branch whose release history is concerned.", "BRANCH"));
        if (!parse(p, args,
                   grant ? "Lets an operator read the release history of a branch."
                         : "Takes away an operator's right to read the release history of a branch.",
                   code) ||
            !require(p, {"db", "code", "branch"}, code))
            return code;
        auto c = OpenConnection(value(p, "db"));
        if (grant) {
            GrantHistory(*c, value(p, "code"), value(p, "branch"));
            std::cout << "operator " << value(p, "code") << " may read the history of branch " << value(p, "branch")
                      << "\n";
        } else {
            std::cout << RevokeHistory(*c, value(p, "code"), value(p, "branch")) << " right(s) removed\n";
        }
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
    p.addOption(opt("listen", "Address to listen on, HOST:PORT; port 0 picks a free port.", "HOST:PORT"));
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
    int code = 0;
    if (!parse(p, args, "Runs the application server until SIGTERM or SIGINT.", code) ||
        !require(p, {"db", "listen"}, code))
        return code;
    ServeOptions o;
    o.listen = value(p, "listen");
    o.tlsCert = value(p, "tls-cert");
    o.tlsKey = value(p, "tls-key");
    const auto colon = o.listen.rfind(':');
    if (colon == std::string::npos) throw std::invalid_argument("--listen must be HOST:PORT");
    const int connections = toInt(p, "db-connections", int(AppServer::kDefaultDbConnections));
    if (connections < 1) throw std::invalid_argument("--db-connections must be 1 or more");
    // Before any thread starts: they all inherit the CPUs of this one.
    if (p.isSet(QStringLiteral("cpus"))) {
        const cpu_set_t cpus = cpuList(value(p, "cpus"));
        if (sched_setaffinity(0, sizeof cpus, &cpus) != 0) throw std::runtime_error("cannot run on the CPUs asked for");
        Log("running on CPU(s) %s", cpuText(cpus).c_str());
    }

    // The signals are taken by this thread only; gRPC's threads inherit the mask.
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTERM);
    sigaddset(&set, SIGINT);
    pthread_sigmask(SIG_BLOCK, &set, nullptr);

    AppServer server(value(p, "db"), std::size_t(connections));
    const int port = server.Start(o);
    std::printf("listening on %s:%d\n", o.listen.substr(0, colon).c_str(), port);
    std::fflush(stdout);
    Log("serving %s on port %d", DialectOf(value(p, "db")) == Dialect::Sqlite ? "SQLite" : "PostgreSQL", port);
    int sig = 0;
    sigwait(&set, &sig);
    Log("signal %d: stopping, calls in flight may finish", sig);
    server.Shutdown(std::chrono::seconds(10));
    server.Wait();
    Log("stopped");
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
        std::cerr << "unknown command: " << cmd.toStdString() << "\n" << kUsage;
        return 2;
    } catch (const std::invalid_argument& e) {
        std::cerr << "zel-server " << cmd.toStdString() << ": " << e.what() << "\n";
        return 2;
    } catch (const std::exception& e) {
        std::cerr << "zel-server " << cmd.toStdString() << ": " << e.what() << "\n";
        return 1;
    }
}

} // namespace zel::server
