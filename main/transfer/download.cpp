// The download commands and the converters that turn the control's record
// objects into table rows.
#include "main/transfer/transfer.h"

#include "main/app/frm_info.h"
#include "main/app/frm_main.h"
#include "main/files/files.h"
#include "main/table/table.h"
#include "main/transfer/garmin_usb.h"
#include "platform/automation/vb_error.h"
#include "platform/events/events.h"
#include "platform/text/vb.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialogs.h"

#include <cmath>

namespace transfer {

namespace vb = platform::vb;

namespace {

// Receivers mark a missing measurement with a huge value.
constexpr double kNoValue = 1000000000.0;
constexpr double kFoot = 0.3048;
// The table's last row number: further records are dropped.
constexpr int kMaxRecords = 32766;
// Values go into their columns whole: a ";" inside a receiver text must
// not split it, so rows travel with a separator texts cannot hold.
constexpr const char* kRowSeparator = "\x1f";

bool in_meters(const app::AppState& s) { return vb::LCase(s.unit) == "meters"; }

double measure(double v) { return v > kNoValue ? 0.0 : v; }

double in_units(const app::AppState& s, double metres) { return in_meters(s) ? metres : metres / kFoot; }

std::string coordinate(double v) { return vb::Format(v, "##.00000000"); }

std::string whole(double v) { return vb::CStr(std::nearbyint(v)); }

std::string tenths(double v) { return vb::CStr(vb::Val(vb::Format(v, "####.0"))); }

std::string text(std::string v)
{
    for (char& c : v)
        if (c == '\x1f') c = ' ';
    return v;
}

std::string boolean(bool v) { return v ? "True" : "False"; }

void append_row(app::frmMain& main, const std::vector<std::string>& values)
{
    app::AppState& s = main.state();
    // One "Table is Full" box per download; later records are dropped and
    // the count check reports them.
    if (s.table_full) return;
    if (main.MSFlexGrid1.Rows() - 1 >= kMaxRecords) s.table_full = true;
    std::string row;
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) row += kRowSeparator;
        row += values[i];
    }
    main.table().Records_Insert(row, "", "", kRowSeparator, false);
}

std::string route_header_text(app::GarminControl& g)
{
    const brenvik::cRoute& r = g.Route();
    std::vector<std::string> v{std::to_string(r.Number)};
    if (g.Route_Header_Format() == "D201") {
        v.push_back(text(r.Cmnt));
        v.push_back(text(r.Ident));
    } else {
        v.push_back(text(r.Ident));
        v.push_back(text(r.Cmnt));
    }
    v.push_back(std::to_string(r.Link_Class));
    v.push_back(text(r.Link_Sub_Class));
    v.push_back(text(r.Link_Ident));
    return vb::Join(v, kRowSeparator);
}

enum class Kind { Waypoint, Track, Route };

void download(app::frmMain& main, Kind kind)
{
    static const char* const kTypes[] = {"waypoint", "track", "route"};
    static const char* const kProcedures[] = {"mnuWDownload_Click", "mnuTDownload_Click", "mnuRDownload_Click"};
    static const char* const kErrors[] = {"Error Downloading Waypoints", "Error Downloading Tracks",
                                          "Error Downloading Routes"};
    const int k = static_cast<int>(kind);
    app::AppState& s = main.state();
    bool flag_set = false;
    main.run_trapped(kProcedures[k], [&] {
        // The type changes only once the running transfer has ended: that
        // transfer's end still reads its own type.
        if (!Transfer_WaitIdle(main)) return;
        s.record_type = kTypes[k];
        if (kind != Kind::Waypoint && s.real_time) return;
        if (kind != Kind::Track) flag_set = s.transfer_busy = true;
        main.cursor().hourglass(true);
        if (s.GPS_MassStorageUnit) {
            const std::string model = s.GPS_MassStorageUnit->Description;
            s.transfer_finished =
                files::GPXFile_Load(main, s.record_type, s.GPS_MassStorageUnit->DownloadLocation, model);
            main.cursor().hourglass(false);
            return;
        }
        if (!main.garmin || !GPS_CheckTransferMode(main)) return;
        main.transfer().Set_Controls(4);
        if (kind == Kind::Track) flag_set = s.transfer_busy = true;
        main.table().Table_Clear();
        if (!main.panel_open()) main.cmdAdvanced_Click();
        if (!main.table().Table_SetType(s.record_type)) {
            main.dialogs().MsgBox(kErrors[k]);
            main.cursor().hourglass(false);
            s.transfer_busy = false;
            flag_set = false;
            return;
        }
        app::Control* options[] = {&main.optWpt, &main.optTrk, &main.optRte};
        for (app::Control* c : options) c->value = (c == options[k]);
        main.changed(app::ChangeControls);
        s.transfer_complete = false;
        s.transfer_finished = false;
        s.table_full = false;
        s.record_counter = 0;
        s.route_header = false;
        // The transfer holds the link until its transfer-complete packet
        // (or its end by error, close or reset); rows arrive without a
        // repaint each.
        s.transfer_running = true;
        main.MSFlexGrid1.SetRedraw(false);
        switch (kind) {
        case Kind::Waypoint: main.garmin->Request_Waypoints(); break;
        case Kind::Track: main.garmin->Request_Tracks(); break;
        case Kind::Route: main.garmin->Request_Routes(); break;
        }
    });
    // A download that did not start (or ended already) frees the link.
    if (flag_set && !s.transfer_running) {
        s.transfer_busy = false;
        s.transfer_complete = true;
        main.MSFlexGrid1.SetRedraw(true);
    }
}

} // namespace

