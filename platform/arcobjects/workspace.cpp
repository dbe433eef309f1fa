#include "platform/arcobjects/workspace.h"

#include "platform/automation/vb_error.h"

namespace platform::arcobjects {

WorkspaceRef ShapefileWorkspaceFactory::OpenFromFile(const std::string& folder)
{
    throw VbError(5, "ShapefileWorkspaceFactory", "Cannot open " + folder);
}

WorkspaceRef FileGDBWorkspaceFactory::OpenFromFile(const std::string& path)
{
    throw VbError(5, "FileGDBWorkspaceFactory", "Cannot open " + path);
}

WorkspaceRef AccessWorkspaceFactory::OpenFromFile(const std::string&)
{
    throw VbError(429, "AccessWorkspaceFactory",
                  "Personal geodatabases (.mdb) cannot be opened here; use a file geodatabase (.gdb)");
}

WorkspaceRef Open_Workspace(const std::string& path)
{
    auto ends = [&](const char* ext) {
        const std::string e(ext);
        if (path.size() < e.size()) return false;
        for (std::size_t i = 0; i < e.size(); ++i)
            if (std::tolower(static_cast<unsigned char>(path[path.size() - e.size() + i])) != e[i]) return false;
        return true;
    };
    std::string p = path;
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    if (ends(".mdb")) return AccessWorkspaceFactory::OpenFromFile(p);
    if (ends(".gdb")) return FileGDBWorkspaceFactory::OpenFromFile(p);
    return ShapefileWorkspaceFactory::OpenFromFile(p);
}

} // namespace platform::arcobjects
