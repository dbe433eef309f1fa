// Projection speed on the real library and the generated lists: a full
// table (32,766 rows in UTM zone 15) against cs2cs on the same points, one
// point, loading the EPSG list, the CEP of a full table with its peak
// memory, and the probe's start-up.
#include "tests/main/coords/harness.h"

#include "bench/support/process.h"
#include "tests/support/files.h"

#include "main/app/properties.h"
#include "main/coords/cep.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

namespace {

constexpr int kRows = 32766;

struct Fixture {
    Fixture() : h(TREKFOLD_BINARY_DIR "/bin", true)
    {
        h.settings.SaveSetting("proj", "proj", "26915");
        h.settings.SaveSetting("proj", "projfile", "epsg");
        main.frmProperties().optEPSG_Click();
    }
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
    const test_support::TempDir dir;
    {
        std::ofstream out(dir.path + "/points.txt");
        for (int i = 0; i < kRows; ++i) out << Fixture::lon(i) << ' ' << Fixture::lat(i) << '\n';
    }
    std::string command = "cs2cs -f %.10f +proj=longlat +ellps=WGS84 +datum=WGS84 +no_defs +to +proj=utm +zone=15 "
                          "+ellps=GRS80 +datum=NAD83 +units=m +no_defs < " +
                          dir.path + "/points.txt";
    benchsupport::shell(state, command);
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
    const double before = benchsupport::peak_MB(); // the full table is loaded by now
    for (auto _ : state) {
        cep.cmdCalculate_Click();
        if (cep.CEP().Count() != 5) state.SkipWithError("no result");
    }
    state.counters["rows"] = kRows;
    state.counters["peak_MB"] = benchsupport::peak_MB();
    state.counters["peak_before_MB"] = before;
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
    benchsupport::shell(state, std::string(TREKFOLD_PROBE) + " answer Yes");
}
BENCHMARK(BM_ProbeStartup)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

BENCHMARK_MAIN();
