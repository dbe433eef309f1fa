// Feature classes on GDAL, checked against files ogr2ogr makes and what
// ogrinfo reads back.
#include "platform/arcobjects/workspace.h"
#include "platform/automation/vb_error.h"
#include "tests/tools/program.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

namespace ao = platform::arcobjects;
namespace fs = std::filesystem;

struct Folder {
    std::string path;
    Folder()
    {
        char dir[] = "/tmp/arcobjects-data-XXXXXX";
        path = ::mkdtemp(dir) ? dir : "/tmp";
    }
    ~Folder() { fs::remove_all(path); }
    std::string ogr(const std::string& args) const
    {
        auto r = tools_test::Run_Program("sh -c 'cd " + path + " && " + args + "'");
        EXPECT_EQ(r.status, 0) << args << "\n" << r.err;
        return r.out;
    }
};

platform::VbError error_of(const std::function<void()>& f)
{
    try {
        f();
    } catch (const platform::VbError& e) {
        return e;
    }
    return platform::VbError(0, "", "");
}

ao::GeometryRef line(std::vector<ao::XY> pts)
{
    auto g = ao::Geometry::Make(ao::GeometryType::Polyline);
    g->parts.push_back(std::move(pts));
    return g;
}

} // namespace

TEST(FeatureData, GeodatabaseClassInAFeatureDatasetTakesLaunderedFieldsAndBufferedInserts)
{
    Folder f;
    std::ofstream(f.path + "/e.csv") << "ident,note\n";
    f.ogr("ogr2ogr -f OpenFileGDB field.gdb e.csv -nln Wpts -nlt POINT -a_srs EPSG:26915 && "
          "ogr2ogr -f OpenFileGDB -update field.gdb e.csv -nln Tracks -nlt MULTILINESTRING -a_srs EPSG:26915 "
          "-lco FEATURE_DATASET=Survey");
    auto tracks = ao::Open_Feature_Class(f.path + "/field.gdb/Survey/Tracks");
    EXPECT_EQ(tracks->ShapeType(), ao::GeometryType::Polyline);
    EXPECT_EQ(tracks->FeatureDataset(), "Survey");
    EXPECT_EQ(tracks->SpatialReference()->FactoryCode(), 26915);
    EXPECT_EQ(tracks->Fields()[0].Type, ao::esriFieldTypeOID);
    EXPECT_EQ(tracks->Fields()[1].Type, ao::esriFieldTypeGeometry);
    EXPECT_EQ(ao::Open_Feature_Class(f.path + "/field.gdb/wpts")->ShapeType(), ao::GeometryType::Point);

    tracks->AddField({"date", ao::esriFieldTypeString});
    tracks->AddField({"alt", ao::esriFieldTypeDouble, 0, 15, 3});
    const int date = tracks->FindField("DATE");
    ASSERT_GE(date, 2);
    EXPECT_EQ(tracks->Fields()[date].Name, "date");
    EXPECT_EQ(tracks->Fields()[date].StoredName, "date_");
    EXPECT_EQ(error_of([&] { tracks->AddField({"date", ao::esriFieldTypeString}); }).source, "AddField");
    {
        auto cursor = tracks->Insert(true);
        auto buffer = cursor->CreateFeatureBuffer();
        for (int i = 0; i < 2; ++i) {
            buffer->Shape = line({{460000.0 + i, 5010000}, {460010, 5010010}, {460020, 5010000}});
            buffer->set_Value(date, "2024-0" + std::to_string(i + 1));
            buffer->set_Value(tracks->FindField("alt"), 12.5 + i);
            EXPECT_EQ(cursor->InsertFeature(*buffer), -1);
        }
        EXPECT_EQ(tracks->FeatureCount(), 0); // buffered until released
    }
    EXPECT_EQ(tracks->FeatureCount(), 2);
    tracks.reset();
    const std::string info = f.ogr("ogrinfo -al -q field.gdb Tracks");
    EXPECT_NE(info.find("date_ (String) = 2024-02"), std::string::npos) << info;
    EXPECT_NE(info.find("alt (Real) = 13.5"), std::string::npos) << info;
    EXPECT_NE(info.find("MULTILINESTRING ((460001 5010000,460010 5010010,460020 5010000))"), std::string::npos);
    // A class opened afresh finds the laundered field by the name it was given.
    EXPECT_GE(ao::Open_Feature_Class(f.path + "/field.gdb/Tracks")->FindField("date"), 2);

    const auto mdb = error_of([&] { ao::Open_Feature_Class(f.path + "/survey.mdb/Tracks"); });
    EXPECT_EQ(mdb.number, 429);
    EXPECT_EQ(mdb.source, "AccessWorkspaceFactory");
    EXPECT_EQ(mdb.description, "Personal geodatabases (.mdb) cannot be opened here; use a file geodatabase (.gdb)");
    EXPECT_EQ(error_of([&] { ao::Open_Feature_Class(f.path + "/field.gdb/Nothing"); }).number, 5);
}

