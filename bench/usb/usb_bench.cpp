// USB packet conversion throughput, and a records download of N bulk packets
// through the fake device: CPU time and the peak of live heap bytes during
// the transfer (which must not grow with N).
#include "device/link/link.h"
#include "device/link/properties.h"
#include "device/link/translate.h"
#include "device/link/usb_link.h"
#include "device/link/usb_packet.h"
#include "device/link/usb_transport.h"
#include "platform/events/fake_events.h"
#include "platform/usb/fake_usb.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <numeric>

namespace {

std::atomic<long long> live_bytes{0};
std::atomic<long long> peak_bytes{0};

void note_alloc(std::size_t n)
{
    long long now = live_bytes += static_cast<long long>(n);
    long long peak = peak_bytes.load();
    while (now > peak && !peak_bytes.compare_exchange_weak(peak, now)) {
    }
}

} // namespace

// Count live heap bytes (size kept in a header before each block).
void* operator new(std::size_t n)
{
    auto* p = static_cast<std::size_t*>(std::malloc(n + 16));
    if (!p) throw std::bad_alloc();
    *p = n;
    note_alloc(n);
    return reinterpret_cast<char*>(p) + 16;
}
void operator delete(void* p) noexcept
{
    if (!p) return;
    auto* b = reinterpret_cast<std::size_t*>(static_cast<char*>(p) - 16);
    live_bytes -= static_cast<long long>(*b);
    std::free(b);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace {

using namespace brenvik;
using Bytes = std::vector<std::uint8_t>;

void BM_HostFromUsb(benchmark::State& state)
{
    Bytes data(static_cast<std::size_t>(state.range(0)));
    std::iota(data.begin(), data.end(), 0);
    Bytes u = usb::Make_Usb_Packet(20, 35, data);
    for (auto _ : state) benchmark::DoNotOptimize(usb::Host_From_Usb(u));
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(u.size()));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_HostFromUsb)->Arg(10)->Arg(100)->Arg(1046);

void BM_UsbFromHost(benchmark::State& state)
{
    Bytes data(static_cast<std::size_t>(state.range(0)));
    std::iota(data.begin(), data.end(), 0);
    Bytes host = *usb::Host_From_Usb(usb::Make_Usb_Packet(20, 35, data));
    for (auto _ : state) benchmark::DoNotOptimize(usb::Usb_From_Host(host));
    state.SetBytesProcessed(state.iterations() * static_cast<long long>(host.size()));
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_UsbFromHost)->Arg(10)->Arg(100)->Arg(1046);

struct CountingEvents : cUSB_Events {
    long long packets = 0, bytes = 0;
    void USBReceived(const Packet& p, const Bytes&) override
    {
        ++packets;
        bytes += static_cast<long long>(p.size());
    }
    void USBSent(const Bytes&) override {}
    void USBDebug(const std::string&) override {}
    void USBError(std::int32_t, const std::string&) override {}
    void USBIncomingPackage(std::int32_t) override {}
    void USBNoResponse() override {}
};

// A device that answers the waypoint transfer command with a records
// packet, N D108-sized waypoint packets (about 60 bytes) and the
// transfer-complete packet, all through bulk reads.
std::shared_ptr<platform::FakeUsbScript> waypoint_download(std::uint32_t n)
{
    platform::FakeUsbScenario sc;
    platform::FakeUsbRule rule;
    rule.id = 10;
    rule.command = 7;
    platform::FakeUsbPacket records, wpt, done;
    records.id = 27;
    records.data = {0x10, 0x27};
    wpt.id = 35;
    wpt.data.assign(60, 0x41);
    wpt.repeat = n;
    done.id = 12;
    done.data = {7, 0};
    rule.bulk = {records, wpt, done};
    sc.rules.push_back(rule);
    return std::make_shared<platform::FakeUsbScript>(sc);
}

void BM_BulkDownload(benchmark::State& state)
{
    const auto n = static_cast<std::uint32_t>(state.range(0));
    long long peak_during = 0;
    for (auto _ : state) {
        state.PauseTiming();
        platform::FakeEventPump pump;
        auto script = waypoint_download(n);
        CountingEvents ev;
        cUSB usb(pump, ev);
        usb.set_opener([&] {
            platform::UsbOpenResult r;
            r.device = std::make_unique<platform::FakeUsbDevice>(script, pump);
            return r;
        });
        usb.Open();
        usb.Write_Packet(Packet{0x10, 10, 2, 7, 0, 0, 0x10, 0x03}, 2);
        long long base = live_bytes.load();
        peak_bytes = base;
        state.ResumeTiming();

        usb.Read_Interrupt(27);

        state.PauseTiming();
        peak_during = std::max(peak_during, peak_bytes.load() - base);
        if (ev.packets != n + 2) state.SkipWithError("packets lost");
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * (n + 2));
    state.counters["peak_heap_bytes"] = static_cast<double>(peak_during);
}
BENCHMARK(BM_BulkDownload)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

struct CountingHost : LinkHost {
    long long dispatched = 0, received = 0, errors = 0;
    void Dispatch_Packet(const Packet&) override { ++dispatched; }
    void raise_Receive(const Packet&) override { ++received; }
    void raise_cError(std::int16_t, const std::string&, const Packet&) override { ++errors; }
    void raise_uError(std::int32_t, const std::string&) override { ++errors; }
    void raise_HexDebug(const std::string&) override {}
    void raise_NMEA(const std::string&, bool) override {}
    void raise_USBprogress(std::int32_t) override {}
    void show_message(const std::string&) override {}
};

// The same download driven through the link's Send, as the control runs it.
void BM_LinkDownload(benchmark::State& state)
{
    const auto n = static_cast<std::uint32_t>(state.range(0));
    long long peak_during = 0;
    for (auto _ : state) {
        state.PauseTiming();
        platform::FakeEventPump pump;
        auto script = waypoint_download(n);
        ProtocolProperties props;
        props.Port = 0;
        cSAK sak;
        CountingHost host;
        Link link(pump, props, sak, host);
        cUSB_Link usb(pump, link);
        usb.usb.set_opener([&] {
            platform::UsbOpenResult r;
            r.device = std::make_unique<platform::FakeUsbDevice>(script, pump);
            return r;
        });
        usb.usb.Open();
        long long base = live_bytes.load();
        peak_bytes = base;
        state.ResumeTiming();

        link.Send(Packet{0, 10, 2, 7, 0, 0, 0, 0}, 27, 0);

        state.PauseTiming();
        peak_during = std::max(peak_during, peak_bytes.load() - base);
        if (host.dispatched != n + 2 || host.errors) state.SkipWithError("packets lost");
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * (n + 2));
    state.counters["peak_heap_bytes"] = static_cast<double>(peak_during);
}
BENCHMARK(BM_LinkDownload)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();

} // namespace

BENCHMARK_MAIN();
