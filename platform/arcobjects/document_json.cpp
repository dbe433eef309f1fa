#include "platform/arcobjects/document_json.h"
#include "platform/arcobjects/layers.h"

#include "platform/automation/vb_error.h"

#include <cerrno>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace platform::arcobjects {

namespace {

VbError bad(const std::string& what) { return VbError(5, "Document", "The document " + what); }

double number(const Json& v, const char* what)
{
    if (!v.is_number()) throw bad(std::string("needs a number for ") + what);
    const double d = v.get<double>();
    if (!std::isfinite(d)) throw bad(std::string("has no finite number for ") + what);
    return d;
}

// A key's value of an object, or the default when the key is absent.
const Json* member(const Json& obj, const char* key)
{
    if (!obj.is_object()) throw bad(std::string("needs an object where \"") + key + "\" is looked for");
    auto it = obj.find(key);
    return it == obj.end() ? nullptr : &*it;
}

double num_or(const Json& obj, const char* key, double fallback)
{
    const Json* v = member(obj, key);
    return v ? number(*v, key) : fallback;
}

int int_or(const Json& obj, const char* key, int fallback, int lo = -1000000000, int hi = 1000000000)
{
    const Json* v = member(obj, key);
    if (!v) return fallback;
    const double d = number(*v, key);
    if (d < lo || d > hi || d != std::floor(d)) throw bad(std::string("has \"") + key + "\" out of range");
    return static_cast<int>(d);
}

std::string text_or(const Json& obj, const char* key, const std::string& fallback)
{
    const Json* v = member(obj, key);
    if (!v) return fallback;
    if (!v->is_string()) throw bad(std::string("needs a text for \"") + key + "\"");
    return v->get<std::string>();
}

bool bool_or(const Json& obj, const char* key, bool fallback)
{
    const Json* v = member(obj, key);
    if (!v) return fallback;
    if (!v->is_boolean()) throw bad(std::string("needs true or false for \"") + key + "\"");
    return v->get<bool>();
}

Json json_or(const Json& obj, const char* key)
{
    const Json* v = member(obj, key);
    return v ? *v : Json();
}

XY xy_of(const Json& v)
{
    if (!v.is_array() || v.size() < 2) throw bad("needs [x, y] pairs");
    return {number(v[0], "x"), number(v[1], "y")};
}

std::vector<XY> path_of(const Json& v)
{
    if (!v.is_array()) throw bad("needs an array of [x, y] pairs");
    std::vector<XY> out;
    out.reserve(v.size());
    for (const Json& p : v) out.push_back(xy_of(p));
    return out;
}

Envelope envelope_of(const Json& v)
{
    if (!v.is_array() || v.size() != 4) throw bad("needs an envelope as [x1, y1, x2, y2]");
    return Envelope::Of(number(v[0], "x1"), number(v[1], "y1"), number(v[2], "x2"), number(v[3], "y2"));
}

RgbColor color_of(const Json& v, int transparency = 255)
{
    RgbColor c;
    c.transparency = transparency;
    if (v.is_null()) return c;
    if (!v.is_array() || v.size() != 3) throw bad("needs a colour as [r, g, b]");
    auto channel = [&](const Json& x, const char* what) {
        const double d = number(x, what);
        if (d < 0 || d > 255) throw bad(std::string("has a colour's ") + what + " outside 0 to 255");
        return static_cast<int>(d);
    };
    c.red = channel(v[0], "red");
    c.green = channel(v[1], "green");
    c.blue = channel(v[2], "blue");
    return c;
}

Json color_json(const RgbColor& c) { return Json::array({c.red, c.green, c.blue}); }

ElementRef element_of(const Json& v)
{
    if (!v.is_object()) throw bad("needs an object for each element");
    const std::string type = text_or(v, "type", "");
    ElementType t;
    if (type == "marker") t = ElementType::Marker;
    else if (type == "line") t = ElementType::Line;
    else if (type == "polygon") t = ElementType::Polygon;
    else if (type == "rectangle") t = ElementType::Rectangle;
    else throw bad("has an element of unknown type \"" + type + "\"");
    auto e = std::make_shared<Element>(t);
    if (const Json* g = member(v, "geometry")) e->Geometry = Geometry_Of(*g);
    if (const Json* sym = member(v, "symbol")) {
        const Json& s = *sym;
        e->marker.clsid = text_or(s, "clsid", CLSID_SimpleMarkerSymbol);
        e->marker.style = int_or(s, "style", 0);
        e->marker.color = color_of(json_or(s, "color"), int_or(s, "transparency", 255, 0, 255));
        e->marker.size = num_or(s, "size", 8.0);
        e->marker.angle = num_or(s, "angle", 0.0);
    }
    if (const Json* c = member(v, "color")) e->line.color = color_of(*c, int_or(v, "transparency", 255, 0, 255));
    e->line.width = num_or(v, "width", 1.0);
    if (const Json* f = member(v, "fill"))
        e->fill.color = color_of(json_or(*f, "color"), int_or(*f, "transparency", 255, 0, 255));
    if (const Json* o = member(v, "outline")) {
        e->fill.outline.color = color_of(json_or(*o, "color"), int_or(*o, "transparency", 255, 0, 255));
        e->fill.outline.width = num_or(*o, "width", 1.0);
    }
    return e;
}

void elements_into(GraphicsLayer& layer, const Json& list)
{
    if (list.is_null()) return;
    if (!list.is_array()) throw bad("needs an array of graphics");
    for (const Json& e : list) layer.AddElement(element_of(e), -1);
}

const char* kind_name(SpatialReferenceKind k)
{
    switch (k) {
    case SpatialReferenceKind::Geographic: return "geographic";
    case SpatialReferenceKind::Projected: return "projected";
    default: return "unknown";
    }
}

Json layer_json(const GraphicsLayer& layer)
{
    Json elements = Json::array(), selected = Json::array();
    for (const auto& e : layer.Elements()) elements.push_back(Dump_Element(*e));
    for (const auto& s : layer.SelectedElements())
        for (std::size_t i = 0; i < layer.Elements().size(); ++i)
            if (layer.Elements()[i] == s) selected.push_back(i);
    return {{"name", layer.Name}, {"elements", elements}, {"selected", selected}};
}

Json envelope_json(const Envelope& e)
{
    if (e.empty) return nullptr;
    return Json::array({e.XMin, e.YMin, e.XMax, e.YMax});
}

Json item_json(const CommandItem& item)
{
    Json j = {{"progid", item.progid}, {"group", item.group}};
    if (!item.error.empty()) j["error"] = item.error;
    if (item.command) {
        ICommand& c = *item.command;
        j["command"] = {{"enabled", c.Enabled()},   {"checked", c.Checked()},
                        {"name", c.Name()},         {"caption", c.Caption()},
                        {"tooltip", c.Tooltip()},   {"message", c.Message()},
                        {"help_file", c.HelpFile()}, {"help_context_id", c.HelpContextID()},
                        {"bitmap", c.Bitmap()},     {"category", c.Category()}};
    }
    if (item.menu) {
        j["menu"] = {{"name", item.menu->Name()}, {"caption", item.menu->Caption()}};
        Json items = Json::array();
        for (const auto& i : item.items) items.push_back(item_json(i));
        j["items"] = items;
    }
    return j;
}

} // namespace

