// Data file formats as the main window reaches them: the File menu's load
// and save entries, the world files for hotlinked images, and GPX files
// (the element tree itself is main/files/gpx.h).
#pragma once

#include <functional>
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

class TableFiles;

// "Output Shape": the shape a track or route is written as.
struct frmShape {
    std::string Caption = "Output Shape";
    std::string Label1 = "Please Define the Output Shape";
    bool optPolygon = false, optLine = true, optPoint = false; // captions and tags: their words
    std::string cmdOK_Tag = "False";
    bool Visible = false;
    void Form_Unload() { Visible = false; }
    void cmdOK_Click() { Form_Unload(), cmdOK_Tag = "True"; }
    // The close box: the window is unloaded, the next show loads it afresh.
    void close() { *this = frmShape{}; }
};

// "Feature Type": the record type a GPX file is loaded as.
struct frmFeatureType {
    std::string Caption = "Feature Type";
    std::string Label1 = "Please Define the Feature Type";
    bool optWaypoint = false, optTrack = true, optRoute = false;
    std::string cmdOK_Tag = "False";
    bool Visible = false;
    void Form_Unload() { Visible = false; }
    void cmdOK_Click() { Form_Unload(), cmdOK_Tag = "True"; }
    void close() { *this = frmFeatureType{}; }
};

// What getFileInfo answers: an empty name when the user cancelled.
struct FileInfo {
    std::string name;
    std::string type_key; // extension + filter suffix ("shp_p", "txt_comma"...), or "graphic"
    std::string shape;    // "Point", "Line", "Polygon"
    bool append = false;
};

// The save and load front end of the main window: asks for the file, the
// format, the shape and the append mode, and hands the table to the
// matching writer or reader.
class FileFrontEnd : public FileFormats {
public:
    explicit FileFrontEnd(app::frmMain& main);
    ~FileFrontEnd() override;
    void menu_Click(const std::string& name, int index) override;

    // Modal shows of the two dialogs and of frmWorldFiles: the view (or a
    // test) answers with cmdOK_Click or close. Unset: the dialogs confirm
    // the option they show; frmWorldFiles is not shown.
    std::function<void(frmShape&)> show_shape;
    std::function<void(frmFeatureType&)> show_feature_type;
    std::function<void()> show_world_files;
    frmShape& shape_dialog() { return shape_; }
    frmFeatureType& feature_type_dialog() { return feature_; }
    TableFiles& table_files() { return *tf_; }

    // "" (every format), "graphic" (the temporary shapefile, no dialog) or
    // another word (shapefiles only).
    FileInfo getFileInfo(const std::string& target);
    // The name, with `target` rewritten to the type key; "" when cancelled.
    std::string getFileInfo_UserFilename(std::string& target, bool& append);
    // "Point" for points; tracks and routes bound for a shapefile, the
    // graphic or KML ask frmShape. "" when the dialog was closed.
    std::string getFileInfo_UserShapeType(const std::string& type_key, const std::string& record_type);
    // True with `type` ("waypoint", "track", "route") when confirmed.
    bool getFileInfo_UserFeatureType(std::string& type);
    // A shapefile of the table; its name, "" when nothing was written.
    std::string WriteShapefile();
    void mnuAFile_Click();
    void mnuFileL_Click();
    void mnuAddWorldFile_Click();

private:
    void error_box(const std::exception& e, const std::string& where);
    void to_arcmap(const std::string& path);

    app::frmMain& main_;
    std::unique_ptr<TableFiles> tf_;
    frmShape shape_;
    frmFeatureType feature_;
};

// The save and load dialogs' filters ("|"-joined description/pattern pairs).
extern const char* const kSaveFilters;
extern const char* const kLoadFilters;
// The file's last three characters in lower case with the suffix of the
// save filter entry (1 "_p", 2 "_u", 4 "_comma", 8 "_lowrance").
std::string FileInfo_TypeKey(const std::string& path, int filter_index);

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
// Google Earth's place file: "$APPDATA/google/googleearth/myplaces.kml"
// when it exists, else "$HOME/.googleearth/myplaces.kml" (the first again
// when neither exists and APPDATA is set).
std::string MyPlaces_File();

} // namespace files
