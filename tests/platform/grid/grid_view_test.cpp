// The grid's table view on the offscreen platform.
#include "platform/grid/grid_view.h"

#include "tests/support/qt_app.h"

#include <QHeaderView>
#include <QItemSelectionModel>
#include <QTest>
#include <gtest/gtest.h>

#include <vector>

using namespace platform;

namespace {

Grid records(int rows)
{
    Grid g(1, 3);
    g.SetFixedRows(1);
    g.SetFixedCols(0);
    g.SetTextMatrix(0, 0, "FileName");
    g.SetTextMatrix(0, 1, "InternalDate");
    g.SetTextMatrix(0, 2, "GPSMatch");
    for (int r = 1; r <= rows; ++r)
        g.AddItem("p" + std::to_string(r) + "\td\tm");
    return g;
}

TEST(GridView, HeaderIsALineHighAndFollowsTheGridsFrame)
{
    test_support::ensure_qapplication();
    Grid g = records(3);
    GridView v(g);
    v.resize(400, 200);
    v.show();
    QHeaderView* h = v.horizontalHeader();
    EXPECT_TRUE(h->isVisibleTo(&v));
    EXPECT_GE(h->height(), h->fontMetrics().height());
    EXPECT_FALSE(v.verticalHeader()->isVisibleTo(&v));
    g.SetColWidth(0, 1500);
    g.SetColWidth(2, 0);
    EXPECT_EQ(v.columnWidth(0), 100);
    EXPECT_TRUE(v.isColumnHidden(1) == false && v.isColumnHidden(2));
    g.SetRowHeight(2, 0);
    EXPECT_TRUE(v.isRowHidden(1));
    g.SetFixedRows(0);
    EXPECT_FALSE(h->isVisibleTo(&v));
}

TEST(GridView, ReportsTheUsersMovesOnceAndShowsTheProgramsOwn)
{
    test_support::ensure_qapplication();
    Grid g = records(4);
    GridView v(g);
    v.setSelectionMode(QAbstractItemView::ContiguousSelection);
    v.resize(400, 200);
    v.show();
    // A window's connections, as the views make them.
    std::vector<GridView::Cell> moves;
    auto moved = [&] {
        if (auto c = v.user_move())
            v.hand_over([&] {
                moves.push_back(*c);
                g.SetRow(c->row), g.SetCol(c->col), g.SetRowSel(c->row_sel), g.SetColSel(c->col_sel);
            });
    };
    QObject::connect(v.selectionModel(), &QItemSelectionModel::currentChanged, moved);
    QObject::connect(v.selectionModel(), &QItemSelectionModel::selectionChanged, moved);
    std::vector<std::pair<GridView::Cell, bool>> clicks;
    QObject::connect(&v, &QTableView::clicked, [&](const QModelIndex& i) { clicks.emplace_back(*v.cell_at(i), false); });
    QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, v.visualRect(v.model()->index(0, 0)).center());
    ASSERT_EQ(clicks.size(), 1u);
    EXPECT_EQ(clicks[0].first, (GridView::Cell{1, 0, 1, 0}));
    ASSERT_EQ(moves.size(), 1u); // the press moved the current cell first
    EXPECT_EQ(moves[0], (GridView::Cell{1, 0, 1, 0}));
    QTest::keyClick(v.viewport(), Qt::Key_Down);
    QTest::keyClick(v.viewport(), Qt::Key_Down);
    ASSERT_EQ(moves.size(), 3u);
    EXPECT_EQ(moves[2], (GridView::Cell{3, 0, 3, 0}));
    QTest::keyClick(v.viewport(), Qt::Key_Down, Qt::ShiftModifier);
    EXPECT_EQ(moves.back(), (GridView::Cell{4, 0, 3, 0}));
    EXPECT_EQ(g.Row(), 4);
    EXPECT_EQ(g.RowSel(), 3);
    const std::size_t reported = moves.size();
    // Clicking the highlighted cell again moves nothing.
    QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, v.visualRect(v.model()->index(3, 0)).center());
    EXPECT_EQ(moves.size(), reported + 1);
    EXPECT_EQ(moves.back(), (GridView::Cell{4, 0, 4, 0}));
    QTest::mouseClick(v.viewport(), Qt::LeftButton, {}, v.visualRect(v.model()->index(3, 0)).center());
    EXPECT_EQ(moves.size(), reported + 1);

    // The program's move is shown, not reported back.
    g.SetRow(2);
    g.SetColSel(2);
    EXPECT_EQ(moves.size(), reported + 1);
    EXPECT_EQ(v.currentIndex(), v.model()->index(1, 0));
    EXPECT_EQ(v.selectionModel()->selectedIndexes().size(), 3);
}

} // namespace
