#include "platform/registry/registry.h"

#include "platform/settings/settings.h"

#include <cstdlib>

namespace platform {

std::string Reg_GetValue(const std::string& key_path, const std::string& name)
{
    const char* file = std::getenv("TREKFOLD_REGISTRY");
    if (!file || !*file) return {};
    // Read only: the view never saves, so the file is never rewritten.
    const Settings view(file, "registry");
    std::string value = view.GetSetting(key_path, name);
    // A text value ends at its first NUL.
    return value.substr(0, value.find('\0'));
}

} // namespace platform
