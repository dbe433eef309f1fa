#include "harness.h"

#include "platform/automation/vb_error.h"

#include <gtest/gtest.h>

namespace {

using platform::RGB;

struct Records : ::testing::Test {
    TableHarness h;
    void SetUp() override { flxgrd::Fields_Repair(h.settings, ""); }
    // A waypoint row of the default list's 33 fields, with a marker per value.
    static std::string waypoint_values(int n)
    {
        std::string v = "WAYPOINT;P" + std::to_string(n) + ";45." + std::to_string(n) + ";-75.5;0;0;note " +
                         std::to_string(n) + ";dsp;8";
        for (int i = 9; i < 33; ++i)
            v += ";v" + std::to_string(i) + "_" + std::to_string(n);
        return v;
    }
};

TEST_F(Records, FirstInsertBuildsTheHeaderReusesRowOneAndOpensThePanel)
{
    h.table->Table_Clear();
    EXPECT_EQ(h.grid.Rows(), 2);
    EXPECT_EQ(h.grid.Cols(), 30);
    EXPECT_EQ(h.controls.back(), 2);
    ASSERT_TRUE(h.table->Records_Insert(waypoint_values(1)));
    EXPECT_EQ(h.grid.Rows(), 2);
    EXPECT_EQ(h.grid.Cols(), 34);
    EXPECT_EQ(h.cell(0, 1), "type");
    EXPECT_EQ(h.cell(0, 33), "ltime");
    EXPECT_EQ(h.cell(1, 0), "1");
    EXPECT_EQ(h.cell(1, "ident"), "P1");
    EXPECT_EQ(h.cell(1, "comment"), "note 1");
    EXPECT_EQ(h.cell(1, "symbol"), "8");
    EXPECT_EQ(h.grid.CellPicture(1, h.table->Column_Find("symbol", true))->key, "*8");
    EXPECT_TRUE(h.panel);
    EXPECT_EQ(h.panel_clicks, 1);
    EXPECT_EQ(h.controls.back(), 4);
    EXPECT_EQ(h.last_msg, "Loaded 1 records");
    EXPECT_EQ(h.selected, "0 of 1 Selected");
    EXPECT_EQ(h.segment_counter, 1);
    EXPECT_EQ(h.last_selected, 1);
    // The first record fitted the columns: "ident" column as wide as "ident".
    EXPECT_EQ(h.grid.ColWidth(2), 5 * 88 + 250);
    ASSERT_TRUE(h.table->Records_Insert(waypoint_values(2)));
    EXPECT_EQ(h.grid.Rows(), 3);
    EXPECT_EQ(h.panel_clicks, 1);
    EXPECT_EQ(h.selected, "0 of 2 Selected");
    EXPECT_EQ(h.grid.ColWidth(2), 5 * 88 + 250); // later inserts do not refit
}

TEST_F(Records, BlankInsertFillsTheDefaults)
{
    h.table->Table_SetType("waypoint");
    for (int i = 0; i < 4; ++i)
        ASSERT_TRUE(h.table->Records_Insert(waypoint_values(i)));
    ASSERT_TRUE(h.table->Records_Insert(""));
    const char* want[] = {"5", "WAYPOINT", "w5", "0", "0", "0", "0"};
    for (int c = 0; c < 7; ++c)
        EXPECT_EQ(h.cell(5, c), want[c]) << c;
    EXPECT_EQ(h.cell(5, "symbol"), "18");
    EXPECT_EQ(h.grid.CellPicture(5, h.table->Column_Find("symbol", true))->key, "*18");
    EXPECT_EQ(h.table->Column_Find("new_seg", true), -1);

    h.table->Table_SetType("route");
    ASSERT_TRUE(h.table->Records_Insert(""));
    ASSERT_TRUE(h.table->Records_Insert(""));
    EXPECT_EQ(h.cell(1, 1), "ROUTE");
    EXPECT_EQ(h.cell(2, 2), "r2");
    EXPECT_EQ(h.cell(1, "new_seg"), "True");
    EXPECT_EQ(h.cell(2, "new_seg"), "False");
}

TEST_F(Records, MissingIdentAndCommentGetTheirDefaults)
{
    h.table->Table_SetType("waypoint");
    ASSERT_TRUE(h.table->Records_Insert("WAYPOINT;;45;-75"));
    EXPECT_EQ(h.cell(1, "ident"), ""); // given, though empty
    EXPECT_EQ(h.cell(1, "comment"), "14:05 01-May-06");
    ASSERT_TRUE(h.table->Records_Insert("WAYPOINT"));
    EXPECT_EQ(h.cell(2, "ident"), "2");
    EXPECT_EQ(h.cell(2, "lat"), "");
}

TEST_F(Records, ColumnListsAndDelimiters)
{
    h.table->Table_SetType("waypoint");
    ASSERT_TRUE(h.table->Records_Insert("first;second;third", "2;-1;14"));
    EXPECT_EQ(h.cell(1, 2), "first");
    EXPECT_EQ(h.cell(1, 14), "third");
    for (int c = 3; c < 34; ++c) {
        if (c != 7 && c != 14) { // comment gets the time
            EXPECT_EQ(h.cell(1, c), "") << c;
        }
    }
    ASSERT_TRUE(h.table->Records_Insert("WAYPOINT, spaced ,1.5", "", "", ","));
    EXPECT_EQ(h.cell(2, "ident"), "spaced");
    EXPECT_EQ(h.cell(2, "lat"), "1.5");
    // The column list is split by ";" whatever the delimiter.
    ASSERT_TRUE(h.table->Records_Insert("a,b", "3;4", "", ","));
    EXPECT_EQ(h.cell(3, "lat"), "a");
    EXPECT_EQ(h.cell(3, "long"), "b");
}

TEST_F(Records, TrackSegmentStartsAreTintedAndCounted)
{
    h.table->Table_SetType("track");
    ASSERT_TRUE(h.table->Records_Insert("TRACK;t1;1;2;0;0;True"));
    ASSERT_TRUE(h.table->Records_Insert("TRACK;t2;1;2;0;0;False"));
    ASSERT_TRUE(h.table->Records_Insert("TRACK;t3;1;2;0;0;TRUE"));
    EXPECT_EQ(h.segment_counter, 2);
    EXPECT_EQ(h.grid.CellBackColor(3, 1), RGB(200, 255, 255));
    EXPECT_EQ(h.grid.CellBackColor(3, h.grid.Cols() - 1), RGB(200, 255, 255));
    EXPECT_NE(h.grid.CellBackColor(2, 1), RGB(200, 255, 255));
    EXPECT_EQ(h.cell(1, "new_seg"), "true"); // the first row always starts one

    // A waypoint row with the same value is not tinted.
    h.table->Table_SetType("route");
    h.record_type = "waypoint";
    ASSERT_TRUE(h.table->Records_Insert("WAYPOINT;w;1;2;0;0;True"));
    EXPECT_NE(h.grid.CellBackColor(1, 1), RGB(200, 255, 255));
}

TEST_F(Records, ValueIsTrue)
{
    for (const char* t : {"true", "TRUE", "True", "vrai", "VRAI"})
        EXPECT_TRUE(flxgrd::Table::Value_IsTrue(t)) << t;
    for (const char* f : {"1", "yes", "", "false", " true", "-1"})
        EXPECT_FALSE(flxgrd::Table::Value_IsTrue(f)) << f;
}

TEST_F(Records, ARefusedRecordLeavesNoRowAndTheCountersAlone)
{
    h.table->Table_SetType("waypoint");
    // Into the empty table: a bad target column entry.
    EXPECT_FALSE(h.table->Records_Insert("a;b", "2;x"));
    ASSERT_EQ(h.dialogs.boxes().size(), 1u);
    EXPECT_EQ(h.dialogs.boxes()[0].text, "Error #  13 was generated by Trekfold\rType mismatch");
    EXPECT_EQ(h.grid.Rows(), 2);
    EXPECT_EQ(h.cell(1, 0), ""); // row 1 is blank again
    EXPECT_EQ(h.cell(1, 2), "");
    EXPECT_EQ(h.record_counter, 0);
    EXPECT_EQ(h.segment_counter, 0);
    EXPECT_EQ(h.controls.back(), 2);

    ASSERT_TRUE(h.table->Records_Insert(waypoint_values(1)));
    ASSERT_TRUE(h.table->Records_Insert(waypoint_values(2)));
    // A target column beyond the table.
    EXPECT_FALSE(h.table->Records_Insert("x;y", "2;99"));
    EXPECT_EQ(h.grid.Rows(), 3);
    EXPECT_EQ(h.record_counter, 2);
    EXPECT_EQ(h.segment_counter, 2);
    EXPECT_EQ(h.dialogs.boxes().size(), 2u);
    // A column number beyond 16 bits: the overflow box says the table is full.
    EXPECT_FALSE(h.table->Records_Insert("x", "40000"));
    EXPECT_EQ(h.dialogs.boxes().back().text, "Error #  6 was generated by Trekfold\rOverflow.  Table is Full.");
    EXPECT_EQ(h.grid.Rows(), 3);
    // Real time mutes the box but still refuses cleanly.
    h.real_time = true;
    EXPECT_FALSE(h.table->Records_Insert("x;y", "2;99"));
    EXPECT_EQ(h.dialogs.boxes().size(), 3u);
    EXPECT_EQ(h.grid.Rows(), 3);
    ASSERT_TRUE(h.table->Records_Insert(waypoint_values(3)));
    EXPECT_EQ(h.cell(3, 0), "3");
}

TEST_F(Records, TheTableHolds32766RecordsAndRefusesTheNext)
{
    h.table->Table_SetType("track");
    for (int i = 1; i <= flxgrd::kMaxRecords; ++i)
        ASSERT_TRUE(h.table->Records_Insert("TRACK;t;1;2;0;0;False")) << i;
    EXPECT_EQ(h.grid.Rows(), 32767);
    EXPECT_EQ(h.record_counter, 32766);
    EXPECT_TRUE(h.dialogs.boxes().empty());

    EXPECT_FALSE(h.table->Records_Insert("TRACK;t;1;2;0;0;False"));
    EXPECT_EQ(h.grid.Rows(), 32767);
    EXPECT_EQ(h.record_counter, 32766);
    ASSERT_EQ(h.dialogs.boxes().size(), 1u);
    const auto& box = h.dialogs.boxes()[0];
    EXPECT_EQ(box.text, "Error #  7 was generated by flxgrd.Records_Insert\rTable is Full");
    EXPECT_EQ(box.title, "Error");
    EXPECT_EQ(box.style, platform::vbOKOnly);

    h.real_time = true;
    EXPECT_FALSE(h.table->Records_Insert("TRACK;t;1;2;0;0;False"));
    EXPECT_EQ(h.dialogs.boxes().size(), 1u);
    EXPECT_EQ(h.grid.Rows(), 32767);
}

TEST_F(Records, TheSegmentCounterRunsPast16Bits)
{
    h.table->Table_SetType("waypoint");
    h.segment_counter = 32767; // a long run of inserts before this table
    ASSERT_TRUE(h.table->Records_Insert(waypoint_values(1)));
    EXPECT_EQ(h.segment_counter, 32768);
    EXPECT_TRUE(h.dialogs.boxes().empty());
}

// Every value of a row, keyed by the field name of its column.
std::map<std::string, std::string> fields_of(TableHarness& h, int row)
{
    std::map<std::string, std::string> out;
    for (int c = 1; c < h.grid.Cols(); ++c)
        out[h.table->Field_GetName(h.grid.TextMatrix(0, c), h.record_type)] = h.grid.TextMatrix(row, c);
    return out;
}

TEST_F(Records, SwitchingTypesKeepsEveryValueUnderItsField)
{
    h.table->Table_SetType("waypoint");
    for (int i = 1; i <= 5; ++i)
        ASSERT_TRUE(h.table->Records_Insert(waypoint_values(i)));
    std::vector<std::map<std::string, std::string>> before;
    for (int r = 1; r <= 5; ++r)
        before.push_back(fields_of(h, r));

    h.table->Table_ChangeType("route");
    EXPECT_EQ(h.record_type, "route");
    EXPECT_EQ(h.grid.Cols(), 41);
    EXPECT_EQ(h.cell(0, 7), "new_seg");
    EXPECT_EQ(h.cell(3, 1), "ROUTE");
    EXPECT_EQ(h.cell(1, "new_seg"), "true");
    EXPECT_EQ(h.cell(2, "new_seg"), "false");
    EXPECT_EQ(h.grid.CellBackColor(1, 5), RGB(200, 255, 255)); // route start tinted
    EXPECT_EQ(h.route_defaults, 0); // the route option is not ticked here
    for (int r = 1; r <= 5; ++r) {
        auto now = fields_of(h, r);
        for (auto& [field, value] : before[size_t(r - 1)])
            if (field != "type") {
                EXPECT_EQ(now[field], value) << "row " << r << " field " << field;
            }
    }

    h.table->Table_ChangeType("waypoint");
    EXPECT_EQ(h.grid.Cols(), 34);
    EXPECT_EQ(h.cell(2, 1), "WAYPOINT");
    for (int r = 1; r <= 5; ++r)
        EXPECT_EQ(fields_of(h, r), before[size_t(r - 1)]) << "row " << r;
    EXPECT_NE(h.grid.CellBackColor(1, 5), RGB(200, 255, 255));
}

TEST_F(Records, LeavingAnAliasedRealTimeTableKeepsItsValues)
{
    std::string rt = flxgrd::Fields_DefaultList("rtimewpt");
    rt.replace(rt.find("lat:1:lat:"), 10, "lat:1:Latitude:");
    rt.replace(rt.find("alt:1:alt:"), 10, "alt:1:Height:");
    h.settings.SaveSetting("fields", "rtimewpt", rt);
    h.table->Table_SetType("rtimewpt");
    EXPECT_EQ(h.cell(0, 3), "Latitude");
    ASSERT_TRUE(h.table->Records_Insert("RTIMEWPT;r1;45.25;-75.5;0;0;101.5;3.2"));
    ASSERT_TRUE(h.table->Records_Insert("RTIMEWPT;r2;45.5;-75.25;0;0;102.5;3.3"));
    h.table->Table_ChangeType("track");
    EXPECT_EQ(h.cell(0, 3), "lat");
    EXPECT_EQ(h.cell(1, "lat"), "45.25");
    EXPECT_EQ(h.cell(2, "lat"), "45.5");
    EXPECT_EQ(h.cell(2, "long"), "-75.25");
    EXPECT_EQ(h.cell(1, "ident"), "r1");
}

TEST_F(Records, AColumnUnderTheFieldsBareNameKeepsItsValuesWhenEveryListRenamesIt)
{
    h.table->Table_SetType("waypoint");
    ASSERT_TRUE(h.table->Records_Insert(waypoint_values(1)));
    // Every list now calls lat "Latitude"; the loaded table still says "lat".
    for (const char* type : flxgrd::kRecordTypes) {
        std::string list = flxgrd::Fields_DefaultList(type);
        list.replace(list.find("lat:1:lat:"), 10, "lat:1:Latitude:");
        h.settings.SaveSetting("fields", type, list);
    }
    h.table->Table_ChangeType("track");
    EXPECT_EQ(h.cell(0, 3), "Latitude");
    EXPECT_EQ(h.cell(1, 3), "45.1");
    EXPECT_EQ(h.cell(1, "long"), "-75.5");
}

TEST_F(Records, ALayoutThatFailsHalfWayLeavesTheGridDrawing)
{
    std::string list = flxgrd::Fields_DefaultList("track");
    for (int i = 0; i < 6000; ++i)
        list += ",x" + std::to_string(i) + ":1:x" + std::to_string(i) + ":C:10:0";
    h.settings.SaveSetting("fields", "track", list);
    EXPECT_THROW(h.table->Table_SetType("track"), platform::VbError);
    EXPECT_TRUE(h.grid.Redraw());
}

TEST_F(Records, HiddenColumnsAndFitting)
{
    std::string wp = flxgrd::Fields_DefaultList("waypoint");
    wp.replace(wp.find("dist:1:"), 7, "dist:0:");
    wp.replace(wp.find("color:1:color"), 13, "color:no:Colour");
    h.settings.SaveSetting("fields", "waypoint", wp);
    h.table->Table_SetType("waypoint");
    int dist = h.table->Column_Find("dist", true);
    int colour = h.table->Column_Find("color", true);
    EXPECT_EQ(h.grid.ColWidth(dist), 0);
    EXPECT_GT(h.grid.ColWidth(colour), 0); // only "0" hides
    ASSERT_TRUE(h.table->Records_Insert(waypoint_values(1)));
    EXPECT_EQ(h.grid.ColWidth(dist), 0); // fitting leaves hidden columns alone
    EXPECT_EQ(h.grid.ColWidth(0), 110 + 250);
    int lat = h.table->Column_Find("lat", true);
    h.grid.SetTextMatrix(1, lat, "");
    h.table->Column_FitWidth(lat);
    EXPECT_EQ(h.grid.ColWidth(lat), 3 * 88 + 250);
    h.grid.SetTextMatrix(0, lat, "Lat");
    h.table->Column_FitWidth(lat);
    EXPECT_EQ(h.grid.ColWidth(lat), 110 + 2 * 88 + 250);
    h.table->Column_FitWidth(lat, 10, 20);
    EXPECT_EQ(h.grid.ColWidth(lat), 20 + 2 * 10 + 250);
    for (int c = 0; c < h.grid.Cols(); ++c) {
        h.grid.SetTextMatrix(0, c, "");
        h.grid.SetTextMatrix(1, c, "");
    }
    h.table->Column_FitWidth(lat);
    EXPECT_EQ(h.grid.ColWidth(lat), 250);
}

TEST_F(Records, WholeTableColouringShowsTheHourglassAndClearsTheMessage)
{
    h.table->Table_SetType("track");
    ASSERT_TRUE(h.table->Records_Insert("TRACK;a;1;2;0;0;"));
    ASSERT_TRUE(h.table->Records_Insert("TRACK;b;1;2;0;0;true"));
    h.grid.SetCellBackColor(1, 1, RGB(200, 255, 255));
    h.table->Rows_Color(0);
    EXPECT_EQ(h.cursor.history, (std::vector<int>{11, 0}));
    EXPECT_EQ(h.last_msg, "");
    EXPECT_EQ(h.grid.BackColorBkg(), RGB(255, 255, 255));
    EXPECT_EQ(h.grid.CellBackColor(2, 3), RGB(200, 255, 255));
    EXPECT_EQ(h.grid.CellBackColor(1, 3), RGB(200, 255, 255)); // row 1 starts the track
}

TEST_F(Records, RecordTypeFollowsTheTickedOption)
{
    EXPECT_EQ(h.table->RecordType_Get(), "waypoint");
    h.table->Table_SetType("rtimewpt");
    EXPECT_EQ(h.table->RecordType_Get(), "rtimewpt");
    h.table->Table_SetType("nonsense");
    EXPECT_EQ(h.table->RecordType_Get(), "waypoint");
    h.table->Columns_Load("");
    EXPECT_EQ(h.record_type, "waypoint");
    // With the route option ticked, colouring runs the route defaults.
    h.table->Table_SetType("route");
    ASSERT_TRUE(h.table->Records_Insert(""));
    h.table->Rows_Color(0);
    EXPECT_EQ(h.route_defaults, 1);
}

TEST_F(Records, ColumnsLoadRepairsAListThatLacksTheCoordinates)
{
    h.settings.SaveSetting("fields", "track", "type:1:type:C:10:0,ident:1:ident:C:24:0");
    h.table->Table_SetType("track");
    EXPECT_EQ(h.grid.Cols(), 17);
    EXPECT_EQ(h.cell(0, 16), "ltime");
}

TEST_F(Records, SymbolPictures)
{
    EXPECT_EQ(h.table->ImageList1().Count(), 140);
    EXPECT_EQ(h.table->ImageList1().Item("*8196").tag, "TracBack Point");
    EXPECT_EQ(h.table->ImageList1().Item(1).key, "*0");
    auto p = h.table->Symbol_GetPicture("18");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->width, 16);
    EXPECT_EQ(p->pixels.size(), 256u);
    EXPECT_EQ(h.table->Symbol_GetPicture("20"), nullptr);
    EXPECT_EQ(h.table->Symbol_GetPicture(""), nullptr);
    EXPECT_TRUE(h.table->ImageList2().Exists("check"));
    EXPECT_TRUE(h.table->ImageList2().Exists("uncheck"));
}

} // namespace
