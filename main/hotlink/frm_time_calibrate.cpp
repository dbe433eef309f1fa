// The match properties dialog: the camera clock offset worked out from a
// photo's stamped time and the GPS time of the same moment, and the match
// threshold, written back to the hotlinking window's labels on OK.
#include "main/hotlink/frm_time_calibrate.h"

#include "platform/automation/vb_error.h"
#include "platform/text/vb.h"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace hotlink {

namespace vb = platform::vb;
using app::DialogControl;

namespace {

DialogControl make(std::string name, DialogControl::Kind kind, std::string caption, int left, int top, int width,
                   int height, std::string frame = {})
{
    DialogControl c;
    c.name = std::move(name);
    c.kind = kind;
    c.caption = std::move(caption);
    c.left = left, c.top = top, c.width = width, c.height = height;
    c.frame = std::move(frame);
    return c;
}

std::vector<DialogControl> layout()
{
    using K = DialogControl::Kind;
    const char* cal = "fraCalibration";
    const char* thr = "fraThreshold";
    return {
        make(cal, K::Frame, "Time Calibration:", 120, 120, 4575, 1815),
        make("lblImage", K::Label, "Image:", 240, 600, 960, 255, cal),
        make("lblGPS", K::Label, "GPS Point:", 240, 1080, 960, 255, cal),
        // Headings down to the boxes under them, captions up to the boxes beside them.
        make("lblDate", K::Label, "Date (MM/dd/yyyy)", 1320, 360, 1575, 240, cal),
        make("lblTime", K::Label, "Time (HH:mm:ss)", 3000, 360, 1575, 240, cal),
        make("tbxIDate", K::Text, "", 1320, 600, 1575, 285, cal),
        make("tbxITime", K::Text, "", 3000, 600, 1575, 285, cal),
        make("tbxGPSDate", K::Text, "", 1320, 1080, 1575, 285, cal),
        make("tbxGPSTime", K::Text, "", 3000, 1080, 1575, 285, cal),
        make("lblCalibration", K::Label, "Calibration (in Seconds): ", 240, 2160, 1935, 255),
        make("tbxCalibration", K::Text, "", 2280, 2130, 1575, 285),
        make(thr, K::Frame, "Maximum Time-Match Threshold:", 120, 2640, 4575, 855),
        make("lblHours", K::Label, "Hour(s): ", 240, 3030, 735, 255, thr),
        make("tbxHours", K::Text, "", 960, 3000, 495, 285, thr),
        make("lblMinutes", K::Label, "Minute(s):", 1680, 3030, 840, 255, thr),
        make("tbxMinutes", K::Text, "", 2520, 3000, 495, 285, thr),
        make("lblSeconds", K::Label, "Second(s):", 3240, 3030, 840, 255, thr),
        make("tbxSeconds", K::Text, "", 4080, 3000, 495, 285, thr),
        make("cmdOK", K::Button, "OK", 2160, 3720, 1215, 375),
        make("cmdCancel", K::Button, "Cancel", 3480, 3720, 1215, 375),
    };
}

bool is_part_box(const std::string& name) { return name == "tbxHours" || name == "tbxMinutes" || name == "tbxSeconds"; }

bool is_date_box(const std::string& name)
{
    return name == "tbxIDate" || name == "tbxITime" || name == "tbxGPSDate" || name == "tbxGPSTime";
}

} // namespace

std::string formatTimeSpan(const std::string& seconds)
{
    if (!vb::IsNumeric(seconds)) return {};
    const double n = vb::CDbl(seconds);
    if (!(std::fabs(n) < 9e18)) return {};
    // Remainders of the whole number keep the dividend's sign; quotients are
    // truncated toward zero.
    const auto whole = [](double v) { return std::int64_t(std::nearbyint(v)); };
    const double m = std::trunc(n / 60), h = std::trunc(m / 60), days = std::trunc(h / 24);
    return std::to_string(std::int64_t(days)) + "_" + std::to_string(whole(h) % 24) + ":" +
           std::to_string(whole(m) % 60) + ":" + std::to_string(whole(n) % 60);
}

frmTimeCalibrate::frmTimeCalibrate(LabelOf label, std::function<void()> labels_changed)
    : label_(std::move(label)), labels_changed_(std::move(labels_changed))
{
}

DialogControl* frmTimeCalibrate::find(const std::string& name)
{
    for (DialogControl& c : controls_)
        if (c.name == name) return &c;
    return nullptr;
}

const DialogControl& frmTimeCalibrate::control(const std::string& name) const
{
    for (const DialogControl& c : controls_)
        if (c.name == name) return c;
    throw std::out_of_range("frmTimeCalibrate has no control " + name);
}

