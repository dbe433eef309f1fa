// What the receiver says about itself (product, protocols, date and time,
// position) and the GPS menu's link commands: baud rate, close, reset and
// the information window.
#include "main/transfer/transfer.h"

#include "main/app/frm_info.h"
#include "main/app/frm_main.h"
#include "platform/automation/vb_error.h"
#include "platform/settings/settings.h"
#include "platform/text/vb.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialogs.h"

namespace transfer {

namespace vb = platform::vb;

namespace {

const char* const kBaud[7] = {"4800,N,8,1",  "9600,N,8,1",  "19200,N,8,1", "28800,N,8,1",
                              "38400,N,8,1", "57600,N,8,1", "115200,N,8,1"};
constexpr const char* kNmeaRate = "4800,N,8,1";

// Products whose early software cannot deliver a screen capture.
bool without_screen_capture(std::int16_t id, std::int16_t version)
{
    if (version >= 458) return false;
    for (int p : {77, 87, 96, 105, 106, 138})
        if (id == p) return true;
    return false;
}

std::string rate_of(const std::string& settings) { return vb::CStr(vb::Val(settings)); }

} // namespace

void Receive_Product_Data(app::frmMain& main)
{
    app::GarminControl& g = *main.garmin;
    app::AppState& s = main.state();
    const brenvik::cProduct_Data& p = g.Product_Data();
    if (s.GPS_Scanning) {
        platform::VariantArray entry(0, 4);
        entry.at(0) = p.Product_Description_1;
        entry.at(1) = p.Product_Description_2;
        entry.at(2) = g.Port();
        entry.at(3) = g.Settings();
        s.GPS_UnitList.push_back(std::move(entry));
        return;
    }
    app::InfoWindow& info = main.frmInfo();
    info.lblProductID.caption = "PID " + std::to_string(p.Product_ID);
    info.lblGPSDesc1.caption = p.Product_Description_1;
    info.lblGPSDesc2.caption = p.Product_Description_2;
    main.lblGPSDesc1.caption = p.Product_Description_1 + " " + p.Product_Description_2;
    s.screen_capture = !without_screen_capture(p.Product_ID, p.Software_Version);
    main.changed(app::ChangeControls);
    Receive_Protocol_Array(main);
}

void Receive_Protocol_Array(app::frmMain& main)
{
    main.run_trapped("Receive_Protocol_Array", [&] {
        app::GarminControl& g = *main.garmin;
        app::InfoWindow& info = main.frmInfo();
        const std::string none = "    ";
        info.lblFormat1.caption = "Supported Protocols:";
        for (auto [tag, name] : {std::pair<const char*, std::string>{" Link:", g.Link_Protocol()},
                                 {"  WPT:", g.WayPoint_Transfer_Protocol()},
                                 {"  RTE:", g.Route_Transfer_Protocol()},
                                 {"  TRK:", g.Track_Transfer_Protocol()},
                                 {"  PRX:", g.Prox_Wpt_Transfer_Protocol()},
                                 {"  ALM:", g.Almanac_Transfer_Protocol()},
                                 {"  DTE:", g.Date_Transfer_Protocol()},
                                 {"  POS:", g.Posn_Transfer_Protocol()},
                                 {"  PVT:", g.Pvt_Transfer_Protocol()}})
            info.lblFormat1.caption += tag + name;
        info.lblFormat2.caption = "Supported Formats:  ";
        for (auto [tag, name] : {std::pair<const char*, std::string>{" Hdrs ", none},
                                 {"      ", none},
                                 {"  RTE:", g.Route_Header_Format()},
                                 {"  TRK:", g.Track_Header_Format()},
                                 {"      ", none},
                                 {"      ", none}})
            info.lblFormat2.caption += tag + name;
        info.lblFormat3.caption = std::string(20, ' ');
        for (auto [tag, name] : {std::pair<const char*, std::string>{" Data ", none},
                                 {"  WPT:", g.Waypoint_Data_Format()},
                                 {"  RTE:", g.Route_Wpt_Data_Format()},
                                 {"  TRK:", g.Track_Point_Format()},
                                 {"  PRX:", g.Prox_Wpt_Data_Format()},
                                 {"  ALM:", g.Almanac_Data_Format()},
                                 {"  DTE:", g.Date_Data_Format()},
                                 {"  POS:", g.Posn_Data_Format()},
                                 {"  PVT:", g.Pvt_Data_Format()}})
            info.lblFormat3.caption += tag + name;
    });
}

void Receive_Date_Time(app::frmMain& main)
{
    const brenvik::cDate_Time& d = main.garmin->Date_Time();
    app::InfoWindow& info = main.frmInfo();
    info.lbldate.caption = std::to_string(d.month) + "/" + std::to_string(d.day) + "/" + std::to_string(d.year);
    info.lblTime.caption =
        std::to_string(d.hour) + ":" + std::to_string(d.minute) + ":" + std::to_string(d.second);
}

void Receive_Position(app::frmMain& main)
{
    const brenvik::cPosition& p = main.garmin->Position();
    main.lbllat.caption = vb::Format(p.Lat, "##.00000000");
    main.lbllon.caption = vb::Format(p.Lon, "###.00000000");
    main.changed(app::ChangeControls);
}

void ReturnInfo(app::frmMain& main)
{
    if (!Transfer_WaitIdle(main) || !main.garmin) return;
    app::GarminControl& g = *main.garmin;
    g.Request_Product_Data();
    g.Request_Date_Time();
    g.Request_Counts();
    main.state().real_time = true;
    g.Pvt_Data_Start();
    g.WaitFor(1);
    g.Pvt_Data_Stop();
    main.state().real_time = false;
}

void mnuBaud_Click(app::frmMain& main, int index)
{
    if (index < 0 || index > 6 || !main.garmin) return;
    app::AppState& s = main.state();
    main.cursor().hourglass(true);
    const std::string wanted = kBaud[index];
    int checked = index;
    if (wanted != kNmeaRate && s.port_settings != kNmeaRate) {
        if (main.garmin->Change_Baud_Rate(static_cast<std::int32_t>(vb::Val(wanted)))) {
            s.port_settings = wanted;
        } else {
            const std::int32_t rate = main.garmin->FindBaud(s.port_settings);
            // No rate found: the settings stay as they were.
            if (rate == 0) {
                main.cursor().hourglass(false);
                return;
            }
            s.port_settings = std::to_string(rate) + ",N,8,1";
            if (s.port_settings != wanted)
                main.dialogs().MsgBox("Unable to change baud rate to " + wanted + ". Negotiated " + s.port_settings);
            checked = 1;
        }
    } else {
        s.port_settings = wanted;
    }
    for (app::MenuItem* m : main.menus().array("mnuBaud")) m->checked = (m->index == checked);
    main.settings().SaveSetting("port", "Settings", s.port_settings);
    main.cursor().hourglass(false);
    main.Set_Msg("Set Baud Rate to " + rate_of(s.port_settings));
    main.changed(app::ChangeMenus);
}

void mnuClose_Click(app::frmMain& main)
{
    Transfer_Abandon(main, "GPS Connection has been closed");
    main.Set_Msg("GPS Connection has been closed");
    if (main.garmin) main.garmin->PortClose();
    main.transfer().Set_Controls(1);
    main.cursor().hourglass(false);
}

void Reset_Garmin(app::frmMain& main)
{
    app::AppState& s = main.state();
    main.run_trapped("Reset_Garmin", [&] {
        s.last_record_pid = 0;
        if (!main.garmin) return;
        main.garmin->Reset();
        main.garmin->WaitFor(2);
        main.garmin->PortClose();
        s.real_time = false;
        s.transfer_busy = false;
        Transfer_Abandon(main, "");
        main.garmin->PortOpen();
    });
}

void mnuReset_Click(app::frmMain& main)
{
    Reset_Garmin(main);
    main.cursor().hourglass(false);
    main.Set_Msg("");
}

void mnuGInfo_Click(app::frmMain& main)
{
    try {
        ReturnInfo(main);
    } catch (...) {
    }
    main.show_modal("frmInfo");
}

} // namespace transfer
