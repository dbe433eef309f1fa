// Screen capture and icon assembly from hand-written display-data and
// expanded packets.
#include "bytes.h"

#include "device/protocols/codec/icon.h"
#include "device/protocols/codec/screen.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

using namespace brenvik;
using namespace encode_test;
namespace fs = std::filesystem;

namespace {

Bytes le16(int v) { return {std::uint8_t(v), std::uint8_t(v >> 8)}; }
Bytes le32(std::int64_t v) { return Cat({le16(int(v & 0xFFFF)), le16(int(v >> 16))}); }

// Short header (size 18): type 0, 8 unused bytes, Pixels, Bits, Line_Length, lines.
Bytes short_header(int pixels, int bits, int line_length, int lines)
{
    return Frame(69, 18, Cat({le16(0), Rep(0, 8), le16(pixels), le16(bits), le16(line_length), le16(lines)}));
}
// Long header (size 22): type 0, 2 unused, Orientation1 and 2, 2 unused,
// Pixels, 2 unused, Bits, 2 unused, Line_Length_Strict, 2 unused, lines.
Bytes long_header(int pixels, int bits, int strict, int lines)
{
    return Frame(69, 22, Cat({le16(0), Rep(0, 2), H("01 02"), Rep(0, 2), le16(pixels), Rep(0, 2), le16(bits),
                              Rep(0, 2), le16(strict), Rep(0, 2), le16(lines)}));
}
// Pixel record: type 1, the offset just before the first pixel byte (short
// layout: index 5, pixels from 9; long: index 7, pixels from 11).
Bytes pixels(bool long_layout, std::int64_t offset, const Bytes& px)
{
    const Bytes pad = long_layout ? Rep(0, 2) : Bytes{};
    const Bytes data = Cat({le16(1), pad, le32(offset), px});
    return Frame(69, std::uint8_t(data.size()), data);
}
// Colour record in the short layout: offset 3n at index 5, blue, green, red
// at indexes 11 to 13.
Bytes colour(int n, int r, int g, int b)
{
    return Frame(69, 11, Cat({le16(1 + 1), le32(3 * n), Rep(0, 2), Bytes{std::uint8_t(b), std::uint8_t(g), std::uint8_t(r)}}));
}

struct Screen {
    Screen_Capture cap;
    cDisplay d;
    std::string palette;
    fs::path folder = fs::temp_directory_path() / ("screen_test_" + std::to_string(::getpid()));
    std::vector<Screen_Capture::Event> events;
    Screen() { fs::create_directories(folder); }
    ~Screen() { fs::remove_all(folder); }
    void feed(const Bytes& p)
    {
        for (auto& e : cap.Build_Image(p, d, palette, [&] { return (folder / "Default-291.pal").string(); }))
            events.push_back(e);
    }
    std::vector<int> kinds() const
    {
        std::vector<int> k;
        for (auto& e : events) k.push_back(e.kind == Screen_Capture::Event::Progress ? e.pct : e.kind == Screen_Capture::Event::Picture_Done ? 100 : -1);
        return k;
    }
    std::uint32_t at(int x, int y) const { return cap.picture()->Pixels[std::size_t(y * cap.picture()->Width + x)]; }
};

constexpr std::uint32_t kWhite = 0xFFFFFFFF, kBlack = 0xFF000000, kGrey192 = 0xFFC0C0C0;

std::string read_file(const fs::path& p)
{
    std::ifstream in(p, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

} // namespace

TEST(ScreenCapture, OneBitShortHeaderProgressThenPicture)
{
    Screen s;
    s.feed(short_header(1, 1, 8, 2)); // one byte a line, 8 pixels, 2 lines
    EXPECT_EQ(s.d.First_Byte, 9);
    EXPECT_EQ(s.d.Record_Length, 13);
    s.feed(pixels(false, 0, H("80")));
    s.feed(pixels(false, 1, H("01")));
    EXPECT_EQ(s.kinds(), (std::vector<int>{50, 100}));
    ASSERT_EQ(s.cap.picture()->Width, 8);
    EXPECT_EQ(s.at(0, 0), kBlack); // most significant bit leftmost
    EXPECT_EQ(s.at(1, 0), kWhite);
    EXPECT_EQ(s.at(7, 1), kBlack);
    // The capture has ended: further pixel records raise nothing.
    s.feed(pixels(false, 0, H("FF")));
    EXPECT_EQ(s.events.size(), 2u);
}

TEST(ScreenCapture, TwoBitLongHeaderDrawnTurned)
{
    Screen s;
    s.feed(long_header(40, 2, 160, 100));
    EXPECT_EQ(s.d.Line_Length, 160);
    EXPECT_EQ(s.d.Orientation2, 2);
    Bytes buf(4000, 0);
    buf[0] = 0x03;           // line 0, byte 0, low pair: top pixel black
    buf[40 + 39] = 0x40;     // line 1, byte 39, high pair = 1: bottom pixel
    for (int off = 0; off < 4000; off += 200) s.feed(pixels(true, off, Bytes(buf.begin() + off, buf.begin() + off + 200)));
    ASSERT_EQ(s.kinds().back(), 100);
    for (std::size_t k = 0; k + 1 < s.events.size(); ++k) EXPECT_LT(s.events[k].pct, 100);
    EXPECT_EQ(s.cap.picture()->Width, 100);
    EXPECT_EQ(s.cap.picture()->Height, 160);
    EXPECT_EQ(s.at(99, 0), kBlack); // line 0 is the rightmost column
    EXPECT_EQ(s.at(99, 1), kWhite);
    EXPECT_EQ(s.at(98, 159), kGrey192);
}

TEST(ScreenCapture, EightBitRowsPixelsApartAndDefaultPalette)
{
    Screen s;
    s.feed(short_header(3, 8, 3, 2)); // 3 bytes a line: not a multiple of 4
    s.feed(colour(0, 10, 20, 30));
    s.feed(colour(2, 1, 2, 3));
    s.feed(colour(300, 9, 9, 9));    // beyond the table: ignored
    s.feed(Frame(69, 9, Cat({le16(2), le32(3), Rep(0, 3)}))); // too short for its colour
    s.feed(pixels(false, 0, H("00 00 02 02 00 00")));
    EXPECT_EQ(s.kinds(), (std::vector<int>{100}));
    EXPECT_EQ(s.at(2, 0), 0xFF010203u);
    EXPECT_EQ(s.at(0, 1), 0xFF010203u); // row 1 starts 3 bytes on, not 4
    EXPECT_EQ(s.at(1, 1), 0xFF0A141Eu);
    EXPECT_EQ(read_file(s.folder / "Default-291.pal"), "JASC-PAL\r\n0100\r\n256\r\n10 20 30\r\n1 2 3\r\n");
}

TEST(ScreenCapture, PaletteFileGivenOrUnreadable)
{
    Screen s;
    const fs::path pal = s.folder / "mine.pal";
    std::ofstream(pal) << "JASC-PAL\r\n0100\r\n256\r\n255 0 0\r\n0 255 0\r\n";
    s.palette = pal.string();
    s.feed(short_header(2, 8, 2, 1));
    s.feed(colour(0, 1, 1, 1)); // ignored: the file gives the colours
    s.feed(pixels(false, 0, H("00 01")));
    EXPECT_EQ(s.at(0, 0), 0xFFFF0000u);
    EXPECT_EQ(s.at(1, 0), 0xFF00FF00u);
    EXPECT_FALSE(fs::exists(s.folder / "Default-291.pal"));

    s.palette = (s.folder / "missing.pal").string();
    s.events.clear();
    s.feed(short_header(2, 8, 2, 1));
    ASSERT_EQ(s.kinds(), (std::vector<int>{-1}));
    EXPECT_EQ(s.events[0].path, (s.folder / "missing.pal").string());
    EXPECT_EQ(s.palette, "");
    s.feed(colour(0, 7, 7, 7)); // now the unit's colours count
    s.feed(pixels(false, 0, H("00 00")));
    EXPECT_EQ(s.at(0, 0), 0xFF070707u);
    EXPECT_FALSE(fs::exists(s.folder / "Default-291.pal")); // none for that capture
}

TEST(ScreenCapture, HostileHeadersStartNoCapture)
{
    Screen s;
    for (const Bytes& h : {short_header(4, 8, 4, 0), short_header(-4, 8, 4, 5), short_header(4, 8, 4, -5),
                           long_header(32767, 8, 32767, 32767), long_header(0, 1, 0, 10)}) {
        s.feed(h);
        EXPECT_FALSE(s.cap.capturing());
        s.feed(pixels(h[2] != 18, 0, H("01 02 03 04")));
    }
    EXPECT_TRUE(s.events.empty());
    // A short 8-bit header drawn wider than its buffer, chunks past the end.
    s.feed(short_header(2, 8, 40, 2));
    s.feed(pixels(false, -7, H("01")));      // outside: dropped, still counted
    s.feed(pixels(false, 2, Rep(5, 200)));   // 28-byte buffer: clipped
    EXPECT_EQ(s.kinds(), (std::vector<int>{0, 100}));
    EXPECT_EQ(s.cap.picture()->Width, 40);
    // The next good header captures normally.
    s.feed(short_header(1, 1, 8, 1));
    s.feed(pixels(false, 0, H("FF")));
    EXPECT_EQ(s.kinds().back(), 100);
    EXPECT_EQ(s.at(7, 0), kBlack);
}

TEST(ScreenCapture, FourBitsGiveProgressAndNoPicture)
{
    Screen s;
    s.feed(short_header(1, 1, 8, 1));
    s.feed(long_header(2, 4, 99, 2));
    EXPECT_EQ(s.d.Line_Length, 8); // kept from the last header
    EXPECT_EQ(s.d.Line_Length_Strict, 8);
    s.feed(pixels(true, 0, H("11 22")));
    s.feed(pixels(true, 2, H("33 44")));
    EXPECT_EQ(s.kinds(), (std::vector<int>{50}));
}

TEST(ScreenCapture, NewCaptureClosesTheLastPaletteFile)
{
    Screen s;
    s.feed(short_header(1, 8, 1, 4));
    s.feed(colour(0, 1, 2, 3));
    s.feed(short_header(1, 8, 1, 4)); // the first capture never finished
    EXPECT_EQ(read_file(s.folder / "Default-291.pal"), "JASC-PAL\r\n0100\r\n256\r\n1 2 3\r\n");
}

namespace {

Bytes expanded(int id, const Bytes& payload, std::int64_t length = -1)
{
    return Cat({H("10 7B"), Bytes{std::uint8_t(std::min<std::size_t>(payload.size() + 6, 255))},
                le32(length < 0 ? std::int64_t(payload.size()) : length), le16(id), payload, H("00 10 03")});
}
Bytes continuation(int part, const Bytes& payload)
{
    const Bytes data = Cat({Bytes{std::uint8_t(part)}, payload});
    Bytes p{0x10, 124, std::uint8_t(data.size())};
    p.insert(p.end(), data.begin(), data.end());
    p.insert(p.end(), {0, 0x10, 0x03});
    return p;
}
Bytes colours()
{
    Bytes c(1024);
    for (std::size_t i = 0; i < c.size(); ++i) c[i] = std::uint8_t(i * 7);
    return c;
}

} // namespace

TEST(IconExchange, UsbColoursThenPixelsMakeTheBmp)
{
    Icon_Exchange ex;
    Expanded_Values v;
    EXPECT_FALSE(ex.Receive(expanded(882, le32(0x1234)), false, v).bmp);
    EXPECT_EQ(v.PID_Icon, 0x1234);
    EXPECT_FALSE(ex.Receive(expanded(887, Cat({le32(0x1234), colours()})), false, v).bmp);
    EXPECT_EQ(v.PID_Expanded_Length, 1028);
    Bytes px(256);
    px[0] = 3;
    px[255] = 1;
    auto r = ex.Receive(expanded(885, Cat({le32(0x1234), px})), false, v);
    ASSERT_TRUE(r.bmp);
    const Bytes& bmp = *r.bmp;
    ASSERT_EQ(bmp.size(), 1334u);
    EXPECT_EQ(Bytes(bmp.begin(), bmp.begin() + 14), H("42 4D 36 05 00 00 00 00 00 00 36 04 00 00"));
    const Bytes c = colours();
    for (int n : {0, 1, 255}) { // blue, green, red from buffer 4n + 2, 4n + 1, 4n
        EXPECT_EQ(bmp[54 + 4 * n], c[4 * n + 2]);
        EXPECT_EQ(bmp[55 + 4 * n], c[4 * n + 1]);
        EXPECT_EQ(bmp[56 + 4 * n], c[4 * n]);
    }
    EXPECT_EQ(bmp[1078], 3);
    // Row 0 of the BMP is the picture's bottom row.
    EXPECT_EQ(ex.picture()->Pixels[15 * 16], 0xFF000000u | c[12] << 16 | c[13] << 8 | c[14]);
}

TEST(IconExchange, SerialContinuationsAndFloods)
{
    Icon_Exchange ex, usb;
    Expanded_Values v, w;
    const Bytes c = colours();
    // 887 with the first 200 colour bytes, then parts 0 to 2 append, part 3 writes in place.
    ex.Receive(expanded(887, Cat({le32(1), Bytes(c.begin(), c.begin() + 200)})), true, v);
    ex.Receive(continuation(0, Bytes(c.begin() + 200, c.begin() + 450)), true, v);
    ex.Receive(continuation(1, Bytes(c.begin() + 450, c.begin() + 700)), true, v);
    ex.Receive(continuation(2, Bytes(c.begin() + 700, c.begin() + 950)), true, v);
    ex.Receive(continuation(3, Bytes(c.begin() + 950, c.end())), true, v);
    for (int k = 0; k < 50; ++k) ex.Receive(continuation(k % 3, Rep(0xEE, 250)), true, v); // flood: clipped
    Bytes flooded = c;
    std::fill(flooded.begin() + 950, flooded.end(), 0xEE);
    const Bytes px(256, 9);
    EXPECT_FALSE(ex.Receive(expanded(885, Cat({le32(1), Bytes(px.begin(), px.begin() + 200)})), true, v).bmp);
    auto r = ex.Receive(continuation(0, Bytes(px.begin() + 200, px.end())), true, v);
    ASSERT_TRUE(r.bmp);
    usb.Receive(expanded(887, Cat({le32(1), flooded})), false, w);
    auto same = usb.Receive(expanded(885, Cat({le32(1), px})), false, w);
    EXPECT_EQ(*r.bmp, *same.bmp);
    // Shorter than the length field: the missing bytes are 0, nothing read beyond.
    auto short_one = usb.Receive(expanded(885, le32(1), 260), false, w);
    ASSERT_TRUE(short_one.bmp);
    EXPECT_EQ((*short_one.bmp)[1078], 0);
}
