// Profile files (the Windows INI format read and written entry by entry), as
// the control's translation files use them.
//
//   [Section]
//   key=value
//
// Section and key names match without regard to letter case; names and
// values are read with surrounding blanks removed, and a value wholly inside
// double or single quotes loses them (so " a " keeps its blanks). Each call
// reads the file again; writes replace the file atomically through the
// settings store's save (a read-only file is left alone). Reading and
// writing take time linear in the file. Files larger than max_profile_bytes
// are treated as unreadable.
#pragma once

#include "platform/settings/stored_file.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

inline constexpr std::size_t max_profile_bytes = max_stored_file_bytes;

// The value of key in section, at most size - 1 characters; `deflt` when the
// file, section or key is missing. `found` (optional) tells whether the key
// was there (with any value, even empty).
std::string GetPrivateProfileString(std::string_view section, std::string_view key,
                                    std::string_view deflt, std::size_t size,
                                    const std::string& file, bool* found = nullptr);

// Sets key=value in section, creating the file and the section when needed.
// Values with leading or trailing blanks, or wrapped in quotes, are written
// between double quotes. False when the file cannot be written (or the key
// is empty, or a name or value holds a line break).
bool WritePrivateProfileString(std::string_view section, std::string_view key,
                               std::string_view value, const std::string& file);

} // namespace platform
