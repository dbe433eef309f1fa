// shape-probe: the shapefile and dBASE classes from the command line.
//
//   write FILE.shp < {"type":1|3|5|8,"fields":["NAME,C,24,0",...],
//                     "records":[{"parts":[[[x,y],...],...],"values":{...}} |
//                                {"null":true,"values":{...}}]}
//   dump FILE.shp
//   empty FILE KIND
//   addfield FILE.dbf SPEC
//   addrecord FILE.dbf [FIELD=VALUE...]
//
// Prints one JSON line. Exits 1 with {"error":{...}} when a class raises or
// a table cannot be read, 2 on bad usage.
#include "main/files/dbase.h"
#include "main/files/shapefile.h"
#include "platform/automation/vb_error.h"
#include "platform/settings/stored_file.h"
#include "platform/ui/scripted_dialogs.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdio>
#include <iostream>

using files::CShapeFile;
using nlohmann::json;

namespace {

struct Unreadable {
    std::string source;
};

// JSON text with every double to 17 significant digits.
std::string dump17(const json& j)
{
    std::string out;
    switch (j.type()) {
    case json::value_t::number_float: {
        const double v = j.get<double>();
        if (!std::isfinite(v)) return "null"; // as JSON has no NaN
        char b[40];
        std::snprintf(b, sizeof b, "%.17g", v);
        out = b;
        if (out.find_first_of(".e") == std::string::npos) out += ".0";
        break;
    }
    case json::value_t::array:
        out = "[";
        for (size_t i = 0; i < j.size(); ++i) out += (i ? "," : "") + dump17(j[i]);
        out += "]";
        break;
    case json::value_t::object: {
        out = "{";
        bool first = true;
        for (const auto& [k, v] : j.items()) {
            out += (first ? "" : ",") + json(k).dump() + ":" + dump17(v);
            first = false;
        }
        out += "}";
        break;
    }
    default: out = j.dump();
    }
    return out;
}

int usage()
{
    std::cerr << "usage: shape-probe write FILE.shp < JSON | dump FILE.shp | empty FILE KIND |\n"
                 "       addfield FILE.dbf SPEC | addrecord FILE.dbf [FIELD=VALUE...]\n";
    return 2;
}

std::string dbf_of(const std::string& shp)
{
    const auto dot = shp.rfind('.');
    const auto slash = shp.rfind('/');
    return (dot == std::string::npos || (slash != std::string::npos && dot < slash) ? shp : shp.substr(0, dot)) +
           ".dbf";
}

std::string value_text(const json& v)
{
    if (v.is_string()) return v.get<std::string>();
    if (v.is_number_float()) {
        char b[40];
        std::snprintf(b, sizeof b, "%.17g", v.get<double>());
        return b;
    }
    return v.dump();
}

files::CFileName spec_of(const std::string& path)
{
    files::CFileName n;
    n.SetFileSpec(path);
    return n;
}

// Each part is added to its shape while still empty, then filled.
template <class Shape>
std::shared_ptr<Shape> with_parts(const json& parts)
{
    auto s = std::make_shared<Shape>();
    for (const auto& part : parts) {
        auto p = std::make_shared<files::CPart>();
        s->Add(p);
        for (const auto& pt : part) p->Add(std::make_shared<files::CPoint>(pt.at(0), pt.at(1)));
    }
    return s;
}

std::shared_ptr<files::IShape> build_shape(int type, const json& rec)
{
    const json parts = rec.value("parts", json::array());
    std::shared_ptr<files::IShape> s;
    switch (type) {
    case 1: {
        auto p = std::make_shared<files::CPoint>();
        if (!parts.empty() && !parts[0].empty()) {
            p->x = parts[0][0].at(0);
            p->y = parts[0][0].at(1);
        }
        s = p;
        break;
    }
    case 3: s = with_parts<files::CPolyLine>(parts); break;
    case 5: s = with_parts<files::CPolygon>(parts); break;
    default: {
        auto m = std::make_shared<files::CMultiPoint>();
        for (const auto& part : parts)
            for (const auto& pt : part) m->Add(std::make_shared<files::CPoint>(pt.at(0), pt.at(1)));
        s = m;
    }
    }
    if (rec.value("null", false)) s->MakeNull(true);
    return s;
}

json run_write(const std::string& path, files::DBase& db)
{
    const json in = json::parse(std::cin);
    const int type = in.at("type");
    CShapeFile shp;
    shp.SetFileSpec(spec_of(path), files::CREATEIT, type);
    std::int16_t table = -1;
    if (in.contains("fields")) {
        table = db.DBF_Create(dbf_of(path), in["fields"].get<std::vector<std::string>>());
        if (table < 0) throw Unreadable{"DBase.DBF_Create"};
    }
    json failed = json::array();
    const json records = in.value("records", json::array());
    for (const auto& rec : records) {
        shp.Add(build_shape(type, rec));
        if (table < 0) continue;
        const std::int32_t n = db.DBF_AddRecord(table);
        const json values = rec.value("values", json::object());
        for (const auto& [name, value] : values.items())
            if (n < 0 || !db.DBF_PutRecord(table, name, n, value_text(value))) failed.push_back({n, name});
    }
    if (table >= 0) db.DBF_Close(table);
    return {{"count", shp.Count()}, {"put_failed", failed}};
}

json box_of(const files::IShape& s) { return {s.Left(), s.Bottom(), s.Right(), s.Top()}; }

template <class Shape>
json parts_of(const Shape& s)
{
    json parts = json::array();
    for (const auto& part : s.NewEnum()) {
        json pts = json::array();
        for (const auto& p : part->NewEnum()) pts.push_back({p->x, p->y});
        parts.push_back(pts);
    }
    return parts;
}

json run_dump(const std::string& path, files::DBase& db)
{
    CShapeFile shp;
    shp.SetFileSpec(spec_of(path), 0);
    json records = json::array();
    for (std::int32_t i = 1; i <= shp.Count(); ++i) {
        const auto s = shp.Item(i);
        if (!s) {
            records.push_back({{"missing", true}});
            continue;
        }
        if (s->IsNull()) {
            records.push_back({{"null", true}});
            continue;
        }
        json parts;
        if (auto* p = dynamic_cast<files::CPoint*>(s.get())) {
            parts = json::array({json::array({json::array({p->x, p->y})})});
        } else if (auto* m = dynamic_cast<files::CMultiPoint*>(s.get())) {
            json pts = json::array();
            for (const auto& q : m->NewEnum()) pts.push_back({q->x, q->y});
            parts = json::array({pts});
        } else if (auto* l = dynamic_cast<files::CPolyLine*>(s.get())) {
            parts = parts_of(*l);
        } else {
            parts = parts_of(*dynamic_cast<files::CPolygon*>(s.get()));
        }
        records.push_back({{"null", false}, {"box", box_of(*s)}, {"parts", parts}});
    }
    json out = {{"type", shp.fileType()},
                {"count", shp.Count()},
                {"box", {shp.Left(), shp.Bottom(), shp.Right(), shp.Top()}},
                {"records", records}};
    const std::string dbf = platform::find_any_case(dbf_of(path));
    if (dbf.empty()) return out;
    const std::int16_t t = db.DBF_Open(dbf);
    if (t < 0) throw Unreadable{"DBase.DBF_Open"};
    const auto fields = db.DBF_GetFields(t);
    if (!fields) throw Unreadable{"DBase.DBF_GetFields"};
    const auto rows = db.DBF_GetRecords(t, 0);
    if (!rows || (db.DBF_GetRecordCount(t) > 0 && db.DBF_GetRecords(t, 1).value_or(files::DBase::Records{}).empty()))
        throw Unreadable{"DBase.DBF_GetRecords"};
    db.DBF_Close(t);
    out["fields"] = *fields;
    out["rows"] = *rows;
    return out;
}

json run_addrecord(const std::string& path, const std::vector<std::string>& pairs, files::DBase& db)
{
    const std::int16_t t = db.DBF_Open(path);
    if (t < 0) throw Unreadable{"DBase.DBF_Open"};
    const std::int32_t n = db.DBF_AddRecord(t);
    json put = json::array();
    for (const auto& pv : pairs) {
        const auto eq = pv.find('=');
        put.push_back(n > 0 && eq != std::string::npos &&
                      db.DBF_PutRecord(t, pv.substr(0, eq), n, pv.substr(eq + 1)));
    }
    db.DBF_Close(t);
    return {{"record", n}, {"put", put}};
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 3) return usage();
    const std::string cmd = argv[1], path = argv[2];
    platform::ScriptedDialogs dialogs; // no one to ask: every box takes its default
    dialogs.set_quiet(true);
    files::DBase db(dialogs);
    try {
        json out;
        if (cmd == "write" && argc == 3) out = run_write(path, db);
        else if (cmd == "dump" && argc == 3) out = run_dump(path, db);
        else if (cmd == "empty" && argc == 4) out = {{"result", db.Shapefile_WriteEmptyHeader(path, argv[3])}};
        else if (cmd == "addfield" && argc == 4) {
            const std::int16_t t = db.DBF_Open(path);
            const bool ok = t >= 0 && db.DBF_AddFields(t, argv[3]);
            db.DBF_Close(t);
            out = {{"result", ok}};
        } else if (cmd == "addrecord") {
            out = run_addrecord(path, std::vector<std::string>(argv + 3, argv + argc), db);
        } else {
            return usage();
        }
        std::cout << dump17(out) << "\n";
        return 0;
    } catch (const platform::VbError& e) {
        std::cout << json{{"error", {{"number", e.number}, {"source", e.source}, {"description", e.description}}}}.dump()
                  << "\n";
    } catch (const Unreadable& u) {
        std::cout << json{{"error", {{"number", 0}, {"source", u.source}, {"description", "table unreadable"}}}}.dump()
                  << "\n";
    } catch (const json::exception& e) {
        std::cerr << "shape-probe: " << e.what() << "\n";
        return 2;
    }
    return 1;
}
