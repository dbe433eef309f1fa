// JPEG over libjpeg: the stream source, the size reader, the decoder into a
// section, the encoder with its growing output block, and JpegImage.
#include "imaging/detail/image_object.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <jerror.h>

namespace glimmerax {
namespace gdi = platform::gdi;

namespace {

// libjpeg's memory for one picture; past it the library fails (a file that
// merely claims a huge size cannot take gigabytes).
constexpr long kJpegMemory = 192L << 20;

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

void* pool(j_common_ptr c, int id, std::size_t n) { return (*c->mem->alloc_small)(c, id, n); }

// Attaches the stream source and caps the library's memory.
void attach(jpeg_decompress_struct& cinfo, ImageStream& s)
{
    auto* c = reinterpret_cast<j_common_ptr>(&cinfo);
    cinfo.mem->max_memory_to_use = kJpegMemory;
    auto* src = static_cast<JpegSource*>(pool(c, JPOOL_PERMANENT, sizeof(JpegSource)));
    src->buffer = static_cast<JOCTET*>(pool(c, JPOOL_PERMANENT, 4096));
    src->stream = &s;
    src->pub.init_source = jpeg_init_source;
    src->pub.fill_input_buffer = jpeg_fill;
    src->pub.skip_input_data = jpeg_skip;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = jpeg_term;
    src->pub.bytes_in_buffer = 0;
    src->pub.next_input_byte = nullptr;
    cinfo.src = &src->pub;
}

void quiet_errors(JpegError& err, jpeg_error_mgr* (*std_error)(jpeg_error_mgr*))
{
    std_error(&err.pub);
    err.pub.error_exit = jpeg_fail;
    err.pub.output_message = jpeg_quiet;
}

} // namespace

bool JpegCodec::ReadSize(ImageStream& s, std::int32_t* width, std::int32_t* height)
{
    *width = *height = 0;
    jpeg_decompress_struct cinfo;
    JpegError err;
    quiet_errors(err, jpeg_std_error);
    cinfo.err = &err.pub;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        *width = *height = 0;
        return false;
    }
    jpeg_create_decompress(&cinfo);
    attach(cinfo, s);
    jpeg_read_header(&cinfo, TRUE);
    *width = std::int32_t(cinfo.image_width);
    *height = std::int32_t(cinfo.image_height);
    jpeg_destroy_decompress(&cinfo);
    return *width > 0 && *height > 0;
}

// Decodes into the section at (x, y). Rows below the section are never
// decoded. A multi-scan (progressive) file is read whole into the library's
// coefficient buffers and output once: the final picture, in one pass.
void JpegCodec::Decode(ImageStream& s, const gdi::Section& target, int x, int y)
{
    if (x > target.width || y > target.height) return;
    jpeg_decompress_struct cinfo;
    JpegError err;
    quiet_errors(err, jpeg_std_error);
    cinfo.err = &err.pub;
    if (setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo); // rows already drawn stay
        return;
    }
    jpeg_create_decompress(&cinfo);
    attach(cinfo, s);
    jpeg_read_header(&cinfo, TRUE);
    const std::int64_t iw = cinfo.image_width, ih = cinfo.image_height;
    // Only one- and three-component output is drawn; others are not decoded.
    const bool drawable = cinfo.out_color_space == JCS_GRAYSCALE || cinfo.out_color_space == JCS_RGB;
    if (x <= -iw || y <= -ih || !drawable) {
        jpeg_destroy_decompress(&cinfo);
        return;
    }
    // Grey and colour alike come out in the canvas's blue, green, red order.
    cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);
    const std::int64_t ow = cinfo.output_width;
    const std::int64_t last = std::min<std::int64_t>(cinfo.output_height, std::int64_t(target.height) - y);
    const int x0 = std::max(0, x), x1 = int(std::min<std::int64_t>(target.width, x + ow));
    // A row that lies whole on the section is decoded in place; others go
    // through a row buffer and only their visible part is copied.
    const bool in_place = x >= 0 && x + ow <= target.width;
    JSAMPARRAY buffer = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                                   JDIMENSION(ow * 3), 1);
    for (std::int64_t r = 0; r < last; ++r) {
        const std::int64_t ty = y + r;
        if (ty >= 0 && in_place) {
            JSAMPROW row = target.row(int(ty)) + std::size_t(x) * 3;
            jpeg_read_scanlines(&cinfo, &row, 1);
            continue;
        }
        jpeg_read_scanlines(&cinfo, buffer, 1);
        if (ty >= 0 && x0 < x1)
            std::memcpy(target.row(int(ty)) + std::size_t(x0) * 3, buffer[0] + std::size_t(x0 - x) * 3, std::size_t(x1 - x0) * 3);
    }
    // Rows past the section stay unread: abort rather than finish.
    jpeg_destroy_decompress(&cinfo);
}

