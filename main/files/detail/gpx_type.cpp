#include "main/files/gpx.h"

#include "main/files/detail/tree_access.h"
#include "main/files/detail/xml_text.h"
#include "main/table/table.h"
#include "platform/automation/vb_error.h"
#include "platform/settings/ini.h"
#include "platform/settings/stored_file.h"
#include "platform/text/vb.h"
#include "platform/ui/dialogs.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace files {

namespace vb = platform::vb;
using platform::iequals;
using platform::VbError;

namespace {

constexpr const char* kCreator = "Trekfold - https://trekfold.org";
constexpr const char* kGpx10 = "http://www.topografix.com/GPX/1/0";
// A file bigger than this holds far more points than the table can take.
constexpr off_t kMaxFileSize = off_t(1) << 30;

VbError file_error(int err) { return platform::FileError(err); }

// Runs the work of a file operation; an error of it becomes the box
// "Error Number: n, description" under the title, and False.
template <class Work>
bool boxed(platform::Dialogs* dialogs, const char* title, Work&& work)
{
    int number = 0;
    std::string description;
    try {
        work();
        return true;
    } catch (const VbError& e) {
        number = e.number;
        description = e.description;
    } catch (const std::bad_alloc&) {
        number = 7;
        description = "Out of memory";
    }
    if (dialogs)
        dialogs->MsgBox("Error Number: " + std::to_string(number) + ", " + description, platform::vbExclamation,
                        title);
    return false;
}

} // namespace

struct clsGPXType::Extra {
    std::string header;
    std::int32_t wpt = 0, trk = 0, rte = 0;
    Ptr route, track, segment;
    platform::Dialogs* dialogs = nullptr;
};

clsGPXType::clsGPXType(platform::Dialogs* dialogs)
{
    if (dialogs)
        extra().dialogs = dialogs;
}
clsGPXType::~clsGPXType() = default;

clsGPXType::Extra& clsGPXType::extra()
{
    if (!extra_)
        extra_ = std::make_unique<Extra>();
    return *extra_;
}

const std::string& clsGPXType::mainHeader() const
{
    static const std::string none;
    return extra_ ? extra_->header : none;
}
std::int32_t clsGPXType::Waypoints_Count() const { return extra_ ? extra_->wpt : 0; }
std::int32_t clsGPXType::Tracks_Count() const { return extra_ ? extra_->trk : 0; }
std::int32_t clsGPXType::Routes_Count() const { return extra_ ? extra_->rte : 0; }

void TreeAccess::set_header(clsGPXType& e, std::string header) { e.extra().header = std::move(header); }

void clsGPXType::Description(std::string& text) { text_ = XML_Escape(text); }

void clsGPXType::Attribute_Add(const std::string& name, std::string value)
{
    if (value.find('"') != std::string::npos)
        value = vb::Replace(value, "\"", "");
    XML_Escape(value);
    for (auto& a : attrs_)
        if (a.first == name) {
            a.second = std::move(value);
            return;
        }
    attrs_.emplace_back(name, std::move(value));
}

std::string clsGPXType::Attribute_Get(const std::string& name) const
{
    for (const auto& a : attrs_)
        if (a.first == name)
            return '"' + a.second + '"';
    return {};
}

void clsGPXType::Element_Add(const std::string& entry, Ptr child)
{
    if (iequals(entry, "wpt"))
        ++extra().wpt;
    else if (iequals(entry, "trk"))
        ++extra().trk;
    else if (iequals(entry, "rte"))
        ++extra().rte;
    child->Parent(this);
    if (children_.empty())
        children_.reserve(4); // a point's usual children in one allocation
    children_.emplace_back(entry, std::move(child));
}

std::vector<clsGPXType::Ptr> clsGPXType::Elements_Get(const std::string& name) const
{
    std::vector<Ptr> out;
    for (const auto& c : children_)
        if (iequals(c.second->name_, name))
            out.push_back(c.second);
    return out;
}

