// Encoders against the decoders: a filled record survives encode + decode
// in every format (apart from what the layouts themselves change), and a
// receiver's packet survives decode + encode byte for byte.
#include "bytes.h"

#include "device/protocols/codec/conversions.h"
#include "device/protocols/codec/decode.h"
#include "device/protocols/codec/encode.h"

#include <gtest/gtest.h>

#include <string>

using namespace brenvik;
using namespace encode_test;

namespace {

// The waypoint fields, as bits of a mask of what a format carries.
enum : unsigned {
    Ident = 1u << 0, Lat = 1u << 1, Lon = 1u << 2, Cmnt = 1u << 3, Dspl = 1u << 4,
    Smbl = 1u << 5, Unused1 = 1u << 6, Dist = 1u << 7, Prox_Index = 1u << 8,
    Color = 1u << 9, Alt = 1u << 10, Dpth = 1u << 11, Wpt_Class = 1u << 12,
    Sub_Class = 1u << 13, Attrib = 1u << 14, Link = 1u << 15, State = 1u << 16,
    Country = 1u << 17, City = 1u << 18, Address = 1u << 19, Facility = 1u << 20,
    Cross_Road = 1u << 21, Unused2 = 1u << 22, Ete = 1u << 23, Dtype = 1u << 24,
    Temp = 1u << 25, Time = 1u << 26, Wpt_Category = 1u << 27,
};

constexpr unsigned D100_Block = Ident | Lat | Lon | Unused1 | Cmnt;
constexpr unsigned Six_Texts = Ident | Cmnt | Facility | City | Address | Cross_Road;
constexpr unsigned D108_Fields = Wpt_Class | Color | Dspl | Attrib | Smbl | Sub_Class | Lat |
                                 Lon | Alt | Dpth | Dist | State | Country | Six_Texts;
constexpr unsigned D150_Fields =
    Ident | Country | Wpt_Class | Lat | Lon | Alt | City | State | Facility | Cmnt;
constexpr unsigned D151_Fields = D100_Block | Dist | Facility | City | State | Alt | Country |
                                 Unused2 | Wpt_Class;

// Every field set to a value the formats can carry unchanged: upper-case
// texts within their widths, angles on whole semicircles, whole altitudes.
cWaypoint full()
{
    cWaypoint w;
    w.Ident = "WPT\xC3\x89" "1";  // WPTÉ1
    w.Lat = Semicircles_To_Degrees(0x20000007);
    w.Lon = Semicircles_To_Degrees(-0x3456789A);
    w.Cmnt = "A COMMENT \xC3\x89";
    w.Dspl = 2;
    w.Smbl = 200;
    w.Unused1 = 0x01020304;
    w.Dist = 12.25f;
    w.Prox_Index = 7;
    w.Color = 5;
    w.Alt = 123.0f;
    w.Dpth = 4.5f;
    w.Wpt_Class = 200;
    w.Sub_Class = "SUBCLASS13CHR"; // fills D106's 13 bytes
    w.Attrib = 0;
    w.Link = "Home Link";
    w.State = "MN";
    w.Country = "US";
    w.City = "ST PAUL";
    w.Address = "1 MAIN";
    w.Facility = "DOCK";
    w.Cross_Road = "ELM";
    w.Unused2 = 0;
    w.Ete = 3600;
    w.Dtype = 1;
    w.Temp = 21.5f;
    w.Time_Seconds = 86400;
    w.Time = Device_Time(86400);
    w.Wpt_Category = 9;
    return w;
}

// The record as a format carries it: the carried fields, the rest cleared.
cWaypoint carried(const cWaypoint& s, unsigned mask)
{
    cWaypoint w;
#define TF_COPY(f) if (mask & f) w.f = s.f;
    TF_COPY(Ident) TF_COPY(Lat) TF_COPY(Lon) TF_COPY(Cmnt) TF_COPY(Dspl) TF_COPY(Smbl)
    TF_COPY(Unused1) TF_COPY(Dist) TF_COPY(Prox_Index) TF_COPY(Color) TF_COPY(Alt) TF_COPY(Dpth)
    TF_COPY(Wpt_Class) TF_COPY(Sub_Class) TF_COPY(Attrib) TF_COPY(Link) TF_COPY(State)
    TF_COPY(Country) TF_COPY(City) TF_COPY(Address) TF_COPY(Facility) TF_COPY(Cross_Road)
    TF_COPY(Unused2) TF_COPY(Ete) TF_COPY(Dtype) TF_COPY(Temp) TF_COPY(Wpt_Category)
#undef TF_COPY
    if (mask & Time) {
        w.Time = s.Time;
        w.Time_Seconds = s.Time_Seconds;
    }
    return w;
}

void expect_same(const cWaypoint& want, const cWaypoint& got, std::string_view format)
{
#define TF_SAME(f) EXPECT_EQ(want.f, got.f) << format << " field " #f;
    TF_SAME(Ident) TF_SAME(Lat) TF_SAME(Lon) TF_SAME(Cmnt) TF_SAME(Dspl) TF_SAME(Smbl)
    TF_SAME(Unused1) TF_SAME(Dist) TF_SAME(Prox_Index) TF_SAME(Color) TF_SAME(Alt) TF_SAME(Dpth)
    TF_SAME(Wpt_Class) TF_SAME(Sub_Class) TF_SAME(Attrib) TF_SAME(Link) TF_SAME(State)
    TF_SAME(Country) TF_SAME(City) TF_SAME(Address) TF_SAME(Facility) TF_SAME(Cross_Road)
    TF_SAME(Unused2) TF_SAME(Ete) TF_SAME(Dtype) TF_SAME(Temp) TF_SAME(Time)
    TF_SAME(Time_Seconds) TF_SAME(Wpt_Category)
#undef TF_SAME
}

cWaypoint decode_waypoint(std::string_view format, const Bytes& packet)
{
    cWaypoint w;
    EXPECT_TRUE(Read_Waypoint(format, packet, w)) << format;
    return w;
}

} // namespace

