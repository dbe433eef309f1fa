// The shapefile control (ShapeFiles): one shapefile (.shp, .shx, .dbf) at a
// time, opened for reading, created, or opened for appending; the current
// shape's vertices, parts and attribute values as collections the program
// fills or reads. Texts are UTF-8 here and Windows-1252 in the .dbf.
//
// The three files of a set are found without regard to case (OLD.SHP,
// OLD.SHX, OLD.DBF). A created set is written to temporaries beside the
// old one and replaces it at Close; an append writes in place. Every
// write, flush and close is checked: a failure raises VbError ("Disk full"
// or the failure's own) and leaves the set as it was before Open, as does
// Abandon or destroying the control before Close.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

class StagedFiles;
namespace shapefiles_detail { class Appender; struct IoState; }

class ShapeFiles {
public:
    struct Field {
        std::string Name;
        std::int32_t Type = 10; // 10 text (C), 19 number (N)
        std::int16_t Width = 0, Decimals = 0;
        std::string Value;
    };
    struct Vertex {
        double X = 0, Y = 0;
    };
    struct Part {
        std::int32_t FirstVertex = 1, LastVertex = 0; // inclusive, from 1
    };

    ShapeFiles();
    ~ShapeFiles();
    ShapeFiles(const ShapeFiles&) = delete;
    ShapeFiles& operator=(const ShapeFiles&) = delete;

    // mode 0 reads (the first record made current), 1 creates a shapefile
    // of `type`, 3 opens one for appending (error 53 names a missing
    // file). `file` is the .shp path.
    void Open(const std::string& file, std::int32_t mode, std::int32_t type = 0);
    bool ReadOption = false;
    std::int32_t ShapeType() const { return type_; }
    std::int32_t RecordCount() const { return count_; }
    bool is_open() const { return shp_ != nullptr || append_ != nullptr; }

    std::vector<Field> Fields;     // from index 0 (the program counts from 1)
    std::vector<Vertex> Vertices;  // of the current shape
    std::vector<Part> Parts;       // of the current shape (read)
    // Whether the current record is flagged deleted in the .dbf (read).
    bool Deleted() const { return deleted_; }

    void Fields_Add(const std::string& name, std::int32_t type, const std::string& width, const std::string& decimals);
    void Vertices_Add(double x, double y) { Vertices.push_back({x, y}); }
    void MoveNext();
    // Writes the vertices as one record with the fields' values, then
    // empties the vertices (the values stay).
    void WriteShape();
    void CreateFields();
    void AppendFields();
    // Makes the vertices a clockwise ring (an outer ring).
    void PrepareRing(std::int16_t, std::int32_t);
    void InitAppend() {}
    // Ends the writing: the files are closed and complete.
    void FinishWrite() { Close(); }
    void Close();
    // Ends the writing without keeping any of it; never raises.
    void Abandon() noexcept;

    // The set's .shp, .shx and .dbf for a .shp path: each the existing file
    // whose name differs at most in case; a missing one is named as the
    // set's .shp on disk, or as the path given when there is none ("A.SHP"
    // gives "A.SHX" and "A.DBF").
    static std::array<std::string, 3> SetNames(const std::string& file);
    // A sibling of the set by its lower-case extension (".prj"), named as
    // SetNames names the set's own files.
    static std::string SiblingName(const std::string& file, const std::string& extension);

private:
    void read_current();
    void make_dbf();
    void add_dbf_field(const Field& f);
    void check();                    // raises the first failure of a file
    void fail_write(int number, const std::string& description);
    void stage_for_fields();         // an append that must add fields

    void* shp_ = nullptr; // SHPHandle
    void* dbf_ = nullptr; // DBFHandle
    std::array<std::string, 3> names_;
    std::string stem_; // where a created set is written: its temporaries
    std::int32_t type_ = 0, count_ = 0, current_ = 0, mode_ = 0;
    std::size_t dbf_fields_ = 0; // fields already in the .dbf
    bool deleted_ = false;
    std::unique_ptr<shapefiles_detail::IoState> io_;
    std::unique_ptr<StagedFiles> staged_;
    std::unique_ptr<shapefiles_detail::Appender> append_;
};

} // namespace platform
