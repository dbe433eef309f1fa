// Almanac, lap, flight-book, voltage, unit-ID and expanded packets against
// vectors written from the layout tables, both ways.
#include "bytes.h"

#include "device/protocols/codec/decode.h"
#include "device/protocols/codec/encode.h"
#include "device/protocols/codec/icon.h"

#include <gtest/gtest.h>

using namespace brenvik;
using namespace encode_test;

namespace {

// Floats: 1.0 = 00 00 80 3F, 2.0 = 00 00 00 40, 10.0 = 00 00 20 41,
// 0.5 = 00 00 00 3F, 100.5 = 00 00 C9 42. Semicircles 00 00 00 20 = 45
// degrees, 00 00 00 C0 = -90.
cAlmanac almanac()
{
    cAlmanac a;
    a.svid = 7;
    a.wn = 0x0102;
    a.toa = 1.0f;
    a.af0 = 2.0f;
    a.af1 = 10.0f;
    a.e = 0.5f;
    a.sqrta = 100.5f;
    a.hlth = 1.0f;
    return a;
}
// wn, toa, af0, af1, e, sqrta, then m0, w, omg0, odot, i all 0.
const Bytes kAlmanacBody = Cat({H("02 01 | 00 00 80 3F | 00 00 00 40 | 00 00 20 41 | 00 00 00 3F | 00 00 C9 42"),
                                Rep(0, 20)});
const Bytes kHealth = H("00 00 80 3F");

} // namespace

TEST(GoldenAlmanac, FourFormatsBothWays)
{
    const cAlmanac a = almanac();
    const struct {
        const char* format;
        Bytes packet;
    } cases[] = {
        {"D500", Frame(31, 42, kAlmanacBody)},                         // 48 bytes
        {"D501", Frame(31, 46, Cat({kAlmanacBody, kHealth}))},         // 52: hlth 4 bytes
        {"D550", Frame(31, 43, Cat({H("07"), kAlmanacBody}))},         // 49: svid first
        {"D551", Frame(31, 47, Cat({H("07"), kAlmanacBody, kHealth}))}, // 53: hlth at 43
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.format);
        const Encoded sent = Encode_Almanac(c.format, a, 31);
        ASSERT_TRUE(sent);
        EXPECT_EQ(*sent, c.packet);
        cAlmanac got;
        got.svid = 99; // kept by D500 and D501
        ASSERT_TRUE(Decode_Almanac(c.format, c.packet, got));
        const bool svid = c.format[2] == '5';
        EXPECT_EQ(got.svid, svid ? 7 : 99);
        EXPECT_EQ(got.wn, 0x0102);
        EXPECT_EQ(got.sqrta, 100.5f);
        EXPECT_EQ(got.hlth, c.format[3] == '1' ? 1.0f : 0.0f);
    }
    EXPECT_EQ(Encode_Almanac("", a, 31), std::nullopt);
    EXPECT_EQ(Encode_Almanac("D502", a, 31), std::nullopt);
    cAlmanac untouched;
    EXPECT_FALSE(Decode_Almanac("", cases[0].packet, untouched));
    // A packet shorter than svid reads 0, nothing beyond it.
    EXPECT_TRUE(Decode_Almanac("D551", H("10 1F 00 00 10 03"), untouched));
    EXPECT_EQ(untouched.svid, 0);
}

TEST(GoldenLap, ThirtyEightBytesBothWays)
{
    // start 86400 (1990/01/01), total 60 s, 100.5 m, begin 45/-90, end 0/0,
    // calories 0x0102, track index 5, unused 0.
    const Bytes packet = Frame(149, 32, H("80 51 01 00 | 3C 00 00 00 | 00 00 C9 42 | 00 00 00 20 | 00 00 00 C0 |"
                                          "00 00 00 00 | 00 00 00 00 | 02 01 | 05 | 00"));
    ASSERT_EQ(packet.size(), 38u);
    cLap lap;
    lap.Start_Time = "1990/01/01-00:00:00"; // seconds 0: counted from the text
    lap.Total_Time = 60;
    lap.Total_Distance = 100.5f;
    lap.Begin_Lat = 45;
    lap.Begin_Lon = -90;
    lap.Calories = 0x0102;
    lap.Track_Index = 5;
    lap.Unused = 9; // always sent as 0
    EXPECT_EQ(Encode_Lap(lap, 149), packet);
    const cLap got = Decode_Lap(packet);
    EXPECT_EQ(got.Start_Time, "1990/01/01-00:00:00");
    EXPECT_EQ(got.Start_Time_Seconds, 86400);
    EXPECT_EQ(got.Begin_Lon, -90);
    EXPECT_EQ(got.Calories, 0x0102);
    EXPECT_EQ(got.Track_Index, 5);
    EXPECT_EQ(Decode_Lap(H("10 95 20 80 51")).Track_Index, 0); // short: 0
}

