#include "device/link/usb_packet.h"
#include "device/link/usb_transport.h"
#include "platform/events/fake_events.h"
#include "platform/usb/fake_usb.h"

#include <gtest/gtest.h>

#include <numeric>

using namespace brenvik;
using platform::FakeUsbPacket;
using platform::FakeUsbRule;
using platform::FakeUsbScenario;
using platform::FakeUsbScript;
using Bytes = std::vector<std::uint8_t>;

namespace {

struct Recorder : cUSB_Events {
    std::vector<Packet> received;
    std::vector<Bytes> received_usb;
    std::vector<Bytes> sent;
    std::vector<std::string> debug;
    std::vector<std::pair<std::int32_t, std::string>> errors;
    std::vector<std::int32_t> progress;
    int no_response = 0;
    std::function<void(const Packet&)> on_received;

    void USBReceived(const Packet& p, const Bytes& u) override
    {
        received.push_back(p);
        received_usb.push_back(u);
        if (on_received) on_received(p);
    }
    void USBSent(const Bytes& u) override { sent.push_back(u); }
    void USBDebug(const std::string& t) override { debug.push_back(t); }
    void USBError(std::int32_t n, const std::string& m) override { errors.emplace_back(n, m); }
    void USBIncomingPackage(std::int32_t n) override { progress.push_back(n); }
    void USBNoResponse() override { ++no_response; }
};

FakeUsbPacket pkt(std::uint16_t id, Bytes data, std::uint32_t repeat = 1)
{
    FakeUsbPacket p;
    p.id = id;
    p.data = std::move(data);
    p.repeat = repeat;
    return p;
}

// Host_Packet of the transfer command (ID 10, data 7 0); checksum and DLE ETX
// slots as the link leaves them for the transport.
const Packet transfer_wpt = {0x10, 10, 2, 7, 0, 0, 0x10, 0x03};
const Packet product_rqst = {0x10, 254, 0, 0, 0x10, 0x03};

struct Transport : ::testing::Test {
    platform::FakeEventPump pump;
    Recorder rec;
    std::shared_ptr<FakeUsbScript> script = std::make_shared<FakeUsbScript>(FakeUsbScenario{});
    cUSB usb{pump, rec};

    void SetUp() override
    {
        usb.set_opener([this] {
            platform::UsbOpenResult r;
            r.device = std::make_unique<platform::FakeUsbDevice>(script, pump);
            return r;
        });
    }
    void download_rule(std::vector<FakeUsbPacket> bulk, int delay_ms = 0)
    {
        FakeUsbRule r;
        r.id = 10;
        r.command = 7;
        r.bulk = std::move(bulk);
        r.delay_ms = delay_ms;
        script->scenario.rules.push_back(r);
    }
    std::vector<std::uint16_t> received_ids() const
    {
        std::vector<std::uint16_t> ids;
        for (const auto& u : rec.received_usb) ids.push_back(static_cast<std::uint16_t>(u[4] | (u[5] << 8)));
        return ids;
    }
};

} // namespace

