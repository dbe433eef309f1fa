// The simulated receiver's side of the link, driven without a pty.
#include <gtest/gtest.h>

#include "tools/gpsim/codec.h"
#include "tools/gpsim/device.h"
#include "tests/tools/gpsim/host.h"

namespace gpsim {
namespace {

Scenario small_unit() {
  return parse_scenario(json::parse(R"({
    "product": {"id": 128, "version": 2.7, "descriptions": ["TEST UNIT"]},
    "protocol_array": ["P000","L001","A010","A100","D108","A201","D202","D108","D210","A301","D310","D301"],
    "unit_id": 42,
    "waypoints": [{"ident": "ONE", "lat": 1.0, "lon": 2.0}, {"ident": "TWO", "lat": 3.0, "lon": 4.0}],
    "position": {"lat": 45.0, "lon": 10.0}
  })"));
}

TEST(GpsimDevice, ProductDataThenArrayEachAfterTheHostsAck) {
  Host h(small_unit());
  h.send({254, {}});
  auto p = h.packets();
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[0].id, 6);
  EXPECT_EQ(p[0].data, (Bytes{254, 0}));
  EXPECT_EQ(p[1].id, 255);
  Bytes product{128, 0, 14, 1};  // 2.70 = 270 = 0x010E
  for (char c : std::string("TEST UNIT")) product.push_back(c);
  product.push_back(0);
  EXPECT_EQ(p[1].data, product);
  h.ack(255);
  p = h.packets();
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].id, 253);
  EXPECT_EQ(p[0].data.size(), 12u * 3);
  EXPECT_EQ(p[0].data[3], 'L');
  EXPECT_EQ(p[0].data[4], 1);
  h.ack(253);
  EXPECT_TRUE(h.packets().empty());

  // Unit ID on command 14.
  h.send({10, {14, 0}});
  p = h.packets();
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[1].id, 38);
  EXPECT_EQ(p[1].data, (Bytes{42, 0, 0, 0}));
}

TEST(GpsimDevice, WaypointDownloadWithNakAndTimeoutResends) {
  Options o;
  o.ack_timeout_ms = 500;
  Host h(small_unit(), o);
  h.send({10, {7, 0}});
  auto p = h.packets();
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[1].id, 27);
  EXPECT_EQ(p[1].data, (Bytes{2, 0}));
  h.send({21, {27, 0}});  // NAK: the records packet comes again
  p = h.packets();
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].id, 27);
  h.ack(27);
  p = h.packets();
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].id, 35);
  EXPECT_EQ(decode_record("D108", p[0].data)["ident"], "ONE");
  h.wait(400);
  EXPECT_TRUE(h.packets().empty());
  h.wait(200);  // past the time-out: sent again
  p = h.packets();
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].id, 35);
  h.ack(35);
  p = h.packets();
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(decode_record("D108", p[0].data)["ident"], "TWO");
  h.ack(35);
  p = h.packets();
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].id, 12);
  EXPECT_EQ(p[0].data, (Bytes{7, 0}));
  h.ack(12);
  h.wait(5000);
  EXPECT_TRUE(h.packets().empty());
}

TEST(GpsimDevice, BadChecksumGetsNakAndNothingElse) {
  Host h(small_unit());
  h.send_raw({0x10, 0x0A, 0x02, 0x07, 0x00, 0x00, 0x10, 0x03});
  auto p = h.packets();
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].id, 21);
  EXPECT_EQ(p[0].data, (Bytes{0x0A, 0}));
}

TEST(GpsimDevice, PvtStreamsWithoutWaiting) {
  Host h(small_unit());
  h.send({10, {49, 0}});
  h.wait(0);
  auto p = h.packets();
  ASSERT_EQ(p.size(), 2u);  // ACK, first PVT
  EXPECT_EQ(p[1].id, 51);
  EXPECT_NEAR(decode_record("D800", p[1].data)["lat"].get<double>(), 45.0, 1e-9);
  h.wait(1000);
  h.wait(1000);
  p = h.packets();
  ASSERT_EQ(p.size(), 2u);  // two more, none of them ACKed
  h.send({10, {50, 0}});
  h.wait(3000);
  EXPECT_EQ(h.packets().size(), 1u);  // the ACK only
}

