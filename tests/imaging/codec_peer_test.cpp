// JPEG and PNG both ways against convert and identify: files convert writes
// drawn over a known picture, and files the image object writes read back.
#include "support.h"

#include <zlib.h>

#include <algorithm>
#include <map>

using namespace imaging_test;

namespace {

// convert's reading as 16-bit red, green, blue, alpha; the high bytes.
std::vector<std::array<int, 4>> rgba(const std::string& file)
{
    std::vector<std::array<int, 4>> px;
    FILE* f = popen(("convert '" + file + "' -depth 16 -endian MSB rgba:- 2>/dev/null").c_str(), "r");
    std::array<int, 4> p;
    for (;;) {
        for (int& c : p) {
            c = fgetc(f);
            fgetc(f);
        }
        if (p[3] < 0) break;
        px.push_back(p);
    }
    pclose(f);
    return px;
}


std::uint32_t be32(const Bytes& b, std::size_t at) { return std::uint32_t(b[at]) << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3]; }

// A PNG's chunks by type (the first of each), after checking every CRC.
std::map<std::string, Bytes> chunks(const Bytes& png)
{
    std::map<std::string, Bytes> out;
    for (std::size_t at = 8; at + 12 <= png.size();) {
        std::uint32_t n = be32(png, at);
        EXPECT_EQ(crc32(0, png.data() + at + 4, n + 4), be32(png, at + 8 + n));
        std::string type(png.begin() + long(at) + 4, png.begin() + long(at) + 8);
        out.emplace(type, Bytes(png.begin() + long(at) + 8, png.begin() + long(at) + 8 + n));
        at += 12 + n;
    }
    return out;
}

// The bKGD colour as the picture's samples scale (-1 when absent).
std::array<int, 3> background(const Bytes& file)
{
    auto c = chunks(file);
    if (!c.count("bKGD")) return {-1, -1, -1};
    const Bytes& b = c["bKGD"];
    int depth = c["IHDR"][8], type = c["IHDR"][9];
    auto scale = [&](int v) { return depth == 16 ? v >> 8 : depth == 8 ? v : v * 255 / ((1 << depth) - 1); };
    if (type == 3) return {c["PLTE"][b[0] * 3], c["PLTE"][b[0] * 3 + 1], c["PLTE"][b[0] * 3 + 2]};
    if (type == 0 || type == 4) return {scale(b[0] << 8 | b[1]), scale(b[0] << 8 | b[1]), scale(b[0] << 8 | b[1])};
    return {scale(b[0] << 8 | b[1]), scale(b[2] << 8 | b[3]), scale(b[4] << 8 | b[5])};
}

// An image object holding a known picture of w × h.
platform::ObjectRef known(int w, int h)
{
    std::string bmp = (temp_dir() / ("known" + std::to_string(w) + "x" + std::to_string(h) + ".bmp")).string();
    run("convert -size " + std::to_string(w) + "x" + std::to_string(h) + " gradient:red-blue BMP3:" + bmp);
    auto o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {L(w), L(h), L(8), out()});
    call(*o, "ReadImage", {Variant(bmp), out(), L(0), L(0), missing(), out(), out()});
    return o;
}

bool contains(const Bytes& b, const Bytes& part) { return std::search(b.begin(), b.end(), part.begin(), part.end()) != b.end(); }


} // namespace

