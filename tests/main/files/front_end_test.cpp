// The save and load front end with scripted dialogs: filters and type keys,
// dispatch to the writers and readers, the shape and feature type dialogs,
// silent cancels and the ArcMap link after a shapefile save.
#include "gpx_rig.h"

#include "main/transfer/garmin_usb.h"
#include "platform/automation/dispatch.h"

#include <filesystem>

using gpxtest::GpxRig;
using gpxtest::read_file;
using gpxtest::write_file;
using platform::ScriptedDialogs;

namespace {

struct FrontRig : GpxRig {
    files::FileFrontEnd fe{main};
    const ScriptedDialogs::Box* box(ScriptedDialogs::Box::Kind kind)
    {
        for (const auto& b : dialogs.boxes())
            if (b.kind == kind) return &b;
        return nullptr;
    }
    std::string info_text() { return dialogs.last() ? dialogs.last()->text : ""; }
};

const std::vector<gpxtest::Row> kWaypoints = {{{"ident", "HOME"}, {"lat", "45.5"}, {"long", "-93.25"}},
                                              {{"ident", "CAMP"}, {"lat", "44.1"}, {"long", "-92.5"}}};

TEST(FrontEnd, SaveFiltersTypeKeysAndDelimiters)
{
    EXPECT_EQ(files::FileInfo_TypeKey("a/X.SHP", 1), "shp_p");
    EXPECT_EQ(files::FileInfo_TypeKey("x.shp", 2), "shp_u");
    EXPECT_EQ(files::FileInfo_TypeKey("x.txt", 4), "txt_comma");
    EXPECT_EQ(files::FileInfo_TypeKey("x.txt", 8), "txt_lowrance");
    EXPECT_EQ(files::FileInfo_TypeKey("x.csv", 3), "csv");

    FrontRig rig;
    rig.fill("waypoint", kWaypoints);
    rig.dialogs.file(rig.path("c.txt")); // the preset: comma-delimited text
    rig.fe.menu_Click("mnuAFile", 0);
    EXPECT_EQ(rig.dialogs.last_open().filter, files::kSaveFilters);
    EXPECT_EQ(rig.dialogs.last_open().filter_index, 4);
    EXPECT_NE(read_file(rig.path("c.txt")).find("HOME,"), std::string::npos);
    EXPECT_EQ(rig.info_text(), "File was written successfully to " + rig.path("c.txt"));

    rig.dialogs.file(rig.path("x.csv"), false, 3); // DBase filter, other extension: ";" text
    rig.fe.mnuAFile_Click();
    EXPECT_NE(read_file(rig.path("x.csv")).find("HOME;"), std::string::npos);

    rig.dialogs.file(rig.path("w.gpx"), false, 7);
    rig.fe.mnuAFile_Click();
    ASSERT_TRUE(rig.load("waypoint", rig.path("w.gpx")));
    EXPECT_EQ(rig.cell(2, "ident"), "CAMP");
}

TEST(FrontEnd, CancelsAndClosedDialogsEndSilently)
{
    FrontRig rig;
    rig.fill("track", kWaypoints);
    rig.dialogs.file("", true);
    rig.fe.mnuAFile_Click();
    EXPECT_EQ(rig.dialogs.boxes().size(), 1u); // the file dialog only

    write_file(rig.path("old.txt"), "old");
    rig.dialogs.file(rig.path("old.txt"));
    rig.dialogs.answer(platform::vbCancel);
    rig.fe.mnuAFile_Click();
    EXPECT_EQ(read_file(rig.path("old.txt")), "old");
    EXPECT_EQ(rig.dialogs.last()->title, "Save");

    int shown = 0;
    rig.fe.show_shape = [&](files::frmShape& f) { shown += f.optLine ? 1 : 100, f.close(); };
    rig.dialogs.clear();
    rig.dialogs.file(rig.path("t.kml"), false, 6);
    rig.fe.mnuAFile_Click();
    EXPECT_EQ(shown, 1);
    EXPECT_FALSE(std::filesystem::exists(rig.path("t.kml")));
    EXPECT_EQ(rig.dialogs.boxes().size(), 1u);

    rig.fe.show_feature_type = [](files::frmFeatureType& f) { f.close(); };
    rig.dialogs.file(rig.path("c.txt"), false, 5);
    rig.fe.mnuFileL_Click();
    EXPECT_EQ(rig.dialogs.last_open().filter, files::kLoadFilters);
    EXPECT_EQ(rig.dialogs.last_open().filter_index, 3);
    EXPECT_EQ(rig.rows(), 2); // the table as it was
}

TEST(FrontEnd, ShapeWordsAndTheGraphicTarget)
{
    FrontRig rig;
    bool append = true;
    std::string target = "graphic";
    std::string name = rig.fe.getFileInfo_UserFilename(target, append);
    EXPECT_EQ(name.substr(name.size() - 15), "/garmintemp.shp");
    EXPECT_EQ(target, "graphic");
    EXPECT_FALSE(append);
    EXPECT_TRUE(rig.dialogs.boxes().empty());

    EXPECT_EQ(rig.fe.getFileInfo_UserShapeType("shp_p", "waypoint"), "Point");
    EXPECT_EQ(rig.fe.getFileInfo_UserShapeType("gpx", "track"), "Point");
    rig.fe.show_shape = [](files::frmShape& f) { f.optLine = false, f.optPolygon = true, f.cmdOK_Click(); };
    EXPECT_EQ(rig.fe.getFileInfo_UserShapeType("kml", "Route"), "Polygon");
    rig.fe.show_shape = [](files::frmShape& f) { f.cmdOK_Click(); }; // kept from the last OK
    EXPECT_EQ(rig.fe.getFileInfo_UserShapeType("graphic", "track"), "Polygon");

    std::string type = "x";
    rig.fe.show_feature_type = [](files::frmFeatureType& f) { f.optTrack = false, f.optRoute = true, f.cmdOK_Click(); };
    EXPECT_TRUE(rig.fe.getFileInfo_UserFeatureType(type));
    EXPECT_EQ(type, "route");
}

// With a mass-storage unit connected, a GPX file loaded from the File menu
// names the unit as each point's model, as a download from the unit does.
TEST(FrontEnd, GpxLoadTakesTheConnectedUnitAsModel)
{
    FrontRig rig;
    rig.fill("waypoint", {{{"ident", "HOME"}, {"lat", "45.5"}, {"long", "-93.25"}, {"model", "eTrex"}}});
    ASSERT_TRUE(rig.save(rig.path("w.gpx")));
    rig.fe.show_feature_type = [](files::frmFeatureType& f) { f.optTrack = false, f.optWaypoint = true, f.cmdOK_Click(); };
    rig.dialogs.file(rig.path("w.gpx"), false, 5);
    rig.fe.mnuFileL_Click();
    EXPECT_EQ(rig.cell(1, "model"), "eTrex"); // no unit: the file's own

    auto unit = std::make_shared<transfer::clsGarminUSB>(rig.dialogs);
    unit->Description = "Oregon 450";
    rig.main.state().GPS_MassStorageUnit = unit;
    rig.dialogs.file(rig.path("w.gpx"), false, 5);
    rig.fe.mnuFileL_Click();
    EXPECT_EQ(rig.info_text(), "File was loaded successfully from " + rig.path("w.gpx"));
    ASSERT_EQ(rig.rows(), 1);
    EXPECT_EQ(rig.cell(1, "ident"), "HOME");
    EXPECT_EQ(rig.cell(1, "model"), "Oregon 450");
}

// Records what the ArcMap extension is asked.
struct FakeArcMap : platform::Dispatch {
    std::optional<platform::DispId> GetIDOfName(std::string_view name) const override
    {
        return platform::NameEquals(name, "Shapefile_ToDataFrame") ? std::optional<platform::DispId>(1) : std::nullopt;
    }
    platform::Variant Invoke(platform::DispId, platform::InvokeKind, std::vector<platform::Variant>& a) override
    {
        calls.push_back(a[0].ToString() + "," + a[1].ToString());
        return {};
    }
    std::vector<std::string> calls;
};

TEST(FrontEnd, ShapefileSaveReachesTheArcMapLink)
{
    FrontRig rig;
    auto arcmap = std::make_shared<FakeArcMap>();
    rig.main.state().arcmap_extension = arcmap;
    rig.fill("waypoint", kWaypoints);
    rig.dialogs.file(rig.path("p.shp"), false, 2);
    rig.fe.mnuAFile_Click();
    ASSERT_EQ(arcmap->calls.size(), 1u);
    EXPECT_EQ(arcmap->calls[0], rig.path("p.shp") + ",True");
    EXPECT_EQ(rig.info_text(), "File was written successfully to " + rig.path("p.shp"));

    rig.dialogs.file(rig.path("p.shp"), false, 1);
    rig.fe.menu_Click("mnuFileL", 0);
    EXPECT_EQ(rig.info_text(), "File was loaded successfully from " + rig.path("p.shp"));
    EXPECT_EQ(rig.cell(1, "ident"), "HOME");
}

} // namespace
