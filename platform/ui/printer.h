// The printer as the program uses it: one page at a time, holding a
// picture at the top-left. The Qt one prints on the system's default
// printer; the page files serve the probe; the in-memory one tests.
#pragma once

#include "platform/ui/image.h"

#include <memory>
#include <string>
#include <vector>


namespace platform {

class Printer {
public:
    virtual ~Printer() = default;
    // Prints one page; false with `reason` set when it could not.
    virtual bool PrintPage(const Image& page, std::string& reason) = 0;
};

// Keeps the pages printed.
class MemoryPrinter : public Printer {
public:
    bool PrintPage(const Image& page, std::string&) override
    {
        pages.push_back(page);
        return true;
    }
    std::vector<Image> pages;
};

// Writes each page as a PNG file "page-N.png" (N from 1) into `folder`,
// through the program's safe save (so save observers hear of it).
std::unique_ptr<Printer> make_png_printer(const std::string& folder);
// The system's default printer (Qt's QPrinter).
std::unique_ptr<Printer> make_qt_printer();

} // namespace platform
