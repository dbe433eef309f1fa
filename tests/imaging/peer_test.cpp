// Pictures other programs wrote: convert's BMP and TIFF files, and TIFF
// files a small libtiff writer makes, drawn and compared with the pixels
// convert reads from them.
#include "support.h"

#include "platform/automation/enumerator.h"

#include <tiffio.h>

#include <map>

using namespace imaging_test;

namespace {

// Draws `file` at (x, y) on a canvas of its size and checks every pixel
// that lands against convert's.
void expect_drawn(const std::string& file, int x, int y, int kind)
{
    Pixels want = theirs(file);
    ASSERT_GT(want.w, 0) << file;
    auto o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {L(want.w), L(want.h), L(2), out()});
    Args r = call(*o, "ReadImage", {Variant(file), out(), L(x), L(y), missing(), out(), out()});
    ASSERT_EQ(r[6].ToInt32(), kind) << file;
    Pixels got = canvas(*o);
    int bad = 0;
    for (int j = std::max(0, y); j < want.h && j - y < want.h; ++j)
        for (int i = std::max(0, x); i < want.w && i - x < want.w; ++i)
            if (got.at(i, j) != want.at(i - x, j - y)) ++bad;
    EXPECT_EQ(bad, 0) << file << " at " << x << "," << y;
}

// A bilevel TIFF through libtiff with the given compression settings.
std::string libtiff_bilevel(const char* name, int compression, std::uint32_t t4_options, int fill_order)
{
    std::string path = (temp_dir() / name).string();
    TIFF* t = TIFFOpen(path.c_str(), "w");
    const int w = 45, h = 30;
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 1);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
    TIFFSetField(t, TIFFTAG_COMPRESSION, compression);
    TIFFSetField(t, TIFFTAG_FILLORDER, fill_order);
    if (compression == COMPRESSION_CCITTFAX3) TIFFSetField(t, TIFFTAG_GROUP3OPTIONS, t4_options);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, 11);
    std::uint8_t row[6];
    for (int y = 0; y < h; ++y) {
        for (int i = 0; i < 6; ++i) row[i] = std::uint8_t((y * 37 + i * 91) ^ (y % 7 == 0 ? 0xFF : 0x0F));
        TIFFWriteScanline(t, row, std::uint32_t(y), 0);
    }
    TIFFClose(t);
    return path;
}

// An RGB TIFF of w x h through libtiff, LZW in one strip; `raw` when given
// is written as the strip's codes instead of libtiff's own.
std::string libtiff_rgb_lzw(const char* name, int w, int h, const Bytes& pixels, bool predictor, const Bytes* raw = nullptr)
{
    std::string path = (temp_dir() / name).string();
    TIFF* t = TIFFOpen(path.c_str(), "w");
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 3);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(t, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
    if (predictor) TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, h);
    if (raw) {
        TIFFWriteRawStrip(t, 0, const_cast<std::uint8_t*>(raw->data()), tmsize_t(raw->size()));
    } else {
        Bytes copy = pixels; // libtiff's predictor works in place
        for (int y = 0; y < h; ++y) TIFFWriteScanline(t, copy.data() + std::size_t(y) * std::size_t(w) * 3, std::uint32_t(y), 0);
    }
    TIFFClose(t);
    return path;
}

// TIFF LZW codes for `in` that go on with a full table instead of
// clearing it: one clear code first, the end code last. The code width
// follows the reader's table, which is one entry behind the writer's.
Bytes lzw_without_clearing(const Bytes& in)
{
    Bytes out;
    std::uint32_t acc = 0;
    int held = 0, emitted = 0;
    auto put = [&](int code) {
        const int seen = 258 + std::max(0, emitted - 1); // the reader's next entry
        const int width = emitted == 0 ? 9 : seen >= 2047 ? 12 : seen >= 1023 ? 11 : seen >= 511 ? 10 : 9;
        acc = acc << width | std::uint32_t(code), held += width;
        while (held >= 8) out.push_back(std::uint8_t(acc >> (held - 8))), held -= 8;
        ++emitted;
    };
    put(256);
    emitted = 0; // the reader's table starts over after the clear code
    std::map<std::pair<int, std::uint8_t>, int> table;
    int next = 258, w = in[0];
    for (std::size_t i = 1; i < in.size(); ++i) {
        auto it = table.find({w, in[i]});
        if (it != table.end()) {
            w = it->second;
            continue;
        }
        put(w);
        if (next < 4096) table[{w, in[i]}] = next++;
        w = in[i];
    }
    put(w);
    put(257);
    if (held) out.push_back(std::uint8_t(acc << (8 - held)));
    return out;
}

} // namespace

