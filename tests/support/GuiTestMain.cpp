#include "host/Application.h"
#include "host/Dialogs.h"
#include "tests/support/GuiTest.h"
#include "tests/support/WindowChecks.h"

#include <QLocale>
#include <QMainWindow>
#include <QMdiArea>
#include <QTest>

#include <gtest/gtest.h>
#include <memory>

namespace zel::test {
namespace {

std::unique_ptr<QMainWindow>& mainForm()
{
    static std::unique_ptr<QMainWindow> form;
    return form;
}

} // namespace

QMainWindow* ShellMainForm()
{
    std::unique_ptr<QMainWindow>& form = mainForm();
    if (!form) {
        form = std::make_unique<QMainWindow>();
        form->setObjectName(QStringLiteral("frmPrincipal"));
        auto* mdi = new QMdiArea(form.get());
        form->setCentralWidget(mdi);
        form->resize(1160, 680);
        KeepWindow(form.get());
        form->show();
        if (!QTest::qWaitForWindowExposed(form.get())) ADD_FAILURE() << "the main form was never shown";
    }
    // A test may have installed a main form of its own meanwhile.
    if (MainForm() != form.get()) SetMainForm(form.get(), form->findChild<QMdiArea*>());
    return form.get();
}

} // namespace zel::test

int main(int argc, char** argv)
{
    // Offscreen unless told otherwise, also when ctest lists the tests.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    zel::TApplication app(argc, argv);
    QLocale::setDefault(QLocale(QLocale::Portuguese, QLocale::Brazil));
    // No test may hang on a message box nobody answers.
    zel::MessageSeam::setNonInteractive(true);
    zel::InstallGuardReporter();
    ::testing::InitGoogleTest(&argc, argv);
    zel::test::InstallWindowChecks();
    // An answer scripted for a box that never came is an expectation not met.
    zel::test::AddAfterTestCheck([] {
        if (const int left = zel::MessageSeam::pendingAnswers()) {
            ADD_FAILURE() << left << " scripted message-box answer(s) were never asked for";
            zel::MessageSeam::clearHistory();
        }
    });
    const int rc = RUN_ALL_TESTS();
    if (zel::MainForm() == zel::test::mainForm().get()) zel::SetMainForm(nullptr, nullptr);
    zel::test::mainForm().reset();
    return rc;
}
