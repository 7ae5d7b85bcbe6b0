// The module's test programs: a pt_BR application with the shell's guard
// reporter and a main form whose multiple-document area holds the screens.

#include "host/Application.h"
#include "host/Dialogs.h"

#include <QLocale>
#include <QMainWindow>
#include <QMdiArea>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // Offscreen unless told otherwise, also when ctest lists the tests.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    zel::TApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    // No test may hang on a message box nobody answers.
    zel::MessageSeam::setNonInteractive(true);
    zel::InstallGuardReporter();
    QMainWindow main;
    main.setObjectName(QStringLiteral("frmPrincipal"));
    auto* mdi = new QMdiArea(&main);
    main.setCentralWidget(mdi);
    main.resize(1160, 680);
    zel::SetMainForm(&main, mdi);
    main.show();
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    zel::SetMainForm(nullptr, nullptr);
    return rc;
}
