// Finding the placemarks of a KML document's text.
#pragma once

#include <functional>
#include <string_view>

namespace files::detail {

// Calls `each` with the text of every placemark of `text`, from its
// opening tag ("<Placemark" in any case, attributes allowed) through its
// "</Placemark>", whose lower-cased text holds "</" & `geometry` & ">"
// ("point", "linestring", "polygon"). Stops when `each` answers False.
void Placemarks_Find(std::string_view text, std::string_view geometry,
                     const std::function<bool(std::string_view)>& each);

} // namespace files::detail
