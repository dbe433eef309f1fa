// The control against the receiver simulator on a pseudo-terminal: product
// negotiation, port errors, the speed search and the speed change. A few run
// through brenvik-probe, the way a host creates the control by its program
// identifier.
#include "support.h"

#include "platform/events/events.h"
#include "tools/gpsim/gpsim.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <map>
#include <sstream>

namespace brenvik::test {
namespace {

using nlohmann::json;

QCoreApplication& app()
{
    static int argc = 1;
    static char name[] = "control_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication a(argc, argv);
    return a;
}

json waypoints()
{
    return json::array({{{"ident", "HOME"}, {"lat", 45.5}, {"lon", -93.25}, {"symbol", 10}},
                        {{"ident", "CAMP01"}, {"lat", 47.125}, {"lon", -91.5}, {"symbol", 18}}});
}

// A unit that sends a protocol array (D108 waypoints).
json array_unit(int speed = 9600, bool baud_change = true)
{
    return {{"name", "array unit"},
            {"product", {{"id", 128}, {"version", 2.70}, {"descriptions", {"eTrex Legend", "simulator"}}}},
            {"protocol_array", {"P000", "L001", "A010", "A100", "D108", "A201", "D202", "D108", "D210", "A301",
                                "D310", "D301", "A500", "D501", "A600", "D600", "A700", "D700", "A800", "D800"}},
            {"unit_id", 3412345678u},
            {"serial", {{"speed", speed}, {"baud_change", baud_change}}},
            {"waypoints", waypoints()}};
}

// A unit without an array that the product table knows (GPS 12XL 3.61).
json table_unit()
{
    return {{"name", "table unit"},
            {"product", {{"id", 77}, {"version", 3.61}, {"descriptions", {"GPS 12XL"}}}},
            {"formats", {{"waypoint", "D103"}, {"route_header", "D201"}, {"route_waypoint", "D103"},
                         {"track_point", "D300"}, {"proximity", "D403"}, {"almanac", "D501"}}},
            {"waypoints", waypoints()}};
}

// A unit on the second link protocol (GPS III, D150 waypoints).
json l002_unit()
{
    return {{"name", "l002 unit"},
            {"product", {{"id", 20}, {"version", 2.50}, {"descriptions", {"GPS III"}}}},
            {"link", "L002"},
            {"formats", {{"waypoint", "D150"}, {"route_header", "D201"}, {"route_waypoint", "D150"},
                         {"proximity", "D450"}, {"almanac", "D550"}}},
            {"waypoints", waypoints()}};
}

struct Unit {
    gpsim::Simulator sim;
    explicit Unit(const json& scenario, gpsim::Options options = {})
        : sim(gpsim::parse_scenario(scenario), std::move(options))
    {
        sim.start();
    }
    ~Unit() { sim.stop(); }
};

struct Host {
    std::map<int, std::string> ports;
    std::shared_ptr<platform::Dispatch> object;
    Control* control = nullptr;
    Recorder events;

    Host()
    {
        app();
        Brenvik_Services s;
        s.port_path = [this](int n) { return ports.count(n) ? ports[n] : std::string("/nonexistent/tty"); };
        object = Create_Brenvik(s);
        control = static_cast<Control*>(As_Brenvik(object.get()));
        control->Advise(&events);
    }
    ~Host() { control->PortClose(); }

