// What the main window asks of the hosted device control `garmin` at
// start-up and shut-down: its port number and settings, and opening and
// closing the port. The device control plugs in behind this face; until it
// does the main window holds no control and skips these calls.
#pragma once

#include <cstdint>
#include <string>

namespace app {

class GarminControl {
public:
    virtual ~GarminControl() = default;
    virtual void set_Port(std::int16_t port) = 0;     // 0 = the USB link
    virtual void set_Settings(const std::string& settings) = 0; // "9600,N,8,1"
    virtual void PortOpen() = 0;
    virtual void PortClose() = 0;
};

} // namespace app
