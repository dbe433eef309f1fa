// The hotlinking window from outside: photo copies listed with their
// capture dates as ImageMagick's identify reads them, the list sorted,
// edited and copied, photo files renamed and previewed, the match values
// kept between runs.
#include "tests/tools/trekfold-probe/probe_run.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>

namespace {

using probetest::Home;
using probetest::json;
using probetest::ProbeRun;
namespace fs = std::filesystem;

const char* const kPhotos[] = {"Canon_40D.jpg", "corrupted.jpg", "DSCN0010.jpg", "DSCN0012.jpg", "Nikon_D70.jpg"};

struct Photos : testing::Test {
    Home home;
    std::string dir = home.path + "/photos";
    Photos()
    {
        ::setenv("TZ", "UTC", 1);
        fs::create_directories(dir);
        for (const char* n : kPhotos) fs::copy_file(TREKFOLD_TESTDATA_DIR "/exif/" + std::string(n), dir + "/" + n);
        fs::copy_file(dir + "/DSCN0010.jpg", dir + "/IMG_0001.JPG");
        EXPECT_EQ(std::system(("convert " + dir + "/DSCN0010.jpg -strip " + dir + "/noexif.jpg").c_str()), 0);
    }
    ProbeRun probe(std::vector<std::string> words)
    {
        words.insert(words.begin(), {"--home", home.path, "menu", "mnuHotlinks", "text", "frmHotlinking.Dir1", dir});
        ProbeRun r = probetest::run(words);
        EXPECT_EQ(r.status, 0) << r.err;
        return r;
    }
    static std::vector<json> grids(const ProbeRun& r)
    {
        std::vector<json> out;
        for (const json& l : r.with("window"))
            if (l["window"] == "frmHotlinking") out.push_back(l["grids"]["msfgTable"]);
        return out;
    }
    static std::vector<std::string> column(const json& grid, int c)
    {
        std::vector<std::string> out;
        for (std::size_t r = 1; r < grid.size(); ++r) out.push_back(grid[r][c]);
        return out;
    }
    std::string identify(const std::string& name)
    {
        std::string out;
        FILE* p = ::popen(("identify -format '%[EXIF:DateTimeOriginal]' '" + dir + "/" + name + "' 2>/dev/null").c_str(), "r");
        for (int c; p && (c = std::fgetc(p)) != EOF;) out += char(c);
        if (p) ::pclose(p);
        return out;
    }
};

TEST_F(Photos, ListedWithTheDatesIdentifyReads)
{
    ProbeRun r = probe({"window", "frmHotlinking", "choose", "frmHotlinking.cboFileType", "*.tif", "window",
                        "frmHotlinking"});
    const auto g = grids(r);
    ASSERT_EQ(g.size(), 2u);
    EXPECT_EQ(g[0][0], json({"FileName", "InternalDate", "GPSMatch"}));
    const std::vector<std::string> names = column(g[0], 0);
    EXPECT_EQ(names, (std::vector<std::string>{"Canon_40D.jpg", "corrupted.jpg", "DSCN0010.jpg", "DSCN0012.jpg",
                                               "IMG_0001.JPG", "Nikon_D70.jpg", "noexif.jpg"}));
    for (std::size_t k = 0; k < names.size(); ++k) {
        EXPECT_EQ(g[0][k + 1][1], identify(names[k])) << names[k];
        EXPECT_EQ(g[0][k + 1][2], "");
    }
    EXPECT_EQ(g[0][1][1], "2008:05:30 15:56:01");
    EXPECT_EQ(g[1], json::parse(R"([["FileName","InternalDate","GPSMatch"],["","",""]])"));
    EXPECT_FALSE(r.window("frmHotlinking")["controls"]["chkPreview"]["enabled"]);
}

TEST_F(Photos, SortedResizedEditedAndRenamed)
{
    const std::string before = test_support::read_file(dir + "/DSCN0012.jpg");
    ProbeRun r = probe({"cell", "frmHotlinking.msfgTable", "0", "1", "window", "frmHotlinking",
                        "cell", "frmHotlinking.msfgTable", "0", "1", "window", "frmHotlinking",
                        "resize", "frmHotlinking", "3000", "3000", "window", "frmHotlinking"});
    auto g = grids(r);
    ASSERT_EQ(g.size(), 3u);
    EXPECT_EQ(column(g[0], 1), (std::vector<std::string>{"2015:09:08 11:02:17", "2008:10:22 16:29:49",
                                                         "2008:10:22 16:28:39", "2008:10:22 16:28:39",
                                                         "2008:05:30 15:56:01", "2008:03:15 09:52:01", ""}));
    EXPECT_EQ(g[0][3][0], "DSCN0010.jpg");
    EXPECT_EQ(column(g[1], 1).front(), "");
    const json w = r.window("frmHotlinking");
    EXPECT_EQ(w["width"], 8500);
    EXPECT_EQ(w["height"], 5500);
    EXPECT_EQ(w["controls"]["msfgTable"]["width"], 8000);
    EXPECT_EQ(w["controls"]["msfgTable"]["height"], 2000);

    r = probe({"window", "frmHotlinking", "cell", "frmHotlinking.msfgTable", "1", "0", "menu", "frmHotlinking.cmdUp",
               "cell", "frmHotlinking.msfgTable", "7", "0", "menu", "frmHotlinking.cmdDown", "window", "frmHotlinking",
               "answer", "trip.jpeg", "dblcell", "frmHotlinking.msfgTable", "5", "0",
               "answer", "DSCN0012", "dblcell", "frmHotlinking.msfgTable", "3", "0", "window", "frmHotlinking",
               "cell", "frmHotlinking.msfgTable", "1", "0", "7", "2", "menu", "frmHotlinking.cmdDeleteSel",
               "window", "frmHotlinking"});
    g = grids(r);
    ASSERT_EQ(g.size(), 4u);
    EXPECT_EQ(g[1], g[0]);
    EXPECT_EQ(g[2][5][0], "trip.JPG");
    EXPECT_TRUE(fs::exists(dir + "/trip.JPG"));
    EXPECT_EQ(g[2][3][0], "DSCN0010.jpg");
    EXPECT_TRUE(r.box("Error 58: File already exists. Source: Trekfold"));
    for (const json& b : r.boxes())
        if (b["box"] == "Error 58: File already exists. Source: Trekfold") {
            EXPECT_EQ(b["style"], 16);
            EXPECT_EQ(b["title"], "frmHotlinking.msfgTable_dblClick");
        }
    EXPECT_EQ(test_support::read_file(dir + "/DSCN0012.jpg"), before);
    EXPECT_EQ(test_support::read_file(dir + "/DSCN0010.jpg"), test_support::read_file(dir + "/trip.JPG"));
    EXPECT_EQ(g[3], json::parse(R"([["FileName","InternalDate","GPSMatch"],["noexif.jpg","",""]])"));
}

TEST_F(Photos, PreviewedCopiedAndKept)
{
    const std::string big = home.path + "/big";
    home.write("big/big.jpg", std::string(6'000'000, 'x'));
    ProbeRun r = probe({"cell", "frmHotlinking.msfgTable", "3", "0", "window", "frmHotlinking",
                        "cell", "frmHotlinking.msfgTable", "1", "0", "2", "1", "menu", "frmHotlinking.cmdCopy",
                        "clipboard?", "menu", "cmdCopy", "clipboard?",
                        "menu", "frmHotlinking.cmdSetCalibration", "text", "frmTimeCalibrate.tbxHours", "0",
                        "text", "frmTimeCalibrate.tbxMinutes", "30", "text", "frmTimeCalibrate.tbxSeconds", "0",
                        "text", "frmTimeCalibrate.tbxCalibration", "-5", "menu", "frmTimeCalibrate.cmdOK",
                        "close", "frmHotlinking",
                        "menu", "mnuHotlinks", "text", "frmHotlinking.Dir1", big,
                        "cell", "frmHotlinking.msfgTable", "1", "1", "cell", "frmHotlinking.msfgTable", "1", "0",
                        "window", "frmHotlinking"});
    const json shown = r.with("window").front();
    const json size = shown["pictures"]["pictPreview"];
    EXPECT_EQ(size[0].get<int>() * 3, size[1].get<int>() * 4);
    EXPECT_LE(size[0].get<int>(), shown["controls"]["pictPreview"]["width"].get<int>() / 15);
    const auto clips = r.with("clipboard");
    ASSERT_EQ(clips.size(), 2u);
    EXPECT_EQ(clips[0]["clipboard"], dir + "/Canon_40D.jpg\t2008:05:30 15:56:01\r\n" + dir +
                                         "/corrupted.jpg\t2015:09:08 11:02:17\r\n");
    EXPECT_NE(clips[1]["clipboard"], clips[0]["clipboard"]);
    bool too_big = false;
    for (const json& b : r.boxes()) too_big |= b["box"] == "File too big to preview" && b["style"] == 48;
    EXPECT_TRUE(too_big);
    EXPECT_FALSE(r.window("frmHotlinking")["controls"]["chkPreview"]["value"]);

    const std::string ini = home.ini();
    EXPECT_NE(ini.find("threshold=0:30:0"), std::string::npos) << ini;
    EXPECT_NE(ini.find("calibration=-5"), std::string::npos) << ini;
    r = probe({"window", "frmHotlinking"});
    EXPECT_EQ(r.window("frmHotlinking")["controls"]["lblTimeMatch"]["caption"], "0:30:0");
    EXPECT_EQ(r.window("frmHotlinking")["controls"]["lblTimeCalibration"]["caption"], "-5");
}

TEST_F(Photos, MatchedToTrackRowsWithTheCalibrationFromOnePhoto)
{
    // The DSCN photos' GPS times, and one half a minute after Canon_40D.jpg.
    ProbeRun r = probetest::run({"--home", home.path, "type", "track", "row", "ident=T1", "time=2008/10/23-14:27:07",
                                 "row", "ident=T2", "time=2008/10/23-14:28:17", "row", "ident=T3",
                                 "time=2008/05/30-15:56:31", "menu", "mnuHotlinks", "text", "frmHotlinking.Dir1", dir,
                                 "menu", "frmHotlinking.cmdMatch", "table",
                                 "menu", "frmHotlinking.cmdSetCalibration", "cell", "frmHotlinking.msfgTable", "3", "0",
                                 "click", "1", "13", "window", "frmTimeCalibrate", "menu", "frmTimeCalibrate.cmdOK",
                                 "menu", "frmHotlinking.cmdMatch", "table", "window", "frmHotlinking",
                                 "menu", "frmHotlinking.cmdSetCalibration", "text", "frmTimeCalibrate.tbxHours", "0",
                                 "text", "frmTimeCalibrate.tbxCalibration", "0", "menu", "frmTimeCalibrate.cmdOK",
                                 "menu", "frmHotlinking.cmdMatch", "table", "window", "frmHotlinking"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::vector<std::string>> tables(1);
    for (const json& l : r.lines) {
        if (l.contains("fields") && !tables.back().empty()) tables.emplace_back();
        if (l.contains("row")) tables.back().push_back(l["filename"]);
    }
    ASSERT_EQ(tables.size(), 3u);
    EXPECT_EQ(tables[0], (std::vector<std::string>{"", "", dir + "/Canon_40D.jpg"}));
    EXPECT_EQ(tables[1], (std::vector<std::string>{dir + "/DSCN0010.jpg", dir + "/DSCN0012.jpg", dir + "/Canon_40D.jpg"}));
    EXPECT_EQ(tables[2], (std::vector<std::string>{dir + "/DSCN0012.jpg", dir + "/DSCN0012.jpg", dir + "/Canon_40D.jpg"}));
    const json d = r.window("frmTimeCalibrate")["controls"];
    EXPECT_EQ(d["tbxIDate"]["text"], "10/22/2008");
    EXPECT_EQ(d["tbxITime"]["text"], "16:28:39");
    EXPECT_EQ(d["tbxGPSDate"]["text"], "10/23/2008");
    EXPECT_EQ(d["tbxCalibration"]["text"], "-79108");
    EXPECT_EQ(d["tbxCalibration"]["hint"], "0_-21:-58:-28");
    const auto g = grids(r);
    ASSERT_EQ(g.size(), 2u);
    EXPECT_EQ(column(g[0], 2), (std::vector<std::string>{"T3", "", "T1", "T2", "", "", ""}));
    EXPECT_EQ(column(g[1], 2), (std::vector<std::string>{"T3", "", "", "T1,T2", "", "", ""}));
    EXPECT_EQ(r.with("window")[1]["controls"]["lblTimeCalibration"]["hint"], "0_-21:-58:-28");
}

} // namespace