namespace {

// The output block: grows in steps of 64 KiB; a failed growth is the
// library's write error.
struct JpegDestination {
    jpeg_destination_mgr pub;
    JOCTET* buffer;
    std::vector<std::uint8_t>* out;
};

constexpr std::size_t kDestBuffer = 4096;

bool append(JpegDestination* d, std::size_t n)
{
    try {
        std::size_t need = d->out->size() + n;
        if (need > d->out->capacity()) d->out->reserve((need / 65536 + 1) * 65536);
        d->out->insert(d->out->end(), d->buffer, d->buffer + n);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

void dest_init(j_compress_ptr c)
{
    auto* d = reinterpret_cast<JpegDestination*>(c->dest);
    d->buffer = static_cast<JOCTET*>(pool(reinterpret_cast<j_common_ptr>(c), JPOOL_IMAGE, kDestBuffer));
    d->pub.next_output_byte = d->buffer;
    d->pub.free_in_buffer = kDestBuffer;
}

boolean dest_empty(j_compress_ptr c)
{
    auto* d = reinterpret_cast<JpegDestination*>(c->dest);
    if (!append(d, kDestBuffer)) ERREXIT(c, JERR_FILE_WRITE); // "Output file write error --- out of disk space?"
    d->pub.next_output_byte = d->buffer;
    d->pub.free_in_buffer = kDestBuffer;
    return TRUE;
}

void dest_term(j_compress_ptr c)
{
    auto* d = reinterpret_cast<JpegDestination*>(c->dest);
    if (!append(d, kDestBuffer - d->pub.free_in_buffer)) ERREXIT(c, JERR_FILE_WRITE);
}

} // namespace

std::vector<std::uint8_t> JpegEncode(const gdi::Section& canvas, int x, int y, int w, int h, int quality,
                                     bool progressive, std::uint16_t resolution)
{
    std::vector<std::uint8_t> out;
    jpeg_compress_struct cinfo;
    JpegError err;
    quiet_errors(err, jpeg_std_error);
    cinfo.err = &err.pub;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return {};
    }
    jpeg_create_compress(&cinfo);
    auto* d = static_cast<JpegDestination*>(
        pool(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_PERMANENT, sizeof(JpegDestination)));
    d->out = &out;
    d->pub.init_destination = dest_init;
    d->pub.empty_output_buffer = dest_empty;
    d->pub.term_destination = dest_term;
    cinfo.dest = &d->pub;
    cinfo.image_width = JDIMENSION(w);
    cinfo.image_height = JDIMENSION(h);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_EXT_BGR; // the canvas's order: its rows go in as they are
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (progressive) jpeg_simple_progression(&cinfo);
    if (resolution) {
        cinfo.density_unit = 1;
        cinfo.X_density = cinfo.Y_density = resolution;
    }
    jpeg_start_compress(&cinfo, TRUE);
    for (int r = 0; r < h; ++r) {
        JSAMPROW row = canvas.row(y + r) + std::size_t(x) * 3;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return out;
}

// JpegImage(varQuality, varProgress, varFile, varX, varY, varWidth,
//           varHeight, varRes[out])
void ImageObject::JpegImage(Args& a)
{
    gdi::Section canvas;
    int x, y, w, h;
    if (!CanvasSection(&canvas) || !CanvasRect(a, 3, &x, &y, &w, &h)) return;
    std::int32_t quality = Num(a[0]);
    if (quality < 0 || quality > 100) quality = 75;
    // Only the number 1 selects progressive mode (True is -1).
    const bool progressive = !a[1].IsMissing() && Num(a[1]) == 1;
    std::vector<std::uint8_t> bytes = JpegEncode(canvas, x, y, w, h, quality, progressive, std::uint16_t(resolution_));
    if (bytes.empty()) return;
    WriteOut(a[2], a[7], std::move(bytes), false);
}

} // namespace glimmerax
