#include "tests/support/WindowChecks.h"

#include <QApplication>
#include <QDialog>
#include <QPointer>
#include <QWidget>

#include <gtest/gtest.h>
#include <sstream>
#include <vector>

namespace zel::test {
namespace {

std::vector<QPointer<QWidget>>& keptWindows()
{
    static std::vector<QPointer<QWidget>> kept;
    return kept;
}

std::vector<std::function<void()>>& afterTestChecks()
{
    static std::vector<std::function<void()>> checks;
    return checks;
}

bool kept(const QWidget* w)
{
    for (const QPointer<QWidget>& k : keptWindows())
        if (k == w) return true;
    return false;
}

std::vector<QWidget*> shownWindows()
{
    std::vector<QWidget*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowType() != Qt::ToolTip && !kept(w)) out.push_back(w);
    return out;
}

std::string describe(const QWidget* w)
{
    std::ostringstream s;
    s << w->metaObject()->className();
    if (!w->objectName().isEmpty()) s << " \"" << w->objectName().toStdString() << '"';
    if (!w->windowTitle().isEmpty()) s << " titled \"" << w->windowTitle().toStdString() << '"';
    return s.str();
}

class WindowCheck : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo&) override
    {
        before_.clear();
        for (QWidget* w : shownWindows())
            before_.emplace_back(w);
    }

    // Runs before the result is printed, while the test is still current, so
    // that a failure here is the test's.
    void OnTestEnd(const ::testing::TestInfo&) override
    {
        // Windows closed with deleteLater are gone once the events are done.
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QApplication::processEvents();
        if (QWidget* modal = QApplication::activeModalWidget()) {
            ADD_FAILURE() << "the test left a modal dialog open: " << describe(modal);
            while ((modal = QApplication::activeModalWidget())) {
                if (auto* d = qobject_cast<QDialog*>(modal))
                    d->reject();
                else
                    modal->close();
                QApplication::processEvents();
                if (modal == QApplication::activeModalWidget()) break;
            }
        }
        for (QWidget* w : shownWindows()) {
            bool earlier = false;
            for (const QPointer<QWidget>& b : before_)
                if (b == w) earlier = true;
            if (earlier) continue;
            ADD_FAILURE() << "the test left a top-level window shown: " << describe(w);
            w->close();
        }
        for (const auto& check : afterTestChecks())
            check();
        before_.clear();
    }

private:
    std::vector<QPointer<QWidget>> before_;
};

} // namespace

void InstallWindowChecks()
{
    // Appended: it sees the end of a test before the printer reports it.
    ::testing::UnitTest::GetInstance()->listeners().Append(new WindowCheck);
}

void KeepWindow(QWidget* window)
{
    keptWindows().emplace_back(window);
}

void AddAfterTestCheck(std::function<void()> check)
{
    afterTestChecks().push_back(std::move(check));
}

} // namespace zel::test
