// Drawing on the target: the corner rule, pens, lines, pixels, flood fills,
// polylines, gradients and copies between the pictures.
#include "support.h"

#include <algorithm>

using namespace imaging_test;

namespace {

// A white 12 × 10 canvas with entries 0 black, 1 red, 2 green, 3 white.
platform::ObjectRef board()
{
    auto o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {L(12), L(10), L(4), out()});
    const int rgb[4][3] = {{0, 0, 0}, {255, 0, 0}, {0, 255, 0}, {255, 255, 255}};
    for (int i = 0; i < 4; ++i) call(*o, "SetColor", {L(i), L(rgb[i][0]), L(rgb[i][1]), L(rgb[i][2]), out()});
    call(*o, "SetBgColor", {L(3)});
    call(*o, "FillRect", {L(0), L(0), L(11), L(9)});
    return o;
}

// The pixels of colour `c` as a picture of '#' and '.'.
std::string marks(const Pixels& p, std::uint32_t c)
{
    std::string s;
    for (int y = 0; y < p.h; ++y) {
        for (int x = 0; x < p.w; ++x) s += p.at(x, y) == c ? '#' : '.';
        s += '\n';
    }
    return s;
}

Variant numbers(std::vector<std::int32_t> v)
{
    platform::VariantArray a(0, std::int32_t(v.size()));
    for (std::size_t i = 0; i < v.size(); ++i) a.at(std::int32_t(i)) = Variant(v[i]);
    return Variant(std::move(a));
}

} // namespace

TEST(Drawing, CornerRuleShapesAndPens)
{
    auto o = board();
    call(*o, "SetBgColor", {L(1)});
    call(*o, "FillRect", {L(5), L(5), L(1), L(1)});
    call(*o, "FillRect", {L(3), L(1), L(3), L(9)}); // x equal, y differ: nothing
    EXPECT_EQ(marks(canvas(*o), 0xFF0000),
              "............\n.#####......\n.#####......\n.#####......\n.#####......\n.#####......\n"
              "............\n............\n............\n............\n");
    o = board();
    call(*o, "SetDrawColor", {L(0)});
    call(*o, "Rectangle", {L(2), L(2), L(8), L(6)});
    EXPECT_EQ(marks(canvas(*o), 0),
              "............\n............\n..#######...\n..#.....#...\n..#.....#...\n..#.....#...\n"
              "..#######...\n............\n............\n............\n");
    o = board();
    call(*o, "CreatePen", {Variant("PS_SOLID"), L(3), L(1)});
    call(*o, "Line", {L(1), L(4), L(9), L(4)});
    Pixels p = canvas(*o);
    EXPECT_EQ(marks(p, 0xFF0000).substr(13 * 2, 13 * 5), "............\n.########...\n.#########..\n.########...\n............\n");
}

TEST(Drawing, PixelsFillsPolylinesAndGradients)
{
    auto o = board();
    call(*o, "SetPixel", {L(3), L(4), L(2)});
    Args r = call(*o, "GetPixel", {L(3), L(4), out()});
    EXPECT_EQ(r[2].ToArray().at(1).ToInt32(), 255);
    EXPECT_FALSE(call(*o, "GetPixel", {L(12), L(0), out()})[2].IsArray());
    // A black frame, then a border fill inside it and a surface fill outside.
    call(*o, "SetDrawColor", {L(0)});
    call(*o, "Polyline", {Variant(""), numbers({1, 1, 6, 1, 6, 6, 1, 6, 1, 1, 99})});
    call(*o, "SetBgColor", {L(1)});
    call(*o, "ExtFloodFill", {L(3), L(3), L(0), Variant("")});
    call(*o, "SetBgColor", {L(2)});
    call(*o, "ExtFloodFill", {L(10), L(8), L(3), Variant("FLOODFILLSURFACE")});
    Pixels p = canvas(*o);
    EXPECT_EQ(marks(p, 0xFF0000),
              "............\n............\n..####......\n..####......\n..####......\n..####......\n"
              "............\n............\n............\n............\n");
    EXPECT_EQ(p.at(0, 0), 0x00FF00u);
    EXPECT_EQ(p.at(1, 1), 0u);
    // 7 numbers are 3 points: (0, 8)-(4, 8)-(4, 6); each line stops before its end.
    o = board();
    call(*o, "SetDrawColor", {L(0)});
    call(*o, "Polyline", {Variant(""), numbers({0, 8, 4, 8, 4, 6, 11})});
    EXPECT_EQ(marks(canvas(*o), 0).substr(13 * 6), "............\n....#.......\n#####.......\n............\n");

    // Bands of c1 + i × (c2 - c1) / n over n = 11 columns.
    o = board();
    call(*o, "GradientRect", {L(0), L(0), L(10), L(9), L(0), L(1), Variant(true)});
    p = canvas(*o);
    for (int i = 0; i < 10; ++i) EXPECT_EQ(p.at(i, 5), std::uint32_t(i * 255 / 11) << 16) << i;
    EXPECT_EQ(p.at(10, 9), 0xFF0000u);
    EXPECT_EQ(p.at(11, 0), 0xFFFFFFu);
}

