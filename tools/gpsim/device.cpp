#include "tools/gpsim/device.h"

#include <cctype>

#include <algorithm>
#include <climits>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <stdexcept>

#include "tools/gpsim/codec.h"

namespace gpsim {

namespace {

constexpr int kAck = 6, kNak = 21, kProductRqst = 254, kProductData = 255, kExtProductData = 248,
              kProtocolArray = 253, kStopAsync = 28;

std::string hex(const Bytes& b) {
  static const char* d = "0123456789ABCDEF";
  std::string s;
  for (auto c : b) { s += d[c >> 4]; s += d[c & 15]; }
  return s;
}

// Hex digits (blanks between them allowed) to bytes; anything else ends it.
Bytes from_hex(const std::string& text) {
  Bytes out;
  int half = -1;
  for (char c : text) {
    if (c == ' ') continue;
    const int v = std::isdigit(static_cast<unsigned char>(c)) ? c - '0'
                  : std::isxdigit(static_cast<unsigned char>(c)) ? (std::toupper(c) - 'A' + 10) : -1;
    if (v < 0) break;
    if (half < 0) half = v;
    else { out.push_back(static_cast<std::uint8_t>(half << 4 | v)); half = -1; }
  }
  return out;
}

void put16(Bytes& b, int v) { b.push_back(v & 0xFF); b.push_back((v >> 8) & 0xFF); }
void put32(Bytes& b, std::uint32_t v) { for (int i = 0; i < 4; ++i) b.push_back((v >> (8 * i)) & 0xFF); }

// Bytes as a host port set to another speed sees them: garbage, never a
// frame start or the start of an NMEA line.
std::uint8_t garble(std::uint8_t b) {
  std::uint8_t g = static_cast<std::uint8_t>(b * 7 + 0x55);
  if (g == DLE || g == '$' || g == '@' || g == '\r' || g == '\n') g ^= 0x80;
  return g;
}

json waypoint_full_of_dle() {
  return json{{"ident", "\x10\x03\x10"},
              {"lat", semicircles_to_degrees(0x10031010)},
              {"lon", semicircles_to_degrees(0x03101003)},
              {"comment", "\x10\x03\x10\x10\x03"},
              {"symbol", 0x1003},
              {"alt", 0.0}};
}

}  // namespace

Device::Device(Scenario scenario, Options options)
    : sc_(std::move(scenario)), opt_(std::move(options)), rng_(opt_.faults.seed), speed_(sc_.speed) {
  if (opt_.faults.dle_payload) sc_.waypoints.push_back(waypoint_full_of_dle());
  auto open = [](std::ofstream& file, const std::string& path, const char* what) {
    if (path.empty()) return;
    errno = 0;
    file.open(path, std::ios::out | std::ios::trunc);
    if (!file.is_open())
      throw std::runtime_error(std::string("cannot write the ") + what + " " + path +
                               (errno ? std::string(": ") + std::strerror(errno) : std::string()));
  };
  open(trace_file_, opt_.trace_path, "trace");
  if (!opt_.pvt_replay_path.empty()) {
    std::ifstream in(opt_.pvt_replay_path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read the PVT capture " + opt_.pvt_replay_path);
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // Comment lines lead the capture.
    std::size_t at = 0;
    while (at < bytes.size() && bytes[at] == '#') {
      while (at < bytes.size() && bytes[at] != '\n') ++at;
      if (at < bytes.size()) ++at;
    }
    Deframer d;
    for (auto& e : d.feed(bytes.data() + at, bytes.size() - at))
      if (e.kind == Deframer::Event::Good) replay_.push_back(std::move(e.packet));
  }
  open(dump_file_, opt_.dump_path, "dump");
  const Faults& f = opt_.faults;
  json writes = f.byte_writes && f.merge_writes ? "merged, one byte a write"
                : f.byte_writes ? "one byte a write" : f.merge_writes ? "merged" : "one frame a write";
  start_ = 0;
  log_trace({{"dir", "unit"}, {"event", "start"}, {"scenario", sc_.name}, {"speed", speed_},
             {"writes", writes}, {"seed", f.seed}}, 0);
  start_ = -1;
}

void Device::set_line_speed(int baud, Micros now) {
  std::lock_guard lk(mu_);
  now_ = now;
  if (start_ < 0) start_ = now;
  if (baud != line_speed_) {
    line_speed_ = baud;
    deframer_.reset();
    log_trace({{"dir", "line"}, {"line_speed", baud}, {"unit_speed", speed_}}, now_);
  }
}

int Device::speed() const {
  std::lock_guard lk(mu_);
  return speed_;
}

std::vector<json> Device::uploads() const {
  std::lock_guard lk(mu_);
  return dump_lines_;
}

std::vector<json> Device::trace() const {
  std::lock_guard lk(mu_);
  return trace_lines_;
}

json Device::stored(const std::string& kind) const {
  std::lock_guard lk(mu_);
  if (kind == "waypoints") return sc_.waypoints;
  if (kind == "proximity") return sc_.proximity;
  if (kind == "routes") return sc_.routes;
  if (kind == "tracks") return sc_.tracks;
  if (kind == "position") return sc_.position;
  if (kind == "date_time") return sc_.date_time;
  return nullptr;
}

void Device::log_trace(json j, Micros now) {
  if (start_ < 0) start_ = now;
  j["t"] = std::round((now - start_) / 100.0) / 10.0;  // ms, one decimal
  if (trace_file_.is_open()) trace_file_ << j.dump(-1, ' ', false, json::error_handler_t::replace) << '\n' << std::flush;
  trace_lines_.push_back(std::move(j));
}

void Device::log_dump(json j) {
  if (dump_file_.is_open()) dump_file_ << j.dump(-1, ' ', false, json::error_handler_t::replace) << '\n' << std::flush;
  dump_lines_.push_back(std::move(j));
}

// ---- output ---------------------------------------------------------------

void Device::write(Bytes b) {
  if (b.empty()) return;
  if (opt_.faults.merge_writes) {
    merged_.insert(merged_.end(), b.begin(), b.end());
  } else if (opt_.faults.byte_writes) {
    for (auto c : b) writes_.push_back(Bytes{c});
  } else {
    writes_.push_back(std::move(b));
  }
}

std::vector<Bytes> Device::take_writes() {
  std::lock_guard lk(mu_);
  if (!merged_.empty()) {
    if (opt_.faults.byte_writes) {
      for (auto c : merged_) writes_.push_back(Bytes{c});
    } else {
      writes_.push_back(std::move(merged_));
    }
    merged_.clear();
  }
  return std::move(writes_);
}

void Device::emit(const Packet& p, Micros now, const char* note) {
  json tr{{"dir", "out"}, {"id", p.id}, {"size", p.data.size()}, {"data", hex(p.data)}};
  if (note) tr["note"] = note;
  if (silent_) {
    tr["fault"] = "silent";
    log_trace(std::move(tr), now);
    return;
  }
  const Faults& f = opt_.faults;
  const int n = ++frames_out_;
  tr["n"] = n;
  auto chance = [&](double rate) {
    return rate > 0 && std::uniform_real_distribution<double>(0, 1)(rng_) < rate;
  };
  Bytes wire;
  std::vector<std::string> faults;
  if (f.nmea_instead.count(n)) {
    std::string line = nmea_sentence("GPRMC,120000,A,4916.4500,N,12311.1200,W,000.5,054.7,191194,020.3,E");
    wire.assign(line.begin(), line.end());
    faults.push_back("nmea_instead");
  } else if (f.corrupt.count(n) || chance(f.corrupt_rate)) {
    Packet q = p;
    if (!q.data.empty()) q.data[q.data.size() / 2] ^= 0x01;
    else q.id ^= 0x01;
    wire = frame_with_checksum(q, checksum(p.id, p.data));
    faults.push_back("corrupt");
  } else {
    wire = frame(p);
  }
  if (auto it = f.cut.find(n); it != f.cut.end()) {
    std::size_t k = std::min<std::size_t>(static_cast<std::size_t>(std::max(0, it->second)), wire.size());
    wire.resize(wire.size() - k);
    faults.push_back("cut " + std::to_string(k));
  }
  bool dropped = f.drop.count(n) || chance(f.drop_rate);
  if (dropped) faults.push_back("drop");
  if (mismatched()) {
    for (auto& b : wire) b = garble(b);
    faults.push_back("garbled: line at " + std::to_string(line_speed_));
  }
  if (f.duplicate.count(n) && !dropped) faults.push_back("duplicate");
  if (!faults.empty()) tr["fault"] = faults;
  log_trace(std::move(tr), now);
  if (!dropped) {
    write(wire);
    if (f.duplicate.count(n)) write(wire);
  }
  if (f.silent_after > 0 && n >= f.silent_after) silent_ = true;
  if (f.hold_line_after > 0 && n >= f.hold_line_after) line_held_ = true;
}

void Device::emit_text(const std::string& line, Micros now) {
  if (silent_) return;
  Bytes wire(line.begin(), line.end());
  json tr{{"dir", "out"}, {"text", line.substr(0, line.size() - 2)}};
  if (mismatched()) {
    for (auto& b : wire) b = garble(b);
    tr["fault"] = "garbled: line at " + std::to_string(line_speed_);
  }
  log_trace(std::move(tr), now);
  write(std::move(wire));
}

std::string Device::nmea_sentence(const std::string& body) const {
  unsigned sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  char tail[8];
  std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
  return "$" + body + tail;
}

void Device::ack(const Packet& p, std::uint8_t pid) { emit(Packet{pid, {p.id, 0}}, now_); }

void Device::queue(Packet p) { out_queue_.push_back(std::move(p)); }

void Device::pump(Micros now) {
  while (!awaiting_ && (!out_queue_.empty() || endless_)) {
    if (out_queue_.empty()) queue(next_endless());
    Packet p = std::move(out_queue_.front());
    out_queue_.pop_front();
    emit(p, now);
    awaiting_ = Awaiting{std::move(p), now, 0};
  }
}

void Device::abort_transfer(const char* why) {
  if (!awaiting_ && out_queue_.empty() && !endless_) return;
  log_trace({{"dir", "unit"}, {"event", "transfer abandoned"}, {"why", why},
             {"unsent", out_queue_.size()}}, now_);
  awaiting_.reset();
  out_queue_.clear();
  endless_.reset();
}

// The next record of an endless download: the records in turn, every other
// round a little off in latitude, so that no packet repeats the one before.
Packet Device::next_endless() {
  Endless& e = *endless_;
  const Record& r = e.records[e.next];
  json rec = r.rec;
  if (e.round % 2 && rec.contains("lat") && rec["lat"].is_number()) {
    const double lat = rec["lat"].get<double>();
    rec["lat"] = lat + (lat > 0 ? -1e-4 : 1e-4);
  }
  if (++e.next == e.records.size()) {
    e.next = 0;
    ++e.round;
  }
  return record_packet(r.pid, r.format, rec);
}

// ---- records -------------------------------------------------------------

Packet Device::record_packet(int pid, const std::string& format, const json& rec) const {
  auto data = encode_record(format, rec);
  return Packet{static_cast<std::uint8_t>(pid), data ? *data : Bytes{}};
}

void Device::queue_records(int xfer_cmd, const std::vector<Record>& records) {
  abort_transfer("new request");
  Bytes count;
  put16(count, static_cast<int>(records.size()));
  queue(Packet{static_cast<std::uint8_t>(sc_.ids.records), count});
  const int stall = opt_.faults.stall;
  for (std::size_t i = 0; i < records.size(); ++i) {
    if (stall > 0 && static_cast<int>(i) == stall) {
      log_trace({{"dir", "unit"}, {"event", "transfer stalls"}, {"after", stall}}, now_);
      return;
    }
    queue(record_packet(records[i].pid, records[i].format, records[i].rec));
  }
  if (opt_.faults.endless && !records.empty()) {
    log_trace({{"dir", "unit"}, {"event", "endless records"}, {"announced", records.size()}}, now_);
    endless_ = Endless{records};
    return;
  }
  Bytes done;
  put16(done, xfer_cmd);
  queue(Packet{static_cast<std::uint8_t>(sc_.ids.xfer_cmplt), done});
}

void Device::queue_download(int cmd) {
  const LinkIds& I = sc_.ids;
  const Formats& F = sc_.formats;
  std::vector<Record> recs;
  auto unsupported = [&](const char* what) {
    log_trace({{"dir", "unit"}, {"event", std::string("no ") + what + " on this unit"}}, now_);
  };
  if (cmd == I.cmd_wpt) {
    if (F.waypoint.empty()) return unsupported("waypoints");
    for (const auto& w : sc_.waypoints) recs.push_back({I.wpt_data, F.waypoint, w});
  } else if (cmd == I.cmd_prx) {
    if (F.proximity.empty()) return unsupported("proximity waypoints");
    int index = 0;
    for (const auto& w : sc_.proximity) {
      json r = w;
      if (!r.contains("prox_index")) r["prox_index"] = index;
      ++index;
      recs.push_back({I.prx_wpt, F.proximity, r});
    }
  } else if (cmd == I.cmd_rte) {
    if (F.route_header.empty()) return unsupported("routes");
    for (const auto& r : sc_.routes) {
      recs.push_back({I.rte_hdr, F.route_header, r});
      const json pts = r.value("points", json::array());
      const json links = r.value("links", json::array());
      for (std::size_t i = 0; i < pts.size(); ++i) {
        if (i > 0 && !F.route_link.empty()) {
          json link = i - 1 < links.size() ? links[i - 1] : json{{"class", 3}};
          recs.push_back({I.rte_link, F.route_link, link});
        }
        recs.push_back({I.rte_wpt, F.route_waypoint, pts[i]});
      }
    }
  } else if (cmd == I.cmd_trk) {
    if (F.track_point.empty()) return unsupported("tracks");
    for (const auto& t : sc_.tracks) {
      if (!F.track_header.empty()) recs.push_back({I.trk_hdr, F.track_header, t});
      const json pts = t.value("points", json::array());
      for (std::size_t i = 0; i < pts.size(); ++i) {
        json p = pts[i];
        if (i == 0 && !p.contains("new_segment")) p["new_segment"] = true;
        recs.push_back({I.trk_data, F.track_point, p});
      }
    }
  } else if (cmd == I.cmd_alm) {
    if (F.almanac.empty()) return unsupported("almanac");
    for (const auto& a : sc_.almanac) recs.push_back({I.almanac, F.almanac, a});
  } else {
    return;
  }
  queue_records(cmd, recs);
}

// ---- input -------------------------------------------------------------

void Device::feed(const std::uint8_t* p, std::size_t n, Micros now) {
  std::lock_guard lk(mu_);
  now_ = now;
  if (start_ < 0) start_ = now;
  Bytes in(p, p + n);
  if (!sc_.answers) {
    log_trace({{"dir", "in"}, {"ignored", hex(in)}}, now);
    return;
  }
  if (sc_.nmea) {
    // A unit in NMEA mode reads no commands; the host's frames are only
    // traced, decoded, so a test can tell what the host asked for.
    for (auto& e : deframer_.feed(p, n)) {
      if (e.kind == Deframer::Event::Noise) {
        log_trace({{"dir", "in"}, {"noise", hex(e.noise)}}, now);
        continue;
      }
      json tr{{"dir", "in"}, {"id", e.packet.id}, {"size", e.packet.data.size()}, {"data", hex(e.packet.data)},
              {"note", "not answered: NMEA mode"}};
      if (e.kind == Deframer::Event::BadChecksum) tr["status"] = "bad checksum";
      log_trace(std::move(tr), now);
    }
    if (replaying() && !replay_started_ && n > 0) {
      replay_started_ = true;
      next_nmea_ = now;
    }
    return;
  }
  if (mismatched()) {
    deframer_.reset();
    log_trace({{"dir", "in"}, {"noise", hex(in)},
               {"why", "line at " + std::to_string(line_speed_) + ", unit at " + std::to_string(speed_)}}, now);
    return;
  }
  // Text lines from the host (NMEA sentences) start with "$" between frames
  // and end with CR LF; the trace shows each one.
  std::size_t i = 0;
  while (i < n) {
    if (!nmea_in_.empty()) {
      nmea_in_.push_back(static_cast<char>(p[i++]));
      const std::size_t len = nmea_in_.size();
      if (len >= 2 && nmea_in_.compare(len - 2, 2, "\r\n") == 0) {
        log_trace({{"dir", "in"}, {"nmea", nmea_in_.substr(0, len - 2)}}, now);
        nmea_in_.clear();
      } else if (len > 300) {
        log_trace({{"dir", "in"}, {"noise", hex(Bytes(nmea_in_.begin(), nmea_in_.end()))}}, now);
        nmea_in_.clear();
      }
      continue;
    }
    std::size_t j = i;
    while (j < n && p[j] != '$') ++j;
    feed_frames(p + i, j - i, now);
    i = j;
    if (i < n) {
      if (deframer_.idle()) nmea_in_ = "$";
      else feed_frames(p + i, 1, now);
      ++i;
    }
  }
  pump(now);
}

void Device::feed_frames(const std::uint8_t* p, std::size_t n, Micros now) {
  for (auto& e : deframer_.feed(p, n)) {
    if (e.kind == Deframer::Event::Noise) {
      log_trace({{"dir", "in"}, {"noise", hex(e.noise)}}, now);
      continue;
    }
    const Packet& pk = e.packet;
    json tr{{"dir", "in"}, {"id", pk.id}, {"size", pk.data.size()}, {"data", hex(pk.data)}};
    if (e.kind == Deframer::Event::BadChecksum) {
      tr["status"] = "bad checksum";
      log_trace(std::move(tr), now);
      ack(pk, kNak);
      continue;
    }
    confirm_deadline_ = 0;  // a good packet at this speed: the speed holds
    if (pk.id == kAck || pk.id == kNak) {
      log_trace(std::move(tr), now);
      if (!awaiting_) continue;
      bool ours = pk.data.empty() || pk.data[0] == awaiting_->packet.id;
      if (pk.id == kAck && ours) {
        awaiting_.reset();
      } else if (pk.id == kNak) {
        if (++awaiting_->retries > opt_.max_retries) {
          abort_transfer("too many NAKs");
        } else {
          emit(awaiting_->packet, now, "re-send after NAK");
          awaiting_->sent_at = now;
        }
      }
      continue;
    }
    const int number = ++host_packets_;
    tr["n"] = number;
    const Faults& f = opt_.faults;
    if (f.nak_host.count(number)) {
      tr["fault"] = "nak_host";
      log_trace(std::move(tr), now);
      ack(pk, kNak);
      continue;
    }
    if (auto it = f.stop_ack.find(pk.id); it != f.stop_ack.end() && ++stop_ack_seen_[pk.id] >= it->second)
      acks_stopped_ = true;
    if (acks_stopped_ && pk.id != sc_.ids.command && pk.id != kProductRqst) {
      tr["fault"] = "stop_ack";
      log_trace(std::move(tr), now);
      continue;
    }
    if (f.withhold_ack.count(number) || f.withhold_ack_ids.count(pk.id)) {
      tr["fault"] = "withhold_ack";
      log_trace(std::move(tr), now);
      continue;
    }
    if (auto it = f.delay_ack.find(number); it != f.delay_ack.end()) {
      tr["fault"] = "delay_ack " + std::to_string(it->second) + " ms";
      log_trace(std::move(tr), now);
      delayed_.push_back({now + Micros(it->second) * 1000, pk, number});
      continue;
    }
    log_trace(std::move(tr), now);
    if (silent_) continue;
    ack(pk, kAck);
    handle(pk, now);
  }
}

void Device::handle(const Packet& p, Micros now) {
  const LinkIds& I = sc_.ids;
  if (p.id == kProductRqst) {
    abort_transfer("product request");
    Bytes d;
    put16(d, sc_.product_id);
    put16(d, sc_.software_version);
    std::vector<std::string> desc = sc_.descriptions;
    if (desc.empty()) desc.push_back("");
    for (const auto& s : desc) {
      std::string t = to_device_text(s);
      d.insert(d.end(), t.begin(), t.end());
      d.push_back(0);
    }
    queue(Packet{kProductData, d});
    if (!sc_.ext_descriptions.empty()) {
      Bytes e;
      for (const auto& s : sc_.ext_descriptions) {
        std::string t = to_device_text(s);
        e.insert(e.end(), t.begin(), t.end());
        e.push_back(0);
      }
      queue(Packet{kExtProductData, e});
    }
    if (sc_.has_protocol_array) {
      Bytes a;
      for (const auto& e : sc_.protocol_array) {
        a.push_back(static_cast<std::uint8_t>(e[0]));
        put16(a, std::atoi(e.c_str() + 1));
      }
      queue(Packet{kProtocolArray, a});
    }
    return;
  }
  if (p.id == I.command && !p.data.empty()) {
    int cmd = p.data[0] | (p.data.size() >= 2 ? p.data[1] << 8 : 0);
    handle_command(cmd, now);
    return;
  }
  if (p.id == kStopAsync) return;
  if (p.id == I.expanded || p.id == 125) {
    handle_expanded(p);
    return;
  }
  if (p.id == I.baud_request) {
    if (p.data.size() < 4) return;
    std::uint32_t want = p.data[0] | p.data[1] << 8 | p.data[2] << 16 | std::uint32_t(p.data[3]) << 24;
    bool ok = sc_.baud_change &&
              std::find(sc_.baud_rates.begin(), sc_.baud_rates.end(), static_cast<int>(want)) != sc_.baud_rates.end();
    log_trace({{"dir", "unit"}, {"event", ok ? "baud change accepted" : "baud change refused"}, {"speed", want}}, now);
    if (!ok) return;
    // The reply goes out at the old speed and the unit switches at once:
    // hosts switch after reading it, some without acknowledging it.
    abort_transfer("baud change");
    Bytes d;
    put32(d, want);
    emit(Packet{static_cast<std::uint8_t>(I.baud_reply), d}, now);
    previous_speed_ = speed_;
    speed_ = static_cast<int>(want);
    confirm_deadline_ = now + Micros(opt_.baud_confirm_ms) * 1000;
    log_trace({{"dir", "unit"}, {"event", "speed changed"}, {"speed", speed_}}, now);
    return;
  }
  if (p.id == I.records) {
    upload_ = Upload{};
    upload_.active = true;
    upload_.announced = p.data.size() >= 2 ? static_cast<std::int16_t>(p.data[0] | p.data[1] << 8) : 0;
    log_dump({{"kind", "records"}, {"count", upload_.announced}});
    return;
  }
  if (p.id == I.xfer_cmplt) {
    if (upload_.active) finish_upload(p);
    else abort_transfer("host sent transfer complete");
    return;
  }
  if (p.id == I.position) {
    json r = decode_record(sc_.formats.position.empty() ? "D700" : sc_.formats.position, p.data);
    log_dump({{"kind", "position"}, {"record", r}});
    if (!r.contains("error")) sc_.position = r;
    return;
  }
  if (p.id == I.date_time) {
    json r = decode_record(sc_.formats.date_time.empty() ? "D600" : sc_.formats.date_time, p.data);
    log_dump({{"kind", "date_time"}, {"record", r}});
    if (!r.contains("error")) sc_.date_time = r;
    return;
  }
  handle_upload(p);
}

// Expanded packets (ID 123: u32 length, i16 expanded ID, payload) and
// continuation requests (ID 125: continued ID, 0, expanded ID, part).
void Device::handle_expanded(const Packet& p) {
  if (p.id == 125) {
    if (p.data.size() < 5 || !long_reply_ || (p.data[2] | p.data[3] << 8) != long_reply_->expanded_id) {
      log_trace({{"dir", "unit"}, {"event", "continuation request without a long reply"}}, now_);
      return;
    }
    LongReply& r = *long_reply_;
    const int part = p.data[0] == sc_.ids.expanded ? 0 : p.data[4] + 1;
    const std::size_t n = std::min<std::size_t>(254, r.payload.size() - r.sent);
    Bytes d{static_cast<std::uint8_t>(part)};
    d.insert(d.end(), r.payload.begin() + static_cast<std::ptrdiff_t>(r.sent),
             r.payload.begin() + static_cast<std::ptrdiff_t>(r.sent + n));
    r.sent += n;
    queue(Packet{124, d});
    return;
  }
  if (p.data.size() < 6) return;
  const int xid = p.data[4] | p.data[5] << 8;
  const Bytes payload(p.data.begin() + 6, p.data.end());
  auto icon_id = [&] {
    return payload.size() >= 4 ? std::uint32_t(payload[0] | payload[1] << 8 | payload[2] << 16 | std::uint32_t(payload[3]) << 24) : 0u;
  };
  if (xid == 526) {
    if (sc_.unit_name.empty()) return;
    std::string name = to_device_text(sc_.unit_name);
    if (name.size() > 240) name.resize(240);
    Bytes d(name.begin(), name.end());
    d.push_back(0);
    reply_expanded(525, d);
  } else if (xid == 525) {
    const auto nul = std::find(payload.begin(), payload.end(), std::uint8_t{0});
    sc_.unit_name = from_device_text(std::string(payload.begin(), nul));
    log_dump({{"kind", "name"}, {"name", sc_.unit_name}});
  } else if (!sc_.icons) {
    log_trace({{"dir", "unit"}, {"event", "no icons on this unit"}, {"expanded_id", xid}}, now_);
  } else if (xid == 881) {
    icon_ = payload.empty() ? 0 : (payload[0] + 255) % 256;
    Bytes d;
    put32(d, 0x1000u + static_cast<std::uint32_t>(icon_));
    reply_expanded(882, d);
  } else if (xid == 886 || xid == 884) {
    Bytes d;
    put32(d, icon_id());
    const bool colours = xid == 886;
    for (int i = 0; i < (colours ? 1024 : 256); ++i) d.push_back(static_cast<std::uint8_t>((colours ? 5 : 3) * i + icon_));
    reply_expanded(colours ? 887 : 885, d);
  } else {
    log_dump({{"kind", "icon"}, {"expanded_id", xid}, {"data", hex(payload)}});
  }
}

// An expanded reply; one longer than a frame goes out in parts, the first
// now and the rest as the host asks for them.
void Device::reply_expanded(int expanded_id, const Bytes& payload) {
  const std::size_t first = std::min<std::size_t>(payload.size(), 249);
  Bytes d;
  put32(d, static_cast<std::uint32_t>(payload.size()));
  put16(d, expanded_id);
  d.insert(d.end(), payload.begin(), payload.begin() + static_cast<std::ptrdiff_t>(first));
  long_reply_.reset();
  if (first < payload.size()) long_reply_ = LongReply{expanded_id, payload, first};
  queue(Packet{static_cast<std::uint8_t>(sc_.ids.expanded), d});
}

// A screen: the header, the colour records and the pixel records, sent at
// once; the host does not acknowledge display packets.
void Device::send_screen(const json& sc, Micros now) {
  const bool is_long = sc.value("header", std::string("short")) == "long";
  const int bits = sc.value("bits", 1), pixels = sc.value("pixels", 1), lines = sc.value("lines", 1);
  const int per_byte = bits == 1 ? 8 : bits == 2 ? 4 : 1;
  const std::uint8_t pid = static_cast<std::uint8_t>(sc_.ids.display);
  Bytes h;
  put16(h, 0);
  if (is_long) {
    h.insert(h.end(), {0, 0, 1, 0, 0, 0});
    put16(h, pixels);
    put16(h, 0);
    put16(h, bits);
    put16(h, 0);
    put16(h, sc.value("strict", pixels * per_byte));
    put16(h, 0);
    put16(h, lines);
  } else {
    h.insert(h.end(), 8, 0);
    put16(h, pixels);
    put16(h, bits);
    put16(h, sc.value("line_length", pixels * per_byte));
    put16(h, lines);
  }
  emit(Packet{pid, h}, now, "screen header");
  // Colour and pixel records put their offset just before the first pixel
  // byte: index 5 after a short header, 7 after a long one.
  auto record = [&](int type, std::uint32_t offset) {
    Bytes d;
    put16(d, type);
    if (is_long) put16(d, 0);
    put32(d, offset);
    return d;
  };
  int n = 0;
  for (const auto& c : sc.value("colours", json::array())) {
    Bytes d = record(2, static_cast<std::uint32_t>(3 * n++));
    d.resize(8, 0);
    d.push_back(static_cast<std::uint8_t>(c.at(2).get<int>()));
    d.push_back(static_cast<std::uint8_t>(c.at(1).get<int>()));
    d.push_back(static_cast<std::uint8_t>(c.at(0).get<int>()));
    emit(Packet{pid, d}, now);
  }
  Bytes screen;
  if (sc.contains("data")) screen = from_hex(sc["data"].get<std::string>());
  else
    for (int i = 0; i < pixels * lines; ++i) screen.push_back(static_cast<std::uint8_t>(i * 13 + 7));
  const std::size_t chunk = static_cast<std::size_t>(sc.value("chunk", 200));
  for (std::size_t off = 0; off < screen.size(); off += chunk) {
    Bytes d = record(1, static_cast<std::uint32_t>(off));
    d.insert(d.end(), screen.begin() + static_cast<std::ptrdiff_t>(off),
             screen.begin() + static_cast<std::ptrdiff_t>(std::min(screen.size(), off + chunk)));
    emit(Packet{pid, d}, now);
  }
}

void Device::handle_command(int cmd, Micros now) {
  const LinkIds& I = sc_.ids;
  if (cmd == I.cmd_abort) {
    abort_transfer("abort command");
  } else if (cmd == I.cmd_wpt || cmd == I.cmd_prx || cmd == I.cmd_rte || cmd == I.cmd_trk || cmd == I.cmd_alm) {
    queue_download(cmd);
  } else if (cmd == I.cmd_time) {
    abort_transfer("new request");
    if (opt_.date_time_delay_ms > 0)
      date_time_due_.push_back(now + Micros(opt_.date_time_delay_ms) * 1000);
    else
      queue(record_packet(I.date_time, sc_.formats.date_time.empty() ? "D600" : sc_.formats.date_time, sc_.date_time));
  } else if (cmd == I.cmd_posn) {
    abort_transfer("new request");
    queue(record_packet(I.position, sc_.formats.position.empty() ? "D700" : sc_.formats.position, sc_.position));
  } else if (cmd == I.cmd_start_pvt) {
    pvt_on_ = true;
    pvt_next_ = 0;
    next_pvt_ = now;
  } else if (cmd == I.cmd_stop_pvt) {
    pvt_on_ = false;
  } else if (cmd == I.cmd_laps || cmd == I.cmd_flightbook) {
    // Units that list these protocols answer with their records.
    const bool laps = cmd == I.cmd_laps;
    const char* proto = laps ? "A906" : "A650";
    if (std::find(sc_.protocol_array.begin(), sc_.protocol_array.end(), proto) == sc_.protocol_array.end()) return;
    std::vector<Record> recs;
    for (const auto& r : laps ? sc_.laps : sc_.flightbook)
      recs.push_back({laps ? I.lap : I.flightbook, laps ? "D906" : "D650", r});
    queue_records(cmd, recs);
  } else if (cmd == I.cmd_screen) {
    if (sc_.screens.empty()) return;
    abort_transfer("new request");
    send_screen(sc_.screens[next_screen_++ % sc_.screens.size()], now);
  } else if (cmd == I.cmd_voltages) {
    if (!sc_.has_voltages) return;
    Bytes d;
    put16(d, static_cast<int>(std::lround(sc_.internal_voltage * 100)));
    put16(d, static_cast<int>(std::lround(sc_.external_voltage * 100)));
    queue(Packet{static_cast<std::uint8_t>(I.voltages), d});
  } else if (cmd == I.cmd_unit_id) {
    if (!sc_.has_unit_id) return;
    Bytes d;
    put32(d, sc_.unit_id);
    queue(Packet{static_cast<std::uint8_t>(I.unit_id), d});
  }
}

void Device::handle_upload(const Packet& p) {
  const LinkIds& I = sc_.ids;
  const Formats& F = sc_.formats;
  struct Kind { int pid; const char* kind; const char* store; std::string format; };
  const Kind kinds[] = {
      {I.wpt_data, "waypoint", "waypoints", F.waypoint},
      {I.prx_wpt, "proximity", "proximity", F.proximity},
      {I.rte_hdr, "route_header", "routes", F.route_header},
      {I.rte_wpt, "route_waypoint", "routes", F.route_waypoint},
      {I.rte_link, "route_link", "routes", F.route_link.empty() ? std::string("D210") : F.route_link},
      {I.trk_hdr, "track_header", "tracks", F.track_header},
      {I.trk_data, "track_point", "tracks", F.track_point},
      {I.almanac, "almanac", "almanac", F.almanac},
      {I.lap, "lap", "laps", "D906"},
      {I.flightbook, "flightbook", "flightbook", "D650"},
  };
  for (const auto& k : kinds) {
    if (p.id != k.pid) continue;
    json rec = k.format.empty() ? json{{"error", std::string("this unit has no ") + k.kind + " format"}}
                                : decode_record(k.format, p.data);
    json line{{"kind", k.kind}, {"format", k.format}, {"record", rec}};
    if (!upload_.active) line["note"] = "outside a transfer";
    log_dump(line);
    // Laps and flight-book records may come one at a time, outside a
    // transfer: each joins the stored set.
    const std::string store = k.store;
    if (!upload_.active && !rec.contains("error") && (store == "laps" || store == "flightbook")) {
      (store == "laps" ? sc_.laps : sc_.flightbook).push_back(rec);
    }
    if (upload_.active && k.store[0]) {
      ++upload_.received;
      if (upload_.kind.empty()) upload_.kind = k.store;
      upload_.records.push_back({{"kind", k.kind}, {"record", rec}});
    }
    return;
  }
  log_trace({{"dir", "unit"}, {"event", "packet not understood"}, {"id", p.id}}, now_);
}

void Device::finish_upload(const Packet& p) {
  const LinkIds& I = sc_.ids;
  std::string kind = upload_.kind;
  if (kind.empty() && p.data.size() >= 1) {
    int cmd = p.data[0] | (p.data.size() >= 2 ? p.data[1] << 8 : 0);
    if (cmd == I.cmd_wpt) kind = "waypoints";
    else if (cmd == I.cmd_prx) kind = "proximity";
    else if (cmd == I.cmd_rte) kind = "routes";
    else if (cmd == I.cmd_trk) kind = "tracks";
    else if (cmd == I.cmd_alm) kind = "almanac";
    else if (cmd == I.cmd_laps) kind = "laps";
    else if (cmd == I.cmd_flightbook) kind = "flightbook";
  }
  // The records are moved, not copied: a long upload is stored at once, and
  // its end is acknowledged only then.
  json set = json::array();
  for (auto& r : upload_.records) {
    const std::string k = r["kind"];
    json rec = std::move(r["record"]);
    if (rec.contains("error")) continue;
    if (k == "waypoint" || k == "proximity" || k == "almanac" || k == "lap" || k == "flightbook") {
      set.push_back(rec);
    } else if (k == "route_header") {
      rec["points"] = json::array();
      rec["links"] = json::array();
      set.push_back(rec);
    } else if (k == "route_waypoint" || k == "route_link") {
      if (set.empty()) set.push_back({{"points", json::array()}, {"links", json::array()}});
      set.back()[k == "route_waypoint" ? "points" : "links"].push_back(rec);
    } else if (k == "track_header") {
      rec["points"] = json::array();
      set.push_back(rec);
    } else if (k == "track_point") {
      if (set.empty()) set.push_back({{"points", json::array()}});
      set.back()["points"].push_back(rec);
    }
  }
  if (kind == "waypoints") sc_.waypoints = std::move(set);
  else if (kind == "proximity") sc_.proximity = std::move(set);
  else if (kind == "routes") sc_.routes = std::move(set);
  else if (kind == "tracks") sc_.tracks = std::move(set);
  else if (kind == "almanac") sc_.almanac = std::move(set);
  else if (kind == "laps") sc_.laps = std::move(set);
  else if (kind == "flightbook") sc_.flightbook = std::move(set);
  log_dump({{"kind", "transfer_complete"}, {"stored", kind}, {"announced", upload_.announced},
            {"received", upload_.received}});
  upload_ = Upload{};
}

// ---- time -----------------------------------------------------------------

void Device::send_pvt(Micros now) {
  if (!opt_.pvt_replay_path.empty()) {
    // The capture's frames up to and including its next PVT record.
    while (pvt_next_ < replay_.size()) {
      const Packet& p = replay_[pvt_next_++];
      emit(p, now, "replay");
      if (p.id == sc_.ids.pvt) break;
    }
    return;
  }
  json r = sc_.pvt;
  if (!sc_.pvt_path.empty()) {
    const std::size_t i = std::min(pvt_next_++, sc_.pvt_path.size() - 1);
    for (const auto& [k, v] : sc_.pvt_path[i].items()) r[k] = v;
  }
  if (!r.contains("lat") && sc_.position.contains("lat")) r["lat"] = sc_.position["lat"];
  if (!r.contains("lon") && sc_.position.contains("lon")) r["lon"] = sc_.position["lon"];
  emit(record_packet(sc_.ids.pvt, sc_.formats.pvt.empty() ? "D800" : sc_.formats.pvt, r), now);
  if (!sc_.satellites.empty()) {
    json s = json::object();
    for (std::size_t i = 0; i < sc_.satellites.size() && i < 12; ++i) {
      const json& e = sc_.satellites[i];
      for (const char* k : {"svid", "snr", "elev", "azimuth", "status"})
        if (e.contains(k)) s[k + std::to_string(i)] = e[k];
    }
    emit(record_packet(sc_.ids.sats, "SAT", s), now);
  }
}

void Device::send_nmea(Micros now) {
  const json& d = sc_.date_time;
  const double lat = sc_.position.value("lat", 0.0), lon = sc_.position.value("lon", 0.0);
  const int elapsed = static_cast<int>((now - start_) / 1000000);
  const int secs = d.value("hour", 12) * 3600 + d.value("minute", 0) * 60 + d.value("second", 0) + elapsed;
  char hms[16], date[16], la[32], lo[32];
  std::snprintf(hms, sizeof hms, "%02d%02d%02d", secs / 3600 % 24, secs / 60 % 60, secs % 60);
  std::snprintf(date, sizeof date, "%02d%02d%02d", d.value("day", 1), d.value("month", 1), d.value("year", 2000) % 100);
  auto dm = [](double v, int deg_digits, char* out, std::size_t n, char pos, char neg) {
    double a = std::fabs(v);
    int deg = static_cast<int>(a);
    double min = (a - deg) * 60;
    std::snprintf(out, n, "%0*d%07.4f,%c", deg_digits, deg, min, v < 0 ? neg : pos);
  };
  dm(lat, 2, la, sizeof la, 'N', 'S');
  dm(lon, 3, lo, sizeof lo, 'E', 'W');
  emit_text(nmea_sentence(std::string("GPRMC,") + hms + ",A," + la + "," + lo + ",000.0,000.0," + date + ",,"), now);
  char alt[32];
  std::snprintf(alt, sizeof alt, "%.1f", sc_.pvt.value("alt", 0.0));
  emit_text(nmea_sentence(std::string("GPGGA,") + hms + "," + la + "," + lo + ",1,08,1.0," + alt + ",M,0.0,M,,"), now);
}

void Device::send_replay_cycle(Micros now) {
  if (replay_next_ >= opt_.nmea_replay.size()) return;
  for (const std::string& line : opt_.nmea_replay[replay_next_]) emit_text(line + "\r\n", now);
  if (++replay_next_ == opt_.nmea_replay.size() && opt_.nmea_loop) replay_next_ = 0;
}

void Device::tick(Micros now) {
  std::lock_guard lk(mu_);
  now_ = now;
  if (start_ < 0) start_ = now;
  if (!sc_.answers) return;
  if (sc_.nmea) {
    if (replaying() && !replay_started_) return;
    if (now >= next_nmea_) {
      if (replaying())
        send_replay_cycle(now);
      else
        send_nmea(now);
      next_nmea_ = now + Micros(sc_.nmea_period_ms > 0 ? sc_.nmea_period_ms : opt_.pvt_period_ms) * 1000;
    }
    return;
  }
  // Delayed ACKs that are due, in arrival order.
  std::stable_sort(delayed_.begin(), delayed_.end(), [](auto& a, auto& b) { return a.due < b.due; });
  while (!delayed_.empty() && delayed_.front().due <= now) {
    DelayedAck d = std::move(delayed_.front());
    delayed_.erase(delayed_.begin());
    if (silent_) continue;
    ack(d.packet, kAck);
    handle(d.packet, now);
  }
  if (awaiting_ && now - awaiting_->sent_at >= Micros(opt_.ack_timeout_ms) * 1000) {
    if (++awaiting_->retries > opt_.max_retries) {
      abort_transfer("no ACK from the host");
    } else {
      emit(awaiting_->packet, now, "re-send after time-out");
      awaiting_->sent_at = now;
    }
  }
  while (!date_time_due_.empty() && date_time_due_.front() <= now) {
    date_time_due_.erase(date_time_due_.begin());
    queue(record_packet(sc_.ids.date_time, sc_.formats.date_time.empty() ? "D600" : sc_.formats.date_time,
                        sc_.date_time));
  }
  if (pvt_on_ && now >= next_pvt_) {
    send_pvt(now);
    next_pvt_ = now + Micros(opt_.pvt_period_ms) * 1000;
  }
  if (confirm_deadline_ && now >= confirm_deadline_) {
    log_trace({{"dir", "unit"}, {"event", "nothing heard at the new speed, back to the old one"},
               {"speed", previous_speed_}}, now);
    speed_ = previous_speed_;
    confirm_deadline_ = 0;
    deframer_.reset();
  }
  pump(now);
}

Device::Micros Device::next_deadline() const {
  std::lock_guard lk(mu_);
  Micros t = INT64_MAX;
  if (!sc_.answers) return t;
  if (sc_.nmea) {
    if (replaying() && (!replay_started_ || replay_next_ >= opt_.nmea_replay.size())) return t;
    return next_nmea_;
  }
  for (const auto& d : delayed_) t = std::min(t, d.due);
  if (awaiting_) t = std::min(t, awaiting_->sent_at + Micros(opt_.ack_timeout_ms) * 1000);
  if (pvt_on_) t = std::min(t, next_pvt_);
  if (!date_time_due_.empty()) t = std::min(t, date_time_due_.front());
  if (confirm_deadline_) t = std::min(t, confirm_deadline_);
  return t;
}

}  // namespace gpsim
