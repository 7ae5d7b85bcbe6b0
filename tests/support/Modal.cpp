#include "tests/support/Modal.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QTest>

#include <cxxabi.h>
#include <gtest/gtest.h>

namespace zel::test {

struct ModalExpectation::State {
    std::string typeName;
    std::function<QWidget*(QWidget*)> match;
    std::function<void(QWidget*)> act;
    std::chrono::milliseconds timeout;
    QTimer timer;
    QElapsedTimer clock;
    bool acted = false;
    bool done = false;
    QPointer<QWidget> dialog;
};

namespace {

std::string readable(const std::string& mangled)
{
    int status = 0;
    char* name = abi::__cxa_demangle(mangled.c_str(), nullptr, nullptr, &status);
    std::string out = status == 0 && name ? name : mangled;
    std::free(name);
    return out;
}

void closeModal(QWidget* w)
{
    if (auto* d = qobject_cast<QDialog*>(w))
        d->reject();
    else
        w->close();
}

// One look at the modal widgets, from the timer.
void poll(ModalExpectation::State& s)
{
    if (!s.acted) {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal && s.match(modal)) {
            s.timer.stop(); // the action may run event loops of its own
            s.acted = true;
            s.dialog = modal;
            try {
                s.act(modal);
            } catch (const std::exception& e) {
                ADD_FAILURE() << "the action on " << readable(s.typeName) << " raised: " << e.what();
            } catch (...) {
                ADD_FAILURE() << "the action on " << readable(s.typeName) << " raised";
            }
            // A failed assertion in the action leaves the dialog to us.
            if (s.dialog && s.dialog->isVisible() && ::testing::Test::HasFatalFailure()) closeModal(s.dialog);
            s.clock.restart();
            s.timer.start();
            return;
        }
        if (s.clock.elapsed() > s.timeout.count()) {
            s.timer.stop();
            s.done = true;
            ADD_FAILURE() << "no modal " << readable(s.typeName) << " appeared within " << s.timeout.count() << " ms";
            if (modal) closeModal(modal);
        }
        return;
    }
    if (!s.dialog || !s.dialog->isVisible()) {
        s.timer.stop();
        s.done = true;
        return;
    }
    if (s.clock.elapsed() > s.timeout.count()) {
        s.timer.stop();
        s.done = true;
        ADD_FAILURE() << "the modal " << readable(s.typeName) << " was still open " << s.timeout.count()
                      << " ms after the action";
        closeModal(s.dialog);
    }
}

} // namespace

ModalExpectation::ModalExpectation(std::string typeName, std::function<QWidget*(QWidget*)> match,
                                   std::function<void(QWidget*)> act, std::chrono::milliseconds timeout)
    : state_(std::make_shared<State>())
{
    state_->typeName = std::move(typeName);
    state_->match = std::move(match);
    state_->act = std::move(act);
    state_->timeout = timeout;
    state_->timer.setInterval(10);
    QObject::connect(&state_->timer, &QTimer::timeout, [s = state_.get()] { poll(*s); });
    state_->clock.start();
    state_->timer.start();
}

ModalExpectation& ModalExpectation::operator=(ModalExpectation&& other) noexcept
{
    if (this != &other) {
        finish();
        state_ = std::move(other.state_);
    }
    return *this;
}

void ModalExpectation::finish()
{
    if (!state_) return;
    State& s = *state_;
    if (s.acted && !s.done) {
        // The action ran; give the dialog the rest of its time to close.
        if (!QTest::qWaitFor([&] { return s.done; }, int(s.timeout.count()) + 1000) && !s.done) {
            ADD_FAILURE() << "the modal " << readable(s.typeName) << " did not close";
            if (s.dialog) closeModal(s.dialog);
        }
    } else if (!s.acted && !s.done) {
        ADD_FAILURE() << "no modal " << readable(s.typeName) << " appeared";
    }
    s.timer.stop();
    state_.reset();
}

bool ModalExpectation::Done() const
{
    return state_ && state_->done;
}

} // namespace zel::test
