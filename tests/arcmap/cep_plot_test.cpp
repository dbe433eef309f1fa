// CEP circles in data frame units, and the units dialog.
#include "support.h"

#include "platform/automation/collection_object.h"

namespace arcmaptest {
namespace {

Variant cep(double r50, double r90, double r95, double r98)
{
    platform::Collection<Variant> items;
    platform::VariantArray c(0, 4);
    c.at(0) = -93.0, c.at(1) = 45.0, c.at(2) = 500000.0, c.at(3) = 4982950.4;
    items.Add(Variant(std::move(c)), "Coordinates");
    items.Add(Variant(r50), "50");
    items.Add(Variant(r90), "90");
    items.Add(Variant(r95), "95");
    items.Add(Variant(r98), "98");
    return Variant(platform::ObjectRef(std::make_shared<platform::CollectionObject>(std::move(items))));
}

std::vector<double> radii(Host& h)
{
    std::vector<double> r;
    for (const auto& e : h.map().BasicGraphicsLayer()->Elements())
        if (e->Type() == ao::ElementType::Polygon) r.insert(r.begin(), e->Geometry->Circle ? e->Geometry->Circle->radius : 0);
    return r;
}

void plot(Host& h, Variant c)
{
    auto o = h.arcmap();
    std::vector<Variant> a{std::move(c)};
    call(o, "PlotCEP", a);
}

TEST(CepPlot, ZeroFirstRadiusGivesAnEmptyCircleAndTheRestInFeet)
{
    Host h;
    h.map().SpatialReference = ao::SpatialReference::FromCode(2222);
    plot(h, cep(0, 50, 60, 70));
    EXPECT_TRUE(h.dialogs.boxes().empty());
    const auto r = radii(h);
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0], 0);
    EXPECT_NEAR(r[1], 164.042, 1e-3);
    EXPECT_EQ(h.map().BasicGraphicsLayer()->Elements().back()->Type(), ao::ElementType::Marker);
    EXPECT_TRUE(h.map().BasicGraphicsLayer()->Elements()[0]->fill.color.transparency == 0);
    EXPECT_EQ(h.app->MousePointer, 0);
}

TEST(CepPlot, UnitlessFrameAsksOnceAndGeographicFrameDrawsOnlyTheMarker)
{
    Host h;
    // A projected system whose text names no unit.
    h.map().SpatialReference = ao::SpatialReference::FromText(
        "PROJCS[\"Local\",GEOGCS[\"GCS_WGS_1984\",DATUM[\"D_WGS_1984\",SPHEROID[\"WGS_1984\",6378137.0,298.257223563]],"
        "PRIMEM[\"Greenwich\",0.0],UNIT[\"Degree\",0.0174532925199433]],PROJECTION[\"Transverse_Mercator\"],"
        "PARAMETER[\"Central_Meridian\",-93.0],PARAMETER[\"Scale_Factor\",0.9996]]");
    ASSERT_FALSE(h.map().SpatialReference->Unit());
    h.services.windows = {"Other 2"};
    plot(h, cep(10, 20, 30, 40));
    EXPECT_EQ(h.services.windows_shown, 1);
    EXPECT_EQ(radii(h), (std::vector<double>{5, 10, 15, 20}));
    // The form was hidden, not unloaded: it keeps "Other" and "2".
    h.services.windows = {"Cancel"};
    plot(h, cep(10, 20, 30, 40));
    EXPECT_EQ(h.services.windows_shown, 2);
    EXPECT_EQ(radii(h).size(), 4u);

    Host g;
    g.map().SpatialReference = ao::SpatialReference::FromCode(4326);
    plot(g, cep(10, 20, 30, 40));
    ASSERT_EQ(g.dialogs.boxes().size(), 1u);
    EXPECT_EQ(g.dialogs.boxes()[0].title, "ERROR");
    EXPECT_EQ(g.dialogs.boxes()[0].text, "Error # 555 : Cannot plot CEP without a projected Data Frame.\r\n"
                                         "Please set the Dataframe projection properties and try again.");
    EXPECT_EQ(g.map().BasicGraphicsLayer()->Elements().size(), 1u);
}

TEST(CepPlot, UnitsFormReadsTheLeadingNumberAndUnloadsWhenClosed)
{
    trekfold_arcmap::frmDataFrameUnits f;
    f.Form_Load();
    f.Answer("Other 0.3x");
    EXPECT_EQ(f.tbxUnits, "0.3");
    EXPECT_EQ(f.Tag, "OK");
    f.Answer("Close");
    EXPECT_FALSE(f.loaded);
    EXPECT_EQ(f.Tag, "");
}

} // namespace
} // namespace arcmaptest
