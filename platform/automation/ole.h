// Two interfaces an object may offer besides late binding, found through
// Dispatch::QueryInterface by their interface identifiers: a picture (an
// image with a size, rendered on request) and a view object (draws its view
// into a rectangle and tells its extent). Sizes are in HIMETRIC units,
// hundredths of a millimetre; 2540 make an inch.
//
// Both draw into a DrawTarget: the pixels of a 24-bit picture, lent for the
// call only. A target is plain memory, so an object served by another
// library draws into it as well as one of the caller's own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

inline constexpr std::uint32_t E_FAIL = 0x80004005u;
inline constexpr std::uint32_t E_INVALIDARG = 0x80070057u;

inline constexpr const char* IID_IPicture = "{7BF80980-BF32-101A-8BBB-00AA00300CAB}";
inline constexpr const char* IID_IViewObject2 = "{00000127-0000-0000-C000-000000000046}";

inline constexpr int HimetricPerInch = 2540;

// Pixels blue, green, red; rows bottom first, each `stride` bytes.
struct DrawTarget {
    int width = 0, height = 0;
    std::size_t stride = 0;
    std::uint8_t* bits = nullptr;
    // Row y counted from the top.
    std::uint8_t* row(int y) const { return bits + std::size_t(height - 1 - y) * stride; }
};

struct Rect {
    int left = 0, top = 0, right = 0, bottom = 0;
};

class Picture {
public:
    virtual ~Picture() = default;
    virtual std::uint32_t Width(std::int32_t* himetric) = 0;
    virtual std::uint32_t Height(std::int32_t* himetric) = 0;
    // Draws the source rectangle into the pixel rectangle (x, y, cx, cy) of
    // the target, clipped to it. The source is in HIMETRIC with its origin at
    // the picture's bottom-left: (xsrc, ysrc) and the extent (cxsrc, cysrc),
    // a negative cysrc running downwards, so (0, height, width, -height) is
    // the whole picture upright.
    virtual std::uint32_t Render(const DrawTarget& target, int x, int y, int cx, int cy, std::int32_t xsrc,
                                 std::int32_t ysrc, std::int32_t cxsrc, std::int32_t cysrc) = 0;
};

// The aspects of a view.
inline constexpr std::uint32_t DVASPECT_CONTENT = 1, DVASPECT_THUMBNAIL = 2, DVASPECT_ICON = 4;

class ViewObject {
public:
    virtual ~ViewObject() = default;
    // May be called from any thread; the caller holds the object meanwhile.
    virtual std::uint32_t GetExtent(std::uint32_t aspect, std::int32_t* cx, std::int32_t* cy) = 0;
    // Draws the view of that aspect into `bounds` of the target, clipped to it.
    virtual std::uint32_t Draw(std::uint32_t aspect, const DrawTarget& target, const Rect& bounds) = 0;
};

} // namespace platform
