// maphost run from outside, as a user or another program runs it, with the
// stand-in extension; each run gets its own settings folder.
#include "tests/tools/program.h"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using json = nlohmann::json;
const char* const kBar = "{0E2D1C3B-4A5F-4E6D-8C7B-9A0B1C2D3E4F}";

struct Host {
    std::string home;
    Host()
    {
        char dir[] = "/tmp/maphost-test-XXXXXX";
        home = ::mkdtemp(dir) ? dir : "/tmp";
    }
    ~Host() { std::filesystem::remove_all(home); }
    tools_test::Ran run(const std::string& args) const
    {
        return tools_test::Run_Program("env XDG_CONFIG_HOME=" + home + " TMPDIR=" + home + " " TREKFOLD_MAPHOST +
                                       std::string(" --headless ") + args);
    }
    static std::vector<json> lines(const tools_test::Ran& r)
    {
        std::vector<json> out;
        std::istringstream in(r.out);
        for (std::string line; std::getline(in, line);) out.push_back(json::parse(line));
        return out;
    }
};

std::string ext() { return std::string("--extension ") + MAPHOST_STAND_IN + " "; }

} // namespace

TEST(Maphost, ToolbarShownCreatesItemsAndClicksLaunch)
{
    Host h;
    auto r = h.run("--no-launch " + ext() + "dump toolbar " + kBar +
                   " click STANDIN_LIB.clsStart click standin_lib.clsstart dump");
    ASSERT_EQ(r.status, 0) << r.err;
    auto l = Host::lines(r);
    ASSERT_EQ(l.size(), 7u) << r.out;
    const json& before = l[0]["dump"]["toolbars"][0];
    EXPECT_EQ(before["visible"], false);
    EXPECT_TRUE(before["items"].empty()); // hidden: nothing created yet
    EXPECT_EQ(l[1], json({{"toolbar", kBar}, {"found", true}, {"name", "Stand-in Bar"}}));
    EXPECT_EQ(l[2], json({{"click", "STANDIN_LIB.clsStart"}}));
    EXPECT_EQ(l[3], json({{"launch", {"stand-in-program"}}}));
    EXPECT_EQ(l[5], json({{"launch", {"stand-in-program"}}}));
    const json& bar = l[6]["dump"]["toolbars"][0];
    EXPECT_EQ(bar["caption"], "Stand-in Bar caption");
    EXPECT_EQ(bar["visible"], true);
    const json& items = bar["items"];
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0]["menu"]["caption"], "Stand-in Menu");
    EXPECT_EQ(items[0]["items"][1]["progid"], "StandIn_Lib.clsQuiet");
    EXPECT_EQ(items[0]["items"][1]["group"], true);
    EXPECT_EQ(items[1]["command"], json::parse(R"({"enabled":true,"checked":false,"name":"STANDIN_Start",
        "caption":"Start It","tooltip":"tip","message":"message","help_file":"","help_context_id":7,
        "bitmap":0,"category":"STANDIN"})"));
    EXPECT_EQ(items[2]["error"], "ActiveX component can't create object");
}

TEST(Maphost, WithoutNoLaunchTheProgramRunsForRealOncePerClick)
{
    Host h;
    const std::string program = h.home + "/stand-in-program";
    std::ofstream(program) << "#!/bin/sh\necho \"ran $#\" >> " << h.home << "/ran\n";
    std::filesystem::permissions(program, std::filesystem::perms::owner_all);
    auto r = tools_test::Run_Program("env PATH=" + h.home + ":/usr/bin:/bin XDG_CONFIG_HOME=" + h.home + " " +
                                     TREKFOLD_MAPHOST + " --headless " + ext() + "toolbar " + kBar +
                                     " click STANDIN_LIB.clsStart click STANDIN_LIB.clsStart");
    ASSERT_EQ(r.status, 0) << r.err;
    // The program runs detached: wait for both runs, with a generous deadline.
    std::string ran;
    for (int i = 0; i < 600 && ran != "ran 0\nran 0\n"; ++i) {
        ::usleep(100000);
        ran = tools_test::Slurp(h.home + "/ran");
    }
    EXPECT_EQ(ran, "ran 0\nran 0\n");
}

