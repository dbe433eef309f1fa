// Identification edge cases, BMP/WBMP output and the byte-array utilities.
#include "support.h"

#include "imaging/detail/image_stream.h"

using namespace imaging_test;

namespace {

struct Dims {
    std::int32_t kind, x, y;
    Variant pal;
};

Dims dims(platform::Dispatch& o, Variant source)
{
    Args r = call(o, "GetFileDimensions", {std::move(source), out(), out(), out(), out()});
    return {r[4].ToInt32(), r[1].ToInt32(), r[2].ToInt32(), r[3]};
}

Bytes bmp_header(std::uint32_t info_size, std::int32_t w, std::int32_t h, int bits, std::uint32_t file_size)
{
    Bytes b{'B', 'M'};
    auto le32 = [&](std::uint32_t v) { for (int i = 0; i < 4; ++i) b.push_back(std::uint8_t(v >> (8 * i))); };
    le32(file_size), le32(0), le32(14 + info_size), le32(info_size), le32(std::uint32_t(w)), le32(std::uint32_t(h));
    b.push_back(1), b.push_back(0), b.push_back(std::uint8_t(bits)), b.push_back(0);
    b.resize(14 + info_size, 0);
    return b;
}

} // namespace

TEST(Identify, TheEdgeCasesOfEachKind)
{
    auto o = glimmerax::CreateImageObject();
    EXPECT_EQ(dims(*o, Variant(Bytes(12, 'G'))).kind, 0);
    Bytes gif{'G', 'I', 'F', '8', '9', 'a', 0x2C, 0x01, 0xC8, 0x00, 0x00, 0, 0};
    Dims g = dims(*o, Variant(gif));
    EXPECT_EQ(g.kind, 1);
    EXPECT_EQ(g.x, 300);
    EXPECT_EQ(g.y, 200);
    const auto& pal = g.pal.ToArray(); // no global table: black and white
    EXPECT_EQ(pal.UBound(1), 1);
    EXPECT_EQ(pal.UBound(2), 2);
    EXPECT_EQ(pal.at(0, 0).Type(), platform::VarType::Integer);
    EXPECT_EQ(pal.at(1, 2).ToInt32(), 255);
    EXPECT_EQ(pal.at(0, 1).ToInt32(), 0);
    // A 4-entry global table.
    gif[10] = 0x81;
    for (int i = 0; i < 12; ++i) gif.push_back(std::uint8_t(i));
    EXPECT_EQ(dims(*o, Variant(gif)).pal.ToArray().at(3, 2).ToInt32(), 11);

    // Only a 40-byte info header is a BMP to identification.
    EXPECT_EQ(dims(*o, Variant(bmp_header(40, 4, 3, 24, 100))).kind, 0); // file shorter than its size field
    Bytes b40 = bmp_header(40, 4, 3, 24, 100);
    b40.resize(100);
    EXPECT_EQ(dims(*o, Variant(b40)).kind, 3);
    for (std::uint32_t size : {108u, 124u}) {
        Bytes b = bmp_header(size, 4, 3, 24, 200);
        b.resize(200);
        EXPECT_EQ(dims(*o, Variant(b)).kind, 0) << size;
    }

    // Placeable metafile: 1440 units per inch, 0..1439 x 0..719.
    Bytes wmf{0xD7, 0xCD, 0xC6, 0x9A, 0, 0, 0, 0, 0, 0, 0x9F, 0x05, 0xCF, 0x02, 0xA0, 0x05, 0, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(dims(*o, Variant(wmf)).kind, 0);
    platform::LetByName(*o, "AdvancedCheck", Variant(true));
    Dims m = dims(*o, Variant(wmf));
    EXPECT_EQ(m.kind, 4);
    EXPECT_EQ(m.x, 96); // MulDiv(1440, 96, 1440)
    EXPECT_EQ(m.y, 48);
    EXPECT_EQ(platform::GetByName(*o, "lastX").ToInt32(), 96);
}

TEST(Identify, TheByteArrayWindow)
{
    auto o = glimmerax::CreateImageObject();
    Bytes b(10, 0);
    Bytes gif{'G', 'I', 'F', '8', '7', 'a', 7, 0, 9, 0, 0, 0, 0};
    b.insert(b.end(), gif.begin(), gif.end());
    platform::LetByName(*o, "FileStart", L(10));
    EXPECT_EQ(dims(*o, Variant(b, 3)).x, 7); // from the eleventh element, whatever the lower bound
    platform::LetByName(*o, "FileSize", L(12));
    EXPECT_EQ(dims(*o, Variant(b)).kind, 0); // 12 bytes are too few
    // Starts outside the array give an empty window, not read.
    platform::LetByName(*o, "FileSize", L(0));
    for (std::int32_t start : {-5, 23, 24, 1 << 30}) {
        platform::LetByName(*o, "FileStart", L(start));
        EXPECT_EQ(dims(*o, Variant(b)).kind, 0) << start;
        Args r = call(*o, "GetImageInfo", {Variant(b), missing(), out()});
        EXPECT_EQ(platform::GetByName(*r[2].ToObject(), "ErrorCode").ToInt32(), 1) << start;
    }
    EXPECT_EQ(dims(*o, Variant(Bytes{})).kind, 0);
}

TEST(Identify, BmpReaderHonoursUsedColoursAndReadsOnlyWhatLands)
{
    auto o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {L(2), L(1), L(2), out()});
    // 8 bits a pixel, 2 colours in use: the table has two entries and the pixels follow them.
    Bytes b = bmp_header(40, 2, 1, 8, 0);
    b[46] = 2; // colours used
    for (std::uint8_t c : {0x10, 0x20, 0x30, 0, 0x40, 0x50, 0x60, 0}) b.push_back(c);
    b[10] = std::uint8_t(b.size());
    for (std::uint8_t c : {1, 0, 0, 0}) b.push_back(c);
    b[2] = std::uint8_t(b.size());
    Args r = call(*o, "ReadImage", {Variant(b), out(), L(0), L(0), missing(), out(), out()});
    EXPECT_EQ(r[6].ToInt32(), 3);
    EXPECT_EQ(r[1].ToArray().UBound(1), 1);
    EXPECT_EQ(canvas(*o).at(0, 0), 0x605040u);
    EXPECT_EQ(canvas(*o).at(1, 0), 0x302010u);
    // 2^30 x 2^30 and 16000 x 16000 claims in a 100-byte file: nothing is allocated for them.
    for (std::int32_t side : {1 << 30, 16000}) {
        Bytes big = bmp_header(40, side, side, 24, 100);
        big.resize(100, 0xFF);
        r = call(*o, "ReadImage", {Variant(big), out(), L(0), L(0), missing(), out(), out()});
        EXPECT_EQ(r[6].ToInt32(), 3);
        EXPECT_EQ(canvas(*o).at(0, 0), 0u); // the rows that land lie past the file: black
    }
}

