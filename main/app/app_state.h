// The program-wide state held with the main window: what start-up reads from
// the command line and the settings store, the current record type, the
// transfer and real-time flags, the table counters and the keyed collections
// the subsystems share. One instance, owned by frmMain and passed by
// reference; nothing here is a hidden global.
#pragma once

#include "platform/automation/collection.h"
#include "platform/automation/variant.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace transfer { class clsGarminUSB; }

namespace app {

struct AppState {
    // --- command line --------------------------------------------------
    std::string command_line;     // the arguments after the program name, joined by one blank
    bool quiet_mode = false;      // command line begins with "quiet" (any case)
    bool start_minimised = false; // command line begins with "minimize" (any case)

    // --- files and receiver link --------------------------------------
    std::string temp_shapefile;   // TEMP folder + "/trkfld.shp"
    std::int16_t port = 1;        // COM number, 0 = the control's USB link
    std::string port_settings = "9600,N,8,1";
    std::string unit = "Meters";
    std::string time_zone = "Local Computer Time";
    std::int16_t ui_state = 0;    // last state given to Set_Controls (1..8)

    // --- records table --------------------------------------------------
    std::string record_type = "waypoint"; // "waypoint", "track", "route", "rtimewpt"
    std::int32_t record_counter = 0;      // records appended since the last clear
    // Segments counted over a whole table; 64 bits so long track logs with
    // many segment starts cannot overflow it.
    std::int64_t segment_counter = 0;
    std::int32_t selection_count = 0;
    std::int32_t first_selected_row = 1;
    std::int32_t last_selected_row = 1;
    std::int32_t upload_cursor = 0;
    bool header_sort = false;             // flips at every header sort of a waypoint table

    // --- transfer and real time ---------------------------------------
    bool transfer_busy = false;
    bool transfer_complete = true;
    // Download: the count the receiver announced (less one per track
    // header, halved for routes at the end); upload: the rows to send.
    // The records sent or appended are record_counter.
    std::int32_t expected_record_count = 0;
    std::uint8_t last_record_pid = 0;      // packet ID of the record kind moving; 0 when done
    bool route_header = false;             // a route header came (or went) and no point yet
    std::string route_header_text;         // the last route header's fields, joined by ";"
    bool nmea_mode = false;                // the receiver answered in NMEA text
    std::int32_t reported_baud_rate = 0;   // the four data bytes of the last baud reply
    bool route_link = false;               // upload: a route waypoint went, its link is due
    // A download or upload is under way (from its request or record count
    // until its transfer-complete packet, its acknowledgement or its end).
    bool transfer_running = false;
    // The last download or upload ran to its end (its transfer-complete
    // packet or acknowledgement); false while one runs and after one was
    // refused, abandoned or stopped.
    bool transfer_finished = true;
    bool upload_stopped = false;           // a row could not be sent: the upload ends
    bool table_full = false;               // the download met the table's limit (one box)
    bool screen_capture = true;            // the connected receiver can deliver a screen capture
    // Units found by the last search, in order. Each entry is an array:
    // protocol and NMEA units (description 1, description 2, port,
    // settings), mass-storage units six elements (Description, Version, 0,
    // 9600, UploadLocation, DownloadLocation).
    std::vector<platform::Variant> GPS_UnitList;
    bool GPS_Scanning = false;             // while the receiver search probes the ports
    bool screen_window_open = false;
    bool real_time = false;
    bool projected_output = true;
    bool hotlink_sort = true;
    // The name of the window the user last acted in ("frmMain",
    // "frmHotlinking"): the copy command reads that window's table.
    std::string active_window = "frmMain";

    // --- real-time tracking ----------------------------------------------
    bool tolerance_bypass = false; // the next fix skips the tolerance filter (single point)
    // The last kept real-time point: "lat", "long" (degrees) and "time" (the
    // clock's whole seconds when it was kept); empty before the first.
    platform::Collection<platform::Variant> last_point;
    bool ident_prompt = false;     // the next shape written asks for its ident
    std::int32_t landview_message_counter = 0;

    // --- GIS programs (kept current by Refresh_Apps) -------------------
    bool arcview_running = false;
    bool landview_running = false;
    bool arcexplorer_running = false;
    bool arcmap_running = false;
    bool google_earth_running = false;
    bool google_earth_available = false; // installed (a registry version) or running
    bool arcgis_installed = false;
    bool arcmap_extension_loaded = false;
    // The ArcMap extension's automation object (called late-bound, null
    // when none is connected).
    platform::ObjectRef arcmap_extension;
    // The connected mass-storage unit; none while the device control links.
    std::shared_ptr<transfer::clsGarminUSB> GPS_MassStorageUnit;

    // --- keyed collections ----------------------------------------------
    // Latest values of the NMEA sentences, by value name.
    platform::Collection<platform::Variant> nmea_values;
    // Waypoint symbol codes to D103 symbol numbers ("18" -> 0 ... "8196" -> 15),
    // and D103 numbers back to codes ("0" -> 18 ... "15" -> 8196).
    platform::Collection<std::int32_t> d103_symbols;
    platform::Collection<std::int32_t> d1xx_symbols;
};

} // namespace app