TEST(GpsimDevice, UploadIsDumpedAndReplacesTheStoredSet) {
  Host h(small_unit());
  h.send({27, {1, 0}});
  h.send({35, *encode_record("D108", {{"ident", "NEW"}, {"lat", -10.0}, {"lon", 20.0}})});
  h.send({12, {7, 0}});
  auto p = h.packets();
  ASSERT_EQ(p.size(), 3u);
  for (auto& a : p) EXPECT_EQ(a.id, 6);
  auto dump = h.dev.uploads();
  ASSERT_EQ(dump.size(), 3u);
  EXPECT_EQ(dump[1]["kind"], "waypoint");
  EXPECT_EQ(dump[1]["record"]["ident"], "NEW");
  EXPECT_EQ(dump[2]["stored"], "waypoints");
  EXPECT_EQ(dump[2]["received"], 1);
  h.send({10, {7, 0}});
  h.ack(27);
  p = h.packets();
  ASSERT_EQ(p.size(), 3u);
  EXPECT_EQ(p[1].data, (Bytes{1, 0}));
  EXPECT_EQ(decode_record("D108", p[2].data)["ident"], "NEW");
}

TEST(GpsimDevice, RoutesAndTracksUploadRebuildRecords) {
  Host h(small_unit());
  h.send({27, {4, 0}});
  h.send({29, *encode_record("D202", {{"ident", "R"}})});
  h.send({30, *encode_record("D108", {{"ident", "P1"}})});
  h.send({98, *encode_record("D210", {{"class", 3}})});
  h.send({30, *encode_record("D108", {{"ident", "P2"}})});
  h.send({12, {4, 0}});
  json routes = h.dev.stored("routes");
  ASSERT_EQ(routes.size(), 1u);
  EXPECT_EQ(routes[0]["ident"], "R");
  EXPECT_EQ(routes[0]["points"].size(), 2u);
  EXPECT_EQ(routes[0]["links"].size(), 1u);
}

TEST(GpsimDevice, CountExchangeEndsWithTheHostsTransferComplete) {
  Host h(small_unit());
  h.send({10, {7, 0}});
  h.packets();
  h.send({12, {0, 0}});  // instead of the ACK of the records packet
  EXPECT_EQ(h.packets().size(), 1u);  // its ACK
  h.wait(10000);
  EXPECT_TRUE(h.packets().empty());
}

TEST(GpsimDevice, BaudChangeAndSpeedMismatch) {
  Host h(small_unit());
  h.send({48, {0x00, 0xE1, 0x00, 0x00}});  // 57600
  auto p = h.packets();
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[1].id, 49);
  EXPECT_EQ(p[1].data, (Bytes{0x00, 0xE1, 0x00, 0x00}));
  EXPECT_EQ(h.dev.speed(), 57600);  // switched right after the reply
  // The host's ACK of the reply, still at 9600, is noise now; so is anything
  // else the host sends before it switches too. Nothing is re-sent.
  h.ack(49);
  h.send({10, {0, 0}});
  h.wait(500);
  EXPECT_TRUE(h.packets().empty());
  h.dev.set_line_speed(57600, h.now);
  h.send({10, {0, 0}});
  EXPECT_EQ(h.packets().size(), 1u);
  h.wait(10000);
  EXPECT_EQ(h.dev.speed(), 57600);  // confirmed
  // Output while the speeds differ reaches the host as garbage, never a frame.
  h.send({10, {49, 0}});
  h.wait(0);
  EXPECT_EQ(h.packets().size(), 2u);  // ACK and the first PVT
  h.dev.set_line_speed(9600, h.now);
  h.wait(1000);
  auto ev = h.events();
  ASSERT_FALSE(ev.empty());
  for (auto& e : ev) EXPECT_EQ(e.kind, Deframer::Event::Noise);
}