TEST(Identify, BmpAndWbmpOutput)
{
    auto o = glimmerax::CreateImageObject();
    EXPECT_EQ(call(*o, "BmpImage", {Variant(""), out()})[1].ToBool(), false); // no canvas
    call(*o, "CreateImage", {L(130), L(3), L(2), out()});
    call(*o, "CreateImage", {L(130), L(3), L(2), out()});
    Bytes w = *call(*o, "WbmpImage", {Variant(""), out()})[1].BytesPtr();
    EXPECT_EQ(Bytes(w.begin(), w.begin() + 5), (Bytes{0, 0, 0x81, 0x02, 0x03}));
    EXPECT_EQ(w.size(), 5u + 3 * 17);
    EXPECT_EQ(w[5], 0); // black is not palette entry 1 (white)
    Bytes bmp = *call(*o, "BmpImage", {Variant(""), out()})[1].BytesPtr();
    EXPECT_EQ(bmp.size(), 54u + 392 * 3);
    auto file = temp_dir() / "out.bmp";
    EXPECT_TRUE(call(*o, "BmpImage", {Variant(file.string()), out()})[1].ToBool());
    EXPECT_EQ(read_file(file), bmp);
    call(*o, "CreateImage", {L(20000), L(1), L(2), out()});
    w = *call(*o, "WbmpImage", {Variant(""), out()})[1].BytesPtr();
    EXPECT_EQ(Bytes(w.begin(), w.begin() + 6), (Bytes{0, 0, 0x81, 0x9C, 0x20, 0x01}));
}

