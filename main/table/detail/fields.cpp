#include "main/table/detail/fields.h"

#include "platform/text/vb.h"

#include <array>

namespace flxgrd {

namespace {

using platform::vb::UCase;

// The catalogue, in ordinal order: key, name, type, width, decimals.
struct CatalogRow {
    const char* key;
    CatalogField field;
};

const std::array<CatalogRow, 57>& catalog_rows()
{
    static const std::array<CatalogRow, 57> rows = [] {
        struct R {
            const char *key, *name, *type;
            int width, decimals;
        };
        static const R raw[57] = {
            {"type", "type", "C", 10, 0},         {"ident", "ident", "C", 24, 0},
            {"lat", "lat", "N", 18, 8},           {"long", "long", "N", 18, 8},
            {"y_proj", "y_proj", "N", 18, 8},     {"x_proj", "x_proj", "N", 18, 8},
            {"new_seg", "new_seg", "C", 10, 0},   {"rnumber", "rnumber", "C", 12, 0},
            {"rident", "rident", "C", 10, 0},     {"rcmnt", "rcmnt", "C", 10, 0},
            {"rlcls", "rlcls", "N", 12, 0},       {"rlsubcls", "rlsubcls", "C", 10, 0},
            {"rlident", "rlident", "C", 15, 0},   {"comment", "comment", "C", 50, 0},
            {"display", "display", "C", 10, 0},   {"symbol", "symbol", "C", 10, 0},
            {"unused1", "unused1", "C", 5, 0},    {"dist", "dist", "N", 12, 2},
            {"prox_index", "prox_index", "C", 10, 0}, {"color", "color", "C", 10, 0},
            {"altitude", "altitude", "N", 12, 2}, {"alt", "alt", "N", 12, 2},
            {"depth", "depth", "N", 12, 2},       {"temp", "temp", "N", 12, 2},
            {"wpt_class", "wpt_class", "C", 10, 0}, {"sub_class", "sub_class", "C", 10, 0},
            {"attrib", "attrib", "C", 10, 0},     {"link", "link", "C", 10, 0},
            {"state", "state", "C", 15, 0},       {"country", "country", "C", 15, 0},
            {"city", "city", "C", 15, 0},         {"address", "address", "C", 15, 0},
            {"facility", "facility", "C", 15, 0}, {"crossroad", "crossroad", "C", 15, 0},
            {"unused2", "unused", "C", 5, 0},     {"ete", "ete", "C", 10, 0},
            {"dtype", "dtype", "C", 10, 0},       {"epe", "epe", "N", 10, 2},
            {"eph", "eph", "N", 10, 2},           {"epv", "epv", "N", 10, 2},
            {"pfix", "pfix", "C", 10, 0},         {"east", "east", "C", 10, 0},
            {"north", "north", "C", 10, 0},       {"up", "up", "N", 10, 2},
            {"date", "date", "C", 20, 0},         {"time", "time", "C", 20, 0},
            {"model", "model", "C", 20, 0},       {"filename", "filename", "C", 254, 0},
            {"pdop", "pdop", "N", 10, 2},         {"hdop", "hdop", "N", 10, 2},
            {"vdop", "vdop", "N", 10, 2},         {"speed", "speed", "N", 10, 2},
            {"course", "course", "N", 10, 2},     {"mvar", "mvar", "N", 10, 2},
            {"mdir", "mdir", "C", 10, 2},         {"datum", "datum", "C", 20, 0},
            {"ltime", "ltime", "C", 20, 0},
        };
        std::array<CatalogRow, 57> out{};
        for (int i = 0; i < 57; ++i)
            out[size_t(i)] = CatalogRow{raw[i].key, CatalogField{raw[i].name, raw[i].type, raw[i].width,
                                                                 raw[i].decimals, i + 1}};
        return out;
    }();
    return rows;
}

// Type, length and precision of the fields in the default lists (these
// differ from the catalogue for mdir, pfix and unused2).
struct DefaultDef {
    const char* type;
    int length, precision;
};

DefaultDef default_def(std::string_view name)
{
    auto in = [&](std::initializer_list<const char*> names) {
        for (const char* n : names)
            if (name == n)
                return true;
        return false;
    };
    if (in({"lat", "long", "y_proj", "x_proj"}))
        return {"N", 18, 8};
    if (in({"altitude", "alt", "dist", "depth", "temp"}))
        return {"N", 12, 2};
    if (in({"rlcls"}))
        return {"N", 12, 0};
    if (in({"epe", "eph", "epv", "pdop", "hdop", "vdop", "speed", "course", "mvar", "mdir", "up"}))
        return {"N", 10, 2};
    if (in({"pfix"}))
        return {"N", 10, 0};
    if (in({"filename"}))
        return {"C", 254, 0};
    if (in({"comment"}))
        return {"C", 50, 0};
    if (in({"ident"}))
        return {"C", 24, 0};
    if (in({"time", "date", "ltime", "model", "datum"}))
        return {"C", 20, 0};
    if (in({"state", "country", "city", "address", "facility", "crossroad", "rlident"}))
        return {"C", 15, 0};
    if (in({"rnumber"}))
        return {"C", 12, 0};
    if (in({"unused1", "unused2"}))
        return {"C", 5, 0};
    return {"C", 10, 0};
}

const std::vector<const char*>& default_names(std::string_view type)
{
    static const std::vector<const char*> waypoint = {
        "type",      "ident",   "lat",      "long",      "y_proj",   "x_proj",  "comment",    "display",
        "symbol",    "unused1", "dist",     "prox_index", "color",   "altitude", "depth",     "temp",
        "time",      "wpt_class", "sub_class", "attrib", "link",     "state",   "country",    "city",
        "address",   "facility", "crossroad", "unused2", "ete",      "dtype",   "model",      "filename",
        "ltime"};
    static const std::vector<const char*> track = {"type",  "ident",  "lat",   "long",  "y_proj", "x_proj",
                                                   "new_seg", "display", "color", "altitude", "depth", "temp",
                                                   "time",  "model",  "filename", "ltime"};
    static const std::vector<const char*> route = {
        "type",    "ident",   "lat",       "long",      "y_proj",  "x_proj",   "new_seg", "rnumber",
        "rident",  "rcmnt",   "rlcls",     "rlsubcls",  "rlident", "comment",  "display", "symbol",
        "unused1", "dist",    "prox_index", "color",    "altitude", "depth",   "temp",    "time",
        "wpt_class", "sub_class", "attrib", "link",     "state",   "country",  "city",    "address",
        "facility", "crossroad", "unused2", "ete",      "dtype",   "model",    "filename", "ltime"};
    static const std::vector<const char*> rtimewpt = {
        "type", "ident", "lat",  "long", "y_proj", "x_proj", "alt",   "epe",   "eph",  "epv",
        "pdop", "hdop",  "vdop", "speed", "course", "mvar",  "mdir",  "datum", "pfix", "east",
        "north", "up",   "depth", "temp", "date",   "time",  "filename", "ltime"};
    static const std::vector<const char*> none;
    if (type == "waypoint")
        return waypoint;
    if (type == "track")
        return track;
    if (type == "route")
        return route;
    if (type == "rtimewpt")
        return rtimewpt;
    return none;
}

} // namespace

platform::Collection<CatalogField> Fields_Catalog()
{
    platform::Collection<CatalogField> c;
    for (const auto& row : catalog_rows())
        c.Add(row.field, std::string(row.key));
    return c;
}

const CatalogField* Catalog_Find(std::string_view key)
{
    for (const auto& row : catalog_rows())
        if (platform::iequals(row.key, key))
            return &row.field;
    return nullptr;
}

std::string Fields_DefaultList(std::string_view type)
{
    std::string out;
    for (const char* n : default_names(type)) {
        DefaultDef d = default_def(n);
        if (!out.empty())
            out += ',';
        out += std::string(n) + ":1:" + n + ":" + d.type + ":" + std::to_string(d.length) + ":" +
               std::to_string(d.precision);
    }
    return out;
}

void Fields_Repair(platform::Settings& settings, const std::string& reset_type)
{
    for (const char* type : detail::kRecordTypes) {
        std::string stored = reset_type == type ? std::string() : settings.GetSetting("fields", type, "");
        if (!detail::list_is_whole(type, stored))
            settings.SaveSetting("fields", type, Fields_DefaultList(type));
    }
}

namespace detail {

const std::string& FieldList::Entry::name() const
{
    static const std::string empty;
    return items.empty() ? empty : items[0];
}

const std::string& FieldList::Entry::alias_or_name() const { return items.size() >= 3 ? items[2] : name(); }

FieldList parse_list(std::string_view text)
{
    FieldList list;
    for (auto& e : platform::vb::Split(text, ",")) {
        FieldList::Entry entry;
        entry.items = platform::vb::Split(e, ":");
        entry.name_upper = UCase(entry.name());
        if (entry.items.size() >= 3)
            entry.alias_upper = UCase(entry.items[2]);
        list.entries.push_back(std::move(entry));
    }
    return list;
}

bool list_is_whole(std::string_view type, std::string_view stored)
{
    size_t expected = default_names(type).size();
    if (expected == 0)
        return true;
    if (stored.find(':') == std::string_view::npos || stored.find(',') == std::string_view::npos)
        return false;
    size_t entries = 1;
    for (char c : stored)
        entries += c == ',';
    if (entries != expected)
        return false;
    std::string_view first = stored.substr(0, stored.find(','));
    size_t parts = 1;
    for (char c : first)
        parts += c == ':';
    return parts >= 6;
}

const std::string* FieldInfo::get(std::string_view key) const
{
    for (const auto& v : values)
        if (v.first == key)
            return &v.second;
    return nullptr;
}

FieldInfo field_info(const FieldList& list, std::string_view text, bool by_alias)
{
    FieldInfo info;
    auto add = [&](const char* key, const std::string& value) {
        if (info.get(key)) {
            info.error = {457, "This key is already associated with an element of this collection"};
            return false;
        }
        info.values.emplace_back(key, value);
        return true;
    };
    for (const auto& e : list.entries) {
        if (by_alias && e.items.size() < 3) {
            // Without a third item an entry has no alias to compare.
            if (e.items.size() >= 1 && e.items.size() <= 2 && platform::vb::SameLCase(e.name(), text)) {
                // A short entry answers by its name, as its alias is its name.
            } else {
                continue;
            }
        } else {
            const std::string& item = by_alias ? e.items[2] : e.name();
            if (!platform::vb::SameLCase(item, text))
                continue;
        }
        if (!add("name", e.name()))
            return info;
        if (!add("visible", e.items.size() >= 2 ? e.items[1] : std::string("1")))
            return info;
        if (e.items.size() > 2) {
            static const char* const keys[] = {"alias", "type", "length", "precision"};
            for (size_t k = 0; k < 4; ++k) {
                if (2 + k >= e.items.size()) {
                    info.error = {9, "Subscript out of range"};
                    return info;
                }
                if (!add(keys[k], e.items[2 + k]))
                    return info;
            }
        } else {
            if (!add("alias", e.name()))
                return info;
            const CatalogField* cat = Catalog_Find(text);
            if (!cat) {
                info.error = {5, "Invalid procedure call or argument"};
                return info;
            }
            if (!add("type", cat->type) || !add("length", std::to_string(cat->width)) ||
                !add("precision", std::to_string(cat->decimals)))
                return info;
        }
    }
    return info;
}

} // namespace detail

} // namespace flxgrd
