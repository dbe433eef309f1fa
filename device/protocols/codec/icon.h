// Custom waypoint icons and the unit's name, carried in expanded packets
// (ID 123: Int32 length, Int16 expanded ID, payload from index 9), serial
// continuations (ID 124: part number, payload) and continuation requests
// (ID 125). Sans I/O: packets in, the finished 1334-byte BMP out.
#pragma once

#include "device/protocols/codec/conversions.h"
#include "device/protocols/codec/writers.h"
#include "device/protocols/records.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace brenvik {

inline constexpr int Icon_BMP_Size = 1334;
inline constexpr int Icon_Colour_Bytes = 1024; // 256 x red, green, blue, unused
inline constexpr int Icon_Pixel_Bytes = 256;

// Expanded packet 123 with its payload; the size byte is 255 when the data
// does not fit it (the USB transport reads the length field).
Packet Expanded_Packet(std::uint16_t expanded_id, const std::vector<std::uint8_t>& payload);
// A continuation request (ID 125): [continued ID, 0, expanded ID, part].
Packet Continuation_Request(std::uint8_t continued, std::uint16_t expanded_id, std::uint8_t part);
// The payloads Send_Icon sends: 887 (id, then red, green, blue, 0 for each
// of the BMP's colour entries) and 885 (id, then the 256 pixel bytes). A
// BMP shorter than 1334 bytes gives 0 for what it lacks.
std::vector<std::uint8_t> Icon_Colours_Payload(std::int32_t icon, const std::vector<std::uint8_t>& bmp);
std::vector<std::uint8_t> Icon_Pixels_Payload(std::int32_t icon, const std::vector<std::uint8_t>& bmp);

// What the last expanded packet said.
struct Expanded_Values {
    std::int32_t PID_Expanded_ID = 0;
    std::int32_t PID_Expanded_Length = 0;
    std::int32_t PID_Icon = 0;
};

class Icon_Exchange {
public:
    struct Result {
        std::optional<std::string> name;           // a 525 reply with its NUL
        std::optional<std::vector<std::uint8_t>> bmp; // an icon finished
    };
    // One packet with ID 123, 124 or 125. serial: the unit's replies come in
    // parts (Port above 0); over USB each comes whole.
    Result Receive(PacketView packet, bool serial, Expanded_Values& values);
    // The icon's picture, 16 x 16, as the last finished BMP draws it.
    const PictureRef& picture() const { return picture_; }

private:
    std::vector<std::uint8_t> finish();
    void append(std::uint8_t* to, int cap, PacketView bytes, bool advance);

    std::array<std::uint8_t, Icon_Colour_Bytes> colours_{};
    std::array<std::uint8_t, Icon_Pixel_Bytes> pixels_{};
    int fill_ = 0;
    std::int32_t colours_used_ = 0;
    PictureRef picture_ = std::make_shared<Picture>();
};

} // namespace brenvik