TEST_F(Transport, SessionThenProductRequest)
{
    FakeUsbRule product;
    product.id = 254;
    product.interrupt = {pkt(255, {0x9A, 0x01, 0x2C, 0x01, 'G', 'P', 'S', 0}), pkt(253, {'L', 1, 0, 'A', 10, 0})};
    script->scenario.rules.push_back(product);

    ASSERT_TRUE(usb.Open());
    EXPECT_NE(usb.USBHandle(), 0);
    ASSERT_TRUE(usb.Start_Session());
    usb.Write_Packet(product_rqst, 255);
    EXPECT_TRUE(usb.Read_Interrupt(255));

    // Written by hand: start session (type 0 ID 5), ID 16, then the product
    // request (type 20, ID 254, no data).
    ASSERT_EQ(script->writes.size(), 3u);
    EXPECT_EQ(script->writes[0], (Bytes{0, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(script->writes[1], (Bytes{0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(script->writes[2], (Bytes{20, 0, 0, 0, 254, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(rec.sent, script->writes);
    // The session replies go up as protocol-layer packets (type 0, IDs 6 and
    // 17) for the debug log, then the application packets 255 and 253.
    ASSERT_EQ(rec.received.size(), 4u);
    EXPECT_EQ(rec.received_usb[0], (Bytes{0, 0, 0, 0, 6, 0, 0, 0, 4, 0, 0, 0, 0x14, 0x6A, 0x0A, 0xCE}));
    EXPECT_EQ(rec.received_usb[1][0], 0);
    EXPECT_EQ(received_ids()[1], 17);
    EXPECT_EQ(rec.received[2], (Packet{0x10, 255, 8, 0x9A, 0x01, 0x2C, 0x01, 'G', 'P', 'S', 0, 0, 0x10, 0x03}));
    EXPECT_EQ(rec.received[3][1], 253);
    EXPECT_TRUE(rec.errors.empty());
}

TEST_F(Transport, SessionFailureAndDeviceReset)
{
    script->scenario.session = false;
    ASSERT_TRUE(usb.Open());
    EXPECT_FALSE(usb.Start_Session());
    EXPECT_EQ(script->writes.size(), 1u);   // no ID 16 after an unanswered start
    EXPECT_TRUE(usb.Reset_Device());
    EXPECT_EQ(script->resets, 1);
    EXPECT_EQ(script->opens, 2);
    EXPECT_EQ(rec.debug, std::vector<std::string>{":USB Device Reset"});

    script->scenario.reset_ok = false;
    EXPECT_FALSE(usb.Reset_Device());
    ASSERT_EQ(rec.errors.size(), 1u);
    EXPECT_EQ(rec.errors[0], std::make_pair(0, std::string("USBReset: USB Device failed to reset after error")));
}

TEST_F(Transport, OpenFailuresUseTheirTextsAndRetryIsBounded)
{
    int calls = 0;
    platform::UsbOpenResult result;
    usb.set_opener([&] {
        ++calls;
        platform::UsbOpenResult r;
        r.failure = result.failure;
        r.code = result.code;
        r.transient = result.transient;
        return r;
    });
    struct Case {
        platform::UsbOpenFailure f;
        const char* text;
    } cases[] = {
        {platform::UsbOpenFailure::not_found, "USBOpen: Garmin USB GPS device not found or device not turned on."},
        {platform::UsbOpenFailure::open, "Unable to Open Device"},
        {platform::UsbOpenFailure::system, "USBOpen:  SetupDiGetClassDevs Error "},
        {platform::UsbOpenFailure::no_list, "USBOpen: Garmin PNP Entry not found"},
        {platform::UsbOpenFailure::no_interface, "USBOpen: Unable to retrieve device path"},
    };
    for (const auto& c : cases) {
        rec.errors.clear();
        calls = 0;
        result.failure = c.f;
        result.code = -3;
        EXPECT_FALSE(usb.Open());
        EXPECT_EQ(calls, 1);
        ASSERT_EQ(rec.errors.size(), 1u);
        EXPECT_EQ(rec.errors[0], std::make_pair(-3, std::string(c.text)));
        EXPECT_EQ(usb.USBHandle(), 0);
    }
    // A busy system is tried again, a bounded number of times.
    calls = 0;
    result.transient = true;
    EXPECT_FALSE(usb.Open());
    EXPECT_EQ(calls, cUSB::Open_Attempts);
}

TEST_F(Transport, ExpandedPacketOnBothReadPaths)
{
    // Type 20, ID 300, 10 data bytes, written by hand.
    const Bytes usb300 = {20, 0, 0, 0, 0x2C, 0x01, 0, 0, 10, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    const Packet host300 = {0x10, 123, 16, 10, 0, 0, 0, 0x2C, 0x01, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 0, 0x10, 0x03};
    FakeUsbPacket raw;
    raw.raw = usb300;
    ASSERT_TRUE(usb.Open());

    script->queue_interrupt(raw);
    EXPECT_TRUE(usb.Read_Interrupt(123));
    script->queue_bulk(raw);
    EXPECT_TRUE(usb.Read_Bulk(123));
    ASSERT_EQ(rec.received.size(), 2u);
    EXPECT_EQ(rec.received[0], host300);
    EXPECT_EQ(rec.received[1], host300);
    EXPECT_EQ(rec.received_usb[1], usb300);

    usb.Write_Packet(host300, 2);
    ASSERT_EQ(script->writes.size(), 1u);
    EXPECT_EQ(script->writes[0], usb300);
}

TEST_F(Transport, LyingLengthsReportNothing)
{
    ASSERT_TRUE(usb.Open());
    // Interrupt: a header claiming 1046 bytes, then silence.
    FakeUsbPacket liar = pkt(35, {1, 2, 3, 4});
    liar.size_field = 1046;
    script->queue_interrupt(liar);
    EXPECT_TRUE(usb.Read_Interrupt(0));
    // Bulk: a transfer shorter than its size field, one over the limit, ID 0.
    script->queue_bulk(liar);
    FakeUsbPacket huge = pkt(35, {1});
    huge.size_field = 1047;
    script->queue_bulk(huge);
    script->queue_bulk(pkt(0, {1, 2}));
    FakeUsbPacket empty = pkt(35, {});
    script->queue_bulk(empty);
    FakeUsbPacket stub;
    stub.raw = {20, 0, 0};
    script->queue_bulk(stub);
    script->queue_bulk(pkt(36, {9}));
    EXPECT_TRUE(usb.Read_Bulk(36));
    ASSERT_EQ(rec.received.size(), 1u);
    EXPECT_EQ(rec.received[0], (Packet{0x10, 36, 1, 9, 0, 0x10, 0x03}));
}

TEST_F(Transport, WantAckOrWriteOnlyReadsNothing)
{
    ASSERT_TRUE(usb.Open());
    script->queue_interrupt(pkt(51, {1}));
    EXPECT_TRUE(usb.Read_Interrupt(6));
    EXPECT_TRUE(usb.Read_Interrupt(2));
    EXPECT_TRUE(rec.received.empty());
    EXPECT_TRUE(usb.Read_Interrupt(0));
    EXPECT_EQ(rec.received.size(), 1u);
    EXPECT_FALSE(usb.Read_Interrupt(0));   // nothing left: false
}

TEST_F(Transport, RecordsDownloadThroughBulkEndsAtTransferComplete)
{
    download_rule({pkt(27, {0xFA, 0}), pkt(35, Bytes(60, 0x41), 250), pkt(12, {7, 0})});
    ASSERT_TRUE(usb.Open());
    usb.Write_Packet(transfer_wpt, 27);
    EXPECT_TRUE(usb.Read_Interrupt(27));
    ASSERT_EQ(rec.received.size(), 252u);
    EXPECT_EQ(rec.received.front(), (Packet{0x10, 27, 2, 0xFA, 0, 0, 0x10, 0x03}));
    EXPECT_EQ(rec.received.back(), (Packet{0x10, 12, 2, 7, 0, 0, 0x10, 0x03}));
    EXPECT_EQ(rec.progress, (std::vector<std::int32_t>{100, 200}));
    EXPECT_EQ(rec.no_response, 0);
    EXPECT_FALSE(usb.reading());
}

TEST_F(Transport, RecordsDownloadWaitsThroughAPauseForTheEnd)
{
    download_rule({pkt(27, {3, 0}), pkt(35, {1})});
    ASSERT_TRUE(usb.Open());
    usb.Write_Packet(transfer_wpt, 27);
    // The rest comes 1.5 s later: past many empty reads, within Time_Out.
    std::int64_t later = pump.clock().now_us() + 1'500'000;
    script->queue_bulk(pkt(35, {2}), later);
    script->queue_bulk(pkt(12, {7, 0}), later);
    EXPECT_TRUE(usb.Read_Interrupt(27));
    EXPECT_EQ(received_ids(), (std::vector<std::uint16_t>{27, 35, 35, 12}));
    EXPECT_EQ(rec.no_response, 0);
}

TEST_F(Transport, SilentDeviceEndsTheDownloadAfterTimeOut)
{
    download_rule({pkt(27, {3, 0}), pkt(35, {1}, 3)});
    usb.Time_Out = [] { return 3000; };
    ASSERT_TRUE(usb.Open());
    usb.Write_Packet(transfer_wpt, 27);
    std::int64_t start = pump.clock().now_us();
    EXPECT_TRUE(usb.Read_Interrupt(27));
    std::int64_t took_ms = (pump.clock().now_us() - start) / 1000;
    EXPECT_EQ(rec.received.size(), 4u);
    EXPECT_EQ(rec.no_response, 1);
    EXPECT_GE(took_ms, 3000);
    EXPECT_LT(took_ms, 3000 + 2 * cUSB::Bulk_Wait_ms + cUSB::Interrupt_Wait_ms);
}

TEST_F(Transport, UnpluggedDeviceEndsTheDownloadAtOnce)
{
    download_rule({pkt(27, {3, 0}), pkt(35, {1})});
    ASSERT_TRUE(usb.Open());
    usb.Write_Packet(transfer_wpt, 27);
    rec.on_received = [&](const Packet& p) {
        if (p[1] == 35) script->unplugged = true;
    };
    std::int64_t start = pump.clock().now_us();
    usb.Read_Interrupt(27);
    EXPECT_EQ(rec.no_response, 1);
    EXPECT_LT(pump.clock().now_us() - start, 1'000'000);
}

TEST_F(Transport, TimerTickDuringAReadReturnsAtOnce)
{
    // Packets trickle in every 30 ms while the PVT polling timer ticks every
    // 10 ms; each tick finds a read running and must neither read nor drain.
    std::vector<FakeUsbPacket> bulk{pkt(27, {5, 0})};
    download_rule(bulk);
    ASSERT_TRUE(usb.Open());
    usb.Write_Packet(transfer_wpt, 27);
    std::int64_t t = pump.clock().now_us();
    for (int i = 1; i <= 5; ++i) script->queue_bulk(pkt(35, {static_cast<std::uint8_t>(i)}), t + i * 30'000);
    script->queue_bulk(pkt(12, {7, 0}), t + 180'000);

    std::int16_t port = 0;
    UsbPollTimers timers(pump, usb, [&] { return port; });
    int ticks_inside = 0;
    std::vector<bool> inner;
    rec.on_received = [&](const Packet&) {
        // A handler that polls again while the read runs.
        inner.push_back(usb.Read_Interrupt(0));
        EXPECT_EQ(usb.Drain_Input(), 0);
    };
    auto probe = pump.make_timer();
    probe->set_interval_ms(10);
    probe->on_timer([&] {
        if (usb.reading()) ++ticks_inside;
    });
    probe->set_enabled(true);
    timers.tmrPVTData->set_interval_ms(10);
    timers.tmrPVTData->set_enabled(true);

    EXPECT_TRUE(usb.Read_Interrupt(27));
    EXPECT_EQ(received_ids(), (std::vector<std::uint16_t>{27, 35, 35, 35, 35, 35, 12}));
    EXPECT_EQ(inner, std::vector<bool>(7, false));
    EXPECT_GT(ticks_inside, 5);

    // Outside a read the same tick polls the interrupt pipe.
    rec.on_received = nullptr;
    script->queue_interrupt(pkt(51, {1, 2}));
    pump.advance(20'000);
    EXPECT_EQ(received_ids().back(), 51);
    timers.tmrPVTData->set_enabled(false);
}

TEST_F(Transport, FullUsbPacketIsFollowedByZeroLengthPacket)
{
    ASSERT_TRUE(usb.Open());
    Packet host(52 + 6, 0);   // 52 data bytes: 12 + 52 = 64 on the wire
    host[0] = 0x10;
    host[1] = 35;
    host[2] = 52;
    usb.Write_Packet(host, 2);
    host[2] = 51;
    host.pop_back();
    usb.Write_Packet(host, 2);
    ASSERT_EQ(script->writes.size(), 3u);
    EXPECT_EQ(script->writes[0].size(), 64u);
    EXPECT_TRUE(script->writes[1].empty());
    EXPECT_EQ(script->writes[2].size(), 63u);
}

TEST_F(Transport, DrainAndTestCommandDiscardBulkInput)
{
    ASSERT_TRUE(usb.Open());
    std::int16_t port = 0;
    UsbPollTimers timers(pump, usb, [&] { return port; });
    script->queue_bulk(pkt(35, {1}, 5));
    EXPECT_EQ(timers.tf_test("bulkread"), 0);
    EXPECT_EQ(script->queued_bulk_packets(), 0u);
    script->queue_bulk(pkt(35, {1}, 5));
    EXPECT_EQ(timers.tf_test("other"), 0);
    EXPECT_EQ(script->queued_bulk_packets(), 5u);
    EXPECT_EQ(usb.Drain_Input(), 0);
    EXPECT_EQ(script->queued_bulk_packets(), 0u);
    EXPECT_TRUE(rec.received.empty());
    // On a serial port the ticks do nothing.
    port = 1;
    script->queue_interrupt(pkt(51, {1}));
    timers.tmrAsync_Timer();
    EXPECT_TRUE(rec.received.empty());
}

TEST_F(Transport, ClosedTransportDoesNothing)
{
    usb.Write_Packet(product_rqst, 0);
    EXPECT_FALSE(usb.Read_Interrupt(0));
    EXPECT_FALSE(usb.Read_Bulk(0));
    EXPECT_FALSE(usb.Start_Session());
    EXPECT_EQ(usb.Drain_Input(), 0);
    ASSERT_TRUE(usb.Open());
    // A handler that closes the port in the middle of a transfer.
    download_rule({pkt(27, {3, 0}), pkt(35, {1}, 10), pkt(12, {7, 0})});
    usb.Write_Packet(transfer_wpt, 27);
    rec.on_received = [&](const Packet&) { usb.Close(); };
    usb.Read_Interrupt(27);
    EXPECT_EQ(rec.received.size(), 1u);
    EXPECT_EQ(usb.USBHandle(), 0);
}

TEST_F(Transport, PortClosedByATimerDuringAWait)
{
    // The device goes away under a waiting read (ASan checks nothing is
    // touched afterwards); the read ends without a device error.
    download_rule({pkt(27, {3, 0})});
    ASSERT_TRUE(usb.Open());
    usb.Write_Packet(transfer_wpt, 27);
    auto closer = pump.make_timer();
    closer->set_interval_ms(100);
    closer->on_timer([&] { usb.Close(); });
    closer->set_enabled(true);
    usb.Read_Interrupt(27);
    closer->set_enabled(false);
    EXPECT_EQ(usb.USBHandle(), 0);
    EXPECT_EQ(received_ids(), std::vector<std::uint16_t>{27});
    EXPECT_EQ(rec.no_response, 0);
    EXPECT_LT(pump.clock().now_us(), 1'000'000);
}
