// The link layer against a scripted port on the fake event pump. Byte
// vectors are written out by hand from the frame layout: DLE, ID, size,
// data, checksum (ID + size + data + checksum = 0 mod 256), DLE ETX, with
// every 0x10 after the ID doubled on the wire.
#include "fakes.h"

#include <gtest/gtest.h>

using namespace linktest;
using brenvik::Link;

namespace {

constexpr std::int64_t ms = 1000;

// ID 0x22, size 3, data 10 10 03: checksum 0xB8.
const Packet kHostA = pkt({0x10, 0x22, 0x03, 0x10, 0x10, 0x03, 0xB8, 0x10, 0x03});
const std::string kWireA = bytes({0x10, 0x22, 0x03, 0x10, 0x10, 0x10, 0x10, 0x03, 0xB8, 0x10, 0x03});
// ID 0x22, size 2, data 03 C9: checksum 0x10.
const Packet kHostB = pkt({0x10, 0x22, 0x02, 0x03, 0xC9, 0x10, 0x10, 0x03});
const std::string kWireB = bytes({0x10, 0x22, 0x02, 0x03, 0xC9, 0x10, 0x10, 0x10, 0x03});
// ID 0x23, size 0x10, data 10 03 10 10 03 and eleven zeros: checksum 0x97.
const Packet kHostC = pkt({0x10, 0x23, 0x10, 0x10, 0x03, 0x10, 0x10, 0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x97,
                           0x10, 0x03});
const std::string kWireC = bytes({0x10, 0x23, 0x10, 0x10, 0x10, 0x10, 0x03, 0x10, 0x10, 0x10, 0x10, 0x03, 0, 0, 0, 0,
                                  0, 0, 0, 0, 0, 0, 0, 0x97, 0x10, 0x03});

const Packet kAck22 = pkt({0x10, 0x06, 0x02, 0x22, 0x00, 0xD6, 0x10, 0x03});
const Packet kAck23 = pkt({0x10, 0x06, 0x02, 0x23, 0x00, 0xD5, 0x10, 0x03});
const Packet kNak22 = pkt({0x10, 0x15, 0x02, 0x22, 0x00, 0xC7, 0x10, 0x03});
const Packet kNak23 = pkt({0x10, 0x15, 0x02, 0x23, 0x00, 0xC6, 0x10, 0x03});
const std::string kNakWire23 = bytes({0x10, 0x15, 0x02, 0x23, 0x00, 0xC6, 0x10, 0x03});
const std::string kAckWire23 = bytes({0x10, 0x06, 0x02, 0x23, 0x00, 0xD5, 0x10, 0x03});

// A record to send: ID 0x23, data 41 42; on the wire with checksum 0x58.
const Packet kOut = pkt({0x10, 0x23, 0x02, 0x41, 0x42, 0x00, 0x10, 0x03});
const Packet kOutWire = pkt({0x10, 0x23, 0x02, 0x41, 0x42, 0x58, 0x10, 0x03});

std::string ack_wire(int id)
{
    int cs = (0x100 - ((6 + 2 + id) & 0xFF)) & 0xFF;
    std::string s = bytes({0x10, 0x06, 0x02, id, 0x00, cs});
    if (cs == 0x10) s.push_back(0x10);
    return s + bytes({0x10, 0x03});
}

} // namespace

TEST(PacketFunctions, ChecksumAndStuffing)
{
    EXPECT_EQ(Link::Packet_Checksum(pkt({0x10, 0x0A, 0x02, 0x07, 0x00, 0, 0x10, 0x03})), 0xED);
    EXPECT_EQ(Link::Stuff_Packet(kHostA), as_packet(kWireA));
    EXPECT_EQ(Link::Stuff_Packet(kHostB), as_packet(kWireB));
    EXPECT_EQ(Link::Stuff_Packet(kHostC), as_packet(kWireC));
    // An ID of 0x10 is not doubled.
    EXPECT_EQ(Link::Stuff_Packet(pkt({0x10, 0x10, 0x01, 0x05, 0xEA, 0x10, 0x03})),
              pkt({0x10, 0x10, 0x01, 0x05, 0xEA, 0x10, 0x03}));
    // Too short to be a packet: nothing is read out of bounds.
    EXPECT_EQ(Link::Packet_Checksum(pkt({0x10, 0x0A})), 0);
    EXPECT_TRUE(Link::Stuff_Packet(pkt({0x10, 0x0A, 0x02})).empty());
    EXPECT_EQ(Link::NMEA_Checksum("$GPGLL,4916.45,N,12311.12,W,225444,A*31"), "31");
    EXPECT_EQ(Link::NMEA_Checksum("xGPRMC,1,A"), "3B");
    EXPECT_EQ(brenvik::Bytes_To_Hex(pkt({0x10, 0x0A})), "10 0A ");
}

