// clsArcMap: the selected layer's features handed to the main program for
// the receiver, within the receiver's waypoint and track limits.
#include "arcmap/detail/arcmap_object.h"

#include "platform/arcobjects/geometry_ops.h"
#include "platform/text/vb.h"

#include <cmath>
#include <fstream>

namespace trekfold_arcmap::detail {

namespace {

using platform::vb::CStr;

const char* kNote = "Note: The Waypoint/Track limit is based on the GPS currently connected.  If no GPS found it "
                    "assumes 500 waypoint and 10000 track limit.  If the limits for your model are erroneous you may "
                    "edit them in the following text file: [installdir]\\trekfold\\gpslimits";

// The next tolerance: a quarter more, to a whole number (halves to even)
// unless rounding would give no increase.
double next_tolerance(double t)
{
    const double grown = t + t / 4, rounded = std::nearbyint(grown);
    return rounded > t ? rounded : grown;
}

} // namespace

ao::FeatureLayerRef clsArcMap::FeatureClass_GetActive()
{
    try {
        ao::LayerRef layer = ao::Selected_Layer(*app().Document());
        if (!layer)
            throw VbError(5, "FeatureClass_GetActive", "Please select a single layer in the Active Data Frame and try again");
        auto fl = ao::As<ao::FeatureLayer>(platform::ObjectRef(layer));
        if (!fl) throw VbError(5, "FeatureClass_GetActive", "Please select a Layer in the Active Data Frame and try again");
        return fl;
    } catch (const VbError& e) {
        trap(e, "CArcMap.FeatureClass_GetActive");
        return nullptr;
    }
}

std::optional<GarminLimits> Garmin_Limits(std::string_view text, const std::string& model)
{
    const std::string wanted = platform::vb::LCase(model);
    while (!text.empty()) {
        const auto end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (line.empty() || line[0] == '\'' || line.find_first_not_of(" \t") == std::string_view::npos) continue;
        const auto comma = line.find(',');
        if (platform::vb::LCase(line.substr(0, comma)) != wanted) continue;
        if (comma == std::string_view::npos) throw VbError(9, "Trekfold_ArcMap", "Subscript out of range");
        const std::string_view rest = line.substr(comma + 1);
        const auto second = rest.find(',');
        if (second == std::string_view::npos) throw VbError(9, "Trekfold_ArcMap", "Subscript out of range");
        const std::string_view third = rest.substr(second + 1);
        return GarminLimits{platform::vb::CDbl(rest.substr(0, second)),
                            platform::vb::CDbl(third.substr(0, third.find(',')))};
    }
    return std::nullopt;
}

void clsArcMap::Get_GarminCapabilities(double& waypointLimit, double& trackLimit, const std::string& model)
{
    waypointLimit = 500, trackLimit = 10000;
    try {
        std::ifstream in(limits_file, std::ios::binary);
        if (!in) return; // no limits file: the defaults
        // A limits file is a few lines; more than a megabyte is not one.
        std::string text(1 << 20, '\0');
        in.read(text.data(), std::streamsize(text.size()));
        if (in.bad()) throw VbError(57, "Trekfold_ArcMap", "Device I/O error");
        text.resize(std::size_t(in.gcount()));
        if (const auto limits = Garmin_Limits(text, model)) waypointLimit = limits->waypoints, trackLimit = limits->track;
    } catch (const VbError& e) {
        waypointLimit = -1, trackLimit = -1;
        basArcMapCode::Box(Source_Text(e, " -- CArcMap.Get_GarminCapabilities"), platform::vbOKOnly, "Error");
    }
}

std::vector<ao::GeometryRef> clsArcMap::Generalize_Shapes(std::vector<ao::GeometryRef> shapes, std::int32_t limit)
{
    std::vector<ao::GeometryRef> result = shapes;
    try {
        const std::size_t n = shapes.empty() ? 0 : shapes.size() - 1; // the last slot stays empty
        double total = 0, length = 0;
        ao::Envelope extent;
        for (std::size_t i = 0; i < n; ++i)
            if (shapes[i]) {
                total += double(shapes[i]->PointCount());
                length += ao::Length(*shapes[i]);
                extent.Union(shapes[i]->Extent());
            }
        const double diagonal = extent.empty ? 0 : std::hypot(extent.Width(), extent.Height());
        // Half the mean segment length; one that rounds to 0 (shapes in
        // degrees) stays unrounded.
        double tolerance = total > 0 ? length / (2 * total) : 0;
        if (std::nearbyint(tolerance) > 0) tolerance = std::nearbyint(tolerance);
        while (limit < total) {
            result.assign(shapes.size(), nullptr);
            total = 0;
            for (std::size_t i = 0; i < n; ++i) {
                const ao::GeometryRef& s = shapes[i];
                if (!s) continue;
                if (s->Type() == ao::GeometryType::Polyline || s->Type() == ao::GeometryType::Polygon)
                    ao::Generalize(*s, tolerance);
                total += double(s->PointCount());
                result[i] = s;
            }
            // Past the extent's diagonal nothing more can go: the last
            // round's result is what is exported.
            if (!(tolerance > 0) || tolerance > diagonal) break;
            tolerance = next_tolerance(tolerance);
            basArcMapCode::DoEvents();
        }
    } catch (const VbError& e) {
        trap(e, "clsArcMap.Generalize_Shapes");
    }
    return result;
}

Variant clsArcMap::FeatureClass_ToGarmin(const std::string& gpsModel)
{
    ao::MxApplication& a = app(); // before the trap: no application goes back to the caller
    Variant result;
    a.MousePointer = 11;
    try {
        result = export_features(gpsModel);
    } catch (const VbError& e) {
        trap(e, "FeatureClass_ToGarmin");
    }
    a.MousePointer = 0;
    return result;
}

// Steps of FeatureClass_ToGarmin inside its trap; Empty when nothing is
// exported (no layer, no limits, or a refused question).
Variant clsArcMap::export_features(const std::string& gpsModel)
{
    {
        const ao::FeatureLayerRef layer = FeatureClass_GetActive();
        if (!layer) return Variant();
        if (!layer->FeatureClass) throw no_object();
        ao::FeatureClass& fc = *layer->FeatureClass;
        const ao::GeometryType type = fc.ShapeType();
        const bool point_layer = type == ao::GeometryType::Point;
        const bool waypoints = point_layer || type == ao::GeometryType::Multipoint;
        double wp = 0, tl = 0;
        Get_GarminCapabilities(wp, tl, gpsModel);
        if (wp == -1) return Variant();

        const std::vector<std::int64_t>* oids = layer->SelectedOIDs.empty() ? nullptr : &layer->SelectedOIDs;
        const std::size_t count = oids ? oids->size() : std::size_t(fc.FeatureCount());
        std::vector<ao::GeometryRef> shapes(count + 1);
        double points = 0;
        {
            auto cursor = fc.Search(oids);
            std::size_t i = 0;
            for (ao::FeatureRef f = cursor->NextFeature(); f && i < count; f = cursor->NextFeature(), ++i) {
                // A feature without a shape has nowhere to put a record.
                shapes[i] = f->Shape && !f->Shape->IsEmpty() ? f->Shape->Clone() : nullptr;
                points += !shapes[i] ? 0 : point_layer ? 1 : double(shapes[i]->PointCount());
            }
        }

        if (waypoints && points > wp) {
            const int answer = basArcMapCode::Box(
                "Number of points from Feature Layer (" + CStr(points) + ") exceeds the Waypoint limit of " +
                    "your current GPS (" + gpsModel + " - " + CStr(wp) + ").  Continue loading points?\r\n\r\n" + kNote,
                platform::vbYesNo, "Too Many Points");
            if (answer == platform::vbNo) return Variant();
        }
        if (!waypoints && points > tl) {
            const int answer = basArcMapCode::Box(
                "Number of vertices from Feature Layer (" + CStr(points) + ") exceeds the Track limit of " +
                    "your current GPS (" + gpsModel + " - " + CStr(tl) + ").  Would you like the shapes simplified " +
                    "before upload?  YES to simplify, NO to load all points.\r\n\r\n" + kNote,
                platform::vbYesNoCancel, "Too Many Vertices");
            if (answer == platform::vbCancel) return Variant();
            if (answer == platform::vbYes) {
                shapes = Generalize_Shapes(std::move(shapes), platform::vb::CLng(tl));
                for (const ao::GeometryRef& s : shapes) {
                    if (!s) continue;
                    auto e = std::make_shared<ao::Element>(type == ao::GeometryType::Polyline ? ao::ElementType::Line
                                                                                              : ao::ElementType::Polygon);
                    e->Geometry = s->Clone();
                    graphics_container().AddElement(e, 0);
                    active_view().PartialRefresh(ao::esriViewGraphics, nullptr, ao::Envelope());
                }
            }
        }

        // The result is sized once: one record per point feature, else per vertex.
        std::size_t records = 0;
        for (std::size_t i = 0; i < count; ++i) records += !shapes[i] ? 0 : point_layer ? 1 : shapes[i]->PointCount();
        if (records > std::size_t(INT32_MAX - 1)) throw VbError(6, "Trekfold_ArcMap", "Overflow");
        const std::vector<ao::Field>& fields = fc.Fields();
        const std::int32_t F = std::int32_t(fields.size());
        platform::VariantArray out(0, F + 4, 0, std::int32_t(records) + 1);
        for (std::int32_t k = 0; k < F; ++k) out.at(k, 0) = Variant(fields[std::size_t(k)].Name);
        out.at(F, 0) = Variant("x_proj");
        out.at(F + 1, 0) = Variant("y_proj");
        out.at(F + 2, 0) = Variant("type");
        if (!waypoints) out.at(F + 3, 0) = Variant("new_seg");

        const std::string oid_field = fc.OIDFieldName();
        std::int32_t rec = 1;
        auto attributes = [&](const ao::Feature& f) {
            for (std::int32_t k = 0; k < F; ++k) {
                const ao::Field& field = fields[std::size_t(k)];
                if (field.Type == ao::esriFieldTypeGeometry || field.Type == ao::esriFieldTypeBlob ||
                    field.Type == ao::esriFieldTypeRaster)
                    out.at(k, rec) = Variant("");
                else if (field.Type == ao::esriFieldTypeOID)
                    out.at(k, rec) = Variant(std::int32_t(f.OID));
                else
                    out.at(k, rec) = f.Value(k);
            }
        };
        auto cursor = fc.Search(oids);
        std::size_t i = 0;
        for (ao::FeatureRef f = cursor->NextFeature(); f && i < count; f = cursor->NextFeature(), ++i) {
            const ao::GeometryRef& s = shapes[i];
            if (!s) continue;
            if (point_layer) {
                attributes(*f);
                const ao::XY p = s->Point();
                out.at(F, rec) = Variant(p.x);
                out.at(F + 1, rec) = Variant(p.y);
                out.at(F + 2, rec) = Variant("WAYPOINT");
                ++rec;
                basArcMapCode::DoEvents();
                continue;
            }
            const std::size_t n = s->PointCount();
            const std::string of = " of " + std::to_string(n) + " in Record " + std::to_string(i);
            std::size_t k = 0;
            for (const auto& part : s->parts)
                for (const ao::XY& v : part) {
                    attributes(*f);
                    out.at(F, rec) = Variant(v.x);
                    out.at(F + 1, rec) = Variant(v.y);
                    out.at(F + 2, rec) = Variant(waypoints ? "WAYPOINT" : "TRACK");
                    if (!waypoints) out.at(F + 3, rec) = Variant(k == 0 ? "True" : "False");
                    ++rec, ++k;
                    Set_Status("Working on point " + std::to_string(k) + of);
                    basArcMapCode::DoEvents();
                }
        }
        return Variant(std::move(out));
    }
}

} // namespace trekfold_arcmap::detail
