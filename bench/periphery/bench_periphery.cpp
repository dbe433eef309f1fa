// Screen capture and the almanac: Build_Image and Draw_Image without the
// link (240 x 320 at 8 bits, 160 x 100 at 1 bit), the memory one capture
// holds, and whole exchanges with the receiver simulator pacing its line,
// against the time their bytes take on the wire.
#include "bench/support/core_app.h"
#include "device/protocols/codec/screen.h"
#include "device/protocols/detail/control.h"
#include "tools/brenvik-probe/transfer_host.h"
#include "tools/gpsim/gpsim.h"

#include <QCoreApplication>
#include <benchmark/benchmark.h>
#include <nlohmann/json.hpp>

namespace {

using brenvik::Packet;
using nlohmann::json;

Packet pkt(std::uint8_t id, std::vector<std::uint8_t> d)
{
    Packet p{0x10, id, static_cast<std::uint8_t>(d.size())};
    p.insert(p.end(), d.begin(), d.end());
    p.insert(p.end(), {0x00, 0x10, 0x03});
    return p;
}
void le16(std::vector<std::uint8_t>& d, int v) { d.push_back(std::uint8_t(v)), d.push_back(std::uint8_t(v >> 8)); }
void le32(std::vector<std::uint8_t>& d, std::uint32_t v) { le16(d, int(v & 0xFFFF)), le16(d, int(v >> 16)); }

// A whole screen in the short layout: header, 256 colours, pixel records.
std::vector<Packet> screen(int pixels, int bits, int line_length, int lines)
{
    std::vector<Packet> out;
    std::vector<std::uint8_t> h;
    le16(h, 0), h.resize(10, 0), le16(h, pixels), le16(h, bits), le16(h, line_length), le16(h, lines);
    out.push_back(pkt(69, h));
    if (bits == 8)
        for (int n = 0; n < 256; ++n) {
            std::vector<std::uint8_t> c;
            le16(c, 2), le32(c, std::uint32_t(3 * n)), c.insert(c.end(), {0, 0, std::uint8_t(n), std::uint8_t(n), 0});
            out.push_back(pkt(69, c));
        }
    const int total = pixels * lines;
    for (int off = 0; off < total; off += 240) {
        std::vector<std::uint8_t> d;
        le16(d, 1), le32(d, std::uint32_t(off));
        for (int i = off; i < std::min(total, off + 240); ++i) d.push_back(std::uint8_t(i * 13 + 7));
        out.push_back(pkt(69, d));
    }
    return out;
}

// Every packet of one capture through Build_Image (Draw_Image included).
void BM_Build_Image(benchmark::State& state, int pixels, int bits, int line_length, int lines)
{
    const auto packets = screen(pixels, bits, line_length, lines);
    brenvik::Screen_Capture cap;
    brenvik::cDisplay d;
    std::string palette = "/dev/null"; // read as an empty palette: no file written
    for (auto _ : state)
        for (const Packet& p : packets) benchmark::DoNotOptimize(cap.Build_Image(p, d, palette, [] { return std::string(); }));
    // The capture buffer and the picture it was drawn on.
    state.counters["capture_bytes"] = double(std::int64_t(d.Display_Lines) * d.Record_Length +
                                             std::int64_t(cap.picture()->Pixels.size()) * 4);
}
BENCHMARK_CAPTURE(BM_Build_Image, screen_240x320_8bit, 240, 8, 240, 320)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Build_Image, screen_160x100_1bit, 20, 1, 160, 100)->Unit(benchmark::kMillisecond);

void BM_Draw_Image(benchmark::State& state, int pixels, int bits, int line_length, int lines)
{
    const auto packets = screen(pixels, bits, line_length, lines);
    brenvik::Screen_Capture cap;
    brenvik::cDisplay d;
    std::string palette = "/dev/null";
    for (const Packet& p : packets) cap.Build_Image(p, d, palette, [] { return std::string(); });
    for (auto _ : state) benchmark::DoNotOptimize(cap.Draw_Image(d));
}
BENCHMARK_CAPTURE(BM_Draw_Image, screen_240x320_8bit, 240, 8, 240, 320)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_Draw_Image, screen_160x100_1bit, 20, 1, 160, 100)->Unit(benchmark::kMillisecond);

using benchsupport::app;

// The time on the wire of everything the simulator traced, both ways:
// each frame with its stuffed DLEs, 10 bits a byte.
double traced_wire_ms(const gpsim::Simulator& sim, int baud)
{
    double bytes = 0;
    for (const json& t : sim.trace()) {
        if (!t.contains("id") || !t.contains("data")) continue;
        const std::string hex = t["data"];
        bytes += double(hex.size() / 2 + 6);
        for (std::size_t i = 0; i + 1 < hex.size(); i += 2) bytes += hex.compare(i, 2, "10") == 0;
    }
    return bytes * 10 * 1000 / baud;
}