TEST(Deframing, StuffedBytesAtEverySplitPoint)
{
    const std::string stream = bytes({0x41, 0x03, 0x00}) + kWireA + kWireB + kWireC;
    auto check = [&](Rig& r, const std::string& how) {
        ASSERT_EQ(r.host.dispatched.size(), 3u) << how;
        EXPECT_EQ(r.host.dispatched[0], kHostA) << how;
        EXPECT_EQ(r.host.dispatched[1], kHostB) << how;
        EXPECT_EQ(r.host.dispatched[2], kHostC) << how;
        EXPECT_EQ(r.host.of("Receive").size(), 3u) << how;
        EXPECT_TRUE(r.host.of("cError").empty()) << how;
        ASSERT_EQ(r.port.written.size(), 3u) << how;
        EXPECT_EQ(r.port.written[0], kAck22) << how;
        EXPECT_EQ(r.port.written[1], kAck22) << how;
        EXPECT_EQ(r.port.written[2], kAck23) << how;
    };
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        Rig r;
        r.link.Serial_Input(stream.substr(0, cut));
        r.link.Serial_Input(stream.substr(cut));
        check(r, "split at " + std::to_string(cut));
    }
    Rig r;
    for (char c : stream) r.link.Serial_Input(std::string(1, c));
    check(r, "one byte at a time");
    // Through the port's receive event, as the bytes arrive.
    Rig e;
    for (char c : stream) e.port.push(std::string(1, c));
    check(e, "OnComm");
}

TEST(Deframing, BadFramesAreNakedAndTheStreamResynchronises)
{
    Rig r;
    // Size byte 5 with three data bytes (checksum right for the bytes sent).
    r.link.Serial_Input(bytes({0x10, 0x22, 0x05, 0x41, 0x42, 0x43, 0x13, 0x10, 0x03}));
    // A frame cut short by the next frame start is dropped; the next is read.
    r.link.Serial_Input(bytes({0x10, 0x22, 0x03, 0x41}) + kWireC);
    ASSERT_EQ(r.port.written.size(), 2u);
    EXPECT_EQ(r.port.written[0], kNak22);
    EXPECT_EQ(r.port.written[1], kAck23);
    ASSERT_EQ(r.host.dispatched.size(), 1u);
    EXPECT_EQ(r.host.dispatched[0], kHostC);
    EXPECT_EQ(r.host.of("Receive").size(), 1u);

    // A frame without data is dropped silently.
    Rig e;
    e.link.Serial_Input(bytes({0x10, 0x22, 0x00, 0xDE, 0x10, 0x03}));
    EXPECT_TRUE(e.port.written.empty());
    EXPECT_TRUE(e.host.events.empty());
}

TEST(Deframing, ExpandedPacketUsesItsRealLength)
{
    // ID 123, size byte FF, data 02 00 00 00 10 10: checksum 0x64.
    Rig r;
    r.link.Serial_Input(bytes({0x10, 0x7B, 0xFF, 0x02, 0, 0, 0, 0x10, 0x10, 0x10, 0x10, 0x64, 0x10, 0x03}));
    ASSERT_EQ(r.host.dispatched.size(), 1u);
    EXPECT_EQ(r.host.dispatched[0], pkt({0x10, 0x7B, 0xFF, 0x02, 0, 0, 0, 0x10, 0x10, 0x64, 0x10, 0x03}));
}

TEST(Checksums, BadRecordIsNakedAndItsResendDispatchedOnce)
{
    Rig r;
    std::string bad = kWireC;
    bad[bad.size() - 3] = static_cast<char>(0x98);
    r.link.Serial_Input(bad);
    ASSERT_EQ(r.port.written.size(), 1u);
    EXPECT_EQ(r.port.written[0], kNak23);
    EXPECT_TRUE(r.host.dispatched.empty());
    EXPECT_TRUE(r.host.of("Receive").empty());
    r.link.Serial_Input(kWireC);
    ASSERT_EQ(r.port.written.size(), 2u);
    EXPECT_EQ(r.port.written[1], kAck23);
    EXPECT_EQ(r.host.dispatched.size(), 1u);
    EXPECT_EQ(r.host.of("Receive").size(), 1u);
    EXPECT_EQ(r.link.Bad_Frame_Count(), 0);
}

