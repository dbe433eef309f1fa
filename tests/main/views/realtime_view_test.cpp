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

// The real-time window's view, with tracking started.
static app::RealTimeView* started_view(rttest::Tracker& t, QWidget& owner)
{
    app::bind_realtime_view(t.w(), &owner);
    t.start();
    return owner.findChild<app::RealTimeView*>();
}

TEST(RealTimeView, ShowsWithTrackingAndHandsActionsToTheWindow)
{
    test_support::ensure_qapplication();
    rttest::Tracker t(false);
    QWidget owner;
    app::bind_realtime_view(t.w(), &owner);
    auto* view = owner.findChild<app::RealTimeView*>();
    ASSERT_TRUE(view);
    EXPECT_FALSE(view->isVisible());
    t.start();
    ASSERT_TRUE(view->isVisible());
    EXPECT_EQ(view->windowTitle(), "Real Time Window");

    auto* distance = qobject_cast<QCheckBox*>(view->widget("chkTolerance(1)"));
    ASSERT_TRUE(distance);
    EXPECT_FALSE(view->widget("tbxToleranceValue(1)")->isEnabled());
    distance->setChecked(true);
    EXPECT_TRUE(t.w().control("chkTolerance(1)").value);
    EXPECT_TRUE(view->widget("tbxToleranceValue(1)")->isEnabled());

    auto* pan = qobject_cast<QLineEdit*>(view->widget("tbxPanWindow"));
    pan->setText("10");
    emit pan->textEdited("10");
    emit pan->editingFinished(); // leaving the box
    EXPECT_EQ(pan->text(), "25");

    EXPECT_FALSE(view->widget("cmdControls(1)")->isEnabled()); // no file yet
    view->close(); // the close box stops tracking
    EXPECT_FALSE(t.main.state().real_time);
    EXPECT_FALSE(view->isVisible());
}

TEST(RealTimeView, CommandButtonsShowPicturesAndTheChosenOutputTypeIsBold)
{
    test_support::ensure_qapplication();
    rttest::Tracker t(false);
    QWidget owner;
    auto* view = started_view(t, owner);
    ASSERT_TRUE(view);
    const char* const tips[4] = {"Collect a single point ", "Starts recording data for selected data type",
                                 "Pauses data recording for active data type",
                                 "Stops collection of data for active data type"};
    for (int i = 0; i < 4; ++i) {
        auto* b = qobject_cast<QPushButton*>(view->widget("cmdControls(" + std::to_string(i) + ")"));
        ASSERT_TRUE(b) << i;
        EXPECT_FALSE(b->icon().isNull()) << i;
        EXPECT_FALSE(b->icon().pixmap(16, 16).isNull()) << i;
        EXPECT_EQ(b->toolTip().toStdString(), tips[i]);
    }
    auto bold = [&](int i) { return view->widget("optDataType(" + std::to_string(i) + ")")->font().bold(); };
    EXPECT_TRUE(bold(0));
    EXPECT_FALSE(bold(1));
    for (int chosen : {1, 2, 0}) {
        qobject_cast<QRadioButton*>(view->widget("optDataType(" + std::to_string(chosen) + ")"))->click();
        for (int i = 0; i < 3; ++i) EXPECT_EQ(bold(i), i == chosen) << chosen << " " << i;
    }
}

// A frame the window turns off takes the controls drawn inside it along:
// with no map program to show the points, the GIS display options cannot
// be changed; the tolerances' frame stays usable.
TEST(RealTimeView, ControlsInsideADisabledFrameAreDisabled)
{
    test_support::ensure_qapplication();
    rttest::Tracker t(false);
    QWidget owner;
    auto* view = started_view(t, owner);
    ASSERT_TRUE(view);
    EXPECT_TRUE(view->widget("chkGISDisplay")->isEnabled());
    t.fix(45.1, -93.1);
    ASSERT_FALSE(t.w().control("frmGISDisplay").enabled);
    for (const char* name : {"frmGISDisplay", "chkGISDisplay", "chkPan", "tbxPanWindow", "chkTrackUp"})
        EXPECT_FALSE(view->widget(name)->isEnabled()) << name;
    EXPECT_TRUE(view->widget("chkTolerance(0)")->isEnabled());
}

// The output file's path is a value, not a caption: a long one is shortened
// at its start (its file name stays seen) and the window keeps its size.
TEST(RealTimeView, ALongOutputPathNeitherGrowsTheWindowNorHidesTheFileName)
{
    test_support::ensure_qapplication();
    rttest::Tracker t(false);
    QWidget owner;
    auto* view = started_view(t, owner);
    ASSERT_TRUE(view);
    const QSize before = view->size();
    const std::string folder = t.dir.path + "/field-survey-2026/north-ridge-transect/another-folder-down";
    std::filesystem::create_directories(folder);
    t.dialogs.file(folder + "/realtime-points-day-one.shp");
    ASSERT_EQ(t.w().Click("cmdLoad"), app::Form::Done);
    EXPECT_EQ(view->size(), before);
    auto* path = qobject_cast<QLabel*>(view->widget("lblPath(0)"));
    ASSERT_TRUE(path);
    EXPECT_LE(path->fontMetrics().horizontalAdvance(path->text()), path->width());
    EXPECT_TRUE(path->text().endsWith("realtime-points-day-one.shp")) << path->text().toStdString();
}
