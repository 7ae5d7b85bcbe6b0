#pragma once

// Test support: a real zel-server process on an ephemeral loopback port over
// a seeded SQLite file of its own.

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QString>
#include <QTemporaryDir>
#include <QThread>

#include <arpa/inet.h>
#include <csignal>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace zel::test {

inline QString serverExe()
{
    const QByteArray env = qgetenv("ZEL_SERVER_EXE");
    if (!env.isEmpty()) return QString::fromLocal8Bit(env);
#ifdef ZEL_SERVER_EXE
    return QStringLiteral(ZEL_SERVER_EXE);
#else
    return {};
#endif
}

class ServerProcess {
public:
    ServerProcess() = default;
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    ~ServerProcess() { stop(); }

    // Creates and seeds the database once per test program, copies it for
    // this server, and starts the server. False with error set when any step fails.
    bool start(QString& error, const QStringList& serveArguments = {})
    {
        serveArguments_ = serveArguments;
        const QString exe = serverExe();
        if (exe.isEmpty() || !QFile::exists(exe)) {
            error = QStringLiteral("zel-server not built");
            return false;
        }
        if (!dir_.isValid()) {
            error = QStringLiteral("no temporary directory");
            return false;
        }
        const QString& seeded = seededTemplate(exe, error);
        if (seeded.isEmpty()) return false;
        dbPath_ = dir_.filePath(QStringLiteral("zel.db"));
        QFile::remove(dbPath_);
        if (!QFile::copy(seeded, dbPath_)) {
            error = QStringLiteral("cannot copy the seeded database");
            return false;
        }
        return serve(error);
    }

    // Starts another server process over the database of `first`: several
    // processes in front of one database serve one logical server.
    bool startBeside(const ServerProcess& first, QString& error, const QStringList& serveArguments = {})
    {
        serveArguments_ = serveArguments;
        dbPath_ = first.dbPath();
        return serve(error);
    }

    // Starts (again) on the same database, on a new port. The port is chosen
    // below the kernel's ephemeral range and checked free: servers that ask
    // for port 0 share ports they are handed (gRPC listens with SO_REUSEPORT),
    // and a test must talk to its own server only.
    bool serve(QString& error)
    {
        for (int attempt = 0; attempt < 8; ++attempt) {
            const int port = freeLowPort();
            if (port <= 0) continue;
            if (serveOn(port, error)) return true;
            stop();
        }
        return false;
    }

    void stop()
    {
        if (!process_) return;
        resume();
        if (process_->state() != QProcess::NotRunning) {
            process_->terminate();
            if (!process_->waitForFinished(5000)) {
                process_->kill();
                process_->waitForFinished(5000);
            }
        }
        process_.reset();
    }

    // Freezes the server: it keeps its port but answers nothing. Returns once
    // every thread of it has stopped (a thread running at the moment of the
    // signal stops a little later).
    bool pause()
    {
        if (!process_ || process_->processId() <= 0) return false;
        const qint64 pid = process_->processId();
        ::kill(pid_t(pid), SIGSTOP);
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 5000) {
            bool all = true;
            const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
            for (const QString& task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
                QFile f(tasks.filePath(task) + QStringLiteral("/stat"));
                if (!f.open(QIODevice::ReadOnly)) continue;
                // "pid (name) S ...": the state follows the closing parenthesis.
                const QByteArray stat = f.readAll();
                const int close = int(stat.lastIndexOf(')'));
                const char state = close >= 0 && close + 2 < stat.size() ? stat.at(close + 2) : '?';
                if (state != 'T' && state != 't') all = false;
            }
            if (all) return true;
            QThread::msleep(5);
        }
        return false;
    }
    void resume()
    {
        if (process_ && process_->processId() > 0) ::kill(pid_t(process_->processId()), SIGCONT);
    }

    const QString& host() const { return host_; }
    int port() const { return port_; }
    QString address() const { return QStringLiteral("%1:%2").arg(host_).arg(port_); }
    QString dbUrl() const { return QStringLiteral("sqlite:") + dbPath_; }
    const QString& dbPath() const { return dbPath_; }

private:
    bool serveOn(int port, QString& error)
    {
        process_ = std::make_unique<QProcess>();
        process_->setProgram(serverExe());
        process_->setArguments(QStringList{QStringLiteral("serve"), QStringLiteral("--db"), dbUrl(),
                                           QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(port)} +
                               serveArguments_);
        process_->setProcessChannelMode(QProcess::SeparateChannels);
        process_->start();
        if (!process_->waitForStarted(10000)) {
            error = QStringLiteral("zel-server did not start: ") + process_->errorString();
            return false;
        }
        static const QRegularExpression re(QStringLiteral(R"(listening on ([^\s:]+):(\d+))"));
        QByteArray out;
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < 30000) {
            if (!process_->waitForReadyRead(200) && process_->state() != QProcess::Running) break;
            out += process_->readAllStandardOutput();
            const auto m = re.match(QString::fromUtf8(out));
            if (m.hasMatch()) {
                host_ = m.captured(1);
                port_ = m.captured(2).toInt();
                return true;
            }
        }
        error = QStringLiteral("zel-server did not report its port: ") + QString::fromUtf8(out) +
                QString::fromUtf8(process_->readAllStandardError());
        return false;
    }

    // A loopback port below the ephemeral range that nothing holds now.
    static int freeLowPort()
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

    static const QString& seededTemplate(const QString& exe, QString& error)
    {
        static QTemporaryDir dir;
        static QString path;
        static QString failure;
        if (!path.isEmpty() || !failure.isEmpty()) {
            error = failure;
            return path;
        }
        const QString file = dir.filePath(QStringLiteral("seeded.db"));
        const QString url = QStringLiteral("sqlite:") + file;
        for (const QStringList& args : {QStringList{QStringLiteral("init"), QStringLiteral("--db"), url},
                                        QStringList{QStringLiteral("seed"), QStringLiteral("--db"), url}}) {
            QProcess p;
            p.start(exe, args);
            if (!p.waitForFinished(120000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
                failure = QStringLiteral("zel-server %1 failed: %2%3")
                              .arg(args.first(), QString::fromUtf8(p.readAllStandardError()), p.errorString());
                error = failure;
                return path;
            }
        }
        path = file;
        return path;
    }

    QTemporaryDir dir_;
    QStringList serveArguments_;
    QString dbPath_;
    std::unique_ptr<QProcess> process_;
    QString host_;
    int port_ = 0;
};

} // namespace zel::test
