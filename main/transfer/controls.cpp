// Set_Controls: the main window's commands switched on and off in groups by
// what the program is connected to and what the table holds. Each state
// changes only what it lists, on top of what earlier calls left.
#include "main/transfer/transfer.h"

#include "main/app/frm_info.h"
#include "main/app/frm_main.h"
#include "main/table/table.h"

#include <initializer_list>

namespace transfer {

namespace {

void enable(app::frmMain& main, std::initializer_list<const char*> names, bool on)
{
    for (const char* n : names) main.menus().at(n).enabled = on;
}

void enable_options(app::frmMain& main, bool on)
{
    for (app::Control* c : {&main.optWpt, &main.optTrk, &main.optRte}) c->enabled = on;
}

// The first data row's "type" cell; a table without that column (or
// without a data row) reads as empty, so a half-built table never makes
// the state change fail.
std::string first_type(app::frmMain& main, int type_col)
{
    const platform::Grid& g = main.MSFlexGrid1;
    if (type_col < 0 || type_col >= g.Cols() || g.Rows() < 2) return {};
    return g.TextMatrix(1, type_col);
}

// The upload menu of the current record type, when the table's first row
// has a type.
void enable_type_upload(app::frmMain& main, int type_col)
{
    if (first_type(main, type_col).empty()) return;
    const std::string& type = main.state().record_type;
    if (type == "waypoint")
        enable(main, {"mnuWUpload"}, true);
    else if (type == "track")
        enable(main, {"mnuTUpload"}, true);
    else if (type == "route")
        enable(main, {"mnuRUpload"}, true);
}

void not_connected(app::frmMain& main)
{
    for (app::Control* c : {&main.lblGPSDesc1, &main.lbllat, &main.lbllon, &main.lblAlt, &main.lblepe})
        c->caption.clear();
    app::InfoWindow& info = main.frmInfo();
    info.lblGPSDesc1.caption.clear();
    info.lblGPSDesc2.caption.clear();
    info.lblMode1.caption = "Garmin";
    info.lbldate.caption.clear();
    info.lblTime.caption.clear();
    info.lblFormat1.caption = "Formats";
    info.lblFormat2.caption = "Formats";
    info.lblProductID.caption.clear();
    main.StatusBar1[0] = "Not Connected";
    main.Set_Msg("");
    enable(main, {"mnuLoad"}, true);
    enable(main,
           {"mnuDDownload", "mnuReset", "mnuGInfo", "mnuWUpload", "mnuWDownload", "mnuTUpload", "mnuTDownload",
            "mnuRUpload", "mnuRDownload", "mnuStartRealTime", "mnuStopRealTime"},
           false);
    main.Form_Resize();
}

void table_empty(app::frmMain& main)
{
    platform::Grid& g = main.MSFlexGrid1;
    g.Clear();
    g.SetRows(2);
    g.SetCols(30);
    enable(main, {"mnuSaveAs", "mnuWUpload", "mnuTUpload", "mnuRUpload"}, false);
    main.StatusBar1[2].clear();
    enable(main, {"mnuHotlinks", "mnuClearTable", "mnuProjectCoordinates", "mnuUnProjectCoordinates"}, false);
}

void connected(app::frmMain& main, int type_col)
{
    enable(main,
           {"mnuDDownload", "mnuReset", "mnuGInfo", "mnuTDownload", "mnuWDownload", "mnuRDownload",
            "mnuStartRealTime"},
           true);
    enable(main, {"mnuWUpload", "mnuTUpload", "mnuRUpload"}, false);
    enable_type_upload(main, type_col);
    main.StatusBar1[0] = "Connected";
}

void table_holds_records(app::frmMain& main, int type_col)
{
    enable(main, {"mnuSaveAs"}, true);
    enable(main, {"mnuWUpload", "mnuTUpload", "mnuRUpload"}, false);
    enable(main, {"mnuHotlinks", "mnuClearTable", "mnuProjectCoordinates", "mnuUnProjectCoordinates"}, true);
    if (main.StatusBar1[0] == "Connected") enable_type_upload(main, type_col);
}

void real_time_running(app::frmMain& main)
{
    enable(main, {"mnuStopRealTime"}, true);
    enable(main,
           {"mnuStartRealTime", "mnuTDownload", "mnuTUpload", "mnuWDownload", "mnuWUpload", "mnuSaveAs", "mnuLoad",
            "mnuGInfo"},
           false);
    enable_options(main, false);
}

void real_time_stopped(app::frmMain& main)
{
    enable(main, {"mnuStartRealTime"}, true);
    enable(main, {"mnuStopRealTime"}, false);
    enable(main, {"mnuTDownload", "mnuWDownload", "mnuWUpload", "mnuSaveAs"}, true);
    enable_options(main, true);
    enable(main, {"mnuLoad", "mnuGInfo"}, true);
}

void nmea_receiver(app::frmMain& main)
{
    enable(main, {"mnuLoad", "mnuStartRealTime"}, true);
    enable(main,
           {"mnuReset", "mnuGInfo", "mnuWUpload", "mnuWDownload", "mnuTUpload", "mnuTDownload", "mnuRUpload",
            "mnuRDownload", "mnuStopRealTime"},
           false);
    enable(main, {"mnuViewNMEA"}, true);
    main.Form_Resize();
}

void mass_storage(app::frmMain& main, int type_col)
{
    enable(main, {"mnuDDownload", "mnuReset"}, false);
    enable(main, {"mnuGInfo", "mnuTDownload", "mnuWDownload", "mnuRDownload", "mnuStartRealTime"}, true);
    enable(main, {"mnuWUpload", "mnuTUpload", "mnuRUpload"}, false);
    enable_type_upload(main, type_col);
    main.StatusBar1[0] = "Connected";
}

} // namespace

void Set_Controls(app::frmMain& main, std::int16_t state)
{
    const int type_col = main.table().Column_Find("type", true);
    switch (state) {
    case 1: not_connected(main); break;
    case 2: table_empty(main); break;
    case 3: connected(main, type_col); break;
    case 4: table_holds_records(main, type_col); break;
    case 5: real_time_running(main); break;
    case 6: real_time_stopped(main); break;
    case 7: nmea_receiver(main); break;
    case 8: mass_storage(main, type_col); break;
    default: return;
    }
    main.state().ui_state = state;
    main.changed(app::ChangeMenus | app::ChangeControls | app::ChangeStatus);
}

} // namespace transfer
