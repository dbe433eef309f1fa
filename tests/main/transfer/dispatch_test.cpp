// The received-packet dispatch, the downloads and uploads and the link
// commands, driven through a fake control that plays the receiver.
#include "tests/main/transfer/drive.h"

#include "main/app/frm_info.h"
#include "main/realtime/realtime.h"
#include "main/table/table.h"

#include <gtest/gtest.h>

#include <algorithm>

using apptest::Drive;
using apptest::Rig;

namespace {

brenvik::cWaypoint waypoint(const std::string& ident, double lat, double lon)
{
    brenvik::cWaypoint w;
    w.Ident = ident;
    w.Lat = lat;
    w.Lon = lon;
    return w;
}

} // namespace

TEST(Download, WaypointsFillTheTableInThePartsFormsAndHoldTheLinkUntilTheEnd)
{
    Drive d;
    d.main.frmInfo().lblGPSDesc1.caption = "eTrex Vista Software Version 3.70";
    d.play("Request_Waypoints", 2,
           {{"PID_Wpt_Data",
             [&] {
                 d.garmin.waypoint = waypoint("HOME", 47.5, -0.125);
                 d.garmin.waypoint.Cmnt = "left; right";
                 d.garmin.waypoint.Alt = 100;
                 d.garmin.waypoint.Dpth = 1.0e25f;
                 d.garmin.waypoint.Temp = 12.34f;
             }},
            {"PID_Wpt_Data", [&] { d.garmin.waypoint = waypoint("CAMP", 0.5, 8); }}});
    d.main.state().unit = "Feet";
    transfer::mnuWDownload_Click(d.main);
    ASSERT_EQ(d.main.MSFlexGrid1.Rows(), 3);
    EXPECT_EQ(d.cell(1, "ident"), "HOME");
    EXPECT_EQ(d.cell(1, "lat"), "47.50000000");
    EXPECT_EQ(d.cell(1, "long"), "-.12500000");
    EXPECT_EQ(d.cell(2, "lat"), ".50000000");
    EXPECT_EQ(d.cell(1, "comment"), "left; right"); // whole, nothing shifted
    EXPECT_EQ(d.cell(1, "altitude"), "328");
    EXPECT_EQ(d.cell(1, "depth"), "0");
    EXPECT_EQ(d.cell(1, "temp"), "12.3");
    EXPECT_EQ(d.cell(1, "model"), "eTrex Vista"); // the insert trims the blank
    // The link stays held while rows arrive and is free after the end.
    EXPECT_EQ(d.busy_while_rows, (std::vector<bool>{true, true}));
    EXPECT_FALSE(d.s().transfer_busy);
    EXPECT_TRUE(d.s().transfer_complete);
    EXPECT_EQ(d.s().last_record_pid, 0);
    EXPECT_EQ(d.texts(), (std::vector<std::string>{"Received 2 records."}));
    EXPECT_EQ(d.main.StatusBar1[1], "Received 2 of 2 waypoints");
    EXPECT_TRUE(d.main.MSFlexGrid1.Redraw());
    EXPECT_EQ(d.projections->tables, 1);
}

TEST(Download, D103SymbolsAreLookedUpAndAMissingOneDropsOnlyItsRow)
{
    Drive d;
    d.garmin.names["Waypoint_Data_Format"] = "D103";
    d.play("Request_Waypoints", 2,
           {{"PID_Wpt_Data", [&] { d.garmin.waypoint.Smbl = 3; }},
            {"PID_Wpt_Data", [&] { d.garmin.waypoint.Smbl = 40; }}});
    transfer::mnuWDownload_Click(d.main);
    EXPECT_EQ(d.cell(1, "symbol"), "170");
    EXPECT_EQ(d.main.MSFlexGrid1.Rows(), 2);
    ASSERT_GE(d.dialogs.boxes().size(), 3u);
    EXPECT_EQ(d.dialogs.boxes()[0].title, "frmMain.Receive_Waypoint");
    EXPECT_EQ(d.dialogs.boxes().back().text,
              "Error - Record counts don't match\r\nGPS claims to have sent 2 records.");
}

