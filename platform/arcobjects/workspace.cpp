// Workspaces and feature classes on GDAL/OGR: a shapefile folder opens
// each "name.shp" as its own dataset, a file geodatabase is one dataset
// (OpenFileGDB) whose layers are the classes. Datasets are shared by path
// within the process, so two classes of one geodatabase write through one
// handle; a shapefile another program has replaced since is opened anew.
#include "platform/arcobjects/workspace.h"

#include "platform/arcobjects/detail/ogr_geometry.h"

#include "platform/automation/vb_error.h"
#include "platform/text/ascii.h"

#include <gdal_priv.h>
#include <ogrsf_frmts.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <mutex>
#include <sys/stat.h>

namespace platform::arcobjects {

namespace {

namespace fs = std::filesystem;
using detail::geometry_of;
using detail::ogr_of;

bool iends(std::string_view s, std::string_view tail)
{
    return s.size() >= tail.size() && platform::iequals(s.substr(s.size() - tail.size()), tail);
}

std::string strip_slashes(std::string p)
{
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    return p;
}

std::string last_gdal_error()
{
    const char* m = CPLGetLastErrorMsg();
    return m && *m ? std::string(": ") + m : std::string();
}

// Silences GDAL's own error printing for a scope; the last message stays readable.
struct QuietGdal {
    QuietGdal() { CPLPushErrorHandler(CPLQuietErrorHandler); CPLErrorReset(); }
    ~QuietGdal() { CPLPopErrorHandler(); }
};

using Dataset = std::shared_ptr<GDALDataset>;

// The files a dataset was opened from: the path and, for a shapefile, its
// table beside it. Writers that save through a temporary file and a rename
// (as the main program does) give them new inodes; GDAL's own writes keep
// them.
std::vector<std::pair<dev_t, ino_t>> file_identity(const std::string& path)
{
    std::vector<std::string> files{path};
    if (iends(path, ".shp")) {
        const std::string stem = path.substr(0, path.size() - 4);
        std::error_code ec;
        files.push_back(fs::exists(stem + ".dbf", ec) ? stem + ".dbf" : stem + ".DBF");
    }
    std::vector<std::pair<dev_t, ino_t>> out;
    for (const auto& f : files) {
        struct stat st {};
        out.emplace_back(::stat(f.c_str(), &st) == 0 ? std::pair(st.st_dev, st.st_ino) : std::pair(dev_t(), ino_t()));
    }
    return out;
}

// One open dataset per path and driver, while its files are the ones it
// was opened from; holders of a replaced one keep it.
Dataset open_dataset(const std::string& path, const char* driver, const char* source)
{
    struct Open {
        std::weak_ptr<GDALDataset> dataset;
        std::vector<std::pair<dev_t, ino_t>> files;
    };
    static std::mutex lock;
    static std::map<std::string, Open> open;
    std::lock_guard<std::mutex> guard(lock);
    const std::string key = std::string(driver) + "|" + path;
    const auto files = file_identity(path);
    if (auto d = open[key].dataset.lock(); d && open[key].files == files) return d;
    GDALAllRegister();
    QuietGdal quiet;
    const char* drivers[] = {driver, nullptr};
    auto* raw = static_cast<GDALDataset*>(
        GDALOpenEx(path.c_str(), GDAL_OF_VECTOR | GDAL_OF_UPDATE, drivers, nullptr, nullptr));
    // Data we may not write is still shown; a write then fails with GDAL's reason.
    if (!raw) raw = static_cast<GDALDataset*>(GDALOpenEx(path.c_str(), GDAL_OF_VECTOR, drivers, nullptr, nullptr));
    if (!raw) throw VbError(5, source, "Cannot open " + path + last_gdal_error());
    Dataset d(raw, [](GDALDataset* p) { GDALClose(p); });
    open[key] = {d, files};
    return d;
}

// --- dates ---------------------------------------------------------------------------

// Days since 1899-12-30 of a civil date.
double days_of(int y, int m, int d)
{
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097.0 + doe - 719468 + 25569; // 1970-01-01 is day 25569
}

void civil_of(double days, int& y, int& m, int& d, int& hh, int& mm, float& ss)
{
    const double whole = std::floor(days);
    double secs = std::round((days - whole) * 86400.0);
    long z = static_cast<long>(whole) - 25569 + 719468;
    const long era = (z >= 0 ? z : z - 146096) / 146097;
    const long doe = z - era * 146097;
    const long yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const long mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(yoe + era * 400 + (m <= 2));
    hh = static_cast<int>(secs / 3600);
    secs -= hh * 3600.0;
    mm = static_cast<int>(secs / 60);
    ss = static_cast<float>(secs - mm * 60.0);
}

GeometryType shape_type_of(OGRwkbGeometryType t)
{
    switch (wkbFlatten(t)) {
    case wkbPoint: return GeometryType::Point;
    case wkbMultiPoint: return GeometryType::Multipoint;
    case wkbLineString:
    case wkbMultiLineString:
    case wkbCircularString:
    case wkbCompoundCurve:
    case wkbMultiCurve: return GeometryType::Polyline;
    case wkbPolygon:
    case wkbMultiPolygon:
    case wkbCurvePolygon:
    case wkbMultiSurface: return GeometryType::Polygon;
    default: return GeometryType::Null;
    }
}

FieldType type_of(const OGRFieldDefn& d)
{
    switch (d.GetType()) {
    case OFTInteger: return d.GetSubType() == OFSTInt16 ? esriFieldTypeSmallInteger : esriFieldTypeInteger;
    case OFTInteger64: return esriFieldTypeInteger;
    case OFTReal: return d.GetSubType() == OFSTFloat32 ? esriFieldTypeSingle : esriFieldTypeDouble;
    case OFTDate:
    case OFTDateTime: return esriFieldTypeDate;
    case OFTBinary: return esriFieldTypeBlob;
    default: return d.GetSubType() == OFSTUUID ? esriFieldTypeGUID : esriFieldTypeString;
    }
}

// The names a driver would store `name` under, for a lookup of a class
// written in an earlier run.
std::string laundered(const std::string& name, bool shapefile)
{
    if (shapefile) return name.substr(0, 10);
    static const char* const reserved[] = {"ADD", "ALTER", "AND", "BETWEEN", "BY", "COLUMN", "CREATE", "DATE",
                                           "DELETE", "DROP", "EXISTS", "FOR", "FROM", "GROUP", "IN", "INSERT",
                                           "INTO", "IS", "LIKE", "NOT", "NULL", "OR", "ORDER", "SELECT", "SET",
                                           "TABLE", "UPDATE", "VALUES", "WHERE"};
    for (const char* r : reserved)
        if (platform::iequals(name, r)) return name + "_";
    return name;
}

// --- feature classes -----------------------------------------------------------------

class OgrFeatureClass;

class OgrCursor : public FeatureCursor {
public:
    OgrCursor(std::shared_ptr<OgrFeatureClass> fc, std::vector<std::int64_t> oids, bool update)
        : fc_(std::move(fc)), oids_(std::move(oids)), update_(update)
    {
    }
    ~OgrCursor() override;
    FeatureRef NextFeature() override;
    void UpdateFeature(const Feature& feature) override;

private:
    std::shared_ptr<OgrFeatureClass> fc_;
    std::vector<std::int64_t> oids_;
    bool wrote_ = false;
    std::size_t next_ = 0;
    bool update_;
};

class OgrInsertCursor : public InsertCursor {
public:
    OgrInsertCursor(std::shared_ptr<OgrFeatureClass> fc, bool buffered) : fc_(std::move(fc)), buffered_(buffered) {}
    ~OgrInsertCursor() override
    {
        try {
            Flush();
        } catch (...) {
            // A release cannot report; callers that must know flush first.
        }
    }
    FeatureRef CreateFeatureBuffer() override;
    std::int64_t InsertFeature(const Feature& buffer) override;
    void Flush() override;

private:
    std::shared_ptr<OgrFeatureClass> fc_;
    bool buffered_;
    std::vector<std::unique_ptr<OGRFeature>> pending_;
};

class OgrFeatureClass : public FeatureClass, public std::enable_shared_from_this<OgrFeatureClass> {
public:
    OgrFeatureClass(Dataset ds, OGRLayer* layer, std::string workspace, std::string file, bool shapefile)
        : ds_(std::move(ds)), layer_(layer), workspace_(std::move(workspace)), file_(std::move(file)),
          shapefile_(shapefile)
    {
        read_fields();
        if (const OGRSpatialReference* s = layer_->GetSpatialRef()) {
            char* wkt = nullptr;
            const char* options[] = {"FORMAT=WKT1_ESRI", nullptr};
            if (s->exportToWkt(&wkt, options) == OGRERR_NONE && wkt) {
                try {
                    sr_ = SpatialReference::FromText(wkt);
                } catch (const VbError&) {
                    sr_ = SpatialReference::MakeUnknown();
                }
            }
            CPLFree(wkt);
        }
        if (shapefile_) {
            auto& names = index_names();
            auto it = names.find(DatasetName());
            if (it != names.end()) spatial_index_ = it->second;
        }
    }

