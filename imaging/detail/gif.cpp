// GIF: the LZW encoder and decoder, the single-image writers, the reader
// that composes every image of a file into the target, and the animation
// track.
#include "imaging/detail/image_object.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace glimmerax {
namespace gdi = platform::gdi;

namespace {

constexpr int kPassStart[4] = {0, 4, 2, 1}, kPassStep[4] = {8, 8, 4, 2};

// The image row of the k-th row stored, in interlace pass order.
int interlaced_row(int k, int h)
{
    for (int p = 0; p < 4; ++p) {
        int n = h > kPassStart[p] ? (h - kPassStart[p] + kPassStep[p] - 1) / kPassStep[p] : 0;
        if (k < n) return kPassStart[p] + k * kPassStep[p];
        k -= n;
    }
    return h;
}

// The encoded file, its room doubling from 32 KiB (growing by a fixed step
// would copy what is written once per step).
struct Out {
    std::vector<std::uint8_t> b;
    void grow(std::size_t need) { b.reserve(std::max<std::size_t>({need, 2 * b.capacity(), 32768})); }
    void put(std::uint8_t v)
    {
        if (b.size() == b.capacity()) grow(b.size() + 1);
        b.push_back(v);
    }
    void put(const std::uint8_t* p, std::size_t n)
    {
        const std::size_t need = b.size() + n;
        if (need > b.capacity()) grow(need);
        b.insert(b.end(), p, p + n);
    }
    void put(std::initializer_list<std::uint8_t> v) { put(v.begin(), v.size()); }
    void le16(unsigned v) { put({std::uint8_t(v), std::uint8_t(v >> 8)}); }
};

class LzwEncoder {
public:
    LzwEncoder(Out& out, int n) : out_(out), n_(n)
    {
        out_.put(std::uint8_t(n));
        clear_ = 1 << n;
        restart();
        emit(clear_);
    }
    void add(int k)
    {
        if (prefix_ == kNone) {
            prefix_ = k;
            return;
        }
        std::uint32_t key = std::uint32_t(prefix_) << 8 | std::uint32_t(k);
        // Spreads neighbouring strings over the table; at most a quarter of
        // it is in use, so a search seldom goes past its first slot.
        std::uint32_t h = (key * 0x9E3779B1u) >> (32 - kSlotBits);
        while (table_[h] != kEmpty) {
            if (table_[h] >> 12 == key) {
                prefix_ = int(table_[h] & 0xFFF);
                return;
            }
            h = (h + 1) & (kSlots - 1);
        }
        emit(prefix_);
        prefix_ = k;
        if (next_ < 4095) {
            table_[h] = key << 12 | std::uint32_t(next_++);
        } else {
            emit(clear_);
            restart();
        }
    }
    void finish()
    {
        if (prefix_ != kNone) emit(prefix_);
        emit(clear_ + 1);
        if (nbits_ > 0) byte(std::uint8_t(acc_));
        if (used_ > 1) flush();
        out_.put(0);
    }

private:
    static constexpr int kNone = 4097;
    static constexpr int kSlotBits = 14, kSlots = 1 << kSlotBits;
    static constexpr std::uint32_t kEmpty = 0xFFFFFFFF;
    void restart()
    {
        next_ = clear_ + 2;
        width_ = n_ + 1;
        limit_ = 1 << width_;
        std::fill(std::begin(table_), std::end(table_), kEmpty);
    }
    void emit(int code)
    {
        acc_ |= std::uint32_t(code) << nbits_;
        nbits_ += width_;
        while (nbits_ >= 8) {
            byte(std::uint8_t(acc_));
            acc_ >>= 8;
            nbits_ -= 8;
        }
        if (next_ >= limit_ && width_ < 12) {
            ++width_;
            limit_ <<= 1;
        }
    }
    // Data sub-blocks: a length byte and up to 255 bytes.
    void byte(std::uint8_t v)
    {
        block_[used_++] = v;
        if (used_ == 256) flush();
    }
    void flush()
    {
        block_[0] = std::uint8_t(used_ - 1);
        out_.put(block_, used_);
        used_ = 1;
    }
    Out& out_;
    int n_, clear_ = 4, next_ = 0, width_ = 0, limit_ = 0, prefix_ = kNone;
    std::uint32_t acc_ = 0;
    int nbits_ = 0;
    std::uint8_t block_[256];
    std::size_t used_ = 1;
    std::uint32_t table_[kSlots];
};

int bits_for(int entries)
{
    int j = 1;
    while (j < 8 && (1 << j) < entries) ++j;
    return j;
}

void screen(Out& o, int w, int h, int j, int bg, const std::array<std::array<std::uint8_t, 3>, 256>& pal)
{
    for (char c : std::string("GIF89a")) o.put(std::uint8_t(c));
    o.le16(unsigned(w)), o.le16(unsigned(h));
    o.put({std::uint8_t(0x80 | (j - 1) << 4 | (j - 1)), std::uint8_t(bg), 0});
    for (int i = 0; i < (1 << j); ++i) o.put({pal[std::size_t(i)][0], pal[std::size_t(i)][1], pal[std::size_t(i)][2]});
}

// Reads the stream a byte at a time through a buffer; -1 at the end.
class ByteSource {
public:
    explicit ByteSource(ImageStream& s) : s_(s) {}
    int get()
    {
        if (at_ == got_) {
            at_ = got_ = 0;
            if (!s_.Read(buf_, sizeof buf_, &got_) || got_ == 0) return -1;
        }
        return buf_[at_++];
    }
    bool read(std::uint8_t* p, int n)
    {
        for (int i = 0; i < n; ++i) {
            int c = get();
            if (c < 0) return false;
            p[i] = std::uint8_t(c);
        }
        return true;
    }
    // Skips data sub-blocks up to the terminator.
    void skip_blocks()
    {
        for (int n; (n = get()) > 0;)
            for (int i = 0; i < n; ++i)
                if (get() < 0) return;
    }

private:
    ImageStream& s_;
    std::uint8_t buf_[4096];
    std::uint32_t at_ = 0, got_ = 0;
};

// Decodes one image's code stream, handing its indexes to `put` in order,
// a string at a time (pointer, count). Every code is read even when no more
// pixels are wanted.
template <class Put> void lzw_decode(ByteSource& in, int n, Put&& put)
{
    std::vector<std::uint16_t> prefix(4096, 4098);
    std::vector<std::uint8_t> suffix(4096), text(4097);
    const std::size_t end_of_text = text.size(); // a string is built last byte first, from the end
    const int clear = 1 << n, end = clear + 1;
    for (int i = 0; i < clear; ++i) suffix[std::size_t(i)] = std::uint8_t(i);
    int next = clear + 2, width = n + 1, prev = -1;
    std::uint8_t first = 0;
    std::uint32_t acc = 0;
    int nbits = 0, left = 0;
    bool done = false;
    for (;;) {
        while (nbits < width) {
            if (left == 0) {
                left = in.get();
                if (left <= 0) return; // the end of the data or the block terminator
            }
            int c = in.get();
            if (c < 0) return;
            --left;
            acc |= std::uint32_t(c) << nbits;
            nbits += 8;
        }
        int code = int(acc & ((1u << width) - 1));
        acc >>= width;
        nbits -= width;
        if (done) continue;
        if (code == clear) {
            next = clear + 2, width = n + 1, prev = -1;
            continue;
        }
        if (code == end) {
            done = true;
            continue;
        }
        // A code past the table, or the next free code with nothing before, ends the image.
        if (code > next || (code == next && prev < 0)) {
            done = true;
            continue;
        }
        std::size_t at = end_of_text;
        int c = code;
        if (code == next) {
            text[--at] = first;
            c = prev;
        }
        while (c >= clear) {
            text[--at] = suffix[std::size_t(c)];
            c = prefix[std::size_t(c)];
        }
        first = std::uint8_t(c);
        text[--at] = first;
        put(&text[at], end_of_text - at);
        if (prev >= 0 && next < 4096) {
            prefix[std::size_t(next)] = std::uint16_t(prev);
            suffix[std::size_t(next)] = first;
            ++next;
        }
        if (next >= (1 << width) && width < 12) ++width;
        prev = code;
    }
}

} // namespace

