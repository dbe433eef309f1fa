// Shared pieces of the record encoders.
#pragma once

#include "device/protocols/codec/writers.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brenvik::encode_detail {

// Written where a record has no subclass of its own.
inline constexpr std::array<std::uint8_t, 18> Default_Subclass = {
    0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

// The largest data size the one-byte size field can hold.
inline constexpr std::size_t Max_Data_Size = 255;

// Latitude clamped to [-90, 90] (no other value names a place), longitude
// wrapped into [-180, 180); both as semicircles. NaN gives 0.
void Write_Lat(FieldWriter& w, std::size_t offset, double degrees);
void Write_Lon(FieldWriter& w, std::size_t offset, double degrees);

// An altitude as a 16-bit integer: rounded half to even and clamped to the
// int16 range, so a high altitude is sent as the highest one the field
// holds, never as 0. NaN gives 0.
void Write_Alt16(FieldWriter& w, std::size_t offset, float metres);

// Receiver time: seconds unless 0, else the Device_Time text
// "yyyy/mm/dd-hh:mm:ss" counted from 1989/12/31 00:00:00; 0 when the text
// is no date or lies outside the 32-bit unsigned range.
std::uint32_t Record_Seconds(std::int32_t seconds, std::string_view time_text);
std::optional<std::uint32_t> Device_Seconds(std::string_view time_text);

// Shortens the NUL-terminated texts of a variable-size record so that they
// fit in `room` bytes with their NULs: from the last text backwards, the
// first (the identifier) last of all.
void Fit_Texts(std::vector<std::string*> const& texts, std::size_t room);

// Sum of the text lengths.
std::size_t Text_Bytes(std::vector<std::string*> const& texts);

} // namespace brenvik::encode_detail
