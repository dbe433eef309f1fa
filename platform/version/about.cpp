#include "platform/version/about.h"

#include "platform/settings/stored_file.h"
#include "platform/version/version.h"

#include <cstdio>

namespace platform {

namespace {
constexpr const char* kWebPage = "https://trekfold.example.org";
} // namespace

std::string FileVersionNo(const std::string& file)
{
    const auto v = File_Version(file);
    if (!v) return {};
    char text[48];
    if ((*v)[2] == 0)
        std::snprintf(text, sizeof text, "%u.%02u.%04u", (*v)[0], (*v)[1], (*v)[3]);
    else
        std::snprintf(text, sizeof text, "%u.%02u.%04u.%02u", (*v)[0], (*v)[1], (*v)[2], (*v)[3]);
    return text;
}

About_Texts About_For(const std::string& folder)
{
    About_Texts a;
    a.caption = "About Trekfold";
    a.title = "Trekfold";
    a.path = folder;
    a.version = "Trekfold.exe - " + FileVersionNo(folder + "/trekfold") + "\r\n" + "trekfold_arcgis.dll - " +
                FileVersionNo(folder + "/libtrekfold_arcgis.so");
    for (const char* l : {"Receiver communication: the brenvik2006 device control.",
                          "Image information: the glimmerax imaging server.",
                          "Projections: the PROJ cartographic projections library.",
                          "Shapefiles: the shapelib library."})
        a.text += std::string(l) + "\r\n\r\n";
    a.disclaimer = "Warning: this program is provided as is, without warranty of any kind. The authors are not "
                   "liable for any damage or loss of data arising from its use.";
    return a;
}

std::string Find_Help_File(const std::string& folder)
{
    std::string file = find_any_case(folder + "/Training.chm");
    if (file.empty()) file = find_any_case(folder + "/Trekfold.chm");
    return file;
}

std::string Help_Missing_Text(const std::string& folder)
{
    return "Garmin documentation could not be found at " + folder + ".  Go to \n" + kWebPage +
           "\nfor more information";
}

} // namespace platform
