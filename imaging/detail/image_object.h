// The image object behind "glimmerax.image": its canvas state and the
// members built so far. Each member takes its arguments by reference and
// writes its results into them.
#pragma once

#include "imaging/detail/image_stream.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/ole.h"
#include "platform/gdi/gdi.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <vector>

namespace glimmerax {

using platform::Variant;
using Args = std::vector<Variant>;

// Objects and server locks alive in the library.
extern std::atomic<long> g_alive;

// Argument helpers: the i-th argument, or a Missing one past the end.
const Variant& arg(const Args& a, std::size_t i);
std::int32_t Num(const Variant& v);  // a failed coercion gives 0
bool Flag(const Variant& v, bool def = false);
bool Text(const Variant& v, std::string* out); // false when it cannot be a text
void SetOut(Args& a, std::size_t i, Variant v); // only when that argument was passed
// SetFileTime(varFile, varCre, varMod, varAcc, res): sets the last-write and
// last-access times given as non-zero dates (local time); Linux keeps no
// settable creation time, so varCre is ignored.
void SetFileTime(Args& a);
// A palette as a 2-D array (0..n-1, 0..2) of 16-bit Integers; Empty when n is outside 1..256.
Variant PaletteVariant(const std::vector<std::array<std::uint8_t, 3>>& pal);

using Palette = std::vector<std::array<std::uint8_t, 3>>; // red, green, blue

// A palette's entry of a pixel by exact colour match: the first entry of
// that colour, 0 when none matches.
// Called once a pixel by the writers, so it is an open-addressed table of
// the (at most 256) colours, a quarter full.
class ExactIndex {
public:
    ExactIndex(const std::array<std::uint8_t, 3>* entries, int n);
    std::uint8_t operator()(const std::uint8_t* bgr) const // blue, green, red as stored
    {
        const std::uint32_t k = key(bgr[2], bgr[1], bgr[0]);
        for (std::uint32_t h = slot(k);; h = (h + 1) & (kSlots - 1)) {
            if (keys_[h] == k) return index_[h];
            if (keys_[h] == kEmpty) return 0;
        }
    }

private:
    static constexpr std::uint32_t kSlots = 1024, kEmpty = 0xFF000000; // no colour has the top byte set
    static std::uint32_t key(std::uint32_t r, std::uint32_t g, std::uint32_t b) { return r << 16 | g << 8 | b; }
    static std::uint32_t slot(std::uint32_t k) { return (k * 0x9E3779B1u) >> 22; }
    std::array<std::uint32_t, kSlots> keys_;
    std::array<std::uint8_t, kSlots> index_{};
};

// One frame of the animation track: its place on the screen and its indices.
struct GifFrame {
    int delay = 0, disposal = 0, transparent = -1;
    int left = 0, top = 0, width = 0, height = 0;
    std::vector<std::uint8_t> pixels;
};
struct GifTrack {
    int width = 0, height = 0;
    std::array<std::array<std::uint8_t, 3>, 256> palette{};
    int entries = 0;
    bool loop = false;
    std::uint16_t loop_count = 0;
    std::vector<GifFrame> frames;
};

class ImageObject : public platform::Dispatch {
public:
    ImageObject();
    ~ImageObject() override;

    std::optional<platform::DispId> GetIDOfName(std::string_view name) const override;
    Variant Invoke(platform::DispId id, platform::InvokeKind kind, Args& args) override;
    void* QueryInterface(std::string_view iid) override;

    // Members (DISPID order).
    void CreateImage(Args& a);
    void GetFileDimensions(Args& a);
    void ReadImage(Args& a);
    void DestroyObject();
    void GetInternalStatus(Args& a);
    void BmpImage(Args& a);
    void WbmpImage(Args& a);
    void ReadBinaryFile(Args& a);
    void WriteBinary(Args& a);
    void FindInBinary(Args& a);
    void ConvertValue(Args& a);
    void GetImageInfo(Args& a);
    void JpegImage(Args& a);
    void GifPartialImage(Args& a, bool whole);
    void TrackAdd(Args& a);
    void TrackPlay(Args& a);
    void BuildPalette(Args& a);
    void ApplyPalette(Args& a);
    void WebPalette();
    void ChangePaletteSize(Args& a);
    void DrawObject(Args& a);
    void CheckObject(Args& a);
    void InitClipboard(Args& a);
    void SelectClipboard(Args& a);
    void Filter(platform::DispId id, Args& a); // GrayScale, Invert, Flip, Brightness, Contrast, Blur, Sharpen
    void TransparentCopy(Args& a);
    void CaptureScreen(Args& a);
    // Colours, pens, brushes, shapes, lines, pixels, fills, gradients, Copy.
    void Draw(platform::DispId id, Args& a);
    bool Colour(const Variant& index, std::uint32_t* rgb) const; // false outside the palette
    void SelectTools();                                         // the pen and brush into both contexts
    void CornerRule(int* l, int* t, int* r, int* b) const;
    std::vector<std::pair<int, int>> Points(const Variant& v) const;
    void Curve(const std::vector<std::pair<int, int>>& points, bool closed, double k);
    void SmoothLine(int x1, int y1, int x2, int y2);
    // Fonts, text colours, alignment, TextOut and GetTextDimensions.
    void TextMember(platform::DispId id, Args& a);
    std::u32string TextArg(const Variant& text, const Variant& unicode) const;
    void Resize(Args& a);
    void PngImage(Args& a);

