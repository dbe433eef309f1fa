// Record encodings against bytes written out by hand from the layout tables.
#include <gtest/gtest.h>

#include "tools/gpsim/codec.h"

namespace gpsim {
namespace {

Bytes le32(std::uint32_t v) { return {Bytes::value_type(v), Bytes::value_type(v >> 8), Bytes::value_type(v >> 16), Bytes::value_type(v >> 24)}; }
void add(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }
void add(Bytes& b, const std::string& s) { b.insert(b.end(), s.begin(), s.end()); }

TEST(GpsimCodec, Semicircles) {
  EXPECT_EQ(degrees_to_semicircles(45.0), 0x20000000);
  EXPECT_EQ(degrees_to_semicircles(-90.0), -1073741824);
  EXPECT_EQ(degrees_to_semicircles(180.0), 2147483647);  // clamped
  EXPECT_DOUBLE_EQ(semicircles_to_degrees(0x20000000), 45.0);
}

TEST(GpsimCodec, D100AndD103) {
  Bytes d100;
  add(d100, std::string("ABC   "));
  add(d100, le32(0x20000000));   // 45 N
  add(d100, le32(0xE0000000));   // 45 W
  add(d100, le32(0));
  add(d100, std::string("HI") + std::string(38, ' '));
  json w{{"ident", "ABC"}, {"lat", 45.0}, {"lon", -45.0}, {"comment", "HI"}, {"symbol", 7}, {"display", 1}};
  EXPECT_EQ(*encode_record("D100", w), d100);
  Bytes d103 = d100;
  d103.push_back(7);
  d103.push_back(1);
  EXPECT_EQ(*encode_record("D103", w), d103);
  json back = decode_record("D103", d103);
  EXPECT_EQ(back["ident"], "ABC");
  EXPECT_EQ(back["comment"], "HI");
  EXPECT_DOUBLE_EQ(back["lon"].get<double>(), -45.0);
  EXPECT_EQ(back["symbol"], 7);
  // D403 is D103 plus a float distance: 64 bytes.
  EXPECT_EQ(encode_record("D403", w)->size(), 64u);
  EXPECT_EQ(encode_record("D400", w)->size(), 62u);
  EXPECT_EQ(encode_record("D450", w)->size(), 121u);
}

TEST(GpsimCodec, D108) {
  json w{{"ident", "A"}, {"lat", 45.0}, {"lon", 0.0}, {"symbol", 0x0112}, {"alt", 1.0},
         {"comment", "C"}, {"state", "MN"}, {"country", "US"}};
  Bytes b{0x00, 0x00, 0x00, 0x60, 0x12, 0x01, 0, 0, 0, 0, 0, 0};
  add(b, Bytes(12, 0xFF));          // default subclass
  add(b, le32(0x20000000));
  add(b, le32(0));
  add(b, Bytes{0x00, 0x00, 0x80, 0x3F});  // alt 1.0f
  add(b, le32(0x69045951));         // depth 1e25f
  add(b, le32(0x69045951));         // dist 1e25f
  add(b, std::string("MNUS"));
  add(b, Bytes{'A', 0, 'C', 0, 0, 0, 0, 0});
  EXPECT_EQ(*encode_record("D108", w), b);
  json back = decode_record("D108", b);
  EXPECT_EQ(back["ident"], "A");
  EXPECT_EQ(back["comment"], "C");
  EXPECT_EQ(back["cross_road"], "");
  EXPECT_EQ(back["symbol"], 0x0112);
  EXPECT_FALSE(back.contains("error"));
  // Long texts are cut so that the record fits its one-byte size.
  json big{{"ident", std::string(100, 'I')}, {"comment", std::string(100, 'C')}, {"facility", std::string(100, 'F')}};
  Bytes cut = *encode_record("D108", big);
  EXPECT_EQ(cut.size(), 255u);
  json cut_back = decode_record("D108", cut);
  EXPECT_EQ(cut_back["ident"].get<std::string>().size(), 100u);
  EXPECT_EQ(cut_back["comment"].get<std::string>().size(), 100u);
  EXPECT_EQ(cut_back["facility"].get<std::string>().size(), 255u - 48 - 6 - 200);
  EXPECT_EQ(cut_back["cross_road"], "");
  // A string without its NUL is reported, not read past the end.
  b.pop_back();
  EXPECT_TRUE(decode_record("D108", b).contains("error"));
}

TEST(GpsimCodec, D110ColourAndTime) {
  json w{{"ident", "X"}, {"color", 5}, {"display", 2}, {"time", "1989-12-31T00:01:00Z"}};
  Bytes b = *encode_record("D110", w);
  EXPECT_EQ(b[0], 0x01);
  EXPECT_EQ(b[2], 5 + 64);
  EXPECT_EQ(b[3], 0x80);
  EXPECT_EQ(Bytes(b.begin() + 56, b.begin() + 60), le32(60));
  json back = decode_record("D110", b);
  EXPECT_EQ(back["time"], "1989-12-31T00:01:00Z");
  EXPECT_EQ(back["display"], 2);
}

TEST(GpsimCodec, D150AndD151) {
  json w{{"ident", "abc"}, {"lat", 0.0}, {"lon", 0.0}, {"alt", 13.5}, {"city", "OSLO"}};
  Bytes b = *encode_record("D150", w);
  ASSERT_EQ(b.size(), 115u);
  EXPECT_EQ(b[17], 14);  // 13.5 rounds to even
  EXPECT_EQ(std::string(b.begin() + 19, b.begin() + 23), "OSLO");
  EXPECT_EQ(encode_record("D151", w)->size(), 124u);
  EXPECT_EQ(encode_record("D154", w)->size(), 126u);
  EXPECT_EQ(encode_record("D155", w)->size(), 127u);
}

TEST(GpsimCodec, RoutesAndTracks) {
  EXPECT_EQ(*encode_record("D202", {{"ident", "R1"}}), (Bytes{'R', '1', 0}));
  EXPECT_EQ(*encode_record("D201", {{"number", 3}, {"comment", "AB"}}),
            (Bytes{3, 'A', 'B', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '}));
  Bytes link{3, 0, 0, 0, 0, 0, 0, 0};
  add(link, Bytes(12, 0xFF));
  link.push_back(0);
  EXPECT_EQ(*encode_record("D210", {{"class", 3}}), link);
  EXPECT_EQ(*encode_record("D310", {{"display", true}, {"color", 5}, {"ident", "A"}}), (Bytes{1, 5, 'A', 0}));
  EXPECT_EQ(*encode_record("D311", {{"index", 2}}), (Bytes{2, 0}));
  json p{{"lat", 45.0}, {"lon", 0.0}, {"time", "1989-12-31T01:00:00Z"}, {"alt", 1.0}, {"new_segment", true}};
  Bytes d301;
  add(d301, le32(0x20000000));
  add(d301, le32(0));
  add(d301, le32(3600));
  add(d301, Bytes{0x00, 0x00, 0x80, 0x3F});
  add(d301, le32(0x69045951));
  d301.push_back(1);
  EXPECT_EQ(*encode_record("D301", p), d301);
  EXPECT_EQ(encode_record("D300", p)->size(), 13u);
  EXPECT_EQ(encode_record("D302", p)->size(), 25u);
  json back = decode_record("D301", d301);
  EXPECT_EQ(back["new_segment"], true);
  EXPECT_EQ(back["seconds"], 3600);
  EXPECT_TRUE(decode_record("D301", Bytes(20, 0)).contains("error"));
}

TEST(GpsimCodec, TimePositionAlmanac) {
  EXPECT_EQ(*encode_record("D600", {{"month", 5}, {"day", 1}, {"year", 2024}, {"hour", 13}, {"minute", 2}, {"second", 3}}),
            (Bytes{5, 1, 0xE8, 0x07, 13, 0, 2, 3}));
  Bytes pos = *encode_record("D700", {{"lat", 45.0}, {"lon", 0.0}});
  ASSERT_EQ(pos.size(), 16u);
  EXPECT_NEAR(decode_record("D700", pos)["lat"].get<double>(), 45.0, 1e-12);
  EXPECT_EQ(encode_record("D800", json::object())->size(), 64u);
  EXPECT_EQ(encode_record("SAT", json::object())->size(), 84u);
  EXPECT_EQ(encode_record("D500", json::object())->size(), 42u);
  EXPECT_EQ(encode_record("D501", json::object())->size(), 46u);
  EXPECT_EQ(encode_record("D550", json::object())->size(), 43u);
  EXPECT_EQ(encode_record("D551", json::object())->size(), 47u);
  EXPECT_FALSE(encode_record("D999", json::object()));
  EXPECT_TRUE(decode_record("D999", {}).contains("error"));
}

TEST(GpsimCodec, DeviceTimeAndText) {
  EXPECT_EQ(device_seconds("1989-12-31T00:00:00Z"), 0u);
  EXPECT_EQ(device_seconds("2024-05-01T12:00:00Z"), 1714564800u - 631065600u);
  EXPECT_FALSE(device_seconds("1980-01-01T00:00:00Z"));
  EXPECT_FALSE(device_seconds("yesterday"));
  EXPECT_EQ(device_time_text(1714564800u - 631065600u), "2024-05-01T12:00:00Z");
  EXPECT_EQ(to_device_text("Caf\xC3\xA9 \xE2\x82\xAC"), "Caf\xE9 ?");
  EXPECT_EQ(from_device_text("\xE9"), "\xC3\xA9");
}

}  // namespace
}  // namespace gpsim
