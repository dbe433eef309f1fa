// The machine registry as the program reads it: a read-only view of values
// by key path and value name. Here the "registry" is an INI file named by
// the environment variable TREKFOLD_REGISTRY, one section per key path
// ("[SOFTWARE\ESRI\ArcGIS]", names ignoring case) and "name=value" lines;
// without that variable (the default) every value is absent.
#pragma once

#include <string>

namespace platform {

// The value `name` under `key_path`; "" when the key or value is missing.
std::string Reg_GetValue(const std::string& key_path, const std::string& name);

} // namespace platform