SpatialReferenceRef Spatial_Reference_Of(const Json& v, const std::string& folder)
{
    if (v.is_null()) return nullptr;
    if (v.is_number_integer()) {
        const auto code = v.get<long long>();
        if (code < 0 || code > 999999999) throw bad("has a bad code " + std::to_string(code));
        return SpatialReference::FromCode(static_cast<int>(code));
    }
    if (!v.is_string()) throw bad("needs a code, a text, a .prj path, \"unknown\" or null as spatial reference");
    const std::string s = v.get<std::string>();
    std::string lower = s;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "unknown") return SpatialReference::MakeUnknown();
    if (lower.rfind("epsg:", 0) == 0) {
        const std::string code = s.substr(5);
        if (code.empty() || code.find_first_not_of("0123456789") != std::string::npos || code.size() > 9)
            throw bad("has a bad code \"" + s + "\"");
        return SpatialReference::FromCode(std::stoi(code));
    }
    if (s.find('[') != std::string::npos) return SpatialReference::FromText(s);
    std::filesystem::path p(s);
    if (p.is_relative() && !folder.empty()) p = std::filesystem::path(folder) / p;
    return SpatialReference::FromFile(p.string());
}

GeometryRef Geometry_Of(const Json& v)
{
    if (!v.is_object() || v.size() != 1) throw bad("needs a geometry as {\"point\": ...} and the like");
    const auto first = v.begin();
    const std::string key = first.key();
    const Json& value = first.value();
    if (key == "point") {
        const XY p = xy_of(value);
        return Geometry::MakePoint(p.x, p.y);
    }
    if (key == "envelope") return Geometry::MakeEnvelope(envelope_of(value));
    GeometryRef g;
    if (key == "multipoint") {
        g = Geometry::Make(GeometryType::Multipoint);
        g->parts.push_back(path_of(value));
        return g;
    }
    if (key == "polyline") g = Geometry::Make(GeometryType::Polyline);
    else if (key == "polygon") g = Geometry::Make(GeometryType::Polygon);
    else throw bad("has a geometry of unknown kind \"" + key + "\"");
    if (!value.is_array()) throw bad("needs the parts of a " + key + " as an array");
    for (const Json& part : value) g->parts.push_back(path_of(part));
    return g;
}

