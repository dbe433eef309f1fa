// Saving and loading 32,766 waypoints (the default fields) as a shapefile,
// a dBASE table and delimited text, against ogr2ogr converting the same
// records CSV -> shapefile -> CSV in the same run. Counter peak_MB: the
// process's highest resident size after the loads.
//
// The same table through the KML and Lowrance text formats, against
// gpsbabel doing the same conversions in the same run:
//   KML save                 vs  gpsbabel -i unicsv -o kml  (the same points)
//   KML load, projected      vs  gpsbabel -i kml -o unicsv  (our KML file)
//   Lowrance load, projected vs  gpsbabel -i csv -o unicsv  (our Lowrance file)
// and the ArcMap link's arrays: Save_Array of the table, Open_Array of that
// array. Those loads project into UTM zone 15N. Counters: rows loaded, fields
// of the array; load_before_MB, the resident size before the KML load, and
// load_peak_MB, the highest resident size during it.
//
// A route table of 3,276 routes of 10 points saved as text, as a point
// shapefile and loaded back (text and the shapefile's .dbf load as routes,
// the shapefile itself as waypoints).
#include "bench/support/main_window.h"
#include "bench/support/process.h"
#include "main/coords/coords.h"
#include "main/files/files.h"
#include "main/files/table_files.h"
#include "main/table/table.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

using benchsupport::at;
using benchsupport::scratch;
using benchsupport::shell;

std::string lat_of(int i) { return std::to_string(45.0 + (i % 1000) * 1e-3); }
std::string lon_of(int i) { return std::to_string(-75.0 - (i / 1000) * 1e-3); }

// The main window over a scratch program folder whose catalogue holds the
// projections, with the full table.
struct Window : benchsupport::MainWindow {
    Window() : MainWindow(scratch(), true), files(main)
    {
        std::filesystem::create_directories(at("proj/nad"));
        std::ofstream(at("proj/nad/epsg"), std::ios::binary)
            << "# WGS 84\n<4326> +proj=longlat +datum=WGS84 +no_defs  no_defs <>\n"
               "# WGS 84 / UTM zone 15N\n<32615> +proj=utm +zone=15 +datum=WGS84 +units=m +no_defs  no_defs <>\n";
        settings.SaveSetting("proj", "proj", "4326");
        settings.SaveSetting("proj", "projfile", "epsg");
        main.coords().LoadProjections("epsg");
        fill();
        files.show_fields = [](files::frmFields& f) { f.cmdOK_Click(); };
    }
    void fill()
    {
        main.state().record_type = "waypoint";
        auto& t = main.table();
        t.Table_SetType("waypoint");
        const std::string cols = std::to_string(t.Column_Find("ident", true)) + ";" +
                                 std::to_string(t.Column_Find("lat", true)) + ";" +
                                 std::to_string(t.Column_Find("long", true)) + ";" +
                                 std::to_string(t.Column_Find("y_proj", true)) + ";" +
                                 std::to_string(t.Column_Find("x_proj", true)) + ";" +
                                 std::to_string(t.Column_Find("comment", true));
        for (int i = 0; i < flxgrd::kMaxRecords; ++i) {
            const std::string la = lat_of(i), lo = lon_of(i);
            t.Records_InsertValues({"W" + std::to_string(i), la, lo, la, lo, "note " + std::to_string(i)}, cols);
        }
    }
    static constexpr int kRoutes = 3276, kRoutePoints = 10;
    void fill_routes()
    {
        main.state().record_type = "route";
        auto& t = main.table();
        t.Table_SetType("route");
        std::string cols;
        for (const char* f : {"type", "ident", "lat", "long", "y_proj", "x_proj", "new_seg", "rident"})
            cols += (cols.empty() ? "" : ";") + std::to_string(t.Column_Find(f, true));
        for (int i = 0; i < kRoutes * kRoutePoints; ++i) {
            const std::string la = lat_of(i), lo = lon_of(i);
            const bool first = i % kRoutePoints == 0;
            t.Records_InsertValues({"ROUTE", "P" + std::to_string(i), la, lo, la, lo, first ? "true" : "false",
                                    first ? "ROUTE " + std::to_string(i / kRoutePoints) : ""},
                                   cols);
        }
    }

    files::TableFiles files;
};

Window& window()
{
    static Window w;
    return w;
}

void BM_Save(benchmark::State& state, const char* kind)
{
    Window& w = window();
    const std::string k = kind;
    for (auto _ : state) {
        bool ok = k == "shp"   ? w.files.Shapefile_Save("Point", false, scratch() + "/w.shp", false)
                  : k == "dbf" ? w.files.Save_DBF(scratch() + "/w.dbf", false)
                               : w.files.Save_TextFile(scratch() + "/w.txt", ";", false);
        if (!ok) state.SkipWithError("save failed");
    }
}

void BM_Load(benchmark::State& state, const char* kind)
{
    Window& w = window();
    const std::string k = kind;
    for (auto _ : state) {
        bool ok = k == "shp"   ? w.files.Shapefile_Load(scratch() + "/w.shp")
                  : k == "dbf" ? w.files.Open_DBF(scratch() + "/w.dbf")
                               : w.files.Open_Textfile(scratch() + "/w.txt");
        if (!ok) state.SkipWithError("load failed");
    }
    state.counters["peak_MB"] = benchsupport::peak_MB();
}

