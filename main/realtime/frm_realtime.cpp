// The real-time window: its controls as data, the command state machine of
// the output shapefile, the vertex table of the shape being built, and the
// settings of section "realtime".
#include "main/realtime/frm_realtime.h"

#include "main/app/frm_main.h"
#include "main/app/run_time_error.h"
#include "main/files/dbase.h"
#include "main/files/files.h"
#include "main/files/shapefile.h"
#include "main/files/table_files.h"
#include "main/links/links.h"
#include "main/realtime/realtime.h"
#include "main/table/table.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/vb_error.h"
#include "platform/settings/settings.h"
#include "platform/text/vb.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialogs.h"

#include <filesystem>
#include <set>

namespace realtime {

namespace vb = platform::vb;
using app::DialogControl;
using platform::Variant;
using platform::VbError;

namespace {

const char* const kSection = "realtime";
const char* const kTypes[3] = {"Point", "Line", "Polygon"};

std::string indexed(const std::string& name, int index) { return name + "(" + std::to_string(index) + ")"; }

// The settings keys in the order they are read and written, with their controls.
struct SettingKey {
    const char* key;
    const char* control;
};
constexpr SettingKey kKeys[] = {
    {"toltimechk", "chkTolerance(0)"},  {"toltimeval", "tbxToleranceValue(0)"},
    {"toldistchk", "chkTolerance(1)"},  {"toldistval", "tbxToleranceValue(1)"},
    {"showgraphics", "chkGISDisplay"},  {"panchk", "chkPan"},
    {"panval", "tbxPanWindow"},         {"trackup", "chkTrackUp"},
};

std::vector<DialogControl> make_controls()
{
    using K = DialogControl::Kind;
    std::vector<DialogControl> v;
    auto c = [&v](std::string name, K kind, std::string caption, int l, int t, int w, int h, std::string tip = {},
                  std::string frame = {}) -> DialogControl& {
        DialogControl d;
        d.name = std::move(name);
        d.kind = kind;
        d.caption = std::move(caption);
        d.tooltip = std::move(tip);
        d.frame = std::move(frame);
        d.left = l, d.top = t, d.width = w, d.height = h;
        v.push_back(d);
        return v.back();
    };
    c("fraTolerances", K::Frame, "Tolerances:", 120, 120, 2895, 1095);
    c("chkTolerance(0)", K::Check, "Time (sec)", 240, 360, 1455, 255, " Collects points at this interval",
      "fraTolerances");
    c("tbxToleranceValue(0)", K::Text, "", 1800, 330, 1000, 285, "Minimum time between collected points",
      "fraTolerances").text = "1";
    c("chkTolerance(1)", K::Check, "Distance (m)", 240, 720, 1455, 255,
      "Does not collect another point unless it is this distance from the previous point collected", "fraTolerances");
    c("tbxToleranceValue(1)", K::Text, "", 1800, 690, 1000, 285, "Minimum distance between collected points",
      "fraTolerances").text = "5";
    c("frmGISDisplay", K::Frame, "GIS Display:", 3120, 120, 2895, 1455);
    c("chkGISDisplay", K::Check, "Show Graphics", 3240, 360, 1800, 255, "Show graphic trail of real-time points",
      "frmGISDisplay");
    c("chkPan", K::Check, "Pan Window (%)", 3240, 720, 1700, 255, "", "frmGISDisplay").value = true;
    c("tbxPanWindow", K::Text, "", 5000, 690, 800, 285, "Valid range is 25-100", "frmGISDisplay").text = "75";
    c("chkTrackUp", K::Check, "Track Up", 3240, 1080, 1800, 255,
      "Determines if Track is Up on your Map.  If unchecked, North is up.", "frmGISDisplay");
    c("lblProjXCaption", K::Label, "X:", 120, 1320, 300, 255);
    c("lblProjX", K::Label, "", 480, 1320, 2400, 255);
    c("lblProjYCaption", K::Label, "Y:", 120, 1620, 300, 255);
    c("lblProjY", K::Label, "", 480, 1620, 2400, 255);
    c("fraOutput", K::Frame, "Select Output Data Types:", 120, 1980, 5895, 2055);
    static const char* const counts[3] = {"Displays Number of Records in Point Layer",
                                          "Displays Number of Records in Line Layer",
                                          "Displays Number of Records in Polygon Layer"};
    for (int i = 0; i < 3; ++i) {
        c(indexed("optDataType", i), K::Option, kTypes[i], 240, 2280 + i * 360, 1200, 255, "", "fraOutput").value = i == 0;
        c(indexed("lblPath", i), K::Label, "", 1560, 2280 + i * 360, 3000, 255, "", "fraOutput").visible = false;
        DialogControl& n = c(indexed("lblCount", i), K::Label, "0", 4680, 2280 + i * 360, 1200, 255, counts[i], "fraOutput");
        n.visible = false;
    }
    static const char* const commands[4] = {"Collect a single point ", "Starts recording data for selected data type",
                                            "Pauses data recording for active data type",
                                            "Stops collection of data for active data type"};
    static const char* const pictures[4] = {"point", "start", "pause", "stop"};
    for (int i = 0; i < 4; ++i)
        c(indexed("cmdControls", i), K::Button, "", 240 + i * 600, 3420, 495, 495, commands[i], "fraOutput").picture =
            pictures[i];
    c("cmdLoad", K::Button, "Load File", 2760, 3420, 1455, 375, "Load a new or existing shapefile for data collection",
      "fraOutput");
    c("cmdRemove", K::Button, "Remove File", 4320, 3420, 1455, 375, "Remove shapefile from active data type",
      "fraOutput").enabled = false;
    c("cmdExit", K::Button, "Exit", 4560, 4200, 1455, 375, "Stop real-time tracking and close this window");
    return v;
}

} // namespace

frmRealTime::frmRealTime(app::frmMain& main) : main_(main) { Form_Initialize(); }

// ---------------------------------------------------------------- controls

DialogControl* frmRealTime::find(const std::string& name)
{
    for (auto& c : controls_)
        if (vb::SameLCase(c.name, name)) return &c;
    return nullptr;
}

const DialogControl& frmRealTime::control(const std::string& name) const
{
    for (const auto& c : controls_)
        if (vb::SameLCase(c.name, name)) return c;
    throw VbError(730, "frmRealTime", "Control '" + name + "' not found");
}

DialogControl& frmRealTime::control(const std::string& name)
{
    return const_cast<DialogControl&>(static_cast<const frmRealTime&>(*this).control(name));
}

std::string frmRealTime::Tag(const std::string& name) const
{
    auto it = tags_.find(vb::LCase(name));
    return it == tags_.end() ? std::string() : it->second;
}

int frmRealTime::pending_vertices() const { return vertices_.empty() ? 0 : int(vertices_[0].size()) - 1; }

int frmRealTime::selected_type() const
{
    for (int i = 0; i < 3; ++i)
        if (control(indexed("optDataType", i)).value) return i;
    return 0;
}

app::Form::Result frmRealTime::Click(const std::string& name, int index)
{
    const std::string full = index >= 0 ? indexed(name, index) : name;
    DialogControl* c = find(full);
    if (!c || (c->kind != DialogControl::Button && c->kind != DialogControl::Option)) return NoControl;
    if (!Visible() || !c->enabled || !c->visible) return Disabled;
    const std::size_t open = full.find('(');
    const int i = open == std::string::npos ? -1 : std::stoi(full.substr(open + 1));
    const std::string base = vb::LCase(full.substr(0, open));
    if (base == "cmdcontrols") {
        cmdControls_Click(i);
    } else if (base == "optdatatype") {
        for (int k = 0; k < 3; ++k) control(indexed("optDataType", k)).value = k == i;
        optDataType_Click(i);
    } else if (base == "cmdload") {
        cmdLoad_Click();
    } else if (base == "cmdremove") {
        cmdRemove_Click();
    } else if (base == "cmdexit") {
        cmdExit_Click();
    }
    changed();
    return Done;
}

app::Form::Result frmRealTime::SetValue(const std::string& name, bool checked)
{
    DialogControl* c = find(name);
    if (!c || c->kind != DialogControl::Check) return NoControl;
    if (!Visible() || !c->enabled) return Disabled;
    c->value = checked;
    const std::string n = vb::LCase(c->name);
    if (n == "chktolerance(0)") chkTolerance_Click(0);
    if (n == "chktolerance(1)") chkTolerance_Click(1);
    if (n == "chkgisdisplay") chkGISDisplay_Click();
    changed();
    return Done;
}

app::Form::Result frmRealTime::SetText(const std::string& name, const std::string& text)
{
    DialogControl* c = find(name);
    if (!c || c->kind != DialogControl::Text) return NoControl;
    if (!Visible() || !c->enabled) return Disabled;
    c->text = text;
    const std::string n = vb::LCase(c->name);
    if (n == "tbxtolerancevalue(0)") tbxToleranceValue_Change(0);
    if (n == "tbxtolerancevalue(1)") tbxToleranceValue_Change(1);
    changed();
    return Done;
}

app::Form::Result frmRealTime::LostFocus(const std::string& name)
{
    DialogControl* c = find(name);
    if (!c) return NoControl;
    if (!Visible() || !c->enabled) return Disabled;
    if (vb::SameLCase(c->name, "tbxPanWindow")) tbxPanWindow_LostFocus();
    changed();
    return Done;
}

app::Form::Result frmRealTime::KeyDown(int key_code, int shift)
{
    if (!Visible()) return Disabled;
    Form_KeyDown(key_code, shift);
    changed();
    return Done;
}

// ---------------------------------------------------------------- lifecycle

void frmRealTime::Form_Initialize()
{
    vertices_.clear();
    command_state_ = -1;
}

void frmRealTime::Load(bool show, bool minimised)
{
    if (!loaded_) {
        controls_ = make_controls();
        tags_.clear();
        tags_["chkgisdisplay"] = "0";
        colors_.fill(kButtonFace);
        loaded_ = true;
        Form_Load();
    }
    if (show) {
        visible_ = true;
        WindowState = minimised ? 1 : 0;
    }
    changed();
}

void frmRealTime::Form_Load()
{
    optDataType_Click(0);
    main_.state().ident_prompt = true;
    vertices_.assign(1, std::vector<std::string>(1));
    Settings_Load();
}

void frmRealTime::Unload()
{
    if (!loaded_ || unloading_) return;
    unloading_ = true;
    Form_Unload();
    loaded_ = visible_ = false;
    unloading_ = false;
    controls_.clear();
    Form_Initialize();
    changed();
    if (main_.state().real_time) main_.realtime().menu_Click("mnuStopRealTime", -1);
}

void frmRealTime::Form_Unload()
{
    for (int i = 0; i < 3; ++i) {
        if (control(indexed("lblPath", i)).caption.empty()) continue;
        for (int k = 0; k < 3; ++k) control(indexed("optDataType", k)).value = k == i;
        optDataType_Click(i);
        if (Tag(indexed("optDataType", i)) != "3") setCommandControls(3, true);
    }
    recording_ = shape_end_ = false;
    main_.state().transfer_busy = false;
    Settings_Save();
}

void frmRealTime::cmdExit_Click() { Unload(); }

void frmRealTime::Settings_Load()
{
    platform::Settings& s = main_.settings();
    for (const SettingKey& k : kKeys) {
        DialogControl& c = control(k.control);
        if (c.kind == DialogControl::Check) {
            const std::string v = s.GetSetting(kSection, k.key, c.value ? "1" : "0");
            c.value = vb::IsNumeric(v) ? vb::Val(v) != 0 : c.value;
            // Setting a box runs its click handler.
            if (vb::SameLCase(c.name, "chkTolerance(0)")) chkTolerance_Click(0);
            if (vb::SameLCase(c.name, "chkTolerance(1)")) chkTolerance_Click(1);
            if (vb::SameLCase(c.name, "chkGISDisplay")) chkGISDisplay_Click();
        } else {
            c.text = s.GetSetting(kSection, k.key, c.text);
        }
    }
}

void frmRealTime::Settings_Save()
{
    platform::Settings& s = main_.settings();
    for (const SettingKey& k : kKeys) {
        const DialogControl& c = control(k.control);
        s.SaveSetting(kSection, k.key, c.kind == DialogControl::Check ? (c.value ? "1" : "0") : c.text);
    }
}

// ---------------------------------------------------------------- tolerances and display

void frmRealTime::chkTolerance_Click(int index)
{
    control(indexed("tbxToleranceValue", index)).enabled = control(indexed("chkTolerance", index)).value;
}

void frmRealTime::tbxToleranceValue_Change(int index)
{
    DialogControl& t = control(indexed("tbxToleranceValue", index));
    if (vb::IsNumeric(t.text)) return;
    main_.dialogs().MsgBox("Value must be a number", platform::vbOKOnly);
    t.text = "1";
}

void frmRealTime::tbxPanWindow_LostFocus()
{
    DialogControl& t = control("tbxPanWindow");
    const double v = double(vb::CLng(vb::Val(t.text)));
    if (v < 25) t.text = "25";
    if (v > 100) t.text = "100";
}

void frmRealTime::chkGISDisplay_Click() { tags_["chkgisdisplay"] = control("chkGISDisplay").value ? "2" : "0"; }

// ---------------------------------------------------------------- commands

void frmRealTime::setCommandControls(int state, bool applyStop)
{
    if (state != 0)
        for (int i = 0; i < 4; ++i) colors_[std::size_t(i)] = i == state ? kHighlight : kButtonFace;
    command_state_ = state;
    app::AppState& s = main_.state();
    switch (state) {
    case 0:
        shape_end_ = true;
        s.ident_prompt = true;
        s.tolerance_bypass = true;
        break;
    case 1:
        shape_end_ = false;
        recording_ = true;
        break;
    case 2:
        shape_end_ = recording_ = false;
        break;
    case 3:
        if (applyStop) {
            shape_end_ = true;
            recording_ = false;
        }
        break;
    default:
        break;
    }
    tags_[vb::LCase(indexed("optDataType", selected_type()))] = std::to_string(state);
}

void frmRealTime::cmdControls_Click(int index) { setCommandControls(index, true); }

void frmRealTime::optDataType_Click(int index)
{
    const bool has_file = !control(indexed("lblPath", index)).caption.empty();
    for (int i = 0; i < 4; ++i) {
        colors_[std::size_t(i)] = kButtonFace;
        control(indexed("cmdControls", i)).enabled = has_file;
    }
    const int active = has_file ? int(vb::Val(Tag(indexed("optDataType", index)))) : 3;
    colors_[std::size_t(active & 3)] = kHighlight;
    for (int i = 0; i < 3; ++i) control(indexed("optDataType", i)).bold = i == index;
    control("cmdControls(0)").visible = index == 0;
}

void frmRealTime::Form_KeyDown(int key_code, int)
{
    const DialogControl& single = control("cmdControls(0)");
    if (key_code != 80 || !single.visible || !single.enabled) return;
    shape_end_ = true;
    main_.state().ident_prompt = false;
}

void frmRealTime::error_box(int number, const std::string& source, const std::string& description)
{
    main_.dialogs().MsgBox("Error # " + vb::Str(number) + " was generated by " + source + "\r" + description,
                           platform::vbOKOnly, "Error");
}

void frmRealTime::arcmap(const std::string& member, std::vector<Variant> args)
{
    app::AppState& s = main_.state();
    if (!s.arcmap_running || !s.arcmap_extension) return;
    platform::CallByName(*s.arcmap_extension, member, std::move(args));
}

frmRealTime::UserFile frmRealTime::get_UserFilename()
{
    platform::OpenFileRequest r;
    r.file_name.clear();
    r.filter = "ArcView Shapefile (Projected) (*.shp)|*.shp";
    r.filter_index = 1;
    std::error_code ec;
    r.initial_folder = std::filesystem::current_path(ec).string();
    r.default_ext = ".shp";
    const std::optional<std::string> path = main_.dialogs().GetSaveFileName(r);
    if (!path || path->empty()) return {};
    // A name whose state cannot be read (a symbolic-link loop, a name too
    // long, a folder closed to us) is a file error of this command.
    const bool exists = std::filesystem::exists(*path, ec);
    if (ec) throw platform::FileError(ec.value(), "trekfold");
    if (!exists) return {*path, true};
    const int answer = main_.dialogs().MsgBox(
        "File already exists.  Would you like to append to it? Answering NO will overwrite the existing file",
        platform::vbYesNoCancel, "Save");
    if (answer == platform::vbYes) return {*path, false};
    if (answer == platform::vbNo) return {*path, true};
    return {};
}

void frmRealTime::cmdLoad_Click()
{
    try {
        const int index = selected_type();
        const std::string word = vb::LCase(kTypes[index]);
        const UserFile f = get_UserFilename();
        if (f.path.empty()) return;
        auto* fe = dynamic_cast<files::FileFrontEnd*>(&main_.files());
        if (!fe) throw VbError(91, "trekfold", "Object variable or With block variable not set");
        std::int32_t count = 0;
        if (!fe->table_files().Shapefile_NewEmpty(word, f.path, !f.createNew, count)) return;
        DialogControl& path = control(indexed("lblPath", index));
        path.caption = f.path;
        path.visible = true;
        DialogControl& n = control(indexed("lblCount", index));
        n.caption = std::to_string(count);
        n.visible = true;
        setCommandControls(3, false);
        for (int i = 0; i < 4; ++i) control(indexed("cmdControls", i)).enabled = true;
        control("cmdRemove").enabled = true;
        control("cmdLoad").enabled = false;
        for (int i = 0; i < 3; ++i) control(indexed("optDataType", i)).enabled = false;
        if (main_.links().Arcview_Exists(false))
            main_.links().lblGPSDesc1_LinkExecute("av.run(\"GPS.AddTheme\",\"" + f.path + "\")");
        arcmap("Shapefile_ToDataFrame", {Variant(f.path), Variant(false)});
        vertices_.clear();
    } catch (const VbError& e) {
        error_box(e.number, e.source, e.description);
    } catch (...) {
        // Any other error is this command's too: its box, and the program goes on.
        const VbError v = app::run_time_error(std::current_exception());
        error_box(v.number, v.source, v.description);
    }
}

void frmRealTime::cmdRemove_Click()
{
    for (int i = 0; i < 3; ++i) control(indexed("optDataType", i)).enabled = true;
    const int index = selected_type();
    const std::string tag = indexed("optDataType", index);
    if (Tag(tag) != "3") setCommandControls(3, true);
    tags_[vb::LCase(tag)] = "3";
    DialogControl& path = control(indexed("lblPath", index));
    path.caption.clear();
    path.visible = false;
    DialogControl& n = control(indexed("lblCount", index));
    n.caption = "0";
    n.visible = false;
    control("cmdRemove").enabled = false;
    control("cmdLoad").enabled = true;
    for (int i = 0; i < 4; ++i) control(indexed("cmdControls", i)).enabled = false;
}

// ---------------------------------------------------------------- recording

void frmRealTime::Record_Point(const std::vector<std::string>& values, const std::vector<std::string>& fieldNames)
{
    if (!loaded_ || (!recording_ && !shape_end_)) return;
    app::AppState& s = main_.state();
    const int index = selected_type();
    const std::string word = vb::LCase(kTypes[index]);
    try {
        if (vertices_.size() < 2) {
            vertices_.assign(fieldNames.size(), {});
            for (std::size_t r = 0; r < fieldNames.size(); ++r) vertices_[r].push_back(fieldNames[r]);
        }
        if (values.size() > vertices_.size()) throw VbError(9, "frmRealTime", "Subscript out of range");
        for (std::size_t r = 0; r < vertices_.size(); ++r) vertices_[r].push_back(r < values.size() ? values[r] : "");
        const std::string path = control(indexed("lblPath", index)).caption;
        if (word != "point" && !shape_end_) {
            s.ident_prompt = true;
            return; // the vertex stays pending
        }
        DialogControl& count = control(indexed("lblCount", index));
        std::string ident;
        bool write = true;
        if (s.ident_prompt && !(word == "point" && command_state_ != 0)) {
            ident = main_.dialogs().InputBox("Enter value for Ident field", "Name the Shape",
                                             "rt" + vb::CStr(vb::Val(count.caption) + 1));
            if (word == "point") s.ident_prompt = false;
            write = !ident.empty();
        }
        if (write && !path.empty()) {
            auto* fe = dynamic_cast<files::FileFrontEnd*>(&main_.files());
            std::int32_t counter = 0;
            const int vertices = pending_vertices();
            const int least = word == "line" ? 2 : word == "polygon" ? 3 : 1;
            // A line under two vertices or a polygon under three writes
            // nothing, so it is not counted either.
            if (fe && fe->table_files().Shapefile_SaveFromArray(word, vertices_, path, true, ident, counter) &&
                vertices >= least) {
                count.caption = vb::CStr(vb::Val(count.caption) + 1);
                if (main_.links().Arcview_Exists(false))
                    main_.links().lblGPSDesc1_LinkExecute("av.run(\"GPS.RefreshShape\",\"" + path + "\")");
                arcmap("DataFrame_Refresh", {});
            }
        }
    } catch (const std::exception&) {
        // Not reported: the pending shape is discarded below.
    }
    vertices_.clear();
    s.ident_prompt = word != "point";
    if (!recording_) shape_end_ = false;
    changed();
}

// ---------------------------------------------------------------- quiet mode

bool frmRealTime::Load_Shapefile(const std::string& path, const std::string& shapeType, bool createNew)
{
    try {
        const std::string t = vb::LCase(shapeType);
        const std::int32_t code = t == "line" ? 3 : t == "polygon" ? 5 : 1;
        if (createNew) {
            files::DBase db(main_.dialogs());
            if (path.size() < 3) throw VbError(52, "trekfold", "Bad file name or number");
            if (!db.Shapefile_WriteEmptyHeader(path, shapeType) ||
                !db.Shapefile_WriteEmptyHeader(path.substr(0, path.size() - 3) + "shx", shapeType))
                throw VbError(75, "trekfold", "Path/File access error");
            auto* fe = dynamic_cast<files::FileFrontEnd*>(&main_.files());
            if (fe) fe->table_files().WritePRJ(path.size() >= 4 ? path.substr(0, path.size() - 4) : path, true);
        } else {
            files::CFileName name;
            name.SetFileSpec(path);
            files::CShapeFile shp;
            shp.SetFileSpec(name, 0);
            if (shp.fileType() != code) throw VbError(5, "trekfold", "Incompatible Shape Types");
        }
        return true;
    } catch (const VbError& e) {
        error_box(e.number, e.source, e.description);
    }
    return false;
}

bool frmRealTime::Load_DBase(const std::string& path, bool createNew)
{
    const std::string table = vb::LCase(path.size() >= 3 ? path.substr(path.size() - 3) : path) == "dbf"
                                  ? path
                                  : path.substr(0, path.size() >= 3 ? path.size() - 3 : 0) + "dbf";
    files::DBase db(main_.dialogs());
    std::error_code ec;
    const std::int16_t file = !std::filesystem::exists(table, ec) || createNew ? db.DBF_Create(table, {"ID,N,8,0"})
                                                                               : db.DBF_Open(table);
    if (file == -1) return false;
    // The table is closed on every road out.
    struct Closer {
        files::DBase& db;
        std::int16_t file;
        ~Closer() { db.DBF_Close(file); }
    } closer{db, file};
    std::set<std::string> present;
    if (auto fields = db.DBF_GetFields(file))
        for (const std::string& f : *fields) present.insert(vb::LCase(f.substr(0, f.find(','))));
    const platform::Grid& g = main_.MSFlexGrid1;
    const auto catalogue = flxgrd::Fields_Catalog();
    for (int c = 1; c < g.Cols(); ++c) {
        if (g.ColWidth(c) <= 0) continue;
        const std::string heading = g.TextMatrix(0, c);
        const flxgrd::CatalogField& f = catalogue.Item(heading); // an unknown heading raises to the caller
        if (present.count(vb::LCase(f.name))) continue;
        const std::string spec = f.name + "," + f.type + "," + std::to_string(f.width) + "," + std::to_string(f.decimals) +
                                 "," + std::to_string(f.ordinal);
        if (!db.DBF_AddFields(file, spec)) return false;
        present.insert(vb::LCase(f.name));
    }
    return true;
}

} // namespace realtime
