#pragma once

#include <QString>

class QWidget;

namespace zel {

// The wait animation: a busy indicator drawn over a form (the application's
// main form when none is given) that keeps turning while the user-interface
// thread waits for the server (see RunWhileWaiting), with the wait cursor.
// Calls nest: the indicator stays until every ActiveShowAvi has had its
// DeactiveShowAvi, and shows the text of the innermost kind (6 fetching,
// 1 storing). A DeactiveShowAvi with nothing active does nothing.
enum class TAviKind : int {
    Storing = 1,  // "Gravando dados..."
    Fetching = 6, // "Buscando dados..."
};
void ActiveShowAvi(QWidget* form, TAviKind kind);
void DeactiveShowAvi();

// The animation for as long as a scope runs, however it ends.
class TShowAviScope {
public:
    explicit TShowAviScope(TAviKind kind, QWidget* form = nullptr) { ActiveShowAvi(form, kind); }
    ~TShowAviScope() { DeactiveShowAvi(); }
    TShowAviScope(const TShowAviScope&) = delete;
    TShowAviScope& operator=(const TShowAviScope&) = delete;
};

// How many ActiveShowAvi calls are open.
int ShowAviDepth();
// The kind of the innermost open call; Fetching when none is open.
TAviKind ShowAviKind();
// The text the indicator shows for a kind.
QString ShowAviText(TAviKind kind);
// The indicator widget (object name "aviEspera") while a wait is open, else
// null. After the last wait has closed the widget stays on the form for a
// moment (a fifth of a second) before it goes, so that the many short waits
// of a walk over the rows show one indicator instead of a flicker.
QWidget* ShowAviIndicator();
// How many animation steps the indicator has drawn since it appeared.
int ShowAviFrames();

} // namespace zel
