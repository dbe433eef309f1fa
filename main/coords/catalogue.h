// The projection catalogue: the projection list files "epsg" and "esri"
// read into groups (group -> name -> definition line) and an index (code ->
// code, group, name and the code's own definition line).
//
// A list file holds description lines ("# NAD83 / UTM zone 15N": group
// "NAD83", name "UTM zone 15N") each followed by one definition line
// ("<26915> +proj=utm ... +no_defs  no_defs <>"). The settings dialog shows
// the groups; conversions read the definition through the index.
#pragma once

#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace coords {

struct ProjectionEntry {
    std::string code, group, name;
    std::string definition; // the code's own definition line
};

struct ProjectionGroup {
    std::string group;
    // Names in the order of their first definition, with the first
    // definition line filed under each.
    std::vector<std::pair<std::string, std::string>> names;
};

class ProjectionCatalogue {
public:
    // Files one line of a list file. A definition line without a code (no
    // ">" after its first character, an empty line too) throws VbError 5
    // "Invalid procedure call or argument"; what was filed before stays.
    void add_line(std::string_view line);

    // The groups, ordered by the position of each one's last definition.
    std::vector<ProjectionGroup> groups() const;
    // The entry of a code (the first definition of it), or nullptr.
    const ProjectionEntry* find(const std::string& code) const;
    std::size_t size() const { return index_.size(); }

private:
    struct Group {
        std::size_t last = 0; // sequence number of the group's last definition
        std::vector<std::pair<std::string, std::string>> names;
        std::unordered_map<std::string, std::size_t> by_name;
    };
    std::string group_, name_; // of the description line that applies next
    std::size_t sequence_ = 0;
    std::unordered_map<std::string, Group> groups_;
    std::unordered_map<std::string, ProjectionEntry> index_;
};

// The PROJ definition of a definition line: its tokens that begin with "+",
// joined by single blanks.
std::string definition_parameters(std::string_view line);

// The display name of a projection text of the ArcMap mode: the text after
// the marker projcs[" up to the next double quote; without the marker, the
// first double-quoted text; "" when the text is empty or holds none. A marker
// without a closing quote throws VbError 5.
std::string arcmap_projection_name(std::string_view text);

} // namespace coords
