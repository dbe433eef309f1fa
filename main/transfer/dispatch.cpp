// The main window's side of the device control's events: the received-
// packet dispatch, the control's failures and the record counts.
#include "main/transfer/transfer.h"

#include "main/app/frm_info.h"
#include "main/app/frm_main.h"
#include "main/coords/coords.h"
#include "main/realtime/realtime.h"
#include "main/transfer/frm_image.h"
#include "main/table/table.h"
#include "platform/automation/vb_error.h"
#include "platform/text/vb.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialogs.h"

#include <cmath>

namespace transfer {

namespace vb = platform::vb;

namespace {

// Counts in the status texts: whole numbers as integers, halves as 12.5.
std::string count_text(double n) { return vb::CStr(n); }

// A200 units send no link packets: each route header counts in the
// announced total like a track header, and nothing is halved.
bool routes_without_links(app::GarminControl& g) { return vb::Trim(g.Route_Transfer_Protocol()) == "A200"; }

void record_branch(app::frmMain& main, app::GarminControl& g, std::uint8_t id)
{
    app::AppState& s = main.state();
    s.last_record_pid = id;
    if (id == g.PID_Wpt_Data() || id == g.PID_Prx_Wpt_Data()) {
        Receive_Waypoint(main);
        main.Set_Msg("Received " + std::to_string(s.record_counter) + " of " +
                     std::to_string(s.expected_record_count) + " waypoints");
    } else if (id == g.PID_Trk_Hdr()) {
        --s.expected_record_count;
    } else if (id == g.PID_Trk_Data()) {
        Receive_Track_Point(main);
        main.Set_Msg("Received " + std::to_string(s.record_counter) + " of " +
                     std::to_string(s.expected_record_count) + " track points");
    } else if (id == g.PID_Rte_Hdr()) {
        if (routes_without_links(g)) --s.expected_record_count;
        Receive_Route_Header(main);
    } else if (id == g.PID_Rte_Link()) {
    } else if (id == g.PID_Rte_Wpt_Data()) {
        Receive_Rte_Waypoint(main);
        const double expected = routes_without_links(g) ? s.expected_record_count : s.expected_record_count / 2.0;
        main.Set_Msg("Received " + std::to_string(s.record_counter) + " of " + count_text(expected) +
                     " route points");
    }
}

void transfer_complete(app::frmMain& main, app::GarminControl& g)
{
    app::AppState& s = main.state();
    s.transfer_busy = false;
    s.transfer_running = false;
    main.coords().Project_Table(true);
    flxgrd::Time_CalculateLocal(main.table(), s.time_zone, false);
    main.MSFlexGrid1.SetRedraw(true);
    main.cursor().hourglass(false);
    main.dialogs().MsgBox("Received " + std::to_string(s.record_counter) + " records.");
    s.transfer_complete = true;
    s.transfer_finished = true;
    if (vb::LCase(s.record_type) == "route" && !routes_without_links(g))
        s.expected_record_count = static_cast<std::int32_t>(std::nearbyint(s.expected_record_count / 2.0));
    if (s.record_counter != s.expected_record_count)
        main.dialogs().MsgBox("Error - Record counts don't match\r\nGPS claims to have sent " +
                              std::to_string(s.expected_record_count) + " records.");
    s.last_record_pid = 0;
}

void upload_complete(app::frmMain& main, app::GarminControl& g)
{
    app::AppState& s = main.state();
    const std::string n = std::to_string(s.record_counter);
    std::string box;
    if (s.last_record_pid == g.PID_Wpt_Data())
        box = "Transfer Complete. " + n + " Waypoints uploaded.";
    else if (s.last_record_pid == g.PID_Trk_Data())
        box = "Transfer Complete.  A Track consisting of " + n + " points has been uploaded.";
    else if (s.last_record_pid == g.PID_Rte_Wpt_Data())
        box = "Transfer Complete.  A Route consisting of " + n + " points has been uploaded.";
    if (!box.empty()) {
        s.transfer_busy = false;
        s.transfer_running = false;
        main.cursor().hourglass(false);
        main.dialogs().MsgBox(box);
    }
    s.transfer_finished = !box.empty() && !s.upload_stopped;
    s.transfer_complete = true;
    // The next upload (of a table without steps, say) must not take this
    // one's record kind.
    s.last_record_pid = 0;
}

void acknowledgement(app::frmMain& main, app::GarminControl& g, std::uint8_t acked)
{
    app::AppState& s = main.state();
    if (acked == g.PID_Command_Data()) return;
    if (acked == g.PID_Records()) {
        if (s.last_record_pid == g.PID_Wpt_Data())
            Send_Waypoint(main);
        else if (s.last_record_pid == g.PID_Trk_Data())
            Send_Track_Header(main);
        else if (s.last_record_pid == g.PID_Rte_Wpt_Data())
            Send_Route_Point(main);
    } else if (acked == g.PID_Wpt_Data()) {
        if (s.transfer_busy && !s.upload_stopped) Send_Waypoint(main); else g.End_of_Records();
    } else if (acked == g.PID_Trk_Hdr() || acked == g.PID_Trk_Data()) {
        if (s.transfer_busy && !s.upload_stopped) Send_Track_Point(main); else g.End_of_Records();
    } else if (acked == g.PID_Rte_Hdr() || acked == g.PID_Rte_Wpt_Data() || acked == g.PID_Rte_Link()) {
        if (s.transfer_busy && !s.upload_stopped) Send_Route_Point(main); else g.End_of_Records();
    } else if (acked == g.PID_Xfer_Cmplt()) {
        upload_complete(main, g);
    }
}

void dispatch(app::frmMain& main, app::GarminControl& g, const app::Packet& packet)
{
    app::AppState& s = main.state();
    if (packet.size() < 3) return;
    const std::uint8_t id = packet[1];
    if (id == g.PID_Records()) {
        s.record_counter = 0;
        s.expected_record_count = g.Incoming_Records_Count();
    } else if (id == g.PID_Product_Data()) {
        Receive_Product_Data(main);
    } else if (id == 248 || id == g.PID_Unit_ID()) {
    } else if (id == g.PID_Protocol_Array()) {
        Receive_Protocol_Array(main);
    } else if (id == g.PID_Date_Time()) {
        Receive_Date_Time(main);
    } else if (id == g.PID_Pvt_Data()) {
        main.realtime().Receive_Pvt_data();
    } else if (id == g.PID_Sats()) {
    } else if (id == g.PID_Position_Data()) {
        Receive_Position(main);
    } else if (id == g.PID_Almanac_Data()) {
    } else if (id == g.PID_Wpt_Data() || id == g.PID_Prx_Wpt_Data() || id == g.PID_Rte_Hdr() ||
               id == g.PID_Rte_Link() || id == g.PID_Rte_Wpt_Data() || id == g.PID_Trk_Hdr() ||
               id == g.PID_Trk_Data()) {
        record_branch(main, g, id);
    } else if (id == g.PID_Xfer_Cmplt()) {
        transfer_complete(main, g);
    } else if (id == g.PID_Display_Data()) {
        ++s.record_counter;
        if (auto* screen = dynamic_cast<frmImage*>(main.form("frmImage"))) screen->Display_Packet();
    } else if (id == g.PID_Nak_Byte()) {
    } else if (id == g.PID_Ack_Byte()) {
        if (packet.size() > 3) acknowledgement(main, g, packet[3]);
    } else if (id == g.PID_Baud_Reply()) {
        std::uint32_t v = 0;
        for (std::size_t i = 0; i < 4; ++i) v |= std::uint32_t(i + 3 < packet.size() ? packet[i + 3] : 0) << (8 * i);
        s.reported_baud_rate = static_cast<std::int32_t>(v);
    }
}

} // namespace

void garmin_Receive(app::frmMain& main, const app::Packet& packet)
{
    if (main.frmInfo().lblProductID.caption == "NMEA" || !main.garmin) return;
    main.run_trapped("Garmin.Receive", [&] { dispatch(main, *main.garmin, packet); });
}

void Transfer_Abandon(app::frmMain& main, const std::string& message)
{
    app::AppState& s = main.state();
    if (!s.transfer_running) return;
    s.transfer_running = false;
    s.transfer_busy = false;
    s.transfer_complete = true;
    s.last_record_pid = 0;
    s.route_header = false;
    s.route_link = false;
    main.MSFlexGrid1.SetRedraw(true);
    main.cursor().hourglass(false);
    main.Set_Msg(message);
}

void garmin_cError(app::frmMain& main, std::int16_t& cErr, const std::string& message, const app::Packet& packet)
{
    app::AppState& s = main.state();
    platform::Dialogs& d = main.dialogs();
    main.run_trapped("cError", [&] {
        switch (cErr) {
        case 1:
        case 2: {
            if (s.nmea_mode) {
                d.MsgBox(message, platform::vbOKOnly);
                break;
            }
            const int answer = d.MsgBox(message, platform::vbRetryCancel);
            if (answer == platform::vbRetry) {
                if (main.garmin) main.garmin->Send(packet);
            } else if (answer == platform::vbCancel) {
                Transfer_Abandon(main, message);
                mnuClose_Click(main);
                s.real_time = false;
            }
            break;
        }
        case 3:
            if (d.MsgBox(message, platform::vbOKCancel) == platform::vbCancel) {
                Transfer_Abandon(main, message);
                s.real_time = false;
                if (main.garmin) main.garmin->Reset();
            }
            break;
        case 4:
            cErr = static_cast<std::int16_t>(d.MsgBox(message, platform::vbRetryCancel));
            break;
        default:
            // No box: a transfer the control gave up on ends here.
            Transfer_Abandon(main, message);
            break;
        }
    });
}

void garmin_ReceiveCounts(app::frmMain& main, std::int16_t w, std::int16_t p, std::int16_t r, std::int16_t t)
{
    app::InfoWindow& info = main.frmInfo();
    info.lblWaypointscnt.caption = std::to_string(w);
    info.lblTrackPointscnt.caption = std::to_string(t);
    info.lblProxWaypointscnt.caption = std::to_string(p);
    info.lblRoutePointscnt.caption = std::to_string(r);
}

} // namespace transfer
