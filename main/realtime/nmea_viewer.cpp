// The NMEA viewer: its boxes and text as data, the box states kept in the
// settings store, the shift-click that sets every other box at once, and
// the save of the text to a file.
#include "main/realtime/nmea_viewer.h"

#include "main/app/frm_main.h"
#include "platform/automation/vb_error.h"
#include "platform/settings/settings.h"
#include "platform/settings/stored_file.h"
#include "platform/text/vb.h"
#include "platform/ui/dialogs.h"

#include <array>
#include <filesystem>
#include <sys/stat.h>

namespace realtime {

namespace vb = platform::vb;
using app::DialogControl;

namespace {

struct Box {
    const char* name;
    const char* caption;
    const char* tooltip;
};

// The fixed order of the boxes: the 30 "$GP" sentences, then the
// proprietary ones and OTHER.
const std::array<Box, frmNMEAViewer::kBoxes> kBoxes = {{
    {"chkGPALM", "$GPALM", "GPS Almanac Data"},
    {"chkGPAPB", "$GPAPB", "Autopilot Format B"},
    {"chkGPBOD", "$GPBOD", "Bearing - Origin to Destination Waypoint"},
    {"chkGPBWC", "$GPBWC", "Bearing and Distance to Waypoint - Great Circle"},
    {"chkGPBWR", "$GPBWR", "Bearing and Distance to Waypoint - Rhumb Line"},
    {"chkGPDBT", "$GPDBT", "Depth Below Transducer"},
    {"chkGPGGA", "$GPGGA", "Global Positioning System Fixed Data"},
    {"chkGPGLL", "$GPGLL", "Geographic Position - Latitude/Longitude"},
    {"chkGPGRS", "$GPGRS", "GPS Range Residuals"},
    {"chkGPGSA", "$GPGSA", "GPS DOP and Active Satellites"},
    {"chkGPGST", "$GPGST", "GPS Pseudorange Noise Statistics"},
    {"chkGPGSV", "$GPGSV", "GNSS Satellites in View"},
    {"chkGPHDM", "$GPHDM", "Heading, Magnetic"},
    {"chkGPHSC", "$GPHSC", "Command Heading to Steer"},
    {"chkGPMSS", "$GPMSS", "Beacon Receiver Status"},
    {"chkGPMTW", "$GPMTW", "Water Temperature - Celcius"},
    {"chkGPROO", "$GPROO", "List of Waypoint IDs in Currently Active Route"},
    {"chkGPRMB", "$GPRMB", "Recommended Minimum Navigation Information"},
    {"chkGPRMC", "$GPRMC", "Recommended Minimum Specific GPS/Transit Data"},
    {"chkGPRTE", "$GPRTE", "Waypoints in Active Route"},
    {"chkGPVHW", "$GPVHW", "Water Speed and Heading"},
    {"chkGPVTG", "$GPVTG", "Course Over Ground and Ground Speed"},
    {"chkGPVWR", "$GPVWR", "Relative Wind Direction and Speed"},
    {"chkGPWCV", "$GPWCV", "Waypoint Closure Velocity"},
    {"chkGPWDC", "$GPWDC", "Distance to Waypoint"},
    {"chkGPWDR", "$GPWDR", "Waypoint Distance - Rhumb Line"},
    {"chkGPWPL", "$GPWPL", "Waypoint Location"},
    {"chkGPXTE", "$GPXTE", "Cross Track Error - Measured"},
    {"chkGPXTR", "$GPXTR", "Cross-Track Error - Dead Reckoning"},
    {"chkGPZDA", "$GPZDA", ""},
    {"chkPGRME", "$PGRME", "Estimated Error"},
    {"chkPGRMM", "$PGRMM", "Map Datum"},
    {"chkPGRMZ", "$PGRMZ", "Altitude"},
    {"chkPSLIB", "$PSLIB", "DGPS Control"},
    {"chkOTHER", "OTHER", "Other NMEA Strings"},
}};
constexpr int kStandardBoxes = 30; // in the first frame
constexpr int kMinWidth = 6500, kMinHeight = 6700;
const char* const kSection = "NMEA";
const char* const kKey = "checkboxes";
const char* const kCrLf = "\r\n";

std::string default_states()
{
    std::string s;
    for (int i = 0; i < frmNMEAViewer::kBoxes; ++i) s += i ? ",1" : "1";
    return s;
}

std::vector<DialogControl> make_controls(int width, int height)
{
    using K = DialogControl::Kind;
    auto c = [](const char* name, K kind, const char* caption, int l, int t, int w, int h, const char* tip = "",
                const char* frame = "") {
        DialogControl d;
        d.name = name, d.kind = kind, d.caption = caption, d.tooltip = tip, d.frame = frame;
        d.left = l, d.top = t, d.width = w, d.height = h;
        return d;
    };
    std::vector<DialogControl> v;
    v.push_back(c("Frame1", K::Frame, "NMEA Strings:", 120, 60, 6200, 1800));
    v.push_back(c("Frame2", K::Frame, "Proprietary Sentences:", 120, 1920, 6200, 540));
    // Five columns of boxes in each frame, positions inside the frame.
    for (int i = 0; i < frmNMEAViewer::kBoxes; ++i) {
        const Box& b = kBoxes[std::size_t(i)];
        const bool standard = i < kStandardBoxes;
        const int k = standard ? i : i - kStandardBoxes;
        DialogControl box = c(b.name, K::Check, b.caption, 120 + (k % 5) * 1200, 240 + (k / 5) * 255, 1100, 255,
                              b.tooltip, standard ? "Frame1" : "Frame2");
        box.value = true;
        v.push_back(std::move(box));
    }
    v.push_back(c("cmdSave", K::Button, "Save", 120, 2520, 1215, 375));
    v.push_back(c("cmdClose", K::Button, "Close", 1440, 2520, 1215, 375));
    v.push_back(c("tbxNMEAStrings", K::Text, "", 120, 2960, width - 300, height - 3400,
                  "Copy/Paste Textbox Contents to External File."));
    return v;
}

bool is_box(const DialogControl& c) { return c.kind == DialogControl::Check; }

// A stored box value: 0 or 1 as a number; anything else is none.
std::optional<bool> box_state(const std::string& text)
{
    if (!vb::IsNumeric(text)) return std::nullopt;
    const double v = vb::CDbl(text);
    if (v == 0) return false;
    if (v == 1) return true;
    return std::nullopt;
}

unsigned new_file_mode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~unsigned(mask);
}

} // namespace

