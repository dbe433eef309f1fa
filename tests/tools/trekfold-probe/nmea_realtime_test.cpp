// Real-time tracking of an NMEA unit from outside: the probe against the
// receiver simulator replaying a real log in a loop on the pty named by
// TREKFOLD_COM3. Rows follow the log's "$GPRMC" sentences; gpsbabel reading
// the same log is the independent check of times and positions.
#include <QProcess>
#include <QStringList>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <stdlib.h>

namespace {

using nlohmann::json;
namespace fs = std::filesystem;

const std::string kData = TREKFOLD_SOURCE_DIR "/tests/data/nmea/";

std::string run(const std::string& program, const QStringList& args)
{
    QProcess p;
    p.start(QString::fromStdString(program), args);
    p.waitForFinished(-1);
    return p.readAllStandardOutput().toStdString();
}

std::vector<std::string> split(const std::string& s, char c)
{
    std::vector<std::string> out;
    std::string f;
    std::istringstream in(s);
    while (std::getline(in, f, c)) out.push_back(f);
    if (!s.empty() && s.back() == c) out.emplace_back();
    return out;
}

// The "$GPRMC" sentences of a log that carry a position: "hh:mm:ss" and
// the fields.
std::vector<std::vector<std::string>> rmc_with_position(const std::string& log)
{
    std::vector<std::vector<std::string>> out;
    std::ifstream in(log);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("$GPRMC,", 0) != 0) continue;
        auto f = split(line.substr(0, line.find_first_of("\r*")), ',');
        if (f.size() > 6 && !f[3].empty() && !f[5].empty()) out.push_back(f);
    }
    return out;
}

std::string hms(const std::string& t) { return t.substr(0, 2) + ":" + t.substr(2, 2) + ":" + t.substr(4, 2); }

struct Unit {
    std::string path;
    QProcess sim;
    explicit Unit(const std::string& log, QStringList extra = {"--nmea-loop"})
    {
        char tmpl[] = "/tmp/tf-nmea-rt-XXXXXX";
        path = ::mkdtemp(tmpl);
        fs::create_directories(path + "/trekfold");
        std::ofstream(path + "/trekfold/trekfold.ini") << "[port]\nport=3\nSettings=4800,N,8,1\n";
        fs::copy_file(log, path + "/unit.log");
        const std::string link = path + "/com3";
        QStringList a{"--scenario", TREKFOLD_SOURCE_DIR "/tools/gpsim/scenarios/nmea-4800-unit.json", "--link",
                      QString::fromStdString(link), "--trace", QString::fromStdString(path + "/trace.jsonl"),
                      "--nmea-replay", QString::fromStdString(path + "/unit.log")};
        sim.start(TREKFOLD_BINARY_DIR "/bin/gpsim", a + extra);
        for (int i = 0; i < 3000 && !fs::exists(link) && sim.state() != QProcess::NotRunning; ++i) sim.waitForFinished(20);
        for (int n = 1; n <= 20; ++n) ::setenv(("TREKFOLD_COM" + std::to_string(n)).c_str(), (path + "/none").c_str(), 1);
        ::setenv("TREKFOLD_COM3", link.c_str(), 1);
        ::setenv("TREKFOLD_DRIVES", (path + "/no-drive").c_str(), 1);
    }
    ~Unit()
    {
        sim.terminate();
        sim.waitForFinished(10000);
        fs::remove_all(path);
    }
    std::vector<json> probe(const std::vector<std::string>& args) const
    {
        QStringList a{"--home", QString::fromStdString(path), "--port", "3", "answer", "Yes"};
        for (const auto& s : args) a << QString::fromStdString(s);
        std::istringstream in(run(TREKFOLD_PROBE, a));
        std::vector<json> out;
        for (std::string line; std::getline(in, line);)
            if (!line.empty() && line[0] == '{') out.push_back(json::parse(line));
        return out;
    }
};

std::vector<json> with(const std::vector<json>& lines, const char* key)
{
    std::vector<json> out;
    for (const auto& l : lines)
        if (l.contains(key) && (std::string(key) != "row" || l.contains("lat"))) out.push_back(l);
    return out;
}

double num(const json& j) { return std::stod(j.get<std::string>()); }

} // namespace

