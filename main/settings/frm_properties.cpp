#include "main/settings/frm_properties.h"

#include "main/app/frm_main.h"
#include "main/coords/coords.h"
#include "main/table/table.h"
#include "platform/automation/vb_error.h"
#include "platform/registry/registry.h"
#include "platform/settings/settings.h"
#include "platform/text/vb.h"
#include "platform/ui/dialogs.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace app {

namespace vb = platform::vb;
namespace fs = std::filesystem;
using platform::VbError;

namespace {

// Fields the grids never hide (a substring test, as the lists are read).
constexpr std::string_view kRequired = "type,ident,lat,long,y_proj,x_proj,new_seg,rnumber,rident,rcmnt";
constexpr const char* kLogName = "/TREKFOLD_RTLOG.TXT";

const char* const kZones[] = {
    "Local Computer Time", "-12  (International Date Line)", "-11  (Midway Island)", "-10  (Hawaii)",
    "-9  (Alaska)", "-8  (Pacific)", "-7  (Mountain)", "-6  (Central)", "-5  (Eastern)", "-4  (Atlantic)",
    "-3  (Brazil)", "-2  (Mid-Atlantic)", "-1  (Azores)", "0  (Greenwich Mean Time)", "+1  (Western Europe)",
    "+2  (Cairo)", "+3  (Baghdad)", "+4  (Caucasus Standard Time)", "+5  (Islamabad)", "+6  (Astana, Dhaka)",
    "+7  (Bangkok)", "+8  (Perth)", "+9  (Seoul)", "+10  (Guam)", "+11  (New Caledonia)", "+12  (Fiji)"};

// The multiplier a unit stands for (any other unit: "1").
std::string multiplier_of(const std::string& unit)
{
    static const std::pair<const char*, const char*> table[] = {
        {"square miles", "0.000000386102159"}, {"acres", "0.0002471053814915"}, {"hectares", "0.0001"},
        {"feet", "3.28084"}, {"miles", "0.000621371"}, {"kilometers", "0.001"}};
    const std::string u = vb::LCase(unit);
    for (auto [name, m] : table)
        if (u == name) return m;
    return "1";
}

int index_of(const std::vector<std::string>& items, const std::string& text, bool ignore_case = false)
{
    for (std::size_t i = 0; i < items.size(); ++i)
        if (ignore_case ? vb::SameLCase(items[i], text) : items[i] == text) return int(i);
    return -1;
}

} // namespace

frmProperties::frmProperties(frmMain& main) : main_(main) {}

// ---------------------------------------------------------------- controls

