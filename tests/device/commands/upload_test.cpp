// Uploads into the simulated receiver, driven the way a host drives them:
// the packet sequence on the wire, the records the receiver decoded, the
// next download, and the refusals.
#include "rig.h"

namespace brenvik::commands_test {
namespace {

using probe::Uploader;
using probe::Upload_Plan;

// Compares the keys of `want` with a record the simulator decoded.
void expect_same(const json& want, const json& got, const std::string& where)
{
    SCOPED_TRACE(where + ": want " + want.dump() + " got " + got.dump());
    ASSERT_FALSE(got.contains("error"));
    for (auto it = want.begin(); it != want.end(); ++it) {
        const std::string& k = it.key();
        if (k == "points" || k == "links") continue;
        ASSERT_TRUE(got.contains(k)) << k;
        const json& v = it.value();
        const json& g = got[k];
        if (v.is_string()) {
            EXPECT_EQ(rtrim(g.get<std::string>()), v.get<std::string>()) << k;
        } else if (v.is_boolean()) {
            EXPECT_EQ(g.is_boolean() ? g.get<bool>() : g.get<double>() != 0, v.get<bool>()) << k;
        } else {
            const double tol = (k == "lat" || k == "lon") ? 1e-6 : 1e-3;
            EXPECT_NEAR(g.get<double>(), v.get<double>(), tol) << k;
        }
    }
}

// What the simulator decoded, in order, as {kind, record}.
std::vector<std::pair<std::string, json>> decoded(Rig& rig)
{
    rig.settle(50);
    std::vector<std::pair<std::string, json>> out;
    for (const json& d : rig.sim->uploads())
        if (d.contains("record")) out.emplace_back(d["kind"].get<std::string>(), d["record"]);
    return out;
}

const json kUpload = json::parse(R"({
  "waypoints": [
    {"ident": "ALPHA", "lat": 44.25, "lon": -92.125, "comment": "FIRST ONE", "symbol": 18, "alt": 300.5,
     "depth": 2.5, "temp": 15.25, "time": "2024-06-01T10:00:00Z", "category": 2, "color": 3, "display": 1,
     "state": "WI", "country": "US", "facility": "DOCK", "city": "HUDSON", "address": "2 RIVER RD",
     "cross_road": "MAIN"},
    {"ident": "BRAVO", "lat": -12.5, "lon": 130.75, "comment": "", "symbol": 8},
    {"ident": "CHARLIE", "lat": 0.5, "lon": 179.5, "comment": "EAST"}
  ],
  "routes": [
    {"ident": "RIVER RUN",
     "points": [{"ident": "R1", "lat": 44.0, "lon": -92.0, "symbol": 18},
                {"ident": "R2", "lat": 44.1, "lon": -92.1, "symbol": 18},
                {"ident": "R3", "lat": 44.2, "lon": -92.2}],
     "links": [{"class": 3, "ident": "LEG A"}, {"class": 3, "ident": "LEG B"}]},
    {"ident": "BACK",
     "points": [{"ident": "B1", "lat": 45.0, "lon": -93.0}, {"ident": "B2", "lat": 45.5, "lon": -93.5}],
     "links": [{"class": 3, "ident": "HOME LEG"}]}
  ],
  "tracks": [
    {"ident": "MORNING", "color": 2, "display": true,
     "points": [{"lat": 44.0, "lon": -92.0, "time": "2024-06-01T06:00:00Z", "alt": 250.0, "depth": 0.25, "temp": 12.5},
                {"lat": 44.001, "lon": -92.001, "time": "2024-06-01T06:00:10Z", "alt": 251.0},
                {"lat": 44.002, "lon": -92.002, "time": "2024-06-01T06:00:20Z", "alt": 252.0},
                {"lat": 44.010, "lon": -92.010, "time": "2024-06-01T07:00:00Z", "alt": 260.0, "new_segment": true},
                {"lat": 44.011, "lon": -92.011, "time": "2024-06-01T07:00:10Z", "alt": 261.0}]}
  ]
})");

json only(const char* kind) { return json{{kind, kUpload[kind]}}; }

bool upload(Rig& rig, const json& set)
{
    Uploader up(*rig.gps, rig.events, rig.pump);
    bool ok = true;
    for (const auto& steps : Upload_Plan(*rig.gps, set)) ok = up.Run(steps) && ok;
    return ok;
}

TEST(SerialUpload, PacketSequenceDecodedRecordsAndTheNextDownload)
{
    Rig rig("array-unit");
    rig.gps->Request_Product_Data();  // the host negotiates before it uploads
    const std::size_t start = rig.host_packets().size();

    ASSERT_TRUE(upload(rig, only("waypoints")));
    ASSERT_TRUE(upload(rig, only("routes")));
    ASSERT_TRUE(upload(rig, only("tracks")));
    EXPECT_TRUE(rig.events.errors.empty());

    // On the wire: count, records, transfer complete with data 00 00.
    const auto packets = rig.host_packets();
    std::vector<std::pair<int, std::string>> upload(packets.begin() + std::ptrdiff_t(start), packets.end());
    std::vector<int> ids;
    for (const auto& p : upload) ids.push_back(p.first);
    const std::vector<int> want_ids = {27, 35, 35, 35, 12,                                   // waypoints
                                       27, 29, 30, 98, 30, 98, 30, 29, 30, 98, 30, 12,       // routes
                                       27, 99, 34, 34, 34, 34, 34, 12};                      // track
    EXPECT_EQ(ids, want_ids);
    ASSERT_EQ(upload.size(), want_ids.size());
    EXPECT_EQ(upload[0].second, "0300");
    EXPECT_EQ(upload[5].second, "0A00");
    EXPECT_EQ(upload[17].second, "0600");
    EXPECT_EQ(upload[4].second, "0000");
    EXPECT_EQ(upload[16].second, "0000");
    EXPECT_EQ(upload[24].second, "0000");

    // What the receiver decoded equals the input.
    const auto recs = decoded(rig);
    std::vector<json> wpts, hdrs, rpts, links, thdr, tpts;
    for (const auto& [kind, r] : recs) {
        if (kind == "waypoint") wpts.push_back(r);
        else if (kind == "route_header") hdrs.push_back(r);
        else if (kind == "route_waypoint") rpts.push_back(r);
        else if (kind == "route_link") links.push_back(r);
        else if (kind == "track_header") thdr.push_back(r);
        else if (kind == "track_point") tpts.push_back(r);
    }
    ASSERT_EQ(wpts.size(), 3u);
    for (int i = 0; i < 3; ++i) expect_same(kUpload["waypoints"][i], wpts[i], "waypoint");
    ASSERT_EQ(hdrs.size(), 2u);
    ASSERT_EQ(rpts.size(), 5u);
    ASSERT_EQ(links.size(), 3u);
    expect_same(kUpload["routes"][0], hdrs[0], "route header");
    expect_same(kUpload["routes"][1], hdrs[1], "route header");
    expect_same(kUpload["routes"][0]["points"][2], rpts[2], "route point");
    expect_same(kUpload["routes"][1]["points"][1], rpts[4], "route point");
    expect_same(kUpload["routes"][0]["links"][1], links[1], "route link");
    expect_same(kUpload["routes"][1]["links"][0], links[2], "route link");
    ASSERT_EQ(thdr.size(), 1u);
    ASSERT_EQ(tpts.size(), 5u);
    expect_same(kUpload["tracks"][0], thdr[0], "track header");
    for (int i = 0; i < 5; ++i) {
        json p = kUpload["tracks"][0]["points"][i];
        p["new_segment"] = i == 0 || i == 3;
        expect_same(p, tpts[i], "track point " + std::to_string(i));
    }

    // The next download returns them.
    ASSERT_TRUE(rig.download(Kind::Waypoints));
    ASSERT_EQ(rig.events.waypoints->size(), 3u);
    for (int i = 0; i < 3; ++i)
        expect_waypoint(kUpload["waypoints"][i], *(*rig.events.waypoints)[i], "downloaded waypoint");
    ASSERT_TRUE(rig.download(Kind::Routes));
    json routes = kUpload["routes"];
    expect_routes(routes, *rig.events.routes);
    ASSERT_TRUE(rig.download(Kind::Tracks));
    json tracks = kUpload["tracks"];
    tracks[0]["points"][3]["new_segment"] = true;
    expect_tracks(tracks, *rig.events.tracks, true);
}

TEST(SerialUpload, TableAndL002UnitsTakeTheirOwnFormats)
{
    // D103 / D201 / D300 without track headers; D150 / D201 on the second
    // link protocol (its own packet IDs, route points as ID 39).
    const json set = json::parse(R"({
      "waypoints": [{"ident": "ALPHA", "lat": 44.25, "lon": -92.125, "comment": "FIRST ONE"},
                    {"ident": "BRAVO", "lat": -12.5, "lon": 130.75, "comment": ""}],
      "routes": [{"number": 4, "comment": "RIVER RUN",
                  "points": [{"ident": "R1", "lat": 44.0, "lon": -92.0}, {"ident": "R2", "lat": 44.1, "lon": -92.1}]}],
      "tracks": [{"points": [{"lat": 44.0, "lon": -92.0, "time": "2024-06-01T06:00:00Z"},
                             {"lat": 44.001, "lon": -92.001, "time": "2024-06-01T06:00:10Z"},
                             {"lat": 44.01, "lon": -92.01, "time": "2024-06-01T07:00:00Z", "new_segment": true}]}]})");
    for (const char* unit : {"table-unit", "l002-unit"}) {
        SCOPED_TRACE(unit);
        const bool tracks = std::string(unit) == "table-unit";
        Rig rig(unit);
        rig.gps->Request_Product_Data();
        json up = set;
        if (!tracks) up.erase("tracks");
        ASSERT_TRUE(upload(rig, up));
        EXPECT_TRUE(rig.events.errors.empty());
        ASSERT_TRUE(rig.download(Kind::Waypoints));
        ASSERT_EQ(rig.events.waypoints->size(), 2u);
        for (int i = 0; i < 2; ++i) expect_waypoint(set["waypoints"][i], *(*rig.events.waypoints)[i], "waypoint");
        ASSERT_TRUE(rig.download(Kind::Routes));
        expect_routes(set["routes"], *rig.events.routes);
        if (tracks) {
            ASSERT_TRUE(rig.download(Kind::Tracks));
            expect_tracks(set["tracks"], *rig.events.tracks, false);
        }
    }
}

