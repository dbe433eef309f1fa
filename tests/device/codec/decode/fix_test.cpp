#include "device/link/link.h"
#include "device/protocols/codec/decode.h"
#include "platform/events/fake_events.h"
#include "golden.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <regex>
#include <sstream>

using namespace brenvik;
using test::golden;
using test::hex;

TEST(DecodeFix, DateTimeFillsTheObjectInPlace)
{
    RecordStore store;
    const auto held = store.Date_Time;
    Decode_Date_Time(golden("D600").packet, store);
    EXPECT_EQ(store.Date_Time, held);
    EXPECT_EQ(held->month, 12);
    EXPECT_EQ(held->day, 15);
    EXPECT_EQ(held->year, 2019);
    EXPECT_EQ(held->hour, 20);
    EXPECT_EQ(held->minute, 46);
    EXPECT_EQ(held->second, 57);
    // Only month and day: the rest keeps its values.
    Decode_Date_Time(test::frame(14, hex("01 02")), store);
    EXPECT_EQ(held->month, 1);
    EXPECT_EQ(held->day, 2);
    EXPECT_EQ(held->year, 2019);
    EXPECT_EQ(held->second, 57);
}

TEST(DecodeFix, PositionAndPvtLeaveEachOtherAlone)
{
    RecordStore store;
    Decode_Position(golden("D700").packet, store);
    EXPECT_NEAR(store.Position->Lat, 45.0, 1e-12);
    EXPECT_NEAR(store.Position->Lon, -90.0, 1e-12);
    EXPECT_EQ(store.PvtData->Lat, 0.0);

    Decode_Pvt(golden("D800").packet, store);
    const cPvtData& v = *store.PvtData;
    EXPECT_EQ(v.Alt, 100.5f);
    EXPECT_EQ(v.epe, 1.0f);
    EXPECT_EQ(v.eph, 2.0f);
    EXPECT_EQ(v.epv, 10.0f);
    EXPECT_EQ(v.pfix, 3);
    EXPECT_EQ(v.tow, 2.0);
    EXPECT_NEAR(v.Lat, 45.0, 1e-12);
    EXPECT_NEAR(v.Lon, -90.0, 1e-12);
    EXPECT_EQ(v.east, 1.0f);
    EXPECT_EQ(v.north, 2.0f);
    EXPECT_EQ(v.up, 10.0f);
    EXPECT_EQ(v.msl_hght, 100.5f);
    EXPECT_EQ(v.leap_scnds, 18);
    EXPECT_EQ(v.wn_days, 7304);
    EXPECT_NEAR(store.Position->Lat, 45.0, 1e-12);
}

TEST(DecodeFix, ShortPvtNeverGivesAFixAtZeroZero)
{
    RecordStore store;
    const auto full = golden("D800").packet;
    Decode_Pvt(full, store);
    // Cut after tow plus half the latitude (30 data bytes), new Alt 1.0.
    auto data = test::Bytes(full.begin() + 3, full.begin() + 3 + 30);
    data[0] = 0x00, data[1] = 0x00, data[2] = 0x80, data[3] = 0x3F;
    Decode_Pvt(test::frame(51, data), store);
    EXPECT_EQ(store.PvtData->Alt, 1.0f);
    EXPECT_NEAR(store.PvtData->Lat, 45.0, 1e-12);
    EXPECT_NEAR(store.PvtData->Lon, -90.0, 1e-12);
    EXPECT_EQ(store.PvtData->wn_days, 7304);
    // Latitude complete but longitude cut: the position is kept whole.
    data = test::Bytes(full.begin() + 3, full.begin() + 3 + 40);
    data[26 + 7] = 0x40; // latitude becomes another value
    Decode_Pvt(test::frame(51, data), store);
    EXPECT_NEAR(store.PvtData->Lat, 45.0, 1e-12);
    EXPECT_NEAR(store.PvtData->Lon, -90.0, 1e-12);
    // A short position packet changes nothing either.
    Decode_Position(golden("D700").packet, store);
    Decode_Position(test::frame(17, hex("00 00 00 00 00 00 00 00")), store);
    EXPECT_NEAR(store.Position->Lat, 45.0, 1e-12);
}

