#include "host/ServerCall.h"

#include "platform/data/DataSet.h"

#include <QCoreApplication>
#include <QEvent>
#include <QEventLoop>
#include <QThread>
#include <QWidget>

#include <exception>
#include <thread>

namespace zel {
namespace {

int waitDepth = 0;

// Drops the user's input for as long as it is installed, and refuses to
// close windows.
class InputBlocker : public QObject {
public:
    InputBlocker() { QCoreApplication::instance()->installEventFilter(this); }
    ~InputBlocker() override
    {
        if (QCoreApplication::instance()) QCoreApplication::instance()->removeEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::ShortcutOverride:
        case QEvent::Shortcut:
        case QEvent::ContextMenu:
        case QEvent::TouchBegin:
        case QEvent::TouchUpdate:
        case QEvent::TouchEnd:
        case QEvent::TabletPress:
        case QEvent::TabletRelease:
            return true;
        case QEvent::Close:
            if (watched->isWidgetType() && static_cast<QWidget*>(watched)->isWindow()) {
                event->ignore();
                return true;
            }
            return false;
        default:
            return false;
        }
    }
};

} // namespace

namespace {

// Long loads of the datasets (an order list of a million rows) run the way a
// server call does: off the user-interface thread, which keeps repainting.
const bool longLoadsWhileWaiting = [] {
    SetLongWorkRunner([](const std::function<void()>& work) { RunWhileWaiting(work); });
    return true;
}();

} // namespace

bool WaitingForWork()
{
    return waitDepth > 0;
}

void RunWhileWaiting(const std::function<void()>& work)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) {
        work();
        return;
    }

    QEventLoop loop;
    std::exception_ptr failure;
    InputBlocker blocker;
    ++waitDepth;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    // The quit is queued to the loop, so it is seen even when the work ends
    // before exec starts; the loop runs at least once, so that what was
    // posted before the work (a repaint, a step of the animation) is handled
    // while it runs.
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    worker.join();
    --waitDepth;
    if (failure) std::rethrow_exception(failure);
}

} // namespace zel
