// Out-of-range values, over-long texts and unknown formats: the packet is
// always sized right and carries the nearest sound value, or nothing is
// built at all.
#include "bytes.h"

#include "device/protocols/codec/encode.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

using namespace brenvik;
using namespace encode_test;

namespace {

Bytes wpt(std::string_view format, const cWaypoint& w)
{
    return Encode_Waypoint(format, w, 35, false).value_or(Bytes{});
}

Bytes slice(const Bytes& data, std::size_t from, std::size_t n)
{
    if (from + n > data.size())
        return {};
    return Bytes(data.begin() + static_cast<std::ptrdiff_t>(from),
                 data.begin() + static_cast<std::ptrdiff_t>(from + n));
}

} // namespace

TEST(EncodeFaults, LongitudesWrapAndLatitudesClamp)
{
    struct Case { double lat, lon; const char* expect; };
    const Case cases[] = {
        {0, 180, "00 00 00 00 | 00 00 00 80"},    // +180 is the meridian of -180
        {0, -180, "00 00 00 00 | 00 00 00 80"},
        {0, 190, "00 00 00 00 | C7 71 1C 87"},    // -170 degrees
        {0, 540, "00 00 00 00 | 00 00 00 80"},
        {0, 360, "00 00 00 00 | 00 00 00 00"},
        {100, 0, "00 00 00 40 | 00 00 00 00"},    // clamped to 90
        {-95, 0, "00 00 00 C0 | 00 00 00 00"},    // clamped to -90
        {std::nan(""), std::numeric_limits<double>::infinity(), "00 00 00 00 | 00 00 00 00"},
    };
    for (const Case& c : cases) {
        cWaypoint w;
        w.Lat = c.lat;
        w.Lon = c.lon;
        EXPECT_EQ(slice(Data_Of(wpt("D100", w)), 6, 8), H(c.expect)) << c.lat << ", " << c.lon;
        cTrack t;
        t.Lat = c.lat;
        t.Lon = c.lon;
        EXPECT_EQ(slice(Data_Of(Encode_Track_Point("D300", t, 34).value_or(Bytes{})), 0, 8),
                  H(c.expect))
            << c.lat << ", " << c.lon;
    }
}

TEST(EncodeFaults, AltitudeClampedToInt16)
{
    cWaypoint w;
    for (const char* f : {"D150", "D151", "D152", "D154", "D155"}) {
        const std::size_t at = std::string_view(f) == "D150" ? 17 : 118;
        w.Alt = 40000.0f;
        EXPECT_EQ(slice(Data_Of(wpt(f, w)), at, 2), H("FF 7F")) << f;
        w.Alt = -1e9f;
        EXPECT_EQ(slice(Data_Of(wpt(f, w)), at, 2), H("00 80")) << f;
        w.Alt = 32767.4f;
        EXPECT_EQ(slice(Data_Of(wpt(f, w)), at, 2), H("FF 7F")) << f;
    }
}

TEST(EncodeFaults, DisplayBitsNeverCorruptedByColour)
{
    cWaypoint w;
    struct Case { std::int32_t color; std::int16_t dspl; std::uint8_t expect; };
    const Case cases[] = {
        {3, 1, 0x23}, {63, 0, 0x1F}, {255, 2, 0x5F}, {5, 4, 0x05}, {0x1F, 3, 0x7F},
    };
    for (const Case& c : cases) {
        w.Color = c.color;
        w.Dspl = c.dspl;
        EXPECT_EQ(Data_Of(wpt("D109", w)).at(2), c.expect) << c.color << "/" << c.dspl;
        EXPECT_EQ(Data_Of(wpt("D110", w)).at(2), c.expect) << c.color << "/" << c.dspl;
    }
}