TEST(GpsimDevice, BaudChangeRefusedOrUnconfirmed) {
  Scenario s = small_unit();
  s.baud_change = false;
  Host refused(s);
  refused.send({48, {0x00, 0x96, 0x00, 0x00}});
  EXPECT_EQ(refused.packets().size(), 1u);  // ACK, no reply
  EXPECT_EQ(refused.dev.speed(), 9600);
  Host h(small_unit());
  h.send({48, {0x00, 0x96, 0x00, 0x00}});   // 38400
  h.packets();
  EXPECT_EQ(h.dev.speed(), 38400);
  h.wait(4000);                              // nothing heard at 38400
  EXPECT_EQ(h.dev.speed(), 9600);
  h.send({48, {0x01, 0x00, 0x00, 0x00}});   // a speed the unit does not have
  EXPECT_EQ(h.packets().size(), 1u);
}

TEST(GpsimDevice, L002UsesItsOwnIds) {
  Scenario s = parse_scenario(json::parse(R"({
    "link": "L002", "formats": {"waypoint": "D150", "route_header": "D201", "route_waypoint": "D150"},
    "waypoints": [{"ident": "W"}]})"));
  Host h(s);
  h.send({11, {21, 0}});
  auto p = h.packets();
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[1].id, 35);
  h.ack(35);
  p = h.packets();
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].id, 43);
  EXPECT_EQ(p[0].data.size(), 115u);
}

TEST(GpsimDevice, OutgoingFaults) {
  Options o;
  o.faults.corrupt = {2};
  o.faults.silent_after = 4;
  Host h(small_unit(), o);
  h.send({10, {7, 0}});  // frame 1 ACK, frame 2 records (corrupted)
  auto ev = h.events();
  ASSERT_EQ(ev.size(), 2u);
  EXPECT_EQ(ev[1].kind, Deframer::Event::BadChecksum);
  h.send({21, {27, 0}});  // frame 3: the records packet again, good
  auto p = h.packets();
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].id, 27);
  h.ack(27);              // frame 4: first waypoint, then silence
  EXPECT_EQ(h.packets().size(), 1u);
  h.ack(35);
  h.wait(5000);
  EXPECT_TRUE(h.events().empty());
}

TEST(GpsimDevice, HostSideFaults) {
  Options o;
  o.faults.nak_host = {1};
  o.faults.withhold_ack = {2};
  o.faults.delay_ack = {{3, 300}};
  o.faults.byte_writes = true;
  Host h(small_unit(), o);
  h.send({10, {2, 0}});
  auto w = h.dev.take_writes();
  ASSERT_EQ(w.size(), 8u);  // the NAK, one byte a write
  for (auto& b : w) EXPECT_EQ(b.size(), 1u);
  h.send({10, {2, 0}});
  EXPECT_TRUE(h.dev.take_writes().empty());
  h.send({10, {2, 0}});
  EXPECT_TRUE(h.dev.take_writes().empty());
  h.wait(300);
  auto p = h.packets();
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[0].id, 6);
  EXPECT_EQ(p[1].id, 17);  // the position
}

TEST(GpsimDevice, PacketsOfAWithheldIdAreNeverAcknowledgedNorStored) {
  Options o;
  o.faults.withhold_ack_ids = {27};
  Host h(small_unit(), o);
  for (int attempt = 0; attempt < 2; ++attempt) h.send({27, {1, 0}});
  h.wait(3000);
  EXPECT_TRUE(h.packets().empty());
  EXPECT_TRUE(h.dev.uploads().empty());
  // Every other packet is answered as before.
  h.send({10, {14, 0}});
  auto p = h.packets();
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[0].id, 6);
}

