// The machine's registry values (install folders, tool paths), read only.
// Here they live in an INI file, absent by default: a section per key, named
// with its root ("HKEY_LOCAL_MACHINE\SOFTWARE\Microsoft\Shared Tools\MSINFO"),
// holding string values ("PATH=/usr/bin/tool"). Names ignore case.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

class Registry {
public:
    // The file named by TREKFOLD_REGISTRY, else
    // $XDG_CONFIG_HOME/trekfold/registry.ini (or ~/.config/...); no file
    // means no values.
    static Registry Machine();
    // A registry over INI text (tests).
    static Registry From_Text(std::string_view ini_text);

    // The string value `value` of `key` under `root`; nullopt when absent.
    std::optional<std::string> Value(std::string_view root, std::string_view key, std::string_view value) const;

private:
    std::string text_;
};

// A stored value as the registry gives it: "dword:HHHHHHHH" is a 32-bit
// number (type 4), "hex(N):..." a value of another type N (2: expandable
// text), anything else a text (type 1) in which "\0" stands for a NUL.
struct RegValue {
    int type = 1;
    std::string text;       // type 1: the text, NULs included
    std::uint32_t number = 0; // type 4
};
// nullopt for a "dword:" or "hex(" value that is malformed.
std::optional<RegValue> Parse_Registry_Value(std::string_view stored);

// A string value of the machine's HKEY_LOCAL_MACHINE key `key_path`
// ("SOFTWARE\ESRI\ArcGIS"); "" when the key or value is missing.
std::string Reg_GetValue(const std::string& key_path, const std::string& name);

} // namespace platform