TEST(Peer, BmpFilesConvertWrites)
{
    if (!have_convert()) GTEST_SKIP() << "convert is not installed";
    struct Case { const char* name; const char* args; int colours; };
    const Case cases[] = {{"b24.bmp", "", 0}, {"b8.bmp", "-colors 200 -type palette -compress none", 256},
                          {"b8rle.bmp", "-colors 200 -type palette -compress rle", 256},
                          {"b4.bmp", "-colors 16 -type palette -depth 4", 16}, {"b1.bmp", "-monochrome", 2}};
    for (const Case& c : cases) {
        std::string f = (temp_dir() / c.name).string();
        ASSERT_TRUE(run("convert " + source_png() + " " + c.args + " BMP3:" + f));
        expect_drawn(f, 0, 0, 3);
        expect_drawn(f, -3, 5, 3);
        // varPal is the colour table: entry 1 as the file stores it (blue, green, red).
        auto o = glimmerax::CreateImageObject();
        call(*o, "CreateImage", {L(2), L(2), L(2), out()});
        Args r = call(*o, "ReadImage", {Variant(f), out(), L(0), L(0), missing(), out(), out()});
        Bytes b = read_file(f);
        if (!c.colours) {
            EXPECT_TRUE(r[1].IsEmpty());
            continue;
        }
        ASSERT_EQ(r[1].ToArray().UBound(1), c.colours - 1) << c.name;
        EXPECT_EQ(r[1].ToArray().at(1, 0).ToInt32(), b[54 + 4 + 2]) << c.name;
        EXPECT_EQ(r[1].ToArray().at(1, 2).ToInt32(), b[54 + 4]) << c.name;
    }
}

TEST(Peer, BmpImageAndWbmpImageAreReadBack)
{
    if (!have_convert()) GTEST_SKIP() << "convert is not installed";
    auto o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {L(37), L(23), L(2), out()});
    call(*o, "ReadImage", {Variant(source_png() + ".bmp"), out(), L(0), L(0), missing(), out(), out()});
    std::string bmp24 = (temp_dir() / "src24.bmp").string();
    run("convert " + source_png() + " BMP3:" + bmp24);
    call(*o, "ReadImage", {Variant(bmp24), out(), L(0), L(0), missing(), out(), out()});
    auto file = temp_dir() / "written.bmp";
    EXPECT_TRUE(call(*o, "BmpImage", {Variant(file.string()), out()})[1].ToBool());
    EXPECT_EQ(read_file(file).size(), 54u + 112 * 23);
    Pixels a = theirs(file.string()), b = canvas(*o);
    EXPECT_EQ(a.px, b.px);
    EXPECT_EQ(theirs(bmp24).px, b.px);
    for (int w : {130, 20000}) {
        call(*o, "CreateImage", {L(w), L(3), L(2), out()});
        auto wb = temp_dir() / "out.wbmp";
        EXPECT_TRUE(call(*o, "WbmpImage", {Variant(wb.string()), out()})[1].ToBool());
        std::string cmd = "identify -ping -format '%w %h' '" + wb.string() + "' 2>/dev/null";
        FILE* f = popen(cmd.c_str(), "r");
        int iw = 0, ih = 0;
        if (f) {
            if (fscanf(f, "%d %d", &iw, &ih) != 2) iw = ih = 0;
            pclose(f);
        }
        EXPECT_EQ(iw, w);
        EXPECT_EQ(ih, 3);
    }
}

