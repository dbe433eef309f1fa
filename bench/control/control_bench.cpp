// The device control's costs: dispatching a packet (no I/O), and the wall
// and CPU time of product negotiation and the speed search against the
// receiver simulator on a pseudo-terminal. The waits block on the event
// loop, so their CPU time stays far below their wall time.
#include "bench/support/core_app.h"
#include "device/protocols/detail/control.h"
#include "platform/events/fake_events.h"
#include "tools/gpsim/gpsim.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

namespace {

using brenvik::Control;
using brenvik::Packet;
using nlohmann::json;

Packet pkt(std::uint8_t id, std::vector<std::uint8_t> data)
{
    Packet p{0x10, id, static_cast<std::uint8_t>(data.size())};
    p.insert(p.end(), data.begin(), data.end());
    p.insert(p.end(), {0x00, 0x10, 0x03});
    return p;
}

using benchsupport::app;

struct Quiet : brenvik::BrenvikEvents {};

void BM_Dispatch(benchmark::State& state, Packet packet)
{
    platform::FakeEventPump pump;
    brenvik::Brenvik_Services s;
    s.pump = &pump;
    auto obj = brenvik::Create_Brenvik(s);
    auto* c = static_cast<Control*>(brenvik::As_Brenvik(obj.get()));
    Quiet quiet;
    c->Advise(&quiet);
    for (auto _ : state) {
        c->Dispatch_Packet(packet);
        // Keep the collections from growing without end.
        if (c->store().Waypoints && c->store().Waypoints->size() > 1024) c->store().Waypoints->clear();
    }
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK_CAPTURE(BM_Dispatch, records, pkt(27, {0x2C, 0x01}));
BENCHMARK_CAPTURE(BM_Dispatch, waypoint_d100, [] {
    std::vector<std::uint8_t> d{'H', 'O', 'M', 'E', ' ', ' ', 0, 0, 0, 0x20, 0, 0, 0, 0xC0, 0, 0, 0, 0};
    d.resize(58, ' ');
    return pkt(35, d);
}());
BENCHMARK_CAPTURE(BM_Dispatch, transfer_complete, pkt(12, {7, 0}));
BENCHMARK_CAPTURE(BM_Dispatch, unknown_id, pkt(200, {1, 2, 3}));
BENCHMARK_CAPTURE(BM_Dispatch, product_data, pkt(255, {77, 0, 0x69, 0x01, 'G', 'P', 'S', ' ', '1', '2', 0}));

json unit(int speed, bool answers)
{
    return {{"name", "bench unit"},
            {"product", {{"id", 128}, {"version", 2.70}, {"descriptions", {"eTrex Legend"}}}},
            {"protocol_array", {"P000", "L001", "A010", "A100", "D108", "A201", "D202", "D108", "D210", "A301",
                                "D310", "D301", "A500", "D501", "A600", "D600", "A700", "D700", "A800", "D800"}},
            {"unit_id", 3412345678u},
            {"serial", {{"speed", speed}, {"answers", answers}}}};
}

struct Live {
    gpsim::Simulator sim;
    std::shared_ptr<platform::Dispatch> obj;
    Control* c;
    explicit Live(const json& scenario) : sim((app(), gpsim::parse_scenario(scenario)), gpsim::Options{})
    {
        sim.start();
        brenvik::Brenvik_Services s;
        std::string path = sim.slave_path();
        s.port_path = [path](int) { return path; };
        obj = brenvik::Create_Brenvik(s);
        c = static_cast<Control*>(brenvik::As_Brenvik(obj.get()));
        c->Port(3);
    }
    ~Live()
    {
        c->PortClose();
        sim.stop();
    }
};

void BM_Product_Negotiation(benchmark::State& state)
{
    Live live(unit(9600, true));
    live.c->PortOpen();
    for (auto _ : state) {
        live.c->Request_Product_Data();
        if (live.c->Product_Data()->Product_ID != 128) state.SkipWithError("no product data");
    }
}
BENCHMARK(BM_Product_Negotiation)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

void BM_FindBaud(benchmark::State& state)
{
    const int speed = static_cast<int>(state.range(0));
    const bool answers = state.range(1) != 0;
    Live live(unit(speed, answers));
    for (auto _ : state) {
        std::int32_t found = live.c->FindBaud("9600,N,8,1");
        if (answers && found != speed) state.SkipWithError("wrong speed");
    }
}
// Best case: the unit is at the first settings tried; then a unit at the
// last speed of the list; worst case: no unit at all.
BENCHMARK(BM_FindBaud)->Args({9600, 1})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_FindBaud)->Args({115200, 1})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);
BENCHMARK(BM_FindBaud)->Args({9600, 0})->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace

BENCHMARK_MAIN();
