// frmProperties, "Trekfold Properties": the settings dialog as a plain
// class. Its controls are data (captions, texts, list items, check marks,
// enabled and visible flags, twips); its four field grids are grid models;
// the handlers act through the main window's services. A Qt view draws it;
// tests and the probe drive it by control name.
#pragma once

#include "main/app/form.h"
#include "main/app/properties.h"
#include "main/coords/catalogue.h"
#include "platform/grid/grid.h"

#include <array>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

namespace app {

class frmProperties : public PropertiesDialog {
public:
    static constexpr const char* kTabs[7] = {"Projection", "Waypoint", "Track", "Route",
                                             "RTimeWpt",   "ArcMap",   "Units"};
    static constexpr const char* kGrids[4] = {"msfgWaypoint", "msfgTrack", "msfgRoute", "msfgRealTime"};

    explicit frmProperties(frmMain& main);

    // --- the main window's face -------------------------------------------
    void SetFieldSettings(const std::string& type) override;
    void optEPSG_Click() override;
    void optESRI_Click() override;
    void optArcMap_Click() override;
    // Selects the tab and shows the dialog modally (on_show_modal waits,
    // when set; otherwise the call returns with the dialog shown).
    void Show(int tab) override;
    void loadProjectionListboxes() override;
    bool Visible() const override { return loaded_ && visible_; }
    bool optEPSG() override { return control("optEPSG").value; }
    // Drops the dialog; the next use loads it afresh from the settings.
    void Unload() override;
    void unit_changed() override;

    // --- handlers -------------------------------------------------------------
    void LoadFields();
    void ReadOnlyCheck(int grid, int row, int col);
    void EditAlias(int grid, int row, int col);
    void cmdWReset_Click();
    void cmdOK_Click();
    void cmdCancel_Click();
    void SSTProperties_Click(int tab);
    void Form_Resize(int width, int height);
    void loadGroupProjections();
    void cbxPOSCCodes_Click();
    void lbxDatums_Click();
    void lbxProjections_MouseDown();
    void cmdNoProj_Click();
    void cmdOstrevane_Click();
    void cmdPRJLoad_Click();

    // --- by control name, as the view and the probe act -----------------------
    enum Result { Done, Disabled, NoControl, NoItem };
    // Whether a control can be used: it, its frame and its tab showing and
    // enabled, and the dialog shown.
    bool usable(const DialogControl& c) const;
    Result Click(const std::string& name);                  // a button or option
    Result SetValue(const std::string& name, bool checked); // a check box
    Result SetText(const std::string& name, const std::string& text);
    Result Choose(const std::string& name, const std::string& item); // list or combo entry
    Result KeyPress(const std::string& name, int code);
    Result CellClick(const std::string& grid, int row, int col, bool twice);

    // --- state ----------------------------------------------------------------
    std::string Caption = "Trekfold Properties";
    int Width = 6495, Height = 7560; // twips
    // The least size that holds the fixed parts of the layout: the Units
    // tab's frames (right edge 6255) and, above the row of buttons, its
    // time zone frame (lower edge 6400).
    static constexpr int kLeastWidth = 6375, kLeastHeight = 7250;
    bool minimised = false;
    int tab() const { return tab_; }
    DialogControl& control(const std::string& name);
    const DialogControl& control(const std::string& name) const;
    DialogControl* find(const std::string& name);
    const std::vector<DialogControl>& controls() const { return controls_; }
    platform::Grid& grid(int i) { return grids_[i]; }
    const platform::Grid& grid(int i) const { return grids_[i]; }
    // A grid row's mark: true for "check".
    bool mark(int grid, int row) const;

    // The view: told after every change; runs the modal wait of Show.
    std::function<void()> on_changed;
    std::function<void()> on_show_modal;

private:
    // Loads the dialog when it is not loaded. Loaded again after an unload,
    // it runs the stored projection mode's handler, unless the caller is a
    // mode handler itself (`with_mode` false), which sets its own.
    void ensure_loaded(bool with_mode = true);
    void Form_Load();
    void build();
    void fill_controls();
    void set_mark(int grid, int row, bool checked);
    void area_changed(const std::string& prefix);
    void select(DialogControl& list, int index);
    void mode(bool esri);
    void describe(const std::string* line);
    void save_grids();
    std::string log_path(std::string path) const;
    Result reach(const std::string& name, std::initializer_list<DialogControl::Kind> kinds, DialogControl*& c);
    void trapped(const std::string& procedure, const std::function<void()>& handler);
    void changed() { if (on_changed) on_changed(); }

    frmMain& main_;
    bool loaded_ = false, visible_ = false, reloading_ = false;
    int tab_ = 0;
    std::vector<DialogControl> controls_;
    std::array<platform::Grid, 4> grids_;
    std::vector<coords::ProjectionGroup> groups_; // of the catalogue last shown
    // The code whose kept PRJ text tbxPRJ was filled with ("" when the text
    // belongs to no code, as ArcMap's own does): OK stores the text only
    // while the code box still holds that code.
    std::string prj_code_;
};

} // namespace app
