// Shapefiles through the shapefile control: points, lines and polygons
// formed from rows, loading back, bad files, safe saves and the control
// held by one operation at a time.
#include "tablefiles_rig.h"

#include <shapefil.h>

#include <filesystem>

using gpxtest::read_file;
using gpxtest::write_file;
using tablefiles::FilesRig;

namespace {

struct Read {
    int type = 0, count = 0;
    std::vector<platform::ShapeFiles::Field> fields;
    std::vector<std::vector<platform::ShapeFiles::Vertex>> shapes;
    std::vector<std::vector<std::string>> values;
};

Read read_back(const std::string& path)
{
    platform::ShapeFiles c;
    c.Open(path, 0);
    Read r{c.ShapeType(), c.RecordCount(), c.Fields, {}, {}};
    for (int k = 0; k < c.RecordCount(); ++k) {
        if (k) c.MoveNext();
        r.shapes.push_back(c.Vertices);
        r.values.emplace_back();
        for (const auto& f : c.Fields) r.values.back().push_back(f.Value);
    }
    return r;
}

TEST(ShapefileSave, PointsKeepFieldsTextsAndCoordinates)
{
    FilesRig rig;
    rig.fill("waypoint", {{{"ident", "A;1"}, {"lat", "45.12345678"}, {"long", "-75.25"}, {"comment", "say \"hi\", ok"}},
                          {{"ident", "B"}, {"lat", "46"}, {"long", "-75"}, {"altitude", "123456789012345678901"}}});
    std::string file = rig.path("w.shp");
    ASSERT_TRUE(rig.tf.Shapefile_Save("Point", false, file, false));
    Read r = read_back(file);
    EXPECT_EQ(r.type, 1);
    ASSERT_EQ(r.count, 2);
    const int ident = files::Shapefile_FieldIndex(r.fields, "ident"), lat = files::Shapefile_FieldIndex(r.fields, "lat");
    const int alt = files::Shapefile_FieldIndex(r.fields, "altitude");
    ASSERT_GT(ident, 0);
    EXPECT_EQ(r.fields[ident - 1].Width, 24);
    EXPECT_EQ(r.fields[lat - 1].Type, 19);
    EXPECT_EQ(r.fields[lat - 1].Decimals, 8);
    EXPECT_EQ(r.values[0][ident - 1], "A;1");
    EXPECT_NEAR(r.shapes[0][0].Y, 45.12345678, 1e-8);
    EXPECT_EQ(r.values[1][alt - 1].find("1234"), std::string::npos); // too wide: null, never cut
    EXPECT_FALSE(std::filesystem::exists(rig.path("w.cpg")));
    EXPECT_EQ(read_file(rig.path("w.dbf"))[29], 87);

    rig.table().Table_Clear();
    ASSERT_TRUE(rig.tf.Shapefile_Load(file));
    ASSERT_EQ(rig.rows(), 2);
    EXPECT_EQ(rig.cell(1, "ident"), "A;1");
    EXPECT_EQ(rig.cell(1, "comment"), "say \"hi\", ok");
    EXPECT_EQ(rig.cell(1, "y_proj"), "45.12345678");
    EXPECT_EQ(rig.cell(2, "type"), "WAYPOINT");
    EXPECT_EQ(rig.cursor.pointer(), platform::vbDefault);

    // Appending adds records, no field; another shape type is refused.
    ASSERT_TRUE(rig.tf.Shapefile_Save("Point", false, file, true));
    EXPECT_EQ(read_back(file).count, 4);
    EXPECT_EQ(read_back(file).fields.size(), r.fields.size());
}

TEST(ShapefileSave, LinesAndPolygonsFollowTheSegments)
{
    FilesRig rig;
    // First row without new_seg still starts a shape; a one-row line and a
    // two-row polygon are dropped with their vertices.
    rig.fill("track", {{{"ident", "a"}, {"lat", "0"}, {"long", "0"}, {"new_seg", "False"}},
                       {{"ident", "b"}, {"lat", "0"}, {"long", "1"}, {"new_seg", "False"}},
                       {{"ident", "c"}, {"lat", "1"}, {"long", "1"}, {"new_seg", "False"}},
                       {{"ident", "d"}, {"lat", "5"}, {"long", "5"}, {"new_seg", "True"}},
                       {{"ident", "e"}, {"lat", "6"}, {"long", "6"}, {"new_seg", "True"}},
                       {{"ident", "f"}, {"lat", "7"}, {"long", "7"}, {"new_seg", "False"}}});
    std::string line = rig.path("l.shp"), poly = rig.path("p.shp");
    ASSERT_TRUE(rig.tf.Shapefile_Save("Line", false, line, false));
    Read l = read_back(line);
    ASSERT_EQ(l.count, 2);
    EXPECT_EQ(l.shapes[0].size(), 3u);
    EXPECT_EQ(l.shapes[1].size(), 2u);
    const int ident = files::Shapefile_FieldIndex(l.fields, "ident");
    EXPECT_EQ(l.values[0][ident - 1], "a");
    EXPECT_EQ(l.values[1][ident - 1], "e");

    ASSERT_TRUE(rig.tf.Shapefile_Save("Polygon", false, poly, false));
    Read p = read_back(poly);
    ASSERT_EQ(p.count, 1);
    ASSERT_EQ(p.shapes[0].size(), 4u); // closed
    EXPECT_EQ(p.shapes[0].front().X, p.shapes[0].back().X);
    double area2 = 0;
    for (std::size_t i = 0; i + 1 < p.shapes[0].size(); ++i)
        area2 += p.shapes[0][i].X * p.shapes[0][i + 1].Y - p.shapes[0][i + 1].X * p.shapes[0][i].Y;
    EXPECT_LT(area2, 0); // clockwise

    // Loading the line: new_seg True at each part's start.
    ASSERT_TRUE(rig.tf.Shapefile_Load(line));
    EXPECT_EQ(rig.main.state().record_type, "track");
    ASSERT_EQ(rig.rows(), 5);
    EXPECT_TRUE(flxgrd::Table::Value_IsTrue(rig.cell(1, "new_seg")));
    EXPECT_FALSE(flxgrd::Table::Value_IsTrue(rig.cell(2, "new_seg")));
    EXPECT_TRUE(flxgrd::Table::Value_IsTrue(rig.cell(4, "new_seg")));
    EXPECT_EQ(rig.cell(4, "x_proj"), "6.00000000");
}

TEST(ShapefileSave, RefusedSavesTouchNoFile)
{
    FilesRig rig;
    rig.fill("waypoint", {{{"ident", "A"}, {"lat", "1"}, {"long", "2"}}});
    std::string file = rig.path("w.shp");
    EXPECT_FALSE(rig.tf.Shapefile_Save("Blob", false, file, false));
    EXPECT_EQ(rig.dialogs.boxes().back().text, "No valid shapes created in shapefile");
    EXPECT_FALSE(std::filesystem::exists(file));
    ASSERT_TRUE(rig.tf.Shapefile_Save("Point", false, file, false));
    const std::string shp = read_file(file), dbf = read_file(rig.path("w.dbf"));
    EXPECT_FALSE(rig.tf.Shapefile_Save("Point", true, file, false));
    EXPECT_EQ(rig.dialogs.boxes().back().text,
              "Error 111: Y_Proj and X_Proj fields must contain valid values.  Please set Y_Proj and X_Proj values "
              "and try again.");
    EXPECT_EQ(tablefiles::limited(rig, 150, [&] { return rig.tf.Shapefile_Save("Point", false, file, true); }),
              "0 Shapefile_Save|Error 61: Disk full");
    EXPECT_EQ(read_file(file), shp);
    EXPECT_EQ(read_file(rig.path("w.dbf")), dbf);
    for (const auto& e : std::filesystem::directory_iterator(rig.dir.path))
        EXPECT_EQ(e.path().filename().string().find(".trekfold-save"), std::string::npos) << e.path();
}

TEST(ShapefileLoad, BadFilesDeletedRowsAndOneOperationAtATime)
{
    FilesRig rig;
    rig.fill("waypoint", {{{"ident", "A"}, {"lat", "1"}, {"long", "2"}}, {{"ident", "B"}, {"lat", "3"}, {"long", "4"}}});
    std::string file = rig.path("w.shp");
    ASSERT_TRUE(rig.tf.Shapefile_Save("Point", false, file, false));
    DBFHandle d = DBFOpen(rig.path("w.dbf").c_str(), "r+b");
    DBFMarkRecordDeleted(d, 0, 1);
    DBFClose(d);
    ASSERT_TRUE(rig.tf.Shapefile_Load(file));
    ASSERT_EQ(rig.rows(), 1);
    EXPECT_EQ(rig.cell(1, "ident"), "B");

    // A second operation while one holds the control is refused.
    bool refused = false;
    rig.main.on_changed = [&](unsigned) {
        if (refused) return;
        refused = true;
        EXPECT_FALSE(rig.tf.Shapefile_Save("Point", false, rig.path("x.shp"), false));
    };
    ASSERT_TRUE(rig.tf.Shapefile_Load(file));
    rig.main.on_changed = nullptr;
    ASSERT_EQ(rig.boxes_titled("Shapefile_Save"), 1);
    for (const auto& b : rig.dialogs.boxes())
        if (b.title == "Shapefile_Save") {
            EXPECT_EQ(b.text, "Error 70: Permission denied");
        }

    std::string shp = read_file(file);
    write_file(file, shp.substr(0, shp.size() - 10));
    EXPECT_FALSE(rig.tf.Shapefile_Load(file));
    EXPECT_EQ(rig.dialogs.boxes().back().title, "Shapefile_Load");
    EXPECT_EQ(rig.dialogs.boxes().back().text.rfind("Error ", 0), 0u);
    std::filesystem::remove(rig.path("w.dbf"));
    write_file(file, shp);
    EXPECT_FALSE(rig.tf.Shapefile_Load(file));
    EXPECT_EQ(rig.dialogs.boxes().back().title, "Shapefile_Load");
    EXPECT_EQ(rig.tf.get_ShapeFileType(file), "point");
}

TEST(ShapefileArray, ArrayRowsAndEmptyFiles)
{
    FilesRig rig;
    rig.fill("track", {});
    std::int32_t counter = 5, count = -1;
    std::string file = rig.path("rt.shp");
    ASSERT_TRUE(rig.tf.Shapefile_NewEmpty("Line", file, false, count));
    EXPECT_EQ(count, 0);
    EXPECT_EQ(rig.tf.get_ShapeFileType(file), "line");
    const std::vector<std::vector<std::string>> data = {
        {"ident", "a", "b", "c"}, {"x_proj", "1", "2", "3"}, {"y_proj", "1", "2", "2"}, {"new_seg", "", "", ""}};
    EXPECT_FALSE(rig.tf.Shapefile_SaveFromArray("Line", {{""}}, file, true, "", counter));
    ASSERT_TRUE(rig.tf.Shapefile_SaveFromArray("Line", data, file, true, "ID", counter));
    EXPECT_EQ(counter, 0);
    Read r = read_back(file);
    ASSERT_EQ(r.count, 1);
    EXPECT_EQ(r.shapes[0].size(), 3u);
    EXPECT_EQ(r.values[0][files::Shapefile_FieldIndex(r.fields, "ident") - 1], "ID");
    EXPECT_FALSE(rig.tf.Shapefile_NewEmpty("Point", file, true, count));
    EXPECT_EQ(rig.boxes_titled("Shapefile_NewEmpty"), 1);
    EXPECT_FALSE(rig.tf.Shapefile_SaveFromArray("Polygon", data, file, true, "", counter));
    EXPECT_EQ(rig.dialogs.boxes().back().text,
              "Error 266: Incoming shapes do not match existing shapefile's shape type.  Aborting.");
    EXPECT_EQ(read_back(file).count, 1);
    EXPECT_EQ(files::Shapefile_FieldType("c"), 10);
    EXPECT_EQ(files::Shapefile_ShapeTypeCode("POLYGON"), 5);
}

TEST(GraphicsSave, EveryRowOnceTheFirstStartsAShape)
{
    struct Fake : files::GraphicsTarget {
        std::vector<std::string> calls;
        void Graphics_SaveTo(const std::string& shape, const std::string& lat, const std::string& lon,
                             const std::string&, const std::string&, bool new_segment, bool end) override
        {
            calls.push_back(shape + " " + lat + " " + lon + " " + (new_segment ? "S" : "-") + (end ? "E" : "-"));
        }
    } fake;
    FilesRig rig;
    rig.fill("track", {{{"lat", "1"}, {"long", "2"}, {"new_seg", "False"}},
                       {{"lat", "3"}, {"long", "4"}, {"new_seg", "True"}},
                       {{"lat", "5"}, {"long", "6"}, {"new_seg", "False"}}});
    rig.tf.Graphics_Save("Line", fake);
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"Line 1 2 S-", "Line 3 4 S-", "Line 5 6 -E"}));
    EXPECT_EQ(rig.main.StatusBar1[1], "Converting track Record 3 to Line graphic");
}

} // namespace
