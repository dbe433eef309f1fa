#include "platform/settings/stored_file.h"

#include <functional>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
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

} // namespace platform
