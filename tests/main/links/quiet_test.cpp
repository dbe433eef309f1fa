// Quiet-mode jobs on a main window whose receiver is the fake control: what
// is written, the status texts, the result handed to LandView and the end
// of the program; refused and abandoned transfers fail the job.
#include "tests/main/transfer/drive.h"

#include "main/files/dbase.h"
#include "main/links/gis_links.h"
#include "main/realtime/frm_realtime.h"
#include "main/realtime/realtime.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using apptest::Drive;

struct Quiet : Drive {
    Quiet()
    {
        dynamic_cast<apptest::RecordingTransfer&>(main.transfer()).forward_menus = true;
        links->programs_run = true; // LandView linked: the result is poked
        transfer::Set_Controls(main, 3);  // the start-up found the receiver
        log.clear();
    }
    void run(std::string line) { links->seam.Quiet_Driver(line); }
    void two_waypoints()
    {
        play("Request_Waypoints", 2,
             {{"PID_Wpt_Data", [&] { garmin.waypoint.Ident = "HOME", garmin.waypoint.Lat = 45.5, garmin.waypoint.Lon = -93.25; }},
              {"PID_Wpt_Data", [&] { garmin.waypoint.Ident = "CAMP"; }}});
    }
    bool poked(const std::string& text) { return count("ToDDE_Poke(" + text + ")") == 1; }
    std::vector<std::string> statuses;
    std::string file(const char* name) { return dir.path + "/" + name; }
};