TEST(CodecPeer, PngFilesConvertWritesBlendOverTheCanvas)
{
    if (!have_convert()) GTEST_SKIP() << "convert is not installed";
    const std::string src = source_png();
    const std::pair<const char*, std::string> cases[] = {
        {"rgb.png", ""}, {"rgba.png", "-alpha set -channel A -fx 'i/w' +channel"},
        {"g1.png", "-colorspace gray -depth 1"}, {"g2.png", "-colorspace gray -depth 2"},
        {"g4.png", "-colorspace gray -depth 4"}, {"g16.png", "-colorspace gray -depth 16"},
        {"ga.png", "-colorspace gray -alpha set -channel A -fx 'j/h' +channel"},
        {"rgb16.png", "-depth 16 -background '#8000ff004000'"}, {"adam7.png", "-interlace PNG -alpha set -channel A -fx 'i/w' +channel"},
        {"nobkgd.png", "-alpha set -channel A -fx 'i/w' +channel -define png:exclude-chunk=bKGD"},
        {"pal.png", "-colors 8 -transparent white -background '#336699' PNG8:"}};
    for (const auto& [name, args] : cases) {
        std::string f = (temp_dir() / name).string();
        ASSERT_TRUE(run("convert " + src + " " + args + (args.find("PNG8:") != std::string::npos ? "" : " ") + f)) << name;
        auto want = rgba(f);
        auto bg = background(read_file(f));
        for (bool transparency : {true, false}) {
            auto o = known(37, 23);
            Pixels under = canvas(*o);
            Args r = call(*o, "ReadImage", {Variant(f), out(), L(0), L(0), Variant(transparency), out(), out()});
            ASSERT_EQ(r[6].ToInt32(), 5) << name;
            Pixels got = canvas(*o);
            int bad = 0;
            for (int i = 0; i < 37 * 23; ++i) {
                std::uint32_t t = under.px[std::size_t(i)], g = got.px[std::size_t(i)];
                int a = transparency ? want[std::size_t(i)][3] : 255;
                for (int c = 0; c < 3; ++c) {
                    int tc = bg[0] >= 0 ? bg[c] : int(t >> (16 - 8 * c) & 255);
                    int e = ((255 - a) * tc + a * want[std::size_t(i)][std::size_t(c)]) / 255;
                    if (int(g >> (16 - 8 * c) & 255) != e) ++bad;
                }
            }
            EXPECT_EQ(bad, 0) << name << " transparency " << transparency;
        }
    }
}

// Drawn at an offset, a PNG with alpha and an opaque one are clipped to the
// canvas, blended where they lie.
TEST(CodecPeer, PngDrawnAtAnOffsetIsClipped)
{
    if (!have_convert()) GTEST_SKIP() << "convert is not installed";
    for (const char* alpha : {"-alpha set -channel A -fx 'i/w' +channel", ""}) {
        std::string f = (temp_dir() / "offset.png").string();
        ASSERT_TRUE(run("convert " + source_png() + " " + alpha + " -define png:exclude-chunk=bKGD " + f));
        auto want = rgba(f);
        for (auto [dx, dy] : {std::pair{-4, 3}, std::pair{9, -2}, std::pair{0, 5}}) {
            auto o = known(37, 23);
            Pixels under = canvas(*o);
            call(*o, "ReadImage", {Variant(f), out(), L(dx), L(dy), missing(), out(), out()});
            Pixels got = canvas(*o);
            int bad = 0;
            for (int y = 0; y < 23; ++y)
                for (int x = 0; x < 37; ++x) {
                    const int sx = x - dx, sy = y - dy;
                    const bool inside = sx >= 0 && sx < 37 && sy >= 0 && sy < 23;
                    const auto& p = want[std::size_t(inside ? sy * 37 + sx : 0)];
                    for (int c = 0; c < 3; ++c) {
                        const int t = int(under.at(x, y) >> (16 - 8 * c) & 255);
                        const int e = inside ? ((255 - p[3]) * t + p[3] * p[std::size_t(c)]) / 255 : t;
                        bad += int(got.at(x, y) >> (16 - 8 * c) & 255) != e;
                    }
                }
            EXPECT_EQ(bad, 0) << alpha << " at " << dx << ", " << dy;
        }
    }
}

