#include "platform/arcobjects/application.h"
#include "platform/automation/class_registry.h"
#include "platform/automation/vb_error.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

namespace ao = platform::arcobjects;

struct Bar : ao::Object, ao::IToolBarDef {
    std::string Kind() const override { return "bar"; }
    void* QueryInterface(std::string_view iid) override { return iid == IID ? static_cast<IToolBarDef*>(this) : nullptr; }
    std::int32_t ItemCount() override { return 2; }
    void GetItemInfo(std::int32_t pos, ao::ItemDef& d) override { d.ID = pos == 0 ? "T.Cmd" : "T.Picky"; }
    std::string Name() override { return "Bar"; }
    std::string Caption() override { return "Bar"; }
};

struct Cmd : ao::Object, ao::ICommand {
    bool picky = false;
    std::shared_ptr<ao::MxApplication> app;
    int clicks = 0;
    std::string Kind() const override { return "cmd"; }
    void* QueryInterface(std::string_view iid) override { return iid == IID ? static_cast<ICommand*>(this) : nullptr; }
    bool Enabled() override { return true; }
    bool Checked() override { return false; }
    std::string Name() override { return "n"; }
    std::string Caption() override { return "c"; }
    std::string Tooltip() override { return ""; }
    std::string Message() override { return ""; }
    std::string HelpFile() override { return ""; }
    std::int32_t HelpContextID() override { return 0; }
    std::int32_t Bitmap() override { return 0; }
    std::string Category() override { return ""; }
    void OnCreate(platform::ObjectRef hook) override
    {
        if (picky) throw platform::VbError(13, "", "Type mismatch");
        app = ao::As<ao::MxApplication>(hook);
    }
    void OnClick() override { ++clicks; }
};

} // namespace

TEST(MapModel, BarsStartHiddenAndDockingCreatesItemsWithTheApplication)
{
    platform::ClassRegistry registry;
    auto cmd = std::make_shared<Cmd>();
    auto picky = std::make_shared<Cmd>();
    picky->picky = true;
    registry.Register("T.Bar", "{AB}", [] { return std::make_shared<Bar>(); });
    registry.Register("T.Cmd", "{AC}", [cmd] { return cmd; });
    registry.Register("T.Picky", "{AD}", [picky] { return picky; });
    registry.RegisterCategory(ao::CATID_MxCommandBars, "{AB}");
    auto app = std::make_shared<ao::MxApplication>(registry);

    EXPECT_FALSE(app->FindBar("{ZZ}"));
    auto bar = app->FindBar("{ab}");
    ASSERT_TRUE(bar);
    EXPECT_FALSE(bar->IsVisible());
    EXPECT_FALSE(cmd->app);
    bar->Dock(32);
    EXPECT_TRUE(bar->IsVisible());
    EXPECT_EQ(cmd->app, app);
    const auto& items = app->Document()->CommandBars().Find("{AB}")->Items();
    ASSERT_EQ(items.size(), 2u);
    EXPECT_EQ(items[1].error, "Type mismatch");
    bar->Dock(32); // created once
    EXPECT_EQ(app->Document()->CommandBars().Find("{AB}")->Items().size(), 2u);
    // Attaching makes a hidden bar's commands and clicks none of them (its
    // first is the Open command, which would start another program).
    auto other = std::make_shared<ao::MxApplication>(registry);
    auto hidden = other->FindBar("{AB}");
    std::vector<bool> seen; // what a view showing the bar is told
    other->Document()->CommandBars().Find("{AB}")->on_visible = [&](bool on) { seen.push_back(on); };
    hidden->Dock(32);
    hidden->Item0_Execute();
    EXPECT_EQ(other->Document()->CommandBars().Find("{AB}")->Items().size(), 2u);
    EXPECT_EQ(cmd->app, other);
    EXPECT_EQ(seen, std::vector<bool>{true});
    bar->Item0_Execute();
    EXPECT_EQ(cmd->clicks, 0);
}

TEST(MapModel, EnvelopesPolygonsAndRotation)
{
    ao::Envelope e = ao::Envelope::Of(462000, 5012000, 460000, 5010000);
    e.Expand(0.75);
    EXPECT_EQ(e, ao::Envelope::Of(460250, 5010250, 461750, 5011750));
    e.CenterAt({0, 0});
    EXPECT_EQ(e, ao::Envelope::Of(-750, -750, 750, 750));

    auto p = ao::Geometry::PolygonOf(ao::Envelope::Of(0, 0, 2, 1));
    ASSERT_EQ(p->parts[0].size(), 5u);
    EXPECT_EQ(p->parts[0][1], (ao::XY{0, 1})); // lower-left, upper-left, ...: clockwise
    EXPECT_EQ(p->parts[0][3], (ao::XY{2, 0}));
    EXPECT_TRUE(p->Contains({2, 0.5}));
    EXPECT_FALSE(p->Contains({2.01, 0.5}));
    p->Rotate(p->Centroid(), std::atan(1) * 4 / 2);
    const ao::Envelope turned = p->Extent();
    EXPECT_NEAR(turned.Width(), 1, 1e-12);
    EXPECT_NEAR(turned.Height(), 2, 1e-12);
    EXPECT_NEAR(turned.Center().x, 1, 1e-12);

    // A turned zone at UTM-sized coordinates keeps its centre.
    const auto zone = ao::Geometry::PolygonOf(ao::Envelope::Of(460250.1, 5010250.7, 461750.1, 5011750.7));
    zone->Rotate({461000.1, 5011000.7}, 0.3);
    EXPECT_NEAR(zone->Centroid().x, 461000.1, 1e-9);
    EXPECT_NEAR(zone->Centroid().y, 5011000.7, 1e-9);
}

TEST(MapModel, GraphicsLayersKeepZOrderSelectionAndNamedSubLayers)
{
    ao::Map map;
    auto& basic = *map.BasicGraphicsLayer();
    EXPECT_EQ(map.ActiveGraphicsLayer, map.BasicGraphicsLayer());
    EXPECT_THROW(basic.FindLayer("TREKFOLD_REALTIME"), platform::VbError);
    auto layer = basic.AddLayer("TREKFOLD_REALTIME");
    EXPECT_EQ(basic.FindLayer("TREKFOLD_REALTIME"), layer);
    auto a = std::make_shared<ao::Element>(ao::ElementType::Marker), b = std::make_shared<ao::Element>(ao::ElementType::Line);
    layer->AddElement(a, 0);
    layer->AddElement(b, 0);
    EXPECT_EQ(layer->Elements().front(), b); // z-order 0 is the top
    layer->SelectElement(a);
    layer->DeleteElement(a);
    EXPECT_TRUE(layer->SelectedElements().empty());
    EXPECT_EQ(a->marker.size, 8);
    EXPECT_TRUE(basic.DeleteLayer("TREKFOLD_REALTIME"));
    EXPECT_FALSE(basic.DeleteLayer("TREKFOLD_REALTIME"));

    int seen = 0;
    map.View()->on_redraw = [&](const ao::Redraw&) { ++seen; };
    map.View()->PartialRefresh(ao::esriViewGraphics, b, ao::Envelope::Of(0, 0, 1, 1));
    map.View()->Refresh();
    ASSERT_EQ(map.View()->Redraws().size(), 2u);
    EXPECT_FALSE(map.View()->Redraws()[0].whole);
    EXPECT_EQ(map.View()->Redraws()[0].phase, 8);
    EXPECT_TRUE(map.View()->Redraws()[1].whole);
    EXPECT_EQ(seen, 2);
}
