#include "platform/text/vb.h"

#include "platform/automation/vb_error.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>

namespace platform::vb {

namespace {

[[noreturn]] void type_mismatch() { throw VbError(13, "", "Type mismatch"); }
[[noreturn]] void overflow() { throw VbError(6, "", "Overflow"); }

bool is_digit(char c) { return c >= '0' && c <= '9'; }
char up(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }
char low(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

double parse_double(std::string_view s)
{
    double v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec == std::errc::result_out_of_range) {
        // Tiny exponents read as 0, huge ones as infinity.
        bool tiny = s.find_first_of("eE") != std::string_view::npos &&
                    s.find('-', s.find_first_of("eE")) != std::string_view::npos;
        bool neg = !s.empty() && s.front() == '-';
        return tiny ? 0.0 : (neg ? -HUGE_VAL : HUGE_VAL);
    }
    return v;
}

// Hex or octal digits after "&H"/"&O": 16-bit two's complement up to four hex
// (six octal) digits, 32-bit beyond, as the runtime reads them.
bool read_radix(std::string_view s, size_t& i, double& out, bool require_all)
{
    if (i + 1 >= s.size() || s[i] != '&')
        return false;
    char k = up(s[i + 1]);
    int base = k == 'H' ? 16 : k == 'O' ? 8 : 0;
    if (!base)
        return false;
    size_t j = i + 2;
    std::uint64_t v = 0;
    int n = 0;
    while (j < s.size()) {
        char c = up(s[j]);
        int d = is_digit(c) ? c - '0' : (base == 16 && c >= 'A' && c <= 'F') ? c - 'A' + 10 : -1;
        if (d < 0 || d >= base)
            break;
        v = v * std::uint64_t(base) + std::uint64_t(d);
        if (v > 0xFFFFFFFFull)
            return false;
        ++n;
        ++j;
    }
    if (n == 0 || (require_all && j != s.size()))
        return false;
    if (v <= 0xFFFF && ((base == 16 && n <= 4) || (base == 8 && n <= 6)))
        out = double(std::int16_t(std::uint16_t(v)));
    else
        out = double(std::int32_t(std::uint32_t(v)));
    i = j;
    return true;
}

// Reads sign, digits, ".", digits, exponent from s starting at i (no blanks).
// Commas between digits of the whole part are skipped when `commas`.
// Returns the number of mantissa digits read; `out` holds a plain copy.
int read_number(std::string_view s, size_t& i, std::string& out, bool commas)
{
    out.clear();
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        if (s[i] == '-')
            out += '-';
        ++i;
    }
    int digits = 0;
    while (i < s.size() && (is_digit(s[i]) || (commas && s[i] == ',' && digits > 0))) {
        if (s[i] != ',') {
            out += s[i];
            ++digits;
        }
        ++i;
    }
    if (i < s.size() && s[i] == '.') {
        out += '.';
        ++i;
        while (i < s.size() && is_digit(s[i])) {
            out += s[i++];
            ++digits;
        }
    }
    if (digits > 0 && i < s.size()) {
        char e = up(s[i]);
        if (e == 'E' || e == 'D') {
            size_t j = i + 1;
            std::string ex = "e";
            if (j < s.size() && (s[j] == '+' || s[j] == '-'))
                ex += s[j++];
            size_t start = j;
            while (j < s.size() && is_digit(s[j]))
                ex += s[j++];
            if (j > start) {
                out += ex;
                i = j;
            }
        }
    }
    return digits;
}

std::string_view trim_ws(std::string_view s)
{
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    while (!s.empty() && blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && blank(s.back()))
        s.remove_suffix(1);
    return s;
}

bool numeric_value(std::string_view text, double& value)
{
    std::string_view s = trim_ws(text);
    if (s.empty())
        return false;
    size_t i = 0;
    if (s[0] == '&')
        return read_radix(s, i, value, true);
    std::string num;
    int digits = read_number(s, i, num, true);
    if (digits == 0 || i != s.size())
        return false;
    value = parse_double(num);
    return std::isfinite(value);
}

std::string strip_mantissa_zeros(std::string m)
{
    if (m.find('.') == std::string::npos)
        return m;
    while (!m.empty() && m.back() == '0')
        m.pop_back();
    if (!m.empty() && m.back() == '.')
        m.pop_back();
    return m;
}

const char* const kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                               "July",    "August",   "September", "October", "November", "December"};
const char* const kDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

