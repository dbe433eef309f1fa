// Spatial references (coordinate systems) and the conversion of points
// between them, on GDAL's OSR.
//
// A reference is made from a code (4326, 26915, ...), from a projection text
// in ESRI's WKT form (what a .prj file holds) or from a .prj file. Its name
// is what the text's root node says ("Unknown" kept: an unset system), its
// kind geographic, projected or unknown, its factory code the AUTHORITY
// node's code, else the code PROJ identifies with full confidence, else 0.
// Coordinates are always in traditional GIS order: x is the longitude or
// the easting, whatever the authority's axis order.
#pragma once

#include "platform/arcobjects/object.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>

namespace platform::arcobjects {

enum class SpatialReferenceKind { Unknown = 0, Geographic = 1, Projected = 2 };

struct LinearUnit {
    std::string name;      // "Meter", "Foot_US", ...
    double meters = 1;     // metres per unit
};

class SpatialReference : public Object {
public:
    static constexpr const char* IID = "arcobjects.ISpatialReference";

    // A reference never changes once made, so one made from a code may be
    // handed out again. Each throws VbError (number 5, source
    // "SpatialReferenceEnvironment")
    // when the code, text or file makes no coordinate system; a file that
    // cannot be read raises the file error.
    static std::shared_ptr<SpatialReference> FromCode(int code);
    static std::shared_ptr<SpatialReference> FromText(const std::string& prj_text);
    static std::shared_ptr<SpatialReference> FromFile(const std::string& path);
    // The unknown coordinate system: name "Unknown", kind Unknown.
    static std::shared_ptr<SpatialReference> MakeUnknown();

    ~SpatialReference() override;

    const std::string& Name() const { return name_; }
    SpatialReferenceKind Type() const { return kind_; }
    int FactoryCode() const { return code_; }
    // The projected system's linear unit; none for a geographic or unknown
    // system and for a PROJCS without a UNIT node.
    const std::optional<LinearUnit>& Unit() const { return unit_; }
    // The system as ESRI WKT ("" for the unknown system).
    const std::string& Text() const { return text_; }
    // Exists and is not named "Unknown".
    bool Usable() const { return kind_ != SpatialReferenceKind::Unknown && name_ != "Unknown"; }

    std::string Kind() const override { return "spatial_reference"; }
    void* QueryInterface(std::string_view iid) override;

    struct Impl;
    Impl* impl() const { return impl_.get(); }

private:
    SpatialReference();
    static std::shared_ptr<SpatialReference> read(const std::string& prj_text, bool identify);
    std::unique_ptr<Impl> impl_;
    std::string name_, text_;
    SpatialReferenceKind kind_ = SpatialReferenceKind::Unknown;
    int code_ = 0;
    std::optional<LinearUnit> unit_;
};

using SpatialReferenceRef = std::shared_ptr<SpatialReference>;

// Converts n points in place from one system to the other. Throws VbError
// (number 5, source "Project") when either system is not usable or a point
// cannot be converted (a result never holds NaN or infinite coordinates);
// the points before the failing one keep their new values.
void Project_Points(const SpatialReference& from, const SpatialReference& to, double* x, double* y, std::size_t n);

} // namespace platform::arcobjects
