// The match properties dialog's Qt view on the offscreen platform.
#include "tests/support/qt_app.h"
#include "main/views/time_calibrate_view.h"
#include "main/hotlink/frm_time_calibrate.h"

#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

TEST(TimeCalibrateView, TypingReachesTheDialogAndOkHidesIt)
{
    test_support::ensure_qapplication();
    app::DialogControl match{"lblTimeMatch", app::DialogControl::Label, "1:0:0"};
    app::DialogControl calibration{"lblTimeCalibration", app::DialogControl::Label, "0"};
    hotlink::frmTimeCalibrate form(
        [&](const std::string& n) -> app::DialogControl& { return n == "lblTimeMatch" ? match : calibration; }, {});
    QWidget owner;
    app::bind_time_calibrate_view(form, &owner);
    auto* view = owner.findChild<app::TimeCalibrateView*>();
    ASSERT_TRUE(view);
    form.Show();
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(view->windowTitle(), "Hotlink Match Properties");
    EXPECT_EQ(qobject_cast<QGroupBox*>(view->widget("fraThreshold"))->title(), "Maximum Time-Match Threshold:");
    auto* hours = qobject_cast<QLineEdit*>(view->widget("tbxHours"));
    ASSERT_TRUE(hours);
    EXPECT_EQ(hours->text(), "1");
    emit hours->textEdited("x"); // what typing sends
    EXPECT_EQ(hours->text(), "0");
    qobject_cast<QPushButton*>(view->widget("cmdOK"))->click();
    EXPECT_EQ(match.caption, "0:0:0");
    EXPECT_FALSE(view->isVisible());
}

} // namespace
