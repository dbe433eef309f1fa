// The grid as a Qt table model, so a QTableView can show it. Fixed row 0
// becomes the horizontal header, fixed column 0 the vertical header; the
// other cells are the model's. Column widths (twips) are offered as the
// horizontal header's size hint in pixels (15 twips a pixel); a width of 0
// means the view should hide the column.
#pragma once

#include "platform/grid/grid.h"

#include <QAbstractTableModel>
#include <QImage>
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

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void grid_changed(const GridChange& change) override;
    int grid_row(int model_row) const { return model_row + fixed_rows_; }
    int grid_col(int model_col) const { return model_col + fixed_cols_; }
    bool valid(int r, int c) const { return r >= 0 && c >= 0 && r < grid_.Rows() && c < grid_.Cols(); }
    QImage image(const PictureRef& p) const;

    Grid& grid_;
    // What the view was last told; the grid may be ahead while redraw is off.
    int rows_ = 0, cols_ = 0, fixed_rows_ = 0, fixed_cols_ = 0;
    bool editable_ = false;
    mutable std::unordered_map<const Picture*, std::pair<PictureRef, QImage>> images_;
};

} // namespace platform
