// trekfold: creates the main window, whose load handler is the program's
// start, and runs the event loop until the window's unload ends it.
#include "main/views/cep_view.h"
#include "main/views/nmea_viewer_view.h"
#include "main/views/realtime_view.h"
#include "main/views/hotlinking_view.h"
#include "main/program/compose.h"
#include "main/views/files_view.h"
#include "main/views/layer_selection_view.h"
#include "main/app/frm_main.h"
#include "main/settings/frm_properties.h"
#include "main/views/image_view.h"
#include "main/views/main_window_view.h"
#include "main/views/properties_view.h"
#include "main/program/signal_closer.h"
#include "main/coords/cep.h"
#include "main/realtime/nmea_viewer.h"
#include "main/realtime/frm_realtime.h"
#include "main/realtime/realtime.h"
#include "main/coords/coords.h"
#include "main/transfer/transfer.h"
#include "main/links/gis_links.h"
#include "platform/text/vb.h"
#include "platform/events/events.h"
#include "platform/serial/portmap.h"
#include "platform/settings/settings.h"
#include "platform/settings/stored_file.h"
#include "platform/ui/clipboard.h"
#include "platform/ui/printer.h"
#include "platform/ui/qt_dialogs.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include <cstdlib>
#include <memory>
#include <iostream>
#include <sstream>
#include <string>
#include <unistd.h>

int main(int argc, char** argv)
{
    // Before anything that takes time: a signal from now on ends the
    // program through its normal shut-down once the event loop runs.
    app::SignalCloser::catch_signals();
    // An unattended quiet line may run where there is no display at all: it
    // then draws on Qt's offscreen platform rather than failing to start.
    if (argc > 1 && platform::vb::LCase(std::string(argv[1]).substr(0, 5)) == "quiet") {
        auto unset = [](const char* name) {
            const char* v = std::getenv(name);
            return !v || !*v;
        };
        if (unset("DISPLAY") && unset("WAYLAND_DISPLAY") && unset("QT_QPA_PLATFORM"))
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    }
    QApplication qapp(argc, argv); // takes Qt's own options out of argv

    // The command line: the arguments after the program name, one blank apart.
    std::string command_line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) command_line += ' ';
        command_line += argv[i];
    }

    platform::Settings settings(platform::Settings::default_path());
    platform::QtDialogs dialogs;
    platform::QtCursor cursor;
    platform::PortMap ports(&settings);
    app::frmMain frm({settings, dialogs, cursor, platform::qt_event_pump(), ports},
                     QCoreApplication::applicationDirPath().toStdString());
    app::install_subsystems(frm);
    frm.set_clipboard(platform::make_qt_clipboard());
    frm.set_printer(platform::make_qt_printer());
    {
        std::string why;
        if (auto control = app::make_brenvik_control(why))
            frm.host_garmin_owned(std::move(control));
        else
            std::cerr << "trekfold: no device control: " << why << '\n';
    }
    frm.state().command_line = command_line;
    if (QScreen* s = QGuiApplication::primaryScreen()) {
        frm.screen_width = s->geometry().width() * 15;
        frm.screen_height = s->geometry().height() * 15;
    }

    app::MainWindowView view(frm);
    dialogs.set_parent(&view);
    if (auto* p = dynamic_cast<app::frmProperties*>(&frm.frmProperties())) app::bind_properties_view(*p, &view);
    app::bind_cep_view(frm.coords().CalculateCEP(), &view);
    app::bind_nmea_viewer_view(frm.realtime().NMEAViewer(), &view);
    app::bind_realtime_view(frm.realtime().RealTimeWindow(), &view);
    app::bind_file_views(frm, &view);
    app::bind_hotlinking_view(frm, &view);
    app::bind_layer_selection_view(frm, &view);
    std::unique_ptr<QWidget> image_view = app::make_image_view(frm);

    app::SignalCloser closer([&frm](int) {
        int cancel = 0;
        frm.Form_Unload(cancel);
    });

    QTimer::singleShot(0, &view, [&] {
        frm.Form_Load();
        // Test support: TREKFOLD_READY=<file> makes the program write its
        // process id into that file once start-up is over (signals are
        // caught from the first moment; start-up's settings are saved).
        if (const char* ready = std::getenv("TREKFOLD_READY"); ready && *ready) {
            std::string why;
            if (!platform::save_stored_file(ready, std::to_string(::getpid()) + "\n", why, 0644))
                std::cerr << "trekfold: could not write " << ready << ": " << why << '\n';
        }
        // Test support: TREKFOLD_DEMO="mnuWDownload mnuRDownload ..." chooses
        // those menu items in turn on the port start-up connected, each once
        // the transfer before it has ended; boxes are answered as in quiet
        // mode and logged.
        if (const char* demo = std::getenv("TREKFOLD_DEMO"); demo && *demo) {
            dialogs.set_quiet(true);
            std::istringstream menus(demo);
            for (std::string menu; menus >> menu && !frm.ended();) {
                frm.menu_Click(menu);
                platform::EventPump& pump = platform::qt_event_pump();
                pump.wait_until([&] { return !frm.state().transfer_running || frm.ended(); },
                                pump.clock().now_us() + 600'000'000);
            }
            dialogs.set_quiet(false);
        }
        // Test support: TREKFOLD_SCREENSHOT=<file.png> saves a picture of the
        // window once it has been drawn, then closes the program normally.
        if (const char* shot = std::getenv("TREKFOLD_SCREENSHOT"); shot && *shot) {
            std::string path = shot;
            QTimer::singleShot(2500, &view, [&frm, &view, path] {
                if (!view.snapshot().save(QString::fromStdString(path)))
                    std::cerr << "trekfold: could not save " << path << '\n';
                frm.mnuExit_Click();
            });
        }
    });
    const int status = qapp.exec();
    if (status != 0 || !frm.state().quiet_mode) return status;
    auto* gis = dynamic_cast<links::Links*>(&frm.links());
    return gis ? gis->quiet_exit_status() : 0;
}
