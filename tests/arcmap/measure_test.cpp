// Area and length attributes of line and polygon classes.
#include "support.h"

namespace arcmaptest {
namespace {

ao::GeometryRef square(double x, double y, double side)
{
    auto g = ao::Geometry::Make(ao::GeometryType::Polygon);
    g->parts.push_back({{x, y}, {x, y + side}, {x + side, y + side}, {x + side, y}, {x, y}}); // clockwise
    return g;
}

double value(const MemoryClass& c, std::size_t row, const char* field)
{
    return c.rows.at(row).Values.at(std::size_t(c.FindField(field))).ToDouble();
}

TEST(Measure, HectaresAndPerimeterInTheClassSystemEmptyShapeMinusOne)
{
    Host h;
    auto o = h.arcmap();
    auto c = std::make_shared<MemoryClass>(ao::GeometryType::Polygon, ao::SpatialReference::FromCode(26915));
    c->Add(square(500000, 5000000, 100));
    c->Add(ao::Geometry::Make(ao::GeometryType::Polygon));
    h.set("am_area", "1");
    h.set("am_area_multiplier", "0.0001");
    auto& arc = self(o);
    arc.Calculate_AcresMiles(c);
    EXPECT_EQ(c->FindField("Perimeter"), -1); // am_length "0"
    EXPECT_NEAR(value(*c, 0, "Area"), 1, 1e-9);
    EXPECT_EQ(value(*c, 1, "Area"), -1);
    const ao::Field& f = c->Fields().at(std::size_t(c->FindField("Area")));
    EXPECT_EQ(f.Type, ao::esriFieldTypeDouble);
    EXPECT_EQ(f.Precision, 15);
    EXPECT_EQ(f.Scale, 3);

    // Run again with lengths too: "Area" reused, "Perimeter" added; a
    // multiplier that is no number counts as 1.
    h.set("am_length", "1");
    h.set("am_length_multiplier", "abc");
    arc.Calculate_AcresMiles(c);
    EXPECT_EQ(c->Fields().size(), 4u);
    EXPECT_NEAR(value(*c, 0, "Perimeter"), 400, 1e-9);
    EXPECT_TRUE(h.dialogs.boxes().empty());
}

TEST(Measure, GeographicClassIsMeasuredInTheFrameOrRefused)
{
    Host h;
    auto o = h.arcmap();
    auto& arc = self(o);
    h.set("am_length", "1");
    auto c = std::make_shared<MemoryClass>(ao::GeometryType::Polyline, ao::SpatialReference::FromCode(4326));
    auto line = ao::Geometry::Make(ao::GeometryType::Polyline);
    line->parts.push_back({{-93.0, 45.0}, {-93.0, 45.01}});
    c->Add(line);
    arc.Calculate_AcresMiles(c); // the frame has no system
    ASSERT_EQ(h.dialogs.boxes().size(), 1u);
    EXPECT_EQ(h.dialogs.boxes()[0].title, "Dataframe Projection Not Set");
    EXPECT_EQ(h.dialogs.boxes()[0].text, "Cannot calculate area and distance values without projection "
                                         "information.\r\nPlease set the Dataframe projection properties");
    EXPECT_EQ(c->FindField("Length"), -1);

    h.map().SpatialReference = ao::SpatialReference::FromCode(2222); // Arizona East, international feet
    arc.Calculate_AcresMiles(c);
    // cs2cs puts the ends 3728.03 international feet apart in that zone.
    EXPECT_NEAR(value(*c, 0, "Length"), 3728.03 * 0.3048, 0.01);
}

} // namespace
} // namespace arcmaptest
