// The main window's logic: its controls as data, start-up (Form_Load),
// shut-down (Form_Unload), layout (Form_Resize, cmdAdvanced_Click), the
// status line (Set_Msg) and the dispatch of its menu and button commands.
// A Qt view draws it and forwards user actions; tests drive it directly.
#pragma once

#include "main/app/app_state.h"
#include "main/app/garmin_control.h"
#include "main/app/menu.h"
#include "platform/grid/grid.h"

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace platform {
class Settings;
class Dialogs;
class Cursor;
class EventPump;
class Timer;
class PortMap;
class Launcher;
class Registry;
class Clipboard;
class Printer;
} // namespace platform

namespace transfer { class GpsTransfer; }
namespace links { class GisLinks; }
namespace coords { class Coordinates; }
namespace files { class FileFormats; }
namespace realtime { class RealTime; }
namespace hotlink { class Hotlinking; }
namespace flxgrd { class Table; class frmWptSelect; }

namespace app {

class PropertiesDialog;
class Form;
struct InfoWindow;
class frmAbout;

// A button, option button, label or text box: position and size in twips.
struct Control {
    std::string name;
    std::string caption;
    std::string tooltip;
    int left = 0, top = 0, width = 0, height = 0;
    bool enabled = true;
    bool visible = true;
    bool value = false; // option buttons: ticked
};

// A window other than the main one, as far as the main window tracks it.
struct SmallWindow {
    std::string caption;
    bool loaded = false;
    bool visible = false;
};

// The longest Timer1 period the timer can hold (its interval is a 32-bit
// count of milliseconds).
constexpr double kMaxRefreshSeconds = 2147483647 / 1000.0;
// The class the main window is announced with in the window list.
constexpr const char* kMainWindowClass = "ThunderRT6FormDC";

enum WindowState : int { vbNormal = 0, vbMinimized = 1, vbMaximized = 2 };

// What changed, for the view.
enum Change : unsigned {
    ChangeCaption = 1u << 0,
    ChangeMenus = 1u << 1,
    ChangeControls = 1u << 2,
    ChangeStatus = 1u << 3,
    ChangeGeometry = 1u << 4,
    ChangeQuietStatus = 1u << 5,
    ChangeSplash = 1u << 6,
    ChangeEnded = 1u << 7,
    ChangeAll = 0x7fu, // everything but ChangeEnded
};

class frmMain {
public:
    struct Services {
        platform::Settings& settings;
        platform::Dialogs& dialogs;
        platform::Cursor& cursor;
        platform::EventPump& pump;
        platform::PortMap& ports;
    };

    // `program_folder` is the executable's folder (the default drive).
    frmMain(Services services, std::string program_folder);
    ~frmMain();
    frmMain(const frmMain&) = delete;
    frmMain& operator=(const frmMain&) = delete;

    // --- state ------------------------------------------------------------
    AppState& state() { return state_; }
    const AppState& state() const { return state_; }
    MenuTree& menus() { return menus_; }
    const MenuTree& menus() const { return menus_; }
    platform::Settings& settings() { return svc_.settings; }
    platform::Dialogs& dialogs() { return svc_.dialogs; }
    platform::Cursor& cursor() { return svc_.cursor; }
    platform::EventPump& pump() { return svc_.pump; }
    platform::PortMap& ports() { return svc_.ports; }
    const std::string& program_folder() const { return program_folder_; }

    std::string Caption = "Ostrevane - Garmin";
    int Left = 0, Top = 0, Width = 7700, Height = 1900; // twips
    int WindowState = vbNormal;
    bool Visible = false;
    std::string Tag; // the list position chosen in LandView's layer chooser
    // The screen the window is placed on, in twips (the view sets it).
    int screen_width = 1024 * 15, screen_height = 768 * 15;

    Control cmdAdvanced, cmdAddRec, cmdDeleteSel, cmdClearSel, cmdCopy, cmdPaste, cmdConvert;
    Control optWpt, optTrk, optRte, optRTWpt;
    Control lblGPSDesc1, lbllat, lbllon, lblepe, lblAlt;
    std::array<Control, 4> Label1;
    Control ToDDE, FromDDE;
    platform::Grid MSFlexGrid1{2, 30}; // the records grid, laid out as an empty table
    Control grid_area;          // MSFlexGrid1's place and size
    std::array<std::string, 3> StatusBar1; // panels 1..3 as [0..2]
    std::string Drive1;                    // current drive (a folder)

    SmallWindow frmQuietStatus{"Trekfold Status Window"};
    std::string frmQuietStatus_lblStatus;
    SmallWindow frmSplash{"Trekfold"};
    std::string frmSplash_lblVersion;

