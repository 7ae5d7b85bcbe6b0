#include "app/Shell.h"

#include "app/LoginDialog.h"
#include "app/MainWindow.h"
#include "host/Application.h"
#include "host/Dialogs.h"
#include "host/FiltroPadrao.h"
#include "host/Login.h"
#include "platform/data/Guard.h"
#include "platform/widgets/DateEditPlus.h"
#include "platform/widgets/MaskEdit.h"
#include "tests/support/ChildProcess.h"
#include "tests/support/Modal.h"
#include "tests/support/ServerProcess.h"

#include <QAction>
#include <QApplication>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace zel;
using namespace zel::app;

namespace {

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir_.isValid());
        log_ = dir_.filePath(QStringLiteral("module.log"));
        qputenv("ZEL_TEST_MODULE_LOG", log_.toLocal8Bit());
        TLoginInfo login;
        login.operador = QStringLiteral("0001");
        login.filial = QStringLiteral("0001");
        SetLogin(login);
        MessageSeam::clearHistory();
    }
    void TearDown() override
    {
        ClearLogin();
        MessageSeam::clearHistory();
    }
    QStringList logLines() const
    {
        QFile f(log_);
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) return {};
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    QTemporaryDir dir_;
    QString log_;
};

} // namespace

TEST_F(ShellTest, TheMenuLoadsTheModuleOnFirstUseAndCallsItsEntry)
{
    TfrmPrincipal main(QStringLiteral(ZEL_TEST_MODULE_GOOD));
    main.show();
    EXPECT_EQ(MainForm(), &main);
    EXPECT_EQ(MdiArea(), main.mdiArea);
    EXPECT_EQ(main.Module(), nullptr) << "the module must wait for its first use";
    EXPECT_EQ(main.mnuIncPed->text(), QStringLiteral("&Inconsistência do Pedido"));

    main.mnuIncPed->trigger();
    ASSERT_NE(main.Module(), nullptr);
    EXPECT_TRUE(main.Module()->Loaded());
    main.mnuIncPed->trigger();
    EXPECT_EQ(main.mdiArea->subWindowList().size(), 2);

    // The given-order entry: the dialog refuses an invalid date, then opens.
    const auto dialog = zel::test::WhenModal<TfrmAbrePedido>([](TfrmAbrePedido* d) {
        EXPECT_EQ(d->edtFilial->text(), QStringLiteral("0001")); // the login's branch
        QTest::keyClicks(d->edtPedido, QStringLiteral("0000000123"));
        QTest::keyClicks(d->edtDtPedido, QStringLiteral("31/02/2026"));
        QTest::keyClicks(d->edtDtEntrega, QStringLiteral("10/01/2026"));
        d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
        EXPECT_TRUE(d->isVisible());
        ASSERT_EQ(MessageSeam::errors().size(), 1u);
        EXPECT_EQ(MessageSeam::errors()[0], QStringLiteral("Data do pedido inválida."));
        d->edtDtPedido->clear();
        QTest::keyClicks(d->edtDtPedido, QStringLiteral("05/01/2026"));
        d->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok)->click();
    });
    main.mnuIncPedPedido->trigger();
    EXPECT_EQ(main.mdiArea->subWindowList().size(), 3);

    main.ShutdownModule();
    EXPECT_EQ(main.Module(), nullptr);
    EXPECT_TRUE(main.mdiArea->subWindowList().isEmpty());
    EXPECT_EQ(logLines(), (QStringList{QStringLiteral("initialize"), QStringLiteral("IniProc true|||||0001"),
                                       QStringLiteral("IniProc true|||||0001"),
                                       QStringLiteral("IniProc false|0001|0000000123|05/01/2026|10/01/2026|0001"),
                                       QStringLiteral("finalize")}));
}

