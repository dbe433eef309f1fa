// The KML reader: any text gives its placemarks without crashing or
// hanging, each placemark's text lies inside the input, and a placemark
// filled from it writes out again.
#include "main/files/detail/kml_scan.h"
#include "main/files/kml.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const char* geometry : {"point", "linestring", "polygon"})
        files::detail::Placemarks_Find(text, geometry, [&](std::string_view placemark) {
            if (placemark.data() < text.data() || placemark.data() + placemark.size() > text.data() + text.size())
                std::abort();
            files::CGPlacemark p;
            p.Define_FromKMLString(placemark);
            for (const char* shape : {"point", "line", "polygon"})
                if (p.Get_KMLString(shape).empty())
                    std::abort();
            return true;
        });
    return 0;
}
