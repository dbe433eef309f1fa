// Shared helpers of the control tests: a control on a fake event pump, an
// event recorder, and hand-built packets.
#pragma once

#include "device/protocols/brenvik.h"
#include "device/protocols/detail/control.h"
#include "platform/events/fake_events.h"

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

namespace brenvik::test {

// A Host_Packet: DLE, ID, size, data, checksum slot, DLE, ETX. The dispatcher
// does not look at the checksum (the link checked it before).
inline Packet pkt(std::uint8_t id, std::vector<std::uint8_t> data)
{
    Packet p{0x10, id, static_cast<std::uint8_t>(data.size())};
    p.insert(p.end(), data.begin(), data.end());
    p.insert(p.end(), {0x00, 0x10, 0x03});
    return p;
}

inline std::vector<std::uint8_t> text_bytes(const std::string& s, bool nul = true)
{
    std::vector<std::uint8_t> v(s.begin(), s.end());
    if (nul) v.push_back(0);
    return v;
}

// Product data: product ID, software version (hundredths), descriptions.
inline Packet product(std::int16_t id, std::int16_t version, const std::string& desc = "GPS TEST\0")
{
    std::vector<std::uint8_t> d{std::uint8_t(id & 0xFF), std::uint8_t(id >> 8), std::uint8_t(version & 0xFF),
                                std::uint8_t(version >> 8)};
    d.insert(d.end(), desc.begin(), desc.end());
    return pkt(255, d);
}

// A protocol array from names such as "L001", "A100", "D108".
inline Packet protocol_array(std::initializer_list<const char*> names)
{
    std::vector<std::uint8_t> d;
    for (const char* n : names) {
        int v = std::stoi(n + 1);
        d.insert(d.end(), {std::uint8_t(n[0]), std::uint8_t(v & 0xFF), std::uint8_t(v >> 8)});
    }
    return pkt(253, d);
}

struct Recorder : BrenvikEvents {
    std::vector<std::string> log;
    RecordListRef<cWaypoint> waypoints;
    RecordListRef<cRoute> routes;
    RecordListRef<cTrack> tracks;
    void HexDebug(const std::string& t) override { log.push_back("HexDebug:" + t); }
    void cError(std::int16_t c, const std::string& m, const ByteArray& p) override
    {
        log.push_back("cError:" + std::to_string(c) + ":" + m);
    }
    void uError(std::int32_t e, const std::string& m) override { log.push_back("uError:" + m); }
    void ReceivedWaypoints(const RecordListRef<cWaypoint>& w) override
    {
        log.push_back("ReceivedWaypoints");
        waypoints = w;
    }
    void ReceivedRoutes(const RecordListRef<cRoute>& r) override
    {
        log.push_back("ReceivedRoutes");
        routes = r;
    }
    void ReceivedTracks(const RecordListRef<cTrack>& t) override
    {
        log.push_back("ReceivedTracks");
        tracks = t;
    }
};

// A control on a fake pump with no serial device behind any port.
struct Fixture {
    platform::FakeEventPump pump;
    std::shared_ptr<platform::Dispatch> object;
    Control* control = nullptr;
    Recorder events;

    Fixture()
    {
        Brenvik_Services s;
        s.pump = &pump;
        s.port_path = [](int) { return std::string("/nonexistent/port"); };
        object = Create_Brenvik(s);
        control = static_cast<Control*>(As_Brenvik(object.get()));
        control->Advise(&events);
    }
};

} // namespace brenvik::test
