// glimmerax-probe: creates "glimmerax.image" through the class registry as
// object "a" and runs JSON-line commands from SCRIPT (or standard input),
// printing one JSON line for each.
//
//   glimmerax-probe [--lib FILE] [SCRIPT]
//
// Commands:
//   {"call":M,"args":[...]}          -> {"call":M,"args":[the arguments after the call]}
//                                       or {"call":M,"error":{"number","source","description"}}
//   {"get":P} -> {"get":P,"value":V}   {"let":P,"value":V} -> {"let":P}
//   {"new":NAME,"progid":ID}  creates (default "glimmerax.image") and selects it
//   {"use":NAME}  {"drop":NAME}
//   {"ids":[NAMES]} -> {"ids":{NAME:DISPID or null}}
//   {"ppm":PATH}   the selected canvas as binary P6, from BmpImage's array
//                  -> {"ppm":PATH,"width":W,"height":H}
//   {"info":SOURCE,"type":T,"keys":[K]} runs GetImageInfo
//                  -> {"ErrorCode","Type","Count","names":[For Each order],"items":{..},"keys":{..}}
//   {"unloadable":true} -> {"unloadable":B}
//   {"await_unloadable":MS} waits (up to MS milliseconds) until the library
//                  may be unloaded -> {"await_unloadable":B}
//   {"testobject":NAME,"extent":[CX,CY],"colour":[R,G,B],"delay_ms":N}
//                  a view object that fills what it draws with the colour
//                  and answers its HIMETRIC extent after N ms
//   {"testpicture":NAME,"file":BMP,"himetric":[W,H]}  a picture of the BMP
//                  (both keep the selection) -> {"testobject"/"testpicture":NAME}
// Values: null (Empty), true/false, string, integer (Long), {"i16":N},
// {"u8":N}, {"f32":X}, {"f64":X}, {"bytes":HEX,"lbound":N},
// {"file":PATH,"lbound":N}, {"array":[V],"lbound":N},
// {"array2":[[V]],"lbound":[A,B]}, {"object":NAME}, {"missing":true},
// {"date":"yyyy-mm-dd hh:mm:ss"};
// [out] arguments {"out":true}, or {"out":PATH} to write a byte-array
// result there (shown as {"file":PATH,"size":N}).
// Exit status: 0; 1 when the object cannot be created; 2 on a line that
// cannot be parsed.
#include "platform/automation/class_registry.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/enumerator.h"
#include "platform/automation/vb_error.h"
#include "tools/glimmerax-probe/test_objects.h"

#include <dlfcn.h>
#include <nlohmann/json.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <stdexcept>
#include <thread>

