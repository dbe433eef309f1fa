// Feeds arbitrary bytes to the USB packet conversions: as one whole USB
// packet, as a Host_Packet to send, and cut into interrupt pieces. Whatever
// comes back must be consistent with what went in.
#include "device/link/usb_packet.h"

#include <cstdlib>

using namespace brenvik::usb;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::span<const std::uint8_t> in(data, size);
    if (auto host = Host_From_Usb(in)) {
        // A reported packet converts back to a USB packet of the same ID and data.
        auto back = Usb_From_Host(*host);
        if (!back) std::abort();
        auto h1 = Read_Header(in);
        auto h2 = Read_Header(*back);
        if (!h1 || !h2 || h1->id != h2->id || h1->size != h2->size) std::abort();
    }
    (void)Usb_From_Host(in);

    Interrupt_Assembler gather;
    std::size_t piece = size == 0 ? 1 : 1 + data[0] % 64;
    for (std::size_t at = 0; at < size; at += piece) {
        auto part = in.subspan(at, std::min(piece, size - at));
        if (auto whole = gather.feed(part)) (void)Host_From_Usb(*whole);
    }
    return 0;
}
