// Real-time tracking and NMEA as the main window reaches them: the Real
// Time menu's start and stop entries, the real-time window, the NMEA
// viewer, and the handlers of the device control's position, NMEA and
// debug-text events.
#pragma once

#include "platform/automation/variant.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace app { class frmMain; }

namespace realtime {

class frmNMEAViewer;
class frmRealTime;

// One real-time point that passed the tolerance filter, ready to be
// recorded and handed on (from a PVT record or from NMEA sentences).
struct KeptPoint {
    double lon = 0, lat = 0; // degrees
    double x = 0, y = 0;     // projected
    std::string row_text;    // the "rtimewpt" values joined by ";"
    std::string epe_text;    // the epe of the display body and of ArcMap
    double azimuth = 0;
    // While ArcView is linked, its handshake file (the exchange base name
    // and ".done") ends tracking in place of the ArcView and ArcMap calls.
    bool arcview_handshake = false;
};

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
    // The real-time window ("Real Time Window"); it exists, loaded or not,
    // as long as this object does.
    virtual frmRealTime& RealTimeWindow() = 0;
    // A kept point from the last kept point on: the table row or log line,
    // the output shapefile, LandView, ArcView and ArcMap. The transfer busy
    // flag is held while it is handed on. False when recording failed or
    // ArcView's handshake file was found (tracking is then stopped), or an
    // error ended it (shown in the box titled "frmMain." & `procedure`; an
    // empty `procedure` shows none).
    virtual bool Point_Record(const KeptPoint& point, const std::string& procedure) = 0;
};

std::unique_ptr<RealTime> make_real_time(app::frmMain& main);

// Great-circle distance on a spherical earth between two positions given
// in decimal degrees, longitude first in each pair: statute miles, or
// kilometres for unit "K" and nautical miles for "N" (any case). The same
// position gives 0; nearly the same, a small distance (never an error).
double Calculate_Distance(double lon1, double lat1, double lon2, double lat2, std::string_view unit);
// The direction of travel from the first position to the second in the
// plane of longitude and latitude degrees, clockwise from north, as a whole
// number from 1 to 360 (360 is north, also for the same position).
double Calculate_Azimuth(double lon1, double lat1, double lon2, double lat2);
// Degrees and radians with pi taken as 3.14159265358979.
double deg2rad(double x);
double rad2deg(double x);
// The arc cosine through the arc tangent; -1 gives pi, 1 gives 0.
double acos(double x);

// The search's entry of an NMEA unit on `port`: ("NMEA on Port " & port,
// "", port, settings).
platform::Variant NMEA_UnitEntry(std::int16_t port, const std::string& settings);

} // namespace realtime
