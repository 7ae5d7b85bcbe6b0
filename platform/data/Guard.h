#pragma once

#include <exception>
#include <functional>

namespace zel {

// Runs an event handler the way every entry from the event loop must run:
// EAbort ends it quietly, any other failure goes to the installed reporter
// (the host shows it in an error dialog), and nothing escapes. Returns true
// when the handler ran to its end.
bool Guarded(const std::function<void()>& handler) noexcept;

using FailureReporter = std::function<void(std::exception_ptr)>;
// The host installs its reporter once; returns the previous one.
FailureReporter SetFailureReporter(FailureReporter reporter);

} // namespace zel
