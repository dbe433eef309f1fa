// gpsbabel as the other host: what it uploads into the simulated receiver,
// our decoders read back as it was; what we upload, it downloads as it was.
#include "tests/device/commands/rig.h"

#include "device/protocols/codec/decode.h"
#include "tests/support/files.h"

#include <QByteArray>
#include <QXmlStreamReader>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include <unistd.h>

namespace brenvik::commands_test {
namespace {

// Files of this process only: ctest runs the tests side by side.
std::string tmp(const std::string& name) { return ::testing::TempDir() + std::to_string(::getpid()) + "_" + name; }

int gpsbabel(const std::string& args, const std::string& log)
{
    const std::string cmd = "timeout 120 gpsbabel " + args + " >" + log + " 2>&1";
    return std::system(cmd.c_str());
}

using test_support::read_file;

// The host packets the simulator took in, decoded by our own decoders in
// the order they came, the way the dispatcher does.
RecordStore decode_trace(const std::vector<json>& trace, const gpsim::Scenario& sc)
{
    RecordStore store;
    for (const json& t : trace) {
        if (t.value("dir", "") != "in" || !t.contains("id") || t.contains("status")) continue;
        const int id = t["id"];
        const std::string hex = t.value("data", "");
        std::vector<std::uint8_t> p{0x10, std::uint8_t(id), std::uint8_t(hex.size() / 2)};
        for (std::size_t k = 0; k + 1 < hex.size(); k += 2) p.push_back(std::uint8_t(std::stoi(hex.substr(k, 2), nullptr, 16)));
        p.insert(p.end(), {0, 0x10, 0x03});
        const PacketView v(p.data(), p.size());
        const auto& F = sc.formats;
        if (id == sc.ids.wpt_data) Decode_Waypoint(F.waypoint, v, store, Waypoint_Packet::Plain);
        else if (id == sc.ids.rte_hdr) Decode_Route_Header(F.route_header, v, store);
        else if (id == sc.ids.rte_wpt) Decode_Waypoint(F.route_waypoint, v, store, Waypoint_Packet::Route);
        else if (id == sc.ids.rte_link) Decode_Route_Link(v, store);
        else if (id == sc.ids.trk_hdr) Decode_Track_Header(F.track_header, v, store);
        else if (id == sc.ids.trk_data) Decode_Track_Point(F.track_point, v, store);
    }
    return store;
}

const char* kGpx = R"(<?xml version="1.0" encoding="UTF-8"?>
<gpx version="1.1" creator="trekfold tests" xmlns="http://www.topografix.com/GPX/1/1">
  <wpt lat="44.250000" lon="-92.125000"><ele>300.500000</ele><name>ALPHA</name><cmt>FIRST ONE</cmt></wpt>
  <wpt lat="-12.500000" lon="130.750000"><name>BRAVO</name></wpt>
  <wpt lat="0.500000" lon="179.500000"><ele>-20.000000</ele><name>CHARLI</name></wpt>
  <rte><name>RIVER</name>
    <rtept lat="44.000000" lon="-92.000000"><name>R1</name></rtept>
    <rtept lat="44.100000" lon="-92.100000"><name>R2</name></rtept>
    <rtept lat="44.200000" lon="-92.200000"><name>R3</name></rtept>
  </rte>
  <trk><name>MORNING</name>
    <trkseg>
      <trkpt lat="44.000000" lon="-92.000000"><ele>250.000000</ele><time>2024-06-01T06:00:00Z</time></trkpt>
      <trkpt lat="44.001000" lon="-92.001000"><ele>251.000000</ele><time>2024-06-01T06:00:10Z</time></trkpt>
    </trkseg>
    <trkseg>
      <trkpt lat="44.010000" lon="-92.010000"><ele>260.000000</ele><time>2024-06-01T07:00:00Z</time></trkpt>
      <trkpt lat="44.011000" lon="-92.011000"><ele>261.000000</ele><time>2024-06-01T07:00:10Z</time></trkpt>
    </trkseg>
  </trk>
</gpx>
)";

TEST(GpsbabelPeer, ItsUploadDecodesWithOurDecoders)
{
    gpsim::Scenario sc = scenario("array-unit");
    sc.waypoints = sc.routes = sc.tracks = json::array();
    const gpsim::Scenario kept = sc;
    gpsim::Simulator sim(std::move(sc), gpsim::Options{});
    sim.start();
    const std::string gpx = tmp("peer_in.gpx"), log = tmp("peer_up.log");
    {
        std::ofstream out(gpx);
        out << kGpx;
    }
    const int rc = gpsbabel("-w -r -t -i gpx -f " + gpx + " -o garmin -F " + sim.slave_path(), log);
    sim.stop();
    ASSERT_EQ(rc, 0) << read_file(log);

    RecordStore s = decode_trace(sim.trace(), kept);
    // The waypoint transfer first; route points join the waypoint list too.
    ASSERT_TRUE(s.Waypoints);
    ASSERT_EQ(s.Waypoints->size(), 3u + 3u);
    expect_waypoint({{"ident", "ALPHA"}, {"lat", 44.25}, {"lon", -92.125}, {"alt", 300.5}, {"comment", "FIRST ONE"}},
                    *(*s.Waypoints)[0], "ALPHA");
    expect_waypoint({{"ident", "BRAVO"}, {"lat", -12.5}, {"lon", 130.75}}, *(*s.Waypoints)[1], "BRAVO");
    expect_waypoint({{"ident", "CHARLI"}, {"lat", 0.5}, {"lon", 179.5}, {"alt", -20.0}}, *(*s.Waypoints)[2], "CHARLI");

    ASSERT_TRUE(s.Routes);
    ASSERT_EQ(s.Routes->size(), 1u);
    const cRoute& r = *(*s.Routes)[0];
    EXPECT_EQ(r.Ident, "RIVER");
    ASSERT_TRUE(r.Waypoints);
    ASSERT_EQ(r.Waypoints->size(), 3u);
    expect_waypoint({{"ident", "R1"}, {"lat", 44.0}, {"lon", -92.0}}, *(*r.Waypoints)[0], "R1");
    expect_waypoint({{"ident", "R3"}, {"lat", 44.2}, {"lon", -92.2}}, *(*r.Waypoints)[2], "R3");

    ASSERT_TRUE(s.Tracks);
    json tracks = json::parse(R"([{"ident": "MORNING", "points": [
        {"lat": 44.0, "lon": -92.0, "alt": 250.0, "time": "2024-06-01T06:00:00Z", "new_segment": true},
        {"lat": 44.001, "lon": -92.001, "alt": 251.0, "time": "2024-06-01T06:00:10Z"},
        {"lat": 44.01, "lon": -92.01, "alt": 260.0, "time": "2024-06-01T07:00:00Z", "new_segment": true},
        {"lat": 44.011, "lon": -92.011, "alt": 261.0, "time": "2024-06-01T07:00:10Z"}]}])");
    // gpsbabel's own colour and display choice for the header are not compared.
    ASSERT_EQ(s.Tracks->size(), 5u);
    EXPECT_EQ((*s.Tracks)[0]->Ident, "MORNING");
    for (int k = 0; k < 4; ++k) {
        json w = tracks[0]["points"][k];
        if (!w.contains("new_segment")) w["new_segment"] = false;
        expect_track_point(w, *(*s.Tracks)[std::size_t(k) + 1], "track point");
    }
}

