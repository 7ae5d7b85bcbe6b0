#include "tests/support/ServerProcess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThread>

#include <arpa/inet.h>
#include <csignal>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zel::test {
namespace {

std::vector<std::string> command(const QStringList& args)
{
    std::vector<std::string> out{ServerExecutable().toStdString()};
    for (const QString& a : args)
        out.push_back(a.toStdString());
    return out;
}

// A loopback port below the kernel's ephemeral range that nothing holds now.
// Servers that ask for port 0 would share ports they are handed (gRPC listens
// with SO_REUSEPORT), and a test must talk to its own server only.
int freeLowPort()
{
    int low = 32768;
    QFile range(QStringLiteral("/proc/sys/net/ipv4/ip_local_port_range"));
    if (range.open(QIODevice::ReadOnly))
        low = QString::fromLatin1(range.readAll())
                  .split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts)
                  .value(0)
                  .toInt();
    if (low < 12000) low = 32768;
    const int first = std::max(10000, low - 12000);
    const int port = first + int(QRandomGenerator::global()->bounded(low - first - 1));
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    if (fd < 0) return -1;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(quint16(port));
    const bool free = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(fd);
    return free ? port : -1;
}

// True when every thread of the process is stopped.
bool allThreadsStopped(qint64 pid)
{
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile f(tasks.filePath(task) + QStringLiteral("/stat"));
        if (!f.open(QIODevice::ReadOnly)) continue;
        // "pid (name) S ...": the state follows the closing parenthesis.
        const QByteArray stat = f.readAll();
        const int close = int(stat.lastIndexOf(')'));
        const char state = close >= 0 && close + 2 < stat.size() ? stat.at(close + 2) : '?';
        if (state != 'T' && state != 't') return false;
    }
    return true;
}

} // namespace

QString ServerExecutable()
{
    const QByteArray env = qgetenv("ZEL_SERVER_EXE");
    if (!env.isEmpty()) return QString::fromLocal8Bit(env);
#ifdef ZEL_SERVER_EXE
    return QStringLiteral(ZEL_SERVER_EXE);
#else
    return {};
#endif
}

QString SeededDatabase(QString& error)
{
    static QTemporaryDir dir;
    static QString path;
    static QString failure;
    if (path.isEmpty() && failure.isEmpty()) {
        const QString file = dir.filePath(QStringLiteral("seeded.db"));
        const QString url = QStringLiteral("sqlite:") + file;
        if (ServerExecutable().isEmpty() || !QFile::exists(ServerExecutable()))
            failure = QStringLiteral("zel-server not found at \"%1\"").arg(ServerExecutable());
        for (const QString& step : {QStringLiteral("init"), QStringLiteral("seed")}) {
            if (!failure.isEmpty()) break;
            ChildProcess p;
            p.mergeErrors();
            std::string why;
            if (!p.Start(command({step, QStringLiteral("--db"), url}), why)) {
                failure = QString::fromStdString(why);
                break;
            }
            const std::string out = p.ReadAll(std::chrono::minutes(2));
            if (p.Wait(std::chrono::seconds(30)) != 0)
                failure = QStringLiteral("zel-server %1 failed: %2").arg(step, QString::fromStdString(out));
        }
        if (failure.isEmpty()) path = file;
    }
    error = failure;
    return path;
}

bool ServerProcess::start(QString& error, const QStringList& serveArguments)
{
    serveArguments_ = serveArguments;
    if (!dir_.isValid()) {
        error = QStringLiteral("no temporary directory");
        return false;
    }
    const QString seeded = SeededDatabase(error);
    if (seeded.isEmpty()) return false;
    dbPath_ = dir_.filePath(QStringLiteral("zel.db"));
    QFile::remove(dbPath_);
    if (!QFile::copy(seeded, dbPath_)) {
        error = QStringLiteral("cannot copy the seeded database");
        return false;
    }
    return serve(error);
}

bool ServerProcess::startBeside(const ServerProcess& first, QString& error, const QStringList& serveArguments)
{
    serveArguments_ = serveArguments;
    dbPath_ = first.dbPath();
    return serve(error);
}

bool ServerProcess::serve(QString& error)
{
    stop();
    for (int attempt = 0; attempt < 8; ++attempt) {
        const int port = freeLowPort();
        if (port <= 0) continue;
        if (serveOn(port, error)) return true;
        stop();
    }
    return false;
}

bool ServerProcess::restart(QString& error)
{
    stop();
    if (port_ <= 0) {
        error = QStringLiteral("the server never ran: no port to restart on");
        return false;
    }
    return serveOn(port_, error);
}

bool ServerProcess::serveOn(int port, QString& error)
{
    std::string why;
    if (!child_.Start(command(QStringList{QStringLiteral("serve"), QStringLiteral("--db"), dbUrl(),
                                          QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port)} +
                              serveArguments_),
                      why)) {
        error = QStringLiteral("zel-server did not start: ") + QString::fromStdString(why);
        return false;
    }
    static const QRegularExpression re(QStringLiteral(R"(^listening on ([^\s:]+):(\d+)$)"));
    const QString line = QString::fromStdString(child_.ReadLine(std::chrono::seconds(30)));
    const auto m = re.match(line);
    if (!m.hasMatch()) {
        error = QStringLiteral("zel-server did not report its port: \"%1\"").arg(line);
        return false;
    }
    host_ = m.captured(1);
    port_ = m.captured(2).toInt();
    return true;
}

void ServerProcess::stop()
{
    child_.Stop();
}

bool ServerProcess::pause()
{
    if (!child_.Running()) return false;
    child_.Signal(SIGSTOP);
    // A thread running at the moment of the signal stops a little later.
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 5000) {
        if (allThreadsStopped(child_.Pid())) return true;
        QThread::msleep(5);
    }
    return false;
}

void ServerProcess::resume()
{
    child_.Signal(SIGCONT);
}

::testing::AssertionResult Started(ServerProcess& server, const QStringList& serveArguments)
{
    QString error;
    if (server.start(error, serveArguments)) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "zel-server did not start: " << error.toStdString();
}

ServerProcess* SharedServer(QString& error)
{
    static std::unique_ptr<ServerProcess> server;
    static QString failure;
    if (!server && failure.isEmpty()) {
        auto s = std::make_unique<ServerProcess>();
        s->outlivesTests();
        if (s->start(failure)) server = std::move(s);
    }
    error = failure;
    return server.get();
}

} // namespace zel::test
