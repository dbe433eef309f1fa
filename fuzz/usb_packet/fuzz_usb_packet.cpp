// Feeds arbitrary bytes to the USB packet conversions: as one whole USB
// packet, as a Host_Packet to send, and cut into interrupt pieces. Whatever
// comes back must be consistent with what went in.
#include "device/link/usb_packet.h"

#include <algorithm>
#include <cstdlib>

using namespace brenvik::usb;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::span<const std::uint8_t> in(data, size);
    // A packet with ID 123 whose size is below 256 has no host form of its
    // own: a host packet with ID 123 is always read as the expanded form. Such
    // a packet is still converted (and must not crash); only the round trip
    // leaves it out.
    const auto h1 = Read_Header(in);
    const bool has_host_form = h1 && !(h1->id == brenvik::Expanded_Packet_ID && h1->size < 256);
    if (auto host = Host_From_Usb(in); host && has_host_form) {
        // A reported packet converts back to a USB packet of the same ID and data.
        auto back = Usb_From_Host(*host);
        if (!back) std::abort();
        auto h2 = Read_Header(*back);
        if (!h2 || h1->id != h2->id || h1->size != h2->size) std::abort();
        if (back->size() < Header_Size + h2->size ||
            !std::equal(back->begin() + Header_Size, back->begin() + Header_Size + h2->size,
                        in.begin() + Header_Size))
            std::abort();
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
