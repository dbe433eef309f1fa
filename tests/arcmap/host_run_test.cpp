// The extension in the map host, run from outside as the main program's
// peer would: each run with its own settings, runtime and TEMP folders.
// cs2cs and projinfo are the projection peers.
#include "tests/tools/program.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

namespace fs = std::filesystem;
using json = nlohmann::json;
const std::string kBar = "{F1F911DD-E0FD-4267-8A53-2E8FC5C0470A}";
const std::string kLib = TREKFOLD_BINARY_DIR "/bin/libtrekfold_arcgis.so";

std::string peer(const std::string& command)
{
    std::string out;
    if (FILE* p = ::popen(command.c_str(), "r")) {
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
        ::pclose(p);
    }
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
    return out;
}

std::string quote(const std::string& s) { return "'" + s + "'"; }

// cs2cs's NAD 83 / UTM zone 15N coordinates of "lon lat" lines.
std::vector<double> cs2cs(const std::string& lines)
{
    std::istringstream in(peer("printf -- '" + lines + "' | cs2cs -f %.6f +proj=longlat +datum=WGS84 +to EPSG:26915"));
    std::vector<double> v;
    for (double d; in >> d;) v.push_back(d);
    return v;
}
const std::string kUtm15 = peer("projinfo -q -o WKT1_ESRI EPSG:26915");

struct Run : ::testing::Test {
    std::string home;
    void SetUp() override
    {
        char dir[] = "/tmp/arcmap-run-XXXXXX";
        ASSERT_TRUE(::mkdtemp(dir));
        home = dir;
    }
    void TearDown() override { fs::remove_all(home); }
    // The host with the words `args` and the library `lib` (a path: given
    // with --extension; an option such as "--register LIB": as it is).
    std::vector<json> run(const std::string& args, const std::string& lib = kLib)
    {
        const auto r = tools_test::Run_Program("env XDG_CONFIG_HOME=" + home + " XDG_RUNTIME_DIR=" + home +
                                               " TMPDIR=" + home + " " TREKFOLD_BINARY_DIR "/bin/maphost --headless " +
                                               (lib.empty() || lib[0] == '-' ? lib : "--extension " + quote(lib)) + " " + args);
        EXPECT_EQ(r.status, 0) << r.err;
        std::vector<json> out;
        std::istringstream in(r.out);
        for (std::string line; std::getline(in, line);) out.push_back(json::parse(line));
        return out;
    }
    std::string write(const std::string& name, const std::string& text)
    {
        std::ofstream(home + "/" + name) << text;
        return home + "/" + name;
    }
};

TEST_F(Run, ToolbarMenuAndCommandsRegisteredOrGiven)
{
    auto l = run("toolbar " + kBar + " dump");
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[0], json({{"toolbar", kBar}, {"found", true}, {"name", "Trekfold Toolbar"}}));
    const json& items = l[1]["dump"]["toolbars"][0]["items"];
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[0]["menu"]["caption"], "Trekfold Menu");
    std::vector<std::string> menu;
    for (const json& i : items[0]["items"])
        menu.push_back(i["command"]["caption"].get<std::string>() + (i["group"] ? "|" : ""));
    EXPECT_EQ(menu, (std::vector<std::string>{"Open Trekfold", "Osv Help File Index...|", "About Trekfold..."}));
    EXPECT_EQ(items[1]["command"], json::parse(R"({"enabled":true,"checked":false,"name":"TREKFOLD_Open",
        "caption":"Open Trekfold","tooltip":"Open Trekfold","message":"Open Trekfold","help_file":"",
        "help_context_id":0,"bitmap":0,"category":"TREKFOLD"})"));
    EXPECT_EQ(items[0]["items"][2]["command"]["message"], "Returns Trekfold version");
    EXPECT_EQ(items[0]["items"][1]["command"]["name"], "TREKFOLD_Help");

    run("", "--register " + kLib);
    EXPECT_EQ(run("toolbar " + kBar, "")[0]["found"], true);
    run("", "--unregister " + kLib);
    EXPECT_EQ(run("toolbar " + kBar, "")[0]["found"], false);
}

