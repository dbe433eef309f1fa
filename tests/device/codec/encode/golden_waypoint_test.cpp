// Waypoint packets against vectors written from the layout tables.
#include "bytes.h"

#include "device/protocols/codec/encode.h"

#include <gtest/gtest.h>

using namespace brenvik;
using namespace encode_test;

namespace {

constexpr std::uint8_t PID_Wpt = 35;     // 0x23
constexpr std::uint8_t PID_Prx_Wpt = 19; // 0x13

// One record that fills every field a waypoint format can carry.
cWaypoint full()
{
    cWaypoint w;
    w.Ident = "abc";
    w.Lat = 45;              // 00 00 00 20
    w.Lon = -90;             // 00 00 00 C0
    w.Unused1 = 0x01020304;  // 04 03 02 01
    w.Cmnt = "hi";
    w.Dist = 1.0f;           // 00 00 80 3F
    w.Smbl = 0x0112;         // byte 12, int16 12 01
    w.Dspl = 2;
    w.Color = 5;
    w.Alt = 100.0f;          // 00 00 C8 42; as int16 64 00
    w.Dpth = 2.0f;           // 00 00 00 40
    w.Temp = 0.5f;           // 00 00 00 3F
    w.State = "mn";
    w.Country = "us";
    w.City = "st paul";
    w.Facility = "dock";
    w.Address = "1 main";
    w.Cross_Road = "elm";
    w.Wpt_Class = 0;
    w.Sub_Class = "x";
    w.Link = "Home";
    w.Ete = 16;              // 10 00 00 00
    w.Time_Seconds = 60;     // 3C 00 00 00
    w.Wpt_Category = 3;      // 03 00
    w.Prox_Index = 7;        // 07 00
    return w;
}

Bytes encode(std::string_view format, const cWaypoint& w, std::uint8_t id = PID_Wpt,
             bool prox = false)
{
    const Encoded e = Encode_Waypoint(format, w, id, prox);
    EXPECT_TRUE(e.has_value()) << format;
    return e.value_or(Bytes{});
}

// Offsets 0 to 57: ident, lat, lon, unused, comment.
const Bytes d100_block = Cat({A("ABC   "), H("00 00 00 20 | 00 00 00 C0 | 04 03 02 01"),
                              A("HI"), Rep(' ', 38)});
const Bytes dist = H("00 00 80 3F");
const Bytes default_subclass = Cat({Rep(0, 6), Rep(0xFF, 12)});
// Lat, lon, alt, depth, distance, state, country of D108 to D110.
const Bytes d108_middle = Cat({H("00 00 00 20 | 00 00 00 C0 | 00 00 C8 42 | 00 00 00 40 | 00 00 80 3F"),
                               A("MNUS")});
const Bytes six_texts = Cat({A("ABC"), H("00"), A("HI"), H("00"), A("DOCK"), H("00"),
                             A("ST PAUL"), H("00"), A("1 MAIN"), H("00"), A("ELM"), H("00")});
// The D150 record (115 bytes).
const Bytes d150_record = Cat({A("ABC   US"), H("00 | 00 00 00 20 | 00 00 00 C0 | 64 00"),
                               A("ST PAUL"), Rep(' ', 17), A("MN"), A("DOCK"), Rep(' ', 26),
                               A("HI"), Rep(' ', 38)});
// D151 and D152 (124 bytes).
const Bytes d151_record = Cat({d100_block, dist, A("DOCK"), Rep(' ', 26), A("ST PAUL"),
                               Rep(' ', 17), A("MN"), H("64 00"), A("US"), H("00 00")});

} // namespace

