// Waypoint packets, one table row per format.
#include "device/protocols/codec/encode.h"

#include "device/protocols/codec/detail/encode_common.h"

#include <array>

namespace brenvik {

using namespace encode_detail;

namespace {

// Fixed-width texts: upper-cased (T) or as typed (S), blank-padded.
void text_t(FieldWriter& w, std::size_t offset, const std::string& utf8, std::size_t width)
{
    w.Fixed_Text(offset, Device_Text(utf8, true, false), width);
}

void text_s(FieldWriter& w, std::size_t offset, const std::string& utf8, std::size_t width)
{
    w.Fixed_Text(offset, Device_Text(utf8, false, false), width);
}

std::uint8_t low_byte(std::int32_t v) { return static_cast<std::uint8_t>(v & 0xFF); }

// Offsets 0 to 57, shared by D100 to D104 and D107.
void d100_block(FieldWriter& w, const cWaypoint& p)
{
    text_t(w, 0, p.Ident, 6);
    Write_Lat(w, 6, p.Lat);
    Write_Lon(w, 10, p.Lon);
    w.Long(14, p.Unused1);
    text_t(w, 18, p.Cmnt, 40);
}

Packet d100(const cWaypoint& p, std::uint8_t id, bool prox)
{
    Packet pk = New_Packet(id, prox ? 62 : 58);
    FieldWriter w(pk);
    d100_block(w, p);
    if (prox)
        w.Single(58, p.Dist);
    return pk;
}

Packet d101(const cWaypoint& p, std::uint8_t id, bool)
{
    Packet pk = New_Packet(id, 63);
    FieldWriter w(pk);
    d100_block(w, p);
    w.Single(58, p.Dist);
    w.Byte(62, low_byte(p.Smbl));
    return pk;
}

Packet d102(const cWaypoint& p, std::uint8_t id, bool)
{
    Packet pk = New_Packet(id, 64);
    FieldWriter w(pk);
    d100_block(w, p);
    w.Single(58, p.Dist);
    w.Int16(62, p.Smbl);
    return pk;
}

Packet d103(const cWaypoint& p, std::uint8_t id, bool prox)
{
    Packet pk = New_Packet(id, prox ? 64 : 60);
    FieldWriter w(pk);
    d100_block(w, p);
    w.Byte(58, low_byte(p.Smbl));
    w.Byte(59, low_byte(p.Dspl));
    if (prox)
        w.Single(60, p.Dist);
    return pk;
}

Packet d104(const cWaypoint& p, std::uint8_t id, bool)
{
    Packet pk = New_Packet(id, 65);
    FieldWriter w(pk);
    d100_block(w, p);
    w.Single(58, p.Dist);
    w.Int16(62, p.Smbl);
    w.Byte(64, low_byte(p.Dspl));
    return pk;
}

Packet d105(const cWaypoint& p, std::uint8_t id, bool)
{
    std::string ident = Device_Text(p.Ident, true);
    Fit_Texts({&ident}, Max_Data_Size - 10);
    Packet pk = New_Packet(id, static_cast<std::uint8_t>(10 + ident.size() + 1));
    FieldWriter w(pk);
    Write_Lat(w, 0, p.Lat);
    Write_Lon(w, 4, p.Lon);
    w.Int16(8, p.Smbl);
    w.Zero_Text(10, ident);
    return pk;
}

Packet d106(const cWaypoint& p, std::uint8_t id, bool)
{
    std::string ident = Device_Text(p.Ident, true);
    std::string link = Device_Text(p.Link, false);
    Fit_Texts({&ident, &link}, Max_Data_Size - 24);
    Packet pk = New_Packet(id, static_cast<std::uint8_t>(24 + ident.size() + link.size() + 2));
    FieldWriter w(pk);
    w.Byte(0, low_byte(p.Wpt_Class));
    text_s(w, 1, p.Sub_Class, 13);
    Write_Lat(w, 14, p.Lat);
    Write_Lon(w, 18, p.Lon);
    w.Int16(22, p.Smbl);
    w.Zero_Text(w.Zero_Text(24, ident), link);
    return pk;
}

Packet d107(const cWaypoint& p, std::uint8_t id, bool)
{
    Packet pk = New_Packet(id, 65);
    FieldWriter w(pk);
    d100_block(w, p);
    w.Byte(58, low_byte(p.Smbl));
    w.Byte(59, low_byte(p.Dspl));
    w.Single(60, p.Dist);
    w.Byte(64, low_byte(p.Color));
    return pk;
}

// D108, D109 and D110: a fixed block, then six NUL-terminated texts.
enum class Variant { D108, D109, D110 };

Packet d108_family(const cWaypoint& p, std::uint8_t id, Variant v)
{
    const std::size_t fixed = v == Variant::D108 ? 48 : v == Variant::D109 ? 52 : 62;
    std::string texts[6] = {Device_Text(p.Ident, true),    Device_Text(p.Cmnt, true),
                            Device_Text(p.Facility, true), Device_Text(p.City, true),
                            Device_Text(p.Address, true),  Device_Text(p.Cross_Road, true)};
    const std::vector<std::string*> list = {&texts[0], &texts[1], &texts[2],
                                            &texts[3], &texts[4], &texts[5]};
    Fit_Texts(list, Max_Data_Size - fixed);
    Packet pk = New_Packet(id, static_cast<std::uint8_t>(fixed + Text_Bytes(list) + 6));
    FieldWriter w(pk);
    if (v == Variant::D108) {
        w.Byte(0, low_byte(p.Wpt_Class));
        w.Byte(1, low_byte(p.Color));
        w.Byte(2, low_byte(p.Dspl));
        w.Byte(3, 0x60);
    } else {
        w.Byte(0, 0x01);
        w.Byte(1, low_byte(p.Wpt_Class));
        // Colour in bits 0 to 4, display in bits 5 and 6: neither may spill
        // into the other.
        w.Byte(2, static_cast<std::uint8_t>((p.Color & 0x1F) | ((p.Dspl & 3) << 5)));
        w.Byte(3, v == Variant::D109 ? 0x70 : 0x80);
    }
    w.Int16(4, p.Smbl);
    if (p.Wpt_Class >= 127)
        text_s(w, 6, p.Sub_Class, 18);
    else
        w.Bytes(6, Default_Subclass);
    Write_Lat(w, 24, p.Lat);
    Write_Lon(w, 28, p.Lon);
    w.Single(32, p.Alt);
    w.Single(36, p.Dpth);
    w.Single(40, p.Dist);
    text_t(w, 44, p.State, 2);
    text_t(w, 46, p.Country, 2);
    if (v != Variant::D108)
        w.Long(48, p.Ete == 0 ? -1 : p.Ete);
    if (v == Variant::D110) {
        w.Single(52, p.Temp);
        w.Long(56, static_cast<std::int32_t>(Record_Seconds(p.Time_Seconds, p.Time)));
        w.Int16(60, p.Wpt_Category);
    }
    std::size_t at = fixed;
    for (const std::string& t : texts)
        at = w.Zero_Text(at, t);
    return pk;
}

Packet d108(const cWaypoint& p, std::uint8_t id, bool) { return d108_family(p, id, Variant::D108); }
Packet d109(const cWaypoint& p, std::uint8_t id, bool) { return d108_family(p, id, Variant::D109); }
Packet d110(const cWaypoint& p, std::uint8_t id, bool) { return d108_family(p, id, Variant::D110); }

// The proximity form puts a 16-bit index before the record and the
// distance after it.
Packet d150(const cWaypoint& p, std::uint8_t id, bool prox)
{
    const std::size_t at = prox ? 2 : 0;
    Packet pk = New_Packet(id, prox ? 121 : 115);
    FieldWriter w(pk);
    if (prox)
        w.Int16(0, p.Prox_Index);
    text_t(w, at + 0, p.Ident, 6);
    text_t(w, at + 6, p.Country, 2);
    w.Byte(at + 8, low_byte(p.Wpt_Class));
    Write_Lat(w, at + 9, p.Lat);
    Write_Lon(w, at + 13, p.Lon);
    Write_Alt16(w, at + 17, p.Alt);
    text_t(w, at + 19, p.City, 24);
    text_t(w, at + 43, p.State, 2);
    text_t(w, at + 45, p.Facility, 30);
    text_t(w, at + 75, p.Cmnt, 40);
    if (prox)
        w.Single(117, p.Dist);
    return pk;
}

// D151 and D152 (124 bytes); D154 adds the symbol, D155 the display too.
Packet d151_family(const cWaypoint& p, std::uint8_t id, std::uint8_t size)
{
    Packet pk = New_Packet(id, size);
    FieldWriter w(pk);
    d100_block(w, p);
    w.Single(58, p.Dist);
    text_t(w, 62, p.Facility, 30);
    text_t(w, 92, p.City, 24);
    text_t(w, 116, p.State, 2);
    Write_Alt16(w, 118, p.Alt);
    text_t(w, 120, p.Country, 2);
    w.Byte(122, 0);
    w.Byte(123, low_byte(p.Wpt_Class));
    if (size >= 126)
        w.Int16(124, p.Smbl);
    if (size >= 127)
        w.Byte(126, low_byte(p.Dspl));
    return pk;
}

Packet d151(const cWaypoint& p, std::uint8_t id, bool) { return d151_family(p, id, 124); }
Packet d154(const cWaypoint& p, std::uint8_t id, bool) { return d151_family(p, id, 126); }
Packet d155(const cWaypoint& p, std::uint8_t id, bool) { return d151_family(p, id, 127); }

// The proximity formats: always the proximity forms.
Packet d400(const cWaypoint& p, std::uint8_t id, bool) { return d100(p, id, true); }
Packet d403(const cWaypoint& p, std::uint8_t id, bool) { return d103(p, id, true); }
Packet d450(const cWaypoint& p, std::uint8_t id, bool) { return d150(p, id, true); }

struct WaypointFormat {
    std::string_view name;
    Packet (*encode)(const cWaypoint&, std::uint8_t id, bool proximity);
};

constexpr std::array<WaypointFormat, 19> formats = {{
    {"D100", d100}, {"D101", d101}, {"D102", d102}, {"D103", d103}, {"D104", d104},
    {"D105", d105}, {"D106", d106}, {"D107", d107}, {"D108", d108}, {"D109", d109},
    {"D110", d110}, {"D150", d150}, {"D151", d151}, {"D152", d151}, {"D154", d154},
    {"D155", d155}, {"D400", d400}, {"D403", d403}, {"D450", d450},
}};

} // namespace

Encoded Encode_Waypoint(std::string_view format, const cWaypoint& wpt, std::uint8_t id,
                        bool proximity)
{
    for (const WaypointFormat& f : formats)
        if (f.name == format)
            return f.encode(wpt, id, proximity);
    return std::nullopt;
}

} // namespace brenvik
