// A records table on a scratch settings file, with the main window's state
// and callbacks recorded.
#pragma once

#include "main/table/picker.h"
#include "main/table/table.h"
#include "platform/ui/scripted_dialogs.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <stdlib.h>

struct TableHarness {
    TableHarness()
        : dir(make_dir()), settings(dir + "/trekfold/trekfold.ini"), grid(2, 30)
    {
        dialogs.set_log([](const std::string&) {});
        flxgrd::TableContext ctx{grid, settings, dialogs, record_type, record_counter, segment_counter,
                                 selection_count, first_selected, last_selected, upload_cursor, real_time};
        ctx.Set_Controls = [this](int s) { controls.push_back(s); };
        ctx.Set_Msg = [this](const std::string& m) { last_msg = m; };
        ctx.Set_Selected = [this](const std::string& m) { selected = m; };
        ctx.panel_open = [this] { return panel; };
        ctx.cmdAdvanced_Click = [this] { panel = !panel; ++panel_clicks; };
        ctx.Set_RouteDefault = [this] { ++route_defaults; };
        ctx.cursor = &cursor;
        ctx.now = [] { return platform::vb::Date{2006, 5, 1, 14, 5, 0}; };
        ctx.clipboard = [this] { return &clipboard; };
        ctx.picker = [this] { return picker.get(); };
        ctx.unload_properties = [this] { ++properties_unloads; };
        table = std::make_unique<flxgrd::Table>(std::move(ctx));
        picker = std::make_unique<flxgrd::frmWptSelect>(table->ImageList1(), d103);
    }
    ~TableHarness() { std::filesystem::remove_all(dir); }

    static std::string make_dir()
    {
        char tmpl[] = "/tmp/tf-table-XXXXXX";
        return mkdtemp(tmpl);
    }
    std::string cell(int r, int c) const { return grid.TextMatrix(r, c); }
    std::string cell(int r, const std::string& field) const
    {
        int c = table->Column_Find(field, true);
        return c < 0 ? "<no column>" : grid.TextMatrix(r, c);
    }
    std::vector<std::string> headers() const
    {
        std::vector<std::string> h;
        for (int c = 1; c < grid.Cols(); ++c)
            h.push_back(grid.TextMatrix(0, c));
        return h;
    }

    std::string dir;
    platform::Settings settings;
    platform::Grid grid;
    platform::ScriptedDialogs dialogs;
    platform::RecordingCursor cursor;
    std::string record_type = "waypoint";
    std::int32_t record_counter = 0;
    std::int64_t segment_counter = 0;
    std::int32_t selection_count = 0, first_selected = 1, last_selected = 1, upload_cursor = 0;
    bool real_time = false;
    std::vector<int> controls;
    std::string last_msg, selected;
    bool panel = false;
    int panel_clicks = 0, route_defaults = 0, properties_unloads = 0;
    platform::MemoryClipboard clipboard;
    platform::Collection<std::int32_t> d103;
    std::unique_ptr<flxgrd::Table> table;
    std::unique_ptr<flxgrd::frmWptSelect> picker;
};