TEST(Maphost, CallsConvertArgumentsAndReportResultsErrorsWindowsAndRedraws)
{
    Host h;
    std::ofstream(h.home + "/args.json") << R"([[1, 2], "x"])";
    auto r = h.run(ext() + "create StandIn_Lib.clsThing call Twice 21 "
                   R"(call Echo '{"2d":[[1,2],[3,4]]}' '{"long":5}' '{"missing":true}' null '"t"' call Echo @)" +
                   h.home + "/args.json call Draw 1 2 toolbar " + kBar +
                   R"( call Draw 5 6 call Echo '{"object":1}' call Fail answer No call Ask '"Go?"' call ShowWindow)");
    ASSERT_EQ(r.status, 0) << r.err;
    auto l = Host::lines(r);
    ASSERT_GE(l.size(), 14u) << r.out;
    EXPECT_EQ(l[0], json({{"create", "StandIn_Lib.clsThing"}, {"object", 0}}));
    EXPECT_EQ(l[1], json::parse(R"({"call":"Twice","result":true,"args":[42.0]})"));
    EXPECT_EQ(l[2], json::parse(R"({"call":"Echo","result":{"2d":[[1.0,2.0],[3.0,4.0]]},
        "args":[{"2d":[[1.0,2.0],[3.0,4.0]]},5,{"missing":true},null,"t"]})"));
    EXPECT_EQ(l[3]["result"], json::parse(R"([1.0,2.0])"));
    EXPECT_EQ(l[3]["args"][1], "x");
    EXPECT_EQ(l[4]["error"]["number"], 91); // before the toolbar: no application
    EXPECT_EQ(l[6], json::parse(R"({"status":"drawn"})"));
    EXPECT_EQ(l[7], json::parse(R"({"redraw":{"whole":false,"phase":8,"what":"marker","area":[5.0,6.0,5.0,6.0]}})"));
    EXPECT_EQ(l[8], json::parse(R"({"redraw":{"whole":true}})"));
    EXPECT_EQ(l[9]["result"], json::parse(R"({"object":1,"kind":"point","geometry":{"point":[5.0,6.0]}})"));
    EXPECT_EQ(l[10]["result"]["object"], 1); // the same object given back
    EXPECT_EQ(l[11], json::parse(R"({"error":{"number":91,"source":"clsThing.Fail",
        "description":"Object variable or With block variable not set"}})"));
    EXPECT_EQ(l[12]["box"], "Go?");
    EXPECT_EQ(l[12]["answer"], "No");
    EXPECT_EQ(l[13]["result"], 7);
    EXPECT_EQ(l[14], json::parse(R"({"window":"frmStandIn","caption":"Stand-in window",
        "controls":{"lblText":{"text":"hello","enabled":true,"visible":true,"value":""}}})"));
}

TEST(Maphost, RegisteredLibrariesLoadWithoutExtensionUntilUnregistered)
{
    Host h;
    ASSERT_EQ(h.run(std::string("--register ") + MAPHOST_STAND_IN).status, 0);
    EXPECT_TRUE(std::filesystem::exists(h.home + "/trekfold/registrations.ini"));
    auto r = h.run(std::string("toolbar ") + kBar + " create StandIn_Lib.clsThing");
    ASSERT_EQ(r.status, 0) << r.err;
    auto l = Host::lines(r);
    EXPECT_EQ(l[0]["found"], true);
    EXPECT_EQ(l[1]["object"], 0);
    ASSERT_EQ(h.run(std::string("--unregister ") + MAPHOST_STAND_IN).status, 0);
    l = Host::lines(h.run(std::string("toolbar ") + kBar));
    EXPECT_EQ(l[0], json({{"toolbar", kBar}, {"found", false}}));
}

TEST(Maphost, DocumentsLoadAndBadWordsOrDocumentsFail)
{
    Host h;
    std::ofstream(h.home + "/doc.json") << R"({"refresh_flag":true,"maps":[{"spatial_reference":"EPSG:26915",
        "extent":[460000,5010000,462000,5012000],"layers":[{"name":"A","graphics":[{"type":"marker",
        "geometry":{"point":[1,2]}}]}],"active_graphics_layer":"A"}]})";
    auto r = h.run("--doc " + h.home + "/doc.json dump");
    ASSERT_EQ(r.status, 0) << r.err;
    const json map = Host::lines(r)[0]["dump"]["document"]["maps"][0];
    EXPECT_EQ(map["spatial_reference"]["code"], 26915);
    EXPECT_EQ(map["active_graphics_layer"], "A");
    EXPECT_EQ(map["layers"][0]["elements"][0]["symbol"]["size"], 8.0);
    EXPECT_EQ(Host::lines(r)[0]["dump"]["document"]["refresh_flag"], true);

    std::ofstream(h.home + "/bad.json") << R"({"maps":[{"spatial_reference":"nowhere.prj"}]})";
    EXPECT_EQ(h.run("--doc " + h.home + "/bad.json dump").status, 1);
    EXPECT_EQ(h.run("dump frobnicate").status, 2);
    EXPECT_EQ(h.run("call Echo 1").status, 2); // nothing created
    EXPECT_EQ(h.run(ext() + "create StandIn_Lib.clsThing answer Maybe call Ask '\"q\"'").status, 2);
    EXPECT_NE(h.run("--help").out.find("\"refresh_flag\""), std::string::npos);
}

