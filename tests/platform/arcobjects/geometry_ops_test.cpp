#include "platform/arcobjects/geometry_ops.h"
#include "platform/arcobjects/layers.h"
#include "platform/arcobjects/services.h"
#include "platform/automation/vb_error.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

namespace {

namespace ao = platform::arcobjects;

ao::GeometryRef shape(ao::GeometryType t, std::vector<std::vector<ao::XY>> parts)
{
    auto g = ao::Geometry::Make(t);
    g->parts = std::move(parts);
    return g;
}

} // namespace

TEST(GeometryOps, CircleAreaLengthAndPointCounts)
{
    auto c = ao::Make_Circle({100, 200}, 10);
    EXPECT_EQ(c->Type(), ao::GeometryType::Polygon);
    EXPECT_EQ(c->PointCount(), 2u); // the arc's start and end
    EXPECT_NEAR(ao::Area(*c), std::numbers::pi * 100, 1e-9);
    EXPECT_NEAR(ao::Length(*c), std::numbers::pi * 20, 1e-9);
    EXPECT_EQ(ao::Exterior_Ring_Count(*c), 1);
    EXPECT_EQ(c->Extent(), ao::Envelope::Of(90, 190, 110, 210));
    EXPECT_TRUE(ao::Make_Circle({1, 1}, 0)->IsEmpty());
    EXPECT_TRUE(ao::Make_Circle({1, 1}, NAN)->IsEmpty());

    auto square = shape(ao::GeometryType::Polygon, {{{0, 0}, {0, 100}, {100, 100}, {100, 0}, {0, 0}}});
    EXPECT_EQ(square->PointCount(), 5u);
    EXPECT_DOUBLE_EQ(ao::Area(*square), 10000);  // clockwise: positive
    EXPECT_DOUBLE_EQ(ao::Length(*square), 400);
    ao::Reverse_Orientation(*square);
    EXPECT_DOUBLE_EQ(ao::Area(*square), -10000);
    EXPECT_EQ(ao::Exterior_Ring_Count(*square), 0);
    EXPECT_DOUBLE_EQ(ao::Length(*shape(ao::GeometryType::Polyline, {{{0, 0}, {3, 4}}, {{0, 0}, {0, 1}}})), 6);
    EXPECT_EQ(ao::Area(*ao::Geometry::MakePoint(1, 2)), 0);
}

TEST(GeometryOps, GeneralizeKeepsPathEndsAndThreeRingCorners)
{
    auto path = shape(ao::GeometryType::Polyline, {{{0, 0}, {1, 0.1}, {2, -0.1}, {3, 5}, {4, 0}, {5, 0}}});
    ao::Generalize(*path, 0.5);
    EXPECT_EQ(path->parts[0], (std::vector<ao::XY>{{0, 0}, {2, -0.1}, {3, 5}, {4, 0}, {5, 0}}));
    ao::Generalize(*path, 100);
    EXPECT_EQ(path->parts[0], (std::vector<ao::XY>{{0, 0}, {5, 0}}));

    auto ring = shape(ao::GeometryType::Polygon,
                      {{{0, 0}, {0, 50}, {0, 100}, {50, 101}, {100, 100}, {100, 0}, {50, -1}, {0, 0}}});
    ao::Generalize(*ring, 5);
    EXPECT_EQ(ring->parts[0].size(), 5u);
    ao::Generalize(*ring, 1e6);
    ASSERT_EQ(ring->parts[0].size(), 4u); // three corners and the closing vertex
    EXPECT_EQ(ring->parts[0].front(), ring->parts[0].back());
    EXPECT_GT(std::abs(ao::Area(*ring)), 0);
}

TEST(GeometryOps, SimplifyKeepsRingEndsAndDropsDegenerateParts)
{
    auto g = shape(ao::GeometryType::Polygon,
                   {{{5, 5}, {5, 5}, {5, 9}, {9, 9}, {9, 5}}, {{0, 0}, {1, 1}, {0, 0}}});
    ao::Simplify_Preserve_From_To(*g);
    ASSERT_EQ(g->parts.size(), 1u);
    EXPECT_EQ(g->parts[0], (std::vector<ao::XY>{{5, 5}, {5, 9}, {9, 9}, {9, 5}, {5, 5}}));
    auto l = shape(ao::GeometryType::Polyline, {{{1, 1}, {1, 1}}, {{0, 0}, {2, 2}}});
    ao::Simplify_Preserve_From_To(*l);
    EXPECT_EQ(l->parts, (std::vector<std::vector<ao::XY>>{{{0, 0}, {2, 2}}}));
}

TEST(GeometryOps, SimplifyMakesACrossingRingValidAndLeavesAFlatOneAlone)
{
    // A bow-tie: its edges cross at 5,5, its two triangles of 25 cancel out.
    auto g = shape(ao::GeometryType::Polygon, {{{0, 0}, {10, 10}, {10, 0}, {0, 10}, {0, 0}}});
    EXPECT_EQ(ao::Area(*g), 0);
    ao::Simplify_Preserve_From_To(*g);
    ASSERT_EQ(g->parts.size(), 2u);
    EXPECT_EQ(ao::Exterior_Ring_Count(*g), 2);
    EXPECT_DOUBLE_EQ(ao::Area(*g), 50);
    EXPECT_EQ(g->parts[0].front(), (ao::XY{0, 0}));
    EXPECT_EQ(g->parts[0].back(), (ao::XY{0, 0}));
    // Nothing of area to rebuild: the vertices stay as they were.
    auto flat = shape(ao::GeometryType::Polygon, {{{0, 0}, {1, 1}, {2, 2}, {0, 0}}});
    ao::Simplify_Preserve_From_To(*flat);
    EXPECT_EQ(flat->parts, (std::vector<std::vector<ao::XY>>{{{0, 0}, {1, 1}, {2, 2}, {0, 0}}}));
}

TEST(GeometryOps, ObjectCopyIsDeepAndContentsSelectionNeedsOneLayer)
{
    auto c = std::make_shared<ao::ElementCollection>();
    auto e = std::make_shared<ao::Element>(ao::ElementType::Marker);
    e->Geometry = ao::Geometry::MakePoint(1, 2);
    c->Elements.push_back(e);
    auto copy = ao::As<ao::ElementCollection>(ao::Copy_Object(c));
    ASSERT_TRUE(copy);
    e->Geometry->PutCoords(9, 9);
    EXPECT_EQ(copy->Elements[0]->Geometry->Point(), (ao::XY{1, 2}));
    EXPECT_THROW(ao::Copy_Object(std::make_shared<ao::RasterLayer>()), platform::VbError);

    ao::Map map;
    auto group = std::make_shared<ao::GroupLayer>();
    group->Name = "G";
    auto inner = std::make_shared<ao::RasterLayer>();
    inner->Name = "R";
    group->Layers.push_back(inner);
    map.AddLayer(group);
    EXPECT_EQ(ao::Find_Layer(map, "R"), inner);
    EXPECT_EQ(ao::All_Layers(map).size(), 2u);
}
