// The Qt view bound to frmMain, on the offscreen platform.
#include "tests/support/qt_app.h"
#include "tests/main/app/rig.h"

#include "main/views/image_view.h"
#include "main/views/main_window_view.h"
#include "main/transfer/frm_image.h"
#include "main/table/picker.h"
#include "main/table/table.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QTimer>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>
#include <vector>

using apptest::Rig;

namespace {

class View : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        test_support::ensure_qapplication();
    }
};

TEST_F(View, MenusFollowTheMenuTree)
{
    Rig r(false);
    r.settings.SaveSetting("port", "port", "3");
    app::MainWindowView v(r.main);
    r.load();
    ASSERT_NE(v.action("mnuExit"), nullptr);
    EXPECT_EQ(v.action("mnuExit")->text(), "E&xit");
    EXPECT_EQ(v.action("mnuAssign")->text(), "&Set  Port");
    QAction* port3 = v.action("mnuPort", 3);
    ASSERT_NE(port3, nullptr);
    EXPECT_TRUE(port3->isCheckable());
    EXPECT_TRUE(port3->isChecked());
    EXPECT_FALSE(v.action("mnuPort", 1)->isChecked());
    EXPECT_FALSE(v.action("mnuArcMapL")->isEnabled());
    EXPECT_TRUE(v.action("mnuFileL")->isEnabled());
    EXPECT_EQ(v.menuBar()->actions().size(), 8);
    EXPECT_EQ(v.windowTitle(), "Ostrevane - Garmin ");

    // Choosing an item runs its handler; its check mark stays frmMain's.
    // Ports the computer lacks cannot be chosen.
    EXPECT_FALSE(v.action("mnuPort", 5)->isEnabled());
    r.log.clear();
    v.action("mnuPort", 0)->trigger();
    ASSERT_EQ(r.log.size(), 1u);
    EXPECT_EQ(r.log.back(), "transfer.mnuPort(0)");
    EXPECT_FALSE(v.action("mnuPort", 0)->isChecked());
}

TEST_F(View, ControlsStatusBarAndGeometry)
{
    Rig r(false);
    app::MainWindowView v(r.main);
    r.load();
    EXPECT_EQ(v.status_panel(0)->text(), "Not Connected");
    // Start-up's not-connected state empties the message panel.
    EXPECT_EQ(v.status_panel(1)->text(), "");
    r.main.Set_Msg("Loaded 7 records");
    EXPECT_EQ(v.status_panel(1)->text(), "Loaded 7 records");

    EXPECT_TRUE(v.option("optWpt")->isChecked());
    EXPECT_EQ(v.button("cmdAdvanced")->text(), ">>> Data Table >>>");
    EXPECT_EQ(v.button("cmdAddRec")->toolTip(), "Add Record to Table");
    const int menu = v.menuBar()->sizeHint().height();
    EXPECT_EQ(v.width(), 7700 / 15);
    EXPECT_EQ(v.height(), 1900 / 15 + menu);

    v.option("optTrk")->click();
    EXPECT_EQ(r.main.state().record_type, "track");
    EXPECT_TRUE(v.option("optTrk")->isChecked());
    EXPECT_FALSE(v.option("optWpt")->isChecked());

    EXPECT_FALSE(v.grid_view()->isVisibleTo(&v));
    v.button("cmdAdvanced")->click();
    EXPECT_EQ(v.button("cmdAdvanced")->text(), "<<< Data Table <<<");
    EXPECT_TRUE(v.grid_view()->isVisibleTo(&v));
    EXPECT_TRUE(v.button("cmdCopy")->isVisibleTo(&v));
    EXPECT_EQ(v.height(), 5500 / 15 + menu);
    EXPECT_EQ(v.button("cmdAdvanced")->x(), (7700 - 2300) / 15);

    // The user making the window larger resizes the grid with it.
    v.resize(800, 600);
    EXPECT_EQ(r.main.Width, 800 * 15);
    EXPECT_EQ(r.main.grid_area.width, 800 * 15 - 875);
    EXPECT_EQ(v.grid_view()->width(), (800 * 15 - 875) / 15);
}

