#pragma once

// Test support: acting on a modal dialog once it is up, from the event loop
// it runs.

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace zel::test {

namespace detail {
inline std::vector<QPointer<QTimer>>& pendingModals()
{
    static std::vector<QPointer<QTimer>> pending;
    return pending;
}
} // namespace detail

// Runs act on the first modal dialog of type T that becomes the active modal
// widget. It watches from every event loop that runs meanwhile (also those of
// server calls that come before the dialog) without holding any of them up.
// Fails the test (and closes whatever is modal) if none appears in time.
template <class T> void WhenModal(std::function<void(T*)> act, int timeoutMs = 5000)
{
    auto* watch = new QTimer;
    watch->setInterval(10);
    auto since = std::make_shared<QElapsedTimer>();
    since->start();
    QObject::connect(watch, &QTimer::timeout, [watch, since, act, timeoutMs] {
        if (T* dialog = dynamic_cast<T*>(QApplication::activeModalWidget())) {
            watch->stop();
            watch->deleteLater();
            act(dialog);
            return;
        }
        if (since->elapsed() < timeoutMs) return;
        watch->stop();
        watch->deleteLater();
        ADD_FAILURE() << "no modal dialog of the expected type appeared";
        if (QWidget* w = QApplication::activeModalWidget()) w->close();
    });
    detail::pendingModals().push_back(watch);
    watch->start();
}

// Stops the watches whose dialog has not come up; returns how many there were.
// A test's end calls it, so that no watch acts on a later test's dialog.
inline int CancelPendingModals()
{
    int pending = 0;
    for (const QPointer<QTimer>& watch : detail::pendingModals())
        if (watch && watch->isActive()) {
            ++pending;
            watch->stop();
            watch->deleteLater();
        }
    detail::pendingModals().clear();
    return pending;
}

} // namespace zel::test
