#include "device/protocols/detail/usb_device.h"

#include "device/link/usb_link.h"
#include "device/link/usb_transport.h"

namespace brenvik {
namespace {

class Usb_Device final : public UsbDevice {
public:
    Usb_Device(platform::EventPump& pump, Link& link, std::function<std::int16_t()> port)
        : u_(pump, link), usb_(u_.usb), timers_(pump, usb_, std::move(port))
    {
    }
    bool Open() override { return usb_.Open(); }
    void Close() override { usb_.Close(); }
    bool Start_Session() override { return usb_.Start_Session(); }
    bool Reset_Device() override { return usb_.Reset_Device(); }
    std::int32_t Drain_Input() override { return usb_.Drain_Input(); }
    void SetLanguage(const std::string& lang) override { usb_.SetLanguage(lang); }
    UsbPath* path() override { return &usb_; }
    platform::Timer& tmrAsync() override { return *timers_.tmrAsync; }
    platform::Timer& tmrPVTData() override { return *timers_.tmrPVTData; }
    std::int32_t tf_test(const std::string& cmd) override { return timers_.tf_test(cmd); }

private:
    cUSB_Link u_; // cUSB with its events going to the link
    cUSB& usb_;
    UsbPollTimers timers_;
};

} // namespace

std::unique_ptr<UsbDevice> Make_Usb_Device(platform::EventPump& pump, Link& link, std::function<std::int16_t()> port)
{
    return std::make_unique<Usb_Device>(pump, link, std::move(port));
}

} // namespace brenvik
