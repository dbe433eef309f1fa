// Graphic elements, their symbols, and the graphics layers of a map.
//
// A map has one basic graphics layer, which holds elements itself and
// named sub-layers; one of them (or the basic layer) is the map's active
// graphics layer. Each layer is a graphics container: its elements in
// z-order (index 0 drawn last, on top) and a selection of elements.
#pragma once

#include "platform/arcobjects/geometry.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform::arcobjects {

// An RGB colour; transparency 0 is invisible (no fill), 255 opaque.
struct RgbColor {
    int red = 0, green = 0, blue = 0;
    int transparency = 255;
    bool operator==(const RgbColor&) const = default;
};

// The simple marker symbol's class identifier.
inline constexpr const char* CLSID_SimpleMarkerSymbol = "{88539431-E06E-11D1-B277-0000F878229E}";

struct MarkerSymbol {
    std::string clsid = CLSID_SimpleMarkerSymbol;
    int style = 0;
    RgbColor color;
    double size = 8;
    double angle = 0;
};

struct LineSymbol {
    RgbColor color;
    double width = 1;
};

struct FillSymbol {
    RgbColor color;
    LineSymbol outline;
};

enum class ElementType { Marker, Line, Polygon, Rectangle };

class Element : public Object {
public:
    static constexpr const char* IID = "arcobjects.IElement";

    explicit Element(ElementType type) : type_(type) {}
    ElementType Type() const { return type_; }

    GeometryRef Geometry;
    MarkerSymbol marker; // a marker element's symbol
    LineSymbol line;     // a line element's symbol
    FillSymbol fill;     // a polygon or rectangle element's symbol

    // A copy with its own symbol and a copy of the geometry.
    std::shared_ptr<Element> Clone() const;

    std::string Kind() const override;
    void* QueryInterface(std::string_view iid) override;

private:
    ElementType type_;
};

using ElementRef = std::shared_ptr<Element>;

class GraphicsLayer : public Object {
public:
    static constexpr const char* IID = "arcobjects.IGraphicsContainer";

    explicit GraphicsLayer(std::string name) : Name(std::move(name)) {}
    std::string Name;

    const std::vector<ElementRef>& Elements() const { return elements_; }
    // At z-order index `zorder` (0 the top; past the end: at the bottom).
    void AddElement(ElementRef element, int zorder = 0);
    // False when the element is not in the layer.
    bool DeleteElement(const ElementRef& element);
    void DeleteAllElements();
    // Notes that the element changed (counted, for dumps and tests).
    void UpdateElement(const ElementRef& element);
    int Updates() const { return updates_; }

    // The element selection, in selection order.
    void SelectElement(const ElementRef& element);
    void UnselectAllElements();
    const std::vector<ElementRef>& SelectedElements() const { return selected_; }

    std::string Kind() const override { return "graphics_layer"; }
    void* QueryInterface(std::string_view iid) override;

private:
    std::vector<ElementRef> elements_;
    std::vector<ElementRef> selected_;
    int updates_ = 0;
};

using GraphicsLayerRef = std::shared_ptr<GraphicsLayer>;

// The basic graphics layer: a graphics layer of its own ("<Default>") that
// also holds named sub-layers.
class CompositeGraphicsLayer : public GraphicsLayer {
public:
    static constexpr const char* IID = "arcobjects.ICompositeGraphicsLayer";

    CompositeGraphicsLayer() : GraphicsLayer("<Default>") {}
    const std::vector<GraphicsLayerRef>& Layers() const { return layers_; }
    // The sub-layer of that name (exact case); throws VbError 5 "Invalid
    // procedure call or argument" when there is none.
    GraphicsLayerRef FindLayer(const std::string& name) const;
    GraphicsLayerRef AddLayer(const std::string& name);
    // False when there is no such sub-layer.
    bool DeleteLayer(const std::string& name);

    std::string Kind() const override { return "composite_graphics_layer"; }
    void* QueryInterface(std::string_view iid) override;

private:
    std::vector<GraphicsLayerRef> layers_;
};

} // namespace platform::arcobjects
