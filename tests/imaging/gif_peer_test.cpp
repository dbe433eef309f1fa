// GIF both ways against convert and identify: the single-image writers, the
// reader with composition and transparency, and the animation track.
#include "support.h"

#include <algorithm>

using namespace imaging_test;

namespace {


// A canvas holding convert's picture quantised to `colours`, its palette
// set to the picture's.
platform::ObjectRef paletted(int colours, std::vector<std::uint32_t>* pal)
{
    std::string f = (temp_dir() / ("q" + std::to_string(colours) + ".png")).string();
    run("convert " + source_png() + " -colors " + std::to_string(colours) + " PNG8:" + f);
    auto o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {L(37), L(23), L(colours), out()});
    Args r = call(*o, "ReadImage", {Variant(f), out(), L(0), L(0), missing(), out(), out()});
    const auto& p = r[1].ToArray();
    pal->clear();
    for (int i = 0; i <= p.UBound(1) && i < colours; ++i) {
        call(*o, "SetColor", {L(i), p.at(i, 0), p.at(i, 1), p.at(i, 2), out()});
        pal->push_back(std::uint32_t(p.at(i, 0).ToInt32()) << 16 | p.at(i, 1).ToInt32() << 8 | p.at(i, 2).ToInt32());
    }
    return o;
}

Bytes gif(platform::Dispatch& o, Args args) { return *call(o, args.size() == 4 ? "GifImage" : "GifPartialImage", args).back().BytesPtr(); }

} // namespace

TEST(GifPeer, GifImageIsReadBackByConvert)
{
    if (!have_convert()) GTEST_SKIP() << "convert is not installed";
    for (int colours : {16, 2}) {
        std::vector<std::uint32_t> pal;
        auto o = paletted(16, &pal);
        if (colours == 2) call(*o, "ChangePaletteSize", {L(2)}), pal.resize(2), call(*o, "CreateImage", {L(37), L(23), L(2), out()});
        call(*o, "ReadImage", {Variant((temp_dir() / "q16.png").string()), out(), L(0), L(0), missing(), out(), out()});
        Pixels mine = canvas(*o);
        for (int inter : {0, 1}) {
            Bytes g = gif(*o, {L(3), L(inter), Variant(""), out()});
            auto f = temp_dir() / "mine.gif";
            EXPECT_TRUE(call(*o, "GifImage", {L(3), L(inter), Variant(f.string()), out()})[3].ToBool());
            EXPECT_EQ(read_file(f), g);
            EXPECT_EQ(g[10], colours == 16 ? 0xB3 : 0x80);
            const std::size_t gce = 13 + 3 * std::size_t(colours);
            EXPECT_EQ(Bytes(g.begin() + long(gce), g.begin() + long(gce) + 8), (Bytes{0x21, 0xF9, 4, 5, 0, 0, 3, 0}));
            EXPECT_EQ(g[gce + 8 + 9], inter ? 0x40 : 0);
            EXPECT_EQ(g[gce + 8 + 10], colours == 16 ? 4 : 2);
            Pixels back = theirs(f.string());
            int bad = 0;
            for (std::size_t i = 0; i < mine.px.size(); ++i) {
                auto at = std::find(pal.begin(), pal.end(), mine.px[i]);
                std::uint32_t want = at == pal.end() ? pal[0] : *at;
                if (at - pal.begin() != 3) bad += back.px[i] != want;
            }
            EXPECT_EQ(bad, 0) << colours << " colours, interlace " << inter;
        }
        Bytes part = gif(*o, {L(-1), L(0), Variant(""), L(2), L(3), L(10), L(8), out()});
        write_file(temp_dir() / "part.gif", part);
        Pixels p = theirs((temp_dir() / "part.gif").string());
        ASSERT_EQ(p.w, 9);
        ASSERT_EQ(p.h, 6);
        if (colours == 16)
            for (int y = 0; y < 6; ++y)
                for (int x = 0; x < 9; ++x) EXPECT_EQ(p.at(x, y), mine.at(x + 2, y + 3));
        EXPECT_FALSE(call(*o, "GifPartialImage", {L(-1), L(0), Variant(""), L(0), L(0), L(37), L(5), out()})[7].ToBool());
    }
}

