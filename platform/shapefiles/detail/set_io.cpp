#include "platform/shapefiles/detail/set_io.h"

#include "platform/automation/vb_error.h"
#include "platform/settings/stored_file.h"
#include "platform/text/cp1252.h"
#include "platform/text/vb.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <memory>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform::shapefiles_detail {

void IoState::record(int err)
{
    if (!error) error = err ? err : EIO;
}

namespace {

IoState& nowhere()
{
    static thread_local IoState state;
    return state;
}
thread_local IoState* t_current = nullptr;

// A file opened for reading goes through stdio. One opened for writing
// keeps what is written in a buffer of its own and writes it out when a
// write falls outside it, before a read, at a flush and at the close: the
// writers seek back over a record's end-of-file mark after every record,
// and a seek through stdio would write out its buffer each time.
struct HookFile {
    std::FILE* fp = nullptr;
    int fd = -1;
    IoState* state = nullptr;
    off_t pos = 0;             // where the next read or write goes
    off_t size = 0;            // the file's size, what is held included
    off_t held_at = 0;         // where the held bytes belong
    std::vector<char> held;    // bytes written and not yet written out
};
HookFile* of(SAFile f) { return reinterpret_cast<HookFile*>(f); }

constexpr std::size_t kHeldMax = 1 << 20;

bool write_out(HookFile& h)
{
    std::size_t done = 0;
    while (done < h.held.size()) {
        const ssize_t r = ::pwrite(h.fd, h.held.data() + done, h.held.size() - done, h.held_at + off_t(done));
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) {
            h.state->record(r < 0 ? errno : EIO);
            h.held.clear();
            return false;
        }
        done += std::size_t(r);
    }
    h.held.clear();
    return true;
}

int open_flags(const char* access)
{
    const bool plus = std::strchr(access, '+') != nullptr;
    switch (access[0]) {
    case 'w': return (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_TRUNC | O_CLOEXEC;
    case 'a': return (plus ? O_RDWR : O_WRONLY) | O_CREAT | O_CLOEXEC;
    default: return (plus ? O_RDWR : O_RDONLY) | O_CLOEXEC;
    }
}

SAFile h_open(const char* name, const char* access)
{
    auto h = std::make_unique<HookFile>();
    h->state = t_current ? t_current : &nowhere();
    const bool reading_only = access[0] == 'r' && !std::strchr(access, '+');
    std::string path = name;
    if (access[0] == 'r' && ::access(name, F_OK) != 0 && errno == ENOENT) {
        const std::string other = find_any_case(name);
        if (!other.empty()) path = other;
    }
    if (reading_only) {
        h->fp = std::fopen(path.c_str(), "rbe"); // close-on-exec
        if (!h->fp) return nullptr;
    } else {
        h->fd = ::open(path.c_str(), open_flags(access), 0666);
        if (h->fd < 0) return nullptr;
        struct stat st{};
        if (::fstat(h->fd, &st) == 0) h->size = st.st_size;
        if (access[0] == 'a') h->pos = h->size;
    }
    return reinterpret_cast<SAFile>(h.release());
}

SAOffset h_read(void* p, SAOffset size, SAOffset n, SAFile f)
{
    HookFile& h = *of(f);
    if (h.fp) {
        const std::size_t got = std::fread(p, size, n, h.fp);
        if (got < n && std::ferror(h.fp)) h.state->record(errno);
        return got;
    }
    if (!h.held.empty() && !write_out(h)) return 0;
    if (size == 0) return 0;
    const std::size_t want = std::size_t(size) * std::size_t(n);
    std::size_t got = 0;
    while (got < want) {
        const ssize_t r = ::pread(h.fd, static_cast<char*>(p) + got, want - got, h.pos + off_t(got));
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) h.state->record(errno);
        if (r <= 0) break;
        got += std::size_t(r);
    }
    h.pos += off_t(got);
    return got / size;
}

SAOffset h_write(void* p, SAOffset size, SAOffset n, SAFile f)
{
    HookFile& h = *of(f);
    const std::size_t bytes = std::size_t(size) * std::size_t(n);
    if (h.fp) {
        h.state->record(EBADF);
        return 0;
    }
    if (bytes == 0) return n;
    const off_t end = h.held_at + off_t(h.held.size());
    const bool joins = !h.held.empty() && h.pos >= h.held_at && h.pos <= end &&
                       std::size_t(h.pos - h.held_at) + bytes <= kHeldMax;
    if (!joins) {
        if (!h.held.empty() && !write_out(h)) return 0;
        h.held_at = h.pos;
    }
    const std::size_t at = std::size_t(h.pos - h.held_at);
    if (h.held.size() < at + bytes) h.held.resize(at + bytes);
    std::memcpy(h.held.data() + at, p, bytes);
    h.pos += off_t(bytes);
    h.size = std::max(h.size, h.pos);
    if (h.held.size() >= kHeldMax && !write_out(h)) return 0;
    return n;
}