void BM_Ogr2ogr(benchmark::State& state)
{
    window().files.Save_TextFile(scratch() + "/w.csv", ",", false);
    const std::string d = scratch();
    shell(state, "rm -f " + d + "/ogr.* && ogr2ogr -f 'ESRI Shapefile' " + d + "/ogr.shp " + d +
                     "/w.csv -oo X_POSSIBLE_NAMES=long -oo Y_POSSIBLE_NAMES=lat >/dev/null 2>&1 && ogr2ogr -f CSV " +
                     d + "/ogr.csv " + d + "/ogr.shp");
}

// Loads project into UTM zone 15N while one lives.
struct Utm {
    Window& w;
    explicit Utm(Window& win) : w(win) { w.settings.SaveSetting("proj", "proj", "32615"); }
    ~Utm() { w.settings.SaveSetting("proj", "proj", "4326"); }
};

void BM_KmlSave(benchmark::State& state)
{
    Window& w = window();
    for (auto _ : state)
        if (!files::KMLFile_Save(w.main, "point", at("w.kml"), false)) state.SkipWithError("KML save failed");
}

void BM_GpsbabelKmlSave(benchmark::State& state)
{
    {
        std::ofstream csv(at("w.csv"), std::ios::binary);
        csv << "name,lat,lon,desc\n";
        for (int i = 0; i < flxgrd::kMaxRecords; ++i)
            csv << 'W' << i << ',' << lat_of(i) << ',' << lon_of(i) << ",note " << i << '\n';
    }
    shell(state, "gpsbabel -i unicsv -f " + at("w.csv") + " -o kml -F " + at("babel.kml"));
}

void BM_KmlLoad(benchmark::State& state)
{
    Window& w = window();
    files::KMLFile_Save(w.main, "point", at("w.kml"), false);
    state.counters["load_before_MB"] = benchsupport::status_kb("VmRSS") / 1024.0;
    benchsupport::reset_peak();
    Utm utm(w);
    for (auto _ : state)
        if (!files::KMLFile_Load(w.main, "point", at("w.kml"))) state.SkipWithError("KML load failed");
    state.counters["rows"] = w.rows();
    state.counters["load_peak_MB"] = benchsupport::status_kb("VmHWM") / 1024.0;
}

void BM_GpsbabelKmlLoad(benchmark::State& state)
{
    files::KMLFile_Save(window().main, "point", at("w.kml"), false);
    shell(state, "gpsbabel -i kml -f " + at("w.kml") + " -o unicsv -F " + at("kml.csv"));
}

void BM_LowranceLoad(benchmark::State& state)
{
    Window& w = window();
    files::LowranceFile_Save(w.main, at("w.lowrance.txt"), false);
    Utm utm(w);
    for (auto _ : state)
        if (!files::LowranceFile_Load(w.main, at("w.lowrance.txt"))) state.SkipWithError("Lowrance load failed");
    state.counters["rows"] = w.rows();
}

void BM_GpsbabelLowranceLoad(benchmark::State& state)
{
    files::LowranceFile_Save(window().main, at("w.lowrance.txt"), false);
    shell(state, "gpsbabel -i csv -f " + at("w.lowrance.txt") + " -o unicsv -F " + at("lowrance.csv"));
}

void BM_SaveArray(benchmark::State& state)
{
    Window& w = window();
    w.fill();
    platform::Variant a;
    for (auto _ : state) {
        a = w.files.Save_Array();
        benchmark::DoNotOptimize(a);
    }
    if (!a.IsArray()) return state.SkipWithError("Save_Array failed");
    state.counters["fields"] = a.ArrayRef().UBound(1) - a.ArrayRef().LBound(1) + 1;
    state.counters["records"] = a.ArrayRef().UBound(2) - a.ArrayRef().LBound(2);
}

void BM_OpenArray(benchmark::State& state)
{
    Window& w = window();
    w.fill();
    platform::Variant a = w.files.Save_Array();
    for (auto _ : state)
        if (!w.files.Open_Array(a)) state.SkipWithError("Open_Array failed");
    state.counters["rows"] = w.rows();
}

void BM_RouteLoad(benchmark::State& state, const char* kind)
{
    Window& w = window();
    const std::string k = kind;
    w.fill_routes();
    if (!(k == "txt" ? w.files.Save_TextFile(at("routes.txt"), ";", false)
                     : w.files.Shapefile_Save("Point", false, at("routes.shp"), false)))
        return state.SkipWithError("save failed");
    for (auto _ : state) {
        bool ok = k == "txt"   ? w.files.Open_Textfile(at("routes.txt"))
                  : k == "shp" ? w.files.Shapefile_Load(at("routes.shp"))
                               : w.files.Open_DBF(at("routes.dbf"));
        if (!ok) state.SkipWithError("load failed");
    }
    state.counters["rows"] = w.rows();
    w.fill();
}

BENCHMARK_CAPTURE(BM_Save, shapefile, "shp")->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(BM_Save, dbf, "dbf")->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(BM_Save, text, "txt")->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(BM_Load, shapefile, "shp")->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_Load, dbf, "dbf")->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_Load, text, "txt")->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Ogr2ogr)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_KmlSave)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GpsbabelKmlSave)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_KmlLoad)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GpsbabelKmlLoad)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LowranceLoad)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GpsbabelLowranceLoad)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SaveArray)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_OpenArray)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK_CAPTURE(BM_RouteLoad, text, "txt")->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(BM_RouteLoad, shapefile, "shp")->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(BM_RouteLoad, shapefile_dbf, "dbf")->Unit(benchmark::kMillisecond)->Iterations(2);


} // namespace

BENCHMARK_MAIN();
