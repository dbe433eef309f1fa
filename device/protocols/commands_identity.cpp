// Unit identity, unit name and custom icons. The name and the icons travel
// in expanded packets; on a serial link the unit's long replies come in
// parts the host asks for with continuation requests.
#include "device/protocols/codec/decode.h"
#include "device/protocols/detail/control.h"
#include "platform/text/cp1252.h"

namespace brenvik {

namespace {
constexpr std::uint8_t kWriteOnly = 2;
constexpr std::uint8_t kContinuation = 124;
// The longest name whose packet fits the size byte (data = name + NUL + 6).
constexpr std::size_t kMaxName = 248;

std::vector<std::uint8_t> le32(std::int32_t v)
{
    const auto u = static_cast<std::uint32_t>(v);
    return {std::uint8_t(u), std::uint8_t(u >> 8), std::uint8_t(u >> 16), std::uint8_t(u >> 24)};
}
} // namespace

void Control::Decode_Unit_ID(const Packet& packet) { store_.Product_Data->Unit_ID = brenvik::Decode_Unit_ID(packet); }

void Control::Receive_Expanded_Packet(const Packet& packet)
{
    Expanded_Values v{props_.PID_Expanded_ID, props_.PID_Expanded_Length, props_.PID_Icon};
    Icon_Exchange::Result r = icons_.Receive(packet, props_.Port != 0, v);
    props_.PID_Expanded_ID = v.PID_Expanded_ID;
    props_.PID_Expanded_Length = v.PID_Expanded_Length;
    props_.PID_Icon = v.PID_Icon;
    if (r.name) store_.Product_Data->GPS_Name = platform::cp1252_to_utf8(*r.name);
    if (!r.bmp) return;
    const PictureRef image = icons_.picture();
    const std::string text(r.bmp->begin(), r.bmp->end());
    if (typed_sink_) {
        typed_sink_->ReceiveIcon(icon_seq_, image, *r.bmp);
        typed_sink_->vcReceiveIcon(icon_seq_, image, text);
    }
    if (late_sink_) {
        raise_late(15, {platform::Variant(icon_seq_), platform::Variant(),
                        platform::Variant(platform::Bytes(r.bmp->begin(), r.bmp->end()))});
        raise_late(16, {platform::Variant(icon_seq_), platform::Variant(), platform::Variant(text)});
    }
}

void Control::Request_GPS_Name()
{
    Unsupported_Reported = false;
    store_.Product_Data->GPS_Name.clear();
    if (!Send_Packet(Expanded_Packet(526, {}), props_.PID_Expanded_Packet, 50)) link_->No_Response();
}

// A name too long for the size byte is cut to the longest that fits.
void Control::Change_GPS_Name(const std::string& NewName)
{
    Unsupported_Reported = false;
    std::string name = platform::utf8_to_cp1252(NewName);
    if (name.size() > kMaxName) name.resize(kMaxName);
    std::vector<std::uint8_t> payload(name.begin(), name.end());
    payload.push_back(0);
    Send_Packet(Expanded_Packet(525, payload), kWriteOnly, 0);
}

void Control::Request_Icon(std::int32_t& seq)
{
    Unsupported_Reported = false;
    icon_seq_ = static_cast<std::int16_t>(seq);
    const std::uint8_t expanded = props_.PID_Expanded_Packet;
    // Only the low 8 bits of the number + 1 go out.
    if (!Send_Packet(Expanded_Packet(881, {static_cast<std::uint8_t>(seq + 1), 0}), expanded, 2)) {
        seq = -1;
        link_->No_Response();
        return;
    }
    const bool serial = props_.Port != 0;
    // The answers to the later steps are not checked: the icon events come
    // when the pixels are complete.
    Send_Packet(Expanded_Packet(886, le32(props_.PID_Icon)), expanded, 1);
    if (serial) {
        Send_Packet(Continuation_Request(expanded, 887, 0), kContinuation, 1);
        for (std::uint8_t part = 0; part < 3; ++part)
            Send_Packet(Continuation_Request(kContinuation, 887, part), kContinuation, 1);
    }
    Send_Packet(Expanded_Packet(884, le32(props_.PID_Icon)), expanded, 4);
    if (serial) Send_Packet(Continuation_Request(expanded, 885, 0), kContinuation, 1);
    Send_Packet(Expanded_Packet(883, le32(props_.PID_Icon)), 0, 0);
}

// The colour and pixel packets carry more than a size byte can say; only the
// USB transport, which reads their length field, can carry them.
void Control::Send_Icon(std::int32_t& seq, const ByteArray& BMP)
{
    if (props_.Port != 0) {
        seq = -1;
        Report("Icons can only be sent over USB");
        return;
    }
    icon_seq_ = static_cast<std::int16_t>(seq);
    const std::uint8_t expanded = props_.PID_Expanded_Packet;
    // Each step waits for the unit's answer (the transport tries each
    // packet three times); one that never comes gives the icon up, as every
    // other upload ends, rather than send the rest into silence.
    const Packet steps[] = {Expanded_Packet(881, {static_cast<std::uint8_t>(seq + 1), 0}),
                            Expanded_Packet(887, Icon_Colours_Payload(props_.PID_Icon, BMP)),
                            Expanded_Packet(885, Icon_Pixels_Payload(props_.PID_Icon, BMP))};
    for (const Packet& step : steps)
        if (!Send_Packet(step, expanded, 1)) {
            seq = -1;
            link_->No_Response();
            return;
        }
    Send_Packet(Expanded_Packet(883, le32(props_.PID_Icon)), 0, 0);
}

} // namespace brenvik
