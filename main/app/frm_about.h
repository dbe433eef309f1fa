// The About box frmAbout, the second splash window frmCustomSplash, and the
// help command, as data acting through injected services: file versions
// from the notes in our binaries, registry values, a launcher for outside
// programs, and message boxes.
#pragma once

#include "main/app/frm_main.h"
#include "platform/launcher/launcher.h"
#include "platform/registry/registry.h"

#include <memory>
#include <string>

namespace platform {
class Dialogs;
class EventPump;
class Timer;
} // namespace platform

namespace app {

inline constexpr const char* HKEY_LOCAL_MACHINE = "HKEY_LOCAL_MACHINE";

// A string value of the registry: true and the text (without a final NUL),
// or false and empty text.
bool GetKeyValue(const platform::Registry& registry, const std::string& root, const std::string& key,
                 const std::string& value_name, std::string& result);

class frmAbout {
public:
    frmAbout(std::string program_folder, const platform::Registry& registry, platform::Launcher& launcher,
             platform::Dialogs& dialogs);

    SmallWindow window{"About Trekfold"};
    Control lblTitle, lblPath, lblVersion, tbxText, lblDisclaimer, cmdOK, cmdSysInfo;
    Control lblVersionLabel, lblPathLabel; // "Version:" and "Path:"

    void Form_Load();
    void cmdOK_Click();
    void cmdSysInfo_Click() { StartSysInfo(); }
    // Starts the system information tool the registry names, or says it
    // cannot be had.
    void StartSysInfo();

private:
    std::string folder_;
    const platform::Registry& registry_;
    platform::Launcher& launcher_;
    platform::Dialogs& dialogs_;
};

// Shown by nothing in the program; its timer unloads it two seconds on.
class frmCustomSplash {
public:
    explicit frmCustomSplash(platform::EventPump& pump);
    ~frmCustomSplash();
    SmallWindow window{""};
    void Show();
    void Timer1_Timer() { window.loaded = window.visible = false; }

private:
    platform::EventPump& pump_;
    std::unique_ptr<platform::Timer> Timer1;
};

// The help command: opens the training file, else the program's help file,
// from the program folder (names found without regard to case, opened by
// their real names); without either says where it looked. A viewer that
// cannot be started is an error for the caller (VbError 53).
void mnuHelpFile_Click(const std::string& program_folder, platform::Launcher& launcher, platform::Dialogs& dialogs);

} // namespace app