void frmProperties::build()
{
    controls_.clear();
    prj_code_.clear();
    using K = DialogControl::Kind;
    auto add = [this](std::string name, K kind, std::string caption, int tab, int l, int t, int w, int h,
                      std::string frame = {}, std::string tip = {}) -> DialogControl& {
        DialogControl c;
        c.name = std::move(name), c.kind = kind, c.caption = std::move(caption), c.tab = tab;
        c.left = l, c.top = t, c.width = w, c.height = h, c.frame = std::move(frame), c.tooltip = std::move(tip);
        controls_.push_back(std::move(c));
        return controls_.back();
    };
    // Projection tab.
    add("optEPSG", K::Option, "EPSG", 0, 240, 480, 1000, 255);
    add("optESRI", K::Option, "ESRI", 0, 1320, 480, 1000, 255);
    add("optArcMap", K::Option, "ArcMap", 0, 2400, 480, 1200, 255, {}, "Only Available if ArcMap 9.x is Running");
    // The frames end above the dialog's row of buttons (top 6600).
    add("frmEPSGESRI", K::Frame, "", 0, 120, 780, 6135, 5740);
    add("lblPOSCCodes", K::Label, "POSC Codes:", 0, 240, 960, 2000, 195, "frmEPSGESRI");
    add("cbxPOSCCodes", K::Combo, "", 0, 240, 1160, 5835, 315, "frmEPSGESRI");
    add("lblDatums", K::Label, "Datums:", 0, 240, 1560, 2000, 195, "frmEPSGESRI");
    add("lbxDatums", K::List, "", 0, 240, 1760, 5835, 900, "frmEPSGESRI");
    add("lblProjections", K::Label, "Projections:", 0, 240, 2720, 2000, 195, "frmEPSGESRI");
    add("lbxProjections", K::List, "", 0, 240, 2920, 5835, 900, "frmEPSGESRI");
    add("lblDesc", K::Label, "Description of Selected Projection:", 0, 240, 3880, 3000, 195, "frmEPSGESRI");
    add("lbxDesc", K::List, "", 0, 240, 4080, 5835, 900, "frmEPSGESRI");
    add("frmArcMap", K::Frame, "", 0, 120, 780, 6135, 1200);
    add("lblAMProj", K::Label,
        "Use ArcMap 9.x projection capabilities using the PRJ definition specified below.  Note:  ArcMap 9.x "
        "needs to be installed with a license available but does NOT need to be running.",
        0, 240, 960, 5655, 600, "frmArcMap");
    add("lblAMProj2", K::Label, "See the ArcMap Tab for more ArcMap related options.", 0, 240, 1600, 5655, 255,
        "frmArcMap");
    add("lblPRJ", K::Label, "PRJ Definition:", 0, 240, 5040, 2000, 195);
    // Load PRJ sits under the PRJ box, inside the frame's lower edge and
    // above the dialog's row of buttons (on that row it would lie over Cancel).
    add("tbxPRJ", K::Text, "", 0, 240, 5240, 5835, 715);
    add("cmdPRJLoad", K::Button, "Load PRJ", 0, 4680, 6045, 1215, 375);
    add("cmdNoProj", K::Button, "NONE", 0, 240, 6600, 1095, 375, {}, "No Projection - WGS 84, Lat/Lon");
    add("cmdOstrevane", K::Button, "Ostrevane", 0, 1440, 6600, 1095, 375, {}, "NAD83 / UTM zone 15N");
    // Field tabs.
    for (int t = 1; t <= 4; ++t) {
        add(std::string("lblFields") + kTabs[t], K::Label, "Fields to Use:", t, 240, 480, 2000, 195);
        add(kGrids[t - 1], K::Grid, "", t, 240, 720, 6000, 5000, {}, "Double-Click on Alias to Edit");
    }
    add("chkRTLogFile", K::Check, "Write Directly to Text file", 4, 240, 5810, 3000, 255);
    add("tbxRTTextFile", K::Text, "", 4, 240, 6145, 5655, 315);
    // ArcMap tab.
    add("lblArcMapTitle", K::Label,
        "ArcMap 9.x Or Greater Must Be Installed and a License Available For These Options To Work", 5, 240, 480,
        5655, 450);
    add("frmAMProperties", K::Frame, "", 5, 120, 1000, 6135, 5520);
    add("chkAMCalcArea", K::Check, "Calculate Area", 5, 240, 1200, 3000, 255, "frmAMProperties");
    add("lblAreaUnits", K::Label, "Units:", 5, 480, 1560, 1000, 195, "frmAMProperties");
    auto& area = add("cboAMAreaUnits", K::Combo, "", 5, 1680, 1520, 4095, 315, "frmAMProperties");
    area.items = {"Acres", "Hectares", "Square Meters", "Square Miles", "Other"};
    add("lblAreaMultiplier", K::Label, "Multiplier:", 5, 480, 1960, 1000, 195, "frmAMProperties");
    add("tbxAMAreaMultiplier", K::Text, "", 5, 1680, 1920, 4095, 315, "frmAMProperties",
        "Number Multiplied by Square Meters to Achieve Desired Value");
    add("chkAMCalcLength", K::Check, "Calculate Length/Perimeter", 5, 240, 2520, 3000, 255, "frmAMProperties");
    add("lblLengthUnits", K::Label, "Units:", 5, 480, 2880, 1000, 195, "frmAMProperties");
    auto& length = add("cboAMLengthUnits", K::Combo, "", 5, 1680, 2840, 4095, 315, "frmAMProperties");
    length.items = {"Feet", "Kilometers", "Meters", "Miles", "Other"};
    add("lblLengthMultiplier", K::Label, "Multiplier:", 5, 480, 3280, 1000, 195, "frmAMProperties");
    add("tbxAMLengthMultiplier", K::Text, "", 5, 1680, 3240, 4095, 315, "frmAMProperties",
        "Number Multiplied by Meters to Achieve Desired Value");
    // Units tab.
    add("Frame2", K::Frame, "Measurement Units", 6, 120, 480, 6135, 2400);
    add("lblUnitsNote", K::Label,
        "Measurement values coming from the GPS are assumed to be Meters.  Select the units you'd like to see "
        "displayed.",
        6, 240, 720, 5655, 450, "Frame2");
    add("lbxMeasureUnits", K::List, "", 6, 240, 1240, 5655, 1400, "Frame2");
    add("Frame1", K::Frame, "Set Time Zone", 6, 120, 3000, 6135, 3400);
    add("lblZonesNote", K::Label,
        "Time/Date values coming from the GPS are assumed to be UTC Time.  The option specified here will take "
        "that UTC time and convert it to a user specified time zone and place it in the LTIME field.",
        6, 240, 3240, 5655, 650, "Frame1");
    add("lbxZones", K::List, "", 6, 240, 3960, 5655, 2300, "Frame1");
    // The dialog's buttons.
    add("cmdOK", K::Button, "OK", -1, 3000, 6600, 1095, 375);
    add("cmdCancel", K::Button, "Cancel", -1, 4200, 6600, 1095, 375);
    add("cmdWReset", K::Button, "Reset", -1, 240, 6600, 1095, 375, {}, "Resets Field Selection Set");

    for (auto& g : grids_) {
        g.SetRows(2);
        g.SetCols(6);
        g.Clear();
    }
}

