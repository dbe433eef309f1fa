// Real-time tracking from outside: the probe against the receiver
// simulator on a pseudo-terminal named by TREKFOLD_COM3, streaming a path of
// fixes or a real capture; rows, the log, the output shapefile (read back by
// ogrinfo), projected coordinates (checked by cs2cs) and the ArcMap calls.
#include <QProcess>
#include <QStringList>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <stdlib.h>

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

struct Outcome {
    int status = -1;
    std::string err;
    std::vector<json> lines;
    std::vector<json> with(const char* key) const
    {
        std::vector<json> out;
        for (const auto& l : lines)
            if (l.contains(key)) out.push_back(l);
        return out;
    }
    std::vector<json> rows() const { return with("row"); }
    bool status_text(const std::string& text) const
    {
        for (const auto& s : with("status"))
            if (s["status"] == text) return true;
        return false;
    }
};

std::string run(const std::string& program, const QStringList& args)
{
    QProcess p;
    p.start(QString::fromStdString(program), args);
    p.waitForFinished(-1);
    return p.readAllStandardOutput().toStdString();
}

std::string read(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// A folder for the run, and the simulated unit on COM 3.
struct Place {
    std::string path;
    QProcess unit;
    Place()
    {
        char tmpl[] = "/tmp/tf-realtime-XXXXXX";
        path = ::mkdtemp(tmpl);
        for (int n = 1; n <= 20; ++n)
            ::setenv(("TREKFOLD_COM" + std::to_string(n)).c_str(), (path + "/missing").c_str(), 1);
        ::setenv("TREKFOLD_DRIVES", (path + "/no-drive").c_str(), 1);
        // The fake ArcMap's window is announced here, out of sight of the
        // probes of other tests running meanwhile.
        ::setenv("TREKFOLD_WINDOWS_DIR", (path + "/windows").c_str(), 1);
    }
    ~Place()
    {
        if (unit.state() != QProcess::NotRunning) {
            unit.terminate();
            unit.waitForFinished(10000);
        }
        fs::remove_all(path);
    }
    // Starts the unit: a path of (lat, lon) fixes, or extra options alone.
    void start(const std::vector<std::pair<double, double>>& fixes, QStringList options = {})
    {
        json sc = {{"product", {{"id", 292}, {"version", 3.0}, {"descriptions", {"GPSMAP 76"}}}},
                   {"protocol_array", {"P000", "L001", "A010", "A100", "D110", "A201", "D202", "D110", "D210", "A301",
                                       "D310", "D301", "A600", "D600", "A700", "D700", "A800", "D800"}},
                   {"date_time", {{"year", 2006}, {"month", 7}, {"day", 4}, {"hour", 9}, {"minute", 5}, {"second", 30}}},
                   {"position", {{"lat", 45.1}, {"lon", -93.1}}},
                   {"pvt", {{"alt", 300.0}, {"msl_hght", 12.3}, {"epe", 3.0}, {"eph", 4.2}, {"epv", 6.0}, {"fix", 3},
                            {"east", 0.12}, {"north", -0.4}, {"up", 0.01}}}};
        json p = json::array();
        for (auto [lat, lon] : fixes) p.push_back({{"lat", lat}, {"lon", lon}});
        if (!p.empty()) sc["pvt_path"] = p;
        std::ofstream(path + "/unit.json") << sc.dump();
        const std::string link = path + "/com3";
        options << "--scenario" << QString::fromStdString(path + "/unit.json") << "--link" << QString::fromStdString(link)
                << "--trace" << QString::fromStdString(path + "/trace.jsonl");
        unit.start(TREKFOLD_BINARY_DIR "/bin/gpsim", options);
        for (int i = 0; i < 3000 && !fs::exists(link) && unit.state() != QProcess::NotRunning; ++i) unit.waitForFinished(20);
        ::setenv("TREKFOLD_COM3", link.c_str(), 1);
    }
    Outcome probe(const std::vector<std::string>& args) const
    {
        QStringList a{"--home", QString::fromStdString(path), "--port", "3"};
        for (const auto& s : args) a << QString::fromStdString(s);
        const std::string out = run(TREKFOLD_PROBE, a);
        Outcome r;
        r.status = 0;
        std::istringstream in(out);
        for (std::string line; std::getline(in, line);)
            if (!line.empty() && line[0] == '{') r.lines.push_back(json::parse(line));
        return r;
    }
    // The commands the host sent (command packets, ID 10), in order.
    std::vector<int> commands() const
    {
        std::vector<int> out;
        std::istringstream in(read(path + "/trace.jsonl"));
        for (std::string line; std::getline(in, line);) {
            json j = json::parse(line, nullptr, false);
            if (j.is_object() && j.value("dir", "") == "in" && j.value("id", 0) == 10 && j.contains("data")) {
                const std::string d = j["data"];
                if (d.size() >= 4) out.push_back(std::stoi(d.substr(2, 2), nullptr, 16) * 256 + std::stoi(d.substr(0, 2), nullptr, 16));
            }
        }
        return out;
    }
};

// Metres north as degrees of latitude, on the sphere of the distance test.
constexpr double kDegreesPerMetre = 1.0 / 111189.57696;

std::vector<std::pair<double, double>> north(int n, double metres)
{
    std::vector<std::pair<double, double>> out;
    for (int i = 0; i < n; ++i) out.push_back({45.1 + i * metres * kDegreesPerMetre, -93.1});
    return out;
}

} // namespace

