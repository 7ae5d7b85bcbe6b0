#include "app/Shell.h"

#include "app/LoginDialog.h"
#include "app/MainWindow.h"
#include "host/Application.h"
#include "host/DBGeral.h"
#include "host/Dialogs.h"
#include "host/FiltroPadrao.h"
#include "host/Login.h"
#include "host/LoginClient.h"
#include "host/NetConnection.h"
#include "platform/data/Exceptions.h"
#include "platform/data/Guard.h"
#include "platform/widgets/Controls.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QLocale>
#include <QPixmap>
#include <QSettings>
#include <QTimer>
#include <QTranslator>

#include <cstdio>

namespace zel::app {

QString DefaultModulePath()
{
    const QByteArray env = qgetenv("ZEL_MODULE_PATH");
    if (!env.isEmpty()) return QString::fromLocal8Bit(env);
    // In a build folder the module is built beside app/; installed, the
    // shell is in bin/ and the modules in lib/zel/modules/ of the same prefix
    // (also when the package is unpacked into another root).
    const QString dir = QCoreApplication::applicationDirPath();
    const QString built = QDir::cleanPath(dir + QStringLiteral("/../module/libPKG_ZEL08100.so"));
    const QString installed = QDir::cleanPath(dir + QStringLiteral("/../lib/zel/modules/libPKG_ZEL08100.so"));
    return QFileInfo::exists(built) || !QFileInfo::exists(installed) ? built : installed;
}

QStringList DefaultMenuModulePaths(const QString& mainModulePath)
{
    const QByteArray env = qgetenv("ZEL_MENU_MODULES");
    if (!env.isNull()) return QString::fromLocal8Bit(env).split(QLatin1Char(','), Qt::SkipEmptyParts);
    // Built, every module has a folder beside app/; installed, they share
    // the main module's folder (lib/zel/modules/).
    QStringList found, seen;
    const QString main = QFileInfo(mainModulePath).canonicalFilePath();
    QStringList folders{QFileInfo(mainModulePath).absolutePath()};
    QDir up(QCoreApplication::applicationDirPath() + QStringLiteral("/.."));
    for (const QString& sub : up.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name))
        folders << up.filePath(sub);
    for (const QString& folder : folders)
        for (const QFileInfo& f :
             QDir(folder).entryInfoList({QStringLiteral("libPKG_*.so")}, QDir::Files, QDir::Name)) {
            const QString canonical = f.canonicalFilePath();
            if (canonical == main || seen.contains(canonical)) continue;
            seen << canonical;
            found << f.absoluteFilePath();
        }
    return found;
}

