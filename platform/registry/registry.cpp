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

std::optional<RegValue> Parse_Registry_Value(std::string_view stored)
{
    RegValue v;
    auto hex_digit = [](char c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    };
    if (stored.substr(0, 6) == "dword:") {
        std::string_view digits = stored.substr(6);
        if (digits.empty() || digits.size() > 8) return std::nullopt;
        for (char c : digits) {
            int d = hex_digit(c);
            if (d < 0) return std::nullopt;
            v.number = (v.number << 4) | static_cast<std::uint32_t>(d);
        }
        v.type = 4;
        return v;
    }
    if (stored.substr(0, 4) == "hex(") {
        std::size_t close = stored.find(')');
        if (close == std::string_view::npos || close == 4 || close > 12 || close + 1 >= stored.size() ||
            stored[close + 1] != ':')
            return std::nullopt;
        int type = 0;
        for (char c : stored.substr(4, close - 4)) {
            int d = hex_digit(c);
            if (d < 0) return std::nullopt;
            type = type * 16 + d;
            if (type > 0xffff) return std::nullopt;
        }
        v.type = type;
        return v;
    }
    for (std::size_t i = 0; i < stored.size(); ++i) {
        if (stored[i] == '\\' && i + 1 < stored.size() && stored[i + 1] == '0') {
            v.text.push_back('\0');
            ++i;
        } else {
            v.text.push_back(stored[i]);
        }
    }
    return v;
}

std::string Reg_GetValue(const std::string& key_path, const std::string& name)
{
    return Registry::Machine().Value("HKEY_LOCAL_MACHINE", key_path, name).value_or("");
}

} // namespace platform
