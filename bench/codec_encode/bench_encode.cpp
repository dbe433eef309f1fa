// Encode throughput per record format (packets per second, bytes per second).
#include "device/protocols/codec/encode.h"

#include <benchmark/benchmark.h>

#include <array>
#include <string_view>

using namespace brenvik;

namespace {

cWaypoint waypoint()
{
    cWaypoint w;
    w.Ident = "Lake Harriet";
    w.Lat = 44.9213;
    w.Lon = -93.3057;
    w.Cmnt = "Bandshell, north shore";
    w.Smbl = 18;
    w.Dspl = 1;
    w.Color = 5;
    w.Dist = 25;
    w.Alt = 262.4f;
    w.Wpt_Class = 0;
    w.State = "MN";
    w.Country = "US";
    w.City = "Minneapolis";
    w.Facility = "Park";
    w.Address = "4135 W Lake Harriet Pkwy";
    w.Cross_Road = "Queen Ave S";
    w.Link = "www.example.org";
    w.Time = "2006/06/21-12:30:00";
    return w;
}

constexpr std::array<std::string_view, 19> waypoint_formats = {
    "D100", "D101", "D102", "D103", "D104", "D105", "D106", "D107", "D108", "D109",
    "D110", "D150", "D151", "D152", "D154", "D155", "D400", "D403", "D450"};

void BM_Encode_Waypoint(benchmark::State& state)
{
    const std::string_view format = waypoint_formats[static_cast<std::size_t>(state.range(0))];
    state.SetLabel(std::string(format));
    const cWaypoint w = waypoint();
    std::size_t bytes = 0;
    for (auto _ : state) {
        Encoded p = Encode_Waypoint(format, w, 35, false);
        bytes += p->size();
        benchmark::DoNotOptimize(p);
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
}
BENCHMARK(BM_Encode_Waypoint)->DenseRange(0, waypoint_formats.size() - 1);

constexpr std::array<std::string_view, 5> point_formats = {"D300", "D301", "D302", "D303", "D304"};

void BM_Encode_Track_Point(benchmark::State& state)
{
    const std::string_view format = point_formats[static_cast<std::size_t>(state.range(0))];
    state.SetLabel(std::string(format));
    cTrack t;
    t.Lat = 44.9213;
    t.Lon = -93.3057;
    t.Time = "2006/06/21-12:30:00"; // parsed on every point: Seconds is 0
    t.Alt = 262.4f;
    for (auto _ : state) {
        Encoded p = Encode_Track_Point(format, t, 34);
        benchmark::DoNotOptimize(p);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Encode_Track_Point)->DenseRange(0, point_formats.size() - 1);

constexpr std::array<std::string_view, 6> header_formats = {"D200", "D201", "D202",
                                                            "D310", "D311", "D312"};

void BM_Encode_Header(benchmark::State& state)
{
    const std::string_view format = header_formats[static_cast<std::size_t>(state.range(0))];
    state.SetLabel(std::string(format));
    cRoute r;
    r.Number = 3;
    r.Ident = "Around the lakes";
    cTrack t;
    t.Ident = "Morning run";
    t.Dspl = true;
    for (auto _ : state) {
        Encoded p = format[1] == '2' ? Encode_Route_Header(format, r, 29)
                                     : Encode_Track_Header(format, t, 99);
        benchmark::DoNotOptimize(p);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Encode_Header)->DenseRange(0, header_formats.size() - 1);

void BM_Encode_Route_Link(benchmark::State& state)
{
    cRoute r;
    r.Link_Class = 0;
    r.Link_Sub_Class = "road";
    r.Link_Ident = "Queen Ave S";
    for (auto _ : state)
        benchmark::DoNotOptimize(Encode_Route_Link(r, 98));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_Encode_Route_Link);

void BM_Encode_Records_Position(benchmark::State& state)
{
    cPosition p{44.9213, -93.3057};
    for (auto _ : state) {
        benchmark::DoNotOptimize(Encode_Records(27, 300));
        benchmark::DoNotOptimize(Encode_Position(p, 17));
    }
    state.SetItemsProcessed(2 * state.iterations());
}
BENCHMARK(BM_Encode_Records_Position);

} // namespace

BENCHMARK_MAIN();
