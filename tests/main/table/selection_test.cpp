// The selected row range and the value check run before projecting.
#include "tests/main/table/harness.h"

#include <gtest/gtest.h>

namespace {

struct Selection : ::testing::Test {
    TableHarness h;
    int lat = 0, lon = 0;
    void SetUp() override
    {
        ASSERT_TRUE(h.table->Table_SetType("waypoint"));
        lat = h.table->Column_Find("lat", true);
        lon = h.table->Column_Find("long", true);
        for (const char* values : {"45;-93", "abc;-93", " ;-93", "46;-94"})
            h.table->Records_Insert(values, std::to_string(lat) + ";" + std::to_string(lon));
    }
    void select(int first, int last)
    {
        h.selection_count = last - first + 1;
        h.first_selected = first;
        h.last_selected = last;
    }
};

TEST_F(Selection, RangeIsTheSelectedRowsOrTheWholeTable)
{
    EXPECT_EQ(h.table->Selection_GetRange(h.grid), (std::array<int, 2>{1, 4}));
    select(2, 3);
    EXPECT_EQ(h.table->Selection_GetRange(h.grid), (std::array<int, 2>{2, 3}));
}

TEST_F(Selection, CheckValuesLooksAtTheSelectedCellsOnly)
{
    EXPECT_FALSE(h.table->Selection_CheckValues(h.grid, {lat, lon}, "number"));
    select(1, 1);
    EXPECT_TRUE(h.table->Selection_CheckValues(h.grid, {lat, lon}, "number"));
    select(2, 2); // text passes any kind but "number"
    EXPECT_TRUE(h.table->Selection_CheckValues(h.grid, {lat, lon}, "text"));
    EXPECT_FALSE(h.table->Selection_CheckValues(h.grid, {lat, lon}, "number"));
    select(3, 3); // blank after trimming fails every kind
    EXPECT_FALSE(h.table->Selection_CheckValues(h.grid, {lat}, "text"));
    // A column outside the grid ends the check with the result so far.
    select(1, 2);
    EXPECT_TRUE(h.table->Selection_CheckValues(h.grid, {-1, lat}, "number"));
    select(2, 2);
    EXPECT_FALSE(h.table->Selection_CheckValues(h.grid, {lat, 999}, "number"));
}

} // namespace
