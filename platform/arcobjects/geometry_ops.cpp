#include "platform/arcobjects/geometry_ops.h"

#include "platform/arcobjects/detail/ogr_geometry.h"

#include <cpl_error.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace platform::arcobjects {

namespace {

double dist(XY a, XY b) { return std::hypot(b.x - a.x, b.y - a.y); }

// Distance of p from the segment a-b (from a when the segment is a point).
double seg_dist(XY p, XY a, XY b)
{
    const double dx = b.x - a.x, dy = b.y - a.y, len2 = dx * dx + dy * dy;
    if (len2 == 0) return dist(p, a);
    const double t = std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / len2, 0.0, 1.0);
    return dist(p, {a.x + t * dx, a.y + t * dy});
}

// Marks the vertices of pts[first..last] that Douglas-Peucker keeps, the
// ends excluded. Iterative so that long paths keep a flat stack.
void douglas_peucker(const std::vector<XY>& pts, std::size_t first, std::size_t last, double tol,
                     std::vector<char>& keep)
{
    std::vector<std::pair<std::size_t, std::size_t>> todo{{first, last}};
    while (!todo.empty()) {
        auto [a, b] = todo.back();
        todo.pop_back();
        if (b <= a + 1) continue;
        double worst = -1;
        std::size_t at = a;
        for (std::size_t i = a + 1; i < b; ++i) {
            const double d = seg_dist(pts[i], pts[a], pts[b]);
            if (d > worst) worst = d, at = i;
        }
        if (worst > tol) {
            keep[at] = 1;
            todo.push_back({a, at});
            todo.push_back({at, b});
        }
    }
}

std::vector<XY> kept(const std::vector<XY>& pts, const std::vector<char>& keep)
{
    std::vector<XY> out;
    for (std::size_t i = 0; i < pts.size(); ++i)
        if (keep[i]) out.push_back(pts[i]);
    return out;
}

std::vector<XY> generalize_path(const std::vector<XY>& path, double tol)
{
    if (path.size() <= 2) return path;
    std::vector<char> keep(path.size(), 0);
    keep.front() = keep.back() = 1;
    douglas_peucker(path, 0, path.size() - 1, tol, keep);
    return kept(path, keep);
}

// A closed ring: split at its first vertex and the one farthest from it,
// each half generalized, and at least three corners kept (the one farthest
// from the first two is added back when needed).
std::vector<XY> generalize_ring(const std::vector<XY>& ring, double tol)
{
    const std::size_t n = ring.size();
    if (n <= 4) return ring;
    std::size_t far = 1;
    for (std::size_t i = 1; i + 1 < n; ++i)
        if (dist(ring[i], ring[0]) > dist(ring[far], ring[0])) far = i;
    std::vector<char> keep(n, 0);
    keep[0] = keep[n - 1] = keep[far] = 1;
    douglas_peucker(ring, 0, far, tol, keep);
    douglas_peucker(ring, far, n - 1, tol, keep);
    if (std::count(keep.begin(), keep.end(), 1) < 4) {
        std::size_t third = 0;
        double worst = -1;
        for (std::size_t i = 1; i + 1 < n; ++i) {
            if (keep[i]) continue;
            const double d = seg_dist(ring[i], ring[0], ring[far]);
            if (d > worst) worst = d, third = i;
        }
        if (third) keep[third] = 1;
    }
    return kept(ring, keep);
}

// GEOS reports what it finds invalid as warnings; the check is ours to act on.
struct QuietGeos {
    QuietGeos() { CPLPushErrorHandler(CPLQuietErrorHandler); }
    ~QuietGeos() { CPLPopErrorHandler(); }
    QuietGeos(const QuietGeos&) = delete;
    QuietGeos& operator=(const QuietGeos&) = delete;
};