DialogControl* frmProperties::find(const std::string& name)
{
    for (auto& c : controls_)
        if (c.name == name) return &c;
    return nullptr;
}

DialogControl& frmProperties::control(const std::string& name)
{
    ensure_loaded();
    if (DialogControl* c = find(name)) return *c;
    throw VbError(424, "frmProperties", "Object required");
}

const DialogControl& frmProperties::control(const std::string& name) const
{
    for (const auto& c : controls_)
        if (c.name == name) return c;
    throw VbError(424, "frmProperties", "Object required");
}

void frmProperties::select(DialogControl& list, int index)
{
    list.ListIndex = index >= 0 && index < int(list.items.size()) ? index : -1;
    list.text = list.ListIndex >= 0 ? list.items[std::size_t(list.ListIndex)] : std::string();
}

// ---------------------------------------------------------------- loading

void frmProperties::ensure_loaded(bool with_mode)
{
    if (loaded_) return;
    Form_Load();
    // Loaded again after an unload: the stored projection mode comes back
    // too (at start-up the main window runs it itself).
    if (reloading_ && with_mode) main_.select_projection_mode();
}

void frmProperties::Form_Load()
{
    loaded_ = true;
    visible_ = false;
    tab_ = 0;
    build();
    SSTProperties_Click(0);
    SetFieldSettings("");
    LoadFields();
}

void frmProperties::Unload()
{
    loaded_ = visible_ = false;
    reloading_ = true;
    controls_.clear();
    groups_.clear();
    changed();
}

void frmProperties::SetFieldSettings(const std::string& type)
{
    ensure_loaded();
    flxgrd::Fields_Repair(main_.settings(), type);
    fill_controls();
}

void frmProperties::fill_controls()
{
    platform::Settings& s = main_.settings();
    for (const char* what : {"area", "length"}) {
        const std::string w = what, W = w == "area" ? "Area" : "Length";
        control("chkAMCalc" + W).value = vb::Val(s.GetSetting("fields", "am_" + w, "0")) != 0;
        DialogControl& units = control("cboAM" + W + "Units");
        units.text = s.GetSetting("fields", "am_" + w + "_units", w == "area" ? "square meters" : "meters");
        units.ListIndex = index_of(units.items, units.text);
        control("tbxAM" + W + "Multiplier").text = s.GetSetting("fields", "am_" + w + "_multiplier", "1");
        area_changed(W);
    }
    control("chkRTLogFile").value = vb::Val(s.GetSetting("fields", "rtimeTextFile", "0")) != 0;
    control("tbxRTTextFile").text = s.GetSetting("fields", "rtimetextloc", temp_folder() + kLogName);
    DialogControl& zones = control("lbxZones");
    zones.items.assign(std::begin(kZones), std::end(kZones));
    select(zones, index_of(zones.items, main_.state().time_zone, true));
    DialogControl& units = control("lbxMeasureUnits");
    units.items = {"Feet", "Meters"};
    select(units, index_of(units.items, main_.state().unit, true));
    changed();
}

void frmProperties::unit_changed()
{
    if (!loaded_) return; // loading fills the list from the unit
    DialogControl& units = control("lbxMeasureUnits");
    select(units, index_of(units.items, main_.state().unit, true));
    changed();
}

void frmProperties::area_changed(const std::string& W)
{
    bool on = control("chkAMCalc" + W).value;
    for (std::string n : {"lbl" + W + "Units", "cboAM" + W + "Units", "lbl" + W + "Multiplier",
                          "tbxAM" + W + "Multiplier"})
        control(n).enabled = on;
}

// ---------------------------------------------------------------- field grids

