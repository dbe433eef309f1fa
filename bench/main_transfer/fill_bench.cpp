// The table fill of a track download: 10,000 points handed over by a fake
// control, each through the dispatch into a row (projection apart), and
// the process's memory after it. The same for a route download of 3,276
// routes of 10 points (header, points and links).
#include "tests/main/transfer/drive.h"

#include "bench/support/process.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <string>

namespace {

constexpr int kPoints = 10000;

long resident_kb() { return benchsupport::status_kb("VmRSS"); }

void BM_TrackFill10000(benchmark::State& state)
{
    long grown = 0;
    for (auto _ : state) {
        state.PauseTiming();
        apptest::Drive d;
        std::vector<std::pair<const char*, std::function<void()>>> points;
        int i = 0;
        for (int k = 0; k < kPoints; ++k)
            points.push_back({"PID_Trk_Data", [&d, &i] {
                                  d.garmin.track.Lat = 45.0 + i * 1e-5;
                                  d.garmin.track.Lon = -93.0 - i * 1e-5;
                                  d.garmin.track.Time = "2024/06/01-09:00:00";
                                  ++i;
                              }});
        d.play("Request_Tracks", kPoints, points);
        const long before = resident_kb();
        state.ResumeTiming();
        transfer::mnuTDownload_Click(d.main);
        state.PauseTiming();
        if (d.main.MSFlexGrid1.Rows() - 1 != kPoints) state.SkipWithError("rows missing");
        grown = resident_kb() - before;
        state.ResumeTiming();
    }
    state.counters["rows_MB"] = grown / 1024.0;
}
BENCHMARK(BM_TrackFill10000)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_RouteFill3276x10(benchmark::State& state)
{
    constexpr int kRoutes = 3276, kPoints = 10;
    for (auto _ : state) {
        state.PauseTiming();
        apptest::Drive d;
        d.garmin.names["Route_Header_Format"] = "D201";
        std::vector<std::pair<const char*, std::function<void()>>> packets;
        int route = 0, point = 0;
        for (int r = 0; r < kRoutes; ++r) {
            packets.push_back({"PID_Rte_Hdr", [&d, &route] {
                                   d.garmin.route.Number = static_cast<std::int16_t>(++route % 100);
                                   d.garmin.route.Cmnt = "ROUTE " + std::to_string(route);
                               }});
            for (int k = 0; k < kPoints; ++k) {
                if (k) packets.push_back({"PID_Rte_Link", nullptr});
                packets.push_back({"PID_Rte_Wpt_Data", [&d, &point] {
                                       ++point;
                                       d.garmin.waypoint.Ident = "P" + std::to_string(point);
                                       d.garmin.waypoint.Lat = 45.0 + point * 1e-5;
                                       d.garmin.waypoint.Lon = -93.0 - point * 1e-5;
                                   }});
            }
        }
        d.play("Request_Routes", int(packets.size()), packets);
        state.ResumeTiming();
        transfer::mnuRDownload_Click(d.main);
        state.PauseTiming();
        if (d.main.MSFlexGrid1.Rows() - 1 != kRoutes * kPoints) state.SkipWithError("rows missing");
        state.ResumeTiming();
    }
}
BENCHMARK(BM_RouteFill3276x10)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
