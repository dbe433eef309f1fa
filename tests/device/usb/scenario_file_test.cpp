#include "device/link/usb_transport.h"
#include "platform/events/fake_events.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace brenvik;

namespace {

struct Ids : cUSB_Events {
    std::vector<int> ids;
    int no_response = 0;
    std::vector<std::string> errors;
    void USBReceived(const Packet& p, const std::vector<std::uint8_t>& u) override { ids.push_back(u[4] | (u[5] << 8)); }
    void USBSent(const std::vector<std::uint8_t>&) override {}
    void USBDebug(const std::string&) override {}
    void USBError(std::int32_t, const std::string& m) override { errors.push_back(m); }
    void USBIncomingPackage(std::int32_t) override {}
    void USBNoResponse() override { ++no_response; }
};

std::string scenario(const char* name)
{
    return std::string(TREKFOLD_SOURCE_DIR) + "/tests/device/usb/scenarios/" + name;
}

const Packet product_rqst = {0x10, 254, 0, 0, 0x10, 0x03};
const Packet transfer_wpt = {0x10, 10, 2, 7, 0, 0, 0x10, 0x03};

} // namespace

// The scenario files the control can be pointed at with TREKFOLD_USB_FAKE.
TEST(ScenarioFiles, ReceiverFromTheEnvironment)
{
    ::setenv("TREKFOLD_USB_FAKE", scenario("etrex_waypoints.json").c_str(), 1);
    platform::FakeEventPump pump;
    Ids ev;
    cUSB usb(pump, ev);
    ASSERT_TRUE(usb.Open());
    ASSERT_TRUE(usb.Start_Session());
    usb.Drain_Input();
    usb.Write_Packet(product_rqst, 255);
    EXPECT_TRUE(usb.Read_Interrupt(255));
    usb.Write_Packet(transfer_wpt, 27);
    EXPECT_TRUE(usb.Read_Interrupt(27));
    EXPECT_EQ(ev.ids, (std::vector<int>{6, 17, 255, 253, 27, 35, 35, 35, 12}));   // session replies first
    EXPECT_EQ(ev.no_response, 0);

    ::setenv("TREKFOLD_USB_FAKE", scenario("silent_transfer.json").c_str(), 1);
    ASSERT_TRUE(usb.Open());
    ev.ids.clear();
    usb.Write_Packet(transfer_wpt, 27);
    usb.Read_Interrupt(27);
    EXPECT_EQ(ev.ids, (std::vector<int>{27, 35}));
    EXPECT_EQ(ev.no_response, 1);

    ::setenv("TREKFOLD_USB_FAKE", scenario("missing.json").c_str(), 1);
    EXPECT_FALSE(usb.Open());
    EXPECT_EQ(ev.errors, std::vector<std::string>{"Unable to Open Device"});
    ::unsetenv("TREKFOLD_USB_FAKE");
}
