// Data file formats as the main window reaches them: the File menu's load
// and save entries, the world files for hotlinked images, and GPX files
// (the element tree itself is main/files/gpx.h).
#pragma once

#include <memory>
#include <optional>
#include <string>

namespace app { class frmMain; }

namespace files {

class FileFormats {
public:
    virtual ~FileFormats() = default;
    // mnuFileL (Load From File...), mnuAFile (Save To File...),
    // mnuAddWorldFile.
    virtual void menu_Click(const std::string& name, int index) = 0;
};

std::unique_ptr<FileFormats> make_file_formats(app::frmMain& main);

// --- GPX files (FileIO) -------------------------------------------------------
// Writes the selected rows (all rows when none is selected) of the current
// record type as a GPX 1.0 file; with `append` the points follow what the
// existing file holds, and a file that cannot be read is left alone (False).
bool GPXFile_Save(app::frmMain& main, const std::string& path, bool append);
// Clears the table, sets it to `type` ("waypoint", "track", "route") and
// inserts one row per point of that kind; x_proj/y_proj and ltime follow.
// `unit_model`: the connected mass-storage unit's description, which then
// fills each row's model. False when the file cannot be read or the table
// refuses a row (it keeps the rows before).
bool GPXFile_Load(app::frmMain& main, const std::string& type, const std::string& path,
                  const std::optional<std::string>& unit_model = std::nullopt);
// A height or depth between the units setting ("Meters", "Feet") and metres:
// numbers only ("" otherwise), written in the general number format.
std::string GPX_ConvertUnits(const std::string& units, const std::string& value, bool to_feet);

// --- Lowrance text and KML files (FileIO) ------------------------------------
// The selected rows (all rows when none is selected) as "lat, long, ident"
// lines in Windows-1252, CR LF ended; `append` adds them to the end of the
// file. Failures are shown and leave the file as it was (False).
bool LowranceFile_Save(app::frmMain& main, const std::string& path, bool append);
// A waypoint table from a Lowrance text (lines end at CR LF, LF or CR; blank
// lines are skipped). A file that cannot be read throws VbError to the
// caller with the table untouched; False when the table refused a row.
bool LowranceFile_Load(app::frmMain& main, const std::string& path);
// KML 2.1 placemarks of the selected rows: `shape` "point", "line" or
// "polygon" (any case), one line or polygon per segment. `append` inserts
// them into an existing document. Failures are shown (False, file unchanged).
bool KMLFile_Save(app::frmMain& main, const std::string& shape, const std::string& path, bool append);
// The placemarks of that shape as waypoint ("point") or track rows; the
// others are skipped. Failures are shown (False; a missing or unreadable
// file leaves the table as it was, a full table keeps the rows before).
bool KMLFile_Load(app::frmMain& main, const std::string& shape, const std::string& path);
// Google Earth's own place file: "$HOME/.googleearth/myplaces.kml".
std::string MyPlaces_File();

} // namespace files
