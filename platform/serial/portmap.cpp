#include "platform/serial/portmap.h"

#include "platform/settings/settings.h"

#include <algorithm>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sys/stat.h>

namespace platform {
namespace {

std::optional<std::string> process_env(const std::string& name)
{
    if (const char* v = std::getenv(name.c_str())) return std::string(v);
    return std::nullopt;
}

// Numbers of the entries <prefix><digits> of a folder, sorted.
std::vector<long> numbered_entries(const std::string& dir, const std::string& prefix)
{
    std::vector<long> out;
    DIR* d = opendir(dir.c_str());
    if (!d) return out;
    while (dirent* e = readdir(d)) {
        std::string n = e->d_name;
        if (n.size() <= prefix.size() || n.compare(0, prefix.size(), prefix) != 0) continue;
        std::string digits = n.substr(prefix.size());
        if (digits.size() > 9 || !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
            continue;
        out.push_back(std::stol(digits));
    }
    closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}

} // namespace

PortMap::PortMap(const Settings* settings, std::function<std::optional<std::string>(const std::string&)> getenv,
                 std::string dev_dir, std::string sys_dir)
    : settings_(settings), getenv_(getenv ? std::move(getenv) : process_env), dev_dir_(std::move(dev_dir)),
      sys_dir_(std::move(sys_dir))
{
}

std::vector<std::string> PortMap::system_devices() const
{
    std::vector<std::string> out;
    for (long n : numbered_entries(dev_dir_, "ttyS")) {
        // The kernel creates ttyS0..3 (and more) whether or not a UART is
        // there; /sys/class/tty/ttySn/type reads 0 for those.
        std::string name = "ttyS" + std::to_string(n);
        std::ifstream type(sys_dir_ + "/" + name + "/type");
        int t = -1;
        if (type >> t && t == 0) continue;
        out.push_back(dev_dir_ + "/" + name);
    }
    for (const char* prefix : {"ttyUSB", "ttyACM"})
        for (long n : numbered_entries(dev_dir_, prefix))
            out.push_back(dev_dir_ + "/" + prefix + std::to_string(n));
    return out;
}

std::optional<std::string> PortMap::device(int n) const
{
    if (n < 1) return std::nullopt;
    std::string num = std::to_string(n);
    if (auto v = getenv_("TREKFOLD_COM" + num); v && !v->empty()) return v;
    if (settings_) {
        if (auto v = settings_->get("ports", "com" + num); v && !v->empty()) return v;
    }
    auto devs = system_devices();
    if (static_cast<std::size_t>(n) <= devs.size()) return devs[static_cast<std::size_t>(n) - 1];
    return std::nullopt;
}

bool PortMap::Port_Exists(int n) const
{
    auto path = device(n);
    if (!path) return false;
    struct stat st {};
    return ::stat(path->c_str(), &st) == 0;
}

} // namespace platform
