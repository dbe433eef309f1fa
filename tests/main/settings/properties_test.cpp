// The settings dialog driven as a class, over a main window whose program
// folder holds small projection lists and whose projection library is fake.
#include "main/settings/frm_properties.h"
#include "tests/main/coords/harness.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

namespace {

using app::frmProperties;
using ::testing::ElementsAre;

struct Dialog : coordstest::Harness {
    Dialog()
    {
        write_epsg();
        ::setenv("TMPDIR", (folder + "/tmp").c_str(), 1);
        std::filesystem::create_directories(folder + "/tmp");
        // ArcGIS installed, as detection reads it from the registry view.
        const std::string registry = folder + "/registry.ini";
        std::ofstream(registry) << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ESRI\\ArcGIS]\nRealVersion=9.2\n";
        ::setenv("TREKFOLD_REGISTRY", registry.c_str(), 1);
        load(); // answers Yes: 26915
    }
    frmProperties& dlg() { return static_cast<frmProperties&>(main.frmProperties()); }
    std::string ctl(const std::string& n) { return dlg().control(n).text; }
    std::string get(const std::string& s, const std::string& k) { return settings.GetSetting(s, k, "<absent>"); }
    int row_of(int grid, const std::string& name)
    {
        for (int r = 1; r < dlg().grid(grid).Rows(); ++r)
            if (dlg().grid(grid).TextMatrix(r, 1) == name) return r;
        return -1;
    }
    std::string entry(const std::string& type, const std::string& name)
    {
        for (const std::string& e : platform::vb::Split(get("fields", type), ","))
            if (e.rfind(name + ":", 0) == 0) return e;
        return "";
    }
    void ok()
    {
        dialogs.clear();
        EXPECT_EQ(dlg().Click("cmdOK"), frmProperties::Done);
    }
};

TEST(Properties, ArcMapWithoutPrjIsRefusedBeforeAnythingIsStored)
{
    Dialog d;
    d.main.Open_Properties(5);
    ASSERT_EQ(d.dlg().SetValue("chkAMCalcArea", true), frmProperties::Done);
    d.dlg().Choose("cboAMAreaUnits", "Acres");
    d.dlg().optArcMap_Click();
    d.dlg().control("tbxPRJ").text.clear();
    d.ok();
    ASSERT_TRUE(d.dialogs.last());
    EXPECT_EQ(d.dialogs.last()->text, "Error #1. You must specify a PRJ file to perform Arcmap projections");
    EXPECT_EQ(d.dialogs.last()->title, "frmProperties.cmdOK_Click");
    EXPECT_EQ(d.dlg().tab(), 0);
    EXPECT_TRUE(d.dlg().Visible());
    EXPECT_EQ(d.get("fields", "am_area_units"), "<absent>");
    EXPECT_EQ(d.get("proj", "projfile"), "epsg");
}

TEST(Properties, UnitCombosWriteTheirMultipliersAndOkStoresTheTexts)
{
    Dialog d;
    d.main.Open_Properties(5);
    auto& dlg = d.dlg();
    dlg.SetValue("chkAMCalcArea", true);
    for (auto [unit, m] : {std::pair{"Acres", "0.0002471053814915"}, {"Square Miles", "0.000000386102159"},
                           {"Other", "1"}}) {
        dlg.Choose("cboAMAreaUnits", unit);
        EXPECT_EQ(d.ctl("tbxAMAreaMultiplier"), m) << unit;
    }
    dlg.SetValue("chkAMCalcLength", true);
    dlg.Choose("cboAMLengthUnits", "Feet");
    EXPECT_EQ(d.ctl("tbxAMLengthMultiplier"), "3.28084");
    dlg.Choose("cboAMAreaUnits", "Acres");
    dlg.SetText("tbxAMAreaMultiplier", "2.5x");
    dlg.SetValue("chkAMCalcArea", false);
    for (const char* n : {"lblAreaUnits", "cboAMAreaUnits", "lblAreaMultiplier", "tbxAMAreaMultiplier"})
        EXPECT_FALSE(dlg.control(n).enabled) << n;
    EXPECT_EQ(dlg.SetText("tbxAMAreaMultiplier", "3"), frmProperties::Disabled);
    d.ok();
    EXPECT_EQ(d.get("fields", "am_area"), "0");
    EXPECT_EQ(d.get("fields", "am_area_units"), "Acres");
    EXPECT_EQ(d.get("fields", "am_area_multiplier"), "2.5x");
    EXPECT_EQ(d.get("fields", "am_length"), "1");
    EXPECT_EQ(d.get("fields", "am_length_multiplier"), "3.28084");
    EXPECT_FALSE(dlg.Visible());
}