TEST(Checksums, SixthBadRecordReportsInvalidMessage)
{
    Rig r;
    std::string bad = kWireC;
    bad[bad.size() - 3] = static_cast<char>(0x98);
    for (int i = 0; i < 6; ++i) r.link.Serial_Input(bad);
    EXPECT_EQ(r.port.written.size(), 5u);
    auto errors = r.host.of("cError");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].code, 3);
    EXPECT_EQ(errors[0].text, "Invalid message received from device");
    // PVT packets are never NAKed, even when corrupted.
    Rig p;
    p.link.Serial_Input(bytes({0x10, 0x33, 0x01, 0x00, 0x00, 0x10, 0x03}));
    EXPECT_TRUE(p.port.written.empty());
}

TEST(Naks, FiveResendsThenUnableToCommunicate)
{
    Rig r;
    r.link.Send(kOut);
    ASSERT_EQ(r.port.written.size(), 1u);
    EXPECT_EQ(r.port.written[0], kOutWire);
    for (int i = 0; i < 5; ++i) r.link.Serial_Input(kNakWire23);
    ASSERT_EQ(r.port.written.size(), 6u);
    for (const Packet& w : r.port.written) EXPECT_EQ(w, kOutWire);
    EXPECT_TRUE(r.host.of("cError").empty());
    r.link.Serial_Input(kNakWire23);
    EXPECT_EQ(r.port.written.size(), 6u);
    auto errors = r.host.of("cError");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].code, 2);
    EXPECT_EQ(errors[0].text, "Unable to communicate with device");
    EXPECT_EQ(errors[0].packet, kOutWire);
    // NAKs reach the host too.
    EXPECT_EQ(r.host.of("Receive").size(), 6u);
}

TEST(Naks, CorruptedAcknowledgementStillAcknowledges)
{
    // The ACK of 0x23 with its checksum, its data or its size byte damaged:
    // each ends the wait at once, and none is answered with a NAK.
    for (std::size_t at : {5u, 3u, 4u, 2u}) {
        Rig r;
        std::string ack = kAckWire23;
        ack[at] = static_cast<char>(ack[at] ^ 0x40);
        std::uint8_t resp = 6;
        std::int32_t wait = 2;
        r.pump.at(100 * ms, [&] { r.port.push(ack); });
        EXPECT_TRUE(r.link.Send_Packet(kOut, resp, wait)) << at;
        EXPECT_EQ(r.pump.fake_clock().now_us(), 100 * ms) << at;
        EXPECT_EQ(r.port.written.size(), 1u) << at;
        EXPECT_EQ(r.host.of("Receive").size(), 1u) << at;
    }
}

class SilentReceiver : public ::testing::TestWithParam<double> {};

TEST_P(SilentReceiver, OneResendThenNoResponse)
{
    Rig r;
    r.pump.fake_clock().midnight_offset_s = GetParam();
    r.link.Send(kOut);
    r.pump.advance(1999 * ms);
    EXPECT_EQ(r.port.written.size(), 1u);
    r.pump.advance(1 * ms);
    ASSERT_EQ(r.port.written.size(), 2u);
    EXPECT_EQ(r.port.written[1], kOutWire);
    EXPECT_TRUE(r.host.of("cError").empty());
    r.pump.advance(2000 * ms);
    auto errors = r.host.of("cError");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].code, 0);
    EXPECT_EQ(errors[0].text, "No response from device");
    EXPECT_EQ(errors[0].packet, kOutWire);
    r.pump.advance(20000 * ms);
    EXPECT_EQ(r.host.of("cError").size(), 1u);
    EXPECT_EQ(r.port.written.size(), 2u);
}

TEST_P(SilentReceiver, StoppedTransferResendsTheAckThenReports)
{
    Rig r;
    r.pump.fake_clock().midnight_offset_s = GetParam();
    r.port.push(kWireC);  // ID 0x23 is a waypoint record: a transfer in progress
    ASSERT_EQ(r.port.written.size(), 1u);
    r.pump.advance(2000 * ms);
    ASSERT_EQ(r.port.written.size(), 2u);
    EXPECT_EQ(r.port.written[1], kAck23);
    r.pump.advance(2000 * ms);
    ASSERT_EQ(r.host.of("cError").size(), 1u);
    EXPECT_EQ(r.host.of("cError")[0].text, "No response from device");
}

