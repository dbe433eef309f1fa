// GPX files through a real main window: what the save writes, what the load
// puts in the table, units, appending, damaged and oversized files, and the
// local-time column that follows a load.
#include "gpx_rig.h"

#include <sys/stat.h>

using gpxtest::GpxRig;
using gpxtest::read_file;
using gpxtest::write_file;

namespace {

size_t count(const std::string& s, const std::string& what)
{
    size_t n = 0;
    for (size_t p = s.find(what); p != std::string::npos; p = s.find(what, p + 1))
        ++n;
    return n;
}

TEST(GpxSave, DocumentLayoutAndUnits)
{
    GpxRig rig;
    rig.fill("waypoint", {{{"ident", "A"}, {"lat", "45.5"}, {"long", "-75.25"}, {"altitude", "0123.50"},
                           {"time", "2007/01/15 18:00:00"}, {"comment", "Fish & Chips"}},
                          {{"ident", "B"}, {"lat", "46"}, {"long", "-75"}, {"altitude", "high"}}});
    std::string file = rig.path("w.gpx");
    ASSERT_TRUE(rig.save(file));
    std::string s = read_file(file);
    EXPECT_EQ(s.rfind("<?xml version=\"1.0\"?>\r\n<gpx\r\n version=\"1.0\"\r\n creator=", 0), 0u);
    EXPECT_EQ(count(s, "\n"), count(s, "\r\n")); // every line ends with CR LF
    EXPECT_LT(s.find("<author>"), s.find("<time>"));
    EXPECT_LT(s.find("<time>"), s.find("<wpt"));
    EXPECT_NE(s.find("<wpt lat=\"45.5\" lon=\"-75.25\">"), std::string::npos);
    EXPECT_NE(s.find("<ele>123.5</ele>"), std::string::npos);
    EXPECT_NE(s.find("<time>2007-01-15T18:00:00Z</time>"), std::string::npos);
    EXPECT_NE(s.find("<cmt>Fish &amp; Chips</cmt>"), std::string::npos);
    EXPECT_EQ(count(s, "<ele>"), 1u); // a height that is no number is not written
    EXPECT_EQ(rig.main.StatusBar1[1], "Converting waypoint Record 2 to GPX File");

    rig.main.state().unit = "Feet";
    rig.fill("waypoint", {{{"lat", "1"}, {"long", "2"}, {"altitude", "100"}}});
    ASSERT_TRUE(rig.save(file));
    EXPECT_NE(read_file(file).find("<ele>30.48</ele>"), std::string::npos);
    ASSERT_TRUE(rig.load("waypoint", file));
    EXPECT_EQ(rig.cell(1, "altitude"), "100.0000032");
    EXPECT_EQ(files::GPX_ConvertUnits("feet", "", true), "");
    EXPECT_EQ(files::GPX_ConvertUnits("Meters", "0123.50", false), "123.5");
}

TEST(GpxSave, AnEmptyTableWritesNoPoint)
{
    GpxRig rig;
    rig.fill("waypoint", {});
    ASSERT_TRUE(rig.save(rig.path("empty.gpx")));
    std::string s = read_file(rig.path("empty.gpx"));
    EXPECT_EQ(s.find("<wpt"), std::string::npos);
    EXPECT_NE(s.find("</gpx>\r\n"), std::string::npos);
}

TEST(GpxSave, OnlyTheSelectedRows)
{
    GpxRig rig;
    rig.fill("waypoint", {{{"ident", "A"}}, {{"ident", "B"}}, {{"ident", "C"}}});
    auto& st = rig.main.state();
    st.selection_count = 2, st.first_selected_row = 2, st.last_selected_row = 3;
    ASSERT_TRUE(rig.save(rig.path("s.gpx")));
    std::string s = read_file(rig.path("s.gpx"));
    EXPECT_EQ(s.find("<name>A</name>"), std::string::npos);
    EXPECT_NE(s.find("<name>C</name>"), std::string::npos);
}

TEST(GpxFiles, TracksRoundTripWithTheirSegments)
{
    GpxRig rig;
    std::vector<gpxtest::Row> rows;
    for (int i = 1; i <= 5; ++i)
        rows.push_back({{"ident", "T" + std::to_string(i)}, {"lat", std::to_string(40 + i)}, {"long", "-90"},
                        {"new_seg", i == 1 || i == 4 ? "true" : "false"}, {"time", "2007/01/15 18:00:0" + std::to_string(i)}});
    rig.fill("track", rows);
    std::string file = rig.path("t.gpx");
    ASSERT_TRUE(rig.save(file));
    std::string s = read_file(file);
    EXPECT_EQ(count(s, "<trk>"), 2u);
    EXPECT_EQ(count(s, "<trkseg>"), 2u);
    EXPECT_LT(s.find("<name>T1</name>"), s.find("<trkseg>"));

    ASSERT_TRUE(rig.load("track", file));
    ASSERT_EQ(rig.rows(), 5);
    const char* ident[] = {"T1", "T1", "T1", "T4", "T4"};
    const char* seg[] = {"True", "False", "False", "True", "False"};
    for (int r = 1; r <= 5; ++r) {
        EXPECT_EQ(rig.cell(r, "ident"), ident[r - 1]);
        EXPECT_EQ(flxgrd::Table::Value_IsTrue(rig.cell(r, "new_seg")), seg[r - 1] == std::string("True"));
        EXPECT_EQ(rig.cell(r, "type"), "TRACK");
        EXPECT_EQ(rig.cell(r, "lat"), std::to_string(40 + r));
    }
}

TEST(GpxFiles, RoutesOnePerRunNamedByTheirFirstRow)
{
    GpxRig rig;
    rig.fill("route", {{{"ident", "P1"}, {"lat", "1"}, {"long", "1"}, {"new_seg", "true"}, {"rident", "R1"},
                        {"rcmnt", "north"}, {"rnumber", "3"}},
                       {{"ident", "P2"}, {"lat", "2"}, {"long", "2"}, {"new_seg", "false"}, {"rident", "R1"}},
                       {{"ident", "P3"}, {"lat", "3"}, {"long", "3"}, {"new_seg", "true"}, {"rident", "R2"}}});
    std::string file = rig.path("r.gpx");
    ASSERT_TRUE(rig.save(file));
    std::string s = read_file(file);
    EXPECT_EQ(count(s, "<rte>"), 2u);
    EXPECT_NE(s.find("<rte>\r\n   <name>R1</name>\r\n   <cmt>north</cmt>\r\n   <number>3</number>"), std::string::npos);

    ASSERT_TRUE(rig.load("route", file));
    ASSERT_EQ(rig.rows(), 3);
    EXPECT_EQ(rig.cell(2, "rident"), "R1");
    EXPECT_EQ(rig.cell(2, "rcmnt"), "north");
    EXPECT_EQ(rig.cell(2, "rnumber"), "3");
    EXPECT_EQ(rig.cell(2, "new_seg"), "False");
    EXPECT_EQ(rig.cell(3, "rident"), "R2");
    EXPECT_EQ(rig.cell(3, "new_seg"), "True");
    EXPECT_EQ(rig.cell(3, "ident"), "P3");

    ASSERT_TRUE(rig.load("waypoint", file)); // no wpt in it
    EXPECT_EQ(rig.rows(), 1);
    EXPECT_EQ(rig.cell(1, "ident"), "");
}

TEST(GpxFiles, WaypointsOnlyFileAsRouteGivesAnEmptyTable)
{
    GpxRig rig;
    std::string file = rig.path("w.gpx");
    write_file(file, "<gpx><wpt lat=\"1\" lon=\"2\"><name>A</name></wpt></gpx>");
    EXPECT_TRUE(rig.load("route", file));
    EXPECT_EQ(rig.main.MSFlexGrid1.TextMatrix(1, 0), "");
    EXPECT_TRUE(rig.load("waypoint", rig.path("missing.gpx")));
    EXPECT_TRUE(rig.dialogs.boxes().empty());
}

TEST(GpxFiles, AppendKeepsTheOldPointsAndNeverReplacesWhatItCannotRead)
{
    GpxRig rig;
    std::string file = rig.path("a.gpx");
    rig.fill("waypoint", {{{"ident", "OLD"}, {"lat", "1"}, {"long", "1"}}});
    ASSERT_TRUE(rig.save(file));
    rig.fill("waypoint", {{{"ident", "NEW"}, {"lat", "2"}, {"long", "2"}}});
    ASSERT_TRUE(rig.save(file, true));
    std::string s = read_file(file);
    EXPECT_EQ(count(s, "<author>"), 2u);
    size_t old_at = s.find("<name>OLD</name>"), second_author = s.rfind("<author>"), new_at = s.find("<name>NEW</name>");
    EXPECT_LT(old_at, second_author);
    EXPECT_LT(second_author, new_at);
    EXPECT_EQ(count(s, "xmlns:gpxx="), 1u);

    // Something that is not a GPX document stays as it is.
    std::string notes = rig.path("notes.txt");
    write_file(notes, "shopping: eggs, milk\n");
    EXPECT_FALSE(rig.save(notes, true));
    EXPECT_EQ(read_file(notes), "shopping: eggs, milk\n");
    ASSERT_NE(rig.dialogs.last(), nullptr);
    EXPECT_EQ(rig.dialogs.last()->title, "GPXFile_Save");
    // A file that cannot be read: the reader's box, nothing written.
    std::string dir = rig.path("folder.gpx");
    ::mkdir(dir.c_str(), 0755);
    rig.dialogs.clear();
    EXPECT_FALSE(rig.save(dir, true));
    EXPECT_EQ(rig.boxes_titled("clsGPX.GPX_Load"), 1);
    EXPECT_EQ(rig.boxes_titled("clsGPX.GPX_WriteFile"), 0);
    // And the load leaves the table as it was.
    EXPECT_FALSE(rig.load("waypoint", dir));
    EXPECT_EQ(rig.cell(1, "ident"), "NEW");
}

TEST(GpxFiles, WriteFailureIsReported)
{
    GpxRig rig;
    rig.fill("waypoint", {{{"ident", "A"}}});
    EXPECT_FALSE(rig.save(rig.path("no/such/folder/x.gpx")));
    ASSERT_NE(rig.dialogs.last(), nullptr);
    EXPECT_EQ(rig.dialogs.last()->title, "clsGPX.GPX_WriteFile");
    EXPECT_EQ(rig.dialogs.last()->text, "Error Number: 76, Path not found");
}

TEST(GpxFiles, EscapedTextsLeaveTheTreeDecodedAndGoBackEscaped)
{
    GpxRig rig;
    std::string file = rig.path("e.gpx");
    write_file(file, "<gpx><wpt lat='1' lon='2'><name>Fish &amp; Chips</name><cmt>V&#246;lker\tand&#9;tab</cmt>"
                     "<src>GPS</src></wpt></gpx>");
    ASSERT_TRUE(files::GPXFile_Load(rig.main, "waypoint", file, std::string("eTrex Vista")));
    EXPECT_EQ(rig.cell(1, "ident"), "Fish & Chips");
    EXPECT_EQ(rig.cell(1, "comment"), "V\xC3\xB6lker and tab");
    EXPECT_EQ(rig.cell(1, "lat"), "1");
    EXPECT_EQ(rig.cell(1, "model"), "eTrex Vista");
    EXPECT_EQ(rig.cell(1, "type"), "WAYPOINT");

    rig.fill("waypoint", {{{"ident", "AT&T;"}, {"comment", "&#8364; <b>"}, {"lat", "1"}, {"long", "1"}}});
    ASSERT_TRUE(rig.save(file));
    EXPECT_NE(read_file(file).find("<name>AT&amp;T;</name>"), std::string::npos);
    ASSERT_TRUE(rig.load("waypoint", file));
    EXPECT_EQ(rig.cell(1, "ident"), "AT&T;");
    EXPECT_EQ(rig.cell(1, "comment"), "\xE2\x82\xAC <b>"); // a numeric reference is one
}

TEST(GpxFiles, CutFileKeepsThePointsBeforeTheCut)
{
    GpxRig rig;
    std::string whole = read_file(gpxtest::data_file("gpx/dg100-track.gpx"));
    std::string cut = whole.substr(0, whole.size() / 2);
    size_t complete = 0;
    for (size_t p = cut.find("<trkpt "); p != std::string::npos; p = cut.find("<trkpt ", p + 1))
        complete += cut.find('>', p) != std::string::npos;
    std::string file = rig.path("cut.gpx");
    write_file(file, cut);
    ASSERT_TRUE(rig.load("track", file));
    EXPECT_EQ(rig.rows(), int(complete));
    EXPECT_EQ(rig.cell(1, "lat"), "45.491561890");
    EXPECT_EQ(rig.cell(1, "ident"), "DG-100 tracklog (2020/02/14 18:04:30)");
}

TEST(GpxFiles, MoreWaypointsThanTheTableHoldsGiveOneBox)
{
    gpxtest::ZoneScope zone("UTC");
    GpxRig rig;
    std::string doc = "<gpx>";
    for (int i = 1; i <= 32800; ++i)
        doc += "<wpt lat=\"45\" lon=\"-75\"><time>2007-01-15T18:00:00Z</time><name>W" + std::to_string(i) +
               "</name></wpt>";
    doc += "</gpx>";
    std::string file = rig.path("big.gpx");
    write_file(file, doc);
    EXPECT_FALSE(rig.load("waypoint", file));
    EXPECT_EQ(rig.rows(), flxgrd::kMaxRecords);
    EXPECT_EQ(rig.boxes_titled("Error"), 1);
    EXPECT_NE(rig.dialogs.boxes().at(0).text.find("Table is Full"), std::string::npos);
    EXPECT_EQ(rig.cell(flxgrd::kMaxRecords, "ltime"), "2007/01/15 18:00:00"); // the rows held are timed
}

TEST(LocalTime, EachRowTakesTheZoneRulesAtItsOwnDate)
{
    gpxtest::ZoneScope zone("America/Chicago");
    GpxRig rig;
    std::string file = rig.path("z.gpx");
    write_file(file, "<gpx><wpt lat=\"1\" lon=\"1\"><time>2007-01-15T18:00:00Z</time></wpt>"
                     "<wpt lat=\"1\" lon=\"1\"><time>2007-07-15T18:00:00Z</time></wpt></gpx>");
    ASSERT_TRUE(rig.load("waypoint", file));
    EXPECT_EQ(rig.cell(1, "ltime"), "2007/01/15 12:00:00");
    EXPECT_EQ(rig.cell(2, "ltime"), "2007/07/15 13:00:00");

    // Back to UTC: the repeated autumn hour takes daylight time, a skipped
    // spring time the offset before the change.
    rig.fill("waypoint", {{{"ltime", "2007/11/04 01:30:00"}}, {{"ltime", "2007/03/11 02:30:00"}},
                          {{"ltime", "2007/07/15 13:00:00"}}, {{"ltime", "not a date"}, {"time", "kept"}}});
    flxgrd::Time_CalculateLocal(rig.table(), "Local Computer Time", true);
    EXPECT_EQ(rig.cell(1, "time"), "2007/11/04 06:30:00");
    EXPECT_EQ(rig.cell(2, "time"), "2007/03/11 08:30:00");
    EXPECT_EQ(rig.cell(3, "time"), "2007/07/15 18:00:00");
    EXPECT_EQ(rig.cell(4, "time"), "kept");
}

TEST(LocalTime, FixedOffsetBothWays)
{
    GpxRig rig;
    rig.fill("rtimewpt", {{{"date", "2007/06/01"}, {"time", "18:00:00"}}});
    flxgrd::Time_CalculateLocal(rig.table(), "-6 Central", false);
    EXPECT_EQ(rig.cell(1, "ltime"), "2007/06/01 12:00:00");
    rig.fill("rtimewpt", {{{"ltime", "2007/06/01 12:00:00"}}});
    flxgrd::Time_CalculateLocal(rig.table(), "-6 Central", true);
    EXPECT_EQ(rig.cell(1, "time"), "2007/06/01 18:00:00");
    flxgrd::Time_CalculateLocal(rig.table(), "Central", true);
    ASSERT_NE(rig.dialogs.last(), nullptr);
    EXPECT_EQ(rig.dialogs.last()->title, "Time_CalculateLocal");
}

TEST(DateValidate, NormalisesReceiverGpxAndExifTimes)
{
    auto v = [](std::string s, bool iso) {
        std::string out = flxgrd::Date_Validate(s, iso);
        EXPECT_EQ(out, s); // written back too
        return out;
    };
    EXPECT_EQ(v("2006-05-01T12:30:00Z", true), "2006-05-01T12:30:00Z");
    EXPECT_EQ(v("2006-05-01T12:30:00Z", false), "2006-05-01 12:30:00");
    EXPECT_EQ(v("2006:05:01 12:30:00", false), "2006/05/01 12:30:00");
    EXPECT_EQ(v("CRTD 14:05 01-MAY-06", true), "2006-05-01T14:05:00Z");
    EXPECT_EQ(v("", true), "");
    EXPECT_EQ(v("no date", true), "no date");
}

} // namespace