TEST(ProbeNmeaRealTime, Garmin48RowsFollowTheLogCyclically)
{
    Unit unit(kData + "garmin48.log");
    const auto lines = unit.probe({"window", "frmMain", "window", "frmInfo", "menus", "menu", "mnuStartRealTime",
                                   "until", "rows", "14", "30000", "menu", "mnuStopRealTime", "table", "menus"});
    bool nmea_box = false;
    for (const auto& b : with(lines, "box")) nmea_box |= b["box"].get<std::string>().rfind("Your GPS is in NMEA mode.", 0) == 0;
    EXPECT_TRUE(nmea_box);
    EXPECT_EQ(with(lines, "window")[0]["controls"]["lblGPSDesc1"]["text"], "NMEA Mode");
    EXPECT_EQ(with(lines, "window")[1]["controls"]["lblProductID"]["text"], "NMEA");
    const auto menus = with(lines, "menus");
    ASSERT_EQ(menus.size(), 2u);
    EXPECT_EQ(menus[0], menus[1]); // the NMEA state again after Stop

    const auto rmc = rmc_with_position(kData + "garmin48.log");
    ASSERT_EQ(rmc.size(), 7u);
    const auto rows = with(lines, "row");
    ASSERT_EQ(rows.size(), 14u);
    std::size_t at = 0;
    while (at < rmc.size() && hms(rmc[at][1]) != rows[0]["time"]) ++at;
    ASSERT_LT(at, rmc.size()) << rows[0];
    // The .chk's positions of each sentence time, to 6 decimals.
    std::map<std::string, std::pair<double, double>> tpv;
    {
        std::ifstream in(kData + "garmin48.log.chk");
        for (std::string l; std::getline(in, l);) {
            const json j = json::parse(l, nullptr, false);
            if (j.is_object() && j.value("class", "") == "TPV" && j.contains("lat") && j.contains("lon") && j.contains("time"))
                tpv[j["time"].get<std::string>().substr(11, 8)] = {j["lat"], j["lon"]};
        }
    }
    for (std::size_t i = 0; i < rows.size(); ++i, at = (at + 1) % rmc.size()) {
        const json& r = rows[i];
        EXPECT_EQ(r["time"], hms(rmc[at][1])) << i;
        EXPECT_EQ(r["date"], "06/06/2001");
        const auto chk = tpv.find(r["time"].get<std::string>());
        if (chk != tpv.end()) {
            EXPECT_NEAR(num(r["lat"]), chk->second.first, 5e-7);
            EXPECT_NEAR(num(r["long"]), chk->second.second, 5e-7);
        }
        if (i > 0 && r["time"] == "22:53:10") {
            // Formed from the sentences since 22:53:08.
            for (auto [k, v] : std::map<std::string, std::string>{{"alt", "14.6"}, {"eph", "9.1"}, {"epv", "15.0"},
                                                                  {"epe", "12.0"}, {"pdop", "3.1"}, {"hdop", "2.1"},
                                                                  {"vdop", "2.0"}, {"pfix", "A"}, {"mvar", "24.1"},
                                                                  {"mdir", "E"}, {"datum", "WGS 84"}})
                EXPECT_EQ(r[k], v) << k;
        }
    }
    // The host never asked for the position stream.
    std::ifstream trace(unit.path + "/trace.jsonl");
    for (std::string l; std::getline(trace, l);) {
        const json j = json::parse(l, nullptr, false);
        if (!j.is_object() || j.value("dir", "") != "in" || j.value("id", 0) != 10) continue;
        const std::string d = j.value("data", "");
        EXPECT_NE(d.substr(0, 4), "3100") << l;
        EXPECT_NE(d.substr(0, 4), "3200") << l;
    }
}

