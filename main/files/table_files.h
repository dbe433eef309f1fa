// The records table saved to and loaded from delimited text files, with the
// program's text log and log file, and the mapping of a loaded file's
// columns to the table's fields (frmFields, "Identify Fields").
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "main/table/table.h"
#include "platform/automation/variant.h"
#include "platform/shapefiles/shapefiles.h"

namespace app { class frmMain; }

namespace files {

struct FieldList {
    FieldList(std::string t, std::string l) : tag(std::move(t)), label(std::move(l)) {}
    std::string tag;   // the table field it stands for
    std::string label; // the caption of its label
    bool visible = true;
    std::vector<std::string> items;
    int ListIndex = -1;
    std::string Text() const { return ListIndex >= 0 && ListIndex < int(items.size()) ? items[std::size_t(ListIndex)] : ""; }
    // Selects the item with that text; false when there is none.
    bool select(const std::string& text);
};

// "Identify Fields": a list of file columns for each required field.
struct frmFields {
    std::string Caption = "Identify Fields";
    std::string Label1 = "Select Required Fields ";
    std::string cpDescription = "Description Information:";
    std::string cpSpatial = "Spatial Information:";
    bool cpSpatial_visible = true;
    FieldList cbxIdent{"ident", "Ident:"}, cbxComment{"comment", "Comment:"}, cbxLat{"lat", "Lat:"},
        cbxLong{"long", "Long:"}, cbxY_Proj{"y_proj", "Y_Proj:"}, cbxX_Proj{"x_proj", "X_Proj:"};
    std::string cmdOK_Caption = "OK", cmdCancel_Caption = "Cancel";
    std::string cmdOK_Tag; // "OK" or "Cancel": the last answer
    bool Visible = false;

    std::array<FieldList*, 6> lists() { return {&cbxIdent, &cbxComment, &cbxLat, &cbxLong, &cbxY_Proj, &cbxX_Proj}; }
    void cmdOK_Click() { cmdOK_Tag = "OK", Visible = false; }
    void cmdCancel_Click() { cmdOK_Tag = "Cancel", Visible = false; }
};

// What the ArcMap link's class object takes graphics through.
class GraphicsTarget {
public:
    virtual ~GraphicsTarget() = default;
    virtual void Graphics_SaveTo(const std::string& shape, const std::string& lat, const std::string& lon,
                                 const std::string& y_proj, const std::string& x_proj, bool new_segment,
                                 bool end) = 0;
};

// "Add World Files": the width of the images and where they lie.
struct frmWorldFiles {
    std::string Caption = "Add World Files";
    std::string Label1 = "Maximum Image Width (in Projected Coordinate Units):";
    std::string Label2 = "Where should the image reside in relation to the point?";
    std::string tbxWidth;
    std::string cboLocation = "Center";
    const std::vector<std::string> cboLocation_items{"Center",    "North", "Northeast", "East",     "Southeast",
                                                     "South",     "Southwest", "West", "Northwest"};
    bool cmdOK_Enabled = false;
    void tbxWidth_Change(const std::string& text);
    // Cancel, the close box and OK after writing: the next show starts
    // from an empty width at "Center".
    void Form_Unload() { tbxWidth.clear(), cboLocation = "Center", cmdOK_Enabled = false; }
};

// The table's file writers and readers of the main window.
class TableFiles {
public:
    explicit TableFiles(app::frmMain& main);

    app::frmMain& main() { return main_; }
    frmFields& fields_dialog() { return fields_; }
    // Shows frmFields modally: the view (or a test) answers it with
    // cmdOK_Click or cmdCancel_Click. Unset: the dialog is cancelled.
    std::function<void(frmFields&)> show_fields;

    // The table column (or -1) for each file column, ";"-joined, and the
    // projection mode (1: lat/long chosen, compute the projected columns;
    // 2: y_proj/x_proj chosen, compute lat/long; 0 otherwise). `names` are
    // the file's column names joined with ";"; chosen columns are renamed
    // in it to their fields' aliases. A column stands for a field when its
    // name equals the field's name or alias, or the first 10 characters of
    // either (all a dBASE table keeps), in any case. An empty list when
    // cancelled.
    std::pair<std::string, std::int16_t> get_Required_Fields(std::string& names, const std::string& kind,
                                                             const std::string& type);
    // The same on column names already apart (names may hold ";").
    std::pair<std::string, std::int16_t> required_fields(std::vector<std::string>& names, const std::string& kind,
                                                         const std::string& type);

    // --- delimited text ---------------------------------------------------
    bool Save_TextFile(const std::string& path, std::string delimiter, bool append);
    // Raises (VbError) what it cannot read; true at the file's end.
    bool Open_Textfile(const std::string& path);
    bool Textfile_Save(std::string& line, std::string path, bool append);
    // Raises what it cannot write.
    void Logfile_Write(const std::string& text, std::string path, bool raw, bool overwrite);

