// The records table (module flxgrd): the grid that holds the records of one
// record type, its layout from the stored field definition lists, appending
// records, switching the type of a loaded table, segment colouring, column
// widths, and the field lookups every subsystem goes through.
//
// The table owns no program-wide state: the main window hands it a
// TableContext with references to its state and the services it calls back.
#pragma once

#include "platform/automation/collection.h"
#include "platform/grid/grid.h"
#include "platform/settings/settings.h"
#include "platform/text/vb.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialogs.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace flxgrd {

class frmWptSelect;
namespace detail { struct RouteNames; }

struct TableContext {
    platform::Grid& grid;         // MSFlexGrid1
    platform::Settings& settings; // application "trekfold"
    platform::Dialogs& dialogs;
    std::string& record_type;       // "waypoint", "track", "route", "rtimewpt"
    std::int32_t& record_counter;   // records appended since the last clear
    std::int64_t& segment_counter;  // waypoint rows + track rows starting a segment
    std::int32_t& selection_count;
    std::int32_t& first_selected_row;
    std::int32_t& last_selected_row;
    std::int32_t& upload_cursor;
    const bool& real_time;          // mutes the insert's error box

    std::function<void(int)> Set_Controls = {};                // UI state 1..8
    std::function<void(const std::string&)> Set_Msg = {};     // status line
    std::function<void(const std::string&)> Set_Selected = {}; // status panel 3
    // The table panel: whether it is open, and cmdAdvanced_Click (the first
    // insert into an empty table opens it).
    std::function<bool()> panel_open = {};
    std::function<void()> cmdAdvanced_Click = {};
    // The record-type option buttons: which is ticked ("waypoint", ...), and
    // ticking one without running its handler. Unset: the table remembers.
    std::function<std::string()> option_ticked = {};
    std::function<void(const std::string&)> tick_option = {};
    // The route defaults run after colouring a route table.
    std::function<void()> Set_RouteDefault = {};
    // The settings dialog's repair of the stored lists; unset: Fields_Repair.
    std::function<void(const std::string&)> SetFieldSettings = {};
    platform::Cursor* cursor = nullptr;          // hourglass while colouring
    // Editing and copying: the clipboard, the waypoint picker (kept by the
    // main window), the settings dialog's unload (hiding columns rebuilds
    // it), and the photo-hotlinking window's table with its folder when
    // that window is loaded and active (copy reads it then).
    std::function<platform::Clipboard*()> clipboard = {};
    std::function<frmWptSelect*()> picker = {};
    std::function<void()> unload_properties = {};
    std::function<const platform::Grid*(std::string& folder)> msfgTable = {};
    std::function<platform::vb::Date()> now = {};      // unset: the system clock
};

// One catalogue row: name, dBASE type ("C"/"N"), width, decimals, ordinal.
struct CatalogField {
    std::string name, type;
    int width, decimals, ordinal;
};

constexpr int kMaxRecords = 32766;

// The record types, in the order of their option buttons (optWpt, optTrk,
// optRte, optRTWpt) and the order every lookup walks them.
inline constexpr const char* kRecordTypes[4] = {"waypoint", "track", "route", "rtimewpt"};
// The record type whose option button stands for `type`: the type itself
// when it is one of the four, else "waypoint".
const char* Option_Type(std::string_view type);
constexpr platform::Color kSegmentColor = platform::RGB(200, 255, 255);

// The 57 known fields, keyed by field key (a new collection each call).
platform::Collection<CatalogField> Fields_Catalog();
// The catalogue row of a key; nullptr when unknown (no collection built).
const CatalogField* Catalog_Find(std::string_view key);
// The default definition list of a record type ("" for other texts).
std::string Fields_DefaultList(std::string_view type);
// The list part of the settings dialog's SetFieldSettings: keeps each stored
// list that looks whole, writes the default for the others; `reset_type`
// names a type whose list is replaced whatever it holds.
void Fields_Repair(platform::Settings& settings, const std::string& reset_type);

class Table {
public:
    explicit Table(TableContext context);
    ~Table();

