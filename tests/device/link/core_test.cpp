// The sans-I/O core on its own: bytes in, actions out, in order.
#include "device/link/detail/link_core.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace brenvik;
using namespace brenvik::detail;

namespace {

struct Recorder : CoreOutput {
    std::vector<std::string> log;
    void write(const Packet& f) override { log.push_back("write " + Bytes_To_Hex(f)); }
    void timer(TimerCmd c) override
    {
        log.push_back(c == TimerCmd::Rearm ? "rearm" : c == TimerCmd::Stop ? "stop" : "enable");
    }
    void dispatch(const Packet& p) override { log.push_back("dispatch " + Hex_Byte(p[1])); }
    void arriving() override {}
    void receiving(const Packet& p, bool r) override { receive = r; }
    bool accepted(const Packet& p) override
    {
        log.push_back("accepted " + Hex_Byte(p[1]) + (receive ? " receive" : ""));
        return false;
    }
    bool receive = false;
    void cError(std::int16_t c, const std::string& m, const Packet&) override
    {
        log.push_back("cError " + std::to_string(c) + " " + m);
    }
    void hex_debug(const std::string& l) override { log.push_back("debug " + l); }
    void nmea(const std::string& s, bool chk) override { log.push_back("nmea " + s + (chk ? " ok" : "")); }
};

struct CoreRig {
    ProtocolProperties props;
    cSAK sak;
    bool ufc = false, debug = false, counting = false;
    Recorder out;
    LinkCore core{props, sak, CoreFlags{ufc, debug, counting}, out};
};

std::string s(std::initializer_list<int> v)
{
    std::string r;
    for (int b : v) r.push_back(static_cast<char>(b));
    return r;
}

using Log = std::vector<std::string>;

} // namespace

TEST(LinkCore, RecordIsAcknowledgedThenDispatchedThenAccepted)
{
    CoreRig r;
    // Waypoint record (ID 35 = 0x23), size 1, data 41: checksum 0x9B.
    r.core.feed(s({0x10, 0x23, 0x01, 0x41, 0x9B, 0x10, 0x03}), 0);
    EXPECT_EQ(r.out.log, (Log{"rearm", "write 10 06 02 23 00 D5 10 03 ", "dispatch 23", "accepted 23 receive"}));

    // Counting records: the records packet (27 = 0x1B) gets no ACK and raises no Receive.
    CoreRig c;
    c.counting = true;
    c.core.feed(s({0x10, 0x1B, 0x02, 0x05, 0x00, 0xDE, 0x10, 0x03}), 0);
    EXPECT_EQ(c.out.log, (Log{"rearm", "dispatch 1B", "accepted 1B"}));
}

TEST(LinkCore, TimerRulesOfSending)
{
    CoreRig r;
    // A command (ID 10) with the power-off byte 8: re-armed, then stopped.
    auto o = r.core.begin_send({0x10, 0x0A, 0x02, 0x08, 0x00, 0x00, 0x10, 0x03}, 0, 0, 0);
    EXPECT_EQ(o.packet[5], 0xEC);
    EXPECT_EQ(r.out.log, (Log{"rearm", "stop"}));
    r.out.log.clear();
    // An ACK leaves the timer alone.
    r.core.begin_send({0x10, 0x06, 0x02, 0x23, 0x00, 0x00, 0x10, 0x03}, 0, 0, 0);
    EXPECT_TRUE(r.out.log.empty());
    // Transfer complete (ID 12): stopped.
    r.core.begin_send({0x10, 0x0C, 0x02, 0x07, 0x00, 0x00, 0x10, 0x03}, 0, 0, 0);
    EXPECT_EQ(r.out.log, (Log{"rearm", "stop"}));
    // After the L002 switch the command ID is 11 and power-off is 26.
    r.out.log.clear();
    r.props.apply_L002_ids();
    r.core.begin_send({0x10, 0x0B, 0x02, 0x1A, 0x00, 0x00, 0x10, 0x03}, 0, 0, 0);
    EXPECT_EQ(r.out.log, (Log{"rearm", "stop"}));
}

TEST(LinkCore, AcknowledgedCommandKeepsTheTimer)
{
    CoreRig r;
    // ACK of a command (data byte 0 = 10): the timer keeps running.
    r.core.feed(s({0x10, 0x06, 0x02, 0x0A, 0x00, 0xEE, 0x10, 0x03}), 0);
    EXPECT_EQ(r.out.log, (Log{"accepted 06 receive"}));
}

TEST(LinkCore, TicksResendOnceThenReport)
{
    CoreRig r;
    r.core.begin_send({0x10, 0x23, 0x02, 0x41, 0x42, 0x00, 0x10, 0x03}, 0, 0, 0);
    EXPECT_EQ(r.core.tick(2000, 0), LinkCore::Tick::Resend);
    EXPECT_EQ(r.core.tick(2000, 0), LinkCore::Tick::Nothing);
    EXPECT_EQ(r.out.log.back(), "cError 0 No response from device");
    EXPECT_EQ(r.core.Retry_Count, 0);
}

