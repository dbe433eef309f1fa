// A 10,000-point track downloaded through the main window (rows,
// projection, local times) from the simulator pacing its line at 115200
// baud; bench_transfer times the control's own download of the same track.
#include "tests/main/transfer/receiver.h"
#include "bench/support/process.h"

#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

namespace {

using nlohmann::json;

gpsim::Scenario long_track(int points)
{
    json pts = json::array();
    for (int i = 0; i < points; ++i)
        pts.push_back({{"lat", 45.0 + i * 1e-5}, {"lon", -93.0 - i * 1e-5}, {"alt", 250.0 + i % 50},
                       {"time", 1000000 + i}});
    json j{{"name", "bench-unit"},
           {"product", {{"id", 1000}, {"version", 3.1}, {"descriptions", {"Bench Unit Software Version 3.10"}}}},
           {"protocol_array", {"P000", "L001", "A010", "A100", "D110", "A201", "D202", "D110", "D210", "A301",
                               "D312", "D302"}},
           {"serial", {{"speed", 115200}}},
           {"tracks", json::array({json{{"ident", "LONG"}, {"color", 1}, {"display", true}, {"points", pts}}})}};
    return gpsim::parse_scenario(j, "bench");
}

gpsim::Options paced()
{
    gpsim::Options o;
    o.pace = true;
    return o;
}

// The window linked at 115200 baud to a pacing unit with a track of `points`.
struct Paced {
    explicit Paced(int points) : unit(long_track(points), paced()), w(unit, "115200,N,8,1") {}
    receivertest::Unit unit;
    receivertest::Window w;
};

void BM_WindowTrackDownload10000(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        Paced p(10000);
        receivertest::Window& w = p.w;
        state.ResumeTiming();
        w.run("mnuTDownload");
        state.PauseTiming();
        if (w.rows() != 10000) state.SkipWithError("rows missing");
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WindowTrackDownload10000)->Unit(benchmark::kMillisecond)->Iterations(1);

// 1,000 waypoints from the table up the serial road at 115200 baud, one
// step per acknowledgement (bench_transfer: the control's own upload).
void BM_WindowWaypointUpload1000(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        Paced p(0);
        receivertest::Window& w = p.w;
        w.main.state().record_type = "waypoint";
        w.main.table().Table_SetType("waypoint");
        for (int i = 0; i < 1000; ++i)
            w.main.table().Records_Insert("WAYPOINT;W" + std::to_string(i) + ";" + std::to_string(45.0 + i * 1e-3) +
                                              ";-93;0;0;BENCH WAYPOINT;0;18",
                                          "", "", ";", false);
        state.ResumeTiming();
        w.run("mnuWUpload");
        state.PauseTiming();
        if (w.main.state().record_counter != 1000) state.SkipWithError("waypoints missing");
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WindowWaypointUpload1000)->Unit(benchmark::kMillisecond)->Iterations(1);

// 1,000 waypoints at 115200 baud: through the main window as above, and
// by the program in quiet mode as a script runs it, from its start to its
// exit with the shapefile written (the simulator a process of its own,
// started before the clock runs).
json waypoint_unit(int count)
{
    json wpts = json::array();
    for (int i = 0; i < count; ++i)
        wpts.push_back({{"ident", "W" + std::to_string(i)}, {"lat", 45.0 + i * 1e-3}, {"lon", -93.0},
                        {"symbol", 18}, {"comment", "BENCH WAYPOINT"}});
    return {{"name", "bench-unit"},
            {"product", {{"id", 1000}, {"version", 3.1}, {"descriptions", {"Bench Unit Software Version 3.10"}}}},
            {"protocol_array", {"P000", "L001", "A010", "A100", "D108", "A201", "D202", "D108", "D210", "A301",
                                "D312", "D302"}},
            {"serial", {{"speed", 115200}}},
            {"waypoints", wpts}};
}

void BM_WindowWaypointDownload1000(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        receivertest::Unit unit(gpsim::parse_scenario(waypoint_unit(1000), "bench"), paced());
        receivertest::Window w(unit, "115200,N,8,1");
        state.ResumeTiming();
        w.run("mnuWDownload");
        state.PauseTiming();
        if (w.rows() != 1000) state.SkipWithError("rows missing");
        state.ResumeTiming();
    }
}
BENCHMARK(BM_WindowWaypointDownload1000)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

void BM_QuietWaypointDownload1000StartToExit(benchmark::State& state)
{
    const std::string d = receivertest::Window::make_dir();
    std::filesystem::create_directories(d + "/home/trekfold");
    std::ofstream(d + "/home/trekfold/trekfold.ini") << "[port]\nport=7\nSettings=115200,N,8,1\n";
    std::ofstream(d + "/unit.json") << waypoint_unit(1000).dump();
    const std::string link = d + "/com7";
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM XDG_CONFIG_HOME=" + d +
                                "/home TMPDIR=" + d + " TEMP=" + d + " TREKFOLD_DDE_DIR=" + d + "/dde TREKFOLD_COM7=" +
                                link + " TREKFOLD_DRIVES=" + d + "/none " TREKFOLD_BINARY_DIR "/bin/trekfold " +
                                "quiet,download,waypoint,point," + d + "/w.shp";
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::remove(d + "/w.shp");
        const pid_t sim = ::fork();
        if (sim == 0) {
            const int null = ::open("/dev/null", O_WRONLY);
            ::dup2(null, 1); // its terminal's path
            ::execl(TREKFOLD_BINARY_DIR "/bin/gpsim", "gpsim", "--scenario", (d + "/unit.json").c_str(), "--link",
                    link.c_str(), "--pace", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        // Its link appears once it answers.
        for (int i = 0; i < 60000 && !std::filesystem::exists(link); ++i) ::usleep(1000);
        state.ResumeTiming();
        const bool ok = benchsupport::run(command);
        state.PauseTiming();
        ::kill(sim, SIGTERM);
        ::waitpid(sim, nullptr, 0);
        if (!ok || !std::filesystem::exists(d + "/w.shp")) state.SkipWithError("the quiet download failed");
        state.ResumeTiming();
    }
    std::filesystem::remove_all(d);
}
BENCHMARK(BM_QuietWaypointDownload1000StartToExit)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

} // namespace
