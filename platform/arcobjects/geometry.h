// Geometries of the map host: point, multipoint, polyline, polygon and
// envelope, each with an optional spatial reference.
//
// One class holds every kind: a list of parts, each a list of vertices. A
// point is one part of one vertex, a multipoint one part, a polyline one
// part per path, a polygon one part per ring (rings closed: the last vertex
// repeats the first), an envelope one part of two vertices (lower-left,
// upper-right). Type codes are ArcObjects' geometry type numbers.
#pragma once

#include "platform/arcobjects/object.h"
#include "platform/arcobjects/spatial_reference.h"

#include <memory>
#include <optional>
#include <vector>

namespace platform::arcobjects {

enum class GeometryType { Null = 0, Point = 1, Multipoint = 2, Polyline = 3, Polygon = 4, Envelope = 5 };

struct XY {
    double x = 0, y = 0;
    bool operator==(const XY&) const = default;
};

// A rectangle by its bounds; empty until it has bounds.
struct Envelope {
    double XMin = 0, YMin = 0, XMax = 0, YMax = 0;
    bool empty = true;

    static Envelope Of(double x1, double y1, double x2, double y2); // ordered whatever the corners
    double Width() const { return XMax - XMin; }
    double Height() const { return YMax - YMin; }
    XY Center() const { return {(XMin + XMax) / 2, (YMin + YMax) / 2}; }
    // Scales width and height about the centre by `ratio` (0.75: three quarters).
    void Expand(double ratio);
    // Moves the envelope so that its centre is at p, keeping its size.
    void CenterAt(XY p);
    // Grows to take in the point or envelope.
    void Union(XY p);
    void Union(const Envelope& e);
    bool Contains(XY p) const; // bounds included
    bool operator==(const Envelope&) const = default;
};

class Geometry : public Object {
public:
    static constexpr const char* IID = "arcobjects.IGeometry";

    static std::shared_ptr<Geometry> MakePoint(double x, double y);
    static std::shared_ptr<Geometry> MakeEnvelope(const Envelope& e);
    // An empty geometry of the type, to which parts are added.
    static std::shared_ptr<Geometry> Make(GeometryType type);
    // A closed ring lower-left, upper-left, upper-right, lower-right,
    // lower-left: the clockwise polygon of the envelope.
    static std::shared_ptr<Geometry> PolygonOf(const Envelope& e);

    GeometryType Type() const { return type_; }
    std::vector<std::vector<XY>> parts;
    SpatialReferenceRef SpatialReference;
    // A polygon that is one full clockwise circular arc (Make_Circle): its
    // one ring holds the arc's start and end, this its centre and radius.
    struct CircularArc {
        XY center;
        double radius = 0;
    };
    std::optional<CircularArc> Circle;

    bool IsEmpty() const;
    std::size_t PointCount() const;
    // A point's coordinates (the first vertex of anything else); 0, 0 when empty.
    XY Point() const;
    void PutCoords(double x, double y); // a point's coordinates
    Envelope Extent() const;
    // The area-weighted centre of a polygon's rings, else the extent's centre.
    XY Centroid() const;
    // Polygon (even-odd over its rings, boundary inside) or envelope.
    bool Contains(XY p) const;
    // Turns the geometry about `origin` by `radians`, counter-clockwise for a
    // positive angle (an envelope becomes the polygon of its corners).
    void Rotate(XY origin, double radians);
    // Converts the vertices to `to`; the geometry's own reference is the
    // source. Throws as Project_Points does; on failure it is unchanged.
    void Project(const SpatialReferenceRef& to);

    std::shared_ptr<Geometry> Clone() const;

    std::string Kind() const override;
    void* QueryInterface(std::string_view iid) override;

    explicit Geometry(GeometryType type) : type_(type) {}

private:
    GeometryType type_;
};

using GeometryRef = std::shared_ptr<Geometry>;

} // namespace platform::arcobjects
