// Waypoint formats: one row per format name, each a layout reader.
#include "device/protocols/codec/decode.h"
#include "device/protocols/codec/detail/data_reader.h"

#include <array>

namespace brenvik {

namespace {

using detail::Data;

// The block that D100 to D104, D107 and the D4xx proximity forms start with.
void d100_block(const Data& d, cWaypoint& w)
{
    w.Ident = d.text(0, 6);
    w.Lat = d.semicircles(6);
    w.Lon = d.semicircles(10);
    w.Unused1 = d.i32(14);
    w.Cmnt = d.text(18, 40);
}

void d100(const Data& d, cWaypoint& w)
{
    d100_block(d, w);
    if (d.size() == 62) // proximity form, recognised by its size
        w.Dist = d.f32(58);
}

void d101(const Data& d, cWaypoint& w)
{
    d100_block(d, w);
    w.Dist = d.f32(58);
    w.Smbl = d.u8(62);
}

void d102(const Data& d, cWaypoint& w)
{
    d100_block(d, w);
    w.Dist = d.f32(58);
    w.Smbl = d.i16(62);
}

void d103(const Data& d, cWaypoint& w)
{
    d100_block(d, w);
    w.Smbl = d.u8(58);
    w.Dspl = d.u8(59);
    if (d.size() == 64) // proximity form
        w.Dist = d.f32(60);
}

void d104(const Data& d, cWaypoint& w)
{
    d100_block(d, w);
    w.Dist = d.f32(58);
    w.Smbl = d.i16(62);
    w.Dspl = d.u8(64);
}

void d105(const Data& d, cWaypoint& w)
{
    w.Lat = d.semicircles(0);
    w.Lon = d.semicircles(4);
    w.Smbl = d.i16(8);
    std::string ident = d.cstring(10);
    w.Ident = TrimNull(ident);
}

void d106(const Data& d, cWaypoint& w)
{
    w.Wpt_Class = d.u8(0);
    w.Sub_Class = d.text(1, 13, /*trim*/ false, /*pad*/ true);
    w.Lat = d.semicircles(14);
    w.Lon = d.semicircles(18);
    w.Smbl = d.i16(22);
    // Two texts; one the packet ends inside of is taken up to the data's end.
    detail::String_Run run(Packet_Tail(d.p, Data::at(24)));
    w.Ident = run.take();
    w.Link = run.take();
}

void d107(const Data& d, cWaypoint& w)
{
    d100_block(d, w);
    w.Smbl = d.u8(58);
    w.Dspl = d.u8(59);
    w.Dist = d.f32(60);
    w.Color = d.u8(64);
}

// The six texts of D108 to D110; a text without its NUL ends the reading.
void six_strings(const Data& d, int o, cWaypoint& w)
{
    detail::String_Run run(Packet_Tail(d.p, Data::at(o)));
    for (std::string* field : {&w.Ident, &w.Cmnt, &w.Facility, &w.City, &w.Address, &w.Cross_Road}) {
        auto text = run.next();
        if (!text)
            return;
        *field = std::move(*text);
    }
}

// The fields D108, D109 and D110 share from offset 3 on.
void d108_common(const Data& d, cWaypoint& w)
{
    w.Attrib = d.u8(3);
    w.Smbl = d.i16(4);
    if (w.Wpt_Class > 127)
        w.Sub_Class = d.text(6, 18, /*trim*/ true, /*pad*/ false, /*whole*/ true);
    w.Lat = d.semicircles(24);
    w.Lon = d.semicircles(28);
    w.Alt = d.f32(32);
    w.Dpth = d.f32(36);
    w.Dist = d.f32(40);
    w.State = d.text(44, 2);
    w.Country = d.text(46, 2);
}

void d109_display(const Data& d, cWaypoint& w)
{
    const std::uint8_t v = d.u8(2);
    w.Color = v & 0x1F;
    w.Dspl = static_cast<std::int16_t>((v & 0x60) / 32);
}

void d108(const Data& d, cWaypoint& w)
{
    w.Wpt_Class = d.u8(0);
    w.Color = d.u8(1);
    w.Dspl = d.u8(2);
    d108_common(d, w);
    six_strings(d, 48, w);
}

void d109(const Data& d, cWaypoint& w)
{
    w.Dtype = d.u8(0);
    w.Wpt_Class = d.u8(1);
    d109_display(d, w);
    d108_common(d, w);
    w.Ete = d.i32(48);
    six_strings(d, 52, w);
}

void d110(const Data& d, cWaypoint& w)
{
    w.Dtype = d.u8(0);
    w.Wpt_Class = d.u8(1);
    d109_display(d, w);
    d108_common(d, w);
    w.Ete = d.i32(48);
    w.Temp = d.f32(52);
    w.Time_Seconds = d.i32(56);
    w.Time = detail::time_text(d, 56);
    w.Wpt_Category = d.i16(60);
    six_strings(d, 62, w);
}

// D150 at offset o (0, or 2 in the proximity form).
void d150_at(const Data& d, int o, cWaypoint& w)
{
    w.Ident = d.text(o + 0, 6);
    w.Country = d.text(o + 6, 2);
    w.Wpt_Class = d.u8(o + 8);
    w.Lat = d.semicircles(o + 9);
    w.Lon = d.semicircles(o + 13);
    w.Alt = d.i16(o + 17);
    w.City = d.text(o + 19, 24);
    w.State = d.text(o + 43, 2);
    w.Facility = d.text(o + 45, 30);
    w.Cmnt = d.text(o + 75, 40);
}

void d150(const Data& d, cWaypoint& w)
{
    if (d.size() == 121) { // proximity form
        w.Prox_Index = d.i16(0);
        d150_at(d, 2, w);
        w.Dist = d.f32(117);
    } else {
        d150_at(d, 0, w);
    }
}

void d151_block(const Data& d, cWaypoint& w)
{
    d100_block(d, w);
    w.Dist = d.f32(58);
    w.Facility = d.text(62, 30);
    w.City = d.text(92, 24);
    w.State = d.text(116, 2);
    w.Alt = d.i16(118);
    w.Country = d.text(120, 2);
    w.Unused2 = d.u8(122);
    w.Wpt_Class = d.u8(123);
}

void d154(const Data& d, cWaypoint& w)
{
    d151_block(d, w);
    w.Smbl = d.i16(124);
}

void d155(const Data& d, cWaypoint& w)
{
    d154(d, w);
    w.Dspl = d.u8(126);
}

// The proximity formats: the receiver maker's layouts, a waypoint record
// followed by the proximity distance.
void d400(const Data& d, cWaypoint& w)
{
    d100_block(d, w);
    w.Dist = d.f32(58);
}

void d403(const Data& d, cWaypoint& w)
{
    d100_block(d, w);
    w.Smbl = d.u8(58);
    w.Dspl = d.u8(59);
    w.Dist = d.f32(60);
}

void d450(const Data& d, cWaypoint& w)
{
    w.Prox_Index = d.i16(0);
    d150_at(d, 2, w);
    w.Dist = d.f32(117);
}

struct Waypoint_Format {
    std::string_view name;
    void (*read)(const Data&, cWaypoint&);
};

constexpr std::array waypoint_formats{
    Waypoint_Format{"D100", d100}, Waypoint_Format{"D101", d101},
    Waypoint_Format{"D102", d102}, Waypoint_Format{"D103", d103},
    Waypoint_Format{"D104", d104}, Waypoint_Format{"D105", d105},
    Waypoint_Format{"D106", d106}, Waypoint_Format{"D107", d107},
    Waypoint_Format{"D108", d108}, Waypoint_Format{"D109", d109},
    Waypoint_Format{"D110", d110}, Waypoint_Format{"D150", d150},
    Waypoint_Format{"D151", d151_block}, Waypoint_Format{"D152", d151_block},
    Waypoint_Format{"D154", d154}, Waypoint_Format{"D155", d155},
    Waypoint_Format{"D400", d400}, Waypoint_Format{"D403", d403},
    Waypoint_Format{"D450", d450},
};

} // namespace

bool Read_Waypoint(std::string_view format, PacketView packet, cWaypoint& wpt)
{
    wpt.Clear();
    for (const auto& f : waypoint_formats) {
        if (f.name == format) {
            f.read(Data{packet}, wpt);
            return true;
        }
    }
    return false;
}

void Decode_Waypoint(std::string_view format, PacketView packet, RecordStore& store,
                     Waypoint_Packet kind)
{
    auto wpt = make_record<cWaypoint>();
    Read_Waypoint(format, packet, *wpt);
    store.Waypoint = wpt;
    RecordStore::Use(store.Waypoints).push_back(wpt);
    if (kind == Waypoint_Packet::Route) {
        if (auto route = store.Last_Route())
            RecordStore::Use(route->Waypoints).push_back(wpt);
    }
}

} // namespace brenvik
