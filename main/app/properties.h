// The settings dialog frmProperties as the main window uses it at start-up
// and from its menus: repairing the stored field definitions, choosing the
// projection mode and showing a tab. The dialog itself: frm_properties.h.
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
    // Whether the dialog is showing.
    virtual bool Visible() const { return false; }
    // Whether its EPSG list is chosen; a dialog not loaded is loaded first,
    // in the stored projection mode.
    virtual bool optEPSG() { return false; }
    // Drops the dialog (column hiding does); the next use loads it afresh.
    virtual void Unload() {}
    // The main window's display unit changed outside the dialog (the Units
    // menu): the Units tab shows it.
    virtual void unit_changed() {}
};

// The settings dialog of a main window (frmProperties, loaded at first use).
std::unique_ptr<PropertiesDialog> make_properties_dialog(frmMain& main);

} // namespace app
