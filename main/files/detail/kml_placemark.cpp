// CGPlacemark: one placemark's text, written and read by hand.
#include "main/files/kml.h"

#include "main/files/detail/kml_scan.h"
#include "main/files/gpx.h"
#include "platform/automation/vb_error.h"
#include "platform/text/vb.h"
#include "platform/ui/dialogs.h"

#include <algorithm>

namespace files {

namespace vb = platform::vb;
using platform::VbError;

namespace {

constexpr const char* kCrLf = "\r\n";

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// Name and description as element text: & < > escaped.
std::string escaped(const std::string& text)
{
    if (text.find_first_of("&<>") == std::string::npos)
        return text;
    std::string out;
    out.reserve(text.size() + 16);
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c;
        }
    }
    return out;
}

// Element text as plain text: CDATA sections as they stand, the rest with
// entities and references decoded; a tab, CR or LF becomes a blank.
std::string plain_text(std::string_view raw)
{
    std::string out;
    for (size_t i = 0; i < raw.size();) {
        size_t open = raw.find("<![CDATA[", i);
        out += XML_Decode(raw.substr(i, open == std::string_view::npos ? std::string_view::npos : open - i));
        if (open == std::string_view::npos)
            break;
        size_t end = raw.find("]]>", open + 9);
        for (char c : raw.substr(open + 9, end == std::string_view::npos ? std::string_view::npos : end - open - 9))
            out += (c == '\t' || c == '\r' || c == '\n') ? ' ' : c;
        if (end == std::string_view::npos)
            break;
        i = end + 3;
    }
    return out;
}

std::string ascii_lower(std::string_view s)
{
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c - 'A' + 'a');
    return out;
}

} // namespace

std::string CGPlacemark::Get_KMLHeader()
{
    return std::string("<?xml version=\"1.0\" encoding=\"UTF-8\"?>") + kCrLf +
           "<kml xmlns=\"http://earth.google.com/kml/2.1\">" + kCrLf + "<Document>" + kCrLf;
}

std::string CGPlacemark::Get_KMLFooter() { return std::string("</Document>") + kCrLf + "</kml>"; }

std::string CGPlacemark::Get_KMLString(std::string_view shape) const
{
    try {
        std::string kind = vb::LCase(shape);
        const char* geometry = kind == "point" ? "Point" : kind == "line" ? "LineString"
                             : kind == "polygon" ? "Polygon" : nullptr;
        if (!geometry)
            throw VbError(5, "CGPlacemark", "Invalid procedure call or argument");
        bool polygon = kind == "polygon";
        std::string lines;
        const std::string* first = nullptr;
        const std::string* last = nullptr;
        for (const auto& part : coords_) {
            for (const auto& c : part) {
                if (c.find(',') == std::string::npos)
                    continue;
                lines += c + kCrLf;
                if (!first)
                    first = &c;
                last = &c;
            }
            // Rings are closed by the placemark's first coordinate.
            if (polygon && first && *last != *first) {
                lines += *first + kCrLf;
                last = first;
            }
        }
        std::string g(geometry);
        std::string s = std::string("<Placemark>") + kCrLf + "  <name>" + escaped(name_) + "</name>" + kCrLf +
                        "  <description>" + escaped(description_) + "</description>" + kCrLf + "  <" + g + ">" +
                        kCrLf;
        if (polygon)
            s += std::string("    <outerBoundaryIs>") + kCrLf + "      <LinearRing>" + kCrLf +
                 "        <coordinates>" + kCrLf + "          " + lines + "        </coordinates>" + kCrLf +
                 "      </LinearRing>" + kCrLf + "    </outerBoundaryIs>" + kCrLf;
        else
            s += std::string("    <coordinates>") + kCrLf + "      " + lines + "    </coordinates>" + kCrLf;
        return s + "  </" + g + ">" + kCrLf + "</Placemark>" + kCrLf;
    } catch (const VbError& e) {
        if (dialogs_)
            dialogs_->MsgBox("Error Number: " + std::to_string(e.number) + ", " + e.description,
                             platform::vbExclamation, "CGPlacemark.Get_KMLString");
    }
    return {};
}

std::string_view CGPlacemark::Get_TagValue(std::string_view text, std::string_view tag)
{
    std::string name = vb::LCase(tag);
    if (!name.empty() && name.front() == '<')
        name.erase(0, 1);
    if (!name.empty() && name.back() == '>')
        name.pop_back();
    const std::string open = "<" + name, close = "</" + name + ">";
    for (size_t p = text.find(open); p != std::string_view::npos; p = text.find(open, p + 1)) {
        size_t after = p + open.size();
        // "<name" must not be the start of a longer element name.
        if (after < text.size() && text[after] != '>' && text[after] != '/' && !is_space(text[after]))
            continue;
        size_t gt = text.find('>', after);
        if (gt == std::string_view::npos || text[gt - 1] == '/')
            return {};
        size_t end = text.find(close, gt + 1);
        if (end == std::string_view::npos)
            return {};
        return text.substr(gt + 1, end - gt - 1);
    }
    return {};
}

void CGPlacemark::Define_FromKMLString(std::string_view text)
{
    for (std::string_view rest = text;;) {
        std::string_view value = Get_TagValue(rest, "coordinates");
        if (value.empty())
            break;
        std::vector<std::string> part;
        for (size_t i = 0; i < value.size();) {
            while (i < value.size() && is_space(value[i]))
                ++i;
            size_t j = i;
            while (j < value.size() && !is_space(value[j]))
                ++j;
            if (j > i)
                part.emplace_back(value.substr(i, j - i));
            i = j;
        }
        coords_.push_back(std::move(part));
        // On after this element's closing tag.
        size_t end = size_t(value.data() - rest.data()) + value.size() + 14;
        rest = rest.substr(std::min(end, rest.size()));
    }
    name_ = plain_text(Get_TagValue(text, "name"));
    description_ = plain_text(Get_TagValue(text, "description"));
    address_ = plain_text(Get_TagValue(text, "address"));
    style_ = plain_text(Get_TagValue(text, "styleurl"));
    visibility_ = std::int16_t(std::clamp(vb::Val(Get_TagValue(text, "visibility")), -32768.0, 32767.0));
    open_ = std::int16_t(std::clamp(vb::Val(Get_TagValue(text, "open")), -32768.0, 32767.0));
}

void detail::Placemarks_Find(std::string_view text, std::string_view geometry,
                             const std::function<bool(std::string_view)>& each)
{
    const std::string lower = ascii_lower(text);
    const std::string close = "</placemark>", wanted = "</" + std::string(geometry) + ">";
    const std::string_view low(lower);
    for (size_t p = low.find("<placemark"); p != std::string_view::npos; p = low.find("<placemark", p + 1)) {
        size_t after = p + 10;
        if (after < low.size() && low[after] != '>' && low[after] != '/' && !is_space(low[after]))
            continue;
        size_t end = low.find(close, after);
        if (end == std::string_view::npos)
            return;
        end += close.size();
        std::string_view body = low.substr(p, end - p);
        // A placemark inside another (no such KML) ends where the inner one does.
        if (size_t inner = body.find("<placemark", 1); inner != std::string_view::npos)
            continue;
        if (!geometry.empty() && body.find(wanted) != std::string_view::npos && !each(text.substr(p, end - p)))
            return;
        p = end - 1;
    }
}

} // namespace files