TEST(Peer, TiffFilesConvertAndLibtiffWrite)
{
    if (!have_convert()) GTEST_SKIP() << "convert is not installed";
    const std::pair<const char*, const char*> cases[] = {
        {"none.tif", "-compress none"},
        {"lzw_rgb_pred.tif", "-compress lzw -define tiff:predictor=2"},
        {"lzw_grey_pred.tif", "-colorspace gray -compress lzw -define tiff:predictor=2"},
        {"lzw_pal.tif", "-colors 200 -type palette -compress lzw"},
        {"pal4.tif", "-colors 16 -type palette -depth 4 -compress none"},
        {"grey4.tif", "-colorspace gray -depth 4 -compress none"},
        {"packbits.tif", "-compress rle"},
        {"strips.tif", "-compress none -define tiff:rows-per-strip=2"},
        {"mm.tif", "-compress lzw -define tiff:endian=msb"},
        {"g3.tif", "-monochrome -compress fax"},
        {"g3_lsb.tif", "-monochrome -compress fax -define tiff:fill-order=lsb"},
        {"g4.tif", "-monochrome -compress group4"},
        {"g4_black.tif", "-monochrome -compress group4 -define quantum:polarity=min-is-black"},
        {"bilevel.tif", "-monochrome -depth 1 -compress none"},
    };
    for (auto& [name, args] : cases) {
        std::string f = (temp_dir() / name).string();
        ASSERT_TRUE(run("convert " + source_png() + " " + args + " " + f)) << name;
        expect_drawn(f, 0, 0, 6);
        expect_drawn(f, -3, 5, 6);
    }
    expect_drawn(libtiff_bilevel("mh.tif", COMPRESSION_CCITTRLE, 0, FILLORDER_MSB2LSB), 0, 0, 6);
    expect_drawn(libtiff_bilevel("t4_2d.tif", COMPRESSION_CCITTFAX3, GROUP3OPT_2DENCODING, FILLORDER_MSB2LSB), 0, 0, 6);
    expect_drawn(libtiff_bilevel("t4_fill.tif", COMPRESSION_CCITTFAX3, GROUP3OPT_FILLBITS, FILLORDER_LSB2MSB), 0, 0, 6);
    expect_drawn(libtiff_bilevel("t4_2d_fill.tif", COMPRESSION_CCITTFAX3, GROUP3OPT_2DENCODING | GROUP3OPT_FILLBITS, FILLORDER_LSB2MSB), 2, 1, 6);
    expect_drawn(libtiff_bilevel("t6.tif", COMPRESSION_CCITTFAX4, 0, FILLORDER_MSB2LSB), -4, -2, 6);

    // Two pages; colour maps divided by 257; a reduced-resolution first directory.
    std::string two = (temp_dir() / "two.tif").string();
    ASSERT_TRUE(run("convert " + source_png() + " " + source_png() + " -colors 8 -type palette -compress none " + two));
    auto o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {L(40), L(40), L(2), out()});
    Args r = call(*o, "ReadImage", {Variant(two), out(), L(0), L(0), missing(), out(), out()});
    EXPECT_EQ(r[5].ToInt32(), 2);
    EXPECT_EQ(call(*o, "ReadImage", {Variant(two), out(), L(0), L(0), missing(), missing(), out()})[6].ToInt32(), 6);
    Pixels p = theirs(two);
    const auto& pal = r[1].ToArray();
    bool found = false;
    for (int i = 0; i <= pal.UBound(1); ++i)
        found |= (std::uint32_t(pal.at(i, 0).ToInt32()) << 16 | std::uint32_t(pal.at(i, 1).ToInt32()) << 8 |
                  std::uint32_t(pal.at(i, 2).ToInt32())) == p.at(0, 0);
    EXPECT_TRUE(found);
    std::string sub = (temp_dir() / "sub.tif").string();
    {
        TIFF* t = TIFFOpen(sub.c_str(), "w");
        for (int page = 0; page < 2; ++page) {
            int w = page ? 9 : 3;
            TIFFSetField(t, TIFFTAG_SUBFILETYPE, page ? 0 : FILETYPE_REDUCEDIMAGE);
            TIFFSetField(t, TIFFTAG_IMAGEWIDTH, w);
            TIFFSetField(t, TIFFTAG_IMAGELENGTH, 2);
            TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, 8);
            TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, 1);
            TIFFSetField(t, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
            std::uint8_t row[9] = {9, 8, 7, 6, 5, 4, 3, 2, 1};
            TIFFWriteScanline(t, row, 0, 0);
            TIFFWriteScanline(t, row, 1, 0);
            TIFFWriteDirectory(t);
        }
        TIFFClose(t);
    }
    Args d = call(*o, "GetFileDimensions", {Variant(sub), out(), out(), missing(), out()});
    EXPECT_EQ(d[1].ToInt32(), 9);
    std::string planar = (temp_dir() / "planar.tif").string();
    ASSERT_TRUE(run("convert " + source_png() + " -interlace plane -compress none " + planar));
    EXPECT_EQ(call(*o, "GetFileDimensions", {Variant(planar), out(), out(), missing(), out()})[4].ToInt32(), 0);
}

TEST(Peer, PhotoAndPngSizesEqualIdentifys)
{
    if (!have_convert()) GTEST_SKIP() << "convert is not installed";
    auto o = glimmerax::CreateImageObject();
    std::string png = (temp_dir() / "pal.png").string();
    ASSERT_TRUE(run("convert " + source_png() + " -colors 5 PNG8:" + png));
    std::vector<std::string> files{data_file("Canon_40D.jpg"), data_file("Nikon_D70.jpg"), data_file("DSCN0010.jpg"), png};
    for (const std::string& f : files) {
        Pixels p = theirs(f);
        Args d = call(*o, "GetFileDimensions", {Variant(f), out(), out(), out(), out()});
        EXPECT_EQ(d[1].ToInt32(), p.w) << f;
        EXPECT_EQ(d[2].ToInt32(), p.h) << f;
    }
    Args d = call(*o, "GetFileDimensions", {Variant(png), out(), out(), out(), out()});
    EXPECT_EQ(d[4].ToInt32(), 5);
    EXPECT_FALSE(d[3].IsEmpty()); // PLTE
}