    std::string AliasName() const override { return layer_->GetName(); }
    std::string DatasetName() const override { return workspace_ + "/" + file_; }
    std::string WorkspacePath() const override { return workspace_; }
    std::string FeatureDataset() const override
    {
        if (shapefile_) return {};
        auto root = ds_->GetRootGroup();
        if (!root) return {};
        for (const auto& g : root->GetGroupNames()) {
            auto group = root->OpenGroup(g);
            if (!group) continue;
            for (const auto& l : group->GetVectorLayerNames())
                if (platform::iequals(l, file_)) return g;
        }
        return {};
    }
    GeometryType ShapeType() const override { return shape_type_of(layer_->GetGeomType()); }
    SpatialReferenceRef SpatialReference() const override { return sr_; }
    const std::vector<Field>& Fields() const override { return fields_; }

    int FindField(const std::string& name) const override
    {
        for (std::size_t i = 0; i < fields_.size(); ++i)
            if (platform::iequals(fields_[i].Name, name)) return static_cast<int>(i);
        for (std::size_t i = 0; i < fields_.size(); ++i)
            if (platform::iequals(fields_[i].StoredName, name)) return static_cast<int>(i);
        const std::string stored = laundered(name, shapefile_);
        if (stored != name)
            for (std::size_t i = 2; i < fields_.size(); ++i)
                if (platform::iequals(fields_[i].StoredName, stored)) return static_cast<int>(i);
        return -1;
    }
    std::string OIDFieldName() const override { return fields_[0].Name; }
    std::string ShapeFieldName() const override { return fields_[1].Name; }

