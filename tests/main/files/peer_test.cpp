// GPX files against other programs: xmllint finds what we write well formed
// and valid GPX 1.0, gpsbabel reads it (also when the File menu's front end
// wrote it) and its GPX loads back, and shared files load as Python's XML
// reader reads them. The ArcMap link's array gets its latitude and
// longitude as cs2cs computes them.
#include "gpx_rig.h"

#include "main/files/table_files.h"
#include "tests/main/coords/harness.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

using gpxtest::GpxRig;
using gpxtest::read_file;
using gpxtest::write_file;

namespace {

// Runs a command line; its exit status.
int run(const std::string& command)
{
    int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// A command line's standard output.
std::string output_of(const std::string& command)
{
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        for (size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        ::pclose(p);
    }
    return out;
}

bool have(const char* program) { return run(std::string("command -v ") + program + " >/dev/null 2>&1") == 0; }

std::vector<std::string> split(const std::string& s, char sep)
{
    std::vector<std::string> out;
    size_t start = 0;
    for (size_t p; (p = s.find(sep, start)) != std::string::npos; start = p + 1)
        out.push_back(s.substr(start, p - start));
    out.push_back(s.substr(start));
    return out;
}

bool same_number(const std::string& a, const std::string& b)
{
    if (a.empty() || b.empty())
        return a.empty() && b.empty();
    return std::abs(std::strtod(a.c_str(), nullptr) - std::strtod(b.c_str(), nullptr)) < 1e-9;
}

// The table after loading `file` as `type` against what the Python reader
// finds in it, point by point.
void expect_loads_as_etree(GpxRig& rig, const std::string& file, const std::string& type, size_t at_least)
{
    std::string listing = rig.path("etree.txt");
    ASSERT_EQ(run("python3 " TREKFOLD_SOURCE_DIR "/tests/main/files/etree_points.py '" + file + "' " + type + " > '" +
                  listing + "'"),
              0);
    auto lines = split(read_file(listing), '\n');
    lines.pop_back();
    ASSERT_GE(lines.size(), at_least);
    ASSERT_TRUE(rig.load(type, file));
    ASSERT_EQ(size_t(rig.rows()), lines.size()) << file << " as " << type;
    for (size_t i = 0; i < lines.size(); ++i) {
        int r = int(i) + 1;
        auto f = split(lines[i], '\t');
        ASSERT_EQ(f.size(), 6u);
        EXPECT_EQ(rig.cell(r, "lat"), f[0]) << "row " << r;
        EXPECT_EQ(rig.cell(r, "long"), f[1]) << "row " << r;
        EXPECT_EQ(rig.cell(r, "ident"), f[2].empty() ? std::to_string(r) : f[2]) << "row " << r;
        EXPECT_TRUE(same_number(rig.cell(r, "altitude"), f[3])) << "row " << r << ": " << rig.cell(r, "altitude");
        if (type != "track" && !f[4].empty())
            EXPECT_EQ(rig.cell(r, "comment"), f[4]) << "row " << r;
        if (type != "waypoint")
            EXPECT_EQ(flxgrd::Table::Value_IsTrue(rig.cell(r, "new_seg")), f[5] == "True") << "row " << r;
        EXPECT_NE(rig.cell(r, "x_proj"), "<no column>");
    }
}

// A table of each kind with every written field filled in.
void fill_sample(GpxRig& rig, const std::string& type, bool garmin_values)
{
    std::vector<gpxtest::Row> rows;
    for (int i = 1; i <= 4; ++i) {
        gpxtest::Row row = {{"ident", "V\xC3\xB6lker " + std::to_string(i)},
                            {"lat", "45." + std::to_string(i * 1111)},
                            {"long", "-75." + std::to_string(i * 2222)},
                            {"altitude", std::to_string(100 + i) + ".5"},
                            {"time", "2007/01/15 18:0" + std::to_string(i) + ":00"},
                            {"new_seg", i == 1 || i == 3 ? "true" : "false"}};
        if (type != "track")
            row.push_back({"comment", "Fish & Chips <" + std::to_string(i) + ">"});
        if (type == "route")
            row.push_back({"rident", "Route " + std::to_string(i)});
        if (garmin_values)
            row.push_back({"depth", "3.25"});
        if (type == "waypoint")
            row.erase(row.begin() + 5); // no new_seg column
        rows.push_back(row);
    }
    rig.fill(type, rows);
}

class Peer : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* p : {"xmllint", "gpsbabel", "python3"})
            if (!have(p))
                GTEST_SKIP() << p << " is not installed";
        ::setenv("TZ", "UTC", 1);
        ::tzset();
    }
};

