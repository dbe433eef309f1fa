// Finding and connecting the receiver: the port menu's settings, the
// search over the serial ports, the control's USB link and the
// mass-storage drives, the chooser window frmGPSStatus, and the two ways of
// connecting (the device control, or a mass-storage unit's files).
#pragma once

#include "main/app/form.h"
#include "platform/automation/variant.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace app { class frmMain; }

namespace transfer {

class clsGarminUSB;

// The chooser "Auto Connect Status": progress texts in lblStatus, the units
// found in cboGPSUnits. The list, its caption and Connect stay disabled
// until a search finds several units. Connect hides the window; Cancel and
// the close box set Cancelled and hide it.
class frmGPSStatus : public app::Form {
public:
    // `units` is the search's unit list, read for the list's hint.
    explicit frmGPSStatus(const std::vector<platform::Variant>& units);

    std::string Name() const override { return "frmGPSStatus"; }
    std::string Caption() const override { return "Auto Connect Status"; }
    bool Loaded() const override { return loaded_; }
    bool Visible() const override { return visible_; }
    const std::vector<app::DialogControl>& controls() const override { return controls_; }
    Result Click(const std::string& name, int index = -1) override;
    Result SetValue(const std::string& name, bool checked) override;
    // cboGPSUnits: the entry of that text is selected and its detail
    // becomes the hint (no entry: none selected).
    Result SetText(const std::string& name, const std::string& text) override;
    void Close() override;

    bool Cancelled = false;

    // Loads (if needed) and shows the window; Cancelled starts False.
    void Show();
    void Hide();
    void Unload();
    app::DialogControl& control(const std::string& name);
    void set_status(const std::string& text);
    // Empties the list and disables it with its caption and Connect.
    void List_Clear();
    // Item `i` added, made the list's text and selection, its detail the hint.
    void List_Add(int i, const std::string& item);
    void List_Enable();

    // Waits for a choice: returns once the window is hidden or Cancelled.
    // Tests and the probe put their own answer here; unset, events run
    // until then (or until the program ends).
    std::function<void(frmGPSStatus&)> wait_choice;

    // Where the search found each mass-storage entry of the unit list.
    std::map<std::size_t, std::string> found_on;

private:
    const std::vector<platform::Variant>& units_;
    std::vector<app::DialogControl> controls_;
    bool loaded_ = false, visible_ = false;
};

// The detail line of a unit list entry: "PORT: p, BAUD: s" for a port entry,
// "Upload To: u, Download From: d" for a mass-storage one.
std::string Unit_Detail(const platform::Variant& entry);

// True when `relative` exists below `folder`, its names matched without
// regard to case; any failure gives False.
bool File_Exists(const std::string& folder, const std::string& relative);

// --- the commands -------------------------------------------------------------
// Checks item `port` of the Set Port menu alone, stores it (settings key
// "port"), enables Set Baud Rate for ports from 1; closes the port first
// unless `keep_open`.
void Port_Save(app::frmMain& main, std::int16_t port, bool keep_open);
// Set Port: the USB item searches, a numbered port opens directly.
void mnuPort_Click(app::frmMain& main, int index);
// Open Port (and start-up's last step): the stored port, or a search of
// the USB link and the drives when it is "0".
void mnuOpen_Click(app::frmMain& main);
void mnuAutoGPSConnect_Click(app::frmMain& main);
// Searches the ports (only the USB link when usbOnly) and the drives, and
// connects the one unit found or the one chosen.
void GPS_Find(app::frmMain& main, bool& usbOnly);
// Appends an entry for each drive (matching `filter`, "" for all) whose
// description file loads; the unit when exactly one loaded, else null.
std::shared_ptr<clsGarminUSB> GPS_Find_USB(app::frmMain& main, const std::string& filter);
// Connects the mass-storage unit on that drive folder.
void GPS_OpenUSB(app::frmMain& main, const std::string& drive);
// Opens the stored port and settings through the device control and
// identifies the unit: UI state 3, 7 (NMEA) or 1 with "Not Connected".
void GPS_OpenGarmin(app::frmMain& main);

// The chooser registered with the main window (made on first use).
frmGPSStatus& GPS_Status(app::frmMain& main);

} // namespace transfer
