// The receiver's side of the link without any I/O: bytes and the time go in,
// the writes to make come out. Simulator (simulator.cpp) drives it over a pty.
#pragma once

#include <cstdint>
#include <deque>
#include <fstream>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "tools/gpsim/frame.h"
#include "tools/gpsim/gpsim.h"

namespace gpsim {

class Device {
 public:
  using Micros = std::int64_t;

  Device(Scenario scenario, Options options);

  // The speed the host's port is set to; 0 when it cannot be read.
  void set_line_speed(int baud, Micros now);
  void feed(const std::uint8_t* p, std::size_t n, Micros now);
  void tick(Micros now);
  Micros next_deadline() const;  // INT64_MAX when nothing is due
  std::vector<Bytes> take_writes();
  // The unit no longer reads and holds the host's output (hold_line_after).
  bool line_held() const { return line_held_; }

  int speed() const;
  std::vector<json> uploads() const;
  std::vector<json> trace() const;
  json stored(const std::string& kind) const;

 private:
  struct Upload {
    bool active = false;
    int announced = 0;
    int received = 0;
    std::string kind;  // waypoints, proximity, routes, tracks
    json records = json::array();
  };
  // A record of a download, before it is encoded.
  struct Record {
    int pid;
    std::string format;
    json rec;
  };
  // An endless download: what comes after the announced records.
  struct Endless {
    std::vector<Record> records;
    std::size_t next = 0;
    int round = 1;
  };
  struct DelayedAck {
    Micros due;
    Packet packet;
    int number;
  };

  bool mismatched() const { return !sc_.any_speed && line_speed_ != 0 && line_speed_ != speed_; }
  void handle(const Packet& p, Micros now);
  void handle_command(int cmd, Micros now);
  void handle_upload(const Packet& p);
  void finish_upload(const Packet& p);
  void ack(const Packet& p, std::uint8_t pid);
  void queue(Packet p);  // sent in turn, each waiting for the host's ACK
  void pump(Micros now);
  void abort_transfer(const char* why);
  void emit(const Packet& p, Micros now, const char* note = nullptr);
  void emit_text(const std::string& line, Micros now);
  void write(Bytes b);
  void queue_records(int xfer_cmd, const std::vector<Record>& records);
  Packet next_endless();
  void queue_download(int cmd);
  void send_pvt(Micros now);
  void send_screen(const json& screen, Micros now);
  void handle_expanded(const Packet& p);
  void reply_expanded(int expanded_id, const Bytes& payload);
  void feed_frames(const std::uint8_t* p, std::size_t n, Micros now);
  void send_nmea(Micros now);
  bool replaying() const { return !opt_.nmea_replay.empty(); }
  void send_replay_cycle(Micros now);
  void log_trace(json j, Micros now);
  void log_dump(json j);
  std::string nmea_sentence(const std::string& body) const;
  Packet record_packet(int pid, const std::string& format, const json& rec) const;

  mutable std::mutex mu_;
  Scenario sc_;
  Options opt_;
  Deframer deframer_;
  std::mt19937_64 rng_;
  int speed_;
  int line_speed_ = 0;
  Micros start_ = -1;
  Micros now_ = 0;

  std::deque<Packet> out_queue_;
  struct Awaiting {
    Packet packet;
    Micros sent_at;
    int retries;
  };
  std::optional<Awaiting> awaiting_;
  std::optional<Endless> endless_;
  std::vector<DelayedAck> delayed_;
  std::vector<Bytes> writes_;
  Bytes merged_;
  int frames_out_ = 0;
  int host_packets_ = 0;
  std::map<int, int> stop_ack_seen_;  // host packets of each --stop-ack ID so far
  bool acks_stopped_ = false;
  bool silent_ = false;
  bool line_held_ = false;

  bool pvt_on_ = false;
  std::size_t pvt_next_ = 0;             // the next fix of the path or the replay
  std::vector<Packet> replay_;           // the capture's frames
  std::vector<Micros> date_time_due_;    // delayed date-and-time replies
  Micros next_pvt_ = 0;
  Micros next_nmea_ = 0;
  bool replay_started_ = false;  // the host has written: the replay runs
  std::size_t replay_next_ = 0;  // the next cycle of opt_.nmea_replay
  int previous_speed_ = 0;
  Micros confirm_deadline_ = 0;  // 0 = nothing to confirm

  Upload upload_;
  std::size_t next_screen_ = 0;
  int icon_ = 0;  // the icon number of the last 881
  std::string nmea_in_;  // a text line from the host, until its CR LF
  // The unit's last long expanded reply on the serial link, served in parts.
  struct LongReply {
    int expanded_id = 0;
    Bytes payload;
    std::size_t sent = 0;
  };
  std::optional<LongReply> long_reply_;
  std::vector<json> trace_lines_, dump_lines_;
  std::ofstream trace_file_, dump_file_;
};

}  // namespace gpsim
