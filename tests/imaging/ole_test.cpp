// OLE objects and pictures given to the image object: DrawObject,
// CheckObject (also on its worker thread) and pictures as sources.
#include "support.h"

#include "imaging/detail/image_object.h"
#include "platform/automation/ole.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace imaging_test;

namespace {

// A view object whose GetExtent may be held until the test lets it go.
class View : public platform::Dispatch, public platform::ViewObject {
public:
    std::optional<platform::DispId> GetIDOfName(std::string_view) const override { return std::nullopt; }
    Variant Invoke(platform::DispId, platform::InvokeKind, Args&) override { return {}; }
    void* QueryInterface(std::string_view iid) override
    {
        return platform::NameEquals(iid, platform::IID_IViewObject2) ? static_cast<platform::ViewObject*>(this) : nullptr;
    }
    std::uint32_t GetExtent(std::uint32_t, std::int32_t* cx, std::int32_t* cy) override
    {
        std::unique_lock g(lock);
        changed.wait(g, [&] { return !held; });
        *cx = cx_, *cy = cy_;
        ++answered;
        changed.notify_all();
        return platform::S_OK;
    }
    std::uint32_t Draw(std::uint32_t aspect, const platform::DrawTarget& t, const platform::Rect& r) override
    {
        last_aspect = aspect, last_bounds = r;
        for (int y = std::max(0, r.top); y < std::min(t.height, r.bottom); ++y)
            for (int x = std::max(0, r.left); x < std::min(t.width, r.right); ++x) {
                std::uint8_t* p = t.row(y) + 3 * x;
                p[0] = 0, p[1] = 0, p[2] = 255; // red
            }
        return platform::S_OK;
    }
    void hold(bool h)
    {
        std::lock_guard g(lock);
        held = h;
        changed.notify_all();
    }
    void release() { hold(false); }
    bool wait_answered(int n)
    {
        std::unique_lock g(lock);
        return changed.wait_for(g, std::chrono::seconds(60), [&] { return answered >= n; });
    }

    std::int32_t cx_ = 2540, cy_ = 1270;
    std::mutex lock;
    std::condition_variable changed;
    bool held = false;
    int answered = 0;
    std::uint32_t last_aspect = 0;
    platform::Rect last_bounds;
};

// A picture of one colour that records how it was asked to render.
class Pic : public platform::Dispatch, public platform::Picture {
public:
    std::optional<platform::DispId> GetIDOfName(std::string_view) const override { return std::nullopt; }
    Variant Invoke(platform::DispId, platform::InvokeKind, Args&) override { return {}; }
    void* QueryInterface(std::string_view iid) override
    {
        return platform::NameEquals(iid, platform::IID_IPicture) ? static_cast<platform::Picture*>(this) : nullptr;
    }
    std::uint32_t Width(std::int32_t* v) override { return *v = 265, platform::S_OK; }  // 10.016 pixels
    std::uint32_t Height(std::int32_t* v) override { return *v = 132, platform::S_OK; } // 4.99 pixels
    std::uint32_t Render(const platform::DrawTarget& t, int x, int y, int cx, int cy, std::int32_t xs, std::int32_t ys,
                         std::int32_t cxs, std::int32_t cys) override
    {
        asked = {x, y, cx, cy, xs, ys, cxs, cys};
        for (int j = std::max(0, y); j < std::min(t.height, y + cy); ++j)
            for (int i = std::max(0, x); i < std::min(t.width, x + cx); ++i) t.row(j)[3 * i + 1] = 255, t.row(j)[3 * i] = 0, t.row(j)[3 * i + 2] = 0;
        return platform::S_OK;
    }
    std::vector<std::int32_t> asked;
};

platform::ObjectRef white(int w, int h)
{
    auto o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {L(w), L(h), L(2), out()});
    call(*o, "SetColor", {L(1), L(255), L(255), L(255), out()});
    call(*o, "SetBgColor", {L(1)});
    call(*o, "FillRect", {L(0), L(0), L(w - 1), L(h - 1)});
    return o;
}

std::int32_t get(platform::Dispatch& o, const char* name)
{
    Args none;
    return o.Invoke(platform::IdOfName(o, name), platform::InvokeKind::PropertyGet, none).ToInt32();
}

Args draw(platform::Dispatch& o, Variant object, const char* how, int x, int y, int w, int h)
{
    return call(o, "DrawObject", {std::move(object), Variant(how), L(x), L(y), L(w), L(h), missing(), out()});
}

} // namespace