TEST(EncodeFaults, LongTextsShortenedFromTheLast)
{
    cWaypoint w;
    w.Ident = "ident12345";
    w.Cmnt = std::string(100, 'c');
    w.Facility = std::string(50, 'f');
    w.City = std::string(50, 'y');
    w.Address = std::string(20, 'a');
    w.Cross_Road = std::string(20, 'r');
    // 48 fixed bytes + 6 NULs leave 201 text bytes: Cross_Road and Address
    // go, City keeps 41.
    const Bytes p = wpt("D108", w);
    ASSERT_EQ(p.size(), 261u);
    EXPECT_EQ(p[2], 255);
    const Bytes d = Data_Of(p);
    EXPECT_EQ(slice(d, 48, 207),
              Cat({A("IDENT12345"), H("00"), Rep('C', 100), H("00"), Rep('F', 50), H("00"),
                   Rep('Y', 41), H("00 00 00")}));
    EXPECT_EQ(wpt("D109", w)[2], 255);
    EXPECT_EQ(wpt("D110", w)[2], 255);

    // An identifier that alone is too long is cut to what fits; a
    // multi-byte character counts as its one Windows-1252 byte.
    std::string long_ident;
    for (int k = 0; k < 300; ++k)
        long_ident += "\xC3\xA9";
    w = cWaypoint{};
    w.Ident = long_ident;
    const Bytes d105 = wpt("D105", w);
    ASSERT_EQ(d105.size(), 261u);
    EXPECT_EQ(slice(Data_Of(d105), 10, 245), Cat({Rep(0xC9, 244), H("00")}));
    w.Link = std::string(100, 'l');
    w.Ident = std::string(200, 'i');
    const Bytes d106 = Data_Of(wpt("D106", w));
    ASSERT_EQ(d106.size(), 255u);
    EXPECT_EQ(slice(d106, 24, 231),
              Cat({Rep('I', 200), H("00"), Rep('l', 29), H("00")}));

    cRoute r;
    r.Ident = std::string(300, 'r');
    r.Link_Ident = r.Ident;
    const Bytes d202 = Encode_Route_Header("D202", r, 29).value_or(Bytes{});
    ASSERT_EQ(d202.size(), 261u);
    EXPECT_EQ(Data_Of(d202), Cat({Rep('R', 254), H("00")}));
    const Bytes d210 = Encode_Route_Link(r, 98);
    ASSERT_EQ(d210.size(), 261u);
    EXPECT_EQ(slice(Data_Of(d210), 20, 235), Cat({Rep('R', 234), H("00")}));
    cTrack t;
    t.Ident = r.Ident;
    for (const char* f : {"D310", "D312"}) {
        const Bytes h = Encode_Track_Header(f, t, 99).value_or(Bytes{});
        ASSERT_EQ(h.size(), 261u) << f;
        EXPECT_EQ(slice(Data_Of(h), 2, 253), Cat({Rep('R', 252), H("00")})) << f;
    }
}

TEST(EncodeFaults, EmbeddedNulEndsAText)
{
    // A NUL inside a text would end it early on the receiver and shift
    // every text after it; the text ends there instead.
    cWaypoint w;
    w.Ident = std::string("ab\0cd", 5);
    w.Cmnt = "x";
    EXPECT_EQ(Data_Of(wpt("D108", w)).size(), 54u + 3u);
    EXPECT_EQ(slice(Data_Of(wpt("D108", w)), 48, 9), H("41 42 00 58 00 00 00 00 00"));
}

TEST(EncodeFaults, UnknownOrBlankFormatsBuildNothing)
{
    const cWaypoint w;
    for (const char* f : {"", " ", "D111", "D401", "d100", " D100", "D100 ", "D200", "D300"})
        EXPECT_FALSE(Encode_Waypoint(f, w, 35, false).has_value()) << "'" << f << "'";
    const cRoute r;
    for (const char* f : {"", "D203", "D210", "D100"})
        EXPECT_FALSE(Encode_Route_Header(f, r, 29).has_value()) << "'" << f << "'";
    const cTrack t;
    for (const char* f : {"", "D313", "D300"})
        EXPECT_FALSE(Encode_Track_Header(f, t, 99).has_value()) << "'" << f << "'";
    for (const char* f : {"", "D305", "D310"})
        EXPECT_FALSE(Encode_Track_Point(f, t, 34).has_value()) << "'" << f << "'";
}
