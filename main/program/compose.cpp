#include "main/program/compose.h"

#include "main/app/properties.h"
#include "main/coords/cep.h"
#include "main/coords/coords.h"
#include "main/files/files.h"
#include "main/hotlink/hotlink.h"
#include "main/links/links.h"
#include "main/realtime/nmea_viewer.h"
#include "main/realtime/frm_realtime.h"
#include "main/realtime/realtime.h"
#include "main/transfer/transfer.h"
#include "platform/arcobjects/served.h"

namespace app {

void install_subsystems(frmMain& main)
{
    main.set_properties(make_properties_dialog(main));
    main.set_transfer(transfer::make_gps_transfer(main));
    main.set_links(links::make_gis_links(main));
    // The running ArcMaps are the served map hosts; their calls wait on the
    // main window's loop.
    platform::arcobjects::Install_Source(
        [&pump = main.pump()] { return platform::arcobjects::Running_Table(&pump); });
    main.set_coords(coords::make_coordinates(main));
    main.set_files(files::make_file_formats(main));
    main.set_realtime(realtime::make_real_time(main));
    main.set_hotlink(hotlink::make_hotlinking(main));
    // Reached through main.coords() on every use, so a replaced coordinates
    // subsystem brings its own window.
    main.register_form("frmCalculateCEP", [&main]() -> Form& { return main.coords().CalculateCEP(); });
    main.register_window("frmCalculateCEP", [&main] { return main.coords().CalculateCEP().Loaded(); },
                         [&main] { main.coords().CalculateCEP().Close(); });
    main.register_form("frmNMEAViewer", [&main]() -> Form& { return main.realtime().NMEAViewer(); });
    main.register_window("frmNMEAViewer", [&main] { return main.realtime().NMEAViewer().Loaded(); },
                         [&main] { main.realtime().NMEAViewer().Unload(); });
    main.register_form("frmRealTime", [&main]() -> Form& { return main.realtime().RealTimeWindow(); });
    main.register_window("frmRealTime", [&main] { return main.realtime().RealTimeWindow().Loaded(); },
                         [&main] { main.realtime().RealTimeWindow().Unload(); });
}

} // namespace app