std::int64_t days_from_civil(std::int64_t y, int m, int d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = unsigned((153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1);
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + std::int64_t(doe) - 719468;
}

void civil_from_days(std::int64_t z, int& y, int& m, int& d)
{
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = int(doy - (153 * mp + 2) / 5 + 1);
    m = int(mp < 10 ? mp + 3 : mp - 9);
    y = int(std::int64_t(yoe) + era * 400 + (m <= 2));
}

const std::int64_t kEpoch = days_from_civil(1899, 12, 30);

std::int64_t floor_div(std::int64_t a, std::int64_t b) { return a / b - ((a % b != 0) && ((a < 0) != (b < 0))); }

// Days since 1970-01-01 of a date whose month or day may lie outside its
// range (as arithmetic on dates leaves them): the month counts on into the
// next years, the day into the next months, as DateSerial counts them.
std::int64_t day_number(const Date& d)
{
    // Far beyond any date the program meets; keeps the arithmetic in range.
    const std::int64_t year = std::clamp<std::int64_t>(d.year, -1000000, 1000000);
    const std::int64_t m0 = std::int64_t(d.month) - 1;
    const std::int64_t y = year + floor_div(m0, 12);
    const int m = int(m0 - floor_div(m0, 12) * 12) + 1;
    return days_from_civil(y, m, 1) + (std::int64_t(d.day) - 1);
}

// The same date with month and day in range.
Date in_range(const Date& d)
{
    if (d.month >= 1 && d.month <= 12 && d.day >= 1 && d.day <= 28)
        return d;
    Date out = d;
    civil_from_days(day_number(d), out.year, out.month, out.day);
    return out;
}

int month_from_word(const std::string& w)
{
    if (w.size() < 3)
        return 0;
    for (int i = 0; i < 12; ++i) {
        std::string_view name = kMonths[i];
        if (w.size() > name.size())
            continue;
        bool ok = true;
        for (size_t k = 0; k < w.size(); ++k)
            if (up(name[k]) != w[k])
                ok = false;
        if (ok && (w.size() == 3 || w.size() == name.size() || (w == "SEPT" && i == 8)))
            return i + 1;
    }
    return 0;
}

struct Token {
    enum Kind { Num, Word, Colon, Sep } kind;
    std::string text;
    long value = 0;
};

bool tokenize(std::string_view s, std::vector<Token>& out)
{
    size_t i = 0;
    while (i < s.size()) {
        char c = s[i];
        if (is_digit(c)) {
            size_t j = i;
            while (j < s.size() && is_digit(s[j]))
                ++j;
            if (j - i > 9)
                return false;
            Token t{Token::Num, std::string(s.substr(i, j - i))};
            t.value = std::stol(t.text);
            out.push_back(std::move(t));
            i = j;
        } else if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) {
            size_t j = i;
            std::string w;
            while (j < s.size() && ((s[j] >= 'A' && s[j] <= 'Z') || (s[j] >= 'a' && s[j] <= 'z'))) {
                w += up(s[j]);
                ++j;
            }
            if (w.size() > 12)
                return false;
            out.push_back(Token{Token::Word, w});
            i = j;
        } else if (c == ':') {
            out.push_back(Token{Token::Colon, ":"});
            ++i;
        } else if (c == '/' || c == '-' || c == ' ' || c == ',' || c == '.' || c == '\t') {
            if (c != ' ' && c != '\t')
                out.push_back(Token{Token::Sep, std::string(1, c)});
            ++i;
        } else {
            return false;
        }
    }
    return true;
}

