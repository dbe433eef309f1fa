#include "device/protocols/detail/capability_table.h"

#include <charconv>

namespace brenvik {
namespace {

// One line a row: product ID, lowest and highest software version (999: no
// upper limit), then link, command, waypoint transfer and format, route
// transfer, header, waypoint and link formats, track transfer, point and
// header formats, proximity transfer and format, almanac transfer and format.
// Rows ascend by product ID, and a product's rows by version.
constexpr std::string_view kTable = R"(
7, 0, 999, L001, A010, A100, D100, A200, D200, D100,     ,     ,     ,     ,     ,     , A500, D500
13, 0, 999, L001, A010, A100, D100, A200, D200, D100,     , A300, D300,     , A400, D400, A500, D500
14, 0, 999, L001, A010, A100, D100, A200, D200, D100,     ,     ,     ,     , A400, D400, A500, D500
15, 0, 999, L001, A010, A100, D151, A200, D200, D151,     ,     ,     ,     , A400, D151, A500, D500
18, 0, 999, L001, A010, A100, D100, A200, D200, D100,     , A300, D300,     , A400, D400, A500, D500
20, 0, 999, L002, A011, A100, D150, A200, D201, D150,     ,     ,     ,     , A400, D450, A500, D550
22, 0, 999, L001, A010, A100, D152, A200, D200, D152,     , A300, D300,     , A400, D152, A500, D500
23, 0, 999, L001, A010, A100, D100, A200, D200, D100,     , A300, D300,     , A400, D400, A500, D500
24, 0, 999, L001, A010, A100, D100, A200, D200, D100,     , A300, D300,     , A400, D400, A500, D500
25, 0, 999, L001, A010, A100, D100, A200, D200, D100,     , A300, D300,     , A400, D400, A500, D500
29, 0, 3.99, L001, A010, A100, D101, A200, D201, D101,     , A300, D300,     , A400, D101, A500, D500
29, 4.00, 999, L001, A010, A100, D102, A200, D201, D102,     , A300, D300,     , A400, D102, A500, D500
31, 0, 999, L001, A010, A100, D100, A200, D201, D100,     , A300, D300,     ,     ,     , A500, D500
33, 0, 999, L002, A011, A100, D150, A200, D201, D150,     ,     ,     ,     , A400, D450, A500, D550
34, 0, 999, L002, A011, A100, D150, A200, D201, D150,     ,     ,     ,     , A400, D450, A500, D550
35, 0, 999, L001, A010, A100, D100, A200, D200, D100,     , A300, D300,     , A400, D400, A500, D500
36, 0, 2.99, L001, A010, A100, D152, A200, D200, D152,     , A300, D300,     , A400, D152, A500, D500
36, 3.00, 999, L001, A010, A100, D152, A200, D200, D152,     , A300, D300,     ,     ,     , A500, D500
39, 0, 999, L001, A010, A100, D151, A200, D201, D151,     , A300, D300,     ,     ,     , A500, D500
41, 0, 999, L001, A010, A100, D100, A200, D201, D100,     , A300, D300,     ,     ,     , A500, D500
42, 0, 999, L001, A010, A100, D100, A200, D200, D100,     , A300, D300,     , A400, D400, A500, D500
44, 0, 999, L001, A010, A100, D101, A200, D201, D101,     , A300, D300,     , A400, D101, A500, D500
45, 0, 999, L001, A010, A100, D152, A200, D201, D152,     , A300, D300,     ,     ,     , A500, D500
47, 0, 999, L001, A010, A100, D100, A200, D201, D100,     , A300, D300,     ,     ,     , A500, D500
48, 0, 999, L001, A010, A100, D154, A200, D201, D154,     , A300, D300,     ,     ,     , A500, D501
49, 0, 999, L001, A010, A100, D102, A200, D201, D102,     , A300, D300,     , A400, D102, A500, D501
50, 0, 999, L001, A010, A100, D152, A200, D201, D152,     , A300, D300,     ,     ,     , A500, D501
52, 0, 999, L002, A011, A100, D150, A200, D201, D150,     ,     ,     ,     , A400, D450, A500, D550
53, 0, 999, L001, A010, A100, D152, A200, D201, D152,     , A300, D300,     ,     ,     , A500, D501
55, 0, 999, L001, A010, A100, D100, A200, D201, D100,     , A300, D300,     ,     ,     , A500, D500
56, 0, 999, L001, A010, A100, D100, A200, D201, D100,     , A300, D300,     ,     ,     , A500, D500
59, 0, 999, L001, A010, A100, D100, A200, D201, D100,     , A300, D300,     ,     ,     , A500, D500
61, 0, 999, L001, A010, A100, D100, A200, D201, D100,     , A300, D300,     ,     ,     , A500, D500
62, 0, 999, L001, A010, A100, D100, A200, D201, D100,     , A300, D300,     ,     ,     , A500, D500
64, 0, 999, L002, A011, A100, D150, A200, D201, D150,     ,     ,     ,     , A400, D450, A500, D551
71, 0, 999, L001, A010, A100, D155, A200, D201, D155,     , A300, D300,     ,     ,     , A500, D501
72, 0, 999, L001, A010, A100, D104, A200, D201, D104,     , A300, D300,     ,     ,     , A500, D501
73, 0, 999, L001, A010, A100, D103, A200, D201, D103,     , A300, D300,     ,     ,     , A500, D501
74, 0, 999, L001, A010, A100, D100, A200, D201, D100,     , A300, D300,     ,     ,     , A500, D500
76, 0, 999, L001, A010, A100, D102, A200, D201, D102,     , A300, D300,     , A400, D102, A500, D501
77, 0, 3.00, L001, A010, A100, D100, A200, D201, D100,     , A300, D300,     , A400, D400, A500, D501
77, 3.01, 3.49, L001, A010, A100, D103, A200, D201, D103,     , A300, D300,     , A400, D403, A500, D501
77, 3.50, 3.60, L001, A010, A100, D103, A200, D201, D103,     , A300, D300,     ,     ,     , A500, D501
77, 3.61, 999, L001, A010, A100, D103, A200, D201, D103,     , A300, D300,     , A400, D403, A500, D501
87, 0, 999, L001, A010, A100, D103, A200, D201, D103,     , A300, D300,     , A400, D403, A500, D501
88, 0, 999, L001, A010, A100, D102, A200, D201, D102,     , A300, D300,     , A400, D102, A500, D501
95, 0, 999, L001, A010, A100, D103, A200, D201, D103,     , A300, D300,     , A400, D403, A500, D501
96, 0, 999, L001, A010, A100, D103, A200, D201, D103,     , A300, D300,     , A400, D403, A500, D501
97, 0, 999, L001, A010, A100, D103, A200, D201, D103,     , A300, D300,     ,     ,     , A500, D501
98, 0, 999, L002, A011, A100, D150, A200, D201, D150,     ,     ,     ,     , A400, D450, A500, D551
100, 0, 999, L001, A010, A100, D103, A200, D201, D103,     , A300, D300,     , A400, D403, A500, D501
105, 0, 999, L001, A010, A100, D103, A200, D201, D103,     , A300, D300,     , A400, D403, A500, D501
106, 0, 999, L001, A010, A100, D103, A200, D201, D103,     , A300, D300,     , A400, D403, A500, D501
112, 0, 999, L001, A010, A100, D152, A200, D201, D152,     , A300, D300,     ,     ,     , A500, D501
128, 0, 999, L001, A010, A100, D108, A201, D202, D108, D210, A301, D301, D310,     ,     , A500, D501
*END
)";

std::string_view trim(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t' || s.front() == '\r')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r')) s.remove_suffix(1);
    return s;
}