TEST(RoundTrip, EveryWaypointFormatGivesBackItsFields)
{
    struct Case { const char* format; bool prox; unsigned mask; };
    const Case cases[] = {
        {"D100", false, D100_Block},
        {"D100", true, D100_Block | Dist},
        {"D101", false, D100_Block | Dist | Smbl},
        {"D102", false, D100_Block | Dist | Smbl},
        {"D103", false, D100_Block | Smbl | Dspl},
        {"D103", true, D100_Block | Smbl | Dspl | Dist},
        {"D104", false, D100_Block | Dist | Smbl | Dspl},
        {"D105", false, Lat | Lon | Smbl | Ident},
        {"D106", false, Wpt_Class | Sub_Class | Lat | Lon | Smbl | Ident | Link},
        {"D107", false, D100_Block | Smbl | Dspl | Dist | Color},
        {"D108", false, D108_Fields},
        {"D109", false, D108_Fields | Dtype | Ete},
        {"D110", false, D108_Fields | Dtype | Ete | Temp | Time | Wpt_Category},
        {"D150", false, D150_Fields},
        {"D150", true, D150_Fields | Prox_Index | Dist},
        {"D151", false, D151_Fields},
        {"D152", false, D151_Fields},
        {"D154", false, D151_Fields | Smbl},
        {"D155", false, D151_Fields | Smbl | Dspl},
        {"D400", true, D100_Block | Dist},
        {"D403", true, D100_Block | Smbl | Dspl | Dist},
        {"D450", true, D150_Fields | Prox_Index | Dist},
    };
    for (const Case& c : cases) {
        cWaypoint src = full();
        // The fixed bytes these formats write in place of the record's own.
        const std::string_view f = c.format;
        src.Attrib = f == "D108" ? 0x60 : f == "D109" ? 0x70 : f == "D110" ? 0x80 : 0;
        const Encoded e = Encode_Waypoint(c.format, src, c.prox ? 19 : 35, c.prox);
        ASSERT_TRUE(e.has_value()) << c.format;
        expect_same(carried(src, c.mask), decode_waypoint(c.format, *e), c.format);
    }
}

