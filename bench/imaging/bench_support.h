// What the imaging benchmarks share: a scratch folder, calls into an image
// object, and the peak resident size of work done in another process.
#pragma once

#include "bench/support/process.h"
#include "bench/support/scratch.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/variant.h"

#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

extern char** environ;

namespace imaging_bench {

namespace fs = std::filesystem;
using platform::Variant;
using Args = std::vector<Variant>;

// The run's scratch folder.
inline const fs::path& dir()
{
    static const fs::path d = benchsupport::scratch();
    return d;
}

inline Args call(platform::Dispatch& o, const char* name, Args a)
{
    o.Invoke(platform::IdOfName(o, name), platform::InvokeKind::Method, a);
    return a;
}

// The resident sizes (kB) of a forked child that runs `work` once: its
// peak, and what it held before (freed memory handed back and the peak
// reset first, so `peak - start` is what the work itself added).
struct ChildPeak {
    long peak = -1, start = -1;
};

inline ChildPeak child_peak(const std::function<void()>& work)
{
    int fds[2];
    if (::pipe(fds) != 0) return {};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        ::malloc_trim(0);
        ChildPeak r;
        r.start = benchsupport::reset_peak();
        work();
        r.peak = benchsupport::status_kb("VmHWM");
        (void)!::write(fds[1], &r, sizeof r);
        ::_exit(0);
    }
    ::close(fds[1]);
    ChildPeak r;
    if (pid < 0 || ::read(fds[0], &r, sizeof r) != sizeof r) r = {};
    ::close(fds[0]);
    int status = 0;
    if (pid > 0) ::waitpid(pid, &status, 0);
    return r;
}

// Runs a program to its end, its output discarded; false when it could not
// run or failed.
inline bool run(const std::vector<std::string>& argv)
{
    std::vector<char*> av;
    for (const auto& s : argv) av.push_back(const_cast<char*>(s.c_str()));
    av.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&fa, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int err = posix_spawnp(&pid, av[0], &fa, nullptr, av.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    int status = 0;
    return err == 0 && ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Runs a program as run() does and gives its peak resident size in kB, or
// -1. GNU time measures it: a child's peak as wait4 reports it starts from
// its parent's size, so the parent must be a small process.
inline long run_kb(const std::vector<std::string>& argv)
{
    const std::string report = (dir() / "time.txt").string();
    std::vector<std::string> timed{"/usr/bin/time", "-f", "%M", "-o", report};
    timed.insert(timed.end(), argv.begin(), argv.end());
    if (!run(timed)) return -1;
    std::ifstream in(report);
    long kb = -1;
    in >> kb;
    return kb;
}
} // namespace imaging_bench