int full_year(const Token& t)
{
    if (t.text.size() <= 2)
        return t.value < 30 ? 2000 + int(t.value) : 1900 + int(t.value);
    return int(t.value);
}

bool parse_date(std::string_view text, Date& out)
{
    std::vector<Token> tok;
    if (!tokenize(text, tok) || tok.empty() || tok.size() > 32)
        return false;
    bool has_time = false;
    int hour = 0, minute = 0, second = 0;
    std::vector<Token> rest;
    for (size_t i = 0; i < tok.size();) {
        // A time: h:m[:s] [AM|PM], or h AM|PM.
        if (!has_time && tok[i].kind == Token::Num && i + 2 < tok.size() && tok[i + 1].kind == Token::Colon &&
            tok[i + 2].kind == Token::Num) {
            hour = int(tok[i].value);
            minute = int(tok[i + 2].value);
            i += 3;
            if (i + 1 < tok.size() && tok[i].kind == Token::Colon && tok[i + 1].kind == Token::Num) {
                second = int(tok[i + 1].value);
                i += 2;
            }
            has_time = true;
        } else if (!has_time && tok[i].kind == Token::Num && i + 1 < tok.size() && tok[i + 1].kind == Token::Word &&
                   (tok[i + 1].text == "AM" || tok[i + 1].text == "PM")) {
            hour = int(tok[i].value);
            has_time = true;
            ++i;
        } else {
            rest.push_back(tok[i]);
            ++i;
            continue;
        }
        if (i < tok.size() && tok[i].kind == Token::Word && (tok[i].text == "AM" || tok[i].text == "PM")) {
            if (hour < 1 || hour > 12)
                return false;
            if (tok[i].text == "AM" && hour == 12)
                hour = 0;
            else if (tok[i].text == "PM" && hour != 12)
                hour += 12;
            ++i;
        }
        if (hour > 23 || minute > 59 || second > 59)
            return false;
    }
    // Date items: numbers and month names, separators between them.
    std::vector<Token> nums;
    int month_name = 0;
    bool month_first = false;
    for (const auto& t : rest) {
        if (t.kind == Token::Sep)
            continue;
        if (t.kind == Token::Colon)
            return false;
        if (t.kind == Token::Word) {
            int m = month_from_word(t.text);
            if (!m || month_name)
                return false;
            month_name = m;
            month_first = nums.empty();
            continue;
        }
        nums.push_back(t);
    }
    if (nums.size() > 3 || (month_name && nums.size() > 2))
        return false;
    int y = 1899, m = 12, d = 30;
    std::time_t now = std::time(nullptr);
    std::tm lt{};
    localtime_r(&now, &lt);
    int this_year = lt.tm_year + 1900;
    auto yearish = [](const Token& t) { return t.text.size() >= 3 || t.value > 31; };
    if (month_name) {
        m = month_name;
        if (nums.empty())
            return false;
        if (nums.size() == 1) {
            if (yearish(nums[0])) {
                y = full_year(nums[0]);
                d = 1;
            } else {
                y = this_year;
                d = int(nums[0].value);
            }
        } else if (yearish(nums[0]) && !month_first) {
            y = full_year(nums[0]);
            d = int(nums[1].value);
        } else {
            d = int(nums[0].value);
            y = full_year(nums[1]);
        }
    } else if (nums.size() == 3) {
        if (yearish(nums[0])) {
            y = full_year(nums[0]);
            m = int(nums[1].value);
            d = int(nums[2].value);
        } else {
            m = int(nums[0].value);
            d = int(nums[1].value);
            y = full_year(nums[2]);
            if (m > 12 && d <= 12)
                std::swap(m, d);
        }
    } else if (nums.size() == 2) {
        if (yearish(nums[0])) {
            y = full_year(nums[0]);
            m = int(nums[1].value);
            d = 1;
        } else if (yearish(nums[1])) {
            m = int(nums[0].value);
            y = full_year(nums[1]);
            d = 1;
        } else {
            m = int(nums[0].value);
            d = int(nums[1].value);
            y = this_year;
            if (m > 12 && d <= 12)
                std::swap(m, d);
        }
    } else if (nums.size() == 1) {
        return false;
    } else if (!has_time) {
        return false;
    }
    if (!ValidDate(y, m, d))
        return false;
    out = Date{y, m, d, hour, minute, second};
    return true;
}

