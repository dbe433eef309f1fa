#include "platform/shapefiles/shapefiles.h"

#include "platform/automation/vb_error.h"
#include "platform/settings/stored_file.h"
#include "platform/shapefiles/detail/set_io.h"
#include "platform/text/cp1252.h"
#include "platform/text/vb.h"

#include <shapefil.h>

#include <algorithm>
#include <cctype>
#include <unistd.h>

namespace platform {

using shapefiles_detail::Current;
using shapefiles_detail::hooks;
using shapefiles_detail::number_text;

namespace {

SHPHandle shp(void* h) { return static_cast<SHPHandle>(h); }
DBFHandle dbf(void* h) { return static_cast<DBFHandle>(h); }

[[noreturn]] void fail(int number, const std::string& description)
{
    throw VbError(number, "ShapeFiles", description);
}

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// `ext` (".shx") in the letter case of `like` (".SHP" gives ".SHX").
std::string cased_like(std::string ext, const std::string& like)
{
    for (std::size_t i = 0; i < ext.size() && i < like.size(); ++i)
        if (std::isupper(static_cast<unsigned char>(like[i])))
            ext[i] = char(std::toupper(static_cast<unsigned char>(ext[i])));
    return ext;
}

} // namespace

std::string ShapeFiles::SiblingName(const std::string& file, const std::string& extension)
{
    const bool has_ext = file.size() > 4 && vb::LCase(file.substr(file.size() - 4)) == ".shp";
    // The .shp on disk, when there is one, names the set; else the name given.
    std::string shp_name = has_ext ? file : file + ".shp";
    if (const std::string found = find_any_case(shp_name); !found.empty()) shp_name = found;
    const std::string base = shp_name.substr(0, shp_name.size() - 4);
    const std::string name = base + cased_like(extension, shp_name.substr(shp_name.size() - 4));
    const std::string found = find_any_case(name);
    return found.empty() ? name : found;
}

std::array<std::string, 3> ShapeFiles::SetNames(const std::string& file)
{
    return {SiblingName(file, ".shp"), SiblingName(file, ".shx"), SiblingName(file, ".dbf")};
}

ShapeFiles::ShapeFiles() : io_(std::make_unique<shapefiles_detail::IoState>()) {}

ShapeFiles::~ShapeFiles() { Abandon(); }

void ShapeFiles::Abandon() noexcept
{
    {
        Current current(*io_);
        if (shp_) SHPClose(shp(shp_));
        if (dbf_) DBFClose(dbf(dbf_));
    }
    shp_ = dbf_ = nullptr;
    if (append_) append_->close(); // undoes what was not finished
    append_.reset();
    staged_.reset(); // removes the temporaries
    mode_ = 0;
}

void ShapeFiles::fail_write(int number, const std::string& description)
{
    const int err = io_->error;
    Abandon();
    if (err) throw FileError(err, "ShapeFiles");
    fail(number, description);
}

void ShapeFiles::check()
{
    if (io_->error) fail_write(0, "");
}

void ShapeFiles::Close()
{
    if (mode_ == 0) return Abandon();
    try {
        if (append_) {
            append_->finish();
            append_->close();
            append_.reset();
        } else {
            if (shp_ && !dbf_) make_dbf();
            {
                Current current(*io_);
                if (shp_) SHPClose(shp(shp_));
                if (dbf_) DBFClose(dbf(dbf_));
            }
            shp_ = dbf_ = nullptr;
            check();
        }
        std::string reason;
        if (staged_ && !staged_->commit(reason)) {
            const int err = staged_->error();
            if (err) throw FileError(err, "ShapeFiles");
            fail(75, "Path/File access error");
        }
    } catch (...) {
        Abandon();
        throw;
    }
    staged_.reset();
    mode_ = 0;
}

void ShapeFiles::Open(const std::string& file, std::int32_t mode, std::int32_t type)
{
    Close();
    Fields.clear(), Vertices.clear(), Parts.clear();
    count_ = current_ = 0;
    dbf_fields_ = 0;
    io_ = std::make_unique<shapefiles_detail::IoState>();
    names_ = SetNames(file);
    if (mode == 1) {
        staged_ = std::make_unique<StagedFiles>(std::vector<std::string>(names_.begin(), names_.end()));
        std::string reason;
        if (!staged_->stage(false, reason)) {
            const int err = staged_->error();
            staged_.reset();
            if (err) throw FileError(err, "ShapeFiles");
            fail(75, "Path/File access error");
        }
        mode_ = 1;
        stem_ = staged_->temp_stem();
        {
            Current current(*io_);
            shp_ = SHPCreateLL((stem_ + ".shp").c_str(), type, hooks());
        }
        if (!shp_) fail_write(75, "Path/File access error");
        check();
        type_ = type;
        return;
    }
    if (mode == 3) {
        append_ = std::make_unique<shapefiles_detail::Appender>();
        try {
            append_->open(names_);
        } catch (...) {
            append_.reset();
            throw;
        }
        mode_ = 3;
        type_ = append_->type();
        count_ = append_->count();
        Fields = append_->fields();
        dbf_fields_ = Fields.size();
        return;
    }
    mode_ = 0;
    {
        Current current(*io_);
        shp_ = SHPOpenLL(names_[0].c_str(), "rb", hooks());
    }
    if (!shp_) {
        for (int i : {0, 1})
            if (!exists(names_[std::size_t(i)])) fail(53, "File not found: " + names_[std::size_t(i)]);
        fail(321, "Invalid file format: " + names_[0]);
    }
    {
        Current current(*io_);
        dbf_ = DBFOpenLL(names_[2].c_str(), "rb", hooks());
    }
    if (!dbf_) {
        Close();
        if (!exists(names_[2])) fail(53, "File not found: " + names_[2]);
        fail(321, "Invalid file format: " + names_[2]);
    }
    int entities = 0, shape_type = 0;
    SHPGetInfo(shp(shp_), &entities, &shape_type, nullptr, nullptr);
    type_ = shape_type;
    count_ = entities;
    const int fields = DBFGetFieldCount(dbf(dbf_));
    for (int i = 0; i < fields; ++i) {
        char name[XBASE_FLDNAME_LEN_READ + 1] = {};
        int width = 0, decimals = 0;
        DBFFieldType t = DBFGetFieldInfo(dbf(dbf_), i, name, &width, &decimals);
        Fields.push_back({cp1252_to_utf8(name), t == FTString || t == FTLogical || t == FTDate ? 10 : 19,
                          std::int16_t(width), std::int16_t(decimals), {}});
    }
    dbf_fields_ = Fields.size();
    if (DBFGetRecordCount(dbf(dbf_)) < count_) fail(321, "Invalid file format: the .dbf lacks records");
    if (count_ > 0) read_current();
}

void ShapeFiles::read_current()
{
    Vertices.clear(), Parts.clear();
    SHPObject* o = SHPReadObject(shp(shp_), current_);
    if (!o) fail(321, "Invalid file format: record " + std::to_string(current_ + 1) + " cannot be read");
    for (int i = 0; i < o->nVertices; ++i) Vertices.push_back({o->padfX[i], o->padfY[i]});
    for (int p = 0; p < o->nParts; ++p) {
        const int first = o->panPartStart[p];
        const int last = p + 1 < o->nParts ? o->panPartStart[p + 1] : o->nVertices;
        if (first < 0 || first > last || last > o->nVertices) {
            SHPDestroyObject(o);
            fail(321, "Invalid file format: bad part in record " + std::to_string(current_ + 1));
        }
        Parts.push_back({first + 1, last});
    }
    if (o->nParts == 0 && o->nVertices > 0) Parts.push_back({1, o->nVertices});
    SHPDestroyObject(o);
    deleted_ = DBFIsRecordDeleted(dbf(dbf_), current_);
    // A null value (a number of "*" or blanks, as this control and other
    // programs write an empty one) reads as an empty text.
    for (std::size_t i = 0; i < Fields.size(); ++i)
        Fields[i].Value = DBFIsAttributeNULL(dbf(dbf_), current_, int(i))
                              ? std::string()
                              : cp1252_to_utf8(DBFReadStringAttribute(dbf(dbf_), current_, int(i)));
}

void ShapeFiles::MoveNext()
{
    if (++current_ < count_) read_current();
}

void ShapeFiles::Fields_Add(const std::string& name, std::int32_t type, const std::string& width,
                            const std::string& decimals)
{
    Fields.push_back({name, type, std::int16_t(vb::CInt(width)), std::int16_t(vb::CInt(decimals)), {}});
}

void ShapeFiles::make_dbf()
{
    {
        Current current(*io_);
        dbf_ = DBFCreateLL((stem_ + ".dbf").c_str(), "LDID/87", hooks());
    }
    if (!dbf_) fail_write(75, "Path/File access error");
    for (const auto& f : Fields) add_dbf_field(f);
    dbf_fields_ = Fields.size();
}

void ShapeFiles::add_dbf_field(const Field& f)
{
    const std::string name = utf8_to_cp1252(f.Name).substr(0, 10);
    int added;
    {
        Current current(*io_);
        added = DBFAddField(dbf(dbf_), name.c_str(), f.Type == 19 ? FTDouble : FTString, f.Width,
                            f.Type == 19 ? f.Decimals : 0);
    }
    if (added < 0) fail_write(5, "Invalid procedure call or argument: field " + f.Name);
    check();
}

void ShapeFiles::CreateFields()
{
    if (mode_ == 1 && !dbf_) make_dbf();
}

// The new fields of an append are added to a copy of the set, which
// replaces it at Close: every record of the table grows.
void ShapeFiles::stage_for_fields()
{
    append_->finish();
    append_->close();
    staged_ = std::make_unique<StagedFiles>(std::vector<std::string>(names_.begin(), names_.end()));
    std::string reason;
    if (!staged_->stage(true, reason)) {
        const int err = staged_->error();
        Abandon();
        if (err) throw FileError(err, "ShapeFiles");
        fail(75, "Path/File access error");
    }
    stem_ = staged_->temp_stem();
    {
        Current current(*io_);
        dbf_ = DBFOpenLL((stem_ + ".dbf").c_str(), "r+b", hooks());
    }
    if (!dbf_) fail_write(75, "Path/File access error");
    for (; dbf_fields_ < Fields.size(); ++dbf_fields_) add_dbf_field(Fields[dbf_fields_]);
    {
        Current current(*io_);
        DBFClose(dbf(dbf_));
    }
    dbf_ = nullptr;
    check();
    try {
        append_->open({stem_ + ".shp", stem_ + ".shx", stem_ + ".dbf"});
    } catch (...) {
        Abandon();
        throw;
    }
}

void ShapeFiles::AppendFields()
{
    if (mode_ == 1) {
        if (!dbf_) return make_dbf();
        for (; dbf_fields_ < Fields.size(); ++dbf_fields_) add_dbf_field(Fields[dbf_fields_]);
    } else if (mode_ == 3 && dbf_fields_ < Fields.size()) {
        stage_for_fields();
    }
}

void ShapeFiles::PrepareRing(std::int16_t, std::int32_t)
{
    double area2 = 0;
    for (std::size_t i = 0; i + 1 < Vertices.size(); ++i)
        area2 += Vertices[i].X * Vertices[i + 1].Y - Vertices[i + 1].X * Vertices[i].Y;
    if (area2 > 0) std::reverse(Vertices.begin(), Vertices.end()); // counter-clockwise
}

void ShapeFiles::WriteShape()
{
    if (mode_ != 1 && mode_ != 3) fail(5, "Invalid procedure call or argument");
    if (dbf_fields_ < Fields.size()) AppendFields();
    if (mode_ == 3) {
        try {
            append_->append(Vertices, Fields);
        } catch (...) {
            Abandon();
            throw;
        }
        Vertices.clear();
        count_ = append_->count();
        return;
    }
    if (!dbf_) make_dbf();
    std::vector<double> x, y;
    for (const auto& v : Vertices) x.push_back(v.X), y.push_back(v.Y);
    const int start = 0;
    Current current(*io_);
    SHPObject* o = type_ == SHPT_POINT || type_ == SHPT_MULTIPOINT
                       ? SHPCreateSimpleObject(type_, int(x.size()), x.data(), y.data(), nullptr)
                       : SHPCreateObject(type_, -1, 1, &start, nullptr, int(x.size()), x.data(), y.data(), nullptr,
                                         nullptr);
    if (!o) fail(7, "Out of memory");
    const int record = SHPWriteObject(shp(shp_), -1, o);
    SHPDestroyObject(o);
    Vertices.clear();
    if (record < 0) fail_write(61, "Disk full");
    for (std::size_t i = 0; i < Fields.size(); ++i) {
        const Field& f = Fields[i];
        // The results tell a value cut to its width, not a failed write:
        // the file's state says that.
        if (f.Type == 19) {
            const std::string t = number_text(f.Value, f.Width, f.Decimals);
            t.empty() ? DBFWriteNULLAttribute(dbf(dbf_), record, int(i))
                      : DBFWriteAttributeDirectly(dbf(dbf_), record, int(i), const_cast<char*>(t.c_str()));
        } else {
            DBFWriteStringAttribute(dbf(dbf_), record, int(i), utf8_to_cp1252(f.Value).c_str());
        }
    }
    check();
    count_ = record + 1;
}

} // namespace platform
