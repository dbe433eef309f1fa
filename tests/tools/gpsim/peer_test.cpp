// gpsbabel's receiver driver against the simulator over a pty: downloads
// must give exactly the scenario's records, uploads must land in the dump.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/support/files.h"
#include "tools/gpsim/gpsim.h"

extern char** environ;

namespace gpsim {
namespace {

const double kSemicircle = 180.0 / 2147483648.0;
const double kTolerance = kSemicircle + 1e-9;  // GPX carries nine decimals

std::string scenario_path(const std::string& name) {
  return std::string(TREKFOLD_SOURCE_DIR) + "/tools/gpsim/scenarios/" + name;
}

using test_support::read_file;
using test_support::TempDir;

int run(const std::string& cmd) {
  int rc = std::system(("timeout 120 " + cmd).c_str());
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

struct Point {
  std::string tag, name;
  double lat = 0, lon = 0;
};

struct Gpx {
  std::vector<Point> wpts;
  std::vector<std::pair<std::string, std::vector<Point>>> rtes, trks;
};

// Enough of GPX 1.0 as gpsbabel writes it: wpt, rte/rtept, trk/trkseg/trkpt.
Gpx parse_gpx(const std::string& text) {
  Gpx g;
  std::regex token(R"re(<(wpt|rtept|trkpt) lat="([-0-9.]+)" lon="([-0-9.]+)"|<(rte|trk)>|</(wpt|rtept|trkpt)>|<name>([^<]*)</name>)re");
  std::string* container_name = nullptr;
  Point p;
  bool in_point = false;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), token); it != std::sregex_iterator(); ++it) {
    const auto& m = *it;
    if (m[1].matched) {
      p = Point{m[1], "", std::stod(m[2]), std::stod(m[3])};
      in_point = true;
    } else if (m[4].matched) {
      auto& list = m[4] == "rte" ? g.rtes : g.trks;
      list.push_back({"", {}});
      container_name = &list.back().first;
    } else if (m[5].matched) {
      if (p.tag == "wpt") g.wpts.push_back(p);
      else if (p.tag == "rtept" && !g.rtes.empty()) g.rtes.back().second.push_back(p);
      else if (p.tag == "trkpt" && !g.trks.empty()) g.trks.back().second.push_back(p);
      in_point = false;
    } else if (m[6].matched) {
      if (in_point) {
        p.name = m[6];
      } else if (container_name) {
        *container_name = m[6];
        container_name = nullptr;
      }
    }
  }
  return g;
}

