// clsArcMap: records drawn as graphics, and the selected graphics taken back
// as the exchange array.
#include "arcmap/detail/arcmap_object.h"

#include "platform/arcobjects/services.h"
#include "platform/text/decimal.h"
#include "platform/text/vb.h"

#include <algorithm>

namespace trekfold_arcmap::detail {

namespace {

// The geometry type codes a graphic may have to be taken back.
bool accepted(int code)
{
    static constexpr int codes[] = {1, 2, 3, 4, 6, 9, 11, 18, 19, 20};
    return std::find(std::begin(codes), std::end(codes), code) != std::end(codes);
}

int type_code(const ao::ElementRef& e) { return e->Geometry ? int(e->Geometry->Type()) : 0; }

} // namespace

bool clsArcMap::Graphics_SaveTo(const std::string& ptLnPy, const Variant& lat, const Variant& lon, const Variant& y,
                                const Variant& x, bool newSeg, bool isEnd)
{
    try {
        auto point = ao::Geometry::MakePoint(lon.ToDouble(), lat.ToDouble());
        if (!Project_Geometry(point)) point = ao::Geometry::MakePoint(x.ToDouble(), y.ToDouble());

        const std::string kind = platform::vb::LCase(ptLnPy);
        // A line needs two vertices, a polygon three, before it is drawn.
        const bool line = kind == "line", polygon = kind == "polygon";
        const std::size_t enough = line ? 2 : 3;
        auto finish = [&] {
            auto element = std::make_shared<ao::Element>(line ? ao::ElementType::Line : ao::ElementType::Polygon);
            if (polygon) {
                auto& ring = vertices_->parts.at(0);
                if (ring.front() != ring.back()) ring.push_back(ring.front());
            }
            element->Geometry = vertices_;
            graphics_container().AddElement(element, 0);
        };
        auto start = [&] {
            vertices_ = ao::Geometry::Make(line ? ao::GeometryType::Polyline : ao::GeometryType::Polygon);
            vertices_->parts.emplace_back();
        };
        if (kind == "point") {
            auto marker = std::make_shared<ao::Element>(ao::ElementType::Marker);
            marker->Geometry = point;
            graphics_container().AddElement(marker, 0);
        } else if (line || polygon) {
            if (newSeg) {
                if (vertices_ && vertices_->PointCount() >= enough) finish();
                start();
            } else if (!vertices_) {
                start();
            }
            vertices_->parts.at(0).push_back(point->Point());
            if (isEnd && vertices_->PointCount() >= enough) {
                finish();
                vertices_.reset();
            }
        }
        if (isEnd) active_view().PartialRefresh(ao::esriViewGraphics, nullptr, ao::Envelope());
    } catch (const VbError& e) {
        trap(e, "CArcMap.Graphics_SaveTo");
    }
    return false;
}

Variant clsArcMap::Graphics_LoadFrom()
{
    try {
        const std::vector<ao::ElementRef>& selected = graphics_container().SelectedElements();
        if (selected.empty()) {
            basArcMapCode::Box("No graphics selected.  Select a graphic and try again.", platform::vbOKOnly);
            return Variant();
        }
        const int first = type_code(selected.front());
        if (!accepted(first)) {
            basArcMapCode::Box("Incompatible Geometry Type: " + std::to_string(first), platform::vbOKOnly);
            return Variant();
        }
        auto collection = std::make_shared<ao::ElementCollection>();
        collection->Elements.reserve(selected.size());
        std::size_t records = 0;
        for (const auto& e : selected) {
            if (type_code(e) != first) {
                basArcMapCode::Box("All selected graphics must be of the same Geometry Type", platform::vbOKOnly);
                return Variant();
            }
            collection->Elements.push_back(e);
            records += first == 1 ? 1 : e->Geometry->PointCount();
        }
        // Read from a deep copy: the graphics may change while the array is made.
        const auto copy = ao::As<ao::ElementCollection>(DeepClone(collection));
        if (!copy) throw no_object();
        const std::vector<ao::ElementRef>& copies = copy->Elements;
        // The record counter is 16 bits: the array holds at most 32767 records.
        if (records > 32767) throw VbError(6, "Trekfold_ArcMap", "Overflow");

        platform::VariantArray out(0, 7, 0, std::int32_t(records) + 1);
        const char* names[] = {"type", "ident", "lat", "long", "y_proj", "x_proj", "new_seg"};
        for (int f = 0; f < 7; ++f) out.at(f, 0) = Variant(names[f]);
        std::int32_t n = 0;
        auto append = [&](const char* type, ao::XY p, Variant new_seg) {
            ++n;
            out.at(0, n) = Variant(type);
            out.at(1, n) = Variant(platform::vb::CStr(n));
            out.at(2, n) = Variant("");
            out.at(3, n) = Variant("");
            out.at(4, n) = Variant(platform::plain_decimal(p.y));
            out.at(5, n) = Variant(platform::plain_decimal(p.x));
            out.at(6, n) = std::move(new_seg);
        };
        for (const auto& e : copies) {
            if (first == 1) {
                append("WAYPOINT", e->Geometry->Point(), Variant());
                continue;
            }
            bool first_vertex = true;
            for (const auto& part : e->Geometry->parts)
                for (const ao::XY& p : part) {
                    append("TRACK", p, Variant(first_vertex));
                    first_vertex = false;
                }
        }
        return Variant(std::move(out));
    } catch (const VbError& e) {
        trap(e, "CArcMap.Graphics_LoadFrom");
        return Variant();
    }
}

} // namespace trekfold_arcmap::detail