namespace {

using nlohmann::json;
using platform::Variant;
using platform::VarType;

struct BadLine : std::runtime_error {
    using std::runtime_error::runtime_error;
};

std::map<std::string, platform::ObjectRef> objects;

std::string hex(const platform::Bytes& b)
{
    static const char* d = "0123456789ABCDEF";
    std::string s;
    for (auto c : b) s += d[c >> 4], s += d[c & 15];
    return s;
}

platform::Bytes unhex(const std::string& s)
{
    platform::Bytes out;
    int half = -1;
    for (char c : s) {
        int v = (c >= '0' && c <= '9') ? c - '0' : (c >= 'a' && c <= 'f') ? c - 'a' + 10 : (c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
        if (v < 0) {
            if (c == ' ') continue;
            throw BadLine("bad hex");
        }
        if (half < 0) half = v;
        else out.push_back(std::uint8_t(half << 4 | v)), half = -1;
    }
    if (half >= 0) throw BadLine("odd hex");
    return out;
}

platform::Bytes read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw BadLine("cannot read " + path);
    return platform::Bytes(std::istreambuf_iterator<char>(in), {});
}

Variant to_variant(const json& j)
{
    if (j.is_null()) return {};
    if (j.is_boolean()) return Variant(j.get<bool>());
    if (j.is_string()) return Variant(j.get<std::string>());
    if (j.is_number_integer()) return Variant(std::int32_t(j.get<std::int64_t>()));
    if (j.is_number()) return Variant(j.get<double>());
    if (!j.is_object()) throw BadLine("bad value");
    std::int32_t lb = j.contains("lbound") && j["lbound"].is_number() ? j["lbound"].get<std::int32_t>() : 0;
    if (j.contains("i16")) return Variant(std::int16_t(j["i16"].get<int>()));
    if (j.contains("u8")) return Variant(std::uint8_t(j["u8"].get<int>()));
    if (j.contains("f32")) return Variant(j["f32"].get<float>());
    if (j.contains("f64")) return Variant(j["f64"].get<double>());
    if (j.contains("bytes")) return Variant(unhex(j["bytes"].get<std::string>()), lb);
    if (j.contains("file")) return Variant(read_file(j["file"].get<std::string>()), lb);
    if (j.contains("missing")) return Variant::Missing();
    if (j.contains("date")) {
        platform::DateValue d;
        if (!j["date"].is_string() || !platform::ParseDate(j["date"].get<std::string>(), &d)) throw BadLine("bad date");
        return Variant(d);
    }
    if (j.contains("object")) {
        auto it = objects.find(j["object"].get<std::string>());
        return it == objects.end() ? Variant(platform::ObjectRef()) : Variant(it->second);
    }
    if (j.contains("array")) {
        const json& a = j["array"];
        platform::VariantArray arr(lb, std::int32_t(a.size()));
        for (std::size_t i = 0; i < a.size(); ++i) arr.at(lb + std::int32_t(i)) = to_variant(a[i]);
        return Variant(std::move(arr));
    }
    if (j.contains("array2")) {
        const json& a = j["array2"];
        std::int32_t l1 = 0, l2 = 0;
        if (j.contains("lbound") && j["lbound"].is_array()) l1 = j["lbound"][0], l2 = j["lbound"][1];
        std::size_t inner = a.empty() ? 0 : a[0].size();
        platform::VariantArray arr(l1, std::int32_t(a.size()), l2, std::int32_t(inner));
        for (std::size_t i = 0; i < a.size(); ++i)
            for (std::size_t k = 0; k < inner && k < a[i].size(); ++k)
                arr.at(l1 + std::int32_t(i), l2 + std::int32_t(k)) = to_variant(a[i][k]);
        return Variant(std::move(arr));
    }
    throw BadLine("bad value");
}

json to_json(const Variant& v)
{
    switch (v.Type()) {
    case VarType::Empty: return nullptr;
    case VarType::Null: return json{{"null", true}};
    case VarType::Error: return json{{"missing", true}};
    case VarType::Boolean: return v.ToBool();
    case VarType::String: return v.ToString();
    case VarType::Long: return v.ToInt32();
    case VarType::Integer: return json{{"i16", v.ToInt16()}};
    case VarType::Byte: return json{{"u8", v.ToByte()}};
    case VarType::Single: return json{{"f32", v.ToSingle()}};
    case VarType::Double: return json{{"f64", v.ToDouble()}};
    case VarType::Date: return json{{"date", v.ToString()}};
    case VarType::ByteArray: return json{{"bytes", hex(*v.BytesPtr())}, {"lbound", v.BytesLBound()}};
    case VarType::Object: {
        auto o = v.ToObject();
        for (auto& [name, obj] : objects)
            if (obj == o && o) return json{{"object", name}};
        return json{{"object", o ? json("?") : json(nullptr)}};
    }
    case VarType::Array: {
        const auto& a = v.ToArray();
        if (a.Dimensions() == 1) {
            json items = json::array();
            for (const Variant& x : a.items()) items.push_back(to_json(x));
            return json{{"array", items}, {"lbound", a.LBound(1)}};
        }
        json rows = json::array();
        for (std::int32_t i = a.LBound(1); i <= a.UBound(1); ++i) {
            json row = json::array();
            for (std::int32_t k = a.LBound(2); k <= a.UBound(2); ++k) row.push_back(to_json(a.at(i, k)));
            rows.push_back(row);
        }
        return json{{"array2", rows}, {"lbound", {a.LBound(1), a.LBound(2)}}};
    }
    }
    return nullptr;
}

json error_json(const platform::VbError& e)
{
    return json{{"number", e.number}, {"source", e.source}, {"description", e.description}};
}

void print(const json& j) { std::cout << j.dump(-1, ' ', false, json::error_handler_t::replace) << std::endl; }

int usage()
{
    std::fprintf(stderr, "usage: glimmerax-probe [--lib FILE] [SCRIPT]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    std::string lib, script;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--lib" && i + 1 < argc) lib = argv[++i];
        else if (a.rfind("--", 0) == 0 || !script.empty()) return usage();
        else script = a;
    }
    platform::ClassRegistry registry;
    std::string selected = "a";
    try {
        if (!lib.empty()) registry.LoadLibrary(lib);
        objects["a"] = registry.CreateObject("glimmerax.image");
    } catch (const platform::VbError& e) {
        print(json{{"error", error_json(e)}});
        return 1;
    }
    std::string lib_path = lib.empty() ? (std::filesystem::path(platform::ProgramFolder()) / "libglimmerax.so").string() : lib;
    void* handle = dlopen(lib_path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    auto can_unload = handle ? reinterpret_cast<long (*)()>(dlsym(handle, "DllCanUnloadNow")) : nullptr;

    std::ifstream file;
    if (!script.empty()) {
        file.open(script);
        if (!file) {
            std::fprintf(stderr, "glimmerax-probe: cannot read %s\n", script.c_str());
            return 2;
        }
    }
    std::istream& in = script.empty() ? std::cin : file;
    std::string line;
    while (std::getline(in, line)) {
        if (line.find_first_not_of(" \t\r") == std::string::npos) continue;
        try {
            json cmd = json::parse(line);
            if (!cmd.is_object()) throw BadLine("not an object");
            auto current = [&]() -> platform::Dispatch& {
                auto it = objects.find(selected);
                if (it == objects.end() || !it->second) throw platform::VbError(91, "", "Object variable or With block variable not set");
                return *it->second;
            };
            json out;
            try {
                if (cmd.contains("call")) {
                    std::string m = cmd["call"];
                    out["call"] = m;
                    json jargs = cmd.value("args", json::array());
                    std::vector<Variant> args;
                    std::map<std::size_t, std::string> out_files;
                    for (std::size_t i = 0; i < jargs.size(); ++i) {
                        const json& j = jargs[i];
                        if (j.is_object() && j.contains("out")) {
                            args.emplace_back();
                            if (j["out"].is_string()) out_files[i] = j["out"];
                        } else {
                            args.push_back(to_variant(j));
                        }
                    }
                    platform::Dispatch& o = current();
                    o.Invoke(platform::IdOfName(o, m), platform::InvokeKind::Method, args);
                    json res = json::array();
                    for (std::size_t i = 0; i < args.size(); ++i) {
                        auto f = out_files.find(i);
                        if (f != out_files.end() && args[i].BytesPtr()) {
                            const auto& b = *args[i].BytesPtr();
                            std::ofstream(f->second, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
                            res.push_back(json{{"file", f->second}, {"size", b.size()}});
                        } else {
                            res.push_back(to_json(args[i]));
                        }
                    }
                    out["args"] = res;
                } else if (cmd.contains("get")) {
                    out["get"] = cmd["get"];
                    out["value"] = to_json(platform::GetByName(current(), cmd["get"].get<std::string>()));
                } else if (cmd.contains("let")) {
                    out["let"] = cmd["let"];
                    platform::LetByName(current(), cmd["let"].get<std::string>(), to_variant(cmd.value("value", json())));
                } else if (cmd.contains("new")) {
                    std::string name = cmd["new"];
                    out["new"] = name;
                    objects[name] = registry.CreateObject(cmd.value("progid", std::string("glimmerax.image")));
                    selected = name;
                } else if (cmd.contains("use")) {
                    selected = cmd["use"];
                    out["use"] = selected;
                } else if (cmd.contains("drop")) {
                    out["drop"] = cmd["drop"];
                    objects.erase(cmd["drop"].get<std::string>());
                } else if (cmd.contains("ids")) {
                    json ids = json::object();
                    for (const auto& n : cmd["ids"]) {
                        auto id = current().GetIDOfName(n.get<std::string>());
                        ids[n.get<std::string>()] = id ? json(*id) : json(nullptr);
                    }
                    out["ids"] = ids;
                } else if (cmd.contains("ppm")) {
                    std::string path = cmd["ppm"];
                    out["ppm"] = path;
                    // The canvas through BmpImage's array: 54 header bytes, rows bottom first.
                    std::vector<Variant> call{Variant(""), Variant()};
                    platform::Dispatch& o = current();
                    o.Invoke(platform::IdOfName(o, "BmpImage"), platform::InvokeKind::Method, call);
                    const auto* b = call[1].BytesPtr();
                    if (!b || b->size() < 54) throw platform::VbError(91, "", "No canvas");
                    auto le32 = [&](int at) { return (*b)[at] | (*b)[at + 1] << 8 | (*b)[at + 2] << 16 | (*b)[at + 3] << 24; };
                    int w = le32(18), h = le32(22);
                    std::size_t row = std::size_t(3 * w + 3) & ~std::size_t(3);
                    std::ofstream f(path, std::ios::binary);
                    f << "P6\n" << w << " " << h << "\n255\n";
                    std::vector<char> line(std::size_t(w) * 3);
                    for (int y = 0; y < h; ++y) {
                        const std::uint8_t* r = b->data() + 54 + std::size_t(h - 1 - y) * row;
                        for (int x = 0; x < w; ++x)
                            line[x * 3] = char(r[x * 3 + 2]), line[x * 3 + 1] = char(r[x * 3 + 1]), line[x * 3 + 2] = char(r[x * 3]);
                        f.write(line.data(), std::streamsize(line.size()));
                    }
                    out["width"] = w;
                    out["height"] = h;
                } else if (cmd.contains("info")) {
                    std::vector<Variant> args{to_variant(cmd["info"]),
                                              cmd.contains("type") ? to_variant(cmd["type"]) : Variant::Missing(), Variant()};
                    platform::Dispatch& o = current();
                    o.Invoke(platform::IdOfName(o, "GetImageInfo"), platform::InvokeKind::Method, args);
                    platform::ObjectRef info = args[2].ToObject();
                    if (!info) throw platform::VbError(91, "", "Object variable or With block variable not set");
                    out["ErrorCode"] = platform::GetByName(*info, "ErrorCode").ToInt32();
                    out["Type"] = platform::GetByName(*info, "Type").ToInt32();
                    out["Count"] = platform::GetByName(*info, "Count").ToInt32();
                    auto e = std::dynamic_pointer_cast<platform::Enumerator>(platform::GetByName(*info, "_NewEnum").ToObject());
                    json names = json::array(), items = json::object(), keys = json::object();
                    std::vector<Variant> got;
                    while (e && e->Next(1, got) == platform::S_OK) {
                        std::string n = got[0].ToString();
                        names.push_back(n);
                        items[n] = to_json(platform::GetByName(*info, "Item", {Variant(n)}));
                    }
                    for (const auto& k : cmd.value("keys", json::array()))
                        keys[k.get<std::string>()] = to_json(platform::GetByName(*info, "Item", {to_variant(k)}));
                    out["names"] = names;
                    out["items"] = items;
                    out["keys"] = keys;
                } else if (cmd.contains("unloadable")) {
                    out["unloadable"] = can_unload && can_unload() == 0;
                } else if (cmd.contains("await_unloadable")) {
                    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(cmd["await_unloadable"].get<int>());
                    bool ok = false;
                    while (can_unload && !(ok = can_unload() == 0) && std::chrono::steady_clock::now() < until)
                        std::this_thread::sleep_for(std::chrono::milliseconds(10));
                    out["await_unloadable"] = ok;
                } else if (cmd.contains("testobject")) {
                    std::string name = cmd["testobject"];
                    const json& e = cmd.at("extent");
                    const json& c = cmd.at("colour");
                    objects[name] = probe::MakeTestObject(e.at(0).get<std::int32_t>(), e.at(1).get<std::int32_t>(),
                                                          {c.at(0).get<std::uint8_t>(), c.at(1).get<std::uint8_t>(), c.at(2).get<std::uint8_t>()},
                                                          cmd.value("delay_ms", 0));
                    out["testobject"] = name;
                } else if (cmd.contains("testpicture")) {
                    std::string name = cmd["testpicture"];
                    const json& hm = cmd.at("himetric");
                    objects[name] = probe::MakeTestPicture(cmd.at("file").get<std::string>(), hm.at(0).get<std::int32_t>(),
                                                           hm.at(1).get<std::int32_t>());
                    out["testpicture"] = name;
                } else {
                    throw BadLine("unknown command");
                }
            } catch (const platform::VbError& e) {
                out["error"] = error_json(e);
            }
            print(out);
        } catch (const std::exception& e) {
            std::fprintf(stderr, "glimmerax-probe: %s: %s\n", e.what(), line.c_str());
            return 2;
        }
    }
    objects.clear();
    return 0;
}
