#include "main/files/detail/binary_file.h"


#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace files::detail {

BinaryFile BinaryFile::open(const std::string& path, Mode mode)
{
    BinaryFile f;
    int flags = O_CLOEXEC;
    switch (mode) {
    case ReadOnly: flags |= O_RDONLY; break;
    case ReadWrite: flags |= O_RDWR; break;
    case Create: flags |= O_RDWR | O_CREAT; break;
    case Truncate: flags |= O_RDWR | O_CREAT | O_TRUNC; break;
    }
    int fd;
    do fd = ::open(path.c_str(), flags, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) return f;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return f;
    }
    f.fd_ = fd;
    f.writable_ = mode != ReadOnly;
    f.path_ = path;
    return f;
}

BinaryFile::BinaryFile(BinaryFile&& o) noexcept
    : fd_(o.fd_), writable_(o.writable_), pos_(o.pos_), write_error_(o.write_error_), path_(std::move(o.path_))
{
    o.fd_ = -1;
}

BinaryFile& BinaryFile::operator=(BinaryFile&& o) noexcept
{
    if (this != &o) {
        close();
        fd_ = o.fd_;
        writable_ = o.writable_;
        pos_ = o.pos_;
        write_error_ = o.write_error_;
        path_ = std::move(o.path_);
        o.fd_ = -1;
    }
    return *this;
}

BinaryFile::~BinaryFile() { close(); }

void BinaryFile::close()
{
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

std::int64_t BinaryFile::size() const
{
    struct stat st {};
    if (fd_ < 0 || ::fstat(fd_, &st) != 0) return -1;
    return st.st_size;
}

namespace {

// pread or pwrite until all n bytes moved; false at the end of the file or on an error.
template <class Op, class Ptr>
bool move_all(Op op, int fd, Ptr p, size_t n, std::int64_t offset)
{
    while (n > 0) {
        const ssize_t r = op(fd, p, n, offset);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r;
        n -= size_t(r);
        offset += r;
    }
    return true;
}

} // namespace

bool BinaryFile::read_at(std::int64_t offset, void* data, size_t n) const
{
    return fd_ >= 0 && offset >= 0 && move_all(::pread, fd_, static_cast<char*>(data), n, offset);
}

bool BinaryFile::write_at(std::int64_t offset, const void* data, size_t n)
{
    if (fd_ < 0 || !writable_ || offset < 0) return false;
    errno = 0;
    if (move_all(::pwrite, fd_, static_cast<const char*>(data), n, offset)) return true;
    if (!write_error_) write_error_ = errno ? errno : EIO; // a write of no byte at all
    return false;
}

bool BinaryFile::put(const void* data, size_t n)
{
    if (!write_at(pos_, data, n)) return false;
    pos_ += std::int64_t(n);
    return true;
}


double f64le(const std::uint8_t* p)
{
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
    double d;
    std::memcpy(&d, &v, 8);
    return d;
}

void put_f64le(std::uint8_t* p, double d)
{
    std::uint64_t v;
    std::memcpy(&v, &d, 8);
    for (int i = 0; i < 8; ++i) p[i] = std::uint8_t(v >> (8 * i));
}

} // namespace files::detail
