// A control connected to the receiver simulator over a pseudo-terminal, on
// the real event loop, with the host-side transfer driver of brenvik-probe.
#pragma once

#include "device/protocols/brenvik.h"
#include "tests/support/files.h"
#include "platform/events/events.h"
#include "tools/brenvik-probe/transfer_host.h"
#include "tools/gpsim/gpsim.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <unistd.h>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

namespace brenvik::commands_test {

using nlohmann::json;
using probe::Kind;
using probe::Transfer_Events;

inline QCoreApplication& app()
{
    static int argc = 1;
    static char name[] = "commands_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication a(argc, argv);
    return a;
}

inline std::string scenario_path(const std::string& name)
{
    return std::string(TREKFOLD_SOURCE_DIR) + "/tests/device/commands/scenarios/" + name + ".json";
}

inline gpsim::Scenario scenario(const std::string& name) { return gpsim::load_scenario_file(scenario_path(name)); }

inline json scenario_json(const std::string& name)
{
    return json::parse(test_support::read_file(scenario_path(name)));
}

// One simulated receiver and one control talking to it at 9600 baud.
struct Rig {
    platform::EventPump& pump;
    std::unique_ptr<gpsim::Simulator> sim;
    std::shared_ptr<platform::Dispatch> object;
    Brenvik* gps = nullptr;
    Transfer_Events events;
    std::shared_ptr<std::string> path = std::make_shared<std::string>();

    explicit Rig(gpsim::Scenario sc, gpsim::Options opt = {}, int baud = 9600) : pump((app(), platform::qt_event_pump()))
    {
        sim = std::make_unique<gpsim::Simulator>(std::move(sc), std::move(opt));
        sim->start();
        *path = sim->slave_path();
        Brenvik_Services s;
        s.port_path = [p = path](int) { return *p; };
        object = Create_Brenvik(s);
        gps = As_Brenvik(object.get());
        gps->Advise(&events);
        gps->Port(1);
        gps->Settings(std::to_string(baud) + ",N,8,1");
        EXPECT_TRUE(gps->PortOpen());
    }
    explicit Rig(const std::string& name, gpsim::Options opt = {}) : Rig(scenario(name), std::move(opt)) {}
    ~Rig()
    {
        gps->Advise(nullptr);
        gps->PortClose();
        object.reset();
        sim->stop();
    }

    // Another receiver on the same port: the control keeps its state.
    void switch_to(gpsim::Scenario sc, gpsim::Options opt = {})
    {
        gps->PortClose();
        sim->stop();
        sim = std::make_unique<gpsim::Simulator>(std::move(sc), std::move(opt));
        sim->start();
        *path = sim->slave_path();
        EXPECT_TRUE(gps->PortOpen());
    }

    bool download(Kind kind) { return probe::Download(*gps, events, pump, kind, 20000); }

    // Lets events run for a while (e.g. to see that nothing more arrives).
    void settle(int ms) { pump.wait_until([] { return false; }, pump.clock().now_us() + std::int64_t(ms) * 1000); }

