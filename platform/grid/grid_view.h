// The table view every window shows a grid in. The grid's fixed row 0 is
// its header, a line of text high (hidden when the grid has no fixed row),
// and its fixed column 0 the row headers; column widths (0 hides a column)
// and folded rows (height 0) follow the grid. The program's moves of the
// grid's current cell and selection are shown, and every move the user
// makes, with the mouse or the keyboard, is reported through on_moved.
#pragma once

#include "platform/grid/grid_model.h"

#include <QTableView>
#include <functional>
#include <optional>

namespace platform {

class GridView : public QTableView {
public:
    // A current cell and the far corner of the selection reaching from it,
    // in the grid's rows and columns.
    struct Cell {
        int row = 0, col = 0, row_sel = 0, col_sel = 0;
        bool operator==(const Cell&) const = default;
    };

    explicit GridView(Grid& grid, QWidget* parent = nullptr);
    ~GridView() override;

    Grid& grid() { return grid_; }
    GridModel& grid_model() { return *model_; }
    // What the view highlights: its current cell and the opposite corner of
    // the selected range holding it (the cell itself when none); nothing
    // when no data cell is current.
    std::optional<Cell> cell() const;
    // The user moved the current cell or the selection away from the
    // grid's. The view leaves the grid alone: the window moves it (its
    // EnterCell and SelChange handlers run there).
    std::function<void(const Cell&)> on_moved;
    // A data cell clicked (`twice`: double-clicked): that cell and the far
    // corner of the selection holding it. The grid follows what the window
    // makes of it.
    std::function<void(const Cell&, bool twice)> on_clicked;

protected:
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void selectionChanged(const QItemSelection& selected, const QItemSelection& deselected) override;

private:
    std::optional<Cell> cell_at(const QModelIndex& index) const;
    // Runs a window's handler of a user's move; the program's moves of the
    // grid meanwhile are not shown back, and what the grid holds after it
    // is.
    void hand_over(const std::function<void()>& handler);
    void report();
    void show_selection();
    void sync_frame();
    void sync_widths();
    void sync_heights(int first, int last);
    Cell grid_cell() const { return {grid_.Row(), grid_.Col(), grid_.RowSel(), grid_.ColSel()}; }

    Grid& grid_;
    GridModel* model_;
    bool reporting_ = false;
};

} // namespace platform
