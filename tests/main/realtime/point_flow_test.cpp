// One PVT record after another through the point flow: readouts, the stop
// check, the tolerance filter, row texts, the log, the hand-offs to the GIS
// programs, and the guard against a record arriving inside another.
#include "tests/main/realtime/realtime_rig.h"

#include "main/app/menu.h"
#include "platform/automation/dispatch.h"
#include "platform/text/vb.h"
#include "tests/support/file_size_limit.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using rttest::Tracker;
namespace vb = platform::vb;

namespace {

std::string read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Records the calls an ArcMap extension receives.
struct ArcMap : platform::Dispatch {
    std::vector<std::pair<std::string, std::vector<platform::Variant>>> calls;
    std::vector<std::string> names{"RT_SendPoint", "RT_Graphics_Delete", "Shapefile_ToDataFrame", "DataFrame_Refresh"};
    std::optional<platform::DispId> GetIDOfName(std::string_view n) const override
    {
        for (std::size_t i = 0; i < names.size(); ++i)
            if (names[i] == n) return platform::DispId(i);
        return std::nullopt;
    }
    platform::Variant Invoke(platform::DispId id, platform::InvokeKind, std::vector<platform::Variant>& a) override
    {
        calls.emplace_back(names[std::size_t(id)], a);
        return {};
    }
};

} // namespace

TEST(PointFlow, RowTextReadoutsAndOneDateRequestPerKeptFix)
{
    Tracker t;
    t.settings.SaveSetting("units", "units", "Meters");
    t.start();
    EXPECT_TRUE(t.w().Visible());
    EXPECT_EQ(t.count("garmin.Pvt_Data_Start"), 0); // sent by the start before the log was cleared
    t.fix(45.12345678, -93.12345678);
    t.fix(45.2, -93.2);
    ASSERT_EQ(t.rows(), 2);
    EXPECT_EQ(t.count("garmin.Request_Date_Time"), 2);
    EXPECT_EQ(t.cell(1, "type"), "RTIMEWPT");
    EXPECT_EQ(t.cell(1, "ident"), "rt1");
    EXPECT_EQ(t.cell(2, "ident"), "rt2");
    EXPECT_EQ(t.cell(1, "lat"), "45.12345678");
    EXPECT_EQ(t.cell(1, "long"), "-93.12345678");
    EXPECT_EQ(t.cell(1, "alt"), "312");
    EXPECT_EQ(t.cell(1, "epe"), "1.5");
    EXPECT_EQ(t.cell(1, "eph"), "2.1");
    EXPECT_EQ(t.cell(1, "epv"), "3.0");
    EXPECT_EQ(t.cell(1, "pfix"), "3");
    EXPECT_EQ(t.cell(1, "north"), "-0.40");
    EXPECT_EQ(t.cell(1, "date"), "7/4/2006");
    EXPECT_EQ(t.cell(1, "time"), "9:5:30");
    EXPECT_EQ(t.main.lbllat.caption, "45.20000000");
    EXPECT_EQ(t.main.lblAlt.caption, "312 meters");
    EXPECT_EQ(t.main.StatusBar1[1], "Logged 2 real time points");
    // LandView and ArcView get the point.
    const std::string body = "\"" + vb::Format(std::stod(t.cell(2, "x_proj")), "##0.00000000") + ";" +
                             t.cell(2, "y_proj") + ";0.75;1.5;0;True\"";
    EXPECT_EQ(t.log.at(t.log.size() - 3), "ToDDE_Poke(TCL0," + body + ")");
    EXPECT_EQ(t.log.back(), "LinkExecute(av.run(\"GPS.ReceiveGarminSentence\",{" + body + "}))");
    EXPECT_TRUE(t.w().control("frmGISDisplay").enabled);
    EXPECT_FALSE(t.w().control("chkTrackUp").enabled);
    EXPECT_FALSE(t.main.state().transfer_busy);
}

TEST(PointFlow, TimeAndDistanceTolerancesAndTheBypass)
{
    Tracker t;
    t.start();
    t.w().control("chkTolerance(0)").value = true;
    t.w().control("tbxToleranceValue(0)").text = "5";
    t.fix(45, -93);
    t.fix(45.1, -93, 4); // 4 s: dropped, the readouts still change
    EXPECT_EQ(t.rows(), 1);
    EXPECT_EQ(t.main.lbllat.caption, "45.10000000");
    t.fix(45.1, -93, 1); // 5 s after the kept one
    EXPECT_EQ(t.rows(), 2);

    t.w().control("chkTolerance(0)").value = false;
    t.w().control("chkTolerance(1)").value = true;
    const double metres = realtime::Calculate_Distance(-93, 45.1, -93, 45.2, "K") * 1000;
    t.w().control("tbxToleranceValue(1)").text = vb::CStr(metres);
    t.fix(45.15, -93); // nearer than the value
    EXPECT_EQ(t.rows(), 2);
    t.fix(45.2, -93); // exactly the value away
    EXPECT_EQ(t.rows(), 3);
    t.main.state().tolerance_bypass = true;
    t.fix(45.2, -93); // no distance at all, kept once
    EXPECT_EQ(t.rows(), 4);
    EXPECT_FALSE(t.main.state().tolerance_bypass);
    t.fix(45.2, -93);
    EXPECT_EQ(t.rows(), 4);
}

