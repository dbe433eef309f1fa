// Screen capture: the request, and each display-data packet handed to the
// capture, whose progress and picture go to the host as ReceiveImage.
#include "device/protocols/detail/control.h"

namespace brenvik {

namespace {
constexpr std::uint8_t kCommand_Screen = 32;
} // namespace

void Control::Request_Display()
{
    Unsupported_Reported = false;
    link_->Counting_Records = false;
    Clear_Input();
    // The rest of the screen arrives through dispatch while the host runs.
    if (Send_Packet(Command_Packet(kCommand_Screen), props_.PID_Display_Data, 3)) return;
    link_->No_Response();
    Request_Product_Data();
}

void Control::Build_Image(const Packet& packet)
{
    auto default_palette = [this] {
        return sak_.folder() + "/Default-" + std::to_string(store_.Product_Data->Product_ID) + ".pal";
    };
    for (const Screen_Capture::Event& e : screen_.Build_Image(packet, *store_.Display, palette_file_, default_palette)) {
        if (e.kind == Screen_Capture::Event::Palette_Unreadable) {
            raise_cError(0, sak_.xLate("Unable to open ") + e.path, packet);
            continue;
        }
        const PictureRef image = screen_.picture();
        if (typed_sink_) typed_sink_->ReceiveImage(e.pct, image);
        // Late-bound hosts get the percentage; the picture has no
        // late-bound form here.
        if (late_sink_) raise_late(14, {platform::Variant(e.pct), platform::Variant()});
    }
}

} // namespace brenvik
