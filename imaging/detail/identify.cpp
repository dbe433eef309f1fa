// What a source holds and how big it is (GetFileDimensions), and the drawing
// of a source into the canvas (ReadImage).
#include "imaging/detail/image_object.h"
#include "imaging/detail/tiff_reader.h"
#include "imaging/glimmerax.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>
#include <png.h>

namespace glimmerax {
namespace gdi = platform::gdi;

namespace {

std::uint32_t le16(const std::uint8_t* p) { return p[0] | p[1] << 8; }
std::uint32_t le32(const std::uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24; }

// a × b / c rounded half away from zero, as MulDiv does.
std::int32_t MulDiv(std::int64_t a, std::int64_t b, std::int64_t c)
{
    if (c == 0) return -1;
    std::int64_t p = a * b;
    bool neg = (p < 0) != (c < 0);
    std::int64_t q = (std::llabs(p) + std::llabs(c) / 2) / std::llabs(c);
    return std::int32_t(neg ? -q : q);
}

// ---- JPEG size ------------------------------------------------------------

struct JpegSource {
    jpeg_source_mgr pub;
    ImageStream* stream;
    JOCTET* buffer;
    bool start_of_file;
};

struct JpegError {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void jpeg_init_source(j_decompress_ptr cinfo) { reinterpret_cast<JpegSource*>(cinfo->src)->start_of_file = true; }

boolean jpeg_fill(j_decompress_ptr cinfo)
{
    auto* src = reinterpret_cast<JpegSource*>(cinfo->src);
    std::uint32_t got = 0;
    src->stream->Read(src->buffer, 4096, &got);
    if (got == 0) {
        if (src->start_of_file) ERREXIT(cinfo, JERR_INPUT_EMPTY); // "Empty input file"
        WARNMS(cinfo, JWRN_JPEG_EOF);                                // "Premature end of JPEG file"
        src->buffer[0] = 0xFF;                                       // a fake EOI
        src->buffer[1] = JPEG_EOI;
        got = 2;
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = got;
    src->start_of_file = false;
    return TRUE;
}

void jpeg_skip(j_decompress_ptr cinfo, long count)
{
    auto* src = reinterpret_cast<JpegSource*>(cinfo->src);
    if (count <= 0) return;
    while (count > long(src->pub.bytes_in_buffer)) {
        count -= long(src->pub.bytes_in_buffer);
        jpeg_fill(cinfo);
    }
    src->pub.next_input_byte += count;
    src->pub.bytes_in_buffer -= std::size_t(count);
}

void jpeg_term(j_decompress_ptr) {}

void jpeg_quiet(j_common_ptr) {}
[[noreturn]] void jpeg_fail(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<JpegError*>(cinfo->err)->jump, 1); }

} // namespace

bool JpegCodec::ReadSize(ImageStream& s, std::int32_t* width, std::int32_t* height)
{
    *width = *height = 0;
    jpeg_decompress_struct cinfo;
    JpegError err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = jpeg_fail;
    err.pub.output_message = jpeg_quiet;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        *width = *height = 0;
        return false;
    }
    jpeg_create_decompress(&cinfo);
    auto* src = static_cast<JpegSource*>(
        (*cinfo.mem->alloc_small)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_PERMANENT, sizeof(JpegSource)));
    src->buffer = static_cast<JOCTET*>(
        (*cinfo.mem->alloc_small)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_PERMANENT, 4096));
    src->stream = &s;
    src->pub.init_source = jpeg_init_source;
    src->pub.fill_input_buffer = jpeg_fill;
    src->pub.skip_input_data = jpeg_skip;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = jpeg_term;
    src->pub.bytes_in_buffer = 0;
    src->pub.next_input_byte = nullptr;
    cinfo.src = &src->pub;
    jpeg_read_header(&cinfo, TRUE);
    *width = std::int32_t(cinfo.image_width);
    *height = std::int32_t(cinfo.image_height);
    jpeg_destroy_decompress(&cinfo);
    return *width > 0 && *height > 0;
}

// ---- PNG size -------------------------------------------------------------

