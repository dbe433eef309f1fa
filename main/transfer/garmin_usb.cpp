#include "main/transfer/garmin_usb.h"

#include "main/files/gpx.h"
#include "platform/automation/vb_error.h"
#include "platform/text/vb.h"
#include "platform/ui/dialogs.h"

#include <filesystem>
#include <system_error>

namespace transfer {

namespace fs = std::filesystem;
namespace vb = platform::vb;

namespace {

// The description file, as the unit's maker names it.
constexpr const char* kDescriptionFile = "garmin/garmindevice.xml";

std::vector<std::string> split_path(const std::string& path)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        std::size_t slash = path.find('/', start);
        std::string part = path.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
        if (!part.empty()) parts.push_back(std::move(part));
        if (slash == std::string::npos) return parts;
        start = slash + 1;
    }
}

std::string join(const std::string& folder, const std::string& name)
{
    return folder == "/" ? "/" + name : folder + "/" + name;
}

// The entry of `folder` named `name` in any case: the exact name when it
// exists, else the first (in name order) that differs only in case.
std::string find_entry(const std::string& folder, const std::string& name)
{
    std::error_code ec;
    if (fs::symlink_status(join(folder, name), ec).type() != fs::file_type::not_found && !ec) return name;
    const std::string wanted = vb::LCase(name);
    std::string found;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        std::string entry = it->path().filename().string();
        if (vb::LCase(entry) == wanted && (found.empty() || entry < found)) found = std::move(entry);
    }
    return found;
}

// A location's parts must stay on the drive: no part may start at the
// system's root or climb above the drive's folder.
bool stays_on_drive(const std::string& path, const std::string& base, const std::string& extension)
{
    for (const std::string* part : {&path, &base, &extension})
        if (!part->empty() && part->front() == '/') return false;
    for (const std::string& p : split_path(path + "/" + base + "." + extension))
        if (p == "..") return false;
    return true;
}

} // namespace

std::string Drive_FindPath(const std::string& folder, const std::string& relative)
{
    std::string at = folder;
    while (at.size() > 1 && at.back() == '/') at.pop_back();
    bool exists = true;
    for (const std::string& part : split_path(relative)) {
        std::string name = exists ? find_entry(at, part) : std::string();
        exists = !name.empty();
        at = join(at, exists ? name : part);
    }
    return at;
}

bool clsGarminUSB::LoadGPS(const std::string& drive)
{
    try {
        drive_ = drive;
        const std::string file = Drive_FindPath(drive, kDescriptionFile);
        std::error_code ec;
        if (!fs::is_regular_file(file, ec)) return false;

        files::clsGPXType root(dialogs_);
        root.GPX_LoadFile(file);
        // Texts leave the tree escaped; the properties hold them as they read.
        auto text = [](const files::clsGPXType& e, const char* name) {
            return files::XML_Decode(e.Element_GetDescription(name));
        };
        ID = text(root, "Id");
        RegistrationCode = text(root, "RegistrationCode");

        files::clsGPXType::Ptr model = root.Element_Get("Model");
        if (!model) return false;
        Description = text(*model, "Description");
        Version = text(*model, "SoftwareVersion");
        PartNumber = text(*model, "PartNumber");

        files::clsGPXType::Ptr msm = root.Element_Get("MassStorageMode");
        if (!msm) return false;
        for (const auto& type : msm->Elements_Get("DataType")) {
            if (vb::LCase(text(*type, "Name")) != "gpsdata") continue;
            for (const auto& f : type->Elements_Get("File")) {
                files::clsGPXType::Ptr location = f->Element_Get("Location");
                if (!location) break;
                const std::string direction = vb::LCase(text(*f, "TransferDirection"));
                if (direction != "inputtounit" && direction != "outputfromunit") break;
                const std::string path = text(*location, "Path");
                const std::string base = text(*location, "BaseName");
                const std::string extension = text(*location, "FileExtension");
                if (!stays_on_drive(path, base, extension)) continue;
                if (direction == "inputtounit")
                    UploadLocation = Drive_FindPath(drive, path) + "/";
                else
                    DownloadLocation = Drive_FindPath(drive, path + "/" + base + "." + extension);
            }
        }
        return true;
    } catch (const platform::VbError& e) {
        dialogs_->MsgBox("Error #" + std::to_string(e.number) + " - " + e.description, platform::vbCritical,
                         "clsGarminUSB.LoadGPS");
    } catch (const std::exception& e) {
        dialogs_->MsgBox(std::string("Error #51 - ") + e.what(), platform::vbCritical, "clsGarminUSB.LoadGPS");
    }
    return false;
}

std::vector<std::pair<std::string, std::string>> clsGarminUSB::Properties() const
{
    return {{"UploadLocation", UploadLocation}, {"DownloadLocation", DownloadLocation},
            {"Description", Description},       {"Version", Version},
            {"Drive", Drive()},                 {"PartNumber", PartNumber},
            {"ID", ID},                         {"RegistrationCode", RegistrationCode}};
}

} // namespace transfer
