#include "platform/usb/fake_usb.h"

#include "platform/events/fake_events.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>

using namespace platform;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Start session: type 0, ID 5, no data (by hand from the layout table).
const Bytes start_session = {0, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0};
// Transfer command: type 20, ID 10, data 7 0.
const Bytes transfer_wpt = {20, 0, 0, 0, 10, 0, 0, 0, 2, 0, 0, 0, 7, 0};

const char* scenario_json = R"({
  "unit_id": 16909060,
  "rules": [
    { "id": 10, "command": 7, "bulk": [
        {"id": 27, "data": "0300"},
        {"id": 35, "data": "01 02 03", "repeat": 3},
        {"id": 12, "data": "0700"} ] },
    { "id": 254, "times": 1, "delay_ms": 500, "interrupt": [ {"id": 255, "data": "AABB"} ] }
  ]
})";

struct FakeDevice : ::testing::Test {
    FakeEventPump pump;
    std::shared_ptr<FakeUsbScript> script =
        std::make_shared<FakeUsbScript>(FakeUsbScenario::from_json(scenario_json));
    FakeUsbDevice dev{script, pump};
    std::array<std::uint8_t, 2112> buf{};

    Bytes read_int(int timeout = 80)
    {
        auto r = dev.read_interrupt(buf, timeout);
        return r.ok() ? Bytes(buf.begin(), buf.begin() + r.bytes) : Bytes{};
    }
    Bytes read_bulk(int timeout = 20)
    {
        auto r = dev.read_bulk(buf, timeout);
        return r.ok() ? Bytes(buf.begin(), buf.begin() + r.bytes) : Bytes{};
    }
};

} // namespace

TEST_F(FakeDevice, AnswersSessionStartWithUnitId)
{
    EXPECT_TRUE(dev.write(start_session, 100).ok());
    // Session started: type 0, ID 6, 4 bytes unit ID 0x01020304.
    const Bytes started = {0, 0, 0, 0, 6, 0, 0, 0, 4, 0, 0, 0, 4, 3, 2, 1};
    EXPECT_EQ(read_int(), started);
    EXPECT_EQ(read_int(), Bytes{});
}

TEST_F(FakeDevice, TransferAnnouncedOnInterruptAndReadOnBulk)
{
    dev.write(transfer_wpt, 100);
    const Bytes available = {0, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(read_int(), available);
    EXPECT_EQ(read_bulk(), (Bytes{20, 0, 0, 0, 27, 0, 0, 0, 2, 0, 0, 0, 3, 0}));
    for (int i = 0; i < 3; ++i) EXPECT_EQ(read_bulk(), (Bytes{20, 0, 0, 0, 35, 0, 0, 0, 3, 0, 0, 0, 1, 2, 3}));
    EXPECT_EQ(read_bulk(), (Bytes{20, 0, 0, 0, 12, 0, 0, 0, 2, 0, 0, 0, 7, 0}));
    std::int64_t before = pump.clock().now_us();
    EXPECT_EQ(read_bulk(20), Bytes{});
    EXPECT_EQ(pump.clock().now_us() - before, 20000);   // an empty read takes its time-out
    // A different command byte matches no rule.
    Bytes other = transfer_wpt;
    other[12] = 6;
    dev.write(other, 100);
    EXPECT_EQ(read_int(), Bytes{});
}

TEST_F(FakeDevice, DelayedAndOneTimeAnswers)
{
    const Bytes product_rqst = {20, 0, 0, 0, 254, 0, 0, 0, 0, 0, 0, 0};
    dev.write(product_rqst, 100);
    EXPECT_EQ(read_int(80), Bytes{});            // not yet: due after 500 ms
    EXPECT_EQ(read_int(1000).size(), 14u);       // arrives within the wait
    EXPECT_EQ(pump.clock().now_us(), 500000);
    dev.write(product_rqst, 100);                // "times": 1
    EXPECT_EQ(read_int(1000), Bytes{});
}

TEST_F(FakeDevice, LongInterruptPacketComesInPiecesOf64)
{
    FakeUsbPacket p;
    p.id = 300;
    p.data.assign(100, 0x55);
    script->queue_interrupt(p);
    EXPECT_EQ(read_int().size(), 64u);
    EXPECT_EQ(read_int().size(), 48u);
}

TEST_F(FakeDevice, RecordsWritesAndZeroLengthPacket)
{
    Bytes full(64, 0x20), almost(63, 0x20);
    dev.write(full, 100);
    dev.write(almost, 100);
    ASSERT_EQ(script->writes.size(), 3u);
    EXPECT_EQ(script->writes[0], full);
    EXPECT_TRUE(script->writes[1].empty());   // zero-length packet after 64 bytes
    EXPECT_EQ(script->writes[2], almost);
}

TEST_F(FakeDevice, UnpluggedDeviceFails)
{
    script->unplugged = true;
    EXPECT_EQ(dev.read_bulk(buf, 20).status, UsbStatus::no_device);
    EXPECT_EQ(dev.write(start_session, 20).status, UsbStatus::no_device);
}

TEST(FakeScenario, RejectsBadScenariosClearly)
{
    EXPECT_THROW(FakeUsbScenario::from_json("{"), std::runtime_error);
    EXPECT_THROW(FakeUsbScenario::from_json("[]"), std::runtime_error);
    EXPECT_THROW(FakeUsbScenario::from_json(R"({"rules": [{"id": 70000}]})"), std::runtime_error);
    EXPECT_THROW(FakeUsbScenario::from_json(R"({"rules": [{"id": 1, "bulk": [{"data": "ABC"}]}]})"),
                 std::runtime_error);
    EXPECT_THROW(FakeUsbScenario::from_json(R"({"rules": [{"id": 1, "bulk": [{"data": "zz"}]}]})"),
                 std::runtime_error);
    EXPECT_THROW(FakeUsbScenario::load("/nonexistent/scenario.json"), std::runtime_error);
    auto s = FakeUsbScenario::from_json(R"({"rules": [{"id": 1, "bulk": [{"id": 5, "raw": "0102", "size": 9}]}]})");
    EXPECT_EQ(s.rules[0].bulk[0].bytes(), (Bytes{1, 2}));
}

TEST(FakeScenario, EnvironmentSelectsTheFake)
{
    FakeEventPump pump;
    test_support::TempDir dir;
    const std::string path = dir.path + "/usb_fake_scenario.json";
    std::ofstream(path) << scenario_json;
    ::setenv("TREKFOLD_USB_FAKE", path.c_str(), 1);
    auto r = open_garmin_usb(pump);
    ASSERT_TRUE(r.device);
    EXPECT_TRUE(r.device->write(start_session, 100).ok());
    ::setenv("TREKFOLD_USB_FAKE", "/nonexistent/scenario.json", 1);
    auto bad = open_garmin_usb(pump);
    EXPECT_FALSE(bad.device);
    EXPECT_EQ(bad.failure, UsbOpenFailure::fake_script);
    ::unsetenv("TREKFOLD_USB_FAKE");
}

TEST(RealUsb, WithoutAReceiverReportsAFailureAndNoDevice)
{
    // No Garmin receiver is attached where the tests run (skip if one is).
    auto r = open_garmin_libusb();
    if (r.device) GTEST_SKIP() << "a Garmin receiver is attached";
    EXPECT_NE(r.failure, UsbOpenFailure::none);
    EXPECT_NE(r.code, 0);
}