TEST(Maphost, DataLayersSelectionsAndTheBrowseDialog)
{
    Host h;
    std::ofstream(h.home + "/p.csv") << "name,WKT\na,\"POINT (1 2)\"\nb,\"POINT (3 4)\"\n";
    ASSERT_EQ(tools_test::Run_Program("sh -c 'cd " + h.home +
                                      " && ogr2ogr p.shp p.csv -oo GEOM_POSSIBLE_NAMES=WKT -oo KEEP_GEOM_COLUMNS=NO'")
                  .status,
              0);
    std::ofstream(h.home + "/doc.json") << R"({"maps":[{"graphics":[{"type":"marker","geometry":{"point":[1,2]}},
        {"type":"marker","geometry":{"point":[3,4]}}],
        "contents":[{"type":"group","name":"G","layers":[{"data":"p.shp","selected":[1]},
                                                         {"type":"raster","name":"R","source":"r.tif"}]}]}],
        "selected_layers":["p"]})";
    auto r = h.run("--doc " + h.home + "/doc.json " + ext() + "toolbar " + kBar +
                   " dump select-layer p R select-features p 0 1 select-graphics 1 create StandIn_Lib.clsThing"
                   R"( call Echo '{"layer":"p"}' answer /x/f.gdb/Survey/Tracks call Browse '"/x"' call Browse '"/y"')"
                   " answer 'Other 2' call Units select-graphics none dump");
    ASSERT_EQ(r.status, 0) << r.err;
    auto l = Host::lines(r);
    ASSERT_EQ(l.size(), 14u) << r.out;
    const json& doc = l[1]["dump"]["document"];
    EXPECT_EQ(doc["selected_layer"], "p");
    const json& p = doc["maps"][0]["contents"][0]["layers"][0];
    EXPECT_EQ(p["data"], h.home + "/p.shp");
    EXPECT_EQ(p["class"]["shape_type"], 1);
    EXPECT_EQ(p["class"]["count"], 2);
    EXPECT_EQ(p["class"]["fields"][0], json({{"name", "FID"}, {"type", 6}}));
    EXPECT_EQ(p["selected"], json({1}));
    EXPECT_EQ(l[2], json({{"select-layer", {"p", "R"}}}));
    EXPECT_EQ(l[3], json({{"select-features", "p"}, {"oids", {0, 1}}}));
    EXPECT_EQ(l[4], json({{"select-graphics", {1}}}));
    EXPECT_EQ(l[6]["result"]["kind"], "feature_layer");
    EXPECT_EQ(l[7], json({{"dialog", "Save To Existing Feature Class"}, {"filter", "Polyline feature classes"},
                          {"start", "/x"}, {"answer", "/x/f.gdb/Survey/Tracks"}}));
    EXPECT_EQ(l[8]["result"], "/x/f.gdb/Survey/Tracks");
    EXPECT_EQ(l[10]["result"], nullptr); // nothing queued: cancelled
    EXPECT_EQ(l[11]["result"], "Other 2");
    const json& after = l[13]["dump"]["document"];
    EXPECT_EQ(after["selected_layer"], nullptr); // two selected
    EXPECT_EQ(after["maps"][0]["contents"][0]["layers"][0]["selected"], json({0, 1}));
    EXPECT_TRUE(after["maps"][0]["graphics"]["selected"].empty());

    EXPECT_EQ(h.run("--doc " + h.home + "/doc.json select-layer Nope").status, 2);
    EXPECT_EQ(h.run("--doc " + h.home + "/doc.json select-features R 1").status, 2);
    EXPECT_EQ(h.run("--doc " + h.home + "/doc.json select-graphics 2").status, 2);
    EXPECT_EQ(h.run("select-features").status, 2);
    std::ofstream(h.home + "/bad.json") << R"({"maps":[{"contents":[{"data":"missing.shp"}]}]})";
    EXPECT_EQ(h.run("--doc " + h.home + "/bad.json dump").status, 1);
}
