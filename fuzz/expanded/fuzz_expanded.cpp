// A sequence of expanded, continuation and continuation-request packets for
// the icon exchange: the first byte chooses serial or USB, then each packet
// is a length byte and that many bytes. A finished icon is always a whole
// 1334-byte BMP.
#include "device/protocols/codec/icon.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    const bool serial = data[0] & 1;
    brenvik::Icon_Exchange exchange;
    brenvik::Expanded_Values values;
    std::size_t i = 1;
    while (i < size) {
        const std::size_t n = std::min<std::size_t>(data[i], size - i - 1);
        const auto r = exchange.Receive(brenvik::PacketView(data + i + 1, n), serial, values);
        i += n + 1;
        if (r.bmp && r.bmp->size() != brenvik::Icon_BMP_Size) std::abort();
    }
    return 0;
}
