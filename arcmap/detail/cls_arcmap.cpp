// clsArcMap: the window handle pair, the real-time position display, the
// projection services, and the members served elsewhere, which refuse.
#include "arcmap/detail/cls_arcmap.h"

#include "arcmap/detail/bas_arcmap_code.h"
#include "arcmap/trekfold_arcmap.h"

#include "platform/arcobjects/application.h"
#include "platform/text/vb.h"
#include "platform/ui/dialogs.h"

#include <cmath>
#include <vector>

namespace trekfold_arcmap {

namespace {

namespace ao = platform::arcobjects;
using platform::Variant;
using platform::VbError;

constexpr const char* kRealTimeLayer = "TREKFOLD_REALTIME";

// An optional argument: absent or left out gives the type's zero value.
const Variant* opt(const std::vector<Variant>& a, std::size_t i)
{
    return i < a.size() && !a[i].IsMissing() ? &a[i] : nullptr;
}
bool opt_bool(const std::vector<Variant>& a, std::size_t i) { return opt(a, i) ? opt(a, i)->ToBool() : false; }
double opt_double(const std::vector<Variant>& a, std::size_t i) { return opt(a, i) ? opt(a, i)->ToDouble() : 0; }
std::string opt_string(const std::vector<Variant>& a, std::size_t i)
{
    return opt(a, i) ? opt(a, i)->ToString() : std::string();
}

// Whole degrees, halves to the even neighbour.
double round_even(double v) { return std::nearbyint(v); }

// A pair item: numbers as they are, text read by its leading number.
double coordinate(const Variant& v)
{
    return v.Type() == platform::VarType::String ? platform::vb::Val(v.ToString()) : v.ToDouble();
}

const ao::SpatialReferenceRef& wgs84()
{
    // WGS 1984 never changes; it is made once.
    static const ao::SpatialReferenceRef gcs = ao::SpatialReference::FromCode(4326);
    return gcs;
}

VbError no_object() { return VbError(91, "Trekfold_ArcMap", "Object variable or With block variable not set"); }

class clsArcMap : public ao::Object {
public:
    clsArcMap();

    std::optional<platform::DispId> GetIDOfName(std::string_view name) const override { return members_.IdOf(name); }
    Variant Invoke(platform::DispId id, platform::InvokeKind kind, std::vector<Variant>& args) override
    {
        return members_.Invoke(id, kind, args);
    }
    void* QueryInterface(std::string_view iid) override
    {
        return platform::NameEquals(iid, IID__clsArcMap) ? static_cast<platform::Dispatch*>(this) : nullptr;
    }
    std::string Kind() const override { return "clsArcMap"; }

private:
    // --- the real-time display ---
    bool RT_SendPoint(double aLong, double aLat, double xProj, double yProj, double panPct, int aDisplay, bool toPan,
                      double anAzimuth, bool trackUp);
    void DataFrame_Refresh();
    void RT_Graphics_Delete();
    ao::GeometryRef Env2Polygon(const Variant& pEnv);
    bool RT_Get_GraphicLayer(const std::string& name);
    bool RT_SetPanZone(double panPct, bool toPan, const ao::GeometryRef& point);
    ao::GeometryRef Rotate_Polygon(ao::GeometryRef polygon, double angle);
    void RT_PanWindow(const ao::GeometryRef& point);
    // --- projection ---
    bool project_XYs(Variant& anArray, bool unProject, const std::string& srFile, const std::string& srDesc);
    bool Project_XY(Variant& x, Variant& y, bool unProject, const std::string& srFile, const std::string& srDesc);
    bool Project_Geometry(const ao::GeometryRef& geometry);

    // The host's application; raises 91 before the Open command was created.
    ao::MxApplication& app() const
    {
        const auto& a = basArcMapCode::Application();
        if (!a) throw no_object();
        return *a;
    }
    ao::Map& focus_map() const
    {
        const auto& m = app().Document()->FocusMap;
        if (!m) throw no_object();
        return *m;
    }
    ao::ActiveView& active_view() const
    {
        const auto& v = app().Document()->ActiveView();
        if (!v) throw no_object();
        return *v;
    }
    void trap(const VbError& e, const std::string& where) const
    {
        basArcMapCode::Box(basArcMapCode::Error_Text(e, where), platform::vbOKOnly);
    }

