#include "platform/profile/profile.h"

#include "platform/settings/stored_file.h"
#include "platform/text/ascii.h"

#include <vector>

namespace platform {
namespace {

using platform::iequals;

std::string_view trim(std::string_view s) { return trim_blanks(s); }

bool read_file(const std::string& file, std::string& out)
{
    std::string reason;
    return read_stored_file(file, max_profile_bytes, out, reason) == ReadResult::Read;
}

std::vector<std::string_view> split_lines(std::string_view text)
{
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t nl = text.find('\n', start);
        if (nl == std::string_view::npos) nl = text.size();
        lines.push_back(text.substr(start, nl - start));
        start = nl + 1;
    }
    return lines;
}

// A section header's name, or nothing when the line is not one.
bool header_name(std::string_view line, std::string_view& name)
{
    std::string_view t = trim(line);
    if (t.size() < 2 || t.front() != '[') return false;
    std::size_t close = t.find(']');
    if (close == std::string_view::npos) return false;
    name = trim(t.substr(1, close - 1));
    return true;
}

// Splits "key=value"; false for a line without "=".
bool entry(std::string_view line, std::string_view& key, std::string_view& value)
{
    std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return false;
    key = trim(line.substr(0, eq));
    value = trim(line.substr(eq + 1));
    return true;
}

std::string_view unquote(std::string_view v)
{
    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front())
        return v.substr(1, v.size() - 2);
    return v;
}

bool needs_quotes(std::string_view v)
{
    if (v.empty()) return false;
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (blank(v.front()) || blank(v.back())) return true;
    return v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front();
}

} // namespace

std::string GetPrivateProfileString(std::string_view section, std::string_view key, std::string_view deflt,
                                    std::size_t size, const std::string& file, bool* found)
{
    if (found) *found = false;
    auto limit = [&](std::string_view v) { return std::string(v.substr(0, size ? size - 1 : 0)); };
    std::string text;
    if (!read_file(file, text)) return limit(deflt);
    std::string_view want = trim(key);
    bool in_section = false;
    for (std::string_view line : split_lines(text)) {
        std::string_view name;
        if (header_name(line, name)) {
            in_section = iequals(name, trim(section));
            continue;
        }
        if (!in_section) continue;
        std::string_view t = trim(line);
        if (t.empty() || t.front() == ';') continue;
        std::string_view k, v;
        if (entry(line, k, v) && iequals(k, want)) {
            if (found) *found = true;
            return limit(unquote(v));
        }
    }
    return limit(deflt);
}

bool WritePrivateProfileString(std::string_view section, std::string_view key, std::string_view value,
                               const std::string& file)
{
    std::string_view k = trim(key);
    if (k.empty() || k.front() == '[' || k.front() == ';' || k.find('=') != std::string_view::npos) return false;
    for (std::string_view s : {section, key, value})
        if (s.find('\n') != std::string_view::npos || s.find('\r') != std::string_view::npos) return false;

    std::string text, reason;
    if (read_stored_file(file, max_profile_bytes, text, reason) == ReadResult::Failed) return false;

    std::string new_line(k);
    new_line += '=';
    if (needs_quotes(value)) {
        new_line += '"';
        new_line += value;
        new_line += '"';
    } else {
        new_line += value;
    }

    // One pass over the lines, copying them as they are and putting the
    // new line in place of the key's line, or after the section's last
    // entry, or in a new section at the end.
    const bool crlf = text.find("\r\n") != std::string::npos;
    std::string result;
    result.reserve(text.size() + new_line.size() + section.size() + 8);
    auto emit = [&](std::string_view line) {
        result += line;
        if (crlf && (line.empty() || line.back() != '\r')) result += '\r';
        result += '\n';
    };
    bool in_section = false, done = false;
    std::size_t insert_at = std::string::npos; // in `result`, after the section's last entry
    for (std::string_view line : split_lines(text)) {
        std::string_view name;
        if (header_name(line, name)) {
            if (in_section && !done) {
                result.insert(insert_at, new_line + (crlf ? "\r\n" : "\n"));
                done = true;
            }
            in_section = !done && iequals(name, trim(section));
            emit(line);
            if (in_section) insert_at = result.size();
            continue;
        }
        std::string_view kk, vv;
        if (in_section && !done && entry(line, kk, vv) && iequals(kk, k)) {
            emit(new_line);
            done = true;
            continue;
        }
        emit(line);
        if (in_section && !trim(line).empty()) insert_at = result.size();
    }
    if (!done) {
        if (in_section) {
            result.insert(insert_at, new_line + (crlf ? "\r\n" : "\n"));
        } else {
            emit("[" + std::string(trim(section)) + "]");
            emit(new_line);
        }
    }
    return save_stored_file(file, result, reason, 0644);
}

} // namespace platform
