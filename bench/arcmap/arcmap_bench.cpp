// RT_SendPoint per fix with an empty map and over a 10,000-marker trail,
// and project_XYs of 32,766 pairs against cs2cs on the same points; the
// same calls attached to a served map host in another process, and the
// attached round trip of Get_WindowHandle.
#include "arcmap/detail/bas_arcmap_code.h"
#include "arcmap/trekfold_arcmap.h"
#include "bench/support/process.h"
#include "bench/support/scratch.h"
#include "platform/arcobjects/application.h"
#include "platform/arcobjects/served.h"
#include "platform/automation/class_registry.h"
#include "platform/events/events.h"
#include "platform/ui/scripted_dialogs.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include <csignal>
#include <filesystem>
#include <fstream>

namespace {

namespace ao = platform::arcobjects;
using platform::Variant;

constexpr int kPairs = 32766;

struct Host {
    platform::ClassRegistry registry;
    platform::ScriptedDialogs dialogs;
    ao::MxApplicationRef app;
    platform::ObjectRef arcmap;
    Host()
    {
        platform::LibraryServices s;
        s.dialogs = &dialogs;
        registry.SetServices(s);
        trekfold_arcmap::Register(registry);
        app = std::make_shared<ao::MxApplication>(registry);
        ao::As<ao::ICommand>(registry.CreateObject("TREKFOLD_ARCMAP.clsCommandOpen"))->OnCreate(app);
        arcmap = registry.CreateObject("Trekfold_ArcMap.clsArcMap");
        ao::Map& map = *app->Document()->FocusMap;
        map.SpatialReference = ao::SpatialReference::FromCode(26915);
        map.View()->Extent = ao::Envelope::Of(460000, 5010000, 462000, 5012000);
    }
    ~Host() { trekfold_arcmap::basArcMapCode::Application().reset(); }
    bool fix(int i)
    {
        // A walk east and back inside the view, in the trail style with panning.
        const double lon = -93.5 + 0.00001 * (i % 200), lat = 45.25;
        std::vector<Variant> a{lon, lat, 460764.0 + i % 200, 5010844.0, 0.75, 5.0, std::int16_t(2), true, 90.0, 0.0, false};
        return platform::CallByName(*arcmap, "RT_SendPoint", a).ToBool();
    }
};

// Fixes over a trail of range(0) markers, in a map in UTM zone 15
// (range(1) = 1: each fix projected) or one without a coordinate system
// (the projected values placed as they are). The trail is laid first
// without projection.
void BM_RT_SendPoint(benchmark::State& state)
{
    Host h;
    ao::Map& map = *h.app->Document()->FocusMap;
    const auto utm = map.SpatialReference;
    map.SpatialReference = nullptr;
    for (int i = 0; i < state.range(0); ++i) h.fix(i);
    if (state.range(1)) map.SpatialReference = utm;
    int i = 0;
    for (auto _ : state)
        if (!h.fix(i++)) state.SkipWithError("RT_SendPoint returned False");
    state.counters["markers"] = double(state.range(0));
}
BENCHMARK(BM_RT_SendPoint)->ArgsProduct({{0, 10000}, {0, 1}})->Unit(benchmark::kMicrosecond);

// Points spread over zone 15 (longitude -96..-90, latitude 40..49).
double lon(int i) { return -96.0 + 6.0 * (i % 1000) / 1000.0; }
double lat(int i) { return 40.0 + 9.0 * (i / 1000) / 33.0; }

platform::VariantArray pairs()
{
    platform::VariantArray outer(0, kPairs);
    for (int i = 0; i < kPairs; ++i) {
        platform::VariantArray p(0, 2);
        p.at(0) = lon(i), p.at(1) = lat(i);
        outer.at(i) = Variant(std::move(p));
    }
    return outer;
}

// project_XYs of the pairs to UTM zone 15 on `arcmap`, a fresh copy each
// time, called as the program calls it: the pairs passed by reference and
// read back projected.
void time_project_XYs(benchmark::State& state, platform::Dispatch& arcmap)
{
    const std::string utm15 = ao::SpatialReference::FromCode(26915)->Text();
    const platform::VariantArray fresh = pairs();
    for (auto _ : state) {
        state.PauseTiming();
        std::vector<Variant> a{Variant(fresh), false, "", utm15};
        state.ResumeTiming();
        if (!arcmap.Invoke(platform::IdOfName(arcmap, "project_XYs"), platform::InvokeKind::Method, a).ToBool() ||
            a[0].ToArray().at(kPairs - 1).ToArray().at(0).ToDouble() < 100000)
            state.SkipWithError("project_XYs failed");
    }
    state.counters["pairs"] = kPairs;
}

void BM_project_XYs(benchmark::State& state)
{
    Host h;
    time_project_XYs(state, *h.arcmap);
}
BENCHMARK(BM_project_XYs)->Unit(benchmark::kMillisecond);

// cs2cs from WGS84 to NAD 83 / UTM zone 15N on the same points.
void BM_Cs2cs(benchmark::State& state)
{
    const std::string points = benchsupport::at("points.txt");
    {
        std::ofstream out(points);
        out.precision(17);
        for (int i = 0; i < kPairs; ++i) out << lon(i) << ' ' << lat(i) << '\n';
    }
    benchsupport::shell(state, "cs2cs -f %.10f +proj=longlat +datum=WGS84 +to EPSG:26915 < " + points);
}
BENCHMARK(BM_Cs2cs)->Unit(benchmark::kMillisecond);

// A served map host with the extension and a document in UTM zone 15, run
// as its own process; its toolbar docked and one class object made there.
struct Served {
    std::string dir;
    FILE* out = nullptr;
    platform::ObjectRef arcmap;
    Served()
    {
        static int argc = 1;
        static char name[] = "bench_arcmap";
        static char* argv[] = {name, nullptr};
        static QCoreApplication qt(argc, argv);
        dir = benchsupport::at("served");
        std::filesystem::create_directories(dir + "/apps");
        std::filesystem::create_directories(dir + "/windows");
        std::filesystem::permissions(dir + "/apps", std::filesystem::perms::owner_all);
        std::filesystem::permissions(dir + "/windows", std::filesystem::perms::owner_all);
        ::setenv("TREKFOLD_APPS_DIR", (dir + "/apps").c_str(), 1);
        ::setenv("TREKFOLD_WINDOWS_DIR", (dir + "/windows").c_str(), 1);
        std::ofstream(dir + "/doc.json")
            << R"({"maps":[{"spatial_reference":26915,"extent":[460000,5010000,462000,5012000]}]})";
        const std::string bin = TREKFOLD_BINARY_DIR "/bin/";
        // Its lines (a redraw per fix) go to a file, so it never waits on a pipe.
        out = ::popen(("exec " + bin + "maphost --serve --headless --no-launch --extension " + bin +
                       "libtrekfold_arcgis.so --doc " + dir + "/doc.json >" + dir + "/host.out")
                          .c_str(),
                      "r");
        platform::EventPump& pump = platform::qt_event_pump();
        platform::ObjectRef root;
        const std::int64_t end = pump.clock().now_us() + 60'000'000;
        while (!root && pump.clock().now_us() < end) {
            try {
                const auto hosts = ao::Served_Handles();
                if (!hosts.empty()) root = ao::Attach_Host(hosts[0], &pump);
            } catch (const platform::VbError&) {
                // Bound but not listening yet.
            }
            if (!root) pump.wait_until([] { return false; }, pump.clock().now_us() + 20'000);
        }
        if (!root) return;
        platform::ObjectRef bar =
            platform::CallByName(*root, "FindBar", {Variant("{F1F911DD-E0FD-4267-8A53-2E8FC5C0470A}")}).ToObject();
        platform::CallByName(*bar, "Dock", {Variant(std::int32_t(32))});
        arcmap = platform::CallByName(*root, "Create", {Variant("Trekfold_ArcMap.clsArcMap")}).ToObject();
    }
    ~Served()
    {
        arcmap.reset();
        for (auto h : ao::Served_Handles()) {
            std::ifstream w(dir + "/windows/" + std::to_string(h));
            pid_t pid = 0;
            if (w >> pid && pid > 0) ::kill(pid, SIGTERM);
        }
        if (out) ::pclose(out);
        std::filesystem::remove_all(dir);
    }
    static Served& get()
    {
        static Served s;
        return s;
    }
};

void BM_Attached_Get_WindowHandle(benchmark::State& state)
{
    Served& s = Served::get();
    if (!s.arcmap) return state.SkipWithError("no served host");
    for (auto _ : state) benchmark::DoNotOptimize(platform::CallByName(*s.arcmap, "Get_WindowHandle"));
}
BENCHMARK(BM_Attached_Get_WindowHandle)->Unit(benchmark::kMicrosecond);

void BM_Attached_project_XYs(benchmark::State& state)
{
    Served& s = Served::get();
    if (!s.arcmap) return state.SkipWithError("no served host");
    time_project_XYs(state, *s.arcmap);
}
BENCHMARK(BM_Attached_project_XYs)->Unit(benchmark::kMillisecond);

void BM_Attached_RT_SendPoint(benchmark::State& state)
{
    Served& s = Served::get();
    if (!s.arcmap) return state.SkipWithError("no served host");
    int i = 0;
    for (auto _ : state) {
        const double lon = -93.5 + 0.00001 * (i % 200), lat = 45.25;
        std::vector<Variant> a{lon, lat, 460764.0 + i % 200, 5010844.0, 0.75, 5.0, std::int16_t(2), true, 90.0, 0.0, false};
        ++i;
        if (!platform::CallByName(*s.arcmap, "RT_SendPoint", a).ToBool()) state.SkipWithError("RT_SendPoint returned False");
    }
}
BENCHMARK(BM_Attached_RT_SendPoint)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
