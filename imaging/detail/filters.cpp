// Pixel filters on the drawing target, the transparent copy and the
// resampling into the other picture, and the clipboard picture they use.
#include "imaging/detail/image_object.h"

#include "platform/automation/vb_error.h"

#include <algorithm>
#include <cmath>

namespace glimmerax {
namespace gdi = platform::gdi;

namespace {

std::uint8_t clamp255(long v) { return std::uint8_t(std::clamp<long>(v, 0, 255)); }

struct Rect {
    int x = 0, y = 0, w = 0, h = 0;
};

// Optional rectangle a[i..i+3] on a section: defaults to all of it; a
// negative corner shrinks the size; false when nothing is left.
bool filter_rect(const Args& a, std::size_t i, const gdi::Section& s, Rect* r)
{
    auto get = [&](std::size_t k, std::int64_t def) { return arg(a, i + k).IsMissing() ? def : std::int64_t(Num(arg(a, i + k))); };
    std::int64_t x = get(0, 0), y = get(1, 0), w = get(2, s.width), h = get(3, s.height);
    if (x < 0) w += x, x = 0;
    if (y < 0) h += y, y = 0;
    if (x >= s.width || y >= s.height || w <= 0 || h <= 0) return false;
    r->x = int(x), r->y = int(y), r->w = int(std::min<std::int64_t>(w, s.width - x)), r->h = int(std::min<std::int64_t>(h, s.height - y));
    return true;
}

template <class F> void each(const gdi::Section& s, const Rect& r, F&& f)
{
    for (int y = r.y; y < r.y + r.h; ++y) {
        std::uint8_t* p = s.row(y) + std::size_t(r.x) * 3;
        for (int x = 0; x < r.w; ++x) f(p + x * 3);
    }
}

// Convolution with integer weights over the rectangle; kernel positions
// outside it do not count. Results go to a buffer first.
void convolve(const gdi::Section& s, const Rect& r, int radius, const std::vector<int>& k)
{
    const int side = 2 * radius + 1;
    std::vector<std::uint8_t> out(std::size_t(r.w) * std::size_t(r.h) * 3);
    auto pixel = [&](int x, int y) {
        long P = 0, N = 0, sum[3] = {0, 0, 0};
        for (int j = std::max(-radius, -y); j <= std::min(radius, r.h - 1 - y); ++j) {
            const std::uint8_t* row = s.row(r.y + y + j) + std::size_t(r.x) * 3;
            for (int i = std::max(-radius, -x); i <= std::min(radius, r.w - 1 - x); ++i) {
                int w = k[std::size_t((j + radius) * side + i + radius)];
                (w > 0 ? P : N) += std::abs(w);
                for (int c = 0; c < 3; ++c) sum[c] += long(w) * row[(x + i) * 3 + c];
            }
        }
        std::uint8_t* o = &out[(std::size_t(y) * std::size_t(r.w) + std::size_t(x)) * 3];
        const std::uint8_t* p = s.row(r.y + y) + std::size_t(r.x + x) * 3;
        for (int c = 0; c < 3; ++c) o[c] = N < P ? clamp255(sum[c] / (P - N)) : p[c];
    };
    // Where the whole kernel lies on the rectangle its totals are fixed, and
    // a row's sums gather one weight at a time over the whole row (sums stay
    // far below 2^31: at most 64 x 101 x 101 x 255).
    long P = 0, N = 0;
    for (int w : k) (w > 0 ? P : N) += std::abs(w);
    const std::size_t x0 = std::size_t(radius) * 3, x1 = r.w > 2 * radius ? std::size_t(r.w - radius) * 3 : x0;
    std::vector<std::int32_t> sums(std::size_t(r.w) * 3);
    for (int y = 0; y < r.h; ++y) {
        if (y < radius || y + radius >= r.h || x0 >= x1) {
            for (int x = 0; x < r.w; ++x) pixel(x, y);
            continue;
        }
        for (int x = 0; x < radius; ++x) pixel(x, y), pixel(r.w - 1 - x, y);
        std::fill(sums.begin() + long(x0), sums.begin() + long(x1), 0);
        for (int j = -radius; j <= radius; ++j) {
            const std::uint8_t* row = s.row(r.y + y + j) + std::size_t(r.x) * 3;
            for (int i = -radius; i <= radius; ++i) {
                const std::int32_t w = k[std::size_t((j + radius) * side + i + radius)];
                if (!w) continue;
                const std::uint8_t* from = row + i * 3;
                for (std::size_t q = x0; q < x1; ++q) sums[q] += w * from[q];
            }
        }
        const std::uint8_t* p = s.row(r.y + y) + std::size_t(r.x) * 3;
        std::uint8_t* o = &out[std::size_t(y) * std::size_t(r.w) * 3];
        for (std::size_t q = x0; q < x1; ++q) o[q] = N < P ? clamp255(sums[q] / (P - N)) : p[q];
    }
    for (int y = 0; y < r.h; ++y) std::copy_n(&out[std::size_t(y) * std::size_t(r.w) * 3], std::size_t(r.w) * 3, s.row(r.y + y) + std::size_t(r.x) * 3);
}

std::vector<int> gaussian(int radius, int sign)
{
    const double s = 2.0 * radius * radius / 3.0;
    std::vector<int> k;
    for (int j = -radius; j <= radius; ++j)
        for (int i = -radius; i <= radius; ++i) k.push_back(sign * int(std::lround(64 * std::exp(-(i * i + j * j) / s))));
    return k;
}

} // namespace

// The clipboard picture: InitClipboard(xVar, yVar, res), SelectClipboard(bVar).
void ImageObject::InitClipboard(Args& a)
{
    if (!ready_) return;
    if (!clip_dc_ && !(clip_dc_ = gdi::CreateCompatibleDC())) throw platform::OutOfMemory();
    std::uint8_t* bits = nullptr;
    gdi::Handle bmp = gdi::CreateDIBSection(Num(a[0]), Num(a[1]), &bits);
    if (!bmp) throw platform::OutOfMemory();
    gdi::SelectObject(clip_dc_, bmp);
    if (clip_bmp_) gdi::DeleteObject(clip_bmp_);
    clip_bmp_ = bmp;
    SelectTools();
    a[2] = Variant(true);
}

void ImageObject::SelectClipboard(Args& a)
{
    if (!clip_bmp_) return;
    target_dc_ = Flag(a[0]) ? clip_dc_ : canvas_dc_;
}

bool ImageObject::OtherSection(gdi::Section* out) const
{
    if (!bits_ || !clip_bmp_) return false;
    return gdi::GetSection(target_dc_ == clip_dc_ ? canvas_bmp_ : clip_bmp_, out);
}

void ImageObject::Filter(platform::DispId id, Args& a)
{
    gdi::Section s;
    Rect r;
    if (!TargetSection(&s)) return;
    switch (id) {
    case 0x47: // GrayScale(vX, vY, vWidth, vHeight)
        if (filter_rect(a, 0, s, &r)) each(s, r, [](std::uint8_t* p) { p[0] = p[1] = p[2] = std::uint8_t((p[0] + p[1] + p[2]) / 3); });
        break;
    case 0x4C: // Invert(vX, vY, vWidth, vHeight)
        if (filter_rect(a, 0, s, &r)) each(s, r, [](std::uint8_t* p) { p[0] = 255 - p[0], p[1] = 255 - p[1], p[2] = 255 - p[2]; });
        break;
    case 0x4B: // Flip(vHorizontal, vX, vY, vWidth, vHeight)
        if (!filter_rect(a, 1, s, &r)) break;
        if (Flag(arg(a, 0), true)) {
            for (int y = r.y; y < r.y + r.h; ++y) {
                std::uint8_t* p = s.row(y) + std::size_t(r.x) * 3;
                for (int i = 0, j = r.w - 1; i < j; ++i, --j) std::swap_ranges(p + i * 3, p + i * 3 + 3, p + j * 3);
            }
        } else {
            for (int i = r.y, j = r.y + r.h - 1; i < j; ++i, --j)
                std::swap_ranges(s.row(i) + std::size_t(r.x) * 3, s.row(i) + std::size_t(r.x + r.w) * 3, s.row(j) + std::size_t(r.x) * 3);
        }
        break;
    case 0x53: { // Brightness(vLevel, vX, vY, vWidth, vHeight)
        const int level = std::clamp(Num(a[0]), -100, 100);
        if (filter_rect(a, 1, s, &r))
            each(s, r, [&](std::uint8_t* p) {
                int m = std::max({p[0], p[1], p[2]});
                int delta = level * (level <= 0 ? m : 255 - m) / 100;
                for (int c = 0; c < 3; ++c) p[c] = clamp255(p[c] + delta);
            });
        break;
    }
    case 0x52: { // Contrast(vLevel, vControlPoint, vX, vY, vWidth, vHeight)
        const int level = std::clamp(Num(a[0]), -100, 100), cp = std::clamp(Num(arg(a, 1)), 0, 255);
        if (filter_rect(a, 2, s, &r))
            each(s, r, [&](std::uint8_t* p) {
                for (int c = 0; c < 3; ++c) p[c] = clamp255(long(cp + (level + 100) * 0.01 * (p[c] - cp) + 0.5));
            });
        break;
    }
    case 0x50: { // Blur(vRadius, vX, vY, vWidth, vHeight); radius 0 changes nothing
        const int radius = std::clamp(arg(a, 0).IsMissing() ? 3 : Num(a[0]), 0, 50);
        if (radius > 0 && filter_rect(a, 1, s, &r)) convolve(s, r, radius, gaussian(radius, 1));
        break;
    }
    case 0x51: { // Sharpen(vRadius, vX, vY, vWidth, vHeight)
        const int radius = std::clamp(arg(a, 0).IsMissing() ? 3 : Num(a[0]), 1, 10);
        if (!filter_rect(a, 1, s, &r)) break;
        std::vector<int> k = gaussian(radius, -1);
        int& centre = k[k.size() / 2];
        centre = 0;
        int sum = 0;
        for (int w : k) sum += w;
        centre = 2 * std::abs(sum);
        convolve(s, r, radius, k);
        break;
    }
    }
}

// TransparentCopy(varDx, varDy, varWidth, varHeight, varSX, varSY, vColor1,
// vTransp1, vTranspOthers): the key colour blended at one opacity, the
// other pixels at another, from the target into the other picture.
void ImageObject::TransparentCopy(Args& a)
{
    gdi::Section src, dst;
    if (!TargetSection(&src) || !OtherSection(&dst)) return;
    std::array<std::uint8_t, 3> key = palette_[0];
    const Variant& k = arg(a, 6);
    if (k.IsArray() && k.ToArray().Dimensions() == 1 && k.ToArray().UBound() - k.ToArray().LBound() >= 2) {
        const auto& arr = k.ToArray();
        for (int c = 0; c < 3; ++c) key[std::size_t(c)] = std::uint8_t(Num(arr.at(arr.LBound() + c)));
    } else {
        std::int32_t i = Num(k);
        key = palette_[std::size_t(i < 0 || i > 255 ? 0 : i)];
    }
    const int t1 = std::clamp(arg(a, 7).IsMissing() ? 0 : Num(a[7]), 0, 100);
    const int t2 = std::clamp(arg(a, 8).IsMissing() ? 100 : Num(a[8]), 0, 100);
    const int dx = Num(a[0]), dy = Num(a[1]), w = Num(a[2]), h = Num(a[3]), sx = Num(a[4]), sy = Num(a[5]);
    for (int j = 0; j < h; ++j) {
        const std::int64_t ys = std::int64_t(sy) + j, yd = std::int64_t(dy) + j;
        if (ys < 0 || yd < 0 || ys >= src.height || yd >= dst.height) continue;
        for (int i = 0; i < w; ++i) {
            const std::int64_t xs = std::int64_t(sx) + i, xd = std::int64_t(dx) + i;
            if (xs < 0 || xd < 0 || xs >= src.width || xd >= dst.width) continue;
            const std::uint8_t* p = src.row(int(ys)) + xs * 3;
            std::uint8_t* q = dst.row(int(yd)) + xd * 3;
            const int t = p[2] == key[0] && p[1] == key[1] && p[0] == key[2] ? t1 : t2;
            for (int c = 0; c < 3; ++c) q[c] = std::uint8_t((p[c] * t + q[c] * (100 - t)) / 100);
        }
    }
}

// Resize(varDx, varDy, varDW, varDH, varSX, varSY, varSW, varSH, varType):
// resamples a rectangle of the target into the other picture.
void ImageObject::Resize(Args& a)
{
    gdi::Section src, dst;
    if (!TargetSection(&src) || !OtherSection(&dst)) return;
    const int DX = Num(a[0]), DY = Num(a[1]), DW = Num(a[2]), DH = Num(a[3]);
    const int SX = Num(a[4]), SY = Num(a[5]), SW = Num(a[6]), SH = Num(a[7]);
    const int type = arg(a, 8).IsMissing() ? 3 : Num(a[8]);
    if (DW <= 0 || DH <= 0 || SW <= 0 || SH <= 0 || type < 1 || type > 4) return;
    const double sx = double(SW) / DW, sy = double(SH) / DH;
    auto px = [&](int x, int y, int c) { return double(src.row(y)[x * 3 + c]); };
    for (int i = 0; i < DH; ++i) {
        const std::int64_t ty = std::int64_t(DY) + i;
        if (ty < 0 || ty >= dst.height) continue;
        const double fy0 = SY + i * sy;
        const int y0 = int(std::floor(fy0));
        const double fy = fy0 - y0;
        if (y0 < 0 || y0 >= src.height) continue;
        for (int j = 0; j < DW; ++j) {
            const std::int64_t tx = std::int64_t(DX) + j;
            if (tx < 0 || tx >= dst.width) continue;
            const double fx0 = SX + j * sx;
            const int x0 = int(std::floor(fx0));
            const double fx = fx0 - x0;
            if (x0 < 0 || x0 >= src.width) continue;
            std::uint8_t* q = dst.row(int(ty)) + tx * 3;
            if (type == 1) {
                const int x1 = std::min(x0 + 1, src.width - 1), y1 = std::min(y0 + 1, src.height - 1);
                for (int c = 0; c < 3; ++c)
                    q[c] = clamp255(long(fy * (fx * px(x1, y1, c) + (1 - fx) * px(x0, y1, c)) +
                                         (1 - fy) * (fx * px(x1, y0, c) + (1 - fx) * px(x0, y0, c))));
            } else if (type == 2) {
                if (x0 <= 0 || y0 <= 0 || x0 >= src.width - 2 || y0 >= src.height - 2) {
                    for (int c = 0; c < 3; ++c) q[c] = std::uint8_t(px(x0, y0, c));
                    continue;
                }
                auto spline = [](double t, double* w) {
                    w[0] = (1 - t) * (1 - t) * (1 - t) / 6, w[1] = (4 - 6 * t * t + 3 * t * t * t) / 6;
                    w[2] = (1 + 3 * t + 3 * t * t - 3 * t * t * t) / 6, w[3] = t * t * t / 6;
                };
                double wx[4], wy[4];
                spline(fx, wx), spline(fy, wy);
                for (int c = 0; c < 3; ++c) {
                    double sum = 0;
                    for (int m = 0; m < 4; ++m)
                        for (int n = 0; n < 4; ++n) sum += wy[m] * wx[n] * px(x0 - 1 + n, y0 - 1 + m, c);
                    q[c] = clamp255(long(sum));
                }
            } else {
                const int rx = std::max(1, int(sx)), ry = std::max(1, int(sy));
                double sum[3] = {0, 0, 0}, total = 0;
                for (int dy = -ry; dy <= ry; ++dy)
                    for (int dx = -rx; dx <= rx; ++dx) {
                        const int x = x0 + dx, y = y0 + dy;
                        if (x < 0 || y < 0 || x >= src.width || y >= src.height) continue;
                        const double d = dx * dx / (sx * sx) + dy * dy / (sy * sy);
                        double w = type == 3 ? 1 - d : (d < 1 ? 1 + std::cos(3.141 * std::sqrt(d)) : 0);
                        if (w <= 0) continue;
                        total += w;
                        for (int c = 0; c < 3; ++c) sum[c] += w * px(x, y, c);
                    }
                if (total > 0)
                    for (int c = 0; c < 3; ++c) q[c] = clamp255(long(sum[c] / total));
            }
        }
    }
}

} // namespace glimmerax