    void AddField(const Field& f) override
    {
        if (f.Name.empty() || FindField(f.Name) >= 0)
            throw VbError(5, "AddField", "The field \"" + f.Name + "\" exists already");
        OGRFieldDefn d(f.Name.c_str(), OFTString);
        switch (f.Type) {
        case esriFieldTypeSmallInteger: d.SetType(OFTInteger); d.SetSubType(OFSTInt16); break;
        case esriFieldTypeInteger: d.SetType(OFTInteger); break;
        case esriFieldTypeSingle: d.SetType(OFTReal); d.SetSubType(OFSTFloat32); break;
        case esriFieldTypeDouble: d.SetType(OFTReal); break;
        case esriFieldTypeString: d.SetWidth(f.Length > 0 ? f.Length : (shapefile_ ? 254 : 0)); break;
        case esriFieldTypeDate: d.SetType(shapefile_ ? OFTDate : OFTDateTime); break;
        default: throw VbError(5, "AddField", "Fields of type " + std::to_string(f.Type) + " cannot be added");
        }
        if (f.Type == esriFieldTypeDouble || f.Type == esriFieldTypeSingle) {
            if (f.Precision > 0) d.SetWidth(f.Precision);
            if (f.Scale > 0) d.SetPrecision(f.Scale);
        }
        QuietGdal quiet;
        const int before = layer_->GetLayerDefn()->GetFieldCount();
        if (layer_->CreateField(&d, TRUE) != OGRERR_NONE || layer_->GetLayerDefn()->GetFieldCount() != before + 1)
            throw VbError(5, "AddField", "The field \"" + f.Name + "\" could not be added" + last_gdal_error());
        read_fields();
        Field& added = fields_.back();
        if (added.StoredName != f.Name) {
            given_[added.StoredName] = f.Name;
            added.Name = f.Name;
        }
    }

