#include "main/app/frm_main.h"
#include "main/app/run_time_error.h"

#include "main/app/frm_about.h"
#include "main/app/frm_info.h"
#include "main/app/properties.h"
#include "main/coords/coords.h"
#include "main/files/files.h"
#include "main/hotlink/hotlink.h"
#include "main/table/picker.h"
#include "main/table/table.h"
#include "main/links/links.h"
#include "main/realtime/realtime.h"
#include "main/transfer/transfer.h"
#include "platform/automation/vb_error.h"
#include "platform/events/events.h"
#include "platform/serial/portmap.h"
#include "platform/settings/settings.h"
#include "platform/settings/user_folder.h"
#include "platform/text/vb.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialogs.h"
#include "platform/ui/printer.h"
#include "platform/windows/windows.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

#ifndef TREKFOLD_VERSION_MAJOR
#define TREKFOLD_VERSION_MAJOR 0
#define TREKFOLD_VERSION_MINOR 0
#define TREKFOLD_VERSION_PATCH 0
#endif

namespace app {

namespace vb = platform::vb;
using platform::VbError;

const std::array<const char*, 19> unload_order = {
    "frmAbout",     "frmCalculateCEP", "frmCustomSplash", "frmFeatureType", "frmFields",
    "frmGPSStatus", "frmHotlinking",   "frmImage",        "frmInfo",        "frmLandviewLayerSelection",
    "frmNMEAViewer", "frmProperties",  "frmQuietStatus",  "frmRealTime",    "frmShape",
    "frmSplash",    "frmTimeCalibrate", "frmWorldFiles",  "frmWptSelect",
};

const std::array<const char*, 1> modal_windows = {"frmInfo"};

namespace {

const char* const kPanelClosed = ">>> Data Table >>>";
const char* const kPanelOpen = "<<< Data Table <<<";

// Port settings texts in the order of the mnuBaud items.
const char* const kBaudSettings[7] = {"4800,N,8,1",  "9600,N,8,1",  "19200,N,8,1", "28800,N,8,1",
                                      "38400,N,8,1", "57600,N,8,1", "115200,N,8,1"};


Control make_control(std::string name, std::string caption, int left, int top, int width, int height,
                     std::string tooltip = {})
{
    Control c;
    c.name = std::move(name);
    c.caption = std::move(caption);
    c.tooltip = std::move(tooltip);
    c.left = left;
    c.top = top;
    c.width = width;
    c.height = height;
    return c;
}

} // namespace

std::string temp_folder()
{
    std::string dir = platform::Temp_Folder();
    if (dir.empty()) throw VbError(75, "frmMain.Load", "Path/File access error");
    return dir;
}

frmMain::frmMain(Services services, std::string program_folder)
    : svc_(services), program_folder_(std::move(program_folder))
{
    // Design-time controls (twips).
    cmdAdvanced = make_control("cmdAdvanced", kPanelClosed, 7700 - 2300, 600, 2172, 280,
                               "View advanced data information");
    cmdCopy = make_control("cmdCopy", "", 120, 1440, 372, 372, "Copy Selected Cells to Clipboard");
    cmdPaste = make_control("cmdPaste", "", 120, 1800, 372, 372, "Paste from Clipboard");
    cmdAddRec = make_control("cmdAddRec", "", 120, 2280, 372, 372, "Add Record to Table");
    cmdDeleteSel = make_control("cmdDeleteSel", "", 120, 2640, 372, 372, "Delete Selection");
    cmdClearSel = make_control("cmdClearSel", "", 120, 3120, 372, 372, "Clear Selection");
    cmdConvert = make_control("cmdConvert", "On - Refresh GUI", 120, 600, 1935, 280);
    optWpt = make_control("optWpt", "Waypoint", 1080, 1080, 1215, 195);
    optTrk = make_control("optTrk", "Track", 2440, 1080, 1215, 195);
    optRte = make_control("optRte", "Route", 3800, 1080, 1215, 195);
    optRTWpt = make_control("optRTWpt", "RTimeWpt", 5160, 1080, 1215, 195);
    lblGPSDesc1 = make_control("lblGPSDesc1", "Desc", 120, 120, 7300, 240); // down to the readouts
    static const char* const readout_captions[4] = {"Lat", "Lon", "EPE", "Alt"};
    for (int i = 0; i < 4; ++i)
        Label1[i] = make_control("Label1", readout_captions[i], 120 + i * 1860, 360, 420, 195);
    lbllat = make_control("lbllat", "", 540, 360, 1380, 195);
    lbllon = make_control("lbllon", "", 540 + 1860, 360, 1380, 195);
    lblepe = make_control("lblepe", "", 540 + 2 * 1860, 360, 1380, 195);
    lblAlt = make_control("lblAlt", "", 540 + 3 * 1860, 360, 1380, 195);
    ToDDE = make_control("ToDDE", "To DDE", 0, 0, 0, 0);
    FromDDE = make_control("FromDDE", "From DDE", 0, 0, 0, 0);
    ToDDE.visible = FromDDE.visible = false;
    grid_area = make_control("MSFlexGrid1", "", 600, 1320, 6825, 3100);
    MSFlexGrid1.SetColWidth(0, 400);
    StatusBar1 = {"Not Connected", "Text Tips Here", ""};

    Timer1 = svc_.pump.make_timer();
    Timer1->on_timer([this] { run_trapped("Timer1_Timer", [this] { links().Timer1_Timer(); }); });

    // The neighbour subsystems are installed by whoever composes the
    // program (main/program/compose.h), the settings dialog among them.

    clipboard_ = std::make_unique<platform::MemoryClipboard>();
    printer_ = std::make_unique<platform::MemoryPrinter>();
    make_table();
    wpt_select_ = std::make_unique<flxgrd::frmWptSelect>(table().ImageList1(), state_.d103_symbols);
    Set_RouteDefault = [this] { table().Set_RouteDefault(); };
    register_handlers();
    register_window("frmQuietStatus", [this] { return frmQuietStatus.loaded; },
                    [this] {
                        frmQuietStatus.loaded = frmQuietStatus.visible = false;
                        changed(ChangeQuietStatus);
                    });
    register_window("frmSplash", [this] { return frmSplash.loaded; }, [this] { unload_splash(); });
    register_window("frmInfo", [this] { return frmInfo_loaded(); }, [this] { info_.reset(); });
    register_window("frmAbout", [this] { return about_ != nullptr; }, [this] { about_.reset(); });
    register_window("frmWptSelect", [this] { return wpt_select_->loaded; }, [this] { wpt_select_->Unload(); });
}

class frmMain::GarminSink : public GarminEvents {
public:
    explicit GarminSink(frmMain& main) : main_(main) {}
    void Receive(const Packet& packet) override { main_.transfer().garmin_Receive(packet); }
    void cError(std::int16_t& cErr, const std::string& message, const Packet& packet) override
    {
        main_.transfer().garmin_cError(cErr, message, packet);
    }
    void ReceiveCounts(std::int16_t w, std::int16_t p, std::int16_t r, std::int16_t t) override
    {
        main_.transfer().garmin_ReceiveCounts(w, p, r, t);
    }
    void ReceiveImage(std::int16_t pct, const brenvik::PictureRef& image) override
    {
        main_.transfer().garmin_ReceiveImage(pct, image);
    }
    void HexDebug(const std::string& text) override { main_.realtime().garmin_HexDebug(text); }
    void NMEA(const std::string& sentence, bool chkerr) override { main_.realtime().garmin_NMEA(sentence, chkerr); }

private:
    frmMain& main_;
};

frmMain::~frmMain()
{
    host_garmin(nullptr);
    if (hwnd_) platform::windows::Withdraw(hwnd_);
}

void frmMain::changed(unsigned what)
{
    // The window list shows the caption the other programs would see.
    if ((what & ChangeCaption) && hwnd_ && Caption != announced_title_ &&
        platform::windows::Retitle(hwnd_, Caption))
        announced_title_ = Caption;
    if (on_changed) on_changed(what);
}

void frmMain::host_garmin(GarminControl* control)
{
    if (garmin) garmin->Advise(nullptr);
    garmin = control;
    if (!garmin) return;
    if (!garmin_sink_) garmin_sink_ = std::make_unique<GarminSink>(*this);
    garmin->Advise(garmin_sink_.get());
}

void frmMain::show_modal(const std::string& window)
{
    if (std::find(modal_windows.begin(), modal_windows.end(), window) == modal_windows.end()) return;
    frmInfo().window.visible = true;
    if (on_show_modal) on_show_modal(window);
    // Shut-down may have unloaded the window while it was shown.
    if (info_) info_->window.visible = false;
}

void frmMain::host_garmin_owned(std::unique_ptr<GarminControl> control)
{
    host_garmin(control.get());
    garmin_owned_ = std::move(control);
}

void frmMain::set_transfer(std::unique_ptr<transfer::GpsTransfer> t) { transfer_ = std::move(t); }
void frmMain::set_links(std::unique_ptr<links::GisLinks> l) { links_ = std::move(l); }
void frmMain::set_coords(std::unique_ptr<coords::Coordinates> c) { coords_ = std::move(c); }
void frmMain::set_files(std::unique_ptr<files::FileFormats> f) { files_ = std::move(f); }
void frmMain::set_realtime(std::unique_ptr<realtime::RealTime> r) { realtime_ = std::move(r); }
void frmMain::set_hotlink(std::unique_ptr<hotlink::Hotlinking> h) { hotlink_ = std::move(h); }
void frmMain::set_properties(std::unique_ptr<PropertiesDialog> p) { properties_ = std::move(p); }
void frmMain::set_clipboard(std::unique_ptr<platform::Clipboard> c) { clipboard_ = std::move(c); }
void frmMain::set_printer(std::unique_ptr<platform::Printer> p) { printer_ = std::move(p); }

void frmMain::register_window(const std::string& name, std::function<bool()> loaded, std::function<void()> unload)
{
    windows_.push_back({name, std::move(loaded), std::move(unload)});
}

void frmMain::register_form(const std::string& name, std::function<Form&()> get)
{
    forms_[name] = std::move(get);
}

std::vector<std::string> frmMain::window_names() const
{
    std::vector<std::string> names;
    for (const Window& w : windows_) names.push_back(w.name);
    for (const auto& f : forms_) names.push_back(f.first);
    std::sort(names.begin(), names.end());
    names.erase(std::unique(names.begin(), names.end()), names.end());
    return names;
}

Form* frmMain::form(const std::string& name)
{
    auto it = forms_.find(name);
    return it == forms_.end() ? nullptr : &it->second();
}

InfoWindow& frmMain::frmInfo()
{
    if (!info_) {
        info_ = std::make_unique<InfoWindow>();
        info_->window.loaded = true;
    }
    return *info_;
}

bool frmMain::panel_open() const { return cmdAdvanced.caption != kPanelClosed; }

// ---------------------------------------------------------------- start-up

void frmMain::Form_Load()
{
    // Start-up's own saves go to the file once, at the end; a store that
    // cannot be read or written is reported once and start-up goes on with
    // what it has.
    svc_.settings.hold();
    // The window is on the desktop from here until shut-down: other
    // programs find it in the window list.
    if (!hwnd_) {
        hwnd_ = platform::windows::Announce(kMainWindowClass, Caption);
        announced_title_ = Caption;
    }
    bool settings_reported = false;
    // The steps in order. The first error ends start-up at the error box;
    // shut-down begun while a step let events run (a signal, Exit) ends it
    // before the next step.
    const std::function<void()> steps[] = {
        // 1. The projection library finds its data by itself here: PATH is
        //    left alone and PROJ_LIB is never set.
        [this] {
            // 2.
            state_.arcmap_extension.reset();
            state_.GPS_MassStorageUnit.reset();
            state_.transfer_complete = true;
            state_.hotlink_sort = true;
        },
        [this] {
            // 3.
            std::string lc = vb::LCase(state_.command_line);
            state_.quiet_mode = lc.compare(0, 5, "quiet") == 0;
            state_.start_minimised = lc.compare(0, 8, "minimize") == 0;
            svc_.dialogs.set_quiet(state_.quiet_mode);
        },
        [this, &settings_reported] {
            if (const std::string& why = svc_.settings.read_problem(); !why.empty()) {
                settings_box("cannot be read", why);
                settings_reported = true;
            }
            // 4.
            Drive1 = svc_.settings.GetSetting("drive", "drive", program_folder_);
        },
        // 5.
        [this] { state_.temp_shapefile = temp_folder() + "/trkfld.shp"; },
        // 6., 7.
        [this] { load_port(); },
        [this] { load_port_settings(); },
        // 8.
        [this] { transfer().Ports_Enable(); },
        [this] {
            // 9.
            set_unit(svc_.settings.GetSetting("units", "unit", "Meters"));
            state_.time_zone = svc_.settings.GetSetting("time", "timezone", "Local Computer Time");
            // 10.
            state_.transfer_busy = false;
            state_.projected_output = true;
            state_.selection_count = 0;
        },
        [this] {
            // 11.
            transfer().Set_Controls(1);
            transfer().Set_Controls(2);
            state_.screen_window_open = false;
        },
        [this] {
            // 12.
            cmdAdvanced.caption = kPanelClosed;
            // 13.
            Left = (screen_width - Width) / 2;
            Top = screen_height / 4;
            changed(ChangeControls | ChangeGeometry);
            // 14.
            state_.record_type = "waypoint";
        },
        // 15.
        [this] { load_refresh(); },
        [this] {
            // 16.
            state_.arcview_running = state_.landview_running = state_.arcexplorer_running = false;
            state_.arcmap_running = state_.google_earth_running = false;
            links().Refresh_Apps();
        },
        // 17.
        [this] { show_at_start(); },
        // 18.
        [this] { frmProperties().SetFieldSettings(""); },
        // 19.
        [this] { select_projection_mode(); },
        // 20.
        [this] { optWpt_Click(); },
        [this] {
            // 21.
            state_.nmea_values.Clear();
            state_.d103_symbols.Clear();
            transfer().Load_d103WptSymbols();
            state_.d1xx_symbols.Clear();
            transfer().Load_d1xxWptSymbols();
        },
        [this] {
            // 22.
            state_.GPS_Scanning = false;
            transfer().mnuOpen_Click();
        },
        [this] {
            // 23.
            if (state_.quiet_mode) {
                std::string line = state_.command_line;
                links().Quiet_Driver(line);
            }
        },
    };
    run_trapped("Load", [&] {
        for (const auto& step : steps) {
            if (ended_) break;
            step();
        }
    });
    if (std::string why = svc_.settings.release(); !why.empty() && !settings_reported)
        settings_box("cannot be saved", why);
    // The window is shown once loaded (minimised in quiet and minimised starts).
    if (!ended_) Visible = true;
    changed(ChangeAll);
}

void frmMain::settings_box(const std::string& what, const std::string& reason)
{
    svc_.dialogs.MsgBox("The settings file " + svc_.settings.path() + " " + what + ": " + reason +
                            ". Trekfold goes on with the settings it has.",
                        platform::vbExclamation, "frmMain.Load");
}

void frmMain::load_port()
{
    std::string text = svc_.settings.GetSetting("port", "port", "1");
    int port = -1;
    try {
        port = vb::CInt(text);
    } catch (const VbError&) {
        port = -1;
    }
    if (port < 0 || port > 20) {
        // Start-up carries on with port 1 rather than stopping half done.
        svc_.dialogs.MsgBox("The stored port \"" + text + "\" is not in the Set Port menu; Port 1 is used instead.",
                            platform::vbExclamation, "frmMain.Load");
        port = 1;
    }
    state_.port = static_cast<std::int16_t>(port);
    for (MenuItem* m : menus_.array("mnuPort")) m->checked = (m->index == port);
    if (garmin) garmin->Port(state_.port);
    changed(ChangeMenus);
}

void frmMain::load_port_settings()
{
    state_.port_settings = svc_.settings.GetSetting("port", "Settings", "9600,N,8,1");
    for (MenuItem* m : menus_.array("mnuBaud"))
        m->checked = m->index >= 0 && m->index < 7 && state_.port_settings == kBaudSettings[m->index];
    if (garmin) garmin->Settings(state_.port_settings);
    changed(ChangeMenus);
}

void frmMain::load_refresh()
{
    double period = vb::Val(svc_.settings.GetSetting("app", "refresh", "10"));
    if (!(period > 0)) period = 10; // also NaN
    if (period > kMaxRefreshSeconds) period = kMaxRefreshSeconds;
    svc_.settings.SaveSetting("app", "refresh", vb::CStr(period));
    Timer1->set_interval_ms(std::llround(period * 1000.0));
    Timer1->set_enabled(true);
}

void frmMain::show_at_start()
{
    if (state_.quiet_mode) {
        WindowState = vbMinimized;
        frmQuietStatus_lblStatus = "Loading Trekfold";
        frmQuietStatus.loaded = frmQuietStatus.visible = true;
        changed(ChangeGeometry | ChangeQuietStatus);
        if (on_repaint_quiet_status) on_repaint_quiet_status();
    } else if (state_.start_minimised) {
        WindowState = vbMinimized;
        changed(ChangeGeometry);
    } else {
        frmSplash_lblVersion = "Version " + std::to_string(TREKFOLD_VERSION_MAJOR) + "." +
                               std::to_string(TREKFOLD_VERSION_MINOR) + "." +
                               std::to_string(TREKFOLD_VERSION_PATCH);
        frmSplash.loaded = frmSplash.visible = true;
        splash_timer_ = svc_.pump.make_timer();
        splash_timer_->set_interval_ms(2000);
        splash_timer_->on_timer([this] { run_guarded(svc_.dialogs, "frmSplash.Timer1_Timer", [this] { unload_splash(); }); });
        splash_timer_->set_enabled(true);
        Visible = true;
        changed(ChangeGeometry | ChangeSplash);
    }
}

void frmMain::unload_splash()
{
    if (splash_timer_) splash_timer_->set_enabled(false);
    frmSplash.loaded = frmSplash.visible = false;
    changed(ChangeSplash);
}

void frmMain::select_projection_mode()
{
    std::string mode = svc_.settings.GetSetting("proj", "projfile", "epsg");
    if (mode == "esri")
        frmProperties().optESRI_Click();
    else if (mode == "epsg")
        frmProperties().optEPSG_Click();
    else if (mode == "arcmap")
        frmProperties().optArcMap_Click();
}

void frmMain::mnuUnit_Click(int index)
{
    const MenuItem* item = menus_.find("mnuUnit", index);
    if (!item) return;
    const std::string unit = item->caption;
    // Stored first: a store that cannot be written leaves the unit as it was.
    svc_.settings.SaveSetting("units", "unit", unit);
    set_unit(unit);
    frmProperties().unit_changed();
}

void frmMain::set_unit(const std::string& unit)
{
    state_.unit = unit;
    for (MenuItem* m : menus_.array("mnuUnit")) m->checked = vb::SameLCase(m->caption, unit);
    changed(ChangeMenus);
}

// ---------------------------------------------------------------- shut-down

void frmMain::Form_Unload(int& cancel)
{
    (void)cancel; // never set: the window always closes
    if (ended_) return;
    try {
        if (garmin) garmin->PortClose();
    } catch (...) {
    }
    try {
        svc_.settings.SaveSetting("drive", "drive", Drive1);
    } catch (...) {
    }
    try {
        ToDDE.caption = "END";
        links().ToDDE_Poke("END");
        svc_.pump.run_pending();
    } catch (...) {
    }
    try {
        Timer1->set_enabled(false);
    } catch (...) {
    }
    for (const char* name : unload_order) {
        for (auto& w : windows_) {
            if (w.name != name) continue;
            try {
                if (w.loaded && w.loaded()) w.unload();
            } catch (...) {
            }
        }
    }
    Visible = false;
    if (hwnd_) platform::windows::Withdraw(hwnd_);
    hwnd_ = 0;
    ended_ = true;
    changed(ChangeEnded);
}

void frmMain::mnuExit_Click()
{
    int cancel = 0;
    Form_Unload(cancel);
}

// ---------------------------------------------------------------- layout

void frmMain::Form_Resize()
{
    if (WindowState == vbMinimized) return;
    if (!panel_open()) {
        Width = 7700;
        Height = 1900;
    } else {
        Width = std::max(Width, 7700);
        Height = std::max(Height, 5500);
        grid_area.width = Width - 875;
        grid_area.height = Height - 2400;
    }
    cmdAdvanced.left = Width - 2300;
    changed(ChangeGeometry | ChangeControls);
}

void frmMain::cmdAdvanced_Click()
{
    cmdAdvanced.caption = panel_open() ? kPanelClosed : kPanelOpen;
    changed(ChangeControls);
    Form_Resize();
}

// ---------------------------------------------------------------- commands

void frmMain::cmdConvert_Click()
{
    bool flag = false;
    transfer().GPS_Find(flag);
}

void frmMain::change_type(Control& option)
{
    auto options = type_options();
    for (size_t i = 0; i < options.size(); ++i) {
        options[i]->value = (options[i] == &option);
        if (options[i] == &option) state_.record_type = flxgrd::kRecordTypes[i];
    }
    changed(ChangeControls);
    table().Table_ChangeType(state_.record_type);
}

void frmMain::optWpt_Click() { change_type(optWpt); }
void frmMain::optTrk_Click() { change_type(optTrk); }

void frmMain::optRte_Click()
{
    change_type(optRte);
    if (Set_RouteDefault) Set_RouteDefault();
}

void frmMain::optRTWpt_Click() { change_type(optRTWpt); }

void frmMain::MSFlexGrid1_Click()
{
    platform::Grid& g = MSFlexGrid1;
    const int row = g.MouseRow();
    const std::string& type = state_.record_type;
    if (hotlink_ && hotlink_->frmTimeCalibrate_Visible() && row != 0) {
        // The clicked record's time goes into the calibration window.
        int col = table().Column_Find(type != "route" && type != "waypoint" ? "time" : "comment", true);
        if (col == -1) return;
        std::string text = g.TextMatrix(row, col);
        if (type == "rtimewpt") text = g.TextMatrix(row, table().Column_Find("date", true)) + " " + text;
        flxgrd::Date_Validate(text, false);
        if (!vb::IsDate(text)) return;
        vb::Date d = vb::CDate(text);
        char date[16], time[16];
        std::snprintf(date, sizeof date, "%02d/%02d/%04d", d.month, d.day, d.year);
        std::snprintf(time, sizeof time, "%02d:%02d:%02d", d.hour, d.minute, d.second);
        hotlink_->frmTimeCalibrate_SetGPS(date, time);
    } else if (type == "waypoint" && row == 0) {
        // The first header click sorts descending, the next ascending.
        g.Sort(g.MouseCol(), state_.header_sort ? platform::flexSortGenericAscending
                                                : platform::flexSortGenericDescending);
        state_.header_sort = !state_.header_sort;
    }
}

void frmMain::make_table()
{
    flxgrd::TableContext ctx{
        MSFlexGrid1,
        svc_.settings,
        svc_.dialogs,
        state_.record_type,
        state_.record_counter,
        state_.segment_counter,
        state_.selection_count,
        state_.first_selected_row,
        state_.last_selected_row,
        state_.upload_cursor,
        state_.real_time,
    };
    ctx.Set_Controls = [this](int s) { transfer().Set_Controls(static_cast<std::int16_t>(s)); };
    ctx.Set_Msg = [this](const std::string& t) { Set_Msg(t); };
    ctx.Set_Selected = [this](const std::string& t) {
        StatusBar1[2] = t;
        changed(ChangeStatus);
    };
    ctx.panel_open = [this] { return panel_open(); };
    ctx.cmdAdvanced_Click = [this] { cmdAdvanced_Click(); };
    // The first ticked option, in the order track, route, real time.
    ctx.option_ticked = [this] {
        auto options = type_options();
        for (size_t i = 1; i < options.size(); ++i)
            if (options[i]->value) return std::string(flxgrd::kRecordTypes[i]);
        return std::string(flxgrd::kRecordTypes[0]);
    };
    ctx.tick_option = [this](const std::string& type) {
        auto options = type_options();
        const char* tick = flxgrd::Option_Type(type);
        for (size_t i = 0; i < options.size(); ++i) options[i]->value = tick == flxgrd::kRecordTypes[i];
        changed(ChangeControls);
    };
    ctx.Set_RouteDefault = [this] {
        if (Set_RouteDefault) Set_RouteDefault();
    };
    ctx.SetFieldSettings = [this](const std::string& type) { frmProperties().SetFieldSettings(type); };
    ctx.cursor = &svc_.cursor;
    ctx.clipboard = [this] { return clipboard_.get(); };
    ctx.picker = [this] { return wpt_select_.get(); };
    ctx.unload_properties = [this] { frmProperties().Unload(); };
    ctx.msfgTable = [this](std::string& folder) { return hotlink_ ? hotlink_->msfgTable_Active(folder) : nullptr; };
    table_ = std::make_unique<flxgrd::Table>(std::move(ctx));
}

void frmMain::on_click(const std::string& name, std::function<void(int)> handler)
{
    handlers_[name] = std::move(handler);
}

void frmMain::menu_Click(const std::string& name, int index)
{
    state_.active_window = "frmMain";
    auto it = handlers_.find(name);
    if (it == handlers_.end()) return;
    auto handler = it->second; // a handler may replace itself
    run_trapped(name + "_Click", [&] { handler(index); });
}

void frmMain::grid_Event(const std::string& event)
{
    state_.active_window = "frmMain";
    const std::string name = "MSFlexGrid1_" + event;
    auto it = handlers_.find(name);
    if (it == handlers_.end()) return;
    auto handler = it->second;
    run_trapped(name, [&] { handler(-1); });
}

void frmMain::run_trapped(const std::string& procedure, const std::function<void()>& handler)
{
    run_trapped_titled("frmMain." + procedure, handler);
}

void frmMain::run_trapped_titled(const std::string& title, const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const VbError& e) {
        error_box(title, e.number, e.description);
    } catch (const std::bad_alloc&) {
        error_box(title, 7, "Out of memory");
    } catch (const std::exception& e) {
        error_box(title, 51, e.what());
    } catch (...) {
        error_box(title, 51, "Internal error");
    }
}

