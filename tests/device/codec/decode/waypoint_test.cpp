#include "device/protocols/codec/decode.h"
#include "golden.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace brenvik;
using test::golden;
using test::hex;

namespace {

cWaypoint decode(const std::string& format, const test::Bytes& packet,
                 Waypoint_Packet kind = Waypoint_Packet::Plain)
{
    RecordStore store;
    Decode_Waypoint(format, packet, store, kind);
    EXPECT_EQ(store.Waypoints->size(), 1u);
    EXPECT_EQ(store.Waypoints->back(), store.Waypoint);
    return *store.Waypoint;
}

cWaypoint decode(const std::string& format, Waypoint_Packet kind = Waypoint_Packet::Plain)
{
    return decode(format, golden(format).packet, kind);
}

void expect_d100_block(const cWaypoint& w)
{
    EXPECT_EQ(w.Ident, "WPT001");
    EXPECT_EQ(w.Lat, 45.0);
    EXPECT_EQ(w.Lon, -90.0);
    EXPECT_EQ(w.Unused1, 1);
    EXPECT_EQ(w.Cmnt, "HELLO");
}

} // namespace

TEST(DecodeWaypoint, D100ToD104AndD107)
{
    auto w = decode("D100");
    expect_d100_block(w);
    EXPECT_EQ(w.Dist, 0.0f);

    w = decode("D101");
    expect_d100_block(w);
    EXPECT_EQ(w.Dist, 1.0f);
    EXPECT_EQ(w.Smbl, 18);

    w = decode("D102");
    expect_d100_block(w);
    EXPECT_EQ(w.Smbl, 8193);

    w = decode("D103");
    expect_d100_block(w);
    EXPECT_EQ(w.Smbl, 7);
    EXPECT_EQ(w.Dspl, 2);
    EXPECT_EQ(w.Dist, 0.0f);

    w = decode("D104");
    expect_d100_block(w);
    EXPECT_EQ(w.Dist, 1.0f);
    EXPECT_EQ(w.Smbl, 8193);
    EXPECT_EQ(w.Dspl, 2);

    w = decode("D107");
    expect_d100_block(w);
    EXPECT_EQ(w.Smbl, 7);
    EXPECT_EQ(w.Dspl, 2);
    EXPECT_EQ(w.Dist, 1.0f);
    EXPECT_EQ(w.Color, 4);
}

TEST(DecodeWaypoint, ProximityFormsRecognisedBySize)
{
    // D100 of size 62 and D103 of size 64 carry a distance, whatever the ID.
    auto w = decode("D100", test::frame(35, test::cat({test::d100_block(), test::F100_5})));
    expect_d100_block(w);
    EXPECT_EQ(w.Dist, 100.5f);
    w = decode("D103", test::frame(35, test::cat({test::d100_block(), hex("07 02"), test::F100_5})));
    EXPECT_EQ(w.Smbl, 7);
    EXPECT_EQ(w.Dist, 100.5f);
    // D150 of size 121: index first, the record two bytes on, distance last.
    w = decode("D150", test::frame(19, test::cat({hex("05 00"), test::d150_record(), test::F100_5})));
    EXPECT_EQ(w.Prox_Index, 5);
    EXPECT_EQ(w.Ident, "AB");
    EXPECT_EQ(w.Cmnt, "C");
    EXPECT_EQ(w.Dist, 100.5f);
}

TEST(DecodeWaypoint, ProximityFormatsD400D403D450)
{
    auto w = decode("D400", Waypoint_Packet::Proximity);
    expect_d100_block(w);
    EXPECT_EQ(w.Dist, 100.5f);

    w = decode("D403", Waypoint_Packet::Proximity);
    expect_d100_block(w);
    EXPECT_EQ(w.Smbl, 7);
    EXPECT_EQ(w.Dspl, 2);
    EXPECT_EQ(w.Dist, 100.5f);

    w = decode("D450", Waypoint_Packet::Proximity);
    EXPECT_EQ(w.Prox_Index, 5);
    EXPECT_EQ(w.Ident, "AB");
    EXPECT_EQ(w.Country, "US");
    EXPECT_EQ(w.Lat, 45.0);
    EXPECT_EQ(w.City, "TOPEKA");
    EXPECT_EQ(w.Dist, 100.5f);
}

