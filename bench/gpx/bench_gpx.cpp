// GPX save and load speed against gpsbabel converting the same file in the
// same run (unicsv -> gpx for the save, gpx -> unicsv for the loads), the
// peak memory of loading 32,766 waypoints and the element tree's bytes per
// point.
//
// Counters: ratio = our time / gpsbabel's time (below 1: faster), measured
// with the gpsbabel benchmark of the same file run just before; peak_MB is
// the highest resident size of a process that only loads the file;
// tree_bytes_per_point is the heap the loaded tree holds per point.
#include "bench/support/main_window.h"
#include "bench/support/process.h"
#include "main/files/files.h"
#include "main/files/gpx.h"
#include "main/table/table.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <malloc.h>
#include <map>
#include <string>

namespace {

using benchsupport::timed;

constexpr int kWaypoints = flxgrd::kMaxRecords;

// The scratch folder holds the files every benchmark shares.
std::string scratch_file(const std::string& name) { return benchsupport::at(name); }
std::string dg100() { return std::string(TREKFOLD_SOURCE_DIR) + "/tests/data/gpx/dg100-track.gpx"; }

// A main window with its subsystems, on scratch settings.
struct Window : benchsupport::MainWindow {
    Window() : MainWindow("/opt/trekfold", false) { flxgrd::Fields_Repair(settings, ""); }
};

std::string lat(int i) { return std::to_string(45.0 + (i % 1000) * 1e-3).substr(0, 9); }
std::string lon(int i) { return std::to_string(-75.0 - (i / 1000) * 1e-3).substr(0, 10); }

void fill_waypoints(Window& w)
{
    auto& t = w.main.table();
    w.main.state().record_type = "waypoint";
    t.Table_SetType("waypoint");
    std::string cols;
    for (const char* f : {"ident", "lat", "long", "altitude", "comment", "time"})
        cols += (cols.empty() ? "" : ";") + std::to_string(t.Column_Find(f, true));
    for (int i = 1; i <= kWaypoints; ++i)
        t.Records_Insert("WPT" + std::to_string(i) + "\t" + lat(i) + "\t" + lon(i) + "\t" + std::to_string(100 + i % 500) +
                             ".5\tbench waypoint " + std::to_string(i) + "\t2007/01/15 18:00:00",
                         cols, "", "\t", false);
}

// The same waypoints as gpsbabel's unicsv input.
const std::string& waypoints_csv()
{
    static const std::string path = [] {
        std::string p = scratch_file("waypoints.csv");
        std::ofstream out(p);
        out << "No,Name,Latitude,Longitude,Altitude,Description,Date,Time\n";
        for (int i = 1; i <= kWaypoints; ++i)
            out << i << ",WPT" << i << "," << lat(i) << "," << lon(i) << "," << 100 + i % 500 << ".5,bench waypoint "
                << i << ",2007/01/15,18:00:00\n";
        return p;
    }();
    return path;
}

// The waypoints saved once by our own writer, for the load benchmarks.
const std::string& waypoints_gpx()
{
    static const std::string path = [] {
        std::string p = scratch_file("waypoints.gpx");
        Window w;
        fill_waypoints(w);
        files::GPXFile_Save(w.main, p, false);
        return p;
    }();
    return path;
}

std::map<std::string, double> g_babel_seconds; // per file, from the gpsbabel benchmark

bool babel(const std::string& args) { return benchsupport::run("gpsbabel " + args); }

void ratio(benchmark::State& state, const std::string& key, double ours)
{
    auto it = g_babel_seconds.find(key);
    if (it != g_babel_seconds.end() && it->second > 0)
        state.counters["ratio"] = ours / it->second;
}

void BM_Gpsbabel_UnicsvToGpx_32766(benchmark::State& state)
{
    std::string in = waypoints_csv(), out = scratch_file("babel-out.gpx");
    bool ok = true;
    g_babel_seconds["save"] = timed(state, [&] { ok = babel("-i unicsv -f " + in + " -o gpx -F " + out) && ok; });
    if (!ok)
        state.SkipWithError("gpsbabel failed or is missing");
}
BENCHMARK(BM_Gpsbabel_UnicsvToGpx_32766)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_GPXFile_Save_32766(benchmark::State& state)
{
    Window w;
    fill_waypoints(w);
    std::string out = scratch_file("ours-out.gpx");
    double s = timed(state, [&] { benchmark::DoNotOptimize(files::GPXFile_Save(w.main, out, false)); });
    ratio(state, "save", s);
}
BENCHMARK(BM_GPXFile_Save_32766)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// `kind`: gpsbabel's -w, -t or -r (given together, only the last counts:
// "-w -t" reads no waypoint at all).
void gpsbabel_load(benchmark::State& state, const std::string& key, const char* kind, const std::string& file,
                   int records)
{
    std::string out = scratch_file("babel-out.csv");
    bool ok = true;
    g_babel_seconds[key] = timed(state, [&] {
        ok = babel(std::string(kind) + " -i gpx -f " + file + " -o unicsv -F " + out) && ok;
    });
    if (!ok)
        state.SkipWithError("gpsbabel failed or is missing");
    else if (benchsupport::lines(out) != records + 1)
        state.SkipWithError("gpsbabel did not convert every point");
}

void BM_Gpsbabel_GpxToUnicsv_32766(benchmark::State& state)
{
    gpsbabel_load(state, "wpt", "-w", waypoints_gpx(), kWaypoints);
}
BENCHMARK(BM_Gpsbabel_GpxToUnicsv_32766)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_GPXFile_Load_32766(benchmark::State& state)
{
    Window w;
    std::string file = waypoints_gpx();
    double s = timed(state, [&] { benchmark::DoNotOptimize(files::GPXFile_Load(w.main, "waypoint", file)); });
    ratio(state, "wpt", s);
    if (w.rows() != kWaypoints)
        state.SkipWithError("not every waypoint loaded");

    // The tree alone: heap bytes per point while it is held.
    // (glibc's count of bytes in use; meaningless under a sanitizer's allocator)
    auto in_use = [] { return (long long)mallinfo2().uordblks; };
    long long before = in_use();
    {
        files::clsGPXType root;
        root.GPX_LoadFile(file);
        state.counters["tree_bytes_per_point"] = double(in_use() - before) / kWaypoints;
    }
    // Peak resident size of a process that loads the file into the table.
    const long peak = benchsupport::child_peak_kb([&] {
        Window fresh;
        files::GPXFile_Load(fresh.main, "waypoint", file);
    });
    if (peak >= 0) state.counters["peak_MB"] = double(peak) / 1024.0;
}
BENCHMARK(BM_GPXFile_Load_32766)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// The reader alone, without the table.
void BM_GPX_LoadFile_Tree_32766(benchmark::State& state)
{
    std::string file = waypoints_gpx();
    for (auto _ : state) {
        files::clsGPXType root;
        benchmark::DoNotOptimize(root.GPX_LoadFile(file));
    }
}
BENCHMARK(BM_GPX_LoadFile_Tree_32766)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

// 3,276 routes of 10 points each (32,760 rows), as a GPX 1.0 file.
constexpr int kRoutes = 3276, kRoutePoints = 10;
const std::string& routes_gpx()
{
    static const std::string path = [] {
        std::string p = scratch_file("routes.gpx");
        std::ofstream out(p);
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.0\" creator=\"bench\" "
               "xmlns=\"http://www.topografix.com/GPX/1/0\">\n";
        for (int r = 1; r <= kRoutes; ++r) {
            out << "<rte>\n<name>ROUTE " << r << "</name>\n<number>" << r << "</number>\n";
            for (int k = 1; k <= kRoutePoints; ++k) {
                const int i = (r - 1) * kRoutePoints + k;
                out << "<rtept lat=\"" << lat(i) << "\" lon=\"" << lon(i) << "\">\n<ele>" << 100 + i % 500
                    << ".5</ele>\n<name>R" << r << "P" << k << "</name>\n<cmt>route point " << i
                    << "</cmt>\n</rtept>\n";
            }
            out << "</rte>\n";
        }
        out << "</gpx>\n";
        return p;
    }();
    return path;
}

void BM_Gpsbabel_GpxToUnicsv_Routes3276x10(benchmark::State& state)
{
    gpsbabel_load(state, "routes", "-r", routes_gpx(), kRoutes * kRoutePoints);
}
BENCHMARK(BM_Gpsbabel_GpxToUnicsv_Routes3276x10)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_GPXFile_Load_Routes3276x10(benchmark::State& state)
{
    Window w;
    const std::string file = routes_gpx();
    double s = timed(state, [&] { benchmark::DoNotOptimize(files::GPXFile_Load(w.main, "route", file)); });
    ratio(state, "routes", s);
    if (w.rows() != kRoutes * kRoutePoints)
        state.SkipWithError("not every route point loaded");
}
BENCHMARK(BM_GPXFile_Load_Routes3276x10)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_Gpsbabel_GpxToUnicsv_dg100(benchmark::State& state) { gpsbabel_load(state, "dg100", "-t", dg100(), 12027); }
BENCHMARK(BM_Gpsbabel_GpxToUnicsv_dg100)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_GPXFile_Load_dg100(benchmark::State& state)
{
    Window w;
    double s = timed(state, [&] { benchmark::DoNotOptimize(files::GPXFile_Load(w.main, "track", dg100())); });
    ratio(state, "dg100", s);
    state.counters["points"] = double(w.rows());
}
BENCHMARK(BM_GPXFile_Load_dg100)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
