// Playback of Windows metafile records into a context.
#include "platform/gdi/gdi.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <variant>

namespace platform::gdi {
namespace {

enum : std::uint16_t {
    META_EOF = 0x0000,
    META_SETWINDOWORG = 0x020B,
    META_SETWINDOWEXT = 0x020C,
    META_LINETO = 0x0213,
    META_MOVETO = 0x0214,
    META_ELLIPSE = 0x0418,
    META_RECTANGLE = 0x041B,
    META_SETPIXEL = 0x041F,
    META_ROUNDRECT = 0x061C,
    META_ARC = 0x0817,
    META_PIE = 0x081A,
    META_CHORD = 0x0830,
    META_POLYGON = 0x0324,
    META_POLYLINE = 0x0325,
    META_SELECTOBJECT = 0x012D,
    META_DELETEOBJECT = 0x01F0,
    META_CREATEPENINDIRECT = 0x02FA,
    META_CREATEBRUSHINDIRECT = 0x02FC,
    // Records that make an object this player does not draw with: they still
    // take a slot in the object table.
    META_CREATEPALETTE = 0x00F7,
    META_CREATEPATTERNBRUSH = 0x01F9,
    META_CREATEFONTINDIRECT = 0x02FB,
    META_CREATEREGION = 0x06FF,
    META_DIBCREATEPATTERNBRUSH = 0x0142,
};

using Object = std::variant<std::monostate, Pen, Brush>;

// One record's parameters: 16-bit words read within the record only
// (missing words read as 0).
struct Params {
    const std::uint8_t* p;
    std::size_t words;
    std::int32_t s16(std::size_t i) const { return i < words ? std::int16_t(p[2 * i] | p[2 * i + 1] << 8) : 0; }
    std::uint32_t u16(std::size_t i) const { return std::uint32_t(std::uint16_t(s16(i))); }
    // A COLORREF (red, green, blue, 0 in memory) as 0x00RRGGBB.
    std::uint32_t colour(std::size_t i) const { return ((u16(i) & 0xFF) << 16) | (u16(i) & 0xFF00) | (u16(i + 1) & 0xFF); }
};

struct Player {
    Handle dc;
    Viewport vp;
    int wx = 0, wy = 0, wcx = 1, wcy = 1;
    std::vector<Object> objects;
    Pen pen;
    Brush brush;

    int X(std::int64_t x) const { return int(vp.x + (x - wx) * vp.cx / (wcx ? wcx : 1)); }
    int Y(std::int64_t y) const { return int(vp.y + (y - wy) * vp.cy / (wcy ? wcy : 1)); }

    void select()
    {
        SelectPen(dc, pen);
        SelectBrush(dc, brush);
    }

    void add(Object o)
    {
        auto free = std::find_if(objects.begin(), objects.end(), [](const Object& x) { return x.index() == 0; });
        if (free != objects.end()) *free = std::move(o);
        else if (objects.size() < 65535) objects.push_back(std::move(o));
    }

    std::vector<std::pair<int, int>> points(const Params& a) const
    {
        std::vector<std::pair<int, int>> pts;
        const std::size_t n = std::min<std::size_t>(a.u16(0), (a.words - std::min<std::size_t>(a.words, 1)) / 2);
        for (std::size_t i = 0; i < n; ++i) pts.push_back({X(a.s16(1 + 2 * i)), Y(a.s16(2 + 2 * i))});
        return pts;
    }

