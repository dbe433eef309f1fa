#include "platform/text/decimal.h"

#include "platform/text/vb.h"

#include <cstdlib>

namespace platform {

namespace {

bool digit(char c) { return c >= '0' && c <= '9'; }

// Exponents beyond this are no coordinate: such a text is left alone.
constexpr long kMaxExponent = 40;

} // namespace

std::string plain_decimal(std::string_view text)
{
    if (text.find_first_of("Ee") == std::string_view::npos) return std::string(text);
    // [sign] digits [. digits] (E|e) [sign] digits
    std::size_t i = 0;
    const bool negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    std::string digits;
    long point = -1;
    for (; i < text.size() && (digit(text[i]) || (text[i] == '.' && point < 0)); ++i) {
        if (text[i] == '.')
            point = long(digits.size());
        else
            digits += text[i];
    }
    if (digits.empty() || i >= text.size() || (text[i] != 'E' && text[i] != 'e')) return std::string(text);
    ++i;
    const bool exp_negative = i < text.size() && text[i] == '-';
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
    if (i >= text.size()) return std::string(text);
    long exponent = 0;
    for (; i < text.size(); ++i) {
        if (!digit(text[i]) || exponent > kMaxExponent) return std::string(text);
        exponent = exponent * 10 + (text[i] - '0');
    }
    if (exponent > kMaxExponent) return std::string(text);
    if (exp_negative) exponent = -exponent;

    // The decimal point moves by the exponent.
    long at = (point < 0 ? long(digits.size()) : point) + exponent;
    std::string whole, fraction;
    if (at <= 0) {
        whole = "0";
        fraction = std::string(std::size_t(-at), '0') + digits;
    } else if (at >= long(digits.size())) {
        whole = digits + std::string(std::size_t(at - long(digits.size())), '0');
    } else {
        whole = digits.substr(0, std::size_t(at));
        fraction = digits.substr(std::size_t(at));
    }
    const std::size_t lead = whole.find_first_not_of('0');
    whole = lead == std::string::npos ? "0" : whole.substr(lead);
    while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
    std::string out = whole;
    if (!fraction.empty()) out += "." + fraction;
    if (negative && out != "0") out.insert(out.begin(), '-');
    return out;
}

std::string plain_decimal(double value)
{
    std::string text = vb::CStr(value);
    return text.find('E') == std::string::npos ? text : plain_decimal(std::string_view(text));
}

} // namespace platform
