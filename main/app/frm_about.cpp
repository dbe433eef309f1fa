#include "main/app/frm_about.h"

#include "platform/automation/vb_error.h"
#include "platform/events/events.h"
#include "platform/settings/stored_file.h"
#include "platform/ui/dialogs.h"
#include "platform/version/about.h"

namespace app {

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
}

void frmAbout::Form_Load()
{
    const platform::About_Texts t = platform::About_For(folder_);
    window.loaded = true;
    window.caption = t.caption;
    lblTitle.caption = t.title;
    lblPath.caption = t.path;
    lblVersion.caption = t.version;
    tbxText.caption = t.text;
    lblDisclaimer.caption = t.disclaimer;
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
            const std::string tool = platform::find_any_case(path + "/MSINFO32.EXE");
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
    const std::string file = platform::Find_Help_File(program_folder);
    if (file.empty()) {
        dialogs.MsgBox(platform::Help_Missing_Text(program_folder), platform::vbExclamation);
        return;
    }
    // The viewer gets the file's path as one argument: no shell sees it.
    if (!launcher.Start(platform::Open_Document_Command(file)))
        throw platform::VbError(53, "frmMain", "File not found");
}

} // namespace app
