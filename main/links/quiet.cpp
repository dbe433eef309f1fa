// Quiet mode: one download, upload or real-time start run from the command
// line without a user, its result handed to LandView when it is linked.
#include "main/links/gis_links.h"

#include "main/app/frm_main.h"
#include "main/coords/coords.h"
#include "main/files/dbase.h"
#include "main/files/files.h"
#include "main/files/table_files.h"
#include "main/realtime/frm_realtime.h"
#include "main/realtime/realtime.h"
#include "main/transfer/transfer.h"
#include "platform/automation/vb_error.h"
#include "platform/events/events.h"
#include "platform/settings/settings.h"
#include "platform/text/vb.h"

#include <sys/stat.h>

namespace links {

namespace vb = platform::vb;
using platform::VbError;

namespace {

std::string file_type(const std::string& path)
{
    return vb::LCase(path.size() >= 3 ? path.substr(path.size() - 3) : path);
}

bool exists(const std::string& path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0;
}

files::TableFiles& table_files(app::frmMain& main)
{
    auto* fe = dynamic_cast<files::FileFrontEnd*>(&main.files());
    if (!fe) throw VbError(91, "trekfold", "Object variable or With block variable not set");
    return fe->table_files();
}

void hide_status(app::frmMain& main)
{
    main.frmQuietStatus.visible = false;
    main.changed(app::ChangeQuietStatus);
}

} // namespace

bool Links::projection_counts(const std::string& code)
{
    const coords::ProjectionCatalogue* cat = main_.coords().catalogue();
    if (code.empty() || !cat || !cat->find(code)) return false;
    main_.settings().SaveSetting("proj", "proj", code);
    return true;
}

void Links::wait_transfer_done()
{
    app::AppState& s = main_.state();
    platform::EventPump& pump = main_.pump();
    auto done = [&] { return s.transfer_complete || main_.ended(); };
    // A transfer ends by its last packet, its end by error or the user's
    // close of the program; the wait blocks on the event loop until then.
    while (!done()) pump.wait_until(done, pump.clock().now_us() + 1'000'000);
}

void Links::Quiet_Driver(std::string& command_line)
{
    quiet_.push_back(command_line);
    int cancel = 0;
    if (main_.StatusBar1[0] == "Not Connected") {
        quiet_status_ = 1;
        main_.Form_Unload(cancel);
        return;
    }
    std::vector<std::string> f = vb::Split(command_line, ",");
    if (f.size() < 5) return;
    const std::string action = vb::LCase(f[1]);
    const std::string projection = f.size() > 5 ? f[5] : std::string();
    bool result = false;
    if (action == "download")
        result = Quiet_Get_DataFromGPS(f[2], f[3], f[4], projection);
    else if (action == "upload")
        result = Quiet_Get_DataToGPS(f[2], f[4], projection);
    else if (action == "rt_start")
        Quiet_RealTime_Start(f[2], f[3], f[4], projection);
    quiet_result_ = result;
    quiet_status_ = action == "rt_start" || result ? 0 : 1;
    if (main_.links().LV_Exists(false)) {
        const std::string reply = std::string("RESPONSE,") + (result ? "True" : "False");
        main_.ToDDE.caption = reply;
        try {
            main_.links().ToDDE_Poke(reply);
        } catch (const platform::VbError&) {
            // The job is done and its result is in the exit status: a
            // LandView that refuses the reply does not keep the run alive.
        }
        main_.pump().run_pending();
    }
    if (action != "rt_start") main_.Form_Unload(cancel);
}

bool Links::Quiet_Get_DataFromGPS(const std::string& dataType, const std::string& shapeType,
                                  const std::string& outPath, const std::string& projection)
{
    try {
        const bool projected = projection_counts(projection);
        app::AppState& s = main_.state();
        const std::string type = vb::LCase(dataType);
        const bool started = type == "waypoint" || type == "track";
        if (started) {
            // Only a transfer that runs to its end sets this again; a refused
            // or abandoned one leaves it clear.
            s.transfer_finished = false;
            main_.transfer().menu_Click(type == "waypoint" ? "mnuWDownload" : "mnuTDownload", -1);
        }
        wait_transfer_done();
        if (started && !s.transfer_finished) {
            main_.Set_Msg("Error Downloading Data from GPS");
            hide_status(main_);
            return false;
        }
        if (type == "waypoint" && vb::LCase(shapeType) != "point") main_.optTrk_Click();
        const std::string kind = file_type(outPath);
        bool written = false;
        if (kind == "shp")
            written = table_files(main_).Shapefile_Save(shapeType, projected, outPath, false);
        else if (kind == "dbf")
            written = table_files(main_).Save_DBF(outPath, false);
        else if (kind == "txt")
            written = table_files(main_).Save_TextFile(outPath, "", false);
        else {
            main_.Set_Msg("Unrecognized file type");
            main_.Set_Msg("Error Downloading Data from GPS");
            return false;
        }
        main_.Set_Msg(written ? "Shapefile saved to " + outPath : "Error Downloading Data from GPS");
        hide_status(main_);
        return written;
    } catch (const std::exception&) {
        main_.Set_Msg("Error Downloading Data from GPS");
        return false;
    }
}

bool Links::Quiet_Get_DataToGPS(const std::string& dataType, const std::string& inPath,
                                const std::string& projection)
{
    try {
        projection_counts(projection);
        const std::string kind = file_type(inPath);
        bool loaded = false;
        if (kind == "shp")
            loaded = table_files(main_).Shapefile_Load(inPath);
        else if (kind == "dbf")
            loaded = table_files(main_).Open_DBF(inPath);
        else if (kind == "txt")
            loaded = table_files(main_).Open_Textfile(inPath);
        else
            main_.Set_Msg("Unrecognized file type");
        if (loaded) {
            if (dataType == "waypoint" && main_.optTrk.value)
                main_.optWpt_Click();
            else if (dataType == "track" && main_.optWpt.value)
                main_.optTrk_Click();
            app::AppState& s = main_.state();
            const app::MenuItem* w = main_.menus().find("mnuWUpload");
            const app::MenuItem* t = main_.menus().find("mnuTUpload");
            const char* command = w && w->enabled ? "mnuWUpload" : t && t->enabled ? "mnuTUpload" : nullptr;
            if (command) {
                s.transfer_finished = false;
                main_.transfer().menu_Click(command, -1);
                wait_transfer_done();
                if (s.transfer_finished) {
                    main_.Set_Msg("Data uploaded to GPS successfully");
                    hide_status(main_);
                    return true;
                }
            }
        }
    } catch (const std::exception&) {
    }
    main_.Set_Msg("Error Uploading Data to GPS");
    return false;
}

void Links::Quiet_RealTime_Start(const std::string& timeTolerance, const std::string& distanceTolerance,
                                 const std::string& shapefilePath, const std::string& projection)
{
    platform::Settings& st = main_.settings();
    auto tolerance = [&](const std::string& value, const char* check, const char* key) {
        if (vb::IsNumeric(value)) {
            st.SaveSetting("realtime", check, "1");
            st.SaveSetting("realtime", key, value);
        } else {
            st.SaveSetting("realtime", check, "0");
        }
    };
    tolerance(timeTolerance, "toltimechk", "toltimeval");
    tolerance(distanceTolerance, "toldistchk", "toldistval");
    if (projection_counts(projection)) main_.state().projected_output = true;
    main_.realtime().menu_Click("mnuStartRealTime", -1);
    realtime::frmRealTime& rt = main_.realtime().RealTimeWindow();
    if (!rt.Load_Shapefile(shapefilePath, "point", !exists(shapefilePath)))
        throw VbError(555, "frmRealTime.cmdLoad", "Could not open Shapefile");
    if (!rt.Load_DBase(shapefilePath, !exists(shapefilePath)))
        throw VbError(555, "frmRealTime.cmdLoad", "Could not open DBF");
    files::DBase dbase(main_.dialogs());
    const std::string table =
        (shapefilePath.size() >= 3 ? shapefilePath.substr(0, shapefilePath.size() - 3) : std::string()) + "dbf";
    const std::int16_t file = dbase.DBF_Open(table);
    const std::int32_t count = file >= 0 ? dbase.DBF_GetRecordCount(file) : 0;
    if (file >= 0) dbase.DBF_Close(file);
    app::DialogControl& path = rt.control("lblPath(0)");
    path.caption = shapefilePath;
    path.visible = true;
    app::DialogControl& n = rt.control("lblCount(0)");
    n.caption = std::to_string(count);
    n.visible = true;
    rt.setCommandControls(1, false);
    main_.frmQuietStatus.loaded = main_.frmQuietStatus.visible = false;
    main_.changed(app::ChangeQuietStatus);
}

} // namespace links
