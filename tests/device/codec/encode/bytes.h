// Hand-written packet vectors: hex pairs, ASCII runs and repeated bytes,
// joined and framed as a Host_Packet.
#pragma once

#include "tests/support/hex_bytes.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace encode_test {

using test_support::Bytes;

// Hex pairs; blanks and '|' between fields are ignored.
inline Bytes H(std::string_view hex) { return test_support::hex(hex); }

// The characters' bytes as written.
inline Bytes A(std::string_view text) { return Bytes(text.begin(), text.end()); }

inline Bytes Rep(std::uint8_t b, std::size_t n) { return Bytes(n, b); }

inline Bytes Cat(std::initializer_list<Bytes> parts) { return test_support::cat(parts); }

// DLE, ID, size, data, checksum slot 0, DLE, ETX. The size is written out
// by the test and must agree with the data it wrote.
inline Bytes Frame(std::uint8_t id, std::uint8_t size, const Bytes& data)
{
    EXPECT_EQ(data.size(), size) << "hand-written data has the wrong length";
    Bytes out{0x10, id, size};
    out.insert(out.end(), data.begin(), data.end());
    out.insert(out.end(), {0x00, 0x10, 0x03});
    return out;
}

// The data bytes of a packet.
inline Bytes Data_Of(const Bytes& packet)
{
    if (packet.size() < 6)
        return {};
    return Bytes(packet.begin() + 3, packet.end() - 3);
}

} // namespace encode_test
