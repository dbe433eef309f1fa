// Automation values: a Variant that holds one of the automation types and
// converts between them by the Basic runtime's rules, and arrays of one or
// two dimensions. Conversions that fail throw VbError: 13 "Type mismatch",
// 6 "Overflow", 94 "Invalid use of Null".
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace platform {

class Dispatch;
class Variant;

// The automation type codes (VT_ numbers) a Variant can hold.
enum class VarType : std::uint16_t {
    Empty = 0,
    Null = 1,
    Integer = 2, // int16
    Long = 3,    // int32
    Single = 4,
    Double = 5,
    Date = 7, // days since 1899-12-30 00:00, the fraction the time of day
    String = 8,
    Object = 9,
    Error = 10, // only as the marker of a left-out argument
    Boolean = 11,
    Byte = 17,
    ByteArray = 0x2000 | 17,
    Array = 0x2000 | 12, // array of Variant
};

// A one- or two-dimensional array of Variants with explicit lower bounds,
// stored in row-major order (the last index moves fastest).
class VariantArray {
public:
    VariantArray() = default;
    VariantArray(std::int32_t lbound, std::int32_t count);
    VariantArray(std::int32_t lbound1, std::int32_t count1, std::int32_t lbound2, std::int32_t count2);

    int Dimensions() const { return dims_; }
    // Bounds of dimension 1 or 2; throws 9 "Subscript out of range".
    std::int32_t LBound(int dim = 1) const;
    std::int32_t UBound(int dim = 1) const;

    Variant& at(std::int32_t i);
    const Variant& at(std::int32_t i) const;
    Variant& at(std::int32_t i, std::int32_t j);
    const Variant& at(std::int32_t i, std::int32_t j) const;
    const std::vector<Variant>& items() const { return items_; }
    // The items in that order, to be changed in place (the bounds stay).
    std::span<Variant> items_in_place();

private:
    std::size_t index(std::int32_t i, std::int32_t j, int dims) const;
    // The bounds are held inline: a table of pairs is many small arrays, and
    // each one costs only its items' allocation.
    std::int32_t lbound_[2] = {0, 0};
    std::int32_t count_[2] = {0, 0};
    int dims_ = 0;
    std::vector<Variant> items_;
};

using ObjectRef = std::shared_ptr<Dispatch>;
using Bytes = std::vector<std::uint8_t>;

struct NullValue {
    bool operator==(const NullValue&) const = default;
};
// A date: days since 1899-12-30 00:00 (local time), the fraction the time
// of day. Converts to numbers as those days.
struct DateValue {
    double days = 0;
    bool operator==(const DateValue&) const = default;
};
// The error variant that stands for an optional argument the caller left out.
struct MissingValue {
    bool operator==(const MissingValue&) const = default;
};

class Variant {
public:
    Variant() = default;
    Variant(NullValue) : v_(NullValue{}) {}
    Variant(bool b) : v_(b) {}
    Variant(std::uint8_t b) : v_(b) {}
    Variant(std::int16_t i) : v_(i) {}
    Variant(std::int32_t i) : v_(i) {}
    Variant(float f) : v_(f) {}
    Variant(double d) : v_(d) {}
    Variant(std::string s) : v_(std::move(s)) {}
    Variant(const char* s) : v_(std::string(s)) {}
    Variant(std::string_view s) : v_(std::string(s)) {}
    Variant(ObjectRef o) : v_(std::move(o)) {}
    Variant(MissingValue) : v_(MissingValue{}) {}
    Variant(DateValue d) : v_(d) {}
    // A byte array; its lower bound travels with it.
    Variant(Bytes b, std::int32_t lbound = 0) : v_(std::move(b)), lbound_(lbound) {}
    Variant(VariantArray a) : v_(std::make_shared<VariantArray>(std::move(a))) {}
    Variant(const Variant& other);
    Variant& operator=(const Variant& other);
    Variant(Variant&&) noexcept = default;
    Variant& operator=(Variant&&) noexcept = default;

    VarType Type() const
    {
        static constexpr VarType types[] = {VarType::Empty,  VarType::Null,   VarType::Boolean,  VarType::Byte,
                                            VarType::Integer, VarType::Long,  VarType::Single,   VarType::Double,
                                            VarType::String, VarType::Object, VarType::ByteArray, VarType::Array,
                                            VarType::Error,  VarType::Date};
        return types[v_.index()];
    }
    bool IsEmpty() const { return v_.index() == 0; }
    bool IsNull() const { return std::holds_alternative<NullValue>(v_); }
    bool IsObject() const { return std::holds_alternative<ObjectRef>(v_); }
    bool IsDate() const { return std::holds_alternative<DateValue>(v_); }
    bool IsArray() const;
    // An argument the caller left out (the error variant; Empty is not missing).
    bool IsMissing() const { return std::holds_alternative<MissingValue>(v_); }
    static Variant Missing() { return Variant(MissingValue{}); }
    // Empty or missing: an optional argument that takes its default.
    bool IsOmitted() const { return IsEmpty() || IsMissing(); }
    // The lower bound of a byte array (0 for anything else).
    std::int32_t BytesLBound() const { return lbound_; }
    // The bytes of a byte array without a copy; null for anything else.
    const Bytes* BytesPtr() const { return std::get_if<Bytes>(&v_); }
    // The array of Variants held, in place; null for anything else (a byte
    // array too).
    VariantArray* ArrayPtr()
    {
        auto* a = std::get_if<std::shared_ptr<VariantArray>>(&v_);
        return a ? a->get() : nullptr;
    }
    // The number held as a Double (not a Date), without conversion; null for
    // anything else.
    const double* DoublePtr() const { return std::get_if<double>(&v_); }
    // The text of a string without a copy; null for anything else.
    const std::string* StringPtr() const { return std::get_if<std::string>(&v_); }

    // Coercions with the Basic runtime's rules (CBool, CByte, CInt, CLng,
    // CSng, CDbl, CStr). Numbers round half to even when narrowed.
    bool ToBool() const;
    std::uint8_t ToByte() const;
    std::int16_t ToInt16() const;
    std::int32_t ToInt32() const;
    float ToSingle() const;
    double ToDouble() const;
    std::string ToString() const;
    // The object held; an empty Variant gives null (Nothing). Other types 13.
    ObjectRef ToObject() const;
    // A byte array, or an array of Variants each converted to a byte.
    Bytes ToBytes() const;
    const VariantArray& ToArray() const;
    VariantArray& ArrayRef();

    bool operator==(const Variant& other) const;

private:
    std::variant<std::monostate, NullValue, bool, std::uint8_t, std::int16_t, std::int32_t, float, double,
                 std::string, ObjectRef, Bytes, std::shared_ptr<VariantArray>, MissingValue, DateValue>
        v_;
    std::int32_t lbound_ = 0; // of a byte array
};

inline std::span<Variant> VariantArray::items_in_place() { return items_; }

// A civil date and time and the date variant's days, both ways; parsing
// takes "yyyy-mm-dd hh:mm:ss" and fails on anything else or an invalid date.
struct CivilTime {
    int year = 1899, month = 12, day = 30, hour = 0, minute = 0, second = 0;
};
double DaysFromCivil(const CivilTime& t);
CivilTime CivilFromDays(double days);
bool ParseDate(std::string_view text, DateValue* out);

// The automation boolean as a number: true = -1, false = 0.
inline std::int16_t VbBool(bool b) { return b ? -1 : 0; }

} // namespace platform