TEST(GpsimDevice, AUnitThatStopsAcknowledgingAtTheSecondWaypointStillServesCommands) {
  Options o;
  o.faults.stop_ack = {{35, 2}};
  Host h(small_unit(), o);
  h.send({27, {3, 0}});
  h.send({35, {1, 2, 3}});
  auto p = h.packets();
  ASSERT_EQ(p.size(), 2u);  // the records packet and the first waypoint acknowledged
  EXPECT_EQ(p[1].data, (Bytes{35, 0}));
  // The second waypoint, its re-send and the end: nothing comes back.
  h.send({35, {1, 2, 3}});
  h.send({35, {1, 2, 3}});
  h.send({12, {7, 0}});
  h.wait(3000);
  EXPECT_TRUE(h.packets().empty());
  // A download asked for after it runs.
  h.send({10, {7, 0}});
  p = h.packets();
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[0].id, 6);
  EXPECT_EQ(p[1].id, 27);
}

TEST(GpsimDevice, SilentUnitAndNmeaUnit) {
  Scenario quiet = small_unit();
  quiet.answers = false;
  Host q(quiet);
  q.send({254, {}});
  q.wait(5000);
  EXPECT_TRUE(q.dev.take_writes().empty());

  Scenario nmea = small_unit();
  nmea.nmea = true;
  nmea.speed = 4800;
  Host n(nmea);
  n.dev.set_line_speed(4800, n.now);
  n.wait(0);
  std::string text;
  for (auto& w : n.dev.take_writes()) text.append(w.begin(), w.end());
  EXPECT_EQ(text.rfind("$GPRMC,", 0), 0u);
  EXPECT_NE(text.find("\r\n$GPGGA,"), std::string::npos);
  EXPECT_EQ(text.find('\x10'), std::string::npos);
}

}  // namespace
}  // namespace gpsim

