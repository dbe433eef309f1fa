#include "device/link/usb_packet.h"

#include <algorithm>
#include <cstring>

namespace brenvik::usb {

namespace {

std::uint16_t u16le(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::uint16_t>(b[at] | (b[at + 1] << 8));
}

std::uint32_t u32le(std::span<const std::uint8_t> b, std::size_t at)
{
    return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
           (static_cast<std::uint32_t>(b[at + 2]) << 16) | (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

void put16le(Bytes& b, std::size_t at, std::uint16_t v)
{
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void put32le(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

} // namespace

std::optional<Header> Read_Header(std::span<const std::uint8_t> bytes)
{
    if (bytes.size() < Header_Size) return std::nullopt;
    return Header{bytes[0], u16le(bytes, 4), u32le(bytes, 8)};
}

bool Is_Reportable(const Header& h)
{
    return (h.type == Protocol_Layer || h.type == Application_Layer) && h.id >= 1 && h.size >= 1 &&
           h.size <= Max_Data;
}

std::optional<Bytes> Host_From_Usb(std::span<const std::uint8_t> usb)
{
    auto h = Read_Header(usb);
    if (!h || !Is_Reportable(*h)) return std::nullopt;
    if (usb.size() - Header_Size < h->size) return std::nullopt;
    auto data = usb.subspan(Header_Size, h->size);
    Bytes host;
    if (h->id < 256 && h->size < 256) {
        host.assign(h->size + 6, 0);
        host[0] = DLE;
        host[1] = static_cast<std::uint8_t>(h->id);
        host[2] = static_cast<std::uint8_t>(h->size);
        std::copy(data.begin(), data.end(), host.begin() + 3);
        host[h->size + 4] = DLE;
        host[h->size + 5] = ETX;
    } else {
        host.assign(h->size + 12, 0);
        host[0] = DLE;
        host[1] = Expanded_Packet_ID;
        host[2] = static_cast<std::uint8_t>(std::min<std::uint32_t>(h->size + 6, 255));
        put32le(host, 3, h->size);
        put16le(host, 7, h->id);
        std::copy(data.begin(), data.end(), host.begin() + 9);
        host[h->size + 10] = DLE;
        host[h->size + 11] = ETX;
    }
    return host;
}

Bytes Make_Usb_Packet(std::uint8_t type, std::uint16_t id, std::span<const std::uint8_t> data)
{
    Bytes usb(Header_Size + data.size(), 0);
    usb[0] = type;
    put16le(usb, 4, id);
    put32le(usb, 8, static_cast<std::uint32_t>(data.size()));
    std::copy(data.begin(), data.end(), usb.begin() + Header_Size);
    return usb;
}

std::optional<Bytes> Usb_From_Host(std::span<const std::uint8_t> host)
{
    if (host.size() < 2) return std::nullopt;
    if (host[0] != DLE) return Make_Usb_Packet(Protocol_Layer, host[1], {});
    if (host[1] == Expanded_Packet_ID) {
        if (host.size() < 9) return std::nullopt;
        std::uint32_t size = u32le(host, 3);
        if (host.size() - 9 < size) return std::nullopt;
        return Make_Usb_Packet(Application_Layer, u16le(host, 7), host.subspan(9, size));
    }
    if (host.size() < 3) return std::nullopt;
    std::size_t size = host[2];
    if (host.size() - 3 < size) return std::nullopt;
    return Make_Usb_Packet(Application_Layer, host[1], host.subspan(3, size));
}

std::optional<std::span<const std::uint8_t>> Interrupt_Assembler::feed(std::span<const std::uint8_t> piece)
{
    if (need_ == 0) {
        auto h = Read_Header(piece);
        if (!h || !Is_Reportable(*h)) return std::nullopt;
        need_ = Header_Size + h->size;
        have_ = 0;
    }
    std::size_t take = std::min(piece.size(), need_ - have_);
    if (take > 0) std::memcpy(buf_.data() + have_, piece.data(), take);
    have_ += take;
    if (have_ < need_) return std::nullopt;
    std::size_t n = need_;
    need_ = 0;
    have_ = 0;
    return std::span<const std::uint8_t>(buf_.data(), n);
}

} // namespace brenvik::usb
