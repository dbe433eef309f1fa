// The probe end to end: the first-run question, the projection commands on
// the real projection library and lists, and the exit status of commands it
// cannot carry out.
#include "tests/tools/trekfold-probe/probe_run.h"

#include <QImage>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include <stdlib.h>

namespace {

using probetest::Home;
using probetest::json;
using probetest::ProbeRun;

ProbeRun probe(const std::vector<std::string>& args, const std::string& folder = {})
{
    std::vector<std::string> a;
    // Start-up connects the stored port: unless a run names one, the USB
    // link, and there are no drives to search.
    if (std::find(args.begin(), args.end(), "--port") == args.end()) a = {"--port", "0"};
    ::setenv("TREKFOLD_DRIVES", "", 0);
    a.insert(a.end(), args.begin(), args.end());
    return probetest::run(a, folder);
}

double number(const json& row, const char* field) { return std::stod(row.at(field).get<std::string>()); }

std::string replaced(std::string text, const std::string& from, const std::string& to)
{
    text.replace(text.find(from), from.size(), to);
    return text;
}

TEST(TrekfoldProbe, FirstRunQuestionAndItsAnswers)
{
    Home home;
    ProbeRun first = probe({"--home", home.path, "menu", "mnuGetProjection"});
    ASSERT_EQ(first.status, 0) << first.err;
    auto boxes = first.boxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[0]["box"], "Would you like to use the Default Projection (NAD83 - UTM Zone 15)?  Answering NO "
                               "will allow you to select a different projection.");
    EXPECT_EQ(boxes[0]["title"], "Set Default Projection");
    EXPECT_EQ(boxes[0]["style"], 4);
    EXPECT_EQ(boxes[0]["answer"], "Yes");
    EXPECT_EQ(boxes[0]["queued"], false);
    EXPECT_EQ(boxes[1]["box"], "NAD83 - UTM zone 15N");
    EXPECT_EQ(boxes[1]["title"], "Current Projection");
    auto statuses = first.with("status");
    EXPECT_NE(std::find(statuses.begin(), statuses.end(), json{{"status", "Projection: NAD83 - UTM zone 15N"}}),
              statuses.end());
    EXPECT_NE(home.ini().find("26915"), std::string::npos);

    ProbeRun again = probe({"--home", home.path});
    EXPECT_TRUE(again.boxes().empty());

    Home other;
    ProbeRun no = probe({"--home", other.path, "answer", "No"});
    ASSERT_EQ(no.status, 0) << no.err;
    EXPECT_EQ(no.boxes().at(0)["answer"], "No");
    EXPECT_EQ(no.boxes().at(0)["queued"], true);
    EXPECT_NE(other.ini().find("4326"), std::string::npos);
    EXPECT_EQ(no.lines.back(), (json{{"unused", json::array()}}));
}

