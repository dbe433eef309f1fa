// Finding and connecting receivers from outside: the probe against
// simulated units on pseudo-terminals named by TREKFOLD_COM<n> (every other
// COM number maps to a missing path) and drive folders in TREKFOLD_DRIVES.
#include "tests/tools/trekfold-probe/probe_run.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <stdlib.h>

namespace {

using probetest::json;
using probetest::ProbeRun;
namespace fs = std::filesystem;

// A folder for the run: settings home, pty links, drives.
struct Place : probetest::Home {
    Place()
    {
        for (int n = 1; n <= 20; ++n)
            ::setenv(("TREKFOLD_COM" + std::to_string(n)).c_str(), (path + "/missing" + std::to_string(n)).c_str(), 1);
        ::setenv("TREKFOLD_DRIVES", (path + "/no-drive").c_str(), 1);
    }

    ProbeRun probe(const std::vector<std::string>& args) const
    {
        std::vector<std::string> a{"--home", path};
        a.insert(a.end(), args.begin(), args.end());
        return probetest::run(a);
    }
    // A mass-storage unit's drive folder, the only drive.
    std::string drive()
    {
        const std::string d = path + "/drive";
        fs::create_directories(d + "/Garmin/GPX");
        fs::create_directories(d + "/Garmin/NewFiles");
        std::ofstream(d + "/Garmin/GarminDevice.xml")
            << "<Device><Model><PartNumber>006-B0450-00</PartNumber><SoftwareVersion>370</SoftwareVersion>"
               "<Description>Oregon 450</Description></Model><Id>3400000001</Id>"
               "<RegistrationCode>REG-9</RegistrationCode><MassStorageMode><DataType><Name>GPSData</Name>"
               "<File><Location><Path>Garmin/GPX</Path><BaseName>Current</BaseName><FileExtension>gpx"
               "</FileExtension></Location><TransferDirection>OutputFromUnit</TransferDirection></File>"
               "<File><Location><Path>Garmin/NewFiles</Path></Location><TransferDirection>InputToUnit"
               "</TransferDirection></File></DataType></MassStorageMode></Device>";
        std::ofstream(d + "/Garmin/GPX/Current.gpx")
            << "<gpx version=\"1.1\"><wpt lat=\"1\" lon=\"2\"/><wpt lat=\"1\" lon=\"3\"/><wpt lat=\"1\" lon=\"4\"/>"
               "<rte><rtept lat=\"1\" lon=\"2\"/></rte><trk><trkseg><trkpt lat=\"1\" lon=\"2\"/></trkseg></trk>"
               "<trk/></gpx>";
        ::setenv("TREKFOLD_DRIVES", d.c_str(), 1);
        return d;
    }
};

// The receiver simulator as a program, linked as COM n.
struct Unit {
    QProcess p;
    Unit(const Place& place, const std::string& scenario, int n)
    {
        const std::string link = place.path + "/com" + std::to_string(n);
        p.start(TREKFOLD_BINARY_DIR "/bin/gpsim",
                {"--scenario", QString::fromStdString(TREKFOLD_SOURCE_DIR "/tools/gpsim/scenarios/" + scenario),
                 "--link", QString::fromStdString(link)});
        // Ready once the link is there (the simulator's first act), or gone.
        for (int i = 0; i < 3000 && !fs::exists(link) && p.state() != QProcess::NotRunning; ++i) p.waitForFinished(20);
        ::setenv(("TREKFOLD_COM" + std::to_string(n)).c_str(), link.c_str(), 1);
    }
    ~Unit()
    {
        p.terminate();
        p.waitForFinished(10000);
    }
};

TEST(ProbeDiscovery, StartUpConnectsTheStoredPortOrSaysItDoesNotExist)
{
    Place place;
    Unit unit(place, "d110-array-unit.json", 3);
    ProbeRun r = place.probe({"--port", "3", "window", "frmMain", "window", "frmInfo", "menus"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.with("chooser").empty()); // no search
    EXPECT_EQ(r.window("frmMain")["StatusBar1"][0], "Connected");
    const json info = r.window("frmInfo")["controls"];
    EXPECT_EQ(info["lblProductID"]["text"], "PID 292");
    EXPECT_EQ(info["lbldate"]["text"], "9/10/2023");              // asked for date and time
    EXPECT_NE(r.window("frmMain")["controls"]["lbllat"]["text"], ""); // and for its position
    const json menus = r.with("menus").at(0)["menus"];
    EXPECT_EQ(menus["mnuPort(3)"]["enabled"], true);
    EXPECT_EQ(menus["mnuPort(3)"]["checked"], true);
    for (const char* other : {"mnuPort(1)", "mnuPort(4)", "mnuPort(20)"}) EXPECT_EQ(menus[other]["enabled"], false) << other;

    ProbeRun missing = place.probe({"--port", "9", "window", "frmMain"});
    ASSERT_EQ(missing.status, 0) << missing.err;
    const auto boxes = missing.with("box");
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0]["box"], "Port 9 does not exist");
    EXPECT_EQ(boxes[0]["title"], "");
    EXPECT_EQ(boxes[0]["style"], 16);
    EXPECT_EQ(missing.window("frmMain")["StatusBar1"][0], "Not Connected");
}