TEST_F(Run, OpenStartsTheProgramBesideTheLibraryElseSaysWhere)
{
    auto l = run("--no-launch click TREKFOLD_ARCMAP.clsCommandOpen click TREKFOLD_ARCMAP.clsCommandOpen");
    const json launch = {{"launch", {TREKFOLD_BINARY_DIR "/bin/trekfold"}}};
    EXPECT_EQ(std::count(l.begin(), l.end(), launch), 2);

    // The library alone in a folder of its own.
    fs::create_directories(home + "/alone");
    fs::copy_file(kLib, home + "/alone/libtrekfold_arcgis.so");
    l = run("--no-launch click TREKFOLD_ARCMAP.clsCommandOpen", home + "/alone/libtrekfold_arcgis.so");
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[1]["box"], "Error #: 1 - Could not find trekfold.exe at /opt/trekfold/bin/trekfold");
    EXPECT_EQ(l[1]["title"], "Trekfold_ArcMap");

    // A stand-in program beside it runs for real, once per click, without arguments.
    const std::string stand_in = write("alone/trekfold", "#!/bin/sh\necho \"$#\" >> " + home + "/ran\n");
    fs::permissions(stand_in, fs::perms::owner_all);
    run("click TREKFOLD_ARCMAP.clsCommandOpen click TREKFOLD_ARCMAP.clsCommandOpen",
        home + "/alone/libtrekfold_arcgis.so");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (tools_test::Slurp(home + "/ran") != "0\n0\n" && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(tools_test::Slurp(home + "/ran"), "0\n0\n");
}

TEST_F(Run, ClassBeforeTheToolbarIsShown)
{
    auto l = run("create Trekfold_ArcMap.clsArcMap call Get_WindowHandle call Set_WindowHandle '{\"long\":1234}' "
                 "call Get_WindowHandle call RT_SendPoint -93.5 45.25 460764 5010844 0.75 call DataFrame_Refresh "
                 "call Project_XY -93.5 45.25 false '\"\"' " + quote(json(kUtm15).dump()) + " dump");
    ASSERT_EQ(l.size(), 8u);
    EXPECT_EQ(l[1]["result"], -1);
    EXPECT_EQ(l[2]["result"], nullptr);
    EXPECT_EQ(l[3]["result"], 1234);
    EXPECT_EQ(l[4]["result"], false);
    EXPECT_EQ(l[5]["error"]["number"], 91);
    EXPECT_EQ(l[6]["result"], true);
    EXPECT_TRUE(l[7]["dump"]["document"]["maps"][0]["layers"].empty()); // nothing drawn, no box
}

TEST_F(Run, ProjectionAgainstCs2cs)
{
    const std::string& wkt = kUtm15;
    ASSERT_FALSE(wkt.empty());
    const auto want = cs2cs("-93.5 45.25\\n-93.4 45.3\\n-93.45 45.2\\n");
    ASSERT_EQ(want.size(), 9u);
    const double ex = want[0], ey = want[1];
    const std::string desc = json(wkt).dump();
    auto l = run("create Trekfold_ArcMap.clsArcMap call Project_XY -93.5 45.25 false '\"\"' " + quote(desc));
    ASSERT_EQ(l.size(), 2u);
    EXPECT_NEAR(l[1]["args"][0].get<double>(), ex, 1e-3);
    EXPECT_NEAR(l[1]["args"][1].get<double>(), ey, 1e-3);
    EXPECT_EQ(tools_test::Slurp(home + "/TREKFOLD_PRJ.PRJ"), wkt + "\n");
    l = run("create Trekfold_ArcMap.clsArcMap call Project_XY " + std::to_string(ex) + " " + std::to_string(ey) +
            " true '\"\"' " + quote(desc));
    EXPECT_NEAR(l[1]["args"][0].get<double>(), -93.5, 1e-9);
    EXPECT_NEAR(l[1]["args"][1].get<double>(), 45.25, 1e-9);

    write("pairs.json", "[[[-93.5,45.25],[\"-93.4\",\"45.3\"],[\"-93.45 m\",\"45.2x\"]], false, \"\", " + desc + "]");
    l = run("create Trekfold_ArcMap.clsArcMap call project_XYs @" + home + "/pairs.json");
    ASSERT_EQ(l[1]["result"], true);
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(l[1]["args"][0][i][0].get<double>(), want[3 * i], 1e-3) << i;
        EXPECT_NEAR(l[1]["args"][0][i][1].get<double>(), want[3 * i + 1], 1e-3) << i;
    }

    fs::remove(home + "/TREKFOLD_PRJ.PRJ");
    const std::string file = write("utm.prj", wkt);
    std::string unknown = wkt;
    unknown.replace(unknown.find("NAD_1983_UTM_Zone_15N"), 21, "Unknown");
    l = run("create Trekfold_ArcMap.clsArcMap call Project_XY -93.5 45.25 false " + quote(json(file).dump()) + " " +
            quote(desc) + " call Project_XY -93.5 45.25 call Project_XY -93.5 45.25 false " +
            quote(json(write("u.prj", unknown)).dump()) + " call Project_XY -93.5 45.25 false " +
            quote(json(write("bad.prj", "PROJCS[")).dump()));
    ASSERT_EQ(l.size(), 6u);
    EXPECT_EQ(l[1]["result"], true);
    EXPECT_FALSE(fs::exists(home + "/TREKFOLD_PRJ.PRJ")); // srFile was used
    EXPECT_EQ(l[2], json::parse(R"({"call":"Project_XY","result":false,"args":[-93.5,45.25]})"));
    EXPECT_EQ(l[3]["result"], false);
    EXPECT_EQ(l[3]["args"][0], -93.5);
    EXPECT_EQ(l[4]["box"].get<std::string>().rfind("Error Projecting Lat/Long.  #: ", 0), 0u);
    EXPECT_EQ(l[5]["result"], false);
}

