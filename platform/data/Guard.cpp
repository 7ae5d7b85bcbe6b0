#include "platform/data/Guard.h"

#include "platform/data/Exceptions.h"

#include <cstdio>
#include <mutex>

namespace zel {
namespace {

std::mutex reporterMutex;
FailureReporter& reporter()
{
    static FailureReporter r;
    return r;
}

void reportToStderr(std::exception_ptr e)
{
    try {
        std::rethrow_exception(e);
    } catch (const std::exception& ex) {
        std::fprintf(stderr, "zel: unhandled failure: %s\n", ex.what());
    } catch (...) {
        std::fprintf(stderr, "zel: unhandled failure of unknown kind\n");
    }
}

} // namespace

FailureReporter SetFailureReporter(FailureReporter r)
{
    std::lock_guard lock(reporterMutex);
    std::swap(reporter(), r);
    return r;
}

bool Guarded(const std::function<void()>& handler) noexcept
{
    try {
        handler();
        return true;
    } catch (const EAbort&) {
        return false;
    } catch (...) {
        FailureReporter r;
        {
            std::lock_guard lock(reporterMutex);
            r = reporter();
        }
        try {
            if (r)
                r(std::current_exception());
            else
                reportToStderr(std::current_exception());
        } catch (...) {
            reportToStderr(std::current_exception());
        }
        return false;
    }
}

} // namespace zel
