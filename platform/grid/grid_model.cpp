#include "platform/grid/grid_model.h"

#include <QColor>
#include <QScopedValueRollback>

namespace platform {

namespace {

QColor qcolor(Color c) { return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF)); }

} // namespace

GridModel::GridModel(Grid& grid, QObject* parent) : QAbstractTableModel(parent), grid_(grid)
{
    rows_ = std::max(grid_.Rows() - grid_.FixedRows(), 0);
    cols_ = std::max(grid_.Cols() - grid_.FixedCols(), 0);
    fixed_rows_ = grid_.FixedRows();
    fixed_cols_ = grid_.FixedCols();
    grid_.add_observer(this);
}

GridModel::~GridModel() { grid_.remove_observer(this); }

int GridModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : rows_; }
int GridModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : cols_; }

int GridModel::column_width_px(int section) const
{
    int c = grid_col(section);
    if (c < 0 || c >= grid_.Cols())
        return 0;
    return (grid_.ColWidth(c) + 7) / 15;
}

QImage GridModel::image(const PictureRef& p) const
{
    auto it = images_.find(p.get());
    if (it != images_.end())
        return it->second.second;
    if (p->width <= 0 || p->height <= 0 || p->pixels.size() != size_t(p->width) * size_t(p->height))
        return {};
    QImage img(p->width, p->height, QImage::Format_ARGB32);
    for (int y = 0; y < p->height; ++y)
        for (int x = 0; x < p->width; ++x)
            img.setPixel(x, y, p->pixels[size_t(y) * size_t(p->width) + size_t(x)]);
    if (images_.size() > 512)
        images_.clear();
    images_.emplace(p.get(), std::make_pair(p, img));
    return img;
}

QModelIndex GridModel::current_index() const
{
    int r = grid_.Row() - fixed_rows_, c = grid_.Col() - fixed_cols_;
    if (r < 0 || c < 0 || r >= rows_ || c >= cols_)
        return {};
    return index(r, c);
}

QItemSelection GridModel::selection() const
{
    const int r1 = std::min(grid_.Row(), grid_.RowSel()) - fixed_rows_;
    const int r2 = std::max(grid_.Row(), grid_.RowSel()) - fixed_rows_;
    const int c1 = std::min(grid_.Col(), grid_.ColSel()) - fixed_cols_;
    const int c2 = std::max(grid_.Col(), grid_.ColSel()) - fixed_cols_;
    if (r1 < 0 || c1 < 0 || r2 >= rows_ || c2 >= cols_ || (r1 == r2 && c1 == c2))
        return {};
    return QItemSelection(index(r1, c1), index(r2, c2));
}

void GridModel::selection_moved()
{
    if (on_selection)
        on_selection();
}

QVariant GridModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid())
        return {};
    int r = grid_row(index.row()), c = grid_col(index.column());
    if (!valid(r, c))
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole: return QString::fromStdString(grid_.TextMatrix(r, c));
    case Qt::BackgroundRole: return qcolor(grid_.CellBackColor(r, c));
    case Qt::DecorationRole:
        if (auto p = grid_.CellPicture(r, c))
            return image(p);
        return {};
    default: return {};
    }
}

QVariant GridModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal) {
        int c = grid_col(section);
        if (c < 0 || c >= grid_.Cols())
            return {};
        if (fixed_rows_ == 0 || grid_.Rows() == 0)
            return {};
        return header_cell(0, c, role);
    }
    int r = grid_row(section);
    if (r < 0 || r >= grid_.Rows() || fixed_cols_ == 0 || grid_.Cols() == 0)
        return {};
    return header_cell(r, 0, role);
}

// A header shows its cell's text and picture (a row's check mark).
QVariant GridModel::header_cell(int r, int c, int role) const
{
    if (role == Qt::DisplayRole)
        return QString::fromStdString(grid_.TextMatrix(r, c));
    if (role == Qt::DecorationRole)
        if (auto p = grid_.CellPicture(r, c))
            return image(p);
    return {};
}

