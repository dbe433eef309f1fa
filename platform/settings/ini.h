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

#include "platform/text/ascii.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace platform {

class IniSection {
public:
    explicit IniSection(std::string section_name = {}) : name(std::move(section_name)) {}

    std::string name;
    std::vector<std::pair<std::string, std::string>> entries; // key, value in file order; change through put/erase

    // The value of a key (ignoring case); nullptr when absent.
    const std::string* get(std::string_view key) const;
    // Sets a key's value; a new key goes at the end, a known one keeps its
    // first spelling and its place.
    void put(std::string key, std::string value);
    // Removes a key; false when it was not there.
    bool erase(std::string_view key);

private:
    std::unordered_map<std::string, std::size_t> index_; // lower-case key -> position in entries
};

class IniDocument {
public:
    std::vector<IniSection> sections; // in file order; change through section/erase
    // Lines the reader did not keep: comments, unreadable lines, lines
    // before the first section or under an unreadable header.
    int skipped_lines = 0;

    // Case-insensitive (ASCII) lookups; nullptr when absent.
    const IniSection* find(std::string_view section) const;
    IniSection* find(std::string_view section);
    const std::string* value(std::string_view section, std::string_view key) const;
    // The section of that name, added at the end when there is none.
    IniSection& section(std::string_view name);
    // Removes a section; false when it was not there.
    bool erase(std::string_view section);

private:
    std::unordered_map<std::string, std::size_t> index_; // lower-case name -> position in sections
};

// Reads a document. Repeated sections are merged; a repeated key keeps the
// last value. Lines before the first section header are ignored. Time and
// memory are linear in the size of the text.
IniDocument parse_ini(std::string_view text);
std::string write_ini(const IniDocument& doc);

} // namespace platform
