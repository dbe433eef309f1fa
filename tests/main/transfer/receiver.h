// The main window on the real device control, linked over a pty to the
// receiver simulator running on its own thread.
#pragma once

#include "main/program/compose.h"
#include "main/app/frm_info.h"
#include "main/app/frm_main.h"
#include "main/table/table.h"
#include "main/transfer/transfer.h"
#include "platform/events/events.h"
#include "platform/serial/portmap.h"
#include "platform/settings/settings.h"
#include "platform/ui/cursor.h"
#include "platform/ui/scripted_dialogs.h"
#include "tools/gpsim/gpsim.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace receivertest {

using nlohmann::json;

// The program's application object: a widget test's own when it has one.
inline QCoreApplication& qt()
{
    if (QCoreApplication* running = QCoreApplication::instance()) return *running;
    static int argc = 1;
    static char name[] = "receiver_test";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return app;
}

struct Unit {
    gpsim::Simulator sim;
    // A unit of tools/gpsim/scenarios, or of this folder's data.
    explicit Unit(const std::string& name, gpsim::Options o = {})
        : sim(gpsim::load_scenario_file(path(name)), o)
    {
        sim.start();
    }
    Unit(gpsim::Scenario scenario, gpsim::Options o) : sim(std::move(scenario), o) { sim.start(); }
    static std::string path(const std::string& name)
    {
        const std::string own = TREKFOLD_SOURCE_DIR "/tests/main/transfer/data/" + name + ".json";
        if (std::filesystem::exists(own)) return own;
        return TREKFOLD_SOURCE_DIR "/tools/gpsim/scenarios/" + name + ".json";
    }
};

// A main window with the real control on COM7, linked to `unit`.
struct Window {
    std::string dir;
    platform::Settings settings;
    platform::ScriptedDialogs dialogs;
    platform::RecordingCursor cursor;
    platform::PortMap ports;
    app::frmMain main;

    explicit Window(Unit& unit, const std::string& port_settings = "9600,N,8,1")
        : dir(make_dir()), settings(dir + "/trekfold.ini"), ports(&settings),
          main({settings, dialogs, cursor, (qt(), platform::qt_event_pump()), ports}, TREKFOLD_BINARY_DIR "/bin")
    {
        ::setenv("TREKFOLD_COM7", unit.sim.slave_path().c_str(), 1);
        app::install_subsystems(main);
        std::string why;
        auto control = app::make_brenvik_control(why, TREKFOLD_BINARY_DIR "/bin");
        if (!control) throw std::runtime_error(why);
        main.host_garmin_owned(std::move(control));
        settings.SaveSetting("proj", "proj", "4326");
        // Start-up connects the stored port: the unit's, at its speed.
        settings.SaveSetting("port", "port", "7");
        settings.SaveSetting("port", "Settings", port_settings);
        main.Form_Load();
        dialogs.clear();
        main.garmin->Port(7);
        main.garmin->Settings(port_settings);
        if (!main.garmin->PortOpen()) throw std::runtime_error("port did not open");
        main.garmin->Request_Product_Data();
        main.transfer().Set_Controls(3);
    }
    ~Window()
    {
        main.host_garmin_owned(nullptr);
        std::filesystem::remove_all(dir);
    }
    static std::string make_dir()
    {
        char d[] = "/tmp/receiver-test-XXXXXX";
        return ::mkdtemp(d);
    }
    // Runs a menu command and waits, letting events run, until no transfer runs.
    void run(const char* menu)
    {
        main.transfer().menu_Click(menu, -1);
        platform::EventPump& pump = platform::qt_event_pump();
        pump.wait_until([&] { return !main.state().transfer_running; }, pump.clock().now_us() + 60'000'000);
        ASSERT_FALSE(main.state().transfer_running) << menu << " did not end";
    }
    int rows() { return main.MSFlexGrid1.Rows() - 1; }
    std::string cell(int row, const char* field)
    {
        return main.MSFlexGrid1.TextMatrix(row, main.table().Column_Find(field, true));
    }
    std::vector<std::string> texts()
    {
        std::vector<std::string> out;
        for (const auto& b : dialogs.boxes()) out.push_back(b.text);
        dialogs.clear();
        return out;
    }
};

} // namespace receivertest