TEST(OleObjects, DrawObjectDrawsTheViewIntoItsRectangle)
{
    auto view = std::make_shared<View>();
    auto o = white(10, 8);
    EXPECT_TRUE(draw(*o, Variant(platform::ObjectRef(view)), "THUMBNAIL", 2, 3, 4, 2)[7].ToBool());
    EXPECT_EQ(view->last_aspect, platform::DVASPECT_THUMBNAIL);
    Pixels p = canvas(*o);
    int red = 0;
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x) {
            const bool inside = x >= 2 && x < 6 && y >= 3 && y < 5;
            EXPECT_EQ(p.at(x, y), inside ? 0xFF0000u : 0xFFFFFFu) << x << "," << y;
            red += inside;
        }
    EXPECT_EQ(red, 8);
    draw(*o, Variant(platform::ObjectRef(view)), "ICON", 0, 0, 1, 1);
    EXPECT_EQ(view->last_aspect, platform::DVASPECT_ICON);
    draw(*o, Variant(platform::ObjectRef(view)), "icon", 0, 0, 1, 1);
    EXPECT_EQ(view->last_aspect, platform::DVASPECT_CONTENT); // names are case-sensitive

    // No OLE server loads files here; objects without a view, and an
    // object without a canvas, draw nothing.
    auto file = temp_dir() / "object.doc";
    write_file(file, Bytes(64, 'x'));
    EXPECT_FALSE(draw(*o, Variant(file.string()), "", 0, 0, 4, 4)[7].ToBool());
    EXPECT_FALSE(draw(*o, Variant(std::make_shared<Pic>()), "", 0, 0, 4, 4)[7].ToBool());
    auto none = glimmerax::CreateImageObject();
    EXPECT_FALSE(draw(*none, Variant(platform::ObjectRef(view)), "", 0, 0, 4, 4)[7].ToBool());
    Args c = call(*o, "CheckObject", {Variant(file.string()), out(), out()});
    EXPECT_EQ(c[1].ToInt32(), 0);
    EXPECT_EQ(c[2].ToInt32(), 0);
}

TEST(OleObjects, CheckObjectGivesTheExtentInPixels)
{
    auto view = std::make_shared<View>();
    view->cx_ = 2540, view->cy_ = 100; // one inch; 3.78 pixels round to 4
    for (int timeout : {0, 30}) {
        auto o = glimmerax::CreateImageObject();
        put(*o, "OleTimeout", L(timeout));
        Args c = call(*o, "CheckObject", {Variant(platform::ObjectRef(view)), out(), out()});
        EXPECT_EQ(c[1].ToInt32(), 96) << timeout;
        EXPECT_EQ(c[2].ToInt32(), 4) << timeout;
        EXPECT_EQ(get(*o, "lastX"), 96);
        EXPECT_EQ(get(*o, "lastY"), 4);
    }
}

// After a time-out the worker writes only into its own block: the late
// answer is dropped, and the image object may be gone before it comes.
TEST(OleObjects, ALateAnswerIsDroppedAndTheImageObjectMayGo)
{
    const long alive = glimmerax::g_alive.load();
    auto view = std::make_shared<View>();
    view->hold(true);
    auto o = glimmerax::CreateImageObject();
    put(*o, "OleTimeout", L(1));
    Args c = call(*o, "CheckObject", {Variant(platform::ObjectRef(view)), out(), out()});
    EXPECT_EQ(c[1].ToInt32(), 0);
    EXPECT_EQ(c[2].ToInt32(), 0);
    // The running worker keeps the library loaded.
    EXPECT_GT(glimmerax::g_alive.load(), alive + 1);
    view->release();
    ASSERT_TRUE(view->wait_answered(1));
    EXPECT_EQ(get(*o, "lastX"), 0);

    // Again, releasing the image object while the worker waits.
    view->hold(true);
    call(*o, "CheckObject", {Variant(platform::ObjectRef(view)), out(), out()});
    o.reset();
    view->release();
    ASSERT_TRUE(view->wait_answered(2));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (glimmerax::g_alive.load() != alive && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(glimmerax::g_alive.load(), alive);
}

TEST(OleObjects, PicturesAreIdentifiedAndRenderThemselves)
{
    auto pic = std::make_shared<Pic>();
    auto o = white(20, 10);
    Args d = call(*o, "GetFileDimensions", {Variant(platform::ObjectRef(pic)), out(), out(), missing(), out()});
    EXPECT_EQ(d[4].ToInt32(), 1001);
    EXPECT_EQ(d[1].ToInt32(), 10);
    EXPECT_EQ(d[2].ToInt32(), 5);
    EXPECT_EQ(get(*o, "lastX"), 10);
    Args r = call(*o, "ReadImage", {Variant(platform::ObjectRef(pic)), out(), L(3), L(2), missing(), out(), out()});
    EXPECT_EQ(r[6].ToInt32(), 1001);
    // The whole picture, upright: source origin at the bottom, height negative.
    EXPECT_EQ(pic->asked, (std::vector<std::int32_t>{3, 2, 10, 5, 0, 132, 265, -132}));
    Pixels p = canvas(*o);
    EXPECT_EQ(p.at(3, 2), 0x00FF00u);
    EXPECT_EQ(p.at(12, 6), 0x00FF00u);
    EXPECT_EQ(p.at(13, 6), 0xFFFFFFu);
    EXPECT_EQ(p.at(2, 2), 0xFFFFFFu);
    // An object that is neither an image object nor a picture is unknown.
    EXPECT_EQ(call(*o, "GetFileDimensions", {Variant(platform::ObjectRef(std::make_shared<View>())), out(), out(), missing(), out()})[4].ToInt32(), 0);
}
