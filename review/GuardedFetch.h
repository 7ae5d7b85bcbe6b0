#pragma once

#include <functional>

namespace Cli_zel08100 {

// Runs a fetch of the review screen: the wait animation of kind 6 over the
// application's main form while it runs; any failure (the link, a result the
// checker rejects, a packet that does not load) stops the animation and is
// swallowed, so the list it was to fill keeps what it held. The checker has
// shown the server's message, if any. True when the fetch ran to its end.
bool GuardedFetch(const std::function<void()>& fetch);

} // namespace Cli_zel08100
