// The LandView link: the exchange folder and files beside the DDE messages,
// the message counter and the link on ToDDE.
#include "main/links/gis_links.h"

#include "main/app/frm_main.h"
#include "main/files/files.h"
#include "main/files/table_files.h"
#include "main/table/table.h"
#include "main/transfer/transfer.h"
#include "platform/automation/vb_error.h"
#include "platform/dde/dde.h"
#include "platform/events/events.h"
#include "platform/settings/stored_file.h"
#include "platform/text/cp1252.h"
#include "platform/text/vb.h"
#include "platform/ui/dialogs.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <sys/stat.h>

namespace links {

namespace vb = platform::vb;
using platform::VbError;

namespace {

constexpr const char* kTempFile = "GarminTempFile.txt";

files::FileFrontEnd& file_front_end(app::frmMain& main)
{
    auto* fe = dynamic_cast<files::FileFrontEnd*>(&main.files());
    if (!fe) throw VbError(91, "", "Object variable or With block variable not set");
    return *fe;
}

// A column by field name, else by alias; -1 when the table has neither.
int find_column(flxgrd::Table& table, const std::string& name)
{
    const int c = table.Column_Find(name, false);
    return c >= 0 ? c : table.Column_Find(name, true);
}

// The rows a LandView command works on: the selected rows, or every data
// row when nothing is selected (none in an empty table).
std::vector<int> chosen_rows(app::frmMain& main)
{
    const platform::Grid& g = main.MSFlexGrid1;
    std::vector<int> rows;
    const auto range = main.table().Selection_GetRange(g);
    for (int r = std::max(1, range[0]); r <= range[1] && r < g.Rows(); ++r) {
        if (g.Rows() == 2 && g.TextMatrix(r, 0).empty()) continue; // the empty table's blank row
        rows.push_back(r);
    }
    return rows;
}

std::string fit(std::string bytes, std::size_t width)
{
    bytes.resize(width, ' ');
    return bytes;
}

std::string row_or_text(const std::string& text, int row)
{
    std::string s = vb::Trim(text).empty() ? std::to_string(row) : text;
    for (char& ch : s)
        if (ch == ',') ch = '_';
    return s;
}

} // namespace

std::string LV_UserListLine(const std::string& lat, const std::string& lon, std::string ident, std::string comment,
                            int row)
{
    using platform::utf8_to_cp1252;
    return fit(utf8_to_cp1252(lat), 10) + "," + fit(utf8_to_cp1252(lon), 10) + "," +
           fit(utf8_to_cp1252(row_or_text(ident, row)), 20) + "," + fit(utf8_to_cp1252(row_or_text(comment, row)), 9);
}

std::string LV_GetTheWord(std::string text, int n)
{
    while (!text.empty() && text.front() == ' ') text.erase(0, 1);
    while (!text.empty() && text.back() == ',') text.pop_back();
    // Runs of commas become one (a comma in the first place stays as it is).
    for (std::size_t i = 1; i + 1 < text.size(); ++i)
        while (i + 1 < text.size() && text[i] == ',' && text[i + 1] == ',') text.erase(i + 1, 1);
    std::size_t start = 0, commas = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != ',') continue;
        if (++commas == std::size_t(n)) return text.substr(start, i - start);
        start = i + 1;
    }
    return start <= text.size() ? text.substr(start) : std::string();
}

bool Links::LV_DirExists(const std::string& path)
{
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    if (errno == ENOENT || errno == ENOTDIR) return false;
    main_.dialogs().MsgBox("Error Finding: " + path, platform::vbCritical, "Directory Does Not Exist");
    return false;
}

