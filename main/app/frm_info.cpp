#include "main/app/frm_info.h"

#include "platform/text/vb.h"

namespace app {

namespace {

Control label(const char* name, const char* caption = "")
{
    Control c;
    c.name = name;
    c.caption = caption;
    return c;
}

} // namespace

InfoWindow::InfoWindow()
    : lblProductID(label("lblProductID")), lblGPSDesc1(label("lblGPSDesc1")), lblGPSDesc2(label("lblGPSDesc2")),
      lblMode1(label("lblMode1", "Garmin")), lbldate(label("lbldate")), lblTime(label("lblTime")),
      lblFormat1(label("lblFormat1", "Formats")), lblFormat2(label("lblFormat2", "Formats")),
      lblFormat3(label("lblFormat3", "Formats")), lblWaypointscnt(label("lblWaypointscnt")),
      lblTrackPointscnt(label("lblTrackPointscnt")), lblProxWaypointscnt(label("lblProxWaypointscnt")),
      lblRoutePointscnt(label("lblRoutePointscnt"))
{
}

std::array<Control*, 13> InfoWindow::controls()
{
    return {&lblProductID, &lblGPSDesc1,     &lblGPSDesc2,       &lblMode1,
            &lbldate,      &lblTime,         &lblFormat1,        &lblFormat2,
            &lblFormat3,   &lblWaypointscnt, &lblTrackPointscnt, &lblProxWaypointscnt,
            &lblRoutePointscnt};
}

Control* InfoWindow::control(std::string_view name)
{
    const std::string wanted = platform::vb::LCase(name);
    for (Control* c : controls())
        if (platform::vb::LCase(c->name) == wanted) return c;
    return nullptr;
}

} // namespace app
