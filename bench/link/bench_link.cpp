// bench_link: how fast frames are cut from DLE-heavy input, how much CPU an
// idle two-second reply wait costs on the real event loop (it should sleep,
// not poll), and how soon a write that cannot go out is reported.
#include "bench/support/core_app.h"
#include "device/link/detail/deframer.h"
#include "device/link/link.h"
#include "platform/serial/serial_port.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <pty.h>
#include <random>
#include <sys/resource.h>
#include <termios.h>
#include <unistd.h>

namespace {

using brenvik::Link;
using brenvik::Packet;

// About 10 MB of frames whose data is mostly 0x10 and 0x03.
const std::string& dle_heavy_stream()
{
    static const std::string stream = [] {
        std::mt19937 rng(42);
        std::string s;
        s.reserve(11 << 20);
        while (s.size() < (10u << 20)) {
            std::size_t n = rng() % 256;
            Packet p(n + 6);
            p[1] = static_cast<std::uint8_t>(0x20 + rng() % 64);
            p[2] = static_cast<std::uint8_t>(n);
            for (std::size_t i = 0; i < n; ++i) {
                unsigned r = rng() % 8;
                p[3 + i] = r < 4 ? 0x10 : r < 6 ? 0x03 : static_cast<std::uint8_t>(rng());
            }
            p[n + 3] = Link::Packet_Checksum(p);
            Packet f = Link::Stuff_Packet(p);
            s.append(f.begin(), f.end());
        }
        return s;
    }();
    return stream;
}

void BM_Deframer(benchmark::State& state)
{
    const std::string& in = dle_heavy_stream();
    const std::size_t chunk = static_cast<std::size_t>(state.range(0));
    std::size_t frames = 0;
    for (auto _ : state) {
        brenvik::detail::Deframer df;
        brenvik::detail::Frame f;
        frames = 0;
        for (std::size_t off = 0; off < in.size(); off += chunk) {
            df.append(std::string_view(in).substr(off, chunk));
            while (df.next(f)) frames += f.status == brenvik::detail::FrameStatus::Ok;
        }
        benchmark::DoNotOptimize(frames);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
    state.counters["frames"] = static_cast<double>(frames);
}
BENCHMARK(BM_Deframer)->Arg(64)->Arg(4096)->Arg(65536)->Unit(benchmark::kMillisecond);

struct NullHost : brenvik::LinkHost {
    std::size_t packets = 0;
    void Dispatch_Packet(const Packet&) override { ++packets; }
    void raise_Receive(const Packet&) override {}
    void raise_cError(std::int16_t, const std::string&, const Packet&) override {}
    void raise_uError(std::int32_t, const std::string&) override {}
    void raise_HexDebug(const std::string&) override {}
    void raise_NMEA(const std::string&, bool) override {}
    void raise_USBprogress(std::int32_t) override {}
    void show_message(const std::string&) override {}
};

using benchsupport::app;

// The whole receive path (checks, acknowledgement, dispatch) without a port.
void BM_SerialInput(benchmark::State& state)
{
    app();
    const std::string& in = dle_heavy_stream();
    for (auto _ : state) {
        brenvik::ProtocolProperties props;
        brenvik::cSAK sak;
        NullHost host;
        Link link(platform::qt_event_pump(), props, sak, host);
        for (std::size_t off = 0; off < in.size(); off += 4096)
            link.Serial_Input(std::string_view(in).substr(off, 4096));
        benchmark::DoNotOptimize(host.packets);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * in.size()));
}
BENCHMARK(BM_SerialInput)->Unit(benchmark::kMillisecond);

double cpu_seconds()
{
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6 + u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6;
}

// A reply that never comes: Send_Packet waits its two seconds on a pty.
void BM_IdleReplyWait(benchmark::State& state)
{
    app();
    int master = -1, slave = -1;
    char name[256];
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        state.SkipWithError("no pty");
        return;
    }
    ::close(slave);
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    brenvik::ProtocolProperties props;
    brenvik::cSAK sak;
    NullHost host;
    platform::SerialPort port;
    port.set_device_path(name);
    port.Open();
    Link link(platform::qt_event_pump(), props, sak, host);
    link.set_serial(&port);
    const Packet out{0x10, 0x23, 0x02, 0x41, 0x42, 0x00, 0x10, 0x03};
    double cpu = 0, wall = 0;
    for (auto _ : state) {
        auto w0 = std::chrono::steady_clock::now();
        double c0 = cpu_seconds();
        std::uint8_t resp = 6;
        std::int32_t wait = 2;
        link.Send_Packet(out, resp, wait);
        cpu += cpu_seconds() - c0;
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
        char buf[64];
        while (::read(master, buf, sizeof buf) > 0) {
        }
    }
    state.counters["cpu_percent_of_wall"] = wall > 0 ? 100.0 * cpu / wall : 0;
    state.counters["wall_s"] = wall / static_cast<double>(state.iterations());
    port.Close();
    ::close(master);
}
BENCHMARK(BM_IdleReplyWait)->Iterations(2)->Unit(benchmark::kMillisecond);

// A peer that never reads: packets go out until the terminal is full, then a
// send gives up at its deadline (the packet's time on the wire plus 2 s).
// How long the failing send took against that computed deadline, and the CPU
// it used meanwhile (the wait should sleep on the loop).
void BM_WriteDeadline(benchmark::State& state)
{
    app();
    const std::string settings = std::to_string(state.range(0)) + ",N,8,1";
    Packet big{0x10, 0x23, 0xFF};
    big.resize(3 + 255 + 3, 0x41);
    double took = 0, deadline = 0, cpu = 0;
    std::int64_t packets = 0;
    for (auto _ : state) {
        state.PauseTiming();
        int master = -1, slave = -1;
        char name[256];
        if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
            state.SkipWithError("no pty");
            return;
        }
        termios t{};
        ::tcgetattr(slave, &t);
        ::cfmakeraw(&t);
        ::tcsetattr(slave, TCSANOW, &t);
        ::close(slave);
        brenvik::ProtocolProperties props;
        props.Settings = settings;
        brenvik::cSAK sak;
        NullHost host;
        platform::SerialPort port;
        port.set_device_path(name);
        port.set_Settings(settings);
        port.Open();
        Link link(platform::qt_event_pump(), props, sak, host);
        link.set_serial(&port);
        state.ResumeTiming();
        for (int n = 0; n < 100000; ++n) {
            const int queued = port.OutBufferCount();
            const auto w0 = std::chrono::steady_clock::now();
            const double c0 = cpu_seconds();
            std::uint8_t resp = 2;
            std::int32_t wait = 0;
            const bool sent = link.Send_Packet(big, resp, wait);
            ++packets;
            if (sent) continue;
            took += std::chrono::duration<double>(std::chrono::steady_clock::now() - w0).count();
            cpu += cpu_seconds() - c0;
            deadline += platform::Wire_Time_us(settings, std::size_t(queued) + big.size()) / 1e6 + 2.0;
            break;
        }
        state.PauseTiming();
        port.Close();
        ::close(master);
        state.ResumeTiming();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["reported_s"] = took / n;
    state.counters["deadline_s"] = deadline / n;
    state.counters["late_ms"] = 1000.0 * (took - deadline) / n;
    state.counters["cpu_percent_of_wait"] = took > 0 ? 100.0 * cpu / took : 0;
    state.counters["packets_before"] = static_cast<double>(packets) / n;
}
BENCHMARK(BM_WriteDeadline)->Arg(9600)->Arg(115200)->Iterations(2)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