int GifRead(ImageStream& s, const gdi::Section& t, int x, int y, bool transparency, Palette* palette, int* frames)
{
    *frames = 0;
    palette->clear();
    ByteSource in(s);
    std::uint8_t head[13];
    if (!in.read(head, 13) || (std::memcmp(head, "GIF87a", 6) && std::memcmp(head, "GIF89a", 6))) return 0;
    const int sw = head[6] | head[7] << 8, sh = head[8] | head[9] << 8;
    std::array<std::array<std::uint8_t, 3>, 256> global{}; // entries past the table read as black
    const bool has_global = head[10] & 0x80;
    int count = 2;
    if (has_global) {
        count = 2 << (head[10] & 7);
        for (int i = 0; i < count; ++i) in.read(global[std::size_t(i)].data(), 3);
        palette->assign(global.begin(), global.begin() + count);
    } else {
        global[1] = {255, 255, 255};
        *palette = {{0, 0, 0}, {255, 255, 255}};
    }
    // The part of the screen that lies on the target.
    const int cx0 = std::max(0, x), cy0 = std::max(0, y);
    const int cx1 = int(std::min<std::int64_t>(t.width, std::int64_t(x) + sw)), cy1 = int(std::min<std::int64_t>(t.height, std::int64_t(y) + sh));
    if (cx0 >= cx1 || cy0 >= cy1) return count;
    const int cw = cx1 - cx0;
    std::vector<std::uint8_t> comp(std::size_t(cw) * std::size_t(cy1 - cy0) * 3);
    for (int ty = cy0; ty < cy1; ++ty) std::memcpy(&comp[std::size_t(ty - cy0) * std::size_t(cw) * 3], t.row(ty) + cx0 * 3, std::size_t(cw) * 3);
    if (has_global) {
        const auto& bg = global[head[11]];
        for (int ty = cy0; ty < cy1; ++ty)
            for (int tx = cx0; tx < cx1; ++tx) {
                std::uint8_t* q = t.row(ty) + tx * 3;
                q[0] = bg[2], q[1] = bg[1], q[2] = bg[0];
            }
    }
    int transparent = -1;
    for (;;) {
        int c = in.get();
        if (c < 0 || c == 0x3B) break;
        if (c == 0x21) {
            int label = in.get();
            if (label == 0xF9) {
                std::uint8_t g[6];
                if (!in.read(g, 6)) break;
                transparent = (g[1] & 1) && transparency ? g[4] : -1;
            } else if (label >= 0) {
                in.skip_blocks();
            }
            continue;
        }
        if (c != 0x2C) continue;
        std::uint8_t d[9];
        if (!in.read(d, 9)) break;
        const int left = d[0] | d[1] << 8, top = d[2] | d[3] << 8, iw = d[4] | d[5] << 8, ih = d[6] | d[7] << 8;
        auto pal = global;
        if (d[8] & 0x80) {
            pal = {};
            for (int i = 0; i < (2 << (d[8] & 7)); ++i) in.read(pal[std::size_t(i)].data(), 3);
        }
        const bool interlaced = d[8] & 0x40;
        const int trans = transparent;
        transparent = -1; // for the next image only
        ++*frames;
        int n = in.get();
        if (n < 2 || n > 8) {
            in.skip_blocks();
            continue;
        }
        // The image's current row and column; rows are mapped through the
        // interlace passes once per row.
        int col = 0, stored = 0, r = interlaced ? interlaced_row(0, ih) : 0;
        std::uint8_t* q = nullptr;
        std::uint8_t* b = nullptr;
        auto start_row = [&] {
            const std::int64_t ty = std::int64_t(y) + top + r;
            const bool on = r < ih && top + r < sh && ty >= cy0 && ty < cy1;
            q = on ? t.row(int(ty)) : nullptr;
            b = on ? &comp[std::size_t(ty - cy0) * std::size_t(cw) * 3] : nullptr;
        };
        start_row();
        const std::int64_t xoff = std::int64_t(x) + left;
        // Pixels go into the composition only. Once drawn, a target pixel
        // equals its composition pixel (a transparent one shows what is
        // there), so a row's drawn span is copied over when the row ends.
        auto copy_row = [&](int columns) {
            if (!q) return;
            const std::int64_t from = std::max<std::int64_t>(cx0, xoff);
            const std::int64_t to = std::min<std::int64_t>(cx1, xoff + std::min(columns, sw - left));
            if (from < to) std::memcpy(q + from * 3, b + (from - cx0) * 3, std::size_t(to - from) * 3);
        };
        auto end_row = [&] {
            copy_row(iw);
            col = 0;
            ++stored;
            r = interlaced ? interlaced_row(stored, ih) : stored;
            start_row();
        };
        // The columns of a row that lie on the screen and the target.
        const std::int64_t on_from = std::max<std::int64_t>(0, cx0 - xoff);
        const std::int64_t on_to = std::min<std::int64_t>(std::int64_t(sw) - left, cx1 - xoff);
        lzw_decode(in, n, [&](const std::uint8_t* v, std::size_t count) {
            if (iw == 0) { // every index is a row of its own
                for (std::size_t k = 0; k < count && stored < ih; ++k) {
                    const std::int64_t tx = xoff + col;
                    if (q && v[k] != trans && left + col < sw && tx >= cx0 && tx < cx1) {
                        std::uint8_t* pb = b + (tx - cx0) * 3;
                        const auto& e = pal[v[k]];
                        pb[0] = e[2], pb[1] = e[1], pb[2] = e[0];
                    }
                    end_row();
                }
                return;
            }
            while (count > 0 && stored < ih) {
                // The part of the string that falls in this row.
                const int m = int(std::min<std::size_t>(count, std::size_t(iw - col)));
                if (q) {
                    const std::int64_t from = std::max<std::int64_t>(col, on_from);
                    const std::int64_t to = std::min<std::int64_t>(col + m, on_to);
                    for (std::int64_t i = from; i < to; ++i) {
                        const std::uint8_t x = v[i - col];
                        if (x == trans) continue;
                        std::uint8_t* pb = b + (xoff + i - cx0) * 3;
                        const auto& e = pal[x];
                        pb[0] = e[2], pb[1] = e[1], pb[2] = e[0];
                    }
                }
                v += m, count -= std::size_t(m);
                if ((col += m) >= iw) end_row();
            }
        });
        if (stored < ih) copy_row(col); // the data ended inside a row
    }
    return count;
}

