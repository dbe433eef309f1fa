// Loading the catalogue, the first-run question, the projection name, and
// converting points and the table through a fake library and a fake ArcMap
// extension.
#include "tests/main/coords/harness.h"

#include "main/app/properties.h"
#include "platform/text/vb.h"

#include <gtest/gtest.h>

namespace {

using coordstest::FakeArcMap;
using coordstest::Harness;
namespace vb = platform::vb;

// What the fake library makes of degrees in a projected system.
std::string projected(double degrees) { return vb::CStr(degrees * 0.0174532925199433 * 1000.0); }

struct Coords : ::testing::Test {
    Harness h;
    coords::Coordinates& c() { return h.main.coords(); }
    void add(const std::string& ident, const std::string& lat, const std::string& lon)
    {
        h.rows({ident + ";" + lat + ";" + lon}, h.col("ident") + ";" + h.col("lat") + ";" + h.col("long"));
    }
    void add_projected(const std::string& ident, const std::string& x, const std::string& y)
    {
        h.rows({ident + ";" + x + ";" + y}, h.col("ident") + ";" + h.col("x_proj") + ";" + h.col("y_proj"));
    }
    void all_handles_freed() { EXPECT_TRUE(h.proj->live.empty()); }
};

TEST_F(Coords, MissingOrBrokenListLoadsWhatItCanAndDoesNotAsk)
{
    c().LoadProjections("epsg");
    EXPECT_EQ(h.box_texts(), std::vector<std::string>{"Could not find projections file located at " + h.folder +
                                                      "/proj/nad/epsg"});
    ASSERT_NE(c().catalogue(), nullptr);
    EXPECT_EQ(c().catalogue()->size(), 0u);
    EXPECT_EQ(h.cursor.pointer(), platform::vbDefault);

    h.dialogs.clear();
    h.write("proj/nad/epsg", "# A / B\n<1> +proj=longlat <>\n\n<2> +proj=utm <>\n");
    c().LoadProjections("epsg");
    ASSERT_EQ(h.dialogs.boxes().size(), 1u);
    EXPECT_EQ(h.dialogs.boxes()[0].text, "Error #5 - Invalid procedure call or argument");
    EXPECT_EQ(h.dialogs.boxes()[0].title, "frmMain.LoadProjections");
    EXPECT_EQ(h.dialogs.boxes()[0].icon(), platform::vbCritical);
    EXPECT_NE(c().catalogue()->find("1"), nullptr);
    EXPECT_EQ(c().catalogue()->find("2"), nullptr);
    EXPECT_FALSE(h.settings.get("proj", "proj")); // no first-run question
    EXPECT_EQ(h.cursor.pointer(), platform::vbDefault);
}

TEST_F(Coords, ProjectionNameAndTheGetProjectionCommand)
{
    EXPECT_EQ(c().getProjectionName(false), ""); // nothing loaded yet, no message
    EXPECT_TRUE(h.dialogs.boxes().empty());

    h.write_epsg();
    h.load();
    EXPECT_EQ(c().getProjectionName(false), "NAD83 - UTM zone 15N");

    h.main.frmProperties().optArcMap_Click(); // the EPSG list is no longer chosen
    EXPECT_EQ(c().getProjectionName(false), "NAD83");
    h.settings.SaveSetting("proj", "proj", "12345");
    EXPECT_EQ(c().getProjectionName(false), "");

    h.settings.SaveSetting("proj", "projfile", "ArcMap");
    h.settings.SaveSetting("proj", "am_proj", "PROJCS[\"NAD_1983_UTM_Zone_15N\"]");
    h.main.menu_Click("mnuGetProjection");
    EXPECT_EQ(h.main.StatusBar1[1], "Projection: PROJCS[\"NAD_1983_UTM_Zone_15N\"]");
    EXPECT_EQ(c().getProjectionName(true), "NAD_1983_UTM_Zone_15N");
}

TEST_F(Coords, ForwardConvertsEveryRowCountingTextAsZero)
{
    h.write_epsg();
    h.load();
    add("A", "45.25", "-93.5");
    add("B", "abc", "-93.5");
    EXPECT_TRUE(c().Project_Table(true));
    EXPECT_EQ(h.proj->inits[0], "+proj=longlat +ellps=WGS84 +datum=WGS84 +no_defs  no_defs <>");
    EXPECT_EQ(h.proj->inits[1], "+proj=utm +zone=15 +ellps=GRS80 +datum=NAD83 +units=m +no_defs");
    EXPECT_EQ(h.cell(1, "x_proj"), projected(-93.5));
    EXPECT_EQ(h.cell(1, "y_proj"), projected(45.25));
    EXPECT_EQ(h.cell(2, "x_proj"), projected(-93.5));
    EXPECT_EQ(h.cell(2, "y_proj"), "0");
    EXPECT_EQ(h.cell(2, "lat"), "abc");
    EXPECT_EQ(h.proj->heights, (std::vector<double>{1.0, 1.0}));
    EXPECT_TRUE(h.dialogs.boxes().empty());
    EXPECT_EQ(h.main.StatusBar1[1], "");
    EXPECT_EQ(h.cursor.pointer(), platform::vbDefault);
    all_handles_freed();
}

TEST_F(Coords, InverseLeavesRowsWithoutProjectedValues)
{
    h.write_epsg();
    h.load();
    add("A", "45.25", "-93.5");                 // never projected
    add_projected("B", "1000", "500");
    add_projected("C", "x", "500");
    h.main.menu_Click("mnuUnProjectCoordinates");
    EXPECT_TRUE(h.dialogs.boxes().empty());
    EXPECT_EQ(h.cell(1, "lat"), "45.25");
    EXPECT_EQ(h.cell(1, "long"), "-93.5");
    EXPECT_EQ(h.cell(2, "long"), vb::CStr(1000 / 1000.0 * 57.2957795130823));
    EXPECT_EQ(h.cell(2, "lat"), vb::CStr(500 / 1000.0 * 57.2957795130823));
    EXPECT_EQ(h.cell(3, "lat"), "");
    EXPECT_EQ(h.proj->transforms, 1);
}

TEST_F(Coords, AFailedRowStopsTheTableThere)
{
    h.write_epsg();
    h.load();
    for (int i = 1; i <= 10; ++i) add(std::to_string(i), "45", "-93");
    h.proj->fail_at = 5;
    EXPECT_FALSE(c().Project_Table(true));
    for (int i = 1; i <= 10; ++i) EXPECT_EQ(h.cell(i, "x_proj") == "", i >= 5) << "row " << i;
    EXPECT_EQ(h.box_texts(), std::vector<std::string>{"Projection Error [-14]: latitude or longitude exceeded limits"});
    EXPECT_EQ(h.dialogs.boxes()[0].title, "");
    EXPECT_EQ(h.main.StatusBar1[1], "");
    all_handles_freed();
}

TEST_F(Coords, AnUnknownProjectionIsReportedTwiceAndConvertsNothing)
{
    h.write_epsg();
    h.load();
    add("A", "45.25", "-93.5");
    h.settings.SaveSetting("proj", "proj", "99999");
    h.proj->refuse[""] = -1;
    EXPECT_FALSE(c().Project_Table(true));
    ASSERT_EQ(h.dialogs.boxes().size(), 2u);
    EXPECT_EQ(h.dialogs.boxes()[0].title, "frmMain.getProjectionDescription");
    EXPECT_EQ(h.dialogs.boxes()[1].text, "Projection Error [-1]: no arguments in initialization list");
    EXPECT_EQ(h.cell(1, "x_proj"), "");
    EXPECT_FALSE(c().catalogue()->find("99999")); // the lookup adds nothing
    all_handles_freed();
}

TEST_F(Coords, Nad27TargetsCarryTheGridsFound)
{
    h.write_epsg();
    h.load();
    h.settings.SaveSetting("proj", "proj", "26715");
    double x = -93.5, y = 45.25, ox = 0, oy = 0;
    c().Project_Point(x, y, true, ox, oy);
    EXPECT_EQ(h.proj->inits.back(),
              "+proj=utm +zone=15 +ellps=clrk66 +datum=NAD27 +units=m +no_defs +nadgrids=ntv1_can.dat");
    h.write("proj/nad/conus.dat", "grid");
    h.write("proj/nad/ntv1_can.dat", "grid");
    h.write("proj/nad/alaska.dat", "grid");
    c().Project_Point(x, y, true, ox, oy);
    EXPECT_EQ(h.proj->inits.back(), "+proj=utm +zone=15 +ellps=clrk66 +datum=NAD27 +units=m +no_defs "
                                    "+nadgrids=alaska.dat,conus.dat,ntv1_can.dat");

    h.write("proj/nad/epsg", "<1> +proj=utm +datum=nad27 <>\n");
    c().LoadProjections("epsg");
    h.settings.SaveSetting("proj", "proj", "1");
    c().Project_Point(x, y, true, ox, oy);
    EXPECT_EQ(h.proj->inits.back(), "+proj=utm +datum=nad27");
}

TEST_F(Coords, PointConversion)
{
    h.write_epsg();
    h.load();
    double x = -93.5, y = 45.25, ox = 7, oy = 7;
    EXPECT_TRUE(c().Project_Point(x, y, true, ox, oy));
    EXPECT_EQ(vb::CStr(ox), projected(-93.5));
    EXPECT_EQ(x, -93.5); // the inputs stay as they were
    h.proj->fail_at = h.proj->transforms + 1;
    ox = oy = 7;
    EXPECT_FALSE(c().Project_Point(x, y, false, ox, oy));
    EXPECT_EQ(ox, 7);
    EXPECT_EQ(h.box_texts(), std::vector<std::string>{"Projection Error [-14]: latitude or longitude exceeded limits"});
    all_handles_freed();
}

TEST_F(Coords, EmptyTableOrMissingColumn)
{
    h.write_epsg();
    h.load();
    EXPECT_FALSE(c().Project_Table(true));
    EXPECT_TRUE(h.dialogs.boxes().empty());
    EXPECT_TRUE(h.proj->inits.empty());

    add("A", "45.25", "-93.5");
    h.main.MSFlexGrid1.SetTextMatrix(0, std::stoi(h.col("y_proj")), "renamed");
    EXPECT_FALSE(c().Project_Table(true));
    EXPECT_EQ(h.box_texts(), std::vector<std::string>{"Error [381]: The table has no \"y_proj\" column"});
    EXPECT_EQ(h.cell(1, "x_proj"), "");
    EXPECT_EQ(h.cursor.pointer(), platform::vbDefault);
    all_handles_freed();
}

TEST_F(Coords, MenuChecksBeforeConverting)
{
    h.write_epsg();
    h.load();
    add("A", "45.25", "-93.5");
    add("B", "abc", "-93.5");
    h.main.menu_Click("mnuProjectCoordinates");
    EXPECT_EQ(h.box_texts(), std::vector<std::string>{"Projection Error: Invalid Lat and/or Long values exist."});
    EXPECT_EQ(h.cell(1, "x_proj"), "");

    // A selection of good rows passes the check; the whole table converts.
    h.dialogs.clear();
    h.main.state().selection_count = 1;
    h.main.state().first_selected_row = h.main.state().last_selected_row = 1;
    h.main.menu_Click("mnuProjectCoordinates");
    EXPECT_TRUE(h.dialogs.boxes().empty());
    EXPECT_EQ(h.cell(2, "y_proj"), "0");

    h.main.table().Table_Clear();
    add("A", "45.25", "-93.5");
    h.main.menu_Click("mnuUnProjectCoordinates");
    EXPECT_EQ(h.box_texts(), std::vector<std::string>{"Unprojection Error: No valid Projected X/Y values exist."});
}

TEST_F(Coords, ArcMapRoad)
{
    h.write_epsg();
    h.load();
    add("A", "45.25", "-93.5");
    add_projected("B", "", "");
    h.settings.SaveSetting("proj", "projfile", "arcmap");
    h.settings.SaveSetting("proj", "am_proj", "PROJCS[\"X\"]");

    // No extension object: the library converts.
    double x = 1, y = 2, ox = 0, oy = 0;
    EXPECT_TRUE(c().Project_Point(x, y, true, ox, oy));
    EXPECT_EQ(h.proj->inits.size(), 2u);

    auto arcmap = std::make_shared<FakeArcMap>();
    h.main.state().arcmap_extension = arcmap;
    EXPECT_TRUE(c().Project_Point(x, y, true, ox, oy));
    ASSERT_EQ(arcmap->calls.size(), 1u);
    const auto& a = arcmap->calls[0];
    EXPECT_EQ(a[2].ToBool(), false); // Not forward
    EXPECT_EQ(a[3].ToString(), "");
    EXPECT_EQ(a[4].ToString(), "PROJCS[\"X\"]");
    EXPECT_EQ(ox, 2);
    EXPECT_EQ(oy, 3);

    // Forward: every row goes, text as 0.
    EXPECT_TRUE(c().Project_Table(true));
    EXPECT_EQ(h.cell(1, "x_proj"), "-92.5");
    EXPECT_EQ(h.cell(2, "y_proj"), "1");
    // Inverse: only rows with a projected pair; a refusal writes nothing.
    h.main.MSFlexGrid1.SetTextMatrix(2, std::stoi(h.col("x_proj")), "");
    EXPECT_TRUE(c().Project_Table(false));
    EXPECT_EQ(h.cell(1, "long"), "-91.5");
    EXPECT_EQ(h.cell(2, "lat"), "");
    arcmap->refuse = true;
    EXPECT_FALSE(c().Project_Table(false));
    EXPECT_EQ(h.cell(1, "long"), "-91.5");
    EXPECT_EQ(h.proj->inits.size(), 2u);

    // No projection text: the extension refuses and the input comes back.
    h.settings.SaveSetting("proj", "am_proj", "");
    ox = oy = 0;
    EXPECT_FALSE(c().Project_Point(x, y, false, ox, oy));
    EXPECT_EQ(ox, 1);
    EXPECT_EQ(oy, 2);
    EXPECT_TRUE(h.dialogs.boxes().empty());
}

} // namespace