    std::int64_t FeatureCount() const override { return layer_->GetFeatureCount(TRUE); }

    FeatureRef GetFeature(std::int64_t oid) override
    {
        std::unique_ptr<OGRFeature> f(layer_->GetFeature(oid));
        return f ? feature_of(*f) : nullptr;
    }

    std::unique_ptr<FeatureCursor> Search(const std::vector<std::int64_t>* oids) override { return cursor(oids, false); }
    std::unique_ptr<FeatureCursor> Update(const std::vector<std::int64_t>* oids) override { return cursor(oids, true); }
    std::unique_ptr<InsertCursor> Insert(bool buffered) override
    {
        return std::make_unique<OgrInsertCursor>(shared_from_this(), buffered);
    }

    std::vector<Index> Indexes() const override
    {
        std::vector<Index> out;
        if (!spatial_index_.empty() && (!shapefile_ || has_qix())) out.push_back({spatial_index_, {ShapeFieldName()}});
        else if (shapefile_ && has_qix()) out.push_back({"Shape_Index", {ShapeFieldName()}});
        return out;
    }

    void AddIndex(const Index& index) override
    {
        if (index.Fields.size() != 1 || !platform::iequals(index.Fields[0], ShapeFieldName()) || index.Name.empty())
            throw VbError(5, "AddIndex", "Only a spatial index on the shape field can be added");
        if (shapefile_) {
            layer_->SyncToDisk();
            QuietGdal quiet;
            sql("CREATE SPATIAL INDEX ON ");
            if (!has_qix()) throw VbError(5, "AddIndex", "The spatial index could not be made" + last_gdal_error());
            index_names()[DatasetName()] = index.Name;
        }
        spatial_index_ = index.Name;
    }

    void DeleteIndex(const std::string& name) override
    {
        const auto list = Indexes();
        if (list.empty() || !platform::iequals(list[0].Name, name)) throw VbError(5, "DeleteIndex", "No index \"" + name + "\"");
        if (shapefile_) {
            QuietGdal quiet;
            sql("DROP SPATIAL INDEX ON ");
            std::error_code ec;
            fs::remove(qix_path(), ec);
            index_names().erase(DatasetName());
        }
        spatial_index_.clear();
    }

    // --- for the cursors ---
    FeatureRef feature_of(OGRFeature& f) const
    {
        auto out = std::make_shared<Feature>();
        out->OID = f.GetFID();
        out->Values.resize(fields_.size());
        out->Values[0] = static_cast<std::int32_t>(f.GetFID());
        out->Shape = geometry_of(f.GetGeometryRef(), ShapeType());
        if (sr_) out->Shape->SpatialReference = sr_;
        for (std::size_t i = 2; i < fields_.size(); ++i) {
            const int k = static_cast<int>(i - 2);
            if (!f.IsFieldSetAndNotNull(k)) {
                out->Values[i] = Variant(NullValue{});
                continue;
            }
            switch (fields_[i].Type) {
            case esriFieldTypeSmallInteger: out->Values[i] = static_cast<std::int16_t>(f.GetFieldAsInteger(k)); break;
            case esriFieldTypeInteger: out->Values[i] = static_cast<std::int32_t>(f.GetFieldAsInteger64(k)); break;
            case esriFieldTypeSingle: out->Values[i] = static_cast<float>(f.GetFieldAsDouble(k)); break;
            case esriFieldTypeDouble: out->Values[i] = f.GetFieldAsDouble(k); break;
            case esriFieldTypeDate: {
                int y = 0, m = 0, d = 0, hh = 0, mm = 0, tz = 0;
                float ss = 0;
                f.GetFieldAsDateTime(k, &y, &m, &d, &hh, &mm, &ss, &tz);
                out->Values[i] = DateValue{days_of(y, m, d) + (hh * 3600 + mm * 60 + ss) / 86400.0};
                break;
            }
            case esriFieldTypeBlob: {
                int n = 0;
                const GByte* b = f.GetFieldAsBinary(k, &n);
                out->Values[i] = Bytes(b, b + n);
                break;
            }
            default: out->Values[i] = std::string(f.GetFieldAsString(k));
            }
        }
        return out;
    }