TEST(FeatureData, ShapefileIndexCursorsAndRings)
{
    Folder f;
    std::ofstream(f.path + "/p.csv") << "name,WKT\na,\"POINT (1 2)\"\nb,\"POINT (3 4)\"\nc,\"POINT (5 6)\"\n";
    f.ogr("ogr2ogr p.shp p.csv -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO -a_srs EPSG:26915");
    auto ws = ao::ShapefileWorkspaceFactory::OpenFromFile(f.path + "/");
    EXPECT_EQ(ws->FeatureClassNames(), std::vector<std::string>{"p.shp"});
    auto p = ws->OpenFeatureClass("P");
    EXPECT_EQ(p->AliasName(), "p");
    EXPECT_EQ(p->DatasetName(), f.path + "/p.shp");
    EXPECT_EQ(p->OIDFieldName(), "FID");
    EXPECT_EQ(p->ShapeFieldName(), "Shape");

    EXPECT_EQ(error_of([&] { p->AddIndex({"idx", {"name"}}); }).number, 5);
    p->AddIndex({"idx_spatial", {"Shape"}});
    EXPECT_TRUE(fs::exists(f.path + "/p.qix"));
    ASSERT_EQ(ws->OpenFeatureClass("p.shp")->Indexes().size(), 1u);
    EXPECT_EQ(ws->OpenFeatureClass("p.shp")->Indexes()[0].Name, "idx_spatial");
    p->DeleteIndex("idx_spatial");
    EXPECT_FALSE(fs::exists(f.path + "/p.qix"));
    EXPECT_TRUE(p->Indexes().empty());

    p->AddField({"longfieldname", ao::esriFieldTypeDouble, 0, 15, 3}); // stored in ten characters
    const int measure = p->FindField("longfieldname");
    ASSERT_EQ(measure, 3);
    {
        auto update = p->Update();
        while (auto feature = update->NextFeature()) {
            feature->set_Value(measure, 100.0 + static_cast<double>(feature->OID));
            update->UpdateFeature(*feature);
        }
    }
    const std::vector<std::int64_t> one{1};
    auto search = p->Search(&one);
    auto b = search->NextFeature();
    ASSERT_TRUE(b);
    EXPECT_EQ(b->Value(2).ToString(), "b");
    EXPECT_EQ(b->Shape->Point(), (ao::XY{3, 4}));
    EXPECT_FALSE(search->NextFeature());
    EXPECT_EQ(error_of([&] { search->UpdateFeature(*b); }).number, 5);
    EXPECT_NE(f.ogr("ogrinfo -al -q p.shp").find("longfieldn (Real) = 102.000"), std::string::npos);

    // A counter-clockwise ring is stored and read back as a clockwise exterior.
    std::ofstream(f.path + "/a.csv") << "id,WKT\n1,\"POLYGON ((0 0,0 10,10 10,10 0,0 0))\"\n";
    f.ogr("ogr2ogr a.shp a.csv -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO -nlt POLYGON");
    auto a = ws->OpenFeatureClass("a");
    {
        auto insert = a->Insert(false);
        auto buffer = insert->CreateFeatureBuffer();
        buffer->Shape->parts.push_back({{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}});
        EXPECT_EQ(insert->InsertFeature(*buffer), 1);
    }
    auto ring = a->GetFeature(1)->Shape->parts.at(0);
    EXPECT_EQ(ring.front(), ring.back());
    EXPECT_EQ(ring[1], (ao::XY{0, 10}));
    EXPECT_EQ(error_of([] { ao::ShapefileWorkspaceFactory::OpenFromFile("/nonexistent/folder"); }).number, 5);
}