TEST(ProbeRealTime, APathBecomesRowsBetweenStartAndStop)
{
    Place place;
    place.start(north(8, 1), {"--pvt-period", "200"});
    Outcome r = place.probe({"menu", "mnuStartRealTime", "until", "rows", "5", "20000", "menus", "menu",
                             "mnuStopRealTime", "table", "menus"});
    const auto until = r.with("until");
    ASSERT_EQ(until.size(), 1u);
    EXPECT_EQ(until[0]["met"], true);
    const auto rows = r.rows();
    ASSERT_EQ(rows.size(), 5u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i]["type"], "RTIMEWPT");
        EXPECT_EQ(rows[i]["ident"], "rt" + std::to_string(i + 1));
        EXPECT_NEAR(std::stod(rows[i]["lat"].get<std::string>()), 45.1 + double(i) * kDegreesPerMetre, 1e-8);
        EXPECT_EQ(rows[i]["alt"], "312");
        EXPECT_EQ(rows[i]["epe"], "1.5");
        EXPECT_EQ(rows[i]["east"], "0.12");
        EXPECT_EQ(rows[i]["date"], "7/4/2006");
        EXPECT_EQ(rows[i]["time"], "9:5:30");
    }
    EXPECT_TRUE(r.status_text("Logged 5 real time points"));
    EXPECT_TRUE(r.status_text("Stopped Real Time Logging"));
    const auto menus = r.with("menus");
    ASSERT_EQ(menus.size(), 2u);
    EXPECT_EQ(menus[0]["menus"]["mnuStopRealTime"]["enabled"], true);
    EXPECT_EQ(menus[1]["menus"]["mnuStopRealTime"]["enabled"], false);
    // After start-up's own fix (which stops the stream): 49, one date request a row, 50.
    const std::vector<int> c = place.commands();
    auto start = std::find(c.rbegin(), c.rend(), 49);
    ASSERT_NE(start, c.rend());
    std::vector<int> after(start.base() - 1, c.end());
    EXPECT_EQ(after, (std::vector<int>{49, 5, 5, 5, 5, 5, 50}));
}

TEST(ProbeRealTime, ACapturedStreamGivesItsFixesProjectedAsCs2csDoes)
{
    Place place;
    place.start({}, {"--pvt-period", "100", "--pvt-replay", TREKFOLD_TESTDATA_DIR "/garmin-binary/garmin18x-bin.log"});
    Outcome r = place.probe({"setting", "proj", "proj", "32614", "menu", "mnuStartRealTime", "until", "rows", "29",
                             "60000", "wait", "500", "menu", "mnuStopRealTime", "table"});
    const auto rows = r.rows();
    ASSERT_EQ(rows.size(), 29u);
    std::vector<json> tpv;
    std::istringstream chk(read(TREKFOLD_TESTDATA_DIR "/garmin-binary/garmin18x-bin.log.chk"));
    for (std::string line; std::getline(chk, line);)
        if (line.rfind("{\"class\":\"TPV\"", 0) == 0) tpv.push_back(json::parse(line));
    ASSERT_EQ(tpv.size(), 29u);
    std::string input;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_NEAR(std::stod(rows[i]["lat"].get<std::string>()), tpv[i]["lat"].get<double>(), 1e-8);
        EXPECT_NEAR(std::stod(rows[i]["long"].get<std::string>()), tpv[i]["lon"].get<double>(), 1e-8);
        EXPECT_EQ(rows[i]["alt"], std::to_string(std::lrint(tpv[i]["altMSL"].get<double>())));
        input += rows[i]["long"].get<std::string>() + " " + rows[i]["lat"].get<std::string>() + "\n";
    }
    EXPECT_EQ(rows[0]["alt"], "246");
    std::ofstream(place.path + "/in.txt") << input;
    QProcess trad;
    trad.setStandardInputFile(QString::fromStdString(place.path + "/in.txt"));
    trad.start("cs2cs", {"-f", "%.6f", "+proj=longlat", "+datum=WGS84", "+to", "+proj=utm", "+zone=14", "+datum=WGS84"});
    trad.waitForFinished(-1);
    std::istringstream got(trad.readAllStandardOutput().toStdString());
    for (std::size_t i = 0; i < rows.size(); ++i) {
        double x = 0, y = 0;
        ASSERT_TRUE(got >> x >> y);
        std::string z;
        got >> z;
        EXPECT_NEAR(std::stod(rows[i]["x_proj"].get<std::string>()), x, 1e-3);
        EXPECT_NEAR(std::stod(rows[i]["y_proj"].get<std::string>()), y, 1e-3);
    }
}

