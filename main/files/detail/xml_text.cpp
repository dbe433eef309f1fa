#include "main/files/detail/xml_text.h"

#include "main/files/gpx.h"
#include "platform/text/cp1252.h"
#include "platform/text/vb.h"

#include <cstdint>

namespace files::detail {

namespace {

// Length of the valid UTF-8 sequence at i, 0 when the bytes there are not one.
size_t utf8_sequence(std::string_view s, size_t i)
{
    auto b = [&](size_t k) { return (unsigned char)s[k]; };
    unsigned char c = b(i);
    if (c < 0x80)
        return 1;
    size_t n;
    unsigned long code;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
        code = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        code = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        code = c & 0x07;
    } else {
        return 0;
    }
    if (i + n > s.size())
        return 0;
    for (size_t k = 1; k < n; ++k) {
        if ((b(i + k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (b(i + k) & 0x3F);
    }
    if ((n == 3 && code < 0x800) || (n == 4 && (code < 0x10000 || code > 0x10FFFF)) ||
        (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return n;
}

std::string utf16_to_utf8(std::string_view bytes, bool big_endian)
{
    std::string out;
    out.reserve(bytes.size());
    auto unit = [&](size_t i) -> unsigned {
        unsigned a = (unsigned char)bytes[i], b = (unsigned char)bytes[i + 1];
        return big_endian ? (a << 8) | b : (b << 8) | a;
    };
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        unsigned long u = unit(i);
        if (u >= 0xD800 && u <= 0xDBFF && i + 3 < bytes.size()) {
            unsigned long low = unit(i + 2);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                append_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (low - 0xDC00));
                i += 2;
                continue;
            }
        }
        append_utf8(out, u);
    }
    return out;
}

// The encoding named in the XML declaration at the start, lower case; "".
std::string declared_encoding(std::string_view text)
{
    size_t p = 0;
    while (p < text.size() && (text[p] == ' ' || text[p] == '\t' || text[p] == '\r' || text[p] == '\n'))
        ++p;
    if (text.substr(p, 5) != "<?xml")
        return {};
    size_t end = text.find("?>", p);
    if (end == std::string_view::npos)
        return {};
    std::string_view decl = text.substr(p, end - p);
    size_t e = decl.find("encoding");
    if (e == std::string_view::npos)
        return {};
    e = decl.find('=', e);
    if (e == std::string_view::npos)
        return {};
    ++e;
    while (e < decl.size() && decl[e] == ' ')
        ++e;
    if (e >= decl.size() || (decl[e] != '"' && decl[e] != '\''))
        return {};
    size_t close = decl.find(decl[e], e + 1);
    if (close == std::string_view::npos)
        return {};
    return platform::vb::LCase(decl.substr(e + 1, close - e - 1));
}

bool single_byte_encoding(const std::string& name)
{
    for (const char* n : {"windows-1252", "cp1252", "iso-8859-1", "iso8859-1", "latin1", "latin-1",
                          "iso-8859-15", "us-ascii", "ascii"})
        if (name == n)
            return true;
    return false;
}

std::string blanks_for_breaks(std::string text)
{
    // In place: the text only shrinks (CR LF becomes one blank).
    size_t w = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        text[w++] = (c == '\r' || c == '\n' || c == '\t') ? ' ' : c;
    }
    text.resize(w);
    return text;
}

} // namespace

void append_utf8(std::string& out, unsigned long code)
{
    if (code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        code = 0xFFFD;
    if (code < 0x80) {
        out += char(code);
    } else if (code < 0x800) {
        out += char(0xC0 | (code >> 6));
        out += char(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
        out += char(0xE0 | (code >> 12));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    } else {
        out += char(0xF0 | (code >> 18));
        out += char(0x80 | ((code >> 12) & 0x3F));
        out += char(0x80 | ((code >> 6) & 0x3F));
        out += char(0x80 | (code & 0x3F));
    }
}

bool valid_utf8(std::string_view bytes)
{
    for (size_t i = 0; i < bytes.size();) {
        size_t n = utf8_sequence(bytes, i);
        if (n == 0)
            return false;
        i += n;
    }
    return true;
}

std::string repair_utf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        size_t n = utf8_sequence(bytes, i);
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
        } else {
            out.append(bytes.substr(i, n));
            i += n;
        }
    }
    return out;
}

