// CCITT bilevel row decoding (modified Huffman, T.4 one- and two-dimensional,
// T.6) over a bit reader. A row is its list of changing elements.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace glimmerax {

// Bits most significant first; zeros past the end, which count as out of data.
class BitReader {
public:
    BitReader(const std::uint8_t* data, std::size_t size) : data_(data), bits_(std::uint64_t(size) * 8) {}
    std::uint32_t Peek(int n) const
    {
        std::uint64_t byte = pos_ >> 3;
        if (byte + 8 <= bits_ >> 3) { // whole bytes ahead: one load
            std::uint64_t w;
            std::memcpy(&w, data_ + byte, 8);
            w = __builtin_bswap64(w);
            return std::uint32_t((w << (pos_ & 7)) >> (64 - n));
        }
        std::uint32_t v = 0;
        for (int i = 0; i < n; ++i) {
            std::uint64_t p = pos_ + std::uint64_t(i);
            v = v << 1 | (p < bits_ ? (data_[p >> 3] >> (7 - (p & 7))) & 1u : 0u);
        }
        return v;
    }
    void Skip(int n) { pos_ += std::uint64_t(n); }
    bool Exhausted() const { return pos_ >= bits_; }
    bool Overrun() const { return pos_ > bits_; }
    void Align() { pos_ = (pos_ + 7) & ~std::uint64_t(7); }

private:
    const std::uint8_t* data_;
    std::uint64_t bits_;
    std::uint64_t pos_ = 0;
};

enum class CcittMode { ModifiedHuffman, T4, T6 };

class CcittDecoder {
public:
    CcittDecoder(CcittMode mode, bool two_d, std::uint32_t width) : mode_(mode), two_d_(two_d), width_(width) {}
    // Starts a strip: the reference row becomes all white.
    void StartStrip() { ref_.clear(); }
    // Decodes the next row into its changing elements (alternating white to
    // black and black to white, starting with white). False ends the strip.
    bool Row(BitReader& bits, std::vector<std::uint32_t>& changes);

private:
    bool row_1d(BitReader& bits, std::vector<std::uint32_t>& changes);
    bool row_2d(BitReader& bits, std::vector<std::uint32_t>& changes);
    CcittMode mode_;
    bool two_d_;
    std::uint32_t width_;
    std::vector<std::uint32_t> ref_;
};

} // namespace glimmerax