TEST(CodecPeer, PngImageIsReadBackByConvert)
{
    if (!have_convert()) GTEST_SKIP() << "convert is not installed";
    auto o = known(37, 23);
    call(*o, "ReadImage", {Variant(source_png()), out(), L(0), L(0), missing(), out(), out()});
    Pixels mine = canvas(*o);
    auto f = temp_dir() / "mine.png";
    EXPECT_TRUE(call(*o, "PngImage", {L(-1), L(0), Variant(f.string()), missing(), missing(), missing(), missing(), out()})[7].ToBool());
    EXPECT_EQ(theirs(f.string()).px, mine.px);
    // A rectangle, into memory: the byte array is the file.
    Args r = call(*o, "PngImage", {L(-1), L(0), Variant(""), L(2), L(3), L(10), L(8), out()});
    write_file(temp_dir() / "rect.png", *r[7].BytesPtr());
    Pixels rect = theirs((temp_dir() / "rect.png").string());
    ASSERT_EQ(rect.w, 10);
    ASSERT_EQ(rect.h, 8);
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x) EXPECT_EQ(rect.at(x, y), mine.at(x + 2, y + 3));
    // The corner outside the canvas writes nothing; width is cut to it.
    EXPECT_FALSE(call(*o, "PngImage", {L(-1), L(0), Variant(""), L(37), L(0), L(5), L(5), out()})[7].ToBool());
    r = call(*o, "PngImage", {L(-1), L(0), Variant(""), L(30), L(0), L(50), L(5), out()});
    EXPECT_EQ(be32(*r[7].BytesPtr(), 16), 7u);
}

TEST(CodecPeer, PngImageIndexedTransparencyAndResolution)
{
    auto o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {L(9), L(4), L(8), out()});
    for (int i = 0; i < 8; ++i) call(*o, "SetColor", {L(i), L(i * 30), L(i * 20), L(i * 10), out()});
    Args r = call(*o, "PngImage", {L(3), L(1), Variant(""), missing(), missing(), missing(), missing(), out()});
    auto c = chunks(*r[7].BytesPtr());
    EXPECT_EQ(c["IHDR"][8], 4);
    EXPECT_EQ(c["IHDR"][9], 3);
    EXPECT_EQ(c["PLTE"][0], 90);
    EXPECT_EQ(c["PLTE"][9], 0);
    EXPECT_EQ(c["tRNS"], Bytes{0});
    // An index outside the palette marks nothing and exchanges nothing.
    c = chunks(*call(*o, "PngImage", {L(9), L(1), Variant(""), missing(), missing(), missing(), missing(), out()})[7].BytesPtr());
    EXPECT_EQ(c.count("tRNS"), 0u);
    EXPECT_EQ(c["PLTE"][0], 0);
    // True colour: the tRNS is the entry's colour; Resolution 96 is 3780 per metre.
    put(*o, "Resolution", L(96));
    c = chunks(*call(*o, "PngImage", {L(2), L(0), Variant(""), missing(), missing(), missing(), missing(), out()})[7].BytesPtr());
    EXPECT_EQ(c["tRNS"], (Bytes{0, 60, 0, 40, 0, 20}));
    EXPECT_EQ(c["pHYs"], (Bytes{0, 0, 0x0E, 0xC4, 0, 0, 0x0E, 0xC4, 1}));
}