namespace {
void png_read(png_structp png, png_bytep data, png_size_t length)
{
    auto* s = static_cast<ImageStream*>(png_get_io_ptr(png));
    std::uint32_t got = 0;
    if (length > 0xFFFFFFFFu || !s->Read(data, std::uint32_t(length), &got) || got != length) png_error(png, "short read");
}
void png_fail(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void png_warn(png_structp, png_const_charp) {}
} // namespace

bool PngCodec::ReadSize(ImageStream& s, std::int32_t* width, std::int32_t* height, Palette* palette)
{
    *width = *height = 0;
    palette->clear();
    png_byte sig[8];
    if (!s.ReadFull(sig, 8) || png_sig_cmp(sig, 0, 8) != 0) return false;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, png_fail, png_warn);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        *width = *height = 0;
        palette->clear();
        return false;
    }
    png_set_read_fn(png, &s, png_read);
    png_set_sig_bytes(png, 8);
    png_read_info(png, info);
    png_uint_32 w = 0, h = 0;
    int depth, color, interlace, compression, filter;
    png_get_IHDR(png, info, &w, &h, &depth, &color, &interlace, &compression, &filter);
    png_colorp pal = nullptr;
    int n = 0;
    if (png_get_PLTE(png, info, &pal, &n) && pal)
        for (int i = 0; i < n && i < 256; ++i) palette->push_back({pal[i].red, pal[i].green, pal[i].blue});
    png_destroy_read_struct(&png, &info, nullptr);
    *width = std::int32_t(w);
    *height = std::int32_t(h);
    return w > 0 && h > 0;
}

// ---- identification -------------------------------------------------------

Identity Identify(ImageStream& s, bool advanced_check, int ppi_x, int ppi_y)
{
    Identity id;
    std::uint8_t head[13];
    std::uint32_t got = 0;
    s.Read(head, 13, &got);
    if (got == 13) {
        if (!std::memcmp(head, "GIF87a", 6) || !std::memcmp(head, "GIF89a", 6)) {
            id.kind = 1;
            id.width = std::int32_t(le16(head + 6));
            id.height = std::int32_t(le16(head + 8));
            id.has_palette = true;
            if (head[10] & 0x80) {
                std::size_t n = std::size_t(2) << (head[10] & 7);
                std::vector<std::uint8_t> table(n * 3);
                s.Read(table.data(), std::uint32_t(table.size()), &got); // missing bytes read as zeros
                for (std::size_t i = 0; i < n; ++i) id.palette.push_back({table[i * 3], table[i * 3 + 1], table[i * 3 + 2]});
            } else {
                id.palette = {{0, 0, 0}, {255, 255, 255}};
            }
            return id;
        }
        if (head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) {
            s.Seek(0);
            std::int32_t w, h;
            if (JpegCodec::ReadSize(s, &w, &h)) {
                id.kind = 2, id.width = w, id.height = h;
                return id;
            }
        } else if (head[0] == 'B' && head[1] == 'M') {
            std::uint8_t fh[14], info[40];
            s.Seek(0);
            if (!s.ReadFull(fh, 14)) fh[10] = fh[11] = fh[12] = fh[13] = 0xFF;
            std::uint32_t file_size = le32(fh + 2), pixel_offset = le32(fh + 10);
            if (s.Size() >= file_size && pixel_offset < file_size && s.ReadFull(info, 40)) {
                std::int32_t w = std::int32_t(le32(info + 4)), h = std::int32_t(le32(info + 8));
                int bits = int(le16(info + 14));
                if (w > 0 && h > 0 && le32(info) == 40 && le16(info + 12) == 1) {
                    id.kind = 3, id.width = w, id.height = h;
                    if (bits == 1 || bits == 4 || bits == 8) {
                        std::size_t n = std::size_t(1) << bits;
                        std::vector<std::uint8_t> table(n * 4);
                        s.Read(table.data(), std::uint32_t(table.size()), &got);
                        for (std::size_t i = 0; i < n; ++i) id.palette.push_back({table[i * 4 + 2], table[i * 4 + 1], table[i * 4]});
                        id.has_palette = true;
                    }
                    return id;
                }
            }
        }
    }
    // PNG
    s.Seek(0);
    {
        std::int32_t w, h;
        Palette pal;
        if (PngCodec::ReadSize(s, &w, &h, &pal) && w >= 1 && h >= 1) {
            id.kind = 5, id.width = w, id.height = h;
            id.has_palette = !pal.empty();
            id.palette = std::move(pal);
            return id;
        }
    }
    // TIFF
    if (got >= 2 && ((head[0] == 'I' && head[1] == 'I') || (head[0] == 'M' && head[1] == 'M'))) {
        s.Seek(0);
        TiffReader tiff;
        if (tiff.Open(s, true, true) && tiff.HasSize()) {
            id.kind = 6, id.width = tiff.Width(), id.height = tiff.Height();
            id.palette = tiff.GetPalette();
            id.has_palette = !id.palette.empty();
            return id;
        }
    }
    // Placeable metafile
    if (advanced_check && s.Size() > 22) {
        std::uint8_t m[22];
        if (s.Seek(0) && s.ReadFull(m, 22) && le32(m) == 0x9AC6CDD7u) {
            std::int32_t units = std::int32_t(le16(m + 14));
            auto s16 = [&](int at) { return std::int32_t(std::int16_t(le16(m + at))); };
            std::int32_t left = s16(6), top = s16(8), right = s16(10), bottom = s16(12);
            if (units != 0 && left < right && top < bottom) {
                id.kind = 4;
                id.width = MulDiv(right - left + 1, ppi_x, units);
                id.height = MulDiv(bottom - top + 1, ppi_y, units);
            }
        }
    }
    return id;
}

