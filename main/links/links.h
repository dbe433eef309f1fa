// Automation and GIS program links as the main window reaches them: the
// periodic detection of running GIS programs, the quiet-mode driver, the
// LandView link and the GIS entries of the File menu.
#pragma once

#include <memory>
#include <string>

namespace app { class frmMain; }

namespace links {

class GisLinks {
public:
    virtual ~GisLinks() = default;

    // Detects the running GIS programs, sets their flags and menus and the
    // window caption ("Ostrevane - Garmin " and one name per program).
    virtual void Refresh_Apps() = 0;
    // Runs one quiet-mode job from the whole command line and ends the
    // program after it (except after a real-time start).
    virtual void Quiet_Driver(std::string& command_line) = 0;
    // The main window's Timer1 tick: Refresh_Apps unless the receiver
    // screen window is open.
    virtual void Timer1_Timer() = 0;
    // Sets ToDDE's text and pokes it over the LandView link; a missing
    // link is ignored.
    virtual void ToDDE_Poke(const std::string& text) = 0;
    // Whether LandView runs with its DDE link open (the link is opened when
    // it runs); `message`: tell the user when it does not.
    virtual bool LV_Exists(bool message) = 0;
    // Whether ArcView runs with its DDE link on lblGPSDesc1 open; `message`
    // as LV_Exists.
    virtual bool Arcview_Exists(bool message) = 0;
    // Executes an ArcView script command on lblGPSDesc1's DDE link.
    virtual void lblGPSDesc1_LinkExecute(const std::string& command) = 0;
    // Handlers of the GIS entries of the File menu (ArcView, ArcMap,
    // Landview, Google Earth, ArcExplorer) and of Refresh Apps and Set App
    // Refresh Rate.
    virtual void menu_Click(const std::string& name, int index) = 0;
};

std::unique_ptr<GisLinks> make_gis_links(app::frmMain& main);

} // namespace links

namespace basRegistry {

// A machine-wide value: a text (cut at its first NUL), a number as its
// decimal text, "" for any other type or when the key or value is missing.
std::string Reg_GetValue(const std::string& root, const std::string& key, const std::string& value_name);

} // namespace basRegistry
