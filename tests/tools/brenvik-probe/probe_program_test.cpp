// brenvik-probe run as a user runs it, against the receiver simulator: the
// exit status, the messages, and (from the simulator's trace and dump) what
// reached the unit.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <algorithm>
#include <map>
#include <sstream>

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
                          "pvt SECONDS", "counts", "upload FILE", "screen FILE [MS]", "palette PATH", "almanac",
                          "laps", "flightbook", "send-almanac FILE", "send-lap FILE", "name", "change-name TEXT",
                          "icon N FILE", "send-icon N FILE", "voltages", "nmea-send TEXT"}) {
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

// A unit that answers the identification, then neither reads nor lets the
// host write (CTS held low): the upload ends with the write error, not a hang.
TEST(ProbeProgram, AnUploadToAUnitHoldingTheLineFailsToWrite)
{
    gpsim::Options o;
    o.faults.hold_line_after = 7; // the identification's frames
    Unit held("d110-array-unit", o);
    std::string many;
    for (int i = 0; i < 1000; ++i)
        many += "{\"kind\": \"waypoint\", \"ident\": \"W" + std::to_string(i) + "\", \"lat\": 45, \"lon\": -93}\n";
    TempDir dir;
    Ran r = probe(held.sim.slave_path(), "upload " + dir.write("w.jsonl", many));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("Unable to write to port 7"), std::string::npos) << r.err;
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

// ---- the periphery ---------------------------------------------------------

// A picture written as binary PPM: width, height, then 0xRRGGBB per pixel.
struct Ppm {
    int w = 0, h = 0;
    std::vector<std::uint32_t> px;
    std::uint32_t at(int x, int y) const { return px[std::size_t(y * w + x)]; }
};
Ppm read_ppm(const std::string& path)
{
    std::istringstream in(tools_test::Slurp(path));
    Ppm p;
    std::string magic;
    int max = 0;
    in >> magic >> p.w >> p.h >> max;
    in.get();
    for (int i = 0; i < p.w * p.h; ++i) {
        const int r = in.get(), g = in.get(), b = in.get();
        p.px.push_back(std::uint32_t(r) << 16 | std::uint32_t(g) << 8 | std::uint32_t(b));
    }
    EXPECT_EQ(magic, "P6");
    return p;
}

// The simulator's screen bytes: byte i = 13 i + 7.
std::uint8_t screen_byte(int i) { return std::uint8_t(i * 13 + 7); }

// The control's own library copied into dir, so the default palette file
// lands there.
std::string own_library(const TempDir& dir)
{
    std::system(("cp '" TREKFOLD_BINARY_DIR "/bin/libbrenvik2006.so' '" + dir.path + "/'").c_str());
    return " --lib '" + dir.path + "/libbrenvik2006.so' --settings 115200,N,8,1 ";
}

TEST(ProbeProgram, ScreensOfEveryDepthAndTheDefaultPalette)
{
    Unit unit("periphery-unit");
    TempDir dir;
    const std::string f = dir.path + "/s";
    Ran r = probe(unit.sim.slave_path(), own_library(dir) + "product screen " + f + "1.ppm screen " + f +
                                             "2.ppm screen " + f + "8.ppm");
    ASSERT_EQ(r.status, 0) << r.err << r.out;
    // Each capture without a palette file writes the default one anew.
    EXPECT_EQ(tools_test::Slurp(dir.path + "/Default-484.pal"),
              "JASC-PAL\r\n0100\r\n256\r\n0 0 0\r\n255 0 0\r\n0 255 0\r\n0 0 255\r\n10 20 30\r\n");
    auto shots = lines(r.out, "screen");
    r = probe(unit.sim.slave_path(), own_library(dir) + "screen " + f + "4.ppm 1500");
    ASSERT_EQ(r.status, 0) << r.err << r.out;
    shots.push_back(lines(r.out, "screen").at(0));
    ASSERT_EQ(shots.size(), 4u);
    for (const json& s : shots) {
        const auto pct = s["progress"].get<std::vector<int>>();
        ASSERT_FALSE(pct.empty());
        for (std::size_t k = 0; k + 1 < pct.size(); ++k) EXPECT_LT(pct[k], 100);
        EXPECT_EQ(std::count(pct.begin(), pct.end(), 100), s["complete"].get<bool>() ? 1 : 0);
    }
    // 1 bit, short header: 16 x 3, the high bit leftmost, 1 black.
    const Ppm one = read_ppm(f + "1.ppm");
    ASSERT_EQ(one.w, 16);
    ASSERT_EQ(one.h, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(one.at(x, y), (screen_byte(y * 2 + x / 8) >> (7 - x % 8) & 1) ? 0u : 0xFFFFFFu) << x << "," << y;
    // 2 bits, long header, 160 x 100 with 40 bytes a line: turned, 100 wide.
    const Ppm two = read_ppm(f + "2.ppm");
    ASSERT_EQ(two.w, 100);
    ASSERT_EQ(two.h, 160);
    const std::uint32_t grey[] = {0xFFFFFF, 0xC0C0C0, 0x606060, 0};
    for (int x = 0; x < 100; x += 7)
        for (int y = 0; y < 160; y += 3)
            EXPECT_EQ(two.at(x, y), grey[screen_byte((99 - x) * 40 + y / 4) >> (2 * (y % 4)) & 3]) << x << "," << y;
    // 8 bits through the unit's colours.
    const Ppm eight = read_ppm(f + "8.ppm");
    ASSERT_EQ(eight.w, 6);
    const std::uint32_t colours[] = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF, 0x0A141E};
    const int data[4][6] = {{0, 1, 2, 3, 4, 0}, {1, 2, 3, 4, 0, 1}, {2, 3, 4, 0, 1, 2}, {3, 4, 0, 1, 2, 3}};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 6; ++x) EXPECT_EQ(eight.at(x, y), colours[data[y][x]]);
    // 4 bits: progress, no picture.
    EXPECT_FALSE(shots[3]["complete"].get<bool>());
}