ExactIndex::ExactIndex(const std::array<std::uint8_t, 3>* entries, int n)
{
    keys_.fill(kEmpty);
    // From the last entry to the first, so the first of a colour wins.
    for (int i = std::min(n, 256) - 1; i >= 0; --i) {
        const std::uint32_t k = key(entries[i][0], entries[i][1], entries[i][2]);
        std::uint32_t h = slot(k);
        while (keys_[h] != kEmpty && keys_[h] != k) h = (h + 1) & (kSlots - 1);
        keys_[h] = k;
        index_[h] = std::uint8_t(i);
    }
}

// The GIF of a canvas rectangle (x1, y1)-(x2, y2) inclusive.
static std::vector<std::uint8_t> gif_of(const ImageObject& o, const gdi::Section& c, int tr, bool inter, int x1, int y1,
                                        int x2, int y2)
{
    const int w = x2 - x1 + 1, h = y2 - y1 + 1, j = bits_for(o.palette_size_);
    ExactIndex index(o.palette_.data(), o.palette_size_);
    Out out;
    screen(out, w, h, j, 0, o.palette_);
    if (tr >= 0) out.put({0x21, 0xF9, 4, 0x05, 0, 0, std::uint8_t(tr), 0});
    out.put(0x2C), out.le16(0), out.le16(0), out.le16(unsigned(w)), out.le16(unsigned(h));
    out.put(inter ? 0x40 : 0);
    LzwEncoder lzw(out, std::max(j, 2));
    for (int k = 0; k < h; ++k) {
        int r = inter ? interlaced_row(k, h) : k;
        const std::uint8_t* p = c.row(y1 + r) + x1 * 3;
        for (int i = 0; i < w; ++i) lzw.add(index(p + i * 3));
    }
    lzw.finish();
    out.put(0x3B);
    return std::move(out.b);
}

