// Photo matching against the records table: dates read by the imaging
// server from copies of camera photos, the threshold and the calibration,
// list-order matching, and the "GPSMatch" column.
#include "tests/main/files/gpx_rig.h"

#include "main/hotlink/matching.h"

#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;
using gpxtest::Row;

namespace {

// The photo list as the hotlinking window lists DIR: the five camera
// photos, IMG_0001.JPG (a copy of DSCN0010.jpg) and noexif.jpg (stripped),
// in the file system's order of upper-cased names.
const char* const kListed[] = {"Canon_40D.jpg", "corrupted.jpg", "DSCN0010.jpg", "DSCN0012.jpg",
                               "IMG_0001.JPG",  "Nikon_D70.jpg", "noexif.jpg"};

struct MatchRig : gpxtest::GpxRig {
    platform::Grid photos{2, 3};
    hotlink::HotlinkCollection hotlinks;
    hotlink::ImagingServer server{dialogs, TREKFOLD_BINARY_DIR "/bin"};
    std::string folder = path("photos");

    MatchRig()
    {
        fs::create_directory(folder);
        photos.SetTextMatrix(0, 0, "FileName");
        photos.SetTextMatrix(0, 1, "InternalDate");
        photos.SetTextMatrix(0, 2, "GPSMatch");
    }
    void copy(const std::string& from, const std::string& to)
    {
        fs::copy_file(std::string(TREKFOLD_TESTDATA_DIR "/exif/") + from, folder + "/" + to);
    }
    // Copies of the shared photos and the two made ones.
    void make_dir()
    {
        for (const char* name : {"Canon_40D.jpg", "corrupted.jpg", "DSCN0010.jpg", "DSCN0012.jpg", "Nikon_D70.jpg"})
            copy(name, name);
        copy("DSCN0010.jpg", "IMG_0001.JPG");
        // DSCN0010.jpg without its EXIF segment (APP1).
        std::string jpeg = read(folder + "/DSCN0010.jpg"), stripped = jpeg.substr(0, 2);
        std::size_t at = 2;
        while (at + 4 <= jpeg.size() && std::uint8_t(jpeg[at]) == 0xFF && (std::uint8_t(jpeg[at + 1]) & 0xF0) == 0xE0) {
            const std::size_t length = 2 + (std::uint8_t(jpeg[at + 2]) << 8 | std::uint8_t(jpeg[at + 3]));
            if (std::uint8_t(jpeg[at + 1]) != 0xE1) stripped += jpeg.substr(at, length);
            at += length;
        }
        gpxtest::write_file(folder + "/noexif.jpg", stripped + jpeg.substr(at));
    }
    static std::string read(const std::string& file)
    {
        std::ifstream in(file, std::ios::binary);
        return std::string((std::istreambuf_iterator<char>(in)), {});
    }
    // The list rows, each date read by the server.
    void list(const std::vector<std::string>& names)
    {
        photos.SetRows(1);
        photos.SetRows(names.empty() ? 2 : int(names.size()) + 1);
        for (std::size_t i = 0; i < names.size(); ++i) {
            photos.SetTextMatrix(int(i) + 1, 0, names[i]);
            photos.SetTextMatrix(int(i) + 1, 1, server.getInternalDate(folder + "/" + names[i]));
        }
    }
    void list_dir() { list(std::vector<std::string>(std::begin(kListed), std::end(kListed))); }
    hotlink::MatchRequest request(const std::string& threshold, const std::string& calibration, bool best = true)
    {
        return {table(), photos, folder, best, threshold, calibration, dialogs, hotlinks};
    }
    void match(const std::string& threshold, const std::string& calibration, bool best = true)
    {
        auto r = request(threshold, calibration, best);
        hotlink::cmdMatch(r);
    }
    std::string linked(int row)
    {
        const std::string f = cell(row, "filename");
        return f.rfind(folder + "/", 0) == 0 ? f.substr(folder.size() + 1) : f;
    }
    std::string gps_match(const std::string& name)
    {
        for (int r = 1; r < photos.Rows(); ++r)
            if (photos.TextMatrix(r, 0) == name) return photos.TextMatrix(r, 2);
        return "<not listed>";
    }
};

const std::vector<Row> kTrack = {{{"ident", "T1"}, {"time", "2008/10/23-14:27:07"}},
                                 {{"ident", "T2"}, {"time", "2008/10/23-14:28:17"}},
                                 {{"ident", "T3"}, {"time", "2008/05/30-15:56:31"}}};

TEST(PhotoMatch, TrackMatchedByCaptureTimeWithCalibrationAndThreshold)
{
    MatchRig rig;
    rig.make_dir();
    rig.list_dir();
    const char* dates[] = {"2008:05:30 15:56:01", "2015:09:08 11:02:17", "2008:10:22 16:28:39", "2008:10:22 16:29:49",
                           "2008:10:22 16:28:39", "2008:03:15 09:52:01", ""};
    for (int r = 1; r <= 7; ++r) EXPECT_EQ(rig.photos.TextMatrix(r, 1), dates[r - 1]) << kListed[r - 1];

    rig.fill("track", kTrack);
    rig.match("1:0:0", "0");
    EXPECT_EQ(rig.linked(1), "");
    EXPECT_EQ(rig.linked(2), "");
    EXPECT_EQ(rig.linked(3), "Canon_40D.jpg"); // 30 s
    EXPECT_EQ(rig.gps_match("Canon_40D.jpg"), "T3");

    // The camera 79,108 s behind: T1 is DSCN0010's moment (IMG_0001.JPG ties
    // lower in the list), T3 is too far now and keeps its photo.
    rig.match("1:0:0", "-79108");
    EXPECT_EQ(rig.linked(1), "DSCN0010.jpg");
    EXPECT_EQ(rig.linked(2), "DSCN0012.jpg");
    EXPECT_EQ(rig.linked(3), "Canon_40D.jpg");
    EXPECT_EQ(rig.gps_match("DSCN0010.jpg"), "T1");
    EXPECT_EQ(rig.gps_match("DSCN0012.jpg"), "T2");
    EXPECT_EQ(rig.gps_match("IMG_0001.JPG"), "");

    // No limit: the nearest photo at any distance.
    rig.match("0:0:0", "0");
    EXPECT_EQ(rig.linked(1), "DSCN0012.jpg");
    EXPECT_EQ(rig.linked(2), "DSCN0012.jpg");
    EXPECT_EQ(rig.gps_match("DSCN0012.jpg"), "T1,T2");
    EXPECT_EQ(rig.gps_match("DSCN0010.jpg"), "");
    EXPECT_TRUE(rig.dialogs.boxes().empty());
    EXPECT_GT(rig.photos.ColWidth(0), 250); // the list's widths fitted
}

TEST(PhotoMatch, WaypointCommentsAndRealTimeDateWithTime)
{
    MatchRig rig;
    rig.make_dir();
    rig.list_dir();
    rig.fill("waypoint", {{{"ident", "W1"}, {"comment", "CRTD 14:27 23-OCT-08"}},
                          {{"ident", "W2"}, {"comment", "picnic"}, {"filename", "/kept.jpg"}}});
    rig.match("1:0:0", "-79108");
    EXPECT_EQ(rig.linked(1), "DSCN0010.jpg"); // 7 s
    EXPECT_EQ(rig.cell(2, "filename"), "/kept.jpg");

    rig.fill("rtimewpt", {{{"ident", "R1"}, {"date", "10/23/2008"}, {"time", "14:28:17"}}});
    rig.match("1:0:0", "-79108");
    EXPECT_EQ(rig.linked(1), "DSCN0012.jpg");
}

TEST(PhotoMatch, ThresholdTiesAndCalibrationEdges)
{
    MatchRig rig;
    // A patch of the same length moves DSCN0010's capture an hour on.
    rig.copy("DSCN0010.jpg", "late.jpg");
    {
        const std::string file = rig.folder + "/late.jpg";
        std::string bytes = MatchRig::read(file);
        for (std::size_t at; (at = bytes.find("2008:10:22 16:28:39")) != std::string::npos;)
            bytes.replace(at, 19, "2008:10:22 17:28:39");
        std::ofstream(file, std::ios::binary | std::ios::trunc) << bytes;
    }
    rig.list({"late.jpg"});
    EXPECT_EQ(rig.photos.TextMatrix(1, 1), "2008:10:22 17:28:39");
    const auto one = [&](const std::string& when, const std::string& threshold, const std::string& calibration) {
        auto r = rig.request(threshold, calibration);
        hotlink::createHotlinkCollection(r, 1);
        return hotlink::matchDates(r, when);
    };
    EXPECT_EQ(one("2008/10/22 16:28:40", "1:0:0", "0"), "late.jpg"); // 3599 s
    EXPECT_EQ(one("2008/10/22 16:28:39", "1:0:0", "0"), "");         // 3600 s
    EXPECT_EQ(one("2008/10/22 16:28:39", "1:0:0", "3600"), "late.jpg"); // camera an hour ahead
    EXPECT_EQ(one("2008/10/22 16:28:39", "0.5:30:1", "0"), "late.jpg"); // 1800 + 1800 + 1

    // Ties: the photo higher in the list wins, whichever way the difference goes.
    rig.photos.SetRows(3);
    rig.photos.SetTextMatrix(1, 0, "before.jpg"), rig.photos.SetTextMatrix(1, 1, "2006:05:04 11:59:50");
    rig.photos.SetTextMatrix(2, 0, "after.jpg"), rig.photos.SetTextMatrix(2, 1, "2006/05/04 12:00:10");
    EXPECT_EQ(one("2006/05/04 12:00:00", "1:0:0", "0"), "before.jpg");
    rig.photos.SetTextMatrix(1, 1, "");
    EXPECT_EQ(one("2006/05/04 12:00:00", "1:0:0", "0"), "after.jpg");
    EXPECT_EQ(one("2006/05/04 12:00:00", "1:0:0", "-3590"), ""); // 3600 s once calibrated
    EXPECT_EQ(hotlink::Threshold_Seconds("2:30:0"), 9000);
    EXPECT_TRUE(rig.dialogs.boxes().empty());
}

TEST(PhotoMatch, BadThresholdBoxesForEveryRecordAndTheRestGoesOn)
{
    MatchRig rig;
    rig.list({});
    rig.photos.SetTextMatrix(1, 0, "a.jpg"), rig.photos.SetTextMatrix(1, 1, "2008:10:23 14:27:07");
    rig.fill("track", kTrack);
    for (const char* threshold : {"x:0:0", "1:0", "600000:0:0"}) {
        rig.dialogs.clear();
        rig.match(threshold, "0");
        ASSERT_EQ(rig.dialogs.boxes().size(), 3u) << threshold;
        EXPECT_EQ(rig.dialogs.boxes()[0].title, "frmHotlinking.matchDates");
        EXPECT_EQ(rig.dialogs.boxes()[0].style, platform::vbCritical);
        EXPECT_EQ(rig.linked(1), "");
    }
    EXPECT_EQ(rig.dialogs.boxes()[0].text, "Error 6: Overflow. Source: Trekfold");
    rig.dialogs.clear();
    rig.match("1:0:0", "soon");
    EXPECT_EQ(rig.dialogs.boxes().size(), 3u);
    EXPECT_EQ(rig.dialogs.boxes()[0].text, "Error 13: Type mismatch. Source: Trekfold");
}

TEST(PhotoMatch, ListOrderLinksRowsUpToTheListAndAnEmptyListNothing)
{
    MatchRig rig;
    rig.make_dir();
    rig.list_dir();
    std::vector<Row> rows;
    for (int i = 1; i <= 9; ++i)
        rows.push_back({{"ident", "P" + std::to_string(i)}, {"filename", "/old" + std::to_string(i)}});
    rig.fill("track", rows);
    rig.match("1:0:0", "0", false);
    for (int r = 1; r <= 7; ++r) EXPECT_EQ(rig.linked(r), kListed[r - 1]);
    EXPECT_EQ(rig.cell(8, "filename"), "/old8");
    EXPECT_EQ(rig.cell(9, "filename"), "/old9");
    EXPECT_EQ(rig.gps_match("noexif.jpg"), "P7");

    // A folder without photos keeps one empty row: nothing is linked.
    rig.table().Table_Clear();
    rig.fill("track", rows);
    rig.list({});
    rig.match("1:0:0", "0", false);
    EXPECT_EQ(rig.cell(1, "filename"), "/old1");
    EXPECT_TRUE(rig.dialogs.boxes().empty());
}

TEST(PhotoMatch, NoFilenameColumnNoServerAndNoDate)
{
    MatchRig rig;
    rig.copy("DSCN0010.jpg", "a.jpg");
    rig.list({"a.jpg"});
    rig.fill("track", kTrack);
    platform::Grid& g = rig.main.MSFlexGrid1;
    const int file_col = rig.table().Column_Find("filename", true);
    g.SetTextMatrix(0, file_col, "picture");
    rig.match("0:0:0", "0");
    EXPECT_TRUE(rig.dialogs.boxes().empty());
    EXPECT_EQ(g.TextMatrix(1, file_col), "");
    EXPECT_EQ(hotlink::createWaypointCollection(rig.table(), rig.dialogs).Count(), 0);

    // Without the server: the box, and no date.
    const std::string empty = rig.path("empty");
    fs::create_directory(empty);
    hotlink::ImagingServer none(rig.dialogs, empty);
    EXPECT_EQ(none.getInternalDate(rig.folder + "/a.jpg"), "");
    ASSERT_EQ(rig.dialogs.boxes().size(), 1u);
    EXPECT_EQ(rig.dialogs.boxes()[0].title, "frmHotlinking.getInternalDate");
    EXPECT_EQ(rig.dialogs.boxes()[0].text, "Error 429: ActiveX component can't create object. Source: Trekfold");
    int w = 0, h = 0;
    EXPECT_FALSE(none.getImageDimensions(rig.folder + "/a.jpg", w, h));
    EXPECT_EQ(rig.dialogs.boxes().back().title, "frmHotlinking.getImageDimensions");
    // With it: a file that is not an image has no date and no size, and no box.
    gpxtest::write_file(rig.folder + "/b.jpg", "not an image");
    EXPECT_EQ(rig.server.getInternalDate(rig.folder + "/b.jpg"), "");
    EXPECT_FALSE(rig.server.getImageDimensions(rig.folder + "/b.jpg", w, h));
    EXPECT_TRUE(rig.server.getImageDimensions(rig.folder + "/a.jpg", w, h));
    EXPECT_EQ(w * 1000 + h, 640480);
    EXPECT_EQ(rig.dialogs.boxes().size(), 2u);
}

} // namespace
