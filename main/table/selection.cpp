// The selection of the records table: its range and the check of its
// values that the projection commands, transfers and savers run before they
// act; counting, clearing, deleting, editing, folding, copy and paste; and
// the route defaults.
#include "main/table/picker.h"
#include "main/table/table.h"
#include "main/table/detail/route_names.h"

#include "platform/automation/vb_error.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_map>
#include <unordered_set>

namespace flxgrd {

namespace vb = platform::vb;

std::array<int, 2> Table::Selection_GetRange(const platform::Grid& grid) const
{
    if (ctx_.selection_count < 1) return {1, grid.Rows() - 1};
    return {ctx_.first_selected_row, ctx_.last_selected_row};
}

bool Table::Selection_CheckValues(const platform::Grid& grid, const std::vector<int>& columns,
                                  const std::string& kind) const
{
    bool ok = true;
    try {
        auto [first, last] = Selection_GetRange(grid);
        for (int r = first; r <= last; ++r)
            for (int c : columns) {
                std::string text = vb::Trim(grid.TextMatrix(r, c));
                if (text.empty() || (kind == "number" && !vb::IsNumeric(text))) ok = false;
            }
    } catch (const platform::VbError&) {
    }
    return ok;
}

// --- selection, editing, copy and paste ---------------------------------------

namespace {

// The selected block of a grid: rows and columns from the smaller to the
// larger of the current cell and the opposite corner.
struct Block {
    int r1, r2, c1, c2;
    explicit Block(const platform::Grid& g)
        : r1(std::min(g.Row(), g.RowSel())), r2(std::max(g.Row(), g.RowSel())),
          c1(std::min(g.Col(), g.ColSel())), c2(std::max(g.Col(), g.ColSel()))
    {
    }
    int rows() const { return r2 - r1 + 1; }
    int cols() const { return c2 - c1 + 1; }
};

// The fields that keep a record whole; their columns are never hidden.
constexpr const char* kRequiredFields[] = {"type",   "ident",   "lat",    "long",  "y_proj",
                                           "x_proj", "new_seg", "rnumber", "rident", "rcmnt"};

bool is_required(std::string_view name)
{
    for (const char* f : kRequiredFields)
        if (vb::SameLCase(name, f))
            return true;
    return false;
}

// Draws the grid once at the end, however the work in between ends.
struct RedrawOnce {
    platform::Grid& g;
    bool was;
    explicit RedrawOnce(platform::Grid& grid) : g(grid), was(grid.Redraw()) { g.SetRedraw(false); }
    ~RedrawOnce() { g.SetRedraw(was); }
};

// Runs one step of a procedure that ignores its errors.
template <class F>
void ignoring_errors(F&& step)
{
    try {
        step();
    } catch (const std::exception&) {
    }
}

} // namespace

std::array<int, 3> Table::Selection_Count()
{
    const auto& g = ctx_.grid;
    int first = std::min(g.Row(), g.RowSel()), last = std::max(g.Row(), g.RowSel());
    int rows = std::abs(g.RowSel() - g.Row()) + 1;
    if (std::abs(g.ColSel() - g.Col()) + 1 != g.Cols() - 1)
        rows = 0;
    if (ctx_.Set_Selected)
        ctx_.Set_Selected(std::to_string(rows) + " of " + std::to_string(g.Rows() - 1) + " Selected");
    ctx_.selection_count = rows;
    return {first, last, rows};
}

void Table::Selection_Clear()
{
    auto& g = ctx_.grid;
    if (g.Rows() > 1 && g.Cols() > 1) {
        g.SetRow(1);
        g.SetCol(1);
    }
    if (ctx_.Set_Msg)
        ctx_.Set_Msg("Selection Cleared");
    if (ctx_.Set_Selected)
        ctx_.Set_Selected("0 of " + std::to_string(g.Rows() - 1) + " Selected");
    Selection_Reset();
}

void Table::Selection_Delete()
{
    auto& g = ctx_.grid;
    const Block b(g);
    if (b.rows() == g.Rows() - 1 && b.cols() == g.Cols() - 1) {
        ignoring_errors([&] { Table_Clear(); });
        return;
    }
    if (b.cols() == g.Cols() - 1) {
        // Whole rows, taken out in one step; the table keeps one row at least.
        const int n = std::min(b.rows(), g.Rows() - 2);
        int count = 0;
        ignoring_errors([&] {
            g.RemoveItems(b.r1, n);
            count = n;
        });
        ignoring_errors([&] { Selection_Reset(); });
        ignoring_errors([&] {
            RedrawOnce once(g);
            for (int r = 1; r < g.Rows(); ++r)
                g.SetTextMatrix(r, 0, std::to_string(r));
        });
        ignoring_errors([&] { Selection_Clear(); });
        if (ctx_.Set_Msg)
            ignoring_errors([&] { ctx_.Set_Msg("Deleted " + std::to_string(count) + " Row(s)"); });
        ignoring_errors([&] { Rows_Color(0); });
        ctx_.record_counter = g.Rows() - 1;
    } else if (b.rows() == g.Rows() - 1) {
        // Whole columns: hidden, but never a column a record needs, whether
        // its header is the field's name or an alias of it.
        if (ctx_.Set_Msg)
            ignoring_errors([&] {
                ctx_.Set_Msg(std::to_string(b.cols()) + " of " + std::to_string(g.Cols() - 1) + " Columns Selected");
            });
        for (int c = b.c1; c <= b.c2; ++c)
            ignoring_errors([&] {
                const std::string& header = g.TextMatrix(0, c);
                if (!is_required(header) && !is_required(Field_GetName(header, ctx_.record_type)))
                    g.SetColWidth(c, 0);
            });
        ignoring_errors([&] { Selection_Clear(); });
        if (ctx_.unload_properties)
            ignoring_errors([&] { ctx_.unload_properties(); });
        if (ctx_.Set_Msg)
            ignoring_errors([&] { ctx_.Set_Msg("Hid Column(s)"); });
    } else {
        ignoring_errors([&] {
            RedrawOnce once(g);
            for (int r = b.r1; r <= b.r2; ++r)
                for (int c = b.c1; c <= b.c2; ++c)
                    g.SetTextMatrix(r, c, "");
        });
        ignoring_errors([&] { Rows_Color(0); });
        if (ctx_.Set_Msg)
            ignoring_errors([&] { ctx_.Set_Msg(""); });
    }
}

void Table::Cell_Edit()
{
    auto& g = ctx_.grid;
    if (g.Col() == 1) {
        Segment_Toggle(g.Row());
        return;
    }
    const bool symbol_mode = g.Col() == Column_Find("Symbol", true) && g.ColSel() == g.Col();
    std::string answer;
    const frmWptSelect::Item* item = nullptr;
    if (symbol_mode) {
        frmWptSelect* picker = ctx_.picker ? ctx_.picker() : nullptr;
        if (!picker)
            return;
        picker->Show();
        if (picker->Tag == "Cancel" || !(item = picker->SelectedItem()))
            return;
        // The code is the item's key; the text may start with the name.
        answer = item->key.substr(1);
    } else {
        answer = ctx_.dialogs.InputBox("Change Value to:", "Modify Cell Value", g.TextMatrix(g.Row(), g.Col()));
        if (answer.empty())
            return;
    }
    platform::PictureRef picture;
    if (item)
        picture = ImageList1().Item(long(item->icon) + 1).picture;
    const Block b(g);
    {
        RedrawOnce once(g);
        for (int r = std::max(b.r1, 1); r <= b.r2; ++r)
            for (int c = std::max(b.c1, 1); c <= b.c2; ++c) {
                g.SetTextMatrix(r, c, answer);
                if (item)
                    g.SetCellPicture(r, c, picture);
            }
    }
    Rows_Color(g.Row());
}

void Table::Segment_Toggle(int row)
{
    auto& g = ctx_.grid;
    const int col = g.Col();
    if (g.CellBackColor(g.Row(), col) != kSegmentColor)
        return;
    for (int r = row + 1; r < g.Rows(); ++r) {
        if (g.CellBackColor(r, col) != g.BackColor()) {
            g.SetRow(row);
            return;
        }
        g.SetRowHeight(r, g.RowHeight(r) > 0 ? 0 : 225);
    }
}

double Table::Text_FirstNumber(std::string_view text)
{
    size_t at = 0;
    while (at < text.size() && !(text[at] >= '0' && text[at] <= '9'))
        ++at;
    if (at == text.size())
        return 0;
    // Digits, a decimal part and an exponent, as far as they go.
    auto digits = [&](size_t i) {
        while (i < text.size() && text[i] >= '0' && text[i] <= '9')
            ++i;
        return i;
    };
    size_t end = digits(at);
    if (end < text.size() && text[end] == '.')
        end = digits(end + 1);
    if (end < text.size() && (text[end] == 'e' || text[end] == 'E')) {
        size_t e = end + 1;
        if (e < text.size() && (text[e] == '+' || text[e] == '-'))
            ++e;
        if (digits(e) > e)
            end = digits(e);
    }
    return std::strtod(std::string(text.substr(at, end - at)).c_str(), nullptr);
}

void Table::Selection_Copy()
{
    std::string folder;
    const platform::Grid* other = ctx_.msfgTable ? ctx_.msfgTable(folder) : nullptr;
    const platform::Grid& g = other ? *other : ctx_.grid;
    int file_col = -1;
    if (other)
        for (int c = 0; c < g.Cols() && file_col < 0; ++c)
            if (vb::SameLCase(g.TextMatrix(0, c), "FileName"))
                file_col = c;
    const Block b(g);
    // Hidden columns and folded rows stay out, as paste skips them.
    std::vector<int> cols;
    for (int c = b.c1; c <= b.c2; ++c)
        if (g.ColWidth(c) != 0)
            cols.push_back(c);
    std::string text;
    if (!cols.empty())
        for (int r = b.r1; r <= b.r2; ++r) {
            if (g.RowHeight(r) == 0)
                continue;
            for (size_t k = 0; k < cols.size(); ++k) {
                if (cols[k] == file_col)
                    text += folder + "/";
                text += g.TextMatrix(r, cols[k]);
                text += k + 1 < cols.size() ? "\t" : "\r\n";
            }
        }
    platform::Clipboard* clipboard = ctx_.clipboard ? ctx_.clipboard() : nullptr;
    if (!clipboard)
        return;
    clipboard->Clear();
    clipboard->SetText(text);
}

void Table::Selection_Paste(platform::Grid& g)
{
    try {
        platform::Clipboard* clipboard = ctx_.clipboard ? ctx_.clipboard() : nullptr;
        std::string text = clipboard ? clipboard->GetText() : std::string();
        if (text.empty())
            return;
        // Lines end at CR LF, LF or CR.
        std::vector<std::string_view> lines;
        std::string_view all = text;
        size_t start = 0;
        for (size_t i = 0; i < all.size(); ++i)
            if (all[i] == '\r' || all[i] == '\n') {
                lines.push_back(all.substr(start, i - start));
                if (all[i] == '\r' && i + 1 < all.size() && all[i + 1] == '\n')
                    ++i;
                start = i + 1;
            }
        if (lines.empty()) {
            g.SetTextMatrix(g.Row(), g.Col(), text);
            return;
        }
        if (start < all.size())
            lines.push_back(all.substr(start)); // a last line without a break
        RedrawOnce once(g);
        int r = g.RowSel();
        for (std::string_view line : lines) {
            while (r < g.Rows() && g.RowHeight(r) == 0)
                ++r;
            if (r >= g.Rows())
                break;
            int c = g.ColSel();
            size_t pos = 0;
            for (;;) {
                size_t tab = line.find('\t', pos);
                std::string_view value = line.substr(pos, tab == std::string_view::npos ? line.npos : tab - pos);
                while (c < g.Cols() && g.ColWidth(c) == 0)
                    ++c;
                if (c >= g.Cols())
                    break;
                g.SetTextMatrix(r, c++, value);
                if (tab == std::string_view::npos)
                    break;
                pos = tab + 1;
            }
            ++r;
        }
    } catch (const std::exception&) {
    }
}

void Table::Set_RouteDefault()
{
    auto& g = ctx_.grid;
    detail::RouteNames& st = route_names();
    if (!st.changes)
        st.changes = g.track_row_changes();
    if (g.Rows() < 3) {
        st.forget();
        return;
    }
    // Rows named by an earlier walk and unchanged since need no second one.
    if (st.named < 1 || st.changes->first <= st.named || st.named >= g.Rows())
        st.forget();
    const int rident = Column_Find("rident", true), ident = Column_Find("ident", true),
              lat = Column_Find("lat", true), lon = Column_Find("long", true), seg = Column_Find("new_seg", true);
    // Names compare as collection keys do: without regard to case.
    auto& points = st.points;
    auto& routes = st.routes;
    int& point_counter = st.point_counter;
    int& route_counter = st.route_counter;
    const int first = st.named + 1;
    st.named = 0; // until this walk is done
    points.reserve(size_t(g.Rows()));
    RedrawOnce once(g);
    for (int r = first; r < g.Rows(); ++r) {
        std::string name = g.TextMatrix(r, ident);
        if (name.empty()) {
            name = "Rte1";
            g.SetTextMatrix(r, ident, name);
        }
        std::pair<std::string, std::string> here{g.TextMatrix(r, lat), g.TextMatrix(r, lon)};
        auto it = points.find(platform::collection_key(name));
        if (it == points.end()) {
            points.emplace(platform::collection_key(name), std::move(here));
        } else if (it->second != here) {
            while (points.count(platform::collection_key(name)))
                name = "Rte" + std::to_string(point_counter++);
            g.SetTextMatrix(r, ident, name);
            points.emplace(platform::collection_key(name), std::move(here));
        }
        std::string route = g.TextMatrix(r, rident);
        if (r == 1) {
            if (route.empty()) {
                route = "Route1";
                g.SetTextMatrix(r, rident, route);
            }
            routes.insert(platform::collection_key(route));
        } else if (!Value_IsTrue(g.TextMatrix(r, seg))) {
            const std::string& previous = g.TextMatrix(r - 1, rident);
            if (route != previous)
                g.SetTextMatrix(r, rident, previous);
        } else {
            std::string given = route;
            while (route.empty() || routes.count(platform::collection_key(route)))
                route = "Route" + std::to_string(route_counter++);
            if (route != given)
                g.SetTextMatrix(r, rident, route);
            routes.insert(platform::collection_key(route));
        }
    }
    st.named = g.Rows() - 1;
    st.changes->first = g.Rows();
}

} // namespace flxgrd