// Reads a GPX file's waypoints, route points and track points.
struct Gpx {
    struct Point {
        std::string name, time;
        double lat = 0, lon = 0, ele = 0;
        bool has_ele = false;
    };
    std::vector<Point> wpts;
    std::vector<std::pair<std::string, std::vector<Point>>> routes, tracks;
};

Gpx read_gpx(const std::string& path)
{
    Gpx g;
    QXmlStreamReader x(QByteArray::fromStdString(read_file(path)));
    Gpx::Point* pt = nullptr;
    std::string* owner_name = nullptr;
    std::string text_of;
    while (!x.atEnd()) {
        x.readNext();
        const std::string n = x.name().toString().toStdString();
        if (x.isStartElement()) {
            if (n == "wpt" || n == "rtept" || n == "trkpt") {
                Gpx::Point p;
                p.lat = x.attributes().value("lat").toDouble();
                p.lon = x.attributes().value("lon").toDouble();
                if (n == "wpt") g.wpts.push_back(p), pt = &g.wpts.back();
                else if (n == "rtept") g.routes.back().second.push_back(p), pt = &g.routes.back().second.back();
                else g.tracks.back().second.push_back(p), pt = &g.tracks.back().second.back();
            } else if (n == "rte") {
                g.routes.emplace_back();
                owner_name = &g.routes.back().first;
            } else if (n == "trk") {
                g.tracks.emplace_back();
                owner_name = &g.tracks.back().first;
            } else if (n == "name" || n == "ele" || n == "time") {
                const std::string v = x.readElementText().toStdString();
                if (pt) {
                    if (n == "name") pt->name = v;
                    else if (n == "time") pt->time = v;
                    else pt->ele = std::stod(v), pt->has_ele = true;
                } else if (owner_name && n == "name") {
                    *owner_name = v;
                }
            }
        } else if (x.isEndElement() && (n == "wpt" || n == "rtept" || n == "trkpt")) {
            pt = nullptr;
        } else if (x.isEndElement() && (n == "rte" || n == "trk")) {
            owner_name = nullptr;
        }
    }
    EXPECT_FALSE(x.hasError()) << x.errorString().toStdString();
    return g;
}