std::string two(int v)
{
    std::string s = std::to_string(v);
    return s.size() < 2 ? "0" + s : s;
}

} // namespace

// --- numbers -------------------------------------------------------------

double Val(std::string_view text)
{
    std::string s;
    s.reserve(text.size());
    for (char c : text)
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            s += c;
    size_t i = 0;
    double v = 0;
    if (!s.empty() && s[0] == '&')
        return read_radix(s, i, v, false) ? v : 0.0;
    std::string num;
    if (read_number(s, i, num, false) == 0)
        return 0.0;
    v = parse_double(num);
    return v;
}

bool IsNumeric(std::string_view text)
{
    double v;
    return numeric_value(text, v);
}

bool TryCDbl(std::string_view text, double& value)
{
    double v;
    if (!numeric_value(text, v)) return false;
    value = v;
    return true;
}

double CDbl(std::string_view text)
{
    double v;
    if (!numeric_value(text, v))
        type_mismatch();
    return v;
}

std::int16_t CInt(double value)
{
    if (std::isnan(value))
        overflow();
    double r = std::nearbyint(value);
    if (r < -32768.0 || r > 32767.0)
        overflow();
    return std::int16_t(r);
}

std::int16_t CInt(std::string_view text) { return CInt(CDbl(text)); }

std::int32_t CLng(double value)
{
    if (std::isnan(value))
        overflow();
    double r = std::nearbyint(value);
    if (r < -2147483648.0 || r > 2147483647.0)
        overflow();
    return std::int32_t(r);
}

std::int32_t CLng(std::string_view text) { return CLng(CDbl(text)); }

std::string CStr(double value)
{
    if (std::isnan(value))
        return "NaN";
    if (std::isinf(value))
        return value < 0 ? "-1.#INF" : "1.#INF";
    if (value == 0)
        return "0";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 15);
    std::string s(buf, r.ptr);
    auto e = s.find('e');
    if (e == std::string::npos)
        return s;
    std::string mant = strip_mantissa_zeros(s.substr(0, e));
    std::string exp = s.substr(e + 1);
    char sign = '+';
    if (!exp.empty() && (exp[0] == '+' || exp[0] == '-')) {
        sign = exp[0];
        exp.erase(0, 1);
    }
    while (exp.size() > 2 && exp[0] == '0')
        exp.erase(0, 1);
    if (exp.size() < 2)
        exp = "0" + exp;
    return mant + "E" + sign + exp;
}

std::string CStr(std::int64_t value) { return std::to_string(value); }

std::string Str(double value)
{
    std::string s = CStr(value);
    return (value >= 0 || std::isnan(value)) ? " " + s : s;
}

std::string Str(std::int64_t value)
{
    std::string s = std::to_string(value);
    if (value >= 0)
        s.insert(s.begin(), ' ');
    return s;
}

// --- dates ---------------------------------------------------------------

