// The symbol image list's contents and the pictures drawn for it.
#pragma once

#include "platform/grid/grid.h"

#include <string>
#include <vector>

namespace flxgrd::detail {

struct Symbol {
    int code;
    const char* name;
};
const std::vector<Symbol>& symbol_list(); // the 140 symbols in list order
platform::PictureRef symbol_picture(int code);
platform::PictureRef check_picture(bool checked);

} // namespace flxgrd::detail
