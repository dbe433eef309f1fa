// 32,766 waypoints loaded and saved through trekfold-probe (a whole run of
// the program, start-up and shut-down included) against the peers' whole
// conversion of the same points in the same run:
//   GPX load          vs  gpsbabel -i gpx -o unicsv   (our GPX file)
//   KML load          vs  gpsbabel -i kml -o unicsv   (our KML file)
//   shapefile load    vs  ogr2ogr -f CSV              (our shapefile, and one
//                                                      ogr2ogr made of the CSV)
//   text save         vs  ogr2ogr -f CSV              (our shapefile)
//   shapefile save    vs  ogr2ogr -f "ESRI Shapefile" (the points as CSV)
//   GPX and KML save  vs  gpsbabel -i unicsv -o gpx / -o kml
// Counters: beyond_ms, the probe's time less that of the same run without
// the operation (for a save: the run that only loads the table); peer_ms;
// ratio = beyond_ms / peer_ms (below 1: faster).
#include "bench/support/process.h"
#include "bench/support/scratch.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>

namespace {

using benchsupport::at;
using benchsupport::run;

constexpr int kWaypoints = 32766;

// The probe on port 9 (which does not exist: start-up's connection gives up
// at once), in a home of its own.
std::string probe(const std::string& commands)
{
    return std::string(TREKFOLD_BINARY_DIR) + "/bin/trekfold-probe --home " + at("home") + " --port 9 " + commands;
}

// Loading the points from text (start-up's boxes answered, then "Identify
// Fields" confirmed); the table it gives is the start of every save.
std::string load_table() { return "wait 0 answer OK load txt " + at("w.csv"); }

// The points as CSV, and as each of our formats written from them.
bool prepare()
{
    static const bool ok = [] {
        std::ofstream csv(at("w.csv"));
        csv << "type,ident,lat,long,altitude,comment,time\n";
        char line[200];
        for (int i = 1; i <= kWaypoints; ++i) {
            std::snprintf(line, sizeof line, "WAYPOINT,WPT%d,%.6f,%.6f,%d.5,bench waypoint %d,2007/01/15 18:00:00\n",
                          i, 45.0 + (i % 1000) * 1e-3, -75.0 - (i / 1000) * 1e-3, 100 + i % 500, i);
            csv << line;
        }
        csv.close();
        std::ofstream unicsv(at("w.unicsv"));
        unicsv << "Name,Latitude,Longitude,Altitude,Description\n";
        for (int i = 1; i <= kWaypoints; ++i) {
            std::snprintf(line, sizeof line, "WPT%d,%.6f,%.6f,%d.5,bench waypoint %d\n", i,
                          45.0 + (i % 1000) * 1e-3, -75.0 - (i / 1000) * 1e-3, 100 + i % 500, i);
            unicsv << line;
        }
        unicsv.close();
        return run(probe(load_table() + " gpx-save " + at("w.gpx") + " kml-save point " + at("w.kml") +
                         " save shp_p " + at("w.shp"))) &&
               run("ogr2ogr -f 'ESRI Shapefile' " + at("narrow.shp") + " " + at("w.csv") +
                   " -oo X_POSSIBLE_NAMES=long -oo Y_POSSIBLE_NAMES=lat");
    }();
    return ok;
}

double seconds(const std::string& command, bool& ok)
{
    auto t0 = std::chrono::steady_clock::now();
    ok = run(command) && ok;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// A peer's whole conversion: its CSV holds every point.
void converted(benchmark::State& state, const std::string& csv)
{
    if (benchsupport::lines(csv) != kWaypoints + 1)
        state.SkipWithError(("the peer did not convert every point: " + csv).c_str());
}

// Seconds per run of each command timed so far, by key.
std::map<std::string, double> g_seconds;

void timed(benchmark::State& state, const std::string& key, const std::string& command)
{
    if (!prepare())
        return state.SkipWithError("could not write the files");
    bool ok = true;
    double total = 0;
    for (auto _ : state)
        total += seconds(command, ok);
    if (!ok)
        return state.SkipWithError(command.c_str());
    g_seconds[key] = total / double(state.iterations());
}

// Ours: the time beyond the base run, and its ratio to the peer's.
void ours(benchmark::State& state, const std::string& key, const std::string& base, const std::string& peer,
          const std::string& command)
{
    timed(state, key, command);
    if (!g_seconds.count(key) || !g_seconds.count(base))
        return;
    const double beyond = g_seconds[key] - g_seconds[base];
    state.counters["beyond_ms"] = beyond * 1e3;
    if (g_seconds.count(peer)) {
        state.counters["peer_ms"] = g_seconds[peer] * 1e3;
        state.counters["ratio"] = beyond / g_seconds[peer];
    }
}

void BM_Probe_Empty(benchmark::State& state) { timed(state, "empty", probe("")); }
void BM_Probe_TableOnly(benchmark::State& state) { timed(state, "table", probe(load_table())); }

void BM_Gpsbabel_GpxToUnicsv(benchmark::State& state)
{
    timed(state, "babel-gpx", "gpsbabel -w -i gpx -f " + at("w.gpx") + " -o unicsv -F " + at("babel.csv"));
    converted(state, at("babel.csv"));
}
void BM_Probe_GpxLoad(benchmark::State& state)
{
    ours(state, "gpx-load", "empty", "babel-gpx", probe("gpx-load waypoint " + at("w.gpx")));
}

void BM_Gpsbabel_KmlToUnicsv(benchmark::State& state)
{
    timed(state, "babel-kml", "gpsbabel -i kml -f " + at("w.kml") + " -o unicsv -F " + at("babel.csv"));
    converted(state, at("babel.csv"));
}
void BM_Probe_KmlLoad(benchmark::State& state)
{
    ours(state, "kml-load", "empty", "babel-kml", probe("kml-load point " + at("w.kml")));
}

void BM_Ogr2ogr_ShapefileToCsv(benchmark::State& state)
{
    timed(state, "ogr-csv", "rm -f " + at("ogr.csv") + " && ogr2ogr -f CSV " + at("ogr.csv") + " " + at("w.shp"));
    converted(state, at("ogr.csv"));
}
void BM_Probe_ShapefileLoad(benchmark::State& state)
{
    ours(state, "shp-load", "empty", "ogr-csv", probe("load shp " + at("w.shp")));
}
void BM_Ogr2ogr_NarrowShapefileToCsv(benchmark::State& state)
{
    timed(state, "ogr-narrow-csv",
          "rm -f " + at("ogr.csv") + " && ogr2ogr -f CSV " + at("ogr.csv") + " " + at("narrow.shp"));
    converted(state, at("ogr.csv"));
}
void BM_Probe_NarrowShapefileLoad(benchmark::State& state)
{
    ours(state, "narrow-shp-load", "empty", "ogr-narrow-csv", probe("load shp " + at("narrow.shp")));
}
void BM_Probe_TextSave(benchmark::State& state)
{
    ours(state, "txt-save", "table", "ogr-csv", probe(load_table() + " save txt " + at("out.txt")));
}

void BM_Ogr2ogr_CsvToShapefile(benchmark::State& state)
{
    timed(state, "ogr-shp",
          "rm -f " + at("ogr.*") + " && ogr2ogr -f 'ESRI Shapefile' " + at("ogr.shp") + " " + at("w.csv") +
              " -oo X_POSSIBLE_NAMES=long -oo Y_POSSIBLE_NAMES=lat");
    // A table without points (the coordinates not taken up) has no .shp.
    if (!std::filesystem::exists(at("ogr.shp")) || std::filesystem::file_size(at("ogr.shp")) < 100 + 28 * kWaypoints)
        state.SkipWithError("ogr2ogr wrote no points");
}
void BM_Probe_ShapefileSave(benchmark::State& state)
{
    ours(state, "shp-save", "table", "ogr-shp", probe(load_table() + " save shp_p " + at("out.shp")));
}

void BM_Gpsbabel_UnicsvToGpx(benchmark::State& state)
{
    timed(state, "babel-to-gpx", "gpsbabel -i unicsv -f " + at("w.unicsv") + " -o gpx -F " + at("babel.gpx"));
}
void BM_Probe_GpxSave(benchmark::State& state)
{
    ours(state, "gpx-save", "table", "babel-to-gpx", probe(load_table() + " gpx-save " + at("out.gpx")));
}

void BM_Gpsbabel_UnicsvToKml(benchmark::State& state)
{
    timed(state, "babel-to-kml", "gpsbabel -i unicsv -f " + at("w.unicsv") + " -o kml -F " + at("babel.kml"));
}
void BM_Probe_KmlSave(benchmark::State& state)
{
    ours(state, "kml-save", "table", "babel-to-kml", probe(load_table() + " kml-save point " + at("out.kml")));
}

#define PROBE_BENCH(f) BENCHMARK(f)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime()
PROBE_BENCH(BM_Probe_Empty);
PROBE_BENCH(BM_Probe_TableOnly);
PROBE_BENCH(BM_Gpsbabel_GpxToUnicsv);
PROBE_BENCH(BM_Probe_GpxLoad);
PROBE_BENCH(BM_Gpsbabel_KmlToUnicsv);
PROBE_BENCH(BM_Probe_KmlLoad);
PROBE_BENCH(BM_Ogr2ogr_ShapefileToCsv);
PROBE_BENCH(BM_Probe_ShapefileLoad);
PROBE_BENCH(BM_Ogr2ogr_NarrowShapefileToCsv);
PROBE_BENCH(BM_Probe_NarrowShapefileLoad);
PROBE_BENCH(BM_Probe_TextSave);
PROBE_BENCH(BM_Ogr2ogr_CsvToShapefile);
PROBE_BENCH(BM_Probe_ShapefileSave);
PROBE_BENCH(BM_Gpsbabel_UnicsvToGpx);
PROBE_BENCH(BM_Probe_GpxSave);
PROBE_BENCH(BM_Gpsbabel_UnicsvToKml);
PROBE_BENCH(BM_Probe_KmlSave);

} // namespace

BENCHMARK_MAIN();
