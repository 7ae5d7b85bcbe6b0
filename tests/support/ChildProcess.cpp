#include "tests/support/ChildProcess.h"

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mutex>
#include <poll.h>
#include <set>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace zel::test {
namespace {

using Clock = std::chrono::steady_clock;

// Every running child of the program.
struct Registry {
    std::mutex mutex;
    std::set<ChildProcess*> children;
};

Registry& registry()
{
    static Registry* r = new Registry; // used from exit handlers: never destroyed
    return *r;
}

void enlist(ChildProcess* child)
{
    std::lock_guard lock(registry().mutex);
    registry().children.insert(child);
}

void discharge(ChildProcess* child)
{
    std::lock_guard lock(registry().mutex);
    registry().children.erase(child);
}

// Waits for the child to end; true with its status when it has.
bool reap(pid_t pid, int& status, Clock::time_point until)
{
    for (;;) {
        const pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) return true;
        if (r < 0 && errno != EINTR) {
            status = 0;
            return true; // not our child any more
        }
        if (Clock::now() >= until) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

void terminate(pid_t pid, int& status, std::chrono::milliseconds grace)
{
    // A frozen child takes SIGTERM only once it runs again.
    ::kill(pid, SIGTERM);
    ::kill(pid, SIGCONT);
    if (reap(pid, status, Clock::now() + grace)) return;
    ::kill(pid, SIGKILL);
    reap(pid, status, Clock::now() + std::chrono::seconds(10));
}

// Stops the children still running when the tests end. One whose owner
// should have stopped it fails the run: a test leaked it.
class ChildrenEnvironment : public ::testing::Environment {
public:
    void TearDown() override
    {
        std::set<ChildProcess*> left;
        {
            std::lock_guard lock(registry().mutex);
            left = registry().children;
        }
        for (ChildProcess* child : left) {
            if (!child->OutlivesTests())
                ADD_FAILURE() << "child process " << child->Pid() << " was left running by a test";
            child->Stop();
        }
    }
};

// Also when the program leaves without running the tests' end (exit() from a
// test, a failed assertion in main): no child is left behind.
void killLeftChildren()
{
    // The children are killed, not reaped: their process ids stay reserved
    // until the objects that own them reap them.
    std::lock_guard lock(registry().mutex);
    for (ChildProcess* child : registry().children)
        if (child->Pid() > 0) ::kill(child->Pid(), SIGKILL);
}

const bool environmentInstalled = [] {
    ::testing::AddGlobalTestEnvironment(new ChildrenEnvironment);
    std::atexit(killLeftChildren);
    return true;
}();

} // namespace

ChildProcess::~ChildProcess()
{
    Stop();
    if (out_ >= 0) ::close(out_);
}

void ChildProcess::setEnvironment(const std::string& name, const std::string& value)
{
    environment_.emplace_back(name, value);
}

bool ChildProcess::Start(const std::vector<std::string>& argv, std::string& error, const std::string& input)
{
    (void)environmentInstalled;
    if (pid_ > 0) {
        error = "the child is already running";
        return false;
    }
    if (argv.empty()) {
        error = "no program to run";
        return false;
    }
    // Everything the child needs is prepared before the fork: between fork
    // and exec only async-signal-safe calls are allowed (the test program has
    // threads).
    std::vector<char*> args;
    for (const std::string& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    std::vector<std::string> envStrings;
    for (char** e = environ; *e; ++e) {
        bool replaced = false;
        for (const auto& [name, value] : environment_)
            if (std::strncmp(*e, name.c_str(), name.size()) == 0 && (*e)[name.size()] == '=') replaced = true;
        if (!replaced) envStrings.emplace_back(*e);
    }
    for (const auto& [name, value] : environment_)
        envStrings.push_back(name + "=" + value);
    std::vector<char*> env;
    for (std::string& s : envStrings)
        env.push_back(s.data());
    env.push_back(nullptr);

    int out[2], in[2], failed[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(failed, O_CLOEXEC) != 0) {
        error = std::string("pipe: ") + std::strerror(errno);
        return false;
    }
    const pid_t parent = ::getpid();
    const bool mergeErrors = mergeErrors_;
    const pid_t pid = ::fork();
    if (pid < 0) {
        error = std::string("fork: ") + std::strerror(errno);
        for (int fd : {out[0], out[1], in[0], in[1], failed[0], failed[1]})
            ::close(fd);
        return false;
    }
    if (pid == 0) {
        // Killed with the test program, also when it crashes.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(127);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        ::dup2(out[1], STDOUT_FILENO);
        if (mergeErrors) ::dup2(out[1], STDERR_FILENO);
        ::dup2(in[0], STDIN_FILENO);
        ::execve(args[0], args.data(), env.data());
        const int e = errno;
        [[maybe_unused]] const ssize_t told = ::write(failed[1], &e, sizeof e);
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(in[0]);
    ::close(failed[1]);
    // The exec's failure, if any, arrives before the pipe closes on exec.
    int execErrno = 0;
    const ssize_t n = ::read(failed[0], &execErrno, sizeof execErrno);
    ::close(failed[0]);
    if (n == ssize_t(sizeof execErrno)) {
        ::close(out[0]);
        ::close(in[1]);
        int status = 0;
        ::waitpid(pid, &status, 0);
        error = "cannot run " + argv[0] + ": " + std::strerror(execErrno);
        return false;
    }
    pid_ = pid;
    enlist(this);
    if (out_ >= 0) ::close(out_);
    out_ = out[0];
    buffer_.clear();
    if (!input.empty() && ::write(in[1], input.data(), input.size()) < 0)
        error = std::string("cannot write to the child: ") + std::strerror(errno);
    ::close(in[1]);
    return true;
}

bool ChildProcess::Running()
{
    if (pid_ <= 0) return false;
    if (reap(pid_, status_, Clock::now())) {
        discharge(this);
        pid_ = -1;
        return false;
    }
    return true;
}

bool ChildProcess::readMore(Clock::time_point until)
{
    if (out_ < 0) return false;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
        pollfd p{out_, POLLIN, 0};
        const int r = ::poll(&p, 1, int(std::max<long long>(0, left)));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        char chunk[4096];
        const ssize_t n = ::read(out_, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        buffer_.append(chunk, std::size_t(n));
        return true;
    }
}

std::string ChildProcess::ReadLine(std::chrono::milliseconds timeout)
{
    const auto until = Clock::now() + timeout;
    for (;;) {
        const auto nl = buffer_.find('\n');
        if (nl != std::string::npos) {
            std::string line = buffer_.substr(0, nl);
            buffer_.erase(0, nl + 1);
            return line;
        }
        if (!readMore(until)) return {};
    }
}

std::string ChildProcess::ReadAll(std::chrono::milliseconds timeout)
{
    const auto until = Clock::now() + timeout;
    while (readMore(until)) {
    }
    std::string all;
    all.swap(buffer_);
    return all;
}

void ChildProcess::Signal(int sig)
{
    if (pid_ > 0) ::kill(pid_, sig);
}

int ChildProcess::Wait(std::chrono::milliseconds timeout)
{
    if (pid_ > 0) {
        if (!reap(pid_, status_, Clock::now() + timeout)) return -1;
        discharge(this);
        pid_ = -1;
    }
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : WIFSIGNALED(status_) ? 128 + WTERMSIG(status_) : -1;
}

void ChildProcess::Stop(std::chrono::milliseconds grace)
{
    if (pid_ <= 0) return;
    terminate(pid_, status_, grace);
    discharge(this);
    pid_ = -1;
}

std::vector<pid_t> RunningChildren()
{
    std::lock_guard lock(registry().mutex);
    std::vector<pid_t> out;
    for (const ChildProcess* child : registry().children)
        out.push_back(child->Pid());
    return out;
}

} // namespace zel::test
