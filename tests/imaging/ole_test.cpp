// OLE objects given to the image object: DrawObject and CheckObject (also
// on its worker thread). Pictures are tested through the probe.
#include "support.h"

#include "imaging/detail/image_object.h"
#include "platform/automation/ole.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace imaging_test;

namespace {

// Fills its rectangle with red; GetExtent waits while the test holds it.
struct View : platform::Dispatch, platform::ViewObject {
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
        last_aspect = aspect;
        for (int y = std::max(0, r.top); y < std::min(t.height, r.bottom); ++y)
            for (int x = std::max(0, r.left); x < std::min(t.width, r.right); ++x) t.row(y)[3 * x + 2] = 255, t.row(y)[3 * x + 1] = 0, t.row(y)[3 * x] = 0;
        return platform::S_OK;
    }
    void hold(bool h)
    {
        std::lock_guard g(lock);
        held = h;
        changed.notify_all();
    }
    bool wait_answered(int n)
    {
        std::unique_lock g(lock);
        return changed.wait_for(g, std::chrono::seconds(60), [&] { return answered >= n; });
    }
    std::int32_t cx_ = 2540, cy_ = 100; // one inch; 3.78 pixels round to 4
    std::mutex lock;
    std::condition_variable changed;
    bool held = false;
    int answered = 0;
    std::uint32_t last_aspect = 0;
};

std::int32_t get(platform::Dispatch& o, const char* name)
{
    Args none;
    return o.Invoke(platform::IdOfName(o, name), platform::InvokeKind::PropertyGet, none).ToInt32();
}

bool draw(platform::Dispatch& o, Variant object, const char* how)
{
    return call(o, "DrawObject", {std::move(object), Variant(how), L(2), L(3), L(4), L(2), missing(), out()})[7].ToBool();
}

} // namespace

TEST(OleObjects, DrawObjectDrawsTheViewAndCheckObjectMeasuresIt)
{
    auto view = std::make_shared<View>();
    auto o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {L(10), L(8), L(2), out()});
    EXPECT_TRUE(draw(*o, Variant(platform::ObjectRef(view)), "THUMBNAIL"));
    EXPECT_EQ(view->last_aspect, platform::DVASPECT_THUMBNAIL);
    Pixels p = canvas(*o);
    EXPECT_EQ(std::count(p.px.begin(), p.px.end(), 0xFF0000u), 8);
    EXPECT_EQ(p.at(2, 3), 0xFF0000u);
    EXPECT_EQ(p.at(5, 4), 0xFF0000u);
    draw(*o, Variant(platform::ObjectRef(view)), "icon");
    EXPECT_EQ(view->last_aspect, platform::DVASPECT_CONTENT); // names are case-sensitive
    // No OLE server loads files here; an object without a view, or an
    // image object without a canvas, draws nothing.
    auto file = temp_dir() / "object.doc";
    write_file(file, Bytes(64, 'x'));
    EXPECT_FALSE(draw(*o, Variant(file.string()), ""));
    EXPECT_FALSE(draw(*o, Variant(glimmerax::CreateImageObject()), ""));
    EXPECT_FALSE(draw(*glimmerax::CreateImageObject(), Variant(platform::ObjectRef(view)), ""));
    EXPECT_EQ(call(*o, "CheckObject", {Variant(file.string()), out(), out()})[1].ToInt32(), 0);
    // The extent in pixels, on the calling thread and on the worker.
    for (int timeout : {0, 30}) {
        put(*o, "OleTimeout", L(timeout));
        Args c = call(*o, "CheckObject", {Variant(platform::ObjectRef(view)), out(), out()});
        EXPECT_EQ(std::vector<std::int32_t>({c[1].ToInt32(), c[2].ToInt32(), get(*o, "lastX"), get(*o, "lastY")}),
                  std::vector<std::int32_t>({96, 4, 96, 4}));
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
    view->hold(false);
    ASSERT_TRUE(view->wait_answered(1));
    EXPECT_EQ(get(*o, "lastX"), 0);

    // Again, releasing the image object while the worker waits.
    view->hold(true);
    call(*o, "CheckObject", {Variant(platform::ObjectRef(view)), out(), out()});
    o.reset();
    view->hold(false);
    ASSERT_TRUE(view->wait_answered(2));
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (glimmerax::g_alive.load() != alive && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(glimmerax::g_alive.load(), alive);
}
