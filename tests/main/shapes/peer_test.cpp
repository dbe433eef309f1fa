// Other programs and our shapefiles: shpdump, ogrinfo, ogr2ogr and dbfdump
// read what shape-probe writes, and shape-probe reads what ogr2ogr writes.
#include "tests/main/shapes/scratch.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <regex>
#include <sstream>

using nlohmann::json;
using shapes_test::ScratchDir;
using shapes_test::run;
using shapes_test::write_text;

namespace {

using Row = std::map<std::string, std::string>;

bool have(const char* program) { return run(std::string("command -v ") + program + " >/dev/null").exit == 0; }

json probe(const std::string& args)
{
    const auto r = run(std::string(SHAPE_PROBE) + " " + args + " 2>/dev/null");
    EXPECT_EQ(r.exit, 0) << args << ": " << r.out;
    return r.exit == 0 ? json::parse(r.out) : json();
}

std::string trim(std::string s)
{
    s.erase(0, s.find_first_not_of(' '));
    s.erase(s.find_last_not_of(' ') + 1);
    return s;
}

// dbfdump -m: "Record: n" then one "NAME: value" line per field.
std::vector<Row> dbfdump(const std::string& dbf)
{
    std::vector<Row> rows;
    std::istringstream in(run("dbfdump -m '" + dbf + "'").out);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("Record:", 0) == 0) rows.emplace_back();
        else if (auto colon = line.find(": "); colon != std::string::npos && !rows.empty())
            rows.back()[line.substr(0, colon)] = trim(line.substr(colon + 2));
    }
    return rows;
}

// The vertices shpdump lists, in file order, per shape.
std::vector<std::vector<std::pair<double, double>>> shpdump_vertices(const std::string& out)
{
    std::vector<std::vector<std::pair<double, double>>> shapes;
    const std::regex vertex(R"(^\s+\+?\s*\(([-0-9.e+]+),([-0-9.e+]+), 0\))");
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);) {
        std::smatch m;
        if (line.rfind("Shape:", 0) == 0) shapes.emplace_back();
        else if (line.find("Bounds") == std::string::npos && line.find(" to ") == std::string::npos &&
                 std::regex_search(line, m, vertex) && !shapes.empty())
            shapes.back().emplace_back(std::stod(m[1]), std::stod(m[2]));
    }
    return shapes;
}

const json kFields = {"NAME,C,16,0", "HEIGHT,N,10,2", "COUNT,N,6,0"};

json values(const std::string& name, const std::string& height, const std::string& count)
{
    return {{"NAME", name}, {"HEIGHT", height}, {"COUNT", count}};
}

struct Case {
    int type;
    json records;        // shape-probe input
    json expected_parts; // what the file holds, per record (null for a null record)
    const char* geojson_type;
};

std::vector<Case> cases()
{
    const json null_record = {{"null", true}, {"values", values("nothing", "0.00", "0")}};
    return {
        {1,
         {{{"parts", {{{1.5, -2.25}}}}, {"values", values("Zoë", "12.50", "3")}}, null_record,
          {{"parts", {{{3, 4}}}}, {"values", values("b", "-1.25", "-7")}}},
         {{{{1.5, -2.25}}}, nullptr, {{{3, 4}}}},
         "Point"},
        {8,
         {{{"parts", {{{0, 0}, {1, 1}, {-5, 5}}}}, {"values", values("set", "1.00", "1")}}, null_record},
         {{{{0, 0}, {1, 1}, {-5, 5}}}, nullptr},
         "MultiPoint"},
        {3,
         {null_record, {{"parts", {{{0, 0}, {1, 1}, {2, 0}}, {{5, 5}, {6, 7}}}}, {"values", values("road", "2.00", "2")}}},
         {nullptr, {{{0, 0}, {1, 1}, {2, 0}}, {{5, 5}, {6, 7}}}},
         "MultiLineString"},
        // Written counter-clockwise and open, hole clockwise: the file holds
        // the outer ring clockwise and the hole counter-clockwise, closed.
        {5,
         {{{"parts", {{{0, 0}, {10, 0}, {10, 10}, {0, 10}}, {{2, 2}, {2, 4}, {4, 4}, {4, 2}}}},
           {"values", values("lake", "100.00", "1")}},
          null_record},
         {{{{0, 0}, {0, 10}, {10, 10}, {10, 0}, {0, 0}}, {{2, 2}, {4, 2}, {4, 4}, {2, 4}, {2, 2}}}, nullptr},
         "Polygon"},
    };
}

} // namespace

