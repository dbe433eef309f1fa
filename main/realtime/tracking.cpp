// One PVT record becomes live readouts and, when it passes the tolerance
// filter, a kept point: a table row or log line, a vertex of the output
// shapefile, and a message to each GIS program that runs.
#include "main/realtime/tracking.h"

#include "main/app/frm_main.h"
#include "main/coords/coords.h"
#include "main/files/files.h"
#include "main/files/table_files.h"
#include "main/links/links.h"
#include "main/table/table.h"
#include "main/transfer/transfer.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/vb_error.h"
#include "platform/events/events.h"
#include "platform/settings/settings.h"
#include "platform/text/vb.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialogs.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>

#include <unistd.h>

namespace realtime {

namespace vb = platform::vb;
using platform::Variant;
using platform::VbError;

namespace {

// Sets a flag for the life of a scope.
struct Hold {
    bool& flag;
    explicit Hold(bool& f) : flag(f) { flag = true; }
    ~Hold() { flag = false; }
};

std::string number(double v, const char* pattern) { return vb::Format(v, pattern); }

} // namespace

Tracking::Tracking(app::frmMain& main) : main_(main), window_(main) {}

std::int64_t Tracking::clock_seconds() { return main_.pump().clock().now_us() / 1000000; }

std::string Tracking::log_path()
{
    return main_.settings().GetSetting("fields", "rtimetextloc", app::temp_folder() + "/TREKFOLD_RTLOG.TXT");
}

void Tracking::box(const std::string& procedure, int n, const std::string& description)
{
    main_.dialogs().MsgBox("Error #" + std::to_string(n) + " - " + description, platform::vbCritical,
                           "frmMain." + procedure);
}

void Tracking::Receive_Pvt_data()
{
    app::AppState& s = main_.state();
    // A record that arrives while one is handed on (the waits of the
    // date-and-time request and of the GIS hand-offs let events run) is
    // skipped, as during a transfer.
    if (s.transfer_busy || handling_ || !main_.garmin) return;
    bool stop = false;
    {
        Hold hold(handling_);
        try {
            // The fix is read once: a later record overwrites the control's.
            const brenvik::cPvtData fix = main_.garmin->PvtData();
            const bool feet = vb::LCase(s.unit) == "feet";
            const double factor = feet ? 0.3048 : 1.0;
            const char* word = feet ? "feet" : "meters";

            // Readouts, for every fix.
            main_.lbllat.caption = number(fix.Lat, "##0.00000000");
            main_.lbllon.caption = number(fix.Lon, "###0.00000000");
            double lon = fix.Lon, lat = fix.Lat, x = 0, y = 0;
            main_.coords().Project_Point(lon, lat, true, x, y);
            window_.Load();
            window_.control("lblProjX").caption = vb::CStr(x);
            window_.control("lblProjY").caption = vb::CStr(y);
            std::int32_t alt = 0;
            if (fix.Alt < 1e9f) alt = vb::CLng((double(fix.Alt) + double(fix.msl_hght)) / factor);
            main_.lblAlt.caption = std::to_string(alt) + " " + word;
            const std::string epe = number(double(fix.epe) / factor / 2, "#0.0");
            main_.lblepe.caption = epe;
            main_.changed(app::ChangeControls);

            // Stop check.
            const app::MenuItem* item = main_.menus().find("mnuStopRealTime");
            if ((fix.Lat == 0 && fix.Lon == 0) || !item || !item->enabled || !s.real_time) {
                stop = true;
            } else {
                // Tolerance filter.
                double azimuth = 0;
                if (s.tolerance_bypass) {
                    s.tolerance_bypass = false;
                } else if (s.last_point.Count() > 0) {
                    const double last_lat = s.last_point.Item("lat").ToDouble();
                    const double last_lon = s.last_point.Item("long").ToDouble();
                    if (window_.control("chkTolerance(0)").value) {
                        const double elapsed = double(clock_seconds() - std::int64_t(s.last_point.Item("time").ToDouble()));
                        if (elapsed < vb::Val(window_.control("tbxToleranceValue(0)").text)) return;
                    }
                    if (window_.control("chkTolerance(1)").value) {
                        const double d = Calculate_Distance(last_lon, last_lat, fix.Lon, fix.Lat, "K") * 1000;
                        if (vb::Val(window_.control("tbxToleranceValue(1)").text) > d) return;
                    }
                    azimuth = Calculate_Azimuth(last_lon, last_lat, fix.Lon, fix.Lat);
                }
                platform::Collection<Variant> kept;
                kept.Add(Variant(fix.Lat), "lat");
                kept.Add(Variant(fix.Lon), "long");
                kept.Add(Variant(double(clock_seconds())), "time");
                s.last_point = std::move(kept);

                // The row text, its date and time asked of the unit.
                main_.garmin->Request_Date_Time();
                const brenvik::cDate_Time& d = main_.garmin->Date_Time();
                const std::string values[26] = {
                    "RTIMEWPT",
                    "rt" + std::to_string(std::int64_t(s.record_counter) + 1),
                    number(fix.Lat, "##0.00000000"),
                    number(fix.Lon, "##0.00000000"),
                    number(y, "##0.00000000"),
                    number(x, "##0.00000000"),
                    std::to_string(alt),
                    epe,
                    number(double(fix.eph) / factor / 2, "#0.0"),
                    number(double(fix.epv) / factor / 2, "#0.0"),
                    "", "", "", "", "", "", "", "",
                    std::to_string(fix.pfix),
                    number(double(fix.east) / factor, "##0.00"),
                    number(double(fix.north) / factor, "##0.00"),
                    number(double(fix.up) / factor, "##0.00"),
                    "", "",
                    std::to_string(d.month) + "/" + std::to_string(d.day) + "/" + std::to_string(d.year),
                    std::to_string(d.hour) + ":" + std::to_string(d.minute) + ":" + std::to_string(d.second),
                };
                KeptPoint p;
                p.lon = fix.Lon, p.lat = fix.Lat, p.x = x, p.y = y;
                p.row_text = vb::Join(std::vector<std::string>(std::begin(values), std::end(values)), ";");
                p.epe_text = epe;
                p.azimuth = azimuth;
                Point_Record(p, "Receive_Pvt_data");
            }
        } catch (const VbError& e) {
            s.transfer_busy = false;
            box("Receive_Pvt_data", e.number, e.description);
            return;
        }
    }
    if (stop) mnuStopRealTime_Click();
}

bool Tracking::Point_Record(const KeptPoint& p, const std::string& procedure)
{
    app::AppState& s = main_.state();
    window_.Load();
    links::GisLinks& links = main_.links();
    bool shown = false;
    std::string body;
    try {
        // Display body and ArcView command.
        const std::string pan_text = window_.control("tbxPanWindow").text;
        const double pan = (vb::IsNumeric(pan_text) ? vb::Val(pan_text) : 75.0) / 100.0;
        const std::string style = window_.Tag("chkGISDisplay");
        const bool pan_on = window_.control("chkPan").value;
        body = "\"" + number(p.x, "##0.00000000") + ";" + number(p.y, "##0.00000000") + ";" + vb::CStr(pan) + ";" +
               p.epe_text + ";" + style + ";" + (pan_on ? "True" : "False") + "\"";
        const std::string command = "av.run(\"GPS.ReceiveGarminSentence\",{" + body + "})";

        // Recording.
        flxgrd::Table& table = main_.table();
        if (main_.settings().GetSetting("fields", "rtimeTextFile", "0") == "1") {
            s.record_counter += 1;
            const std::string path = log_path();
            auto* fe = dynamic_cast<files::FileFrontEnd*>(&main_.files());
            // The writer puts the header line in front of its argument when
            // it starts the file: it gets a copy.
            std::string line = p.row_text;
            if (!fe || !fe->table_files().Textfile_Save(line, path, true)) {
                mnuStopRealTime_Click();
                return false;
            }
            if (s.record_counter > 1)
                main_.Set_Msg("Logged " + std::to_string(s.record_counter) + " real time points to " + path);
        } else if (!table.Records_Insert(p.row_text, "", "", ";", false)) {
            main_.Set_Msg("Logged " + std::to_string(s.record_counter) + " real time points");
            mnuStopRealTime_Click();
            return false;
        } else if (s.record_counter > 1) {
            main_.Set_Msg("Logged " + std::to_string(s.record_counter) + " real time points");
        }

        // The output shapefile gets the visible fields' values with their
        // names, position by position.
        s.transfer_busy = true;
        const std::vector<std::string> values = vb::Split(p.row_text, ";");
        const std::vector<std::string> all = table.Fields_GetList(s.record_type, false, false);
        const std::vector<std::string> visible = table.Fields_GetList(s.record_type, true, false);
        const std::vector<std::string> aliases = table.Fields_GetList(s.record_type, true, true);
        std::vector<std::string> shown_values, shown_names;
        for (std::size_t j = 0; j < visible.size() && j < aliases.size(); ++j) {
            std::size_t i = 0;
            while (i < all.size() && all[i] != visible[j]) ++i;
            shown_names.push_back(aliases[j]);
            shown_values.push_back(i < values.size() ? values[i] : std::string());
        }
        window_.Record_Point(shown_values, shown_names);

        // LandView.
        if (links.LV_Exists(false)) {
            main_.ToDDE.caption = "TCL" + std::to_string(s.landview_message_counter) + "," + body;
            links.ToDDE_Poke(main_.ToDDE.caption);
            main_.pump().run_pending();
            shown = true;
        }
        // ArcView.
        if (links.Arcview_Exists(false)) {
            links.lblGPSDesc1_LinkExecute(command);
            shown = true;
        }
    } catch (const VbError& e) {
        s.transfer_busy = false;
        box(procedure, e.number, e.description);
        return false;
    }
    // From here on errors are ignored.
    try {
        if (s.arcmap_extension && s.arcmap_running) {
            const double pan = [&] {
                const std::string t = window_.control("tbxPanWindow").text;
                return (vb::IsNumeric(t) ? vb::Val(t) : 75.0) / 100.0;
            }();
            platform::CallByName(*s.arcmap_extension, "RT_SendPoint",
                                 {Variant(p.lon), Variant(p.lat), Variant(p.x), Variant(p.y), Variant(pan),
                                  Variant(vb::CDbl(p.epe_text)), Variant(vb::CInt(window_.Tag("chkGISDisplay"))),
                                  Variant(window_.control("chkPan").value), Variant(p.azimuth),
                                  Variant(std::int16_t(0)), Variant(window_.control("chkTrackUp").value)});
            shown = true;
        }
    } catch (const std::exception&) {
    }
    if (window_.Loaded()) {
        window_.control("frmGISDisplay").enabled = shown;
        window_.control("chkTrackUp").enabled = bool(s.arcmap_extension);
    }
    s.transfer_busy = false;
    return true;
}

void Tracking::mnuStartRealTime_Click()
{
    main_.run_trapped("mnuStartRealTime_Click", [this] {
        app::AppState& s = main_.state();
        if (s.GPS_MassStorageUnit) {
            main_.dialogs().MsgBox("Your GPS is not in SPANNER mode.  To do Real-Time Tracking:\r\n"
                                   "  1) Set your Garmin GPS Interface to GARMIN SPANNER\r\n"
                                   "     When prompted on your GPS to go to MASS STORAGE select NO\r\n"
                                   "  2) In Trekfold, go to GPS --> Open Port",
                                   platform::vbOKOnly);
            main_.cursor().set_pointer(platform::vbDefault);
            return;
        }
        while (s.transfer_busy)
            main_.pump().wait_until([&s] { return !s.transfer_busy; },
                                    main_.pump().clock().now_us() + 3600LL * 1000000);
        s.record_type = "rtimewpt";
        flxgrd::Table& table = main_.table();
        table.Table_Clear();
        if (!main_.panel_open()) main_.cmdAdvanced_Click();
        table.Table_SetType(s.record_type);
        s.last_point = platform::Collection<Variant>();
        main_.links().LV_Exists(false);
        window_.Load(true, s.quiet_mode || s.start_minimised);
        s.record_counter = 0;
        s.real_time = true;
        for (app::Control* o : {&main_.optWpt, &main_.optTrk, &main_.optRte, &main_.optRTWpt})
            o->value = o == &main_.optRTWpt;
        s.tolerance_bypass = false;
        main_.transfer().Set_Controls(5);
        main_.changed(app::ChangeControls);
        if (!s.nmea_mode && main_.garmin) main_.garmin->Pvt_Data_Start();
        if (main_.settings().GetSetting("fields", "rtimeTextFile", "0") == "1") {
            const std::string path = log_path();
            if (std::filesystem::exists(path)) {
                const vb::Date n = vb::Now();
                const std::string stamped = path + std::to_string(n.year) + std::to_string(n.month) +
                                            std::to_string(n.day) + "-" + std::to_string(n.hour) +
                                            std::to_string(n.minute) + std::to_string(n.second);
                // A hard link never replaces an existing name, as a rename
                // would: the stamped log that is there stays whole.
                if (::link(path.c_str(), stamped.c_str()) != 0) {
                    if (errno == EEXIST) throw VbError(58, "trekfold", "File already exists");
                    throw VbError(75, "trekfold", "Path/File access error (" + std::string(std::strerror(errno)) + ")");
                }
                ::unlink(path.c_str());
            }
        }
    });
}

void Tracking::mnuStopRealTime_Click()
{
    // Closing the window calls Stop while tracking is on; the sequence runs once.
    if (stopping_) return;
    Hold hold(stopping_);
    main_.run_trapped("mnuStopRealTime_Click", [this] {
        app::AppState& s = main_.state();
        main_.transfer().Set_Controls(6);
        window_.Unload();
        if (s.nmea_mode)
            main_.transfer().Set_Controls(7);
        else if (main_.garmin)
            main_.garmin->Pvt_Data_Stop();
        s.real_time = false;
        main_.Set_Msg("Stopped Real Time Logging");
        links::GisLinks& links = main_.links();
        if (links.Arcview_Exists(false)) links.lblGPSDesc1_LinkExecute("av.run(\"GPS.RemoveRealTimeGraphics\",\"\")");
        if (links.LV_Exists(false)) {
            main_.ToDDE.caption = "RTC";
            links.ToDDE_Poke("RTC");
            main_.pump().run_pending();
        }
        if (s.arcmap_running && s.arcmap_extension) platform::CallByName(*s.arcmap_extension, "RT_Graphics_Delete");
    });
}

} // namespace realtime
