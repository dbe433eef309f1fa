// LandView's layer chooser on the offscreen platform: a choice made in the
// list and OK, the close box as Cancel, and no window at all in quiet mode.
#include "tests/support/qt_app.h"
#include "tests/main/app/rig.h"

#include "main/links/layer_selection.h"
#include "main/views/layer_selection_view.h"

#include <QListWidget>
#include <QPushButton>

#include <gtest/gtest.h>

#include <fstream>

TEST(LayerSelectionView, ChoosesFromTheListAndLogsItselfCancelledInQuietMode)
{
    test_support::ensure_qapplication();
    apptest::Rig rig(false);
    ::setenv("TEMP", rig.dir.path.c_str(), 1);
    std::ofstream(rig.dir.path + "/GarminTempLayerFile.txt") << "1,\"A\",\"/a.shp\",\"B\",\"/b.shp\"";
    QWidget owner;
    app::bind_layer_selection_view(rig.main, &owner);
    auto& f = dynamic_cast<links::frmLandviewLayerSelection&>(*rig.main.form("frmLandviewLayerSelection"));
    auto view = [&] { return owner.findChild<QWidget*>("frmLandviewLayerSelection"); };
    // The user picks B and clicks OK while the modal show waits.
    rig.pump.post([&] {
        ASSERT_TRUE(view() && view()->isVisible());
        auto* list = view()->findChild<QListWidget*>("ActiveLayers");
        auto* ok = view()->findChild<QPushButton*>("cmdOK");
        ASSERT_TRUE(list && ok);
        EXPECT_EQ(list->count(), 2);
        EXPECT_FALSE(ok->isEnabled());
        list->setCurrentRow(1);
        EXPECT_TRUE(ok->isEnabled());
        ok->click();
    });
    f.Show();
    EXPECT_EQ(f.Tag, "/b.shp");
    EXPECT_EQ(rig.main.Tag, "1");
    EXPECT_FALSE(view()->isVisible());
    rig.pump.post([&] { view()->close(); });
    f.Show();
    EXPECT_EQ(f.Tag, "");
    EXPECT_EQ(rig.main.Tag, "");

    std::vector<std::string> logged;
    rig.dialogs.set_quiet(true);
    rig.dialogs.set_log([&](const std::string& line) { logged.push_back(line); });
    rig.main.Tag = "x";
    f.Show();
    EXPECT_EQ(rig.main.Tag, "");
    EXPECT_EQ(logged, std::vector<std::string>{"Window [Landview Layer Selection] -> cancelled"});
    ::unsetenv("TEMP");
}
