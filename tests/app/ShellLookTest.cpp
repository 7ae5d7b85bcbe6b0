// What the operator sees of the shell: Portuguese texts, the status bar, the
// order dialog's input, the login's first field, and the review screen in the
// main window (its menus, its size, its names for assistive technology).

#include "app/LoginDialog.h"
#include "app/MainWindow.h"
#include "app/Shell.h"
#include "host/Application.h"
#include "host/DBGeral.h"
#include "host/Dialogs.h"
#include "host/Login.h"
#include "host/LoginClient.h"
#include "host/NetConnection.h"
#include "host/Strings.h"
#include "tests/support/ServerProcess.h"
#include "tests/widgets/AccessibilityCheck.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QStatusTipEvent>
#include <QTest>

#include <gtest/gtest.h>

using namespace zel;
using namespace zel::app;

namespace {

class ShellLook : public ::testing::Test {
protected:
    void SetUp() override
    {
        TLoginInfo login;
        login.operador = QStringLiteral("0001");
        login.filial = QStringLiteral("0001");
        login.webUrl = QStringLiteral("127.0.0.1");
        login.webPort = 5000;
        SetLogin(login);
        MessageSeam::clearHistory();
    }
    void TearDown() override
    {
        ClearLogin();
        MessageSeam::clearHistory();
        EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "a modal dialog was left open";
    }
};

QStringList menuTitles(QMenuBar* bar)
{
    QStringList titles;
    for (QAction* a : bar->actions())
        titles << a->text();
    return titles;
}

} // namespace

TEST_F(ShellLook, StandardButtonsAndDateHintsSpeakTheLocalesLanguage)
{
    ASSERT_TRUE(InstallTranslations(QLocale(QLocale::Portuguese, QLocale::Brazil)))
        << "Qt's Brazilian Portuguese translations are not installed";
    TfrmAbrePedido dialog;
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Cancelar"));
    EXPECT_EQ(dialog.edtDtPedido->placeholderText(), QStringLiteral("dd/mm/aaaa"));
    EXPECT_EQ(dialog.edtDtEntrega->placeholderText(), QStringLiteral("dd/mm/aaaa"));

    // The shell runs in Brazilian Portuguese where the system names no language.
    EXPECT_EQ(ChooseLocale({}, QLocale::c()).name(), QStringLiteral("pt_BR"));
    EXPECT_EQ(ChooseLocale({}, QLocale(QLocale::English, QLocale::UnitedStates)).name(), QStringLiteral("en_US"));
    EXPECT_EQ(ChooseLocale(QStringLiteral("de_DE"), QLocale::c()).name(), QStringLiteral("de_DE"));
    EXPECT_EQ(DateHint(QLocale(QLocale::English, QLocale::UnitedKingdom)), QStringLiteral("dd/mm/yyyy"));
}

TEST_F(ShellLook, TheOrderNumberTakesItsTenDigitFormAndAnUnusableOneIsRefused)
{
    TfrmAbrePedido dialog;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    dialog.activateWindow();
    dialog.edtPedido->setFocus();
    QTest::keyClicks(dialog.edtPedido, QStringLiteral("94"));
    QTest::keyClick(dialog.edtPedido, Qt::Key_Tab);
    EXPECT_EQ(dialog.edtPedido->text(), QStringLiteral("0000000094"));

    dialog.edtDtPedido->setText(QStringLiteral("05/01/2026"));
    dialog.edtDtEntrega->setText(QStringLiteral("10/01/2026"));
    EXPECT_TRUE(dialog.Validate());
    for (const char* bad : {"9a4", "-94", "9 4"}) {
        dialog.edtPedido->setText(QString::fromLatin1(bad));
        EXPECT_FALSE(dialog.Validate()) << bad;
    }
    ASSERT_EQ(MessageSeam::errors().size(), 3u);
    EXPECT_TRUE(MessageSeam::errors()[0].contains(QStringLiteral("9a4"))) << MessageSeam::errors()[0].toStdString();
    EXPECT_EQ(dialog.focusWidget(), dialog.edtPedido);
    dialog.close();
}