TEST(Drawing, CopiesBetweenThePictures)
{
    auto o = board();
    EXPECT_FALSE(call(*o, "Copy", {L(0), L(0), L(4), L(4), L(0), L(0), Variant(""), out()})[7].ToBool());
    call(*o, "InitClipboard", {L(6), L(6), out()});
    call(*o, "SetPixel", {L(2), L(3), L(1)});
    EXPECT_TRUE(call(*o, "Copy", {L(1), L(1), L(4), L(4), L(1), L(2), Variant(""), out()})[7].ToBool());
    call(*o, "SelectClipboard", {Variant(true)});
    EXPECT_EQ(call(*o, "GetPixel", {L(2), L(2), out()})[2].ToArray().at(0).ToInt32(), 255);
    EXPECT_EQ(call(*o, "GetPixel", {L(2), L(2), out()})[2].ToArray().at(1).ToInt32(), 0);
    // SRCINVERT back onto the white canvas: red xor white is cyan.
    call(*o, "Copy", {L(0), L(0), L(6), L(6), L(0), L(0), Variant("SRCINVERT"), out()});
    call(*o, "SelectClipboard", {Variant(false)});
    EXPECT_EQ(canvas(*o).at(2, 2), 0x00FFFFu);
    EXPECT_EQ(canvas(*o).at(3, 3), 0u);        // white xor white
    EXPECT_EQ(canvas(*o).at(0, 0), 0xFFFFFFu); // black xor white
}

namespace {

// A placeable metafile of 20 × 10 units at 96 units an inch: window 20 × 10,
// a hollow pen, a solid brush of `rgb` and one rectangle over the window;
// `extra` records go before the end record.
Bytes metafile(std::uint32_t rgb, const Bytes& extra = {})
{
    Bytes recs;
    auto w16 = [](Bytes& b, int v) { b.push_back(std::uint8_t(v)), b.push_back(std::uint8_t(v >> 8)); };
    auto rec = [&](int function, std::vector<int> params) {
        std::uint32_t words = 3 + std::uint32_t(params.size());
        w16(recs, int(words & 0xFFFF)), w16(recs, int(words >> 16)), w16(recs, function);
        for (int p : params) w16(recs, p);
    };
    rec(0x020B, {0, 0});                                                          // SETWINDOWORG
    rec(0x020C, {10, 20});                                                        // SETWINDOWEXT
    rec(0x02FC, {0, int((rgb >> 16) | (rgb & 0xFF00)), int(rgb & 0xFF), 0});      // CREATEBRUSHINDIRECT
    rec(0x012D, {0});                                                             // SELECTOBJECT
    rec(0x02FA, {5, 0, 0, 0, 0});                                                 // CREATEPENINDIRECT, PS_NULL
    rec(0x012D, {1});
    rec(0x041B, {10, 20, 0, 0});                                                  // RECTANGLE
    recs.insert(recs.end(), extra.begin(), extra.end());
    rec(0, {});                                                                   // EOF
    Bytes m{0xD7, 0xCD, 0xC6, 0x9A, 0, 0};
    for (int v : {0, 0, 19, 9, 96, 0, 0, 0}) w16(m, v);
    std::uint32_t total = 9 + std::uint32_t(recs.size() / 2);
    for (int v : {1, 9, 0x300, int(total & 0xFFFF), int(total >> 16), 2, 8, 0, 0}) w16(m, v);
    m.insert(m.end(), recs.begin(), recs.end());
    return m;
}


} // namespace

