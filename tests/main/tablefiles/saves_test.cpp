// Saves that never lie: every writer of the File menu under a file-size
// limit fails with its error box and leaves the old files as they were;
// shapefile appends write in place and undo themselves when cut; sets
// named in upper case are written under their own names.
#include "tablefiles_rig.h"

#include <shapefil.h>

#include <filesystem>
#include <map>
#include <sys/stat.h>

using gpxtest::read_file;
using gpxtest::Row;
using gpxtest::write_file;
using tablefiles::FilesRig;
using tablefiles::limited;

namespace {

// Every file of the folder, by name, with its bytes.
std::map<std::string, std::string> snapshot(const std::string& dir)
{
    std::map<std::string, std::string> out;
    for (const auto& e : std::filesystem::directory_iterator(dir))
        if (e.is_regular_file()) out[e.path().filename().string()] = read_file(e.path().string());
    return out;
}

std::vector<Row> waypoints(int n, const std::string& prefix)
{
    std::vector<Row> rows;
    for (int i = 0; i < n; ++i)
        rows.push_back({{"ident", prefix + std::to_string(i)},
                        {"lat", std::to_string(45 + i * 0.001)},
                        {"long", std::to_string(-75 - i * 0.001)},
                        {"comment", "comment of " + std::to_string(i)}});
    return rows;
}

struct SetInfo {
    int count = -1;
    double min[4]{}, max[4]{};
    std::vector<std::string> idents;
};

SetInfo read_set(const std::string& shp_path, const std::string& dbf_path)
{
    SetInfo s;
    SHPHandle h = SHPOpen(shp_path.c_str(), "rb");
    DBFHandle d = DBFOpen(dbf_path.c_str(), "rb");
    if (!h || !d) return s;
    int type = 0;
    SHPGetInfo(h, &s.count, &type, s.min, s.max);
    const int ident = DBFGetFieldIndex(d, "ident");
    for (int i = 0; i < DBFGetRecordCount(d) && ident >= 0; ++i) s.idents.push_back(DBFReadStringAttribute(d, i, ident));
    if (DBFGetRecordCount(d) != s.count) s.count = -2; // the files disagree
    SHPClose(h);
    DBFClose(d);
    return s;
}

ino_t inode(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? st.st_ino : 0;
}

TEST(FailedSaves, EveryWriterShowsItsErrorAndKeepsTheOldFile)
{
    FilesRig rig;
    rig.fill("waypoint", waypoints(40, "old"));
    auto& m = rig.main;
    const std::string shp = rig.path("w.shp"), dbf = rig.path("t.dbf"), txt = rig.path("t.txt"),
                      gpx = rig.path("t.gpx"), kml = rig.path("t.kml"), low = rig.path("l.txt");
    ASSERT_TRUE(rig.tf.Shapefile_Save("Point", false, shp, false));
    ASSERT_TRUE(rig.tf.Save_DBF(dbf, false));
    ASSERT_TRUE(rig.tf.Save_TextFile(txt, ";", false));
    ASSERT_TRUE(files::GPXFile_Save(m, gpx, false));
    ASSERT_TRUE(files::KMLFile_Save(m, "point", kml, false));
    ASSERT_TRUE(files::LowranceFile_Save(m, low, false));
    const auto before = snapshot(rig.dir.path);
    rig.fill("waypoint", waypoints(400, "new"));

    struct Case {
        const char* name;
        std::vector<std::string> files; // the old files of the save
        std::function<bool(bool)> save;
        std::string box;
    };
    const std::vector<Case> cases = {
        {"shapefile", {"w.shp", "w.shx", "w.dbf"}, [&](bool a) { return rig.tf.Shapefile_Save("Point", false, shp, a); },
         "Shapefile_Save|Error 61: Disk full"},
        {"dBASE", {"t.dbf"}, [&](bool a) { return rig.tf.Save_DBF(dbf, a); }, "Save_DBF|Save_DBF Error #61 - Disk full"},
        {"text", {"t.txt"}, [&](bool a) { return rig.tf.Save_TextFile(txt, ";", a); },
         "frmMain.Save_TextFile|Error #61 - Disk full"},
        {"GPX", {"t.gpx"}, [&](bool a) { return files::GPXFile_Save(m, gpx, a); }, ""},
        {"KML", {"t.kml"}, [&](bool a) { return files::KMLFile_Save(m, "point", kml, a); },
         "KMLFile_Save|Error 61: Disk full"},
        {"Lowrance", {"l.txt"}, [&](bool a) { return files::LowranceFile_Save(m, low, a); },
         "fileio.LowranceFile_Save|Error #61 - Disk full"},
    };
    for (const auto& c : cases)
        for (bool append : {false, true}) {
            SCOPED_TRACE(std::string(c.name) + (append ? " append" : " overwrite"));
            // Every file may grow to a little past the save's largest old
            // one: each new file (a temporary, or the old one appended to)
            // is cut.
            std::uint64_t limit = 0;
            for (const auto& f : c.files) limit = std::max<std::uint64_t>(limit, before.at(f).size() + 16);
            const std::string answer = limited(rig, limit, [&] { return c.save(append); });
            if (c.box.empty()) {
                EXPECT_EQ(answer.rfind("0 ", 0), 0u) << answer;
                EXPECT_NE(answer.find("61"), std::string::npos) << answer;
                EXPECT_NE(answer.find("Disk full"), std::string::npos) << answer;
            } else {
                EXPECT_EQ(answer, "0 " + c.box);
            }
            EXPECT_TRUE(snapshot(rig.dir.path) == before); // old bytes, no temporary
        }

    // Unlimited, each save goes through.
    for (const auto& c : cases) EXPECT_TRUE(c.save(false)) << c.name;
    EXPECT_EQ(read_set(shp, rig.path("w.dbf")).count, 400);
}

TEST(ShapefileAppend, WritesInPlaceAndUndoesACutAppend)
{
    FilesRig rig;
    rig.fill("waypoint", waypoints(3, "a"));
    const std::string shp = rig.path("w.shp"), dbf = rig.path("w.dbf");
    ASSERT_TRUE(rig.tf.Shapefile_Save("Point", false, shp, false));
    const ino_t shp_ino = inode(shp), shx_ino = inode(rig.path("w.shx")), dbf_ino = inode(dbf);
    rig.fill("waypoint", {{{"ident", "far"}, {"lat", "50"}, {"long", "-60"}}, {{"ident", "low"}, {"lat", "10"}, {"long", "-80"}}});
    ASSERT_TRUE(rig.tf.Shapefile_Save("Point", false, shp, true));
    EXPECT_EQ(inode(shp), shp_ino);
    EXPECT_EQ(inode(rig.path("w.shx")), shx_ino);
    EXPECT_EQ(inode(dbf), dbf_ino);
    SetInfo s = read_set(shp, dbf);
    ASSERT_EQ(s.count, 5);
    EXPECT_EQ(s.idents, (std::vector<std::string>{"a0", "a1", "a2", "far", "low"}));
    EXPECT_DOUBLE_EQ(s.min[0], -80); // the header's bounds take the new shapes
    EXPECT_DOUBLE_EQ(s.min[1], 10);
    EXPECT_DOUBLE_EQ(s.max[0], -60);
    EXPECT_DOUBLE_EQ(s.max[1], 50);
    EXPECT_EQ(read_file(dbf).back(), '\x1a');

    // Cut after its first few records, the append is undone whole.
    const auto before = snapshot(rig.dir.path);
    rig.fill("waypoint", waypoints(20, "cut"));
    const std::uint64_t limit = read_file(dbf).size() + 3 * 1024;
    EXPECT_EQ(limited(rig, limit, [&] { return rig.tf.Shapefile_Save("Point", false, shp, true); }),
              "0 Shapefile_Save|Error 61: Disk full");
    EXPECT_TRUE(snapshot(rig.dir.path) == before);
    EXPECT_EQ(read_set(shp, dbf).count, 5);

    // Another shape type is refused before anything is written.
    rig.fill("track", {{{"lat", "1"}, {"long", "1"}, {"new_seg", "True"}}, {{"lat", "2"}, {"long", "2"}}});
    EXPECT_FALSE(rig.tf.Shapefile_Save("Line", false, shp, true));
    EXPECT_TRUE(snapshot(rig.dir.path) == before);
}

TEST(ShapefileAppend, FieldsTheSetLacksAreAddedToEveryRecord)
{
    FilesRig rig;
    const std::string shp = rig.path("few.shp"), dbf = rig.path("few.dbf");
    {
        SHPHandle h = SHPCreate(shp.c_str(), SHPT_POINT);
        DBFHandle d = DBFCreate(dbf.c_str());
        DBFAddField(d, "ident", FTString, 24, 0);
        double x = 1, y = 2;
        SHPObject* o = SHPCreateSimpleObject(SHPT_POINT, 1, &x, &y, nullptr);
        SHPWriteObject(h, -1, o);
        SHPDestroyObject(o);
        DBFWriteStringAttribute(d, 0, 0, "theirs");
        SHPClose(h);
        DBFClose(d);
    }
    rig.fill("waypoint", {{{"ident", "ours"}, {"lat", "3"}, {"long", "4"}, {"comment", "note"}}});
    const auto before = snapshot(rig.dir.path);
    EXPECT_EQ(limited(rig, read_file(dbf).size() + 8, [&] { return rig.tf.Shapefile_Save("Point", false, shp, true); }),
              "0 Shapefile_Save|Error 61: Disk full");
    EXPECT_TRUE(snapshot(rig.dir.path) == before);

    ASSERT_TRUE(rig.tf.Shapefile_Save("Point", false, shp, true));
    EXPECT_EQ(read_set(shp, dbf).idents, (std::vector<std::string>{"theirs", "ours"}));
    DBFHandle d = DBFOpen(dbf.c_str(), "rb");
    const int comment = DBFGetFieldIndex(d, "comment");
    ASSERT_GE(comment, 0);
    EXPECT_STREQ(DBFReadStringAttribute(d, 1, comment), "note");
    EXPECT_STREQ(DBFReadStringAttribute(d, 0, comment), "");
    DBFClose(d);
}

TEST(ShapefileAppend, RealTimeArraysAppendOneShapeEach)
{
    FilesRig rig;
    rig.fill("track", {});
    const std::string shp = rig.path("rt.shp"), dbf = rig.path("rt.dbf");
    std::int32_t count = -1, counter = 7;
    ASSERT_TRUE(rig.tf.Shapefile_NewEmpty("Line", shp, false, count));
    auto shape = [](double at) {
        return std::vector<std::vector<std::string>>{
            {"ident", "a", "b"}, {"x_proj", std::to_string(at), std::to_string(at + 1)}, {"y_proj", "1", "2"}};
    };
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(rig.tf.Shapefile_SaveFromArray("Line", shape(i), shp, true, "", counter));
    ASSERT_EQ(read_set(shp, dbf).count, 3);
    const auto before = snapshot(rig.dir.path);
    EXPECT_EQ(limited(rig, read_file(dbf).size(),
                      [&] { return rig.tf.Shapefile_SaveFromArray("Line", shape(9), shp, true, "", counter); }),
              "0 Shapefile_SaveFromArray|Error 61: Disk full");
    EXPECT_TRUE(snapshot(rig.dir.path) == before);
    ASSERT_TRUE(rig.tf.Shapefile_NewEmpty("Line", shp, true, count));
    EXPECT_EQ(count, 3);
    EXPECT_EQ(limited(rig, 50, [&] { return rig.tf.Shapefile_NewEmpty("Line", rig.path("new.shp"), false, count); }),
              "0 Shapefile_NewEmpty|Error 61: Disk full");
    EXPECT_FALSE(std::filesystem::exists(rig.path("new.shp")));
    EXPECT_TRUE(snapshot(rig.dir.path) == before);

    // No x_proj or y_proj column: the first column gives both coordinates.
    const std::vector<std::vector<std::string>> plain = {{"altitude", "5", "6"}, {"ident", "p", "q"}};
    ASSERT_TRUE(rig.tf.Shapefile_SaveFromArray("Line", plain, shp, true, "", counter));
    SetInfo s = read_set(shp, dbf);
    ASSERT_EQ(s.count, 4);
    EXPECT_DOUBLE_EQ(s.max[0], 6);
    EXPECT_DOUBLE_EQ(s.max[1], 6);
    EXPECT_FALSE(rig.tf.Shapefile_SaveFromArray("Blob", plain, shp, true, "", counter));
    EXPECT_EQ(rig.dialogs.boxes().back().text, "No valid shapes created in shapefile");
    EXPECT_EQ(read_set(shp, dbf).count, 4);
}

TEST(ShapefileSets, UpperCaseSetsAreWrittenUnderTheirOwnNames)
{
    FilesRig rig;
    rig.settings.SaveSetting("proj", "4326", "GEOGCS[\"WGS 84\"]");
    rig.fill("waypoint", waypoints(2, "o"));
    ASSERT_TRUE(rig.tf.Shapefile_Save("Point", false, rig.path("NEW.SHP"), false));
    for (const char* name : {"NEW.SHP", "NEW.SHX", "NEW.DBF", "NEW.PRJ"})
        EXPECT_TRUE(std::filesystem::exists(rig.path(name))) << name;
    for (const char* name : {"OLD.SHP", "OLD.SHX", "OLD.DBF"})
        std::filesystem::rename(rig.path(std::string("NEW") + (name + 3)), rig.path(name));
    std::filesystem::remove(rig.path("NEW.PRJ"));
    auto names = [&] {
        std::vector<std::string> out;
        for (const auto& [name, bytes] : snapshot(rig.dir.path))
            if (name != "trekfold.ini") out.push_back(name);
        return out;
    };
    const std::vector<std::string> set = {"OLD.DBF", "OLD.SHP", "OLD.SHX"};
    ASSERT_EQ(names(), set);

    // Overwrite, named in either case, replaces the three files.
    rig.fill("waypoint", waypoints(3, "w"));
    ASSERT_TRUE(rig.tf.Shapefile_Save("Point", false, rig.path("old.shp"), false));
    EXPECT_EQ(names(), (std::vector<std::string>{"OLD.DBF", "OLD.PRJ", "OLD.SHP", "OLD.SHX"}));
    EXPECT_EQ(read_set(rig.path("OLD.SHP"), rig.path("OLD.DBF")).idents, (std::vector<std::string>{"w0", "w1", "w2"}));
    // Append adds to them.
    rig.fill("waypoint", waypoints(1, "x"));
    ASSERT_TRUE(rig.tf.Shapefile_Save("Point", false, rig.path("OLD.SHP"), true));
    EXPECT_EQ(read_set(rig.path("OLD.SHP"), rig.path("OLD.DBF")).count, 4);
    EXPECT_EQ(names().size(), 4u);

    // A set that lacks a file: error 53 names it, nothing changes.
    for (const char* missing : {"OLD.DBF", "OLD.SHX"}) {
        const std::string kept = read_file(rig.path(missing));
        std::filesystem::remove(rig.path(missing));
        const auto before = snapshot(rig.dir.path);
        EXPECT_FALSE(rig.tf.Shapefile_Save("Point", false, rig.path("OLD.SHP"), true));
        EXPECT_EQ(rig.dialogs.boxes().back().text, "Error 53: File not found: " + rig.path(missing));
        EXPECT_TRUE(snapshot(rig.dir.path) == before);
        write_file(rig.path(missing), kept);
    }

    // Files that disagree on their record count are refused as they stand.
    write_file(rig.path("OLD.SHX"), read_file(rig.path("OLD.SHX")).substr(0, 100 + 8 * 3));
    const auto before = snapshot(rig.dir.path);
    EXPECT_FALSE(rig.tf.Shapefile_Save("Point", false, rig.path("OLD.SHP"), true));
    EXPECT_EQ(rig.dialogs.boxes().back().text, "Error 321: Invalid file format: " + rig.path("OLD.DBF"));
    EXPECT_TRUE(snapshot(rig.dir.path) == before);
}

} // namespace
