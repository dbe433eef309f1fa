// One PVT record becomes live readouts and, when it passes the tolerance
// filter, a kept point: a table row or log line, a vertex of the output
// shapefile, and a message to each GIS program that runs.
#include "main/realtime/tracking.h"

#include "main/app/frm_main.h"
#include "main/coords/coords.h"
#include "main/files/files.h"
#include "main/files/table_files.h"
#include "main/links/links.h"
#include "main/realtime/nmea.h"
#include "main/app/frm_info.h"
#include "main/table/table.h"
#include "main/transfer/transfer.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/vb_error.h"
#include "platform/events/events.h"
#include "platform/settings/settings.h"
#include "platform/text/decimal.h"
#include "platform/text/vb.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialogs.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <limits>
#include <optional>

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

// The new last kept point.
void keep(app::AppState& s, double lat, double lon, std::int64_t now)
{
    platform::Collection<Variant> kept;
    kept.Add(Variant(lat), "lat");
    kept.Add(Variant(lon), "long");
    kept.Add(Variant(double(now)), "time");
    s.last_point = std::move(kept);
}

// An NMEA value as a number: none when the key is missing or its text is
// no number (an empty field of a unit without a fix).
std::optional<double> item_number(const platform::Collection<Variant>& c, const std::string& key)
{
    const Variant* item = c.Find(key);
    if (!item) return std::nullopt;
    try {
        return item->ToDouble();
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

// A received text as one value of a row joined with ";": the separator
// inside it becomes ",", so every later value keeps its own column.
std::string without_separator(std::string text)
{
    for (char& c : text)
        if (c == ';') c = ',';
    return text;
}

std::string item_text(const platform::Collection<Variant>& c, const std::string& key)
{
    const Variant* item = c.Find(key);
    if (!item) return std::string();
    try {
        return item->ToString();
    } catch (const std::exception&) {
        return std::string();
    }
}

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

bool Tracking::Tolerance_Passes(double lat, double lon)
{
    const app::AppState& s = main_.state();
    const double last_lat = s.last_point.Item("lat").ToDouble();
    const double last_lon = s.last_point.Item("long").ToDouble();
    if (window_.control("chkTolerance(0)").value) {
        const double elapsed = double(clock_seconds() - std::int64_t(s.last_point.Item("time").ToDouble()));
        if (elapsed < vb::Val(window_.control("tbxToleranceValue(0)").text)) return false;
    }
    if (window_.control("chkTolerance(1)").value) {
        const double d = Calculate_Distance(last_lon, last_lat, lon, lat, "K") * 1000;
        if (vb::Val(window_.control("tbxToleranceValue(1)").text) > d) return false;
    }
    return true;
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
            window_.control("lblProjX").caption = platform::plain_decimal(x);
            window_.control("lblProjY").caption = platform::plain_decimal(y);
            window_.changed();
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
                    if (!Tolerance_Passes(fix.Lat, fix.Lon)) return;
                    azimuth = Calculate_Azimuth(s.last_point.Item("long").ToDouble(),
                                                s.last_point.Item("lat").ToDouble(), fix.Lon, fix.Lat);
                }
                keep(s, fix.Lat, fix.Lon, clock_seconds());

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
    // The busy flag this call sets is cleared on every way out, an
    // exception of any kind included: left set, every later fix would be
    // skipped and Start would wait for ever.
    struct ClearBusy {
        explicit ClearBusy(app::AppState& state) : s(state) {}
        app::AppState& s;
        ~ClearBusy() { s.transfer_busy = false; }
    };
    std::optional<ClearBusy> clear_busy;
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
        // names, position by position (built only while it takes points).
        s.transfer_busy = true;
        clear_busy.emplace(s);
        if (window_.Loaded() && (window_.recording() || window_.shape_end())) {
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
        }

        // LandView.
        if (links.LV_Exists(false)) {
            main_.ToDDE.caption = "TCL" + std::to_string(s.landview_message_counter) + "," + body;
            links.ToDDE_Poke(main_.ToDDE.caption);
            main_.pump().run_pending();
            shown = true;
        }
        // ArcView.
        if (links.Arcview_Exists(false)) {
            const std::string done = s.temp_shapefile + ".done";
            std::error_code ec;
            if (p.arcview_handshake && std::filesystem::exists(done, ec)) {
                std::filesystem::remove(done, ec);
                s.transfer_busy = false;
                mnuStopRealTime_Click();
                return false;
            }
            links.lblGPSDesc1_LinkExecute(command);
            shown = true;
        }
    } catch (const VbError& e) {
        s.transfer_busy = false;
        if (!procedure.empty()) box(procedure, e.number, e.description);
        return false;
    } catch (const std::exception&) {
        if (!procedure.empty()) throw;
        s.transfer_busy = false;
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
        window_.changed();
    }
    s.transfer_busy = false;
    return true;
}