TEST_F(ShellTest, AModuleThatCannotLoadIsReportedAndTheShellGoesOn)
{
    TfrmPrincipal main(QStringLiteral(ZEL_TEST_MODULE_INIT_FAILS));
    main.show();
    main.mnuIncPed->trigger();
    ASSERT_EQ(MessageSeam::errors().size(), 1u);
    EXPECT_TRUE(MessageSeam::errors()[0].contains(QStringLiteral("tabela de parâmetros ausente")))
        << MessageSeam::errors()[0].toStdString();
    EXPECT_TRUE(main.mdiArea->subWindowList().isEmpty());
    EXPECT_TRUE(main.isVisible());
    // Each use tries again and says so again.
    main.mnuIncPed->trigger();
    EXPECT_EQ(MessageSeam::errors().size(), 2u);

    TfrmPrincipal other(dir_.filePath(QStringLiteral("libPKG_ZEL08100.so")));
    other.mnuIncPed->trigger();
    ASSERT_EQ(MessageSeam::errors().size(), 3u);
    EXPECT_TRUE(MessageSeam::errors()[2].contains(QStringLiteral("não foi encontrado")));
}

TEST_F(ShellTest, AConversionFailureOfTheEntryIsShown)
{
    TfrmPrincipal main(QStringLiteral(ZEL_TEST_MODULE_GOOD));
    EXPECT_FALSE(Guarded([&] {
        main.RunIniProc({Variant(QStringLiteral("talvez")), Variant(), Variant(), Variant(), Variant()});
    }));
    ASSERT_EQ(MessageSeam::errors().size(), 1u);
    EXPECT_TRUE(main.mdiArea->subWindowList().isEmpty());
}

TEST_F(ShellTest, CommandLineOptions)
{
    TShellOptions o;
    QString error;
    ASSERT_TRUE(
        ParseShellOptions({QStringLiteral("zel-host"), QStringLiteral("--server"), QStringLiteral("127.0.0.1:5000"),
                           QStringLiteral("--operator"), QStringLiteral("0001"), QStringLiteral("--password-file"),
                           QStringLiteral("/tmp/p"), QStringLiteral("--open-order"),
                           QStringLiteral("0001,0000000012,05/01/2026,10/01/2026"), QStringLiteral("--call-timeout"),
                           QStringLiteral("5")},
                          o, error))
        << error.toStdString();
    EXPECT_EQ(o.server, QStringLiteral("127.0.0.1:5000"));
    EXPECT_EQ(o.openOrder.size(), 4);
    EXPECT_EQ(o.openOrder[3], QStringLiteral("10/01/2026"));
    EXPECT_EQ(o.callTimeoutSeconds, 5);
    EXPECT_TRUE(o.modulePath.endsWith(QStringLiteral("module/libPKG_ZEL08100.so"))) << o.modulePath.toStdString();

    for (const QStringList& bad :
         {QStringList{QStringLiteral("zel-host"), QStringLiteral("--open-order"), QStringLiteral("0001,12")},
          QStringList{QStringLiteral("zel-host"), QStringLiteral("--password-file"), QStringLiteral("/tmp/p")},
          QStringList{QStringLiteral("zel-host"), QStringLiteral("--call-timeout"), QStringLiteral("0")},
          QStringList{QStringLiteral("zel-host"), QStringLiteral("--nao-existe")}}) {
        TShellOptions x;
        EXPECT_FALSE(ParseShellOptions(bad, x, error)) << bad.join(QLatin1Char(' ')).toStdString();
        EXPECT_FALSE(error.isEmpty());
    }
}