TEST(PointFlow, FeetHugeAltitudeAndAPanThatIsNoNumber)
{
    Tracker t;
    t.settings.SaveSetting("units", "units", "Feet");
    t.main.state().unit = "Feet";
    t.start();
    t.garmin.pvt.epe = 10;
    t.garmin.pvt.Alt = 1e9f;
    auto arcmap = std::make_shared<ArcMap>();
    t.main.state().arcmap_extension = arcmap;
    t.main.state().arcmap_running = true;
    t.w().control("tbxPanWindow").text = "abc";
    t.fix(45, -93);
    t.fix(45.001, -93);
    EXPECT_EQ(t.main.lblAlt.caption, "0 feet");
    EXPECT_EQ(t.main.lblepe.caption, "16.4");
    EXPECT_EQ(t.cell(1, "epe"), "16.4");
    ASSERT_EQ(arcmap->calls.size(), 2u);
    const auto& a = arcmap->calls[1].second;
    ASSERT_EQ(a.size(), 11u);
    EXPECT_EQ(a[0].ToDouble(), -93);
    EXPECT_EQ(a[1].ToDouble(), 45.001);
    EXPECT_EQ(a[4].ToDouble(), 0.75);
    EXPECT_EQ(a[5].ToDouble(), 16.4);
    EXPECT_EQ(a[6].Type(), platform::VarType::Integer);
    EXPECT_EQ(a[7].ToBool(), true);
    EXPECT_EQ(arcmap->calls[0].second[8].ToDouble(), 0);   // the first has no direction
    EXPECT_EQ(a[8].ToDouble(), 360);                        // going north
    EXPECT_TRUE(t.w().control("chkTrackUp").enabled);
    t.main.menu_Click("mnuStopRealTime");
    EXPECT_EQ(arcmap->calls.back().first, "RT_Graphics_Delete");
}

TEST(PointFlow, StopAtZeroZeroWhenOffAndOnlyOnce)
{
    Tracker t;
    t.start();
    t.fix(45, -93);
    t.fix(0, 0);
    EXPECT_EQ(t.rows(), 1);
    EXPECT_FALSE(t.main.state().real_time);
    EXPECT_FALSE(t.w().Loaded());
    EXPECT_EQ(t.count("garmin.Pvt_Data_Stop"), 1);
    EXPECT_EQ(t.count("Set_Controls(6)"), 1); // the window's unload did not stop again
    EXPECT_FALSE(t.main.menus().find("mnuStopRealTime")->enabled);
    t.log.clear();
    t.fix(45, -93); // tracking off: the fix stops the stream again, no row
    EXPECT_EQ(t.rows(), 1);
    EXPECT_EQ(t.count("garmin.Pvt_Data_Stop"), 1);
    EXPECT_EQ(t.main.StatusBar1[1], "Stopped Real Time Logging");
}

TEST(PointFlow, ARecordArrivingInsideTheDateRequestIsSkipped)
{
    Tracker t;
    t.start();
    int n = 0;
    // The control raises the next record while it waits for the date.
    t.garmin.on["Request_Date_Time"] = [&] {
        if (n++ > 0) return;
        t.garmin.pvt.Lat = 10, t.garmin.pvt.Lon = 10;
        t.garmin.receive(t.garmin.ids.at("PID_Pvt_Data"), std::vector<std::uint8_t>(64));
    };
    t.fix(45, -93);
    ASSERT_EQ(t.rows(), 1);
    EXPECT_EQ(t.cell(1, "lat"), "45.00000000"); // its own fix, not the one that came in between
    EXPECT_EQ(t.cell(1, "long"), "-93.00000000");
    EXPECT_EQ(n, 1);
}

TEST(PointFlow, LogModeCountsPastSixteenBitsAndStopsOnAFailedWrite)
{
    Tracker t;
    const std::string log = t.dir.path + "/rt.txt";
    t.settings.SaveSetting("fields", "rtimeTextFile", "1");
    t.settings.SaveSetting("fields", "rtimetextloc", log);
    t.start();
    t.fix(45, -93);
    EXPECT_EQ(t.rows(), 0);
    EXPECT_EQ(t.main.StatusBar1[1], ""); // no status at the first
    t.fix(45.5, -93);
    EXPECT_EQ(t.main.StatusBar1[1], "Logged 2 real time points to " + log);
    auto lines = vb::Split(read(log), "\r\n");
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(vb::Split(lines[0], ";").size(), 28u);
    EXPECT_EQ(lines[1].substr(0, 13), "RTIMEWPT;rt1;");
    EXPECT_EQ(lines[2].substr(0, 13), "RTIMEWPT;rt2;");

    t.main.state().record_counter = 32766;
    t.fix(46, -93);
    t.fix(46.5, -93);
    lines = vb::Split(read(log), "\r\n");
    EXPECT_EQ(lines[3].substr(0, 17), "RTIMEWPT;rt32767;");
    EXPECT_EQ(lines[4].substr(0, 17), "RTIMEWPT;rt32768;");
    EXPECT_TRUE(t.main.state().real_time);

    t.settings.SaveSetting("fields", "rtimetextloc", t.dir.path + "/none/rt.txt");
    t.fix(47, -93);
    EXPECT_FALSE(t.main.state().real_time);
    bool box = false;
    for (const auto& b : t.dialogs.boxes()) box |= b.title == "Textfile_Save";
    EXPECT_TRUE(box);
}

