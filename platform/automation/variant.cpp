#include "platform/automation/variant.h"

#include "platform/automation/vb_error.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

namespace platform {
namespace {

[[noreturn]] void type_mismatch() { throw VbError(13, "", "Type mismatch"); }
[[noreturn]] void overflow() { throw VbError(6, "", "Overflow"); }
[[noreturn]] void invalid_null() { throw VbError(94, "", "Invalid use of Null"); }
[[noreturn]] void out_of_range() { throw VbError(9, "", "Subscript out of range"); }

bool iequals(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z') x = char(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z') y = char(y - 'A' + 'a');
        if (x != y) return false;
    }
    return true;
}

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Text to number as CDbl reads it: blanks around, sign, "," digit groups,
// decimals, exponent, or &H / &O integers. Anything else is a mismatch.
double text_to_double(std::string_view text)
{
    std::string_view t = trim(text);
    if (t.empty()) type_mismatch();
    if (t.size() > 2 && t[0] == '&' && (t[1] == 'H' || t[1] == 'h' || t[1] == 'O' || t[1] == 'o')) {
        int base = (t[1] == 'H' || t[1] == 'h') ? 16 : 8;
        std::string digits(t.substr(2));
        if (!digits.empty() && (digits.back() == '&')) digits.pop_back();
        if (digits.empty() || digits.size() > 11) type_mismatch();
        char* end = nullptr;
        unsigned long long v = std::strtoull(digits.c_str(), &end, base);
        if (*end != '\0') type_mismatch();
        // Four hex digits or fewer read as a 16-bit value, more as 32-bit.
        if (digits.size() <= 4 && base == 16) return static_cast<std::int16_t>(v & 0xFFFF);
        if (v > 0xFFFFFFFFull) overflow();
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
    }
    std::string clean;
    clean.reserve(t.size());
    for (char c : t) {
        if (c == ',') continue;
        if (!((c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' || c == 'E' || c == 'd' ||
              c == 'D'))
            type_mismatch();
        clean.push_back(c == 'd' || c == 'D' ? 'E' : c);
    }
    char* end = nullptr;
    double v = std::strtod(clean.c_str(), &end);
    if (end == clean.c_str() || *end != '\0') type_mismatch();
    if (!std::isfinite(v)) overflow();
    return v;
}

double round_even(double v) { return std::nearbyint(v); }

template <class T>
T narrow(double v)
{
    if (std::isnan(v)) overflow();
    double r = round_even(v);
    if (r < double(std::numeric_limits<T>::min()) || r > double(std::numeric_limits<T>::max())) overflow();
    return static_cast<T>(r);
}

std::string number_text(double v, int digits)
{
    if (v == 0) return "0";
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*g", digits, v);
    std::string s = buf;
    // "1e+20" -> "1E+20", "1e-05" -> "1E-05"
    auto e = s.find('e');
    if (e != std::string::npos) s[e] = 'E';
    return s;
}

} // namespace

// ---- VariantArray --------------------------------------------------------

VariantArray::VariantArray(std::int32_t lbound, std::int32_t count)
    : lbound_{lbound, 0}, count_{std::max<std::int32_t>(count, 0), 0}, dims_(1),
      items_(std::size_t(std::max<std::int32_t>(count, 0)))
{
}

VariantArray::VariantArray(std::int32_t lbound1, std::int32_t count1, std::int32_t lbound2, std::int32_t count2)
    : lbound_{lbound1, lbound2}, count_{std::max<std::int32_t>(count1, 0), std::max<std::int32_t>(count2, 0)}, dims_(2)
{
    items_.resize(std::size_t(count_[0]) * std::size_t(count_[1]));
}

std::int32_t VariantArray::LBound(int dim) const
{
    if (dim < 1 || dim > Dimensions()) out_of_range();
    return lbound_[dim - 1];
}

std::int32_t VariantArray::UBound(int dim) const
{
    if (dim < 1 || dim > Dimensions()) out_of_range();
    return lbound_[dim - 1] + count_[dim - 1] - 1;
}

