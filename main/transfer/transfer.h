// GPS transfer as the main window and the records table reach it: the menu
// states, the serial port menu, the waypoint symbol tables, opening the
// port and the receiver search, and the handlers of the GPS, Waypoint,
// Track and Route menus.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace app { class frmMain; }

namespace transfer {

class GpsTransfer {
public:
    virtual ~GpsTransfer() = default;

    // Enables the main window's commands for a UI state: 1 not connected,
    // 2 table empty, 3 connected, 4 table holds records, 5 real time on,
    // 6 real time off, 7 receiver in NMEA mode, 8 mass-storage receiver.
    // Never fails.
    virtual void Set_Controls(std::int16_t state) = 0;
    // Enables each mnuPort item above 0 whose serial port exists.
    virtual void Ports_Enable() = 0;
    // Fill the d103 and d1xx symbol tables of the main window's state.
    virtual void Load_d103WptSymbols() = 0;
    virtual void Load_d1xxWptSymbols() = 0;
    // The Open Port command: the stored port, or a search when it is "0".
    virtual void mnuOpen_Click() = 0;
    // Scans serial ports and mass-storage drives and connects what it finds.
    virtual void GPS_Find(bool& flag) = 0;
    // The other handlers of the GPS, Waypoint, Track and Route menus, by
    // control name and menu-array index (-1 for a plain item).
    virtual void menu_Click(const std::string& name, int index) = 0;
};

std::unique_ptr<GpsTransfer> make_gps_transfer(app::frmMain& main);

} // namespace transfer