TEST(DecodeFix, SatellitesAlwaysTwelve)
{
    RecordStore store;
    Decode_Sats(golden("SATS").packet, store);
    ASSERT_EQ(store.Sats->size(), 12u);
    for (int k = 0; k < 12; ++k) {
        const cSat& s = *(*store.Sats)[k];
        EXPECT_EQ(s.svid, k + 1);
        EXPECT_EQ(s.snr, 1700);
        EXPECT_EQ(s.elev, 50);
        EXPECT_EQ(s.azimuth, 307);
        EXPECT_EQ(s.status, 4);
    }
    // 11 data bytes: entry 0 whole, entry 1 up to its elevation.
    const auto old = (*store.Sats)[0];
    const auto full = golden("SATS").packet;
    auto data = test::Bytes(full.begin() + 3, full.begin() + 14);
    Decode_Sats(test::frame(114, data), store);
    ASSERT_EQ(store.Sats->size(), 12u);
    EXPECT_NE((*store.Sats)[0], old);
    EXPECT_EQ((*store.Sats)[0]->status, 4);
    EXPECT_EQ((*store.Sats)[1]->svid, 2);
    EXPECT_EQ((*store.Sats)[1]->elev, 50);
    EXPECT_EQ((*store.Sats)[1]->azimuth, 0);
    for (int k = 2; k < 12; ++k)
        EXPECT_EQ((*store.Sats)[k]->svid, 0);
}

TEST(DecodeFix, RecordsAndBaudReply)
{
    EXPECT_EQ(Decode_Records(test::frame(27, hex("2C 01"))), 300);
    EXPECT_EQ(Decode_Records(test::frame(27, hex("2C"))), 0);
    EXPECT_EQ(Decode_Baud_Reply(test::frame(49, hex("00 C2 01 00"))), 115200);
}

// --- A real binary session -------------------------------------------------

namespace {

// The link layer's receive path cuts, un-stuffs and checks the frames; its
// host keeps what it hands to the dispatcher.
struct Collector : LinkHost {
    std::vector<test::Bytes> packets;
    void Dispatch_Packet(const Packet& packet) override { packets.push_back(packet); }
    void raise_Receive(const Packet&) override {}
    void raise_cError(std::int16_t, const std::string&, const Packet&) override {}
    void raise_uError(std::int32_t, const std::string&) override {}
    void raise_HexDebug(const std::string&) override {}
    void raise_NMEA(const std::string&, bool) override {}
    void raise_USBprogress(std::int32_t) override {}
    void show_message(const std::string&) override {}
};

std::vector<test::Bytes> cut_frames(const test::Bytes& s)
{
    platform::FakeEventPump pump;
    ProtocolProperties props;
    cSAK sak;
    Collector host;
    Link link(pump, props, sak, host);
    link.UserFlowControl = true; // a recording: nothing to acknowledge
    link.Serial_Input(std::string_view(reinterpret_cast<const char*>(s.data()), s.size()));
    return host.packets;
}

} // namespace

TEST(DecodeFix, RecordedSessionGivesTheCheckedFixes)
{
    const std::string text = test_support::read_test_data("garmin-binary/garmin18x-bin.log");
    const test::Bytes log(text.begin(), text.end());
    ASSERT_FALSE(log.empty());
    // Skip the comment lines at the top.
    std::size_t start = 0;
    while (start < log.size() && log[start] == '#') {
        while (start < log.size() && log[start] != '\n')
            ++start;
        ++start;
    }
    const auto frames = cut_frames(test::Bytes(log.begin() + static_cast<long>(start), log.end()));

    std::istringstream chk(test_support::read_test_data("garmin-binary/garmin18x-bin.log.chk"));
    std::vector<std::pair<double, double>> want;
    const std::regex tpv(R"re("class":"TPV".*"lat":(-?[0-9.]+),"lon":(-?[0-9.]+))re");
    std::string line;
    std::smatch m;
    while (std::getline(chk, line))
        if (std::regex_search(line, m, tpv))
            want.emplace_back(std::stod(m[1]), std::stod(m[2]));
    ASSERT_FALSE(want.empty());

    RecordStore store;
    std::vector<std::pair<double, double>> got;
    bool first_sats = true;
    for (const auto& p : frames) {
        if (p[1] == 51) {
            Decode_Pvt(p, store);
            got.emplace_back(store.PvtData->Lat, store.PvtData->Lon);
        } else if (p[1] == 114 && first_sats) {
            // The first satellite record: PRN 3 at elevation 50, azimuth
            // 307, 17 dB, as the checked output lists it.
            first_sats = false;
            Decode_Sats(p, store);
            ASSERT_EQ(store.Sats->size(), 12u);
            EXPECT_EQ((*store.Sats)[0]->svid, 3);
            EXPECT_EQ((*store.Sats)[0]->elev, 50);
            EXPECT_EQ((*store.Sats)[0]->azimuth, 307);
            EXPECT_EQ((*store.Sats)[0]->snr, 1700);
        }
    }
    EXPECT_FALSE(first_sats);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < got.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_NEAR(got[i].first, want[i].first, 1e-6);
        EXPECT_NEAR(got[i].second, want[i].second, 1e-6);
    }
}