TEST(ProbeRealTime, DistanceKeepsEveryThirdFixAndAPathEndingAtZeroStops)
{
    Place place;
    auto fixes = north(10, 4);
    fixes.push_back({0, 0});
    place.start(fixes, {"--pvt-period", "150"});
    Outcome r = place.probe({"menu", "mnuStartRealTime", "check", "frmRealTime.chkTolerance(1)", "1", "text",
                             "frmRealTime.tbxToleranceValue(1)", "10", "until", "status", "Stopped Real Time Logging",
                             "30000", "window", "frmRealTime", "table"});
    const auto rows = r.rows();
    ASSERT_EQ(rows.size(), 4u);
    for (std::size_t i = 0; i < rows.size(); ++i)
        EXPECT_NEAR(std::stod(rows[i]["lat"].get<std::string>()), fixes[i * 3].first, 1e-8) << i;
    EXPECT_EQ(r.with("window").back()["loaded"], false);
    const std::vector<int> c = place.commands();
    ASSERT_FALSE(c.empty());
    EXPECT_EQ(c.back(), 50);
}

TEST(ProbeRealTime, TimeToleranceKeepsPointsOneToTwoSecondsApart)
{
    Place place;
    place.start(north(40, 1), {"--pvt-period", "250"});
    Outcome r = place.probe({"menu", "mnuStartRealTime", "check", "frmRealTime.chkTolerance(0)", "1", "text",
                             "frmRealTime.tbxToleranceValue(0)", "2", "until", "rows", "100", "10000", "menu",
                             "mnuStopRealTime", "table"});
    // The first fix, then one every two whole clock seconds of the 10 s.
    EXPECT_GE(r.rows().size(), 4u);
    EXPECT_LE(r.rows().size(), 8u);
}

TEST(ProbeRealTime, LogModeWritesTheHeaderThenOneLineAPointAndStampsTheOldLog)
{
    Place place;
    place.start(north(8, 1), {"--pvt-period", "200"});
    const std::string log = place.path + "/rt.txt";
    const std::vector<std::string> setup{"setting", "fields", "rtimeTextFile", "1", "setting", "fields", "rtimetextloc", log};
    auto with = [&](std::vector<std::string> more) {
        std::vector<std::string> a = setup;
        a.insert(a.end(), more.begin(), more.end());
        return a;
    };
    Outcome r = place.probe(with({"menu", "mnuStartRealTime", "until", "status", "Logged 3", "20000", "menu",
                                  "mnuStopRealTime", "table"}));
    EXPECT_TRUE(r.rows().empty());
    EXPECT_TRUE(r.status_text("Logged 2 real time points to " + log));
    std::istringstream in(read(log));
    std::vector<std::string> lines;
    for (std::string l; std::getline(in, l);) lines.push_back(l);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(std::count(lines[0].begin(), lines[0].end(), ';'), 27);
    EXPECT_EQ(lines[1].rfind("RTIMEWPT;rt1;45.10000000;-93.10000000;", 0), 0u);
    EXPECT_EQ(lines[3].rfind("RTIMEWPT;rt3;", 0), 0u);

    r = place.probe(with({"menu", "mnuStartRealTime", "until", "status", "Logged 2", "20000", "menu", "mnuStopRealTime"}));
    int stamped = 0;
    for (const auto& e : fs::directory_iterator(place.path))
        if (e.path().filename().string().rfind("rt.txt2", 0) == 0) stamped += read(e.path().string()) == read(log) ? 0 : 1;
    EXPECT_EQ(stamped, 1);

    // An unwritable log: the writer's box, tracking stopped.
    r = place.probe({"setting", "fields", "rtimeTextFile", "1", "setting", "fields", "rtimetextloc",
                     place.path + "/none/rt.txt", "menu", "mnuStartRealTime", "until", "status", "Stopped", "20000",
                     "menus"});
    bool box = false;
    for (const auto& b : r.with("box")) box |= b["title"] == "Textfile_Save";
    EXPECT_TRUE(box);
    EXPECT_EQ(r.with("menus").back()["menus"]["mnuStopRealTime"]["enabled"], false);
}