TEST(Download, TrackHeadersCountInTheTotalButMakeNoRow)
{
    Drive d;
    d.play("Request_Tracks", 3,
           {{"PID_Trk_Hdr", nullptr},
            {"PID_Trk_Data",
             [&] {
                 d.garmin.track.Alt = 123.456f;
                 d.garmin.track.New_Segment = true;
                 d.garmin.track.Time = "2006/09/05-07:03:09";
             }},
            {"PID_Trk_Data", [&] { d.garmin.track.New_Segment = false; }}});
    transfer::mnuTDownload_Click(d.main);
    EXPECT_EQ(d.main.MSFlexGrid1.Rows(), 3);
    EXPECT_EQ(d.cell(1, "altitude"), "123.456001281738");
    EXPECT_TRUE(flxgrd::Table::Value_IsTrue(d.cell(1, "new_seg")));
    EXPECT_FALSE(flxgrd::Table::Value_IsTrue(d.cell(2, "new_seg")));
    EXPECT_EQ(d.main.StatusBar1[1], "Received 2 of 2 track points");
    EXPECT_EQ(d.texts(), (std::vector<std::string>{"Received 2 records."}));
}

TEST(Download, RoutesHalveTheirCountAndA200UnitsCountHeadersInstead)
{
    Drive d;
    d.garmin.names["Route_Header_Format"] = "D201";
    auto header = [&] {
        d.garmin.route.Number = 5;
        d.garmin.route.Cmnt = "TO LAKE";
    };
    d.play("Request_Routes", 7,
           {{"PID_Rte_Hdr", header},
            {"PID_Rte_Wpt_Data", nullptr},
            {"PID_Rte_Link", nullptr},
            {"PID_Rte_Wpt_Data", nullptr},
            {"PID_Rte_Link", nullptr},
            {"PID_Rte_Wpt_Data", nullptr}});
    transfer::mnuRDownload_Click(d.main);
    EXPECT_TRUE(flxgrd::Table::Value_IsTrue(d.cell(1, "new_seg")));
    EXPECT_FALSE(flxgrd::Table::Value_IsTrue(d.cell(2, "new_seg")));
    EXPECT_EQ(d.cell(1, "rnumber"), "5");
    EXPECT_EQ(d.cell(1, "rident"), "TO LAKE");
    EXPECT_EQ(d.cell(1, "type"), "Route");
    EXPECT_EQ(d.main.StatusBar1[1], "Received 3 of 3.5 route points");
    EXPECT_EQ(d.dialogs.boxes().back().text,
              "Error - Record counts don't match\r\nGPS claims to have sent 4 records.");

    // A200: two routes, no links; each header counts once, nothing halves.
    Drive a;
    a.garmin.names["Route_Transfer_Protocol"] = "A200";
    a.play("Request_Routes", 5,
           {{"PID_Rte_Hdr", nullptr},
            {"PID_Rte_Wpt_Data", nullptr},
            {"PID_Rte_Wpt_Data", nullptr},
            {"PID_Rte_Hdr", nullptr},
            {"PID_Rte_Wpt_Data", nullptr}});
    transfer::mnuRDownload_Click(a.main);
    EXPECT_EQ(a.main.StatusBar1[1], "Received 3 of 3 route points");
    EXPECT_EQ(a.texts(), (std::vector<std::string>{"Received 3 records."}));
}

TEST(Download, SilenceOrAMissingProtocolEndsTheTransferAndTheNextOneRuns)
{
    Drive d;
    d.garmin.on["Request_Tracks"] = [&] {
        d.garmin.incoming = 5;
        d.garmin.receive(d.id("PID_Records"));
        d.garmin.receive(d.id("PID_Trk_Data"));
        d.garmin.error(0, "No response from device");
    };
    transfer::mnuTDownload_Click(d.main);
    EXPECT_FALSE(d.s().transfer_busy);
    EXPECT_TRUE(d.s().transfer_complete);
    EXPECT_EQ(d.s().last_record_pid, 0);
    EXPECT_EQ(d.main.StatusBar1[1], "No response from device");
    EXPECT_EQ(d.main.MSFlexGrid1.Rows(), 2); // the row stays
    EXPECT_TRUE(d.dialogs.boxes().empty());

    d.garmin.on["Request_Tracks"] = [&] { d.garmin.error(0, "GPS model/version does not support Tracks"); };
    transfer::mnuTDownload_Click(d.main); // does not wait for ever
    EXPECT_FALSE(d.s().transfer_busy);
    EXPECT_EQ(d.main.StatusBar1[1], "GPS model/version does not support Tracks");
}

