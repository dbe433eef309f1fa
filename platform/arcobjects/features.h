// Feature classes of the map host on GDAL/OGR: fields, features, and the
// search, update and insert cursors over them.
//
// A class lists its fields as ArcObjects does: the object id first (the
// data's FID column, else "FID"), the shape next (the geometry column, else
// "Shape"), then the attributes; field indexes count in that list. Where
// the data's driver must change a name it is given (a shapefile's ten
// characters, a geodatabase's reserved words such as "date"), the class
// keeps the name it was given beside the one stored, so FindField and
// the features find the field by either.
//
// Classes are interfaces: the library that opened one runs its code, so a
// class opened by an extension and shown by the host stays one object.
#pragma once

#include "platform/arcobjects/geometry.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::arcobjects {

// ArcObjects' field type codes.
enum FieldType : int {
    esriFieldTypeSmallInteger = 0, esriFieldTypeInteger = 1, esriFieldTypeSingle = 2,
    esriFieldTypeDouble = 3, esriFieldTypeString = 4, esriFieldTypeDate = 5, esriFieldTypeOID = 6,
    esriFieldTypeGeometry = 7, esriFieldTypeBlob = 8, esriFieldTypeRaster = 9, esriFieldTypeGUID = 10,
    esriFieldTypeGlobalID = 11, esriFieldTypeXML = 12
};

struct Field {
    Field() = default;
    Field(std::string name, FieldType type, int length = 0, int precision = 0, int scale = 0)
        : Name(std::move(name)), Type(type), Length(length), Precision(precision), Scale(scale)
    {
    }
    std::string Name;        // as the caller knows it (given to AddField, else as stored)
    FieldType Type = esriFieldTypeString;
    int Length = 0;          // text width; 0: the driver's default
    int Precision = 0, Scale = 0;
    std::string StoredName;  // as the data holds it (differs when laundered)
};

// An index of the class: its name and the fields it covers.
struct Index {
    std::string Name;
    std::vector<std::string> Fields;
};

// One feature, or a feature buffer of an insert cursor: the object id, the
// shape and one value per field (index as in Fields(); the id and shape
// slots are kept empty, use OID and Shape).
class Feature : public Object {
public:
    static constexpr const char* IID = "arcobjects.IFeature";

    std::int64_t OID = -1;
    GeometryRef Shape;        // null: no shape
    std::vector<Variant> Values;

    const Variant& Value(int index) const;
    // Throws VbError 5 for an index outside the fields.
    void set_Value(int index, const Variant& value);

    std::string Kind() const override { return "feature"; }
    void* QueryInterface(std::string_view iid) override;
};

using FeatureRef = std::shared_ptr<Feature>;

// Search and update cursors: features in object id order.
class FeatureCursor {
public:
    virtual ~FeatureCursor() = default;
    // Null after the last feature.
    virtual FeatureRef NextFeature() = 0;
    // Writes the feature's shape and values back (update cursors only;
    // a search cursor throws VbError 5).
    virtual void UpdateFeature(const Feature& feature) = 0;
};

// An insert cursor. A buffered one keeps features until Flush, or until it
// is released (its destructor flushes; a failure there is lost, so callers
// that must know call Flush first).
class InsertCursor {
public:
    virtual ~InsertCursor() = default;
    // A feature buffer with an empty value per field.
    virtual FeatureRef CreateFeatureBuffer() = 0;
    // Returns the new object id (-1 while buffered). Copies the buffer.
    virtual std::int64_t InsertFeature(const Feature& buffer) = 0;
    virtual void Flush() = 0;
};

class FeatureClass : public Object {
public:
    static constexpr const char* IID = "arcobjects.IFeatureClass";

    // The class's name ("roads" for roads.shp, "Tracks" in a geodatabase).
    virtual std::string AliasName() const = 0;
    // The dataset's full name: the workspace path & "/" & the file or class
    // name ("/data/roads.shp", "/data/field.gdb/Tracks"); the key layers
    // on the same data share.
    virtual std::string DatasetName() const = 0;
    // The workspace's path (the folder, or the ".gdb" folder).
    virtual std::string WorkspacePath() const = 0;
    // The feature dataset holding the class ("" when none).
    virtual std::string FeatureDataset() const = 0;

    // 1 point, 2 multipoint, 3 polyline, 4 polygon.
    virtual GeometryType ShapeType() const = 0;
    virtual SpatialReferenceRef SpatialReference() const = 0; // null: none stored

    virtual const std::vector<Field>& Fields() const = 0;
    // By the given or the stored name, any case; -1 when there is none.
    virtual int FindField(const std::string& name) const = 0;
    virtual std::string OIDFieldName() const = 0;
    virtual std::string ShapeFieldName() const = 0;
    // Adds an attribute field under its exact name (kept as given when the
    // driver launders it). Throws VbError 5 (source "AddField") when the
    // field exists or the data refuses it.
    virtual void AddField(const Field& field) = 0;

    virtual std::int64_t FeatureCount() const = 0;
    virtual FeatureRef GetFeature(std::int64_t oid) = 0;
    // All features, or those of the object ids given (in id order).
    virtual std::unique_ptr<FeatureCursor> Search(const std::vector<std::int64_t>* oids = nullptr) = 0;
    virtual std::unique_ptr<FeatureCursor> Update(const std::vector<std::int64_t>* oids = nullptr) = 0;
    virtual std::unique_ptr<InsertCursor> Insert(bool buffered) = 0;

    // The class's indexes: a shapefile's spatial index (its .qix) is listed
    // under the name it was added with.
    virtual std::vector<Index> Indexes() const = 0;
    // A spatial index on the shape field (a fresh .qix for a shapefile);
    // other indexes throw VbError 5.
    virtual void AddIndex(const Index& index) = 0;
    virtual void DeleteIndex(const std::string& name) = 0;

    std::string Kind() const override { return "feature_class"; }
    void* QueryInterface(std::string_view iid) override;
};

using FeatureClassRef = std::shared_ptr<FeatureClass>;

} // namespace platform::arcobjects