TEST(ProbeRealTime, PointOutputFileHoldsOnePointAKeptFixAsOgrinfoReadsIt)
{
    Place place;
    place.start(north(8, 1), {"--pvt-period", "200"});
    const std::string shp = place.path + "/pts.shp";
    const std::string prj = "PROJCS[\"WGS_1984_UTM_Zone_15N\"]";
    Outcome r = place.probe({"setting", "proj", "proj", "32615", "setting", "proj", "32615", prj, "menu",
                             "mnuStartRealTime", "answer", shp, "menu", "frmRealTime.cmdLoad", "menu",
                             "frmRealTime.cmdControls", "1", "until", "rows", "4", "20000", "window", "frmRealTime",
                             "menu", "mnuStopRealTime", "table"});
    const json w = r.with("window").back();
    const int count = std::stoi(w["controls"]["lblCount(0)"]["caption"].get<std::string>());
    EXPECT_GE(count, 3);
    EXPECT_EQ(w["colors"]["cmdControls(1)"], "highlight");
    EXPECT_EQ(w["tags"]["optDataType(0)"], "1");
    EXPECT_EQ(read(place.path + "/pts.prj"), prj + "\r\n");
    const std::string info = run("ogrinfo", {"-al", "-q", QString::fromStdString(shp)});
    std::size_t points = 0;
    for (std::size_t at = info.find("POINT ("); at != std::string::npos; at = info.find("POINT (", at + 1)) ++points;
    const auto rows = r.rows();
    ASSERT_GE(rows.size(), points);
    EXPECT_EQ(int(points), count);
    // The last shape is the last row, at its x_proj/y_proj.
    EXPECT_NE(info.find("POINT (" + rows.back()["x_proj"].get<std::string>().substr(0, 8)), std::string::npos) << info;
    EXPECT_NE(info.find("ident (String) = rt"), std::string::npos);
    EXPECT_NE(info.find(rows.back()["lat"].get<std::string>()), std::string::npos);
}

TEST(ProbeRealTime, ArcMapGetsEachPointTheLayerAndTheEnd)
{
    Place place;
    place.start(north(8, 1), {"--pvt-period", "200"});
    const std::string shp = place.path + "/a.shp";
    Outcome r = place.probe({"--arcgis", "arcmap-fake", "visible", "menu", "mnuRefreshApps", "menu", "mnuStartRealTime", "answer", shp, "menu", "frmRealTime.cmdLoad",
                             "menu", "frmRealTime.cmdControls", "1", "until", "rows", "3", "20000", "window",
                             "frmRealTime", "menu", "mnuStopRealTime", "table"});
    std::vector<json> sends, others;
    for (const auto& a : r.with("arcmap"))
        if (a["arcmap"]["member"] != "Set_WindowHandle")
            (a["arcmap"]["member"] == "RT_SendPoint" ? sends : others).push_back(a["arcmap"]);
    EXPECT_EQ(sends.size(), r.rows().size());
    ASSERT_GE(sends.size(), 2u);
    const json& args = sends[1]["args"];
    ASSERT_EQ(args.size(), 11u);
    EXPECT_DOUBLE_EQ(args[4].get<double>(), 0.75);
    EXPECT_DOUBLE_EQ(args[5].get<double>(), 1.5);
    EXPECT_EQ(args[6], 0);
    EXPECT_EQ(args[7], true);
    EXPECT_EQ(sends[0]["args"][8], 0.0);
    EXPECT_EQ(args[8], 360.0);
    EXPECT_EQ(args[10], false);
    ASSERT_FALSE(others.empty());
    EXPECT_EQ(others.front()["member"], "Shapefile_ToDataFrame");
    EXPECT_EQ(others.front()["args"], json({shp, false}));
    EXPECT_EQ(others.back()["member"], "RT_Graphics_Delete");
    int refreshes = 0;
    for (const auto& o : others) refreshes += o["member"] == "DataFrame_Refresh";
    EXPECT_GE(refreshes, int(sends.size()) - 1); // one a shape written (recording starts after the first)
    const json w = r.with("window").back()["controls"];
    EXPECT_EQ(w["frmGISDisplay"]["enabled"], true);
    EXPECT_EQ(w["chkTrackUp"]["enabled"], true);
}

