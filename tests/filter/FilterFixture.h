#pragma once

// The filter dialog's tests: the review screen open from the menu for the
// demo operator (branch 0001, which it may change), the server spied on, and
// saved filter options kept in a folder of the test's own.

#include "filter/TfrmFiltroIncons.h"
#include "review/TfrmIncPed.h"
#include "tests/support/Modal.h"
#include "tests/support/ReviewFixture.h"

#include <QTemporaryDir>

#include <functional>

namespace filter_test {

class FilterTest : public zel::test::ReviewTest {
protected:
    void SetUp() override;
    void TearDown() override;

    // Shows the dialog with CriaFiltroInc, runs act while it is up and active,
    // and closes it if act left it open. False when no dialog came up.
    bool Show(const std::function<void(Cli_zel08101::TfrmFiltroIncons*)>& act);
    // Picks the rows of the branch's order-number list in the picker that
    // the next picking opens, by their positions, and confirms it.
    [[nodiscard]] static zel::test::ModalExpectation PickRows(std::vector<int> rows);
    // Confirms the dialog as the user does and tells whether it closed.
    static bool Confirm(Cli_zel08101::TfrmFiltroIncons* f);
    static int Calls(const char* method) { return zel::test::TServerSpy::calls.value(QString::fromLatin1(method)); }
    // The order numbers now in the review screen's order list.
    QStringList ListedOrders() const;

    Cli_zel08100::TfrmIncPed* screen = nullptr;

private:
    QTemporaryDir options_;
};

} // namespace filter_test
