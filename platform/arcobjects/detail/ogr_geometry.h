// Geometries of the map host to and from OGR's, for the classes that store
// them and the shape operations that run on GEOS through OGR.
#pragma once

#include "platform/arcobjects/geometry.h"

#include <ogr_geometry.h>

#include <memory>

namespace platform::arcobjects::detail {

// An OGR geometry as ours of `type`: rings oriented as ArcObjects keeps them
// (exterior clockwise, holes counter-clockwise), curves by their linear form.
GeometryRef geometry_of(const OGRGeometry* o, GeometryType type);
// Ours as OGR's for a layer of `layer_type`: each clockwise ring starts a
// polygon, the counter-clockwise rings after it are its holes. Null for an
// envelope.
std::unique_ptr<OGRGeometry> ogr_of(const Geometry& g, OGRwkbGeometryType layer_type);

} // namespace platform::arcobjects::detail