bool Links::LV_FileExists(const std::string& path)
{
    if (path.empty()) return false;
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string Links::LV_TheTempFolder()
{
    const char* env = std::getenv("TEMP");
    std::string folder = env && *env ? env : app::temp_folder();
    if (folder.back() != '/' && folder.back() != '\\') folder += '/';
    if (!LV_DirExists(folder)) {
        folder = app::temp_folder();
        if (folder.back() != '/') folder += '/';
    }
    return folder;
}

void Links::LV_LoadTempFile()
{
    const std::string path = LV_TheTempFolder() + kTempFile;
    bool ok = false;
    try {
        ok = file_front_end(main_).table_files().Open_Textfile(path);
    } catch (const VbError&) {
        ok = false;
    }
    if (!ok) main_.dialogs().MsgBox("Errors encountered when loading " + path);
}

void Links::mnuLandviewListSave_Click()
{
    flxgrd::Table& table = main_.table();
    const int lat = find_column(table, "lat"), lon = find_column(table, "long");
    if (lat < 0 || lon < 0) {
        main_.dialogs().MsgBox("Could not find proper fields (lat,long)");
        return;
    }
    int ident = find_column(table, "ident");
    int comment = find_column(table, "comment");
    if (comment < 0) comment = find_column(table, "type");
    if (ident < 0) ident = 1;
    if (comment < 0) comment = 1;
    const std::vector<int> rows = chosen_rows(main_);
    if (rows.empty()) {
        main_.dialogs().MsgBox("No records - Did Not Save to Landview User List");
        return;
    }
    const platform::Grid& g = main_.MSFlexGrid1;
    std::string text;
    for (int r : rows)
        text += LV_UserListLine(g.TextMatrix(r, lat), g.TextMatrix(r, lon), g.TextMatrix(r, ident),
                                g.TextMatrix(r, comment), r) +
                "\r\n";
    const std::string path = LV_TheTempFolder() + kTempFile;
    std::string reason;
    if (!platform::save_stored_file(path, text, reason, 0644))
        throw VbError(75, "frmMain.mnuLandviewListSave_Click", "Path/File access error");
    LV_Relink();
    ToDDE_Poke("DUL,DoUserList" + std::to_string(main_.state().landview_message_counter));
    main_.pump().run_pending();
}

void Links::LV_Relink()
{
    std::int32_t& n = main_.state().landview_message_counter;
    if (n == std::numeric_limits<std::int32_t>::max()) throw VbError(6, "", "Overflow");
    ++n;
    landview_link_.reset();
    landview_link_ = platform::dde::Conversation::Initiate("Landview", "WhereForm");
}

void Links::landview_request(const std::string& code, const std::string& suffix, bool clear_first,
                             bool let_events_run)
{
    if (clear_first) main_.menu_Click("mnuClearTable");
    LV_Relink();
    ToDDE_Poke(code + std::to_string(main_.state().landview_message_counter) + suffix);
    if (let_events_run) main_.pump().run_pending();
}

void Links::mnuLandviewCurrentLocationSave_Click()
{
    flxgrd::Table& table = main_.table();
    const int lat = find_column(table, "lat"), lon = find_column(table, "long");
    if (lat < 0 || lon < 0) {
        main_.dialogs().MsgBox("Could not find proper fields (lat,long)");
        return;
    }
    const std::vector<int> rows = chosen_rows(main_);
    if (rows.size() != 1) {
        main_.dialogs().MsgBox("You must have one record in the table selected");
        return;
    }
    const platform::Grid& g = main_.MSFlexGrid1;
    const double y = vb::Val(g.TextMatrix(rows[0], lat)), x = vb::Val(g.TextMatrix(rows[0], lon));
    landview_request("TCL", "," + vb::CStr(y) + "," + vb::CStr(x), false, true);
}

void Links::serve_landview()
{
    if (served_ || !QCoreApplication::instance()) return;
    try {
        platform::dde::Topic::Handlers h;
        h.poke = [this](const std::string& item, const std::string& data) {
            if (vb::LCase(item) != "fromdde") return;
            main_.FromDDE.caption = data;
            if (on_fromdde) on_fromdde(data);
            FromDDE_Change();
        };
        served_ = std::make_unique<platform::dde::Topic>(main_.pump(), "trekfold", "frmmain", std::move(h));
    } catch (const VbError&) {
        // Another Trekfold serves LandView already.
    }
}

void Links::LV_SendCurrentLocation()
{
    LV_Relink();
    app::AppState& st = main_.state();
    if (!st.nmea_mode) transfer::ReturnInfo(main_);
    std::string epe = main_.lblepe.caption;
    // In NMEA mode the caption carries its unit name: its leading number is
    // the distance.
    if (vb::LCase(st.unit) == "feet") epe = vb::CStr(vb::Val(epe) / 3.2808);
    ToDDE_Poke("TCL" + std::to_string(st.landview_message_counter) + "," + main_.lbllon.caption + "," +
               main_.lbllat.caption + ",80," + epe + ",0,false");
    main_.pump().run_pending();
}

void Links::FromDDE_Change()
{
    const std::string text = main_.FromDDE.caption;
    std::int16_t rop_step = 0;
    std::string code;
    try {
        if (text.size() < 3) return;
        code = vb::UCase(LV_GetTheWord(text, 1));
        const bool result = true;
        if (code == "END") {
            if (on_end) return on_end();
            std::fflush(nullptr);
            std::_Exit(0); // every file is closed between commands: nothing to unload
        } else if (code == "RGS") {
            LV_SendCurrentLocation();
        } else if (code == "TCL" || code == "LST" || code == "MEA") {
            LV_LoadTempFile();
        } else if (code == "SRT") {
            main_.state().start_minimised = true;
            main_.menu_Click("mnuStartRealTime");
        } else if (code == "ERT") {
            main_.menu_Click("mnuStopRealTime");
        }
        if (!result && LV_Exists(false)) {
            ToDDE_Poke("RESPONSE,False");
            main_.pump().run_pending();
        }
    } catch (const std::exception&) {
        main_.dialogs().MsgBox("Trekfold Error with message from DDE: " + code, platform::vbCritical,
                               "Communication Error: " + std::to_string(rop_step));
        main_.Visible = true;
        main_.changed(app::ChangeGeometry);
    }
}

} // namespace links
