// A host driving the simulated receiver without a pty, on a fake clock.
#pragma once

#include <gtest/gtest.h>

#include "tools/gpsim/device.h"

namespace gpsim {

constexpr std::int64_t kMs = 1000;

struct Host {
  Device dev;
  std::int64_t now = 1000 * kMs;
  Deframer in;
  explicit Host(Scenario s, Options o = {}) : dev(std::move(s), std::move(o)) { dev.set_line_speed(9600, now); }

  void send(const Packet& p) { send_raw(frame(p)); }
  void send_raw(const Bytes& b) { dev.feed(b.data(), b.size(), now); }
  void ack(std::uint8_t id) { send({6, {id, 0}}); }
  void wait(std::int64_t ms) { now += ms * kMs; dev.tick(now); }
  std::vector<Deframer::Event> events() {
    std::vector<Deframer::Event> out;
    for (auto& w : dev.take_writes())
      for (auto& e : in.feed(w.data(), w.size())) out.push_back(std::move(e));
    return out;
  }
  std::vector<Packet> packets() {
    std::vector<Packet> out;
    for (auto& e : events()) {
      EXPECT_EQ(e.kind, Deframer::Event::Good);
      out.push_back(std::move(e.packet));
    }
    return out;
  }
  // Sends a command and acknowledges every packet until transfer complete;
  // returns the packets after the command's ACK.
  std::vector<Packet> download(std::uint8_t command_id, std::uint8_t cmd, std::uint8_t xfer_cmplt = 12) {
    std::vector<Packet> got;
    send({command_id, {cmd, 0}});
    auto p = packets();
    for (int guard = 0; guard < 10000 && !p.empty(); ++guard) {
      for (auto& q : p) {
        if (q.id == 6) continue;
        got.push_back(q);
        if (q.id == xfer_cmplt) return got;
        ack(q.id);
      }
      p = packets();
    }
    return got;
  }
};

}  // namespace gpsim
