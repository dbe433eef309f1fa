// ArcExplorer's class and its document interface, found through
// Dispatch::QueryInterface: the first method shows the shapefile at `path`
// (by reference) in the running ArcExplorer.
#pragma once

#include <string>

namespace platform {

inline constexpr const char* IID_ArcExplorer = "{9BFF60D3-59B1-11D4-9FC0-00C04F8ECE6F}";
inline constexpr const char* CLSID_ArcExplorer = "{9BFF60D4-59B1-11D4-9FC0-00C04F8ECE6F}";

class ArcExplorerDocument {
public:
    virtual ~ArcExplorerDocument() = default;
    virtual bool AddShapefile(std::string& path, bool flag) = 0;
};

} // namespace platform
