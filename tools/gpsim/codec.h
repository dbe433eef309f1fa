// Record formats of the receiver, encoded from and decoded to JSON objects of
// decoded values ("ident", "lat" and "lon" in degrees, "symbol", "time" ...).
// One table row per format; the field names of each format are listed in
// codec.cpp.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "tools/gpsim/frame.h"

namespace gpsim {

using json = nlohmann::json;

// Encodes rec in format ("D108", "D210", "D301", "D800", "SAT" ...).
// Returns nothing for a format the simulator does not know.
std::optional<Bytes> encode_record(std::string_view format, const json& rec);

// Decodes data in format. On failure (unknown format, data too short, a
// string without its NUL) the result holds an "error" member.
json decode_record(std::string_view format, const Bytes& data);

bool known_format(std::string_view format);

std::int32_t degrees_to_semicircles(double deg);
double semicircles_to_degrees(std::int32_t sc);

// Device time: seconds after 1989-12-31 00:00:00 UTC.
// Accepts a number (seconds) or a text "YYYY-MM-DDTHH:MM:SSZ".
std::optional<std::uint32_t> device_seconds(const json& t);
std::string device_time_text(std::uint32_t seconds);  // "YYYY-MM-DDTHH:MM:SSZ"

// UTF-8 to the receiver's single-byte text (Latin-1; '?' for the rest) and back.
std::string to_device_text(const std::string& utf8);
std::string from_device_text(const std::string& bytes);

}  // namespace gpsim
