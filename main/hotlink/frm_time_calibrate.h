// frmTimeCalibrate, "Hotlink Match Properties": the dialog that sets the two
// values of the photo match, the camera clock offset (camera minus GPS, in
// whole seconds, worked out from a photo's stamped date and time and the
// GPS date and time of the same moment) and the match threshold "h:m:s".
// It keeps no state of its own: it reads and, on OK, writes the hotlinking
// window's labels lblTimeMatch and lblTimeCalibration.
//
// frmHotlinking owns it, shows it modeless (Show), registers it by name
// ("frmTimeCalibrate", register_form) and unloads it when it unloads
// itself; frmMain's records grid click reaches SetGPS through the
// Hotlinking face, the photo list's click reaches Fill_Image.
#pragma once

#include "main/app/form.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace hotlink {

// The readable span of a number of seconds: days & "_" & hours & ":" &
// minutes & ":" & seconds, without leading zeros, each part keeping the
// sign ("0_-1:-2:-5"); "" for a text that is not a number.
std::string formatTimeSpan(const std::string& seconds);

class frmTimeCalibrate : public app::Form {
public:
    // The hotlinking window's label of that name ("lblTimeMatch",
    // "lblTimeCalibration"), and its redraw after OK changed them.
    using LabelOf = std::function<app::DialogControl&(const std::string& name)>;
    frmTimeCalibrate(LabelOf label, std::function<void()> labels_changed);

    std::string Name() const override { return "frmTimeCalibrate"; }
    std::string Caption() const override { return "Hotlink Match Properties"; }
    bool Loaded() const override { return loaded_; }
    bool Visible() const override { return loaded_ && visible_; }
    const std::vector<app::DialogControl>& controls() const override { return controls_; }
    Result Click(const std::string& name, int index = -1) override;
    Result SetValue(const std::string& name, bool checked) override;
    Result SetText(const std::string& name, const std::string& text) override;
    void Close() override { Form_Unload(); }

    // Loads the dialog when it is not loaded and shows it without blocking.
    void Show();
    void Form_Load();
    void Form_Unload();
    void cmdOK_Click();
    void cmdCancel_Click() { Form_Unload(); }
    // The GPS boxes typed ("MM/dd/yyyy", "HH:mm:ss"), their Change handlers run.
    void SetGPS(const std::string& date, const std::string& time);
    // A photo row's "InternalDate" into the image boxes, when it reads as a
    // date-time (EXIF "2008:10:22 16:28:39" included).
    void Fill_Image(const std::string& internal_date);
    // The offset of the four boxes into tbxCalibration and its tip; nothing
    // when either side is not a date-time.
    void calcTimeDifference();

    const app::DialogControl& control(const std::string& name) const;

private:
    app::DialogControl* find(const std::string& name);
    void set_box(const std::string& name, const std::string& text); // and its Change handler

    LabelOf label_;
    std::function<void()> labels_changed_;
    bool loaded_ = false, visible_ = false;
    std::vector<app::DialogControl> controls_;
};

} // namespace hotlink
