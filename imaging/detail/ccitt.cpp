#include "imaging/detail/ccitt.h"

#include "imaging/detail/ccitt_codes.h"

#include <algorithm>

namespace glimmerax {
namespace {

constexpr int kEol = -1, kUnknown = -2;

// One code of the colour's table, looked up by growing length (2 to 13 bits).
int read_code(BitReader& bits, int colour)
{
    for (int len = 2; len <= 13; ++len) {
        std::uint32_t code = bits.Peek(len);
        CcittCode key{std::uint8_t(colour), std::uint8_t(len), std::uint16_t(code), 0};
        auto less = [](const CcittCode& a, const CcittCode& b) {
            if (a.colour != b.colour) return a.colour < b.colour;
            if (a.length != b.length) return a.length < b.length;
            return a.code < b.code;
        };
        auto it = std::lower_bound(std::begin(kCcittCodes), std::end(kCcittCodes), key, less);
        if (it != std::end(kCcittCodes) && !less(key, *it)) {
            if (it->run == kEol) return kEol; // left in place for the next row's start
            bits.Skip(len);
            return it->run;
        }
    }
    return kUnknown;
}

// A whole run: make-up codes add up until a terminating code. Negative on
// an EOL, an unknown code or the end of the data.
std::int64_t read_run(BitReader& bits, int colour)
{
    std::int64_t run = 0;
    for (;;) {
        int r = read_code(bits, colour);
        if (r < 0 || bits.Overrun()) return r < 0 ? r : kUnknown;
        run += r;
        if (r < 64) return run;
    }
}

// An EOL, possibly after fill bits: eleven or more zero bits and a one.
bool skip_eol(BitReader& bits)
{
    if (bits.Peek(11) != 0) return false;
    bits.Skip(11);
    for (int i = 0; i < 64 && !bits.Exhausted(); ++i) {
        std::uint32_t b = bits.Peek(1);
        bits.Skip(1);
        if (b) return true;
    }
    return false;
}

} // namespace

bool CcittDecoder::Row(BitReader& bits, std::vector<std::uint32_t>& changes)
{
    changes.clear();
    if (bits.Exhausted()) return false;
    bool two_d_row = mode_ == CcittMode::T6;
    if (mode_ == CcittMode::ModifiedHuffman) bits.Align();
    if (mode_ == CcittMode::T4) {
        bool eol = false;
        while (skip_eol(bits)) eol = true;
        if (bits.Exhausted()) return false;
        if (two_d_ && eol) {
            two_d_row = bits.Peek(1) == 0;
            bits.Skip(1);
        }
    }
    bool ok = two_d_row ? row_2d(bits, changes) : row_1d(bits, changes);
    ref_ = changes;
    return ok;
}

bool CcittDecoder::row_1d(BitReader& bits, std::vector<std::uint32_t>& changes)
{
    std::int64_t a0 = 0;
    int colour = 0;
    while (a0 < width_) {
        std::int64_t run = read_run(bits, colour);
        if (run == kEol) return !changes.empty() || a0 > 0; // a short row
        if (run < 0) return false;
        a0 = std::min<std::int64_t>(a0 + run, width_); // cut at the row's end
        changes.push_back(std::uint32_t(a0));
        colour ^= 1;
    }
    return true;
}

bool CcittDecoder::row_2d(BitReader& bits, std::vector<std::uint32_t>& changes)
{
    const std::int64_t w = width_;
    std::int64_t a0 = -1;
    int colour = 0;
    std::size_t i = 0; // search start in the reference row
    auto ref = [&](std::size_t k) -> std::int64_t { return k < ref_.size() ? ref_[k] : w; };
    while (a0 < w) {
        // b1: the first changing element of the reference row right of a0
        // whose change is to the opposite of the current colour (even
        // elements change to black, odd ones to white).
        std::size_t k = i >= 2 ? i - 2 : 0;
        if ((k & 1) != std::size_t(colour)) ++k;
        while (k < ref_.size() && ref(k) <= a0) k += 2;
        i = k;
        std::int64_t b1 = ref(k), b2 = ref(k + 1);
        const std::int64_t start = std::max<std::int64_t>(a0, 0);
        if (bits.Overrun() || bits.Exhausted()) return false;
        if (bits.Peek(1) == 1) { // V0
            bits.Skip(1);
            a0 = std::min(std::max(b1, start), w);
            changes.push_back(std::uint32_t(a0));
            colour ^= 1;
            continue;
        }
        std::uint32_t p3 = bits.Peek(3);
        if (p3 == 1) { // horizontal
            bits.Skip(3);
            std::int64_t r1 = read_run(bits, colour);
            if (r1 < 0) return false;
            std::int64_t r2 = read_run(bits, colour ^ 1);
            if (r2 < 0) return false;
            std::int64_t a1 = std::min(start + r1, w), a2 = std::min(a1 + r2, w);
            changes.push_back(std::uint32_t(a1));
            changes.push_back(std::uint32_t(a2));
            a0 = a2;
            continue;
        }
        if (p3 == 3 || p3 == 2) { // VR1, VL1
            bits.Skip(3);
            std::int64_t a1 = b1 + (p3 == 3 ? 1 : -1);
            a0 = std::min(std::max(a1, start), w);
            changes.push_back(std::uint32_t(a0));
            colour ^= 1;
            continue;
        }
        if (bits.Peek(4) == 1) { // pass
            bits.Skip(4);
            a0 = std::min(b2, w);
            continue;
        }
        std::uint32_t p6 = bits.Peek(6), p7 = bits.Peek(7);
        std::int64_t d = 0;
        if (p6 == 3) d = 2, bits.Skip(6);
        else if (p6 == 2) d = -2, bits.Skip(6);
        else if (p7 == 3) d = 3, bits.Skip(7);
        else if (p7 == 2) d = -3, bits.Skip(7);
        else return bits.Peek(12) == 1 && (!changes.empty() || a0 > 0); // an EOL ends a short row
        a0 = std::min(std::max(b1 + d, start), w);
        changes.push_back(std::uint32_t(a0));
        colour ^= 1;
    }
    return true;
}

} // namespace glimmerax
