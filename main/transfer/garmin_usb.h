// A receiver that shows itself as a USB mass-storage drive (clsGarminUSB):
// what its device description file Garmin/GarminDevice.xml says about the
// unit and where it keeps GPX files. A drive is the mounted volume's root
// folder; names on it are found without regard to case, as on the unit's
// FAT volume.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace platform { class Dialogs; }

namespace transfer {

class clsGarminUSB {
public:
    // `dialogs` shows LoadGPS's error box.
    explicit clsGarminUSB(platform::Dialogs& dialogs) : dialogs_(&dialogs) {}

    std::string UploadLocation;   // folder for files sent to the unit, ending in "/"
    std::string DownloadLocation; // the unit's own GPX file
    std::string Description;      // Model/Description
    std::string Version;          // Model/SoftwareVersion
    // The drive folder the locations were found on; "" while
    // DownloadLocation is empty.
    std::string Drive() const { return DownloadLocation.empty() ? std::string() : drive_; }
    std::string PartNumber;       // Model/PartNumber
    std::string ID;               // Id
    std::string RegistrationCode; // RegistrationCode

    // Reads the description file on the drive folder. True when it has a
    // Model and a MassStorageMode element; the properties are filled as far
    // as the file provides them. False without a box when the file is
    // missing or lacks either element; False after the box
    // "Error #n - description" on a run-time failure. A location whose
    // Path, BaseName or FileExtension climbs out of the drive ("..") or
    // starts at the system's root is not taken.
    bool LoadGPS(const std::string& drive);

    // Every property by name, in the class's member order.
    std::vector<std::pair<std::string, std::string>> Properties() const;

private:
    platform::Dialogs* dialogs_;
    std::string drive_;
};

// The path of `relative` ("/"-separated) below `folder`: each part that
// exists under any mix of case takes the name it has on the drive, the
// others stay as given.
std::string Drive_FindPath(const std::string& folder, const std::string& relative);

} // namespace transfer
