// Palettes: sizes, the octree palette of a picture, the present palette
// applied with and without error diffusion, and the web palette.
#include "support.h"

#include "imaging/detail/image_object.h"

using namespace imaging_test;

namespace {

// The palette's entries as 0xRRGGBB, through a GIF's global table.
std::vector<std::uint32_t> palette(platform::Dispatch& o, int n)
{
    Bytes g = *call(o, "GifImage", {L(-1), L(0), Variant(""), out()})[3].BytesPtr();
    std::vector<std::uint32_t> p;
    for (int i = 0; i < n; ++i) p.push_back(std::uint32_t(g[13 + i * 3]) << 16 | g[14 + i * 3] << 8 | g[15 + i * 3]);
    return p;
}

bool set(platform::Dispatch& o, int i, std::uint32_t c)
{
    return call(o, "SetColor", {L(i), L(int(c >> 16)), L(int(c >> 8 & 255)), L(int(c & 255)), out()})[4].ToBool();
}

} // namespace

TEST(Palette, SizesFollowChangePaletteSize)
{
    auto o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {L(10), L(10), L(5), out()});
    EXPECT_TRUE(set(*o, 7, 0));
    EXPECT_FALSE(set(*o, 8, 0));
    call(*o, "ChangePaletteSize", {L(3)});
    EXPECT_TRUE(set(*o, 3, 0));
    EXPECT_FALSE(set(*o, 4, 0));
    call(*o, "ChangePaletteSize", {L(300)});
    EXPECT_FALSE(set(*o, 2, 0));
}

TEST(Palette, BuildPaletteFromThePicture)
{
    std::vector<std::uint32_t> px;
    for (int i = 0; i < 30; ++i) px.push_back(i % 3 == 0 ? 0 : i % 3 == 1 ? 0xFF0000 : 0xFFFFFF);
    auto o = picture(6, 5, px, 8);
    for (int i = 0; i < 8; ++i) set(*o, i, 0x123456);
    for (int important : {8, 9, -1}) call(*o, "BuildPalette", {L(important)});
    EXPECT_EQ(palette(*o, 8), std::vector<std::uint32_t>(8, 0x123456)); // out of range: nothing
    call(*o, "BuildPalette", {L(0)});
    EXPECT_EQ(palette(*o, 8), (std::vector<std::uint32_t>{0, 0xFF0000, 0xFFFFFF, 0x123456, 0x123456, 0x123456, 0x123456, 0x123456}));
    EXPECT_EQ(canvas(*o).px, px);

    // Many colours onto 4 entries, the first two kept.
    px.clear();
    for (int i = 0; i < 400; ++i) px.push_back(std::uint32_t(i * 2654435761u) & 0xFFFFFF);
    o = picture(20, 20, px, 4);
    set(*o, 0, 0x010203), set(*o, 1, 0xFFFFFF);
    call(*o, "BuildPalette", {L(2)});
    auto pal = palette(*o, 4);
    EXPECT_EQ(pal[0], 0x010203u);
    EXPECT_EQ(pal[1], 0xFFFFFFu);
    for (std::uint32_t p : canvas(*o).px) EXPECT_NE(std::find(pal.begin(), pal.end(), p), pal.end()) << std::hex << p;
}

TEST(Palette, ApplyPaletteAndWebPalette)
{
    std::vector<std::uint32_t> px(64, 0x808080);
    px[0] = 0x202020, px[1] = 0xE0E0E0;
    for (bool dither : {false, true}) {
        auto o = picture(8, 8, px, 2);
        set(*o, 0, 0), set(*o, 1, 0xFFFFFF);
        call(*o, "ApplyPalette", {Variant(dither)});
        EXPECT_EQ(palette(*o, 2), (std::vector<std::uint32_t>{0, 0xFFFFFF}));
        Pixels p = canvas(*o);
        int white = 0;
        for (std::uint32_t c : p.px) {
            EXPECT_TRUE(c == 0 || c == 0xFFFFFF);
            white += c == 0xFFFFFF;
        }
        EXPECT_EQ(p.at(0, 0), 0u);
        EXPECT_EQ(p.at(1, 0), 0xFFFFFFu);
        if (dither) EXPECT_NEAR(white, 32, 3);
        else EXPECT_EQ(white, 63); // 128 is nearer white than black
    }
    auto o = picture(2, 1, {0x191A80, 0x0000FF}, 16);
    call(*o, "WebPalette", {});
    EXPECT_EQ(canvas(*o).at(0, 0), 0x191A80u);
    call(*o, "ChangePaletteSize", {L(256)});
    call(*o, "WebPalette", {});
    EXPECT_EQ(canvas(*o).at(0, 0), 0x003399u); // 128 is 2 × 51 + 26: up
    EXPECT_EQ(palette(*o, 256)[36 * 1 + 6 * 2 + 3], 0x336699u);
}

// A full palette collides in the lookup table: every colour still finds its
// entry, a repeated colour its first one, and a colour outside gives 0.
TEST(Palette, ExactIndexFindsTheFirstEntryOfAColour)
{
    std::vector<std::array<std::uint8_t, 3>> pal(256);
    for (int i = 0; i < 256; ++i) pal[std::size_t(i)] = {std::uint8_t(i * 7), std::uint8_t(i), std::uint8_t(255 - i)};
    pal[255] = {255, 255, 255};
    pal[200] = pal[100];
    glimmerax::ExactIndex index(pal.data(), 256), none(pal.data(), 0);
    for (int i = 0; i < 256; ++i) {
        const std::uint8_t bgr[3] = {pal[std::size_t(i)][2], pal[std::size_t(i)][1], pal[std::size_t(i)][0]};
        EXPECT_EQ(index(bgr), i == 200 ? 100 : i) << i;
        EXPECT_EQ(none(bgr), 0);
    }
    const std::uint8_t outside[3] = {1, 2, 3};
    EXPECT_EQ(index(outside), 0);
}
