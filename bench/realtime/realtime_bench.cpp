// One kept real-time fix through the point flow of the main window, with a
// fake control, a fake clock and no GIS program running.
#include "tests/main/realtime/realtime_rig.h"

#include "main/coords/coords.h"
#include "main/files/files.h"
#include "main/files/table_files.h"

#include <benchmark/benchmark.h>
#include <shapefil.h>

#include <filesystem>
#include <fcntl.h>
#include <unistd.h>
#include <fstream>

namespace {

using rttest::Tracker;

long rss_kb()
{
    std::ifstream in("/proc/self/statm");
    long pages = 0, resident = 0;
    in >> pages >> resident;
    return resident * (::sysconf(_SC_PAGESIZE) / 1024);
}

// Tracking started, a point output file attached and recording, holding
// `shapes` shapes already.
struct Recording {
    Tracker t{false, true};
    std::string shp;
    double lat = 45.0;
    explicit Recording(int shapes, bool log = false)
    {
        // A projection list of the program folder, read by the real coordinates.
        std::filesystem::create_directories(t.dir.path + "/proj/nad");
        std::ofstream(t.dir.path + "/proj/nad/epsg")
            << "# WGS 84 / UTM zone 15N\n<32615> +proj=utm +zone=15 +datum=WGS84 +units=m +no_defs  no_defs <>\n";
        t.main.set_coords(coords::make_coordinates(t.main));
        t.settings.SaveSetting("proj", "projfile", "epsg");
        t.settings.SaveSetting("proj", "proj", "32615");
        t.main.coords().LoadProjections("epsg");
        if (log) {
            t.settings.SaveSetting("fields", "rtimeTextFile", "1");
            t.settings.SaveSetting("fields", "rtimetextloc", t.dir.path + "/rt.txt");
        }
        t.start();
        // The fake clock moves a second a fix: the GIS detection timer
        // would run every tenth fix, which is no part of a fix's cost.
        t.main.Timer1->set_enabled(false);
        if (shapes < 0) return;
        shp = t.dir.path + "/pts.shp";
        t.dialogs.file(shp);
        t.w().Click("cmdLoad");
        t.w().Click("cmdControls", 1);
        t.dialogs.clear();
        for (int i = 0; i < shapes; ++i) next();
        t.main.table().Table_Clear(); // the table's own limit stays far
    }
    void next()
    {
        t.fix(lat += 1e-5, -93.1);
        // The test rig's own call log is not the program's memory.
        if (t.log.size() > 1000) t.log.clear();
        if (!t.dialogs.boxes().empty()) throw std::runtime_error("a box: " + t.dialogs.boxes().front().text);
    }
};

void BM_KeptFixTableProjectionPointFile(benchmark::State& state)
{
    Recording r(int(state.range(0)));
    for (auto _ : state) r.next();
    state.counters["shapes_after"] = double(std::stoi(r.t.w().control("lblCount(0)").caption));
}
BENCHMARK(BM_KeptFixTableProjectionPointFile)->Arg(10)->Arg(1000)->Arg(10000)->Iterations(2000)->Unit(benchmark::kMillisecond);

// The point append alone: the program's writer and shapelib's, each into a
// set of 10,000 points.
void BM_PointAppendProgram(benchmark::State& state)
{
    Recording r(-1);
    auto* fe = dynamic_cast<files::FileFrontEnd*>(&r.t.main.files());
    const std::string shp = r.t.dir.path + "/own.shp";
    std::int32_t count = 0;
    fe->table_files().Shapefile_NewEmpty("point", shp, false, count);
    std::vector<std::vector<std::string>> v = {{"ident", "rt"}, {"x_proj", "500000"}, {"y_proj", "4990000"}};
    std::int32_t counter = 0;
    for (int i = 0; i < 10000; ++i) fe->table_files().Shapefile_SaveFromArray("point", v, shp, true, "", counter);
    double x = 0;
    for (auto _ : state) {
        v[1][1] = std::to_string(500000 + (x += 1));
        if (!fe->table_files().Shapefile_SaveFromArray("point", v, shp, true, "", counter)) state.SkipWithError("failed");
    }
}
BENCHMARK(BM_PointAppendProgram)->Iterations(2000)->Unit(benchmark::kMicrosecond);

void BM_PointAppendShapelib(benchmark::State& state)
{
    apptest::TempDir dir;
    const std::string base = dir.path + "/peer";
    SHPHandle h = SHPCreate(base.c_str(), SHPT_POINT);
    DBFHandle d = DBFCreate(base.c_str());
    DBFAddField(d, "ident", FTString, 30, 0);
    SHPClose(h);
    DBFClose(d);
    auto append = [&](double x) {
        SHPHandle h = SHPOpen((base + ".shp").c_str(), "r+b");
        DBFHandle d = DBFOpen((base + ".dbf").c_str(), "r+b");
        double y = 4990000;
        SHPObject* o = SHPCreateSimpleObject(SHPT_POINT, 1, &x, &y, nullptr);
        const int rec = SHPWriteObject(h, -1, o);
        SHPDestroyObject(o);
        DBFWriteStringAttribute(d, rec, 0, "rt");
        SHPClose(h);
        DBFClose(d);
    };
    for (int i = 0; i < 10000; ++i) append(500000 + i);
    double x = 0;
    for (auto _ : state) append(600000 + (x += 1));
}
BENCHMARK(BM_PointAppendShapelib)->Iterations(2000)->Unit(benchmark::kMicrosecond);

// The same, each append put on disk as the program's is (three fsyncs).
void BM_PointAppendShapelibSynced(benchmark::State& state)
{
    apptest::TempDir dir;
    const std::string base = dir.path + "/peer";
    SHPClose(SHPCreate(base.c_str(), SHPT_POINT));
    DBFHandle d0 = DBFCreate(base.c_str());
    DBFAddField(d0, "ident", FTString, 30, 0);
    DBFClose(d0);
    auto append = [&](double x, bool sync) {
        SHPHandle h = SHPOpen((base + ".shp").c_str(), "r+b");
        DBFHandle d = DBFOpen((base + ".dbf").c_str(), "r+b");
        double y = 4990000;
        SHPObject* o = SHPCreateSimpleObject(SHPT_POINT, 1, &x, &y, nullptr);
        const int rec = SHPWriteObject(h, -1, o);
        SHPDestroyObject(o);
        DBFWriteStringAttribute(d, rec, 0, "rt");
        SHPClose(h);
        DBFClose(d);
        if (!sync) return;
        for (const char* ext : {".shp", ".shx", ".dbf"}) {
            const int fd = ::open((base + ext).c_str(), O_RDONLY | O_CLOEXEC);
            if (fd >= 0) ::fsync(fd), ::close(fd);
        }
    };
    for (int i = 0; i < 10000; ++i) append(500000 + i, false);
    double x = 0;
    for (auto _ : state) append(600000 + (x += 1), true);
}
BENCHMARK(BM_PointAppendShapelibSynced)->Iterations(2000)->Unit(benchmark::kMicrosecond);

void BM_LogAppend(benchmark::State& state)
{
    Recording r(-1);
    auto* fe = dynamic_cast<files::FileFrontEnd*>(&r.t.main.files());
    const std::string log = r.t.dir.path + "/append.txt";
    const std::string row = "RTIMEWPT;rt1;45.10000000;-93.10000000;4994064.09368362;492132.19211496;312;1.5;2.1;3.0;;;;;;;;;3;"
                            "0.12;-0.40;0.01;;;7/4/2006;9:5:30";
    const long before = rss_kb();
    for (auto _ : state) {
        std::string line = row;
        if (!fe->table_files().Textfile_Save(line, log, true)) state.SkipWithError("failed");
    }
    state.counters["rss_kb_growth"] = double(rss_kb() - before);
}
BENCHMARK(BM_LogAppend)->Iterations(100000)->Unit(benchmark::kMicrosecond);

// 100,000 fixes logged: the resident memory after the first 10,000 and at
// the end.
void BM_LoggedFixesMemory(benchmark::State& state)
{
    for (auto _ : state) {
        Recording r(-1, true);
        for (int i = 0; i < 10000; ++i) r.next();
        const long at10k = rss_kb();
        for (int i = 10000; i < 100000; ++i) r.next();
        state.counters["rss_kb_at_10000"] = double(at10k);
        state.counters["rss_kb_at_100000"] = double(rss_kb());
        state.counters["log_lines"] = double(r.t.main.state().record_counter);
    }
}
BENCHMARK(BM_LoggedFixesMemory)->Iterations(1)->Unit(benchmark::kSecond);

} // namespace
