// clsArcMap's interface: members and dispatch identifiers in interface
// order, the window handle pair, calls before the Open command, and the
// projection services.
#include "support.h"

#include "arcmap/detail/cls_arcmap.h"
#include "platform/automation/vb_error.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace arcmaptest {
namespace {

namespace fs = std::filesystem;
using platform::VariantArray;
using platform::VbError;

TEST(ClassArcMap, MembersAndDispatchIdsInInterfaceOrder)
{
    Host h;
    auto o = h.arcmap();
    const char* names[] = {"Set_WindowHandle", "Get_WindowHandle", "RT_SendPoint", "DataFrame_Refresh",
                           "RT_Graphics_Delete", "Env2Polygon", "project_XYs", "Project_XY", "Graphics_SaveTo",
                           "Shapefile_ToDataFrame", "Graphics_LoadFrom", "FeatureClass_ToGarmin", "Set_Status",
                           "Save_ToGeodatabase", "FeatureLayer_GetDataSourceName", "FeatureLayer_Find", "PlotCEP",
                           "DeepClone"};
    for (int i = 0; i < 18; ++i) EXPECT_EQ(platform::IdOfName(*o, names[i]), 0x60030000 + i) << names[i];
    EXPECT_FALSE(o->GetIDOfName("RT_SetPanZone").has_value()); // private
    EXPECT_NE(o->QueryInterface(trekfold_arcmap::IID__clsArcMap), nullptr);
    // The members served by a later release refuse.
    std::vector<Variant> args{Variant("x.shp"), Variant(true)};
    try {
        call(o, "Shapefile_ToDataFrame", args);
        FAIL();
    } catch (const VbError& e) {
        EXPECT_EQ(e.number, 445);
        EXPECT_EQ(e.description, "Object doesn't support this action");
    }
}

TEST(ClassArcMap, WindowHandleAndCallsBeforeTheOpenCommand)
{
    Host h(false);
    auto o = h.arcmap();
    std::vector<Variant> none, handle{Variant(std::int32_t(1234))};
    EXPECT_EQ(call(o, "Get_WindowHandle", none).ToInt32(), -1);
    EXPECT_TRUE(call(o, "Set_WindowHandle", handle).IsEmpty());
    EXPECT_EQ(call(o, "Get_WindowHandle", none).ToInt32(), 1234);

    std::vector<Variant> fix{-93.5, 45.25, 460764.0, 5010844.0, 0.75};
    EXPECT_FALSE(call(o, "RT_SendPoint", fix).ToBool());
    EXPECT_TRUE(h.dialogs.boxes().empty());
    EXPECT_TRUE(h.map().BasicGraphicsLayer()->Layers().empty());
    try {
        call(o, "DataFrame_Refresh", none);
        FAIL();
    } catch (const VbError& e) {
        EXPECT_EQ(e.number, 91);
    }
    call(o, "RT_Graphics_Delete", none);
    ASSERT_EQ(h.dialogs.boxes().size(), 1u);
    EXPECT_EQ(h.dialogs.boxes()[0].text,
              "Error #: 91 - Object variable or With block variable not set in Trekfold_ArcMap.RT_Graphics_Delete");
    EXPECT_EQ(h.dialogs.boxes()[0].title, "Trekfold_ArcMap");

    // Env2Polygon needs no application: a closed clockwise ring.
    std::vector<Variant> env{Variant(platform::ObjectRef(ao::Geometry::MakeEnvelope(ao::Envelope::Of(1, 2, 3, 4))))};
    auto polygon = ao::As<ao::Geometry>(call(o, "Env2Polygon", env));
    ASSERT_TRUE(polygon);
    EXPECT_EQ(polygon->parts.at(0), (std::vector<ao::XY>{{1, 2}, {1, 4}, {3, 4}, {3, 2}, {1, 2}}));
    std::vector<Variant> nothing{Variant(platform::ObjectRef())};
    EXPECT_THROW(call(o, "Env2Polygon", nothing), VbError);
}

// Projection calls with TMPDIR set to a folder of the test's own.
struct Projection : ::testing::Test {
    Host h;
    platform::ObjectRef o = h.arcmap();
    fs::path dir = fs::temp_directory_path() / ("arcmap-prj-" + std::to_string(::getpid()));
    std::string utm15 = ao::SpatialReference::FromCode(26915)->Text();
    std::string prj = (dir / "TREKFOLD_PRJ.PRJ").string();

