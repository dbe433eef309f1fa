// Lowrance export text: "lat, long, ident" per waypoint, Windows-1252.
#include "main/files/files.h"

#include "main/app/frm_main.h"
#include "main/coords/coords.h"
#include "main/files/detail/kml_io.h"
#include "main/table/table.h"
#include "platform/automation/vb_error.h"
#include "platform/text/cp1252.h"
#include "platform/text/vb.h"
#include "platform/ui/dialogs.h"

namespace files {

namespace vb = platform::vb;
using platform::VbError;

namespace {

// A Lowrance list of a few thousand waypoints is well under a megabyte.
constexpr std::size_t kMaxLowranceBytes = 64u << 20;

} // namespace

bool LowranceFile_Save(app::frmMain& main, const std::string& path, bool append)
{
    detail::Hourglass busy(main.cursor());
    auto& table = main.table();
    const auto& g = main.MSFlexGrid1;
    try {
        int cols[3] = {table.Column_Find("lat", false), table.Column_Find("long", false),
                       table.Column_Find("ident", false)};
        for (int c : cols)
            if (c < 0)
                throw VbError(381, "MSHFlexGrid", "Subscript out of range");
        // The columns are found before the file is touched, and the file is
        // replaced only once the whole text stands.
        std::string text;
        if (append && detail::file_exists(path))
            text = detail::read_whole_file(path, kMaxLowranceBytes);
        auto [first, last] = table.Selection_GetRange(g);
        if (last == 1 && g.TextMatrix(1, 0).empty())
            last = 0; // a cleared table's blank row holds no record
        std::string line;
        for (int r = first; r <= last; ++r) {
            line.clear();
            for (int i = 0; i < 3; ++i) {
                const std::string& cell = g.TextMatrix(r, cols[i]);
                if (i)
                    line += ", ";
                line += cell.empty() ? std::string(" ") : cell;
            }
            line += "\r\n";
            text += platform::utf8_to_cp1252(line);
            main.Set_Msg("Saving record " + std::to_string(r) + " to text file");
        }
        detail::save_whole_file(path, text);
        main.Set_Msg("");
        return true;
    } catch (const VbError& e) {
        main.dialogs().MsgBox("Error #" + std::to_string(e.number) + " - " + e.description, platform::vbCritical,
                              "fileio.LowranceFile_Save");
    } catch (const std::bad_alloc&) {
        main.dialogs().MsgBox("Error #7 - Out of memory", platform::vbCritical, "fileio.LowranceFile_Save");
    }
    return false;
}

bool LowranceFile_Load(app::frmMain& main, const std::string& path)
{
    detail::Hourglass busy(main.cursor());
    // Read first: a file that cannot be read leaves the table as it was.
    const std::string text = platform::cp1252_to_utf8(detail::read_whole_file(path, kMaxLowranceBytes));
    auto& table = main.table();
    const std::string columns = detail::Table_BeginLoad(main, "waypoint", {"lat", "long", "ident", "type"});
    main.state().record_counter = 0;

    const std::string suffix = "," + vb::UCase(main.state().record_type);
    bool full = false;
    detail::for_each_line(text, [&](std::string_view line) {
        if (full || line.find_first_not_of(" \t") == std::string_view::npos)
            return;
        full = !table.Records_Insert(std::string(line) + suffix, columns, main.state().record_type, ",", false);
    });
    if (full)
        return false;
    main.coords().Project_Table(true);
    return true;
}

} // namespace files