std::string Model_Text(app::frmMain& main)
{
    const std::string& d = main.frmInfo().lblGPSDesc1.caption;
    const std::size_t at = d.find(" Software");
    return at == std::string::npos ? std::string() : d.substr(0, at) + " ";
}

bool GPS_CheckTransferMode(app::frmMain& main)
{
    if (!vb::Trim(main.garmin->WayPoint_Transfer_Protocol()).empty()) return true;
    main.dialogs().MsgBox("Your GPS is in SPANNER mode.  To Upload/Download data:\r\n"
                          "  1) When prompted on your GPS to go to MASS STORAGE select YES  -- or -- \r\n"
                          "     Set your Garmin GPS Interface to GARMIN SERIAL\r\n"
                          "  2) In Trekfold, go to GPS --> Open Port");
    main.cursor().hourglass(false);
    return false;
}

std::vector<std::string> Waypoint_Values(app::frmMain& main)
{
    app::GarminControl& g = *main.garmin;
    const app::AppState& s = main.state();
    const brenvik::cWaypoint& w = g.Waypoint();
    std::string symbol = std::to_string(w.Smbl);
    if (vb::LCase(g.Waypoint_Data_Format()) == "d103") {
        const std::int32_t* code = s.d1xx_symbols.Find(symbol);
        if (!code) throw platform::VbError(5, "Receive_Waypoint", "Invalid procedure call or argument");
        symbol = std::to_string(*code);
    }
    return {"WAYPOINT",
            text(w.Ident),
            coordinate(w.Lat),
            coordinate(w.Lon),
            "0",
            "0",
            text(w.Cmnt),
            std::to_string(w.Dspl),
            symbol,
            std::to_string(w.Unused1),
            whole(in_units(s, measure(w.Dist))),
            std::to_string(w.Prox_Index),
            std::to_string(w.Color),
            whole(in_units(s, measure(w.Alt))),
            tenths(in_units(s, measure(w.Dpth))),
            tenths(measure(w.Temp)),
            text(w.Time),
            std::to_string(w.Wpt_Class),
            text(w.Sub_Class),
            std::to_string(w.Attrib),
            text(w.Link),
            text(w.State),
            text(w.Country),
            text(w.City),
            text(w.Address),
            text(w.Facility),
            text(w.Cross_Road),
            std::to_string(w.Unused2),
            std::to_string(w.Ete),
            std::to_string(w.Dtype),
            Model_Text(main)};
}

std::vector<std::string> Track_Values(app::frmMain& main)
{
    const app::AppState& s = main.state();
    const brenvik::cTrack& t = main.garmin->Track();
    auto height = [&](float v) {
        const double m = measure(v);
        if (in_meters(s)) return vb::CStr(static_cast<double>(static_cast<float>(m)));
        return vb::CStr(std::round(m / kFoot * 100.0) / 100.0);
    };
    return {"TRACK",           text(t.Ident), coordinate(t.Lat), coordinate(t.Lon), "0", "0",
            boolean(t.New_Segment), boolean(t.Dspl), std::to_string(t.Color), height(t.Alt), height(t.Dpth),
            tenths(measure(t.Temp)), text(t.Time), Model_Text(main)};
}

std::vector<std::string> Route_Values(app::frmMain& main)
{
    app::AppState& s = main.state();
    std::vector<std::string> w = Waypoint_Values(main);
    std::vector<std::string> row{"Route"};
    row.insert(row.end(), w.begin() + 1, w.begin() + 6);
    row.push_back(boolean(s.route_header));
    std::vector<std::string> header = vb::Split(s.route_header_text, kRowSeparator);
    header.resize(6); // no header yet: six empty values
    row.insert(row.end(), header.begin(), header.end());
    row.insert(row.end(), w.begin() + 6, w.end());
    return row;
}

void Receive_Waypoint(app::frmMain& main)
{
    main.run_trapped("Receive_Waypoint", [&] {
        main.pump().run_pending();
        append_row(main, Waypoint_Values(main));
    });
}

void Receive_Track_Point(app::frmMain& main)
{
    main.run_trapped("Receive_Track_Point", [&] {
        main.pump().run_pending();
        append_row(main, Track_Values(main));
    });
}

void Receive_Route_Header(app::frmMain& main)
{
    main.run_trapped("Receive_Route_Header", [&] {
        main.state().route_header_text = route_header_text(*main.garmin);
        main.state().route_header = true;
    });
}

void Receive_Rte_Waypoint(app::frmMain& main)
{
    main.run_trapped("Receive_Rte_Waypoint", [&] {
        main.pump().run_pending();
        std::vector<std::string> row = Route_Values(main);
        main.state().route_header = false;
        append_row(main, row);
    });
}

void mnuWDownload_Click(app::frmMain& main) { download(main, Kind::Waypoint); }
void mnuTDownload_Click(app::frmMain& main) { download(main, Kind::Track); }
void mnuRDownload_Click(app::frmMain& main) { download(main, Kind::Route); }

} // namespace transfer
