#include "platform/arcobjects/application.h"
#include "platform/arcobjects/geometry.h"
#include "platform/arcobjects/graphics.h"
#include "platform/arcobjects/map.h"

#include "platform/automation/class_registry.h"
#include "platform/automation/vb_error.h"

#include <algorithm>
#include <cmath>

namespace platform::arcobjects {

// --- Object ---------------------------------------------------------------------

std::optional<DispId> Object::GetIDOfName(std::string_view) const { return std::nullopt; }

Variant Object::Invoke(DispId, InvokeKind, std::vector<Variant>&)
{
    throw VbError(438, "", "Object doesn't support this property or method");
}

// --- Envelope --------------------------------------------------------------------

Envelope Envelope::Of(double x1, double y1, double x2, double y2)
{
    return Envelope{std::min(x1, x2), std::min(y1, y2), std::max(x1, x2), std::max(y1, y2), false};
}

void Envelope::Expand(double ratio)
{
    if (empty) return;
    const XY c = Center();
    const double w = Width() * ratio / 2, h = Height() * ratio / 2;
    XMin = c.x - w, XMax = c.x + w, YMin = c.y - h, YMax = c.y + h;
}

void Envelope::CenterAt(XY p)
{
    if (empty) return;
    const double w = Width() / 2, h = Height() / 2;
    XMin = p.x - w, XMax = p.x + w, YMin = p.y - h, YMax = p.y + h;
}

void Envelope::Union(XY p)
{
    if (empty) {
        *this = Envelope{p.x, p.y, p.x, p.y, false};
        return;
    }
    XMin = std::min(XMin, p.x), YMin = std::min(YMin, p.y);
    XMax = std::max(XMax, p.x), YMax = std::max(YMax, p.y);
}

void Envelope::Union(const Envelope& e)
{
    if (e.empty) return;
    Union(XY{e.XMin, e.YMin});
    Union(XY{e.XMax, e.YMax});
}

bool Envelope::Contains(XY p) const { return !empty && p.x >= XMin && p.x <= XMax && p.y >= YMin && p.y <= YMax; }

// --- Geometry --------------------------------------------------------------------

std::shared_ptr<Geometry> Geometry::Make(GeometryType type) { return std::make_shared<Geometry>(type); }

std::shared_ptr<Geometry> Geometry::MakePoint(double x, double y)
{
    auto g = Make(GeometryType::Point);
    g->parts = {{XY{x, y}}};
    return g;
}

std::shared_ptr<Geometry> Geometry::MakeEnvelope(const Envelope& e)
{
    auto g = Make(GeometryType::Envelope);
    if (!e.empty) g->parts = {{XY{e.XMin, e.YMin}, XY{e.XMax, e.YMax}}};
    return g;
}

std::shared_ptr<Geometry> Geometry::PolygonOf(const Envelope& e)
{
    auto g = Make(GeometryType::Polygon);
    if (!e.empty)
        g->parts = {{XY{e.XMin, e.YMin}, XY{e.XMin, e.YMax}, XY{e.XMax, e.YMax}, XY{e.XMax, e.YMin}, XY{e.XMin, e.YMin}}};
    return g;
}

bool Geometry::IsEmpty() const { return PointCount() == 0; }

std::size_t Geometry::PointCount() const
{
    std::size_t n = 0;
    for (const auto& p : parts) n += p.size();
    return n;
}

XY Geometry::Point() const
{
    for (const auto& p : parts)
        if (!p.empty()) return p.front();
    return {};
}

void Geometry::PutCoords(double x, double y) { parts = {{XY{x, y}}}; }

Envelope Geometry::Extent() const
{
    if (Circle)
        return Envelope::Of(Circle->center.x - Circle->radius, Circle->center.y - Circle->radius,
                            Circle->center.x + Circle->radius, Circle->center.y + Circle->radius);
    Envelope e;
    for (const auto& p : parts)
        for (const XY& v : p) e.Union(v);
    return e;
}

XY Geometry::Centroid() const
{
    if (type_ == GeometryType::Polygon) {
        double a = 0, cx = 0, cy = 0;
        for (const auto& ring : parts)
            for (std::size_t i = 0; i + 1 < ring.size(); ++i) {
                const double f = ring[i].x * ring[i + 1].y - ring[i + 1].x * ring[i].y;
                a += f;
                cx += (ring[i].x + ring[i + 1].x) * f;
                cy += (ring[i].y + ring[i + 1].y) * f;
            }
        if (a != 0) return {cx / (3 * a), cy / (3 * a)};
    }
    return Extent().Center();
}

bool Geometry::Contains(XY p) const
{
    if (type_ == GeometryType::Envelope) return Extent().Contains(p);
    if (type_ != GeometryType::Polygon) return false;
    bool inside = false;
    for (const auto& ring : parts)
        for (std::size_t i = 0, j = ring.size() ? ring.size() - 1 : 0; i < ring.size(); j = i++) {
            const XY a = ring[i], b = ring[j];
            // On an edge counts as inside.
            const double cross = (b.x - a.x) * (p.y - a.y) - (b.y - a.y) * (p.x - a.x);
            if (std::abs(cross) <= 1e-9 * (std::abs(b.x - a.x) + std::abs(b.y - a.y) + 1) &&
                p.x >= std::min(a.x, b.x) && p.x <= std::max(a.x, b.x) && p.y >= std::min(a.y, b.y) &&
                p.y <= std::max(a.y, b.y))
                return true;
            if ((a.y > p.y) != (b.y > p.y) && p.x < (b.x - a.x) * (p.y - a.y) / (b.y - a.y) + a.x) inside = !inside;
        }
    return inside;
}

void Geometry::Rotate(XY origin, double radians)
{
    if (type_ == GeometryType::Envelope) {
        *this = *PolygonOf(Extent());
        type_ = GeometryType::Polygon;
    }
    const double c = std::cos(radians), s = std::sin(radians);
    for (auto& part : parts)
        for (XY& v : part) {
            const double dx = v.x - origin.x, dy = v.y - origin.y;
            v = XY{origin.x + dx * c - dy * s, origin.y + dx * s + dy * c};
        }
    if (Circle) {
        const double dx = Circle->center.x - origin.x, dy = Circle->center.y - origin.y;
        Circle->center = XY{origin.x + dx * c - dy * s, origin.y + dx * s + dy * c};
    }
}

void Geometry::Project(const SpatialReferenceRef& to)
{
    if (!SpatialReference || !to) throw VbError(5, "Project", "The geometry has no spatial reference to project from");
    std::vector<double> xs, ys;
    for (const auto& part : parts)
        for (const XY& v : part) xs.push_back(v.x), ys.push_back(v.y);
    // A circle moves with its centre and keeps its radius.
    if (Circle) xs.push_back(Circle->center.x), ys.push_back(Circle->center.y);
    Project_Points(*SpatialReference, *to, xs.data(), ys.data(), xs.size());
    std::size_t k = 0;
    for (auto& part : parts)
        for (XY& v : part) v = XY{xs[k], ys[k]}, ++k;
    if (Circle) Circle->center = XY{xs[k], ys[k]};
    SpatialReference = to;
}

std::shared_ptr<Geometry> Geometry::Clone() const { return std::make_shared<Geometry>(*this); }

std::string Geometry::Kind() const
{
    switch (type_) {
    case GeometryType::Point: return "point";
    case GeometryType::Multipoint: return "multipoint";
    case GeometryType::Polyline: return "polyline";
    case GeometryType::Polygon: return "polygon";
    case GeometryType::Envelope: return "envelope";
    default: return "geometry";
    }
}

void* Geometry::QueryInterface(std::string_view iid) { return iid == IID ? this : nullptr; }

// --- Elements and graphics layers -----------------------------------------------------

std::shared_ptr<Element> Element::Clone() const
{
    auto e = std::make_shared<Element>(*this);
    if (Geometry) e->Geometry = Geometry->Clone();
    return e;
}

std::string Element::Kind() const
{
    switch (type_) {
    case ElementType::Marker: return "marker";
    case ElementType::Line: return "line";
    case ElementType::Polygon: return "polygon_element";
    case ElementType::Rectangle: return "rectangle";
    }
    return "element";
}

void* Element::QueryInterface(std::string_view iid) { return iid == IID ? this : nullptr; }

void GraphicsLayer::AddElement(ElementRef element, int zorder)
{
    if (!element) throw VbError(91, "", "Object variable or With block variable not set");
    const auto at = zorder < 0 || static_cast<std::size_t>(zorder) > elements_.size()
                        ? elements_.end()
                        : elements_.begin() + zorder;
    elements_.insert(at, std::move(element));
}

bool GraphicsLayer::DeleteElement(const ElementRef& element)
{
    std::erase(selected_, element);
    return std::erase(elements_, element) > 0;
}

void GraphicsLayer::DeleteAllElements()
{
    elements_.clear();
    selected_.clear();
}

void GraphicsLayer::UpdateElement(const ElementRef&) { ++updates_; }

void GraphicsLayer::SelectElement(const ElementRef& element)
{
    if (std::find(selected_.begin(), selected_.end(), element) == selected_.end()) selected_.push_back(element);
}

void GraphicsLayer::UnselectAllElements() { selected_.clear(); }

void* GraphicsLayer::QueryInterface(std::string_view iid) { return iid == IID ? this : nullptr; }

GraphicsLayerRef CompositeGraphicsLayer::FindLayer(const std::string& name) const
{
    for (const auto& l : layers_)
        if (l->Name == name) return l;
    throw VbError(5, "", "Invalid procedure call or argument");
}

GraphicsLayerRef CompositeGraphicsLayer::AddLayer(const std::string& name)
{
    layers_.push_back(std::make_shared<GraphicsLayer>(name));
    return layers_.back();
}

bool CompositeGraphicsLayer::DeleteLayer(const std::string& name)
{
    return std::erase_if(layers_, [&](const GraphicsLayerRef& l) { return l->Name == name; }) > 0;
}

void* CompositeGraphicsLayer::QueryInterface(std::string_view iid)
{
    if (iid == CompositeGraphicsLayer::IID) return this;
    return GraphicsLayer::QueryInterface(iid);
}

// --- Views and maps ---------------------------------------------------------------

void ActiveView::Refresh()
{
    redraws_.push_back(Redraw{});
    if (on_redraw) on_redraw(redraws_.back());
}

void ActiveView::PartialRefresh(int phase, ObjectRef what, const Envelope& area)
{
    redraws_.push_back(Redraw{false, phase, std::move(what), area});
    if (on_redraw) on_redraw(redraws_.back());
}

void* ActiveView::QueryInterface(std::string_view iid) { return iid == IID ? this : nullptr; }

Map::Map() : view_(std::make_shared<ActiveView>()), basic_(std::make_shared<CompositeGraphicsLayer>())
{
    ActiveGraphicsLayer = basic_;
}

void* Map::QueryInterface(std::string_view iid)
{
    if (iid == Map::IID) return this;
    if (iid == ActiveView::IID) return view_.get();
    return nullptr;
}

} // namespace platform::arcobjects
