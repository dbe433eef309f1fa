// Delimited text files: what the save writes, the load's reading of quoted
// cells, line ends, code pages and types, safe saves, the text log and the
// program log.
#include "tablefiles_rig.h"

#include <filesystem>


using gpxtest::read_file;
using gpxtest::write_file;
using tablefiles::FilesRig;

namespace {

const std::vector<gpxtest::Row> kRows = {{{"ident", "A;1"}, {"lat", "45.5"}, {"long", "-75.25"}, {"comment", "say \"hi\", ok"}},
                                         {{"ident", "B"}, {"lat", "46"}, {"long", "-75"}, {"comment", ""}}};

TEST(TextFileFormat, QuotesOnlyCellsThatNeedThem)
{
    EXPECT_EQ(files::Text_JoinCells({"a", "", "b c"}, ";"), "a; ;b c");
    EXPECT_EQ(files::Text_JoinCells({"a;b", "x,y", "q\"q", "l\nm"}, ";"), "\"a;b\";x,y;\"q\"\"q\";\"l\nm\"");
    std::string text = "a;\"b;\"\"c\nd\";e\r\nf\rg\n\n";
    std::size_t pos = 0;
    std::vector<std::string> cells;
    std::vector<std::vector<std::string>> all;
    while (files::Text_NextRecord(text, pos, ';', cells)) all.push_back(cells);
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0], (std::vector<std::string>{"a", "b;\"c\nd", "e"}));
    EXPECT_EQ(all[1], (std::vector<std::string>{"f"}));
    EXPECT_EQ(all[2], (std::vector<std::string>{"g"}));
    EXPECT_EQ(all[3], (std::vector<std::string>{""}));
    EXPECT_EQ(files::Text_Decode("caf\xE9"), "caf\xC3\xA9");
    EXPECT_EQ(files::Text_Decode("caf\xC3\xA9"), "caf\xC3\xA9");
    EXPECT_EQ(files::Text_RecordType("TRACK "), "track");
    EXPECT_EQ(files::Text_RecordType("boat"), "waypoint");
}

TEST(TextFile, SaveAndLoadKeepEveryCell)
{
    for (const char* delimiter : {";", ","}) {
        FilesRig rig;
        rig.fill("waypoint", kRows);
        std::string file = rig.path("w.txt");
        ASSERT_TRUE(rig.tf.Save_TextFile(file, delimiter, false));
        std::string s = read_file(file);
        EXPECT_EQ(s.substr(0, 5), std::string("type") + delimiter);
        EXPECT_NE(s.find("\"say \"\"hi\"\", ok\""), std::string::npos) << s;
        EXPECT_EQ(rig.main.StatusBar1[1], "");
        rig.table().Table_Clear();
        ASSERT_TRUE(rig.tf.Open_Textfile(file));
        EXPECT_EQ(rig.fields_shown, 0);
        ASSERT_EQ(rig.rows(), 2);
        EXPECT_EQ(rig.cell(1, "ident"), "A;1");
        EXPECT_EQ(rig.cell(1, "comment"), "say \"hi\", ok");
        EXPECT_EQ(rig.cell(2, "long"), "-75");
        EXPECT_EQ(rig.cell(2, "comment"), "");
        EXPECT_EQ(rig.main.state().record_counter, 2);
        EXPECT_EQ(rig.cursor.pointer(), platform::vbDefault);
        // Appending adds rows and no header.
        ASSERT_TRUE(rig.tf.Save_TextFile(file, delimiter, true));
        ASSERT_TRUE(rig.tf.Open_Textfile(file));
        EXPECT_EQ(rig.rows(), 4);
    }
}

TEST(TextFile, PlainCellsAreWrittenAsTheyStand)
{
    FilesRig rig;
    rig.fill("waypoint", {{{"ident", "A"}, {"lat", "1"}, {"long", "2"}, {"comment", "c"}}});
    std::string file = rig.path("p.txt");
    ASSERT_TRUE(rig.tf.Save_TextFile(file, "", false));
    std::string s = read_file(file);
    EXPECT_EQ(s.find('"'), std::string::npos);
    EXPECT_EQ(s.find("\r\n ;A;1;2; ; ;c; "), s.find("\r\n"));
    EXPECT_EQ(s.substr(s.size() - 2), "\r\n");
}

TEST(TextFile, PeerStyleFilesTypesAndBlankLines)
{
    FilesRig rig;
    std::string file = rig.path("peer.csv");
    write_file(file, "Type,Ident,Lat,Long,Y_Proj,X_Proj\n\"TRACK \",\"a,b\",1,2,,\n\n"
                     "track,\"caf\xE9 \"\"y\"\"\",3,4,,\n");
    ASSERT_TRUE(rig.tf.Open_Textfile(file));
    EXPECT_EQ(rig.main.state().record_type, "track");
    ASSERT_EQ(rig.rows(), 2);
    EXPECT_EQ(rig.cell(1, "ident"), "a,b");
    EXPECT_EQ(rig.cell(2, "ident"), "caf\xC3\xA9 \"y\"");
    EXPECT_EQ(rig.cell(2, "lat"), "3");
    // Unknown types load as waypoints; a header alone leaves the table empty.
    write_file(file, "type;ident;lat;long;comment;y_proj;x_proj\rboat;z;1;2;c;;\r");
    ASSERT_TRUE(rig.tf.Open_Textfile(file));
    EXPECT_EQ(rig.main.state().record_type, "waypoint");
    EXPECT_EQ(rig.cell(1, "ident"), "z");
    write_file(file, "type;ident;lat;long;comment;y_proj;x_proj\r\n");
    ASSERT_TRUE(rig.tf.Open_Textfile(file));
    EXPECT_EQ(rig.main.state().record_counter, 0);
}