TEST(SerialUpload, RefusedKindRaisesOneErrorAndSendsNothing)
{
    Rig rig("no-routes-unit");
    rig.gps->Request_Product_Data();
    const std::size_t start = rig.host_packets().size();
    rig.gps->Start_of_Records(5);
    auto& route = *rig.gps->Route();
    route.Ident = "R";
    rig.gps->Send_Route_Header();
    rig.gps->Send_Route_Waypoint();
    rig.gps->Send_Route_Waypoint();
    rig.gps->Send_Route_Header();
    rig.gps->Send_Route_Waypoint();
    ASSERT_EQ(rig.events.errors.size(), 1u);
    EXPECT_EQ(rig.events.errors[0].code, 0);
    EXPECT_EQ(rig.events.errors[0].message, "GPS model/version does not support Routes");
    EXPECT_EQ(rig.events.errors[0].packet, ByteArray{0});
    auto packets = rig.host_packets(start + 1);
    ASSERT_EQ(packets.size(), start + 1);  // only the count
    EXPECT_EQ(packets.back().first, 27);

    // A new transfer reports again, once.
    rig.gps->Start_of_Records(1);
    rig.gps->Send_Route_Link();
    rig.gps->Send_Route_Link();
    EXPECT_EQ(rig.events.errors.size(), 2u);
    // Each command checks only its own protocol: tracks still go.
    rig.gps->Send_Track();
    packets = rig.host_packets(start + 3);
    EXPECT_EQ(packets.back().first, 34);
}

