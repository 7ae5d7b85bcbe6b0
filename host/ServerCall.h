#pragma once

#include <functional>
#include <type_traits>
#include <utility>

namespace zel {

// Runs a blocking piece of work (a server call) the way the screens need it:
// the caller waits synchronously, yet the work runs on a worker thread while
// the user-interface thread keeps processing events other than user input,
// so that windows repaint and the wait animation keeps moving. Until the work
// ends no mouse, key, wheel or shortcut event reaches any window and no
// window can be closed. A failure of the work is raised again in the caller.
// Outside the user-interface thread, or without a running application, the
// work simply runs in place.
void RunWhileWaiting(const std::function<void()>& work);

template <class F> auto CallWhileWaiting(F&& f) -> decltype(f())
{
    using R = decltype(f());
    if constexpr (std::is_void_v<R>) {
        RunWhileWaiting(std::forward<F>(f));
    } else {
        R result{};
        RunWhileWaiting([&] { result = f(); });
        return result;
    }
}

// True while the user-interface thread waits for a piece of work.
bool WaitingForWork();

} // namespace zel
