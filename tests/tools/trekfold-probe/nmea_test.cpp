// NMEA lines through the probe: the viewer's filter, shift-click, stored
// states, size and save; and a receiver simulator replaying a log: start-up
// connects in NMEA mode, and with real time off lines update the labels and
// the viewer but store no values.
#include "tests/tools/trekfold-probe/probe_run.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using probetest::Home;
using probetest::json;
using probetest::ProbeRun;

ProbeRun probe(const std::vector<std::string>& args) { return probetest::run(args); }

const std::string kRmc = "$GPRMC,225308,A,4527.458,S,16709.165,E,000.0,094.5,060601,024.1,E*6D";
const std::string kGsv = "$GPGSV,3,1,09,01,05,060,18,02,17,259,43,04,56,287,28,07,28,169,42*70";
const std::string kRmv = "$PGRMV,0.0,0.0,0.0*59";

std::vector<int> all(int value) { return std::vector<int>(35, value); }

TEST(TrekfoldProbeNmea, ViewerFilterAndShiftClick)
{
    Home home;
    ProbeRun r = probe({"--home", home.path, "--port", "0", "answer", "Yes", "menu", "mnuViewNMEA", "window",
                   "frmNMEAViewer", "nmea", kRmc, "nmea", kGsv, "check", "frmNMEAViewer.chkGPGSV", "0", "nmea", kGsv,
                   "nmea", kRmv, "check", "frmNMEAViewer.chkOTHER", "0", "nmea", kRmv, "nmea", kRmc, "1", "window",
                   "frmNMEAViewer",
                   // Shift on a ticked box clears the others, on a clear one ticks them; Shift with Ctrl
                   // changes only the box.
                   "check", "frmNMEAViewer.chkGPGSV", "1", "shiftclick", "frmNMEAViewer.chkGPRMC", "window",
                   "frmNMEAViewer", "shiftclick", "frmNMEAViewer.chkGPRMC", "window", "frmNMEAViewer", "shiftclick",
                   "frmNMEAViewer.chkGPRMC", "3", "window", "frmNMEAViewer", "resize", "frmNMEAViewer", "3000",
                   "3000", "window", "frmNMEAViewer"});
    ASSERT_EQ(r.status, 0) << r.err;
    const auto windows = r.with("window");
    ASSERT_EQ(windows.size(), 6u);
    EXPECT_EQ(windows[0]["values"], all(1));
    EXPECT_EQ(windows[0]["text"], "");
    const std::string text = kRmc + "\r\n" + kGsv + "\r\n" + kRmv + "\r\n" + kRmc;
    EXPECT_EQ(windows[1]["text"], text);
    EXPECT_EQ(windows[1]["caret"], text.size());
    EXPECT_EQ(windows[2]["values"], all(0));
    EXPECT_EQ(windows[3]["values"], all(1));
    std::vector<int> rmc_clear = all(1);
    rmc_clear[18] = 0;
    EXPECT_EQ(windows[4]["values"], rmc_clear);
    EXPECT_EQ(windows[5]["controls"]["tbxNMEAStrings"]["width"], 6200);
    EXPECT_EQ(windows[5]["controls"]["tbxNMEAStrings"]["height"], 3300);
    // The window itself keeps its least size.
    EXPECT_EQ(windows[5]["width"], 6500);
    EXPECT_EQ(windows[5]["height"], 6700);
    EXPECT_EQ(windows[0]["width"], 6600);
    // Unloaded at shut-down: the 35 states stored.
    EXPECT_NE(home.read("trekfold/trekfold.ini").find("checkboxes=1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,0,1,"),
              std::string::npos);
}

