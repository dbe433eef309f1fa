// gpsim: a simulated GPS receiver on the far end of a pseudo-terminal, for
// tests. It speaks the receiver's side of the serial link protocol (DLE
// framing, ACK/NAK, re-send on NAK and time-out), answers product requests,
// serves downloads, stores uploads, changes speed on request, streams PVT or
// NMEA, and injects faults on demand.
//
// Program:  gpsim --scenario FILE [options]
//   prints the slave path of its pty as the first line of stdout, then runs
//   until SIGINT/SIGTERM. `gpsim --help` lists the options and the faults
//   (program/main.cpp); each sets a field of Options or Faults below.
//
// Trace lines: {"t": ms, "dir": "in"|"out", "n", "id", "size", "data": hex,
//   "fault", "note"}; also {"dir":"in","noise"|"ignored": hex}, {"dir":"in",
//   "nmea": a text line the host sent, without CR LF}, {"dir":"out","text":
//   a sentence line the unit sent, without CR LF}; an NMEA unit traces the
//   host's frames decoded ("id", "size", "data") and answers none; {"dir":"line",
//   "line_speed"} and {"dir":"unit","event"} (speed changes, abandoned
//   transfers, refused requests).
// Dump lines: {"kind":"records","count"}, then per record {"kind": "waypoint"|
//   "proximity"|"route_header"|"route_waypoint"|"route_link"|"track_header"|
//   "track_point"|"almanac"|"lap"|"flightbook"|"position", "format", "record": {decoded values,
//   or "error"}}, and {"kind":"transfer_complete","stored","announced",
//   "received"}. The stored set of that kind is replaced, so the next
//   download returns what was uploaded.
// Speed: the unit listens at the scenario's speed; while the pty's line speed
// differs, host bytes are noise and the unit's bytes reach the host garbled.
// A baud request (ID 48) in the unit's list is answered (ID 49) and the unit
// switches at once; with nothing good heard within 3 s it goes back.
//
// C++:  gpsim::Simulator sim(gpsim::load_scenario_file(path), options);
//       sim.slave_path(); sim.link(path); sim.start();  // own thread
//       ... or drive it yourself: sim.step(timeout_ms) ...
//       sim.uploads() (dump lines so far), sim.stored_waypoints(), sim.stop().
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <nlohmann/json.hpp>

#include "tools/gpsim/scenario.h"

namespace gpsim {

struct Faults {
  std::uint64_t seed = 1;
  std::set<int> corrupt, drop, duplicate, nmea_instead;  // outgoing frame numbers
  std::map<int, int> cut;                                // frame -> bytes cut from its end
  double corrupt_rate = 0, drop_rate = 0;
  std::set<int> nak_host, withhold_ack;                  // host packet numbers
  std::set<int> withhold_ack_ids;                        // host packet IDs, never acknowledged
  std::map<int, int> delay_ack;                          // host packet -> ms
  // Host packet ID -> N: from the N-th host packet with that ID on, the unit
  // neither acknowledges nor takes any host packet but a command or a
  // product request (it stops taking an upload part way, and still serves
  // downloads).
  std::map<int, int> stop_ack;
  int silent_after = 0;                                  // 0 = never
  // After this many frames out, the unit stops reading and holds the host's
  // output, as a receiver holding CTS low (0 = never).
  int hold_line_after = 0;
  int stall = 0;  // a download stops after this many records (0 = never); later requests are answered
  bool byte_writes = false, merge_writes = false, dle_payload = false;
  bool endless = false;  // a download of records never ends (the announced ones, then again and again)
};

struct Options {
  bool pace = false;
  // An NMEA unit sends these sentence lines (from --nmea-replay) in place of
  // its own: one cycle a period from the host's first write; with
  // nmea_loop again from the first cycle, else nothing after the last.
  std::vector<std::vector<std::string>> nmea_replay;
  bool nmea_loop = false;
  int ack_timeout_ms = 1000;
  int max_retries = 3;
  int pvt_period_ms = 1000;
  // A capture of the receiver's frames ("#" lines at its top skipped): from
  // each start of the PVT stream its frames are sent in order, one PVT
  // record a period; silent after the last. Empty: the scenario's fixes.
  std::string pvt_replay_path;
  int date_time_delay_ms = 0;  // the date-and-time reply waits this long
  int baud_confirm_ms = 3000;  // back to the old speed if nothing good arrives at the new one
  std::string trace_path, dump_path;
  Faults faults;
};

// Option values; each throws std::invalid_argument naming `what` (the
// option) and the value at fault.
long long parse_whole(const std::string& what, const std::string& text, long long low, long long high);
double parse_fraction(const std::string& what, const std::string& text);  // 0 to 1
// The sentence lines of an NMEA log in cycles, each from one "$GPRMC" up
// to the next (lines before the first make a cycle of their own); "#" and
// empty lines are skipped, line ends (CR LF or LF) dropped, the rest kept
// byte for byte.
std::vector<std::vector<std::string>> parse_nmea_replay(const std::string& text);
// The same from a file; throws std::runtime_error naming it when it cannot
// be read or holds no sentence line.
std::vector<std::vector<std::string>> load_nmea_replay(const std::string& path);

// A fault LIST ("3,5-7") of numbers from 1 up.
std::set<int> parse_number_list(const std::string& what, const std::string& text);
// "N:K,N:K": N from 1 up, K from 0 to max_value.
std::map<int, int> parse_pair_list(const std::string& what, const std::string& text, int max_value);

class Device;

class Simulator {
 public:
  // Opens the pty, the trace and the dump; throws std::system_error or
  // std::runtime_error (a trace or dump that cannot be written).
  Simulator(Scenario scenario, Options options);
  ~Simulator();                                   // stops the thread, removes the link
  Simulator(const Simulator&) = delete;
  Simulator& operator=(const Simulator&) = delete;

  const std::string& slave_path() const { return slave_path_; }
  // Makes `path` a symlink to the slave. Replaces only a link to a pty (an
  // earlier run's); throws std::runtime_error for anything else there.
  void link(const std::string& path);

  void start();                 // run loop on its own thread
  void stop();                  // joins the thread
  void step(int timeout_ms);    // one poll/read/write round (when not started)

  int speed() const;                            // the simulated unit's current speed
  std::vector<nlohmann::json> uploads() const;  // dump lines so far
  std::vector<nlohmann::json> trace() const;    // trace lines so far
  nlohmann::json stored(const std::string& kind) const;  // "waypoints", "routes", "tracks", "proximity"

 private:
  void loop();

  std::unique_ptr<Device> device_;
  int master_ = -1, slave_ = -1;
  std::string slave_path_, link_path_;
  std::thread thread_;
  std::atomic<bool> running_{false};
  int wake_[2] = {-1, -1};
  bool options_pace_ = false;
  bool line_held_ = false;
  int line_speed_ = 0;
};

}  // namespace gpsim