TEST_F(Run, RealTimeInADocumentInUtmZone15)
{
    const std::string doc = write("doc.json", R"({"maps":[{"spatial_reference":26915,
        "extent":[460000,5010000,462000,5012000]}]})");
    const auto want = cs2cs("-93.5 45.25\\n");
    ASSERT_EQ(want.size(), 3u);
    const std::string fix = " call RT_SendPoint -93.5 45.25 0 0 0.75 0 ";
    auto l = run("--doc " + doc + " toolbar " + kBar + " create Trekfold_ArcMap.clsArcMap" + fix +
                 "'{\"missing\":true}' true 0 0 true dump" + fix + "2 true 0 0 true" + fix + "2 true 0 0 true dump");
    std::vector<json> redraws, results, dumps;
    for (const json& j : l) {
        if (j.contains("redraw")) redraws.push_back(j["redraw"]);
        if (j.contains("call")) results.push_back(j["result"]);
        if (j.contains("dump")) dumps.push_back(j["dump"]);
    }
    ASSERT_EQ(results, (std::vector<json>{true, true, true}));
    ASSERT_EQ(dumps.size(), 2u);
    ASSERT_FALSE(redraws.empty());
    EXPECT_EQ(redraws[0], json({{"whole", true}}));
    EXPECT_EQ(dumps[0]["application"]["rotation"], 90.0);
    const json layer = dumps[0]["document"]["maps"][0]["layers"][0];
    EXPECT_EQ(layer["name"], "TREKFOLD_REALTIME");
    ASSERT_EQ(layer["elements"].size(), 2u);
    const json zone = layer["elements"][0], marker = layer["elements"][1];
    EXPECT_NEAR(marker["geometry"]["point"][0].get<double>(), want[0], 1e-3);
    EXPECT_NEAR(marker["geometry"]["point"][1].get<double>(), want[1], 1e-3);
    EXPECT_EQ(marker["symbol"]["clsid"], "{88539431-E06E-11D1-B277-0000F878229E}");
    EXPECT_EQ(marker["symbol"]["color"], json({255, 0, 0}));
    EXPECT_EQ(marker["symbol"]["angle"], 0.0);
    EXPECT_EQ(zone["type"], "polygon");
    EXPECT_EQ(zone["outline"]["transparency"], 150);
    EXPECT_EQ(zone["fill"]["transparency"], 0);
    const json ring = zone["geometry"]["polygon"][0];
    EXPECT_NEAR(ring[0][0].get<double>(), 460250, 1e-3); // lower-left turned by -90: upper-left
    EXPECT_NEAR(ring[0][1].get<double>(), 5011750, 1e-3);
    EXPECT_NEAR(ring[2][0].get<double>(), 461750, 1e-3);
    EXPECT_NEAR(ring[2][1].get<double>(), 5010250, 1e-3);
    // The trail: sizes 2, 2, 8 oldest first.
    std::vector<double> sizes;
    for (const json& e : dumps[1]["document"]["maps"][0]["layers"][0]["elements"])
        if (e["type"] == "marker") sizes.insert(sizes.begin(), e["symbol"]["size"].get<double>());
    EXPECT_EQ(sizes, (std::vector<double>{2, 2, 8}));

    // The refresh setting, a map without a coordinate system, and removal.
    write("flag.json", R"({"refresh_flag":true,"maps":[{"extent":[0,0,10,10]}]})");
    l = run("--doc " + home + "/flag.json toolbar " + kBar + " create Trekfold_ArcMap.clsArcMap" +
            " call RT_SendPoint -93.5 45.25 4 6 0.75 0 0 true 0 0 false call RT_Graphics_Delete dump");
    ASSERT_EQ(l.size(), 6u);
    EXPECT_EQ(l[2]["result"], false);
    EXPECT_EQ(l[3], json({{"redraw", {{"whole", true}}}})); // only the removal's
    EXPECT_TRUE(l[5]["dump"]["document"]["maps"][0]["layers"].empty());
}

