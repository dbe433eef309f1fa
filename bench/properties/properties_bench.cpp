// The settings dialog on the real projection library and generated lists:
// opening it on the Projection tab (class alone and with the Qt view
// offscreen), choosing a code, and OK with a new code on a full table
// against Project_Table on that table.
#include "tests/main/coords/harness.h"

#include "main/settings/frm_properties.h"
#include "main/views/properties_view.h"

#include <QApplication>
#include <benchmark/benchmark.h>

namespace {

constexpr int kRows = 32766;

struct Fixture {
    Fixture() : h(TREKFOLD_BINARY_DIR "/bin", true)
    {
        h.settings.SaveSetting("proj", "proj", "26915");
        h.settings.SaveSetting("proj", "projfile", "epsg");
        dlg().optEPSG_Click();
    }
    app::frmProperties& dlg() { return static_cast<app::frmProperties&>(h.main.frmProperties()); }
    void fill()
    {
        flxgrd::Table& t = h.main.table();
        t.Table_SetType("waypoint");
        std::string cols = h.col("lat") + ";" + h.col("long");
        for (int i = 0; i < kRows; ++i)
            t.Records_Insert(std::to_string(40.0 + 9.0 * (i / 1000) / 33.0) + ";" +
                                 std::to_string(-96.0 + 6.0 * (i % 1000) / 1000.0),
                             cols, "", ";", false);
    }
    coordstest::Harness h;
};

void BM_OpenProjectionTab(benchmark::State& state)
{
    Fixture f;
    for (auto _ : state) {
        f.h.main.Open_Properties(0);
        f.dlg().Click("cmdCancel");
    }
    state.counters["codes"] = double(f.dlg().control("cbxPOSCCodes").items.size());
}
BENCHMARK(BM_OpenProjectionTab)->Unit(benchmark::kMillisecond);

void BM_OpenProjectionTabWithView(benchmark::State& state)
{
    static int argc = 1;
    static char name[] = "bench_properties";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) new QApplication(argc, argv);
    Fixture f;
    app::PropertiesView view(f.dlg());
    f.dlg().on_changed = [&view] { view.sync(); };
    f.dlg().on_show_modal = [&view] { view.rebuild(); }; // drawn, not waited for
    for (auto _ : state) {
        f.h.main.Open_Properties(0);
        f.dlg().Click("cmdCancel");
    }
}
BENCHMARK(BM_OpenProjectionTabWithView)->Unit(benchmark::kMillisecond);

void BM_cbxPOSCCodes_Click(benchmark::State& state)
{
    Fixture f;
    f.dlg().control("cbxPOSCCodes").text = "26915";
    for (auto _ : state) f.dlg().cbxPOSCCodes_Click();
}
BENCHMARK(BM_cbxPOSCCodes_Click)->Unit(benchmark::kMicrosecond);

void BM_ProjectTableAlone(benchmark::State& state)
{
    Fixture f;
    f.fill();
    f.h.main.coords().Project_Table(true);
    for (auto _ : state) f.h.main.coords().Project_Table(true);
}
BENCHMARK(BM_ProjectTableAlone)->Unit(benchmark::kMillisecond);

// OK switching between two codes, each run re-projecting every row.
void BM_OkWithNewCode(benchmark::State& state)
{
    Fixture f;
    f.fill();
    f.h.main.coords().Project_Table(true);
    bool other = false;
    for (auto _ : state) {
        state.PauseTiming();
        f.h.main.Open_Properties(0);
        f.dlg().control("cbxPOSCCodes").text = (other = !other) ? "32615" : "26915";
        state.ResumeTiming();
        f.dlg().cmdOK_Click();
    }
}
BENCHMARK(BM_OkWithNewCode)->Unit(benchmark::kMillisecond);

} // namespace
BENCHMARK_MAIN();
