#include "device/link/usb_packet.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace brenvik::usb;
using Bytes = std::vector<std::uint8_t>;

namespace {

Bytes iota_bytes(std::size_t n, std::uint8_t first = 1)
{
    Bytes b(n);
    std::iota(b.begin(), b.end(), first);
    return b;
}

// USB packet type 20, ID 300 (0x012C), 10 data bytes 1..10, written by hand
// from the layout table.
const Bytes usb_300 = {
    20, 0, 0, 0,        // type, zero
    0x2C, 0x01,         // ID 300
    0, 0,               // zero
    10, 0, 0, 0,        // size 10
    1, 2, 3, 4, 5, 6, 7, 8, 9, 10};

// The same as an expanded Host_Packet.
const Bytes host_300 = {
    0x10, 123, 16,      // DLE, ID 123, size byte = 10 + 6
    10, 0, 0, 0,        // length 10 at bytes 3-6
    0x2C, 0x01,         // ID 300 at bytes 7-8
    1, 2, 3, 4, 5, 6, 7, 8, 9, 10,
    0,                  // checksum slot
    0x10, 0x03};

} // namespace

TEST(UsbPacket, ExpandedFormBothWays)
{
    auto host = Host_From_Usb(usb_300);
    ASSERT_TRUE(host);
    EXPECT_EQ(*host, host_300);
    auto usb = Usb_From_Host(host_300);
    ASSERT_TRUE(usb);
    EXPECT_EQ(*usb, usb_300);
}

TEST(UsbPacket, ShortFormBothWays)
{
    // Product request: type 20, ID 254, no data is not reportable but
    // writable; product data ID 255 with 2 bytes is reportable.
    const Bytes usb = {20, 0, 0, 0, 255, 0, 0, 0, 2, 0, 0, 0, 0x34, 0x12};
    const Bytes host = {0x10, 255, 2, 0x34, 0x12, 0, 0x10, 0x03};
    EXPECT_EQ(Host_From_Usb(usb), host);
    EXPECT_EQ(Usb_From_Host(host), usb);

    const Bytes request = {0x10, 254, 0, 0, 0x10, 0x03};
    const Bytes request_usb = {20, 0, 0, 0, 254, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Usb_From_Host(request), request_usb);
}

TEST(UsbPacket, ProtocolLayerWriteAndSizeLimits)
{
    // First byte not DLE: a bare protocol-layer packet with ID = byte 1.
    const Bytes start = {0, 5};
    const Bytes start_usb = {0, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(Usb_From_Host(start), start_usb);
    EXPECT_FALSE(Usb_From_Host(Bytes{0}));
    EXPECT_FALSE(Usb_From_Host(Bytes{}));

    // 256 data bytes with a small ID still take the expanded form.
    auto big = Make_Usb_Packet(20, 35, iota_bytes(256));
    auto host = Host_From_Usb(big);
    ASSERT_TRUE(host);
    EXPECT_EQ((*host)[1], 123);
    EXPECT_EQ((*host)[2], 255);   // 262 capped
    EXPECT_EQ((*host)[3], 0x00);
    EXPECT_EQ((*host)[4], 0x01);  // 256
    EXPECT_EQ((*host)[7], 35);
    EXPECT_EQ(host->size(), 256u + 12);
    EXPECT_EQ(Usb_From_Host(*host), big);
}

TEST(UsbPacket, OneAndMaximumDataBytesRoundTrip)
{
    for (std::size_t n : {std::size_t{1}, std::size_t{255}, std::size_t{1046}}) {
        for (std::uint16_t id : {std::uint16_t{34}, std::uint16_t{1000}}) {
            auto usb = Make_Usb_Packet(20, id, iota_bytes(n));
            auto host = Host_From_Usb(usb);
            ASSERT_TRUE(host) << n << " " << id;
            EXPECT_EQ(Usb_From_Host(*host), usb) << n << " " << id;
        }
    }
}

TEST(UsbPacket, UnreportablePacketsAreRejected)
{
    EXPECT_FALSE(Host_From_Usb(Make_Usb_Packet(20, 35, {})));                // 0 bytes
    EXPECT_FALSE(Host_From_Usb(Make_Usb_Packet(20, 35, iota_bytes(1047))));  // 1047 bytes
    EXPECT_FALSE(Host_From_Usb(Make_Usb_Packet(20, 0, iota_bytes(4))));      // ID 0
    EXPECT_FALSE(Host_From_Usb(Make_Usb_Packet(7, 35, iota_bytes(4))));      // unknown type
    EXPECT_TRUE(Host_From_Usb(Make_Usb_Packet(0, 6, iota_bytes(4))));        // session started
}

TEST(UsbPacket, LyingLengthReadsNothingBeyondTheBytes)
{
    // Size field claims 1000 bytes, only 4 follow; each piece is a separate
    // heap block so ASan sees any read past it.
    Bytes usb = Make_Usb_Packet(20, 35, iota_bytes(4));
    usb[8] = 0xE8;
    usb[9] = 0x03;
    EXPECT_FALSE(Host_From_Usb(usb));
    EXPECT_FALSE(Host_From_Usb(std::span(usb).first(11)));

    // A Host_Packet whose length fields claim more than it holds.
    Bytes host = host_300;
    host[3] = 200;
    EXPECT_FALSE(Usb_From_Host(std::span(host).first(20)));
    Bytes small = {0x10, 35, 9, 1, 2};
    EXPECT_FALSE(Usb_From_Host(small));
    EXPECT_FALSE(Usb_From_Host(Bytes{0x10, 123, 255, 0, 0}));
}

TEST(UsbPacket, AssemblerGathersPiecesAndSkipsJunk)
{
    Interrupt_Assembler a;
    auto usb = Make_Usb_Packet(20, 300, iota_bytes(100));   // 112 bytes: 64 + 48
    Bytes junk = {99, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 7};
    EXPECT_FALSE(a.feed(junk));
    EXPECT_FALSE(a.collecting());
    Bytes p1(usb.begin(), usb.begin() + 64), p2(usb.begin() + 64, usb.end());
    EXPECT_FALSE(a.feed(p1));
    EXPECT_TRUE(a.collecting());
    auto done = a.feed(p2);
    ASSERT_TRUE(done);
    EXPECT_EQ(Bytes(done->begin(), done->end()), usb);

    // A lying size of 1046 only gathers the pieces that come; nothing is
    // read past any piece.
    Bytes liar = Make_Usb_Packet(20, 35, iota_bytes(4));
    liar[8] = 0x16;
    liar[9] = 0x04;
    EXPECT_FALSE(a.feed(liar));
    EXPECT_TRUE(a.collecting());
    a.reset();
    EXPECT_FALSE(a.collecting());
}
