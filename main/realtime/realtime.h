// Real-time tracking and NMEA as the main window reaches them: the Real
// Time menu's start and stop entries and the NMEA viewer.
#pragma once

#include <memory>
#include <string>

namespace app { class frmMain; }

namespace realtime {

class RealTime {
public:
    virtual ~RealTime() = default;
    // Shows the NMEA viewer without blocking.
    virtual void show_frmNMEAViewer() = 0;
    // mnuStartRealTime, mnuStopRealTime.
    virtual void menu_Click(const std::string& name, int index) = 0;
};

std::unique_ptr<RealTime> make_real_time(app::frmMain& main);

} // namespace realtime
