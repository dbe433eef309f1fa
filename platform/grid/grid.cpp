#include "platform/grid/grid.h"

#include "platform/automation/vb_error.h"
#include "platform/text/vb.h"

#include <algorithm>
#include <numeric>

namespace platform {

namespace {

constexpr int kDefaultWidth = 960;
constexpr int kDefaultHeight = 240;
// The control keeps a row and column count in 32 bits; anything beyond this
// is a caller's mistake, not a table.
constexpr int kMaxRows = 4'000'000;
constexpr int kMaxCols = 5'000;

[[noreturn]] void bad_index() { throw VbError(381, "MSHFlexGrid", "Subscript out of range"); }

} // namespace

Grid::Grid(int rows, int cols)
{
    SetRows(rows);
    SetCols(cols);
}

Grid::Column Grid::new_column() const
{
    Column c;
    c.text.resize(size_t(rows_));
    c.width = kDefaultWidth;
    return c;
}

void Grid::check_cell(int row, int col) const
{
    if (row < 0 || row >= rows_ || col < 0 || col >= Cols())
        bad_index();
}

void Grid::notify(const GridChange& c)
{
    if (!redraw_) {
        Pending& p = pending_;
        switch (c.kind) {
        case GridChange::Cells:
            if (!p.cells) {
                p.cells = true;
                p.r1 = c.first, p.r2 = c.last, p.c1 = c.col_first, p.c2 = c.col_last;
            } else {
                p.r1 = std::min(p.r1, c.first);
                p.r2 = std::max(p.r2, c.last);
                p.c1 = std::min(p.c1, c.col_first);
                p.c2 = std::max(p.c2, c.col_last);
            }
            break;
        case GridChange::Widths:
            p.w1 = p.widths ? std::min(p.w1, c.col_first) : c.col_first;
            p.w2 = p.widths ? std::max(p.w2, c.col_last) : c.col_last;
            p.widths = true;
            break;
        case GridChange::Selection: p.selection = true; break;
        default: p.reset = true;
        }
        return;
    }
    for (auto* o : observers_)
        o->grid_changed(c);
}

void Grid::SetRows(int rows)
{
    if (std::min(rows, rows_) <= fixed_rows_)
        ++header_version_;
    if (rows < 0 || rows > kMaxRows)
        throw VbError(30009, "MSHFlexGrid", "Invalid Row value");
    if (rows == rows_)
        return;
    rows_changed(std::min(rows, rows_));
    for (auto& c : cols_) {
        c.text.resize(size_t(rows));
        if (!c.back.empty())
            c.back.resize(size_t(rows), kNoColor);
        if (!c.picture.empty())
            c.picture.resize(size_t(rows));
    }
    if (!heights_.empty())
        heights_.resize(size_t(rows), kDefaultHeight);
    rows_ = rows;
    if (fixed_rows_ > rows_)
        fixed_rows_ = rows_;
    row_ = std::min(row_, std::max(rows_ - 1, 0));
    row_sel_ = std::min(row_sel_, std::max(rows_ - 1, 0));
    notify({GridChange::Reset});
}

void Grid::SetCols(int cols)
{
    ++header_version_;
    if (cols < 0 || cols > kMaxCols)
        throw VbError(30010, "MSHFlexGrid", "Invalid Col value");
    if (cols == Cols())
        return;
    rows_changed(0);
    if (cols < Cols())
        cols_.resize(size_t(cols));
    else
        while (Cols() < cols)
            cols_.push_back(new_column());
    if (fixed_cols_ > cols)
        fixed_cols_ = cols;
    col_ = std::min(col_, std::max(cols - 1, 0));
    col_sel_ = std::min(col_sel_, std::max(cols - 1, 0));
    notify({GridChange::Reset});
}

void Grid::SetFixedRows(int n)
{
    ++header_version_;
    if (n < 0 || n > rows_)
        throw VbError(30009, "MSHFlexGrid", "Invalid Row value");
    rows_changed(0);
    fixed_rows_ = n;
    notify({GridChange::Reset});
}

void Grid::SetFixedCols(int n)
{
    if (n < 0 || n > Cols())
        throw VbError(30010, "MSHFlexGrid", "Invalid Col value");
    rows_changed(0);
    fixed_cols_ = n;
    notify({GridChange::Reset});
}

const std::string& Grid::TextMatrix(int row, int col) const
{
    check_cell(row, col);
    return cols_[size_t(col)].text[size_t(row)];
}

void Grid::SetTextMatrix(int row, int col, std::string_view text)
{
    check_cell(row, col);
    std::string& cell = cols_[size_t(col)].text[size_t(row)];
    if (cell == text)
        return;
    cell.assign(text);
    rows_changed(row);
    if (row < fixed_rows_)
        ++header_version_;
    notify({GridChange::Cells, row, row, col, col});
}

int Grid::RowHeight(int row) const
{
    if (row < 0 || row >= rows_)
        bad_index();
    return heights_.empty() ? kDefaultHeight : heights_[size_t(row)];
}

void Grid::SetRowHeight(int row, int twips)
{
    if (row < 0 || row >= rows_)
        bad_index();
    if (twips < 0)
        twips = kDefaultHeight;
    if (RowHeight(row) == twips)
        return;
    if (heights_.empty())
        heights_.assign(size_t(rows_), kDefaultHeight);
    heights_[size_t(row)] = twips;
    notify({GridChange::Heights, row, row});
}

int Grid::ColWidth(int col) const
{
    if (col < 0 || col >= Cols())
        bad_index();
    return cols_[size_t(col)].width;
}

void Grid::SetColWidth(int col, int twips)
{
    if (col < 0 || col >= Cols())
        bad_index();
    if (twips < 0)
        twips = kDefaultWidth;
    if (cols_[size_t(col)].width == twips)
        return;
    cols_[size_t(col)].width = twips;
    notify({GridChange::Widths, 0, 0, col, col});
}

void Grid::SetColPosition(int col, int position)
{
    ++header_version_;
    if (col < 0 || col >= Cols() || position < 0 || position >= Cols())
        bad_index();
    if (col == position)
        return;
    rows_changed(0);
    Column moving = std::move(cols_[size_t(col)]);
    cols_.erase(cols_.begin() + col);
    cols_.insert(cols_.begin() + position, std::move(moving));
    notify({GridChange::Reset});
}

Color Grid::CellBackColor(int row, int col) const
{
    check_cell(row, col);
    const auto& b = cols_[size_t(col)].back;
    if (b.empty() || b[size_t(row)] == kNoColor)
        return back_color_;
    return b[size_t(row)];
}

void Grid::SetCellBackColor(int row, int col, Color color)
{
    check_cell(row, col);
    auto& b = cols_[size_t(col)].back;
    if (b.empty()) {
        if (color == kNoColor)
            return;
        b.assign(size_t(rows_), kNoColor);
    }
    if (b[size_t(row)] == color)
        return;
    b[size_t(row)] = color;
    notify({GridChange::Cells, row, row, col, col});
}

void Grid::FillBackColor(int r1, int c1, int r2, int c2, Color color)
{
    if (r1 > r2 || c1 > c2)
        return;
    check_cell(r1, c1);
    check_cell(r2, c2);
    for (int c = c1; c <= c2; ++c) {
        auto& b = cols_[size_t(c)].back;
        if (b.empty())
            b.assign(size_t(rows_), kNoColor);
        std::fill(b.begin() + r1, b.begin() + r2 + 1, color);
    }
    notify({GridChange::Cells, r1, r2, c1, c2});
}

PictureRef Grid::CellPicture(int row, int col) const
{
    check_cell(row, col);
    const auto& p = cols_[size_t(col)].picture;
    return p.empty() ? nullptr : p[size_t(row)];
}

void Grid::SetCellPicture(int row, int col, PictureRef picture)
{
    check_cell(row, col);
    auto& p = cols_[size_t(col)].picture;
    if (p.empty()) {
        if (!picture)
            return;
        p.resize(size_t(rows_));
    }
    p[size_t(row)] = std::move(picture);
    notify({GridChange::Cells, row, row, col, col});
}

void Grid::SetBackColor(Color c)
{
    if (back_color_ == c)
        return;
    back_color_ = c;
    notify({GridChange::Reset});
}

void Grid::SetBackColorBkg(Color c)
{
    if (back_color_bkg_ == c)
        return;
    back_color_bkg_ = c;
    notify({GridChange::Reset});
}

void Grid::set_selection(int row, int col, int row_sel, int col_sel)
{
    if (row == row_ && col == col_ && row_sel == row_sel_ && col_sel == col_sel_)
        return;
    row_ = row, col_ = col, row_sel_ = row_sel, col_sel_ = col_sel;
    notify({GridChange::Selection});
}

void Grid::SetRow(int r)
{
    if (r < 0 || r >= rows_)
        throw VbError(30009, "MSHFlexGrid", "Invalid Row value");
    set_selection(r, col_, r, col_sel_);
}

void Grid::SetCol(int c)
{
    if (c < 0 || c >= Cols())
        throw VbError(30010, "MSHFlexGrid", "Invalid Col value");
    set_selection(row_, c, row_sel_, c);
}

void Grid::SetRowSel(int r)
{
    if (r < 0 || r >= rows_)
        throw VbError(30009, "MSHFlexGrid", "Invalid Row value");
    set_selection(row_, col_, r, col_sel_);
}

void Grid::SetColSel(int c)
{
    if (c < 0 || c >= Cols())
        throw VbError(30010, "MSHFlexGrid", "Invalid Col value");
    set_selection(row_, col_, row_sel_, c);
}

void Grid::AddItem(std::string_view text, int index)
{
    if (index >= 0 && index < fixed_rows_)
        ++header_version_;
    if (index > rows_ || rows_ >= kMaxRows)
        throw VbError(30009, "MSHFlexGrid", "Invalid Row value");
    int at = index < 0 ? rows_ : index;
    rows_changed(at);
    if (text.empty() && at == rows_) {
        // The common case: an empty row at the end.
        for (auto& col : cols_) {
            col.text.emplace_back();
            if (!col.back.empty())
                col.back.push_back(kNoColor);
            if (!col.picture.empty())
                col.picture.emplace_back();
        }
        if (!heights_.empty())
            heights_.push_back(kDefaultHeight);
        ++rows_;
        notify({GridChange::RowsInserted, at, at});
        return;
    }
    size_t pos = 0;
    for (size_t c = 0; c < cols_.size(); ++c) {
        Column& col = cols_[c];
        std::string cell;
        if (pos <= text.size()) {
            size_t tab = text.find('\t', pos);
            if (tab == std::string_view::npos) {
                cell.assign(text.substr(pos));
                pos = text.size() + 1;
            } else {
                cell.assign(text.substr(pos, tab - pos));
                pos = tab + 1;
            }
        }
        col.text.insert(col.text.begin() + at, std::move(cell));
        if (!col.back.empty())
            col.back.insert(col.back.begin() + at, kNoColor);
        if (!col.picture.empty())
            col.picture.insert(col.picture.begin() + at, nullptr);
    }
    if (!heights_.empty())
        heights_.insert(heights_.begin() + at, kDefaultHeight);
    ++rows_;
    notify({GridChange::RowsInserted, at, at});
}

void Grid::RemoveItem(int index) { RemoveItems(index, 1); }

void Grid::RemoveItems(int index, int count)
{
    if (count < 1)
        return;
    if (index < fixed_rows_ || count > rows_ - index) // fixed rows are never removed
        throw VbError(30009, "MSHFlexGrid", "Invalid Row value");
    if (rows_ - fixed_rows_ <= count)
        throw VbError(30015, "MSHFlexGrid", "Cannot remove last non-fixed row");
    rows_changed(index);
    auto cut = [&](auto& v) {
        if (!v.empty())
            v.erase(v.begin() + index, v.begin() + index + count);
    };
    for (auto& col : cols_) {
        cut(col.text);
        cut(col.back);
        cut(col.picture);
    }
    cut(heights_);
    rows_ -= count;
    row_ = std::min(row_, std::max(rows_ - 1, 0));
    row_sel_ = std::min(row_sel_, std::max(rows_ - 1, 0));
    notify({GridChange::RowsRemoved, index, index + count - 1});
}

void Grid::Clear()
{
    ++header_version_;
    rows_changed(0);
    for (auto& col : cols_) {
        for (auto& s : col.text)
            s.clear();
        col.back.clear();
        col.picture.clear();
    }
    heights_.clear(); // folded rows come back too
    notify({GridChange::Reset});
}

void Grid::Sort(int col, GridSort how)
{
    if (col < 0 || col >= Cols())
        bad_index();
    if (how == flexSortNone || rows_ - fixed_rows_ < 2)
        return;
    rows_changed(fixed_rows_);
    const auto& key = cols_[size_t(col)].text;
    std::vector<int> order(size_t(rows_ - fixed_rows_));
    std::iota(order.begin(), order.end(), fixed_rows_);
    bool descending = how % 2 == 0;
    // Numbers are compared as numbers; a number sorts before a text.
    std::vector<double> num(static_cast<size_t>(rows_));
    std::vector<char> isnum(static_cast<size_t>(rows_));
    std::vector<std::string> folded;
    if (how == flexSortGenericAscending || how == flexSortGenericDescending || how == flexSortNumericAscending ||
        how == flexSortNumericDescending)
        for (int r = fixed_rows_; r < rows_; ++r) {
            isnum[size_t(r)] = vb::IsNumeric(key[size_t(r)]);
            num[size_t(r)] = isnum[size_t(r)] ? vb::Val(key[size_t(r)]) : 0.0;
        }
    bool nocase = how == flexSortGenericAscending || how == flexSortGenericDescending ||
                  how == flexSortStringNoCaseAscending || how == flexSortStringNoCaseDescending;
    if (nocase) {
        folded.resize(size_t(rows_));
        for (int r = fixed_rows_; r < rows_; ++r)
            folded[size_t(r)] = vb::LCase(key[size_t(r)]);
    }
    auto less = [&](int a, int b) {
        switch (how) {
        case flexSortNumericAscending:
        case flexSortNumericDescending: return num[size_t(a)] < num[size_t(b)];
        case flexSortGenericAscending:
        case flexSortGenericDescending:
            if (isnum[size_t(a)] != isnum[size_t(b)])
                return isnum[size_t(a)] > isnum[size_t(b)];
            if (isnum[size_t(a)])
                return num[size_t(a)] < num[size_t(b)];
            return folded[size_t(a)] < folded[size_t(b)];
        case flexSortStringNoCaseAscending:
        case flexSortStringNoCaseDescending: return folded[size_t(a)] < folded[size_t(b)];
        default: return key[size_t(a)] < key[size_t(b)];
        }
    };
    std::stable_sort(order.begin(), order.end(),
                     [&](int a, int b) { return descending ? less(b, a) : less(a, b); });
    for (auto& c : cols_) {
        std::vector<std::string> t(c.text.begin(), c.text.begin() + fixed_rows_);
        t.reserve(size_t(rows_));
        for (int r : order)
            t.push_back(std::move(c.text[size_t(r)]));
        c.text = std::move(t);
        if (!c.back.empty()) {
            std::vector<Color> b(c.back.begin(), c.back.begin() + fixed_rows_);
            for (int r : order)
                b.push_back(c.back[size_t(r)]);
            c.back = std::move(b);
        }
        if (!c.picture.empty()) {
            std::vector<PictureRef> p(c.picture.begin(), c.picture.begin() + fixed_rows_);
            for (int r : order)
                p.push_back(std::move(c.picture[size_t(r)]));
            c.picture = std::move(p);
        }
    }
    if (!heights_.empty()) {
        std::vector<int> h(heights_.begin(), heights_.begin() + fixed_rows_);
        for (int r : order)
            h.push_back(heights_[size_t(r)]);
        heights_ = std::move(h);
    }
    notify({GridChange::Reset});
}

void Grid::SetRedraw(bool on)
{
    if (redraw_ == on)
        return;
    redraw_ = on;
    if (!on)
        return;
    Pending p = pending_;
    pending_ = Pending{};
    if (p.reset) {
        notify({GridChange::Reset});
        return;
    }
    // Cells changed meanwhile may lie outside the grid by now only after a
    // change of shape, which resets instead.
    if (p.cells)
        notify({GridChange::Cells, p.r1, p.r2, p.c1, p.c2});
    if (p.widths)
        notify({GridChange::Widths, 0, 0, p.w1, p.w2});
    if (p.selection)
        notify({GridChange::Selection});
}

std::shared_ptr<Grid::RowChanges> Grid::track_row_changes()
{
    // Trackers their callers have let go are dropped here.
    row_trackers_.erase(std::remove_if(row_trackers_.begin(), row_trackers_.end(),
                                       [](const auto& t) { return t.use_count() == 1; }),
                        row_trackers_.end());
    auto t = std::make_shared<RowChanges>();
    row_trackers_.push_back(t);
    return t;
}

void Grid::add_observer(GridObserver* o) { observers_.push_back(o); }

void Grid::remove_observer(GridObserver* o)
{
    observers_.erase(std::remove(observers_.begin(), observers_.end(), o), observers_.end());
}

} // namespace platform
