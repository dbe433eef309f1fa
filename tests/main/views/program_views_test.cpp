// The program's views as the program binds them, on the offscreen platform:
// every window its logic can show has a view, and GPS > Garmin Info shows
// the receiver information window with what a simulated unit reported.
#include "tests/support/qt_app.h"
#include "tests/main/app/rig.h"
#include "tests/main/transfer/receiver.h"

#include "main/app/frm_info.h"
#include "main/files/files.h"
#include "main/files/table_files.h"
#include "main/program/compose_views.h"
#include "main/settings/frm_properties.h"
#include "main/table/picker.h"
#include "main/views/main_window_view.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <set>

namespace {

// The main window composed as the program composes it, nothing wrapped.
struct Program {
    apptest::TempDir dir;
    platform::Settings settings{dir.path + "/trekfold.ini"};
    platform::ScriptedDialogs dialogs;
    platform::RecordingCursor cursor;
    platform::FakeEventPump pump;
    platform::PortMap ports{&settings};
    app::frmMain main{{settings, dialogs, cursor, pump, ports}, "/opt/trekfold"};
    Program() { app::install_subsystems(main); }
};

QWidget* shown_window(const QString& name)
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == name && w->isVisible()) return w;
    return nullptr;
}

// Runs `show` while watching for the window `name`; `seen` gets the window
// once it is on screen, then it is closed with Escape. False when it never
// appeared.
bool watch_window(const QString& name, const std::function<void()>& show,
                  const std::function<void(QWidget*)>& seen = {})
{
    bool appeared = false;
    QTimer poll;
    poll.setInterval(10);
    QObject::connect(&poll, &QTimer::timeout, [&] {
        QWidget* w = shown_window(name);
        if (!w || appeared) return;
        appeared = true;
        if (seen) seen(w);
        QTest::keyClick(w, Qt::Key_Escape);
    });
    poll.start();
    show();
    return appeared;
}

// Whether the program gave the window `name` a view: a window class drawn
// by a view hears of its changes; the modal windows are shown and looked
// for; the rest are hooks a view answers.
bool has_view(Program& p, app::ProgramViews& views, const std::string& name)
{
    for (const char* modal : app::modal_windows)
        if (name == modal)
            return watch_window(QString::fromStdString(name), [&] { p.main.show_modal(name); });
    if (app::Form* form = p.main.form(name)) return bool(form->on_changed);
    auto* files = dynamic_cast<files::FileFrontEnd*>(&p.main.files());
    auto* properties = dynamic_cast<app::frmProperties*>(&p.main.frmProperties());
    const std::map<std::string, std::function<bool()>> hooks = {
        {"frmAbout", [&] { return bool(p.main.show_about_modal); }},
        {"frmWptSelect", [&] { return bool(p.main.frmWptSelect().on_show); }},
        {"frmProperties", [&] { return properties && properties->on_changed && properties->on_show_modal; }},
        {"frmQuietStatus", [&] { return views.main_window().quiet_status_window() != nullptr; }},
        {"frmSplash", [&] { return views.main_window().splash_window() != nullptr; }},
        {"frmShape", [&] { return files && files->show_shape; }},
        {"frmFeatureType", [&] { return files && files->show_feature_type; }},
        {"frmFields", [&] { return files && files->table_files().show_fields; }},
        {"frmWorldFiles", [&] { return files && files->show_world_files; }},
    };
    auto hook = hooks.find(name);
    return hook != hooks.end() && hook->second();
}

TEST(ProgramViews, EveryWindowTheProgramCanShowHasAView)
{
    test_support::ensure_qapplication();
    Program p;
    app::ProgramViews views(p.main);
    // The windows shut-down knows, those registered with the main window and
    // those it shows modally; the second splash window is made by nothing.
    std::set<std::string> names(app::unload_order.begin(), app::unload_order.end());
    for (const std::string& n : p.main.window_names()) names.insert(n);
    names.insert(app::modal_windows.begin(), app::modal_windows.end());
    names.erase("frmCustomSplash");
    EXPECT_GE(names.size(), 18u);
    for (const std::string& name : names) EXPECT_TRUE(has_view(p, views, name)) << name << " has no view";
    EXPECT_FALSE(p.main.frmInfo().window.visible);

    // In quiet mode the information window is only logged: nothing waits.
    std::vector<std::string> logged;
    p.dialogs.set_quiet(true);
    p.dialogs.set_log([&](const std::string& line) { logged.push_back(line); });
    EXPECT_FALSE(watch_window("frmInfo", [&] { p.main.show_modal("frmInfo"); }));
    EXPECT_EQ(logged, std::vector<std::string>{"Window [Garmin Info] -> cancelled"});
}

TEST(ProgramViews, GarminInfoShowsTheUnitAndItsProtocolsModallyOverTheMainWindow)
{
    test_support::ensure_qapplication();
    receivertest::Unit unit("d110-array-unit");
    receivertest::Window w(unit);
    app::ProgramViews views(w.main);
    QAction* info = views.main_window().action("mnuGInfo");
    ASSERT_TRUE(info && info->isEnabled());
    std::map<std::string, QString> texts;
    bool modal_over_main = false, visible_meanwhile = false;
    const bool shown = watch_window("frmInfo", [&] { info->trigger(); }, [&](QWidget* dlg) {
        texts["title"] = dlg->windowTitle();
        for (QLabel* l : dlg->findChildren<QLabel*>())
            if (!l->objectName().isEmpty()) texts[l->objectName().toStdString()] = l->text();
        modal_over_main = dlg->isModal() && dlg->parentWidget() == &views.main_window();
        visible_meanwhile = w.main.frmInfo().window.visible;
    });
    ASSERT_TRUE(shown);
    EXPECT_TRUE(modal_over_main);
    EXPECT_TRUE(visible_meanwhile);
    EXPECT_FALSE(w.main.frmInfo().window.visible); // closed
    EXPECT_EQ(texts["title"], "Garmin Info");
    EXPECT_EQ(texts["lblProductID"], "PID 292");
    EXPECT_EQ(texts["lblGPSDesc1"], "GPSMAP 60CSx Software Version 3.60");
    EXPECT_EQ(texts["lblGPSDesc2"], "VERBMAP Americas Recreational Basemap 4.00");
    // The listing stands in lines of ten, side by side.
    const QStringList protocols = texts["lblFormat1"].split('\n');
    ASSERT_GE(protocols.size(), 4);
    EXPECT_EQ(protocols.mid(0, 4), (QStringList{"Supported ", "Protocols:", " Link:L001", "  WPT:A100"}));
    const QStringList data = texts["lblFormat3"].split('\n');
    ASSERT_GE(data.size(), 4);
    EXPECT_EQ(data[2], " Data     ");
    EXPECT_EQ(data[3], "  WPT:D110");
}

} // namespace
