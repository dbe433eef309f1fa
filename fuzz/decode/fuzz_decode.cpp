// First byte: which decoder and format; the rest: the packet.
#include "device/protocols/codec/decode.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

enum class Kind {
    Waypoint, RouteHeader, RouteLink, TrackHeader, TrackPoint, DateTime, Position, Pvt, Sats, Records,
    Almanac, Lap, Flightbook, Small
};

struct Entry {
    Kind kind;
    std::string_view format;
};

constexpr std::array entries{
    Entry{Kind::Waypoint, "D100"}, Entry{Kind::Waypoint, "D101"}, Entry{Kind::Waypoint, "D102"},
    Entry{Kind::Waypoint, "D103"}, Entry{Kind::Waypoint, "D104"}, Entry{Kind::Waypoint, "D105"},
    Entry{Kind::Waypoint, "D106"}, Entry{Kind::Waypoint, "D107"}, Entry{Kind::Waypoint, "D108"},
    Entry{Kind::Waypoint, "D109"}, Entry{Kind::Waypoint, "D110"}, Entry{Kind::Waypoint, "D150"},
    Entry{Kind::Waypoint, "D151"}, Entry{Kind::Waypoint, "D152"}, Entry{Kind::Waypoint, "D153"},
    Entry{Kind::Waypoint, "D154"}, Entry{Kind::Waypoint, "D155"}, Entry{Kind::Waypoint, "D400"},
    Entry{Kind::Waypoint, "D403"}, Entry{Kind::Waypoint, "D450"}, Entry{Kind::RouteHeader, "D200"},
    Entry{Kind::RouteHeader, "D201"}, Entry{Kind::RouteHeader, "D202"}, Entry{Kind::RouteLink, "D210"},
    Entry{Kind::TrackHeader, "D310"}, Entry{Kind::TrackHeader, "D311"}, Entry{Kind::TrackHeader, "D312"},
    Entry{Kind::TrackPoint, "D300"}, Entry{Kind::TrackPoint, "D301"}, Entry{Kind::TrackPoint, "D302"},
    Entry{Kind::TrackPoint, "D303"}, Entry{Kind::TrackPoint, "D304"}, Entry{Kind::DateTime, "D600"},
    Entry{Kind::Position, "D700"}, Entry{Kind::Pvt, "D800"}, Entry{Kind::Sats, ""},
    Entry{Kind::Records, ""}, Entry{Kind::Almanac, "D500"}, Entry{Kind::Almanac, "D501"},
    Entry{Kind::Almanac, "D550"}, Entry{Kind::Almanac, "D551"}, Entry{Kind::Lap, ""},
    Entry{Kind::Flightbook, ""}, Entry{Kind::Small, ""},
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const Entry& e = entries[data[0] % entries.size()];
    const brenvik::PacketView p(data + 1, size - 1);
    brenvik::RecordStore store;
    switch (e.kind) {
    case Kind::Waypoint:
        brenvik::Decode_Route_Header("D200", p, store);
        brenvik::Decode_Waypoint(e.format, p, store, brenvik::Waypoint_Packet::Route);
        break;
    case Kind::RouteHeader: brenvik::Decode_Route_Header(e.format, p, store); break;
    case Kind::RouteLink: brenvik::Decode_Route_Link(p, store); break;
    case Kind::TrackHeader: brenvik::Decode_Track_Header(e.format, p, store); break;
    case Kind::TrackPoint: brenvik::Decode_Track_Point(e.format, p, store); break;
    case Kind::DateTime: brenvik::Decode_Date_Time(p, store); break;
    case Kind::Position: brenvik::Decode_Position(p, store); break;
    case Kind::Pvt: brenvik::Decode_Pvt(p, store); break;
    case Kind::Sats: brenvik::Decode_Sats(p, store); break;
    case Kind::Records:
        brenvik::Decode_Records(p);
        brenvik::Decode_Baud_Reply(p);
        break;
    case Kind::Almanac: {
        brenvik::cAlmanac a;
        brenvik::Decode_Almanac(e.format, p, a);
        break;
    }
    case Kind::Lap: brenvik::Decode_Lap(p); break;
    case Kind::Flightbook: brenvik::Decode_Flightbook(p); break;
    case Kind::Small:
        brenvik::Decode_Voltages(p);
        brenvik::Decode_Unit_ID(p);
        break;
    }
    return 0;
}