namespace gpsim {
namespace {

TEST(GpsimDevice, FrameShapeFaults) {
  Options o;
  o.faults.drop = {2};         // the records packet: never written, re-sent after the time-out
  o.faults.duplicate = {4};    // that re-send twice
  o.faults.cut = {{6, 3}};     // first waypoint without its checksum and DLE ETX
  o.faults.nmea_instead = {8};
  o.ack_timeout_ms = 100;
  Host h(small_unit(), o);
  h.send({10, {7, 0}});        // frames 1 (ACK) and 2 (records, dropped)
  EXPECT_EQ(h.packets().size(), 1u);
  h.wait(100);                 // frame 3: records again
  EXPECT_EQ(h.packets().size(), 1u);
  h.send({10, {7, 0}});        // a new request: frame 4 (ACK, twice), 5 records
  auto p = h.packets();
  ASSERT_EQ(p.size(), 3u);
  EXPECT_EQ(p[0].id, 6);
  EXPECT_EQ(p[1].id, 6);
  EXPECT_EQ(p[2].id, 27);
  h.ack(27);                   // frame 6: cut short
  EXPECT_TRUE(h.events().empty());
  h.wait(100);                 // frame 7: the waypoint again; its DLE recovers the stream
  auto ev = h.events();
  ASSERT_FALSE(ev.empty());
  EXPECT_EQ(ev.back().kind, Deframer::Event::Good);
  EXPECT_EQ(ev.back().packet.id, 35);
  h.ack(35);                   // frame 8: text instead of the second waypoint
  std::string text;
  for (auto& w : h.dev.take_writes()) text.append(w.begin(), w.end());
  EXPECT_EQ(text.rfind("$GPRMC,", 0), 0u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
}

TEST(GpsimDevice, MergedWritesAndDlePayload) {
  Options o;
  o.faults.merge_writes = true;
  o.faults.dle_payload = true;
  Host h(small_unit(), o);
  h.send({10, {7, 0}});
  auto w = h.dev.take_writes();
  ASSERT_EQ(w.size(), 1u);  // the ACK and the records packet in one write
  Deframer d;
  auto ev = d.feed(w[0].data(), w[0].size());
  ASSERT_EQ(ev.size(), 2u);
  EXPECT_EQ(ev[1].packet.data, (Bytes{3, 0}));  // two waypoints and the added one
  h.ack(27);
  h.ack(35);
  h.ack(35);
  auto p = h.packets();
  ASSERT_EQ(p.size(), 3u);  // both waypoints, then the added one
  json r = decode_record("D108", p[2].data);
  EXPECT_EQ(r["ident"], "\x10\x03\x10");
  EXPECT_EQ(r["comment"], "\x10\x03\x10\x10\x03");
  EXPECT_EQ(r["symbol"], 0x1003);
}

TEST(GpsimDevice, SeededRatesRepeat) {
  auto run = [](std::uint64_t seed) {
    Options o;
    o.faults.seed = seed;
    o.faults.corrupt_rate = 0.5;
    Host h(small_unit(), o);
    std::string kinds;
    for (int i = 0; i < 20; ++i) {
      h.send({10, {14, 0}});
      for (auto& e : h.events()) kinds += static_cast<char>('0' + e.kind);
      h.send({10, {0, 0}});
      h.events();
    }
    return kinds;
  };
  EXPECT_EQ(run(7), run(7));
  EXPECT_NE(run(7), run(8));
  EXPECT_NE(run(7).find('1'), std::string::npos);
}

TEST(GpsimDevice, UnitNameAndVoltages) {
  Scenario s = small_unit();
  s.unit_name = "MY GPS";
  s.has_voltages = true;
  s.internal_voltage = 12.34;
  s.external_voltage = -0.05;
  Host h(s);
  h.send({123, {0, 0, 0, 0, 0x0E, 0x02}});  // length 0, expanded ID 526
  auto p = h.packets();
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[1].id, 123);
  EXPECT_EQ(p[1].data, (Bytes{7, 0, 0, 0, 0x0D, 0x02, 'M', 'Y', ' ', 'G', 'P', 'S', 0}));
  h.ack(123);
  h.send({10, {17, 0}});
  p = h.packets();
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[1].id, 40);
  EXPECT_EQ(p[1].data, (Bytes{0xD2, 0x04, 0xFB, 0xFF}));  // 1234 and -5
}

TEST(GpsimDevice, ScreensComeUnacknowledgedInTurn) {
  Scenario s = small_unit();
  s.screens = json::parse(R"([{"header": "short", "bits": 1, "pixels": 2, "lines": 2, "chunk": 3},
                              {"header": "long", "bits": 8, "pixels": 1, "lines": 1, "colours": [[1, 2, 3]]}])");
  Host h(s);
  h.send({10, {32, 0}});
  auto p = h.packets();  // ACK, header, two pixel records: no waiting for ACKs
  ASSERT_EQ(p.size(), 4u);
  // Short header: Pixels 2, 1 bit, Line_Length 16, 2 lines.
  EXPECT_EQ(p[1].data, (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 1, 0, 16, 0, 2, 0}));
  EXPECT_EQ(p[2].data, (Bytes{1, 0, 0, 0, 0, 0, 7, 20, 33}));  // bytes 13i + 7 from offset 0
  EXPECT_EQ(p[3].data, (Bytes{1, 0, 3, 0, 0, 0, 46}));
  h.send({10, {32, 0}});
  p = h.packets();
  ASSERT_EQ(p.size(), 4u);  // ACK, long header, one colour, one pixel record
  EXPECT_EQ(p[1].data.size(), 22u);
  EXPECT_EQ(p[2].data, (Bytes{2, 0, 0, 0, 0, 0, 0, 0, 3, 2, 1}));  // entry 0: blue, green, red at 11 to 13
}

