// Hostile input: every member returns with cleared or partial results and
// never allocates what the input merely claims.
#include "support.h"

#include <random>

#include <zlib.h>

using namespace imaging_test;

namespace {

// A little-endian TIFF: one directory at offset 8 with the entries given
// (tag, type, count, value), then `tail` bytes.
Bytes tiff(std::vector<std::array<std::uint32_t, 4>> entries, const Bytes& tail, std::uint32_t next = 0)
{
    Bytes t{'I', 'I', 42, 0, 8, 0, 0, 0};
    auto put = [&](std::uint32_t v, int n) { for (int i = 0; i < n; ++i) t.push_back(std::uint8_t(v >> (8 * i))); };
    put(std::uint32_t(entries.size()), 2);
    for (auto& e : entries) put(e[0], 2), put(e[1], 2), put(e[2], 4), put(e[3], 4);
    put(next, 4);
    t.insert(t.end(), tail.begin(), tail.end());
    return t;
}

std::int32_t read(platform::Dispatch& o, const Bytes& b, Args* r = nullptr)
{
    Args a = call(o, "ReadImage", {Variant(b), out(), L(0), L(0), missing(), out(), out()});
    if (r) *r = a;
    return a[6].ToInt32();
}

} // namespace

TEST(Hostile, TiffClaimsEndDecoding)
{
    auto o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {L(8), L(8), L(2), out()});
    const std::uint32_t data = 8 + 2 + 12 * 9 + 4;
    auto grey = [&](std::uint32_t w, std::uint32_t h, std::uint32_t compression, std::uint32_t count, std::uint32_t rows) {
        return std::vector<std::array<std::uint32_t, 4>>{{256, 4, 1, w}, {257, 4, 1, h}, {258, 3, 1, 8}, {259, 3, 1, compression},
                                                        {262, 3, 1, 1}, {273, 4, 1, data}, {277, 3, 1, 1},
                                                        {278, 4, 1, rows}, {279, 4, 1, count}};
    };
    // StripByteCounts 0xFFFFFFFF: the strip does not lie within the file.
    EXPECT_EQ(read(*o, tiff(grey(4, 4, 1, 0xFFFFFFFF, 4), Bytes(16, 9))), 6);
    EXPECT_EQ(canvas(*o).at(0, 0), 0u);
    // RowsPerStrip 0 is one strip; a 4-byte strip claiming 2^31 rows of 2^31 pixels.
    EXPECT_EQ(read(*o, tiff(grey(4, 1, 1, 4, 0), Bytes{10, 20, 30, 40})), 6);
    EXPECT_EQ(canvas(*o).at(3, 0), 0x282828u);
    EXPECT_EQ(read(*o, tiff(grey(0x7FFFFFFF, 0x7FFFFFFF, 1, 4, 0x7FFFFFFF), Bytes{1, 2, 3, 4})), 6);
    EXPECT_EQ(read(*o, tiff(grey(0x7FFFFFFF, 0x7FFFFFFF, 32773, 4, 1), Bytes{0x81, 7, 0x81, 7})), 6);
    // LZW: a clear code, then a code above the next free one.
    EXPECT_EQ(read(*o, tiff(grey(4, 4, 5, 4, 4), Bytes{0x80, 0x7F, 0xFF, 0xFF})), 6);
    // CCITT garbage over a huge row.
    for (std::uint32_t c : {2u, 3u, 4u}) {
        auto e = grey(0x7FFFFFFF, 50, c, 16, 50);
        e[2][3] = 1;
        EXPECT_EQ(read(*o, tiff(e, Bytes{0, 0, 0, 0, 1, 0x13, 0x13, 0x13, 0x13, 0xFF, 0, 0, 0, 0, 0, 0})), 6) << c;
    }
    // Strip arrays of SHORTs in the value field: two strips of one row each;
    // rows beyond the last strip are not decoded.
    auto shorts = grey(2, 4, 1, 0, 1);
    shorts[5] = {273, 3, 2, data | (data + 2) << 16};
    shorts[8] = {279, 3, 2, 2 | 2 << 16};
    call(*o, "CreateImage", {L(8), L(8), L(2), out()});
    EXPECT_EQ(read(*o, tiff(shorts, Bytes{10, 20, 30, 40})), 6);
    Pixels p = canvas(*o);
    EXPECT_EQ(p.at(1, 0), 0x141414u);
    EXPECT_EQ(p.at(0, 1), 0x1E1E1Eu);
    EXPECT_EQ(p.at(0, 2), 0u);
    // Two directories pointing at each other, both rejected (NewSubfileType 1).
    Bytes loop = tiff({{254, 4, 1, 1}}, {}, 8);
    EXPECT_EQ(read(*o, loop), 0);
    // Planar configuration 2: no size.
    auto planar = grey(4, 4, 1, 16, 4);
    planar.push_back({284, 3, 1, 2});
    EXPECT_EQ(read(*o, tiff(planar, Bytes(16, 1))), 0);
}

