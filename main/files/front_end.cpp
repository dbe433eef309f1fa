// The File menu's "Save To > File...", "Load From > File..." and "Add World
// File" commands: one front end asks for the file, the format, the shape
// and the append mode and reaches every writer and reader.
#include "main/files/files.h"

#include "main/app/frm_main.h"
#include "main/files/table_files.h"
#include "main/transfer/garmin_usb.h"
#include "platform/automation/dispatch.h"
#include "platform/automation/vb_error.h"
#include "platform/ui/dialogs.h"

#include <filesystem>
#include <system_error>

namespace files {

const char* const kSaveFilters =
    "ArcView Shapefile (Projected) (*.shp)|*.shp|ArcView Shapefile (Unprojected) (*.shp)|*.shp|"
    "DBase IV (*.dbf)|*.dbf|Text File (Comma delimited) (*.txt)|*.txt|"
    "Text File (Semicolon delimited) (*.txt)|*.txt|Google Earth Format (*.kml)|*.kml|"
    "GPS eXchange Format (*.gpx)|*.gpx|Lowrance Export Text File (*.txt)|*.txt";
const char* const kLoadFilters =
    "ArcView Shapefile (*.shp)|*.shp|DBase IV (*.dbf)|*.dbf|Text File (*.txt)|*.txt|"
    "Google Earth Format (*.kml)|*.kml|GPS eXchange Format (*.gpx)|*.gpx|"
    "Lowrance Export Text File (*.txt)|*.txt";

namespace {

constexpr const char* kSaveFirst = "ArcView Shapefile (Projected) (*.shp)|*.shp";

std::string lower(std::string s)
{
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

bool starts_with(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

std::string current_folder()
{
    std::error_code ec;
    return std::filesystem::current_path(ec).string();
}

int info_box(platform::Dialogs& d, const std::string& text) { return d.MsgBox(text, platform::vbInformation); }

} // namespace

std::string FileInfo_TypeKey(const std::string& path, int filter_index)
{
    std::string key = lower(path.size() > 3 ? path.substr(path.size() - 3) : path);
    switch (filter_index) {
    case 1: return key + "_p";
    case 2: return key + "_u";
    case 4: return key + "_comma";
    case 8: return key + "_lowrance";
    default: return key;
    }
}

FileFrontEnd::FileFrontEnd(app::frmMain& main) : main_(main), tf_(std::make_unique<TableFiles>(main)) {}
FileFrontEnd::~FileFrontEnd() = default;

std::unique_ptr<FileFormats> make_file_formats(app::frmMain& main) { return std::make_unique<FileFrontEnd>(main); }

void FileFrontEnd::menu_Click(const std::string& name, int)
{
    if (name == "mnuAFile")
        mnuAFile_Click();
    else if (name == "mnuFileL")
        mnuFileL_Click();
    else if (name == "mnuAddWorldFile")
        mnuAddWorldFile_Click();
}

void FileFrontEnd::error_box(const std::exception& e, const std::string& where)
{
    int number = 0;
    std::string text = e.what();
    if (auto* vb = dynamic_cast<const platform::VbError*>(&e)) number = vb->number, text = vb->description;
    main_.dialogs().MsgBox("Error #" + std::to_string(number) + " - " + text, platform::vbCritical, where);
}

std::string FileFrontEnd::getFileInfo_UserFilename(std::string& target, bool& append)
{
    append = false;
    try {
        if (target == "graphic") {
            std::string dir = app::temp_folder();
            if (dir.empty() || dir.back() != '/') dir += '/';
            return dir + "garmintemp.shp";
        }
        platform::OpenFileRequest request;
        request.filter = kSaveFirst;
        request.filter_index = 1;
        if (target.empty()) request.filter = kSaveFilters, request.filter_index = 4;
        request.initial_folder = current_folder();
        std::optional<std::string> chosen = main_.dialogs().GetSaveFileName(request);
        if (!chosen || chosen->empty()) return {}; // cancelled: silent
        std::error_code ec;
        if (std::filesystem::exists(*chosen, ec)) {
            int answer = main_.dialogs().MsgBox("File already exists.  Would you like to append to it?\n"
                                                "Answering NO will overwrite the existing file.",
                                                platform::vbYesNoCancel, "Save");
            if (answer == platform::vbCancel) return {};
            append = answer == platform::vbYes;
        }
        target = FileInfo_TypeKey(*chosen, request.filter_index);
        return *chosen;
    } catch (const std::exception& e) {
        error_box(e, "frmMain.getFileInfo_Username");
        append = false;
        return {};
    }
}

std::string FileFrontEnd::getFileInfo_UserShapeType(const std::string& type_key, const std::string& record_type)
{
    try {
        std::string type = lower(record_type);
        bool asks = starts_with(type_key, "shp") || type_key == "graphic" || type_key == "geodatabase" ||
                    type_key == "kml";
        if (!asks || (type != "track" && type != "route")) return "Point";
        shape_.cmdOK_Tag = "False";
        shape_.Visible = true;
        if (show_shape)
            show_shape(shape_);
        else
            shape_.cmdOK_Click();
        if (shape_.cmdOK_Tag != "True") {
            shape_.close();
            return {};
        }
        return shape_.optPolygon ? "Polygon" : shape_.optLine ? "Line" : "Point";
    } catch (const std::exception& e) {
        error_box(e, "frmMain.getFileInfo_UserShapeType");
        return {};
    }
}

FileInfo FileFrontEnd::getFileInfo(const std::string& target)
{
    try {
        FileInfo info;
        info.type_key = target;
        info.name = getFileInfo_UserFilename(info.type_key, info.append);
        if (info.name.empty()) return {};
        info.shape = getFileInfo_UserShapeType(info.type_key, main_.state().record_type);
        if (info.shape.empty()) return {}; // the shape dialog was closed
        return info;
    } catch (const std::exception& e) {
        error_box(e, "frmMain.getFileInfo");
        return {};
    }
}

bool FileFrontEnd::getFileInfo_UserFeatureType(std::string& type)
{
    try {
        feature_.cmdOK_Tag = "False";
        feature_.Visible = true;
        if (show_feature_type)
            show_feature_type(feature_);
        else
            feature_.cmdOK_Click();
        if (feature_.cmdOK_Tag != "True") {
            feature_.close();
            return false;
        }
        if (feature_.optWaypoint)
            type = "waypoint";
        else if (feature_.optTrack)
            type = "track";
        else if (feature_.optRoute)
            type = "route";
        else
            return false;
        return true;
    } catch (const std::exception& e) {
        error_box(e, "frmMain.getFileInfo_UserFeatureType");
        return false;
    }
}

void FileFrontEnd::to_arcmap(const std::string& path)
{
    if (platform::ObjectRef arcmap = main_.state().arcmap_extension)
        platform::CallByName(*arcmap, "Shapefile_ToDataFrame", {platform::Variant(path), platform::Variant(true)});
}

std::string FileFrontEnd::WriteShapefile()
{
    try {
        FileInfo info = getFileInfo("shp");
        if (info.name.empty()) return {};
        bool projected = !info.type_key.empty() && info.type_key.back() == 'p';
        if (!tf_->Shapefile_Save(info.shape, projected, info.name, info.append)) return {};
        info_box(main_.dialogs(), "File was written successfully to " + info.name);
        return info.name;
    } catch (const std::exception& e) {
        error_box(e, "frmMain.WriteShapefile");
        return {};
    }
}

void FileFrontEnd::mnuAFile_Click()
{
    try {
        FileInfo info = getFileInfo("");
        if (info.name.empty()) return;
        const std::string& key = info.type_key;
        bool ok = false;
        if (starts_with(key, "shp")) {
            bool projected = key.back() == 'p';
            ok = tf_->Shapefile_Save(info.shape, projected, info.name, info.append);
            to_arcmap(info.name);
        } else if (key == "dbf") {
            ok = tf_->Save_DBF(info.name, info.append);
        } else if (key == "kml") {
            ok = KMLFile_Save(main_, info.shape, info.name, info.append);
        } else if (key == "gpx") {
            ok = GPXFile_Save(main_, info.name, info.append);
        } else if (key == "txt_comma") {
            ok = tf_->Save_TextFile(info.name, ",", info.append);
        } else if (key == "txt_lowrance") {
            ok = LowranceFile_Save(main_, info.name, info.append);
        } else {
            ok = tf_->Save_TextFile(info.name, ";", info.append);
        }
        if (ok) info_box(main_.dialogs(), "File was written successfully to " + info.name);
    } catch (const std::exception& e) {
        error_box(e, "frmMain.mnuAFile_Click");
    }
}

void FileFrontEnd::mnuFileL_Click()
{
    try {
        platform::OpenFileRequest request;
        request.filter = kLoadFilters;
        request.filter_index = 3;
        request.initial_folder = current_folder();
        std::optional<std::string> chosen = main_.dialogs().GetOpenFileName(request);
        if (!chosen || chosen->empty()) return; // cancelled: silent
        const std::string& path = *chosen;
        bool ok = false;
        switch (request.filter_index) {
        case 1: ok = tf_->Shapefile_Load(path); break;
        case 2: ok = tf_->Open_DBF(path); break;
        case 4: {
            std::string shape = getFileInfo_UserShapeType("graphic", "track");
            if (shape.empty()) return; // the shape dialog was closed
            ok = KMLFile_Load(main_, shape, path);
            break;
        }
        case 5: {
            std::string type;
            if (!getFileInfo_UserFeatureType(type)) return;
            // A connected mass-storage unit is every loaded point's model.
            std::optional<std::string> model;
            if (const auto& unit = main_.state().GPS_MassStorageUnit) model = unit->Description;
            ok = GPXFile_Load(main_, type, path, model);
            break;
        }
        case 6: ok = LowranceFile_Load(main_, path); break;
        default: ok = tf_->Open_Textfile(path); break;
        }
        info_box(main_.dialogs(), ok ? "File was loaded successfully from " + path
                                     : "Errors encountered when loading " + path);
    } catch (const std::exception& e) {
        auto* vb = dynamic_cast<const platform::VbError*>(&e);
        if (vb && vb->number == 6) {
            main_.dialogs().MsgBox("Error #6 - " + vb->description + "\nTable is Full", platform::vbCritical,
                                   "frmMain.mnuFileL_Click");
            return;
        }
        error_box(e, "frmMain.mnuFileL_Click");
    }
}

void FileFrontEnd::mnuAddWorldFile_Click()
{
    if (show_world_files) show_world_files();
}

} // namespace files
