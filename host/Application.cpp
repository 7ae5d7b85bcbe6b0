#include "host/Application.h"

#include "host/Dialogs.h"
#include "platform/data/Exceptions.h"
#include "platform/data/Guard.h"
#include "platform/widgets/Controls.h"

#include <QAction>
#include <QMainWindow>
#include <QMdiArea>
#include <QMenuBar>
#include <QPointer>

#include <cstdio>

namespace zel {
namespace {

QPointer<QWidget>& mainForm()
{
    static QPointer<QWidget> w;
    return w;
}

QPointer<QMdiArea>& mdiArea()
{
    static QPointer<QMdiArea> a;
    return a;
}

QPointer<QMenuBar>& mainMenu()
{
    static QPointer<QMenuBar> m;
    return m;
}

QPointer<QAction>& mergePoint()
{
    static QPointer<QAction> a;
    return a;
}

int reporting = 0;

} // namespace

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    SetUiFont();
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    bool handled = false;
    Guarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

QString FailureText(std::exception_ptr failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const EAbort&) {
        return {};
    } catch (const Exception& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return QStringLiteral("Erro inesperado: %1").arg(QString::fromLocal8Bit(e.what()));
    } catch (...) {
        return QStringLiteral("Erro inesperado de tipo desconhecido.");
    }
}

void ShowFailure(std::exception_ptr failure)
{
    const QString text = FailureText(failure);
    if (text.isEmpty()) return;
    if (reporting > 0) {
        std::fprintf(stderr, "zel: failure while reporting another one: %s\n", qPrintable(text));
        return;
    }
    ++reporting;
    try {
        ShowError(text);
    } catch (...) {
        std::fprintf(stderr, "zel: could not show a failure: %s\n", qPrintable(text));
    }
    --reporting;
}

void InstallGuardReporter()
{
    SetFailureReporter(&ShowFailure);
}

void SetMainForm(QWidget* form, QMdiArea* area)
{
    mainForm() = form;
    mdiArea() = area;
}

QWidget* MainForm()
{
    return mainForm();
}
QMdiArea* MdiArea()
{
    return mdiArea();
}

void SetMainMenu(QMenuBar* bar, QAction* before)
{
    mainMenu() = bar;
    mergePoint() = before;
}

QMenuBar* MainMenuBar()
{
    if (mainMenu()) return mainMenu();
    if (auto* window = qobject_cast<QMainWindow*>(MainForm())) return window->menuBar();
    return nullptr;
}

QAction* MainMenuMergePoint()
{
    QMenuBar* bar = MainMenuBar();
    return bar && mergePoint() && bar->actions().contains(mergePoint()) ? mergePoint().data() : nullptr;
}

} // namespace zel
