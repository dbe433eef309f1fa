// Packet dispatch: the end-of-download events, the one-field decoders, and
// routing by the packet IDs in force.
#include "support.h"
#include "tests/support/files.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace brenvik::test {
namespace {

TEST(Dispatch, TransferCompleteRaisesTheEventOfItsKindWithTheControlsCollection)
{
    Fixture f;
    f.control->Dispatch_Packet(pkt(12, {7, 0}));
    f.control->Dispatch_Packet(pkt(12, {3, 0}));
    f.control->Dispatch_Packet(pkt(12, {4, 0}));
    f.control->Dispatch_Packet(pkt(12, {6, 0}));
    f.control->Dispatch_Packet(pkt(12, {1, 0})); // almanac: no event
    EXPECT_EQ(f.events.log, (std::vector<std::string>{"ReceivedWaypoints", "ReceivedWaypoints", "ReceivedRoutes",
                                                      "ReceivedTracks"}));
    // The control's own collections, created empty on first use.
    EXPECT_EQ(f.events.waypoints, f.control->store().Waypoints);
    EXPECT_EQ(f.events.routes, f.control->store().Routes);
    ASSERT_TRUE(f.events.tracks);
    EXPECT_TRUE(f.events.tracks->empty());
    EXPECT_EQ(f.events.tracks, f.control->store().Tracks);
}

TEST(Dispatch, NothingIsRaisedWhileRecordsAreCounted)
{
    Fixture f;
    f.control->link().Counting_Records = true;
    for (std::uint8_t kind : {3, 7, 4, 6}) f.control->Dispatch_Packet(pkt(12, {kind, 0}));
    EXPECT_TRUE(f.events.log.empty());
    // Starting an upload ends the count query's silence.
    f.control->Start_of_Records(1);
    EXPECT_FALSE(f.control->link().Counting_Records);
    f.control->link().Counting_Records = true;
    f.control->End_of_Records();
    EXPECT_FALSE(f.control->link().Counting_Records);
}

TEST(Dispatch, WaypointsAreCollectedAndHandedOverAtTheEnd)
{
    Fixture f;
    // D100: ident 6, posn 2x4, unused 4, comment 40.
    std::vector<std::uint8_t> d{'H', 'O', 'M', 'E', ' ', ' ', 0, 0, 0, 0x20, 0, 0, 0, 0xC0, 0, 0, 0, 0};
    d.resize(58, ' ');
    f.control->Dispatch_Packet(pkt(35, d));
    f.control->Dispatch_Packet(pkt(12, {7, 0}));
    ASSERT_TRUE(f.events.waypoints);
    ASSERT_EQ(f.events.waypoints->size(), 1u);
    EXPECT_EQ(f.events.waypoints->front(), f.control->Waypoint());
    EXPECT_EQ(f.control->Waypoint()->Ident.substr(0, 4), "HOME");
    EXPECT_DOUBLE_EQ(f.control->Waypoint()->Lat, 45.0);
    EXPECT_DOUBLE_EQ(f.control->Waypoint()->Lon, -90.0);
}

TEST(Dispatch, RecordsAndBaudReplyFields)
{
    Fixture f;
    f.control->Dispatch_Packet(pkt(27, {0x2C, 0x01}));
    EXPECT_EQ(f.control->Incoming_Records_Count(), 300);
    f.control->Dispatch_Packet(pkt(49, {0x00, 0xC2, 0x01, 0x00}));
    EXPECT_EQ(f.control->Accepted_Baud(), 115200);
    // A short records packet reads nothing it does not have.
    f.control->Dispatch_Packet(Packet{0x10, 27, 2});
    f.control->Dispatch_Packet(Packet{0x10, 49});
}

TEST(Dispatch, FollowsTheIdsInForce)
{
    Fixture f;
    // Under L001 ID 35 is a waypoint; under L002 it announces records.
    f.control->Dispatch_Packet(product(20, 100)); // L002 by the table
    f.control->Dispatch_Packet(pkt(35, {5, 0}));
    EXPECT_EQ(f.control->Incoming_Records_Count(), 5);
    // The L002 transfer commands end downloads.
    f.control->Dispatch_Packet(pkt(12, {21, 0}));
    f.control->Dispatch_Packet(pkt(12, {8, 0}));
    f.control->Dispatch_Packet(pkt(12, {7, 0})); // 7 is nothing under L002
    EXPECT_EQ(f.events.log, (std::vector<std::string>{"ReceivedWaypoints", "ReceivedRoutes"}));
}

TEST(Dispatch, UnknownAndMalformedPacketsAreDropped)
{
    Fixture f;
    for (std::uint8_t id : {0, 1, 2, 200, 250}) f.control->Dispatch_Packet(pkt(id, {1, 2, 3}));
    f.control->Dispatch_Packet(Packet{0x10, 12});      // transfer complete without data
    f.control->Dispatch_Packet(Packet{0x10, 99, 50});  // track header claiming 50 bytes
    f.control->Dispatch_Packet(Packet{0x10, 253, 1, 'L'});
    EXPECT_TRUE(f.events.log.empty());
}

} // namespace
} // namespace brenvik::test

namespace brenvik::test {
namespace {

TEST(Dispatch, PortOpenEndsCountingOnEveryPath)
{
    // No device on either path, whatever the machine has: USB goes to the
    // fake with a scenario that is not there, port 5 to a missing path.
    test_support::TempDir dir;
    const std::string scenario = dir.path + "/no-scenario.json";
    ::setenv("TREKFOLD_USB_FAKE", scenario.c_str(), 1);
    Fixture f;
    for (std::int16_t port : {0, 5}) {
        f.control->link().Counting_Records = true;
        f.control->Port(port);
        EXPECT_FALSE(f.control->PortOpen());
        EXPECT_FALSE(f.control->link().Counting_Records) << port;
    }
    ::unsetenv("TREKFOLD_USB_FAKE");
    std::vector<std::string> errors;
    for (const auto& l : f.events.log)
        if (l.rfind("HexDebug:", 0) != 0) errors.push_back(l);
    EXPECT_EQ(errors, (std::vector<std::string>{"uError:Unable to Open Device", "cError:0:Unable to open port 5"}));
}

} // namespace
} // namespace brenvik::test

namespace brenvik::test {
namespace {

TEST(Ports, WaitForTakesSecondsBelow30AndMillisecondsFrom30)
{
    Fixture f;
    auto now = [&] { return f.pump.fake_clock().now_us(); };
    std::int64_t t0 = now();
    f.control->WaitFor(29);
    EXPECT_EQ(now() - t0, 29'000'000);
    t0 = now();
    f.control->WaitFor(30);
    EXPECT_EQ(now() - t0, 30'000);
    // Across midnight the wait still lasts as long as asked.
    f.pump.fake_clock().midnight_offset_s = 86400.0 - 0.01;
    t0 = now();
    f.control->WaitFor(100);
    EXPECT_EQ(now() - t0, 100'000);
}

TEST(Ports, ResetWithoutAnAcknowledgementReportsNoResponse)
{
    Fixture f;
    f.control->Reset();
    ASSERT_FALSE(f.events.log.empty());
    EXPECT_EQ(f.events.log.back(), "cError:0:No response from device");
}

} // namespace
} // namespace brenvik::test
