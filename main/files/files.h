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

} // namespace files