void frmProperties::LoadFields()
{
    ensure_loaded();
    static const char* const headers[6] = {"", "Name", "Alias", "Type", "Length", "Precision"};
    for (int i = 0; i < 4; ++i) {
        platform::Grid& g = grids_[std::size_t(i)];
        g.SetRedraw(false);
        g.SetRows(2);
        g.SetCols(6);
        g.Clear();
        for (int c = 0; c < 6; ++c) g.SetTextMatrix(0, c, headers[c]);
        const std::string list = main_.settings().GetSetting("fields", flxgrd::kRecordTypes[i], "");
        int r = 1;
        for (const std::string& entry : list.empty() ? std::vector<std::string>() : vb::Split(list, ",")) {
            std::vector<std::string> part = vb::Split(entry, ":");
            if (part.empty() || part[0].empty()) continue;
            g.SetRows(r + 1);
            g.SetTextMatrix(r, 1, part[0]);
            g.SetTextMatrix(r, 2, part.size() > 2 ? part[2] : part[0]);
            // Parts an entry lacks come from the field catalogue, so a short
            // entry is saved back whole.
            const flxgrd::CatalogField* cat = part.size() > 5 ? nullptr : flxgrd::Catalog_Find(part[0]);
            auto item = [&](std::size_t n, std::string from_catalogue) {
                return part.size() > n ? part[n] : cat ? from_catalogue : std::string();
            };
            g.SetTextMatrix(r, 3, item(3, cat ? cat->type : ""));
            g.SetTextMatrix(r, 4, item(4, cat ? std::to_string(cat->width) : ""));
            g.SetTextMatrix(r, 5, item(5, cat ? std::to_string(cat->decimals) : ""));
            set_mark(i, r, !(part.size() > 1 && part[1] == "0"));
            ++r;
        }
        // Each column as wide as its widest text.
        for (int c = 0; c < 6; ++c) {
            std::size_t widest = 0;
            for (int row = 0; row < g.Rows(); ++row) widest = std::max(widest, g.TextMatrix(row, c).size());
            g.SetColWidth(c, c == 0 ? 330 : int(widest) * 105 + 150);
        }
        g.SetRedraw(true);
    }
    changed();
}

bool frmProperties::mark(int grid, int row) const
{
    platform::PictureRef p = grids_[std::size_t(grid)].CellPicture(row, 0);
    return p && p->key == "check";
}

void frmProperties::set_mark(int grid, int row, bool checked)
{
    const auto& images = main_.table().ImageList2();
    grids_[std::size_t(grid)].SetCellPicture(row, 0, images.Item(checked ? "check" : "uncheck").picture);
}

void frmProperties::ReadOnlyCheck(int grid, int row, int col)
{
    ensure_loaded();
    platform::Grid& g = grids_[std::size_t(grid)];
    if (col != 0 || row < 1 || row >= g.Rows()) return;
    if (kRequired.find(g.TextMatrix(row, 1)) != std::string_view::npos) {
        main_.dialogs().MsgBox("This is a required field", platform::vbOKOnly);
        return;
    }
    set_mark(grid, row, !mark(grid, row));
    changed();
}

void frmProperties::EditAlias(int grid, int row, int col)
{
    ensure_loaded();
    platform::Grid& g = grids_[std::size_t(grid)];
    if (col != 2 || row < 1 || row >= g.Rows()) return;
    std::string alias =
        vb::LCase(vb::Trim(main_.dialogs().InputBox("Change Alias Value To:", "Edit Alias", g.TextMatrix(row, 2))));
    // The stored lists separate entries with "," and parts with ":".
    if (alias.find_first_of(":,") != std::string::npos) {
        main_.dialogs().MsgBox("An alias cannot contain a colon or a comma", platform::vbExclamation, "Edit Alias");
        return;
    }
    // Columns are found by name or alias ignoring case, so an alias that
    // equals another field's alias or name would take that field's place.
    for (int r = 1; r < g.Rows(); ++r)
        if (r != row && (vb::SameLCase(g.TextMatrix(r, 2), alias) || vb::SameLCase(g.TextMatrix(r, 1), alias))) {
            main_.dialogs().MsgBox("An alias with this name already exists", platform::vbExclamation,
                                   "Duplicate Alias Name");
            return;
        }
    if (alias.empty()) return;
    g.SetTextMatrix(row, 2, alias);
    changed();
}

void frmProperties::cmdWReset_Click()
{
    ensure_loaded();
    const std::string type = vb::LCase(kTabs[tab_]);
    SetFieldSettings(type);
    LoadFields();
    // Only a tab with a grid resets one.
    for (int i = 0; i < 4; ++i) {
        if (type != flxgrd::kRecordTypes[i]) continue;
        platform::Grid& g = grids_[std::size_t(i)];
        for (int r = 1; r < g.Rows(); ++r) {
            set_mark(i, r, true);
            g.SetTextMatrix(r, 2, g.TextMatrix(r, 1));
        }
    }
    changed();
}