TEST(RoundTrip, WaypointTextsAndSubclassRules)
{
    // Lower case comes back upper-cased; the subclass of a low class is the
    // default one, which reads back as no subclass.
    cWaypoint src = full();
    src.Ident = "wp\xC3\xA9";
    src.Wpt_Class = 0;
    const cWaypoint got = decode_waypoint("D108", *Encode_Waypoint("D108", src, 35, false));
    EXPECT_EQ(got.Ident, "WP\xC3\x89");
    EXPECT_EQ(got.Sub_Class, "");
    // Ete 0 goes out as "none" (-1).
    src.Ete = 0;
    EXPECT_EQ(decode_waypoint("D109", *Encode_Waypoint("D109", src, 35, false)).Ete, -1);
}

TEST(RoundTrip, RoutesAndTracks)
{
    RecordStore store;
    cRoute r;
    r.Number = 7;
    r.Ident = "ROUTE 7";
    r.Cmnt = "TWENTY CHARACTERS..."; // exactly 20
    Decode_Route_Header("D200", *Encode_Route_Header("D200", r, 29), store);
    EXPECT_EQ(store.Route->Number, 7);
    Decode_Route_Header("D201", *Encode_Route_Header("D201", r, 29), store);
    EXPECT_EQ(store.Route->Number, 7);
    EXPECT_EQ(store.Route->Cmnt, r.Cmnt);
    Decode_Route_Header("D202", *Encode_Route_Header("D202", r, 29), store);
    EXPECT_EQ(store.Route->Ident, r.Ident);

    r.Link_Class = 0;
    r.Link_Sub_Class = "SUB";
    r.Link_Ident = "LINK ONE";
    Decode_Route_Link(Encode_Route_Link(r, 98), store);
    EXPECT_EQ(store.Route->Link_Class, 0);
    EXPECT_EQ(store.Route->Link_Sub_Class, "SUB");
    EXPECT_EQ(store.Route->Link_Ident, "LINK ONE");
    r.Link_Class = 255;
    Decode_Route_Link(Encode_Route_Link(r, 98), store);
    EXPECT_EQ(store.Route->Link_Class, 255);
    EXPECT_EQ(store.Route->Link_Sub_Class, "");

    cTrack h;
    h.Ident = "TRACK \xC3\x89";
    h.Dspl = true;
    h.Color = 9;
    h.Index = 4;
    for (const char* f : {"D310", "D312"}) {
        Decode_Track_Header(f, *Encode_Track_Header(f, h, 99), store);
        EXPECT_EQ(store.Track->Ident, h.Ident) << f;
        EXPECT_TRUE(store.Track->Dspl) << f;
        EXPECT_EQ(store.Track->Color, 9) << f;
    }
    Decode_Track_Header("D311", *Encode_Track_Header("D311", h, 99), store);
    EXPECT_EQ(store.Track->Index, 4);

    cTrack p;
    p.Lat = Semicircles_To_Degrees(-0x1234567);
    p.Lon = Semicircles_To_Degrees(0x7654321);
    p.Seconds = 1000000;
    p.Time = Device_Time(1000000);
    p.New_Segment = true;
    p.Alt = 250.5f;
    p.Dpth = 3.25f;
    p.Temp = -4.0f;
    struct Case { const char* f; bool alt, dpth, temp, seg; };
    for (const Case c : {Case{"D300", false, false, false, true}, Case{"D301", true, true, false, true},
                         Case{"D302", true, true, true, true}}) {
        cTrack got;
        ASSERT_TRUE(Read_Track_Point(c.f, *Encode_Track_Point(c.f, p, 34), got)) << c.f;
        EXPECT_EQ(got.Lat, p.Lat) << c.f;
        EXPECT_EQ(got.Lon, p.Lon) << c.f;
        EXPECT_EQ(got.Seconds, p.Seconds) << c.f;
        EXPECT_EQ(got.Time, p.Time) << c.f;
        EXPECT_EQ(got.Alt, c.alt ? p.Alt : 0.0f) << c.f;
        EXPECT_EQ(got.Dpth, c.dpth ? p.Dpth : 0.0f) << c.f;
        EXPECT_EQ(got.Temp, c.temp ? p.Temp : 0.0f) << c.f;
        EXPECT_EQ(got.New_Segment, c.seg) << c.f;
    }
}

