// The GIS program links of the main window: detection of the programs
// beside it (Refresh_Apps and the window searches of module Arcmap), the
// ArcView link over DDE, the ArcMap link through the extension's class
// object, Google Earth's My Places file and ArcExplorer's class.
#pragma once

#include "main/links/links.h"

#include "platform/automation/variant.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform::dde { class Conversation; }

namespace links {

class Links : public GisLinks {
public:
    explicit Links(app::frmMain& main);
    ~Links() override;

    void Refresh_Apps() override;
    void Quiet_Driver(std::string& command_line) override;
    void Timer1_Timer() override;
    void ToDDE_Poke(const std::string& text) override;
    void menu_Click(const std::string& name, int index) override;

    // --- detection ----------------------------------------------------------
    bool Arcview_Exists(bool showMessage) override;
    bool LV_Exists(bool showMessage) override;
    bool ArcExplorer_Exists(bool ignored = false);
    std::string Get_GoogleVersion();
    std::string Get_ArcGISVersion();
    std::int32_t Get_ArcMapWindow();
    std::int32_t Get_GoogleWindow();
    std::int32_t Get_ArcExplorerWindow();
    std::string mf_GetWindowClass(std::int32_t& hwnd);
    std::string mf_GetWindowTitle(std::int32_t& hwnd);
    void Start_ArcMap();
    void Start_GoogleEarth();
    void mnuRefreshApps_Click() { Refresh_Apps(); }
    void mnuSetAppRefreshRate_Click();

    // --- ArcView ------------------------------------------------------------
    // Sends an execute string on lblGPSDesc1's link (VbError when closed
    // or refused).
    void lblGPSDesc1_LinkExecute(const std::string& command) override;
    void Arcview_SendData(const std::string& kind);
    void Arcview_GetData(const std::string& kind);

    // --- ArcMap -------------------------------------------------------------
    platform::ObjectRef Get_ArcMapObject();
    void ArcMap_SendData(const std::string& kind);
    void mnuArcMapGDBS_Click();
    void mnuArcMapGraphicL_Click();
    void mnuArcMapLayerL_Click();

    // --- Google Earth and ArcExplorer -------------------------------------------
    void mnuGoogleLoadMyPlaces_Click();
    void mnuGoogleSaveMyPlaces_Click();
    void ArcExplorer_SendData(const std::string& kind);

    // --- quiet mode ---------------------------------------------------------
    // A download written to outPath (".shp", ".dbf" or ".txt"): true when
    // the transfer ran to its end and the file was written.
    bool Quiet_Get_DataFromGPS(const std::string& dataType, const std::string& shapeType,
                               const std::string& outPath, const std::string& projection);
    // The table loaded from inPath and uploaded: true when the upload ran
    // to its end.
    bool Quiet_Get_DataToGPS(const std::string& dataType, const std::string& inPath,
                             const std::string& projection);
    // Starts real-time recording into a point shapefile; raises error 555
    // when its shapefile or table cannot be opened.
    void Quiet_RealTime_Start(const std::string& timeTolerance, const std::string& distanceTolerance,
                              const std::string& shapefilePath, const std::string& projection);
    // The result of the last quiet job (False before one).
    bool quiet_result() const { return quiet_result_; }
    // The program's exit status after quiet mode: 1 when no receiver was
    // connected or a download or upload (or an unknown action) gave False;
    // 0 otherwise (also after a real-time start or a line of fewer than
    // five fields, which keep the program running until it is closed).
    int quiet_exit_status() const { return quiet_status_; }

    // Every command line the quiet-mode driver received, in order.
    const std::vector<std::string>& quiet_command_lines() const { return quiet_; }
    // Told of each execute (item empty) or poke sent on a DDE link, with
    // its error number (0 when it went through) (probes).
    std::function<void(const std::string& topic, const std::string& item, const std::string& data, int error)> on_dde;
    // Told of each window brought to the top (probes).
    std::function<void(std::int32_t hwnd)> on_raise;

private:
    bool topic_alive(const char* service, const char* topic);
    void attach(std::int32_t hwnd);
    // Stores a code of the projection catalogue as the current projection;
    // false (nothing stored) for an empty or unknown code.
    bool projection_counts(const std::string& code);
    void wait_transfer_done();

    app::frmMain& main_;
    std::unique_ptr<platform::dde::Conversation> arcview_link_; // lblGPSDesc1's
    std::unique_ptr<platform::dde::Conversation> landview_link_; // ToDDE's
    std::vector<std::string> quiet_;
    bool quiet_result_ = false;
    int quiet_status_ = 0;
};

// av.run("SCRIPT",{"A","B"}): ArcView's execute string for a script and its
// arguments.
std::string Av_Run(const std::string& script, const std::vector<std::string>& args);
// The receiver model of a product description: the part before " Software",
// trimmed (the whole text trimmed when there is none).
std::string Unit_Model(const std::string& description);

// The refresh period setting's numeric rule: the answer stored and the
// period in milliseconds; an answer of 0 or less becomes "10".
struct RefreshRate {
    std::string stored;
    double seconds;
};
RefreshRate Refresh_Rate_Answer(const std::string& answer);

} // namespace links
