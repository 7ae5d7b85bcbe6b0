#pragma once

namespace zel::server {

// One line on the server's log (standard error), with a UTC time stamp.
// printf-style; never carries passwords or tokens.
void Log(const char* format, ...) __attribute__((format(printf, 1, 2)));

} // namespace zel::server