TEST_P(SilentReceiver, ReplyWaitWithoutResend)
{
    Rig r;
    r.pump.fake_clock().midnight_offset_s = GetParam();
    std::uint8_t resp = 6;
    std::int32_t wait = 0;
    EXPECT_FALSE(r.link.Send_Packet(kOut, resp, wait));
    EXPECT_EQ(wait, 2000);
    EXPECT_EQ(r.pump.fake_clock().now_us(), 2000 * ms);
    auto dbg = r.host.of("HexDebug");
    ASSERT_EQ(dbg.size(), 1u);
    EXPECT_EQ(dbg[0].text, "PC ** GPS Time-out. expecting PID-&H06");

    Rig s;
    s.pump.fake_clock().midnight_offset_s = GetParam();
    s.link.Send(kOut, 6, 0);
    EXPECT_EQ(s.pump.fake_clock().now_us(), 2000 * ms);
    s.pump.advance(20000 * ms);
    EXPECT_EQ(s.port.written.size(), 1u);
    auto errors = s.host.of("cError");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].text, "No response from device");
}

INSTANTIATE_TEST_SUITE_P(Clock, SilentReceiver, ::testing::Values(12 * 3600.0, 86400.0 - 1.0, 86400.0 - 3.0));

TEST(Waits, OnlyAnAcceptedFrameEndsTheWait)
{
    Rig r;
    std::string bad = kWireC;
    bad[bad.size() - 3] = static_cast<char>(0x98);
    r.pump.at(100 * ms, [&] { r.port.push(bad); });
    r.pump.at(300 * ms, [&] { r.port.push(kWireC); });
    std::uint8_t resp = 0x23;
    std::int32_t wait = 2;
    EXPECT_TRUE(r.link.Send_Packet(kOut, resp, wait));
    EXPECT_EQ(r.pump.fake_clock().now_us(), 300 * ms);
    EXPECT_EQ(r.host.dispatched.size(), 1u);
    // The Receive of the reply follows once the call has returned.
    EXPECT_EQ(r.host.of("Receive").size(), 1u);
    ASSERT_EQ(r.port.written.size(), 3u);
    EXPECT_EQ(r.port.written[1], kNak23);
    EXPECT_EQ(r.port.written[2], kAck23);
}

TEST(Waits, AReplyTakenByAnInnerWaitEndsTheOuterWait)
{
    Rig r;
    bool inner_result = false;
    r.host.on_dispatch = [&](const Packet& p) {
        if (p[1] != 0x22) return;
        std::uint8_t resp = 0x23;
        std::int32_t wait = 2;
        inner_result = r.link.Send_Packet(kOut, resp, wait);
    };
    r.pump.at(100 * ms, [&] { r.port.push(kWireA); });
    r.pump.at(200 * ms, [&] { r.port.push(kWireC); });
    std::uint8_t resp = 0x23;
    std::int32_t wait = 2;
    EXPECT_TRUE(r.link.Send_Packet(kOut, resp, wait));
    EXPECT_TRUE(inner_result);
    EXPECT_EQ(r.pump.fake_clock().now_us(), 200 * ms);
    EXPECT_EQ(r.host.dispatched.size(), 2u);
}

// Receive events come in the order the frames arrived, each while the
// packet it hands out is the last one decoded (the control's current
// record is the one that packet filled).
struct Arrivals {
    std::vector<Packet> received;
    bool current_each_time = true;
    explicit Arrivals(Rig& r)
    {
        r.host.on_receive = [this, &r](const Packet& p) {
            received.push_back(p);
            if (p[1] != 0x06 && (r.host.dispatched.empty() || r.host.dispatched.back() != p))
                current_each_time = false;
        };
    }
};

TEST(Order, AnInnerWaitDoesNotOvertakeTheFrameThatCalledIt)
{
    // The host answers record A by waiting for record C from inside A's
    // decoding (as a host calls the control from an event of the control).
    Rig r;
    Arrivals seen(r);
    bool inner = false;
    r.host.on_dispatch = [&](const Packet& p) {
        if (p[1] != 0x22) return;
        std::uint8_t resp = 0x23;
        std::int32_t wait = 2;
        inner = r.link.Send_Packet(kOut, resp, wait);
    };
    r.pump.at(300 * ms, [&] { r.port.push(kWireC); });
    r.port.push(kWireA);
    r.pump.advance(1000 * ms);
    EXPECT_TRUE(inner);
    ASSERT_EQ(seen.received.size(), 2u);
    EXPECT_EQ(seen.received[0], kHostA);
    EXPECT_EQ(seen.received[1], kHostC);
    EXPECT_TRUE(seen.current_each_time);
}