std::string trimmed(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

void expect_point(const Point& got, const json& want, const std::string& what) {
  EXPECT_NEAR(got.lat, want["lat"].get<double>(), kTolerance) << what;
  EXPECT_NEAR(got.lon, want["lon"].get<double>(), kTolerance) << what;
  if (want.contains("ident")) {
    EXPECT_EQ(trimmed(got.name), want["ident"].get<std::string>()) << what;
  }
}

void expect_matches_scenario(const Gpx& g, const json& sc, bool track_names = true) {
  const json w = sc.value("waypoints", json::array());
  ASSERT_EQ(g.wpts.size(), w.size());
  for (std::size_t i = 0; i < w.size(); ++i) expect_point(g.wpts[i], w[i], "waypoint " + std::to_string(i));
  const json r = sc.value("routes", json::array());
  ASSERT_EQ(g.rtes.size(), r.size());
  for (std::size_t i = 0; i < r.size(); ++i) {
    EXPECT_EQ(trimmed(g.rtes[i].first), r[i]["ident"].get<std::string>());
    ASSERT_EQ(g.rtes[i].second.size(), r[i]["points"].size());
    for (std::size_t k = 0; k < r[i]["points"].size(); ++k)
      expect_point(g.rtes[i].second[k], r[i]["points"][k], "route point " + std::to_string(k));
  }
  const json t = sc.value("tracks", json::array());
  ASSERT_EQ(g.trks.size(), t.size());
  for (std::size_t i = 0; i < t.size(); ++i) {
    if (track_names) {
      EXPECT_EQ(g.trks[i].first, t[i]["ident"].get<std::string>());
    }
    ASSERT_EQ(g.trks[i].second.size(), t[i]["points"].size());
    for (std::size_t k = 0; k < t[i]["points"].size(); ++k)
      expect_point(g.trks[i].second[k], t[i]["points"][k], "track point " + std::to_string(k));
  }
}

// The program, started as a test would start it from a shell.
struct Program {
  pid_t pid = -1;
  Program(const std::vector<std::string>& args, const std::string& out) {
    std::vector<char*> argv;
    std::vector<std::string> a{GPSIM_PROGRAM};
    a.insert(a.end(), args.begin(), args.end());
    for (auto& s : a) argv.push_back(s.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_addopen(&fa, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn(&pid, argv[0], &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
  }
  ~Program() {
    if (pid > 0) {
      kill(pid, SIGTERM);
      int st;
      waitpid(pid, &st, 0);
    }
  }
};

// Waits until the program has made its link; a busy machine may take a while.
bool wait_for(const std::string& path) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  struct stat st;
  while (lstat(path.c_str(), &st) != 0) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// Runs a command that goes on until stopped, and stops it once `file` holds
// every text in `texts` and at least `size` bytes, or after a minute.
void capture_until(const std::string& command, const std::string& file, const std::vector<std::string>& texts,
                   std::size_t size = 1) {
  const std::string line = "exec " + command;  // made before fork: the child only execs
  const pid_t pid = fork();
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", line.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  ASSERT_GT(pid, 0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  auto done = [&] {
    std::ifstream in(file, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    if (text.size() < size) return false;
    for (const auto& t : texts)
      if (text.find(t) == std::string::npos) return false;
    return true;
  };
  while (!done() && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  kill(pid, SIGTERM);
  int status = 0;
  waitpid(pid, &status, 0);
}

// Waits until the simulator has seen the pty's line speed set to `baud`.
bool sees_line_speed(const Simulator& sim, int baud) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (;;) {
    int last = 0;
    for (const auto& t : sim.trace())
      if (t.value("dir", "") == "line") last = t.value("line_speed", 0);
    if (last == baud) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
}

json load_json(const std::string& path) { return json::parse(read_file(path)); }

TEST(GpsimPeer, GpsbabelDownloadsExactlyTheScenario) {
  TempDir dir;
  const std::string link = dir.path + "/gps0";
  Program sim({"--scenario", scenario_path("d108-unit.json"), "--link", link, "--trace", dir.path + "/trace.jsonl"},
              dir.path + "/stdout");
  ASSERT_TRUE(wait_for(link));
  ASSERT_EQ(run("gpsbabel -w -r -t -i garmin -f " + link + " -o gpx -F " + dir.path + "/out.gpx"), 0)
      << read_file(dir.path + "/trace.jsonl");
  expect_matches_scenario(parse_gpx(read_file(dir.path + "/out.gpx")), load_json(scenario_path("d108-unit.json")));
  // The first line of the program's output is the slave path the link points at.
  std::string first = read_file(dir.path + "/stdout");
  first = first.substr(0, first.find('\n'));
  char target[256] = {};
  ASSERT_GT(readlink(link.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(first, target);
}

// Faults that a sound host rides out: gpsbabel still gets every record. The
// duplicated frame is the product data: a duplicated acknowledgement (frame
// 7) is read by gpsbabel as the record after it or not, as the machine's load
// times its reads, so it failed now and then on a busy machine.
TEST(GpsimPeer, GpsbabelRidesOutFaultsGivenOnTheCommandLine) {
  const std::vector<std::vector<std::string>> faults = {
      {"--byte-writes"}, {"--merge-writes"}, {"--delay-ack", "3:300"}, {"--nak-host", "2"}, {"--drop", "6"},
      {"--duplicate", "2"}};
  for (const auto& f : faults) {
    SCOPED_TRACE(f[0]);
    TempDir dir;
    const std::string link = dir.path + "/gps0";
    std::vector<std::string> args{"--scenario", scenario_path("d108-unit.json"), "--link", link,
                                  "--trace", dir.path + "/trace.jsonl"};
    args.insert(args.end(), f.begin(), f.end());
    Program sim(args, dir.path + "/stdout");
    ASSERT_TRUE(wait_for(link));
    ASSERT_EQ(run("gpsbabel -w -r -t -i garmin -f " + link + " -o gpx -F " + dir.path + "/out.gpx 2>" + dir.path +
                  "/stderr"),
              0)
        << read_file(dir.path + "/stderr") << read_file(dir.path + "/trace.jsonl");
    expect_matches_scenario(parse_gpx(read_file(dir.path + "/out.gpx")), load_json(scenario_path("d108-unit.json")));
    if (f.size() > 1) {
      EXPECT_NE(read_file(dir.path + "/trace.jsonl").find("\"fault\":"), std::string::npos);
    }
  }
}

TEST(GpsimPeer, GpsbabelDownloadsFromTheArrayUnit) {
  TempDir dir;
  Simulator sim(load_scenario_file(scenario_path("d110-array-unit.json")), Options{});
  sim.link(dir.path + "/gps0");
  sim.start();
  ASSERT_EQ(run("gpsbabel -w -r -t -i garmin -f " + dir.path + "/gps0 -o gpx -F " + dir.path + "/out.gpx"), 0);
  expect_matches_scenario(parse_gpx(read_file(dir.path + "/out.gpx")), load_json(scenario_path("d110-array-unit.json")));
}

// Units without a protocol array: gpsbabel picks their formats from its own
// table by product ID and version, an independent reading of the same units.
TEST(GpsimPeer, GpsbabelDownloadsFromTableUnitsAndTheL002Unit) {
  for (const char* name : {"product77-v355.json", "product77-v361.json", "product29-v399.json",
                           "product29-v400.json", "l002-unit.json"}) {
    SCOPED_TRACE(name);
    TempDir dir;
    Simulator sim(load_scenario_file(scenario_path(name)), Options{});
    sim.link(dir.path + "/gps0");
    sim.start();
    ASSERT_EQ(run("gpsbabel -w -r -t -i garmin -f " + dir.path + "/gps0 -o gpx -F " + dir.path + "/out.gpx"), 0);
    expect_matches_scenario(parse_gpx(read_file(dir.path + "/out.gpx")), load_json(scenario_path(name)), false);
  }
}

TEST(GpsimPeer, GpsbabelChangesTheSpeed) {
  TempDir dir;
  Simulator sim(load_scenario_file(scenario_path("d108-unit.json")), Options{});
  sim.link(dir.path + "/gps0");
  sim.start();
  ASSERT_EQ(run("gpsbabel -w -i garmin,baud=57600 -f " + dir.path + "/gps0 -o gpx -F " + dir.path + "/out.gpx"), 0);
  EXPECT_EQ(parse_gpx(read_file(dir.path + "/out.gpx")).wpts.size(), 4u);
  bool changed = false;
  for (auto& t : sim.trace())
    if (t.value("event", "") == "speed changed" && t["speed"] == 57600) changed = true;
  EXPECT_TRUE(changed);
}

TEST(GpsimPeer, GpsbabelFollowsThePvtStream) {
  TempDir dir;
  Simulator sim(load_scenario_file(scenario_path("d108-unit.json")), Options{});
  sim.link(dir.path + "/gps0");
  sim.start();
  // Real-time tracking runs until stopped: it is stopped once the first fix
  // is written.
  capture_until("gpsbabel -T -i garmin -f " + dir.path + "/gps0 -o nmea -F " + dir.path + "/fixes.nmea",
                dir.path + "/fixes.nmea", {"GPGGA"});
  const std::string nmea = read_file(dir.path + "/fixes.nmea");
  // 45.5 N 93.25 W at 270 m, GPS week day 12530 plus 302400 s less 18 leap seconds.
  EXPECT_NE(nmea.find("$GPGGA,115942.000,4530.000,N,09315.000,W,1,"), std::string::npos) << nmea;
  EXPECT_NE(nmea.find(",270.000,M,"), std::string::npos);
  EXPECT_NE(nmea.find(",240424,"), std::string::npos);
}

TEST(GpsimPeer, UnitsThatDoNotAnswerAtNineThousandSixHundred) {
  for (const char* name : {"silent-unit.json", "speed-38400-unit.json", "nmea-4800-unit.json"}) {
    SCOPED_TRACE(name);
    TempDir dir;
    Simulator sim(load_scenario_file(scenario_path(name)), Options{});
    sim.link(dir.path + "/gps0");
    sim.start();
    EXPECT_NE(run("gpsbabel -w -i garmin -f " + dir.path + "/gps0 -o gpx -F " + dir.path + "/out.gpx 2>/dev/null"), 0);
  }
}

TEST(GpsimPeer, NmeaUnitIsReadableAtFortyEightHundredOnly) {
  TempDir dir;
  Simulator sim(load_scenario_file(scenario_path("nmea-4800-unit.json")), Options{});
  const std::string link = dir.path + "/gps0";
  sim.link(link);
  sim.start();
  // At 9600 the sentences come garbled: a few dozen bytes show it.
  ASSERT_EQ(run("stty -F " + link + " 9600 raw -echo"), 0);
  ASSERT_TRUE(sees_line_speed(sim, 9600));
  capture_until("cat " + link + " > " + dir.path + "/at9600", dir.path + "/at9600", {}, 64);
  ASSERT_EQ(run("stty -F " + link + " 4800 raw -echo"), 0);
  ASSERT_TRUE(sees_line_speed(sim, 4800));
  capture_until("cat " + link + " > " + dir.path + "/at4800", dir.path + "/at4800", {"$GPRMC,", "$GPGGA,"});
  const std::string slow = read_file(dir.path + "/at4800"), fast = read_file(dir.path + "/at9600");
  EXPECT_NE(slow.find("$GPRMC,"), std::string::npos) << slow;
  EXPECT_NE(slow.find("$GPGGA,"), std::string::npos) << slow;
  EXPECT_EQ(fast.find('$'), std::string::npos);
  EXPECT_FALSE(fast.empty());
}

std::vector<json> dump_of(const Simulator& sim, const std::string& kind) {
  std::vector<json> out;
  for (auto& l : sim.uploads())
    if (l["kind"] == kind) out.push_back(l["record"]);
  return out;
}

const char* kUploadGpx = R"(<?xml version="1.0" encoding="UTF-8"?>
<gpx version="1.0" creator="test" xmlns="http://www.topografix.com/GPX/1/0">
  <wpt lat="12.345678" lon="-98.765432"><name>UPA</name><cmt>FIRST</cmt></wpt>
  <wpt lat="-45.000001" lon="170.5"><name>UPB</name></wpt>
  <wpt lat="0.5" lon="0.25"><name>UPC</name></wpt>
  <rte><name>UPR</name>
    <rtept lat="1.0" lon="2.0"><name>RA</name></rtept>
    <rtept lat="1.5" lon="2.5"><name>RB</name></rtept>
    <rtept lat="2.0" lon="3.0"><name>RC</name></rtept>
  </rte>
  <trk><name>UPT</name><trkseg>
    <trkpt lat="10.0" lon="20.0"><time>2024-06-01T10:00:00Z</time></trkpt>
    <trkpt lat="10.001" lon="20.001"><time>2024-06-01T10:00:10Z</time></trkpt>
    <trkpt lat="10.002" lon="20.002"><time>2024-06-01T10:00:20Z</time></trkpt>
    <trkpt lat="10.003" lon="20.003"><time>2024-06-01T10:00:30Z</time></trkpt>
  </trkseg></trk>
</gpx>
)";

TEST(GpsimPeer, GpsbabelUploadsLandInTheDumpAndComeBack) {
  TempDir dir;
  Options opt;
  opt.dump_path = dir.path + "/dump.jsonl";
  Simulator sim(load_scenario_file(scenario_path("d108-unit.json")), opt);
  const std::string link = dir.path + "/gps0";
  sim.link(link);
  sim.start();
  std::ofstream(dir.path + "/in.gpx") << kUploadGpx;
  const Gpx in = parse_gpx(kUploadGpx);

  ASSERT_EQ(run("gpsbabel -w -i gpx -f " + dir.path + "/in.gpx -o garmin -F " + link), 0);
  auto w = dump_of(sim, "waypoint");
  ASSERT_EQ(w.size(), 3u);
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(w[i]["ident"], in.wpts[i].name);
    EXPECT_NEAR(w[i]["lat"].get<double>(), in.wpts[i].lat, kTolerance);
    EXPECT_NEAR(w[i]["lon"].get<double>(), in.wpts[i].lon, kTolerance);
  }
  // The dump file holds the same lines.
  int lines = 0;
  std::ifstream f(opt.dump_path);
  for (std::string l; std::getline(f, l);) ++lines;
  EXPECT_EQ(lines, static_cast<int>(sim.uploads().size()));

  ASSERT_EQ(run("gpsbabel -r -i gpx -f " + dir.path + "/in.gpx -o garmin -F " + link), 0);
  ASSERT_EQ(run("gpsbabel -t -i gpx -f " + dir.path + "/in.gpx -o garmin -F " + link), 0);
  auto hdr = dump_of(sim, "route_header");
  ASSERT_EQ(hdr.size(), 1u);
  EXPECT_EQ(hdr[0]["ident"], "UPR");
  auto rp = dump_of(sim, "route_waypoint");
  ASSERT_EQ(rp.size(), 3u);
  EXPECT_EQ(rp[2]["ident"], "RC");
  auto tp = dump_of(sim, "track_point");
  ASSERT_EQ(tp.size(), 4u);
  EXPECT_NEAR(tp[3]["lat"].get<double>(), 10.003, kTolerance);
  EXPECT_EQ(tp[3]["time"], "2024-06-01T10:00:30Z");

  // What was uploaded is what the next download returns.
  ASSERT_EQ(run("gpsbabel -w -r -t -i garmin -f " + link + " -o gpx -F " + dir.path + "/back.gpx"), 0);
  const Gpx back = parse_gpx(read_file(dir.path + "/back.gpx"));
  ASSERT_EQ(back.wpts.size(), 3u);
  EXPECT_EQ(back.wpts[1].name, "UPB");
  ASSERT_EQ(back.rtes.size(), 1u);
  EXPECT_EQ(back.rtes[0].second.size(), 3u);
  ASSERT_EQ(back.trks.size(), 1u);
  EXPECT_EQ(back.trks[0].second.size(), 4u);
}

TEST(GpsimPeer, GpsbabelUploadsARealGpxFile) {
  TempDir dir;
  Simulator sim(load_scenario_file(scenario_path("d108-unit.json")), Options{});
  const std::string link = dir.path + "/gps0";
  sim.link(link);
  sim.start();
  const std::string file = std::string(TREKFOLD_TESTDATA_DIR) + "/gpx/gdb-sample.gpx";
  const Gpx in = parse_gpx(read_file(file));
  ASSERT_FALSE(in.wpts.empty());
  ASSERT_EQ(run("gpsbabel -w -r -t -i gpx -f " + file + " -o garmin -F " + link), 0);
  std::size_t in_track_points = 0, in_route_points = 0;
  for (auto& t : in.trks) in_track_points += t.second.size();
  for (auto& r : in.rtes) in_route_points += r.second.size();
  EXPECT_EQ(dump_of(sim, "waypoint").size(), in.wpts.size());
  EXPECT_EQ(dump_of(sim, "route_waypoint").size(), in_route_points);
  EXPECT_EQ(dump_of(sim, "track_point").size(), in_track_points);
  for (auto& l : sim.uploads()) EXPECT_FALSE(l.contains("record") && l["record"].contains("error")) << l.dump();
}

}  // namespace
}  // namespace gpsim
