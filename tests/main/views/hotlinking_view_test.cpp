// The hotlinking window's Qt view on the offscreen platform.
#include "tests/support/qt_app.h"
#include "main/views/hotlinking_view.h"
#include "main/app/frm_main.h"
#include "main/hotlink/frm_hotlinking.h"
#include "main/hotlink/hotlink.h"
#include "main/program/compose.h"
#include "platform/events/fake_events.h"
#include "platform/serial/portmap.h"
#include "platform/settings/settings.h"
#include "platform/ui/cursor.h"
#include "platform/ui/scripted_dialogs.h"
#include "tests/support/files.h"

#include <QAction>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QMenuBar>
#include <QTableView>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>

namespace {

struct HotlinkingViewTest : testing::Test {
    test_support::TempDir dir;
    platform::Settings settings{dir.path + "/trekfold.ini"};
    platform::ScriptedDialogs dialogs;
    platform::RecordingCursor cursor;
    platform::FakeEventPump pump;
    platform::PortMap ports{&settings, [](const std::string&) { return std::optional<std::string>(); }};
    std::unique_ptr<app::frmMain> main;
    std::unique_ptr<QWidget> owner;
    app::HotlinkingView* view = nullptr;
    hotlink::frmHotlinking* form = nullptr;
    QTableView* table = nullptr;

    void open(std::initializer_list<const char*> photos)
    {
        test_support::ensure_qapplication();
        for (const char* n : photos)
            std::filesystem::copy_file(TREKFOLD_TESTDATA_DIR "/exif/" + std::string(n), dir.path + "/" + n);
        main = std::make_unique<app::frmMain>(app::frmMain::Services{settings, dialogs, cursor, pump, ports},
                                              TREKFOLD_BINARY_DIR "/bin");
        app::install_subsystems(*main);
        owner = std::make_unique<QWidget>();
        app::bind_hotlinking_view(*main, owner.get());
        view = owner->findChild<app::HotlinkingView*>();
        ASSERT_TRUE(view);
        main->hotlink().show_frmHotlinking();
        form = dynamic_cast<hotlink::frmHotlinking*>(main->form("frmHotlinking"));
        form->SetText("Dir1", dir.path);
        table = qobject_cast<QTableView*>(view->widget("msfgTable"));
        ASSERT_TRUE(table);
    }
    void click_cell(int row, int col)
    {
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(table->model()->index(row, col)).center());
    }
    QAction* menu_item(const QString& caption)
    {
        for (QAction* top : view->findChild<QMenuBar*>()->actions())
            for (QAction* a : top->menu()->actions())
                if (a->text() == caption) return a;
        return nullptr;
    }
};

TEST_F(HotlinkingViewTest, ShowsThePhotoListAndSortsOnAHeaderClick)
{
    open({"Canon_40D.jpg", "Nikon_D70.jpg"});
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(view->windowTitle(), "Hotlink Form");
    EXPECT_EQ(view->findChild<QMenuBar*>()->actions().size(), 2);
    EXPECT_EQ(table->model()->rowCount(), 2);
    // The header row is a line high, so its sections can be clicked.
    QHeaderView* header = table->horizontalHeader();
    EXPECT_TRUE(header->isVisible());
    EXPECT_GE(header->height(), header->fontMetrics().height());
    EXPECT_EQ(table->model()->headerData(1, Qt::Horizontal).toString(), "InternalDate");
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
    EXPECT_EQ(table->model()->index(0, 0).data().toString(), "Canon_40D.jpg"); // 2008:05:30 before 2008:03:15
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                      QPoint(header->sectionViewportPosition(1) + 5, header->height() / 2));
    EXPECT_EQ(table->model()->index(0, 0).data().toString(), "Nikon_D70.jpg");
    form->Close();
    EXPECT_FALSE(view->isVisible());
}