// Every EXIF item of the camera photos that identify also reads, compared
// by the storing rules: texts, Longs, and rationals as two-entry arrays.
TEST(Peer, ExifItemsEqualIdentifysReading)
{
    if (!have_convert()) GTEST_SKIP() << "identify is not installed";
    const std::map<std::string, std::string> alias{{"ISOSpeedRating", "PhotographicSensitivity"},
                                                   {"ExifImageWidth", "PixelXDimension"},
                                                   {"ExifImageHeight", "PixelYDimension"}};
    for (const char* name : {"Canon_40D.jpg", "Nikon_D70.jpg", "DSCN0010.jpg"}) {
        std::map<std::string, std::string> theirs_items;
        std::string cmd = "identify -format '%[EXIF:*]' '" + data_file(name) + "' 2>/dev/null";
        FILE* f = popen(cmd.c_str(), "r");
        char line[4096];
        while (f && fgets(line, sizeof line, f)) {
            std::string l(line);
            while (!l.empty() && (l.back() == '\n' || l.back() == '\r')) l.pop_back();
            auto eq = l.find('=');
            if (l.rfind("exif:", 0) == 0 && eq != std::string::npos) theirs_items[l.substr(5, eq - 5)] = l.substr(eq + 1);
        }
        if (f) pclose(f);
        auto o = glimmerax::CreateImageObject();
        Args r = call(*o, "GetImageInfo", {Variant(data_file(name)), missing(), out()});
        auto info = r[2].ToObject();
        auto e = std::dynamic_pointer_cast<platform::Enumerator>(platform::GetByName(*info, "_NewEnum").ToObject());
        std::vector<Variant> got;
        int compared = 0;
        while (e->Next(1, got) == platform::S_OK) {
            std::string n = got[0].ToString();
            auto a = alias.find(n);
            auto it = theirs_items.find(a == alias.end() ? n : a->second);
            if (it == theirs_items.end()) continue;
            Variant v = platform::GetByName(*info, "Item", {got[0]});
            std::string mine;
            if (v.Type() == platform::VarType::String || v.Type() == platform::VarType::Long) mine = v.ToString();
            else if (v.Type() == platform::VarType::Array && v.ToArray().UBound(1) == 1 &&
                     v.ToArray().at(0).Type() == platform::VarType::Long)
                mine = v.ToArray().at(0).ToString() + "/" + v.ToArray().at(1).ToString();
            else continue;
            auto trim = [](std::string s) { while (!s.empty() && s.back() == ' ') s.pop_back(); return s; };
            EXPECT_EQ(trim(mine), trim(it->second)) << name << " " << n;
            ++compared;
        }
        EXPECT_GE(compared, 12) << name;
    }
}

// Strips long enough to fill the code table: libtiff's, which clear it
// and start again (with the predictor, drawn at offsets and cut), and
// hand-made codes that go on with the full table.
TEST(Peer, LongLzwStripsEqualTheirPixels)
{
    if (!have_convert()) GTEST_SKIP() << "convert is not installed";
    const int w = 701, h = 203;
    Bytes px(std::size_t(w) * h * 3);
    std::uint32_t seed = 3;
    for (std::size_t i = 0; i < px.size(); ++i) {
        seed = seed * 1103515245 + 12345;
        const std::size_t x = i / 3 % std::size_t(w), y = i / 3 / std::size_t(w);
        // Smooth areas, noise and a band of long runs.
        px[i] = y > 80 && y < 120 ? std::uint8_t(x / 50) : std::uint8_t(x / 7 + ((seed >> 16) & (y % 3 ? 3 : 63)));
    }
    for (bool predictor : {true, false}) {
        const std::string f = libtiff_rgb_lzw(predictor ? "long_pred.tif" : "long.tif", w, h, px, predictor);
        expect_drawn(f, 0, 0, 6);
        expect_drawn(f, -7, 5, 6);
        expect_drawn(f, 11, -3, 6);
    }

    // Four sample values: long strings, and a table full long before the end.
    Bytes few(std::size_t(w) * 90 * 3);
    for (std::size_t i = 0; i < few.size(); ++i) few[i] = std::uint8_t(((seed = seed * 1103515245 + 12345) >> 16) & 3) * 60;
    const Bytes codes = lzw_without_clearing(few);
    const std::string f = libtiff_rgb_lzw("full_table.tif", w, 90, few, false, &codes);
    auto o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {L(w), L(90), L(2), out()});
    ASSERT_EQ(call(*o, "ReadImage", {Variant(f), out(), L(0), L(0), missing(), out(), out()})[6].ToInt32(), 6);
    const Pixels got = canvas(*o);
    int bad = 0;
    for (std::size_t i = 0; i < got.px.size(); ++i)
        bad += got.px[i] != (std::uint32_t(few[3 * i]) << 16 | std::uint32_t(few[3 * i + 1]) << 8 | few[3 * i + 2]);
    EXPECT_EQ(bad, 0);
}