SAOffset h_seek(SAFile f, SAOffset offset, int whence)
{
    HookFile& h = *of(f);
    if (h.fp) {
        errno = 0;
        const int r = std::fseek(h.fp, long(offset), whence);
        if (r != 0) h.state->record(errno);
        return SAOffset(r);
    }
    const off_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? h.pos : h.size;
    const off_t to = base + off_t(offset);
    if (to < 0) {
        h.state->record(EINVAL);
        return SAOffset(-1);
    }
    h.pos = to;
    return 0;
}

SAOffset h_tell(SAFile f)
{
    HookFile& h = *of(f);
    return h.fp ? SAOffset(std::ftell(h.fp)) : SAOffset(h.pos);
}

int h_flush(SAFile f)
{
    HookFile& h = *of(f);
    if (h.fp) return 0;
    return write_out(h) ? 0 : -1;
}

int h_close(SAFile f)
{
    std::unique_ptr<HookFile> h(of(f));
    if (h->fp) return std::fclose(h->fp);
    int r = write_out(*h) ? 0 : -1;
    if (::close(h->fd) != 0) {
        h->state->record(errno);
        r = -1;
    }
    return r;
}

int h_remove(const char* name) { return std::remove(name); }
void h_error(const char*) {} // every failure reaches the control through its result
double h_atof(const char* text) { return std::strtod(text, nullptr); }

} // namespace

SAHooks* hooks()
{
    static SAHooks h{h_open, h_read, h_write, h_seek, h_tell, h_flush, h_close, h_remove, h_error, h_atof};
    return &h;
}

Current::Current(IoState& state) : previous_(t_current) { t_current = &state; }
Current::~Current() { t_current = previous_; }

// --- appending in place ----------------------------------------------------

namespace {

[[noreturn]] void invalid(const std::string& name) { throw VbError(321, "ShapeFiles", "Invalid file format: " + name); }

void put_be32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (24 - 8 * i));
}
void put_le32(std::uint8_t* p, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}
void put_le64(std::uint8_t* p, double d)
{
    std::uint64_t v;
    std::memcpy(&v, &d, 8);
    for (int i = 0; i < 8; ++i) p[i] = std::uint8_t(v >> (8 * i));
}
std::uint32_t be32(const std::uint8_t* p) { return std::uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }
std::uint32_t le32(const std::uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t(p[3]) << 24; }
double le64(const std::uint8_t* p)
{
    std::uint64_t v = 0;
    for (int i = 7; i >= 0; --i) v = v << 8 | p[i];
    double d;
    std::memcpy(&d, &v, 8);
    return d;
}

bool read_at(int fd, std::int64_t at, void* data, std::size_t n)
{
    auto* p = static_cast<char*>(data);
    while (n > 0) {
        const ssize_t r = ::pread(fd, p, n, at);
        if (r < 0 && errno == EINTR) continue;
        if (r <= 0) return false;
        p += r, n -= std::size_t(r), at += r;
    }
    return true;
}

// The most a set may hold after its last record (normally the end-of-file
// byte) for an append to keep it.
constexpr std::int64_t kMaxTail = 64 * 1024;

void put_point(std::vector<std::uint8_t>& b, const ShapeFiles::Vertex& v)
{
    const std::size_t at = b.size();
    b.resize(at + 16);
    put_le64(&b[at], v.X);
    put_le64(&b[at + 8], v.Y);
}

} // namespace

std::string number_text(const std::string& value, int width, int decimals)
{
    const std::string t = vb::Trim(value);
    if (t.empty() || !vb::IsNumeric(t)) return {};
    const double v = vb::CDbl(t);
    if (!std::isfinite(v)) return {};
    char buf[512];
    int n = std::snprintf(buf, sizeof buf, "%*.*f", width, decimals, v);
    if (n < 0 || n > width) return {};
    return std::string(buf, std::size_t(n));
}