    // Opens a source as a stream: a byte array through the FileStart /
    // FileSize window, anything else as a file name. False when not opened.
    // The stream reads the source's bytes in place: keep it alive meanwhile.
    bool OpenSource(const Variant& source, ImageStream& stream) const;

    // Canvas state.
    bool ready_ = false;
    int pen_width_ = 1, pen_color_ = 0;
    int font_quality_ = 2;
    std::int32_t vector_size_y_ = 0, vector_size_x_ = 0;
    bool advanced_check_ = false;
    std::int32_t file_size_ = 0, file_start_ = 0;
    int ppi_y_ = 1, ppi_x_ = 1;
    std::int32_t ole_timeout_ = 0;
    std::int32_t last_y_ = -2, last_x_ = -2;
    platform::gdi::Handle target_dc_ = 0, canvas_dc_ = 0, canvas_bmp_ = 0;
    platform::gdi::Handle clip_dc_ = 0, clip_bmp_ = 0;
    platform::gdi::Pen pen_;
    platform::gdi::Brush brush_{true, 0}; // none until one is made
    // The pattern picture of SetBrushImage (rows top first), for "BS_IMAGE".
    std::vector<std::uint32_t> brush_pattern_;
    int brush_pattern_width_ = 0;
    platform::gdi::Font font_;
    std::array<std::array<std::uint8_t, 3>, 256> palette_{};
    int palette_size_ = 2;
    std::uint8_t* bits_ = nullptr;
    int width_ = 0, height_ = 0;
    std::int32_t resolution_ = 0;
    GifTrack track_;

    // The canvas's section, or false without a canvas.
    bool CanvasSection(platform::gdi::Section* out) const;
    // The current drawing target's section (canvas or clipboard).
    bool TargetSection(platform::gdi::Section* out) const;
    // The picture that is not the target (needs both canvas and clipboard).
    bool OtherSection(platform::gdi::Section* out) const;
    // The rectangle of optional arguments a[i..i+3] cut to the canvas; false
    // when it is empty or its corner lies outside.
    bool CanvasRect(const Args& a, std::size_t i, int* x, int* y, int* w, int* h) const;
    // vFile, res: writes a file, or with an empty name gives the bytes as res.
    void WriteOut(const Variant& file, Variant& res, std::vector<std::uint8_t> bytes, bool file_res) const;

private:
    void cleanup();
    bool draw_kind(int kind, ImageStream& s, Args& a, int x, int y);
};

// Identification of a stream (steps 4 to 10): the kind, its size and its
// palette. `ppi` are the pixels per inch for placeable metafiles.
struct Identity {
    int kind = 0;
    std::int32_t width = 0, height = 0;
    Palette palette;
    bool has_palette = false;
};
Identity Identify(ImageStream& s, bool advanced_check, int ppi_x, int ppi_y);

// a × b / c rounded half away from zero (-1 when c is 0), as MulDiv does.
std::int32_t MulDiv(std::int64_t a, std::int64_t b, std::int64_t c);

// Pictures and view objects draw into a section through its pixels.
platform::DrawTarget DrawTargetOf(const platform::gdi::Section& s);
// The picture an object offers, or null.
platform::Picture* PictureOf(const platform::ObjectRef& o);
// A picture's size in HIMETRIC and in pixels at those pixels per inch.
struct PictureExtent {
    std::int32_t himetric_x = 0, himetric_y = 0, x = 0, y = 0;
};
bool PictureSize(platform::Picture* picture, int ppi_x, int ppi_y, PictureExtent* out);

// JPEG and PNG over libjpeg and libpng. Decoders draw into a section at
// (x, y), clipped to it, and read no further than the section needs.
struct JpegCodec {
    static bool ReadSize(ImageStream& s, std::int32_t* width, std::int32_t* height);
    static void Decode(ImageStream& s, const platform::gdi::Section& target, int x, int y);
};
// The JPEG of a rectangle of a section; empty on failure.
std::vector<std::uint8_t> JpegEncode(const platform::gdi::Section& canvas, int x, int y, int w, int h, int quality,
                                     bool progressive, std::uint16_t resolution);
struct PngCodec {
    static bool ReadSize(ImageStream& s, std::int32_t* width, std::int32_t* height, Palette* palette);
    static void Decode(ImageStream& s, const platform::gdi::Section& target, int x, int y, bool transparency,
                       Palette* palette);
    // Indexed with `palette`, or true colour whose transparent colour is
    // that palette entry. `transparent` below 0: none.
    static std::vector<std::uint8_t> Encode(const platform::gdi::Section& canvas, int x, int y, int w, int h,
                                            const Palette& palette, bool indexed, int transparent,
                                            std::int32_t resolution);
};

// Draws every image of a GIF into the section at (x, y); gives the global
// palette's entry count (0: not a GIF), the palette and the images read.
int GifRead(ImageStream& s, const platform::gdi::Section& target, int x, int y, bool transparency, Palette* palette,
            int* frames);

// Draws a BMP of the stream into the context at (x, y); gives its colour table.
struct BmpReader {
    static bool Read(ImageStream& s, platform::gdi::Handle dc, int x, int y, Palette* palette);
};

// The canvas as a BMP file, and as a wireless bitmap.
std::vector<std::uint8_t> BmpBytes(const ImageObject& o);
std::vector<std::uint8_t> WbmpBytes(const ImageObject& o);

// The value of a byte-array result (lower bound 0).
Variant ByteResult(std::vector<std::uint8_t> bytes);

} // namespace glimmerax
