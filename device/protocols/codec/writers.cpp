#include "device/protocols/codec/writers.h"

#include "device/link/packet.h"
#include "platform/text/cp1252.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace brenvik {

namespace {

template <class U>
void put_le(std::span<std::uint8_t> out, U value)
{
    for (std::size_t k = 0; k < sizeof(U); ++k)
        out[k] = static_cast<std::uint8_t>(value >> (8 * k));
}

// Upper case of one Windows-1252 byte: ASCII, the Latin-1 letters and the
// three pairs the code page adds (S and Z with caron, OE).
std::uint8_t upper_1252(std::uint8_t c)
{
    if (c >= 'a' && c <= 'z')
        return static_cast<std::uint8_t>(c - 0x20);
    if (c >= 0xE0 && c <= 0xFE && c != 0xF7)
        return static_cast<std::uint8_t>(c - 0x20);
    switch (c) {
    case 0x9A: return 0x8A; // s caron
    case 0x9C: return 0x8C; // oe
    case 0x9E: return 0x8E; // z caron
    case 0xFF: return 0x9F; // y diaeresis
    default: return c;
    }
}

} // namespace

Packet New_Packet(std::uint8_t id, std::uint8_t data_size)
{
    Packet packet(static_cast<std::size_t>(data_size) + 6, 0);
    packet[0] = DLE;
    packet[1] = id;
    packet[2] = data_size;
    packet[packet.size() - 2] = DLE;
    packet[packet.size() - 1] = ETX;
    return packet;
}

FieldWriter::FieldWriter(Packet& packet)
{
    if (packet.size() >= 6)
        data_ = std::span<std::uint8_t>(packet).subspan(3, std::min<std::size_t>(packet[2], packet.size() - 6));
}

std::span<std::uint8_t> FieldWriter::Field(std::size_t offset, std::size_t width)
{
    if (offset > data_.size() || width > data_.size() - offset) {
        ok_ = false;
        return {};
    }
    return data_.subspan(offset, width);
}

void FieldWriter::Byte(std::size_t offset, std::uint8_t value)
{
    if (auto f = Field(offset, 1); !f.empty())
        f[0] = value;
}

void FieldWriter::Int16(std::size_t offset, std::int16_t value)
{
    if (auto f = Field(offset, 2); !f.empty())
        put_le(f, static_cast<std::uint16_t>(value));
}

void FieldWriter::Long(std::size_t offset, std::int32_t value)
{
    if (auto f = Field(offset, 4); !f.empty())
        put_le(f, static_cast<std::uint32_t>(value));
}

void FieldWriter::Single(std::size_t offset, float value)
{
    if (auto f = Field(offset, 4); !f.empty())
        put_le(f, std::bit_cast<std::uint32_t>(value));
}

void FieldWriter::Double(std::size_t offset, double value)
{
    if (auto f = Field(offset, 8); !f.empty())
        put_le(f, std::bit_cast<std::uint64_t>(value));
}

void FieldWriter::Bytes(std::size_t offset, std::span<const std::uint8_t> bytes)
{
    if (bytes.empty())
        return;
    if (auto f = Field(offset, bytes.size()); !f.empty())
        std::memcpy(f.data(), bytes.data(), bytes.size());
}

void FieldWriter::Fixed_Text(std::size_t offset, std::string_view bytes, std::size_t width)
{
    if (width == 0)
        return;
    auto f = Field(offset, width);
    if (f.empty())
        return;
    const std::size_t n = std::min(bytes.size(), width);
    std::memcpy(f.data(), bytes.data(), n);
    std::fill(f.begin() + static_cast<std::ptrdiff_t>(n), f.end(), std::uint8_t{' '});
}

std::size_t FieldWriter::Zero_Text(std::size_t offset, std::string_view bytes)
{
    auto f = Field(offset, bytes.size() + 1);
    if (f.empty())
        return offset + bytes.size() + 1;
    std::memcpy(f.data(), bytes.data(), bytes.size());
    f[bytes.size()] = 0;
    return offset + bytes.size() + 1;
}

std::string Device_Text(std::string_view utf8, bool upper, bool terminated)
{
    std::string text = platform::utf8_to_cp1252(utf8);
    if (const auto nul = text.find('\0'); terminated && nul != std::string::npos)
        text.resize(nul);
    if (upper) {
        for (char& c : text)
            c = static_cast<char>(upper_1252(static_cast<std::uint8_t>(c)));
    }
    return text;
}

} // namespace brenvik
