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
    bool Point_Record(const KeptPoint& point, const std::string& procedure);
    void mnuStartRealTime_Click();
    void mnuStopRealTime_Click();
    frmRealTime& window() { return window_; }

private:
    // The real-time log's path (settings "fields"/"rtimetextloc").
    std::string log_path();
    // Whole seconds of the clock.
    std::int64_t clock_seconds();
    void box(const std::string& procedure, int number, const std::string& description);

    app::frmMain& main_;
    frmRealTime window_;
    bool handling_ = false; // a PVT record is being handled
    bool stopping_ = false; // the stop sequence is running
};

} // namespace realtime
