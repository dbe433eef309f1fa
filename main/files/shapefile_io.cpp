// The records table written to and read from shapefiles through the
// shapefile control (ShapeFiles1).
#include "main/app/frm_main.h"
#include "main/coords/coords.h"
#include "main/files/table_files.h"
#include "main/table/table.h"
#include "platform/automation/vb_error.h"
#include "platform/text/vb.h"
#include "platform/ui/cursor.h"
#include "platform/ui/dialogs.h"

#include <functional>

namespace files {

namespace vb = platform::vb;
using platform::ShapeFiles;
using platform::VbError;

int Shapefile_FieldIndex(const std::vector<ShapeFiles::Field>& fields, const std::string& name)
{
    const std::string stored = vb::UCase(Field_StoredName(name));
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (vb::UCase(Field_StoredName(fields[i].Name)) == stored) return int(i) + 1;
    return -1;
}

std::int32_t Shapefile_FieldType(const std::string& letter)
{
    const std::string l = vb::UCase(letter);
    return l == "N" ? 19 : l == "C" ? 10 : 0;
}

std::int32_t Shapefile_ShapeTypeCode(const std::string& shape)
{
    const std::string s = vb::LCase(shape);
    return s == "point" ? 1 : s == "line" ? 3 : s == "polygon" ? 5 : 0;
}

namespace {

bool point_type(std::int32_t code)
{
    return code == 1 || code == 8 || code == 11 || code == 18 || code == 21 || code == 28;
}

// The projection file beside the set, named as the set's own files are.
std::string prj_of(const std::string& path) { return ShapeFiles::SiblingName(path, ".prj"); }

} // namespace

// Shapes formed from rows: a row that starts a shape closes the one in
// progress; a shape too short to write is dropped with its vertices.
struct TableFiles::ShapeWriter {
    ShapeFiles& c;
    std::string shape; // lower case
    double first_x = 0, first_y = 0, last_x = 0, last_y = 0;

