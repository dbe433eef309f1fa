// Periphery packets through the control's dispatch: almanac, laps and
// flight book, voltages and unit ID, screens with their events and palette
// errors, expanded packets and icons; and the once-per-transfer errors.
#include "support.h"

#include <gtest/gtest.h>

namespace brenvik::test {
namespace {

struct Periphery_Recorder : Recorder {
    std::vector<int> images;
    void ReceiveImage(std::int16_t pct, const PictureRef&) override { images.push_back(pct); }
    void ReceiveIcon(std::int16_t seq, const PictureRef&, const ByteArray& b) override
    {
        log.push_back("ReceiveIcon:" + std::to_string(seq) + ":" + std::to_string(b.size()));
    }
    void vcReceiveIcon(std::int16_t seq, const PictureRef&, const std::string& b) override
    {
        log.push_back("vcReceiveIcon:" + std::to_string(seq) + ":" + std::to_string(b.size()));
    }
};

struct Periphery : Fixture {
    Periphery_Recorder rec;
    Periphery() { control->Advise(&rec); }
};

std::vector<std::uint8_t> expanded_data(int xid, std::vector<std::uint8_t> payload, std::size_t length)
{
    std::vector<std::uint8_t> d{std::uint8_t(length), std::uint8_t(length >> 8), 0, 0, std::uint8_t(xid),
                                std::uint8_t(xid >> 8)};
    d.insert(d.end(), payload.begin(), payload.end());
    return d;
}

TEST(PeripheryDispatch, RecordsLandInTheirObjects)
{
    Periphery f;
    f.control->props().Almanac_Data_Format = "D551";
    f.control->Dispatch_Packet(pkt(31, {7, 1, 0}));
    f.control->Dispatch_Packet(pkt(31, {9, 2, 0}));
    EXPECT_EQ(f.control->Almanac()->svid, 9); // the second packet's values
    EXPECT_EQ(f.control->Almanac()->wn, 2);
    f.control->Dispatch_Packet(pkt(149, {0x80, 0x51, 0x01, 0x00}));
    f.control->Dispatch_Packet(pkt(149, {}));
    ASSERT_EQ(f.control->Laps()->size(), 2u);
    EXPECT_EQ(f.control->Laps()->front()->Start_Time_Seconds, 86400);
    EXPECT_EQ(f.control->Lap(), f.control->Laps()->back());
    f.control->Dispatch_Packet(pkt(134, {}));
    EXPECT_EQ(f.control->store().Flightbook->size(), 1u);
    f.control->Dispatch_Packet(pkt(40, {0xD2, 0x04, 0xFB, 0xFF}));
    EXPECT_FLOAT_EQ(f.control->Voltages()->External_Voltage, -0.05f);
    f.control->Dispatch_Packet(pkt(38, {0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(f.control->Product_Data()->Unit_ID, "4294967295");
    // Laps and flight book raise no Received event.
    EXPECT_TRUE(f.rec.log.empty());
}

TEST(PeripheryDispatch, UnsupportedUploadsReportOncePerTransfer)
{
    Periphery f;
    f.control->props().Almanac_Data_Format = "";
    f.control->props().Flightbook_Transfer_Protocol = "";
    f.control->Send_Almanac_Data();
    f.control->Send_Almanac_Data();
    f.control->Send_Flightbook_Record();
    EXPECT_EQ(f.rec.log, (std::vector<std::string>{"cError:0:GPS model/version does not support Almanac Data"}));
}

TEST(PeripheryDispatch, ScreenEventsAndAnUnreadablePalette)
{
    Periphery f;
    f.control->Palette_File("/nonexistent/screen.pal");
    // Short header: 1 byte a line, 1 bit, 8 pixels, 2 lines; then the pixels.
    f.control->Dispatch_Packet(pkt(69, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 8, 0, 2, 0}));
    EXPECT_EQ(f.rec.log, (std::vector<std::string>{"cError:0:Unable to open /nonexistent/screen.pal"}));
    EXPECT_EQ(f.control->Palette_File(), "");
    f.control->Dispatch_Packet(pkt(69, {1, 0, 0, 0, 0, 0, 0xFF}));
    f.control->Dispatch_Packet(pkt(69, {1, 0, 1, 0, 0, 0, 0x01}));
    EXPECT_EQ(f.rec.images, (std::vector<int>{50, 100}));
    EXPECT_EQ(f.control->Display()->Record_Type, 1);
    EXPECT_EQ(f.control->Display()->Packet.size(), 13u); // the whole packet, one character per byte
}

TEST(PeripheryDispatch, IconsAndTheUnitName)
{
    Periphery f;
    f.control->Port(0);
    f.control->Dispatch_Packet(pkt(123, expanded_data(882, {0x34, 0x12, 0, 0}, 4)));
    EXPECT_EQ(f.control->PID_Icon(), 0x1234);
    EXPECT_EQ(f.control->PID_Expanded_ID(), 882);
    f.control->Dispatch_Packet(pkt(123, expanded_data(887, std::vector<std::uint8_t>(200, 1), 1028)));
    f.control->Dispatch_Packet(pkt(123, expanded_data(885, std::vector<std::uint8_t>(100, 2), 260)));
    EXPECT_EQ(f.rec.log, (std::vector<std::string>{"ReceiveIcon:0:1334", "vcReceiveIcon:0:1334"}));
    EXPECT_EQ(f.control->PID_Expanded_Length(), 260);
    // Serial: the pixels wait for their continuation.
    f.rec.log.clear();
    f.control->Port(1);
    f.control->Dispatch_Packet(pkt(123, expanded_data(885, std::vector<std::uint8_t>(100, 2), 260)));
    EXPECT_TRUE(f.rec.log.empty());
    f.control->Dispatch_Packet(pkt(124, {0, 5, 5}));
    EXPECT_EQ(f.rec.log.size(), 2u);
    EXPECT_EQ(f.control->PID_Expanded_Length(), 3);
    // A name reply without its NUL changes nothing.
    f.control->Dispatch_Packet(pkt(123, expanded_data(525, {'A', 'B', 0}, 3)));
    f.control->Dispatch_Packet(pkt(123, expanded_data(525, {'C', 'D'}, 2)));
    EXPECT_EQ(f.control->Product_Data()->GPS_Name, "AB");
}

} // namespace
} // namespace brenvik::test
