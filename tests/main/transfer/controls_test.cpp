// Menu states: each Set_Controls call on top of the last, as the main
// window's menus, option buttons, labels and status bar show them. The rigs
// keep the real settings dialog, which writes the field lists the table's
// header comes from.
#include "tests/main/app/rig.h"

#include "main/app/frm_info.h"
#include "main/table/table.h"

#include <gtest/gtest.h>

#include <tuple>

using apptest::Rig;

namespace {

bool on(Rig& r, const char* menu) { return r.main.menus().at(menu).enabled; }

// Every menu item's and control's enabled state, the labels and the panels.
auto snapshot(Rig& r)
{
    std::vector<std::tuple<std::string, int, bool, bool>> menus;
    std::vector<const app::MenuItem*> todo;
    for (const auto& m : r.main.menus().top()) todo.push_back(&m);
    while (!todo.empty()) {
        const app::MenuItem* m = todo.back();
        todo.pop_back();
        menus.emplace_back(m->name, m->index, m->enabled, m->checked);
        for (const auto& c : m->children) todo.push_back(&c);
    }
    std::vector<std::pair<bool, std::string>> controls;
    for (const app::Control* c : {&r.main.optWpt, &r.main.optTrk, &r.main.optRte, &r.main.lblGPSDesc1, &r.main.lbllat})
        controls.emplace_back(c->enabled, c->caption);
    return std::make_tuple(menus, controls, r.main.StatusBar1, r.main.MSFlexGrid1.Rows(), r.main.MSFlexGrid1.Cols(),
                           r.main.Width, r.main.frmInfo_loaded());
}

void expect_uploads(Rig& r, bool wpt, bool trk, bool rte)
{
    EXPECT_EQ(on(r, "mnuWUpload"), wpt);
    EXPECT_EQ(on(r, "mnuTUpload"), trk);
    EXPECT_EQ(on(r, "mnuRUpload"), rte);
}

} // namespace

TEST(SetControls, FreshStartThenEachStateOnTopOfTheLast)
{
    Rig r(false);
    r.load();
    EXPECT_TRUE(on(r, "mnuLoad"));
    for (const char* m : {"mnuWDownload", "mnuTDownload", "mnuRDownload", "mnuDDownload", "mnuReset", "mnuGInfo",
                          "mnuStartRealTime", "mnuStopRealTime"})
        EXPECT_FALSE(on(r, m)) << m;
    expect_uploads(r, false, false, false);
    EXPECT_EQ(r.main.StatusBar1[0], "Not Connected");
    // Start-up touched the information window's labels: it exists, hidden.
    ASSERT_TRUE(r.main.frmInfo_loaded());
    EXPECT_FALSE(r.main.frmInfo().window.visible);

    r.main.transfer().Set_Controls(2);
    EXPECT_FALSE(on(r, "mnuSaveAs"));
    EXPECT_FALSE(on(r, "mnuClearTable"));
    EXPECT_EQ(r.main.MSFlexGrid1.Rows(), 2);
    EXPECT_EQ(r.main.MSFlexGrid1.Cols(), 30);

    // A waypoint row: the table has records, but nothing is connected.
    r.main.menu_Click("cmdAddRec");
    ASSERT_EQ(r.main.MSFlexGrid1.TextMatrix(1, 1), "WAYPOINT");
    EXPECT_TRUE(on(r, "mnuSaveAs"));
    EXPECT_TRUE(on(r, "mnuClearTable"));
    expect_uploads(r, false, false, false);

    r.main.transfer().Set_Controls(3);
    expect_uploads(r, true, false, false);
    EXPECT_TRUE(on(r, "mnuWDownload"));
    EXPECT_TRUE(on(r, "mnuDDownload"));
    EXPECT_EQ(r.main.StatusBar1[0], "Connected");

    // A second row while connected keeps the waypoint upload on.
    r.main.menu_Click("cmdAddRec");
    expect_uploads(r, true, false, false);

    r.main.transfer().Set_Controls(6);
    expect_uploads(r, true, false, false);
    EXPECT_TRUE(on(r, "mnuStartRealTime"));
    EXPECT_FALSE(on(r, "mnuStopRealTime"));

    r.main.transfer().Set_Controls(5);
    EXPECT_FALSE(r.main.optWpt.enabled);
    EXPECT_FALSE(r.main.optTrk.enabled);
    EXPECT_FALSE(r.main.optRte.enabled);
    EXPECT_TRUE(r.main.optRTWpt.enabled);
    EXPECT_TRUE(on(r, "mnuStopRealTime"));
    EXPECT_FALSE(on(r, "mnuLoad"));
    EXPECT_FALSE(on(r, "mnuWUpload"));

    const auto before = snapshot(r);
    for (std::int16_t outside : {0, 9, -1, 32767}) r.main.transfer().Set_Controls(outside);
    EXPECT_EQ(snapshot(r), before);

    r.main.lbllat.caption = "45.5";
    app::InfoWindow& info = r.main.frmInfo();
    info.lblMode1.caption = "USB";
    info.lblFormat1.caption = "D108";
    info.lblProductID.caption = "PID 123";
    r.main.transfer().Set_Controls(1);
    EXPECT_EQ(info.lblMode1.caption, "Garmin");
    EXPECT_EQ(info.lblFormat1.caption, "Formats");
    EXPECT_EQ(info.lblProductID.caption, "");
    EXPECT_EQ(r.main.lbllat.caption, "");
    EXPECT_EQ(r.main.StatusBar1[0], "Not Connected");
    EXPECT_EQ(r.main.StatusBar1[1], "");
    EXPECT_TRUE(on(r, "mnuLoad"));
    EXPECT_FALSE(on(r, "mnuStopRealTime"));
    // State 1 leaves the option buttons and the Save menu as state 5 left them.
    EXPECT_FALSE(r.main.optWpt.enabled);
    EXPECT_FALSE(on(r, "mnuSaveAs"));
}