TEST(ProbeDiscovery, AutoConnectListsEveryUnitAndConnectsTheChosenOne)
{
    Place place;
    Unit only9600(place, "d110-array-unit.json", 3);
    Unit any(place, "any-speed-unit.json", 4);
    Unit nmea(place, "nmea-4800-unit.json", 5);
    const std::string drive = place.drive();
    ProbeRun r = place.probe({"--port", "3", "menus", "answer", "NMEA on Port 5  ", "menu", "mnuAutoGPSConnect",
                         "window", "frmMain"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto chooser = r.with("chooser");
    ASSERT_EQ(chooser.size(), 1u);
    const json& c = chooser[0]["chooser"];
    EXPECT_EQ(c["status"], "Multiple GPS units found.  Please select the unit you'd like to connect to.");
    EXPECT_EQ(c["items"], (json{"GPSMAP 60CSx Software Version 3.60  VERBMAP Americas Recreational Basemap 4.00",
                                 "GPSMAP 76CSx Software Version 2.80  Any speed",
                                 "GPSMAP 76CSx Software Version 2.80  Any speed", "NMEA on Port 5  ",
                                 "Oregon 450  370"}));
    EXPECT_EQ(c["text"], "Oregon 450  370");
    EXPECT_EQ(c["hint"], "Upload To: " + drive + "/Garmin/NewFiles/, Download From: " + drive +
                             "/Garmin/GPX/Current.gpx");
    EXPECT_TRUE(r.box("Your GPS is in NMEA mode.  For upload/download capabilities\r\nswitch the GPS's Interface "
                      "Mode to 'GARMIN', then reconnect."));
    const json main = r.window("frmMain");
    EXPECT_EQ(main["StatusBar1"][0], "Connected");
    EXPECT_EQ(main["controls"]["optRTWpt"]["value"], true);
    const std::string ini = place.ini();
    EXPECT_NE(ini.find("port=5"), std::string::npos) << ini;
    EXPECT_NE(ini.find("Settings=4800,N,8,1"), std::string::npos) << ini;

    ProbeRun cancel = place.probe({"--port", "3", "menus", "answer", "Cancel", "menu", "mnuAutoGPSConnect", "window",
                              "frmMain"});
    ASSERT_EQ(cancel.status, 0) << cancel.err;
    ASSERT_EQ(cancel.with("chooser").size(), 1u);
    EXPECT_EQ(cancel.window("frmMain")["StatusBar1"][0], "Not Connected"); // the search closed the port
    EXPECT_NE(place.ini().find("port=3"), std::string::npos);
}

TEST(ProbeDiscovery, StoredUsbConnectsTheDriveAndNothingLeavesTheChooserShown)
{
    Place place;
    const std::string drive = place.drive();
    ProbeRun r = place.probe({"--port", "0", "window", "frmMain", "window", "frmInfo", "menus"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json main = r.window("frmMain");
    EXPECT_EQ(main["StatusBar1"][0], "Connected");
    EXPECT_EQ(main["controls"]["lblGPSDesc1"]["text"], "Oregon 450  370");
    const json info = r.window("frmInfo")["controls"];
    EXPECT_EQ(info["lblGPSDesc1"]["text"], "Oregon 450  370");
    EXPECT_EQ(info["lblGPSDesc2"]["text"], "Registration Code: REG-9;  Part Number: 006-B0450-00");
    EXPECT_EQ(info["lblMode1"]["text"], "USB");
    EXPECT_EQ(info["lblProductID"]["text"], "ID: 3400000001");
    EXPECT_EQ(info["lblWaypointscnt"]["text"], "3");
    EXPECT_EQ(info["lblTrackPointscnt"]["text"], "2");
    EXPECT_EQ(info["lblRoutePointscnt"]["text"], "1");
    EXPECT_EQ(info["lblFormat1"]["text"], "Download Location: " + drive + "/Garmin/GPX/Current.gpx");
    EXPECT_EQ(info["lblFormat2"]["text"], "Upload Location: " + drive + "/Garmin/NewFiles/");
    EXPECT_EQ(r.with("menus").at(0)["menus"]["mnuPort(0)"]["checked"], true);
    EXPECT_NE(place.ini().find("port=0"), std::string::npos);

    fs::remove_all(drive);
    ProbeRun none = place.probe({"--port", "0", "menu", "mnuAutoGPSConnect", "window", "frmGPSStatus"});
    ASSERT_EQ(none.status, 0) << none.err;
    const json chooser = none.window("frmGPSStatus");
    EXPECT_EQ(chooser["visible"], true);
    EXPECT_EQ(chooser["caption"], "Auto Connect Status");
    EXPECT_EQ(chooser["controls"]["lblStatus"]["caption"],
              "No GPS Units Found!  Check the following:\r\n  1) Your GPS is turned on\n  2) You have the latest "
              "driver installed for your GPS (USB Only)\n  3) You have the latest firmware installed on your GPS");
    EXPECT_EQ(chooser["controls"]["cmdConnect"]["enabled"], false);
    const json list = chooser["controls"]["cboGPSUnits"];
    EXPECT_EQ(list["text"], "");
    EXPECT_EQ(list["enabled"], false);
    EXPECT_EQ(list["items"], json::array());
    EXPECT_EQ(list["hint"], "");
}

} // namespace