TEST(GoldenFlightbook, TextsAndSizes)
{
    cFlightbook_Record r;
    r.Takeoff_Seconds = 1;
    r.Cross_Country = true;
    // 45 fixed bytes (cross country 255 at 44) and five empty strings: 50.
    const Bytes empty = Frame(134, 50, Cat({H("01 00 00 00"), Rep(0, 40), H("FF"), Rep(0, 5)}));
    EXPECT_EQ(Encode_Flightbook(r, 134), empty);
    r.Departure_Airport_Name = "sea-tac";
    r.Aircraft_ID = "n123";
    const Bytes named = Encode_Flightbook(r, 134);
    const Bytes fixed(empty.begin() + 3, empty.begin() + 48);
    EXPECT_EQ(Data_Of(named), Cat({fixed, A("SEA-TAC"), H("00 00 00 00"), A("N123"), H("00")}));
    // Too long for the size byte: cut from the last text backwards.
    r.Departure_Airport_Name = std::string(150, 'a');
    r.Aircraft_ID = std::string(150, 'b');
    const Bytes cut = Encode_Flightbook(r, 134);
    EXPECT_EQ(cut[2], 255);
    EXPECT_EQ(cut.size(), 261u);
    EXPECT_EQ(Decode_Flightbook(cut).Aircraft_ID, std::string(55, 'B'));

    // Two strings and nothing after them: the arrival fields stay empty.
    const cFlightbook_Record got =
        Decode_Flightbook(Frame(134, 52, Cat({Rep(0, 44), H("01"), A("KSEA"), H("00"), A("S"), H("00")})));
    EXPECT_TRUE(got.Cross_Country);
    EXPECT_EQ(got.Departure_Airport_Name, "KSEA");
    EXPECT_EQ(got.Departure_Airport_Ident, "S");
    EXPECT_EQ(got.Arrival_Airport_Name, "");
    EXPECT_EQ(got.Aircraft_ID, "");
    // Below 45 bytes there is no text area.
    EXPECT_EQ(Decode_Flightbook(Frame(134, 44, Rep('A', 44))).Departure_Airport_Name, "");
}

TEST(GoldenSmallRecords, VoltagesAndUnitId)
{
    const cVoltages v = Decode_Voltages(Frame(40, 4, H("D2 04 | FB FF"))); // 1234, -5
    EXPECT_FLOAT_EQ(v.Internal_Voltage, 12.34f);
    EXPECT_FLOAT_EQ(v.External_Voltage, -0.05f);
    EXPECT_EQ(Decode_Unit_ID(Frame(38, 4, H("FF FF FF FF"))), "4294967295");
    EXPECT_EQ(Decode_Unit_ID(Frame(38, 4, H("00 00 00 00"))), "0");
}

TEST(GoldenExpanded, NameAndContinuationPackets)
{
    // 525, length 11: "ABCDEFGHIJ" and its NUL; size byte 17.
    EXPECT_EQ(Expanded_Packet(525, A(std::string("ABCDEFGHIJ") + '\0')),
              Cat({H("10 7B 11 | 0B 00 00 00 | 0D 02"), A("ABCDEFGHIJ"), H("00 | 00 10 03")}));
    // 881 with icon 255 + 1: the low byte 0.
    EXPECT_EQ(Expanded_Packet(881, {static_cast<std::uint8_t>(255 + 1), 0}),
              H("10 7B 08 | 02 00 00 00 | 71 03 | 00 00 | 00 10 03"));
    EXPECT_EQ(Continuation_Request(124, 887, 2), Frame(125, 5, H("7C 00 77 03 02")));
}
