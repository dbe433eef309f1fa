// A map (data frame), the views that show it, and their redraws.
//
// A view records each redraw it is asked for, whole or of one drawing
// phase for one object within an area, and hands each to its observer (the
// host prints them, its window repaints). The refresh interface's first
// Boolean is a document setting: while it is true, callers that honour it
// ask for no redraw.
#pragma once

#include "platform/arcobjects/graphics.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace platform::arcobjects {

class Layer; // layers.h
using LayerRef = std::shared_ptr<Layer>;

// Drawing phases of a partial redraw.
enum ViewDrawPhase : int { esriViewGeography = 2, esriViewGeoSelection = 4, esriViewGraphics = 8,
                           esriViewGraphicSelection = 16, esriViewBackground = 1, esriViewForeground = 32 };

struct Redraw {
    bool whole = true;
    int phase = 0;           // of a partial redraw
    ObjectRef what;          // the object redrawn (an element), or null
    Envelope area;           // empty: the whole view
};

class ActiveView : public Object {
public:
    static constexpr const char* IID = "arcobjects.IActiveView";

    // The visible extent, in the map's coordinates.
    Envelope Extent;
    // The refresh interface's first Boolean (false by default).
    bool RefreshFlag = false;

    void Refresh();
    void PartialRefresh(int phase, ObjectRef what, const Envelope& area);
    const std::vector<Redraw>& Redraws() const { return redraws_; }
    std::function<void(const Redraw&)> on_redraw;

    std::string Kind() const override { return "active_view"; }
    void* QueryInterface(std::string_view iid) override;

private:
    std::vector<Redraw> redraws_;
};

using ActiveViewRef = std::shared_ptr<ActiveView>;

class Map : public Object {
public:
    static constexpr const char* IID = "arcobjects.IMap";

    Map();
    std::string Name = "Layers";
    // Null: the map has no coordinate system.
    SpatialReferenceRef SpatialReference;

    // The map as the view that shows it (its extent is the data frame's).
    const ActiveViewRef& View() const { return view_; }
    const std::shared_ptr<CompositeGraphicsLayer>& BasicGraphicsLayer() const { return basic_; }
    // The layer new graphics go to: the basic layer or one of its sub-layers.
    GraphicsLayerRef ActiveGraphicsLayer;
    // The data layers in table order, the top one first (layers.h).
    std::vector<LayerRef> Layers;
    void AddLayer(LayerRef layer); // at the top

    std::string Kind() const override { return "map"; }
    void* QueryInterface(std::string_view iid) override;

private:
    ActiveViewRef view_;
    std::shared_ptr<CompositeGraphicsLayer> basic_;
};

using MapRef = std::shared_ptr<Map>;

} // namespace platform::arcobjects
