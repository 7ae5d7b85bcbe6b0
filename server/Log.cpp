#include "server/Log.h"

#include <cstdarg>
#include <cstdio>
#include <ctime>
#include <mutex>

namespace zel::server {

void Log(const char* format, ...)
{
    static std::mutex m;
    char stamp[32];
    std::time_t t = std::time(nullptr);
    std::tm tm{};
    gmtime_r(&t, &tm);
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &tm);
    std::lock_guard lock(m);
    std::fprintf(stderr, "%s ", stamp);
    va_list ap;
    va_start(ap, format);
    std::vfprintf(stderr, format, ap);
    va_end(ap);
    std::fputc('\n', stderr);
}

} // namespace zel::server
