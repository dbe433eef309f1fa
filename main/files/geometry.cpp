#include "main/files/geometry.h"

#include "platform/automation/vb_error.h"
#include "platform/ui/dialogs.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace files {

namespace {

using platform::VbError;

constexpr int kErrorBase = static_cast<int>(0x80040000u);
constexpr int kBadItem = kErrorBase + 527;
constexpr int kNullDistance = kErrorBase + 530;

struct ContainerLabels {
    const char* add_source;
    const char* add_message;
    const char* remove_source;
};

template <class Self>
ContainerLabels labels_of(const Self* self)
{
    if (dynamic_cast<const CMultiPoint*>(self))
        return {"CMultiPoint::Add", "CMultiPoint Add can only accept objects of type CPoints",
                "CMultiPoint::Remove"};
    if (dynamic_cast<const CPolygon*>(self))
        return {"CPolygon::Add", "CPolygon Add can only accept objects of type CPart", "C_Polygon::Remove"};
    return {"CPolyLine::Add", "CPolyLine Add can only accept objects of type CPart", "CPolyLine::Remove"};
}

// The four strict edge tests of a container's Add.
void grow(CRect& extent, double left, double right, double bottom, double top)
{
    if (left < extent.Left()) extent.SetLeft(left);
    if (right > extent.Right()) extent.SetRight(right);
    if (bottom < extent.Bottom()) extent.SetBottom(bottom);
    if (top > extent.Top()) extent.SetTop(top);
}

// The paired tests of a part's Add: a value lowers one edge or raises the other.
void grow_part(CRect& extent, const CPoint& p)
{
    if (p.x < extent.Left()) extent.SetLeft(p.x);
    else if (p.x > extent.Right()) extent.SetRight(p.x);
    if (p.y < extent.Bottom()) extent.SetBottom(p.y);
    else if (p.y > extent.Top()) extent.SetTop(p.y);
}

double hypot2(double dx, double dy) { return std::sqrt(dx * dx + dy * dy); }

// Distance from (x, y) to the segment a-b; a zero-length segment (a fix
// repeated) is covered by its vertex and gives no answer of its own.
double to_segment(double x, double y, const CPoint& a, const CPoint& b)
{
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double len2 = dx * dx + dy * dy;
    if (len2 == 0) return std::numeric_limits<double>::infinity();
    const double t = ((x - a.x) * dx + (y - a.y) * dy) / len2;
    if (t <= 0 || t >= 1) return std::numeric_limits<double>::infinity();
    return hypot2(x - (a.x + t * dx), y - (a.y + t * dy));
}

// Shortest distance from (x, y) to the parts: every vertex and every segment.
// Lines need two points per part, rings three, as before.
template <class Shape>
double to_parts(double x, double y, const Shape& shape, long min_points, const char* source)
{
    if (shape.Count() == 0) throw VbError(9, source, "Subscript out of range");
    double m = std::numeric_limits<double>::infinity();
    for (const auto& part : shape.NewEnum()) {
        const auto& pts = part->NewEnum();
        if (static_cast<long>(pts.size()) < min_points) throw VbError(9, source, "Subscript out of range");
        for (size_t j = 0; j < pts.size(); ++j) {
            m = std::min(m, hypot2(x - pts[j]->x, y - pts[j]->y));
            if (j > 0) m = std::min(m, to_segment(x, y, *pts[j - 1], *pts[j]));
        }
    }
    return m;
}

} // namespace

double IShape::Distance(const IShape&, platform::Dialogs& dialogs) const
{
    dialogs.MsgBox("NOT IMPLEMENTED", platform::vbOKOnly);
    return 0;
}

double CPoint::Distance(const IShape& other, platform::Dialogs&) const
{
    if (other.IsNull() || IsNull())
        throw VbError(kNullDistance, "CPoint::IShape_Distance", "Cannot compute distance to a null shape");
    if (auto* p = dynamic_cast<const CPoint*>(&other)) return DistanceToPoint(*p);
    if (auto* l = dynamic_cast<const CPolyLine*>(&other)) return DistanceToPolyLine(*l);
    if (auto* g = dynamic_cast<const CPolygon*>(&other)) return DistanceToPolygon(*g);
    return 0;
}

double CPoint::DistanceToPoint(const CPoint& other) const
{
    if (x == other.x && y == other.y) return 0;
    return hypot2(y - other.y, x - other.x);
}

double CPoint::DistanceToPolyLine(const CPolyLine& line) const
{
    return to_parts(x, y, line, 2, "CPoint::DistanceToPolyLine");
}

double CPoint::DistanceToPolygon(const CPolygon& polygon) const
{
    return to_parts(x, y, polygon, 3, "CPoint::DistanceToPolygon");
}

void CRect::Make(const CPoint& upper_left, const CPoint& lower_right)
{
    MakeXY(upper_left.x, upper_left.y, lower_right.x, lower_right.y);
}

void CRect::MakeXY(double left, double top, double right, double bottom)
{
    ul_.x = left;
    ul_.y = top;
    lr_.x = right;
    lr_.y = bottom;
}

template <class T>
std::shared_ptr<T> ItemList<T>::Item(long index) const
{
    if (index < 1 || index > Count()) throw VbError(9, "", "Subscript out of range");
    return items_[static_cast<size_t>(index - 1)];
}

template <class T>
void ItemList<T>::erase(long index, const char* source)
{
    if (index < 1 || index > Count()) throw VbError(9, source, "Subscript out of range");
    items_.erase(items_.begin() + (index - 1));
}

void CPart::Add(const std::shared_ptr<GeoObject>& item)
{
    auto p = std::dynamic_pointer_cast<CPoint>(item);
    if (!p) throw VbError(kBadItem, "CPart::Add", "CPart can only accept objects of type CPoint");
    if (items_.empty()) extent_.Make(*p, *p);
    else grow_part(extent_, *p);
    append(std::move(p));
}

void CPart::Remove(long index)
{
    erase(index, "CPart::Remove");
    bool first = true;
    for (const auto& p : items_) {
        if (first) extent_.Make(*p, *p);
        else grow_part(extent_, *p);
        first = false;
    }
}

template <class T>
void Container<T>::Add(const std::shared_ptr<GeoObject>& item)
{
    auto it = std::dynamic_pointer_cast<T>(item);
    if (!it) {
        const ContainerLabels l = labels_of(this);
        throw VbError(kBadItem, l.add_source, l.add_message);
    }
    if (this->items_.empty())
        extent_.MakeXY(it->Left(), it->Top(), it->Right(), it->Bottom());
    else
        grow(extent_, it->Left(), it->Right(), it->Bottom(), it->Top());
    this->append(std::move(it));
}

template <class T>
void Container<T>::Remove(long index)
{
    this->erase(index, labels_of(this).remove_source);
}

template class ItemList<CPoint>;
template class ItemList<CPart>;
template class Container<CPoint>;
template class Container<CPart>;

} // namespace files
