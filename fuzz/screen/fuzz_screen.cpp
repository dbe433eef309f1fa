// A sequence of display-data packets for one screen capture: each packet is
// a length byte and that many bytes. Headers may claim any size; the
// capture must neither read nor write out of bounds nor take more memory
// than its cap, and progress stays below 100.
#include "device/protocols/codec/screen.h"

#include <cstdlib>
#include <filesystem>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const std::string palette = (std::filesystem::temp_directory_path() / "fuzz-screen-Default-0.pal").string();
    brenvik::Screen_Capture capture;
    brenvik::cDisplay display;
    std::string palette_file;
    std::size_t i = 0;
    while (i < size) {
        const std::size_t n = std::min<std::size_t>(data[i], size - i - 1);
        const brenvik::PacketView packet(data + i + 1, n);
        i += n + 1;
        for (const auto& e : capture.Build_Image(packet, display, palette_file, [] { return palette; }))
            if (e.kind == brenvik::Screen_Capture::Event::Progress && e.pct >= 100) std::abort();
        const auto& pic = *capture.picture();
        if (pic.Pixels.size() != std::size_t(pic.Width) * std::size_t(pic.Height)) std::abort();
    }
    return 0;
}
