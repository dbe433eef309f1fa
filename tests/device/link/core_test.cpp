// The sans-I/O core on its own: bytes in, actions out, in order.
#include "device/link/detail/link_core.h"

#include <gtest/gtest.h>

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