void frmTimeCalibrate::Show()
{
    if (!loaded_) Form_Load();
    visible_ = true;
    changed();
}

void frmTimeCalibrate::Form_Load()
{
    controls_ = layout();
    loaded_ = true;
    // A threshold of fewer than three parts (a hand-edited setting) leaves
    // "0" in the boxes it does not reach.
    const std::vector<std::string> parts = vb::Split(label_("lblTimeMatch").caption, ":");
    const char* boxes[] = {"tbxHours", "tbxMinutes", "tbxSeconds"};
    for (std::size_t i = 0; i < 3; ++i) set_box(boxes[i], i < parts.size() ? parts[i] : "0");
    DialogControl& calibration = *find("tbxCalibration");
    calibration.text = label_("lblTimeCalibration").caption;
    calibration.tooltip = formatTimeSpan(calibration.text);
}

void frmTimeCalibrate::Form_Unload()
{
    if (!loaded_) return;
    loaded_ = visible_ = false;
    controls_.clear();
    changed();
}

void frmTimeCalibrate::set_box(const std::string& name, const std::string& text)
{
    DialogControl* box = find(name);
    if (!box) return;
    box->text = text;
    if (is_part_box(name)) {
        // A text that is not a number (an empty box included) becomes "0".
        if (!vb::IsNumeric(box->text)) box->text = "0";
    } else if (is_date_box(name)) {
        calcTimeDifference();
    }
}

void frmTimeCalibrate::calcTimeDifference()
{
    try {
        const std::string image = find("tbxIDate")->text + " " + find("tbxITime")->text;
        const std::string gps = find("tbxGPSDate")->text + " " + find("tbxGPSTime")->text;
        if (!vb::IsDate(image) || !vb::IsDate(gps)) return;
        const std::int64_t offset = vb::DateDiff_Seconds(vb::CDate(gps), vb::CDate(image));
        // The offset is a 32-bit count of seconds; one beyond changes nothing.
        if (offset > std::numeric_limits<std::int32_t>::max() || offset < std::numeric_limits<std::int32_t>::min())
            return;
        DialogControl& calibration = *find("tbxCalibration");
        calibration.text = std::to_string(offset);
        calibration.tooltip = formatTimeSpan(calibration.text);
    } catch (const platform::VbError&) {
        // Errors leave the boxes as they are.
    }
}

void frmTimeCalibrate::cmdOK_Click()
{
    DialogControl& match = label_("lblTimeMatch");
    match.caption = find("tbxHours")->text + ":" + find("tbxMinutes")->text + ":" + find("tbxSeconds")->text;
    DialogControl& calibration = label_("lblTimeCalibration");
    calibration.caption = find("tbxCalibration")->text;
    calibration.tooltip = formatTimeSpan(calibration.caption);
    if (labels_changed_) labels_changed_();
    Form_Unload();
}

void frmTimeCalibrate::SetGPS(const std::string& date, const std::string& time)
{
    if (!loaded_) return;
    set_box("tbxGPSDate", date);
    set_box("tbxGPSTime", time);
    changed();
}

void frmTimeCalibrate::Fill_Image(const std::string& internal_date)
{
    if (!loaded_) return;
    std::string text = internal_date;
    if (!vb::IsDate(text)) {
        for (int k = 0; k < 2; ++k) {
            const std::size_t colon = text.find(':');
            if (colon == std::string::npos) break;
            text[colon] = '/';
        }
    }
    if (!vb::IsDate(text)) return;
    const vb::Date d = vb::CDate(text);
    set_box("tbxIDate", vb::Format(d, "MM/dd/yyyy"));
    set_box("tbxITime", vb::Format(d, "HH:mm:ss"));
    changed();
}

app::Form::Result frmTimeCalibrate::Click(const std::string& name, int)
{
    DialogControl* c = find(name);
    if (!c || c->kind != DialogControl::Button) return NoControl;
    if (!c->enabled) return Disabled;
    if (name == "cmdOK") cmdOK_Click();
    else cmdCancel_Click();
    return Done;
}

app::Form::Result frmTimeCalibrate::SetValue(const std::string&, bool) { return NoControl; }

app::Form::Result frmTimeCalibrate::SetText(const std::string& name, const std::string& text)
{
    DialogControl* c = find(name);
    if (!c || c->kind != DialogControl::Text) return NoControl;
    if (!c->enabled) return Disabled;
    set_box(name, text);
    changed();
    return Done;
}

} // namespace hotlink
