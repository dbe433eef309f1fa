// The NMEA viewer's Qt view on the offscreen platform.
#include "tests/support/qt_app.h"
#include "tests/main/app/rig.h"
#include "main/realtime/nmea_viewer.h"
#include "main/realtime/realtime.h"
#include "main/views/nmea_viewer_view.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(NMEAViewerView, ShowsTheLinesAsTheyComeAndHandsActionsToTheWindow)
{
    test_support::ensure_qapplication();
    apptest::Rig r;
    r.load();
    realtime::frmNMEAViewer& viewer = r.main.realtime().NMEAViewer();
    QWidget owner;
    app::bind_nmea_viewer_view(viewer, &owner);
    auto* view = owner.findChild<app::NMEAViewerView*>();
    ASSERT_TRUE(view);
    r.main.realtime().garmin_NMEA("$GPRMC,225308,A,4527.458,S,16709.165,E,000.0,094.5,060601,024.1,E*6D", false);
    EXPECT_FALSE(view->isVisible()); // loaded hidden by the line
    r.main.menu_Click("mnuViewNMEA");
    ASSERT_TRUE(view->isVisible());
    EXPECT_EQ(view->windowTitle(), "NMEA Viewer");

    auto* text = qobject_cast<QPlainTextEdit*>(view->widget("tbxNMEAStrings"));
    ASSERT_TRUE(text);
    r.main.realtime().garmin_NMEA("$GPGSA,A,3,,,,,,,,,,,,,2.5,1.3,2.1*39", false);
    EXPECT_EQ(text->toPlainText().toStdString(),
              "$GPRMC,225308,A,4527.458,S,16709.165,E,000.0,094.5,060601,024.1,E*6D\n$GPGSA,A,3,,,,,,,,,,,,,2.5,1.3,2.1*39");

    auto* gsv = qobject_cast<QCheckBox*>(view->widget("chkGPGSV"));
    ASSERT_TRUE(gsv && gsv->isChecked());
    EXPECT_EQ(qobject_cast<QGroupBox*>(gsv->parentWidget())->title(), "NMEA Strings:");
    EXPECT_EQ(gsv->toolTip(), "GNSS Satellites in View");
    QTest::mouseClick(gsv, Qt::LeftButton, Qt::ShiftModifier, QPoint(5, 5));
    EXPECT_FALSE(viewer.control("chkGPGSV").value);
    EXPECT_FALSE(viewer.control("chkGPRMC").value); // the shift-click cleared the others
    EXPECT_FALSE(qobject_cast<QCheckBox*>(view->widget("chkOTHER"))->isChecked());

    // Typing into the text box reaches the window with CR LF line ends.
    text->setPlainText("a\nb");
    EXPECT_EQ(viewer.Text(), "a\r\nb");

    view->close(); // the close box hides; the text stays
    EXPECT_FALSE(viewer.Visible());
    EXPECT_TRUE(viewer.Loaded());
    EXPECT_EQ(viewer.Text(), "a\r\nb");
}

} // namespace
