// Numbers as plain decimal text, never in exponent form: coordinates near
// 0 ("-0.00005", not CStr's "-5E-05"), which GPX, KML and the programs
// reading the table take only as plain decimals.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// The digits CStr gives (15 significant, shortest form), written out as a
// plain decimal: 51.4778, -0.00005, 0.
std::string plain_decimal(double value);
// A number text in exponent form ("-5E-05", "1.5e+3") rewritten as a plain
// decimal; any other text comes back as it is.
std::string plain_decimal(std::string_view text);

} // namespace platform