frmNMEAViewer::frmNMEAViewer(app::frmMain& main) : main_(main) {}

// ---------------------------------------------------------------- controls

DialogControl* frmNMEAViewer::find(const std::string& name)
{
    for (auto& c : controls_)
        if (vb::SameLCase(c.name, name)) return &c;
    return nullptr;
}

const DialogControl& frmNMEAViewer::control(const std::string& name) const
{
    for (const auto& c : controls_)
        if (vb::SameLCase(c.name, name)) return c;
    throw platform::VbError(730, "frmNMEAViewer", "Control '" + name + "' not found");
}

const std::string& frmNMEAViewer::Text() const
{
    static const std::string none;
    return text_ ? text_->text : none;
}

std::vector<const DialogControl*> frmNMEAViewer::getNMEACodes() const
{
    std::vector<const DialogControl*> out;
    for (const auto& c : controls_)
        if (is_box(c)) out.push_back(&c);
    return out;
}

app::Form::Result frmNMEAViewer::Click(const std::string& name, int)
{
    DialogControl* c = find(name);
    if (!c) return NoControl;
    if (!Visible() || !c->enabled) return Disabled;
    if (is_box(*c)) {
        c->value = !c->value;
        changed();
    } else if (vb::SameLCase(name, "cmdSave")) {
        cmdSave_Click();
    } else if (vb::SameLCase(name, "cmdClose")) {
        cmdClose_Click();
    } else {
        return NoControl;
    }
    return Done;
}

app::Form::Result frmNMEAViewer::SetValue(const std::string& name, bool checked)
{
    DialogControl* c = find(name);
    if (!c || !is_box(*c)) return NoControl;
    if (!Visible() || !c->enabled) return Disabled;
    c->value = checked;
    changed();
    return Done;
}

app::Form::Result frmNMEAViewer::SetText(const std::string& name, const std::string& text)
{
    DialogControl* c = find(name);
    if (!c || c != text_) return NoControl;
    if (!Visible() || !c->enabled) return Disabled;
    c->text = text;
    caret_ = text.size();
    inserted_at = inserted_size = 0;
    ++revision;
    changed();
    return Done;
}

app::Form::Result frmNMEAViewer::MouseDown(const std::string& name, int shift)
{
    DialogControl* c = find(name);
    if (!c || !is_box(*c)) return NoControl;
    if (!Visible() || !c->enabled) return Disabled;
    Filter_ShiftClick(c->name, shift);
    return Done;
}

