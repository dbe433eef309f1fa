// The real-time display in a map in UTM zone 15 (NAD 83) showing 460000,
// 5010000 to 462000, 5012000: the trail, track-up rotation and the pan zone.
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
    bool fix(double lon, int display = 0, bool pan = true, double azimuth = 0, bool up = true)
    {
        std::vector<Variant> a{lon, 45.25, 461000.0, 5011000.0, 0.75, 5.0, std::int16_t(display), pan, azimuth, 0.0, up};
        return call(o, "RT_SendPoint", a).ToBool();
    }
    std::vector<ao::ElementRef> elements(ao::ElementType type)
    {
        std::vector<ao::ElementRef> m;
        for (const auto& e : h.map().BasicGraphicsLayer()->FindLayer("TREKFOLD_REALTIME")->Elements())
            if (e->Type() == type) m.push_back(e);
        return m;
    }
};

TEST_F(RealTime, TrailMarkersShrinkToAQuarterHalvesToEven)
{
    ASSERT_TRUE(fix(-93.5));
    ASSERT_TRUE(fix(-93.5001, 2));
    auto m = elements(ao::ElementType::Marker);
    ASSERT_EQ(m.size(), 2u);
    EXPECT_EQ(m[0]->marker.size, 8);
    EXPECT_EQ(m[1]->marker.size, 2);
    // The new marker's area, then the previous position's, 8 + 10 about each.
    const auto& r = view.Redraws();
    EXPECT_EQ(r[r.size() - 2].what, m[0]);
    EXPECT_NEAR(r.back().area.Center().x, m[1]->Geometry->Point().x, 1e-9);
    EXPECT_NEAR(r.back().area.Width(), 36, 1e-9);
    for (double size : {10.0, 6.0}) { // 2.5 and 1.5 both give 2
        m[0]->marker.size = size;
        ASSERT_TRUE(fix(-93.5, 2));
        EXPECT_EQ(elements(ao::ElementType::Marker)[1]->marker.size, 2) << size;
    }
}

TEST_F(RealTime, RotationOnlyBeyondFiveWholeDegrees)
{
    const struct {
        double before, azimuth;
        bool up;
        double after;
    } cases[] = {{88.4, -3, true, 88.4}, {88.4, -4, true, 94}, {0, 90, true, 0},    {0, 91, true, 359},
                 {0, 180, true, 270},    {30, 0, false, 0},    {4, 0, false, 4}};
    for (const auto& c : cases) {
        h.app->Rotation = c.before;
        fix(-93.5, 0, true, c.azimuth, c.up);
        EXPECT_EQ(h.app->Rotation, c.after) << c.before << " " << c.azimuth;
    }
}

TEST_F(RealTime, PanZoneFollowsTheFixAndGoesWithoutPanning)
{
    ASSERT_TRUE(fix(-93.5));
    ASSERT_TRUE(fix(-93.48)); // outside the zone: the view is recentred first
    const ao::XY p = elements(ao::ElementType::Marker)[0]->Geometry->Point();
    EXPECT_NEAR(view.Extent.Center().x, p.x, 1e-6);
    EXPECT_NEAR(view.Extent.Width(), 2000, 1e-6);
    EXPECT_NEAR(elements(ao::ElementType::Polygon)[0]->Geometry->Extent().Center().x, p.x, 1e-3);
    ASSERT_TRUE(fix(-93.48, 0, false));
    EXPECT_TRUE(elements(ao::ElementType::Polygon).empty());
    // Without a coordinate system the projected values are placed.
    h.map().SpatialReference = nullptr;
    ASSERT_TRUE(fix(-93.48));
    EXPECT_EQ(elements(ao::ElementType::Marker)[0]->Geometry->Point(), (ao::XY{461000, 5011000}));
    EXPECT_TRUE(h.dialogs.boxes().empty());
}

TEST_F(RealTime, TheStopLeavesTheBasicLayerActive)
{
    ASSERT_TRUE(fix(-93.5));
    ASSERT_EQ(h.map().ActiveGraphicsLayer->Name, "TREKFOLD_REALTIME");
    std::vector<Variant> none;
    call(o, "RT_Graphics_Delete", none);
    EXPECT_TRUE(h.map().BasicGraphicsLayer()->Layers().empty());
    // Graphics drawn after the stop land in the map, not in the layer gone.
    EXPECT_EQ(h.map().ActiveGraphicsLayer, h.map().BasicGraphicsLayer());
}

} // namespace
} // namespace arcmaptest
