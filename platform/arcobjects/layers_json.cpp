// Data layers in the document's JSON form and in the dump.
#include "platform/arcobjects/document_json.h"
#include "platform/arcobjects/layers.h"
#include "platform/arcobjects/workspace.h"

#include "platform/automation/vb_error.h"

#include <filesystem>

namespace platform::arcobjects {

namespace {

VbError bad(const std::string& what) { return VbError(5, "Document", "The document " + what); }

std::string text_of(const Json& obj, const char* key, const std::string& fallback)
{
    if (!obj.contains(key)) return fallback;
    if (!obj[key].is_string()) throw bad(std::string("needs a text for \"") + key + "\"");
    return obj[key].get<std::string>();
}

std::vector<std::int64_t> oids_of(const Json& obj)
{
    std::vector<std::int64_t> out;
    if (!obj.contains("selected")) return out;
    if (!obj["selected"].is_array()) throw bad("needs an array of object ids for \"selected\"");
    for (const Json& id : obj["selected"]) {
        if (!id.is_number_integer()) throw bad("needs whole numbers as selected object ids");
        out.push_back(id.get<std::int64_t>());
    }
    return out;
}

// Depth of group layers a document may nest.
constexpr int kMaxGroupDepth = 32;

LayerRef layer_of(const Json& l, const std::string& folder, int depth)
{
    if (!l.is_object()) throw bad("needs an object for each layer");
    if (depth > kMaxGroupDepth) throw bad("nests group layers too deeply");
    const std::string type = text_of(l, "type", "feature");
    LayerRef out;
    if (type == "feature") {
        auto f = std::make_shared<FeatureLayer>();
        std::string data = text_of(l, "data", "");
        if (data.empty()) throw bad("needs \"data\" for each feature layer");
        if (data.front() != '/')
            data = std::filesystem::absolute(std::filesystem::path(folder.empty() ? "." : folder) / data)
                       .lexically_normal()
                       .string();
        try {
            f->FeatureClass = Open_Feature_Class(data);
        } catch (const VbError& e) {
            throw bad("has a feature layer on " + data + " that cannot be opened: " + e.description);
        }
        f->Name = f->FeatureClass->AliasName();
        f->HotlinkField = text_of(l, "hotlink_field", "");
        if (l.contains("hotlink_type")) {
            if (!l["hotlink_type"].is_number_integer()) throw bad("needs a whole number for \"hotlink_type\"");
            f->HotlinkType = l["hotlink_type"].get<int>();
        }
        f->SelectedOIDs = oids_of(l);
        out = f;
    } else if (type == "group") {
        auto g = std::make_shared<GroupLayer>();
        if (l.contains("layers")) {
            if (!l["layers"].is_array()) throw bad("needs an array of layers in a group layer");
            for (const Json& c : l["layers"]) g->Layers.push_back(layer_of(c, folder, depth + 1));
        }
        out = g;
    } else if (type == "raster") {
        auto r = std::make_shared<RasterLayer>();
        r->DataSourceName = text_of(l, "source", "");
        out = r;
    } else {
        throw bad("has a layer type that is not \"feature\", \"group\" or \"raster\"");
    }
    out->Name = text_of(l, "name", out->Name);
    return out;
}

const char* type_name(const Layer& l)
{
    if (dynamic_cast<const FeatureLayer*>(&l)) return "feature";
    if (dynamic_cast<const GroupLayer*>(&l)) return "group";
    return "raster";
}

} // namespace

void Load_Contents(Map& map, const Json& contents, const std::string& folder)
{
    if (contents.is_null()) return;
    if (!contents.is_array()) throw bad("needs an array of layers for \"contents\"");
    for (const Json& l : contents) map.Layers.push_back(layer_of(l, folder, 0));
}

void Load_Contents_Selection(MxDocument& doc, const Json& names)
{
    if (names.is_null()) return;
    if (!names.is_array()) throw bad("needs an array of layer names for \"selected_layers\"");
    doc.ContentsSelection.clear();
    for (const Json& n : names) {
        if (!n.is_string()) throw bad("needs layer names in \"selected_layers\"");
        LayerRef l = doc.FocusMap ? Find_Layer(*doc.FocusMap, n.get<std::string>()) : nullptr;
        if (!l) throw bad("selects no layer \"" + n.get<std::string>() + "\"");
        doc.ContentsSelection.push_back(l);
    }
}

Json Dump_Layer(const Layer& l)
{
    Json j = {{"type", type_name(l)}, {"name", l.Name}};
    if (const auto* f = dynamic_cast<const FeatureLayer*>(&l)) {
        j["data"] = f->DatasetName();
        if (const auto& fc = f->FeatureClass) {
            Json fields = Json::array();
            for (const Field& fd : fc->Fields()) {
                Json x = {{"name", fd.Name}, {"type", static_cast<int>(fd.Type)}};
                if (!fd.StoredName.empty() && fd.StoredName != fd.Name) x["stored"] = fd.StoredName;
                if (fd.Length) x["length"] = fd.Length;
                if (fd.Precision || fd.Scale) x["precision"] = fd.Precision, x["scale"] = fd.Scale;
                fields.push_back(x);
            }
            Json indexes = Json::array();
            for (const Index& i : fc->Indexes()) indexes.push_back({{"name", i.Name}, {"fields", i.Fields}});
            j["class"] = {{"name", fc->AliasName()}, {"shape_type", static_cast<int>(fc->ShapeType())},
                          {"feature_dataset", fc->FeatureDataset()}, {"count", fc->FeatureCount()},
                          {"fields", fields}, {"indexes", indexes}};
        } else {
            j["class"] = nullptr;
        }
        j["hotlink_field"] = f->HotlinkField;
        j["hotlink_type"] = f->HotlinkType;
        j["selected"] = f->SelectedOIDs;
    } else if (const auto* g = dynamic_cast<const GroupLayer*>(&l)) {
        Json layers = Json::array();
        for (const auto& c : g->Layers) layers.push_back(c ? Dump_Layer(*c) : Json());
        j["layers"] = layers;
    } else if (const auto* r = dynamic_cast<const RasterLayer*>(&l)) {
        j["source"] = r->DataSourceName;
    }
    return j;
}

} // namespace platform::arcobjects
