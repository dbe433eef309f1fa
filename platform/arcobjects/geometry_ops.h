// Measures and shape operations on geometries.
//
// Polygon rings follow ArcObjects: an exterior ring runs clockwise, a hole
// counter-clockwise, and a ring's last vertex repeats its first (point
// counts include it). A circle is a polygon of one full clockwise arc: its
// ring holds the arc's start twice, and Geometry::Circle says the rest.
#pragma once

#include "platform/arcobjects/geometry.h"

#include <vector>

namespace platform::arcobjects {

// A polygon of one full clockwise circle (radius 0: an empty polygon).
GeometryRef Make_Circle(XY center, double radius);

// The area: clockwise rings count positive, counter-clockwise negative;
// an envelope's width x height; 0 for points and lines.
double Area(const Geometry& g);
// The length of a line's paths or a polygon's rings (its perimeter);
// 0 for points.
double Length(const Geometry& g);
// A ring's signed area (clockwise positive).
double Ring_Area(const std::vector<XY>& ring);
bool Is_Exterior(const std::vector<XY>& ring);
int Exterior_Ring_Count(const Geometry& g);

// Douglas-Peucker generalization in place within `tolerance` (map units):
// paths keep their end points, rings keep at least three corners and their
// closing vertex. Points, multipoints and circles are unchanged.
void Generalize(Geometry& g, double tolerance);
// Removes repeated vertices, closes rings (keeping each ring's first and
// last vertex where they are), drops rings of fewer than three corners and
// paths of fewer than two vertices. A polygon whose rings cross is then
// made valid (GEOS): the same area in rings that do not cross, each lobe of
// a bow-tie an exterior ring of its own, the polygon's first vertex still
// where its first ring starts.
void Simplify_Preserve_From_To(Geometry& g);
// Reverses every ring's (or path's) vertex order.
void Reverse_Orientation(Geometry& g);

} // namespace platform::arcobjects
