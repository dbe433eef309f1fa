// The File menu's small windows on the offscreen platform: each shows its
// dialog's defaults, hands a change back to it, and Cancel or the close box
// leave it cancelled.
#include "tests/support/qt_app.h"
#include "tests/main/files/gpx_rig.h"

#include "main/views/files_view.h"
#include "main/views/main_window_view.h"
#include "main/files/table_files.h"
#include "tests/support/served_hotlinking.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTimer>

#include <filesystem>
#include <functional>

namespace {

class FilesView : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        test_support::ensure_qapplication();
    }

    // Acts on the modal dialog the next call shows, once it is up.
    static void when_shown(std::function<void(QDialog&)> act)
    {
        QTimer::singleShot(0, [act] {
            auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            ASSERT_NE(d, nullptr);
            act(*d);
        });
    }
    template <class W>
    static W* child(QDialog& d, const char* name)
    {
        auto* w = d.findChild<W*>(name);
        EXPECT_NE(w, nullptr) << name;
        return w;
    }
    static void click(QDialog& d, const char* name) { child<QAbstractButton>(d, name)->click(); }

    gpxtest::GpxRig rig;
    app::MainWindowView view{rig.main};
    files::FileFrontEnd& fe = dynamic_cast<files::FileFrontEnd&>(rig.main.files());
    void SetUp() override { app::bind_file_views(rig.main, &view); }
};

TEST_F(FilesView, OutputShapeOffersLineAndAnswersTheChosenOption)
{
    when_shown([](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Output Shape");
        EXPECT_EQ(child<QLabel>(d, "Label1")->text(), "Please Define the Output Shape");
        EXPECT_TRUE(child<QRadioButton>(d, "optLine")->isChecked());
        EXPECT_FALSE(child<QRadioButton>(d, "optPolygon")->isChecked());
        click(d, "optPolygon");
        click(d, "cmdOK");
    });
    EXPECT_EQ(fe.getFileInfo_UserShapeType("kml", "track"), "Polygon");

    // OK kept the choice; the close box unloads the window: no shape, and
    // the next show offers "Line" again.
    when_shown([](QDialog& d) {
        EXPECT_TRUE(child<QRadioButton>(d, "optPolygon")->isChecked());
        d.close();
    });
    EXPECT_EQ(fe.getFileInfo_UserShapeType("shp_p", "route"), "");
    EXPECT_TRUE(fe.shape_dialog().optLine);
    EXPECT_FALSE(fe.shape_dialog().optPolygon);
}

TEST_F(FilesView, FeatureTypeOffersTrackAndItsCloseBoxCancels)
{
    std::string type = "unchanged";
    when_shown([](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Feature Type");
        EXPECT_EQ(child<QLabel>(d, "Label1")->text(), "Please Define the Feature Type");
        EXPECT_TRUE(child<QRadioButton>(d, "optTrack")->isChecked());
        click(d, "optRoute");
        d.close();
    });
    EXPECT_FALSE(fe.getFileInfo_UserFeatureType(type));
    EXPECT_EQ(type, "unchanged");
    EXPECT_TRUE(fe.feature_type_dialog().optTrack);

    when_shown([](QDialog& d) {
        click(d, "optWaypoint");
        click(d, "cmdOK");
    });
    EXPECT_TRUE(fe.getFileInfo_UserFeatureType(type));
    EXPECT_EQ(type, "waypoint");
}

TEST_F(FilesView, IdentifyFieldsMapsChosenColumnsAndCancels)
{
    rig.fill("waypoint", {});
    files::TableFiles& tf = fe.table_files();
    when_shown([](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Identify Fields");
        EXPECT_EQ(child<QGroupBox>(d, "cpSpatial")->title(), "Spatial Information:");
        EXPECT_FALSE(child<QGroupBox>(d, "cpSpatial")->isHidden());
        EXPECT_FALSE(child<QComboBox>(d, "cbxComment")->isHidden());
        EXPECT_EQ(child<QComboBox>(d, "cbxIdent")->currentText(), "Sequential ID");
        EXPECT_EQ(child<QComboBox>(d, "cbxComment")->currentText(), "Today's Date");
        child<QComboBox>(d, "cbxLat")->setCurrentText("north");
        child<QComboBox>(d, "cbxLong")->setCurrentText("east");
        click(d, "cmdOK");
    });
    std::string names = "name;north;east";
    auto [columns, mode] = tf.get_Required_Fields(names, "txt", "waypoint");
    EXPECT_EQ(mode, 1);
    EXPECT_EQ(names, "name;lat;long");
    EXPECT_EQ(columns, "-1;" + std::to_string(rig.table().Column_Find("lat", true)) + ";" +
                           std::to_string(rig.table().Column_Find("long", true)));

    // A shapefile's table is offered no spatial frame, a track no comment;
    // Cancel and the close box both end the mapping with nothing chosen.
    for (bool by_close : {false, true}) {
        const char* kind = by_close ? "txt" : "shp";
        rig.fill(by_close ? "track" : "waypoint", {});
        when_shown([by_close](QDialog& d) {
            EXPECT_EQ(child<QGroupBox>(d, "cpSpatial")->isHidden(), !by_close);
            EXPECT_EQ(child<QComboBox>(d, "cbxComment")->isHidden(), by_close);
            by_close ? void(d.close()) : click(d, "cmdCancel");
        });
        names = "a;b";
        auto cancelled = tf.get_Required_Fields(names, kind, by_close ? "track" : "waypoint");
        EXPECT_EQ(cancelled.first, "") << kind;
        EXPECT_EQ(tf.fields_dialog().cmdOK_Tag, "Cancel");
    }
}

