#pragma once

#include <QApplication>
#include <QCursor>

namespace zel {

// The screen cursor for as long as a scope runs, however it ends. Scopes nest:
// the innermost one shows, and the one around it comes back when it ends.
class TCursorScope {
public:
    explicit TCursorScope(Qt::CursorShape shape) { QApplication::setOverrideCursor(QCursor(shape)); }
    ~TCursorScope() { QApplication::restoreOverrideCursor(); }
    TCursorScope(const TCursorScope&) = delete;
    TCursorScope& operator=(const TCursorScope&) = delete;
};

} // namespace zel
