// COM port numbers to serial device paths. COM n is, in this order:
// the environment variable TREKFOLD_COM<n>; the settings key "com<n>" of
// section "ports"; else the n-th of the system's serial devices
// (/dev/ttyS*, then /dev/ttyUSB*, then /dev/ttyACM*, each by number;
// ttyS ports without hardware behind them are left out).
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace platform {

class Settings;

class PortMap {
public:
    // `settings` may be null (no settings mapping). `getenv` defaults to
    // the process environment; `dev_dir`/`sys_dir` to /dev and
    // /sys/class/tty (tests point them elsewhere).
    explicit PortMap(const Settings* settings = nullptr,
                     std::function<std::optional<std::string>(const std::string&)> getenv = {},
                     std::string dev_dir = "/dev", std::string sys_dir = "/sys/class/tty");

    // The device path of COM n, or nothing when n is below 1 or nothing is
    // mapped to it.
    std::optional<std::string> device(int n) const;
    // Whether COM n maps to a path that exists.
    bool Port_Exists(int n) const;
    // The system's serial devices in COM order.
    std::vector<std::string> system_devices() const;

private:
    const Settings* settings_;
    std::function<std::optional<std::string>(const std::string&)> getenv_;
    std::string dev_dir_, sys_dir_;
};

} // namespace platform
