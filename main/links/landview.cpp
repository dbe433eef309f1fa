// The LandView link: the exchange folder and files beside the DDE messages,
// the message counter and the link on ToDDE.
#include "main/links/gis_links.h"

#include "main/app/frm_main.h"
#include "main/files/files.h"
#include "main/files/shapefile.h"
#include "main/files/table_files.h"
#include "main/links/layer_selection.h"
#include "main/table/table.h"
#include "main/transfer/transfer.h"
#include "platform/automation/vb_error.h"
#include "platform/dde/dde.h"
#include "platform/events/events.h"
#include "platform/settings/stored_file.h"
#include "platform/text/cp1252.h"
#include "platform/text/decimal.h"
#include "platform/text/vb.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialogs.h"

#include <QCoreApplication>

#include <cerrno>
#include <cmath>
#include <filesystem>
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

namespace {

bool dir_exists(app::frmMain& main, const std::string& path)
{
    struct stat st{};
    if (::stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    if (errno == ENOENT || errno == ENOTDIR) return false;
    main.dialogs().MsgBox("Error Finding: " + path, platform::vbCritical, "Directory Does Not Exist");
    return false;
}

} // namespace

bool Links::LV_DirExists(const std::string& path) { return dir_exists(main_, path); }

bool Links::LV_FileExists(const std::string& path)
{
    if (path.empty()) return false;
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string Links::LV_TheTempFolder() { return LV_TempFolderOf(main_); }

std::string LV_TempFolderOf(app::frmMain& main)
{
    const char* env = std::getenv("TEMP");
    std::string folder = env && *env ? env : app::temp_folder();
    if (folder.back() != '/' && folder.back() != '\\') folder += '/';
    if (!dir_exists(main, folder)) {
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
    landview_request("TCL", "," + platform::plain_decimal(y) + "," + platform::plain_decimal(x), false, true);
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
            if (on_fromdde_done) on_fromdde_done(data);
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

void Links::choose_layer(std::int16_t* step)
{
    main_.Visible = false;
    main_.changed(app::ChangeGeometry);
    if (step) *step = 101;
    layers_->Show();
    main_.pump().run_pending();
    main_.Visible = true;
    main_.changed(app::ChangeGeometry);
    if (step) *step = 105;
}

void Links::SOP()
{
    choose_layer(nullptr);
    const std::string layer = layers_->Tag;
    if (layer.empty()) return; // cancelled: LandView hears nothing
    const std::string n = std::to_string(main_.state().landview_message_counter);
    std::string reply = "DONE" + n;
    bool write_new = true;
    if (LV_FileExists(layer)) {
        const int answer = main_.dialogs().MsgBox("Answer YES to to Append or NO to Create a New File: " + layer,
                                                  platform::vbYesNoCancel, "Save to Landview Overlay");
        if (answer == platform::vbYes) {
            // Nothing is written yet: LandView confirms with APP.
            reply = "APL" + n + "," + layer + "," + main_.Tag + ",Shape file appended to";
            write_new = false;
        } else if (answer != platform::vbNo) {
            write_new = false;
        }
    }
    if (write_new) {
        const std::string written = file_front_end(main_).WriteShapefile();
        if (!written.empty()) reply = "REF" + n + "," + written + "," + main_.Tag + ",NEW, GPS Shapefile written";
    }
    if (LV_Exists(true)) ToDDE_Poke(reply);
}

void Links::APP()
{
    const std::string layer = layers_->Tag;
    files::TableFiles& tf = file_front_end(main_).table_files();
    const bool ok = tf.Shapefile_Save(tf.get_ShapeFileType(layer), true, layer, true);
    ToDDE_Poke((ok ? "UAF" : "STP") + std::to_string(main_.state().landview_message_counter));
}

void Links::ROP(std::int16_t& step)
{
    step = 100;
    choose_layer(&step);
    const std::string layer = layers_->Tag;
    if (layer.empty()) return;
    if (LV_FileExists(layer)) {
        file_front_end(main_).table_files().Shapefile_Load(layer);
    } else if (!layer.empty() && layer.front() == '/') {
        main_.dialogs().MsgBox("File not found: " + layer, platform::vbCritical, "Landview Layer Did Not Load");
    } else {
        main_.dialogs().MsgBox("Sorry, cannot load this layer. Only works for shapefiles.", platform::vbInformation,
                               "User data required");
    }
    step = 106;
}

void Links::layer_download(const char* menu)
{
    const app::MenuItem* item = main_.menus().find(menu);
    if (!item || !item->enabled) return;
    main_.menu_Click(menu);
    // The layer LandView asks for next is written from the table: only a
    // finished download has filled it.
    wait_transfer_done();
    if (!main_.ended())
        main_.run_trapped("mnuLandVeiwLayerSave_Click", [this] { menu_Click("mnuLandVeiwLayerSave", -1); });
}

std::string LV_CommandCode(const std::string& text)
{
    static const char* const kIncoming[] = {"END", "RGS", "TCL", "LST", "MEA", "SMT",      "SOP", "APP",
                                            "ROP", "LVW", "LVT", "UPLOAD", "DOWNLOAD", "SRT", "ERT"};
    if (text.size() < 3) return {};
    const std::string code = vb::UCase(LV_GetTheWord(text, 1));
    for (const char* c : kIncoming)
        if (code == c) return code;
    return {};
}

void Links::FromDDE_Change()
{
    const std::string text = main_.FromDDE.caption;
    std::int16_t rop_step = 0;
    std::string code;
    try {
        if (text.size() < 3) return;
        code = vb::UCase(LV_GetTheWord(text, 1));
        const std::string command = LV_CommandCode(text);
        bool result = true;
        if (command == "END") {
            if (on_end) return on_end();
            std::fflush(nullptr);
            std::_Exit(0); // every file is closed between commands: nothing to unload
        } else if (command == "RGS") {
            LV_SendCurrentLocation();
        } else if (command == "TCL" || command == "LST" || command == "MEA") {
            LV_LoadTempFile();
        } else if (command == "SMT") {
            LV_Table2Shapefile(LV_GetTheWord(text, 2), LV_GetTheWord(text, 3));
        } else if (command == "SOP") {
            SOP();
        } else if (command == "APP") {
            APP();
        } else if (command == "ROP") {
            ROP(rop_step);
        } else if (command == "LVW") {
            layer_download("mnuWDownload");
        } else if (command == "LVT") {
            layer_download("mnuTDownload");
        } else if (command == "UPLOAD") {
            result = Quiet_Get_DataToGPS(LV_GetTheWord(text, 2), LV_GetTheWord(text, 4), LV_GetTheWord(text, 5));
        } else if (command == "DOWNLOAD") {
            result = Quiet_Get_DataFromGPS(LV_GetTheWord(text, 2), LV_GetTheWord(text, 3), LV_GetTheWord(text, 4),
                                           LV_GetTheWord(text, 5));
        } else if (command == "SRT") {
            main_.state().start_minimised = true;
            main_.menu_Click("mnuStartRealTime");
        } else if (command == "ERT") {
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

// --- the measure tool's temporary shapefile ---------------------------------------

namespace {

constexpr double kPi = 3.14159265358979; // the constant the series is tuned with
constexpr double kA = 6378137.0, kE2 = 0.006694384442042606, kEp2 = 0.006739501254387102, kK0 = 0.9996;

bool ends_with_ci(const std::string& s, const std::string& end)
{
    return s.size() >= end.size() && vb::LCase(s.substr(s.size() - end.size())) == end;
}

} // namespace

double LV_meridianDist(double phi)
{
    return 6367449.138844212 * phi - 16038.519017028084 * std::sin(2 * phi) + 16.832223171520933 * std::sin(4 * phi) -
           0.021800809706533364 * std::sin(6 * phi);
}

void LV_LatLongDD2UTM(std::int16_t zone, double lat, double lon, double& easting, double& northing)
{
    const double lon0 = (6.0 * zone - 183.0) * kPi / 180.0;
    const double phi = lat * kPi / 180.0, lambda = lon * kPi / 180.0;
    const double N = kA / std::sqrt(1 - kE2 * LV_CSq(std::sin(phi)));
    const double T = LV_CSq(std::tan(phi));
    const double C = kEp2 * LV_CSq(std::cos(phi));
    const double A = (lambda - lon0) * std::cos(phi);
    const double M = LV_meridianDist(phi);
    easting = kK0 * N *
                  (A + (1 - T + C) * std::pow(A, 3) / 6 +
                   (5 - 18 * T + T * T + 72 * C - 0.3908910727544519) * std::pow(A, 5) / 120) +
              500000.0;
    northing = kK0 * (M + N * std::tan(phi) *
                              (A * A / 2 + (5 - T + 9 * C + 4 * C * C) * std::pow(A, 4) / 24 +
                               (61 - 58 * T + T * T + 600 * C - 2.2240354139477434) * std::pow(A, 6) / 720));
}

std::string LV_DbaseBytes(std::int16_t count)
{
    const std::uint32_t n = count < 0 ? 0 : std::uint32_t(count);
    std::string b(65, '\0');
    b[0] = 3, b[1] = 103, b[2] = 9, b[3] = 22;
    for (int i = 0; i < 4; ++i) b[4 + i] = char((n >> (8 * i)) & 0xff);
    b[8] = 65, b[10] = 9, b[29] = 87;
    b[32] = 'I', b[33] = 'D', b[43] = 'N', b[48] = 8, b[64] = 13;
    for (std::uint32_t i = 1; i <= n; ++i) {
        std::string field = std::to_string(i);
        b += std::string(9 - field.size(), ' ') + field;
    }
    b += char(26);
    return b;
}

bool LV_CreateDbaseFile(std::string& path, std::int16_t count, const std::string&)
{
    if (path.size() > 4 && ends_with_ci(path, ".shp")) path.resize(path.size() - 4);
    if (!ends_with_ci(path, ".dbf")) path += ".dbf";
    std::string reason;
    // The whole file is written anew: no byte of an older one remains.
    return platform::save_stored_file(path, LV_DbaseBytes(count), reason, 0644);
}

bool KillFile(const std::string& path)
{
    std::error_code ec;
    std::filesystem::remove(path, ec);
    return true;
}

void KillShapeFile(std::string path)
{
    if (path.size() > 4 && ends_with_ci(path, ".shp")) path.resize(path.size() - 4);
    for (const char* ext : {".shp", ".shx", ".dbf", ".ain", ".aih", ".sbn", ".sbx"}) KillFile(path + ext);
}

std::string Links::LV_GetTemporaryShapeFileName()
{
    try {
        std::string folder = LV_TheTempFolder();
        if (!LV_DirExists(folder)) {
            folder = app::temp_folder() + "/";
            std::error_code ec;
            std::filesystem::create_directories(folder, ec);
        }
        auto name = [&](int i) { return folder + "TmpShapeFile" + std::to_string(i) + ".shp"; };
        for (int i = 1; i <= 100; ++i)
            if (LV_FileExists(name(i))) KillShapeFile(name(i));
        for (int i = 1; i <= 101; ++i)
            if (!LV_FileExists(name(i))) return name(i);
    } catch (const std::exception&) {
    }
    return {};
}

void Links::LV_Table2Shapefile(const std::string& shape_type, const std::string&)
{
    std::string path = LV_GetTemporaryShapeFileName();
    if (path.empty()) {
        main_.dialogs().MsgBox("Could not write temporary file");
        return;
    }
    flxgrd::Table& table = main_.table();
    const int lat = find_column(table, "lat"), lon = find_column(table, "long");
    if (lat < 0 || lon < 0) {
        main_.dialogs().MsgBox("Could not find proper fields (lat,long)");
        return;
    }
    const int seg = find_column(table, "new_seg");
    if ((shape_type == "Line" || shape_type == "Polygon") && seg < 0) {
        main_.dialogs().MsgBox("Could not find proper field (new_seg)");
        return;
    }
    platform::Cursor& cursor = main_.cursor();
    cursor.hourglass(true);
    std::int16_t count = 0;
    try {
        const platform::Grid& g = main_.MSFlexGrid1;
        const std::vector<int> rows = chosen_rows(main_);
        auto counted = [&] {
            if (count == std::numeric_limits<std::int16_t>::max()) throw VbError(6, "", "Overflow");
            ++count;
        };
        // A row whose position is no number gives no vertex.
        auto vertex = [&](int r) -> std::shared_ptr<files::CPoint> {
            const std::string& y = g.TextMatrix(r, lat);
            const std::string& x = g.TextMatrix(r, lon);
            if (!vb::IsNumeric(y) || !vb::IsNumeric(x)) return nullptr;
            double e = 0, n = 0;
            LV_LatLongDD2UTM(15, vb::CDbl(y), vb::CDbl(x), e, n);
            return std::make_shared<files::CPoint>(e, n);
        };
        files::CFileName fn;
        fn.SetFileSpec(path);
        files::CShapeFile shp;
        if (shape_type == "Point") {
            shp.SetFileSpec(fn, files::CREATEIT, 1);
            for (int r : rows)
                if (auto p = vertex(r)) {
                    shp.Add(p);
                    counted();
                }
        } else if (shape_type == "Line" || shape_type == "Polygon") {
            const bool polygon = shape_type == "Polygon";
            shp.SetFileSpec(fn, files::CREATEIT, polygon ? 5 : 3);
            auto part = std::make_shared<files::CPart>();
            auto finish = [&] {
                if (polygon) {
                    if (part->Count() > 0) {
                        auto first = part->Item(1), last = part->Item(part->Count());
                        if (first->x != last->x || first->y != last->y)
                            part->Add(std::make_shared<files::CPoint>(first->x, first->y));
                    }
                    if (part->Count() > 3) {
                        auto shape = std::make_shared<files::CPolygon>();
                        shape->Add(part);
                        shp.Add(shape);
                        counted();
                    }
                } else if (part->Count() > 1) {
                    auto shape = std::make_shared<files::CPolyLine>();
                    shape->Add(part);
                    shp.Add(shape);
                    counted();
                }
                part = std::make_shared<files::CPart>();
            };
            for (std::size_t k = 0; k < rows.size(); ++k) {
                const int r = rows[k];
                if (k > 0 && flxgrd::Table::Value_IsTrue(g.TextMatrix(r, seg))) finish();
                main_.Set_Msg("Converting Track Record " + std::to_string(r) + " to " +
                              (polygon ? "polygon" : "line") + " shape file");
                if (auto p = vertex(r)) part->Add(p);
            }
            finish();
        }
        main_.Set_Msg("");
    } catch (const std::exception&) {
        cursor.hourglass(false);
        main_.Set_Msg("");
        return;
    }
    if (!LV_CreateDbaseFile(path, count)) KillShapeFile(path.substr(0, path.size() - 4));
    if (count < 1) main_.dialogs().MsgBox("No valid shapes created in shapefile", platform::vbExclamation);
    cursor.hourglass(false);
    LV_Relink();
    ToDDE_Poke("SMT" + std::to_string(main_.state().landview_message_counter) + "," + path);
}

} // namespace links
