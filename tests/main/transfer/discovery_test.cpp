// Finding and connecting the receiver with a control that plays units per
// port and speed: the search and its chooser, both connect procedures, the
// port menu, and the drive list.
#include "tests/main/transfer/drive.h"

#include "main/app/frm_info.h"
#include "main/transfer/discovery.h"
#include "main/transfer/garmin_usb.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>

namespace fs = std::filesystem;
using testing::ElementsAre;

namespace {

void write(const std::string& path, const std::string& text)
{
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

// A drive folder holding a unit's description file (upload and download
// folders optional) and a GPX file with 2 waypoints and 1 track.
void make_drive(const std::string& folder, const std::string& description, bool upload = true,
                bool download = true)
{
    auto file = [](const char* direction, const char* path) {
        return std::string("<File><Location><Path>") + path +
               "</Path><BaseName>Current</BaseName><FileExtension>gpx</FileExtension></Location>"
               "<TransferDirection>" + direction + "</TransferDirection></File>";
    };
    write(folder + "/GARMIN/GarminDevice.XML",
          "<Device><Model><PartNumber>006-B0</PartNumber><SoftwareVersion>270</SoftwareVersion><Description>" +
              description + "</Description></Model><Id>77</Id><RegistrationCode>R-1</RegistrationCode>"
              "<MassStorageMode><DataType><Name>GPSData</Name>" +
              (upload ? file("InputToUnit", "Garmin/NewFiles") : "") +
              (download ? file("OutputFromUnit", "Garmin/GPX") : "") + "</DataType></MassStorageMode></Device>");
    write(folder + "/Garmin/GPX/Current.gpx",
          "<gpx version=\"1.0\"><wpt lat=\"1\" lon=\"2\"/><wpt lat=\"1\" lon=\"3\"/>"
          "<trk><trkseg><trkpt lat=\"1\" lon=\"2\"/></trkseg></trk></gpx>");
}

// Units that answer on a port at some speeds: binary ones with their two
// product texts, NMEA ones with a sentence.
struct Finder : apptest::Drive {
    struct Unit {
        int port;
        std::set<std::string> rates;
        std::string desc1, desc2;
        bool nmea = false;
    };
    std::vector<Unit> units;
    std::vector<std::string> drives;
    std::vector<std::string> chooser_seen; // list items when asked to choose
    std::string status_seen;               // and the status then
    std::string answer;                    // "", "Cancel" or an item's text

    Finder()
    {
        garmin.on["Request_Product_Data"] = [this] { answer_product(); };
        dynamic_cast<apptest::RecordingTransfer&>(main.transfer()).forward_menus = true;
        transfer::GPS_Status(main).wait_choice = [this](transfer::frmGPSStatus& f) {
            chooser_seen = f.control("cboGPSUnits").items;
            status_seen = f.control("lblStatus").caption;
            if (answer == "Cancel") return void(f.Click("cmdCancel"));
            if (answer == "close") return f.Close();
            if (!answer.empty()) f.SetText("cboGPSUnits", answer);
            f.Click("cmdConnect");
        };
        log.clear();
    }
    ~Finder() { ::unsetenv("TREKFOLD_DRIVES"); }

    void port(int n)
    {
        const std::string path = dir.path + "/dev/com" + std::to_string(n);
        write(path, "");
        env["TREKFOLD_COM" + std::to_string(n)] = path;
    }
    std::string drive(const std::string& name, const std::string& description, bool upload = true,
                      bool download = true)
    {
        drives.push_back(dir.path + "/" + name);
        make_drive(drives.back(), description, upload, download);
        std::string list;
        for (const auto& d : drives) list += (list.empty() ? "" : ":") + d;
        ::setenv("TREKFOLD_DRIVES", list.c_str(), 1);
        return drives.back();
    }
    void answer_product()
    {
        for (const Unit& u : units) {
            if (u.port != garmin.port || !u.rates.count(garmin.settings.substr(0, 4))) continue;
            if (u.nmea) return garmin.sink->NMEA("$GPRMC,120000,A,4916.45,N,12311.12,W,0.5,54.7,191194,,*00", false);
            garmin.product.Product_ID = 292;
            garmin.product.Product_Description_1 = u.desc1;
            garmin.product.Product_Description_2 = u.desc2;
            garmin.receive(id("PID_Product_Data"));
        }
    }
    void find(bool usb_only = false)
    {
        transfer::GPS_Find(main, usb_only);
    }
    transfer::frmGPSStatus& chooser() { return transfer::GPS_Status(main); }
    // The control's calls of the given kinds, in order.
    std::vector<std::string> calls(std::initializer_list<const char*> kinds)
    {
        std::vector<std::string> out;
        for (const auto& l : log)
            for (const char* k : kinds)
                if (l.rfind(std::string("garmin.") + k, 0) == 0) out.push_back(l.substr(7));
        return out;
    }
};

TEST(Discovery, SearchProbesExistingPortsAtBothSpeedsAndListsUnitsInOrder)
{
    Finder f;
    for (int n : {3, 4, 5}) f.port(n);
    f.units = {{3, {"9600"}, "eTrex", "v1"}, {4, {"9600", "4800"}, "GPSMAP", "v2"}, {5, {"4800"}, "", "", true}};
    f.drive("sd", "Oregon 450");
    f.find();

    // USB once, then each existing port at 9600 and 4800; nothing else opened.
    EXPECT_THAT(f.calls({"Port=", "Settings="}),
                ElementsAre("Port=0", "Settings=9600,N,8,1", "Port=3", "Settings=9600,N,8,1", "Port=3",
                            "Settings=4800,N,8,1", "Port=4", "Settings=9600,N,8,1", "Port=4", "Settings=4800,N,8,1",
                            "Port=5", "Settings=9600,N,8,1", "Port=5", "Settings=4800,N,8,1"));
    EXPECT_THAT(f.chooser_seen, ElementsAre("eTrex  v1", "GPSMAP  v2", "GPSMAP  v2", "NMEA on Port 5  ", "Oregon 450  270"));
    const auto& list = f.chooser().control("cboGPSUnits");
    EXPECT_EQ(list.text, "Oregon 450  270");
    EXPECT_EQ(list.tooltip,
              "Upload To: " + f.drives[0] + "/Garmin/NewFiles/, Download From: " + f.drives[0] + "/Garmin/GPX/Current.gpx");
    EXPECT_EQ(f.status_seen,
              "Multiple GPS units found.  Please select the unit you'd like to connect to.");
    // The default answer connected the last unit, a drive.
    EXPECT_EQ(f.s().ui_state, 8);
    ASSERT_NE(f.s().GPS_MassStorageUnit, nullptr);
    EXPECT_FALSE(f.chooser().Visible());
    EXPECT_FALSE(f.s().GPS_Scanning);
}

TEST(Discovery, ChoosingAPortUnitTalksToThatPortAndConnectsIt)
{
    Finder f;
    for (int n : {3, 4}) f.port(n);
    f.units = {{3, {"9600"}, "eTrex", "v1"}, {4, {"9600", "4800"}, "GPSMAP", "v2"}};
    f.answer = "eTrex  v1";
    f.find();
    // The baud command goes to the chosen port and speed, not the last probed.
    auto calls = f.calls({"Port=", "Settings=", "Change_Baud_Rate", "PortClose"});
    auto baud = std::find(calls.begin(), calls.end(), "Change_Baud_Rate(9600)");
    ASSERT_NE(baud, calls.end());
    EXPECT_THAT(std::vector<std::string>(baud - 2, baud), ElementsAre("Port=3", "Settings=9600,N,8,1"));
    EXPECT_EQ(f.garmin.port, 3);
    EXPECT_EQ(f.s().port, 3);
    EXPECT_EQ(f.settings.GetSetting("port", "port", ""), "3");
    EXPECT_TRUE(f.main.menus().at("mnuPort", 3).checked);
    EXPECT_FALSE(f.main.menus().at("mnuPort", 4).checked);
    EXPECT_EQ(f.s().ui_state, 3);
    EXPECT_EQ(f.main.StatusBar1[0], "Connected");
    EXPECT_EQ(f.main.frmInfo().lblProductID.caption, "PID 292");
}

TEST(Discovery, AnNmeaUnitIsConnectedAt4800InNmeaMode)
{
    Finder f;
    f.port(5);
    f.port(6);
    f.units = {{5, {"4800"}, "", "", true}, {6, {"9600"}, "eTrex", "v1"}};
    f.answer = "NMEA on Port 5  ";
    f.find();
    EXPECT_EQ(f.s().port, 5);
    EXPECT_EQ(f.s().port_settings, "4800,N,8,1");
    EXPECT_EQ(f.settings.GetSetting("port", "Settings", ""), "4800,N,8,1");
    EXPECT_EQ(f.s().ui_state, 7);
    EXPECT_TRUE(f.s().nmea_mode);
    EXPECT_TRUE(f.main.optRTWpt.value);
    EXPECT_EQ(f.dialogs.boxes().back().text,
              "Your GPS is in NMEA mode.  For upload/download capabilities\r\nswitch the GPS's Interface Mode to "
              "'GARMIN', then reconnect.");
}

TEST(Discovery, CancelAndTheCloseBoxConnectNothing)
{
    for (const char* answer : {"Cancel", "close"}) {
        Finder f;
        f.port(3);
        f.units = {{3, {"9600", "4800"}, "GPSMAP", "v2"}};
        f.answer = answer;
        f.find();
        EXPECT_EQ(f.chooser_seen.size(), 2u) << answer;
        EXPECT_TRUE(f.chooser().Cancelled);
        // The scan closed the port: the program says it is not connected.
        EXPECT_EQ(f.s().ui_state, 1) << answer;
        EXPECT_EQ(f.main.StatusBar1[0], "Not Connected") << answer;
        EXPECT_EQ(f.calls({"PortClose"}).size(), 4u) << answer; // before each probe, and at the end
        EXPECT_EQ(f.s().port, 1) << answer;
        EXPECT_TRUE(f.dialogs.boxes().empty());
    }
}

TEST(Discovery, CancelDuringTheScanStopsBeforeTheNextPort)
{
    Finder f;
    for (int n : {3, 4}) f.port(n);
    f.garmin.on["Request_Product_Data"] = [&f] {
        if (f.garmin.port == 3) f.chooser().Click("cmdCancel");
    };
    f.find();
    EXPECT_THAT(f.calls({"Port="}), ElementsAre("Port=0", "Port=3", "Port=3")); // both speeds, then no port 4
    EXPECT_TRUE(f.chooser_seen.empty());
}

TEST(Discovery, NothingFoundLeavesTheChooserShownWithItsAdvice)
{
    Finder f;
    f.find();
    EXPECT_TRUE(f.chooser().Visible());
    EXPECT_EQ(f.chooser().control("lblStatus").caption,
              "No GPS Units Found!  Check the following:\r\n  1) Your GPS is turned on\n  2) You have the latest "
              "driver installed for your GPS (USB Only)\n  3) You have the latest firmware installed on your GPS");
    for (const char* n : {"lblGPSUnits", "cboGPSUnits", "cmdConnect"})
        EXPECT_FALSE(f.chooser().control(n).enabled) << n;
    EXPECT_EQ(f.chooser().Click("cmdConnect"), app::Form::Disabled);
    EXPECT_EQ(f.chooser().Click("cmdCancel"), app::Form::Done);
    EXPECT_FALSE(f.chooser().Visible());
}

TEST(Discovery, UsbOnlyConnectsTheSingleDriveWithoutTheChooser)
{
    Finder f;
    f.port(3);
    f.units = {{3, {"9600"}, "eTrex", "v1"}};
    const std::string d = f.drive("card", "Oregon 450");
    f.settings.SaveSetting("port", "port", "0");
    transfer::mnuOpen_Click(f.main);
    EXPECT_THAT(f.calls({"Port="}), ElementsAre("Port=0"));
    EXPECT_FALSE(f.chooser().Visible());
    EXPECT_TRUE(f.chooser_seen.empty());
    EXPECT_EQ(f.s().ui_state, 8);
    EXPECT_EQ(f.main.lblGPSDesc1.caption, "Oregon 450  270");
    app::InfoWindow& info = f.main.frmInfo();
    EXPECT_EQ(info.lblGPSDesc2.caption, "Registration Code: R-1;  Part Number: 006-B0");
    EXPECT_EQ(info.lblMode1.caption, "USB");
    EXPECT_EQ(info.lblProductID.caption, "ID: 77");
    EXPECT_EQ(info.lblWaypointscnt.caption, "2");
    EXPECT_EQ(info.lblTrackPointscnt.caption, "1");
    EXPECT_EQ(info.lblRoutePointscnt.caption, "0");
    EXPECT_EQ(info.lblFormat1.caption, "Download Location: " + d + "/Garmin/GPX/Current.gpx");
    EXPECT_EQ(info.lblFormat2.caption, "Upload Location: " + d + "/Garmin/NewFiles/");
    EXPECT_TRUE(f.main.menus().at("mnuPort", 0).checked);
    EXPECT_FALSE(f.main.menus().at("mnuBaudRate").enabled);
    EXPECT_EQ(f.settings.GetSetting("port", "port", ""), "0");
    EXPECT_EQ(f.log.back(), "garmin.PortClose");
}

TEST(Discovery, AChosenDriveThatNoLongerLoadsLeavesTheProgramNotConnected)
{
    Finder f;
    const std::string gone = f.drive("a", "Oregon");
    f.drive("b", "Colorado");
    f.answer = "Oregon  270";
    transfer::GPS_Status(f.main).wait_choice = [&](transfer::frmGPSStatus& c) {
        fs::remove_all(gone + "/GARMIN");
        c.SetText("cboGPSUnits", f.answer);
        c.Click("cmdConnect");
    };
    f.find();
    EXPECT_EQ(f.s().GPS_MassStorageUnit, nullptr);
    EXPECT_EQ(f.s().ui_state, 1);
    EXPECT_EQ(f.main.StatusBar1[0], "Not Connected");
    EXPECT_NE(f.main.StatusBar1[1].rfind("Projection: ", 0), 0u);
}

TEST(Discovery, ADriveWithoutUploadFolderIsFoundByItsOwnFiles)
{
    // No upload folder: the GPX file's drive; neither: where it was found.
    for (bool download : {true, false}) {
        Finder f;
        f.drive("a", "Oregon");
        f.drive("b", "Colorado", false, download);
        f.answer = "Colorado  270";
        f.find();
        ASSERT_NE(f.s().GPS_MassStorageUnit, nullptr) << download;
        EXPECT_EQ(f.s().GPS_MassStorageUnit->Description, "Colorado");
        EXPECT_EQ(f.s().ui_state, 8);
    }
}

TEST(Discovery, OpenGarminReportsAMissingPortAndASilentUnit)
{
    Finder f;
    f.s().port = 9;
    transfer::GPS_OpenGarmin(f.main);
    ASSERT_EQ(f.dialogs.boxes().size(), 1u);
    EXPECT_EQ(f.dialogs.boxes()[0].text, "Port 9 does not exist");
    EXPECT_EQ(f.dialogs.boxes()[0].title, "");
    EXPECT_EQ(f.dialogs.boxes()[0].icon(), platform::vbCritical);
    EXPECT_EQ(f.main.StatusBar1[0], "Not Connected");
    EXPECT_EQ(f.calls({"PortOpen"}).size(), 0u);

    f.port(9);
    f.dialogs.clear();
    transfer::GPS_OpenGarmin(f.main);
    ASSERT_EQ(f.dialogs.boxes().size(), 1u);
    EXPECT_EQ(f.dialogs.boxes()[0].text,
              "GPS on com port 9 failed to initialze.Check the following: \n  1) Your GPS is turned on\n  2) The "
              "proper port number is set\n  3) You have the latest driver installed for your GPS (USB Only)\n  4) "
              "You have the latest firmware installed on your GPS");
    EXPECT_EQ(f.s().ui_state, 1);
    EXPECT_EQ(f.log.back(), "garmin.PortClose");

    // A unit that answers: asked for its date, a fix and its position.
    f.units = {{9, {"9600"}, "eTrex", "v1"}};
    f.log.clear();
    transfer::GPS_OpenGarmin(f.main);
    EXPECT_THAT(f.calls({"Request", "Pvt", "WaitFor"}),
                ElementsAre("Request_Product_Data", "Request_Date_Time", "Pvt_Data_Start", "WaitFor(50)",
                            "Pvt_Data_Stop", "Request_Position_Data"));
    EXPECT_EQ(f.s().ui_state, 3);
}

TEST(Discovery, PortMenuStoresThePortAndSearchesForUsb)
{
    Finder f;
    f.port(4);
    f.units = {{4, {"9600"}, "eTrex", "v1"}};
    f.main.transfer().menu_Click("mnuPort", 4);
    EXPECT_EQ(f.settings.GetSetting("port", "port", ""), "4");
    EXPECT_TRUE(f.main.menus().at("mnuBaudRate").enabled);
    EXPECT_EQ(f.s().ui_state, 3);

    f.log.clear();
    f.main.transfer().menu_Click("mnuPort", 0);
    EXPECT_THAT(f.calls({"Port="}), ElementsAre("Port=0")); // the USB link only
    EXPECT_EQ(f.settings.GetSetting("port", "port", ""), "0");
    EXPECT_TRUE(f.main.menus().at("mnuPort", 0).checked);
    EXPECT_FALSE(f.main.menus().at("mnuPort", 4).checked);
}

TEST(Discovery, FileExistsIgnoresCase)
{
    apptest::TempDir dir;
    write(dir.path + "/GaRmIn/GARMINdevice.xml", "");
    EXPECT_TRUE(transfer::File_Exists(dir.path, "garmin/garmindevice.xml"));
    EXPECT_FALSE(transfer::File_Exists(dir.path + "/none", "garmin/garmindevice.xml"));
}

} // namespace
