#include "platform/gdi/gdi.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <mutex>
#include <tuple>
#include <string>
#include <utility>
#include <unordered_map>

namespace platform::gdi {
namespace {

struct Bitmap {
    Section section;
    Handle selected_in = 0;
};

struct Context {
    Handle bitmap = 0;
    int map_mode = MM_TEXT;
    // Drawing state.
    Pen pen;
    Brush brush;
    int x = 0, y = 0;
    int mode = GM_COMPATIBLE;
    XForm xf;
    Font font;
    std::uint32_t text_color = 0, bk_color = 0xFFFFFF;
    int bk_mode = OPAQUE, align = 0;
};

// The process's handle table: contexts and bitmaps by number.
struct Table {
    std::mutex lock;
    Handle next = 0x10000;
    std::unordered_map<Handle, Bitmap> bitmaps;
    std::unordered_map<Handle, Context> contexts;
};

// Never destroyed: objects released during exit may still free handles.
Table& table()
{
    static Table* t = new Table;
    return *t;
}

// The section a context draws on, or null.
const Section* target_of(Table& t, Handle dc)
{
    auto c = t.contexts.find(dc);
    if (c == t.contexts.end() || !c->second.bitmap) return nullptr;
    auto b = t.bitmaps.find(c->second.bitmap);
    return b == t.bitmaps.end() ? nullptr : &b->second.section;
}

void put(const Section& s, int x, int y, std::uint32_t rgb)
{
    std::uint8_t* p = s.row(y) + std::size_t(x) * 3;
    p[0] = std::uint8_t(rgb);
    p[1] = std::uint8_t(rgb >> 8);
    p[2] = std::uint8_t(rgb >> 16);
}

// One channel of a bit-field pixel scaled to eight bits.
std::uint32_t field(std::uint32_t v, std::uint32_t mask)
{
    if (!mask) return 0;
    int shift = 0, width = 0;
    while (!((mask >> shift) & 1)) ++shift;
    while (shift + width < 32 && ((mask >> (shift + width)) & 1)) ++width;
    std::uint32_t f = (v & mask) >> shift;
    return width >= 8 ? f >> (width - 8) : f << (8 - width);
}

// Reads pixels of an uncompressed or bit-field picture within the bytes given.
struct Reader {
    const std::uint8_t* bits;
    std::size_t size;
    const BitmapInfo& info;
    std::int64_t stride;
    std::int64_t rows;

