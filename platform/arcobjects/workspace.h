// Workspaces: where feature classes live, opened through a factory.
//
//   ShapefileWorkspaceFactory  a folder; its classes are "name.shp"
//   FileGDBWorkspaceFactory    a ".gdb" folder (GDAL's OpenFileGDB); a class
//                              inside a feature dataset is opened by its
//                              own name from the geodatabase
//   AccessWorkspaceFactory     personal geodatabases (.mdb): GDAL writes no
//                              Access files, so opening one raises 429
//
// Opening fails with VbError (source the factory's name) naming the path.
#pragma once

#include "platform/arcobjects/features.h"

#include <memory>
#include <string>
#include <vector>

namespace platform::arcobjects {

class Workspace : public Object {
public:
    static constexpr const char* IID = "arcobjects.IFeatureWorkspace";

    virtual std::string PathName() const = 0;
    // By name, any case ("roads" or "roads.shp" in a folder). Throws VbError
    // 5 (source "OpenFeatureClass") when there is no such class.
    virtual FeatureClassRef OpenFeatureClass(const std::string& name) = 0;
    // Every feature class's name (shapefiles with ".shp").
    virtual std::vector<std::string> FeatureClassNames() const = 0;

    std::string Kind() const override { return "workspace"; }
    void* QueryInterface(std::string_view iid) override;
};

using WorkspaceRef = std::shared_ptr<Workspace>;

namespace ShapefileWorkspaceFactory {
// A folder (a trailing "/" allowed). Throws VbError 5 when it is none.
WorkspaceRef OpenFromFile(const std::string& folder);
}

namespace FileGDBWorkspaceFactory {
// A ".gdb" folder. Throws VbError 5 when GDAL cannot open it for writing.
WorkspaceRef OpenFromFile(const std::string& path);
}

namespace AccessWorkspaceFactory {
// Always throws VbError 429, source "AccessWorkspaceFactory",
// "Personal geodatabases (.mdb) cannot be opened here; use a file geodatabase (.gdb)".
WorkspaceRef OpenFromFile(const std::string& path);
}

// The workspace of a path by its kind: ".gdb" and ".mdb" by their factories,
// anything else as a shapefile folder.
WorkspaceRef Open_Workspace(const std::string& path);
// A class by its dataset's full name: "/data/roads.shp", "/data/f.gdb/Tracks"
// or "/data/f.gdb/Survey/Tracks" (a feature dataset's class from the
// geodatabase itself).
FeatureClassRef Open_Feature_Class(const std::string& full_name);

} // namespace platform::arcobjects
