#include "harness.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

size_t entries(const std::string& list)
{
    return list.empty() ? 0 : size_t(std::count(list.begin(), list.end(), ',')) + 1;
}

// The default lists as the field tables give them, written out by hand.
const char* const kTrackDefault =
    "type:1:type:C:10:0,ident:1:ident:C:24:0,lat:1:lat:N:18:8,long:1:long:N:18:8,y_proj:1:y_proj:N:18:8,"
    "x_proj:1:x_proj:N:18:8,new_seg:1:new_seg:C:10:0,display:1:display:C:10:0,color:1:color:C:10:0,"
    "altitude:1:altitude:N:12:2,depth:1:depth:N:12:2,temp:1:temp:N:12:2,time:1:time:C:20:0,"
    "model:1:model:C:20:0,filename:1:filename:C:254:0,ltime:1:ltime:C:20:0";
const char* const kRtimewptDefault =
    "type:1:type:C:10:0,ident:1:ident:C:24:0,lat:1:lat:N:18:8,long:1:long:N:18:8,y_proj:1:y_proj:N:18:8,"
    "x_proj:1:x_proj:N:18:8,alt:1:alt:N:12:2,epe:1:epe:N:10:2,eph:1:eph:N:10:2,epv:1:epv:N:10:2,"
    "pdop:1:pdop:N:10:2,hdop:1:hdop:N:10:2,vdop:1:vdop:N:10:2,speed:1:speed:N:10:2,course:1:course:N:10:2,"
    "mvar:1:mvar:N:10:2,mdir:1:mdir:N:10:2,datum:1:datum:C:20:0,pfix:1:pfix:N:10:0,east:1:east:C:10:0,"
    "north:1:north:C:10:0,up:1:up:N:10:2,depth:1:depth:N:12:2,temp:1:temp:N:12:2,date:1:date:C:20:0,"
    "time:1:time:C:20:0,filename:1:filename:C:254:0,ltime:1:ltime:C:20:0";
const char* const kWaypointNames[] = {
    "type",  "ident",     "lat",       "long",   "y_proj", "x_proj",  "comment", "display",   "symbol",
    "unused1", "dist",    "prox_index", "color", "altitude", "depth", "temp",    "time",      "wpt_class",
    "sub_class", "attrib", "link",     "state",  "country", "city",   "address", "facility",  "crossroad",
    "unused2", "ete",     "dtype",     "model",  "filename", "ltime"};

