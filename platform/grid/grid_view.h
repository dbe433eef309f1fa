// The table view every window shows a grid in. The grid's fixed row 0 is
// its header, a line of text high (hidden when the grid has no fixed row),
// and its fixed column 0 the row headers; column widths (0 hides a column)
// and folded rows (height 0) follow the grid. The program's moves of the
// grid's current cell and selection are shown; the current cell is drawn
// highlighted even when it is the whole selection. The window hears of the
// user's moves (mouse or keyboard) by its own connections to the selection
// model's currentChanged and selectionChanged and the view's clicked and
// doubleClicked (so they run under the window's guard), asking user_move()
// and cell_at(), and runs its handler through hand_over().
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
    // The same for a clicked cell: it and the far corner of the selection
    // holding it.
    std::optional<Cell> cell_at(const QModelIndex& index) const;
    // After a change of the current cell or the selection: what the user
    // moved them to, when that is not where the grid has them; nothing for
    // the program's own moves. The view leaves the grid alone: the window
    // moves it (its EnterCell and SelChange handlers run there).
    std::optional<Cell> user_move() const;
    // Runs the window's handler of a user's move or click; the grid's moves
    // meanwhile are not shown back, what the grid holds after it is.
    void hand_over(const std::function<void()>& handler);

private:
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