// GetFileDimensions(varName, varX[out], varY[out], varPal[out] opt, res[out])
void ImageObject::GetFileDimensions(Args& a)
{
    last_x_ = last_y_ = 0;
    const Variant& source = a[0];
    if (source.IsObject()) {
        platform::ObjectRef other = source.ToObject();
        if (!other || !other->QueryInterface(IID_IGlimmerax)) return;
        Args status{Variant()};
        other->Invoke(0x49, platform::InvokeKind::Method, status); // failures pass on to the caller
        const auto* st = status[0].BytesPtr();
        if (!st || st->size() < 12) return;
        std::uint32_t dc = le32(st->data() + 4), bmp = le32(st->data() + 8);
        if (dc != target_dc_ && bmp != 0) {
            std::int32_t w = std::int32_t(le16(st->data())), h = std::int32_t(le16(st->data() + 2));
            a[4] = Variant(std::int32_t(1000));
            a[1] = Variant(w);
            a[2] = Variant(h);
            last_x_ = w, last_y_ = h;
        }
        return;
    }
    ImageStream s;
    if (!OpenSource(source, s)) return;
    Identity id = Identify(s, advanced_check_, ppi_x_, ppi_y_);
    if (!id.kind) return;
    a[4] = Variant(std::int32_t(id.kind));
    a[1] = Variant(id.width);
    a[2] = Variant(id.height);
    if (id.has_palette) SetOut(a, 3, PaletteVariant(id.palette));
    last_x_ = id.width, last_y_ = id.height;
}

// ReadImage(varFile, varPal, varX, varY, varUseTransparency opt,
//           varFramesCount[out] opt, res[out])
void ImageObject::ReadImage(Args& a)
{
    SetOut(a, 1, Variant());
    if (!bits_) return;
    std::int32_t x = Num(arg(a, 2)), y = Num(arg(a, 3));
    const Variant& source = a[0];
    if (source.IsObject()) {
        platform::ObjectRef other = source.ToObject();
        if (!other || !other->QueryInterface(IID_IGlimmerax)) return;
        Args status{Variant()};
        other->Invoke(0x49, platform::InvokeKind::Method, status);
        const auto* st = status[0].BytesPtr();
        if (!st || st->size() < 12) return;
        std::uint32_t dc = le32(st->data() + 4);
        if (dc == target_dc_) return;
        gdi::GdiFlush();
        gdi::BitBlt(target_dc_, x, y, std::int32_t(le16(st->data())), std::int32_t(le16(st->data() + 2)), dc, 0, 0,
                    gdi::SRCCOPY);
        a[6] = Variant(std::int32_t(1000));
        return;
    }
    Args dims{source, Variant(), Variant(), Variant(), Variant()};
    GetFileDimensions(dims);
    int kind = Num(dims[4]);
    ImageStream s;
    if (!kind || !OpenSource(source, s)) return;
    gdi::GdiFlush();
    switch (kind) {
    case 3: {
        Palette pal;
        BmpReader::Read(s, target_dc_, x, y, &pal);
        SetOut(a, 1, PaletteVariant(pal));
        SetOut(a, 5, Variant(std::int32_t(1)));
        a[6] = Variant(std::int32_t(3));
        break;
    }
    case 6: {
        TiffReader tiff;
        if (!tiff.Open(s, true, true)) return;
        gdi::Section sec;
        if (gdi::GetSection(gdi::CurrentBitmap(target_dc_), &sec)) tiff.Decode(sec, x, y);
        SetOut(a, 1, PaletteVariant(tiff.GetPalette()));
        SetOut(a, 5, Variant(std::int32_t(tiff.PageCount())));
        a[6] = Variant(std::int32_t(6));
        break;
    }
    default: break; // the other decoders are not built yet
    }
}

} // namespace glimmerax
