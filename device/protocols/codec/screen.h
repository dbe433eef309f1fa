// Screen capture: the display-data packets of one screen (a header record,
// colour records, pixel records) gathered into a capture buffer and drawn.
// Sans I/O except the palette files: the default palette file is written
// beside the control, a chosen one is read.
#pragma once

#include "device/protocols/codec/conversions.h"
#include "device/protocols/records.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace brenvik {

class Screen_Capture {
public:
    // The most bytes a capture buffer may take; a header claiming more (or
    // no lines, or no pixels) starts no capture.
    static constexpr std::int64_t Max_Buffer = 4 << 20;

    // What one packet asks of the control, in order.
    struct Event {
        enum Kind { Progress, Picture_Done, Palette_Unreadable } kind;
        std::int16_t pct = 0;
        std::string path; // Palette_Unreadable: the file that did not open
    };

    Screen_Capture();
    ~Screen_Capture();
    Screen_Capture(const Screen_Capture&) = delete;
    Screen_Capture& operator=(const Screen_Capture&) = delete;

    // One display-data packet. palette_file is the control's Palette_File
    // (emptied when it cannot be opened); default_palette gives the default
    // file's path, asked only when a capture writes it.
    std::vector<Event> Build_Image(PacketView packet, cDisplay& display, std::string& palette_file,
                                   const std::function<std::string()>& default_palette);
    // Draws the capture buffer onto the picture; false for depths other
    // than 1, 2 and 8 (nothing drawn).
    bool Draw_Image(const cDisplay& display);

    // The picture surface, handed out with every event.
    const PictureRef& picture() const { return picture_; }
    // Colour entry n as 0xAARRGGBB.
    std::uint32_t colour(int n) const { return table_[static_cast<std::size_t>(n & 255)]; }
    bool capturing() const { return capturing_; }
    // Closes the default palette file (its capture did not finish).
    void Close_Palette();

private:
    void start_capture(PacketView packet, cDisplay& display, std::string& palette_file,
                       const std::function<std::string()>& default_palette, std::vector<Event>& events);
    void read_palette(std::FILE* f);

    std::vector<std::uint8_t> buffer_;
    std::int64_t total_ = 0;
    bool capturing_ = false;
    std::array<std::uint32_t, 256> table_{};
    PictureRef picture_;
    struct Palette_Out;
    std::unique_ptr<Palette_Out> palette_out_;
};

} // namespace brenvik
