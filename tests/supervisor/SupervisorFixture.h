#pragma once

// The supervisors' module as an operator meets it: a zel-server of its own
// on a copy of the seeded database, the shell's main window with the review
// module and the supervisors' module loaded from their libraries, an
// operator logged in. The screens are reached through the shell's menu and
// driven through their controls, found by name.

#include "app/MainWindow.h"
#include "tests/support/ServerProcess.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <vector>

class QAction;
class QWidget;

inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace zel {
class TDBGrid;
}

namespace zel::test {

// An inconsistency as a batch names it.
struct Incons {
    QString filial, pedido, nrIncons;
};

class SupervisorTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Logs `operador` in (password "demo") and opens the shell with both modules.
    void OpenShell(const QString& operador);
    void CloseShell();
    QAction* MenuEntry(const char* name) const;
    // Chooses a menu entry and returns the screen it opened (by name).
    QWidget* Open(const char* entry, const char* screen);

    // Adds `orders` orders of branch 0001 dated on `day`, numbered from
    // `firstOrder`, each with an inconsistency of code 001 and one of code
    // 005, all pending.
    void AddPending(int firstOrder, int orders, const QDate& day);
    // Releases the rows as `operador` through a session of its own (as an
    // operator at another desk would), with the batch call.
    void ReleaseElsewhere(const QString& operador, const std::vector<Incons>& rows, const QString& note = {});
    // The server's database, for the checks.
    QSqlDatabase Db() const;

    ServerProcess server_;
    std::unique_ptr<zel::app::TfrmPrincipal> main_;
    QString dbName_;
};

// What a grid shows: its column titles, and each row's cells as text.
QStringList GridTitles(zel::TDBGrid* grid);
std::vector<QStringList> GridRows(zel::TDBGrid* grid);
// Clicks the title of the grid's column with that caption.
void ClickTitle(zel::TDBGrid* grid, const QString& caption);
// Sets a criterion's text as typed.
void Type(QWidget* screen, const char* control, const QString& text);
void Click(QWidget* screen, const char* button);

} // namespace zel::test
