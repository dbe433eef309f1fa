#include "platform/profile/profile.h"

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace platform {
namespace {

std::string_view trim(std::string_view s)
{
    std::size_t a = 0, z = s.size();
    while (a < z && (s[a] == ' ' || s[a] == '\t')) ++a;
    while (z > a && (s[z - 1] == ' ' || s[z - 1] == '\t' || s[z - 1] == '\r')) --z;
    return s.substr(a, z - a);
}

bool iequal(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

bool read_file(const std::string& file, std::string& out)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) return false;
    in.seekg(0, std::ios::end);
    std::streamoff n = in.tellg();
    if (n < 0 || static_cast<std::size_t>(n) > max_profile_bytes) return false;
    in.seekg(0);
    out.resize(static_cast<std::size_t>(n));
    in.read(out.data(), n);
    return static_cast<bool>(in) || in.gcount() == n;
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
            in_section = iequal(name, trim(section));
            continue;
        }
        if (!in_section) continue;
        std::string_view t = trim(line);
        if (t.empty() || t.front() == ';') continue;
        std::string_view k, v;
        if (entry(line, k, v) && iequal(k, want)) {
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

    std::string text;
    struct stat st{};
    if (::stat(file.c_str(), &st) == 0 && !read_file(file, text)) return false;

    std::string new_line(k);
    new_line += '=';
    if (needs_quotes(value)) {
        new_line += '"';
        new_line += value;
        new_line += '"';
    } else {
        new_line += value;
    }

    std::vector<std::string_view> lines = split_lines(text);
    std::vector<std::string> out;
    out.reserve(lines.size() + 2);
    bool in_section = false, seen_section = false, done = false;
    std::size_t last_in_section = 0;  // index in `out` after the section's last entry
    for (std::string_view line : lines) {
        std::string_view name;
        if (header_name(line, name)) {
            if (in_section && !done) {
                out.insert(out.begin() + static_cast<std::ptrdiff_t>(last_in_section), new_line);
                done = true;
            }
            in_section = !done && iequal(name, trim(section));
            if (in_section) seen_section = true;
            out.emplace_back(line);
            if (in_section) last_in_section = out.size();
            continue;
        }
        std::string_view kk, vv;
        if (in_section && !done && entry(line, kk, vv) && iequal(kk, k)) {
            out.push_back(new_line);
            done = true;
            continue;
        }
        out.emplace_back(line);
        if (in_section && !trim(line).empty()) last_in_section = out.size();
    }
    if (!done) {
        if (seen_section && in_section) {
            out.insert(out.begin() + static_cast<std::ptrdiff_t>(last_in_section), new_line);
        } else {
            out.push_back("[" + std::string(trim(section)) + "]");
            out.push_back(new_line);
        }
    }
    std::string result;
    for (const std::string& l : out) {
        result += l;
        if (l.empty() || l.back() != '\r') {
            if (text.find("\r\n") != std::string::npos) result += '\r';
        }
        result += '\n';
    }

    std::string tmp = file + ".tmp" + std::to_string(::getpid());
    {
        std::ofstream o(tmp, std::ios::binary | std::ios::trunc);
        if (!o) return false;
        o.write(result.data(), static_cast<std::streamsize>(result.size()));
        o.flush();
        if (!o) {
            std::remove(tmp.c_str());
            return false;
        }
    }
    if (std::rename(tmp.c_str(), file.c_str()) != 0) {
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

} // namespace platform
