// Saving and loading 32,766 waypoints (the default fields) as a shapefile,
// a dBASE table and delimited text, against ogr2ogr converting the same
// records CSV -> shapefile -> CSV in the same run. Counter peak_MB: the
// process's highest resident size after the loads.
#include "main/app/compose.h"
#include "main/app/frm_main.h"
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
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

const std::string& scratch()
{
    static const std::string dir = [] {
        char tmpl[] = "/tmp/tf-bench-tablefiles-XXXXXX";
        static const std::string made = ::mkdtemp(tmpl);
        std::atexit([] { std::filesystem::remove_all(made); });
        return made;
    }();
    return dir;
}

struct Window {
    Window()
        : settings(scratch() + "/trekfold.ini"), ports(&settings),
          main({settings, dialogs, cursor, pump, ports}, "/opt/trekfold"), files(main)
    {
        dialogs.set_quiet(true);
        dialogs.set_log([](const std::string&) {});
        app::install_subsystems(main);
        settings.SaveSetting("proj", "proj", "4326");
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
            const std::string la = std::to_string(45.0 + (i % 1000) * 1e-3), lo = std::to_string(-75.0 - (i / 1000) * 1e-3);
            t.Records_InsertValues({"W" + std::to_string(i), la, lo, la, lo, "note " + std::to_string(i)}, cols);
        }
        files.show_fields = [](files::frmFields& f) { f.cmdOK_Click(); };
    }
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

void peak(benchmark::State& state)
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    state.counters["peak_MB"] = double(u.ru_maxrss) / 1024.0;
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
    peak(state);
}

void BM_Ogr2ogr(benchmark::State& state)
{
    window().files.Save_TextFile(scratch() + "/w.csv", ",", false);
    const std::string d = scratch();
    const std::string cmd = "rm -f " + d + "/ogr.* && ogr2ogr -f 'ESRI Shapefile' " + d + "/ogr.shp " + d +
                            "/w.csv -oo X_POSSIBLE_NAMES=long -oo Y_POSSIBLE_NAMES=lat >/dev/null 2>&1 && ogr2ogr "
                            "-f CSV " + d + "/ogr.csv " + d + "/ogr.shp >/dev/null 2>&1";
    for (auto _ : state)
        if (std::system(cmd.c_str()) != 0) state.SkipWithError("ogr2ogr failed");
}

BENCHMARK_CAPTURE(BM_Save, shapefile, "shp")->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(BM_Save, dbf, "dbf")->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(BM_Save, text, "txt")->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK_CAPTURE(BM_Load, shapefile, "shp")->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_Load, dbf, "dbf")->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_Load, text, "txt")->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_Ogr2ogr)->Unit(benchmark::kMillisecond)->Iterations(2);

} // namespace

BENCHMARK_MAIN();