    // Pixel (x, y), y from the top; black outside the bytes.
    std::uint32_t pixel(std::int64_t x, std::int64_t y) const
    {
        std::int64_t stored = info.height > 0 ? rows - 1 - y : y;
        std::int64_t bit = x * info.bit_count;
        std::int64_t at = stored * stride + bit / 8;
        int bytes = std::max(1, info.bit_count / 8);
        if (at < 0 || at + bytes > std::int64_t(size)) return 0;
        const std::uint8_t* p = bits + at;
        switch (info.bit_count) {
        case 1:
        case 2:
        case 4:
        case 8: {
            unsigned index = (p[0] >> (8 - info.bit_count - bit % 8)) & ((1u << info.bit_count) - 1);
            return index < info.colors.size() ? info.colors[index] & 0xFFFFFF : 0;
        }
        case 16: {
            std::uint32_t v = p[0] | (p[1] << 8);
            if (info.compression == BI_BITFIELDS)
                return field(v, info.masks[0]) << 16 | field(v, info.masks[1]) << 8 | field(v, info.masks[2]);
            return field(v, 0x7C00) << 16 | field(v, 0x03E0) << 8 | field(v, 0x001F);
        }
        case 24: return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16;
        case 32: {
            std::uint32_t v = p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24;
            if (info.compression == BI_BITFIELDS)
                return field(v, info.masks[0]) << 16 | field(v, info.masks[1]) << 8 | field(v, info.masks[2]);
            return v & 0xFFFFFF;
        }
        }
        return 0;
    }
};

// Run-length pictures, decoded straight into the destination, unscaled.
int draw_rle(const Section& s, int xd, int yd, int xs, int ys, int ws, int hs, const std::uint8_t* bits,
             std::size_t size, const BitmapInfo& info)
{
    const bool four = info.compression == BI_RLE4;
    const std::int64_t width = info.width, height = std::abs(std::int64_t(info.height));
    std::int64_t x = 0, row = 0; // row counted from the bottom
    auto emit = [&](unsigned index) {
        if (x < width && row < height) {
            std::int64_t top = height - 1 - row;
            if (x >= xs && x < std::int64_t(xs) + ws && top >= ys && top < std::int64_t(ys) + hs) {
                std::int64_t dx = xd + (x - xs), dy = yd + (top - ys);
                if (dx >= 0 && dx < s.width && dy >= 0 && dy < s.height)
                    put(s, int(dx), int(dy), index < info.colors.size() ? info.colors[index] & 0xFFFFFF : 0);
            }
        }
        ++x;
    };
    std::size_t i = 0;
    while (i + 1 < size && row < height) {
        unsigned n = bits[i], v = bits[i + 1];
        i += 2;
        if (n) {
            for (unsigned k = 0; k < n && x < width; ++k) emit(four ? ((k & 1) ? v & 15 : v >> 4) : v);
            continue;
        }
        if (v == 0) {
            x = 0;
            ++row;
        } else if (v == 1) {
            break;
        } else if (v == 2) {
            if (i + 1 >= size) break;
            x += bits[i];
            row += bits[i + 1];
            i += 2;
        } else {
            std::size_t bytes = four ? (v + 1) / 2 : v;
            for (unsigned k = 0; k < v && i + (four ? k / 2 : k) < size; ++k) {
                unsigned b = bits[i + (four ? k / 2 : k)];
                if (x < width) emit(four ? ((k & 1) ? b & 15 : b >> 4) : b);
            }
            i += bytes + (bytes & 1);
        }
    }
    return int(std::min<std::int64_t>(height, hs));
}

// Copies through world transformations; *done is false when neither
// context has one (defined with the raster operations below).
bool transformed_blit(Handle dst, int x, int y, int w, int h, Handle src, int sx, int sy, int sw, int sh, std::uint32_t rop,
                      bool* done);

} // namespace

Handle CreateDIBSection(int width, int height, std::uint8_t** bits)
{
    if (bits) *bits = nullptr;
    if (width <= 0 || height <= 0) return 0;
    std::int64_t stride = DibStride(width, 24);
    if (stride * height > std::numeric_limits<std::int32_t>::max()) return 0;
    auto* p = static_cast<std::uint8_t*>(std::calloc(std::size_t(stride * height), 1));
    if (!p) return 0;
    Table& t = table();
    std::lock_guard g(t.lock);
    Handle h = t.next++;
    t.bitmaps[h] = Bitmap{Section{width, height, std::size_t(stride), p}, 0};
    if (bits) *bits = p;
    return h;
}

Handle CreateCompatibleDC()
{
    Table& t = table();
    std::lock_guard g(t.lock);
    Handle h = t.next++;
    t.contexts[h] = Context{};
    return h;
}

bool DeleteDC(Handle dc)
{
    Table& t = table();
    std::lock_guard g(t.lock);
    auto c = t.contexts.find(dc);
    if (c == t.contexts.end()) return false;
    auto b = t.bitmaps.find(c->second.bitmap);
    if (b != t.bitmaps.end()) b->second.selected_in = 0;
    t.contexts.erase(c);
    return true;
}

bool DeleteObject(Handle bitmap)
{
    Table& t = table();
    std::lock_guard g(t.lock);
    auto b = t.bitmaps.find(bitmap);
    if (b == t.bitmaps.end() || b->second.selected_in) return false; // still selected: refused, as GDI does
    std::free(b->second.section.bits);
    t.bitmaps.erase(b);
    return true;
}

Handle SelectObject(Handle dc, Handle bitmap)
{
    Table& t = table();
    std::lock_guard g(t.lock);
    auto c = t.contexts.find(dc);
    if (c == t.contexts.end()) return 0;
    auto b = t.bitmaps.find(bitmap);
    if (bitmap && b == t.bitmaps.end()) return 0;
    Handle old = c->second.bitmap;
    if (auto o = t.bitmaps.find(old); o != t.bitmaps.end()) o->second.selected_in = 0;
    c->second.bitmap = bitmap;
    if (bitmap) b->second.selected_in = dc;
    return old;
}

Handle CurrentBitmap(Handle dc)
{
    Table& t = table();
    std::lock_guard g(t.lock);
    auto c = t.contexts.find(dc);
    return c == t.contexts.end() ? 0 : c->second.bitmap;
}

int SetMapMode(Handle dc, int mode)
{
    Table& t = table();
    std::lock_guard g(t.lock);
    auto c = t.contexts.find(dc);
    if (c == t.contexts.end()) return 0;
    return std::exchange(c->second.map_mode, mode);
}

int GetDeviceCaps(Handle dc, int index)
{
    Table& t = table();
    std::lock_guard g(t.lock);
    if (!t.contexts.count(dc)) return 0;
    return index == LOGPIXELSX || index == LOGPIXELSY ? 96 : 0;
}

bool GetSection(Handle bitmap, Section* out)
{
    Table& t = table();
    std::lock_guard g(t.lock);
    auto b = t.bitmaps.find(bitmap);
    if (b == t.bitmaps.end()) return false;
    if (out) *out = b->second.section;
    return true;
}

bool BitBlt(Handle dst, int x, int y, int w, int h, Handle src, int sx, int sy, std::uint32_t rop)
{
    if (rop != SRCCOPY) return false;
    // An empty rectangle copies nothing, transformed or not.
    if (bool done = false, ok = w > 0 && h > 0 && transformed_blit(dst, x, y, w, h, src, sx, sy, w, h, rop, &done); done)
        return ok;
    Table& t = table();
    std::lock_guard g(t.lock);
    const Section* d = target_of(t, dst);
    const Section* s = target_of(t, src);
    if (!d || !s || rop != SRCCOPY) return false;
    // Clip the rectangle to both sections.
    std::int64_t x0 = std::max<std::int64_t>({0, x, std::int64_t(x) - sx}), y0 = std::max<std::int64_t>({0, y, std::int64_t(y) - sy});
    std::int64_t x1 = std::min<std::int64_t>({std::int64_t(x) + w, d->width, std::int64_t(x) - sx + s->width});
    std::int64_t y1 = std::min<std::int64_t>({std::int64_t(y) + h, d->height, std::int64_t(y) - sy + s->height});
    for (std::int64_t dy = y0; dy < y1; ++dy)
        std::memmove(d->row(int(dy)) + x0 * 3, s->row(int(dy - y + sy)) + (x0 - x + sx) * 3, std::size_t(x1 - x0) * 3);
    return true;
}

int StretchDIBits(Handle dc, int xd, int yd, int wd, int hd, int xs, int ys, int ws, int hs, const std::uint8_t* bits,
                  std::size_t size, const BitmapInfo& info, std::uint32_t usage, std::uint32_t rop)
{
    Table& t = table();
    std::lock_guard g(t.lock);
    const Section* s = target_of(t, dc);
    if (!s || !bits || rop != SRCCOPY || wd <= 0 || hd <= 0 || ws <= 0 || hs <= 0 || info.width <= 0 || !info.height)
        return 0;
    if (info.compression == BI_RLE8 || info.compression == BI_RLE4) {
        if (info.height < 0 || wd != ws || hd != hs) return 0;
        if (info.bit_count != (info.compression == BI_RLE8 ? 8 : 4)) return 0;
        return draw_rle(*s, xd, yd, xs, ys, ws, hs, bits, size, info);
    }
    switch (info.bit_count) {
    case 1: case 2: case 4: case 8: case 16: case 24: case 32: break;
    default: return 0;
    }
    if (info.compression == BI_BITFIELDS && info.bit_count != 16 && info.bit_count != 32) return 0;
    if (info.compression != BI_RGB && info.compression != BI_BITFIELDS) return 0;
    Reader r{bits, size, info, DibStride(info.width, info.bit_count), std::abs(std::int64_t(info.height))};
    std::int64_t x0 = std::max(0, xd), x1 = std::min<std::int64_t>(s->width, std::int64_t(xd) + wd);
    std::int64_t y0 = std::max(0, yd), y1 = std::min<std::int64_t>(s->height, std::int64_t(yd) + hd);
    for (std::int64_t dy = y0; dy < y1; ++dy) {
        std::int64_t sy = ys + (dy - yd) * hs / hd;
        std::uint8_t* out = s->row(int(dy));
        for (std::int64_t dx = x0; dx < x1; ++dx) {
            std::int64_t sx = xs + (dx - xd) * ws / wd;
            std::uint32_t c = (sx < 0 || sx >= info.width || sy < 0 || sy >= r.rows) ? 0 : r.pixel(sx, sy);
            out[dx * 3] = std::uint8_t(c);
            out[dx * 3 + 1] = std::uint8_t(c >> 8);
            out[dx * 3 + 2] = std::uint8_t(c >> 16);
        }
    }
    return int(std::max<std::int64_t>(0, y1 - y0));
}

bool GdiFlush() { return true; }

} // namespace platform::gdi

// ---- drawing ---------------------------------------------------------------

