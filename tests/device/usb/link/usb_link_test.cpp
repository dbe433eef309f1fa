#include "device/link/link.h"
#include "device/link/properties.h"
#include "device/link/translate.h"
#include "device/link/usb_link.h"
#include "platform/events/fake_events.h"
#include "platform/usb/fake_usb.h"

#include <gtest/gtest.h>

using namespace brenvik;
using platform::FakeUsbPacket;
using platform::FakeUsbRule;
using Bytes = std::vector<std::uint8_t>;

namespace {

struct FakeHost : LinkHost {
    std::vector<Packet> dispatched, received;
    std::vector<std::pair<std::int16_t, std::string>> cerrors;
    std::vector<std::pair<std::int32_t, std::string>> uerrors;
    std::vector<std::string> debug;
    std::vector<std::int32_t> progress;
    void Dispatch_Packet(const Packet& p) override { dispatched.push_back(p); }
    void raise_Receive(const Packet& p) override { received.push_back(p); }
    void raise_cError(std::int16_t c, const std::string& m, const Packet&) override { cerrors.emplace_back(c, m); }
    void raise_uError(std::int32_t n, const std::string& m) override { uerrors.emplace_back(n, m); }
    void raise_HexDebug(const std::string& t) override { debug.push_back(t); }
    void raise_NMEA(const std::string&, bool) override {}
    void raise_USBprogress(std::int32_t n) override { progress.push_back(n); }
    void show_message(const std::string&) override {}
};

FakeUsbPacket pkt(std::uint16_t id, Bytes data, std::uint32_t repeat = 1)
{
    FakeUsbPacket p;
    p.id = id;
    p.data = std::move(data);
    p.repeat = repeat;
    return p;
}

struct UsbUnderLink : ::testing::Test {
    platform::FakeEventPump pump;
    ProtocolProperties props;
    cSAK sak;
    FakeHost host;
    Link link{pump, props, sak, host};
    std::shared_ptr<platform::FakeUsbScript> script =
        std::make_shared<platform::FakeUsbScript>(platform::FakeUsbScenario{});
    cUSB_Link usb{pump, link};

    void SetUp() override
    {
        props.Port = 0;
        usb.usb.set_opener([this] {
            platform::UsbOpenResult r;
            r.device = std::make_unique<platform::FakeUsbDevice>(script, pump);
            return r;
        });
        ASSERT_TRUE(usb.usb.Open());
    }
    void transfer_rule(std::vector<FakeUsbPacket> bulk)
    {
        FakeUsbRule r;
        r.id = 10;   // PID_Command_Data
        r.command = 7;   // CMND_Transfer_Wpt
        r.bulk = std::move(bulk);
        script->scenario.rules.push_back(r);
    }
};

// The transfer command as a sender fills it: ID, size, data; the link
// writes DLE, checksum and DLE ETX.
const Packet transfer_wpt = {0, 10, 2, 7, 0, 0, 0, 0};

} // namespace

TEST_F(UsbUnderLink, DownloadDrivenBySend)
{
    transfer_rule({pkt(27, {2, 0}), pkt(35, Bytes(20, 0x30), 2), pkt(12, {7, 0})});
    link.Send(transfer_wpt, 27, 0);
    // Type 20, ID 10, size 2, data 7 0 (by hand).
    ASSERT_GE(script->writes.size(), 1u);
    EXPECT_EQ(script->writes[0], (Bytes{20, 0, 0, 0, 10, 0, 0, 0, 2, 0, 0, 0, 7, 0}));
    ASSERT_EQ(host.dispatched.size(), 4u);
    EXPECT_EQ(host.dispatched[0][1], 27);
    EXPECT_EQ(host.dispatched[1][1], 35);
    EXPECT_EQ(host.dispatched[3][1], 12);
    EXPECT_EQ(host.received.size(), 4u);
    EXPECT_TRUE(host.cerrors.empty());
}

TEST_F(UsbUnderLink, DeviceThatDoesNotStopSendingIsRefused)
{
    // Two announced, far more sent: the records beyond the count plus
    // 32,767 are not decoded, and the host hears why once.
    transfer_rule({pkt(27, {2, 0}), pkt(35, Bytes(20, 0x30), 2 + 32767 + 50), pkt(12, {7, 0})});
    props.Incoming_Records_Count = 2;  // what the records packet's decoder sets
    link.Send(transfer_wpt, 27, 0);
    EXPECT_EQ(host.dispatched.size(), 1u + 2 + 32767);
    EXPECT_EQ(host.dispatched.back()[1], 35);
    ASSERT_EQ(host.cerrors.size(), 1u);
    EXPECT_EQ(host.cerrors[0], std::make_pair(std::int16_t{0}, std::string("Too many records received from device")));
}

TEST_F(UsbUnderLink, SilentDeviceIsNoResponseFromDevice)
{
    transfer_rule({pkt(27, {2, 0}), pkt(35, Bytes(20, 0x30))});
    link.Send(transfer_wpt, 27, 0);
    EXPECT_EQ(host.dispatched.size(), 2u);
    ASSERT_EQ(host.cerrors.size(), 1u);
    EXPECT_EQ(host.cerrors[0], std::make_pair(std::int16_t{0}, std::string("No response from device")));
}

TEST_F(UsbUnderLink, ErrorsAndDebugReachTheHost)
{
    usb.usb.set_opener([] {
        platform::UsbOpenResult r;
        r.failure = platform::UsbOpenFailure::not_found;
        r.code = -5;
        return r;
    });
    EXPECT_FALSE(usb.usb.Open());
    ASSERT_EQ(host.uerrors.size(), 1u);
    EXPECT_EQ(host.uerrors[0].second, "USBOpen: Garmin USB GPS device not found or device not turned on.");
}

TEST_F(UsbUnderLink, SessionRepliesAreLoggedButNeverReceived)
{
    link.DebugLog = true;
    ASSERT_TRUE(usb.usb.Start_Session());
    // Session started (type 0, ID 6) and the reply to ID 16 (ID 17): neither
    // is a Receive nor dispatched, so a session start never looks like an ACK.
    EXPECT_TRUE(host.received.empty());
    EXPECT_TRUE(host.dispatched.empty());
    // Both directions show in the debug log: two writes, then the replies
    // 00 .. 06 .. and 00 .. 11 ...
    int in = 0;
    for (const auto& line : host.debug)
        if (line.rfind("PC \u00AB- GPS 00 00 00 00 ", 0) == 0) ++in;
    EXPECT_EQ(in, 2);
    EXPECT_EQ(host.debug.size(), 4u);
}
