#include "host/Application.h"
#include "host/Dialogs.h"

#include <QLocale>

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    // The tests drive widgets without a display (also when ctest lists them).
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    zel::TApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    // No test may hang on a message box nobody answers.
    zel::MessageSeam::setNonInteractive(true);
    zel::InstallGuardReporter();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