void Appender::open(const std::array<std::string, 3>& names)
{
    close();
    names_ = names;
    for (int i = 0; i < 3; ++i) {
        fd_[std::size_t(i)] = ::open(names[std::size_t(i)].c_str(), O_RDWR | O_CLOEXEC);
        if (fd_[std::size_t(i)] < 0) {
            const int err = errno;
            close();
            if (err == ENOENT) throw VbError(53, "ShapeFiles", "File not found: " + names[std::size_t(i)]);
            throw FileError(err, "ShapeFiles");
        }
        struct stat st {};
        if (::fstat(fd_[std::size_t(i)], &st) != 0 || !S_ISREG(st.st_mode)) {
            close();
            invalid(names[std::size_t(i)]);
        }
        size_[std::size_t(i)] = old_size_[std::size_t(i)] = st.st_size;
    }
    try {
        shp_header_.assign(100, 0);
        shx_header_.assign(100, 0);
        if (size_[0] < 100 || size_[0] % 2 || !read_at(fd_[0], 0, shp_header_.data(), 100) ||
            be32(&shp_header_[0]) != 9994 || le32(&shp_header_[28]) != 1000)
            invalid(names[0]);
        if (size_[1] < 100 || (size_[1] - 100) % 8 || !read_at(fd_[1], 0, shx_header_.data(), 100) ||
            be32(&shx_header_[0]) != 9994)
            invalid(names[1]);
        type_ = std::int32_t(le32(&shp_header_[32]));
        for (int k = 0; k < 4; ++k) bounds_[k] = le64(&shp_header_[std::size_t(36 + 8 * k)]);
        const std::int64_t records = (size_[1] - 100) / 8;

        dbf_head_.assign(32, 0);
        if (size_[2] < 33 || !read_at(fd_[2], 0, dbf_head_.data(), 32)) invalid(names[2]);
        header_length_ = dbf_head_[8] | dbf_head_[9] << 8;
        record_length_ = dbf_head_[10] | dbf_head_[11] << 8;
        const std::uint32_t dbf_records = le32(&dbf_head_[4]);
        if (header_length_ < 33 || header_length_ > size_[2]) invalid(names[2]);
        std::vector<std::uint8_t> d(header_length_ - 32);
        if (!read_at(fd_[2], 32, d.data(), d.size())) invalid(names[2]);
        dbf_fields_.clear();
        std::uint32_t width = 1;
        for (std::size_t at = 0; at + 32 <= d.size() && d[at] != 0x0D; at += 32) {
            DbfField f;
            for (std::size_t k = 0; k < 11 && d[at + k]; ++k) f.name += char(d[at + k]);
            while (!f.name.empty() && f.name.back() == ' ') f.name.pop_back();
            f.type = char(d[at + 11]);
            f.width = d[at + 16];
            f.decimals = d[at + 17];
            width += std::uint32_t(f.width);
            dbf_fields_.push_back(std::move(f));
        }
        const std::int64_t end = std::int64_t(header_length_) + std::int64_t(dbf_records) * record_length_;
        if (width != record_length_ || end > size_[2] || size_[2] - end > kMaxTail) invalid(names[2]);
        if (records != dbf_records || records > 0x7FFFFFF0) invalid(names[2]);
        dbf_tail_.assign(std::size_t(size_[2] - end), 0);
        if (!dbf_tail_.empty() && !read_at(fd_[2], end, dbf_tail_.data(), dbf_tail_.size())) invalid(names[2]);
        count_ = old_count_ = std::int32_t(records);
        changed_ = false;
    } catch (...) {
        close();
        throw;
    }
}

std::vector<ShapeFiles::Field> Appender::fields() const
{
    std::vector<ShapeFiles::Field> out;
    for (const auto& f : dbf_fields_)
        out.push_back({cp1252_to_utf8(f.name), f.type == 'N' || f.type == 'F' ? 19 : 10, std::int16_t(f.width),
                       std::int16_t(f.decimals), {}});
    return out;
}

void Appender::fail(int err)
{
    rollback();
    throw FileError(err, "ShapeFiles");
}

void Appender::write(int file, std::int64_t at, const void* data, std::size_t n)
{
    const auto* p = static_cast<const char*>(data);
    while (n > 0) {
        errno = 0;
        const ssize_t w = ::pwrite(fd_[std::size_t(file)], p, n, at);
        if (w < 0 && errno == EINTR) continue;
        if (w <= 0) fail(errno);
        p += w, n -= std::size_t(w), at += w;
    }
}