bool GridModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!editable_ || role != Qt::EditRole || !index.isValid())
        return false;
    int r = grid_row(index.row()), c = grid_col(index.column());
    if (!valid(r, c))
        return false;
    grid_.SetTextMatrix(r, c, value.toString().toStdString());
    return true;
}

Qt::ItemFlags GridModel::flags(const QModelIndex& index) const
{
    auto f = QAbstractTableModel::flags(index);
    if (editable_)
        f |= Qt::ItemIsEditable;
    return f;
}

void GridModel::grid_changed(const GridChange& ch)
{
    QScopedValueRollback following(following_, true);
    follow(ch);
}

void GridModel::follow(const GridChange& ch)
{
    bool same_frame = fixed_rows_ == grid_.FixedRows() && fixed_cols_ == grid_.FixedCols() &&
                      cols_ == std::max(grid_.Cols() - grid_.FixedCols(), 0);
    switch (ch.kind) {
    case GridChange::RowsInserted:
        if (same_frame && ch.first >= fixed_rows_ && rows_ + 1 == grid_.Rows() - fixed_rows_) {
            beginInsertRows({}, ch.first - fixed_rows_, ch.last - fixed_rows_);
            rows_ = grid_.Rows() - fixed_rows_;
            endInsertRows();
            // Rows appended below the selection (a bulk insert) leave it be.
            if (above_selection(ch.first))
                selection_moved();
            return;
        }
        break;
    case GridChange::RowsRemoved:
        if (same_frame && ch.first >= fixed_rows_ && rows_ - (ch.last - ch.first + 1) == grid_.Rows() - fixed_rows_) {
            beginRemoveRows({}, ch.first - fixed_rows_, ch.last - fixed_rows_);
            rows_ = grid_.Rows() - fixed_rows_;
            endRemoveRows();
            // The grid pulls its selection up when its rows went; so one
            // just below the selection counts too.
            if (above_selection(ch.first - 1))
                selection_moved();
            return;
        }
        break;
    case GridChange::Cells:
        if (ch.first < fixed_rows_ || ch.col_first < fixed_cols_) {
            if (ch.first < fixed_rows_)
                emit headerDataChanged(Qt::Horizontal, std::max(ch.col_first - fixed_cols_, 0),
                                       std::max(ch.col_last - fixed_cols_, 0));
            if (ch.col_first < fixed_cols_)
                emit headerDataChanged(Qt::Vertical, std::max(ch.first - fixed_rows_, 0),
                                       std::max(ch.last - fixed_rows_, 0));
        }
        if (ch.last >= fixed_rows_ && ch.col_last >= fixed_cols_ && rows_ > 0 && cols_ > 0) {
            int r1 = std::clamp(ch.first - fixed_rows_, 0, rows_ - 1);
            int r2 = std::clamp(ch.last - fixed_rows_, 0, rows_ - 1);
            int c1 = std::clamp(ch.col_first - fixed_cols_, 0, cols_ - 1);
            int c2 = std::clamp(ch.col_last - fixed_cols_, 0, cols_ - 1);
            emit dataChanged(index(r1, c1), index(r2, c2));
        }
        return;
    case GridChange::Widths:
        if (ch.col_first >= fixed_cols_ && cols_ > 0)
            emit headerDataChanged(Qt::Horizontal, ch.col_first - fixed_cols_,
                                   std::min(ch.col_last - fixed_cols_, cols_ - 1));
        return;
    case GridChange::Heights:
        // The view hides the rows of height 0 as it redraws the row headers.
        if (same_frame && ch.last >= fixed_rows_ && rows_ > 0)
            emit headerDataChanged(Qt::Vertical, std::clamp(ch.first - fixed_rows_, 0, rows_ - 1),
                                   std::clamp(ch.last - fixed_rows_, 0, rows_ - 1));
        return;
    case GridChange::Selection: selection_moved(); return;
    case GridChange::Reset: break;
    }
    beginResetModel();
    fixed_rows_ = grid_.FixedRows();
    fixed_cols_ = grid_.FixedCols();
    rows_ = std::max(grid_.Rows() - fixed_rows_, 0);
    cols_ = std::max(grid_.Cols() - fixed_cols_, 0);
    images_.clear();
    endResetModel();
    selection_moved();
}

} // namespace platform