TEST(Download, SpannerModeAndRealTimeStopTheCommands)
{
    Drive d;
    d.garmin.names["WayPoint_Transfer_Protocol"] = "    ";
    transfer::mnuWDownload_Click(d.main);
    ASSERT_EQ(d.dialogs.boxes().size(), 1u);
    EXPECT_EQ(d.dialogs.boxes()[0].text.substr(0, 56), "Your GPS is in SPANNER mode.  To Upload/Download data:\r\n");
    EXPECT_FALSE(d.s().transfer_busy);
    EXPECT_EQ(d.count("garmin.Request_Waypoints"), 0);
    d.s().real_time = true;
    transfer::mnuTDownload_Click(d.main);
    transfer::mnuRDownload_Click(d.main);
    EXPECT_EQ(d.dialogs.boxes().size(), 1u);
}

TEST(Dispatch, EdgeCasesOfTheOrder)
{
    Drive d;
    // A baud reply keeps its bytes as they stand.
    d.garmin.receive(d.id("PID_Baud_Reply"), {0x00, 0xC2, 0x01, 0x00});
    EXPECT_EQ(d.s().reported_baud_rate, 115200);
    // Ack of a waypoint with the link free ends the records.
    d.garmin.ack("PID_Wpt_Data");
    EXPECT_EQ(d.count("garmin.End_of_Records"), 1);
    // The ack of the transfer-complete packet sets the complete flag.
    d.s().transfer_complete = false;
    d.garmin.ack("PID_Xfer_Cmplt");
    EXPECT_TRUE(d.s().transfer_complete);
    // 248 is never a record, whatever the control's identifiers say.
    d.garmin.ids["PID_Wpt_Data"] = 248;
    d.garmin.receive(248);
    EXPECT_EQ(d.main.MSFlexGrid1.Rows(), 2);
    // Nothing is read while the unit talks NMEA.
    d.main.frmInfo().lblProductID.caption = "NMEA";
    d.garmin.receive(d.id("PID_Baud_Reply"), {1, 0, 0, 0});
    EXPECT_EQ(d.s().reported_baud_rate, 115200);
}

TEST(Dispatch, ControlErrorsByLevel)
{
    Drive d;
    d.s().transfer_running = d.s().transfer_busy = true;
    d.dialogs.answer(platform::vbRetry);
    d.garmin.error(2, "Unable to communicate with device");
    EXPECT_EQ(d.dialogs.boxes()[0].style, platform::vbRetryCancel);
    EXPECT_EQ(d.count("garmin.Send(0)"), 1);
    EXPECT_TRUE(d.s().transfer_busy);
    d.dialogs.answer(platform::vbCancel);
    d.garmin.error(2, "Unable to communicate with device");
    EXPECT_FALSE(d.s().transfer_busy);
    EXPECT_EQ(d.main.StatusBar1[0], "Not Connected");
    EXPECT_EQ(d.count("garmin.PortClose"), 1);

    d.dialogs.answer(platform::vbOK);
    d.garmin.error(3, "Invalid message received from device");
    EXPECT_EQ(d.count("garmin.Reset"), 0);
    d.dialogs.answer(platform::vbCancel);
    d.garmin.error(3, "Invalid message received from device");
    EXPECT_EQ(d.count("garmin.Reset"), 1);

    std::int16_t level = 4;
    d.dialogs.answer(platform::vbRetry);
    d.main.transfer().garmin_cError(level, "x", {});
    EXPECT_EQ(level, platform::vbRetry);
    const auto boxes = d.dialogs.boxes().size();
    d.garmin.error(0, "quiet");
    EXPECT_EQ(d.dialogs.boxes().size(), boxes);
}

