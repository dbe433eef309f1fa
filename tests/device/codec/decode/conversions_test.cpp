#include "device/protocols/codec/conversions.h"
#include "device/protocols/codec/fields.h"
#include "packet_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>

using namespace brenvik;
using test::Bytes;

TEST(Conversions, PacketToStringStopsAtNulAndKeepsBlanks)
{
    // data: 'A' 'B' NUL 'C' 'D' 'E'
    const Bytes p = test::frame(35, test::hex("41 42 00 43 44 45"));
    EXPECT_EQ(Packet_To_String(p, 3, 6, false), "AB    ");
    EXPECT_EQ(Packet_To_String(p, 3, 6, true), std::string("AB\0CDE", 6));
    EXPECT_EQ(Packet_To_String(p, 3, 0, false), "");
    EXPECT_EQ(Packet_To_String(p, 3, -4, false), "");
    // Beyond the data the text stays blank: the checksum is never taken.
    EXPECT_EQ(Packet_To_String(p, 7, 5, true), "DE   ");
    EXPECT_EQ(Packet_To_String(p, 9, 3, true), "   ");
    EXPECT_EQ(Packet_To_String(p, 1, 3, true), "   ");
}

TEST(Conversions, Semicircles)
{
    EXPECT_EQ(Semicircles_To_Degrees(1 << 30), 90.0);
    EXPECT_EQ(Semicircles_To_Degrees(std::numeric_limits<std::int32_t>::min()), -180.0);
    EXPECT_EQ(Degrees_To_Semicircles(90.0), 1 << 30);
    EXPECT_EQ(Degrees_To_Semicircles(-180.0), std::numeric_limits<std::int32_t>::min());
    EXPECT_EQ(Degrees_To_Semicircles(45.0), 1 << 29);
    EXPECT_EQ(Degrees_To_Semicircles(-45.0), -(1 << 29));
}

TEST(Conversions, DegreesToSemicirclesWrapsInsteadOfOverflowing)
{
    const std::int32_t minus180 = std::numeric_limits<std::int32_t>::min();
    EXPECT_EQ(Degrees_To_Semicircles(180.0), minus180);
    EXPECT_EQ(Degrees_To_Semicircles(540.0), minus180);
    EXPECT_EQ(Degrees_To_Semicircles(270.0), -(1 << 30));
    EXPECT_EQ(Degrees_To_Semicircles(360.0), 0);
    EXPECT_EQ(Degrees_To_Semicircles(-190.0), Degrees_To_Semicircles(170.0));
    const double r = std::fmod(1e300, 360.0);
    EXPECT_EQ(Degrees_To_Semicircles(1e300), Degrees_To_Semicircles(r >= 180 ? r - 360 : r));
    EXPECT_EQ(Degrees_To_Semicircles(-1e300), Degrees_To_Semicircles(r >= 180 ? 360 - r : -r));
    // Just below 180 rounds up to 2^31, which is -180 again.
    EXPECT_EQ(Degrees_To_Semicircles(std::nextafter(180.0, 0.0)), minus180);
    EXPECT_EQ(Degrees_To_Semicircles(std::nan("")), 0);
    EXPECT_EQ(Degrees_To_Semicircles(std::numeric_limits<double>::infinity()), 0);
    EXPECT_EQ(Degrees_To_Semicircles(-std::numeric_limits<double>::infinity()), 0);
}

TEST(Conversions, DegreesToSemicirclesRoundsHalfToEven)
{
    const double unit = 180.0 / 2147483648.0; // one semicircle in degrees
    EXPECT_EQ(Degrees_To_Semicircles(0.5 * unit), 0);
    EXPECT_EQ(Degrees_To_Semicircles(1.5 * unit), 2);
    EXPECT_EQ(Degrees_To_Semicircles(2.5 * unit), 2);
    EXPECT_EQ(Degrees_To_Semicircles(-2.5 * unit), -2);
    EXPECT_EQ(Degrees_To_Semicircles(2.6 * unit), 3);
}

TEST(Conversions, TrimNullTrimsTheCallersText)
{
    std::string s("  AB\0CD", 7);
    EXPECT_EQ(TrimNull(s), "AB");
    EXPECT_EQ(s, std::string("AB\0CD", 5));
    std::string blanks = "   ";
    EXPECT_EQ(TrimNull(blanks), "");
    EXPECT_EQ(blanks, "");
    EXPECT_EQ(Address_Of(-7), -7);
}