TEST(SerialUpload, UnknownOrMissingFormatSendsNothingAndReportsOnce)
{
    // The unit names a waypoint protocol without a format, and a route
    // waypoint format no encoder knows.
    gpsim::Scenario sc = scenario("array-unit");
    sc.protocol_array = {"P000", "L001", "A010", "A100", "A201", "D202", "D199", "D210", "A301", "D312", "D302"};
    Rig rig(std::move(sc));
    rig.gps->Request_Product_Data();
    ASSERT_EQ(rig.gps->WayPoint_Transfer_Protocol(), "A100");
    ASSERT_EQ(rig.gps->Route_Wpt_Data_Format(), "D199");
    const std::size_t start = rig.host_packets().size();

    rig.gps->Start_of_Records(3);
    rig.gps->Send_Waypoint();
    rig.gps->Send_Waypoint();
    rig.gps->Send_Waypoint();
    ASSERT_EQ(rig.events.errors.size(), 1u);
    EXPECT_EQ(rig.events.errors[0].message, "GPS model/version does not support Waypoints");

    rig.gps->Start_of_Records(2);
    rig.gps->Send_Route_Header();  // D202 is known: sent
    rig.gps->Send_Route_Waypoint();
    rig.gps->Send_Route_Waypoint();
    ASSERT_EQ(rig.events.errors.size(), 2u);
    EXPECT_EQ(rig.events.errors[1].message, "GPS model/version does not support Routes");

    std::vector<int> ids;
    for (const auto& p : rig.host_packets(start + 3)) ids.push_back(p.first);
    EXPECT_EQ(std::vector<int>(ids.begin() + std::ptrdiff_t(start), ids.end()), (std::vector<int>{27, 27, 29}));
}