TEST(Order, FramesBehindTheReplyWaitForItsReceive)
{
    // The reply and two more records arrive in one piece while the host
    // waits: each Receive still comes before the next record is decoded.
    Rig r;
    Arrivals seen(r);
    r.pump.at(100 * ms, [&] { r.port.push(kWireA + kWireB + kWireC); });
    std::uint8_t resp = 0x22;
    std::int32_t wait = 2;
    EXPECT_TRUE(r.link.Send_Packet(kOut, resp, wait));
    EXPECT_EQ(seen.received, (std::vector<Packet>{kHostA, kHostB, kHostC}));
    EXPECT_TRUE(seen.current_each_time);
}

TEST(Order, AHostWaitingInsideAnEventStillGetsWhatCameBehindItsReply)
{
    // Inside the Receive of record C the host sends and waits for 0x22; the
    // reply and record B arrive together; then the host waits on its own
    // for B's Receive, still inside C's event.
    Rig r;
    Arrivals seen(r);
    bool got_b = false;
    r.host.on_receive = [&, first = true](const Packet& p) mutable {
        seen.received.push_back(p);
        if (p == kHostB) got_b = true;
        if (!first) return;
        first = false;
        r.pump.at(r.pump.fake_clock().now_us() + 100 * ms, [&] { r.port.push(kWireA + kWireB); });
        std::uint8_t resp = 0x22;
        std::int32_t wait = 2;
        EXPECT_TRUE(r.link.Send_Packet(kOut, resp, wait));
        EXPECT_TRUE(r.pump.wait_until([&] { return got_b; }, r.pump.fake_clock().now_us() + 1000 * ms));
    };
    r.port.push(kWireC);
    ASSERT_EQ(seen.received.size(), 3u);
    EXPECT_EQ(seen.received[1], kHostA);
    EXPECT_EQ(seen.received[2], kHostB);
}

TEST(Writes, APacketThatCannotGoOutIsReportedNotSent)
{
    Rig r;
    r.port.blocked = true;  // a peer that does not read
    int ticks = 0;
    auto timer = r.pump.make_timer();
    timer->set_interval_ms(100);
    timer->on_timer([&] { ++ticks; });
    timer->set_enabled(true);
    std::uint8_t resp = 2;
    std::int32_t wait = 0;
    EXPECT_FALSE(r.link.Send_Packet(kOut, resp, wait));
    EXPECT_GT(ticks, 0);  // events ran while it waited
    auto errors = r.host.of("cError");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].code, 0);
    EXPECT_EQ(errors[0].text, "Unable to write to port 1");
    EXPECT_EQ(errors[0].packet, kOutWire);
    EXPECT_TRUE(r.port.queued.empty());  // dropped, not left to go out later
    EXPECT_TRUE(r.port.written.empty());

    // With a reply awaited, the failed write is the one report.
    r.host.events.clear();
    r.link.Send(kOut, 6, 2);
    ASSERT_EQ(r.host.of("cError").size(), 1u);
    EXPECT_EQ(r.host.of("cError")[0].text, "Unable to write to port 1");

    // The acknowledgement of a record is watched the same way.
    r.host.events.clear();
    r.link.Serial_Input(kWireC);
    EXPECT_EQ(r.host.of("Receive").size(), 1u);
    r.pump.advance(2100 * ms);
    ASSERT_EQ(r.host.of("cError").size(), 1u);
    EXPECT_EQ(r.host.of("cError")[0].text, "Unable to write to port 1");

    // A peer that takes the bytes before the deadline: sent.
    r.host.events.clear();
    r.pump.at(r.pump.fake_clock().now_us() + 1500 * ms, [&] {
        r.port.written.push_back(r.port.queued);
        r.port.queued.clear();
    });
    resp = 2;
    EXPECT_TRUE(r.link.Send_Packet(kOut, resp, wait));
    EXPECT_TRUE(r.host.of("cError").empty());
    ASSERT_EQ(r.port.written.size(), 1u);
    EXPECT_EQ(r.port.written[0], kOutWire);
}

TEST(Waits, WriteOnlyIsSuccess)
{
    Rig r;
    std::uint8_t resp = 2;
    std::int32_t wait = 0;
    EXPECT_TRUE(r.link.Send_Packet(kOut, resp, wait));
    r.link.Send(kOut, 2, 0);
    r.pump.advance(10000 * ms);
    EXPECT_TRUE(r.host.of("cError").empty());
    EXPECT_EQ(r.port.written.size(), 2u);
    EXPECT_EQ(r.port.threshold, 1);
}