TEST_F(Run, HelpAndAboutBesideTheLibrary)
{
    const std::string dir = home + "/odd folder; rm x";
    fs::create_directories(dir);
    fs::copy_file(kLib, dir + "/libtrekfold_arcgis.so");
    fs::create_symlink(TREKFOLD_BINARY_DIR "/bin/trekfold", dir + "/trekfold");
    auto l = run("--no-launch click TREKFOLD_ARCMAP.clsCommandHelp click TREKFOLD_ARCMAP.clsCommandAbout",
                 dir + "/libtrekfold_arcgis.so");
    ASSERT_EQ(l.size(), 4u);
    EXPECT_EQ(l[1]["box"].get<std::string>().rfind("Garmin documentation could not be found at " + dir + ".", 0), 0u);
    EXPECT_EQ(l[3]["window"], "frmAbout");
    const std::string version = l[3]["controls"]["lblVersion"]["text"];
    EXPECT_EQ(version.find(" - \r"), std::string::npos) << version;
    EXPECT_NE(version.back(), ' ') << version;

    write("odd folder; rm x/TRAINING.CHM", "x");
    write("odd folder; rm x/Trekfold.chm", "x");
    l = run("--no-launch click TREKFOLD_ARCMAP.clsCommandHelp", dir + "/libtrekfold_arcgis.so");
    ASSERT_EQ(l.size(), 2u);
    EXPECT_EQ(l[1], json({{"launch", {"xdg-open", dir + "/TRAINING.CHM"}}}));
}

} // namespace

namespace {

TEST_F(Run, ShapefileLayerMeasuredIndexedAndAddedOnce)
{
    fs::create_directories(home + "/trekfold");
    write("trekfold/trekfold.ini", "[fields]\nam_area=1\nam_area_multiplier=0.0001\nam_length=1\nam_length_multiplier=1\n");
    write("sq.csv", "id,WKT\n1,\"POLYGON((460000 5010000,460000 5010100,460100 5010100,460100 5010000,460000 5010000))\"\n"
                    "2,\"POLYGON EMPTY\"\n");
    const std::string shp = home + "/data/square.shp";
    fs::create_directories(home + "/data");
    ASSERT_EQ(std::system(("ogr2ogr -f 'ESRI Shapefile' " + quote(shp) + " " + quote(home + "/sq.csv") +
                           " -oo GEOM_POSSIBLE_NAMES=WKT -nlt POLYGON -a_srs EPSG:26915 2>&1")
                              .c_str()),
              0);
    const std::string doc = write("doc.json", R"({"maps":[{"spatial_reference":26915}]})");
    const std::string add = " call Shapefile_ToDataFrame " + quote(json(shp).dump());
    auto l = run("--doc " + doc + " toolbar " + kBar + " create Trekfold_ArcMap.clsArcMap" + add + add + " dump");
    for (const json& j : l) EXPECT_FALSE(j.contains("box")) << j;
    ASSERT_TRUE(l.back().contains("dump"));
    const json contents = l.back()["dump"]["document"]["maps"][0]["contents"];
    ASSERT_EQ(contents.size(), 1u);
    EXPECT_EQ(contents[0]["class"]["indexes"], json::parse(R"([{"fields":["Shape"],"name":"idx_spatial"}])"));
    EXPECT_TRUE(fs::exists(home + "/data/square.qix"));
    const std::string info = peer("ogrinfo -al " + quote(shp));
    EXPECT_NE(info.find("Area: Real (15.3)"), std::string::npos) << info;
    EXPECT_NE(info.find("Area (Real) = 1.000"), std::string::npos) << info;
    EXPECT_NE(info.find("Perimeter (Real) = 400.000"), std::string::npos) << info;
    EXPECT_NE(info.find("Area (Real) = -1.000"), std::string::npos) << info;
}

TEST_F(Run, GraphicsDrawnAtTheProjectedPositionsAndTakenBack)
{
    const std::string doc = write("doc.json", R"({"maps":[{"spatial_reference":26915}]})");
    const auto want = cs2cs("-93.5 45.25\\n-93.4 45.3\\n");
    ASSERT_EQ(want.size(), 6u);
    auto l = run("--doc " + doc + " toolbar " + kBar + " create Trekfold_ArcMap.clsArcMap" +
                 " call Graphics_SaveTo '\"line\"' '\"45.25\"' '\"-93.5\"' '\"0\"' '\"0\"' true false" +
                 " call Graphics_SaveTo '\"line\"' '\"45.3\"' '\"-93.4\"' '\"0\"' '\"0\"' false true" +
                 " select-graphics all call Graphics_LoadFrom");
    const json& got = l.back()["result"];
    ASSERT_TRUE(got.contains("2d")) << l.back();
    ASSERT_EQ(got["2d"].size(), 7u);
    EXPECT_EQ(got["2d"][0][1], "TRACK");
    EXPECT_NEAR(std::stod(got["2d"][5][1].get<std::string>()), want[0], 1e-6);
    EXPECT_NEAR(std::stod(got["2d"][4][2].get<std::string>()), want[4], 1e-6);
    EXPECT_EQ(got["2d"][6][1], true);
    EXPECT_EQ(got["2d"][6][2], false);
}

} // namespace
