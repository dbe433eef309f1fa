// Google Earth's My Places file and ArcExplorer's class.
#include "main/links/gis_links.h"

#include "main/app/frm_main.h"
#include "main/files/files.h"
#include "main/files/table_files.h"
#include "platform/automation/class_registry.h"
#include "platform/automation/arcexplorer.h"
#include "platform/automation/vb_error.h"
#include "platform/ui/dialogs.h"

#include <sys/stat.h>

namespace links {

using platform::VbError;

namespace {

bool is_file(const std::string& path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

files::FileFrontEnd& front_end(app::frmMain& main)
{
    auto* fe = dynamic_cast<files::FileFrontEnd*>(&main.files());
    if (!fe) throw VbError(91, "", "Object variable or With block variable not set");
    return *fe;
}

} // namespace

void Links::mnuGoogleLoadMyPlaces_Click()
{
    try {
        const std::string path = files::MyPlaces_File();
        if (!is_file(path)) throw VbError(1, "GoogleLoadMyPlaces", "Could not find file: " + path);
        const std::string shape = front_end(main_).getFileInfo_UserShapeType("graphic", "track");
        if (files::KMLFile_Load(main_, shape, path))
            main_.dialogs().MsgBox("File was loaded successfully from " + path);
        else
            main_.dialogs().MsgBox("Errors encountered when loading " + path);
    } catch (const VbError& e) {
        main_.dialogs().MsgBox("Error Number: " + std::to_string(e.number) + ", " + e.description,
                               platform::vbExclamation, "frmMain.MenuGoogleLoadMyPlaces_Click");
    }
}

void Links::mnuGoogleSaveMyPlaces_Click()
{
    try {
        const std::string path = files::MyPlaces_File();
        if (!is_file(path)) throw VbError(1, "GoogleSaveMyPlaces", "Could not find file: " + path);
        const std::string shape = front_end(main_).getFileInfo_UserShapeType("graphic", "track");
        if (!files::KMLFile_Save(main_, shape, path, true)) {
            main_.dialogs().MsgBox("Errors encountered when saving to " + path);
        } else if (main_.state().google_earth_running) {
            main_.dialogs().MsgBox("File was successfully saved to My Places.  To update My Places in Google Earth "
                                   "right-click on the My Places icon and select REVERT");
        } else {
            main_.dialogs().MsgBox("File was saved successfully to My Places (" + path + ")");
            Start_GoogleEarth();
        }
    } catch (const VbError& e) {
        main_.dialogs().MsgBox("Error Number: " + std::to_string(e.number) + ", " + e.description,
                               platform::vbExclamation, "frmMain.MnuGoogleSaveMyPlaces_Click");
    }
}

void Links::ArcExplorer_SendData(const std::string& kind)
{
    try {
        if (!ArcExplorer_Exists(false)) return;
        files::FileFrontEnd& fe = front_end(main_);
        files::FileInfo info = fe.getFileInfo(kind);
        if (info.name.empty()) return;
        const bool projected = !info.type_key.empty() && info.type_key.back() == 'p';
        if (!fe.table_files().Shapefile_Save(info.shape, projected, info.name, info.append)) return;
        platform::ClassRegistry classes;
        classes.AddFolder(main_.program_folder());
        platform::ObjectRef object = classes.CreateObject(platform::CLSID_ArcExplorer);
        auto* doc = static_cast<platform::ArcExplorerDocument*>(object->QueryInterface(platform::IID_ArcExplorer));
        if (!doc) throw VbError(430, "", "Class does not support Automation or does not support expected interface");
        std::string path = info.name;
        doc->AddShapefile(path, false);
        object.reset();
        main_.Set_Msg("Sent information to ArcExplorer");
    } catch (const std::exception&) {
        // Nothing further, no message.
    }
}

} // namespace links
