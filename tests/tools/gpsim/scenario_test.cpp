#include <gtest/gtest.h>

#include "tools/gpsim/scenario.h"

namespace gpsim {
namespace {

std::string scenario_path(const std::string& name) {
  return std::string(TREKFOLD_SOURCE_DIR) + "/tools/gpsim/scenarios/" + name;
}

TEST(GpsimScenario, D108UnitFormatsComeFromItsArray) {
  Scenario s = load_scenario_file(scenario_path("d108-unit.json"));
  EXPECT_EQ(s.formats.waypoint, "D108");
  EXPECT_EQ(s.formats.route_header, "D202");
  EXPECT_EQ(s.formats.route_waypoint, "D108");
  EXPECT_EQ(s.formats.route_link, "D210");
  EXPECT_EQ(s.formats.track_header, "D310");
  EXPECT_EQ(s.formats.track_point, "D301");
  EXPECT_EQ(s.software_version, 270);
}

}  // namespace
}  // namespace gpsim
