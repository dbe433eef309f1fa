#include "main/coords/catalogue.h"

#include "platform/automation/vb_error.h"
#include "platform/text/vb.h"

#include <algorithm>

namespace coords {

namespace vb = platform::vb;

namespace {

[[noreturn]] void invalid_call(const char* source)
{
    throw platform::VbError(5, source, "Invalid procedure call or argument");
}

} // namespace

void ProjectionCatalogue::add_line(std::string_view line)
{
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!line.empty() && line.front() == '#') {
        // "# group / name / ignored"
        std::vector<std::string> pieces = vb::Split(line.substr(1), "/");
        group_ = pieces.empty() ? std::string() : vb::Trim(pieces[0]);
        name_ = pieces.size() > 1 ? vb::Trim(pieces[1]) : std::string();
        if (name_.empty()) name_ = "No Projection";
        return;
    }
    // The code runs from the second character up to the first ">".
    std::size_t close = line.find('>');
    if (close == std::string_view::npos || close < 1) invalid_call("frmMain.LoadProjections");
    std::string code(line.substr(1, close - 1));

    if (!index_.count(code)) index_.emplace(code, ProjectionEntry{code, group_, name_, std::string(line)});

    Group& g = groups_[group_];
    g.last = ++sequence_;
    if (!g.by_name.count(name_)) {
        g.by_name.emplace(name_, g.names.size());
        g.names.emplace_back(name_, std::string(line));
    }
    group_.clear();
    name_.clear();
}

std::vector<ProjectionGroup> ProjectionCatalogue::groups() const
{
    std::vector<std::pair<std::size_t, const std::string*>> order;
    order.reserve(groups_.size());
    for (const auto& [name, g] : groups_) order.emplace_back(g.last, &name);
    std::sort(order.begin(), order.end());
    std::vector<ProjectionGroup> out;
    out.reserve(order.size());
    for (const auto& [last, name] : order) out.push_back({*name, groups_.at(*name).names});
    return out;
}

const ProjectionEntry* ProjectionCatalogue::find(const std::string& code) const
{
    auto it = index_.find(code);
    return it == index_.end() ? nullptr : &it->second;
}

std::string definition_parameters(std::string_view line)
{
    std::string out;
    for (const std::string& token : vb::Split(line, " ")) {
        if (token.empty() || token.front() != '+') continue;
        if (!out.empty()) out += ' ';
        out += token;
    }
    return out;
}

std::string arcmap_projection_name(std::string_view text)
{
    static constexpr std::string_view kMarker = "projcs[\"";
    if (text.empty()) return {};
    std::size_t start = text.find(kMarker);
    if (start != std::string_view::npos) {
        start += kMarker.size();
        std::size_t end = text.find('"', start);
        if (end == std::string_view::npos) invalid_call("frmMain.getProjectionName");
        return std::string(text.substr(start, end - start));
    }
    // Real projection files write PROJCS/GEOGCS in capitals: their first
    // quoted text is the system's name.
    std::size_t open = text.find('"');
    if (open == std::string_view::npos) return {};
    std::size_t end = text.find('"', open + 1);
    if (end == std::string_view::npos) return {};
    return std::string(text.substr(open + 1, end - open - 1));
}

} // namespace coords