    void play(std::uint16_t function, const Params& a)
    {
        switch (function) {
        case META_SETWINDOWORG: wy = a.s16(0), wx = a.s16(1); break;
        case META_SETWINDOWEXT: wcy = a.s16(0), wcx = a.s16(1); break;
        case META_MOVETO: MoveToEx(dc, X(a.s16(1)), Y(a.s16(0))); break;
        case META_LINETO: LineTo(dc, X(a.s16(1)), Y(a.s16(0))); break;
        case META_RECTANGLE: Rectangle(dc, X(a.s16(3)), Y(a.s16(2)), X(a.s16(1)), Y(a.s16(0))); break;
        case META_ELLIPSE: Ellipse(dc, X(a.s16(3)), Y(a.s16(2)), X(a.s16(1)), Y(a.s16(0))); break;
        case META_ROUNDRECT:
            RoundRect(dc, X(a.s16(5)), Y(a.s16(4)), X(a.s16(3)), Y(a.s16(2)), X(a.s16(1)) - X(0), Y(a.s16(0)) - Y(0));
            break;
        case META_ARC:
        case META_PIE:
        case META_CHORD:
            ArcShape(dc, X(a.s16(7)), Y(a.s16(6)), X(a.s16(5)), Y(a.s16(4)), X(a.s16(3)), Y(a.s16(2)), X(a.s16(1)), Y(a.s16(0)),
                     function == META_ARC ? ArcKind::Arc : function == META_PIE ? ArcKind::Pie : ArcKind::Chord);
            break;
        case META_SETPIXEL: SetPixel(dc, X(a.s16(3)), Y(a.s16(2)), a.colour(0)); break;
        case META_POLYLINE:
        case META_POLYGON: {
            auto pts = points(a);
            if (pts.empty()) break;
            if (function == META_POLYGON) {
                Polygon(dc, pts, false);
                break;
            }
            MoveToEx(dc, pts[0].first, pts[0].second);
            for (std::size_t i = 1; i < pts.size(); ++i) LineTo(dc, pts[i].first, pts[i].second);
            break;
        }
        case META_CREATEPENINDIRECT: {
            const double scale = std::abs(double(vp.cx) / (wcx ? wcx : 1));
            const int style = a.u16(0) & 0xF;
            add(Pen{style <= PS_INSIDEFRAME ? style : PS_SOLID, std::max(1, int(a.s16(1) * scale)), a.colour(3)});
            break;
        }
        case META_CREATEBRUSHINDIRECT: // style 1 hollow, 2 hatched
            add(Brush{a.u16(0) == 1, a.colour(1), a.u16(0) == 2 && a.u16(3) <= HS_DIAGCROSS ? int(a.u16(3)) : -1});
            break;
        case META_CREATEPALETTE:
        case META_CREATEPATTERNBRUSH:
        case META_CREATEFONTINDIRECT:
        case META_CREATEREGION:
        case META_DIBCREATEPATTERNBRUSH: add(Brush{true, 0}); break; // a slot taken; draws nothing
        case META_SELECTOBJECT: {
            const std::size_t i = a.u16(0);
            if (i >= objects.size()) break;
            if (auto* p = std::get_if<Pen>(&objects[i])) pen = *p;
            if (auto* b = std::get_if<Brush>(&objects[i])) brush = *b;
            select();
            break;
        }
        case META_DELETEOBJECT:
            if (a.u16(0) < objects.size()) objects[a.u16(0)] = std::monostate{};
            break;
        default: break; // not a drawing record
        }
    }
};

} // namespace

bool PlayMetaFile(Handle dc, const std::uint8_t* data, std::size_t size, const Viewport& vp)
{
    Player pl{dc, vp};
    if (!GetTools(dc, &pl.pen, &pl.brush) || size < 18) return false;
    const Pen saved_pen = pl.pen;
    const Brush saved_brush = pl.brush;
    const std::size_t header = std::size_t(data[2] | data[3] << 8) * 2;
    for (std::size_t at = std::max<std::size_t>(header, 18); at + 6 <= size;) {
        const std::uint64_t words = std::uint64_t(data[at]) | std::uint64_t(data[at + 1]) << 8 | std::uint64_t(data[at + 2]) << 16 |
                                    std::uint64_t(data[at + 3]) << 24;
        const std::uint16_t function = std::uint16_t(data[at + 4] | data[at + 5] << 8);
        if (words < 3 || words * 2 > size - at || function == META_EOF) break;
        pl.play(function, Params{data + at + 6, std::size_t(words - 3)});
        at += std::size_t(words) * 2;
    }
    SelectPen(dc, saved_pen);
    SelectBrush(dc, saved_brush);
    return true;
}

} // namespace platform::gdi
