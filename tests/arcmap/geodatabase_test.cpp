// The records table written into file geodatabase classes that ogr2ogr
// made, read back with ogrinfo.
#include "support.h"

#include "platform/automation/collection_object.h"
#include "platform/text/vb.h"

#include <cstdio>
#include <fstream>

namespace arcmaptest {
namespace {

namespace fs = std::filesystem;

std::string sh(const std::string& command)
{
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

struct Gdb : ::testing::Test {
    fs::path dir;
    std::string gdb;
    void SetUp() override
    {
        char d[] = "/tmp/arcmap-gdb-XXXXXX";
        ASSERT_TRUE(::mkdtemp(d));
        dir = d;
        gdb = (dir / "field.gdb").string();
        std::ofstream(dir / "t.csv") << "id,WKT\n1,\"POINT(0 0)\"\n";
        const std::string make = "ogr2ogr -f OpenFileGDB %s '" + gdb + "' '" + (dir / "t.csv").string() +
                                 "' -oo GEOM_POSSIBLE_NAMES=WKT -where \"id='0'\" -a_srs EPSG:26915 ";
        auto run = [&](const std::string& first, const std::string& rest) {
            char line[1024];
            std::snprintf(line, sizeof line, make.c_str(), first.c_str());
            ASSERT_EQ(std::system((line + rest + " 2>&1").c_str()), 0);
        };
        run("", "-nln Tracks -nlt LINESTRING -lco FEATURE_DATASET=Survey");
        run("-update", "-nln Wpts -nlt POINT");
        run("-update", "-nln Areas -nlt POLYGON");
    }
    void TearDown() override { fs::remove_all(dir); }

    // A table of rows (x, y, new_seg) with a "filename" column.
    static Variant table(const std::vector<std::tuple<double, double, const char*>>& rows)
    {
        platform::VariantArray a(0, 5, 0, std::int32_t(rows.size()) + 1);
        const char* headers[] = {"ident", "y_proj", "x_proj", "new_seg", "filename"};
        for (int k = 0; k < 5; ++k) a.at(k, 0) = Variant(headers[k]);
        for (std::int32_t j = 1; j <= std::int32_t(rows.size()); ++j) {
            auto [x, y, seg] = rows[std::size_t(j - 1)];
            a.at(0, j) = Variant("r" + std::to_string(j));
            a.at(1, j) = Variant(platform::vb::CStr(y));
            a.at(2, j) = Variant(platform::vb::CStr(x));
            a.at(3, j) = Variant(seg);
            a.at(4, j) = Variant(" ");
        }
        return Variant(std::move(a));
    }
    static Variant catalogue()
    {
        platform::Collection<Variant> c;
        for (auto [name, type] : {std::pair{"ident", "C"}, {"y_proj", "N"}, {"x_proj", "N"}, {"new_seg", "C"},
                                  {"filename", "C"}}) {
            platform::VariantArray item(0, 2);
            item.at(0) = Variant(name), item.at(1) = Variant(type);
            c.Add(Variant(std::move(item)), name);
        }
        return Variant(platform::ObjectRef(std::make_shared<platform::CollectionObject>(std::move(c))));
    }
    bool save(Host& h, platform::ObjectRef& o, const std::string& answer, Variant data, const char* shape)
    {
        h.services.browse.push_back(answer);
        std::vector<Variant> a{std::move(data), catalogue(), Variant("track"), Variant(shape)};
        return call(o, "Save_ToGeodatabase", a).ToBool();
    }
    std::string dump(const char* layer) { return sh("ogrinfo -q '" + gdb + "' " + layer + " 2>&1"); }
};

TEST_F(Gdb, TwoSegmentsTwoFeaturesOneLayerAndASmallMiddleSegmentDropped)
{
    Host h;
    auto o = h.arcmap();
    const auto rows = table({{1, 2, "True"}, {3, 4, "False"}, {5, 6, "False"}, {7, 8, "true"}, {9, 10, "False"},
                             {11, 12, "False"}});
    ASSERT_TRUE(save(h, o, gdb + "/Survey/Tracks", rows, "Line"));
    EXPECT_EQ(h.app->StatusBar[0], "Saved 2 shapes successfully to " + gdb + "/Survey/Tracks");
    EXPECT_TRUE(save(h, o, gdb + "/Survey/Tracks", rows, "Line"));
    ASSERT_EQ(h.map().Layers.size(), 1u);
    auto layer = ao::As<ao::FeatureLayer>(platform::ObjectRef(h.map().Layers[0]));
    EXPECT_EQ(layer->Name, "Tracks");
    EXPECT_EQ(layer->HotlinkField, "filename");
    std::string d = dump("Tracks");
    EXPECT_NE(d.find("LINESTRING ((1 2,3 4,5 6))"), std::string::npos) << d;
    EXPECT_NE(d.find("ident (String) = r4"), std::string::npos);
    EXPECT_NE(d.find("x_proj (Real) = 7"), std::string::npos);

    // A middle segment of one vertex is dropped when the next one starts:
    // each feature keeps only its own vertices; the counter counts starts.
    ASSERT_TRUE(save(h, o, gdb + "/Survey/Tracks",
                     table({{1, 1, "True"}, {2, 2, "False"}, {50, 50, "True"}, {3, 3, "True"}, {4, 4, "False"}}),
                     "line"));
    EXPECT_EQ(h.app->StatusBar[0], "Saved 3 shapes successfully to " + gdb + "/Survey/Tracks");
    d = dump("Tracks");
    EXPECT_NE(d.find("LINESTRING ((3 3,4 4))"), std::string::npos) << d;
    EXPECT_EQ(d.find("50 50"), std::string::npos);
    EXPECT_TRUE(h.dialogs.boxes().empty());
}

TEST_F(Gdb, PolygonClosedClockwiseAndRefusalsWriteNothing)
{
    Host h;
    auto o = h.arcmap();
    ASSERT_TRUE(save(h, o, gdb + "/Areas", table({{0, 0, "True"}, {10, 0, "False"}, {0, 10, "False"}}), "Polygon"));
    const std::string d = dump("Areas");
    EXPECT_NE(d.find("POLYGON (((0 0,0 10,10 0,0 0)))"), std::string::npos) << d;

    const auto rows = table({{1, 2, "True"}, {3, 4, "False"}});
    EXPECT_FALSE(save(h, o, gdb + "/Wpts", rows, "Line"));
    EXPECT_FALSE(save(h, o, (dir / "plain" / "Tracks").string(), rows, "Line"));
    EXPECT_FALSE(save(h, o, (dir / "survey.mdb" / "Tracks").string(), rows, "Line"));
    EXPECT_FALSE(save(h, o, "", rows, "Line")); // cancelled: no box
    const auto& b = h.dialogs.boxes();
    ASSERT_EQ(b.size(), 3u);
    EXPECT_EQ(b[0].title, "Error");
    EXPECT_EQ(b[0].text, "Error # 266 was generated by FeatureClass_Open\rIncoming shapes do not match existing "
                         "feature class shape type.  Aborting. -- CArcMap.FeatureClass_Open");
    EXPECT_EQ(b[1].text, "Error # 45 was generated by Opening Geodatabase - FeatureClass_Open\rNot a Personal or "
                         "File Geodatabase -- CArcMap.FeatureClass_Open");
    EXPECT_EQ(b[2].text.rfind("Error # 429 was generated by AccessWorkspaceFactory\r", 0), 0u);
    EXPECT_EQ(dump("Wpts").find("POINT"), std::string::npos);
    EXPECT_EQ(h.app->MousePointer, 0);
}

TEST_F(Gdb, ABowTieIsStoredAsTheValidPolygonOfItsTwoTriangles)
{
    Host h;
    auto o = h.arcmap();
    // The edges 0,0-10,10 and 10,0-0,10 cross at 5,5: two triangles of 25.
    ASSERT_TRUE(save(h, o, gdb + "/Areas",
                     table({{0, 0, "True"}, {10, 10, "False"}, {10, 0, "False"}, {0, 10, "False"}}), "Polygon"));
    const std::string d = sh("ogrinfo -q -dialect SQLite -sql \"SELECT ST_IsValid(SHAPE) AS valid, "
                             "ST_Area(SHAPE) AS area, ST_NumGeometries(SHAPE) AS parts FROM Areas\" '" +
                             gdb + "' 2>&1");
    EXPECT_NE(d.find("valid (Integer) = 1"), std::string::npos) << d;
    EXPECT_NE(d.find("area (Real) = 50"), std::string::npos) << d;
    EXPECT_NE(d.find("parts (Integer) = 2"), std::string::npos) << d;
    EXPECT_EQ(d.find("Self-intersection"), std::string::npos) << d;
    // The first triangle still starts where the row's shape started.
    EXPECT_NE(dump("Areas").find("MULTIPOLYGON (((0 0,"), std::string::npos) << dump("Areas");
    EXPECT_TRUE(h.dialogs.boxes().empty());
}

TEST_F(Gdb, ACoordinateThatIsNoNumberStopsTheExportNamingTheLibrary)
{
    Host h;
    auto o = h.arcmap();
    Variant rows = table({{1, 2, "True"}, {3, 4, "False"}});
    rows.ArrayRef().at(2, 2) = Variant("east");
    EXPECT_FALSE(save(h, o, gdb + "/Survey/Tracks", rows, "Line"));
    ASSERT_EQ(h.dialogs.boxes().size(), 1u);
    EXPECT_EQ(h.dialogs.boxes()[0].text,
              "Error # 13 was generated by Trekfold_ArcMap\rType mismatch -- Trekfold_Arcmap.Save_ToGeodatabase");
}

} // namespace
} // namespace arcmaptest
