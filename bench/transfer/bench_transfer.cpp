// Serial transfers against the receiver simulator pacing its line at 10
// bits a byte: a 10,000-point track download at 115200 baud, and a
// 1000-waypoint upload at 9600 and 115200 baud, driven the way a host does
// (the next record from the Receive handler of each acknowledgement).
//
// Counters: wire_ms is the time the frames of the transfer need on the
// line, both directions one after the other (bytes x 10 / baud, DLE
// stuffing included); ratio is wall time / wire time.
#include "device/protocols/brenvik.h"
#include "platform/events/events.h"
#include "tools/brenvik-probe/transfer_host.h"
#include "tools/gpsim/gpsim.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>

#include <chrono>
#include <memory>
#include <stdexcept>

namespace {

using nlohmann::json;
using namespace brenvik;

gpsim::Scenario unit(int speed, int track_points, int waypoints = 0)
{
    json pts = json::array();
    for (int i = 0; i < track_points; ++i)
        pts.push_back({{"lat", 45.0 + i * 1e-5}, {"lon", -93.0 - i * 1e-5}, {"alt", 250.0 + i % 50},
                       {"time", 1000000 + i}});
    json j{{"name", "bench-unit"},
           {"product", {{"id", 1000}, {"version", 3.1}, {"descriptions", {"Bench Unit"}}}},
           {"protocol_array", {"P000", "L001", "A010", "A100", "D110", "A201", "D202", "D110", "D210", "A301",
                               "D312", "D302"}},
           {"serial", {{"speed", speed}}},
           {"tracks", json::array({json{{"ident", "LONG"}, {"color", 1}, {"display", true}, {"points", pts}}})}};
    json wpts = json::array();
    for (int i = 0; i < waypoints; ++i)
        wpts.push_back({{"ident", "W" + std::to_string(i)}, {"lat", 45.0 + i * 1e-3}, {"lon", -93.0},
                        {"symbol", 18}, {"comment", "BENCH WAYPOINT"}});
    j["waypoints"] = wpts;
    return gpsim::parse_scenario(j, "bench");
}

// Bytes a frame takes on the wire: DLE, ID, then size, data and checksum
// with each DLE doubled, then DLE, ETX.
std::size_t wire_bytes(const json& t)
{
    const int id = t["id"];
    const std::string hex = t.value("data", "");
    unsigned sum = unsigned(id) + unsigned(hex.size() / 2);
    std::size_t n = 4;
    auto add = [&](unsigned b) { n += b == 0x10 ? 2 : 1; };
    add(unsigned(hex.size() / 2) & 0xFF);
    for (std::size_t k = 0; k + 1 < hex.size(); k += 2) {
        const unsigned b = unsigned(std::stoi(hex.substr(k, 2), nullptr, 16));
        sum += b;
        add(b);
    }
    add((0x100 - (sum & 0xFF)) & 0xFF);
    return n;
}

struct Session {
    std::unique_ptr<gpsim::Simulator> sim;
    std::shared_ptr<platform::Dispatch> object;
    Brenvik* gps = nullptr;
    probe::Transfer_Events events;
    platform::EventPump& pump = platform::qt_event_pump();

