// A full waypoint table (32,766 rows) through the KML and Lowrance text
// formats, against gpsbabel doing the same conversions in the same run:
//   KML save              vs  gpsbabel -i unicsv -o kml   (same points)
//   KML load, projected   vs  gpsbabel -i kml -o unicsv   (our KML file)
//   Lowrance load         vs  gpsbabel -i csv -o unicsv   (our Lowrance file)
// and the ArcMap link's arrays: Save_Array of the table, Open_Array of that
// array. The projection is UTM zone 15N, so every load computes x_proj and
// y_proj. Counters: rows loaded, fields of the array; before_MB, the resident
// size before the KML load, and peak_MB, the highest resident size during it.
#include "main/app/compose.h"
#include "main/app/frm_main.h"
#include "main/coords/coords.h"
#include "main/files/files.h"
#include "main/files/table_files.h"
#include "main/table/table.h"
#include "platform/events/fake_events.h"
#include "platform/serial/portmap.h"
#include "platform/settings/settings.h"
#include "platform/ui/cursor.h"
#include "platform/ui/scripted_dialogs.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

const std::string& scratch()
{
    static const std::string dir = [] {
        char tmpl[] = "/tmp/tf-bench-files-XXXXXX";
        static const std::string made = ::mkdtemp(tmpl);
        std::atexit([] { std::filesystem::remove_all(made); });
        return made;
    }();
    return dir;
}

std::string at(const char* name) { return scratch() + "/" + name; }

std::string lat_of(int i) { return std::to_string(45.0 + (i % 1000) * 1e-3); }
std::string lon_of(int i) { return std::to_string(-93.0 - (i / 1000) * 1e-3); }

// The main window over a scratch program folder whose catalogue holds the
// projection, with the full table.
struct Window {
    Window()
        : settings(at("trekfold.ini")), ports(&settings), main({settings, dialogs, cursor, pump, ports}, scratch()),
          files(main)
    {
        dialogs.set_quiet(true);
        dialogs.set_log([](const std::string&) {});
        app::install_subsystems(main);
        std::filesystem::create_directories(at("proj/nad"));
        std::ofstream(at("proj/nad/epsg"), std::ios::binary)
            << "# WGS 84\n<4326> +proj=longlat +datum=WGS84 +no_defs  no_defs <>\n"
               "# WGS 84 / UTM zone 15N\n<32615> +proj=utm +zone=15 +datum=WGS84 +units=m +no_defs  no_defs <>\n";
        settings.SaveSetting("proj", "proj", "32615");
        settings.SaveSetting("proj", "projfile", "epsg");
        main.coords().LoadProjections("epsg");
        fill();
    }
    void fill()
    {
        main.state().record_type = "waypoint";
        auto& t = main.table();
        t.Table_SetType("waypoint");
        const std::string cols = std::to_string(t.Column_Find("ident", true)) + ";" +
                                 std::to_string(t.Column_Find("lat", true)) + ";" +
                                 std::to_string(t.Column_Find("long", true)) + ";" +
                                 std::to_string(t.Column_Find("comment", true));
        for (int i = 0; i < flxgrd::kMaxRecords; ++i)
            t.Records_InsertValues({"W" + std::to_string(i), lat_of(i), lon_of(i), "note " + std::to_string(i)}, cols);
        main.coords().Project_Table(true);
    }
    int rows() const { return main.MSFlexGrid1.Rows() - 1; }

    platform::Settings settings;
    platform::ScriptedDialogs dialogs;
    platform::RecordingCursor cursor;
    platform::FakeEventPump pump;
    platform::PortMap ports;
    app::frmMain main;
    files::TableFiles files;
};

Window& window()
{
    static Window w;
    return w;
}

// A line of /proc/self/status ("VmRSS", "VmHWM") in MB; -1 when absent.
double status_MB(const std::string& key)
{
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);)
        if (line.compare(0, key.size() + 1, key + ":") == 0) return std::stod(line.substr(key.size() + 1)) / 1024.0;
    return -1;
}

// Starts a new peak: the kernel's high-water mark drops to the present size.
void reset_peak() { std::ofstream("/proc/self/clear_refs") << "5"; }

void shell(benchmark::State& state, const std::string& command)
{
    for (auto _ : state)
        if (std::system((command + " >/dev/null 2>&1").c_str()) != 0) state.SkipWithError(command.c_str());
}

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
    state.counters["before_MB"] = status_MB("VmRSS");
    reset_peak();
    for (auto _ : state)
        if (!files::KMLFile_Load(w.main, "point", at("w.kml"))) state.SkipWithError("KML load failed");
    state.counters["rows"] = w.rows();
    state.counters["peak_MB"] = status_MB("VmHWM");
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

BENCHMARK(BM_KmlSave)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GpsbabelKmlSave)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_KmlLoad)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GpsbabelKmlLoad)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_LowranceLoad)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_GpsbabelLowranceLoad)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SaveArray)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_OpenArray)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

BENCHMARK_MAIN();
