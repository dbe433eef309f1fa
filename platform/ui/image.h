// A picture as the clipboard and the printer take it: width × height
// pixels 0xAARRGGBB, top row first.
#pragma once

#include <cstdint>
#include <vector>

class QImage;

namespace platform {

struct Image {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;

    bool empty() const { return width <= 0 || height <= 0; }
    std::uint32_t at(int x, int y) const { return pixels[std::size_t(y) * std::size_t(width) + std::size_t(x)]; }
};

// The picture as a Qt image (null for an empty one).
QImage to_qimage(const Image& image);

} // namespace platform