void Load_Document(MxApplication& app, const Json& doc, const std::string& folder)
{
    if (!doc.is_object()) throw bad("is not a JSON object");
    MxDocument& d = *app.Document();
    d.Title = text_or(doc, "title", d.Title);
    const std::string view = text_or(doc, "view", "data");
    if (view != "data" && view != "layout") throw bad("has a view that is neither \"data\" nor \"layout\"");
    d.layout = view == "layout";
    if (doc.contains("rotation")) app.Rotation = number(doc["rotation"], "rotation");
    const bool refresh_flag = bool_or(doc, "refresh_flag", false);
    if (doc.contains("maps")) {
        const Json& maps = doc["maps"];
        if (!maps.is_array() || maps.empty()) throw bad("needs a non-empty array of maps");
        std::vector<MapRef> made;
        for (const Json& m : maps) {
            if (!m.is_object()) throw bad("needs an object for each map");
            auto map = std::make_shared<Map>();
            map->Name = text_or(m, "name", map->Name);
            if (m.contains("spatial_reference")) map->SpatialReference = Spatial_Reference_Of(m["spatial_reference"], folder);
            if (m.contains("extent")) map->View()->Extent = envelope_of(m["extent"]);
            elements_into(*map->BasicGraphicsLayer(), json_or(m, "graphics"));
            if (m.contains("layers")) {
                if (!m["layers"].is_array()) throw bad("needs an array of graphics layers");
                for (const Json& l : m["layers"]) {
                    if (!l.is_object() || !l.contains("name") || !l["name"].is_string())
                        throw bad("needs a name for each graphics layer");
                    auto layer = map->BasicGraphicsLayer()->AddLayer(l["name"].get<std::string>());
                    elements_into(*layer, json_or(l, "graphics"));
                }
            }
            if (m.contains("active_graphics_layer")) {
                const std::string name = text_or(m, "active_graphics_layer", "");
                try {
                    map->ActiveGraphicsLayer = map->BasicGraphicsLayer()->FindLayer(name);
                } catch (const VbError&) {
                    throw bad("names no graphics layer \"" + name + "\" as the active one");
                }
            }
            Load_Contents(*map, json_or(m, "contents"), folder);
            made.push_back(map);
        }
        const int focus = int_or(doc, "focus_map", 0);
        if (focus < 0 || static_cast<std::size_t>(focus) >= made.size()) throw bad("has a focus map out of range");
        d.Maps = std::move(made);
        d.FocusMap = d.Maps[static_cast<std::size_t>(focus)];
    }
    Load_Contents_Selection(d, json_or(doc, "selected_layers"));
    for (const auto& m : d.Maps) m->View()->RefreshFlag = refresh_flag;
    d.PageLayout->RefreshFlag = refresh_flag;
}

void Load_Document(MxApplication& app, const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw FileError(errno ? errno : ENOENT, "Document");
    std::ostringstream s;
    s << in.rdbuf();
    Json doc = Json::parse(s.str(), nullptr, false);
    if (doc.is_discarded()) throw bad(path + " is not JSON");
    Load_Document(app, doc, std::filesystem::path(path).parent_path().string());
}

Json Dump_Geometry(const Geometry& g)
{
    auto pair = [](XY p) { return Json::array({p.x, p.y}); };
    auto path = [&](const std::vector<XY>& part) {
        Json a = Json::array();
        for (XY p : part) a.push_back(pair(p));
        return a;
    };
    switch (g.Type()) {
    case GeometryType::Point: return {{"point", g.IsEmpty() ? Json() : pair(g.Point())}};
    case GeometryType::Envelope: return {{"envelope", envelope_json(g.Extent())}};
    case GeometryType::Multipoint: return {{"multipoint", g.parts.empty() ? Json::array() : path(g.parts.front())}};
    default: {
        if (g.Circle)
            return {{"circle", {{"center", pair(g.Circle->center)}, {"radius", g.Circle->radius}}}};
        Json parts = Json::array();
        for (const auto& p : g.parts) parts.push_back(path(p));
        return {{g.Kind(), parts}};
    }
    }
}

