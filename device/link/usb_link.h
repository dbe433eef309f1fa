// cUSB wired to the link: the transport's events go to the link's USB entry
// points, a records transfer that falls silent is the link's "No response
// from device", and the link writes and reads through the transport.
//
// The control owns one of these for Port 0, made after its Link:
//   cUSB_Link usb(pump, link);   usb.usb.Open(); ...
#pragma once

#include "device/link/link.h"
#include "device/link/usb_transport.h"

namespace brenvik {

class cUSB_Link final : public cUSB_Events {
public:
    cUSB_Link(platform::EventPump& pump, Link& link) : link_(link), usb(pump, *this)
    {
        usb.Time_Out = [this] { return static_cast<std::int32_t>(link_.Time_Out()); };
        link_.set_usb(&usb);
    }
    ~cUSB_Link() override { link_.set_usb(nullptr); }
    cUSB_Link(const cUSB_Link&) = delete;
    cUSB_Link& operator=(const cUSB_Link&) = delete;

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

public:
    cUSB usb;
};

} // namespace brenvik