    // --- dBASE tables, projection and world files ------------------------------
    bool Save_DBF(const std::string& path, bool append);
    bool Open_DBF(const std::string& path);
    // `base`: the path without extension. Silent.
    void WritePRJ(const std::string& base, bool projected);
    // "point", "multipoint", "line", "polygon", "unknown"; "" on a failure.
    std::string get_ShapeFileType(const std::string& path);
    frmWorldFiles& world_files_dialog() { return world_; }
    // frmWorldFiles' OK: writes the world files and unloads the dialog.
    void frmWorldFiles_cmdOK_Click();
    void WorldFiles_Write(const std::string& width, const std::string& location);

    // --- shapefiles through the shapefile control -------------------------------
    bool Shapefile_Save(const std::string& shape, bool projected, const std::string& path, bool append);
    // `data`: columns of rows, row 0 holding the aliases; every row one vertex.
    bool Shapefile_SaveFromArray(const std::string& shape, const std::vector<std::vector<std::string>>& data,
                                 const std::string& path, bool append, const std::string& ident,
                                 std::int32_t& counter);
    bool Shapefile_NewEmpty(const std::string& shape, const std::string& path, bool append, std::int32_t& count);
    bool Shapefile_Load(const std::string& path);
    // Sends the selected rows (all rows when none is selected) to the
    // ArcMap link as graphics, one vertex at a time.
    void Graphics_Save(const std::string& shape, GraphicsTarget& target);
    platform::ShapeFiles& ShapeFiles1() { return shapefiles_; }

    // --- table arrays for the ArcMap link ------------------------------------
    // The visible columns of the selected rows (all rows when none is
    // selected) as a 2-D array indexed (field, record): record 0 the
    // headers, an empty cell " ". Empty after a failure (shown).
    platform::Variant Save_Array();
    // An array of that layout (at least two fields) into the table: the
    // "type" field of record 1 gives the record type, every value its own
    // cell, the missing coordinate pair is computed. False when nothing or
    // not every record was loaded.
    bool Open_Array(platform::Variant& array);

private:
    struct ShapeWriter;
    std::vector<flxgrd::CatalogField> field_entries();
    // Adds the entries' missing fields; true when one was added.
    bool add_missing_fields(const std::vector<flxgrd::CatalogField>& entries);
    bool control_free(const char* operation);
    // Opens the set to write (appending: checks the shape type) and adds
    // the missing fields.
    void open_set(const std::string& path, bool append, std::int32_t code,
                  const std::vector<flxgrd::CatalogField>& entries);
    // WritePRJ's text into that file.
    void write_prj(const std::string& file, bool projected);
    void set_record_type(const std::string& type);
    void set_controls(int state);
    std::string temp_folder();

    app::frmMain& main_;
    frmFields fields_;
    frmWorldFiles world_;
    platform::ShapeFiles shapefiles_;
    bool shapefiles_busy_ = false;
};

// A field name as a dBASE table holds it: the first 10 characters of its
// Windows-1252 form, given back as UTF-8.
std::string Field_StoredName(const std::string& name);

// The field number (from 1) whose name equals `name` cut to 10 characters,
// in any case; -1 when none.
int Shapefile_FieldIndex(const std::vector<platform::ShapeFiles::Field>& fields, const std::string& name);
// "N" 19, "C" 10, else 0.
std::int32_t Shapefile_FieldType(const std::string& letter);
// "point" 1, "line" 3, "polygon" 5, else 0.
std::int32_t Shapefile_ShapeTypeCode(const std::string& shape);

// The world file beside an image: the extension becomes its first and last
// letters and "w" (upper case for an upper-case extension).
std::string WorldFile_Name(const std::string& image);

// --- the delimited-text format ----------------------------------------------
// One line of cells: a cell holding the delimiter, a double quote or a line
// break is quoted, its quotes doubled; an empty cell is one blank.
std::string Text_JoinCells(const std::vector<std::string>& cells, const std::string& delimiter);
// The next record of `text` from `pos` (moved past its line end): cells split
// at the delimiter, a quoted cell taken whole (line breaks included). Lines
// end in CR LF, LF or CR. False at the end of the text.
bool Text_NextRecord(std::string_view text, std::size_t& pos, char delimiter, std::vector<std::string>& cells);
// The bytes of a text file as UTF-8: bytes that are not valid UTF-8 are
// read as Windows-1252.
std::string Text_Decode(std::string_view bytes);
// The record type a "type" value names (trimmed, any case); "waypoint" for
// any other text.
std::string Text_RecordType(const std::string& value);

} // namespace files
