// The library and the lists against PROJ's own programs: cs2cs for
// conversions, projinfo for the list lines, gdal_create for grid files.
#include "tests/platform/proj/proj_test_support.h"

#include <cstdio>
#include <fstream>
#include <set>
#include <sstream>
#include <vector>

using namespace proj_test;

namespace {

std::string run(const std::string& command)
{
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) return out;
    char buf[4096];
    while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    EXPECT_EQ(pclose(p), 0) << command;
    return out;
}

// cs2cs from the WGS84 source to `to` for one point in degrees; two numbers.
std::pair<double, double> cs2cs(const std::string& to, double lon, double lat)
{
    std::ostringstream cmd;
    cmd.precision(17);
    cmd << "echo '" << lon << ' ' << lat << "' | cs2cs -f %.12f +proj=longlat +ellps=WGS84 +datum=WGS84 +no_defs +to "
        << to << " 2>&1";
    std::istringstream in(run(cmd.str()));
    double x = NAN, y = NAN;
    in >> x >> y;
    return {x, y};
}

// The "+" tokens of a list line: what the program hands over.
std::string parameters(const std::string& line)
{
    std::istringstream in(line);
    std::string token, out;
    while (in >> token)
        if (token[0] == '+') out += (out.empty() ? "" : " ") + token;
    return out;
}

