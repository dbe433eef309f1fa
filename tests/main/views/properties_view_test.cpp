// The settings dialog's Qt view on the offscreen platform.
#include "tests/support/qt_app.h"
#include "main/settings/frm_properties.h"
#include "main/views/properties_view.h"
#include "tests/main/coords/harness.h"

#include <QApplication>
#include <QComboBox>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>

#include <gtest/gtest.h>

namespace {

TEST(PropertiesView, DrawsTheDialogAndHandsActionsToIt)
{
    test_support::ensure_qapplication();

    coordstest::Harness h;
    h.write_epsg();
    h.load();
    auto& dlg = static_cast<app::frmProperties&>(h.main.frmProperties());
    app::PropertiesView v(dlg);
    dlg.on_changed = [&v] { v.sync(); };
    dlg.Show(6);
    v.rebuild();
    ASSERT_EQ(v.tabs()->count(), 7);
    EXPECT_EQ(v.tabs()->tabText(4), "RTimeWpt");
    EXPECT_EQ(v.tabs()->currentIndex(), 6);
    EXPECT_EQ(v.windowTitle(), "Trekfold Properties");
    auto* zones = qobject_cast<QListWidget*>(v.widget("lbxZones"));
    ASSERT_TRUE(zones);
    EXPECT_EQ(zones->count(), 26);
    zones->setCurrentRow(14); // a user's click
    EXPECT_EQ(dlg.control("lbxZones").text, "+1  (Western Europe)");
    v.tabs()->setCurrentIndex(1);
    EXPECT_EQ(dlg.tab(), 1);
    auto* grid = qobject_cast<QTableView*>(v.widget("msfgWaypoint"));
    ASSERT_TRUE(grid);
    EXPECT_EQ(grid->model()->rowCount(), dlg.grid(0).Rows() - 1);
    v.tabs()->setCurrentIndex(0);
    auto* codes = qobject_cast<QComboBox*>(v.widget("cbxPOSCCodes"));
    ASSERT_TRUE(codes);
    EXPECT_EQ(codes->currentText(), "26915");
    qobject_cast<QPushButton*>(v.widget("cmdNoProj"))->click();
    EXPECT_EQ(codes->currentText(), "4326");
    qobject_cast<QPushButton*>(v.widget("cmdOK"))->click();
    EXPECT_FALSE(dlg.Visible());
    EXPECT_EQ(h.settings.GetSetting("time", "timezone"), "+1  (Western Europe)");
    EXPECT_EQ(h.settings.GetSetting("proj", "proj"), "4326");
}

} // namespace
