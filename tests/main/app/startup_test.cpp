#include "rig.h"

#include "platform/automation/vb_error.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "main/table/table.h"

using apptest::Log;
using apptest::Rig;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

namespace {

Log startup_sequence(bool quiet_line)
{
    Log l = {"garmin.Port=1",
             "garmin.Settings=9600,N,8,1",
             "Ports_Enable",
             "Set_Controls(1)",
             "Set_Controls(2)",
             "Refresh_Apps",
             "SetFieldSettings()",
             "optEPSG_Click",
             "Set_Controls(4)",
             "Load_d103WptSymbols",
             "Load_d1xxWptSymbols",
             "mnuOpen_Click"};
    if (quiet_line) l.push_back("Quiet_Driver(QUIET,download,waypoint,/tmp/a b.shp)");
    return l;
}

TEST(StartUp, RunsItsStepsInOrder)
{
    Rig r;
    ::unsetenv("PROJ_LIB");
    const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "";
    r.load();
    // The environment is left as it was.
    EXPECT_EQ(std::getenv("PROJ_LIB"), nullptr);
    EXPECT_EQ(std::string(std::getenv("PATH") ? std::getenv("PATH") : ""), path);
    EXPECT_THAT(r.log, ElementsAreArray(startup_sequence(false)));
    EXPECT_TRUE(r.dialogs.boxes().empty());
    const auto& s = r.main.state();
    EXPECT_EQ(s.record_type, "waypoint");
    EXPECT_TRUE(s.transfer_complete);
    EXPECT_FALSE(s.transfer_busy);
    EXPECT_TRUE(s.projected_output);
    EXPECT_TRUE(s.hotlink_sort);
    EXPECT_EQ(s.unit, "Meters");
    EXPECT_EQ(s.time_zone, "Local Computer Time");
    EXPECT_EQ(r.main.Drive1, "/opt/trekfold");
    EXPECT_EQ(r.main.cmdAdvanced.caption, ">>> Data Table >>>");
    EXPECT_TRUE(r.main.optWpt.value);
    EXPECT_TRUE(r.main.Visible);
    EXPECT_EQ(r.main.WindowState, app::vbNormal);
    // Placed centred across and a quarter down the screen.
    EXPECT_EQ(r.main.Left, (r.main.screen_width - r.main.Width) / 2);
    EXPECT_EQ(r.main.Top, r.main.screen_height / 4);
}

TEST(StartUp, QuietCommandLineShowsStatusWindowAndHandsOverTheWholeLine)
{
    Rig r;
    r.transfer->connects = true;
    // Four fields: no job, the program stays open with its status window.
    const std::string line = "QUIET,download,waypoint,/tmp/a b.shp";
    r.load(line);
    EXPECT_THAT(r.log, ElementsAreArray(startup_sequence(true)));
    EXPECT_TRUE(r.main.state().quiet_mode);
    EXPECT_EQ(r.main.WindowState, app::vbMinimized);
    EXPECT_TRUE(r.main.frmQuietStatus.visible);
    EXPECT_EQ(r.main.frmQuietStatus.caption, "Trekfold Status Window");
    EXPECT_EQ(r.main.frmQuietStatus_lblStatus, "Loading Trekfold");
    EXPECT_FALSE(r.main.frmSplash.loaded);
    EXPECT_THAT(r.links->seam.quiet_command_lines(), ElementsAre(line));
    // No box may wait for a user in quiet mode.
    EXPECT_TRUE(r.dialogs.quiet());
}

TEST(StartUp, MinimiseOnlyAtTheStartOfTheCommandLine)
{
    {
        Rig r;
        r.load("x minimize");
        EXPECT_FALSE(r.main.state().start_minimised);
        EXPECT_FALSE(r.main.state().quiet_mode);
        EXPECT_EQ(r.main.WindowState, app::vbNormal);
        EXPECT_TRUE(r.main.frmSplash.visible);
        EXPECT_EQ(r.main.frmSplash_lblVersion.rfind("Version ", 0), 0u);
        // The splash closes itself two seconds later.
        r.pump.advance(1999000);
        EXPECT_TRUE(r.main.frmSplash.loaded);
        r.pump.advance(2000);
        EXPECT_FALSE(r.main.frmSplash.loaded);
    }
    {
        Rig r;
        r.load("Minimize");
        EXPECT_TRUE(r.main.state().start_minimised);
        EXPECT_EQ(r.main.WindowState, app::vbMinimized);
        EXPECT_FALSE(r.main.frmSplash.loaded);
        EXPECT_FALSE(r.main.frmQuietStatus.visible);
        EXPECT_THAT(r.links->seam.quiet_command_lines(), ElementsAre());
    }
    {
        Rig r;
        r.load("xquiet");
        EXPECT_FALSE(r.main.state().quiet_mode);
    }
}

struct RefreshCase {
    const char* stored; // nullptr: absent
    std::int64_t interval_ms;
    const char* written;
};

TEST(StartUp, RefreshPeriod)
{
    const RefreshCase cases[] = {
        {nullptr, 10000, "10"}, {"2.5", 2500, "2.5"},  {"abc", 10000, "10"}, {"-1", 10000, "10"},
        {"0", 10000, "10"},     {"30", 30000, "30"},   {"", 10000, "10"},
        // The timer holds at most 2^31 - 1 ms; larger periods are clamped.
        {"1e300", 2147483647, "2147483.647"}, {"3000000", 2147483647, "2147483.647"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.stored ? c.stored : "(absent)");
        Rig r;
        if (c.stored) r.settings.SaveSetting("app", "refresh", c.stored);
        r.load();
        EXPECT_EQ(r.main.Timer1->interval_ms(), c.interval_ms);
        EXPECT_TRUE(r.main.Timer1->enabled());
        EXPECT_EQ(r.settings.GetSetting("app", "refresh"), c.written);
    }
}

TEST(StartUp, Timer1RunsTheGisDetectionEveryPeriodUnlessTheScreenWindowIsOpen)
{
    Rig r;
    r.settings.SaveSetting("app", "refresh", "2");
    r.load();
    r.log.clear();
    r.main.Caption = "stale";
    r.pump.advance(1999000);
    EXPECT_EQ(r.main.Caption, "stale");
    r.pump.advance(1000);
    EXPECT_EQ(r.main.Caption, "Ostrevane - Garmin ");
    r.pump.advance(2000000);
    EXPECT_THAT(r.log, ElementsAre("Timer1_Timer", "Timer1_Timer"));
    r.main.Caption = "stale";
    r.main.state().screen_window_open = true;
    r.pump.advance(2000000);
    EXPECT_EQ(r.main.Caption, "stale");
}

TEST(StartUp, StoredPortWithoutMenuItemWarnsOnceAndCarriesOn)
{
    for (const char* stored : {"21", "abc", "-1", "70000"}) {
        SCOPED_TRACE(stored);
        Rig r;
        r.settings.SaveSetting("port", "port", stored);
        r.load();
        ASSERT_EQ(r.dialogs.boxes().size(), 1u);
        EXPECT_EQ(r.dialogs.boxes()[0].title, "frmMain.Load");
        EXPECT_EQ(r.dialogs.boxes()[0].icon(), platform::vbExclamation);
        EXPECT_NE(r.dialogs.boxes()[0].text.find(stored), std::string::npos);
        EXPECT_EQ(r.main.state().port, 1);
        EXPECT_TRUE(r.main.menus().at("mnuPort", 1).checked);
        // Every later step ran.
        EXPECT_EQ(r.log.front(), "garmin.Port=1");
        EXPECT_EQ(r.log.back(), "mnuOpen_Click");
        EXPECT_EQ(r.main.state().d1xx_symbols.Count(), 16);
        // The stored text is left for the user to correct.
        EXPECT_EQ(r.settings.GetSetting("port", "port"), stored);
    }
}

TEST(StartUp, PortSettingsAndUnitTickTheirMenuItems)
{
    Rig r;
    r.settings.SaveSetting("port", "port", "0");
    r.settings.SaveSetting("port", "Settings", "38400,N,8,1");
    r.settings.SaveSetting("units", "unit", "feet");
    r.load();
    EXPECT_TRUE(r.dialogs.boxes().empty());
    for (auto* m : r.main.menus().array("mnuPort")) EXPECT_EQ(m->checked, m->index == 0) << m->index;
    for (auto* m : r.main.menus().array("mnuBaud")) EXPECT_EQ(m->checked, m->index == 4) << m->index;
    for (auto* m : r.main.menus().array("mnuUnit")) EXPECT_EQ(m->checked, m->index == 1) << m->index;
    EXPECT_EQ(r.main.state().unit, "feet");
    EXPECT_EQ(r.log[0], "garmin.Port=0");
    EXPECT_EQ(r.log[1], "garmin.Settings=38400,N,8,1");

    Rig odd;
    odd.settings.SaveSetting("port", "Settings", "14400,N,8,1");
    odd.load();
    for (auto* m : odd.main.menus().array("mnuBaud")) EXPECT_FALSE(m->checked) << m->index;
    EXPECT_TRUE(odd.main.menus().at("mnuUnit", 0).checked); // the default, Meters
    EXPECT_EQ(odd.log[1], "garmin.Settings=14400,N,8,1");
    EXPECT_EQ(odd.main.state().port_settings, "14400,N,8,1");
}

TEST(StartUp, PortMenuFollowsTheComputersPorts)
{
    Rig r;
    std::ofstream(r.dir.path + "/dev/ttyUSB0").put('x');
    std::ofstream(r.dir.path + "/pty7").put('x');
    r.env["TREKFOLD_COM3"] = r.dir.path + "/pty7";
    r.env["TREKFOLD_COM5"] = r.dir.path + "/missing";
    r.load();
    for (auto* m : r.main.menus().array("mnuPort"))
        EXPECT_EQ(m->enabled, m->index == 0 || m->index == 1 || m->index == 3) << m->index;
}

TEST(StartUp, SymbolTables)
{
    Rig r;
    r.load();
    const auto& d103 = r.main.state().d103_symbols;
    const auto& d1xx = r.main.state().d1xx_symbols;
    ASSERT_EQ(d103.Count(), 16);
    ASSERT_EQ(d1xx.Count(), 16);
    const char* codes[16] = {"18", "10", "8", "170", "7", "150", "0", "19",
                             "177", "14", "178", "151", "179", "171", "156", "8196"};
    const int numbers[16] = {18, 10, 8, 170, 7, 150, 0, 19, 177, 14, 178, 151, 179, 171, 156, 8196};
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(d103.Item(codes[i]), i) << codes[i];
        EXPECT_EQ(d1xx.Item(std::to_string(i)), numbers[i]) << i;
    }
    EXPECT_FALSE(platform::itemExists(d103, "1"));
    EXPECT_FALSE(platform::itemExists(d1xx, "16"));
    EXPECT_EQ(r.main.state().nmea_values.Count(), 0);
}