TEST(SerialUpload, CountBytesPositionAndLink)
{
    Rig rig("table-unit");
    rig.gps->Request_Product_Data();
    const std::size_t start = rig.host_packets().size();
    rig.gps->Start_of_Records(3);
    rig.gps->Start_of_Records(300);
    rig.gps->Start_of_Records(-2);
    rig.gps->End_of_Records();
    // A link goes out in the D210 layout though this unit names no link format.
    ASSERT_EQ(rig.gps->Route_Link_Format(), "    ");
    rig.gps->Route()->Link_Class = 3;
    rig.gps->Route()->Link_Ident = "X";
    rig.gps->Send_Route_Link();
    rig.gps->Position()->Lat = 45;
    rig.gps->Position()->Lon = -93;
    rig.gps->Send_Position_Data();
    rig.gps->Power_Off();

    const auto p = rig.host_packets(start + 7);
    ASSERT_EQ(p.size(), start + 7);
    EXPECT_EQ(p[start + 0], (std::pair<int, std::string>{27, "0300"}));
    EXPECT_EQ(p[start + 1], (std::pair<int, std::string>{27, "2C01"}));
    EXPECT_EQ(p[start + 2], (std::pair<int, std::string>{27, "FEFF"}));
    EXPECT_EQ(p[start + 3], (std::pair<int, std::string>{12, "0000"}));
    // D210: class 3 (16 bits), 18 subclass bytes, the ident and its NUL.
    EXPECT_EQ(p[start + 4].first, 98);
    EXPECT_EQ(p[start + 4].second.substr(0, 4), "0300");
    EXPECT_EQ(p[start + 4].second.substr(40), "5800");
    // 45 N, 93 W in radians: 0.7853981633974483, -1.6231562043547265.
    EXPECT_EQ(p[start + 5], (std::pair<int, std::string>{17, "182D4454FB21E93F770CE0A372F8F9BF"}));
    EXPECT_EQ(p[start + 6], (std::pair<int, std::string>{10, "0800"}));
    EXPECT_TRUE(rig.events.errors.empty());
}

