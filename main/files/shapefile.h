// The program's own shapefile reader and writer: a ".shp"/".shx" pair read
// and written record by record with the geometry model's shapes.
#pragma once

#include "main/files/detail/binary_file.h"
#include "main/files/geometry.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace files {

// A file name as the shapefile classes take it: an absolute path with a name and an extension.
// The setters raise 515 "The FileSpec is invalid".
class CFileName {
public:
    void SetFileSpec(const std::string& spec);
    const std::string& GetFileSpec() const { return spec_; }
    std::string GetBaseName() const;
    void SetBaseName(const std::string& name);
    std::string GetExtension() const;
    void SetExtension(const std::string& ext);

private:
    std::string spec_;
};

// Holds an extent only.
class CShape {
public:
    CShape() { extent_.MakeEmpty(); }
    double Top() const { return extent_.Top(); }
    double Bottom() const { return extent_.Bottom(); }
    double Left() const { return extent_.Left(); }
    double Right() const { return extent_.Right(); }

private:
    CRect extent_;
};

constexpr std::int32_t CREATEIT = 1;

class CShapeFile {
public:
    CShapeFile() { extent_.MakeEmpty(); }

    double Left() const { return extent_.Left(); }
    double Right() const { return extent_.Right(); }
    double Top() const { return extent_.Top(); }
    double Bottom() const { return extent_.Bottom(); }
    std::int32_t Count() const { return count_; }
    std::int32_t fileType() const { return type_; }

    // Record i (from 1): a shape of the file's class, null for a null
    // record; nothing for a point the index lacks or a file of another type.
    std::shared_ptr<IShape> Item(std::int32_t i);
    // status 0 opens an existing pair (read-only unless forUpdate);
    // CREATEIT deletes and creates it; any other status empties it.
    void SetFileSpec(const CFileName& fileName, std::int32_t status,
                     std::optional<std::int32_t> ShapeType = std::nullopt, bool forUpdate = false);
    // Appends a shape of the file's type to both files (528, 529 else).
    void Add(const std::shared_ptr<GeoObject>& shape);

private:
    struct Record {
        std::int64_t offset = 0; // bytes, in the main file
        std::int64_t length = 0; // content bytes
    };
    Record FindOffset(std::int32_t i, bool& missing) const;
    void write_record(const std::vector<std::uint8_t>& content, bool has_box, const double box[4],
                      const char* source);
    void PutMainHeaders();
    void PutExtent(const double box[4]);

    std::int32_t type_ = 0;
    CFileName name_;
    detail::BinaryFile shx_, shp_;
    std::int64_t shx_size_ = 0, shp_size_ = 0;
    std::int64_t shx_claimed_ = 0; // the index length its header states
    std::int32_t count_ = 0;
    bool has_box_ = false; // whether any non-null record bounds the extent
    CRect extent_;
};

} // namespace files
