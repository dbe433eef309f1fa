#include "platform/gdi/gdi.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace platform::gdi;

namespace {

// A context holding a fresh w x h section.
struct Canvas {
    Handle dc = CreateCompatibleDC(), bmp = 0;
    Section s;
    Canvas(int w, int h)
    {
        bmp = CreateDIBSection(w, h, nullptr);
        SelectObject(dc, bmp);
        GetSection(bmp, &s);
    }
    ~Canvas()
    {
        SelectObject(dc, 0);
        DeleteDC(dc);
        DeleteObject(bmp);
    }
    std::uint32_t at(int x, int y) const
    {
        const std::uint8_t* p = s.row(y) + x * 3;
        return std::uint32_t(p[2]) << 16 | p[1] << 8 | p[0];
    }
};

BitmapInfo palette_info(int w, int h, int bits, std::uint32_t compression)
{
    BitmapInfo i;
    i.width = w, i.height = h, i.bit_count = std::uint16_t(bits), i.compression = compression;
    i.colors = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
    return i;
}

} // namespace

TEST(Gdi, SectionsAreBoundedAndContextsReportNinetySixPixelsPerInch)
{
    EXPECT_EQ(CreateDIBSection(50000, 50000, nullptr), 0u); // over 2^31 - 1 pixel bytes
    EXPECT_EQ(CreateDIBSection(0, 5, nullptr), 0u);
    Canvas c(3, 2);
    EXPECT_EQ(c.s.stride, 12u);
    EXPECT_EQ(GetDeviceCaps(c.dc, LOGPIXELSX), 96);
    EXPECT_EQ(SetMapMode(c.dc, MM_TEXT), MM_TEXT);
    EXPECT_FALSE(DeleteObject(c.bmp)); // still selected
}

TEST(Gdi, RunLengthPicturesDrawBottomUpAndStayInsideTheirRows)
{
    Canvas c(4, 2);
    // RLE8: bottom row "1 1 2" then end of line; top row absolute 3 pixels 3,2,1
    // (padded), a run of 9 that is cut at the row's end, end of picture.
    const std::uint8_t rle8[] = {2, 1, 1, 2, 0, 0, 0, 3, 3, 2, 1, 0, 9, 3, 0, 1};
    StretchDIBits(c.dc, 0, 0, 4, 2, 0, 0, 4, 2, rle8, sizeof rle8, palette_info(4, 2, 8, BI_RLE8), 0, SRCCOPY);
    EXPECT_EQ(c.at(0, 1), 0xFF0000u);
    EXPECT_EQ(c.at(2, 1), 0x00FF00u);
    EXPECT_EQ(c.at(0, 0), 0x0000FFu);
    EXPECT_EQ(c.at(2, 0), 0xFF0000u);
    EXPECT_EQ(c.at(3, 0), 0x0000FFu);
    // RLE4: a run of 3 alternating 1 and 2.
    Canvas d(3, 1);
    const std::uint8_t rle4[] = {3, 0x12, 0, 1};
    StretchDIBits(d.dc, 0, 0, 3, 1, 0, 0, 3, 1, rle4, sizeof rle4, palette_info(3, 1, 4, BI_RLE4), 0, SRCCOPY);
    EXPECT_EQ(d.at(0, 0), 0xFF0000u);
    EXPECT_EQ(d.at(1, 0), 0x00FF00u);
    EXPECT_EQ(d.at(2, 0), 0xFF0000u);
}

TEST(Gdi, PixelFormatsAndRowsPastTheBytesGiven)
{
    Canvas c(2, 2);
    BitmapInfo i;
    i.width = 2, i.height = 2, i.bit_count = 16, i.compression = BI_BITFIELDS;
    i.masks[0] = 0xF800, i.masks[1] = 0x07E0, i.masks[2] = 0x001F;
    // Bottom row: pure red, pure blue; the top row is not given: black.
    const std::uint8_t px[] = {0x00, 0xF8, 0x1F, 0x00};
    c.at(0, 0);
    std::memset(c.s.bits, 0x55, c.s.stride * 2);
    StretchDIBits(c.dc, 0, 0, 2, 2, 0, 0, 2, 2, px, sizeof px, i, 0, SRCCOPY);
    EXPECT_EQ(c.at(0, 1), 0xF80000u);
    EXPECT_EQ(c.at(1, 1), 0x0000F8u);
    EXPECT_EQ(c.at(0, 0), 0u);
    // 1 bit a pixel, top-down, drawn at (-1, 0): only the second pixel lands.
    Canvas d(1, 1);
    const std::uint8_t bits[] = {0x40, 0, 0, 0};
    StretchDIBits(d.dc, -1, 0, 2, 1, 0, 0, 2, 1, bits, sizeof bits, palette_info(2, -1, 1, BI_RGB), 0, SRCCOPY);
    EXPECT_EQ(d.at(0, 0), 0xFF0000u);
}

TEST(Gdi, BitBltCopiesAndClipsToBothSections)
{
    Canvas a(3, 3), b(2, 2);
    std::memset(b.s.bits, 0xAB, b.s.stride * 2);
    EXPECT_TRUE(BitBlt(a.dc, 2, 2, 2, 2, b.dc, 0, 0, SRCCOPY));
    EXPECT_EQ(a.at(2, 2), 0xABABABu);
    EXPECT_EQ(a.at(1, 1), 0u);
    EXPECT_FALSE(BitBlt(a.dc, 0, 0, 1, 1, 0, 0, 0, SRCCOPY));
}

// A source transformation may scale and move (the source rectangle is read
// in device pixels); it may not turn. Negative source extents mirror.
TEST(Gdi, CopiesReadTheSourceThroughItsTransformation)
{
    Canvas src(8, 1), dst(4, 1);
    for (int x = 0; x < 8; ++x) SetPixel(src.dc, x, 0, std::uint32_t(x + 1));
    ASSERT_EQ(SetGraphicsMode(src.dc, GM_ADVANCED), GM_COMPATIBLE);
    ASSERT_TRUE(SetWorldTransform(src.dc, {2, 0, 0, 1, 1, 0})); // logical x is device 2x + 1
    // Logical [1, 3) is device [3, 7): the two pixels' centres fall on device 4 and 6.
    EXPECT_TRUE(BitBlt(dst.dc, 0, 0, 2, 1, src.dc, 1, 0, SRCCOPY));
    EXPECT_EQ(dst.at(0, 0), 5u);
    EXPECT_EQ(dst.at(1, 0), 7u);
    // Backwards from logical 3: device [3, 7) read from its right end, 5 then 3.
    EXPECT_TRUE(StretchBlt(dst.dc, 2, 0, 2, 1, src.dc, 3, 0, -2, 1, SRCCOPY, COLORONCOLOR));
    EXPECT_EQ(dst.at(2, 0), 6u);
    EXPECT_EQ(dst.at(3, 0), 4u);
    ASSERT_TRUE(SetWorldTransform(src.dc, {0, 1, -1, 0, 0, 0}));
    EXPECT_FALSE(BitBlt(dst.dc, 0, 0, 1, 1, src.dc, 0, 0, SRCCOPY));
}