TEST(CodecPeer, JpegBothWays)
{
    if (!have_convert()) GTEST_SKIP() << "convert is not installed";
    const std::string src = source_png();
    const std::pair<const char*, const char*> cases[] = {
        {"base.jpg", "-quality 92"}, {"prog.jpg", "-interlace JPEG"}, {"grey.jpg", "-colorspace gray"}};
    for (const auto& [name, args] : cases) {
        std::string f = (temp_dir() / name).string();
        ASSERT_TRUE(run("convert " + src + " " + args + " " + f));
        Pixels want = theirs(f);
        for (int at : {0, -5, 6}) {
            auto o = known(37, 23);
            Pixels under = canvas(*o);
            Args r = call(*o, "ReadImage", {Variant(f), out(), L(at), L(-at), missing(), out(), out()});
            EXPECT_EQ(r[6].ToInt32(), 2);
            EXPECT_EQ(r[5].ToInt32(), 1);
            Pixels got = canvas(*o);
            int far = 0;
            for (int y = 0; y < 23; ++y)
                for (int x = 0; x < 37; ++x) {
                    bool inside = x - at >= 0 && x - at < 37 && y + at >= 0 && y + at < 23;
                    std::uint32_t e = inside ? want.at(x - at, y + at) : under.at(x, y);
                    for (int c = 0; c < 24; c += 8) far += std::abs(int(got.at(x, y) >> c & 255) - int(e >> c & 255)) > 2;
                    if (std::string(name) == "grey.jpg" && inside)
                        far += (got.at(x, y) & 255) != (got.at(x, y) >> 16 & 255);
                }
            EXPECT_EQ(far, 0) << name << " at " << at;
        }
    }
    // CMYK is identified and draws nothing; a file cut in half draws its first rows.
    std::string cmyk = (temp_dir() / "cmyk.jpg").string(), cut = (temp_dir() / "cut.jpg").string();
    run("convert " + src + " -colorspace cmyk " + cmyk);
    auto o = known(37, 23);
    Pixels under = canvas(*o);
    EXPECT_EQ(call(*o, "ReadImage", {Variant(cmyk), out(), L(0), L(0), missing(), out(), out()})[6].ToInt32(), 2);
    EXPECT_EQ(canvas(*o).px, under.px);
    Bytes whole = read_file(temp_dir() / "base.jpg");
    write_file(cut, Bytes(whole.begin(), whole.begin() + long(whole.size() / 2)));
    call(*o, "ReadImage", {Variant(cut), out(), L(0), L(0), missing(), out(), out()});
    EXPECT_LE(std::abs(int(canvas(*o).at(3, 1) & 255) - int(theirs((temp_dir() / "base.jpg").string()).at(3, 1) & 255)), 2);

    // Writing: quality, progressive only for 1, density, a rectangle.
    auto jpg = [&](Args args) {
        Args r = call(*o, "JpegImage", args);
        std::string f = (temp_dir() / "w.jpg").string();
        write_file(f, *r[7].BytesPtr());
        return f;
    };
    std::string f = jpg({L(90), L(0), Variant(""), missing(), missing(), missing(), missing(), out()});
    EXPECT_EQ(shell("identify -format %Q " + f), "90");
    Bytes b = read_file(f);
    EXPECT_TRUE(contains(b, {0xFF, 0xC0}));
    f = jpg({L(150), L(1), Variant(""), L(2), L(3), L(10), L(8), out()});
    EXPECT_EQ(shell("identify -format '%Q %w %h' " + f), "75 10 8");
    b = read_file(f);
    EXPECT_TRUE(contains(b, {0xFF, 0xC2}));
    b = read_file(jpg({L(75), Variant(true), Variant(""), missing(), missing(), missing(), missing(), out()}));
    EXPECT_FALSE(contains(b, {0xFF, 0xC2}));
    put(*o, "Resolution", L(96));
    f = jpg({L(75), L(0), Variant(""), missing(), missing(), missing(), missing(), out()});
    EXPECT_EQ(shell("identify -format '%x %U' " + f), "96 PixelsPerInch");
    // As near the canvas as convert's own JPEG of it at that quality.
    std::string bmp = (temp_dir() / "canvas.bmp").string(), ref = (temp_dir() / "ref.jpg").string();
    call(*o, "BmpImage", {Variant(bmp), out()});
    run("convert " + bmp + " -quality 75 -sampling-factor 2x2 " + ref);
    Pixels mine = canvas(*o);
    auto error = [&](const Pixels& p) {
        long diff = 0;
        for (std::size_t i = 0; i < mine.px.size(); ++i)
            for (int c = 0; c < 24; c += 8) diff += std::abs(int(p.px[i] >> c & 255) - int(mine.px[i] >> c & 255));
        return diff;
    };
    EXPECT_LE(error(theirs(f)), error(theirs(ref)) * 11 / 10);
}
