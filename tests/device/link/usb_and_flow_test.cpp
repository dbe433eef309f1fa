// The USB path of Send_Packet and the USB receive entry, and the host's own
// flow control.
#include "fakes.h"

#include <gtest/gtest.h>

using namespace linktest;

namespace {

constexpr std::int64_t ms = 1000;

struct FakeUsb : brenvik::UsbPath {
    std::vector<std::pair<Packet, int>> writes;
    std::vector<int> reads;     // Want of each Read_Interrupt
    std::vector<bool> answers;  // results, in order; false when used up
    int drains = 0;
    std::vector<std::string> log;
    void Write_Packet(const Packet& p, std::uint8_t mode) override
    {
        writes.emplace_back(p, mode);
        log.push_back("write");
    }
    bool Read_Interrupt(std::uint8_t want) override
    {
        reads.push_back(want);
        log.push_back("read");
        if (reads.size() > answers.size()) return false;
        return answers[reads.size() - 1];
    }
    std::int32_t Drain_Input() override
    {
        ++drains;
        log.push_back("drain");
        return 0;
    }
};

// ID 0x0A (command), data 07 00: checksum 0xED.
const Packet kCommand = pkt({0x10, 0x0A, 0x02, 0x07, 0x00, 0x00, 0x10, 0x03});
const Packet kCommandOut = pkt({0x10, 0x0A, 0x02, 0x07, 0x00, 0xED, 0x10, 0x03});

} // namespace

TEST(UsbPath, ThreeAttemptsThenGiveUp)
{
    Rig r;
    FakeUsb usb;
    r.props.Port = 0;
    r.link.set_usb(&usb);
    std::uint8_t resp = 0x23;
    std::int32_t wait = 0;
    EXPECT_FALSE(r.link.Send_Packet(kCommand, resp, wait));
    EXPECT_EQ(usb.log, (std::vector<std::string>{"write", "read", "drain", "write", "read", "drain", "write", "read"}));
    for (auto& [p, mode] : usb.writes) {
        EXPECT_EQ(p, kCommandOut);
        EXPECT_EQ(mode, 0x23);
    }
    auto dbg = r.host.of("HexDebug");
    ASSERT_EQ(dbg.size(), 1u);
    EXPECT_EQ(dbg[0].text, "PC ** GPS No Response to Command 0A/07, expecting PID-&H23");
    EXPECT_TRUE(r.port.written.empty());

    FakeUsb ok;
    ok.answers = {false, true};
    r.link.set_usb(&ok);
    EXPECT_TRUE(r.link.Send_Packet(kCommand, resp, wait));
    EXPECT_EQ(ok.writes.size(), 2u);
    EXPECT_EQ(ok.drains, 1);
}

TEST(UsbPath, WriteOnlyAndNoReply)
{
    Rig r;
    FakeUsb usb;
    r.props.Port = 0;
    r.link.set_usb(&usb);
    std::uint8_t resp = 2;
    std::int32_t wait = 0;
    EXPECT_TRUE(r.link.Send_Packet(kCommand, resp, wait));
    EXPECT_TRUE(usb.reads.empty());
    resp = 0;
    EXPECT_TRUE(r.link.Send_Packet(kCommand, resp, wait));
    ASSERT_EQ(usb.reads.size(), 1u);
    EXPECT_EQ(usb.reads[0], 0);
    EXPECT_EQ(usb.writes.back().second, 0);
    // The reply timer is stopped on USB: no re-send follows.
    r.pump.advance(10000 * ms);
    EXPECT_EQ(usb.writes.size(), 2u);
    EXPECT_TRUE(r.host.of("cError").empty());
}

