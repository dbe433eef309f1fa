// Route, track, records, transfer-complete and position packets against
// vectors written from the layout tables.
#include "bytes.h"

#include "device/protocols/codec/encode.h"

#include <gtest/gtest.h>

using namespace brenvik;
using namespace encode_test;

namespace {

Bytes value(const Encoded& e)
{
    EXPECT_TRUE(e.has_value());
    return e.value_or(Bytes{});
}

const Bytes default_subclass = Cat({Rep(0, 6), Rep(0xFF, 12)});

} // namespace

TEST(GoldenRoute, Headers)
{
    cRoute r;
    r.Number = 0x0103; // only the low byte goes out
    r.Ident = "route one";
    EXPECT_EQ(value(Encode_Route_Header("D200", r, 29)), Frame(0x1D, 1, H("03")));
    EXPECT_EQ(value(Encode_Route_Header("D201", r, 29)),
              Frame(0x1D, 21, Cat({H("03"), A("ROUTE ONE"), Rep(' ', 11)})));
    r.Cmnt = "a comment of 25 letters.."; // comment wins, cut to 20
    EXPECT_EQ(value(Encode_Route_Header("D201", r, 29)),
              Frame(0x1D, 21, Cat({H("03"), A("A COMMENT OF 25 LETT")})));
    r.Ident = "abc";
    EXPECT_EQ(value(Encode_Route_Header("D202", r, 29)), Frame(0x1D, 4, H("41 42 43 00")));
}

TEST(GoldenRoute, Links)
{
    cRoute r;
    r.Link_Sub_Class = "sub";
    r.Link_Ident = "wp1";
    r.Link_Class = 3;
    EXPECT_EQ(Encode_Route_Link(r, 98),
              Frame(0x62, 24, Cat({H("03 00"), default_subclass, A("WP1"), H("00")})));
    r.Link_Class = 255;
    EXPECT_EQ(Encode_Route_Link(r, 98),
              Frame(0x62, 24, Cat({H("FF 00"), default_subclass, A("WP1"), H("00")})));
    r.Link_Class = 0;
    EXPECT_EQ(Encode_Route_Link(r, 98),
              Frame(0x62, 24, Cat({H("00 00"), A("SUB"), Rep(' ', 15), A("WP1"), H("00")})));
}

TEST(GoldenTrack, Headers)
{
    cTrack t;
    t.Dspl = true;
    t.Color = 5;
    t.Ident = "a";
    t.Index = 2;
    EXPECT_EQ(value(Encode_Track_Header("D310", t, 99)), Frame(0x63, 4, H("01 05 41 00")));
    EXPECT_EQ(value(Encode_Track_Header("D312", t, 99)), Frame(0x63, 4, H("01 05 41 00")));
    EXPECT_EQ(value(Encode_Track_Header("D311", t, 99)), Frame(0x63, 4, H("02 00 FF 7F")));
    t.Dspl = false;
    EXPECT_EQ(value(Encode_Track_Header("D310", t, 99)), Frame(0x63, 4, H("00 05 41 00")));
}

TEST(GoldenTrack, Points)
{
    cTrack t;
    t.Lat = -45;              // 00 00 00 E0
    t.Lon = 22.5;             // 00 00 00 10
    t.Seconds = 0x01020304;   // 04 03 02 01
    t.New_Segment = true;
    t.Alt = 100.0f;           // 00 00 C8 42
    t.Dpth = 2.0f;            // 00 00 00 40
    t.Temp = 0.5f;            // 00 00 00 3F
    const Bytes head = H("00 00 00 E0 | 00 00 00 10 | 04 03 02 01");
    EXPECT_EQ(value(Encode_Track_Point("D300", t, 34)), Frame(0x22, 13, Cat({head, H("01")})));
    EXPECT_EQ(value(Encode_Track_Point("D301", t, 34)),
              Frame(0x22, 24, Cat({head, H("00 00 C8 42 | 00 00 00 40 | 01 00 00 00")})));
    const Bytes d302 =
        Frame(0x22, 28, Cat({head, H("00 00 C8 42 | 00 00 00 40 | 00 00 00 3F | 01 00 00 00")}));
    EXPECT_EQ(value(Encode_Track_Point("D302", t, 34)), d302);
    EXPECT_EQ(value(Encode_Track_Point("D303", t, 34)), d302);
    // D304: altitude, zeros, FF at 21 and 23, no segment flag.
    EXPECT_EQ(value(Encode_Track_Point("D304", t, 34)),
              Frame(0x22, 24, Cat({head, H("00 00 C8 42 | 00 00 00 00 00 | FF 00 FF")})));
    t.New_Segment = false;
    EXPECT_EQ(value(Encode_Track_Point("D300", t, 34)), Frame(0x22, 13, Cat({head, H("00")})));
}

TEST(GoldenTrack, TimeFromText)
{
    cTrack t;
    t.Time = "1989/12/31-01:00:00";
    EXPECT_EQ(value(Encode_Track_Point("D300", t, 34)),
              Frame(0x22, 13, H("00000000 00000000 10 0E 00 00 | 00")));
    t.Time = "1989/12/31-25:00:00"; // no such time of day
    EXPECT_EQ(value(Encode_Track_Point("D300", t, 34)), Frame(0x22, 13, Rep(0, 13)));
    t.Time = "1989/12/30-23:59:59"; // before the receiver's epoch
    EXPECT_EQ(value(Encode_Track_Point("D300", t, 34)), Frame(0x22, 13, Rep(0, 13)));
}

TEST(GoldenTransfer, RecordsTransferCompleteAndPosition)
{
    EXPECT_EQ(Encode_Records(27, 3), Frame(0x1B, 2, H("03 00")));
    EXPECT_EQ(Encode_Records(27, 300), Frame(0x1B, 2, H("2C 01")));
    EXPECT_EQ(Encode_Records(27, -2), Frame(0x1B, 2, H("FE FF")));
    EXPECT_EQ(Encode_Xfer_Cmplt(12), Frame(0x0C, 2, H("00 00")));
    EXPECT_EQ(Encode_Xfer_Cmplt(12, 7), Frame(0x0C, 2, H("07 00")));
    // 45 N, 93 W: 0.7853981633974483 and -1.6231562043547265 radians.
    cPosition p;
    p.Lat = 45;
    p.Lon = -93;
    EXPECT_EQ(Encode_Position(p, 17),
              Frame(0x11, 16, H("18 2D 44 54 FB 21 E9 3F | 77 0C E0 A3 72 F8 F9 BF")));
}
