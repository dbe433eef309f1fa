#include "device/protocols/codec/decode.h"
#include "golden.h"

#include <gtest/gtest.h>

using namespace brenvik;
using test::golden;
using test::hex;

TEST(DecodeRoute, Headers)
{
    RecordStore store;
    Decode_Route_Header("D200", golden("D200").packet, store);
    EXPECT_EQ(store.Route->Number, 7);
    ASSERT_TRUE(store.Route->Waypoints);
    EXPECT_TRUE(store.Route->Waypoints->empty());

    Decode_Route_Header("D201", golden("D201").packet, store);
    EXPECT_EQ(store.Route->Number, 2);
    EXPECT_EQ(store.Route->Cmnt, "A B"); // cut at the first NUL, no NULs kept

    Decode_Route_Header("D202", golden("D202").packet, store);
    EXPECT_EQ(store.Route->Ident, "ROUTE1");

    Decode_Route_Header("D999", golden("D202").packet, store);
    EXPECT_EQ(store.Route->Ident, "");
    ASSERT_EQ(store.Routes->size(), 4u);
    EXPECT_EQ(store.Routes->back(), store.Route);
}

TEST(DecodeRoute, LinksOverwriteTheCurrentRoute)
{
    RecordStore store;
    Decode_Route_Header("D200", golden("D200").packet, store);
    Decode_Route_Link(golden("D210").packet, store);
    EXPECT_EQ(store.Route->Link_Class, 0);
    EXPECT_EQ(store.Route->Link_Sub_Class, "XY");
    EXPECT_EQ(store.Route->Link_Ident, "LINKID");
    EXPECT_EQ(store.Routes->size(), 1u);

    for (const char* cls : {"03 00", "FF 00"}) {
        auto p = golden("D210").packet;
        const auto c = hex(cls);
        p[3] = c[0];
        p[4] = c[1];
        Decode_Route_Link(p, store);
        EXPECT_EQ(store.Route->Link_Sub_Class, "");
        EXPECT_EQ(store.Route->Link_Ident, "LINKID");
    }
}

TEST(DecodeRoute, NewRouteLeavesTheHostsRecordAlone)
{
    RecordStore store;
    Decode_Route_Header("D202", golden("D202").packet, store);
    const auto kept = store.Route;
    store.New_Route();
    EXPECT_NE(store.Route, kept);
    EXPECT_EQ(kept->Ident, "ROUTE1");
    EXPECT_EQ(store.Route->Ident, "");
    Decode_Track_Header("D310", golden("D310").packet, store);
    const auto track = store.Track;
    store.New_Track();
    EXPECT_EQ(track->Ident, "TRK");
    EXPECT_EQ(store.Track->Ident, "");
}

TEST(DecodeTrack, Headers)
{
    RecordStore store;
    Decode_Track_Header("D310", golden("D310").packet, store);
    EXPECT_TRUE(store.Track->Dspl);
    EXPECT_EQ(store.Track->Color, 4);
    EXPECT_EQ(store.Track->Ident, "TRK");
    Decode_Track_Header("D312", golden("D312").packet, store);
    EXPECT_EQ(store.Track->Ident, "TRK");
    Decode_Track_Header("D311", golden("D311").packet, store);
    EXPECT_EQ(store.Track->Index, 9);
    EXPECT_EQ(store.Track->Ident, "");

    auto p = golden("D310").packet;
    p[3] = 0;
    Decode_Track_Header("D310", p, store);
    EXPECT_FALSE(store.Track->Dspl);
}

TEST(DecodeTrack, Points)
{
    struct Want {
        const char* f;
        float alt, dpth, temp;
    };
    for (const Want w : {Want{"D300", 0, 0, 0}, Want{"D301", 100.5f, 1, 0}, Want{"D302", 100.5f, 1, 10},
                         Want{"D303", 100.5f, 5, 10}, Want{"D304", 100.5f, 6, 0}}) {
        SCOPED_TRACE(w.f);
        RecordStore store;
        Decode_Track_Point(w.f, golden(w.f).packet, store);
        const cTrack& t = *store.Track;
        EXPECT_EQ(t.Lat, 45.0);
        EXPECT_EQ(t.Lon, -90.0);
        EXPECT_EQ(t.Seconds, 90061);
        EXPECT_EQ(t.Time, "1990/01/01-01:01:01");
        EXPECT_EQ(t.Alt, w.alt);
        EXPECT_EQ(t.Dpth, w.dpth);
        EXPECT_EQ(t.Temp, w.temp);
        EXPECT_TRUE(t.New_Segment);
    }
}

TEST(DecodeTrack, NewSegmentOnlyFromByteOne)
{
    auto p = golden("D300").packet;
    p[3 + 12] = 2;
    RecordStore store;
    Decode_Track_Point("D300", p, store);
    EXPECT_FALSE(store.Track->New_Segment);
}

TEST(DecodeTrack, RealShortD303AndD304PointsNeverReadTheChecksum)
{
    // Receivers send D303 as 17 bytes (position, time, Alt, one more byte)
    // and D304 as 23; the byte after the data is made 1 here, as a checksum
    // may be, and must not become New_Segment.
    for (auto [f, n] : {std::pair{"D303", 17}, std::pair{"D304", 23}}) {
        SCOPED_TRACE(f);
        test::Bytes data = golden(f).packet;
        data = test::Bytes(data.begin() + 3, data.begin() + 3 + n);
        test::Bytes p{0x10, 34, static_cast<std::uint8_t>(n)};
        p.insert(p.end(), data.begin(), data.end());
        p.push_back(0x01); // checksum slot
        p.push_back(0x10);
        p.push_back(0x03);
        RecordStore store;
        Decode_Track_Point(f, p, store);
        EXPECT_FALSE(store.Track->New_Segment);
        EXPECT_EQ(store.Track->Alt, 100.5f);
        EXPECT_EQ(store.Track->Temp, 0.0f); // offset 20 lies beyond the data
    }
}

TEST(DecodeTrack, PointsRepeatTheirHeaderInArrivalOrder)
{
    RecordStore store;
    // A point before any header copies the start-up object's (empty) values.
    Decode_Track_Point("D301", golden("D301").packet, store);
    EXPECT_EQ(store.Track->Ident, "");
    Decode_Track_Header("D310", golden("D310").packet, store);
    Decode_Track_Point("D301", golden("D301").packet, store);
    Decode_Track_Point("D301", golden("D301").packet, store);
    auto p = golden("D310").packet;
    p[3 + 2] = 'X'; // Ident "XRK"
    Decode_Track_Header("D310", p, store);
    Decode_Track_Point("D301", golden("D301").packet, store);

    const auto& t = *store.Tracks;
    ASSERT_EQ(t.size(), 6u);
    EXPECT_EQ(t[1]->Lat, 0.0); // header: no position
    for (int i : {2, 3}) {
        EXPECT_EQ(t[i]->Ident, "TRK");
        EXPECT_EQ(t[i]->Color, 4);
        EXPECT_TRUE(t[i]->Dspl);
        EXPECT_EQ(t[i]->Lat, 45.0);
    }
    EXPECT_EQ(t[5]->Ident, "XRK");
    EXPECT_EQ(t[5], store.Track);
}