// Another program saves the shapefile anew (temporary files renamed over)
// while a class on it is held: the next open reads and writes the new files.
TEST(FeatureData, AShapefileReplacedByAnotherWriterIsOpenedAnew)
{
    Folder f;
    std::ofstream(f.path + "/s.csv") << "name,WKT\na,\"POINT (1 2)\"\n";
    f.ogr("ogr2ogr s.shp s.csv -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO");
    auto held = ao::Open_Feature_Class(f.path + "/s.shp");
    held->AddField({"Area", ao::esriFieldTypeDouble, 0, 15, 3});
    EXPECT_EQ(ao::Open_Feature_Class(f.path + "/s.shp")->FindField("Area"), 3); // GDAL's own write: the same data

    std::ofstream(f.path + "/t.csv") << "name,WKT\nb,\"POINT (3 4)\"\nc,\"POINT (5 6)\"\n";
    f.ogr("mkdir new && ogr2ogr new/s.shp t.csv -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO && "
          "for e in shp shx dbf; do mv new/s.$e s.$e; done");
    auto fresh = ao::Open_Feature_Class(f.path + "/s.shp");
    EXPECT_EQ(fresh->FeatureCount(), 2);
    EXPECT_EQ(fresh->FindField("Area"), -1);
    fresh->AddField({"Area", ao::esriFieldTypeDouble, 0, 15, 3});
    EXPECT_NE(f.ogr("ogrinfo -so -al s.shp").find("Area: Real (15.3)"), std::string::npos);
    EXPECT_EQ(held->FeatureCount(), 1); // the holder keeps what it opened
}

TEST(FeatureData, DatesAndMultipointsRoundTrip)
{
    Folder f;
    std::ofstream(f.path + "/m.csv") << "id,WKT\n1,\"MULTIPOINT ((1 2),(3 4))\"\n";
    f.ogr("ogr2ogr -f OpenFileGDB m.gdb m.csv -nln M -nlt MULTIPOINT -oo GEOM_POSSIBLE_NAMES=WKT "
          "-oo KEEP_GEOM_COLUMNS=NO");
    auto m = ao::Open_Feature_Class(f.path + "/m.gdb/M");
    EXPECT_EQ(m->ShapeType(), ao::GeometryType::Multipoint);
    m->AddField({"when", ao::esriFieldTypeDate});
    const int when = m->FindField("when");
    {
        auto update = m->Update();
        auto feature = update->NextFeature();
        ASSERT_TRUE(feature);
        EXPECT_EQ(feature->Shape->parts.at(0), (std::vector<ao::XY>{{1, 2}, {3, 4}}));
        feature->set_Value(when, platform::DateValue{45366.5208333333}); // 2024-03-15 12:30
        feature->Shape->parts[0].push_back({5, 6});
        update->UpdateFeature(*feature);
    }
    auto back = m->GetFeature(1);
    EXPECT_NEAR(back->Value(when).ToDouble(), 45366.5208333333, 1e-6);
    EXPECT_EQ(back->Shape->PointCount(), 3u);
    m.reset();
    back.reset();
    EXPECT_NE(f.ogr("ogrinfo -al -q m.gdb").find("when (DateTime) = 2024/03/15 12:30:00"), std::string::npos);
}

TEST(FeatureData, ReadOnlyDataIsShownAndRefusesWrites)
{
    if (::geteuid() == 0) GTEST_SKIP() << "file modes do not bind root";
    Folder f;
    std::ofstream(f.path + "/p.csv") << "name,WKT\na,\"POINT (1 2)\"\n";
    f.ogr("ogr2ogr p.shp p.csv -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO && chmod a-w p.*");
    auto p = ao::Open_Feature_Class(f.path + "/p.shp");
    EXPECT_EQ(p->FeatureCount(), 1);
    EXPECT_EQ(error_of([&] { p->AddField({"x", ao::esriFieldTypeDouble}); }).source, "AddField");
    auto insert = p->Insert(false);
    EXPECT_EQ(error_of([&] { insert->InsertFeature(*insert->CreateFeatureBuffer()); }).number, 5);
}