std::string slurp(const std::string& path)
{
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

TEST(QuietMode, DownloadWritesTheFileRepliesTrueAndEnds)
{
    Quiet q;
    q.two_waypoints();
    q.run("QUIET,Download,WAYPOINT,point," + q.file("w.TXT"));
    const std::string text = slurp(q.file("w.TXT"));
    EXPECT_NE(text.find("HOME"), std::string::npos);
    EXPECT_NE(text.find("CAMP"), std::string::npos);
    EXPECT_EQ(q.main.StatusBar1[1], "Shapefile saved to " + q.file("w.TXT"));
    EXPECT_FALSE(q.main.frmQuietStatus.visible);
    EXPECT_TRUE(q.links->seam.quiet_result());
    EXPECT_TRUE(q.poked("RESPONSE,True"));
    EXPECT_TRUE(q.main.ended());
}

TEST(QuietMode, RefusedOrAbandonedDownloadWritesNothingAndFails)
{
    for (const char* why : {"GPS model/version does not support Tracks", "No response from device"}) {
        Quiet q;
        q.garmin.on["Request_Tracks"] = [&] { q.garmin.error(5, why); };
        q.run("quiet,download,track,line," + q.file("t.shp"));
        EXPECT_FALSE(std::filesystem::exists(q.file("t.shp"))) << why;
        EXPECT_EQ(q.main.StatusBar1[1], "Error Downloading Data from GPS") << why;
        EXPECT_TRUE(q.poked("RESPONSE,False")) << why;
        EXPECT_TRUE(q.main.ended());
    }
}

TEST(QuietMode, FailedWriteAndUnknownTypeReportTheError)
{
    {
        Quiet q;
        q.two_waypoints();
        q.run("quiet,download,waypoint,point," + q.file("missing/w.txt"));
        EXPECT_EQ(q.main.StatusBar1[1], "Error Downloading Data from GPS");
        EXPECT_TRUE(q.poked("RESPONSE,False"));
    }
    {
        Quiet q;
        q.two_waypoints();
        q.run("quiet,download,waypoint,point," + q.file("w.xyz"));
        EXPECT_EQ(q.main.StatusBar1[1], "Error Downloading Data from GPS");
        EXPECT_FALSE(std::filesystem::exists(q.file("w.xyz")));
        EXPECT_TRUE(q.poked("RESPONSE,False"));
    }
}

TEST(QuietMode, OtherRecordTypeWritesTheTableAsItStands)
{
    Quiet q;
    q.run("quiet,download,route,point," + q.file("r.txt"));
    EXPECT_EQ(q.count("garmin.Request_Routes"), 0);
    EXPECT_TRUE(std::filesystem::exists(q.file("r.txt")));
    EXPECT_TRUE(q.poked("RESPONSE,True"));
}

TEST(QuietMode, ShortLinesBlankActionsAndNoReceiver)
{
    {
        Quiet q;
        q.run("quiet,download,waypoint,point");
        EXPECT_FALSE(q.main.ended());
        EXPECT_EQ(q.count("ToDDE_Poke(RESPONSE,False)") + q.count("ToDDE_Poke(RESPONSE,True)"), 0);
    }
    {
        Quiet q;
        q.two_waypoints();
        q.run("quiet, download,waypoint,point," + q.file("w.txt"));
        EXPECT_EQ(q.count("garmin.Request_Waypoints"), 0);
        EXPECT_TRUE(q.poked("RESPONSE,False"));
        EXPECT_TRUE(q.main.ended());
    }
    {
        Quiet q;
        transfer::Set_Controls(q.main, 1);
        q.run("quiet,download,waypoint,point," + q.file("w.txt"));
        EXPECT_TRUE(q.main.ended());
        EXPECT_EQ(q.count("ToDDE_Poke(RESPONSE,False)"), 0);
    }
}

TEST(QuietMode, UploadSucceedsOnlyWhenTheTransferRanToItsEnd)
{
    std::string saved;
    {
        Quiet q;
        q.two_waypoints();
        q.run("quiet,download,waypoint,point," + q.file("w.txt"));
        saved = slurp(q.file("w.txt"));
    }
    for (bool answers : {true, false}) {
        Quiet q;
        std::ofstream(q.file("in.txt"), std::ios::binary) << saved;
        if (answers) {
            q.garmin.on["Start_of_Records(2)"] = [&] { q.garmin.ack("PID_Records"); };
            q.garmin.on["Send_Waypoint"] = [&] { q.garmin.ack("PID_Wpt_Data"); };
            q.garmin.on["End_of_Records"] = [&] { q.garmin.ack("PID_Xfer_Cmplt"); };
        } else {
            q.garmin.on["Start_of_Records(2)"] = [&] { q.garmin.error(5, "No response from device"); };
        }
        q.run("quiet,upload,waypoint,x," + q.file("in.txt"));
        EXPECT_EQ(q.main.StatusBar1[1], answers ? "Data uploaded to GPS successfully" : "Error Uploading Data to GPS");
        EXPECT_EQ(q.garmin.sent_waypoints.size(), answers ? 2u : 0u);
        EXPECT_TRUE(q.poked(answers ? "RESPONSE,True" : "RESPONSE,False"));
    }
}

TEST(QuietMode, RealTimeStartStoresTolerancesOpensTheShapefileAndKeepsRunning)
{
    Quiet q;
    q.run("quiet,rt_start,2,abc," + q.file("rt.shp"));
    EXPECT_EQ(q.settings.GetSetting("realtime", "toltimechk"), "1");
    EXPECT_EQ(q.settings.GetSetting("realtime", "toltimeval"), "2");
    EXPECT_EQ(q.settings.GetSetting("realtime", "toldistchk"), "0");
    EXPECT_TRUE(std::filesystem::exists(q.file("rt.shp")));
    EXPECT_TRUE(std::filesystem::exists(q.file("rt.dbf")));
    EXPECT_EQ(q.main.realtime().RealTimeWindow().control("lblPath(0)").caption, q.file("rt.shp"));
    EXPECT_EQ(q.main.realtime().RealTimeWindow().control("lblCount(0)").caption, "0");
    EXPECT_FALSE(q.main.frmQuietStatus.loaded);
    EXPECT_TRUE(q.poked("RESPONSE,False"));
    EXPECT_FALSE(q.main.ended());
    EXPECT_EQ(q.links->seam.quiet_exit_status(), 0);
}

TEST(QuietMode, RealTimeStartIntoAPolygonShapefileRaisesToTheStartUp)
{
    Quiet q;
    files::DBase db(q.dialogs);
    ASSERT_TRUE(db.Shapefile_WriteEmptyHeader(q.file("rt.shp"), "polygon"));
    ASSERT_TRUE(db.Shapefile_WriteEmptyHeader(q.file("rt.shx"), "polygon"));
    q.main.run_trapped("Load", [&] { q.run("quiet,rt_start,2,3," + q.file("rt.shp")); });
    ASSERT_FALSE(q.dialogs.boxes().empty());
    EXPECT_EQ(q.dialogs.boxes().back().text, "Error #555 - Could not open Shapefile");
    EXPECT_EQ(q.dialogs.boxes().back().title, "frmMain.Load");
    EXPECT_FALSE(q.main.ended());
}

} // namespace
