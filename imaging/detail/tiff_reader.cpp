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
        // A pixel that the last span began, byte by byte.
        while (channel != 0 && i < n) take(p[i++]);
        // Whole pixels that land on a visible row, straight into it.
        const std::int64_t tx = x + col;
        if (out && tx >= 0 && tx < t.width && col < std::int64_t(width)) {
            const std::size_t whole = std::size_t(std::min<std::int64_t>(
                {std::int64_t((n - i) / 3), std::int64_t(t.width) - tx, std::int64_t(width) - col}));
            std::uint8_t* q = out + tx * 3;
            const std::uint8_t* from = p + i;
            // The running sums in locals: stores through q may alias the members.
            if (predictor) {
                std::uint8_t r = prev[0], g = prev[1], b = prev[2];
                for (std::size_t k = 0; k < whole; ++k, from += 3, q += 3) {
                    r = std::uint8_t(r + from[0]), g = std::uint8_t(g + from[1]), b = std::uint8_t(b + from[2]);
                    q[0] = b, q[1] = g, q[2] = r;
                }
                prev[0] = r, prev[1] = g, prev[2] = b;
            } else {
                for (std::size_t k = 0; k < whole; ++k, from += 3, q += 3) q[0] = from[2], q[1] = from[1], q[2] = from[0];
            }
            i += whole * 3;
            col += std::int64_t(whole);
        }
        // The rest (pixels off the target, a pixel cut by the span's end) byte by byte.
        for (; i < n; ++i) take(p[i]);
    }
    // One sample byte of an RGB row.
    void take(std::uint8_t b)
    {
        if (predictor) b = std::uint8_t(b + prev[channel]), prev[channel] = b;
        rgb[channel] = b;
        if (++channel == 3) {
            channel = 0;
            if (col < width) pixel(rgb[0], rgb[1], rgb[2]);
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
// code width grows early (at 511, 1023 and 2047).
// Strings are written one after another into a buffer that holds what was
// decoded since the last clear code, and each table entry is the place
// where its string was first written there: a code's string is one copy
// from earlier output (its prefix followed by the next string's first
// byte), not a walk back along its prefixes. The bytes are handed to the
// row as they come. Once the table is full nothing after it is referred
// to, so the buffer stops growing; it holds at most what 3838 codes of up
// to 4096 bytes each give, whatever the strip claims.
class Lzw {
public:
    // Starts a strip: its codes are data[0..size), which has 4 readable bytes after it.
    void Start(const std::uint8_t* data, std::size_t size)
    {
        bits_ = BitReader(data, size);
        clear();
        pos_ = fed_ = frozen_ = 0;
        restart_ = ended_ = false;
    }
    // Feeds the sink until its row is full; false when the strip ends first.
    bool Row(RowSink& sink)
    {
        while (!sink.full()) {
            if (fed_ == pos_) {
                if (ended_) return false;
                if (restart_) pos_ = fed_ = 0, restart_ = false;
                else if (next_ == 4096) pos_ = fed_ = frozen_; // nothing refers past here
                batch(std::size_t(std::min<std::uint64_t>(sink.row_bytes - sink.at, 1 << 16)));
                if (fed_ == pos_) continue;
            }
            const std::size_t n = std::size_t(std::min<std::uint64_t>(pos_ - fed_, sink.row_bytes - sink.at));
            sink.put_span(buf_.data() + fed_, n);
            fed_ += n;
        }
        return true;
    }

private:
    struct Entry {
        std::uint32_t offset = 0; // in buf_
        std::uint32_t length = 0;
    };
    void clear()
    {
        next_ = 258;
        width_ = 9;
        prev_len_ = 0; // no previous string
    }
    // Decodes whole strings onto the end of the buffer until `need` bytes
    // wait there. Stops early at a clear code (the buffer starts over once
    // its bytes are handed on), and for good at the end code, the end of the
    // codes or a code that cannot be decoded. The state lives in locals
    // meanwhile: the byte stores could otherwise touch any member.
    void batch(std::size_t need)
    {
        const std::size_t goal = fed_ + need;
        // The last string starts before the goal and is at most 4096 bytes
        // long; short copies may write 16 bytes past a string's start.
        if (buf_.size() < goal + 4096 + 16) {
            try {
                buf_.resize(std::max(goal + 4096 + 16, std::max<std::size_t>(buf_.size() * 2, 1 << 16)));
            } catch (const std::bad_alloc&) {
                ended_ = true;
                return;
            }
        }
        std::uint8_t* const buf = buf_.data();
        BitReader bits = bits_;
        int next = next_, width = width_;
        std::size_t pos = pos_, prev_off = prev_off_, prev_len = prev_len_;
        while (pos < goal) {
            if (bits.Exhausted()) {
                ended_ = true;
                break;
            }
            const int code = int(bits.Peek(width));
            bits.Skip(width);
            if (bits.Overrun() || code == 257) {
                ended_ = true;
                break;
            }
            if (code == 256) {
                next = 258, width = 9, prev_len = 0;
                restart_ = true;
                break;
            }
            std::size_t len;
            if (code < 256) {
                buf[pos] = std::uint8_t(code);
                len = 1;
            } else if (code < next) {
                len = table_[code].length;
                copy(buf + pos, buf + table_[code].offset, len);
            } else if (code == next && prev_len) {
                // The previous string and its own first byte.
                len = prev_len + 1;
                copy(buf + pos, buf + prev_off, prev_len);
                buf[pos + prev_len] = buf[pos];
            } else {
                ended_ = true; // a code above the next free one
                break;
            }
            if (prev_len && next < 4096) {
                // The previous string followed by this one's first byte lies right there.
                table_[next] = {std::uint32_t(prev_off), std::uint32_t(prev_len + 1)};
                ++next;
                if (next == 511) width = 10;
                else if (next == 1023) width = 11;
                else if (next == 2047) width = 12;
                else if (next == 4096) frozen_ = pos + len;
            }
            prev_off = pos, prev_len = len;
            pos += len;
        }
        bits_ = bits;
        next_ = next, width_ = width;
        pos_ = pos, prev_off_ = prev_off, prev_len_ = prev_len;
    }
    // Copies a string that ends at or before `to`. Short ones move 16 bytes
    // at once, loaded before they are stored.
    static void copy(std::uint8_t* to, const std::uint8_t* from, std::size_t len)
    {
        if (len <= 16) {
            std::uint64_t a, b;
            std::memcpy(&a, from, 8);
            std::memcpy(&b, from + 8, 8);
            std::memcpy(to, &a, 8);
            std::memcpy(to + 8, &b, 8);
        } else {
            std::memcpy(to, from, len);
        }
    }

    BitReader bits_{nullptr, 0};
    int next_ = 258, width_ = 9;
    std::size_t prev_off_ = 0, prev_len_ = 0;
    Entry table_[4096];
    std::vector<std::uint8_t> buf_;
    std::size_t pos_ = 0, fed_ = 0, frozen_ = 0;
    bool restart_ = false, ended_ = false;
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
    std::unique_ptr<Lzw> lzw;
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
            if (!lzw) lzw = std::make_unique<Lzw>();
            lzw->Start(data, std::size_t(count));
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
