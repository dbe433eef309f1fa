// The conversions and text helpers of the Basic runtime the program's
// procedures are written in, with the same results: Val, CInt (half to even),
// IsNumeric, IsDate/CDate, Format, Str/CStr. Numbers always use "." as the
// decimal separator, whatever the locale. Month names are English.
// Conversions that fail throw VbError: 13 "Type mismatch", 6 "Overflow".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform::vb {

// --- numbers -------------------------------------------------------------
// The leading number of a text: blanks anywhere are skipped, "&H"/"&O"
// prefixes read hex and octal; no number gives 0.
double Val(std::string_view text);
// Whether the text reads as a number (blanks around it, sign, "," digit
// groups, decimals, exponent, &H/&O).
bool IsNumeric(std::string_view text);
// Text to number by the IsNumeric rules; throws 13 "Type mismatch".
double CDbl(std::string_view text);
// IsNumeric and CDbl in one reading: false (and `value` untouched) when the
// text is no number.
bool TryCDbl(std::string_view text, double& value);
// Round half to even into 16/32 bits; throw 6 "Overflow" when out of range.
std::int16_t CInt(double value);
std::int16_t CInt(std::string_view text);
std::int32_t CLng(double value);
std::int32_t CLng(std::string_view text);
// Number as text, shortest form up to 15 significant digits ("0.1", "-3",
// "1E+20"); Str puts a blank before a number that is not negative.
std::string CStr(double value);
std::string CStr(std::int64_t value);
inline std::string CStr(int value) { return CStr(std::int64_t(value)); }
std::string Str(double value);
std::string Str(std::int64_t value);
inline std::string Str(int value) { return Str(std::int64_t(value)); }
// Boolean text as CStr writes it.
inline std::string CStr(bool value) { return value ? "True" : "False"; }

// --- dates ---------------------------------------------------------------
struct Date {
    int year = 1899, month = 12, day = 30;
    int hour = 0, minute = 0, second = 0;
    bool operator==(const Date&) const = default;
};
// Date texts as the program meets them: "2006/05/01 12:30:00",
// "2006-05-01 12:30:00", "05/01/2006", "01 MAY 06", "14:05 01 MAY 06",
// "May 1, 2006 2:05 PM", "12:30:00" and the like. Numeric dates read as
// year/month/day when the first number has four digits, otherwise as
// month/day/year (day/month/year when the month cannot be one).
bool IsDate(std::string_view text);
Date CDate(std::string_view text); // throws 13 "Type mismatch"
// Days since 1899-12-30, the fraction the time of day (and back).
double DateSerialValue(const Date& d);
Date DateFromSerial(double serial);
Date Now();
// DateDiff("s", from, to): whole seconds from one calendar value to another
// (positive when `to` is later), counted on the calendar itself, never
// through a time zone.
std::int64_t DateDiff_Seconds(const Date& from, const Date& to);
bool ValidDate(int year, int month, int day);

// --- Format --------------------------------------------------------------
// Date patterns: yyyy yy mmmm mmm mm m dd d hh h nn ss AM/PM; "m" right after
// an hour or before seconds is minutes; "H"/"M" read like "h"/"m".
std::string Format(const Date& d, std::string_view pattern);
// Number patterns of digit placeholders: "0" (digit or zero), "#" (digit or
// nothing), one ".", and literal characters ("00:00:00"). Half away from zero.
std::string Format(double value, std::string_view pattern);

// --- text ----------------------------------------------------------------
std::string LCase(std::string_view s); // ASCII and Latin-1 letters of UTF-8
std::string UCase(std::string_view s);
// LCase(a) == LCase(b), without making either.
bool SameLCase(std::string_view a, std::string_view b);
std::string Trim(std::string_view s); // blanks only, as the runtime does
std::string LTrim(std::string_view s);
std::string RTrim(std::string_view s);
// Split as the runtime does: "" gives no items; an empty delimiter gives the
// whole text as one item.
std::vector<std::string> Split(std::string_view s, std::string_view delimiter);
std::string Join(const std::vector<std::string>& items, std::string_view delimiter);
std::string Replace(std::string_view s, std::string_view find, std::string_view with);

} // namespace platform::vb
