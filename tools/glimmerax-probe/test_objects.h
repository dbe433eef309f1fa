// Objects the probe offers to the image object as OLE sources: a view
// object of one colour and a picture of a BMP file.
#pragma once

#include "platform/automation/dispatch.h"

#include <array>
#include <cstdint>
#include <string>

namespace probe {

// Fills the rectangle it is asked to draw with `colour` (red, green, blue)
// and answers its extent (HIMETRIC) after `delay_ms`, on whatever thread
// asks.
platform::ObjectRef MakeTestObject(std::int32_t cx, std::int32_t cy, std::array<std::uint8_t, 3> colour, int delay_ms);

// A picture of the BMP in `file` (any kind the drawing interface draws),
// `cx` × `cy` HIMETRIC in size. Throws std::runtime_error when the file is
// not such a BMP.
platform::ObjectRef MakeTestPicture(const std::string& file, std::int32_t cx, std::int32_t cy);

} // namespace probe
