// Lowrance export text through a real main window: the bytes written, the
// append, a failed save, and what the load makes of each kind of line.
#include "tests/main/files/gpx_rig.h"

#include "platform/automation/vb_error.h"

using gpxtest::GpxRig;
using gpxtest::read_file;
using gpxtest::write_file;

namespace {

TEST(LowranceSave, LinesAsTheTableShowsThemAndFailures)
{
    GpxRig rig;
    rig.fill("waypoint", {{{"lat", "45.5"}, {"long", "-93.25"}, {"ident", "HOME"}},
                          {{"lat", "44.1"}, {"long", "-92.5"}, {"ident", ""}},
                          {{"lat", "1"}, {"long", "2"}, {"ident", "Caf\xC3\xA9"}}});
    std::string file = rig.path("w.txt");
    ASSERT_TRUE(files::LowranceFile_Save(rig.main, file, false));
    const std::string once = "45.5, -93.25, HOME\r\n44.1, -92.5,  \r\n1, 2, Caf\xE9\r\n"; // Windows-1252
    EXPECT_EQ(read_file(file), once);
    ASSERT_TRUE(files::LowranceFile_Save(rig.main, file, true));
    EXPECT_EQ(read_file(file), once + once);
    ASSERT_TRUE(files::LowranceFile_Save(rig.main, file, false));
    EXPECT_EQ(read_file(file), once);
    EXPECT_EQ(rig.main.StatusBar1[1], "");

    EXPECT_FALSE(files::LowranceFile_Save(rig.main, rig.path("no/such/folder.txt"), false));
    EXPECT_EQ(rig.dialogs.last()->text, "Error #76 - Path not found");
    EXPECT_EQ(rig.dialogs.last()->title, "fileio.LowranceFile_Save");
    EXPECT_EQ(rig.dialogs.last()->icon(), platform::vbCritical);
    EXPECT_EQ(rig.cursor.pointer(), platform::vbDefault);
}

TEST(LowranceLoad, LineEndingsBlankLinesValueCountsAndAMissingFile)
{
    GpxRig rig;
    std::string file = rig.path("in.txt");
    write_file(file, "45.5,-93.25,HOME\n  44.1 , -92.5 , Caf\xE9 \r\n\r\n46,-90\r47,-91,X,TRACK\n   \n");
    ASSERT_TRUE(files::LowranceFile_Load(rig.main, file));
    ASSERT_EQ(rig.rows(), 4);
    EXPECT_EQ(rig.cell(1, "lat") + "|" + rig.cell(1, "long") + "|" + rig.cell(1, "ident") + "|" + rig.cell(1, "type"),
              "45.5|-93.25|HOME|WAYPOINT");
    EXPECT_EQ(rig.cell(2, "lat") + "|" + rig.cell(2, "ident"), "44.1|Caf\xC3\xA9");
    EXPECT_EQ(rig.cell(3, "ident") + "|" + rig.cell(3, "type"), "WAYPOINT|"); // two values
    EXPECT_EQ(rig.cell(4, "type"), "TRACK");                                   // four values
    EXPECT_EQ(rig.cursor.pointer(), platform::vbDefault);

    rig.fill("track", {{{"lat", "1"}, {"long", "2"}}});
    EXPECT_THROW(files::LowranceFile_Load(rig.main, rig.path("missing.txt")), platform::VbError);
    EXPECT_EQ(rig.main.state().record_type, "track");
    EXPECT_EQ(rig.rows(), 1);
    EXPECT_EQ(rig.cursor.pointer(), platform::vbDefault);
}

} // namespace
