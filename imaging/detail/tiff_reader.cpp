#include "imaging/detail/tiff_reader.h"

#include <cstring>
#include <new>

namespace glimmerax {

bool HeapBuffer::Resize(std::size_t size)
{
    std::unique_ptr<std::uint8_t[]> p(new (std::nothrow) std::uint8_t[size ? size : 1]);
    if (!p) {
        data_.reset();
        size_ = 0;
        return false;
    }
    if (data_) std::memcpy(p.get(), data_.get(), std::min(size, size_));
    data_ = std::move(p);
    size_ = size;
    return true;
}

DirEntry ParseEntry(const std::uint8_t* p, const ByteOrder& order)
{
    DirEntry e;
    e.tag = order.u16(p);
    e.type = order.u16(p + 2);
    e.count = order.u32(p + 4);
    std::memcpy(e.raw, p + 8, 4);
    // A SHORT sits in the first two bytes of the value field.
    e.value = (e.type == 3 && e.count <= 2) ? order.u16(p + 8) : order.u32(p + 8);
    return e;
}

TiffReader::TiffReader() = default;
TiffReader::~TiffReader() = default;
bool TiffReader::Open(ImageStream&, bool, bool) { return false; }
Palette TiffReader::GetPalette() const { return {}; }
bool TiffReader::Decode(const platform::gdi::Section&, int, int) { return false; }

} // namespace glimmerax