    std::unique_ptr<OGRFeature> ogr_feature_of(const Feature& src, bool with_fid) const
    {
        auto f = std::make_unique<OGRFeature>(layer_->GetLayerDefn());
        if (with_fid) f->SetFID(src.OID);
        if (src.Shape && !src.Shape->IsEmpty()) {
            if (auto g = ogr_of(*src.Shape, layer_->GetGeomType())) {
                if (sr_ && layer_->GetSpatialRef()) g->assignSpatialReference(layer_->GetSpatialRef());
                f->SetGeometryDirectly(g.release());
            }
        }
        for (std::size_t i = 2; i < fields_.size() && i < src.Values.size(); ++i) {
            const int k = static_cast<int>(i - 2);
            const Variant& v = src.Values[i];
            if (v.IsEmpty() || v.IsNull()) {
                f->SetFieldNull(k);
            } else if (v.IsDate()) {
                int y, m, d, hh, mm;
                float ss;
                civil_of(v.ToDouble(), y, m, d, hh, mm, ss);
                f->SetField(k, y, m, d, hh, mm, ss, 0);
            } else if (fields_[i].Type == esriFieldTypeString || v.Type() == VarType::String) {
                f->SetField(k, v.ToString().c_str());
            } else {
                f->SetField(k, v.ToDouble());
            }
        }
        return f;
    }

    void write_new(OGRFeature& f)
    {
        QuietGdal quiet;
        create(f);
    }
    // A new feature written while GDAL's messages are silenced; a failure
    // carries its own message.
    void create(OGRFeature& f)
    {
        CPLErrorReset();
        if (layer_->CreateFeature(&f) != OGRERR_NONE)
            throw VbError(5, "InsertFeature", "The feature could not be written" + last_gdal_error());
    }

    void write_back(const Feature& src)
    {
        auto f = ogr_feature_of(src, true);
        QuietGdal quiet;
        if (layer_->SetFeature(f.get()) != OGRERR_NONE)
            throw VbError(5, "UpdateFeature", "The feature could not be written" + last_gdal_error());
    }

    void sync() { layer_->SyncToDisk(); }
    OGRLayer* layer() const { return layer_; }

private:
    void sql(const std::string& statement)
    {
        OGRLayer* result = ds_->ExecuteSQL((statement + "\"" + layer_->GetName() + "\"").c_str(), nullptr, nullptr);
        if (result) ds_->ReleaseResultSet(result);
    }

    static std::map<std::string, std::string>& index_names()
    {
        static std::map<std::string, std::string> names;
        return names;
    }

    std::string qix_path() const
    {
        fs::path p = fs::path(workspace_) / file_;
        for (const char* ext : {".qix", ".QIX"}) {
            fs::path q = p;
            q.replace_extension(ext);
            std::error_code ec;
            if (fs::exists(q, ec)) return q.string();
        }
        return (fs::path(workspace_) / file_).replace_extension(".qix").string();
    }
    bool has_qix() const
    {
        std::error_code ec;
        return fs::exists(qix_path(), ec);
    }

    void read_fields()
    {
        fields_.clear();
        const char* fid = layer_->GetFIDColumn();
        const char* geom = layer_->GetGeometryColumn();
        fields_.emplace_back(fid && *fid ? fid : "FID", esriFieldTypeOID);
        fields_.back().StoredName = fid && *fid ? fid : "";
        fields_.emplace_back(geom && *geom ? geom : "Shape", esriFieldTypeGeometry);
        fields_.back().StoredName = geom && *geom ? geom : "";
        OGRFeatureDefn* defn = layer_->GetLayerDefn();
        for (int i = 0; i < defn->GetFieldCount(); ++i) {
            const OGRFieldDefn* d = defn->GetFieldDefn(i);
            Field f(d->GetNameRef(), type_of(*d), d->GetWidth());
            f.StoredName = d->GetNameRef();
            if (f.Type == esriFieldTypeDouble || f.Type == esriFieldTypeSingle) {
                f.Precision = d->GetWidth();
                f.Scale = d->GetPrecision();
                f.Length = 0;
            }
            if (auto it = given_.find(f.StoredName); it != given_.end()) f.Name = it->second;
            fields_.push_back(std::move(f));
        }
    }