TEST(GpsbabelPeer, OurUploadDownloadsIntoGpx)
{
    const json set = json::parse(R"({
      "waypoints": [{"ident": "ALPHA", "lat": 44.25, "lon": -92.125, "alt": 300.5},
                    {"ident": "BRAVO", "lat": -12.5, "lon": 130.75, "alt": 12.0}],
      "routes": [{"ident": "RIVER", "points": [{"ident": "R1", "lat": 44.0, "lon": -92.0},
                                               {"ident": "R2", "lat": 44.1, "lon": -92.1}]}],
      "tracks": [{"ident": "MORNING", "points": [
          {"lat": 44.0, "lon": -92.0, "alt": 250.0, "time": "2024-06-01T06:00:00Z"},
          {"lat": 44.001, "lon": -92.001, "alt": 251.0, "time": "2024-06-01T06:00:10Z"}]}]})");
    gpsim::Scenario sc = scenario("array-unit");
    sc.waypoints = sc.routes = sc.tracks = json::array();
    auto rig = std::make_unique<Rig>(std::move(sc));
    rig->gps->Request_Product_Data();
    probe::Uploader up(*rig->gps, rig->events, rig->pump);
    for (const auto& steps : probe::Upload_Plan(*rig->gps, set)) ASSERT_TRUE(up.Run(steps));
    rig->gps->PortClose();  // the port is gpsbabel's now

    const std::string out = tmp("peer_out.gpx"), log = tmp("peer_down.log");
    const int rc = gpsbabel("-w -r -t -i garmin -f " + rig->sim->slave_path() + " -o gpx -F " + out, log);
    ASSERT_EQ(rc, 0) << read_file(log);
    const Gpx g = read_gpx(out);

    ASSERT_EQ(g.wpts.size(), 2u);
    for (std::size_t k = 0; k < 2; ++k) {
        const json& w = set["waypoints"][k];
        EXPECT_EQ(g.wpts[k].name, w["ident"].get<std::string>());
        EXPECT_NEAR(g.wpts[k].lat, w["lat"].get<double>(), 1e-6);
        EXPECT_NEAR(g.wpts[k].lon, w["lon"].get<double>(), 1e-6);
        EXPECT_TRUE(g.wpts[k].has_ele);
        EXPECT_NEAR(g.wpts[k].ele, w["alt"].get<double>(), 1e-3);
    }
    ASSERT_EQ(g.routes.size(), 1u);
    EXPECT_EQ(g.routes[0].first, "RIVER");
    ASSERT_EQ(g.routes[0].second.size(), 2u);
    EXPECT_EQ(g.routes[0].second[1].name, "R2");
    EXPECT_NEAR(g.routes[0].second[1].lat, 44.1, 1e-6);
    ASSERT_EQ(g.tracks.size(), 1u);
    EXPECT_EQ(g.tracks[0].first, "MORNING");
    ASSERT_EQ(g.tracks[0].second.size(), 2u);
    EXPECT_EQ(g.tracks[0].second[1].time, "2024-06-01T06:00:10Z");
    EXPECT_NEAR(g.tracks[0].second[1].ele, 251.0, 1e-3);
    EXPECT_NEAR(g.tracks[0].second[1].lon, -92.001, 1e-6);
}

} // namespace
} // namespace brenvik::commands_test