TEST(SetControls, UploadMenuFollowsTheRecordTypeOnlyWithRowsAndAConnection)
{
    Rig r(false);
    r.load();
    // Connected with an empty table: no upload.
    r.main.transfer().Set_Controls(3);
    expect_uploads(r, false, false, false);

    r.main.menu_Click("optTrk");
    r.main.menu_Click("cmdAddRec");
    expect_uploads(r, false, true, false);
    r.main.menu_Click("optRte");
    expect_uploads(r, false, false, true);
    r.main.menu_Click("optRTWpt");
    expect_uploads(r, false, false, false);

    // A mass-storage unit: like a connection, without screen shot or reset.
    r.main.menu_Click("optWpt");
    r.main.transfer().Set_Controls(3);
    r.main.transfer().Set_Controls(8);
    expect_uploads(r, true, false, false);
    EXPECT_FALSE(on(r, "mnuDDownload"));
    EXPECT_FALSE(on(r, "mnuReset"));
    EXPECT_TRUE(on(r, "mnuGInfo"));
    EXPECT_EQ(r.main.StatusBar1[0], "Connected");

    // NMEA: every transfer off, the NMEA viewer on.
    r.main.transfer().Set_Controls(7);
    expect_uploads(r, false, false, false);
    EXPECT_FALSE(on(r, "mnuWDownload"));
    EXPECT_TRUE(on(r, "mnuStartRealTime"));
    EXPECT_TRUE(on(r, "mnuViewNMEA"));
}

TEST(SetControls, RealTimeStopTurnsTheWaypointUploadOnEvenForAnEmptyTable)
{
    Rig r(false);
    r.load();
    r.main.transfer().Set_Controls(2);
    r.main.transfer().Set_Controls(6);
    expect_uploads(r, true, false, false);
    EXPECT_TRUE(on(r, "mnuSaveAs"));
    EXPECT_FALSE(on(r, "mnuRDownload"));
}

TEST(SetControls, OnlyNotConnectedAndNmeaLayTheWindowOut)
{
    Rig r(false);
    r.load();
    for (std::int16_t state = 1; state <= 8; ++state) {
        r.main.Width = 9000; // the table panel is closed: a layout snaps back
        r.main.transfer().Set_Controls(state);
        EXPECT_EQ(r.main.Width, state == 1 || state == 7 ? 7700 : 9000) << state;
    }
}

TEST(SetControls, ATableWithoutATypeColumnReadsAsEmpty)
{
    Rig r(false);
    r.load();
    r.main.transfer().Set_Controls(3);
    r.main.menu_Click("cmdAddRec");
    ASSERT_TRUE(on(r, "mnuWUpload"));
    // The "type" column found by its alias ...
    const int col = r.main.table().Column_Find("type", true);
    ASSERT_GT(col, 0);
    // ... and gone: the state change treats it as an empty cell, so a row
    // appended while connected is kept without an error box.
    r.main.MSFlexGrid1.SetTextMatrix(0, col, "kind");
    ASSERT_EQ(r.main.table().Column_Find("type", true), -1);
    r.dialogs.clear();
    EXPECT_TRUE(r.main.table().Records_Insert("A;B"));
    EXPECT_TRUE(r.dialogs.boxes().empty());
    EXPECT_EQ(r.main.MSFlexGrid1.Rows(), 3);
    expect_uploads(r, false, false, false);
    r.main.transfer().Set_Controls(8);
    expect_uploads(r, false, false, false);
}

TEST(InfoWindow, LabelsAndDefaultsCreatedHiddenOnFirstUse)
{
    Rig r(false);
    EXPECT_FALSE(r.main.frmInfo_loaded());
    app::InfoWindow& info = r.main.frmInfo();
    EXPECT_TRUE(r.main.frmInfo_loaded());
    EXPECT_TRUE(info.window.loaded);
    EXPECT_FALSE(info.window.visible);
    EXPECT_EQ(info.window.caption, "Garmin Info");
    for (const app::Control* c : info.controls()) {
        const bool format = c->name.rfind("lblFormat", 0) == 0;
        EXPECT_EQ(c->caption, c->name == "lblMode1" ? "Garmin" : format ? "Formats" : "") << c->name;
    }
    EXPECT_EQ(info.controls().back()->name, "lblRoutePointscnt");
    EXPECT_EQ(info.format_font, "Courier New");
    EXPECT_EQ(info.control("LBLDATE"), &info.lbldate);
    EXPECT_EQ(info.control("lblLat"), nullptr);

    // Shut-down unloads it; the next use makes a fresh one.
    info.lblMode1.caption = "NMEA";
    r.main.mnuExit_Click();
    EXPECT_FALSE(r.main.frmInfo_loaded());
    EXPECT_EQ(r.main.frmInfo().lblMode1.caption, "Garmin");
}
