#include "imaging/detail/image_object.h"

#include "imaging/glimmerax.h"
#include "platform/automation/vb_error.h"
#include "platform/text/cp1252.h"

#include <chrono>
#include <thread>

namespace glimmerax {

using platform::DispId;
using platform::InvokeKind;
namespace gdi = platform::gdi;

std::atomic<long> g_alive{0};

namespace {

// The interface's member table. `form` describes each argument: '.' an
// input, 'b' an [out] boolean result, 'l' an [out] number result, 'v' an
// [out] variant result; `required` is how many must be passed.
enum Kind { Method, Prop, PropGet, PropPut };
struct Row {
    DispId id;
    const char* name;
    Kind kind;
    const char* form;
    int required;
};

constexpr Row kMembers[] = {
    {0x01, "CreateImage", Method, "...b", 4},
    {0x02, "SetColor", Method, "....b", 5},
    {0x03, "SetBgColor", Method, ".", 1},
    {0x04, "SetDrawColor", Method, ".", 1},
    {0x05, "FillRect", Method, "....", 4},
    {0x06, "Line", Method, ".....", 4},
    {0x07, "GifImage", Method, "...b", 4},
    {0x08, "CreatePen", Method, "...", 3},
    {0x09, "Rectangle", Method, "....", 4},
    {0x0A, "FrameRect", Method, "....", 4},
    {0x0B, "Ellipse", Method, "....", 4},
    {0x0C, "CreateBrush", Method, "...", 3},
    {0x0D, "SetBkColor", Method, ".", 1},
    {0x0E, "SetBkMode", Method, ".", 1},
    {0x0F, "CreateFont", Method, ".........", 8},
    {0x10, "SetTextColor", Method, ".", 1},
    {0x11, "TextOut", Method, "....", 3},
    {0x12, "Pie", Method, "........", 8},
    {0x13, "Chord", Method, "........", 8},
    {0x14, "RoundRect", Method, "......", 6},
    {0x15, "ExtFloodFill", Method, "....", 4},
    {0x16, "Arc", Method, "........", 8},
    {0x17, "BuildPalette", Method, ".", 1},
    {0x18, "SetTextAlign", Method, "..", 2},
    {0x19, "SetPixel", Method, "...", 3},
    {0x1A, "CheckObject", Method, ".ll", 3},
    {0x1B, "DrawObject", Method, ".......b", 8},
    {0x1C, "WebPalette", Method, "", 0},
    {0x1D, "SetGraphicsMode", Method, ".b", 2},
    {0x1E, "SetTransformation", Method, "......b", 7},
    {0x1F, "InitClipboard", Method, "..b", 3},
    {0x20, "SelectClipboard", Method, ".", 1},
    {0x21, "Copy", Method, ".......b", 8},
    {0x22, "GifPartialImage", Method, ".......b", 8},
    {0x23, "SetFileTime", Method, "....b", 5},
    {0x24, "VBALine", Method, ".....", 4},
    {0x25, "Polyline", Method, "..", 2},
    {0x26, "ReadBinaryFile", Method, "..v", 3},
    {0x27, "WriteBinary", Method, ".....b", 6},
    {0x28, "FindInBinary", Method, ".....v", 6},
    {0x29, "GetFileDimensions", Method, ".llvl", 5},
    {0x2A, "DestroyObject", Method, "", 0},
    {0x2B, "ReadImage", Method, ".v...ll", 7},
    {0x2C, "PolyBezier", Method, ".", 1},
    {0x2D, "ChangePaletteSize", Method, ".", 1},
    {0x2E, "TrackAdd", Method, ".........", 8},
    {0x2F, "TrackPlay", Method, "..b", 3},
    {0x30, "TrackLoop", Method, ".", 1},
    {0x31, "ConvertValue", Method, "...l", 4},
    {0x32, "CaptureScreen", Method, "......", 6},
    {0x33, "Stretch", Method, "..........", 10},
    {0x34, "lastX", PropGet, "", 0},
    {0x35, "lastY", PropGet, "", 0},
    {0x36, "GetTextDimensions", Method, ".ll.", 3},
    {0x37, "Delay", Method, ".", 1},
    {0x38, "JpegImage", Method, ".......l", 8},
    {0x39, "OleTimeout", Prop, "", 0},
    {0x3A, "FileStart", Prop, "", 0},
    {0x3B, "FileSize", Prop, "", 0},
    {0x3C, "AdvancedCheck", Prop, "", 0},
    {0x3D, "VectorSizeX", Prop, "", 0},
    {0x3E, "VectorSizeY", Prop, "", 0},
    {0x3F, "GradientRect", Method, ".......", 6},
    {0x40, "FontSmoothing", PropPut, "", 0},
    {0x41, "BmpImage", Method, ".b", 2},
    {0x42, "SetBrushImage", Method, "....", 4},
    {0x43, "WbmpImage", Method, ".b", 2},
    {0x44, "Resize", Method, ".........", 8},
    {0x45, "GetPixel", Method, "..l", 3},
    {0x46, "ApplyPalette", Method, ".", 0},
    {0x47, "GrayScale", Method, "....", 0},
    {0x48, "TransparentCopy", Method, ".........", 7},
    {0x49, "GetInternalStatus", Method, "v", 1},
    {0x4A, "PngImage", Method, ".......b", 8},
    {0x4B, "Flip", Method, ".....", 0},
    {0x4C, "Invert", Method, "....", 0},
    {0x4D, "Resolution", Prop, "", 0},
    {0x4F, "Curve", Method, "...", 1},
    {0x50, "Blur", Method, ".....", 0},
    {0x51, "Sharpen", Method, ".....", 0},
    {0x52, "Contrast", Method, "......", 1},
    {0x53, "Brightness", Method, ".....", 1},
    {0x54, "GetImageInfo", Method, "..v", 3},
};

const Row* row_of(DispId id)
{
    for (const Row& r : kMembers)
        if (r.id == id) return &r;
    return nullptr;
}

[[noreturn]] void no_member() { throw platform::VbError(438, "", "Object doesn't support this property or method"); }
[[noreturn]] void bad_call() { throw platform::VbError(450, "", "Wrong number of arguments or invalid property assignment"); }

} // namespace

const Variant& arg(const Args& a, std::size_t i)
{
    static const Variant missing = Variant::Missing();
    return i < a.size() ? a[i] : missing;
}

std::int32_t Num(const Variant& v)
{
    if (v.IsMissing()) return 0;
    try {
        return v.ToInt32();
    } catch (const platform::VbError&) {
        return 0;
    }
}

bool Flag(const Variant& v, bool def)
{
    if (v.IsMissing()) return def;
    try {
        return v.ToBool();
    } catch (const platform::VbError&) {
        return false;
    }
}

bool Text(const Variant& v, std::string* out)
{
    if (v.IsMissing() || v.IsObject() || v.IsArray()) return false;
    try {
        *out = v.ToString();
        return true;
    } catch (const platform::VbError&) {
        return false;
    }
}

void SetOut(Args& a, std::size_t i, Variant v)
{
    if (i < a.size() && !a[i].IsMissing()) a[i] = std::move(v);
}

Variant PaletteVariant(const Palette& pal)
{
    if (pal.empty() || pal.size() > 256) return {};
    platform::VariantArray arr(0, std::int32_t(pal.size()), 0, 3);
    for (std::size_t i = 0; i < pal.size(); ++i)
        for (int c = 0; c < 3; ++c) arr.at(std::int32_t(i), c) = Variant(std::int16_t(pal[i][c]));
    return Variant(std::move(arr));
}

Variant ByteResult(std::vector<std::uint8_t> bytes) { return Variant(std::move(bytes), 0); }

platform::ObjectRef CreateImageObject() { return std::make_shared<ImageObject>(); }

ImageObject::ImageObject()
{
    ++g_alive;
    for (auto& e : palette_) e = {255, 255, 255};
    canvas_dc_ = gdi::CreateCompatibleDC();
    if (canvas_dc_) {
        gdi::SetMapMode(canvas_dc_, gdi::MM_TEXT);
        ppi_y_ = gdi::GetDeviceCaps(canvas_dc_, gdi::LOGPIXELSY);
        ppi_x_ = gdi::GetDeviceCaps(canvas_dc_, gdi::LOGPIXELSX);
        target_dc_ = canvas_dc_;
        ready_ = true;
    }
}

ImageObject::~ImageObject()
{
    cleanup();
    --g_alive;
}

// Safe to run twice: every handle is emptied as it is freed.
void ImageObject::cleanup()
{
    if (canvas_dc_) {
        gdi::SelectObject(canvas_dc_, 0);
        gdi::DeleteDC(canvas_dc_);
        canvas_dc_ = 0;
    }
    if (canvas_bmp_) {
        gdi::DeleteObject(canvas_bmp_);
        canvas_bmp_ = 0;
    }
    if (clip_dc_) {
        gdi::SelectObject(clip_dc_, 0);
        gdi::DeleteDC(clip_dc_);
        clip_dc_ = 0;
    }
    if (clip_bmp_) {
        gdi::DeleteObject(clip_bmp_);
        clip_bmp_ = 0;
    }
    brush_pattern_.clear(), brush_pattern_width_ = 0;
    target_dc_ = 0;
    track_ = GifTrack{};
    bits_ = nullptr;
    width_ = height_ = 0;
    ready_ = false;
}

void* ImageObject::QueryInterface(std::string_view iid)
{
    return platform::NameEquals(iid, IID_IGlimmerax) ? this : nullptr;
}

std::optional<DispId> ImageObject::GetIDOfName(std::string_view name) const
{
    for (const Row& r : kMembers)
        if (platform::NameEquals(r.name, name)) return r.id;
    return std::nullopt;
}

Variant ImageObject::Invoke(DispId id, InvokeKind kind, Args& a)
{
    const Row* r = row_of(id);
    if (!r) no_member();
    const bool put = kind == InvokeKind::PropertyPut || kind == InvokeKind::PropertyPutRef;
    if (r->kind != Method) {
        if (put ? r->kind == PropGet : r->kind == PropPut) bad_call();
        if (put && a.size() != 1) bad_call();
        if (!put) {
            if (!a.empty()) bad_call();
            switch (id) {
            case 0x34: return Variant(last_x_);
            case 0x35: return Variant(last_y_);
            case 0x39: return Variant(ole_timeout_);
            case 0x3A: return Variant(file_start_);
            case 0x3B: return Variant(file_size_);
            case 0x3C: return Variant(advanced_check_);
            case 0x3D: return Variant(vector_size_x_);
            case 0x3E: return Variant(vector_size_y_);
            case 0x4D: return Variant(resolution_);
            }
            bad_call();
        }
        const Variant& v = a[0];
        auto positive = [&](std::int32_t n) { return n < 0 ? 0 : n; };
        switch (id) {
        case 0x39: ole_timeout_ = Num(v); break;
        case 0x3A: file_start_ = Num(v); break;
        case 0x3B: file_size_ = positive(Num(v)); break;
        case 0x3C: advanced_check_ = Flag(v); break;
        case 0x3D: vector_size_x_ = positive(Num(v)); break;
        case 0x3E: vector_size_y_ = positive(Num(v)); break;
        case 0x40: {
            std::int32_t q = Num(v);
            font_quality_ = q == 1 ? 3 : q == 2 ? 4 : 2;
            break;
        }
        case 0x4D: resolution_ = positive(Num(v)); break;
        }
        return {};
    }
    if (put) bad_call();
    const std::size_t n = std::char_traits<char>::length(r->form);
    if (a.size() < std::size_t(r->required) || a.size() > n) bad_call();
    // Results start cleared.
    for (std::size_t i = 0; i < a.size(); ++i) {
        char f = r->form[i];
        if (f == 'b') SetOut(a, i, Variant(false));
        else if (f == 'l') SetOut(a, i, Variant(std::int32_t(0)));
    }
    switch (id) {
    case 0x01: CreateImage(a); break;
    case 0x02: {
        // SetColor(ind, r, g, b, res): each channel keeps its low byte.
        std::int32_t i = Num(a[0]);
        if (i < 0 || i >= palette_size_) break;
        palette_[std::size_t(i)] = {std::uint8_t(Num(a[1])), std::uint8_t(Num(a[2])), std::uint8_t(Num(a[3]))};
        a[4] = Variant(true);
        break;
    }
    case 0x07: GifPartialImage(a, true); break;
    case 0x17: BuildPalette(a); break;
    case 0x1C: WebPalette(); break;
    case 0x03: case 0x04: case 0x05: case 0x06: case 0x08: case 0x09: case 0x0A: case 0x0C: case 0x15: case 0x19:
    case 0x1D: case 0x21: case 0x24: case 0x25: case 0x3F: case 0x45: case 0x0B: case 0x2C: case 0x4F: case 0x33:
    case 0x12: case 0x13: case 0x14: case 0x16: case 0x42: case 0x1E: Draw(id, a); break;
    case 0x0D: case 0x0E: case 0x0F: case 0x10: case 0x11: case 0x18: case 0x36: TextMember(id, a); break;
    case 0x1A: CheckObject(a); break;
    case 0x1B: DrawObject(a); break;
    case 0x1F: InitClipboard(a); break;
    case 0x20: SelectClipboard(a); break;
    case 0x22: GifPartialImage(a, false); break;
    case 0x44: Resize(a); break;
    case 0x48: TransparentCopy(a); break;
    case 0x32: CaptureScreen(a); break;
    case 0x47: case 0x4B: case 0x4C: case 0x50: case 0x51: case 0x52: case 0x53: Filter(id, a); break;
    case 0x2D: ChangePaletteSize(a); break;
    case 0x46: ApplyPalette(a); break;
    case 0x26: ReadBinaryFile(a); break;
    case 0x27: WriteBinary(a); break;
    case 0x28: FindInBinary(a); break;
    case 0x29: GetFileDimensions(a); break;
    case 0x2A: DestroyObject(); break;
    case 0x23: SetFileTime(a); break;
    case 0x2B: ReadImage(a); break;
    case 0x2E: TrackAdd(a); break;
    case 0x2F: TrackPlay(a); break;
    case 0x30:
        track_.loop = true;
        track_.loop_count = std::uint16_t(Num(a[0]));
        break;
    case 0x31: ConvertValue(a); break;
    case 0x37: {
        // Delay: sleeps the given seconds.
        std::int32_t s = Num(a[0]);
        if (s > 0) std::this_thread::sleep_for(std::chrono::seconds(s));
        break;
    }
    case 0x41: BmpImage(a); break;
    case 0x43: WbmpImage(a); break;
    case 0x38: JpegImage(a); break;
    case 0x49: GetInternalStatus(a); break;
    case 0x4A: PngImage(a); break;
    case 0x54: GetImageInfo(a); break;
    }
    return {};
}

void ImageObject::CreateImage(Args& a)
{
    if (!ready_) return;
    std::int32_t w = std::max(1, Num(a[0])), h = std::max(1, Num(a[1]));
    std::int32_t nc = Num(a[2]);
    if (nc < 2 || nc > 256) nc = 2;
    int size = 2;
    while (size < nc) size *= 2;
    std::uint8_t* bits = nullptr;
    gdi::Handle bmp = gdi::CreateDIBSection(w, h, &bits);
    if (!bmp) throw platform::OutOfMemory();
    gdi::SelectObject(canvas_dc_, bmp);
    if (canvas_bmp_) gdi::DeleteObject(canvas_bmp_);
    target_dc_ = canvas_dc_;
    palette_size_ = size;
    canvas_bmp_ = bmp;
    bits_ = bits;
    width_ = w;
    height_ = h;
    a[3] = Variant(true);
}

void ImageObject::GetInternalStatus(Args& a)
{
    std::vector<std::uint8_t> s(12, 0);
    auto le16 = [&](int at, std::uint32_t v) { s[at] = std::uint8_t(v), s[at + 1] = std::uint8_t(v >> 8); };
    // The target's size and handles: the clipboard while it is selected.
    gdi::Section t;
    const gdi::Handle bmp = target_dc_ == clip_dc_ && clip_dc_ ? clip_bmp_ : canvas_bmp_;
    if (!gdi::GetSection(bmp, &t)) t.width = width_, t.height = height_;
    le16(0, std::uint32_t(t.width));
    le16(2, std::uint32_t(t.height));
    le16(4, target_dc_);
    le16(6, target_dc_ >> 16);
    le16(8, bmp);
    le16(10, bmp >> 16);
    a[0] = ByteResult(std::move(s));
}

void ImageObject::DestroyObject() { cleanup(); }

bool ImageObject::OpenSource(const Variant& source, ImageStream& stream) const
{
    if (const auto* bytes = source.BytesPtr()) {
        // The window: from FileStart to the end, or FileSize bytes of it.
        // A start outside the array gives an empty window, which is not read.
        std::int64_t start = file_start_;
        std::int64_t rest = std::int64_t(bytes->size()) - start;
        if (start < 0 || rest <= 0) return false;
        if (file_size_ > 0 && file_size_ < rest) rest = file_size_;
        stream.OpenMemory(bytes->data() + start, std::size_t(rest));
        return true;
    }
    std::string name;
    if (!Text(source, &name) || name.empty()) return false;
    return stream.OpenFile(name);
}

} // namespace glimmerax

namespace glimmerax {

bool ImageObject::CanvasSection(gdi::Section* out) const { return bits_ && gdi::GetSection(canvas_bmp_, out); }

bool ImageObject::CanvasRect(const Args& a, std::size_t i, int* x, int* y, int* w, int* h) const
{
    auto get = [&](std::size_t k, std::int32_t def) { return arg(a, i + k).IsMissing() ? def : Num(arg(a, i + k)); };
    *x = std::max(0, get(0, 0));
    *y = std::max(0, get(1, 0));
    if (*x >= width_ || *y >= height_) return false;
    *w = std::min<std::int64_t>(get(2, width_), width_ - *x);
    *h = std::min<std::int64_t>(get(3, height_), height_ - *y);
    return *w >= 1 && *h >= 1;
}

void ImageObject::WriteOut(const Variant& file, Variant& res, std::vector<std::uint8_t> bytes, bool file_res) const
{
    std::string name;
    if (!Text(file, &name)) return;
    if (name.empty()) res = ByteResult(std::move(bytes));
    else if (SaveFile(name, bytes.data(), bytes.size()) && file_res) res = Variant(true);
}

} // namespace glimmerax
