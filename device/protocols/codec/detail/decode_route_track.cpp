// Route headers and links, track headers and track points.
#include "device/protocols/codec/decode.h"
#include "device/protocols/codec/detail/data_reader.h"

#include <array>

namespace brenvik {

namespace {

using detail::Data;

// Track points: Alt, Dpth, Temp and New_Segment after the common 12 bytes.
// Offsets of -1 mark a field the format does not have.
enum class Depth { None, F32, I16, U8 };
struct Track_Point_Format {
    std::string_view name;
    int alt, dpth;
    Depth depth;
    int temp, new_segment;
};

constexpr std::array track_point_formats{
    Track_Point_Format{"D300", -1, -1, Depth::None, -1, 12},
    Track_Point_Format{"D301", 12, 16, Depth::F32, -1, 20},
    Track_Point_Format{"D302", 12, 16, Depth::F32, 20, 24},
    Track_Point_Format{"D303", 12, 16, Depth::I16, 20, 24},
    Track_Point_Format{"D304", 12, 20, Depth::U8, -1, 24},
};

float read_depth(const Data& d, const Track_Point_Format& f)
{
    switch (f.depth) {
    case Depth::F32: return d.f32(f.dpth);
    case Depth::I16: return d.i16(f.dpth);
    case Depth::U8: return d.u8(f.dpth);
    case Depth::None: break;
    }
    return 0;
}

} // namespace

void Decode_Route_Header(std::string_view format, PacketView packet, RecordStore& store)
{
    const Data d{packet};
    auto route = make_record<cRoute>();
    if (format == "D200") {
        route->Number = d.u8(0);
    } else if (format == "D201") {
        route->Number = d.u8(0);
        route->Cmnt = d.text(1, 20, /*trim*/ false);
    } else if (format == "D202") {
        route->Ident = d.cstring(0);
    }
    route->Waypoints = std::make_shared<RecordList<cWaypoint>>();
    store.Route = route;
    RecordStore::Use(store.Routes).push_back(route);
}

void Decode_Route_Link(PacketView packet, RecordStore& store)
{
    const Data d{packet};
    if (!store.Route)
        store.Route = make_record<cRoute>();
    cRoute& route = *store.Route;
    route.Link_Class = d.i16(0);
    if (route.Link_Class == 3 || route.Link_Class == 255)
        route.Link_Sub_Class.clear();
    else
        route.Link_Sub_Class = d.text(2, 18);
    route.Link_Ident = d.text(20, d.size() - 20);
}

void Decode_Track_Header(std::string_view format, PacketView packet, RecordStore& store)
{
    const Data d{packet};
    auto track = make_record<cTrack>();
    if (format == "D310" || format == "D312") {
        track->Dspl = d.u8(0) != 0;
        track->Color = d.u8(1);
        track->Ident = d.cstring(2);
    } else if (format == "D311") {
        track->Index = d.i16(0);
    }
    store.Track = track;
    RecordStore::Use(store.Tracks).push_back(track);
}

bool Read_Track_Point(std::string_view format, PacketView packet, cTrack& trk)
{
    const Data d{packet};
    trk.Alt = 0;
    trk.Dpth = 0;
    trk.Lat = d.semicircles(0);
    trk.Lon = d.semicircles(4);
    trk.Seconds = d.i32(8);
    trk.Time = detail::time_text(d, 8);
    for (const auto& f : track_point_formats) {
        if (f.name != format)
            continue;
        if (f.alt >= 0)
            trk.Alt = d.f32(f.alt);
        trk.Dpth = read_depth(d, f);
        if (f.temp >= 0)
            trk.Temp = d.f32(f.temp);
        trk.New_Segment = d.has(f.new_segment, 1) && d.u8(f.new_segment) == 1;
        return true;
    }
    return false;
}

void Decode_Track_Point(std::string_view format, PacketView packet, RecordStore& store)
{
    auto point = make_record<cTrack>();
    if (store.Track) {
        point->Ident = store.Track->Ident;
        point->Color = store.Track->Color;
        point->Dspl = store.Track->Dspl;
    }
    Read_Track_Point(format, packet, *point);
    store.Track = point;
    RecordStore::Use(store.Tracks).push_back(point);
}

} // namespace brenvik
