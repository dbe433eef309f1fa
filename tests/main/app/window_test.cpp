#include "rig.h"

#include "main/app/frm_info.h"
#include "main/table/table.h"
#include "platform/automation/vb_error.h"

#include <new>
#include <stdexcept>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using apptest::Rig;
using ::testing::ElementsAre;

namespace {

TEST(ShutDown, ClosesPortSavesDriveSaysGoodbyeAndUnloadsWindowsInOrder)
{
    Rig r;
    r.load();
    std::vector<std::string> unloaded;
    // Registered out of order; unloaded in the fixed order. A window that
    // was never loaded is skipped, one that fails does not stop the rest.
    for (const char* n : {"frmWptSelect", "frmAbout", "frmNMEAViewer", "frmProperties", "frmFields"}) {
        std::string name = n;
        r.main.register_window(name, [name] { return name != "frmFields"; }, [name, &unloaded] {
            unloaded.push_back(name);
            if (name == "frmAbout") throw std::runtime_error("boom");
        });
    }
    r.main.Drive1 = "/media/usb0";
    r.log.clear();
    int cancel = 0;
    r.main.Form_Unload(cancel);
    EXPECT_THAT(r.log, ElementsAre("garmin.PortClose", "ToDDE_Poke(END)"));
    EXPECT_EQ(r.main.ToDDE.caption, "END");
    EXPECT_EQ(r.settings.GetSetting("drive", "drive"), "/media/usb0");
    EXPECT_FALSE(r.main.Timer1->enabled());
    EXPECT_THAT(unloaded, ElementsAre("frmAbout", "frmNMEAViewer", "frmProperties", "frmWptSelect"));
    EXPECT_FALSE(r.main.frmSplash.loaded);
    EXPECT_TRUE(r.main.ended());
    EXPECT_FALSE(r.main.Visible);
    EXPECT_EQ(cancel, 0);

    // Closing again (a signal after Exit) does nothing more.
    r.log.clear();
    r.main.mnuExit_Click();
    EXPECT_TRUE(r.log.empty());
}

TEST(ShutDown, ExitMenuRunsTheUnload)
{
    Rig r;
    r.transfer->connects = true;
    r.load("quiet,download");
    ASSERT_TRUE(r.main.frmQuietStatus.loaded);
    r.main.menu_Click("mnuExit");
    EXPECT_TRUE(r.main.ended());
    EXPECT_FALSE(r.main.frmQuietStatus.loaded);
}

TEST(ShutDown, ASignalWhileTheInformationWindowIsShownUnloadsItSafely)
{
    Rig r;
    r.load();
    bool shown = false;
    r.main.on_show_modal = [&](const std::string& window) {
        shown = window == "frmInfo" && r.main.frmInfo().window.visible;
        int cancel = 0;
        r.main.Form_Unload(cancel); // the shut-down runs while the window waits
    };
    r.main.show_modal("frmInfo");
    EXPECT_TRUE(shown);
    EXPECT_FALSE(r.main.frmInfo_loaded());
    EXPECT_TRUE(r.main.ended());
    // Only the windows the main window shows modally get that far.
    r.main.on_show_modal = [&](const std::string&) { shown = false; };
    shown = true;
    r.main.show_modal("frmNoSuchWindow");
    EXPECT_TRUE(shown);
}

TEST(Layout, ClosedPanelSnapsBackOpenPanelGrowsToItsMinimum)
{
    Rig r;
    r.load();
    r.main.Width = 9000;
    r.main.Height = 3000;
    r.main.Form_Resize();
    EXPECT_EQ(r.main.Width, 7700);
    EXPECT_EQ(r.main.Height, 1900);
    EXPECT_EQ(r.main.cmdAdvanced.left, 7700 - 2300);

    r.main.cmdAdvanced_Click();
    EXPECT_EQ(r.main.cmdAdvanced.caption, "<<< Data Table <<<");
    EXPECT_TRUE(r.main.panel_open());
    EXPECT_EQ(r.main.Height, 5500);
    r.main.Width = 6000;
    r.main.Height = 4000;
    r.main.Form_Resize();
    EXPECT_EQ(r.main.Width, 7700);
    EXPECT_EQ(r.main.Height, 5500);
    EXPECT_EQ(r.main.grid_area.width, 6825);
    EXPECT_EQ(r.main.grid_area.height, 3100);
    r.main.Width = 10000;
    r.main.Height = 8000;
    r.main.Form_Resize();
    EXPECT_EQ(r.main.grid_area.width, 9125);
    EXPECT_EQ(r.main.grid_area.height, 5600);
    EXPECT_EQ(r.main.cmdAdvanced.left, 7700);

    // Minimised: nothing moves.
    r.main.WindowState = app::vbMinimized;
    r.main.Width = 100;
    r.main.Form_Resize();
    EXPECT_EQ(r.main.Width, 100);
    r.main.WindowState = app::vbNormal;

    r.main.menu_Click("cmdAdvanced");
    EXPECT_EQ(r.main.cmdAdvanced.caption, ">>> Data Table >>>");
    EXPECT_EQ(r.main.Width, 7700);
    EXPECT_EQ(r.main.Height, 1900);
    // The grid keeps its last size while the panel is closed.
    EXPECT_EQ(r.main.grid_area.width, 10000 - 875);
}

TEST(StatusLine, SetMsgFillsPanelAndHiddenStatusWindow)
{
    Rig r;
    EXPECT_EQ(r.main.StatusBar1[0], "Not Connected");
    EXPECT_EQ(r.main.StatusBar1[1], "Text Tips Here");
    r.main.Set_Msg("Loaded 3 records");
    EXPECT_EQ(r.main.StatusBar1[1], "Loaded 3 records");
    EXPECT_TRUE(r.main.frmQuietStatus.loaded);
    EXPECT_FALSE(r.main.frmQuietStatus.visible);
    EXPECT_EQ(r.main.frmQuietStatus_lblStatus, "Loaded 3 records");
    unsigned seen = 0;
    r.main.on_changed = [&](unsigned c) { seen |= c; };
    r.main.Set_Msg("");
    EXPECT_EQ(r.main.StatusBar1[1], "");
    EXPECT_TRUE(seen & app::ChangeStatus);
}

TEST(Commands, RecordTypeOptionsChangeTheTableType)
{
    Rig r;
    r.load();
    r.log.clear();
    int route_defaults = 0;
    r.main.Set_RouteDefault = [&] { ++route_defaults; };
    r.main.menu_Click("optTrk");
    EXPECT_EQ(r.main.state().record_type, "track");
    EXPECT_TRUE(r.main.optTrk.value);
    EXPECT_FALSE(r.main.optWpt.value);
    r.main.menu_Click("optRte");
    EXPECT_EQ(route_defaults, 1);
    r.main.menu_Click("optRTWpt");
    r.main.menu_Click("optWpt");
    EXPECT_EQ(r.main.state().record_type, "waypoint");
    EXPECT_TRUE(r.main.optWpt.value);
    EXPECT_THAT(r.log, ElementsAre("Set_Controls(4)", "Set_Controls(4)", "Set_Controls(4)", "Set_Controls(4)"));
}

TEST(Commands, AnErrorAHandlerLetsThroughEndsInABox)
{
    Rig r;
    r.load();
    r.main.on_click("mnuWDownload", [](int) { throw platform::VbError(30010, "MSHFlexGrid", "Invalid Col value"); });
    r.main.on_click("mnuAbout", [](int) { throw std::runtime_error("no such window"); });
    r.main.on_click("MSFlexGrid1_Click", [](int) { throw platform::VbError(9, "", "Subscript out of range"); });
    r.links->on_timer = [] { throw std::bad_alloc(); };
    r.main.menu_Click("mnuWDownload");
    r.main.menu_Click("mnuAbout");
    r.main.grid_Event("Click");
    r.main.grid_Event("DblClick"); // no handler: nothing
    r.pump.advance(10000000);      // Timer1
    const std::pair<const char*, const char*> expected[] = {
        {"frmMain.mnuWDownload_Click", "Error #30010 - Invalid Col value"},
        {"frmMain.mnuAbout_Click", "Error #51 - no such window"},
        {"frmMain.MSFlexGrid1_Click", "Error #9 - Subscript out of range"},
        {"frmMain.Timer1_Timer", "Error #7 - Out of memory"},
    };
    ASSERT_EQ(r.dialogs.boxes().size(), std::size(expected));
    for (size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(r.dialogs.boxes()[i].title, expected[i].first);
        EXPECT_EQ(r.dialogs.boxes()[i].text, expected[i].second);
        EXPECT_EQ(r.dialogs.boxes()[i].icon(), platform::vbCritical);
    }
    // The timer keeps running.
    EXPECT_TRUE(r.main.Timer1->enabled());
}

TEST(Commands, ATypeListLongerThanTheGridHoldsEndsInABoxAndTheGridDrawsOn)
{
    Rig r(false);
    r.load();
    r.main.menu_Click("cmdAddRec");
    std::string list = flxgrd::Fields_DefaultList("track");
    for (int i = 0; i < 6000; ++i) list += ",extra" + std::to_string(i) + ":1:extra" + std::to_string(i) + ":C:10:0";
    r.settings.SaveSetting("fields", "track", list);
    r.main.menu_Click("optTrk");
    ASSERT_EQ(r.dialogs.boxes().size(), 1u);
    EXPECT_EQ(r.dialogs.boxes()[0].title, "frmMain.optTrk_Click");
    EXPECT_EQ(r.dialogs.boxes()[0].text, "Error #30010 - Invalid Col value");
    EXPECT_TRUE(r.main.MSFlexGrid1.Redraw());
    // The window goes on: back to waypoints.
    r.main.menu_Click("optWpt");
    EXPECT_EQ(r.dialogs.boxes().size(), 1u);
    EXPECT_EQ(r.main.MSFlexGrid1.TextMatrix(1, 1), "WAYPOINT");
    EXPECT_EQ(r.main.MSFlexGrid1.TextMatrix(0, 1), "type");
}

TEST(Commands, MenusReachTheirSubsystems)
{
    Rig r;
    r.load();
    r.log.clear();
    r.main.menu_Click("mnuWDownload");
    r.main.menu_Click("mnuPort", 3);
    r.main.menu_Click("mnuOpen");
    r.main.menu_Click("cmdConvert");
    r.main.menu_Click("mnuAVTheme");
    r.main.menu_Click("mnuRefreshApps");
    r.main.menu_Click("mnuRProperties");
    r.main.menu_Click("mnuHelpFile");
    EXPECT_THAT(r.log, ElementsAre("transfer.mnuWDownload(-1)", "transfer.mnuPort(3)", "mnuOpen_Click",
                                   "GPS_Find(False)", "links.mnuAVTheme", "links.mnuRefreshApps",
                                   "optEPSG_Click", "Show(3)"));
}

TEST(Table, StartUpRepairsFieldListsAndFirstInsertBuildsTheHeaderAndOpensThePanel)
{
    Rig r(false);
    r.load();
    for (const char* type : {"waypoint", "track", "route", "rtimewpt"})
        EXPECT_EQ(r.settings.GetSetting("fields", type), flxgrd::Fields_DefaultList(type)) << type;
    EXPECT_EQ(r.settings.GetSetting("fields", "track").rfind("type:1:type:C:10:0,ident:1:ident:C:24:0,", 0), 0u);
    ASSERT_FALSE(r.main.panel_open());
    r.main.menu_Click("cmdAddRec");
    EXPECT_TRUE(r.main.panel_open());
    EXPECT_EQ(r.main.Height, 5500);
    EXPECT_EQ(r.main.MSFlexGrid1.TextMatrix(0, 1), "type");
    EXPECT_EQ(r.main.MSFlexGrid1.TextMatrix(1, 0), "1");
    EXPECT_EQ(r.main.MSFlexGrid1.TextMatrix(1, 1), "WAYPOINT");
    EXPECT_EQ(r.main.StatusBar1[1], "Loaded 1 records");
    EXPECT_EQ(r.main.StatusBar1[2], "0 of 1 Selected");
    EXPECT_EQ(r.main.state().ui_state, 4);
    EXPECT_EQ(r.main.state().segment_counter, 1);

    r.main.menu_Click("optTrk");
    EXPECT_EQ(r.main.MSFlexGrid1.TextMatrix(1, 1), "TRACK");
    r.main.menu_Click("mnuClearTable");
    EXPECT_EQ(r.main.StatusBar1[1], "Table has been cleared");
    EXPECT_EQ(r.main.state().ui_state, 2);
    EXPECT_EQ(r.main.MSFlexGrid1.TextMatrix(0, 1), "");
}

TEST(MenuTree, ItemsAndArraysAsDesigned)
{
    app::MenuTree t;
    std::vector<std::string> top;
    for (auto& m : t.top()) top.push_back(m.caption);
    EXPECT_THAT(top, ElementsAre("&File", "Edit", "GPS", "Waypoint", "Track", "Route", "Real Time", "Help"));
    auto ports = t.array("mnuPort");
    ASSERT_EQ(ports.size(), 21u);
    EXPECT_EQ(ports[0]->caption, "USB");
    EXPECT_EQ(ports[20]->caption, "Port 20");
    EXPECT_EQ(ports[20]->index, 20);
    auto bauds = t.array("mnuBaud");
    ASSERT_EQ(bauds.size(), 7u);
    EXPECT_EQ(bauds[0]->caption, "4800 (NMEA Mode)");
    EXPECT_EQ(bauds[1]->caption, "9600 (Garmin Default)");
    EXPECT_EQ(bauds[6]->caption, "115200");
    auto units = t.array("mnuUnit");
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(units[1]->caption, "Feet");
    EXPECT_EQ(t.at("mnuAssign").caption, "&Set  Port");
    EXPECT_EQ(t.at("mnuExit").caption, "E&xit");
    EXPECT_EQ(t.at("mnuLandVeiwLayerSave").caption, "Layer...");
    EXPECT_EQ(t.at("mnuAbout").caption, "About Trekfold Extension...");
    EXPECT_TRUE(t.at("mnuSpace22").separator());
    EXPECT_EQ(t.find("mnuPort", 21), nullptr);
    EXPECT_EQ(t.find("mnuNoSuch"), nullptr);
    EXPECT_THROW(t.at("mnuNoSuch"), std::out_of_range);
    // Each measure tool leads to its three shapes.
    ASSERT_EQ(t.at("mnuLandviewMeasureToolLoad").children.size(), 3u);
    EXPECT_EQ(t.at("mnuLandviewMeasureToolSave").children[2].name, "mnuLandviewMeasureToolPolygon");

    // Lookups are indexed: items added through top() (the vectors may move)
    // are found, and a copy finds its own items, not the original's.
    t.top().push_back({"mnuAdded", "Added"});
    t.top().front().children.insert(t.top().front().children.begin(), {"mnuFirst", "First"});
    ASSERT_NE(t.find("mnuAdded"), nullptr);
    EXPECT_EQ(t.at("mnuFirst").caption, "First");
    EXPECT_EQ(t.at("mnuExit").caption, "E&xit");
    app::MenuTree copy = t;
    copy.at("mnuExit").caption = "changed";
    EXPECT_EQ(t.at("mnuExit").caption, "E&xit");
}

TEST(ShellWait, WaitsForTheCommandAndReturnsItsStatus)
{
    Rig r;
    EXPECT_EQ(r.main.Shell_Wait("exit 3"), 3);
    EXPECT_EQ(r.main.Shell_Wait("true"), 0);
}

} // namespace
