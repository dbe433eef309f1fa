// NMEA 0183 sentence lines as the real-time intake reads them, without any
// I/O: a line in, the value updates of the sentence table out; and the
// conversions the real-time point makes from the stored texts (degrees,
// date, time). The handler of the control's NMEA event (realtime_seam.cpp)
// stores the updates with Collection_SetVal.
#pragma once

#include "platform/automation/collection.h"
#include "platform/automation/variant.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace realtime {

using NMEAValues = platform::Collection<platform::Variant>;

// The fields of a line between "," characters, numbered from 0 (field 0 is
// the identifier with its "$"; a trailing "*" and checksum stay in the last
// field). A line without "," is one field.
std::vector<std::string_view> NMEA_Fields(std::string_view line);

// One value the sentence table takes from a line: texts as received (or up
// to the first "*" where the table says so), numbers where it reads `Val`.
struct NMEAValue {
    const char* key;
    platform::Variant value;
};

// The values of one line, in the table's order: none for a line without
// ",", an identifier the table does not list (compared exactly) or
// "$GPGSV"; a field the line is too short to hold gives no value, the
// others still come.
std::vector<NMEAValue> NMEA_Values(std::string_view line);

// Stores `value` under `key`, replacing the item already there (in its
// place); returns the same collection.
NMEAValues& Collection_SetVal(NMEAValues& collection, platform::Variant value, const std::string& key);

// Degrees from the NMEA forms, rounded to six decimals and negated for
// direction "s" (latitude) or "w" (longitude), any case. Latitude: two
// degree digits, then minutes; longitude: the digits before the last two
// ahead of the decimal point are degrees, the rest minutes. Nothing for an
// empty text, one whose parts are not numbers, minutes of 60 or more, or a
// latitude beyond 90 or a longitude beyond 180 degrees.
std::optional<double> NMEA_Latitude(std::string_view text, std::string_view direction);
std::optional<double> NMEA_Longitude(std::string_view text, std::string_view direction);

// "ddmmyy" as "mm/dd/20yy" ("040706": "07/04/2006").
std::string NMEA_Date(std::string_view ddmmyy);
// "hhmmss" (decimals allowed) as "hh:mm:ss"; the whole seconds are kept,
// so a time never rounds up to second 60 ("165959.6": "16:59:59").
std::string NMEA_Time(std::string_view hhmmss);

} // namespace realtime
