// Inside the shapefile control: shapelib's file hooks that keep every
// write, flush and close result, and the writer that appends records to a
// set in place.
#pragma once

#include "platform/shapefiles/shapefiles.h"

#include <shapefil.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace platform::shapefiles_detail {

// The first failure of the files opened while it was current.
struct IoState {
    int error = 0; // the system's error number
    void record(int err);
};

// shapelib's hooks over stdio. A file opened for reading that is missing
// is looked for in any case. Files opened while a Current lives report
// their failures to its state (the hooks have no other way to reach it).
SAHooks* hooks();
class Current {
public:
    explicit Current(IoState& state);
    ~Current();
    Current(const Current&) = delete;
    Current& operator=(const Current&) = delete;

private:
    IoState* previous_;
};

// The fixed-width text of a number in an N field; empty when it is no
// number or does not fit (the field is then written null).
std::string number_text(const std::string& value, int width, int decimals);

// One set (.shp, .shx, .dbf) opened for appending in place. Records go to
// the ends of the three files; finish() writes the headers and puts the
// files on disk. A failure anywhere, or a close before finish(), puts back
// every byte the files held when opened (sizes and headers); failures
// raise their own error.
class Appender {
public:
    Appender() = default;
    ~Appender() { close(); }
    Appender(const Appender&) = delete;
    Appender& operator=(const Appender&) = delete;

    // Raises 53 naming a missing file, 321 for a set whose files are no
    // shapefile set or disagree on their record count.
    void open(const std::array<std::string, 3>& names);
    bool is_open() const { return fd_[0] >= 0; }
    std::int32_t type() const { return type_; }
    std::int32_t count() const { return count_; }
    // The attribute fields on file, as the control lists them.
    std::vector<ShapeFiles::Field> fields() const;

    // One record: the vertices as one part (a point takes the first), the
    // values of the first fields().size() entries of `fields`.
    void append(const std::vector<ShapeFiles::Vertex>& vertices, const std::vector<ShapeFiles::Field>& fields);
    void finish();
    // Back to what the files held when opened; never raises.
    void rollback() noexcept;
    void close() noexcept;

private:
    struct DbfField {
        char type = 'C';
        int width = 0, decimals = 0;
        std::string name;
    };
    void write(int file, std::int64_t at, const void* data, std::size_t n);
    [[noreturn]] void fail(int err);

    std::array<std::string, 3> names_;
    std::array<int, 3> fd_{-1, -1, -1};
    std::array<std::int64_t, 3> size_{}, old_size_{};
    std::vector<std::uint8_t> shp_header_, shx_header_, dbf_head_, dbf_tail_;
    std::vector<DbfField> dbf_fields_;
    std::int32_t type_ = 0, count_ = 0, old_count_ = 0;
    std::uint32_t header_length_ = 0, record_length_ = 0;
    double bounds_[4] = {0, 0, 0, 0}; // x min, y min, x max, y max
    bool changed_ = false;
};

} // namespace platform::shapefiles_detail