namespace {

// A table of `type` with the rows given as ";" texts in the stored order.
void rows(Rig& r, const char* type, std::initializer_list<const char*> texts)
{
    r.main.state().record_type = type;
    r.main.table().Table_SetType(type);
    for (const char* t : texts) r.main.table().Records_Insert(t, "", "", ";", false);
}

// The serial receiver: every record, header, link and transfer-complete
// packet is acknowledged.
void acknowledge_all(apptest::FakeGarmin& g)
{
    for (auto [send, pid] : {std::pair<const char*, const char*>{"Start_of_Records", "PID_Records"},
                             {"Send_Waypoint", "PID_Wpt_Data"},
                             {"Send_Track_Header", "PID_Trk_Hdr"},
                             {"Send_Track", "PID_Trk_Data"},
                             {"Send_Route_Header", "PID_Rte_Hdr"},
                             {"Send_Route_Waypoint", "PID_Rte_Wpt_Data"},
                             {"Send_Route_Link", "PID_Rte_Link"},
                             {"End_of_Records", "PID_Xfer_Cmplt"}}) {
        std::string p = pid;
        g.on[send] = [&g, p] { g.ack(p); };
    }
    g.on["Start_of_Records(2)"] = g.on["Start_of_Records"];
}

} // namespace

TEST(Upload, SerialWaypointsGoOneAckAtATimeWithThePartsConversions)
{
    Drive d;
    d.s().unit = "Feet";
    rows(d, "waypoint", {"WAYPOINT;;10.5;20.25;0;0;hi;1;;0;100;0;0;100;100;5", "WAYPOINT;B;-90;-180"});
    acknowledge_all(d.garmin);
    for (int n : {2}) d.garmin.on["Start_of_Records(" + std::to_string(n) + ")"] = [&] { d.garmin.ack("PID_Records"); };
    transfer::mnuWUpload_Click(d.main);
    ASSERT_EQ(d.garmin.sent_waypoints.size(), 2u);
    const brenvik::cWaypoint& w = d.garmin.sent_waypoints[0];
    EXPECT_EQ(w.Ident, "WPT1");
    EXPECT_EQ(w.Smbl, 18);
    EXPECT_FLOAT_EQ(w.Alt, 30.48f);
    EXPECT_FLOAT_EQ(w.Dist, 30.48f);
    EXPECT_FLOAT_EQ(w.Temp, 5);
    EXPECT_EQ(d.count("garmin.Start_of_Records(2)"), 1);
    EXPECT_EQ(d.count("garmin.End_of_Records"), 1);
    EXPECT_EQ(d.texts().back(), "Transfer Complete. 2 Waypoints uploaded.");
    EXPECT_FALSE(d.s().transfer_busy);
    EXPECT_TRUE(d.s().transfer_complete);
}

TEST(Upload, TwoRoutesGoAsHeaderPointsLinksAndOneHeaderEach)
{
    Drive d;
    d.garmin.port = 0; // USB road: one loop
    rows(d, "route", {"Route;A;1;1;0;0;True;1;R1", "Route;B;2;2;0;0;False;1;R1", "Route;C;3;3;0;0;True;2;R2"});
    transfer::mnuRUpload_Click(d.main);
    std::vector<std::string> sent;
    for (const auto& e : d.log)
        if (e == "garmin.Send_Route_Header" || e == "garmin.Send_Route_Waypoint" || e == "garmin.Send_Route_Link")
            sent.push_back(e.substr(18));
    EXPECT_EQ(sent, (std::vector<std::string>{"Header", "Waypoint", "Link", "Waypoint", "Header", "Waypoint"}));
    EXPECT_EQ(d.count("garmin.Start_of_Records(6)"), 1);
    EXPECT_EQ(d.count("garmin.End_of_Records"), 1);
    EXPECT_EQ(d.garmin.sent_routes[2].Ident, "R2");
    EXPECT_EQ(d.texts().back(), "Transfer Complete.  A Route consisting of 3 points has been uploaded.");
}