TEST_F(FilesView, AddWorldFilesFromTheMenuWritesAndStartsAfresh)
{
    rig.main.set_hotlink(std::make_unique<test_support::ServedHotlinking>(rig.dialogs));
    const std::string photo = rig.path("photo.jpg"), world = rig.path("photo.jgw");
    std::filesystem::copy_file(TREKFOLD_TESTDATA_DIR "/exif/DSCN0010.jpg", photo);
    rig.fill("waypoint", {{{"filename", photo}, {"x_proj", "1000"}, {"y_proj", "5000"}}});
    when_shown([](QDialog& d) {
        EXPECT_EQ(d.windowTitle(), "Add World Files");
        EXPECT_EQ(child<QComboBox>(d, "cboLocation")->currentText(), "Center");
        EXPECT_EQ(child<QComboBox>(d, "cboLocation")->count(), 9);
        auto* ok = child<QPushButton>(d, "cmdOK");
        EXPECT_FALSE(ok->isEnabled());
        child<QLineEdit>(d, "tbxWidth")->setText("abc");
        EXPECT_FALSE(ok->isEnabled());
        child<QLineEdit>(d, "tbxWidth")->setText("100");
        EXPECT_TRUE(ok->isEnabled());
        child<QComboBox>(d, "cboLocation")->setCurrentText("Southwest");
        ok->click();
    });
    view.action("mnuAddWorldFile")->trigger();
    EXPECT_EQ(gpxtest::read_file(world), "0.15625\r\n0\r\n0\r\n-0.15625\r\n900\r\n5000\r\n");

    // OK unloaded the window; Cancel and the close box write nothing.
    std::filesystem::remove(world);
    for (bool by_close : {false, true}) {
        when_shown([by_close](QDialog& d) {
            EXPECT_EQ(child<QLineEdit>(d, "tbxWidth")->text(), "");
            EXPECT_EQ(child<QComboBox>(d, "cboLocation")->currentText(), "Center");
            child<QLineEdit>(d, "tbxWidth")->setText("50");
            by_close ? void(d.close()) : click(d, "cmdCancel");
        });
        fe.mnuAddWorldFile_Click();
        EXPECT_FALSE(std::filesystem::exists(world));
        EXPECT_EQ(fe.table_files().world_files_dialog().tbxWidth, "");
    }
}

} // namespace

TEST(FilesViewQuiet, NoWindowWaitsInQuietMode)
{
    test_support::ensure_qapplication();
    gpxtest::GpxRig rig;
    app::MainWindowView view{rig.main};
    auto& fe = dynamic_cast<files::FileFrontEnd&>(rig.main.files());
    app::bind_file_views(rig.main, &view);
    std::vector<std::string> logged;
    rig.dialogs.set_quiet(true);
    rig.dialogs.set_log([&](const std::string& line) { logged.push_back(line); });
    // A window shown despite quiet mode is closed again, and counted.
    int shown = 0;
    QTimer::singleShot(0, [&] {
        if (auto* d = QApplication::activeModalWidget()) ++shown, d->close();
    });
    EXPECT_EQ(fe.getFileInfo_UserShapeType("shp_p", "track"), "");
    std::string type;
    EXPECT_FALSE(fe.getFileInfo_UserFeatureType(type));
    fe.table_files().show_fields(fe.table_files().fields_dialog());
    EXPECT_EQ(fe.table_files().fields_dialog().cmdOK_Tag, "Cancel");
    QCoreApplication::processEvents();
    EXPECT_EQ(shown, 0);
    EXPECT_EQ(logged, (std::vector<std::string>{"Window [Output Shape] -> cancelled",
                                                "Window [Feature Type] -> cancelled",
                                                "Window [Identify Fields] -> cancelled"}));
}
