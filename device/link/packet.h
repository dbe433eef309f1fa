// The control's packet bytes: the frame constants and the few text helpers
// that every part of the control uses on them. Header only, so the record
// codecs use it without linking the link layer.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brenvik {

// A Host_Packet: DLE, ID, size N, N data bytes, checksum, DLE, ETX.
using Packet = std::vector<std::uint8_t>;

inline constexpr std::uint8_t DLE = 0x10;
inline constexpr std::uint8_t ETX = 0x03;
// The expanded packet (more than 255 data bytes, or an ID above 255) as the
// USB form and the codecs know it; the link reads the ID from its properties.
inline constexpr std::uint8_t Expanded_Packet_ID = 123;

// Two upper-case hex digits.
inline std::string Hex_Byte(std::uint8_t b)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    return {digits[b >> 4], digits[b & 15]};
}

// Every byte as two upper-case hex digits and a blank.
inline std::string Bytes_To_Hex(std::span<const std::uint8_t> bytes)
{
    std::string out;
    out.reserve(bytes.size() * 3);
    for (std::uint8_t b : bytes) {
        out += Hex_Byte(b);
        out += ' ';
    }
    return out;
}

// A protocol or format name counts as absent when nothing but blanks is left.
inline bool Is_Blank(std::string_view name) { return name.find_first_not_of(' ') == std::string_view::npos; }

// Trims blanks off both ends of instring itself, then returns its text
// before the first NUL.
inline std::string TrimNull(std::string& instring)
{
    const auto first = instring.find_first_not_of(' ');
    if (first == std::string::npos)
        instring.clear();
    else
        instring = instring.substr(first, instring.find_last_not_of(' ') - first + 1);
    return instring.substr(0, instring.find('\0'));
}

} // namespace brenvik