clsGPXType::Ptr clsGPXType::Element_Get(const std::string& name) const
{
    for (const auto& c : children_)
        if (iequals(c.first, name))
            return c.second;
    return nullptr;
}

std::string clsGPXType::Element_GetDescription(const std::string& name) const
{
    for (auto it = children_.rbegin(); it != children_.rend(); ++it)
        if (iequals(it->first, name))
            return it->second->text_;
    return {};
}

std::vector<std::string> clsGPXType::Object_GetInformation(const std::vector<std::string>& names) const
{
    std::vector<std::string> out;
    out.reserve(names.size());
    for (const auto& n : names) {
        std::string v = Element_GetDescription(n);
        if (v.empty())
            v = Attribute_Get(n);
        if (v.find('"') != std::string::npos)
            v = vb::Replace(v, "\"", "");
        out.push_back(std::move(v));
    }
    return out;
}

// --- writing ------------------------------------------------------------------

void clsGPXType::write(std::string& out, int depth) const
{
    if (!mainHeader().empty()) {
        out += mainHeader();
        out += "\r\n";
    }
    out.append(size_t(depth), ' ');
    out += '<';
    out += name_;
    for (const auto& [name, value] : attrs_) {
        if (attrs_.size() > 2) {
            out += "\r\n";
            out.append(size_t(depth) + 1, ' ');
        } else {
            out += ' ';
        }
        out += name;
        out += "=\"";
        out += value;
        out += '"';
    }
    out += '>';
    out += text_;
    for (const auto& c : children_) {
        out += "\r\n";
        out.append(size_t(depth), ' ');
        c.second->write(out, depth + 1);
    }
    if (children_.size() >= 2) {
        out += "\r\n";
        out.append(size_t(depth), ' ');
    }
    out += "</";
    out += name_;
    out += '>';
}

std::string clsGPXType::gpxString() const
{
    int depth = 0;
    for (const clsGPXType* p = parent_; p && depth < 1000; p = p->parent_)
        ++depth;
    std::string out;
    write(out, depth);
    return out;
}

void clsGPXType::GPX_SetHeader()
{
    extra().header = "<?xml version=\"1.0\"?>";
    name_ = "gpx";
    Attribute_Add("version", "1.0");
    Attribute_Add("creator", kCreator);
    Attribute_Add("xmlns:xsi", "http://www.w3.org/2001/XMLSchema-instance");
    Attribute_Add("xmlns", kGpx10);
    // The gpxx: elements of the points need their prefix declared.
    Attribute_Add("xmlns:gpxx", "http://www.garmin.com/xmlschemas/GpxExtensions/v3");
    Attribute_Add("xsi:schemaLocation", std::string(kGpx10) + " http://www.topografix.com/GPX/1/0/gpx.xsd");

    const char* user = std::getenv("USER");
    std::string author = vb::UCase(user ? user : "");
    auto a = std::make_shared<clsGPXType>();
    a->TypeString("author");
    a->Description(author);
    Element_Add("author", a);

    std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%SZ", &utc);
    std::string when = stamp;
    auto t = std::make_shared<clsGPXType>();
    t->TypeString("time");
    t->Description(when);
    Element_Add("time", t);
}

bool clsGPXType::GPX_WriteFile(const std::string& path)
{
    return boxed(extra_ ? extra_->dialogs : nullptr, "clsGPX.GPX_WriteFile", [&] {
        std::string text = gpxString();
        text += "\r\n";
        if (!detail::valid_utf8(text))
            text = detail::repair_utf8(text);
        // A file that is replaced keeps its permissions; a new one gets the
        // usual ones for the user's umask.
        mode_t mask = ::umask(0);
        ::umask(mask);
        std::string reason;
        errno = 0;
        if (!platform::save_stored_file(path, text, reason, 0666 & ~unsigned(mask)))
            throw file_error(errno);
    });
}

// --- reading ------------------------------------------------------------------