bool ValidDate(int year, int month, int day)
{
    static const int dim[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 100 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    int max = dim[month - 1] + (month == 2 && leap ? 1 : 0);
    return day <= max;
}

bool IsDate(std::string_view text)
{
    Date d;
    return parse_date(text, d);
}

Date CDate(std::string_view text)
{
    Date d;
    if (!parse_date(text, d))
        type_mismatch();
    return d;
}

std::int64_t DateDiff_Seconds(const Date& from, const Date& to)
{
    auto seconds = [](const Date& d) {
        return day_number(d) * 86400 + std::int64_t(d.hour) * 3600 + std::int64_t(d.minute) * 60 + d.second;
    };
    return seconds(to) - seconds(from);
}

double DateSerialValue(const Date& d)
{
    double days = double(day_number(d) - kEpoch);
    double frac = (d.hour * 3600 + d.minute * 60 + d.second) / 86400.0;
    // Before the epoch the time of day still counts forward from midnight,
    // and the runtime stores it with the day's sign.
    return days < 0 ? days - frac : days + frac;
}

Date DateFromSerial(double serial)
{
    double days = std::trunc(serial);
    double frac = std::fabs(serial - days);
    long secs = std::lround(frac * 86400.0);
    if (secs >= 86400) {
        secs -= 86400;
        days += serial < 0 ? -1 : 1;
    }
    Date d;
    civil_from_days(std::int64_t(days) + kEpoch, d.year, d.month, d.day);
    d.hour = int(secs / 3600);
    d.minute = int(secs / 60 % 60);
    d.second = int(secs % 60);
    return d;
}

Date Now()
{
    std::time_t now = std::time(nullptr);
    std::tm lt{};
    localtime_r(&now, &lt);
    return Date{lt.tm_year + 1900, lt.tm_mon + 1, lt.tm_mday, lt.tm_hour, lt.tm_min, lt.tm_sec};
}

// --- Format --------------------------------------------------------------

std::string Format(const Date& date, std::string_view pattern)
{
    const Date d = in_range(date);
    struct Part {
        char kind; // y m d h n s, 'A' (AM/PM), 0 literal
        int len;
        std::string lit;
    };
    std::vector<Part> parts;
    bool twelve = false;
    for (size_t i = 0; i < pattern.size();) {
        char c = pattern[i];
        char l = low(c);
        if (c == '\\' && i + 1 < pattern.size()) {
            parts.push_back({0, 0, std::string(1, pattern[i + 1])});
            i += 2;
        } else if (c == '"') {
            size_t j = pattern.find('"', i + 1);
            if (j == std::string_view::npos)
                j = pattern.size();
            parts.push_back({0, 0, std::string(pattern.substr(i + 1, j - i - 1))});
            i = j + 1;
        } else if ((pattern.substr(i, 5) == "AM/PM") || (pattern.substr(i, 5) == "am/pm")) {
            parts.push_back({'A', pattern[i] == 'A' ? 1 : 0, {}});
            twelve = true;
            i += 5;
        } else if (l == 'y' || l == 'm' || l == 'd' || l == 'h' || l == 'n' || l == 's') {
            size_t j = i;
            while (j < pattern.size() && low(pattern[j]) == l)
                ++j;
            parts.push_back({l, int(j - i), {}});
            i = j;
        } else {
            parts.push_back({0, 0, std::string(1, c)});
            ++i;
        }
    }
    // "m" runs next to hours or seconds are minutes.
    for (size_t i = 0; i < parts.size(); ++i) {
        if (parts[i].kind != 'm' || parts[i].len > 2)
            continue;
        char prev = 0, next = 0;
        for (size_t k = i; k-- > 0;)
            if (parts[k].kind && parts[k].kind != 'A') {
                prev = parts[k].kind;
                break;
            }
        for (size_t k = i + 1; k < parts.size(); ++k)
            if (parts[k].kind && parts[k].kind != 'A') {
                next = parts[k].kind;
                break;
            }
        if (prev == 'h' || next == 's')
            parts[i].kind = 'n';
    }
    std::string out;
    for (const auto& p : parts) {
        switch (p.kind) {
        case 0: out += p.lit; break;
        case 'y':
            if (p.len >= 3)
                out += std::to_string(d.year);
            else
                out += two(d.year % 100);
            break;
        case 'm':
            if (p.len >= 4)
                out += kMonths[d.month - 1];
            else if (p.len == 3)
                out += std::string(kMonths[d.month - 1]).substr(0, 3);
            else
                out += p.len == 2 ? two(d.month) : std::to_string(d.month);
            break;
        case 'd':
            if (p.len >= 3) {
                int wd = int(((day_number(d) % 7) + 11) % 7); // 1970-01-01 was a Thursday
                std::string name = kDays[wd];
                out += p.len == 3 ? name.substr(0, 3) : name;
            } else {
                out += p.len == 2 ? two(d.day) : std::to_string(d.day);
            }
            break;
        case 'h': {
            int h = d.hour;
            if (twelve) {
                h %= 12;
                if (h == 0)
                    h = 12;
            }
            out += p.len >= 2 ? two(h) : std::to_string(h);
            break;
        }
        case 'n': out += p.len >= 2 ? two(d.minute) : std::to_string(d.minute); break;
        case 's': out += p.len >= 2 ? two(d.second) : std::to_string(d.second); break;
        case 'A': out += d.hour < 12 ? (p.len ? "AM" : "am") : (p.len ? "PM" : "pm"); break;
        }
    }
    return out;
}

std::string Format(double value, std::string_view pattern)
{
    if (!std::isfinite(value))
        return CStr(value);
    size_t dot = pattern.find('.');
    std::string_view ipat = pattern.substr(0, dot);
    std::string_view fpat = dot == std::string_view::npos ? std::string_view{} : pattern.substr(dot + 1);
    int decimals = 0;
    for (char c : fpat)
        if (c == '0' || c == '#')
            ++decimals;
    bool neg = value < 0;
    double a = std::fabs(value);
    // 15 significant digits, then rounding half away from zero in decimal.
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, a, std::chars_format::scientific, 14);
    std::string sci(buf, r.ptr);
    auto e = sci.find('e');
    int exp = std::stoi(sci.substr(e + 1));
    std::string digits;
    for (size_t i = 0; i < e; ++i)
        if (is_digit(sci[i]))
            digits += sci[i];
    // digits represent d.ddddd x 10^exp; point position after (exp + 1) digits.
    int point = exp + 1;
    if (point < 0) {
        digits.insert(0, size_t(-point), '0');
        point = 0;
    }
    if (int(digits.size()) < point)
        digits.append(size_t(point - int(digits.size())), '0');
    std::string ip = digits.substr(0, size_t(point));
    std::string fp = digits.substr(size_t(point));
    if (int(fp.size()) > decimals) {
        bool round_up = fp[size_t(decimals)] >= '5';
        fp.resize(size_t(decimals));
        if (round_up) {
            std::string all = ip + fp;
            int k = int(all.size()) - 1;
            while (k >= 0 && all[size_t(k)] == '9')
                all[size_t(k--)] = '0';
            if (k < 0)
                all.insert(all.begin(), '1');
            else
                ++all[size_t(k)];
            ip = all.substr(0, all.size() - fp.size());
            fp = all.substr(all.size() - fp.size());
        }
    }
    fp.append(size_t(decimals) - fp.size(), '0');
    size_t nz = ip.find_first_not_of('0');
    ip = nz == std::string::npos ? std::string() : ip.substr(nz);
    bool zero = ip.empty() && fp.find_first_not_of('0') == std::string::npos;

    // Whole part, laid out right to left.
    std::string whole;
    int remaining = int(ip.size());
    size_t first_zero = ipat.find('0');
    for (size_t k = ipat.size(); k-- > 0;) {
        char c = ipat[k];
        if (c == '0' || c == '#') {
            if (remaining > 0)
                whole.insert(0, 1, ip[size_t(--remaining)]);
            else if (c == '0')
                whole.insert(0, 1, '0');
        } else if (remaining > 0 || (first_zero != std::string_view::npos && first_zero < k)) {
            whole.insert(0, 1, c);
        }
    }
    if (remaining > 0)
        whole.insert(0, ip.substr(0, size_t(remaining)));
    // Fraction, left to right; trailing "#" positions drop their zeros.
    std::string frac;
    int used = 0;
    for (char c : fpat) {
        if (c == '0' || c == '#')
            frac += fp[size_t(used++)];
        else
            frac += c;
    }
    {
        // Trim zeros that stand in trailing "#" places.
        int k = int(fpat.size());
        size_t fi = frac.size();
        while (k-- > 0) {
            char c = fpat[size_t(k)];
            if (c == '#' && fi > 0 && frac[fi - 1] == '0') {
                --fi;
                continue;
            }
            break;
        }
        frac.resize(fi);
    }
    std::string out = whole;
    if (dot != std::string_view::npos && (!frac.empty() || fpat.empty()))
        out += "." + frac;
    else if (dot != std::string_view::npos)
        out += ".";
    if (neg && !zero)
        out.insert(out.begin(), '-');
    return out;
}

