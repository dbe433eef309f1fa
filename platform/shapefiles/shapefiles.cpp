#include "platform/shapefiles/shapefiles.h"

#include "platform/automation/vb_error.h"
#include "platform/text/cp1252.h"
#include "platform/text/vb.h"

#include <shapefil.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace platform {

namespace {

SHPHandle shp(void* h) { return static_cast<SHPHandle>(h); }
DBFHandle dbf(void* h) { return static_cast<DBFHandle>(h); }

[[noreturn]] void fail(int number, const std::string& description)
{
    throw VbError(number, "ShapeFiles", description);
}

// The fixed-width text of a number in an N field; empty when it is no
// number or does not fit (the field is then written null).
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

} // namespace

ShapeFiles::~ShapeFiles()
{
    try {
        Close();
    } catch (const VbError&) {
    }
}

void ShapeFiles::Close()
{
    if (mode_ != 0 && shp_ && !dbf_) make_dbf();
    if (shp_) SHPClose(shp(shp_));
    if (dbf_) DBFClose(dbf(dbf_));
    shp_ = dbf_ = nullptr;
}

void ShapeFiles::Open(const std::string& file, std::int32_t mode, std::int32_t type)
{
    Close();
    Fields.clear(), Vertices.clear(), Parts.clear();
    count_ = current_ = 0;
    dbf_fields_ = 0;
    mode_ = mode;
    base_ = file.size() > 4 && vb::LCase(file.substr(file.size() - 4)) == ".shp" ? file.substr(0, file.size() - 4) : file;
    if (mode == 1) {
        shp_ = SHPCreate((base_ + ".shp").c_str(), type);
        if (!shp_) fail(75, "Path/File access error");
        type_ = type;
        return;
    }
    shp_ = SHPOpen((base_ + ".shp").c_str(), mode == 0 ? "rb" : "r+b");
    if (!shp_) fail(53, "File not found: " + base_ + ".shp");
    dbf_ = DBFOpen((base_ + ".dbf").c_str(), mode == 0 ? "rb" : "r+b");
    if (!dbf_) {
        Close();
        fail(53, "File not found: " + base_ + ".dbf");
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
    if (mode == 0) {
        if (DBFGetRecordCount(dbf(dbf_)) < count_) fail(321, "Invalid file format: the .dbf lacks records");
        if (count_ > 0) read_current();
    }
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
    dbf_ = DBFCreateEx((base_ + ".dbf").c_str(), "LDID/87");
    if (!dbf_) fail(75, "Path/File access error");
    for (const auto& f : Fields) add_dbf_field(f);
    dbf_fields_ = Fields.size();
}

void ShapeFiles::add_dbf_field(const Field& f)
{
    const std::string name = utf8_to_cp1252(f.Name).substr(0, 10);
    if (DBFAddField(dbf(dbf_), name.c_str(), f.Type == 19 ? FTDouble : FTString, f.Width,
                    f.Type == 19 ? f.Decimals : 0) < 0)
        fail(5, "Invalid procedure call or argument: field " + f.Name);
}

void ShapeFiles::CreateFields()
{
    if (!dbf_) make_dbf();
}

void ShapeFiles::AppendFields()
{
    if (!dbf_) return make_dbf();
    for (; dbf_fields_ < Fields.size(); ++dbf_fields_) add_dbf_field(Fields[dbf_fields_]);
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
    if (!shp_ || mode_ == 0) fail(5, "Invalid procedure call or argument");
    if (!dbf_) make_dbf();
    if (dbf_fields_ < Fields.size()) AppendFields();
    std::vector<double> x, y;
    for (const auto& v : Vertices) x.push_back(v.X), y.push_back(v.Y);
    const int start = 0;
    SHPObject* o = type_ == SHPT_POINT || type_ == SHPT_MULTIPOINT
                       ? SHPCreateSimpleObject(type_, int(x.size()), x.data(), y.data(), nullptr)
                       : SHPCreateObject(type_, -1, 1, &start, nullptr, int(x.size()), x.data(), y.data(), nullptr,
                                         nullptr);
    if (!o) fail(7, "Out of memory");
    const int record = SHPWriteObject(shp(shp_), -1, o);
    SHPDestroyObject(o);
    Vertices.clear();
    if (record < 0) fail(61, "Disk full");
    for (std::size_t i = 0; i < Fields.size(); ++i) {
        const Field& f = Fields[i];
        bool ok;
        if (f.Type == 19) {
            const std::string t = number_text(f.Value, f.Width, f.Decimals);
            ok = t.empty() ? DBFWriteNULLAttribute(dbf(dbf_), record, int(i))
                           : DBFWriteAttributeDirectly(dbf(dbf_), record, int(i), const_cast<char*>(t.c_str()));
        } else {
            ok = DBFWriteStringAttribute(dbf(dbf_), record, int(i), utf8_to_cp1252(f.Value).c_str());
        }
        (void)ok; // a text cut to its width reports false
    }
    count_ = record + 1;
}

} // namespace platform
