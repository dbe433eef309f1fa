// Drawing on the target: the corner rule, pens, lines, pixels, flood fills,
// polylines, gradients and copies between the pictures.
#include "support.h"

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
    EXPECT_EQ(marks(p, 0xFF0000).substr(13 * 2, 13 * 5), "............\n##########..\n##########..\n##########..\n............\n");
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
