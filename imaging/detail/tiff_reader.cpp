#include "imaging/detail/tiff_reader.h"

#include "imaging/detail/ccitt.h"

#include <cstring>
#include <new>

namespace glimmerax {
namespace gdi = platform::gdi;

bool HeapBuffer::Resize(std::size_t size)
{
    std::unique_ptr<std::uint8_t[]> p(new (std::nothrow) std::uint8_t[size ? size : 1]);
    if (!p) {
        data_.reset();
        size_ = 0;
        return false;
    }
    if (data_) std::memcpy(p.get(), data_.get(), std::min(size, size_));
    data_ = std::move(p);
    size_ = size;
    return true;
}

DirEntry ParseEntry(const std::uint8_t* p, const ByteOrder& order)
{
    DirEntry e;
    e.tag = order.u16(p);
    e.type = order.u16(p + 2);
    e.count = order.u32(p + 4);
    std::memcpy(e.raw, p + 8, 4);
    // One or two SHORTs sit in the value field, the first in its first two bytes.
    e.value = e.type == 3 && e.count <= 2 ? order.u16(p + 8) : order.u32(p + 8);
    return e;
}

TiffReader::TiffReader() = default;
TiffReader::~TiffReader() = default;

bool TiffReader::Open(ImageStream& s, bool from_start, bool read_directory)
{
    s_ = &s;
    base_ = from_start ? 0 : s.Position();
    std::uint8_t h[8];
    if ((from_start && !s.Seek(0)) || !s.ReadFull(h, 8)) return false;
    if (h[0] == 'I' && h[1] == 'I') order_.big = false;
    else if (h[0] == 'M' && h[1] == 'M') order_.big = true;
    else return false;
    if (!read_directory) return true;
    std::uint64_t offset = order_.u32(h + 4);
    for (int visited = 0; visited < 100; ++visited) {
        // Each directory starts from the defaults.
        const std::uint64_t base = base_;
        const bool big = order_.big;
        *this = TiffReader{};
        s_ = &s, base_ = base, order_.big = big;
        std::uint8_t c[2];
        if (!s.Seek(base_ + offset) || !s.ReadFull(c, 2)) return false;
        unsigned count = order_.u16(c);
        if (count == 0) return false;
        bool taken = true;
        for (unsigned i = 0; i < count && taken; ++i) {
            std::uint8_t raw[12];
            if (!s.ReadFull(raw, 12)) return false;
            std::uint64_t next = s.Position();
            taken = take(ParseEntry(raw, order_));
            if (!s.Seek(next) && i + 1 < count) return false;
        }
        if (taken) return true;
        std::uint8_t n[4];
        if (!s.Seek(base_ + offset + 2 + 12 * std::uint64_t(count)) || !s.ReadFull(n, 4)) return false;
        offset = order_.u32(n);
        if (offset == 0) break;
    }
    width_ = height_ = 0; // no image directory
    return false;
}

bool TiffReader::take(const DirEntry& e)
{
    auto number = [&] { return e.type == 3 || e.type == 4 ? e.value : 0u; };
    switch (e.tag) {
    case 254:
        new_subfile_ = number();
        return new_subfile_ == 0 || new_subfile_ == 2;
    case 256: width_ = number(); break;
    case 257: height_ = number(); break;
    case 258:
        if (e.count == 1) {
            bits_[0] = number();
        } else if (e.count == 3) {
            std::uint8_t b[6];
            if (!s_->Seek(base_ + e.value) || !s_->ReadFull(b, 6)) return false;
            for (int i = 0; i < 3; ++i) bits_[i] = order_.u16(b + 2 * i);
        } else {
            return false;
        }
        break;
    case 259: compression_ = number(); break;
    case 262: photometric_ = number(); break;
    case 266: fill_order_ = number(); break;
    case 273: strip_offsets_count_ = e.count, strip_offsets_ = order_.u32(e.raw), strip_offsets_type_ = e.type; break;
    case 277:
        samples_ = number();
        return samples_ == 1 || samples_ == 3;
    case 278: rows_per_strip_ = number(); break;
    case 279: strip_counts_count_ = e.count, strip_counts_ = order_.u32(e.raw), strip_counts_type_ = e.type; break;
    case 284: return number() == 1;
    case 292: t4_options_ = number(); break;
    case 293: t6_options_ = number(); break;
    case 297:
        page_ = order_.u16(e.raw);
        page_count_ = order_.u16(e.raw + 2);
        break;
    case 317: predictor_ = number(); break;
    case 320: {
        if (bits_[0] < 1 || bits_[0] > 8 || e.count > 768 || e.count < 3) break;
        std::uint8_t b[768 * 2];
        std::uint32_t n = e.count / 3;
        if (!s_->Seek(base_ + e.value) || !s_->ReadFull(b, e.count * 2)) break;
        for (std::uint32_t i = 0; i < n; ++i)
            for (int c = 0; c < 3; ++c) palette_[i][c] = std::uint8_t(order_.u16(b + 2 * (c * n + i)) / 257);
        has_colormap_ = true;
        break;
    }
    }
    return true;
}

Palette TiffReader::GetPalette() const
{
    if ((photometric_ == 0 || photometric_ == 1) && samples_ == 1 && bits_[0] == 1) return {{0, 0, 0}, {255, 255, 255}};
    if (photometric_ == 3 && samples_ == 1 && (bits_[0] == 4 || bits_[0] == 8))
        return Palette(palette_.begin(), palette_.begin() + (1 << bits_[0]));
    return {};
}

// ---- decoding -------------------------------------------------------------------

namespace {

enum class Format { None, Bilevel, Grey, Palette, Rgb };

// Takes a row's raw bytes (or, for CCITT, its runs) and writes the pixels
// that land on the target as blue, green, red.
struct RowSink {
    const gdi::Section& t;
    std::int64_t x = 0, y = 0;
    std::uint32_t width = 0;
    Format format = Format::None;
    int bits = 8;
    bool white_is_zero = false;
    bool predictor = false;
    const std::array<std::array<std::uint8_t, 3>, 256>* palette = nullptr;

