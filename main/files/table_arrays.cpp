// The records table as the 2-D variant arrays the ArcMap extension takes
// and hands back: (field, record), record 0 holding the field names.
#include "main/app/frm_main.h"
#include "main/coords/coords.h"
#include "main/files/table_files.h"
#include "main/table/table.h"
#include "platform/automation/vb_error.h"
#include "platform/text/vb.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialogs.h"

namespace files {

namespace vb = platform::vb;

namespace {

// A value's default text: a Boolean as "True"/"False", Empty as "".
std::string value_text(const platform::Variant& v)
{
    if (v.Type() == platform::VarType::Boolean) return v.ToBool() ? "True" : "False";
    return v.ToString();
}

} // namespace

platform::Variant TableFiles::Save_Array()
{
    try {
        const platform::Grid& grid = main_.MSFlexGrid1;
        auto [first, last] = main_.table().Selection_GetRange(grid);
        std::vector<int> cols;
        for (int c = 1; c < grid.Cols(); ++c)
            if (grid.ColWidth(c) != 0) cols.push_back(c);
        if (cols.empty()) throw platform::VbError(9, "frmMain.Save_Array", "Subscript out of range");
        const int records = last >= first ? last - first + 1 : 0;
        // Sized once for every record rather than grown per row.
        platform::VariantArray out(0, std::int32_t(cols.size()), 0, records + 1);
        for (std::size_t f = 0; f < cols.size(); ++f) {
            out.at(std::int32_t(f), 0) = grid.TextMatrix(0, cols[f]);
            for (int r = 0; r < records; ++r) {
                const std::string& text = grid.TextMatrix(first + r, cols[f]);
                out.at(std::int32_t(f), r + 1) = text.empty() ? std::string(" ") : text;
            }
        }
        return platform::Variant(std::move(out));
    } catch (const platform::VbError& e) {
        main_.dialogs().MsgBox("Error #: " + std::to_string(e.number) + ", " + e.description, platform::vbOKOnly,
                               "frmMain.Save_Array");
    } catch (const std::exception& e) {
        main_.dialogs().MsgBox(std::string("Error #: 0, ") + e.what(), platform::vbOKOnly, "frmMain.Save_Array");
    }
    return {};
}

bool TableFiles::Open_Array(platform::Variant& array)
{
    if (!array.IsArray()) return false;
    const platform::VariantArray& a = array.ArrayRef();
    if (a.Dimensions() != 2 || a.UBound(1) < 1) return false;

    main_.cursor().set_pointer(platform::vbHourglass);
    struct End {
        TableFiles& t;
        ~End()
        {
            t.set_controls(4);
            t.main_.cursor().set_pointer(platform::vbDefault);
        }
    } end{*this};
    try {
        flxgrd::Table& table = main_.table();
        table.Table_Clear();
        if (!main_.panel_open()) main_.cmdAdvanced_Click();

        const int f0 = a.LBound(1), f1 = a.UBound(1), r0 = a.LBound(2), r1 = a.UBound(2);
        std::vector<std::string> names;
        int type_field = -1;
        for (int f = f0; f <= f1; ++f) {
            names.push_back(vb::LCase(value_text(a.at(f, r0))));
            if (names.back() == "type") type_field = f;
        }
        // A type value naming no record type loads as waypoints, as text and
        // dBASE loads do.
        std::string type = "waypoint";
        if (type_field >= 0 && r1 > r0) type = Text_RecordType(value_text(a.at(type_field, r0 + 1)));
        set_record_type(type);
        auto [columns, mode] = required_fields(names, "shp", type);
        if (columns.empty()) return false;

        std::vector<std::string> values;
        for (int r = r0 + 1; r <= r1; ++r) {
            values.clear();
            for (int f = f0; f <= f1; ++f) values.push_back(value_text(a.at(f, r)));
            if (!table.Records_InsertValues(values, columns)) return false;
        }
        if (main_.MSFlexGrid1.Rows() > 1) {
            int lat = table.Column_Find("lat", true), y = table.Column_Find("y_proj", true);
            if (lat >= 0 && main_.MSFlexGrid1.TextMatrix(1, lat).empty())
                main_.coords().Project_Table(false);
            else if (y >= 0 && main_.MSFlexGrid1.TextMatrix(1, y).empty())
                main_.coords().Project_Table(true);
        }
        return true;
    } catch (const std::exception& e) {
        auto* vb = dynamic_cast<const platform::VbError*>(&e);
        main_.dialogs().MsgBox("Error: " + std::to_string(vb ? vb->number : 0) + " -- " +
                                   (vb ? vb->description : std::string(e.what())),
                               platform::vbCritical, "frmMain.Open_Array");
        return false;
    }
}

} // namespace files
