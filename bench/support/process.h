// Running peers and timing them, and what the process holds in memory.
#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace benchsupport {

// Runs a shell command to its end, its output discarded; true when it
// exited with 0.
inline bool run(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

// Runs `command` once per iteration; a failure ends the benchmark with the
// command as its error.
inline void shell(benchmark::State& state, const std::string& command)
{
    for (auto _ : state)
        if (!run(command)) state.SkipWithError(command.c_str());
}

// Times `work` once per iteration; gives the seconds per iteration.
template <class F>
double timed(benchmark::State& state, F&& work)
{
    double total = 0;
    for (auto _ : state) {
        auto t0 = std::chrono::steady_clock::now();
        work();
        total += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    }
    return state.iterations() ? total / double(state.iterations()) : 0;
}

// Lines of a text file (a peer's CSV: the header and one per point).
inline int lines(const std::string& path)
{
    std::ifstream in(path);
    int n = 0;
    for (std::string line; std::getline(in, line);)
        ++n;
    return n;
}

// A field of /proc/self/status ("VmRSS", "VmHWM") in kB; -1 when absent.
inline long status_kb(const std::string& key)
{
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, key.size() + 1, key + ":") == 0) return std::atol(line.c_str() + key.size() + 1);
    return -1;
}

// Starts a new peak: the kernel's high-water mark drops to the present
// size, which it gives (kB).
inline long reset_peak()
{
    std::ofstream("/proc/self/clear_refs") << "5";
    return status_kb("VmRSS");
}

// The process's highest resident size so far, in MB.
inline double peak_MB()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return double(u.ru_maxrss) / 1024.0;
}

// The peak resident size (kB) of a forked child that runs `work` once.
inline long child_peak_kb(const std::function<void()>& work)
{
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0) {
        work();
        ::_exit(0);
    }
    int status = 0;
    struct rusage use {};
    if (pid > 0 && ::wait4(pid, &status, 0, &use) == pid) return use.ru_maxrss;
    return -1;
}

} // namespace benchsupport
