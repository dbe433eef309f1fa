// clsArcMap: the CEP calculator's result drawn into the focus map, the
// data frame's units, and deep copies of the map's objects.
#include "arcmap/detail/arcmap_object.h"

#include "platform/arcobjects/geometry_ops.h"
#include "platform/arcobjects/services.h"
#include "platform/automation/class_registry.h"
#include "platform/text/vb.h"

namespace trekfold_arcmap::detail {

namespace {

void error_box(const VbError& e)
{
    basArcMapCode::Box("Error # " + std::to_string(e.number) + " : " + e.description, platform::vbCritical, "ERROR");
}

Variant item(const platform::ObjectRef& collection, const char* key)
{
    return platform::CallByName(*collection, "Item", {Variant(key)});
}

} // namespace

void clsArcMap::PlotCEP(const Variant& calculateCollection)
{
    try {
        ao::MxApplication& a = app();
        ao::MxDocument& document = *a.Document();
        a.MousePointer = 11;
        try {
            const platform::ObjectRef cep = calculateCollection.ToObject();
            if (!cep) throw no_object();
            const Variant coordinates = item(cep, "Coordinates");
            const platform::VariantArray& c = coordinates.ToArray();
            const std::int32_t lb = c.LBound();
            auto point = ao::Geometry::MakePoint(c.at(lb).ToDouble(), c.at(lb + 1).ToDouble());
            if (!Project_Geometry(point)) point = ao::Geometry::MakePoint(c.at(lb + 2).ToDouble(), c.at(lb + 3).ToDouble());

            ao::GraphicsLayer& container = graphics_container();
            auto marker = std::make_shared<ao::Element>(ao::ElementType::Marker);
            marker->Geometry = point;
            container.AddElement(marker, 0);

            // The metres per unit come from the first conversion (the unit,
            // or the dialog's number), so the dialog is shown at most once
            // and a radius of 0 m gives an empty circle.
            double per_unit = 0;
            for (const char* key : {"50", "90", "95", "98"}) {
                const double radius = ConvertMetersToDataFrameUnits(item(cep, key).ToDouble(), document, per_unit);
                if (radius == -1) break;
                auto circle = std::make_shared<ao::Element>(ao::ElementType::Polygon);
                circle->Geometry = ao::Make_Circle(point->Point(), radius);
                circle->fill.color.transparency = 0;
                container.AddElement(circle, 0);
            }
            active_view().PartialRefresh(ao::esriViewGraphics, nullptr, ao::Envelope());
        } catch (...) {
            a.MousePointer = 0;
            throw;
        }
        a.MousePointer = 0;
    } catch (const VbError& e) {
        basArcMapCode::Box(Source_Text(e, " -- CArcMap.PlotCEP"), platform::vbOKOnly, "Error");
    }
}

double clsArcMap::ConvertMetersToDataFrameUnits(double meters, ao::MxDocument& document, double& metersPerUnit)
{
    if (metersPerUnit != 0) return meters / metersPerUnit;
    ao::SpatialReferenceRef sr;
    if (document.FocusMap) sr = document.FocusMap->SpatialReference;
    if (!sr || sr->Type() == ao::SpatialReferenceKind::Geographic) {
        error_box(VbError(555, "ConvertMetersToDataFrameUnits",
                          "Cannot plot CEP without a projected Data Frame.\r\n"
                          "Please set the Dataframe projection properties and try again."));
        return -1;
    }
    double per_unit = 0;
    if (sr->Type() != ao::SpatialReferenceKind::Projected)
        error_box(VbError(13, "ConvertMetersToDataFrameUnits", "Type mismatch")); // no projected system to read
    if (sr->Type() == ao::SpatialReferenceKind::Projected && sr->Unit()) {
        per_unit = sr->Unit()->meters;
    } else {
        frmDataFrameUnits& form = units_form_;
        if (!form.loaded) form.Form_Load();
        form.visible = true;
        // A queued answer (the headless host, tests) is applied to the form;
        // without one a person answers the window itself.
        if (const platform::LibraryServices* s = basArcMapCode::Services(); s && s->show_modal &&
                                                                            !Show_DataFrameUnits_View(form))
            s->show_modal(form.Window());
        ao::HostServices* services = app().Services;
        const std::string answer = services ? services->Window_Answer("frmDataFrameUnits") : std::string();
        if (!answer.empty()) form.Answer(answer);
        else if (form.visible) form.Unload();
        if (form.Tag == "OK") {
            try {
                per_unit = platform::vb::CDbl(form.tbxUnits);
            } catch (const VbError& e) {
                error_box(e);
            }
        }
    }
    if (per_unit == 0) return -1;
    metersPerUnit = per_unit;
    return meters / per_unit;
}

platform::ObjectRef clsArcMap::DeepClone(const platform::ObjectRef& pPS)
{
    try {
        return ao::Copy_Object(pPS);
    } catch (const VbError& e) {
        error_box(e);
        return nullptr;
    }
}

} // namespace trekfold_arcmap::detail
