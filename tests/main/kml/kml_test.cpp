// KML files through a real main window: the document bytes for points,
// lines and polygons, what loads back, the shared file of another program,
// appending, and every failure with its box.
#include "tests/main/files/gpx_rig.h"

#include "main/files/kml.h"

using gpxtest::GpxRig;
using gpxtest::read_file;
using gpxtest::write_file;

namespace {

const std::string kHeader = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                            "<kml xmlns=\"http://earth.google.com/kml/2.1\">\r\n<Document>\r\n";
const std::string kFooter = "</Document>\r\n</kml>\r\n";

std::string point(const std::string& name, const std::string& description, const std::string& tuple)
{
    return "<Placemark>\r\n  <name>" + name + "</name>\r\n  <description>" + description +
           "</description>\r\n  <Point>\r\n    <coordinates>\r\n      " + tuple +
           "\r\n    </coordinates>\r\n  </Point>\r\n</Placemark>\r\n";
}

// Six track rows, segments starting at rows 1 and 4, and two more rows
// that make a two-point segment.
void fill_track(GpxRig& rig, int rows = 6)
{
    std::vector<gpxtest::Row> r;
    for (int i = 1; i <= rows; ++i)
        r.push_back({{"ident", "T" + std::to_string(i)}, {"lat", std::to_string(40 + i)}, {"long", "-90.5"},
                     {"new_seg", i == 1 || i == 4 || i == 7 ? "True" : "False"}, {"altitude", "1" + std::to_string(i)}});
    rig.fill("track", r);
}

// A coordinate a cell holds in exponent form goes out as a plain decimal.
TEST(KmlSave, PointsByteForByteWithEscapes)
{
    GpxRig rig;
    rig.fill("waypoint", {{{"ident", "A&B"}, {"comment", "x<y>"}, {"lat", "45.5"}, {"long", "-93.25"}, {"altitude", "abc"}},
                          {{"ident", "<C>"}, {"comment", ""}, {"lat", "-1"}, {"long", "2.0"}, {"altitude", "12.5"}},
                          {{"ident", "\xC3\xA9t\xC3\xA9"}, {"comment", ""}, {"lat", "3"}, {"long", "-5E-05"}}});
    std::string file = rig.path("p.kml");
    ASSERT_TRUE(files::KMLFile_Save(rig.main, "Point", file, false));
    EXPECT_EQ(read_file(file), kHeader + point("A&amp;B", "x&lt;y&gt;", "-93.25,45.5,0") +
                                   point("&lt;C&gt;", "", "2.0,-1,12.5") + point("\xC3\xA9t\xC3\xA9", "", "-0.00005,3,0") +
                                   kFooter);
    EXPECT_EQ(rig.cursor.pointer(), platform::vbDefault);

    ASSERT_TRUE(files::KMLFile_Load(rig.main, "point", file)); // the names and comments come back
    ASSERT_EQ(rig.rows(), 3);
    EXPECT_EQ(rig.cell(1, "ident") + "|" + rig.cell(1, "comment") + "|" + rig.cell(1, "altitude"), "A&B|x<y>|0");
    EXPECT_EQ(rig.cell(2, "ident") + "|" + rig.cell(2, "long") + "|" + rig.cell(2, "lat"), "<C>|2.0|-1");
    EXPECT_EQ(rig.cell(3, "ident"), "\xC3\xA9t\xC3\xA9");
}

TEST(KmlSave, LinesAndPolygonsPerSegment)
{
    GpxRig rig;
    fill_track(rig, 8);
    std::string file = rig.path("l.kml");
    ASSERT_TRUE(files::KMLFile_Save(rig.main, "Polygon", file, false));
    std::string s = read_file(file);
    const std::string first = "<Placemark>\r\n  <name>T1</name>\r\n  <description></description>\r\n  <Polygon>\r\n"
                              "    <outerBoundaryIs>\r\n      <LinearRing>\r\n        <coordinates>\r\n"
                              "          -90.5,41,11\r\n-90.5,42,12\r\n-90.5,43,13\r\n-90.5,41,11\r\n"
                              "        </coordinates>\r\n      </LinearRing>\r\n    </outerBoundaryIs>\r\n"
                              "  </Polygon>\r\n</Placemark>\r\n";
    EXPECT_EQ(s.substr(0, kHeader.size() + first.size()), kHeader + first);
    EXPECT_NE(s.find("<name>T4</name>"), std::string::npos);
    EXPECT_EQ(s.find("<name>T7</name>"), std::string::npos); // two rows make no polygon

    fill_track(rig);
    ASSERT_TRUE(files::KMLFile_Save(rig.main, "line", file, false));
    s = read_file(file);
    EXPECT_NE(s.find("<name>T4</name>\r\n  <description></description>\r\n  <LineString>\r\n    <coordinates>\r\n"
                     "      -90.5,44,14\r\n-90.5,45,15\r\n-90.5,46,16\r\n    </coordinates>\r\n  </LineString>\r\n"),
              std::string::npos);
    EXPECT_EQ(rig.main.StatusBar1[1], "");
    ASSERT_TRUE(files::KMLFile_Load(rig.main, "Line", file));
    ASSERT_EQ(rig.rows(), 6);
    for (int r = 1; r <= 6; ++r) {
        EXPECT_EQ(rig.cell(r, "type"), "TRACK");
        EXPECT_EQ(rig.cell(r, "lat"), std::to_string(40 + r));
        EXPECT_EQ(flxgrd::Table::Value_IsTrue(rig.cell(r, "new_seg")), r == 1 || r == 4) << r;
        EXPECT_EQ(rig.cell(r, "ident"), r < 4 ? "T1" : "T4");
    }

    // A selection from the middle of a segment begins with its first row.
    fill_track(rig);
    auto& st = rig.main.state();
    st.selection_count = 4, st.first_selected_row = 2, st.last_selected_row = 5;
    ASSERT_TRUE(files::KMLFile_Save(rig.main, "line", file, false));
    s = read_file(file);
    EXPECT_NE(s.find("<name>T2</name>"), std::string::npos);
    EXPECT_NE(s.find("-90.5,42,12\r\n-90.5,43,13\r\n    </coordinates>"), std::string::npos);
    EXPECT_NE(s.find("-90.5,44,14\r\n-90.5,45,15\r\n    </coordinates>"), std::string::npos);
}

TEST(KmlSave, FailuresLeaveNoFile)
{
    GpxRig rig;
    rig.fill("waypoint", {{{"ident", "A"}, {"lat", "abc"}, {"long", "1"}}});
    std::string file = rig.path("f.kml");
    EXPECT_FALSE(files::KMLFile_Save(rig.main, "point", file, false));
    EXPECT_EQ(rig.dialogs.last()->text, "Error 111: Lat and Long fields must contain valid values.  "
                                        "Please set Lat and Long values and try again.");
    EXPECT_EQ(rig.dialogs.last()->title, "KMLFile_Save");
    EXPECT_EQ(rig.dialogs.last()->icon(), platform::vbCritical);
    EXPECT_FALSE(std::ifstream(file).good());

    fill_track(rig, 2);
    EXPECT_FALSE(files::KMLFile_Save(rig.main, "polygon", file, false));
    EXPECT_EQ(rig.dialogs.last()->text, "Error 34: No records saved to KML file");
    EXPECT_FALSE(std::ifstream(file).good());
    EXPECT_EQ(rig.cursor.pointer(), platform::vbDefault);
}

TEST(KmlSave, AppendInsertsOnce)
{
    GpxRig rig;
    rig.fill("waypoint", {{{"ident", "N"}, {"comment", ""}, {"lat", "1"}, {"long", "2"}, {"altitude", "3"}}});
    const std::string added = point("N", "", "2,1,3");
    std::string file = rig.path("a.kml");

    write_file(file, "<kml>\n<Document><name>My Places</name>\n<Document>\n</Document>\n</Document>\n</kml>");
    ASSERT_TRUE(files::KMLFile_Save(rig.main, "point", file, true));
    EXPECT_EQ(read_file(file), "<kml>\r\n<Document><name>My Places</name>\r\n" + added +
                                   "\r\n<Document>\r\n</Document>\r\n</Document>\r\n</kml>\r\n\r\n");

    write_file(file, "<kml><Document>\r\n<Document></Document>\r\n</Document></kml>\r\n");
    ASSERT_TRUE(files::KMLFile_Save(rig.main, "point", file, true));
    EXPECT_EQ(read_file(file), "<kml><Document>\r\n<Document></Document>\r\n" + added +
                                   "\r\n</Document></kml>\r\n\r\n");

    write_file(file, "<gpx/>\n");
    EXPECT_FALSE(files::KMLFile_Save(rig.main, "point", file, true));
    EXPECT_EQ(rig.dialogs.last()->text, "Error 34: No records saved to KML file");
    EXPECT_EQ(read_file(file), "<gpx/>\n");
}

TEST(KmlLoad, TheSharedPointsFile)
{
    GpxRig rig;
    std::string file = gpxtest::data_file("kml/kml-points.kml");
    ASSERT_TRUE(files::KMLFile_Load(rig.main, "Point", file));
    ASSERT_EQ(rig.rows(), 9);
    EXPECT_EQ(rig.cell(1, "ident") + "|" + rig.cell(1, "long") + "|" + rig.cell(1, "lat") + "|" + rig.cell(1, "altitude"),
              "GCEBB|-87.134700|35.972033|");
    EXPECT_EQ(rig.cell(1, "comment"),
              "<a href=\"http://www.geocaching.com/seek/cache_details.asp?ID=3771\">Cache Details</a>");
    EXPECT_EQ(rig.cell(1, "type"), "WAYPOINT");

    ASSERT_TRUE(files::KMLFile_Load(rig.main, "Line", file)); // only points in it
    EXPECT_EQ(rig.main.state().record_type, "track");
    EXPECT_EQ(rig.main.MSFlexGrid1.TextMatrix(1, 0), "");
}

TEST(KmlLoad, MissingFileAndFullTable)
{
    GpxRig rig;
    rig.fill("waypoint", {{{"ident", "keep"}, {"lat", "1"}, {"long", "2"}}});
    std::string missing = rig.path("none.kml");
    EXPECT_FALSE(files::KMLFile_Load(rig.main, "point", missing));
    EXPECT_EQ(rig.dialogs.last()->text, "Error Number: 1, Could not find file: " + missing);
    EXPECT_EQ(rig.dialogs.last()->title, "FileIO.KMLFile_Load");
    EXPECT_EQ(rig.cell(1, "ident"), "keep");

    std::string big = "<kml><Placemark><name>L</name><LineString><coordinates>";
    for (int i = 0; i < flxgrd::kMaxRecords + 5; ++i)
        big += "1,2\n";
    write_file(rig.path("big.kml"), big + "</coordinates></LineString></Placemark></kml>");
    rig.dialogs.clear();
    EXPECT_FALSE(files::KMLFile_Load(rig.main, "line", rig.path("big.kml")));
    EXPECT_EQ(rig.rows(), flxgrd::kMaxRecords);
    EXPECT_EQ(rig.boxes_titled(rig.dialogs.last()->title), 1); // one "Table is Full"
    EXPECT_EQ(rig.cursor.pointer(), platform::vbDefault);
}

TEST(KmlPlacemark, ReadsWhatOtherProgramsWrite)
{
    files::CGPlacemark p;
    p.Define_FromKMLString("<Placemark id=\"x\"><name>a&amp;b&#233;\tc</name><Snippet>s</Snippet>"
                           "<description><![CDATA[<b>&amp;</b>]]> &lt;</description><visibility>1</visibility>"
                           "<styleUrl>#s</styleUrl><MultiGeometry><Point><coordinates>1,2</coordinates></Point>"
                           "<LineString><coordinates>\n\t3,4,5 6,7,8\r\n</coordinates></LineString></MultiGeometry>");
    EXPECT_EQ(p.Get_Name(), "a&b\xC3\xA9 c");
    EXPECT_EQ(p.Get_Description(), "<b>&amp;</b> <");
    EXPECT_EQ(p.Get_Visibility(), 1);
    EXPECT_EQ(p.Get_Style(), ""); // only lower-case element names are looked for
    files::CGPlacemark::Parts parts = {{"1,2"}, {"3,4,5", "6,7,8"}};
    EXPECT_EQ(p.Get_Coords(), parts);
    EXPECT_EQ(files::CGPlacemark::Get_KMLFooter(), "</Document>\r\n</kml>");
}

TEST(KmlPlacemark, GoogleEarthPlaceFileUnderTheHome)
{
    std::string old = std::getenv("HOME") ? std::getenv("HOME") : "";
    ::setenv("HOME", "/home/ann/", 1);
    EXPECT_EQ(files::MyPlaces_File(), "/home/ann/.googleearth/myplaces.kml");
    ::setenv("HOME", old.c_str(), 1);
}

} // namespace
