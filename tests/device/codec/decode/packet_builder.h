// Hand-written packets: the data bytes come from the test, written field by
// field; this only adds the frame around them.
#pragma once

#include "tests/support/hex_bytes.h"

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace test {

using test_support::Bytes;

using test_support::hex;

// The text's bytes, filled up to width with fill (width 0: no fill).
inline Bytes txt(std::string_view s, std::size_t width = 0, std::uint8_t fill = ' ')
{
    Bytes out(s.begin(), s.end());
    while (out.size() < width)
        out.push_back(fill);
    return out;
}

using test_support::cat;

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
