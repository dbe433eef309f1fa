// Coordinates and accuracy as the main window reaches them: projecting the
// table, the projection catalogue and its display name, the CEP window and
// the projection entries of the menus.
#pragma once

#include <memory>
#include <string>

namespace app { class frmMain; }

namespace coords {

class Coordinates {
public:
    virtual ~Coordinates() = default;

    // Recomputes x_proj/y_proj of the selected rows (all rows when none is
    // selected): forward = latitude/longitude to projected, else back.
    virtual void Project_Table(bool forward) = 0;
    // Display name of the current projection; ArcMap mode when `arcmap`.
    virtual std::string getProjectionName(bool arcmap) = 0;
    // Rebuilds the projection catalogue from proj/nad/<kind> ("epsg", "esri").
    virtual void LoadProjections(const std::string& kind) = 0;
    // Shows the CEP calculator without blocking.
    virtual void show_frmCalculateCEP() = 0;
    // mnuGetProjection, mnuProjectCoordinates, mnuUnProjectCoordinates.
    virtual void menu_Click(const std::string& name, int index) = 0;
};

std::unique_ptr<Coordinates> make_coordinates(app::frmMain& main);

} // namespace coords