TEST(Drawing, PlaceableMetafiles)
{
    auto o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {L(120), L(130), L(2), out()});
    Bytes m = metafile(0x123456);
    EXPECT_EQ(call(*o, "ReadImage", {Variant(m), out(), L(48), L(96), missing(), out(), out()})[6].ToInt32(), 0);
    put(*o, "AdvancedCheck", Variant(true));
    EXPECT_EQ(call(*o, "ReadImage", {Variant(m), out(), L(48), L(96), missing(), out(), out()})[6].ToInt32(), 4);
    Pixels p = canvas(*o);
    EXPECT_EQ(p.at(50, 100), 0x123456u); // MulDiv(48, 100, 96), MulDiv(96, 100, 96)
    EXPECT_EQ(p.at(69, 109), 0x123456u);
    EXPECT_EQ(p.at(70, 100), 0u);
    EXPECT_EQ(p.at(50, 110), 0u);
    EXPECT_EQ(p.at(49, 100), 0u);
    put(*o, "VectorSizeX", L(40));
    put(*o, "VectorSizeY", L(20));
    call(*o, "ReadImage", {Variant(metafile(0xABCDEF)), out(), L(0), L(0), missing(), out(), out()});
    p = canvas(*o);
    EXPECT_EQ(p.at(39, 19), 0xABCDEFu);
    EXPECT_EQ(p.at(40, 19), 0u);
    // A vertical hatch (white gaps) and a pie over the right half, at 2 × 2.
    Bytes extra;
    for (int v : {7, 0, 0x02FC, 2, 0x2211, 0x00, 1, 4, 0, 0x012D, 2, 11, 0, 0x081A, 0, 20, 20, 20, 10, 20, 0, 0})
        extra.push_back(std::uint8_t(v)), extra.push_back(std::uint8_t(v >> 8));
    call(*o, "ReadImage", {Variant(metafile(0xABCDEF, extra)), out(), L(0), L(0), missing(), out(), out()});
    p = canvas(*o);
    EXPECT_EQ(p.at(32, 10), 0x112200u);
    EXPECT_EQ(p.at(33, 10), 0xFFFFFFu);
    EXPECT_EQ(p.at(5, 10), 0xABCDEFu);
    // A record of 2 words stops the playback; a record claiming more than is
    // left stops it too; a length that differs from the header draws nothing.
    o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {L(30), L(30), L(2), out()});
    put(*o, "AdvancedCheck", Variant(true));
    Bytes rect2{7, 0, 0, 0, 0x1B, 4, 30, 0, 30, 0, 20, 0, 20, 0};
    for (Bytes bad : {Bytes{2, 0, 0, 0, 0x1B, 4}, Bytes{0xFF, 0xFF, 0, 0, 0x1B, 4}}) {
        bad.insert(bad.end(), rect2.begin(), rect2.end());
        call(*o, "ReadImage", {Variant(metafile(0x010101, bad)), out(), L(0), L(0), missing(), out(), out()});
        EXPECT_EQ(canvas(*o).at(5, 5), 0x010101u);
        EXPECT_EQ(canvas(*o).at(25, 25), 0u);
    }
    m = metafile(0x020202);
    m.push_back(0), m.push_back(0);
    EXPECT_EQ(call(*o, "ReadImage", {Variant(m), out(), L(0), L(0), missing(), out(), out()})[6].ToInt32(), 0);
    EXPECT_EQ(canvas(*o).at(5, 5), 0x010101u);
}

TEST(Drawing, FarLinesAreCutToThePicture)
{
    auto o = board();
    call(*o, "SetDrawColor", {L(1)});
    call(*o, "Line", {L(-2000000000), L(3), L(2000000000), L(3)});
    call(*o, "Polyline", {Variant(""), numbers({5, -2000000000, 5, 2000000000})});
    Pixels p = canvas(*o);
    EXPECT_EQ(marks(p, 0xFF0000).substr(13 * 3, 13), "############\n");
    EXPECT_EQ(p.at(5, 0), 0xFF0000u);
    EXPECT_EQ(p.at(5, 9), 0xFF0000u);
}

