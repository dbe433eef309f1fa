// The BMP reader, the BMP and WBMP writers, and the byte-array utilities.
#include "imaging/detail/image_object.h"
#include "platform/text/cp1252.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace glimmerax {
namespace gdi = platform::gdi;

namespace {
std::uint32_t le16(const std::uint8_t* p) { return p[0] | p[1] << 8; }
std::uint32_t le32(const std::uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24; }
void put16(std::vector<std::uint8_t>& b, std::uint32_t v) { b.push_back(std::uint8_t(v)), b.push_back(std::uint8_t(v >> 8)); }
void put32(std::vector<std::uint8_t>& b, std::uint32_t v) { put16(b, v), put16(b, v >> 16); }
} // namespace

// Draws unscaled at (x, y). Only the part of the picture that lands on the
// target is read, and only the pixel bytes the stream holds: a header that
// claims more rows than the file has draws the missing ones black.
bool BmpReader::Read(ImageStream& s, gdi::Handle dc, int x, int y, Palette* palette)
{
    palette->clear();
    std::uint8_t fh[14], ih[64] = {};
    if (!s.Seek(0) || !s.ReadFull(fh, 14) || !s.ReadFull(ih, 4)) return false;
    std::uint32_t header_size = le32(ih);
    if (header_size < 40 || header_size > s.Size()) return false;
    if (!s.ReadFull(ih + 4, std::min<std::uint32_t>(header_size, 64) - 4)) return false;
    gdi::BitmapInfo info;
    info.width = std::int32_t(le32(ih + 4));
    info.height = std::int32_t(le32(ih + 8));
    info.bit_count = std::uint16_t(le16(ih + 14));
    info.compression = le32(ih + 16);
    std::uint32_t used = le32(ih + 32);
    std::uint32_t entries = info.bit_count == 1 ? 2 : info.bit_count == 4 ? 16 : info.bit_count == 8 ? 256 : 0;
    if (used > 0 && used < entries) entries = used; // the header's count of colours in use
    std::uint64_t table_at = 14 + std::uint64_t(header_size);
    if (info.compression == gdi::BI_BITFIELDS) {
        std::uint8_t m[12];
        if (header_size >= 52) std::memcpy(m, ih + 40, 12);
        else if (!s.Seek(table_at) || !s.ReadFull(m, 12)) return false;
        for (int i = 0; i < 3; ++i) info.masks[i] = le32(m + 4 * i);
    }
    if (entries) {
        std::vector<std::uint8_t> t(entries * 4);
        std::uint32_t got = 0;
        if (!s.Seek(table_at)) return false;
        s.Read(t.data(), std::uint32_t(t.size()), &got);
        for (std::uint32_t i = 0; i < entries; ++i) {
            info.colors.push_back(std::uint32_t(t[i * 4 + 2]) << 16 | t[i * 4 + 1] << 8 | t[i * 4]);
            palette->push_back({t[i * 4 + 2], t[i * 4 + 1], t[i * 4]});
        }
    }
    std::uint64_t pixels = le32(fh + 10);
    if (info.width <= 0 || info.height == 0 || info.height == INT32_MIN || pixels >= s.Size()) return false;
    gdi::Section target;
    if (!gdi::GetSection(gdi::CurrentBitmap(dc), &target)) return false;
    const std::int64_t W = info.width, H = std::abs(std::int64_t(info.height)), bpp = info.bit_count;

    if (info.compression == gdi::BI_RLE8 || info.compression == gdi::BI_RLE4) {
        std::vector<std::uint8_t> data(std::size_t(s.Size() - pixels));
        std::uint32_t got = 0;
        if (!s.Seek(pixels) || !s.Read(data.data(), std::uint32_t(data.size()), &got)) return false;
        gdi::StretchDIBits(dc, x, y, int(W), int(H), 0, 0, int(W), int(H), data.data(), got, info, gdi::DIB_RGB_COLORS,
                           gdi::SRCCOPY);
        return true;
    }
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) return false;
    // The rows and columns that land on the target.
    const std::int64_t r0 = std::max<std::int64_t>(0, -std::int64_t(y)), r1 = std::min<std::int64_t>(H, std::int64_t(target.height) - y);
    const std::int64_t c0 = std::max<std::int64_t>(0, -std::int64_t(x)), c1 = std::min<std::int64_t>(W, std::int64_t(target.width) - x);
    if (r0 >= r1 || c0 >= c1) return true;
    const std::int64_t stride = gdi::DibStride(W, int(bpp));
    const std::int64_t first_byte = c0 * bpp / 8, skip = (c0 * bpp % 8) / bpp;
    const std::int64_t last_byte = (c1 * bpp + 7) / 8;
    const std::int64_t sub_w = skip + (c1 - c0), sub_stride = gdi::DibStride(sub_w, int(bpp)), rows = r1 - r0;
    // Band rows keep the file's order, so bytes the file lacks are a suffix:
    // the band holds only the rows that start within the file.
    const bool bottom_up = info.height > 0;
    const std::int64_t k0 = bottom_up ? H - r1 : r0; // the band's first stored row
    const std::int64_t size = std::int64_t(s.Size());
    std::int64_t held = 0;
    if (k0 <= size / stride) {
        std::int64_t start = std::int64_t(pixels) + k0 * stride + first_byte;
        if (start < size) held = std::min(rows, (size - start + stride - 1) / stride);
    }
    std::vector<std::uint8_t> band(std::size_t(sub_stride * held), 0);
    std::size_t valid = 0;
    for (std::int64_t j = 0; j < held; ++j) {
        std::int64_t k = k0 + j; // stored row in the file
        std::uint64_t at = pixels + std::uint64_t(k * stride + first_byte);
        std::uint32_t want = std::uint32_t(last_byte - first_byte), got = 0;
        if (!s.Seek(at)) break;
        s.Read(band.data() + j * sub_stride, want, &got);
        valid = std::size_t(j * sub_stride + got);
        if (got < want) break;
        valid = std::size_t((j + 1) * sub_stride);
    }
    gdi::BitmapInfo sub = info;
    sub.width = std::int32_t(sub_w);
    sub.height = std::int32_t(bottom_up ? rows : -rows);
    static const std::uint8_t none = 0;
    gdi::StretchDIBits(dc, int(x + c0), int(y + r0), int(c1 - c0), int(rows), int(skip), 0, int(c1 - c0), int(rows),
                       band.empty() ? &none : band.data(), valid, sub, gdi::DIB_RGB_COLORS, gdi::SRCCOPY);
    return true;
}

