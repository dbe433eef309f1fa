#include "platform/arcobjects/geometry.h"
#include "platform/arcobjects/spatial_reference.h"
#include "platform/automation/vb_error.h"
#include "tests/tools/program.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <sstream>

namespace {

namespace ao = platform::arcobjects;

std::string esri_text(const std::string& code)
{
    auto r = tools_test::Run_Program("projinfo -q -o WKT1_ESRI " + code);
    std::string s = r.out;
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    return s;
}

// cs2cs's x and y of one longitude/latitude.
std::pair<double, double> cs2cs(const std::string& to, double lon, double lat)
{
    std::ostringstream cmd;
    cmd.precision(17);
    cmd << "sh -c 'echo " << lat << " " << lon << " | cs2cs -d 9 EPSG:4326 " << to << "'";
    std::istringstream out(tools_test::Run_Program(cmd.str()).out);
    double x = NAN, y = NAN;
    out >> x >> y;
    return {x, y};
}

std::string replaced(std::string s, const std::string& from, const std::string& to)
{
    const auto at = s.find(from);
    if (at != std::string::npos) s.replace(at, from.size(), to);
    return s;
}

int error_number(const std::function<void()>& f)
{
    try {
        f();
    } catch (const platform::VbError& e) {
        return e.number;
    }
    return 0;
}

} // namespace

TEST(SpatialReference, EsriTextReadsAsPeersDoAndProjectsAsCs2cs)
{
    const std::string text = esri_text("EPSG:26915");
    ASSERT_FALSE(text.empty());
    auto utm = ao::SpatialReference::FromText(text);
    EXPECT_EQ(utm->Name(), "NAD_1983_UTM_Zone_15N");
    EXPECT_EQ(utm->Type(), ao::SpatialReferenceKind::Projected);
    EXPECT_EQ(utm->FactoryCode(), 26915); // no AUTHORITY node: what PROJ identifies
    ASSERT_TRUE(utm->Unit());
    EXPECT_EQ(utm->Unit()->name, "Meter");

    auto wgs = ao::SpatialReference::FromCode(4326);
    EXPECT_EQ(wgs->Name(), "GCS_WGS_1984");
    EXPECT_EQ(wgs->Type(), ao::SpatialReferenceKind::Geographic);
    EXPECT_FALSE(wgs->Unit());

    // x is the longitude although EPSG:4326 puts latitude first.
    double x = -93.5, y = 45.25;
    ao::Project_Points(*wgs, *utm, &x, &y, 1);
    const auto [px, py] = cs2cs("EPSG:26915", -93.5, 45.25);
    EXPECT_NEAR(x, px, 1e-3);
    EXPECT_NEAR(y, py, 1e-3);
    ao::Project_Points(*utm, *wgs, &x, &y, 1);
    EXPECT_NEAR(x, -93.5, 1e-9);
    EXPECT_NEAR(y, 45.25, 1e-9);

    auto feet = ao::SpatialReference::FromText(esri_text("EPSG:2222"));
    ASSERT_TRUE(feet->Unit());
    EXPECT_DOUBLE_EQ(feet->Unit()->meters, 0.3048);
}

TEST(SpatialReference, FactoryCodeIsTheAuthorityNodeElseAFullMatchElseZero)
{
    const std::string text = esri_text("EPSG:26915");
    // The root's own AUTHORITY node is taken as it stands.
    auto stated = ao::SpatialReference::FromText(text.substr(0, text.size() - 1) + R"(,AUTHORITY["EPSG",26916]])");
    EXPECT_EQ(stated->FactoryCode(), 26916);
    // A system PROJ cannot name at full confidence has none.
    auto own = ao::SpatialReference::FromText(replaced(text, "-93.0", "-93.3"));
    EXPECT_EQ(own->FactoryCode(), 0);
    EXPECT_EQ(own->Type(), ao::SpatialReferenceKind::Projected);
}

TEST(SpatialReference, NoUnitNodeNoUnitAndUnknownIsKeptButUnusable)
{
    const std::string text = esri_text("EPSG:26915");
    auto no_unit = ao::SpatialReference::FromText(replaced(text, R"(,UNIT["Meter",1.0]])", "]"));
    EXPECT_EQ(no_unit->Type(), ao::SpatialReferenceKind::Projected);
    EXPECT_FALSE(no_unit->Unit());

    auto unknown = ao::SpatialReference::FromText(replaced(text, "NAD_1983_UTM_Zone_15N", "Unknown"));
    EXPECT_EQ(unknown->Name(), "Unknown");
    EXPECT_FALSE(unknown->Usable());
    EXPECT_FALSE(ao::SpatialReference::MakeUnknown()->Usable());
    double x = -93.5, y = 45.25;
    EXPECT_EQ(error_number([&] { ao::Project_Points(*ao::SpatialReference::FromCode(4326), *unknown, &x, &y, 1); }), 5);
    EXPECT_EQ(x, -93.5);
}

TEST(SpatialReference, PointsThatCannotConvertRaiseAndEarlierOnesKeepTheirValues)
{
    auto wgs = ao::SpatialReference::FromCode(4326);
    auto mercator = ao::SpatialReference::FromCode(3395);
    double x[] = {10, 10, 20}, y[] = {10, 91, 20}; // cs2cs: "*" for latitude 91
    EXPECT_EQ(error_number([&] { ao::Project_Points(*wgs, *mercator, x, y, 3); }), 5);
    EXPECT_GT(x[0], 1e6);
    EXPECT_EQ(x[1], 10);
    EXPECT_EQ(x[2], 20);
    EXPECT_TRUE(std::isfinite(y[0]));

    auto g = ao::Geometry::MakePoint(10, 91);
    g->SpatialReference = wgs;
    EXPECT_EQ(error_number([&] { g->Project(mercator); }), 5);
    EXPECT_EQ(g->Point(), (ao::XY{10, 91}));
}

TEST(SpatialReference, BadTextsCodesAndFilesRaise)
{
    EXPECT_EQ(error_number([] { ao::SpatialReference::FromText("not a system"); }), 5);
    EXPECT_EQ(error_number([] { ao::SpatialReference::FromText(R"(PROJCS["x",GARBAGE[)"); }), 5);
    EXPECT_EQ(error_number([] { ao::SpatialReference::FromCode(1); }), 5);
    EXPECT_NE(error_number([] { ao::SpatialReference::FromFile("/nonexistent/x.prj"); }), 0);
    const std::string path = ::testing::TempDir() + "/sr_test.prj";
    std::ofstream(path) << esri_text("EPSG:26915") << "\n";
    EXPECT_EQ(ao::SpatialReference::FromFile(path)->Name(), "NAD_1983_UTM_Zone_15N");
}
