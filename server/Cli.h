#pragma once

namespace zel::server {

// The command line of zel-server: init, seed, operator, serve. Returns the
// process exit code.
int RunCli(int argc, char** argv);

} // namespace zel::server