namespace {

// ID, size and data: what a re-encoded packet must repeat (the checksum is
// the link's).
Bytes body(const Bytes& packet)
{
    return packet.size() < 4 ? Bytes{} : Bytes(packet.begin() + 1, packet.end() - 3);
}

Bytes receiver(std::uint8_t id, std::uint8_t size, const Bytes& data)
{
    Bytes p = Frame(id, size, data);
    std::uint8_t sum = 0;
    for (std::size_t k = 1; k + 3 < p.size(); ++k)
        sum = static_cast<std::uint8_t>(sum + p[k]);
    p[p.size() - 3] = static_cast<std::uint8_t>(-sum);
    return p;
}

const Bytes block = Cat({A("RIVER "), H("00 00 00 20 | 00 00 00 C0 | 00 00 00 00"), A("BRIDGE"),
                         Rep(' ', 34)});
const Bytes dsub = Cat({Rep(0, 6), Rep(0xFF, 12)});
const Bytes texts = Cat({A("RIVER"), H("00"), A("BRIDGE"), H("00 00"), A("ST PAUL"), H("00 00 00")});
const Bytes mid = Cat({H("00 00 00 20 | 00 00 00 C0 | 00 00 C8 42 | 51 59 04 69 | 00 00 80 3F"),
                       A("MNUS")});
const Bytes d150 = Cat({A("RIVER US"), H("03 | 00 00 00 20 | 00 00 00 C0 | 64 00"), A("ST PAUL"),
                        Rep(' ', 17), A("MN"), A("DOCK"), Rep(' ', 26), A("BRIDGE"),
                        Rep(' ', 34)});
const Bytes d151 = Cat({block, H("00 00 80 3F"), A("DOCK"), Rep(' ', 26), A("ST PAUL"),
                        Rep(' ', 17), A("MN"), H("64 00"), A("US"), H("00 05")});

} // namespace

TEST(RoundTrip, ReceiverWaypointPacketsReencodeIdentically)
{
    struct Case { const char* format; Bytes packet; };
    const Case cases[] = {
        {"D100", receiver(35, 58, block)},
        {"D100", receiver(19, 62, Cat({block, H("00 00 80 3F")}))},
        {"D101", receiver(35, 63, Cat({block, H("00 00 80 3F 12")}))},
        {"D102", receiver(35, 64, Cat({block, H("00 00 80 3F 12 01")}))},
        {"D103", receiver(35, 60, Cat({block, H("12 01")}))},
        {"D103", receiver(19, 64, Cat({block, H("12 01 00 00 80 3F")}))},
        {"D104", receiver(35, 65, Cat({block, H("00 00 80 3F 12 01 01")}))},
        {"D105", receiver(35, 16, Cat({H("00 00 00 20 | 00 00 00 C0 | 12 01"), A("RIVER"), H("00")}))},
        {"D106", receiver(35, 35, Cat({H("00"), A("Sub Class 13c"), H("00 00 00 20 | 00 00 00 C0 | 12 01"),
                                       A("RIVER"), H("00"), A("Link"), H("00")}))},
        {"D107", receiver(35, 65, Cat({block, H("12 01 00 00 80 3F 05")}))},
        {"D108", receiver(35, 72, Cat({H("00 05 01 60 | 12 01"), dsub, mid, texts}))},
        {"D108", receiver(35, 72, Cat({H("80 05 01 60 | 12 01"), A("SUBCLASS EIGHTEEN!"), mid, texts}))},
        // A map point: class 0x80 with a binary subclass (NULs, FFs).
        {"D108", receiver(35, 72, Cat({H("80 05 01 60 | 12 01"),
                                       H("00 00 3A 1C 00 00 | 7F 00 00 00 FF FF FF FF FF FF FF FF"), mid, texts}))},
        {"D110", receiver(35, 86, Cat({H("01 81 25 80 | 12 01"),
                                       H("10 27 00 00 41 00 | 00 00 00 00 FF FF FF FF FF FF FF FF"), mid,
                                       H("10 0E 00 00"), H("00 00 00 3F | 3C 00 00 00 | 02 00"), texts}))},
        {"D109", receiver(35, 76, Cat({H("01 00 25 70 | 12 01"), dsub, mid, H("FF FF FF FF"), texts}))},
        {"D110", receiver(35, 86, Cat({H("01 00 25 80 | 12 01"), dsub, mid, H("10 0E 00 00"),
                                       H("00 00 00 3F | 3C 00 00 00 | 02 00"), texts}))},
        {"D150", receiver(35, 115, d150)},
        {"D150", receiver(19, 121, Cat({H("07 00"), d150, H("00 00 80 3F")}))},
        {"D151", receiver(35, 124, d151)},
        {"D152", receiver(35, 124, d151)},
        {"D154", receiver(35, 126, Cat({d151, H("12 01")}))},
        {"D155", receiver(35, 127, Cat({d151, H("12 01 01")}))},
        {"D400", receiver(19, 62, Cat({block, H("00 00 80 3F")}))},
        {"D403", receiver(19, 64, Cat({block, H("12 01 00 00 80 3F")}))},
        {"D450", receiver(19, 121, Cat({H("07 00"), d150, H("00 00 80 3F")}))},
    };
    for (const Case& c : cases) {
        const cWaypoint w = decode_waypoint(c.format, c.packet);
        const bool prox = c.packet[1] == 19;
        const Encoded e = Encode_Waypoint(c.format, w, c.packet[1], prox);
        ASSERT_TRUE(e.has_value()) << c.format;
        EXPECT_EQ(body(*e), body(c.packet)) << c.format << " size " << int(c.packet[2]);
    }
}

