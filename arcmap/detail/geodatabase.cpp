// clsArcMap: the records table written into an existing class of a file
// geodatabase, the layers on it, and the status bar.
#include "arcmap/detail/arcmap_object.h"

#include "platform/arcobjects/geometry_ops.h"
#include "platform/arcobjects/services.h"
#include "platform/arcobjects/workspace.h"
#include "platform/text/vb.h"

namespace trekfold_arcmap::detail {

namespace {

using platform::vb::LCase;

void error_box(const VbError& e, const std::string& suffix)
{
    basArcMapCode::Box(Source_Text(e, suffix), platform::vbOKOnly, "Error");
}

bool numeric_field(ao::FieldType t)
{
    return t == ao::esriFieldTypeSmallInteger || t == ao::esriFieldTypeInteger || t == ao::esriFieldTypeSingle ||
           t == ao::esriFieldTypeDouble;
}

// The value of table cell `text` for a field of type `type`: a text that is
// no number is 0 in a numeric field.
Variant field_value(const std::string& text, ao::FieldType type)
{
    if (!numeric_field(type)) return Variant(text);
    double value = 0.0;
    platform::vb::TryCDbl(text, value);
    return Variant(value);
}

} // namespace

void clsArcMap::Set_Status(const std::string& aString) { app().SetStatus(0, aString); }

std::string clsArcMap::Get_FieldName(const std::string& featType, const std::string& aName)
{
    for (const std::string& entry : platform::vb::Split(basArcMapCode::Field_Setting(featType, ""), ",")) {
        const std::vector<std::string> items = platform::vb::Split(entry, ":");
        if (items.size() >= 3 && platform::vb::SameLCase(items[2], aName)) return items[0];
    }
    return aName;
}

bool clsArcMap::FeatureClass_GetName(std::string& className, std::string& gdbPath, const std::string& shpType,
                                     std::int32_t parent)
{
    try {
        ao::HostServices* services = app().Services;
        if (!services) throw VbError(429, "Trekfold_ArcMap", "ActiveX component can't create object");
        ao::BrowseRequest r;
        r.title = "Save To Existing Feature Class";
        r.button_caption = "Save";
        r.start = gdbPath;
        const std::string kind = LCase(shpType);
        r.filter = kind == "point"  ? ao::GxFilterPointFeatureClasses
                   : kind == "line" ? ao::GxFilterPolylineFeatureClasses
                                    : ao::GxFilterPolygonFeatureClasses;
        r.parent = parent;
        std::optional<std::string> chosen = services->Browse(r);
        if (!chosen) return false;
        std::string path = *chosen;
        while (path.size() > 1 && path.back() == '/') path.pop_back();
        const auto slash = path.rfind('/');
        className = slash == std::string::npos ? path : path.substr(slash + 1);
        gdbPath = slash == std::string::npos ? std::string() : path.substr(0, slash);
        return true;
    } catch (const VbError& e) {
        basArcMapCode::Box(basArcMapCode::Error_Text(e, "CArcMap.FeatureClass_GetName"), platform::vbOKOnly);
        return false;
    }
}

ao::FeatureClassRef clsArcMap::FeatureClass_Open(const std::string& path, const std::string& className, int code,
                                                 const std::vector<Column>& columns)
{
    try {
        // The path is cut behind its last "mdb" or "gdb", so that a class
        // inside a feature dataset opens from the geodatabase itself.
        const std::string lower = LCase(path);
        auto cut = [&](const char* kind) -> std::optional<std::string> {
            const std::string dotted = std::string(".") + kind;
            const bool ends = lower.size() >= 3 && lower.compare(lower.size() - 3, 3, kind) == 0;
            if (!ends && lower.find(dotted) == std::string::npos) return std::nullopt;
            return path.substr(0, lower.rfind(kind) + 3);
        };
        ao::WorkspaceRef ws;
        if (auto mdb = cut("mdb")) ws = ao::AccessWorkspaceFactory::OpenFromFile(*mdb);
        else if (auto gdb = cut("gdb")) ws = ao::FileGDBWorkspaceFactory::OpenFromFile(*gdb);
        else throw VbError(45, "Opening Geodatabase - FeatureClass_Open", "Not a Personal or File Geodatabase");
        ao::FeatureClassRef fc = ws->OpenFeatureClass(className);
        if (int(fc->ShapeType()) != code)
            throw VbError(266, "FeatureClass_Open",
                          "Incoming shapes do not match existing feature class shape type.  Aborting.");
        for (const Column& c : columns) {
            if (fc->FindField(c.name) >= 0) continue;
            ao::Field f;
            f.Name = c.name;
            f.Type = c.type == "N" ? ao::esriFieldTypeDouble : ao::esriFieldTypeString;
            fc->AddField(f);
        }
        return fc;
    } catch (const VbError& e) {
        error_box(e, " -- CArcMap.FeatureClass_Open");
        return nullptr;
    }
}

std::string clsArcMap::FeatureLayer_GetDataSourceName(const ao::LayerRef& pLayer)
{
    try {
        auto fl = ao::As<ao::FeatureLayer>(platform::ObjectRef(pLayer));
        if (!fl) throw VbError(1, "FeatureLayer_GetDataSourceName", "This function only handles IFeatureLayer objects");
        return fl->DatasetName();
    } catch (const VbError& e) {
        error_box(e, "");
        return {};
    }
}

ao::LayerRef clsArcMap::FeatureLayer_Find(const std::string& aName)
{
    ao::LayerRef found;
    try {
        for (const ao::LayerRef& layer : ao::All_Layers(focus_map())) {
            std::optional<std::string> key;
            if (auto fl = ao::As<ao::FeatureLayer>(platform::ObjectRef(layer))) key = fl->DatasetName();
            else if (auto rl = ao::As<ao::RasterLayer>(platform::ObjectRef(layer))) key = rl->DataSourceName;
            if (key && platform::vb::SameLCase(*key, aName)) found = layer;
        }
    } catch (const VbError& e) {
        basArcMapCode::Box("Error # " + std::to_string(e.number) + " : " + e.description, platform::vbCritical,
                           "FeatureLayer_Find");
    }
    if (basArcMapCode::Application()) basArcMapCode::Application()->MousePointer = 0;
    return found;
}

bool clsArcMap::FeatureLayer_Add(const ao::FeatureLayerRef& layer)
{
    try {
        const std::string name = FeatureLayer_GetDataSourceName(layer);
        if (name.empty()) return false;
        if (ao::LayerRef there = FeatureLayer_Find(name)) {
            // Redrawn on the class just opened: the data behind the name may
            // have been saved anew by another program since the layer came.
            auto shown = ao::As<ao::FeatureLayer>(platform::ObjectRef(there));
            if (shown && layer->FeatureClass) shown->FeatureClass = layer->FeatureClass;
            active_view().PartialRefresh(ao::esriViewGeography, there, ao::Envelope());
            return true;
        }
        if (layer->FeatureClass && layer->FeatureClass->FindField("filename") >= 0) {
            layer->HotlinkField = "filename";
            layer->HotlinkType = 0;
        }
        focus_map().AddLayer(layer);
        return true;
    } catch (const VbError& e) {
        error_box(e, " -- CArcMap.FeatureLayer_Add");
        return false;
    }
}

bool clsArcMap::Save_ToGeodatabase(Variant& dataArr, const Variant& fldDefColl, const std::string& featType,
                                   const std::string& shpType)
{
    bool saved = false;
    try {
        const std::string kind = LCase(shpType);
        const int code = kind == "point" ? 1 : kind == "line" ? 3 : 4;
        const bool polygon = code == 4;

        std::string className, path;
        if (!FeatureClass_GetName(className, path, shpType, app().WindowHandle)) return false;
        if (path.empty()) throw VbError(5, "Save_ToGeodatabase", "No Geodatabase Specified");

        const platform::VariantArray& data = dataArr.ToArray();
        const std::int32_t cols = data.UBound(1), rows = data.UBound(2);
        std::int32_t x_col = 0, y_col = 0, seg_col = 0;
        std::vector<Column> columns;
        columns.reserve(std::size_t(cols + 1));
        const platform::ObjectRef catalogue = fldDefColl.ToObject();
        if (!catalogue) throw no_object();
        for (std::int32_t i = 0; i <= cols; ++i) {
            const std::string header = data.at(i, 0).ToString();
            const std::string field = Get_FieldName(featType, header);
            if (field == "x_proj") x_col = i;
            if (field == "y_proj") y_col = i;
            if (field == "new_seg") seg_col = i;
            const Variant item = platform::CallByName(*catalogue, "Item", {Variant(field)});
            const platform::VariantArray& def = item.ToArray();
            columns.push_back({header, def.at(def.LBound() + 1).ToString()});
        }

        app().MousePointer = 11;
        ao::FeatureClassRef fc = FeatureClass_Open(path, className, code, columns);
        if (!fc) {
            app().MousePointer = 0;
            return false;
        }
        std::vector<int> field_of(columns.size());
        std::vector<ao::FieldType> type_of(columns.size());
        for (std::size_t k = 0; k < columns.size(); ++k) {
            field_of[k] = fc->FindField(columns[k].name);
            if (field_of[k] >= 0) type_of[k] = fc->Fields().at(std::size_t(field_of[k])).Type;
        }

        std::unique_ptr<ao::InsertCursor> cursor = fc->Insert(true);
        ao::FeatureRef buffer = cursor->CreateFeatureBuffer();
        const ao::GeometryType shape_type = polygon ? ao::GeometryType::Polygon : ao::GeometryType::Polyline;
        auto fresh = [&] {
            auto g = ao::Geometry::Make(shape_type);
            g->parts.emplace_back();
            return g;
        };
        ao::GeometryRef current = fresh();
        // A line needs two vertices, a polygon three, to be written.
        const std::size_t enough = polygon ? 3 : 2;
        auto insert_current = [&] {
            if (current->PointCount() >= enough) {
                if (polygon) {
                    auto& ring = current->parts.at(0);
                    if (!(ring.back() == ring.front())) ring.push_back(ring.front());
                    ao::Simplify_Preserve_From_To(*current);
                    if (ao::Exterior_Ring_Count(*current) == 0) ao::Reverse_Orientation(*current);
                }
                buffer->Shape = current;
                cursor->InsertFeature(*buffer);
            }
            // A shape too small to be written is dropped: the next shape
            // starts afresh rather than taking its vertices.
            current = fresh();
        };

        std::int16_t counter = 0;
        const std::string total = std::to_string(rows);
        for (std::int32_t j = 1; j <= rows; ++j) {
            const bool starts = code == 1 || LCase(data.at(seg_col, j).ToString()) == "true";
            if (starts) {
                Set_Status("Loading record " + std::to_string(j) + " of " + total);
                if (code != 1) insert_current();
                for (std::int32_t k = 0; k <= cols; ++k)
                    buffer->set_Value(field_of[std::size_t(k)],
                                      field_value(data.at(k, j).ToString(), type_of[std::size_t(k)]));
                if (counter == INT16_MAX) throw VbError(6, "Trekfold_ArcMap", "Overflow");
                ++counter;
                Set_Status("Saving Point " + std::to_string(j) + " to " + shpType + " " + std::to_string(counter));
            }
            const ao::XY p{data.at(x_col, j).ToDouble(), data.at(y_col, j).ToDouble()};
            if (code == 1) {
                buffer->Shape = ao::Geometry::MakePoint(p.x, p.y);
                cursor->InsertFeature(*buffer);
            } else {
                current->parts.at(0).push_back(p);
            }
        }
        if (code != 1) insert_current();
        cursor->Flush();
        cursor.reset();
        if (basArcMapCode::Field_Setting("track_area", "0") == "1") Calculate_AcresMiles(fc);

        auto layer = std::make_shared<ao::FeatureLayer>();
        layer->FeatureClass = fc;
        layer->Name = className;
        FeatureLayer_Add(layer);
        Set_Status("Saved " + std::to_string(counter) + " shapes successfully to " + path + "/" + className);
        saved = true;
    } catch (const VbError& e) {
        error_box(e, " -- Trekfold_Arcmap.Save_ToGeodatabase");
    }
    if (basArcMapCode::Application()) basArcMapCode::Application()->MousePointer = 0;
    return saved;
}

} // namespace trekfold_arcmap::detail
