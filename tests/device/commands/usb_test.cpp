// The control over USB, on the scripted fake device: a download, and an
// upload in one loop as the device records it.
#include "rig.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include <unistd.h>

namespace brenvik::commands_test {
namespace {

struct Usb_Packet {
    int type, id;
    std::string data;  // upper-case hex
};

std::vector<Usb_Packet> recorded(const std::string& path)
{
    std::vector<Usb_Packet> out;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.size() < 24) continue;
        auto byte = [&](std::size_t k) { return std::stoi(line.substr(2 * k, 2), nullptr, 16); };
        const std::size_t size = std::size_t(byte(8)) | std::size_t(byte(9)) << 8;
        out.push_back({byte(0), byte(4) | byte(5) << 8, line.substr(24, 2 * size)});
    }
    return out;
}

class Usb : public ::testing::Test {
protected:
    void SetUp() override
    {
        usb_ = std::make_unique<Usb_Control>(
            std::string(TREKFOLD_SOURCE_DIR) + "/tests/device/commands/usb/usb-unit.json", events_);
        gps_ = usb_->gps;
        record_ = usb_->record;
    }
    void TearDown() override { usb_.reset(); }

    platform::EventPump& pump_ = platform::qt_event_pump();
    std::string record_;
    std::unique_ptr<Usb_Control> usb_;
    Brenvik* gps_ = nullptr;
    Transfer_Events events_;
};

TEST_F(Usb, DownloadOverTheBulkPipe)
{
    ASSERT_TRUE(probe::Download(*gps_, events_, pump_, Kind::Waypoints, 10000));
    ASSERT_EQ(events_.waypoints->size(), 1u);
    // The packet written by hand from the D108 layout: 45 N, 90 W, 100 m, symbol 18.
    expect_waypoint({{"ident", "USB1"}, {"lat", 45.0}, {"lon", -90.0}, {"alt", 100.0}, {"symbol", 18}},
                    *(*events_.waypoints)[0], "usb");
    EXPECT_EQ(events_.received_waypoints, 1);
    EXPECT_TRUE(events_.errors.empty());
}

TEST_F(Usb, CommandTheUnitIgnoresIsReported)
{
    // The fake answers no route command.
    EXPECT_FALSE(probe::Download(*gps_, events_, pump_, Kind::Routes, 10000));
    ASSERT_EQ(events_.errors.size(), 1u);
    EXPECT_EQ(events_.errors[0].message, "No response from device");
    EXPECT_EQ(events_.received_routes, 0);
}

TEST_F(Usb, UploadGoesOutInOneLoop)
{
    gps_->Request_Product_Data();
    ASSERT_EQ(gps_->Waypoint_Data_Format(), "D108");
    const std::size_t before = recorded(record_).size();
    const json set = json::parse(R"({
      "waypoints": [{"ident": "U1", "lat": 1.0, "lon": 2.0}, {"ident": "U2", "lat": 3.0, "lon": 4.0}],
      "routes": [{"ident": "R", "points": [{"ident": "P1", "lat": 1, "lon": 1}, {"ident": "P2", "lat": 2, "lon": 2}]}],
      "tracks": [{"ident": "T", "points": [{"lat": 5, "lon": 6, "time": "2024-01-01T00:00:00Z"}]}]})");
    probe::Uploader up(*gps_, events_, pump_);
    for (const auto& steps : probe::Upload_Plan(*gps_, set)) EXPECT_TRUE(up.Run(steps));
    EXPECT_TRUE(events_.errors.empty());

    const auto all = recorded(record_);
    std::vector<int> ids;
    std::vector<std::string> data;
    for (std::size_t k = before; k < all.size(); ++k) {
        if (all[k].type != 20) continue;
        ids.push_back(all[k].id);
        data.push_back(all[k].data);
    }
    EXPECT_EQ(ids, (std::vector<int>{27, 35, 35, 12, 27, 29, 30, 98, 30, 12, 27, 99, 34, 12}));
    ASSERT_EQ(data.size(), 14u);
    EXPECT_EQ(data[0], "0200");
    EXPECT_EQ(data[4], "0400");
    EXPECT_EQ(data[10], "0200");
    EXPECT_EQ(data[3], "0000");
    EXPECT_EQ(data[9], "0000");
    EXPECT_EQ(data[13], "0000");
    // D108 from byte 48 on: the ident and its NUL.
    EXPECT_EQ(data[1].substr(96, 6), "553100");
}

} // namespace
} // namespace brenvik::commands_test
