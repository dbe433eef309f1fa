// The control's view of its USB transport (Port 0): the cUSB object with its
// events sunk into the link, and the two USB polling timers.
#pragma once

#include "device/link/link.h"
#include "platform/events/events.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace brenvik {

class UsbDevice {
public:
    virtual ~UsbDevice() = default;
    virtual bool Open() = 0;
    virtual void Close() = 0;
    virtual bool Start_Session() = 0;
    virtual bool Reset_Device() = 0;
    virtual std::int32_t Drain_Input() = 0;
    virtual void SetLanguage(const std::string& lang) = 0;
    // What the link sends through.
    virtual UsbPath* path() = 0;
    // The polling timers (their ticks read the device only while port() is 0).
    virtual platform::Timer& tmrAsync() = 0;
    virtual platform::Timer& tmrPVTData() = 0;
    virtual std::int32_t tf_test(const std::string& cmd) = 0;
};

// cUSB's failures reach the host through link.USB_Error (uError).
std::unique_ptr<UsbDevice> Make_Usb_Device(platform::EventPump& pump, Link& link, std::function<std::int16_t()> port);

} // namespace brenvik