TEST(RoundTrip, ReceiverRouteAndTrackPacketsReencodeIdentically)
{
    RecordStore store;
    struct Header { const char* format; Bytes packet; };
    for (const Header& c : {Header{"D200", receiver(29, 1, H("05"))},
                            Header{"D201", receiver(29, 21, Cat({H("05"), A("MORNING WALK        ")}))},
                            Header{"D202", receiver(29, 6, Cat({A("HOME!"), H("00")}))}}) {
        Decode_Route_Header(c.format, c.packet, store);
        EXPECT_EQ(body(*Encode_Route_Header(c.format, *store.Route, 29)), body(c.packet)) << c.format;
    }
    for (const Bytes& link : {receiver(98, 25, Cat({H("03 00"), Rep(0, 6), Rep(0xFF, 12), A("BEND"), H("00")})),
                              receiver(98, 25, Cat({H("00 00"), A("ROAD"), Rep(' ', 14), A("BEND"), H("00")}))}) {
        Decode_Route_Link(link, store);
        EXPECT_EQ(body(Encode_Route_Link(*store.Route, 98)), body(link));
    }
    for (const Header& c : {Header{"D310", receiver(99, 7, Cat({H("01 0F"), A("TRK1"), H("00")}))},
                            Header{"D312", receiver(99, 7, Cat({H("00 0F"), A("TRK1"), H("00")}))},
                            Header{"D311", receiver(99, 4, H("03 00 FF 7F"))}}) {
        Decode_Track_Header(c.format, c.packet, store);
        EXPECT_EQ(body(*Encode_Track_Header(c.format, *store.Track, 99)), body(c.packet)) << c.format;
    }
    const Bytes head = H("00 00 00 E0 | 00 00 00 10 | 04 03 02 01");
    for (const Header& c :
         {Header{"D300", receiver(34, 13, Cat({head, H("01")}))},
          Header{"D301", receiver(34, 24, Cat({head, H("00 00 C8 42 | 00 00 00 40 | 01 00 00 00")}))},
          Header{"D302", receiver(34, 28, Cat({head, H("00 00 C8 42 | 00 00 00 40 | 00 00 00 3F | 00 00 00 00")}))}}) {
        cTrack t;
        ASSERT_TRUE(Read_Track_Point(c.format, c.packet, t)) << c.format;
        EXPECT_EQ(body(*Encode_Track_Point(c.format, t, 34)), body(c.packet)) << c.format;
    }
}
