#pragma once

// The module's screens against the real application server: the program's
// shared zel-server on the seeded SQLite database, the demo operator "0001"
// (release rights in branch 0001) logged in, the module's units loaded, and
// the shell's main form to open in.

#include "platform/data/DateTime.h"
#include "tests/support/ServerProcess.h"

#include <QString>

#include <gtest/gtest.h>
#include <vector>

class QWidget;

namespace zel::test {

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
    ServerProcess* server_ = nullptr;
};

} // namespace zel::test
