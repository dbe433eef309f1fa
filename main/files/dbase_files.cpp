// The records table saved to and loaded from dBASE tables, the projection
// file beside a shapefile, the shape type of a shapefile, and world files.
#include "main/app/frm_main.h"
#include "main/coords/coords.h"
#include "main/files/dbase.h"
#include "main/files/shapefile.h"
#include "main/files/table_files.h"
#include "main/hotlink/hotlink.h"
#include "main/table/table.h"
#include "platform/automation/vb_error.h"
#include "platform/proj/proj.h"
#include "platform/settings/settings.h"
#include "platform/settings/stored_file.h"
#include "platform/text/cp1252.h"
#include "platform/text/vb.h"
#include "platform/ui/dialogs.h"

#include <cerrno>
#include <fstream>
#include <string_view>
#include <tuple>

#include <sys/stat.h>

namespace files {

namespace vb = platform::vb;
using platform::VbError;

namespace {

bool is_file(const std::string& path)
{
    struct stat st{};
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The stored name of a field: its heading upper-cased, cut to 10 characters.
std::string stored_name(const std::string& heading) { return vb::UCase(Field_StoredName(heading)); }

// A number field holding no number: all "*" (the null value GDAL, shapelib
// and the shapefile control write for an empty number) or all blanks.
bool null_number(std::string_view trimmed) { return trimmed.find_first_not_of('*') == std::string_view::npos; }

} // namespace

std::vector<flxgrd::CatalogField> TableFiles::field_entries()
{
    flxgrd::Table& table = main_.table();
    const std::string& type = main_.state().record_type;
    std::vector<flxgrd::CatalogField> out;
    for (const auto& alias : table.Fields_GetList(type, true, true))
        if (const flxgrd::CatalogField* c = flxgrd::Catalog_Find(table.Field_GetName(alias, type))) {
            out.push_back(*c);
            out.back().name = alias;
        }
    return out;
}

bool TableFiles::Save_DBF(const std::string& path, bool append)
{
    DBase db(main_.dialogs());
    std::int16_t file = -1;
    try {
        flxgrd::Table& table = main_.table();
        std::vector<std::string> specs;
        for (const auto& c : field_entries())
            specs.push_back(stored_name(c.name) + "," + c.type + "," + std::to_string(c.width) + "," +
                            std::to_string(c.decimals) + "," + std::to_string(c.ordinal));
        // The table is written as a temporary beside the file (for an
        // append, a copy of it) that replaces it once written whole. A
        // write that fails ends the save with the failure's own error.
        platform::StagedFiles staged({path});
        std::string reason;
        if (!staged.stage(append, reason)) {
            if (staged.error()) throw platform::FileError(staged.error(), "Save_DBF");
            throw VbError(545, "Save_DBF", "Error Creating Table (" + reason + ")");
        }
        if (append && is_file(path)) {
            file = db.DBF_Open(staged.temp(0));
            if (file < 0) throw VbError(545, "Save_DBF", "Error Opening Table");
            int err = 0;
            for (const auto& s : specs) {
                errno = 0;
                if (!db.DBF_AddFields(file, s) && !err) err = errno;
            }
            // A field that could not be added closes the table.
            if (db.DBF_GetRecordCount(file) < 0) {
                file = -1;
                if (err) throw platform::FileError(err, "Save_DBF");
                throw VbError(545, "Save_DBF", "Error Writing Table");
            }
        } else {
            errno = 0;
            file = db.DBF_Create(staged.temp(0), specs);
            if (file < 0 && errno) throw platform::FileError(errno, "Save_DBF");
            if (file < 0) throw VbError(545, "Save_DBF", "Error Creating Table");
        }
        const auto written = [&] {
            if (int err = db.DBF_WriteError(file)) throw platform::FileError(err, "Save_DBF");
        };
        const platform::Grid& g = main_.MSFlexGrid1;
        std::vector<std::pair<int, std::string>> columns;
        for (int c = 1; c < g.Cols(); ++c)
            if (g.ColWidth(c) > 0) columns.emplace_back(c, stored_name(g.TextMatrix(0, c)));
        const auto range = table.Selection_GetRange(g);
        main_.state().record_counter = 0;
        for (int r = range[0]; r <= range[1] && r < g.Rows(); ++r) {
            if (g.TextMatrix(r, 0).empty() && g.Rows() == 2) continue; // the empty table's blank row
            const std::int32_t recno = db.DBF_AddRecord(file);
            written();
            if (recno < 0) throw VbError(545, "Save_DBF", "Error Writing Table");
            for (const auto& [c, name] : columns) db.DBF_PutRecord(file, name, recno, g.TextMatrix(r, c));
            written();
            ++main_.state().record_counter;
            main_.Set_Msg("Saving records: " + std::to_string(main_.state().record_counter));
        }
        // Records are held back in memory: the flush writes the last of
        // them, and its failure is the save's.
        const bool flushed = db.DBF_Flush(file);
        written();
        if (!flushed) throw VbError(545, "Save_DBF", "Error Writing Table");
        db.DBF_Close(file);
        file = -1;
        if (!staged.commit(reason)) {
            if (staged.error()) throw platform::FileError(staged.error(), "Save_DBF");
            throw VbError(545, "Save_DBF", "Error Writing Table (" + reason + ")");
        }
        main_.Set_Msg("");
        return true;
    } catch (const VbError& e) {
        if (file >= 0) db.DBF_Close(file);
        main_.Set_Msg("");
        main_.dialogs().MsgBox("Save_DBF Error #" + std::to_string(e.number) + " - " + e.description,
                               platform::vbOKOnly, "Save_DBF");
    }
    return false;
}

bool TableFiles::Open_DBF(const std::string& path)
{
    DBase db(main_.dialogs());
    std::int16_t file = -1;
    struct Close {
        DBase& db;
        std::int16_t& file;
        ~Close()
        {
            if (file >= 0) db.DBF_Close(file);
        }
    } close{db, file};
    try {
        // A missing table is never created by loading it.
        if (is_file(path)) file = db.DBF_Open(path);
        if (file < 0) throw VbError(514, "Open_DBF", "Error Opening Table");
        flxgrd::Table& table = main_.table();
        table.Table_Clear();
        if (!main_.panel_open()) main_.cmdAdvanced_Click();
        main_.state().record_counter = 0;

        const auto fields = db.DBF_GetFields(file);
        if (!fields) throw VbError(514, "Open_DBF", "Error Opening Table");
        std::vector<std::string> names;
        std::vector<bool> numeric;
        int type_pos = -1;
        for (const auto& f : *fields) {
            const auto parts = vb::Split(f, ",");
            if (vb::LCase(parts[0]) == "type") type_pos = int(names.size());
            names.push_back(parts[0]);
            numeric.push_back(parts.size() > 1 && (parts[1] == "N" || parts[1] == "F"));
        }
        // The first record names the record type; the columns are mapped
        // before it is inserted.
        std::string columns;
        std::int16_t mode = 0;
        bool mapped = false;
        auto map_columns = [&](const std::string& type) {
            set_record_type(type);
            std::tie(columns, mode) = required_fields(names, "dbf", type);
            if (columns.empty()) throw VbError(515, "Open_DBF", "Required fields not found");
            mapped = true;
        };
        std::vector<std::string> values(names.size());
        std::int32_t k = 0;
        bool refused = false;
        const bool read = db.DBF_ReadRecords(file, [&](const std::vector<std::string_view>& raw) {
            if (!mapped)
                map_columns(type_pos >= 0 ? Text_RecordType(platform::cp1252_to_utf8(raw[std::size_t(type_pos)]))
                                          : "waypoint");
            main_.Set_Msg("Loading record: " + std::to_string(++k));
            for (std::size_t i = 0; i < raw.size(); ++i) {
                std::string_view v = raw[i];
                while (!v.empty() && v.front() == ' ') v.remove_prefix(1);
                while (!v.empty() && v.back() == ' ') v.remove_suffix(1);
                if (numeric[i] && null_number(v)) v = {};
                values[i] = platform::cp1252_to_utf8(v);
            }
            return !(refused = !table.Records_InsertValues(values, columns));
        });
        if (!read) throw VbError(514, "Open_DBF", "Error Opening Table");
        if (refused) return false;
        if (!mapped) map_columns("waypoint");
        if (mode == 1) main_.coords().Project_Table(true);
        if (mode == 2) main_.coords().Project_Table(false);
        return true;
    } catch (const VbError& e) {
        main_.dialogs().MsgBox("Open_DBF Error #" + std::to_string(e.number) + ": " + e.source, platform::vbOKOnly,
                               e.description);
    }
    return false;
}

void TableFiles::WritePRJ(const std::string& base, bool projected)
{
    const std::string found = platform::find_any_case(base + ".prj");
    write_prj(found.empty() ? base + ".prj" : found, projected);
}

void TableFiles::write_prj(const std::string& file, bool projected)
{
    platform::Settings& s = main_.settings();
    std::string key = projected ? s.GetSetting("proj", "proj") : "4326";
    std::string text;
    if (projected && vb::LCase(s.GetSetting("proj", "projfile")) == "arcmap") {
        text = s.GetSetting("proj", "am_proj");
    } else if (!key.empty()) {
        text = s.GetSetting("proj", key);
        // A code chosen without the settings dialog (the default accepted
        // at start-up) has no text kept yet: it gets PROJ's ESRI text for
        // the code, kept under the code as the dialog keeps one, so every
        // shapefile goes out with its system.
        if (text.empty()) {
            text = platform::esri_projection_text(key);
            if (!text.empty()) {
                try {
                    s.SaveSetting("proj", key, text);
                } catch (const std::exception&) {
                    // Kept next time; this file is written all the same.
                }
            }
        }
    }
    if (text.empty()) return;
    // A set appended to shape by shape keeps its .prj: it is written again
    // only when its text is not already the one it would get.
    const std::string content = text + "\r\n";
    {
        std::ifstream in(file, std::ios::binary);
        if (in) {
            std::string old(content.size() + 1, '\0');
            in.read(old.data(), std::streamsize(old.size()));
            if (std::size_t(in.gcount()) == content.size() && old.compare(0, content.size(), content) == 0) return;
        }
    }
    std::string reason;
    platform::save_stored_file(file, content, reason, 0644);
}

std::string TableFiles::get_ShapeFileType(const std::string& path)
{
    try {
        CFileName name;
        name.SetFileSpec(path);
        CShapeFile shp;
        shp.SetFileSpec(name, 0);
        switch (shp.fileType()) {
        case 1: return "point";
        case 8: return "multipoint";
        case 3: return "line";
        case 5: return "polygon";
        default: return "unknown";
        }
    } catch (const std::exception&) {
        return "";
    }
}

// --- world files ----------------------------------------------------------------

void frmWorldFiles::tbxWidth_Change(const std::string& text)
{
    tbxWidth = text;
    cmdOK_Enabled = vb::IsNumeric(text);
}

void TableFiles::frmWorldFiles_cmdOK_Click()
{
    if (!world_.cmdOK_Enabled) return;
    WorldFiles_Write(world_.tbxWidth, world_.cboLocation);
    world_.Form_Unload();
}

std::string WorldFile_Name(const std::string& image)
{
    const std::size_t slash = image.rfind('/'), dot = image.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash) || dot + 1 >= image.size())
        return image + "w";
    const std::string ext = image.substr(dot + 1);
    const bool upper = vb::UCase(ext) == ext && vb::LCase(ext) != ext;
    return image.substr(0, dot + 1) + ext.front() + ext.back() + (upper ? "W" : "w");
}

