// The drawing interface's device-independent pictures and memory contexts:
// 24-bit bottom-up sections, memory contexts (MM_TEXT, 96 pixels per inch)
// that hold one section each, plain pixel copies between contexts and the
// drawing of a packed device-independent bitmap (1 to 32 bits a pixel,
// uncompressed, run-length coded or with bit-field masks) into a context.
// Handles are 32-bit numbers valid anywhere in the process; 0 is none.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace platform::gdi {

using Handle = std::uint32_t;

inline constexpr int MM_TEXT = 1;
inline constexpr int LOGPIXELSX = 88;
inline constexpr int LOGPIXELSY = 90;
inline constexpr std::uint32_t SRCCOPY = 0x00CC0020;
inline constexpr std::uint32_t BI_RGB = 0, BI_RLE8 = 1, BI_RLE4 = 2, BI_BITFIELDS = 3;
inline constexpr std::uint32_t DIB_RGB_COLORS = 0;

// A 24-bit section: width × height pixels, blue, green, red, rows bottom
// first, each row padded to four bytes. At most 2^31 - 1 pixel bytes.
struct Section {
    int width = 0, height = 0;
    std::size_t stride = 0;
    std::uint8_t* bits = nullptr;
    // Row y counted from the top.
    std::uint8_t* row(int y) const { return bits + std::size_t(height - 1 - y) * stride; }
};

// The row length of a picture `width` pixels wide at `bits` bits a pixel.
inline std::int64_t DibStride(std::int64_t width, int bits) { return ((width * bits + 31) / 32) * 4; }

// 0 when the size is not positive, too large, or memory is short; *bits
// then is null. Pixels start black.
Handle CreateDIBSection(int width, int height, std::uint8_t** bits);
Handle CreateCompatibleDC();
bool DeleteDC(Handle dc);
bool DeleteObject(Handle bitmap);
// Selects a section into a context; gives the one selected before.
Handle SelectObject(Handle dc, Handle bitmap);
Handle CurrentBitmap(Handle dc);
int SetMapMode(Handle dc, int mode);
int GetDeviceCaps(Handle dc, int index);
// The section of a bitmap handle, or false.
bool GetSection(Handle bitmap, Section* out);

// Copies a w × h rectangle between the sections of two contexts, clipped
// to both (SRCCOPY only).
bool BitBlt(Handle dst, int x, int y, int w, int h, Handle src, int sx, int sy, std::uint32_t rop);

// The header of a packed device-independent bitmap, and its colour table
// (blue, green, red, reserved) or, for BI_BITFIELDS, its three masks.
struct BitmapInfo {
    std::int32_t width = 0, height = 0; // a negative height is top-down
    std::uint16_t bit_count = 0;
    std::uint32_t compression = BI_RGB;
    std::uint32_t masks[3] = {0, 0, 0};
    std::vector<std::uint32_t> colors; // 0x00RRGGBB
};

// Draws the source rectangle (xs, ys from the picture's top-left, ws × hs)
// stretched to (xd, yd, wd, hd) of the context's section, clipped to it.
// Only the `size` bytes given are read: rows beyond them draw black.
// Run-length pictures are drawn unscaled. Gives the rows drawn.
int StretchDIBits(Handle dc, int xd, int yd, int wd, int hd, int xs, int ys, int ws, int hs, const std::uint8_t* bits,
                  std::size_t size, const BitmapInfo& info, std::uint32_t usage, std::uint32_t rop);

// ---- drawing ---------------------------------------------------------------
// Colours are 0x00RRGGBB. A context holds one pen and one brush (values,
// not handles), a current position and a graphics mode.

inline constexpr std::uint32_t SRCPAINT = 0x00EE0086, SRCAND = 0x008800C6, SRCINVERT = 0x00660046,
                               SRCERASE = 0x00440328, NOTSRCCOPY = 0x00330008, MERGECOPY = 0x00C000CA,
                               MERGEPAINT = 0x00BB0226, PATCOPY = 0x00F00021, PATPAINT = 0x00FB0A09,
                               PATINVERT = 0x005A0049, DSTINVERT = 0x00550009;
// Dashed styles apply to pens one pixel wide (wider ones draw solid); their
// gaps take the background colour in opaque background mode.
inline constexpr int PS_SOLID = 0, PS_DASH = 1, PS_DOT = 2, PS_DASHDOT = 3, PS_DASHDOTDOT = 4, PS_NULL = 5, PS_INSIDEFRAME = 6;
inline constexpr int GM_COMPATIBLE = 1, GM_ADVANCED = 2;
inline constexpr int FLOODFILLBORDER = 0, FLOODFILLSURFACE = 1;

struct Pen {
    int style = PS_SOLID;
    int width = 1;
    std::uint32_t color = 0;
};
inline constexpr int HS_HORIZONTAL = 0, HS_VERTICAL = 1, HS_FDIAGONAL = 2, HS_BDIAGONAL = 3, HS_CROSS = 4, HS_DIAGCROSS = 5;
// A solid brush, a hatched one (hatch ≥ 0: lines of the colour every eight
// pixels from the origin, the gaps in the background colour when the
// background mode is opaque) or a pattern brush (pattern_width × the rest,
// rows top first, tiled from the origin).
struct Brush {
    bool hollow = false;
    std::uint32_t color = 0xFFFFFF;
    int hatch = -1;
    std::vector<std::uint32_t> pattern;
    int pattern_width = 0;
};