TEST_F(View, AnErrorFromAnOptionButtonEndsInABoxNotInTheEventLoop)
{
    Rig r(false);
    app::MainWindowView v(r.main);
    r.load();
    v.button("cmdAddRec")->click();
    std::string list = flxgrd::Fields_DefaultList("track");
    for (int i = 0; i < 6000; ++i) list += ",x" + std::to_string(i) + ":1:x" + std::to_string(i) + ":C:10:0";
    r.settings.SaveSetting("fields", "track", list);
    v.option("optTrk")->click();
    ASSERT_EQ(r.dialogs.boxes().size(), 1u);
    EXPECT_EQ(r.dialogs.boxes()[0].title, "frmMain.optTrk_Click");
    EXPECT_EQ(r.dialogs.boxes()[0].text, "Error #30010 - Invalid Col value");
    // The grid's events are trapped the same way.
    r.main.on_click("MSFlexGrid1_DblClick", [](int) { throw std::runtime_error("cell editor missing"); });
    QModelIndex cell = v.grid_view()->model()->index(0, 0);
    emit v.grid_view()->doubleClicked(cell);
    ASSERT_EQ(r.dialogs.boxes().size(), 2u);
    EXPECT_EQ(r.dialogs.boxes()[1].title, "frmMain.MSFlexGrid1_DblClick");
    EXPECT_EQ(r.dialogs.boxes()[1].text, "Error #51 - cell editor missing");
    v.option("optWpt")->click();
    EXPECT_TRUE(v.option("optWpt")->isChecked());
    EXPECT_EQ(v.grid_view()->model()->index(0, 0).data().toString(), "WAYPOINT");
}

TEST_F(View, GridShowsTheRecordsTable)
{
    Rig r(false);
    app::MainWindowView v(r.main);
    r.load();
    v.button("cmdAddRec")->click();
    v.button("cmdAddRec")->click();
    QAbstractItemModel* m = v.grid_view()->model();
    ASSERT_EQ(m->rowCount(), 2);
    EXPECT_EQ(m->headerData(0, Qt::Horizontal).toString(), "type");
    EXPECT_EQ(m->index(1, 0).data().toString(), "WAYPOINT");
    EXPECT_EQ(m->index(1, 1).data().toString(), "w2");
    EXPECT_EQ(v.status_panel(2)->text(), "0 of 2 Selected");
    // The header row is shown.
    EXPECT_GT(v.grid_view()->horizontalHeader()->height(), 10);
}

TEST_F(View, GridEventsCarryTheSelectionAndFoldedRowsHide)
{
    Rig r(false);
    app::MainWindowView v(r.main);
    r.load();
    for (int k = 0; k < 3; ++k) v.button("cmdAddRec")->click();
    QTableView* t = v.grid_view();
    QAbstractItemModel* m = t->model();
    t->setCurrentIndex(m->index(2, 0));
    t->selectionModel()->select(QItemSelection(m->index(0, 0), m->index(2, m->columnCount() - 1)),
                                QItemSelectionModel::ClearAndSelect);
    platform::Grid& g = r.main.MSFlexGrid1;
    EXPECT_EQ(g.Row(), 3);
    EXPECT_EQ(g.RowSel(), 1);
    EXPECT_EQ(g.ColSel(), g.Cols() - 1);
    EXPECT_EQ(v.status_panel(2)->text(), "3 of 3 Selected");
    g.SetRowHeight(2, 0);
    EXPECT_TRUE(t->isRowHidden(1));
    g.SetRowHeight(2, 225);
    EXPECT_FALSE(t->isRowHidden(1));
    // A header click sorts a waypoint table (descending first).
    emit t->horizontalHeader()->sectionClicked(1);
    EXPECT_EQ(m->index(0, 1).data().toString(), "w3");
}

TEST_F(View, GridShowsTheSelectionTheProgramMoves)
{
    Rig r(false);
    app::MainWindowView v(r.main);
    r.load();
    for (int k = 0; k < 4; ++k) v.button("cmdAddRec")->click();
    QTableView* t = v.grid_view();
    QAbstractItemModel* m = t->model();
    QItemSelectionModel* sm = t->selectionModel();
    platform::Grid& g = r.main.MSFlexGrid1;
    auto select_rows = [&](int first, int last) {
        t->setCurrentIndex(m->index(first, 0));
        sm->select(QItemSelection(m->index(first, 0), m->index(last, m->columnCount() - 1)),
                   QItemSelectionModel::ClearAndSelect);
    };
    auto selected_rows = [&] {
        std::vector<int> rows;
        for (const QModelIndex& i : sm->selectedRows()) rows.push_back(i.row());
        std::sort(rows.begin(), rows.end());
        return rows;
    };
    select_rows(1, 2);
    EXPECT_EQ(v.status_panel(2)->text(), "2 of 4 Selected");
    v.button("cmdClearSel")->click();
    EXPECT_TRUE(sm->selectedIndexes().isEmpty());
    select_rows(0, 3);
    v.action("mnuClearSelection")->trigger();
    EXPECT_TRUE(sm->selectedIndexes().isEmpty());
    EXPECT_EQ(sm->currentIndex(), m->index(0, 0));

    // A SelChange event would count the selection into panel 3.
    r.main.StatusBar1[2] = "untouched";
    v.refresh(app::ChangeStatus);
    g.SetRow(2), g.SetRowSel(4), g.SetColSel(g.Cols() - 1);
    EXPECT_EQ(selected_rows(), (std::vector<int>{1, 2, 3}));
    g.SetRedraw(false);
    g.SetRowSel(3);
    g.SetRedraw(true);
    g.AddItem("x", 1); // Qt would shift its copy down a row
    EXPECT_EQ(selected_rows(), (std::vector<int>{1, 2}));
    EXPECT_EQ(g.RowSel(), 3);
    EXPECT_EQ(v.status_panel(2)->text(), "untouched");
    select_rows(3, 3); // the user's choice still reaches the grid
    EXPECT_EQ(v.status_panel(2)->text(), "1 of 5 Selected");
}

