// Layers of a map and the table of contents' selection.
//
//   FeatureLayer  a feature class shown: its name, the class's dataset name,
//                 a hotlink field and type, the selected object ids
//   GroupLayer    layers of its own
//   RasterLayer   the other kind: a data source name only
// A map holds its layers in table order (Map::Layers); the document holds
// the contents selection, and its selected layer is Nothing unless exactly
// one layer is selected.
#pragma once

#include "platform/arcobjects/application.h"
#include "platform/arcobjects/features.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform::arcobjects {

class Layer : public Object {
public:
    static constexpr const char* IID = "arcobjects.ILayer";
    std::string Name;
    bool Visible = true;
    void* QueryInterface(std::string_view iid) override;
};

class FeatureLayer : public Layer {
public:
    static constexpr const char* IID = "arcobjects.IFeatureLayer";

    FeatureClassRef FeatureClass;
    // The class's dataset name ("" without a class).
    std::string DatasetName() const;
    std::string HotlinkField;
    int HotlinkType = 0;
    // The selection set: object ids, in selection order.
    std::vector<std::int64_t> SelectedOIDs;

    std::string Kind() const override { return "feature_layer"; }
    void* QueryInterface(std::string_view iid) override;
};

class GroupLayer : public Layer {
public:
    static constexpr const char* IID = "arcobjects.IGroupLayer";
    std::vector<LayerRef> Layers;
    std::string Kind() const override { return "group_layer"; }
    void* QueryInterface(std::string_view iid) override;
};

class RasterLayer : public Layer {
public:
    static constexpr const char* IID = "arcobjects.IRasterLayer";
    std::string DataSourceName;
    std::string Kind() const override { return "raster_layer"; }
    void* QueryInterface(std::string_view iid) override;
};

using FeatureLayerRef = std::shared_ptr<FeatureLayer>;

// Every layer of the map, group layers and their layers included, in table
// order (a group before its layers).
std::vector<LayerRef> All_Layers(const Map& map);
// The first layer of that name (exact case) anywhere in the map, or null.
LayerRef Find_Layer(const Map& map, const std::string& name);
// The document's selected layer: the one selected item, else null.
LayerRef Selected_Layer(const MxDocument& doc);

} // namespace platform::arcobjects
