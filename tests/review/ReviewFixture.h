#pragma once

// The review screen's tests: a real zel-server on a seeded SQLite database,
// logged in as the demo operator with release rights, the module loaded.

#include "platform/data/DateTime.h"
#include "tests/host/ServerProcess.h"

#include <QString>

#include <gtest/gtest.h>
#include <vector>

class QWidget;

namespace review_test {

// An order as the server lists it.
struct Order {
    QString filial;
    QString nrPedido;
    QString idSitPedido;
    zel::TDateTime dtPedido;
    zel::TDateTime dtEntPed; // zero when the order has none
    double vrPedido = 0;
};

// The shared server of the test program (started on first use).
zel::test::ServerProcess* SharedServer(QString& error);
// Logs the demo operator "0001" in at the server and installs the login.
void LogIn(const zel::test::ServerProcess& server);
// The first orders of a branch (order numbers 1 to count), straight from the server.
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
    zel::test::ServerProcess* server_ = nullptr;
};

} // namespace review_test
