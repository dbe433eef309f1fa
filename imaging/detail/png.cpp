// PNG over libpng: the size reader, the decoder that blends into a section,
// the encoder and PngImage.
#include "imaging/detail/image_object.h"

#include <csetjmp>
#include <cmath>
#include <cstring>

#include <png.h>

namespace glimmerax {
namespace gdi = platform::gdi;

namespace {

void png_read(png_structp png, png_bytep data, png_size_t length)
{
    auto* s = static_cast<ImageStream*>(png_get_io_ptr(png));
    std::uint32_t got = 0;
    if (length > 0xFFFFFFFFu || !s->Read(data, std::uint32_t(length), &got) || got != length) png_error(png, "short read");
}
void png_fail(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void png_warn(png_structp, png_const_charp) {}

void png_write(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<std::vector<std::uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}
void png_flush(png_structp) {}

// A reader that is destroyed on every way out.
struct PngRead {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngRead() : png(png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, png_fail, png_warn))
    {
        if (png) info = png_create_info_struct(png);
    }
    ~PngRead() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

bool signature(ImageStream& s)
{
    png_byte sig[8];
    return s.ReadFull(sig, 8) && png_sig_cmp(sig, 0, 8) == 0;
}

void read_palette(png_structp png, png_infop info, Palette* palette)
{
    png_colorp pal = nullptr;
    int n = 0;
    if (png_get_PLTE(png, info, &pal, &n) && pal)
        for (int i = 0; i < n && i < 256; ++i) palette->push_back({pal[i].red, pal[i].green, pal[i].blue});
}

// A bKGD sample scaled as the picture's samples are: the high byte of 16
// bits, low bit depths expanded to 0..255.
std::uint8_t scale_sample(unsigned v, int depth)
{
    if (depth == 16) return std::uint8_t(v >> 8);
    if (depth == 8) return std::uint8_t(v);
    unsigned max = (1u << depth) - 1;
    return std::uint8_t(std::min(v, max) * 255 / max);
}

} // namespace

bool PngCodec::ReadSize(ImageStream& s, std::int32_t* width, std::int32_t* height, Palette* palette)
{
    *width = *height = 0;
    palette->clear();
    if (!signature(s)) return false;
    PngRead r;
    if (!r.info) return false;
    if (setjmp(png_jmpbuf(r.png))) {
        *width = *height = 0;
        palette->clear();
        return false;
    }
    png_set_read_fn(r.png, &s, png_read);
    png_set_sig_bytes(r.png, 8);
    png_read_info(r.png, r.info);
    png_uint_32 w = png_get_image_width(r.png, r.info), h = png_get_image_height(r.png, r.info);
    read_palette(r.png, r.info, palette);
    *width = std::int32_t(w);
    *height = std::int32_t(h);
    return w > 0 && h > 0;
}

void PngCodec::Decode(ImageStream& s, const gdi::Section& target, int x, int y, bool transparency, Palette* palette)
{
    palette->clear();
    if (!signature(s)) return;
    PngRead r;
    if (!r.info) return;
    std::vector<png_byte> row;
    if (setjmp(png_jmpbuf(r.png))) return; // rows already drawn stay
    png_set_read_fn(r.png, &s, png_read);
    png_set_sig_bytes(r.png, 8);
    png_read_info(r.png, r.info);
    png_uint_32 w = 0, h = 0;
    int depth, color, interlace, compression, filter;
    png_get_IHDR(r.png, r.info, &w, &h, &depth, &color, &interlace, &compression, &filter);
    read_palette(r.png, r.info, palette);

    bool has_bg = false;
    std::uint8_t bg[3] = {0, 0, 0};
    png_color_16p b = nullptr;
    if (png_get_bKGD(r.png, r.info, &b) && b) {
        if (color == PNG_COLOR_TYPE_PALETTE) {
            if (b->index < palette->size()) {
                const auto& e = (*palette)[b->index];
                bg[0] = e[0], bg[1] = e[1], bg[2] = e[2];
                has_bg = true;
            }
        } else if (color & PNG_COLOR_MASK_COLOR) {
            bg[0] = scale_sample(b->red, depth), bg[1] = scale_sample(b->green, depth), bg[2] = scale_sample(b->blue, depth);
            has_bg = true;
        } else {
            bg[0] = bg[1] = bg[2] = scale_sample(b->gray, depth);
            has_bg = true;
        }
    }

    if (depth < 8 || color == PNG_COLOR_TYPE_PALETTE) png_set_expand(r.png);
    if (color == PNG_COLOR_TYPE_GRAY || color == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(r.png);
    if (depth > 8) png_set_strip_16(r.png);
    // Without alpha or a transparent colour every pixel is opaque: whatever
    // the background, it is the picture's own colour. Such rows come in the
    // canvas's blue, green, red order and need no blending.
    const bool opaque = !(color & PNG_COLOR_MASK_ALPHA) && !png_get_valid(r.png, r.info, PNG_INFO_tRNS) &&
                        interlace == PNG_INTERLACE_NONE;
    if (opaque) png_set_bgr(r.png);
    else if (!(color & PNG_COLOR_MASK_ALPHA)) png_set_filler(r.png, 255, PNG_FILLER_AFTER);
    const int passes = interlace == PNG_INTERLACE_ADAM7 ? png_set_interlace_handling(r.png) : 1;
    png_read_update_info(r.png, r.info);

    if (x >= target.width || y >= target.height || x + std::int64_t(w) <= 0 || y + std::int64_t(h) <= 0) return;
    row.resize(png_get_rowbytes(r.png, r.info) + 4);

    if (opaque) {
        // Rows past the section's last are never read; a row that lies whole
        // on the section is read in place.
        const std::int64_t last = std::min<std::int64_t>(h, std::int64_t(target.height) - y);
        const bool in_place = x >= 0 && x + std::int64_t(w) <= target.width;
        const std::int64_t from = std::max(0, x), to = std::min<std::int64_t>(target.width, x + std::int64_t(w));
        for (std::int64_t j = 0; j < last; ++j) {
            if (y + j >= 0 && in_place) {
                png_read_row(r.png, target.row(int(y + j)) + std::size_t(x) * 3, nullptr);
                continue;
            }
            png_read_row(r.png, row.data(), nullptr);
            if (y + j >= 0)
                std::memcpy(target.row(int(y + j)) + from * 3, row.data() + (from - x) * 3, std::size_t(to - from) * 3);
        }
        return;
    }

    // Puts image pixel (i, j) onto the section: over the background colour
    // when there is one, blended by its alpha. An opaque pixel is itself.
    auto put_at = [&](std::uint8_t* q, const png_byte* p) {
        const unsigned a = transparency ? p[3] : 255;
        if (a == 255) {
            q[0] = p[2], q[1] = p[1], q[2] = p[0];
            return;
        }
        if (has_bg) q[0] = bg[2], q[1] = bg[1], q[2] = bg[0];
        for (int c = 0; c < 3; ++c) q[c] = std::uint8_t(((255 - a) * q[c] + a * p[2 - c]) / 255);
    };
    auto put = [&](std::int64_t i, std::int64_t j) {
        std::int64_t tx = x + i, ty = y + j;
        if (tx < 0 || ty < 0 || tx >= target.width || ty >= target.height) return;
        put_at(target.row(int(ty)) + tx * 3, row.data() + i * 4);
    };

    if (passes == 1) {
        // Rows past the section's last are never read.
        const std::int64_t last = std::min<std::int64_t>(h, std::int64_t(target.height) - y);
        const std::int64_t i0 = std::max<std::int64_t>(0, -x), i1 = std::min<std::int64_t>(w, std::int64_t(target.width) - x);
        for (std::int64_t j = 0; j < last; ++j) {
            png_read_row(r.png, row.data(), nullptr);
            if (y + j < 0) continue;
            std::uint8_t* q = target.row(int(y + j)) + (x + i0) * 3;
            for (std::int64_t i = i0; i < i1; ++i, q += 3) put_at(q, row.data() + i * 4);
        }
        return;
    }
    static constexpr int col0[7] = {0, 4, 0, 2, 0, 1, 0}, colstep[7] = {8, 8, 4, 4, 2, 2, 1};
    static constexpr int row0[7] = {0, 0, 4, 0, 2, 0, 1}, rowstep[7] = {8, 8, 8, 4, 4, 2, 2};
    for (int p = 0; p < 7; ++p)
        for (std::int64_t j = 0; j < std::int64_t(h); ++j) {
            png_read_row(r.png, row.data(), nullptr);
            if (j < row0[p] || (j - row0[p]) % rowstep[p]) continue;
            for (std::int64_t i = col0[p]; i < std::int64_t(w); i += colstep[p]) put(i, j);
        }
}

std::vector<std::uint8_t> PngCodec::Encode(const gdi::Section& canvas, int x, int y, int w, int h,
                                           const Palette& palette, bool indexed, int transparent,
                                           std::int32_t resolution)
{
    std::vector<std::uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, png_fail, png_warn);
    if (!png) return {};
    png_infop info = png_create_info_struct(png);
    std::vector<png_byte> row;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return {};
    }
    png_set_write_fn(png, &out, png_write, png_flush);
    const int n = int(palette.size());
    const int depth = !indexed ? 8 : n <= 2 ? 1 : n <= 4 ? 2 : n <= 16 ? 4 : 8;
    png_set_IHDR(png, info, png_uint_32(w), png_uint_32(h), depth, indexed ? PNG_COLOR_TYPE_PALETTE : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    Palette written = palette;
    if (indexed) {
        // The transparent entry becomes entry 0; an index outside the
        // palette marks nothing.
        if (transparent >= 0 && transparent < n) {
            std::swap(written[0], written[std::size_t(transparent)]);
            static png_byte zero = 0;
            png_set_tRNS(png, info, &zero, 1, nullptr);
        }
        std::vector<png_color> pc;
        for (const auto& e : written) pc.push_back({e[0], e[1], e[2]});
        png_set_PLTE(png, info, pc.data(), n);
    } else if (transparent >= 0 && transparent < n) {
        const auto& e = palette[std::size_t(transparent)];
        png_color_16 c{0, e[0], e[1], e[2], 0};
        png_set_tRNS(png, info, nullptr, 0, &c);
    }
    if (resolution) {
        auto ppm = png_uint_32(std::lround(resolution * 39.37007874015748));
        png_set_pHYs(png, info, ppm, ppm, PNG_RESOLUTION_METER);
    }
    png_write_info(png, info);
    ExactIndex index(written.data(), indexed ? n : 0);
    row.resize(std::size_t(w) * 3 + 1);
    for (int r = 0; r < h; ++r) {
        const std::uint8_t* in = canvas.row(y + r) + std::size_t(x) * 3;
        if (!indexed) {
            for (int i = 0; i < w; ++i) row[i * 3] = in[i * 3 + 2], row[i * 3 + 1] = in[i * 3 + 1], row[i * 3 + 2] = in[i * 3];
        } else {
            std::fill(row.begin(), row.end(), 0);
            for (int i = 0; i < w; ++i) {
                unsigned v = index(in + i * 3);
                std::size_t bit = std::size_t(i) * std::size_t(depth);
                row[bit / 8] |= png_byte(v << (8 - depth - bit % 8));
            }
        }
        png_write_row(png, row.data());
    }
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return out;
}

// PngImage(vTransparent, vColorMode, vFilePath, vX, vY, vWidth, vHeight, res[out])
void ImageObject::PngImage(Args& a)
{
    gdi::Section canvas;
    int x, y, w, h;
    std::string name;
    if (!CanvasSection(&canvas) || !Text(a[2], &name) || !CanvasRect(a, 3, &x, &y, &w, &h)) return;
    int transparent = a[0].IsMissing() ? -1 : std::min(Num(a[0]), 255);
    const bool indexed = !a[1].IsMissing() && Num(a[1]) > 0;
    Palette pal(palette_.begin(), palette_.begin() + (indexed ? palette_size_ : 256));
    std::vector<std::uint8_t> bytes = PngCodec::Encode(canvas, x, y, w, h, pal, indexed, transparent, resolution_);
    if (bytes.empty()) return; // nothing produced leaves res false
    WriteOut(a[2], a[7], std::move(bytes), true);
}

} // namespace glimmerax