TEST(StartUp, GisDetectionSeamSetsCaptionAndDisablesGisMenus)
{
    Rig r;
    r.load();
    EXPECT_EQ(r.main.Caption, "Ostrevane - Garmin ");
    for (const char* n : {"mnuArcViewL", "mnuArcViewS", "mnuLandviewL", "mnuLandViewS", "mnuArcMapL", "mnuArcMapS",
                          "mnuGoogleLoad", "mnuGoogleSave", "mnuArcExplorerS", "mnuArcMapProperties"})
        EXPECT_FALSE(r.main.menus().at(n).enabled) << n;
    EXPECT_TRUE(r.main.menus().at("mnuFileL").enabled);
    EXPECT_TRUE(r.main.menus().at("mnuGeneralProperties").enabled);
}

TEST(StartUp, UiStateAfterStartUp)
{
    Rig r;
    r.load();
    // The type change of step 20 reports a table with records, even though
    // it is still empty and has no header.
    EXPECT_EQ(r.main.state().ui_state, 4);
    // The grid has the empty table's shape: two rows, 30 columns, the
    // row-number column 400 twips wide, no header.
    EXPECT_EQ(r.main.MSFlexGrid1.Rows(), 2);
    EXPECT_EQ(r.main.MSFlexGrid1.Cols(), 30);
    EXPECT_EQ(r.main.MSFlexGrid1.ColWidth(0), 400);
    EXPECT_EQ(r.main.MSFlexGrid1.TextMatrix(0, 1), "");
}

