#pragma once

// A control group of the kernel's cpu controller that gives the processes in
// it at most a share of one core's time (0.4: 40 ms in every 100 ms), as a
// smaller machine of their own would. The load tool puts each server process
// it starts in one of these to see whether processes add capacity when each
// is held back by its own CPU rather than all by the same ones. Creating a
// group takes root (or a group delegated to the user).

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#include <vector>

namespace zel::bench {

class CpuQuota {
public:
    // A new group `name`, limited to `cores` (more than 0; 1.5 is one core
    // and a half), under the calling process's own group or, in the unified
    // hierarchy, under its root when it may.
    CpuQuota(const std::string& name, double cores)
    {
        if (!(cores > 0) || cores > 1024) throw std::invalid_argument("a CPU quota is a number of cores above 0");
        const long period = 100000; // µs
        const long quota = std::max(1000L, std::lround(cores * double(period)));
        const Hierarchy h = findCpuHierarchy();
        dir_ = h.parent + "/" + name;
        if (::mkdir(dir_.c_str(), 0755) != 0 && errno != EEXIST) fail("cannot create the control group " + dir_);
        try {
            if (h.v2) {
                write(dir_ + "/cpu.max", std::to_string(quota) + " " + std::to_string(period));
            } else {
                write(dir_ + "/cpu.cfs_period_us", std::to_string(period));
                write(dir_ + "/cpu.cfs_quota_us", std::to_string(quota));
            }
        } catch (...) {
            ::rmdir(dir_.c_str());
            throw;
        }
    }
    ~CpuQuota()
    {
        if (!dir_.empty()) ::rmdir(dir_.c_str()); // fails, harmlessly, while a process is still in it
    }
    CpuQuota(const CpuQuota&) = delete;
    CpuQuota& operator=(const CpuQuota&) = delete;

    // Moves a process, every thread of it, into the group.
    void add(pid_t pid) const { write(dir_ + "/cgroup.procs", std::to_string(pid)); }
    const std::string& dir() const { return dir_; }

private:
    struct Hierarchy {
        bool v2 = false;
        std::string parent; // directory the new groups go in
    };

    [[noreturn]] static void fail(const std::string& what)
    {
        throw std::runtime_error(what + ": " + std::strerror(errno) +
                                 " (a CPU quota needs the kernel's cpu controller and root)");
    }

    static void write(const std::string& file, const std::string& text)
    {
        std::ofstream f(file);
        f << text << std::flush;
        if (!f) fail("cannot write " + file);
    }

    static std::vector<std::string> split(const std::string& s, char sep)
    {
        std::vector<std::string> out;
        std::stringstream in(s);
        for (std::string item; std::getline(in, item, sep);)
            out.push_back(item);
        return out;
    }

    // The cpu controller's hierarchy, from the mounts: a version 1 hierarchy
    // that has it, or else the unified one when it offers it.
    static Hierarchy findCpuHierarchy()
    {
        std::string v1Mount, v2Mount;
        std::ifstream mounts("/proc/self/mountinfo");
        for (std::string line; std::getline(mounts, line);) {
            // id parent dev root mountpoint options [optional...] - fstype source superoptions
            const auto dash = line.find(" - ");
            if (dash == std::string::npos) continue;
            const auto pre = split(line.substr(0, dash), ' ');
            const auto post = split(line.substr(dash + 3), ' ');
            if (pre.size() < 5 || post.size() < 3 || pre[3] != "/") continue;
            if (post[0] == "cgroup") {
                for (const std::string& o : split(post[2], ','))
                    if (o == "cpu") v1Mount = pre[4];
            } else if (post[0] == "cgroup2" && v2Mount.empty()) {
                v2Mount = pre[4];
            }
        }
        // The calling process's groups: "N:controllers:/path" (0:: for the unified one).
        std::string v1Path, v2Path;
        std::ifstream own("/proc/self/cgroup");
        for (std::string line; std::getline(own, line);) {
            const auto a = line.find(':'), b = line.find(':', a + 1);
            if (a == std::string::npos || b == std::string::npos) continue;
            const std::string controllers = line.substr(a + 1, b - a - 1), path = line.substr(b + 1);
            if (controllers.empty()) v2Path = path;
            for (const std::string& c : split(controllers, ','))
                if (c == "cpu") v1Path = path;
        }
        auto join = [](const std::string& mount, const std::string& path) {
            return path == "/" || path.empty() ? mount : mount + path;
        };
        if (!v1Mount.empty()) return {false, join(v1Mount, v1Path)};
        if (!v2Mount.empty()) {
            // In the unified hierarchy a group that holds processes cannot
            // hand a controller down to groups under it (its root excepted):
            // the groups go under the root when they may, else under the
            // calling process's own group.
            auto has = [](const std::string& file, const char* what) {
                std::ifstream in(file);
                std::string list;
                std::getline(in, list);
                for (const std::string& c : split(list, ' '))
                    if (c == what) return true;
                return false;
            };
            for (const std::string& parent : {v2Mount, join(v2Mount, v2Path)}) {
                if (!has(parent + "/cgroup.controllers", "cpu")) continue;
                if (!has(parent + "/cgroup.subtree_control", "cpu")) {
                    std::ofstream on(parent + "/cgroup.subtree_control");
                    on << "+cpu" << std::flush;
                    if (!on) continue;
                }
                return {true, parent};
            }
        }
        errno = ENOENT;
        fail("no hierarchy of control groups offers the cpu controller");
    }

    std::string dir_;
};

} // namespace zel::bench