TEST(ProbeProgram, PaletteFileReadableOrNot)
{
    Unit unit("periphery-unit");
    TempDir dir;
    const std::string pal = dir.write("mine.pal", "JASC-PAL\r\n0100\r\n256\r\n9 9 9\r\n1 2 3\r\n4 5 6\r\n7 8 9\r\n10 11 12\r\n");
    const std::string f = dir.path + "/s";
    Ran r = probe(unit.sim.slave_path(), own_library(dir) + "palette " + pal + " screen " + f + "1.ppm screen " + f +
                                             "2.ppm screen " + f + "8.ppm");
    ASSERT_EQ(r.status, 0) << r.err;
    const Ppm eight = read_ppm(f + "8.ppm");
    EXPECT_EQ(eight.at(0, 0), 0x090909u);
    EXPECT_EQ(eight.at(4, 0), 0x0A0B0Cu);
    EXPECT_FALSE(std::ifstream(dir.path + "/Default-484.pal").good());

    const std::string missing = dir.path + "/missing.pal";
    r = probe(unit.sim.slave_path(), own_library(dir) + "palette " + missing + " screen " + f + "x.ppm 3000");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("\"Unable to open " + missing + "\""), std::string::npos) << r.out;
    EXPECT_EQ(lines(r.out, "screen").at(0)["Palette_File"], "");
}

TEST(ProbeProgram, NameAndChangeName)
{
    Unit unit("periphery-unit");
    const Ran r = probe(unit.sim.slave_path(), "--settings 115200,N,8,1 product name change-name 'NEW NAME' name");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(lines(r.out, "product").at(0)["Product_Data"]["Unit_ID"], "3735928559");
    const auto names = lines(r.out, "name");
    ASSERT_EQ(names.size(), 2u);
    EXPECT_EQ(names[0]["GPS_Name"], "MY ETREX");
    EXPECT_EQ(names[1]["GPS_Name"], "NEW NAME");
}

TEST(ProbeProgram, AlmanacLapsFlightbookIconAndVoltagesRoundTrip)
{
    Unit unit("periphery-unit");
    TempDir dir;
    Ran r = probe(unit.sim.slave_path(), "--settings 115200,N,8,1 almanac laps flightbook icon 3 " + dir.path +
                                             "/i.bmp voltages nmea-send '$GPGLL,4916.45,N,12311.12,W'");
    ASSERT_EQ(r.status, 0) << r.err;
    const std::string saved = dir.write("down.json", r.out);
    EXPECT_EQ(lines(r.out, "almanac").at(0)["records"], 32);
    EXPECT_EQ(tools_test::Slurp(dir.path + "/i.bmp").size(), 1334u);
    EXPECT_NEAR(lines(r.out, "voltages").at(0)["Internal_Voltage"].get<double>(), 12.34, 1e-5);
    EXPECT_EQ(lines(r.out, "nmea-send").at(0)["sentence"], "$GPGLL,4916.45,N,12311.12,W*71");
    r = probe(unit.sim.slave_path(), "--settings 115200,N,8,1 product send-almanac " + saved + " send-lap " + saved +
                                         " send-flightbook " + saved);
    ASSERT_EQ(r.status, 0) << r.err;
    std::map<int, std::vector<std::string>> in, out;
    for (const json& t : unit.sim.trace())
        if (t.contains("id") && (t["id"] == 31 || t["id"] == 149 || t["id"] == 134))
            (t["dir"] == "in" ? in : out)[t["id"].get<int>()].push_back(t["data"]);
    EXPECT_EQ(in[31].size(), 32u);
    EXPECT_EQ(in, out);
}

} // namespace
} // namespace brenvik::probe_test