TEST(GoldenWaypoint, FixedSizeFormats)
{
    const cWaypoint w = full();
    EXPECT_EQ(encode("D100", w), Frame(0x23, 58, d100_block));
    EXPECT_EQ(encode("D101", w), Frame(0x23, 63, Cat({d100_block, dist, H("12")})));
    EXPECT_EQ(encode("D102", w), Frame(0x23, 64, Cat({d100_block, dist, H("12 01")})));
    EXPECT_EQ(encode("D103", w), Frame(0x23, 60, Cat({d100_block, H("12 02")})));
    EXPECT_EQ(encode("D104", w), Frame(0x23, 65, Cat({d100_block, dist, H("12 01 02")})));
    EXPECT_EQ(encode("D107", w), Frame(0x23, 65, Cat({d100_block, H("12 02"), dist, H("05")})));
    EXPECT_EQ(encode("D150", w), Frame(0x23, 115, d150_record));
    EXPECT_EQ(encode("D151", w), Frame(0x23, 124, d151_record));
    EXPECT_EQ(encode("D152", w), Frame(0x23, 124, d151_record));
    EXPECT_EQ(encode("D154", w), Frame(0x23, 126, Cat({d151_record, H("12 01")})));
    EXPECT_EQ(encode("D155", w), Frame(0x23, 127, Cat({d151_record, H("12 01 02")})));
}

TEST(GoldenWaypoint, VariableSizeFormats)
{
    const cWaypoint w = full();
    // D105: lat, lon, symbol, ident with NUL; 11 + 3.
    EXPECT_EQ(encode("D105", w),
              Frame(0x23, 14, H("00 00 00 20 | 00 00 00 C0 | 12 01 | 41 42 43 00")));
    // D106: class, subclass as typed, lat, lon, symbol, IDENT, Link as typed.
    EXPECT_EQ(encode("D106", w),
              Frame(0x23, 33, Cat({H("00"), A("x"), Rep(' ', 12),
                                   H("00 00 00 20 | 00 00 00 C0 | 12 01"), A("ABC"), H("00"),
                                   A("Home"), H("00")})));
    // D108: class 0 takes the default subclass; 54 + 25 text bytes.
    EXPECT_EQ(encode("D108", w),
              Frame(0x23, 79, Cat({H("00 05 02 60 | 12 01"), default_subclass, d108_middle,
                                   six_texts})));
    // D109: colour 5 and display 2 make 0x45.
    EXPECT_EQ(encode("D109", w),
              Frame(0x23, 83, Cat({H("01 00 45 70 | 12 01"), default_subclass, d108_middle,
                                   H("10 00 00 00"), six_texts})));
    EXPECT_EQ(encode("D110", w),
              Frame(0x23, 93, Cat({H("01 00 45 80 | 12 01"), default_subclass, d108_middle,
                                   H("10 00 00 00 | 00 00 00 3F | 3C 00 00 00 | 03 00"),
                                   six_texts})));
}

TEST(GoldenWaypoint, ProximityForms)
{
    const cWaypoint w = full();
    const Bytes d100p = Frame(0x13, 62, Cat({d100_block, dist}));
    const Bytes d103p = Frame(0x13, 64, Cat({d100_block, H("12 02"), dist}));
    const Bytes d150p = Frame(0x13, 121, Cat({H("07 00"), d150_record, dist}));
    EXPECT_EQ(encode("D100", w, PID_Prx_Wpt, true), d100p);
    EXPECT_EQ(encode("D103", w, PID_Prx_Wpt, true), d103p);
    EXPECT_EQ(encode("D150", w, PID_Prx_Wpt, true), d150p);
    // The proximity formats use those layouts whatever the flag says.
    EXPECT_EQ(encode("D400", w, PID_Prx_Wpt, true), d100p);
    EXPECT_EQ(encode("D403", w, PID_Prx_Wpt, false), d103p);
    EXPECT_EQ(encode("D450", w, PID_Prx_Wpt, true), d150p);
    // Other formats ignore the flag.
    EXPECT_EQ(encode("D101", w, PID_Prx_Wpt, true),
              Frame(0x13, 63, Cat({d100_block, dist, H("12")})));
}

