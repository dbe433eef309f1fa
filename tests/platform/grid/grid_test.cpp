#include "platform/grid/grid.h"
#include "platform/grid/grid_model.h"

#include "platform/automation/vb_error.h"

#include <QAbstractItemModelTester>
#include <gtest/gtest.h>

using namespace platform;

namespace {

std::vector<std::string> column(const Grid& g, int c)
{
    std::vector<std::string> out;
    for (int r = 0; r < g.Rows(); ++r)
        out.push_back(g.TextMatrix(r, c));
    return out;
}

struct Recorder : GridObserver {
    std::vector<GridChange> changes;
    void grid_changed(const GridChange& c) override { changes.push_back(c); }
};

TEST(Grid, AddItemSplitsTabsAndInsertsAtAnIndex)
{
    Grid g(1, 3);
    g.AddItem("a\tb\tc\textra");
    g.AddItem("x");
    g.AddItem("m\tn", 1);
    EXPECT_EQ(g.Rows(), 4);
    EXPECT_EQ(column(g, 0), (std::vector<std::string>{"", "m", "a", "x"}));
    EXPECT_EQ(column(g, 1), (std::vector<std::string>{"", "n", "b", ""}));
    EXPECT_EQ(column(g, 2), (std::vector<std::string>{"", "", "c", ""}));
}

TEST(Grid, ColumnMoveCarriesValuesColoursPicturesAndWidth)
{
    Grid g(3, 4);
    for (int c = 0; c < 4; ++c)
        g.SetTextMatrix(1, c, std::string(1, char('a' + c)));
    g.SetColWidth(3, 0);
    g.SetCellBackColor(2, 3, RGB(200, 255, 255));
    auto pic = std::make_shared<Picture>();
    g.SetCellPicture(1, 3, pic);
    g.SetColPosition(3, 1); // d moves in front of b
    EXPECT_EQ(g.TextMatrix(1, 0), "a");
    EXPECT_EQ(g.TextMatrix(1, 1), "d");
    EXPECT_EQ(g.TextMatrix(1, 2), "b");
    EXPECT_EQ(g.TextMatrix(1, 3), "c");
    EXPECT_EQ(g.ColWidth(1), 0);
    EXPECT_EQ(g.CellBackColor(2, 1), RGB(200, 255, 255));
    EXPECT_EQ(g.CellBackColor(2, 2), g.BackColor());
    EXPECT_EQ(g.CellPicture(1, 1), pic);
    g.SetColPosition(1, 3); // and back to the end
    EXPECT_EQ(g.TextMatrix(1, 3), "d");
}

TEST(Grid, RowsAndColsResizeKeepingCells)
{
    Grid g(2, 2);
    g.SetTextMatrix(1, 1, "keep");
    g.SetCellBackColor(1, 1, RGB(1, 2, 3));
    g.SetRows(5);
    g.SetCols(4);
    EXPECT_EQ(g.TextMatrix(1, 1), "keep");
    EXPECT_EQ(g.CellBackColor(4, 1), g.BackColor());
    EXPECT_EQ(g.TextMatrix(4, 3), "");
    g.SetRows(2);
    g.SetCols(2);
    EXPECT_EQ(g.CellBackColor(1, 1), RGB(1, 2, 3));
    EXPECT_THROW(g.TextMatrix(2, 0), VbError);
    EXPECT_THROW(g.SetTextMatrix(0, 2, "x"), VbError);
    EXPECT_THROW(g.TextMatrix(-1, 0), VbError);
}

TEST(Grid, ClearEmptiesCellsButKeepsTheShape)
{
    Grid g(3, 3);
    g.SetTextMatrix(2, 2, "x");
    g.SetCellPicture(2, 2, std::make_shared<Picture>());
    g.SetCellBackColor(2, 2, RGB(9, 9, 9));
    g.SetColWidth(2, 500);
    g.Clear();
    EXPECT_EQ(g.Rows(), 3);
    EXPECT_EQ(g.Cols(), 3);
    EXPECT_EQ(g.TextMatrix(2, 2), "");
    EXPECT_EQ(g.CellPicture(2, 2), nullptr);
    EXPECT_EQ(g.CellBackColor(2, 2), g.BackColor());
    EXPECT_EQ(g.ColWidth(2), 500);
}

TEST(Grid, RemoveItemKeepsTheLastNonFixedRow)
{
    Grid g(3, 2);
    g.SetTextMatrix(1, 1, "one");
    g.SetTextMatrix(2, 1, "two");
    g.RemoveItem(1);
    EXPECT_EQ(g.Rows(), 2);
    EXPECT_EQ(g.TextMatrix(1, 1), "two");
    try {
        g.RemoveItem(1);
        FAIL();
    } catch (const VbError& e) {
        EXPECT_EQ(e.number, 30015);
    }
    EXPECT_EQ(g.Rows(), 2);
}

TEST(Grid, RemoveItemsTakesARunInOneChangeWithItsHeights)
{
    Grid g(6, 2);
    Recorder rec;
    g.add_observer(&rec);
    for (int r = 1; r < 6; ++r) g.SetTextMatrix(r, 1, std::to_string(r));
    g.SetRowHeight(5, 0);
    EXPECT_EQ(g.RowHeight(4), 240);
    rec.changes.clear();
    g.RemoveItems(2, 2);
    EXPECT_EQ(column(g, 1), (std::vector<std::string>{"", "1", "4", "5"}));
    EXPECT_EQ(g.RowHeight(3), 0);
    ASSERT_EQ(rec.changes.size(), 1u);
    EXPECT_EQ(rec.changes[0].kind, GridChange::RowsRemoved);
    EXPECT_EQ(rec.changes[0].last, 3);
    EXPECT_THROW(g.RemoveItems(1, 3), VbError); // would leave no data row
    EXPECT_THROW(g.RemoveItems(2, 3), VbError); // past the end
    EXPECT_EQ(g.Rows(), 4);
    g.AddItem("x", 1);
    EXPECT_EQ(g.RowHeight(4), 0);
    g.Clear();
    EXPECT_EQ(g.RowHeight(4), 240);
    g.remove_observer(&rec);
}

TEST(Grid, GenericSortPutsNumbersAsNumbersBeforeTexts)
{
    Grid g(1, 2);
    for (const char* s : {"10", "b", "2", "A", "-1.5", "a"})
        g.AddItem(std::string("r\t") + s);
    g.Sort(1, flexSortGenericAscending);
    auto col = column(g, 1);
    EXPECT_EQ(col[1], "-1.5");
    EXPECT_EQ(col[2], "2");
    EXPECT_EQ(col[3], "10");
    // Texts compare without case; equal ones keep their order.
    EXPECT_EQ(col[4], "A");
    EXPECT_EQ(col[5], "a");
    EXPECT_EQ(col[6], "b");
    g.Sort(1, flexSortGenericDescending);
    col = column(g, 1);
    EXPECT_EQ(col[1], "b");
    EXPECT_EQ(col[6], "-1.5");
    EXPECT_EQ(col[0], ""); // the fixed row stays
}

TEST(Grid, SelectionFollowsTheCurrentCell)
{
    Grid g(5, 5);
    g.SetRow(2);
    g.SetRowSel(4);
    EXPECT_EQ(g.RowSel(), 4);
    g.SetRow(3);
    EXPECT_EQ(g.RowSel(), 3);
    g.SetCol(1);
    g.SetColSel(3);
    EXPECT_EQ(g.Col(), 1);
    EXPECT_EQ(g.ColSel(), 3);
    EXPECT_THROW(g.SetRow(5), VbError);
}

TEST(Grid, RedrawOffBatchesChangesIntoOneReset)
{
    Grid g(2, 3);
    Recorder rec;
    g.add_observer(&rec);
    g.SetTextMatrix(1, 1, "x");
    ASSERT_EQ(rec.changes.size(), 1u);
    EXPECT_EQ(rec.changes[0].kind, GridChange::Cells);
    rec.changes.clear();
    g.SetRedraw(false);
    for (int i = 0; i < 100; ++i)
        g.AddItem("row");
    g.SetColPosition(2, 1);
    EXPECT_TRUE(rec.changes.empty());
    g.SetRedraw(true);
    ASSERT_EQ(rec.changes.size(), 1u);
    EXPECT_EQ(rec.changes[0].kind, GridChange::Reset);
    rec.changes.clear();
    g.SetRedraw(false);
    g.SetRedraw(true); // nothing changed: nothing reported
    EXPECT_TRUE(rec.changes.empty());
    // Only cells and widths changed: one block each, no reset.
    g.SetRedraw(false);
    g.SetTextMatrix(5, 1, "a");
    g.FillBackColor(7, 0, 9, 1, RGB(1, 2, 3));
    g.SetColWidth(2, 100);
    g.SetColWidth(1, 100);
    g.SetRedraw(true);
    ASSERT_EQ(rec.changes.size(), 2u);
    EXPECT_EQ(rec.changes[0].kind, GridChange::Cells);
    EXPECT_EQ(rec.changes[0].first, 5);
    EXPECT_EQ(rec.changes[0].last, 9);
    EXPECT_EQ(rec.changes[0].col_first, 0);
    EXPECT_EQ(rec.changes[0].col_last, 1);
    EXPECT_EQ(rec.changes[1].kind, GridChange::Widths);
    EXPECT_EQ(rec.changes[1].col_first, 1);
    EXPECT_EQ(rec.changes[1].col_last, 2);
    g.remove_observer(&rec);
}

TEST(Grid, SelectionMovesAreReportedOnceAndBatched)
{
    Grid g(10, 4);
    Recorder rec;
    g.add_observer(&rec);
    g.SetRow(1); // already there: nothing moved
    EXPECT_TRUE(rec.changes.empty());
    g.SetRowSel(5);
    ASSERT_EQ(rec.changes.size(), 1u);
    EXPECT_EQ(rec.changes[0].kind, GridChange::Selection);
    rec.changes.clear();
    g.SetRedraw(false);
    for (int r = 1; r < 10; ++r)
        g.SetRow(r), g.SetTextMatrix(r, 1, "x");
    g.SetRedraw(true);
    ASSERT_EQ(rec.changes.size(), 2u);
    EXPECT_EQ(rec.changes[1].kind, GridChange::Selection);
    g.remove_observer(&rec);
}

TEST(Grid, HeaderVersionMovesWithHeaderTextsAndLayoutOnly)
{
    Grid g(2, 4);
    auto v = g.header_version();
    g.SetTextMatrix(1, 1, "data");
    g.AddItem("more");
    g.SetRows(10);
    g.SetCellBackColor(1, 1, RGB(1, 1, 1));
    g.Sort(1, flexSortGenericAscending);
    EXPECT_EQ(g.header_version(), v);
    auto changes = [&](auto&& f) {
        auto before = g.header_version();
        f();
        return g.header_version() != before;
    };
    EXPECT_TRUE(changes([&] { g.SetTextMatrix(0, 2, "ident"); }));
    EXPECT_TRUE(changes([&] { g.SetColPosition(2, 1); }));
    EXPECT_TRUE(changes([&] { g.SetCols(6); }));
    EXPECT_TRUE(changes([&] { g.Clear(); }));
    EXPECT_TRUE(changes([&] { g.AddItem("new header", 0); }));
    EXPECT_THROW(g.RemoveItem(0), VbError); // fixed rows stay
    EXPECT_TRUE(changes([&] { g.SetRows(1); }));
}

TEST(Grid, RowChangesReportTheLowestRowWhoseTextsMayHaveChanged)
{
    Grid g(6, 4);
    auto t = g.track_row_changes();
    auto first_after = [&](auto&& f) {
        t->first = g.Rows();
        f();
        return t->first;
    };
    g.SetRedraw(false); // reported at once all the same
    EXPECT_EQ(first_after([&] { g.SetTextMatrix(4, 2, "x"); }), 4);
    EXPECT_EQ(first_after([&] {
                  g.SetTextMatrix(4, 2, "x"); // the same text: no change
                  g.SetCellBackColor(1, 1, RGB(1, 2, 3));
                  g.FillBackColor(1, 1, 2, 3, RGB(4, 5, 6));
                  g.SetRowHeight(2, 0);
                  g.SetColWidth(1, 0);
                  g.SetRow(1);
              }),
              6);
    EXPECT_EQ(first_after([&] { g.AddItem(""); }), 6);
    EXPECT_EQ(first_after([&] { g.AddItem("a\tb", 3); }), 3);
    EXPECT_EQ(first_after([&] { g.RemoveItems(2, 2); }), 2);
    EXPECT_EQ(first_after([&] { g.SetRows(9); }), 6);
    EXPECT_EQ(first_after([&] { g.SetRows(4); }), 4);
    EXPECT_EQ(first_after([&] { g.Sort(2, flexSortGenericAscending); }), 1);
    EXPECT_EQ(first_after([&] { g.SetColPosition(3, 1); }), 0);
    EXPECT_EQ(first_after([&] { g.SetCols(5); }), 0);
    EXPECT_EQ(first_after([&] { g.SetFixedRows(2); }), 0);
    EXPECT_EQ(first_after([&] { g.Clear(); }), 0);
    // Each tracker keeps its own mark.
    auto other = g.track_row_changes();
    other->first = 100;
    t->first = 100;
    g.SetTextMatrix(3, 1, "y");
    t->first = 100;
    g.SetTextMatrix(2, 1, "z");
    EXPECT_EQ(t->first, 2);
    EXPECT_EQ(other->first, 2);
    // A tracker let go of is dropped; the others go on.
    other.reset();
    auto third = g.track_row_changes();
    EXPECT_EQ(first_after([&] { g.SetTextMatrix(3, 1, "w"); }), 3);
}

TEST(GridModel, FollowsTheGridConsistently)
{
    Grid g(2, 4);
    GridModel model(g);
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal);
    g.SetTextMatrix(0, 1, "ident");
    g.SetTextMatrix(1, 1, "w1");
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(model.columnCount(), 3);
    EXPECT_EQ(model.headerData(0, Qt::Horizontal).toString(), "ident");
    EXPECT_EQ(model.data(model.index(0, 0)).toString(), "w1");
    g.AddItem("2\tw2");
    EXPECT_EQ(model.rowCount(), 2);
    EXPECT_EQ(model.headerData(1, Qt::Vertical).toString(), "2");
    g.SetCellBackColor(2, 1, RGB(200, 255, 255));
    EXPECT_EQ(model.data(model.index(1, 0), Qt::BackgroundRole).value<QColor>(), QColor(200, 255, 255));
    auto pic = std::make_shared<Picture>();
    pic->width = pic->height = 2;
    pic->pixels = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
    g.SetCellPicture(1, 2, pic);
    QImage img = model.data(model.index(0, 1), Qt::DecorationRole).value<QImage>();
    ASSERT_EQ(img.width(), 2);
    EXPECT_EQ(img.pixel(1, 0), 0xFF00FF00u);
    g.SetCellPicture(2, 0, pic); // a row header's picture (a check mark) shows too
    EXPECT_EQ(model.headerData(1, Qt::Vertical, Qt::DecorationRole).value<QImage>().pixel(1, 0), 0xFF00FF00u);
    g.SetColWidth(1, 1500);
    EXPECT_EQ(model.column_width_px(0), 100);
    g.SetRedraw(false);
    for (int i = 0; i < 50; ++i)
        g.AddItem("n");
    g.SetCols(2);
    EXPECT_EQ(model.rowCount(), 2); // the view hears nothing yet
    EXPECT_FALSE(model.data(model.index(1, 2)).isValid());
    g.SetRedraw(true);
    EXPECT_EQ(model.rowCount(), 52);
    EXPECT_EQ(model.columnCount(), 1);
    g.RemoveItem(5);
    EXPECT_EQ(model.rowCount(), 51);
    g.RemoveItems(3, 10);
    g.SetRowHeight(4, 0);
    EXPECT_EQ(model.rowCount(), 41);
    g.Sort(1, flexSortGenericAscending);
    g.Clear();
    EXPECT_EQ(model.rowCount(), 41);
}