TEST(Drawing, TextStaysInItsMeasuredBox)
{
    for (bool smooth : {false, true}) {
        auto o = glimmerax::CreateImageObject();
        call(*o, "CreateImage", {L(80), L(40), L(4), out()});
        call(*o, "SetColor", {L(1), L(255), L(0), L(0), out()});
        call(*o, "SetColor", {L(3), L(255), L(255), L(255), out()});
        call(*o, "SetBgColor", {L(3)});
        call(*o, "FillRect", {L(0), L(0), L(79), L(39)});
        put(*o, "FontSmoothing", L(smooth ? 0 : 1));
        call(*o, "CreateFont", {Variant("DejaVu Sans"), L(0), L(-14), L(0), Variant("FW_BOLD"), Variant(false), Variant(false), Variant(false), missing()});
        call(*o, "SetTextColor", {L(1)});
        call(*o, "SetBkMode", {Variant("TRANSPARENT")});
        Args d = call(*o, "GetTextDimensions", {Variant("Hag"), out(), out(), missing()});
        const int w = d[1].ToInt32(), h = d[2].ToInt32();
        EXPECT_GT(w, 15);
        EXPECT_GT(h, 12);
        EXPECT_EQ(o->Invoke(platform::IdOfName(*o, "lastX"), platform::InvokeKind::PropertyGet, *std::make_unique<Args>()).ToInt32(), w);
        call(*o, "TextOut", {L(5), L(6), Variant("Hag"), missing()});
        Pixels p = canvas(*o);
        int inked = 0, outside = 0, mixed = 0;
        for (int y = 0; y < 40; ++y)
            for (int x = 0; x < 80; ++x) {
                std::uint32_t c = p.at(x, y);
                if (c == 0xFFFFFF) continue;
                ++inked;
                outside += x < 5 || x >= 5 + w || y < 6 || y >= 6 + h;
                mixed += c != 0xFF0000;
            }
        EXPECT_GT(inked, 20);
        EXPECT_EQ(outside, 0);
        if (smooth) EXPECT_GT(mixed, 0);
        else EXPECT_EQ(mixed, 0); // FontSmoothing 1: the text colour only
        // Opaque mode fills the box; centred alignment moves it by half its width.
        call(*o, "SetBkMode", {Variant("OPAQUE")});
        call(*o, "SetColor", {L(2), L(0), L(0), L(0), out()});
        call(*o, "SetBkColor", {L(2)});
        call(*o, "SetTextAlign", {Variant("TA_CENTER"), Variant("TA_TOP")});
        call(*o, "TextOut", {L(40), L(20), Variant("Hag"), missing()});
        p = canvas(*o);
        EXPECT_EQ(p.at(40 - w / 2, 20), 0u);
        EXPECT_EQ(p.at(40 - w / 2 - 1, 20), 0xFFFFFFu);
    }
    // A code page number: the text's system code-page byte C6 read as code page 1251.
    auto o = glimmerax::CreateImageObject();
    call(*o, "CreateImage", {L(40), L(20), L(2), out()});
    int w1 = call(*o, "GetTextDimensions", {Variant("\xC3\x86"), out(), out(), L(1251)})[1].ToInt32();
    EXPECT_GT(w1, 0);
}

TEST(Drawing, PolygonsEllipsesAndCurves)
{
    auto o = board();
    call(*o, "SetDrawColor", {L(0)});
    call(*o, "SetBgColor", {L(1)});
    call(*o, "Polyline", {Variant("ALTERNATE"), numbers({1, 1, 6, 1, 6, 5, 1, 5})});
    Pixels p = canvas(*o);
    EXPECT_EQ(marks(p, 0xFF0000).substr(13 * 2, 13 * 2), "..####......\n..####......\n");
    EXPECT_EQ(marks(p, 0).substr(13, 13), ".######.....\n");
    // Inside its box: x 2..9, y 1..8.
    o = board();
    call(*o, "SetDrawColor", {L(0)});
    call(*o, "SetBgColor", {L(1)});
    call(*o, "Ellipse", {L(2), L(1), L(9), L(8)});
    p = canvas(*o);
    int outside = 0;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 12; ++x) outside += p.at(x, y) != 0xFFFFFF && (x < 2 || x > 9 || y < 1 || y > 8);
    EXPECT_EQ(outside, 0);
    EXPECT_EQ(p.at(5, 4), 0xFF0000u);
    EXPECT_EQ(p.at(5, 1), 0u);
    EXPECT_EQ(p.at(2, 1), 0xFFFFFFu);
    // A curve of two points is a straight line; a curve of three passes through its anchors.
    o = board();
    call(*o, "SetDrawColor", {L(0)});
    call(*o, "Curve", {numbers({0, 2, 8, 2}), missing(), missing()});
    EXPECT_EQ(marks(canvas(*o), 0).substr(13 * 2, 13), "########....\n");
    call(*o, "Curve", {numbers({0, 9, 5, 5, 11, 9}), missing(), missing()});
    p = canvas(*o);
    EXPECT_EQ(p.at(0, 9), 0u);
    EXPECT_EQ(p.at(5, 5), 0u);
}

