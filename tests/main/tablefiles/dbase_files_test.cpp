// dBASE tables of the records table, .prj files, shape type words and
// world files.
#include "tablefiles_rig.h"

#include "main/files/dbase.h"
#include "tests/support/served_hotlinking.h"

#include <cstdlib>
#include <filesystem>

using gpxtest::read_file;
using gpxtest::write_file;
using tablefiles::FilesRig;

namespace {

const std::vector<gpxtest::Row> kRows = {
    {{"ident", "A;1"}, {"lat", "45.12345678"}, {"long", "-75.25"}, {"comment", "say \"hi\", ok"}},
    {{"ident", "B"}, {"lat", "46"}, {"long", "-75"}, {"comment", "x"}},
    {{"ident", "C"}, {"lat", "47"}, {"long", "-74"}, {"comment", "y"}, {"altitude", ""}}};

TEST(DbfTable, SaveAndLoadKeepEveryValue)
{
    FilesRig rig;
    rig.fill("waypoint", kRows);
    std::vector<std::string> status;
    rig.main.on_changed = [&](unsigned) { status.push_back(rig.main.StatusBar1[1]); };
    std::string file = rig.path("w.dbf");
    ASSERT_TRUE(rig.tf.Save_DBF(file, false));
    EXPECT_NE(std::find(status.begin(), status.end(), "Saving records: 3"), status.end());
    EXPECT_EQ(rig.main.StatusBar1[1], "");
    files::DBase db(rig.dialogs);
    auto f = db.DBF_Open(file);
    auto fields = db.DBF_GetFields(f);
    ASSERT_TRUE(fields);
    EXPECT_EQ((*fields)[1], "IDENT,C,24,0");
    EXPECT_EQ((*fields)[2], "LAT,N,18,8");
    EXPECT_EQ(db.DBF_GetRecordCount(f), 3);
    db.DBF_Close(f);

    rig.table().Table_Clear();
    ASSERT_TRUE(rig.tf.Open_DBF(file));
    ASSERT_EQ(rig.rows(), 3);
    EXPECT_EQ(rig.cell(1, "ident"), "A;1");
    EXPECT_EQ(rig.cell(1, "comment"), "say \"hi\", ok");
    EXPECT_DOUBLE_EQ(std::stod(rig.cell(1, "lat")), 45.12345678);
    EXPECT_EQ(std::stod(rig.cell(3, "altitude")), 0); // a null number comes back as 0
    EXPECT_EQ(rig.main.StatusBar1[1], "Loaded 3 records");
    EXPECT_EQ(rig.main.state().record_counter, 3);

    // Appending adds rows and no field.
    ASSERT_TRUE(rig.tf.Save_DBF(file, true));
    f = db.DBF_Open(file);
    EXPECT_EQ(db.DBF_GetRecordCount(f), 6);
    EXPECT_EQ(db.DBF_GetFields(f)->size(), fields->size());
    db.DBF_Close(f);
}

TEST(DbfTable, TypesAndMappingFailures)
{
    FilesRig rig;
    files::DBase db(rig.dialogs);
    std::string file = rig.path("t.dbf");
    auto f = db.DBF_Create(file, {"TYPE,C,10", "IDENT,C,10", "LAT,N,10,4", "LONG,N,10,4", "Y_PROJ,N,5", "X_PROJ,N,5"});
    for (const char* t : {"TRACK ", "track"}) {
        auto r = db.DBF_AddRecord(f);
        db.DBF_PutRecord(f, "TYPE", r, t), db.DBF_PutRecord(f, "IDENT", r, "a;b"), db.DBF_PutRecord(f, "LAT", r, "1"),
            db.DBF_PutRecord(f, "LONG", r, "2");
    }
    db.DBF_Close(f);
    ASSERT_TRUE(rig.tf.Open_DBF(file));
    EXPECT_EQ(rig.main.state().record_type, "track");
    EXPECT_EQ(rig.cell(2, "ident"), "a;b");

    // Unmapped fields: the user cancels.
    f = db.DBF_Create(file, {"NAME,C,10"});
    db.DBF_AddRecord(f);
    db.DBF_Close(f);
    EXPECT_FALSE(rig.tf.Open_DBF(file));
    EXPECT_EQ(rig.boxes_titled("Required fields not found"), 1);
    EXPECT_EQ(rig.dialogs.boxes().back().text, "Open_DBF Error #515: Open_DBF");

    // More records claimed than held; a missing file is not created.
    std::string bytes = read_file(file);
    bytes[4] = 9;
    write_file(file, bytes);
    EXPECT_FALSE(rig.tf.Open_DBF(file));
    EXPECT_EQ(rig.dialogs.boxes().back().text, "Open_DBF Error #514: Open_DBF");
    EXPECT_EQ(rig.dialogs.boxes().back().title, "Error Opening Table");
    EXPECT_EQ(rig.main.state().record_counter, 0);
    EXPECT_FALSE(rig.tf.Open_DBF(rig.path("none.dbf")));
    EXPECT_FALSE(std::filesystem::exists(rig.path("none.dbf")));
}

TEST(DbfTable, FailedSaveLeavesThePreviousTable)
{
    FilesRig rig;
    rig.fill("waypoint", kRows);
    std::string file = rig.path("w.dbf");
    ASSERT_TRUE(rig.tf.Save_DBF(file, false));
    const std::string before = read_file(file);
    EXPECT_EQ(tablefiles::limited(rig, before.size() + 10, [&] { return rig.tf.Save_DBF(file, true); }),
              "0 Save_DBF|Save_DBF Error #61 - Disk full");
    EXPECT_EQ(read_file(file), before);
    // The new table's header fits, its records (held back until the flush) do not.
    EXPECT_EQ(tablefiles::limited(rig, before.size() - 10, [&] { return rig.tf.Save_DBF(file, false); }),
              "0 Save_DBF|Save_DBF Error #61 - Disk full");
    EXPECT_EQ(read_file(file), before);
    for (const auto& e : std::filesystem::directory_iterator(rig.dir.path))
        EXPECT_EQ(e.path().filename().string().find(".trekfold-save"), std::string::npos);
}

// Numbers a table of another program left blank or null ("*") load empty,
// the projected columns included; the blank zero a dBASE save writes for an
// empty number stays a number.
TEST(DbfTable, BlankAndNullNumbersLoadEmpty)
{
    FilesRig rig;
    files::DBase db(rig.dialogs);
    const std::string file = rig.path("b.dbf");
    auto f = db.DBF_Create(file, {"IDENT,C,10", "COMMENT,C,10", "LAT,N,12,6", "LONG,N,12,6", "Y_PROJ,N,12,2",
                                  "X_PROJ,F,12,2", "ALTITUDE,N,12,2"});
    auto r = db.DBF_AddRecord(f);
    db.DBF_PutRecord(f, "IDENT", r, "B"), db.DBF_PutRecord(f, "LAT", r, "46"), db.DBF_PutRecord(f, "LONG", r, "-94");
    db.DBF_Close(f);
    std::string bytes = read_file(file);
    const std::size_t y_at = 32 * 7 + 33 + 1 + 10 + 10 + 12 + 12;
    ASSERT_EQ(bytes.substr(y_at, 24), "        0.00        0.00");
    bytes.replace(y_at, 24, std::string(12, ' ') + std::string(12, '*'));
    write_file(file, bytes);
    ASSERT_TRUE(rig.tf.Open_DBF(file));
    EXPECT_EQ(rig.cell(1, "ident"), "B");
    EXPECT_EQ(rig.cell(1, "y_proj"), "");
    EXPECT_EQ(rig.cell(1, "x_proj"), "");
    EXPECT_EQ(rig.cell(1, "altitude"), "0.00");
}

// A field aliased beyond 10 characters is stored under the first 10 of its
// Windows-1252 name and found by them again, as a dBASE table and as a
// shapefile: a required field then needs no "Identify Fields".
TEST(DbfTable, LongAliasesComeBackByTheirStoredNames)
{
    FilesRig rig;
    rig.settings.SaveSetting("fields", "waypoint", platform::vb::Replace(flxgrd::Fields_DefaultList("waypoint"),
                                                                         "comment:1:comment", "comment:1:Straßenname"));
    for (const bool shp : {true, false}) {
        SCOPED_TRACE(shp);
        rig.fill("waypoint", {{{"ident", "A"}, {"lat", "45"}, {"long", "-93"}, {"comment", "Hauptstraße"}}});
        const std::string file = rig.path(shp ? "a.shp" : "a.dbf");
        ASSERT_TRUE(shp ? rig.tf.Shapefile_Save("Point", false, file, false) : rig.tf.Save_DBF(file, false));
        const std::string stored = shp ? "Stra\xDF" "ennam" : "STRA\xDF" "ENNAM";
        EXPECT_NE(read_file(rig.path("a.dbf")).substr(0, 32 * 40).find(stored + '\0'), std::string::npos);
        rig.table().Table_Clear();
        ASSERT_TRUE(shp ? rig.tf.Shapefile_Load(file) : rig.tf.Open_DBF(file));
        EXPECT_EQ(rig.fields_shown, 0);
        EXPECT_EQ(rig.cell(1, "comment"), "Hauptstraße");
    }
    EXPECT_EQ(files::Field_StoredName("Straßenname"), "Straßennam");
}

TEST(Projection, PrjFromTheStoredText)
{
    FilesRig rig;
    // No text kept under a code: PROJ's ESRI text for it, then kept.
    rig.tf.WritePRJ(rig.path("a"), false);
    const std::string wgs84 = read_file(rig.path("a.prj"));
    EXPECT_EQ(wgs84.rfind("GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\"", 0), 0u) << wgs84;
    EXPECT_EQ(rig.settings.GetSetting("proj", "4326") + "\r\n", wgs84);
    // A code PROJ does not know either: no file, nothing kept.
    rig.settings.SaveSetting("proj", "proj", "999999");
    rig.tf.WritePRJ(rig.path("none"), true);
    EXPECT_FALSE(std::filesystem::exists(rig.path("none.prj")));
    EXPECT_EQ(rig.settings.GetSetting("proj", "999999", "absent"), "absent");
    rig.settings.SaveSetting("proj", "4326", "GEOGCS[\"WGS 84\"]");
    rig.settings.SaveSetting("proj", "proj", "26915");
    rig.settings.SaveSetting("proj", "26915", "PROJCS[\"UTM 15\"]");
    rig.tf.WritePRJ(rig.path("a"), false);
    EXPECT_EQ(read_file(rig.path("a.prj")), "GEOGCS[\"WGS 84\"]\r\n");
    rig.tf.WritePRJ(rig.path("b"), true);
    EXPECT_EQ(read_file(rig.path("b.prj")), "PROJCS[\"UTM 15\"]\r\n");
    // The same text again leaves the file as it is (not replaced).
    const auto inode = [&] { struct stat st{}; ::stat(rig.path("b.prj").c_str(), &st); return st.st_ino; };
    const auto first = inode();
    rig.tf.WritePRJ(rig.path("b"), true);
    EXPECT_EQ(inode(), first);
    rig.settings.SaveSetting("proj", "projfile", "ArcMap");
    rig.settings.SaveSetting("proj", "am_proj", "AM");
    rig.tf.WritePRJ(rig.path("b"), true);
    EXPECT_EQ(read_file(rig.path("b.prj")), "AM\r\n");
    EXPECT_EQ(rig.tf.get_ShapeFileType(rig.path("missing.shp")), "");
}

TEST(WorldFiles, SixLinesBesideEachPhoto)
{
    EXPECT_EQ(files::WorldFile_Name("/p/photo.jpeg"), "/p/photo.jgw");
    EXPECT_EQ(files::WorldFile_Name("/p/DSCN0010.JPG"), "/p/DSCN0010.JGW");
    EXPECT_EQ(files::WorldFile_Name("/p/a.tif"), "/p/a.tfw");

    FilesRig rig;
    rig.main.set_hotlink(std::make_unique<test_support::ServedHotlinking>(rig.dialogs));
    // A 640 x 480 camera photo; a PPM the imaging server does not identify.
    std::string photo = rig.path("photo.jpg"), ppm = rig.path("photo.ppm");
    std::filesystem::copy_file(TREKFOLD_TESTDATA_DIR "/exif/DSCN0010.jpg", photo);
    write_file(ppm, "P6\n400 300\n255\n" + std::string(400 * 300 * 3, '\x7f'));
    rig.fill("waypoint", {{{"filename", photo}, {"x_proj", "1000"}, {"y_proj", "5000"}},
                          {{"filename", ppm}, {"x_proj", "1"}, {"y_proj", "1"}},
                          {{"filename", rig.path("gone.jpg")}, {"x_proj", "1"}, {"y_proj", "1"}},
                          {{"filename", ""}}});
    files::frmWorldFiles& d = rig.tf.world_files_dialog();
    EXPECT_EQ(d.cboLocation_items.size(), 9u);
    d.tbxWidth_Change("abc");
    EXPECT_FALSE(d.cmdOK_Enabled);
    d.tbxWidth_Change("100");
    ASSERT_TRUE(d.cmdOK_Enabled);
    rig.tf.frmWorldFiles_cmdOK_Click();
    EXPECT_EQ(read_file(rig.path("photo.jgw")), "0.15625\r\n0\r\n0\r\n-0.15625\r\n950\r\n5037.5\r\n");
    EXPECT_FALSE(std::filesystem::exists(rig.path("photo.pmw")));
    ASSERT_EQ(rig.dialogs.boxes().size(), 1u); // the unknown kind shows no box
    EXPECT_EQ(rig.dialogs.boxes().back().text, "World files created successfully for 1 records.");
    rig.tf.WorldFiles_Write("100", "Southwest");
    EXPECT_EQ(read_file(rig.path("photo.jgw")), "0.15625\r\n0\r\n0\r\n-0.15625\r\n900\r\n5000\r\n");

    int w = 0, h = 0;
    write_file(rig.path("bad.jpg"), "not an image");
    EXPECT_FALSE(rig.main.hotlink().getImageDimensions(rig.path("bad.jpg"), w, h));
    EXPECT_EQ(rig.dialogs.boxes().size(), 2u);
}

TEST(WorldFiles, TiffImagesAreMeasuredToo)
{
    if (std::system("command -v convert >/dev/null 2>&1") != 0) GTEST_SKIP() << "convert is not installed";
    FilesRig rig;
    rig.main.set_hotlink(std::make_unique<test_support::ServedHotlinking>(rig.dialogs));
    const std::string tiff = rig.path("wide.tif");
    ASSERT_EQ(std::system(("convert -size 200x50 xc:white '" + tiff + "'").c_str()), 0);
    rig.fill("waypoint", {{{"filename", tiff}, {"x_proj", "1000"}, {"y_proj", "5000"}}});
    rig.tf.WorldFiles_Write("100", "Center");
    EXPECT_EQ(read_file(rig.path("wide.tfw")), "0.5\r\n0\r\n0\r\n-0.5\r\n950\r\n5012.5\r\n");
}

} // namespace
