// The small text files the program keeps for itself (the settings store,
// profile files): one bounded reader that says why a file could not be
// read, and one save through a temporary file in the same folder and a
// rename, so a failed save leaves the previous file intact.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// The largest file the program reads as its own; anything bigger is not.
inline constexpr std::size_t max_stored_file_bytes = 16 * 1024 * 1024;

enum class ReadResult { Read, Missing, Failed };

// The whole of a regular file of at most max_bytes into `text`. Missing:
// there is no file. Failed: `reason` says why (a folder or other
// non-regular file, no permission, too large, an I/O error); `text` is
// then empty. Never blocks on a pipe or device put in the file's place.
ReadResult read_stored_file(const std::string& path, std::size_t max_bytes, std::string& text, std::string& reason);

// Writes `text` to a new file beside `path` and renames it over `path`.
// A file that is already there must be a regular file its owner may write
// (a read-only file stays as it is); its permission bits are kept, a new
// file gets `new_mode`. False with `reason` set when nothing was changed.
bool save_stored_file(const std::string& path, std::string_view text, std::string& reason,
                      unsigned new_mode = 0600);

// The same save for files another writer makes from a path (a library):
// each target gets a temporary beside it, all sharing one stem so that
// "x.shp", "x.shx" and "x.dbf" stay a set (the temporaries' extensions are
// the targets' in lower case); commit() puts each temporary on disk
// (fsync) and renames it over its target. Temporaries not committed are
// removed. A temporary of an existing target is a copy of it when
// `copy_existing` (an append). After a failure, error() is the system's
// error number of its cause (0 when there is none, such as a folder in a
// target's place).
class StagedFiles {
public:
    explicit StagedFiles(std::vector<std::string> targets);
    ~StagedFiles();
    StagedFiles(const StagedFiles&) = delete;
    StagedFiles& operator=(const StagedFiles&) = delete;
    bool stage(bool copy_existing, std::string& reason);
    const std::string& temp(std::size_t i) const { return temps_[i]; }
    // The temporaries' common path without extension.
    const std::string& temp_stem() const { return stem_; }
    bool commit(std::string& reason);
    int error() const { return error_; }

private:
    bool failed(int err, std::string& reason);

    std::vector<std::string> targets_, temps_;
    std::string stem_, marker_;
    int error_ = 0;
};

// `path` itself when it is a regular file, else a regular file in the same
// folder whose name differs from it only in case (A.SHP or A.DBF written by
// a Windows program); "" when there is neither.
std::string find_any_case(const std::string& path);

// Test support: `observer` is told the path of every file a save completes
// (the probes report the files a command wrote). Empty: nobody is told.
void observe_saves(std::function<void(const std::string&)> observer);

} // namespace platform
