#include "tools/gpsim/frame.h"

namespace gpsim {

std::uint8_t checksum(std::uint8_t id, const Bytes& data) {
  unsigned sum = id + static_cast<std::uint8_t>(data.size());
  for (auto b : data) sum += b;
  return static_cast<std::uint8_t>(-static_cast<int>(sum & 0xFF));
}

namespace {
void put_stuffed(Bytes& out, std::uint8_t b) {
  out.push_back(b);
  if (b == DLE) out.push_back(DLE);
}
}  // namespace

Bytes frame_with_checksum(const Packet& p, std::uint8_t sum) {
  std::size_t n = p.data.size() > 255 ? 255 : p.data.size();
  Bytes out;
  out.reserve(2 * n + 8);
  out.push_back(DLE);
  out.push_back(p.id);
  put_stuffed(out, static_cast<std::uint8_t>(n));
  for (std::size_t i = 0; i < n; ++i) put_stuffed(out, p.data[i]);
  put_stuffed(out, sum);
  out.push_back(DLE);
  out.push_back(ETX);
  return out;
}

Bytes frame(const Packet& p) {
  Packet q{p.id, Bytes(p.data.begin(), p.data.begin() + (p.data.size() > 255 ? 255 : p.data.size()))};
  return frame_with_checksum(q, checksum(q.id, q.data));
}

void Deframer::reset() {
  state_ = State::Hunt;
  escaped_ = false;
  raw_.clear();
  pending_noise_.clear();
  cur_ = Packet{};
}

void Deframer::flush_noise(std::vector<Event>& out) {
  if (pending_noise_.empty()) return;
  Event e;
  e.kind = Event::Noise;
  e.noise = std::move(pending_noise_);
  pending_noise_.clear();
  out.push_back(std::move(e));
}

// The byte after a frame-starting DLE: ETX makes the pair noise, anything
// else is the new frame's ID.
void Deframer::begin_after_dle(std::uint8_t b) {
  raw_.push_back(b);
  if (b == ETX) {
    pending_noise_.insert(pending_noise_.end(), raw_.begin(), raw_.end());
    raw_.clear();
    state_ = State::Hunt;
  } else {
    cur_.id = b;
    state_ = State::Size;
  }
}

// The frame so far turned out not to be one: its bytes before the last DLE
// are noise, and that DLE starts the next attempt.
void Deframer::restart_at_dle(std::vector<Event>& out) {
  if (!raw_.empty()) raw_.pop_back();  // the DLE that now starts a frame
  pending_noise_.insert(pending_noise_.end(), raw_.begin(), raw_.end());
  flush_noise(out);
  raw_.assign(1, DLE);
  cur_ = Packet{};
  escaped_ = false;
  state_ = State::Id;
}

std::vector<Deframer::Event> Deframer::feed(const std::uint8_t* p, std::size_t n) {
  std::vector<Event> out;
  for (std::size_t i = 0; i < n; ++i) {
    std::uint8_t b = p[i];
    switch (state_) {
      case State::Hunt:
        if (b == DLE) {
          flush_noise(out);
          raw_.assign(1, DLE);
          cur_ = Packet{};
          escaped_ = false;
          state_ = State::Id;
        } else {
          pending_noise_.push_back(b);
        }
        continue;
      case State::Id:
        raw_.push_back(b);
        if (b == DLE) {  // two DLEs in a row cannot start a frame: resync on the second
          restart_at_dle(out);
        } else if (b == ETX) {  // an end marker without a frame
          pending_noise_.insert(pending_noise_.end(), raw_.begin(), raw_.end());
          raw_.clear();
          state_ = State::Hunt;
        } else {
          cur_.id = b;
          state_ = State::Size;
        }
        continue;
      case State::EndDle:
        raw_.push_back(b);
        if (b == DLE) {
          state_ = State::EndEtx;
        } else {
          pending_noise_.insert(pending_noise_.end(), raw_.begin(), raw_.end());
          raw_.clear();
          state_ = State::Hunt;
        }
        continue;
      case State::EndEtx:
        raw_.push_back(b);
        if (b == ETX) {
          flush_noise(out);
          Event e;
          e.kind = checksum(cur_.id, cur_.data) == sum_ ? Event::Good : Event::BadChecksum;
          e.packet = std::move(cur_);
          out.push_back(std::move(e));
          cur_ = Packet{};
          raw_.clear();
          state_ = State::Hunt;
        } else {
          restart_at_dle(out);
          if (b != DLE) begin_after_dle(b);
        }
        continue;
      case State::Size:
      case State::Data:
      case State::Sum:
        break;
    }
    // Stuffed region: size, data, checksum.
    raw_.push_back(b);
    if (escaped_) {
      escaped_ = false;
      if (b != DLE) {  // a lone DLE: it began a new frame (or ended a short one)
        restart_at_dle(out);
        begin_after_dle(b);
        continue;
      }
    } else if (b == DLE) {
      escaped_ = true;
      continue;
    }
    switch (state_) {
      case State::Size:
        size_ = b;
        state_ = size_ == 0 ? State::Sum : State::Data;
        break;
      case State::Data:
        cur_.data.push_back(b);
        if (cur_.data.size() == size_) state_ = State::Sum;
        break;
      case State::Sum:
        sum_ = b;
        state_ = State::EndDle;
        break;
      default:
        break;
    }
  }
  flush_noise(out);
  return out;
}

}  // namespace gpsim
