#include "main/files/shapefile.h"

#include "main/files/detail/polygon_rings.h"
#include "platform/automation/vb_error.h"
#include "platform/settings/stored_file.h"

#include <cmath>
#include <cstring>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace files {

namespace {

using platform::VbError;
using namespace detail;

constexpr int kBase = static_cast<int>(0x80040000u);
constexpr std::int64_t kMaxFileBytes = std::int64_t(std::numeric_limits<std::int32_t>::max()) * 2;

bool forbidden(char c, const char* set) { return std::strchr(set, c) != nullptr && c != '\0'; }

[[noreturn]] void bad_spec(const char* source) { throw VbError(kBase + 515, source, "The FileSpec is invalid"); }

struct Writer {
    std::vector<std::uint8_t> b;
    void i32(std::uint32_t v)
    {
        b.resize(b.size() + 4);
        put_u32le(&b[b.size() - 4], v);
    }
    void f64(double v)
    {
        b.resize(b.size() + 8);
        put_f64le(&b[b.size() - 8], v);
    }
};

// The box of what is written, from the points themselves.
struct Box {
    double v[4] = {0, 0, 0, 0}; // xmin, ymin, xmax, ymax
    bool any = false;
    void add(double x, double y)
    {
        if (!any) {
            v[0] = v[2] = x;
            v[1] = v[3] = y;
            any = true;
            return;
        }
        v[0] = std::min(v[0], x);
        v[1] = std::min(v[1], y);
        v[2] = std::max(v[2], x);
        v[3] = std::max(v[3], y);
    }
};

using Rings = std::vector<std::vector<Pt>>;

template <class Shape>
Rings rings_of(const Shape& shape)
{
    Rings rings;
    for (const auto& part : shape.NewEnum()) {
        std::vector<Pt> r;
        for (const auto& p : part->NewEnum()) r.push_back({p->x, p->y});
        rings.push_back(std::move(r));
    }
    return rings;
}

std::vector<std::uint8_t> poly_content(std::int32_t type, const Rings& rings, Box& box)
{
    std::size_t npoints = 0;
    for (const auto& r : rings) npoints += r.size();
    if (44 + 4 * rings.size() + 16 * npoints > std::size_t(kMaxFileBytes))
        throw VbError(6, "", "Overflow");
    for (const auto& r : rings)
        for (const auto& p : r) box.add(p.x, p.y);
    Writer w;
    w.b.reserve(44 + 4 * rings.size() + 16 * npoints);
    w.i32(std::uint32_t(type));
    for (double d : box.v) w.f64(d);
    w.i32(std::uint32_t(rings.size()));
    w.i32(std::uint32_t(npoints));
    std::uint32_t first = 0;
    for (const auto& r : rings) {
        w.i32(first);
        first += std::uint32_t(r.size());
    }
    for (const auto& r : rings)
        for (const auto& p : r) {
            w.f64(p.x);
            w.f64(p.y);
        }
    return w.b;
}

// Bounded reads of one record's content.
struct Content {
    const std::vector<std::uint8_t>& b;
    std::size_t need(std::size_t n) const
    {
        if (n > b.size()) throw VbError(kBase + 517, "CShapeFile::Item", "Index Record does not match main file Record");
        return n;
    }
    std::uint32_t u32(std::size_t at) const { return u32le(&b[need(at + 4) - 4]); }
    double f64(std::size_t at) const { return f64le(&b[need(at + 8) - 8]); }
};

template <class Shape>
void set_box(Shape& s, const Content& c)
{
    s.SetLeft(c.f64(4));
    s.SetBottom(c.f64(12));
    s.SetRight(c.f64(20));
    s.SetTop(c.f64(28));
}

template <class Shape>
std::shared_ptr<IShape> read_poly(const Content& c)
{
    const std::uint64_t nparts = c.u32(36), npoints = c.u32(40);
    c.need(std::size_t(std::min<std::uint64_t>(44 + 4 * nparts + 16 * npoints, std::uint64_t(SIZE_MAX))));
    auto shape = std::make_shared<Shape>();
    for (std::uint64_t k = 0; k < nparts; ++k) {
        const std::uint64_t from = c.u32(44 + 4 * k);
        const std::uint64_t to = k + 1 < nparts ? c.u32(44 + 4 * (k + 1)) : npoints;
        if (from > to || to > npoints) c.need(c.b.size() + 1);
        auto part = std::make_shared<CPart>();
        const std::size_t base = 44 + 4 * nparts;
        for (std::uint64_t j = from; j < to; ++j)
            part->Add(std::make_shared<CPoint>(c.f64(base + 16 * j), c.f64(base + 16 * j + 8)));
        shape->Add(part);
    }
    set_box(*shape, c);
    return shape;
}

std::shared_ptr<IShape> null_of(std::int32_t type)
{
    std::shared_ptr<IShape> s;
    switch (type) {
    case 1: s = std::make_shared<CPoint>(); break;
    case 3: s = std::make_shared<CPolyLine>(); break;
    case 5: s = std::make_shared<CPolygon>(); break;
    default: s = std::make_shared<CMultiPoint>(); break;
    }
    s->SetNull(true);
    return s;
}

std::vector<std::uint8_t> header_bytes(std::int32_t type, std::int64_t bytes, const CRect& e)
{
    std::vector<std::uint8_t> h(100, 0);
    put_u32be(&h[0], 9994);
    put_u32be(&h[24], std::uint32_t(bytes / 2));
    put_u32le(&h[28], 1000);
    put_u32le(&h[32], std::uint32_t(type));
    put_f64le(&h[36], e.Left());
    put_f64le(&h[44], e.Bottom());
    put_f64le(&h[52], e.Right());
    put_f64le(&h[60], e.Top());
    return h;
}

} // namespace

