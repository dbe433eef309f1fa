// What the reader reaches inside an element: its text and header as they
// stand (already escaped) and the attachment of a closed element.
#pragma once

#include "main/files/gpx.h"

#include <string_view>

namespace files {

struct TreeAccess {
    static void set_text(clsGPXType& e, std::string escaped) { e.text_ = std::move(escaped); }
    static void set_header(clsGPXType& e, std::string header);
};

namespace detail {
// Reads a document's bytes into `root` (see clsGPXType::GPX_LoadText).
void read_document(clsGPXType& root, std::string_view bytes);
} // namespace detail

} // namespace files
