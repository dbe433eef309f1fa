#include "tools/glimmerax-probe/test_objects.h"

#include "platform/automation/ole.h"
#include "platform/automation/vb_error.h"
#include "platform/gdi/gdi.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <thread>
#include <vector>

namespace probe {
namespace {

[[noreturn]] void no_member() { throw platform::VbError(438, "", "Object doesn't support this property or method"); }

// No members of their own: the image object reaches them through their interfaces.
class Bare : public platform::Dispatch {
public:
    std::optional<platform::DispId> GetIDOfName(std::string_view) const override { return std::nullopt; }
    platform::Variant Invoke(platform::DispId, platform::InvokeKind, std::vector<platform::Variant>&) override { no_member(); }
};

void put(const platform::DrawTarget& t, int x, int y, std::uint32_t rgb)
{
    std::uint8_t* p = t.row(y) + std::size_t(x) * 3;
    p[0] = std::uint8_t(rgb), p[1] = std::uint8_t(rgb >> 8), p[2] = std::uint8_t(rgb >> 16);
}

class TestObject : public Bare, public platform::ViewObject {
public:
    TestObject(std::int32_t cx, std::int32_t cy, std::array<std::uint8_t, 3> c, int delay_ms)
        : cx_(cx), cy_(cy), rgb_(std::uint32_t(c[0]) << 16 | std::uint32_t(c[1]) << 8 | c[2]), delay_ms_(delay_ms)
    {
    }
    void* QueryInterface(std::string_view iid) override
    {
        return platform::NameEquals(iid, platform::IID_IViewObject2) ? static_cast<platform::ViewObject*>(this) : nullptr;
    }
    std::uint32_t GetExtent(std::uint32_t, std::int32_t* cx, std::int32_t* cy) override
    {
        // A slow server, as an object loaded out of process may be.
        if (delay_ms_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(delay_ms_));
        *cx = cx_, *cy = cy_;
        return platform::S_OK;
    }
    std::uint32_t Draw(std::uint32_t, const platform::DrawTarget& t, const platform::Rect& r) override
    {
        const int l = std::max(0, std::min(r.left, r.right)), top = std::max(0, std::min(r.top, r.bottom));
        const int rt = std::min(t.width, std::max(r.left, r.right)), b = std::min(t.height, std::max(r.top, r.bottom));
        for (int y = top; y < b; ++y)
            for (int x = l; x < rt; ++x) put(t, x, y, rgb_);
        return platform::S_OK;
    }

private:
    std::int32_t cx_, cy_;
    std::uint32_t rgb_;
    int delay_ms_;
};

std::uint32_t le(const std::vector<std::uint8_t>& b, std::size_t at, int n)
{
    if (at + std::size_t(n) > b.size()) throw std::runtime_error("short BMP");
    std::uint32_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | b[at + std::size_t(i)];
    return v;
}

class TestPicture : public Bare, public platform::Picture {
public:
    TestPicture(const std::string& file, std::int32_t cx, std::int32_t cy) : cx_(cx), cy_(cy)
    {
        std::ifstream in(file, std::ios::binary);
        if (!in) throw std::runtime_error("cannot read " + file);
        bmp_.assign(std::istreambuf_iterator<char>(in), {});
        if (bmp_.size() < 54 || bmp_[0] != 'B' || bmp_[1] != 'M') throw std::runtime_error("not a BMP: " + file);
        const std::uint32_t header = le(bmp_, 14, 4);
        info_.width = std::int32_t(le(bmp_, 18, 4));
        info_.height = std::int32_t(le(bmp_, 22, 4));
        info_.bit_count = std::uint16_t(le(bmp_, 28, 2));
        info_.compression = le(bmp_, 30, 4);
        const std::size_t table = 14 + std::size_t(header);
        if (info_.compression == platform::gdi::BI_BITFIELDS)
            for (int k = 0; k < 3; ++k) info_.masks[k] = le(bmp_, (header == 40 ? table : 54) + 4 * std::size_t(k), 4);
        if (info_.bit_count <= 8) {
            const std::uint32_t used = le(bmp_, 46, 4);
            const std::uint32_t n = used ? std::min<std::uint32_t>(used, 256) : 1u << info_.bit_count;
            for (std::uint32_t i = 0; i < n; ++i) info_.colors.push_back(le(bmp_, table + 4 * i, 4) & 0xFFFFFF);
        }
        offset_ = le(bmp_, 10, 4);
        if (info_.width <= 0 || info_.height == 0 || offset_ >= bmp_.size()) throw std::runtime_error("bad BMP: " + file);
    }
    void* QueryInterface(std::string_view iid) override
    {
        return platform::NameEquals(iid, platform::IID_IPicture) ? static_cast<platform::Picture*>(this) : nullptr;
    }
    std::uint32_t Width(std::int32_t* v) override { return *v = cx_, platform::S_OK; }
    std::uint32_t Height(std::int32_t* v) override { return *v = cy_, platform::S_OK; }

