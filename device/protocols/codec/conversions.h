// Text and angle conversions for receiver packets.
// Texts here are receiver bytes, one character per byte (Windows-1252);
// convert with platform/text/cp1252.h after reading / before writing.
#pragma once

#include "device/link/packet.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace brenvik {

using PacketView = std::span<const std::uint8_t>;

// Exactly Length characters: the bytes from index Start onward, stopping at
// Length, at the end of the packet's data or (unless Whole) at a zero byte;
// the rest stays blank. A negative Length gives empty text.
std::string Packet_To_String(PacketView packet, int Start, int Length, bool Whole);

// Any angle is wrapped into [-180, 180) first, so 180 gives -2^31 (the same
// meridian); NaN and infinities give 0. Rounds halves to even.
std::int32_t Degrees_To_Semicircles(double degrees);
double Semicircles_To_Degrees(std::int32_t semicircles);

std::int32_t Address_Of(std::int32_t pfn);

// The first Count bytes (at most all of them) as "HH " pairs, upper case.
std::string Hex_Dump(PacketView bytes, int Count);
// Fills bytes with blanks, then copies the text's bytes from index 0.
void String_To_Packet(std::string_view text, std::span<std::uint8_t> bytes);

// Receiver time: seconds after 1989/12/31 00:00:00 as "yyyy/mm/dd-hh:mm:ss".
std::string Device_Time(std::uint32_t seconds);

} // namespace brenvik
