// Text-level helpers of the GPX reader and writer: the document's bytes to
// UTF-8, escaping and decoding, UTF-8 checks.
#pragma once

#include <string>
#include <string_view>

namespace files::detail {

// The document's bytes as UTF-8, in the encoding its byte-order mark or
// declaration names, else UTF-8, else (bytes that are not valid UTF-8)
// Windows-1252. Every tab, CR, LF and CR LF becomes one blank.
std::string document_text(std::string_view bytes);

// Whether the bytes are valid UTF-8 (no overlong forms or surrogates).
bool valid_utf8(std::string_view bytes);
// Invalid UTF-8 sequences replaced by U+FFFD.
std::string repair_utf8(std::string_view bytes);
// Every "&" escaped, then < > ' " (text that stands for itself, as CDATA).
std::string escape_all(std::string_view text);
// Appends the UTF-8 form of a code point (U+FFFD for one that is not a character).
void append_utf8(std::string& out, unsigned long code);

} // namespace files::detail
