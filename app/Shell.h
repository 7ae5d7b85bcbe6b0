#pragma once

#include <QList>
#include <QLocale>
#include <QPair>
#include <QString>
#include <QStringList>

class QObject;

namespace zel {
class TApplication;
}

namespace zel::app {

class TfrmPrincipal;

// What the command line asks of the shell. With an operator and a password
// file the shell logs in without asking; otherwise it shows the login dialog
// (filled with what was given).
struct TShellOptions {
    QString server;   // HOST:PORT of the application server, or several (see ParseServerAddresses)
    QString database; // URL of the general data module's database
    QString operador;
    QString passwordFile; // first line = password
    QString filial;       // branch to log in to; empty = the operator's own
    QString modulePath;
    QStringList menuModules; // the modules with menu entries of their own, loaded at start
    bool openIncPed = false; // open "Inconsistência do Pedido" at start
    QStringList openOrder;   // branch, order, order date, delivery date
    // Answers the first filter dialog that comes up: each criteria control
    // (by name) gets its value, then the dialog is confirmed.
    QList<QPair<QString, QString>> filterCriteria;
    QString screenshot; // save the main window there once it is up
    int screenshotDelayMs = 1500;
    bool quitAfterScreenshot = false;
    int callTimeoutSeconds = 30;
    QString locale;      // e.g. "pt_BR"; empty = the system's, or pt_BR when it names none (C, POSIX)
    double fontSize = 8; // points of the user-interface face; the screens grow with it
    QString tlsCa;       // PEM certificates the server's must chain to: TLS
};

// The program's name. No display name is given: the toolkit appends it to
// the title of every window, dialogs included, which cuts their own
// captions; the main window carries the product's name as its own title.
void NameApplication();

// The module library next to the executable's build: <dir>/../module/libPKG_ZEL08100.so.
QString DefaultModulePath();

// The other modules of the build: every libPKG_*.so in the folders beside
// the executable's, but the main module.
QStringList DefaultMenuModulePaths(const QString& mainModulePath);

// False with a message for the user when the arguments are not valid.
// argv[0] is the program. The server, database, call timeout, font size,
// locale and TLS authority not given on the command line come from the
// settings: keys server, db, call-timeout, font-size, locale, tls-ca of
// ~/.config/zel/zel-host.ini, else of /etc/xdg/zel/zel-host.ini.
bool ParseShellOptions(const QStringList& arguments, TShellOptions& options, QString& error);

// The locale the shell runs in: the one asked for, else the system's, else
// (a system locale of C or POSIX, as on a bare server) Brazilian Portuguese.
QLocale ChooseLocale(const QString& asked, const QLocale& system = QLocale::system());
// Makes Qt's own texts (standard buttons, dialogs) speak the locale's
// language, from Qt's translations; false when none are installed for it.
bool InstallTranslations(const QLocale& locale);

// Logs in as the options say (dialog or scripted). False when the login was
// cancelled or failed; a scripted failure is explained in error.
bool LogIn(const TShellOptions& options, QString& error);

// Waits for the first filter dialog to come up (while context lives), gives
// its criteria controls the values asked for, by name, and confirms it the
// way an operator would. A control the dialog does not have is reported on
// the standard error output and the dialog is left to the user.
void AnswerFirstFilterDialog(QObject* context, const QList<QPair<QString, QString>>& criteria);

// Runs the shell in an application whose arguments are parsed already;
// returns the exit code.
int RunShell(TApplication& app, const TShellOptions& options);
// Parses the application's arguments and runs the shell.
int Main(TApplication& app);

} // namespace zel::app
