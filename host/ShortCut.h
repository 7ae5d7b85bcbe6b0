#pragma once

#include <QKeySequence>

namespace zel {

// A menu shortcut as the screens store it: the key's virtual-key code in the
// low byte plus 8192 for Shift, 16384 for Ctrl and 32768 for Alt (Ctrl+B is
// 16450). Letters, digits, F1 to F12 and the common editing keys are known;
// 0 or an unknown key gives no shortcut.
QKeySequence ShortCut(int stored);

} // namespace zel
