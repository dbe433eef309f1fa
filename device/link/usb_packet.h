// The receiver's USB packet form and its conversion to and from Host_Packets.
//
// USB packet (little-endian): [0] type (0 protocol layer, 20 application
// layer), [1..3] zero, [4..5] packet ID, [6..7] zero, [8..11] data size N,
// then N data bytes.
//
// Host_Packet rebuilt from a USB packet:
//   ID and N below 256: DLE, ID, N, data, checksum slot (0), DLE, ETX.
//   ID or N 256 or more (expanded, ID 123): DLE, 123, min(N + 6, 255),
//   N as 32 bits, ID as 16 bits, data, checksum slot (0), DLE, ETX.
// Pure functions; every length is checked against the bytes given.
#pragma once

#include "device/link/packet.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace brenvik::usb {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint8_t Protocol_Layer = 0;
inline constexpr std::uint8_t Application_Layer = 20;
inline constexpr std::size_t Header_Size = 12;
inline constexpr std::uint32_t Max_Data = 1046;
inline constexpr std::size_t Max_Packet = Header_Size + Max_Data;

// Protocol-layer packet IDs.
inline constexpr std::uint16_t Data_Available = 2;
inline constexpr std::uint16_t Start_Session = 5;
inline constexpr std::uint16_t Session_Started = 6;

struct Header {
    std::uint8_t type = 0;
    std::uint16_t id = 0;
    std::uint32_t size = 0;
};

// The header of a USB packet; nullopt when fewer than 12 bytes are given.
std::optional<Header> Read_Header(std::span<const std::uint8_t> bytes);
// Type 0 or 20, ID 1 or more, 1 to 1046 data bytes: a packet worth reporting.
bool Is_Reportable(const Header& h);

// A whole USB packet (header and data) to a Host_Packet. nullopt when the
// header is not reportable or the bytes end before its data does.
std::optional<Bytes> Host_From_Usb(std::span<const std::uint8_t> usb);

// A Host_Packet to the USB packet Write_Packet sends:
//   first byte not DLE: a 12-byte protocol-layer packet with ID = byte 1;
//   ID 123: the expanded form (ID at bytes 7-8, size at bytes 3-6, data from 9);
//   else: type 20, ID byte 1, size byte 2, data from byte 3.
// nullopt when the array is shorter than the form it claims.
std::optional<Bytes> Usb_From_Host(std::span<const std::uint8_t> host);

// Builds a USB packet from its parts.
Bytes Make_Usb_Packet(std::uint8_t type, std::uint16_t id, std::span<const std::uint8_t> data);

// Gathers interrupt pieces (up to 64 bytes each) into whole USB packets. A
// packet starts in a piece whose header is reportable and takes as many
// following pieces as its size needs; other pieces are skipped. Holds at
// most one packet (1058 bytes).
class Interrupt_Assembler {
public:
    // Feeds one piece; returns the finished packet when this piece ends one.
    // The span stays valid until the next call.
    std::optional<std::span<const std::uint8_t>> feed(std::span<const std::uint8_t> piece);
    bool collecting() const { return need_ != 0; }
    void reset() { have_ = need_ = 0; }

private:
    std::array<std::uint8_t, Max_Packet> buf_{};
    std::size_t have_ = 0;
    std::size_t need_ = 0;
};

} // namespace brenvik::usb
