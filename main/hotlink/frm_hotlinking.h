// frmHotlinking, "Hotlink Form": the window in which the user picks a folder
// of photos, sees each photo's capture date, orders and prunes the list,
// previews a photo, renames a photo file, sets the match options and runs
// the match of the photos to the records table. One modeless instance,
// owned by the hotlinking subsystem; it owns the match properties dialog.
#pragma once

#include "main/app/form.h"
#include "main/hotlink/matching.h"
#include "platform/grid/grid.h"
#include "platform/ui/image.h"

#include <memory>
#include <string>
#include <vector>

namespace app { class frmMain; }
namespace platform { struct VbError; }

namespace hotlink {

class frmTimeCalibrate;

class frmHotlinking : public app::Form {
public:
    frmHotlinking(app::frmMain& main, ImagingServer& server);
    ~frmHotlinking() override;

    // --- the face shared by windows driven by control name ----------------
    std::string Name() const override { return "frmHotlinking"; }
    std::string Caption() const override { return "Hotlink Form"; }
    bool Loaded() const override { return loaded_; }
    bool Visible() const override { return loaded_ && visible_; }
    const std::vector<app::DialogControl>& controls() const override { return controls_; }
    const std::vector<app::MenuItem>& menus() const override { return menus_; }
    // Buttons, options, labels (their click) and menu items.
    Result Click(const std::string& name, int index = -1) override;
    Result SetValue(const std::string& name, bool checked) override;
    // Dir1: its Path (Dir1_Change runs); Drive1 and cboFileType: an entry of
    // their list chosen (NoItem for another text).
    Result SetText(const std::string& name, const std::string& text) override;
    Result Resize(int width, int height) override;
    Result CellClick(const std::string& grid, int row, int col, int row_sel, int col_sel, bool twice) override;
    Result CellMove(const std::string& grid, int row, int col, int row_sel, int col_sel) override;
    void Close() override { Form_Unload(); }

    // Loads the window when needed and shows it without blocking; it
    // becomes the active window.
    void Show();
    // The window became the active one (the user turned to it).
    void Activate();

    // --- handlers -----------------------------------------------------------
    void Form_Load();
    void Form_Resize();
    void Form_Unload();
    void Drive1_Change();
    void Dir1_Change();
    void cboFileType_Click();
    void chkPreview_Click();
    void msfgTable_EnterCell();
    void msfgTable_Click();
    void msfgTable_dblClick();
    void cmdUp_Click();
    void cmdDown_Click();
    void cmdDeleteSel_Click();
    void cmdCopy_Click();
    void optBestMatch_Click();
    void optNonDate_Click();
    void cmdMatch_Click();
    void checkForExistingHotlink();
    // Draws the picture file into the preview box, scaled to fit with its
    // proportions kept.
    void stretchpic(const std::string& path);

    // --- state ----------------------------------------------------------------
    int Width = 8500, Height = 5500; // twips, the inside of the window
    int WindowState = 0;             // 0 normal, 1 minimised, 2 maximised
    platform::Grid msfgTable{2, 3};
    // The preview as drawn (empty when cleared), at the box's upper left.
    const platform::Image& pictPreview() const { return preview_; }
    const app::DialogControl& control(const std::string& name) const;
    app::DialogControl& control(const std::string& name);
    // Dir1.Path.
    const std::string& folder() const { return control("Dir1").text; }
    const HotlinkCollection& hotlinks() const { return hotlinks_; }
    frmTimeCalibrate& TimeCalibrate() { return *calibrate_; }

private:
    app::DialogControl* find(const std::string& name);
    app::MenuItem* find_menu(const std::string& name);
    // Runs a handler; an error it lets through ends in the window's box
    // titled "frmHotlinking." & procedure.
    template <class F>
    void trapped(const char* procedure, F body);
    void error_box(const std::string& procedure, const platform::VbError& e);
    void layout();
    void enable_times(bool on);
    int column(const std::string& header) const; // in msfgTable's row 0, -1 when absent
    // Whether (row, col) to (row_sel, col_sel) lies in msfgTable.
    bool in_table(int row, int col, int row_sel, int col_sel) const;
    // Makes a data cell current with that selection; EnterCell runs when
    // the current cell changed.
    void move_to(int row, int col, int row_sel, int col_sel);
    // The photo file of the current row ("" when previews are off or no
    // data row is current).
    std::string current_photo() const;
    // After the table's rows or current cell moved under the preview: a
    // preview of another row's photo is redrawn for the current row, or
    // cleared when its file name cell is not current.
    void follow_current();

    app::frmMain& main_;
    ImagingServer& server_;
    bool loaded_ = false, visible_ = false;
    std::vector<app::DialogControl> controls_;
    std::vector<app::MenuItem> menus_;
    HotlinkCollection hotlinks_;
    platform::Image preview_;
    std::string previewed_; // the photo preview_ was drawn for
    std::unique_ptr<frmTimeCalibrate> calibrate_;
};

} // namespace hotlink
