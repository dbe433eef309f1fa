// GPS transfer as the main window and the records table reach it: the menu
// states, the serial port menu, the waypoint symbol tables, opening the
// port and the receiver search, and the handlers of the GPS, Waypoint,
// Track and Route menus.
#pragma once

#include "main/app/garmin_control.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

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

    // The hosted control's events.
    virtual void garmin_Receive(const app::Packet& packet) = 0;
    virtual void garmin_cError(std::int16_t& cErr, const std::string& message, const app::Packet& packet) = 0;
    virtual void garmin_ReceiveCounts(std::int16_t wCount, std::int16_t pCount, std::int16_t rCount,
                                      std::int16_t tCount) = 0;
    virtual void garmin_ReceiveImage(std::int16_t pct, const brenvik::PictureRef& image) = 0;
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

// --- the control's events ---------------------------------------------------
// The received-packet dispatch: records into rows, acknowledgements into
// the next upload step, transfer ends, receiver information.
void garmin_Receive(app::frmMain& main, const app::Packet& packet);
// The control's failures by level (1-2 Retry/Cancel, 3 OK/Cancel, 4 the
// answer written back into cErr). Any of them while a transfer runs, and
// a Cancel, ends that transfer: the link comes free, the rows stay.
void garmin_cError(app::frmMain& main, std::int16_t& cErr, const std::string& message, const app::Packet& packet);
void garmin_ReceiveCounts(app::frmMain& main, std::int16_t w, std::int16_t p, std::int16_t r, std::int16_t t);
// Ends the download or upload under way, if any: busy 0, complete -1, last
// record packet ID and route flags 0, normal pointer, `message` on the
// status line. The rows already in the table stay.
void Transfer_Abandon(app::frmMain& main, const std::string& message);

// --- downloads --------------------------------------------------------------
void mnuWDownload_Click(app::frmMain& main);
void mnuTDownload_Click(app::frmMain& main);
void mnuRDownload_Click(app::frmMain& main);
// False (after its box) when the receiver offers no waypoint transfer.
bool GPS_CheckTransferMode(app::frmMain& main);
// The row values of the control's current record objects (download forms).
std::vector<std::string> Waypoint_Values(app::frmMain& main);
std::vector<std::string> Track_Values(app::frmMain& main);
std::vector<std::string> Route_Values(app::frmMain& main);
// The converters the dispatch calls: one row per waypoint, track point
// and route point; a route header is kept for the points after it.
void Receive_Waypoint(app::frmMain& main);
void Receive_Track_Point(app::frmMain& main);
void Receive_Route_Header(app::frmMain& main);
void Receive_Rte_Waypoint(app::frmMain& main);
// The model text of every downloaded row, from frmInfo's description.
std::string Model_Text(app::frmMain& main);

// --- uploads ----------------------------------------------------------------
void mnuWUpload_Click(app::frmMain& main);
void mnuTUpload_Click(app::frmMain& main);
void mnuRUpload_Click(app::frmMain& main);
void StartUpload(app::frmMain& main);
void Send_Waypoint(app::frmMain& main);
void Send_Track_Point(app::frmMain& main);
void Send_Route_Point(app::frmMain& main);
void Send_Track_Header(app::frmMain& main);
void Send_Route_Header(app::frmMain& main);

// --- receiver information and port commands -----------------------------------
void Receive_Product_Data(app::frmMain& main);
void Receive_Protocol_Array(app::frmMain& main);
void Receive_Date_Time(app::frmMain& main);
void Receive_Position(app::frmMain& main);
void ReturnInfo(app::frmMain& main);
void mnuBaud_Click(app::frmMain& main, int index);
void mnuClose_Click(app::frmMain& main);
void mnuReset_Click(app::frmMain& main);
void Reset_Garmin(app::frmMain& main);
void mnuGInfo_Click(app::frmMain& main);

} // namespace transfer
