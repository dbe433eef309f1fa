// The shapefile pair reader: any pair opens and reads record by record
// without crashing, or fails with one of its errors. Input: the index
// file's length (4 bytes, little-endian), the index file, the main file.
#include "main/files/shapefile.h"
#include "platform/automation/vb_error.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

namespace {

const std::string& folder()
{
    static const std::string dir = [] {
        char t[] = "/tmp/fuzz-shapefile-XXXXXX";
        if (!::mkdtemp(t)) std::abort();
        return std::string(t);
    }();
    return dir;
}

void write(const std::string& path, const std::uint8_t* data, size_t n)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) std::abort();
    if (n) std::fwrite(data, 1, n, f);
    std::fclose(f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    if (size < 4) return 0;
    size_t shx = data[0] | (data[1] << 8) | (data[2] << 16) | (size_t(data[3]) << 24);
    data += 4;
    size -= 4;
    if (shx > size) shx = size;
    write(folder() + "/f.shx", data, shx);
    write(folder() + "/f.shp", data + shx, size - shx);
    try {
        files::CFileName name;
        name.SetFileSpec(folder() + "/f.shp");
        files::CShapeFile file;
        file.SetFileSpec(name, 0);
        // A header may claim any count: a few thousand records say enough.
        for (std::int32_t i = 1; i <= file.Count() && i <= 4096; ++i) {
            try {
                file.Item(i);
            } catch (const platform::VbError&) {
            }
        }
    } catch (const platform::VbError&) {
    }
    return 0;
}