    std::vector<std::string> lines(const std::string& prefix) const
    {
        std::vector<std::string> out;
        for (const auto& l : events.log)
            if (l.rfind(prefix, 0) == 0) out.push_back(l);
        return out;
    }
};

TEST(EndToEnd, ArrayUnitReportsTheArraysNames)
{
    Unit unit(array_unit());
    Host h;
    h.ports[3] = unit.sim.slave_path();
    h.control->Port(3);
    ASSERT_TRUE(h.control->PortOpen());
    h.control->Request_Product_Data();
    EXPECT_EQ(h.control->Product_Data()->Product_ID, 128);
    EXPECT_EQ(h.control->Product_Data()->Software_Version, 270);
    EXPECT_EQ(h.control->Product_Data()->Product_Description_1, "eTrex Legend");
    EXPECT_TRUE(h.control->Protocol_Array_Received());
    EXPECT_EQ(h.control->Waypoint_Data_Format(), "D108");
    EXPECT_EQ(h.control->Route_Link_Format(), "D210");
    EXPECT_EQ(h.control->Track_Header_Format(), "D310");
    EXPECT_EQ(h.control->Prox_Wpt_Transfer_Protocol(), "    ");
    EXPECT_TRUE(h.lines("cError").empty());
}

TEST(EndToEnd, AnL002UnitThenAnL001UnitBothWork)
{
    Unit old_unit(l002_unit());
    Unit new_unit(table_unit());
    Host h;
    h.ports[3] = old_unit.sim.slave_path();
    h.ports[4] = new_unit.sim.slave_path();
    for (int port : {3, 4, 3}) {
        SCOPED_TRACE(port);
        h.control->PortClose();
        h.control->Port(static_cast<std::int16_t>(port));
        ASSERT_TRUE(h.control->PortOpen());
        h.events.waypoints.reset();
        h.control->Request_Waypoints();
        // The download runs on after the command returns: wait for its end.
        for (int i = 0; i < 600 && !h.events.waypoints; ++i) h.control->WaitFor(50); // up to 30 s
        EXPECT_EQ(h.control->Link_Protocol(), port == 3 ? "L002" : "L001");
        EXPECT_EQ(h.control->PID_Wpt_Data(), port == 3 ? 43 : 35);
        ASSERT_TRUE(h.events.waypoints);
        ASSERT_EQ(h.events.waypoints->size(), 2u);
        EXPECT_EQ(h.events.waypoints->at(1)->Ident.substr(0, 6), "CAMP01");
    }
    EXPECT_TRUE(h.lines("cError").empty()) << h.events.log.front();
}

TEST(EndToEnd, TableUnitGetsTheTablesNames)
{
    Unit unit(table_unit());
    Host h;
    h.ports[3] = unit.sim.slave_path();
    h.control->Port(3);
    ASSERT_TRUE(h.control->PortOpen());
    h.control->Request_Product_Data();
    EXPECT_FALSE(h.control->Protocol_Array_Received());
    EXPECT_EQ(h.control->Waypoint_Data_Format(), "D103");
    EXPECT_EQ(h.control->Route_Header_Format(), "D201");
    EXPECT_EQ(h.control->Track_Transfer_Protocol(), "A300");
    EXPECT_EQ(h.control->Prox_Wpt_Data_Format(), "D403");
    EXPECT_EQ(h.control->Almanac_Data_Format(), "D501");
}

TEST(EndToEnd, PortErrors)
{
    Unit unit(array_unit());
    Host a, b;
    a.ports[3] = b.ports[3] = unit.sim.slave_path();
    a.control->Port(3);
    b.control->Port(3);
    ASSERT_TRUE(a.control->PortOpen());
    EXPECT_FALSE(b.control->PortOpen());
    EXPECT_EQ(b.lines("cError"), std::vector<std::string>{"cError:0:Port already open - 3"});
    b.control->Port(5);
    EXPECT_FALSE(b.control->PortOpen());
    EXPECT_EQ(b.lines("cError").back(), "cError:0:Unable to open port 5");
    // FindBaud on a port that cannot open ends at once with 0.
    EXPECT_EQ(b.control->FindBaud("9600,N,8,1"), 0);
    EXPECT_EQ(b.lines("cError").back(), "cError:0:Unable to open port 5");
    EXPECT_TRUE(b.lines("HexDebug").empty());
}

TEST(EndToEnd, ChangeBaudRate)
{
    {
        Unit unit(array_unit(9600, true));
        Host h;
        h.ports[3] = unit.sim.slave_path();
        h.control->Port(3);
        ASSERT_TRUE(h.control->PortOpen());
        EXPECT_TRUE(h.control->Change_Baud_Rate(115200));
        EXPECT_EQ(h.control->Settings(), "115200,N,8,1");
        EXPECT_EQ(unit.sim.speed(), 115200);
        h.control->Request_Product_Data();
        EXPECT_EQ(h.control->Product_Data()->Product_ID, 128);
    }
    {
        Unit unit(array_unit(9600, false)); // a unit that does not change speed
        Host h;
        h.ports[3] = unit.sim.slave_path();
        h.control->Port(3);
        ASSERT_TRUE(h.control->PortOpen());
        EXPECT_FALSE(h.control->Change_Baud_Rate(115200));
        EXPECT_EQ(h.control->Settings(), "9600,N,8,1");
        h.control->Request_Product_Data(); // the old speed still works
        EXPECT_EQ(h.control->Product_Data()->Product_ID, 128);
        // A speed the port cannot take is never asked for.
        EXPECT_FALSE(h.control->Change_Baud_Rate(-5));
        EXPECT_EQ(h.control->Settings(), "9600,N,8,1");
    }
}

TEST(EndToEnd, FindBaudWithTheUnitAtTheGivenSettingsProbesOnce)
{
    Unit unit(array_unit(19200));
    Host h;
    h.ports[3] = unit.sim.slave_path();
    h.control->Port(3);
    EXPECT_EQ(h.control->FindBaud("19200,N,8,1"), 19200);
    EXPECT_TRUE(h.lines("HexDebug").empty());
    EXPECT_EQ(h.control->Settings(), "19200,N,8,1");
    // The port stays open at that speed: the unit answers at once.
    h.control->Request_Product_Data();
    EXPECT_EQ(h.control->Product_Data()->Product_ID, 128);
}

TEST(EndToEnd, FindBaudWithNoUnitReportsAndReturnsZero)
{
    json mute = array_unit();
    mute["serial"]["answers"] = false;
    Unit unit(mute);
    Host h;
    h.ports[3] = unit.sim.slave_path();
    h.control->Port(3);
    // (Its waits are counted on the fake clock in ports_test.cpp.)
    EXPECT_EQ(h.control->FindBaud("9600,N,8,1"), 0);
    EXPECT_EQ(h.lines("HexDebug:Trying").size(), 7u);
    ASSERT_FALSE(h.lines("cError").empty());
    EXPECT_EQ(h.lines("cError").back(),
              "cError:0:Can't determine present GPS baud rate.\r\nPower GPS off/on to reset to 9600,N,8,1");
    EXPECT_EQ(h.control->Settings(), "9600,N,8,1");
}

TEST(EndToEnd, FindBaudStopsAtTheFirstEntryForAnNmeaStream)
{
    json nmea = array_unit(4800);
    nmea["serial"]["nmea"] = true;
    gpsim::Options o;
    o.pvt_period_ms = 100;
    Unit unit(nmea, o);
    Host h;
    h.ports[3] = unit.sim.slave_path();
    h.control->Port(3);
    EXPECT_EQ(h.control->FindBaud("9600,N,8,1"), 4800);
    EXPECT_EQ(h.lines("HexDebug:Trying"), std::vector<std::string>{"HexDebug:Trying - 4800,N,8,1"});
}

// brenvik-probe's JSON lines for a command line.
std::vector<json> probe(const std::string& device, const std::string& commands)
{
    std::string cmd = "TREKFOLD_COM3=" + device + " " TREKFOLD_BINARY_DIR "/bin/brenvik-probe --port 3 " + commands;
    std::vector<json> out;
    FILE* p = popen(cmd.c_str(), "r");
    if (!p) return out;
    char buf[8192];
    std::string text;
    while (std::size_t n = fread(buf, 1, sizeof buf, p)) text.append(buf, n);
    pclose(p);
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) out.push_back(json::parse(line, nullptr, false));
    return out;
}

TEST(Probe, FindBaudAgainstAUnitAt38400)
{
    Unit unit(array_unit(38400));
    auto out = probe(unit.sim.slave_path(), "findbaud 9600,N,8,1 product");
    std::vector<std::string> debug;
    json result, product;
    for (const json& j : out) {
        if (j.value("event", "") != "HexDebug") {
        } else if (std::string t = j["args"][0]; t.rfind("PC ** GPS", 0) != 0) {
            debug.push_back(t); // the search's own lines, not the link's time-outs
        }
        if (j.value("command", "") == "findbaud") result = j;
        if (j.value("command", "") == "product") product = j;
    }
    EXPECT_EQ(debug, (std::vector<std::string>{"Negotiating Baud Rate...", "Trying - 4800,N,8,1",
                                               "Trying - 9600,N,8,1", "Trying - 19200,N,8,1",
                                               "Trying - 28800,N,8,1", "Trying - 38400,N,8,1"}));
    EXPECT_EQ(result["result"], 38400);
    EXPECT_EQ(result["Settings"], "38400,N,8,1");
    EXPECT_EQ(product["Product_Data"]["Product_ID"], 128);
    EXPECT_EQ(product["protocols"]["Waypoint_Data_Format"], "D108");
}

TEST(Probe, ChangeBaudAndSend)
{
    Unit unit(array_unit(9600, true));
    auto out = probe(unit.sim.slave_path(), "open change-baud 57600 send 0A 02 00 00 wait 500");
    json change;
    int acks = 0;
    for (const json& j : out) {
        if (j.value("command", "") == "change-baud") change = j;
        if (j.value("event", "") == "Receive" && j["args"][0] == "10 06 02 0A 00 EE 10 03") ++acks;
    }
    EXPECT_EQ(change["result"], true);
    EXPECT_EQ(change["Settings"], "57600,N,8,1");
    EXPECT_EQ(acks, 2); // the probe after the change, and the packet sent
}

TEST(Probe, OpensThePortBeforeTheFirstCommandThatNeedsIt)
{
    Unit unit(table_unit());
    auto out = probe(unit.sim.slave_path(), "product");
    ASSERT_GE(out.size(), 2u);
    EXPECT_EQ(out.front()["command"], "open");
    EXPECT_EQ(out.front()["result"], true);
    json product;
    for (const json& j : out)
        if (j.value("command", "") == "product") product = j;
    EXPECT_EQ(product["Product_Data"]["Product_ID"], 77);
    EXPECT_EQ(product["protocols"]["Waypoint_Data_Format"], "D103");
    // findbaud opens the port itself: no extra open before it.
    out = probe(unit.sim.slave_path(), "findbaud 9600,N,8,1");
    for (const json& j : out) EXPECT_NE(j.value("command", ""), "open");
}

} // namespace
} // namespace brenvik::test
