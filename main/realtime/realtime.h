// Real-time tracking and NMEA as the main window reaches them: the Real
// Time menu's start and stop entries, the NMEA viewer, and the handlers of
// the device control's position, NMEA and debug-text events.
#pragma once

#include "platform/automation/variant.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace app { class frmMain; }

namespace realtime {

class frmNMEAViewer;

class RealTime {
public:
    virtual ~RealTime() = default;
    // Shows the NMEA viewer without blocking.
    virtual void show_frmNMEAViewer() = 0;
    // The NMEA viewer, made (not loaded) on first use.
    virtual frmNMEAViewer& NMEAViewer() = 0;
    // mnuStartRealTime, mnuStopRealTime.
    virtual void menu_Click(const std::string& name, int index) = 0;
    // One decoded position record of the control (the dispatch calls it
    // for every PVT packet).
    virtual void Receive_Pvt_data() = 0;
    // The control's NMEA event: during a port search the port is recorded
    // once as an NMEA unit; otherwise the unit is marked as talking NMEA,
    // the line goes to the NMEA viewer as its filter asks, and while real
    // time runs the values of the sentences known are stored in
    // AppState::nmea_values. The checksum verdict is not consulted; nothing
    // is reported.
    virtual void garmin_NMEA(const std::string& sentence, bool chkerr) = 0;
    // The control's debug-text event: "$GP..." text marks NMEA mode.
    virtual void garmin_HexDebug(const std::string& dbgText) = 0;
};

std::unique_ptr<RealTime> make_real_time(app::frmMain& main);

// Great-circle distance on a spherical earth between two positions given
// in decimal degrees, longitude first in each pair: statute miles, or
// kilometres for unit "K" and nautical miles for "N" (any case). The same
// position gives 0; nearly the same, a small distance (never an error).
double Calculate_Distance(double lon1, double lat1, double lon2, double lat2, std::string_view unit);

// The search's entry of an NMEA unit on `port`: ("NMEA on Port " & port,
// "", port, settings).
platform::Variant NMEA_UnitEntry(std::int16_t port, const std::string& settings);

} // namespace realtime
