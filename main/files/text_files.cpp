// Delimited text files of the records table, the text log and the program log.
#include "main/app/frm_main.h"
#include "main/files/detail/xml_text.h"
#include "main/files/table_files.h"
#include "main/coords/coords.h"
#include "main/table/table.h"
#include "platform/automation/vb_error.h"
#include "platform/settings/stored_file.h"
#include "platform/text/cp1252.h"
#include "platform/text/vb.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialogs.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <sstream>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace files {

namespace vb = platform::vb;
using platform::VbError;

namespace {

// The whole of a file, or nothing when it cannot be opened.
bool read_whole(const std::string& path, std::string& bytes)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream s;
    s << in.rdbuf();
    bytes = s.str();
    return !in.bad();
}

bool file_exists(const std::string& path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

unsigned new_file_mode()
{
    mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~unsigned(mask);
}

// Adds text to a file in place (created when missing), or replaces it. An
// append that cannot be written whole is cut back to the file's old length:
// a log never keeps half a line that the next append would run into.
void write_in_place(const std::string& path, const std::string& text, bool append, const char* source)
{
    struct stat before{};
    const bool existed = ::stat(path.c_str(), &before) == 0;
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | (append ? O_APPEND : O_TRUNC), 0666);
    if (fd < 0) throw VbError(75, source, "Path/File access error");
    struct stat st{};
    const off_t old_size = ::fstat(fd, &st) == 0 ? st.st_size : -1;
    int err = 0;
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            err = n < 0 ? errno : ENOSPC;
            break;
        }
        done += std::size_t(n);
    }
    if (err && append && old_size >= 0) [[maybe_unused]] int r = ::ftruncate(fd, old_size);
    if (::close(fd) != 0 && !err && errno != EINTR) err = errno;
    if (!err) return;
    // A file this append made goes again: left empty, it would be taken
    // for a started one and never get its header line.
    if (append && !existed) ::unlink(path.c_str());
    throw platform::FileError(err, source);
}

bool needs_quotes(const std::string& cell, const std::string& delimiter)
{
    return cell.find(delimiter) != std::string::npos || cell.find_first_of("\"\r\n") != std::string::npos;
}

} // namespace

std::string Text_JoinCells(const std::vector<std::string>& cells, const std::string& delimiter)
{
    std::string line;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        if (i) line += delimiter;
        const std::string& c = cells[i];
        if (c.empty())
            line += ' ';
        else if (needs_quotes(c, delimiter))
            line += '"' + vb::Replace(c, "\"", "\"\"") + '"';
        else
            line += c;
    }
    return line;
}

bool Text_NextRecord(std::string_view text, std::size_t& pos, char delimiter, std::vector<std::string>& cells)
{
    cells.clear();
    if (pos >= text.size()) return false;
    std::string cell;
    bool quoted = false, was_quoted = false;
    while (pos < text.size()) {
        char ch = text[pos++];
        if (quoted) {
            if (ch != '"')
                cell += ch;
            else if (pos < text.size() && text[pos] == '"')
                cell += '"', ++pos;
            else
                quoted = false;
            continue;
        }
        if (ch == '"' && !was_quoted && vb::Trim(cell).empty()) {
            cell.clear();
            quoted = was_quoted = true;
        } else if (ch == delimiter) {
            cells.push_back(std::move(cell));
            cell.clear();
            was_quoted = false;
        } else if (ch == '\r' || ch == '\n') {
            if (ch == '\r' && pos < text.size() && text[pos] == '\n') ++pos;
            break;
        } else {
            cell += ch;
        }
    }
    cells.push_back(std::move(cell));
    return true;
}

std::string Text_Decode(std::string_view bytes)
{
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    return detail::valid_utf8(bytes) ? std::string(bytes) : platform::cp1252_to_utf8(bytes);
}

std::string Text_RecordType(const std::string& value)
{
    return flxgrd::Option_Type(vb::LCase(vb::Trim(value)));
}

std::string TableFiles::temp_folder()
{
    std::string dir = app::temp_folder();
    if (dir.empty() || dir.back() != '/') dir += '/';
    return dir;
}

void TableFiles::set_controls(int state)
{
    if (auto& f = main_.table().context().Set_Controls) f(state);
}

void TableFiles::set_record_type(const std::string& type)
{
    flxgrd::Table& table = main_.table();
    main_.state().record_type = type;
    table.Table_SetType(type);
    table.Columns_Load(type);
    if (auto& tick = table.context().tick_option) tick(type);
}

