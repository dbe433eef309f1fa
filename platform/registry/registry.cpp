#include "platform/registry/registry.h"

#include "platform/settings/ini.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

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
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    if (in) s << in.rdbuf();
    return From_Text(s.str());
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

} // namespace platform