// GifPartialImage(tr, inter, fileName, x1Var, y1Var, x2Var, y2Var, res[out]);
// GifImage(tr, inter, fileName, res[out]) is the whole canvas.
void ImageObject::GifPartialImage(Args& a, bool whole)
{
    gdi::Section c;
    if (!CanvasSection(&c)) return;
    int x1 = 0, y1 = 0, x2 = width_ - 1, y2 = height_ - 1;
    if (!whole) x1 = Num(a[3]), y1 = Num(a[4]), x2 = Num(a[5]), y2 = Num(a[6]);
    if (x2 < x1 || y2 < y1 || x1 < 0 || y1 < 0 || x2 >= width_ || y2 >= height_) return;
    gdi::GdiFlush();
    std::int32_t tr = Num(a[0]);
    WriteOut(a[2], a[whole ? 3 : 7], gif_of(*this, c, tr < 0 ? -1 : tr & 0xFF, Num(a[1]) != 0, x1, y1, x2, y2), true);
}

// TrackAdd(varTran, varXDecl, varYDecl, varX, varY, varWidth, varHeight, varTime, varDisposal)
void ImageObject::TrackAdd(Args& a)
{
    gdi::Section c;
    if (!CanvasSection(&c)) return;
    if (track_.frames.empty()) {
        track_.width = width_, track_.height = height_;
        track_.palette = palette_, track_.entries = palette_size_;
    }
    GifFrame f;
    f.left = Num(a[1]), f.top = Num(a[2]);
    int sx = Num(a[3]), sy = Num(a[4]);
    std::int64_t w = Num(a[5]), h = Num(a[6]);
    // Both corners on the screen, and the source on the canvas as it is now.
    if (f.left < 0 || f.top < 0 || f.left >= track_.width || f.top >= track_.height) return;
    if (sx < 0 || sy < 0 || sx >= std::min(track_.width, width_) || sy >= std::min(track_.height, height_)) return;
    w = std::min({w, std::int64_t(track_.width - f.left), std::int64_t(track_.width - sx), std::int64_t(width_ - sx)});
    h = std::min({h, std::int64_t(track_.height - f.top), std::int64_t(track_.height - sy), std::int64_t(height_ - sy)});
    if (w < 1 || h < 1) return; // a frame left empty is not added
    f.width = int(w), f.height = int(h);
    f.delay = Num(arg(a, 7));
    std::string d;
    Text(arg(a, 8), &d);
    f.disposal = d == "LEAVE" ? 1 : d == "BACKGROUND" ? 2 : d == "PREVIOUS" ? 3 : 0;
    f.transparent = Num(a[0]);
    ExactIndex index(track_.palette.data(), track_.entries);
    f.pixels.reserve(std::size_t(w * h));
    for (int r = 0; r < h; ++r)
        for (int i = 0; i < w; ++i) f.pixels.push_back(index(c.row(sy + r) + (sx + i) * 3));
    track_.frames.push_back(std::move(f));
}

