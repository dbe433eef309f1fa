// GPS transfer as the main window and the records table reach it: the menu
// states, the serial port menu, the waypoint symbol tables, opening the
// port and the receiver search, and the handlers of the GPS, Waypoint,
// Track and Route menus.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace app {
class frmMain;
struct AppState;
} // namespace app

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

// The work behind GpsTransfer's members of the same names.
void Set_Controls(app::frmMain& main, std::int16_t state);
void Load_d103WptSymbols(app::AppState& state);
void Load_d1xxWptSymbols(app::AppState& state);

// The table's symbol code of a D103 symbol number; a number outside 0 to
// 15 gives the default symbol 18 (the waypoint is kept).
std::int32_t Symbol_FromD103(const app::AppState& state, std::int32_t index);
// The D103 symbol number of a symbol cell's text ("18" -> 0); 0 when the
// code has no D103 number. Texts compare exactly: "018" is not "18".
std::int32_t Symbol_ToD103(const app::AppState& state, const std::string& code);

// Waits while the transfer busy flag is set, letting events run (blocking
// on the event pump between them). Returns false when the program ended
// meanwhile, true once the link is free; the caller sets the flag.
bool Transfer_WaitIdle(app::frmMain& main);

} // namespace transfer