// --- CFileName -------------------------------------------------------------

void CFileName::SetFileSpec(const std::string& spec)
{
    const char* src = "C_FileName::SetFileSpec";
    if (spec.empty() || spec[0] != '/') bad_spec(src);
    if (spec.find("//") != std::string::npos || spec.find("..") != std::string::npos) bad_spec(src);
    if (spec.find('.') == std::string::npos) bad_spec(src);
    for (char c : spec)
        if (forbidden(c, "?*|><:\"\\")) bad_spec(src);
    spec_ = spec;
}

std::string CFileName::GetBaseName() const
{
    const size_t slash = spec_.rfind('/');
    const size_t start = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = spec_.rfind('.');
    if (dot == std::string::npos || dot < start) return spec_.substr(start);
    return spec_.substr(start, dot - start);
}

std::string CFileName::GetExtension() const
{
    const size_t dot = spec_.rfind('.');
    return dot == std::string::npos ? spec_ : spec_.substr(dot + 1);
}

void CFileName::SetBaseName(const std::string& name)
{
    if (name.empty()) bad_spec("C_FileName::SetBaseName");
    for (char c : name)
        if (forbidden(c, "?*|/><:\\\"")) bad_spec("C_FileName::SetBaseName");
    const size_t slash = spec_.rfind('/');
    const size_t dot = spec_.rfind('.');
    const std::string ext = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                                ? std::string()
                                : spec_.substr(dot);
    spec_ = (slash == std::string::npos ? std::string() : spec_.substr(0, slash + 1)) + name + ext;
}

void CFileName::SetExtension(const std::string& ext)
{
    if (ext.empty()) bad_spec("C_FileName::SetExtension");
    for (char c : ext)
        if (forbidden(c, "?*|/><:\\\"")) bad_spec("C_FileName::SetExtension");
    const size_t dot = spec_.rfind('.');
    spec_ = dot == std::string::npos ? ext : spec_.substr(0, dot + 1) + ext;
}

// --- CShapeFile: opening -----------------------------------------------------

void CShapeFile::SetFileSpec(const CFileName& fileName, std::int32_t status,
                             std::optional<std::int32_t> ShapeType, bool forUpdate)
{
    const char* src = "C_ShapeFile::SetFileSpec";
    name_ = fileName;
    CFileName shp = fileName, shx = fileName;
    shp.SetExtension("shp");
    shx.SetExtension("shx");
    if (status == 0) {
        const std::string shx_path = platform::find_any_case(shx.GetFileSpec());
        if (shx_path.empty())
            throw VbError(kBase + 524, src, "The specified file " + shx.GetFileSpec() + " does not exist.");
        const std::string shp_path = platform::find_any_case(shp.GetFileSpec());
        if (shp_path.empty())
            throw VbError(kBase + 524, src, "The specified file " + shp.GetFileSpec() + " does not exist.");
        const auto mode = forUpdate ? BinaryFile::ReadWrite : BinaryFile::ReadOnly;
        shx_ = BinaryFile::open(shx_path, mode);
        if (!shx_.is_open()) throw VbError(75, src, "Path/File access error");
        std::uint8_t h[100] = {};
        if (!shx_.read_at(0, h, 100) || u32be(h) != 9994) {
            shx_.close();
            throw VbError(kBase + 519, src, "The shx file has an invalid shape code in the main header.");
        }
        const std::int32_t shx_words = std::int32_t(u32be(h + 24));
        shx_claimed_ = std::int64_t(u32be(h + 24)) * 2;
        shp_ = BinaryFile::open(shp_path, mode);
        if (!shp_.is_open()) throw VbError(75, src, "Path/File access error");
        if (!shp_.read_at(0, h, 100) || u32be(h) != 9994) {
            shp_.close();
            throw VbError(kBase + 519, src, "The shp file has an invalid shape code in the main header.");
        }
        extent_.MakeXY(f64le(h + 36), f64le(h + 60), f64le(h + 52), f64le(h + 44));
        type_ = std::int32_t(u32le(h + 32));
        const double n = std::nearbyint((double(shx_words) - 50) / 4);
        count_ = n > 0 ? std::int32_t(n) : 0;
        has_box_ = count_ > 0 && (extent_.Left() != 0 || extent_.Right() != 0 || extent_.Top() != 0 ||
                                  extent_.Bottom() != 0);
        shx_size_ = shx_.size();
        shp_size_ = shp_.size();
        return;
    }
    // Creating: the type is checked before anything on disk is touched.
    if (!ShapeType)
        throw VbError(kBase + 525, src, "The ShapeType argument is not optional when argument status is CREATEIT");
    if (status == CREATEIT) {
        ::unlink(shx.GetFileSpec().c_str());
        ::unlink(shp.GetFileSpec().c_str());
    }
    // Any other status empties the pair instead of writing over old bytes.
    shx_ = BinaryFile::open(shx.GetFileSpec(), BinaryFile::Truncate);
    if (!shx_.is_open()) throw VbError(75, src, "Path/File access error");
    shp_ = BinaryFile::open(shp.GetFileSpec(), BinaryFile::Truncate);
    if (!shp_.is_open()) throw VbError(75, src, "Path/File access error");
    type_ = *ShapeType;
    extent_.MakeEmpty();
    has_box_ = false;
    count_ = 0;
    shx_size_ = shp_size_ = shx_claimed_ = 100;
    PutMainHeaders();
}