TEST_F(HotlinkingViewTest, CommandsAndPreviewFollowTheKeyboard)
{
    open({"Canon_40D.jpg", "DSCN0010.jpg", "Nikon_D70.jpg"});
    ASSERT_EQ(table->model()->rowCount(), 3);
    click_cell(0, 1); // no preview outside the file names
    EXPECT_TRUE(form->pictPreview().empty());
    QTest::keyClick(table->viewport(), Qt::Key_Left);
    EXPECT_EQ(form->msfgTable.Col(), 0);
    const platform::Image first = form->pictPreview();
    EXPECT_FALSE(first.empty());
    QTest::keyClick(table->viewport(), Qt::Key_Down);
    QTest::keyClick(table->viewport(), Qt::Key_Down);
    EXPECT_EQ(form->msfgTable.Row(), 3);
    EXPECT_FALSE(form->pictPreview().empty());
    EXPECT_NE(form->pictPreview().width * 1000 / form->pictPreview().height, first.width * 1000 / first.height);

    // Rename offers the highlighted photo; Move Up and Delete take its row.
    dialogs.input("", true);
    QAction* rename = menu_item("Rename Selected Image");
    ASSERT_TRUE(rename);
    rename->trigger();
    ASSERT_TRUE(dialogs.last());
    EXPECT_EQ(dialogs.last()->default_text, "Nikon_D70.jpg");
    qobject_cast<QPushButton*>(view->widget("cmdUp"))->click();
    EXPECT_EQ(table->model()->index(1, 0).data().toString(), "Nikon_D70.jpg");
    EXPECT_EQ(table->currentIndex().row(), 1); // the highlight moved with the row
    QTest::keyClick(table->viewport(), Qt::Key_Up);
    qobject_cast<QPushButton*>(view->widget("cmdDeleteSel"))->click();
    ASSERT_EQ(table->model()->rowCount(), 2);
    EXPECT_EQ(table->model()->index(0, 0).data().toString(), "Nikon_D70.jpg");
    EXPECT_EQ(table->model()->index(1, 0).data().toString(), "DSCN0010.jpg");
    EXPECT_TRUE(std::filesystem::exists(dir.path + "/Canon_40D.jpg"));
}

// After the program moves the current cell (here Delete), the list shows it
// highlighted where the window has it, and the preview is of its photo.
TEST_F(HotlinkingViewTest, TheRowAfterADeleteIsHighlightedAndPreviewed)
{
    open({"Canon_40D.jpg", "DSCN0010.jpg", "Nikon_D70.jpg"});
    ASSERT_EQ(table->model()->rowCount(), 3);
    click_cell(2, 0);
    const platform::Image nikon = form->pictPreview();
    ASSERT_FALSE(nikon.empty());
    click_cell(1, 0);
    qobject_cast<QPushButton*>(view->widget("cmdDeleteSel"))->click();
    ASSERT_EQ(table->model()->rowCount(), 2);
    const platform::Grid& g = form->msfgTable;
    EXPECT_EQ(g.Row(), 2);
    EXPECT_EQ(g.TextMatrix(g.Row(), 0), "Nikon_D70.jpg");
    EXPECT_TRUE(g.RowSel() == g.Row() && g.Col() == 0 && g.ColSel() == 0);
    const QModelIndex current = table->model()->index(1, 0);
    EXPECT_EQ(table->currentIndex(), current);
    const QImage drawn = table->viewport()->grab().toImage();
    const QRect cell = table->visualRect(current);
    const QColor shown = drawn.pixelColor(cell.right() - 2, cell.center().y());
    EXPECT_TRUE(shown == table->palette().color(QPalette::Active, QPalette::Highlight) ||
                shown == table->palette().color(QPalette::Inactive, QPalette::Highlight))
        << shown.name().toStdString();
    EXPECT_TRUE(form->pictPreview().pixels == nikon.pixels); // the photo now current
    dialogs.input("", true);
    menu_item("Rename Selected Image")->trigger();
    ASSERT_TRUE(dialogs.last());
    EXPECT_EQ(dialogs.last()->default_text, "Nikon_D70.jpg");
}

} // namespace
