#include "review/GuardedFetch.h"

#include "host/Application.h"
#include "host/WaitAnimation.h"

namespace Cli_zel08100 {

bool GuardedFetch(const std::function<void()>& fetch)
{
    try {
        zel::ActiveShowAvi(zel::MainForm(), zel::TAviKind::Fetching);
        fetch();
        zel::DeactiveShowAvi();
        return true;
    } catch (...) {
        zel::DeactiveShowAvi();
        return false;
    }
}

} // namespace Cli_zel08100
