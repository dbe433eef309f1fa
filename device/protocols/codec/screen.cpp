#include "device/protocols/codec/screen.h"

#include "device/protocols/codec/fields.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace brenvik {

namespace {

constexpr std::uint32_t rgb(int r, int g, int b)
{
    return 0xFF000000u | std::uint32_t(r & 255) << 16 | std::uint32_t(g & 255) << 8 | std::uint32_t(b & 255);
}
constexpr std::uint32_t kWhite = rgb(255, 255, 255);
constexpr std::uint32_t kGrey2[4] = {rgb(255, 255, 255), rgb(192, 192, 192), rgb(96, 96, 96), rgb(0, 0, 0)};
// The largest surface a picture may take, in pixels.
constexpr std::int64_t kMaxSurface = 4 << 20;

std::int32_t i16(PacketView p, int index) { return Packet_To_Integer(p, index); }

} // namespace

// The default palette file, written to a temporary file beside it and put
// in its place when the capture ends, so a broken capture never leaves
// half a palette where the last whole one was.
struct Screen_Capture::Palette_Out {
    std::FILE* f = nullptr;
    std::string path, temp;
    ~Palette_Out()
    {
        if (!f) return;
        const bool ok = std::fflush(f) == 0 && !std::ferror(f);
        std::fclose(f);
        if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) ::unlink(temp.c_str());
    }
};

Screen_Capture::Screen_Capture() : picture_(std::make_shared<Picture>()) {}
Screen_Capture::~Screen_Capture() = default;

void Screen_Capture::Close_Palette() { palette_out_.reset(); }

std::vector<Screen_Capture::Event> Screen_Capture::Build_Image(PacketView packet, cDisplay& display,
                                                               std::string& palette_file,
                                                               const std::function<std::string()>& default_palette)
{
    std::vector<Event> events;
    display.Record_Type = i16(packet, 3);
    display.Packet.assign(packet.begin(), packet.end());
    if (display.Record_Type == 0) {
        start_capture(packet, display, palette_file, default_palette, events);
    } else if (display.Record_Type == 2 && palette_file.empty()) {
        // Colour entry offset / 3; blue, green, red at fixed indexes.
        const std::int32_t entry = Packet_To_Long(packet, display.First_Byte - 4) / 3;
        if (Packet_Has(packet, 11, 3) && entry >= 0 && entry <= 255) {
            const int b = packet[11], g = packet[12], r = packet[13];
            table_[static_cast<std::size_t>(entry)] = rgb(r, g, b);
            if (palette_out_) std::fprintf(palette_out_->f, "%d %d %d\r\n", r, g, b);
        }
    } else if (display.Record_Type == 1 && capturing_) {
        const int first = display.First_Byte;
        const std::int64_t offset = Packet_To_Long(packet, first - 4);
        const std::int64_t count = (packet.size() > 2 ? packet[2] : 0) - first + 3;
        if (offset >= 0 && offset < std::int64_t(buffer_.size()) && count > 0) {
            // Only the bytes the packet holds, clipped at the buffer's end.
            PacketView chunk = Packet_Bytes(packet, first, static_cast<int>(count));
            const std::size_t n = std::min(chunk.size(), buffer_.size() - std::size_t(offset));
            std::memcpy(buffer_.data() + offset, chunk.data(), n);
        }
        const std::int64_t done = offset + count;
        if (done < total_) {
            events.push_back({Event::Progress, static_cast<std::int16_t>(std::max<std::int64_t>(0, done * 100 / total_)), {}});
        } else {
            capturing_ = false;
            if (Draw_Image(display)) events.push_back({Event::Picture_Done, 100, {}});
            palette_out_.reset();
        }
    }
    return events;
}

