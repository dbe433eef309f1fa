// A feature class held in memory, and host services answered from queues:
// the class's data members tried against the host model without files.
#pragma once

#include "platform/arcobjects/features.h"
#include "platform/arcobjects/services.h"
#include "platform/automation/vb_error.h"
#include "platform/settings/settings.h"

#include <deque>
#include <filesystem>
#include <unistd.h>

namespace arcmaptest {

namespace ao = platform::arcobjects;

inline ao::Field field(const char* name, ao::FieldType type)
{
    ao::Field f;
    f.Name = name, f.Type = type;
    return f;
}

class MemoryClass : public ao::FeatureClass {
public:
    MemoryClass(ao::GeometryType type, ao::SpatialReferenceRef sr) : type_(type), sr_(std::move(sr))
    {
        fields_ = {field("FID", ao::esriFieldTypeOID), field("Shape", ao::esriFieldTypeGeometry)};
    }
    std::vector<ao::Feature> rows;

    ao::FeatureRef Add(ao::GeometryRef shape)
    {
        ao::Feature f;
        f.OID = std::int64_t(rows.size());
        f.Shape = std::move(shape);
        f.Values.resize(fields_.size());
        rows.push_back(f);
        return std::make_shared<ao::Feature>(rows.back());
    }

    std::string AliasName() const override { return "mem"; }
    std::string DatasetName() const override { return "/mem/mem.shp"; }
    std::string WorkspacePath() const override { return "/mem"; }
    std::string FeatureDataset() const override { return ""; }
    ao::GeometryType ShapeType() const override { return type_; }
    ao::SpatialReferenceRef SpatialReference() const override { return sr_; }
    const std::vector<ao::Field>& Fields() const override { return fields_; }
    int FindField(const std::string& name) const override
    {
        for (std::size_t i = 0; i < fields_.size(); ++i)
            if (fields_[i].Name == name) return int(i);
        return -1;
    }
    std::string OIDFieldName() const override { return "FID"; }
    std::string ShapeFieldName() const override { return "Shape"; }
    void AddField(const ao::Field& f) override
    {
        if (FindField(f.Name) >= 0) throw platform::VbError(5, "AddField", "exists");
        fields_.push_back(f);
        for (auto& r : rows) r.Values.resize(fields_.size());
    }
    std::int64_t FeatureCount() const override { return std::int64_t(rows.size()); }
    ao::FeatureRef GetFeature(std::int64_t oid) override { return std::make_shared<ao::Feature>(rows.at(std::size_t(oid))); }

    struct Cursor : ao::FeatureCursor {
        Cursor(MemoryClass& cls, std::vector<std::int64_t> i) : c(cls), ids(std::move(i)) {}
        MemoryClass& c;
        std::vector<std::int64_t> ids;
        std::size_t next = 0;
        ao::FeatureRef NextFeature() override { return next < ids.size() ? c.GetFeature(ids[next++]) : nullptr; }
        void UpdateFeature(const ao::Feature& f) override { c.rows.at(std::size_t(f.OID)) = f; }
    };
    std::unique_ptr<ao::FeatureCursor> Search(const std::vector<std::int64_t>* oids) override
    {
        auto cursor = std::make_unique<Cursor>(*this, oids ? *oids : std::vector<std::int64_t>{});
        if (!oids)
            for (const auto& r : rows) cursor->ids.push_back(r.OID);
        return cursor;
    }
    std::unique_ptr<ao::FeatureCursor> Update(const std::vector<std::int64_t>* oids) override { return Search(oids); }
    std::unique_ptr<ao::InsertCursor> Insert(bool) override { throw platform::VbError(5, "Insert", "not here"); }
    std::vector<ao::Index> Indexes() const override { return indexes_; }
    void AddIndex(const ao::Index& i) override { indexes_.push_back(i); }
    void DeleteIndex(const std::string& name) override { std::erase_if(indexes_, [&](auto& i) { return i.Name == name; }); }

private:
    ao::GeometryType type_;
    ao::SpatialReferenceRef sr_;
    std::vector<ao::Field> fields_;
    std::vector<ao::Index> indexes_;
};

struct QueuedServices : ao::HostServices {
    std::deque<std::string> browse, windows;
    std::vector<ao::BrowseRequest> requests;
    int windows_shown = 0;
    std::optional<std::string> Browse(const ao::BrowseRequest& r) override
    {
        requests.push_back(r);
        if (browse.empty() || browse.front().empty()) return std::nullopt;
        std::string a = browse.front();
        browse.pop_front();
        return a;
    }
    std::string Window_Answer(const std::string&) override
    {
        ++windows_shown;
        if (windows.empty()) return {};
        std::string a = windows.front();
        windows.pop_front();
        return a;
    }
};

// A settings store in a fresh file of its own.
struct TempSettings {
    std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                ("arcmap-settings-" + std::to_string(::getpid()) + "-" + std::to_string(rand()));
    platform::Settings settings{(std::filesystem::create_directories(dir), (dir / "trekfold.ini").string())};
    ~TempSettings() { std::filesystem::remove_all(dir); }
};

} // namespace arcmaptest