TEST(Upload, TheFirstRowThatCannotGoEndsTheTransferOnce)
{
    Drive d;
    d.garmin.port = 0;
    rows(d, "waypoint", {"WAYPOINT;A;1;1", "WAYPOINT;B;90.0001;1", "WAYPOINT;C;1;1"});
    transfer::mnuWUpload_Click(d.main);
    EXPECT_EQ(d.texts(), (std::vector<std::string>{"Lat/Long values out of range in record 2",
                                                   "Transfer Complete. 1 Waypoints uploaded."}));
    EXPECT_EQ(d.count("garmin.End_of_Records"), 1);

    // An overflowing cell on the serial road: no stall.
    Drive s;
    rows(s, "waypoint", {"WAYPOINT;A;1;1;0;0;;99999"});
    acknowledge_all(s.garmin);
    s.garmin.on["Start_of_Records(1)"] = [&] { s.garmin.ack("PID_Records"); };
    transfer::mnuWUpload_Click(s.main);
    EXPECT_EQ(s.dialogs.boxes()[0].text, "Error #6 - Overflow");
    EXPECT_EQ(s.dialogs.boxes()[0].title, "frmMain.Send_Waypoint");
    EXPECT_EQ(s.texts().back(), "Transfer Complete. 0 Waypoints uploaded.");
    EXPECT_FALSE(s.s().transfer_busy);
}

TEST(Upload, TracksCarryTheirTimesAndClearedRecords)
{
    Drive d;
    d.garmin.port = 0;
    d.garmin.track.Seconds = 777;
    rows(d, "track", {"TRACK;;1;2;0;0;True;True;3", "TRACK;;1;2;0;0;False"});
    d.main.MSFlexGrid1.SetTextMatrix(1, d.main.table().Column_Find("time", true), "2006/09/05-07:03:09");
    transfer::mnuTUpload_Click(d.main);
    ASSERT_EQ(d.garmin.sent_tracks.size(), 3u); // header, two points
    EXPECT_EQ(d.garmin.sent_tracks[0].Ident, "ACTIVE LOG");
    EXPECT_EQ(d.garmin.sent_tracks[1].Time, "2006/09/05-07:03:09");
    EXPECT_EQ(d.garmin.sent_tracks[1].Seconds, 0);
    EXPECT_TRUE(d.garmin.sent_tracks[1].New_Segment);

    Drive n;
    n.garmin.names["Track_Transfer_Protocol"] = "    ";
    rows(n, "track", {"TRACK;;1;2"});
    transfer::mnuTUpload_Click(n.main);
    EXPECT_EQ(n.texts(), (std::vector<std::string>{"This model does not support Track transfers."}));
    EXPECT_FALSE(n.s().transfer_busy);
}

TEST(Upload, ResetFreesAStalledSerialUpload)
{
    Drive d;
    rows(d, "waypoint", {"WAYPOINT;A;1;1"});
    transfer::mnuWUpload_Click(d.main); // nobody acknowledges
    EXPECT_TRUE(d.s().transfer_busy);
    transfer::mnuReset_Click(d.main);
    EXPECT_FALSE(d.s().transfer_busy);
    EXPECT_TRUE(d.s().transfer_complete);
    EXPECT_EQ(d.count("garmin.PortOpen"), 1);
}

TEST(Ports, BaudChoices)
{
    Drive d;
    d.garmin.baud_changes = false;
    transfer::mnuBaud_Click(d.main, 5);
    EXPECT_EQ(d.texts(),
              (std::vector<std::string>{"Unable to change baud rate to 57600,N,8,1. Negotiated 9600,N,8,1"}));
    EXPECT_EQ(d.s().port_settings, "9600,N,8,1");
    EXPECT_EQ(d.settings.GetSetting("port", "Settings", ""), "9600,N,8,1");
    EXPECT_EQ(d.main.StatusBar1[1], "Set Baud Rate to 9600");

    d.garmin.found_baud = 0;
    d.s().port_settings = "19200,N,8,1";
    transfer::mnuBaud_Click(d.main, 6);
    EXPECT_EQ(d.s().port_settings, "19200,N,8,1"); // no rate found: left as it was

    const auto calls = d.log.size();
    d.s().port_settings = "9600,N,8,1";
    transfer::mnuBaud_Click(d.main, 0);
    EXPECT_EQ(d.s().port_settings, "4800,N,8,1");
    EXPECT_EQ(d.count("garmin.Change_Baud_Rate(4800)"), 0);
    (void)calls;

    transfer::mnuClose_Click(d.main);
    EXPECT_EQ(d.main.StatusBar1[0], "Not Connected");
}