// The machine's settings, the operator's over them, the command line over
// both.
TEST_F(ShellTest, SettingsFromTheMachineAndTheOperatorTheCommandLineFirst)
{
    QTemporaryDir system, user;
    ASSERT_TRUE(system.isValid() && user.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, system.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, user.path());
    const auto write = [](const QString& path, const QByteArray& text) {
        QDir().mkpath(QFileInfo(path).path());
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(text);
    };
    write(system.filePath(QStringLiteral("zel/zel-host.ini")),
          "server = app1.example:7100, app2.example:7100\ncall-timeout = 12\nfont-size = 10\nlocale = pt_BR\n"
          "tls-ca = /etc/zel/ca.crt\n");
    write(user.filePath(QStringLiteral("zel/zel-host.ini")), "font-size = 12\n");

    TShellOptions o;
    QString error;
    ASSERT_TRUE(ParseShellOptions({QStringLiteral("zel-host")}, o, error)) << error.toStdString();
    EXPECT_EQ(o.server, QStringLiteral("app1.example:7100,app2.example:7100"));
    EXPECT_EQ(o.callTimeoutSeconds, 12);
    EXPECT_EQ(o.fontSize, 12); // the operator's
    EXPECT_EQ(o.locale, QStringLiteral("pt_BR"));
    EXPECT_EQ(o.tlsCa, QStringLiteral("/etc/zel/ca.crt"));

    TShellOptions c;
    ASSERT_TRUE(ParseShellOptions({QStringLiteral("zel-host"), QStringLiteral("--server"), QStringLiteral("h:1"),
                                   QStringLiteral("--font-size"), QStringLiteral("9")},
                                  c, error))
        << error.toStdString();
    EXPECT_EQ(c.server, QStringLiteral("h:1"));
    EXPECT_EQ(c.fontSize, 9);
    EXPECT_EQ(c.callTimeoutSeconds, 12);

    // A value the shell cannot use is refused as on the command line.
    write(user.filePath(QStringLiteral("zel/zel-host.ini")), "call-timeout = never\n");
    TShellOptions bad;
    EXPECT_FALSE(ParseShellOptions({QStringLiteral("zel-host")}, bad, error));
    EXPECT_TRUE(error.contains(QStringLiteral("--call-timeout"))) << error.toStdString();

    // The other tests see no settings.
    QSettings::setPath(QSettings::IniFormat, QSettings::SystemScope, system.filePath(QStringLiteral("none")));
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, user.filePath(QStringLiteral("none")));
}

TEST_F(ShellTest, TheScriptedFilterFillsInTheFirstFilterDialogAndConfirmsIt)
{
    TShellOptions o;
    QString error;
    ASSERT_TRUE(ParseShellOptions(
        {QStringLiteral("zel-host"), QStringLiteral("--filter"), QStringLiteral("rbtLista=1,medDe=42,depDe=")}, o,
        error))
        << error.toStdString();
    ASSERT_EQ(o.filterCriteria.size(), 3);
    EXPECT_EQ(o.filterCriteria[2], qMakePair(QStringLiteral("depDe"), QString()));
    TShellOptions bad;
    EXPECT_FALSE(ParseShellOptions({QStringLiteral("zel-host"), QStringLiteral("--filter"), QStringLiteral("semvalor")},
                                   bad, error));

    TfrmFiltroPadrao dialog;
    auto* lista = new TRadioButton(dialog.grbFiltroPadrao, QStringLiteral("rbtLista"));
    auto* de = new TMaskEdit(dialog.grbFiltroPadrao, QStringLiteral("medDe"));
    auto* data = new TDateEditPlus(dialog.grbFiltroPadrao, QStringLiteral("depDe"));
    data->setText(QStringLiteral("01/02/2026"));
    QStringList confirmed;
    dialog.sbtConfirma->OnClick = [&](QObject*) {
        confirmed << (lista->Checked() ? QStringLiteral("lista") : QString()) << de->Text() << data->Text();
        dialog.Close();
    };
    QObject context;
    AnswerFirstFilterDialog(&context, o.filterCriteria);
    QTimer::singleShot(5000, &dialog, [&] { dialog.Close(); }); // never left waiting
    dialog.ShowModal();
    EXPECT_EQ(confirmed, (QStringList{QStringLiteral("lista"), QStringLiteral("42"), QString()}));
}

class LiveShell : public ShellTest {
protected:
    void SetUp() override
    {
        ShellTest::SetUp();
        ZEL_SKIP_WITHOUT_SERVER();
        ASSERT_TRUE(zel::test::Started(server_));
    }
    zel::test::ServerProcess server_;
};