TEST(ShapesPeer, PeersReadWhatWeWrite)
{
    if (!have("shpdump") || !have("ogrinfo") || !have("dbfdump")) GTEST_SKIP() << "shapelib or GDAL tools missing";
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.type);
        ScratchDir dir;
        write_text(dir / "in.json", json({{"type", c.type}, {"fields", kFields}, {"records", c.records}}).dump());
        const json w = probe("write " + dir / "x.shp" + " < " + dir / "in.json");
        EXPECT_EQ(w["put_failed"], json::array());

        // shpdump: the same vertices in the same order, rings in order.
        const auto sd = run("shpdump -validate '" + dir / "x.shp" + "'").out;
        EXPECT_NE(sd.find("0 object has invalid ring orderings"), std::string::npos) << sd;
        const auto shapes = shpdump_vertices(sd);
        ASSERT_EQ(shapes.size(), c.expected_parts.size()) << sd;
        double xmin = 1e300, ymin = 1e300, xmax = -1e300, ymax = -1e300;
        for (size_t i = 0; i < shapes.size(); ++i) {
            std::vector<std::pair<double, double>> want;
            if (!c.expected_parts[i].is_null())
                for (const auto& part : c.expected_parts[i])
                    for (const auto& p : part) {
                        want.emplace_back(p[0].get<double>(), p[1].get<double>());
                        xmin = std::min(xmin, want.back().first), xmax = std::max(xmax, want.back().first);
                        ymin = std::min(ymin, want.back().second), ymax = std::max(ymax, want.back().second);
                    }
            EXPECT_EQ(shapes[i], want) << i;
        }

        // ogr2ogr: the same geometries and attributes.
        const json gj = json::parse(run("ogr2ogr -f GeoJSON /vsistdout/ '" + dir / "x.shp" + "'").out);
        ASSERT_EQ(gj["features"].size(), c.records.size());
        for (size_t i = 0; i < c.records.size(); ++i) {
            const json& f = gj["features"][i];
            const json& v = c.records[i]["values"];
            EXPECT_EQ(f["properties"]["NAME"], v["NAME"]);
            EXPECT_EQ(f["properties"]["HEIGHT"].get<double>(), std::stod(v["HEIGHT"].get<std::string>()));
            EXPECT_EQ(f["properties"]["COUNT"].get<int>(), std::stoi(v["COUNT"].get<std::string>()));
            if (c.expected_parts[i].is_null()) {
                EXPECT_TRUE(f["geometry"].is_null()) << i;
                continue;
            }
            const json& parts = c.expected_parts[i];
            json want;
            if (c.type == 1) want = parts[0][0];
            else if (c.type == 5) want = parts;
            else if (c.type == 8) want = parts[0];
            else want = parts;
            EXPECT_EQ(f["geometry"]["type"], c.geojson_type);
            EXPECT_EQ(f["geometry"]["coordinates"], want) << i;
        }

        // ogrinfo: field types and widths, and an extent equal to the points' bounds.
        const auto oi = run("ogrinfo -al -so '" + dir / "x.shp" + "'").out;
        EXPECT_NE(oi.find("NAME: String (16.0)"), std::string::npos) << oi;
        EXPECT_NE(oi.find("HEIGHT: Real (10.2)"), std::string::npos) << oi;
        EXPECT_NE(oi.find("COUNT: Integer (6.0)"), std::string::npos) << oi;
        char extent[200];
        std::snprintf(extent, sizeof extent, "Extent: (%f, %f) - (%f, %f)", xmin, ymin, xmax, ymax);
        EXPECT_NE(oi.find(extent), std::string::npos) << extent << "\n" << oi;

        // dbfdump: the same values, the texts in Windows-1252 as stored.
        const auto rows = dbfdump(dir / "x.dbf");
        ASSERT_EQ(rows.size(), c.records.size());
        for (size_t i = 0; i < rows.size(); ++i)
            for (const char* name : {"NAME", "HEIGHT", "COUNT"}) {
                std::string want = c.records[i]["values"][name];
                if (auto at = want.find("\xC3\xAB"); at != std::string::npos) want.replace(at, 2, "\xEB");
                EXPECT_EQ(rows[i].at(name), want) << i << name;
            }
    }
}

