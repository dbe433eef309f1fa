#include "platform/settings/stored_file.h"

#include <functional>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::string error_text(int err) { return std::strerror(err); }

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

std::string size_text(std::size_t bytes)
{
    if (bytes % (1024 * 1024) == 0)
        return std::to_string(bytes / (1024 * 1024)) + " MB";
    return std::to_string(bytes) + " bytes";
}

} // namespace

ReadResult read_stored_file(const std::string& path, std::size_t max_bytes, std::string& text, std::string& reason)
{
    text.clear();
    reason.clear();
    // O_NONBLOCK: a pipe in the file's place must not hold the program up.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT)
            return ReadResult::Missing;
        reason = error_text(errno);
        return ReadResult::Failed;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        reason = error_text(errno);
    } else if (S_ISDIR(st.st_mode)) {
        reason = error_text(EISDIR);
    } else if (!S_ISREG(st.st_mode)) {
        reason = "Not a regular file";
    } else if (std::uint64_t(st.st_size) > max_bytes) {
        reason = "Larger than " + size_text(max_bytes);
    } else {
        text.reserve(size_t(st.st_size));
        char buf[65536];
        for (;;) {
            ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                reason = error_text(errno);
                break;
            }
            if (n == 0)
                break;
            if (text.size() + size_t(n) > max_bytes) { // grew while we read it
                reason = "Larger than " + size_text(max_bytes);
                break;
            }
            text.append(buf, size_t(n));
        }
    }
    ::close(fd);
    if (!reason.empty()) {
        text.clear();
        return ReadResult::Failed;
    }
    return ReadResult::Read;
}

namespace {
std::function<void(const std::string&)>& save_observer()
{
    static std::function<void(const std::string&)> observer;
    return observer;
}
} // namespace

bool save_stored_file(const std::string& path, std::string_view text, std::string& reason, unsigned new_mode)
{
    reason.clear();
    mode_t mode = mode_t(new_mode);
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) {
            reason = error_text(EISDIR);
            return false;
        }
        if (!S_ISREG(st.st_mode)) {
            reason = "Not a regular file";
            return false;
        }
        // The rename would replace a read-only file; honour its protection.
        if (::access(path.c_str(), W_OK) != 0) {
            reason = error_text(errno);
            return false;
        }
        mode = st.st_mode & 07777;
    } else if (errno != ENOENT) {
        reason = error_text(errno);
        return false;
    }
    std::string tmp = path + ".XXXXXX";
    int fd = ::mkstemp(tmp.data());
    if (fd < 0) {
        reason = error_text(errno);
        return false;
    }
    ::fchmod(fd, mode);
    bool ok = write_all(fd, text) && ::fsync(fd) == 0;
    int err = errno;
    if (::close(fd) != 0 && ok) {
        ok = false;
        err = errno;
    }
    if (ok && ::rename(tmp.c_str(), path.c_str()) != 0) {
        ok = false;
        err = errno;
    }
    if (!ok) {
        ::unlink(tmp.c_str());
        reason = error_text(err);
        errno = err;
        return false;
    }
    if (save_observer())
        save_observer()(path);
    return true;
}

void observe_saves(std::function<void(const std::string&)> observer) { save_observer() = std::move(observer); }

namespace {
std::string extension_of(const std::string& path)
{
    std::size_t slash = path.rfind('/'), dot = path.rfind('.');
    return dot != std::string::npos && (slash == std::string::npos || dot > slash) ? path.substr(dot) : "";
}

// Copies the whole file; false with errno set to the cause.
bool copy_file(const std::string& from, const std::string& to)
{
    int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return false;
    int out = ::open(to.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    bool ok = out >= 0;
    int err = errno;
    char buf[65536];
    while (ok) {
        ssize_t n = ::read(in, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = n == 0;
            break;
        }
        ok = write_all(out, std::string_view(buf, std::size_t(n)));
    }
    if (!ok) err = errno;
    ::close(in);
    if (out >= 0 && ::close(out) != 0 && ok) ok = false, err = errno;
    errno = err;
    return ok;
}

// fsync of a finished file: what the page cache still holds is written
// now, so a late write error is seen before the file replaces another.
bool sync_file(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0;
    int err = errno;
    if (::close(fd) != 0 && ok) ok = false, err = errno;
    errno = err;
    return ok;
}

std::string lower_ascii(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}
} // namespace

StagedFiles::StagedFiles(std::vector<std::string> targets) : targets_(std::move(targets)) {}

StagedFiles::~StagedFiles()
{
    for (const auto& t : temps_) ::unlink(t.c_str());
    if (!marker_.empty()) ::unlink(marker_.c_str());
}

bool StagedFiles::failed(int err, std::string& reason)
{
    error_ = err;
    reason = err ? error_text(err) : "Not a regular file";
    return false;
}

bool StagedFiles::stage(bool copy_existing, std::string& reason)
{
    error_ = 0;
    if (targets_.empty()) return true;
    const std::string& first = targets_.front();
    std::size_t slash = first.rfind('/');
    std::string dir = slash == std::string::npos ? "" : first.substr(0, slash + 1);
    marker_ = dir + ".trekfold-save-XXXXXX";
    int fd = ::mkstemp(marker_.data());
    if (fd < 0) {
        marker_.clear();
        return failed(errno, reason);
    }
    ::close(fd);
    stem_ = marker_ + "-new";
    for (const auto& target : targets_) {
        std::string temp = stem_ + lower_ascii(extension_of(target));
        struct stat st {};
        bool exists = ::stat(target.c_str(), &st) == 0;
        if (exists && !S_ISREG(st.st_mode)) return failed(0, reason);
        if (exists && ::access(target.c_str(), W_OK) != 0) return failed(errno, reason);
        mode_t mask = ::umask(0);
        ::umask(mask);
        int t = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, exists ? st.st_mode & 07777 : 0666 & ~mask);
        if (t < 0) return failed(errno, reason);
        ::close(t);
        temps_.push_back(temp);
        if (exists && copy_existing && !copy_file(target, temp)) return failed(errno, reason);
    }
    return true;
}

bool StagedFiles::commit(std::string& reason)
{
    error_ = 0;
    std::vector<bool> made(targets_.size());
    for (std::size_t i = 0; i < targets_.size() && i < temps_.size(); ++i) {
        struct stat st {};
        made[i] = ::stat(temps_[i].c_str(), &st) == 0;
        if (made[i] && !sync_file(temps_[i])) return failed(errno, reason);
    }
    for (std::size_t i = 0; i < targets_.size() && i < temps_.size(); ++i)
        if (made[i] && ::rename(temps_[i].c_str(), targets_[i].c_str()) != 0) return failed(errno, reason);
    for (std::size_t i = 0; i < targets_.size(); ++i)
        if (save_observer()) save_observer()(targets_[i]);
    temps_.clear();
    return true;
}

std::string find_any_case(const std::string& path)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return path;
    const size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "./" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    DIR* d = ::opendir(dir.c_str());
    if (!d) return {};
    std::string found;
    while (dirent* e = ::readdir(d)) {
        if (::strcasecmp(e->d_name, name.c_str()) != 0) continue;
        found = (slash == std::string::npos ? std::string() : dir) + e->d_name;
        if (::stat(found.c_str(), &st) == 0 && S_ISREG(st.st_mode)) break;
        found.clear();
    }
    ::closedir(d);
    return found;
}

} // namespace platform