TEST(FieldRepair, WritesTheFourDefaultListsIntoAnEmptyStore)
{
    TableHarness h;
    flxgrd::Fields_Repair(h.settings, "");
    EXPECT_EQ(entries(h.settings.GetSetting("fields", "waypoint")), 33u);
    EXPECT_EQ(entries(h.settings.GetSetting("fields", "track")), 16u);
    EXPECT_EQ(entries(h.settings.GetSetting("fields", "route")), 40u);
    EXPECT_EQ(entries(h.settings.GetSetting("fields", "rtimewpt")), 28u);

    std::ifstream in(h.dir + "/trekfold/trekfold.ini");
    std::stringstream ss;
    ss << in.rdbuf();
    std::string ini = ss.str();
    EXPECT_NE(ini.find("[fields]\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find(std::string("\ntrack=") + kTrackDefault + "\n"), std::string::npos) << ini;
    EXPECT_NE(ini.find(std::string("\nrtimewpt=") + kRtimewptDefault + "\n"), std::string::npos) << ini;

    // The waypoint list: the names in order, each name:1:name:...
    auto list = h.table->Fields_GetList("waypoint", false, false);
    ASSERT_EQ(list.size(), 33u);
    for (size_t i = 0; i < 33; ++i)
        EXPECT_EQ(list[i], kWaypointNames[i]);
    auto wp = h.settings.GetSetting("fields", "waypoint");
    EXPECT_NE(wp.find(",unused2:1:unused2:C:5:0,"), std::string::npos);
    EXPECT_NE(wp.find(",comment:1:comment:C:50:0,"), std::string::npos);
    auto rte = h.settings.GetSetting("fields", "route");
    EXPECT_EQ(rte.rfind("type:1:type:C:10:0,ident:1:ident:C:24:0,lat:1:lat:N:18:8,long:1:long:N:18:8,y_proj:1:"
                        "y_proj:N:18:8,x_proj:1:x_proj:N:18:8,new_seg:1:new_seg:C:10:0,rnumber:1:rnumber:C:12:0,"
                        "rident:1:rident:C:10:0,rcmnt:1:rcmnt:C:10:0,rlcls:1:rlcls:N:12:0,",
                        0),
              0u);
}

TEST(FieldRepair, KeepsWholeListsAndReplacesBrokenOnes)
{
    TableHarness h;
    flxgrd::Fields_Repair(h.settings, "");
    // 33 entries, later ones of two parts only: kept as stored.
    std::string custom = "type:1:type:C:10:0";
    for (int i = 1; i < 33; ++i)
        custom += ",f" + std::to_string(i) + ":1";
    h.settings.SaveSetting("fields", "waypoint", custom);
    // A customised track list with aliases and a hidden field: kept.
    std::string track = kTrackDefault;
    track.replace(track.find("lat:1:lat"), 9, "lat:0:Latitude");
    h.settings.SaveSetting("fields", "track", track);
    h.settings.SaveSetting("fields", "route", "type:1"); // no comma
    std::string rt = kRtimewptDefault;
    h.settings.SaveSetting("fields", "rtimewpt", rt.substr(0, rt.rfind(','))); // 27 entries
    flxgrd::Fields_Repair(h.settings, "");
    EXPECT_EQ(h.settings.GetSetting("fields", "waypoint"), custom);
    EXPECT_EQ(h.settings.GetSetting("fields", "track"), track);
    EXPECT_EQ(entries(h.settings.GetSetting("fields", "route")), 40u);
    EXPECT_EQ(h.settings.GetSetting("fields", "rtimewpt"), kRtimewptDefault);

    // A short first entry is not whole either.
    h.settings.SaveSetting("fields", "waypoint", "type:1:type:C:10" + custom.substr(custom.find(',')));
    // Naming a type resets it even when whole; the others stay.
    flxgrd::Fields_Repair(h.settings, "track");
    EXPECT_EQ(entries(h.settings.GetSetting("fields", "waypoint")), 33u);
    EXPECT_NE(h.settings.GetSetting("fields", "waypoint").find("comment:1:comment"), std::string::npos);
    EXPECT_EQ(h.settings.GetSetting("fields", "track"), kTrackDefault);
    EXPECT_EQ(h.settings.GetSetting("fields", "rtimewpt"), kRtimewptDefault);
}

TEST(FieldCatalog, HoldsThe57Fields)
{
    auto cat = flxgrd::Fields_Catalog();
    ASSERT_EQ(cat.Count(), 57);
    EXPECT_EQ(cat.Item("unused2").name, "unused");
    EXPECT_FALSE(cat.Exists("unused"));
    const auto& mdir = cat.Item("MDIR");
    EXPECT_EQ(mdir.type, "C");
    EXPECT_EQ(mdir.decimals, 2);
    EXPECT_EQ(cat.Item("filename").width, 254);
    EXPECT_EQ(cat.Item("pfix").type, "C");
    EXPECT_EQ(cat.Item("lat").type, "N");
    EXPECT_EQ(cat.Item(57).name, "ltime");
    EXPECT_EQ(cat.Item(57).ordinal, 57);
    EXPECT_EQ(cat.Item(3).name, "lat");
}

struct Lookups : ::testing::Test {
    TableHarness h;
    void SetUp() override
    {
        h.settings.SaveSetting("fields", "waypoint",
                               "type:1:type:C:10:0,lat:0:Latitude:N:18:8,comment:1,long:no:long:N:18:8,symbol");
    }
};

TEST_F(Lookups, ListsAliasesAndNames)
{
    auto& t = *h.table;
    EXPECT_EQ(t.Fields_GetList("waypoint", true, false),
              (std::vector<std::string>{"type", "comment", "long", "symbol"}));
    EXPECT_EQ(t.Fields_GetList("waypoint", false, true),
              (std::vector<std::string>{"type", "Latitude", "comment", "long", "symbol"}));
    EXPECT_EQ(t.Field_GetAlias("waypoint", "LAT"), "Latitude");
    EXPECT_EQ(t.Field_GetAlias("waypoint", "comment"), "comment"); // two items: the bare name
    EXPECT_EQ(t.Field_GetName("latitude", "waypoint"), "lat");
    EXPECT_EQ(t.Field_GetName("latitude", ""), "lat");
    EXPECT_EQ(t.Field_GetName("Unknown", ""), "Unknown");
    // No stored list for a type.
    EXPECT_TRUE(t.Fields_GetList("track", false, false).empty());
    EXPECT_EQ(t.Field_GetAlias("track", "lat"), "lat");
    EXPECT_EQ(t.Field_GetName("Latitude", "track"), "Latitude");
    EXPECT_EQ(t.Field_GetInfo("track", "lat", false).Count(), 0);
}

TEST_F(Lookups, FieldInfoFromTheEntryOrTheCatalogue)
{
    auto& t = *h.table;
    auto lat = t.Field_GetInfo("waypoint", "LATITUDE", true);
    ASSERT_EQ(lat.Count(), 6);
    EXPECT_EQ(lat.Item("name"), "lat");
    EXPECT_EQ(lat.Item("visible"), "0");
    EXPECT_EQ(lat.Item("alias"), "Latitude");
    EXPECT_EQ(lat.Item("precision"), "8");
    auto comment = t.Field_GetInfo("waypoint", "comment", false);
    EXPECT_EQ(comment.Item("alias"), "comment");
    EXPECT_EQ(comment.Item("type"), "C");
    EXPECT_EQ(comment.Item("length"), "50");
    EXPECT_EQ(comment.Item("precision"), "0");
    // An entry without a visible item counts as shown.
    auto symbol = t.Field_GetInfo("waypoint", "symbol", false);
    EXPECT_EQ(symbol.Item("visible"), "1");
    EXPECT_EQ(symbol.Item("length"), "10");
    EXPECT_TRUE(h.dialogs.boxes().empty());
}

TEST_F(Lookups, FieldInfoReportsBrokenEntriesAndReturnsWhatItHas)
{
    h.settings.SaveSetting("fields", "waypoint", "lat:1:lat:N:18:8,lat:1:lat:N:18:8,ident:1:ident:C,mystery:1");
    auto dup = h.table->Field_GetInfo("waypoint", "lat", false);
    EXPECT_EQ(dup.Count(), 6);
    ASSERT_EQ(h.dialogs.boxes().size(), 1u);
    EXPECT_EQ(h.dialogs.boxes()[0].text,
              "Error: 457 -- This key is already associated with an element of this collection");
    EXPECT_EQ(h.dialogs.boxes()[0].title, "Field_GetInfo");
    EXPECT_EQ(h.dialogs.boxes()[0].icon(), platform::vbCritical);
    auto shortie = h.table->Field_GetInfo("waypoint", "ident", false);
    EXPECT_EQ(shortie.Count(), 4);
    EXPECT_EQ(h.dialogs.boxes()[1].text, "Error: 9 -- Subscript out of range");
    auto unknown = h.table->Field_GetInfo("waypoint", "mystery", false);
    EXPECT_EQ(unknown.Count(), 3); // name, visible, alias; no catalogue row
    EXPECT_EQ(h.dialogs.boxes()[2].text, "Error: 5 -- Invalid procedure call or argument");
}

TEST_F(Lookups, ColumnFindHonoursAliasesAndTheRecordType)
{
    auto& g = h.grid;
    g.SetCols(6);
    g.SetTextMatrix(0, 1, "lat");
    g.SetTextMatrix(0, 2, "Latitude");
    g.SetTextMatrix(0, 3, "comment");
    g.SetTextMatrix(0, 4, "COMMENT");
    auto& t = *h.table;
    EXPECT_EQ(t.Column_Find("LAT", false), 1);
    EXPECT_EQ(t.Column_Find("lat", true), 2); // waypoint aliases lat as Latitude
    EXPECT_EQ(t.Column_Find("comment", true), 4); // the later of two
    EXPECT_EQ(t.Column_Find("depth", true), -1);
    EXPECT_EQ(t.Column_Find("", false), 5); // an empty text finds the last empty header
    // In a track table lat has no alias.
    h.settings.SaveSetting("fields", "track", "lat:1:lat:N:18:8");
    h.record_type = "track";
    EXPECT_EQ(t.Column_Find("lat", true), 1);
    // A changed list is seen at once.
    h.settings.SaveSetting("fields", "track", "lat:1:Latitude:N:18:8");
    EXPECT_EQ(t.Column_Find("lat", true), 2);
    h.record_type = "";
    EXPECT_EQ(t.Column_Find("lat", true), 2);
    EXPECT_EQ(h.record_type, "waypoint");
    // A header written is seen at once, by either search.
    g.SetTextMatrix(0, 2, "Lat2");
    EXPECT_EQ(t.Column_Find("lat", true), -1);
    EXPECT_EQ(t.Column_Find("Lat2", false), 2);
    // A list entry in error shows its box on every lookup, not only the first.
    h.settings.SaveSetting("fields", "waypoint", "lat:1:Lat2:N");
    const size_t boxes = h.dialogs.boxes().size();
    EXPECT_EQ(t.Column_Find("lat", true), 2);
    EXPECT_EQ(t.Column_Find("lat", true), 2);
    EXPECT_EQ(h.dialogs.boxes().size(), boxes + 2);
}

TEST_F(Lookups, AnotherGridIsSearchedAndFittedInPlace)
{
    platform::Grid photos(2, 3);
    photos.SetTextMatrix(0, 0, "FileName");
    photos.SetTextMatrix(0, 2, "GPSMatch");
    photos.SetTextMatrix(1, 0, "a_rather_long_photo_name.jpg");
    auto& t = *h.table;
    EXPECT_EQ(t.Column_Find(photos, "filename", false), 0);
    EXPECT_EQ(t.Column_Find(photos, "gpsmatch", false), 2);
    EXPECT_EQ(t.Column_Find(photos, "InternalDate", false), -1);
    // The records grid's own header is not consulted, nor changed.
    h.grid.SetTextMatrix(0, 1, "FileName");
    EXPECT_EQ(t.Column_Find(photos, "FileName", false), 0);
    const int records_width = h.grid.ColWidth(1);
    t.Columns_AutoFit(photos);
    EXPECT_GT(photos.ColWidth(0), photos.ColWidth(2));
    EXPECT_EQ(h.grid.ColWidth(1), records_width);
}

TEST_F(Lookups, RowValuesZeroNonNumbersInNumericFields)
{
    auto& g = h.grid;
    h.settings.SaveSetting("fields", "waypoint", "type:1:type:C:10:0,lat:1:Latitude:N:18:8,ident:1:ident:C:24:0");
    g.SetCols(5);
    g.SetColWidth(3, 0);
    const char* head[] = {"", "type", "Latitude", "ident", "mystery"};
    const char* row[] = {"1", "WAYPOINT", "abc", "hidden", "12x"};
    for (int c = 0; c < 5; ++c) {
        g.SetTextMatrix(0, c, head[c]);
        g.SetTextMatrix(1, c, row[c]);
    }
    EXPECT_EQ(h.table->Row_GetValues(1, false), "WAYPOINT;0;hidden;12x");
    EXPECT_EQ(h.table->Row_GetValues(1, true), "WAYPOINT;0;12x");
    EXPECT_EQ(h.table->Row_GetValues(0, false), "type;Latitude;ident;mystery");
    g.SetTextMatrix(1, 2, " -45.5 ");
    EXPECT_EQ(h.table->Row_GetValues(1, true), "WAYPOINT; -45.5 ;12x");
}

} // namespace
