// Coordinates and accuracy as the main window reaches them: converting the
// table's latitude/longitude to and from its projected columns, one point
// at a time or the whole table; the projection catalogue and the current
// projection's definition and display name; the CEP window and the
// projection entries of the menus.
//
// Conversions run through the PROJ library between WGS84 and the current
// projection (setting proj/proj), or, when proj/projfile is "arcmap" and the
// ArcMap extension object is present, through the extension's Project_XY
// and project_XYs with the projection text proj/am_proj.
#pragma once

#include "main/coords/catalogue.h"

#include <memory>
#include <string>

namespace app { class frmMain; }
namespace platform { class ProjLibrary; }

namespace coords {

class frmCalculateCEP;

class Coordinates {
public:
    virtual ~Coordinates() = default;

    // Converts one pair: forward from longitude/latitude (x, y) to the
    // projection, else back. The outputs are written on success (and, in
    // ArcMap mode, receive whatever the extension left). Failures are shown.
    virtual bool Project_Point(double& x, double& y, bool forward, double& out_x, double& out_y) = 0;
    // Converts every data row: forward "long"/"lat" to "x_proj"/"y_proj",
    // else back. True when the whole table was converted; an empty table
    // gives False without a word. Inverse leaves rows without a numeric
    // "x_proj"/"y_proj" pair as they are.
    virtual bool Project_Table(bool forward) = 0;
    // Rebuilds the projection catalogue from proj/nad/<kind> ("epsg",
    // "esri") under the program folder; proposes the default projection
    // on the first run.
    virtual void LoadProjections(const std::string& kind) = 0;
    // The PROJ definition of the current projection; "" (after an error
    // box) when the catalogue lacks it.
    virtual std::string getProjectionDescription() = 0;
    // Display name of the current projection; ArcMap mode when `arcmap`.
    virtual std::string getProjectionName(bool arcmap) = 0;
    // The catalogue of the last load; nullptr before the first.
    virtual const ProjectionCatalogue* catalogue() const = 0;
    // Shows the CEP calculator without blocking (loading it first when
    // it is not loaded).
    virtual void show_frmCalculateCEP() = 0;
    // The CEP calculator, made (not loaded) on first use.
    virtual frmCalculateCEP& CalculateCEP() = 0;
    // mnuGetProjection, mnuSetProjection, mnuProjectCoordinates,
    // mnuUnProjectCoordinates.
    virtual void menu_Click(const std::string& name, int index) = 0;
};

// The text of a classic PROJ error number.
std::string pjErrorString(int error);

// The coordinates of a main window over the PROJ library of its program
// folder (created at the first conversion).
std::unique_ptr<Coordinates> make_coordinates(app::frmMain& main);
// The same over a given library (tests hand in a fake).
std::unique_ptr<Coordinates> make_coordinates(app::frmMain& main, std::shared_ptr<platform::ProjLibrary> proj);

} // namespace coords