std::string document_text(std::string_view bytes)
{
    auto starts = [&](std::string_view prefix) { return bytes.substr(0, prefix.size()) == prefix; };
    if (starts("\xEF\xBB\xBF"))
        return blanks_for_breaks(repair_utf8(bytes.substr(3)));
    if (starts("\xFF\xFE"))
        return blanks_for_breaks(utf16_to_utf8(bytes.substr(2), false));
    if (starts("\xFE\xFF"))
        return blanks_for_breaks(utf16_to_utf8(bytes.substr(2), true));
    if (starts(std::string_view("<\0?\0", 4)))
        return blanks_for_breaks(utf16_to_utf8(bytes, false));
    if (starts(std::string_view("\0<\0?", 4)))
        return blanks_for_breaks(utf16_to_utf8(bytes, true));
    std::string encoding = declared_encoding(bytes);
    if (single_byte_encoding(encoding))
        return blanks_for_breaks(platform::cp1252_to_utf8(bytes));
    if (encoding.empty() || encoding == "utf-8" || encoding == "utf8") {
        if (valid_utf8(bytes))
            return blanks_for_breaks(std::string(bytes));
        if (!encoding.empty())
            return blanks_for_breaks(repair_utf8(bytes));
    } else if (valid_utf8(bytes)) {
        return blanks_for_breaks(std::string(bytes));
    }
    // Older files: undeclared bytes that are not UTF-8 are the Windows code page.
    return blanks_for_breaks(platform::cp1252_to_utf8(bytes));
}

std::string escape_all(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '\'': out += "&apos;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

} // namespace files::detail

namespace files {

namespace {

constexpr std::string_view kEntities[][2] = {
    {"amp", "&"}, {"lt", "<"}, {"gt", ">"}, {"apos", "'"}, {"quot", "\""}};

// Length of the entity or numeric reference starting with the "&" at i
// (through its ";"), with the code it stands for; 0 when there is none.
size_t reference_at(std::string_view s, size_t i, std::string_view& named, unsigned long& code)
{
    named = {};
    size_t semi = s.find(';', i + 1);
    if (semi == std::string_view::npos || semi - i > 12)
        return 0;
    std::string_view body = s.substr(i + 1, semi - i - 1);
    for (const auto& e : kEntities)
        if (body == e[0]) {
            named = e[1];
            return semi - i + 1;
        }
    if (body.size() < 2 || body[0] != '#')
        return 0;
    bool hex = body[1] == 'x';
    std::string_view digits = body.substr(hex ? 2 : 1);
    if (digits.empty() || digits.size() > (hex ? 6u : 7u))
        return 0;
    code = 0;
    for (char c : digits) {
        int v;
        if (c >= '0' && c <= '9')
            v = c - '0';
        else if (hex && c >= 'a' && c <= 'f')
            v = c - 'a' + 10;
        else if (hex && c >= 'A' && c <= 'F')
            v = c - 'A' + 10;
        else
            return 0;
        code = code * (hex ? 16 : 10) + unsigned(v);
    }
    // Only references to characters a document may hold count as references.
    bool character = code == 0x9 || code == 0xA || code == 0xD || (code >= 0x20 && code <= 0xD7FF) ||
                     (code >= 0xE000 && code <= 0xFFFD) || (code >= 0x10000 && code <= 0x10FFFF);
    return character ? semi - i + 1 : 0;
}

} // namespace

std::string& XML_Escape(std::string& text)
{
    bool plain = true;
    for (char c : text)
        if (c == '&' || c == '<' || c == '>' || c == '\'' || c == '"' || ((unsigned char)c < 0x20 && c != '\t' &&
                                                                             c != '\r' && c != '\n'))
            plain = false;
    if (plain)
        return text;
    std::string out;
    out.reserve(text.size() + 16);
    std::string_view named;
    unsigned long code;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        switch (c) {
        case '&':
            out += reference_at(text, i, named, code) ? "&" : "&amp;";
            break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '\'': out += "&apos;"; break;
        case '"': out += "&quot;"; break;
        default:
            // Other control characters have no place in an XML document.
            out += ((unsigned char)c < 0x20 && c != '\t' && c != '\r' && c != '\n') ? ' ' : c;
        }
    }
    text = std::move(out);
    return text;
}

std::string XML_Decode(std::string_view s)
{
    if (s.find_first_of("&\t\r\n") == std::string_view::npos)
        return std::string(s);
    std::string out;
    out.reserve(s.size());
    std::string_view named;
    unsigned long code = 0;
    for (size_t i = 0; i < s.size(); ++i) {
        char c = s[i];
        if (c == '&') {
            if (size_t n = reference_at(s, i, named, code)) {
                if (!named.empty())
                    out += named;
                else if (code == 9 || code == 10 || code == 13)
                    out += ' ';
                else
                    detail::append_utf8(out, code);
                i += n - 1;
                continue;
            }
        }
        out += (c == '\t' || c == '\r' || c == '\n') ? ' ' : c;
    }
    return out;
}

} // namespace files
