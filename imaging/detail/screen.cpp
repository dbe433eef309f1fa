// CaptureScreen, and the screen it reads through the X protocol (libxcb,
// what Qt's own X platform speaks): GetImage on the root window in Z
// format, converted from the screen's true-colour pixel layout to blue,
// green, red.
#include "imaging/detail/screen.h"

#include "imaging/detail/image_object.h"
#include "platform/automation/ole.h"
#include "platform/automation/vb_error.h"

#include <xcb/xcb.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace glimmerax {
namespace gdi = platform::gdi;

namespace {

// How long a display may take to answer before the capture gives up.
constexpr int kScreenDeadlineMs = 10000;

// Owns a connection or a reply.
struct Disconnect {
    void operator()(xcb_connection_t* c) const { xcb_disconnect(c); }
};
using Connection = std::unique_ptr<xcb_connection_t, Disconnect>;
struct FreeReply {
    void operator()(void* p) const { std::free(p); }
};

// How the server lays out the pixels of the root window's depth.
struct Layout {
    int bits_per_pixel = 0, scanline_pad = 0;
    bool msb_first = false;
    std::uint32_t mask[3] = {0, 0, 0}; // red, green, blue
};

std::string connection_error(int code, const std::string& display)
{
    switch (code) {
    case XCB_CONN_CLOSED_PARSE_ERR: return "the display name \"" + display + "\" is not valid";
    case XCB_CONN_CLOSED_INVALID_SCREEN: return "the display \"" + display + "\" has no such screen";
    case XCB_CONN_CLOSED_MEM_INSUFFICIENT: return "out of memory opening the display \"" + display + "\"";
    default: return "the display \"" + display + "\" cannot be opened";
    }
}

bool layout_of(const xcb_setup_t* setup, const xcb_screen_t* screen, Layout* out, std::string* why)
{
    const xcb_visualtype_t* visual = nullptr;
    for (auto d = xcb_screen_allowed_depths_iterator(screen); d.rem && !visual; xcb_depth_next(&d))
        for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
            if (v.data->visual_id == screen->root_visual) {
                visual = v.data;
                break;
            }
    if (!visual || visual->_class != XCB_VISUAL_CLASS_TRUE_COLOR || !visual->red_mask || !visual->green_mask ||
        !visual->blue_mask) {
        *why = "the screen's pixels are not true colour";
        return false;
    }
    for (auto f = xcb_setup_pixmap_formats_iterator(setup); f.rem; xcb_format_next(&f))
        if (f.data->depth == screen->root_depth) out->bits_per_pixel = f.data->bits_per_pixel, out->scanline_pad = f.data->scanline_pad;
    const int bpp = out->bits_per_pixel;
    if ((bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) || out->scanline_pad < 8 || out->scanline_pad % 8) {
        *why = "the screen's pixel format is not one of 8, 16, 24 or 32 bits";
        return false;
    }
    out->msb_first = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    out->mask[0] = visual->red_mask, out->mask[1] = visual->green_mask, out->mask[2] = visual->blue_mask;
    return true;
}

// One channel of a pixel value scaled to 0..255.
std::uint8_t channel(std::uint32_t v, std::uint32_t mask)
{
    const int shift = __builtin_ctz(mask), bits = __builtin_popcount(mask);
    const std::uint32_t c = (v & mask) >> shift;
    if (bits >= 8) return std::uint8_t(c >> (bits - 8));
    const std::uint32_t max = (1u << bits) - 1;
    return std::uint8_t((c * 255 + max / 2) / max);
}

// One row of `n` pixels of the server's layout into blue, green, red.
void convert_row(const std::uint8_t* p, int n, const Layout& l, std::uint8_t* out)
{
    const int bytes = l.bits_per_pixel / 8;
    if (bytes == 4 && !l.msb_first && l.mask[0] == 0xFF0000 && l.mask[1] == 0xFF00 && l.mask[2] == 0xFF) {
        for (int i = 0; i < n; ++i, p += 4, out += 3) out[0] = p[0], out[1] = p[1], out[2] = p[2];
        return;
    }
    for (int i = 0; i < n; ++i, p += bytes, out += 3) {
        std::uint32_t v = 0;
        for (int k = 0; k < bytes; ++k) v |= std::uint32_t(p[l.msb_first ? k : bytes - 1 - k]) << (8 * (bytes - 1 - k));
        out[0] = channel(v, l.mask[2]), out[1] = channel(v, l.mask[1]), out[2] = channel(v, l.mask[0]);
    }
}

// The reading itself, on the worker thread.
std::string read_screen(std::string display, std::int64_t x, std::int64_t y, std::int64_t w, std::int64_t h,
                        ScreenPixels* out)
{
    int screen_number = 0;
    Connection c(xcb_connect(display.c_str(), &screen_number));
    if (const int e = xcb_connection_has_error(c.get())) return connection_error(e, display);
    const xcb_setup_t* setup = xcb_get_setup(c.get());
    auto it = xcb_setup_roots_iterator(setup);
    for (int i = 0; i < screen_number && it.rem; ++i) xcb_screen_next(&it);
    if (!it.rem) return connection_error(XCB_CONN_CLOSED_INVALID_SCREEN, display);
    const xcb_screen_t* screen = it.data;
    Layout layout;
    std::string why;
    if (!layout_of(setup, screen, &layout, &why)) return why;

    // The rectangle cut to the screen.
    const std::int64_t left = std::max<std::int64_t>(x, 0), top = std::max<std::int64_t>(y, 0);
    const std::int64_t right = std::min<std::int64_t>(x + w, screen->width_in_pixels);
    const std::int64_t bottom = std::min<std::int64_t>(y + h, screen->height_in_pixels);
    out->x = left, out->y = top;
    if (right <= left || bottom <= top) return "";
    const int cw = int(right - left), ch = int(bottom - top);
    const std::size_t stride = (std::size_t(cw) * std::size_t(layout.bits_per_pixel) + std::size_t(layout.scanline_pad) - 1) /
                               std::size_t(layout.scanline_pad) * std::size_t(layout.scanline_pad) / 8;
    try {
        out->bgr.resize(std::size_t(cw) * std::size_t(ch) * 3);
    } catch (const std::bad_alloc&) {
        return "out of memory for the screen's pixels";
    }
    // Bands of about 4 MB, so that no single answer is huge.
    const int band = int(std::clamp<std::size_t>((std::size_t(4) << 20) / stride, 1, std::size_t(ch)));
    for (int row = 0; row < ch; row += band) {
        const int rows = std::min(band, ch - row);
        xcb_generic_error_t* error = nullptr;
        std::unique_ptr<xcb_get_image_reply_t, FreeReply> reply(xcb_get_image_reply(
            c.get(),
            xcb_get_image(c.get(), XCB_IMAGE_FORMAT_Z_PIXMAP, screen->root, std::int16_t(left), std::int16_t(top + row),
                          std::uint16_t(cw), std::uint16_t(rows), ~0u),
            &error));
        if (error) {
            const int code = error->error_code;
            std::free(error);
            return "the display \"" + display + "\" refused to give the screen's pixels (X error " + std::to_string(code) + ")";
        }
        if (!reply) return "the display \"" + display + "\" closed the connection";
        if (std::size_t(xcb_get_image_data_length(reply.get())) < stride * std::size_t(rows))
            return "the display \"" + display + "\" gave fewer pixels than asked for";
        const std::uint8_t* data = xcb_get_image_data(reply.get());
        for (int r = 0; r < rows; ++r)
            convert_row(data + stride * std::size_t(r), cw, layout, out->bgr.data() + std::size_t(row + r) * std::size_t(cw) * 3);
    }
    out->width = cw, out->height = ch;
    return "";
}

struct ScreenJob {
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    std::string error;
    ScreenPixels pixels;
};

} // namespace