std::size_t VariantArray::index(std::int32_t i, std::int32_t j, int dims) const
{
    if (Dimensions() != dims) out_of_range();
    std::int64_t a = std::int64_t(i) - lbound_[0];
    if (a < 0 || a >= count_[0]) out_of_range();
    if (dims == 1) return std::size_t(a);
    std::int64_t b = std::int64_t(j) - lbound_[1];
    if (b < 0 || b >= count_[1]) out_of_range();
    return std::size_t(a * count_[1] + b);
}

Variant& VariantArray::at(std::int32_t i) { return items_[index(i, 0, 1)]; }
const Variant& VariantArray::at(std::int32_t i) const { return items_[index(i, 0, 1)]; }
Variant& VariantArray::at(std::int32_t i, std::int32_t j) { return items_[index(i, j, 2)]; }
const Variant& VariantArray::at(std::int32_t i, std::int32_t j) const { return items_[index(i, j, 2)]; }

// ---- Variant -------------------------------------------------------------

// Arrays are values: copying a Variant copies its array.
Variant::Variant(const Variant& other) : v_(other.v_), lbound_(other.lbound_)
{
    if (auto* a = std::get_if<std::shared_ptr<VariantArray>>(&v_)) *a = std::make_shared<VariantArray>(**a);
}

Variant& Variant::operator=(const Variant& other)
{
    if (this != &other) {
        Variant copy(other);
        *this = std::move(copy);
    }
    return *this;
}

bool Variant::IsArray() const
{
    return std::holds_alternative<Bytes>(v_) || std::holds_alternative<std::shared_ptr<VariantArray>>(v_);
}

double Variant::ToDouble() const
{
    switch (v_.index()) {
    case 0: return 0;
    case 1: invalid_null();
    case 2: return std::get<bool>(v_) ? -1 : 0;
    case 3: return std::get<std::uint8_t>(v_);
    case 4: return std::get<std::int16_t>(v_);
    case 5: return std::get<std::int32_t>(v_);
    case 6: return std::get<float>(v_);
    case 7: return std::get<double>(v_);
    case 8: return text_to_double(std::get<std::string>(v_));
    case 13: return std::get<DateValue>(v_).days;
    default: type_mismatch();
    }
}

bool Variant::ToBool() const
{
    if (auto* s = std::get_if<std::string>(&v_)) {
        std::string_view t = trim(*s);
        if (iequals(t, "True") || iequals(t, "#TRUE#")) return true;
        if (iequals(t, "False") || iequals(t, "#FALSE#")) return false;
        return text_to_double(t) != 0;
    }
    return ToDouble() != 0;
}

std::uint8_t Variant::ToByte() const { return narrow<std::uint8_t>(ToDouble()); }
std::int16_t Variant::ToInt16() const { return narrow<std::int16_t>(ToDouble()); }
std::int32_t Variant::ToInt32() const { return narrow<std::int32_t>(ToDouble()); }

float Variant::ToSingle() const
{
    double d = ToDouble();
    if (std::fabs(d) > double(std::numeric_limits<float>::max())) overflow();
    return static_cast<float>(d);
}

std::string Variant::ToString() const
{
    switch (v_.index()) {
    case 0: return {};
    case 1: invalid_null();
    case 2: return std::get<bool>(v_) ? "True" : "False";
    case 3: return std::to_string(std::get<std::uint8_t>(v_));
    case 4: return std::to_string(std::get<std::int16_t>(v_));
    case 5: return std::to_string(std::get<std::int32_t>(v_));
    case 6: return number_text(std::get<float>(v_), 7);
    case 7: return number_text(std::get<double>(v_), 15);
    case 8: return std::get<std::string>(v_);
    case 13: {
        const CivilTime t = CivilFromDays(std::get<DateValue>(v_).days);
        char buf[40];
        std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d", t.year, t.month, t.day, t.hour, t.minute, t.second);
        return buf;
    }
    default: type_mismatch();
    }
}

