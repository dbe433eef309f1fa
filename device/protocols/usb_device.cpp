#include "device/protocols/detail/usb_device.h"

#include "device/link/usb_transport.h"

namespace brenvik {
namespace {

// cUSB's events go to the link, which raises the control's events.
class Usb_Events final : public cUSB_Events {
public:
    explicit Usb_Events(Link& link) : link_(link) {}
    void USBReceived(const Packet& packet, const std::vector<std::uint8_t>& usbpacket) override
    {
        link_.USB_Received(packet, usbpacket);
    }
    void USBSent(const std::vector<std::uint8_t>& usbpacket) override { link_.USB_Sent(usbpacket); }
    void USBDebug(const std::string& Text) override { link_.USB_Debug(Text); }
    void USBError(std::int32_t errnum, const std::string& message) override { link_.USB_Error(errnum, message); }
    void USBIncomingPackage(std::int32_t numpackage) override { link_.USB_IncomingPackage(numpackage); }
    void USBNoResponse() override { link_.No_Response(); }

private:
    Link& link_;
};

class Usb_Device final : public UsbDevice {
public:
    Usb_Device(platform::EventPump& pump, Link& link, std::function<std::int16_t()> port)
        : events_(link), usb_(pump, events_), timers_(pump, usb_, std::move(port))
    {
        usb_.Time_Out = [&link] { return std::int32_t(link.Time_Out()); };
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
    Usb_Events events_;
    cUSB usb_;
    UsbPollTimers timers_;
};

} // namespace

std::unique_ptr<UsbDevice> Make_Usb_Device(platform::EventPump& pump, Link& link, std::function<std::int16_t()> port)
{
    return std::make_unique<Usb_Device>(pump, link, std::move(port));
}

} // namespace brenvik
