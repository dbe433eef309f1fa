#include "platform/settings/settings.h"

#include "platform/automation/vb_error.h"
#include "platform/settings/stored_file.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

constexpr std::size_t kMaxFileSize = max_stored_file_bytes;

std::string parent_dir(const std::string& path)
{
    auto slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

void make_dirs(const std::string& dir)
{
    if (dir.empty() || dir == "/" || dir == ".")
        return;
    struct stat st;
    if (::stat(dir.c_str(), &st) == 0)
        return;
    make_dirs(parent_dir(dir));
    ::mkdir(dir.c_str(), 0700);
}

} // namespace

Settings::Settings(std::string path, std::string application)
    : path_(std::move(path)), application_(std::move(application))
{
    refresh();
}

std::string Settings::default_path()
{
    std::string base;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x == '/')
        base = x;
    else if (const char* h = std::getenv("HOME"); h && *h)
        base = std::string(h) + "/.config";
    else
        base = "/tmp/trekfold-" + std::to_string(::getuid()) + "/.config";
    return base + "/trekfold/trekfold.ini";
}

void Settings::refresh() const
{
    // Held changes are not yet in the file; reading it would drop them.
    if (holds_ > 0 && epoch_ != 0)
        return;
    struct stat st;
    Stamp now;
    if (::stat(path_.c_str(), &st) == 0) {
        now.exists = true;
        now.mtime_ns = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        now.size = st.st_size;
        now.inode = std::int64_t(st.st_ino);
    }
    if (now == stamp_ && epoch_ != 0)
        return;
    stamp_ = now;
    ++epoch_;
    std::string text;
    switch (read_stored_file(path_, kMaxFileSize, text, read_problem_)) {
    case ReadResult::Read:
        doc_ = parse_ini(text);
        keep_copy_ = doc_.skipped_lines > 0;
        break;
    case ReadResult::Missing:
        doc_ = IniDocument{};
        keep_copy_ = false;
        break;
    case ReadResult::Failed:
        doc_ = IniDocument{};
        keep_copy_ = true;
        break;
    }
}

const std::string& Settings::read_problem() const
{
    refresh();
    return read_problem_;
}

std::optional<std::string> Settings::get(const std::string& section, const std::string& key) const
{
    refresh();
    if (const std::string* v = doc_.value(section, key))
        return *v;
    return std::nullopt;
}

std::string Settings::GetSetting(const std::string& section, const std::string& key,
                                 const std::string& default_value) const
{
    auto v = get(section, key);
    return v ? *v : default_value;
}

std::vector<std::pair<std::string, std::string>> Settings::GetAllSettings(const std::string& section) const
{
    refresh();
    if (const IniSection* s = doc_.find(section))
        return s->entries;
    return {};
}

void Settings::SaveSetting(const std::string& section, const std::string& key, const std::string& value)
{
    refresh();
    const IniSection* had_section = doc_.find(section);
    std::optional<std::string> previous;
    if (const std::string* v = had_section ? had_section->get(key) : nullptr) {
        if (*v == value)
            return;
        previous = *v;
    }
    // Changed in place (a copy of a large store at every save would make
    // many saves quadratic) and changed back when the file cannot be written.
    IniSection& s = doc_.section(section);
    s.put(key, value);
    if (holds_ > 0) {
        held_changes_ = true;
    } else if (std::string reason; !write(doc_, reason)) {
        if (previous)
            s.put(key, std::move(*previous));
        else if (had_section)
            s.erase(key);
        else
            doc_.erase(section);
        throw VbError(75, "SaveSetting", "Path/File access error: " + path_ + ": " + reason);
    }
    bump(section);
}

bool Settings::DeleteSetting(const std::string& section, const std::string& key)
{
    refresh();
    IniDocument doc = doc_;
    bool removed;
    if (key.empty()) {
        const IniSection* s = doc.find(section);
        removed = s && !s->entries.empty();
        doc.erase(section);
    } else {
        IniSection* s = doc.find(section);
        removed = s && s->erase(key);
    }
    if (!removed)
        return false;
    commit(std::move(doc));
    bump(section);
    return true;
}

void Settings::bump(const std::string& section)
{
    for (auto& c : section_counts_)
        if (iequals(c.first, section)) {
            ++c.second;
            return;
        }
    section_counts_.emplace_back(section, 1);
}

bool Settings::write(const IniDocument& doc, std::string& reason)
{
    make_dirs(parent_dir(path_));
    // A file with lines we could not read (or could not read at all) is
    // kept beside the store before the first rewrite drops those lines.
    // An older copy goes only when a new one takes its place.
    if (keep_copy_) {
        std::string copy = path_ + ".bak", staged = copy + ".new";
        ::unlink(staged.c_str());
        if (::link(path_.c_str(), staged.c_str()) == 0 && ::rename(staged.c_str(), copy.c_str()) == 0) {
            keep_copy_ = false;
        } else {
            ::unlink(staged.c_str());
            std::string old;
            if (read_stored_file(path_, kMaxFileSize, old, reason) == ReadResult::Read &&
                save_stored_file(copy, old, reason))
                keep_copy_ = false;
        }
        // Without the copy the rewrite would lose what the file holds.
        if (keep_copy_ && ::access(path_.c_str(), F_OK) == 0)
            return false;
    }
    if (!save_stored_file(path_, write_ini(doc), reason))
        return false;
    // Our own write: remember the new file so the next read does not reload it.
    struct stat st;
    if (::stat(path_.c_str(), &st) == 0) {
        stamp_.exists = true;
        stamp_.mtime_ns = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        stamp_.size = st.st_size;
        stamp_.inode = std::int64_t(st.st_ino);
    }
    return true;
}

void Settings::commit(IniDocument doc)
{
    if (holds_ > 0) {
        doc_ = std::move(doc);
        held_changes_ = true;
        return;
    }
    std::string reason;
    if (!write(doc, reason))
        throw VbError(75, "SaveSetting", "Path/File access error: " + path_ + ": " + reason);
    doc_ = std::move(doc);
}

void Settings::hold()
{
    refresh();
    ++holds_;
}

std::string Settings::release()
{
    if (holds_ == 0 || --holds_ > 0 || !held_changes_)
        return {};
    held_changes_ = false;
    std::string reason;
    if (!write(doc_, reason))
        return reason;
    return {};
}

std::uint64_t Settings::generation(const std::string& section) const
{
    std::uint64_t own = 0;
    for (const auto& c : section_counts_)
        if (iequals(c.first, section))
            own = c.second;
    return epoch_ + own;
}

} // namespace platform
