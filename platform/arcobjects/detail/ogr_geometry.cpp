#include "platform/arcobjects/detail/ogr_geometry.h"

#include <algorithm>
#include <cmath>

namespace platform::arcobjects::detail {

namespace {

std::vector<XY> points_of(const OGRSimpleCurve& c)
{
    std::vector<XY> out;
    out.reserve(c.getNumPoints());
    for (int i = 0; i < c.getNumPoints(); ++i) out.push_back({c.getX(i), c.getY(i)});
    return out;
}

// Rings as the class stores them; an exterior ring is made clockwise and
// a hole counter-clockwise, as ArcObjects keeps them.
void rings_into(const OGRPolygon& p, Geometry& g)
{
    for (int r = 0; r <= p.getNumInteriorRings(); ++r) {
        const OGRLinearRing* ring = r == 0 ? p.getExteriorRing() : p.getInteriorRing(r - 1);
        if (!ring || ring->IsEmpty()) continue;
        std::vector<XY> pts = points_of(*ring);
        double twice = 0;
        for (std::size_t i = 0; i + 1 < pts.size(); ++i) twice += pts[i].x * pts[i + 1].y - pts[i + 1].x * pts[i].y;
        const bool clockwise = twice < 0;
        if (clockwise != (r == 0)) std::reverse(pts.begin(), pts.end());
        g.parts.push_back(std::move(pts));
    }
}

std::unique_ptr<OGRLineString> line_of(const std::vector<XY>& pts)
{
    auto l = std::make_unique<OGRLineString>();
    l->setNumPoints(static_cast<int>(pts.size()), FALSE);
    for (std::size_t i = 0; i < pts.size(); ++i) l->setPoint(static_cast<int>(i), pts[i].x, pts[i].y);
    return l;
}

} // namespace

GeometryRef geometry_of(const OGRGeometry* o, GeometryType type)
{
    auto g = Geometry::Make(type);
    if (!o || o->IsEmpty()) return g;
    switch (wkbFlatten(o->getGeometryType())) {
    case wkbPoint: {
        auto* p = o->toPoint();
        g->parts.push_back({{p->getX(), p->getY()}});
        break;
    }
    case wkbMultiPoint: {
        std::vector<XY> pts;
        for (const OGRPoint* p : *o->toMultiPoint()) pts.push_back({p->getX(), p->getY()});
        g->parts.push_back(std::move(pts));
        break;
    }
    case wkbLineString: g->parts.push_back(points_of(*o->toLineString())); break;
    case wkbMultiLineString:
        for (const OGRLineString* l : *o->toMultiLineString()) g->parts.push_back(points_of(*l));
        break;
    case wkbPolygon: rings_into(*o->toPolygon(), *g); break;
    case wkbMultiPolygon:
        for (const OGRPolygon* p : *o->toMultiPolygon()) rings_into(*p, *g);
        break;
    default: {
        // Curves and the like: their linear form.
        std::unique_ptr<OGRGeometry> lin(o->getLinearGeometry());
        if (lin && wkbFlatten(lin->getGeometryType()) != wkbFlatten(o->getGeometryType())) return geometry_of(lin.get(), type);
    }
    }
    return g;
}

std::unique_ptr<OGRGeometry> ogr_of(const Geometry& g, OGRwkbGeometryType layer_type)
{
    const auto flat = wkbFlatten(layer_type);
    switch (g.Type()) {
    case GeometryType::Point: {
        if (g.IsEmpty()) return std::make_unique<OGRPoint>();
        const XY p = g.Point();
        return std::make_unique<OGRPoint>(p.x, p.y);
    }
    case GeometryType::Multipoint: {
        auto m = std::make_unique<OGRMultiPoint>();
        for (const auto& part : g.parts)
            for (XY p : part) m->addGeometryDirectly(new OGRPoint(p.x, p.y));
        return m;
    }
    case GeometryType::Polyline: {
        if (flat == wkbLineString && g.parts.size() == 1) return line_of(g.parts[0]);
        auto m = std::make_unique<OGRMultiLineString>();
        for (const auto& part : g.parts) m->addGeometryDirectly(line_of(part).release());
        return m;
    }
    case GeometryType::Polygon: {
        auto m = std::make_unique<OGRMultiPolygon>();
        OGRPolygon* current = nullptr;
        std::vector<std::vector<XY>> rings = g.parts;
        if (g.Circle) {
            // A circle stored as its ring, 360 vertices clockwise.
            rings.assign(1, {});
            const int n = 360;
            for (int i = 0; i <= n; ++i) {
                const double a = -2 * M_PI * (i % n) / n + M_PI / 2;
                rings[0].push_back({g.Circle->center.x + g.Circle->radius * std::cos(a),
                                    g.Circle->center.y + g.Circle->radius * std::sin(a)});
            }
        }
        for (const auto& r : rings) {
            auto ring = std::make_unique<OGRLinearRing>();
            ring->setNumPoints(static_cast<int>(r.size()), FALSE);
            for (std::size_t i = 0; i < r.size(); ++i) ring->setPoint(static_cast<int>(i), r[i].x, r[i].y);
            ring->closeRings();
            double twice = 0;
            for (std::size_t i = 0; i + 1 < r.size(); ++i) twice += r[i].x * r[i + 1].y - r[i + 1].x * r[i].y;
            if (twice <= 0 || !current) {
                current = new OGRPolygon();
                m->addGeometryDirectly(current);
            }
            current->addRingDirectly(ring.release());
        }
        if (flat == wkbPolygon && m->getNumGeometries() == 1) {
            std::unique_ptr<OGRGeometry> one(m->getGeometryRef(0)->clone());
            return one;
        }
        return m;
    }
    default: return nullptr;
    }
}

} // namespace platform::arcobjects::detail
