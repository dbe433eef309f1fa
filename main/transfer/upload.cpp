// The upload: table rows into the control's record objects, one step per
// record. The serial road sends the next record on each acknowledgement
// (from the dispatch), the control's USB road in one loop, and a
// mass-storage unit gets one GPX file.
#include "main/transfer/transfer.h"

#include "main/app/frm_main.h"
#include "main/coords/coords.h"
#include "main/files/files.h"
#include "main/table/table.h"
#include "main/transfer/garmin_usb.h"
#include "platform/automation/vb_error.h"
#include "platform/text/vb.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialogs.h"

#include <cfloat>
#include <cmath>
#include <functional>

namespace transfer {

namespace vb = platform::vb;

namespace {

constexpr double kFoot = 0.3048;

[[noreturn]] void overflow() { throw platform::VbError(6, "", "Overflow"); }

// The upload's view of one table row: cells by field name.
class Row {
public:
    Row(app::frmMain& main, int row) : main_(main), row_(row) {}
    std::string text(const char* field) const
    {
        const int col = main_.table().Column_Find(field, true);
        const platform::Grid& g = main_.MSFlexGrid1;
        if (col < 1 || col >= g.Cols() || row_ < 1 || row_ >= g.Rows()) return {};
        return g.TextMatrix(row_, col);
    }
    double val(const char* field) const { return vb::Val(text(field)); }
    std::int16_t int16(const char* field) const { return vb::CInt(val(field)); }
    std::int32_t int32(const char* field) const { return vb::CLng(val(field)); }
    std::uint8_t byte(const char* field) const
    {
        const double r = std::nearbyint(val(field));
        if (!(r >= 0 && r <= 255)) overflow();
        return static_cast<std::uint8_t>(r);
    }
    float single(const char* field) const { return to_single(val(field)); }
    // A height, depth or distance in metres from the units setting.
    float metres(const char* field) const
    {
        const double v = val(field);
        return to_single(vb::LCase(main_.state().unit) == "meters" ? v : v * kFoot);
    }
    bool is_true(const char* field) const { return flxgrd::Table::Value_IsTrue(text(field)); }
    int number() const { return row_; }

private:
    static float to_single(double v)
    {
        if (std::fabs(v) > FLT_MAX) overflow();
        return static_cast<float>(v);
    }
    app::frmMain& main_;
    int row_;
};

app::GarminControl& gps(app::frmMain& main) { return *main.garmin; }

// The first row that cannot be sent ends the transfer: one box, one
// End_of_Records; the completion box then counts what went.
void stop_upload(app::frmMain& main)
{
    main.state().upload_stopped = true;
    gps(main).End_of_Records();
}

// Runs one step; a failure while the record is filled sends nothing and
// ends the upload.
void step(app::frmMain& main, const char* procedure, const std::function<void()>& body)
{
    bool done = false;
    main.run_trapped(procedure, [&] {
        body();
        done = true;
    });
    if (!done) stop_upload(main);
}

// Turns a cursor of 0 into 1; true (after End_of_Records) when the cursor
// stands past the last row to send.
bool past_the_last_row(app::frmMain& main)
{
    app::AppState& s = main.state();
    if (s.upload_cursor == 0) s.upload_cursor = 1;
    if (s.upload_cursor != s.last_selected_row + 1) return false;
    gps(main).End_of_Records();
    return true;
}

bool in_range(app::frmMain& main, const Row& row)
{
    const double lat = row.val("lat");
    const double lon = row.val("long");
    if (lat >= -90 && lat <= 90 && lon >= -180 && lon <= 180) return true;
    main.dialogs().MsgBox("Lat/Long values out of range in record " + std::to_string(row.number()),
                          platform::vbCritical);
    stop_upload(main);
    return false;
}

std::int16_t symbol(app::frmMain& main, const Row& row)
{
    std::string cell = row.text("symbol");
    if (cell.empty()) return 18;
    if (vb::LCase(gps(main).Waypoint_Data_Format()) == "d103") {
        const std::int32_t* index = main.state().d103_symbols.Find(cell);
        return index ? static_cast<std::int16_t>(*index) : 0;
    }
    return vb::CInt(vb::Val(cell));
}

// Fills the control's waypoint from the cursor row, from a cleared record.
void fill_waypoint(app::frmMain& main, const Row& r)
{
    brenvik::cWaypoint w;
    w.Ident = r.text("ident");
    if (w.Ident.empty()) w.Ident = "WPT" + std::to_string(r.number());
    w.Lat = r.val("lat");
    w.Lon = r.val("long");
    w.Cmnt = r.text("comment");
    w.Dspl = r.int16("display");
    w.Smbl = symbol(main, r);
    w.Unused1 = r.int32("unused1");
    w.Prox_Index = r.int16("prox_index");
    w.Color = r.int32("color");
    w.Dist = r.metres("dist");
    w.Alt = r.metres("altitude");
    w.Dpth = r.metres("depth");
    w.Temp = r.single("temp");
    w.Wpt_Class = r.int16("wpt_class");
    w.Sub_Class = vb::CStr(r.val("sub_class"));
    w.Attrib = r.int16("attrib");
    w.Link = r.text("link");
    w.State = r.text("state");
    w.Country = r.text("country");
    w.City = r.text("city");
    w.Address = r.text("address");
    w.Facility = r.text("facility");
    w.Cross_Road = r.text("crossroad");
    w.Unused2 = r.int32("unused2");
    w.Ete = r.int32("ete");
    w.Dtype = r.int16("dtype");
    w.Time = r.text("time");
    gps(main).Waypoint() = std::move(w);
}

void count_sent(app::frmMain& main)
{
    app::AppState& s = main.state();
    ++s.record_counter;
    ++s.upload_cursor;
    main.Set_Msg("Uploaded " + std::to_string(s.record_counter) + " of " + std::to_string(s.expected_record_count));
}

void track_header(app::frmMain& main, const Row& r)
{
    brenvik::cTrack& t = gps(main).Track();
    t.Clear();
    t.Ident = "ACTIVE LOG";
    const std::string display = r.text("display");
    t.Dspl = display.empty() ? true : flxgrd::Table::Value_IsTrue(display) || vb::Val(display) != 0;
    t.Color = r.byte("color");
    gps(main).Send_Track_Header();
}

bool values_valid(app::frmMain& main, const char* a, const char* b)
{
    const app::AppState& s = main.state();
    const platform::Grid& g = main.MSFlexGrid1;
    const int cols[] = {main.table().Column_Find(a, true), main.table().Column_Find(b, true)};
    const int first = s.selection_count > 0 ? s.first_selected_row : 1;
    const int last = s.selection_count > 0 ? s.last_selected_row : g.Rows() - 1;
    for (int c : cols)
        if (c < 1 || c >= g.Cols()) return false;
    for (int row = first; row <= last && row < g.Rows(); ++row)
        for (int c : cols) {
            const std::string v = vb::Trim(g.TextMatrix(row, c));
            if (v.empty() || !vb::IsNumeric(v)) return false;
        }
    return true;
}

std::string completion_text(const std::string& type, std::int32_t n)
{
    const std::string count = std::to_string(n);
    if (type == "waypoint") return "Transfer Complete. " + count + " Waypoints uploaded.";
    if (type == "track") return "Transfer Complete.  A Track consisting of " + count + " points has been uploaded.";
    if (type == "route") return "Transfer Complete.  A Route consisting of " + count + " points has been uploaded.";
    return {};
}

// The USB road: every record in one loop, then the transfer's end. The
// loop ends early when a row cannot be sent, or when the control gave up
// on the transfer (an unsupported kind, no response): that abandons it,
// and nothing more is sent or announced.
void usb_loop(app::frmMain& main, int count)
{
    app::AppState& s = main.state();
    app::GarminControl& g = gps(main);
    auto going = [&] { return s.transfer_running && !s.upload_stopped; };
    for (int i = 1; i <= count && going(); ++i) {
        if (s.record_type == "waypoint") {
            Send_Waypoint(main);
        } else if (s.record_type == "track") {
            if (!vb::Trim(g.Track_Header_Format()).empty()) {
                if (s.upload_cursor == 0) s.upload_cursor = 1;
                const Row row(main, s.upload_cursor);
                if (s.upload_cursor <= s.last_selected_row && row.is_true("new_seg")) {
                    bool sent = false;
                    step(main, "Send_Track_Point", [&] {
                        track_header(main, row);
                        sent = true;
                    });
                    if (!sent) break;
                }
            }
            Send_Track_Point(main);
        } else if (s.record_type == "route") {
            Send_Route_Point(main);
        }
    }
    if (!s.transfer_running) return;
    if (!s.upload_stopped) g.End_of_Records();
    s.transfer_finished = !s.upload_stopped;
    s.transfer_busy = false;
    main.cursor().hourglass(false);
    const std::string box = completion_text(s.record_type, s.record_counter);
    if (!box.empty()) main.dialogs().MsgBox(box);
}

void mass_storage(app::frmMain& main)
{
    app::AppState& s = main.state();
    const std::string folder = s.GPS_MassStorageUnit->UploadLocation;
    // A description without an upload folder (or with one outside the
    // unit, which was refused) leaves nowhere to write on the unit.
    if (folder.empty()) {
        main.dialogs().MsgBox("This unit has no upload folder.  Nothing was uploaded.");
        return;
    }
    const std::string name = vb::Format(vb::Now(), "yyyymmdd-hhnnss") + ".gpx";
    const std::string path = folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
    s.transfer_finished = files::GPXFile_Save(main, path, false);
    if (s.transfer_finished)
        main.dialogs().MsgBox("Transfer Complete. " + std::to_string(s.expected_record_count) + " " + s.record_type +
                              " points uploaded.");
}

// Steps 1 to 8 of the upload; true when the serial road goes on in the
// dispatch (the transfer is then still running). The route command's type
// and flags change only after the wait, so a transfer still running ends
// with its own.
bool start(app::frmMain& main, bool route)
{
    app::AppState& s = main.state();
    if (!Transfer_WaitIdle(main)) return false;
    if (route) {
        s.record_type = "route";
        s.route_header = false;
        s.route_link = false;
    }
    s.transfer_busy = true;
    s.transfer_complete = false;
    s.transfer_finished = false;
    s.transfer_running = true;
    s.upload_stopped = false;
    main.cursor().hourglass(true);

    s.record_counter = 0;
    s.upload_cursor = s.first_selected_row;
    if (s.selection_count < 1) {
        s.expected_record_count = main.MSFlexGrid1.Rows() - 1;
        main.table().Selection_Clear();
    } else {
        s.expected_record_count = s.last_selected_row - s.first_selected_row + 1;
    }

    if (!values_valid(main, "lat", "long")) {
        if (!values_valid(main, "y_proj", "x_proj")) {
            main.dialogs().MsgBox(
                "Lat/Long fields must contain valid values.  Please set Lat/Long values and try again.");
            return false;
        }
        if (main.dialogs().MsgBox("Lat/Long fields must contain valid values.  Would you like the Lat/Long to be "
                                  "generated from your projected XY values?",
                                  platform::vbYesNo) != platform::vbYes)
            return false;
        if (!main.coords().Project_Table(false)) return false;
    }

    if (s.GPS_MassStorageUnit) {
        mass_storage(main);
        return false;
    }
    if (!main.garmin || !GPS_CheckTransferMode(main)) return false;
    s.transfer_busy = true;

    app::GarminControl& g = gps(main);
    int count = s.expected_record_count;
    bool known_type = true;
    if (s.record_type == "waypoint") {
        s.last_record_pid = g.PID_Wpt_Data();
    } else if (s.record_type == "track") {
        if (vb::Trim(g.Track_Transfer_Protocol()).empty()) {
            main.dialogs().MsgBox("This model does not support Track transfers.");
            return false;
        }
        s.last_record_pid = g.PID_Trk_Data();
    } else if (s.record_type == "route") {
        s.last_record_pid = g.PID_Rte_Wpt_Data();
        count *= 2;
    } else {
        known_type = false;
    }
    g.Start_of_Records(vb::CInt(static_cast<double>(count)));
    // A table of another kind has no steps: it ends at once on both roads.
    if (g.Port() != 0 && known_type) return s.transfer_running;
    if (known_type) usb_loop(main, count);
    else {
        g.End_of_Records();
        s.transfer_busy = false;
    }
    return false;
}

} // namespace

namespace {

void start_upload(app::frmMain& main, bool route)
{
    app::AppState& s = main.state();
    bool running = false;
    main.run_trapped("StartUpload", [&] { running = start(main, route); });
    if (running) return;
    main.cursor().hourglass(false);
    s.transfer_busy = false;
    s.transfer_complete = true;
    s.transfer_running = false;
    s.last_record_pid = 0;
}

} // namespace

void StartUpload(app::frmMain& main) { start_upload(main, false); }

void Send_Waypoint(app::frmMain& main)
{
    step(main, "Send_Waypoint", [&] {
        if (past_the_last_row(main)) return;
        const Row row(main, main.state().upload_cursor);
        if (!in_range(main, row)) return;
        fill_waypoint(main, row);
        count_sent(main);
        gps(main).Send_Waypoint();
    });
}

void Send_Track_Point(app::frmMain& main)
{
    step(main, "Send_Track_Point", [&] {
        if (past_the_last_row(main)) return;
        const Row r(main, main.state().upload_cursor);
        if (!in_range(main, r)) return;
        brenvik::cTrack t;
        t.New_Segment = r.is_true("new_seg");
        t.Lat = r.val("lat");
        t.Lon = r.val("long");
        // The cell's whole text ("yyyy/mm/dd-hh:mm:ss"): the control reads
        // the point's time from it.
        t.Time = r.text("time");
        t.Alt = r.metres("altitude");
        t.Dpth = r.metres("depth");
        t.Temp = r.single("temp");
        gps(main).Track() = std::move(t);
        count_sent(main);
        gps(main).Send_Track();
    });
}

void Send_Track_Header(app::frmMain& main)
{
    bool point = false;
    step(main, "Send_Track_Point", [&] {
        if (vb::Trim(gps(main).Track_Header_Format()).empty()) {
            point = true;
            return;
        }
        app::AppState& s = main.state();
        if (s.upload_cursor == 0) s.upload_cursor = 1;
        track_header(main, Row(main, s.upload_cursor));
    });
    if (point) Send_Track_Point(main);
}

void Send_Route_Header(app::frmMain& main)
{
    const Row r(main, main.state().upload_cursor);
    brenvik::cRoute& route = gps(main).Route();
    route.Clear();
    route.Ident = r.text("rident");
    route.Number = r.int16("rnumber");
    route.Cmnt = r.text("rcmnt");
    gps(main).Send_Route_Header();
}

void Send_Route_Point(app::frmMain& main)
{
    step(main, "Send_Route_Point", [&] {
        if (past_the_last_row(main)) return;
        app::AppState& s = main.state();
        const Row r(main, s.upload_cursor);
        // A row starting a route gets its header once, in place of the link
        // that would otherwise join it to the route before.
        if (!s.route_header && r.is_true("new_seg")) {
            s.route_header = true;
            s.route_link = false;
            Send_Route_Header(main);
            return;
        }
        s.route_header = false;
        if (!s.route_link) {
            fill_waypoint(main, r);
            s.route_link = true;
            count_sent(main);
            gps(main).Send_Route_Waypoint();
        } else {
            brenvik::cRoute& route = gps(main).Route();
            route.Link_Class = 3;
            route.Link_Ident.clear();
            route.Link_Sub_Class.clear();
            s.route_link = false;
            gps(main).Send_Route_Link();
        }
    });
}

void mnuWUpload_Click(app::frmMain& main) { StartUpload(main); }
void mnuTUpload_Click(app::frmMain& main) { StartUpload(main); }

void mnuRUpload_Click(app::frmMain& main) { start_upload(main, true); }

} // namespace transfer
