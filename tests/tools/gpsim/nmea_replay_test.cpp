// An NMEA unit replaying a receiver log: the log's sentence lines byte for
// byte in cycles, from the host's first write, looping or not; the host's
// frames traced decoded.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "tools/gpsim/device.h"
#include "tests/tools/gpsim/host.h"

namespace gpsim {
namespace {

Scenario nmea_unit() {
  return parse_scenario(json::parse(R"({
    "product": {"id": 128, "version": 2.7, "descriptions": ["TEST UNIT"]},
    "protocol_array": ["P000","L001","A010","A100","D108"],
    "serial": {"speed": 4800, "nmea": true, "nmea_period_ms": 200}
  })"));
}

std::string written(Host& h) {
  std::string text;
  for (auto& w : h.dev.take_writes()) text.append(w.begin(), w.end());
  return text;
}

TEST(GpsimNmeaReplay, CyclesFromOneRmcToTheNext) {
  const auto cycles = parse_nmea_replay(
      "# header\r\n\r\n$PGRMT,GPS 48*4F\n$GPRMC,1*00\r\n$GPGGA,1*00\n#note\n$GPRMC,2*00\r\n$PGRMZ,48,f*00");
  ASSERT_EQ(cycles.size(), 3u);
  EXPECT_EQ(cycles[0], (std::vector<std::string>{"$PGRMT,GPS 48*4F"}));
  EXPECT_EQ(cycles[1], (std::vector<std::string>{"$GPRMC,1*00", "$GPGGA,1*00"}));
  EXPECT_EQ(cycles[2], (std::vector<std::string>{"$GPRMC,2*00", "$PGRMZ,48,f*00"}));
  EXPECT_EQ(parse_nmea_replay("$GPRMC,1\n$GPRMC,2\n").size(), 2u); // no empty cycle ahead of the first
  EXPECT_TRUE(parse_nmea_replay("# only comments\r\n\r\n").empty());
}

TEST(GpsimNmeaReplay, SendsTheLogAfterTheHostsFirstWriteOnceOrLooping) {
  std::ifstream in(std::string(TREKFOLD_TESTDATA_DIR) + "/nmea/garmin48.log", std::ios::binary);
  const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const auto cycles = parse_nmea_replay(log);
  ASSERT_GT(cycles.size(), 3u);
  std::string expected;
  for (const auto& c : cycles)
    for (const auto& l : c) expected += l + "\r\n";

  for (bool loop : {false, true}) {
    Options o;
    o.nmea_replay = cycles;
    o.nmea_loop = loop;
    Host h(nmea_unit(), o);
    h.dev.set_line_speed(4800, h.now);
    h.wait(1000);
    EXPECT_EQ(written(h), "") << "nothing before the host writes";
    h.send({10, {49, 0}}); // the host asks for PVT: traced, not answered
    h.wait(0);
    std::string got = written(h);
    std::size_t first_cycle = 0;
    for (const auto& l : cycles[0]) first_cycle += l.size() + 2;
    EXPECT_EQ(got, expected.substr(0, first_cycle)); // one cycle a period
    for (std::size_t k = 1; k < cycles.size(); ++k) {
      h.wait(200);
      got += written(h);
    }
    EXPECT_EQ(got, expected);
    h.wait(200);
    EXPECT_EQ(written(h), loop ? expected.substr(0, first_cycle) : "") << loop;
    bool traced = false;
    for (const json& t : h.dev.trace())
      traced = traced || (t.value("dir", "") == "in" && t.value("id", 0) == 10 && t.value("data", "") == "3100");
    EXPECT_TRUE(traced);
  }
}

}  // namespace
}  // namespace gpsim
