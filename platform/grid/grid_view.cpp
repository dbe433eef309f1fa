#include "platform/grid/grid_view.h"

#include <QHeaderView>
#include <QScopedValueRollback>
#include <QStyledItemDelegate>

namespace platform {

namespace {

// Draws the view's current cell highlighted, as a selection is, whoever
// put it there and whether or not the view has the keyboard focus. The
// grid's selection of a single cell is its current cell alone, which Qt
// would draw plain; a cell the user clicks is drawn so.
class CurrentCellDelegate : public QStyledItemDelegate {
public:
    explicit CurrentCellDelegate(QAbstractItemView* view) : QStyledItemDelegate(view), view_(view) {}

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem o(option);
        if (index.isValid() && index == view_->currentIndex())
            o.state |= QStyle::State_Selected;
        QStyledItemDelegate::paint(painter, o, index);
    }

private:
    QAbstractItemView* view_;
};

} // namespace

GridView::GridView(Grid& grid, QWidget* parent) : QTableView(parent), grid_(grid), model_(new GridModel(grid, this))
{
    setModel(model_);
    setItemDelegate(new CurrentCellDelegate(this));
    // The header sizes itself to a line of its font (the model offers no
    // height), so its sections can be seen and clicked.
    horizontalHeader()->setMinimumHeight(horizontalHeader()->fontMetrics().height() + 4);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    model_->on_selection = [this] { show_selection(); };
    connect(model_, &QAbstractItemModel::headerDataChanged, this, [this](Qt::Orientation o, int first, int last) {
        if (o == Qt::Vertical)
            sync_heights(first, last);
        else
            sync_widths();
    });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] {
        sync_frame();
        sync_heights(0, model_->rowCount() - 1);
    });
    connect(model_, &QAbstractItemModel::layoutChanged, this, [this] { sync_widths(); });
    connect(model_, &QAbstractItemModel::columnsInserted, this, [this] { sync_widths(); });
    sync_frame();
    sync_heights(0, model_->rowCount() - 1);
    show_selection();
}

GridView::~GridView() { model_->on_selection = nullptr; }


std::optional<GridView::Cell> GridView::cell() const { return cell_at(currentIndex()); }

std::optional<GridView::Cell> GridView::cell_at(const QModelIndex& index) const
{
    if (!index.isValid())
        return std::nullopt;
    int row = index.row(), col = index.column(), row_sel = row, col_sel = col;
    for (const QItemSelectionRange& range : selectionModel()->selection())
        if (range.contains(index)) {
            row_sel = row == range.top() ? range.bottom() : range.top();
            col_sel = col == range.left() ? range.right() : range.left();
            break;
        }
    const int fr = grid_.FixedRows(), fc = grid_.FixedCols();
    Cell c{row + fr, col + fc, row_sel + fr, col_sel + fc};
    if (std::max(c.row, c.row_sel) >= grid_.Rows() || std::max(c.col, c.col_sel) >= grid_.Cols())
        return std::nullopt;
    return c;
}

// Qt moves the selection and the current cell one after the other, and
// both when the program moves them; the grid hears of each new place once
// and only of the user's.
std::optional<GridView::Cell> GridView::user_move() const
{
    if (reporting_ || model_->following_grid())
        return std::nullopt;
    const std::optional<Cell> c = cell();
    if (!c || *c == grid_cell())
        return std::nullopt;
    return c;
}

void GridView::hand_over(const std::function<void()>& handler)
{
    {
        QScopedValueRollback reporting(reporting_, true);
        handler();
    }
    // The window may have kept the grid elsewhere.
    if (cell() != grid_cell())
        show_selection();
}

void GridView::show_selection()
{
    if (reporting_ || !selectionModel())
        return;
    QScopedValueRollback reporting(reporting_, true);
    QItemSelectionModel* sm = selectionModel();
    sm->setCurrentIndex(model_->current_index(), QItemSelectionModel::NoUpdate);
    sm->select(model_->selection(), QItemSelectionModel::ClearAndSelect);
}

void GridView::sync_frame()
{
    horizontalHeader()->setVisible(grid_.FixedRows() > 0);
    verticalHeader()->setVisible(grid_.FixedCols() > 0);
    sync_widths();
}

void GridView::sync_widths()
{
    for (int c = 0; c < model_->columnCount(); ++c) {
        const int w = model_->column_width_px(c);
        setColumnHidden(c, w == 0);
        if (w > 0 && columnWidth(c) != w)
            setColumnWidth(c, w);
    }
    if (grid_.FixedCols() > 0 && grid_.Cols() > 0)
        verticalHeader()->setFixedWidth(std::max(1, (grid_.ColWidth(0) + 7) / 15));
}

void GridView::sync_heights(int first, int last)
{
    for (int r = std::max(first, 0); r <= last && r + grid_.FixedRows() < grid_.Rows(); ++r)
        setRowHidden(r, grid_.RowHeight(r + grid_.FixedRows()) == 0);
}

} // namespace platform
