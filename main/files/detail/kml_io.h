// Whole-file reads and atomic saves for the Lowrance and KML files, with
// their failures as the Visual Basic file errors the boxes quote, and the
// hourglass that comes back on every way out of a procedure.
#pragma once

#include "platform/ui/cursor.h"

#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>

namespace app { class frmMain; }

namespace files::detail {

// The first steps of a load: the table emptied, its panel opened, the
// record type set and the table laid out for it. The column numbers of
// `fields` joined with ";", for Records_Insert.
std::string Table_BeginLoad(app::frmMain& main, const std::string& type, std::initializer_list<const char*> fields);

// The bytes of a regular file of at most `max_bytes`. Throws VbError:
// 53 "File not found", 7 "Out of memory" (too big), 75 otherwise.
std::string read_whole_file(const std::string& path, std::size_t max_bytes);
// Whether a file (or anything else) is at `path`.
bool file_exists(const std::string& path);
// Replaces the file through a temporary file and a rename; a new file gets
// the usual permissions for the user's umask. Throws VbError 76, 61 or 75.
void save_whole_file(const std::string& path, std::string_view bytes);

// Calls `each` with every line of `text`, whichever of CR LF, LF or CR
// ends it (the last line may end with none).
template <class Each>
void for_each_line(std::string_view text, Each&& each)
{
    for (size_t start = 0; start < text.size();) {
        size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos)
            end = text.size();
        each(text.substr(start, end - start));
        start = end + (text.substr(end, 2) == "\r\n" ? 2 : 1);
    }
}

// Shows the hourglass until it goes out of scope.
class Hourglass {
public:
    explicit Hourglass(platform::Cursor& cursor) : cursor_(cursor) { cursor_.hourglass(true); }
    ~Hourglass() { cursor_.hourglass(false); }
    Hourglass(const Hourglass&) = delete;
    Hourglass& operator=(const Hourglass&) = delete;

private:
    platform::Cursor& cursor_;
};

} // namespace files::detail
