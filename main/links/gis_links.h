// The GIS program links of the main window: detection of the programs
// beside it (Refresh_Apps and the window searches of module Arcmap), the
// ArcView link over DDE, the ArcMap link through the extension's class
// object, Google Earth's My Places file and ArcExplorer's class.
#pragma once

#include "main/links/layer_selection.h"
#include "main/links/links.h"

#include "platform/automation/variant.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform::dde { class Conversation; class Topic; }

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

    // --- LandView ----------------------------------------------------------
    // The exchange folder: TEMP with a separator at its end, the program's
    // TEMP folder when TEMP is empty or names no folder.
    std::string LV_TheTempFolder();
    bool LV_DirExists(const std::string& path);
    bool LV_FileExists(const std::string& path); // a regular file
    // Loads GarminTempFile.txt (written by LandView) into the table.
    void LV_LoadTempFile();
    void mnuLandviewListSave_Click();
    // Counts one more request (error 6 past the largest count) and opens
    // the link again; error 282 when LandView does not answer.
    void LV_Relink();
    // Serves "trekfold|frmmain" (once a Qt loop runs): a poke of "FromDDE"
    // sets that box's text and runs FromDDE_Change.
    void serve_landview();
    // Parses FromDDE's text and runs the LandView command it holds.
    void FromDDE_Change();
    // The answer to RGS: "TCL" n "," lon "," lat ",80," EPE ",0,false".
    void LV_SendCurrentLocation();
    // The measure tool's answer: the table as a temporary UTM shapefile of
    // shape type "Point", "Line" or "Polygon" (exact case), then "SMT" n
    // "," the set's table file.
    void LV_Table2Shapefile(const std::string& shape_type, const std::string& unused);
    // A free TmpShapeFile<i>.shp in the exchange folder (earlier sets
    // removed first); "" when none is free.
    std::string LV_GetTemporaryShapeFileName();
    // The LandView menu commands of File > Load From and Save To.
    void mnuLandviewCurrentLocationSave_Click();
    void landview_request(const std::string& code, const std::string& suffix, bool clear_first, bool let_events_run);
    // LandView's layer commands: SOP saves the table as the layer chosen,
    // APP appends it to the layer chosen at the last SOP, ROP loads the
    // layer chosen (`step` follows its progress for the error box).
    void SOP();
    void APP();
    void ROP(std::int16_t& step);
    // The layer chooser, made with the link and kept between shows.
    frmLandviewLayerSelection& LayerSelection() { return *layers_; }
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
    // Told of each command LandView poked into FromDDE (probes).
    std::function<void(const std::string& text)> on_fromdde;
    // ... and once that command has been carried out.
    std::function<void(const std::string& text)> on_fromdde_done;
    // Runs instead of ending the program when LandView sends END.
    std::function<void()> on_end;
    // Told of each window brought to the top (probes).
    std::function<void(std::int32_t hwnd)> on_raise;

private:
    bool topic_alive(const char* service, const char* topic);
    void attach(std::int32_t hwnd);
    // Stores a code of the projection catalogue as the current projection;
    // false (nothing stored) for an empty or unknown code.
    bool projection_counts(const std::string& code);
    void wait_transfer_done();
    // LVW and LVT: the download of that menu item, when it is enabled, and
    // the layer request once the download has ended.
    void layer_download(const char* menu);
    // Shows the chooser modally with the main window hidden meanwhile.
    void choose_layer(std::int16_t* step);

    app::frmMain& main_;
    std::unique_ptr<platform::dde::Conversation> arcview_link_; // lblGPSDesc1's
    std::unique_ptr<platform::dde::Conversation> landview_link_; // ToDDE's
    std::vector<std::string> quiet_;
    std::unique_ptr<platform::dde::Topic> served_; // trekfold|frmmain
    std::shared_ptr<frmLandviewLayerSelection> layers_;
    bool quiet_result_ = false;
    int quiet_status_ = 0;
    // The ArcMap window whose host took a connection and never answered: not
    // tried again while that window stays, so each tick does not wait again.
    std::int32_t unanswered_arcmap_ = 0;
};

// av.run("SCRIPT",{"A","B"}): ArcView's execute string for a script and its
// arguments.
std::string Av_Run(const std::string& script, const std::vector<std::string>& args);
// The receiver model of a product description: the part before " Software",
// trimmed (the whole text trimmed when there is none).
std::string Unit_Model(const std::string& description);
// The incoming command a LandView message runs: its first field in upper
// case when that is a code of the command table, "" for any other message
// (and for one shorter than 3 characters).
std::string LV_CommandCode(const std::string& text);
// LandView's exchange folder as Links::LV_TheTempFolder gives it.
std::string LV_TempFolderOf(app::frmMain& main);
// The n-th comma-separated field of a LandView message (from 1): leading
// blanks and trailing commas dropped, empty fields inside collapsed; past
// the last field, the last field. Not trimmed.
std::string LV_GetTheWord(std::string text, int n);
// Transverse Mercator easting and northing (metres) of a position in
// decimal degrees, in a UTM zone, with no false northing.
void LV_LatLongDD2UTM(std::int16_t zone, double lat, double lon, double& easting, double& northing);
double LV_meridianDist(double phi);
inline double LV_CSq(double v) { return v * v; }
// The measure tool's table: one numeric field "ID" numbering `count`
// shapes. `path` ends in ".dbf" afterwards (".shp" replaced). False when
// it could not be written.
bool LV_CreateDbaseFile(std::string& path, std::int16_t count, const std::string& unused = {});
// The bytes of that table.
std::string LV_DbaseBytes(std::int16_t count);
// Deletes a shapefile's set (.shp .shx .dbf .ain .aih .sbn .sbx).
void KillShapeFile(std::string path);
bool KillFile(const std::string& path);
// One line of LandView's user list: latitude, longitude, identifier and
// comment cut or padded to 10, 10, 20 and 9 Windows-1252 bytes; a blank
// identifier or comment becomes the row number, commas in them "_".
std::string LV_UserListLine(const std::string& lat, const std::string& lon, std::string ident, std::string comment,
                            int row);

// The refresh period setting's numeric rule: the answer stored and the
// period in milliseconds; an answer of 0 or less becomes "10".
struct RefreshRate {
    std::string stored;
    double seconds;
};
RefreshRate Refresh_Rate_Answer(const std::string& answer);

} // namespace links