TEST(ProbeRealTime, SettingsPanLeaveAndAMassStorageUnit)
{
    Place place;
    place.start(north(2, 1), {"--pvt-period", "500"});
    Outcome r = place.probe({"menu", "mnuStartRealTime", "text", "frmRealTime.tbxPanWindow", "10", "leave",
                             "frmRealTime.tbxPanWindow", "window", "frmRealTime", "text", "frmRealTime.tbxPanWindow",
                             "150", "leave", "frmRealTime.tbxPanWindow", "window", "frmRealTime", "text",
                             "frmRealTime.tbxToleranceValue(0)", "", "check", "frmRealTime.chkTolerance(0)", "1", "text",
                             "frmRealTime.tbxToleranceValue(0)", "", "window", "frmRealTime", "menu", "mnuStopRealTime"});
    const auto w = r.with("window");
    ASSERT_EQ(w.size(), 3u);
    EXPECT_EQ(w[0]["controls"]["tbxPanWindow"]["text"], "25");
    EXPECT_EQ(w[1]["controls"]["tbxPanWindow"]["text"], "100");
    EXPECT_EQ(w[2]["controls"]["tbxToleranceValue(0)"]["text"], "1");
    bool number_box = false;
    for (const auto& b : r.with("box")) number_box |= b["box"] == "Value must be a number";
    EXPECT_TRUE(number_box);
    EXPECT_FALSE(r.with("disabled").empty()); // the box was disabled before it was ticked
    std::ifstream ini(place.path + "/trekfold/trekfold.ini");
    const std::string text((std::istreambuf_iterator<char>(ini)), {});
    EXPECT_NE(text.find("panval=100"), std::string::npos);
    EXPECT_NE(text.find("toltimechk=1"), std::string::npos);
    // Stored values come back at the next load.
    r = place.probe({"menu", "mnuStartRealTime", "window", "frmRealTime", "menu", "mnuStopRealTime"});
    EXPECT_EQ(r.with("window").back()["controls"]["tbxPanWindow"]["text"], "100");
    EXPECT_EQ(r.with("window").back()["controls"]["tbxToleranceValue(0)"]["enabled"], true);

    const std::string drive = place.path + "/drive";
    fs::create_directories(drive + "/Garmin");
    std::ofstream(drive + "/Garmin/GarminDevice.xml")
        << "<Device><Model><Description>Unit</Description></Model><MassStorageMode/></Device>";
    r = place.probe({"massstorage", drive, "menu", "mnuStartRealTime", "window", "frmRealTime", "menus"});
    const auto boxes = r.with("box");
    ASSERT_FALSE(boxes.empty());
    EXPECT_EQ(boxes.back()["box"].get<std::string>().rfind("Your GPS is not in SPANNER mode.", 0), 0u);
    EXPECT_EQ(r.with("window").back()["loaded"], false);
    EXPECT_EQ(r.with("menus").back()["menus"]["mnuStopRealTime"]["enabled"], false);
}

TEST(ProbeRealTime, ASlowDateReplyKeepsEachRowToItsOwnFix)
{
    Place place;
    place.start(north(30, 1), {"--pvt-period", "100", "--date-time-delay", "350"});
    Outcome r = place.probe({"menu", "mnuStartRealTime", "until", "rows", "6", "30000", "menu", "mnuStopRealTime", "table"});
    const auto rows = r.rows();
    ASSERT_GE(rows.size(), 6u);
    double last = 0;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i]["ident"], "rt" + std::to_string(i + 1));
        const double lat = std::stod(rows[i]["lat"].get<std::string>());
        EXPECT_GT(lat, last);
        last = lat;
        // Each row from one fix: the projected y follows its own latitude.
        EXPECT_EQ(rows[i]["alt"], "312");
    }
    EXPECT_TRUE(r.with("box").empty() || r.with("box").front()["title"] == "Set Default Projection");
}
