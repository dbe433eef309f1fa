// OLE objects and pictures: DrawObject, CheckObject, and the picture
// helpers of GetFileDimensions and ReadImage.
//
// An object is used through the view object it offers. Linux has no OLE
// servers that would load a file as an object, so a file name draws
// nothing and measures 0, 0.
#include "imaging/detail/image_object.h"
#include "platform/automation/vb_error.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

namespace glimmerax {
namespace gdi = platform::gdi;

namespace {

// The object of an OLE source argument; null for anything else.
platform::ObjectRef ole_source(const Variant& v) { return v.IsObject() ? v.ToObject() : nullptr; }

platform::ViewObject* view_of(const platform::ObjectRef& o)
{
    return o ? static_cast<platform::ViewObject*>(o->QueryInterface(platform::IID_IViewObject2)) : nullptr;
}

// The content extent in pixels; 0, 0 when the object cannot tell it.
void content_size(platform::ViewObject* view, int ppi_x, int ppi_y, std::int32_t* x, std::int32_t* y)
{
    std::int32_t cx = 0, cy = 0;
    if (view->GetExtent(platform::DVASPECT_CONTENT, &cx, &cy) != platform::S_OK) return;
    *x = MulDiv(cx, ppi_x, platform::HimetricPerInch);
    *y = MulDiv(cy, ppi_y, platform::HimetricPerInch);
}

// What a CheckObject worker shares with its caller. The worker has its own
// copy of the pixels per inch and writes only here, so the caller may give
// up waiting and even release the image object while it still runs; the
// block lives until both have let go of it.
struct CheckJob {
    std::mutex lock;
    std::condition_variable finished;
    bool done = false;
    std::int32_t x = 0, y = 0;
};

} // namespace

platform::DrawTarget DrawTargetOf(const gdi::Section& s) { return {s.width, s.height, s.stride, s.bits}; }

platform::Picture* PictureOf(const platform::ObjectRef& o)
{
    return o ? static_cast<platform::Picture*>(o->QueryInterface(platform::IID_IPicture)) : nullptr;
}

bool PictureSize(platform::Picture* picture, int ppi_x, int ppi_y, PictureExtent* out)
{
    if (picture->Width(&out->himetric_x) != platform::S_OK || picture->Height(&out->himetric_y) != platform::S_OK)
        return false;
    out->x = MulDiv(out->himetric_x, ppi_x, platform::HimetricPerInch);
    out->y = MulDiv(out->himetric_y, ppi_y, platform::HimetricPerInch);
    return true;
}

// DrawObject(oleObject, howVar, xVar, yVar, widthVar, heightVar, varClass opt, res[out])
void ImageObject::DrawObject(Args& a)
{
    gdi::Section s;
    if (!bits_ || !TargetSection(&s)) return;
    const platform::ObjectRef object = ole_source(a[0]);
    platform::ViewObject* view = view_of(object);
    if (!view) return;
    std::string how;
    Text(a[1], &how);
    const std::uint32_t aspect = how == "THUMBNAIL" ? platform::DVASPECT_THUMBNAIL
                                 : how == "ICON"    ? platform::DVASPECT_ICON
                                                    : platform::DVASPECT_CONTENT;
    auto clamp = [](std::int64_t v) { return int(std::clamp<std::int64_t>(v, INT32_MIN, INT32_MAX)); };
    const std::int64_t x = Num(a[2]), y = Num(a[3]);
    const platform::Rect bounds{int(x), int(y), clamp(x + Num(a[4])), clamp(y + Num(a[5]))};
    gdi::GdiFlush();
    a[7] = Variant(view->Draw(aspect, DrawTargetOf(s), bounds) == platform::S_OK);
}

// CheckObject(oleObject, varX[out], varY[out]): the object's content size
// in pixels, measured on a worker thread that is waited for at most
// OleTimeout seconds when that is above 0.
void ImageObject::CheckObject(Args& a)
{
    if (!ready_) return;
    const platform::ObjectRef object = ole_source(a[0]);
    platform::ViewObject* view = view_of(object);
    std::int32_t x = 0, y = 0;
    if (view && ole_timeout_ <= 0) {
        content_size(view, ppi_x_, ppi_y_, &x, &y);
    } else if (view) {
        auto job = std::make_shared<CheckJob>();
        // The worker runs this library's code: it holds the library as a
        // server lock does until it ends.
        ++g_alive;
        bool started = true;
        try {
            std::thread([job, held = object, view, ppi_x = ppi_x_, ppi_y = ppi_y_]() mutable {
                std::int32_t wx = 0, wy = 0;
                content_size(view, ppi_x, ppi_y, &wx, &wy);
                held.reset();
                {
                    std::lock_guard g(job->lock);
                    job->x = wx, job->y = wy, job->done = true;
                }
                job->finished.notify_all();
                job.reset();
                --g_alive;
            }).detach();
        } catch (const std::system_error&) {
            --g_alive; // no thread: the size stays unknown
            started = false;
        }
        std::unique_lock g(job->lock);
        if (started && job->finished.wait_for(g, std::chrono::seconds(ole_timeout_), [&] { return job->done; }))
            x = job->x, y = job->y;
        // Otherwise the late result is dropped with the job.
    }
    a[1] = Variant(x);
    a[2] = Variant(y);
    last_x_ = x, last_y_ = y;
}

} // namespace glimmerax
