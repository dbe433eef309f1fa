// Every golden packet cut short, two ways: the array itself ends early (the
// size byte still claims the whole record; ASan sees any read past the
// array), and the size byte says less while bytes follow (those bytes must
// make no difference).
#include "device/protocols/codec/decode.h"
#include "golden.h"

#include <gtest/gtest.h>

#include <bit>
#include <memory>
#include <sstream>

using namespace brenvik;
using test::Kind;

namespace {

struct Dump {
    std::ostringstream out;
    template <class T>
    Dump& operator<<(const T& v)
    {
        if constexpr (std::is_same_v<T, float>)
            out << std::bit_cast<std::uint32_t>(v);
        else if constexpr (std::is_same_v<T, double>)
            out << std::bit_cast<std::uint64_t>(v);
        else if constexpr (std::is_same_v<T, std::uint8_t> || std::is_same_v<T, bool>)
            out << int(v);
        else
            out << v;
        out << '|';
        return *this;
    }
};

std::string dump(const cWaypoint& w)
{
    Dump d;
    d << w.Ident << w.Lat << w.Lon << w.Cmnt << w.Dspl << w.Smbl << w.Unused1 << w.Dist << w.Prox_Index
      << w.Color << w.Alt << w.Dpth << w.Wpt_Class << w.Sub_Class << w.Attrib << w.Link << w.State
      << w.Country << w.City << w.Address << w.Facility << w.Cross_Road << w.Unused2 << w.Ete << w.Dtype
      << w.Temp << w.Time << w.Time_Seconds << w.Wpt_Category;
    return d.out.str();
}

std::string dump(const cTrack& t)
{
    Dump d;
    d << t.Lat << t.Lon << t.Time << t.Seconds << t.New_Segment << t.Alt << t.Dpth << t.Dspl << t.Color
      << t.Ident << t.Datum << t.Index << t.Temp;
    return d.out.str();
}

std::string dump(const cRoute& r)
{
    Dump d;
    d << r.Number << r.Ident << r.Cmnt << r.Link_Class << r.Link_Sub_Class << r.Link_Ident;
    return d.out.str();
}

// Decodes into a fresh store and returns the record, checking it was stored.
std::string decode(const test::Golden& g, PacketView p)
{
    RecordStore store;
    switch (g.kind) {
    case Kind::Waypoint:
        Decode_Waypoint(g.name, p, store, Waypoint_Packet::Route);
        EXPECT_EQ(store.Waypoints->size(), 1u);
        return dump(*store.Waypoint);
    case Kind::RouteHeader:
        Decode_Route_Header(g.name, p, store);
        EXPECT_EQ(store.Routes->size(), 1u);
        return dump(*store.Route);
    case Kind::RouteLink:
        Decode_Route_Link(p, store);
        return dump(*store.Route);
    case Kind::TrackHeader:
    case Kind::TrackPoint:
        if (g.kind == Kind::TrackHeader)
            Decode_Track_Header(g.name, p, store);
        else
            Decode_Track_Point(g.name, p, store);
        EXPECT_EQ(store.Tracks->size(), 1u);
        return dump(*store.Track);
    case Kind::DateTime: {
        Decode_Date_Time(p, store);
        const auto& t = *store.Date_Time;
        Dump d;
        d << t.month << t.day << t.year << t.hour << t.minute << t.second;
        return d.out.str();
    }
    case Kind::Position: {
        Decode_Position(p, store);
        Dump d;
        d << store.Position->Lat << store.Position->Lon;
        return d.out.str();
    }
    case Kind::Pvt: {
        Decode_Pvt(p, store);
        const auto& v = *store.PvtData;
        Dump d;
        d << v.Alt << v.epe << v.eph << v.epv << v.pfix << v.tow << v.Lat << v.Lon << v.east << v.north << v.up
          << v.msl_hght << v.leap_scnds << v.wn_days;
        return d.out.str();
    }
    case Kind::Sats: {
        Decode_Sats(p, store);
        EXPECT_EQ(store.Sats->size(), 12u);
        Dump d;
        for (const auto& s : *store.Sats)
            d << s->svid << s->snr << s->elev << s->azimuth << s->status;
        return d.out.str();
    }
    }
    return {};
}

} // namespace

TEST(Truncation, EveryCutOfEveryGoldenPacket)
{
    for (const auto& g : test::goldens()) {
        SCOPED_TRACE(g.name);
        for (std::size_t n = 0; n <= g.packet.size(); ++n) {
            // Exactly n bytes on the heap, so a read past them is caught.
            std::unique_ptr<std::uint8_t[]> bytes(n ? new std::uint8_t[n] : nullptr);
            std::copy(g.packet.begin(), g.packet.begin() + static_cast<long>(n), bytes.get());
            decode(g, PacketView(bytes.get(), n));
        }
    }
}

TEST(Truncation, BytesPastTheDataMakeNoDifference)
{
    for (const auto& g : test::goldens()) {
        SCOPED_TRACE(g.name);
        const int full = g.packet[2];
        for (int k = 0; k <= full; ++k) {
            SCOPED_TRACE(k);
            const test::Bytes data(g.packet.begin() + 3, g.packet.begin() + 3 + k);
            // The same k data bytes followed by zeros, by 0xEE, by 0x01, or by
            // nothing at all.
            std::vector<std::string> seen;
            for (int fill : {0x00, 0xEE, 0x01, -1}) {
                test::Bytes p{0x10, g.packet[1], static_cast<std::uint8_t>(k)};
                p.insert(p.end(), data.begin(), data.end());
                if (fill >= 0)
                    p.insert(p.end(), static_cast<std::size_t>(full - k + 3), static_cast<std::uint8_t>(fill));
                seen.push_back(decode(g, p));
            }
            for (const auto& s : seen)
                EXPECT_EQ(s, seen[0]);
        }
    }
}

TEST(Truncation, ShortWaypointKeepsFieldsBeyondItsDataCleared)
{
    // D108 cut after Lat (28 data bytes): Lon and everything after stay 0.
    const auto g = test::golden("D108");
    test::Bytes p{0x10, 35, 28};
    p.insert(p.end(), g.packet.begin() + 3, g.packet.begin() + 3 + 28);
    RecordStore store;
    Decode_Waypoint("D108", p, store);
    EXPECT_EQ(store.Waypoint->Lat, 45.0);
    EXPECT_EQ(store.Waypoint->Lon, 0.0);
    EXPECT_EQ(store.Waypoint->Alt, 0.0f);
    EXPECT_EQ(store.Waypoint->Ident, "");
    EXPECT_EQ(store.Waypoint->Sub_Class, "SC");
}