TEST(Drawing, StretchesIntoTheOtherPicture)
{
    auto o = picture(4, 2, {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF, 0, 0x808080, 0x102030, 0x405060});
    call(*o, "InitClipboard", {L(8), L(4), out()});
    call(*o, "Stretch", {L(0), L(0), L(8), L(4), L(0), L(0), L(4), L(2), Variant(""), Variant("COLORONCOLOR")});
    call(*o, "SelectClipboard", {Variant(true)});
    auto px = [&](int x, int y) {
        Args r = call(*o, "GetPixel", {L(x), L(y), out()});
        const auto& a = r[2].ToArray();
        return std::uint32_t(a.at(0).ToInt32()) << 16 | a.at(1).ToInt32() << 8 | a.at(2).ToInt32();
    };
    EXPECT_EQ(px(0, 0), 0xFF0000u);
    EXPECT_EQ(px(1, 1), 0xFF0000u);
    EXPECT_EQ(px(2, 0), 0x00FF00u);
    EXPECT_EQ(px(7, 3), 0x405060u);
    // Halving with HALFTONE averages each 2 × 2 block, back onto the canvas:
    // from x 1 the first block holds two red and two green pixels.
    call(*o, "Stretch", {L(0), L(0), L(2), L(1), L(1), L(0), L(4), L(2), missing(), missing()});
    call(*o, "SelectClipboard", {Variant(false)});
    EXPECT_EQ(px(0, 0), 0x7F7F00u);
}

TEST(Drawing, AntialiasedLines)
{
    auto o = board();
    call(*o, "SetDrawColor", {L(0)});
    call(*o, "Line", {L(0), L(2), L(11), L(2), Variant(true)}); // horizontal: a plain line
    EXPECT_EQ(marks(canvas(*o), 0).substr(13 * 2, 13), "############\n");
    call(*o, "Line", {L(0), L(4), L(10), L(9), Variant(true)});
    Pixels p = canvas(*o);
    EXPECT_EQ(p.at(0, 4), 0u);
    EXPECT_EQ(p.at(10, 9), 0u);
    // (1, 4.5): half on row 4, half on row 5.
    EXPECT_NEAR(int(p.at(1, 5) & 255), 128, 2);
    int grey = 0;
    for (std::uint32_t c : p.px) grey += c != 0 && c != 0xFFFFFF;
    EXPECT_GT(grey, 5);
}

