// The receiver information window frmInfo ("Garmin Info") as data: what the
// receiver reports about itself, one label each. The main window creates it
// hidden the first time something touches it.
#pragma once

#include "main/app/frm_main.h"

#include <array>
#include <string_view>

namespace app {

struct InfoWindow {
    InfoWindow();

    SmallWindow window{"Garmin Info"};
    Control lblProductID, lblGPSDesc1, lblGPSDesc2, lblMode1, lbldate, lblTime;
    Control lblFormat1, lblFormat2, lblFormat3; // set in a fixed-pitch font
    Control lblWaypointscnt, lblTrackPointscnt, lblProxWaypointscnt, lblRoutePointscnt;
    std::string format_font = "Courier New";

    // The labels in design order, and one by name (any case; nullptr when
    // the window has no such label).
    std::array<Control*, 13> controls();
    Control* control(std::string_view name);
};

} // namespace app