bool SelectPen(Handle dc, const Pen& pen);
bool SelectBrush(Handle dc, const Brush& brush);
// Gives the old mode, 0 on failure. Back in compatible mode the world
// transformation is the identity again.
int SetGraphicsMode(Handle dc, int mode);
int GetGraphicsMode(Handle dc);
// The world transformation: device x = x·m11 + y·m21 + dx, device y =
// x·m12 + y·m22 + dy. Accepted in advanced mode only. It moves the points of
// lines, pixels (set and read), flood fills and the shapes (a shape no longer
// upright is drawn as the polygon of its outline), turns text with its
// background box, and maps copies: the destination rectangle through the
// destination's transformation, the source through the source's, which
// must not rotate or shear (the copy then fails).
struct XForm {
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;
    bool identity() const { return m11 == 1 && m12 == 0 && m21 == 0 && m22 == 1 && dx == 0 && dy == 0; }
};
bool SetWorldTransform(Handle dc, const XForm& xf);

// Fills [left, right) × [top, bottom) with the brush given.
bool FillRect(Handle dc, int left, int top, int right, int bottom, const Brush& brush);
// Frames [left, right) × [top, bottom) one pixel wide with the brush given.
bool FrameRect(Handle dc, int left, int top, int right, int bottom, const Brush& brush);
// The pen's outline along the inside of [left, right) × [top, bottom), the
// brush inside it.
bool Rectangle(Handle dc, int left, int top, int right, int bottom);
bool MoveToEx(Handle dc, int x, int y);
// A pen line from the current position, stopping before (x, y), which
// becomes the current position.
bool LineTo(Handle dc, int x, int y);
bool SetPixel(Handle dc, int x, int y, std::uint32_t color);
using Points = std::vector<std::pair<int, int>>;
// A closed polygon: filled with the brush (alternate or winding), framed
// with the pen.
bool Polygon(Handle dc, const Points& pts, bool winding);
// The ellipse inscribed in [left, right) × [top, bottom): brush inside, pen
// on its edge.
bool Ellipse(Handle dc, int left, int top, int right, int bottom);
// Part of the ellipse inscribed in [left, right) × [top, bottom), running
// counter-clockwise from the ray towards (xr1, yr1) to the ray towards
// (xr2, yr2): an arc (pen only), a chord (closed by a straight line) or a
// pie (closed through the centre); the closed ones are filled with the
// brush. The current position is kept.
enum class ArcKind { Arc, Chord, Pie };
bool ArcShape(Handle dc, int left, int top, int right, int bottom, int xr1, int yr1, int xr2, int yr2, ArcKind kind);
// A rectangle whose corners are quarters of a w × h ellipse.
bool RoundRect(Handle dc, int left, int top, int right, int bottom, int w, int h);
// Cubic Bezier curves: a start point and three points per curve.
bool PolyBezier(Handle dc, const Points& pts);
bool GetPixel(Handle dc, int x, int y, std::uint32_t* color);
// Fills with the current brush the area bounded by `color`
// (FLOODFILLBORDER) or of `color` (FLOODFILLSURFACE), four-connected, with
// an explicit stack of spans.
bool ExtFloodFill(Handle dc, int x, int y, std::uint32_t color, int type);
// Copies between contexts with a raster operation (the PAT operations use
// the destination context's brush), clipped to both sections.
bool BitBltRop(Handle dst, int x, int y, int w, int h, Handle src, int sx, int sy, std::uint32_t rop);

bool GetTools(Handle dc, Pen* pen, Brush* brush);

// ---- text --------------------------------------------------------------------
// Fonts are found by fontconfig and drawn by FreeType.

inline constexpr int TA_LEFT = 0, TA_RIGHT = 2, TA_CENTER = 6, TA_TOP = 0, TA_BOTTOM = 8, TA_BASELINE = 24;
inline constexpr int OPAQUE = 2, TRANSPARENT = 1;
inline constexpr int NONANTIALIASED_QUALITY = 3;

struct Font {
    std::string family;
    int height = 0; // pixels; negative: the characters' height, positive: the cell's
    int weight = 400;
    bool italic = false, underline = false, strikeout = false;
    int quality = 0; // NONANTIALIASED_QUALITY draws the text colour only
};

bool SelectFont(Handle dc, const Font& font);
bool SetTextColor(Handle dc, std::uint32_t color);
bool SetBkColor(Handle dc, std::uint32_t color);
bool SetBkMode(Handle dc, int mode);
bool SetTextAlign(Handle dc, int flags);
// Draws the text (code points) at (x, y) per the alignment; the background
// box is filled in opaque mode.
bool TextOut(Handle dc, int x, int y, const std::u32string& text);
// The width and height of the text's box.
bool GetTextExtentPoint(Handle dc, const std::u32string& text, int* width, int* height);

// Plays the records of a Windows metafile (its 18-byte header first) into
// the context: logical coordinates map through the metafile's window onto
// the viewport (origin, extent in pixels). Drawing records are played,
// others skipped; a record below 3 words or past the end stops the
// playback, and a record's parameters are read only within its own size.
// The context's pen and brush are restored afterwards.
struct Viewport {
    int x = 0, y = 0, cx = 1, cy = 1;
};
bool PlayMetaFile(Handle dc, const std::uint8_t* data, std::size_t size, const Viewport& vp);

inline constexpr int BLACKONWHITE = 1, WHITEONBLACK = 2, COLORONCOLOR = 3, HALFTONE = 4;
// Stretches a source rectangle onto a destination rectangle (negative sizes
// mirror) with a raster operation, clipped to both sections.
bool StretchBlt(Handle dst, int x, int y, int w, int h, Handle src, int sx, int sy, int sw, int sh, std::uint32_t rop,
                int mode);

// Pending drawing reaches the pixels (drawing here is immediate).
bool GdiFlush();

} // namespace platform::gdi