// TrackPlay(varFile, varBgColor, res[out])
void ImageObject::TrackPlay(Args& a)
{
    if (track_.frames.empty()) return;
    const int j = bits_for(track_.entries);
    Out out;
    screen(out, track_.width, track_.height, j, Num(a[1]) & 0xFF, track_.palette);
    if (track_.loop) {
        out.put({0x21, 0xFF, 0x0B});
        for (char ch : std::string("NETSCAPE2.0")) out.put(std::uint8_t(ch));
        out.put({3, 1}), out.le16(track_.loop_count), out.put(0);
    }
    for (const GifFrame& f : track_.frames) {
        const bool t = f.transparent >= 0;
        out.put({0x21, 0xF9, 4, std::uint8_t(f.disposal << 2 | (t ? 1 : 0))});
        out.le16(unsigned(f.delay));
        out.put({std::uint8_t(t ? f.transparent : 0), 0, 0x2C});
        out.le16(unsigned(f.left)), out.le16(unsigned(f.top)), out.le16(unsigned(f.width)), out.le16(unsigned(f.height));
        out.put(0);
        LzwEncoder lzw(out, std::max(j, 2));
        for (auto v : f.pixels) lzw.add(v);
        lzw.finish();
    }
    out.put(0x3B);
    WriteOut(a[0], a[2], std::move(out.b), true);
}

} // namespace glimmerax
