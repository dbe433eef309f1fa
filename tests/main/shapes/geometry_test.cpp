// The geometry model: extents grown by Add, lists, null shapes, distances
// and the errors with their numbers, sources and messages.
#include "main/files/geometry.h"
#include "platform/automation/vb_error.h"
#include "platform/ui/scripted_dialogs.h"
#include "tests/main/shapes/shape_builders.h"

#include <gtest/gtest.h>


using namespace files;
using shapes_test::error_of;
using shapes_test::pt;
using shapes_test::shape_of;

namespace {

void expect_extent(const IShape& s, double left, double right, double bottom, double top)
{
    EXPECT_EQ(s.Left(), left);
    EXPECT_EQ(s.Right(), right);
    EXPECT_EQ(s.Bottom(), bottom);
    EXPECT_EQ(s.Top(), top);
}

} // namespace

TEST(Geometry, ExtentsGrowOnAddOnly)
{
    CMultiPoint m;
    expect_extent(m, 0, 0, 0, 0);
    for (auto [x, y] : {std::pair{1.0, 5.0}, {3.0, 2.0}, {-4.0, 7.0}}) m.Add(pt(x, y));
    expect_extent(m, -4, 3, 2, 7);
    m.Remove(1);
    m.Remove(1);
    m.Remove(1);
    EXPECT_EQ(m.Count(), 0);
    expect_extent(m, -4, 3, 2, 7); // Remove leaves the extent as it was

    // A part added while empty and filled afterwards leaves the line at zero.
    CPolyLine line;
    auto part = std::make_shared<CPart>();
    line.Add(part);
    part->Add(pt(5, 6));
    part->Add(pt(7, 8));
    expect_extent(line, 0, 0, 0, 0);
    EXPECT_EQ(line.Item(1), part); // shared, not copied

    CPart p;
    p.Add(pt(0, 0));
    p.Add(pt(10, 5));
    p.Add(pt(2, 8));
    p.Remove(2);
    EXPECT_EQ(p.Left(), 0);
    EXPECT_EQ(p.Right(), 2);
    EXPECT_EQ(p.Bottom(), 0);
    EXPECT_EQ(p.Top(), 8);
    ASSERT_EQ(p.Count(), 2);
    EXPECT_EQ(p.Item(2)->x, 2);

    // The first part sets the extent, the next ones grow it.
    auto poly = shape_of<CPolygon>({{{0, 0}, {4, 1}, {2, 3}, {0, 0}}, {{-2, -1}, {1, 1}, {0, 2}}});
    expect_extent(*poly, -2, 4, -1, 3);
}

TEST(Geometry, RectanglesStoreWhatTheyAreTold)
{
    CRect r;
    r.MakeXY(1, 9, 4, 2);
    expect_extent(r, 1, 4, 2, 9);
    r.Make(CPoint(5, 0), CPoint(-1, 3)); // wrong order, kept as given
    expect_extent(r, 5, -1, 3, 0);
    r.MakeEmpty();
    expect_extent(r, 0, 0, 0, 0);
    CPoint p(3, 4);
    expect_extent(p, 3, 3, 4, 4);
    p.MakeNull(true);
    EXPECT_TRUE(p.IsNull());
    p.MakeNull(false);
    EXPECT_FALSE(p.IsNull());
}

TEST(Geometry, AddRejectsOtherClassesWithError527)
{
    CMultiPoint m;
    m.Add(pt(1, 1));
    auto e = error_of([&] { m.Add(std::make_shared<CPart>()); });
    EXPECT_EQ(unsigned(e.number), 0x8004020Fu);
    EXPECT_EQ(e.number, -2147220977);
    EXPECT_EQ(e.source, "CMultiPoint::Add");
    EXPECT_EQ(e.description, "CMultiPoint Add can only accept objects of type CPoints");
    EXPECT_EQ(m.Count(), 1);
    expect_extent(m, 1, 1, 1, 1);

    CPolygon g;
    e = error_of([&] { g.Add(pt(1, 1)); });
    EXPECT_EQ(e.source, "CPolygon::Add");
    EXPECT_EQ(e.description, "CPolygon Add can only accept objects of type CPart");
    EXPECT_EQ(g.Count(), 0);
    CPolyLine l;
    e = error_of([&] { l.Add(std::make_shared<CRect>()); });
    EXPECT_EQ(e.source, "CPolyLine::Add");
    EXPECT_EQ(e.description, "CPolyLine Add can only accept objects of type CPart");
    CPart p;
    e = error_of([&] { p.Add(std::make_shared<CMultiPoint>()); });
    EXPECT_EQ(e.number, int(0x8004020Fu));
    EXPECT_EQ(e.source, "CPart::Add");
    EXPECT_EQ(e.description, "CPart can only accept objects of type CPoint");
}

