// The table as the ArcMap link's 2-D arrays: what Save_Array exports and
// what Open_Array loads (record type, mapping, values kept whole, projection).
#include "gpx_rig.h"

#include "main/files/table_files.h"
#include "platform/automation/variant.h"

using gpxtest::GpxRig;
using platform::Variant;
using platform::VariantArray;

namespace {

struct ArrayRig : GpxRig {
    files::TableFiles tf{main};
    // Fields x records, record 0 the names.
    Variant array(const std::vector<std::vector<Variant>>& fields)
    {
        VariantArray a(0, std::int32_t(fields.size()), 0, std::int32_t(fields[0].size()));
        for (std::size_t f = 0; f < fields.size(); ++f)
            for (std::size_t r = 0; r < fields[f].size(); ++r) a.at(std::int32_t(f), std::int32_t(r)) = fields[f][r];
        return Variant(std::move(a));
    }
};

TEST(TableArrays, SaveArrayExportsVisibleColumnsOfTheSelection)
{
    ArrayRig rig;
    std::vector<gpxtest::Row> rows;
    for (int i = 1; i <= 6; ++i)
        rows.push_back({{"ident", i == 4 ? "" : "P" + std::to_string(i)}, {"lat", std::to_string(i)}, {"long", "2"}});
    rig.fill("waypoint", rows);
    auto& grid = rig.main.MSFlexGrid1;
    int comment = rig.table().Column_Find("comment", true);
    grid.SetColWidth(comment, 0);
    auto& ctx = rig.table().context();
    ctx.selection_count = 3, ctx.first_selected_row = 3, ctx.last_selected_row = 5;
    Variant v = rig.tf.Save_Array();
    VariantArray& a = v.ArrayRef();
    int visible = 0;
    for (int c = 1; c < grid.Cols(); ++c) visible += grid.ColWidth(c) != 0;
    EXPECT_EQ(a.UBound(1), visible - 1);
    EXPECT_EQ(a.UBound(2), 3);
    int ident = -1;
    for (int f = 0; f <= a.UBound(1); ++f) {
        EXPECT_NE(a.at(f, 0).ToString(), grid.TextMatrix(0, comment));
        if (a.at(f, 0).ToString() == grid.TextMatrix(0, rig.table().Column_Find("ident", true))) ident = f;
    }
    ASSERT_GE(ident, 0);
    EXPECT_EQ(a.at(ident, 1).ToString(), "P3");
    EXPECT_EQ(a.at(ident, 2).ToString(), " ");
    EXPECT_EQ(a.at(ident, 3).ToString(), "P5");
}

TEST(TableArrays, OpenArrayTypesValuesAndRefusals)
{
    ArrayRig rig;
    rig.fill("waypoint", {{{"ident", "KEEP"}, {"lat", "1"}, {"long", "2"}}});
    Variant one = rig.array({{"ident", "A"}});
    EXPECT_FALSE(rig.tf.Open_Array(one));
    EXPECT_EQ(rig.cell(1, "ident"), "KEEP");

    Variant track = rig.array({{"TYPE", "TRACK", "WAYPOINT"},
                               {"ident", "a;b", false},
                               {"lat", 45.5, 46.0},
                               {"long", -93.25, -93.0},
                               {"y_proj", "1", "1"},
                               {"x_proj", "1", "1"}});
    EXPECT_TRUE(rig.tf.Open_Array(track));
    EXPECT_EQ(rig.main.state().record_type, "track");
    EXPECT_EQ(rig.rows(), 2);
    EXPECT_EQ(rig.cell(1, "ident"), "a;b"); // one value, one cell
    EXPECT_EQ(rig.cell(1, "lat"), "45.5");
    EXPECT_EQ(rig.cell(2, "ident"), "False"); // a Boolean in its text form

    Variant odd = rig.array({{"type", "boat"}, {"ident", "X"}, {"comment", Variant()}, {"lat", "1"}, {"long", "2"}});
    EXPECT_TRUE(rig.tf.Open_Array(odd));
    EXPECT_EQ(rig.main.state().record_type, "waypoint");
    EXPECT_EQ(rig.cell(1, "ident"), "X");
}

} // namespace