void Appender::append(const std::vector<ShapeFiles::Vertex>& vertices, const std::vector<ShapeFiles::Field>& fields)
{
    // The record's content, little-endian after its big-endian header.
    std::vector<std::uint8_t> rec(8, 0);
    double box[4] = {0, 0, 0, 0};
    if (!vertices.empty()) {
        box[0] = box[2] = vertices[0].X, box[1] = box[3] = vertices[0].Y;
        for (const auto& v : vertices) {
            box[0] = std::min(box[0], v.X), box[1] = std::min(box[1], v.Y);
            box[2] = std::max(box[2], v.X), box[3] = std::max(box[3], v.Y);
        }
    }
    const auto put32 = [&](std::uint32_t v) {
        rec.resize(rec.size() + 4);
        put_le32(&rec[rec.size() - 4], v);
    };
    const auto put_box = [&] {
        for (double b : box) {
            rec.resize(rec.size() + 8);
            put_le64(&rec[rec.size() - 8], b);
        }
    };
    const std::uint32_t n = std::uint32_t(vertices.size());
    if (vertices.empty()) {
        put32(0); // a null shape
    } else if (type_ == 1) {
        put32(1);
        put_point(rec, vertices[0]);
    } else if (type_ == 8) {
        put32(8), put_box(), put32(n);
        for (const auto& v : vertices) put_point(rec, v);
    } else if (type_ == 3 || type_ == 5) {
        put32(std::uint32_t(type_)), put_box(), put32(1), put32(n), put32(0);
        for (const auto& v : vertices) put_point(rec, v);
    } else {
        throw VbError(5, "ShapeFiles", "Invalid procedure call or argument");
    }
    if (rec.size() > 0x7FFFFFF0u || size_[0] + std::int64_t(rec.size()) > 0x7FFFFFF0) throw VbError(61, "ShapeFiles", "Disk full");
    put_be32(&rec[0], std::uint32_t(count_ + 1));
    put_be32(&rec[4], std::uint32_t((rec.size() - 8) / 2));
    std::uint8_t index[8];
    put_be32(index, std::uint32_t(size_[0] / 2));
    put_be32(index + 4, std::uint32_t((rec.size() - 8) / 2));

    std::string row(" ");
    for (std::size_t i = 0; i < dbf_fields_.size(); ++i) {
        const DbfField& f = dbf_fields_[i];
        const std::string value = i < fields.size() ? fields[i].Value : std::string();
        std::string cell;
        if (f.type == 'N' || f.type == 'F') {
            cell = number_text(value, f.width, f.decimals);
            if (cell.empty()) cell.assign(std::size_t(f.width), '*'); // null
        } else {
            cell = utf8_to_cp1252(value).substr(0, std::size_t(f.width));
            cell.resize(std::size_t(f.width), ' ');
        }
        row += cell;
    }
    row.push_back(0x1A);
    const std::int64_t row_at = std::int64_t(header_length_) + std::int64_t(count_) * record_length_;

    changed_ = true;
    write(0, size_[0], rec.data(), rec.size());
    size_[0] += std::int64_t(rec.size());
    write(1, size_[1], index, sizeof index);
    size_[1] += 8;
    write(2, row_at, row.data(), row.size());
    size_[2] = std::max(size_[2], row_at + std::int64_t(row.size()));
    if (!vertices.empty()) {
        const bool first = count_ == 0;
        for (int k = 0; k < 2; ++k) bounds_[k] = first ? box[k] : std::min(bounds_[k], box[k]);
        for (int k = 2; k < 4; ++k) bounds_[k] = first ? box[k] : std::max(bounds_[k], box[k]);
    }
    ++count_;
}

void Appender::finish()
{
    if (!changed_) return;
    std::vector<std::uint8_t> h = shp_header_;
    for (int k = 0; k < 4; ++k) put_le64(&h[std::size_t(36 + 8 * k)], bounds_[k]);
    put_be32(&h[24], std::uint32_t(size_[0] / 2));
    write(0, 0, h.data(), h.size());
    put_be32(&h[24], std::uint32_t(size_[1] / 2));
    write(1, 0, h.data(), h.size());
    std::uint8_t d[7];
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    d[0] = std::uint8_t(std::clamp(local.tm_year, 0, 255)), d[1] = std::uint8_t(local.tm_mon + 1);
    d[2] = std::uint8_t(local.tm_mday);
    put_le32(d + 3, std::uint32_t(count_));
    write(2, 1, d, sizeof d);
    for (int i = 0; i < 3; ++i)
        if (::fsync(fd_[std::size_t(i)]) != 0) fail(errno);
    changed_ = false;
}

void Appender::rollback() noexcept
{
    if (!changed_) return;
    changed_ = false;
    const std::int64_t end = std::int64_t(header_length_) + std::int64_t(old_count_) * record_length_;
    auto put = [](int fd, std::int64_t at, const std::vector<std::uint8_t>& b) {
        if (!b.empty()) [[maybe_unused]] auto n = ::pwrite(fd, b.data(), b.size(), at);
    };
    for (int i = 0; i < 3; ++i) [[maybe_unused]] int r = ::ftruncate(fd_[std::size_t(i)], old_size_[std::size_t(i)]);
    put(fd_[0], 0, shp_header_);
    put(fd_[1], 0, shx_header_);
    put(fd_[2], 0, dbf_head_);
    put(fd_[2], end, dbf_tail_);
    for (int i = 0; i < 3; ++i) ::fsync(fd_[std::size_t(i)]);
    size_ = old_size_;
    count_ = old_count_;
    for (int k = 0; k < 4; ++k) bounds_[k] = le64(&shp_header_[std::size_t(36 + 8 * k)]);
}

void Appender::close() noexcept
{
    rollback();
    for (int& fd : fd_)
        if (fd >= 0) ::close(fd), fd = -1;
}

} // namespace platform::shapefiles_detail
