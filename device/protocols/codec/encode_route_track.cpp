// Route header, route link, track header and track point packets.
#include "device/protocols/codec/encode.h"

#include "device/protocols/codec/detail/encode_common.h"

#include <array>

namespace brenvik {

using namespace encode_detail;

namespace {

std::uint8_t size_of(std::size_t n) { return static_cast<std::uint8_t>(n); }

// Route headers.

Packet d200(const cRoute& r, std::uint8_t id)
{
    Packet pk = New_Packet(id, 1);
    FieldWriter(pk).Byte(0, static_cast<std::uint8_t>(r.Number & 0xFF));
    return pk;
}

Packet d201(const cRoute& r, std::uint8_t id)
{
    Packet pk = New_Packet(id, 21);
    FieldWriter w(pk);
    w.Byte(0, static_cast<std::uint8_t>(r.Number & 0xFF));
    w.Fixed_Text(1, Device_Text(r.Cmnt.empty() ? r.Ident : r.Cmnt, true, false), 20);
    return pk;
}

Packet d202(const cRoute& r, std::uint8_t id)
{
    std::string ident = Device_Text(r.Ident, true);
    Fit_Texts({&ident}, Max_Data_Size);
    Packet pk = New_Packet(id, size_of(ident.size() + 1));
    FieldWriter(pk).Zero_Text(0, ident);
    return pk;
}

struct RouteHeaderFormat {
    std::string_view name;
    Packet (*encode)(const cRoute&, std::uint8_t id);
};

constexpr std::array<RouteHeaderFormat, 3> route_headers = {{
    {"D200", d200}, {"D201", d201}, {"D202", d202},
}};

// Track headers.

Packet d310(const cTrack& t, std::uint8_t id)
{
    std::string ident = Device_Text(t.Ident, true);
    Fit_Texts({&ident}, Max_Data_Size - 2);
    Packet pk = New_Packet(id, size_of(2 + ident.size() + 1));
    FieldWriter w(pk);
    w.Byte(0, t.Dspl ? 1 : 0);
    w.Byte(1, t.Color);
    w.Zero_Text(2, ident);
    return pk;
}

Packet d311(const cTrack& t, std::uint8_t id)
{
    Packet pk = New_Packet(id, 4);
    FieldWriter w(pk);
    w.Int16(0, t.Index);
    w.Byte(2, 0xFF);
    w.Byte(3, 0x7F);
    return pk;
}

struct TrackFormat {
    std::string_view name;
    Packet (*encode)(const cTrack&, std::uint8_t id);
};

constexpr std::array<TrackFormat, 3> track_headers = {{
    {"D310", d310}, {"D311", d311}, {"D312", d310},
}};

// Track points: position and time first in every format.

Packet track_point(const cTrack& t, std::uint8_t id, std::uint8_t size)
{
    Packet pk = New_Packet(id, size);
    FieldWriter w(pk);
    Write_Lat(w, 0, t.Lat);
    Write_Lon(w, 4, t.Lon);
    w.Long(8, static_cast<std::int32_t>(Record_Seconds(t.Seconds, t.Time)));
    return pk;
}

std::uint8_t segment(const cTrack& t) { return t.New_Segment ? 1 : 0; }

Packet d300(const cTrack& t, std::uint8_t id)
{
    Packet pk = track_point(t, id, 13);
    FieldWriter(pk).Byte(12, segment(t));
    return pk;
}

Packet d301(const cTrack& t, std::uint8_t id)
{
    Packet pk = track_point(t, id, 24);
    FieldWriter w(pk);
    w.Single(12, t.Alt);
    w.Single(16, t.Dpth);
    w.Byte(20, segment(t));
    return pk;
}

// D303 is sent in the D302 layout.
Packet d302(const cTrack& t, std::uint8_t id)
{
    Packet pk = track_point(t, id, 28);
    FieldWriter w(pk);
    w.Single(12, t.Alt);
    w.Single(16, t.Dpth);
    w.Single(20, t.Temp);
    w.Byte(24, segment(t));
    return pk;
}

Packet d304(const cTrack& t, std::uint8_t id)
{
    Packet pk = track_point(t, id, 24);
    FieldWriter w(pk);
    w.Single(12, t.Alt);
    w.Byte(21, 0xFF);
    w.Byte(23, 0xFF);
    return pk;
}

constexpr std::array<TrackFormat, 5> track_points = {{
    {"D300", d300}, {"D301", d301}, {"D302", d302}, {"D303", d302}, {"D304", d304},
}};

template <class Table, class Record>
Encoded encode_by_name(const Table& table, std::string_view format, const Record& r,
                       std::uint8_t id)
{
    for (const auto& f : table)
        if (f.name == format)
            return f.encode(r, id);
    return std::nullopt;
}

} // namespace

Encoded Encode_Route_Header(std::string_view format, const cRoute& route, std::uint8_t id)
{
    return encode_by_name(route_headers, format, route, id);
}

Packet Encode_Route_Link(const cRoute& route, std::uint8_t id)
{
    std::string ident = Device_Text(route.Link_Ident, true);
    Fit_Texts({&ident}, Max_Data_Size - 20);
    Packet pk = New_Packet(id, size_of(20 + ident.size() + 1));
    FieldWriter w(pk);
    w.Int16(0, route.Link_Class);
    if (route.Link_Class == 3 || route.Link_Class == 255)
        w.Bytes(2, Default_Subclass);
    else
        w.Fixed_Text(2, Device_Text(route.Link_Sub_Class, true, false), 18);
    w.Zero_Text(20, ident);
    return pk;
}

Encoded Encode_Track_Header(std::string_view format, const cTrack& track, std::uint8_t id)
{
    return encode_by_name(track_headers, format, track, id);
}

Encoded Encode_Track_Point(std::string_view format, const cTrack& track, std::uint8_t id)
{
    return encode_by_name(track_points, format, track, id);
}

} // namespace brenvik