TEST(ByteArrays, TheUtilities)
{
    auto o = glimmerax::CreateImageObject();
    Args r = call(*o, "FindInBinary", {Variant(Bytes(4, 'A')), Variant("AA"), L(0), L(4), L(10), out()});
    EXPECT_EQ(r[4].ToInt32(), 2);
    EXPECT_EQ(r[5].ToArray().at(1).ToInt32(), 2);
    // Lower bound 5: offsets still count from the first element.
    r = call(*o, "FindInBinary", {Variant(Bytes{'x', 'A', 'B'}, 5), Variant("AB"), L(5), L(3), L(10), out()});
    EXPECT_EQ(r[5].ToArray().at(0).ToInt32(), 1);
    r = call(*o, "FindInBinary", {Variant(Bytes{'x', 'A', 'B'}, 5), Variant("AB"), L(0), L(3), L(10), out()});
    EXPECT_TRUE(r[5].IsEmpty()); // below the lower bound
    EXPECT_EQ(call(*o, "ConvertValue", {Variant(Bytes{0x34, 0x12}), L(0), L(2), out()})[3].ToInt32(), 4660);
    EXPECT_EQ(call(*o, "ConvertValue", {Variant(Bytes(4, 0xFF)), L(0), L(4), out()})[3].ToInt32(), -1);
    EXPECT_EQ(call(*o, "ConvertValue", {Variant(Bytes{7, 8}, 5), L(6), missing(), out()})[3].ToInt32(), 8);
    // Sums that wrap in 32 bits stay out of bounds.
    EXPECT_EQ(call(*o, "ConvertValue", {Variant(Bytes(4, 1)), L(0x7FFFFFFF), L(4), out()})[3].ToInt32(), 0);
    EXPECT_FALSE(call(*o, "WriteBinary", {Variant(Bytes(4, 1)), L(2), L(0x7FFFFFFF), Variant(""), missing(), out()})[5].ToBool());
    EXPECT_TRUE(call(*o, "FindInBinary", {Variant(Bytes(4, 1)), Variant("\x01"), L(1), L(0x7FFFFFFF), L(5), out()})[5].IsEmpty());
    // WriteBinary into a text, and into a file appended to.
    r = call(*o, "WriteBinary", {Variant(Bytes{'h', 0xE9, 0, 'x'}, 1), L(1), L(4), Variant(""), missing(), out()});
    EXPECT_EQ(r[3].ToString(), "h\xC3\xA9");
    auto file = temp_dir() / "bin.dat";
    call(*o, "WriteBinary", {Variant(Bytes{1, 2, 3}), L(1), L(2), Variant(file.string()), missing(), out()});
    r = call(*o, "WriteBinary", {Variant(Bytes{9}), L(0), L(1), Variant(file.string()), Variant(true), out()});
    EXPECT_TRUE(r[5].ToBool());
    EXPECT_EQ(read_file(file), (Bytes{2, 3, 9}));
    r = call(*o, "ReadBinaryFile", {Variant(file.string()), L(2), out()});
    EXPECT_EQ(r[1].ToInt32(), 0);
    EXPECT_TRUE(r[2].IsEmpty());
    r = call(*o, "ReadBinaryFile", {Variant(file.string()), L(3), out()});
    EXPECT_EQ(r[1].ToInt32(), 3);
    EXPECT_EQ(*r[2].BytesPtr(), (Bytes{2, 3, 9}));
}

TEST(ImageStream, EdgeRules)
{
    const std::uint8_t data[] = {1, 2, 3};
    glimmerax::ImageStream s;
    s.OpenMemory(data, 3);
    std::uint8_t buf[4] = {9, 9, 9, 9};
    std::uint32_t got = 7;
    EXPECT_TRUE(s.Read(buf, 4, &got));
    EXPECT_EQ(got, 3u);
    EXPECT_EQ(buf[3], 0); // the buffer is zero-filled first
    EXPECT_TRUE(s.Read(buf, 2, &got)); // exactly at the end: success with nothing
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(buf[0], 0);
    EXPECT_FALSE(s.Seek(3)); // the very end
    EXPECT_EQ(s.Position(), 3u);
    EXPECT_TRUE(s.Seek(2));
    s.CreateMemory();
    std::vector<std::uint8_t> big(5000, 1);
    EXPECT_TRUE(s.Write(big.data(), big.size()));
    EXPECT_EQ(s.Size(), 5000u);
    EXPECT_EQ(s.Output().capacity(), 8192u);
    auto file = temp_dir() / "stream.bin";
    EXPECT_TRUE(glimmerax::SaveFile(file.string(), data, 3));
    EXPECT_TRUE(s.OpenFile(file.string()));
    EXPECT_EQ(s.Size(), 3u);
    EXPECT_FALSE(s.OpenFile((temp_dir() / "absent").string()));
}