// A field as a name: trimmed, then padded with blanks or cut to four.
std::string four(std::string_view field)
{
    std::string s(trim(field).substr(0, 4));
    s.resize(4, ' ');
    return s;
}

bool read_int(std::string_view s, std::int32_t& out)
{
    s = trim(s);
    bool neg = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        neg = s.front() == '-';
        s.remove_prefix(1);
    }
    if (s.empty()) return false;
    std::int32_t v = 0;
    auto [p, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
    if (ec != std::errc() || p != s.data() + s.size()) return false;
    out = neg ? -v : v;
    return true;
}

// "3.60" -> 360, "999" -> 99900, "3.6" -> 360; at most two decimals.
bool read_hundredths(std::string_view s, std::int32_t& out)
{
    s = trim(s);
    auto dot = s.find('.');
    std::int32_t whole = 0, frac = 0;
    std::string_view w = s.substr(0, dot);
    if (w.empty()) {
        whole = 0;
    } else if (!read_int(w, whole) || whole < 0 || whole > 20000000) {
        return false;
    }
    if (dot != std::string_view::npos) {
        std::string_view f = s.substr(dot + 1);
        if (f.size() > 2) return false;
        for (char c : f)
            if (c < '0' || c > '9') return false;
        frac = f.empty() ? 0 : (f[0] - '0') * 10 + (f.size() > 1 ? f[1] - '0' : 0);
    } else if (w.empty()) {
        return false;
    }
    out = whole * 100 + frac;
    return true;
}

} // namespace

std::string_view Product_Protocol_Text() { return kTable; }

std::vector<Product_Protocol_Row> Load_Product_Protocol_Table(std::string_view text)
{
    std::vector<Product_Protocol_Row> table;
    int lines = 0;
    while (!text.empty() && lines < Product_Protocol_Table_Max) {
        auto nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
        if (trim(line).empty()) continue;
        ++lines;
        if (trim(line) == "*END") break;
        // Cut 18 fields; a missing field reads as empty.
        std::array<std::string_view, 18> f{};
        std::string_view rest = line;
        for (std::size_t i = 0; i < f.size(); ++i) {
            auto comma = rest.find(',');
            f[i] = rest.substr(0, comma);
            rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
        }
        Product_Protocol_Row row;
        std::int32_t id = 0;
        if (!read_int(f[0], id) || id < -32768 || id > 32767) continue;
        if (!read_hundredths(f[1], row.Min_Version) || !read_hundredths(f[2], row.Max_Version)) continue;
        row.Product_ID = static_cast<std::int16_t>(id);
        for (int n = 0; n < 15; ++n) row.Names[n] = four(f[3 + n]);
        table.push_back(std::move(row));
    }
    return table;
}

const Product_Protocol_Row* Find_Product_Row(const std::vector<Product_Protocol_Row>& table,
                                             std::int16_t product_id, std::int32_t version)
{
    for (const auto& row : table)
        if (row.Product_ID == product_id && row.Min_Version <= version && version <= row.Max_Version) return &row;
    return nullptr;
}

} // namespace brenvik
