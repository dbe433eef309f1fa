#include "main/links/links_seam.h"

#include "main/app/frm_main.h"

#include <iostream>

namespace links {

void LinksSeam::Refresh_Apps()
{
    main_.Caption = "Ostrevane - Garmin ";
    for (const char* n : {"mnuArcViewL", "mnuArcViewS", "mnuLandviewL", "mnuLandViewS", "mnuArcMapL", "mnuArcMapS",
                          "mnuGoogleLoad", "mnuGoogleSave", "mnuArcExplorerS", "mnuArcMapProperties"})
        if (app::MenuItem* m = main_.menus().find(n)) m->enabled = false;
    main_.changed(app::ChangeCaption | app::ChangeMenus);
}

void LinksSeam::Quiet_Driver(std::string& command_line)
{
    quiet_.push_back(command_line);
    // Quiet jobs are not run yet; say so where an unattended caller looks.
    std::cerr << "trekfold: quiet mode job not run: " << command_line << '\n';
}

void LinksSeam::Timer1_Timer()
{
    if (!main_.state().screen_window_open) Refresh_Apps();
}

std::unique_ptr<GisLinks> make_gis_links(app::frmMain& main) { return std::make_unique<LinksSeam>(main); }

} // namespace links

namespace basRegistry {

std::string Reg_GetValue(const std::string&, const std::string&, const std::string&) { return {}; }

} // namespace basRegistry