// A packet the receiver must acknowledge (an upload's count): after a
// silent wait it goes once more, and a second silence is reported.
TEST(Waits, AnAcknowledgedSendIsTriedTwiceThenReported)
{
    Rig r;
    r.link.DebugLog = true;
    EXPECT_FALSE(r.link.Send_Acknowledged(kOut, 2));
    EXPECT_EQ(r.port.written, (std::vector<Packet>{kOutWire, kOutWire}));
    EXPECT_EQ(r.pump.fake_clock().now_us(), 4000 * ms);
    auto errors = r.host.of("cError");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].code, 0);
    EXPECT_EQ(errors[0].text, "No response from device");
    EXPECT_EQ(errors[0].packet, kOutWire);
    int retries = 0;
    for (const Event& e : r.host.of("HexDebug")) retries += e.text == "Re-try after 2000 ms";
    EXPECT_EQ(retries, 1);
    r.pump.advance(20000 * ms); // nothing more follows
    EXPECT_EQ(r.port.written.size(), 2u);
    EXPECT_EQ(r.host.of("cError").size(), 1u);

    // The re-sent packet acknowledged: success, nothing reported.
    Rig a;
    a.port.on_write = [&](const Packet&) {
        if (a.port.written.size() == 2) a.port.push(ack_wire(0x23));
    };
    EXPECT_TRUE(a.link.Send_Acknowledged(kOut, 2));
    EXPECT_EQ(a.port.written.size(), 2u);
    EXPECT_TRUE(a.host.of("cError").empty());

    // A host doing its own flow control keeps its own rules: one try, no report.
    Rig u;
    u.link.UserFlowControl = true;
    EXPECT_FALSE(u.link.Send_Acknowledged(kOut, 2));
    EXPECT_EQ(u.port.written.size(), 1u);
    EXPECT_TRUE(u.host.of("cError").empty());
}

TEST(Waits, ShortPacketsAreRefused)
{
    Rig r;
    std::uint8_t resp = 0;
    std::int32_t wait = 0;
    EXPECT_FALSE(r.link.Send_Packet(pkt({0x10, 0x23, 0x02}), resp, wait));
    EXPECT_TRUE(r.port.written.empty());
    // A size byte beyond the array does not matter: the array's length rules.
    EXPECT_TRUE(r.link.Send_Packet(pkt({0x10, 0x23, 0xFF, 0x41, 0x00, 0x10, 0x03}), resp, wait));
    ASSERT_EQ(r.port.written.size(), 1u);
    // 0x23 + 0xFF + 0x41 = 0x163: checksum 0x9D.
    EXPECT_EQ(r.port.written[0], pkt({0x10, 0x23, 0xFF, 0x41, 0x9D, 0x10, 0x03}));
}

// The host answers each acknowledgement by sending the next record; the
// stack must not grow with the number of records.
TEST(Uploads, AcknowledgementDrivenUploadKeepsConstantDepth)
{
    for (int response : {6, 2}) {
        Rig r;
        const int n = 3000;
        int sent = 1, depth = 0, max_depth = 0;
        r.port.on_write = [&](const Packet& w) {
            if (w[1] == 0x06) return;
            int id = w[1];
            r.pump.at(r.pump.fake_clock().now_us() + 1 * ms, [&r, id] { r.port.push(ack_wire(id)); });
        };
        r.host.on_receive = [&](const Packet& p) {
            ++depth;
            max_depth = std::max(max_depth, depth);
            if (p[1] == 0x06 && sent < n) {
                ++sent;
                r.link.Send(kOut, static_cast<std::uint8_t>(response), 2);
            }
            --depth;
        };
        r.link.Send(kOut, static_cast<std::uint8_t>(response), 2);
        r.pump.advance(10 * n * ms);
        EXPECT_EQ(sent, n) << response;
        EXPECT_EQ(max_depth, 1) << response;
        EXPECT_EQ(r.port.written.size(), static_cast<std::size_t>(n)) << response;
        EXPECT_TRUE(r.host.of("cError").empty()) << response;
    }
}

