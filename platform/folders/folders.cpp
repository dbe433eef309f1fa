#include "platform/folders/folders.h"

#include "platform/automation/vb_error.h"

#include <QChar>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>

#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

// File systems that are no volume a user keeps files on.
const std::set<std::string> kPseudoFileSystems{
    "proc",       "sysfs",      "devtmpfs", "devpts",  "tmpfs",       "cgroup",    "cgroup2",  "securityfs",
    "debugfs",    "tracefs",    "pstore",   "bpf",     "mqueue",      "hugetlbfs", "configfs", "fusectl",
    "autofs",     "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs",     "ramfs",     "selinuxfs", "nfsd",
    "fuse.gvfsd-fuse", "fuse.portal", "squashfs"};

// A mount table field with its octal escapes ("\040" for a blank) undone.
std::string unescape_mount(const std::string& field)
{
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && std::isdigit(static_cast<unsigned char>(field[i + 1])) &&
            std::isdigit(static_cast<unsigned char>(field[i + 2])) &&
            std::isdigit(static_cast<unsigned char>(field[i + 3]))) {
            out += static_cast<char>((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

// The UTF-16 code units of a UTF-8 name, each upper-cased on its own as
// NTFS's upcase table does (surrogates stay as they are). Bytes that are
// no UTF-8 count as Latin-1 characters.
std::u16string upcased(const std::string& name)
{
    std::u16string out;
    out.reserve(name.size());
    auto unit = [&out](char32_t c) {
        if (c >= 0x10000) {
            c -= 0x10000;
            out.push_back(char16_t(0xD800 + (c >> 10)));
            out.push_back(char16_t(0xDC00 + (c & 0x3FF)));
        } else {
            out.push_back(QChar(char16_t(c)).toUpper().unicode());
        }
    };
    const auto* s = reinterpret_cast<const unsigned char*>(name.data());
    const std::size_t n = name.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char b = s[i];
        int extra = b >= 0xF0 && b < 0xF5 ? 3 : b >= 0xE0 ? 2 : b >= 0xC2 && b < 0xE0 ? 1 : 0;
        if (b >= 0xF5) extra = 0;
        char32_t c = extra == 3 ? b & 0x07 : extra == 2 ? b & 0x0F : extra == 1 ? b & 0x1F : b;
        bool ok = b < 0x80 || extra > 0;
        for (int k = 1; ok && k <= extra; ++k) {
            if (i + k >= n || (s[i + k] & 0xC0) != 0x80) ok = false;
            else c = (c << 6) | (s[i + k] & 0x3F);
        }
        if (!ok) {
            unit(b);
            ++i;
            continue;
        }
        unit(c);
        i += std::size_t(extra) + 1;
    }
    return out;
}

char fold(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

struct DirCloser {
    void operator()(DIR* d) const noexcept { ::closedir(d); }
};

} // namespace

std::vector<std::string> Drive_List(const std::string& mounts)
{
    std::vector<std::string> out;
    if (const char* list = std::getenv("TREKFOLD_DRIVES")) {
        std::string text = list;
        std::size_t start = 0;
        for (;;) {
            const std::size_t colon = text.find(':', start);
            std::string folder = text.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
            if (!folder.empty()) out.push_back(Trim_Folder(folder));
            if (colon == std::string::npos) return out;
            start = colon + 1;
        }
    }
    std::ifstream in(mounts);
    std::set<std::string> seen;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string device, folder, type;
        if (!(fields >> device >> folder >> type) || kPseudoFileSystems.count(type)) continue;
        folder = unescape_mount(folder);
        if (seen.insert(folder).second) out.push_back(folder);
    }
    return out;
}

std::string Drive_Of(const std::string& location, const std::vector<std::string>& drives)
{
    std::string best;
    for (const std::string& d : drives) {
        const std::string folder = Trim_Folder(d);
        const bool inside = folder == "/" ? !location.empty() && location[0] == '/'
                                          : location.compare(0, folder.size(), folder) == 0 &&
                                                (location.size() == folder.size() || location[folder.size()] == '/');
        if (inside && folder.size() > best.size()) best = folder;
    }
    return best;
}

bool Pattern_Match(const std::string& name, const std::string& pattern)
{
    // Greedy matching with one back-track point: linear in practice.
    std::size_t n = 0, p = 0, star = std::string::npos, resume = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || (pattern[p] != '*' && fold(pattern[p]) == fold(name[n])))) {
            ++n, ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            resume = n;
        } else if (star != std::string::npos) {
            p = star + 1;
            n = ++resume;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::vector<std::string> Folder_Files(const std::string& folder, const std::string& pattern)
{
    std::unique_ptr<DIR, DirCloser> dir(::opendir(folder.c_str()));
    if (!dir) throw FileError(errno);
    const int fd = ::dirfd(dir.get());
    std::vector<std::pair<std::u16string, std::string>> found;
    errno = 0;
    while (const dirent* e = ::readdir(dir.get())) {
        const std::string name = e->d_name;
        if (name.empty() || name[0] == '.' || !Pattern_Match(name, pattern)) continue;
        bool regular = e->d_type == DT_REG;
        if (e->d_type == DT_UNKNOWN || e->d_type == DT_LNK) {
            struct stat st {};
            regular = ::fstatat(fd, e->d_name, &st, 0) == 0 && S_ISREG(st.st_mode);
        }
        if (regular) found.emplace_back(upcased(name), name);
    }
    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> out;
    out.reserve(found.size());
    for (auto& f : found) out.push_back(std::move(f.second));
    return out;
}

void Rename_NoReplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return;
    int err = errno;
    if (err == EINVAL || err == ENOSYS || err == ENOTSUP) {
        // A file system without the flag: a hard link claims the new name
        // or fails when it is taken; the old name goes only after that.
        if (::link(from.c_str(), to.c_str()) == 0) {
            if (::unlink(from.c_str()) == 0) return;
            err = errno;
            ::unlink(to.c_str());
            throw FileError(err);
        }
        err = errno;
    }
    if (err == EEXIST) throw VbError(58, "", "File already exists");
    throw FileError(err);
}

std::string Trim_Folder(std::string folder)
{
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    return folder;
}

} // namespace platform