std::vector<std::uint8_t> BmpBytes(const ImageObject& o)
{
    std::uint32_t row = std::uint32_t(3 * o.width_ + 3) & ~3u;
    std::uint64_t image = std::uint64_t(row) * std::uint64_t(o.height_);
    std::vector<std::uint8_t> b;
    b.reserve(std::size_t(54 + image));
    b.push_back('B'), b.push_back('M');
    put32(b, std::uint32_t(54 + image));
    put32(b, 0);
    put32(b, 54);
    put32(b, 40);
    put32(b, std::uint32_t(o.width_));
    put32(b, std::uint32_t(o.height_));
    put16(b, 1);
    put16(b, 24);
    for (int i = 0; i < 6; ++i) put32(b, 0);
    b.insert(b.end(), o.bits_, o.bits_ + image);
    return b;
}

std::vector<std::uint8_t> WbmpBytes(const ImageObject& o)
{
    std::vector<std::uint8_t> b{0, 0};
    // Multi-byte integers: 7-bit groups, most significant first, the top
    // bit set on every group but the last.
    auto multibyte = [&](std::uint32_t v) {
        std::uint8_t groups[5];
        int n = 0;
        do groups[n++] = v & 0x7F, v >>= 7;
        while (v);
        while (n > 1) b.push_back(std::uint8_t(groups[--n] | 0x80));
        b.push_back(groups[0]);
    };
    multibyte(std::uint32_t(o.width_));
    multibyte(std::uint32_t(o.height_));
    gdi::Section sec{o.width_, o.height_, std::size_t(std::uint32_t(3 * o.width_ + 3) & ~3u), o.bits_};
    const auto& p0 = o.palette_[0];
    const auto& p1 = o.palette_[1];
    for (int y = 0; y < o.height_; ++y) {
        const std::uint8_t* r = sec.row(y);
        std::uint8_t acc = 0;
        for (int x = 0; x < o.width_; ++x) {
            std::array<std::uint8_t, 3> c{r[x * 3 + 2], r[x * 3 + 1], r[x * 3]};
            if (c == p1 && c != p0) acc |= std::uint8_t(0x80 >> (x & 7));
            if ((x & 7) == 7 || x == o.width_ - 1) b.push_back(acc), acc = 0;
        }
    }
    return b;
}

