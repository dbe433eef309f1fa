// The GPX element tree (clsGPXType): one XML element with its name, text,
// attributes and children, which writes itself as XML text, reads a file
// back with a small tolerant reader of its own, becomes a GPX 1.0 root and
// builds waypoints, routes and tracks from table rows. Texts and attribute
// values are held escaped; XML_Decode gives them back as plain text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform { class Dialogs; }

namespace files {

class clsGPXType {
public:
    using Ptr = std::shared_ptr<clsGPXType>;
    // `dialogs` shows the boxes of GPX_WriteFile and GPX_LoadFile (none: silent).
    explicit clsGPXType(platform::Dialogs* dialogs = nullptr);
    ~clsGPXType();
    // Children point back at their parent: an element stays where it is made.
    clsGPXType(const clsGPXType&) = delete;
    clsGPXType& operator=(const clsGPXType&) = delete;

    const std::string& mainHeader() const;
    void TypeString(std::string name) { name_ = std::move(name); }
    const std::string& TypeString() const { return name_; }
    void Description(std::string& text); // stores (and leaves) XML_Escape(text)
    const std::string& Description() const { return text_; }
    void Parent(clsGPXType* parent) { parent_ = parent; }
    clsGPXType* Parent() const { return parent_; }

    void Attribute_Add(const std::string& name, std::string value);
    std::string Attribute_Get(const std::string& name) const; // "\"value\"" or ""
    void Element_Add(const std::string& entry, Ptr child);
    std::vector<Ptr> Elements_Get(const std::string& name) const;
    Ptr Element_Get(const std::string& name) const;
    std::string Element_GetDescription(const std::string& name) const;
    std::vector<std::string> Object_GetInformation(const std::vector<std::string>& names) const;
    std::int32_t Waypoints_Count() const;
    std::int32_t Tracks_Count() const;
    std::int32_t Routes_Count() const;

    std::string gpxString() const;
    void GPX_SetHeader();
    bool GPX_WriteFile(const std::string& path);
    bool GPX_LoadFile(const std::string& path);
    // The reader without the file: the bytes of a document into this root.
    void GPX_LoadText(std::string_view bytes);
    bool Point_Add(const std::vector<std::string>& values, const std::vector<std::string>& fields,
                   const std::string& point_name, bool is_last);

    const std::vector<std::pair<std::string, std::string>>& attributes() const { return attrs_; }
    const std::vector<std::pair<std::string, Ptr>>& children() const { return children_; }

private:
    friend struct TreeAccess;
    // What only roots and containers use, kept apart so the many point
    // elements stay small: header, counts, Point_Add's open route, track
    // and segment, the dialogs.
    struct Extra;
    Extra& extra();
    void write(std::string& out, int depth) const;

    std::string name_, text_;
    std::vector<std::pair<std::string, std::string>> attrs_;
    std::vector<std::pair<std::string, Ptr>> children_;
    clsGPXType* parent_ = nullptr;
    std::unique_ptr<Extra> extra_;
};

// Keeps "&" only where it starts &amp; &lt; &gt; &apos; &quot; or a numeric
// reference, and escapes < > ' " : escaping escaped text changes nothing.
std::string& XML_Escape(std::string& text);
// The text an escaped value stands for: the five entities and numeric
// references decoded; a tab, CR or LF (a table cell cannot hold one) is a blank.
std::string XML_Decode(std::string_view escaped);

} // namespace files
