// frmRealTime, "Real Time Window": the tolerances and GIS display settings
// the point flow reads for every fix, its projected readouts, and the
// output shapefile that kept points are recorded into (one point per fix,
// or a run of fixes as one line or polygon), driven by four command buttons
// (single point, start, pause, stop). Array controls are named
// "NAME(INDEX)", as chkTolerance(1) or cmdControls(3).
#pragma once

#include "main/app/form.h"
#include "platform/automation/variant.h"

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace app { class frmMain; }

namespace realtime {

class frmRealTime : public app::Form {
public:
    // Button colours: the active command and the others.
    static constexpr std::uint32_t kHighlight = 0x8000000Du;
    static constexpr std::uint32_t kButtonFace = 0x8000000Fu;

    explicit frmRealTime(app::frmMain& main);

    // --- the face shared by windows driven by control name ----------------
    std::string Name() const override { return "frmRealTime"; }
    std::string Caption() const override { return "Real Time Window"; }
    bool Loaded() const override { return loaded_; }
    bool Visible() const override { return loaded_ && visible_; }
    const std::vector<app::DialogControl>& controls() const override { return controls_; }
    Result Click(const std::string& name, int index = -1) override;
    Result SetValue(const std::string& name, bool checked) override;
    Result SetText(const std::string& name, const std::string& text) override;
    Result LostFocus(const std::string& name) override;
    Result KeyDown(int key_code, int shift) override;
    void Close() override { cmdExit_Click(); } // the close box acts as Exit

    // Loads the window (hidden) when it is not loaded; `show` also shows it,
    // minimised with `minimised`.
    void Load(bool show = false, bool minimised = false);
    void Unload();
    int WindowState = 0; // 0 normal, 1 minimised

    // --- the output shapefile ---------------------------------------------
    void setCommandControls(int state, bool applyStop);
    // One kept point: its values and the field names, in step.
    void Record_Point(const std::vector<std::string>& values, const std::vector<std::string>& fieldNames);
    bool Load_Shapefile(const std::string& path, const std::string& shapeType, bool createNew);
    bool Load_DBase(const std::string& path, bool createNew);
    // The save dialog's choice: the path ("" when cancelled) and createNew.
    struct UserFile {
        std::string path;
        bool createNew = true;
    };
    UserFile get_UserFilename();
    void cmdLoad_Click();
    void cmdRemove_Click();
    void optDataType_Click(int index);
    void cmdControls_Click(int index);
    void Form_KeyDown(int key_code, int shift);

    // --- tolerances, display and settings ---------------------------------
    void chkTolerance_Click(int index);
    void tbxToleranceValue_Change(int index);
    void tbxPanWindow_LostFocus();
    void chkGISDisplay_Click();
    void cmdExit_Click();

    // --- what the point flow reads and writes -------------------------------
    // The view is told once the point flow has changed controls.
    using app::Form::changed;
    app::DialogControl& control(const std::string& name);
    const app::DialogControl& control(const std::string& name) const;
    // The tag kept with a control ("optDataType(1)", "chkGISDisplay").
    std::string Tag(const std::string& name) const;
    // The background colour of cmdControls(index).
    std::uint32_t ButtonColor(int index) const { return colors_[std::size_t(index & 3)]; }
    bool recording() const { return recording_; }
    bool shape_end() const { return shape_end_; }
    int command_state() const { return command_state_; }
    // Vertices waiting for the shape that is being built.
    int pending_vertices() const;

private:
    void Form_Initialize();
    void Form_Load();
    void Form_Unload();
    void Settings_Load();
    void Settings_Save();
    // The selected optDataType's index.
    int selected_type() const;
    app::DialogControl* find(const std::string& name);
    void error_box(int number, const std::string& source, const std::string& description);
    // Calls a member of the ArcMap extension when ArcMap runs; errors are
    // the caller's.
    void arcmap(const std::string& member, std::vector<platform::Variant> args);

    app::frmMain& main_;
    bool loaded_ = false, visible_ = false, unloading_ = false;
    std::vector<app::DialogControl> controls_;
    std::map<std::string, std::string> tags_;
    std::array<std::uint32_t, 4> colors_{kButtonFace, kButtonFace, kButtonFace, kButtonFace};
    // Rows are fields, column 0 their names, columns 1.. the vertices.
    std::vector<std::vector<std::string>> vertices_;
    bool recording_ = false, shape_end_ = false;
    int command_state_ = -1;
};

} // namespace realtime
