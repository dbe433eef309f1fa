#include "device/protocols/codec/fields.h"

#include <algorithm>
#include <bit>
#include <type_traits>

namespace brenvik {

namespace {

template <class T>
T read_le(PacketView packet, int index)
{
    if (!Packet_Has(packet, index, static_cast<int>(sizeof(T))))
        return T{};
    std::uint64_t v = 0;
    for (std::size_t k = 0; k < sizeof(T); ++k)
        v |= static_cast<std::uint64_t>(packet[static_cast<std::size_t>(index) + k]) << (8 * k);
    if constexpr (sizeof(T) == 4 && std::is_floating_point_v<T>)
        return std::bit_cast<T>(static_cast<std::uint32_t>(v));
    else if constexpr (sizeof(T) == 8 && std::is_floating_point_v<T>)
        return std::bit_cast<T>(v);
    else
        return static_cast<T>(v);
}

} // namespace

std::size_t Packet_Data_End(PacketView packet)
{
    if (packet.size() <= static_cast<std::size_t>(Packet_Data_Start))
        return std::min(packet.size(), static_cast<std::size_t>(Packet_Data_Start));
    if (packet[1] == Expanded_Packet_ID)
        return packet.size();
    return std::min(packet.size(), static_cast<std::size_t>(Packet_Data_Start) + packet[2]);
}

bool Packet_Has(PacketView packet, int index, int width)
{
    if (index < Packet_Data_Start || width < 0)
        return false;
    const auto end = static_cast<std::int64_t>(Packet_Data_End(packet));
    return static_cast<std::int64_t>(index) + width <= end;
}

std::uint8_t Packet_To_Byte(PacketView packet, int index)
{
    return read_le<std::uint8_t>(packet, index);
}
std::int16_t Packet_To_Integer(PacketView packet, int index)
{
    return read_le<std::int16_t>(packet, index);
}
std::int32_t Packet_To_Long(PacketView packet, int index)
{
    return read_le<std::int32_t>(packet, index);
}
float Packet_To_Single(PacketView packet, int index)
{
    return read_le<float>(packet, index);
}
double Packet_To_Double(PacketView packet, int index)
{
    return read_le<double>(packet, index);
}

PacketView Packet_Tail(PacketView packet, int index)
{
    const std::size_t end = Packet_Data_End(packet);
    if (index < Packet_Data_Start || static_cast<std::size_t>(index) >= end)
        return {};
    return packet.subspan(static_cast<std::size_t>(index), end - static_cast<std::size_t>(index));
}

PacketView Packet_Bytes(PacketView packet, int index, int Length)
{
    if (Length <= 0)
        return {};
    const PacketView tail = Packet_Tail(packet, index);
    return tail.first(std::min(tail.size(), static_cast<std::size_t>(Length)));
}

} // namespace brenvik
