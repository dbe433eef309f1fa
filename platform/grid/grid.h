// The flex grid of the records table as a plain model: rows and columns of
// cell texts, fixed rows and columns, widths in twips, per-cell back colours
// and pictures, a current cell and a selection, sorting, and redraw batching.
//
// Cells are stored by column, so moving a column costs nothing per row and
// a table of 32766 x 40 cells stays quick. Indexes are zero-based; errors
// are the control's (VbError 381 for a cell outside the grid).
//
// Views observe it: while Redraw is off nothing is reported; switching it on
// again reports what changed meanwhile: one reset after any change of shape,
// otherwise one block of cells (and of widths) and one move of the selection.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// Colours as the program writes them: RGB(r, g, b) = r + 256 g + 65536 b.
using Color = std::uint32_t;
constexpr Color RGB(int r, int g, int b) { return Color(r) | Color(g) << 8 | Color(b) << 16; }
constexpr Color kNoColor = 0xFFFFFFFFu;

// A small image held by cells (pixels 0xAARRGGBB, row by row).
struct Picture {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels;
    std::string key;
};
using PictureRef = std::shared_ptr<const Picture>;

struct GridChange {
    // Selection: the current cell or the opposite corner moved (read them
    // from the grid). A reset may move them too, without saying so.
    enum Kind { Reset, RowsInserted, RowsRemoved, Cells, Widths, Heights, Selection } kind;
    int first = 0, last = 0;         // rows (inclusive)
    int col_first = 0, col_last = 0; // columns (Cells)
};

class GridObserver {
public:
    virtual ~GridObserver() = default;
    // Reported after the change; the grid already holds the new state.
    virtual void grid_changed(const GridChange& change) = 0;
};

enum GridSort { flexSortNone = 0, flexSortGenericAscending = 1, flexSortGenericDescending = 2,
                flexSortNumericAscending = 3, flexSortNumericDescending = 4,
                flexSortStringNoCaseAscending = 5, flexSortStringNoCaseDescending = 6,
                flexSortStringAscending = 7, flexSortStringDescending = 8 };

class Grid {
public:
    Grid(int rows = 2, int cols = 2);

    int Rows() const { return rows_; }
    int Cols() const { return int(cols_.size()); }
    void SetRows(int rows);
    void SetCols(int cols);
    int FixedRows() const { return fixed_rows_; }
    int FixedCols() const { return fixed_cols_; }
    void SetFixedRows(int n);
    void SetFixedCols(int n);

    const std::string& TextMatrix(int row, int col) const;
    void SetTextMatrix(int row, int col, std::string_view text);

    // Row heights in twips; a row of height 0 is hidden (folded away).
    int RowHeight(int row) const;
    void SetRowHeight(int row, int twips);

    int ColWidth(int col) const;
    void SetColWidth(int col, int twips);
    // Moves column `col` to position `position` (the control's ColPosition).
    void SetColPosition(int col, int position);

    Color CellBackColor(int row, int col) const; // BackColor when unset
    void SetCellBackColor(int row, int col, Color color);
    // Colours every cell of rows r1..r2, columns c1..c2 (inclusive).
    void FillBackColor(int r1, int c1, int r2, int c2, Color color);
    PictureRef CellPicture(int row, int col) const;
    void SetCellPicture(int row, int col, PictureRef picture);
    Color BackColor() const { return back_color_; }
    void SetBackColor(Color c);
    Color BackColorBkg() const { return back_color_bkg_; }
    void SetBackColorBkg(Color c);

    // Current cell and selection; setting Row or Col also sets RowSel/ColSel.
    int Row() const { return row_; }
    int Col() const { return col_; }
    int RowSel() const { return row_sel_; }
    int ColSel() const { return col_sel_; }
    void SetRow(int r);
    void SetCol(int c);
    void SetRowSel(int r);
    void SetColSel(int c);
    // The cell under the mouse at the last click (MouseRow, MouseCol); the
    // view sets it before it raises the click.
    int MouseRow() const { return mouse_row_; }
    int MouseCol() const { return mouse_col_; }
    void set_mouse(int row, int col) { mouse_row_ = row, mouse_col_ = col; }

    // A new row from tab-separated texts, at the end or before `index`.
    void AddItem(std::string_view text, int index = -1);
    // Removes a non-fixed row; throws 30015 when it is the last one.
    void RemoveItem(int index);
    // Removes `count` rows from `index` on in one step (one change
    // reported); the same errors as RemoveItem, and nothing removed then.
    void RemoveItems(int index, int count);
    // Empties every cell (texts, pictures, colours) and unfolds every row;
    // keeps rows and columns.
    void Clear();
    // Sorts the non-fixed rows by one column.
    void Sort(int col, GridSort how);

    // A number that changes whenever a fixed row's text or the column
    // layout may have changed, so header lookups can be cached.
    std::uint64_t header_version() const { return header_version_; }

    // For callers that keep results derived from the leading rows: the
    // lowest row whose text may have changed since the caller last set
    // `first` (to Rows() or more: "nothing since"). Rows inserted, removed
    // or reordered count as changed from their place on; a change of the
    // columns or of the fixed rows counts from row 0. Reported at once,
    // whatever Redraw is. The grid and the caller share it, so either may
    // go first.
    struct RowChanges {
        int first = 0;
    };
    std::shared_ptr<RowChanges> track_row_changes();

    bool Redraw() const { return redraw_; }
    void SetRedraw(bool on);

    void add_observer(GridObserver* o);
    void remove_observer(GridObserver* o);

private:
    struct Column {
        std::vector<std::string> text;
        std::vector<Color> back;       // empty until a colour is set
        std::vector<PictureRef> picture; // empty until a picture is set
        int width;
    };
    Column new_column() const;
    void check_cell(int row, int col) const;
    void notify(const GridChange& c);
    void set_selection(int row, int col, int row_sel, int col_sel);
    void rows_changed(int from)
    {
        for (auto& t : row_trackers_)
            if (from < t->first)
                t->first = from;
    }

    int rows_ = 0;
    int fixed_rows_ = 1, fixed_cols_ = 1;
    std::vector<Column> cols_;
    Color back_color_ = RGB(255, 255, 255);
    Color back_color_bkg_ = RGB(128, 128, 128);
    int row_ = 1, col_ = 1, row_sel_ = 1, col_sel_ = 1;
    int mouse_row_ = 0, mouse_col_ = 0;
    std::vector<int> heights_; // empty until a height is set
    bool redraw_ = true;
    struct Pending {
        bool reset = false, cells = false, widths = false, selection = false;
        int r1 = 0, r2 = 0, c1 = 0, c2 = 0, w1 = 0, w2 = 0;
    } pending_;
    std::uint64_t header_version_ = 0;
    std::vector<GridObserver*> observers_;
    std::vector<std::shared_ptr<RowChanges>> row_trackers_;
};

} // namespace platform
