#pragma once

// A real zel-server process on a loopback port, serving a copy of the seeded
// database of the test program.

#include "tests/support/ChildProcess.h"

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace zel::test {

// The zel-server executable: $ZEL_SERVER_EXE, else the one of this build.
// Empty when the build has none (the server is not configured).
QString ServerExecutable();

// Skips the running test when this build has no zel-server. A server that is
// configured but does not start is a failure, never a skip.
#define ZEL_SKIP_WITHOUT_SERVER()                                                                                      \
    if (::zel::test::ServerExecutable().isEmpty()) GTEST_SKIP() << "zel-server is not built in this configuration"

// The seeded SQLite database of the test program: created with the server's
// own init and seed once per program, kept until the program ends. Each
// server serves a copy of it. Empty, with the reason, when seeding failed.
QString SeededDatabase(QString& error);

class ServerProcess {
public:
    ServerProcess() = default;
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;
    ~ServerProcess() { stop(); }

    // Copies the seeded database and serves it. False, with the reason, when
    // a step fails.
    bool start(QString& error, const QStringList& serveArguments = {});
    // Starts another server process over the database of `first`: several
    // processes in front of one database serve one logical server.
    bool startBeside(const ServerProcess& first, QString& error, const QStringList& serveArguments = {});
    // Serves (again) the same database, on a new port.
    bool serve(QString& error);
    // Ends the server and starts it again on the port it had, as an operator
    // restarting it would.
    bool restart(QString& error);
    // Ends the server (SIGTERM, SIGKILL when it does not end in time).
    void stop();
    bool running() { return child_.Running(); }

    // Freezes the server: it keeps its port but answers nothing. Returns once
    // every thread of it has stopped.
    bool pause();
    void resume();

    const QString& host() const { return host_; }
    int port() const { return port_; }
    QString address() const { return QStringLiteral("%1:%2").arg(host_).arg(port_); }
    QString dbUrl() const { return QStringLiteral("sqlite:") + dbPath_; }
    const QString& dbPath() const { return dbPath_; }

    // For the program's shared server: the end of the tests stops it.
    void outlivesTests() { child_.outlivesTests(); }

private:
    bool serveOn(int port, QString& error);

    QTemporaryDir dir_;
    QStringList serveArguments_;
    QString dbPath_;
    ChildProcess child_;
    QString host_;
    int port_ = 0;
};

// Starts the server, as a gtest assertion: ASSERT_TRUE(Started(server_)).
::testing::AssertionResult Started(ServerProcess& server, const QStringList& serveArguments = {});

// The test program's shared server, started on first use and stopped when the
// tests end. Null, with the reason, when it cannot start.
ServerProcess* SharedServer(QString& error);

} // namespace zel::test