struct Events : brenvik::BrenvikEvents {
    bool complete = false;
    int acks = 0;
    void ReceiveImage(std::int16_t pct, const brenvik::PictureRef&) override { complete = complete || pct == 100; }
};

struct Live {
    gpsim::Simulator sim;
    std::shared_ptr<platform::Dispatch> obj;
    brenvik::Control* c;
    Events ev;
    explicit Live(json scenario, int baud)
        : sim((app(), gpsim::parse_scenario(scenario)), [] {
              gpsim::Options o;
              o.pace = true;
              return o;
          }())
    {
        sim.start();
        brenvik::Brenvik_Services s;
        std::string path = sim.slave_path();
        s.port_path = [path](int) { return path; };
        obj = brenvik::Create_Brenvik(s);
        c = static_cast<brenvik::Control*>(brenvik::As_Brenvik(obj.get()));
        c->Advise(&ev);
        c->Port(3);
        c->Settings(std::to_string(baud) + ",N,8,1");
        c->PortOpen();
    }
    ~Live()
    {
        c->Advise(nullptr);
        c->PortClose();
        sim.stop();
    }
};

json unit(int baud)
{
    json alm = json::array();
    for (int k = 0; k < 32; ++k) alm.push_back({{"wn", 1100 + k}, {"toa", 405504.0 + k}, {"sqrta", 5153.6 + k}, {"hlth", 0.0}});
    return {{"product", {{"id", 484}, {"version", 3.10}, {"descriptions", {"bench unit"}}}},
            {"unit_id", 12345},
            {"protocol_array", {"P000", "L001", "A010", "A100", "D108", "A500", "D501"}},
            {"serial", {{"speed", baud}}},
            {"almanac", alm},
            {"screens", {{{"header", "short"}, {"bits", 8}, {"pixels", 240}, {"lines", 320}, {"chunk", 240}}}}};
}

// A 240 x 320 capture at 115200 baud: wall time against the wire time of
// its packets.
void BM_Capture_From_Simulator(benchmark::State& state)
{
    Live live(unit(115200), 115200);
    live.c->Palette_File("/dev/null");
    auto& pump = platform::qt_event_pump();
    for (auto _ : state) {
        live.ev.complete = false;
        live.c->Request_Display();
        pump.wait_until([&] { return live.ev.complete; }, pump.clock().now_us() + 60'000'000);
        if (!live.ev.complete) state.SkipWithError("the capture did not complete");
    }
    state.counters["wire_ms"] = traced_wire_ms(live.sim, 115200) / double(state.iterations());
}
BENCHMARK(BM_Capture_From_Simulator)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// 32 D501 records down and back up, one per acknowledgement, at 9600 baud.
void BM_Almanac_Round_Trip(benchmark::State& state)
{
    Live live(unit(9600), 9600);
    auto& pump = platform::qt_event_pump();
    brenvik::probe::Transfer_Events ev;
    live.c->Advise(&ev);
    std::vector<brenvik::cAlmanac> got;
    ev.on_receive = [&](const brenvik::ByteArray& p) {
        if (p.size() > 1 && p[1] == 31) got.push_back(*live.c->Almanac());
    };
    for (auto _ : state) {
        got.clear();
        const std::size_t seen = ev.received_ids.size();
        live.c->Request_Almanac_Data();
        auto complete = [&] {
            for (std::size_t k = seen; k < ev.received_ids.size(); ++k)
                if (ev.received_ids[k] == 12) return true;
            return false;
        };
        pump.wait_until(complete, pump.clock().now_us() + 60'000'000);
        std::vector<brenvik::probe::Upload_Step> steps;
        for (const auto& a : got)
            steps.push_back({&brenvik::Brenvik::PID_Almanac_Data, [a](brenvik::Brenvik& g) {
                                 *g.Almanac() = a;
                                 g.Send_Almanac_Data();
                             }});
        const auto keep = ev.on_receive;
        brenvik::probe::Uploader up(*live.c, ev, pump);
        if (got.size() != 32 || !up.Run(steps)) state.SkipWithError("the round trip did not complete");
        ev.on_receive = keep;
    }
    live.c->Advise(nullptr);
    // Identification, the command, 32 records each way, their ACKs.
    state.counters["wire_ms"] = traced_wire_ms(live.sim, 9600) / double(state.iterations());
}
BENCHMARK(BM_Almanac_Round_Trip)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

} // namespace

BENCHMARK_MAIN();
