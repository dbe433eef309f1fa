// clsArcMap's interface order, its calls before the Open command, and the
// pair array's edge cases.
#include "support.h"

#include "platform/automation/vb_error.h"

#include <cstdlib>
#include <filesystem>

namespace arcmaptest {
namespace {

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
    EXPECT_FALSE(o->GetIDOfName("RT_SetPanZone").has_value());
    // A shapefile that cannot be opened: the box, no layer.
    std::vector<Variant> args{Variant("/nowhere/x.shp")};
    call(o, "Shapefile_ToDataFrame", args);
    ASSERT_EQ(h.dialogs.boxes().size(), 1u);
    EXPECT_NE(h.dialogs.boxes()[0].text.find(" in clsArcMap.Save_ToShapefile"), std::string::npos);
    EXPECT_TRUE(h.map().Layers.empty());
}

TEST(ClassArcMap, BeforeTheOpenCommandTrappedMembersSayWhere)
{
    Host h(false);
    auto o = h.arcmap();
    std::vector<Variant> none;
    call(o, "RT_Graphics_Delete", none);
    ASSERT_EQ(h.dialogs.boxes().size(), 1u);
    EXPECT_EQ(h.dialogs.boxes()[0].text,
              "Error #: 91 - Object variable or With block variable not set in Trekfold_ArcMap.RT_Graphics_Delete");
    EXPECT_EQ(h.dialogs.boxes()[0].title, "Trekfold_ArcMap");
    // Env2Polygon needs no application: a closed clockwise ring; Nothing fails.
    std::vector<Variant> env{Variant(platform::ObjectRef(ao::Geometry::MakeEnvelope(ao::Envelope::Of(1, 2, 3, 4))))};
    auto polygon = ao::As<ao::Geometry>(call(o, "Env2Polygon", env));
    ASSERT_TRUE(polygon);
    EXPECT_EQ(polygon->parts.at(0), (std::vector<ao::XY>{{1, 2}, {1, 4}, {3, 4}, {3, 2}, {1, 2}}));
    std::vector<Variant> nothing{Variant(platform::ObjectRef())};
    EXPECT_THROW(call(o, "Env2Polygon", nothing), VbError);
}

TEST(ClassArcMap, PairArrayEmptyOrWithABadElement)
{
    Host h;
    auto o = h.arcmap();
    const auto dir = std::filesystem::temp_directory_path() / ("arcmap-prj-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const char* before = std::getenv("TMPDIR");
    const std::string kept = before ? before : "";
    ::setenv("TMPDIR", dir.c_str(), 1);
    const std::string utm15 = ao::SpatialReference::FromCode(26915)->Text();
    std::vector<Variant> empty{Variant(VariantArray(0, 0)), false, "", utm15};
    EXPECT_TRUE(call(o, "project_XYs", empty).ToBool());

    VariantArray arr(0, 3), pair(0, 2);
    pair.at(0) = -93.5, pair.at(1) = 45.25;
    arr.at(0) = Variant(pair), arr.at(1) = Variant(std::int32_t(7)), arr.at(2) = Variant(pair);
    std::vector<Variant> a{Variant(std::move(arr)), false, "", utm15};
    EXPECT_FALSE(call(o, "project_XYs", a).ToBool());
    before ? ::setenv("TMPDIR", kept.c_str(), 1) : ::unsetenv("TMPDIR");
    std::filesystem::remove_all(dir);
    // The pair before the bad element is converted, the one after it is not.
    EXPECT_NEAR(a[0].ToArray().at(0).ToArray().at(0).ToDouble(), 460764.103280, 1e-3);
    EXPECT_EQ(a[0].ToArray().at(2).ToArray().at(0).ToDouble(), -93.5);
    ASSERT_EQ(h.dialogs.boxes().size(), 1u);
    EXPECT_EQ(h.dialogs.boxes()[0].text.rfind("Error #: 13 - ", 0), 0u);
    EXPECT_NE(h.dialogs.boxes()[0].text.find(" in Project_XYs"), std::string::npos);
}

} // namespace
} // namespace arcmaptest