std::string ReadScreen(std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height, int deadline_ms,
                       ScreenPixels* out)
{
    *out = ScreenPixels{};
    out->x = x, out->y = y;
    const char* name = std::getenv("DISPLAY");
    if (!name || !*name) return "there is no display to read the screen from (DISPLAY is not set)";
    const std::string display = name;
    auto job = std::make_shared<ScreenJob>();
    // The worker runs this library's code: it holds the library as a server
    // lock does until it ends, also when the caller gave up waiting.
    ++g_alive;
    try {
        std::thread([job, display, x, y, width, height]() mutable {
            ScreenPixels pixels;
            std::string error = read_screen(display, x, y, width, height, &pixels);
            {
                std::lock_guard g(job->lock);
                job->error = std::move(error);
                job->pixels = std::move(pixels);
                job->done = true;
            }
            job->finished.notify_all();
            job.reset();
            --g_alive;
        }).detach();
    } catch (const std::system_error&) {
        --g_alive;
        return "no thread could be started to read the screen";
    }
    std::unique_lock g(job->lock);
    if (!job->finished.wait_for(g, std::chrono::milliseconds(deadline_ms), [&] { return job->done; }))
        return "the display \"" + display + "\" did not answer within " + std::to_string(deadline_ms / 1000) + " s";
    if (!job->error.empty()) return job->error;
    *out = std::move(job->pixels);
    return "";
}

// CaptureScreen(varXDest, varYDest, varWidth, varHeight, varX, varY):
// copies that rectangle of the screen at (varX, varY) into the current
// target at the destination, cut to the screen and to the target. A screen
// that cannot be read raises E_FAIL and leaves the target as it was.
void ImageObject::CaptureScreen(Args& a)
{
    gdi::Section target;
    if (!ready_) return;
    gdi::GdiFlush();
    if (!gdi::GetSection(gdi::CurrentBitmap(target_dc_), &target)) return; // no picture yet: nothing to draw on
    const std::int64_t xd = Num(a[0]), yd = Num(a[1]), w = Num(a[2]), h = Num(a[3]), xs = Num(a[4]), ys = Num(a[5]);
    // Only the part of the screen that lands on the target is read.
    const std::int64_t left = std::max(xs, xs - xd), top = std::max(ys, ys - yd);
    const std::int64_t right = std::min(xs + w, xs - xd + target.width), bottom = std::min(ys + h, ys - yd + target.height);
    ScreenPixels px;
    const std::string why = ReadScreen(left, top, std::max<std::int64_t>(0, right - left),
                                       std::max<std::int64_t>(0, bottom - top), kScreenDeadlineMs, &px);
    if (!why.empty()) throw platform::VbError(std::int32_t(platform::E_FAIL), "glimmerax.image", "Automation error: " + why);
    const std::int64_t x0 = xd + (px.x - xs), y0 = yd + (px.y - ys);
    for (int r = 0; r < px.height; ++r) {
        const std::int64_t ty = y0 + r;
        if (ty < 0 || ty >= target.height) continue;
        const std::int64_t from = std::max<std::int64_t>(0, -x0), to = std::min<std::int64_t>(px.width, target.width - x0);
        if (from >= to) continue;
        std::memcpy(target.row(int(ty)) + (x0 + from) * 3, px.bgr.data() + (std::size_t(r) * std::size_t(px.width) + std::size_t(from)) * 3,
                    std::size_t(to - from) * 3);
    }
}

} // namespace glimmerax
