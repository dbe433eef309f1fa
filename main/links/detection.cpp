// Detection of the GIS programs beside the main window, the window searches
// and program starts of module Arcmap, and the refresh period command.
#include "main/links/gis_links.h"

#include "main/app/frm_main.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/remote.h"
#include "platform/automation/vb_error.h"
#include "platform/dde/dde.h"
#include "platform/events/events.h"
#include "platform/launcher/launcher.h"
#include "platform/registry/registry.h"
#include "platform/settings/settings.h"
#include "platform/text/vb.h"
#include "platform/ui/dialogs.h"
#include "platform/windows/windows.h"

#include <cmath>
#include <iostream>
#include <sys/stat.h>

namespace links {

namespace vb = platform::vb;
using platform::VbError;

namespace {

const char* const kGisMenus[] = {"mnuArcViewL",   "mnuArcViewS",   "mnuLandviewL",    "mnuLandViewS",
                                 "mnuArcMapL",    "mnuArcMapS",    "mnuGoogleLoad",   "mnuGoogleSave",
                                 "mnuArcExplorerS", "mnuArcMapProperties"};

bool is_file(const std::string& path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool begins(const std::string& s, const std::string& prefix) { return s.compare(0, prefix.size(), prefix) == 0; }

} // namespace

Links::Links(app::frmMain& main)
    : main_(main),
      layers_(std::make_shared<frmLandviewLayerSelection>([&main] { return LV_TempFolderOf(main); }, main.Tag,
                                                          &main.cursor()))
{
    // The closures own the chooser, so a link replaced later leaves nothing
    // dangling behind it.
    auto layers = layers_;
    main.register_form("frmLandviewLayerSelection", [layers]() -> app::Form& { return *layers; });
    main.register_window("frmLandviewLayerSelection", [layers] { return layers->Loaded(); },
                         [layers] { layers->Unload(); });
}

Links::~Links() = default;

void Links::Timer1_Timer()
{
    if (!main_.state().screen_window_open) Refresh_Apps();
}

void Links::Refresh_Apps()
{
    serve_landview();
    app::AppState& st = main_.state();
    try {
        st.arcview_running = Arcview_Exists(false);
        st.landview_running = LV_Exists(false);
        st.arcexplorer_running = ArcExplorer_Exists(false);
        st.google_earth_available = !Get_GoogleVersion().empty() || Get_GoogleWindow() >= 1;
        st.google_earth_running = Get_GoogleWindow() >= 1;
        try {
            // A host that takes the connection but never answers counts as
            // gone after the same five seconds a DDE answer is given.
            platform::remote::Answer_Deadline deadline(5000);
            st.arcgis_installed = !Get_ArcGISVersion().empty();
            if (st.arcgis_installed) {
                std::int32_t hwnd = Get_ArcMapWindow();
                if (hwnd != unanswered_arcmap_) unanswered_arcmap_ = 0;
                if (hwnd == unanswered_arcmap_) hwnd = 0;
                st.arcmap_running = hwnd != 0;
                try {
                    if (hwnd == 0) {
                        st.arcmap_extension.reset();
                    } else if (!st.arcmap_extension) {
                        attach(hwnd);
                    } else if (platform::CallByName(*st.arcmap_extension, "Get_WindowHandle").ToInt32() != hwnd) {
                        attach(hwnd);
                    }
                } catch (const std::exception&) {
                    if (deadline.Expired()) unanswered_arcmap_ = hwnd;
                    throw;
                }
            }
        } catch (const std::exception&) {
            st.arcgis_installed = false;
            st.arcmap_running = false;
            st.arcmap_extension.reset();
        }
        const bool flags[] = {st.arcview_running,       st.arcview_running,       st.landview_running,
                              st.landview_running,      st.arcmap_running,        st.arcmap_running,
                              st.google_earth_available, st.google_earth_available, st.arcexplorer_running,
                              st.arcgis_installed};
        for (std::size_t i = 0; i < std::size(kGisMenus); ++i)
            if (app::MenuItem* m = main_.menus().find(kGisMenus[i])) m->enabled = flags[i];
        std::string caption = "Ostrevane - Garmin ";
        if (st.arcview_running) caption += "/ Arcview ";
        if (st.landview_running) caption += "/ Landview ";
        if (st.arcexplorer_running) caption += "/ ArcExplorer ";
        if (st.arcmap_running) caption += "/ ArcMap ";
        if (st.google_earth_running) caption += "/ Google Earth ";
        main_.Caption = caption;
        main_.changed(app::ChangeCaption | app::ChangeMenus);
    } catch (const std::exception&) {
        // Leaves menus and caption as they were.
    }
}

void Links::attach(std::int32_t hwnd)
{
    app::AppState& st = main_.state();
    st.arcmap_extension = Get_ArcMapObject();
    if (!st.arcmap_extension) throw VbError(91, "", "Object variable or With block variable not set");
    platform::CallByName(*st.arcmap_extension, "Set_WindowHandle", {platform::Variant(hwnd)});
}

bool Links::topic_alive(const char* service, const char* topic)
{
    try {
        platform::dde::Conversation::Initiate(service, topic);
        return true;
    } catch (const VbError&) {
        return false;
    }
}

bool Links::Arcview_Exists(bool showMessage)
{
    bool result = true;
    arcview_link_.reset(); // link mode 0 closes the conversation
    try {
        arcview_link_ = platform::dde::Conversation::Initiate("ArcView", "System");
    } catch (const VbError& e) {
        if (e.number == platform::dde::kNoAnswerToInitiate) {
            result = false;
            if (showMessage)
                main_.dialogs().MsgBox("ArcView not found.  To use Arcview functionality make \nsure Arcview is open and "
                                       "the Garmin extension is loaded",
                                       platform::vbOKOnly, "ArcView Not Found");
        }
    }
    return result;
}

bool Links::LV_Exists(bool showMessage)
{
    landview_link_.reset(); // link mode 0 closes the conversation
    try {
        landview_link_ = platform::dde::Conversation::Initiate("Landview", "WhereForm");
    } catch (const VbError& e) {
        if (e.number != platform::dde::kNoAnswerToInitiate) return true;
        if (showMessage)
            main_.dialogs().MsgBox("Landview not found.  To use Landview functionality make \nsure Landview is open and "
                                   "the Garmin extension is loaded",
                                   platform::vbOKOnly, "LandView Not Found");
        return false;
    }
    return true;
}

void Links::lblGPSDesc1_LinkExecute(const std::string& command)
{
    try {
        if (!arcview_link_)
            throw VbError(platform::dde::kNoAnswerToInitiate, "", "No foreign application responded to a DDE initiate");
        arcview_link_->Execute(command);
        if (on_dde) on_dde("arcview|system", "", command, 0);
    } catch (const VbError& e) {
        if (on_dde) on_dde("arcview|system", "", command, e.number);
        throw;
    }
}

void Links::ToDDE_Poke(const std::string& text)
{
    main_.ToDDE.caption = text;
    if (!landview_link_) return; // no LandView: nothing to tell
    try {
        landview_link_->Poke("FromGarminText", text);
        if (on_dde) on_dde("landview|whereform", "FromGarminText", text, 0);
    } catch (const VbError& e) {
        // A LandView that refuses the poke or does not answer is an error
        // of the sender: it reaches the sender's own trap and box.
        if (on_dde) on_dde("landview|whereform", "FromGarminText", text, e.number);
        throw;
    }
}

// --- window searches -------------------------------------------------------------

std::string Links::mf_GetWindowClass(std::int32_t& hwnd)
{
    for (const auto& w : platform::windows::Top_Level_Windows())
        if (w.handle == hwnd) return w.window_class.substr(0, 255);
    return {};
}

std::string Links::mf_GetWindowTitle(std::int32_t& hwnd)
{
    for (const auto& w : platform::windows::Top_Level_Windows())
        if (w.handle == hwnd) return w.title;
    return {};
}

std::int32_t Links::Get_ArcMapWindow()
{
    for (const auto& w : platform::windows::Top_Level_Windows()) {
        const std::string cls = w.window_class.substr(0, 255);
        if ((begins(cls, "Afx:400000:b:100") || begins(cls, "Afx:00400000:b:")) &&
            w.title.find("ArcMap") != std::string::npos)
            return w.handle;
    }
    return 0;
}

std::int32_t Links::Get_GoogleWindow()
{
    for (const auto& w : platform::windows::Top_Level_Windows())
        if (vb::LCase(w.title.substr(0, 12)) == "google earth") return w.handle;
    return 0;
}

std::int32_t Links::Get_ArcExplorerWindow()
{
    for (const auto& w : platform::windows::Top_Level_Windows()) {
        const std::string t = vb::LCase(w.title);
        if (t.find("arcexplorer") != std::string::npos && t.find("garmin") == std::string::npos) return w.handle;
    }
    return 0;
}

bool Links::ArcExplorer_Exists(bool) { return Get_ArcExplorerWindow() != 0; }

std::string Links::Get_GoogleVersion()
{
    return basRegistry::Reg_GetValue("HKEY_LOCAL_MACHINE", "SOFTWARE\\Google\\Google Earth Plus", "Version");
}

std::string Links::Get_ArcGISVersion()
{
    return basRegistry::Reg_GetValue("HKEY_LOCAL_MACHINE", "SOFTWARE\\ESRI\\ArcGIS", "RealVersion");
}

void Links::Start_ArcMap()
{
    try {
        const std::string path =
            basRegistry::Reg_GetValue("HKEY_LOCAL_MACHINE", "SOFTWARE\\ESRI\\ArcGIS", "InstallDir") + "bin/arcmap";
        if (is_file(path)) main_.launcher().Start({path});
    } catch (const VbError& e) {
        main_.dialogs().MsgBox("Error " + std::to_string(e.number) + ": " + e.description + ". Source: " + e.source,
                               platform::vbCritical, "ArcMap.Start_ArcMap");
    }
}

void Links::Start_GoogleEarth()
{
    try {
        const std::string path = basRegistry::Reg_GetValue("HKEY_LOCAL_MACHINE", "SOFTWARE\\Google\\Google Earth Plus",
                                                           "InstallDir") +
                                 "/googleearth";
        if (is_file(path)) main_.launcher().Start({path});
    } catch (const VbError& e) {
        main_.dialogs().MsgBox("Error " + std::to_string(e.number) + ": " + e.description + ". Source: " + e.source,
                               platform::vbCritical, "ArcMap.Start_GoogleEarth");
    }
}

RefreshRate Refresh_Rate_Answer(const std::string& answer)
{
    RefreshRate r{answer, vb::Val(answer)};
    if (!(r.seconds > 0)) r = {"10", 10};
    return r;
}

void Links::mnuSetAppRefreshRate_Click()
{
    try {
        const std::string current = main_.settings().GetSetting("app", "refresh", "10");
        const std::string answer = main_.dialogs().InputBox(
            "Trekfold periodically checks to see if particular GIS programs are running.  Enter the Rate (in "
            "Seconds) at which you'd like it to check.",
            "Set App Refresh Rate", current);
        if (answer.empty()) return;
        const RefreshRate rate = Refresh_Rate_Answer(answer);
        main_.settings().SaveSetting("app", "refresh", rate.stored);
        if (rate.seconds > app::kMaxRefreshSeconds) throw VbError(380, "", "Invalid property value");
        main_.Timer1->set_interval_ms(std::llround(rate.seconds * 1000.0));
        main_.Timer1->set_enabled(true); // the new interval counts from now
    } catch (const VbError& e) {
        main_.dialogs().MsgBox("Error #" + std::to_string(e.number) + " - " + e.description, platform::vbCritical,
                               "frmMain.mnuSetAppRefreshRate_Click");
    }
}

void Links::menu_Click(const std::string& name, int)
{
    if (name == "mnuRefreshApps") return mnuRefreshApps_Click();
    if (name == "mnuSetAppRefreshRate") return mnuSetAppRefreshRate_Click();
    if (name == "mnuShapefile") return Arcview_SendData("shapefile");
    if (name == "mnuGraphic") return Arcview_SendData("graphic");
    if (name == "mnuAVTheme") return Arcview_GetData("Shapefile");
    if (name == "mnuAVGraphic") return Arcview_GetData("Graphic");
    if (name == "mnuArcMapLayerS") return ArcMap_SendData("Shapefile");
    if (name == "mnuArcMapGraphicS") return ArcMap_SendData("graphic");
    if (name == "mnuArcMapGDBS") return mnuArcMapGDBS_Click();
    if (name == "mnuArcMapGraphicL") return mnuArcMapGraphicL_Click();
    if (name == "mnuArcMapLayerL") return mnuArcMapLayerL_Click();
    if (name == "mnuGoogleLoadMyPlaces") return mnuGoogleLoadMyPlaces_Click();
    if (name == "mnuGoogleSaveMyPlaces") return mnuGoogleSaveMyPlaces_Click();
    if (name == "mnuShapefileAE") return ArcExplorer_SendData("shapefile");
    if (name == "mnuLandviewListSave") return mnuLandviewListSave_Click();
    if (name == "mnuLandviewCurrentLocationSave") return mnuLandviewCurrentLocationSave_Click();
    if (name == "mnuLandVeiwLayerSave") return landview_request("LLS", "", false, true);
    if (name == "mnuLandviewLayerLoad") return landview_request("LLL", "", true, true);
    const std::pair<const char*, const char*> shapes[] = {{"Point", "Point"}, {"Line", "Line"}, {"Polygon", "Polygon"}};
    for (auto [suffix, shape] : shapes) {
        if (name == std::string("mnuLandViewMeasureLoad") + suffix) return landview_request("SMS", std::string(",") + shape, true, true);
        if (name == std::string("mnuLandviewMeasureTool") + suffix) return landview_request("MEA", std::string(",") + shape, false, false);
    }
    if (name == "mnuLandviewCurrentLocationLoad" || name == "mnuLandviewListLoad") {
        try {
            landview_request(name == "mnuLandviewListLoad" ? "SUL" : "SCL", "", true, true);
        } catch (const std::exception&) {
            main_.dialogs().MsgBox("Error Trying to Communicate Coordinates with Landview", platform::vbCritical,
                                   "Communication Error");
        }
    }
}

std::unique_ptr<GisLinks> make_gis_links(app::frmMain& main) { return std::make_unique<Links>(main); }

} // namespace links

namespace basRegistry {

std::string Reg_GetValue(const std::string& root, const std::string& key, const std::string& value_name)
{
    // Read afresh each time: a program installed meanwhile is seen.
    const auto stored = platform::Registry::Machine().Value(root, key, value_name);
    if (!stored) return {};
    const auto v = platform::Parse_Registry_Value(*stored);
    if (!v) return {};
    if (v->type == 1) return v->text.substr(0, v->text.find('\0'));
    if (v->type == 4) return std::to_string(static_cast<std::int32_t>(v->number));
    return {};
}

} // namespace basRegistry
