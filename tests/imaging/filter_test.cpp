// Pixel filters, the transparent copy and resampling, checked against the
// formulas computed here.
#include "support.h"

#include <cmath>

using namespace imaging_test;

namespace {

// A canvas of w × h of the pixels made by `f`.
platform::ObjectRef painted(int w, int h, std::uint32_t (*f)(int, int))
{
    std::vector<std::uint32_t> px;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) px.push_back(f(x, y));
    return picture(w, h, px);
}

std::uint32_t noise(int x, int y) { return std::uint32_t((x * 7919 + y * 104729) * 2654435761u >> 8) & 0xFFFFFF; }
int ch(std::uint32_t p, int c) { return int(p >> (16 - 8 * c) & 255); } // red, green, blue

} // namespace

TEST(Filter, PointFilters)
{
    auto o = painted(3, 3, [](int, int y) { return y == 0 ? 0x0A141Eu : y == 1 ? 0x6496C8u : 0x000000u; });
    call(*o, "GrayScale", {L(0), L(0), L(1), L(1)});
    call(*o, "Brightness", {L(50), L(-1), L(1), L(2), L(1)}); // x -1 shrinks the width to 1
    Pixels p = canvas(*o);
    EXPECT_EQ(p.at(0, 0), 0x141414u);
    EXPECT_EQ(p.at(1, 0), 0x0A141Eu);
    EXPECT_EQ(p.at(0, 1), 0x7FB1E3u);
    EXPECT_EQ(p.at(1, 1), 0x6496C8u);
    call(*o, "Flip", {Variant(false), L(1), L(0), L(1), L(3)});
    EXPECT_EQ(canvas(*o).at(1, 0), 0u);
    EXPECT_EQ(canvas(*o).at(1, 2), 0x0A141Eu);
    Pixels before = canvas(*o);
    call(*o, "Contrast", {L(0)});
    EXPECT_EQ(canvas(*o).px, before.px);
    call(*o, "Invert", {});
    EXPECT_EQ(canvas(*o).at(1, 0), 0xFFFFFFu);
    call(*o, "Flip", {});
    EXPECT_EQ(canvas(*o).at(2, 0), 0xEBEBEBu);
    call(*o, "Contrast", {L(-100)});
    EXPECT_EQ(canvas(*o).px, std::vector<std::uint32_t>(9, 0));
}

// The rectangle (2, 1) 24 x 17 leaves a margin on every side and has
// pixels whose whole kernel lies inside it as well as pixels near its edges.
TEST(Filter, BlurAndSharpenAreTheirConvolutions)
{
    for (int radius : {0, 1, 3}) {
        for (bool sharpen : {false, true}) {
            auto o = painted(30, 20, noise);
            Pixels in = canvas(*o);
            call(*o, sharpen ? "Sharpen" : "Blur", {L(radius), L(2), L(1), L(24), L(17)});
            Pixels got = canvas(*o);
            const int r = sharpen ? std::max(radius, 1) : radius;
            const double s = 2.0 * r * r / 3.0;
            auto weight = [&](int i, int j) {
                if (!sharpen) return int(std::lround(64 * std::exp(-(i * i + j * j) / s)));
                if (i || j) return -int(std::lround(64 * std::exp(-(i * i + j * j) / s)));
                int sum = 0;
                for (int b = -r; b <= r; ++b)
                    for (int a = -r; a <= r; ++a) sum += (a || b) ? int(std::lround(64 * std::exp(-(a * a + b * b) / s))) : 0;
                return 2 * sum;
            };
            for (int y = 0; y < 20; ++y)
                for (int x = 0; x < 30; ++x) {
                    std::uint32_t want = in.at(x, y);
                    if (radius > 0 || sharpen)
                        if (x >= 2 && x < 26 && y >= 1 && y < 18) {
                            want = 0;
                            for (int c = 0; c < 3; ++c) {
                                long pos = 0, neg = 0, sum = 0;
                                for (int j = -r; j <= r; ++j)
                                    for (int i = -r; i <= r; ++i) {
                                        if (x + i < 2 || x + i >= 26 || y + j < 1 || y + j >= 18) continue;
                                        int w = weight(i, j);
                                        (w > 0 ? pos : neg) += std::abs(w);
                                        sum += w * ch(in.at(x + i, y + j), c);
                                    }
                                long v = neg < pos ? std::clamp(sum / (pos - neg), 0L, 255L) : ch(in.at(x, y), c);
                                want |= std::uint32_t(v) << (16 - 8 * c);
                            }
                        }
                    EXPECT_EQ(got.at(x, y), want) << radius << sharpen << " at " << x << "," << y;
                }
        }
    }
}

