#include "arcmap/detail/bas_arcmap_code.h"

#include "platform/automation/class_registry.h"
#include "platform/events/events.h"
#include "platform/launcher/launcher.h"
#include "platform/settings/settings.h"
#include "platform/settings/stored_file.h"
#include "platform/settings/user_folder.h"
#include "platform/ui/dialogs.h"

#include <dlfcn.h>
#include <sys/stat.h>

namespace trekfold_arcmap::basArcMapCode {

namespace {

platform::ClassRegistry* g_registry = nullptr;

// Where the main program is installed when it is not beside the library.
constexpr const char* kInstalledProgram = "/opt/trekfold/bin/trekfold";

bool is_file(const std::string& path)
{
    struct stat st{};
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

} // namespace

platform::arcobjects::MxApplicationRef& Application()
{
    static platform::arcobjects::MxApplicationRef app;
    return app;
}

void Set_Registry(platform::ClassRegistry* registry) { g_registry = registry; }

const platform::LibraryServices* Services() { return g_registry ? &g_registry->Services() : nullptr; }
platform::Dialogs* Dialogs() { return Services() ? Services()->dialogs : nullptr; }
platform::Launcher* Launcher() { return Services() ? Services()->launcher : nullptr; }

std::string Library_Folder()
{
    Dl_info info{};
    if (::dladdr(reinterpret_cast<void*>(&Library_Folder), &info) == 0 || !info.dli_fname) return ".";
    std::string path = info.dli_fname;
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

int Box(const std::string& text, int style, const std::string& title)
{
    if (platform::Dialogs* d = Dialogs()) return d->MsgBox(text, style, title);
    return platform::msgbox_default_answer(style);
}

std::string Field_Setting(const std::string& key, const std::string& default_value)
{
    const platform::LibraryServices* s = Services();
    return s && s->settings ? s->settings->GetSetting("fields", key, default_value) : default_value;
}

void DoEvents()
{
    const platform::LibraryServices* s = Services();
    if (s && s->pump) s->pump->run_pending();
}

std::string Error_Text(const platform::VbError& e, const std::string& where, const std::string& prefix)
{
    return prefix + std::to_string(e.number) + " - " + e.description + " in " + where;
}

std::string Trekfold_Path(const std::string& folder)
{
    std::string path = folder + "/trekfold";
    if (is_file(path)) return path;
    path = kInstalledProgram;
    if (is_file(path)) return path;
    throw platform::VbError(1, "basArcMapCode.Trekfold_Open", "Could not find trekfold.exe at " + path);
}

void Trekfold_Open()
{
    try {
        const std::string path = Trekfold_Path(Library_Folder());
        platform::System_Launcher system;
        platform::Launcher* launcher = Launcher() ? Launcher() : &system;
        if (!launcher->Start({path})) throw platform::VbError(53, "basArcMapCode.Trekfold_Open", "File not found");
    } catch (const platform::VbError& e) {
        Box("Error #: " + std::to_string(e.number) + " - " + e.description, platform::vbOKOnly);
    }
}

std::string Write_PRJFile(const std::string& prjText, std::string path)
{
    if (path.empty()) {
        const std::string temp = platform::Temp_Folder();
        if (temp.empty()) throw platform::VbError(75, "Write_PRJFile", "Path/File access error");
        path = temp + "/TREKFOLD_PRJ.PRJ";
    }
    std::string reason;
    if (!platform::save_stored_file(path, prjText + "\n", reason, 0644))
        throw platform::VbError(75, "Write_PRJFile", "Path/File access error: " + reason);
    return path;
}

} // namespace trekfold_arcmap::basArcMapCode
