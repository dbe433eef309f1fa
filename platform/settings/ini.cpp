#include "platform/settings/ini.h"

#include <cstdio>

namespace platform {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim(std::string_view s) { return trim_blanks(s); }

// Whether a text must be quoted to read back unchanged. `stops` are the
// characters that end the text where it stands ("=" in a key, "]" in a name).
bool needs_quotes(std::string_view s, std::string_view stops)
{
    if (s.empty())
        return false;
    if (is_blank(s.front()) || is_blank(s.back()))
        return true;
    char first = s.front();
    if (first == '"' || first == ';' || first == '#' || first == '[')
        return true;
    for (unsigned char c : s) {
        if (c < 0x20 || c == 0x7f)
            return true;
        if (stops.find(char(c)) != std::string_view::npos)
            return true;
    }
    return false;
}

void append_quoted(std::string& out, std::string_view s)
{
    static const char hex[] = "0123456789ABCDEF";
    out += '"';
    for (unsigned char c : s) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7f) {
                out += "\\x";
                out += hex[c >> 4];
                out += hex[c & 15];
            } else {
                out += char(c);
            }
        }
    }
    out += '"';
}

void append_text(std::string& out, std::string_view s, std::string_view stops)
{
    if (needs_quotes(s, stops))
        append_quoted(out, s);
    else
        out += s;
}

int hex_digit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    c = ascii_lower(c);
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Reads a quoted text starting at s[pos] == '"'. On success sets pos past
// the closing quote and returns true.
bool read_quoted(std::string_view s, size_t& pos, std::string& out)
{
    size_t i = pos + 1;
    out.clear();
    while (i < s.size()) {
        char c = s[i];
        if (c == '"') {
            pos = i + 1;
            return true;
        }
        if (c != '\\') {
            out += c;
            ++i;
            continue;
        }
        if (i + 1 >= s.size())
            return false;
        char e = s[i + 1];
        i += 2;
        switch (e) {
        case '"': out += '"'; break;
        case '\\': out += '\\'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'x': {
            if (i + 2 > s.size())
                return false;
            int h = hex_digit(s[i]), l = hex_digit(s[i + 1]);
            if (h < 0 || l < 0)
                return false;
            out += char(h * 16 + l);
            i += 2;
            break;
        }
        default: return false;
        }
    }
    return false;
}

// A name or value: quoted (nothing but blanks may follow) or bare (trimmed).
bool read_text(std::string_view s, std::string& out)
{
    s = trim(s);
    if (!s.empty() && s.front() == '"') {
        size_t pos = 0;
        if (!read_quoted(s, pos, out))
            return false;
        return trim(s.substr(pos)).empty();
    }
    out.assign(s);
    return true;
}

// Removes the item that `name` (any case) indexes from both `items` and
// `index`, moving the later positions down.
template <class T>
bool erase_indexed(std::unordered_map<std::string, size_t>& index, std::vector<T>& items, std::string_view name)
{
    auto it = index.find(ascii_lower(name));
    if (it == index.end())
        return false;
    size_t at = it->second;
    index.erase(it);
    items.erase(items.begin() + std::ptrdiff_t(at));
    for (auto& [k, pos] : index)
        if (pos > at)
            --pos;
    return true;
}

} // namespace

const std::string* IniSection::get(std::string_view key) const
{
    auto it = index_.find(ascii_lower(key));
    return it == index_.end() ? nullptr : &entries[it->second].second;
}

void IniSection::put(std::string key, std::string value)
{
    auto [it, added] = index_.try_emplace(ascii_lower(key), entries.size());
    if (added)
        entries.emplace_back(std::move(key), std::move(value));
    else
        entries[it->second].second = std::move(value);
}

bool IniSection::erase(std::string_view key) { return erase_indexed(index_, entries, key); }

const IniSection* IniDocument::find(std::string_view section) const
{
    auto it = index_.find(ascii_lower(section));
    return it == index_.end() ? nullptr : &sections[it->second];
}

IniSection* IniDocument::find(std::string_view section)
{
    return const_cast<IniSection*>(static_cast<const IniDocument*>(this)->find(section));
}

const std::string* IniDocument::value(std::string_view section, std::string_view key) const
{
    const IniSection* s = find(section);
    return s ? s->get(key) : nullptr;
}

IniSection& IniDocument::section(std::string_view name)
{
    auto [it, added] = index_.try_emplace(ascii_lower(name), sections.size());
    if (added)
        sections.emplace_back(std::string(name));
    return sections[it->second];
}

bool IniDocument::erase(std::string_view section) { return erase_indexed(index_, sections, section); }

IniDocument parse_ini(std::string_view text)
{
    IniDocument doc;
    IniSection* current = nullptr;
    size_t pos = 0;
    // One line; false when it is not understood (and so not kept).
    auto read_line = [&](std::string_view line) -> bool {
        if (line.front() == ';' || line.front() == '#')
            return false;
        if (line.front() == '[') {
            std::string name;
            if (line.back() != ']' || line.size() < 2 || !read_text(line.substr(1, line.size() - 2), name)) {
                current = nullptr; // an unreadable header: its lines go with it
                return false;
            }
            current = &doc.section(name);
            return true;
        }
        if (!current)
            return false;
        // The key ends at the first "=" outside quotes.
        std::string key;
        std::string_view rest;
        if (line.front() == '"') {
            size_t p = 0;
            if (!read_quoted(line, p, key))
                return false;
            std::string_view after = trim(line.substr(p));
            if (after.empty() || after.front() != '=')
                return false;
            rest = after.substr(1);
        } else {
            size_t eq = line.find('=');
            if (eq == std::string_view::npos)
                return false;
            key.assign(trim(line.substr(0, eq)));
            rest = line.substr(eq + 1);
        }
        std::string value;
        if (!read_text(rest, value))
            return false;
        current->put(std::move(key), std::move(value));
        return true;
    };
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (!line.empty() && !read_line(line))
            ++doc.skipped_lines;
    }
    return doc;
}

std::string write_ini(const IniDocument& doc)
{
    std::string out;
    for (const auto& s : doc.sections) {
        if (s.entries.empty())
            continue;
        out += '[';
        append_text(out, s.name, "]");
        out += "]\n";
        for (const auto& e : s.entries) {
            append_text(out, e.first, "=");
            out += '=';
            append_text(out, e.second, "");
            out += '\n';
        }
        out += '\n';
    }
    return out;
}

} // namespace platform
