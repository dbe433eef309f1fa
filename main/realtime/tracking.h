// Real-time tracking's own logic behind the RealTime face: the point flow
// of one PVT record, the hand-off of a kept point, and the Start and Stop
// commands. The NMEA point flow of this folder hands its points through
// Point_Record as well.
#pragma once

#include "main/realtime/frm_realtime.h"
#include "main/realtime/realtime.h"

#include <string>

namespace app { class frmMain; }

namespace realtime {

class Tracking {
public:
    explicit Tracking(app::frmMain& main);

    void Receive_Pvt_data();
    // The point of a "$GPRMC" line from AppState::nmea_values (stored
    // from that line and the ones since the last point), while real time
    // runs; nothing while the transfer busy flag is set.
    void NMEA_Point();
    // Any other line while real time runs: events run once, busy cleared.
    void NMEA_Other();
    bool Point_Record(const KeptPoint& point, const std::string& procedure);
    void mnuStartRealTime_Click();
    void mnuStopRealTime_Click();
    frmRealTime& window() { return window_; }

private:
    // The real-time log's path (settings "fields"/"rtimetextloc").
    std::string log_path();
    // Whole seconds of the clock.
    std::int64_t clock_seconds();
    // The time and distance tests of the tolerance filter from the last
    // kept point to (lat, lon); true when the point is kept.
    bool Tolerance_Passes(double lat, double lon);
    // The readouts and the kept point of a "$GPRMC" line; false when the
    // point was dropped by the filter or ended tracking.
    bool NMEA_Keep();
    void box(const std::string& procedure, int number, const std::string& description);

    app::frmMain& main_;
    frmRealTime window_;
    bool handling_ = false; // a PVT record is being handled
    bool stopping_ = false; // the stop sequence is running
};

} // namespace realtime