    // Packets the simulator received from the host (not ACK/NAK), in order:
    // {id, data as upper-case hex}. The simulator runs on its own thread: the
    // list is read once it holds at least `at_least` packets (or after a
    // deadline long enough for a busy machine), and a moment later.
    std::vector<std::pair<int, std::string>> host_packets(std::size_t at_least = 0)
    {
        auto read = [this] {
            std::vector<std::pair<int, std::string>> out;
            for (const json& t : sim->trace()) {
                if (t.value("dir", "") != "in" || !t.contains("id")) continue;
                const int id = t["id"].get<int>();
                if (id == 6 || id == 21) continue;
                out.emplace_back(id, t.value("data", ""));
            }
            return out;
        };
        pump.wait_until([&] { return read().size() >= at_least; }, pump.clock().now_us() + 30'000'000);
        settle(50);
        return read();
    }
};

// A control on the scripted fake USB device (Port 0), its writes recorded
// in a file of this process and test.
struct Usb_Control {
    std::string record;
    std::shared_ptr<platform::Dispatch> object;
    Brenvik* gps = nullptr;
    Usb_Control(const std::string& scenario, BrenvikEvents& events)
    {
        app();
        // One file per process: ctest runs the tests side by side.
        record = ::testing::TempDir() + "usb_record_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".txt";
        std::remove(record.c_str());
        setenv("TREKFOLD_USB_FAKE", scenario.c_str(), 1);
        setenv("TREKFOLD_USB_FAKE_RECORD", record.c_str(), 1);
        object = Create_Brenvik({});
        gps = As_Brenvik(object.get());
        gps->Advise(&events);
        gps->Port(0);
        EXPECT_TRUE(gps->PortOpen());
    }
    ~Usb_Control()
    {
        gps->Advise(nullptr);
        gps->PortClose();
        object.reset();
        unsetenv("TREKFOLD_USB_FAKE");
        unsetenv("TREKFOLD_USB_FAKE_RECORD");
        std::remove(record.c_str());
    }
};

inline std::string rtrim(std::string s)
{
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

// ---- field-by-field comparison with the simulator's JSON ------------------

inline void expect_waypoint(const json& want, const cWaypoint& got, const std::string& where)
{
    SCOPED_TRACE(where + " " + want.dump());
    for (auto it = want.begin(); it != want.end(); ++it) {
        const std::string& k = it.key();
        const json& v = it.value();
        if (k == "ident") EXPECT_EQ(got.Ident, v.get<std::string>());
        else if (k == "lat") EXPECT_NEAR(got.Lat, v.get<double>(), 1e-6);
        else if (k == "lon") EXPECT_NEAR(got.Lon, v.get<double>(), 1e-6);
        else if (k == "comment") EXPECT_EQ(got.Cmnt, v.get<std::string>());
        else if (k == "symbol") EXPECT_EQ(got.Smbl, v.get<int>());
        else if (k == "display") EXPECT_EQ(got.Dspl, v.get<int>());
        else if (k == "color") EXPECT_EQ(got.Color, v.get<int>());
        else if (k == "alt") EXPECT_NEAR(got.Alt, v.get<double>(), 1e-3);
        else if (k == "depth") EXPECT_NEAR(got.Dpth, v.get<double>(), 1e-3);
        else if (k == "dist") EXPECT_NEAR(got.Dist, v.get<double>(), 1e-3);
        else if (k == "temp") EXPECT_NEAR(got.Temp, v.get<double>(), 1e-3);
        else if (k == "class") EXPECT_EQ(got.Wpt_Class, v.get<int>());
        else if (k == "category") EXPECT_EQ(got.Wpt_Category, v.get<int>());
        else if (k == "state") EXPECT_EQ(got.State, v.get<std::string>());
        else if (k == "country") EXPECT_EQ(got.Country, v.get<std::string>());
        else if (k == "city") EXPECT_EQ(got.City, v.get<std::string>());
        else if (k == "address") EXPECT_EQ(got.Address, v.get<std::string>());
        else if (k == "facility") EXPECT_EQ(got.Facility, v.get<std::string>());
        else if (k == "cross_road") EXPECT_EQ(got.Cross_Road, v.get<std::string>());
        else if (k == "prox_index") EXPECT_EQ(got.Prox_Index, v.get<int>());
        else if (k == "time")
            EXPECT_EQ(static_cast<std::uint32_t>(got.Time_Seconds), *probe::Iso_To_Device_Seconds(v.get<std::string>()));
        else ADD_FAILURE() << "no comparison for key " << k;
    }
}

inline void expect_track_point(const json& want, const cTrack& got, const std::string& where)
{
    SCOPED_TRACE(where + " " + want.dump());
    for (auto it = want.begin(); it != want.end(); ++it) {
        const std::string& k = it.key();
        const json& v = it.value();
        if (k == "lat") EXPECT_NEAR(got.Lat, v.get<double>(), 1e-6);
        else if (k == "lon") EXPECT_NEAR(got.Lon, v.get<double>(), 1e-6);
        else if (k == "alt") EXPECT_NEAR(got.Alt, v.get<double>(), 1e-3);
        else if (k == "depth") EXPECT_NEAR(got.Dpth, v.get<double>(), 1e-3);
        else if (k == "temp") EXPECT_NEAR(got.Temp, v.get<double>(), 1e-3);
        else if (k == "new_segment") EXPECT_EQ(got.New_Segment, v.get<bool>());
        else if (k == "time")
            EXPECT_EQ(static_cast<std::uint32_t>(got.Seconds), *probe::Iso_To_Device_Seconds(v.get<std::string>()));
        else ADD_FAILURE() << "no comparison for key " << k;
    }
}

// Routes: header fields, every point, and the last link (the control keeps
// the fields of the last link it decoded on the route).
inline void expect_routes(const json& want, const RecordList<cRoute>& got)
{
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        const json& r = want[i];
        const cRoute& g = *got[i];
        SCOPED_TRACE("route " + std::to_string(i));
        if (r.contains("number")) {
            EXPECT_EQ(g.Number, r["number"].get<int>());
        }
        if (r.contains("ident")) {
            EXPECT_EQ(g.Ident, r["ident"].get<std::string>());
        }
        // Fixed-width comments come back padded with blanks.
        if (r.contains("comment")) {
            EXPECT_EQ(rtrim(g.Cmnt), r["comment"].get<std::string>());
        }
        const json pts = r.value("points", json::array());
        ASSERT_TRUE(g.Waypoints);
        ASSERT_EQ(g.Waypoints->size(), pts.size());
        for (std::size_t k = 0; k < pts.size(); ++k) expect_waypoint(pts[k], *(*g.Waypoints)[k], "point");
        const json links = r.value("links", json::array());
        if (!links.empty()) {
            const json& last = links.back();
            if (last.contains("class")) {
                EXPECT_EQ(g.Link_Class, last["class"].get<int>());
            }
            if (last.contains("ident")) {
                EXPECT_EQ(g.Link_Ident, last["ident"].get<std::string>());
            }
        }
    }
}

// Tracks as the control lists them: with headers, each track's header
// record and then its points; without, the points only. Every point carries
// its track's name, colour and display flag.
inline void expect_tracks(const json& want, const RecordList<cTrack>& got, bool headers)
{
    std::size_t n = 0;
    for (const json& t : want) n += (headers ? 1 : 0) + t.value("points", json::array()).size();
    ASSERT_EQ(got.size(), n);
    std::size_t at = 0;
    for (std::size_t i = 0; i < want.size(); ++i) {
        const json& t = want[i];
        SCOPED_TRACE("track " + std::to_string(i));
        const std::string ident = t.value("ident", "");
        if (headers) {
            const cTrack& h = *got[at++];
            EXPECT_EQ(h.Ident, ident);
            EXPECT_EQ(h.Color, t.value("color", 255));
            EXPECT_EQ(h.Dspl, t.value("display", true));
        }
        const json pts = t.value("points", json::array());
        for (std::size_t k = 0; k < pts.size(); ++k) {
            const cTrack& p = *got[at++];
            json w = pts[k];
            if (k == 0 && !w.contains("new_segment")) w["new_segment"] = true;  // a track starts a segment
            if (!w.contains("new_segment")) w["new_segment"] = false;
            expect_track_point(w, p, "point " + std::to_string(k));
            EXPECT_EQ(p.Ident, ident);
        }
    }
}

} // namespace brenvik::commands_test
