// A main window over a temporary settings file, scripted dialogs, a fake
// event pump and a port map with a made-up environment; the neighbour
// subsystems are wrapped so every call they receive lands in one log.
#pragma once

#include "main/program/compose.h"
#include "main/app/frm_main.h"
#include "main/app/properties.h"
#include "main/coords/coords.h"
#include "tests/main/app/fake_garmin.h"
#include "main/links/gis_links.h"
#include "main/transfer/transfer.h"
#include "platform/events/fake_events.h"
#include "platform/serial/portmap.h"
#include "platform/settings/settings.h"
#include "platform/ui/cursor.h"
#include "platform/ui/scripted_dialogs.h"

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace apptest {

using Log = std::vector<std::string>;

class TempDir {
public:
    TempDir()
    {
        char tmpl[] = "/tmp/frmmain-test-XXXXXX";
        path = ::mkdtemp(tmpl);
    }
    ~TempDir() { std::filesystem::remove_all(path); }
    std::string path;
};

class RecordingTransfer : public transfer::GpsTransfer {
public:
    RecordingTransfer(std::unique_ptr<transfer::GpsTransfer> inner, Log& log) : inner_(std::move(inner)), log_(log) {}
    void Set_Controls(std::int16_t s) override
    {
        log_.push_back("Set_Controls(" + std::to_string(s) + ")");
        inner_->Set_Controls(s);
    }
    void Ports_Enable() override
    {
        log_.push_back("Ports_Enable");
        inner_->Ports_Enable();
    }
    void Load_d103WptSymbols() override
    {
        log_.push_back("Load_d103WptSymbols");
        inner_->Load_d103WptSymbols();
    }
    void Load_d1xxWptSymbols() override
    {
        log_.push_back("Load_d1xxWptSymbols");
        inner_->Load_d1xxWptSymbols();
    }
    void mnuOpen_Click() override
    {
        log_.push_back("mnuOpen_Click");
        if (connects) inner_->Set_Controls(3);
    }
    void GPS_Find(bool& f) override { log_.push_back(std::string("GPS_Find(") + (f ? "True" : "False") + ")"); }
    void menu_Click(const std::string& n, int i) override
    {
        log_.push_back("transfer." + n + "(" + std::to_string(i) + ")");
        if (forward_menus) inner_->menu_Click(n, i);
    }
    void garmin_Receive(const app::Packet& p) override { inner_->garmin_Receive(p); }
    void garmin_cError(std::int16_t& c, const std::string& m, const app::Packet& p) override
    {
        inner_->garmin_cError(c, m, p);
    }
    void garmin_ReceiveCounts(std::int16_t w, std::int16_t p, std::int16_t r, std::int16_t t) override
    {
        inner_->garmin_ReceiveCounts(w, p, r, t);
    }
    void garmin_ReceiveImage(std::int16_t pct, const brenvik::PictureRef& image) override
    {
        inner_->garmin_ReceiveImage(pct, image);
    }
    bool forward_menus = false; // tests of the handlers themselves set it
    bool connects = false;      // opening the port finds a receiver

private:
    std::unique_ptr<transfer::GpsTransfer> inner_;
    Log& log_;
};

class RecordingLinks : public links::GisLinks {
public:
    RecordingLinks(app::frmMain& main, Log& log) : seam(main), log_(log) {}
    void Refresh_Apps() override
    {
        log_.push_back("Refresh_Apps");
        seam.Refresh_Apps();
    }
    void Quiet_Driver(std::string& line) override
    {
        log_.push_back("Quiet_Driver(" + line + ")");
        seam.Quiet_Driver(line);
    }
    void Timer1_Timer() override
    {
        log_.push_back("Timer1_Timer");
        if (on_timer) on_timer();
        seam.Timer1_Timer();
    }
    std::function<void()> on_timer;
    void ToDDE_Poke(const std::string& t) override
    {
        log_.push_back("ToDDE_Poke(" + t + ")");
        if (on_poke) on_poke();
    }
    std::function<void()> on_poke; // runs inside the poke (may throw)
    // The GIS programs' answer to LV_Exists and Arcview_Exists.
    bool programs_run = false;
    bool LV_Exists(bool m) override { return log_.push_back(std::string("LV_Exists(") + (m ? "True" : "False") + ")"), programs_run; }
    bool Arcview_Exists(bool m) override
    {
        return log_.push_back(std::string("Arcview_Exists(") + (m ? "True" : "False") + ")"), programs_run;
    }
    void lblGPSDesc1_LinkExecute(const std::string& c) override { log_.push_back("LinkExecute(" + c + ")"); }
    void menu_Click(const std::string& n, int i) override { log_.push_back("links." + n); }
    links::Links seam;

private:
    Log& log_;
};

// The coordinates without the projection lists (the program folder of these
// tests holds none): loading a list does nothing, the rest goes through.
class ListlessCoords : public coords::Coordinates {
public:
    explicit ListlessCoords(app::frmMain& main) : inner_(coords::make_coordinates(main)) {}
    bool Project_Point(double& x, double& y, bool f, double& ox, double& oy) override
    {
        return inner_->Project_Point(x, y, f, ox, oy);
    }
    bool Project_Table(bool forward) override { return inner_->Project_Table(forward); }
    void LoadProjections(const std::string&) override {}
    std::string getProjectionDescription() override { return inner_->getProjectionDescription(); }
    std::string getProjectionName(bool arcmap) override { return inner_->getProjectionName(arcmap); }
    const coords::ProjectionCatalogue* catalogue() const override { return inner_->catalogue(); }
    void show_frmCalculateCEP() override { inner_->show_frmCalculateCEP(); }
    coords::frmCalculateCEP& CalculateCEP() override { return inner_->CalculateCEP(); }
    void menu_Click(const std::string& n, int i) override { inner_->menu_Click(n, i); }

private:
    std::unique_ptr<coords::Coordinates> inner_;
};

class RecordingProperties : public app::PropertiesDialog {
public:
    explicit RecordingProperties(Log& log) : log_(log) {}
    void SetFieldSettings(const std::string& t) override
    {
        log_.push_back("SetFieldSettings(" + t + ")");
        if (during) during();
        if (fail) throw platform::VbError(5, "frmProperties", "Invalid procedure call or argument");
    }
    std::function<void()> during; // runs inside SetFieldSettings, as events may
    void optEPSG_Click() override { log_.push_back("optEPSG_Click"); }
    void optESRI_Click() override { log_.push_back("optESRI_Click"); }
    void optArcMap_Click() override { log_.push_back("optArcMap_Click"); }
    void Show(int tab) override { log_.push_back("Show(" + std::to_string(tab) + ")"); }
    void Unload() override { log_.push_back("frmProperties.Unload"); }
    bool fail = false;

private:
    Log& log_;
};

using RecordingGarmin = FakeGarmin;

struct Rig {
    // `own_folder`: the program folder is the rig's temporary folder
    // (where a test may put projection lists), else a missing one.
    explicit Rig(bool record_properties = true, bool own_folder = false)
        : settings(dir.path + "/trekfold.ini"),
          ports(&settings, [this](const std::string& n) -> std::optional<std::string> {
              auto it = env.find(n);
              if (it == env.end()) return std::nullopt;
              return it->second;
          }, dir.path + "/dev", dir.path + "/sys"),
          main({settings, dialogs, cursor, pump, ports}, own_folder ? dir.path : "/opt/trekfold"), garmin(log)
    {
        std::filesystem::create_directories(dir.path + "/dev");
        app::install_subsystems(main);
        main.set_coords(std::make_unique<ListlessCoords>(main));
        auto t = std::make_unique<RecordingTransfer>(transfer::make_gps_transfer(main), log);
        transfer = t.get();
        main.set_transfer(std::move(t));
        auto l = std::make_unique<RecordingLinks>(main, log);
        links = l.get();
        main.set_links(std::move(l));
        if (record_properties) {
            auto p = std::make_unique<RecordingProperties>(log);
            properties = p.get();
            main.set_properties(std::move(p));
        }
        main.host_garmin(&garmin);
    }

    ~Rig() { main.host_garmin(nullptr); }

    void load(const std::string& command_line = {})
    {
        main.state().command_line = command_line;
        main.Form_Load();
    }

    TempDir dir;
    std::map<std::string, std::string> env;
    platform::Settings settings;
    platform::ScriptedDialogs dialogs;
    platform::RecordingCursor cursor;
    platform::FakeEventPump pump;
    platform::PortMap ports;
    app::frmMain main;
    Log log;
    RecordingGarmin garmin;
    RecordingLinks* links = nullptr;
    RecordingTransfer* transfer = nullptr;
    RecordingProperties* properties = nullptr;
};

} // namespace apptest