    std::unique_ptr<platform::Timer> Timer1;

    // --- the hosted device control and the neighbour subsystems -----------
    // The hosted device control; null while none is hosted. Its events
    // reach the GPS transfer's handlers (garmin_Receive and the others).
    GarminControl* garmin = nullptr;
    // Hosts `control` as `garmin` (null unhosts); host_garmin_owned keeps it.
    void host_garmin(GarminControl* control);
    void host_garmin_owned(std::unique_ptr<GarminControl> control);
    transfer::GpsTransfer& transfer() { return *transfer_; }
    links::GisLinks& links() { return *links_; }
    coords::Coordinates& coords() { return *coords_; }
    files::FileFormats& files() { return *files_; }
    realtime::RealTime& realtime() { return *realtime_; }
    hotlink::Hotlinking& hotlink() { return *hotlink_; }
    PropertiesDialog& frmProperties() { return *properties_; }
    // The receiver information window, created hidden on first use.
    InfoWindow& frmInfo();
    bool frmInfo_loaded() const { return info_ != nullptr; }
    flxgrd::Table& table() { return *table_; } // the records table (flxgrd)
    // The waypoint picker, kept between uses (loaded on first show).
    flxgrd::frmWptSelect& frmWptSelect() { return *wpt_select_; }
    // The clipboard (an in-memory one until the program installs the system's).
    platform::Clipboard& clipboard() { return *clipboard_; }
    void set_clipboard(std::unique_ptr<platform::Clipboard> c);
    // The printer (an in-memory one until the program installs the system's).
    platform::Printer& printer() { return *printer_; }
    void set_printer(std::unique_ptr<platform::Printer> p);
    // Install or replace a subsystem (the program's composition installs
    // them all; tests wrap them to watch the calls).
    void set_transfer(std::unique_ptr<transfer::GpsTransfer> t);
    void set_links(std::unique_ptr<links::GisLinks> l);
    void set_coords(std::unique_ptr<coords::Coordinates> c);
    void set_files(std::unique_ptr<files::FileFormats> f);
    void set_realtime(std::unique_ptr<realtime::RealTime> r);
    void set_hotlink(std::unique_ptr<hotlink::Hotlinking> h);
    void set_properties(std::unique_ptr<PropertiesDialog> p);

    // The route defaults of the route option (Set_RouteDefault).
    std::function<void()> Set_RouteDefault;

    // Outside programs (help viewer, system information) start through the
    // launcher; the machine's registry values come from the registry. Both
    // default to the system's; tests and probes put their own in.
    platform::Launcher& launcher();
    void set_launcher(platform::Launcher* l) { launcher_ = l; }
    const platform::Registry& registry();
    void set_registry(std::unique_ptr<platform::Registry> r);
    // The About box while it is shown; shown modally through
    // show_about_modal (the view's dialog), unloaded when that returns.
    frmAbout* frmAbout_window() { return about_.get(); }
    std::function<void(frmAbout&)> show_about_modal;
    void mnuAbout_Click();

    // Other windows register here so shut-down can unload them in order.
    void register_window(const std::string& name, std::function<bool()> loaded, std::function<void()> unload);
    // Windows that are driven by control name (the screen window, the
    // receiver chooser, the CEP calculator) register how to reach them;
    // form(name) gives the window, made on first use, or nullptr for a name
    // nobody registered.
    void register_form(const std::string& name, std::function<Form&()> get);
    Form* form(const std::string& name);
    // The names of every window registered either way, sorted.
    std::vector<std::string> window_names() const;

