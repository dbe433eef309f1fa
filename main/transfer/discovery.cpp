// Finding the receiver and connecting it: the port menu, the search over
// ports, the USB link and the drives, and the two connect procedures.
#include "main/transfer/discovery.h"

#include "main/app/frm_info.h"
#include "main/app/frm_main.h"
#include "main/coords/coords.h"
#include "main/files/gpx.h"
#include "main/transfer/garmin_usb.h"
#include "main/transfer/transfer.h"
#include "platform/automation/vb_error.h"
#include "platform/events/events.h"
#include "platform/folders/folders.h"
#include "platform/serial/portmap.h"
#include "platform/settings/settings.h"
#include "platform/text/vb.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialogs.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <system_error>

namespace transfer {

namespace fs = std::filesystem;
namespace vb = platform::vb;
using platform::VbError;

namespace {

constexpr const char* kDescriptionFile = "garmin/garmindevice.xml";

void critical_box(app::frmMain& main, const std::string& title, const VbError& e)
{
    main.dialogs().MsgBox("Error #" + std::to_string(e.number) + " - " + e.description, platform::vbCritical, title);
}

// Runs `body`; a run-time failure it lets through ends in the procedure's
// error box.
template <class F>
void trapped(app::frmMain& main, const char* title, F body)
{
    try {
        body();
    } catch (const VbError& e) {
        critical_box(main, title, e);
    } catch (const std::exception& e) {
        critical_box(main, title, VbError(51, title, e.what()));
    }
}

const platform::VariantArray& entry_at(const app::AppState& s, int index)
{
    if (index < 0 || std::size_t(index) >= s.GPS_UnitList.size() || !s.GPS_UnitList[std::size_t(index)].IsArray())
        throw VbError(9, "frmMain.GPS_Find", "Subscript out of range");
    return s.GPS_UnitList[std::size_t(index)].ToArray();
}

void wait_for_choice(app::frmMain& main, frmGPSStatus& chooser)
{
    if (chooser.wait_choice) return chooser.wait_choice(chooser);
    platform::EventPump& pump = main.pump();
    auto chosen = [&] { return !chooser.Visible() || chooser.Cancelled || main.ended(); };
    // The user takes as long as they like; each round has its own deadline.
    while (!chosen()) pump.wait_until(chosen, pump.clock().now_us() + 1'000'000);
}

void not_connected(app::frmMain& main)
{
    main.transfer().Set_Controls(1);
    if (main.garmin) main.garmin->PortClose();
    main.cursor().hourglass(false);
    main.StatusBar1[0] = "Not Connected";
    main.changed(app::ChangeStatus);
}

} // namespace

// ---------------------------------------------------------------- drives

bool File_Exists(const std::string& folder, const std::string& relative)
{
    try {
        std::error_code ec;
        return fs::exists(fs::symlink_status(Drive_FindPath(folder, relative), ec)) && !ec;
    } catch (...) {
        return false;
    }
}

frmGPSStatus& GPS_Status(app::frmMain& main)
{
    auto* chooser = dynamic_cast<frmGPSStatus*>(main.form("frmGPSStatus"));
    if (!chooser) throw VbError(91, "frmMain.GPS_Find", "Object variable or With block variable not set");
    return *chooser;
}

// ---------------------------------------------------------------- port menu

void Port_Save(app::frmMain& main, std::int16_t port, bool keep_open)
{
    if (!keep_open) mnuClose_Click(main);
    for (app::MenuItem* m : main.menus().array("mnuPort")) m->checked = m->index == port;
    main.menus().at("mnuBaudRate").enabled = port >= 1;
    main.state().port = port;
    main.settings().SaveSetting("port", "port", std::to_string(port));
    main.changed(app::ChangeMenus);
}

void mnuPort_Click(app::frmMain& main, int index)
{
    trapped(main, "frmMain.mnuport_Click", [&] {
        if (index < 0 || index > 20) return;
        Port_Save(main, static_cast<std::int16_t>(index), false);
        if (index < 1) {
            bool usb_only = true;
            GPS_Find(main, usb_only);
        } else {
            GPS_OpenGarmin(main);
        }
    });
}

void mnuOpen_Click(app::frmMain& main)
{
    if (main.settings().GetSetting("port", "port", "1") != "0") return GPS_OpenGarmin(main);
    bool usb_only = true;
    GPS_Find(main, usb_only);
}

void mnuAutoGPSConnect_Click(app::frmMain& main)
{
    bool usb_only = false;
    GPS_Find(main, usb_only);
}

// ---------------------------------------------------------------- search

void GPS_Find(app::frmMain& main, bool& usbOnly)
{
    app::AppState& s = main.state();
    app::GarminControl* g = main.garmin;
    std::optional<VbError> failure;
    bool connected = false;
    try {
        frmGPSStatus& chooser = GPS_Status(main);
        s.GPS_UnitList.clear();
        chooser.found_on.clear();
        s.GPS_Scanning = true;
        if (!usbOnly) chooser.Show();
        chooser.List_Clear();
        chooser.Cancelled = false;

        bool cancelled = false;
        for (app::MenuItem* item : main.menus().array("mnuPort")) {
            main.pump().run_pending();
            if (chooser.Cancelled || main.ended()) {
                cancelled = true;
                break;
            }
            const int index = item->index;
            if (index > 0 && (usbOnly || !main.ports().Port_Exists(index))) continue;
            for (const char* rate : {"9600", "4800"}) {
                chooser.set_status(std::string("Checking Active Ports... \r\n       PORT: ") + std::to_string(index) +
                                   "\r\n       BAUD: " + rate);
                if (g) {
                    g->PortClose();
                    g->Port(static_cast<std::int16_t>(index));
                    g->Settings(std::string(rate) + ",N,8,1");
                    if (g->PortOpen()) g->Request_Product_Data();
                }
                if (index == 0) break; // the USB link is probed once
            }
        }
        if (!cancelled) {
            s.GPS_Scanning = false;
            GPS_Find_USB(main, "");
            int chosen = 0;
            if (s.GPS_UnitList.empty()) {
                chooser.set_status("No GPS Units Found!  Check the following:\r\n  1) Your GPS is turned on\n  2) You "
                                   "have the latest driver installed for your GPS (USB Only)\n  3) You have the "
                                   "latest firmware installed on your GPS");
                cancelled = true;
            } else if (s.GPS_UnitList.size() > 1) {
                chooser.Show();
                chooser.set_status("Multiple GPS units found.  Please select the unit you'd like to connect to.");
                for (std::size_t i = 0; i < s.GPS_UnitList.size(); ++i) {
                    const platform::VariantArray& e = entry_at(s, int(i));
                    chooser.List_Add(int(i), e.at(0).ToString() + "  " + e.at(1).ToString());
                }
                chooser.List_Enable();
                wait_for_choice(main, chooser);
                cancelled = chooser.Cancelled || main.ended();
                chosen = chooser.control("cboGPSUnits").ListIndex;
            }
            if (!cancelled) {
                const platform::VariantArray& e = entry_at(s, chosen);
                if (e.UBound() > 4) {
                    // The drive the unit's files lie on; a unit without an
                    // upload folder is found by its own GPX file, and one
                    // without either where the search found it.
                    const std::vector<std::string> drives = platform::Drive_List();
                    std::string drive = platform::Drive_Of(e.at(4).ToString(), drives);
                    if (drive.empty()) drive = platform::Drive_Of(e.at(5).ToString(), drives);
                    if (drive.empty()) drive = chooser.found_on[std::size_t(chosen)];
                    GPS_OpenUSB(main, drive);
                    connected = s.GPS_MassStorageUnit != nullptr;
                    if (connected) {
                        main.transfer().Set_Controls(8);
                        main.cursor().hourglass(false);
                        main.Set_Msg("Projection: " + main.coords().getProjectionName(false));
                    }
                    chooser.Hide();
                } else {
                    s.GPS_MassStorageUnit.reset();
                    const auto port = static_cast<std::int16_t>(e.at(2).ToInt32());
                    const std::string settings = e.at(3).ToString();
                    const int baud = settings.compare(0, 4, "4800") == 0 ? 0 : 1;
                    if (g) g->PortClose();
                    chooser.Hide();
                    if (port > 0) {
                        // The baud command talks to the chosen unit, not to
                        // the port the scan probed last.
                        if (g) {
                            g->Port(port);
                            g->Settings(settings);
                        }
                        mnuBaud_Click(main, baud);
                    }
                    Port_Save(main, port, false);
                    GPS_OpenGarmin(main);
                    return;
                }
            }
        }
    } catch (const VbError& e) {
        failure = e;
    } catch (const std::exception& e) {
        failure = VbError(51, "frmMain.GPS_Find", e.what());
    }
    s.GPS_Scanning = false;
    if (g) g->PortClose();
    // The scan closed whatever port was connected before: unless a
    // mass-storage unit is connected, the program says so.
    if (!connected && !s.GPS_MassStorageUnit) main.transfer().Set_Controls(1);
    if (failure && failure->number != 0 && failure->number != 8012)
        critical_box(main, "frmMain.GPS_Find", *failure);
}

std::shared_ptr<clsGarminUSB> GPS_Find_USB(app::frmMain& main, const std::string& filter)
{
    std::shared_ptr<clsGarminUSB> found;
    trapped(main, "frmMain.GPS_Find_USB", [&] {
        app::AppState& s = main.state();
        frmGPSStatus* chooser = dynamic_cast<frmGPSStatus*>(main.form("frmGPSStatus"));
        const std::string wanted = platform::Trim_Folder(filter);
        int count = 0;
        for (const std::string& drive : platform::Drive_List()) {
            try {
                if (!File_Exists(drive, kDescriptionFile)) continue;
                if (!wanted.empty() && wanted != drive) continue;
                auto unit = std::make_shared<clsGarminUSB>(main.dialogs());
                if (chooser) chooser->set_status("Checking Drives ... \r\n       DRIVE: " + drive);
                if (!unit->LoadGPS(drive)) continue;
                platform::VariantArray entry(0, 6);
                entry.at(0) = unit->Description;
                entry.at(1) = unit->Version;
                entry.at(2) = std::int16_t(0);
                entry.at(3) = std::int16_t(9600);
                entry.at(4) = unit->UploadLocation;
                entry.at(5) = unit->DownloadLocation;
                s.GPS_UnitList.push_back(std::move(entry));
                if (chooser) chooser->found_on[s.GPS_UnitList.size() - 1] = drive;
                ++count;
                found = unit;
            } catch (const VbError&) {
                // An unreadable drive is passed over.
            } catch (const fs::filesystem_error&) {
            }
        }
        if (count != 1) found.reset();
    });
    return found;
}

// ---------------------------------------------------------------- connecting

void GPS_OpenUSB(app::frmMain& main, const std::string& drive)
{
    trapped(main, "frmMain.GPS_OpenUSB", [&] {
        app::AppState& s = main.state();
        main.transfer().Set_Controls(1);
        s.GPS_MassStorageUnit = GPS_Find_USB(main, drive);
        if (!s.GPS_MassStorageUnit) return;
        const clsGarminUSB& unit = *s.GPS_MassStorageUnit;
        files::clsGPXType tree(&main.dialogs());
        if (!unit.DownloadLocation.empty()) tree.GPX_LoadFile(unit.DownloadLocation);

        const std::string description = unit.Description + "  " + unit.Version;
        main.lblGPSDesc1.caption = description;
        app::InfoWindow& info = main.frmInfo();
        info.lblGPSDesc1.caption = description;
        info.lblGPSDesc2.caption =
            "Registration Code: " + unit.RegistrationCode + ";  " + "Part Number: " + unit.PartNumber;
        info.lblMode1.caption = "USB";
        info.lblProductID.caption = "ID: " + unit.ID;
        info.lblWaypointscnt.caption = std::to_string(tree.Waypoints_Count());
        info.lblTrackPointscnt.caption = std::to_string(tree.Tracks_Count());
        info.lblRoutePointscnt.caption = std::to_string(tree.Routes_Count());
        info.lblFormat1.caption = "Download Location: " + unit.DownloadLocation;
        info.lblFormat2.caption = "Upload Location: " + unit.UploadLocation;
        main.changed(app::ChangeControls);
        Port_Save(main, 0, true);
    });
}

void GPS_OpenGarmin(app::frmMain& main)
{
    app::AppState& s = main.state();
    trapped(main, "frmMain.GPS_OpenGarmin", [&] {
        s.real_time = false;
        s.nmea_mode = false;
        main.transfer().Set_Controls(1);
        s.GPS_MassStorageUnit.reset();
        main.StatusBar1[0] = "Connecting";
        main.changed(app::ChangeStatus);
        main.Set_Msg("Trying to Connect Using Baud Rate: " + vb::CStr(vb::Val(s.port_settings)));
        main.cursor().hourglass(true);

        if (s.port > 0 && !main.ports().Port_Exists(s.port)) {
            main.dialogs().MsgBox("Port " + std::to_string(s.port) + " does not exist", platform::vbCritical);
            return not_connected(main);
        }
        app::GarminControl* g = main.garmin;
        if (!g) return not_connected(main);
        g->Port(s.port);
        g->Settings(s.port_settings);
        if (!g->PortOpen()) return not_connected(main);
        g->Request_Product_Data();
        main.Set_Msg("");
        if (main.frmInfo().lblProductID.caption.empty()) {
            main.dialogs().MsgBox("GPS on com port " + std::to_string(g->Port()) + " failed to initialze." +
                                  "Check the following: \n  1) Your GPS is turned on\n  2) The proper port number is "
                                  "set\n  3) You have the latest driver installed for your GPS (USB Only)\n  4) You "
                                  "have the latest firmware installed on your GPS");
            return not_connected(main);
        }
        main.pump().run_pending();
        s.port_settings = g->Settings();
        main.settings().SaveSetting("port", "Settings", s.port_settings);

        if (main.frmInfo().lblProductID.caption == "NMEA") {
            if (!s.quiet_mode)
                main.dialogs().MsgBox(std::string("Your GPS is in NMEA mode.  For upload/download ") + "capabilities" +
                                      "\r\n" + "switch the GPS's Interface Mode to " + "'GARMIN', then reconnect.");
            main.cursor().hourglass(false);
            main.StatusBar1[0] = "Connected";
            main.menus().at("mnuClose").enabled = true;
            // The option first: its table change must not undo the NMEA
            // unit's menu state.
            main.optRTWpt_Click();
            main.transfer().Set_Controls(7);
            s.nmea_mode = true;
            main.changed(app::ChangeStatus | app::ChangeMenus);
            return;
        }
        g->Request_Date_Time();
        g->Pvt_Data_Start();
        g->WaitFor(50);
        g->Pvt_Data_Stop();
        g->Request_Position_Data();
        main.transfer().Set_Controls(3);
        main.cursor().hourglass(false);
        main.Set_Msg("Projection: " + main.coords().getProjectionName(false));
    });
}

} // namespace transfer
