// KML and Lowrance files against other programs: xmllint finds our KML well
// formed, gpsbabel and ogrinfo read the names and coordinates we wrote, and
// gpsbabel's own files load.
#include "tests/main/files/gpx_rig.h"

#include <algorithm>
#include <cstdlib>

using gpxtest::GpxRig;
using gpxtest::read_file;

namespace {

int run(const std::string& command)
{
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// What gpsbabel makes of a file, as unicsv text.
std::string babel(GpxRig& rig, const std::string& format, const std::string& file)
{
    std::string out = rig.path("babel.csv");
    EXPECT_EQ(run("gpsbabel -i " + format + " -f '" + file + "' -o unicsv -F '" + out + "'"), 0);
    return read_file(out);
}

void fill_points(GpxRig& rig)
{
    rig.fill("waypoint", {{{"ident", "Fish & Chips"}, {"lat", "45.5"}, {"long", "-93.25"}, {"altitude", "abc"}},
                          {{"ident", "a<b"}, {"lat", "44.1"}, {"long", "-92.5"}, {"altitude", "10"}},
                          {{"ident", "Caf\xC3\xA9"}, {"lat", "43"}, {"long", "-91"}}});
}

TEST(KmlPeer, OurPointsAndLinesReadElsewhere)
{
    GpxRig rig;
    fill_points(rig);
    std::string file = rig.path("p.kml");
    ASSERT_TRUE(files::KMLFile_Save(rig.main, "point", file, false));
    EXPECT_EQ(run("xmllint --noout '" + file + "'"), 0);
    std::string csv = babel(rig, "kml", file);
    for (const char* want : {"45.500000,-93.250000,\"Fish & Chips\",0.0", "44.100000,-92.500000,\"a<b\",10.0",
                             "43.000000,-91.000000,\"Caf\xC3\xA9\",0.0"})
        EXPECT_NE(csv.find(want), std::string::npos) << want << "\n" << csv;
    // Appended twice into the same document: every placemark once each time.
    ASSERT_TRUE(files::KMLFile_Save(rig.main, "point", file, true));
    EXPECT_EQ(run("xmllint --noout '" + file + "'"), 0);
    csv = babel(rig, "kml", file);
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 7) << csv;

    std::vector<gpxtest::Row> rows;
    for (int i = 1; i <= 6; ++i)
        rows.push_back({{"ident", "T" + std::to_string(i)}, {"lat", std::to_string(40 + i)}, {"long", "-90"},
                        {"new_seg", i == 1 || i == 4 ? "True" : "False"}});
    rig.fill("track", rows);
    ASSERT_TRUE(files::KMLFile_Save(rig.main, "line", file, false));
    std::string info = rig.path("ogr.txt");
    ASSERT_EQ(run("ogrinfo -ro -al '" + file + "' > '" + info + "' 2>&1"), 0);
    EXPECT_NE(read_file(info).find("LINESTRING Z (-90 44 0,-90 45 0,-90 46 0)"), std::string::npos) << read_file(info);
    // gpsbabel writes its tracks as lines: they load back point for point.
    std::string theirs = rig.path("theirs.kml");
    ASSERT_EQ(run("gpsbabel -i kml -f '" + file + "' -o kml,points=0 -F '" + theirs + "'"), 0);
    ASSERT_TRUE(files::KMLFile_Load(rig.main, "line", theirs));
    ASSERT_EQ(rig.rows(), 6);
    EXPECT_EQ(rig.cell(6, "lat"), "46.000000");
}

TEST(LowrancePeer, BothWays)
{
    GpxRig rig;
    fill_points(rig);
    std::string file = rig.path("w.txt");
    ASSERT_TRUE(files::LowranceFile_Save(rig.main, file, false));
    std::string csv = babel(rig, "csv", file);
    EXPECT_NE(csv.find("45.500000,-93.250000,\"Fish & Chips\""), std::string::npos) << csv;
    EXPECT_NE(csv.find("44.100000,-92.500000,\"a<b\""), std::string::npos) << csv;

    std::string theirs = rig.path("theirs.txt");
    ASSERT_EQ(run("gpsbabel -i unicsv -f '" + rig.path("babel.csv") + "' -o csv -F '" + theirs + "'"), 0);
    ASSERT_TRUE(files::LowranceFile_Load(rig.main, theirs));
    ASSERT_EQ(rig.rows(), 3);
    // (gpsbabel's csv writer drops the blanks of names)
    EXPECT_EQ(rig.cell(2, "lat") + "|" + rig.cell(2, "long") + "|" + rig.cell(2, "ident"), "44.10000|-92.50000|a<b");
}

} // namespace