TEST(Info, ProductProtocolsDateAndScanning)
{
    Drive d;
    d.garmin.product.Product_ID = 96;
    d.garmin.product.Software_Version = 300;
    d.garmin.product.Product_Description_1 = "GPS 12 Software Version 3.00";
    d.garmin.receive(d.id("PID_Product_Data"));
    app::InfoWindow& info = d.main.frmInfo();
    EXPECT_EQ(info.lblProductID.caption, "PID 96");
    EXPECT_FALSE(d.s().screen_capture);
    EXPECT_EQ(info.lblFormat1.caption, "Supported Protocols: Link:L001  WPT:A100  RTE:A201  TRK:A301  PRX:      "
                                       "ALM:      DTE:      POS:      PVT:    ");
    EXPECT_EQ(info.lblFormat2.caption.size(), 80u);
    EXPECT_EQ(info.lblFormat3.caption.substr(20, 20), " Data       WPT:D110");
    d.garmin.receive(d.id("PID_Protocol_Array"));
    EXPECT_EQ(info.lblFormat1.caption.size(), 110u); // rebuilt, not appended

    d.garmin.date_time = {9, 5, 2006, 7, 3, 9};
    d.garmin.receive(d.id("PID_Date_Time"));
    EXPECT_EQ(info.lbldate.caption, "9/5/2006");
    EXPECT_EQ(info.lblTime.caption, "7:3:9");

    d.s().GPS_Scanning = true;
    d.garmin.product.Product_Description_1 = "other";
    d.garmin.receive(d.id("PID_Product_Data"));
    EXPECT_EQ(info.lblProductID.caption, "PID 96");
    ASSERT_EQ(d.s().GPS_UnitList.size(), 1u);
    d.main.garmin->Port(); // NMEA on the same port adds nothing more than one entry
    d.main.realtime().garmin_NMEA("$GPRMC,1", false);
    d.main.realtime().garmin_NMEA("$GPRMC,1", false);
    EXPECT_EQ(d.s().GPS_UnitList.size(), 1u);

    d.main.transfer().garmin_ReceiveCounts(1, 2, 3, 4);
    EXPECT_EQ(info.lblTrackPointscnt.caption, "4");
    EXPECT_EQ(info.lblProxWaypointscnt.caption, "2");
}

TEST(Download, PastTheTablesLimitOneBoxAndTheRestDroppedQuietly)
{
    Drive d;
    std::vector<std::pair<const char*, std::function<void()>>> points(32767, {"PID_Trk_Data", nullptr});
    d.play("Request_Tracks", 32767, points);
    transfer::mnuTDownload_Click(d.main);
    EXPECT_EQ(d.main.MSFlexGrid1.Rows() - 1, 32766);
    int full = 0;
    for (const auto& b : d.dialogs.boxes()) full += b.text.find("Table is Full") != std::string::npos;
    EXPECT_EQ(full, 1);
    EXPECT_EQ(d.dialogs.boxes().back().text,
              "Error - Record counts don't match\r\nGPS claims to have sent 32767 records.");
    EXPECT_FALSE(d.s().transfer_busy);
}

TEST(Upload, ARealTimeTableEndsAtOnceOnTheSerialRoadToo)
{
    Drive d;
    rows(d, "rtimewpt", {"RTIMEWPT;rt1;1;1"});
    transfer::StartUpload(d.main);
    EXPECT_EQ(d.count("garmin.Start_of_Records(1)"), 1);
    EXPECT_EQ(d.count("garmin.End_of_Records"), 1);
    EXPECT_FALSE(d.s().transfer_busy);
    EXPECT_TRUE(d.s().transfer_complete);
    EXPECT_TRUE(d.dialogs.boxes().empty());
}