TEST_F(ShellLook, TheStatusBarKeepsTheLoginThroughMenuHintsAndTellsLinkTrouble)
{
    TfrmPrincipal main(QStringLiteral(ZEL_TEST_MODULE_GOOD));
    main.show();
    const QString login = main.lblStatus->text();
    EXPECT_TRUE(login.contains(QStringLiteral("Operador: 0001"))) << login.toStdString();

    // A menu entry's hint shows while the mouse is on it; leaving clears it.
    QStatusTipEvent hint(QStringLiteral("Abre a tela de inconsistências"));
    QApplication::sendEvent(&main, &hint);
    EXPECT_EQ(main.statusBar()->currentMessage(), QStringLiteral("Abre a tela de inconsistências"));
    QStatusTipEvent cleared{QString()};
    QApplication::sendEvent(&main, &cleared);
    EXPECT_EQ(main.lblStatus->text(), login);
    EXPECT_TRUE(main.lblStatus->isVisible()) << "the login's text is gone after a menu hint";

    EXPECT_FALSE(main.lblConexao->isVisible());
    TNetConnection::ReportLinkStatus(QStringLiteral("O servidor de aplicação não respondeu."));
    EXPECT_TRUE(main.lblConexao->isVisible());
    EXPECT_EQ(main.lblConexao->text(), QStringLiteral("O servidor de aplicação não respondeu."));
    TNetConnection::ReportLinkStatus({});
    EXPECT_FALSE(main.lblConexao->isVisible());

    // Keyboard mnemonics: Alt+P, then I or U.
    EXPECT_EQ(QKeySequence::mnemonic(main.mnuIncPed->text()), QKeySequence(Qt::ALT | Qt::Key_I));
    EXPECT_EQ(QKeySequence::mnemonic(main.mnuIncPedPedido->text()), QKeySequence(Qt::ALT | Qt::Key_U));
}

TEST_F(ShellLook, TheLoginStartsWhereThereIsSomethingToType)
{
    for (const QString& operador : {QString(), QStringLiteral("0001")}) {
        TfrmLogin login;
        login.setServer(QStringLiteral("127.0.0.1:5000"));
        login.setOperador(operador);
        login.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&login));
        EXPECT_EQ(login.focusWidget(), operador.isEmpty() ? login.edtOperador : login.edtSenha)
            << operador.toStdString();
        login.close();
    }
}

class LiveShellLook : public ShellLook {
protected:
    void SetUp() override
    {
        ShellLook::SetUp();
        ZEL_SKIP_WITHOUT_SERVER();
        ASSERT_TRUE(zel::test::Started(server_));
    }
    zel::test::ServerProcess server_;
};

TEST_F(LiveShellLook, TheLoginSaysAFrozenServerDidNotAnswer)
{
    ASSERT_TRUE(server_.pause());
    TfrmLogin login;
    login.TimeoutMs = 1000;
    login.setServer(server_.address());
    login.setOperador(QStringLiteral("0001"));
    login.edtSenha->setText(QStringLiteral("demo"));
    EXPECT_FALSE(login.TryLogin());
    ASSERT_EQ(MessageSeam::errors().size(), 1u);
    EXPECT_TRUE(MessageSeam::errors()[0].contains(QStringLiteral("não respondeu em 1 s")))
        << MessageSeam::errors()[0].toStdString();
    EXPECT_FALSE(MessageSeam::errors()[0].contains(QStringLiteral("Não foi possível conectar")));
    server_.resume();
}

TEST_F(LiveShellLook, TheReviewScreenMergesItsMenusFitsTheDefaultWindowAndEveryControlIsNamed)
{
    SetLogin(Entrar(server_.host(), server_.port(), QStringLiteral("0001"), QStringLiteral("demo")));
    CreateDtmDBGeral(server_.dbUrl());
    {
        TfrmPrincipal main(QStringLiteral(ZEL_TEST_MODULE_REAL));
        main.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
        const QStringList shellMenus = menuTitles(main.menuBar());
        main.OpenIncPedPedido(QStringLiteral("0001"), QStringLiteral("0000000001"), QStringLiteral("05/01/2026"),
                              QStringLiteral("10/01/2026"));
        ASSERT_EQ(main.mdiArea->subWindowList().size(), 1);
        QMdiSubWindow* window = main.mdiArea->subWindowList().constFirst();
        EXPECT_EQ(menuTitles(main.menuBar()),
                  (QStringList{QStringLiteral("&Arquivo"), QStringLiteral("&Pedidos"), QStringLiteral("&Operação"),
                               QStringLiteral("&Manutenção"), QStringLiteral("&Consulta"), QStringLiteral("&Janela")}));
        QTest::qWait(0);
        EXPECT_TRUE(main.mdiArea->viewport()->rect().contains(window->geometry()));
        EXPECT_FALSE(main.mdiArea->horizontalScrollBar()->isVisible());
        EXPECT_FALSE(main.mdiArea->verticalScrollBar()->isVisible());
        EXPECT_TRUE(zel::test::None(zel::test::AccessibilityProblems(&main)));

        window->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        EXPECT_EQ(menuTitles(main.menuBar()), shellMenus) << "the screen's menus leave with it";
        main.ShutdownModule();
    }
    FreeDtmDBGeral();
}
