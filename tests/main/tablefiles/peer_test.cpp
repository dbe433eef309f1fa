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
