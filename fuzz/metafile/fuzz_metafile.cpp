// The metafile player: the bytes are played as a metafile into a small
// context through a viewport taken from the first byte.
#include "platform/gdi/gdi.h"

#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    using namespace platform::gdi;
    static Handle dc = [] {
        Handle d = CreateCompatibleDC();
        SelectObject(d, CreateDIBSection(32, 24, nullptr));
        return d;
    }();
    if (size < 1) return 0;
    Viewport vp{int(data[0] & 15) - 8, int(data[0] >> 4) - 8, 32, 24};
    PlayMetaFile(dc, data + 1, size - 1, vp);
    return 0;
}
