// clsArcMap: a shapefile the main program wrote, given its measures and a
// fresh spatial index, and shown as a layer of the focus map.
#include "arcmap/detail/arcmap_object.h"

#include "platform/arcobjects/workspace.h"

namespace trekfold_arcmap::detail {

void clsArcMap::FeatureClass_AddSpatialIndex(ao::FeatureClass& fc)
{
    const std::string shape = fc.ShapeFieldName();
    for (const ao::Index& index : fc.Indexes())
        if (std::find(index.Fields.begin(), index.Fields.end(), shape) != index.Fields.end()) {
            fc.DeleteIndex(index.Name);
            break;
        }
    fc.AddIndex(ao::Index{"idx_spatial", {shape}});
}

void clsArcMap::Shapefile_ToDataFrame(const std::string& aSource, bool DoNotAddToDataFrame)
{
    try {
        const auto slash = aSource.rfind('/');
        const std::string folder = slash == std::string::npos ? std::string() : aSource.substr(0, slash + 1);
        const std::string name = slash == std::string::npos ? aSource : aSource.substr(slash + 1);
        ao::FeatureClassRef fc = ao::ShapefileWorkspaceFactory::OpenFromFile(folder)->OpenFeatureClass(name);
        Calculate_AcresMiles(fc);
        FeatureClass_AddSpatialIndex(*fc);
        if (DoNotAddToDataFrame || !basArcMapCode::Application()) return;
        auto layer = std::make_shared<ao::FeatureLayer>();
        layer->FeatureClass = fc;
        layer->Name = fc->AliasName();
        FeatureLayer_Add(layer);
    } catch (const VbError& e) {
        trap(e, "clsArcMap.Save_ToShapefile");
    }
}

} // namespace trekfold_arcmap::detail
