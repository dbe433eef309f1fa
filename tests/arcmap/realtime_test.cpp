// The real-time display in a map in UTM zone 15 (NAD 83) showing 460000,
// 5010000 to 462000, 5012000: the marker, the trail, track-up rotation,
// the pan zone, the redraws, and removal.
#include "support.h"

namespace arcmaptest {
namespace {

struct RealTime : ::testing::Test {
    Host h;
    platform::ObjectRef o = h.arcmap();
    ao::ActiveView& view = *h.map().View();

    void SetUp() override
    {
        h.map().SpatialReference = ao::SpatialReference::FromCode(26915);
        view.Extent = ao::Envelope::Of(460000, 5010000, 462000, 5012000);
    }
    // A fix as the main program sends it: display style, pan, azimuth, track-up.
    bool fix(double lon, double lat, int display = 0, bool pan = true, double azimuth = 0, bool up = true,
             double xProj = 0, double yProj = 0)
    {
        std::vector<Variant> a{lon, lat, xProj, yProj, 0.75, 5.0, std::int16_t(display), pan, azimuth, 300.0, up};
        return call(o, "RT_SendPoint", a).ToBool();
    }
    std::shared_ptr<ao::GraphicsLayer> layer() { return h.map().BasicGraphicsLayer()->FindLayer("TREKFOLD_REALTIME"); }
    std::vector<ao::ElementRef> markers()
    {
        std::vector<ao::ElementRef> m;
        for (const auto& e : layer()->Elements())
            if (e->Type() == ao::ElementType::Marker) m.push_back(e);
        return m;
    }
    ao::ElementRef zone()
    {
        for (const auto& e : layer()->Elements())
            if (e->Type() == ao::ElementType::Polygon) return e;
        return nullptr;
    }
};

TEST_F(RealTime, FirstFixMarkerRotationPanZoneAndAWholeRedraw)
{
    ASSERT_TRUE(fix(-93.5, 45.25));
    ASSERT_EQ(markers().size(), 1u);
    const ao::ElementRef m = markers()[0];
    EXPECT_NEAR(m->Geometry->Point().x, 460764.103280, 1e-3);
    EXPECT_NEAR(m->Geometry->Point().y, 5010844.426240, 1e-3);
    EXPECT_EQ(m->marker.clsid, "{88539431-E06E-11D1-B277-0000F878229E}");
    EXPECT_EQ(m->marker.style, 0);
    EXPECT_EQ(m->marker.color, (ao::RgbColor{255, 0, 0}));
    EXPECT_EQ(m->marker.angle, 0);
    EXPECT_EQ(h.app->Rotation, 90);
    EXPECT_EQ(h.map().ActiveGraphicsLayer, layer());
    // Three quarters of the extent about its centre, turned by -90.
    const ao::ElementRef z = zone();
    ASSERT_TRUE(z);
    const ao::Envelope e = z->Geometry->Extent();
    EXPECT_NEAR(e.XMin, 460250, 1e-6);
    EXPECT_NEAR(e.XMax, 461750, 1e-6);
    EXPECT_NEAR(e.YMin, 5010250, 1e-6);
    EXPECT_NEAR(e.YMax, 5011750, 1e-6);
    EXPECT_NEAR(z->Geometry->parts.at(0).at(0).x, 460250, 1e-6); // lower-left turned to upper-left
    EXPECT_NEAR(z->Geometry->parts.at(0).at(0).y, 5011750, 1e-6);
    EXPECT_EQ(z->fill.color.transparency, 0);
    EXPECT_EQ(z->fill.outline.color, (ao::RgbColor{255, 0, 0, 150}));
    ASSERT_EQ(view.Redraws().size(), 1u);
    EXPECT_TRUE(view.Redraws()[0].whole);

    // Unturned: only the marker's area in the graphics phase.
    ASSERT_TRUE(fix(-93.5, 45.2501, 0, true, 1));
    ASSERT_EQ(view.Redraws().size(), 2u);
    const ao::Redraw& r = view.Redraws()[1];
    EXPECT_FALSE(r.whole);
    EXPECT_EQ(r.phase, 8);
    EXPECT_EQ(r.what, m);
    EXPECT_NEAR(r.area.Width(), 36, 1e-9); // size 8 plus 10 on each side
    EXPECT_EQ(markers().size(), 1u);
    EXPECT_EQ(m->marker.angle, 1);
}

TEST_F(RealTime, TrailLeavesQuarterSizedMarkers)
{
    for (int i = 0; i < 3; ++i) ASSERT_TRUE(fix(-93.5 + i * 0.0001, 45.25, 2));
    std::vector<double> sizes;
    for (const auto& m : markers()) sizes.push_back(m->marker.size);
    EXPECT_EQ(sizes, (std::vector<double>{8, 2, 2})); // newest on top
    // The new marker's area, then the previous position's.
    const auto& r = view.Redraws();
    ASSERT_GE(r.size(), 2u);
    EXPECT_EQ(r[r.size() - 2].what, markers()[0]);
    EXPECT_NEAR(r.back().area.Center().x, markers()[1]->Geometry->Point().x, 1e-9);
    EXPECT_FALSE(r.back().whole);
    // Halves to the even neighbour: 10 / 4 = 2.5 and 6 / 4 = 1.5 both give 2.
    markers()[0]->marker.size = 10;
    ASSERT_TRUE(fix(-93.5, 45.25, 2));
    EXPECT_EQ(markers()[1]->marker.size, 2);
    markers()[0]->marker.size = 6;
    ASSERT_TRUE(fix(-93.5, 45.25, 2));
    EXPECT_EQ(markers()[1]->marker.size, 2);
}

TEST_F(RealTime, RotationOnlyBeyondFiveWholeDegrees)
{
    h.app->Rotation = 88.4;
    fix(-93.5, 45.25, 0, true, -3); // wanted 93: 88 and 93 differ by 5
    EXPECT_EQ(h.app->Rotation, 88.4);
    fix(-93.5, 45.25, 0, true, -4);
    EXPECT_EQ(h.app->Rotation, 94);
    fix(-93.5, 45.25, 0, true, 91);
    EXPECT_EQ(h.app->Rotation, 359);
    fix(-93.5, 45.25, 0, true, 180);
    EXPECT_EQ(h.app->Rotation, 270);
    h.app->Rotation = 30;
    fix(-93.5, 45.25, 0, true, 0, false);
    EXPECT_EQ(h.app->Rotation, 0);
    h.app->Rotation = 4;
    fix(-93.5, 45.25, 0, true, 0, false);
    EXPECT_EQ(h.app->Rotation, 4);
}

TEST_F(RealTime, PanZoneFollowsAndGoes)
{
    ASSERT_TRUE(fix(-93.5, 45.25));
    // A fix outside the zone recentres the view on it first.
    ASSERT_TRUE(fix(-93.48, 45.25));
    const ao::XY p = markers()[0]->Geometry->Point();
    EXPECT_NEAR(view.Extent.Center().x, p.x, 1e-6);
    EXPECT_NEAR(view.Extent.Center().y, p.y, 1e-6);
    EXPECT_NEAR(view.Extent.Width(), 2000, 1e-6);
    EXPECT_NEAR(zone()->Geometry->Extent().Center().x, p.x, 1e-3);
    // Without panning the zone disappears at the next fix.
    ASSERT_TRUE(fix(-93.48, 45.25, 0, false));
    EXPECT_EQ(zone(), nullptr);
}

TEST_F(RealTime, RefreshSettingNoReferenceAndRemoval)
{
    view.RefreshFlag = true;
    EXPECT_FALSE(fix(-93.5, 45.25));
    EXPECT_TRUE(view.Redraws().empty());
    view.RefreshFlag = false;

    std::vector<Variant> none;
    call(o, "RT_Graphics_Delete", none);
    EXPECT_TRUE(h.map().BasicGraphicsLayer()->Layers().empty());
    EXPECT_TRUE(view.Redraws().back().whole);
    // Starting over, in a map without a coordinate system: the projected values.
    h.map().SpatialReference = nullptr;
    ASSERT_TRUE(fix(-93.5, 45.25, 0, true, 0, true, 461000, 5011000));
    ASSERT_EQ(markers().size(), 1u);
    EXPECT_EQ(markers()[0]->Geometry->Point(), (ao::XY{461000, 5011000}));
    EXPECT_TRUE(h.dialogs.boxes().empty());
    const std::size_t before = view.Redraws().size();
    call(o, "DataFrame_Refresh", none);
    EXPECT_EQ(view.Redraws().size(), before + 1);
}

} // namespace
} // namespace arcmaptest