TEST(Properties, WithoutArcGisTheArcMapChoicesCannotBeUsed)
{
    Dialog d;
    d.main.state().arcgis_installed = false;
    d.main.Open_Properties(0);
    EXPECT_EQ(d.dlg().Click("optArcMap"), frmProperties::Disabled);
    d.dlg().SSTProperties_Click(5);
    EXPECT_EQ(d.dlg().SetValue("chkAMCalcArea", true), frmProperties::Disabled);
    EXPECT_FALSE(d.dlg().control("cmdPRJLoad").visible);
    EXPECT_TRUE(d.dlg().control("cmdWReset").visible);
}

TEST(Properties, MarksAndAliases)
{
    Dialog d;
    d.main.Open_Properties(1);
    auto& dlg = d.dlg();
    for (const char* name : {"lat", "new_seg"}) {
        int r = d.row_of(name == std::string("lat") ? 0 : 1, name);
        ASSERT_GT(r, 0) << name;
        dlg.SSTProperties_Click(name == std::string("lat") ? 1 : 2);
        d.dialogs.clear();
        dlg.CellClick(name == std::string("lat") ? "msfgWaypoint" : "msfgTrack", r, 0, false);
        EXPECT_EQ(d.dialogs.last()->text, "This is a required field");
        EXPECT_TRUE(dlg.mark(name == std::string("lat") ? 0 : 1, r));
    }
    dlg.SSTProperties_Click(1);
    const int comment = d.row_of(0, "comment"), lat = d.row_of(0, "lat");
    dlg.CellClick("msfgWaypoint", comment, 0, false);
    EXPECT_FALSE(dlg.mark(0, comment));
    dlg.CellClick("msfgWaypoint", comment, 0, false);
    EXPECT_TRUE(dlg.mark(0, comment));

    auto alias = [&](int row, const std::string& answer) {
        d.dialogs.clear();
        d.dialogs.input(answer);
        dlg.CellClick("msfgWaypoint", row, 2, true);
        return dlg.grid(0).TextMatrix(row, 2);
    };
    EXPECT_EQ(alias(lat, "latitude"), "latitude");
    const std::string lat_alias = dlg.grid(0).TextMatrix(lat, 2);
    EXPECT_EQ(alias(comment, "Lat"), "comment"); // another row's name, in any case
    EXPECT_EQ(d.dialogs.last()->text, "An alias with this name already exists");
    EXPECT_EQ(d.dialogs.last()->title, "Duplicate Alias Name");
    EXPECT_EQ(alias(comment, "  Notes  "), "notes");
    EXPECT_EQ(d.dialogs.boxes()[0].title, "Edit Alias");
    EXPECT_EQ(d.dialogs.boxes()[0].text, "Change Alias Value To:");
    EXPECT_EQ(alias(comment, lat_alias), "notes"); // another row's alias
    EXPECT_EQ(d.dialogs.last()->title, "Duplicate Alias Name");
    EXPECT_EQ(alias(comment, platform::vb::UCase(lat_alias)), "notes"); // ignoring case
    EXPECT_EQ(d.dialogs.last()->text, "An alias with this name already exists");
    EXPECT_EQ(alias(comment, "a:b"), "notes");
    EXPECT_EQ(d.dialogs.last()->text, "An alias cannot contain a colon or a comma");
    EXPECT_EQ(alias(comment, "a,b"), "notes");
    EXPECT_EQ(alias(comment, ""), "notes");

    const std::string track = d.get("fields", "track");
    dlg.Click("cmdCancel");
    EXPECT_EQ(d.entry("waypoint", "comment").substr(0, 10), "comment:1:");
    EXPECT_NE(d.entry("waypoint", "comment"), "comment:1:notes:C:50:0");
    d.main.Open_Properties(1);
    EXPECT_EQ(dlg.grid(0).TextMatrix(comment, 2), "notes"); // shown again
    d.ok();
    EXPECT_EQ(d.entry("waypoint", "comment"), "comment:1:notes:C:50:0");
    EXPECT_EQ(d.get("fields", "track"), track);
}