TEST_F(Peer, XmllintFindsOurFilesWellFormedAndValid)
{
    GpxRig rig;
    for (const char* type : {"waypoint", "track", "route"}) {
        fill_sample(rig, type, false);
        std::string file = rig.path(std::string(type) + ".gpx");
        ASSERT_TRUE(rig.save(file));
        EXPECT_EQ(run("xmllint --noout '" + file + "'"), 0) << type;
        EXPECT_EQ(run("xmllint --noout --schema " TREKFOLD_SOURCE_DIR "/tests/data/schema/gpx10.xsd '" + file +
                      "' 2>/dev/null"),
                  0)
            << type;
        fill_sample(rig, type, true);
        ASSERT_TRUE(rig.save(file));
        EXPECT_EQ(run("xmllint --noout '" + file + "'"), 0) << type << " with depths";
    }
}

TEST_F(Peer, GpsbabelReadsOurFilesAndItsGpxLoadsBack)
{
    GpxRig rig;
    for (const char* type : {"waypoint", "track", "route"}) {
        fill_sample(rig, type, true);
        std::string ours = rig.path(std::string(type) + ".gpx"), theirs = rig.path(std::string(type) + "-babel.gpx"),
                    csv = rig.path(std::string(type) + ".csv");
        ASSERT_TRUE(rig.save(ours));
        std::string only = std::string(type) == "waypoint" ? "-w" : std::string(type) == "track" ? "-t" : "-r";
        ASSERT_EQ(run("gpsbabel " + only + " -i gpx -f '" + ours + "' -o unicsv -F '" + csv + "' 2>/dev/null"), 0)
            << type;
        std::string table = read_file(csv);
        for (int i = 1; i <= 4; ++i) {
            EXPECT_NE(table.find("45." + std::to_string(i * 1111)), std::string::npos) << type;
            EXPECT_NE(table.find(std::to_string(100 + i) + ".5"), std::string::npos) << type;
        }
        if (std::string(type) != "track")
            EXPECT_NE(table.find("V\xC3\xB6lker 4"), std::string::npos) << type;

        ASSERT_EQ(run("gpsbabel -w -r -t -i gpx -f '" + ours + "' -o gpx -F '" + theirs + "' 2>/dev/null"), 0);
        std::vector<std::vector<std::string>> saved;
        for (int r = 1; r <= rig.rows(); ++r)
            saved.push_back({rig.cell(r, "lat"), rig.cell(r, "long"), rig.cell(r, "ident"), rig.cell(r, "altitude"),
                             rig.cell(r, "time")});
        ASSERT_TRUE(rig.load(type, theirs));
        ASSERT_EQ(rig.rows(), int(saved.size())) << type;
        for (int r = 1; r <= rig.rows(); ++r) {
            auto& s = saved[size_t(r) - 1];
            EXPECT_TRUE(same_number(rig.cell(r, "lat"), s[0])) << type << " row " << r;
            EXPECT_TRUE(same_number(rig.cell(r, "long"), s[1])) << type << " row " << r;
            EXPECT_TRUE(same_number(rig.cell(r, "altitude"), s[3])) << type << " row " << r;
            if (std::string(type) != "track") // a track's rows take its name
                EXPECT_EQ(rig.cell(r, "ident"), s[2]) << type << " row " << r;
            EXPECT_EQ(rig.cell(r, "ltime"), s[4]) << type << " row " << r;
        }
    }
}

TEST_F(Peer, SharedFilesLoadAsPythonReadsThem)
{
    GpxRig rig;
    std::string sample = gpxtest::data_file("gpx/gdb-sample.gpx");
    expect_loads_as_etree(rig, sample, "waypoint", 5);
    expect_loads_as_etree(rig, sample, "route", 3);
    expect_loads_as_etree(rig, sample, "track", 700);
    EXPECT_EQ(rig.cell(1, "ltime"), "2005/05/01 10:12:47"); // TZ=UTC: the time as the table writes times
    expect_loads_as_etree(rig, gpxtest::data_file("gpx/dg100-track.gpx"), "track", 12000);
}