TEST(Conversions, HexDumpAndStringToPacket)
{
    EXPECT_EQ(Hex_Dump(Bytes{0x10, 0x0A, 0xFF}, 2), "10 0A ");
    EXPECT_EQ(Hex_Dump(Bytes{0x10}, 5), "10 ");
    EXPECT_EQ(Hex_Dump(Bytes{0x10}, -1), "");
    std::uint8_t buf[5] = {1, 2, 3, 4, 5};
    String_To_Packet("AB", buf);
    EXPECT_EQ(Bytes(buf, buf + 5), test::hex("41 42 20 20 20"));
    String_To_Packet("ABCDEFG", buf);
    EXPECT_EQ(Bytes(buf, buf + 5), test::hex("41 42 43 44 45"));
}

TEST(Conversions, DeviceTime)
{
    EXPECT_EQ(Device_Time(0), "1989/12/31-00:00:00");
    EXPECT_EQ(Device_Time(60), "1989/12/31-00:01:00");
    EXPECT_EQ(Device_Time(86400 + 3661), "1990/01/01-01:01:01");
    // 2000-02-29 12:00:00 is 3712 days after the base.
    EXPECT_EQ(Device_Time(3712u * 86400 + 43200), "2000/02/29-12:00:00");
    EXPECT_EQ(Device_Time(0xFFFFFFFFu), "2126/02/06-06:28:15");
}

TEST(FieldReaders, ReadOnlyInsideTheData)
{
    // data: 78 56 34 12 (4 bytes), then checksum, DLE, ETX
    const Bytes p = test::frame(27, test::hex("78 56 34 12"));
    EXPECT_EQ(Packet_To_Long(p, 3), 0x12345678);
    EXPECT_EQ(Packet_To_Integer(p, 3), 0x5678);
    EXPECT_EQ(Packet_To_Integer(p, 5), 0x1234);
    EXPECT_EQ(Packet_To_Integer(p, 6), 0); // would take the checksum
    EXPECT_EQ(Packet_To_Long(p, 4), 0);
    EXPECT_EQ(Packet_To_Byte(p, 6), 0x12);
    EXPECT_EQ(Packet_To_Byte(p, 7), 0);
    EXPECT_EQ(Packet_To_Byte(p, 1), 0); // the ID is not data
    EXPECT_EQ(Packet_To_Double(p, 3), 0.0);
    EXPECT_EQ(Packet_To_Integer(p, -2), 0);
    EXPECT_EQ(Packet_To_Integer(p, 32767), 0);
    EXPECT_TRUE(Packet_Tail(p, 7).empty());
    EXPECT_EQ(Packet_Bytes(p, 4, 10).size(), 3u);
    EXPECT_TRUE(Packet_Bytes(p, 4, -1).empty());
}

TEST(FieldReaders, ArrayShorterThanItsSizeByte)
{
    // The size byte claims 8 data bytes; the array holds 2 of them.
    const auto p = std::make_unique<std::uint8_t[]>(5);
    const std::uint8_t bytes[5] = {0x10, 51, 8, 0xAA, 0xBB};
    std::copy(bytes, bytes + 5, p.get());
    const PacketView v(p.get(), 5);
    EXPECT_EQ(Packet_Data_End(v), 5u);
    EXPECT_EQ(Packet_To_Integer(v, 3), static_cast<std::int16_t>(0xBBAA));
    EXPECT_EQ(Packet_To_Long(v, 3), 0);
    EXPECT_EQ(Packet_Data_End(PacketView{}), 0u);
    EXPECT_EQ(Packet_To_Byte(PacketView(p.get(), 2), 3), 0);
}

TEST(FieldReaders, ExpandedPacketReadsToTheArraysEnd)
{
    // ID 123: byte 2 does not bound the data; [3-6] length, [7-8] ID, data.
    const Bytes p = test::hex("10 7B 01 02 00 00 00 34 12 CD AB");
    EXPECT_EQ(Packet_To_Integer(p, 7), 0x1234);
    EXPECT_EQ(Packet_To_Integer(p, 9), static_cast<std::int16_t>(0xABCD));
    EXPECT_EQ(Packet_To_Integer(p, 10), 0);
}

TEST(FieldReaders, LittleEndianFloats)
{
    // 1.0f, then -2.0 as a double
    const Bytes p = test::frame(51, test::hex("00 00 80 3F  00 00 00 00 00 00 00 C0"));
    EXPECT_EQ(Packet_To_Single(p, 3), 1.0f);
    EXPECT_EQ(Packet_To_Double(p, 7), -2.0);
}

TEST(FieldReaders, BytesToHex)
{
    EXPECT_EQ(Bytes_To_Hex(Bytes{0x00}), "00 ");
    EXPECT_EQ(Bytes_To_Hex(Bytes{0x10, 0x0A}), "10 0A ");
    EXPECT_EQ(Bytes_To_Hex(Bytes{}), "");
}