app::Form::Result frmNMEAViewer::Resize(int width, int height)
{
    if (!Visible()) return Disabled;
    Width = width, Height = height, WindowState = 0;
    Form_Resize();
    return Done;
}

// ---------------------------------------------------------------- lifecycle

void frmNMEAViewer::Load()
{
    if (!loaded_) Form_Load();
}

void frmNMEAViewer::Show()
{
    Load();
    visible_ = true;
    Form_Resize();
}

void frmNMEAViewer::Unload()
{
    if (!loaded_) return;
    Form_Unload();
    loaded_ = visible_ = false;
    controls_.clear();
    text_ = nullptr;
    caret_ = inserted_at = inserted_size = 0;
    ++revision;
    changed();
}

void frmNMEAViewer::Form_Load()
{
    controls_ = make_controls(Width, Height);
    text_ = find("tbxNMEAStrings");
    caret_ = 0;
    const std::string stored = main_.settings().GetSetting(kSection, kKey, default_states());
    const std::vector<std::string> values = vb::Split(stored, ",");
    std::size_t i = 0;
    for (auto& c : controls_) {
        if (!is_box(c)) continue;
        if (i < values.size())
            if (std::optional<bool> v = box_state(values[i])) c.value = *v;
        ++i;
    }
    loaded_ = true;
    ++revision;
}

void frmNMEAViewer::Form_Unload()
{
    std::string states;
    for (const DialogControl* box : getNMEACodes()) states += std::string(box->value ? "1" : "0") + ",";
    if (!states.empty()) states.pop_back();
    main_.settings().SaveSetting(kSection, kKey, states);
}

void frmNMEAViewer::Form_Resize()
{
    if (!loaded_) return;
    if (WindowState != 1) {
        if (Width < kMinWidth) Width = kMinWidth;
        if (Height < kMinHeight) Height = kMinHeight;
        text_->width = Width - 300;
        text_->height = Height - 3400;
    }
    changed();
}

void frmNMEAViewer::Filter_ShiftClick(const std::string& box, int shift)
{
    if (shift != 1) return;
    const DialogControl* clicked = find(box);
    if (!clicked) return;
    // The state the clicked box takes with this click.
    const bool state = !clicked->value;
    for (auto& c : controls_)
        if (is_box(c) && c.name != clicked->name) c.value = state;
    changed();
}

// ---------------------------------------------------------------- the text

void frmNMEAViewer::insert(const std::string& piece)
{
    std::string& text = text_->text;
    if (caret_ > text.size()) caret_ = text.size();
    text.insert(caret_, piece);
    inserted_at = caret_;
    inserted_size = piece.size();
    caret_ += piece.size();
    ++revision;
}

void frmNMEAViewer::AddLine(const std::string& line, const std::string& identifier)
{
    Load();
    bool matched = false, added = false;
    for (const DialogControl* box : getNMEACodes()) {
        if (box->caption != identifier) continue;
        matched = true;
        if (!box->value) continue;
        insert(Text().empty() ? line : kCrLf + line);
        added = true;
    }
    // An unnamed sentence joins the text the same way: never a CR LF ahead
    // of the first line.
    if (!matched && control("chkOTHER").value) {
        insert(Text().empty() ? line : kCrLf + line);
        added = true;
    }
    if (added) changed();
}

// ---------------------------------------------------------------- commands

void frmNMEAViewer::cmdSave_Click()
{
    platform::Dialogs& dialogs = main_.dialogs();
    platform::OpenFileRequest request;
    request.filter = "Text File (*.txt)|*.txt";
    std::error_code ec;
    request.initial_folder = std::filesystem::current_path(ec).string();
    const std::optional<std::string> path = dialogs.GetSaveFileName(request);
    if (!path || path->empty()) return;
    if (std::filesystem::exists(*path, ec) &&
        dialogs.MsgBox("File already exists.  Would you like to overwrite it?", platform::vbYesNo, "Save") !=
            platform::vbYes)
        return;
    std::string reason;
    if (!platform::save_stored_file(*path, Text() + kCrLf, reason, new_file_mode())) {
        // The text stays in the window; nothing was written.
        dialogs.MsgBox("The file " + *path + " could not be written: " + reason, platform::vbCritical, "Save");
        return;
    }
    dialogs.MsgBox("File was written successfully to " + *path, platform::vbOKOnly, "");
}

void frmNMEAViewer::cmdClose_Click()
{
    visible_ = false;
    changed();
}

} // namespace realtime