// --- text ----------------------------------------------------------------

namespace {

// The second byte of a UTF-8 letter of Latin-1 (after 0xC3) in lower case.
unsigned char latin_lower(unsigned char n) { return (n >= 0x80 && n <= 0x9E && n != 0x97) ? (unsigned char)(n + 0x20) : n; }

} // namespace

std::string LCase(std::string_view s)
{
    std::string out(s);
    for (size_t i = 0; i < out.size(); ++i) {
        unsigned char c = (unsigned char)out[i];
        if (c >= 'A' && c <= 'Z')
            out[i] = char(c + 32);
        else if (c == 0xC3 && i + 1 < out.size()) {
            out[i + 1] = char(latin_lower((unsigned char)out[i + 1]));
            ++i;
        }
    }
    return out;
}

bool SameLCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        unsigned char x = (unsigned char)a[i], y = (unsigned char)b[i];
        if (x == 0xC3 && i + 1 < a.size()) {
            if (y != 0xC3 || latin_lower((unsigned char)a[i + 1]) != latin_lower((unsigned char)b[i + 1]))
                return false;
            ++i;
        } else if (low(char(x)) != low(char(y))) {
            return false;
        }
    }
    return true;
}

std::string UCase(std::string_view s)
{
    std::string out(s);
    for (size_t i = 0; i < out.size(); ++i) {
        unsigned char c = (unsigned char)out[i];
        if (c >= 'a' && c <= 'z')
            out[i] = char(c - 32);
        else if (c == 0xC3 && i + 1 < out.size()) {
            unsigned char n = (unsigned char)out[i + 1];
            if (n >= 0xA0 && n <= 0xBE && n != 0xB7)
                out[i + 1] = char(n - 0x20);
            ++i;
        }
    }
    return out;
}

