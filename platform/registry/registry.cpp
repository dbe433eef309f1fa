#include "platform/registry/registry.h"

#include "platform/settings/ini.h"
#include "platform/settings/stored_file.h"

#include <cstdlib>

namespace platform {

Registry Registry::Machine()
{
    std::string path;
    if (const char* p = std::getenv("TREKFOLD_REGISTRY"); p && *p) {
        path = p;
    } else {
        const char* xdg = std::getenv("XDG_CONFIG_HOME");
        const char* home = std::getenv("HOME");
        if (xdg && *xdg) path = std::string(xdg) + "/trekfold/registry.ini";
        else if (home && *home) path = std::string(home) + "/.config/trekfold/registry.ini";
    }
    std::string text, why;
    if (path.empty() || read_stored_file(path, max_stored_file_bytes, text, why) != ReadResult::Read) text.clear();
    return From_Text(text);
}

Registry Registry::From_Text(std::string_view ini_text)
{
    Registry r;
    r.text_ = ini_text;
    return r;
}

std::optional<std::string> Registry::Value(std::string_view root, std::string_view key, std::string_view value) const
{
    const IniDocument doc = parse_ini(text_);
    const std::string* v = doc.value(std::string(root) + "\\" + std::string(key), value);
    if (!v) return std::nullopt;
    return *v;
}

std::string Reg_GetValue(const std::string& key_path, const std::string& name)
{
    return Registry::Machine().Value("HKEY_LOCAL_MACHINE", key_path, name).value_or("");
}

} // namespace platform