TEST(Hostile, TruncatedPhotosAndRandomBytes)
{
    auto o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {L(16), L(16), L(2), out()});
    Bytes photo = read_file(data_file("Canon_40D.jpg"));
    for (std::size_t n : {1ul, 2ul, 3ul, 20ul, 100ul, 400ul, 1000ul, photo.size() / 2, photo.size() - 2}) {
        Bytes cut(photo.begin(), photo.begin() + std::ptrdiff_t(n));
        Args d = call(*o, "GetFileDimensions", {Variant(cut), out(), out(), missing(), out()});
        if (n == photo.size() - 2) EXPECT_EQ(d[4].ToInt32(), 2) << n; // the header is all there: a fake EOI ends it
        Args i = call(*o, "GetImageInfo", {Variant(cut), missing(), out()});
        EXPECT_NE(platform::GetByName(*i[2].ToObject(), "ErrorCode").ToInt32(), 1);
    }
    // A damaged photo: its header and EXIF block still read.
    Args d = call(*o, "GetFileDimensions", {Variant(data_file("corrupted.jpg")), out(), out(), missing(), out()});
    EXPECT_EQ(std::vector<std::int32_t>({d[4].ToInt32(), d[1].ToInt32(), d[2].ToInt32()}), std::vector<std::int32_t>({2, 3648, 2736}));
    Args i = call(*o, "GetImageInfo", {Variant(data_file("corrupted.jpg")), missing(), out()});
    EXPECT_EQ(platform::GetByName(*i[2].ToObject(), "Item", {Variant("DateTimeOriginal")}).ToString(), "2015:09:08 11:02:17");
    i = call(*o, "GetImageInfo", {Variant(data_file("DSCN0012.jpg")), missing(), out()});
    EXPECT_EQ(platform::GetByName(*i[2].ToObject(), "Item", {Variant("DateTimeOriginal")}).ToString(), "2008:10:22 16:29:49");
    std::mt19937 rng(22);
    for (int k = 0; k < 300; ++k) {
        Bytes b(std::size_t(rng() % 600), 0);
        for (auto& c : b) c = std::uint8_t(rng());
        static const Bytes heads[] = {{'I', 'I', 42, 0, 8, 0, 0, 0}, {'M', 'M', 0, 42, 0, 0, 0, 8}, {'B', 'M'}, {0xFF, 0xD8, 0xFF, 0xE1}};
        const Bytes& h = heads[k % 4];
        for (std::size_t i = 0; i < h.size() && i < b.size(); ++i) b[i] = h[i];
        read(*o, b);
        call(*o, "GetImageInfo", {Variant(b), missing(), out()});
    }
}

namespace {
void be32(Bytes& b, std::uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8) b.push_back(std::uint8_t(v >> s));
}
void png_chunk(Bytes& png, const char* type, const Bytes& data)
{
    be32(png, std::uint32_t(data.size()));
    Bytes body(type, type + 4);
    body.insert(body.end(), data.begin(), data.end());
    png.insert(png.end(), body.begin(), body.end());
    be32(png, std::uint32_t(crc32(0, body.data(), unsigned(body.size()))));
}
} // namespace

TEST(Hostile, HugeJpegAndPngClaimsEndAtOnce)
{
    auto o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {L(8), L(8), L(2), out()});
    // A small JPEG, baseline and progressive, whose frame claims 65500 × 65500.
    for (int progressive : {0, 1}) {
        Bytes j = *call(*o, "JpegImage", {L(75), L(progressive), Variant(""), missing(), missing(), missing(), missing(), out()})[7].BytesPtr();
        std::uint8_t sof = progressive ? 0xC2 : 0xC0;
        for (std::size_t i = 0; i + 9 < j.size(); ++i)
            if (j[i] == 0xFF && j[i + 1] == sof) j[i + 5] = j[i + 7] = 0xFF, j[i + 6] = j[i + 8] = 0xDC;
        EXPECT_EQ(read(*o, j), 2);
    }
    // A PNG of 10^6 × 10^6 grey pixels whose data runs out after 20 rows.
    Bytes png{0x89, 'P', 'N', 'G', 13, 10, 26, 10}, ihdr;
    be32(ihdr, 1000000), be32(ihdr, 1000000);
    ihdr.insert(ihdr.end(), {8, 0, 0, 0, 0});
    png_chunk(png, "IHDR", ihdr);
    Bytes raw(20 * 1000001, 0x80), z(compressBound(uLong(raw.size())));
    for (std::size_t r = 0; r < 20; ++r) raw[r * 1000001] = 0;
    uLongf n = z.size();
    compress(z.data(), &n, raw.data(), uLong(raw.size()));
    z.resize(n);
    png_chunk(png, "IDAT", z);
    EXPECT_EQ(read(*o, png), 5);
    EXPECT_EQ(canvas(*o).at(7, 7), 0x808080u);
}

TEST(Hostile, GifClaimsAndBadCodes)
{
    auto o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {L(8), L(8), L(2), out()});
    // A 65535 × 65535 screen and image, two colours, whose data is a few
    // codes of size 2: clear, 1, then a code past the next free one (7), 1, end.
    Bytes g{'G', 'I', 'F', '8', '9', 'a', 0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0, 0, 0, 0, 0, 255, 0, 0,
            0x2C, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 2, 2, 0xcc, 0x53, 0, 0x3B};
    Args r;
    EXPECT_EQ(read(*o, g, &r), 1);
    EXPECT_EQ(r[5].ToInt32(), 1);
    Pixels p = canvas(*o);
    EXPECT_EQ(p.at(0, 0), 0xFF0000u); // the code before the bad one
    EXPECT_EQ(p.at(1, 0), 0u);        // the background (entry 0): the image ended there
    // Indices past a 2-entry local table read as black.
    Bytes h{'G', 'I', 'F', '8', '7', 'a', 4, 0, 1, 0, 0, 0, 0, 0x2C, 0, 0, 0, 0, 4, 0, 1, 0, 0x80, 255, 255, 255, 0, 0, 0, 2, 2, 0x9c, 0xa, 0, 0x3B};
    EXPECT_EQ(read(*o, h, &r), 1);
    EXPECT_EQ(canvas(*o).at(0, 0), 0u);
}