TEST(Properties, ResetRewritesOnlyTheTabsListAndATabWithoutGridMarksNothing)
{
    Dialog d;
    auto& dlg = d.dlg();
    d.main.Open_Properties(4);
    const int rt_comment = d.row_of(3, "speed");
    ASSERT_GT(rt_comment, 0);
    dlg.CellClick("msfgRealTime", rt_comment, 0, false);
    d.ok();
    d.settings.SaveSetting("fields", "route", "rnumber:1:rnum:N:5:0");
    const std::string waypoint = d.get("fields", "waypoint"), rtimewpt = d.get("fields", "rtimewpt");
    d.main.Open_Properties(3);
    dlg.Click("cmdWReset");
    EXPECT_EQ(d.get("fields", "route"), flxgrd::Fields_DefaultList("route"));
    EXPECT_EQ(d.get("fields", "waypoint"), waypoint);
    dlg.SSTProperties_Click(6);
    dlg.Click("cmdWReset");
    EXPECT_FALSE(dlg.mark(3, rt_comment));
    d.ok();
    EXPECT_EQ(d.get("fields", "rtimewpt"), rtimewpt);
}

TEST(Properties, ShortEntriesAreCompletedFromTheCatalogue)
{
    Dialog d;
    auto& dlg = d.dlg();
    d.settings.SaveSetting("fields", "track", "lat:1,long,comment:0");
    dlg.LoadFields();
    d.main.Open_Properties(2);
    d.ok();
    EXPECT_THAT(platform::vb::Split(d.get("fields", "track"), ","),
                ElementsAre("lat:1:lat:N:18:8", "long:1:long:N:18:8", "comment:0:comment:C:50:0"));
}

TEST(Properties, ProjectionChoice)
{
    Dialog d;
    auto& dlg = d.dlg();
    d.main.Open_Properties(0);
    EXPECT_EQ(d.ctl("cbxPOSCCodes"), "26915");
    dlg.Click("cmdNoProj");
    EXPECT_EQ(d.ctl("cbxPOSCCodes"), "4326");
    EXPECT_EQ(d.ctl("lbxDatums"), "WGS 84");
    EXPECT_EQ(d.ctl("lbxProjections"), "No Projection");
    dlg.Click("optArcMap");
    dlg.Click("cmdOstrevane");
    EXPECT_TRUE(dlg.control("optEPSG").value);
    EXPECT_EQ(d.ctl("cbxPOSCCodes"), "26915");

    dlg.SetText("cbxPOSCCodes", "26715");
    dlg.KeyPress("cbxPOSCCodes", 13);
    EXPECT_EQ(d.ctl("lbxDatums"), "NAD27");
    EXPECT_EQ(d.ctl("lbxProjections"), "UTM zone 15N");
    // Every token, the empty one between the two blanks included.
    EXPECT_THAT(dlg.control("lbxDesc").items,
                ElementsAre("<26715>", "+proj=utm", "+zone=15", "+ellps=clrk66", "+datum=NAD27", "+units=m",
                            "+no_defs", "", "no_defs", "<>"));
    EXPECT_EQ(d.ctl("tbxPRJ"), "");
    dlg.SetText("tbxPRJ", "PROJCS[\"x\"]");
    d.rows({"44.5;-93.5"}, d.col("lat") + ";" + d.col("long"));
    d.ok();
    EXPECT_EQ(d.get("proj", "26715"), "PROJCS[\"x\"]");
    EXPECT_EQ(d.get("proj", "proj"), "26715");
    EXPECT_EQ(d.proj->transforms, 1);
    EXPECT_EQ(d.main.StatusBar1[1], "Projection: NAD27 - UTM zone 15N");
    d.main.Open_Properties(0);
    EXPECT_EQ(d.ctl("tbxPRJ"), "PROJCS[\"x\"]");
    d.ok();
    EXPECT_EQ(d.proj->transforms, 1); // the same code re-projects nothing
    EXPECT_EQ(d.main.StatusBar1[1], "Projection: NAD27 - UTM zone 15N");
    EXPECT_EQ(dlg.Choose("lbxDatums", "NAD27"), frmProperties::Disabled); // hidden by OK
}