// Noise in 256 colours fills the encoder's string table many times over and
// spans thousands of sub-blocks; convert reads back every pixel.
TEST(GifPeer, NoisyPictureFillsTheStringTable)
{
    if (!have_convert()) GTEST_SKIP() << "convert is not installed";
    const int w = 300, h = 200;
    auto colour = [](int i) { return std::uint32_t(i) << 16 | std::uint32_t(i * 37 & 255) << 8 | std::uint32_t(i * 101 & 255); };
    std::vector<std::uint32_t> px;
    std::uint32_t seed = 9;
    for (int i = 0; i < w * h; ++i) px.push_back(colour(int((seed = seed * 1103515245 + 12345) >> 16 & 255)));
    auto o = picture(w, h, px, 256);
    for (int i = 0; i < 256; ++i) call(*o, "SetColor", {L(i), L(i), L(i * 37 & 255), L(i * 101 & 255), out()});
    for (int inter : {0, 1}) {
        const auto f = temp_dir() / "noise.gif";
        write_file(f, gif(*o, {L(-1), L(inter), Variant(""), out()}));
        EXPECT_EQ(theirs(f.string()).px, px) << "interlace " << inter;
    }
}

TEST(GifPeer, GifsConvertWritesAreComposed)
{
    if (!have_convert()) GTEST_SKIP() << "convert is not installed";
    std::string f = (temp_dir() / "c.gif").string();
    run("convert " + source_png() + " -colors 50 " + f);
    auto o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {L(37), L(23), L(2), out()});
    Args r = call(*o, "ReadImage", {Variant(f), out(), L(0), L(0), missing(), out(), out()});
    EXPECT_EQ(r[6].ToInt32(), 1);
    EXPECT_EQ(r[5].ToInt32(), 1);
    EXPECT_EQ(r[1].ToArray().UBound(1), 63);
    EXPECT_EQ(canvas(*o).px, theirs(f).px);
}

// LZW data of code size 2 written by hand: a clear code before every index
// keeps the codes 3 bits wide.
Bytes lzw_literal(const std::vector<int>& indices)
{
    std::vector<int> codes;
    for (int i : indices) codes.push_back(4), codes.push_back(i);
    codes.push_back(5);
    Bytes data;
    std::uint32_t acc = 0;
    int n = 0;
    for (int c : codes) {
        acc |= std::uint32_t(c) << n, n += 3;
        for (; n >= 8; n -= 8, acc >>= 8) data.push_back(std::uint8_t(acc));
    }
    if (n) data.push_back(std::uint8_t(acc));
    Bytes out{2, std::uint8_t(data.size())};
    out.insert(out.end(), data.begin(), data.end());
    out.push_back(0);
    return out;
}

TEST(Gif, TwoImagesAreComposed)
{
    // Screen 6 × 4, global table black, red, green, blue, background green.
    Bytes g{'G', 'I', 'F', '8', '9', 'a', 6, 0, 4, 0, 0x81, 2, 0, 0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255};
    // A red 3 × 2 image at (0, 0).
    Bytes d1{0x2C, 0, 0, 0, 0, 3, 0, 2, 0, 0}, i1 = lzw_literal({1, 1, 1, 1, 1, 1});
    // Then a 3 × 3 interlaced one at (1, 1) with a local table (white, yellow)
    // whose entry 0 is transparent: rows 0 1 0 / 1 0 1 / 0 0 0, stored 0, 2, 1.
    Bytes gce{0x21, 0xF9, 4, 1, 0, 0, 0, 0}, d2{0x2C, 1, 0, 1, 0, 3, 0, 3, 0, 0xC0, 255, 255, 255, 255, 255, 0};
    Bytes i2 = lzw_literal({0, 1, 0, 0, 0, 0, 1, 0, 1});
    for (const Bytes* part : {&d1, &i1, &gce, &d2, &i2}) g.insert(g.end(), part->begin(), part->end());
    g.push_back(0x3B);
    auto o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {L(8), L(6), L(2), out()});
    Args r = call(*o, "ReadImage", {Variant(g), out(), L(1), L(1), missing(), out(), out()});
    EXPECT_EQ(r[6].ToInt32(), 1);
    EXPECT_EQ(r[5].ToInt32(), 2);
    EXPECT_EQ(r[1].ToArray().UBound(1), 3);
    Pixels p = canvas(*o);
    auto at = [&](int sx, int sy) { return p.at(sx + 1, sy + 1); };
    EXPECT_EQ(at(0, 0), 0xFF0000u);
    EXPECT_EQ(at(1, 1), 0xFF0000u); // transparent over the first image
    EXPECT_EQ(at(2, 1), 0xFFFF00u);
    EXPECT_EQ(at(3, 1), 0u);        // transparent where only the target was
    EXPECT_EQ(at(1, 2), 0xFFFF00u);
    EXPECT_EQ(at(2, 2), 0u);
    EXPECT_EQ(at(5, 3), 0x00FF00u); // no image: the background colour
    EXPECT_EQ(p.at(0, 0), 0u);       // outside the screen
    // Without transparency the second image's entry 0 is drawn.
    call(*o, "ReadImage", {Variant(g), out(), L(1), L(1), Variant(false), out(), out()});
    EXPECT_EQ(canvas(*o).at(2, 2), 0xFFFFFFu);
}

