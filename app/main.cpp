#include "app/Shell.h"
#include "host/Application.h"
#include "host/Dialogs.h"

int main(int argc, char** argv)
{
    zel::TApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("zel-host"));
    QApplication::setApplicationDisplayName(QStringLiteral("Gestão de Pedidos"));
    zel::InstallGuardReporter();
    return zel::app::Main(app);
}