TEST(RealTime, DebugTextAndSentencesMarkNmeaMode)
{
    Drive d;
    d.main.realtime().garmin_HexDebug("PID 255");
    EXPECT_FALSE(d.s().nmea_mode);
    d.main.realtime().garmin_HexDebug("$GPGGA,1");
    EXPECT_TRUE(d.s().nmea_mode);
    EXPECT_EQ(d.main.frmInfo().lblMode1.caption, "NMEA");
    d.main.realtime().garmin_NMEA("$GPRMC,1", false);
    EXPECT_EQ(d.main.frmInfo().lblProductID.caption, "NMEA");
    EXPECT_EQ(d.main.lblGPSDesc1.caption, "NMEA Mode");
    // A link error in NMEA mode offers OK only.
    d.garmin.error(1, "Unable to communicate with device");
    EXPECT_EQ(d.dialogs.boxes().back().style, platform::vbOKOnly);
}

namespace {

// The serial receiver answering a moment later, as a real one does: each
// acknowledgement arrives on the loop's next turn after the send.
void acknowledge_later(Drive& d)
{
    for (auto [send, pid] : {std::pair<const char*, const char*>{"Start_of_Records(4)", "PID_Records"},
                             {"Send_Route_Header", "PID_Rte_Hdr"},
                             {"Send_Route_Waypoint", "PID_Rte_Wpt_Data"},
                             {"Send_Route_Link", "PID_Rte_Link"},
                             {"End_of_Records", "PID_Xfer_Cmplt"}}) {
        std::string p = pid;
        d.garmin.on[send] = [&d, p] { d.pump.at(d.pump.clock().now_us() + 1000, [&d, p] { d.garmin.ack(p); }); };
    }
}

std::vector<std::string> route_records(const std::vector<std::string>& log)
{
    std::vector<std::string> sent;
    for (const auto& e : log)
        if (e == "garmin.Send_Route_Header" || e == "garmin.Send_Route_Waypoint" || e == "garmin.Send_Route_Link" ||
            e == "garmin.End_of_Records")
            sent.push_back(e.substr(e.rfind('_') + 1));
    return sent;
}

} // namespace

TEST(Ends, ATransferTheControlGivesUpOnUsbSendsNothingMoreAndShowsNoCompletion)
{
    Drive d;
    d.garmin.port = 0;
    d.garmin.on["Send_Route_Header"] = [&] { d.garmin.error(0, "GPS model/version does not support Routes"); };
    rows(d, "route", {"Route;A;1;1;0;0;True", "Route;B;2;2", "Route;C;3;3"});
    transfer::mnuRUpload_Click(d.main);
    EXPECT_TRUE(d.dialogs.boxes().empty());
    EXPECT_EQ(d.main.StatusBar1[1], "GPS model/version does not support Routes");
    EXPECT_EQ(route_records(d.log), (std::vector<std::string>{"Header"}));
    EXPECT_FALSE(d.s().transfer_busy);
    EXPECT_TRUE(d.s().transfer_complete);
    EXPECT_EQ(d.s().last_record_pid, 0);

    // A unit that never acknowledges the count: the control's report ends
    // the serial upload the same way.
    Drive s;
    s.garmin.on["Start_of_Records(1)"] = [&] { s.garmin.error(0, "No response from device"); };
    rows(s, "waypoint", {"WAYPOINT;A;1;1"});
    transfer::mnuWUpload_Click(s.main);
    EXPECT_TRUE(s.dialogs.boxes().empty());
    EXPECT_EQ(s.main.StatusBar1[1], "No response from device");
    EXPECT_FALSE(s.s().transfer_busy);
    EXPECT_FALSE(s.s().transfer_running);
    EXPECT_EQ(s.count("garmin.Send_Waypoint"), 0);
}

