// Peers read what the table files write, and write what they load:
// ogrinfo, ogr2ogr and shpdump.
#include "tablefiles_rig.h"

#include <cstdio>

using gpxtest::write_file;
using tablefiles::FilesRig;

namespace {

std::string run(const std::string& command)
{
    std::string out;
    FILE* p = ::popen((command + " 2>&1").c_str(), "r");
    if (!p) return out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    ::pclose(p);
    return out;
}

bool has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

TEST(TableFilesPeer, OgrinfoReadsShapefileAndDbf)
{
    FilesRig rig;
    rig.fill("waypoint", {{{"ident", "A;1"}, {"lat", "45.12345678"}, {"long", "-75.25"}, {"comment", "say \"hi\", ok"}}});
    ASSERT_TRUE(rig.tf.Shapefile_Save("Point", false, rig.path("w.shp"), false));
    ASSERT_TRUE(rig.tf.Save_DBF(rig.path("t.dbf"), false));
    const std::string shp = run("ogrinfo -al " + rig.path("w.shp"));
    EXPECT_TRUE(has(shp, "ident: String (24.0)")) << shp;
    EXPECT_TRUE(has(shp, "lat: Real (18.8)")) << shp;
    EXPECT_TRUE(has(shp, "comment: String (50.0)")) << shp;
    EXPECT_TRUE(has(shp, "filename: String (254.0)")) << shp;
    EXPECT_TRUE(has(shp, "ident (String) = A;1")) << shp;
    EXPECT_TRUE(has(shp, "comment (String) = say \"hi\", ok")) << shp;
    EXPECT_TRUE(has(shp, "POINT (-75.25 45.12345678)")) << shp;
    const std::string dbf = run("ogrinfo -al " + rig.path("t.dbf"));
    EXPECT_TRUE(has(dbf, "IDENT: String (24.0)")) << dbf;
    EXPECT_TRUE(has(dbf, "LAT (Real) = 45.12345678")) << dbf;
}

TEST(TableFilesPeer, AProjectedSaveWithoutAKeptTextGetsPROJsEsriText)
{
    // The state the default projection accepted at start-up leaves: a code
    // and no text kept under it.
    FilesRig rig;
    rig.settings.SaveSetting("proj", "proj", "26915");
    rig.settings.SaveSetting("proj", "projfile", "epsg");
    rig.fill("waypoint", {{{"ident", "A"}, {"lat", "45.5"}, {"long", "-93.25"}, {"x_proj", "480493.5"},
                           {"y_proj", "5038880.2"}}});
    ASSERT_TRUE(rig.tf.Shapefile_Save("Point", true, rig.path("w.shp"), false));
    const std::string esri = run("projinfo -o WKT1:ESRI --single-line -q EPSG:26915");
    ASSERT_TRUE(has(esri, "PROJCS[\"NAD_1983_UTM_Zone_15N\"")) << esri;
    EXPECT_EQ(gpxtest::read_file(rig.path("w.prj")), esri.substr(0, esri.find_last_not_of("\r\n") + 1) + "\r\n");
    EXPECT_EQ(rig.settings.GetSetting("proj", "26915"), esri.substr(0, esri.find_last_not_of("\r\n") + 1));
    const std::string info = run("ogrinfo -so -al " + rig.path("w.shp"));
    EXPECT_TRUE(has(info, "NAD83 / UTM zone 15N")) << info;
}

TEST(TableFilesPeer, ValidRingsAndPeerFilesLoad)
{
    FilesRig rig;
    rig.fill("track", {{{"lat", "0"}, {"long", "0"}, {"new_seg", "True"}},
                       {{"lat", "1"}, {"long", "0"}},
                       {{"lat", "1"}, {"long", "1"}}});
    ASSERT_TRUE(rig.tf.Shapefile_Save("Polygon", false, rig.path("p.shp"), false));
    EXPECT_TRUE(has(run("shpdump -validate " + rig.path("p.shp")), "0 object has invalid ring orderings"));

    write_file(rig.path("pts.csv"), "ident,comment,y_proj,x_proj\n\"a,b\",\"x \"\"y\"\"\",45.5,-93.25\n");
    ASSERT_EQ(run("ogr2ogr -f 'ESRI Shapefile' " + rig.path("pts.shp") + " " + rig.path("pts.csv") +
                  " -oo X_POSSIBLE_NAMES=x_proj -oo Y_POSSIBLE_NAMES=y_proj"), "");
    ASSERT_TRUE(rig.tf.Shapefile_Load(rig.path("pts.shp")));
    EXPECT_EQ(rig.cell(1, "ident"), "a,b");
    EXPECT_EQ(rig.cell(1, "x_proj"), "-93.25000000");
    ASSERT_EQ(run("ogr2ogr -f CSV " + rig.path("back.csv") + " " + rig.path("pts.shp")), "");
    rig.answer = [](files::frmFields& f) { f.cmdOK_Click(); }; // lat and long left out
    ASSERT_TRUE(rig.tf.Open_Textfile(rig.path("back.csv")));
    EXPECT_EQ(rig.cell(1, "comment"), "x \"y\"");
}

TEST(TableFilesPeer, PeersReadEverySaveAndTheAppendedSets)
{
    FilesRig rig;
    rig.fill("waypoint", {{{"ident", "A"}, {"lat", "45.5"}, {"long", "-93.25"}, {"comment", "first"}}});
    const std::string shp = rig.path("OLD.SHP");
    ASSERT_TRUE(rig.tf.Shapefile_Save("Point", false, shp, false));
    ASSERT_TRUE(rig.tf.Save_DBF(rig.path("t.dbf"), false));
    rig.fill("waypoint", {{{"ident", "B"}, {"lat", "46.5"}, {"long", "-94.25"}, {"comment", "second"}}});
    ASSERT_TRUE(rig.tf.Shapefile_Save("Point", false, rig.path("old.shp"), true)); // in place, into OLD.*
    ASSERT_TRUE(rig.tf.Save_DBF(rig.path("t.dbf"), true));
    ASSERT_TRUE(files::GPXFile_Save(rig.main, rig.path("t.gpx"), false));
    ASSERT_TRUE(files::KMLFile_Save(rig.main, "point", rig.path("t.kml"), false));

    const std::string info = run("ogrinfo -al " + shp);
    EXPECT_TRUE(has(info, "Feature Count: 2")) << info;
    EXPECT_TRUE(has(info, "Extent: (-94.250000, 45.500000) - (-93.250000, 46.500000)")) << info;
    EXPECT_TRUE(has(info, "ident (String) = B")) << info;
    EXPECT_TRUE(has(info, "POINT (-94.25 46.5)")) << info;
    EXPECT_FALSE(has(info, "ERROR")) << info;
    const std::string valid = run("shpdump -validate " + shp);
    EXPECT_TRUE(has(valid, "Shape:1")) << valid;
    for (const std::string& table : {rig.path("OLD.DBF"), rig.path("t.dbf")}) {
        const std::string dump = run("dbfdump " + table);
        EXPECT_TRUE(has(dump, "first")) << dump;
        EXPECT_TRUE(has(dump, "second")) << dump;
    }
    for (const char* xml : {"t.gpx", "t.kml"}) EXPECT_EQ(run("xmllint --noout " + rig.path(xml)), "") << xml;
    ASSERT_TRUE(rig.tf.Save_TextFile(rig.path("t.txt"), ";", false));
    const std::string text = run("ogrinfo -al CSV:" + rig.path("t.txt"));
    EXPECT_TRUE(has(text, "Feature Count: 1")) << text;
    EXPECT_TRUE(has(text, "comment (String) = second")) << text;

    // A set GDAL wrote takes the appended shape and the fields it lacked.
    write_file(rig.path("g.csv"), "ident,y_proj,x_proj\ng1,45.5,-93.25\n");
    ASSERT_EQ(run("ogr2ogr -f 'ESRI Shapefile' " + rig.path("g.shp") + " " + rig.path("g.csv") +
                  " -oo X_POSSIBLE_NAMES=x_proj -oo Y_POSSIBLE_NAMES=y_proj"), "");
    ASSERT_TRUE(rig.tf.Shapefile_Save("Point", false, rig.path("g.shp"), true));
    const std::string g = run("ogrinfo -al " + rig.path("g.shp"));
    EXPECT_TRUE(has(g, "Feature Count: 2")) << g;
    EXPECT_TRUE(has(g, "ident (String) = g1")) << g;
    EXPECT_TRUE(has(g, "comment (String) = second")) << g;
    EXPECT_TRUE(has(g, "POINT (-94.25 46.5)")) << g;
    EXPECT_FALSE(has(g, "ERROR")) << g;
}

TEST(TableFilesPeer, NullNumbersOfGdalLoadEmpty)
{
    FilesRig rig;
    write_file(rig.path("n.csv"), "ident,comment,lat,long,y_proj,x_proj,altitude\nA,c,45.5,-93.25,,,\n");
    write_file(rig.path("n.csvt"), "String,String,Real,Real,Real,Real,Real\n");
    ASSERT_EQ(run("ogr2ogr -f 'ESRI Shapefile' " + rig.path("n.shp") + " " + rig.path("n.csv") +
                  " -oo X_POSSIBLE_NAMES=long -oo Y_POSSIBLE_NAMES=lat"), "");
    ASSERT_TRUE(has(gpxtest::read_file(rig.path("n.dbf")), "*****"));
    for (int road = 0; road < 2; ++road) {
        ASSERT_TRUE(road == 0 ? rig.tf.Shapefile_Load(rig.path("n.shp")) : rig.tf.Open_DBF(rig.path("n.dbf")));
        EXPECT_EQ(rig.cell(1, "ident"), "A") << road;
        EXPECT_DOUBLE_EQ(std::stod(rig.cell(1, "lat")), 45.5) << road;
        EXPECT_EQ(rig.cell(1, "altitude"), "") << road;
    }
    EXPECT_EQ(rig.cell(1, "y_proj"), ""); // the dBASE load keeps them empty
}

} // namespace