TEST(ShapesPeer, WeReadWhatOgr2ogrWrites)
{
    if (!have("ogr2ogr") || !have("dbfdump")) GTEST_SKIP() << "GDAL or shapelib tools missing";
    struct Layer {
        const char* wkt;
        int type;
        json parts;
    };
    const Layer layers[] = {
        {"POINT (1.5 -2.25)", 1, {{{1.5, -2.25}}}},
        {"MULTILINESTRING ((0 0,1 1,2 0),(5 5,6 7))", 3, {{{0, 0}, {1, 1}, {2, 0}}, {{5, 5}, {6, 7}}}},
        {"POLYGON ((0 0,0 10,10 10,10 0,0 0),(2 2,4 2,4 4,2 4,2 2))", 5,
         {{{0, 0}, {0, 10}, {10, 10}, {10, 0}, {0, 0}}, {{2, 2}, {4, 2}, {4, 4}, {2, 4}, {2, 2}}}},
        {"MULTIPOINT ((0 0),(1 1),(-5 5))", 8, {{{0, 0}, {1, 1}, {-5, 5}}}},
    };
    for (const Layer& l : layers) {
        SCOPED_TRACE(l.wkt);
        ScratchDir dir;
        write_text(dir / "in.csv", std::string("WKT,NAME,HEIGHT\n\"") + l.wkt + "\",first,12.5\n\"" + l.wkt +
                                       "\",second,-3\n");
        ASSERT_EQ(run("ogr2ogr -q -f 'ESRI Shapefile' '" + dir / "out.shp" + "' '" + dir / "in.csv" +
                      "' -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO -oo AUTODETECT_TYPE=YES")
                      .exit,
                  0);
        const json d = probe("dump " + dir / "out.shp");
        EXPECT_EQ(d["type"], l.type);
        ASSERT_EQ(d["count"], 2);
        for (int i = 0; i < 2; ++i) {
            EXPECT_EQ(d["records"][i]["null"], false);
            EXPECT_EQ(d["records"][i]["parts"], l.parts);
        }
        ASSERT_EQ(d["fields"].size(), 2u);
        EXPECT_EQ(d["fields"][0].get<std::string>().rfind("NAME,C,", 0), 0u);
        EXPECT_EQ(d["fields"][1].get<std::string>().rfind("HEIGHT,N,", 0), 0u);
        EXPECT_EQ(trim(d["rows"][0][0]), "first");
        EXPECT_EQ(std::stod(d["rows"][0][1].get<std::string>()), 12.5);
        EXPECT_EQ(trim(d["rows"][1][0]), "second");
        EXPECT_EQ(std::stod(d["rows"][1][1].get<std::string>()), -3);
    }
}

TEST(ShapesPeer, ExtendingTablesOgr2ogrWrote)
{
    if (!have("ogr2ogr") || !have("dbfdump")) GTEST_SKIP() << "GDAL or shapelib tools missing";
    ScratchDir dir;
    write_text(dir / "in.csv", "WKT,NAME\n\"POINT (1 2)\",alpha\n\"POINT (3 4)\",beta\n");
    for (const char* where : {"", " -where \"NAME='none'\""}) {
        SCOPED_TRACE(where);
        std::error_code ec;
        std::filesystem::remove_all(dir / "t", ec);
        ASSERT_EQ(run("ogr2ogr -q -f 'ESRI Shapefile' '" + dir / "t" + "' '" + dir / "in.csv" +
                      "' -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO" + where)
                      .exit,
                  0);
        const std::string dbf = dir / "t/in.dbf";
        const auto before = dbfdump(dbf);
        EXPECT_EQ(probe("addfield " + dbf + " Extra,C,6")["result"], true);
        EXPECT_EQ(probe("addfield " + dbf + " Num,N,7,2")["result"], true);
        const json r = probe("addrecord " + dbf + " NAME=gamma EXTRA=new NUM=-2.5");
        EXPECT_EQ(r["record"], before.size() + 1);
        EXPECT_EQ(r["put"], json({true, true, true}));
        const auto after = dbfdump(dbf);
        ASSERT_EQ(after.size(), before.size() + 1);
        for (size_t i = 0; i < before.size(); ++i) {
            EXPECT_EQ(after[i].at("NAME"), before[i].at("NAME"));
            EXPECT_EQ(after[i].at("EXTRA"), "(NULL)"); // blank
            EXPECT_EQ(after[i].at("NUM"), "0.00");
        }
        EXPECT_EQ(after.back().at("NAME"), "gamma");
        EXPECT_EQ(after.back().at("EXTRA"), "new");
        EXPECT_EQ(after.back().at("NUM"), "-2.50");
    }
}
