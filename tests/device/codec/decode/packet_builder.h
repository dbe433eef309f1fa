// Hand-written packets: the data bytes come from the test, written field by
// field; this only adds the frame around them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace test {

using Bytes = std::vector<std::uint8_t>;

inline Bytes hex(std::string_view s)
{
    Bytes out;
    int hi = -1;
    for (char c : s) {
        int v = c >= '0' && c <= '9' ? c - '0' : c >= 'A' && c <= 'F' ? c - 'A' + 10
              : c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
        if (v < 0)
            continue;
        if (hi < 0) {
            hi = v;
        } else {
            out.push_back(static_cast<std::uint8_t>(hi * 16 + v));
            hi = -1;
        }
    }
    return out;
}

// The text's bytes, filled up to width with fill (width 0: no fill).
inline Bytes txt(std::string_view s, std::size_t width = 0, std::uint8_t fill = ' ')
{
    Bytes out(s.begin(), s.end());
    while (out.size() < width)
        out.push_back(fill);
    return out;
}

inline Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const auto& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

// DLE, ID, size, data, checksum, DLE, ETX.
inline Bytes frame(std::uint8_t id, const Bytes& data)
{
    Bytes p{0x10, id, static_cast<std::uint8_t>(data.size())};
    p.insert(p.end(), data.begin(), data.end());
    unsigned sum = id + static_cast<unsigned>(data.size());
    for (auto b : data)
        sum += b;
    p.push_back(static_cast<std::uint8_t>(-sum));
    p.push_back(0x10);
    p.push_back(0x03);
    return p;
}

} // namespace test