TEST(TextFile, MissingIdentAsksAndCancelLeavesTheTableEmpty)
{
    FilesRig rig;
    std::string file = rig.path("noid.txt");
    write_file(file, "name;lat;long\r\nP;1;2\r\n");
    std::string shown;
    rig.answer = [&](files::frmFields& f) {
        shown = f.cbxIdent.Text();
        f.cbxIdent.select("name");
        f.cmdOK_Click();
    };
    ASSERT_TRUE(rig.tf.Open_Textfile(file));
    EXPECT_EQ(shown, "Sequential ID");
    EXPECT_EQ(rig.cell(1, "ident"), "P");
    rig.answer = [](files::frmFields& f) { f.cmdCancel_Click(); };
    EXPECT_FALSE(rig.tf.Open_Textfile(file));
    EXPECT_EQ(rig.main.state().record_counter, 0);
    EXPECT_EQ(rig.cursor.pointer(), platform::vbDefault);
    EXPECT_THROW(rig.tf.Open_Textfile(rig.path("missing.txt")), platform::VbError);
    EXPECT_EQ(rig.cursor.pointer(), platform::vbDefault);
}

TEST(TextFile, FailedSaveLeavesThePreviousFile)
{
    FilesRig rig;
    rig.fill("waypoint", kRows);
    std::string file = rig.path("old.txt");
    write_file(file, "old\r\n");
    for (bool append : {false, true})
        EXPECT_EQ(tablefiles::limited(rig, 100, [&] { return rig.tf.Save_TextFile(file, ";", append); }),
                  "0 frmMain.Save_TextFile|Error #61 - Disk full");
    EXPECT_EQ(read_file(file), "old\r\n");
    for (const auto& e : std::filesystem::directory_iterator(rig.dir.path)) // no temporary left
        EXPECT_TRUE(e.path().filename() == "old.txt" || e.path().filename() == "dev" ||
                    e.path().filename() == "trekfold.ini") << e.path();
    EXPECT_FALSE(rig.tf.Save_TextFile(rig.path("no/such/dir.txt"), ";", false));
}

TEST(TextLog, HeaderOnceAndLogLines)
{
    FilesRig rig;
    rig.fill("waypoint", {});
    std::string file = rig.path("log.txt");
    std::string line = "a;b";
    ASSERT_TRUE(rig.tf.Textfile_Save(line, file, true));
    EXPECT_EQ(line.substr(0, 5), "type;");
    std::string second = "c;d";
    ASSERT_TRUE(rig.tf.Textfile_Save(second, file, true));
    EXPECT_EQ(second, "c;d");
    EXPECT_EQ(read_file(file), line + "\r\nc;d\r\n");
    EXPECT_FALSE(rig.tf.Textfile_Save(second, rig.path("no/dir/x.txt"), true));
    EXPECT_EQ(rig.boxes_titled("Textfile_Save"), 1);

    std::string log = rig.path("run.log");
    rig.tf.Logfile_Write("one", log, true, false);
    rig.tf.Logfile_Write("two", log, false, false);
    std::string s = read_file(log);
    EXPECT_EQ(s.substr(0, 5), "one\r\n");
    EXPECT_NE(s.find(" - two\r\n"), std::string::npos);
    EXPECT_NE(s.find("M - two"), std::string::npos); // AM or PM
    rig.tf.Logfile_Write("three", log, true, true);
    EXPECT_EQ(read_file(log), "three\r\n");
    EXPECT_THROW(rig.tf.Logfile_Write("x", rig.path("no/dir/x.log"), true, false), platform::VbError);
}

TEST(TextLog, AnAppendThatDoesNotFitLeavesWholeLines)
{
    FilesRig rig;
    rig.fill("waypoint", {});
    const std::string file = rig.path("log.txt");
    write_file(file, "type;ident\r\nWPT;one\r\n");
    std::string line = "WPT;" + std::string(200, 'x');
    EXPECT_EQ(tablefiles::limited(rig, 100, [&] { return rig.tf.Textfile_Save(line, file, true); }),
              "0 Textfile_Save|Error 61: Disk full");
    EXPECT_EQ(read_file(file), "type;ident\r\nWPT;one\r\n");

    // A log that the failed append would have started is not left empty
    // (it would then never get its header line).
    const std::string fresh = rig.path("fresh.txt");
    EXPECT_EQ(tablefiles::limited(rig, 10, [&] { return rig.tf.Textfile_Save(line, fresh, true); }),
              "0 Textfile_Save|Error 61: Disk full");
    EXPECT_FALSE(std::filesystem::exists(fresh));
}

} // namespace