// Every fix gpsbabel reads from a log is a row of one pass, in time and
// position; with garmin-10x two passes make no row at 0, 0.
TEST(ProbeNmeaRealTime, RowsMatchGpsbabelsFixes)
{
    const std::map<std::string, int> counts{{"garmin-10x.log", 10}, {"garmin15x.log", 7}, {"garmin17n.log", 2},
                                            {"garmin48.log", 7}};
    for (const auto& [log, count] : counts) {
        SCOPED_TRACE(log);
        const auto rmc = rmc_with_position(kData + log);
        const int passes = log == "garmin-10x.log" ? 2 : 1;
        Unit unit(kData + log);
        const auto rows = with(unit.probe({"menu", "mnuStartRealTime", "until", "rows",
                                           std::to_string(passes * rmc.size()), "30000", "table"}),
                               "row");
        ASSERT_EQ(rows.size(), passes * rmc.size());
        std::map<std::string, std::pair<double, double>> tpv;
        std::ifstream in(kData + log + ".chk");
        for (std::string l; std::getline(in, l);) {
            const json j = json::parse(l, nullptr, false);
            if (j.is_object() && j.value("class", "") == "TPV" && j.contains("lat") && j.contains("lon") && j.contains("time"))
                tpv[j["time"].get<std::string>().substr(11, 8)] = {j["lat"], j["lon"]};
        }
        for (const auto& r : rows) {
            EXPECT_FALSE(num(r["lat"]) == 0 && num(r["long"]) == 0);
            EXPECT_EQ(r["time"].get<std::string>().size(), 8u);
        }
        if (log == "garmin-10x.log") {
            bool v_row = false;
            for (const auto& r : rows) v_row |= r["time"] == "16:50:10";
            EXPECT_TRUE(v_row);
        }
        const std::string csv = run("gpsbabel", {"-t", "-i", "nmea", "-f", QString::fromStdString(kData + log), "-o",
                                                 "unicsv", "-F", "-"});
        std::string plain;
        for (char c : csv)
            if (c != '\r') plain += c;
        auto lines = split(plain, '\n');
        ASSERT_FALSE(lines.empty());
        const auto head = split(lines[0], ',');
        const auto col = [&](const char* n) { return std::size_t(std::find(head.begin(), head.end(), n) - head.begin()); };
        int fixes = 0;
        for (std::size_t i = 1; i < lines.size(); ++i) {
            const auto f = split(lines[i], ',');
            if (f.size() <= col("Time")) continue;
            ++fixes;
            const double lat = std::stod(f[col("Latitude")]), lon = std::stod(f[col("Longitude")]);
            const std::string t = f[col("Time")].substr(0, 8);
            bool matched = false;
            for (const auto& r : rows) {
                const std::string rt = r["time"];
                const int dt = std::abs((std::stoi(rt.substr(6, 2)) + 60 * std::stoi(rt.substr(3, 2))) -
                                        (std::stoi(t.substr(6, 2)) + 60 * std::stoi(t.substr(3, 2))));
                if (dt > 1 || rt.substr(0, 2) != t.substr(0, 2)) continue;
                const auto near = [&](double a, double b) {
                    return std::abs(num(r["lat"]) - a) <= 1.5e-6 && std::abs(num(r["long"]) - b) <= 1.5e-6;
                };
                const auto chk = tpv.find(rt);
                matched |= near(lat, lon) || (chk != tpv.end() && near(chk->second.first, chk->second.second));
            }
            EXPECT_TRUE(matched) << lines[i];
        }
        EXPECT_EQ(fixes, count);
    }
}

TEST(ProbeNmeaRealTime, DistanceToleranceIntoAPointFileAndTheLog)
{
    Unit unit(kData + "sirf-track.nmea");
    const std::string shp = unit.path + "/pts.shp";
    const auto lines = unit.probe({"menu", "mnuStartRealTime", "check", "frmRealTime.chkTolerance(1)", "1", "text",
                                   "frmRealTime.tbxToleranceValue(1)", "1", "answer", shp, "menu",
                                   "frmRealTime.cmdLoad", "menu", "frmRealTime.cmdControls", "1", "until", "rows",
                                   "5", "60000", "menu", "mnuStopRealTime", "table"});
    const auto rows = with(lines, "row");
    ASSERT_GE(rows.size(), 5u);
    const auto dist = [](const json& a, const json& b) {
        const double r = 6371009, k = M_PI / 180;
        const double dlat = (num(b["lat"]) - num(a["lat"])) * k;
        const double dlon = (num(b["long"]) - num(a["long"])) * k * std::cos(num(a["lat"]) * k);
        return r * std::hypot(dlat, dlon);
    };
    for (std::size_t i = 1; i < rows.size(); ++i) EXPECT_GE(dist(rows[i - 1], rows[i]), 0.99) << i;
    const std::string info = run("ogrinfo", {"-al", "-q", QString::fromStdString(shp)});
    std::size_t points = 0;
    for (std::size_t at = info.find("POINT ("); at != std::string::npos; at = info.find("POINT (", at + 1)) ++points;
    EXPECT_EQ(points, rows.size()) << info;
    EXPECT_NE(info.find("ident (String) = rt"), std::string::npos) << info.substr(0, 2000);
    EXPECT_NE(info.find(rows.back()["time"].get<std::string>()), std::string::npos);

    // Log mode: the same kind of rows as lines.
    Unit logging(kData + "sirf-track.nmea");
    const std::string log = logging.path + "/rt.txt";
    const auto second = logging.probe({"setting", "fields", "rtimeTextFile", "1", "setting", "fields", "rtimetextloc", log, "menu",
                "mnuStartRealTime", "check", "frmRealTime.chkTolerance(1)", "1", "text",
                "frmRealTime.tbxToleranceValue(1)", "1", "until", "status", "Logged 3 real time points to " + log,
                "30000", "menu", "mnuStopRealTime"});
    std::ifstream in(log);
    std::vector<std::string> logged;
    for (std::string l; std::getline(in, l);) logged.push_back(l);
    ASSERT_GE(logged.size(), 4u) << [&] {
        std::string t;
        for (const auto& l : second) t += l.dump().substr(0, 200) + "\n";
        return t;
    }();
    EXPECT_EQ(logged[0].rfind("type;ident;lat;long;", 0), 0u);
    EXPECT_EQ(logged[1].rfind("RTIMEWPT;rt1;", 0), 0u);
}
