#include "imaging/detail/image_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>

namespace glimmerax {

bool ImageStream::OpenFile(const std::string& name)
{
    Close();
    int fd = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    fd_ = fd;
    size_ = std::uint64_t(st.st_size);
    return true;
}

void ImageStream::OpenMemory(const std::uint8_t* data, std::size_t size)
{
    Close();
    data_ = data;
    size_ = size;
    memory_ = true;
}

void ImageStream::CreateMemory()
{
    Close();
    owned_ = true;
    out_.reserve(4096);
}

bool ImageStream::Read(void* buffer, std::uint32_t count, std::uint32_t* got)
{
    std::memset(buffer, 0, count);
    *got = 0;
    if (memory_ || owned_) {
        if (position_ > size_) return false;
        std::uint64_t n = std::min<std::uint64_t>(count, size_ - position_);
        if (n) std::memcpy(buffer, (owned_ ? out_.data() : data_) + position_, n);
        position_ += n;
        *got = std::uint32_t(n);
        return true;
    }
    if (fd_ < 0) return false;
    std::uint32_t done = 0;
    while (done < count) {
        ssize_t r = ::pread(fd_, static_cast<char*>(buffer) + done, count - done, off_t(position_ + done));
        if (r < 0) return false;
        if (r == 0) break;
        done += std::uint32_t(r);
    }
    position_ += done;
    *got = done;
    return true;
}

bool ImageStream::Seek(std::uint64_t position)
{
    if (position >= size_) return false;
    position_ = position;
    return true;
}

bool ImageStream::Write(const void* data, std::size_t count)
{
    if (!owned_) return false;
    std::size_t need = std::size_t(position_) + count;
    if (need > out_.capacity()) out_.reserve((need / 4096 + 1) * 4096);
    if (need > out_.size()) out_.resize(need);
    std::memcpy(out_.data() + position_, data, count);
    position_ += count;
    size_ = out_.size();
    return true;
}

void ImageStream::Close()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    data_ = nullptr;
    memory_ = owned_ = false;
    out_.clear();
    out_.shrink_to_fit();
    size_ = position_ = 0;
}

bool SaveFile(const std::string& name, const std::uint8_t* data, std::size_t size, bool append)
{
    namespace fs = std::filesystem;
    fs::path target(name);
    fs::path dir = target.has_parent_path() ? target.parent_path() : fs::path(".");
    std::string tmpl = (dir / ("." + target.filename().string() + ".XXXXXX")).string();
    int fd = ::mkstemp(tmpl.data());
    if (fd < 0) return false;
    bool ok = true;
    auto put = [&](const std::uint8_t* p, std::size_t n) {
        while (ok && n) {
            ssize_t w = ::write(fd, p, n);
            if (w <= 0) ok = false;
            else p += w, n -= std::size_t(w);
        }
    };
    mode_t mode = 0644;
    struct stat st {};
    if (::stat(name.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
        if (append) {
            int in = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
            if (in < 0) ok = false;
            std::uint8_t buf[65536];
            ssize_t r;
            while (ok && (r = ::read(in, buf, sizeof buf)) > 0) put(buf, std::size_t(r));
            if (in >= 0) ::close(in);
        }
    } else {
        mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    put(data, size);
    ::fchmod(fd, mode);
    if (::fsync(fd) != 0) ok = false;
    ::close(fd);
    if (ok && std::rename(tmpl.c_str(), name.c_str()) == 0) return true;
    ::unlink(tmpl.c_str());
    return false;
}

} // namespace glimmerax
