// The simulator's framing against frames written out by hand.
#include <gtest/gtest.h>

#include <random>

#include "tools/gpsim/frame.h"

namespace gpsim {
namespace {

using E = Deframer::Event;

TEST(GpsimFraming, GoldenFrames) {
  // ACK of packet 0x0A: 10 | 06 | 02 | 0A 00 | EE (-(6+2+10)) | 10 03
  EXPECT_EQ(frame({6, {0x0A, 0x00}}), (Bytes{0x10, 0x06, 0x02, 0x0A, 0x00, 0xEE, 0x10, 0x03}));
  // Command 7: ID 0x0A, data 07 00, checksum 0xED.
  EXPECT_EQ(frame({0x0A, {0x07, 0x00}}), (Bytes{0x10, 0x0A, 0x02, 0x07, 0x00, 0xED, 0x10, 0x03}));
  // A data byte 0x10 is doubled: sum 0x0A+2+0x10 = 0x1C, checksum 0xE4.
  EXPECT_EQ(frame({0x0A, {0x10, 0x00}}), (Bytes{0x10, 0x0A, 0x02, 0x10, 0x10, 0x00, 0xE4, 0x10, 0x03}));
  // A checksum of 0x10 is doubled too: ID 0xF0, no data.
  EXPECT_EQ(frame({0xF0, {}}), (Bytes{0x10, 0xF0, 0x00, 0x10, 0x10, 0x10, 0x03}));
  // A size of 0x10 is doubled: ID 0x22, sixteen zero bytes, checksum -(0x22+0x10) = 0xCE.
  Bytes sixteen{0x10, 0x22, 0x10, 0x10};
  sixteen.insert(sixteen.end(), 16, 0);
  sixteen.insert(sixteen.end(), {0xCE, 0x10, 0x03});
  EXPECT_EQ(frame({0x22, Bytes(16, 0)}), sixteen);
}

std::vector<E> feed_all(Deframer& d, const Bytes& b, bool bytewise = false) {
  std::vector<E> out;
  if (bytewise) {
    for (auto c : b) for (auto& e : d.feed(&c, 1)) out.push_back(std::move(e));
  } else {
    out = d.feed(b.data(), b.size());
  }
  return out;
}

TEST(GpsimFraming, CutsStuffedFramesWholeOrByteByByte) {
  // Data 10 03 (stuffed 10 10 03) must not end the frame.
  // sum = 0x23 + 3 + 0x10 + 0x03 + 0x41 = 0x7A -> 0x86
  const Bytes wire{0x10, 0x23, 0x03, 0x10, 0x10, 0x03, 0x41, 0x86, 0x10, 0x03};
  for (bool bytewise : {false, true}) {
    Deframer d;
    auto ev = feed_all(d, wire, bytewise);
    ASSERT_EQ(ev.size(), 1u);
    EXPECT_EQ(ev[0].kind, E::Good);
    EXPECT_EQ(ev[0].packet.id, 0x23);
    EXPECT_EQ(ev[0].packet.data, (Bytes{0x10, 0x03, 0x41}));
    EXPECT_TRUE(d.idle());
  }
}

TEST(GpsimFraming, NoiseBadChecksumAndBrokenFrames) {
  Deframer d;
  // Leading garbage, then a good ACK.
  auto ev = feed_all(d, {0x55, 0xAA, 0x10, 0x06, 0x02, 0x0A, 0x00, 0xEE, 0x10, 0x03});
  ASSERT_EQ(ev.size(), 2u);
  EXPECT_EQ(ev[0].kind, E::Noise);
  EXPECT_EQ(ev[0].noise, (Bytes{0x55, 0xAA}));
  EXPECT_EQ(ev[1].kind, E::Good);

  // Wrong checksum: reported with its packet.
  ev = feed_all(d, {0x10, 0x0A, 0x02, 0x07, 0x00, 0xEE, 0x10, 0x03});
  ASSERT_EQ(ev.size(), 1u);
  EXPECT_EQ(ev[0].kind, E::BadChecksum);
  EXPECT_EQ(ev[0].packet.id, 0x0A);

  // A frame cut short by the start of the next one: the stub is noise.
  ev = feed_all(d, {0x10, 0x0A, 0x02, 0x07, 0x10, 0x06, 0x02, 0x0A, 0x00, 0xEE, 0x10, 0x03});
  ASSERT_EQ(ev.size(), 2u);
  EXPECT_EQ(ev[0].kind, E::Noise);
  EXPECT_EQ(ev[1].kind, E::Good);
  EXPECT_EQ(ev[1].packet.id, 0x06);

  // DLE ETX without a frame, and a frame whose end marker is missing.
  ev = feed_all(d, {0x10, 0x03, 0x10, 0x06, 0x02, 0x0A, 0x00, 0xEE, 0x99, 0x10, 0x06, 0x02, 0x0A, 0x00, 0xEE, 0x10, 0x03});
  ASSERT_GE(ev.size(), 2u);
  EXPECT_EQ(ev.back().kind, E::Good);
  for (std::size_t i = 0; i + 1 < ev.size(); ++i) EXPECT_EQ(ev[i].kind, E::Noise);
}

// Frames with DLE-heavy data, separated by garbage without a DLE and fed in
// random pieces, all come out whole and in order.
TEST(GpsimFraming, RandomFramesBetweenGarbageInRandomPieces) {
  std::mt19937 rng(12345);
  std::vector<Packet> sent;
  Bytes wire;
  for (int i = 0; i < 300; ++i) {
    Packet p{static_cast<std::uint8_t>(rng() % 200 + 20), {}};
    const std::size_t n = rng() % 256;
    for (std::size_t k = 0; k < n; ++k) {
      const unsigned r = rng() % 4;
      p.data.push_back(r == 0 ? 0x10 : r == 1 ? 0x03 : static_cast<std::uint8_t>(rng()));
    }
    sent.push_back(p);
    const std::size_t garbage = rng() % 5;
    for (std::size_t k = 0; k < garbage; ++k) wire.push_back(static_cast<std::uint8_t>(0x20 + rng() % 0x50));
    Bytes f = frame(p);
    wire.insert(wire.end(), f.begin(), f.end());
  }
  Deframer d;
  std::vector<Packet> got;
  for (std::size_t pos = 0; pos < wire.size();) {
    const std::size_t n = std::min<std::size_t>(wire.size() - pos, 1 + rng() % 40);
    for (auto& e : d.feed(wire.data() + pos, n))
      if (e.kind != E::Noise) {
        EXPECT_EQ(e.kind, E::Good);
        got.push_back(e.packet);
      }
    pos += n;
  }
  ASSERT_EQ(got.size(), sent.size());
  for (std::size_t i = 0; i < sent.size(); ++i) {
    EXPECT_EQ(got[i].id, sent[i].id);
    EXPECT_EQ(got[i].data, sent[i].data);
  }
}

}  // namespace
}  // namespace gpsim