std::vector<std::string> list_lines(const std::string& name)
{
    std::ifstream in(std::string(TREKFOLD_BINARY_DIR) + "/bin/proj/nad/" + name);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string line_for(const std::vector<std::string>& lines, const std::string& code)
{
    for (const auto& l : lines)
        if (l.rfind("<" + code + ">", 0) == 0) return l;
    ADD_FAILURE() << "no line for " << code;
    return {};
}

TEST(ProjPeer, ConversionsAgreeWithCs2cs)
{
    ProgramFolder folder;
    auto lib = platform::make_proj_library(folder.path.string());
    const auto epsg = list_lines("epsg");
    const auto esri = list_lines("esri");
    struct Case {
        std::string definition;
        double lon, lat;
    };
    const Case cases[] = {
        {parameters(line_for(epsg, "26915")), -93.5, 45.25},   // NAD83 UTM
        {parameters(line_for(epsg, "31467")), 9.0, 50.0},      // seven parameters
        {parameters(line_for(epsg, "27572")), 2.5, 46.5},      // Paris meridian, three parameters
        {parameters(line_for(epsg, "3857")), 10.0, 50.0},      // sphere, @null grid
        {parameters(line_for(epsg, "2193")), 174.0, -41.0},    // NZTM
        {parameters(line_for(esri, "102003")), -96.0, 40.0},   // NAD83 Albers
        {"+proj=utm +zone=32 +ellps=intl +towgs84=-87,-98,-121 +units=m +no_defs", 9.0, 50.0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.definition);
        const auto ours = forward(*lib, c.definition, c.lon, c.lat);
        const auto peer = cs2cs(c.definition, c.lon, c.lat);
        ASSERT_EQ(ours.status, 0);
        EXPECT_NEAR(ours.x, peer.first, 1e-3);
        EXPECT_NEAR(ours.y, peer.second, 1e-3);
    }
}

TEST(ProjPeer, GridsInTheProgramFolderComeFirstAndMatchCs2cs)
{
    ProgramFolder folder;
    // Two NTv2 grids under the old NAD27 names: one over Minnesota, one
    // over Quebec, with different constant shifts (arc seconds).
    const auto make_grid = [&](const std::string& name, const char* bounds, const char* dlat, const char* dlon) {
        run("gdal_create -q -of NTv2 -ot Float32 -outsize 21 21 -bands 4 -burn " + std::string(dlat) + " -burn " +
            dlon + " -burn 0 -burn 0 -a_srs EPSG:4267 -a_ullr " + bounds + " '" + (folder.nad() / name).string() +
            "' 2>&1");
    };
    make_grid("conus.dat", "-100 50 -90 40", "1.5", "-2.5");
    make_grid("ntv1_can.dat", "-80 50 -70 44", "-3", "4");
    auto lib = platform::make_proj_library(folder.path.string());

    const std::string nad27 = "+proj=utm +zone=15 +ellps=clrk66 +datum=NAD27 +units=m +no_defs";
    const std::string nad27_geo = "+proj=longlat +ellps=clrk66 +datum=NAD27 +no_defs";
    const std::string grids = " +nadgrids=conus.dat,ntv1_can.dat";
    const std::string by_path = " +nadgrids=" + (folder.nad() / "conus.dat").string() + "," +
                                (folder.nad() / "ntv1_can.dat").string();

    const auto utm = forward(*lib, nad27 + grids, -93.5, 45.25);
    const auto peer = cs2cs(nad27 + by_path, -93.5, 45.25);
    ASSERT_EQ(utm.status, 0);
    EXPECT_NEAR(utm.x, peer.first, 1e-3);
    EXPECT_NEAR(utm.y, peer.second, 1e-3);
    // The grid really moved the point.
    const auto unshifted = forward(*lib, nad27 + " +nadgrids=@null", -93.5, 45.25);
    EXPECT_GT(std::hypot(utm.x - unshifted.x, utm.y - unshifted.y), 10.0);

    // A point only the second grid covers.
    const auto geo = forward(*lib, nad27_geo + grids, -75.0, 47.0);
    const auto geo_peer = cs2cs(nad27_geo + by_path, -75.0, 47.0);
    ASSERT_EQ(geo.status, 0);
    EXPECT_NEAR(geo.x / kDegToRad, geo_peer.first, 1e-9);
    EXPECT_NEAR(geo.y / kDegToRad, geo_peer.second, 1e-9);
    EXPECT_GT(std::fabs(geo.x / kDegToRad + 75.0), 1e-4);
}

struct ProjinfoAnswer {
    std::string proj, esri_name, datum_tokens;
};

ProjinfoAnswer projinfo(const std::string& object)
{
    std::istringstream in(run("projinfo -o PROJ,WKT1:ESRI,WKT2:2019 --single-line " + object));
    ProjinfoAnswer a;
    std::string line, wkt2, esri;
    for (std::string* next = nullptr; std::getline(in, line);) {
        if (next) {
            *next = line;
            next = nullptr;
        } else if (line == "PROJ.4 string:") {
            next = &a.proj;
        } else if (line == "WKT1:ESRI string:") {
            next = &esri;
        } else if (line == "WKT2:2019 string:") {
            next = &wkt2;
        }
    }
    const auto q = esri.find('"');
    if (q != std::string::npos) a.esri_name = esri.substr(q + 1, esri.find('"', q + 1) - q - 1);
    if (wkt2.find("ENSEMBLE[\"World Geodetic System 1984 ensemble\"") != std::string::npos)
        a.datum_tokens = "+ellps=WGS84 +datum=WGS84";
    else if (wkt2.find("DATUM[\"North American Datum 1983\"") != std::string::npos)
        a.datum_tokens = "+ellps=GRS80 +datum=NAD83";
    else if (wkt2.find("DATUM[\"North American Datum 1927\"") != std::string::npos)
        a.datum_tokens = "+ellps=clrk66 +datum=NAD27";
    return a;
}

// The list line projinfo's answer gives by the rule.
std::string expected_line(const std::string& code, const ProjinfoAnswer& a)
{
    std::istringstream in(a.proj);
    std::string token, params;
    bool replaced = false;
    while (in >> token) {
        if (token == "+type=crs") continue;
        const bool datum = token.rfind("+ellps=", 0) == 0 || token.rfind("+towgs84=", 0) == 0 ||
                           token.rfind("+datum=", 0) == 0;
        if (datum && !a.datum_tokens.empty()) {
            if (!replaced) params += (params.empty() ? "" : " ") + a.datum_tokens;
            replaced = true;
            continue;
        }
        params += (params.empty() ? "" : " ") + token;
    }
    return "<" + code + "> " + params + "  no_defs <>";
}

TEST(ProjPeer, SampledListLinesFollowProjinfo)
{
    const auto epsg = list_lines("epsg");
    const auto esri = list_lines("esri");
    ASSERT_GT(epsg.size(), 1000u);
    ASSERT_GT(esri.size(), 1000u);
    // 40 definitions spread over epsg, 10 over esri (its own codes among them).
    std::set<std::string> epsg_codes;
    for (const auto& l : epsg)
        if (l[0] == '<') epsg_codes.insert(l.substr(1, l.find('>') - 1));
    const auto check = [&](const std::vector<std::string>& lines, std::size_t samples, bool esri_names) {
        const std::size_t pairs = lines.size() / 2;
        for (std::size_t k = 0; k < samples; ++k) {
            const std::size_t i = (k * (pairs - 1)) / (samples - 1);
            const auto& description = lines[2 * i];
            const auto& definition = lines[2 * i + 1];
            const auto code = definition.substr(1, definition.find('>') - 1);
            const bool own_esri = esri_names && epsg_codes.count(code) == 0;
            const auto a = projinfo((own_esri ? "ESRI:" : "EPSG:") + code);
            EXPECT_EQ(definition, expected_line(code, a));
            if (esri_names && !own_esri) {
                EXPECT_EQ(description, "# " + a.esri_name);
            }
        }
    };
    check(epsg, 40, false);
    check(esri, 10, true);
}

} // namespace