void Tracking::NMEA_Other()
{
    main_.pump().run_pending();
    main_.state().transfer_busy = false;
}

void Tracking::NMEA_Point()
{
    app::AppState& s = main_.state();
    if (s.transfer_busy || handling_) return;
    bool kept = false;
    {
        Hold hold(handling_);
        kept = NMEA_Keep();
    }
    if (!kept) return;
    s.nmea_values = NMEAValues();
    s.transfer_busy = true;
    NMEA_Other();
}

bool Tracking::NMEA_Keep()
{
    app::AppState& s = main_.state();
    const NMEAValues& v = s.nmea_values;
    // A unit without a fix sends "$GPRMC" with empty position fields: no
    // point at 0, 0, but the values are used up as after a point.
    const std::optional<double> lat = NMEA_Latitude(item_text(v, "lat"), item_text(v, "lat_dir"));
    const std::optional<double> lon = NMEA_Longitude(item_text(v, "long"), item_text(v, "long_dir"));
    if (!lat || !lon) return true;

    const double factor = vb::SameLCase(s.unit, "meters") ? 1.0 : 3.28084;
    const std::string lat_text = platform::plain_decimal(*lat), lon_text = platform::plain_decimal(*lon);
    main_.lbllat.caption = lat_text;
    main_.lbllon.caption = lon_text;
    double px = *lon, py = *lat, x = 0, y = 0;
    try {
        main_.coords().Project_Point(px, py, true, x, y);
    } catch (const std::exception&) {
    }
    window_.Load();
    window_.control("lblProjX").caption = platform::plain_decimal(x);
    window_.control("lblProjY").caption = platform::plain_decimal(y);
    window_.changed();

    // The first point has no direction of travel.
    double azimuth = 0;
    if (s.last_point.Exists("lat") && s.last_point.Exists("long"))
        azimuth = Calculate_Azimuth(s.last_point.Item("long").ToDouble(), s.last_point.Item("lat").ToDouble(), *lon,
                                    *lat);

    const auto scaled = [&](const char* key, const char* pattern) {
        return number(item_number(v, key).value_or(0) * factor, pattern);
    };
    const std::optional<double> alt_value = item_number(v, "alt");
    const std::string alt = alt_value ? number(*alt_value * factor, "####0.0") : "0";
    if (alt_value) main_.lblAlt.caption = alt + " " + s.unit;
    const std::string epe = scaled("epe", "####0.0");
    main_.lblepe.caption = epe + " " + s.unit;
    const std::string date = NMEA_Date(item_text(v, "date"));
    const std::string time = NMEA_Time(item_text(v, "time"));
    app::InfoWindow& info = main_.frmInfo();
    info.lbldate.caption = date;
    info.lblTime.caption = time;
    main_.changed(app::ChangeControls);

    // Tolerance filter; a dropped point keeps the values for the next one.
    if (s.last_point.Exists("time")) {
        if (s.tolerance_bypass)
            s.tolerance_bypass = false;
        else if (!Tolerance_Passes(*lat, *lon))
            return false;
    }
    keep(s, *lat, *lon, clock_seconds());

    const auto stored = [&](const char* key) { return v.Find(key) ? item_text(v, key) : std::string("0"); };
    std::string row = "RTIMEWPT;rt" + std::to_string(std::int64_t(s.record_counter) + 1);
    for (const std::string& value :
         {lat_text, lon_text, number(y, "##0.00000000"), number(x, "##0.00000000"), alt, epe,
          scaled("eph", "####0.0"), scaled("epv", "####0.0"), stored("pdop"), stored("hdop"), stored("vdop"),
          stored("speed"), stored("course"), stored("mvar"), stored("mdir"), stored("datum"), stored("pfix"),
          stored("east"), stored("north"), stored("up"), scaled("depth", "####0.00"),
          number(item_number(v, "temp").value_or(0), "####0.00"), date, time})
        row += ";" + without_separator(value);
    row += "; ";

    KeptPoint p;
    p.lon = *lon, p.lat = *lat, p.x = x, p.y = y;
    p.row_text = std::move(row);
    // The display body is ";"-separated as well.
    p.epe_text = v.Exists("epe") ? without_separator(item_text(v, "epe")) : std::string("0");
    p.azimuth = azimuth;
    p.arcview_handshake = true;
    return Point_Record(p, "");
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
            std::error_code ec;
            const bool exists = std::filesystem::exists(path, ec);
            if (ec) throw platform::FileError(ec.value(), "trekfold");
            if (exists) {
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