TEST(UsbPath, ReceivedPacketsAreDispatchedBeforeReceive)
{
    Rig r;
    r.props.Port = 0;
    std::vector<std::string> order;
    r.host.on_dispatch = [&](const Packet&) { order.push_back("dispatch"); };
    r.host.on_receive = [&](const Packet&) { order.push_back("receive"); };
    const Packet host = pkt({0x10, 0x23, 0x01, 0x41, 0x00, 0x10, 0x03});
    // USB packet: type 20, ID 0x23, size 1, data 41.
    const Packet usb = pkt({20, 0, 0, 0, 0x23, 0, 0, 0, 1, 0, 0, 0, 0x41});
    r.link.USB_Received(host, usb);
    EXPECT_EQ(order, (std::vector<std::string>{"dispatch", "receive"}));
    // While counting records only the records packet (27) comes through.
    r.link.Counting_Records = true;
    r.link.USB_Received(host, usb);
    EXPECT_EQ(r.host.dispatched.size(), 1u);
    r.link.USB_Received(pkt({0x10, 27, 2, 5, 0, 0, 0x10, 0x03}), pkt({20, 0, 0, 0, 27, 0, 0, 0, 2, 0, 0, 0, 5, 0}));
    EXPECT_EQ(r.host.dispatched.size(), 2u);
    // Protocol-layer packets are not dispatched.
    r.link.USB_Received(pkt({0x10, 6, 0, 0x10, 0x03}), pkt({0, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(r.host.dispatched.size(), 2u);
    r.link.USB_Error(5, "Unable to Open Device");
    EXPECT_EQ(r.host.of("uError").size(), 1u);
}

TEST(SerialDispatch, DispatchComesBeforeReceive)
{
    Rig r;
    std::vector<std::string> order;
    r.host.on_dispatch = [&](const Packet&) { order.push_back("dispatch"); };
    r.host.on_receive = [&](const Packet&) { order.push_back("receive"); };
    r.link.Serial_Input(bytes({0x10, 0x22, 0x03, 0x10, 0x10, 0x10, 0x10, 0x03, 0xB8, 0x10, 0x03}));
    EXPECT_EQ(order, (std::vector<std::string>{"dispatch", "receive"}));
}

TEST(UserFlowControl, TheHostAcknowledges)
{
    Rig r;
    r.link.UserFlowControl = true;
    // No ACK for a record, no NAK for a bad one.
    r.link.Serial_Input(bytes({0x10, 0x22, 0x03, 0x10, 0x10, 0x10, 0x10, 0x03, 0xB8, 0x10, 0x03}));
    r.link.Serial_Input(bytes({0x10, 0x22, 0x03, 0x10, 0x10, 0x10, 0x10, 0x03, 0xB9, 0x10, 0x03}));
    EXPECT_TRUE(r.port.written.empty());
    EXPECT_EQ(r.host.dispatched.size(), 1u);
    // A NAK causes no re-send, and no timer runs.
    r.link.Send(pkt({0x10, 0x23, 0x02, 0x41, 0x42, 0x00, 0x10, 0x03}));
    r.link.Serial_Input(bytes({0x10, 0x15, 0x02, 0x23, 0x00, 0xC6, 0x10, 0x03}));
    r.pump.advance(10000 * ms);
    EXPECT_EQ(r.port.written.size(), 1u);
    EXPECT_TRUE(r.host.of("cError").empty());
}

TEST(Retries, DebugNotesOnResend)
{
    Rig r;
    r.link.DebugLog = true;
    r.link.Send(pkt({0x10, 0x23, 0x02, 0x41, 0x42, 0x00, 0x10, 0x03}));
    r.link.Serial_Input(bytes({0x10, 0x15, 0x02, 0x23, 0x00, 0xC6, 0x10, 0x03}));
    r.pump.advance(2000 * ms);
    std::vector<std::string> notes;
    for (const Event& e : r.host.of("HexDebug"))
        if (e.text.rfind("PC", 0) != 0) notes.push_back(e.text);
    EXPECT_EQ(notes, (std::vector<std::string>{"Re-try after NAK", "Re-try after 2000 ms"}));
}