    std::unique_ptr<FeatureCursor> cursor(const std::vector<std::int64_t>* oids, bool update)
    {
        std::vector<std::int64_t> ids;
        if (oids) {
            ids = *oids;
            std::sort(ids.begin(), ids.end());
            ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
        } else {
            // The ids first, so that writes during the walk cannot move it;
            // read without the attributes and shapes.
            std::vector<std::string> names{"OGR_GEOMETRY"};
            for (std::size_t i = 2; i < fields_.size(); ++i) names.push_back(fields_[i].StoredName);
            std::vector<const char*> ignored;
            for (const auto& n : names) ignored.push_back(n.c_str());
            ignored.push_back(nullptr);
            layer_->SetIgnoredFields(ignored.data());
            layer_->ResetReading();
            ids.reserve(static_cast<std::size_t>(std::max<GIntBig>(0, layer_->GetFeatureCount(FALSE))));
            OGRFeature* f;
            while ((f = layer_->GetNextFeature()) != nullptr) {
                ids.push_back(f->GetFID());
                OGRFeature::DestroyFeature(f);
            }
            layer_->SetIgnoredFields(nullptr);
        }
        return std::make_unique<OgrCursor>(shared_from_this(), std::move(ids), update);
    }

    Dataset ds_;
    OGRLayer* layer_;
    std::string workspace_, file_;
    bool shapefile_;
    std::vector<Field> fields_;
    std::map<std::string, std::string> given_; // stored name -> the name it was given
    SpatialReferenceRef sr_;
    std::string spatial_index_;
};

FeatureRef OgrCursor::NextFeature()
{
    while (next_ < oids_.size()) {
        if (auto f = fc_->GetFeature(oids_[next_++])) return f;
    }
    return nullptr;
}

// Released: what it wrote reaches the files, for other programs to read.
OgrCursor::~OgrCursor()
{
    if (wrote_) fc_->sync();
}

void OgrCursor::UpdateFeature(const Feature& feature)
{
    if (!update_) throw VbError(5, "UpdateFeature", "A search cursor cannot update");
    fc_->write_back(feature);
    wrote_ = true;
}

FeatureRef OgrInsertCursor::CreateFeatureBuffer()
{
    auto f = std::make_shared<Feature>();
    f->Values.resize(fc_->Fields().size());
    f->Shape = Geometry::Make(fc_->ShapeType());
    return f;
}

std::int64_t OgrInsertCursor::InsertFeature(const Feature& buffer)
{
    auto f = fc_->ogr_feature_of(buffer, false);
    if (buffered_) {
        pending_.push_back(std::move(f));
        return -1;
    }
    fc_->write_new(*f);
    return f->GetFID();
}

void OgrInsertCursor::Flush()
{
    auto pending = std::move(pending_);
    pending_.clear();
    {
        QuietGdal quiet;
        for (auto& f : pending) fc_->create(*f);
    }
    fc_->sync();
}

// --- workspaces ----------------------------------------------------------------------

class ShapefileWorkspace : public Workspace {
public:
    explicit ShapefileWorkspace(std::string folder) : folder_(std::move(folder)) {}
    std::string PathName() const override { return folder_; }

    FeatureClassRef OpenFeatureClass(const std::string& name) override
    {
        std::string want = name;
        if (!iends(want, ".shp")) want += ".shp";
        std::error_code ec;
        // Stepped with an error code: a folder that fails half-way ends the
        // search rather than throwing.
        for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
            const fs::directory_entry& e = *it;
            const std::string file = e.path().filename().string();
            if (!platform::iequals(file, want)) continue;
            Dataset ds = open_dataset(e.path().string(), "ESRI Shapefile", "OpenFeatureClass");
            if (ds->GetLayerCount() < 1) break;
            return std::make_shared<OgrFeatureClass>(ds, ds->GetLayer(0), folder_, file, true);
        }
        throw VbError(5, "OpenFeatureClass", "No feature class \"" + name + "\" in " + folder_);
    }