void frmMain::error_box(const std::string& title, int number, const std::string& description)
{
    try {
        svc_.dialogs.MsgBox("Error #" + std::to_string(number) + " - " + description, platform::vbCritical, title);
    } catch (...) {
        // Nothing more can be told; the event loop must go on.
    }
}

void frmMain::Open_Properties(int tab)
{
    try {
        select_projection_mode();
        frmProperties().Show(tab);
    } catch (...) {
    }
}

void frmMain::register_handlers()
{
    auto to_transfer = [this](const std::string& n) {
        on_click(n, [this, n](int i) { transfer().menu_Click(n, i); });
    };
    for (const char* n : {"mnuPort", "mnuBaud", "mnuAutoGPSConnect", "mnuClose", "mnuReset", "mnuDDownload",
                          "mnuGInfo", "mnuWDownload", "mnuWUpload", "mnuTDownload", "mnuTUpload", "mnuRDownload",
                          "mnuRUpload"})
        to_transfer(n);
    on_click("mnuOpen", [this](int) { transfer().mnuOpen_Click(); });
    on_click("mnuUnit", [this](int i) { mnuUnit_Click(i); });
    on_click("cmdConvert", [this](int) { cmdConvert_Click(); });

    for (const char* n :
         {"mnuAVTheme", "mnuAVGraphic", "mnuArcMapLayerL", "mnuArcMapGraphicL", "mnuLandviewCurrentLocationLoad",
          "mnuLandviewListLoad", "mnuLandViewMeasureLoadPoint", "mnuLandViewMeasureLoadLine",
          "mnuLandViewMeasureLoadPolygon", "mnuLandviewLayerLoad", "mnuGoogleLoadMyPlaces", "mnuShapefile",
          "mnuGraphic", "mnuArcMapLayerS", "mnuArcMapGDBS", "mnuArcMapGraphicS", "mnuLandviewCurrentLocationSave",
          "mnuLandviewListSave", "mnuLandviewMeasureToolPoint", "mnuLandviewMeasureToolLine",
          "mnuLandviewMeasureToolPolygon", "mnuLandVeiwLayerSave", "mnuShapefileAE", "mnuGoogleSaveMyPlaces",
          "mnuRefreshApps", "mnuSetAppRefreshRate"}) {
        std::string name = n;
        on_click(name, [this, name](int i) { links().menu_Click(name, i); });
    }
    for (const char* n : {"mnuFileL", "mnuAFile", "mnuAddWorldFile"}) {
        std::string name = n;
        on_click(name, [this, name](int i) { files().menu_Click(name, i); });
    }
    for (const char* n : {"mnuGetProjection", "mnuProjectCoordinates", "mnuUnProjectCoordinates"}) {
        std::string name = n;
        on_click(name, [this, name](int i) { coords().menu_Click(name, i); });
    }
    on_click("mnuCalculateCEP", [this](int) { coords().show_frmCalculateCEP(); });
    for (const char* n : {"mnuStartRealTime", "mnuStopRealTime"}) {
        std::string name = n;
        on_click(name, [this, name](int i) { realtime().menu_Click(name, i); });
    }
    on_click("mnuViewNMEA", [this](int) { realtime().show_frmNMEAViewer(); });
    on_click("mnuHotlinks", [this](int) { hotlink().show_frmHotlinking(); });

    const std::pair<const char*, int> tabs[] = {
        {"mnuSetProjection", 0}, {"mnuWProperties", 1},      {"mnuTProperties", 2},       {"mnuRProperties", 3},
        {"mnuRTProperties", 4},  {"mnuArcMapProperties", 5}, {"mnuGeneralProperties", 6},
    };
    for (auto [n, tab] : tabs) on_click(n, [this, tab = tab](int) { Open_Properties(tab); });

    // Table commands that forward to the records table.
    for (const char* n : {"cmdAddRec", "mnuAddRecord"})
        on_click(n, [this](int) { table().Records_Insert("", "", "", "", false); });
    on_click("mnuClearTable", [this](int) {
        table().Table_Clear();
        Set_Msg("Table has been cleared");
    });
    on_click("mnuColumnsAutoFit", [this](int) { table().Columns_AutoFit(); });
    const std::pair<const char*, void (flxgrd::Table::*)()> table_commands[] = {
        {"cmdDeleteSel", &flxgrd::Table::Selection_Delete}, {"mnuDelete", &flxgrd::Table::Selection_Delete},
        {"cmdClearSel", &flxgrd::Table::Selection_Clear},   {"mnuClearSelection", &flxgrd::Table::Selection_Clear},
        {"cmdCopy", &flxgrd::Table::Selection_Copy},        {"mnuCopy", &flxgrd::Table::Selection_Copy},
        {"MSFlexGrid1_DblClick", &flxgrd::Table::Cell_Edit}};
    for (auto [n, command] : table_commands) on_click(n, [this, command = command](int) { (table().*command)(); });
    for (const char* n : {"cmdPaste", "mnuPaste"}) on_click(n, [this](int) { table().Selection_Paste(MSFlexGrid1); });
    on_click("mnuCalculateLocalTime", [this](int) { flxgrd::Time_CalculateLocal(table(), state_.time_zone, false); });
    on_click("mnuCalculateUTCTime", [this](int) { flxgrd::Time_CalculateLocal(table(), state_.time_zone, true); });
    on_click("MSFlexGrid1_Click", [this](int) { MSFlexGrid1_Click(); });
    on_click("MSFlexGrid1_SelChange", [this](int) {
        auto [first, last, count] = table().Selection_Count();
        (void)count;
        state_.first_selected_row = first;
        state_.last_selected_row = last;
    });

    on_click("mnuExit", [this](int) { mnuExit_Click(); });
    on_click("mnuAbout", [this](int) { mnuAbout_Click(); });
    on_click("mnuHelpFile", [this](int) { app::mnuHelpFile_Click(program_folder_, launcher(), dialogs()); });
    on_click("cmdAdvanced", [this](int) { cmdAdvanced_Click(); });
    on_click("optWpt", [this](int) { optWpt_Click(); });
    on_click("optTrk", [this](int) { optTrk_Click(); });
    on_click("optRte", [this](int) { optRte_Click(); });
    on_click("optRTWpt", [this](int) { optRTWpt_Click(); });
}