TEST(Geometry, IndexErrorsCarryTheRemoveLabels)
{
    CPolygon g;
    EXPECT_EQ(error_of([&] { g.Remove(1); }).source, "C_Polygon::Remove");
    CPolyLine l;
    EXPECT_EQ(error_of([&] { l.Remove(0); }).source, "CPolyLine::Remove");
    CMultiPoint m;
    EXPECT_EQ(error_of([&] { m.Remove(2); }).source, "CMultiPoint::Remove");
    CPart p;
    EXPECT_EQ(error_of([&] { p.Remove(1); }).source, "CPart::Remove");
    EXPECT_EQ(error_of([&] { p.Item(1); }).number, 9);
}

TEST(Geometry, DistancesFromAPoint)
{
    platform::ScriptedDialogs d;
    const CPoint origin(0, 0);
    EXPECT_EQ(origin.Distance(CPoint(3, 4), d), 5);
    EXPECT_EQ(origin.Distance(origin, d), 0);

    auto line = shape_of<CPolyLine>({{{0, 0}, {10, 0}}});
    EXPECT_DOUBLE_EQ(CPoint(5, 1).Distance(*line, d), 1);
    EXPECT_DOUBLE_EQ(CPoint(-3, 4).Distance(*line, d), 5);
    EXPECT_DOUBLE_EQ(CPoint(9, 1).Distance(*line, d), 1);
    auto square = shape_of<CPolygon>({{{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}}});
    EXPECT_DOUBLE_EQ(CPoint(5, -1).Distance(*square, d), 1);

    // Every segment counts, not only those beside the nearest vertex.
    auto far = shape_of<CPolyLine>({{{-100, 1}, {100, 1}, {0, 50}}});
    EXPECT_DOUBLE_EQ(origin.Distance(*far, d), 1);
    // A repeated fix is a zero-length segment: skipped, no division by zero.
    auto repeated = shape_of<CPolyLine>({{{0, 0}, {0, 0}, {10, 0}}, {{20, 20}, {20, 20}}});
    EXPECT_DOUBLE_EQ(CPoint(5, 1).Distance(*repeated, d), 1);
    // A polygon's far side, away from the nearest vertex.
    auto wide = shape_of<CPolygon>({{{-50, 0}, {50, 0}, {50, 100}, {-50, 100}, {-50, 0}}});
    EXPECT_DOUBLE_EQ(CPoint(0, 99).Distance(*wide, d), 1);

    // Other classes give 0 without a box; null shapes raise 530.
    EXPECT_EQ(origin.Distance(CRect(), d), 0);
    EXPECT_EQ(origin.Distance(CMultiPoint(), d), 0);
    EXPECT_TRUE(d.boxes().empty());
    CRect nullrect;
    nullrect.MakeNull(true);
    auto e = error_of([&] { origin.Distance(nullrect, d); });
    EXPECT_EQ(unsigned(e.number), 0x80040212u);
    EXPECT_EQ(e.source, "CPoint::IShape_Distance");
    EXPECT_EQ(e.description, "Cannot compute distance to a null shape");
    CPoint nullpoint(1, 1);
    nullpoint.SetNull(true);
    EXPECT_EQ(error_of([&] { nullpoint.Distance(origin, d); }).number, int(0x80040212u));

    // Shapes with too few points still fail.
    EXPECT_NE(error_of([&] { origin.Distance(CPolyLine(), d); }).number, 0);
    auto thin = shape_of<CPolygon>({{{0, 0}, {1, 1}}});
    EXPECT_NE(error_of([&] { origin.Distance(*thin, d); }).number, 0);
    auto lone = shape_of<CPolyLine>({{{0, 0}}});
    EXPECT_NE(error_of([&] { origin.Distance(*lone, d); }).number, 0);
}

TEST(Geometry, OnlyAPointMeasures)
{
    platform::ScriptedDialogs d;
    CRect r;
    EXPECT_EQ(r.Distance(CPoint(1, 1), d), 0);
    ASSERT_EQ(d.boxes().size(), 1u);
    EXPECT_EQ(d.last()->text, "NOT IMPLEMENTED");
    EXPECT_EQ(d.last()->buttons(), platform::vbOKOnly);
    CPolygon g;
    EXPECT_EQ(g.Distance(CPoint(), d), 0);
    EXPECT_EQ(d.boxes().size(), 2u);
}
