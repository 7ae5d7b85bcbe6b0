#pragma once

// The programs that test the host library, the shell and the module: a pt_BR
// application with the shell's guard reporter, message boxes answered
// without a user, and the window checks after every test (GuiTestMain.cpp).

class QMainWindow;

namespace zel::test {

// A main form for screens to open in, as the shell's: a main window
// "frmPrincipal" whose multiple-document area holds the screens. Created and
// installed as the host's main form on first use, shown between tests, and
// destroyed when the tests end.
QMainWindow* ShellMainForm();

} // namespace zel::test