TEST(Properties, TypedCodeKeepsItsOwnDefinitionAndEsriHidesTheProjectionList)
{
    Dialog d;
    d.write("proj/nad/epsg", "# ETRF2000-PL / CS2000/18\n<2176> +proj=tmerc +lon_0=15 <>\n"
                             "# ETRF2000-PL / CS2000/18\n<2177> +proj=tmerc +lon_0=18 <>\n");
    d.write("proj/nad/esri", "# Alpha\n<1001> +proj=longlat <>\n# Beta\n<1002> +proj=utm +zone=1 <>\n"
                             "# Beta\n<1003> +proj=utm +zone=2 <>\n");
    auto& dlg = d.dlg();
    d.main.Open_Properties(0);
    dlg.SetText("cbxPOSCCodes", "2177");
    dlg.KeyPress("cbxPOSCCodes", 13);
    EXPECT_EQ(d.ctl("cbxPOSCCodes"), "2177");
    EXPECT_EQ(dlg.control("lbxDesc").items[1], "+proj=tmerc");
    EXPECT_EQ(dlg.control("lbxDesc").items[2], "+lon_0=18");
    dlg.Click("optESRI");
    EXPECT_FALSE(dlg.control("lbxProjections").visible);
    EXPECT_EQ(dlg.control("lblDatums").caption, "Datums/Projections:");
    dlg.Choose("lbxDatums", "Beta");
    EXPECT_EQ(d.ctl("cbxPOSCCodes"), "1002");
}

TEST(Properties, LoadPrjJoinsTheLinesAndCancellingChangesNothing)
{
    Dialog d;
    std::filesystem::create_directories(d.folder + "/arcgis/Coordinate Systems");
    d.write("registry.ini", "[HKEY_LOCAL_MACHINE\\SOFTWARE\\ESRI\\ArcGIS]\nInstallDir=" + d.folder + "/arcgis/\n");
    ::setenv("TREKFOLD_REGISTRY", (d.folder + "/registry.ini").c_str(), 1);
    d.write("three.prj", "one\r\ntwo\nthree\n");
    auto& dlg = d.dlg();
    d.main.Open_Properties(0);
    d.dialogs.file(d.folder + "/three.prj");
    dlg.Click("cmdPRJLoad");
    ::unsetenv("TREKFOLD_REGISTRY");
    EXPECT_EQ(d.ctl("tbxPRJ"), "one\ntwo\nthree");
    EXPECT_EQ(d.dialogs.last_open().initial_folder, d.folder + "/arcgis/Coordinate Systems");
    EXPECT_EQ(d.dialogs.last_open().filter, "ESRI Projection File (*.prj)|*.prj");
    EXPECT_EQ(d.dialogs.last_open().default_ext, ".prj");
    dlg.Click("cmdPRJLoad"); // nothing queued: cancelled
    d.dialogs.file(d.folder + "/missing.prj");
    dlg.Click("cmdPRJLoad");
    EXPECT_EQ(d.ctl("tbxPRJ"), "one\ntwo\nthree");
    EXPECT_EQ(d.dialogs.last_open().initial_folder, "");
}