TEST(SerialUpload, ProximityWaypointsUseTheProximityLayout)
{
    Rig rig("l002-unit");
    rig.gps->Request_Product_Data();
    ASSERT_EQ(rig.gps->Prox_Wpt_Data_Format(), "D450");
    const json set = json::parse(R"({"proximity": [
        {"ident": "ROCKS", "lat": 44.5, "lon": -92.5, "dist": 250.0, "comment": "SHALLOW", "prox_index": 0},
        {"ident": "WRECK", "lat": 44.6, "lon": -92.6, "dist": 100.0, "comment": "", "prox_index": 1}]})");
    ASSERT_TRUE(upload(rig, set));
    const auto recs = decoded(rig);
    ASSERT_EQ(recs.size(), 2u);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(recs[std::size_t(i)].first, "proximity");
        expect_same(set["proximity"][i], recs[std::size_t(i)].second, "proximity");
    }
    ASSERT_TRUE(rig.download(Kind::Prox_Waypoints));
    ASSERT_EQ(rig.events.waypoints->size(), 2u);
    expect_waypoint(set["proximity"][1], *(*rig.events.waypoints)[1], "downloaded proximity");
}

TEST(SerialUpload, CountQueryBeforeAnUploadDoesNotSilenceIt)
{
    Rig rig("array-unit");
    rig.gps->Request_Counts();
    ASSERT_TRUE(upload(rig, only("waypoints")));
    EXPECT_TRUE(rig.events.errors.empty());
}

const int kLongUpload = std::getenv("CMDS_LONG") ? std::atoi(std::getenv("CMDS_LONG")) : 32766;

TEST(SerialUpload, LongUploadKeepsAConstantStackDepth)
{
    // 32,766 records, each sent from the Receive handler of the previous
    // acknowledgement. A handler that nested once per record would sink
    // the stack by at least a frame per record.
    Rig rig("array-unit");
    rig.gps->Request_Product_Data();
    json wpts = json::array();
    for (int i = 0; i < kLongUpload; ++i)
        wpts.push_back({{"ident", "W" + std::to_string(i)}, {"lat", 10.0 + i * 1e-4}, {"lon", 20.0}});
    const auto plan = Upload_Plan(*rig.gps, json{{"waypoints", wpts}});
    ASSERT_EQ(plan.size(), 1u);
    Uploader up(*rig.gps, rig.events, rig.pump);
    std::vector<std::string> debug(16);
    std::size_t debug_at = 0;
    rig.events.on_debug = [&](const std::string& t) { debug[debug_at++ % debug.size()] = t; };
    rig.gps->DebugLog(true);
    // The simulator stores all the records before it acknowledges the end of
    // the transfer: the longest reply time-out gives it that time (an end
    // left unacknowledged for two of them ends the upload as any record does).
    rig.gps->Time_Out(5000);
    const bool ran = up.Run(plan[0], 60000);
    if (!ran)
        for (std::size_t k = 0; k < debug.size(); ++k) std::cerr << debug[(debug_at + k) % debug.size()] << "\n";
    if (!ran) {
        auto tr = rig.sim->trace();
        for (std::size_t i = tr.size() > 4 ? tr.size() - 4 : 0; i < tr.size(); ++i) std::cerr << tr[i].dump() << "\n";
        auto& ids = rig.events.received_ids;
        for (std::size_t i = ids.size() > 6 ? ids.size() - 6 : 0; i < ids.size(); ++i) std::cerr << int(ids[i]) << " ";
        std::cerr << " received " << ids.size() << " done " << up.Done() << " failed " << up.Failed() << "\n" << up.Trail() << "\n";
    }
    ASSERT_TRUE(ran) << "sent " << up.Sent() << " errors " << rig.events.errors.size()
                                 << (rig.events.errors.empty() ? "" : rig.events.errors[0].message);
    EXPECT_EQ(up.Sent(), std::size_t(kLongUpload));
    EXPECT_GT(up.Stack_Depth_Early(), 0u);
    // The deepest handler call over the whole upload is no deeper than over
    // its first hundred records (a little slack for the final packet's wait).
    EXPECT_LE(up.Stack_Depth(), up.Stack_Depth_Early() + 4096) << "early " << up.Stack_Depth_Early();
    const auto last = rig.sim->uploads().back();
    EXPECT_EQ(last.value("received", 0), kLongUpload);
}

} // namespace
} // namespace brenvik::commands_test