TEST(Filter, TransparentCopyAndResizeIntoTheClipboard)
{
    auto o = painted(10, 10, noise);
    Pixels src = canvas(*o);
    auto clipboard = [&] {
        call(*o, "SelectClipboard", {Variant(true)});
        auto view = glimmerax::CreateImageObject();
        call(*view, "CreateImage", {L(6), L(6), L(2), out()});
        call(*view, "ReadImage", {Variant(o), out(), L(0), L(0), missing(), out(), out()});
        call(*o, "SelectClipboard", {Variant(false)});
        return canvas(*view);
    };
    EXPECT_TRUE(call(*o, "InitClipboard", {L(6), L(6), out()})[2].ToBool());
    // Source (2, 3)-(6, 7) onto (-1, 0): the key colour, entry 1 set to the
    // pixel at (3, 3), stays out; the rest is copied.
    call(*o, "SetColor", {L(1), L(ch(src.at(3, 3), 0)), L(ch(src.at(3, 3), 1)), L(ch(src.at(3, 3), 2)), out()});
    call(*o, "TransparentCopy", {L(-1), L(0), L(5), L(5), L(2), L(3), L(1)});
    Pixels c = clipboard();
    EXPECT_EQ(c.at(0, 0), 0u);
    EXPECT_EQ(c.at(1, 0), src.at(4, 3));
    EXPECT_EQ(c.at(3, 2), src.at(6, 5));
    EXPECT_EQ(c.at(4, 0), 0u);
    // Half opacity for the others.
    call(*o, "TransparentCopy", {L(0), L(0), L(1), L(1), L(5), L(5), L(1), L(0), L(50)});
    EXPECT_EQ(clipboard().at(0, 0), (src.at(5, 5) >> 1) & 0x7F7F7Fu);

    // Elliptic average, 10 × 10 to 5 × 5: each 3 × 3 neighbourhood weighted 1 - (dx² + dy²) / 4.
    call(*o, "Resize", {L(0), L(0), L(5), L(5), L(0), L(0), L(10), L(10), L(3)});
    c = clipboard();
    for (int i = 0; i < 5; ++i)
        for (int j = 0; j < 5; ++j)
            for (int k = 0; k < 3; ++k) {
                double sum = 0, total = 0;
                for (int dy = -1; dy <= 1; ++dy)
                    for (int dx = -1; dx <= 1; ++dx) {
                        int x = 2 * j + dx, y = 2 * i + dy;
                        if (x < 0 || y < 0) continue;
                        double w = 1 - (dx * dx + dy * dy) / 4.0;
                        sum += w * ch(src.at(x, y), k), total += w;
                    }
                EXPECT_NEAR(ch(c.at(j, i), k), int(sum / total), 1) << j << "," << i;
            }
    // Bilinear, 3 × 3 to 4 × 4 from (1, 1): destination (1, 2) samples (1.75, 2.5).
    call(*o, "Resize", {L(0), L(0), L(4), L(4), L(1), L(1), L(3), L(3), L(1)});
    c = clipboard();
    for (int k = 0; k < 3; ++k) {
        auto p = [&](int x, int y) { return double(ch(src.at(x, y), k)); };
        double want = 0.5 * (0.75 * p(2, 3) + 0.25 * p(1, 3)) + 0.5 * (0.75 * p(2, 2) + 0.25 * p(1, 2));
        EXPECT_NEAR(ch(c.at(1, 2), k), int(want), 1);
    }
    // Enlarging with the cosine window copies the nearest pixel; an unknown type writes nothing.
    call(*o, "Resize", {L(0), L(0), L(6), L(6), L(0), L(0), L(3), L(3), L(4)});
    EXPECT_EQ(clipboard().at(5, 5), src.at(2, 2));
    call(*o, "Resize", {L(0), L(0), L(6), L(6), L(4), L(4), L(3), L(3), L(5)});
    EXPECT_EQ(clipboard().at(5, 5), src.at(2, 2));
}