TEST(StartUp, ProjectionModeFollowsTheSetting)
{
    const std::pair<const char*, const char*> cases[] = {
        {"esri", "optESRI_Click"}, {"epsg", "optEPSG_Click"}, {"arcmap", "optArcMap_Click"}, {"EPSG", nullptr}};
    for (auto [mode, handler] : cases) {
        Rig r;
        r.settings.SaveSetting("proj", "projfile", mode);
        r.load();
        auto at = std::find(r.log.begin(), r.log.end(), "SetFieldSettings()");
        ASSERT_NE(at, r.log.end());
        if (handler)
            EXPECT_EQ(*(at + 1), handler);
        else
            EXPECT_EQ(*(at + 1), "Set_Controls(4)");
    }
}

TEST(StartUp, AnErrorEndsStartUpAtTheErrorBox)
{
    Rig r;
    r.properties->fail = true;
    r.load();
    ASSERT_EQ(r.dialogs.boxes().size(), 1u);
    EXPECT_EQ(r.dialogs.boxes()[0].text, "Error #5 - Invalid procedure call or argument");
    EXPECT_EQ(r.dialogs.boxes()[0].title, "frmMain.Load");
    EXPECT_EQ(r.dialogs.boxes()[0].icon(), platform::vbCritical);
    EXPECT_EQ(r.log.back(), "SetFieldSettings()");
    // What was prepared before stays.
    EXPECT_TRUE(r.main.Timer1->enabled());
    EXPECT_TRUE(r.main.Visible);
}

