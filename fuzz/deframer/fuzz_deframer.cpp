// Feeds arbitrary bytes to the deframer and to the link's receive path in
// chunks the first byte chooses. Frames that come out must be well formed,
// and the link must neither crash nor read out of bounds.
#include "device/link/detail/deframer.h"
#include "device/link/link.h"
#include "platform/events/fake_events.h"

#include <cstdlib>
#include <string_view>

namespace {

struct QuietHost : brenvik::LinkHost {
    void Dispatch_Packet(const brenvik::Packet& p) override
    {
        if (p.size() < 7 || p[0] != 0x10 || p[p.size() - 2] != 0x10 || p[p.size() - 1] != 0x03) std::abort();
    }
    void raise_Receive(const brenvik::Packet&) override {}
    void raise_cError(std::int16_t, const std::string&, const brenvik::Packet&) override {}
    void raise_uError(std::int32_t, const std::string&) override {}
    void raise_HexDebug(const std::string&) override {}
    void raise_NMEA(const std::string& s, bool) override
    {
        if (s.find("\r\n") != std::string::npos) std::abort();
    }
    void raise_USBprogress(std::int32_t) override {}
    void show_message(const std::string&) override {}
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const std::size_t chunk = 1 + data[0] % 64;
    std::string_view in(reinterpret_cast<const char*>(data + 1), size - 1);

    brenvik::detail::Deframer df;
    brenvik::detail::Frame f;
    std::size_t out_bytes = 0;
    for (std::size_t off = 0; off < in.size(); off += chunk) {
        df.append(in.substr(off, chunk));
        while (df.next(f)) {
            out_bytes += f.packet.size();
            if (f.status == brenvik::detail::FrameStatus::Ok) {
                const auto& p = f.packet;
                if (p.size() < 7 || p[0] != 0x10 || p[p.size() - 2] != 0x10 || p[p.size() - 1] != 0x03) std::abort();
                if (p[1] != 123 && p[2] != p.size() - 6) std::abort();
            }
        }
    }
    // Un-stuffing never makes more bytes than came in (plus the DLE ETX it adds).
    if (out_bytes > in.size() + 2) std::abort();

    // As a text stream: a DLE that begins no frame costs that byte alone,
    // and a frame that does come out closes where its header says.
    brenvik::detail::Deframer text;
    text.set_text_stream(true);
    for (std::size_t off = 0; off < in.size(); off += chunk) {
        text.append(in.substr(off, chunk));
        for (;;) {
            const std::size_t before = text.pending().size(), dle = text.find_dle();
            if (!text.next(f)) break;
            if (f.status == brenvik::detail::FrameStatus::Noise) {
                if (before - text.pending().size() != dle + 1) std::abort();
                continue;
            }
            const auto& p = f.packet;
            if (f.status != brenvik::detail::FrameStatus::Ok || p.size() < 7) std::abort();
            if (p[1] != 123 && p[2] != p.size() - 6) std::abort();
        }
    }

    platform::FakeEventPump pump;
    brenvik::ProtocolProperties props;
    brenvik::cSAK sak;
    QuietHost host;
    brenvik::Link link(pump, props, sak, host);
    link.DebugLog = data[0] & 0x80;
    for (std::size_t off = 0; off < in.size(); off += chunk) link.Serial_Input(in.substr(off, chunk));
    pump.advance(10'000'000);
    return 0;
}