TEST(GridModel, OffersTheSelectionOfTheDataAreaAndSaysWhenItMayHaveMoved)
{
    Grid g(8, 5); // one fixed row and column
    GridModel model(g);
    int told = 0;
    model.on_selection = [&] { ++told; };
    g.SetRow(2), g.SetCol(3), g.SetRowSel(4), g.SetColSel(1);
    EXPECT_EQ(model.current_index(), model.index(1, 2));
    ASSERT_EQ(model.selection().size(), 1);
    EXPECT_EQ(model.selection()[0], QItemSelectionRange(model.index(1, 0), model.index(3, 2)));
    g.SetRow(1), g.SetCol(1); // collapsed: the current cell only
    EXPECT_EQ(model.current_index(), model.index(0, 0));
    EXPECT_TRUE(model.selection().isEmpty());
    g.SetRowSel(0); // reaching into the fixed row
    EXPECT_TRUE(model.selection().isEmpty());
    g.SetRow(3), g.SetRowSel(4);
    // Rows appended below leave the view's selection; rows going in or out
    // above shift it, so the view is told again.
    told = 0;
    g.AddItem("9");
    g.RemoveItem(8);
    EXPECT_EQ(told, 0);
    g.AddItem("x", 2);
    g.RemoveItem(1);
    g.Sort(1, flexSortGenericAscending);
    EXPECT_EQ(told, 3);
}

} // namespace