void TableFiles::WorldFiles_Write(const std::string& width, const std::string& location)
{
    try {
        const double W = vb::CDbl(width);
        const std::string where = vb::LCase(location);
        flxgrd::Table& table = main_.table();
        const int file_col = table.Column_Find("FileName", true);
        if (file_col < 0) throw VbError(1, "frmMain.WorldFiles_Write", "Couldn't find FILENAME field");
        const int x_col = table.Column_Find("x_proj", true), y_col = table.Column_Find("y_proj", true);
        const platform::Grid& g = main_.MSFlexGrid1;
        int count = 0;
        for (int r = 1; r < g.Rows(); ++r) {
            const std::string image = g.TextMatrix(r, file_col);
            int pw = 0, ph = 0;
            if (!is_file(image) || !main_.hotlink().getImageDimensions(image, pw, ph) || pw < 1 || ph < 1)
                continue;
            const double H = W * ph / pw;
            double dx = W, dy = H;
            if (where == "north") dx = -W / 2, dy = H;
            else if (where == "northeast") dx = 0, dy = H;
            else if (where == "east") dx = 0, dy = H / 2;
            else if (where == "southeast") dx = 0, dy = 0;
            else if (where == "south") dx = -W / 2, dy = 0;
            else if (where == "southwest") dx = -W, dy = 0;
            else if (where == "west") dx = -W, dy = H / 2;
            else if (where == "northwest") dx = -W, dy = H;
            else if (where == "center") dx = -W / 2, dy = H / 2;
            const double x = vb::CDbl(x_col < 0 ? "" : g.TextMatrix(r, x_col)) + dx;
            const double y = vb::CDbl(y_col < 0 ? "" : g.TextMatrix(r, y_col)) + dy;
            const double size = W / pw;
            const std::string text = vb::CStr(size) + "\r\n0\r\n0\r\n" + vb::CStr(-size) + "\r\n" + vb::CStr(x) +
                                     "\r\n" + vb::CStr(y);
            Logfile_Write(text, WorldFile_Name(image), true, true);
            ++count;
        }
        main_.dialogs().MsgBox("World files created successfully for " + std::to_string(count) + " records.",
                               platform::vbOKOnly, "Write World Files");
    } catch (const VbError& e) {
        main_.dialogs().MsgBox("Error " + std::to_string(e.number) + ": " + e.description + ". Source: " + e.source,
                               platform::vbCritical, "frmMain.WriteWorldFiles");
    }
}

} // namespace files