// Arcs, chords, pies and rounded rectangles stay inside their box (x 1..10,
// y 1..8 with both corners included) and fill only their own side.
TEST(Drawing, ArcsChordsPiesAndRoundedRectangles)
{
    auto shape = [](const char* name, std::vector<Variant> args) {
        auto o = board();
        call(*o, "SetDrawColor", {L(0)});
        call(*o, "SetBgColor", {L(1)});
        call(*o, name, args);
        return canvas(*o);
    };
    auto outside = [](const Pixels& p) {
        int n = 0;
        for (int y = 0; y < p.h; ++y)
            for (int x = 0; x < p.w; ++x) n += p.at(x, y) != 0xFFFFFF && (x < 1 || x > 10 || y < 1 || y > 8);
        return n;
    };
    // The right half (from the bottom ray counter-clockwise to the top one).
    Pixels chord = shape("Chord", {L(1), L(1), L(10), L(8), L(5), L(11), L(5), L(0)});
    EXPECT_EQ(outside(chord), 0);
    EXPECT_EQ(chord.at(8, 4), 0xFF0000u);
    EXPECT_EQ(chord.at(3, 4), 0xFFFFFFu);
    EXPECT_EQ(chord.at(10, 4), 0u);
    // A quarter pie: top-right, with the pen through the centre.
    Pixels pie = shape("Pie", {L(1), L(1), L(10), L(8), L(11), L(4), L(5), L(0)});
    EXPECT_EQ(outside(pie), 0);
    EXPECT_EQ(pie.at(8, 3), 0xFF0000u);
    EXPECT_EQ(pie.at(3, 6), 0xFFFFFFu);
    EXPECT_EQ(pie.at(8, 6), 0xFFFFFFu);
    // An arc has no fill, and its end point ray stays bare.
    Pixels arc = shape("Arc", {L(1), L(1), L(10), L(8), L(5), L(11), L(5), L(0)});
    EXPECT_EQ(outside(arc), 0);
    EXPECT_EQ(arc.at(10, 4), 0u);
    EXPECT_EQ(arc.at(1, 4), 0xFFFFFFu);
    EXPECT_EQ(std::count(arc.px.begin(), arc.px.end(), 0xFF0000u), 0);
    // Rounded corners leave the box's corners white; the sides are straight.
    Pixels round = shape("RoundRect", {L(1), L(1), L(10), L(8), L(8), L(8)});
    EXPECT_EQ(outside(round), 0);
    EXPECT_EQ(round.at(1, 1), 0xFFFFFFu);
    EXPECT_EQ(round.at(10, 8), 0xFFFFFFu);
    EXPECT_EQ(round.at(5, 1), 0u);
    EXPECT_EQ(round.at(10, 4), 0u);
    EXPECT_EQ(round.at(1, 4), 0u);
    EXPECT_EQ(round.at(5, 4), 0xFF0000u);
}

// Hatches repeat every eight pixels from the origin, their gaps in the
// background colour (opaque) or untouched (transparent); a pattern brush
// tiles the picture SetBrushImage took.
TEST(Drawing, HatchedAndPatternBrushes)
{
    auto o = board();
    call(*o, "SetBkColor", {L(2)});
    call(*o, "CreateBrush", {Variant("BS_HATCHED"), L(0), Variant("HS_VERTICAL")});
    call(*o, "FillRect", {L(0), L(0), L(11), L(1)});
    EXPECT_EQ(marks(canvas(*o), 0).substr(0, 13), "#.......#...\n");
    EXPECT_EQ(marks(canvas(*o), 0x00FF00).substr(0, 13), ".#######.###\n");
    call(*o, "SetBkMode", {Variant("TRANSPARENT")});
    call(*o, "CreateBrush", {Variant("BS_HATCHED"), L(1), Variant("HS_FDIAGONAL")});
    call(*o, "FillRect", {L(0), L(2), L(11), L(3)});
    Pixels p = canvas(*o);
    EXPECT_EQ(marks(p, 0xFF0000).substr(13 * 2, 26), "..#.......#.\n...#.......#\n");
    EXPECT_EQ(p.at(0, 2), 0xFFFFFFu);
    call(*o, "CreateBrush", {Variant("BS_HATCHED"), L(1), Variant("HS_BDIAGONAL")});
    call(*o, "FillRect", {L(0), L(5), L(3), L(6)});
    EXPECT_EQ(marks(canvas(*o), 0xFF0000).substr(13 * 5, 13), "..#.........\n");
    // A 2 × 1 pattern of red and green.
    o = board();
    call(*o, "SetPixel", {L(0), L(0), L(1)});
    call(*o, "SetPixel", {L(1), L(0), L(2)});
    call(*o, "SetBrushImage", {L(0), L(0), L(2), L(1)});
    call(*o, "CreateBrush", {Variant("BS_IMAGE"), L(0), Variant("")});
    call(*o, "FillRect", {L(0), L(3), L(5), L(4)});
    EXPECT_EQ(marks(canvas(*o), 0xFF0000).substr(13 * 3, 26), "#.#.#.......\n#.#.#.......\n");
    EXPECT_EQ(canvas(*o).at(3, 4), 0x00FF00u);
    // Without a pattern, BS_IMAGE is solid.
    o = board();
    call(*o, "CreateBrush", {Variant("BS_IMAGE"), L(1), Variant("")});
    call(*o, "FillRect", {L(0), L(0), L(1), L(1)});
    EXPECT_EQ(marks(canvas(*o), 0xFF0000).substr(0, 13), "##..........\n");
}