void CShapeFile::PutMainHeaders()
{
    if (!shx_.write_at(0, header_bytes(type_, shx_size_, extent_)) ||
        !shp_.write_at(0, header_bytes(type_, shp_size_, extent_)))
        throw VbError(75, "CShapeFile::PutMainHeaders", "Path/File access error");
}

// --- CShapeFile: appending ---------------------------------------------------

void CShapeFile::Add(const std::shared_ptr<GeoObject>& object)
{
    auto shape = std::dynamic_pointer_cast<IShape>(object);
    std::int32_t needed = 0;
    const char* cls = nullptr;
    const char* source = nullptr;
    if (dynamic_cast<CPoint*>(shape.get())) needed = 1, cls = "CPoint", source = "C_ShapeFile::PutPoints";
    else if (dynamic_cast<CPolyLine*>(shape.get())) needed = 3, cls = "CPolyline", source = "CShapeFile::PutPolyLine";
    else if (dynamic_cast<CPolygon*>(shape.get())) needed = 5, cls = "CPolygon", source = "CShapeFile::PutPolygon";
    else if (dynamic_cast<CMultiPoint*>(shape.get()))
        needed = 8, cls = "CMultiPoint", source = "CShapeFile::PutMultiPoints";
    else throw VbError(kBase + 529, "CShapeFile::Add", "Invalid shape type");
    if (needed != type_)
        throw VbError(kBase + 528, "CShapeFile::Add",
                      std::string("Cannot add type ") + cls + " to a ShapeFile initialized as other type");

    if (shape->IsNull()) {
        Writer w;
        w.i32(0);
        write_record(w.b, false, nullptr, "CShapeFile::PutNull");
        return;
    }
    Box box;
    std::vector<std::uint8_t> content;
    try {
        if (auto* p = dynamic_cast<CPoint*>(shape.get())) {
            Writer w;
            w.i32(1);
            w.f64(p->x);
            w.f64(p->y);
            box.add(p->x, p->y);
            content = std::move(w.b);
        } else if (auto* m = dynamic_cast<CMultiPoint*>(shape.get())) {
            for (const auto& q : m->NewEnum()) box.add(q->x, q->y);
            Writer w;
            w.i32(8);
            for (double d : box.v) w.f64(d);
            w.i32(std::uint32_t(m->Count()));
            for (const auto& q : m->NewEnum()) {
                w.f64(q->x);
                w.f64(q->y);
            }
            content = std::move(w.b);
        } else if (auto* l = dynamic_cast<CPolyLine*>(shape.get())) {
            content = poly_content(3, rings_of(*l), box);
        } else {
            content = poly_content(5, normalized_rings(rings_of(*dynamic_cast<CPolygon*>(shape.get()))), box);
        }
    } catch (VbError& e) {
        e.source = source;
        throw;
    }
    write_record(content, box.any, box.v, source);
}