TEST_F(LiveShell, TheLoginDialogExplainsARefusalAndAnUnreachableServer)
{
    TfrmLogin login;
    login.setServer(server_.address());
    login.setOperador(QStringLiteral("0001"));
    QTest::keyClicks(login.edtSenha, QStringLiteral("errada"));
    EXPECT_FALSE(login.TryLogin());
    ASSERT_EQ(MessageSeam::errors().size(), 1u);
    EXPECT_TRUE(login.edtSenha->text().isEmpty());

    QTest::keyClicks(login.edtSenha, QStringLiteral("demo"));
    ASSERT_TRUE(login.TryLogin());
    EXPECT_EQ(login.Login().operador, QStringLiteral("0001"));
    EXPECT_EQ(login.Login().webPort, server_.port());
    EXPECT_FALSE(login.Login().token.isEmpty());

    const QString address = server_.address();
    server_.stop();
    login.setServer(address);
    EXPECT_FALSE(login.TryLogin());
    ASSERT_EQ(MessageSeam::errors().size(), 2u);
    EXPECT_TRUE(MessageSeam::errors()[1].contains(QStringLiteral("Não foi possível conectar")))
        << MessageSeam::errors()[1].toStdString();

    login.setServer(QStringLiteral("sem-porta"));
    EXPECT_FALSE(login.TryLogin());
    EXPECT_EQ(MessageSeam::errors().size(), 3u);
}

TEST_F(LiveShell, AScriptedStartLogsInOpensTheModuleAndSavesAScreenshot)
{
    const QString passwordFile = dir_.filePath(QStringLiteral("senha"));
    {
        QFile f(passwordFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("demo\n");
    }
    const std::string shot = dir_.filePath(QStringLiteral("shell.png")).toStdString();
    const auto runShell = [&](zel::test::ChildProcess& shell, const std::vector<std::string>& more) {
        shell.setEnvironment("QT_QPA_PLATFORM", "offscreen");
        shell.setEnvironment("LC_ALL", "C.UTF-8");
        shell.setEnvironment("LANG", "pt_BR.UTF-8");
        shell.mergeErrors();
        std::vector<std::string> args{ZEL_HOST_EXE,
                                      "--server",
                                      server_.address().toStdString(),
                                      "--db",
                                      server_.dbUrl().toStdString(),
                                      "--operator",
                                      "0001",
                                      "--password-file",
                                      passwordFile.toStdString(),
                                      "--module",
                                      ZEL_TEST_MODULE_GOOD};
        args.insert(args.end(), more.begin(), more.end());
        std::string error;
        EXPECT_TRUE(shell.Start(args, error)) << error;
        return shell.ReadAll(std::chrono::seconds(60));
    };
    {
        zel::test::ChildProcess shell;
        const std::string out =
            runShell(shell, {"--open-incped", "--open-order", "0001,0000000007,05/01/2026,10/01/2026", "--screenshot",
                             shot, "--screenshot-delay", "200", "--quit-after-screenshot"});
        EXPECT_EQ(shell.Wait(std::chrono::seconds(30)), 0) << out;
        EXPECT_NE(out.find("screenshot saved to"), std::string::npos) << out;
        EXPECT_GT(QFile(QString::fromStdString(shot)).size(), 1000);
        EXPECT_EQ(logLines(), (QStringList{QStringLiteral("initialize"), QStringLiteral("IniProc true|||||0001"),
                                           QStringLiteral("IniProc false|0001|0000000007|05/01/2026|10/01/2026|0001"),
                                           QStringLiteral("finalize")}));
    }

    // A refused scripted login ends the shell with the reason.
    {
        QFile f(passwordFile);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("errada\n");
    }
    zel::test::ChildProcess refused;
    const std::string out = runShell(refused, {});
    EXPECT_EQ(refused.Wait(std::chrono::seconds(30)), 2) << out;
    EXPECT_FALSE(out.empty());
}

// The toolkit appends the application's display name to the title of every
// window it shows, dialogs included ("Filtro de Inconsistência de Pedidos —
// Gestão de Pedidos", cut in the title bar). The shell gives none: a
// dialog's title is its own caption, and the main window carries the
// product's name as its own title.
TEST_F(ShellTest, TheShellLeavesEveryWindowItsOwnTitle)
{
    NameApplication();
    EXPECT_EQ(QGuiApplication::applicationDisplayName(), QCoreApplication::applicationName())
        << "a display name would be appended to every title";
    TfrmPrincipal main(QStringLiteral(ZEL_TEST_MODULE_GOOD));
    EXPECT_EQ(main.windowTitle(), QStringLiteral("Gestão de Pedidos"));
}
