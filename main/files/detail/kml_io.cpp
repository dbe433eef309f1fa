#include "main/files/detail/kml_io.h"

#include "main/app/frm_main.h"
#include "main/table/table.h"
#include "platform/automation/vb_error.h"
#include "platform/settings/stored_file.h"

#include <cerrno>
#include <sys/stat.h>

namespace files::detail {

using platform::VbError;

std::string read_whole_file(const std::string& path, std::size_t max_bytes)
{
    struct stat st;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && std::size_t(st.st_size) > max_bytes)
        throw VbError(7, "", "Out of memory");
    std::string text, reason;
    switch (platform::read_stored_file(path, max_bytes, text, reason)) {
    case platform::ReadResult::Read: return text;
    case platform::ReadResult::Missing: throw VbError(53, "", "File not found");
    default: throw VbError(75, "", "Path/File access error");
    }
}

std::string Table_BeginLoad(app::frmMain& main, const std::string& type, std::initializer_list<const char*> fields)
{
    auto& table = main.table();
    table.Table_Clear();
    if (!main.panel_open())
        main.cmdAdvanced_Click();
    main.state().record_type = type;
    table.Table_SetType(type);
    std::string columns;
    for (const char* field : fields)
        columns += (columns.empty() ? "" : ";") + std::to_string(table.Column_Find(field, false));
    return columns;
}

bool file_exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

void save_whole_file(const std::string& path, std::string_view bytes)
{
    mode_t mask = ::umask(0);
    ::umask(mask);
    std::string reason;
    errno = 0;
    if (platform::save_stored_file(path, bytes, reason, 0666 & ~unsigned(mask)))
        return;
    throw platform::FileError(errno);
}

} // namespace files::detail