namespace platform::gdi {
namespace {

// The section and drawing state of a context, under the table's lock.
struct Locked {
    std::lock_guard<std::mutex> guard;
    const Section* s;
    Context* st;
    explicit Locked(Handle dc) : guard(table().lock), s(target_of(table(), dc))
    {
        auto c = table().contexts.find(dc);
        st = c == table().contexts.end() ? nullptr : &c->second;
    }
    explicit operator bool() const { return s && st; }
};

void fill(const Section& s, std::int64_t l, std::int64_t t, std::int64_t r, std::int64_t b, std::uint32_t c)
{
    l = std::max<std::int64_t>(l, 0), t = std::max<std::int64_t>(t, 0);
    r = std::min<std::int64_t>(r, s.width), b = std::min<std::int64_t>(b, s.height);
    for (std::int64_t y = t; y < b; ++y)
        for (std::int64_t x = l; x < r; ++x) put(s, int(x), int(y), c);
}

std::uint32_t get(const Section& s, int x, int y)
{
    const std::uint8_t* p = s.row(y) + std::size_t(x) * 3;
    return std::uint32_t(p[2]) << 16 | std::uint32_t(p[1]) << 8 | p[0];
}

// The brush's colour at (x, y); false where a hatch's gap in transparent
// background mode leaves the pixel as it is.
bool brush_at(const Brush& b, const Context& st, std::int64_t x, std::int64_t y, std::uint32_t* c)
{
    if (b.pattern_width > 0 && b.pattern.size() >= std::size_t(b.pattern_width)) {
        const std::int64_t w = b.pattern_width, h = std::int64_t(b.pattern.size()) / w;
        *c = b.pattern[std::size_t(((y % h + h) % h) * w + (x % w + w) % w)];
        return true;
    }
    *c = b.color;
    if (b.hatch < 0) return true;
    const std::int64_t u = x & 7, v = y & 7;
    const bool across = v == 0, down = u == 0, fdiag = u == v, bdiag = u + v == 7;
    const bool on = b.hatch == HS_VERTICAL    ? down
                    : b.hatch == HS_FDIAGONAL ? fdiag
                    : b.hatch == HS_BDIAGONAL ? bdiag
                    : b.hatch == HS_CROSS     ? across || down
                    : b.hatch == HS_DIAGCROSS ? fdiag || bdiag
                                              : across;
    if (on) return true;
    *c = st.bk_color;
    return st.bk_mode == OPAQUE;
}

// Fills [l, r) × [t, b) with a brush.
void paint(const Section& s, std::int64_t l, std::int64_t t, std::int64_t r, std::int64_t b, const Brush& br, const Context& st)
{
    if (br.hatch < 0 && br.pattern_width <= 0) return fill(s, l, t, r, b, br.color);
    l = std::max<std::int64_t>(l, 0), t = std::max<std::int64_t>(t, 0);
    r = std::min<std::int64_t>(r, s.width), b = std::min<std::int64_t>(b, s.height);
    std::uint32_t c = 0;
    for (std::int64_t y = t; y < b; ++y)
        for (std::int64_t x = l; x < r; ++x)
            if (brush_at(br, st, x, y, &c)) put(s, int(x), int(y), c);
}

// A logical point in device pixels, through the world transformation.
std::pair<int, int> to_device(const Context& st, double x, double y)
{
    const XForm& f = st.xf;
    auto clampi = [](double v) { return int(std::clamp(std::round(v), -1e9, 1e9)); };
    return {clampi(x * f.m11 + y * f.m21 + f.dx), clampi(x * f.m12 + y * f.m22 + f.dy)};
}

// Fills a polygon (device points) with a brush, alternate or winding; a
// pixel is inside when its centre is.
void fill_polygon(const Section& s, const Context& st, const Brush& brush, const Points& pts, bool winding)
{
    if (brush.hollow || pts.size() < 3) return;
    int top = pts[0].second, bottom = top;
    for (auto& p : pts) top = std::min(top, p.second), bottom = std::max(bottom, p.second);
    top = std::max(top, 0), bottom = std::min(bottom, s.height);
    std::vector<std::pair<double, int>> xs; // crossing, direction
    for (int y = top; y < bottom; ++y) {
        xs.clear();
        const double cy = y + 0.5;
        for (std::size_t i = 0; i < pts.size(); ++i) {
            auto [x0, y0] = pts[i];
            auto [x1, y1] = pts[(i + 1) % pts.size()];
            if ((y0 <= cy) != (y1 <= cy)) xs.push_back({x0 + (cy - y0) * (double(x1) - x0) / (double(y1) - y0), y1 > y0 ? 1 : -1});
        }
        std::sort(xs.begin(), xs.end());
        int wind = 0;
        for (std::size_t i = 0; i + 1 < xs.size(); ++i) {
            wind += xs[i].second;
            const bool in = winding ? wind != 0 : (i % 2 == 0);
            if (in)
                paint(s, std::int64_t(std::ceil(xs[i].first - 0.5)), y, std::int64_t(std::ceil(xs[i + 1].first - 0.5)), y + 1, brush, st);
        }
    }
}

// A pen's cross-section at (x, y): a run of the pen's width across the
// line's major axis, centred on the point, so a line costs its length
// times the width.
void dot(const Section& s, const Pen& pen, int x, int y, bool across_y)
{
    const std::int64_t lo = (std::int64_t(pen.width) - 1) / 2, w = std::max(pen.width, 1);
    if (across_y) fill(s, x, y - lo, std::int64_t(x) + 1, y - lo + w, pen.color);
    else fill(s, x - lo, y, x - lo + w, std::int64_t(y) + 1, pen.color);
}

void bresenham(const Section& s, const Context& st, int x0, int y0, int x1, int y1, bool last, std::int64_t phase);

// A pen line from (x0, y0) to (x1, y1), the end point left out. A line
// reaching far outside the section is first cut to it (with a margin of the
// pen's width), so its length never sets the work.
void line(const Section& s, const Context& st, int x0, int y0, int x1, int y1)
{
    const Pen& pen = st.pen;
    if (pen.style == PS_NULL) return;
    const double m = std::min<double>(pen.width, double(s.width) + s.height) + 2, lo_x = -m, lo_y = -m, hi_x = s.width + m, hi_y = s.height + m;
    auto inside = [&](int x, int y) { return x >= lo_x && x <= hi_x && y >= lo_y && y <= hi_y; };
    if (inside(x0, y0) && inside(x1, y1)) return bresenham(s, st, x0, y0, x1, y1, false, 0);
    // Liang-Barsky on the widened section.
    const double dx = double(x1) - x0, dy = double(y1) - y0;
    double t0 = 0, t1 = 1;
    const double p[4] = {-dx, dx, -dy, dy}, q[4] = {x0 - lo_x, hi_x - x0, y0 - lo_y, hi_y - y0};
    for (int i = 0; i < 4; ++i) {
        if (p[i] == 0) {
            if (q[i] < 0) return;
            continue;
        }
        const double t = q[i] / p[i];
        if (p[i] < 0) t0 = std::max(t0, t);
        else t1 = std::min(t1, t);
    }
    if (t0 > t1) return;
    const std::int64_t skipped = std::llround(std::max(std::fabs(dx), std::fabs(dy)) * t0);
    bresenham(s, st, int(std::lround(x0 + t0 * dx)), int(std::lround(y0 + t0 * dy)), int(std::lround(x0 + t1 * dx)),
              int(std::lround(y0 + t1 * dy)), t1 < 1, skipped);
}

// Bresenham from (x0, y0) to (x1, y1); the end point only when `last`.
// Whether step k of a dashed pen's line is drawn (dashes of 18 and 9,
// dots and gaps of 3 and 6, as GDI's cosmetic pens).
bool dash_on(int style, std::int64_t k)
{
    static const std::vector<int> kRuns[] = {{18, 6}, {3, 3}, {9, 6, 3, 6}, {9, 3, 3, 3, 3, 3}};
    const std::vector<int>& runs = kRuns[style - PS_DASH];
    std::int64_t total = 0;
    for (int r : runs) total += r;
    k %= total;
    for (std::size_t i = 0;; ++i) {
        if (k < runs[i]) return i % 2 == 0;
        k -= runs[i];
    }
}

void bresenham(const Section& s, const Context& st, int x0, int y0, int x1, int y1, bool last, std::int64_t phase)
{
    const Pen& pen = st.pen;
    const bool dashed = pen.width <= 1 && pen.style >= PS_DASH && pen.style <= PS_DASHDOTDOT;
    const Pen gap{PS_SOLID, 1, st.bk_color};
    const bool across_y = std::llabs(std::int64_t(x1) - x0) >= std::llabs(std::int64_t(y1) - y0);
    if (last) dot(s, pen, x1, y1, across_y);
    std::int64_t dx = std::llabs(std::int64_t(x1) - x0), dy = -std::llabs(std::int64_t(y1) - y0);
    const int sx = x0 < x1 ? 1 : -1, sy = y0 < y1 ? 1 : -1;
    std::int64_t err = dx + dy;
    std::int64_t x = x0, y = y0;
    while (x != x1 || y != y1) {
        if (x > -pen.width && y > -pen.width && x < std::int64_t(s.width) + pen.width && y < std::int64_t(s.height) + pen.width) {
            if (!dashed || dash_on(pen.style, phase)) dot(s, pen, int(x), int(y), across_y);
            else if (st.bk_mode == OPAQUE) dot(s, gap, int(x), int(y), across_y);
        }
        ++phase;
        std::int64_t e2 = 2 * err;
        if (e2 >= dy) err += dy, x += sx;
        if (e2 <= dx) err += dx, y += sy;
    }
}

constexpr double kPi = 3.14159265358979323846;

// Points along an ellipse around (cx, cy) with radii rx, ry from angle a0
// counter-clockwise by `sweep` (radians, y pointing up).
void ellipse_points(Points* out, double cx, double cy, double rx, double ry, double a0, double sweep)
{
    const int n = std::clamp(int(sweep * std::max(rx, ry) / 2) + 1, 2, 1024);
    for (int k = 0; k <= n; ++k) {
        const double a = a0 + sweep * k / n;
        const std::pair<int, int> p{int(std::lround(cx + rx * std::cos(a))), int(std::lround(cy - ry * std::sin(a)))};
        if (out->empty() || out->back() != p) out->push_back(p);
    }
}

// Runs a drawing that moves the current position and puts the position back.
template <class F> bool keeping_position(Handle dc, F draw)
{
    int x = 0, y = 0;
    {
        Locked l(dc);
        if (!l) return false;
        x = l.st->x, y = l.st->y;
    }
    draw();
    return MoveToEx(dc, x, y);
}

// Whether the context draws through a world transformation.
bool transformed(Handle dc)
{
    Locked l(dc);
    return l.st && !l.st->xf.identity();
}

} // namespace

bool SelectPen(Handle dc, const Pen& pen)
{
    Locked l(dc);
    if (!l.st) return false;
    l.st->pen = pen;
    return true;
}

bool GetTools(Handle dc, Pen* pen, Brush* brush)
{
    Locked l(dc);
    if (!l.st) return false;
    *pen = l.st->pen, *brush = l.st->brush;
    return true;
}

bool SelectBrush(Handle dc, const Brush& brush)
{
    Locked l(dc);
    if (!l.st) return false;
    l.st->brush = brush;
    return true;
}

int SetGraphicsMode(Handle dc, int mode)
{
    Locked l(dc);
    if (!l.st || (mode != GM_COMPATIBLE && mode != GM_ADVANCED)) return 0;
    if (mode == GM_COMPATIBLE) l.st->xf = XForm{};
    return std::exchange(l.st->mode, mode);
}

bool SetWorldTransform(Handle dc, const XForm& xf)
{
    Locked l(dc);
    if (!l.st || l.st->mode != GM_ADVANCED) return false;
    for (double v : {xf.m11, xf.m12, xf.m21, xf.m22, xf.dx, xf.dy})
        if (!std::isfinite(v) || std::fabs(v) > 1e9) return false;
    if (xf.m11 * xf.m22 - xf.m12 * xf.m21 == 0) return false;
    l.st->xf = xf;
    return true;
}

int GetGraphicsMode(Handle dc)
{
    Locked l(dc);
    return l.st ? l.st->mode : 0;
}

bool FillRect(Handle dc, int left, int top, int right, int bottom, const Brush& brush)
{
    Locked l(dc);
    if (!l || brush.hollow) return false;
    if (!l.st->xf.identity()) {
        const Points dev{to_device(*l.st, left, top), to_device(*l.st, right, top), to_device(*l.st, right, bottom),
                         to_device(*l.st, left, bottom)};
        fill_polygon(*l.s, *l.st, brush, dev, false);
        return true;
    }
    paint(*l.s, left, top, right, bottom, brush, *l.st);
    return true;
}

bool FrameRect(Handle dc, int left, int top, int right, int bottom, const Brush& brush)
{
    Locked l(dc);
    if (!l || brush.hollow || right <= left || bottom <= top) return false;
    paint(*l.s, left, top, right, top + 1, brush, *l.st);
    paint(*l.s, left, bottom - 1, right, bottom, brush, *l.st);
    paint(*l.s, left, top, left + 1, bottom, brush, *l.st);
    paint(*l.s, right - 1, top, right, bottom, brush, *l.st);
    return true;
}

bool Rectangle(Handle dc, int left, int top, int right, int bottom)
{
    if (transformed(dc)) {
        return keeping_position(dc, [&] { Polygon(dc, {{left, top}, {right - 1, top}, {right - 1, bottom - 1}, {left, bottom - 1}}, false); });
    }
    Locked l(dc);
    if (!l) return false;
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    const Pen& pen = l.st->pen;
    const int inner = pen.style == PS_NULL ? 0 : 1;
    if (!l.st->brush.hollow) paint(*l.s, left + inner, top + inner, right - inner, bottom - inner, l.st->brush, *l.st);
    if (pen.style == PS_NULL) return true;
    const int r = right - 1, b = bottom - 1;
    line(*l.s, *l.st, left, top, r, top);
    line(*l.s, *l.st, r, top, r, b);
    line(*l.s, *l.st, r, b, left, b);
    line(*l.s, *l.st, left, b, left, top);
    return true;
}

bool MoveToEx(Handle dc, int x, int y)
{
    Locked l(dc);
    if (!l.st) return false;
    l.st->x = x, l.st->y = y;
    return true;
}

bool LineTo(Handle dc, int x, int y)
{
    Locked l(dc);
    if (!l) return false;
    const auto a = to_device(*l.st, l.st->x, l.st->y), b = to_device(*l.st, x, y);
    line(*l.s, *l.st, a.first, a.second, b.first, b.second);
    l.st->x = x, l.st->y = y;
    return true;
}

bool SetPixel(Handle dc, int x, int y, std::uint32_t color)
{
    Locked l(dc);
    if (l) std::tie(x, y) = to_device(*l.st, x, y);
    if (!l || x < 0 || y < 0 || x >= l.s->width || y >= l.s->height) return false;
    put(*l.s, x, y, color & 0xFFFFFF);
    return true;
}

bool GetPixel(Handle dc, int x, int y, std::uint32_t* color)
{
    Locked l(dc);
    if (l) std::tie(x, y) = to_device(*l.st, x, y);
    if (!l || x < 0 || y < 0 || x >= l.s->width || y >= l.s->height) return false;
    *color = get(*l.s, x, y);
    return true;
}

bool ExtFloodFill(Handle dc, int x, int y, std::uint32_t color, int type)
{
    Locked l(dc);
    if (l) std::tie(x, y) = to_device(*l.st, x, y);
    if (!l || l.st->brush.hollow || x < 0 || y < 0 || x >= l.s->width || y >= l.s->height) return false;
    const Section& s = *l.s;
    // Pixels already painted are remembered, so a brush of the bounding
    // colour cannot make the fill run for ever.
    std::vector<bool> done(std::size_t(s.width) * std::size_t(s.height));
    auto inside = [&](int px, int py) {
        if (done[std::size_t(py) * std::size_t(s.width) + std::size_t(px)]) return false;
        std::uint32_t c = get(s, px, py);
        return type == FLOODFILLSURFACE ? c == color : c != color;
    };
    if (!inside(x, y)) return false;
    std::vector<std::pair<int, int>> stack{{x, y}};
    while (!stack.empty()) {
        auto [px, py] = stack.back();
        stack.pop_back();
        if (!inside(px, py)) continue;
        int a = px, b = px;
        while (a > 0 && inside(a - 1, py)) --a;
        while (b + 1 < s.width && inside(b + 1, py)) ++b;
        for (int i = a; i <= b; ++i) {
            if (std::uint32_t c = 0; brush_at(l.st->brush, *l.st, i, py, &c)) put(s, i, py, c);
            done[std::size_t(py) * std::size_t(s.width) + std::size_t(i)] = true;
        }
        for (int ny : {py - 1, py + 1}) {
            if (ny < 0 || ny >= s.height) continue;
            for (int i = a; i <= b; ++i)
                if (inside(i, ny) && (i == a || !inside(i - 1, ny))) stack.push_back({i, ny});
        }
    }
    return true;
}

namespace {
// A raster operation on source, destination and pattern colours.
std::uint32_t raster(std::uint32_t rop, std::uint32_t S, std::uint32_t D, std::uint32_t pat)
{
    switch (rop) {
    case SRCPAINT: return S | D;
    case SRCAND: return S & D;
    case SRCINVERT: return S ^ D;
    case SRCERASE: return S & ~D;
    case NOTSRCCOPY: return ~S & 0xFFFFFF;
    case MERGECOPY: return S & pat;
    case MERGEPAINT: return (~S | D) & 0xFFFFFF;
    case PATCOPY: return pat;
    case PATPAINT: return (pat | ~S | D) & 0xFFFFFF;
    case PATINVERT: return pat ^ D;
    case DSTINVERT: return ~D & 0xFFFFFF;
    default: return S;
    }
}

// As GDI copies in advanced mode: the destination rectangle becomes the
// parallelogram the destination's transformation makes of it, and each
// device pixel whose centre lies inside takes the source pixel at the same
// relative place of the source rectangle. The source's transformation may
// scale and move, never rotate or shear (GDI refuses those). Sampling is
// nearest-pixel whatever the stretch mode.
bool transformed_blit(Handle dst, int x, int y, int w, int h, Handle src, int sx, int sy, int sw, int sh, std::uint32_t rop,
                      bool* done)
{
    Table& t = table();
    std::lock_guard g(t.lock);
    *done = false;
    auto dc = t.contexts.find(dst), sc = t.contexts.find(src);
    if (dc == t.contexts.end() || sc == t.contexts.end()) return false;
    const XForm &df = dc->second.xf, &sf = sc->second.xf;
    if (df.identity() && sf.identity()) return false;
    *done = true;
    const Section* d = target_of(t, dst);
    const Section* s = target_of(t, src);
    if (!d || !s || sf.m12 != 0 || sf.m21 != 0 || w == 0 || h == 0 || sw == 0 || sh == 0) return false;
    // The source rectangle in device pixels.
    const double sxd = sx * sf.m11 + sf.dx, syd = sy * sf.m22 + sf.dy, swd = sw * sf.m11, shd = sh * sf.m22;
    // The destination parallelogram: a corner and its two sides.
    const double ox = x * df.m11 + y * df.m21 + df.dx, oy = x * df.m12 + y * df.m22 + df.dy;
    const double ax = w * df.m11, ay = w * df.m12, bx = h * df.m21, by = h * df.m22;
    const double det = ax * by - ay * bx;
    if (det == 0) return false;
    const double xs[4] = {ox, ox + ax, ox + bx, ox + ax + bx}, ys[4] = {oy, oy + ay, oy + by, oy + ay + by};
    auto span = [](const double* v, int limit, std::int64_t* lo, std::int64_t* hi) {
        *lo = std::int64_t(std::clamp(std::floor(*std::min_element(v, v + 4)), 0.0, double(limit)));
        *hi = std::int64_t(std::clamp(std::ceil(*std::max_element(v, v + 4)), 0.0, double(limit)));
    };
    std::int64_t x0, x1, y0, y1;
    span(xs, d->width, &x0, &x1);
    span(ys, d->height, &y0, &y1);
    // The source pixel at fraction f of an extent; a negative extent runs
    // backwards from the pixel before its start.
    auto pick = [](double start, double extent, double f) {
        const double p = start + f * extent;
        return extent > 0 ? std::int64_t(std::floor(p)) : std::int64_t(std::ceil(p)) - 1;
    };
    const Context& target = dc->second;
    for (std::int64_t py = y0; py < y1; ++py)
        for (std::int64_t px = x0; px < x1; ++px) {
            const double cx = double(px) + 0.5 - ox, cy = double(py) + 0.5 - oy;
            const double u = (cx * by - cy * bx) / det, v = (ax * cy - ay * cx) / det;
            if (u < 0 || u >= 1 || v < 0 || v >= 1) continue;
            const std::int64_t qx = pick(sxd, swd, u), qy = pick(syd, shd, v);
            if (qx < 0 || qy < 0 || qx >= s->width || qy >= s->height) continue;
            std::uint32_t pat = 0;
            brush_at(target.brush, target, px, py, &pat);
            put(*d, int(px), int(py), raster(rop, get(*s, int(qx), int(qy)), get(*d, int(px), int(py)), pat) & 0xFFFFFF);
        }
    return true;
}
} // namespace

bool StretchBlt(Handle dst, int x, int y, int w, int h, Handle src, int sx, int sy, int sw, int sh, std::uint32_t rop, int mode)
{
    if (bool done = false, ok = transformed_blit(dst, x, y, w, h, src, sx, sy, sw, sh, rop, &done); done) return ok;
    Table& t = table();
    std::lock_guard g(t.lock);
    const Section* d = target_of(t, dst);
    const Section* s = target_of(t, src);
    if (!d || !s || w == 0 || h == 0 || sw == 0 || sh == 0) return false;
    const Context& dc = t.contexts[dst];
    auto pat = [&](std::int64_t px, std::int64_t py) {
        std::uint32_t c = 0;
        brush_at(dc.brush, dc, px, py, &c);
        return c;
    };
    // Negative sizes mirror; each destination pixel takes the source pixels
    // its area covers (their average in HALFTONE mode, else the first).
    const int aw = std::abs(w), ah = std::abs(h);
    const std::int64_t cx0 = std::max<std::int64_t>(0, std::min<std::int64_t>(x, std::int64_t(x) + w)), cy0 = std::max<std::int64_t>(0, std::min<std::int64_t>(y, std::int64_t(y) + h));
    const std::int64_t cx1 = std::min<std::int64_t>(d->width, std::max<std::int64_t>(x, std::int64_t(x) + w));
    const std::int64_t cy1 = std::min<std::int64_t>(d->height, std::max<std::int64_t>(y, std::int64_t(y) + h));
    for (std::int64_t ty = cy0; ty < cy1; ++ty) {
        const std::int64_t j = h > 0 ? ty - y : y - 1 - ty;
        const std::int64_t s0 = sy + j * sh / ah, s1 = std::max(s0 + (sh > 0 ? 1 : -1), sy + (j + 1) * sh / ah);
        for (std::int64_t tx = cx0; tx < cx1; ++tx) {
            const std::int64_t i = w > 0 ? tx - x : x - 1 - tx;
            const std::int64_t r0 = sx + i * sw / aw, r1 = std::max(r0 + (sw > 0 ? 1 : -1), sx + (i + 1) * sw / aw);
            std::uint64_t sum[3] = {0, 0, 0}, n = 0;
            const std::int64_t ya = std::min(s0, s1 + 1), yb = std::max(s0 + 1, s1), xa = std::min(r0, r1 + 1), xb = std::max(r0 + 1, r1);
            for (std::int64_t yy = ya; yy < yb && (mode == HALFTONE || n == 0); ++yy)
                for (std::int64_t xx = xa; xx < xb && (mode == HALFTONE || n == 0); ++xx) {
                    if (xx < 0 || yy < 0 || xx >= s->width || yy >= s->height) continue;
                    const std::uint32_t c = get(*s, int(xx), int(yy));
                    for (int k = 0; k < 3; ++k) sum[k] += c >> (8 * k) & 255;
                    ++n;
                }
            if (!n) continue;
            const std::uint32_t S = std::uint32_t(sum[0] / n) | std::uint32_t(sum[1] / n) << 8 | std::uint32_t(sum[2] / n) << 16;
            put(*d, int(tx), int(ty), raster(rop, S, get(*d, int(tx), int(ty)), pat(tx, ty)) & 0xFFFFFF);
        }
    }
    return true;
}

bool BitBltRop(Handle dst, int x, int y, int w, int h, Handle src, int sx, int sy, std::uint32_t rop)
{
    if (rop == SRCCOPY) return BitBlt(dst, x, y, w, h, src, sx, sy, rop);
    if (bool done = false, ok = w > 0 && h > 0 && transformed_blit(dst, x, y, w, h, src, sx, sy, w, h, rop, &done); done)
        return ok;
    Table& t = table();
    std::lock_guard g(t.lock);
    const Section* d = target_of(t, dst);
    const Section* s = target_of(t, src);
    if (!d || !s) return false;
    const Context& dc = t.contexts[dst];
    auto op = [&](std::uint32_t S, std::uint32_t D, std::int64_t px, std::int64_t py) {
        std::uint32_t pat = 0;
        brush_at(dc.brush, dc, px, py, &pat);
        return raster(rop, S, D, pat);
    };
    std::int64_t x0 = std::max<std::int64_t>({0, x, std::int64_t(x) - sx}), y0 = std::max<std::int64_t>({0, y, std::int64_t(y) - sy});
    std::int64_t x1 = std::min<std::int64_t>({std::int64_t(x) + w, d->width, std::int64_t(x) - sx + s->width});
    std::int64_t y1 = std::min<std::int64_t>({std::int64_t(y) + h, d->height, std::int64_t(y) - sy + s->height});
    for (std::int64_t dy = y0; dy < y1; ++dy)
        for (std::int64_t dx = x0; dx < x1; ++dx)
            put(*d, int(dx), int(dy), op(get(*s, int(dx - x + sx), int(dy - y + sy)), get(*d, int(dx), int(dy)), dx, dy) & 0xFFFFFF);
    return true;
}

} // namespace platform::gdi

