// A main window over a scratch program folder (proj/nad inside it) and
// settings file, scripted dialogs and a fake event pump, whose coordinates
// run on a fake projection library.
#pragma once

#include "main/program/compose.h"
#include "main/app/frm_main.h"
#include "main/coords/coords.h"
#include "main/table/table.h"
#include "platform/automation/dispatch.h"
#include "platform/events/fake_events.h"
#include "platform/proj/proj.h"
#include "platform/serial/portmap.h"
#include "platform/settings/settings.h"
#include "platform/ui/cursor.h"
#include "platform/ui/scripted_dialogs.h"

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <stdlib.h>

namespace coordstest {

// Geographic systems ("+proj=longlat") take radians; every other system is
// "projected" as 1000 units per radian, so results are easy to foresee.
// Failures are injected by definition text and by transform call number.
class FakeProj : public platform::ProjLibrary {
public:
    Handle pjInitPlus(const std::string& def) override
    {
        inits.push_back(def);
        for (const auto& [text, err] : refuse)
            if (def.find(text) != std::string::npos || (text.empty() && def.empty())) {
                errnum = err;
                return 0;
            }
        Handle h = ++last_;
        geographic[h] = def.find("+proj=longlat") != std::string::npos;
        live.insert(h);
        return h;
    }
    int pjTransform(Handle from, Handle to, std::int32_t, std::int32_t, double& x, double& y, double& z) override
    {
        ++transforms;
        heights.push_back(z);
        if (transforms == fail_at) {
            errnum = fail_errnum;
            return 1;
        }
        double f = geographic[from] ? 1.0 : 1.0 / 1000.0, t = geographic[to] ? 1.0 : 1000.0;
        x = x * f * t;
        y = y * f * t;
        return 0;
    }
    int pjIsLatLong(Handle h) override { return geographic[h] ? 1 : 0; }
    int pjErrNum() override { return errnum; }
    void pjFree(Handle h) override { live.erase(h); }

    std::map<std::string, int> refuse; // definition text -> error number
    int fail_at = 0, fail_errnum = -14;
    int transforms = 0, errnum = 0;
    std::vector<std::string> inits;
    std::vector<double> heights;
    std::set<Handle> live; // handles not freed yet

private:
    Handle last_ = 0;
    std::map<Handle, bool> geographic;
};

// The ArcMap extension's two conversions: Project_XY adds 1 to x and y,
// project_XYs adds 1 to every pair; both refuse an empty projection.
class FakeArcMap : public platform::Dispatch {
public:
    std::optional<platform::DispId> GetIDOfName(std::string_view name) const override
    {
        if (platform::NameEquals(name, "Project_XY")) return 1;
        if (platform::NameEquals(name, "project_XYs")) return 2;
        return std::nullopt;
    }
    platform::Variant Invoke(platform::DispId id, platform::InvokeKind, std::vector<platform::Variant>& a) override
    {
        calls.push_back(a);
        if (id == 1) {
            if (a[3].ToString().empty() && a[4].ToString().empty()) return false;
            a[0] = a[0].ToDouble() + 1;
            a[1] = a[1].ToDouble() + 1;
            return true;
        }
        if (a[2].ToString().empty() && a[3].ToString().empty()) return false;
        if (refuse) return false;
        auto& list = a[0].ArrayRef();
        for (int j = list.LBound(); j <= list.UBound(); ++j) {
            auto& pair = list.at(j).ArrayRef();
            pair.at(0) = pair.at(0).ToDouble() + 1;
            pair.at(1) = pair.at(1).ToDouble() + 1;
        }
        return true;
    }
    std::vector<std::vector<platform::Variant>> calls;
    bool refuse = false;
};

struct Harness {
    // The scratch folder is the program folder unless `program_folder` names
    // another; `real_library` keeps the PROJ library of the program folder.
    explicit Harness(const std::string& program_folder = {}, bool real_library = false)
        : folder(make_dir()), settings(folder + "/home/trekfold.ini"),
          ports(&settings, [](const std::string&) { return std::optional<std::string>(); }, folder + "/dev",
                folder + "/sys"),
          main({settings, dialogs, cursor, pump, ports}, program_folder.empty() ? folder : program_folder),
          proj(real_library ? nullptr : std::make_shared<FakeProj>())
    {
        std::filesystem::create_directories(folder + "/proj/nad");
        std::filesystem::create_directories(folder + "/dev");
        dialogs.set_log([](const std::string&) {});
        app::install_subsystems(main);
        if (proj) main.set_coords(coords::make_coordinates(main, proj));
    }
    ~Harness() { std::filesystem::remove_all(folder); }

    static std::string make_dir()
    {
        char tmpl[] = "/tmp/tf-coords-XXXXXX";
        return ::mkdtemp(tmpl);
    }
    void write(const std::string& relative, const std::string& text)
    {
        std::ofstream(folder + "/" + relative, std::ios::binary) << text;
    }
    // A list file with the three systems the tests use.
    void write_epsg()
    {
        write("proj/nad/epsg", "# WGS 84\n"
                               "<4326> +proj=longlat +ellps=WGS84 +datum=WGS84 +no_defs  no_defs <>\n"
                               "# NAD83 / UTM zone 15N\n"
                               "<26915> +proj=utm +zone=15 +ellps=GRS80 +datum=NAD83 +units=m +no_defs  no_defs <>\n"
                               "# NAD27 / UTM zone 15N\n"
                               "<26715> +proj=utm +zone=15 +ellps=clrk66 +datum=NAD27 +units=m +no_defs  no_defs <>\n");
    }
    // Start-up as the program runs it, the first-run question answered.
    void load(int answer = platform::vbYes)
    {
        dialogs.answer(answer);
        main.Form_Load();
        main.table().Table_SetType("waypoint"); // so columns can be found before the first row
        dialogs.clear();
    }
    void rows(const std::vector<std::string>& values, const std::string& columns)
    {
        for (const auto& v : values) main.table().Records_Insert(v, columns, "", ";", false);
    }
    std::string cell(int r, const std::string& field)
    {
        int c = main.table().Column_Find(field, true);
        return c < 0 ? "<no column>" : main.MSFlexGrid1.TextMatrix(r, c);
    }
    std::string col(const std::string& field) { return std::to_string(main.table().Column_Find(field, true)); }
    std::vector<std::string> box_texts() const
    {
        std::vector<std::string> t;
        for (const auto& b : dialogs.boxes()) t.push_back(b.text);
        return t;
    }

    std::string folder;
    platform::Settings settings;
    platform::ScriptedDialogs dialogs;
    platform::RecordingCursor cursor;
    platform::FakeEventPump pump;
    platform::PortMap ports;
    app::frmMain main;
    std::shared_ptr<FakeProj> proj;
};

} // namespace coordstest