Json Dump_Element(const Element& e)
{
    static const char* const types[] = {"marker", "line", "polygon", "rectangle"};
    Json j = {{"type", types[static_cast<int>(e.Type())]}, {"geometry", e.Geometry ? Dump_Geometry(*e.Geometry) : Json()}};
    switch (e.Type()) {
    case ElementType::Marker:
        j["symbol"] = {{"clsid", e.marker.clsid}, {"style", e.marker.style}, {"color", color_json(e.marker.color)},
                       {"transparency", e.marker.color.transparency}, {"size", e.marker.size}, {"angle", e.marker.angle}};
        break;
    case ElementType::Line:
        j["color"] = color_json(e.line.color);
        j["transparency"] = e.line.color.transparency;
        j["width"] = e.line.width;
        break;
    default:
        j["fill"] = {{"color", color_json(e.fill.color)}, {"transparency", e.fill.color.transparency}};
        j["outline"] = {{"color", color_json(e.fill.outline.color)},
                        {"transparency", e.fill.outline.color.transparency},
                        {"width", e.fill.outline.width}};
    }
    return j;
}

Json Dump_Redraw(const Redraw& r)
{
    if (r.whole) return {{"whole", true}};
    Json j = {{"whole", false}, {"phase", r.phase}};
    auto element = As<Element>(r.what);
    j["what"] = element ? Json(element->Kind()) : r.what ? Json("object") : Json();
    j["area"] = envelope_json(r.area);
    return j;
}

Json Dump(MxApplication& app)
{
    MxDocument& d = *app.Document();
    Json maps = Json::array();
    int focus = 0;
    for (std::size_t i = 0; i < d.Maps.size(); ++i) {
        const Map& m = *d.Maps[i];
        if (d.Maps[i] == d.FocusMap) focus = static_cast<int>(i);
        Json sr;
        if (m.SpatialReference) {
            const SpatialReference& s = *m.SpatialReference;
            sr = {{"name", s.Name()}, {"kind", kind_name(s.Type())}, {"code", s.FactoryCode()},
                  {"unit", s.Unit() ? Json{{"name", s.Unit()->name}, {"meters", s.Unit()->meters}} : Json()}};
        }
        Json layers = Json::array();
        for (const auto& l : m.BasicGraphicsLayer()->Layers()) layers.push_back(layer_json(*l));
        Json contents = Json::array();
        for (const auto& l : m.Layers) contents.push_back(l ? Dump_Layer(*l) : Json());
        maps.push_back({{"name", m.Name},
                        {"spatial_reference", sr},
                        {"extent", envelope_json(m.View()->Extent)},
                        {"graphics", layer_json(*m.BasicGraphicsLayer())},
                        {"layers", layers},
                        {"active_graphics_layer", m.ActiveGraphicsLayer ? Json(m.ActiveGraphicsLayer->Name) : Json()},
                        {"redraws", m.View()->Redraws().size()},
                        {"contents", contents}});
    }
    Json selected = Json::array();
    for (const auto& l : d.ContentsSelection) selected.push_back(l ? Json(l->Name) : Json());
    Json bars = Json::array();
    for (const auto& b : d.CommandBars().Bars()) {
        Json items = Json::array();
        for (const auto& i : b->Items()) items.push_back(item_json(i));
        bars.push_back({{"clsid", b->ClassId()}, {"name", b->Name()}, {"caption", b->Caption()},
                        {"visible", b->IsVisible()}, {"dock", b->DockFlags()}, {"items", items}});
    }
    return {{"application",
             {{"hwnd", app.WindowHandle}, {"caption", app.Caption}, {"status", app.StatusBar},
              {"mouse_pointer", app.MousePointer}, {"rotation", app.Rotation}}},
            {"document",
             {{"title", d.Title}, {"view", d.layout ? "layout" : "data"}, {"refresh_flag", d.ActiveView()->RefreshFlag},
              {"focus_map", focus}, {"maps", maps}, {"selected_layers", selected},
              {"selected_layer", Selected_Layer(d) ? Json(Selected_Layer(d)->Name) : Json()}}},
            {"toolbars", bars}};
}

} // namespace platform::arcobjects
