// The map host's document in our own JSON form, read from a file, and the
// whole state of an application written as JSON (maphost's dump).
//
// Document form (every key optional):
//   {"title": "Untitled",
//    "view": "data" | "layout",          the active view
//    "refresh_flag": false,              the refresh interface's first Boolean
//    "rotation": 0,                      the display transformation's rotation
//    "focus_map": 0,                     index into "maps"
//    "maps": [{"name": "Layers",
//              "spatial_reference": 26915 | "EPSG:26915" | "<WKT>" | "file.prj" | "unknown" | null,
//              "extent": [x1, y1, x2, y2],
//              "graphics": [ELEMENT...],  on the basic graphics layer
//              "layers": [{"name": N, "graphics": [ELEMENT...]}],   its sub-layers
//              "active_graphics_layer": N,
//              "contents": [LAYER...]}],          data layers, the top one first
//    "selected_layers": [NAME...]}            the contents selection (in the focus map)
//   LAYER: {"type": "feature", "name", "data": the class's full path (".../roads.shp",
//            ".../f.gdb/Tracks"), "hotlink_field", "hotlink_type", "selected": [OID...]}
//          | {"type": "group", "name", "layers": [LAYER...]} | {"type": "raster", "name", "source"}
//   ELEMENT: {"type": "marker"|"line"|"polygon"|"rectangle", "geometry": GEOMETRY,
//             "symbol": {"clsid", "style", "color": [r,g,b], "size", "angle"}       marker
//             "color": [r,g,b], "width"                                               line
//             "fill": {"color": [r,g,b], "transparency"}, "outline": {"color", "transparency", "width"}}
//   GEOMETRY: {"point": [x,y]} | {"multipoint": [[x,y]...]} | {"polyline": [[[x,y]...]...]}
//             | {"polygon": [[[x,y]...]...]} | {"envelope": [x1,y1,x2,y2]}
// A .prj path is taken relative to the document's folder.
#pragma once

#include "platform/arcobjects/application.h"

#include <nlohmann/json.hpp>

#include <string>

namespace platform::arcobjects {

using Json = nlohmann::ordered_json;

// Reads the document into the application's document (its maps replaced).
// Throws VbError 5 with a description naming the fault for a document
// that does not fit the form, and the file error for a file not read.
void Load_Document(MxApplication& app, const std::string& path);
void Load_Document(MxApplication& app, const Json& doc, const std::string& folder);

SpatialReferenceRef Spatial_Reference_Of(const Json& value, const std::string& folder);
GeometryRef Geometry_Of(const Json& value);

// The dump:
//   {"application": {"hwnd", "caption", "status": [PANE...], "mouse_pointer", "rotation"},
//    "document": {"title", "view", "refresh_flag", "focus_map", "maps": [MAP...]},
//    "toolbars": [{"clsid", "name", "caption", "visible", "dock", "items": [ITEM...]}]}
//   MAP: {"name", "spatial_reference": null | {"name", "kind", "code", "unit": null | {"name", "meters"}},
//         "extent": [x1,y1,x2,y2] | null, "graphics": LAYER, "layers": [LAYER...],
//         "active_graphics_layer": NAME, "redraws": N, "contents": [LAYER...]}
//   the document also "selected_layers": [NAME...], "selected_layer": NAME | null
//   LAYER: {"name", "elements": [ELEMENT...], "selected": [INDEX...]}
//   ITEM: {"progid", "group", "error"?, "command"?: {"enabled", "checked", "name", "caption",
//          "tooltip", "message", "help_file", "help_context_id", "bitmap", "category"},
//          "menu"?: {"name", "caption"}, "items"?: [ITEM...]}
Json Dump(MxApplication& app);
// Data layers: a map's "contents", the document's "selected_layers".
void Load_Contents(Map& map, const Json& contents, const std::string& folder);
void Load_Contents_Selection(MxDocument& doc, const Json& names);
//   LAYER in the dump: {"type", "name", feature: "data", "class": null | {"name", "shape_type",
//          "feature_dataset", "count", "fields": [{"name", "type", "stored"?, "length"?,
//          "precision"?, "scale"?}], "indexes": [{"name", "fields"}]}, "hotlink_field",
//          "hotlink_type", "selected"; group: "layers"; raster: "source"}
Json Dump_Layer(const Layer& layer);
Json Dump_Geometry(const Geometry& g);
Json Dump_Element(const Element& e);
Json Dump_Redraw(const Redraw& r);

} // namespace platform::arcobjects
