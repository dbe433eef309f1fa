// brenvik-probe's transfer commands, run in-process against the simulator:
// what they print is what the unit holds, and what they upload from a file
// in that same form arrives.
#include "rig.h"

#include "tools/brenvik-probe/transfer_commands.h"

#include <cstdio>
#include <fstream>

#include <unistd.h>

namespace brenvik::commands_test {
namespace {

// Idents and comments go up in capitals, as the unit's formats ask.
json upper_texts(json j)
{
    if (j.is_array())
        for (auto& e : j) e = upper_texts(e);
    if (j.is_object())
        for (auto it = j.begin(); it != j.end(); ++it) {
            if ((it.key() == "ident" || it.key() == "comment") && it->is_string()) {
                std::string s = *it;
                for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
                *it = s;
            } else if (it->is_structured()) {
                *it = upper_texts(*it);
            }
        }
    return j;
}

struct Probe {
    explicit Probe(Rig& r) : rig(r) {}
    Rig& rig;
    std::vector<json> lines;
    json run(std::vector<std::string> args)
    {
        std::size_t i = 1;
        const probe::Transfer_Command c = probe::Parse_Transfer_Command(args[0], args, i);
        return probe::Run_Transfer_Command(c, *rig.object, [&](const json& j) { lines.push_back(j); });
    }
};

TEST(ProbeCommands, DownloadsPrintTheUnitsRecords)
{
    Rig rig("array-unit");
    Probe p{rig};
    json r = p.run({"waypoints"});
    EXPECT_EQ(r["ok"], true);
    ASSERT_EQ(p.lines.size(), 3u);
    EXPECT_EQ(p.lines[0]["kind"], "waypoint");
    EXPECT_EQ(p.lines[0]["ident"], "HOME");
    EXPECT_EQ(p.lines[0]["time"], "2024-05-01T12:00:00Z");
    EXPECT_EQ(p.lines[1]["comment"], "lake site");

    p.lines.clear();
    p.run({"routes"});
    ASSERT_EQ(p.lines.size(), 2u);
    EXPECT_EQ(p.lines[0]["ident"], "TO CAMP");
    EXPECT_EQ(p.lines[0]["points"].size(), 3u);
    EXPECT_EQ(p.lines[0]["last_link"]["ident"], "L2");

    p.lines.clear();
    p.run({"tracks"});
    ASSERT_EQ(p.lines.size(), 2u);
    EXPECT_EQ(p.lines[0]["ident"], "ACTIVE LOG");
    ASSERT_EQ(p.lines[0]["points"].size(), 3u);
    EXPECT_EQ(p.lines[0]["points"][2]["new_segment"], true);
    EXPECT_EQ(p.lines[1]["display"], false);

    p.lines.clear();
    p.run({"datetime"});
    p.run({"position"});
    p.run({"counts"});
    ASSERT_EQ(p.lines.size(), 3u);
    EXPECT_EQ(p.lines[0]["minute"], 34);
    EXPECT_NEAR(p.lines[1]["lat"].get<double>(), 45.5, 1e-9);
    EXPECT_EQ(p.lines[2]["proximity"], -1);
    EXPECT_EQ(p.lines[2]["waypoints"], 3);
}

TEST(ProbeCommands, PvtPrintsTheStream)
{
    Rig rig("array-unit");
    Probe p{rig};
    json r = p.run({"pvt", "2"});
    EXPECT_GE(r["records"].get<int>(), 1);
    ASSERT_FALSE(p.lines.empty());
    EXPECT_EQ(p.lines[0]["kind"], "pvt");
    EXPECT_NEAR(p.lines[0]["lat"].get<double>(), 45.5, 1e-6);
}

TEST(ProbeCommands, WhatTheProbePrintsUploadsBack)
{
    // Download from one unit, upload the printed lines into another, and
    // download them from there.
    Rig from("array-unit");
    Probe a{from};
    a.run({"waypoints"});
    a.run({"routes"});
    a.run({"tracks"});
    const std::string path = ::testing::TempDir() + "probe_upload_" + std::to_string(::getpid()) + ".jsonl";
    {
        std::ofstream out(path);
        for (const json& j : a.lines) out << j.dump() << "\n";
    }

    gpsim::Scenario empty = scenario("array-unit");
    empty.waypoints = empty.routes = empty.tracks = json::array();
    Rig to(std::move(empty));
    to.gps->Request_Product_Data();
    Probe b{to};
    json r = b.run({"upload", path});
    EXPECT_EQ(r["ok"], true) << r.dump();
    ASSERT_EQ(r["transfers"].size(), 3u);
    EXPECT_EQ(r["transfers"][0]["packets"], 3);
    EXPECT_EQ(r["transfers"][1]["packets"], 2 + 5 + 3);
    EXPECT_EQ(r["transfers"][2]["packets"], 2 + 5);

    b.run({"waypoints"});
    b.run({"routes"});
    b.run({"tracks"});
    ASSERT_EQ(b.lines.size(), a.lines.size());
    for (std::size_t k = 0; k < a.lines.size(); ++k) {
        json x = upper_texts(a.lines[k]), y = b.lines[k];
        // Links go up as a plain direct link between points; only the
        // last one's identifier survives a download.
        x.erase("last_link");
        y.erase("last_link");
        EXPECT_EQ(x, y) << k;
    }
    std::remove(path.c_str());
}

TEST(ProbeCommands, UploadFileIsCheckedBeforeAnythingIsSent)
{
    EXPECT_THROW(probe::Parse_Upload_Set("{\"kind\": \"waypoint\"}\nnot json\n"), std::invalid_argument);
    EXPECT_THROW(probe::Parse_Upload_Set("{\"kind\": \"meteor\"}\n"), std::invalid_argument);
    EXPECT_THROW(probe::Parse_Upload_Set("{\"waypoints\": 3}"), std::invalid_argument);
    json set = probe::Parse_Upload_Set("{\"waypoints\": [{\"ident\": \"A\"}], \"tracks\": []}");
    EXPECT_EQ(set["waypoints"].size(), 1u);
    set = probe::Parse_Upload_Set("{\"kind\": \"route\", \"ident\": \"R\"}\n\n{\"kind\": \"waypoint\", \"ident\": \"W\"}\n");
    EXPECT_EQ(set["routes"][0], (json{{"ident", "R"}}));
    EXPECT_EQ(set["waypoints"][0], (json{{"ident", "W"}}));
}

} // namespace
} // namespace brenvik::commands_test
