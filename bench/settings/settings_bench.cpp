// Settings store and profile files with many keys: reading a file and
// writing into it take time in proportion to its size. Each benchmark runs
// at 50,000, 100,000 and 200,000 keys, so the three times show the growth.
#include "tests/support/files.h"
#include "platform/profile/profile.h"
#include "platform/settings/settings.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

using test_support::TempDir;

std::string key(int i) { return "key" + std::to_string(i); }
std::string value(int i) { return "value " + std::to_string(i) + ",N,8,1"; }

// A file of n keys in one section, as both stores read it.
void write_file(const std::string& path, int n)
{
    std::ofstream out(path);
    out << "[bench]\n";
    for (int i = 0; i < n; ++i)
        out << key(i) << '=' << value(i) << '\n';
}

// Opening the store and reading every key.
void BM_SettingsReadAll(benchmark::State& state)
{
    const int n = int(state.range(0));
    TempDir dir;
    write_file(dir.path + "/trekfold.ini", n);
    for (auto _ : state) {
        platform::Settings s(dir.path + "/trekfold.ini");
        size_t total = 0;
        for (int i = 0; i < n; ++i)
            total += s.GetSetting("bench", key(i)).size();
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// One changed key saved into a store of n keys: the whole file rewritten.
void BM_SettingsSaveOne(benchmark::State& state)
{
    const int n = int(state.range(0));
    TempDir dir;
    write_file(dir.path + "/trekfold.ini", n);
    platform::Settings s(dir.path + "/trekfold.ini");
    int round = 0;
    for (auto _ : state)
        s.SaveSetting("bench", key(n / 2), std::to_string(++round));
}

// Every key of an empty store saved under one hold, then written once.
void BM_SettingsSaveAllHeld(benchmark::State& state)
{
    const int n = int(state.range(0));
    TempDir dir;
    for (auto _ : state) {
        std::filesystem::remove(dir.path + "/trekfold.ini");
        platform::Settings s(dir.path + "/trekfold.ini");
        s.hold();
        for (int i = 0; i < n; ++i)
            s.SaveSetting("bench", key(i), value(i));
        if (!s.release().empty())
            state.SkipWithError("the store could not be written");
    }
    state.SetItemsProcessed(state.iterations() * n);
}

// The last key of a profile file of n keys.
void BM_ProfileReadLast(benchmark::State& state)
{
    const int n = int(state.range(0));
    TempDir dir;
    write_file(dir.path + "/profile.ini", n);
    for (auto _ : state) {
        auto v = platform::GetPrivateProfileString("bench", key(n - 1), "", 255, dir.path + "/profile.ini");
        benchmark::DoNotOptimize(v.data());
    }
}

// One key changed in a profile file of n keys, and one added at the end of
// its section.
void BM_ProfileWriteOne(benchmark::State& state)
{
    const int n = int(state.range(0));
    TempDir dir;
    write_file(dir.path + "/profile.ini", n);
    int round = 0;
    for (auto _ : state) {
        ++round;
        platform::WritePrivateProfileString("bench", key(n / 2), std::to_string(round), dir.path + "/profile.ini");
        platform::WritePrivateProfileString("bench", "added" + std::to_string(round % 4), "x",
                                            dir.path + "/profile.ini");
    }
}

} // namespace

BENCHMARK(BM_SettingsReadAll)->Arg(50000)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SettingsSaveOne)->Arg(50000)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SettingsSaveAllHeld)->Arg(50000)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProfileReadLast)->Arg(50000)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ProfileWriteOne)->Arg(50000)->Arg(100000)->Arg(200000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
