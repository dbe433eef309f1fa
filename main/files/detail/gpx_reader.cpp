// The tolerant reader: not a conforming XML parser, but one that takes what
// receivers and other programs write, and damaged files, without losing the
// points it can see. Comments, CDATA sections, processing instructions and
// document types are skipped whole; closing tags close the innermost open
// element whatever their name; a file cut short keeps its open elements.
#include "main/files/detail/tree_access.h"
#include "main/files/detail/xml_text.h"
#include "platform/settings/ini.h"
#include "platform/text/vb.h"

#include <memory>
#include <vector>

namespace files::detail {

namespace {

// Deeper elements than this are not built (their texts go to the deepest
// one kept): GPX needs five levels, and the tree is written recursively.
constexpr size_t kMaxDepth = 200;

bool blank(char c) { return c == ' '; }

std::string_view trim(std::string_view s)
{
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool starts_folded(std::string_view text, size_t at, std::string_view prefix)
{
    return text.size() - at >= prefix.size() && platform::iequals(text.substr(at, prefix.size()), prefix);
}

// A "<" that can start a tag: a name character, "/", "!" or "?" follows.
bool tag_start(std::string_view text, size_t p)
{
    if (p + 1 >= text.size())
        return false;
    unsigned char c = (unsigned char)text[p + 1];
    return c == '/' || c == '!' || c == '?' || c == '_' || c == ':' || c >= 0x80 || (c >= 'a' && c <= 'z') ||
           (c >= 'A' && c <= 'Z');
}

// The ">" ending the start tag at p (a quoted value after "=" may hold
// ">"), or the "<" of the next tag when this one is never closed.
size_t start_tag_end(std::string_view text, size_t p)
{
    for (size_t i = p + 1; i < text.size(); ++i) {
        char c = text[i];
        if (c == '>')
            return i;
        if (c == '=') {
            size_t v = i + 1;
            while (v < text.size() && blank(text[v]))
                ++v;
            if (v < text.size() && (text[v] == '"' || text[v] == '\'')) {
                size_t close = text.find(text[v], v + 1);
                if (close == std::string_view::npos)
                    return text.find('>', p); // an unclosed quote: the first ">"
                i = close;
            }
        } else if (c == '<') {
            return i; // a tag left open: it ends where the next one starts
        }
    }
    return std::string_view::npos;
}

// The end ("]>" or ">") of a document type, which may hold an internal subset.
size_t doctype_end(std::string_view text, size_t p)
{
    int depth = 0;
    char quote = 0;
    for (size_t i = p + 2; i < text.size(); ++i) {
        char c = text[i];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '[') {
            ++depth;
        } else if (c == ']') {
            if (depth > 0)
                --depth;
        } else if (c == '>' && depth == 0) {
            return i;
        }
    }
    return std::string_view::npos;
}

struct Tag {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes;
};

// A start tag's inner text: the name, then name=value pairs; a value in
// matching single or double quotes loses them and may hold blanks and "=".
Tag Tag_Parse(std::string_view inner)
{
    Tag tag;
    size_t i = 0;
    while (i < inner.size() && !blank(inner[i]))
        ++i;
    tag.name = std::string(inner.substr(0, i));
    while (i < inner.size()) {
        while (i < inner.size() && blank(inner[i]))
            ++i;
        size_t name_start = i;
        while (i < inner.size() && !blank(inner[i]) && inner[i] != '=')
            ++i;
        std::string_view name = inner.substr(name_start, i - name_start);
        while (i < inner.size() && blank(inner[i]))
            ++i;
        if (i >= inner.size() || inner[i] != '=')
            continue; // a word without a value is no attribute
        ++i;
        while (i < inner.size() && blank(inner[i]))
            ++i;
        std::string_view value;
        if (i < inner.size() && (inner[i] == '"' || inner[i] == '\'')) {
            size_t close = inner.find(inner[i], i + 1);
            if (close == std::string_view::npos)
                close = inner.size();
            value = inner.substr(i + 1, close - i - 1);
            i = close + 1;
        } else {
            size_t start = i;
            while (i < inner.size() && !blank(inner[i]))
                ++i;
            value = inner.substr(start, i - start);
        }
        if (!name.empty())
            tag.attributes.emplace_back(std::string(name), value.find('"') == std::string_view::npos
                                                               ? std::string(value)
                                                               : platform::vb::Replace(value, "\"", "&quot;"));
    }
    return tag;
}

// The declaration as the tree keeps it: the tree holds UTF-8 and is written
// as UTF-8, so an encoding the file declared no longer applies.
std::string declaration(std::string_view tag)
{
    size_t e = tag.find("encoding");
    if (e == std::string_view::npos)
        return std::string(tag);
    size_t start = e;
    while (start > 0 && blank(tag[start - 1]))
        --start;
    size_t q = tag.find_first_of("\"'", e);
    size_t close = q == std::string_view::npos ? q : tag.find(tag[q], q + 1);
    if (close == std::string_view::npos)
        return std::string(tag);
    return std::string(tag.substr(0, start)) + std::string(tag.substr(close + 1));
}

} // namespace

void read_document(clsGPXType& root, std::string_view bytes)
{
    const std::string text = document_text(bytes);
    std::vector<clsGPXType::Ptr> open; // elements below the root, not yet attached
    bool started = false;               // the root's start tag has been read
    size_t skipped = 0;                 // open start tags deeper than kMaxDepth
    size_t last_tag_end = std::string::npos;

    auto current = [&]() -> clsGPXType& { return open.empty() ? root : *open.back(); };
    auto close_one = [&] {
        if (skipped > 0) {
            --skipped;
            return;
        }
        if (open.empty())
            return;
        clsGPXType::Ptr e = std::move(open.back());
        open.pop_back();
        clsGPXType* parent = e->Parent();
        std::string name = e->TypeString();
        parent->Element_Add(name, std::move(e));
    };
    auto close_all = [&] {
        skipped = 0;
        while (!open.empty())
            close_one();
    };

    size_t search = 0;
    for (;;) {
        size_t p = text.find('<', search);
        if (p == std::string::npos)
            break;
        search = p + 1;
        if (!tag_start(text, p))
            continue; // a "<" in text stays part of the text
        if (started && last_tag_end != std::string::npos && p > last_tag_end + 1) {
            std::string_view run = trim(std::string_view(text).substr(last_tag_end + 1, p - last_tag_end - 1));
            if (!run.empty() && skipped == 0) {
                std::string t(run);
                TreeAccess::set_text(current(), std::move(XML_Escape(t)));
            }
        }
        size_t end;
        char kind = text[p + 1];
        if (kind == '!' && text.compare(p, 4, "<!--") == 0) {
            end = text.find("-->", p + 4);
            if (end != std::string::npos)
                end += 2;
        } else if (kind == '!' && starts_folded(text, p, "<![CDATA[")) {
            end = text.find("]]>", p + 9);
            if (end == std::string::npos)
                break;
            if (started && skipped == 0)
                TreeAccess::set_text(current(), escape_all(trim(std::string_view(text).substr(p + 9, end - p - 9))));
            end += 2;
        } else if (kind == '!') {
            end = doctype_end(text, p);
        } else if (kind == '?') {
            end = text.find("?>", p + 2);
            if (end != std::string::npos) {
                ++end;
                if (starts_folded(text, p, "<?xml ") || starts_folded(text, p, "<?xml?"))
                    TreeAccess::set_header(root, declaration(std::string_view(text).substr(p, end - p + 1)));
            }
        } else if (kind == '/') {
            end = text.find('>', p);
            if (end != std::string::npos)
                close_one();
        } else {
            end = start_tag_end(text, p);
            if (end == std::string::npos)
                break;
            std::string_view inner = std::string_view(text).substr(p + 1, end - p - 1);
            if (text[end] == '<')
                --end; // the next tag is read next
            bool self_closing = !inner.empty() && inner.back() == '/';
            if (self_closing)
                inner.remove_suffix(1);
            Tag tag = Tag_Parse(inner);
            clsGPXType* element;
            if (!started || platform::iequals(tag.name, "gpx")) {
                // The document's root, or the GPX root met again: go back to it.
                close_all();
                started = true;
                element = &root;
            } else if (open.size() >= kMaxDepth || skipped > 0) {
                if (!self_closing)
                    ++skipped;
                element = nullptr;
            } else {
                auto child = std::make_shared<clsGPXType>();
                child->Parent(&current());
                open.push_back(child);
                element = child.get();
            }
            if (element) {
                element->TypeString(tag.name);
                for (auto& [name, value] : tag.attributes)
                    element->Attribute_Add(name, std::move(value));
                if (self_closing && element != &root)
                    close_one();
            }
        }
        if (end == std::string::npos)
            break;
        last_tag_end = end;
        search = end + 1;
    }
    // A file cut short: what was open still belongs to the document.
    close_all();
}

} // namespace files::detail
