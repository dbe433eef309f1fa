// The settings dialog frmProperties as the main window uses it at start-up
// and from its menus: repairing the stored field definitions, choosing the
// projection mode and showing a tab.
#pragma once

#include <memory>
#include <string>

namespace app {

class frmMain;

class PropertiesDialog {
public:
    virtual ~PropertiesDialog() = default;
    // Repairs the four stored field definition lists; a record type name
    // first resets that type's list to its default.
    virtual void SetFieldSettings(const std::string& type) = 0;
    // The projection mode options and their handlers.
    virtual void optEPSG_Click() = 0;
    virtual void optESRI_Click() = 0;
    virtual void optArcMap_Click() = 0;
    // Shows the dialog modally on a tab: 0 Projection, 1 Waypoint, 2 Track,
    // 3 Route, 4 RTimeWpt, 5 ArcMap, 6 Units.
    virtual void Show(int tab) = 0;
    // Fills the datum and projection lists from the projection catalogue.
    virtual void loadProjectionListboxes() {}
    // Whether the dialog is showing, and whether its EPSG list is chosen.
    virtual bool Visible() const { return false; }
    virtual bool optEPSG() const { return false; }
};

// The dialog as far as it is built: the field-definition repair of the
// records table, and the projection options, which tick themselves and
// load their projection list ("epsg", "esri"); the dialog is never shown.
std::unique_ptr<PropertiesDialog> make_properties_dialog(frmMain& main);

} // namespace app