// Dotted pens: three on, three off, the gaps in the background colour; a
// wide dashed pen draws solid.
TEST(Drawing, DashedPens)
{
    auto o = board();
    call(*o, "SetBkColor", {L(2)});
    call(*o, "CreatePen", {Variant("PS_DOT"), L(1), L(0)});
    call(*o, "Line", {L(0), L(2), L(11), L(2)});
    EXPECT_EQ(marks(canvas(*o), 0).substr(13 * 2, 13), "###...###..#\n");
    EXPECT_EQ(marks(canvas(*o), 0x00FF00).substr(13 * 2, 13), "...###...##.\n");
    call(*o, "SetBkMode", {Variant("TRANSPARENT")});
    call(*o, "CreatePen", {Variant("PS_DASHDOT"), L(1), L(1)});
    call(*o, "Line", {L(0), L(4), L(11), L(4)});
    EXPECT_EQ(marks(canvas(*o), 0xFFFFFF).substr(13 * 4, 13), ".........##.\n");
    call(*o, "CreatePen", {Variant("PS_DASH"), L(2), L(0)});
    call(*o, "Line", {L(0), L(7), L(10), L(7)});
    EXPECT_EQ(marks(canvas(*o), 0).substr(13 * 7, 13), "###########.\n");
}

// A quarter turn in advanced mode: x' = 11 − y, y' = x.
TEST(Drawing, WorldTransformations)
{
    auto o = board();
    call(*o, "SetDrawColor", {L(0)});
    EXPECT_FALSE(call(*o, "SetTransformation", {L(0), L(1), L(-1), L(0), L(11), L(0), out()})[6].ToBool());
    EXPECT_TRUE(call(*o, "SetGraphicsMode", {Variant("GM_ADVANCED"), out()})[1].ToBool());
    EXPECT_TRUE(call(*o, "SetTransformation", {L(0), L(1), L(-1), L(0), L(11), L(0), out()})[6].ToBool());
    EXPECT_FALSE(call(*o, "SetTransformation", {L(0), L(0), L(0), L(0), L(0), L(0), out()})[6].ToBool());
    call(*o, "Line", {L(0), L(0), L(5), L(0)});
    call(*o, "SetBgColor", {L(1)});
    call(*o, "FillRect", {L(1), L(1), L(3), L(2)});
    Pixels p = canvas(*o);
    for (int y = 0; y < 5; ++y) EXPECT_EQ(p.at(11, y), 0u) << y;
    EXPECT_EQ(p.at(11, 5), 0xFFFFFFu);
    EXPECT_EQ(p.at(9, 1), 0xFF0000u);
    EXPECT_EQ(p.at(9, 2), 0xFF0000u);
    EXPECT_EQ(std::count(p.px.begin(), p.px.end(), 0xFF0000u), 2);
    // Back in compatible mode the transformation is gone.
    call(*o, "SetGraphicsMode", {Variant(""), out()});
    call(*o, "SetPixel", {L(0), L(9), L(0)});
    EXPECT_EQ(canvas(*o).at(0, 9), 0u);
}

namespace {

std::uint32_t pixel(platform::Dispatch& o, int x, int y)
{
    Args r = call(o, "GetPixel", {L(x), L(y), out()});
    if (!r[2].IsArray()) return 0xFF000000u; // outside the target
    const auto& a = r[2].ToArray();
    return std::uint32_t(a.at(0).ToInt32()) << 16 | std::uint32_t(a.at(1).ToInt32()) << 8 | std::uint32_t(a.at(2).ToInt32());
}

void turn(platform::Dispatch& o, double m11, double m12, double m21, double m22, double dx, double dy)
{
    call(o, "SetGraphicsMode", {Variant("GM_ADVANCED"), out()});
    ASSERT_TRUE(call(o, "SetTransformation", {Variant(m11), Variant(m12), Variant(m21), Variant(m22), Variant(dx), Variant(dy), out()})[6].ToBool());
}

} // namespace

