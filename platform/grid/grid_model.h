// The grid as a Qt table model, so a QTableView can show it. Fixed row 0
// becomes the horizontal header, fixed column 0 the vertical header (their
// texts and pictures, such as a row's check mark); the other cells are the
// model's. Column widths (twips) are offered in pixels (15 twips a pixel)
// for the view to apply; a width of 0 means the view should hide the column.
// The header's height is the view's (a line of its font and the style's
// margins).
//
// The grid's current cell and selection are offered in the model's terms,
// and `on_selection` is called whenever what the view shows of them may be
// out of date: the grid moved them, the model was reset, or rows went in or
// out above them (the view shifts its selection with the rows; the grid
// does not).
#pragma once

#include "platform/grid/grid.h"

#include <QAbstractTableModel>
#include <QImage>
#include <QItemSelection>
#include <functional>
#include <unordered_map>

namespace platform {

class GridModel : public QAbstractTableModel, private GridObserver {
public:
    explicit GridModel(Grid& grid, QObject* parent = nullptr);
    ~GridModel() override;

    Grid& grid() { return grid_; }
    // Pixels of a grid column of the model's column `section`.
    int column_width_px(int section) const;
    // Whether the view lets the user type into cells (default off).
    void set_editable(bool on) { editable_ = on; }

    // The current cell; invalid when it lies in a fixed row or column.
    QModelIndex current_index() const;
    // The rectangle from the current cell to the opposite corner; empty when
    // it is a single cell (a collapsed selection) or touches the fixed rows
    // or columns.
    QItemSelection selection() const;
    std::function<void()> on_selection;
    // Whether the model is following a change of the grid: what the view's
    // selection does meanwhile (Qt splits and shifts it as rows come and
    // go) is the program's doing, not the user's.
    bool following_grid() const { return following_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void grid_changed(const GridChange& change) override;
    void follow(const GridChange& change);
    void selection_moved();
    bool above_selection(int grid_row) const { return grid_row <= std::max(grid_.Row(), grid_.RowSel()); }
    int grid_row(int model_row) const { return model_row + fixed_rows_; }
    int grid_col(int model_col) const { return model_col + fixed_cols_; }
    bool valid(int r, int c) const { return r >= 0 && c >= 0 && r < grid_.Rows() && c < grid_.Cols(); }
    QImage image(const PictureRef& p) const;
    QVariant header_cell(int grid_row, int grid_col, int role) const;

    Grid& grid_;
    // What the view was last told; the grid may be ahead while redraw is off.
    int rows_ = 0, cols_ = 0, fixed_rows_ = 0, fixed_cols_ = 0;
    bool editable_ = false;
    bool following_ = false;
    mutable std::unordered_map<const Picture*, std::pair<PictureRef, QImage>> images_;
};

} // namespace platform
