// The per-user settings store of the program: application "trekfold",
// sections of keys holding texts.
//
// Same rules as the registry store the program was written against: a key
// that is absent differs from one holding ""; section and key names ignore
// case. The store is one INI file, $XDG_CONFIG_HOME/trekfold/trekfold.ini
// (~/.config when XDG_CONFIG_HOME is unset), rewritten whole through a
// temporary file and a rename at every change, so a failed save leaves the
// previous file intact. Reads notice when another writer replaced the file.
// A file holding lines the reader cannot use is copied to trekfold.ini.bak
// before the first rewrite, so nothing in it is lost. A file that cannot
// be read at all (a folder in its place, no permission, too large) leaves
// the store empty and says why (read_problem); a read-only file is read
// and never replaced. Reading and saving take time linear in the file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/settings/ini.h"

namespace platform {

class Settings {
public:
    // The store in `path`; the file need not exist yet.
    explicit Settings(std::string path, std::string application = "trekfold");
    // $XDG_CONFIG_HOME/trekfold/trekfold.ini, or ~/.config/trekfold/trekfold.ini.
    static std::string default_path();

    const std::string& application() const { return application_; }
    const std::string& path() const { return path_; }

    // The stored text, or `default_value` when the key is absent.
    std::string GetSetting(const std::string& section, const std::string& key,
                           const std::string& default_value = {}) const;
    std::optional<std::string> get(const std::string& section, const std::string& key) const;
    // Throws VbError 75 "Path/File access error" when the file cannot be written
    // (the store then keeps its previous contents); the description goes on
    // to name the file and the reason. Saving the value a key already holds
    // writes nothing.
    void SaveSetting(const std::string& section, const std::string& key, const std::string& value);
    // Removes one key, or the whole section when `key` is empty. Returns
    // whether anything was there.
    bool DeleteSetting(const std::string& section, const std::string& key = {});
    // Key and value of every entry of a section, in stored order.
    std::vector<std::pair<std::string, std::string>> GetAllSettings(const std::string& section) const;

    // A number that grows whenever the section may have changed: written
    // here, or the file found replaced by another writer at a read. Cheap
    // (no file access), so caches can compare it at every use.
    std::uint64_t generation(const std::string& section) const;

    // Why the file could not be read at the last look ("" when it was read
    // or does not exist), e.g. "Is a directory" or "Permission denied".
    const std::string& read_problem() const;

    // Holds saves back: until release(), saves and deletions change the
    // store in memory only. release() writes them in one save and returns
    // "" or the reason the file could not be written; the changes stay in
    // memory for this run either way. Holds nest.
    void hold();
    std::string release();

private:
    void refresh() const;
    void commit(IniDocument doc);
    bool write(const IniDocument& doc, std::string& reason);
    void bump(const std::string& section);

    std::string path_;
    std::string application_;
    mutable IniDocument doc_;
    mutable struct Stamp {
        bool exists = false;
        std::int64_t mtime_ns = 0, size = 0, inode = 0;
        bool operator==(const Stamp&) const = default;
    } stamp_;
    mutable std::uint64_t epoch_ = 0; // bumped when the file is (re)read
    mutable bool keep_copy_ = false;  // save a copy before the next rewrite
    mutable std::string read_problem_;
    int holds_ = 0;
    bool held_changes_ = false;
    mutable std::vector<std::pair<std::string, std::uint64_t>> section_counts_;
};


} // namespace platform