bool ParseShellOptions(const QStringList& arguments, TShellOptions& o, QString& error)
{
    QCommandLineParser p;
    p.setApplicationDescription(QStringLiteral("Gestão de Pedidos: a janela principal que carrega os módulos."));
    p.addHelpOption();
    const QCommandLineOption server({QStringLiteral("s"), QStringLiteral("server")},
                                    QStringLiteral("Servidor de aplicação: HOST:PORTA, ou os endereços IP:PORTA de "
                                                   "vários processos do mesmo servidor, separados por vírgula."),
                                    QStringLiteral("address"));
    const QCommandLineOption db(QStringLiteral("db"),
                                QStringLiteral("Banco de dados (sqlite:ARQUIVO ou postgresql://...)."),
                                QStringLiteral("url"));
    const QCommandLineOption op({QStringLiteral("u"), QStringLiteral("operator")}, QStringLiteral("Operador."),
                                QStringLiteral("code"));
    const QCommandLineOption pw(QStringLiteral("password-file"),
                                QStringLiteral("Arquivo cuja primeira linha é a senha (entrada sem diálogo)."),
                                QStringLiteral("file"));
    const QCommandLineOption branch(QStringLiteral("branch"), QStringLiteral("Filial do login."),
                                    QStringLiteral("code"));
    const QCommandLineOption module(QStringLiteral("module"), QStringLiteral("Biblioteca do módulo."),
                                    QStringLiteral("path"), DefaultModulePath());
    const QCommandLineOption menuModules(
        QStringLiteral("menu-modules"),
        QStringLiteral("Outros módulos, com entradas de menu próprias, separados por vírgula "
                       "(padrão: os demais módulos ao lado deste programa; vazio: nenhum)."),
        QStringLiteral("paths"));
    const QCommandLineOption openMenu(QStringLiteral("open-incped"),
                                      QStringLiteral("Abre \"Inconsistência do Pedido\" ao iniciar."));
    const QCommandLineOption order(QStringLiteral("open-order"),
                                   QStringLiteral("Abre um pedido: FILIAL,PEDIDO,DATA_PEDIDO,DATA_ENTREGA."),
                                   QStringLiteral("order"));
    const QCommandLineOption filter(
        QStringLiteral("filter"),
        QStringLiteral("Confirma o primeiro filtro aberto com estes critérios: CAMPO=VALOR,... "
                       "(ex.: rbtTNrPedido=1,depDe=,depAte=)."),
        QStringLiteral("criteria"));
    const QCommandLineOption shot(QStringLiteral("screenshot"),
                                  QStringLiteral("Salva uma imagem da janela principal neste arquivo."),
                                  QStringLiteral("png"));
    const QCommandLineOption delay(QStringLiteral("screenshot-delay"),
                                   QStringLiteral("Espera antes da imagem, em milissegundos."), QStringLiteral("ms"),
                                   QStringLiteral("1500"));
    const QCommandLineOption quit(QStringLiteral("quit-after-screenshot"),
                                  QStringLiteral("Encerra depois de salvar a imagem."));
    const QCommandLineOption timeout(QStringLiteral("call-timeout"),
                                     QStringLiteral("Prazo de cada chamada ao servidor, em segundos."),
                                     QStringLiteral("seconds"), QStringLiteral("30"));
    const QCommandLineOption locale(QStringLiteral("locale"),
                                    QStringLiteral("Idioma e formatos de data e número (ex.: pt_BR)."),
                                    QStringLiteral("name"));
    const QCommandLineOption fontSize(QStringLiteral("font-size"),
                                      QStringLiteral("Tamanho da letra, em pontos (8 = como as telas foram "
                                                     "desenhadas; maior aumenta as telas na mesma proporção)."),
                                      QStringLiteral("points"), QStringLiteral("8"));
    const QCommandLineOption tls(QStringLiteral("tls-ca"),
                                 QStringLiteral("Conecta por TLS, confiando nos certificados PEM deste arquivo."),
                                 QStringLiteral("file"));
    p.addOptions({server, db, op, pw, branch, module, menuModules, openMenu, order, filter, shot, delay, quit, timeout,
                  locale, fontSize, tls});
    if (!p.parse(arguments)) {
        error = p.errorText();
        return false;
    }
    if (p.isSet(QStringLiteral("help"))) {
        error = p.helpText();
        return false;
    }
    // The command line first, then the operator's settings
    // (~/.config/zel/zel-host.ini), then the machine's
    // (/etc/xdg/zel/zel-host.ini), then the option's default: the desktop
    // entry starts the shell with nothing on its command line.
    const QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("zel"),
                             QStringLiteral("zel-host"));
    const auto value = [&](const QCommandLineOption& option) {
        const QString key = option.names().constLast();
        if (p.isSet(option) || !settings.contains(key)) return p.value(option);
        const QVariant v = settings.value(key);
        return v.typeId() == QMetaType::QStringList ? v.toStringList().join(QLatin1Char(',')) : v.toString();
    };
    o.server = value(server);
    o.database = value(db);
    o.operador = p.value(op);
    o.passwordFile = p.value(pw);
    o.filial = p.value(branch);
    o.modulePath = p.value(module);
    o.menuModules = p.isSet(menuModules) ? p.value(menuModules).split(QLatin1Char(','), Qt::SkipEmptyParts)
                                         : DefaultMenuModulePaths(o.modulePath);
    o.openIncPed = p.isSet(openMenu);
    if (p.isSet(order)) {
        o.openOrder = p.value(order).split(QLatin1Char(','));
        if (o.openOrder.size() != 4) {
            error = QStringLiteral("--open-order espera FILIAL,PEDIDO,DATA_PEDIDO,DATA_ENTREGA.");
            return false;
        }
    }
    if (p.isSet(filter)) {
        for (const QString& item : p.value(filter).split(QLatin1Char(','))) {
            const qsizetype eq = item.indexOf(QLatin1Char('='));
            if (eq <= 0) {
                error = QStringLiteral("--filter espera CAMPO=VALOR,...; \"%1\" não é um critério.").arg(item);
                return false;
            }
            o.filterCriteria.append({item.left(eq).trimmed(), item.mid(eq + 1)});
        }
    }
    o.screenshot = p.value(shot);
    bool ok = false;
    o.screenshotDelayMs = p.value(delay).toInt(&ok);
    if (!ok || o.screenshotDelayMs < 0) {
        error = QStringLiteral("--screenshot-delay espera um número de milissegundos.");
        return false;
    }
    o.quitAfterScreenshot = p.isSet(quit);
    o.callTimeoutSeconds = value(timeout).toInt(&ok);
    if (!ok || o.callTimeoutSeconds <= 0) {
        error = QStringLiteral("--call-timeout espera um número de segundos.");
        return false;
    }
    o.locale = value(locale);
    o.tlsCa = value(tls);
    o.fontSize = value(fontSize).toDouble(&ok);
    if (!ok || o.fontSize < 6 || o.fontSize > 32) {
        error = QStringLiteral("--font-size espera um tamanho entre 6 e 32 pontos.");
        return false;
    }
    if (!o.locale.isEmpty() && QLocale(o.locale).name() == QLatin1String("C") && o.locale != QLatin1String("C")) {
        error = QStringLiteral("--locale: \"%1\" não é um idioma conhecido.").arg(o.locale);
        return false;
    }
    if (!o.passwordFile.isEmpty() && o.operador.isEmpty()) {
        error = QStringLiteral("--password-file precisa de --operator.");
        return false;
    }
    return true;
}

