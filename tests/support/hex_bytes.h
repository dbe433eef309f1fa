// Byte vectors written by hand in tests: hex pairs (anything that is not a
// hex digit, such as blanks or '|' between fields, is skipped) and joins.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace test_support {

using Bytes = std::vector<std::uint8_t>;

inline int hex_digit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

inline Bytes hex(std::string_view s)
{
    Bytes out;
    int hi = -1;
    for (char c : s) {
        const int v = hex_digit(c);
        if (v < 0) continue;
        if (hi < 0) {
            hi = v;
        } else {
            out.push_back(static_cast<std::uint8_t>(hi * 16 + v));
            hi = -1;
        }
    }
    return out;
}

inline Bytes cat(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

} // namespace test_support
