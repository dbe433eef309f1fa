// The TIFF reader: header, directory walk (at most 100 directories) and the
// decoding of one image into a 24-bit section. Offsets count from a base:
// 0 when opened at the start of the stream, else the stream's position.
#pragma once

#include "imaging/detail/image_object.h"

#include <memory>

namespace glimmerax {

// A heap block that may fail to grow; a failed Resize leaves it empty.
class HeapBuffer {
public:
    bool Resize(std::size_t size);
    std::uint8_t* data() { return data_.get(); }
    std::size_t size() const { return size_; }

private:
    std::unique_ptr<std::uint8_t[]> data_;
    std::size_t size_ = 0;
};

// Byte order of a TIFF structure: reads 16- and 32-bit values.
struct ByteOrder {
    bool big = false;
    std::uint16_t u16(const std::uint8_t* p) const { return big ? std::uint16_t(p[0] << 8 | p[1]) : std::uint16_t(p[1] << 8 | p[0]); }
    std::uint32_t u32(const std::uint8_t* p) const
    {
        return big ? std::uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]
                   : std::uint32_t(p[3]) << 24 | p[2] << 16 | p[1] << 8 | p[0];
    }
};

// One 12-byte directory entry; `raw` keeps the value field's bytes.
struct DirEntry {
    std::uint16_t tag = 0, type = 0;
    std::uint32_t count = 0, value = 0;
    std::uint8_t raw[4] = {0, 0, 0, 0};
};
DirEntry ParseEntry(const std::uint8_t* p, const ByteOrder& order);

class TiffReader {
public:
    TiffReader();
    ~TiffReader();
    // Reads the header and, when wanted, walks to the first image directory.
    bool Open(ImageStream& s, bool from_start, bool read_directory);
    bool HasSize() const { return width_ > 0 && height_ > 0; }
    std::int32_t Width() const { return std::int32_t(width_); }
    std::int32_t Height() const { return std::int32_t(height_); }
    Palette GetPalette() const;
    int PageCount() const { return page_count_ > 1 ? int(page_count_) : 1; }
    // Decodes the image into the section at (x, y); rows written stay on failure.
    bool Decode(const platform::gdi::Section& target, int x, int y);

    struct State;

private:
    bool take(const DirEntry& e); // false rejects the directory
    ImageStream* s_ = nullptr;
    std::uint64_t base_ = 0;
    ByteOrder order_;
    std::uint32_t width_ = 0, height_ = 0, samples_ = 1, bits_[3] = {1, 1, 1};
    std::uint32_t compression_ = 1, photometric_ = 0, fill_order_ = 1;
    std::uint32_t strip_offsets_count_ = 0, strip_offsets_ = 0, strip_offsets_type_ = 4;
    std::uint32_t rows_per_strip_ = 0;
    std::uint32_t strip_counts_count_ = 0, strip_counts_ = 0, strip_counts_type_ = 4;
    std::uint32_t t4_options_ = 0, t6_options_ = 0, page_ = 0, page_count_ = 1, predictor_ = 1;
    std::uint32_t new_subfile_ = 0;
    std::array<std::array<std::uint8_t, 3>, 256> palette_{};
    bool has_colormap_ = false;
};

} // namespace glimmerax