    std::vector<std::string> FeatureClassNames() const override
    {
        std::vector<std::string> out;
        std::error_code ec;
        for (fs::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec))
            if (iends(it->path().filename().string(), ".shp")) out.push_back(it->path().filename().string());
        std::sort(out.begin(), out.end());
        return out;
    }

private:
    std::string folder_;
};

class GdbWorkspace : public Workspace {
public:
    GdbWorkspace(std::string path, Dataset ds) : path_(std::move(path)), ds_(std::move(ds)) {}
    std::string PathName() const override { return path_; }

    FeatureClassRef OpenFeatureClass(const std::string& name) override
    {
        for (int i = 0; i < ds_->GetLayerCount(); ++i) {
            OGRLayer* l = ds_->GetLayer(i);
            if (platform::iequals(l->GetName(), name)) return std::make_shared<OgrFeatureClass>(ds_, l, path_, l->GetName(), false);
        }
        throw VbError(5, "OpenFeatureClass", "No feature class \"" + name + "\" in " + path_);
    }

    std::vector<std::string> FeatureClassNames() const override
    {
        std::vector<std::string> out;
        for (int i = 0; i < ds_->GetLayerCount(); ++i) out.push_back(ds_->GetLayer(i)->GetName());
        return out;
    }

private:
    std::string path_;
    Dataset ds_;
};

} // namespace

WorkspaceRef ShapefileWorkspaceFactory::OpenFromFile(const std::string& folder)
{
    const std::string p = strip_slashes(folder);
    std::error_code ec;
    if (p.empty() || !fs::is_directory(p, ec))
        throw VbError(5, "ShapefileWorkspaceFactory", "Cannot open " + folder + ": not a folder");
    return std::make_shared<ShapefileWorkspace>(p);
}

WorkspaceRef FileGDBWorkspaceFactory::OpenFromFile(const std::string& path)
{
    const std::string p = strip_slashes(path);
    std::error_code ec;
    if (!fs::is_directory(p, ec)) throw VbError(5, "FileGDBWorkspaceFactory", "Cannot open " + path + ": not a folder");
    return std::make_shared<GdbWorkspace>(p, open_dataset(p, "OpenFileGDB", "FileGDBWorkspaceFactory"));
}

WorkspaceRef AccessWorkspaceFactory::OpenFromFile(const std::string&)
{
    throw VbError(429, "AccessWorkspaceFactory",
                  "Personal geodatabases (.mdb) cannot be opened here; use a file geodatabase (.gdb)");
}

WorkspaceRef Open_Workspace(const std::string& path)
{
    const std::string p = strip_slashes(path);
    if (iends(p, ".mdb")) return AccessWorkspaceFactory::OpenFromFile(p);
    if (iends(p, ".gdb")) return FileGDBWorkspaceFactory::OpenFromFile(p);
    return ShapefileWorkspaceFactory::OpenFromFile(p);
}

FeatureClassRef Open_Feature_Class(const std::string& full_name)
{
    const std::string p = strip_slashes(full_name);
    std::string lower(p);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    const std::size_t slash = p.rfind('/');
    if (slash == std::string::npos || slash + 1 >= p.size())
        throw VbError(5, "OpenFeatureClass", "No feature class in \"" + full_name + "\"");
    std::size_t cut = std::string::npos;
    for (const char* ext : {".gdb/", ".mdb/"}) {
        const std::size_t at = lower.rfind(ext);
        if (at != std::string::npos && (cut == std::string::npos || at > cut)) cut = at;
    }
    const std::string workspace = cut != std::string::npos ? p.substr(0, cut + 4) : p.substr(0, slash);
    return Open_Workspace(workspace)->OpenFeatureClass(p.substr(slash + 1));
}

} // namespace platform::arcobjects