// Runs of seven pixels cross the rows of a 37-pixel picture, so decoded
// strings cross rows too; read at an offset, the picture is cut where the
// target ends and lands shifted, interlaced or not.
TEST(Gif, StringsAcrossRowsLandCutAndShifted)
{
    const int w = 37, h = 23;
    const std::uint32_t colours[4] = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    std::vector<std::uint32_t> px;
    for (int i = 0; i < w * h; ++i) px.push_back(colours[(i / 7 + i / 300) % 4]);
    auto o = picture(w, h, px, 4);
    for (int i = 0; i < 4; ++i)
        call(*o, "SetColor", {L(i), L(int(colours[i] >> 16)), L(int(colours[i] >> 8 & 255)), L(int(colours[i] & 255)), out()});
    for (int inter : {0, 1}) {
        const Bytes g = gif(*o, {L(-1), L(inter), Variant(""), out()});
        struct Case {
            int cw, ch, x, y;
        };
        for (const Case& k : {Case{w, h, 0, 0}, Case{20, 15, -5, -4}, Case{30, 20, 10, 7}}) {
            auto t = glimmerax::CreateImageObject();
            call(*t, "CreateImage", {L(k.cw), L(k.ch), L(4), out()});
            call(*t, "ReadImage", {Variant(g), out(), L(k.x), L(k.y), missing(), out(), out()});
            const Pixels got = canvas(*t);
            int bad = 0;
            for (int y = 0; y < k.ch; ++y)
                for (int x = 0; x < k.cw; ++x) {
                    const int sx = x - k.x, sy = y - k.y;
                    const bool on = sx >= 0 && sy >= 0 && sx < w && sy < h;
                    bad += got.at(x, y) != (on ? px[std::size_t(sy * w + sx)] : 0u); // a new canvas is black
                }
            EXPECT_EQ(bad, 0) << "interlace " << inter << ", at " << k.x << ", " << k.y;
        }
    }
}

TEST(GifPeer, TrackIsListedByIdentify)
{
    if (!have_convert()) GTEST_SKIP() << "convert is not installed";
    std::vector<std::uint32_t> pal;
    auto o = paletted(16, &pal);
    EXPECT_TRUE(call(*o, "TrackPlay", {Variant(""), L(0), out()})[2].IsEmpty() ||
                !call(*o, "TrackPlay", {Variant(""), L(0), out()})[2].ToBool());
    call(*o, "TrackAdd", {L(-1), L(0), L(0), L(0), L(0), L(37), L(23), L(10), Variant("BACKGROUND")});
    call(*o, "TrackAdd", {L(2), L(4), L(5), L(1), L(1), L(8), L(6), L(20), Variant("PREVIOUS")});
    call(*o, "TrackAdd", {L(-1), L(30), L(20), L(0), L(0), L(20), L(20), L(30)});
    call(*o, "TrackAdd", {L(-1), L(37), L(0), L(0), L(0), L(5), L(5), L(30)}); // corner outside: nothing
    std::string f = (temp_dir() / "track.gif").string();
    EXPECT_TRUE(call(*o, "TrackPlay", {Variant(f), L(0), out()})[2].ToBool());
    EXPECT_EQ(shell("identify -format '%w %h %X %Y %T %D|' " + f), "37 23 +0 +0 10 Background|8 6 +4 +5 20 Previous|7 3 +30 +20 30 Undefined|");
    Bytes b = read_file(f);
    Bytes ns{'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E'};
    EXPECT_EQ(std::search(b.begin(), b.end(), ns.begin(), ns.end()), b.end());
    call(*o, "TrackLoop", {L(0)});
    b = *call(*o, "TrackPlay", {Variant(""), L(0), out()})[2].BytesPtr();
    auto at = std::search(b.begin(), b.end(), ns.begin(), ns.end());
    ASSERT_NE(at, b.end());
    EXPECT_EQ(Bytes(at + 11, at + 16), (Bytes{3, 1, 0, 0, 0}));
    // A canvas made smaller: the source is cut to it too.
    call(*o, "CreateImage", {L(10), L(10), L(16), out()});
    call(*o, "TrackAdd", {L(-1), L(0), L(0), L(5), L(5), L(30), L(30), L(5)});
    b = *call(*o, "TrackPlay", {Variant(""), L(0), out()})[2].BytesPtr();
    write_file(f, b);
    EXPECT_EQ(shell("identify -format '%w %h|' " + f), "37 23|8 6|7 3|5 5|");
}