ObjectRef Variant::ToObject() const
{
    if (IsEmpty()) return nullptr;
    if (auto* o = std::get_if<ObjectRef>(&v_)) return *o;
    type_mismatch();
}

Bytes Variant::ToBytes() const
{
    if (auto* b = std::get_if<Bytes>(&v_)) return *b;
    if (auto* a = std::get_if<std::shared_ptr<VariantArray>>(&v_)) {
        if ((*a)->Dimensions() != 1) type_mismatch();
        Bytes out;
        out.reserve((*a)->items().size());
        for (const Variant& item : (*a)->items()) out.push_back(item.ToByte());
        return out;
    }
    if (IsEmpty()) return {};
    type_mismatch();
}

const VariantArray& Variant::ToArray() const
{
    if (auto* a = std::get_if<std::shared_ptr<VariantArray>>(&v_)) return **a;
    type_mismatch();
}

VariantArray& Variant::ArrayRef()
{
    if (auto* a = std::get_if<std::shared_ptr<VariantArray>>(&v_)) return **a;
    type_mismatch();
}

bool Variant::operator==(const Variant& other) const
{
    if (v_.index() != other.v_.index()) return false;
    if (auto* a = std::get_if<std::shared_ptr<VariantArray>>(&v_)) {
        const auto& b = std::get<std::shared_ptr<VariantArray>>(other.v_);
        if (a->get() == b.get()) return true;
        if ((*a)->Dimensions() != b->Dimensions()) return false;
        for (int d = 1; d <= (*a)->Dimensions(); ++d)
            if ((*a)->LBound(d) != b->LBound(d) || (*a)->UBound(d) != b->UBound(d)) return false;
        return (*a)->items() == b->items();
    }
    if (IsArray() && lbound_ != other.lbound_) return false;
    return v_ == other.v_;
}

// ---- dates ---------------------------------------------------------------

namespace {
// Days from 1970-01-01 of a proleptic Gregorian date, and back.
std::int64_t days_from_epoch(std::int64_t y, int m, int d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400, yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1, doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}
constexpr std::int64_t kEpochDays = 25569; // 1899-12-30 to 1970-01-01
} // namespace

double DaysFromCivil(const CivilTime& t)
{
    // Before 1899-12-30 the day counts down while the time of day still
    // counts up: 1899-12-29 06:00 is -1.25.
    const double day = double(days_from_epoch(t.year, t.month, t.day) + kEpochDays);
    const double time = (t.hour * 3600.0 + t.minute * 60.0 + t.second) / 86400.0;
    return day < 0 ? day - time : day + time;
}

CivilTime CivilFromDays(double days)
{
    days = std::clamp(days, -1e7, 1e7);
    if (days < 0) days = 2 * std::trunc(days) - days; // back to a steady count
    const std::int64_t secs = std::llround(days * 86400.0);
    std::int64_t z = (secs >= 0 ? secs / 86400 : (secs - 86399) / 86400) - kEpochDays;
    const std::int64_t rest = secs - (z + kEpochDays) * 86400;
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097, doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365, doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153, d = doy - (153 * mp + 2) / 5 + 1, m = mp + (mp < 10 ? 3 : -9);
    return {int(yoe + era * 400 + (m <= 2)), int(m), int(d), int(rest / 3600), int(rest / 60 % 60), int(rest % 60)};
}

bool ParseDate(std::string_view text, DateValue* out)
{
    CivilTime t;
    char tail = 0;
    const std::string s(text);
    if (std::sscanf(s.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &t.year, &t.month, &t.day, &t.hour, &t.minute, &t.second, &tail) != 6)
        return false;
    if (t.month < 1 || t.month > 12 || t.day < 1 || t.hour > 23 || t.minute > 59 || t.second > 59 || t.hour < 0 || t.minute < 0 ||
        t.second < 0 || t.year < 100)
        return false;
    const CivilTime back = CivilFromDays(DaysFromCivil(t));
    if (back.day != t.day || back.month != t.month) return false; // 31 April and the like
    out->days = DaysFromCivil(t);
    return true;
}

} // namespace platform