TEST(Properties, LogPathUnitsZonesAndSize)
{
    Dialog d;
    auto& dlg = d.dlg();
    const std::string logs = d.folder + "/logs", empty = d.folder + "/empty", tmp = d.folder + "/tmp";
    std::filesystem::create_directories(logs);
    std::filesystem::create_directories(empty);
    d.write("logs/old.txt", "x");
    auto stored = [&](const std::string& typed) {
        d.main.Open_Properties(4);
        dlg.SetValue("chkRTLogFile", true);
        dlg.SetText("tbxRTTextFile", typed);
        d.ok();
        return d.get("fields", "rtimetextloc");
    };
    EXPECT_EQ(stored(logs), logs + "/TREKFOLD_RTLOG.TXT");
    EXPECT_EQ(stored(logs + "/"), logs + "/TREKFOLD_RTLOG.TXT");
    EXPECT_EQ(stored(logs + "/rt.txt"), logs + "/rt.txt");
    EXPECT_EQ(stored(empty + "/rt.txt"), empty + "/rt.txt");
    EXPECT_EQ(stored(d.folder + "/none/rt.txt"), tmp + "/TREKFOLD_RTLOG.TXT");
    EXPECT_EQ(stored("rt.txt"), tmp + "/TREKFOLD_RTLOG.TXT");
    d.main.Open_Properties(4);
    dlg.SetText("tbxRTTextFile", logs);
    dlg.SetValue("chkRTLogFile", false);
    d.ok();
    EXPECT_EQ(d.get("fields", "rtimetextloc"), tmp + "/TREKFOLD_RTLOG.TXT");
    EXPECT_EQ(d.get("fields", "rtimeTextFile"), "0");

    d.main.Open_Properties(6);
    dlg.Choose("lbxMeasureUnits", "Feet");
    dlg.Choose("lbxZones", "+1  (Western Europe)");
    d.ok();
    EXPECT_EQ(d.get("units", "unit"), "Feet");
    EXPECT_EQ(d.get("time", "timezone"), "+1  (Western Europe)");
    d.main.state().time_zone = "-5  (EASTERN)";
    d.main.state().unit = "Yards";
    dlg.SetFieldSettings("");
    d.main.Open_Properties(6);
    EXPECT_EQ(d.ctl("lbxZones"), "-5  (Eastern)");
    EXPECT_EQ(dlg.control("lbxMeasureUnits").ListIndex, -1);
    d.ok();
    EXPECT_EQ(d.get("time", "timezone"), "-5  (Eastern)");
    EXPECT_EQ(d.get("units", "unit"), "Feet"); // nothing selected: kept
    dlg.Form_Resize(3000, 3000);
    EXPECT_EQ(dlg.Width, app::frmProperties::kLeastWidth);
    EXPECT_EQ(dlg.Height, app::frmProperties::kLeastHeight);
    EXPECT_EQ(dlg.control("msfgRealTime").height, app::frmProperties::kLeastHeight - 85 - 1800 - 920);
}

TEST(Properties, UnloadDropsUnsavedEditsAndTheNextUseLoadsAfresh)
{
    Dialog d;
    auto& dlg = d.dlg();
    d.main.Open_Properties(1);
    const int comment = d.row_of(0, "comment");
    dlg.CellClick("msfgWaypoint", comment, 0, false);
    dlg.Unload();
    EXPECT_FALSE(dlg.Visible());
    dlg.SetFieldSettings("track"); // as the table's column loading may
    EXPECT_TRUE(dlg.optEPSG());
    d.main.Open_Properties(1);
    EXPECT_TRUE(dlg.mark(0, comment));
    EXPECT_EQ(d.ctl("cbxPOSCCodes"), "26915");
}

