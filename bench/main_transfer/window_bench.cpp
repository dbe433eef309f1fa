// A 10,000-point track downloaded through the main window (rows,
// projection, local times) from the simulator pacing its line at 115200
// baud; bench_transfer times the control's own download of the same track.
#include "tests/main/transfer/receiver.h"

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

} // namespace
