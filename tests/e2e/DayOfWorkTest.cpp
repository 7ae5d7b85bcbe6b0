// An operator's day through zel-host: the shell loads the module, the order
// is opened from the menu, inconsistencies are ticked, a release note is
// written and confirmed, the marked ones are released with Ctrl+B, and the
// screen shows what is still pending. Everything lands in the server's database.

#include "app/MainWindow.h"
#include "host/DBGeral.h"
#include "host/Dialogs.h"
#include "host/Login.h"
#include "host/LoginClient.h"
#include "platform/data/DateTime.h"
#include "tests/review/OrderRows.h"
#include "tests/support/Modal.h"
#include "tests/support/ServerProcess.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMdiArea>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTabBar>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include <gtest/gtest.h>

// Texts in test failures as text.
inline void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

using namespace zel;
using namespace zel::test;

namespace {

struct Row {
    QString ativa, note, operador;
    bool released = false;
    int history = 0;
};

Row stored(const QString& dbPath, const OrderKey& o, int n)
{
    OrderDb db(dbPath);
    Row r;
    QSqlQuery q = db.run(QStringLiteral("SELECT ATIVA, TXOBSLIBINCO, CDOPERLIBE, DTLIBEINCONS FROM INCONSPED WHERE "
                                        "CDFILIAL = ? AND NRPEDIDO = ? AND NRINCONSPED = ?"),
                         {o.filial, o.nrPedido, IncKey(n)});
    if (!q.next()) return r;
    r.ativa = q.value(0).toString();
    r.note = q.value(1).toString();
    r.operador = q.value(2).toString();
    r.released = !q.value(3).isNull();
    QSqlQuery h = db.run(QStringLiteral("SELECT COUNT(*) FROM HISTLIBINC WHERE CDFILIAL = ? AND NRPEDIDO = ? AND "
                                        "NRINCONSPED = ? AND TXOBSLIBINCO IS ?"),
                         {o.filial, o.nrPedido, IncKey(n), r.note.isEmpty() ? QVariant() : QVariant(r.note)});
    if (h.next()) r.history = h.value(0).toInt();
    return r;
}

template <class T = QWidget> T* named(QWidget* in, const char* name)
{
    T* w = in->findChild<T*>(QString::fromLatin1(name));
    EXPECT_NE(w, nullptr) << "no " << name;
    return w;
}

void clickCell(QTableView* grid, int row, int column)
{
    const QModelIndex index = grid->model()->index(row, column);
    ASSERT_TRUE(index.isValid());
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(index).center());
}

void clickTab(QTabWidget* pages, int index)
{
    QTest::mouseClick(pages->tabBar(), Qt::LeftButton, {}, pages->tabBar()->tabRect(index).center());
}

} // namespace

TEST(DayOfWork, AnOperatorTicksWritesANoteAndReleasesFromTheShell)
{
    ZEL_SKIP_WITHOUT_SERVER();
    ServerProcess server;
    ASSERT_TRUE(Started(server));
    const OrderKey o = AddOrderRows(server.dbPath(), QStringLiteral("0001"), {{}, {}, {}});
    // What the shell does with its --server and --db arguments.
    SetLogin(Entrar(server.host(), server.port(), QStringLiteral("0001"), QStringLiteral("demo")));
    CreateDtmDBGeral(server.dbUrl());
    MessageSeam::clearHistory();

    app::TfrmPrincipal main(QStringLiteral(ZEL_MODULE_PATH));
    main.show();
    QApplication::setActiveWindow(&main);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main));

    // The order, from the shell's menu.
    {
        const auto dialog = WhenModal<app::TfrmAbrePedido>([&](app::TfrmAbrePedido* d) {
            d->edtFilial->clear();
            QTest::keyClicks(d->edtFilial, o.filial);
            QTest::keyClicks(d->edtPedido, o.nrPedido);
            QTest::keyClicks(d->edtDtPedido, DateToStr(o.dtPedido));
            QTest::keyClicks(d->edtDtEntrega, DateToStr(o.dtEntPed));
            d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        });
        main.mnuIncPedPedido->trigger();
    }
    // Under the offscreen platform no window is active once a modal dialog
    // has closed; the user's window is the main one again.
    QApplication::setActiveWindow(&main);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
    QWidget* screen = main.findChild<QWidget*>(QStringLiteral("frmIncPed"));
    ASSERT_NE(screen, nullptr) << "the module opened no review screen";
    auto* orders = named<QTableView>(screen, "dbgPadrao");
    auto* incs = named<QTableView>(screen, "dbgIncPed");
    auto* pages = named<QTabWidget>(screen, "pgcIncPed");
    auto* memo = named<QPlainTextEdit>(screen, "dmmObsIncPed");
    auto* liberar = named<QToolButton>(screen, "btnLiberar");
    ASSERT_TRUE(orders && incs && pages && memo && liberar);
    ASSERT_EQ(orders->model()->rowCount(), 1);
    ASSERT_EQ(incs->model()->rowCount(), 3);

    // Tick the first and the third.
    clickCell(incs, 0, 0);
    clickCell(incs, 2, 0);
    EXPECT_EQ(stored(server.dbPath(), o, 1).ativa, QStringLiteral("S"));
    EXPECT_EQ(stored(server.dbPath(), o, 3).ativa, QStringLiteral("S"));
    EXPECT_TRUE(liberar->isEnabled());
    EXPECT_TRUE(MessageSeam::errors().empty()) << MessageSeam::errors().front().toStdString();

    // A note on the third, confirmed with the toolbar's button.
    clickTab(pages, 1);
    QTest::mouseClick(memo->viewport(), Qt::LeftButton);
    QTest::keyClicks(memo, QStringLiteral("Liberado com o gerente"));
    QTest::mouseClick(named<QToolButton>(screen, "sbtConfirmar"), Qt::LeftButton);
    EXPECT_EQ(stored(server.dbPath(), o, 3).note, QStringLiteral("Liberado com o gerente"));

    // Release with Ctrl+B from the grid.
    clickTab(pages, 0);
    clickCell(incs, 2, 2);
    QTest::keyClick(incs, Qt::Key_B, Qt::ControlModifier);
    const Row first = stored(server.dbPath(), o, 1), second = stored(server.dbPath(), o, 2),
              third = stored(server.dbPath(), o, 3);
    EXPECT_TRUE(first.released);
    EXPECT_EQ(first.operador, QStringLiteral("0001"));
    EXPECT_EQ(first.history, 1);
    EXPECT_FALSE(second.released);
    EXPECT_TRUE(third.released);
    EXPECT_EQ(third.history, 1) << "the history keeps the note";
    // What is left to do.
    EXPECT_EQ(incs->model()->rowCount(), 1);
    EXPECT_TRUE(MessageSeam::errors().empty());

    QTest::mouseClick(named<QToolButton>(screen, "sbtFechar"), Qt::LeftButton);
    EXPECT_TRUE(QTest::qWaitFor([&] { return main.findChild<QWidget*>(QStringLiteral("frmIncPed")) == nullptr; }));
    main.ShutdownModule();
    FreeDtmDBGeral();
    Sair(CurrentLogin());
    ClearLogin();
}
