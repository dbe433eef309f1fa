#include "main/app/frm_about.h"

#include "platform/automation/vb_error.h"
#include "platform/events/events.h"
#include "platform/text/ascii.h"
#include "platform/ui/dialogs.h"
#include "platform/version/version.h"

#include <cstdio>
#include <filesystem>

namespace app {

namespace {

constexpr const char* kWebPage = "https://trekfold.example.org";

// The file in `folder` whose name matches `name` without regard to case:
// its real path, or empty.
std::string find_nocase(const std::string& folder, const std::string& name)
{
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec)) {
        const std::string n = e.path().filename().string();
        if (n.size() == name.size() && platform::ascii_lower(n) == platform::ascii_lower(name) &&
            e.is_regular_file(ec))
            return e.path().string();
    }
    return {};
}

} // namespace

std::string FileVersionNo(const std::string& file)
{
    const auto v = platform::File_Version(file);
    if (!v) return {};
    char text[48];
    if ((*v)[2] == 0)
        std::snprintf(text, sizeof text, "%u.%02u.%04u", (*v)[0], (*v)[1], (*v)[3]);
    else
        std::snprintf(text, sizeof text, "%u.%02u.%04u.%02u", (*v)[0], (*v)[1], (*v)[2], (*v)[3]);
    return text;
}

bool GetKeyValue(const platform::Registry& registry, const std::string& root, const std::string& key,
                 const std::string& value_name, std::string& result)
{
    result.clear();
    const auto v = registry.Value(root, key, value_name);
    if (!v) return false;
    result = *v;
    if (!result.empty() && result.back() == '\0') result.pop_back();
    return true;
}

frmAbout::frmAbout(std::string program_folder, const platform::Registry& registry, platform::Launcher& launcher,
                   platform::Dialogs& dialogs)
    : folder_(std::move(program_folder)), registry_(registry), launcher_(launcher), dialogs_(dialogs)
{
    lblTitle.name = "lblTitle", lblPath.name = "lblPath", lblVersion.name = "lblVersion", tbxText.name = "tbxText";
    lblDisclaimer.name = "lblDisclaimer", cmdOK.name = "cmdOK", cmdSysInfo.name = "cmdSysInfo";
    lblVersionLabel.name = "lblVersionLabel", lblPathLabel.name = "lblPathLabel";
    cmdOK.caption = "OK";
    cmdSysInfo.caption = "&System Info...";
    lblVersionLabel.caption = "Version:";
    lblPathLabel.caption = "Path:";
    lblDisclaimer.caption =
        "Warning: this program is provided as is, without warranty of any kind. The authors are not liable "
        "for any damage or loss of data arising from its use.";
}

void frmAbout::Form_Load()
{
    window.loaded = true;
    window.caption = "About Trekfold";
    lblTitle.caption = "Trekfold";
    lblPath.caption = folder_;
    lblVersion.caption = "Trekfold.exe - " + FileVersionNo(folder_ + "/trekfold") + "\r\n" +
                         "trekfold_arcgis.dll - " + FileVersionNo(folder_ + "/libtrekfold_arcgis.so");
    const char* lines[] = {
        "Receiver communication: the brenvik2006 device control.",
        "Image information: the glimmerax imaging server.",
        "Projections: the PROJ cartographic projections library.",
        "Shapefiles: the shapelib library.",
    };
    tbxText.caption.clear();
    for (const char* l : lines) tbxText.caption += std::string(l) + "\r\n\r\n";
}

void frmAbout::cmdOK_Click() { window.loaded = window.visible = false; }

void frmAbout::StartSysInfo()
{
    try {
        std::string path;
        if (GetKeyValue(registry_, HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", path) &&
            launcher_.Start({path}))
            return;
        if (GetKeyValue(registry_, HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools Location", "MSINFO",
                        path)) {
            const std::string tool = find_nocase(path, "MSINFO32.EXE");
            if (!tool.empty() && launcher_.Start({tool})) return;
        }
    } catch (...) {
    }
    dialogs_.MsgBox("System Information Is Unavailable At This Time", platform::vbOKOnly);
}

frmCustomSplash::frmCustomSplash(platform::EventPump& pump) : pump_(pump) {}
frmCustomSplash::~frmCustomSplash() = default;

void frmCustomSplash::Show()
{
    window.loaded = window.visible = true;
    Timer1 = pump_.make_timer();
    Timer1->set_interval_ms(2000);
    Timer1->on_timer([this] {
        Timer1->set_enabled(false);
        Timer1_Timer();
    });
    Timer1->set_enabled(true);
}

void mnuHelpFile_Click(const std::string& program_folder, platform::Launcher& launcher, platform::Dialogs& dialogs)
{
    std::string file = find_nocase(program_folder, "Training.chm");
    if (file.empty()) file = find_nocase(program_folder, "Trekfold.chm");
    if (file.empty()) {
        dialogs.MsgBox("Garmin documentation could not be found at " + program_folder + ".  Go to \n" + kWebPage +
                           "\nfor more information",
                       platform::vbExclamation);
        return;
    }
    // The viewer gets the file's path as one argument: no shell sees it.
    if (!launcher.Start(platform::Open_Document_Command(file)))
        throw platform::VbError(53, "frmMain", "File not found");
}

} // namespace app