TEST_F(View, PickerDialogSortsByNameAndAnswersOK)
{
    Rig r(false);
    app::MainWindowView v(r.main);
    r.load();
    flxgrd::frmWptSelect& p = r.main.frmWptSelect();
    QTimer::singleShot(0, [] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(d, nullptr);
        for (auto* o : d->findChildren<QRadioButton*>())
            if (o->text() == "Name") o->click();
        auto* list = d->findChild<QListWidget*>();
        list->setCurrentRow(1);
        for (auto* b : d->findChildren<QPushButton*>())
            if (b->text() == "OK") b->click();
    });
    p.Show();
    EXPECT_EQ(p.Tag, "OK");
    EXPECT_TRUE(p.optSort[1]);
    EXPECT_EQ(p.SelectedItem()->text, "Amusement Park (8204)");
}

TEST_F(View, QuietStatusWindowAndShutDown)
{
    Rig r(false);
    app::MainWindowView v(r.main);
    r.transfer->connects = true;
    r.load("quiet,download,waypoint");
    ASSERT_TRUE(v.quiet_status_window()->isVisible());
    EXPECT_EQ(v.quiet_status_window()->windowTitle(), "Trekfold Status Window");
    auto* label = v.quiet_status_window()->findChild<QLabel*>("lblStatus");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), "Loading Trekfold");
    EXPECT_TRUE(v.isMinimized());

    v.action("mnuExit")->trigger();
    EXPECT_TRUE(r.main.ended());
    EXPECT_FALSE(v.quiet_status_window()->isVisible());
    EXPECT_FALSE(v.isVisible());
}

TEST_F(View, SplashShowsCentredOnThePlacedMainWindow)
{
    Rig r(false);
    app::MainWindowView v(r.main);
    r.main.screen_width = 1280 * 15;
    r.main.screen_height = 800 * 15;
    r.load();
    ASSERT_TRUE(v.splash_window()->isVisible());
    EXPECT_TRUE(v.isVisible());
    EXPECT_EQ(v.pos(), QPoint((1280 * 15 - 7700) / 2 / 15, 800 * 15 / 4 / 15));
    EXPECT_LE((v.splash_window()->geometry().center() - v.geometry().center()).manhattanLength(), 2);
    r.pump.advance(2000000); // the splash closes itself
    EXPECT_FALSE(v.splash_window()->isVisible());
}

TEST_F(View, SnapshotCarriesTheCaption)
{
    Rig r(false);
    app::MainWindowView v(r.main);
    r.load();
    QImage img = v.snapshot();
    EXPECT_EQ(img.width(), v.width());
    EXPECT_GT(img.height(), v.height());
}

} // namespace

namespace {

TEST_F(View, ScreenWindowShowsThePictureAndHandsMenusBack)
{
    Rig r(false);
    std::unique_ptr<QWidget> view = app::make_image_view(r.main);
    r.load();
    transfer::frmImage& w = transfer::Screen_Window(r.main);
    EXPECT_FALSE(view->isVisible());
    w.Form_Load();
    brenvik::Picture p;
    p.Width = 160;
    p.Height = 100;
    p.Pixels.assign(160 * 100, 0xFF000000u);
    w.ShowImage(p);
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(view->windowTitle(), "GPS Display");
    auto* bar = static_cast<QMainWindow*>(view.get())->menuBar();
    ASSERT_EQ(bar->actions().size(), 1);
    QMenu* file = bar->actions()[0]->menu();
    QStringList texts;
    for (QAction* a : file->actions()) texts << (a->isSeparator() ? "-" : a->text());
    EXPECT_EQ(texts, (QStringList{"&Download GPS Screen Image", "&Set Download Interval", "Keep this window on top",
                                  "Image Size", "Rotate", "-", "Save Image to File", "Cop&y Image to Clipboard",
                                  "&Print Image", "-", "E&xit"}));
    QMenu* sizes = file->actions()[3]->menu();
    EXPECT_EQ(sizes->actions()[0]->shortcut(), QKeySequence("Ctrl+A"));
    sizes->actions()[0]->trigger();
    EXPECT_EQ(view->windowTitle(), "GPS Display 1X");
    EXPECT_EQ(w.picSized().width, 160);
    view->close();
    EXPECT_FALSE(w.Loaded());
    EXPECT_FALSE(r.main.state().screen_window_open);
}

} // namespace