void clsGPXType::GPX_LoadText(std::string_view bytes) { detail::read_document(*this, bytes); }

bool clsGPXType::GPX_LoadFile(const std::string& path)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return false;
    return boxed(extra_ ? extra_->dialogs : nullptr, "clsGPX.GPX_Load", [&] {
        if (S_ISDIR(st.st_mode))
            throw file_error(EISDIR);
        if (st.st_size > kMaxFileSize)
            throw VbError(7, "", "Out of memory");
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            throw file_error(errno);
        std::string bytes;
        bytes.reserve(size_t(st.st_size));
        char buf[65536];
        int err = 0;
        for (;;) {
            ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                err = errno;
            if (n <= 0 || off_t(bytes.size()) + n > kMaxFileSize)
                break;
            bytes.append(buf, size_t(n));
        }
        ::close(fd);
        if (err)
            throw file_error(err);
        if (off_t(bytes.size()) > kMaxFileSize)
            throw VbError(7, "", "Out of memory");
        GPX_LoadText(bytes);
    });
}

// --- building from table rows -------------------------------------------------

bool clsGPXType::Point_Add(const std::vector<std::string>& values, const std::vector<std::string>& fields,
                           const std::string& point_name, bool is_last)
{
    auto point = std::make_shared<clsGPXType>();
    point->TypeString(point_name);
    bool new_segment = false;
    std::string route_name, route_number, route_comment;
    for (size_t i = 0; i < values.size() && i < fields.size(); ++i) {
        if (values[i].empty())
            continue;
        std::string field = vb::LCase(fields[i]);
        if (field == "lat" || field == "lon") {
            point->Attribute_Add(fields[i], values[i]);
        } else if (field == "new_seg") {
            new_segment = flxgrd::Table::Value_IsTrue(values[i]);
        } else if (field == "rname") {
            route_name = values[i];
        } else if (field == "rnumber") {
            route_number = values[i];
        } else if (field == "rcmt") {
            route_comment = values[i];
        } else {
            std::string text = values[i];
            if (field == "time")
                flxgrd::Date_Validate(text, true);
            auto child = std::make_shared<clsGPXType>();
            child->TypeString(fields[i]);
            child->Description(text);
            point->Element_Add(fields[i], std::move(child));
        }
    }

    Extra& b = extra();
    auto make = [](const char* name) {
        auto e = std::make_shared<clsGPXType>();
        e->TypeString(name);
        return e;
    };
    std::string kind = vb::LCase(point_name);
    if (kind == "wpt") {
        Element_Add(point_name, point);
    } else if (kind == "trkpt") {
        if (new_segment) {
            if (b.track && b.segment) {
                b.track->Element_Add("trkseg", b.segment);
                Element_Add("trk", b.track);
            }
            b.segment = nullptr;
        }
        if (!b.segment || !b.track) {
            b.segment = make("trkseg");
            b.track = make("trk");
            // The track takes its first point's name (the same element).
            if (Ptr name = point->Element_Get("name"))
                b.track->Element_Add("name", name);
        }
        b.segment->Element_Add(point_name, point);
        if (is_last && b.segment && b.track) {
            b.track->Element_Add("trkseg", b.segment);
            Element_Add("trk", b.track);
            b.segment = nullptr;
            b.track = nullptr;
        }
    } else if (kind == "rtept") {
        if (new_segment && b.route) {
            Element_Add("rte", b.route);
            b.route = nullptr;
        }
        if (!b.route) {
            b.route = make("rte");
            for (auto [name, value] : {std::pair<const char*, std::string*>{"name", &route_name},
                                       {"cmt", &route_comment},
                                       {"number", &route_number}}) {
                if (value->empty())
                    continue;
                auto e = make(name);
                e->Description(*value);
                b.route->Element_Add(name, e);
            }
        }
        b.route->Element_Add(point_name, point);
        if (is_last) {
            Element_Add("rte", b.route);
            b.route = nullptr;
        }
    }
    return true;
}

} // namespace files