// A polygon whose rings cross themselves or each other (a bow-tie, a
// figure eight) is rebuilt through GEOS into valid rings covering the same
// area: each lobe its own exterior ring. The ring that holds the polygon's
// first vertex starts at it again. A polygon that is valid, or that has no
// area left to rebuild (all its vertices on one line), stays as it is.
void make_valid(Geometry& g)
{
    if (g.parts.empty()) return;
    const QuietGeos quiet;
    const std::unique_ptr<OGRGeometry> o = detail::ogr_of(g, wkbMultiPolygon);
    if (!o || o->IsValid()) return;
    const std::unique_ptr<OGRGeometry> fixed(o->MakeValid());
    if (!fixed) return;
    // What collapsed to lines or points has no area: only polygons are kept.
    OGRMultiPolygon areas;
    auto take = [&](const OGRGeometry* part) {
        const auto t = wkbFlatten(part->getGeometryType());
        if (t == wkbPolygon) areas.addGeometry(part);
        if (t == wkbMultiPolygon)
            for (const OGRPolygon* p : *part->toMultiPolygon()) areas.addGeometry(p);
    };
    if (OGR_GT_IsSubClassOf(wkbFlatten(fixed->getGeometryType()), wkbGeometryCollection) &&
        wkbFlatten(fixed->getGeometryType()) != wkbMultiPolygon) {
        for (const OGRGeometry* part : *fixed->toGeometryCollection()) take(part);
    } else {
        take(fixed.get());
    }
    GeometryRef valid = detail::geometry_of(&areas, GeometryType::Polygon);
    if (valid->parts.empty()) return;
    const XY from = g.parts.front().front();
    for (auto& ring : valid->parts) {
        const auto at = std::find(ring.begin(), ring.end() - 1, from);
        if (at == ring.end() - 1) continue;
        if (at == ring.begin()) break;
        ring.pop_back();
        std::rotate(ring.begin(), at, ring.end());
        ring.push_back(ring.front());
        break;
    }
    g.parts = std::move(valid->parts);
}

} // namespace

GeometryRef Make_Circle(XY center, double radius)
{
    auto g = Geometry::Make(GeometryType::Polygon);
    if (!(radius > 0) || !std::isfinite(radius)) return g;
    const XY start{center.x, center.y + radius};
    g->parts.push_back({start, start});
    g->Circle = Geometry::CircularArc{center, radius};
    return g;
}

double Ring_Area(const std::vector<XY>& ring)
{
    double twice = 0;
    for (std::size_t i = 0; i + 1 < ring.size(); ++i)
        twice += (ring[i].x - ring[0].x) * (ring[i + 1].y - ring[0].y) - (ring[i + 1].x - ring[0].x) * (ring[i].y - ring[0].y);
    return -twice / 2; // the shoelace sum is positive counter-clockwise
}

bool Is_Exterior(const std::vector<XY>& ring) { return Ring_Area(ring) > 0; }

int Exterior_Ring_Count(const Geometry& g)
{
    if (g.Type() != GeometryType::Polygon) return 0;
    if (g.Circle) return 1;
    return static_cast<int>(std::count_if(g.parts.begin(), g.parts.end(), Is_Exterior));
}

double Area(const Geometry& g)
{
    if (g.Type() == GeometryType::Envelope) return g.IsEmpty() ? 0 : g.Extent().Width() * g.Extent().Height();
    if (g.Type() != GeometryType::Polygon) return 0;
    if (g.Circle) return std::numbers::pi * g.Circle->radius * g.Circle->radius;
    double a = 0;
    for (const auto& ring : g.parts) a += Ring_Area(ring);
    return a;
}

double Length(const Geometry& g)
{
    if (g.Type() == GeometryType::Envelope) return g.IsEmpty() ? 0 : 2 * (g.Extent().Width() + g.Extent().Height());
    if (g.Type() != GeometryType::Polygon && g.Type() != GeometryType::Polyline) return 0;
    if (g.Circle) return 2 * std::numbers::pi * g.Circle->radius;
    double len = 0;
    for (const auto& part : g.parts)
        for (std::size_t i = 0; i + 1 < part.size(); ++i) len += dist(part[i], part[i + 1]);
    return len;
}

void Generalize(Geometry& g, double tolerance)
{
    if (g.Circle || !(tolerance >= 0)) return;
    if (g.Type() == GeometryType::Polyline)
        for (auto& p : g.parts) p = generalize_path(p, tolerance);
    else if (g.Type() == GeometryType::Polygon)
        for (auto& r : g.parts) r = generalize_ring(r, tolerance);
}

void Simplify_Preserve_From_To(Geometry& g)
{
    if (g.Circle) return;
    const bool polygon = g.Type() == GeometryType::Polygon;
    if (!polygon && g.Type() != GeometryType::Polyline) return;
    std::vector<std::vector<XY>> parts;
    for (const auto& p : g.parts) {
        std::vector<XY> q;
        for (XY v : p)
            if (q.empty() || !(q.back() == v)) q.push_back(v);
        if (polygon) {
            if (!q.empty() && !(q.back() == q.front())) q.push_back(q.front());
            if (q.size() < 4) continue;
        } else if (q.size() < 2) {
            continue;
        }
        parts.push_back(std::move(q));
    }
    g.parts = std::move(parts);
    if (polygon) make_valid(g);
}

void Reverse_Orientation(Geometry& g)
{
    for (auto& p : g.parts) std::reverse(p.begin(), p.end());
}

} // namespace platform::arcobjects