    void SetUp() override
    {
        fs::create_directories(dir);
        ::setenv("TMPDIR", dir.c_str(), 1);
    }
    void TearDown() override
    {
        ::unsetenv("TMPDIR");
        fs::remove_all(dir);
    }
    std::string read(const std::string& path)
    {
        std::ostringstream s;
        s << std::ifstream(path).rdbuf();
        return s.str();
    }
    std::string write(const std::string& name, const std::string& text)
    {
        const std::string path = (dir / name).string();
        std::ofstream(path) << text;
        return path;
    }
};

TEST_F(Projection, OnePairBothWaysThroughTheTemporaryFile)
{
    std::vector<Variant> a{-93.5, 45.25, false, "", utm15};
    ASSERT_TRUE(call(o, "Project_XY", a).ToBool());
    EXPECT_NEAR(a[0].ToDouble(), 460764.103280, 1e-3);
    EXPECT_NEAR(a[1].ToDouble(), 5010844.426240, 1e-3);
    EXPECT_EQ(read(prj), utm15 + "\n");
    a[2] = true;
    ASSERT_TRUE(call(o, "Project_XY", a).ToBool());
    EXPECT_NEAR(a[0].ToDouble(), -93.5, 1e-9);
    EXPECT_NEAR(a[1].ToDouble(), 45.25, 1e-9);
    EXPECT_TRUE(h.dialogs.boxes().empty());
}

TEST_F(Projection, WhichFileAndWhenNothingHappens)
{
    // srFile wins over srDesc; no temporary file is written.
    const std::string file = write("utm.prj", utm15);
    std::vector<Variant> a{-93.5, 45.25, false, file, "garbage"};
    EXPECT_TRUE(call(o, "Project_XY", a).ToBool());
    EXPECT_FALSE(fs::exists(prj));
    // Neither: False and unchanged, no box.
    std::vector<Variant> b{-93.5, 45.25};
    EXPECT_FALSE(call(o, "Project_XY", b).ToBool());
    EXPECT_EQ(b[0].ToDouble(), -93.5);
    // An unset coordinate system: False, unchanged, no box.
    std::string unknown = utm15;
    unknown.replace(unknown.find("NAD_1983_UTM_Zone_15N"), 21, "Unknown");
    std::vector<Variant> c{-93.5, 45.25, false, write("u.prj", unknown)};
    EXPECT_FALSE(call(o, "Project_XY", c).ToBool());
    EXPECT_EQ(c[1].ToDouble(), 45.25);
    EXPECT_TRUE(h.dialogs.boxes().empty());
    // A file that makes no coordinate system: the projection box.
    std::vector<Variant> d{-93.5, 45.25, false, write("bad.prj", "PROJCS[nonsense")};
    EXPECT_FALSE(call(o, "Project_XY", d).ToBool());
    ASSERT_EQ(h.dialogs.boxes().size(), 1u);
    EXPECT_EQ(h.dialogs.boxes()[0].text.rfind("Error Projecting Lat/Long.  #: ", 0), 0u);
    EXPECT_NE(h.dialogs.boxes()[0].text.find(" in Project_XY"), std::string::npos);
    EXPECT_EQ(d[0].ToDouble(), -93.5);
    // Each call writes its own text before using it.
    std::vector<Variant> e{-93.5, 45.25, false, "", ao::SpatialReference::FromCode(32615)->Text()};
    EXPECT_TRUE(call(o, "Project_XY", e).ToBool());
    EXPECT_NE(read(prj).find("WGS_1984_UTM_Zone_15N"), std::string::npos);
}

VariantArray pairs(std::vector<std::pair<Variant, Variant>> items)
{
    VariantArray outer(0, std::int32_t(items.size()));
    for (std::size_t i = 0; i < items.size(); ++i) {
        VariantArray pair(0, 2);
        pair.at(0) = items[i].first;
        pair.at(1) = items[i].second;
        outer.at(std::int32_t(i)) = Variant(std::move(pair));
    }
    return outer;
}

TEST_F(Projection, PairsInPlaceNumbersAndText)
{
    std::vector<Variant> a{Variant(pairs({{-93.5, 45.25}, {"-93.4", "45.3"}, {"-93.45 m", "45.2x"}})), false, "", utm15};
    ASSERT_TRUE(call(o, "project_XYs", a).ToBool());
    const VariantArray& out = a[0].ToArray();
    double x[] = {-93.5, -93.4, -93.45}, y[] = {45.25, 45.3, 45.2};
    ao::Project_Points(*ao::SpatialReference::FromCode(4326), *ao::SpatialReference::FromText(utm15), x, y, 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(out.at(i).ToArray().at(0).Type(), platform::VarType::Double);
        EXPECT_NEAR(out.at(i).ToArray().at(0).ToDouble(), x[i], 1e-6);
        EXPECT_NEAR(out.at(i).ToArray().at(1).ToDouble(), y[i], 1e-6);
    }
    EXPECT_NEAR(out.at(0).ToArray().at(0).ToDouble(), 460764.103280, 1e-3);
    // An empty array converts nothing and succeeds.
    std::vector<Variant> empty{Variant(VariantArray(0, 0)), false, "", utm15};
    EXPECT_TRUE(call(o, "project_XYs", empty).ToBool());
}

TEST_F(Projection, ABadElementKeepsThePairsBeforeIt)
{
    VariantArray arr = pairs({{-93.5, 45.25}, {-93.4, 45.3}});
    VariantArray three(0, 3);
    three.at(0) = Variant(arr.at(0));
    three.at(1) = Variant(std::int32_t(7)); // not a pair
    three.at(2) = Variant(arr.at(1));
    std::vector<Variant> a{Variant(std::move(three)), false, "", utm15};
    EXPECT_FALSE(call(o, "project_XYs", a).ToBool());
    const VariantArray& out = a[0].ToArray();
    EXPECT_NEAR(out.at(0).ToArray().at(0).ToDouble(), 460764.103280, 1e-3);
    EXPECT_EQ(out.at(2).ToArray().at(0).ToDouble(), -93.4);
    ASSERT_EQ(h.dialogs.boxes().size(), 1u);
    EXPECT_EQ(h.dialogs.boxes()[0].text.rfind("Error #: 13 - ", 0), 0u);
    EXPECT_NE(h.dialogs.boxes()[0].text.find(" in Project_XYs"), std::string::npos);
}

} // namespace
} // namespace arcmaptest
