// clsArcMap: the "Area", "Perimeter" and "Length" attributes of line and
// polygon classes, in metres (squared) times the multipliers the settings
// keep.
#include "arcmap/detail/arcmap_object.h"

#include "platform/arcobjects/geometry_ops.h"
#include "platform/text/vb.h"

namespace trekfold_arcmap::detail {

namespace {

// A multiplier setting; a value that is no number counts as 1.
double multiplier(const char* key)
{
    const std::string text = basArcMapCode::Field_Setting(key, "1");
    return platform::vb::IsNumeric(text) ? platform::vb::CDbl(text) : 1;
}

// The measure field `name`, added as double (15, 3) when the class lacks it.
int measure_field(ao::FeatureClass& fc, const std::string& name)
{
    if (fc.FindField(name) < 0) {
        ao::Field f;
        f.Name = name;
        f.Type = ao::esriFieldTypeDouble;
        f.Precision = 15;
        f.Scale = 3;
        fc.AddField(f);
    }
    return fc.FindField(name);
}

} // namespace

void clsArcMap::Calculate_AcresMiles(const ao::FeatureClassRef& fc)
{
    try {
        const bool area = basArcMapCode::Field_Setting("am_area", "0") == "1";
        const bool length = basArcMapCode::Field_Setting("am_length", "0") == "1";
        if (!area && !length) return;
        const ao::GeometryType type = fc->ShapeType();
        if (type != ao::GeometryType::Polyline && type != ao::GeometryType::Polygon) return;

        std::optional<ao::LinearUnit> unit;
        bool use_map = false;
        const ao::SpatialReferenceRef own = fc->SpatialReference();
        if (own && own->Type() != ao::SpatialReferenceKind::Geographic && own->FactoryCode() != 104000 &&
            own->FactoryCode() != 0) {
            unit = own->Unit();
        } else {
            if (!basArcMapCode::Application())
                throw VbError(2, "Calculate_AcresMiles",
                              "A PRJ file must be associated with this shapefile or have "
                              "Arcmap running with a projected data frame in order to Calculate Area/Length for "
                              "this layer.");
            const ao::SpatialReferenceRef& map_sr = focus_map().SpatialReference;
            if (!map_sr || map_sr->FactoryCode() == 0 || map_sr->Type() == ao::SpatialReferenceKind::Geographic) {
                basArcMapCode::Box("Cannot calculate area and distance values without projection information.\r\n"
                                   "Please set the Dataframe projection properties",
                                   platform::vbCritical, "Dataframe Projection Not Set");
                return;
            }
            unit = map_sr->Unit();
            use_map = true;
        }
        if (!unit) return;
        if (type == ao::GeometryType::Polygon && area) Calculate_Area(fc, use_map, *unit);
        if (length) Calculate_Length(fc, use_map, *unit);
    } catch (const VbError& e) {
        basArcMapCode::Box(basArcMapCode::Error_Text(e, "clsArcMap.Save_ToShapefile"), platform::vbOKOnly);
    }
}

// Each feature's measure: -1 for no shape, else `measure` of a copy, in the
// focus map's system when `use_map`, times metres per unit to `power`.
template <class Measure>
static void fill_measure(clsArcMap& self, const ao::FeatureClassRef& fc, const std::string& name, bool use_map,
                         const ao::LinearUnit& unit, const char* multiplier_key, int power, bool stop_at_first,
                         Measure measure)
{
    auto report = [](const VbError& e) {
        basArcMapCode::Box("Error # " + std::to_string(e.number) + " : " + e.description, platform::vbOKOnly);
    };
    std::unique_ptr<ao::FeatureCursor> cursor;
    int index = -1;
    try {
        index = measure_field(*fc, name);
        cursor = fc->Update();
    } catch (const VbError& e) {
        return report(e);
    }
    const double factor = multiplier(multiplier_key) * (power == 2 ? unit.meters * unit.meters : unit.meters);
    ao::SpatialReferenceRef target;
    if (use_map) target = self.focus_map().SpatialReference;
    while (true) {
        ao::FeatureRef f;
        try {
            f = cursor->NextFeature();
        } catch (const VbError& e) {
            return report(e); // a cursor that cannot go on ends the walk
        }
        if (!f) return;
        try {
            double value = -1;
            if (f->Shape && !f->Shape->IsEmpty()) {
                ao::GeometryRef copy = f->Shape->Clone();
                if (!copy->SpatialReference) copy->SpatialReference = fc->SpatialReference();
                if (target && copy->SpatialReference) {
                    copy->Project(target);
                    copy->SpatialReference = target;
                }
                value = measure(*copy) * factor;
            }
            f->set_Value(index, Variant(value));
            cursor->UpdateFeature(*f);
        } catch (const VbError& e) {
            report(e);
            if (stop_at_first) return;
        }
    }
}

void clsArcMap::Calculate_Area(const ao::FeatureClassRef& fc, bool use_map, const ao::LinearUnit& unit)
{
    fill_measure(*this, fc, "Area", use_map, unit, "am_area_multiplier", 2, false,
                 [](const ao::Geometry& g) { return ao::Area(g); });
}

void clsArcMap::Calculate_Length(const ao::FeatureClassRef& fc, bool use_map, const ao::LinearUnit& unit)
{
    const char* name = fc->ShapeType() == ao::GeometryType::Polygon ? "Perimeter" : "Length";
    fill_measure(*this, fc, name, use_map, unit, "am_length_multiplier", 1, true,
                 [](const ao::Geometry& g) { return ao::Length(g); });
}

} // namespace trekfold_arcmap::detail
