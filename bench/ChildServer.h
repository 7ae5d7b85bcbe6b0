#pragma once

// A zel-server process started by a benchmark or the load tool: `serve` on a
// free loopback port over a database, stopped by its owner.

#include <csignal>
#include <stdexcept>
#include <string>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace zel::bench {

struct ChildServer {
    pid_t pid = 0;
    std::string address; // host:port it listens on
    bool running = false;
};

// Starts `bin serve --db dbUrl` on 127.0.0.1 (with at most `dbConnections`
// database connections when given, on the CPUs `cpus` when given) and waits
// for its port; raises std::runtime_error with what it printed when it does
// not start.
inline ChildServer StartServer(const std::string& bin, const std::string& dbUrl, int dbConnections = 0,
                               const std::string& cpus = {})
{
    const std::string connections = std::to_string(dbConnections);
    std::vector<const char*> argv = {bin.c_str(), "serve", "--db", dbUrl.c_str(), "--listen", "127.0.0.1:0"};
    if (dbConnections > 0) argv.insert(argv.end(), {"--db-connections", connections.c_str()});
    if (!cpus.empty()) argv.insert(argv.end(), {"--cpus", cpus.c_str()});
    argv.push_back(nullptr);
    int out[2];
    if (pipe(out) != 0) throw std::runtime_error("pipe");
    const pid_t pid = fork();
    if (pid == 0) {
        // A benchmark that dies takes its servers with it.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        dup2(out[1], 1);
        close(out[0]);
        close(out[1]);
        // The server's log stays on standard error, beside its owner's.
        execv(bin.c_str(), const_cast<char* const*>(argv.data()));
        _exit(127);
    }
    close(out[1]);
    std::string text;
    char buf[256];
    ssize_t n;
    while (text.find('\n') == std::string::npos && (n = read(out[0], buf, sizeof buf)) > 0)
        text.append(buf, std::size_t(n));
    close(out[0]);
    const std::string prefix = "listening on ";
    if (text.rfind(prefix, 0) != 0) {
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        throw std::runtime_error(bin + " did not start: " + text);
    }
    return {pid, text.substr(prefix.size(), text.find('\n') - prefix.size()), true};
}

// Sends the signal (SIGTERM: a graceful stop) and waits for the process.
inline void StopServer(ChildServer& s, int sig = SIGTERM)
{
    if (!s.running) return;
    kill(s.pid, sig);
    waitpid(s.pid, nullptr, 0);
    s.running = false;
}

// zel-server of the same build: <build>/server/zel-server beside <build>/bench.
inline std::string DefaultServerBin()
{
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path = n > 0 ? std::string(self, std::size_t(n)) : std::string();
    for (int up = 0; up < 2 && !path.empty(); ++up)
        path = path.substr(0, path.rfind('/'));
    return path + "/server/zel-server";
}

} // namespace zel::bench