TEST(DecodeWaypoint, D105AndD106)
{
    auto w = decode("D105");
    EXPECT_EQ(w.Lat, 45.0);
    EXPECT_EQ(w.Lon, -90.0);
    EXPECT_EQ(w.Smbl, 18);
    EXPECT_EQ(w.Ident, "HOME");

    w = decode("D106");
    EXPECT_EQ(w.Wpt_Class, 0);
    EXPECT_EQ(w.Sub_Class, "SUB          "); // 13 characters, not trimmed
    EXPECT_EQ(w.Lat, 45.0);
    EXPECT_EQ(w.Smbl, 18);
    EXPECT_EQ(w.Ident, "ID1");
    EXPECT_EQ(w.Link, "Link");
}

TEST(DecodeWaypoint, D108)
{
    auto w = decode("D108");
    EXPECT_EQ(w.Wpt_Class, 128);
    EXPECT_EQ(w.Color, 3);
    EXPECT_EQ(w.Dspl, 1);
    EXPECT_EQ(w.Attrib, 0x60);
    EXPECT_EQ(w.Smbl, 18);
    EXPECT_EQ(w.Sub_Class, "SC");
    EXPECT_EQ(w.Lat, 45.0);
    EXPECT_EQ(w.Lon, -90.0);
    EXPECT_EQ(w.Alt, 100.5f);
    EXPECT_EQ(w.Dpth, 1.0f);
    EXPECT_EQ(w.Dist, 2.0f);
    EXPECT_EQ(w.State, "KS");
    EXPECT_EQ(w.Country, "US");
    EXPECT_EQ(w.Ident, "ID");
    EXPECT_EQ(w.Cmnt, "CMT");
    EXPECT_EQ(w.Facility, "FAC");
    EXPECT_EQ(w.City, "CITY");
    EXPECT_EQ(w.Address, "ADDR");
    EXPECT_EQ(w.Cross_Road, "");
}

TEST(DecodeWaypoint, D109AndD110)
{
    auto w = decode("D109");
    EXPECT_EQ(w.Dtype, 1);
    EXPECT_EQ(w.Wpt_Class, 0);
    EXPECT_EQ(w.Color, 5); // 0x65: bits 0-4
    EXPECT_EQ(w.Dspl, 3);  // 0x65: bits 5-6
    EXPECT_EQ(w.Attrib, 0x70);
    EXPECT_EQ(w.Sub_Class, ""); // class 0: no subclass text
    EXPECT_EQ(w.Alt, 100.5f);
    EXPECT_EQ(w.Ete, 60);
    EXPECT_EQ(w.Ident, "ID");
    EXPECT_EQ(w.Address, "ADDR");

    w = decode("D110");
    EXPECT_EQ(w.Color, 5);
    EXPECT_EQ(w.Dspl, 1);
    EXPECT_EQ(w.Attrib, 0x80);
    EXPECT_EQ(w.Lat, 45.0);
    EXPECT_EQ(w.Dist, 2.0f);
    EXPECT_EQ(w.Ete, 60);
    EXPECT_EQ(w.Temp, 10.0f);
    EXPECT_EQ(w.Time_Seconds, 90061);
    EXPECT_EQ(w.Time, "1990/01/01-01:01:01");
    EXPECT_EQ(w.Wpt_Category, 3);
    EXPECT_EQ(w.Ident, "ID");
    EXPECT_EQ(w.Cmnt, "CMT");
    EXPECT_EQ(w.Facility, "FAC");
    EXPECT_EQ(w.City, "CITY");
    EXPECT_EQ(w.Address, "ADDR");
    EXPECT_EQ(w.Cross_Road, "");
}

TEST(DecodeWaypoint, D110TimeZeroIsTheBaseMoment)
{
    auto p = golden("D110").packet;
    for (int k = 0; k < 4; ++k)
        p[3 + 56 + k] = 0;
    auto w = decode("D110", p);
    EXPECT_EQ(w.Time_Seconds, 0);
    EXPECT_EQ(w.Time, "1989/12/31-00:00:00");
}

TEST(DecodeWaypoint, SixTextsStopAtATextWithoutItsNul)
{
    // D108 fixed block, then "ID" NUL "CMT" (no NUL: the data ends).
    const auto data = test::cat({hex("00 03 01 60 12 00"), test::txt("SC", 18), test::d108_middle(),
                                 test::txt("ID"), hex("00"), test::txt("CMT")});
    auto w = decode("D108", test::frame(35, data));
    EXPECT_EQ(w.Ident, "ID");
    EXPECT_EQ(w.Cmnt, "");
    EXPECT_EQ(w.Sub_Class, ""); // class 0
}