TEST(StartUp, ASettingsFileThatCannotBeReadGivesOneBoxAndStartUpGoesOn)
{
    Rig r(false);
    std::filesystem::create_directories(r.settings.path()); // a folder in the file's place
    r.load();
    ASSERT_EQ(r.dialogs.boxes().size(), 1u);
    const auto& box = r.dialogs.boxes()[0];
    EXPECT_EQ(box.title, "frmMain.Load");
    EXPECT_EQ(box.icon(), platform::vbExclamation);
    EXPECT_EQ(box.text, "The settings file " + r.settings.path() +
                            " cannot be read: Is a directory. Trekfold goes on with the settings it has.");
    // Every step ran: the controls are complete and a record type is chosen.
    EXPECT_EQ(r.log.back(), "mnuOpen_Click");
    EXPECT_TRUE(r.main.optWpt.value);
    EXPECT_TRUE(r.main.Timer1->enabled());
    EXPECT_TRUE(r.main.Visible);
    EXPECT_EQ(r.main.state().d1xx_symbols.Count(), 16);
    // The field lists start-up made are there for this run.
    r.main.menu_Click("cmdAddRec");
    EXPECT_EQ(r.main.MSFlexGrid1.TextMatrix(0, 1), "type");
    EXPECT_EQ(r.main.MSFlexGrid1.TextMatrix(1, 1), "WAYPOINT");
    EXPECT_EQ(r.dialogs.boxes().size(), 1u);
    EXPECT_TRUE(std::filesystem::is_directory(r.settings.path()));
}

TEST(StartUp, AReadOnlySettingsFileIsReadAndOnlyASaveFails)
{
    if (::geteuid() == 0) GTEST_SKIP() << "root writes read-only files";
    Rig r(false);
    r.settings.SaveSetting("app", "refresh", "10");
    r.settings.SaveSetting("port", "port", "3");
    for (const char* type : {"waypoint", "track", "route", "rtimewpt"})
        r.settings.SaveSetting("fields", type, flxgrd::Fields_DefaultList(type));
    ::chmod(r.settings.path().c_str(), 0444);
    r.load();
    EXPECT_TRUE(r.dialogs.boxes().empty());
    EXPECT_EQ(r.main.state().port, 3);
    r.main.menu_Click("mnuUnit", 1);
    ASSERT_EQ(r.dialogs.boxes().size(), 1u);
    EXPECT_EQ(r.dialogs.boxes()[0].title, "frmMain.mnuUnit_Click");
    EXPECT_EQ(r.dialogs.boxes()[0].text,
              "Error #75 - Path/File access error: " + r.settings.path() + ": Permission denied");
    EXPECT_EQ(r.settings.GetSetting("units", "unit", "Meters"), "Meters");
    // Nothing stored, nothing changed.
    EXPECT_EQ(r.main.state().unit, "Meters");
    EXPECT_TRUE(r.main.menus().at("mnuUnit", 0).checked);
    EXPECT_FALSE(r.main.menus().at("mnuUnit", 1).checked);
}