void Screen_Capture::start_capture(PacketView packet, cDisplay& d, std::string& palette_file,
                                   const std::function<std::string()>& default_palette, std::vector<Event>& events)
{
    // The size byte chooses the layout: 18 is the short header.
    if (packet.size() > 2 && packet[2] == 18) {
        d.Pixels = i16(packet, 13);
        d.Bits_Per_Pixel = i16(packet, 15);
        d.Line_Length = i16(packet, 17);
        d.Display_Lines = i16(packet, 19);
        d.Line_Length_Strict = d.Line_Length;
        d.First_Byte = 9;
    } else {
        d.Orientation1 = Packet_To_Byte(packet, 7);
        d.Orientation2 = Packet_To_Byte(packet, 8);
        d.Pixels = i16(packet, 11);
        d.Bits_Per_Pixel = i16(packet, 15);
        const int per_byte = d.Bits_Per_Pixel == 1 ? 8 : d.Bits_Per_Pixel == 2 ? 4 : d.Bits_Per_Pixel == 8 ? 1 : 0;
        if (per_byte) {
            d.Line_Length = d.Pixels * per_byte;
            d.Line_Length_Strict = i16(packet, 19);
        }
        d.Display_Lines = i16(packet, 23);
        d.First_Byte = 11;
    }
    d.Record_Length = d.Pixels + 12;
    // A new capture ends the last one, finished or not, and its file.
    palette_out_.reset();
    capturing_ = false;
    buffer_.clear();
    buffer_.shrink_to_fit();
    // The receiver's sizes are believed only within reason: no lines, no
    // pixels or a buffer (or surface) beyond the caps starts no capture.
    const std::int64_t bytes = std::int64_t(d.Display_Lines) * d.Record_Length;
    const std::int64_t surface = std::int64_t(std::max(d.Line_Length_Strict, 0)) * d.Display_Lines;
    if (d.Pixels <= 0 || d.Display_Lines <= 0 || bytes > Max_Buffer || surface > kMaxSurface) return;

    if (palette_file.empty()) {
        auto out = std::make_unique<Palette_Out>();
        out->path = default_palette();
        out->temp = out->path + ".XXXXXX";
        const int fd = ::mkstemp(out->temp.data());
        if (fd >= 0) {
            out->f = ::fdopen(fd, "wb");
            if (!out->f) {
                ::close(fd);
                ::unlink(out->temp.c_str());
            } else {
                ::fchmod(fd, 0644);
                std::fputs("JASC-PAL\r\n0100\r\n256\r\n", out->f);
                palette_out_ = std::move(out);
            }
        }
    } else if (std::FILE* f = std::fopen(palette_file.c_str(), "rb")) {
        read_palette(f);
        std::fclose(f);
    } else {
        events.push_back({Event::Palette_Unreadable, 0, palette_file});
        palette_file.clear();
    }
    buffer_.assign(static_cast<std::size_t>(bytes), 0);
    total_ = std::int64_t(d.Display_Lines) * d.Pixels;
    capturing_ = true;
}

void Screen_Capture::read_palette(std::FILE* f)
{
    char line[256];
    for (int skip = 0; skip < 3; ++skip)
        if (!std::fgets(line, sizeof line, f)) return;
    // Line n after the header is entry n: red, green, blue apart by blanks.
    for (int n = 0; n < 256 && std::fgets(line, sizeof line, f); ++n) {
        char* p = line;
        int v[3] = {};
        for (int k = 0; k < 3; ++k) {
            char* end = nullptr;
            const long x = std::strtol(p, &end, 10);
            if (end == p || x < 0 || x > 255) break;
            v[k] = static_cast<int>(x);
            p = end;
        }
        table_[static_cast<std::size_t>(n)] = rgb(v[0], v[1], v[2]);
    }
}

bool Screen_Capture::Draw_Image(const cDisplay& d)
{
    const int depth = d.Bits_Per_Pixel;
    if (depth != 1 && depth != 2 && depth != 8) return false;
    // The 2-bit screen is drawn turned a quarter: lines become columns.
    const bool turned = depth == 2;
    const int width = std::max(0, turned ? d.Display_Lines : d.Line_Length_Strict);
    const int height = std::max(0, turned ? d.Line_Length_Strict : d.Display_Lines);
    auto pic = std::make_shared<Picture>();
    if (std::int64_t(width) * height <= kMaxSurface) {
        pic->Width = width;
        pic->Height = height;
        pic->Pixels.assign(std::size_t(width) * std::size_t(height), kWhite);
    }
    auto put = [&](std::int64_t x, std::int64_t y, std::uint32_t c) {
        if (x >= 0 && y >= 0 && x < pic->Width && y < pic->Height) pic->Pixels[std::size_t(y * pic->Width + x)] = c;
    };
    // Nothing is read beyond the capture buffer: a missing byte is 0.
    auto byte = [&](std::int64_t i) -> std::uint8_t {
        return i >= 0 && i < std::int64_t(buffer_.size()) ? buffer_[std::size_t(i)] : 0;
    };
    const std::int64_t lines = d.Display_Lines, pixels = d.Pixels;
    if (depth == 1) {
        for (std::int64_t line = 0; line < lines; ++line)
            for (std::int64_t b = 0; b < pixels; ++b) {
                const std::uint8_t v = byte(line * pixels + b);
                // The most significant bit is the leftmost pixel.
                for (int k = 0; k < 8; ++k) put(b * 8 + k, line, (v >> (7 - k)) & 1 ? rgb(0, 0, 0) : kWhite);
            }
    } else if (depth == 2) {
        for (std::int64_t line = 0; line < lines; ++line)
            for (std::int64_t b = 0; b < pixels; ++b) {
                const std::uint8_t v = byte(line * pixels + b);
                // Line 0 is the rightmost column; the low bit pair is on top.
                for (int k = 0; k < 4; ++k) put(lines - line - 1, b * 4 + k, kGrey2[(v >> (2 * k)) & 3]);
            }
    } else {
        // Rows lie Pixels bytes apart in the buffer, as the unit sends them.
        const std::int64_t w = std::min<std::int64_t>(d.Line_Length, pic->Width);
        for (std::int64_t y = 0; y < std::min<std::int64_t>(lines, pic->Height); ++y)
            for (std::int64_t x = 0; x < w; ++x) put(x, y, table_[byte(y * pixels + x)]);
    }
    picture_ = std::move(pic);
    return true;
}

} // namespace brenvik