    Session(int baud, int track_points, int waypoints = 0)
    {
        gpsim::Options opt;
        opt.pace = true;
        sim = std::make_unique<gpsim::Simulator>(unit(baud, track_points, waypoints), opt);
        sim->start();
        Brenvik_Services s;
        const std::string path = sim->slave_path();
        s.port_path = [path](int) { return path; };
        object = Create_Brenvik(s);
        gps = As_Brenvik(object.get());
        gps->Advise(&events);
        gps->Port(1);
        gps->Settings(std::to_string(baud) + ",N,8,1");
        if (!gps->PortOpen()) throw std::runtime_error("cannot open the simulator's port");
        gps->Request_Product_Data();
    }
    ~Session()
    {
        gps->Advise(nullptr);
        gps->PortClose();
        object.reset();
        sim->stop();
    }
    std::size_t trace_size() { return sim->trace().size(); }
    // Mean times from the simulator's trace (stamped in ms), in microseconds:
    // reply_excess, how much longer than the two frames' wire time it took
    // from the start of a simulator frame to the host's reply having
    // arrived (the host's turnaround plus the overshoot of the simulator's
    // pacing sleeps); unit_turn, from a host frame to the next simulator frame.
    void turnaround(std::size_t from, int baud, double& host_us, double& unit_us)
    {
        const auto tr = sim->trace();
        double host = 0, unit = 0;
        int nh = 0, nu = 0;
        const json* last = nullptr;
        for (std::size_t k = from; k < tr.size(); ++k) {
            const json& t = tr[k];
            if (!t.contains("id") || !t.contains("t")) continue;
            const std::string dir = t.value("dir", "");
            if (dir != "in" && dir != "out") continue;
            if (last && last->value("dir", "") != dir) {
                // "out" is stamped when the frame starts, "in" once it has
                // arrived; take the wire time of both frames away.
                const double gap_ms = t["t"].get<double>() - (*last)["t"].get<double>();
                const double wire_ms = double(wire_bytes(*last) + wire_bytes(t)) * 10000.0 / baud;
                if (dir == "in") host += (gap_ms - wire_ms) * 1000.0, ++nh;
                else unit += gap_ms * 1000.0, ++nu;
            }
            last = &t;
        }
        host_us = nh ? host / nh : 0;
        unit_us = nu ? unit / nu : 0;
    }
    // Wire bytes of the frames from trace line `from` on.
    std::size_t bytes_since(std::size_t from)
    {
        const auto tr = sim->trace();
        std::size_t n = 0;
        for (std::size_t k = from; k < tr.size(); ++k) {
            const json& t = tr[k];
            if (!t.contains("id") || t.contains("fault")) continue;
            const std::string dir = t.value("dir", "");
            if (dir == "in" || dir == "out") n += wire_bytes(t);
        }
        return n;
    }
};

void report(benchmark::State& state, Session& s, std::size_t from, double wall_s, int baud)
{
    const std::size_t bytes = s.bytes_since(from);
    double host_us = 0, unit_us = 0;
    s.turnaround(from, baud, host_us, unit_us);
    state.counters["reply_excess_us"] = host_us;
    state.counters["unit_turn_us"] = unit_us;
    const double wire_s = double(bytes) * 10.0 / baud;
    state.SetIterationTime(wall_s);
    state.counters["wire_ms"] = wire_s * 1000.0;
    state.counters["wall_ms"] = wall_s * 1000.0;
    state.counters["bytes"] = double(bytes);
    state.counters["ratio"] = wall_s / wire_s;
}

void BM_TrackDownload(benchmark::State& state)
{
    const int baud = int(state.range(0));
    const int points = int(state.range(1));
    for (auto _ : state) {
        Session s(baud, points);
        const std::size_t from = s.trace_size();
        const auto t0 = std::chrono::steady_clock::now();
        const bool ok = probe::Download(*s.gps, s.events, s.pump, probe::Kind::Tracks, 600000);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (!ok || !s.events.tracks || s.events.tracks->size() != std::size_t(points) + 1) {
            state.SkipWithError("track download failed");
            return;
        }
        report(state, s, from, wall, baud);
    }
}

// The simulator sends the records, the link acknowledges each one: the
// link's utilisation is wire time / wall time.
void BM_WaypointDownload(benchmark::State& state)
{
    const int baud = int(state.range(0));
    const int count = int(state.range(1));
    for (auto _ : state) {
        Session s(baud, 0, count);
        const std::size_t from = s.trace_size();
        const auto t0 = std::chrono::steady_clock::now();
        const bool ok = probe::Download(*s.gps, s.events, s.pump, probe::Kind::Waypoints, 600000);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (!ok || !s.events.waypoints || s.events.waypoints->size() != std::size_t(count)) {
            state.SkipWithError("waypoint download failed");
            return;
        }
        report(state, s, from, wall, baud);
    }
}

void BM_WaypointUpload(benchmark::State& state)
{
    const int baud = int(state.range(0));
    const int count = int(state.range(1));
    json wpts = json::array();
    for (int i = 0; i < count; ++i)
        // The same records as bench_main_transfer's window upload, so the two compare.
        wpts.push_back({{"ident", "W" + std::to_string(i)}, {"lat", 45.0 + i * 1e-3}, {"lon", -93.0}, {"symbol", 18},
                        {"comment", "BENCH WAYPOINT"}});
    for (auto _ : state) {
        Session s(baud, 0);
        const auto plan = probe::Upload_Plan(*s.gps, json{{"waypoints", wpts}});
        probe::Uploader up(*s.gps, s.events, s.pump);
        const std::size_t from = s.trace_size();
        const auto t0 = std::chrono::steady_clock::now();
        const bool ok = up.Run(plan.at(0), 10000);
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (!ok || up.Sent() != std::size_t(count)) {
            state.SkipWithError("waypoint upload failed");
            return;
        }
        report(state, s, from, wall, baud);
    }
}

BENCHMARK(BM_TrackDownload)->Args({115200, 10000})->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WaypointDownload)
    ->Args({115200, 1000})
    ->Args({9600, 1000})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WaypointUpload)
    ->Args({115200, 1000})
    ->Args({9600, 1000})
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
