// The main window's table commands and grid events.
#include "rig.h"

#include "main/hotlink/hotlink.h"
#include "main/table/picker.h"
#include "main/table/table.h"
#include "platform/automation/vb_error.h"
#include "platform/ui/clipboard.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

using apptest::Rig;

namespace {

struct TableCommands : ::testing::Test {
    Rig r;
    platform::Grid& g = r.main.MSFlexGrid1;
    void SetUp() override
    {
        flxgrd::Fields_Repair(r.settings, ""); // the recording dialog repairs nothing
        r.load();
    }
    int col(const char* f) { return r.main.table().Column_Find(f, true); }
    void insert(const std::vector<std::pair<const char*, std::string>>& fields)
    {
        std::string values, cols;
        if (g.TextMatrix(0, 1).empty()) r.main.table().Table_SetType(r.main.state().record_type);
        for (auto& [f, v] : fields) {
            values += (values.empty() && cols.empty() ? "" : "|") + v;
            cols += (cols.empty() ? "" : ";") + std::to_string(col(f));
        }
        r.main.table().Records_Insert(values, cols, "", "|");
    }
    std::vector<std::string> column(const char* f)
    {
        std::vector<std::string> out;
        for (int row = 1; row < g.Rows(); ++row) out.push_back(g.TextMatrix(row, col(f)));
        return out;
    }
    void click(int row, int c)
    {
        g.set_mouse(row, c);
        r.main.grid_Event("Click");
    }
};

TEST_F(TableCommands, HeaderClickSortsWaypointsDescendingThenAscending)
{
    for (const char* lat : {"9", "10", "2"}) insert({{"lat", lat}});
    click(0, col("lat"));
    EXPECT_THAT(column("lat"), ::testing::ElementsAre("10", "9", "2"));
    click(0, col("lat"));
    EXPECT_THAT(column("lat"), ::testing::ElementsAre("2", "9", "10"));
    click(1, col("lat")); // a data row: nothing
    r.main.menu_Click("optTrk");
    click(0, col("lat"));
    EXPECT_THAT(column("lat"), ::testing::ElementsAre("2", "9", "10"));
}

TEST_F(TableCommands, ButtonsAndGridEventsReachTheTable)
{
    for (int k = 1; k <= 4; ++k) insert({{"ident", "W" + std::to_string(k)}});
    g.SetRow(3);
    g.SetRowSel(2);
    g.SetColSel(g.Cols() - 1);
    r.main.grid_Event("SelChange");
    EXPECT_EQ(r.main.StatusBar1[2], "2 of 4 Selected");
    EXPECT_EQ(r.main.state().last_selected_row, 3);
    r.main.menu_Click("cmdCopy");
    EXPECT_EQ(r.main.clipboard().GetText().substr(0, 4), "\tW2\t");
    r.main.menu_Click("mnuDelete");
    EXPECT_THAT(column("ident"), ::testing::ElementsAre("W1", "W4"));
    g.SetCol(col("comment")); // whole columns: the settings dialog is unloaded
    g.SetRowSel(2);
    r.main.menu_Click("cmdDeleteSel");
    EXPECT_THAT(r.log, ::testing::Contains("frmProperties.Unload"));
    r.main.menu_Click("mnuClearSelection");
    EXPECT_EQ(r.main.StatusBar1[1], "Selection Cleared");
    EXPECT_TRUE(r.dialogs.boxes().empty());
}

TEST_F(TableCommands, ErrorsOfTheTableEndInTheHandlersBox)
{
    struct BrokenClipboard : platform::Clipboard {
        std::string GetText() const override { return {}; }
        void SetText(const std::string&) override { throw platform::VbError(521, "Clipboard", "Can't open Clipboard"); }
        platform::Image GetImage() const override { return {}; }
        void SetImage(const platform::Image&) override {}
        void Clear() override {}
    };
    insert({{"ident", "W1"}});
    r.main.set_clipboard(std::make_unique<BrokenClipboard>());
    r.main.menu_Click("mnuCopy");
    g.SetCol(col("symbol"));
    r.main.frmWptSelect().on_show = [](flxgrd::frmWptSelect&) { throw platform::VbError(7, "", "Out of memory"); };
    r.main.grid_Event("DblClick");
    // A route list without its route name column.
    std::string list = flxgrd::Fields_DefaultList("route");
    r.settings.SaveSetting("fields", "route", platform::vb::Replace(list, "rident:1:rident", "zzz:1:zzz"));
    insert({{"ident", "W2"}});
    r.main.menu_Click("optRte");
    ASSERT_EQ(r.dialogs.boxes().size(), 3u);
    EXPECT_EQ(r.dialogs.boxes()[0].title, "frmMain.mnuCopy_Click");
    EXPECT_EQ(r.dialogs.boxes()[0].text, "Error #521 - Can't open Clipboard");
    EXPECT_EQ(r.dialogs.boxes()[1].title, "frmMain.MSFlexGrid1_DblClick");
    EXPECT_EQ(r.dialogs.boxes()[2].title, "frmMain.optRte_Click");
    EXPECT_EQ(r.dialogs.boxes()[2].icon(), platform::vbCritical);
}

TEST_F(TableCommands, LocalAndUtcTimeMenus)
{
    r.main.state().time_zone = "-6  (Central)";
    r.main.menu_Click("optRTWpt");
    insert({{"date", "2007/06/01"}, {"time", "18:00:00"}});
    r.main.menu_Click("mnuCalculateLocalTime");
    EXPECT_EQ(g.TextMatrix(1, col("ltime")), "2007/06/01 12:00:00");
    g.SetTextMatrix(1, col("time"), "");
    r.main.menu_Click("mnuCalculateUTCTime");
    EXPECT_EQ(g.TextMatrix(1, col("time")), "2007/06/01 18:00:00");
    r.main.menu_Click("optWpt");
    r.main.table().Table_Clear();
    insert({{"comment", "CRTD 12:00 01-JUN-07"}});
    r.main.menu_Click("mnuCalculateUTCTime");
    EXPECT_EQ(g.TextMatrix(1, col("time")), "2007/06/01 18:00:00");
}

TEST_F(TableCommands, ClickCopiesTheRecordTimeIntoTheVisibleCalibrationWindow)
{
    struct Calibration : hotlink::Hotlinking {
        void show_frmHotlinking() override {}
        bool frmTimeCalibrate_Visible() const override { return true; }
        void frmTimeCalibrate_SetGPS(const std::string& d, const std::string& t) override { got.push_back(d + " " + t); }
        std::vector<std::string> got;
    };
    auto h = std::make_unique<Calibration>();
    auto* cal = h.get();
    r.main.set_hotlink(std::move(h));
    r.main.menu_Click("optTrk");
    insert({{"time", "2007-06-01T18:05:09Z"}});
    insert({{"time", ""}});
    click(1, 1);
    click(2, 1);
    click(0, col("time")); // the header: no copy, and tracks never sort
    EXPECT_THAT(cal->got, ::testing::ElementsAre("06/01/2007 18:05:09"));
}

} // namespace