QLocale ChooseLocale(const QString& asked, const QLocale& system)
{
    if (!asked.isEmpty()) return QLocale(asked);
    if (system.language() == QLocale::C) return QLocale(QLocale::Portuguese, QLocale::Brazil);
    return system;
}

void NameApplication()
{
    QApplication::setApplicationName(QStringLiteral("zel-host"));
}

bool InstallTranslations(const QLocale& locale)
{
    static QTranslator* installed = nullptr;
    if (installed) {
        QCoreApplication::removeTranslator(installed);
        delete installed;
        installed = nullptr;
    }
    auto* qt = new QTranslator(QCoreApplication::instance());
    if (!qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                  QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete qt;
        return false;
    }
    QCoreApplication::installTranslator(qt);
    installed = qt;
    return true;
}

bool LogIn(const TShellOptions& o, QString& error)
{
    if (!o.passwordFile.isEmpty()) {
        QFile f(o.passwordFile);
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text)) {
            error = QStringLiteral("Não foi possível ler o arquivo de senha \"%1\".").arg(o.passwordFile);
            return false;
        }
        const QString password = QString::fromUtf8(f.readLine()).remove(QLatin1Char('\n')).remove(QLatin1Char('\r'));
        QStringList servers;
        QString why;
        if (!ParseServerAddresses(o.server, servers, &why)) {
            error = o.server.isEmpty() ? QStringLiteral("Informe o servidor de aplicação com --server HOST:PORTA.")
                                       : QStringLiteral("--server: %1").arg(why);
            return false;
        }
        try {
            SetLogin(Entrar(servers, o.operador, password, o.filial));
            return true;
        } catch (...) {
            error = FailureText(std::current_exception());
            return false;
        }
    }
    TfrmLogin dialog;
    dialog.setServer(o.server);
    dialog.setOperador(o.operador);
    dialog.setFilial(o.filial);
    if (dialog.exec() != QDialog::Accepted) return false;
    SetLogin(dialog.Login());
    return true;
}

