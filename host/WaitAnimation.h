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
void ActiveShowAvi(QWidget* form, int kind);
void DeactiveShowAvi();

// How many ActiveShowAvi calls are open.
int ShowAviDepth();
// The text the indicator shows for a kind.
QString ShowAviText(int kind);
// The indicator widget while one is shown (object name "aviEspera"), else null.
QWidget* ShowAviIndicator();
// How many animation steps the indicator has drawn since it appeared.
int ShowAviFrames();

} // namespace zel
