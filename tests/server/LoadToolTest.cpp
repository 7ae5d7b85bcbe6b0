#include "bench/CpuQuota.h"

#include <csignal>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace zel::bench::test {
namespace {

std::string readAll(const std::string& file)
{
    std::ifstream f(file);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// The load tool's stand-in for a smaller machine: a group of the cpu
// controller with the quota asked for, holding the process given, and gone
// once the process has ended.
TEST(LoadToolCpuQuota, HoldsTheProcessWithItsQuotaAndIsRemovedAfterIt)
{
    if (geteuid() != 0) GTEST_SKIP() << "control groups need root";
    std::optional<CpuQuota> q;
    try {
        q.emplace("zel-test-" + std::to_string(getpid()), 0.3);
    } catch (const std::runtime_error& e) {
        GTEST_SKIP() << e.what();
    }
    const std::string dir = q->dir();
    const std::string max =
        std::filesystem::exists(dir + "/cpu.max") ? readAll(dir + "/cpu.max") : readAll(dir + "/cpu.cfs_quota_us");
    EXPECT_EQ(max.substr(0, max.find_first_of(" \n")), "30000");

    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        pause();
        _exit(0);
    }
    q->add(child);
    const std::string groups = readAll("/proc/" + std::to_string(child) + "/cgroup");
    EXPECT_NE(groups.find("/zel-test-" + std::to_string(getpid()) + "\n"), std::string::npos) << groups;
    EXPECT_NE(readAll(dir + "/cgroup.procs").find(std::to_string(child)), std::string::npos);

    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    q.reset();
    EXPECT_FALSE(std::filesystem::exists(dir));
}

} // namespace
} // namespace zel::bench::test
