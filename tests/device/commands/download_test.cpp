// Downloads from the simulated receiver: the records equal the scenario field
// by field, each download ends with exactly one event, unsupported kinds and
// silent receivers are reported.
#include "rig.h"

#include <algorithm>
#include <fstream>

namespace brenvik::commands_test {
namespace {

struct Unit {
    const char* scenario;
    bool track_headers;
    bool has_tracks;
};

class Downloads : public ::testing::TestWithParam<Unit> {};

TEST_P(Downloads, RecordsEqualTheUnitsOwnFieldByField)
{
    const Unit u = GetParam();
    const json sc = scenario_json(u.scenario);
    Rig rig(u.scenario);

    ASSERT_TRUE(rig.download(Kind::Waypoints));
    ASSERT_TRUE(rig.events.waypoints);
    const json wpts = sc["waypoints"];
    ASSERT_EQ(rig.events.waypoints->size(), wpts.size());
    for (std::size_t i = 0; i < wpts.size(); ++i)
        expect_waypoint(wpts[i], *(*rig.events.waypoints)[i], "waypoint " + std::to_string(i));
    EXPECT_EQ(rig.gps->Incoming_Records_Count(), static_cast<std::int16_t>(wpts.size()));

    ASSERT_TRUE(rig.download(Kind::Routes));
    ASSERT_TRUE(rig.events.routes);
    expect_routes(sc["routes"], *rig.events.routes);

    if (u.has_tracks) {
        ASSERT_TRUE(rig.download(Kind::Tracks));
        ASSERT_TRUE(rig.events.tracks);
        expect_tracks(sc["tracks"], *rig.events.tracks, u.track_headers);
    }

    // Nothing more arrives: one end event per download, no error.
    rig.settle(300);
    EXPECT_EQ(rig.events.received_waypoints, 1);
    EXPECT_EQ(rig.events.received_routes, 1);
    EXPECT_EQ(rig.events.received_tracks, u.has_tracks ? 1 : 0);
    EXPECT_TRUE(rig.events.errors.empty()) << rig.events.errors.front().message;
}

INSTANTIATE_TEST_SUITE_P(Units, Downloads,
                         ::testing::Values(Unit{"array-unit", true, true}, Unit{"table-unit", false, true},
                                           Unit{"l002-unit", false, false}),
                         [](const auto& info) {
                             std::string n = info.param.scenario;
                             for (char& c : n)
                                 if (c == '-') c = '_';
                             return n;
                         });

TEST(Downloads, SecondDownloadReplacesTheCollectionInPlace)
{
    Rig rig("array-unit");
    ASSERT_TRUE(rig.download(Kind::Waypoints));
    auto first = rig.events.waypoints;
    auto held = (*first)[0];
    ASSERT_TRUE(rig.download(Kind::Waypoints));
    EXPECT_EQ(rig.events.waypoints, first);  // the control's own collection, emptied and filled again
    EXPECT_EQ(first->size(), 3u);
    EXPECT_NE((*first)[0], held);            // a new record object; the old one is the host's
    EXPECT_EQ(held->Ident, "HOME");
}

TEST(Downloads, TrackDownloadStartsFromANewCurrentTrack)
{
    // A unit without track headers names its points after the current track:
    // an object the host still holds from before must not be blanked, and
    // its name must not reach the new points.
    Rig rig("table-unit");
    auto old = rig.gps->Track();
    old->Ident = "OLD TRACK";
    old->Color = 7;
    ASSERT_TRUE(rig.download(Kind::Tracks));
    EXPECT_EQ(old->Ident, "OLD TRACK");
    for (const auto& t : *rig.events.tracks) {
        EXPECT_EQ(t->Ident, "");
        EXPECT_EQ(t->Color, 0);
    }
    auto route = rig.gps->Route();
    route->Ident = "OLD ROUTE";
    ASSERT_TRUE(rig.download(Kind::Routes));
    EXPECT_EQ(route->Ident, "OLD ROUTE");
}

TEST(Downloads, UnsupportedKindIsRefusedAndLeavesTheCollection)
{
    Rig rig("l002-unit");
    // A track list from before (the control's own collection).
    auto tracks_before = rig.gps->Track();
    ASSERT_TRUE(rig.download(Kind::Waypoints));
    const std::size_t sent = rig.host_packets().size();

    EXPECT_FALSE(rig.download(Kind::Tracks));
    ASSERT_EQ(rig.events.errors.size(), 1u);
    EXPECT_EQ(rig.events.errors[0].code, 0);
    EXPECT_EQ(rig.events.errors[0].message, "GPS model/version does not support Tracks");
    EXPECT_EQ(rig.events.errors[0].packet, ByteArray{0});
    EXPECT_EQ(rig.events.received_tracks, 0);
    EXPECT_EQ(rig.gps->Track(), tracks_before);
    // Only the negotiation went out: no track command.
    const auto packets = rig.host_packets();
    ASSERT_GT(packets.size(), sent);  // the product request went out
    for (std::size_t i = sent; i < packets.size(); ++i)
        EXPECT_FALSE(packets[i].first == rig.gps->PID_Command_Data() && packets[i].second == "0600");
}

TEST(Downloads, RefusedTrackDownloadKeepsTheTracksOfAnEarlierUnit)
{
    Rig rig("array-unit");
    ASSERT_TRUE(rig.download(Kind::Tracks));
    auto tracks = rig.events.tracks;
    ASSERT_EQ(tracks->size(), 7u);
    rig.switch_to(scenario("l002-unit"));
    EXPECT_FALSE(rig.download(Kind::Tracks));
    ASSERT_EQ(rig.events.errors.size(), 1u);
    EXPECT_EQ(rig.events.errors[0].message, "GPS model/version does not support Tracks");
    EXPECT_EQ(rig.events.received_tracks, 1);
    EXPECT_EQ(tracks->size(), 7u);
    EXPECT_EQ((*tracks)[0]->Ident, "ACTIVE LOG");
}

TEST(Downloads, ProximityDownloadFillsWaypointsAndEndsWithReceivedWaypoints)
{
    gpsim::Scenario sc = scenario("l002-unit");
    sc.proximity = json::array({json{{"ident", "DANGER"}, {"lat", 44.0}, {"lon", -92.0}, {"dist", 150.0},
                                     {"comment", "ROCKS"}}});
    Rig rig(std::move(sc));
    ASSERT_TRUE(rig.download(Kind::Waypoints));
    ASSERT_TRUE(rig.download(Kind::Prox_Waypoints));
    EXPECT_EQ(rig.events.received_waypoints, 2);
    ASSERT_EQ(rig.events.waypoints->size(), 1u);
    expect_waypoint({{"ident", "DANGER"}, {"lat", 44.0}, {"lon", -92.0}, {"dist", 150.0}, {"comment", "ROCKS"}},
                    *(*rig.events.waypoints)[0], "proximity");
}

TEST(Counts, UnsupportedKindCountsMinusOneAndTheNextCommandWorks)
{
    Rig rig("array-unit");
    rig.gps->Request_Counts();
    ASSERT_EQ(rig.events.receive_counts, 1);
    EXPECT_EQ(rig.events.counts[0], 3);   // waypoints
    EXPECT_EQ(rig.events.counts[1], -1);  // no proximity protocol
    EXPECT_EQ(rig.events.counts[2], 2 + 5 + 3);  // route headers, points and links
    EXPECT_EQ(rig.events.counts[3], 2 + 5);      // track headers and points
    EXPECT_EQ(rig.gps->Counts()->Prox_Waypoint_records, -1);
    EXPECT_EQ(rig.gps->Incoming_Records_Count(), 0);
    // No proximity command went out (command 3).
    for (const auto& [id, data] : rig.host_packets()) EXPECT_FALSE(id == 10 && data == "0300");
    rig.settle(200);
    EXPECT_EQ(rig.events.received_waypoints + rig.events.received_routes + rig.events.received_tracks, 0);

    ASSERT_TRUE(rig.download(Kind::Waypoints));
    EXPECT_EQ(rig.events.waypoints->size(), 3u);
    EXPECT_TRUE(rig.events.errors.empty());
}

TEST(Counts, L002UnitCountsWithItsOwnIds)
{
    Rig rig("l002-unit");
    rig.gps->Request_Counts();
    ASSERT_EQ(rig.events.receive_counts, 1);
    EXPECT_EQ(rig.events.counts[0], 2);
    EXPECT_EQ(rig.events.counts[1], 0);   // proximity supported, none stored
    EXPECT_EQ(rig.events.counts[2], 3);   // header and two points, no links
    EXPECT_EQ(rig.events.counts[3], -1);  // no tracks
}

// A host that starts the route download from inside the end event of the
// waypoint download, as the main window does, and reads the current
// waypoint on each Receive.
struct Chaining_Events : Transfer_Events {
    Brenvik* gps = nullptr;
    std::vector<std::string> idents;  // the current Waypoint at each waypoint or route point Receive
    void Receive(const ByteArray& p) override
    {
        Transfer_Events::Receive(p);
        if (p.size() > 1 && (p[1] == gps->PID_Wpt_Data() || p[1] == gps->PID_Rte_Wpt_Data()))
            idents.push_back(gps->Waypoint()->Ident);
    }
    void ReceivedWaypoints(const RecordListRef<cWaypoint>& w) override
    {
        Transfer_Events::ReceivedWaypoints(w);
        gps->Request_Routes();
    }
};

TEST(Order, RouteDownloadStartedFromTheWaypointsEndSeesEveryReceiveInOrder)
{
    const json sc = scenario_json("array-unit");
    Rig rig("array-unit");
    Chaining_Events ev;
    ev.gps = rig.gps;
    rig.gps->Advise(&ev);
    const std::size_t frames_before = rig.sim->trace().size();
    rig.gps->Request_Waypoints();
    rig.pump.wait_until([&] { return ev.received_routes > 0 || !ev.errors.empty(); },
                        rig.pump.clock().now_us() + 20000000);
    rig.settle(200);
    rig.gps->Advise(&rig.events);
    ASSERT_EQ(ev.received_waypoints, 1);
    ASSERT_EQ(ev.received_routes, 1);
    EXPECT_TRUE(ev.errors.empty());

    // Every frame the unit sent, in the order it sent them.
    std::vector<std::uint8_t> sent;
    const auto trace = rig.sim->trace();
    for (std::size_t i = frames_before; i < trace.size(); ++i)
        if (trace[i].value("dir", "") == "out" && trace[i].contains("id")) sent.push_back(trace[i]["id"].get<std::uint8_t>());
    EXPECT_EQ(ev.received_ids, sent);

    std::vector<std::string> want;
    for (const json& w : sc["waypoints"]) want.push_back(w["ident"].get<std::string>());
    for (const json& r : sc["routes"])
        for (const json& w : r["points"]) want.push_back(w["ident"].get<std::string>());
    EXPECT_EQ(ev.idents, want);
}

TEST(Resend, DuplicatedRecordIsTakenOnce)
{
    // The unit sends its first waypoint twice, as after a lost acknowledgement.
    Rig probe_rig("array-unit");
    ASSERT_TRUE(probe_rig.download(Kind::Waypoints));
    int records_frame = 0;
    for (const json& t : probe_rig.sim->trace())
        if (t.value("dir", "") == "out" && t.value("id", 0) == 27) records_frame = t["n"].get<int>();
    ASSERT_GT(records_frame, 0);

    gpsim::Options opt;
    opt.faults.duplicate = {records_frame + 1};
    Rig rig("array-unit", opt);
    std::vector<std::string> debug;
    rig.events.on_debug = [&](const std::string& t) { debug.push_back(t); };
    ASSERT_TRUE(rig.download(Kind::Waypoints));
    const json wpts = scenario_json("array-unit")["waypoints"];
    ASSERT_EQ(rig.events.waypoints->size(), wpts.size());
    for (std::size_t i = 0; i < wpts.size(); ++i)
        expect_waypoint(wpts[i], *(*rig.events.waypoints)[i], "waypoint " + std::to_string(i));
    EXPECT_EQ(std::count(rig.events.received_ids.begin(), rig.events.received_ids.end(), rig.gps->PID_Wpt_Data()),
              static_cast<std::ptrdiff_t>(wpts.size()));
    ASSERT_EQ(debug.size(), 1u);
    EXPECT_EQ(debug[0].rfind("PC * GPS Repeated packet acknowledged and dropped: 10 23 ", 0), 0u) << debug[0];
    EXPECT_TRUE(rig.events.errors.empty());
}

TEST(NoResponse, TransferCommandWithoutAnswerIsReported)
{
    // Host packets: product request (1), unit ID (2), packet 28 (3), the
    // waypoint command (4), which the unit swallows.
    gpsim::Options opt;
    opt.faults.withhold_ack = {4};
    Rig rig("array-unit", opt);
    EXPECT_FALSE(rig.download(Kind::Waypoints));
    ASSERT_EQ(rig.events.errors.size(), 1u);
    EXPECT_EQ(rig.events.errors[0].code, 0);
    EXPECT_EQ(rig.events.errors[0].message, "No response from device");
    EXPECT_EQ(rig.events.received_waypoints, 0);
}

TEST(NoResponse, UnitGoingSilentMidTransferIsReported)
{
    // Frames out: product data, protocol array, unit ID, ACKs ... the unit
    // stops after the records packet and two waypoints of the download.
    gpsim::Options opt;
    Rig probe_rig("array-unit", opt);
    ASSERT_TRUE(probe_rig.download(Kind::Waypoints));
    int records_frame = 0;
    for (const json& t : probe_rig.sim->trace())
        if (t.value("dir", "") == "out" && t.value("id", 0) == 27) records_frame = t["n"].get<int>();
    ASSERT_GT(records_frame, 0);

    opt.faults.silent_after = records_frame + 2;
    Rig rig("array-unit", opt);
    EXPECT_FALSE(rig.download(Kind::Waypoints));
    ASSERT_GE(rig.events.errors.size(), 1u);
    EXPECT_EQ(rig.events.errors.back().message, "No response from device");
    EXPECT_EQ(rig.events.received_waypoints, 0);
}

TEST(DateTimeAndPosition, AnswersAreDecoded)
{
    Rig rig("array-unit");
    rig.gps->Request_Date_Time();
    auto dt = rig.gps->Date_Time();
    EXPECT_EQ(dt->year, 2024);
    EXPECT_EQ(dt->month, 5);
    EXPECT_EQ(dt->day, 1);
    EXPECT_EQ(dt->hour, 12);
    EXPECT_EQ(dt->minute, 34);
    EXPECT_EQ(dt->second, 56);
    rig.gps->Request_Position_Data();
    EXPECT_NEAR(rig.gps->Position()->Lat, 45.5, 1e-9);
    EXPECT_NEAR(rig.gps->Position()->Lon, -93.25, 1e-9);
    EXPECT_TRUE(rig.events.errors.empty());
}

TEST(DateTimeAndPosition, SilentUnitGivesNoResponse)
{
    gpsim::Scenario sc = scenario("array-unit");
    sc.answers = false;
    Rig rig(std::move(sc));
    rig.gps->Request_Date_Time();
    ASSERT_EQ(rig.events.errors.size(), 1u);
    EXPECT_EQ(rig.events.errors[0].message, "No response from device");
    // A download from a silent unit is reported once, not once for the
    // product request and again for the transfer command.
    rig.events.errors.clear();
    EXPECT_FALSE(rig.download(Kind::Waypoints));
    rig.settle(300);
    ASSERT_EQ(rig.events.errors.size(), 1u);
    EXPECT_EQ(rig.events.errors[0].message, "No response from device");
}

TEST(Pvt, SerialStartSendsTwoPacketsAndRecordsArrive)
{
    Rig rig("array-unit");
    const std::size_t before = rig.host_packets().size();
    rig.gps->Pvt_Data_Start();
    auto packets = rig.host_packets(before + 2);
    ASSERT_EQ(packets.size(), before + 2);
    EXPECT_EQ(packets[before].first, 28);
    EXPECT_EQ(packets[before + 1].first, 10);
    EXPECT_EQ(packets[before + 1].second, "3100");  // start PVT, command 49
    rig.pump.wait_until([&] { return rig.gps->PvtData()->Lat != 0; }, rig.pump.clock().now_us() + 30'000'000);
    EXPECT_NEAR(rig.gps->PvtData()->Lat, 45.5, 1e-6);
    EXPECT_NEAR(rig.gps->PvtData()->Alt, 270.0, 1e-3);
    rig.gps->Pvt_Data_Stop();
    packets = rig.host_packets(before + 3);
    EXPECT_EQ(packets.back().first, 10);
    EXPECT_EQ(packets.back().second, "3200");
}

TEST(Async, StartSendsNothingStopSendsOnePacket)
{
    Rig rig("array-unit");
    rig.gps->Request_Date_Time();
    const std::size_t before = rig.host_packets().size();
    rig.gps->Async_Start();
    rig.settle(100);
    EXPECT_EQ(rig.host_packets().size(), before);
    rig.gps->Async_Stop();
    ASSERT_EQ(rig.host_packets(before + 1).size(), before + 1);
    EXPECT_EQ(rig.host_packets().back().first, 28);
}

} // namespace
} // namespace brenvik::commands_test
