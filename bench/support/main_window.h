// The main window with its subsystems, as the benches that drive it from
// inside the process compose it: scratch settings, scripted boxes whose log
// is dropped, a fake event pump and the port map.
#pragma once

#include "bench/support/scratch.h"
#include "main/app/frm_main.h"
#include "main/program/compose.h"
#include "platform/events/fake_events.h"
#include "platform/serial/portmap.h"
#include "platform/settings/settings.h"
#include "platform/ui/cursor.h"
#include "platform/ui/scripted_dialogs.h"

#include <string>

namespace benchsupport {

struct MainWindow {
    // `program`: the program folder; `quiet`: every box answered with its
    // default, as in quiet mode.
    MainWindow(const std::string& program, bool quiet)
        : settings(at("trekfold.ini")), ports(&settings), main({settings, dialogs, cursor, pump, ports}, program)
    {
        if (quiet) dialogs.set_quiet(true);
        dialogs.set_log([](const std::string&) {});
        app::install_subsystems(main);
    }
    int rows() const { return main.MSFlexGrid1.Rows() - 1; }

    platform::Settings settings;
    platform::ScriptedDialogs dialogs;
    platform::RecordingCursor cursor;
    platform::FakeEventPump pump;
    platform::PortMap ports;
    app::frmMain main;
};

} // namespace benchsupport
