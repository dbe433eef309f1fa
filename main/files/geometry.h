// Planar shapes in memory: points, point sets, lines made of parts, polygons
// made of rings and rectangles. Every shape keeps its extent while items are
// added and carries a null flag; a point measures distances to other shapes.
// Lists are 1-based and share their items with the caller.
#pragma once

#include <memory>
#include <vector>

namespace platform { class Dialogs; }

namespace files {

// Base of every geometry object, so that the lists' and the shapefile's Add
// can accept any object and check its class, as their callers expect.
class GeoObject {
public:
    virtual ~GeoObject() = default;
};

class IShape : public GeoObject {
public:
    virtual double Top() const = 0;
    virtual double Bottom() const = 0;
    virtual double Left() const = 0;
    virtual double Right() const = 0;
    bool IsNull() const { return null_; }
    void MakeNull(bool on) { null_ = on; }
    // The distance to another shape. Only a point measures; the other
    // shapes show "NOT IMPLEMENTED" through the dialogs and return 0.
    virtual double Distance(const IShape& other, platform::Dialogs& dialogs) const;
    void SetNull(bool on) { null_ = on; } // for the shapefile reader

private:
    bool null_ = false;
};

class CPolyLine;
class CPolygon;

class CPoint : public IShape {
public:
    CPoint() = default;
    CPoint(double x, double y) : x(x), y(y) {}
    double x = 0, y = 0;
    double Top() const override { return y; }
    double Bottom() const override { return y; }
    double Left() const override { return x; }
    double Right() const override { return x; }
    // Shortest distance to a point, a line or a polygon (0 for other
    // classes); raises 530 when either shape is null.
    double Distance(const IShape& other, platform::Dialogs& dialogs) const override;

private:
    double DistanceToPoint(const CPoint& other) const;
    double DistanceToPolyLine(const CPolyLine& line) const;
    double DistanceToPolygon(const CPolygon& polygon) const;
};

class CRect : public IShape {
public:
    double Top() const override { return ul_.y; }
    double Bottom() const override { return lr_.y; }
    double Left() const override { return ul_.x; }
    double Right() const override { return lr_.x; }
    void SetTop(double v) { ul_.y = v; }
    void SetBottom(double v) { lr_.y = v; }
    void SetLeft(double v) { ul_.x = v; }
    void SetRight(double v) { lr_.x = v; }
    void MakeEmpty() { MakeXY(0, 0, 0, 0); }
    void Make(const CPoint& upper_left, const CPoint& lower_right);
    void MakeXY(double left, double top, double right, double bottom);

private:
    CPoint ul_, lr_;
};

// An ordered 1-based list of shared items. Item and Remove with an index
// outside 1 to Count raise 9 "Subscript out of range".
template <class T>
class ItemList {
public:
    long Count() const { return static_cast<long>(items_.size()); }
    std::shared_ptr<T> Item(long index) const;
    const std::vector<std::shared_ptr<T>>& NewEnum() const { return items_; }

protected:
    void append(std::shared_ptr<T> item) { items_.push_back(std::move(item)); }
    void erase(long index, const char* source);
    std::vector<std::shared_ptr<T>> items_;
};

// One line part or polygon ring: its points and their extent.
class CPart : public ItemList<CPoint>, public GeoObject {
public:
    double Left() const { return extent_.Left(); }
    double Right() const { return extent_.Right(); }
    double Top() const { return extent_.Top(); }
    double Bottom() const { return extent_.Bottom(); }
    void SetLeft(double v) { extent_.SetLeft(v); }
    void SetRight(double v) { extent_.SetRight(v); }
    void SetTop(double v) { extent_.SetTop(v); }
    void SetBottom(double v) { extent_.SetBottom(v); }
    // Raises 527 "CPart::Add" for anything but a CPoint.
    void Add(const std::shared_ptr<GeoObject>& item);
    // Removes a point and recomputes the extent from the rest.
    void Remove(long index);

private:
    CRect extent_;
};

// The shared layout of CMultiPoint, CPolyLine and CPolygon.
template <class T>
class Container : public ItemList<T>, public IShape {
public:
    Container() { extent_.MakeEmpty(); }
    double Top() const override { return extent_.Top(); }
    double Bottom() const override { return extent_.Bottom(); }
    double Left() const override { return extent_.Left(); }
    double Right() const override { return extent_.Right(); }
    // Appends an item of the item class and grows the extent (527 else).
    void Add(const std::shared_ptr<GeoObject>& item);
    // Removes an item; the extent is left as it was.
    void Remove(long index);
    // For the shapefile reader, which sets what the record states.
    void SetLeft(double v) { extent_.SetLeft(v); }
    void SetRight(double v) { extent_.SetRight(v); }
    void SetTop(double v) { extent_.SetTop(v); }
    void SetBottom(double v) { extent_.SetBottom(v); }

private:
    CRect extent_;
};

class CMultiPoint : public Container<CPoint> {};
class CPolyLine : public Container<CPart> {};
class CPolygon : public Container<CPart> {};

} // namespace files