TEST(GpsimDevice, NameChangesAndIconsComeInParts) {
  Scenario s = small_unit();
  s.unit_name = "OLD";
  s.icons = true;
  Host h(s);
  h.send({123, {4, 0, 0, 0, 0x0D, 0x02, 'N', 'E', 'W', 0}});  // 525: the new name
  h.packets();
  h.send({123, {0, 0, 0, 0, 0x0E, 0x02}});
  auto p = h.packets();
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(Bytes(p[1].data.begin() + 6, p[1].data.end()), (Bytes{'N', 'E', 'W', 0}));
  h.ack(123);
  h.send({123, {4, 0, 0, 0, 0x76, 0x03, 0x05, 0x10, 0, 0}});  // 886: colours of icon 0x1005
  p = h.packets();
  ASSERT_EQ(p.size(), 2u);
  EXPECT_EQ(p[1].data.size(), 255u);  // 1028 bytes: the first 249 now
  EXPECT_EQ(p[1].data[0] | p[1].data[1] << 8, 1028);
  h.ack(123);
  std::size_t got = 249;
  for (int k = 0; k < 4; ++k) {
    h.send({125, {std::uint8_t(k ? 124 : 123), 0, 0x77, 0x03, std::uint8_t(k ? k - 1 : 0)}});
    p = h.packets();
    ASSERT_EQ(p.size(), 2u);
    EXPECT_EQ(p[1].id, 124);
    EXPECT_EQ(p[1].data[0], k);  // part number
    got += p[1].data.size() - 1;
    h.ack(124);
  }
  EXPECT_EQ(got, 1028u);
  h.send_raw({'$', 'G', 'P', 'X', '*', '0', '0', '\r', '\n'});
  bool heard = false;
  for (const json& t : h.dev.trace()) heard = heard || t.value("nmea", "") == "$GPX*00";
  EXPECT_TRUE(heard);
}

TEST(GpsimDevice, FaultListsAndOptionValues) {
  EXPECT_EQ(parse_number_list("--drop", "3,5-7"), (std::set<int>{3, 5, 6, 7}));
  EXPECT_EQ(parse_pair_list("--cut", "2:100,4:5", 1000), (std::map<int, int>{{2, 100}, {4, 5}}));
  EXPECT_EQ(parse_whole("--retries", "0", 0, 10), 0);
  EXPECT_EQ(parse_fraction("--drop-rate", "0.25"), 0.25);
  // Each bad value is refused with the option's name, none read in part.
  for (const char* bad : {"x", "7-3", "3x", "0", "-2", "3,", "", "1-200000", "99999999999"})
    EXPECT_THROW(parse_number_list("--drop", bad), std::invalid_argument) << bad;
  for (const char* bad : {"5", "2:-1", "0:4", "2:1001", "2:x"})
    EXPECT_THROW(parse_pair_list("--cut", bad, 1000), std::invalid_argument) << bad;
  for (const char* bad : {"abc", "11", "-1", "3.5", " 3", ""})
    EXPECT_THROW(parse_whole("--retries", bad, 0, 10), std::invalid_argument) << bad;
  for (const char* bad : {"1.5", "-0.1", "nan", "0.5x", ""})
    EXPECT_THROW(parse_fraction("--drop-rate", bad), std::invalid_argument) << bad;
  try {
    parse_whole("--ack-timeout", "abc", 1, 600000);
    ADD_FAILURE();
  } catch (const std::invalid_argument& e) {
    EXPECT_STREQ(e.what(), "--ack-timeout: \"abc\" is not a whole number from 1 to 600000");
  }
}

