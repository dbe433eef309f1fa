// GPX files: the records table to and from the element tree.
#include "main/files/files.h"
#include "main/files/gpx.h"

#include "main/app/frm_main.h"
#include "main/coords/coords.h"
#include "main/table/table.h"
#include "platform/automation/vb_error.h"
#include "platform/settings/ini.h"
#include "platform/text/decimal.h"
#include "platform/text/vb.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialogs.h"

#include <algorithm>
#include <sys/stat.h>

namespace files {

namespace vb = platform::vb;
using platform::VbError;

namespace {

// The GPX field map: a table field and its GPX key, by position. The
// reader has one more pair (type); route keys differ on the two sides.
constexpr int kWrittenFields = 18;
constexpr const char* kTableFields[19] = {"lat",   "long",    "altitude", "time",   "mvar",   "ident", "comment",
                                          "model", "pfix",    "hdop",     "vdop",   "pdop",   "depth", "temp",
                                          "rident", "rcmnt",  "rnumber",  "new_seg", "type"};
const std::vector<std::string> kWriteKeys = {"lat",  "lon",  "ele",  "time",       "magvar",           "name",
                                             "cmt",  "src",  "fix",  "hdop",       "vdop",             "pdop",
                                             "gpxx:depth", "gpxx:temperature", "rname", "rcmt", "rnumber", "new_seg"};
const std::vector<std::string> kReadKeys = {"lat",  "lon",  "ele",  "time", "magvar", "name", "cmt",
                                            "src",  "fix",  "hdop", "vdop", "pdop",   "gpxx:depth",
                                            "gpxx:temperature", "name", "cmt", "number", "new_seg", "type"};
enum : size_t { kLat = 0, kLon = 1, kTime = 3, kFix = 8, kEle = 2, kModel = 7, kIdent = 5, kDepth = 12, kTemp = 13, kRident = 14, kRcmnt = 15, kRnumber = 16,
                kNewSeg = 17, kType = 18 };

constexpr std::string_view kFixKinds[] = {"none", "2d", "3d", "dgps", "pps"};

// The rows a command works on: the selection, or every data row.
std::pair<int, int> selected_rows(const app::AppState& s, const platform::Grid& g)
{
    int last_row = g.Rows() - 1;
    // A cleared table keeps one blank row that holds no record.
    if (last_row == 1 && g.TextMatrix(1, 0).empty())
        return {1, 0};
    if (s.selection_count <= 0)
        return {1, last_row};
    return {std::max(1, s.first_selected_row), std::min(last_row, s.last_selected_row)};
}

void report_save_error(app::frmMain& main, const VbError& e)
{
    main.dialogs().MsgBox("Error " + std::to_string(e.number) + ": " + e.description, platform::vbCritical,
                          "GPXFile_Save");
}

} // namespace

std::string GPX_ConvertUnits(const std::string& units, const std::string& value, bool to_feet)
{
    if (!vb::IsNumeric(value))
        return {};
    double factor = vb::LCase(units) == "feet" ? (to_feet ? 3.28084 : 0.3048) : 1.0;
    return vb::CStr(vb::CDbl(value) * factor);
}

bool GPXFile_Save(app::frmMain& main, const std::string& path, bool append)
{
    auto& table = main.table();
    auto& g = main.MSFlexGrid1;
    bool result = false;
    try {
        int cols[kWrittenFields];
        for (int i = 0; i < kWrittenFields; ++i)
            cols[i] = table.Column_Find(kTableFields[i], true);
        const std::string type = main.state().record_type;
        std::string lowered = vb::LCase(type);
        const char* point = lowered == "track" ? "trkpt" : lowered == "route" ? "rtept" : "wpt";
        auto [first, last] = selected_rows(main.state(), g);
        // A real-time row keeps its date and its time of day apart.
        const int date_col = lowered == "rtimewpt" ? table.Column_Find("date", true) : -1;

        clsGPXType root(&main.dialogs());
        if (append) {
            struct stat st;
            bool exists = ::stat(path.c_str(), &st) == 0;
            // What cannot be read is not replaced by the little that was.
            if (exists && !root.GPX_LoadFile(path)) {
                main.cursor().set_pointer(platform::vbDefault);
                return false;
            }
            if (exists && st.st_size > 0 && !platform::iequals(root.TypeString(), "gpx"))
                throw VbError(321, "GPXFile_Save", "Invalid file format");
        }
        root.GPX_SetHeader();

        std::vector<std::string> values(kWrittenFields);
        int count = 0;
        for (int r = first; r <= last; ++r) {
            for (int i = 0; i < kWrittenFields; ++i)
                values[size_t(i)] = cols[i] < 0 ? std::string() : g.TextMatrix(r, cols[i]);
            // GPX takes coordinates as plain decimals only.
            values[kLat] = platform::plain_decimal(values[kLat]);
            values[kLon] = platform::plain_decimal(values[kLon]);
            // GPX names five kinds of fix; another text (a receiver's fix
            // number or mode letter) would make the file invalid.
            if (!values[kFix].empty() &&
                std::find(std::begin(kFixKinds), std::end(kFixKinds), values[kFix]) == std::end(kFixKinds))
                values[kFix].clear();
            // A real-time row holds 0 for a depth or temperature no sentence
            // gave. GPX 1.0 takes another namespace's element only where a
            // schema declares it, so these stand-ins stay out (a reading is kept).
            if (date_col >= 0)
                for (size_t k : {kDepth, kTemp})
                    if (vb::IsNumeric(values[k]) && vb::CDbl(values[k]) == 0)
                        values[k].clear();
            if (date_col >= 0 && !g.TextMatrix(r, date_col).empty() && !values[kTime].empty())
                values[kTime] = g.TextMatrix(r, date_col) + " " + values[kTime];
            values[kEle] = GPX_ConvertUnits(main.state().unit, values[kEle], false);
            values[kDepth] = GPX_ConvertUnits(main.state().unit, values[kDepth], false);
            root.Point_Add(values, kWriteKeys, point, r == last);
            main.Set_Msg("Converting " + type + " Record " + std::to_string(++count) + " to GPX File");
        }
        result = root.GPX_WriteFile(path);
    } catch (const VbError& e) {
        report_save_error(main, e);
        result = false;
    } catch (const std::bad_alloc&) {
        report_save_error(main, VbError(7, "GPXFile_Save", "Out of memory"));
        result = false;
    }
    main.cursor().set_pointer(platform::vbDefault);
    return result;
}

bool GPXFile_Load(app::frmMain& main, const std::string& type, const std::string& path,
                  const std::optional<std::string>& unit_model)
{
    auto& table = main.table();
    bool result = true;
    try {
        clsGPXType root(&main.dialogs());
        struct stat st;
        // A file that is there but cannot be read leaves the table as it was.
        if (::stat(path.c_str(), &st) == 0 && !root.GPX_LoadFile(path))
            return false;

        table.Table_Clear();
        if (!main.panel_open())
            main.cmdAdvanced_Click();
        table.Table_SetType(type);
        std::string columns;
        for (int i = 0; i < 19; ++i) {
            if (i)
                columns += ';';
            columns += std::to_string(table.Column_Find(kTableFields[i], true));
        }

        const std::string units = main.state().unit;
        const std::string upper = vb::UCase(type);
        std::string line;
        // One row per point; `owner` is its track or route, `first` whether
        // it starts its segment or route. False: the table refused the row.
        auto insert = [&](const clsGPXType& p, const clsGPXType* owner, bool first, bool track) {
            auto values = p.Object_GetInformation(kReadKeys);
            for (auto& v : values)
                if (v.find('&') != std::string::npos)
                    v = XML_Decode(v);
            values[kEle] = GPX_ConvertUnits(units, values[kEle], true);
            values[kDepth] = GPX_ConvertUnits(units, values[kDepth], true);
            if (owner && track) {
                values[kIdent] = XML_Decode(owner->Element_GetDescription("name"));
            } else if (owner) {
                values[kRident] = XML_Decode(owner->Element_GetDescription("name"));
                values[kRcmnt] = XML_Decode(owner->Element_GetDescription("cmt"));
                values[kRnumber] = XML_Decode(owner->Element_GetDescription("number"));
            }
            if (owner)
                values[kNewSeg] = vb::CStr(first);
            values[kType] = upper;
            if (unit_model)
                values[kModel] = vb::Replace(*unit_model, "\t", " "); // a tab would split the row
            // The values go in as the tab-joined row would split again; a
            // value holding a tab (the reader leaves none) takes that road.
            if (std::none_of(values.begin(), values.end(),
                             [](const std::string& v) { return v.find('\t') != std::string::npos; }))
                return table.Records_InsertValues(values, columns);
            line.clear();
            for (size_t i = 0; i < values.size(); ++i) {
                if (i)
                    line += '\t';
                line += values[i];
            }
            return table.Records_Insert(line, columns, "", "\t", false);
        };

        // The points of one segment or route; False when the table is full.
        auto insert_all = [&](const clsGPXType& owner, const clsGPXType& holder, const char* point, bool track) {
            bool first = true;
            for (const auto& p : holder.Elements_Get(point)) {
                if (!insert(*p, &owner, first, track))
                    return false;
                first = false;
            }
            return true;
        };
        std::string kind = vb::LCase(type);
        bool full = false;
        if (kind == "waypoint") {
            for (const auto& w : root.Elements_Get("wpt"))
                if ((full = !insert(*w, nullptr, false, false)))
                    break;
        } else if (kind == "track") {
            for (const auto& t : root.Elements_Get("trk"))
                for (const auto& s : t->Elements_Get("trkseg"))
                    if (!full)
                        full = !insert_all(*t, *s, "trkpt", true);
        } else if (kind == "route") {
            for (const auto& r : root.Elements_Get("rte"))
                if (!full)
                    full = !insert_all(*r, *r, "rtept", false);
        }
        result = !full;
        main.coords().Project_Table(true);
        flxgrd::Time_CalculateLocal(table, main.state().time_zone, false);
    } catch (const VbError& e) {
        main.dialogs().MsgBox("Error Number: " + std::to_string(e.number) + ", " + e.description,
                              platform::vbExclamation, "FileIO.GPXFile_Load");
        return false;
    } catch (const std::bad_alloc&) {
        main.dialogs().MsgBox("Error Number: 7, Out of memory", platform::vbExclamation, "FileIO.GPXFile_Load");
        return false;
    }
    return result;
}

} // namespace files
