// Matching file columns to the table's fields: whole names in any case,
// the dialog and what its answers do to the column list.
#include "tablefiles_rig.h"

using tablefiles::FilesRig;

namespace {

std::string col(FilesRig& rig, const char* field) { return std::to_string(rig.table().Column_Find(field, true)); }

TEST(FieldMapping, AllAliasesPresentNeedNoDialog)
{
    FilesRig rig;
    rig.fill("waypoint", {});
    std::string names = "IDENT;Comment;lat;long;y_proj;x_proj;junk";
    auto [cols, mode] = rig.tf.get_Required_Fields(names, "txt", "waypoint");
    EXPECT_EQ(rig.fields_shown, 0);
    EXPECT_EQ(mode, 0);
    EXPECT_EQ(cols, col(rig, "ident") + ";" + col(rig, "comment") + ";" + col(rig, "lat") + ";" + col(rig, "long") +
                        ";" + col(rig, "y_proj") + ";" + col(rig, "x_proj") + ";-1");
    // Shapefile attributes of a track need nothing at all.
    rig.fill("track", {});
    std::string one = "whatever";
    EXPECT_EQ(rig.tf.get_Required_Fields(one, "shp", "track").first, "-1");
    EXPECT_EQ(rig.fields_shown, 0);
}

// A column stands for a field by the field's name or alias, or either cut
// to the 10 characters a dBASE table keeps; a longer or shorter cut is no
// match.
TEST(FieldMapping, NamesAliasesAndTheirStoredCuts)
{
    FilesRig rig;
    std::string list = flxgrd::Fields_DefaultList("waypoint");
    list = platform::vb::Replace(list, "lat:1:lat", "lat:1:Latitude");
    list = platform::vb::Replace(list, "ident:1:ident", "ident:1:Identifier_of_the_point");
    list = platform::vb::Replace(list, "altitude:1:altitude", "altitude:1:Elevation_metres");
    rig.settings.SaveSetting("fields", "waypoint", list);
    rig.fill("waypoint", {});
    std::string names = "IDENTIFIER;comment;LAT;longitude_degrees;long;y_proj;x_proj;elevation_;Elevation_m";
    auto [cols, mode] = rig.tf.get_Required_Fields(names, "dbf", "waypoint");
    EXPECT_EQ(rig.fields_shown, 0);
    EXPECT_EQ(mode, 0);
    EXPECT_EQ(cols, col(rig, "ident") + ";" + col(rig, "comment") + ";" + col(rig, "lat") + ";-1;" + col(rig, "long") +
                        ";" + col(rig, "y_proj") + ";" + col(rig, "x_proj") + ";" + col(rig, "altitude") + ";-1");

    // The dialog preselects a column found by its cut name; choosing the
    // sequence takes that column out too.
    rig.answer = [](files::frmFields& f) {
        EXPECT_EQ(f.cbxIdent.Text(), "IDENTIFIER");
        f.cbxIdent.ListIndex = 0;
        f.cmdOK_Click();
    };
    names = "IDENTIFIER;Latitude";
    cols = rig.tf.get_Required_Fields(names, "txt", "waypoint").first;
    EXPECT_EQ(rig.fields_shown, 1);
    EXPECT_EQ(names, "Id;Latitude");
    EXPECT_EQ(cols, "-1;" + col(rig, "lat"));
}

TEST(FieldMapping, WholeNamesAreTestedAndRenamed)
{
    FilesRig rig;
    rig.fill("waypoint", {});
    files::frmFields* seen = nullptr;
    std::string ident_choice;
    rig.answer = [&](files::frmFields& f) {
        seen = &f;
        ident_choice = f.cbxIdent.Text();
        EXPECT_TRUE(f.cbxIdent.select("id"));
        EXPECT_TRUE(f.cbxLat.select("LAT"));
        EXPECT_TRUE(f.cbxLong.select("lon"));
        f.cmdOK_Click();
    };
    // "latitude" is not lat, FLAT keeps its name, rident is no ident.
    std::string names = "name;id;latitude;FLAT;LAT;lon;rident";
    auto [cols, mode] = rig.tf.get_Required_Fields(names, "txt", "waypoint");
    ASSERT_EQ(rig.fields_shown, 1);
    EXPECT_EQ(ident_choice, "Sequential ID");
    EXPECT_EQ(seen->cbxComment.Text(), "Today's Date");
    EXPECT_EQ(seen->cbxIdent.label, "ident");
    EXPECT_TRUE(seen->cpSpatial_visible);
    EXPECT_EQ(names, "name;ident;latitude;FLAT;lat;long;rident");
    EXPECT_EQ(mode, 1);
    EXPECT_EQ(cols, "-1;" + col(rig, "ident") + ";-1;-1;" + col(rig, "lat") + ";" + col(rig, "long") + ";-1");
}

TEST(FieldMapping, ProjectionModesAndCancel)
{
    FilesRig rig;
    rig.fill("track", {});
    rig.answer = [](files::frmFields& f) {
        f.cbxLat.select("a"), f.cbxLong.select("b"), f.cbxY_Proj.select("c"), f.cbxX_Proj.select("d");
        f.cmdOK_Click();
    };
    std::string names = "a;b;c;d";
    EXPECT_EQ(rig.tf.get_Required_Fields(names, "dbf", "track").second, 0);
    EXPECT_FALSE(rig.tf.fields_dialog().cbxComment.visible);
    rig.answer = [](files::frmFields& f) { f.cbxY_Proj.select("c"), f.cbxX_Proj.select("d"), f.cmdOK_Click(); };
    names = "a;b;c;d";
    EXPECT_EQ(rig.tf.get_Required_Fields(names, "dbf", "track").second, 2);
    rig.answer = [](files::frmFields& f) { f.cmdCancel_Click(); };
    names = "a;b";
    auto r = rig.tf.get_Required_Fields(names, "txt", "track");
    EXPECT_EQ(r.first, "");
    EXPECT_EQ(r.second, 0);
    EXPECT_EQ(rig.cursor.pointer(), platform::vbDefault);
}

TEST(FieldMapping, SequentialIdAndTodaysDateGiveUpTheColumns)
{
    FilesRig rig;
    rig.fill("waypoint", {});
    rig.answer = [](files::frmFields& f) { f.cmdOK_Click(); }; // the defaults
    std::string names = "ident;comment;x";
    rig.tf.get_Required_Fields(names, "txt", "waypoint");
    EXPECT_EQ(names, "ident;comment;x"); // found columns keep their names
    rig.answer = [](files::frmFields& f) {
        f.cbxIdent.ListIndex = 0, f.cbxComment.ListIndex = 0;
        f.cmdOK_Click();
    };
    auto cols = rig.tf.get_Required_Fields(names, "txt", "waypoint").first;
    EXPECT_EQ(names, "Id;cmt;x");
    EXPECT_EQ(cols, "-1;-1;-1");
}

} // namespace
