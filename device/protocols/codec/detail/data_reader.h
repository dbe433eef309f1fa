// Reads fields by data offset (0 = packet index 3) with the bounded readers,
// and the texts of a packet as UTF-8.
#pragma once

#include "device/protocols/codec/fields.h"

#include <optional>
#include <string>

namespace brenvik::detail {

struct Data {
    PacketView p;

    static int at(int offset) { return Packet_Data_Start + offset; }
    bool has(int offset, int width) const { return Packet_Has(p, at(offset), width); }
    // The data size byte (0 when the packet has none).
    int size() const { return p.size() > 2 ? p[2] : 0; }

    std::uint8_t u8(int o) const { return Packet_To_Byte(p, at(o)); }
    std::int16_t i16(int o) const { return Packet_To_Integer(p, at(o)); }
    std::int32_t i32(int o) const { return Packet_To_Long(p, at(o)); }
    float f32(int o) const { return Packet_To_Single(p, at(o)); }
    double f64(int o) const { return Packet_To_Double(p, at(o)); }
    double semicircles(int o) const { return Semicircles_To_Degrees(i32(o)); }

    // A fixed text field of width bytes: up to its first NUL (or all of it
    // when whole), trimmed of blanks when trim, padded with blanks to width
    // when pad. Empty when the field starts beyond the data.
    std::string text(int o, int width, bool trim = true, bool pad = false,
                     bool whole = false) const;
    // A NUL-terminated text from offset o: the text before the NUL, or up to
    // the end of the data when there is none.
    std::string cstring(int o) const;
};

// "yyyy/mm/dd-hh:mm:ss" of a time field, empty when it lies beyond the data.
std::string time_text(const Data& d, int o);

// Reads one NUL-terminated text after another from a run of bytes.
class String_Run {
public:
    explicit String_Run(PacketView bytes) : rest_(bytes) {}
    // The next text, or nothing when no terminating NUL is left.
    std::optional<std::string> next();
    // The next text up to its NUL or the end of the bytes (empty at the end).
    std::string take();

private:
    PacketView rest_;
};

} // namespace brenvik::detail