TEST_F(Peer, HandmadeFileLoadsAsPythonReadsIt)
{
    GpxRig rig;
    std::string file = rig.path("hand.gpx");
    write_file(file,
               "<?xml version=\"1.0\"?>\n<gpx version=\"1.0\" creator='hand'>\n"
               "<wpt lat='45.5'\nlon='-75.5'><name>Fish &amp; Chips</name><cmt>tab\there</cmt></wpt>\n"
               "<!-- <wpt lat=\"1\" lon=\"1\"><name>commented out</name></wpt> -->\n"
               "<wpt lat=\"46.5\"\r\n\tlon=\"-76.5\">\r\n<name>V&#246;lker</name>\r\n"
               "<cmt><![CDATA[line<br>next]]></cmt><ele>12.5</ele></wpt>\n"
               "<wpt lat=\"47\" lon=\"-77\"><name>after</name></wpt>\n</gpx>\n");
    expect_loads_as_etree(rig, file, "waypoint", 3);
    EXPECT_EQ(rig.cell(2, "ident"), "V\xC3\xB6lker");
}

TEST_F(Peer, GpsbabelReadsTheFrontEndsGpx)
{
    GpxRig rig;
    files::FileFrontEnd fe{rig.main};
    rig.fill("waypoint", {{{"ident", "HOME"}, {"lat", "45.5"}, {"long", "-93.25"}},
                          {{"ident", "CAMP"}, {"lat", "44.125"}, {"long", "-92.5"}}});
    const std::string file = rig.path("front.gpx");
    rig.dialogs.file(file, false, 7); // "GPS eXchange Format (*.gpx)"
    fe.mnuAFile_Click();
    ASSERT_EQ(rig.dialogs.last()->text, "File was written successfully to " + file);

    // unicsv: a header line naming the columns, then one line per point.
    std::vector<std::string> lines = split(output_of("gpsbabel -i gpx -f '" + file + "' -o unicsv -F - 2>/dev/null"), '\n');
    ASSERT_GE(lines.size(), 3u);
    std::vector<std::string> head = split(lines[0], ',');
    auto col = [&](const char* name) { return size_t(std::find(head.begin(), head.end(), name) - head.begin()); };
    const size_t lat = col("Latitude"), lon = col("Longitude"), name = col("Name");
    ASSERT_LT(std::max({lat, lon, name}), head.size()) << lines[0];
    const std::vector<std::vector<std::string>> want = {{"45.5", "-93.25", "HOME"}, {"44.125", "-92.5", "CAMP"}};
    for (size_t i = 0; i < want.size(); ++i) {
        std::vector<std::string> v = split(lines[i + 1], ',');
        ASSERT_LT(std::max({lat, lon, name}), v.size()) << lines[i + 1];
        EXPECT_TRUE(same_number(v[lat], want[i][0])) << lines[i + 1];
        EXPECT_TRUE(same_number(v[lon], want[i][1])) << lines[i + 1];
        EXPECT_EQ(v[name], "\"" + want[i][2] + "\"");
    }
}

