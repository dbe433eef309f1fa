// Serial framing of the receiver's link protocol, as the receiver writes and
// reads it: DLE, ID, size, data, checksum, DLE, ETX, with every 0x10 among
// size, data and checksum sent twice.
#pragma once

#include <cstdint>
#include <vector>

namespace gpsim {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t DLE = 0x10;
constexpr std::uint8_t ETX = 0x03;

struct Packet {
  std::uint8_t id = 0;
  Bytes data;
};

// Negated sum of ID, size and data bytes, modulo 256.
std::uint8_t checksum(std::uint8_t id, const Bytes& data);

// The stuffed wire form of one packet (data longer than 255 bytes is cut).
Bytes frame(const Packet& p);
// As frame(), but with a given checksum byte (fault injection).
Bytes frame_with_checksum(const Packet& p, std::uint8_t sum);

// Cuts frames out of a byte stream. Each call to feed() may complete any
// number of frames; bytes that belong to no frame are reported as noise.
class Deframer {
 public:
  struct Event {
    enum Kind { Good, BadChecksum, Noise } kind = Noise;
    Packet packet;   // Good and BadChecksum
    Bytes noise;     // Noise: the bytes skipped
  };

  std::vector<Event> feed(const std::uint8_t* p, std::size_t n);
  void reset();
  bool idle() const { return state_ == State::Hunt && pending_noise_.empty(); }

 private:
  enum class State { Hunt, Id, Size, Data, Sum, EndDle, EndEtx };
  void restart_at_dle(std::vector<Event>& out);
  void begin_after_dle(std::uint8_t b);
  void flush_noise(std::vector<Event>& out);

  State state_ = State::Hunt;
  bool escaped_ = false;    // a DLE was seen inside size/data/checksum
  std::uint8_t size_ = 0;
  std::uint8_t sum_ = 0;
  Packet cur_;
  Bytes raw_;               // the frame's bytes so far, reported as noise on error
  Bytes pending_noise_;
};

}  // namespace gpsim