TEST(PointFlow, ALogCutByAFullDiskEndsAtItsLastWholeRecord)
{
    apptest::TempDir dir;
    const std::string log = dir.path + "/rt.txt";
    // Writes past 3000 bytes fail as on a full disk: the box, tracking
    // stopped, and the records the log holds are whole lines.
    const std::string answer = test_support::with_file_size_limit(3000, [&] {
        Tracker t;
        t.settings.SaveSetting("fields", "rtimeTextFile", "1");
        t.settings.SaveSetting("fields", "rtimetextloc", log);
        t.start();
        for (int i = 0; i < 100 && t.main.state().real_time; ++i) t.fix(45.1 + i * 0.00001, -93);
        std::string box;
        for (const auto& b : t.dialogs.boxes())
            if (b.title == "Textfile_Save") box = b.text;
        return std::string(t.main.state().real_time ? "on " : "off ") + box;
    });
    EXPECT_EQ(answer, "off Error 61: Disk full");
    const std::string text = read(log);
    ASSERT_GE(text.size(), 2u);
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    const auto lines = vb::Split(text.substr(0, text.size() - 2), "\r\n");
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(vb::Split(lines[0], ";").size(), 28u); // the header
    for (std::size_t i = 1; i < lines.size(); ++i) {
        EXPECT_EQ(lines[i].rfind("RTIMEWPT;rt" + std::to_string(i) + ";", 0), 0u) << lines[i];
        EXPECT_EQ(vb::Split(lines[i], ";").size(), 26u) << lines[i];
    }
}

TEST(PointFlow, AnyExceptionInAHandOffClearsTheBusyFlag)
{
    Tracker t;
    t.start();
    // The control's event traps what the flow lets through; the flag the
    // flow set must not outlive it.
    t.links->on_poke = [] { throw std::runtime_error("not a run-time error"); };
    t.fix(45, -93);
    EXPECT_FALSE(t.main.state().transfer_busy);
    ASSERT_FALSE(t.dialogs.boxes().empty());
    EXPECT_EQ(t.dialogs.boxes().back().title, "frmMain.Garmin.Receive");
    t.links->on_poke = [] { throw 42; };
    t.fix(45.5, -93);
    EXPECT_FALSE(t.main.state().transfer_busy);
    // The next fix is taken as before.
    t.links->on_poke = nullptr;
    t.fix(46, -93);
    EXPECT_EQ(t.rows(), 3);
    EXPECT_FALSE(t.main.state().transfer_busy);
}

TEST(PointFlow, StartStampsTheOldLogAndKeepsAStampedNameThatExists)
{
    Tracker t;
    const std::string log = t.dir.path + "/RTLOG.TXT";
    t.settings.SaveSetting("fields", "rtimeTextFile", "1");
    t.settings.SaveSetting("fields", "rtimetextloc", log);
    std::ofstream(log) << "old\r\n";
    t.start();
    EXPECT_FALSE(std::filesystem::exists(log));
    std::string stamped;
    for (const auto& e : std::filesystem::directory_iterator(t.dir.path))
        if (e.path().filename().string().rfind("RTLOG.TXT2", 0) == 0) stamped = e.path().string();
    ASSERT_FALSE(stamped.empty());
    EXPECT_EQ(read(stamped), "old\r\n");
    EXPECT_EQ(stamped.find('-', log.size()) != std::string::npos, true);
    t.main.menu_Click("mnuStopRealTime");

    // A stamped name that is there: the box, both files as they were.
    std::ofstream(log) << "new\r\n";
    // The stamped names of the next seconds are all there.
    const double now = platform::vb::DateSerialValue(platform::vb::Now());
    std::vector<std::string> names;
    for (int k = 0; k < 30; ++k) {
        const platform::vb::Date n = platform::vb::DateFromSerial(now + k / 86400.0);
        names.push_back(log + std::to_string(n.year) + std::to_string(n.month) + std::to_string(n.day) + "-" +
                        std::to_string(n.hour) + std::to_string(n.minute) + std::to_string(n.second));
        if (names.back() != stamped) std::ofstream(names.back()) << "other\r\n";
    }
    t.dialogs.clear();
    t.main.menu_Click("mnuStartRealTime");
    ASSERT_FALSE(t.dialogs.boxes().empty());
    EXPECT_EQ(t.dialogs.boxes().back().title, "frmMain.mnuStartRealTime_Click");
    EXPECT_EQ(t.dialogs.boxes().back().text, "Error #58 - File already exists");
    EXPECT_EQ(read(log), "new\r\n");
    for (const std::string& name : names) EXPECT_EQ(read(name), name == stamped ? "old\r\n" : "other\r\n");
}