void frmProperties::save_grids()
{
    for (int i = 0; i < 4; ++i) {
        const platform::Grid& g = grids_[std::size_t(i)];
        std::string list;
        for (int r = 1; r < g.Rows(); ++r) {
            if (g.TextMatrix(r, 1).empty()) continue; // the empty grid's blank row
            if (!list.empty()) list += ',';
            list += g.TextMatrix(r, 1) + ':' + (mark(i, r) ? "1" : "0");
            for (int c = 2; c < 6; ++c) list += ':' + g.TextMatrix(r, c);
        }
        main_.settings().SaveSetting("fields", flxgrd::kRecordTypes[i], list);
    }
}

// ---------------------------------------------------------------- OK, Cancel, tabs, layout

void frmProperties::cmdOK_Click()
{
    ensure_loaded();
    // The settings are written in one save at the end (each save rewrites
    // the whole file); a save that fails is reported like any other error.
    platform::Settings& s = main_.settings();
    s.hold();
    int number = 0;
    std::string description;
    try {
        if (control("optArcMap").value && control("tbxPRJ").text.empty()) {
            SSTProperties_Click(0);
            throw VbError(1, "frmProperties", "You must specify a PRJ file to perform Arcmap projections");
        }
        save_grids();
        const std::string code = control("cbxPOSCCodes").text;
        visible_ = false;
        changed();
        main_.table().Columns_Load("");

        const bool arcmap = control("optArcMap").value;
        const std::string prj = control("tbxPRJ").text;
        if (arcmap) {
            s.SaveSetting("proj", "projfile", "arcmap");
            s.SaveSetting("proj", "am_proj", prj);
        } else {
            // Only under the code the text was shown for: beside a code typed
            // and not chosen it may belong to either, so it is not stored.
            if (!prj.empty() && !code.empty() && code == prj_code_) s.SaveSetting("proj", code, prj);
            s.SaveSetting("proj", "projfile", control("optEPSG").value ? "epsg" : "esri");
            if (code != s.GetSetting("proj", "proj", "")) {
                s.SaveSetting("proj", "proj", code);
                main_.coords().Project_Table(true);
            }
        }
        main_.Set_Msg("Projection: " + main_.coords().getProjectionName(arcmap));

        for (const char* what : {"Area", "Length"}) {
            const std::string W = what, w = vb::LCase(W);
            s.SaveSetting("fields", "am_" + w, control("chkAMCalc" + W).value ? "1" : "0");
            s.SaveSetting("fields", "am_" + w + "_units", control("cboAM" + W + "Units").text);
            s.SaveSetting("fields", "am_" + w + "_multiplier", control("tbxAM" + W + "Multiplier").text);
        }
        const bool log = control("chkRTLogFile").value;
        s.SaveSetting("fields", "rtimeTextFile", log ? "1" : "0");
        if (log) s.SaveSetting("fields", "rtimetextloc", log_path(control("tbxRTTextFile").text));
        // With nothing selected the current unit and zone stay.
        if (const DialogControl& u = control("lbxMeasureUnits"); u.ListIndex >= 0) {
            main_.set_unit(u.text);
            s.SaveSetting("units", "unit", u.text);
        }
        if (const DialogControl& z = control("lbxZones"); z.ListIndex >= 0) {
            main_.state().time_zone = z.text;
            s.SaveSetting("time", "timezone", z.text);
        }
    } catch (const VbError& e) {
        number = e.number, description = e.description;
    } catch (const std::exception& e) {
        number = 51, description = e.what();
    }
    // What was stored before an error stays stored.
    if (std::string why = s.release(); !why.empty() && !number)
        number = 75, description = "Path/File access error: " + why;
    if (number)
        main_.dialogs().MsgBox("Error #" + std::to_string(number) + ". " + description, platform::vbCritical,
                               "frmProperties.cmdOK_Click");
    changed();
}

// The real-time log file a typed path stands for: an existing folder gets
// the log's own name inside it; an existing file, or a new file in an
// existing folder, stays; anything else becomes the TEMP folder's log.
std::string frmProperties::log_path(std::string p) const
{
    std::error_code ec;
    if (!p.empty() && fs::is_directory(p, ec)) {
        while (p.size() > 1 && p.back() == '/') p.pop_back();
        return (p == "/" ? std::string() : p) + kLogName;
    }
    if (!p.empty() && fs::exists(p, ec)) return p;
    const std::size_t slash = p.rfind('/');
    if (slash != std::string::npos && fs::is_directory(p.substr(0, slash + 1), ec) && slash + 1 < p.size()) return p;
    return temp_folder() + kLogName;
}

