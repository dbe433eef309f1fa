// A main window with a fake control that plays the receiver, for the
// transfer tests and benchmarks. Conversions are stubbed: they only count.
#pragma once

#include "tests/main/app/rig.h"

#include "main/coords/cep.h"
#include "main/coords/coords.h"
#include "main/table/table.h"

#include <algorithm>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace apptest {

struct CountingCoords : coords::Coordinates {
    explicit CountingCoords(app::frmMain& main) : cep(main) {}
    int tables = 0;
    coords::frmCalculateCEP cep;
    coords::frmCalculateCEP& CalculateCEP() override { return cep; }
    bool Project_Point(double&, double&, bool, double&, double&) override { return true; }
    bool Project_Table(bool) override { return ++tables, true; }
    void LoadProjections(const std::string&) override {}
    std::string getProjectionDescription() override { return {}; }
    std::string getProjectionName(bool) override { return {}; }
    const coords::ProjectionCatalogue* catalogue() const override { return nullptr; }
    void show_frmCalculateCEP() override {}
    void menu_Click(const std::string&, int) override {}
};

struct Drive : Rig {
    Drive() : Rig(false)
    {
        auto c = std::make_unique<CountingCoords>(main);
        projections = c.get();
        main.set_coords(std::move(c));
        load();
    }
    CountingCoords* projections = nullptr;
    app::AppState& s() { return main.state(); }
    std::string cell(int row, const char* field)
    {
        return main.MSFlexGrid1.TextMatrix(row, main.table().Column_Find(field, true));
    }
    std::vector<std::string> texts()
    {
        std::vector<std::string> out;
        for (const auto& b : dialogs.boxes()) out.push_back(b.text);
        return out;
    }
    int count(const std::string& entry) { return static_cast<int>(std::count(log.begin(), log.end(), entry)); }
    std::uint8_t id(const char* n) { return garmin.ids.at(n); }
    // The receiver's answer to a download request: the count, then each
    // record as `fill` sets it, then the transfer-complete packet.
    void play(const char* request, int announced, std::vector<std::pair<const char*, std::function<void()>>> records)
    {
        garmin.on[request] = [this, announced, records] {
            garmin.incoming = static_cast<std::int16_t>(announced);
            garmin.receive(id("PID_Records"));
            for (auto& [pid, fill] : records) {
                if (fill) fill();
                garmin.receive(id(pid));
                busy_while_rows.push_back(s().transfer_busy);
            }
            garmin.receive(id("PID_Xfer_Cmplt"), {id("CMND_Transfer_Wpt"), 0});
        };
    }
    std::vector<bool> busy_while_rows;
};

} // namespace apptest
