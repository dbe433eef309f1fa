// KML files: the records table to and from placemark text.
#include "main/files/files.h"
#include "main/files/kml.h"

#include "main/app/frm_main.h"
#include "main/coords/coords.h"
#include "main/files/detail/kml_io.h"
#include "main/files/detail/kml_scan.h"
#include "main/files/detail/xml_text.h"
#include "main/table/table.h"
#include "platform/automation/vb_error.h"
#include "platform/text/decimal.h"
#include "platform/text/vb.h"
#include "platform/ui/dialogs.h"

#include <cstdlib>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace files {

namespace vb = platform::vb;
using platform::VbError;

namespace {

// A document of a full table's placemarks is a few megabytes.
constexpr std::size_t kMaxKmlBytes = 256u << 20;

// The lines of a text, whatever ends them, each followed by CR LF.
std::string crlf_lines(const std::string& text)
{
    std::string out;
    out.reserve(text.size() + text.size() / 16);
    detail::for_each_line(text, [&](std::string_view line) {
        out += line;
        out += "\r\n";
    });
    return out;
}

// The existing document with the placemarks put in once: after the first
// "My Places" name (Google Earth's place file), else before the last
// "</Document>". Neither: nothing to put them into (34).
std::string inserted(const std::string& document, const std::string& placemarks)
{
    static const std::string my_places = "<name>My Places</name>";
    if (size_t p = document.find(my_places); p != std::string::npos) {
        p += my_places.size();
        return document.substr(0, p) + "\r\n" + placemarks + document.substr(p);
    }
    if (size_t p = document.rfind("</Document>"); p != std::string::npos)
        return document.substr(0, p) + placemarks + "\r\n" + document.substr(p);
    throw VbError(34, "", "No records saved to KML file");
}

} // namespace

bool KMLFile_Save(app::frmMain& main, const std::string& shape, const std::string& path, bool append)
{
    detail::Hourglass busy(main.cursor());
    auto& table = main.table();
    const auto& g = main.MSFlexGrid1;
    try {
        int lat = table.Column_Find("lat", false), lon = table.Column_Find("long", false);
        int ident = table.Column_Find("ident", false), comment = table.Column_Find("comment", false);
        int new_seg = table.Column_Find("new_seg", false), altitude = table.Column_Find("altitude", false);
        if (ident < 0)
            ident = 1;
        const std::string kind = vb::LCase(shape);
        const bool point = kind == "point";
        if (lat < 0 || lon < 0)
            throw VbError(111, "", "Could not find proper fields (lat,long)");
        if ((kind == "line" || kind == "polygon") && new_seg < 0)
            throw VbError(111, "", "Could not find proper field (new_seg)");
        if (!table.Selection_CheckValues(g, {lat, lon}, "number"))
            throw VbError(111, "", "Lat and Long fields must contain valid values.  Please set Lat and Long values "
                                   "and try again.");
        auto [first, last] = table.Selection_GetRange(g);

        std::string collected;
        std::vector<std::string> list;
        const size_t least = kind == "polygon" ? 3 : 2;
        CGPlacemark current(&main.dialogs());
        auto start = [&](int r) {
            current = CGPlacemark(&main.dialogs());
            if (comment >= 0)
                current.Set_Description(g.TextMatrix(r, comment));
            current.Set_Name(g.TextMatrix(r, ident));
        };
        // A segment too short for its shape is dropped without a word.
        auto flush = [&] {
            if (list.size() >= least) {
                current.Set_Coords({std::move(list)});
                collected += current.Get_KMLString(kind);
            }
            list.clear();
        };
        const std::string& type = main.state().record_type;
        int count = 0;
        for (int r = first; r <= last; ++r) {
            std::string alt = altitude >= 0 ? g.TextMatrix(r, altitude) : std::string();
            if (!vb::IsNumeric(alt))
                alt = "0";
            std::string coordinate = platform::plain_decimal(g.TextMatrix(r, lon)) + "," +
                                     platform::plain_decimal(g.TextMatrix(r, lat)) + "," + alt;
            if (point) {
                start(r);
                current.Set_Coords({{std::move(coordinate)}});
                collected += current.Get_KMLString(kind);
            } else {
                // The range's first row begins a segment whatever its new_seg
                // says, so a selection from the middle of a track is written.
                if (r == first || flxgrd::Table::Value_IsTrue(g.TextMatrix(r, new_seg))) {
                    flush();
                    start(r);
                }
                list.push_back(std::move(coordinate));
            }
            main.Set_Msg("Converting " + type + " Record " + std::to_string(++count) + " to " + shape + " KML File");
        }
        if (!point)
            flush();
        main.Set_Msg("");
        if (collected.empty())
            throw VbError(34, "", "No records saved to KML file");
        if (!detail::valid_utf8(collected))
            collected = detail::repair_utf8(collected);

        std::string document = append ? inserted(crlf_lines(detail::read_whole_file(path, kMaxKmlBytes)), collected)
                                       : CGPlacemark::Get_KMLHeader() + collected + CGPlacemark::Get_KMLFooter();
        document += "\r\n";
        detail::save_whole_file(path, document);
        return true;
    } catch (const VbError& e) {
        main.dialogs().MsgBox("Error " + std::to_string(e.number) + ": " + e.description, platform::vbCritical,
                              "KMLFile_Save");
    } catch (const std::bad_alloc&) {
        main.dialogs().MsgBox("Error 7: Out of memory", platform::vbCritical, "KMLFile_Save");
    }
    return false;
}