std::string LTrim(std::string_view s)
{
    size_t i = s.find_first_not_of(' ');
    return i == std::string_view::npos ? std::string() : std::string(s.substr(i));
}

std::string RTrim(std::string_view s)
{
    size_t i = s.find_last_not_of(' ');
    return i == std::string_view::npos ? std::string() : std::string(s.substr(0, i + 1));
}

std::string Trim(std::string_view s)
{
    size_t a = s.find_first_not_of(' ');
    if (a == std::string_view::npos)
        return {};
    return std::string(s.substr(a, s.find_last_not_of(' ') - a + 1));
}

std::vector<std::string> Split(std::string_view s, std::string_view delimiter)
{
    std::vector<std::string> out;
    if (s.empty())
        return out;
    if (delimiter.empty()) {
        out.emplace_back(s);
        return out;
    }
    size_t pos = 0;
    for (;;) {
        size_t f = s.find(delimiter, pos);
        if (f == std::string_view::npos) {
            out.emplace_back(s.substr(pos));
            return out;
        }
        out.emplace_back(s.substr(pos, f - pos));
        pos = f + delimiter.size();
    }
}

std::string Join(const std::vector<std::string>& items, std::string_view delimiter)
{
    std::string out;
    for (size_t i = 0; i < items.size(); ++i) {
        if (i)
            out += delimiter;
        out += items[i];
    }
    return out;
}

std::string Replace(std::string_view s, std::string_view find, std::string_view with)
{
    if (find.empty())
        return std::string(s);
    std::string out;
    size_t pos = 0;
    for (;;) {
        size_t f = s.find(find, pos);
        if (f == std::string_view::npos) {
            out += s.substr(pos);
            return out;
        }
        out += s.substr(pos, f - pos);
        out += with;
        pos = f + find.size();
    }
}

} // namespace platform::vb