// ---- text ----------------------------------------------------------------------

namespace platform::gdi {
namespace {

// FreeType faces by font file, loaded once; the library lives as long as
// the process (faces are used under the handle table's lock).
struct Fonts {
    FT_Library lib = nullptr;
    std::unordered_map<std::string, FT_Face> faces;
    std::unordered_map<std::string, std::string> files; // family|weight|italic -> file
    Fonts() { FT_Init_FreeType(&lib); }
};

Fonts& fonts()
{
    static Fonts* f = new Fonts;
    return *f;
}

// The face of a font, sized; null when none can be found.
FT_Face face_of(const Font& font)
{
    Fonts& f = fonts();
    if (!f.lib) return nullptr;
    const std::string family = font.family.empty() ? "DejaVu Sans" : font.family;
    const std::string key = family + "|" + std::to_string(font.weight) + "|" + (font.italic ? "i" : "");
    auto known = f.files.find(key);
    if (known == f.files.end()) {
        std::string file;
        FcPattern* pat = FcPatternCreate();
        FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
        FcPatternAddInteger(pat, FC_WEIGHT, FcWeightFromOpenType(std::clamp(font.weight, 1, 1000)));
        FcPatternAddInteger(pat, FC_SLANT, font.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcConfigSubstitute(nullptr, pat, FcMatchPattern);
        FcDefaultSubstitute(pat);
        FcResult res;
        if (FcPattern* match = FcFontMatch(nullptr, pat, &res)) {
            FcChar8* name = nullptr;
            if (FcPatternGetString(match, FC_FILE, 0, &name) == FcResultMatch) file = reinterpret_cast<const char*>(name);
            FcPatternDestroy(match);
        }
        FcPatternDestroy(pat);
        known = f.files.emplace(key, file).first;
    }
    const std::string& file = known->second;
    if (file.empty()) return nullptr;
    auto it = f.faces.find(file);
    if (it == f.faces.end()) {
        FT_Face face = nullptr;
        if (FT_New_Face(f.lib, file.c_str(), 0, &face)) return nullptr;
        it = f.faces.emplace(file, face).first;
    }
    FT_Face face = it->second;
    int px = font.height == 0 ? 16 : std::abs(font.height);
    if (font.height > 0 && face->ascender - face->descender > 0)
        px = std::max(1, int(std::lround(double(font.height) * face->units_per_EM / (face->ascender - face->descender))));
    FT_Set_Pixel_Sizes(face, 0, FT_UInt(std::min(px, 2000)));
    return face;
}

struct Extent {
    int width = 0, ascent = 0, height = 0;
};

Extent measure(FT_Face face, const std::u32string& text, bool mono)
{
    Extent e;
    e.ascent = int(face->size->metrics.ascender >> 6);
    e.height = e.ascent + int(-face->size->metrics.descender >> 6);
    for (char32_t c : text)
        if (!FT_Load_Char(face, c, FT_LOAD_DEFAULT | (mono ? FT_LOAD_TARGET_MONO : 0))) e.width += int(face->glyph->advance.x >> 6);
    return e;
}

} // namespace

bool SelectFont(Handle dc, const Font& font)
{
    Locked l(dc);
    if (!l.st) return false;
    l.st->font = font;
    return true;
}

bool SetTextColor(Handle dc, std::uint32_t color)
{
    Locked l(dc);
    if (!l.st) return false;
    l.st->text_color = color;
    return true;
}

bool SetBkColor(Handle dc, std::uint32_t color)
{
    Locked l(dc);
    if (!l.st) return false;
    l.st->bk_color = color;
    return true;
}

bool SetBkMode(Handle dc, int mode)
{
    Locked l(dc);
    if (!l.st) return false;
    l.st->bk_mode = mode;
    return true;
}

bool SetTextAlign(Handle dc, int flags)
{
    Locked l(dc);
    if (!l.st) return false;
    l.st->align = flags;
    return true;
}

bool GetTextExtentPoint(Handle dc, const std::u32string& text, int* width, int* height)
{
    Locked l(dc);
    FT_Face face = l.st ? face_of(l.st->font) : nullptr;
    if (!face) return false;
    Extent e = measure(face, text, l.st->font.quality == NONANTIALIASED_QUALITY);
    *width = e.width, *height = e.height;
    return true;
}

namespace {

// Calls plot(x, y, coverage 1..255) for each inked pixel of the text laid
// out from `left` on the baseline `base`; gives the pen's end.
template <class Plot> std::int64_t glyphs(FT_Face face, const std::u32string& text, bool mono, std::int64_t left, std::int64_t base, Plot plot)
{
    std::int64_t pen = left;
    for (char32_t c : text) {
        if (FT_Load_Char(face, c, FT_LOAD_RENDER | (mono ? FT_LOAD_TARGET_MONO : 0))) continue;
        const FT_GlyphSlot g = face->glyph;
        const FT_Bitmap& bm = g->bitmap;
        for (unsigned r = 0; r < bm.rows; ++r) {
            const unsigned char* row = bm.buffer + std::int64_t(r) * bm.pitch;
            for (unsigned i = 0; i < bm.width; ++i) {
                const unsigned a = bm.pixel_mode == FT_PIXEL_MODE_MONO ? ((row[i / 8] >> (7 - i % 8)) & 1) * 255 : row[i];
                if (a) plot(pen + g->bitmap_left + i, base - g->bitmap_top + r, a);
            }
        }
        pen += g->advance.x >> 6;
    }
    return pen;
}

// The text colour over a pixel by its coverage.
void blend(std::uint8_t* p, std::uint32_t tc, unsigned a)
{
    for (int k = 0; k < 3; ++k) p[k] = std::uint8_t((p[k] * (255 - a) + (tc >> (8 * k) & 255) * a) / 255);
}

// The most inked pixels a transformed text is laid out with.
constexpr std::size_t kMaxTextPixels = std::size_t(1) << 24;

// Text through a world transformation, as GDI draws it in advanced mode:
// laid out in logical coordinates, then each device pixel whose centre maps
// back into the layout takes its background and coverage.
bool text_transformed(const Section& s, const Context& st, FT_Face face, const Extent& e, std::int64_t left, std::int64_t top,
                      const std::u32string& text, bool mono)
{
    const XForm& f = st.xf;
    const double det = f.m11 * f.m22 - f.m12 * f.m21;
    if (det == 0) return false;
    std::unordered_map<std::uint64_t, std::uint8_t> ink;
    auto key = [](std::int64_t x, std::int64_t y) { return std::uint64_t(std::uint32_t(x)) << 32 | std::uint32_t(y); };
    std::int64_t l = left, t = top, r = left + e.width, b = top + e.height;
    bool full = false;
    auto plot = [&](std::int64_t x, std::int64_t y, unsigned a) {
        if (ink.size() >= kMaxTextPixels) return void(full = true);
        std::uint8_t& v = ink[key(x, y)];
        v = std::uint8_t(std::max<unsigned>(v, a));
        l = std::min(l, x), t = std::min(t, y), r = std::max(r, x + 1), b = std::max(b, y + 1);
    };
    const std::int64_t base = top + e.ascent;
    const std::int64_t pen = glyphs(face, text, mono, left, base, plot);
    const int thick = std::max(1, e.height / 16);
    auto rule = [&](std::int64_t y0) {
        for (std::int64_t y = y0; y < y0 + thick; ++y)
            for (std::int64_t x = left; x < pen && !full; ++x) plot(x, y, 255);
    };
    if (st.font.underline) rule(base + 1);
    if (st.font.strikeout) rule(base - e.ascent / 3);
    if (full) return false;
    // The device pixels the layout's box can reach.
    double xs[4], ys[4];
    const double cl[4][2] = {{double(l), double(t)}, {double(r), double(t)}, {double(l), double(b)}, {double(r), double(b)}};
    for (int i = 0; i < 4; ++i) xs[i] = cl[i][0] * f.m11 + cl[i][1] * f.m21 + f.dx, ys[i] = cl[i][0] * f.m12 + cl[i][1] * f.m22 + f.dy;
    auto lo = [](const double* v, int limit) { return std::int64_t(std::clamp(std::floor(*std::min_element(v, v + 4)), 0.0, double(limit))); };
    auto hi = [](const double* v, int limit) { return std::int64_t(std::clamp(std::ceil(*std::max_element(v, v + 4)), 0.0, double(limit))); };
    const bool opaque = st.bk_mode == OPAQUE;
    for (std::int64_t py = lo(ys, s.height); py < hi(ys, s.height); ++py)
        for (std::int64_t px = lo(xs, s.width); px < hi(xs, s.width); ++px) {
            // The logical point of the pixel's centre.
            const double u = double(px) + 0.5 - f.dx, v = double(py) + 0.5 - f.dy;
            const std::int64_t lx = std::int64_t(std::floor((u * f.m22 - v * f.m21) / det));
            const std::int64_t ly = std::int64_t(std::floor((v * f.m11 - u * f.m12) / det));
            if (lx < l || lx >= r || ly < t || ly >= b) continue;
            std::uint8_t* p = s.row(int(py)) + px * 3;
            if (opaque && lx >= left && lx < left + e.width && ly >= top && ly < top + e.height)
                p[0] = std::uint8_t(st.bk_color), p[1] = std::uint8_t(st.bk_color >> 8), p[2] = std::uint8_t(st.bk_color >> 16);
            if (auto it = ink.find(key(lx, ly)); it != ink.end()) blend(p, st.text_color, it->second);
        }
    return true;
}

} // namespace

bool TextOut(Handle dc, int x, int y, const std::u32string& text)
{
    Locked l(dc);
    FT_Face face = l ? face_of(l.st->font) : nullptr;
    if (!face) return false;
    const Context& st = *l.st;
    const Section& s = *l.s;
    const bool mono = st.font.quality == NONANTIALIASED_QUALITY;
    const Extent e = measure(face, text, mono);
    std::int64_t left = x, top = y;
    if ((st.align & TA_CENTER) == TA_CENTER) left -= e.width / 2;
    else if (st.align & TA_RIGHT) left -= e.width;
    if ((st.align & TA_BASELINE) == TA_BASELINE) top -= e.ascent;
    else if (st.align & TA_BOTTOM) top -= e.height;
    if (!st.xf.identity()) return text_transformed(s, st, face, e, left, top, text, mono);
    if (st.bk_mode == OPAQUE) fill(s, left, top, left + e.width, top + e.height, st.bk_color);
    const std::uint32_t tc = st.text_color;
    const std::int64_t base = top + e.ascent;
    const std::int64_t pen = glyphs(face, text, mono, left, base, [&](std::int64_t px, std::int64_t py, unsigned a) {
        if (px >= 0 && py >= 0 && px < s.width && py < s.height) blend(s.row(int(py)) + px * 3, tc, a);
    });
    const int thick = std::max(1, e.height / 16);
    if (st.font.underline) fill(s, left, base + 1, pen, base + 1 + thick, tc);
    if (st.font.strikeout) fill(s, left, base - e.ascent / 3, pen, base - e.ascent / 3 + thick, tc);
    return true;
}

} // namespace platform::gdi

// ---- polygons, ellipses, curves ------------------------------------------------

namespace platform::gdi {

bool Polygon(Handle dc, const Points& pts, bool winding)
{
    {
        Locked l(dc);
        if (!l || pts.size() < 2) return false;
        Points dev;
        for (auto& p : pts) dev.push_back(to_device(*l.st, p.first, p.second));
        fill_polygon(*l.s, *l.st, l.st->brush, dev, winding);
    }
    MoveToEx(dc, pts[0].first, pts[0].second);
    for (std::size_t i = 1; i <= pts.size(); ++i) LineTo(dc, pts[i % pts.size()].first, pts[i % pts.size()].second);
    return true;
}

bool Ellipse(Handle dc, int left, int top, int right, int bottom)
{
    if (transformed(dc)) return ArcShape(dc, left, top, right, bottom, right, top, right, top, ArcKind::Chord);
    Locked l(dc);
    if (!l) return false;
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    const double cx = (double(left) + right - 1) / 2, cy = (double(top) + bottom - 1) / 2;
    const double rx = (double(right) - left - 1) / 2, ry = (double(bottom) - top - 1) / 2;
    if (rx < 0 || ry < 0) return false;
    const int y0 = std::max(top, 0), y1 = std::min(bottom, l.s->height);
    for (int y = y0; y < y1; ++y) {
        const double dy = ry > 0 ? (y - cy) / ry : 0;
        const double half = rx * std::sqrt(std::max(0.0, 1 - dy * dy));
        const std::int64_t a = std::llround(cx - half - 1e-9), b = std::llround(cx + half);
        if (!l.st->brush.hollow) paint(*l.s, a, y, b + 1, y + 1, l.st->brush, *l.st);
        if (l.st->pen.style != PS_NULL) {
            // The edge: both ends of the span, and the run to the next row's ends.
            const double ny = ry > 0 ? (y + (y < cy ? 1 : -1) - cy) / ry : 0;
            const double nhalf = rx * std::sqrt(std::max(0.0, 1 - ny * ny));
            const std::int64_t na = std::llround(cx - nhalf - 1e-9), nb = std::llround(cx + nhalf);
            const bool cap = y == top || y == bottom - 1;
            fill(*l.s, a, y, cap ? b + 1 : std::max(a + 1, na), y + 1, l.st->pen.color);
            fill(*l.s, cap ? a : std::min(b, nb), y, b + 1, y + 1, l.st->pen.color);
        }
    }
    return true;
}


bool ArcShape(Handle dc, int left, int top, int right, int bottom, int xr1, int yr1, int xr2, int yr2, ArcKind kind)
{
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    const double cx = (double(left) + right - 1) / 2, cy = (double(top) + bottom - 1) / 2;
    const double rx = (double(right) - left - 1) / 2, ry = (double(bottom) - top - 1) / 2;
    if (rx < 0 || ry < 0) return false;
    const double a0 = std::atan2(cy - yr1, xr1 - cx), a1 = std::atan2(cy - yr2, xr2 - cx);
    double sweep = a1 - a0;
    if (sweep <= 0) sweep += 2 * kPi;
    Points pts;
    ellipse_points(&pts, cx, cy, rx, ry, a0, sweep);
    return keeping_position(dc, [&] {
        if (kind == ArcKind::Arc) {
            MoveToEx(dc, pts[0].first, pts[0].second);
            for (std::size_t i = 1; i < pts.size(); ++i) LineTo(dc, pts[i].first, pts[i].second);
            return;
        }
        if (kind == ArcKind::Pie) pts.push_back({int(std::lround(cx)), int(std::lround(cy))});
        if (pts.size() >= 2) Polygon(dc, pts, false);
    });
}

bool RoundRect(Handle dc, int left, int top, int right, int bottom, int w, int h)
{
    if (right < left) std::swap(left, right);
    if (bottom < top) std::swap(top, bottom);
    const double rx = std::clamp((double(std::abs(w)) - 1) / 2, 0.0, (double(right) - left - 1) / 2);
    const double ry = std::clamp((double(std::abs(h)) - 1) / 2, 0.0, (double(bottom) - top - 1) / 2);
    const double l = left + rx, r = right - 1 - rx, t = top + ry, b = bottom - 1 - ry;
    Points pts;
    ellipse_points(&pts, r, t, rx, ry, 0, kPi / 2);
    ellipse_points(&pts, l, t, rx, ry, kPi / 2, kPi / 2);
    ellipse_points(&pts, l, b, rx, ry, kPi, kPi / 2);
    ellipse_points(&pts, r, b, rx, ry, 3 * kPi / 2, kPi / 2);
    return keeping_position(dc, [&] { Polygon(dc, pts, false); });
}

bool PolyBezier(Handle dc, const Points& pts)
{
    if (pts.size() < 4 || (pts.size() - 1) % 3) return false;
    MoveToEx(dc, pts[0].first, pts[0].second);
    for (std::size_t i = 0; i + 3 < pts.size(); i += 3) {
        const auto &p0 = pts[i], &p1 = pts[i + 1], &p2 = pts[i + 2], &p3 = pts[i + 3];
        const double len = std::hypot(p1.first - p0.first, p1.second - p0.second) + std::hypot(p2.first - p1.first, p2.second - p1.second) +
                           std::hypot(p3.first - p2.first, p3.second - p2.second);
        const int steps = std::clamp(int(len / 4), 1, 256);
        for (int k = 1; k <= steps; ++k) {
            const double t = double(k) / steps, u = 1 - t;
            const double x = u * u * u * p0.first + 3 * u * u * t * p1.first + 3 * u * t * t * p2.first + t * t * t * p3.first;
            const double y = u * u * u * p0.second + 3 * u * u * t * p1.second + 3 * u * t * t * p2.second + t * t * t * p3.second;
            LineTo(dc, int(std::lround(x)), int(std::lround(y)));
        }
    }
    return true;
}

} // namespace platform::gdi
