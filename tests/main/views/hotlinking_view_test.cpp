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

#include <QHeaderView>
#include <QMenuBar>
#include <QTableView>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(HotlinkingView, ShowsThePhotoListAndSortsOnAHeaderClick)
{
    test_support::ensure_qapplication();
    test_support::TempDir dir;
    for (const char* n : {"Canon_40D.jpg", "Nikon_D70.jpg"})
        std::filesystem::copy_file(TREKFOLD_TESTDATA_DIR "/exif/" + std::string(n), dir.path + "/" + n);
    platform::Settings settings(dir.path + "/trekfold.ini");
    platform::ScriptedDialogs dialogs;
    platform::RecordingCursor cursor;
    platform::FakeEventPump pump;
    platform::PortMap ports(&settings, [](const std::string&) { return std::optional<std::string>(); });
    app::frmMain main({settings, dialogs, cursor, pump, ports}, TREKFOLD_BINARY_DIR "/bin");
    app::install_subsystems(main);
    QWidget owner;
    app::bind_hotlinking_view(main, &owner);
    auto* view = owner.findChild<app::HotlinkingView*>();
    ASSERT_TRUE(view);
    main.hotlink().show_frmHotlinking();
    auto& form = *dynamic_cast<hotlink::frmHotlinking*>(main.form("frmHotlinking"));
    form.SetText("Dir1", dir.path);
    EXPECT_TRUE(view->isVisible());
    EXPECT_EQ(view->windowTitle(), "Hotlink Form");
    EXPECT_EQ(view->findChild<QMenuBar*>()->actions().size(), 2);
    auto* table = qobject_cast<QTableView*>(view->widget("msfgTable"));
    ASSERT_TRUE(table);
    EXPECT_EQ(table->model()->rowCount(), 2);
    EXPECT_EQ(table->model()->headerData(1, Qt::Horizontal).toString(), "InternalDate");
    emit table->horizontalHeader()->sectionClicked(1);
    EXPECT_EQ(table->model()->index(0, 0).data().toString(), "Canon_40D.jpg"); // 2008:05:30 before 2008:03:15
    form.Close();
    EXPECT_FALSE(view->isVisible());
}

} // namespace