TEST(Nmea, ChecksumFlagsAndTextMode)
{
    Rig r;
    r.link.Serial_Input("junk\r\n$GPGLL,4916.45,N,12311.12,W,225444,A*31\r\n$GPGLL,4916.45,N,12311.12,W,225444,A*32\r\n");
    r.link.Serial_Input("$GPRMC,1,A\r");
    r.link.Serial_Input("\n");
    auto lines = r.host.of("NMEA");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].text, "$GPGLL,4916.45,N,12311.12,W,225444,A*31");
    EXPECT_EQ(lines[0].code, 1);
    EXPECT_EQ(lines[1].code, 0);
    EXPECT_EQ(lines[2].text, "$GPRMC,1,A");
    EXPECT_EQ(lines[2].code, 0);
    EXPECT_TRUE(r.link.Text_Mode());
    EXPECT_EQ(r.props.Settings, "9600,N,8,1");
    // The stream stopping is reported after two time-outs.
    r.pump.advance(4000 * ms);
    ASSERT_EQ(r.host.of("cError").size(), 1u);
    EXPECT_EQ(r.host.of("cError")[0].text, "No longer receiving NMEA/TEXT data");
    // A DLE brings the binary rules back.
    r.link.Serial_Input(kWireA);
    EXPECT_FALSE(r.link.Text_Mode());
    EXPECT_EQ(r.host.dispatched.size(), 1u);
}

TEST(Nmea, FiftyFirstMismatchIsReported)
{
    Rig r;
    for (int i = 0; i < 50; ++i) r.link.Serial_Input("$GPRMC,1,A*3C\r\n");
    EXPECT_TRUE(r.host.of("cError").empty());
    r.link.Serial_Input("$GPRMC,1,A*3C\r\n");
    auto errors = r.host.of("cError");
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0].code, 0);
    EXPECT_EQ(errors[0].text,
              "There have been more than 50 check sum errors\r\nVerify that your receiver is putting out check sums");
    EXPECT_TRUE(errors[0].packet.empty());

    Rig ig;
    ig.props.IgnoreCheckSum = true;
    for (int i = 0; i < 60; ++i) ig.link.Serial_Input("$GPRMC,1,A*3B\r\n");
    EXPECT_TRUE(ig.host.of("cError").empty());
    EXPECT_EQ(ig.host.of("NMEA")[0].code, 0);
}

TEST(Nmea, OverlongLineIsDropped)
{
    Rig r;
    r.link.Serial_Input("$" + std::string(90, 'A'));
    EXPECT_TRUE(r.link.Text_Buffer().empty());
    r.link.Serial_Input("\r\n$GPRMC,1,A*3B\r\n");
    ASSERT_EQ(r.host.of("NMEA").size(), 1u);
    EXPECT_EQ(r.host.of("NMEA")[0].code, 1);
}

// A replayed NMEA log: "$GPRMC" lines with their checksums.
std::vector<std::string> rmc_log(int n)
{
    std::vector<std::string> lines;
    for (int i = 0; i < n; ++i) {
        const std::string body = "$GPRMC," + std::to_string(100000 + i) +
                                 ".000,A,4530.1200,N,09330.1234,W,000.5,054.7,040706,024.1,E";
        lines.push_back(body + "*" + Link::NMEA_Checksum(body));
    }
    return lines;
}

// Feeds `stream` in reads of 1 to 63 bytes (or whole), then the sentences
// that reached the host.
std::vector<std::string> replay(const std::string& stream, bool whole)
{
    Rig r;
    if (whole) {
        r.link.Serial_Input(stream);
    } else {
        for (std::size_t off = 0, k = 0; off < stream.size(); off += 1 + k % 63, ++k)
            r.link.Serial_Input(std::string_view(stream).substr(off, 1 + k % 63));
    }
    std::vector<std::string> got;
    for (const auto& e : r.host.of("NMEA")) got.push_back(e.text);
    EXPECT_TRUE(r.link.Text_Mode());
    EXPECT_TRUE(r.port.written.empty()) << "nothing is NAKed into a text stream";
    return got;
}

TEST(Nmea, StrayDleCostsAtMostTheSentenceHoldingIt)
{
    const std::vector<std::string> lines = rmc_log(4000);
    for (bool whole : {false, true}) {
        // Between two sentences (nothing lost), and inside one (that one lost).
        std::string between, inside;
        for (int i = 0; i < 4000; ++i) {
            const std::string& l = lines[std::size_t(i)];
            between += l + "\r\n";
            if (i == 2499) between += '\x10';
            inside += i == 2500 ? l.substr(0, 20) + '\x10' + l.substr(20) + "\r\n" : l + "\r\n";
        }
        EXPECT_EQ(replay(between, whole), lines) << whole;
        std::vector<std::string> expected = lines;
        expected.erase(expected.begin() + 2500);
        EXPECT_EQ(replay(inside, whole), expected) << whole;
    }
}