    // Upright sources only (cysrc negative); the BMP is scaled through a
    // picture of the destination's size, then copied into the target.
    std::uint32_t Render(const platform::DrawTarget& t, int x, int y, int cx, int cy, std::int32_t xsrc, std::int32_t ysrc,
                         std::int32_t cxsrc, std::int32_t cysrc) override
    {
        namespace gdi = platform::gdi;
        if (cx <= 0 || cy <= 0 || cxsrc <= 0 || cysrc >= 0 || cx_ <= 0 || cy_ <= 0) return platform::E_INVALIDARG;
        if (std::int64_t(cx) * cy > (std::int64_t(1) << 26)) return platform::E_OUTOFMEMORY;
        const std::int64_t w = info_.width, h = std::abs(std::int64_t(info_.height));
        const int xs = int(std::int64_t(xsrc) * w / cx_), ys = int((std::int64_t(cy_) - ysrc) * h / cy_);
        const int ws = int(std::int64_t(cxsrc) * w / cx_), hs = int(-std::int64_t(cysrc) * h / cy_);
        std::uint8_t* bits = nullptr;
        const gdi::Handle bmp = gdi::CreateDIBSection(cx, cy, &bits), dc = gdi::CreateCompatibleDC();
        std::uint32_t hr = platform::E_FAIL;
        gdi::Section s;
        if (bmp && dc && gdi::SelectObject(dc, bmp) == 0 && gdi::GetSection(bmp, &s) &&
            gdi::StretchDIBits(dc, 0, 0, cx, cy, xs, ys, ws, hs, bmp_.data() + offset_, bmp_.size() - offset_, info_,
                               gdi::DIB_RGB_COLORS, gdi::SRCCOPY) > 0) {
            for (int j = std::max(0, -y); j < cy && std::int64_t(y) + j < t.height; ++j)
                for (int i = std::max(0, -x); i < cx && std::int64_t(x) + i < t.width; ++i)
                    std::memcpy(t.row(y + j) + std::size_t(x + i) * 3, s.row(j) + std::size_t(i) * 3, 3);
            hr = platform::S_OK;
        }
        if (dc) gdi::DeleteDC(dc);
        if (bmp) gdi::DeleteObject(bmp);
        return hr;
    }

private:
    std::int32_t cx_, cy_;
    std::vector<std::uint8_t> bmp_;
    platform::gdi::BitmapInfo info_;
    std::size_t offset_ = 0;
};

} // namespace

platform::ObjectRef MakeTestObject(std::int32_t cx, std::int32_t cy, std::array<std::uint8_t, 3> colour, int delay_ms)
{
    return std::make_shared<TestObject>(cx, cy, colour, delay_ms);
}

platform::ObjectRef MakeTestPicture(const std::string& file, std::int32_t cx, std::int32_t cy)
{
    return std::make_shared<TestPicture>(file, cx, cy);
}

} // namespace probe
