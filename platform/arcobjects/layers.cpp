#include "platform/arcobjects/layers.h"

#include "platform/arcobjects/services.h"
#include "platform/automation/vb_error.h"

namespace platform::arcobjects {

void* Layer::QueryInterface(std::string_view iid) { return iid == Layer::IID ? this : nullptr; }

std::string FeatureLayer::DatasetName() const { return FeatureClass ? FeatureClass->DatasetName() : std::string(); }

void* FeatureLayer::QueryInterface(std::string_view iid)
{
    return iid == FeatureLayer::IID ? this : Layer::QueryInterface(iid);
}

void* GroupLayer::QueryInterface(std::string_view iid)
{
    return iid == GroupLayer::IID ? this : Layer::QueryInterface(iid);
}

void* RasterLayer::QueryInterface(std::string_view iid)
{
    return iid == RasterLayer::IID ? this : Layer::QueryInterface(iid);
}

void Map::AddLayer(LayerRef layer)
{
    if (!layer) throw VbError(91, "", "Object variable or With block variable not set");
    Layers.insert(Layers.begin(), std::move(layer));
}

std::vector<LayerRef> All_Layers(const Map& map)
{
    std::vector<LayerRef> out;
    // Depth first, a group before its layers; kept on an explicit stack.
    std::vector<std::pair<const std::vector<LayerRef>*, std::size_t>> stack{{&map.Layers, 0}};
    while (!stack.empty()) {
        auto& [list, i] = stack.back();
        if (i >= list->size()) {
            stack.pop_back();
            continue;
        }
        const LayerRef& l = (*list)[i++];
        out.push_back(l);
        if (auto g = As<GroupLayer>(ObjectRef(l))) stack.push_back({&g->Layers, 0});
    }
    return out;
}

LayerRef Find_Layer(const Map& map, const std::string& name)
{
    for (const auto& l : All_Layers(map))
        if (l->Name == name) return l;
    return nullptr;
}

LayerRef Selected_Layer(const MxDocument& doc)
{
    return doc.ContentsSelection.size() == 1 ? doc.ContentsSelection.front() : nullptr;
}

// --- the object-copy service ------------------------------------------------------

void* ElementCollection::QueryInterface(std::string_view iid) { return iid == IID ? this : nullptr; }

ObjectRef Copy_Object(const ObjectRef& object)
{
    if (auto g = As<Geometry>(object)) return g->Clone();
    if (auto e = As<Element>(object)) return e->Clone();
    if (auto c = As<ElementCollection>(object)) {
        auto copy = std::make_shared<ElementCollection>();
        copy->Elements.reserve(c->Elements.size());
        for (const auto& e : c->Elements) copy->Elements.push_back(e ? e->Clone() : nullptr);
        return copy;
    }
    if (As<SpatialReference>(object)) return object;
    throw VbError(5, "ObjectCopy", "The object cannot be copied");
}

} // namespace platform::arcobjects