platform::Launcher& frmMain::launcher()
{
    if (launcher_) return *launcher_;
    if (!own_launcher_) own_launcher_ = std::make_unique<platform::System_Launcher>();
    return *own_launcher_;
}

const platform::Registry& frmMain::registry()
{
    if (!registry_) registry_ = std::make_unique<platform::Registry>(platform::Registry::Machine());
    return *registry_;
}

void frmMain::set_registry(std::unique_ptr<platform::Registry> r) { registry_ = std::move(r); }

// The About box, modal over the main window; whatever goes wrong is passed
// over.
void frmMain::mnuAbout_Click()
{
    try {
        about_ = std::make_unique<frmAbout>(program_folder_, registry(), launcher(), dialogs());
        about_->Form_Load();
        about_->window.visible = true;
        if (show_about_modal) show_about_modal(*about_);
    } catch (...) {
    }
    about_.reset();
}

void frmMain::Set_Msg(const std::string& text)
{
    StatusBar1[1] = text;
    if (!frmQuietStatus.loaded) frmQuietStatus.loaded = true; // created hidden
    frmQuietStatus_lblStatus = text;
    changed(ChangeStatus | ChangeQuietStatus);
}

int frmMain::Shell_Wait(const std::string& command_line)
{
    pid_t pid = 0;
    const char* argv[] = {"/bin/sh", "-c", command_line.c_str(), nullptr};
    if (posix_spawn(&pid, "/bin/sh", nullptr, nullptr, const_cast<char* const*>(argv), environ) != 0) return -1;
    int status = 0;
    for (;;) {
        pid_t r = ::waitpid(pid, &status, WNOHANG);
        if (r == pid) break;
        if (r < 0 && errno != EINTR) return -1;
        // Let window events run for 100 ms, then look again.
        svc_.pump.wait_until([] { return false; }, svc_.pump.clock().now_us() + 100000);
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace app
