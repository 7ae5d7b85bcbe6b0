#include "app/Shell.h"
#include "host/Application.h"
#include "host/Dialogs.h"

int main(int argc, char** argv)
{
    zel::TApplication app(argc, argv);
    zel::app::NameApplication();
    zel::InstallGuardReporter();
    return zel::app::Main(app);
}