void AnswerFirstFilterDialog(QObject* context, const QList<QPair<QString, QString>>& criteria)
{
    auto* poll = new QTimer(context);
    poll->setInterval(50);
    QObject::connect(poll, &QTimer::timeout, context, [poll, criteria] {
        auto* dialog = dynamic_cast<TfrmFiltroPadrao*>(QApplication::activeModalWidget());
        if (!dialog || !dialog->isVisible()) return;
        poll->stop();
        poll->deleteLater();
        Guarded([&] {
            for (const auto& [name, value] : criteria) {
                QWidget* control = dialog->grbFiltroPadrao->findChild<QWidget*>(name);
                if (!control || !SetCriterionValue(control, value)) {
                    std::fprintf(stderr, "zel-host: --filter: the filter dialog has no criterion %s\n",
                                 qPrintable(name));
                    return;
                }
            }
            dialog->sbtConfirma->Click();
        });
    });
    poll->start();
}

int RunShell(TApplication& app, const TShellOptions& o)
{
    const QLocale locale = ChooseLocale(o.locale);
    QLocale::setDefault(locale);
    InstallTranslations(locale);
    SetUiFont(o.fontSize);
    TNetConnection::SetDefaultCallTimeoutMs(o.callTimeoutSeconds * 1000);
    if (!o.tlsCa.isEmpty()) {
        QFile ca(o.tlsCa);
        if (!ca.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "zel-host: cannot read the TLS certificates %s\n", qPrintable(o.tlsCa));
            return 2;
        }
        TNetConnection::SetTlsRootCertificates(ca.readAll());
    }
    if (!o.database.isEmpty()) CreateDtmDBGeral(o.database);

    QString error;
    if (!LogIn(o, error)) {
        if (!error.isEmpty()) std::fprintf(stderr, "zel-host: %s\n", qPrintable(error));
        FreeDtmDBGeral();
        return error.isEmpty() ? 1 : 2;
    }

    int code = 0;
    {
        TfrmPrincipal main(o.modulePath);
        main.show();
        main.activateWindow();

        Guarded([&] { main.LoadMenuModules(o.menuModules); });
        if (!o.filterCriteria.isEmpty()) AnswerFirstFilterDialog(&main, o.filterCriteria);
        QTimer::singleShot(0, &main, [&] {
            if (o.openIncPed) Guarded([&] { main.OpenIncPed(); });
            if (!o.openOrder.isEmpty())
                Guarded([&] { main.OpenIncPedPedido(o.openOrder[0], o.openOrder[1], o.openOrder[2], o.openOrder[3]); });
        });
        if (!o.screenshot.isEmpty()) {
            QTimer::singleShot(o.screenshotDelayMs, &main, [&] {
                const QPixmap shot = main.grab();
                if (shot.save(o.screenshot, "PNG"))
                    std::printf("zel-host: screenshot saved to %s\n",
                                qPrintable(QFileInfo(o.screenshot).absoluteFilePath()));
                else
                    std::fprintf(stderr, "zel-host: could not save the screenshot to %s\n", qPrintable(o.screenshot));
                std::fflush(stdout);
                if (o.quitAfterScreenshot) main.close();
            });
        }
        code = app.exec();
        main.ShutdownModule();
    }
    Sair(CurrentLogin());
    ClearLogin();
    FreeDtmDBGeral();
    return code;
}

int Main(TApplication& app)
{
    TShellOptions options;
    QString error;
    if (!ParseShellOptions(app.arguments(), options, error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return app.arguments().contains(QStringLiteral("--help")) || app.arguments().contains(QStringLiteral("-h")) ? 0
                                                                                                                    : 2;
    }
    return RunShell(app, options);
}

} // namespace zel::app
