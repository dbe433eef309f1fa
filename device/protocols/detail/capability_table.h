// The built-in product capability table: which protocols and record formats
// a unit speaks that sends no protocol array, keyed by product ID and
// software version. Kept as text (one line a row, "*END" last) and parsed at
// start-up by the same code that would read any other copy of it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace brenvik {

// The 21 names of a row, in this order.
enum Row_Name {
    Row_Link, Row_Command, Row_Wpt_Transfer, Row_Wpt_Format, Row_Rte_Transfer, Row_Rte_Header,
    Row_Rte_Wpt_Format, Row_Rte_Link_Format, Row_Trk_Transfer, Row_Trk_Point_Format, Row_Trk_Header_Format,
    Row_Prx_Transfer, Row_Prx_Format, Row_Alm_Transfer, Row_Alm_Format, Row_Date_Transfer, Row_Date_Format,
    Row_Posn_Transfer, Row_Posn_Format, Row_Pvt_Transfer, Row_Pvt_Format, Row_Name_Count
};

struct Product_Protocol_Row {
    std::int16_t Product_ID = 0;
    std::int32_t Min_Version = 0; // hundredths: 3.60 is 360
    std::int32_t Max_Version = 0;
    // Each name exactly four characters (blanks: not supported); the last six
    // are empty text in rows read from the 18-field source lines.
    std::array<std::string, Row_Name_Count> Names;
};

inline constexpr int Product_Protocol_Table_Max = 256;

// The table as compiled into the library.
std::string_view Product_Protocol_Text();
// Parses table text: up to 256 lines, stopping at "*END". A line's fields are
// comma-separated; a version is read exactly in hundredths ("3.6" = 360).
// Lines that do not hold a product ID and both versions are skipped.
std::vector<Product_Protocol_Row> Load_Product_Protocol_Table(std::string_view text);
// The first row, in table order, for the product whose version (hundredths)
// lies within its bounds (both inclusive); null when none.
const Product_Protocol_Row* Find_Product_Row(const std::vector<Product_Protocol_Row>& table,
                                             std::int16_t product_id, std::int32_t version);

} // namespace brenvik
