#pragma once

// What every GUI test must leave behind: no top-level window it showed, no
// modal dialog open. A test that does is a test that failed to clean up: it
// fails, and the leftovers are closed so that the next test starts clean.

#include <functional>

class QWidget;

namespace zel::test {

// Checks every test of the program (call once, after InitGoogleTest).
void InstallWindowChecks();
// A window the tests share, which may stay shown between them (the main form).
void KeepWindow(QWidget* window);
// A further check run after each test; it reports with ADD_FAILURE.
void AddAfterTestCheck(std::function<void()> check);

} // namespace zel::test
