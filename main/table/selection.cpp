// The selected row range and the check of the selected values that the
// projection commands, transfers and savers run before they act.
#include "main/table/table.h"

#include "platform/automation/vb_error.h"

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

} // namespace flxgrd