TEST(StartUp, ASettingsFileThatCannotBeSavedGivesOneBoxAtTheEnd)
{
    // A folder that cannot be made (nothing may be made in /proc): reading
    // finds no file, and start-up's one save says why it failed.
    Rig r(false);
    platform::Settings blocked("/proc/trekfold-no-such-folder/trekfold.ini");
    platform::PortMap ports(&blocked);
    app::frmMain main({blocked, r.dialogs, r.cursor, r.pump, ports}, "/opt/trekfold");
    app::install_subsystems(main);
    main.set_coords(std::make_unique<apptest::ListlessCoords>(main));
    main.Form_Load();
    ASSERT_EQ(r.dialogs.boxes().size(), 1u);
    EXPECT_EQ(r.dialogs.boxes()[0].text, "The settings file " + blocked.path() +
                                             " cannot be saved: No such file or directory. Trekfold goes on with "
                                             "the settings it has.");
    EXPECT_TRUE(main.optWpt.value);
    EXPECT_TRUE(main.Visible);
    // What start-up made stays for this run.
    EXPECT_EQ(blocked.GetSetting("app", "refresh"), "10");
    EXPECT_EQ(blocked.GetSetting("fields", "track"), flxgrd::Fields_DefaultList("track"));
    // A unit chosen afterwards cannot be stored: an error, and the unit stays.
    r.dialogs.clear();
    main.menu_Click("mnuUnit", 1);
    ASSERT_EQ(r.dialogs.boxes().size(), 1u);
    EXPECT_EQ(r.dialogs.boxes()[0].title, "frmMain.mnuUnit_Click");
    EXPECT_EQ(r.dialogs.boxes()[0].text.substr(0, 13), "Error #75 - P");
    EXPECT_EQ(main.state().unit, "Meters");
    EXPECT_TRUE(main.menus().at("mnuUnit", 0).checked);
    EXPECT_EQ(blocked.GetSetting("units", "unit", "<absent>"), "<absent>");
}

TEST(StartUp, ShutDownBegunDuringStartUpEndsItBeforeTheNextStep)
{
    {
        Rig r;
        // A signal handled while a step lets events run.
        r.properties->during = [&] {
            int cancel = 0;
            r.main.Form_Unload(cancel);
        };
        r.load();
        EXPECT_EQ(r.log.back(), "ToDDE_Poke(END)");
        EXPECT_EQ(std::count(r.log.begin(), r.log.end(), "optEPSG_Click"), 0);
        EXPECT_TRUE(r.main.ended());
        EXPECT_FALSE(r.main.Visible);
        EXPECT_TRUE(r.dialogs.boxes().empty());
        // What start-up and shut-down stored reached the file.
        platform::Settings file(r.settings.path());
        EXPECT_EQ(file.GetSetting("app", "refresh"), "10");
        EXPECT_EQ(file.GetSetting("drive", "drive"), "/opt/trekfold");
    }
    {
        Rig r; // a signal before start-up ran at all
        int cancel = 0;
        r.main.Form_Unload(cancel);
        r.log.clear();
        r.load();
        EXPECT_TRUE(r.log.empty());
        EXPECT_FALSE(r.main.Visible);
    }
}

TEST(StartUp, TemporaryShapefileInTheTempFolder)
{
    Rig r;
    const char* old = std::getenv("TMPDIR");
    std::string saved = old ? old : "";
    ::setenv("TMPDIR", (r.dir.path + "/t/").c_str(), 1);
    r.load();
    EXPECT_EQ(r.main.state().temp_shapefile, r.dir.path + "/t/trkfld.shp");
    ::unsetenv("TMPDIR");
    Rig r2;
    r2.load();
    EXPECT_EQ(r2.main.state().temp_shapefile, "/tmp/trekfold-" + std::to_string(::getuid()) + "/trkfld.shp");
    struct stat st {};
    ASSERT_EQ(::stat(("/tmp/trekfold-" + std::to_string(::getuid())).c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    if (old) ::setenv("TMPDIR", saved.c_str(), 1);
}

} // namespace
