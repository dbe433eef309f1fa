// One KML placemark (CGPlacemark): its name, description, flags, style and
// coordinate parts, rendered as the placemark text the KML writer puts
// into a document and filled back from a placemark's text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform { class Dialogs; }

namespace files {

class CGPlacemark {
public:
    // Each part is a list of coordinate texts "longitude,latitude,altitude".
    using Parts = std::vector<std::vector<std::string>>;

    // `dialogs` shows the box of a failed Get_KMLString (none: silent).
    explicit CGPlacemark(platform::Dialogs* dialogs = nullptr) : dialogs_(dialogs) {}

    // The placemark text for "point", "line" or "polygon" (any case), every
    // line CR LF ended; names and descriptions have & < > escaped.
    std::string Get_KMLString(std::string_view shape) const;
    static std::string Get_KMLHeader();
    static std::string Get_KMLFooter();
    // Fills the fields from one placemark's text: a part per <coordinates>
    // element, split at any white space; texts decoded (entities, character
    // references, CDATA), a tab, CR or LF in them a blank.
    void Define_FromKMLString(std::string_view text);

    const std::string& Get_Name() const { return name_; }
    void Set_Name(std::string v) { name_ = std::move(v); }
    const std::string& Get_Description() const { return description_; }
    void Set_Description(std::string v) { description_ = std::move(v); }
    const Parts& Get_Coords() const { return coords_; }
    void Set_Coords(Parts v) { coords_ = std::move(v); }
    std::int16_t Get_Visibility() const { return visibility_; }
    void Set_Visibility(std::int16_t v) { visibility_ = v; }
    std::int16_t Get_Open() const { return open_; }
    void Set_Open(std::int16_t v) { open_ = v; }
    const std::string& Get_Address() const { return address_; }
    void Set_Address(std::string v) { address_ = std::move(v); }
    const std::string& Get_Style() const { return style_; }
    void Set_Style(std::string v) { style_ = std::move(v); }

private:
    // The raw text of the first element `tag` (written in lower case) in
    // `text`; "" when there is none.
    static std::string_view Get_TagValue(std::string_view text, std::string_view tag);

    platform::Dialogs* dialogs_;
    std::string name_, description_, address_, style_;
    std::int16_t visibility_ = 0, open_ = 0;
    Parts coords_;
};

} // namespace files