    platform::MemberTable members_;
    ao::GraphicsLayerRef rt_layer_;
    ao::ElementRef rt_marker_, pan_zone_;
    std::int32_t window_handle_ = -1;
};

clsArcMap::clsArcMap()
{
    int n = 0;
    auto add = [&](const char* name, int min, int max, platform::Member::Getter call) {
        members_.Add({name, clsArcMap_Id(++n), std::move(call), {}, {}, {}, min, max});
    };
    auto refuse = [](std::vector<Variant>&) -> Variant {
        throw VbError(445, "Trekfold_ArcMap", "Object doesn't support this action");
    };
    add("Set_WindowHandle", 1, 1, [this](std::vector<Variant>& a) {
        window_handle_ = a[0].ToInt32();
        return Variant();
    });
    add("Get_WindowHandle", 0, 0, [this](std::vector<Variant>&) { return Variant(window_handle_); });
    add("RT_SendPoint", 5, 11, [this](std::vector<Variant>& a) {
        return Variant(RT_SendPoint(a[0].ToDouble(), a[1].ToDouble(), a[2].ToDouble(), a[3].ToDouble(),
                                    a[4].ToDouble(), opt(a, 6) ? opt(a, 6)->ToInt16() : 0, opt_bool(a, 7),
                                    opt_double(a, 8), opt_bool(a, 10)));
    });
    add("DataFrame_Refresh", 0, 0, [this](std::vector<Variant>&) {
        DataFrame_Refresh();
        return Variant();
    });
    add("RT_Graphics_Delete", 0, 0, [this](std::vector<Variant>&) {
        RT_Graphics_Delete();
        return Variant();
    });
    add("Env2Polygon", 1, 1, [this](std::vector<Variant>& a) { return Variant(platform::ObjectRef(Env2Polygon(a[0]))); });
    add("project_XYs", 1, 4, [this](std::vector<Variant>& a) {
        return Variant(project_XYs(a[0], opt_bool(a, 1), opt_string(a, 2), opt_string(a, 3)));
    });
    add("Project_XY", 2, 5, [this](std::vector<Variant>& a) {
        return Variant(Project_XY(a[0], a[1], opt_bool(a, 2), opt_string(a, 3), opt_string(a, 4)));
    });
    add("Graphics_SaveTo", 5, 7, refuse);
    add("Shapefile_ToDataFrame", 1, 2, refuse);
    add("Graphics_LoadFrom", 0, 0, refuse);
    add("FeatureClass_ToGarmin", 0, 1, refuse);
    add("Set_Status", 1, 1, refuse);
    add("Save_ToGeodatabase", 4, 4, refuse);
    add("FeatureLayer_GetDataSourceName", 1, 1, refuse);
    add("FeatureLayer_Find", 1, 1, refuse);
    add("PlotCEP", 1, 1, refuse);
    add("DeepClone", 1, 1, refuse);
}

// --- the real-time display ------------------------------------------------

bool clsArcMap::RT_SendPoint(double aLong, double aLat, double xProj, double yProj, double panPct, int aDisplay,
                             bool toPan, double anAzimuth, bool trackUp)
{
    if (!basArcMapCode::Application()) return false;
    try {
        ao::MxApplication& a = app();
        if (!rt_layer_ && !RT_Get_GraphicLayer(kRealTimeLayer)) return false;

        auto point = ao::Geometry::MakePoint(aLong, aLat);
        if (!Project_Geometry(point)) point = ao::Geometry::MakePoint(xProj, yProj);

        ao::ElementRef previous; // the trail style's area of the last position
        if (!rt_marker_) {
            rt_marker_ = std::make_shared<ao::Element>(ao::ElementType::Marker);
            rt_marker_->marker.style = 0;
            rt_marker_->marker.color = {255, 0, 0};
            rt_marker_->marker.angle = anAzimuth;
            rt_marker_->Geometry = point;
            rt_layer_->AddElement(rt_marker_, 0);
        } else if (aDisplay == 2) {
            previous = rt_marker_->Clone();
            ao::ElementRef next = rt_marker_->Clone();
            rt_marker_->marker.size = std::nearbyint(rt_marker_->marker.size / 4);
            next->Geometry = point;
            next->marker.angle = anAzimuth;
            rt_layer_->AddElement(next, 0);
            rt_layer_->UpdateElement(next);
            rt_marker_ = next;
        } else {
            rt_marker_->Geometry = point;
            rt_marker_->marker.angle = anAzimuth;
        }

        double wanted = anAzimuth > 90 ? 450 - anAzimuth : 90 - anAzimuth;
        if (!trackUp) wanted = 0;
        bool rotated = false;
        if (std::abs(round_even(a.Rotation) - round_even(wanted)) > 5) {
            a.Rotation = wanted;
            rotated = true;
        }

        RT_SetPanZone(panPct, toPan, point);

        ao::ActiveView& view = active_view();
        if (view.RefreshFlag) return false;
        if (rotated) {
            view.Refresh();
        } else {
            const double margin = rt_marker_->marker.size + 10;
            auto area = [margin](const ao::ElementRef& e) {
                ao::Envelope env = e->Geometry->Extent();
                env.XMin -= margin, env.YMin -= margin, env.XMax += margin, env.YMax += margin;
                return env;
            };
            view.PartialRefresh(ao::esriViewGraphics, rt_marker_, area(rt_marker_));
            if (previous) view.PartialRefresh(ao::esriViewGraphics, previous, area(previous));
        }
        return true;
    } catch (const VbError& e) {
        trap(e, "CArcMap.RT_SendPoint");
        return false;
    }
}

void clsArcMap::DataFrame_Refresh() { active_view().Refresh(); }

void clsArcMap::RT_Graphics_Delete()
{
    try {
        ao::Map& map = focus_map();
        if (rt_layer_) map.BasicGraphicsLayer()->DeleteLayer(kRealTimeLayer);
        active_view().Refresh();
    } catch (const VbError& e) {
        trap(e, "Trekfold_ArcMap.RT_Graphics_Delete");
    }
    rt_layer_.reset();
    rt_marker_.reset();
    pan_zone_.reset();
}

ao::GeometryRef clsArcMap::Env2Polygon(const Variant& pEnv)
{
    const auto env = ao::As<ao::Geometry>(pEnv);
    if (!env) throw no_object();
    if (env->Type() != ao::GeometryType::Envelope) throw VbError(13, "Env2Polygon", "Type mismatch");
    auto polygon = ao::Geometry::PolygonOf(env->Extent());
    polygon->SpatialReference = env->SpatialReference;
    return polygon;
}

bool clsArcMap::RT_Get_GraphicLayer(const std::string& name)
{
    try {
        ao::Map& map = focus_map();
        const auto& basic = map.BasicGraphicsLayer();
        try {
            rt_layer_ = basic->FindLayer(name);
            map.ActiveGraphicsLayer = rt_layer_;
            return true;
        } catch (const VbError&) {
            // No such sub-layer yet.
        }
        if (!rt_layer_) {
            rt_layer_ = basic->AddLayer(name);
            map.ActiveGraphicsLayer = rt_layer_;
        }
        return rt_layer_ != nullptr;
    } catch (const VbError& e) {
        trap(e, "CArcMap.RT_Get_GraphicLayer");
        return false;
    }
}

bool clsArcMap::RT_SetPanZone(double panPct, bool toPan, const ao::GeometryRef& point)
{
    try {
        ao::ActiveView& view = *focus_map().View();
        ao::GraphicsLayer& container = *rt_layer_;
        if (!toPan) {
            if (!pan_zone_) return false;
            container.DeleteElement(pan_zone_);
            pan_zone_.reset();
            return true;
        }
        if (pan_zone_ && !pan_zone_->Geometry->Contains(point->Point())) RT_PanWindow(point);
        ao::Envelope env = view.Extent;
        env.Expand(panPct);
        auto polygon = Rotate_Polygon(ao::Geometry::PolygonOf(env), -app().Rotation);
        if (!polygon) return false;
        if (!pan_zone_) {
            pan_zone_ = std::make_shared<ao::Element>(ao::ElementType::Polygon);
            pan_zone_->fill.color = {0, 0, 0, 0};
            pan_zone_->fill.outline.color = {255, 0, 0, 150};
            pan_zone_->Geometry = polygon;
            container.AddElement(pan_zone_, 0);
            return true;
        }
        const ao::Envelope now = pan_zone_->Geometry->Extent(), next = polygon->Extent();
        if (now.XMin != next.XMin || now.XMax != next.XMax || now.YMin != next.YMin || now.YMax != next.YMax)
            pan_zone_->Geometry = polygon;
        return true;
    } catch (const VbError& e) {
        trap(e, "RT_SetPanZone");
        return false;
    }
}

ao::GeometryRef clsArcMap::Rotate_Polygon(ao::GeometryRef polygon, double angle)
{
    try {
        if (!polygon || polygon->IsEmpty()) return nullptr;
        const double pi = 4 * std::atan(1.0);
        polygon->Rotate(polygon->Centroid(), angle * pi / 180);
        return polygon;
    } catch (const VbError& e) {
        trap(e, "Rotate_Polygon");
        return nullptr;
    }
}

void clsArcMap::RT_PanWindow(const ao::GeometryRef& point)
{
    try {
        ao::ActiveView& view = active_view();
        ao::Envelope env = view.Extent;
        env.CenterAt(point->Point());
        view.Extent = env;
        view.Refresh();
    } catch (const VbError& e) {
        trap(e, "CArcMap.RT_PanWindow");
    }
}

// --- projection -----------------------------------------------------------

// The two systems of a projection call: nothing when there is no
// projection file to be had, or either system is not usable.
struct Systems {
    ao::SpatialReferenceRef from, to;
};

std::optional<Systems> systems_for(bool unProject, const std::string& srFile, const std::string& srDesc)
{
    std::string file = srFile;
    if (file.empty()) {
        if (srDesc.empty()) return std::nullopt;
        file = basArcMapCode::Write_PRJFile(srDesc);
    }
    auto gcs = ao::SpatialReference::FromCode(4326);
    auto pcs = ao::SpatialReference::FromFile(file);
    Systems s = unProject ? Systems{pcs, gcs} : Systems{gcs, pcs};
    if (!s.from || !s.to || !s.from->Usable() || !s.to->Usable()) return std::nullopt;
    return s;
}

bool clsArcMap::project_XYs(Variant& anArray, bool unProject, const std::string& srFile, const std::string& srDesc)
{
    try {
        const auto s = systems_for(unProject, srFile, srDesc);
        if (!s) return false;
        platform::VariantArray& outer = anArray.ArrayRef();
        const std::int32_t last = outer.UBound();
        // Pairs are read and converted together; a bad element fails the call
        // after the pairs before it were converted and written back.
        std::vector<double> xs, ys;
        xs.reserve(std::size_t(std::max(last + 1, 0))), ys.reserve(xs.capacity());
        std::optional<VbError> failure;
        try {
            for (std::int32_t i = 0; i <= last; ++i) {
                const platform::VariantArray& pair = outer.at(i).ToArray();
                const double x = coordinate(pair.at(0)), y = coordinate(pair.at(1));
                xs.push_back(x), ys.push_back(y);
            }
        } catch (const VbError& e) {
            failure = e;
        }
        std::size_t done = xs.size();
        const std::vector<double> x0 = xs, y0 = ys;
        try {
            ao::Project_Points(*s->from, *s->to, xs.data(), ys.data(), xs.size());
        } catch (const VbError& batch) {
            // Convert one by one up to the pair that fails the call.
            failure = batch;
            for (done = 0; done < xs.size(); ++done) {
                double x = x0[done], y = y0[done];
                try {
                    ao::Project_Points(*s->from, *s->to, &x, &y, 1);
                } catch (const VbError& e) {
                    failure = e;
                    break;
                }
                xs[done] = x, ys[done] = y;
            }
        }
        for (std::size_t i = 0; i < done; ++i) {
            platform::VariantArray& pair = outer.at(std::int32_t(i)).ArrayRef();
            pair.at(0) = Variant(xs[i]);
            pair.at(1) = Variant(ys[i]);
        }
        if (failure) throw *failure;
        return true;
    } catch (const VbError& e) {
        trap(e, "Project_XYs");
        return false;
    }
}

bool clsArcMap::Project_XY(Variant& x, Variant& y, bool unProject, const std::string& srFile,
                           const std::string& srDesc)
{
    try {
        const auto s = systems_for(unProject, srFile, srDesc);
        if (!s) return false;
        double px = x.ToDouble(), py = y.ToDouble();
        ao::Project_Points(*s->from, *s->to, &px, &py, 1);
        x = Variant(px);
        y = Variant(py);
        return true;
    } catch (const VbError& e) {
        basArcMapCode::Box(basArcMapCode::Error_Text(e, "Project_XY", "Error Projecting Lat/Long.  #: "),
                           platform::vbOKOnly);
        return false;
    }
}

bool clsArcMap::Project_Geometry(const ao::GeometryRef& geometry)
{
    try {
        const ao::SpatialReferenceRef& map_sr = focus_map().SpatialReference;
        if (!map_sr || !map_sr->Usable()) return false;
        geometry->SpatialReference = wgs84();
        geometry->Project(map_sr);
        geometry->SpatialReference = map_sr;
        return true;
    } catch (const VbError& e) {
        trap(e, "Project_Geometry");
        return false;
    }
}

} // namespace

platform::ObjectRef Create_clsArcMap() { return std::make_shared<clsArcMap>(); }

} // namespace trekfold_arcmap
