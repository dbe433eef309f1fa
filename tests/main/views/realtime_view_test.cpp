// The real-time window's Qt view on the offscreen platform.
#include "tests/support/qt_app.h"
#include "main/views/realtime_view.h"
#include "tests/main/realtime/realtime_rig.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

// The real-time window's view bound over a tracker, tracking not started.
struct Window {
    bool qt = (test_support::ensure_qapplication(), true);
    rttest::Tracker t{false};
    QWidget owner;
    app::RealTimeView* view = (app::bind_realtime_view(t.w(), &owner), owner.findChild<app::RealTimeView*>());
};

} // namespace

TEST(RealTimeView, ShowsWithTrackingAndHandsActionsToTheWindow)
{
    Window w;
    ASSERT_TRUE(w.view);
    EXPECT_FALSE(w.view->isVisible());
    w.t.start();
    ASSERT_TRUE(w.view->isVisible());
    EXPECT_EQ(w.view->windowTitle(), "Real Time Window");

    auto* distance = qobject_cast<QCheckBox*>(w.view->widget("chkTolerance(1)"));
    ASSERT_TRUE(distance);
    EXPECT_FALSE(w.view->widget("tbxToleranceValue(1)")->isEnabled());
    distance->setChecked(true);
    EXPECT_TRUE(w.t.w().control("chkTolerance(1)").value);
    EXPECT_TRUE(w.view->widget("tbxToleranceValue(1)")->isEnabled());

    auto* pan = qobject_cast<QLineEdit*>(w.view->widget("tbxPanWindow"));
    pan->setText("10");
    emit pan->textEdited("10");
    emit pan->editingFinished(); // leaving the box
    EXPECT_EQ(pan->text(), "25");

    EXPECT_FALSE(w.view->widget("cmdControls(1)")->isEnabled()); // no file yet
    w.view->close(); // the close box stops tracking
    EXPECT_FALSE(w.t.main.state().real_time);
    EXPECT_FALSE(w.view->isVisible());
}

TEST(RealTimeView, CommandButtonsShowPicturesAndTheChosenOutputTypeIsBold)
{
    Window w;
    ASSERT_TRUE(w.view);
    w.t.start();
    const char* const tips[4] = {"Collect a single point ", "Starts recording data for selected data type",
                                 "Pauses data recording for active data type",
                                 "Stops collection of data for active data type"};
    for (int i = 0; i < 4; ++i) {
        auto* b = qobject_cast<QPushButton*>(w.view->widget("cmdControls(" + std::to_string(i) + ")"));
        ASSERT_TRUE(b) << i;
        EXPECT_FALSE(b->icon().isNull()) << i;
        EXPECT_FALSE(b->icon().pixmap(16, 16).isNull()) << i;
        EXPECT_EQ(b->toolTip().toStdString(), tips[i]);
    }
    auto bold = [&](int i) { return w.view->widget("optDataType(" + std::to_string(i) + ")")->font().bold(); };
    EXPECT_TRUE(bold(0));
    EXPECT_FALSE(bold(1));
    for (int chosen : {1, 2, 0}) {
        qobject_cast<QRadioButton*>(w.view->widget("optDataType(" + std::to_string(chosen) + ")"))->click();
        for (int i = 0; i < 3; ++i) EXPECT_EQ(bold(i), i == chosen) << chosen << " " << i;
    }
}

// A frame the window turns off takes the controls drawn inside it along:
// with no map program to show the points, the GIS display options cannot
// be changed; the tolerances' frame stays usable.
TEST(RealTimeView, ControlsInsideADisabledFrameAreDisabled)
{
    Window w;
    ASSERT_TRUE(w.view);
    w.t.start();
    EXPECT_TRUE(w.view->widget("chkGISDisplay")->isEnabled());
    w.t.fix(45.1, -93.1);
    ASSERT_FALSE(w.t.w().control("frmGISDisplay").enabled);
    for (const char* name : {"frmGISDisplay", "chkGISDisplay", "chkPan", "tbxPanWindow", "chkTrackUp"})
        EXPECT_FALSE(w.view->widget(name)->isEnabled()) << name;
    EXPECT_TRUE(w.view->widget("chkTolerance(0)")->isEnabled());
}

// The output file's path is a value, not a caption: a long one is shortened
// at its start (its file name stays seen) and the window keeps its size.
TEST(RealTimeView, ALongOutputPathNeitherGrowsTheWindowNorHidesTheFileName)
{
    Window w;
    ASSERT_TRUE(w.view);
    w.t.start();
    const QSize before = w.view->size();
    const std::string folder = w.t.dir.path + "/field-survey-2026/north-ridge-transect/another-folder-down";
    std::filesystem::create_directories(folder);
    w.t.dialogs.file(folder + "/realtime-points-day-one.shp");
    ASSERT_EQ(w.t.w().Click("cmdLoad"), app::Form::Done);
    EXPECT_EQ(w.view->size(), before);
    auto* path = qobject_cast<QLabel*>(w.view->widget("lblPath(0)"));
    ASSERT_TRUE(path);
    EXPECT_LE(path->fontMetrics().horizontalAdvance(path->text()), path->width());
    EXPECT_TRUE(path->text().endsWith("realtime-points-day-one.shp")) << path->text().toStdString();
}
