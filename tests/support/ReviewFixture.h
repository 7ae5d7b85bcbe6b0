#pragma once

// The module's screens against the real application server: the program's
// shared zel-server on the seeded SQLite database, the demo operator "0001"
// (release rights in branch 0001) logged in, the module's units loaded, and
// the shell's main form to open in.

#include "platform/data/DateTime.h"
#include "review/RdmIncPed.h"
#include "tests/support/ForwardingServer.h"
#include "tests/support/ServerProcess.h"

#include <QMap>
#include <QSet>
#include <QString>
#include <QStringList>

#include <array>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <vector>

class QWidget;

// Texts in test failures as text.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace zel::test {

// Wraps the real server object of every link the screens open: counts the
// calls of each method, keeps the arguments of every GetPedido, and answers
// the methods named in rejecting with an error result instead of asking the
// server. Installed by ReviewTest::SpyOnServer, removed at the test's end.
class TServerSpy : public TForwardingServer {
public:
    struct PedidoCall {
        QStringList texts;                   // arguments 1-5, 8 and 11
        std::array<zel::TDateTime, 4> dates; // arguments 6, 7, 9 and 10
        bool hourglass;                      // the hourglass showed during the call
        int aviDepth;                        // how many wait animations were open
    };
    static inline QMap<QString, int> calls;
    static inline std::vector<PedidoCall> pedidoCalls;
    static inline QSet<QString> rejecting;
    // The message of the error results.
    static QString RejectionText(const QString& method);

    explicit TServerSpy(std::unique_ptr<zel::IrdmIncPed> real) : TForwardingServer(std::move(real)) {}
    zel::data::Result GetPedido(const QString& a1, const QString& a2, const QString& a3, const QString& a4,
                                const QString& a5, const zel::TDateTime& a6, const zel::TDateTime& a7,
                                const QString& a8, const zel::TDateTime& a9, const zel::TDateTime& a10,
                                const QString& a11) override;

protected:
    // Counts the call, then rejects it or passes it on.
    zel::data::Result call(const QString& method, const QStringList& args, const Call& real) override;
};

// An order as the server lists it.
struct Order {
    QString filial;
    QString nrPedido;
    QString idSitPedido;
    zel::TDateTime dtPedido;
    zel::TDateTime dtEntPed; // zero when the order has none
    double vrPedido = 0;
};

// Logs the demo operator "0001" in at the server and installs the login.
void LogIn(const ServerProcess& server);
// The first orders of a branch (order numbers 1 to count), straight from the
// server of the current login.
std::vector<Order> FetchOrders(const QString& filial, int count);
// The first order of the branch that has a delivery date.
Order OrderWithDelivery(const QString& filial);

// Saves a picture of the widget under the build's artifacts folder and
// prints where.
QString SaveArtifact(QWidget* widget, const QString& fileName);

class ReviewTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Closes the review screen, if any, and waits until it is released.
    static void CloseScreen();
    // Puts a TServerSpy around the server object of every link opened from now on.
    static void SpyOnServer();
    // Makes the main form the active window, so that focus moves inside the
    // screens take effect and run their enter and exit handlers.
    static void ActivateMainForm();
    // The name of a branch, read from the branch table.
    static QString BranchName(const QString& code);
    ServerProcess* server_ = nullptr;
};

} // namespace zel::test
