#include "platform/settings/settings.h"

#include "platform/automation/vb_error.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// The store is small; anything bigger than this is not ours and is ignored.
constexpr std::int64_t kMaxFileSize = 16 * 1024 * 1024;

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

bool read_file(const std::string& path, std::string& out)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    out.clear();
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (std::int64_t(out.size()) + n > kMaxFileSize) {
            out.clear();
            break;
        }
        out.append(buf, size_t(n));
    }
    ::close(fd);
    return true;
}

bool write_all(int fd, std::string_view data)
{
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += size_t(n);
    }
    return true;
}

} // namespace

bool File_Replace(const std::string& path, std::string_view data, unsigned mode)
{
    std::string tmp = path + ".XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0)
        return false;
    ::fchmod(fd, mode_t(mode));
    bool ok = write_all(fd, data) && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(tmp.c_str(), path.c_str()) != 0) {
        ::unlink(tmp.c_str());
        return false;
    }
    return true;
}

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
    if (now.exists && now.size <= kMaxFileSize && read_file(path_, text)) {
        doc_ = parse_ini(text);
        keep_copy_ = doc_.skipped_lines > 0;
    } else {
        doc_ = IniDocument{};
        keep_copy_ = now.exists;
    }
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
    IniDocument doc = doc_;
    IniSection* s = doc.find(section);
    if (!s) {
        doc.sections.push_back(IniSection{section, {}});
        s = &doc.sections.back();
    }
    bool found = false;
    for (auto& e : s->entries) {
        if (iequals(e.first, key)) {
            e.second = value;
            found = true;
            break;
        }
    }
    if (!found)
        s->entries.emplace_back(key, value);
    commit(std::move(doc));
    // Bump the section's counter.
    for (auto& c : section_counts_)
        if (iequals(c.first, section)) {
            ++c.second;
            return;
        }
    section_counts_.emplace_back(section, 1);
}

bool Settings::DeleteSetting(const std::string& section, const std::string& key)
{
    refresh();
    IniDocument doc = doc_;
    bool removed = false;
    for (size_t i = 0; i < doc.sections.size(); ++i) {
        IniSection& s = doc.sections[i];
        if (!iequals(s.name, section))
            continue;
        if (key.empty()) {
            removed = !s.entries.empty();
            doc.sections.erase(doc.sections.begin() + std::ptrdiff_t(i));
        } else {
            for (size_t k = 0; k < s.entries.size(); ++k) {
                if (iequals(s.entries[k].first, key)) {
                    s.entries.erase(s.entries.begin() + std::ptrdiff_t(k));
                    removed = true;
                    break;
                }
            }
        }
        break;
    }
    if (!removed)
        return false;
    commit(std::move(doc));
    for (auto& c : section_counts_)
        if (iequals(c.first, section)) {
            ++c.second;
            return true;
        }
    section_counts_.emplace_back(section, 1);
    return true;
}

void Settings::commit(IniDocument doc)
{
    std::string dir = parent_dir(path_);
    make_dirs(dir);
    std::string text = write_ini(doc);
    // A file with lines we could not read (or could not read at all) is
    // kept beside the store before the first rewrite drops those lines.
    if (keep_copy_) {
        std::string copy = path_ + ".bak";
        ::unlink(copy.c_str());
        if (::link(path_.c_str(), copy.c_str()) == 0) {
            keep_copy_ = false;
        } else {
            std::string old;
            int fd = read_file(path_, old) ? ::open(copy.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600) : -1;
            if (fd >= 0) {
                keep_copy_ = !write_all(fd, old);
                ::close(fd);
            }
        }
    }
    if (!File_Replace(path_, text, 0600))
        throw VbError(75, "SaveSetting", "Path/File access error");
    doc_ = std::move(doc);
    // Our own write: remember the new file so the next read does not reload it.
    struct stat st;
    if (::stat(path_.c_str(), &st) == 0) {
        stamp_.exists = true;
        stamp_.mtime_ns = std::int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
        stamp_.size = st.st_size;
        stamp_.inode = std::int64_t(st.st_ino);
    }
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
