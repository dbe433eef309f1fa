// What the host offers an extension beyond the model: the catalogue's
// browse dialog, the answers to a library's own modal windows, and the
// object-copy service. An extension reaches them through the application
// (MxApplication::Services); the headless host answers each from its
// queue of answers and prints it.
#pragma once

#include "platform/arcobjects/graphics.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::arcobjects {

// The browse dialog's datasets filters.
inline constexpr const char* GxFilterPointFeatureClasses = "Point feature classes";
inline constexpr const char* GxFilterPolylineFeatureClasses = "Polyline feature classes";
inline constexpr const char* GxFilterPolygonFeatureClasses = "Polygon feature classes";

struct BrowseRequest {
    std::string title;            // "Save To Existing Feature Class"
    std::string button_caption;   // "Save"
    std::string start;            // the starting location
    std::string filter;           // one of the filters above
    bool multi_select = false;
    std::int32_t parent = 0;      // the window it is modal to
};

// A collection of elements (what the object-copy service copies deeply).
class ElementCollection : public Object {
public:
    static constexpr const char* IID = "arcobjects.IElementCollection";
    std::vector<ElementRef> Elements;
    std::string Kind() const override { return "element_collection"; }
    void* QueryInterface(std::string_view iid) override;
};

class HostServices {
public:
    virtual ~HostServices() = default;
    // The chosen dataset's full path as typed (any class), or nothing when
    // cancelled. Headless: {"dialog":TITLE,"filter":F,"start":PATH,"answer":A}.
    virtual std::optional<std::string> Browse(const BrowseRequest& request) = 0;
    // What the user does in a library's modal window `window` (the form's
    // name), as one answer word: for "frmDataFrameUnits" "Meters", "Feet",
    // "Other N", "Cancel" or "Close". Empty when nothing is queued (the
    // window keeps its state and is closed).
    virtual std::string Window_Answer(const std::string& window) = 0;
};

// The object-copy service: a deep copy of a geometry, an element, an
// element collection (each element and geometry copied) or a spatial
// reference (shared: it never changes). Throws VbError 5, source
// "ObjectCopy", for any other object.
ObjectRef Copy_Object(const ObjectRef& object);

} // namespace platform::arcobjects