    // --- layout and records -------------------------------------------
    bool Table_SetType(const std::string& type);
    void Table_Clear();
    bool Records_Insert(const std::string& values, const std::string& columns = {},
                        const std::string& unused = {}, const std::string& delimiter = ";", bool flag = false);
    // The same insert with the values already apart: each value goes whole
    // into its column (a value may hold any delimiter).
    bool Records_InsertValues(const std::vector<std::string>& values, const std::string& columns = {});
    std::string RecordType_Get() const;
    void Table_ChangeType(const std::string& type);
    void Columns_Load(const std::string& type);
    void Rows_Color(int start_row);
    void Columns_AutoFit();
    void Column_FitWidth(int col, int lower_width = 0, int other_width = 0);
    // The same on another grid (the photo list of the hotlinking window).
    void Columns_AutoFit(platform::Grid& grid);
    void Column_FitWidth(platform::Grid& grid, int col, int lower_width = 0, int other_width = 0);
    void Selection_Reset();
    // The first and last selected row; 1 and the grid's last row when no
    // whole rows are selected.
    std::array<int, 2> Selection_GetRange(const platform::Grid& grid) const;
    // False when, in a row of that range, a listed column holds blank text
    // or, with kind "number", text that is not a number. Every cell is
    // examined; a column outside the grid ends the check with its result
    // so far.
    bool Selection_CheckValues(const platform::Grid& grid, const std::vector<int>& columns,
                               const std::string& kind) const;

    // --- selection and editing (selection.cpp) --------------------------
    // The grid's selection change: panel 3 and the selection count;
    // returns first row, last row, count (0 unless whole rows).
    std::array<int, 3> Selection_Count();
    void Selection_Clear();
    // Deletes the selected whole rows, hides the selected whole columns
    // (the required ones stay), blanks a block, or clears the table.
    void Selection_Delete();
    // Double-click editing of the selected cells (the picker for symbols).
    void Cell_Edit();
    // Folds or unfolds the rows after the segment start `row`.
    void Segment_Toggle(int row);
    static double Text_FirstNumber(std::string_view text);
    // The selected visible cells, tab and CR LF separated, to the clipboard.
    void Selection_Copy();
    // Clipboard text into `grid` from the selection end on; never adds rows.
    void Selection_Paste(platform::Grid& grid);
    // Default point names ("Rte" n) and route names ("Route" n) of a route table.
    void Set_RouteDefault();

    platform::PictureRef Symbol_GetPicture(const std::string& symbol, const std::string& unused = {}) const;
    static bool Value_IsTrue(std::string_view value);

    // --- fields ---------------------------------------------------------
    std::vector<std::string> Fields_GetList(const std::string& type, bool skip_hidden, bool use_alias) const;
    std::string Field_GetAlias(const std::string& type, const std::string& name) const;
    std::string Field_GetName(const std::string& alias, const std::string& type) const;
    platform::Collection<std::string> Field_GetInfo(const std::string& type, const std::string& name,
                                                   bool by_alias) const;
    int Column_Find(const std::string& name, bool use_alias) const;
    // The column of a header in another grid, the name through the current
    // record type's aliases when `use_alias`; -1 when absent.
    int Column_Find(const platform::Grid& grid, const std::string& name, bool use_alias) const;
    std::string Row_GetValues(int row, bool visible_only) const;

    // The image lists: symbols keyed "*" + code (tag = name), and
    // "check"/"uncheck".
    struct Image {
        std::string key, tag;
        platform::PictureRef picture;
    };
    const platform::Collection<Image>& ImageList1() const;
    const platform::Collection<Image>& ImageList2() const;

    TableContext& context() { return ctx_; }

private:
    // The lower-case header text a name stands for (its alias when asked).
    std::string header_wanted(const std::string& name, bool use_alias, bool& shown) const;
    bool insert_row(const std::vector<std::string>* values, const std::string& columns);
    detail::RouteNames& route_names();
    struct Impl;
    TableContext ctx_;
    std::unique_ptr<Impl> impl_;
};

// --- dates and the time columns (time.cpp) ------------------------------------
// Normalises a date-time text (receiver comments, GPX and EXIF times) in
// place and returns it; with `to_iso` a date becomes "yyyy-mm-ddThh:mm:ssZ".
std::string Date_Validate(std::string& text, bool to_iso);
// Fills "ltime" from "time" (or "date" and "time") of every data row, or
// "time" from "ltime" (or "comment") with `to_utc`, by the time-zone
// setting: "Local Computer Time" (the zone's rules at each row's own date,
// TZ honoured) or a whole number of hours.
void Time_CalculateLocal(Table& table, const std::string& time_zone, bool to_utc);

} // namespace flxgrd
