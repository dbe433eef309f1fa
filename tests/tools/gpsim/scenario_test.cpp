// Every scenario file loads, and its downloads come out in the formats the
// unit stands for, records packet first and transfer complete last.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/tools/gpsim/host.h"
#include "tools/gpsim/codec.h"
#include "tools/gpsim/scenario.h"

namespace gpsim {
namespace {

std::string scenario_path(const std::string& name) {
  return std::string(TREKFOLD_SOURCE_DIR) + "/tools/gpsim/scenarios/" + name;
}

TEST(GpsimScenario, FormatsOfEachUnit) {
  struct Want {
    const char* file;
    const char* wpt;
    const char* rte_hdr;
    const char* rte_wpt;
    const char* link;
    const char* trk_hdr;
    const char* trk;
    const char* prx;
  };
  // Written from the capability table and the units' protocol arrays.
  const Want wants[] = {
      {"d108-unit.json", "D108", "D202", "D108", "D210", "D310", "D301", ""},
      {"d108-table-unit.json", "D108", "D202", "D108", "D210", "D310", "D301", ""},
      {"d110-array-unit.json", "D110", "D202", "D110", "D210", "D312", "D302", "D110"},
      {"product77-v355.json", "D103", "D201", "D103", "", "", "D300", ""},
      {"product77-v361.json", "D103", "D201", "D103", "", "", "D300", "D403"},
      {"product29-v399.json", "D101", "D201", "D101", "", "", "D300", "D101"},
      {"product29-v400.json", "D102", "D201", "D102", "", "", "D300", "D102"},
      {"l002-unit.json", "D150", "D201", "D150", "", "", "", "D450"},
      {"no-tracks-unit.json", "D108", "D202", "D108", "D210", "", "", ""},
  };
  for (const auto& w : wants) {
    SCOPED_TRACE(w.file);
    Scenario s = load_scenario_file(scenario_path(w.file));
    EXPECT_EQ(s.formats.waypoint, w.wpt);
    EXPECT_EQ(s.formats.route_header, w.rte_hdr);
    EXPECT_EQ(s.formats.route_waypoint, w.rte_wpt);
    EXPECT_EQ(s.formats.route_link, w.link);
    EXPECT_EQ(s.formats.track_header, w.trk_hdr);
    EXPECT_EQ(s.formats.track_point, w.trk);
    EXPECT_EQ(s.formats.proximity, w.prx);
  }
  Scenario l002 = load_scenario_file(scenario_path("l002-unit.json"));
  EXPECT_EQ(l002.ids.wpt_data, 43);
  EXPECT_EQ(l002.ids.cmd_wpt, 21);
  EXPECT_FALSE(load_scenario_file(scenario_path("silent-unit.json")).answers);
  Scenario nmea = load_scenario_file(scenario_path("nmea-4800-unit.json"));
  EXPECT_TRUE(nmea.nmea);
  EXPECT_EQ(nmea.speed, 4800);
  EXPECT_EQ(load_scenario_file(scenario_path("speed-38400-unit.json")).speed, 38400);
  EXPECT_FALSE(load_scenario_file(scenario_path("refuses-baud-unit.json")).baud_change);
}

TEST(GpsimScenario, EveryUnitServesItsRecords) {
  int served = 0;
  for (const auto& entry : std::filesystem::directory_iterator(scenario_path(""))) {
    SCOPED_TRACE(entry.path().string());
    Scenario s = load_scenario_file(entry.path().string());
    if (!s.answers || s.nmea) continue;
    ++served;
    const Scenario copy = s;
    Host h(std::move(s));
    h.dev.set_line_speed(copy.speed, h.now);
    const LinkIds& I = copy.ids;
    struct Kind { int cmd; const json& records; const std::string& format; int pid; };
    // Waypoints and proximity waypoints: one packet per record.
    for (const Kind& k : {Kind{I.cmd_wpt, copy.waypoints, copy.formats.waypoint, I.wpt_data},
                          Kind{I.cmd_prx, copy.proximity, copy.formats.proximity, I.prx_wpt}}) {
      auto got = h.download(static_cast<std::uint8_t>(I.command), static_cast<std::uint8_t>(k.cmd));
      if (k.format.empty()) {
        EXPECT_TRUE(got.empty());
        continue;
      }
      ASSERT_EQ(got.size(), k.records.size() + 2);
      EXPECT_EQ(got.front().id, I.records);
      EXPECT_EQ(got.front().data[0], k.records.size());
      EXPECT_EQ(got.back().data[0], k.cmd);
      for (std::size_t i = 0; i < k.records.size(); ++i) {
        EXPECT_EQ(got[i + 1].id, k.pid);
        json r = decode_record(k.format, got[i + 1].data);
        EXPECT_FALSE(r.contains("error")) << r.dump();
        EXPECT_EQ(r["ident"], k.records[i]["ident"]);
        EXPECT_NEAR(r["lat"].get<double>(), k.records[i]["lat"].get<double>(), 1e-7);
      }
    }
    // Routes: header, then points with links between them where the unit has links.
    auto got = h.download(static_cast<std::uint8_t>(I.command), static_cast<std::uint8_t>(I.cmd_rte));
    std::size_t want = 2;
    for (const auto& r : copy.routes) {
      std::size_t n = r["points"].size();
      want += 1 + n + (copy.formats.route_link.empty() || n == 0 ? 0 : n - 1);
    }
    ASSERT_EQ(got.size(), want);
    for (std::size_t i = 1; i + 1 < got.size(); ++i) {
      const std::string& f = got[i].id == I.rte_hdr ? copy.formats.route_header
                             : got[i].id == I.rte_wpt ? copy.formats.route_waypoint
                                                      : copy.formats.route_link;
      EXPECT_FALSE(decode_record(f, got[i].data).contains("error"));
    }
    // Tracks.
    got = h.download(static_cast<std::uint8_t>(I.command), static_cast<std::uint8_t>(I.cmd_trk));
    if (copy.formats.track_point.empty()) {
      EXPECT_TRUE(got.empty());
    } else {
      std::size_t points = 0;
      for (const auto& t : copy.tracks) points += t["points"].size();
      ASSERT_EQ(got.size(), points + 2 + (copy.formats.track_header.empty() ? 0 : copy.tracks.size()));
      json first = decode_record(copy.formats.track_point, got[copy.formats.track_header.empty() ? 1 : 2].data);
      EXPECT_EQ(first["new_segment"], true);
      EXPECT_EQ(first["time"], copy.tracks[0]["points"][0]["time"]);
    }
    // Almanac.
    got = h.download(static_cast<std::uint8_t>(I.command), static_cast<std::uint8_t>(I.cmd_alm));
    if (!copy.formats.almanac.empty()) {
      ASSERT_EQ(got.size(), copy.almanac.size() + 2);
      EXPECT_EQ(got[1].id, I.almanac);
    }
    // Date and time.
    h.send({static_cast<std::uint8_t>(I.command), {static_cast<std::uint8_t>(I.cmd_time), 0}});
    auto p = h.packets();
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[1].id, I.date_time);
    EXPECT_EQ(decode_record("D600", p[1].data)["year"], copy.date_time["year"]);
    h.ack(p[1].id);
  }
  EXPECT_EQ(served, 13);
}

TEST(GpsimScenario, BadFilesAreRefusedWithTheirName) {
  EXPECT_THROW(parse_scenario(json::parse(R"({"formats": {"waypoint": "D999"}})")), std::runtime_error);
  EXPECT_THROW(parse_scenario(json::parse(R"({"protocol_array": ["X12"]})")), std::runtime_error);
  EXPECT_THROW(parse_scenario(json::parse(R"({"product": {"id": 1}})")), std::runtime_error);
  EXPECT_THROW(parse_scenario(json::parse(R"({"formats": {}, "waypoints": {}})")), std::runtime_error);
  EXPECT_THROW(load_scenario_file("/nonexistent/unit.json"), std::runtime_error);
  EXPECT_THROW(parse_scenario(json::parse(R"({"formats": {}, "screens": [{"bits": 8, "pixels": 0, "lines": 1}]})")),
               std::runtime_error);
  try {
    parse_scenario(json::parse(R"({"formats": {}, "link": "L003"})"), "unit.json");
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("unit.json"), std::string::npos);
  }
}

}  // namespace
}  // namespace gpsim
