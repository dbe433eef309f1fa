// Cuts DLE frames out of the received byte stream.
//
// One deframer holds the link's whole receive buffer (binary frames and NMEA
// text alike). It follows DLE pairing byte by byte: inside a frame DLE DLE is
// one data byte 0x10, DLE ETX ends the frame, and DLE followed by anything
// else means the frame was cut short and a new one starts at that DLE. The
// frame comes out un-stuffed with its real length, whatever the size byte
// claims; the size is then checked.
//
// While the stream carries NMEA text a DLE is far more likely line noise
// than a frame start, and a text stream never holds DLE ETX. In that mode
// (set_text_stream) a would-be frame must close exactly where its header
// says; one that does not is reported as Noise as soon as that is known (at
// most the size byte's worth of bytes later), so the text behind the DLE is
// never held as one long frame.
#pragma once

#include "device/link/packet.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brenvik::detail {

enum class FrameStatus {
    Ok,       // complete; the size byte matches (or the ID is the expanded packet's)
    BadSize,  // complete, but the size byte does not match the length
    Broken,   // cut short by a new frame start, or longer than any packet can be
    Empty,    // a frame without data (fewer than seven bytes): dropped silently
    Noise,    // text stream: the DLE began no well-formed frame; only it was taken
};

struct Frame {
    FrameStatus status = FrameStatus::Ok;
    std::vector<std::uint8_t> packet;  // DLE ID size data.. checksum DLE ETX (un-stuffed)
};

class Deframer {
public:
    // Longest un-stuffed frame accepted (an expanded packet may exceed 255 bytes).
    static constexpr std::size_t kMaxFrame = 70000;

    explicit Deframer(std::uint8_t expanded_id = Expanded_Packet_ID) : cur_(kMaxFrame + 2), expanded_id_(expanded_id) {}
    void set_expanded_id(std::uint8_t id) { expanded_id_ = id; }

    void append(std::string_view bytes);
    // The next frame, dropping bytes before a frame start. False when the
    // buffer holds no complete frame (a partial one stays buffered).
    bool next(Frame& out);

    // Judges would-be frames by the rules of a text stream (see above).
    void set_text_stream(bool on) { text_stream_ = on; }
    // True while a frame is open (its start taken, its end not seen yet).
    bool frame_open() const { return st_ != St::Hunt; }
    // Offset in pending() of the first DLE, or npos. Bytes already searched
    // are not searched again.
    std::size_t find_dle();
    // Bytes not consumed yet (text lines, partial frames).
    std::string_view pending() const { return std::string_view(buf_).substr(head_); }
    // Removes n bytes of text from the front (only while no frame is open).
    void consume(std::size_t n);
    void clear();

private:
    enum class St { Hunt, Id, Body, BodyDle };
    void finish_frame(Frame& f);
    void compact();
    // Text stream: the un-stuffed length the open frame's header allows
    // before its DLE ETX (DLE, ID, size, data, checksum).
    std::size_t allowed_length(std::size_t len) const;
    bool noise(Frame& f);
    std::string buf_;
    std::size_t head_ = 0;  // first unconsumed byte
    std::size_t scan_ = 0;  // next byte to examine inside the open frame
    std::size_t dle_seen_ = 0;  // buf_ before this holds no DLE at or after head_
    St st_ = St::Hunt;
    std::vector<std::uint8_t> cur_;  // the open frame, un-stuffed (fixed size)
    std::size_t len_ = 0;
    std::uint8_t expanded_id_;
    bool text_stream_ = false;
};

} // namespace brenvik::detail
