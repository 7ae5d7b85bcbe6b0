#include "platform/data/Guard.h"
#include "platform/widgets/Controls.h"
#include "tests/support/WindowChecks.h"
#include "tests/widgets/Fixtures.h"

#include <QApplication>
#include <QLocale>

#include <gtest/gtest.h>

namespace zel::test {
QStringList& reported()
{
    static QStringList r;
    return r;
}
} // namespace zel::test

int main(int argc, char** argv)
{
    // Listing the tests at build time runs this binary without a display.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    zel::SetUiFont();
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    // Failures the guard would show to the user are collected for the tests.
    zel::SetFailureReporter([](std::exception_ptr e) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& ex) {
            zel::test::reported() << QString::fromUtf8(ex.what());
        } catch (...) {
            zel::test::reported() << QStringLiteral("?");
        }
    });
    ::testing::InitGoogleTest(&argc, argv);
    zel::test::InstallWindowChecks();
    return RUN_ALL_TESTS();
}
