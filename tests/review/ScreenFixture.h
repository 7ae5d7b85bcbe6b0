#pragma once

// Working the inconsistencies through the review screen: orders of the
// test's own in the server's database, a link that records every server call
// (and fails one where a test asks it to), and the screen driven by mouse and
// keyboard.

#include "host/WaitAnimation.h"
#include "platform/data/Variant.h"
#include "review/RdmIncPed.h"
#include "tests/review/OrderRows.h"
#include "tests/support/ForwardingServer.h"
#include "tests/support/ReviewFixture.h"

#include <QPoint>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class QWidget;

namespace zel {
class TDBGrid;
}
namespace Cli_zel08100 {
class TfrmIncPed;
}

namespace zel::test {

// Columns of the inconsistency grid.
constexpr int kCheck = 0;     // the marks
constexpr int kDescricao = 2; // the description

// Adds an order of the branch with these inconsistencies to the server's database.
Order AddOrder(const ServerProcess& server, const QString& filial, const std::vector<IncRow>& rows);

// An inconsistency as the database holds it.
struct StoredInc {
    QString ativa;
    QString note;
    QString cdOperLibe;    // empty while pending
    zel::TDateTime dtLibe; // zero while pending
    int history = 0;       // its rows in the release history
};
StoredInc Stored(const ServerProcess& server, const Order& order, int nrIncons);

// One call that reached the server link.
struct SpyCall {
    QString method;
    QStringList args;            // text arguments; for sends, one line per changed row
    int aviDepth = 0;            // wait animations open during the call
    zel::TAviKind aviKind{};     // the innermost one's kind
    bool confirmEnabled = false; // sbtConfirmar during the call
    bool cancelEnabled = false;  // sbtCancelar during the call
};

// What the recording link saw, and the faults it is told to inject.
struct SpyState {
    std::vector<SpyCall> calls;
    int depth = 0;    // calls in flight
    int maxDepth = 0; // most calls ever in flight at once
    // method -> the call of that method (1 = its first) that fails.
    std::map<QString, int> failAt;
    // true: the server answers with an error result; false: the link fails.
    bool failAsResult = true;
    QString failText = QStringLiteral("Registro alterado por outro usuário.");
    // Runs before each call reaches the server (method, its number among
    // the calls of that method).
    std::function<void(const QString&, int)> before;

    int count(const QString& method) const;
    std::vector<SpyCall> of(const QString& method) const;
    // The methods called, in order.
    QStringList methods() const;
    void clear() { calls.clear(); }
};

class ScreenTest : public ReviewTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens the review screen for one order (the given-order mode) through
    // the module's entry; the operator's release groups are those the
    // server has for the order's branch.
    Cli_zel08100::TfrmIncPed* openOrder(const Order& order);
    // Opens the review screen from the menu (the filter mode) and confirms the
    // filter dialog for the interval of order numbers from first to last,
    // any date.
    Cli_zel08100::TfrmIncPed* openOrders(const Order& first, const Order& last);
    // Logs in as another demo operator (before opening the screen).
    void logInAs(const QString& operador);

    // Mouse and keyboard on the real widgets.
    void clickCell(zel::TDBGrid* grid, int row, int column);
    void clickTitle(zel::TDBGrid* grid, int column);
    void click(QWidget* w);
    void key(QWidget* w, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier);
    void type(QWidget* w, const QString& text);

    // The inconsistency list's values at a row, without moving it.
    QString incValue(int row, const char* field) const;
    QString activeName() const;

    std::shared_ptr<SpyState> spy = std::make_shared<SpyState>();
    Cli_zel08100::TfrmIncPed* screen = nullptr;
};

} // namespace zel::test
