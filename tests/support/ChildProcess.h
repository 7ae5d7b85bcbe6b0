#pragma once

// A program that a test runs as a child process: the application server, the
// shell, a command of the server's. Its standard output is read through a
// pipe; its standard error is passed on to the test's, or read with the output.
//
// No child outlives the test program, however the program ends:
//  - the destructor stops it (SIGTERM, then SIGKILL after a grace period);
//  - children still running when the tests end (a shared server, a leaked
//    object) are stopped by a test environment, which fails the run when
//    one had to be stopped there while its owner was expected to stop it;
//  - should the test program crash or be killed, the kernel kills every child
//    (it is started with a parent-death signal). That signal follows the
//    thread that started the child: start children from the main thread.

#include <chrono>
#include <string>
#include <sys/types.h>
#include <vector>

namespace zel::test {

class ChildProcess {
public:
    ChildProcess() = default;
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Adds a variable to the environment the child inherits (before Start).
    void setEnvironment(const std::string& name, const std::string& value);
    // Standard error goes to the output pipe too (before Start).
    void mergeErrors() { mergeErrors_ = true; }
    // A child that the test environment may stop at the program's end without
    // counting it as leaked (the program's shared server).
    void outlivesTests() { outlivesTests_ = true; }
    bool OutlivesTests() const { return outlivesTests_; }

    // Starts argv[0] with the arguments; input is written to its standard
    // input, which is then closed. False, with the reason, when it cannot.
    bool Start(const std::vector<std::string>& argv, std::string& error, const std::string& input = {});

    pid_t Pid() const { return pid_; }
    // True until the child has ended (and then it is reaped).
    bool Running();

    // The next line of output without its newline; empty when none came
    // within the timeout or the output ended.
    std::string ReadLine(std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // Everything up to the end of the output (or the timeout).
    std::string ReadAll(std::chrono::milliseconds timeout = std::chrono::seconds(60));

    void Signal(int sig);
    // The exit code, or 128 + the signal that ended it; -1 when it is still
    // running after the timeout.
    int Wait(std::chrono::milliseconds timeout = std::chrono::minutes(5));
    // Asks the child to end (SIGTERM) and kills it when it has not ended
    // within the grace period; returns once it is gone.
    void Stop(std::chrono::milliseconds grace = std::chrono::seconds(5));

private:
    bool readMore(std::chrono::steady_clock::time_point until);

    std::vector<std::pair<std::string, std::string>> environment_;
    bool mergeErrors_ = false;
    bool outlivesTests_ = false;
    pid_t pid_ = -1;
    int status_ = 0;
    int out_ = -1;
    std::string buffer_;
};

// The children of this program that are still running.
std::vector<pid_t> RunningChildren();

} // namespace zel::test
