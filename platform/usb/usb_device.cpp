#include "platform/usb/usb_device.h"

#include "platform/usb/fake_usb.h"

#include <cstdlib>
#include <stdexcept>

namespace platform {

UsbOpenResult open_garmin_usb(EventPump& pump)
{
    const char* fake = std::getenv("TREKFOLD_USB_FAKE");
    if (!fake || !*fake) return open_garmin_libusb();
    UsbOpenResult r;
    try {
        auto script = std::make_shared<FakeUsbScript>(FakeUsbScenario::load(fake));
        if (const char* rec = std::getenv("TREKFOLD_USB_FAKE_RECORD")) script->record_path = rec;
        r.device = std::make_unique<FakeUsbDevice>(std::move(script), pump);
    } catch (const std::exception& e) {
        r.failure = UsbOpenFailure::fake_script;
        r.code = -1;
        r.detail = e.what();
    }
    return r;
}

} // namespace platform