// Real-time rows keep their date apart from the time of day (the NMEA
// form and the PVT form); a coordinate near 0, also one a cell holds in
// exponent form, goes out as a plain decimal, and a fix only as one of
// GPX's words, as the schema requires; the zero depth and temperature an
// NMEA row holds without a reading stay out of the file.
TEST_F(Peer, RealTimeRowsGoToGpxWithTheirOwnDateAndPlainCoordinates)
{
    GpxRig rig;
    rig.fill("rtimewpt", {{{"ident", "rt1"}, {"lat", "51.4778"}, {"long", "-0.00005"}, {"date", "07/04/2006"},
                           {"time", "09:05:30"}, {"pfix", "0"}, {"depth", "0.00"}, {"temp", "0.00"}},
                          {{"ident", "rt2"}, {"lat", "5E-05"}, {"long", "-1.5E-05"}, {"date", "7/5/2006"},
                           {"time", "9:5:31"}, {"pfix", "3d"}}});
    const std::string file = rig.path("rt.gpx");
    ASSERT_TRUE(rig.save(file));
    const std::string text = read_file(file);
    EXPECT_NE(text.find("lon=\"-0.00005\""), std::string::npos) << text;
    EXPECT_NE(text.find("lat=\"0.00005\""), std::string::npos) << text;
    EXPECT_NE(text.find("lon=\"-0.000015\""), std::string::npos) << text;
    // A fix GPX has no word for is left out; one it knows is kept.
    EXPECT_EQ(text.find("<fix>0</fix>"), std::string::npos) << text;
    EXPECT_NE(text.find("<fix>3d</fix>"), std::string::npos) << text;
    EXPECT_EQ(run("xmllint --noout --schema " TREKFOLD_SOURCE_DIR "/tests/data/schema/gpx10.xsd '" + file +
                  "' 2>/dev/null"),
              0)
        << text;

    std::vector<std::string> lines =
        split(output_of("gpsbabel -w -i gpx -f '" + file + "' -o unicsv -F - 2>/dev/null"), '\n');
    for (std::string& l : lines)
        if (!l.empty() && l.back() == '\r') l.pop_back();
    ASSERT_GE(lines.size(), 3u);
    std::vector<std::string> head = split(lines[0], ',');
    auto col = [&](const char* name) { return size_t(std::find(head.begin(), head.end(), name) - head.begin()); };
    const size_t lon = col("Longitude"), date = col("Date"), time = col("Time");
    ASSERT_LT(std::max({lon, date, time}), head.size()) << lines[0];
    const std::vector<std::vector<std::string>> want = {{"-0.00005", "2006/07/04", "09:05:30"},
                                                        {"-0.000015", "2006/07/05", "09:05:31"}};
    for (size_t i = 0; i < want.size(); ++i) {
        std::vector<std::string> v = split(lines[i + 1], ',');
        ASSERT_LT(std::max({lon, date, time}), v.size()) << lines[i + 1];
        EXPECT_TRUE(same_number(v[lon], want[i][0])) << lines[i + 1];
        EXPECT_EQ(v[date], want[i][1]) << lines[i + 1];
        EXPECT_EQ(v[time].substr(0, 8), want[i][2]) << lines[i + 1];
    }
    // A depth read from a sounder is kept.
    rig.fill("rtimewpt", {{{"ident", "rt1"}, {"lat", "1"}, {"long", "2"}, {"depth", "2.50"}, {"temp", "0.00"}}});
    ASSERT_TRUE(rig.save(file));
    EXPECT_NE(read_file(file).find("<gpxx:depth>2.5</gpxx:depth>"), std::string::npos) << read_file(file);
}

TEST(ArrayPeer, ProjectedArrayGetsLatLongAsCs2csGivesThem)
{
    if (!have("cs2cs")) GTEST_SKIP() << "cs2cs is not installed";
    coordstest::Harness h({}, true);
    h.write("proj/nad/epsg", "# WGS 84\n<4326> +proj=longlat +datum=WGS84 +no_defs  no_defs <>\n"
                             "# WGS 84 / UTM zone 15N\n<32615> +proj=utm +zone=15 +datum=WGS84 +units=m +no_defs  "
                             "no_defs <>\n");
    h.load();
    h.settings.SaveSetting("proj", "proj", "32615");
    files::TableFiles tf{h.main};
    platform::VariantArray a(0, 6, 0, 3); // 6 fields, 3 records
    const std::vector<std::vector<platform::Variant>> fields = {{"ident", "P1", "P2"},
                                                                {"comment", "", ""},
                                                                {"lat", "", ""},
                                                                {"long", "", ""},
                                                                {"y_proj", 5039000.0, "4987654.25"},
                                                                {"x_proj", 480000.0, "512345.5"}};
    for (std::int32_t f = 0; f < 6; ++f)
        for (std::int32_t r = 0; r < 3; ++r) a.at(f, r) = fields[size_t(f)][size_t(r)];
    platform::Variant array(std::move(a));
    ASSERT_TRUE(tf.Open_Array(array)) << (h.dialogs.last() ? h.dialogs.last()->text : "");

    std::istringstream peer(output_of("printf '480000 5039000\\n512345.5 4987654.25\\n' | "
                                      "cs2cs -f %.9f EPSG:32615 EPSG:4326"));
    for (int r = 1; r <= 2; ++r) {
        double lat = 0, lon = 0, z = 0;
        ASSERT_TRUE(peer >> lat >> lon >> z);
        EXPECT_NEAR(std::stod(h.cell(r, "lat")), lat, 1e-6) << "row " << r;
        EXPECT_NEAR(std::stod(h.cell(r, "long")), lon, 1e-6) << "row " << r;
    }
}

} // namespace