void frmProperties::cmdCancel_Click()
{
    visible_ = false;
    changed();
}

void frmProperties::SSTProperties_Click(int tab)
{
    ensure_loaded();
    tab_ = std::clamp(tab, 0, 6);
    control("cmdWReset").visible = tab_ != 0;
    control("cmdPRJLoad").visible = tab_ == 0;
    const bool arcgis = main_.state().arcgis_installed;
    control("frmAMProperties").enabled = control("optArcMap").enabled = arcgis;
    changed();
}

void frmProperties::Show(int tab)
{
    ensure_loaded();
    SSTProperties_Click(tab);
    visible_ = true;
    changed();
    if (on_show_modal) on_show_modal();
}

void frmProperties::Form_Resize(int width, int height)
{
    ensure_loaded();
    if (minimised) return;
    Width = std::max(width, kLeastWidth);
    Height = std::max(height, kLeastHeight);
    const int W = Width + 45, H = Height - 85; // the tab control's new size
    const int row = H - 675;                   // the top of the row of buttons
    auto size = [this](const char* n, int w, int h = -1) {
        DialogControl& c = control(n);
        c.width = w;
        if (h >= 0) c.height = h;
    };
    for (const char* n : {"msfgWaypoint", "msfgTrack", "msfgRoute"}) size(n, W - 360, H - 1800);
    size("msfgRealTime", W - 360, H - 1800 - 920);
    size("tbxRTTextFile", W - 840);
    control("tbxRTTextFile").top = H - 1335;
    control("chkRTLogFile").top = H - 1670;
    for (const char* n : {"lblArcMapTitle", "lblAMProj", "lblAMProj2"}) size(n, W - 840);
    for (const char* n : {"cboAMAreaUnits", "tbxAMAreaMultiplier", "cboAMLengthUnits", "tbxAMLengthMultiplier"})
        size(n, W - 2400);
    size("frmArcMap", W - 360);
    // The frames end 90 twips above the row of buttons; Load PRJ keeps 90
    // inside a frame's lower edge and the PRJ box grows down to it.
    const int frame_end = row - 90, load = frame_end - 90 - 375;
    for (const char* n : {"frmEPSGESRI", "frmAMProperties"}) size(n, W - 360, frame_end - control(n).top);
    size("tbxPRJ", W - 660, load - 90 - control("tbxPRJ").top);
    control("cmdPRJLoad").left = W - 1815;
    control("cmdPRJLoad").top = load;
    for (const char* n : {"cmdOK", "cmdCancel", "cmdWReset", "cmdNoProj", "cmdOstrevane"}) control(n).top = row;
    for (const char* n : {"cbxPOSCCodes", "lbxDatums", "lbxProjections", "lbxDesc"}) size(n, W - 660);
    changed();
}

// ---------------------------------------------------------------- projection

void frmProperties::mode(bool esri)
{
    control("optEPSG").value = !esri;
    control("optESRI").value = esri;
    control("optArcMap").value = false;
    control("lbxProjections").visible = control("lblProjections").visible = !esri;
    control("lblDatums").caption = esri ? "Datums/Projections:" : "Datums:";
    main_.coords().LoadProjections(esri ? "esri" : "epsg");
    loadProjectionListboxes();
    control("frmEPSGESRI").visible = true;
    control("frmArcMap").visible = false;
    changed();
}

void frmProperties::optEPSG_Click()
{
    ensure_loaded(false);
    mode(false);
}

void frmProperties::optESRI_Click()
{
    ensure_loaded(false);
    mode(true);
}

void frmProperties::optArcMap_Click()
{
    ensure_loaded(false);
    control("optEPSG").value = control("optESRI").value = false;
    control("optArcMap").value = true;
    control("frmEPSGESRI").visible = false;
    control("frmArcMap").visible = true;
    control("tbxPRJ").text = main_.settings().GetSetting("proj", "am_proj", "");
    prj_code_.clear();
    changed();
}

void frmProperties::loadProjectionListboxes()
{
    ensure_loaded();
    const std::string code = main_.settings().GetSetting("proj", "proj", "4326");
    const coords::ProjectionCatalogue* cat = main_.coords().catalogue();
    groups_ = cat ? cat->groups() : std::vector<coords::ProjectionGroup>();
    DialogControl& datums = control("lbxDatums");
    datums.items.clear();
    for (const auto& g : groups_)
        if (!vb::Trim(g.group).empty()) datums.items.push_back(g.group);
    select(datums, -1);
    DialogControl& codes = control("cbxPOSCCodes");
    codes.items.clear();
    if (cat)
        for (const std::string& c : cat->codes())
            if (vb::IsNumeric(c)) codes.items.push_back(c);
    codes.ListIndex = -1;
    codes.text = code;
    cbxPOSCCodes_Click();
}

