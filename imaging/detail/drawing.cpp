// Drawing on the current target: colours, pens and brushes, rectangles,
// lines, pixels, flood fills, polylines, gradients and copies into the
// other picture.
#include "imaging/detail/image_object.h"
#include "platform/automation/vb_error.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <ctime>

namespace glimmerax {
namespace gdi = platform::gdi;

namespace {

// The style names a member accepts, and their platform values.
struct Name {
    const char* name;
    std::uint32_t value;
};

constexpr Name kRops[] = {{"SRCPAINT", gdi::SRCPAINT},     {"SRCINVERT", gdi::SRCINVERT},   {"SRCERASE", gdi::SRCERASE},
                          {"SRCAND", gdi::SRCAND},         {"PATPAINT", gdi::PATPAINT},     {"PATINVERT", gdi::PATINVERT},
                          {"PATCOPY", gdi::PATCOPY},       {"NOTSRCCOPY", gdi::NOTSRCCOPY}, {"MERGEPAINT", gdi::MERGEPAINT},
                          {"MERGECOPY", gdi::MERGECOPY},   {"DSTINVERT", gdi::DSTINVERT}};

constexpr Name kPens[] = {{"PS_NULL", gdi::PS_NULL},           {"PS_DASH", gdi::PS_DASH},
                          {"PS_DOT", gdi::PS_DOT},             {"PS_DASHDOT", gdi::PS_DASHDOT},
                          {"PS_DASHDOTDOT", gdi::PS_DASHDOTDOT}, {"PS_INSIDEFRAME", gdi::PS_INSIDEFRAME}};
constexpr Name kHatches[] = {{"HS_BDIAGONAL", gdi::HS_BDIAGONAL}, {"HS_CROSS", gdi::HS_CROSS},
                             {"HS_DIAGCROSS", gdi::HS_DIAGCROSS}, {"HS_FDIAGONAL", gdi::HS_FDIAGONAL},
                             {"HS_HORIZONTAL", gdi::HS_HORIZONTAL}, {"HS_VERTICAL", gdi::HS_VERTICAL}};

// The largest pattern picture (pixels) a brush is made from.
constexpr std::int64_t kMaxPattern = std::int64_t(1) << 24;

// The value of an exactly matching name (case-sensitive), else `def`.
template <std::size_t N> std::uint32_t lookup(const Variant& v, const Name (&table)[N], std::uint32_t def)
{
    std::string s;
    if (!Text(v, &s)) return def;
    for (const Name& n : table)
        if (s == n.name) return n.value;
    return def;
}

} // namespace

bool ImageObject::Colour(const Variant& index, std::uint32_t* rgb) const
{
    std::int32_t i = Num(index);
    if (i < 0 || i >= palette_size_) return false;
    const auto& e = palette_[std::size_t(i)];
    *rgb = std::uint32_t(e[0]) << 16 | std::uint32_t(e[1]) << 8 | e[2];
    return true;
}

void ImageObject::SelectTools()
{
    for (gdi::Handle dc : {canvas_dc_, clip_dc_})
        if (dc) gdi::SelectPen(dc, pen_), gdi::SelectBrush(dc, brush_), gdi::SelectFont(dc, font_);
}

// In compatible mode the two corners are ordered and widened so that both
// corner pixels are included.
void ImageObject::CornerRule(int* l, int* t, int* r, int* b) const
{
    if (gdi::GetGraphicsMode(target_dc_) == gdi::GM_ADVANCED) return;
    if (*l > *r) std::swap(*l, *r);
    if (*t > *b) std::swap(*t, *b);
    const bool dy = *t != *b;
    if (dy) ++*b;
    if (!(*l == *r && dy)) ++*r;
}

void ImageObject::Draw(platform::DispId id, Args& a)
{
    if (!bits_) return;
    std::uint32_t c = 0;
    auto rect = [&](std::size_t i, int* l, int* t, int* r, int* b) {
        *l = Num(a[i]), *t = Num(a[i + 1]), *r = Num(a[i + 2]), *b = Num(a[i + 3]);
        CornerRule(l, t, r, b);
    };
    int l, t, r, b;
    switch (id) {
    case 0x03: // SetBgColor(v): a solid brush
        if (!Colour(a[0], &c)) return;
        brush_ = {false, c};
        break;
    case 0x04: // SetDrawColor(var): a solid pen of width 1
        if (!Colour(a[0], &c)) return;
        pen_ = {gdi::PS_SOLID, 1, c};
        pen_width_ = 1, pen_color_ = Num(a[0]);
        break;
    case 0x08: { // CreatePen(style, width, color)
        if (!Colour(a[2], &c)) return;
        pen_ = {int(lookup(a[0], kPens, gdi::PS_SOLID)), std::max(1, Num(a[1])), c};
        pen_width_ = pen_.width, pen_color_ = Num(a[2]);
        break;
    }
    case 0x0C: { // CreateBrush(style, color, hatch)
        std::string style;
        Text(a[0], &style);
        if (style == "BS_NULL") {
            brush_ = {true, 0};
            break;
        }
        if (style == "BS_IMAGE" && brush_pattern_width_ > 0) {
            brush_ = {false, 0, -1, brush_pattern_, brush_pattern_width_};
            break;
        }
        if (!Colour(a[1], &c)) return;
        brush_ = {false, c, style == "BS_HATCHED" ? int(lookup(a[2], kHatches, gdi::HS_HORIZONTAL)) : -1};
        break;
    }
    case 0x42: { // SetBrushImage(varX, varY, varWidth, varHeight)
        const std::int64_t x = Num(a[0]), y = Num(a[1]), w = Num(a[2]), h = Num(a[3]);
        if (w <= 0 || h <= 0 || w * h > kMaxPattern) return;
        // Pixels outside the target stay black, as in a fresh picture.
        std::vector<std::uint32_t> px(std::size_t(w * h), 0);
        for (std::int64_t j = 0; j < h; ++j)
            for (std::int64_t i = 0; i < w; ++i)
                if (x + i >= 0 && y + j >= 0 && x + i <= INT32_MAX && y + j <= INT32_MAX)
                    gdi::GetPixel(target_dc_, int(x + i), int(y + j), &px[std::size_t(j * w + i)]);
        brush_pattern_ = std::move(px), brush_pattern_width_ = int(w);
        return;
    }
    case 0x05: // FillRect(x1, y1, x2, y2)
        rect(0, &l, &t, &r, &b);
        gdi::FillRect(target_dc_, l, t, r, b, brush_);
        return;
    case 0x0A: // FrameRect
        rect(0, &l, &t, &r, &b);
        gdi::FrameRect(target_dc_, l, t, r, b, brush_);
        return;
    case 0x09: // Rectangle
        rect(0, &l, &t, &r, &b);
        gdi::Rectangle(target_dc_, l, t, r, b);
        return;
    case 0x06:
    case 0x24: { // Line / VBALine(x1, y1, x2, y2, varAA)
        const int x2 = Num(a[2]), y2 = Num(a[3]);
        if (Flag(arg(a, 4)) && Num(a[0]) != x2 && Num(a[1]) != y2) {
            SmoothLine(Num(a[0]), Num(a[1]), x2, y2);
            return;
        }
        gdi::MoveToEx(target_dc_, Num(a[0]), Num(a[1]));
        gdi::LineTo(target_dc_, x2, y2);
        // The pen's line stops short of its end; the end pixel is set too.
        if (gdi::GetGraphicsMode(target_dc_) != gdi::GM_ADVANCED && pen_.style != gdi::PS_NULL)
            gdi::SetPixel(target_dc_, x2, y2, pen_.color);
        return;
    }
    case 0x19: // SetPixel(x, y, color)
        if (Colour(a[2], &c)) gdi::SetPixel(target_dc_, Num(a[0]), Num(a[1]), c);
        return;
    case 0x45: { // GetPixel(varX, varY, varRes)
        if (!gdi::GetPixel(target_dc_, Num(a[0]), Num(a[1]), &c)) return;
        platform::VariantArray arr(0, 3);
        for (int k = 0; k < 3; ++k) arr.at(k) = Variant(std::int16_t(c >> (16 - 8 * k) & 255));
        a[2] = Variant(std::move(arr));
        return;
    }
    case 0x15: { // ExtFloodFill(x, y, color, type)
        if (!Colour(a[2], &c)) return;
        std::string type;
        Text(a[3], &type);
        gdi::ExtFloodFill(target_dc_, Num(a[0]), Num(a[1]), c, type == "FLOODFILLSURFACE" ? gdi::FLOODFILLSURFACE : gdi::FLOODFILLBORDER);
        return;
    }
    case 0x0B: // Ellipse
        rect(0, &l, &t, &r, &b);
        gdi::Ellipse(target_dc_, l, t, r, b);
        return;
    case 0x12:
    case 0x13:
    case 0x16: // Pie, Chord, Arc(x1, y1, x2, y2, xr1, yr1, xr2, yr2)
        rect(0, &l, &t, &r, &b);
        gdi::ArcShape(target_dc_, l, t, r, b, Num(a[4]), Num(a[5]), Num(a[6]), Num(a[7]),
                      id == 0x12 ? gdi::ArcKind::Pie : id == 0x13 ? gdi::ArcKind::Chord : gdi::ArcKind::Arc);
        return;
    case 0x14: // RoundRect(x1, y1, x2, y2, xr, yr)
        rect(0, &l, &t, &r, &b);
        gdi::RoundRect(target_dc_, l, t, r, b, Num(a[4]), Num(a[5]));
        return;
    case 0x25: { // Polyline(varMode, varPs): "" a polyline, else a filled polygon
        gdi::Points pts = Points(a[1]);
        std::string mode;
        if (pts.empty() || !Text(a[0], &mode)) return;
        if (!mode.empty()) {
            gdi::Polygon(target_dc_, pts, mode == "WINDING");
            return;
        }
        gdi::MoveToEx(target_dc_, pts[0].first, pts[0].second);
        for (std::size_t i = 1; i < pts.size(); ++i) gdi::LineTo(target_dc_, pts[i].first, pts[i].second);
        return;
    }
    case 0x2C: // PolyBezier(varPs)
        gdi::PolyBezier(target_dc_, Points(a[0]));
        return;
    case 0x4F: // Curve(varPoints, varComplete, varSharpFactor)
        Curve(Points(a[0]), Flag(arg(a, 1)), arg(a, 2).IsMissing() ? 1.0 : arg(a, 2).ToDouble());
        return;
    case 0x3F: { // GradientRect(varX1, varY1, varX2, varY2, varC1, varC2, varHorizontal)
        auto index = [&](const Variant& v) { return std::clamp(Num(v), 0, palette_size_ - 1); };
        const auto& c1 = palette_[std::size_t(index(a[4]))];
        const auto& c2 = palette_[std::size_t(index(a[5]))];
        const bool horizontal = Flag(arg(a, 6));
        const int x1 = Num(a[0]), y1 = Num(a[1]), x2 = Num(a[2]), y2 = Num(a[3]);
        const int from = horizontal ? x1 : y1, to = horizontal ? x2 : y2;
        const int extent = std::abs(to - from), dir = to < from ? -1 : 1;
        const int n = std::min(extent + 1, 256);
        const double s = double(extent + 1) / n;
        // Fills the positions p0..p1 of the extent across the whole rectangle.
        auto band = [&](int p0, int p1, std::uint32_t colour) {
            int bl = horizontal ? p0 : x1, bt = horizontal ? y1 : p0, br = horizontal ? p1 : x2, bb = horizontal ? y2 : p1;
            if (bl > br) std::swap(bl, br);
            if (bt > bb) std::swap(bt, bb);
            gdi::FillRect(target_dc_, bl, bt, br + 1, bb + 1, {false, colour}); // both ends included
        };
        for (int i = 0; i < n; ++i) {
            std::uint32_t colour = 0;
            for (int k = 0; k < 3; ++k)
                colour |= std::uint32_t(int(c1[std::size_t(k)] + i * double(c2[std::size_t(k)] - c1[std::size_t(k)]) / n)) << (16 - 8 * k);
            const int p0 = from + dir * int(i * s), p1 = from + dir * int((i + 1) * s);
            if (dir > 0) band(p0, p1 - 1, colour);
            else band(p1 + 1, p0, colour);
        }
        band(to, to, std::uint32_t(c2[0]) << 16 | std::uint32_t(c2[1]) << 8 | c2[2]);
        return;
    }
    case 0x21: { // Copy(xVar, yVar, widthVar, heightVar, xcVar, ycVar, operVar, res)
        if (!clip_dc_) return;
        const gdi::Handle other = target_dc_ == clip_dc_ ? canvas_dc_ : clip_dc_;
        const std::uint32_t rop = lookup(arg(a, 6), kRops, gdi::SRCCOPY);
        a[7] = Variant(gdi::BitBltRop(other, Num(a[0]), Num(a[1]), Num(a[2]), Num(a[3]), target_dc_, Num(a[4]), Num(a[5]), rop));
        return;
    }
    case 0x33: { // Stretch(varDx, varDy, varDW, varDH, varSX, varSY, varSW, varSH, varROP, varMode)
        if (!clip_dc_) return;
        const gdi::Handle other = target_dc_ == clip_dc_ ? canvas_dc_ : clip_dc_;
        std::string mode;
        Text(arg(a, 9), &mode);
        const int m = mode == "BLACKONWHITE" ? gdi::BLACKONWHITE : mode == "WHITEONBLACK" ? gdi::WHITEONBLACK
                    : mode == "COLORONCOLOR" ? gdi::COLORONCOLOR : gdi::HALFTONE;
        gdi::StretchBlt(other, Num(a[0]), Num(a[1]), Num(a[2]), Num(a[3]), target_dc_, Num(a[4]), Num(a[5]), Num(a[6]), Num(a[7]),
                        lookup(arg(a, 8), kRops, gdi::SRCCOPY), m);
        return;
    }
    case 0x1D: { // SetGraphicsMode(varMode, res)
        std::string mode;
        Text(a[0], &mode);
        a[1] = Variant(gdi::SetGraphicsMode(target_dc_, mode == "GM_ADVANCED" ? gdi::GM_ADVANCED : gdi::GM_COMPATIBLE) != 0);
        return;
    }
    case 0x1E: { // SetTransformation(varM11, varM12, varM21, varM22, varDx, varDy, res)
        double m[6];
        try {
            for (std::size_t i = 0; i < 6; ++i) m[i] = a[i].ToDouble();
        } catch (const platform::VbError&) {
            a[6] = Variant(false);
            return;
        }
        a[6] = Variant(gdi::SetWorldTransform(target_dc_, {m[0], m[1], m[2], m[3], m[4], m[5]}));
        return;
    }
    }
    SelectTools();
}

// An antialiased line written straight into the target's pixels: along the
// major axis a run of pen-width pixels across the line takes the drawing
// colour, and the pixels just beyond the run's two ends are blended by how
// far the exact line lies towards them.
void ImageObject::SmoothLine(int x1, int y1, int x2, int y2)
{
    gdi::Section s;
    if (!TargetSection(&s) || pen_.style == gdi::PS_NULL) return;
    const bool steep = std::abs(y2 - y1) > std::abs(x2 - x1);
    if (steep) std::swap(x1, y1), std::swap(x2, y2);
    if (x1 > x2) std::swap(x1, x2), std::swap(y1, y2);
    const double slope = double(y2 - y1) / (x2 - x1);
    const int w = std::max(pen_.width, 1), lo = (w - 1) / 2;
    auto blend = [&](int u, int v, double weight) {
        const int x = steep ? v : u, y = steep ? u : v;
        if (x < 0 || y < 0 || x >= s.width || y >= s.height || weight <= 0) return;
        std::uint8_t* p = s.row(y) + std::size_t(x) * 3;
        for (int k = 0; k < 3; ++k) p[k] = std::uint8_t(std::lround(p[k] * (1 - weight) + (pen_.color >> (8 * k) & 255) * weight));
    };
    // Only the columns that can land on the target are walked.
    const int u0 = std::max(x1, -w), u1 = std::min(x2, (steep ? s.height : s.width) + w);
    for (int u = u0; u <= u1; ++u) {
        const double exact = y1 + (u - x1) * slope;
        const int v = int(std::floor(exact));
        const double f = exact - v;
        for (int k = 0; k < w; ++k) blend(u, v - lo + k, 1.0);
        blend(u, v - lo - 1, 1 - f);
        blend(u, v - lo + w, f);
    }
}

// A smooth curve through the anchors as Bezier segments: the control
// points of each anchor follow its neighbours, scaled by `k`.
void ImageObject::Curve(const gdi::Points& p, bool closed, double k)
{
    const std::size_t n = p.size();
    if (n < 2) return;
    if (n == 2) {
        gdi::MoveToEx(target_dc_, p[0].first, p[0].second);
        gdi::LineTo(target_dc_, p[1].first, p[1].second);
        return;
    }
    std::vector<std::pair<double, double>> before(n), after(n);
    for (std::size_t i = 0; i < n; ++i) {
        const auto& P = p[i];
        const auto& A = p[(i + n - 1) % n];
        const auto& B = p[(i + 1) % n];
        const double m1x = (A.first + P.first) / 2.0, m1y = (A.second + P.second) / 2.0;
        const double m2x = (P.first + B.first) / 2.0, m2y = (P.second + B.second) / 2.0;
        const double d1 = std::hypot(P.first - A.first, P.second - A.second), d2 = std::hypot(B.first - P.first, B.second - P.second);
        before[i] = after[i] = {P.first, P.second};
        if (d1 + d2 == 0) continue;
        const double hx = (m2x - m1x) * d1 / (d1 + d2), hy = (m2y - m1y) * d1 / (d1 + d2);
        before[i] = {P.first - k * hx, P.second - k * hy};
        after[i] = {P.first + k * ((m2x - m1x) - hx), P.second + k * ((m2y - m1y) - hy)};
    }
    if (!closed) before[0] = {p[0].first, p[0].second}, after[n - 1] = {p[n - 1].first, p[n - 1].second};
    auto pt = [](std::pair<double, double> q) { return std::pair<int, int>{int(std::lround(q.first)), int(std::lround(q.second))}; };
    gdi::Points bez{p[0]};
    const std::size_t segments = closed ? n : n - 1;
    for (std::size_t i = 0; i < segments; ++i) {
        const std::size_t j = (i + 1) % n;
        bez.push_back(pt(after[i])), bez.push_back(pt(before[j])), bez.push_back(p[j]);
    }
    gdi::PolyBezier(target_dc_, bez);
}

// Points of a 1-D array x, y, x, y, … or a 2-D array with x at (i, lower
// bound 2) and y at (i, lower bound 2 + 1).
std::vector<std::pair<int, int>> ImageObject::Points(const Variant& v) const
{
    std::vector<std::pair<int, int>> pts;
    if (!v.IsArray()) return pts;
    const auto& arr = v.ToArray();
    if (arr.Dimensions() == 1) {
        for (std::int32_t i = arr.LBound(); i + 1 <= arr.UBound(); i += 2) pts.push_back({Num(arr.at(i)), Num(arr.at(i + 1))});
    } else if (arr.Dimensions() == 2 && arr.UBound(2) > arr.LBound(2)) {
        for (std::int32_t i = arr.LBound(); i <= arr.UBound(); ++i)
            pts.push_back({Num(arr.at(i, arr.LBound(2))), Num(arr.at(i, arr.LBound(2) + 1))});
    }
    return pts;
}

namespace {
// A date variant's time for utimensat: UTIME_OMIT for anything else or 0.
timespec file_time(const Variant& v)
{
    timespec ts{0, UTIME_OMIT};
    if (!v.IsDate() || v.ToDouble() == 0) return ts;
    const platform::CivilTime c = platform::CivilFromDays(v.ToDouble());
    std::tm tm{};
    tm.tm_year = c.year - 1900, tm.tm_mon = c.month - 1, tm.tm_mday = c.day;
    tm.tm_hour = c.hour, tm.tm_min = c.minute, tm.tm_sec = c.second, tm.tm_isdst = -1;
    const std::time_t t = std::mktime(&tm);
    if (t != std::time_t(-1)) ts = {t, 0};
    return ts;
}
} // namespace

void SetFileTime(Args& a)
{
    std::string name;
    SetOut(a, 4, Variant(false));
    if (!Text(a[0], &name) || name.empty()) return;
    const timespec times[2] = {file_time(a[3]), file_time(a[2])}; // access, modification
    struct stat st;
    const bool ok = (times[0].tv_nsec == UTIME_OMIT && times[1].tv_nsec == UTIME_OMIT) ? ::stat(name.c_str(), &st) == 0
                                                                                          : ::utimensat(AT_FDCWD, name.c_str(), times, 0) == 0;
    SetOut(a, 4, Variant(ok));
}

} // namespace glimmerax