bool KMLFile_Load(app::frmMain& main, const std::string& shape, const std::string& path)
{
    detail::Hourglass busy(main.cursor());
    auto& table = main.table();
    try {
        if (!detail::file_exists(path))
            throw VbError(1, "", "Could not find file: " + path);
        // Read first: a file that cannot be read leaves the table as it was.
        // The text comes as UTF-8 with every line break a blank.
        const std::string text = detail::document_text(detail::read_whole_file(path, kMaxKmlBytes));

        const std::string kind = vb::LCase(shape);
        const std::string type = kind == "point" ? "waypoint" : "track";
        const std::string columns = detail::Table_BeginLoad(
            main, type, {"type", "ident", "long", "lat", "new_seg", "comment", "altitude"});

        const char* geometry = kind == "point" ? "point" : kind == "line" ? "linestring"
                             : kind == "polygon" ? "polygon" : "";
        const std::string upper = vb::UCase(type);
        const bool track = type == "track";
        bool full = false;
        std::string row;
        detail::Placemarks_Find(text, geometry, [&](std::string_view placemark) {
            CGPlacemark p(&main.dialogs());
            p.Define_FromKMLString(placemark);
            for (const auto& part : p.Get_Coords()) {
                bool first = true;
                for (const auto& c : part) {
                    if (c.find(',') == std::string::npos)
                        continue;
                    // longitude,latitude[,altitude]: no altitude loads as empty.
                    auto v = vb::Split(c, ",");
                    row = upper + '\t' + p.Get_Name() + '\t' + v[0] + '\t' + v[1] + '\t' + vb::CStr(track && first) +
                          '\t' + p.Get_Description() + '\t' + (v.size() > 2 ? v[2] : std::string());
                    first = false;
                    // A full table refuses the row once: the rows before stay.
                    if (!table.Records_Insert(row, columns, "", "\t", false)) {
                        full = true;
                        return false;
                    }
                }
            }
            return true;
        });
        main.coords().Project_Table(true);
        flxgrd::Time_CalculateLocal(table, main.state().time_zone, false);
        return !full;
    } catch (const VbError& e) {
        main.dialogs().MsgBox("Error Number: " + std::to_string(e.number) + ", " + e.description,
                              platform::vbExclamation, "FileIO.KMLFile_Load");
    } catch (const std::bad_alloc&) {
        main.dialogs().MsgBox("Error Number: 7, Out of memory", platform::vbExclamation, "FileIO.KMLFile_Load");
    }
    return false;
}

std::string MyPlaces_File()
{
    // The profile folder Google Earth was given (APPDATA) first; else
    // Google Earth for Linux's own folder under the home. With neither file
    // there, the first one names the file that is missing.
    std::string appdata_file;
    if (const char* a = std::getenv("APPDATA"); a && *a) {
        std::string folder = a;
        if (folder.back() == '/') folder.pop_back();
        appdata_file = folder + "/google/googleearth/myplaces.kml";
        struct stat st{};
        if (::stat(appdata_file.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return appdata_file;
    }
    std::string home;
    if (const char* h = std::getenv("HOME"); h && *h)
        home = h;
    else if (const passwd* pw = ::getpwuid(::getuid()))
        home = pw->pw_dir;
    if (!home.empty() && home.back() == '/')
        home.pop_back();
    const std::string home_file = home + "/.googleearth/myplaces.kml";
    struct stat st{};
    if (appdata_file.empty() || (::stat(home_file.c_str(), &st) == 0 && S_ISREG(st.st_mode))) return home_file;
    return appdata_file;
}

} // namespace files