void frmProperties::loadGroupProjections()
{
    ensure_loaded();
    const DialogControl& datums = control("lbxDatums");
    if (datums.items.empty()) return;
    DialogControl& names = control("lbxProjections");
    names.items.clear();
    select(names, -1);
    for (const auto& g : groups_)
        if (g.group == datums.text) {
            for (const auto& [name, line] : g.names) names.items.push_back(name);
            break;
        }
}

void frmProperties::cbxPOSCCodes_Click()
{
    ensure_loaded();
    const coords::ProjectionCatalogue* cat = main_.coords().catalogue();
    const coords::ProjectionEntry* entry = cat ? cat->find(control("cbxPOSCCodes").text) : nullptr;
    if (!entry) return;
    DialogControl& datums = control("lbxDatums");
    select(datums, index_of(datums.items, entry->group));
    loadGroupProjections();
    DialogControl& names = control("lbxProjections");
    select(names, index_of(names.items, entry->name));
    // The code's own definition: another code filed under the same group
    // and name would otherwise take its place in the code box.
    describe(names.items.empty() ? nullptr : &entry->definition);
}

void frmProperties::lbxDatums_Click()
{
    ensure_loaded();
    loadGroupProjections();
    select(control("lbxProjections"), 0);
    lbxProjections_MouseDown();
}

void frmProperties::lbxProjections_MouseDown()
{
    ensure_loaded();
    const std::string group = control("lbxDatums").text, name = control("lbxProjections").text;
    if (!control("lbxProjections").items.empty())
        for (const auto& g : groups_)
            if (g.group == group)
                for (const auto& [n, line] : g.names)
                    if (n == name) return describe(&line);
    describe(nullptr);
}

// Shows a definition line one token per line (every token, empty ones
// included), its first token's code in the code box and the PRJ text kept
// for that code; without a line the description is only cleared.
void frmProperties::describe(const std::string* line)
{
    DialogControl& desc = control("lbxDesc");
    desc.items.clear();
    select(desc, -1);
    if (!line) return changed();
    bool first = true;
    for (const std::string& raw : vb::Split(*line, " ")) {
        std::string token = vb::Trim(raw);
        if (first && token.size() >= 2) {
            const std::string code = token.substr(1, token.size() - 2);
            control("cbxPOSCCodes").text = code;
            control("tbxPRJ").text = main_.settings().GetSetting("proj", code, "");
            prj_code_ = code;
        }
        first = false;
        desc.items.push_back(token);
    }
    changed();
}

void frmProperties::cmdNoProj_Click()
{
    ensure_loaded();
    control("cbxPOSCCodes").text = "4326";
    cbxPOSCCodes_Click();
}

void frmProperties::cmdOstrevane_Click()
{
    ensure_loaded();
    if (control("optArcMap").value) optEPSG_Click();
    control("cbxPOSCCodes").text = "26915";
    cbxPOSCCodes_Click();
}

void frmProperties::cmdPRJLoad_Click()
{
    ensure_loaded();
    // Any failure, cancelling included, changes nothing.
    try {
        const std::string folder = platform::Reg_GetValue("SOFTWARE\\ESRI\\ArcGIS", "InstallDir") + "Coordinate Systems";
        std::error_code ec;
        platform::OpenFileRequest request;
        request.initial_folder = fs::is_directory(folder, ec) ? folder : std::string();
        request.filter = "ESRI Projection File (*.prj)|*.prj";
        request.default_ext = ".prj";
        std::optional<std::string> path = main_.dialogs().GetOpenFileName(request);
        if (!path) return;
        std::ifstream in(*path, std::ios::binary);
        if (!in || fs::is_directory(*path, ec)) return;
        std::string text, line;
        bool first = true;
        while (std::getline(in, line)) {
            if (!line.empty() && line.back() == '\r') line.pop_back();
            text += (first ? "" : "\n") + line;
            first = false;
        }
        if (in.bad()) return;
        control("tbxPRJ").text = text;
        changed();
    } catch (const std::exception&) {
    }
}

// ---------------------------------------------------------------- by name

bool frmProperties::usable(const DialogControl& c) const
{
    if (!Visible() || !c.enabled || !c.visible || (c.tab >= 0 && c.tab != tab_)) return false;
    if (!c.frame.empty())
        for (const auto& f : controls_)
            if (f.name == c.frame) return usable(f);
    return true;
}

