#include "main/program/compose_views.h"

#include "main/app/frm_main.h"
#include "main/coords/cep.h"
#include "main/coords/coords.h"
#include "main/realtime/frm_realtime.h"
#include "main/realtime/nmea_viewer.h"
#include "main/realtime/realtime.h"
#include "main/settings/frm_properties.h"
#include "main/views/cep_view.h"
#include "main/views/files_view.h"
#include "main/views/frm_info_view.h"
#include "main/views/hotlinking_view.h"
#include "main/views/image_view.h"
#include "main/views/layer_selection_view.h"
#include "main/views/main_window_view.h"
#include "main/views/nmea_viewer_view.h"
#include "main/views/properties_view.h"
#include "main/views/realtime_view.h"

namespace app {

ProgramViews::ProgramViews(frmMain& main) : main_window_(std::make_unique<MainWindowView>(main))
{
    MainWindowView* view = main_window_.get();
    if (auto* p = dynamic_cast<frmProperties*>(&main.frmProperties())) bind_properties_view(*p, view);
    bind_cep_view(main.coords().CalculateCEP(), view);
    bind_nmea_viewer_view(main.realtime().NMEAViewer(), view);
    bind_realtime_view(main.realtime().RealTimeWindow(), view);
    bind_file_views(main, view);
    bind_hotlinking_view(main, view);
    bind_layer_selection_view(main, view);
    bind_info_view(main, view);
    image_view_ = make_image_view(main);
}

ProgramViews::~ProgramViews() = default;

} // namespace app
