// Bounded field readers over a Host_Packet ([0] DLE, [1] ID, [2] size N,
// [3..N+2] data, checksum, DLE, ETX; ID 123 carries its data to the array's
// end). A field read only when it lies wholly inside the data; otherwise the
// reader gives 0 (or empty text).
#pragma once

#include "device/protocols/codec/conversions.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace brenvik {

constexpr int Packet_Data_Start = 3;

// One past the last data index: min(3 + N, array size), or the array's end
// for ID 123.
std::size_t Packet_Data_End(PacketView packet);
// True when [index, index + width) lies inside the data.
bool Packet_Has(PacketView packet, int index, int width);

std::uint8_t Packet_To_Byte(PacketView packet, int index);
std::int16_t Packet_To_Integer(PacketView packet, int index);
std::int32_t Packet_To_Long(PacketView packet, int index);
float Packet_To_Single(PacketView packet, int index);
double Packet_To_Double(PacketView packet, int index);

// The data bytes from index up to the data's end (empty when outside).
PacketView Packet_Tail(PacketView packet, int index);
// Up to Length data bytes from index, clipped to the data.
PacketView Packet_Bytes(PacketView packet, int index, int Length);

} // namespace brenvik