TEST(TrekfoldProbeNmea, StoredStatesAndSave)
{
    Home home;
    const std::string file = home.path + "/nmea.txt";
    ProbeRun r = probe({"--home", home.path, "--port", "0", "answer", "Yes", "setting", "NMEA", "checkboxes",
                   "0,0,0,0,0,0,0,0,0,0", "menu", "mnuViewNMEA", "nmea", kGsv, "nmea", kRmc, "window",
                   "frmNMEAViewer", "answer", file, "menu", "frmNMEAViewer.cmdSave", "nmea", kRmc, "answer", file,
                   "answer", "No", "menu", "frmNMEAViewer.cmdSave", "answer", "", "menu", "frmNMEAViewer.cmdSave"});
    ASSERT_EQ(r.status, 0) << r.err;
    const json w = r.window("frmNMEAViewer");
    std::vector<int> ten_clear = all(1);
    for (int i = 0; i < 10; ++i) ten_clear[std::size_t(i)] = 0;
    EXPECT_EQ(w["values"], ten_clear);
    EXPECT_EQ(w["text"], kGsv + "\r\n" + kRmc);
    EXPECT_EQ(home.read("nmea.txt"), kGsv + "\r\n" + kRmc + "\r\n"); // the second save answered No
    const auto dialogs = r.with("dialog");
    ASSERT_EQ(dialogs.size(), 3u);
    EXPECT_EQ(dialogs[0]["filter"], "Text File (*.txt)|*.txt");
    std::vector<std::string> boxes;
    for (const auto& b : r.with("box")) boxes.push_back(b["box"]);
    ASSERT_GE(boxes.size(), 2u);
    EXPECT_EQ(boxes[boxes.size() - 2], "File was written successfully to " + file);
    EXPECT_EQ(boxes.back(), "File already exists.  Would you like to overwrite it?");
    EXPECT_NE(home.read("trekfold/trekfold.ini").find("checkboxes=0,0,0,0,0,0,0,0,0,0,1,1,1,1,1,1,1,1,1,1,1,1,"),
              std::string::npos);
}

TEST(TrekfoldProbeNmea, ReplayingUnitWithRealTimeOff)
{
    Home home;
    home.write("trekfold/trekfold.ini", "[port]\nport=3\nSettings=4800,N,8,1\n");
    home.write("one.log", kGsv + "\n");
    const std::string link = home.path + "/gps0";
    QProcess sim;
    sim.start(TREKFOLD_BINARY_DIR "/bin/gpsim",
              {"--scenario", TREKFOLD_SOURCE_DIR "/tools/gpsim/scenarios/nmea-4800-unit.json", "--link",
               QString::fromStdString(link), "--nmea-replay", QString::fromStdString(home.path + "/one.log")});
    for (int i = 0; i < 600 && !std::filesystem::exists(link); ++i) sim.waitForFinished(100);
    ASSERT_TRUE(std::filesystem::exists(link));
    ::setenv("TREKFOLD_COM3", link.c_str(), 1);
    ProbeRun r = probe({"--home", home.path, "answer", "Yes", "nmea", kRmc, "nmea", "$PGRMZ,48,f,3*1B", "nmea-values",
                   "window", "frmMain", "window", "frmNMEAViewer", "menus",
                   // Tracking: the keys fill, a "$GPRMC" makes a row and uses them up.
                   "menu", "mnuStartRealTime", "nmea", "$PGRMZ,48,f,3*1B", "nmea", "$PGRMM,WGS 84*06", "nmea-values",
                   "nmea", kRmc, "nmea-values", "table"});
    sim.terminate();
    sim.waitForFinished(10000);
    ASSERT_EQ(r.status, 0) << r.err;
    bool nmea_box = false;
    for (const auto& b : r.with("box")) nmea_box |= b["box"].get<std::string>().rfind("Your GPS is in NMEA mode.", 0) == 0;
    EXPECT_TRUE(nmea_box);
    EXPECT_EQ(r.with("nmea_values").at(0)["nmea_values"], json::object());
    EXPECT_EQ(r.window("frmMain")["controls"]["lblGPSDesc1"]["text"], "NMEA Mode");
    const json viewer = r.window("frmNMEAViewer");
    EXPECT_FALSE(viewer["visible"].get<bool>()); // made hidden by the first line
    // The probe's two lines, after the unit's own when it came after the
    // connection was made.
    const std::string ours = kRmc + "\r\n$PGRMZ,48,f,3*1B";
    const std::string text = viewer["text"];
    EXPECT_TRUE(text == ours || text == kGsv + "\r\n" + ours) << text;
    const auto values = r.with("nmea_values");
    ASSERT_EQ(values.size(), 3u);
    EXPECT_EQ(values[1]["nmea_values"]["datum"], "WGS 84");
    EXPECT_NEAR(values[1]["nmea_values"]["alt"].get<double>(), 14.63, 0.01);
    EXPECT_EQ(values[2]["nmea_values"], json::object());
    std::vector<json> rows;
    for (const auto& l : r.with("row"))
        if (l.contains("lat")) rows.push_back(l);
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0]["lat"], "-45.457633");
    EXPECT_EQ(rows[0]["alt"], "14.6");
    EXPECT_EQ(rows[0]["datum"], "WGS 84");
    EXPECT_EQ(rows[0]["time"], "22:53:08");
}

} // namespace