bool TableFiles::Save_TextFile(const std::string& path, std::string delimiter, bool append)
{
    try {
        if (delimiter.empty()) delimiter = ";";
        const platform::Grid& g = main_.MSFlexGrid1;
        std::vector<int> visible;
        for (int c = 1; c < g.Cols(); ++c)
            if (g.ColWidth(c) != 0) visible.push_back(c);
        auto row_cells = [&](int r) {
            std::vector<std::string> cells;
            for (int c : visible) cells.push_back(g.TextMatrix(r, c));
            return cells;
        };
        // An append writes the old file and the new rows to a copy that
        // replaces it, like every save: a failed save changes nothing.
        std::string text;
        if (append && file_exists(path)) {
            if (!read_whole(path, text)) throw VbError(75, "frmMain.Save_TextFile", "Path/File access error");
        } else {
            text = Text_JoinCells(row_cells(0), delimiter) + "\r\n";
        }
        const auto range = main_.table().Selection_GetRange(g);
        for (int r = range[0]; r <= range[1] && r < g.Rows(); ++r) {
            if (g.TextMatrix(r, 0).empty() && g.Rows() == 2) continue; // the empty table's blank row
            text += Text_JoinCells(row_cells(r), delimiter) + "\r\n";
            main_.Set_Msg("Saving record " + std::to_string(r) + " to text file");
        }
        std::string reason;
        errno = 0;
        if (!platform::save_stored_file(path, text, reason, new_file_mode()))
            throw platform::FileError(errno, "frmMain.Save_TextFile");
        main_.Set_Msg("");
        return true;
    } catch (const VbError& e) {
        main_.Set_Msg("");
        main_.dialogs().MsgBox("Error #" + std::to_string(e.number) + " - " + e.description, platform::vbCritical,
                               "frmMain.Save_TextFile");
    }
    return false;
}

bool TableFiles::Open_Textfile(const std::string& path)
{
    platform::Cursor& cursor = main_.cursor();
    cursor.set_pointer(platform::vbHourglass);
    struct Restore {
        TableFiles& t;
        ~Restore() { t.main_.cursor().set_pointer(platform::vbDefault); }
    } restore{*this};

    std::string bytes;
    if (!file_exists(path)) throw VbError(53, "frmMain.Open_Textfile", "File not found");
    if (!read_whole(path, bytes)) throw VbError(75, "frmMain.Open_Textfile", "Path/File access error");
    const std::string text = Text_Decode(bytes);

    flxgrd::Table& table = main_.table();
    table.Table_Clear();
    if (!main_.panel_open()) main_.cmdAdvanced_Click();
    main_.state().record_counter = 0;

    std::size_t pos = 0;
    std::vector<std::string> header, cells;
    Text_NextRecord(text, pos, ';', header);
    char delimiter = ';';
    if (header.size() < 2) {
        delimiter = ',';
        pos = 0;
        Text_NextRecord(text, pos, ',', header);
    }
    int type_pos = -1;
    for (std::size_t i = 0; i < header.size(); ++i)
        if (vb::LCase(vb::Trim(header[i])) == "type") {
            type_pos = int(i);
            break;
        }
    auto blank = [](const std::vector<std::string>& c) { return c.size() == 1 && vb::Trim(c[0]).empty(); };

    const std::size_t data_start = pos;
    std::string type = "waypoint";
    while (Text_NextRecord(text, pos, delimiter, cells)) {
        if (blank(cells)) continue;
        if (type_pos >= 0 && type_pos < int(cells.size())) type = Text_RecordType(cells[std::size_t(type_pos)]);
        break;
    }
    set_record_type(type);
    auto [columns, mode] = required_fields(header, "txt", type);
    bool result = false;
    if (!columns.empty()) {
        pos = data_start;
        result = true;
        while (Text_NextRecord(text, pos, delimiter, cells)) {
            if (blank(cells)) continue;
            if (!table.Records_InsertValues(cells, columns)) {
                result = false;
                break;
            }
        }
        if (result && mode == 1) main_.coords().Project_Table(true);
        if (result && mode == 2) main_.coords().Project_Table(false);
    }
    set_controls(4);
    return result;
}

bool TableFiles::Textfile_Save(std::string& line, std::string path, bool append)
{
    try {
        if (path.empty()) path = temp_folder() + "TREKFOLD.TXT";
        if (!file_exists(path)) {
            const auto aliases = main_.table().Fields_GetList(main_.state().record_type, false, true);
            line = vb::Join(aliases, ";") + "\r\n" + line;
        }
        write_in_place(path, line + "\r\n", append, "Textfile_Save");
        return true;
    } catch (const VbError& e) {
        main_.dialogs().MsgBox("Error " + std::to_string(e.number) + ": " + e.description, platform::vbCritical,
                               "Textfile_Save");
    }
    return false;
}

void TableFiles::Logfile_Write(const std::string& text, std::string path, bool raw, bool overwrite)
{
    if (path.empty()) path = temp_folder() + "TREKFOLD_LOG.TXT";
    const std::string line = raw ? text : vb::Format(vb::Now(), "m/d/yyyy h:nn:ss AM/PM") + " - " + text;
    write_in_place(path, line + "\r\n", !overwrite, "FileIO.Logfile_Write");
}

} // namespace files