TEST(GpsimDevice, EndlessDownloadNeverEndsUntilTheHostAborts) {
  Options o;
  o.faults.endless = true;
  Host h(small_unit(), o);
  h.send({10, {7, 0}});
  std::vector<Packet> got;
  for (int k = 0; k < 20; ++k) {
    for (auto& q : h.packets()) {
      if (q.id != 6) got.push_back(q);
    }
    ASSERT_FALSE(got.empty());
    h.ack(got.back().id);
  }
  ASSERT_EQ(got.size(), 20u);
  EXPECT_EQ(got[0].id, 27);
  EXPECT_EQ(got[0].data, (Bytes{2, 0}));  // two announced, many sent
  for (std::size_t k = 1; k < got.size(); ++k) {
    EXPECT_EQ(got[k].id, 35) << k;
    if (k > 1) {
      EXPECT_NE(got[k].data, got[k - 1].data) << k;
    }
  }
  EXPECT_EQ(decode_record("D108", got[3].data)["ident"], "ONE");  // the second round
  EXPECT_NE(got[3].data, got[1].data);
  EXPECT_EQ(got[5].data, got[1].data);  // the third round is the first again
  // The abort command ends it.
  h.send({10, {0, 0}});
  h.packets();
  h.ack(35);
  h.wait(5000);
  EXPECT_TRUE(h.packets().empty());
}


TEST(GpsimDevice, PvtPathGoesInTurnFromEachStartAndRepeatsItsLast) {
  Scenario sc = small_unit();
  sc.pvt = {{"alt", 100.0}};
  sc.pvt_path = json::array({{{"lat", 1.0}, {"lon", 2.0}}, {{"lat", 3.0}, {"lon", 4.0}}});
  Host h(sc);
  auto lat_of = [](const Packet& p) { return decode_record("D800", p.data)["lat"].get<double>(); };
  h.send({10, {49, 0}});
  h.wait(0);
  auto p = h.packets();
  ASSERT_EQ(p.size(), 2u);
  EXPECT_NEAR(lat_of(p[1]), 1.0, 1e-9);
  EXPECT_NEAR(decode_record("D800", p[1].data)["alt"].get<double>(), 100.0, 1e-3);  // "pvt" beneath
  h.wait(1000);
  h.wait(1000);
  p = h.packets();
  ASSERT_EQ(p.size(), 2u);
  EXPECT_NEAR(lat_of(p[0]), 3.0, 1e-9);
  EXPECT_NEAR(lat_of(p[1]), 3.0, 1e-9);  // the last again
  h.send({10, {49, 0}});                  // a new start begins the path again
  h.wait(0);
  p = h.packets();
  ASSERT_FALSE(p.empty());
  EXPECT_NEAR(lat_of(p.back()), 1.0, 1e-9);
}

TEST(GpsimDevice, ReplaySendsTheCapturesFramesOnePvtAPeriodThenNothing) {
  Options o;
  o.pvt_replay_path = TREKFOLD_TESTDATA_DIR "/garmin-binary/garmin18x-bin.log";
  Host h(small_unit(), o);
  h.send({10, {49, 0}});
  int pvts = 0;
  for (int i = 0; i < 40; ++i) {
    h.wait(i ? 1000 : 0);
    for (const Packet& p : h.packets()) pvts += p.id == 51;
  }
  EXPECT_EQ(pvts, 29);  // every record of the capture, once
}

TEST(GpsimDevice, DateTimeReplyWaitsTheDelay) {
  Options o;
  o.date_time_delay_ms = 350;
  Scenario sc = small_unit();
  sc.date_time = {{"year", 2006}, {"month", 7}, {"day", 4}, {"hour", 9}, {"minute", 5}, {"second", 30}};
  Host h(sc, o);
  h.send({10, {5, 0}});
  auto p = h.packets();
  ASSERT_EQ(p.size(), 1u);  // the ACK only
  h.wait(300);
  EXPECT_TRUE(h.packets().empty());
  h.wait(100);
  p = h.packets();
  ASSERT_EQ(p.size(), 1u);
  EXPECT_EQ(p[0].id, 14);
}

}  // namespace
}  // namespace gpsim
