// Field catalogue and definition lists: the parsing and lookups behind the
// table's field operations, free of the grid and the settings store.
#pragma once

#include "main/table/table.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace flxgrd::detail {

// One stored list, split into entries and their ":"-separated items.
struct FieldList {
    struct Entry {
        std::vector<std::string> items;
        std::string name_upper;  // item 1, upper case
        std::string alias_upper; // item 3, upper case (empty when absent)
        bool has_alias() const { return items.size() >= 3; }
        const std::string& name() const;
        // The alias, or the name when the entry has no third item.
        const std::string& alias_or_name() const;
        // Only "0" hides; an entry without a visible item counts as shown.
        bool visible() const { return items.size() < 2 || items[1] != "0"; }
    };
    std::vector<Entry> entries;
};

FieldList parse_list(std::string_view text);
// Whether the repair keeps a stored list of this type.
bool list_is_whole(std::string_view type, std::string_view stored);

using flxgrd::kRecordTypes;

// What Field_GetInfo collects for one text: the keys in the order added, and
// the error that stopped an entry (number, description), if any.
struct FieldInfo {
    std::vector<std::pair<std::string, std::string>> values;
    std::optional<std::pair<int, std::string>> error;
    const std::string* get(std::string_view key) const;
};
FieldInfo field_info(const FieldList& list, std::string_view text, bool by_alias);

} // namespace flxgrd::detail