    std::uint64_t row_bytes = 0;
    std::int64_t row = 0;
    std::uint64_t at = 0; // bytes of the current row taken
    std::int64_t col = 0;
    std::uint8_t* out = nullptr;
    std::uint8_t prev[3] = {0, 0, 0};
    std::uint8_t rgb[3] = {0, 0, 0};
    int channel = 0;

    void begin(std::int64_t r)
    {
        row = r;
        at = 0;
        col = 0;
        channel = 0;
        prev[0] = prev[1] = prev[2] = 0;
        std::int64_t ty = y + r;
        out = ty >= 0 && ty < t.height ? t.row(int(ty)) : nullptr;
    }
    bool full() const { return at >= row_bytes; }

    void pixel(std::uint8_t r, std::uint8_t g, std::uint8_t b)
    {
        std::int64_t tx = x + col++;
        if (out && tx >= 0 && tx < t.width) {
            std::uint8_t* p = out + tx * 3;
            p[0] = b, p[1] = g, p[2] = r;
        }
    }
    void sample(unsigned v)
    {
        switch (format) {
        case Format::Grey: {
            unsigned g = bits == 4 ? v * 17 : v;
            if (white_is_zero) g = 255 - g;
            pixel(std::uint8_t(g), std::uint8_t(g), std::uint8_t(g));
            break;
        }
        case Format::Palette: {
            const auto& c = (*palette)[v & 255];
            pixel(c[0], c[1], c[2]);
            break;
        }
        default: break;
        }
    }
    // Raw bytes of the row, up to its end.
    void put_span(const std::uint8_t* p, std::size_t n)
    {
        if (format != Format::Rgb) {
            for (std::size_t i = 0; i < n; ++i) put(p[i]);
            return;
        }
        n = std::size_t(std::min<std::uint64_t>(n, row_bytes - at));
        at += n;
        std::size_t i = 0;
        // Whole pixels of a visible row straight into it.
        if (channel == 0 && out) {
            std::int64_t tx = x + col;
            std::size_t whole = std::min<std::uint64_t>(n / 3, std::uint64_t(std::max<std::int64_t>(0, t.width - tx)));
            if (tx >= 0 && col + std::int64_t(whole) <= std::int64_t(width)) {
                std::uint8_t* q = out + tx * 3;
                for (std::size_t k = 0; k < whole; ++k, i += 3, q += 3) {
                    std::uint8_t r = p[i], g = p[i + 1], b = p[i + 2];
                    if (predictor) r = prev[0] = std::uint8_t(r + prev[0]), g = prev[1] = std::uint8_t(g + prev[1]), b = prev[2] = std::uint8_t(b + prev[2]);
                    q[0] = b, q[1] = g, q[2] = r;
                }
                col += std::int64_t(whole);
            }
        }
        for (; i < n; ++i) {
            std::uint8_t b = p[i];
            if (predictor) b = std::uint8_t(b + prev[channel]), prev[channel] = b;
            rgb[channel] = b;
            if (++channel == 3) {
                channel = 0;
                if (col < width) pixel(rgb[0], rgb[1], rgb[2]);
            }
        }
    }
    // One raw byte of the row.
    void put(std::uint8_t b)
    {
        if (at >= row_bytes) return;
        if (format == Format::Rgb) return put_span(&b, 1);
        ++at;
        if (bits == 8) {
            if (predictor) b = std::uint8_t(b + prev[0]), prev[0] = b;
            if (col < width) sample(b);
            return;
        }
        if (bits == 4) {
            unsigned hi = b >> 4, lo = b & 15;
            if (predictor) hi = (hi + prev[0]) & 15, lo = (lo + hi) & 15, prev[0] = std::uint8_t(lo);
            if (col < width) sample(hi);
            if (col < width) sample(lo);
            return;
        }
        // Bilevel: most significant bit first; a 1 is black when white is zero.
        for (int i = 7; i >= 0 && col < width; --i) {
            bool one = (b >> i) & 1;
            std::uint8_t v = (one != white_is_zero) ? 255 : 0;
            pixel(v, v, v);
        }
    }
    // A CCITT run: `white_coded` pixels are white when white is zero.
    void run(bool white_coded, std::int64_t n)
    {
        std::uint8_t v = (white_coded == white_is_zero) ? 255 : 0;
        std::int64_t tx = x + col;
        std::int64_t from = std::max<std::int64_t>(tx, 0), to = std::min<std::int64_t>(tx + n, t.width);
        if (out)
            for (std::int64_t i = from; i < to; ++i) out[i * 3] = out[i * 3 + 1] = out[i * 3 + 2] = v;
        col += n;
    }
};

// TIFF LZW: codes most significant bit first, 256 clears, 257 ends, the
// code width grows early (at 511, 1023 and 2047). Strings are decoded in
// batches into a buffer and handed to the row together.
class Lzw {
public:
    Lzw(const std::uint8_t* data, std::size_t size) : bits_(data, size) { clear(); }
    // Feeds the sink until its row is full; false when the strip ends first.
    bool Row(RowSink& sink)
    {
        while (!sink.full()) {
            if (pend_at_ == pend_len_) {
                // Decode whole strings until the row's need (at most 4096 bytes) is met.
                pend_at_ = pend_len_ = 0;
                std::uint64_t need = std::min<std::uint64_t>(sink.row_bytes - sink.at, 4096);
                while (pend_len_ < need)
                    if (!next()) {
                        sink.put_span(out_, pend_len_);
                        return false;
                    }
            }
            std::size_t n = std::size_t(std::min<std::uint64_t>(pend_len_ - pend_at_, sink.row_bytes - sink.at));
            sink.put_span(out_ + pend_at_, n);
            pend_at_ += n;
        }
        return true;
    }

private:
    void clear()
    {
        next_ = 258;
        width_ = 9;
        prev_ = -1;
    }
    // Decodes one code onto the end of the buffer.
    bool next()
    {
        for (;;) {
            if (bits_.Exhausted()) return false;
            int code = int(bits_.Peek(width_));
            bits_.Skip(width_);
            if (bits_.Overrun()) return false;
            if (code == 256) {
                clear();
                continue;
            }
            if (code == 257) return false;
            std::uint8_t* at = out_ + pend_len_;
            if (code < 256 || code < next_) {
                pend_len_ += expand(code, at);
                if (prev_ >= 0) add(prev_, at[0]);
            } else if (code == next_ && prev_ >= 0) {
                std::size_t len = expand(prev_, at);
                at[len] = at[0];
                pend_len_ += len + 1;
                add(prev_, at[0]);
            } else {
                return false; // a code above the next free one
            }
            prev_ = code;
            return true;
        }
    }
    std::size_t expand(int code, std::uint8_t* to)
    {
        if (code < 256) {
            to[0] = std::uint8_t(code);
            return 1;
        }
        std::size_t len = length_[code];
        std::uint8_t* p = to + len;
        while (code >= 256) {
            *--p = suffix_[code];
            code = prefix_[code];
        }
        *--p = std::uint8_t(code);
        return len;
    }
    void add(int prefix, std::uint8_t suffix)
    {
        if (next_ >= 4096) return;
        prefix_[next_] = std::uint16_t(prefix);
        suffix_[next_] = suffix;
        length_[next_] = std::uint16_t((prefix < 256 ? 1 : length_[prefix]) + 1);
        ++next_;
        if (next_ == 511) width_ = 10;
        else if (next_ == 1023) width_ = 11;
        else if (next_ == 2047) width_ = 12;
    }

