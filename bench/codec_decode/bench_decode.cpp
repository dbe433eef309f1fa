// Decode throughput (records per second) and the heap a downloaded track
// takes.
#include "device/protocols/codec/decode.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <malloc.h>
#include <new>
#include <vector>

// Live heap bytes, for the memory figure.
static std::atomic<long long> g_live{0};

void* operator new(std::size_t n)
{
    void* p = std::malloc(n ? n : 1);
    if (!p)
        throw std::bad_alloc();
    g_live += static_cast<long long>(malloc_usable_size(p));
    return p;
}
void operator delete(void* p) noexcept
{
    if (p)
        g_live -= static_cast<long long>(malloc_usable_size(p));
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept { operator delete(p); }

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes frame(std::uint8_t id, Bytes data)
{
    Bytes p{0x10, id, static_cast<std::uint8_t>(data.size())};
    p.insert(p.end(), data.begin(), data.end());
    p.insert(p.end(), {0, 0x10, 0x03});
    return p;
}

void put(Bytes& b, std::uint32_t v, int n)
{
    for (int k = 0; k < n; ++k)
        b.push_back(static_cast<std::uint8_t>(v >> (8 * k)));
}

void put(Bytes& b, const char* s)
{
    while (*s)
        b.push_back(static_cast<std::uint8_t>(*s++));
    b.push_back(0);
}

// A typical D110 waypoint: fixed block and six texts.
Bytes d110_packet()
{
    Bytes d{0x01, 0x00, 0x1F, 0x80};
    put(d, 18, 2);
    d.insert(d.end(), 18, 0xFF);
    put(d, 0x20000000, 4);
    put(d, 0xC0000000, 4);
    put(d, 0x42C90000, 4);
    put(d, 0x51595D16, 4);
    put(d, 0x51595D16, 4);
    d.insert(d.end(), 4, ' ');
    put(d, 0xFFFFFFFF, 4);
    put(d, 0x69045D16, 4);
    put(d, 900000000, 4);
    put(d, 0, 2);
    put(d, "WPT0001");
    put(d, "A comment of some length");
    put(d, "");
    put(d, "Topeka");
    put(d, "");
    put(d, "");
    return frame(35, d);
}

Bytes d302_packet()
{
    Bytes d;
    put(d, 0x20000000, 4);
    put(d, 0xC0000000, 4);
    put(d, 900000000, 4);
    put(d, 0x42C90000, 4);
    put(d, 0x69045D16, 4);
    put(d, 0x41200000, 4);
    d.push_back(0);
    return frame(34, d);
}

void BM_D110_Waypoints(benchmark::State& state)
{
    const Bytes p = d110_packet();
    brenvik::RecordStore store;
    int n = 0;
    for (auto _ : state) {
        brenvik::Decode_Waypoint("D110", p, store);
        if (++n == 10000) { // a download's worth, then start again
            store.Waypoints->clear();
            n = 0;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_D110_Waypoints);

void BM_D302_TrackPoints(benchmark::State& state)
{
    const Bytes p = d302_packet();
    brenvik::RecordStore store;
    int n = 0;
    for (auto _ : state) {
        brenvik::Decode_Track_Point("D302", p, store);
        if (++n == 10000) {
            store.Tracks->clear();
            n = 0;
        }
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_D302_TrackPoints);

// Heap held by 10,000 decoded D302 track points (with their header).
void BM_Memory_10000_TrackPoints(benchmark::State& state)
{
    const Bytes p = d302_packet();
    const Bytes header = frame(99, {1, 4, 'T', 'R', 'K', 0});
    long long bytes = 0;
    for (auto _ : state) {
        const long long before = g_live;
        {
            brenvik::RecordStore store;
            brenvik::Decode_Track_Header("D310", header, store);
            for (int i = 0; i < 10000; ++i)
                brenvik::Decode_Track_Point("D302", p, store);
            bytes = g_live - before;
        }
    }
    state.counters["bytes_per_10000"] = static_cast<double>(bytes);
    state.counters["bytes_per_point"] = static_cast<double>(bytes) / 10000.0;
}
BENCHMARK(BM_Memory_10000_TrackPoints)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
