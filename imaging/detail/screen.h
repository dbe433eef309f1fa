// Reading the screen: a rectangle of the X display's root window (the
// display that DISPLAY names) as 24-bit pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace glimmerax {

struct ScreenPixels {
    // The part of the screen that was read (the rectangle asked for, cut
    // to the screen); width or height 0 when nothing of it is on the screen.
    std::int64_t x = 0, y = 0;
    int width = 0, height = 0;
    std::vector<std::uint8_t> bgr; // blue, green, red; rows from the top, 3 × width bytes each
};

// Reads (x, y, width, height) of the screen. Gives "" on success, else why
// the screen could not be read. Waits for the display no longer than
// `deadline_ms`: the reading runs on a worker thread that a stuck display
// may keep, never the caller.
std::string ReadScreen(std::int64_t x, std::int64_t y, std::int64_t width, std::int64_t height, int deadline_ms,
                       ScreenPixels* out);

} // namespace glimmerax
