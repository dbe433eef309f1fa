// The receiver chooser's Qt view on the offscreen platform.
#include "tests/support/qt_app.h"
#include "main/views/gps_status_view.h"
#include "main/transfer/discovery.h"

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

TEST(GPSStatusView, FollowsTheChooserAndHandsChoicesBack)
{
    test_support::ensure_qapplication();

    std::vector<platform::Variant> units;
    for (const char* port : {"3", "4"}) {
        platform::VariantArray e(0, 4);
        e.at(0) = std::string("Unit ") + port;
        e.at(1) = std::string("v1");
        e.at(2) = std::string(port);
        e.at(3) = std::string("9600,N,8,1");
        units.emplace_back(std::move(e));
    }
    transfer::frmGPSStatus chooser(units);
    QWidget parent;
    app::Bind_GPSStatus_View(chooser, &parent);
    auto* dlg = parent.findChild<QDialog*>("frmGPSStatus");
    ASSERT_TRUE(dlg);
    EXPECT_FALSE(dlg->isVisible());

    chooser.Show();
    chooser.List_Add(0, "Unit 3  v1");
    chooser.List_Add(1, "Unit 4  v1");
    chooser.List_Enable();
    EXPECT_TRUE(dlg->isVisible());
    EXPECT_EQ(dlg->windowTitle(), "Auto Connect Status");
    auto* list = dlg->findChild<QComboBox*>();
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->currentText(), "Unit 4  v1");
    EXPECT_EQ(list->toolTip(), "PORT: 4, BAUD: 9600,N,8,1");

    list->setCurrentIndex(0);
    emit list->activated(0); // the user's pick
    EXPECT_EQ(chooser.control("cboGPSUnits").ListIndex, 0);
    EXPECT_EQ(list->toolTip(), "PORT: 3, BAUD: 9600,N,8,1");

    dlg->reject(); // Escape or the close box
    EXPECT_TRUE(chooser.Cancelled);
    EXPECT_FALSE(dlg->isVisible());

    chooser.Show();
    for (auto* b : dlg->findChildren<QPushButton*>())
        if (b->text() == "Connect") b->click();
    EXPECT_FALSE(chooser.Cancelled);
    EXPECT_FALSE(chooser.Visible());
}

} // namespace
