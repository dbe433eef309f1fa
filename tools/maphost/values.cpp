#include "tools/maphost/host.h"

#include "platform/automation/vb_error.h"

#include <cmath>

namespace maphost {

using platform::Variant;
using platform::VariantArray;
using platform::VarType;
namespace ao = platform::arcobjects;

std::size_t ObjectTable::Add(const platform::ObjectRef& o)
{
    for (std::size_t i = 0; i < objects_.size(); ++i)
        if (objects_[i] == o) return i;
    objects_.push_back(o);
    return objects_.size() - 1;
}

const platform::ObjectRef& ObjectTable::At(std::size_t n) const
{
    if (n >= objects_.size()) throw BadWord{"there is no object " + std::to_string(n)};
    return objects_[n];
}

Variant To_Variant(const json& j, const ObjectTable& objects)
{
    if (j.is_null()) return Variant();
    if (j.is_boolean()) return Variant(j.get<bool>());
    if (j.is_number()) return Variant(j.get<double>());
    if (j.is_string()) return Variant(j.get<std::string>());
    if (j.is_array()) {
        VariantArray a(0, static_cast<std::int32_t>(j.size()));
        for (std::size_t i = 0; i < j.size(); ++i) a.at(static_cast<std::int32_t>(i)) = To_Variant(j[i], objects);
        return Variant(std::move(a));
    }
    if (j.size() == 1) {
        const auto first = j.begin();
        const std::string key = first.key();
        const json& value = first.value();
        if (key == "2d" && value.is_array()) {
            const std::size_t rows = value.size(), cols = rows ? value[0].size() : 0;
            VariantArray a(0, static_cast<std::int32_t>(rows), 0, static_cast<std::int32_t>(cols));
            for (std::size_t r = 0; r < rows; ++r) {
                if (!value[r].is_array() || value[r].size() != cols) throw BadWord{"a 2d array needs rows of one length"};
                for (std::size_t c = 0; c < cols; ++c)
                    a.at(static_cast<std::int32_t>(r), static_cast<std::int32_t>(c)) = To_Variant(value[r][c], objects);
            }
            return Variant(std::move(a));
        }
        if (key == "envelope") {
            try {
                return Variant(platform::ObjectRef(ao::Geometry_Of(j)));
            } catch (const platform::VbError& e) {
                throw BadWord{e.description};
            }
        }
        if (key == "object" && value.is_number_unsigned()) return Variant(objects.At(value.get<std::size_t>()));
        if (key == "long" && value.is_number_integer()) {
            const auto n = value.get<long long>();
            if (n < INT32_MIN || n > INT32_MAX) throw BadWord{"{\"long\":N} needs a 32-bit number"};
            return Variant(static_cast<std::int32_t>(n));
        }
        if (key == "missing" && value == true) return Variant::Missing();
        if (key == "layer" && value.is_string()) {
            platform::ObjectRef layer = objects.layer_named ? objects.layer_named(value.get<std::string>()) : nullptr;
            if (!layer) throw BadWord{"no layer \"" + value.get<std::string>() + "\""};
            return Variant(layer);
        }
    }
    throw BadWord{"an argument of unknown form: " + j.dump()};
}

json To_Json(const Variant& v, ObjectTable& objects)
{
    switch (v.Type()) {
    case VarType::Empty: return nullptr;
    case VarType::Null: return {{"null", true}};
    case VarType::Boolean: return v.ToBool();
    case VarType::Byte:
    case VarType::Integer:
    case VarType::Long: return v.ToInt32();
    case VarType::Single:
    case VarType::Double: {
        const double d = v.ToDouble();
        return std::isfinite(d) ? json(d) : json(std::to_string(d));
    }
    case VarType::Date: return {{"date", v.ToDouble()}};
    case VarType::String: return v.ToString();
    case VarType::Error: return {{"missing", true}};
    case VarType::ByteArray: return {{"bytes", *v.BytesPtr()}};
    case VarType::Object: {
        const platform::ObjectRef o = v.ToObject();
        if (!o) return {{"object", nullptr}};
        json j = {{"object", objects.Add(o)}};
        if (auto obj = std::dynamic_pointer_cast<ao::Object>(o)) j["kind"] = obj->Kind();
        if (auto g = ao::As<ao::Geometry>(o)) j["geometry"] = ao::Dump_Geometry(*g);
        return j;
    }
    case VarType::Array: {
        const VariantArray& a = v.ToArray();
        if (a.Dimensions() == 2) {
            json rows = json::array();
            for (std::int32_t i = a.LBound(1); i <= a.UBound(1); ++i) {
                json row = json::array();
                for (std::int32_t k = a.LBound(2); k <= a.UBound(2); ++k) row.push_back(To_Json(a.at(i, k), objects));
                rows.push_back(row);
            }
            return {{"2d", rows}};
        }
        json out = json::array();
        if (a.Dimensions() == 1)
            for (std::int32_t i = a.LBound(); i <= a.UBound(); ++i) out.push_back(To_Json(a.at(i), objects));
        return out;
    }
    }
    return nullptr;
}

json Window_Line(const platform::ModalWindow& w)
{
    json controls = json::object();
    for (const auto& c : w.controls)
        controls[c.name] = {{"text", c.text}, {"enabled", c.enabled}, {"visible", c.visible}, {"value", c.value}};
    return {{"window", w.name}, {"caption", w.caption}, {"controls", controls}};
}

} // namespace maphost
