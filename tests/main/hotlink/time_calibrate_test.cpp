// The match properties dialog over the hotlinking window's two labels.
#include "main/hotlink/frm_time_calibrate.h"

#include <gtest/gtest.h>

namespace {

struct Dialog {
    app::DialogControl match{"lblTimeMatch"}, calibration{"lblTimeCalibration"};
    int redraws = 0;
    hotlink::frmTimeCalibrate form{
        [this](const std::string& name) -> app::DialogControl& { return name == "lblTimeMatch" ? match : calibration; },
        [this] { ++redraws; }};
    Dialog(const std::string& threshold = "1:0:0", const std::string& offset = "0")
    {
        match.caption = threshold;
        calibration.caption = offset;
        form.Show();
    }
    std::string text(const char* name) { return form.control(name).text; }
};

TEST(TimeCalibrate, SpansReadableWithTheirSigns)
{
    EXPECT_EQ(hotlink::formatTimeSpan("3725"), "0_1:2:5");
    EXPECT_EQ(hotlink::formatTimeSpan("90061"), "1_1:1:1");
    EXPECT_EQ(hotlink::formatTimeSpan("-3725"), "0_-1:-2:-5");
    EXPECT_EQ(hotlink::formatTimeSpan("-79108"), "0_-21:-58:-28");
    EXPECT_EQ(hotlink::formatTimeSpan("soon"), "");
    EXPECT_EQ(hotlink::formatTimeSpan(""), "");
}

TEST(TimeCalibrate, OffsetFromTheFourBoxesAndOkWritesBothLabels)
{
    Dialog d("1:0:0", "-5");
    EXPECT_EQ(d.form.Caption(), "Hotlink Match Properties");
    EXPECT_EQ(d.text("tbxCalibration"), "-5");
    EXPECT_EQ(d.form.control("tbxCalibration").tooltip, "0_0:0:-5");
    d.form.SetText("tbxIDate", "05/04/2006");
    d.form.SetText("tbxITime", "13:00:10");
    d.form.SetText("tbxGPSDate", "05/04/2006");
    EXPECT_EQ(d.text("tbxCalibration"), "46810"); // a date alone is its midnight
    d.form.SetText("tbxGPSTime", "12:00:00");
    EXPECT_EQ(d.text("tbxCalibration"), "3610");
    EXPECT_EQ(d.form.control("tbxCalibration").tooltip, "0_1:0:10");
    // A camera behind gives a negative offset; one beyond 32 bits changes nothing.
    d.form.SetGPS("05/05/2006", "13:00:10");
    EXPECT_EQ(d.text("tbxCalibration"), "-86400");
    d.form.SetGPS("01/01/1900", "00:00:00");
    EXPECT_EQ(d.text("tbxCalibration"), "-86400");
    // The photo list's EXIF date fills the image boxes.
    d.form.Fill_Image("2008:10:22 16:28:39");
    EXPECT_EQ(d.text("tbxIDate"), "10/22/2008");
    EXPECT_EQ(d.text("tbxITime"), "16:28:39");
    d.form.SetGPS("10/23/2008", "14:27:07");
    EXPECT_EQ(d.text("tbxCalibration"), "-79108");

    d.form.SetText("tbxHours", "x");
    EXPECT_EQ(d.text("tbxHours"), "0");
    d.form.SetText("tbxMinutes", "30");
    EXPECT_EQ(d.form.Click("cmdOK"), app::Form::Done);
    EXPECT_EQ(d.match.caption, "0:30:0");
    EXPECT_EQ(d.calibration.caption, "-79108");
    EXPECT_EQ(d.calibration.tooltip, "0_-21:-58:-28");
    EXPECT_EQ(d.redraws, 1);
    EXPECT_FALSE(d.form.Loaded());
}

TEST(TimeCalibrate, CancelChangesNothingAndShortThresholdsFillWithZero)
{
    Dialog d("2:30", "7");
    EXPECT_EQ(d.text("tbxHours"), "2");
    EXPECT_EQ(d.text("tbxMinutes"), "30");
    EXPECT_EQ(d.text("tbxSeconds"), "0");
    d.form.SetText("tbxCalibration", "99");
    d.form.Click("cmdCancel");
    EXPECT_FALSE(d.form.Visible());
    EXPECT_EQ(d.match.caption, "2:30");
    EXPECT_EQ(d.calibration.caption, "7");
    // Shown again, it starts from the labels.
    d.form.Show();
    EXPECT_EQ(d.text("tbxCalibration"), "7");
    EXPECT_EQ(d.text("tbxIDate"), "");
}

} // namespace