    void close()
    {
        const auto n = c.Vertices.size();
        if (shape == "line" && n >= 2) {
            c.WriteShape();
        } else if (shape == "polygon" && n >= 3) {
            if (first_x != last_x || first_y != last_y) c.Vertices_Add(first_x, first_y);
            c.PrepareRing(1, 0);
            c.WriteShape();
        }
        c.Vertices.clear();
    }
    // `attributes` sets the new shape's values.
    void row(bool starts, double x, double y, const std::function<void()>& attributes)
    {
        if (starts || shape == "point") {
            close();
            first_x = x, first_y = y;
            attributes();
        }
        c.Vertices_Add(x, y);
        last_x = x, last_y = y;
        if (shape == "point") c.WriteShape();
    }
};

bool TableFiles::control_free(const char* operation)
{
    if (!shapefiles_busy_) return true;
    main_.dialogs().MsgBox("Error 70: Permission denied", platform::vbCritical, operation);
    return false;
}

bool TableFiles::add_missing_fields(const std::vector<flxgrd::CatalogField>& entries)
{
    bool added = false;
    for (const auto& e : entries)
        if (Shapefile_FieldIndex(shapefiles_.Fields, e.name) < 0) {
            shapefiles_.Fields_Add(Field_StoredName(e.name), Shapefile_FieldType(e.type), std::to_string(e.width),
                                   std::to_string(e.decimals));
            added = true;
        }
    return added;
}

namespace {
// Holds the control for one operation; the pointer returns to normal.
// An operation that did not close the control keeps nothing it wrote.
struct Hold {
    bool& busy;
    ShapeFiles& control;
    platform::Cursor& cursor;
    Hold(bool& b, ShapeFiles& c, platform::Cursor& cur) : busy(b), control(c), cursor(cur) { busy = true; }
    ~Hold()
    {
        control.Abandon();
        control.Fields.clear(), control.Vertices.clear();
        busy = false;
        cursor.set_pointer(platform::vbDefault);
    }
};
} // namespace

void TableFiles::open_set(const std::string& path, bool append, std::int32_t code,
                          const std::vector<flxgrd::CatalogField>& entries)
{
    shapefiles_.Open(path, append ? 3 : 1, code);
    if (append && shapefiles_.ShapeType() != code)
        throw VbError(266, "FileIO.Shapefile_Save",
                      "Incoming shapes do not match existing shapefile's shape type.  Aborting.");
    if (add_missing_fields(entries)) append ? shapefiles_.AppendFields() : shapefiles_.CreateFields();
}

bool TableFiles::Shapefile_Save(const std::string& shape, bool projected, const std::string& path, bool append)
{
    if (!control_free("Shapefile_Save")) return false;
    Hold hold(shapefiles_busy_, shapefiles_, main_.cursor());
    try {
        flxgrd::Table& table = main_.table();
        const platform::Grid& g = main_.MSFlexGrid1;
        const std::string word = vb::LCase(shape);
        const int lat = table.Column_Find("lat", true), lon = table.Column_Find("long", true);
        const int y_proj = table.Column_Find("y_proj", true), x_proj = table.Column_Find("x_proj", true);
        const int seg = table.Column_Find("new_seg", true);
        if (lat < 0 || lon < 0) throw VbError(111, "", "Could not find proper fields (lat,long)");
        if ((word == "line" || word == "polygon") && seg < 0)
            throw VbError(111, "", "Could not find proper field (new_seg)");
        if (projected && !table.Selection_CheckValues(g, {y_proj, x_proj}, "number"))
            throw VbError(111, "", "Y_Proj and X_Proj fields must contain valid values.  Please set Y_Proj and "
                                   "X_Proj values and try again.");
        if (!projected && !table.Selection_CheckValues(g, {lat, lon}, "number"))
            throw VbError(111, "", "Lat and Long fields must contain valid values.  Please set Lat and Long values "
                                   "and try again.");
        const int xc = projected ? x_proj : lon, yc = projected ? y_proj : lat;
        const std::int32_t code = Shapefile_ShapeTypeCode(word);
        if (code == 0) {
            main_.Set_Msg("");
            main_.dialogs().MsgBox("No valid shapes created in shapefile", platform::vbExclamation);
            return false;
        }
        const auto entries = field_entries();
        const auto range = table.Selection_GetRange(g);
        open_set(path, append, code, entries);

        std::vector<std::pair<int, int>> attributes; // table column, field index from 1
        for (int c = 1; c < g.Cols(); ++c)
            if (g.ColWidth(c) != 0) attributes.emplace_back(c, Shapefile_FieldIndex(shapefiles_.Fields, g.TextMatrix(0, c)));
        ShapeWriter w{shapefiles_, word};
        int n = 0;
        for (int r = range[0]; r <= range[1] && r < g.Rows(); ++r) {
            if (g.TextMatrix(r, 0).empty() && g.Rows() == 2) continue;
            const bool starts = r == range[0] || (seg >= 0 && flxgrd::Table::Value_IsTrue(g.TextMatrix(r, seg)));
            w.row(starts, vb::CDbl(g.TextMatrix(r, xc)), vb::CDbl(g.TextMatrix(r, yc)), [&] {
                for (auto [c, f] : attributes)
                    if (f > 0) shapefiles_.Fields[std::size_t(f - 1)].Value = g.TextMatrix(r, c);
            });
            main_.Set_Msg("Converting " + main_.state().record_type + " Record " + std::to_string(++n) + " to " +
                          shape + " shapefile");
        }
        w.close();
        shapefiles_.FinishWrite();
        write_prj(prj_of(path), projected);
        main_.Set_Msg("");
        if (shapefiles_.RecordCount() < 1)
            main_.dialogs().MsgBox("No valid shapes created in shapefile", platform::vbExclamation);
        return true;
    } catch (const VbError& e) {
        main_.Set_Msg("");
        main_.dialogs().MsgBox("Error " + std::to_string(e.number) + ": " + e.description, platform::vbCritical,
                               "Shapefile_Save");
    }
    return false;
}

bool TableFiles::Shapefile_SaveFromArray(const std::string& shape, const std::vector<std::vector<std::string>>& data,
                                         const std::string& path, bool append, const std::string& ident,
                                         std::int32_t& counter)
{
    if (data.empty() || data[0].empty() || data[0][0].empty()) return false;
    if (!control_free("Shapefile_SaveFromArray")) return false;
    Hold hold(shapefiles_busy_, shapefiles_, main_.cursor());
    try {
        flxgrd::Table& table = main_.table();
        const std::string& type = main_.state().record_type;
        const std::string word = vb::LCase(shape);
        // Columns not there stay 0: the first column gives the coordinate.
        int xc = 0, yc = 0, seg = -1, id = -1;
        for (std::size_t c = 0; c < data.size(); ++c) {
            const std::string name = table.Field_GetName(data[c][0], type);
            if (!flxgrd::Catalog_Find(name)) throw VbError(5, "", "Invalid procedure call or argument");
            if (name == "x_proj") xc = int(c);
            if (name == "y_proj") yc = int(c);
            if (name == "new_seg") seg = int(c);
            if (name == "ident") id = int(c);
        }
        const std::int32_t code = Shapefile_ShapeTypeCode(word);
        if (code == 0) {
            main_.Set_Msg("");
            main_.dialogs().MsgBox("No valid shapes created in shapefile", platform::vbExclamation);
            return false;
        }
        open_set(path, append, code, field_entries());
        std::vector<int> fields;
        for (const auto& col : data) fields.push_back(Shapefile_FieldIndex(shapefiles_.Fields, col[0]));
        ShapeWriter w{shapefiles_, word};
        const std::size_t rows = data[0].size();
        for (std::size_t r = 1; r < rows; ++r) {
            auto cell = [&](int c) { return r < data[std::size_t(c)].size() ? data[std::size_t(c)][r] : std::string(); };
            const bool starts = r == 1 || (seg >= 0 && flxgrd::Table::Value_IsTrue(cell(seg)));
            w.row(starts, vb::CDbl(cell(xc)), vb::CDbl(cell(yc)), [&] {
                for (std::size_t c = 0; c < data.size(); ++c)
                    if (fields[c] > 0)
                        shapefiles_.Fields[std::size_t(fields[c] - 1)].Value =
                            int(c) == id && !ident.empty() ? ident : cell(int(c));
            });
            main_.Set_Msg("Converting " + type + " Record " + std::to_string(r) + " to " + shape + " shapefile");
        }
        w.close();
        shapefiles_.Close();
        counter = 0;
        write_prj(prj_of(path), true);
        main_.Set_Msg("");
        return true;
    } catch (const VbError& e) {
        main_.Set_Msg("");
        main_.dialogs().MsgBox("Error " + std::to_string(e.number) + ": " + e.description, platform::vbCritical,
                               "Shapefile_SaveFromArray");
    }
    return false;
}

bool TableFiles::Shapefile_NewEmpty(const std::string& shape, const std::string& path, bool append,
                                    std::int32_t& count)
{
    if (!control_free("Shapefile_NewEmpty")) return false;
    Hold hold(shapefiles_busy_, shapefiles_, main_.cursor());
    try {
        const std::int32_t code = Shapefile_ShapeTypeCode(shape);
        shapefiles_.Open(path, append ? 3 : 1, code);
        if (shapefiles_.ShapeType() != code)
            throw VbError(234, "FileIO.Shapefile_NewEmpty",
                          "You tried loading a shapefile whose shape type differs from the one specified on the "
                          "real time form.");
        if (add_missing_fields(field_entries())) append ? shapefiles_.AppendFields() : shapefiles_.CreateFields();
        count = shapefiles_.RecordCount();
        shapefiles_.FinishWrite();
        write_prj(prj_of(path), true);
        return true;
    } catch (const VbError& e) {
        main_.dialogs().MsgBox("Error " + std::to_string(e.number) + ": " + e.description, platform::vbCritical,
                               "Shapefile_NewEmpty");
    }
    return false;
}

bool TableFiles::Shapefile_Load(const std::string& path)
{
    if (!control_free("Shapefile_Load")) return false;
    Hold hold(shapefiles_busy_, shapefiles_, main_.cursor());
    try {
        flxgrd::Table& table = main_.table();
        table.Table_Clear();
        if (!main_.panel_open()) main_.cmdAdvanced_Click();
        main_.state().record_counter = 0;
        shapefiles_.ReadOption = true;
        shapefiles_.Open(path, 0);
        const bool points = point_type(shapefiles_.ShapeType());
        const std::string type = points ? "waypoint" : "track";
        set_record_type(type);
        std::vector<std::string> names;
        for (const auto& f : shapefiles_.Fields) names.push_back(f.Name);
        std::string columns = required_fields(names, "shp", type).first;
        if (columns.empty() && !names.empty()) return false;
        if (!columns.empty()) columns += ';';
        columns += std::to_string(table.Column_Find("y_proj", true)) + ";" +
                   std::to_string(table.Column_Find("x_proj", true)) + ";" + std::to_string(table.Column_Find("type", true));
        if (!points) columns += ";" + std::to_string(table.Column_Find("new_seg", true));
        const std::string kind = vb::UCase(type);
        for (std::int32_t k = 0; k < shapefiles_.RecordCount(); ++k) {
            if (k) shapefiles_.MoveNext();
            if (shapefiles_.Deleted()) continue;
            std::vector<std::string> values;
            for (const auto& f : shapefiles_.Fields) values.push_back(vb::Trim(f.Value));
            const std::size_t n = values.size();
            auto insert = [&](const ShapeFiles::Vertex& v, const char* seg) {
                values.resize(n);
                values.push_back(vb::Format(v.Y, "0.00000000"));
                values.push_back(vb::Format(v.X, "0.00000000"));
                values.push_back(kind);
                if (seg) values.push_back(seg);
                return table.Records_InsertValues(values, columns);
            };
            if (points) {
                for (const auto& v : shapefiles_.Vertices)
                    if (!insert(v, nullptr)) return false;
            } else {
                for (const auto& p : shapefiles_.Parts)
                    for (int i = p.FirstVertex; i <= p.LastVertex; ++i)
                        if (!insert(shapefiles_.Vertices[std::size_t(i - 1)], i == p.FirstVertex ? "True" : "False"))
                            return false;
            }
        }
        main_.coords().Project_Table(false);
        return true;
    } catch (const VbError& e) {
        main_.dialogs().MsgBox("Error " + std::to_string(e.number) + ": " + e.description, platform::vbCritical,
                               "Shapefile_Load");
    }
    return false;
}

void TableFiles::Graphics_Save(const std::string& shape, GraphicsTarget& target)
{
    try {
        flxgrd::Table& table = main_.table();
        const platform::Grid& g = main_.MSFlexGrid1;
        const int seg = table.Column_Find("new_seg", true);
        const int cols[4] = {table.Column_Find("lat", true), table.Column_Find("long", true),
                             table.Column_Find("y_proj", true), table.Column_Find("x_proj", true)};
        auto cell = [&](int r, int c) { return c < 0 ? std::string() : g.TextMatrix(r, c); };
        const auto range = table.Selection_GetRange(g);
        int n = 0;
        for (int r = range[0]; r <= range[1] && r < g.Rows(); ++r) {
            const bool starts = seg < 0 || r == range[0] || flxgrd::Table::Value_IsTrue(g.TextMatrix(r, seg));
            target.Graphics_SaveTo(shape, cell(r, cols[0]), cell(r, cols[1]), cell(r, cols[2]), cell(r, cols[3]),
                                   starts, r == range[1]);
            main_.Set_Msg("Converting " + main_.state().record_type + " Record " + std::to_string(++n) + " to " +
                          shape + " graphic");
        }
    } catch (const VbError& e) {
        main_.dialogs().MsgBox("Error " + std::to_string(e.number) + ": " + e.description, platform::vbCritical,
                               "Graphics_Save");
    }
}

} // namespace files