    BitReader bits_;
    int next_ = 258, width_ = 9, prev_ = -1;
    std::uint16_t prefix_[4096] = {};
    std::uint8_t suffix_[4096] = {};
    std::uint16_t length_[4096] = {};
    std::uint8_t out_[4096 + 4097] = {}; // a batch of up to 4096 bytes plus one longest string
    std::size_t pend_len_ = 0, pend_at_ = 0;
};

} // namespace

struct TiffReader::State {
    HeapBuffer strip;
    std::size_t size = 0, pos = 0;
};

bool TiffReader::Decode(const gdi::Section& target, int x, int y)
{
    if (!HasSize() || !s_) return false;
    const std::int64_t W = width_, H = height_;
    if (x >= target.width || y >= target.height || std::int64_t(x) + W <= 0 || std::int64_t(y) + H <= 0) return false;
    if (strip_offsets_count_ == 0 || strip_offsets_count_ != strip_counts_count_) return false;

    RowSink sink{target};
    sink.x = x, sink.y = y, sink.width = width_;
    sink.palette = &palette_;
    const bool one = samples_ == 1;
    if ((photometric_ == 0 || photometric_ == 1) && one && bits_[0] == 1) sink.format = Format::Bilevel, sink.bits = 1;
    else if ((photometric_ == 0 || photometric_ == 1) && one && (bits_[0] == 4 || bits_[0] == 8)) sink.format = Format::Grey, sink.bits = int(bits_[0]);
    else if (photometric_ == 3 && one && (bits_[0] == 4 || bits_[0] == 8)) sink.format = Format::Palette, sink.bits = int(bits_[0]);
    else if (photometric_ == 2 && samples_ == 3 && bits_[0] == 8 && bits_[1] == 8 && bits_[2] == 8) sink.format = Format::Rgb;
    else return false;
    sink.white_is_zero = photometric_ == 0;
    sink.predictor = compression_ == 5 && predictor_ == 2;
    sink.row_bytes = (std::uint64_t(W) * samples_ * std::uint64_t(sink.bits) + 7) / 8;
    const bool ccitt = compression_ == 2 || compression_ == 3 || compression_ == 4;
    if (ccitt && sink.format != Format::Bilevel) return false;
    if (compression_ != 1 && compression_ != 5 && compression_ != 32773 && !ccitt) return false;

    // Rows per strip: absent or 0 means one strip.
    const std::int64_t per_strip = rows_per_strip_ ? rows_per_strip_ : H;
    const std::int64_t last = std::min<std::int64_t>(H, std::int64_t(target.height) - y); // rows after it are not decoded
    auto entry = [&](std::uint32_t count, std::uint32_t value, std::uint32_t type, std::uint32_t raw, std::uint32_t i,
                     std::uint64_t* out) {
        std::uint32_t size = type == 3 ? 2 : 4;
        if (std::uint64_t(count) * size <= 4) {
            std::uint8_t b[4];
            // The value field's bytes in file order.
            if (order_.big) b[0] = std::uint8_t(raw >> 24), b[1] = std::uint8_t(raw >> 16), b[2] = std::uint8_t(raw >> 8), b[3] = std::uint8_t(raw);
            else b[0] = std::uint8_t(raw), b[1] = std::uint8_t(raw >> 8), b[2] = std::uint8_t(raw >> 16), b[3] = std::uint8_t(raw >> 24);
            *out = size == 2 ? order_.u16(b + 2 * i) : order_.u32(b);
            return true;
        }
        std::uint8_t b[4];
        if (!s_->Seek(base_ + value + std::uint64_t(i) * size) || !s_->ReadFull(b, size)) return false;
        *out = size == 2 ? order_.u16(b) : order_.u32(b);
        return true;
    };
    HeapBuffer strip;
    std::vector<std::uint32_t> changes;
    std::int64_t row = 0;
    for (std::uint32_t k = 0; k < strip_offsets_count_ && row < last; ++k) {
        std::uint64_t offset = 0, count = 0;
        if (!entry(strip_offsets_count_, strip_offsets_, strip_offsets_type_, strip_offsets_, k, &offset) ||
            !entry(strip_counts_count_, strip_counts_, strip_counts_type_, strip_counts_, k, &count))
            return false;
        // The strip must lie within the stream before it is read.
        if (count == 0 || base_ + offset + count > s_->Size()) return false;
        if (!strip.Resize(std::size_t(count) + 4) || !s_->Seek(base_ + offset) ||
            !s_->ReadFull(strip.data(), std::uint32_t(count)))
            return false;
        std::memset(strip.data() + count, 0, 4);
        if (ccitt && fill_order_ == 2)
            for (std::uint64_t i = 0; i < count; ++i) {
                std::uint8_t b = strip.data()[i], r = 0;
                for (int j = 0; j < 8; ++j) r = std::uint8_t(r << 1 | ((b >> j) & 1));
                strip.data()[i] = r;
            }
        const std::int64_t end = std::min(last, row + per_strip);
        const std::uint8_t* data = strip.data();
        if (compression_ == 1) {
            std::uint64_t pos = 0;
            for (; row < end; ++row) {
                sink.begin(row);
                while (!sink.full() && pos < count) sink.put(data[pos++]);
                if (!sink.full()) return false;
            }
        } else if (compression_ == 32773) {
            std::uint64_t pos = 0;
            for (; row < end; ++row) {
                sink.begin(row);
                while (!sink.full()) {
                    if (pos >= count) return false;
                    int n = std::int8_t(data[pos++]);
                    if (n >= 0) {
                        for (int i = 0; i <= n && pos < count; ++i) sink.put(data[pos++]); // put stops at the row's end
                    } else if (n != -128) {
                        if (pos >= count) return false;
                        std::uint8_t v = data[pos++];
                        for (int i = 0; i < 1 - n; ++i) sink.put(v);
                    }
                }
            }
        } else if (compression_ == 5) {
            auto lzw = std::make_unique<Lzw>(data, std::size_t(count));
            for (; row < end; ++row) {
                sink.begin(row);
                if (!lzw->Row(sink)) return false;
            }
        } else {
            CcittMode mode = compression_ == 2 ? CcittMode::ModifiedHuffman : compression_ == 3 ? CcittMode::T4 : CcittMode::T6;
            CcittDecoder dec(mode, compression_ == 3 && (t4_options_ & 1), width_);
            dec.StartStrip();
            BitReader bits(data, std::size_t(count));
            for (; row < end; ++row) {
                if (!dec.Row(bits, changes)) return false;
                sink.begin(row);
                std::int64_t a = 0;
                bool white = true;
                for (std::uint32_t c : changes) {
                    if (c > a) sink.run(white, c - a), a = c;
                    white = !white;
                }
                if (a < W) sink.run(true, W - a); // a short row ends in white
            }
        }
    }
    return true;
}

} // namespace glimmerax
