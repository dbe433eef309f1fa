// Selection, deleting, hiding, editing, folding, copy and paste, the route
// defaults and the waypoint picker.
#include "harness.h"

#include <gtest/gtest.h>

#include <random>

namespace {

namespace vb = platform::vb;

struct Editing : ::testing::Test {
    TableHarness h;
    platform::Grid& g = h.grid;
    void SetUp() override { flxgrd::Fields_Repair(h.settings, ""); }
    int col(const char* field) { return h.table->Column_Find(field, true); }
    // n waypoints W1.. at (45.k, -93.k).
    void waypoints(int n)
    {
        h.table->Table_SetType("waypoint");
        for (int k = 1; k <= n; ++k)
            h.table->Records_Insert("W" + std::to_string(k) + ";45." + std::to_string(k) + ";-93." + std::to_string(k),
                                    std::to_string(col("ident")) + ";" + std::to_string(col("lat")) + ";" +
                                        std::to_string(col("long")));
    }
    void select(int r1, int c1, int r2, int c2)
    {
        g.SetRow(r1);
        g.SetCol(c1);
        g.SetRowSel(r2);
        g.SetColSel(c2);
    }
    void rows(int r1, int r2) { select(r1, 1, r2, g.Cols() - 1); }
    std::vector<std::string> column(const char* field)
    {
        std::vector<std::string> out;
        for (int r = 1; r < g.Rows(); ++r) out.push_back(h.cell(r, field));
        return out;
    }
    using V = std::vector<std::string>;
};

TEST_F(Editing, TextFirstNumber)
{
    EXPECT_EQ(flxgrd::Table::Text_FirstNumber("Waypoint (18)"), 18);
    EXPECT_EQ(flxgrd::Table::Text_FirstNumber("no digits"), 0);
    EXPECT_EQ(flxgrd::Table::Text_FirstNumber("Contact, Female1 (8264)"), 1);
    EXPECT_EQ(flxgrd::Table::Text_FirstNumber("x2.5e1y"), 25);
    EXPECT_EQ(flxgrd::Table::Text_FirstNumber("0x12"), 0);
}

TEST_F(Editing, SelectionCountAndClear)
{
    waypoints(10);
    rows(5, 3);
    EXPECT_EQ(h.table->Selection_Count(), (std::array<int, 3>{3, 5, 3}));
    EXPECT_EQ(h.selected, "3 of 10 Selected");
    select(3, 2, 5, 3);
    EXPECT_EQ(h.table->Selection_Count()[2], 0);
    EXPECT_EQ(h.selected, "0 of 10 Selected");
    h.table->Selection_Clear();
    EXPECT_EQ(h.last_msg, "Selection Cleared");
    EXPECT_EQ(h.selected, "0 of 10 Selected");
    EXPECT_EQ((std::array<int, 4>{g.Row(), g.Col(), g.RowSel(), g.ColSel()}), (std::array<int, 4>{1, 1, 1, 1}));
}

TEST_F(Editing, DeleteTakesTheGridsSelectedRowsInOneStep)
{
    waypoints(10);
    rows(4, 2);
    h.table->Selection_Delete();
    EXPECT_EQ(h.last_msg, "Deleted 3 Row(s)");
    EXPECT_EQ(column("ident"), (V{"W1", "W5", "W6", "W7", "W8", "W9", "W10"}));
    for (int r = 1; r < g.Rows(); ++r) EXPECT_EQ(g.TextMatrix(r, 0), std::to_string(r));
    EXPECT_EQ(h.record_counter, 7);
    // An insert resets the table's selected range; the grid's selection holds.
    rows(5, 6);
    h.table->Records_Insert("", "", "", "", false);
    h.table->Selection_Delete();
    EXPECT_EQ(column("ident"), (V{"W1", "W5", "W6", "W7", "W10", "w8"}));
    select(1, 1, g.Rows() - 1, g.Cols() - 1);
    h.table->Selection_Delete();
    EXPECT_EQ(g.Rows(), 2);
    EXPECT_EQ(h.record_counter, 0);
}

TEST_F(Editing, HidingColumnsKeepsTheRequiredOnesUnderAnyAlias)
{
    std::string list = h.settings.GetSetting("fields", "waypoint");
    std::string aliased = vb::Replace(list, "lat:1:lat", "lat:1:Latitude");
    ASSERT_NE(aliased, list);
    h.settings.SaveSetting("fields", "waypoint", aliased);
    waypoints(3);
    select(1, col("ident"), 3, col("comment"));
    h.table->Selection_Delete();
    EXPECT_EQ(g.ColWidth(col("comment")), 0);
    for (const char* f : {"ident", "lat", "long", "y_proj", "x_proj"}) EXPECT_GT(g.ColWidth(col(f)), 0) << f;
    EXPECT_EQ(h.last_msg, "Hid Column(s)");
    EXPECT_EQ(h.properties_unloads, 1);
    // A block is blanked.
    select(2, col("lat"), 3, col("long"));
    h.table->Selection_Delete();
    EXPECT_EQ(column("lat"), (V{"45.1", "", ""}));
    EXPECT_EQ(column("ident"), (V{"W1", "W2", "W3"}));
}

TEST_F(Editing, CellEditWritesTheAnswerIntoTheSelectedCells)
{
    waypoints(4);
    select(1, col("lat"), 3, col("long"));
    h.dialogs.input("7");
    h.table->Cell_Edit();
    EXPECT_EQ(h.dialogs.last()->title, "Modify Cell Value");
    EXPECT_EQ(h.dialogs.last()->text, "Change Value to:");
    EXPECT_EQ(h.dialogs.last()->default_text, "45.1");
    EXPECT_EQ(column("lat"), (V{"7", "7", "7", "45.4"}));
    EXPECT_EQ(column("long"), (V{"7", "7", "7", "-93.4"}));
    h.dialogs.input("", true);
    h.table->Cell_Edit();
    EXPECT_EQ(column("lat"), (V{"7", "7", "7", "45.4"}));
    // After an insert only the current cell changes.
    select(2, col("ident"), 2, col("ident"));
    h.table->Records_Insert("", "", "", "", false);
    h.dialogs.input("X");
    h.table->Cell_Edit();
    EXPECT_EQ(column("ident"), (V{"W1", "X", "W3", "W4", "w5"}));
}

TEST_F(Editing, SymbolCellsTakeTheCodeOfThePickedItem)
{
    waypoints(3);
    const int sym = col("symbol");
    select(1, sym, 2, sym);
    h.picker->on_show = [](flxgrd::frmWptSelect& p) {
        p.optSort_Click(1);
        for (size_t k = 0; k < p.listView.size(); ++k)
            if (p.listView[k].text == "Contact, Female1 (8264)") p.selected = int(k);
        p.listView_DblClick();
    };
    h.table->Cell_Edit();
    EXPECT_EQ(column("symbol"), (V{"8264", "8264", ""}));
    EXPECT_EQ(g.CellPicture(2, sym), h.table->Symbol_GetPicture("8264"));
    h.picker->on_show = [](flxgrd::frmWptSelect& p) { p.CancelButton_Click(); };
    select(3, sym, 3, sym);
    h.table->Cell_Edit();
    EXPECT_EQ(h.cell(3, "symbol"), "");
    EXPECT_TRUE(h.dialogs.boxes().empty());
}

TEST_F(Editing, PickerListsAndSelections)
{
    for (const char* code : {"0", "7", "8", "10", "14", "18", "19", "150", "151", "156", "170", "171", "177", "178",
                             "179", "8196"})
        h.d103.Add(0, std::string(code));
    auto& p = *h.picker;
    p.on_show = [](flxgrd::frmWptSelect& d) { d.OKButton_Click(); };
    p.Show();
    EXPECT_EQ(p.listView.size(), 140u);
    EXPECT_EQ(p.Tag, "OK");
    auto at = [&](const std::string& t) {
        for (size_t k = 0; k < p.listView.size(); ++k)
            if (p.listView[k].text == t) return int(k);
        return -1;
    };
    EXPECT_LT(at("10 (Residence)"), at("2 (Green Diamond)"));
    p.optID = {false, true};
    p.optSort_Click(1);
    ASSERT_EQ(p.listView.size(), 16u);
    EXPECT_EQ(p.SelectedItem(), &p.listView[0]);
    for (size_t k = 1; k < p.listView.size(); ++k)
        EXPECT_LT(vb::LCase(p.listView[k - 1].text), vb::LCase(p.listView[k].text));
    EXPECT_EQ(p.listView[0].text, "Boat Ramp (150)");
    p.Unload();
    EXPECT_FALSE(p.loaded);
}

TEST_F(Editing, SegmentStartsFoldAndUnfold)
{
    h.record_type = "track";
    h.table->Table_SetType("track");
    for (const char* seg : {"true", "false", "false", "true", "false"})
        h.table->Records_Insert(std::string(seg), std::to_string(col("new_seg")));
    h.table->Rows_Color(0);
    select(1, 1, 1, 1);
    h.table->Cell_Edit();
    EXPECT_EQ(std::vector<int>({g.RowHeight(2), g.RowHeight(3), g.RowHeight(4), g.RowHeight(5)}),
              (std::vector<int>{0, 0, 240, 240}));
    h.table->Cell_Edit();
    EXPECT_EQ(g.RowHeight(2), 225);
    EXPECT_EQ(g.RowHeight(3), 225);
    select(2, 1, 2, 1); // not a segment start
    h.table->Cell_Edit();
    EXPECT_EQ(g.RowHeight(3), 225);
}

TEST_F(Editing, CopySkipsHiddenCellsAndPasteFillsFromTheSelectionEnd)
{
    waypoints(2);
    select(1, col("ident"), 2, col("long"));
    h.table->Selection_Copy();
    EXPECT_EQ(h.clipboard.GetText(), "W1\t45.1\t-93.1\r\nW2\t45.2\t-93.2\r\n");

    waypoints(4);
    h.clipboard.SetText("A\tB\r\nC\tD\r\n");
    select(2, 2, 2, 2);
    h.table->Selection_Paste(g);
    EXPECT_EQ(column("ident"), (V{"W1", "A", "C", "W4"}));
    EXPECT_EQ(column("lat"), (V{"45.1", "B", "D", "45.4"}));
    select(4, 2, 4, 2); // the last row: one line written, no row added
    h.table->Selection_Paste(g);
    EXPECT_EQ(g.Rows(), 5);
    EXPECT_EQ(h.cell(4, "ident"), "A");
    h.clipboard.SetText("solo\tx");
    h.table->Selection_Paste(g);
    EXPECT_EQ(h.cell(4, "ident"), "solo\tx");

    // A copy pasted back over a hidden column lands in the same columns.
    g.SetColWidth(col("comment"), 0);
    h.table->Records_Insert("W5;c;f", std::to_string(col("ident")) + ";" + std::to_string(col("display")) + ";" +
                                          std::to_string(col("unused1")));
    g.SetTextMatrix(1, col("comment"), "keep");
    select(5, 1, 5, g.Cols() - 1);
    h.table->Selection_Copy();
    select(1, 1, 1, 1);
    h.table->Selection_Paste(g);
    for (int c = 1; c < g.Cols(); ++c)
        if (g.ColWidth(c) > 0) {
            EXPECT_EQ(g.TextMatrix(1, c), g.TextMatrix(5, c)) << c;
        }
    EXPECT_EQ(h.cell(1, "comment"), "keep");
}

TEST_F(Editing, PasteTakesEveryLineEndAndTheLastLine)
{
    waypoints(1);
    for (int k = 0; k < 10000; ++k) h.table->Records_Insert("", "", "", "", false);
    std::string text;
    for (int k = 1; k <= 10000; ++k) text += "P" + std::to_string(k) + (k % 3 == 0 ? "\r" : "\n");
    text.pop_back(); // the last line has no break
    h.clipboard.SetText(text);
    select(1, col("ident"), 1, col("ident"));
    h.table->Selection_Paste(g);
    EXPECT_EQ(h.cell(1, "ident"), "P1");
    EXPECT_EQ(h.cell(3, "ident"), "P3");
    EXPECT_EQ(h.cell(4, "ident"), "P4");
    EXPECT_EQ(h.cell(10000, "ident"), "P10000");
    EXPECT_EQ(h.cell(10001, "ident"), "w10001");
    // Folded rows are skipped.
    g.SetRowHeight(2, 0);
    h.clipboard.SetText("a\nb\n");
    h.table->Selection_Paste(g);
    EXPECT_EQ(column("ident")[2], "b");
}

TEST_F(Editing, CopyReadsTheHotlinkTableOnlyWhenItIsOffered)
{
    platform::Grid photos(3, 2);
    photos.SetTextMatrix(0, 1, "FileName");
    photos.SetTextMatrix(1, 1, "a.jpg");
    photos.SetRow(1);
    photos.SetCol(0);
    photos.SetColSel(1);
    h.table->context().msfgTable = [&](std::string& folder) {
        folder = "/photos";
        return &photos;
    };
    photos.SetTextMatrix(1, 0, "1");
    h.table->Selection_Copy();
    EXPECT_EQ(h.clipboard.GetText(), "1\t/photos/a.jpg\r\n");
}

TEST_F(Editing, RouteDefaultsNamePointsAndRoutes)
{
    h.record_type = "route";
    h.table->Table_SetType("route");
    const std::string cols = std::to_string(col("lat")) + ";" + std::to_string(col("long")) + ";" +
                             std::to_string(col("new_seg")) + ";" + std::to_string(col("rident"));
    for (const char* v : {"1;1;true;R", "2;2;false;X", "1;1;false;", "3;3;true;R", "4;4;false;"})
        h.table->Records_Insert(v, cols);
    for (int r = 1; r < g.Rows(); ++r) g.SetTextMatrix(r, col("ident"), "");
    h.table->Set_RouteDefault();
    EXPECT_EQ(column("ident"), (V{"Rte1", "Rte2", "Rte1", "Rte3", "Rte4"}));
    EXPECT_EQ(column("rident"), (V{"R", "R", "R", "Route1", "Route1"}));
}

// Route tables built a record at a time, edited, cut and sorted: the route
// defaults that go on from the rows they named give the names a walk over
// the whole table gives at every call.
TEST(RouteDefaults, GoingOnFromNamedRowsNamesAsAWholeWalkDoes)
{
    TableHarness a, b; // a: as built; b: every call walks the whole table
    std::mt19937 random(27);
    auto pick = [&](std::initializer_list<const char*> from) {
        return std::string(from.begin()[random() % from.size()]);
    };
    std::string cols;
    for (TableHarness* h : {&a, &b}) {
        flxgrd::Fields_Repair(h->settings, "");
        h->record_type = "route";
        h->table->Table_SetType("route");
    }
    for (const char* f : {"ident", "lat", "long", "new_seg", "rident"})
        cols += (cols.empty() ? "" : ";") + std::to_string(a.table->Column_Find(f, true));
    const int ident = a.table->Column_Find("ident", true);
    a.table->context().Set_RouteDefault = [&] { a.table->Set_RouteDefault(); };
    // A table made for the call knows nothing of earlier walks.
    auto whole_walk = [&] { flxgrd::Table(b.table->context()).Set_RouteDefault(); };
    b.table->context().Set_RouteDefault = whole_walk;
    auto same = [&](int step) {
        if (a.grid.Rows() != b.grid.Rows())
            return ADD_FAILURE() << "step " << step << ": rows differ", false;
        for (int r = 0; r < a.grid.Rows(); ++r)
            for (int c = 0; c < a.grid.Cols(); ++c)
                if (a.grid.TextMatrix(r, c) != b.grid.TextMatrix(r, c))
                    return ADD_FAILURE() << "step " << step << ", row " << r << ", column " << c << ": "
                                         << a.grid.TextMatrix(r, c) << " vs " << b.grid.TextMatrix(r, c),
                           false;
        return true;
    };
    for (int step = 0; step < 600; ++step) {
        const unsigned what = random() % 100;
        const int rows = a.grid.Rows();
        const int row = 1 + int(random() % unsigned(std::max(rows - 1, 1)));
        if (what < 85 || rows < 4) {
            const std::string v = pick({"", "", "A", "a", "B", "Rte1", "Rte3", "rte2", "Route2"}) + ";" +
                                  pick({"1", "2"}) + ";" + pick({"1", "2"}) + ";" +
                                  (random() % 4 == 0 ? "true" : "false") + ";" +
                                  pick({"", "", "R", "Route1", "route2", "Rte1"});
            a.table->Records_Insert(v, cols);
            b.table->Records_Insert(v, cols);
        } else if (what < 92) { // a cell edited, then its row coloured (Cell_Edit)
            const std::string v = pick({"", "A", "Rte2", "C"});
            for (TableHarness* h : {&a, &b}) {
                h->grid.SetTextMatrix(row, ident, v);
                h->table->Rows_Color(row);
            }
        } else if (what < 97) { // a row cut, then the whole table coloured
            for (TableHarness* h : {&a, &b}) {
                h->grid.RemoveItem(row);
                h->table->Rows_Color(0);
            }
        } else {
            a.grid.Sort(ident, platform::flexSortGenericDescending);
            b.grid.Sort(ident, platform::flexSortGenericDescending);
            a.table->Set_RouteDefault();
            whole_walk();
        }
        if (!same(step))
            break;
    }
    EXPECT_GT(a.grid.Rows(), 300);
}

} // namespace
