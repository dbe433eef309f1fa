// Projection speed on the real library and the generated lists: a full
// table (32,766 rows in UTM zone 15) against cs2cs on the same points, one
// point, loading the EPSG list, the CEP of a full table with its peak
// memory, and the probe's start-up.
#include "tests/main/coords/harness.h"

#include "main/app/properties.h"
#include "main/coords/cep.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <stdlib.h>
#include <sys/resource.h>

namespace {

constexpr int kRows = 32766;

struct Fixture {
    Fixture() : h(TREKFOLD_BINARY_DIR "/bin", true)
    {
        h.settings.SaveSetting("proj", "proj", "26915");
        h.settings.SaveSetting("proj", "projfile", "epsg");
        main.frmProperties().optEPSG_Click();
    }
    static std::string make_dir() { return coordstest::Harness::make_dir(); }
    // Points spread over zone 15 (longitude -96..-90, latitude 40..49).
    static double lon(int i) { return -96.0 + 6.0 * (i % 1000) / 1000.0; }
    static double lat(int i) { return 40.0 + 9.0 * (i / 1000) / 33.0; }
    void fill()
    {
        flxgrd::Table& t = main.table();
        t.Table_SetType("waypoint");
        std::string cols = std::to_string(t.Column_Find("lat", true)) + ";" + std::to_string(t.Column_Find("long", true));
        for (int i = 0; i < kRows; ++i)
            t.Records_Insert(std::to_string(lat(i)) + ";" + std::to_string(lon(i)), cols, "", ";", false);
    }

    coordstest::Harness h;
    app::frmMain& main = h.main;
};

void BM_ProjectTable(benchmark::State& state)
{
    Fixture f;
    f.fill();
    f.main.coords().Project_Table(true); // the first call sets the library up
    for (auto _ : state) benchmark::DoNotOptimize(f.main.coords().Project_Table(true));
    state.counters["rows"] = kRows;
}
BENCHMARK(BM_ProjectTable)->Unit(benchmark::kMillisecond);

// cs2cs from the WGS84 source to the 26915 definition on the same points.
void BM_Cs2cs(benchmark::State& state)
{
    std::string dir = Fixture::make_dir();
    {
        std::ofstream out(dir + "/points.txt");
        for (int i = 0; i < kRows; ++i) out << Fixture::lon(i) << ' ' << Fixture::lat(i) << '\n';
    }
    std::string command = "cs2cs -f %.10f +proj=longlat +ellps=WGS84 +datum=WGS84 +no_defs +to +proj=utm +zone=15 "
                          "+ellps=GRS80 +datum=NAD83 +units=m +no_defs < " +
                          dir + "/points.txt > /dev/null";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) state.SkipWithError("cs2cs failed");
    std::filesystem::remove_all(dir);
}
BENCHMARK(BM_Cs2cs)->Unit(benchmark::kMillisecond);

void BM_ProjectPoint(benchmark::State& state)
{
    Fixture f;
    double x = -93.5, y = 45.25, ox = 0, oy = 0;
    f.main.coords().Project_Point(x, y, true, ox, oy);
    for (auto _ : state) {
        benchmark::DoNotOptimize(f.main.coords().Project_Point(x, y, true, ox, oy));
        benchmark::DoNotOptimize(ox);
    }
}
BENCHMARK(BM_ProjectPoint)->Unit(benchmark::kMicrosecond);

// The CEP of every row of a full table around its mean (the report, the
// sort of 32,766 distances and the progress texts between rows).
void BM_CalculateCEP(benchmark::State& state)
{
    Fixture f;
    f.fill();
    f.main.coords().Project_Table(true);
    coords::frmCalculateCEP& cep = f.main.coords().CalculateCEP();
    f.main.coords().show_frmCalculateCEP();
    rusage before{};
    ::getrusage(RUSAGE_SELF, &before); // the full table is loaded by now
    for (auto _ : state) {
        cep.cmdCalculate_Click();
        if (cep.CEP().Count() != 5) state.SkipWithError("no result");
    }
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    state.counters["rows"] = kRows;
    state.counters["peak_MB"] = double(u.ru_maxrss) / 1024.0;
    state.counters["peak_before_MB"] = double(before.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_CalculateCEP)->Unit(benchmark::kMillisecond);

void BM_LoadProjections(benchmark::State& state)
{
    Fixture f;
    for (auto _ : state) f.main.coords().LoadProjections("epsg");
    state.counters["codes"] = double(f.main.coords().catalogue()->size());
}
BENCHMARK(BM_LoadProjections)->Unit(benchmark::kMillisecond);

// The probe from its start to the end of a run without commands (start-up,
// shut-down and the process itself: an upper bound of the time to the
// first command).
void BM_ProbeStartup(benchmark::State& state)
{
    std::string command = std::string(TREKFOLD_PROBE) + " answer Yes > /dev/null";
    for (auto _ : state)
        if (std::system(command.c_str()) != 0) state.SkipWithError("probe failed");
}
BENCHMARK(BM_ProbeStartup)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

BENCHMARK_MAIN();
