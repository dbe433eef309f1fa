// What a source holds and how big it is (GetFileDimensions), and the drawing
// of a source into the canvas (ReadImage).
#include "imaging/detail/image_object.h"
#include "imaging/detail/tiff_reader.h"
#include "imaging/glimmerax.h"

#include <cstring>

namespace glimmerax {
namespace gdi = platform::gdi;

namespace {

std::uint32_t le16(const std::uint8_t* p) { return p[0] | p[1] << 8; }
std::uint32_t le32(const std::uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24; }

} // namespace

// a × b / c rounded half away from zero, as MulDiv does.
std::int32_t MulDiv(std::int64_t a, std::int64_t b, std::int64_t c)
{
    if (c == 0) return -1;
    std::int64_t p = a * b;
    bool neg = (p < 0) != (c < 0);
    std::int64_t q = (std::llabs(p) + std::llabs(c) / 2) / std::llabs(c);
    return std::int32_t(neg ? -q : q);
}

// ---- identification -------------------------------------------------------

Identity Identify(ImageStream& s, bool advanced_check, int ppi_x, int ppi_y)
{
    Identity id;
    std::uint8_t head[13];
    std::uint32_t got = 0;
    s.Read(head, 13, &got);
    if (got == 13) {
        if (!std::memcmp(head, "GIF87a", 6) || !std::memcmp(head, "GIF89a", 6)) {
            id.kind = 1;
            id.width = std::int32_t(le16(head + 6));
            id.height = std::int32_t(le16(head + 8));
            id.has_palette = true;
            if (head[10] & 0x80) {
                std::size_t n = std::size_t(2) << (head[10] & 7);
                std::vector<std::uint8_t> table(n * 3);
                s.Read(table.data(), std::uint32_t(table.size()), &got); // missing bytes read as zeros
                for (std::size_t i = 0; i < n; ++i) id.palette.push_back({table[i * 3], table[i * 3 + 1], table[i * 3 + 2]});
            } else {
                id.palette = {{0, 0, 0}, {255, 255, 255}};
            }
            return id;
        }
        if (head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF) {
            s.Seek(0);
            std::int32_t w, h;
            if (JpegCodec::ReadSize(s, &w, &h)) {
                id.kind = 2, id.width = w, id.height = h;
                return id;
            }
        } else if (head[0] == 'B' && head[1] == 'M') {
            std::uint8_t fh[14], info[40];
            s.Seek(0);
            if (!s.ReadFull(fh, 14)) fh[10] = fh[11] = fh[12] = fh[13] = 0xFF;
            std::uint32_t file_size = le32(fh + 2), pixel_offset = le32(fh + 10);
            if (s.Size() >= file_size && pixel_offset < file_size && s.ReadFull(info, 40)) {
                std::int32_t w = std::int32_t(le32(info + 4)), h = std::int32_t(le32(info + 8));
                int bits = int(le16(info + 14));
                if (w > 0 && h > 0 && le32(info) == 40 && le16(info + 12) == 1) {
                    id.kind = 3, id.width = w, id.height = h;
                    if (bits == 1 || bits == 4 || bits == 8) {
                        std::size_t n = std::size_t(1) << bits;
                        std::vector<std::uint8_t> table(n * 4);
                        s.Read(table.data(), std::uint32_t(table.size()), &got);
                        for (std::size_t i = 0; i < n; ++i) id.palette.push_back({table[i * 4 + 2], table[i * 4 + 1], table[i * 4]});
                        id.has_palette = true;
                    }
                    return id;
                }
            }
        }
    }
    // PNG
    s.Seek(0);
    {
        std::int32_t w, h;
        Palette pal;
        if (PngCodec::ReadSize(s, &w, &h, &pal) && w >= 1 && h >= 1) {
            id.kind = 5, id.width = w, id.height = h;
            id.has_palette = !pal.empty();
            id.palette = std::move(pal);
            return id;
        }
    }
    // TIFF
    if (got >= 2 && ((head[0] == 'I' && head[1] == 'I') || (head[0] == 'M' && head[1] == 'M'))) {
        s.Seek(0);
        TiffReader tiff;
        if (tiff.Open(s, true, true) && tiff.HasSize()) {
            id.kind = 6, id.width = tiff.Width(), id.height = tiff.Height();
            id.palette = tiff.GetPalette();
            id.has_palette = !id.palette.empty();
            return id;
        }
    }
    // Placeable metafile
    if (advanced_check && s.Size() > 22) {
        std::uint8_t m[22];
        if (s.Seek(0) && s.ReadFull(m, 22) && le32(m) == 0x9AC6CDD7u) {
            std::int32_t units = std::int32_t(le16(m + 14));
            auto s16 = [&](int at) { return std::int32_t(std::int16_t(le16(m + at))); };
            std::int32_t left = s16(6), top = s16(8), right = s16(10), bottom = s16(12);
            if (units != 0 && left < right && top < bottom) {
                id.kind = 4;
                id.width = MulDiv(right - left + 1, ppi_x, units);
                id.height = MulDiv(bottom - top + 1, ppi_y, units);
            }
        }
    }
    return id;
}

// GetFileDimensions(varName, varX[out], varY[out], varPal[out] opt, res[out])
void ImageObject::GetFileDimensions(Args& a)
{
    last_x_ = last_y_ = 0;
    const Variant& source = a[0];
    if (source.IsObject()) {
        platform::ObjectRef other = source.ToObject();
        if (!other) return;
        if (!other->QueryInterface(IID_IGlimmerax)) {
            // A picture: its HIMETRIC size in pixels.
            PictureExtent e;
            platform::Picture* picture = PictureOf(other);
            if (!picture || !PictureSize(picture, ppi_x_, ppi_y_, &e)) return;
            a[4] = Variant(std::int32_t(1001));
            a[1] = Variant(e.x);
            a[2] = Variant(e.y);
            last_x_ = e.x, last_y_ = e.y;
            return;
        }
        Args status{Variant()};
        other->Invoke(0x49, platform::InvokeKind::Method, status); // failures pass on to the caller
        const auto* st = status[0].BytesPtr();
        if (!st || st->size() < 12) return;
        std::uint32_t dc = le32(st->data() + 4), bmp = le32(st->data() + 8);
        if (dc != target_dc_ && bmp != 0) {
            std::int32_t w = std::int32_t(le16(st->data())), h = std::int32_t(le16(st->data() + 2));
            a[4] = Variant(std::int32_t(1000));
            a[1] = Variant(w);
            a[2] = Variant(h);
            last_x_ = w, last_y_ = h;
        }
        return;
    }
    ImageStream s;
    if (!OpenSource(source, s)) return;
    Identity id = Identify(s, advanced_check_, ppi_x_, ppi_y_);
    if (!id.kind) return;
    a[4] = Variant(std::int32_t(id.kind));
    a[1] = Variant(id.width);
    a[2] = Variant(id.height);
    if (id.has_palette) SetOut(a, 3, PaletteVariant(id.palette));
    last_x_ = id.width, last_y_ = id.height;
}

// ReadImage(varFile, varPal, varX, varY, varUseTransparency opt,
//           varFramesCount[out] opt, res[out])
void ImageObject::ReadImage(Args& a)
{
    SetOut(a, 1, Variant());
    if (!bits_) return;
    std::int32_t x = Num(arg(a, 2)), y = Num(arg(a, 3));
    const Variant& source = a[0];
    if (source.IsObject()) {
        platform::ObjectRef other = source.ToObject();
        if (!other) return;
        if (!other->QueryInterface(IID_IGlimmerax)) {
            // A picture renders itself, whole and upright, at its pixel size.
            PictureExtent e;
            platform::Picture* picture = PictureOf(other);
            gdi::Section target;
            if (!picture || !PictureSize(picture, ppi_x_, ppi_y_, &e) || !TargetSection(&target)) return;
            a[6] = Variant(std::int32_t(1001));
            gdi::GdiFlush();
            picture->Render(DrawTargetOf(target), x, y, e.x, e.y, 0, e.himetric_y, e.himetric_x, -e.himetric_y);
            return;
        }
        Args status{Variant()};
        other->Invoke(0x49, platform::InvokeKind::Method, status);
        const auto* st = status[0].BytesPtr();
        if (!st || st->size() < 12) return;
        std::uint32_t dc = le32(st->data() + 4);
        if (dc == target_dc_) return;
        gdi::GdiFlush();
        gdi::BitBlt(target_dc_, x, y, std::int32_t(le16(st->data())), std::int32_t(le16(st->data() + 2)), dc, 0, 0,
                    gdi::SRCCOPY);
        a[6] = Variant(std::int32_t(1000));
        return;
    }
    Args dims{source, Variant(), Variant(), Variant(), Variant()};
    GetFileDimensions(dims);
    int kind = Num(dims[4]);
    ImageStream s;
    if (!kind || !OpenSource(source, s)) return;
    gdi::GdiFlush();
    gdi::Section target;
    if (!gdi::GetSection(gdi::CurrentBitmap(target_dc_), &target)) return;
    switch (kind) {
    case 1: {
        Palette pal;
        int frames = 0;
        if (GifRead(s, target, x, y, Flag(arg(a, 4), true), &pal, &frames) > 0) {
            a[6] = Variant(std::int32_t(1));
            SetOut(a, 1, PaletteVariant(pal));
        }
        SetOut(a, 5, Variant(std::int32_t(frames)));
        break;
    }
    case 4: {
        // The metafile after its 22-byte placeable header, when the file's
        // length is exactly what the header says.
        std::vector<std::uint8_t> all(std::size_t(std::min<std::uint64_t>(s.Size(), 1u << 30)));
        if (!s.Seek(0) || !s.ReadFull(all.data(), std::uint32_t(all.size())) || all.size() < 40) return;
        if (all.size() != 22 + 2 * std::uint64_t(le32(all.data() + 28))) return;
        gdi::Viewport vp;
        vp.cx = vector_size_x_ > 0 ? vector_size_x_ : Num(dims[1]);
        vp.cy = vector_size_y_ > 0 ? vector_size_y_ : Num(dims[2]);
        vp.x = MulDiv(x, 100, ppi_x_);
        vp.y = MulDiv(y, 100, ppi_x_);
        gdi::PlayMetaFile(target_dc_, all.data() + 22, all.size() - 22, vp);
        a[6] = Variant(std::int32_t(4));
        break;
    }
    case 2:
        JpegCodec::Decode(s, target, x, y);
        SetOut(a, 5, Variant(std::int32_t(1)));
        a[6] = Variant(std::int32_t(2));
        break;
    case 5: {
        Palette pal;
        PngCodec::Decode(s, target, x, y, Flag(arg(a, 4), true), &pal);
        if (!pal.empty()) SetOut(a, 1, PaletteVariant(pal));
        SetOut(a, 5, Variant(std::int32_t(1)));
        a[6] = Variant(std::int32_t(5));
        break;
    }
    case 3: {
        Palette pal;
        BmpReader::Read(s, target_dc_, x, y, &pal);
        SetOut(a, 1, PaletteVariant(pal));
        SetOut(a, 5, Variant(std::int32_t(1)));
        a[6] = Variant(std::int32_t(3));
        break;
    }
    case 6: {
        TiffReader tiff;
        if (!tiff.Open(s, true, true)) return;
        tiff.Decode(target, x, y);
        SetOut(a, 1, PaletteVariant(tiff.GetPalette()));
        SetOut(a, 5, Variant(std::int32_t(tiff.PageCount())));
        a[6] = Variant(std::int32_t(6));
        break;
    }
    default: break; // Identify gives no other kind
    }
}

} // namespace glimmerax
