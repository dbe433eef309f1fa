// Records drawn as graphics and the selected graphics taken back.
#include "support.h"

namespace arcmaptest {
namespace {

TEST(Graphics, SavedLinesAndPolygonsKeepTheirThresholds)
{
    Host h;
    auto o = h.arcmap();
    // The map has no coordinate system: the projected coordinates are drawn.
    auto send = [&](const char* kind, double x, double y, bool seg, bool end) {
        std::vector<Variant> a{Variant(kind), Variant(0.0), Variant(0.0), Variant(y), Variant(x), Variant(seg),
                               Variant(end)};
        call(o, "Graphics_SaveTo", a);
    };
    send("LINE", 1, 1, true, false);
    send("line", 2, 2, false, false);
    send("line", 3, 3, true, false);
    send("line", 4, 4, false, false);
    send("line", 5, 5, true, true); // a last segment of one point draws nothing
    send("polygon", 0, 0, true, false);
    send("polygon", 0, 1, false, false);
    send("polygon", 1, 1, false, true);
    const auto& els = h.map().BasicGraphicsLayer()->Elements();
    ASSERT_EQ(els.size(), 3u);
    EXPECT_EQ(els[0]->Type(), ao::ElementType::Polygon); // z-order 0: the newest first
    EXPECT_EQ(els[0]->Geometry->parts.at(0), (std::vector<ao::XY>{{0, 0}, {0, 1}, {1, 1}, {0, 0}}));
    EXPECT_EQ(els[1]->Geometry->parts.at(0), (std::vector<ao::XY>{{3, 3}, {4, 4}}));
    EXPECT_EQ(els[2]->Geometry->parts.at(0), (std::vector<ao::XY>{{1, 1}, {2, 2}}));
    EXPECT_TRUE(h.dialogs.boxes().empty());
}

TEST(Graphics, LoadedBackAsTheExchangeArray)
{
    Host h;
    auto o = h.arcmap();
    std::vector<Variant> none;
    auto& layer = *h.map().BasicGraphicsLayer();
    EXPECT_TRUE(call(o, "Graphics_LoadFrom", none).IsEmpty());

    auto element = [&](ao::ElementType t, ao::GeometryRef g) {
        auto e = std::make_shared<ao::Element>(t);
        e->Geometry = std::move(g);
        layer.AddElement(e, 0);
        layer.SelectElement(e);
        return e;
    };
    auto line = [](std::vector<ao::XY> v) {
        auto g = ao::Geometry::Make(ao::GeometryType::Polyline);
        g->parts.push_back(std::move(v));
        return g;
    };
    element(ao::ElementType::Line, line({{1, 2}, {3, 4}, {5, 6.25}}));
    element(ao::ElementType::Line, line({{7, 8}, {9, 10}}));
    platform::VariantArray r = call(o, "Graphics_LoadFrom", none).ToArray();
    ASSERT_EQ(r.UBound(2), 5);
    EXPECT_EQ(r.at(6, 0).ToString(), "new_seg");
    const bool seg[] = {true, false, false, true, false};
    for (int n = 1; n <= 5; ++n) {
        EXPECT_EQ(r.at(0, n).ToString(), "TRACK");
        EXPECT_EQ(r.at(1, n).ToString(), std::to_string(n));
        EXPECT_EQ(r.at(6, n).ToBool(), seg[n - 1]);
    }
    EXPECT_EQ(r.at(4, 3).ToString(), "6.25");
    EXPECT_EQ(r.at(5, 3).ToString(), "5");

    element(ao::ElementType::Marker, ao::Geometry::MakePoint(1, 1));
    EXPECT_TRUE(call(o, "Graphics_LoadFrom", none).IsEmpty());
    layer.UnselectAllElements();
    element(ao::ElementType::Rectangle, ao::Geometry::MakeEnvelope(ao::Envelope::Of(0, 0, 1, 1)));
    EXPECT_TRUE(call(o, "Graphics_LoadFrom", none).IsEmpty());
    layer.UnselectAllElements();
    element(ao::ElementType::Marker, ao::Geometry::MakePoint(11, 12));
    r = call(o, "Graphics_LoadFrom", none).ToArray();
    ASSERT_EQ(r.UBound(2), 1);
    EXPECT_EQ(r.at(0, 1).ToString(), "WAYPOINT");
    EXPECT_EQ(r.at(4, 1).ToString(), "12");
    EXPECT_TRUE(r.at(6, 1).IsEmpty());

    const auto& b = h.dialogs.boxes();
    ASSERT_EQ(b.size(), 3u);
    EXPECT_EQ(b[0].text, "No graphics selected.  Select a graphic and try again.");
    EXPECT_EQ(b[1].text, "All selected graphics must be of the same Geometry Type");
    EXPECT_EQ(b[2].text, "Incompatible Geometry Type: 5");
}

} // namespace
} // namespace arcmaptest
