// LandView's layer file: any bytes give at most 15 layers, each with its
// value, and the item reader ends within the text.
#include "main/links/layer_selection.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    const links::LayerList layers = links::Read_Layers(bytes);
    if (layers.names.size() != layers.values.size() || layers.names.size() > 15) std::abort();
    if (layers.count < 0 && !layers.names.empty()) std::abort();
    links::LayerItems items(bytes);
    std::size_t n = 0, total = 0;
    while (auto item = items.next()) {
        total += item->size();
        if (++n > size + 1 || total > size) std::abort();
    }
    return 0;
}