namespace {
// vFile, res: a file, or with an empty name the bytes as the result.
void write_out(Args& a, std::vector<std::uint8_t> bytes)
{
    std::string name;
    if (!Text(a[0], &name)) return;
    if (name.empty()) a[1] = ByteResult(std::move(bytes));
    else a[1] = Variant(SaveFile(name, bytes.data(), bytes.size()));
}
} // namespace

void ImageObject::BmpImage(Args& a)
{
    if (bits_) write_out(a, BmpBytes(*this));
}

void ImageObject::WbmpImage(Args& a)
{
    if (bits_) write_out(a, WbmpBytes(*this));
}

// ---- byte arrays ------------------------------------------------------------

namespace {
// The range [from, from + count - 1] of a byte array, in 64 bits.
bool in_bounds(const Variant& arr, std::int64_t from, std::int64_t count)
{
    const auto* b = arr.BytesPtr();
    std::int64_t lb = arr.BytesLBound(), ub = lb + std::int64_t(b->size()) - 1;
    return count > 0 && from >= lb && from + count - 1 <= ub;
}
} // namespace

void ImageObject::ReadBinaryFile(Args& a)
{
    std::int32_t max = Num(a[1]);
    a[1] = Variant(std::int32_t(0));
    std::string name;
    if (max <= 0 || !Text(a[0], &name) || name.empty()) return;
    ImageStream s;
    if (!s.OpenFile(name) || s.Size() > std::uint64_t(max)) return;
    std::vector<std::uint8_t> data(std::size_t(s.Size()));
    if (!s.ReadFull(data.data(), std::uint32_t(data.size()))) return;
    a[2] = ByteResult(std::move(data));
    a[1] = Variant(std::int32_t(s.Size()));
}

void ImageObject::WriteBinary(Args& a)
{
    const auto* b = a[0].BytesPtr();
    if (!b) return;
    std::int64_t from = Num(a[1]), count = Num(a[2]);
    if (!in_bounds(a[0], from, count)) return;
    const std::uint8_t* p = b->data() + (from - a[0].BytesLBound());
    std::string name;
    if (!Text(a[3], &name)) return;
    if (name.empty()) {
        std::size_t n = std::find(p, p + count, 0) - p;
        a[3] = Variant(platform::cp1252_to_utf8(std::string_view(reinterpret_cast<const char*>(p), n)));
        a[5] = Variant(true);
        return;
    }
    a[5] = Variant(SaveFile(name, p, std::size_t(count), Flag(arg(a, 4))));
}

void ImageObject::FindInBinary(Args& a)
{
    std::int32_t max = Num(a[4]);
    a[4] = Variant(std::int32_t(0));
    const auto* b = a[0].BytesPtr();
    std::string text;
    if (!b || max < 1 || max > 1024 || !Text(a[1], &text)) return;
    std::string needle = platform::utf8_to_cp1252(text);
    std::int64_t from = Num(a[2]), length = Num(a[3]);
    if (needle.empty() || !in_bounds(a[0], from, length)) return;
    const std::uint8_t* begin = b->data() + (from - a[0].BytesLBound());
    const std::uint8_t* end = begin + length;
    std::vector<std::int32_t> hits;
    for (const std::uint8_t* p = begin; hits.size() < std::size_t(max);) {
        p = std::search(p, end, needle.begin(), needle.end(),
                        [](std::uint8_t x, char y) { return x == std::uint8_t(y); });
        if (p == end) break;
        hits.push_back(std::int32_t(p - b->data()));
        p += needle.size();
    }
    a[4] = Variant(std::int32_t(hits.size()));
    if (hits.empty()) return;
    platform::VariantArray r(0, std::int32_t(hits.size()));
    for (std::size_t i = 0; i < hits.size(); ++i) r.at(std::int32_t(i)) = Variant(hits[i]);
    a[5] = Variant(std::move(r));
}

void ImageObject::ConvertValue(Args& a)
{
    const auto* b = a[0].BytesPtr();
    if (!b) return;
    std::int64_t bytes = Num(arg(a, 2));
    if (bytes < 0) return;
    if (bytes == 0) bytes = 1;
    if (bytes > 4) bytes = 4;
    std::int64_t index = Num(a[1]);
    if (!in_bounds(a[0], index, bytes)) return;
    std::uint32_t v = 0;
    const std::uint8_t* p = b->data() + (index - a[0].BytesLBound());
    for (std::int64_t i = bytes - 1; i >= 0; --i) v = v << 8 | p[i];
    a[3] = Variant(std::int32_t(v));
}

} // namespace glimmerax
