// Photo matching of the hotlinking window: the photos of its list linked to
// the records of the records table by capture time (with the camera clock
// calibration and the time threshold) or by list order, the list's
// "GPSMatch" column, and the imaging server's answers for one photo file.
//
// Who calls what:
//   frmHotlinking.cmdMatch_Click        builds a MatchRequest, calls cmdMatch
//   frmHotlinking.Form_Load and
//   mnuRefreshMatch_Click               checkForExistingHotlink
//   frmHotlinking.Dir1_Change           ImagingServer::getInternalDate per file
//   WorldFiles_Write (main/files)       main.hotlink().getImageDimensions,
//                                       which forwards to ImagingServer
// The functions work over explicit inputs, not over the window: each traps
// its own errors and shows them as the box "Error n: description. Source:
// source", critical, titled "frmHotlinking." & its name.
#pragma once

#include "platform/automation/collection.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform { class ClassRegistry; class Dialogs; class Grid; }
namespace flxgrd { class Table; }

namespace hotlink {

// The imaging server "glimmerax.image", created late-bound through a class
// registry of `folder` (the program folder) for each query and dropped at
// once.
class ImagingServer {
public:
    ImagingServer(platform::Dialogs& dialogs, const std::string& folder);
    ~ImagingServer();
    ImagingServer(const ImagingServer&) = delete;
    ImagingServer& operator=(const ImagingServer&) = delete;

    // The photo's "DateTimeOriginal" text ("2008:10:22 16:28:39"); "" when
    // the photo has none. No server: the "frmHotlinking.getInternalDate"
    // box and "".
    std::string getInternalDate(const std::string& path);
    // The pixel size of an image file; false when the server does not
    // identify it (no box) or cannot be created (the
    // "frmHotlinking.getImageDimensions" box).
    bool getImageDimensions(const std::string& path, int& width, int& height);

private:
    platform::Dialogs& dialogs_;
    std::unique_ptr<platform::ClassRegistry> registry_;
};

// One photo of the hotlink collection: the capture date text and the file
// name of a photo list row, with the date read once (absent: not a date).
struct Hotlink {
    std::string date, name;
    std::optional<std::int64_t> seconds;
};
using HotlinkCollection = std::vector<Hotlink>;

// The inputs of one match over the main window's records table and the
// hotlinking window's photo list.
struct MatchRequest {
    flxgrd::Table& table;        // the records table (MSFlexGrid1, its fields, its record type)
    platform::Grid& msfgTable;   // row 0 "FileName", "InternalDate", "GPSMatch"
    std::string folder;          // Dir1.Path; full paths are folder & "/" & name
    bool best_match = true;      // optBestMatch; false: optNonDate (list order)
    std::string threshold = "1:0:0"; // lblTimeMatch caption, "h:m:s"
    std::string calibration = "0";   // lblTimeCalibration caption, seconds
    platform::Dialogs& dialogs;
    HotlinkCollection& hotlinks; // the window's hotlink collection, rebuilt by cmdMatch
};

// cmdMatch_Click's work: "filename" cells written, then
// checkForExistingHotlink and the photo list's column widths fitted.
void cmdMatch(MatchRequest& request);
// The hotlink collection from the photo list's rows, the dates read from
// column `date_col`; false (the previous collection kept) after an error.
bool createHotlinkCollection(MatchRequest& request, int date_col);
// The file name of the best photo of the request's hotlink collection for
// one record time, or "".
std::string matchDates(const MatchRequest& request, const std::string& record_time);

// One entry of the waypoint collection: a "filename" text and the idents
// of the records holding it, joined by ",".
struct WaypointLink {
    std::string filename, idents;
};
// Keyed by "filename" text (keys compare without regard to case); empty
// without a "filename" column or after an error.
platform::Collection<WaypointLink> createWaypointCollection(flxgrd::Table& table, platform::Dialogs& dialogs);
// Refills the photo list's "GPSMatch" column from the records table.
void checkForExistingHotlink(flxgrd::Table& table, platform::Grid& msfgTable, const std::string& folder,
                             platform::Dialogs& dialogs);

// The threshold caption in seconds (0: no limit); throws the conversion
// error (13, 6 on overflow, 9 for fewer than three parts).
std::int64_t Threshold_Seconds(const std::string& threshold);

} // namespace hotlink