void frmProperties::trapped(const std::string& procedure, const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const VbError& e) {
        main_.dialogs().MsgBox("Error #" + std::to_string(e.number) + " - " + e.description, platform::vbCritical,
                               "frmProperties." + procedure);
    } catch (const std::exception& e) {
        main_.dialogs().MsgBox(std::string("Error #51 - ") + e.what(), platform::vbCritical,
                               "frmProperties." + procedure);
    }
}

// The control of that name when it is one of `kinds` (any kind when none
// are given) and can be used.
frmProperties::Result frmProperties::reach(const std::string& name, std::initializer_list<DialogControl::Kind> kinds,
                                           DialogControl*& c)
{
    ensure_loaded();
    c = find(name);
    if (!c || (kinds.size() && std::find(kinds.begin(), kinds.end(), c->kind) == kinds.end())) return NoControl;
    return usable(*c) ? Done : Disabled;
}

frmProperties::Result frmProperties::Click(const std::string& name)
{
    DialogControl* c = nullptr;
    if (Result r = reach(name, {DialogControl::Button, DialogControl::Option}, c); r != Done) return r;
    static const std::pair<const char*, void (frmProperties::*)()> handlers[] = {
        {"optEPSG", &frmProperties::optEPSG_Click},     {"optESRI", &frmProperties::optESRI_Click},
        {"optArcMap", &frmProperties::optArcMap_Click}, {"cmdOK", &frmProperties::cmdOK_Click},
        {"cmdCancel", &frmProperties::cmdCancel_Click}, {"cmdWReset", &frmProperties::cmdWReset_Click},
        {"cmdNoProj", &frmProperties::cmdNoProj_Click}, {"cmdOstrevane", &frmProperties::cmdOstrevane_Click},
        {"cmdPRJLoad", &frmProperties::cmdPRJLoad_Click}};
    for (auto [n, h] : handlers)
        if (name == n) trapped(name + "_Click", [&] { (this->*h)(); });
    return Done;
}

frmProperties::Result frmProperties::SetValue(const std::string& name, bool checked)
{
    DialogControl* c = nullptr;
    if (Result r = reach(name, {DialogControl::Check}, c); r != Done) return r;
    if (c->value == checked) return Done;
    c->value = checked;
    if (name == "chkAMCalcArea") area_changed("Area");
    if (name == "chkAMCalcLength") area_changed("Length");
    changed();
    return Done;
}

frmProperties::Result frmProperties::SetText(const std::string& name, const std::string& text)
{
    DialogControl* c = nullptr;
    if (Result r = reach(name, {DialogControl::Text, DialogControl::Combo}, c); r != Done) return r;
    c->text = text;
    if (c->kind == DialogControl::Combo) c->ListIndex = -1;
    changed();
    return Done;
}

frmProperties::Result frmProperties::Choose(const std::string& name, const std::string& item)
{
    DialogControl* c = nullptr;
    if (Result r = reach(name, {DialogControl::List, DialogControl::Combo}, c); r != Done) return r;
    int i = index_of(c->items, item);
    if (i < 0) return NoItem;
    select(*c, i);
    trapped(name + "_Click", [&] {
        if (name == "cbxPOSCCodes") cbxPOSCCodes_Click();
        if (name == "lbxDatums") lbxDatums_Click();
        if (name == "lbxProjections") lbxProjections_MouseDown();
        if (name == "cboAMAreaUnits") control("tbxAMAreaMultiplier").text = multiplier_of(item);
        if (name == "cboAMLengthUnits") control("tbxAMLengthMultiplier").text = multiplier_of(item);
    });
    changed();
    return Done;
}

frmProperties::Result frmProperties::KeyPress(const std::string& name, int code)
{
    DialogControl* c = nullptr;
    if (Result r = reach(name, {}, c); r != Done) return r;
    if (name == "cbxPOSCCodes" && code == 13) trapped("cbxPOSCCodes_KeyPress", [this] { cbxPOSCCodes_Click(); });
    return Done;
}

frmProperties::Result frmProperties::CellClick(const std::string& grid, int row, int col, bool twice)
{
    DialogControl* c = nullptr;
    if (Result r = reach(grid, {DialogControl::Grid}, c); r != Done) return r;
    const int i = int(std::find(std::begin(kGrids), std::end(kGrids), grid) - std::begin(kGrids));
    trapped(grid + (twice ? "_DblClick" : "_Click"), [&] {
        if (twice)
            EditAlias(i, row, col);
        else
            ReadOnlyCheck(i, row, col);
    });
    return Done;
}

} // namespace app