TEST(GoldenWaypoint, TextRules)
{
    cWaypoint w;
    w.Ident = "abcdefghi"; // cut to six
    const Bytes d100 = encode("D100", w);
    EXPECT_EQ(Data_Of(d100), Cat({A("ABCDEF"), Rep(0, 12), Rep(' ', 40)}));

    w.Ident = "x";
    EXPECT_EQ(encode("D105", w), Frame(0x23, 12, H("00000000 00000000 0000 58 00")));

    // Windows-1252 bytes, upper-cased by that code page.
    w.Ident = "caf\xC3\xA9";       // café -> CAF 0xC9
    w.Cmnt = "\xE2\x82\xAC";        // euro sign 0x80
    EXPECT_EQ(Data_Of(encode("D100", w)),
              Cat({A("CAF"), H("C9"), A("  "), Rep(0, 12), H("80"), Rep(' ', 39)}));
}

TEST(GoldenWaypoint, D108SubclassAndEmptyTexts)
{
    cWaypoint w;
    EXPECT_EQ(encode("D108", w),
              Frame(0x23, 54, Cat({H("00 00 00 60 00 00"), default_subclass, Rep(0, 20),
                                   A("    "), Rep(0, 6)})));
    w.Wpt_Class = 128;
    w.Sub_Class = "ab";
    const Bytes d = Data_Of(encode("D108", w));
    ASSERT_EQ(d.size(), 54u);
    EXPECT_EQ(d[0], 0x80);
    EXPECT_EQ(Bytes(d.begin() + 6, d.begin() + 24), Cat({A("ab"), Rep(' ', 16)}));
    // Class 127 already takes its own subclass.
    w.Wpt_Class = 127;
    EXPECT_EQ(Data_Of(encode("D108", w))[6], 'a');
}

TEST(GoldenWaypoint, D109DisplayAndEte)
{
    cWaypoint w;
    w.Color = 3;
    w.Dspl = 1;
    const Bytes d = Data_Of(encode("D109", w));
    ASSERT_EQ(d.size(), 58u);
    EXPECT_EQ(d[2], 35);
    EXPECT_EQ(Bytes(d.begin() + 48, d.begin() + 52), H("FF FF FF FF"));
}

TEST(GoldenWaypoint, D110TimeFromText)
{
    cWaypoint w;
    w.Time = "1989/12/31-00:01:00";
    Bytes d = Data_Of(encode("D110", w));
    ASSERT_EQ(d.size(), 68u);
    EXPECT_EQ(Bytes(d.begin() + 56, d.begin() + 60), H("3C 00 00 00"));

    w.Time = "2000/01/01-00:00:00"; // 3653 days after the base: 315619200
    d = Data_Of(encode("D110", w));
    EXPECT_EQ(Bytes(d.begin() + 56, d.begin() + 60), H("80 F7 CF 12"));

    w.Time = "not a date";
    d = Data_Of(encode("D110", w));
    EXPECT_EQ(Bytes(d.begin() + 56, d.begin() + 60), H("00 00 00 00"));

    w.Time_Seconds = 5; // the seconds win over the text
    w.Time = "1989/12/31-00:01:00";
    d = Data_Of(encode("D110", w));
    EXPECT_EQ(Bytes(d.begin() + 56, d.begin() + 60), H("05 00 00 00"));
}

TEST(GoldenWaypoint, PositionsAndAltitudes)
{
    cWaypoint w;
    w.Lat = 45;
    w.Lon = -90;
    Bytes d = Data_Of(encode("D150", w));
    EXPECT_EQ(Bytes(d.begin() + 9, d.begin() + 17), H("00 00 00 20 | 00 00 00 C0"));
    w.Alt = 12.5f;
    EXPECT_EQ(Data_Of(encode("D150", w))[17], 12);
    w.Alt = 13.5f;
    EXPECT_EQ(Data_Of(encode("D150", w))[17], 14);
    w.Alt = -2.5f;
    d = Data_Of(encode("D151", w));
    EXPECT_EQ(Bytes(d.begin() + 118, d.begin() + 120), H("FE FF"));
}