TEST(DecodeWaypoint, D150AndD151Family)
{
    auto w = decode("D150");
    EXPECT_EQ(w.Ident, "AB");
    EXPECT_EQ(w.Country, "US");
    EXPECT_EQ(w.Wpt_Class, 1);
    EXPECT_EQ(w.Lat, 45.0);
    EXPECT_EQ(w.Lon, -90.0);
    EXPECT_EQ(w.Alt, 100.0f);
    EXPECT_EQ(w.City, "TOPEKA");
    EXPECT_EQ(w.State, "KS");
    EXPECT_EQ(w.Facility, "FIELD");
    EXPECT_EQ(w.Cmnt, "C");
    EXPECT_EQ(w.Prox_Index, 0);

    for (const char* f : {"D151", "D152", "D154", "D155"}) {
        SCOPED_TRACE(f);
        w = decode(f);
        expect_d100_block(w);
        EXPECT_EQ(w.Dist, 2.0f);
        EXPECT_EQ(w.Facility, "FIELD");
        EXPECT_EQ(w.City, "TOPEKA");
        EXPECT_EQ(w.State, "KS");
        EXPECT_EQ(w.Alt, 100.0f);
        EXPECT_EQ(w.Country, "US");
        EXPECT_EQ(w.Unused2, 7);
        EXPECT_EQ(w.Wpt_Class, 3);
        EXPECT_EQ(w.Smbl, std::string(f) >= "D154" ? 18 : 0);
        EXPECT_EQ(w.Dspl, std::string(f) == "D155" ? 2 : 0);
    }
}

TEST(DecodeWaypoint, UnknownFormatStoresAClearedWaypoint)
{
    for (const char* f : {"D153", "D999", ""}) {
        RecordStore store;
        Decode_Waypoint(f, golden("D151").packet, store);
        ASSERT_EQ(store.Waypoints->size(), 1u);
        EXPECT_EQ(store.Waypoint->Ident, "");
        EXPECT_EQ(store.Waypoint->Lat, 0.0);
    }
}

TEST(DecodeWaypoint, TextsAreWindows1252)
{
    // Ident "CAFÉ" with É as the byte C9, Cmnt "señor" with ñ as F1.
    const auto data = test::cat({test::txt("CAF\xC9"), hex("00 00"), test::LAT45, test::LONM90, hex("00 00 00 00"),
                                 test::txt("se\xF1or", 40)});
    auto w = decode("D100", test::frame(35, data));
    EXPECT_EQ(w.Ident, "CAF\xC3\x89");
    EXPECT_EQ(w.Cmnt, "se\xC3\xB1or");
}

TEST(DecodeWaypoint, RouteWaypointsGoToTheLastRoute)
{
    RecordStore store;
    // A route waypoint with no route: stored in Waypoints only.
    Decode_Waypoint("D100", golden("D100").packet, store, Waypoint_Packet::Route);
    EXPECT_EQ(store.Waypoints->size(), 1u);

    Decode_Route_Header("D200", golden("D200").packet, store);
    Decode_Route_Header("D200", golden("D200").packet, store);
    Decode_Waypoint("D100", golden("D100").packet, store, Waypoint_Packet::Route);
    Decode_Waypoint("D103", golden("D103").packet, store, Waypoint_Packet::Route);
    ASSERT_EQ(store.Routes->size(), 2u);
    EXPECT_TRUE((*store.Routes)[0]->Waypoints->empty());
    ASSERT_EQ((*store.Routes)[1]->Waypoints->size(), 2u);
    EXPECT_EQ((*store.Routes)[1]->Waypoints->back(), store.Waypoint);

    // A plain waypoint download afterwards leaves the routes alone.
    Decode_Waypoint("D100", golden("D100").packet, store, Waypoint_Packet::Plain);
    Decode_Waypoint("D100", golden("D100").packet, store, Waypoint_Packet::Proximity);
    EXPECT_EQ((*store.Routes)[1]->Waypoints->size(), 2u);
    EXPECT_EQ(store.Waypoints->size(), 5u);
}
