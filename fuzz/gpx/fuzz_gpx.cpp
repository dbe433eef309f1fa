// The GPX reader: any bytes load without crashing or hanging, and the tree
// they give writes out as UTF-8 text whose texts all decode.
#include "main/files/detail/xml_text.h"
#include "main/files/gpx.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <functional>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    // The bytes reach GPX_LoadFile as a file, without touching the disk.
    static int fd = ::memfd_create("gpx", 0);
    if (fd < 0 || ::ftruncate(fd, 0) != 0 || ::pwrite(fd, data, size, 0) != ssize_t(size))
        std::abort();
    files::clsGPXType root;
    if (!root.GPX_LoadFile("/proc/self/fd/" + std::to_string(fd)))
        std::abort();
    std::string text = root.gpxString();
    if (!files::detail::valid_utf8(text))
        std::abort();
    std::function<void(const files::clsGPXType&)> walk = [&](const files::clsGPXType& e) {
        files::XML_Decode(e.Description());
        for (const auto& a : e.attributes())
            files::XML_Decode(a.second);
        for (const auto& c : e.children())
            walk(*c.second);
    };
    walk(root);
    return 0;
}
