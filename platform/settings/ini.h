// The settings file's text form: sections of key=value lines.
//
//   [section]
//   key=value
//
// Names and values are written bare when they read back unchanged, otherwise
// between double quotes with backslash escapes (\" \\ \n \r \t \xHH), so any
// text round-trips: leading or trailing blanks, "=", ",", ":", line breaks.
// Lines starting with ";" or "#" are comments. The reader is bounded: it
// never reads past the text, skips lines it cannot understand and keeps
// everything else.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

struct IniSection {
    std::string name;
    std::vector<std::pair<std::string, std::string>> entries; // key, value in file order
};

struct IniDocument {
    std::vector<IniSection> sections;
    // Lines the reader did not keep: comments, unreadable lines, lines
    // before the first section or under an unreadable header.
    int skipped_lines = 0;
    // Case-insensitive (ASCII) lookups; nullptr when absent.
    const IniSection* find(std::string_view section) const;
    IniSection* find(std::string_view section);
    const std::string* value(std::string_view section, std::string_view key) const;
};

// Reads a document. Repeated sections are merged; a repeated key keeps the
// last value. Lines before the first section header are ignored.
IniDocument parse_ini(std::string_view text);
std::string write_ini(const IniDocument& doc);

bool iequals(std::string_view a, std::string_view b);

} // namespace platform