// Copies land through the destination's transformation; a pixel of logical
// (x, y) covers the device pixel that the unit square at (x, y) maps onto.
TEST(Drawing, CopiesStretchesAndPixelsFollowTheTransformation)
{
    auto o = board();
    call(*o, "SetPixel", {L(0), L(0), L(1)});
    call(*o, "SetPixel", {L(2), L(1), L(2)});
    call(*o, "InitClipboard", {L(12), L(12), out()});
    call(*o, "SelectClipboard", {Variant(true)});
    turn(*o, 0, 1, -1, 0, 11, 0); // a quarter turn: device (10 - y, x)
    call(*o, "SelectClipboard", {Variant(false)});
    EXPECT_TRUE(call(*o, "Copy", {L(0), L(0), L(3), L(2), L(0), L(0), Variant(""), out()})[7].ToBool());
    call(*o, "SelectClipboard", {Variant(true)});
    // Read through the turn: the point (0, 1) is the device pixel (10, 0).
    EXPECT_EQ(pixel(*o, 0, 1), 0xFF0000u);
    // A turned source is refused, as GDI refuses it.
    EXPECT_FALSE(call(*o, "Copy", {L(0), L(0), L(2), L(2), L(0), L(0), Variant(""), out()})[7].ToBool());
    call(*o, "SetGraphicsMode", {Variant(""), out()});
    int lit = 0;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 12; ++x) lit += pixel(*o, x, y) != 0;
    EXPECT_EQ(lit, 6);
    EXPECT_EQ(pixel(*o, 10, 0), 0xFF0000u);
    EXPECT_EQ(pixel(*o, 9, 2), 0x00FF00u);
    EXPECT_EQ(pixel(*o, 9, 0), 0xFFFFFFu);

    // A stretch onto the canvas scaled by two: [1, 3) x [1, 2) covers [2, 6) x [2, 4).
    call(*o, "SelectClipboard", {Variant(false)});
    turn(*o, 2, 0, 0, 2, 0, 0);
    call(*o, "SelectClipboard", {Variant(true)});
    call(*o, "Stretch", {L(1), L(1), L(2), L(1), L(9), L(0), L(2), L(1), Variant(""), Variant("COLORONCOLOR")});
    Pixels p = canvas(*o);
    EXPECT_EQ(std::count(p.px.begin(), p.px.end(), 0xFF0000u), 5); // and (0, 0)
    for (auto [x, y] : {std::pair{4, 2}, {5, 2}, {4, 3}, {5, 3}}) EXPECT_EQ(p.at(x, y), 0xFF0000u);
    EXPECT_EQ(p.at(2, 2), 0xFFFFFFu);
}

// Text turns with its background box: the turned drawing is the plain one
// with each pixel moved as the transformation moves it.
TEST(Drawing, TextFollowsTheTransformation)
{
    Pixels plain;
    for (bool turned : {false, true}) {
        auto o = glimmerax::CreateImageObject();
        call(*o, "CreateImage", {L(60), L(60), L(4), out()});
        call(*o, "SetColor", {L(1), L(255), L(0), L(0), out()});
        call(*o, "SetColor", {L(2), L(0), L(255), L(0), out()});
        call(*o, "SetColor", {L(3), L(255), L(255), L(255), out()});
        call(*o, "SetBgColor", {L(3)});
        call(*o, "FillRect", {L(0), L(0), L(59), L(59)});
        put(*o, "FontSmoothing", L(1));
        call(*o, "CreateFont", {Variant("DejaVu Sans"), L(0), L(-14), L(0), Variant(false), Variant(false), Variant(true), Variant(false), missing()});
        call(*o, "SetTextColor", {L(1)});
        call(*o, "SetBkColor", {L(2)});
        if (turned) turn(*o, 0, 1, -1, 0, 59, 0); // device (58 - y, x)
        call(*o, "TextOut", {L(6), L(9), Variant("Hy"), missing()});
        Pixels p = canvas(*o);
        if (!turned) {
            plain = p;
            continue;
        }
        int red = 0, wrong = 0;
        for (int y = 0; y < 59; ++y)
            for (int x = 0; x < 60; ++x) {
                red += plain.at(x, y) == 0xFF0000u;
                wrong += p.at(58 - y, x) != plain.at(x, y);
            }
        EXPECT_GT(red, 20);
        EXPECT_EQ(wrong, 0);
    }
}