TEST(TrekfoldProbe, ProjectsAndUnprojectsOnUtm15)
{
    ProbeRun r = probe({"setting", "proj", "proj", "26915", "type", "waypoint", "row", "ident=A", "lat=45.25",
                   "long=-93.5", "menu", "mnuProjectCoordinates", "table", "menu", "mnuUnProjectCoordinates",
                   "table"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto table = r.with("row");
    ASSERT_EQ(table.size(), 2u);
    EXPECT_NEAR(number(table[0], "x_proj"), 460764.1033, 1e-3);
    EXPECT_NEAR(number(table[0], "y_proj"), 5010844.4262, 1e-3);
    EXPECT_NEAR(number(table[1], "lat"), 45.25, 1e-9);
    EXPECT_NEAR(number(table[1], "long"), -93.5, 1e-9);

    ProbeRun wgs = probe({"answer", "No", "row", "ident=A", "lat=45.25", "long=-93.5", "menu", "mnuProjectCoordinates",
                     "table"});
    ASSERT_EQ(wgs.rows().size(), 1u);
    EXPECT_EQ(wgs.rows()[0]["x_proj"], "-93.5");
    EXPECT_EQ(wgs.rows()[0]["y_proj"], "45.25");
}

TEST(TrekfoldProbe, LibraryErrorsStopTheTable)
{
    auto box_texts = [](const ProbeRun& r) {
        std::vector<std::string> t;
        for (const auto& b : r.boxes())
            if (b["title"] != "Set Default Projection") t.push_back(b["box"]); // start-up's question
        return t;
    };
    ProbeRun limits = probe({"setting", "proj", "proj", "26915", "row", "ident=A", "lat=45.25", "long=-93.5", "row",
                        "ident=B", "lat=95", "long=-93.5", "row", "ident=C", "lat=45", "long=-93", "menu",
                        "mnuProjectCoordinates", "table"});
    EXPECT_EQ(box_texts(limits),
              std::vector<std::string>{"Projection Error [-14]: latitude or longitude exceeded limits"});
    ASSERT_EQ(limits.rows().size(), 3u);
    EXPECT_NE(limits.rows()[0]["x_proj"], "");
    EXPECT_EQ(limits.rows()[1]["x_proj"], "");
    EXPECT_EQ(limits.rows()[2]["x_proj"], "");

    ProbeRun nad27 = probe({"setting", "proj", "proj", "26715", "row", "ident=A", "lat=45.25", "long=-93.5", "menu",
                       "mnuProjectCoordinates", "table"});
    EXPECT_EQ(box_texts(nad27),
              std::vector<std::string>{"Projection Error [-38]: failed to load NAD27-83 correction file"});
    EXPECT_EQ(nad27.rows().at(0)["x_proj"], "");

}

TEST(TrekfoldProbe, TableSelectionEditingAndFolding)
{
    ProbeRun r = probe({"rows", "10", "ident=W{n}", "lat=45.{n}", "long=-93.{n}", "select", "5", "3", "select", "3",
                        "2", "5", "3", "grid?", "menu", "cmdClearSel", "select", "1", "2", "2", "4", "menu", "cmdCopy",
                        "clipboard?", "picker", "name", "d103", "picker?", "answer", "Flag (178)", "select", "1", "9",
                        "2", "9", "dblclick", "table"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto sel = r.with("select");
    EXPECT_EQ(sel.at(0), (json{{"select", {{"first", 3}, {"last", 5}, {"count", 3}}}}));
    EXPECT_EQ(sel.at(1)["select"]["count"], 0);
    EXPECT_EQ(r.with("rows").at(0)["selected"], "0 of 10 Selected");
    EXPECT_EQ(r.with("clipboard").at(0)["clipboard"], "W1\t45.1\t-93.1\r\nW2\t45.2\t-93.2\r\n");
    auto picker = r.with("picker").at(0);
    EXPECT_EQ(picker["picker"].size(), 16u);
    EXPECT_EQ(picker["selected"], "Boat Ramp (150)");
    EXPECT_EQ(r.rows().at(1)["symbol"], "178");
    EXPECT_EQ(r.rows().at(2)["symbol"], "");

    ProbeRun fold = probe({"type", "track", "rows", "3", "ident=T{n}", "row", "new_seg=true", "rows", "2", "ident=U{n}",
                           "menu", "optTrk", "select", "1", "1", "1", "1", "dblclick", "grid?", "dblclick", "grid?"});
    ASSERT_EQ(fold.status, 0) << fold.err;
    auto grids = fold.with("folded");
    EXPECT_EQ(grids.at(0)["folded"], (json{2, 3}));
    EXPECT_EQ(grids.at(1)["folded"], json::array());
}

TEST(TrekfoldProbe, SettingsDialogChoosesAProjectionAndReprojectsTheTable)
{
    // Start-up's No opens the dialog on 4326; 26915 + Enter and OK
    // re-project the row once.
    ProbeRun r = probe({"answer", "No", "row", "ident=A", "lat=45.25", "long=-93.5", "text",
                        "frmProperties.cbxPOSCCodes", "26915", "key", "frmProperties.cbxPOSCCodes", "13", "window",
                        "frmProperties", "menu", "frmProperties.cmdOK", "table", "window", "frmProperties"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto windows = r.with("window");
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[0]["controls"]["lbxDatums"]["text"], "NAD83");
    EXPECT_EQ(windows[0]["controls"]["lbxProjections"]["text"], "UTM zone 15N");
    EXPECT_EQ(windows[0]["controls"]["lbxDesc"]["items"][1], "+proj=utm");
    EXPECT_EQ(windows[0]["controls"]["tbxPRJ"]["text"], "");
    EXPECT_EQ(windows[1]["visible"], false);
    EXPECT_EQ(r.with("status").back()["status"], "Projection: NAD83 - UTM zone 15N");
    ASSERT_EQ(r.rows().size(), 1u);
    EXPECT_NEAR(number(r.rows()[0], "x_proj"), 460764.1033, 1e-3);
    EXPECT_NEAR(number(r.rows()[0], "y_proj"), 5010844.4262, 1e-3);
}

TEST(TrekfoldProbe, AfterAColumnIsHiddenTheProjectionKeepsItsWholeName)
{
    // Hiding a column unloads the settings dialog; the name still comes
    // from its EPSG mode.
    ProbeRun r = probe({"answer", "Yes", "rows", "2", "ident=A{n}", "lat=45", "long=-93", "comment=c", "select", "1",
                        "6", "2", "6", "menu", "mnuDelete", "menu", "mnuGetProjection"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto statuses = r.with("status");
    ASSERT_NE(std::find(statuses.begin(), statuses.end(), json{{"status", "Hid Column(s)"}}), statuses.end());
    EXPECT_EQ(statuses.back()["status"], "Projection: NAD83 - UTM zone 15N");
    EXPECT_EQ(r.boxes().back()["box"], "NAD83 - UTM zone 15N");
}

TEST(TrekfoldProbe, ATypedCodeDoesNotTakeThePrjTextOfTheCodeShown)
{
    Home home;
    ProbeRun r = probe({"--home", home.path, "setting", "proj", "proj", "26915", "setting", "proj", "26915",
                        "PROJCS[utm15]", "menu", "mnuSetProjection", "text", "frmProperties.cbxPOSCCodes", "4326",
                        "menu", "frmProperties.cmdOK"});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string ini = home.ini();
    EXPECT_NE(ini.find("proj=4326\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find("26915=PROJCS[utm15]\n"), std::string::npos) << ini;
    EXPECT_EQ(ini.find("4326=PROJCS"), std::string::npos) << ini;
}

TEST(TrekfoldProbe, SettingsDialogArcMapNeedsArcGisAndAPrjText)
{
    Home home;
    const std::string prj = home.path + "/three.prj";
    std::ofstream(prj) << "a\nb\nc\n";
    ProbeRun without = probe({"answer", "Yes", "menu", "mnuSetProjection", "menu", "frmProperties.optArcMap"});
    EXPECT_EQ(without.with("disabled").at(0)["disabled"], "frmProperties.optArcMap");
    ProbeRun r = probe({"--arcgis", "answer", "Yes", "menu", "mnuArcMapProperties", "check",
                        "frmProperties.chkAMCalcArea", "1", "choose", "frmProperties.cboAMAreaUnits", "Acres", "tab",
                        "frmProperties", "0", "menu", "frmProperties.optArcMap", "menu", "frmProperties.cmdOK",
                        "window", "frmProperties", "answer", prj, "menu", "frmProperties.cmdPRJLoad", "resize",
                        "frmProperties", "3000", "3000", "window", "frmProperties"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto boxes = r.boxes();
    EXPECT_EQ(boxes.back()["box"], "Error #1. You must specify a PRJ file to perform Arcmap projections");
    EXPECT_EQ(boxes.back()["title"], "frmProperties.cmdOK_Click");
    auto windows = r.with("window");
    EXPECT_EQ(windows[0]["visible"], true);
    EXPECT_EQ(windows[0]["tab"], 0);
    EXPECT_EQ(windows[1]["controls"]["tbxPRJ"]["text"], "a\nb\nc");
    EXPECT_EQ(windows[1]["width"], 6375);
    EXPECT_EQ(windows[1]["height"], 7250);
    EXPECT_EQ(r.with("dialog").at(0)["filter"], "ESRI Projection File (*.prj)|*.prj");
    EXPECT_EQ(r.with("dialog").at(0)["dialog"], "open");
}

TEST(TrekfoldProbe, CommandsItCannotCarryOutExitWithTwo)
{
    for (const auto& args : std::vector<std::vector<std::string>>{
             {"frobnicate"}, {"menu", "mnuNoSuch"}, {"row", "nosuch=1"}, {"wait", "soon"}, {"type", "boat"},
             {"select", "1"}, {"picker", "code", "all"}, {"rows", "2", "ident=a", "answer", "Nope", "select", "1", "9", "1", "9", "dblclick"},
             {"answer", "No", "choose", "frmProperties.lbxDatums", "Mars"}, {"check", "frmProperties.nosuch", "1"},
             {"tab", "frmOther", "1"}}) {
        ProbeRun r = probe(args);
        EXPECT_EQ(r.status, 2) << args[0];
        EXPECT_FALSE(r.err.empty()) << args[0];
    }
    ProbeRun help = probe({"--help"});
    EXPECT_EQ(help.status, 0);
    for (const char* word : {"menu NAME", "answer TEXT", "type ", "row FIELD=VALUE", "setting SECTION", "table",
                             "wait MS", "idle [MS]"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

// The receiver simulator as a program on a pty link in `home`.
struct Simulator {
    QProcess p;
    std::string link;
    Simulator(const std::string& home, const std::string& scenario, QStringList extra = {})
        : link(home + "/gps0")
    {
        // A scenario of the simulator's own, or a path of ours.
        const std::string file =
            scenario[0] == '/' ? scenario : TREKFOLD_SOURCE_DIR "/tools/gpsim/scenarios/" + scenario;
        QStringList a{"--scenario", QString::fromStdString(file),
                      "--link", QString::fromStdString(link)};
        p.start(TREKFOLD_BINARY_DIR "/bin/gpsim", a + extra);
        for (int i = 0; i < 600 && !std::filesystem::exists(link); ++i) p.waitForFinished(100);
        ::setenv("TREKFOLD_COM3", link.c_str(), 1);
    }
    ~Simulator()
    {
        p.terminate();
        p.waitForFinished(10000);
    }
};

TEST(TrekfoldProbe, ConnectDownloadAndTheInformationWindow)
{
    Home home;
    Simulator sim(home.path, "d110-array-unit.json");
    ASSERT_TRUE(std::filesystem::exists(sim.link));
    ProbeRun r = probe({"--home", home.path, "--port", "3", "setting", "proj", "proj", "4326", "connect", "menu",
                        "mnuWDownload", "idle", "table", "menu", "mnuGInfo"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = r.rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0]["ident"], "TRAILHEAD");
    EXPECT_EQ(rows[0]["x_proj"], "-71.30361102");
    bool counted = false;
    for (const auto& b : r.boxes()) counted |= b["box"] == "Received 3 records.";
    EXPECT_TRUE(counted);
    const auto windows = r.with("window");
    ASSERT_EQ(windows.size(), 1u); // shown modally, printed, closed
    const json& c = windows[0]["controls"];
    EXPECT_EQ(c["lblProductID"]["text"], "PID 292");
    EXPECT_EQ(c["lblGPSDesc1"]["text"], "GPSMAP 60CSx Software Version 3.60");
    EXPECT_EQ(c["lbldate"]["text"], "9/10/2023");
    EXPECT_EQ(c["lblTime"]["text"], "11:0:0");
    EXPECT_EQ(c["lblWaypointscnt"]["text"], "3");
    EXPECT_EQ(c["lblFormat1"]["text"].get<std::string>().substr(0, 30), "Supported Protocols: Link:L001");
}

} // namespace

// Table files through the probe: every save key loads back the same rows,
// and a text file without ident asks "Identify Fields".
namespace {

TEST(TrekfoldProbe, UnitsMenuFeetGivesADownloadInFeet)
{
    Home home;
    Simulator sim(home.path, "d110-array-unit.json");
    ASSERT_TRUE(std::filesystem::exists(sim.link));
    ProbeRun r = probe({"--home", home.path, "--port", "3", "setting", "proj", "proj", "4326", "menu", "mnuUnit", "1",
                        "connect", "menu", "mnuWDownload", "idle", "table", "menus"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto rows = r.rows();
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0]["altitude"], "2001"); // 610 m
    EXPECT_EQ(rows[1]["altitude"], "6288"); // 1916.6 m
    const json menus = r.with("menus").at(0)["menus"];
    EXPECT_EQ(menus["mnuUnit(1)"]["checked"], true);
    EXPECT_EQ(menus["mnuUnit(0)"]["checked"], false);
    EXPECT_NE(home.ini().find("unit=Feet"), std::string::npos);
}

TEST(TrekfoldProbe, TableFilesRoundTrip)
{
    Home home;
    struct Case {
        const char* key;
        const char* kind;
        const char* file;
        const char* proj;
    };
    for (const Case& c : {Case{"shp_u", "shp", "u.shp", "4326"}, Case{"shp_p", "shp", "p.shp", "26915"},
                          Case{"dbf", "dbf", "t.dbf", "26915"}, Case{"txt", "txt", "t.txt", "26915"},
                          Case{"txt_comma", "txt", "c.txt", "26915"}}) {
        const std::string file = home.path + "/" + c.file;
        ProbeRun r = probe({"--home", home.path, "answer", "Yes", "setting", "proj", "proj", c.proj, "type", "waypoint",
                            "row", "ident=A;1", "lat=45.25", "long=-93.5", "comment=say \"hi\", ok", "row", "ident=B",
                            "lat=46", "long=-93", "menu", "mnuProjectCoordinates", "table", "save", c.key, file,
                            "load", c.kind, file, "table"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.with("save").at(0)["save"], true) << c.key;
        EXPECT_EQ(r.with("load").at(0)["load"], true) << c.key;
        auto rows = r.with("row");
        ASSERT_EQ(rows.size(), 4u) << c.key;
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(rows[i]["ident"], rows[i + 2]["ident"]) << c.key;
            for (const char* f : {"lat", "long", "x_proj", "y_proj"})
                EXPECT_NEAR(number(rows[i], f), number(rows[i + 2], f), 1e-6) << c.key << " " << f;
        }
        EXPECT_EQ(rows[2]["comment"], "say \"hi\", ok") << c.key;
    }
}

TEST(TrekfoldProbe, IdentifyFieldsAndErrors)
{
    Home home;
    {
        std::ofstream(home.path + "/n.txt") << "name;lat;long;y_proj;x_proj\r\nP;1;2;3;4\r\n";
    }
    ProbeRun r = probe({"--home", home.path, "answer", "Yes", "answer", "ident=name", "load", "txt", home.path + "/n.txt",
                        "table", "answer", "Cancel", "load", "txt", home.path + "/n.txt", "table", "load", "txt",
                        home.path + "/none.txt", "shapetype", home.path + "/none.shp", "worldfiles", "x", "Center"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto dialogs = r.with("dialog");
    ASSERT_EQ(dialogs.size(), 2u);
    EXPECT_EQ(dialogs[0]["dialog"], "Identify Fields");
    EXPECT_EQ(dialogs[0]["lists"]["ident"], "Sequential ID");
    EXPECT_EQ(dialogs[0]["lists"]["lat"], "lat");
    auto loads = r.with("load");
    EXPECT_EQ(loads.at(0)["load"], true);
    EXPECT_EQ(loads.at(1)["load"], false);
    EXPECT_TRUE(r.rows().empty());
    EXPECT_EQ(r.with("error").at(0)["error"]["number"], 53);
    EXPECT_EQ(r.with("shapetype").at(0)["shapetype"], "");
    EXPECT_EQ(r.with("worldfiles").at(0)["worldfiles"], false);
    auto first = r.with("row");
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first[0]["ident"], "P");
}

TEST(TrekfoldProbe, SaveAndLoadFrontEnd)
{
    Home home;
    std::string file = home.path + "/w.txt";
    ProbeRun r = probe({"--home", home.path, "row", "ident=HOME", "lat=45.5", "long=-93.25", "answer", file, "filter", "8",
                        "menu", "mnuAFile", "answer", file, "filter", "6", "menu", "mnuFileL", "type", "track",
                        "answer", home.path + "/t.kml", "filter", "6", "answer", "Cancel", "menu", "mnuAFile"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto dialogs = r.with("dialog");
    ASSERT_EQ(dialogs.size(), 4u);
    EXPECT_EQ(dialogs[0]["dialog"], "save");
    EXPECT_EQ(dialogs[0]["filterindex"], 4);
    EXPECT_EQ(dialogs[0]["answerindex"], 8);
    EXPECT_EQ(dialogs[1]["dialog"], "open");
    EXPECT_EQ(dialogs[1]["filterindex"], 3);
    EXPECT_EQ(dialogs[3], (json{{"dialog", "Output Shape"}, {"answer", "Cancel"}, {"queued", true}}));
    std::ifstream in(file, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "45.5, -93.25, HOME\r\n");
    auto boxes = r.boxes(); // the load's projection question first; the closed shape dialog ends silently
    ASSERT_GE(boxes.size(), 2u);
    EXPECT_EQ(boxes.back()["box"], "File was loaded successfully from " + file);
    EXPECT_EQ(boxes.end()[-2]["box"], "File was written successfully to " + file);
    EXPECT_FALSE(std::filesystem::exists(home.path + "/t.kml"));
}

// A GPX file loaded while a mass-storage unit is connected names the unit
// as every row's model.
TEST(TrekfoldProbe, GpxLoadNamesTheConnectedUnit)
{
    Home home;
    std::filesystem::create_directories(home.path + "/drive/Garmin");
    std::ofstream(home.path + "/drive/Garmin/GarminDevice.xml")
        << "<Device><Model><Description>GPSMAP 62s</Description></Model><MassStorageMode/></Device>";
    const std::string file = home.path + "/w.gpx";
    std::ofstream(file) << "<?xml version=\"1.0\"?>\n<gpx version=\"1.0\">\n<wpt lat=\"45.5\" lon=\"-93.25\">"
                           "<name>HOME</name><src>eTrex</src></wpt>\n</gpx>\n";
    ProbeRun r = probe({"--home", home.path, "answer", "Yes", "gpx-load", "waypoint", file, "table", "massstorage",
                        home.path + "/drive", "gpx-load", "waypoint", file, "table"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.with("LoadGPS").at(0)["LoadGPS"], true);
    auto loads = r.with("gpx_load");
    ASSERT_EQ(loads.size(), 2u);
    EXPECT_EQ(loads[1]["gpx_load"], true);
    auto rows = r.with("row");
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0]["model"], "eTrex");
    EXPECT_EQ(rows[1]["ident"], "HOME");
    EXPECT_EQ(rows[1]["model"], "GPSMAP 62s");
}

// Empty numbers saved as a shapefile come back empty through the shapefile
// and the dBASE load; a field aliased beyond 10 characters keeps its values
// through the shapefile and the dBASE save.
TEST(TrekfoldProbe, EmptyNumbersAndLongAliasesComeBack)
{
    Home home;
    ProbeRun r = probe({"--home", home.path, "answer", "Yes", "setting", "proj", "proj", "4326", "row", "ident=A",
                        "lat=45.5", "long=-93.25", "save", "shp_u", home.path + "/n.shp", "load", "shp",
                        home.path + "/n.shp", "table", "load", "dbf", home.path + "/n.dbf", "table"});
    ASSERT_EQ(r.status, 0) << r.err;
    auto rows = r.with("row");
    ASSERT_EQ(rows.size(), 2u);
    for (const auto& row : rows)
        for (const char* f : {"altitude", "depth", "temp", "dist"}) EXPECT_EQ(row[f], "") << f;
    EXPECT_EQ(rows[1]["y_proj"], ""); // blank projected columns stay blank

    const std::string ini = home.ini(); // the stored waypoint list, altitude aliased
    const std::size_t from = ini.find("waypoint=") + 9;
    const std::string list = ini.substr(from, ini.find('\n', from) - from);
    ASSERT_NE(list.find("altitude:1:altitude"), std::string::npos);
    const std::string aliased = replaced(list, "altitude:1:altitude", "altitude:1:Elevation_metres");
    for (const char* key : {"dbf", "shp_u"}) {
        const std::string kind = std::string(key).substr(0, 3), file = home.path + "/a." + kind;
        r = probe({"--home", home.path, "setting", "fields", "waypoint", aliased, "row", "ident=B", "lat=46", "long=-94",
                   "Elevation_metres=321.5", "save", key, file, "load", kind, file, "table"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_TRUE(r.with("dialog").empty()) << key; // no "Identify Fields"
        ASSERT_EQ(r.rows().size(), 1u) << key;
        EXPECT_NEAR(number(r.rows()[0], "altitude"), 321.5, 1e-9) << key;
    }
}

TEST(TrekfoldProbe, TableArrays)
{
    Home home;
    std::string one = home.path + "/one.json";
    std::ofstream(one) << R"([["ident", "A", null]])";
    ProbeRun r = probe({"--home", home.path, "row", "lat=45.5", "long=-93.25", "save-array", "open-array", one});
    ASSERT_EQ(r.status, 0) << r.err;
    const json a = r.with("array").at(0)["array"];
    ASSERT_GE(a.size(), 2u);
    bool blank_ident = false; // an empty cell arrives as one blank
    for (const json& field : a)
        blank_ident |= field.size() == 2 && field[0] == "y_proj" &&
                       field[1] == " ";
    EXPECT_TRUE(blank_ident) << a.dump();
    EXPECT_EQ(r.with("open_array").at(0)["open_array"], false);
}


// The CEP calculator through the probe: a known centre on the first of two
// fixes, typed as lat/long and as EPSG 26915 x/y; one row; a bad X; the
// plot button without an ArcMap link.
TEST(TrekfoldProbe, CepCalculator)
{
    const std::vector<std::string> fixes = {"setting", "proj", "proj", "26915", "type", "waypoint",
                                            "row", "ident=A", "lat=45.25", "long=-93.5",
                                            "row", "ident=B", "lat=45.26", "long=-93.5",
                                            "menu", "mnuProjectCoordinates", "menu", "mnuCalculateCEP",
                                            "menu", "frmCalculateCEP.optKnown"};
    auto run = [&](std::vector<std::string> more) {
        std::vector<std::string> args = fixes;
        args.insert(args.end(), more.begin(), more.end());
        args.insert(args.end(), {"menu", "frmCalculateCEP.cmdCalculate", "window", "frmCalculateCEP"});
        return probe(args);
    };
    auto report = [](const ProbeRun& r) {
        auto w = r.with("window");
        return w.empty() ? std::string() : w.back()["controls"]["tbxResults"]["text"].get<std::string>();
    };
    const std::string second = "1,111.90"; // 0.01 degree of arc in metres
    const std::string tail = "Circular Error of Probabilities (CEP) in Meters:\r\n    50% = 0.00\r\n    90% = " +
                             second + "\r\n    95% = " + second + "\r\n    98% = " + second;

    ProbeRun latlong = run({"text", "frmCalculateCEP.tbxX", "-93.5", "text", "frmCalculateCEP.tbxY", "45.25"});
    ASSERT_EQ(latlong.status, 0) << latlong.err;
    EXPECT_NE(report(latlong).find("\r\nMEAN XY: -93.500000, 45.255000\r\n"), std::string::npos) << report(latlong);
    EXPECT_NE(report(latlong).find(tail), std::string::npos) << report(latlong);
    EXPECT_EQ(latlong.with("window").back()["controls"]["cmdPlot"]["enabled"], false);

    ProbeRun table = probe({"setting", "proj", "proj", "26915", "type", "waypoint", "row", "lat=45.25",
                            "long=-93.5", "menu", "mnuProjectCoordinates", "table"});
    ASSERT_EQ(table.rows().size(), 1u);
    ProbeRun projected = run({"text", "frmCalculateCEP.tbxX", table.rows()[0]["x_proj"].get<std::string>(), "text",
                              "frmCalculateCEP.tbxY", table.rows()[0]["y_proj"].get<std::string>(), "check",
                              "frmCalculateCEP.cbxProjected", "1"});
    ASSERT_EQ(projected.status, 0) << projected.err;
    EXPECT_NE(report(projected).find(tail), std::string::npos) << report(projected);

    ProbeRun bad = run({"text", "frmCalculateCEP.tbxX", "west"});
    EXPECT_EQ(bad.with("disabled").size(), 1u);
    EXPECT_EQ(bad.with("window").back()["controls"]["cmdCalculate"]["enabled"], false);
    EXPECT_EQ(bad.with("window").back()["controls"]["cmdPlot"]["caption"], "Plot - ArcMap");

    ProbeRun one = probe({"type", "waypoint", "row", "lat=45.25", "long=-93.5", "menu", "mnuCalculateCEP", "menu",
                          "frmCalculateCEP.cmdCalculate"});
    auto boxes = one.boxes();
    ASSERT_FALSE(boxes.empty()) << one.out;
    EXPECT_EQ(boxes.back()["box"], "Only one record selected. You must have at least 2 records selected in the "
                                   "Data Table to calculate CEP");
    EXPECT_EQ(boxes.back()["title"], "Calculate CEP");
    EXPECT_EQ(boxes.back()["style"], 16);
}

} // namespace

// The receiver screen window end to end: product 129 serves a 160 × 100
// one-bit screen, then a two-bit one drawn 100 × 160.
namespace {

QImage bitmap(const std::string& path)
{
    QImage image(QString::fromStdString(path), "BMP");
    return image.convertToFormat(QImage::Format_RGB32);
}

TEST(TrekfoldProbe, ScreenWindowShowsTurnsSizesAndSaves)
{
    Home home;
    Simulator sim(home.path, TREKFOLD_SOURCE_DIR "/tests/tools/trekfold-probe/data/screen-129-unit.json");
    ASSERT_TRUE(std::filesystem::exists(sim.link));
    const std::string doubled = home.path + "/doubled.bmp", single = home.path + "/single.bmp",
                      turned = home.path + "/turned.bmp";
    ProbeRun r = probe({"--home", home.path, "--port", "3", "connect", "menu", "mnuDDownload", "idle", "window",
                        "frmImage", "answer", doubled, "menu", "frmImage.mnuSaveFile", "menu", "frmImage.mnuSize",
                        "0", "window", "frmImage", "answer", single, "menu", "frmImage.mnuSaveFile", "menu",
                        "frmImage.mnuRot", "0", "answer", turned, "menu", "frmImage.mnuSaveFile", "answer", turned,
                        "answer", "No", "menu", "frmImage.mnuSaveFile", "menu", "frmImage.mnuPrint"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto windows = r.with("window");
    ASSERT_EQ(windows.size(), 2u);
    EXPECT_EQ(windows[0]["caption"], "GPS Display");
    EXPECT_EQ(windows[0]["pictures"]["picSized"], (json{320, 200}));
    EXPECT_EQ(windows[0]["pictures"]["picImage"], (json{160, 100}));
    EXPECT_EQ(windows[0]["menus"]["mnuSize(1)"]["checked"], true);
    EXPECT_EQ(windows[0]["timers"]["Timer3"]["enabled"], false);
    EXPECT_EQ(windows[0]["topmost"], false);
    EXPECT_EQ(windows[1]["caption"], "GPS Display 1X");
    EXPECT_EQ(windows[1]["pictures"]["picSized"], (json{160, 100}));
    EXPECT_NE(home.ini().find("[image]\nsize=0"), std::string::npos); // 2X chosen and stored, then 1X
    bool asked = false;
    for (const auto& b : r.boxes()) asked |= b["box"] == "File already exists.  Would you like to overwrite it?";
    EXPECT_TRUE(asked);
    // The printed page: the window's inside, the picture turned right at 1X.
    QImage page;
    for (const auto& f : r.with("file"))
        if (f["file"].get<std::string>().find(".png") != std::string::npos)
            page.load(QString::fromStdString(f["file"].get<std::string>()), "PNG");
    EXPECT_EQ(page.size(), QSize(100, 160));

    // 2X turned by half a turn, 1X as received, 1X turned right.
    const QImage d = bitmap(doubled), s = bitmap(single), t = bitmap(turned);
    ASSERT_EQ(d.size(), QSize(320, 200));
    ASSERT_EQ(s.size(), QSize(160, 100));
    ASSERT_EQ(t.size(), QSize(100, 160));
    int dark = 0;
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 160; ++x) {
            const QRgb p = s.pixel(x, y);
            dark += qRed(p) == 0;
            ASSERT_EQ(d.pixel(319 - 2 * x, 199 - 2 * y), p) << x << "," << y;
            ASSERT_EQ(d.pixel(318 - 2 * x, 198 - 2 * y), p) << x << "," << y;
            ASSERT_EQ(t.pixel(99 - y, x), p) << x << "," << y;
        }
    EXPECT_GT(dark, 0);
    EXPECT_LT(dark, 160 * 100);

    // A fresh start: the two-bit screen, 100 wide and 160 high, at 3X.
    Home fresh;
    ProbeRun again = probe({"--home", fresh.path, "--port", "3", "connect", "menu", "mnuDDownload", "idle", "window",
                            "frmImage"});
    ASSERT_EQ(again.status, 0) << again.err;
    const auto w = again.with("window");
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0]["pictures"]["picSized"], (json{300, 480}));
    EXPECT_EQ(w[0]["caption"], "GPS Display");
}

TEST(TrekfoldProbe, ScreenOfAModelWithoutOneIsNotAskedFor)
{
    Home home;
    Simulator sim(home.path, "product77-v355.json");
    ASSERT_TRUE(std::filesystem::exists(sim.link));
    ProbeRun r = probe({"--home", home.path, "--port", "3", "connect", "menu", "mnuDDownload", "idle", "window",
                        "frmImage"});
    ASSERT_EQ(r.status, 0) << r.err;
    bool told = false;
    for (const auto& b : r.boxes()) told |= b["box"] == "This screenshot functionality is not available for your model of Garmin.";
    EXPECT_TRUE(told);
    const auto w = r.with("window");
    ASSERT_EQ(w.size(), 1u);
    EXPECT_EQ(w[0]["loaded"], false);
    EXPECT_EQ(w[0]["pictures"]["picImage"], (json{0, 0}));
}

} // namespace

// Each File menu writer cut by a file-size limit, as on a full disk: its
// error box, the old files byte for byte, no temporary left.
namespace {

std::map<std::string, std::string> top_files(const std::string& dir)
{
    std::map<std::string, std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.is_regular_file()) {
            std::ifstream in(e.path(), std::ios::binary);
            out[e.path().filename().string()] = std::string(std::istreambuf_iterator<char>(in), {});
        }
    return out;
}

TEST(TrekfoldProbe, SavesCutByAFileSizeLimitKeepTheOldFiles)
{
    Home home;
    auto at = [&](const char* f) { return home.path + "/" + f; };
    struct Save {
        std::vector<std::string> command;
        std::vector<std::string> files;
        const char* result;
        const char* box;
    };
    const std::vector<Save> saves = {
        {{"save", "shp_u", at("w.shp")}, {"w.shp", "w.shx", "w.dbf"}, "save", "Error 61: Disk full"},
        {{"save", "dbf", at("t.dbf")}, {"t.dbf"}, "save", "Save_DBF Error #61 - Disk full"},
        {{"save", "txt", at("t.txt")}, {"t.txt"}, "save", "Error #61 - Disk full"},
        {{"gpx-save", at("t.gpx")}, {"t.gpx"}, "gpx_save", "Error Number: 61, Disk full"},
        {{"kml-save", at("t.kml")}, {"t.kml"}, "kml_save", "Error 61: Disk full"},
        {{"lowrance-save", at("l.txt")}, {"l.txt"}, "lowrance_save", "Error #61 - Disk full"},
    };
    std::vector<std::string> first = {"--home", home.path, "answer", "Yes", "type", "waypoint", "rows", "30",
                                      "ident=W{n}", "lat=45.{n}", "long=-93.{n}"};
    for (const auto& s : saves) first.insert(first.end(), s.command.begin(), s.command.end());
    ProbeRun r = probe(first);
    ASSERT_EQ(r.status, 0) << r.err;
    for (const auto& s : saves)
        for (const auto& line : r.with(s.result)) ASSERT_EQ(line[s.result], true) << s.result;
    const auto before = top_files(home.path);

    std::vector<std::string> cut = {"--home", home.path, "type", "waypoint", "rows", "300", "ident=W{n}",
                                    "lat=45.{n}", "long=-93.{n}"};
    for (const auto& s : saves)
        for (bool append : {false, true}) {
            std::size_t limit = 0;
            for (const auto& f : s.files) limit = std::max(limit, before.at(f).size() + 16);
            cut.push_back("file-limit");
            cut.push_back(std::to_string(limit));
            cut.insert(cut.end(), s.command.begin(), s.command.end());
            if (append) cut.push_back("append");
        }
    cut.insert(cut.end(), {"file-limit", "1000000000"}); // the settings saved at exit
    r = probe(cut);
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> boxes;
    for (const auto& b : r.boxes())
        if (b["title"] != "Set Default Projection") boxes.push_back(b["box"]);
    std::vector<std::string> expected;
    for (const auto& s : saves) {
        expected.insert(expected.end(), 2, s.box);
        for (const auto& line : r.with(s.result)) EXPECT_EQ(line[s.result], false) << s.result;
    }
    EXPECT_EQ(boxes, expected);
    EXPECT_TRUE(r.with("file").empty()) << r.out;
    EXPECT_TRUE(top_files(home.path) == before);
}

} // namespace

// Uploads that cannot reach the unit end without saying they did.
namespace {

std::vector<std::string> files_under(const std::string& folder)
{
    std::vector<std::string> out;
    for (const auto& e : std::filesystem::recursive_directory_iterator(folder))
        if (e.is_regular_file()) out.push_back(e.path().filename().string());
    std::sort(out.begin(), out.end());
    return out;
}

TEST(TrekfoldProbe, UploadsThatCannotReachTheUnitShowNoCompletion)
{
    // A USB unit whose protocols hold no route transfer.
    Home home;
    const std::string scenario = home.path + "/no-routes.json", record = home.path + "/written.txt";
    std::ofstream(scenario) << R"({"unit_id": 305419896, "rules": [
        {"id": 254, "interrupt": [{"id": 255, "data": "E803 3601 55534220554E495400"},
                                  {"id": 253, "data": "500000 4C0100 410A00 416400 446C00 412D01 443601 442D01"}]},
        {"id": 10, "command": 14, "interrupt": [{"id": 38, "data": "78563412"}]}]})";
    ::setenv("TREKFOLD_USB_FAKE", scenario.c_str(), 1);
    ::setenv("TREKFOLD_USB_FAKE_RECORD", record.c_str(), 1);
    ProbeRun r = probe({"--home", home.path, "setting", "proj", "proj", "4326", "connect", "type", "route", "row",
                        "ident=A", "lat=1", "long=1", "new_seg=True", "row", "ident=B", "lat=2", "long=2", "row",
                        "ident=C", "lat=3", "long=3", "menu", "mnuRUpload", "idle"});
    ::unsetenv("TREKFOLD_USB_FAKE");
    ::unsetenv("TREKFOLD_USB_FAKE_RECORD");
    ASSERT_EQ(r.status, 0) << r.err;
    for (const auto& b : r.boxes()) EXPECT_EQ(b["box"].get<std::string>().find("Transfer Complete"), std::string::npos);
    EXPECT_EQ(r.with("status").back()["status"], "GPS model/version does not support Routes");
    // What the unit was sent: the count of six at most, no route header,
    // waypoint or link (USB packets: type 20, the ID at bytes 4 and 5).
    std::ifstream in(record);
    int counts = 0;
    for (std::string line; std::getline(in, line);) {
        if (line.size() < 12 || line.substr(0, 2) != "14") continue;
        const std::string id = line.substr(8, 4);
        EXPECT_TRUE(id != "1D00" && id != "1E00" && id != "6200") << line;
        counts += id == "1B00";
    }
    EXPECT_EQ(counts, 1);

    // A mass-storage unit whose description gives no upload folder.
    Home unit, folder;
    std::filesystem::create_directories(unit.path + "/Garmin");
    std::ofstream(unit.path + "/Garmin/GarminDevice.xml")
        << "<Device><Model><Description>No Inbox</Description></Model><MassStorageMode><DataType>"
           "<Name>GPSData</Name><File><Location><Path>Garmin/GPX</Path><BaseName>Current</BaseName>"
           "<FileExtension>gpx</FileExtension></Location><TransferDirection>OutputFromUnit</TransferDirection>"
           "</File></DataType></MassStorageMode></Device>";
    r = probe({"--home", home.path, "setting", "proj", "proj", "4326", "massstorage", unit.path, "row", "ident=A",
               "lat=1", "long=1", "menu", "mnuWUpload", "idle"},
              folder.path);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_FALSE(r.boxes().empty());
    EXPECT_EQ(r.boxes().back()["box"], "This unit has no upload folder.  Nothing was uploaded.");
    EXPECT_TRUE(r.with("file").empty());
    EXPECT_EQ(files_under(unit.path), (std::vector<std::string>{"GarminDevice.xml"}));
    EXPECT_TRUE(files_under(folder.path).empty());
}

} // namespace
