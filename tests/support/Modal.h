#pragma once

// Driving a modal dialog from a test: the action runs on the dialog once it is
// the active modal widget, from within the dialog's own event loop.
//
//     auto dialog = WhenModal<TfrmProcura>([](TfrmProcura* d) { d->btnOk->click(); });
//     Procura(...); // opens the dialog and returns when it closes
//     dialog = WhenModal<TfrmProcura>(...); // the next one
//
// The expectation ends with its scope or when another is assigned to it. It
// fails the test when no such dialog has appeared by then, or when the
// dialog is still open a while after the action ran; a dialog left open is
// closed so that the test goes on.

#include <QApplication>
#include <QPointer>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <typeinfo>

namespace zel::test {

class ModalExpectation {
public:
    ModalExpectation(std::string typeName, std::function<QWidget*(QWidget*)> match, std::function<void(QWidget*)> act,
                     std::chrono::milliseconds timeout);
    ~ModalExpectation() { finish(); }
    ModalExpectation(ModalExpectation&& other) noexcept = default;
    // Ends this expectation, then takes the other's place.
    ModalExpectation& operator=(ModalExpectation&& other) noexcept;

    // True once the action has run and the dialog has closed.
    bool Done() const;

    struct State;

private:
    void finish();
    std::shared_ptr<State> state_;
};

template <class T>
[[nodiscard]] ModalExpectation WhenModal(std::function<void(T*)> act,
                                         std::chrono::milliseconds timeout = std::chrono::seconds(10))
{
    return ModalExpectation(
        typeid(T).name(), [](QWidget* w) -> QWidget* { return dynamic_cast<T*>(w); },
        [act = std::move(act)](QWidget* w) { act(dynamic_cast<T*>(w)); }, timeout);
}

} // namespace zel::test