void CShapeFile::write_record(const std::vector<std::uint8_t>& content, bool has_box, const double box[4],
                              const char* source)
{
    const std::int64_t rec_bytes = 8 + std::int64_t(content.size());
    if (!shp_.writable() || !shx_.writable()) throw VbError(54, source, "Bad file mode");
    if (shp_size_ + rec_bytes > kMaxFileBytes || shx_size_ + 8 > kMaxFileBytes)
        throw VbError(6, source, "Overflow");
    std::vector<std::uint8_t> rec(static_cast<std::size_t>(rec_bytes));
    put_u32be(&rec[0], std::uint32_t(count_ + 1));
    put_u32be(&rec[4], std::uint32_t(content.size() / 2));
    std::memcpy(&rec[8], content.data(), content.size());
    std::uint8_t entry[8];
    put_u32be(entry, std::uint32_t(shp_size_ / 2));
    put_u32be(entry + 4, std::uint32_t(content.size() / 2));
    if (!shp_.write_at(shp_size_, rec) || !shx_.write_at(shx_size_, entry, 8))
        throw VbError(75, source, "Path/File access error");
    shp_size_ += rec_bytes;
    shx_size_ += 8;
    shx_claimed_ = shx_size_;
    ++count_;
    if (has_box) PutExtent(box);
    // File lengths, version, type and box in one write per file.
    for (auto* f : {&shp_, &shx_}) {
        const auto h = header_bytes(type_, f == &shp_ ? shp_size_ : shx_size_, extent_);
        if (!f->write_at(24, h.data() + 24, 44))
            throw VbError(75, "CShapeFile::PutMainHeaders", "Path/File access error");
    }
}

// The file box is the union of the boxes of the non-null records.
void CShapeFile::PutExtent(const double box[4])
{
    if (!has_box_) {
        extent_.MakeXY(box[0], box[3], box[2], box[1]);
        has_box_ = true;
        return;
    }
    if (box[0] < extent_.Left()) extent_.SetLeft(box[0]);
    if (box[1] < extent_.Bottom()) extent_.SetBottom(box[1]);
    if (box[2] > extent_.Right()) extent_.SetRight(box[2]);
    if (box[3] > extent_.Top()) extent_.SetTop(box[3]);
}

// --- CShapeFile: reading -----------------------------------------------------

CShapeFile::Record CShapeFile::FindOffset(std::int32_t i, bool& missing) const
{
    Record r;
    const std::int64_t shx_end = std::min(shx_size_, shx_claimed_);
    const std::int64_t at = 100 + 8 * (std::int64_t(i) - 1);
    std::uint8_t e[8];
    missing = i < 1 || at + 8 > shx_end || !shx_.read_at(at, e, 8);
    if (!missing) {
        r.offset = std::int64_t(u32be(e)) * 2;
        r.length = std::int64_t(u32be(e + 4)) * 2;
    }
    return r;
}

std::shared_ptr<IShape> CShapeFile::Item(std::int32_t i)
{
    const char* src = "CShapeFile::Item";
    if (type_ != 1 && type_ != 3 && type_ != 5 && type_ != 8) return nullptr;
    const auto beyond = [&] {
        return VbError(kBase + 518, src, "The offset read from index file is larger then the mainfile size");
    };
    bool missing = false;
    const Record r = FindOffset(i, missing);
    if (missing) {
        if (type_ == 1) return nullptr;
        throw beyond();
    }
    if (r.offset + 8 > shp_size_) throw beyond();
    // The record header and the content the index announces, in one read.
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(std::min(8 + r.length, shp_size_ - r.offset)));
    if (!shp_.read_at(r.offset, bytes.data(), bytes.size())) throw beyond();
    if (std::int32_t(u32be(bytes.data())) != i)
        throw VbError(kBase + 517, src, "Index Record does not match main file Record");
    const std::int64_t len = std::int64_t(u32be(bytes.data() + 4)) * 2;
    if (r.offset + 8 + len > shp_size_) throw beyond();
    if (len + 8 != std::int64_t(bytes.size())) {
        bytes.resize(static_cast<std::size_t>(8 + len));
        if (!shp_.read_at(r.offset, bytes.data(), bytes.size())) throw beyond();
    }
    bytes.erase(bytes.begin(), bytes.begin() + 8);
    const Content c{bytes};
    const std::int32_t type = std::int32_t(c.u32(0));
    if (type == 0) return null_of(type_);
    if (type != type_) throw VbError(kBase + 526, src, "A shape type does not match main header type.");
    switch (type_) {
    case 1: return std::make_shared<CPoint>(c.f64(4), c.f64(12));
    case 3: return read_poly<CPolyLine>(c);
    case 5: return read_poly<CPolygon>(c);
    default: {
        const std::uint64_t n = c.u32(36);
        c.need(std::size_t(std::min<std::uint64_t>(40 + 16 * n, SIZE_MAX)));
        auto m = std::make_shared<CMultiPoint>();
        for (std::uint64_t j = 0; j < n; ++j)
            m->Add(std::make_shared<CPoint>(c.f64(40 + 16 * j), c.f64(48 + 16 * j)));
        set_box(*m, c);
        return m;
    }
    }
}

} // namespace files