    // --- handlers -----------------------------------------------------------
    void Form_Load();
    void Form_Unload(int& cancel);
    void Form_Resize();
    void cmdAdvanced_Click();
    void cmdConvert_Click();
    void mnuExit_Click();
    void optWpt_Click();
    void optTrk_Click();
    void optRte_Click();
    void optRTWpt_Click();
    // The records grid's click: the calibration copy, or the header sort
    // of a waypoint table.
    void MSFlexGrid1_Click();
    // A menu item or button chosen, by control name (and menu-array
    // index); runs its handler. Items without one do nothing. An error the
    // handler lets through ends in the box "Error #n - description" titled
    // "frmMain." & name & "_Click"; it never reaches the event loop.
    void menu_Click(const std::string& name, int index = -1);
    // An event of the records grid ("Click", "DblClick", "SelChange"): runs
    // the handler set with on_click("MSFlexGrid1_" & event), trapped the
    // same way (title "frmMain.MSFlexGrid1_" & event).
    void grid_Event(const std::string& event);
    // Runs a handler of the window; an error it lets through is shown in
    // the box "Error #n - description" titled "frmMain." & procedure.
    void run_trapped(const std::string& procedure, const std::function<void()>& handler);
    // The same for another window's handler: the box titled `title`
    // ("frmImage.mnuPrint_Click").
    void run_trapped_titled(const std::string& title, const std::function<void()>& handler);
    // Sets the handler of a menu item or button (replacing the one before).
    void on_click(const std::string& name, std::function<void(int index)> handler);
    // Opens the settings dialog on a tab, its projection list rebuilt.
    void Open_Properties(int tab);
    // Runs the settings dialog's handler of the stored projection mode.
    void select_projection_mode();
    // GPS > Units: the item's caption becomes the display unit, stored as
    // units/unit, as the settings dialog's Units tab stores it.
    void mnuUnit_Click(int index);
    // Makes `unit` the window's display unit and ticks the Units item of
    // that name (none when no item has it).
    void set_unit(const std::string& unit);
    // Shows a progress or result text in the status bar and the quiet-mode
    // status window (created hidden when needed).
    void Set_Msg(const std::string& text);
    // Runs a command line and waits for it to end, letting events run.
    // Returns the exit status (-1 when it could not be started).
    int Shell_Wait(const std::string& command_line);

    // Shows another window modally, owned by this one (one of
    // modal_windows): the window is visible while on_show_modal runs (the
    // view or a probe shows it and returns when it closes).
    void show_modal(const std::string& window);
    std::function<void(const std::string& window)> on_show_modal;

    // Whether the table panel is open (cmdAdvanced's caption says so).
    bool panel_open() const;
    bool ended() const { return ended_; }

    // --- view binding -------------------------------------------------------
    std::function<void(unsigned change)> on_changed;
    std::function<void()> on_repaint_quiet_status;
    void changed(unsigned what);
    // The main window's handle in the window list while it runs (0 before
    // start-up, after shut-down, or when it could not be announced).
    std::int32_t hWnd() const { return hwnd_; }

private:
    void load_port();
    void load_port_settings();
    void load_refresh();
    void show_at_start();
    void unload_splash();
    void register_handlers();
    void make_table();
    void change_type(Control& option);
    // The record-type option buttons in the order of flxgrd::kRecordTypes.
    std::array<Control*, 4> type_options() { return {&optWpt, &optTrk, &optRte, &optRTWpt}; }
    void error_box(const std::string& title, int number, const std::string& description);
    // Start-up's account of a settings file it cannot read or save.
    void settings_box(const std::string& what, const std::string& reason);

    Services svc_;
    std::string program_folder_;
    AppState state_;
    MenuTree menus_;
    std::unique_ptr<transfer::GpsTransfer> transfer_;
    std::unique_ptr<links::GisLinks> links_;
    std::unique_ptr<coords::Coordinates> coords_;
    std::unique_ptr<files::FileFormats> files_;
    std::unique_ptr<realtime::RealTime> realtime_;
    std::unique_ptr<hotlink::Hotlinking> hotlink_;
    std::unique_ptr<PropertiesDialog> properties_;
    std::unique_ptr<InfoWindow> info_;
    std::unique_ptr<frmAbout> about_;
    std::unique_ptr<platform::Launcher> own_launcher_;
    platform::Launcher* launcher_ = nullptr;
    std::unique_ptr<platform::Registry> registry_;
    std::unique_ptr<flxgrd::Table> table_;
    std::unique_ptr<flxgrd::frmWptSelect> wpt_select_;
    std::unique_ptr<platform::Clipboard> clipboard_;
    std::unique_ptr<platform::Printer> printer_;
    // Hands the control's events to the GPS transfer.
    class GarminSink;
    std::unique_ptr<GarminSink> garmin_sink_;
    std::unique_ptr<GarminControl> garmin_owned_;
    std::int32_t hwnd_ = 0;
    std::string announced_title_;
    std::unique_ptr<platform::Timer> splash_timer_;
    struct Window {
        std::string name;
        std::function<bool()> loaded;
        std::function<void()> unload;
    };
    std::vector<Window> windows_;
    std::map<std::string, std::function<Form&()>> forms_;
    std::map<std::string, std::function<void(int)>> handlers_;
    bool ended_ = false;
};

// The TEMP folder: $TMPDIR, else /tmp/trekfold-<uid> (made with mode 0700).
std::string temp_folder();

// The order in which shut-down unloads the other windows.
extern const std::array<const char*, 19> unload_order;
// The windows show_modal shows.
extern const std::array<const char*, 1> modal_windows;

} // namespace app
