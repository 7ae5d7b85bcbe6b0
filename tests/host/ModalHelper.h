#pragma once

// Test support: acting on a modal dialog once it is up, from the event loop
// it runs.

#include <QApplication>
#include <QTest>
#include <QTimer>

#include <functional>
#include <gtest/gtest.h>

namespace zel::test {

// Runs act on the first modal dialog of type T that becomes the active modal
// widget. Fails the test (and closes whatever is modal) if none appears.
template <class T> void WhenModal(std::function<void(T*)> act)
{
    QTimer::singleShot(0, [act] {
        T* dialog = nullptr;
        for (int i = 0; i < 200 && !dialog; ++i) {
            dialog = dynamic_cast<T*>(QApplication::activeModalWidget());
            if (!dialog) QTest::qWait(10);
        }
        if (!dialog) {
            ADD_FAILURE() << "no modal dialog of the expected type appeared";
            if (QWidget* w = QApplication::activeModalWidget()) w->close();
            return;
        }
        act(dialog);
    });
}

} // namespace zel::test
