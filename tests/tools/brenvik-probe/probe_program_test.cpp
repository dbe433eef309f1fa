// brenvik-probe run as a user runs it, against the receiver simulator: the
// exit status, the messages, and (from the simulator's trace and dump) what
// reached the unit.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

#include "tests/tools/program.h"
#include "tools/gpsim/gpsim.h"

namespace brenvik::probe_test {
namespace {

using nlohmann::json;
using tools_test::Ran;

const std::string kProbe = TREKFOLD_BINARY_DIR "/bin/brenvik-probe";

// A simulated unit of tools/gpsim/scenarios on its own thread.
struct Unit {
    gpsim::Simulator sim;
    explicit Unit(const std::string& name, gpsim::Options o = {})
        : sim(gpsim::load_scenario_file(TREKFOLD_SOURCE_DIR "/tools/gpsim/scenarios/" + name + ".json"), o)
    {
        sim.start();
    }
    // The packets the host sent, in order.
    std::vector<json> received() const
    {
        std::vector<json> out;
        for (const json& t : sim.trace())
            if (t.value("dir", "") == "in" && t.contains("id")) out.push_back(t);
        return out;
    }
    // The unit's record packets of one direction.
    std::vector<std::string> records(const std::string& dir) const
    {
        std::vector<std::string> out;
        for (const json& t : sim.trace())
            if (t.value("dir", "") == dir && t.contains("id"))
                for (int id : {35, 19, 29, 30, 98, 99, 34})
                    if (t["id"] == id) out.push_back(std::to_string(id) + " " + t["data"].get<std::string>());
        return out;
    }
};

Ran probe(const std::string& device, const std::string& args)
{
    return tools_test::Run_Program("env TREKFOLD_COM7='" + device + "' " + kProbe + " --port 7 " + args);
}

std::vector<json> lines(const std::string& text, const std::string& command)
{
    std::vector<json> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) {
        json j = json::parse(l, nullptr, false);
        if (j.is_object() && j.value("command", "") == command) out.push_back(j);
    }
    return out;
}

struct TempDir {
    std::string path;
    TempDir()
    {
        char d[] = "/tmp/probe-prog-XXXXXX";
        path = ::mkdtemp(d) ? d : "/tmp";
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string write(const std::string& name, const std::string& text) const
    {
        std::ofstream(path + "/" + name) << text;
        return path + "/" + name;
    }
};

TEST(ProbeProgram, HelpListsEveryCommandAndOptionAsTheReadmeDoes)
{
    const Ran r = tools_test::Run_Program(kProbe + " --help");
    EXPECT_EQ(r.status, 0);
    const std::string readme = tools_test::Slurp(TREKFOLD_SOURCE_DIR "/README.md");
    for (const char* w : {"--port N", "--settings TEXT", "--lib FILE", "--debug", "--help", "open", "close", "port N",
                          "settings TEXT", "product", "findbaud SETTINGS", "change-baud BAUD", "send HEX...",
                          "wait MS", "waypoints", "proxwaypoints", "routes", "tracks", "datetime", "position",
                          "pvt SECONDS", "counts", "upload FILE"}) {
        EXPECT_NE(r.out.find("\n  " + std::string(w) + " "), std::string::npos) << w;
        EXPECT_NE(readme.find("`" + std::string(w)), std::string::npos) << w;
    }
    for (const char* key : {"\"waypoints\": [...], \"proximity\": [...], \"routes\": [...], \"tracks\": [...]",
                            "\"kind\": \"waypoint\" | \"proximity\" | \"route\" | \"track\""}) {
        EXPECT_NE(r.out.find(key), std::string::npos) << key;
        EXPECT_NE(readme.find(key), std::string::npos) << key;
    }
}

TEST(ProbeProgram, BadArgumentsOrUploadDataAreNamedAndNothingIsSent)
{
    Unit unit("d110-array-unit");
    TempDir dir;
    std::string many = "{\"waypoints\": [";
    for (int k = 0; k <= 32767; ++k) many += std::string(k ? "," : "") + "{\"ident\": \"W\", \"lat\": 1, \"lon\": 2}";
    many += "]}";
    const struct {
        std::string args, message;
    } cases[] = {
        {"--port abc waypoints", "--port: \"abc\" is not a whole number"},
        {"--port 99999 waypoints", "--port: \"99999\""},
        {"send 1FF", "send: \"1FF\" is not a hex byte"},
        {"wait 99999999999", "wait MS: \"99999999999\""},
        {"pvt soon", "pvt SECONDS: \"soon\""},
        // The whole line is checked first: the download before it never runs.
        {"waypoints upload " + dir.write("entry.jsonl", "{\"kind\": \"waypoint\", \"ident\": \"A\"}\n[1, 2]\n"),
         "entry.jsonl: line 2: a record must be a JSON object"},
        {"upload " + dir.write("lat.jsonl", "{\"kind\": \"waypoint\", \"ident\": \"A\", \"lat\": \"north\"}\n"),
         "line 1: \"lat\" must be a number from -90 to 90, not \"north\""},
        {"upload " + dir.write("range.json", R"({"waypoints": [{"lat": 1, "lon": 2}, {"lat": 91, "lon": 2}]})"),
         "waypoints[1]: \"lat\" must be a number from -90 to 90, not 91"},
        {"upload " + dir.write("lon.jsonl", R"({"kind": "track", "points": [{"lat": 1, "lon": 200}]})"),
         "line 1: points[0]: \"lon\" must be a number from -180 to 180"},
        {"upload " + dir.path, "is a directory"},
        {"upload " + dir.write("many.json", many), "many.json: waypoints: 32768 packets; one transfer carries at most 32767"},
    };
    for (const auto& c : cases) {
        const Ran r = probe(unit.sim.slave_path(), c.args);
        EXPECT_EQ(r.status, 2) << c.args;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << c.args << ": " << r.err;
    }
    EXPECT_TRUE(unit.received().empty());
}

TEST(ProbeProgram, AFailedOpenSaysWhyAndStops)
{
    Unit unit("d110-array-unit");
    TempDir dir;
    const int held = ::open(unit.sim.slave_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_EQ(::flock(held, LOCK_EX | LOCK_NB), 0);
    const struct {
        std::string device, why;
    } cases[] = {
        {dir.path + "/gps0", "cannot open port 7: " + dir.path + "/gps0 is missing"},
        {dir.write("plain", "x"), "cannot open port 7: " + dir.path + "/plain is not a terminal"},
        {unit.sim.slave_path(), "cannot open port 7: " + unit.sim.slave_path() + " is busy"},
    };
    for (const auto& c : cases) {
        const Ran r = probe(c.device, "waypoints");
        EXPECT_EQ(r.status, 1) << c.device;
        EXPECT_NE(r.err.find("open failed: " + c.why), std::string::npos) << r.err;
        EXPECT_TRUE(lines(r.out, "waypoints").empty());
    }
    ::close(held);
    EXPECT_TRUE(unit.received().empty());
}

TEST(ProbeProgram, ASilentUnitOrAFailedTransferGivesANonZeroStatus)
{
    Unit silent("silent-unit");
    Ran r = probe(silent.sim.slave_path(), "product waypoints");
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("product failed: No response from device"), std::string::npos) << r.err;
    EXPECT_TRUE(lines(r.out, "waypoints").empty());

    gpsim::Options o;
    o.faults.withhold_ack = gpsim::parse_number_list("--withhold-ack", "6-100");
    Unit stalls("d110-array-unit", o);
    TempDir dir;
    r = probe(stalls.sim.slave_path(),
              "upload " + dir.write("w.jsonl", "{\"kind\": \"waypoint\", \"ident\": \"A\", \"lat\": 1, \"lon\": 2}\n"
                                               "{\"kind\": \"waypoint\", \"ident\": \"B\", \"lat\": 3, \"lon\": 4}\n"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("upload failed"), std::string::npos) << r.err;
    ASSERT_EQ(lines(r.out, "upload").size(), 1u);
    EXPECT_EQ(lines(r.out, "upload")[0]["ok"], false);
}

TEST(ProbeProgram, ItsOwnDownloadUploadsByteTrueToAD110Unit)
{
    Unit from("d110-array-unit");
    Ran down = probe(from.sim.slave_path(), "waypoints proxwaypoints routes tracks");
    ASSERT_EQ(down.status, 0) << down.err;
    TempDir dir;
    const std::string file = dir.write("download.jsonl", down.out);

    Unit to("d110-array-unit");
    Ran up = probe(to.sim.slave_path(), "upload " + file);
    ASSERT_EQ(up.status, 0) << up.err;
    // Identification comes first: the product request is the first packet.
    ASSERT_FALSE(to.received().empty());
    EXPECT_EQ(to.received()[0]["id"], 254);
    // Waypoints, proximity waypoints and routes arrive as the unit sent
    // them; track points keep their values (they go up in the 28-byte
    // layout, padded).
    std::vector<std::string> sent = from.records("out"), got = to.records("in");
    ASSERT_EQ(sent.size(), got.size());
    for (std::size_t k = 0; k < sent.size(); ++k) {
        if (sent[k].rfind("34 ", 0) == 0) {
            EXPECT_EQ(got[k].rfind(sent[k], 0), 0u) << k;
        } else {
            EXPECT_EQ(got[k], sent[k]) << k;
        }
    }
    int complete = 0;
    for (const json& d : to.sim.uploads()) {
        if (d.contains("record")) {
            EXPECT_FALSE(d["record"].contains("error")) << d.dump();
        }
        if (d["kind"] == "transfer_complete") {
            EXPECT_EQ(d["announced"], d["received"]);
            ++complete;
        }
    }
    EXPECT_EQ(complete, 4);
}

TEST(ProbeProgram, AnUploadTheUnitCannotTakeStopsBeforeItsFirstRecord)
{
    Unit unit("no-tracks-unit");
    TempDir dir;
    const Ran r = probe(unit.sim.slave_path(),
                        "upload " + dir.write("t.jsonl", "{\"kind\": \"waypoint\", \"lat\": 1, \"lon\": 2}\n"
                                                         "{\"kind\": \"track\", \"points\": [{\"lat\": 1, \"lon\": 2}]}\n"));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("upload failed: the unit takes no tracks"), std::string::npos) << r.err;
    for (const json& p : unit.received()) EXPECT_NE(p["id"], 27) << "a transfer began";
}

} // namespace
} // namespace brenvik::probe_test