TEST(Ends, ATableWithoutStepsAfterACompletedUploadSendsNoRecords)
{
    Drive d;
    acknowledge_all(d.garmin);
    d.garmin.on["Start_of_Records(1)"] = [&] { d.garmin.ack("PID_Records"); };
    rows(d, "waypoint", {"WAYPOINT;A;1;1"});
    transfer::mnuWUpload_Click(d.main);
    EXPECT_EQ(d.texts(), (std::vector<std::string>{"Transfer Complete. 1 Waypoints uploaded."}));
    EXPECT_EQ(d.s().last_record_pid, 0);
    rows(d, "rtimewpt", {"RTIMEWPT;rt1;1;1"});
    transfer::StartUpload(d.main);
    EXPECT_EQ(d.count("garmin.Send_Waypoint"), 1); // the first upload's only
    EXPECT_EQ(d.count("garmin.End_of_Records"), 2);
    EXPECT_EQ(d.texts().size(), 1u);
    EXPECT_TRUE(d.s().transfer_complete);
}

TEST(Ends, ACommandThatWaitsLeavesTheRunningTransfersTypeAndFlagsAlone)
{
    // A waypoint download still receiving when Route > Download is chosen.
    Drive d;
    std::string type_at_end;
    d.garmin.on["Request_Waypoints"] = [&] {
        d.garmin.incoming = 2;
        d.garmin.receive(d.id("PID_Records"));
        const std::int64_t t = d.pump.clock().now_us();
        for (int i = 1; i <= 2; ++i) d.pump.at(t + i * 1000, [&] { d.garmin.receive(d.id("PID_Wpt_Data")); });
        d.pump.at(t + 3000, [&] {
            type_at_end = d.s().record_type;
            d.garmin.receive(d.id("PID_Xfer_Cmplt"), {d.id("CMND_Transfer_Wpt"), 0});
        });
    };
    d.play("Request_Routes", 0, {});
    transfer::mnuWDownload_Click(d.main);
    ASSERT_TRUE(d.s().transfer_running);
    transfer::mnuRDownload_Click(d.main);
    EXPECT_EQ(type_at_end, "waypoint");
    EXPECT_EQ(d.texts(), (std::vector<std::string>{"Received 2 records.", "Received 0 records."}));
    EXPECT_EQ(d.s().record_type, "route");

    // A serial route upload under way when Route > Upload is chosen again:
    // the first keeps its header and link flags and goes out whole.
    Drive u;
    acknowledge_later(u);
    rows(u, "route", {"Route;A;1;1;0;0;True", "Route;B;2;2"});
    transfer::mnuRUpload_Click(u.main);
    u.pump.advance(1500); // the count is acknowledged, the header is out
    ASSERT_EQ(route_records(u.log), (std::vector<std::string>{"Header"}));
    transfer::mnuRUpload_Click(u.main);
    u.pump.wait_until([&] { return !u.s().transfer_running; }, u.pump.clock().now_us() + 60'000'000);
    const std::vector<std::string> one{"Header", "Waypoint", "Link", "Waypoint", "Records"};
    std::vector<std::string> both = one;
    both.insert(both.end(), one.begin(), one.end());
    EXPECT_EQ(route_records(u.log), both);
    EXPECT_EQ(u.texts(), (std::vector<std::string>(2, "Transfer Complete.  A Route consisting of 2 points has been "
                                                      "uploaded.")));
}

TEST(Ends, TheUploadResetsTheSelectionToTheFirstCell)
{
    Drive d;
    d.garmin.port = 0;
    rows(d, "waypoint", {"WAYPOINT;A;1;1", "WAYPOINT;B;2;2", "WAYPOINT;C;3;3"});
    platform::Grid& g = d.main.MSFlexGrid1;
    g.SetRow(3);
    g.SetCol(4);
    g.SetColSel(5);
    transfer::mnuWUpload_Click(d.main);
    EXPECT_EQ((std::array<int, 4>{g.Row(), g.Col(), g.RowSel(), g.ColSel()}), (std::array<int, 4>{1, 1, 1, 1}));
    EXPECT_EQ(d.main.StatusBar1[2], "0 of 3 Selected");
    EXPECT_EQ(d.garmin.sent_waypoints.size(), 3u);
}