TEST(Properties, AnUnloadedDialogIsLoadedInTheStoredModeOnce)
{
    Dialog d;
    auto& dlg = d.dlg();
    int loads = 0;
    d.main.on_changed = [&](unsigned what) {
        if ((what & app::ChangeStatus) && d.main.StatusBar1[1] == "Loading projections") ++loads;
    };
    // The projection's name asks the dialog for its mode.
    dlg.Unload();
    EXPECT_EQ(d.main.coords().getProjectionName(false), "NAD83 - UTM zone 15N");
    EXPECT_EQ(loads, 1);
    // Opening it runs the stored mode's handler once.
    dlg.Unload();
    loads = 0;
    d.main.Open_Properties(0);
    EXPECT_EQ(loads, 1);
    EXPECT_TRUE(dlg.optEPSG());
    EXPECT_EQ(d.ctl("lbxProjections"), "UTM zone 15N");
    // A mode handler run on the unloaded dialog sets its own mode.
    dlg.Unload();
    loads = 0;
    dlg.optArcMap_Click();
    EXPECT_EQ(loads, 0);
    EXPECT_FALSE(dlg.optEPSG());
    EXPECT_TRUE(dlg.control("optArcMap").value);
}

TEST(Properties, APrjTextIsStoredOnlyUnderTheCodeItWasShownFor)
{
    Dialog d;
    auto& dlg = d.dlg();
    d.settings.SaveSetting("proj", "26915", "PROJCS[\"NAD83 / UTM zone 15N\"]");
    d.main.Open_Properties(0);
    ASSERT_EQ(d.ctl("tbxPRJ"), "PROJCS[\"NAD83 / UTM zone 15N\"]");
    dlg.SetText("cbxPOSCCodes", "26715"); // typed, no Enter
    d.ok();
    EXPECT_EQ(d.get("proj", "proj"), "26715");
    EXPECT_EQ(d.get("proj", "26715"), "<absent>");
    EXPECT_EQ(d.get("proj", "26915"), "PROJCS[\"NAD83 / UTM zone 15N\"]");

    // Edited and then left beside a typed code: stored nowhere.
    d.main.Open_Properties(0);
    dlg.SetText("tbxPRJ", "PROJCS[\"edited\"]");
    dlg.SetText("cbxPOSCCodes", "4326");
    d.ok();
    EXPECT_EQ(d.get("proj", "4326"), "<absent>");
    EXPECT_EQ(d.get("proj", "26715"), "<absent>");

    // ArcMap's text belongs to no code: back in EPSG mode with a code the
    // list lacks, it is not stored under that code.
    d.settings.SaveSetting("proj", "proj", "99999");
    d.settings.SaveSetting("proj", "am_proj", "PROJCS[\"arcmap\"]");
    d.main.Open_Properties(0);
    dlg.Click("optArcMap");
    dlg.Click("optEPSG");
    ASSERT_EQ(d.ctl("tbxPRJ"), "PROJCS[\"arcmap\"]");
    d.ok();
    EXPECT_EQ(d.get("proj", "99999"), "<absent>");
}

TEST(Properties, TheUnitsMenuAndTheUnitsTabAgree)
{
    Dialog d;
    auto& dlg = d.dlg();
    auto ticked = [&] {
        std::string t;
        for (auto* m : d.main.menus().array("mnuUnit"))
            if (m->checked) t += m->caption;
        return t;
    };
    EXPECT_EQ(ticked(), "Meters");
    d.main.menu_Click("mnuUnit", 1);
    EXPECT_EQ(d.main.state().unit, "Feet");
    EXPECT_EQ(d.get("units", "unit"), "Feet");
    EXPECT_EQ(ticked(), "Feet");
    // The dialog shows the menu's choice, so its OK keeps it.
    d.main.Open_Properties(0);
    d.ok();
    EXPECT_EQ(d.get("units", "unit"), "Feet");
    d.main.Open_Properties(6);
    dlg.Choose("lbxMeasureUnits", "Meters");
    d.ok();
    EXPECT_EQ(d.main.state().unit, "Meters");
    EXPECT_EQ(ticked(), "Meters");
}

} // namespace
