#include "device/protocols/codec/icon.h"

#include "device/protocols/codec/fields.h"

#include <algorithm>
#include <cstring>

namespace brenvik {

namespace {

void put16(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v)
{
    b[at] = v & 255;
    b[at + 1] = (v >> 8) & 255;
}
void put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v)
{
    put16(b, at, v & 0xFFFF);
    put16(b, at + 2, v >> 16);
}
std::uint8_t at_or_0(const std::vector<std::uint8_t>& b, std::size_t i) { return i < b.size() ? b[i] : 0; }

std::vector<std::uint8_t> with_icon(std::int32_t icon, std::size_t more)
{
    std::vector<std::uint8_t> p(4 + more, 0);
    put32(p, 0, static_cast<std::uint32_t>(icon));
    return p;
}

} // namespace

Packet Expanded_Packet(std::uint16_t expanded_id, const std::vector<std::uint8_t>& payload)
{
    Packet p(payload.size() + 12, 0);
    p[0] = 0x10;
    p[1] = Expanded_Packet_ID;
    p[2] = static_cast<std::uint8_t>(std::min<std::size_t>(payload.size() + 6, 255));
    put32(p, 3, static_cast<std::uint32_t>(payload.size()));
    put16(p, 7, expanded_id);
    std::copy(payload.begin(), payload.end(), p.begin() + 9);
    p[p.size() - 2] = 0x10;
    p[p.size() - 1] = 0x03;
    return p;
}

Packet Continuation_Request(std::uint8_t continued, std::uint16_t expanded_id, std::uint8_t part)
{
    Packet p = New_Packet(125, 5);
    FieldWriter w(p);
    w.Byte(0, continued);
    w.Int16(2, static_cast<std::int16_t>(expanded_id));
    w.Byte(4, part);
    return p;
}

std::vector<std::uint8_t> Icon_Colours_Payload(std::int32_t icon, const std::vector<std::uint8_t>& bmp)
{
    std::vector<std::uint8_t> p = with_icon(icon, Icon_Colour_Bytes);
    for (std::size_t n = 0; n < 256; ++n) {
        const std::size_t e = 54 + 4 * n; // blue, green, red, reserved
        p[4 + 4 * n] = at_or_0(bmp, e + 2);
        p[5 + 4 * n] = at_or_0(bmp, e + 1);
        p[6 + 4 * n] = at_or_0(bmp, e);
    }
    return p;
}

std::vector<std::uint8_t> Icon_Pixels_Payload(std::int32_t icon, const std::vector<std::uint8_t>& bmp)
{
    std::vector<std::uint8_t> p = with_icon(icon, Icon_Pixel_Bytes);
    for (std::size_t i = 0; i < Icon_Pixel_Bytes; ++i) p[4 + i] = at_or_0(bmp, 1078 + i);
    return p;
}

void Icon_Exchange::append(std::uint8_t* to, int cap, PacketView bytes, bool advance)
{
    // Never beyond the buffer: what does not fit is dropped.
    const int at = std::min(fill_, cap);
    const int n = std::min<int>(static_cast<int>(bytes.size()), cap - at);
    if (n > 0) std::memcpy(to + at, bytes.data(), std::size_t(n));
    if (advance) fill_ = std::min(cap, at + std::max(n, 0));
}

Icon_Exchange::Result Icon_Exchange::Receive(PacketView p, bool serial, Expanded_Values& v)
{
    Result r;
    if (p.size() < 3) return r;
    if (p[1] == 124) {
        v.PID_Expanded_Length = p[2];
        const PacketView payload = Packet_Tail(p, 4);
        const std::uint8_t part = Packet_To_Byte(p, 3);
        if (v.PID_Expanded_ID == 887 && part <= 3) {
            append(colours_.data(), Icon_Colour_Bytes, payload, part < 3);
        } else if (v.PID_Expanded_ID == 885) {
            append(pixels_.data(), Icon_Pixel_Bytes, payload, false);
            r.bmp = finish();
        }
        return r;
    }
    if (p[1] != Expanded_Packet_ID) return r; // 125 from the unit: nothing
    v.PID_Expanded_Length = Packet_To_Long(p, 3);
    v.PID_Expanded_ID = Packet_To_Integer(p, 7);
    // The payload ends where the length field says over USB and where the
    // size byte says on a serial link; never beyond the bytes received.
    const std::int64_t claimed = serial ? std::int64_t(3) + p[2] : std::int64_t(9) + std::max(v.PID_Expanded_Length, 0);
    // (the last three bytes are the frame's checksum, DLE and ETX)
    const std::int64_t held = p.size() >= 12 ? std::int64_t(p.size()) - 3 : std::int64_t(p.size());
    const std::size_t end = static_cast<std::size_t>(std::min(claimed, held));
    auto bytes_from = [&](std::size_t index) {
        return index < end ? p.subspan(index, end - index) : PacketView{};
    };
    switch (v.PID_Expanded_ID) {
    case 525: {
        const PacketView text = bytes_from(9).first(
            std::min<std::size_t>(bytes_from(9).size(), std::size_t(std::max(v.PID_Expanded_Length, 0))));
        const auto nul = std::find(text.begin(), text.end(), std::uint8_t{0});
        if (nul != text.end()) r.name = std::string(text.begin(), nul);
        break;
    }
    case 882:
        v.PID_Icon = Packet_To_Long(p, 9);
        break;
    case 887: {
        colours_used_ = 256;
        const PacketView c = bytes_from(13);
        colours_.fill(0);
        fill_ = 0;
        append(colours_.data(), Icon_Colour_Bytes, c, false);
        fill_ = static_cast<int>(std::min<std::size_t>(c.size(), 0xFFFF));
        break;
    }
    case 885: {
        const PacketView px = bytes_from(13);
        if (!serial) pixels_.fill(0);
        fill_ = 0;
        append(pixels_.data(), Icon_Pixel_Bytes, px, false);
        fill_ = static_cast<int>(std::min<std::size_t>(px.size(), 0xFFFF));
        if (!serial) r.bmp = finish();
        break;
    }
    default:
        break;
    }
    return r;
}

std::vector<std::uint8_t> Icon_Exchange::finish()
{
    std::vector<std::uint8_t> bmp(Icon_BMP_Size, 0);
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(bmp, 2, Icon_BMP_Size);
    put32(bmp, 10, 1078);
    put32(bmp, 14, 40);
    put32(bmp, 18, 16);
    put32(bmp, 22, 16);
    put16(bmp, 26, 1);
    put16(bmp, 28, 8);
    put32(bmp, 34, 256);
    put32(bmp, 46, static_cast<std::uint32_t>(colours_used_));
    auto pic = std::make_shared<Picture>();
    pic->Width = pic->Height = 16;
    pic->Pixels.resize(256);
    std::array<std::uint32_t, 256> table{};
    for (std::size_t n = 0; n < 256; ++n) {
        const std::uint8_t red = colours_[4 * n], green = colours_[4 * n + 1], blue = colours_[4 * n + 2];
        bmp[54 + 4 * n] = blue;
        bmp[55 + 4 * n] = green;
        bmp[56 + 4 * n] = red;
        table[n] = 0xFF000000u | std::uint32_t(red) << 16 | std::uint32_t(green) << 8 | blue;
    }
    std::copy(pixels_.begin(), pixels_.end(), bmp.begin() + 1078);
    // Rows are stored last row first.
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) pic->Pixels[std::size_t(y * 16 + x)] = table[pixels_[std::size_t((15 - y) * 16 + x)]];
    picture_ = std::move(pic);
    return bmp;
}

} // namespace brenvik