TEST(Nmea, RepeatedJunkNeverSilencesTheStream)
{
    const std::vector<std::string> lines = rmc_log(600);
    // Noise of every kind every few sentences: lone DLEs, DLE ETX, doubled
    // DLEs, a DLE with what looks like a size byte, binary bytes.
    const std::vector<std::string> junk = {bytes({0x10}), bytes({0x10, 0x03}), bytes({0x10, 0x10, 0x10}),
                                           bytes({0x10, 0x22, 0x01}), bytes({0xFF, 0x10, 0x7B, 0x00, 0x10, 0x03})};
    std::string stream;
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string& j = junk[i % junk.size()];
        if (i % 3 == 1) {
            stream += lines[i].substr(0, 30) + j + lines[i].substr(30) + "\r\n";  // this one is lost
        } else {
            stream += lines[i] + "\r\n" + (i % 3 == 0 ? j : "");
            expected.push_back(lines[i]);
        }
    }
    for (bool whole : {false, true}) {
        const std::vector<std::string> got = replay(stream, whole);
        // Every sentence without junk in it arrives; nothing else does.
        EXPECT_EQ(got, expected) << whole;
    }
}

TEST(Nmea, TextAheadOfADleIsDeliveredAtOnceAndFramesStillFollow)
{
    Rig r;
    r.link.Serial_Input("$GPRMC,1,A*3B\r\n" + bytes({0x10}));
    ASSERT_EQ(r.host.of("NMEA").size(), 1u);
    EXPECT_TRUE(r.link.Text_Mode());
    // A well-formed frame after the text is a frame: the binary rules return.
    r.link.Serial_Input(kWireA.substr(1));
    EXPECT_FALSE(r.link.Text_Mode());
    ASSERT_EQ(r.host.dispatched.size(), 1u);
    EXPECT_EQ(r.host.dispatched[0], kHostA);
}

TEST(Nmea, LongLineIsLostWhateverTheReads)
{
    const std::string longline = "$GP" + std::string(87, 'A');  // 90 bytes
    const std::string stream = "$GPRMC,1,A*3B\r\n" + longline + "\r\n$GPRMC,2,A*38\r\n";
    std::vector<std::vector<std::string>> results;
    for (std::size_t split : {std::size_t(0), std::size_t(40), std::size_t(15 + 84), std::size_t(15 + 90),
                              std::size_t(15 + 91)}) {
        Rig r;
        if (split == 0) {
            r.link.Serial_Input(stream);
        } else {
            r.link.Serial_Input(stream.substr(0, split));
            r.link.Serial_Input(stream.substr(split));
        }
        std::vector<std::string> got;
        for (const auto& e : r.host.of("NMEA")) got.push_back(e.text);
        EXPECT_EQ(got, (std::vector<std::string>{"$GPRMC,1,A*3B", "$GPRMC,2,A*38"})) << split;
        EXPECT_TRUE(r.link.Text_Buffer().empty()) << split;
    }
    // 82 bytes is the longest line taken, also with its CR and LF apart.
    Rig r;
    const std::string longest = "$GP" + std::string(79, 'B');
    r.link.Serial_Input(longest + "\r");
    r.link.Serial_Input("\n");
    ASSERT_EQ(r.host.of("NMEA").size(), 1u);
    EXPECT_EQ(r.host.of("NMEA")[0].text, longest);
}

TEST(LinkProperties, TimeOutRange)
{
    Rig r;
    r.link.set_Time_Out(6000);
    EXPECT_EQ(r.link.Time_Out(), 2000);
    auto msgs = r.host.of("message");
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].text, "Time out must be from 2000 to 5000 ms. Set to 2000 ms");
    r.link.set_Time_Out(5000);
    EXPECT_EQ(r.link.Time_Out(), 5000);
    EXPECT_EQ(r.host.of("message").size(), 1u);
}

TEST(DebugLines, SentAndReceivedDumps)
{
    Rig r;
    r.link.DebugLog = true;
    r.link.Send(kOut);
    r.link.Serial_Input(kAckWire23);
    auto dbg = r.host.of("HexDebug");
    ASSERT_EQ(dbg.size(), 2u);
    EXPECT_EQ(dbg[0].text, "PC -\u00BB GPS 10 23 02 41 42 58 10 03 ");
    EXPECT_EQ(dbg[1].text, "PC \u00AB- GPS (    0.0 ms) 10 06 02 23 00 D5 10 03 ");
}