// A record frame: ID, the given data bytes, checksum, DLE ETX, stuffed.
std::string record(std::uint8_t id, std::vector<std::uint8_t> data)
{
    Packet p{0x10, id, static_cast<std::uint8_t>(data.size())};
    p.insert(p.end(), data.begin(), data.end());
    p.insert(p.end(), {0, 0x10, 0x03});
    p[p.size() - 3] = LinkCore::checksum(p);
    const Packet w = LinkCore::stuff(p);
    return std::string(w.begin(), w.end());
}

std::size_t count_of(const Log& log, const std::string& line)
{
    return static_cast<std::size_t>(std::count(log.begin(), log.end(), line));
}

TEST(LinkCore, ResentRecordIsAcknowledgedAndDropped)
{
    CoreRig r;
    const std::string wpt = record(0x23, {0x41, 0x42});
    r.core.feed(wpt, 0);
    r.core.feed(wpt, 0);  // the receiver missed the ACK and sends it again
    EXPECT_EQ(count_of(r.out.log, "dispatch 23"), 1u);
    EXPECT_EQ(count_of(r.out.log, "accepted 23 receive"), 1u);
    EXPECT_EQ(count_of(r.out.log, "write 10 06 02 23 00 D5 10 03 "), 2u);
    EXPECT_EQ(r.out.log.back(),
              "debug PC * GPS Repeated packet acknowledged and dropped: 10 23 02 41 42 58 10 03 ");
    // Another record, then the first again: not a re-send.
    r.core.feed(record(0x23, {0x41, 0x43}), 0);
    r.core.feed(wpt, 0);
    EXPECT_EQ(count_of(r.out.log, "dispatch 23"), 3u);
    // A repeated end of the transfer would end it twice for the host.
    r.core.feed(record(0x0C, {0x07, 0x00}), 0);
    r.core.feed(record(0x0C, {0x07, 0x00}), 0);
    EXPECT_EQ(count_of(r.out.log, "dispatch 0C"), 1u);

    // Route points may repeat (a route passing one waypoint twice), and so
    // do track points of a new download after the host asked again.
    CoreRig q;
    const std::string rpt = record(0x1E, {0x41});
    q.core.feed(rpt, 0);
    q.core.feed(rpt, 0);
    EXPECT_EQ(count_of(q.out.log, "dispatch 1E"), 2u);
    const std::string trk = record(0x22, {0x01});
    q.core.feed(trk, 0);
    q.core.begin_send({0x10, 0x0A, 0x02, 0x06, 0x00, 0x00, 0x10, 0x03}, 0, 0, 0);
    q.core.feed(trk, 0);
    EXPECT_EQ(count_of(q.out.log, "dispatch 22"), 2u);
}

TEST(LinkCore, EndlessTransferIsRefused)
{
    CoreRig r;
    // Records packet (0x1B) announcing 2; its decoder sets the count.
    r.core.feed(record(0x1B, {0x02, 0x00}), 0);
    r.props.Incoming_Records_Count = 2;
    const std::int32_t allowed = 2 + LinkCore::kRecordsBeyondCount;
    for (std::int32_t i = 0; i < allowed; ++i)
        r.core.feed(record(0x23, {std::uint8_t(i), std::uint8_t(i >> 8), std::uint8_t(i >> 16)}), 0);
    EXPECT_EQ(count_of(r.out.log, "dispatch 23"), std::size_t(allowed));
    r.out.log.clear();
    r.core.feed(record(0x23, {0xFF, 0xFF, 0xFF}), 0);
    // The unit is told to stop (abort command 10/00) and the host gets the error.
    EXPECT_EQ(r.out.log, (Log{"rearm", "stop", "write 10 0A 02 00 00 F4 10 03 ",
                              "cError 0 Too many records received from device"}));
    // Whatever more it sends of that transfer is dropped unseen.
    r.out.log.clear();
    r.core.feed(record(0x23, {0xFE, 0xFF, 0xFF}), 0);
    r.core.feed(record(0x0C, {0x07, 0x00}), 0);
    EXPECT_TRUE(r.out.log.empty());
    // The host's next command starts afresh.
    r.core.begin_send({0x10, 0x0A, 0x02, 0x07, 0x00, 0x00, 0x10, 0x03}, 0x1B, 0, 0);
    r.out.log.clear();
    r.core.feed(record(0x1B, {0x01, 0x00}), 0);
    EXPECT_EQ(count_of(r.out.log, "dispatch 1B"), 1u);
}

TEST(Deframer, OverlongFrameIsCutAndTheNextOneRead)
{
    Deframer df;
    Frame f;
    df.append(s({0x10, 0x22, 0x05}) + std::string(Deframer::kMaxFrame + 10, 'x'));
    ASSERT_TRUE(df.next(f));
    EXPECT_EQ(f.status, FrameStatus::Broken);
    // ID 0x22, size 1, data 41: checksum 0x9C.
    df.append(s({0x10, 0x22, 0x01, 0x41, 0x9C, 0x10, 0x03}));
    ASSERT_TRUE(df.next(f));
    EXPECT_EQ(f.status, FrameStatus::Ok);
    EXPECT_EQ(f.packet, (Packet{0x10, 0x22, 0x01, 0x41, 0x9C, 0x10, 0x03}));
    EXPECT_FALSE(df.next(f));
    EXPECT_TRUE(df.pending().empty());
}
